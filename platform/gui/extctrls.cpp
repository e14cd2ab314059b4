// TTimer over a hidden window's timer.
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  FWindowHandle = AllocateHWnd([this](TMessage& m) {
    if (m.Msg == WM_TIMER) {
      Timer();
      return;
    }
    m.Result = DefWindowProc(FWindowHandle, m.Msg, m.WParam, m.LParam);
  });
  // Enabled with its interval from the start: a handler assigned later is
  // called at the next tick.
  update();
}

TTimer::~TTimer() {
  Destroying();
  FEnabled = false;
  update();
  DeallocateHWnd(FWindowHandle);
}

void TTimer::update() {
  KillTimer(FWindowHandle, 1);
  // A timer without a handler may tick; Timer ignores it until one is set.
  if (FEnabled && FInterval != 0 && !ComponentState().Contains(csDestroying))
    SetTimer(FWindowHandle, 1, FInterval);
}

void TTimer::SetEnabled(bool value) {
  if (FEnabled == value) return;
  FEnabled = value;
  update();
}

void TTimer::SetInterval(unsigned value) {
  if (FInterval == value) return;
  FInterval = value;
  update();
}

void TTimer::SetOnTimer(TNotifyEvent value) {
  OnTimer = std::move(value);
  update();
}

void TTimer::Timer() {
  if (!FEnabled || !OnTimer) return;
  OnTimer(this);
}
