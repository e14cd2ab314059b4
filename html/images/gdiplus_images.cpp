// The GDI+ image wrapper.
#include "html/images/gdiplus_images.h"

#include <cstdio>
#include <memory>

#include "platform/core/files.h"
#include "platform/core/strings.h"

bool GdiPlusAvailable = false;

namespace {
int startCount = 0;
std::uintptr_t startToken = 0;

String quoted(const char* before, const String& name, const char* after) {
  return UTF8ToUTF16(before) + name + UTF8ToUTF16(after);
}
}  // namespace

void GdiPlusStart() {
  if (startCount == 0) {
    GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    GdiPlusAvailable = GdiplusStartup(&startToken, &input, nullptr) == Ok;
  }
  ++startCount;
}

void GdiPlusStop() {
  if (startCount <= 0) return;
  if (--startCount == 0 && GdiPlusAvailable) {
    GdiplusShutdown(startToken);
    GdiPlusAvailable = false;
  }
}

int GdiPlusStartCount() { return startCount; }

// ---- TGpGraphics ------------------------------------------------------------------

TGpGraphics::TGpGraphics(HDC DC) {
  if (GdipCreateFromHDC(DC, &FGraphics) != Ok) throw EGDIPlus("Can't Create Graphics");
}

TGpGraphics::TGpGraphics(TGpImage* Image) {
  if (!Image || GdipGetImageGraphicsContext(Image->Handle(), &FGraphics) != Ok)
    throw EGDIPlus("Can't Create Graphics");
}

TGpGraphics::~TGpGraphics() {
  if (FGraphics) GdipDeleteGraphics(FGraphics);
}

void TGpGraphics::DrawImage(TGpImage* Image, int X, int Y, int W, int H) {
  const int iw = Image->Width(), ih = Image->Height();
  if ((iw > 10 || W <= iw) && (ih > 10 || H <= ih)) {
    GdipDrawImageRectI(FGraphics, Image->Handle(), X, Y, W, H);
    return;
  }
  drawSmallImage(Image, X, Y, W, H);
}

void TGpGraphics::drawSmallImage(TGpImage* Image, int X, int Y, int W, int H) {
  // Stretching a tiny picture smears its last row and column into
  // transparency; a copy one pixel larger that repeats them keeps the
  // edges solid.
  const int iw = Image->Width(), ih = Image->Height();
  if (iw <= 0 || ih <= 0 || W <= 0 || H <= 0) return;
  TGpBitmap b1(iw + 1, ih + 1);
  {
    TGpGraphics g1(&b1);
    g1.DrawImage(Image, 0, 0, iw, ih);
  }
  ARGB c = 0;
  for (int y = 0; y < ih; ++y) {
    GdipBitmapGetPixel(b1.Handle(), iw - 1, y, &c);
    GdipBitmapSetPixel(b1.Handle(), iw, y, c);
  }
  for (int x = 0; x <= iw; ++x) {
    GdipBitmapGetPixel(b1.Handle(), x, ih - 1, &c);
    GdipBitmapSetPixel(b1.Handle(), x, ih, c);
  }
  TGpBitmap b2(W, H);
  {
    TGpGraphics g2(&b2);
    g2.DrawImage(&b1, 0, 0, W, H, 0, 0, iw, ih);
  }
  DrawImage(&b2, X, Y);
}

void TGpGraphics::DrawImage(TGpImage* Image, int X, int Y) {
  GdipDrawImageRectI(FGraphics, Image->Handle(), X, Y, Image->Width(), Image->Height());
}

void TGpGraphics::DrawImage(TGpImage* Image, int X, int Y, int SrcX, int SrcY, int SrcW, int SrcH) {
  GdipDrawImagePointRect(FGraphics, Image->Handle(), float(X), float(Y), float(SrcX), float(SrcY), float(SrcW),
                         float(SrcH), UnitPixel);
}

void TGpGraphics::DrawImage(TGpImage* Image, int DestX, int DestY, int DestW, int DestH, int SrcX, int SrcY,
                            int SrcW, int SrcH) {
  GdipDrawImageRectRectI(FGraphics, Image->Handle(), DestX, DestY, DestW, DestH, SrcX, SrcY, SrcW, SrcH,
                         UnitPixel, nullptr, nullptr, nullptr);
}

void TGpGraphics::Clear(ARGB Color) { GdipGraphicsClear(FGraphics, Color); }

void TGpGraphics::ScaleTransform(float SX, float SY) {
  GdipScaleWorldTransform(FGraphics, SX, SY, MatrixOrderPrepend);
}

// ---- TGpImage ---------------------------------------------------------------------

TGpImage::TGpImage(const String& FileName, bool DeleteOnFree) {
  const GpStatus st = GdipLoadImageFromFile(FileName.c_str(), &FHandle);
  if (st != Ok) {
    FHandle = nullptr;
    if (st == FileNotFound) throw EGDIPlus(quoted("Image file \"", FileName, "\" not found."));
    throw EGDIPlus(quoted("Can't load image file \"", FileName, "\"."));
  }
  if (DeleteOnFree) FDeleteName = FileName;
}

TGpImage::~TGpImage() {
  if (FHandle) GdipDisposeImage(FHandle);
  if (!FDeleteName.empty()) std::remove(UTF16ToUTF8(FDeleteName).c_str());  // a failure is of no concern
}

int TGpImage::Width() const {
  if (FWidth == 0 && FHandle) {
    UINT w = 0;
    GdipGetImageWidth(FHandle, &w);
    FWidth = int(w);
  }
  return FWidth;
}

int TGpImage::Height() const {
  if (FHeight == 0 && FHandle) {
    UINT h = 0;
    GdipGetImageHeight(FHandle, &h);
    FHeight = int(h);
  }
  return FHeight;
}

void TGpImage::Draw(TCanvas& canvas, const TRect& r) {
  if (!FHandle) return;
  TGpGraphics g(canvas.Handle());
  g.DrawImage(this, r.Left, r.Top, r.Width(), r.Height());
}

void TGpImage::LoadFromStream(TStream& stream) {
  GpImage* img = nullptr;
  if (GdipLoadImageFromStream(&stream, &img) != Ok) throw EGDIPlus("Can't load image from stream");
  if (FHandle) GdipDisposeImage(FHandle);
  FHandle = img;
  FWidth = FHeight = 0;
  Changed();
}

void TGpImage::SaveToStream(TStream&) { throw EGDIPlus("Can't save a GDI+ image"); }

std::unique_ptr<TBitmap> TGpImage::GetBitmap() {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(Width(), Height());
  if (b->Empty()) return b;
  PatBlt(b->Canvas()->Handle(), 0, 0, Width(), Height(), WHITENESS);
  TGpGraphics g(b->Canvas()->Handle());
  g.DrawImage(this, 0, 0, Width(), Height());
  return b;
}

// ---- TGpBitmap --------------------------------------------------------------------

TGpBitmap::TGpBitmap(int W, int H) {
  if (GdipCreateBitmapFromScan0(W, H, 0, PixelFormat32bppARGB, nullptr, &FHandle) != Ok) {
    FHandle = nullptr;
    throw EGDIPlus("Can't create bitmap");
  }
}
