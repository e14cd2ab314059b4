#pragma once
// TSimpleTimer: a light timer whose WM_TIMER messages all arrive at one
// hidden window shared by every timer of the process.
#include <cstdint>

#include "platform/core/object.h"

class TSimpleTimer : public TObject {
public:
  TSimpleTimer();
  TSimpleTimer(std::uint32_t Interval, TNotifyEvent OnTimer);
  ~TSimpleTimer() override;
  TSimpleTimer(const TSimpleTimer&) = delete;
  TSimpleTimer& operator=(const TSimpleTimer&) = delete;

  // The timer's number at the window: the object's own address.
  std::uintptr_t Id() const { return reinterpret_cast<std::uintptr_t>(this); }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  std::uint32_t Interval() const { return FInterval; }
  void SetInterval(std::uint32_t value);
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent value);

  // False at once for interval 0; restarts a running timer.
  bool Start();
  bool Stop(bool ClearEnabled);

  // Timers running in the process (for tests and diagnostics).
  static int RunningCount();

private:
  friend struct TSimpleTimerHandler;
  bool FEnabled = false;
  std::uint32_t FInterval = 1000;
  TNotifyEvent FOnTimer;
};
