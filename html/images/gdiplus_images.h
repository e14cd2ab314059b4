#pragma once
// Small classes over the GDI+ image interface: a drawing surface on a
// device context or an image, a picture loaded from a file, and an
// in-memory 32-bit ARGB bitmap. GDI+ is started once per process (counted)
// by the image cache; failures raise EGDIPlus.
#include <cstdint>

#include "platform/core/exception.h"
#include "platform/core/object.h"
#include "platform/core/types.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdiplus.h"

TAMRIX_DECLARE_EXCEPTION(EGDIPlus, Exception)

// True once GDI+ started successfully (the loader reads PNG through it only then).
extern bool GdiPlusAvailable;
void GdiPlusStart();
void GdiPlusStop();
// How many starts are not yet matched by a stop.
int GdiPlusStartCount();

class TGpImage;

class TGpGraphics : public TObject {
public:
  explicit TGpGraphics(HDC DC);
  explicit TGpGraphics(TGpImage* Image);
  ~TGpGraphics() override;
  // Drawn stretched into (X, Y, W, H); pictures of 10 pixels or fewer in a
  // direction they are enlarged in go through a smoothing copy first.
  void DrawImage(TGpImage* Image, int X, int Y, int W, int H);
  void DrawImage(TGpImage* Image, int X, int Y);
  void DrawImage(TGpImage* Image, int X, int Y, int SrcX, int SrcY, int SrcW, int SrcH);
  void DrawImage(TGpImage* Image, int DestX, int DestY, int DestW, int DestH, int SrcX, int SrcY, int SrcW,
                 int SrcH);
  void Clear(ARGB Color);
  void ScaleTransform(float SX, float SY);
  GpGraphics* Handle() const { return FGraphics; }

private:
  void drawSmallImage(TGpImage* Image, int X, int Y, int W, int H);
  GpGraphics* FGraphics = nullptr;
};

// A picture held by GDI+ (a TGraphic so that the document can keep any
// picture behind one pointer).
class TGpImage : public TGraphic {
public:
  // Raises EGDIPlus "Image file "name" not found." or "Can't load image file "name".".
  TGpImage(const String& FileName, bool DeleteOnFree = false);
  ~TGpImage() override;
  int Width() const override;
  int Height() const override;
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  bool Empty() const override { return FHandle == nullptr; }
  void Draw(TCanvas& canvas, const TRect& r) override;
  // Replaces the picture by the one in the stream (EGDIPlus when unreadable).
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
  // The picture drawn on white, as a new bitmap the caller owns.
  std::unique_ptr<TBitmap> GetBitmap();
  GpImage* Handle() const { return FHandle; }

protected:
  TGpImage() = default;
  GpImage* FHandle = nullptr;
  mutable int FWidth = 0, FHeight = 0;
  String FDeleteName;
};

class TGpBitmap : public TGpImage {
public:
  // A transparent W x H bitmap; raises EGDIPlus "Can't create bitmap".
  TGpBitmap(int W, int H);
};
