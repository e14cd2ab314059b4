// GDI+-style images over QImage and QPainter.
#include "platform/graphics/gdiplus.h"

#include <QFile>
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi_internal.h"

struct GpImage {
  // Pictures read from files keep straight ARGB (their own values); images
  // made for drawing on are premultiplied.
  QImage image;
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

namespace {
GpStatus decodeImage(const void* data, std::size_t size, GpImage** image) {
  try {
    TBitmap b;
    DecodePicture(data, size, b);
    auto img = std::make_unique<GpImage>();
    const QImage& decoded = b.Handle()->image;
    img->image = decoded.format() == QImage::Format_ARGB32 ? decoded.copy()
                                                            : decoded.convertToFormat(QImage::Format_ARGB32);
    *image = img.release();
    return Ok;
  } catch (const EOutOfMemory&) {
    return OutOfMemory;
  } catch (const Exception&) {
    return UnknownImageFormat;
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
}
}  // namespace

GpStatus GdipLoadImageFromFile(const char16_t* fileName, GpImage** image) {
  if (!fileName || !image) return InvalidParameter;
  QFile f(QString::fromUtf16(fileName));
  if (!f.exists()) return FileNotFound;
  if (!f.open(QIODevice::ReadOnly)) return AccessDenied;
  QByteArray data = f.readAll();
  return decodeImage(data.constData(), size_t(data.size()), image);
}

GpStatus GdipLoadImageFromStream(TStream* stream, GpImage** image) {
  if (!stream || !image) return InvalidParameter;
  try {
    const std::int64_t pos = stream->Position();
    const std::int64_t size = stream->Size() - pos;
    if (size <= 0) return UnknownImageFormat;
    if (size > (std::int64_t(1) << 30)) return OutOfMemory;
    std::vector<unsigned char> data(static_cast<size_t>(size));
    const std::int64_t got = stream->Read(data.data(), size);
    stream->SetPosition(pos);
    data.resize(static_cast<size_t>(std::max<std::int64_t>(got, 0)));
    return decodeImage(data.data(), data.size(), image);
  } catch (const Exception&) {
    return Win32Error;
  }
}

GpStatus GdipCreateBitmapFromStream(TStream* stream, GpBitmap** bitmap) {
  return GdipLoadImageFromStream(stream, bitmap);
}

GpStatus GdipCreateBitmapFromGraphics(int width, int height, GpGraphics* target, GpBitmap** bitmap) {
  if (!target) return InvalidParameter;
  return GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, bitmap);
}

GpStatus GdipCreateHBITMAPFromBitmap(GpBitmap* bitmap, HBITMAP* hbmReturn, ARGB background) {
  if (!bitmap || !hbmReturn || bitmap->image.isNull()) return InvalidParameter;
  QImage img = bitmap->image.convertToFormat(QImage::Format_ARGB32);
  if ((background >> 24) != 0) {
    // An opaque background takes the picture composited over it.
    QImage flat(img.size(), QImage::Format_ARGB32_Premultiplied);
    flat.fill(QColor(int((background >> 16) & 0xFF), int((background >> 8) & 0xFF), int(background & 0xFF),
                     int(background >> 24)));
    QPainter p(&flat);
    p.drawImage(0, 0, img);
    p.end();
    img = flat.convertToFormat(QImage::Format_ARGB32);
  }
  *hbmReturn = BitmapFromImage(img, 32);
  return Ok;
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
  const QRgb c = bitmap->image.pixelColor(x, y).rgba();  // straight whatever the format
  *color = c;
  return Ok;
}

GpStatus GdipBitmapSetPixel(GpBitmap* bitmap, int x, int y, ARGB color) {
  if (!bitmap || !bitmap->image.valid(x, y)) return InvalidParameter;
  bitmap->image.setPixelColor(x, y, QColor::fromRgba(color));
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
