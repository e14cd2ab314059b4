// Pop-up tool windows over Qt: a frameless top-level widget that never takes
// the focus, with a mask as its region.
#include "platform/gui/popup_window.h"

#include <QPainter>
#include <QPaintEvent>
#include <QRegion>
#include <QWidget>

#include <map>

#include "platform/graphics/canvas_qt.h"
#include "platform/gui/gui_private.h"

namespace {

std::map<String, TWndMethod>& classes() {
  static std::map<String, TWndMethod> m;
  return m;
}

class PopupWidget : public QWidget {
public:
  PopupWidget(QWidget* owner, String className)
      // A tool-tip kind of window: the window system never activates it.
      : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
        ClassName(std::move(className)) {
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setFocusPolicy(Qt::NoFocus);
  }
  HWND Handle = nullptr;
  String ClassName;
  std::vector<TRect> Region;

protected:
  void paintEvent(QPaintEvent*) override {
    if (!Handle || !IsWindow(Handle)) return;
    QPainter painter(this);
    HDC dc = CreatePainterDC(painter);
    const std::uint64_t serial = Handle->Serial;
    Handle->Painter = &painter;
    Handle->PaintDC = dc;
    SendMessage(Handle, WM_PAINT, WPARAM(dc), 0);
    if (IsLiveWindow(Handle, serial)) {
      Handle->Painter = nullptr;
      Handle->PaintDC = nullptr;
    }
    ReleasePainterDC(dc);
  }
};

PopupWidget* popupOf(HWND Wnd) {
  if (!IsWindow(Wnd) || Wnd->Control || !Wnd->Widget) return nullptr;
  return dynamic_cast<PopupWidget*>(Wnd->Widget.data());
}

}  // namespace

bool RegisterWindowClass(const String& ClassName, TWndMethod WndProc) {
  if (ClassName.empty()) return false;
  classes()[ClassName] = std::move(WndProc);
  return true;
}

bool UnregisterWindowClass(const String& ClassName) { return classes().erase(ClassName) != 0; }

bool GetWindowClassProc(const String& ClassName, TWndMethod* WndProc) {
  auto it = classes().find(ClassName);
  if (it == classes().end()) return false;
  if (WndProc) *WndProc = it->second;
  return true;
}

HWND CreatePopupToolWindow(const String& ClassName, HWND Owner, const TRect& Bounds) {
  auto it = classes().find(ClassName);
  if (it == classes().end()) return nullptr;
  EnsureQtApplication();
  QWidget* owner = IsWindow(Owner) && Owner->Widget ? Owner->Widget->window() : nullptr;
  auto* w = new PopupWidget(owner, ClassName);
  w->setGeometry(Bounds.Left, Bounds.Top, Bounds.Width(), Bounds.Height());
  TWndMethod proc = it->second;
  HWND h = RegisterWindow(nullptr, w, [proc](TMessage& m) {
    if (proc) proc(m);
  });
  h->Style = WS_POPUP;
  h->ExStyle = WS_EX_TOOLWINDOW;
  h->Client = {0, 0, Bounds.Width(), Bounds.Height()};
  w->Handle = h;
  return h;
}

bool DestroyWindow(HWND Wnd) {
  PopupWidget* w = popupOf(Wnd);
  if (!w) return false;
  SendMessage(Wnd, WM_DESTROY, 0, 0);
  UnregisterWindow(Wnd);
  w->Handle = nullptr;
  w->hide();
  w->deleteLater();
  return true;
}

String GetClassName(HWND Wnd) {
  PopupWidget* w = popupOf(Wnd);
  return w ? w->ClassName : String();
}

int SetWindowRgn(HWND Wnd, HRGN Region, bool Redraw) {
  PopupWidget* w = popupOf(Wnd);
  if (!w) {
    if (Region) DeleteObject(Region);
    return 0;
  }
  w->Region.clear();
  if (Region) {
    GetRegionRects(Region, &w->Region);
    DeleteObject(Region);
    QRegion mask;
    for (const TRect& r : w->Region) mask += QRect(r.Left, r.Top, r.Width(), r.Height());
    w->setMask(mask);
  } else {
    w->clearMask();
  }
  if (Redraw) w->update();
  return 1;
}

std::vector<TRect> GetWindowRgnRects(HWND Wnd) {
  PopupWidget* w = popupOf(Wnd);
  return w ? w->Region : std::vector<TRect>{};
}

bool ShowPopupWindow(HWND Wnd, int CmdShow) {
  PopupWidget* w = popupOf(Wnd);
  if (!w) return false;
  const bool was = w->isVisible();
  if (CmdShow == SW_HIDE)
    w->hide();
  else
    w->show();
  return was;
}
