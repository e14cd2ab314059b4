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
#include "platform/gui/testing.h"

THintWindowClass DefaultHintWindowClass() {
  return [](TComponent* owner) { return new THintWindow(owner); };
}

THintWindowClass HintWindowClass = DefaultHintWindowClass();

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
  SetColor(clInfoBk);
  SetVisible(false);
  if (Screen) Font()->Assign(*Screen->HintFont());
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
// The mouse resting on a control for the hint pause (its CM_HINTSHOWPAUSE
// may change it) makes the hint request; the hint then stays until a click,
// a key, the wheel or the mouse leaving its cursor rectangle ends it, or its
// hide pause runs out. A control may ask to be asked again after a while
// (the reshow timeout). The toolkit's own tool-tip timing is not used.
namespace {

THintWindow* gHintWindow = nullptr;
QPointer<QWidget> gHintOver;  // the widget the hint belongs to
TRect gHintCursorRect;        // screen coordinates
int gHintGeneration = 0;
bool gOwnRequest = false;

// One timer: the pause before a request, or the reshow time of a hint.
QTimer* gHintTimer = nullptr;
QPointer<QWidget> gRequestWidget;
QPoint gRequestLocal;
// The last mouse position handled: a move passed on to parent widgets
// arrives again and must not restart the pause.
QPoint gLastMove(-1, -1);

void releaseHint() {
  if (gHintWindow) gHintWindow->ReleaseHandle();
  gHintOver = nullptr;
  ++gHintGeneration;
}

void fireHintTimer() {
  if (gHintTimer) gHintTimer->stop();
  QWidget* w = gRequestWidget;
  if (w) SendHintRequest(w, gRequestLocal);
}

QTimer& hintTimer() {
  if (!gHintTimer) {
    gHintTimer = new QTimer(QCoreApplication::instance());
    gHintTimer->setSingleShot(true);
    QObject::connect(gHintTimer, &QTimer::timeout, gHintTimer, [] { fireHintTimer(); });
  }
  return *gHintTimer;
}

void stopHintTimer() {
  if (gHintTimer) gHintTimer->stop();
  gRequestWidget = nullptr;
}

bool hintShowing() { return gHintWindow && gHintWindow->Active(); }

// The mouse moved to a point of w: a new hint is due after the pause.
void mouseRests(QWidget* w, QPoint global, bool hintWasShowing) {
  if (!Application || !Application->ShowHint()) return;
  TControl* c = OwningControl(w);
  if (!c || !c->ShowHint()) {
    stopHintTimer();
    return;
  }
  int pause = hintWasShowing ? Application->HintShortPause() : Application->HintPause();
  c->Perform(CM_HINTSHOWPAUSE, WPARAM(hintWasShowing), LPARAM(&pause));
  gRequestWidget = w;
  gRequestLocal = w->mapFromGlobal(global);
  hintTimer().start(std::max(pause, 0));
}

// Ends the hint on the input that ends hints: clicks, keys, the wheel, and
// the mouse leaving the hint's rectangle; starts the pause on each move.
class HintWatcher : public QObject {
public:
  bool eventFilter(QObject* watched, QEvent* e) override {
    TMessage m{};
    switch (e->type()) {
      case QEvent::ToolTip:
        // Requests come from our own timer (and tests), not the toolkit's.
        return !gOwnRequest;
      case QEvent::MouseMove: {
        auto* w = qobject_cast<QWidget*>(watched);
        QPoint g = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
        if (!w || g == gLastMove || static_cast<QMouseEvent*>(e)->buttons() != Qt::NoButton) return false;
        gLastMove = g;
        const bool showing = hintShowing();
        if (showing && gHintCursorRect.Contains({g.x(), g.y()})) return false;
        if (showing) releaseHint();
        mouseRests(w, g, showing);
        return false;
      }
      case QEvent::Leave:
        if (watched == gRequestWidget.data()) stopHintTimer();
        return false;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: m.Msg = WM_LBUTTONDOWN; break;
      case QEvent::Wheel: m.Msg = WM_MOUSEWHEEL; break;
      case QEvent::KeyPress: m.Msg = WM_KEYDOWN; break;
      case QEvent::ApplicationDeactivate: m.Msg = WM_ACTIVATE; break;
      default: return false;
    }
    if (m.Msg != WM_KEYDOWN) stopHintTimer();
    if (hintShowing() && gHintWindow->IsHintMsg(m)) releaseHint();
    return false;
  }
};

}  // namespace

void InstallHintTracking() {
  static HintWatcher* watcher = nullptr;
  if (watcher || !QCoreApplication::instance()) return;
  watcher = new HintWatcher;
  QCoreApplication::instance()->installEventFilter(watcher);
}

void SendHintRequest(QWidget* w, QPoint local) {
  if (!w) return;
  QPointer<QWidget> keep(w);
  gOwnRequest = true;
  QHelpEvent e(QEvent::ToolTip, local, w->mapToGlobal(local));
  QApplication::sendEvent(w, &e);
  gOwnRequest = false;
}

void ShowApplicationHint(THintInfo& info, QWidget* over) {
  if (!Application) return;
  InstallHintTracking();
  THintWindowClass make = info.HintWindowClass ? info.HintWindowClass : HintWindowClass;
  if (!make) make = DefaultHintWindowClass();
  // A control may ask for its own kind of window each time.
  delete gHintWindow;
  gHintWindow = make(Application);
  if (!gHintWindow) return;
  gHintWindow->SetColor(info.HintColor);
  // Measuring asks the control for its hint, and the owner's handler may
  // free the control: then there is no hint to show.
  const std::shared_ptr<const TControlPrivate> control = info.HintControl ? info.HintControl->PrivateRef() : nullptr;
  TRect r = gHintWindow->CalcHintRect(info.HintMaxWidth, info.HintStr, info.HintData);
  if (control && !control->Owner) {
    CancelApplicationHint();
    return;
  }
  OffsetRect(r, info.HintPos.x, info.HintPos.y);
  gHintOver = over;
  TPoint origin = info.HintControl ? info.HintControl->ClientOrigin() : TPoint{};
  gHintCursorRect = info.CursorRect;
  OffsetRect(gHintCursorRect, origin.x, origin.y);
  int generation = ++gHintGeneration;
  THintWindow* window = gHintWindow;
  window->ActivateHintData(r, info.HintStr, info.HintData);
  // Showing may have animated, and the events handled meanwhile may have
  // replaced or ended this hint.
  if (generation != gHintGeneration || window != gHintWindow || !window->Active()) return;
  if (info.HideTimeout > 0 && window->Private()->Widget)
    QTimer::singleShot(info.HideTimeout, window->Private()->Widget.data(), [generation] {
      if (generation == gHintGeneration) releaseHint();
    });
  if (info.ReshowTimeout > 0 && over) {
    gRequestWidget = over;
    gRequestLocal = over->mapFromGlobal(QPoint(info.CursorPos.x + origin.x, info.CursorPos.y + origin.y));
    hintTimer().start(info.ReshowTimeout);
  }
}

void CancelApplicationHint() {
  releaseHint();
  if (gHintTimer) gHintTimer->stop();
}

THintWindow* ApplicationHintWindow() { return gHintWindow && gHintWindow->Active() ? gHintWindow : nullptr; }

bool ToolTipAnimation(bool& Fade) {
  Fade = false;
  if (!QCoreApplication::instance()) return false;
  if (!QApplication::isEffectEnabled(Qt::UI_AnimateTooltip)) return false;
  Fade = QApplication::isEffectEnabled(Qt::UI_FadeTooltip);
  return true;
}

bool HintTimerPending(int& Pause) {
  if (!gHintTimer || !gHintTimer->isActive()) return false;
  Pause = gHintTimer->interval();
  return true;
}

void FireHintTimer() {
  if (gHintTimer && gHintTimer->isActive()) fireHintTimer();
}
