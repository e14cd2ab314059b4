#pragma once
// Putting pictures on screen and printer canvases: size queries for every
// picture class, transparent drawing through a mask, printing bitmaps as
// device-independent bits (transparent ones through a clip region made
// from the mask), device-independent copies of bitmaps, a metafile that
// can give itself as a bitmap, and the GDI+ drawing wrappers.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/object.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/metafile.h"

class TGpImage;

// Any picture the viewer keeps: TBitmap, TGIFImage, TGpImage or ThtMetaFile.
using TgpObject = TGraphic;

// Raise EGDIPlus "Not a TBitmap, TGifImage, TMetafile, or TGpImage" for any other class.
int GetImageWidth(TgpObject* Image);
int GetImageHeight(TgpObject* Image);

// Draws InImage stretched to W x H at (xStart, yStart), leaving the
// destination visible where Mask is white.
void FinishTransparentBitmap(HDC DC, TBitmap* InImage, TBitmap* Mask, int xStart, int yStart, int W, int H);
// Prints a bitmap as device-independent bits stretched into (X, Y, W, H).
void PrintBitmap(TCanvas* Canvas, int X, int Y, int W, int H, TBitmap* Bitmap);
// Prints rows YI .. YI + HI - 1 of a transparent bitmap scaled to NewW x NewH.
void PrintTransparentBitmap3(TCanvas* Canvas, int X, int Y, int NewW, int NewH, TBitmap* Bitmap, TBitmap* Mask,
                             int YI, int HI);
// The region of all pixels whose colour differs from TransparentColor,
// transformed by XForm when given; nullptr when there is none. The caller
// deletes it.
HRGN BitmapToRegion(TBitmap* ABmp, const XFORM* XForm, TColor TransparentColor);

// Bytes per row of a device-independent bitmap.
inline int DibBytesPerRow(int width, int bits) { return ((bits * width + 31) / 32) * 4; }

// A block of memory for pixel data.
class AllocRec : public TObject {
public:
  explicit AllocRec(std::size_t ASize) : FData(ASize, 0) {}
  void* Ptr() { return FData.data(); }
  std::size_t ASize() const { return FData.size(); }

private:
  std::vector<std::uint8_t> FData;
};

// A device-independent copy of a bitmap.
class TDib : public TObject {
public:
  // Raises EOSError when the bits cannot be had.
  static std::unique_ptr<TDib> CreateDIB(HDC DC, TBitmap* Bitmap);
  // A new bitmap object made from the bits; the caller owns it.
  HBITMAP DIBToDDB();
  BITMAPINFO* Info() { return &FInfo; }
  int InfoSize() const { return FInfoSize; }
  void* Bits() { return FBits.data(); }
  int BitsSize() const { return int(FBits.size()); }

private:
  BITMAPINFO FInfo;
  int FInfoSize = 40;
  std::vector<std::uint8_t> FBits;
};

// A metafile that can give itself as a bitmap (on black, with a mask) and
// on white (for copying and printing).
class ThtMetaFile : public TMetafile {
public:
  ThtMetaFile();
  ~ThtMetaFile() override;
  TBitmap* GetBitmap();
  TBitmap* GetMask();
  TBitmap* GetWhiteBGBitmap();

private:
  void makeBitmaps();
  std::unique_ptr<TBitmap> FBitmap;
  std::unique_ptr<TBitmap> FMask;
  std::unique_ptr<TBitmap> FWhiteBGBitmap;
};

// GDI+ pictures on a device context.
void DrawGpImage(HDC DC, TGpImage* Img, int X, int Y);
void DrawGpImagePart(HDC DC, TGpImage* Img, int X, int Y, int SrcX, int SrcY, int SrcW, int SrcH);
void StretchDrawGpImage(HDC DC, TGpImage* Img, int X, int Y, int W, int H);
void StretchPrintGpImageDirect(HDC DC, TGpImage* Img, int X, int Y, int W, int H, double ScaleX, double ScaleY);
void PrintGpImageDirect(HDC DC, TGpImage* Img, int X, int Y, double ScaleX, double ScaleY);
void StretchPrintGpImageOnColor(TCanvas* Canvas, TGpImage* Img, int X, int Y, int W, int H, TColor Color);

// A bitmap for tiling tiny backgrounds: a side of 1 pixel becomes
// min(W or H, 100) pixels long. The caller owns the result.
std::unique_ptr<TBitmap> EnlargeImage(TgpObject* Image, int W, int H);
