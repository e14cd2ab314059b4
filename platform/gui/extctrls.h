#pragma once
// TTimer: a component that raises OnTimer every Interval milliseconds
// while Enabled, through a window timer of its own hidden window.
#include "platform/core/component.h"
#include "platform/gui/messages.h"

class TTimer : public TComponent {
public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  // Milliseconds; 0 stops the timer.
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned value);
  TNotifyEvent OnTimer;
  void SetOnTimer(TNotifyEvent value);

protected:
  virtual void Timer();

private:
  void update();
  bool FEnabled = true;
  unsigned FInterval = 1000;
  HWND FWindowHandle = nullptr;
};
