// TGraphic and TBitmap.
#include "platform/graphics/bitmap.h"

#include <QPainter>
#include <vector>

#include "platform/core/exception.h"
#include "platform/graphics/gdi_internal.h"

// ---- TGraphic -----------------------------------------------------------------------

void TGraphic::SetTransparent(bool value) {
  if (value == FTransparent) return;
  FTransparent = value;
  Changed();
}

void TGraphic::Changed() {
  FModified = true;
  if (OnChange) OnChange(this);
}

void TGraphic::DrawTransparent(TCanvas& canvas, const TRect& r, std::uint8_t opacity) {
  // Through a 32-bit bitmap, which knows how to blend.
  TBitmap b(Width(), Height());
  b.SetPixelFormat(pf32bit);
  Draw(*b.Canvas(), Rect(0, 0, Width(), Height()));
  b.DrawTransparent(canvas, r, opacity);
}

void TGraphic::LoadFromFile(const String& fileName) {
  TFileStream s(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(s);
}

void TGraphic::SaveToFile(const String& fileName) {
  TFileStream s(fileName, fmCreate);
  SaveToStream(s);
}

void TGraphic::Assign(const TGraphic&) {
  throw EConvertError("Cannot assign this picture");
}

// ---- TBitmap ------------------------------------------------------------------------

class TBitmapCanvas : public TCanvas {
public:
  explicit TBitmapCanvas(TBitmap& owner) : FOwner(owner) {}
  void reselect() {
    if (FHandle) SelectObject(FHandle, FOwner.Handle());
  }

protected:
  void CreateHandle() override {
    FHandle = CreateCompatibleDC(nullptr);
    FOwnHandle = true;
    SelectObject(FHandle, FOwner.Handle());
  }

private:
  TBitmap& FOwner;
};

namespace {

// 32-bit pictures with defined alpha keep straight colour values, so that
// reading their pixels or saving them gives back what the file held; the
// others are premultiplied, as the blending code that fills them expects.
QImage::Format formatFor(TPixelFormat pf, TAlphaFormat af) {
  if (pf != pf32bit) return QImage::Format_RGB32;
  return af == afDefined ? QImage::Format_ARGB32 : QImage::Format_ARGB32_Premultiplied;
}
int bppFor(TPixelFormat pf) { return pf == pf32bit ? 32 : pf == pf1bit ? 1 : 24; }

void toMono(QImage& img) {
  for (int y = 0; y < img.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) row[x] = qGray(row[x]) >= 128 ? 0xFFFFFFFFu : 0xFF000000u;
  }
}

}  // namespace

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height) { SetSize(width, height); }

TBitmap::~TBitmap() {
  FCanvas.reset();
  DeleteObject(FHandle);
  DeleteObject(FMaskHandle);
}

void TBitmap::ensureHandle() const {
  if (!FHandle) FHandle = BitmapFromImage(QImage(), 24);
}

int TBitmap::Width() const { return FHandle ? FHandle->image.width() : 0; }
int TBitmap::Height() const { return FHandle ? FHandle->image.height() : 0; }

HBITMAP TBitmap::Handle() {
  ensureHandle();
  return FHandle;
}

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TBitmapCanvas>(*this);
  return FCanvas.get();
}

void TBitmap::imageReplaced() {
  if (FHandle->selectedIn) DcRebindBitmap(FHandle->selectedIn);
  Changed();
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (width > 32767 || height > 32767) throw EOutOfResources("Bitmap is too large");
  ensureHandle();
  if (width == Width() && height == Height()) return;
  QImage img;
  if (width && height) {
    img = QImage(width, height, formatFor(FPixelFormat, FAlphaFormat));
    if (img.isNull()) throw EOutOfResources("Out of memory for the bitmap");
    img.fill(FPixelFormat == pf32bit ? Qt::transparent : Qt::black);
    // The old picture stays in the top-left corner.
    if (!FHandle->image.isNull()) {
      QPainter p(&img);
      p.setCompositionMode(QPainter::CompositionMode_Source);
      p.drawImage(0, 0, FHandle->image);
    }
  }
  if (FHandle->selectedIn) DcSuspendBitmap(FHandle->selectedIn);
  FHandle->image = img;
  FHandle->bpp = bppFor(FPixelFormat);
  imageReplaced();
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
  if (value == FPixelFormat) return;
  ensureHandle();
  FPixelFormat = value;
  if (FHandle->selectedIn) DcSuspendBitmap(FHandle->selectedIn);
  if (!FHandle->image.isNull()) {
    FHandle->image = FHandle->image.convertToFormat(formatFor(value, FAlphaFormat));
    if (value == pf1bit) toMono(FHandle->image);
  }
  FHandle->bpp = bppFor(value);
  imageReplaced();
}

void TBitmap::SetAlphaFormat(TAlphaFormat value) {
  if (value == FAlphaFormat) return;
  FAlphaFormat = value;
  ensureHandle();
  if (FPixelFormat != pf32bit || FHandle->image.isNull()) return;
  const QImage::Format f = formatFor(FPixelFormat, value);
  if (FHandle->image.format() == f) return;
  if (FHandle->selectedIn) DcSuspendBitmap(FHandle->selectedIn);
  FHandle->image = FHandle->image.convertToFormat(f);
  imageReplaced();
}

void TBitmap::SetHandle(HBITMAP value) {
  if (value == FHandle) return;
  if (FHandle && FHandle->selectedIn) {
    // Let the canvas drop the old bitmap first.
    FCanvas.reset();
  }
  DeleteObject(FHandle);
  FHandle = value;
  ensureHandle();
  FPixelFormat = FHandle->bpp == 32 ? pf32bit : FHandle->bpp == 1 ? pf1bit : pfDevice;
  if (FHandle->image.format() == QImage::Format_ARGB32) FAlphaFormat = afDefined;
  if (FCanvas) FCanvas->reselect();
  Changed();
}

HBITMAP TBitmap::ReleaseHandle() {
  FCanvas.reset();
  ensureHandle();
  HBITMAP h = FHandle;
  FHandle = nullptr;
  return h;
}

HBITMAP TBitmap::MaskHandle() {
  DeleteObject(FMaskHandle);
  ensureHandle();
  QImage mask(FHandle->image.size(), QImage::Format_RGB32);
  QRgb key = ToQColor(ColorToRGB(TransparentColor())).rgb() & 0xFFFFFF;
  for (int y = 0; y < mask.height(); ++y) {
    auto* dst = reinterpret_cast<QRgb*>(mask.scanLine(y));
    const auto* src = reinterpret_cast<const QRgb*>(FHandle->image.constScanLine(y));
    for (int x = 0; x < mask.width(); ++x) dst[x] = (src[x] & 0xFFFFFF) == key ? 0xFFFFFFFFu : 0xFF000000u;
  }
  FMaskHandle = BitmapFromImage(mask, 1);
  return FMaskHandle;
}

void* TBitmap::ScanLine(int row) {
  ensureHandle();
  if (row < 0 || row >= Height()) throw EInvalidGraphicOperation("Scan line index out of range");
  return FHandle->image.scanLine(row);
}

int TBitmap::BytesPerScanLine() const { return Width() * 4; }

TColor TBitmap::TransparentColor() {
  if (FTransparentMode == tmFixed && FTransparentColor != clDefault) return FTransparentColor;
  if (Empty()) return clDefault;
  // The bottom-left pixel decides.
  QRgb c = FHandle->image.pixel(0, Height() - 1);
  return TColor(RGB(qRed(c), qGreen(c), qBlue(c))) | PaletteRelativeFlag;
}

void TBitmap::SetTransparentColor(TColor value) {
  FTransparentColor = value;
  FTransparentMode = value == clDefault ? tmAuto : tmFixed;
  Changed();
}

void TBitmap::Mask(TColor transparentColor) {
  ensureHandle();
  QRgb key = ToQColor(ColorToRGB(transparentColor)).rgb() & 0xFFFFFF;
  if (FHandle->selectedIn) DcSuspendBitmap(FHandle->selectedIn);
  QImage img = FHandle->image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < img.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) row[x] = (row[x] & 0xFFFFFF) == key ? 0xFFFFFFFFu : 0xFF000000u;
  }
  FHandle->image = img;
  FHandle->bpp = 1;
  FPixelFormat = pf1bit;
  imageReplaced();
}

void TBitmap::Draw(TCanvas& canvas, const TRect& r) {
  if (Empty()) return;
  HDC dest = canvas.Handle();
  HDC src = Canvas()->Handle();
  if (FTransparent) {
    TransparentBlt(dest, r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, Width(), Height(),
                   ColorToRGB(TransparentColor()));
  } else if (FPixelFormat == pf32bit && FAlphaFormat != afIgnored) {
    BLENDFUNCTION bf;
    bf.AlphaFormat = AC_SRC_ALPHA;
    GdiAlphaBlend(dest, r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, Width(), Height(), bf);
  } else {
    StretchBlt(dest, r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, Width(), Height(), canvas.CopyMode());
  }
}

void TBitmap::DrawTransparent(TCanvas& canvas, const TRect& r, std::uint8_t opacity) {
  if (Empty()) return;
  BLENDFUNCTION bf;
  bf.SourceConstantAlpha = opacity;
  bf.AlphaFormat = (FPixelFormat == pf32bit && FAlphaFormat != afIgnored) ? AC_SRC_ALPHA : 0;
  GdiAlphaBlend(canvas.Handle(), r.Left, r.Top, r.Width(), r.Height(), Canvas()->Handle(), 0, 0, Width(),
                Height(), bf);
}

void TBitmap::LoadFromStream(TStream& stream) {
  std::int64_t size = stream.Size() - stream.Position();
  if (size <= 0) throw EInvalidGraphic("Bitmap image is not valid");
  if (size > (std::int64_t(1) << 30)) throw EInvalidGraphic("Bitmap image is too large");
  std::vector<unsigned char> data(static_cast<size_t>(size));
  stream.ReadBuffer(data.data(), size);
  DecodePicture(data.data(), data.size(), *this);
}

void TBitmap::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (auto* b = dynamic_cast<const TBitmap*>(&source)) {
    ensureHandle();
    if (FHandle->selectedIn) DcSuspendBitmap(FHandle->selectedIn);
    FPixelFormat = b->FPixelFormat;
    FAlphaFormat = b->FAlphaFormat;
    FHandle->image = b->FHandle ? b->FHandle->image.copy() : QImage();
    FHandle->bpp = b->FHandle ? b->FHandle->bpp : 24;
    FTransparent = b->FTransparent;
    FTransparentColor = b->FTransparentColor;
    FTransparentMode = b->FTransparentMode;
    imageReplaced();
    return;
  }
  // Any other picture is drawn onto a white bitmap of its size.
  SetSize(0, 0);
  SetSize(source.Width(), source.Height());
  if (Empty()) return;
  Canvas()->Brush()->SetColor(clWhite);
  Canvas()->FillRect(Rect(0, 0, Width(), Height()));
  const_cast<TGraphic&>(source).Draw(*Canvas(), Rect(0, 0, Width(), Height()));
  FTransparent = source.Transparent();
}
