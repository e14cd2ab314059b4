// Device contexts: state, coordinate mapping, clipping, shapes and block
// transfers over QPainter. Every drawing call first lets the context put its
// mapping and clip region on the painter (ready()), so state changes cost
// nothing until something is drawn.
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainterPath>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <cstring>

#include "platform/graphics/canvas_qt.h"
#include "platform/graphics/gdi_internal.h"

namespace {
// Which context last put its mapping and clip on each painter: a paint
// event may bind several contexts to one painter (the window's and a
// canvas's), and each must re-apply its state after another drew.
std::unordered_map<const QPainter*, const TDeviceContext*>& appliedBy() {
  static std::unordered_map<const QPainter*, const TDeviceContext*> map;
  return map;
}
void forgetApplied(const TDeviceContext* dc) {
  auto& map = appliedBy();
  for (auto it = map.begin(); it != map.end();)
    it = it->second == dc ? map.erase(it) : std::next(it);
}
}  // namespace

// ---- context lifetime ------------------------------------------------------------

namespace {

void initState(TDcState& s) {
  s.pen = GetStockObject(BLACK_PEN);
  s.brush = GetStockObject(WHITE_BRUSH);
  s.font = GetStockObject(SYSTEM_FONT);
}

void releaseState(TDcState& s) {
  GdiRelease(s.pen);
  GdiRelease(s.brush);
  GdiRelease(s.font);
  s.pen = s.brush = s.font = nullptr;
}

void addRefState(const TDcState& s) {
  GdiAddRef(s.pen);
  GdiAddRef(s.brush);
  GdiAddRef(s.font);
}

bool isMono(HDC dc) { return dc->bitmap && dc->bitmap->bpp == 1; }

void endBitmapPainter(HDC dc) {
  if (dc->ownPainter && dc->kind == TDcKind::Memory) {
    dc->ownPainter->end();
    dc->ownPainter.reset();
    dc->painter = nullptr;
  }
}

void beginBitmapPainter(HDC dc) {
  endBitmapPainter(dc);
  if (!dc->bitmap || dc->bitmap->image.isNull()) return;
  if (dc->bitmap->image.width() == 0 || dc->bitmap->image.height() == 0) return;
  dc->ownPainter = std::make_unique<QPainter>(&dc->bitmap->image);
  dc->painter = dc->ownPainter.get();
  dc->base = QTransform();
  dc->baseClip.reset();
  dc->deviceSize = dc->bitmap->image.size();
  dc->dirty = true;
}

}  // namespace

HDC NewDC(TDcKind kind) {
  auto* dc = new TDeviceContext;
  dc->kind = kind;
  initState(dc->st);
  if (kind == TDcKind::Measure || kind == TDcKind::Memory) {
    if (QGuiApplication::instance() && QGuiApplication::primaryScreen())
      dc->deviceSize = QGuiApplication::primaryScreen()->size();
    dc->dpiX = dc->dpiY = ScreenPixelsPerInch();
  }
  return dc;
}

HDC CreateCompatibleDC(HDC) {
  HDC dc = NewDC(TDcKind::Memory);
  dc->bitmap = GetStockObject(14);
  dc->deviceSize = QSize(1, 1);
  return dc;
}

HDC GetScreenDC() {
  static HDC screen = NewDC(TDcKind::Measure);
  return screen;
}

BOOL DeleteDC(HDC dc) {
  if (!dc || dc == GetScreenDC()) return 0;
  endBitmapPainter(dc);
  forgetApplied(dc);
  if (dc->bitmap) {
    dc->bitmap->selectedIn = nullptr;
    GdiRelease(dc->bitmap);
  }
  for (auto& s : dc->saved) releaseState(s);
  releaseState(dc->st);
  delete dc;
  return 1;
}

void DcAttachPainter(HDC dc, QPainter* painter) {
  dc->painter = painter;
  dc->base = painter->transform();
  if (painter->hasClipping()) dc->baseClip = painter->clipRegion();
  else dc->baseClip.reset();
  if (painter->device()) {
    dc->deviceSize = QSize(painter->device()->width(), painter->device()->height());
    dc->dpiX = dc->kind == TDcKind::Painter ? ScreenPixelsPerInch() : painter->device()->logicalDpiX();
    dc->dpiY = dc->kind == TDcKind::Painter ? ScreenPixelsPerInch() : painter->device()->logicalDpiY();
  }
  dc->dirty = true;
}

void DcDetachPainter(HDC dc) {
  forgetApplied(dc);
  if (dc->painter) {
    dc->painter->setTransform(dc->base);
    if (dc->baseClip) dc->painter->setClipRegion(*dc->baseClip);
    else dc->painter->setClipping(false);
  }
  dc->painter = nullptr;
}

HDC CreatePainterDC(QPainter& painter) {
  HDC dc = NewDC(TDcKind::Painter);
  DcAttachPainter(dc, &painter);
  return dc;
}

void ReleasePainterDC(HDC dc) {
  if (!dc) return;
  DcDetachPainter(dc);
  DeleteDC(dc);
}

void DcSuspendBitmap(HDC dc) {
  if (dc && dc->kind == TDcKind::Memory) endBitmapPainter(dc);
}

void DcRebindBitmap(HDC dc) {
  if (dc && dc->kind == TDcKind::Memory) beginBitmapPainter(dc);
}

QTransform TDeviceContext::toDevice() const {
  double sx = 1, sy = 1;
  if (st.mapMode == MM_ANISOTROPIC || st.mapMode == MM_ISOTROPIC) {
    sx = st.winExt.cx ? double(st.vpExt.cx) / st.winExt.cx : 1;
    sy = st.winExt.cy ? double(st.vpExt.cy) / st.winExt.cy : 1;
  }
  return QTransform(sx, 0, 0, sy, st.vpOrg.x - st.winOrg.x * sx, st.vpOrg.y - st.winOrg.y * sy);
}

QRect TDeviceContext::deviceBounds() const { return QRect(QPoint(0, 0), deviceSize); }


bool TDeviceContext::ready() {
  if (!painter) return false;
  const TDeviceContext*& last = appliedBy()[painter];
  if (last != this) {
    dirty = true;
    last = this;
  }
  if (dirty) {
    painter->setTransform(base);
    if (st.clip) {
      QRegion r = *st.clip;
      if (baseClip) r = r.intersected(*baseClip);
      painter->setClipRegion(r);
    } else if (baseClip) {
      painter->setClipRegion(*baseClip);
    } else {
      painter->setClipping(false);
    }
    painter->setTransform(toDevice() * base);
    painter->setRenderHint(QPainter::Antialiasing, false);
    dirty = false;
  }
  return true;
}

int GetDeviceCaps(HDC dc, int index) {
  if (!dc) dc = GetScreenDC();
  switch (index) {
    case LOGPIXELSX: return dc->dpiX;
    case LOGPIXELSY: return dc->dpiY;
    case HORZRES: return dc->deviceSize.width();
    case VERTRES: return dc->deviceSize.height();
    case HORZSIZE: return MulDiv(dc->deviceSize.width(), 254, dc->dpiX * 10);
    case VERTSIZE: return MulDiv(dc->deviceSize.height(), 254, dc->dpiY * 10);
    case BITSPIXEL: return isMono(dc) ? 1 : 32;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case SIZEPALETTE: return 0;
    case RASTERCAPS: return RC_STRETCHDIB;
    case TECHNOLOGY:
      return dc->kind == TDcKind::Printer ? DT_RASPRINTER
             : dc->kind == TDcKind::Picture ? DT_METAFILE : DT_RASDISPLAY;
    case PHYSICALWIDTH:
      return dc->physicalSize.isValid() ? dc->physicalSize.width() : 0;
    case PHYSICALHEIGHT:
      return dc->physicalSize.isValid() ? dc->physicalSize.height() : 0;
    case PHYSICALOFFSETX: return dc->physicalOffset.x();
    case PHYSICALOFFSETY: return dc->physicalOffset.y();
    default: return 0;
  }
}

int SaveDC(HDC dc) {
  if (!dc) return 0;
  addRefState(dc->st);
  dc->saved.push_back(dc->st);
  return int(dc->saved.size());
}

BOOL RestoreDC(HDC dc, int saved) {
  if (!dc) return 0;
  int level = saved < 0 ? int(dc->saved.size()) + saved + 1 : saved;
  if (level < 1 || level > int(dc->saved.size())) return 0;
  while (int(dc->saved.size()) > level) {
    releaseState(dc->saved.back());
    dc->saved.pop_back();
  }
  releaseState(dc->st);
  dc->st = dc->saved.back();  // takes over the references the saved copy held
  dc->saved.pop_back();
  dc->dirty = true;
  return 1;
}

// ---- object selection ---------------------------------------------------------

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (!dc || !object) return nullptr;
  HGDIOBJ* slot = nullptr;
  switch (object->type) {
    case OBJ_PEN:
    case OBJ_EXTPEN: slot = &dc->st.pen; break;
    case OBJ_BRUSH: slot = &dc->st.brush; break;
    case OBJ_FONT: slot = &dc->st.font; break;
    case OBJ_REGION: {
      // Selecting a region makes a copy of it the clip region.
      int r = SelectClipRgn(dc, object);
      return reinterpret_cast<HGDIOBJ>(std::intptr_t(r));
    }
    case OBJ_BITMAP: {
      if (dc->kind != TDcKind::Memory) return nullptr;
      if (object->selectedIn && object->selectedIn != dc && !object->stock) return nullptr;
      HGDIOBJ old = dc->bitmap;
      if (old == object) return old;
      endBitmapPainter(dc);
      if (old) old->selectedIn = nullptr;
      GdiAddRef(object);
      if (!object->stock) object->selectedIn = dc;
      dc->bitmap = object;
      beginBitmapPainter(dc);
      if (!dc->painter) dc->deviceSize = object->image.size();
      // The caller gets the old bitmap back and owns it again.
      GdiRelease(old);
      return old;
    }
    default: return nullptr;
  }
  HGDIOBJ old = *slot;
  GdiAddRef(object);
  *slot = object;
  GdiRelease(old);
  return old;
}

HGDIOBJ GetCurrentObject(HDC dc, UINT kind) {
  if (!dc) return nullptr;
  switch (kind) {
    case OBJ_PEN: return dc->st.pen;
    case OBJ_BRUSH: return dc->st.brush;
    case OBJ_FONT: return dc->st.font;
    case OBJ_BITMAP: return dc->bitmap;
    default: return nullptr;
  }
}

// ---- attributes -------------------------------------------------------------------

#define DC_SETTER(Name, Type, field)              \
  Type Set##Name(HDC dc, Type value) {            \
    if (!dc) return Type{};                       \
    Type old = dc->st.field;                      \
    dc->st.field = value;                         \
    return old;                                   \
  }                                               \
  Type Get##Name(HDC dc) { return dc ? dc->st.field : Type{}; }

DC_SETTER(TextColor, COLORREF, textColor)
DC_SETTER(BkColor, COLORREF, bkColor)
DC_SETTER(BkMode, int, bkMode)
DC_SETTER(TextAlign, UINT, textAlign)
DC_SETTER(TextCharacterExtra, int, charExtra)
DC_SETTER(ROP2, int, rop2)
DC_SETTER(PolyFillMode, int, polyFill)
#undef DC_SETTER

int SetStretchBltMode(HDC dc, int mode) {
  if (!dc) return 0;
  int old = dc->st.stretchMode;
  dc->st.stretchMode = mode;
  return old;
}

BOOL SetTextJustification(HDC dc, int breakExtra, int breakCount) {
  if (!dc) return 0;
  dc->st.breakExtra = breakCount > 0 ? breakExtra : 0;
  dc->st.breakCount = breakCount > 0 ? breakCount : 0;
  return 1;
}

BOOL SetBrushOrgEx(HDC dc, int x, int y, TPoint* old) {
  if (!dc) return 0;
  if (old) *old = dc->st.brushOrg;
  dc->st.brushOrg = {x, y};
  return 1;
}
BOOL GetBrushOrgEx(HDC dc, TPoint* org) {
  if (!dc || !org) return 0;
  *org = dc->st.brushOrg;
  return 1;
}
COLORREF SetDCBrushColor(HDC dc, COLORREF color) {
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->st.dcBrushColor;
  dc->st.dcBrushColor = color;
  return old;
}
COLORREF SetDCPenColor(HDC dc, COLORREF color) {
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->st.dcPenColor;
  dc->st.dcPenColor = color;
  return old;
}

// ---- coordinates ---------------------------------------------------------------------

int SetMapMode(HDC dc, int mode) {
  if (!dc) return 0;
  int old = dc->st.mapMode;
  dc->st.mapMode = mode;
  if (mode == MM_TEXT) {
    dc->st.winExt = dc->st.vpExt = {1, 1};
  }
  dc->dirty = true;
  return old;
}
int GetMapMode(HDC dc) { return dc ? dc->st.mapMode : 0; }

namespace {
BOOL setPoint(HDC dc, TPoint TDcState::*field, int x, int y, TPoint* old) {
  if (!dc) return 0;
  if (old) *old = dc->st.*field;
  dc->st.*field = {x, y};
  dc->dirty = true;
  return 1;
}
BOOL setExt(HDC dc, TSize TDcState::*field, int cx, int cy, TSize* old) {
  if (!dc) return 0;
  if (old) *old = dc->st.*field;
  // Extents matter only in the scalable map modes, and never are zero.
  if (dc->st.mapMode != MM_ANISOTROPIC && dc->st.mapMode != MM_ISOTROPIC) return 1;
  if (cx == 0 || cy == 0) return 0;
  dc->st.*field = {cx, cy};
  dc->dirty = true;
  return 1;
}
}  // namespace

BOOL SetWindowOrgEx(HDC dc, int x, int y, TPoint* old) { return setPoint(dc, &TDcState::winOrg, x, y, old); }
BOOL SetViewportOrgEx(HDC dc, int x, int y, TPoint* old) { return setPoint(dc, &TDcState::vpOrg, x, y, old); }
BOOL GetWindowOrgEx(HDC dc, TPoint* org) {
  if (!dc || !org) return 0;
  *org = dc->st.winOrg;
  return 1;
}
BOOL GetViewportOrgEx(HDC dc, TPoint* org) {
  if (!dc || !org) return 0;
  *org = dc->st.vpOrg;
  return 1;
}
BOOL OffsetWindowOrgEx(HDC dc, int dx, int dy, TPoint* old) {
  if (!dc) return 0;
  return setPoint(dc, &TDcState::winOrg, dc->st.winOrg.x + dx, dc->st.winOrg.y + dy, old);
}
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, TPoint* old) {
  if (!dc) return 0;
  return setPoint(dc, &TDcState::vpOrg, dc->st.vpOrg.x + dx, dc->st.vpOrg.y + dy, old);
}
BOOL SetWindowExtEx(HDC dc, int cx, int cy, TSize* old) { return setExt(dc, &TDcState::winExt, cx, cy, old); }
BOOL SetViewportExtEx(HDC dc, int cx, int cy, TSize* old) { return setExt(dc, &TDcState::vpExt, cx, cy, old); }
BOOL GetWindowExtEx(HDC dc, TSize* ext) {
  if (!dc || !ext) return 0;
  *ext = dc->st.winExt;
  return 1;
}
BOOL GetViewportExtEx(HDC dc, TSize* ext) {
  if (!dc || !ext) return 0;
  *ext = dc->st.vpExt;
  return 1;
}

BOOL LPtoDP(HDC dc, TPoint* points, int count) {
  if (!dc || !points) return 0;
  QTransform t = dc->toDevice();
  for (int i = 0; i < count; ++i) {
    QPointF p = t.map(QPointF(points[i].x, points[i].y));
    points[i] = {int(std::lround(p.x())), int(std::lround(p.y()))};
  }
  return 1;
}

BOOL DPtoLP(HDC dc, TPoint* points, int count) {
  if (!dc || !points) return 0;
  QTransform t = dc->toDevice().inverted();
  for (int i = 0; i < count; ++i) {
    QPointF p = t.map(QPointF(points[i].x, points[i].y));
    points[i] = {int(std::lround(p.x())), int(std::lround(p.y()))};
  }
  return 1;
}

// ---- clipping ------------------------------------------------------------------------------

namespace {
QRect logicalToDevice(HDC dc, int l, int t, int r, int b) {
  TPoint pts[2] = {{std::min(l, r), std::min(t, b)}, {std::max(l, r), std::max(t, b)}};
  LPtoDP(dc, pts, 2);
  return QRect(QPoint(std::min(pts[0].x, pts[1].x), std::min(pts[0].y, pts[1].y)),
               QPoint(std::max(pts[0].x, pts[1].x) - 1, std::max(pts[0].y, pts[1].y) - 1));
}
// What can really be drawn on: the context's clip region (or the whole
// device) within the area the paint event allows.
QRegion visibleRegion(HDC dc) {
  QRegion r = dc->st.clip ? dc->st.clip->intersected(dc->deviceBounds()) : QRegion(dc->deviceBounds());
  if (dc->baseClip) r = r.intersected(*dc->baseClip);
  return r;
}
int clipComplexity(HDC dc) {
  QRegion r = dc->st.clip ? *dc->st.clip : QRegion(dc->deviceBounds());
  if (r.isEmpty()) return NULLREGION;
  return r.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
}  // namespace

int SelectClipRgn(HDC dc, HRGN region) { return ExtSelectClipRgn(dc, region, RGN_COPY); }

int ExtSelectClipRgn(HDC dc, HRGN region, int mode) {
  if (!dc) return RGN_ERROR;
  if (!region) {
    if (mode != RGN_COPY) return RGN_ERROR;
    dc->st.clip.reset();
    dc->dirty = true;
    return SIMPLEREGION;
  }
  if (region->type != OBJ_REGION) return RGN_ERROR;
  QRegion current = dc->st.clip ? *dc->st.clip : QRegion(dc->deviceBounds());
  QRegion r;
  switch (mode) {
    case RGN_COPY: r = region->region; break;
    case RGN_AND: r = current.intersected(region->region); break;
    case RGN_OR: r = current.united(region->region); break;
    case RGN_XOR: r = current.xored(region->region); break;
    case RGN_DIFF: r = current.subtracted(region->region); break;
    default: return RGN_ERROR;
  }
  dc->st.clip = r;
  dc->dirty = true;
  return clipComplexity(dc);
}

int GetClipRgn(HDC dc, HRGN region) {
  if (!dc || !region || region->type != OBJ_REGION) return -1;
  if (!dc->st.clip) return 0;
  region->region = *dc->st.clip;
  return 1;
}

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
  if (!dc) return RGN_ERROR;
  QRegion current = dc->st.clip ? *dc->st.clip : QRegion(dc->deviceBounds());
  dc->st.clip = current.intersected(logicalToDevice(dc, left, top, right, bottom));
  dc->dirty = true;
  return clipComplexity(dc);
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
  if (!dc) return RGN_ERROR;
  QRegion current = dc->st.clip ? *dc->st.clip : QRegion(dc->deviceBounds());
  dc->st.clip = current.subtracted(logicalToDevice(dc, left, top, right, bottom));
  dc->dirty = true;
  return clipComplexity(dc);
}

int OffsetClipRgn(HDC dc, int dx, int dy) {
  if (!dc) return RGN_ERROR;
  if (dc->st.clip) {
    TPoint p[2] = {{0, 0}, {dx, dy}};
    LPtoDP(dc, p, 2);
    dc->st.clip->translate(p[1].x - p[0].x, p[1].y - p[0].y);
    dc->dirty = true;
  }
  return clipComplexity(dc);
}

int GetClipBox(HDC dc, TRect* box) {
  if (!dc || !box) return RGN_ERROR;
  QRegion r = visibleRegion(dc);
  if (r.isEmpty()) {
    *box = {};
    return NULLREGION;
  }
  QRectF lr = dc->toDevice().inverted().mapRect(QRectF(r.boundingRect()));
  *box = {int(std::lround(lr.left())), int(std::lround(lr.top())), int(std::lround(lr.right())),
          int(std::lround(lr.bottom()))};
  return r.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

BOOL PtVisible(HDC dc, int x, int y) {
  if (!dc) return 0;
  TPoint p{x, y};
  LPtoDP(dc, &p, 1);
  return visibleRegion(dc).contains(QPoint(p.x, p.y));
}

BOOL RectVisible(HDC dc, const TRect& rc) {
  if (!dc) return 0;
  return visibleRegion(dc).intersects(logicalToDevice(dc, rc.Left, rc.Top, rc.Right, rc.Bottom));
}

// ---- pens and brushes on the painter ---------------------------------------------------------

QPen PenFor(HDC dc, HGDIOBJ pen) {
  if (!pen) return QPen(Qt::NoPen);
  DWORD style = pen->penStyle & PS_STYLE_MASK;
  if (style == PS_NULL) return QPen(Qt::NoPen);
  COLORREF c = pen->sysBrush ? dc->st.dcPenColor : pen->color;
  bool geometric = (pen->penStyle & PS_TYPE_MASK) == PS_GEOMETRIC;
  int width = pen->penWidth;
  QPen p(ToQColor(c));
  p.setWidth(width <= 1 && !geometric ? 0 : std::max(1, width));
  if (geometric) {
    switch (pen->penStyle & PS_ENDCAP_MASK) {
      case PS_ENDCAP_SQUARE: p.setCapStyle(Qt::SquareCap); break;
      case PS_ENDCAP_FLAT: p.setCapStyle(Qt::FlatCap); break;
      default: p.setCapStyle(Qt::RoundCap); break;
    }
    switch (pen->penStyle & PS_JOIN_MASK) {
      case PS_JOIN_BEVEL: p.setJoinStyle(Qt::BevelJoin); break;
      case PS_JOIN_MITER: p.setJoinStyle(Qt::MiterJoin); break;
      default: p.setJoinStyle(Qt::RoundJoin); break;
    }
  } else {
    // A thin line covers its start point but not its end point.
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::MiterJoin);
  }
  // Wide pens are drawn solid, as with the window system's cosmetic styles.
  if (width > 1 && !geometric) return p;
  switch (style) {
    case PS_DASH: p.setDashPattern({18, 6}); break;
    case PS_DOT: p.setDashPattern({3, 3}); break;
    case PS_DASHDOT: p.setDashPattern({9, 6, 3, 6}); break;
    case PS_DASHDOTDOT: p.setDashPattern({9, 3, 3, 3, 3, 3}); break;
    case PS_ALTERNATE: p.setDashPattern({1, 1}); break;
    case PS_USERSTYLE:
      if (pen->penDashes.size() >= 2) {
        QList<qreal> d;
        for (DWORD v : pen->penDashes) d << std::max<qreal>(1, v) / std::max(1, width);
        if (d.size() % 2) d << d.back();
        p.setDashPattern(d);
      }
      break;
    default: break;
  }
  return p;
}

QBrush BrushFor(HDC dc, HGDIOBJ brush, COLORREF* solid) {
  if (!brush || brush->brushStyle == BS_NULL) return QBrush(Qt::NoBrush);
  COLORREF c = brush->sysBrush ? dc->st.dcBrushColor : brush->color;
  if (solid) *solid = c;
  switch (brush->brushStyle) {
    case BS_HATCHED: {
      static const Qt::BrushStyle hatches[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                               Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
      return QBrush(ToQColor(c), hatches[std::clamp(brush->hatch, 0, 5)]);
    }
    case BS_PATTERN: {
      QImage tex = brush->pattern;
      if (brush->patternMono) {
        // A monochrome pattern draws black bits in the text colour and
        // white bits in the background colour.
        tex = tex.convertToFormat(QImage::Format_RGB32);
        QRgb fg = ToQColor(dc->st.textColor).rgb(), bg = ToQColor(dc->st.bkColor).rgb();
        for (int y = 0; y < tex.height(); ++y) {
          auto* row = reinterpret_cast<QRgb*>(tex.scanLine(y));
          for (int x = 0; x < tex.width(); ++x) row[x] = (qGray(row[x]) < 128) ? fg : bg;
        }
      }
      QBrush b(tex);
      // Patterns are aligned to the brush origin in device space.
      b.setTransform(QTransform::fromTranslate(dc->st.brushOrg.x, dc->st.brushOrg.y) *
                     dc->toDevice().inverted());
      return b;
    }
    default: return QBrush(ToQColor(c));
  }
}

namespace {

QPainter::CompositionMode ropMode(int rop2) {
  switch (rop2) {
    case R2_XORPEN: return QPainter::RasterOp_SourceXorDestination;
    case R2_NOTXORPEN: return QPainter::RasterOp_NotSourceXorDestination;
    case R2_NOT: return QPainter::RasterOp_NotDestination;
    default: return QPainter::CompositionMode_SourceOver;
  }
}

// Sets pen, brush and raster mode for a shape; false when nothing to draw.
bool prepareShape(HDC dc, bool withBrush) {
  if (!dc || !dc->ready()) return false;
  if (dc->st.rop2 == R2_NOP) return false;
  QPen pen = PenFor(dc, dc->st.pen);
  QBrush brush = withBrush ? BrushFor(dc, dc->st.brush) : QBrush(Qt::NoBrush);
  if (dc->st.rop2 == R2_BLACK || dc->st.rop2 == R2_WHITE) {
    QColor c = dc->st.rop2 == R2_BLACK ? Qt::black : Qt::white;
    if (pen.style() != Qt::NoPen) pen.setColor(c);
    if (brush.style() != Qt::NoBrush) brush = QBrush(c);
  }
  if (dc->st.rop2 == R2_NOT) {
    if (pen.style() != Qt::NoPen) pen.setColor(Qt::white);
  }
  dc->painter->setPen(pen);
  dc->painter->setBrush(brush);
  dc->painter->setCompositionMode(ropMode(dc->st.rop2));
  if (pen.style() != Qt::NoPen && pen.isCosmetic()) dc->drewOutline = true;
  return true;
}

void finishShape(HDC dc) { dc->painter->setCompositionMode(QPainter::CompositionMode_SourceOver); }

// Fills with an opaque background under a hatch, as the window system does.
void fillWithBrush(HDC dc, const QRect& r, HGDIOBJ brush) {
  QBrush b = BrushFor(dc, brush);
  if (b.style() == Qt::NoBrush) return;
  if (brush->brushStyle == BS_HATCHED && dc->st.bkMode == OPAQUE)
    dc->painter->fillRect(r, ToQColor(dc->st.bkColor));
  dc->painter->fillRect(r, b);
}

QRect normRect(int l, int t, int r, int b) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  return QRect(l, t, r - l, b - t);
}

int penWidth(HDC dc) {
  HGDIOBJ p = dc->st.pen;
  if (!p || (p->penStyle & PS_STYLE_MASK) == PS_NULL) return 0;
  return std::max(1, p->penWidth);
}

}  // namespace

// ---- lines and shapes ----------------------------------------------------------------------

BOOL MoveToEx(HDC dc, int x, int y, TPoint* old) {
  if (!dc) return 0;
  if (old) *old = dc->st.penPos;
  dc->st.penPos = {x, y};
  if (dc->pathOpen) dc->path.moveTo(x, y);
  return 1;
}

BOOL GetCurrentPositionEx(HDC dc, TPoint* pos) {
  if (!dc || !pos) return 0;
  *pos = dc->st.penPos;
  return 1;
}

BOOL LineTo(HDC dc, int x, int y) {
  if (!dc) return 0;
  TPoint from = dc->st.penPos;
  dc->st.penPos = {x, y};
  if (dc->pathOpen) {
    if (dc->path.elementCount() == 0) dc->path.moveTo(from.x, from.y);
    dc->path.lineTo(x, y);
    return 1;
  }
  if (!prepareShape(dc, false)) return 1;
  dc->painter->drawLine(QPoint(from.x, from.y), QPoint(x, y));
  finishShape(dc);
  return 1;
}

BOOL Polyline(HDC dc, const TPoint* points, int count) {
  if (!dc || !points || count < 2) return 0;
  if (dc->pathOpen) {
    dc->path.moveTo(points[0].x, points[0].y);
    for (int i = 1; i < count; ++i) dc->path.lineTo(points[i].x, points[i].y);
    return 1;
  }
  if (!prepareShape(dc, false)) return 1;
  QPolygon poly;
  for (int i = 0; i < count; ++i) poly << QPoint(points[i].x, points[i].y);
  dc->painter->drawPolyline(poly);
  finishShape(dc);
  return 1;
}

BOOL Polygon(HDC dc, const TPoint* points, int count) {
  return PolyPolygon(dc, points, &count, 1);
}

BOOL PolyPolygon(HDC dc, const TPoint* points, const int* counts, int polygons) {
  if (!dc || !points || !counts || polygons <= 0) return 0;
  const bool record = dc->pathOpen;
  if (!record && !prepareShape(dc, true)) return 1;
  QPainterPath path;
  path.setFillRule(dc->st.polyFill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
  int k = 0;
  for (int p = 0; p < polygons; ++p) {
    if (counts[p] < 2) { k += std::max(0, counts[p]); continue; }
    QPolygonF poly;
    for (int i = 0; i < counts[p]; ++i, ++k) poly << QPointF(points[k].x, points[k].y);
    poly << poly.front();
    path.addPolygon(poly);
  }
  if (record) {
    dc->path.addPath(path);
    return 1;
  }
  dc->painter->drawPath(path);
  finishShape(dc);
  return 1;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  if (!dc) return 0;
  if (dc->pathOpen) {
    dc->path.addRect(QRectF(normRect(left, top, right, bottom)).adjusted(0, 0, -1, -1));
    return 1;
  }
  if (!prepareShape(dc, true)) return 1;
  QRect r = normRect(left, top, right, bottom);
  int w = penWidth(dc);
  if (w == 0) {
    // Without a pen the filled area ends one pixel short at right and bottom.
    dc->painter->setPen(Qt::NoPen);
    if (r.width() > 1 && r.height() > 1) {
      if (dc->st.rop2 == R2_COPYPEN) fillWithBrush(dc, r.adjusted(0, 0, -1, -1), dc->st.brush);
      else dc->painter->drawRect(r.adjusted(0, 0, -1, -1));
    }
  } else {
    if (dc->painter->brush().style() != Qt::NoBrush && r.width() > 2 * w && r.height() > 2 * w &&
        dc->st.rop2 == R2_COPYPEN)
      fillWithBrush(dc, r.adjusted(w, w, -w, -w), dc->st.brush);
    QBrush keep = dc->painter->brush();
    dc->painter->setBrush(Qt::NoBrush);
    if (w == 1) {
      dc->painter->drawRect(QRect(r.left(), r.top(), r.width() - 1, r.height() - 1));
    } else {
      QPen pen = dc->painter->pen();
      pen.setJoinStyle(Qt::MiterJoin);
      dc->painter->setPen(pen);
      dc->painter->drawRect(QRectF(r.left() + w / 2.0, r.top() + w / 2.0, r.width() - w, r.height() - w));
    }
    dc->painter->setBrush(keep);
  }
  finishShape(dc);
  return 1;
}

BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int w, int h) {
  if (!dc) return 0;
  if (!prepareShape(dc, true)) return 1;
  QRect r = normRect(left, top, right, bottom);
  int pw = penWidth(dc);
  QRectF f = pw == 0 ? QRectF(r.left(), r.top(), r.width() - 1, r.height() - 1)
                     : QRectF(r.left() + pw / 2.0, r.top() + pw / 2.0, r.width() - pw, r.height() - pw);
  if (pw == 1) f = QRectF(r.left(), r.top(), r.width() - 1, r.height() - 1);
  dc->painter->drawRoundedRect(f, w / 2.0, h / 2.0);
  finishShape(dc);
  return 1;
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
  if (!dc) return 0;
  if (dc->pathOpen) {
    dc->path.addEllipse(QRectF(normRect(left, top, right, bottom)).adjusted(0, 0, -1, -1));
    return 1;
  }
  if (!prepareShape(dc, true)) return 1;
  QRect r = normRect(left, top, right, bottom);
  int pw = penWidth(dc);
  QRectF f = pw <= 1 ? QRectF(r.left(), r.top(), r.width() - 1, r.height() - 1)
                     : QRectF(r.left() + pw / 2.0, r.top() + pw / 2.0, r.width() - pw, r.height() - pw);
  dc->painter->drawEllipse(f);
  finishShape(dc);
  return 1;
}

int FillRect(HDC dc, const TRect& r, HBRUSH brush) {
  if (!dc || !brush) return 0;
  if (!dc->ready()) return 1;
  fillWithBrush(dc, normRect(r.Left, r.Top, r.Right, r.Bottom), brush);
  return 1;
}

int FrameRect(HDC dc, const TRect& rc, HBRUSH brush) {
  if (!dc || !brush) return 0;
  if (!dc->ready()) return 1;
  QRect r = normRect(rc.Left, rc.Top, rc.Right, rc.Bottom);
  if (r.isEmpty()) return 1;
  fillWithBrush(dc, QRect(r.left(), r.top(), r.width(), 1), brush);
  fillWithBrush(dc, QRect(r.left(), r.bottom(), r.width(), 1), brush);
  fillWithBrush(dc, QRect(r.left(), r.top(), 1, r.height()), brush);
  fillWithBrush(dc, QRect(r.right(), r.top(), 1, r.height()), brush);
  return 1;
}

BOOL FillRgn(HDC dc, HRGN region, HBRUSH brush) {
  if (!dc || !region || !brush || region->type != OBJ_REGION) return 0;
  if (!dc->ready()) return 1;
  // The region is in logical coordinates here.
  for (const QRect& r : region->region) fillWithBrush(dc, r, brush);
  return 1;
}

BOOL FrameRgn(HDC dc, HRGN region, HBRUSH brush, int w, int h) {
  if (!dc || !region || !brush || region->type != OBJ_REGION) return 0;
  if (!dc->ready()) return 1;
  QRegion inner = region->region.translated(w, 0).intersected(region->region.translated(-w, 0))
                      .intersected(region->region.translated(0, h))
                      .intersected(region->region.translated(0, -h));
  for (const QRect& r : region->region.subtracted(inner)) fillWithBrush(dc, r, brush);
  return 1;
}

BOOL InvertRect(HDC dc, const TRect& r) {
  if (!dc) return 0;
  if (!dc->ready()) return 1;
  dc->painter->setCompositionMode(QPainter::RasterOp_NotDestination);
  dc->painter->fillRect(normRect(r.Left, r.Top, r.Right, r.Bottom), Qt::black);
  dc->painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  return 1;
}

BOOL DrawFocusRect(HDC dc, const TRect& rc) {
  if (!dc) return 0;
  if (!dc->ready()) return 1;
  QRect r = normRect(rc.Left, rc.Top, rc.Right, rc.Bottom);
  if (r.isEmpty()) return 1;
  // Every other pixel of the border, inverted: drawing it twice removes it.
  QPainterPath dots;
  auto dot = [&](int x, int y) {
    if (((x - r.left()) + (y - r.top())) % 2 == 0) dots.addRect(x, y, 1, 1);
  };
  for (int x = r.left(); x <= r.right(); ++x) {
    dot(x, r.top());
    if (r.height() > 1) dot(x, r.bottom());
  }
  for (int y = r.top() + 1; y < r.bottom(); ++y) {
    dot(r.left(), y);
    if (r.width() > 1) dot(r.right(), y);
  }
  dc->painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  dc->painter->fillPath(dots, Qt::white);
  dc->painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  return 1;
}

// ---- edges and frame controls ----------------------------------------------------------------------

namespace {

void hline(HDC dc, int x1, int x2, int y, COLORREF c) {
  if (x2 > x1) dc->painter->fillRect(QRect(x1, y, x2 - x1, 1), ToQColor(c));
}
void vline(HDC dc, int x, int y1, int y2, COLORREF c) {
  if (y2 > y1) dc->painter->fillRect(QRect(x, y1, 1, y2 - y1), ToQColor(c));
}

// One ring of an edge: top/left in one colour, bottom/right in another.
void edgeRing(HDC dc, TRect& r, UINT flags, COLORREF tl, COLORREF br) {
  if (flags & BF_LEFT) vline(dc, r.Left, r.Top, r.Bottom, tl);
  if (flags & BF_TOP) hline(dc, r.Left, r.Right, r.Top, tl);
  if (flags & BF_RIGHT) vline(dc, r.Right - 1, r.Top, r.Bottom, br);
  if (flags & BF_BOTTOM) hline(dc, r.Left, r.Right, r.Bottom - 1, br);
  if (flags & BF_LEFT) ++r.Left;
  if (flags & BF_TOP) ++r.Top;
  if (flags & BF_RIGHT) --r.Right;
  if (flags & BF_BOTTOM) --r.Bottom;
}

}  // namespace

BOOL DrawEdge(HDC dc, TRect& rc, UINT edge, UINT flags) {
  if (!dc) return 0;
  TRect r = rc;
  bool draw = dc->ready();
  COLORREF light = GetSysColor(COLOR_3DLIGHT), hi = GetSysColor(COLOR_BTNHIGHLIGHT),
           shadow = GetSysColor(COLOR_BTNSHADOW), dark = GetSysColor(COLOR_3DDKSHADOW),
           face = GetSysColor(COLOR_BTNFACE), frame = GetSysColor(COLOR_WINDOWFRAME);
  auto ring = [&](UINT raised, UINT sunken, COLORREF rtl, COLORREF rbr, COLORREF stl, COLORREF sbr) {
    if (!(edge & (raised | sunken))) return;
    COLORREF tl = (edge & raised) ? rtl : stl, br = (edge & raised) ? rbr : sbr;
    if (flags & BF_FLAT) tl = br = shadow;
    if (flags & BF_MONO) tl = br = frame;
    if (draw) edgeRing(dc, r, flags, tl, br);
    else {
      if (flags & BF_LEFT) ++r.Left;
      if (flags & BF_TOP) ++r.Top;
      if (flags & BF_RIGHT) --r.Right;
      if (flags & BF_BOTTOM) --r.Bottom;
    }
  };
  ring(BDR_RAISEDOUTER, BDR_SUNKENOUTER, light, dark, shadow, hi);
  ring(BDR_RAISEDINNER, BDR_SUNKENINNER, hi, shadow, dark, light);
  if ((flags & BF_MIDDLE) && draw && !r.IsEmpty())
    dc->painter->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()),
                          ToQColor((flags & BF_MONO) ? GetSysColor(COLOR_WINDOW) : face));
  if (flags & BF_ADJUST) rc = r;
  return 1;
}

BOOL DrawFrameControl(HDC dc, TRect& rc, UINT type, UINT state) {
  if (!dc) return 0;
  if (type != DFC_BUTTON) return 0;
  if (!dc->ready()) return 1;
  QPainter& p = *dc->painter;
  bool inactive = state & DFCS_INACTIVE, pushed = state & DFCS_PUSHED, checked = state & DFCS_CHECKED;
  COLORREF mark = GetSysColor(inactive ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
  COLORREF fill = GetSysColor((inactive || pushed) ? COLOR_BTNFACE : COLOR_WINDOW);
  UINT kind = state & 0xFF;
  if (kind & DFCS_BUTTONPUSH) {
    TRect r = rc;
    DrawEdge(dc, r, pushed || checked ? EDGE_SUNKEN : EDGE_RAISED,
             BF_RECT | BF_MIDDLE | ((state & DFCS_FLAT) ? UINT(BF_FLAT) : 0u) |
                 ((state & DFCS_MONO) ? UINT(BF_MONO) : 0u));
    if (state & DFCS_ADJUSTRECT) rc = r;
    return 1;
  }
  // Check boxes and radio buttons are square, centred in the rectangle.
  int size = std::min(rc.Width(), rc.Height());
  TRect box = Bounds(rc.Left + (rc.Width() - size) / 2, rc.Top + (rc.Height() - size) / 2, size, size);
  if (kind & DFCS_BUTTONRADIO || kind == DFCS_BUTTONRADIOIMAGE) {
    p.setRenderHint(QPainter::Antialiasing, true);
    QRectF e(box.Left + 0.5, box.Top + 0.5, size - 1, size - 1);
    p.setPen(QPen(ToQColor(GetSysColor(COLOR_BTNSHADOW)), 1));
    p.setBrush(ToQColor(fill));
    p.drawEllipse(e);
    if (checked) {
      p.setPen(Qt::NoPen);
      p.setBrush(ToQColor(mark));
      double d = size / 4.0;
      p.drawEllipse(e.adjusted(d, d, -d, -d));
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    return 1;
  }
  TRect r = box;
  if (state & (DFCS_FLAT | DFCS_MONO)) {
    p.fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), ToQColor(GetSysColor(COLOR_BTNSHADOW)));
    InflateRect(r, -1, -1);
  } else {
    DrawEdge(dc, r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  }
  if (!r.IsEmpty()) p.fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), ToQColor(fill));
  if (checked || (kind & DFCS_BUTTON3STATE && checked)) {
    // A tick made of three-pixel-thick strokes, scaled to the box.
    COLORREF c = (kind & DFCS_BUTTON3STATE) ? GetSysColor(COLOR_GRAYTEXT) : mark;
    double w = r.Width(), h = r.Height();
    QPainterPath tick;
    tick.moveTo(r.Left + w * 0.2, r.Top + h * 0.5);
    tick.lineTo(r.Left + w * 0.42, r.Top + h * 0.72);
    tick.lineTo(r.Left + w * 0.8, r.Top + h * 0.28);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ToQColor(c), std::max(1.5, w / 6), Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPath(tick);
  }
  return 1;
}

BOOL PatBlt(HDC dc, int x, int y, int w, int h, DWORD rop) {
  if (!dc) return 0;
  if (!dc->ready()) return 1;
  QRect r = normRect(x, y, x + w, y + h);
  QPainter& p = *dc->painter;
  switch (rop) {
    case BLACKNESS: p.fillRect(r, Qt::black); break;
    case WHITENESS: p.fillRect(r, Qt::white); break;
    case DSTINVERT:
      p.setCompositionMode(QPainter::RasterOp_NotDestination);
      p.fillRect(r, Qt::black);
      break;
    case PATINVERT:
      p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      p.fillRect(r, BrushFor(dc, dc->st.brush));
      break;
    default: fillWithBrush(dc, r, dc->st.brush); break;
  }
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  return 1;
}

QImage* DcImage(HDC dc) {
  if (!dc) return nullptr;
  if (dc->kind == TDcKind::Memory) return dc->bitmap ? &dc->bitmap->image : nullptr;
  if (dc->painter && dc->painter->device() && dc->painter->device()->devType() == QInternal::Image)
    return static_cast<QImage*>(dc->painter->device());
  return nullptr;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  if (!dc || !dc->ready()) return CLR_INVALID;
  dc->painter->fillRect(QRect(x, y, 1, 1), ToQColor(color));
  return color & 0xFFFFFF;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  QImage* img = DcImage(dc);
  if (!img) return CLR_INVALID;
  TPoint p{x, y};
  LPtoDP(dc, &p, 1);
  if (!img->valid(p.x, p.y)) return CLR_INVALID;
  if (dc->st.clip && !dc->st.clip->contains(QPoint(p.x, p.y))) return CLR_INVALID;
  QRgb c = img->pixel(p.x, p.y);
  return RGB(qRed(c), qGreen(c), qBlue(c));
}

// ---- block transfers ------------------------------------------------------------------------

namespace {

// The source pixels of a block transfer, converted between monochrome and
// colour the way the window system does: a monochrome source draws black
// in the destination's text colour and white in its background colour; a
// colour source copied to a monochrome destination is white exactly where it
// has the source's background colour.
QImage sourceImage(HDC dest, HDC src, const QRect& r) {
  QImage* img = DcImage(src);
  if (!img) return QImage();
  QImage part = img->copy(r);
  bool srcMono = isMono(src), dstMono = isMono(dest);
  if (srcMono && !dstMono) {
    part = part.convertToFormat(QImage::Format_RGB32);
    QRgb fg = ToQColor(dest->st.textColor).rgb(), bg = ToQColor(dest->st.bkColor).rgb();
    for (int y = 0; y < part.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(part.scanLine(y));
      for (int x = 0; x < part.width(); ++x) row[x] = qGray(row[x]) < 128 ? fg : bg;
    }
  } else if (!srcMono && dstMono) {
    part = part.convertToFormat(QImage::Format_RGB32);
    QRgb key = ToQColor(src->st.bkColor).rgb() & 0xFFFFFF;
    for (int y = 0; y < part.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(part.scanLine(y));
      for (int x = 0; x < part.width(); ++x) row[x] = (row[x] & 0xFFFFFF) == key ? 0xFFFFFFFFu : 0xFF000000u;
    }
  }
  return part;
}

bool ropComposition(DWORD rop, QPainter::CompositionMode& mode) {
  switch (rop) {
    case SRCCOPY: mode = QPainter::CompositionMode_Source; return true;
    case SRCAND: mode = QPainter::RasterOp_SourceAndDestination; return true;
    case SRCPAINT: mode = QPainter::RasterOp_SourceOrDestination; return true;
    case SRCINVERT: mode = QPainter::RasterOp_SourceXorDestination; return true;
    case NOTSRCCOPY: mode = QPainter::RasterOp_NotSource; return true;
    case SRCERASE: mode = QPainter::RasterOp_SourceAndNotDestination; return true;
    case NOTSRCERASE: mode = QPainter::RasterOp_NotSourceAndNotDestination; return true;
    case MERGEPAINT: mode = QPainter::RasterOp_NotSourceOrDestination; return true;
    default: return false;
  }
}

QRect srcRect(HDC src, int sx, int sy, int sw, int sh) {
  TPoint p[2] = {{sx, sy}, {sx + sw, sy + sh}};
  LPtoDP(src, p, 2);
  return QRect(QPoint(std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y)),
               QSize(std::abs(p[1].x - p[0].x), std::abs(p[1].y - p[0].y)));
}

bool drawRaster(QPainter& p, const QRectF& target, const QImage& img, QPainter::CompositionMode mode) {
  // Raster operations need a destination format that supports them; on
  // other devices the plain copy is the closest result.
  bool raster = mode >= QPainter::RasterOp_SourceOrDestination;
  if (raster && p.paintEngine() && p.paintEngine()->type() != QPaintEngine::Raster)
    mode = QPainter::CompositionMode_SourceOver;
  p.setCompositionMode(mode);
  p.drawImage(target, img);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  return true;
}

}  // namespace

BOOL StretchBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh, DWORD rop) {
  if (!dest) return 0;
  if (rop == BLACKNESS || rop == WHITENESS || rop == DSTINVERT || rop == PATCOPY || rop == PATINVERT)
    return PatBlt(dest, x, y, w, h, rop);
  QPainter::CompositionMode mode;
  if (!src || !ropComposition(rop, mode)) return 0;
  if (!dest->ready()) return 1;
  if (w == 0 || h == 0 || sw == 0 || sh == 0) return 1;
  QRect sr = srcRect(src, sx, sy, sw, sh);
  QImage* whole = DcImage(src);
  if (!whole) return 0;
  // Parts outside the source read as nothing: clip the rectangle to it.
  QRect clipped = sr.intersected(whole->rect());
  if (clipped.isEmpty()) return 1;
  QImage img = sourceImage(dest, src, clipped);
  if (img.isNull()) return 0;
  double fx = double(w) / sw, fy = double(h) / sh;
  QRectF target(x + (clipped.left() - sr.left()) * fx, y + (clipped.top() - sr.top()) * fy,
                clipped.width() * fx, clipped.height() * fy);
  if (w < 0 || h < 0) {
    img = img.mirrored(w < 0, h < 0);
    target = QRectF(x + w, y + h, -w, -h).normalized();
  }
  bool smooth = dest->st.stretchMode == HALFTONE && (std::abs(w) != sw || std::abs(h) != sh);
  dest->painter->setRenderHint(QPainter::SmoothPixmapTransform, smooth);
  drawRaster(*dest->painter, target, img, mode);
  dest->painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
  return 1;
}

BOOL BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, DWORD rop) {
  return StretchBlt(dest, x, y, w, h, src, sx, sy, w, h, rop);
}

BOOL MaskBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, HBITMAP mask, int mx, int my,
             DWORD rop) {
  if (!dest || !src) return 0;
  if (!mask) return BitBlt(dest, x, y, w, h, src, sx, sy, rop & 0xFFFFFF);
  if (!dest->ready()) return 1;
  QImage* whole = DcImage(src);
  if (!whole || mask->type != OBJ_BITMAP) return 0;
  QRect sr = srcRect(src, sx, sy, w, h);
  QImage img = sourceImage(dest, src, sr).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  // The foreground operation applies where the mask is white, the
  // background one where it is black; the usual pair copies the source in
  // one and keeps the destination in the other.
  bool copyFore = ((rop >> 16) & 0xFF) == 0xCC, copyBack = ((rop >> 24) & 0xFF) == 0xCC;
  for (int yy = 0; yy < img.height(); ++yy) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(yy));
    for (int xx = 0; xx < img.width(); ++xx) {
      int px = mx + xx, py = my + yy;
      bool white = mask->image.valid(px, py) && qGray(mask->image.pixel(px, py)) >= 128;
      bool copy = white ? copyFore : copyBack;
      if (!copy) row[xx] = 0;
      else row[xx] |= 0xFF000000u;
    }
  }
  dest->painter->drawImage(QPoint(x, y), img);
  return 1;
}

BOOL TransparentBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                    COLORREF transparent) {
  if (!dest || !src) return 0;
  if (!dest->ready()) return 1;
  QImage* whole = DcImage(src);
  if (!whole) return 0;
  QRect sr = srcRect(src, sx, sy, sw, sh).intersected(whole->rect());
  if (sr.isEmpty()) return 1;
  QImage img = whole->copy(sr).convertToFormat(QImage::Format_ARGB32);
  QRgb key = ToQColor(transparent).rgb() & 0xFFFFFF;
  for (int yy = 0; yy < img.height(); ++yy) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(yy));
    for (int xx = 0; xx < img.width(); ++xx)
      row[xx] = (row[xx] & 0xFFFFFF) == key ? 0 : (row[xx] | 0xFF000000u);
  }
  dest->painter->drawImage(QRectF(x, y, w, h), img);
  return 1;
}

BOOL GdiAlphaBlend(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                   BLENDFUNCTION blend) {
  if (!dest || !src || w < 0 || h < 0 || sw < 0 || sh < 0) return 0;
  if (!dest->ready()) return 1;
  QImage* whole = DcImage(src);
  if (!whole) return 0;
  QRect sr = srcRect(src, sx, sy, sw, sh);
  if (!whole->rect().contains(sr)) return 0;  // the source must lie inside its bitmap
  QImage img = whole->copy(sr);
  if (!(blend.AlphaFormat & AC_SRC_ALPHA)) img = img.convertToFormat(QImage::Format_RGB32);
  else if (img.format() != QImage::Format_ARGB32_Premultiplied)
    img = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QPainter& p = *dest->painter;
  p.setOpacity(blend.SourceConstantAlpha / 255.0);
  p.setRenderHint(QPainter::SmoothPixmapTransform, w != sw || h != sh);
  p.drawImage(QRectF(x, y, w, h), img);
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  p.setOpacity(1.0);
  return 1;
}

// ---- paths ------------------------------------------------------------------------------

BOOL BeginPath(HDC dc) {
  if (!dc) return 0;
  dc->path = QPainterPath();
  dc->pathOpen = true;
  dc->pathReady = false;
  return 1;
}

BOOL EndPath(HDC dc) {
  if (!dc || !dc->pathOpen) return 0;
  dc->pathOpen = false;
  dc->pathReady = true;
  return 1;
}

BOOL AbortPath(HDC dc) {
  if (!dc) return 0;
  dc->pathOpen = dc->pathReady = false;
  dc->path = QPainterPath();
  return 1;
}

BOOL CloseFigure(HDC dc) {
  if (!dc || !dc->pathOpen) return 0;
  dc->path.closeSubpath();
  return 1;
}

namespace {
BOOL usePath(HDC dc, bool stroke, bool fill) {
  if (!dc || !dc->pathReady) return 0;
  QPainterPath path = dc->path;
  dc->path = QPainterPath();
  dc->pathReady = false;
  if (!prepareShape(dc, fill)) return 1;
  path.setFillRule(dc->st.polyFill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
  if (!stroke) dc->painter->setPen(Qt::NoPen);
  if (!fill) dc->painter->setBrush(Qt::NoBrush);
  // Wide geometric strokes are smoothed, as a printer would draw them.
  HGDIOBJ pen = dc->st.pen;
  bool smooth = stroke && pen && pen->penWidth > 1;
  dc->painter->setRenderHint(QPainter::Antialiasing, smooth);
  dc->painter->drawPath(path);
  dc->painter->setRenderHint(QPainter::Antialiasing, false);
  finishShape(dc);
  return 1;
}
}  // namespace

BOOL StrokePath(HDC dc) { return usePath(dc, true, false); }
BOOL FillPath(HDC dc) { return usePath(dc, false, true); }
BOOL StrokeAndFillPath(HDC dc) { return usePath(dc, true, true); }

// ---- palettes ----------------------------------------------------------------------------

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) { return dc ? palette : nullptr; }
UINT RealizePalette(HDC dc) { return dc ? 0 : GDI_ERROR; }

// ---- device-independent bits ---------------------------------------------------------------

namespace {
int dibStride(int width, int bits) { return ((width * bits + 31) / 32) * 4; }
}  // namespace

int GetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT) {
  if (!bitmap || bitmap->type != OBJ_BITMAP || !info) return 0;
  const QImage& img = bitmap->image;
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (!bits) {
    h.biWidth = img.width();
    h.biHeight = img.height();
    h.biPlanes = 1;
    h.biBitCount = std::uint16_t(bitmap->bpp == 1 ? 1 : bitmap->bpp == 32 ? 32 : 24);
    h.biCompression = BI_RGB;
    h.biSizeImage = DWORD(dibStride(img.width(), h.biBitCount) * img.height());
    return img.height();
  }
  const int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 24 && bpp != 32) return 0;
  if (h.biWidth != img.width() || std::abs(h.biHeight) != img.height()) return 0;
  const int stride = dibStride(img.width(), bpp);
  const bool bottomUp = h.biHeight > 0;
  if (bpp == 1) {
    info->bmiColors[0] = RGBQUAD{};
    info->bmiColors[1] = RGBQUAD{255, 255, 255, 0};
  }
  int done = 0;
  for (UINT i = 0; i < lines; ++i) {
    int row = int(start + i);
    if (row >= img.height()) break;
    int y = bottomUp ? img.height() - 1 - row : row;
    auto* out = static_cast<std::uint8_t*>(bits) + size_t(i) * size_t(stride);
    const auto* in = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    std::memset(out, 0, size_t(stride));
    for (int x = 0; x < img.width(); ++x) {
      QRgb c = in[x];
      if (bpp == 32) {
        out[4 * x] = std::uint8_t(qBlue(c));
        out[4 * x + 1] = std::uint8_t(qGreen(c));
        out[4 * x + 2] = std::uint8_t(qRed(c));
        out[4 * x + 3] = std::uint8_t(qAlpha(c));
      } else if (bpp == 24) {
        out[3 * x] = std::uint8_t(qBlue(c));
        out[3 * x + 1] = std::uint8_t(qGreen(c));
        out[3 * x + 2] = std::uint8_t(qRed(c));
      } else if (qGray(c) >= 128) {
        out[x / 8] |= std::uint8_t(0x80 >> (x % 8));
      }
    }
    ++done;
  }
  return done;
}

int StretchDIBits(HDC dc, int x, int y, int w, int h, int sx, int sy, int sw, int sh, const void* bits,
                  const BITMAPINFO* info, UINT, DWORD rop) {
  if (!dc || !bits || !info) return 0;
  const BITMAPINFOHEADER& hd = info->bmiHeader;
  const int bpp = hd.biBitCount, width = hd.biWidth, height = std::abs(hd.biHeight);
  if ((bpp != 1 && bpp != 8 && bpp != 24 && bpp != 32) || hd.biCompression != BI_RGB) return 0;
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return 0;
  QImage img(width, height, bpp == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  if (img.isNull()) return 0;
  const int stride = dibStride(width, bpp);
  for (int row = 0; row < height; ++row) {
    int yy = hd.biHeight > 0 ? height - 1 - row : row;
    const auto* in = static_cast<const std::uint8_t*>(bits) + size_t(row) * size_t(stride);
    auto* out = reinterpret_cast<QRgb*>(img.scanLine(yy));
    for (int xx = 0; xx < width; ++xx) {
      switch (bpp) {
        case 32: out[xx] = qRgba(in[4 * xx + 2], in[4 * xx + 1], in[4 * xx], in[4 * xx + 3]); break;
        case 24: out[xx] = qRgb(in[3 * xx + 2], in[3 * xx + 1], in[3 * xx]); break;
        case 8: {
          const RGBQUAD& q = info->bmiColors[in[xx]];
          out[xx] = qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
          break;
        }
        default: {
          const RGBQUAD& q = info->bmiColors[(in[xx / 8] >> (7 - xx % 8)) & 1];
          out[xx] = qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
      }
    }
  }
  if (bpp == 32) {
    // Rows whose fourth byte is all zero carry no alpha: draw them opaque.
    bool anyAlpha = false;
    for (int yy = 0; yy < height && !anyAlpha; ++yy)
      for (int xx = 0; xx < width; ++xx)
        if (qAlpha(img.pixel(xx, yy))) { anyAlpha = true; break; }
    if (!anyAlpha) img = img.convertToFormat(QImage::Format_RGB32);
  }
  // Draw through a temporary memory context so raster operations apply.
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = BitmapFromImage(img, bpp == 32 ? 32 : 24);
  HGDIOBJ old = SelectObject(mem, bmp);
  StretchBlt(dc, x, y, w, h, mem, sx, sy, sw, sh, rop);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  return sh;
}

// ---- regions from rectangles -----------------------------------------------------------------

HRGN ExtCreateRegion(const XFORM* xform, const TRect* rects, int count) {
  if (count < 0 || (count && !rects)) return nullptr;
  QTransform t;
  if (xform) t = QTransform(xform->eM11, xform->eM12, xform->eM21, xform->eM22, xform->eDx, xform->eDy);
  std::vector<QRect> list;
  list.reserve(size_t(count));
  for (int i = 0; i < count; ++i) {
    QRect r = normRect(rects[i].Left, rects[i].Top, rects[i].Right, rects[i].Bottom);
    if (xform) r = t.mapRect(QRectF(r)).toAlignedRect();
    if (!r.isEmpty()) list.push_back(r);
  }
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  QRegion reg;
  // QRegion::setRects wants non-overlapping rectangles; unite otherwise.
  for (const QRect& r : list) reg += r;
  rgn->region = reg;
  return rgn;
}

int GetRegionRects(HRGN region, std::vector<TRect>* rects) {
  if (!region || region->type != OBJ_REGION) return 0;
  int n = 0;
  for (const QRect& r : region->region) {
    if (rects) rects->push_back({r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
    ++n;
  }
  return n;
}
