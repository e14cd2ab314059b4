// Progress bars and scroll bars.
#include <QProgressBar>
#include <QScrollBar>

#include <algorithm>

#include "platform/gui/stdctrls_private.h"

using namespace stdctrls_detail;

// ---- TProgressBar --------------------------------------------------------------------------
TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 150, 16);
}

void TProgressBar::CreateWnd() {
  if (Private()->Handle) return;
  auto* b = new QProgressBar(ParentWidgetFor(this));
  b->setTextVisible(false);
  AttachWidget(this, b, false);
  SyncWidget();
  b->setVisible(Visible());
}

void TProgressBar::SyncWidget() {
  TWinControl::SyncWidget();
  auto* b = widgetAs<QProgressBar>(this);
  if (!b) return;
  b->setOrientation(FOrientation == pbVertical ? Qt::Vertical : Qt::Horizontal);
  if (FStyle == pbstMarquee) {
    b->setRange(0, 0);  // the toolkit's busy indicator
    return;
  }
  b->setRange(FMin, std::max(FMin, FMax));
  b->setValue(std::clamp(FPosition, FMin, std::max(FMin, FMax)));
}

void TProgressBar::SetStyle(TProgressBarStyle value) {
  FStyle = value;
  SyncWidget();
}

void TProgressBar::SetMin(int value) { FMin = value; SyncWidget(); }
void TProgressBar::SetMax(int value) { FMax = value; SyncWidget(); }
void TProgressBar::SetPosition(int value) {
  FPosition = std::clamp(value, FMin, std::max(FMin, FMax));
  SyncWidget();
}
void TProgressBar::StepIt() {
  // Stepping past the end starts again from the beginning, as the common
  // control does.
  int p = FPosition + FStep;
  if (p > FMax) p = FMin + (p - FMax);
  SetPosition(p);
}
void TProgressBar::StepBy(int Delta) { SetPosition(FPosition + Delta); }
void TProgressBar::SetOrientation(TProgressBarOrientation value) { FOrientation = value; SyncWidget(); }

// ---- TScrollBar -------------------------------------------------------------------------------
TScrollBar::TScrollBar(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 121, GetSystemMetrics(SM_CYHSCROLL));
  SetTabStop(true);
  SetControlStyle(withoutClicks(ControlStyle()));
}

void TScrollBar::CreateWnd() {
  if (Private()->Handle) return;
  auto* b = new QScrollBar(FKind == sbVertical ? Qt::Vertical : Qt::Horizontal, ParentWidgetFor(this));
  b->setStyle(ScrollBarStyle());
  b->setTracking(false);
  AttachWidget(this, b, false);
  QObject::connect(b, &QAbstractSlider::actionTriggered, b, [this](int a) { action(a); });
  QObject::connect(b, &QAbstractSlider::sliderReleased, b, [this] { released(); });
  QObject::connect(b, &QAbstractSlider::sliderMoved, b, [this](int value) {
    FTracking = true;
    FTrackPos = value;
    int pos = value;
    const std::weak_ptr<TControlPrivate> self = FPrivate;
    Scroll(scTrack, pos);
    if (ControlLives(self)) SetPosition(pos);
  });
  SyncWidget();
  b->setVisible(Visible());
}

void TScrollBar::SyncWidget() {
  TWinControl::SyncWidget();
  auto* b = widgetAs<QScrollBar>(this);
  if (!b) return;
  QSignalBlocker block(b);
  b->setOrientation(FKind == sbVertical ? Qt::Vertical : Qt::Horizontal);
  b->setRange(FMin, std::max(FMin, FMax - std::max(FPageSize - 1, 0)));
  b->setPageStep(std::max(FPageSize > 0 ? FPageSize : FLargeChange, 1));
  b->setSingleStep(std::max(FSmallChange, 1));
  if (!FTracking) b->setSliderPosition(FPosition);
  b->setValue(FPosition);
}

void TScrollBar::SetKind(TScrollBarKind value) {
  if (FKind == value) return;
  FKind = value;
  SetBounds(Left(), Top(), Height(), Width());
  SyncWidget();
}

void TScrollBar::SetPageSize(int value) {
  FPageSize = std::max(value, 0);
  SetParams(FPosition, FMin, FMax);
}

void TScrollBar::SetParams(int APosition, int AMin, int AMax) {
  if (AMax < AMin) AMax = AMin;
  int top = std::max(AMin, AMax - std::max(FPageSize - 1, 0));
  APosition = std::clamp(APosition, AMin, top);
  bool changed = APosition != FPosition;
  FMin = AMin;
  FMax = AMax;
  FPosition = APosition;
  SyncWidget();
  if (changed) Change();
}

void TScrollBar::Scroll(TScrollCode ScrollCode, int& ScrollPos) {
  if (OnScroll) OnScroll(this, ScrollCode, ScrollPos);
}

void TScrollBar::Change() {
  if (OnChange) OnChange(this);
}

void TScrollBar::action(int qtAction) {
  auto* b = widgetAs<QScrollBar>(this);
  if (!b) return;
  int pos = FPosition;
  TScrollCode code;
  switch (qtAction) {
    case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; pos += FSmallChange; break;
    case QAbstractSlider::SliderSingleStepSub: code = scLineUp; pos -= FSmallChange; break;
    case QAbstractSlider::SliderPageStepAdd: code = scPageDown; pos += FLargeChange; break;
    case QAbstractSlider::SliderPageStepSub: code = scPageUp; pos -= FLargeChange; break;
    case QAbstractSlider::SliderToMinimum: code = scTop; pos = FMin; break;
    case QAbstractSlider::SliderToMaximum: code = scBottom; pos = FMax; break;
    case QAbstractSlider::SliderMove:
      // Thumb drags come through sliderMoved; a move outside a drag (the
      // wheel) sets the position directly.
      if (b->isSliderDown() || FTracking) return;
      code = scPosition;
      pos = b->sliderPosition();
      break;
    default: return;
  }
  // The handler is told a position inside the range, never one past an end.
  pos = std::clamp(pos, FMin, std::max(FMin, FMax));
  // The scroll and change handlers may free the bar.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  Scroll(code, pos);
  if (!ControlLives(self)) return;
  SetPosition(pos);
  if (!ControlLives(self)) return;
  b->setSliderPosition(FPosition);
  int end = FPosition;
  Scroll(scEndScroll, end);
}

void TScrollBar::released() {
  if (!FTracking) return;
  FTracking = false;
  int pos = FTrackPos;
  // The scroll and change handlers may free the bar.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  Scroll(scPosition, pos);
  if (!ControlLives(self)) return;
  SetPosition(pos);
  if (!ControlLives(self)) return;
  int end = FPosition;
  Scroll(scEndScroll, end);
  if (!ControlLives(self)) return;
  SyncWidget();
}
