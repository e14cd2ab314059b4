// Qt events become window messages: mouse, keys, wheel, focus, size,
// visibility, enter/leave, context menu, hints and paint, packed the way
// window procedures expect them.
#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QCursor>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <QPointer>
#include <QWindowStateChangeEvent>
#include <QWidget>
#include <map>
#include <memory>
#include <unordered_set>
#include <vector>

#include "platform/graphics/canvas_qt.h"
#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"

namespace {

// How far the desktop may shift a window it places without that counting
// as a move.
constexpr int kFrameSlack = 8;

TControl* controlOf(QObject* o) {
  QVariant v = o->property("tamrixControl");
  return v.isValid() ? static_cast<TControl*>(v.value<void*>()) : nullptr;
}

// Our own painted widget: every event goes through the control first.
class OwnWidget : public QWidget {
public:
  explicit OwnWidget(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_InputMethodEnabled, false);
  }
  bool event(QEvent* e) override {
    if (TControl* c = controlOf(this)) {
      std::shared_ptr<TControlPrivate> p = c->PrivateRef();
      if (p && p->Widget == this && p->HandleEvent(this, e)) return true;
    }
    return QWidget::event(e);
  }
};

// Event translation for stock Qt widgets (and their inner parts).
class EventBridge : public QObject {
public:
  bool eventFilter(QObject* watched, QEvent* e) override {
    TControl* c = controlOf(watched);
    if (!c || !c->Private()) return false;
    std::shared_ptr<TControlPrivate> p = c->PrivateRef();
    return p->HandleEvent(watched, e);
  }
};

EventBridge* bridge() {
  static EventBridge* b = new EventBridge;
  return b;
}

unsigned mouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  unsigned k = 0;
  if (buttons & Qt::LeftButton) k |= MK_LBUTTON;
  if (buttons & Qt::RightButton) k |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) k |= MK_MBUTTON;
  if (buttons & Qt::XButton1) k |= MK_XBUTTON1;
  if (buttons & Qt::XButton2) k |= MK_XBUTTON2;
  if (mods & Qt::ShiftModifier) k |= MK_SHIFT;
  if (mods & Qt::ControlModifier) k |= MK_CONTROL;
  return k;
}

void noteModifiers(Qt::KeyboardModifiers mods) {
  NoteKeyState(VK_SHIFT, mods & Qt::ShiftModifier);
  NoteKeyState(VK_CONTROL, mods & Qt::ControlModifier);
  NoteKeyState(VK_MENU, mods & Qt::AltModifier);
}

// Client messages by button (index 0 left, 1 right, 2 middle) and kind
// (0 down, 1 up, 2 double click); the non-client ones are 0xA0 - 0x200 away.
UINT buttonMessage(int button, int kind) {
  static const UINT table[3][3] = {{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK},
                                   {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK},
                                   {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK}};
  return table[button][kind];
}

UINT toNonClient(UINT clientMsg) { return clientMsg - WM_MOUSEMOVE + WM_NCMOUSEMOVE; }

// Delivers a translated message; tells whether default handling was reached.
bool deliver(TControlPrivate* p, TMessage& m) {
  bool saved = p->DefaultReached;
  const TMessage* savedMsg = p->Translating;
  p->DefaultReached = false;
  p->Translating = &m;
  ++p->TranslateDepth;
  if (p->Handle) {
    DeliverMessage(p->Handle, m);
  } else if (p->Owner) {
    try {
      p->Owner->WndProc(m);
    } catch (...) {
      if (Application) Application->HandleException(p->Owner);
    }
  }
  --p->TranslateDepth;
  bool reached = p->DefaultReached && p->Owner;
  p->DefaultReached = saved;
  p->Translating = savedMsg;
  return reached;
}

void paintOwn(TControlPrivate* p, QWidget* w, QPaintEvent* pe) {
  QPainter painter(w);
  QRegion region = pe->region();
  HWND h = p->Handle;
  if (!h) {
    // A control without a window paints its whole area.
    HDC dc = CreatePainterDC(painter);
    p->Painter = &painter;
    p->PaintDC = dc;
    TMessage m{WM_PAINT, WPARAM(dc), 0, 0};
    deliver(p, m);
    p->Painter = nullptr;
    p->PaintDC = nullptr;
    ReleasePainterDC(dc);
    return;
  }
  if (!h->Redraw) return;
  std::uint64_t serial = h->Serial;
  h->Pending -= region;
  QRect client(h->Client.Left, h->Client.Top, h->Client.Width(), h->Client.Height());
  if (client != w->rect()) {
    QRegion frame = region - QRegion(client);
    if (!frame.isEmpty()) {
      painter.save();
      painter.setClipRegion(frame);
      HDC dc = CreatePainterDC(painter);
      h->Painter = &painter;
      h->PaintDC = dc;
      SendMessage(h, WM_NCPAINT, 1, 0);
      if (!IsLiveWindow(h, serial)) { ReleasePainterDC(dc); return; }
      h->Painter = nullptr;
      h->PaintDC = nullptr;
      ReleasePainterDC(dc);
      painter.restore();
    }
  }
  QRegion inside = (region & client).translated(-client.topLeft());
  if (inside.isEmpty()) return;
  painter.save();
  painter.translate(client.topLeft());
  painter.setClipRegion(inside);
  QRect b = inside.boundingRect();
  h->UpdateRect = Bounds(b.x(), b.y(), b.width(), b.height());
  HDC dc = CreatePainterDC(painter);
  h->Painter = &painter;
  h->PaintDC = dc;
  SendMessage(h, WM_ERASEBKGND, WPARAM(dc), 0);
  if (IsLiveWindow(h, serial)) SendMessage(h, WM_PAINT, WPARAM(dc), 0);
  if (IsLiveWindow(h, serial)) {
    h->Painter = nullptr;
    h->PaintDC = nullptr;
    h->UpdateRect = {};
  }
  ReleasePainterDC(dc);
  painter.restore();
}

bool handleMouse(TControlPrivate* p, QWidget* src, QMouseEvent* me) {
  QPoint g = me->globalPosition().toPoint();
  gLastMessagePos = {g.x(), g.y()};
  int button = me->button() == Qt::RightButton ? 1 : me->button() == Qt::MiddleButton ? 2 : 0;
  bool isButton = me->type() != QEvent::MouseMove;
  if (isButton && me->button() != Qt::LeftButton && me->button() != Qt::RightButton &&
      me->button() != Qt::MiddleButton)
    return false;
  static const UINT vkOf[3] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
  if (me->type() == QEvent::MouseButtonPress || me->type() == QEvent::MouseButtonDblClick)
    NoteKeyState(vkOf[button], true);
  else if (me->type() == QEvent::MouseButtonRelease)
    NoteKeyState(vkOf[button], false);
  noteModifiers(me->modifiers());

  // Captured mouse input goes to the capture window, wherever it happens.
  HWND cap = CaptureWindow();
  TControlPrivate* target = p;
  std::shared_ptr<TControlPrivate> keep;  // the capture window may go while it handles this
  if (cap && cap != p->Handle && cap->Control && cap->Control->Private() &&
      cap->Control->Private()->Widget) {
    keep = cap->Control->PrivateRef();
    target = keep.get();
  }
  QWidget* tw = target->Widget;
  if (!tw) return false;
  QPoint local = tw->mapFromGlobal(g);
  (void)src;

  UINT msg;
  switch (me->type()) {
    case QEvent::MouseButtonPress: msg = buttonMessage(button, 0); break;
    case QEvent::MouseButtonRelease: msg = buttonMessage(button, 1); break;
    case QEvent::MouseButtonDblClick:
      msg = buttonMessage(button, target->Owner->ControlStyle().Contains(csDoubleClicks) ? 2 : 0);
      break;
    default: msg = WM_MOUSEMOVE; break;
  }
  WPARAM keys = mouseKeys(me->buttons(), me->modifiers());
  HWND h = target->Handle;
  int hit = HTCLIENT;
  if (h) {
    QRect client(h->Client.Left, h->Client.Top, h->Client.Width(), h->Client.Height());
    if (cap != h && !client.contains(local)) {
      hit = int(SendMessage(h, WM_NCHITTEST, 0, MAKELPARAM(g.x(), g.y())));
      if (!IsWindow(h)) return true;
    }
    if (msg == WM_MOUSEMOVE && cap != h) {
      gCursorTarget = tw;
      SendMessage(h, WM_SETCURSOR, WPARAM(h), MAKELPARAM(hit, int(msg)));
      gCursorTarget = nullptr;
      if (!IsWindow(h)) return true;
    }
    if (hit != HTCLIENT) {
      // The frame takes double clicks whether or not the client area does.
      if (me->type() == QEvent::MouseButtonDblClick) msg = buttonMessage(button, 2);
      TMessage m{toNonClient(msg), WPARAM(hit), MAKELPARAM(g.x(), g.y()), 0};
      bool reached = deliver(target, m);
      return !(reached && !target->OwnWidget);
    }
    local -= client.topLeft();
  }
  TMessage m{msg, keys, MAKELPARAM(local.x(), local.y()), 0};
  bool reached = deliver(target, m);
  if (target != p) return true;
  return target->OwnWidget || !reached;
}

bool handleWheel(TControlPrivate* p, QWheelEvent* we) {
  QPoint g = we->globalPosition().toPoint();
  gLastMessagePos = {g.x(), g.y()};
  noteModifiers(we->modifiers());
  WPARAM keys = mouseKeys(we->buttons(), we->modifiers());
  QPoint d = we->angleDelta();
  bool any = false, reached = true;
  if (d.y() != 0) {
    TMessage m{WM_MOUSEWHEEL, MAKEWPARAM(int(keys), d.y()), MAKELPARAM(g.x(), g.y()), 0};
    reached = deliver(p, m);
    any = true;
  }
  if (d.x() != 0 && p->Owner) {
    TMessage m{WM_MOUSEHWHEEL, MAKEWPARAM(int(keys), -d.x()), MAKELPARAM(g.x(), g.y()), 0};
    reached = deliver(p, m) && reached;
    any = true;
  }
  if (!any) return p->OwnWidget;
  return p->OwnWidget || !reached;
}

String keyChars(QKeyEvent* ke, UINT vk) {
  QString t = ke->text();
  if (!t.isEmpty()) return String(reinterpret_cast<const char16_t*>(t.utf16()), size_t(t.size()));
  // Some platforms give no text for control combinations; make the control
  // character the way the keyboard driver would.
  bool ctrl = ke->modifiers() & Qt::ControlModifier;
  if (ctrl && vk >= 'A' && vk <= 'Z') return String(1, char16_t(vk - 'A' + 1));
  switch (vk) {
    case VK_RETURN: return u"\r";
    case VK_ESCAPE: return u"\x1b";
    case VK_BACK: return u"\b";
    case VK_TAB: return u"\t";
    default: return {};
  }
}

// Tab, Shift+Tab, Return and Escape belong to the dialog (focus moves, the
// default or cancel button is pressed) unless the control asks for them.
bool handleDialogKey(TControlPrivate* p, UINT vk, Qt::KeyboardModifiers mods) {
  auto* wc = dynamic_cast<TWinControl*>(p->Owner);
  if (!wc || !p->Handle) return false;
  if (vk != VK_TAB && vk != VK_RETURN && vk != VK_ESCAPE) return false;
  if (mods & (Qt::AltModifier | Qt::ControlModifier)) return false;
  LRESULT code = SendMessage(p->Handle, WM_GETDLGCODE, vk, 0);
  // Tab belongs to the control only when it asks for tabs; Return and
  // Escape when it asks for every key.
  if (vk == VK_TAB) {
    if (code & DLGC_WANTTAB) return false;
    TForm* form = wc->GetParentForm();
    if (!form) return false;
    form->SelectNext(wc, !(mods & Qt::ShiftModifier), true);
    return true;
  }
  if (code & DLGC_WANTALLKEYS) return false;
  TForm* form = wc->GetParentForm();
  if (!form) return false;
  // CM_DIALOGKEY-style: the form looks for a default / cancel button.
  TMessage m{CM_DIALOGKEY, vk, 0, 0};
  form->Dispatch(m);
  return m.Result != 0;
}

// The window each key last went down in, until it comes up there. A release
// goes to the window that has the keyboard then, which need not be the one
// the press went to: a dialog closed by the press of Escape leaves its
// release to the window below, and a key pressed in another program may come
// up in ours. Such a release is no key of the window's own.
std::map<quint64, QPointer<QWidget>>& keyPressWindows() {
  static std::map<quint64, QPointer<QWidget>> m;
  return m;
}

// The physical key where the window system names it, else the key itself
// (the release of a key reports the same one as its press).
quint64 keyIdentity(const QKeyEvent* ke) {
  if (ke->nativeScanCode()) return ke->nativeScanCode();
  return (quint64(1) << 32) | quint32(ke->key());
}

// Every press, in any window of the program (the toolkit's own dialogs
// included), is noted before the window sees it. Once the program stops
// being the active one, the keys held go up elsewhere, and may go down and
// up there again: what they went down in here says nothing about the
// releases that reach it later.
class KeyPressWatcher : public QObject {
public:
  bool eventFilter(QObject* watched, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress:
      case QEvent::ShortcutOverride:
        if (auto* w = qobject_cast<QWidget*>(watched))
          keyPressWindows()[keyIdentity(static_cast<QKeyEvent*>(e))] = w->window();
        return false;
      case QEvent::ApplicationStateChange:
        if (static_cast<QApplicationStateChangeEvent*>(e)->applicationState() != Qt::ApplicationActive)
          keyPressWindows().clear();
        return false;
      default:
        return false;
    }
  }
};

// True once for a release whose press went to window: the record is spent.
bool takePressIn(const QWidget* window, const QKeyEvent* ke) {
  auto it = keyPressWindows().find(keyIdentity(ke));
  if (it == keyPressWindows().end() || !it->second || it->second != window) return false;
  keyPressWindows().erase(it);
  return true;
}

bool handleKey(TControlPrivate* p, QKeyEvent* ke) {
  auto* wc = dynamic_cast<TWinControl*>(p->Owner);
  if (!wc) return false;
  noteModifiers(ke->modifiers());
  bool extended = false;
  UINT vk = VirtualKeyFromQt(ke->key(), unsigned(ke->modifiers()), extended);
  // Text composed by an input method comes with no key at all; it still
  // goes down, types and comes up as a processed key.
  if (!vk && (ke->key() == 0 || ke->key() == Qt::Key_unknown) && !ke->text().isEmpty() &&
      ke->text().at(0) >= QChar(u' '))
    vk = 0xE5;
  bool alt = ke->modifiers() & Qt::AltModifier;
  LPARAM data = 1 | LPARAM((ke->nativeScanCode() & 0xFF) << 16);
  if (extended) data |= LPARAM(1) << 24;
  if (alt) data |= LPARAM(1) << 29;
  if (ke->type() == QEvent::KeyRelease) {
    // Auto-repeat sends only repeated key-downs, never a release in between.
    if (ke->isAutoRepeat()) return p->OwnWidget;
    if (vk) NoteKeyState(vk, false);
    if (!vk) return false;
    if (!p->Widget || !takePressIn(p->Widget->window(), ke)) return p->OwnWidget;
    data |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
    TMessage m{alt || vk == VK_F10 ? UINT(WM_SYSKEYUP) : UINT(WM_KEYUP), vk, LPARAM(std::int32_t(data)), 0};
    bool reached = deliver(p, m);
    return p->OwnWidget || !reached;
  }
  // Only the toolkit's repeat flag tells a held key: the remembered key
  // state can be stale when the release went to a window of the toolkit's
  // own (a message box opened by the key-down), and a fresh press taken for
  // a repeat would skip the dialog keys.
  bool repeat = ke->isAutoRepeat();
  if (repeat) data |= LPARAM(1) << 30;
  if (vk) NoteKeyState(vk, true);
  if (vk && !repeat && handleDialogKey(p, vk, ke->modifiers())) return true;
  bool consumed = false;
  if (vk) {
    TMessage m{alt || vk == VK_F10 ? UINT(WM_SYSKEYDOWN) : UINT(WM_KEYDOWN), vk,
               LPARAM(std::int32_t(data)), 0};
    consumed = !deliver(p, m);
    if (!IsWindow(p->Handle)) return true;
  }
  String chars = keyChars(ke, vk);
  bool replaced = false;
  String typed;
  for (char16_t ch : chars) {
    TMessage m{alt ? UINT(WM_SYSCHAR) : UINT(WM_CHAR), WPARAM(ch), LPARAM(std::int32_t(data)), 0};
    bool reached = deliver(p, m);
    if (!IsWindow(p->Handle)) return true;
    if (!reached) {
      consumed = true;
      replaced = true;
      continue;
    }
    char16_t now = char16_t(m.WParam);
    if (now != ch) replaced = true;
    if (now) typed += now;
  }
  if (p->OwnWidget) return true;
  if (consumed && !replaced) return true;
  if (replaced && !consumed) {
    // A handler changed the character: give the stock widget the new one.
    if (!typed.empty() && p->Widget) {
      QKeyEvent copy(QEvent::KeyPress, 0, ke->modifiers(),
                     QString::fromUtf16(typed.data(), qsizetype(typed.size())));
      p->Bypass = true;
      QApplication::sendEvent(p->Widget, &copy);
      p->Bypass = false;
    }
    return true;
  }
  return consumed;
}

// The control a widget belongs to (its own, or its nearest ancestor's).
TControl* owningControl(QWidget* w) {
  for (; w; w = w->parentWidget())
    if (TControl* c = controlOf(w)) return c;
  return nullptr;
}

// Qt passes input a widget ignores on to its parent; a window never sees
// its children's input that way. True when e reached watched only by that
// passing on: the mouse is over another control's widget inside it, or the
// keyboard focus is in another control inside it.
bool passedOnFromChild(TControlPrivate* p, QWidget* watched, QEvent* e) {
  QWidget* w = p->Widget;
  if (!w || watched != w) return false;
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel: {
      auto* pe = static_cast<QSinglePointEvent*>(e);
      QWidget* child = w->childAt(pe->position().toPoint());
      if (!child) return false;
      TControl* other = owningControl(child);
      return other && other != p->Owner;
    }
    case QEvent::ContextMenu: {
      QWidget* child = w->childAt(static_cast<QContextMenuEvent*>(e)->pos());
      if (!child) return false;
      TControl* other = owningControl(child);
      return other && other != p->Owner;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      QWidget* f = QApplication::focusWidget();
      if (!f || f == w || !w->isAncestorOf(f)) return false;
      TControl* other = owningControl(f);
      return other && other != p->Owner;
    }
    default:
      return false;
  }
}

}  // namespace

namespace {

// Text committed by an input method arrives as the system's input method
// does it for a window painting its own text: per character a "processed
// key" down, the character (both halves of a pair outside the BMP), and up.
bool handleInputMethod(TControlPrivate* p, QInputMethodEvent* ie) {
  const QString text = ie->commitString();
  if (text.isEmpty()) return true;
  const HWND h = p->Handle;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t first = char16_t(text.at(i).unicode());
    String character(1, first);
    if (QChar::isHighSurrogate(first) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
      character += char16_t(text.at(++i).unicode());
    const LPARAM down = 1;
    const LPARAM up = 1 | (LPARAM(1) << 30) | (LPARAM(1) << 31);
    TMessage kd{WM_KEYDOWN, 0xE5, down, 0};
    deliver(p, kd);
    if (!IsWindow(h)) return true;
    for (char16_t unit : character) {
      TMessage ch{WM_CHAR, WPARAM(unit), down, 0};
      deliver(p, ch);
      if (!IsWindow(h)) return true;
    }
    TMessage ku{WM_KEYUP, 0xE5, LPARAM(std::int32_t(up)), 0};
    deliver(p, ku);
    if (!IsWindow(h)) return true;
  }
  return true;
}

}  // namespace

TControl* OwningControl(QWidget* w) { return owningControl(w); }

namespace {

// Every control of every window of the program, each window's own control
// first, with the private part that tells whether it still lives.
std::vector<std::shared_ptr<TControlPrivate>> allControls() {
  std::vector<std::shared_ptr<TControlPrivate>> list;
  std::unordered_set<TControl*> seen;
  auto add = [&](TControl* c) {
    if (c && c->Private() && seen.insert(c).second) list.push_back(c->PrivateRef());
  };
  for (QWidget* w : QApplication::topLevelWidgets()) add(controlOf(w));
  for (size_t i = 0; i < list.size(); ++i)
    if (auto* parent = dynamic_cast<TWinControl*>(list[i]->Owner))
      for (int k = 0; k < parent->ControlCount(); ++k) add(parent->Controls(k));
  return list;
}

// The desktop's colours changed (a new theme, or the application's palette
// set anew). The toolkit tells the application object, not the windows:
// every control of every window hears of it here, so that controls that
// draw in those colours make their pictures again.
class PaletteWatcher : public QObject {
public:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::ApplicationPaletteChange || watched != QCoreApplication::instance()) return false;
    // A control's handling may free others (or itself): each is told only
    // while it still lives.
    for (const std::shared_ptr<TControlPrivate>& p : allControls())
      if (TControl* c = p->Owner) c->Perform(CM_SYSCOLORCHANGE, 0, 0);
    return false;
  }
};

}  // namespace

void InstallKeyTracking() {
  static KeyPressWatcher* watcher = nullptr;
  if (watcher || !QCoreApplication::instance()) return;
  watcher = new KeyPressWatcher;
  QCoreApplication::instance()->installEventFilter(watcher);
}

void InstallPaletteTracking() {
  static PaletteWatcher* watcher = nullptr;
  if (watcher || !QCoreApplication::instance()) return;
  watcher = new PaletteWatcher;
  QCoreApplication::instance()->installEventFilter(watcher);
}

int gPaintsUnderWay = 0;

namespace {

// Whether the control goes with a parent (or goes itself): freeing a form
// hides its children's windows one by one, and the toolkit hands the
// focus of a window hidden on to the next one, still there for a moment.
// Such a control takes no more messages from the toolkit.
bool goingAway(const TControl* Control) {
  for (const TControl* c = Control; c; c = c->Parent())
    if (c->ComponentState().Contains(csDestroying)) return true;
  return false;
}

}  // namespace

bool TControlPrivate::HandleEvent(QObject* watched, QEvent* e) {
  if (Bypass || !Owner || goingAway(Owner)) return false;
  auto* wc = dynamic_cast<TWinControl*>(Owner);
  QWidget* src = qobject_cast<QWidget*>(watched);
  if (passedOnFromChild(this, src, e)) return true;
  switch (e->type()) {
    case QEvent::Paint: {
      if (!OwnWidget || watched != Widget) return false;
      ++gPaintsUnderWay;
      struct Done {
        ~Done() { --gPaintsUnderWay; }
      } done;
      paintOwn(this, Widget, static_cast<QPaintEvent*>(e));
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      if (!Owner->Enabled()) return OwnWidget;
      return handleMouse(this, src, static_cast<QMouseEvent*>(e));
    case QEvent::Wheel:
      if (!Owner->Enabled()) return OwnWidget;
      return handleWheel(this, static_cast<QWheelEvent*>(e));
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      return handleKey(this, static_cast<QKeyEvent*>(e));
    case QEvent::InputMethod:
      if (!OwnWidget || watched != Widget || !wc) return false;
      return handleInputMethod(this, static_cast<QInputMethodEvent*>(e));
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
      if (!wc || !Handle || watched != Widget) return false;
      // Losing focus names the window taking it; gaining it names the one
      // that lost it (the toolkit has already moved focus by then).
      static HWND lastLost = nullptr;
      HWND other = e->type() == QEvent::FocusOut ? GetFocus() : (IsWindow(lastLost) ? lastLost : nullptr);
      if (e->type() == QEvent::FocusOut) lastLost = Handle;
      if (other == Handle) other = nullptr;
      TMessage m{e->type() == QEvent::FocusIn ? UINT(WM_SETFOCUS) : UINT(WM_KILLFOCUS),
                 WPARAM(other), 0, 0};
      deliver(this, m);
      return false;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop: {
      if (watched != Widget) return false;
      // A window with a drop target of its own takes the drag's data.
      if (Handle && HandleDropEvent(Handle, e)) return true;
      // Any other drag between windows (from another program or from a
      // drag of this one) reaches the control with no source.
      const QPoint pt = e->type() == QEvent::DragLeave ? Widget->mapFromGlobal(QCursor::pos())
                                                       : static_cast<QDropEvent*>(e)->position().toPoint();
      if (e->type() == QEvent::Drop) {
        static_cast<QDropEvent*>(e)->acceptProposedAction();
        Owner->DragDrop(nullptr, pt.x(), pt.y());
        return true;
      }
      const TDragState state = e->type() == QEvent::DragEnter ? dsDragEnter
                               : e->type() == QEvent::DragLeave ? dsDragLeave
                                                                : dsDragMove;
      bool accept = false;
      Owner->DragOver(nullptr, pt.x(), pt.y(), state, accept);
      if (e->type() != QEvent::DragLeave) {
        auto* d = static_cast<QDragMoveEvent*>(e);
        if (accept)
          d->acceptProposedAction();
        else
          d->ignore();
      }
      return true;
    }
    case QEvent::Enter: {
      if (watched != Widget) return false;
      TMessage m{CM_MOUSEENTER, 0, 0, 0};
      deliver(this, m);
      return false;
    }
    case QEvent::Leave: {
      if (watched != Widget) return false;
      TMessage m{CM_MOUSELEAVE, 0, 0, 0};
      deliver(this, m);
      return false;
    }
    case QEvent::Resize:
      if (watched != Widget) return false;
      if (Handle) {
        if (auto* form = dynamic_cast<TForm*>(Owner); form && Widget->isWindow()) {
          TSize fs = form->FrameSize();
          QSize s = Widget->size();
          if (s.width() + fs.cx != form->Width() || s.height() + fs.cy != form->Height())
            form->TControl::SetBounds(form->Left(), form->Top(), s.width() + fs.cx, s.height() + fs.cy);
        }
        if (!OwnWidget) {
          Handle->Client = {0, 0, Widget->width(), Widget->height()};
          TMessage m{WM_SIZE, SIZE_RESTORED, MAKELPARAM(Widget->width(), Widget->height()), 0};
          deliver(this, m);
        } else {
          UpdateFrame(Handle);
        }
      }
      return false;
    case QEvent::Move:
      if (watched != Widget || !Widget->isWindow()) return false;
      if (auto* form = dynamic_cast<TForm*>(Owner)) {
        // The desktop may shift a window by its frame when it places it;
        // only a real move (the user dragging it) changes Left and Top.
        QRect fg = Widget->frameGeometry();
        int dx = fg.x() - form->Left(), dy = fg.y() - form->Top();
        if (std::abs(dx) > kFrameSlack || std::abs(dy) > kFrameSlack)
          form->TControl::SetBounds(fg.x(), fg.y(), form->Width(), form->Height());
      }
      return false;
    case QEvent::Show:
    case QEvent::Hide: {
      if (watched != Widget || !Handle) return false;
      TMessage m{WM_SHOWWINDOW, e->type() == QEvent::Show ? WPARAM(1) : WPARAM(0), 0, 0};
      deliver(this, m);
      return false;
    }
    case QEvent::ContextMenu: {
      auto* ce = static_cast<QContextMenuEvent*>(e);
      QPoint g = ce->globalPos();
      LPARAM lp = ce->reason() == QContextMenuEvent::Keyboard ? LPARAM(-1) : MAKELPARAM(g.x(), g.y());
      TMessage m{WM_CONTEXTMENU, WPARAM(Handle), lp, 0};
      bool reached = deliver(this, m);
      return OwnWidget || !reached || m.Result != 0;
    }
    case QEvent::ToolTip: {
      auto* he = static_cast<QHelpEvent*>(e);
      QWidget* over = src ? src : Widget.data();
      QPoint local = over->mapTo(Widget, he->pos());
      if (Handle) local -= QPoint(Handle->Client.Left, Handle->Client.Top);
      THintInfo info;
      info.HintControl = Owner;
      info.CursorPos = {local.x(), local.y()};
      info.CursorRect = Owner->ClientRect();
      info.HintStr = Owner->Hint();
      info.HintPos = {he->globalPos().x(), he->globalPos().y() + 20};
      info.HintMaxWidth = Screen ? Screen->Width() : 800;
      info.HintColor = Application ? Application->HintColor() : clInfoBk;
      info.HideTimeout = Application ? Application->HintHidePause() : 2500;
      bool show = Owner->ShowHint() && (!Application || Application->ShowHint());
      if (show) {
        TMessage m{CM_HINTSHOW, 0, LPARAM(&info), 0};
        deliver(this, m);
        show = Owner && m.Result == 0 && !info.HintStr.empty();
      }
      if (show)
        ShowApplicationHint(info, over);
      else
        CancelApplicationHint();
      return true;
    }
    case QEvent::Close: {
      if (watched != Widget || !Widget->isWindow() || !Handle) return false;
      e->ignore();
      // The close box is a system command; its default handling closes.
      TMessage m{WM_SYSCOMMAND, SC_CLOSE, 0, 0};
      deliver(this, m);
      return true;
    }
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate: {
      if (watched != Widget || !Widget->isWindow() || !Handle) return false;
      TMessage m{WM_ACTIVATE, e->type() == QEvent::WindowActivate ? WPARAM(1) : WPARAM(0), 0, 0};
      deliver(this, m);
      return false;
    }
    case QEvent::WindowStateChange: {
      if (watched != Widget || !Widget->isWindow() || !Handle) return false;
      auto* change = static_cast<QWindowStateChangeEvent*>(e);
      bool was = change->oldState() & Qt::WindowMinimized;
      bool now = Widget->isMinimized();
      if (now && !was) {
        // The desktop's minimise button is the window's minimise command;
        // LParam 1 tells that the window is minimised already.
        TMessage c{WM_SYSCOMMAND, SC_MINIMIZE, 1, 0};
        deliver(this, c);
      }
      if (now) {
        TMessage m{WM_SIZE, SIZE_MINIMIZED, 0, 0};
        deliver(this, m);
      }
      // The main window minimised or restored by the desktop minimises or
      // restores the application.
      if (Application && Application->MainForm() == Owner && was != now) Application->NoteMinimized(now);
      return false;
    }
    default:
      return false;
  }
}

void TControlPrivate::PlaceWidget() {
  if (!Widget) return;
  if (Widget->isWindow()) {
    // Forms place their own windows; a control without a parent keeps its
    // size in a window of its own that is never shown.
    if (!dynamic_cast<TForm*>(Owner))
      Widget->setGeometry(Owner->Left(), Owner->Top(), std::max(Owner->Width(), 0), std::max(Owner->Height(), 0));
    return;
  }
  TWinControl* parent = Owner->Parent();
  TPoint origin;
  if (parent && parent->Private() && parent->Private()->Handle) {
    const TRect& c = parent->Private()->Handle->Client;
    origin = {c.Left, c.Top};
  }
  Widget->setGeometry(origin.x + Owner->Left(), origin.y + Owner->Top(), std::max(Owner->Width(), 0),
                      std::max(Owner->Height(), 0));
}

QWidget* ParentWidgetFor(TControl* control) {
  EnsureQtApplication();
  TWinControl* parent = control->Parent();
  if (!parent) return nullptr;
  parent->HandleNeeded();
  return parent->Private() ? parent->Private()->Widget.data() : nullptr;
}

QWidget* CreateOwnWidget(TControl* control) {
  EnsureQtApplication();
  auto* w = new OwnWidget(ParentWidgetFor(control));
  // A windowed control takes text from an input method too (Cyrillic typed
  // through one reaches it as characters).
  if (dynamic_cast<TWinControl*>(control)) w->setAttribute(Qt::WA_InputMethodEnabled, true);
  return w;
}

void AttachWidget(TControl* control, QWidget* widget, bool ownWidget) {
  // The toolkit may have been started by the graphics layer, before any window.
  InstallHintTracking();
  InstallKeyTracking();
  InstallAccessibility();
  TControlPrivate* p = control->Private();
  p->Widget = widget;
  p->OwnWidget = ownWidget;
  widget->setProperty("tamrixControl", QVariant::fromValue<void*>(control));
  if (QWidget* parent = ParentWidgetFor(control); parent && widget->parentWidget() != parent)
    widget->setParent(parent);
  // A control without a parent has a window that is never on screen (it
  // can still be sent messages, measured and painted).
  if (!widget->parentWidget() && !dynamic_cast<TForm*>(control))
    widget->setAttribute(Qt::WA_DontShowOnScreen, true);
  // Drags reach the program's own windows (their DragOver decides).
  if (ownWidget) widget->setAcceptDrops(true);
  if (!ownWidget) {
    widget->installEventFilter(bridge());
    widget->setMouseTracking(true);
    // Inner parts of a stock widget (a combo box's edit, a spin box's
    // field) report to the same control.
    for (QWidget* child : widget->findChildren<QWidget*>()) {
      if (child->property("tamrixControl").isValid()) continue;
      child->setProperty("tamrixControl", QVariant::fromValue<void*>(control));
      child->installEventFilter(bridge());
    }
  }
  if (auto* wc = dynamic_cast<TWinControl*>(control)) {
    p->Handle = RegisterWindow(wc, widget, nullptr);
    p->Handle->Client = {0, 0, control->Width(), control->Height()};
  }
  p->PlaceWidget();
}

UINT VirtualKeyFromQt(int key, unsigned modifiers, bool& extended) {
  extended = false;
  bool keypad = modifiers & Qt::KeypadModifier;
  if (keypad) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return VK_NUMPAD0 + UINT(key - Qt::Key_0);
    switch (key) {
      case Qt::Key_Asterisk: return VK_MULTIPLY;
      case Qt::Key_Plus: return VK_ADD;
      case Qt::Key_Minus: return VK_SUBTRACT;
      case Qt::Key_Slash: extended = true; return VK_DIVIDE;
      case Qt::Key_Period: case Qt::Key_Comma: return VK_DECIMAL;
      case Qt::Key_Enter: extended = true; return VK_RETURN;
      // Keypad keys with Num Lock off act as the navigation keys, not extended.
      case Qt::Key_Home: return VK_HOME;
      case Qt::Key_End: return VK_END;
      case Qt::Key_Left: return VK_LEFT;
      case Qt::Key_Right: return VK_RIGHT;
      case Qt::Key_Up: return VK_UP;
      case Qt::Key_Down: return VK_DOWN;
      case Qt::Key_PageUp: return VK_PRIOR;
      case Qt::Key_PageDown: return VK_NEXT;
      case Qt::Key_Insert: return VK_INSERT;
      case Qt::Key_Delete: return VK_DELETE;
      case Qt::Key_Clear: return VK_CLEAR;
      default: break;
    }
  }
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return UINT('A' + (key - Qt::Key_A));
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return UINT('0' + (key - Qt::Key_0));
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + UINT(key - Qt::Key_F1);
  // The navigation block beside the letters counts as extended.
  auto ext = [&](UINT vk) { extended = true; return vk; };
  switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return: return VK_RETURN;
    case Qt::Key_Enter: return ext(VK_RETURN);
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: case Qt::Key_AltGr: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return ext(VK_PRIOR);
    case Qt::Key_PageDown: return ext(VK_NEXT);
    case Qt::Key_End: return ext(VK_END);
    case Qt::Key_Home: return ext(VK_HOME);
    case Qt::Key_Left: return ext(VK_LEFT);
    case Qt::Key_Up: return ext(VK_UP);
    case Qt::Key_Right: return ext(VK_RIGHT);
    case Qt::Key_Down: return ext(VK_DOWN);
    case Qt::Key_Insert: return ext(VK_INSERT);
    case Qt::Key_Delete: return ext(VK_DELETE);
    case Qt::Key_Print: return VK_SNAPSHOT;
    case Qt::Key_Help: return VK_HELP;
    case Qt::Key_Meta: case Qt::Key_Super_L: return ext(VK_LWIN);
    case Qt::Key_Super_R: return ext(VK_RWIN);
    case Qt::Key_Menu: return ext(VK_APPS);
    case Qt::Key_NumLock: return ext(VK_NUMLOCK);
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_Clear: return VK_CLEAR;
    // Punctuation as it sits on a US keyboard (shifted symbols give the key
    // they are typed with).
    case Qt::Key_Semicolon: case Qt::Key_Colon: return VK_OEM_1;
    case Qt::Key_Equal: case Qt::Key_Plus: return VK_OEM_PLUS;
    case Qt::Key_Comma: case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Minus: case Qt::Key_Underscore: return VK_OEM_MINUS;
    case Qt::Key_Period: case Qt::Key_Greater: return VK_OEM_PERIOD;
    case Qt::Key_Slash: case Qt::Key_Question: return VK_OEM_2;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return VK_OEM_3;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return VK_OEM_4;
    case Qt::Key_Backslash: case Qt::Key_Bar: return VK_OEM_5;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return VK_OEM_6;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return VK_OEM_7;
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_Asterisk: return '8';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    default: break;
  }
  // Letters of other alphabets and the accented letters of Latin layouts
  // (ä, é, ß...): the layout's key has no US name, but it still types a
  // character, so it must arrive as a key-down like any other character key.
  if (key >= 0xA0 && key < 0x10000) return 0xE5;  // "processed key"
  return 0;
}

QCursor CursorShape(TCursor cursor) {
  if (cursor > 0 && Screen) {
    if (HCURSOR h = Screen->Cursors(cursor)) {
      extern QCursor CursorFromHandle(HCURSOR);
      return CursorFromHandle(h);
    }
  }
  switch (cursor) {
    case crNone: return QCursor(Qt::BlankCursor);
    case crCross: return QCursor(Qt::CrossCursor);
    case crIBeam: return QCursor(Qt::IBeamCursor);
    case crSizeNESW: return QCursor(Qt::SizeBDiagCursor);
    case crSizeNS: return QCursor(Qt::SizeVerCursor);
    case crSizeNWSE: return QCursor(Qt::SizeFDiagCursor);
    case crSizeWE: return QCursor(Qt::SizeHorCursor);
    case crUpArrow: return QCursor(Qt::UpArrowCursor);
    case crHourGlass: case crSQLWait: return QCursor(Qt::WaitCursor);
    case crDrag: case crMultiDrag: return QCursor(Qt::DragCopyCursor);
    case crNoDrop: case crNo: return QCursor(Qt::ForbiddenCursor);
    case crHSplit: return QCursor(Qt::SplitHCursor);
    case crVSplit: return QCursor(Qt::SplitVCursor);
    case crAppStart: return QCursor(Qt::BusyCursor);
    case crHelp: return QCursor(Qt::WhatsThisCursor);
    case crHandPoint: return QCursor(Qt::PointingHandCursor);
    case crSizeAll: return QCursor(Qt::SizeAllCursor);
    default: return QCursor(Qt::ArrowCursor);
  }
}
