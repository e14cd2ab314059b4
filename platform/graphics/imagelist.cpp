// Image lists: each image is kept with its transparency as a 32-bit image.
#include "platform/graphics/imagelist.h"

#include <vector>

#include "platform/graphics/gdi_internal.h"

struct TCustomImageList::Impl {
  std::vector<QImage> images;  // premultiplied, transparent where masked
  int overlays[15];
  Impl() { std::fill(std::begin(overlays), std::end(overlays), -1); }
};

TCustomImageList::TCustomImageList(TComponent* AOwner, int width, int height)
    : TComponent(AOwner), FImpl(std::make_unique<Impl>()), FWidth(width), FHeight(height) {}

TCustomImageList::~TCustomImageList() = default;

void TCustomImageList::changed() {
  if (OnChange) OnChange(this);
}

void TCustomImageList::SetWidth(int value) {
  if (value == FWidth || value <= 0) return;
  FWidth = value;
  Clear();
}
void TCustomImageList::SetHeight(int value) {
  if (value == FHeight || value <= 0) return;
  FHeight = value;
  Clear();
}

int TCustomImageList::Count() const { return int(FImpl->images.size()); }

namespace {

// Cuts a strip into images; white mask pixels (or pixels of the mask colour)
// become transparent.
std::vector<QImage> split(TBitmap* image, TBitmap* mask, const TColor* maskColor, int w, int h, bool masked) {
  std::vector<QImage> out;
  if (!image || image->Empty()) return out;
  const QImage& src = image->Handle()->image;
  const QImage* m = mask && !mask->Empty() ? &mask->Handle()->image : nullptr;
  QRgb key = maskColor ? (ToQColor(ColorToRGB(*maskColor)).rgb() & 0xFFFFFF) : 0;
  int n = std::max(1, src.width() / w);
  bool hasAlpha = image->PixelFormat() == pf32bit && image->AlphaFormat() != afIgnored;
  for (int i = 0; i < n; ++i) {
    QImage img = src.copy(i * w, 0, w, h).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
      for (int x = 0; x < w; ++x) {
        bool transparent = false;
        if (masked && m && m->valid(i * w + x, y)) transparent = qGray(m->pixel(i * w + x, y)) >= 128;
        else if (masked && maskColor) transparent = (row[x] & 0xFFFFFF) == key;
        if (transparent) row[x] = 0;
        else if (!hasAlpha) row[x] |= 0xFF000000u;
      }
    }
    out.push_back(img);
  }
  return out;
}

}  // namespace

int TCustomImageList::Add(TBitmap* image, TBitmap* mask) {
  auto parts = split(image, mask, nullptr, FWidth, FHeight, FMasked);
  if (parts.empty()) return -1;
  int first = Count();
  for (auto& p : parts) FImpl->images.push_back(p);
  changed();
  return first;
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor) {
  TColor c = maskColor == clDefault && image ? image->TransparentColor() : maskColor;
  auto parts = split(image, nullptr, &c, FWidth, FHeight, true);
  if (parts.empty()) return -1;
  int first = Count();
  for (auto& p : parts) FImpl->images.push_back(p);
  changed();
  return first;
}

void TCustomImageList::Replace(int index, TBitmap* image, TBitmap* mask) {
  if (index < 0 || index >= Count()) return;
  auto parts = split(image, mask, nullptr, FWidth, FHeight, FMasked);
  if (parts.empty()) return;
  FImpl->images[size_t(index)] = parts.front();
  changed();
}

void TCustomImageList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  FImpl->images.erase(FImpl->images.begin() + index);
  for (int& o : FImpl->overlays)
    if (o == index) o = -1;
    else if (o > index) --o;
  changed();
}

void TCustomImageList::Clear() {
  FImpl->images.clear();
  std::fill(std::begin(FImpl->overlays), std::end(FImpl->overlays), -1);
  changed();
}

bool TCustomImageList::Overlay(int imageIndex, int overlay) {
  if (overlay < 0 || overlay > 14 || imageIndex < 0 || imageIndex >= Count()) return false;
  FImpl->overlays[overlay] = imageIndex;
  return true;
}

void TCustomImageList::GetBitmap(int index, TBitmap* image) {
  if (!image || index < 0 || index >= Count()) return;
  image->SetSize(0, 0);
  image->SetPixelFormat(pf32bit);
  image->SetAlphaFormat(afPremultiplied);
  image->SetSize(FWidth, FHeight);
  const QImage& src = FImpl->images[size_t(index)];
  for (int y = 0; y < FHeight; ++y)
    std::memcpy(image->ScanLine(y), src.constScanLine(y), size_t(FWidth) * 4);
}

bool TCustomImageList::DrawEx(int index, HDC dc, int x, int y, int dx, int dy, COLORREF bk, COLORREF fg,
                              UINT style, bool enabled) {
  if (!dc || index < 0 || index >= Count()) return false;
  if (!dc->ready()) return true;
  QImage img = FImpl->images[size_t(index)];
  const int w = dx > 0 ? dx : FWidth, h = dy > 0 ? dy : FHeight;
  QPainter& p = *dc->painter;
  if (style & ILD_MASK) {
    // The mask alone: black where the image is, white where it is not.
    QImage m(img.size(), QImage::Format_RGB32);
    for (int yy = 0; yy < img.height(); ++yy)
      for (int xx = 0; xx < img.width(); ++xx)
        m.setPixel(xx, yy, qAlpha(img.pixel(xx, yy)) ? 0xFF000000u : 0xFFFFFFFFu);
    p.drawImage(QPoint(x, y), m, QRect(0, 0, w, h));
    return true;
  }
  if (!(style & ILD_TRANSPARENT) && bk != CLR_NONE) {
    COLORREF back = bk == CLR_DEFAULT ? ColorToRGB(FBkColor == clNone ? clWindow : FBkColor) : bk;
    if (bk == CLR_DEFAULT && FBkColor == clNone) back = CLR_NONE;
    if (back != CLR_NONE) p.fillRect(QRect(x, y, w, h), ToQColor(back));
  }
  if (!enabled) {
    // Greyed: luminance pulled towards the button face.
    for (int yy = 0; yy < img.height(); ++yy) {
      auto* row = reinterpret_cast<QRgb*>(img.scanLine(yy));
      for (int xx = 0; xx < img.width(); ++xx) {
        int a = qAlpha(row[xx]);
        if (!a) continue;
        int g = (qGray(qUnpremultiply(row[xx])) + 2 * 192) / 3;
        row[xx] = qPremultiply(qRgba(g, g, g, a));
      }
    }
  }
  if (style & (ILD_BLEND50 | ILD_BLEND25)) {
    // Blended with the selection colour: 50 % (or 25 %) of it over the image.
    COLORREF c = fg == CLR_DEFAULT || fg == CLR_NONE ? GetSysColor(COLOR_HIGHLIGHT) : fg;
    QColor blend = ToQColor(c);
    int part = (style & ILD_BLEND50) ? 128 : 64;
    for (int yy = 0; yy < img.height(); ++yy) {
      auto* row = reinterpret_cast<QRgb*>(img.scanLine(yy));
      for (int xx = 0; xx < img.width(); ++xx) {
        int a = qAlpha(row[xx]);
        if (!a) continue;
        auto mix = [&](int v, int b) { return (v * (256 - part) + (b * a / 255) * part) >> 8; };
        row[xx] = qRgba(mix(qRed(row[xx]), blend.red()), mix(qGreen(row[xx]), blend.green()),
                        mix(qBlue(row[xx]), blend.blue()), a);
      }
    }
  }
  p.drawImage(QPoint(x, y), img, QRect(0, 0, w, h));
  UINT overlay = (style & ILD_OVERLAYMASK) >> 8;
  if (overlay >= 1 && overlay <= 15) {
    int o = FImpl->overlays[overlay - 1];
    if (o >= 0 && o < Count()) p.drawImage(QPoint(x, y), FImpl->images[size_t(o)], QRect(0, 0, w, h));
  }
  return true;
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) {
  Draw(canvas, x, y, index, FDrawingStyle, itImage, enabled);
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style, TImageType type,
                            bool enabled) {
  if (!canvas) return;
  UINT flags = type == itMask ? ILD_MASK : ILD_NORMAL;
  switch (style) {
    case dsFocus: flags |= ILD_FOCUS; break;
    case dsSelected: flags |= ILD_SELECTED; break;
    case dsTransparent: flags |= ILD_TRANSPARENT; break;
    default: break;
  }
  COLORREF bk = FBkColor == clNone ? CLR_NONE : ColorToRGB(FBkColor);
  COLORREF fg = FBlendColor == clNone ? CLR_DEFAULT : ColorToRGB(FBlendColor);
  DrawEx(index, canvas->Handle(), x, y, 0, 0, bk, fg, flags, enabled);
}

void TCustomImageList::DrawOverlay(TCanvas* canvas, int x, int y, int imageIndex, int overlay, bool enabled) {
  if (!canvas || overlay < 0 || overlay > 14) return;
  COLORREF bk = FBkColor == clNone ? CLR_NONE : ColorToRGB(FBkColor);
  DrawEx(imageIndex, canvas->Handle(), x, y, 0, 0, bk, CLR_DEFAULT,
         ILD_TRANSPARENT | INDEXTOOVERLAYMASK(UINT(overlay) + 1), enabled);
}

bool ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy, COLORREF bk,
                      COLORREF fg, UINT style) {
  return list && list->DrawEx(index, dc, x, y, dx, dy, bk, fg, style);
}

bool ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
  return ImageList_DrawEx(list, index, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

int ImageList_GetImageCount(HIMAGELIST list) { return list ? list->Count() : 0; }
