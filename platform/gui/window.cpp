// Windows as the program sees them: the registry of live windows, message
// sending and posting, window timers, capture, key state, coordinates,
// invalidation and scrolling.
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QHash>
#include <QObject>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QTimerEvent>
#include <QWidget>

#include <array>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/graphics/canvas_qt.h"
#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"
#include "platform/gui/popup_window.h"

std::atomic<int> gPendingPosted{0};
QWidget* gCursorTarget = nullptr;
TPoint gLastMessagePos;

namespace {

std::mutex gRegistryLock;
std::unordered_map<HWND, std::uint64_t>& registry() {
  static std::unordered_map<HWND, std::uint64_t> r;
  return r;
}
std::uint64_t gNextSerial = 1;
HWND gCapture = nullptr;

// Key state: bit 0x80 down, bit 0x01 toggled.
std::array<std::atomic<std::uint8_t>, 256> gKeyState{};

// ---- posted messages -------------------------------------------------------
const QEvent::Type kPostedMessageEvent = QEvent::Type(QEvent::User + 0x2A1);

struct PostedMessageEvent : QEvent {
  PostedMessageEvent(HWND w, std::uint64_t s, UINT m, WPARAM wp, LPARAM lp)
      : QEvent(kPostedMessageEvent), Wnd(w), Serial(s), Msg(m), WParam(wp), LParam(lp) {}
  HWND Wnd;
  std::uint64_t Serial;
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
};

class PostTarget : public QObject {
public:
  bool event(QEvent* e) override {
    if (e->type() != kPostedMessageEvent) return QObject::event(e);
    auto* p = static_cast<PostedMessageEvent*>(e);
    gPendingPosted.fetch_sub(1, std::memory_order_relaxed);
    if (p->Msg == WM_QUIT && !p->Wnd) {
      if (Application) Application->Terminate();
      return true;
    }
    if (!IsLiveWindow(p->Wnd, p->Serial)) return true;
    TMessage m{p->Msg, p->WParam, p->LParam, 0};
    if (Application && Application->OnMessage) {
      bool handled = false;
      Application->OnMessage(m, handled);
      // The handler may have destroyed the window the message is for.
      if (handled || !IsLiveWindow(p->Wnd, p->Serial)) return true;
    }
    DeliverMessage(p->Wnd, m);
    return true;
  }
};

// The object that receives posted messages lives on the GUI thread; it is
// made there on first use of the layer (EnsureQtApplication).
PostTarget* gPostTarget = nullptr;
std::mutex gPostTargetLock;

PostTarget* postTarget() {
  std::lock_guard<std::mutex> lock(gPostTargetLock);
  if (!gPostTarget) {
    gPostTarget = new PostTarget;
    if (QCoreApplication::instance()) gPostTarget->moveToThread(QCoreApplication::instance()->thread());
  }
  return gPostTarget;
}

// ---- timers ----------------------------------------------------------------
struct TimerEntry {
  HWND Wnd;
  std::uint64_t Serial;
  std::uintptr_t Id;
};

class TimerHost : public QObject {
public:
  std::unordered_map<int, TimerEntry> ById;                     // Qt id -> entry
  std::map<std::pair<HWND, std::uintptr_t>, int> ByWindow;     // (window, id) -> Qt id

  void timerEvent(QTimerEvent* e) override {
    auto it = ById.find(e->timerId());
    if (it == ById.end()) return;
    TimerEntry t = it->second;
    if (!IsLiveWindow(t.Wnd, t.Serial)) {
      kill(t.Wnd, t.Id);
      return;
    }
    TMessage m{WM_TIMER, WPARAM(t.Id), 0, 0};
    DeliverMessage(t.Wnd, m);
  }
  bool kill(HWND w, std::uintptr_t id) {
    auto it = ByWindow.find({w, id});
    if (it == ByWindow.end()) return false;
    killTimer(it->second);
    ById.erase(it->second);
    ByWindow.erase(it);
    return true;
  }
  void killAll(HWND w) {
    for (auto it = ByWindow.lower_bound({w, 0}); it != ByWindow.end() && it->first.first == w;) {
      killTimer(it->second);
      ById.erase(it->second);
      it = ByWindow.erase(it);
    }
  }
};

TimerHost& timers() {
  static TimerHost* host = [] {
    EnsureQtApplication();
    return new TimerHost;
  }();
  return *host;
}

std::mutex gRegisteredLock;
std::map<String, UINT>& registeredMessages() {
  static std::map<String, UINT> m;
  return m;
}

QWidget* widgetOf(HWND w) { return w ? w->Widget.data() : nullptr; }

TPoint clientOrigin(HWND w) {
  QWidget* wd = widgetOf(w);
  if (!wd) return {};
  QPoint p = wd->mapToGlobal(QPoint(w->Client.Left, w->Client.Top));
  return {p.x(), p.y()};
}

}  // namespace

// ---- registry -------------------------------------------------------------
HWND RegisterWindow(TWinControl* control, QWidget* widget, TWndMethod method) {
  EnsureQtApplication();
  postTarget();
  auto* h = new TWindowHandle;
  h->Control = control;
  h->Widget = widget;
  h->Method = std::move(method);
  if (widget) h->Client = {0, 0, widget->width(), widget->height()};
  std::lock_guard<std::mutex> lock(gRegistryLock);
  h->Serial = gNextSerial++;
  registry()[h] = h->Serial;
  return h;
}

void UnregisterWindow(HWND wnd) {
  if (!wnd) return;
  timers().killAll(wnd);
  if (gCapture == wnd) gCapture = nullptr;
  {
    std::lock_guard<std::mutex> lock(gRegistryLock);
    registry().erase(wnd);
  }
  delete wnd;
}

bool IsLiveWindow(HWND wnd, std::uint64_t serial) {
  std::lock_guard<std::mutex> lock(gRegistryLock);
  auto it = registry().find(wnd);
  return it != registry().end() && it->second == serial;
}

bool IsWindow(HWND Wnd) {
  if (!Wnd) return false;
  std::lock_guard<std::mutex> lock(gRegistryLock);
  return registry().count(Wnd) != 0;
}

LRESULT DeliverMessage(HWND wnd, TMessage& m) {
  try {
    if (wnd->Control)
      wnd->Control->WndProc(m);
    else if (wnd->Method)
      wnd->Method(m);
    else
      m.Result = DefWindowProc(wnd, m.Msg, m.WParam, m.LParam);
  } catch (...) {
    if (Application) Application->HandleException(nullptr);
  }
  return m.Result;
}

// ---- messages --------------------------------------------------------------
LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (!IsWindow(Wnd)) return 0;
  TMessage m{Msg, WParam, LParam, 0};
  return DeliverMessage(Wnd, m);
}

bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  std::uint64_t serial = 0;
  if (Wnd) {
    std::lock_guard<std::mutex> lock(gRegistryLock);
    auto it = registry().find(Wnd);
    if (it == registry().end()) return false;
    serial = it->second;
  } else if (Msg != WM_QUIT) {
    return false;
  }
  gPendingPosted.fetch_add(1, std::memory_order_relaxed);
  QCoreApplication::postEvent(postTarget(), new PostedMessageEvent(Wnd, serial, Msg, WParam, LParam));
  return true;
}

void PostQuitMessage(int ExitCode) { PostMessage(nullptr, WM_QUIT, WPARAM(ExitCode), 0); }

UINT RegisterWindowMessage(const String& Name) {
  if (Name.empty()) return 0;
  // Names compare without case, as the system's atom table does.
  String key;
  for (char16_t c : Name) key += (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
  std::lock_guard<std::mutex> lock(gRegisteredLock);
  auto& m = registeredMessages();
  auto it = m.find(key);
  if (it != m.end()) return it->second;
  UINT id = UINT(0xC000 + m.size());
  if (id > 0xFFFF) return 0;
  m[key] = id;
  return id;
}

HWND AllocateHWnd(TWndMethod Method) { return RegisterWindow(nullptr, nullptr, std::move(Method)); }

void DeallocateHWnd(HWND Wnd) {
  if (!IsWindow(Wnd) || Wnd->Control) return;
  UnregisterWindow(Wnd);
}

LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM, LPARAM) {
  switch (Msg) {
    case WM_NCHITTEST: return HTCLIENT;
    case WM_QUERYENDSESSION: return 1;
    case WM_CLOSE:
      if (Wnd && Wnd->Control) Wnd->Control->Hide();
      return 0;
    default: return 0;
  }
}

// ---- timers ------------------------------------------------------------------
std::uintptr_t SetTimer(HWND Wnd, std::uintptr_t IDEvent, UINT Elapse, void*) {
  if (!IsWindow(Wnd)) return 0;
  TimerHost& t = timers();
  t.kill(Wnd, IDEvent);
  // Short intervals (animation, panning) need the precise timer; the coarse
  // one may fire up to 5% late, which is fine for long ones.
  int qtId = t.startTimer(int(std::max<UINT>(Elapse, 1)),
                          Elapse < 100 ? Qt::PreciseTimer : Qt::CoarseTimer);
  if (!qtId) return 0;
  t.ById[qtId] = {Wnd, Wnd->Serial, IDEvent};
  t.ByWindow[{Wnd, IDEvent}] = qtId;
  return IDEvent ? IDEvent : 1;
}

bool KillTimer(HWND Wnd, std::uintptr_t IDEvent) {
  if (!Wnd) return false;
  return timers().kill(Wnd, IDEvent);
}

// ---- capture and key state -------------------------------------------------
HWND CaptureWindow() { return gCapture; }

HWND SetCapture(HWND Wnd) {
  HWND old = gCapture;
  if (!IsWindow(Wnd)) return old;
  gCapture = Wnd;
  if (old && old != Wnd && IsWindow(old))
    SendMessage(old, WM_CAPTURECHANGED, 0, LPARAM(Wnd));
  // Grabbing makes the window receive the mouse outside its own area too;
  // only a visible window can grab.
  if (QWidget* w = widgetOf(Wnd); w && w->isVisible() && !IsHeadless()) w->grabMouse();
  return old;
}

bool ReleaseCapture() {
  HWND old = gCapture;
  if (!old) return true;
  gCapture = nullptr;
  if (QWidget* w = widgetOf(old); w && QWidget::mouseGrabber() == w) w->releaseMouse();
  if (IsWindow(old)) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() { return IsWindow(gCapture) ? gCapture : nullptr; }

void NoteKeyState(UINT vk, bool down) {
  if (vk > 255) return;
  std::uint8_t s = gKeyState[vk].load();
  if (down) {
    if (!(s & 0x80)) s ^= 0x01;  // toggles on each new press
    s |= 0x80;
  } else {
    s &= std::uint8_t(~0x80);
  }
  gKeyState[vk].store(s);
  // The side-specific keys also count as the generic one and back.
  auto both = [&](UINT generic) { gKeyState[generic].store(s); };
  if (vk == VK_LSHIFT || vk == VK_RSHIFT) both(VK_SHIFT);
  if (vk == VK_LCONTROL || vk == VK_RCONTROL) both(VK_CONTROL);
  if (vk == VK_LMENU || vk == VK_RMENU) both(VK_MENU);
}

short GetKeyState(int VirtKey) {
  if (VirtKey < 0 || VirtKey > 255) return 0;
  std::uint8_t s = gKeyState[size_t(VirtKey)].load();
  short r = 0;
  if (s & 0x80) r = short(0x8000);
  if (s & 0x01) r = short(r | 1);
  return r;
}

short GetAsyncKeyState(int VirtKey) {
  // Modifiers and buttons are asked of the window system; other keys come
  // from the last key messages seen.
  if (QCoreApplication::instance()) {
    Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
    Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    auto r = [](bool down) { return short(down ? 0x8000 : 0); };
    switch (VirtKey) {
      case VK_SHIFT: case VK_LSHIFT: case VK_RSHIFT: return r(mods & Qt::ShiftModifier);
      case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return r(mods & Qt::ControlModifier);
      case VK_MENU: case VK_LMENU: case VK_RMENU: return r(mods & Qt::AltModifier);
      case VK_LBUTTON: return short(r(buttons & Qt::LeftButton) | (GetKeyState(VK_LBUTTON) & 0x8000));
      case VK_RBUTTON: return short(r(buttons & Qt::RightButton) | (GetKeyState(VK_RBUTTON) & 0x8000));
      case VK_MBUTTON: return short(r(buttons & Qt::MiddleButton) | (GetKeyState(VK_MBUTTON) & 0x8000));
      default: break;
    }
  }
  return short(GetKeyState(VirtKey) & 0x8000);
}

bool GetCursorPos(TPoint* Point) {
  if (!Point) return false;
  EnsureQtApplication();
  QPoint p = QCursor::pos();
  *Point = {p.x(), p.y()};
  return true;
}

bool SetCursorPos(int X, int Y) {
  EnsureQtApplication();
  QCursor::setPos(X, Y);
  return true;
}

DWORD GetMessagePos() {
  return DWORD(std::uint32_t(MAKELPARAM(gLastMessagePos.x, gLastMessagePos.y)));
}
TPoint GetMessagePoint() { return gLastMessagePos; }

// ---- coordinates -------------------------------------------------------------
bool ClientToScreen(HWND Wnd, TPoint* Point) {
  if (!IsWindow(Wnd) || !Point || !Wnd->Widget) return false;
  TPoint o = clientOrigin(Wnd);
  Point->x += o.x;
  Point->y += o.y;
  return true;
}

bool ScreenToClient(HWND Wnd, TPoint* Point) {
  if (!IsWindow(Wnd) || !Point || !Wnd->Widget) return false;
  TPoint o = clientOrigin(Wnd);
  Point->x -= o.x;
  Point->y -= o.y;
  return true;
}

int MapWindowPoints(HWND From, HWND To, TPoint* Points, int Count) {
  TPoint a = From ? clientOrigin(From) : TPoint{};
  TPoint b = To ? clientOrigin(To) : TPoint{};
  for (int i = 0; i < Count; ++i) {
    Points[i].x += a.x - b.x;
    Points[i].y += a.y - b.y;
  }
  return int(std::uint32_t(WORD(a.x - b.x)) | (std::uint32_t(WORD(a.y - b.y)) << 16));
}

HWND WindowFromPoint(TPoint Point) {
  EnsureQtApplication();
  QWidget* w = QApplication::widgetAt(Point.x, Point.y);
  // Top-level windows of an offscreen session are not found by the window
  // system; search them ourselves, topmost last shown first.
  if (!w) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (!top->isVisible()) continue;
      QPoint local = top->mapFromGlobal(QPoint(Point.x, Point.y));
      if (!top->rect().contains(local)) continue;
      QWidget* child = top->childAt(local);
      w = child ? child : top;
    }
  }
  for (; w; w = w->parentWidget()) {
    QVariant v = w->property("tamrixControl");
    if (!v.isValid()) continue;
    auto* c = static_cast<TControl*>(v.value<void*>());
    if (auto* wc = dynamic_cast<TWinControl*>(c)) return wc->Handle();
  }
  return nullptr;
}

bool GetClientRect(HWND Wnd, TRect* Rect) {
  if (!IsWindow(Wnd) || !Rect) return false;
  *Rect = {0, 0, Wnd->Client.Width(), Wnd->Client.Height()};
  return true;
}

bool GetWindowRect(HWND Wnd, TRect* Rect) {
  if (!IsWindow(Wnd) || !Rect || !Wnd->Widget) return false;
  QWidget* w = Wnd->Widget;
  QPoint p = w->mapToGlobal(QPoint(0, 0));
  *Rect = Bounds(p.x(), p.y(), w->width(), w->height());
  return true;
}

HWND GetParent(HWND Wnd) {
  if (!IsWindow(Wnd) || !Wnd->Control) return nullptr;
  TWinControl* p = Wnd->Control->Parent();
  return p && p->HandleAllocated() ? p->Handle() : nullptr;
}

bool IsChild(HWND Parent, HWND Wnd) {
  for (HWND w = GetParent(Wnd); w; w = GetParent(w))
    if (w == Parent) return true;
  return false;
}

// ---- painting ----------------------------------------------------------------
bool InvalidateRect(HWND Wnd, const TRect* Rect, bool) {
  if (!IsWindow(Wnd) || !Wnd->Widget) return false;
  QRect r = Rect ? QRect(Rect->Left + Wnd->Client.Left, Rect->Top + Wnd->Client.Top,
                         Rect->Width(), Rect->Height())
                 : QRect(Wnd->Client.Left, Wnd->Client.Top, Wnd->Client.Width(), Wnd->Client.Height());
  if (r.isEmpty()) return true;
  Wnd->Pending += r;
  if (Wnd->Redraw) Wnd->Widget->update(r);
  return true;
}

bool ValidateRect(HWND Wnd, const TRect* Rect) {
  // Qt cannot take back a scheduled repaint; we only forget the region, so
  // that UpdateWindow does not force it.
  if (!IsWindow(Wnd)) return false;
  if (!Rect)
    Wnd->Pending = QRegion();
  else
    Wnd->Pending -= QRect(Rect->Left + Wnd->Client.Left, Rect->Top + Wnd->Client.Top,
                          Rect->Width(), Rect->Height());
  return true;
}

bool RedrawWindow(HWND Wnd, const TRect* Update, HRGN Region, UINT Flags) {
  if (!IsWindow(Wnd) || !Wnd->Widget) return false;
  QWidget* w = Wnd->Widget;
  const QPoint origin(Wnd->Client.Left, Wnd->Client.Top);
  // The area meant, in window coordinates: the rectangle, else the region,
  // else the whole client area (the whole window with RDW_FRAME).
  QRegion area;
  if (Update)
    area = QRect(Update->Left, Update->Top, Update->Width(), Update->Height()).translated(origin);
  else if (Region)
    area = QRegionFromRgn(Region).translated(origin);
  else if (Flags & RDW_FRAME)
    area = w->rect();
  else
    area = QRect(origin, QSize(Wnd->Client.Width(), Wnd->Client.Height()));
  if (Flags & RDW_INVALIDATE) {
    if (Flags & RDW_FRAME) area += QRegion(w->rect()) - QRegion(QRect(origin, QSize(Wnd->Client.Width(), Wnd->Client.Height())));
    if (!area.isEmpty()) {
      Wnd->Pending += area;
      if (Wnd->Redraw) w->update(area);
    }
  }
  if (Flags & RDW_VALIDATE) Wnd->Pending -= area;
  if (Flags & (RDW_UPDATENOW | RDW_ERASENOW)) UpdateWindow(Wnd);
  return true;
}

bool UpdateWindow(HWND Wnd) {
  if (!IsWindow(Wnd) || !Wnd->Widget) return false;
  if (Wnd->Pending.isEmpty() || !Wnd->Redraw || !Wnd->Widget->isVisible()) return true;
  QRegion r = Wnd->Pending;
  Wnd->Widget->repaint(r);
  return true;
}

bool GetUpdateRect(HWND Wnd, TRect* Rect, bool) {
  if (!IsWindow(Wnd)) return false;
  TRect r;
  if (Wnd->Painter) {
    r = Wnd->UpdateRect;
  } else {
    // What was invalidated before the window shrank lies outside it now
    // and will never be painted: it is no part of the update region.
    const QRect client(Wnd->Client.Left, Wnd->Client.Top, Wnd->Client.Width(), Wnd->Client.Height());
    QRect b = (Wnd->Pending & client).boundingRect().translated(-Wnd->Client.Left, -Wnd->Client.Top);
    r = Bounds(b.x(), b.y(), b.width(), b.height());
  }
  if (Rect) *Rect = r;
  return !r.IsEmpty();
}

bool ScrollWindow(HWND Wnd, int DX, int DY, const TRect* Scroll, const TRect* Clip) {
  return ScrollWindowEx(Wnd, DX, DY, Scroll, Clip, nullptr, nullptr,
                        Scroll ? SW_INVALIDATE : (SW_INVALIDATE | SW_SCROLLCHILDREN)) != 0;
}

int ScrollWindowEx(HWND Wnd, int DX, int DY, const TRect* Scroll, const TRect* Clip, HRGN UpdateRgn,
                   TRect* Update, UINT Flags) {
  if (!IsWindow(Wnd) || !Wnd->Widget) return 0;
  TRect area = Scroll ? *Scroll : TRect{0, 0, Wnd->Client.Width(), Wnd->Client.Height()};
  if (Clip) IntersectRect(area, area, *Clip);
  // Child windows (form controls inside a page) move with the content;
  // they are widgets of their own, so moving them does not disturb the
  // pixels scrolled below.
  if ((Flags & SW_SCROLLCHILDREN) && Wnd->Control && (DX || DY)) {
    // Each move raises the child's events, whose handlers may free it,
    // another child or the window's control.
    if (!WalkChildren(Wnd->Control, [&](TControl* c) {
          TRect both;
          if (Scroll && !IntersectRect(both, area, c->BoundsRect())) return;
          c->SetBounds(c->Left() + DX, c->Top() + DY, c->Width(), c->Height());
        }))
      return 0;
  }
  // The part of the area that no scrolled pixel covers (client coordinates).
  const QRect client(area.Left, area.Top, area.Width(), area.Height());
  const QRegion exposed = client.isEmpty() ? QRegion() : QRegion(client) - QRegion(client.translated(DX, DY) & client);
  // Qt scrolls what is on screen and always repaints the uncovered part;
  // SW_INVALIDATE (or SW_ERASE) also records it as waiting for a paint.
  const QPoint origin(Wnd->Client.Left, Wnd->Client.Top);
  if (Wnd->Redraw && Wnd->Widget->isVisible() && !client.isEmpty()) {
    Wnd->Widget->scroll(DX, DY, client.translated(origin));
    if (Flags & (SW_INVALIDATE | SW_ERASE)) Wnd->Pending += exposed.translated(origin);
  }
  if (UpdateRgn) SetRgnFromQRegion(UpdateRgn, exposed);
  if (Update) {
    QRect b = exposed.boundingRect();
    *Update = Bounds(b.x(), b.y(), b.width(), b.height());
  }
  if (exposed.isEmpty()) return NULLREGION;
  return exposed.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

HDC GetDC(HWND Wnd) {
  // Inside a paint of this window the painter's context is shared; outside
  // one Qt allows no drawing on a window, so the context measures like the
  // screen and draws nowhere.
  if (IsWindow(Wnd) && Wnd->Painter && Wnd->PaintDC) return Wnd->PaintDC;
  return CreateCompatibleDC(nullptr);
}

HDC GetWindowDC(HWND Wnd) {
  if (!IsWindow(Wnd) || !Wnd->Widget) return CreateCompatibleDC(nullptr);
  if (!Wnd->Painter) {
    // Qt draws on a window only while it paints: what the caller means to
    // draw now is drawn by the frame paint that this schedules, and the
    // context measures like the screen meanwhile.
    RedrawWindow(Wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
    return CreateCompatibleDC(nullptr);
  }
  // A window context starts at the window's top-left corner and covers the
  // frame, whether the client area or the frame is being painted; what lies
  // outside the area being painted is clipped by the paint itself.
  QPainter& p = *Wnd->Painter;
  p.save();
  p.setWorldTransform(QTransform());
  p.setClipRegion(QRegion(Wnd->Widget->rect()));
  HDC dc = CreatePainterDC(p);
  Wnd->WindowDCs.push_back(dc);
  return dc;
}

HDC GetDCEx(HWND Wnd, HRGN Clip, UINT Flags) {
  HDC dc = (Flags & DCX_WINDOW) ? GetWindowDC(Wnd) : GetDC(Wnd);
  // The region is in the context's own coordinates (client or window).
  if (dc && Clip && (Flags & DCX_INTERSECTRGN)) ExtSelectClipRgn(dc, Clip, RGN_AND);
  else if (dc && Clip && (Flags & DCX_EXCLUDERGN)) ExtSelectClipRgn(dc, Clip, RGN_DIFF);
  return dc;
}

int ReleaseDC(HWND Wnd, HDC DC) {
  if (IsWindow(Wnd) && DC == Wnd->PaintDC) return 1;
  if (IsWindow(Wnd) && !Wnd->WindowDCs.empty() && Wnd->WindowDCs.back() == DC) {
    Wnd->WindowDCs.pop_back();
    ReleasePainterDC(DC);
    if (Wnd->Painter) Wnd->Painter->restore();
    return 1;
  }
  if (DC) DeleteDC(DC);
  return 1;
}

// ---- window state ------------------------------------------------------------
bool EnableWindow(HWND Wnd, bool Enable) {
  if (!IsWindow(Wnd)) return false;
  bool was = IsWindowEnabled(Wnd);
  if (Wnd->Control)
    Wnd->Control->SetEnabled(Enable);
  return !was;
}

bool IsWindowEnabled(HWND Wnd) {
  if (!IsWindow(Wnd)) return false;
  return Wnd->Control ? Wnd->Control->Enabled() : true;
}

bool IsWindowVisible(HWND Wnd) {
  if (!IsWindow(Wnd) || !Wnd->Widget) return false;
  return Wnd->Widget->isVisible();
}

bool ShowWindow(HWND Wnd, int CmdShow) {
  if (IsWindow(Wnd) && !Wnd->Control && Wnd->Widget) return ShowPopupWindow(Wnd, CmdShow);
  if (!IsWindow(Wnd) || !Wnd->Control) return false;
  bool was = IsWindowVisible(Wnd);
  TWinControl* c = Wnd->Control;
  auto* form = dynamic_cast<TForm*>(c);
  switch (CmdShow) {
    case SW_HIDE: c->Hide(); break;
    case SW_MINIMIZE: case SW_SHOWMINIMIZED:
      if (form) form->SetWindowState(wsMinimized); else c->Show();
      break;
    case SW_MAXIMIZE:
      if (form) form->SetWindowState(wsMaximized); else c->Show();
      break;
    case SW_RESTORE: case SW_SHOWNORMAL:
      if (form) form->SetWindowState(wsNormal);
      c->Show();
      break;
    default: c->Show(); break;
  }
  return was;
}

namespace {
TWindowHandle gTopMostMarker, gNoTopMostMarker;
}
HWND const HWND_TOPMOST = &gTopMostMarker;
HWND const HWND_NOTOPMOST = &gNoTopMostMarker;

bool SetWindowPos(HWND Wnd, HWND InsertAfter, int X, int Y, int CX, int CY, UINT Flags) {
  if (!IsWindow(Wnd) || !Wnd->Control) return false;
  TWinControl* c = Wnd->Control;
  int l = (Flags & SWP_NOMOVE) ? c->Left() : X;
  int t = (Flags & SWP_NOMOVE) ? c->Top() : Y;
  int w = (Flags & SWP_NOSIZE) ? c->Width() : CX;
  int h = (Flags & SWP_NOSIZE) ? c->Height() : CY;
  c->SetBounds(l, t, w, h);
  if (!(Flags & SWP_NOZORDER) && Wnd->Widget) {
    QWidget* wd = Wnd->Widget;
    if (InsertAfter == HWND_TOPMOST || InsertAfter == HWND_NOTOPMOST) {
      if (wd->isWindow()) {
        bool visible = wd->isVisible();
        wd->setWindowFlag(Qt::WindowStaysOnTopHint, InsertAfter == HWND_TOPMOST);
        if (visible) wd->show();
      }
    } else if (InsertAfter == HWND_TOP) {
      wd->raise();
    }
  }
  if (Flags & SWP_FRAMECHANGED) UpdateFrame(Wnd);
  if (Flags & SWP_SHOWWINDOW) c->Show();
  if (Flags & SWP_HIDEWINDOW) c->Hide();
  return true;
}

bool SetForegroundWindow(HWND Wnd) {
  if (!IsWindow(Wnd) || !Wnd->Widget) return false;
  QWidget* top = Wnd->Widget->window();
  if (!IsHeadless()) top->raise();
  top->activateWindow();
  return true;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

HWND GetActiveWindow() {
  if (!QCoreApplication::instance()) return nullptr;
  QWidget* w = QApplication::activeWindow();
  if (!w) return nullptr;
  QVariant v = w->property("tamrixControl");
  if (!v.isValid()) return nullptr;
  auto* c = dynamic_cast<TWinControl*>(static_cast<TControl*>(v.value<void*>()));
  return c ? c->Handle() : nullptr;
}

bool IsIconic(HWND Wnd) {
  if (!IsWindow(Wnd) || !Wnd->Widget) return false;
  return Wnd->Widget->window()->isMinimized();
}

DWORD GetWindowStyle(HWND Wnd) {
  if (!IsWindow(Wnd)) return 0;
  DWORD s = Wnd->Style;
  if (Wnd->Widget && Wnd->Widget->isVisible()) s |= WS_VISIBLE;
  if (Wnd->Control && !Wnd->Control->Enabled()) s |= WS_DISABLED;
  if (Wnd->Bars[SB_HORZ].Visible) s |= WS_HSCROLL; else s &= ~DWORD(WS_HSCROLL);
  if (Wnd->Bars[SB_VERT].Visible) s |= WS_VSCROLL; else s &= ~DWORD(WS_VSCROLL);
  return s;
}

DWORD GetWindowExStyle(HWND Wnd) { return IsWindow(Wnd) ? Wnd->ExStyle : 0; }

void SetWindowStyle(HWND Wnd, DWORD Style) {
  if (!IsWindow(Wnd)) return;
  Wnd->Style = Style;
  // The scroll-bar bits show or hide the frame's bars.
  Wnd->Bars[SB_HORZ].Visible = (Style & WS_HSCROLL) != 0;
  Wnd->Bars[SB_VERT].Visible = (Style & WS_VSCROLL) != 0;
  UpdateFrame(Wnd);
}

void SetWindowExStyle(HWND Wnd, DWORD ExStyle) {
  if (!IsWindow(Wnd)) return;
  Wnd->ExStyle = ExStyle;
  UpdateFrame(Wnd);
}

// ---- focus -------------------------------------------------------------------
HWND SetFocus(HWND Wnd) {
  HWND old = GetFocus();
  if (!IsWindow(Wnd) || !Wnd->Widget) return old;
  QWidget* w = Wnd->Widget;
  if (!w->window()->isActiveWindow()) w->window()->activateWindow();
  w->setFocus(Qt::OtherFocusReason);
  return old;
}

HWND GetFocus() {
  if (!QCoreApplication::instance()) return nullptr;
  for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
    QVariant v = w->property("tamrixControl");
    if (!v.isValid()) continue;
    if (auto* c = dynamic_cast<TWinControl*>(static_cast<TControl*>(v.value<void*>())))
      return c->Handle();
  }
  return nullptr;
}

// ---- system ----------------------------------------------------------------------
int GetSystemMetrics(int Index) {
  EnsureQtApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  QStyle* st = QApplication::style();
  switch (Index) {
    case SM_CXSCREEN: return s ? s->geometry().width() : 0;
    case SM_CYSCREEN: return s ? s->geometry().height() : 0;
    case SM_CXVSCROLL: case SM_CYHSCROLL: case SM_CYVTHUMB: case SM_CXHTHUMB:
      return st ? st->pixelMetric(QStyle::PM_ScrollBarExtent) : 16;
    case SM_CYCAPTION: return 23;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CXDRAG: case SM_CYDRAG: return QApplication::startDragDistance();
    default: return 0;
  }
}

bool SystemParametersInfo(UINT Action, UINT, void* Value, UINT) {
  EnsureQtApplication();
  switch (Action) {
    case SPI_GETWHEELSCROLLLINES:
      if (Value) *static_cast<UINT*>(Value) = UINT(QApplication::wheelScrollLines());
      return true;
    case SPI_GETDRAGFULLWINDOWS:
      if (Value) *static_cast<BOOL*>(Value) = 1;
      return true;
    default: return false;
  }
}

UINT GetDoubleClickTime() {
  EnsureQtApplication();
  return UINT(QApplication::doubleClickInterval());
}

void MessageBeep(UINT) {
  if (QCoreApplication::instance() && !IsHeadless()) QApplication::beep();
}
