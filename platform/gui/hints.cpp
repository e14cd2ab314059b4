// Hint windows and the application's hint showing.
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"
#include "platform/gui/hints.h"

THintWindowClass DefaultHintWindowClass() {
  return [](TComponent* owner) { return new THintWindow(owner); };
}

THintWindowClass HintWindowClass = DefaultHintWindowClass();

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
  SetColor(clInfoBk);
  SetVisible(false);
  Font()->SetColor(clInfoText);
}

THintWindow::~THintWindow() = default;

void THintWindow::CreateWnd() {
  TCustomControl::CreateWnd();
  QWidget* w = Private()->Widget;
  if (!w) return;
  w->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
  w->setAttribute(Qt::WA_DontShowOnScreen, false);
  w->setAttribute(Qt::WA_ShowWithoutActivating, true);
  w->setFocusPolicy(Qt::NoFocus);
  Private()->PlaceWidget();
}

TRect THintWindow::CalcHintRect(int MaxWidth, const String& AHint, void*) {
  TRect r{0, 0, std::max(MaxWidth, 1), 0};
  Canvas()->Font()->Assign(*Font());
  Canvas()->TextRectFlags(r, AHint, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  r.Right += 6;
  r.Bottom += 2;
  return r;
}

void THintWindow::ActivateHint(TRect Rect, const String& AHint) {
  SetCaption(AHint);
  // Keep the whole hint on the screen.
  if (Screen) {
    TRect area = Screen->WorkAreaRect();
    if (!area.IsEmpty()) {
      if (Rect.Right > area.Right) OffsetRect(Rect, area.Right - Rect.Right, 0);
      if (Rect.Bottom > area.Bottom) OffsetRect(Rect, 0, area.Bottom - Rect.Bottom);
      if (Rect.Left < area.Left) OffsetRect(Rect, area.Left - Rect.Left, 0);
      if (Rect.Top < area.Top) OffsetRect(Rect, 0, area.Top - Rect.Top);
    }
  }
  SetBoundsRect(Rect);
  HandleNeeded();
  FActive = true;
  TControl::SetVisible(true);
  if (QWidget* w = Private()->Widget) {
    w->show();
    if (!IsHeadless()) w->raise();
  }
  Invalidate();
}

void THintWindow::ActivateHintData(TRect Rect, const String& AHint, void*) { ActivateHint(Rect, AHint); }

bool THintWindow::IsHintMsg(const TMessage& Msg) {
  return (Msg.Msg >= WM_KEYFIRST && Msg.Msg <= WM_KEYLAST) ||
         (Msg.Msg >= WM_LBUTTONDOWN && Msg.Msg <= WM_MOUSELAST) || Msg.Msg == WM_NCLBUTTONDOWN ||
         Msg.Msg == WM_ACTIVATE || Msg.Msg == WM_CANCELMODE;
}

void THintWindow::ReleaseHandle() {
  FActive = false;
  TControl::SetVisible(false);
}

void THintWindow::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  c->Brush()->SetColor(clBlack);
  c->FrameRect(r);
  InflateRect(r, -3, -1);
  c->Brush()->SetStyle(bsClear);
  c->Font()->Assign(*Font());
  c->TextRectFlags(r, Caption(), DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

// ---- the application's hint ---------------------------------------------------
namespace {

THintWindow* gHintWindow = nullptr;
QPointer<QWidget> gHintOver;  // the widget the hint belongs to
TRect gHintCursorRect;        // screen coordinates
int gHintGeneration = 0;

void releaseHint() {
  if (gHintWindow) gHintWindow->ReleaseHandle();
  gHintOver = nullptr;
  ++gHintGeneration;
}

// Ends the hint on the input that ends hints: clicks, keys, the wheel, and
// the mouse leaving the hint's rectangle.
class HintWatcher : public QObject {
public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (!gHintWindow || !gHintWindow->Active()) return false;
    TMessage m{};
    switch (e->type()) {
      case QEvent::MouseMove: {
        QPoint g = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
        if (!gHintCursorRect.Contains({g.x(), g.y()})) releaseHint();
        return false;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: m.Msg = WM_LBUTTONDOWN; break;
      case QEvent::Wheel: m.Msg = WM_MOUSEWHEEL; break;
      case QEvent::KeyPress: m.Msg = WM_KEYDOWN; break;
      case QEvent::ApplicationDeactivate: m.Msg = WM_ACTIVATE; break;
      default: return false;
    }
    if (gHintWindow->IsHintMsg(m)) releaseHint();
    return false;
  }
};

}  // namespace

void ShowApplicationHint(THintInfo& info, QWidget* over) {
  if (!Application) return;
  THintWindowClass make = info.HintWindowClass ? info.HintWindowClass : HintWindowClass;
  if (!make) make = DefaultHintWindowClass();
  // A control may ask for its own kind of window each time.
  delete gHintWindow;
  gHintWindow = make(Application);
  if (!gHintWindow) return;
  static HintWatcher* watcher = nullptr;
  if (!watcher) {
    watcher = new HintWatcher;
    QCoreApplication::instance()->installEventFilter(watcher);
  }
  gHintWindow->SetColor(info.HintColor);
  TRect r = gHintWindow->CalcHintRect(info.HintMaxWidth, info.HintStr, info.HintData);
  OffsetRect(r, info.HintPos.x, info.HintPos.y);
  gHintOver = over;
  TPoint origin = info.HintControl ? info.HintControl->ClientOrigin() : TPoint{};
  gHintCursorRect = info.CursorRect;
  OffsetRect(gHintCursorRect, origin.x, origin.y);
  gHintWindow->ActivateHintData(r, info.HintStr, info.HintData);
  int generation = ++gHintGeneration;
  if (info.HideTimeout > 0)
    QTimer::singleShot(info.HideTimeout, gHintWindow->Private()->Widget.data(), [generation] {
      if (generation == gHintGeneration) releaseHint();
    });
}

void CancelApplicationHint() { releaseHint(); }

THintWindow* ApplicationHintWindow() { return gHintWindow && gHintWindow->Active() ? gHintWindow : nullptr; }
