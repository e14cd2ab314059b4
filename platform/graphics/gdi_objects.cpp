// Drawing objects (pens, brushes, fonts, bitmaps, regions) behind the opaque
// handles, with reference counts so that deleting an object that is still
// selected somewhere frees it only once nothing uses it.
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainterPath>
#include <QScreen>
#include <cstring>
#include <mutex>

#include "platform/graphics/canvas_qt.h"
#include "platform/graphics/gdi_internal.h"

void EnsureGuiApplication() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "tamrix";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  });
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  long long p = (long long)number * numerator;
  long long half = (denominator < 0 ? -denominator : denominator) / 2;
  // Rounds half away from zero, as the window-system routine does.
  bool negative = (p < 0) != (denominator < 0);
  long long a = p < 0 ? -p : p;
  long long d = denominator < 0 ? -(long long)denominator : denominator;
  long long q = (a + half) / d;
  return int(negative ? -q : q);
}

int ScreenPixelsPerInch() {
  // Layout is computed at a fixed 96 pixels per inch so that measured pages
  // are the same on every desktop and in tests.
  return 96;
}

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

void GdiAddRef(HGDIOBJ o) {
  if (o && !o->stock) ++o->refs;
}

void GdiRelease(HGDIOBJ o) {
  if (!o || o->stock) return;
  if (--o->refs == 0) delete o;
}

namespace {

HGDIOBJ newObject(int type) {
  auto* o = new TGdiObject;
  o->type = type;
  return o;
}

HGDIOBJ makeStock(int type) {
  HGDIOBJ o = newObject(type);
  o->stock = true;
  return o;
}

}  // namespace

HGDIOBJ GetStockObject(int index) {
  static HGDIOBJ stock[20] = {};
  static std::once_flag once;
  std::call_once(once, [] {
    const COLORREF grays[5] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                               RGB(64, 64, 64), RGB(0, 0, 0)};
    for (int i = 0; i < 5; ++i) {
      stock[i] = makeStock(OBJ_BRUSH);
      stock[i]->color = grays[i];
    }
    stock[NULL_BRUSH] = makeStock(OBJ_BRUSH);
    stock[NULL_BRUSH]->brushStyle = BS_NULL;
    stock[WHITE_PEN] = makeStock(OBJ_PEN);
    stock[WHITE_PEN]->color = RGB(255, 255, 255);
    stock[BLACK_PEN] = makeStock(OBJ_PEN);
    stock[NULL_PEN] = makeStock(OBJ_PEN);
    stock[NULL_PEN]->penStyle = PS_NULL;
    for (int i : {SYSTEM_FONT, DEFAULT_GUI_FONT}) {
      stock[i] = makeStock(OBJ_FONT);
      stock[i]->logFont.lfFaceName = u"DejaVu Sans";
      stock[i]->logFont.lfHeight = i == SYSTEM_FONT ? 16 : -11;
    }
    stock[DC_BRUSH] = makeStock(OBJ_BRUSH);
    stock[DC_BRUSH]->sysBrush = true;  // colour follows SetDCBrushColor
    stock[DC_PEN] = makeStock(OBJ_PEN);
    stock[DC_PEN]->sysBrush = true;
    stock[14] = makeStock(OBJ_BITMAP);  // the 1 x 1 bitmap a new memory DC holds
    stock[14]->image = QImage(1, 1, QImage::Format_RGB32);
    stock[14]->image.fill(Qt::white);
    stock[14]->bpp = 1;
  });
  if (index < 0 || index >= 20) return nullptr;
  return stock[index];
}

BOOL DeleteObject(HGDIOBJ object) {
  if (!object) return 0;
  if (object->stock) return 1;
  if (object->deleted) return 0;
  object->deleted = true;
  GdiRelease(object);
  return 1;
}

int GetObjectType(HGDIOBJ object) { return object ? object->type : 0; }

int GetObjectW(HGDIOBJ object, int size, void* buffer) {
  if (!object) return 0;
  switch (object->type) {
    case OBJ_BITMAP: {
      if (!buffer) return int(sizeof(BITMAP));
      if (size < int(sizeof(BITMAP))) return 0;
      auto* b = static_cast<BITMAP*>(buffer);
      *b = BITMAP{};
      b->bmWidth = object->image.width();
      // Bitmaps with addressable bits keep their rows top-down, which the
      // negative height says (as for a top-down device-independent bitmap).
      b->bmHeight = object->bpp == 32 ? -object->image.height() : object->image.height();
      b->bmBitsPixel = object->bpp;
      b->bmWidthBytes = int(object->image.bytesPerLine());
      b->bmBits = object->bpp == 32 && !object->image.isNull() ? object->image.bits() : nullptr;
      return int(sizeof(BITMAP));
    }
    case OBJ_FONT:
      if (!buffer) return int(sizeof(LOGFONTW));
      if (size < int(sizeof(LOGFONTW))) return 0;
      *static_cast<LOGFONTW*>(buffer) = object->logFont;
      return int(sizeof(LOGFONTW));
    case OBJ_BRUSH: {
      if (!buffer) return int(sizeof(LOGBRUSH));
      if (size < int(sizeof(LOGBRUSH))) return 0;
      auto* b = static_cast<LOGBRUSH*>(buffer);
      b->lbStyle = object->brushStyle;
      b->lbColor = object->color;
      b->lbHatch = std::uintptr_t(object->hatch);
      return int(sizeof(LOGBRUSH));
    }
    default: return 0;
  }
}

HPEN CreatePen(int style, int width, COLORREF color) {
  HGDIOBJ o = newObject(OBJ_PEN);
  o->penStyle = DWORD(style) & PS_STYLE_MASK;
  o->penWidth = width;
  o->color = color & 0xFFFFFF;
  return o;
}

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH& brush, DWORD styleCount,
                  const DWORD* styles) {
  HGDIOBJ o = newObject(OBJ_EXTPEN);
  o->penStyle = style;
  o->penWidth = int(width);
  o->color = brush.lbColor & 0xFFFFFF;
  if (brush.lbStyle == BS_NULL) o->penStyle = (style & ~DWORD(PS_STYLE_MASK)) | PS_NULL;
  if (styles && styleCount > 0 && styleCount <= 16) o->penDashes.assign(styles, styles + styleCount);
  return o;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  HGDIOBJ o = newObject(OBJ_BRUSH);
  o->color = color & 0xFFFFFF;
  return o;
}

HBRUSH CreateHatchBrush(int hatch, COLORREF color) {
  HGDIOBJ o = newObject(OBJ_BRUSH);
  o->brushStyle = BS_HATCHED;
  o->hatch = hatch;
  o->color = color & 0xFFFFFF;
  return o;
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
  if (!bitmap || bitmap->type != OBJ_BITMAP || bitmap->image.isNull()) return nullptr;
  HGDIOBJ o = newObject(OBJ_BRUSH);
  o->brushStyle = BS_PATTERN;
  // The brush keeps its own copy: the bitmap may be freed right after.
  o->pattern = bitmap->image.copy();
  o->patternMono = bitmap->bpp == 1;
  return o;
}

HBRUSH CreateBrushIndirect(const LOGBRUSH& brush) {
  switch (brush.lbStyle) {
    case BS_NULL: return GetStockObject(NULL_BRUSH);
    case BS_HATCHED: return CreateHatchBrush(int(brush.lbHatch), brush.lbColor);
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(brush.lbHatch));
    default: return CreateSolidBrush(brush.lbColor);
  }
}

HBRUSH GetSysColorBrush(int index) {
  // One brush per system colour, kept for the life of the process.
  static HGDIOBJ brushes[31] = {};
  if (index < 0 || index > 30) return nullptr;
  if (!brushes[index]) {
    brushes[index] = makeStock(OBJ_BRUSH);
  }
  brushes[index]->color = GetSysColor(index);
  return brushes[index];
}

HFONT CreateFontIndirectW(const LOGFONTW& font) {
  HGDIOBJ o = newObject(OBJ_FONT);
  o->logFont = font;
  return o;
}

TFontData& FontOf(HGDIOBJ font) {
  if (!font || font->type != OBJ_FONT) font = GetStockObject(SYSTEM_FONT);
  if (!font->font) font->font = FontDataFor(font->logFont);
  return *font->font;
}

HBITMAP BitmapFromImage(const QImage& image, int bpp) {
  HGDIOBJ o = newObject(OBJ_BITMAP);
  o->image = image;
  o->bpp = bpp;
  return o;
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
  if (width < 0 || height < 0 || planes != 1) return nullptr;
  if (width > 32767 || height > 32767) return nullptr;
  int bpp = bitsPerPixel <= 1 ? 1 : 32;
  QImage img(width, height, bpp == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  if (width && height && img.isNull()) return nullptr;
  img.fill(bpp == 1 ? Qt::black : Qt::transparent);
  if (bits && width && height) {
    if (bpp == 1) {
      // Monochrome rows are padded to 16 bits; a set bit is white.
      const auto* p = static_cast<const std::uint8_t*>(bits);
      int stride = ((width + 15) / 16) * 2;
      for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x)
          row[x] = (p[y * stride + x / 8] & (0x80 >> (x % 8))) ? 0xFFFFFFFFu : 0xFF000000u;
      }
    } else {
      for (int y = 0; y < height; ++y)
        std::memcpy(img.scanLine(y), static_cast<const std::uint8_t*>(bits) + size_t(y) * size_t(width) * 4,
                    size_t(width) * 4);
    }
  }
  return BitmapFromImage(img, bpp);
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) {
    width = height = 1;
  }
  QImage img(width, height, QImage::Format_RGB32);
  if (img.isNull()) return nullptr;
  img.fill(Qt::black);
  return BitmapFromImage(img, 24);
}

HBITMAP CreateDIBSection32(int width, int height, void** bits) {
  HBITMAP b = CreateBitmap(width, height, 1, 32, nullptr);
  if (bits) *bits = b && !b->image.isNull() ? b->image.bits() : nullptr;
  return b;
}

// ---- regions -----------------------------------------------------------------------

namespace {
HRGN newRegion(const QRegion& r) {
  HGDIOBJ o = newObject(OBJ_REGION);
  o->region = r;
  return o;
}
QRect qrect(int l, int t, int r, int b) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  return QRect(l, t, r - l, b - t);
}
int complexity(const QRegion& r) {
  if (r.isEmpty()) return NULLREGION;
  return r.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  return newRegion(QRegion(qrect(left, top, right, bottom)));
}
HRGN CreateRectRgnIndirect(const TRect& r) { return CreateRectRgn(r.Left, r.Top, r.Right, r.Bottom); }
HRGN CreateEllipticRgn(int left, int top, int right, int bottom) {
  return newRegion(QRegion(qrect(left, top, right, bottom), QRegion::Ellipse));
}
HRGN CreateEllipticRgnIndirect(const TRect& r) { return CreateEllipticRgn(r.Left, r.Top, r.Right, r.Bottom); }
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int w, int h) {
  QPainterPath path;
  path.addRoundedRect(QRectF(qrect(left, top, right, bottom)), w / 2.0, h / 2.0);
  return newRegion(QRegion(path.toFillPolygon().toPolygon()));
}
HRGN CreatePolygonRgn(const TPoint* points, int count, int fillMode) {
  QPolygon poly;
  for (int i = 0; points && i < count; ++i) poly << QPoint(points[i].x, points[i].y);
  return newRegion(QRegion(poly, fillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill));
}

QRegion QRegionFromRgn(HRGN region) {
  return region && region->type == OBJ_REGION ? region->region : QRegion();
}

void SetRgnFromQRegion(HRGN region, const QRegion& area) {
  if (region && region->type == OBJ_REGION) region->region = area;
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
  if (!dest || !src1 || dest->type != OBJ_REGION || src1->type != OBJ_REGION) return RGN_ERROR;
  if (mode != RGN_COPY && (!src2 || src2->type != OBJ_REGION)) return RGN_ERROR;
  QRegion r;
  switch (mode) {
    case RGN_AND: r = src1->region.intersected(src2->region); break;
    case RGN_OR: r = src1->region.united(src2->region); break;
    case RGN_XOR: r = src1->region.xored(src2->region); break;
    case RGN_DIFF: r = src1->region.subtracted(src2->region); break;
    case RGN_COPY: r = src1->region; break;
    default: return RGN_ERROR;
  }
  dest->region = r;
  return complexity(r);
}

BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom) {
  if (!region || region->type != OBJ_REGION) return 0;
  region->region = QRegion(qrect(left, top, right, bottom));
  return 1;
}
int OffsetRgn(HRGN region, int dx, int dy) {
  if (!region || region->type != OBJ_REGION) return RGN_ERROR;
  region->region.translate(dx, dy);
  return complexity(region->region);
}
BOOL PtInRegion(HRGN region, int x, int y) {
  return region && region->type == OBJ_REGION && region->region.contains(QPoint(x, y));
}
BOOL RectInRegion(HRGN region, const TRect& r) {
  return region && region->type == OBJ_REGION &&
         region->region.intersects(qrect(r.Left, r.Top, r.Right, r.Bottom));
}
int GetRgnBox(HRGN region, TRect* box) {
  if (!region || region->type != OBJ_REGION || !box) return RGN_ERROR;
  QRect b = region->region.boundingRect();
  *box = region->region.isEmpty() ? TRect{} : TRect{b.left(), b.top(), b.left() + b.width(), b.top() + b.height()};
  return complexity(region->region);
}
BOOL EqualRgn(HRGN a, HRGN b) {
  return a && b && a->type == OBJ_REGION && b->type == OBJ_REGION && a->region == b->region;
}
