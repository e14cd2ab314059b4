// GDI+-style images over QImage and QPainter.
#include "platform/graphics/gdiplus.h"

#include <QFile>
#include <memory>

#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi_internal.h"

struct GpImage {
  QImage image;  // premultiplied ARGB
  int painters = 0;
};

struct GpGraphics {
  HDC dc = nullptr;                  // drawing on a device context, or
  GpImage* target = nullptr;         // on an image, through its own painter
  std::unique_ptr<QPainter> own;
  QTransform world;
  bool smooth = true;

  QPainter* begin() {
    if (own) return own.get();
    if (!dc || !dc->ready()) return nullptr;
    dc->painter->save();
    dc->painter->setTransform(world * dc->painter->transform());
    return dc->painter;
  }
  void end() {
    if (own || !dc) return;
    dc->painter->restore();
    dc->dirty = true;
  }
};

GpStatus GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput*, void*) {
  if (token) *token = 1;
  return Ok;
}
void GdiplusShutdown(std::uintptr_t) {}

GpStatus GdipCreateFromHDC(HDC dc, GpGraphics** graphics) {
  if (!dc || !graphics) return InvalidParameter;
  *graphics = new GpGraphics;
  (*graphics)->dc = dc;
  return Ok;
}

GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics) {
  if (!image || !graphics || image->image.isNull()) return InvalidParameter;
  auto g = std::make_unique<GpGraphics>();
  g->target = image;
  g->own = std::make_unique<QPainter>(&image->image);
  ++image->painters;
  *graphics = g.release();
  return Ok;
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics) {
  if (!graphics) return InvalidParameter;
  if (graphics->own) {
    graphics->own->end();
    --graphics->target->painters;
  }
  delete graphics;
  return Ok;
}

GpStatus GdipGraphicsClear(GpGraphics* graphics, ARGB color) {
  if (!graphics) return InvalidParameter;
  QPainter* p = graphics->begin();
  if (!p) return Ok;
  p->save();
  p->resetTransform();
  p->setCompositionMode(QPainter::CompositionMode_Source);
  QColor c(int((color >> 16) & 0xFF), int((color >> 8) & 0xFF), int(color & 0xFF), int(color >> 24));
  QRect all = graphics->own ? graphics->target->image.rect()
                            : QRect(QPoint(0, 0), graphics->dc->deviceSize);
  p->fillRect(all, c);
  p->restore();
  graphics->end();
  return Ok;
}

GpStatus GdipScaleWorldTransform(GpGraphics* graphics, float sx, float sy, GpMatrixOrder order) {
  if (!graphics) return InvalidParameter;
  QTransform s = QTransform::fromScale(sx, sy);
  graphics->world = order == MatrixOrderPrepend ? s * graphics->world : graphics->world * s;
  if (graphics->own) graphics->own->setTransform(graphics->world);
  return Ok;
}

GpStatus GdipSetInterpolationMode(GpGraphics* graphics, GpInterpolationMode mode) {
  if (!graphics) return InvalidParameter;
  graphics->smooth = mode != InterpolationModeNearestNeighbor;
  return Ok;
}

GpStatus GdipGetInterpolationMode(GpGraphics* graphics, GpInterpolationMode* mode) {
  if (!graphics || !mode) return InvalidParameter;
  *mode = graphics->smooth ? InterpolationModeDefault : InterpolationModeNearestNeighbor;
  return Ok;
}

GpStatus GdipLoadImageFromFile(const char16_t* fileName, GpImage** image) {
  if (!fileName || !image) return InvalidParameter;
  QFile f(QString::fromUtf16(fileName));
  if (!f.exists()) return FileNotFound;
  if (!f.open(QIODevice::ReadOnly)) return AccessDenied;
  QByteArray data = f.readAll();
  try {
    TBitmap b;
    DecodePicture(data.constData(), size_t(data.size()), b);
    auto img = std::make_unique<GpImage>();
    img->image = b.Handle()->image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    *image = img.release();
    return Ok;
  } catch (const EOutOfMemory&) {
    return OutOfMemory;
  } catch (const Exception&) {
    return UnknownImageFormat;
  }
}

GpStatus GdipCreateBitmapFromScan0(int width, int height, int stride, int format, std::uint8_t* scan0,
                                   GpBitmap** bitmap) {
  if (!bitmap || width <= 0 || height <= 0 || width > 32767 || height > 32767) return InvalidParameter;
  if (format != PixelFormat32bppARGB) return NotImplemented;
  auto b = std::make_unique<GpImage>();
  b->image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
  if (b->image.isNull()) return OutOfMemory;
  b->image.fill(Qt::transparent);
  if (scan0 && stride >= width * 4) {
    QImage src(scan0, width, height, stride, QImage::Format_ARGB32);
    b->image = src.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }
  *bitmap = b.release();
  return Ok;
}

GpStatus GdipDisposeImage(GpImage* image) {
  if (!image) return InvalidParameter;
  if (image->painters) return ObjectBusy;
  delete image;
  return Ok;
}

GpStatus GdipGetImageWidth(GpImage* image, UINT* width) {
  if (!image || !width) return InvalidParameter;
  *width = UINT(image->image.width());
  return Ok;
}

GpStatus GdipGetImageHeight(GpImage* image, UINT* height) {
  if (!image || !height) return InvalidParameter;
  *height = UINT(image->image.height());
  return Ok;
}

GpStatus GdipBitmapGetPixel(GpBitmap* bitmap, int x, int y, ARGB* color) {
  if (!bitmap || !color || !bitmap->image.valid(x, y)) return InvalidParameter;
  *color = qUnpremultiply(bitmap->image.pixel(x, y));
  return Ok;
}

GpStatus GdipBitmapSetPixel(GpBitmap* bitmap, int x, int y, ARGB color) {
  if (!bitmap || !bitmap->image.valid(x, y)) return InvalidParameter;
  bitmap->image.setPixel(x, y, qPremultiply(color));
  return Ok;
}

namespace {
GpStatus drawImage(GpGraphics* g, GpImage* image, const QRectF& target, const QRectF& source) {
  if (!g || !image) return InvalidParameter;
  QPainter* p = g->begin();
  if (!p) return Ok;
  bool was = p->testRenderHint(QPainter::SmoothPixmapTransform);
  p->setRenderHint(QPainter::SmoothPixmapTransform, g->smooth);
  p->drawImage(target, image->image, source);
  p->setRenderHint(QPainter::SmoothPixmapTransform, was);
  g->end();
  return Ok;
}
}  // namespace

GpStatus GdipDrawImageI(GpGraphics* graphics, GpImage* image, int x, int y) {
  if (!image) return InvalidParameter;
  return drawImage(graphics, image, QRectF(x, y, image->image.width(), image->image.height()),
                   QRectF(image->image.rect()));
}

GpStatus GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, int x, int y, int width, int height) {
  if (!image) return InvalidParameter;
  return drawImage(graphics, image, QRectF(x, y, width, height), QRectF(image->image.rect()));
}

GpStatus GdipDrawImagePointRect(GpGraphics* graphics, GpImage* image, float x, float y, float srcx, float srcy,
                                float srcwidth, float srcheight, GpUnit) {
  return drawImage(graphics, image, QRectF(x, y, srcwidth, srcheight), QRectF(srcx, srcy, srcwidth, srcheight));
}

GpStatus GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, int dstx, int dsty, int dstwidth,
                                int dstheight, int srcx, int srcy, int srcwidth, int srcheight, GpUnit,
                                const void*, void*, void*) {
  return drawImage(graphics, image, QRectF(dstx, dsty, dstwidth, dstheight),
                   QRectF(srcx, srcy, srcwidth, srcheight));
}
