// Image list drawing. Each picture becomes a premultiplied 32-bit image
// whose transparency comes from the list's mask, the picture's transparent
// colour or its own alpha, and is then composed as the flags ask.
#include "platform/graphics/imagelist.h"

#include "platform/graphics/gdi_internal.h"

namespace {

QImage pictureOf(TImageList* list, int index) {
  TBitmap* image = list->Images(index);
  if (!image || image->Empty()) return QImage();
  TBitmap* mask = list->Masks(index);
  const QImage& src = image->Handle()->image;
  QImage img = src.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const bool ownAlpha = image->PixelFormat() == pf32bit && image->AlphaFormat() != afIgnored;
  const QImage* m = mask && !mask->Empty() ? &mask->Handle()->image : nullptr;
  const bool keyed = !m && image->Transparent();
  const QRgb key = keyed ? (ToQColor(ColorToRGB(image->TransparentColor())).rgb() & 0xFFFFFF) : 0;
  for (int y = 0; y < img.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      bool transparent = m ? (m->valid(x, y) && qGray(m->pixel(x, y)) >= 128)
                           : keyed && (row[x] & 0xFFFFFF) == key;
      if (transparent) row[x] = 0;
      else if (!ownAlpha) row[x] |= 0xFF000000u;
    }
  }
  return img;
}

}  // namespace

bool ImageList_SetOverlayImage(HIMAGELIST list, int image, int overlay) {
  return list && list->SetOverlay(image, overlay);
}

int ImageList_GetImageCount(HIMAGELIST list) { return list ? list->Count() : 0; }

namespace {

bool drawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy, COLORREF bk, COLORREF fg,
            UINT style, bool enabled) {
  if (!list || !dc || index < 0 || index >= list->Count()) return false;
  if (!dc->ready()) return true;
  QImage img = pictureOf(list, index);
  if (img.isNull()) return false;
  const int w = dx > 0 ? dx : list->Width(), h = dy > 0 ? dy : list->Height();
  QPainter& p = *dc->painter;
  if (style & ILD_MASK) {
    // The mask alone: black where the picture is, white where it is not.
    QImage m(img.size(), QImage::Format_RGB32);
    for (int yy = 0; yy < img.height(); ++yy)
      for (int xx = 0; xx < img.width(); ++xx)
        m.setPixel(xx, yy, qAlpha(img.pixel(xx, yy)) ? 0xFF000000u : 0xFFFFFFFFu);
    p.drawImage(QPoint(x, y), m, QRect(0, 0, w, h));
    return true;
  }
  if (!(style & ILD_TRANSPARENT) && bk != CLR_NONE) {
    COLORREF back = bk;
    if (bk == CLR_DEFAULT) back = list->BkColor() == clNone ? CLR_NONE : ColorToRGB(list->BkColor());
    if (back != CLR_NONE) p.fillRect(QRect(x, y, w, h), ToQColor(back));
  }
  if (!enabled) {
    // Greyed: the picture's brightness, pulled towards a light grey.
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
    COLORREF c = fg == CLR_DEFAULT || fg == CLR_NONE ? GetSysColor(COLOR_HIGHLIGHT) : fg;
    const QColor blend = ToQColor(c);
    const int part = (style & ILD_BLEND50) ? 128 : 64;
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
  const UINT overlay = (style & ILD_OVERLAYMASK) >> 8;
  if (overlay >= 1 && overlay <= 15) {
    int o = list->Overlay(int(overlay));
    QImage top = o >= 0 && o < list->Count() ? pictureOf(list, o) : QImage();
    if (!top.isNull()) p.drawImage(QPoint(x, y), top, QRect(0, 0, w, h));
  }
  return true;
}

}  // namespace

bool ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy, COLORREF bk,
                      COLORREF fg, UINT style) {
  return drawEx(list, index, dc, x, y, dx, dy, bk, fg, style, true);
}

bool ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
  return drawEx(list, index, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style, true);
}

void ImageListDraw(TImageList* list, TCanvas* canvas, int x, int y, int index, bool enabled) {
  if (list) ImageListDraw(list, canvas, x, y, index, list->DrawingStyle(), itImage, enabled);
}

void ImageListDraw(TImageList* list, TCanvas* canvas, int x, int y, int index, TDrawingStyle style,
                   TImageType type, bool enabled) {
  if (!list || !canvas) return;
  UINT flags = type == itMask ? ILD_MASK : ILD_NORMAL;
  switch (style) {
    case dsFocus: flags |= ILD_FOCUS; break;
    case dsSelected: flags |= ILD_SELECTED; break;
    case dsTransparent: flags |= ILD_TRANSPARENT; break;
    default: break;
  }
  drawEx(list, index, canvas->Handle(), x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, flags, enabled);
}
