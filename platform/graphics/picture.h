#pragma once
// TJPEGImage (a JPEG picture decoded once into a bitmap) and TPicture (a
// holder for any picture, as controls publish one for a background).
#include <functional>
#include <memory>

#include "platform/graphics/bitmap.h"

enum TJPEGPixelFormat { jf24Bit, jf8Bit };

class TJPEGImage : public TGraphic {
public:
  TJPEGImage();
  ~TJPEGImage() override;
  int Width() const override { return FBitmap->Width(); }
  int Height() const override { return FBitmap->Height(); }
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  bool Empty() const override { return FBitmap->Empty(); }
  TJPEGPixelFormat PixelFormat() const { return FPixelFormat; }
  // 8-bit decoding is a request for fewer colours; pictures are held in
  // true colour here, so it only changes what PixelFormat reports.
  void SetPixelFormat(TJPEGPixelFormat value) { FPixelFormat = value; }
  // True when every decoded pixel is grey.
  bool Grayscale() const { return FGrayscale; }
  // The decoded picture (owned).
  TBitmap* Bitmap() { return FBitmap.get(); }

  void Draw(TCanvas& canvas, const TRect& r) override;
  // Raises EInvalidGraphic for anything but a readable JPEG.
  void LoadFromStream(TStream& stream) override;
  // Writes the picture back as the JPEG bytes it was read from.
  void SaveToStream(TStream& stream) override;
  void Assign(const TGraphic& source) override;

private:
  std::unique_ptr<TBitmap> FBitmap;
  std::vector<unsigned char> FData;
  TJPEGPixelFormat FPixelFormat = jf24Bit;
  bool FGrayscale = false;
};

class TPicture : public TObject {
public:
  TPicture();
  ~TPicture() override;
  // The picture held (owned), or nullptr.
  TGraphic* Graphic() const { return FGraphic.get(); }
  // Holds a copy of value (nullptr empties the picture).
  void SetGraphic(TGraphic* value);
  // The picture as a bitmap: anything else is replaced by an empty bitmap.
  TBitmap* Bitmap();
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }
  void Assign(const TPicture& source) { SetGraphic(source.Graphic()); }
  // Reads a bitmap picture (BMP, PNG, JPEG) or a saved metafile.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const String& fileName);
  void SaveToFile(const String& fileName);

  std::function<void(TObject* Sender)> OnChange;

private:
  void changed();
  std::unique_ptr<TGraphic> FGraphic;
};
