// The non-client frame of a window: its client rectangle, the default
// border, and the standard scroll bars that live in it. The bars are real Qt
// scroll bars placed in the frame; using them sends WM_VSCROLL / WM_HSCROLL
// with the usual codes, and they only move when the program sets a new
// position, as the program expects.
#include <QAbstractSlider>
#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

#include "platform/graphics/canvas_qt.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/gui_private.h"

namespace {

int maxPos(const TScrollInfo& i) {
  return std::max(i.nMin, i.nMax - std::max(int(i.nPage) - 1, 0));
}

void clampPos(TScrollInfo& i) { i.nPos = std::clamp(i.nPos, i.nMin, maxPos(i)); }

UINT scrollMessage(int bar) { return bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL; }

void sendScroll(HWND wnd, int bar, int code, int pos) {
  SendMessage(wnd, scrollMessage(bar), MAKEWPARAM(code, pos), 0);
}

void syncBar(HWND wnd, int bar);

// Routes a frame scroll bar's mouse input: the press tells the window (as a
// non-client click), the release ends the scroll, the wheel belongs to the
// window.
class BarFilter : public QObject {
public:
  BarFilter(HWND wnd, int bar, QObject* parent) : QObject(parent), FWnd(wnd), FSerial(wnd->Serial), FBar(bar) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (!IsLiveWindow(FWnd, FSerial)) return false;
    TFrameScrollBar& b = FWnd->Bars[FBar];
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(e);
        QPoint g = me->globalPosition().toPoint();
        gLastMessagePos = {g.x(), g.y()};
        UINT msg = me->button() == Qt::RightButton ? WM_NCRBUTTONDOWN
                   : me->button() == Qt::MiddleButton ? WM_NCMBUTTONDOWN
                                                      : WM_NCLBUTTONDOWN;
        SendMessage(FWnd, msg, FBar == SB_VERT ? HTVSCROLL : HTHSCROLL, MAKELPARAM(g.x(), g.y()));
        if (!IsLiveWindow(FWnd, FSerial)) return true;
        if (me->button() != Qt::LeftButton) return true;
        b.Pressed = true;
        return false;
      }
      case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() != Qt::LeftButton || !b.Pressed) return me->button() != Qt::LeftButton;
        b.Pressed = false;
        if (b.Tracking) {
          // The drop position stays readable as the track position while
          // the program handles it.
          sendScroll(FWnd, FBar, SB_THUMBPOSITION, b.Info.nTrackPos);
          if (IsLiveWindow(FWnd, FSerial)) b.Tracking = false;
        }
        if (IsLiveWindow(FWnd, FSerial)) sendScroll(FWnd, FBar, SB_ENDSCROLL, 0);
        if (IsLiveWindow(FWnd, FSerial)) {
          // Let the bar finish its own press handling, then show the
          // position the program settled on.
          QTimer::singleShot(0, b.Bar, [w = FWnd, s = FSerial, bar = FBar] {
            if (IsLiveWindow(w, s)) syncBar(w, bar);
          });
        }
        return false;
      }
      case QEvent::Wheel: {
        auto* we = static_cast<QWheelEvent*>(e);
        QPoint g = we->globalPosition().toPoint();
        int delta = FBar == SB_VERT || we->angleDelta().x() == 0 ? we->angleDelta().y()
                                                                 : we->angleDelta().x();
        unsigned keys = 0;
        if (we->modifiers() & Qt::ShiftModifier) keys |= MK_SHIFT;
        if (we->modifiers() & Qt::ControlModifier) keys |= MK_CONTROL;
        SendMessage(FWnd, WM_MOUSEWHEEL, MAKEWPARAM(int(keys), delta), MAKELPARAM(g.x(), g.y()));
        return true;
      }
      default: return false;
    }
  }

private:
  HWND FWnd;
  std::uint64_t FSerial;
  int FBar;
};

void onAction(HWND wnd, std::uint64_t serial, int bar, int action) {
  if (!IsLiveWindow(wnd, serial)) return;
  TFrameScrollBar& b = wnd->Bars[bar];
  QScrollBar* q = b.Bar;
  int code = -1;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
    case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
    case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
    case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
    case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
    case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
    // Thumb drags are reported through sliderMoved; the move the bar makes
    // on release is its own bookkeeping.
    default: return;
  }
  sendScroll(wnd, bar, code, 0);
  if (!IsLiveWindow(wnd, serial)) return;
  // The bar shows only what the program set in answer.
  q->setSliderPosition(wnd->Bars[bar].Info.nPos);
}

QScrollBar* ensureBar(HWND wnd, int bar) {
  TFrameScrollBar& b = wnd->Bars[bar];
  if (b.Bar || !wnd->Widget) return b.Bar;
  auto* q = new QScrollBar(bar == SB_VERT ? Qt::Vertical : Qt::Horizontal, wnd->Widget);
  q->setStyle(ScrollBarStyle());
  q->setTracking(false);
  q->setFocusPolicy(Qt::NoFocus);
  q->setCursor(Qt::ArrowCursor);
  q->installEventFilter(new BarFilter(wnd, bar, q));
  std::uint64_t serial = wnd->Serial;
  QObject::connect(q, &QAbstractSlider::actionTriggered, q,
                   [wnd, serial, bar](int action) { onAction(wnd, serial, bar, action); });
  QObject::connect(q, &QAbstractSlider::sliderMoved, q, [wnd, serial, bar](int pos) {
    if (!IsLiveWindow(wnd, serial)) return;
    TFrameScrollBar& b = wnd->Bars[bar];
    b.Tracking = true;
    b.Info.nTrackPos = pos;
    sendScroll(wnd, bar, SB_THUMBTRACK, pos);
  });
  b.Bar = q;
  return q;
}

void syncBar(HWND wnd, int bar) {
  TFrameScrollBar& b = wnd->Bars[bar];
  if (!b.Visible || b.Rect.IsEmpty()) {
    if (b.Bar) b.Bar->hide();
    return;
  }
  QScrollBar* q = ensureBar(wnd, bar);
  if (!q) return;
  QSignalBlocker block(q);
  q->setRange(b.Info.nMin, maxPos(b.Info));
  q->setPageStep(std::max<int>(int(b.Info.nPage), 1));
  if (!b.Tracking) {
    q->setValue(b.Info.nPos);
    q->setSliderPosition(b.Info.nPos);
  }
  bool needed = b.Info.nMax > b.Info.nMin;
  q->setEnabled(b.Enabled && needed);
  q->setGeometry(b.Rect.Left, b.Rect.Top, b.Rect.Width(), b.Rect.Height());
  q->show();
  q->raise();
}

TFrameScrollBar* barOf(HWND wnd, int bar) {
  if (!IsWindow(wnd) || (bar != SB_HORZ && bar != SB_VERT)) return nullptr;
  return &wnd->Bars[bar];
}

}  // namespace

void LayoutFrameScrollBars(HWND wnd) {
  if (!IsWindow(wnd) || !wnd->Widget) return;
  syncBar(wnd, SB_HORZ);
  syncBar(wnd, SB_VERT);
}

void UpdateFrame(HWND wnd) {
  if (!IsWindow(wnd) || !wnd->Widget || !wnd->Control || wnd->InNcCalc) return;
  QWidget* w = wnd->Widget;
  TRect r{0, 0, w->width(), w->height()};
  wnd->InNcCalc = true;
  SendMessage(wnd, WM_NCCALCSIZE, 0, LPARAM(&r));
  if (!IsWindow(wnd)) return;
  wnd->InNcCalc = false;
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  TRect old = wnd->Client;
  wnd->Client = r;
  LayoutFrameScrollBars(wnd);
  if (old == r) return;
  // A child's window moved reports its own size, whose handlers may free
  // the child, another one or this window's control.
  if (!WalkChildren(wnd->Control, [](TControl* c) { c->Private()->PlaceWidget(); })) return;
  if (wnd->Redraw) w->update();
  if (old.Width() != r.Width() || old.Height() != r.Height())
    SendMessage(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
}

void PaintDefaultFrame(HWND wnd, QPainter& p) {
  QWidget* w = wnd->Widget;
  if (!w || !wnd->Control) return;
  HDC dc = CreatePainterDC(p);
  TRect r{0, 0, w->width(), w->height()};
  if (wnd->ExStyle & WS_EX_CLIENTEDGE) DrawEdge(dc, r, EDGE_SUNKEN, BF_RECT);
  else if (wnd->Style & WS_BORDER) DrawEdge(dc, r, BDR_RAISEDOUTER, BF_RECT | BF_MONO);
  // The square between two visible bars.
  const TFrameScrollBar& v = wnd->Bars[SB_VERT];
  const TFrameScrollBar& h = wnd->Bars[SB_HORZ];
  if (v.Visible && h.Visible) {
    TRect corner{v.Rect.Left, h.Rect.Top, v.Rect.Right, h.Rect.Bottom};
    DrawEdge(dc, corner, 0, BF_MIDDLE);
  }
  ReleasePainterDC(dc);
}

int SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo* Info, bool Redraw) {
  if (Bar == SB_CTL) return 0;
  TFrameScrollBar* b = barOf(Wnd, Bar);
  if (!b || !Info) return 0;
  TScrollInfo& i = b->Info;
  if (Info->fMask & SIF_RANGE) {
    i.nMin = Info->nMin;
    i.nMax = std::max(Info->nMax, Info->nMin);
  }
  if (Info->fMask & SIF_PAGE) i.nPage = Info->nPage;
  // A page larger than the whole range covers the range.
  UINT range = UINT(std::int64_t(i.nMax) - i.nMin + 1);
  if (i.nPage > range) i.nPage = range;
  if (Info->fMask & SIF_POS) i.nPos = Info->nPos;
  clampPos(i);
  bool frame = false;
  if (Info->fMask & (SIF_RANGE | SIF_PAGE)) {
    bool needed = i.nMax > i.nMin && (i.nPage == 0 || i.nPage <= UINT(i.nMax - i.nMin));
    if (needed) {
      if (!b->Visible) frame = true;
      b->Visible = true;
      b->Enabled = true;
    } else if (Info->fMask & SIF_DISABLENOSCROLL) {
      if (b->Visible) b->Enabled = false;
    } else if (b->Visible) {
      b->Visible = false;
      frame = true;
    }
  }
  if (frame)
    UpdateFrame(Wnd);
  else if (Redraw || true)
    syncBar(Wnd, Bar);
  return IsWindow(Wnd) ? i.nPos : 0;
}

bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo* Info) {
  TFrameScrollBar* b = barOf(Wnd, Bar);
  if (!b || !Info) return false;
  const TScrollInfo& i = b->Info;
  if (Info->fMask & SIF_RANGE) {
    Info->nMin = i.nMin;
    Info->nMax = i.nMax;
  }
  if (Info->fMask & SIF_PAGE) Info->nPage = i.nPage;
  if (Info->fMask & SIF_POS) Info->nPos = i.nPos;
  if (Info->fMask & SIF_TRACKPOS) Info->nTrackPos = b->Tracking ? i.nTrackPos : i.nPos;
  return true;
}

int SetScrollPos(HWND Wnd, int Bar, int Pos, bool Redraw) {
  TFrameScrollBar* b = barOf(Wnd, Bar);
  if (!b) return 0;
  int old = b->Info.nPos;
  TScrollInfo i;
  i.fMask = SIF_POS;
  i.nPos = Pos;
  SetScrollInfo(Wnd, Bar, &i, Redraw);
  return old;
}

int GetScrollPos(HWND Wnd, int Bar) {
  TFrameScrollBar* b = barOf(Wnd, Bar);
  return b ? b->Info.nPos : 0;
}

bool SetScrollRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw) {
  if (!barOf(Wnd, Bar)) return false;
  TScrollInfo i;
  i.fMask = SIF_RANGE;
  i.nMin = Min;
  i.nMax = Max;
  SetScrollInfo(Wnd, Bar, &i, Redraw);
  return true;
}

bool ShowScrollBar(HWND Wnd, int Bar, bool Show) {
  if (!IsWindow(Wnd)) return false;
  bool changed = false;
  for (int b : {SB_HORZ, SB_VERT}) {
    if (Bar != SB_BOTH && Bar != b) continue;
    if (Wnd->Bars[b].Visible != Show) changed = true;
    Wnd->Bars[b].Visible = Show;
  }
  if (changed) UpdateFrame(Wnd);
  return true;
}

bool EnableScrollBar(HWND Wnd, int Bar, UINT Arrows) {
  if (!IsWindow(Wnd)) return false;
  for (int b : {SB_HORZ, SB_VERT}) {
    if (Bar != SB_BOTH && Bar != b) continue;
    Wnd->Bars[b].Enabled = Arrows != ESB_DISABLE_BOTH;
    syncBar(Wnd, b);
  }
  return true;
}
