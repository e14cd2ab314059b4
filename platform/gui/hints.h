#pragma once
// Hint windows: the small pop-up that shows a control's hint. The
// application shows one when the mouse rests over a control that wants a
// hint; a control may name its own window class in CM_HINTSHOW.
#include <functional>

#include "platform/gui/controls.h"

class THintWindow : public TCustomControl {
public:
  explicit THintWindow(TComponent* AOwner);
  ~THintWindow() override;

  // The rectangle (at 0,0) the hint needs at most MaxWidth wide.
  virtual TRect CalcHintRect(int MaxWidth, const String& AHint, void* AData);
  // Shows the hint in Rect (screen coordinates) without taking the focus.
  virtual void ActivateHint(TRect Rect, const String& AHint);
  virtual void ActivateHintData(TRect Rect, const String& AHint, void* AData);
  // True for the messages that end the hint (clicks, keys, wheel).
  virtual bool IsHintMsg(const TMessage& Msg);
  // Hides the window.
  virtual void ReleaseHandle();
  bool Active() const { return FActive; }

protected:
  void Paint() override;
  void CreateWnd() override;

private:
  bool FActive = false;
};

// The class of hint window the application makes (a control may ask for
// another one in CM_HINTSHOW); the default makes a THintWindow.
extern THintWindowClass HintWindowClass;
THintWindowClass DefaultHintWindowClass();

// Whether the desktop animates tool tips, and whether by fading them in
// (else by sliding them open).
bool ToolTipAnimation(bool& Fade);

// The application's hint window while it shows a hint, else nil.
THintWindow* ApplicationHintWindow();
