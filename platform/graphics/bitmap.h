#pragma once
// Pictures: the abstract TGraphic, TBitmap with its own canvas, picture
// decoding (PNG, JPEG, BMP) into bitmaps, and recognition of picture data
// by its first bytes.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/core/object.h"
#include "platform/core/streams.h"
#include "platform/core/types.h"
#include "platform/graphics/canvas.h"

class TGraphic : public TObject {
public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int value) = 0;
  virtual void SetHeight(int value) = 0;
  virtual bool Empty() const = 0;
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool value);
  bool Modified() const { return FModified; }
  void SetModified(bool value) { FModified = value; }

  // Draws the picture scaled into r on canvas.
  virtual void Draw(TCanvas& canvas, const TRect& r) = 0;
  // Draws with a constant opacity (255 = opaque).
  virtual void DrawTransparent(TCanvas& canvas, const TRect& r, std::uint8_t opacity);

  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) = 0;
  void LoadFromFile(const String& fileName);
  void SaveToFile(const String& fileName);
  virtual void Assign(const TGraphic& source);

  TNotifyGraphicEvent OnChange;

protected:
  virtual void Changed();
  bool FTransparent = false;
  bool FModified = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };
enum TAlphaFormat { afIgnored, afDefined, afPremultiplied };
enum TBitmapHandleType { bmDIB, bmDDB };

class TBitmapCanvas;

// Pixels are held as 32-bit rows (B, G, R, A bytes) whatever the pixel
// format says; ScanLine gives such a row. In pf32bit the alpha byte is
// kept; in the other
// formats it reads 0xFF. pf1bit holds only black and white. With
// afDefined the colour values are straight (pictures read from files keep
// the file's values); otherwise they are premultiplied.
class TBitmap : public TGraphic {
public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap() override;

  int Width() const override;
  int Height() const override;
  void SetWidth(int value) override { SetSize(value, Height()); }
  void SetHeight(int value) override { SetSize(Width(), value); }
  void SetSize(int width, int height);
  bool Empty() const override { return Width() == 0 || Height() == 0; }

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TPixelFormat value);
  bool Monochrome() const { return FPixelFormat == pf1bit; }
  void SetMonochrome(bool value) { SetPixelFormat(value ? pf1bit : pfDevice); }
  TAlphaFormat AlphaFormat() const { return FAlphaFormat; }
  // In pf32bit, afDefined keeps straight (not premultiplied) colour values;
  // changing between it and the other kinds converts the pixels.
  void SetAlphaFormat(TAlphaFormat value);
  TBitmapHandleType HandleType() const { return bmDIB; }
  void SetHandleType(TBitmapHandleType) {}

  TCanvas* Canvas();
  // The bitmap object (owned by the TBitmap).
  HBITMAP Handle();
  // Takes ownership of another bitmap object.
  void SetHandle(HBITMAP value);
  // Gives up the bitmap object; the caller must DeleteObject it.
  HBITMAP ReleaseHandle();
  // A monochrome mask: white where the transparent colour is, black elsewhere.
  HBITMAP MaskHandle();
  void* ScanLine(int row);
  int BytesPerScanLine() const;

  TColor TransparentColor();
  void SetTransparentColor(TColor value);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode value) { FTransparentMode = value; }
  // Turns the bitmap into a monochrome mask of the colour (white where it was).
  void Mask(TColor transparentColor);
  void Dormant() {}
  void FreeImage() {}

  void Draw(TCanvas& canvas, const TRect& r) override;
  void DrawTransparent(TCanvas& canvas, const TRect& r, std::uint8_t opacity) override;
  // Reads a picture: BMP, PNG or JPEG (recognised by the first bytes).
  void LoadFromStream(TStream& stream) override;
  // Writes a BMP file (32 bits per pixel in pf32bit, else 24; 1 in pf1bit).
  void SaveToStream(TStream& stream) override;
  void Assign(const TGraphic& source) override;

private:
  friend class TBitmapCanvas;
  void ensureHandle() const;
  void imageReplaced();
  mutable HBITMAP FHandle = nullptr;
  HBITMAP FMaskHandle = nullptr;
  std::unique_ptr<TBitmapCanvas> FCanvas;
  TPixelFormat FPixelFormat = pfDevice;
  TAlphaFormat FAlphaFormat = afIgnored;
  TColor FTransparentColor = clDefault;
  TTransparentMode FTransparentMode = tmAuto;
};

// ---- picture data -------------------------------------------------------------------

enum class TPictureKind { Unknown, Gif, Png, Bmp, Jpeg };
// Recognises picture data by its first bytes.
TPictureKind KindOfPicture(const void* data, std::size_t size);
// Decodes PNG, JPEG or BMP data into bitmap (pf32bit with alpha when the
// picture has transparency, else pf24bit). Raises EInvalidGraphic with a
// message naming the problem for unknown, truncated or malformed data.
void DecodePicture(const void* data, std::size_t size, TBitmap& bitmap);
