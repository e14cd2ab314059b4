#include "tray/simple_timer.h"

#include "platform/gui/windows.h"

// The shared hidden window: made by the first timer, freed with the last.
struct TSimpleTimerHandler {
  HWND Window = nullptr;
  int RefCount = 0;
  int Running = 0;

  static void wndProc(TMessage& m) {
    if (m.Msg == WM_TIMER) {
      auto* timer = reinterpret_cast<TSimpleTimer*>(m.WParam);
      if (timer && timer->FOnTimer) timer->FOnTimer(timer);
      return;
    }
    m.Result = DefWindowProc(nullptr, m.Msg, m.WParam, m.LParam);
  }
};

namespace {

TSimpleTimerHandler* gHandler = nullptr;

TSimpleTimerHandler& acquire() {
  if (!gHandler) {
    gHandler = new TSimpleTimerHandler;
    gHandler->Window = AllocateHWnd(&TSimpleTimerHandler::wndProc);
  }
  ++gHandler->RefCount;
  return *gHandler;
}

void release() {
  if (!gHandler || --gHandler->RefCount > 0) return;
  DeallocateHWnd(gHandler->Window);
  delete gHandler;
  gHandler = nullptr;
}

}  // namespace

TSimpleTimer::TSimpleTimer() { acquire(); }

TSimpleTimer::TSimpleTimer(std::uint32_t Interval, TNotifyEvent OnTimer)
    : FInterval(Interval), FOnTimer(std::move(OnTimer)) {
  acquire();
}

TSimpleTimer::~TSimpleTimer() {
  if (FEnabled) Stop(true);
  release();
}

void TSimpleTimer::SetEnabled(bool value) {
  if (value) Start();
  else Stop(true);
}

bool TSimpleTimer::Start() {
  if (FInterval == 0) return false;
  if (FEnabled) Stop(false);
  const bool ok = SetTimer(gHandler->Window, Id(), FInterval) != 0;
  if (ok) {
    FEnabled = true;
    ++gHandler->Running;
  }
  return ok;
}

bool TSimpleTimer::Stop(bool ClearEnabled) {
  if (ClearEnabled) FEnabled = false;
  const bool ok = KillTimer(gHandler->Window, Id());
  if (ok && gHandler->Running > 0) --gHandler->Running;
  return ok;
}

void TSimpleTimer::SetInterval(std::uint32_t value) {
  if (value == FInterval) return;
  FInterval = value;
  if (!FEnabled) return;
  if (value > 0) Start();
  else Stop(false);
}

void TSimpleTimer::SetOnTimer(TNotifyEvent value) {
  FOnTimer = std::move(value);
  if (!FOnTimer && FEnabled) Stop(false);
}

int TSimpleTimer::RunningCount() { return gHandler ? gHandler->Running : 0; }
