// TCanvas over a device context, and the binding of canvases to painters
// during paint events.
#include "platform/graphics/canvas.h"

#include <QImage>
#include <map>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas_qt.h"
#include "platform/graphics/gdi_internal.h"

TCanvas::TCanvas()
    : FFont(std::make_unique<TFont>()), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()) {
  FFont->OnChange = [this](TObject*) { FState.Exclude(csFontValid); Changed(); };
  FPen->OnChange = [this](TObject*) { FState.Exclude(csPenValid); Changed(); };
  FBrush->OnChange = [this](TObject*) { FState.Exclude(csBrushValid); Changed(); };
}

namespace {
void forgetBinding(TCanvas* canvas);
}

TCanvas::~TCanvas() {
  DeselectHandles();
  if (FOwnHandle) DeleteDC(FHandle);
  forgetBinding(this);
}

void TCanvas::CreateHandle() {
  FHandle = CreateCompatibleDC(nullptr);
  FOwnHandle = true;
}

HDC TCanvas::Handle() {
  Changing();
  RequiredState({csHandleValid, csFontValid, csPenValid, csBrushValid});
  return FHandle;
}

void TCanvas::SetHandle(HDC value) {
  if (value == FHandle) return;
  DeselectHandles();
  if (FOwnHandle && FHandle) DeleteDC(FHandle);
  FHandle = value;
  FOwnHandle = false;
  FState = {};
  if (value) FState.Include(csHandleValid);
}

void TCanvas::DeselectHandles() {
  if (!FHandle) return;
  // Stock objects go back in, so the canvas's own objects can be freed.
  SelectObject(FHandle, GetStockObject(BLACK_PEN));
  SelectObject(FHandle, GetStockObject(WHITE_BRUSH));
  SelectObject(FHandle, GetStockObject(SYSTEM_FONT));
  FState.Exclude(csPenValid).Exclude(csBrushValid).Exclude(csFontValid);
}

void TCanvas::RequiredState(TCanvasState state) {
  if (!FHandle) {
    CreateHandle();
    FState = {csHandleValid};
  }
  if (state.Contains(csFontValid) && !FState.Contains(csFontValid)) {
    SelectObject(FHandle, FFont->Handle());
    SetTextColor(FHandle, ColorToRGB(FFont->Color()));
    FState.Include(csFontValid);
  }
  if (state.Contains(csPenValid) && !FState.Contains(csPenValid)) {
    SelectObject(FHandle, FPen->Handle());
    static const int modes[] = {R2_BLACK, R2_WHITE, R2_NOP, R2_NOT, R2_COPYPEN, 4, 15, 5, 14, 3, 16, 2, 9, 8, 7, 10};
    int m = modes[FPen->Mode()];
    // Only the modes the drawing code uses have an effect; others copy.
    SetROP2(FHandle, (m == R2_BLACK || m == R2_WHITE || m == R2_NOP || m == R2_NOT || m == R2_XORPEN ||
                      m == R2_NOTXORPEN) ? m : R2_COPYPEN);
    FState.Include(csPenValid);
  }
  if (state.Contains(csBrushValid) && !FState.Contains(csBrushValid)) {
    SelectObject(FHandle, FBrush->Handle());
    if (FBrush->Style() == bsSolid) {
      SetBkColor(FHandle, ColorToRGB(FBrush->Color()));
      SetBkMode(FHandle, OPAQUE);
    } else {
      SetBkColor(FHandle, ~ColorToRGB(FBrush->Color()) & 0xFFFFFF);
      SetBkMode(FHandle, TRANSPARENT);
    }
    FState.Include(csBrushValid);
  }
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}
void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::Refresh() {
  DeselectHandles();
}

TPoint TCanvas::PenPos() {
  RequiredState({csHandleValid});
  TPoint p;
  GetCurrentPositionEx(FHandle, &p);
  return p;
}

void TCanvas::SetPenPos(TPoint value) { MoveTo(value.x, value.y); }

TRect TCanvas::ClipRect() {
  RequiredState({csHandleValid});
  TRect r;
  GetClipBox(FHandle, &r);
  return r;
}

TColor TCanvas::Pixels(int x, int y) {
  RequiredState({csHandleValid});
  COLORREF c = GetPixel(FHandle, x, y);
  return c == CLR_INVALID ? TColor(-1) : TColor(c);
}

void TCanvas::SetPixels(int x, int y, TColor color) {
  Changing();
  RequiredState({csHandleValid, csPenValid, csBrushValid});
  SetPixel(FHandle, x, y, ColorToRGB(color));
  Changed();
}

void TCanvas::MoveTo(int x, int y) {
  RequiredState({csHandleValid});
  MoveToEx(FHandle, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
  Changing();
  RequiredState({csHandleValid, csPenValid, csBrushValid});
  ::LineTo(FHandle, x, y);
  Changed();
}

#define CANVAS_SHAPE(call)                                     \
  Changing();                                                  \
  RequiredState({csHandleValid, csPenValid, csBrushValid});    \
  call;                                                        \
  Changed();

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) { CANVAS_SHAPE(::Rectangle(FHandle, x1, y1, x2, y2)) }
void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
  CANVAS_SHAPE(::RoundRect(FHandle, x1, y1, x2, y2, x3, y3))
}
void TCanvas::Ellipse(int x1, int y1, int x2, int y2) { CANVAS_SHAPE(::Ellipse(FHandle, x1, y1, x2, y2)) }
void TCanvas::Polygon(const std::vector<TPoint>& points) {
  CANVAS_SHAPE(::Polygon(FHandle, points.data(), int(points.size())))
}
void TCanvas::Polyline(const std::vector<TPoint>& points) {
  CANVAS_SHAPE(::Polyline(FHandle, points.data(), int(points.size())))
}
#undef CANVAS_SHAPE

void TCanvas::FillRect(const TRect& r) {
  Changing();
  RequiredState({csHandleValid, csBrushValid});
  ::FillRect(FHandle, r, FBrush->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& r) {
  Changing();
  RequiredState({csHandleValid, csBrushValid});
  ::FrameRect(FHandle, r, FBrush->Handle());
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& r) {
  Changing();
  RequiredState({csHandleValid, csBrushValid});
  ::DrawFocusRect(FHandle, r);
  Changed();
}

void TCanvas::FloodFill(int x, int y, TColor color, TFillStyle style) {
  Changing();
  RequiredState({csHandleValid, csBrushValid});
  QImage* img = DcImage(FHandle);
  TPoint p{x, y};
  LPtoDP(FHandle, &p, 1);
  if (!img || !img->valid(p.x, p.y)) return;
  QRgb key = ToQColor(ColorToRGB(color)).rgb() & 0xFFFFFF;
  QRgb seed = img->pixel(p.x, p.y) & 0xFFFFFF;
  auto inside = [&](int px, int py) {
    QRgb c = img->pixel(px, py) & 0xFFFFFF;
    return style == fsSurface ? c == key : c != key;
  };
  if (!inside(p.x, p.y)) return;
  // Scan-line fill into a mask, then one brush fill over the mask's spans.
  QImage done(img->size(), QImage::Format_Mono);
  done.fill(0);
  std::vector<QPoint> stack{QPoint(p.x, p.y)};
  QRegion area;
  std::vector<QRect> spans;
  while (!stack.empty()) {
    QPoint q = stack.back();
    stack.pop_back();
    if (done.pixelIndex(q) || !inside(q.x(), q.y())) continue;
    int l = q.x(), r = q.x();
    while (l > 0 && !done.pixelIndex(l - 1, q.y()) && inside(l - 1, q.y())) --l;
    while (r + 1 < img->width() && !done.pixelIndex(r + 1, q.y()) && inside(r + 1, q.y())) ++r;
    for (int i = l; i <= r; ++i) {
      done.setPixel(i, q.y(), 1);
      if (q.y() > 0) stack.emplace_back(i, q.y() - 1);
      if (q.y() + 1 < img->height()) stack.emplace_back(i, q.y() + 1);
    }
    spans.emplace_back(l, q.y(), r - l + 1, 1);
  }
  (void)seed;
  (void)area;
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  QRegion reg;
  reg.setRects(spans.data(), int(spans.size()));
  rgn->region = reg;
  // The spans are in device pixels: fill them without the logical mapping.
  SaveDC(FHandle);
  SetMapMode(FHandle, MM_TEXT);
  SetWindowOrgEx(FHandle, 0, 0, nullptr);
  SetViewportOrgEx(FHandle, 0, 0, nullptr);
  FillRgn(FHandle, rgn, FBrush->Handle());
  RestoreDC(FHandle, -1);
  DeleteObject(rgn);
  Changed();
}

void TCanvas::TextOut(int x, int y, const String& text) {
  Changing();
  RequiredState({csHandleValid, csFontValid, csBrushValid});
  ExtTextOutW(FHandle, x, y, UINT(FTextFlags) & ~UINT(ETO_OPAQUE | ETO_CLIPPED), nullptr, text.data(),
              int(text.size()), nullptr);
  TSize sz;
  GetTextExtentPoint32W(FHandle, text.data(), int(text.size()), &sz);
  MoveToEx(FHandle, x + sz.cx, y, nullptr);
  Changed();
}

void TCanvas::TextRect(const TRect& r, int x, int y, const String& text) {
  Changing();
  RequiredState({csHandleValid, csFontValid, csBrushValid});
  UINT options = ETO_CLIPPED | (UINT(FTextFlags) & ETO_OPAQUE);
  if (FBrush->Style() != bsClear) options |= ETO_OPAQUE;
  ExtTextOutW(FHandle, x, y, options, &r, text.data(), int(text.size()), nullptr);
  Changed();
}

int TCanvas::TextRectFlags(TRect& r, const String& text, UINT flags) {
  Changing();
  RequiredState({csHandleValid, csFontValid, csBrushValid});
  int h = DrawTextW(FHandle, text.data(), int(text.size()), &r, flags);
  Changed();
  return h;
}

TSize TCanvas::TextExtent(const String& text) {
  RequiredState({csHandleValid, csFontValid});
  TSize sz;
  GetTextExtentPoint32W(FHandle, text.data(), int(text.size()), &sz);
  return sz;
}

int TCanvas::TextWidth(const String& text) { return TextExtent(text).cx; }
int TCanvas::TextHeight(const String& text) { return TextExtent(text).cy; }

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  Changing();
  RequiredState({csHandleValid});
  graphic->Draw(*this, Bounds(x, y, graphic->Width(), graphic->Height()));
  Changed();
}

void TCanvas::Draw(int x, int y, TGraphic* graphic, std::uint8_t opacity) {
  if (!graphic || graphic->Empty()) return;
  Changing();
  RequiredState({csHandleValid});
  graphic->DrawTransparent(*this, Bounds(x, y, graphic->Width(), graphic->Height()), opacity);
  Changed();
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  Changing();
  RequiredState({csHandleValid});
  graphic->Draw(*this, r);
  Changed();
}

void TCanvas::CopyRect(const TRect& dest, TCanvas* source, const TRect& src) {
  if (!source) return;
  Changing();
  RequiredState({csHandleValid, csFontValid, csBrushValid});
  HDC s = source->Handle();
  StretchBlt(FHandle, dest.Left, dest.Top, dest.Width(), dest.Height(), s, src.Left, src.Top, src.Width(),
             src.Height(), FCopyMode);
  Changed();
}

void TCanvas::BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& src, TColor transparent) {
  if (!bitmap || bitmap->Empty()) return;
  Changing();
  RequiredState({csHandleValid, csBrushValid});
  // The transparent colour shows the brush; everything else is the bitmap.
  ::FillRect(FHandle, dest, FBrush->Handle());
  TransparentBlt(FHandle, dest.Left, dest.Top, dest.Width(), dest.Height(), bitmap->Canvas()->Handle(),
                 src.Left, src.Top, src.Width(), src.Height(), ColorToRGB(transparent));
  Changed();
}

void TCanvas::Lock() {
  FLock.lock();
  ++FLockCount;
}
void TCanvas::Unlock() {
  --FLockCount;
  FLock.unlock();
}
bool TCanvas::TryLock() {
  if (!FLock.try_lock()) return false;
  ++FLockCount;
  return true;
}

// ---- binding to painters ------------------------------------------------------------

namespace {
struct PaintBinding {
  HDC dc = nullptr;
};
std::map<TCanvas*, PaintBinding>& bindings() {
  static std::map<TCanvas*, PaintBinding> b;
  return b;
}
// A canvas destroyed in the middle of a paint event gives its context back.
void forgetBinding(TCanvas* canvas) {
  auto& map = bindings();
  auto it = map.find(canvas);
  if (it == map.end()) return;
  HDC dc = it->second.dc;
  map.erase(it);
  ReleasePainterDC(dc);
}
}  // namespace

void CanvasBeginPaint(TCanvas& canvas, QPainter& painter) {
  EnsureGuiApplication();
  PaintBinding b;
  b.dc = CreatePainterDC(painter);
  auto& map = bindings();
  auto it = map.find(&canvas);
  if (it != map.end()) CanvasEndPaint(canvas);
  map[&canvas] = b;
  canvas.SetHandle(b.dc);
}

void CanvasEndPaint(TCanvas& canvas) {
  auto& map = bindings();
  auto it = map.find(&canvas);
  if (it == map.end()) return;
  PaintBinding b = it->second;
  map.erase(it);
  canvas.SetHandle(nullptr);
  ReleasePainterDC(b.dc);
}

QColor QColorFromColor(TColor color) { return ToQColor(ColorToRGB(color)); }
QColor QColorFromRGB(COLORREF color) { return ToQColor(color); }

QFont QFontFromFont(TFont& f) {
  EnsureGuiApplication();
  QFont q = FontOf(f.Handle()).qfont;
  q.setUnderline(f.Style().Contains(fsUnderline));
  q.setStrikeOut(f.Style().Contains(fsStrikeOut));
  return q;
}
