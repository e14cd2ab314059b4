#pragma once
// Scripted input and window capture, for tests and unattended runs: input
// is made as the toolkit's own events and delivered to a window the way the
// window system would, so it goes through the same translation as a user's.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/gui/controls.h"

enum TInjectedMouse { imDown, imUp, imDoubleClick, imMove };

// Mouse input at a point of the window's client area (or outside it, in the
// frame, with negative or large coordinates). Buttons held are taken from
// Held; Shift and Ctrl from Shift.
void InjectMouse(HWND Wnd, TInjectedMouse Kind, TMouseButton Button, TPoint ClientPoint,
                 TShiftState Shift, TShiftState Held = {});
// A drag from outside the program carrying Text, at a point of the
// window's client area; true when the window accepted it.
enum TInjectedDrag { idEnter, idMove, idLeave, idDrop };
bool InjectDrag(HWND Wnd, TInjectedDrag Kind, TPoint ClientPoint, const String& Text);
// Mouse input for a control without a window of its own.
void InjectMouse(TControl* Control, TInjectedMouse Kind, TMouseButton Button, TPoint Point,
                 TShiftState Shift);
// A wheel turn; Delta in 120ths of a notch (positive: away from the user).
void InjectWheel(HWND Wnd, TPoint ClientPoint, int Delta, TShiftState Shift, bool Horizontal = false);
// A key press (or release) of the key that has this virtual-key code, as the
// keyboard reports it: Keypad marks the numeric pad, Text is what it types.
// Shift+Tab arrives as the toolkit's back-tab key, as it does from a real
// keyboard. VirtKey 0 is a key of another layout (ä, é, ж) that types Text;
// 0xE5 is text from an input method, which comes with no key.
void InjectKey(HWND Wnd, UINT VirtKey, TShiftState Shift, const String& Text, bool Release = false,
               bool Keypad = false, bool AutoRepeat = false);
// Presses and releases a key.
void InjectKeyStroke(HWND Wnd, UINT VirtKey, TShiftState Shift, const String& Text, bool Keypad = false);
// Text an input method commits to the window (what a user types through one).
void InjectInputMethodText(HWND Wnd, const String& Text);
// Moves the keyboard focus to the window at once (no window manager needed).
void InjectFocus(HWND Wnd);
// Another program's window takes the keyboard: no window of the program is
// active until one is focused again.
void InjectDeactivate();
// The pop-up menu shown now (while its loop runs): its item Index (of the
// items that show, lines not counted) is chosen with the keyboard, as a user
// would. False when no menu shows or it has no such item.
bool ChooseShownMenuItem(int Index);
// Waits until the window's top-level window is on the screen and the part of
// the window that shows is painted (a real X server maps it a little after
// it is shown); false after the
// timeout, or when the events waited for destroy the window.
bool WaitExposed(HWND Wnd, int TimeoutMs = 5000);

// Renders the whole window (frame and client, children included) into
// 32-bit ARGB pixels, rows top-down.
bool GrabWindow(TWinControl* Control, std::vector<std::uint32_t>& Pixels, int& Width, int& Height);
// The same, written as a PNG file.
bool SaveWindowImage(TWinControl* Control, const String& FileName);

// The toolkit's request for a hint when the mouse rests at a point of the
// control's client area.
void InjectHintRequest(TControl* Control, TPoint ClientPoint);
// The hint timer: after the mouse rests on a control for the application's
// hint pause (as the control's CM_HINTSHOWPAUSE answer leaves it), the
// control is asked for a hint. True while the timer runs, with its pause.
bool HintTimerPending(int& Pause);
// Lets the running hint timer (the pause or the hint's reshow time) expire now.
void FireHintTimer();
// What the toolkit's accessibility (a screen reader's view) reports for the
// control's window: its name and number of children. False when none.
bool QueryAccessible(TWinControl* Control, String& Name, int& ChildCount);
// The mouse entering (or leaving) a control.
void InjectEnterLeave(TControl* Control, bool Enter);

// How many windows of the toolkit exist (shown or not, given back or not).
int ToolkitWindowCount();

// The bytes read so far from the clipboard's content for data objects that
// stand for another program's clipboard (a format is read when asked for).
std::uint64_t ClipboardBytesFetched();

// A text of the toolkit's own (Context as the toolkit names its class, Text
// its English words) as its dialogs show it, in the language they have.
String ToolkitText(const char* Context, const char* Text);

// The desktop's colours change as a new theme would change them: the
// application's palette takes Window as its window colour.
void ChangeDesktopColours(TColor Window);
// The desktop's colours as they were before the first change.
void RestoreDesktopColours();


// The pixels of a control's area as its window shows them (what the window
// system was last given, not a fresh rendering), 32-bit ARGB rows top-down.
using TShownPixels = std::function<void(const std::vector<std::uint32_t>& Pixels, int Width, int Height)>;
// Calls Shown each time those pixels differ from the ones seen last: they
// are looked at before each repaint of the control's window, so that every
// frame the window showed is seen, and when CheckShownPixels is called. A
// null Control stops the watch.
void WatchShownPixels(TWinControl* Control, TShownPixels Shown);
void CheckShownPixels();
