// Scripted input and window capture.
#include <QApplication>
#include <QBackingStore>
#include <memory>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QImage>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QThread>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include "platform/gui/gui_private.h"
#include "platform/gui/testing.h"

namespace {

Qt::KeyboardModifiers modifiersOf(TShiftState s) {
  Qt::KeyboardModifiers m;
  if (s.Contains(ssShift)) m |= Qt::ShiftModifier;
  if (s.Contains(ssCtrl)) m |= Qt::ControlModifier;
  if (s.Contains(ssAlt)) m |= Qt::AltModifier;
  return m;
}

Qt::MouseButton buttonOf(TMouseButton b) {
  return b == mbRight ? Qt::RightButton : b == mbMiddle ? Qt::MiddleButton : Qt::LeftButton;
}

Qt::MouseButtons heldOf(TShiftState s) {
  Qt::MouseButtons b;
  if (s.Contains(ssLeft)) b |= Qt::LeftButton;
  if (s.Contains(ssRight)) b |= Qt::RightButton;
  if (s.Contains(ssMiddle)) b |= Qt::MiddleButton;
  return b;
}

// The toolkit key a keyboard reports for a virtual key.
int toolkitKey(UINT vk, TShiftState shift, bool keypad) {
  if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + int(vk - 'A');
  if (vk >= '0' && vk <= '9') return Qt::Key_0 + int(vk - '0');
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return Qt::Key_0 + int(vk - VK_NUMPAD0);
  if (vk >= VK_F1 && vk <= VK_F24) return Qt::Key_F1 + int(vk - VK_F1);
  switch (vk) {
    case VK_BACK: return Qt::Key_Backspace;
    case VK_TAB: return shift.Contains(ssShift) ? Qt::Key_Backtab : Qt::Key_Tab;
    case VK_RETURN: return keypad ? Qt::Key_Enter : Qt::Key_Return;
    case VK_SHIFT: return Qt::Key_Shift;
    case VK_CONTROL: return Qt::Key_Control;
    case VK_MENU: return Qt::Key_Alt;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_SPACE: return Qt::Key_Space;
    case VK_PRIOR: return Qt::Key_PageUp;
    case VK_NEXT: return Qt::Key_PageDown;
    case VK_END: return Qt::Key_End;
    case VK_HOME: return Qt::Key_Home;
    case VK_LEFT: return Qt::Key_Left;
    case VK_UP: return Qt::Key_Up;
    case VK_RIGHT: return Qt::Key_Right;
    case VK_DOWN: return Qt::Key_Down;
    case VK_INSERT: return Qt::Key_Insert;
    case VK_DELETE: return Qt::Key_Delete;
    case VK_APPS: return Qt::Key_Menu;
    case VK_MULTIPLY: return Qt::Key_Asterisk;
    case VK_ADD: return Qt::Key_Plus;
    case VK_SUBTRACT: return Qt::Key_Minus;
    case VK_DIVIDE: return Qt::Key_Slash;
    case VK_DECIMAL: return Qt::Key_Period;
    case VK_OEM_PLUS: return shift.Contains(ssShift) ? Qt::Key_Plus : Qt::Key_Equal;
    case VK_OEM_MINUS: return shift.Contains(ssShift) ? Qt::Key_Underscore : Qt::Key_Minus;
    case VK_OEM_COMMA: return Qt::Key_Comma;
    case VK_OEM_PERIOD: return Qt::Key_Period;
    case VK_OEM_2: return Qt::Key_Slash;
    default: return 0;
  }
}

bool isKeypadKey(UINT vk) {
  return (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE);
}

QWidget* widgetOf(HWND w) { return IsWindow(w) ? w->Widget.data() : nullptr; }

// The widget that took the last press (it gets the moves and the release).
QPointer<QWidget> gMouseTarget;

}  // namespace

bool InjectDrag(HWND Wnd, TInjectedDrag Kind, TPoint ClientPoint, const String& Text) {
  QWidget* w = widgetOf(Wnd);
  if (!w) return false;
  const QPoint local(ClientPoint.x + Wnd->Client.Left, ClientPoint.y + Wnd->Client.Top);
  QMimeData data;
  data.setText(QString::fromUtf16(Text.data(), qsizetype(Text.size())));
  if (Kind == idLeave) {
    QDragLeaveEvent e;
    QApplication::sendEvent(w, &e);
    return false;
  }
  if (Kind == idDrop) {
    QDropEvent e(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
    return e.isAccepted();
  }
  if (Kind == idEnter) {
    QDragEnterEvent e(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
    return e.isAccepted();
  }
  QDragMoveEvent e(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
  return e.isAccepted();
}

void InjectMouse(HWND Wnd, TInjectedMouse Kind, TMouseButton Button, TPoint ClientPoint, TShiftState Shift,
                 TShiftState Held) {
  QWidget* w = widgetOf(Wnd);
  if (!w) return;
  QPointF local(ClientPoint.x + Wnd->Client.Left, ClientPoint.y + Wnd->Client.Top);
  QPointF global = w->mapToGlobal(local);
  // The window system gives the event to the innermost widget at the point
  // (a frame scroll bar, a child control), unless a button is held, when
  // the widget that took the press keeps the mouse.
  if (Kind == imDown || Kind == imDoubleClick || (Kind == imMove && Held.Empty())) {
    if (QWidget* child = w->childAt(local.toPoint())) {
      local = child->mapFrom(w, local.toPoint());
      w = child;
    }
    gMouseTarget = w;
  } else if (gMouseTarget && (Kind == imUp || Kind == imMove)) {
    local = gMouseTarget->mapFromGlobal(global.toPoint());
    w = gMouseTarget;
  }
  QEvent::Type type = Kind == imDown ? QEvent::MouseButtonPress
                      : Kind == imUp ? QEvent::MouseButtonRelease
                      : Kind == imDoubleClick ? QEvent::MouseButtonDblClick
                                              : QEvent::MouseMove;
  Qt::MouseButton button = Kind == imMove ? Qt::NoButton : buttonOf(Button);
  Qt::MouseButtons buttons = heldOf(Held);
  if (Kind == imDown || Kind == imDoubleClick) buttons |= button;
  if (Kind == imUp) buttons &= ~Qt::MouseButtons(button);
  QMouseEvent e(type, local, global, button, buttons, modifiersOf(Shift));
  QApplication::sendEvent(w, &e);
}

void InjectMouse(TControl* Control, TInjectedMouse Kind, TMouseButton Button, TPoint Point, TShiftState Shift) {
  QWidget* w = Control && Control->Private() ? Control->Private()->Widget.data() : nullptr;
  if (!w) return;
  QPointF local(Point.x, Point.y);
  QEvent::Type type = Kind == imDown ? QEvent::MouseButtonPress
                      : Kind == imUp ? QEvent::MouseButtonRelease
                      : Kind == imDoubleClick ? QEvent::MouseButtonDblClick
                                              : QEvent::MouseMove;
  Qt::MouseButton button = Kind == imMove ? Qt::NoButton : buttonOf(Button);
  Qt::MouseButtons buttons = (Kind == imDown || Kind == imDoubleClick) ? Qt::MouseButtons(button) : Qt::NoButton;
  QMouseEvent e(type, local, w->mapToGlobal(local), button, buttons, modifiersOf(Shift));
  QApplication::sendEvent(w, &e);
}

void InjectWheel(HWND Wnd, TPoint ClientPoint, int Delta, TShiftState Shift, bool Horizontal) {
  QWidget* w = widgetOf(Wnd);
  if (!w) return;
  QPointF local(ClientPoint.x + Wnd->Client.Left, ClientPoint.y + Wnd->Client.Top);
  QPoint angle = Horizontal ? QPoint(-Delta, 0) : QPoint(0, Delta);
  QWheelEvent e(local, w->mapToGlobal(local), QPoint(), angle, heldOf(Shift), modifiersOf(Shift),
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

void InjectKey(HWND Wnd, UINT VirtKey, TShiftState Shift, const String& Text, bool Release, bool Keypad,
               bool AutoRepeat) {
  QWidget* w = widgetOf(Wnd);
  if (!w) return;
  bool keypad = Keypad || isKeypadKey(VirtKey);
  Qt::KeyboardModifiers mods = modifiersOf(Shift);
  if (keypad) mods |= Qt::KeypadModifier;
  QString text = QString::fromUtf16(Text.data(), qsizetype(Text.size()));
  int key = toolkitKey(VirtKey, Shift, keypad);
  // A key of another layout is reported as the upper-case character it types.
  if (VirtKey == 0 && !text.isEmpty()) key = int(text.toUpper().at(0).unicode());
  QKeyEvent e(Release ? QEvent::KeyRelease : QEvent::KeyPress, key, mods, text, AutoRepeat);
  QApplication::sendEvent(w, &e);
}

void InjectKeyStroke(HWND Wnd, UINT VirtKey, TShiftState Shift, const String& Text, bool Keypad) {
  InjectKey(Wnd, VirtKey, Shift, Text, false, Keypad);
  InjectKey(Wnd, VirtKey, Shift, Text, true, Keypad);
}

void InjectFocus(HWND Wnd) {
  QWidget* w = widgetOf(Wnd);
  if (!w) return;
  QApplication::setActiveWindow(w->window());
  w->setFocus(Qt::OtherFocusReason);
}

void InjectDeactivate() {
  QApplication::setActiveWindow(nullptr);
  // What the toolkit says once no window of the program has the keyboard.
  QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
  QCoreApplication::sendEvent(qApp, &inactive);
}

bool ChooseShownMenuItem(int Index) {
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  if (!menu || !menu->isVisible()) return false;
  int n = 0;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator() || !a->isVisible()) continue;
    if (n++ != Index) continue;
    menu->setActiveAction(a);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(menu, &press);
    return true;
  }
  return false;
}

bool WaitExposed(HWND Wnd, int TimeoutMs) {
  QPointer<QWidget> w = widgetOf(Wnd);
  if (!w) return false;
  const std::uint64_t serial = Wnd->Serial;
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // A handler run by the events may have destroyed the window.
    if (!w || !IsLiveWindow(Wnd, serial)) return false;
    // What the parent cuts off is never painted, so it is not waited for.
    const QWindow* top = w->window()->windowHandle();
    if (top && top->isExposed() && w->isVisible() && (Wnd->Pending & w->visibleRegion()).isEmpty()) return true;
    if (clock.elapsed() > TimeoutMs) return false;
    QThread::msleep(2);
  }
}

void InjectInputMethodText(HWND Wnd, const String& Text) {
  QWidget* w = widgetOf(Wnd);
  if (!w) return;
  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf16(Text.data(), qsizetype(Text.size())));
  QCoreApplication::sendEvent(w, &commit);
}

bool GrabWindow(TWinControl* Control, std::vector<std::uint32_t>& Pixels, int& Width, int& Height) {
  if (!Control) return false;
  Control->HandleNeeded();
  QWidget* w = Control->Private()->Widget;
  if (!w) return false;
  QImage img = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  Width = img.width();
  Height = img.height();
  Pixels.resize(size_t(Width) * size_t(Height));
  for (int y = 0; y < Height; ++y) {
    auto* row = reinterpret_cast<const std::uint32_t*>(img.constScanLine(y));
    std::copy(row, row + Width, Pixels.begin() + std::ptrdiff_t(y) * Width);
  }
  return true;
}

bool SaveWindowImage(TWinControl* Control, const String& FileName) {
  if (!Control) return false;
  Control->HandleNeeded();
  QWidget* w = Control->Private()->Widget;
  if (!w) return false;
  return w->grab().save(QString::fromUtf16(FileName.data(), qsizetype(FileName.size())), "PNG");
}

void InjectHintRequest(TControl* Control, TPoint ClientPoint) {
  QWidget* w = Control && Control->Private() ? Control->Private()->Widget.data() : nullptr;
  if (!w) return;
  QPoint local(ClientPoint.x, ClientPoint.y);
  if (HWND h = Control->Private()->Handle) local += QPoint(h->Client.Left, h->Client.Top);
  SendHintRequest(w, local);
}

void InjectEnterLeave(TControl* Control, bool Enter) {
  QWidget* w = Control && Control->Private() ? Control->Private()->Widget.data() : nullptr;
  if (!w) return;
  if (Enter) {
    QPointF local(1, 1);
    QEnterEvent e(local, local, w->mapToGlobal(local));
    QApplication::sendEvent(w, &e);
  } else {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
  }
}

namespace {
std::unique_ptr<QPalette>& desktopPalette() {
  static std::unique_ptr<QPalette> saved;
  return saved;
}
}  // namespace

void ChangeDesktopColours(TColor Window) {
  if (!desktopPalette()) desktopPalette() = std::make_unique<QPalette>(QApplication::palette());
  QPalette p = QApplication::palette();
  const auto rgb = std::uint32_t(Window);
  p.setColor(QPalette::Window, QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF)));
  QApplication::setPalette(p);
}

void RestoreDesktopColours() {
  if (!desktopPalette()) return;
  QApplication::setPalette(*desktopPalette());
  desktopPalette().reset();
}


int ToolkitWindowCount() { return int(QApplication::allWidgets().size()); }

String ToolkitText(const char* Context, const char* Text) {
  EnsureQtApplication();
  const QString t = QCoreApplication::translate(Context, Text);
  return String(reinterpret_cast<const char16_t*>(t.utf16()), size_t(t.size()));
}

namespace {

class TShownPixelsWatch : public QObject {
public:
  QPointer<QWidget> Widget;
  TShownPixels Shown;
  std::vector<std::uint32_t> Last;
  int LastWidth = -1, LastHeight = -1;

  void Check() {
    QWidget* w = Widget.data();
    if (!w || !Shown) return;
    QBackingStore* store = w->window()->backingStore();
    QPaintDevice* device = store ? store->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image) return;
    const QImage& image = *static_cast<QImage*>(device);
    const qreal ratio = image.devicePixelRatio();
    const QPoint at = w->mapTo(w->window(), QPoint(0, 0)) * ratio;
    const QImage part = image.copy(QRect(at, w->size() * ratio)).convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint32_t> pixels(size_t(part.width()) * size_t(part.height()));
    for (int y = 0; y < part.height(); ++y) {
      auto* row = reinterpret_cast<const std::uint32_t*>(part.constScanLine(y));
      std::copy(row, row + part.width(), pixels.begin() + std::ptrdiff_t(y) * part.width());
    }
    if (pixels == Last && part.width() == LastWidth && part.height() == LastHeight) return;
    Last = std::move(pixels);
    LastWidth = part.width();
    LastHeight = part.height();
    Shown(Last, LastWidth, LastHeight);
  }

protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    // A repaint of the window paints into what it shows and hands it on as
    // a whole: before it, the window shows what the last one left.
    QWidget* w = Widget.data();
    if (event->type() == QEvent::UpdateRequest && w && (object == w->window() || object == w->window()->windowHandle()))
      Check();
    return false;
  }
};

TShownPixelsWatch*& shownPixelsWatch() {
  static TShownPixelsWatch* watch = nullptr;
  return watch;
}

}  // namespace

void WatchShownPixels(TWinControl* Control, TShownPixels Shown) {
  TShownPixelsWatch*& watch = shownPixelsWatch();
  delete watch;
  watch = nullptr;
  if (!Control) return;
  Control->HandleNeeded();
  QWidget* w = Control->Private()->Widget;
  if (!w) return;
  watch = new TShownPixelsWatch;
  watch->Widget = w;
  watch->Shown = std::move(Shown);
  qApp->installEventFilter(watch);
  watch->Check();
}

void CheckShownPixels() {
  if (TShownPixelsWatch* watch = shownPixelsWatch()) watch->Check();
}
