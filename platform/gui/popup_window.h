#pragma once
// Pop-up tool windows of a class of the program's own: frameless, without a
// task-bar entry, never taking the focus when shown, optionally shaped by a
// region. A control uses one for a small floating picture (the wheel-panning
// marker of a tree).
#include "platform/core/types.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/windows.h"

// Registers (or re-registers) a window class name with its window
// procedure; windows made with the name get their messages there. Returns
// false for an empty name.
bool RegisterWindowClass(const String& ClassName, TWndMethod WndProc);
bool UnregisterWindowClass(const String& ClassName);
// True when the class is registered; WndProc receives its procedure.
bool GetWindowClassProc(const String& ClassName, TWndMethod* WndProc);

// Makes a hidden pop-up tool window (WS_POPUP, WS_EX_TOOLWINDOW) of a
// registered class at Bounds (screen coordinates), owned by Owner's
// top-level window. It paints through WM_PAINT (WParam: the device context).
// nullptr when the class is not registered.
HWND CreatePopupToolWindow(const String& ClassName, HWND Owner, const TRect& Bounds);
// Destroys a window made by CreatePopupToolWindow (controls own theirs).
bool DestroyWindow(HWND Wnd);
// The class name a window was made with (empty for controls).
String GetClassName(HWND Wnd);
// Limits the window to Region (window coordinates); the window owns the
// region from then on (nullptr: the whole rectangle again). Returns 0 on failure.
int SetWindowRgn(HWND Wnd, HRGN Region, bool Redraw);
// The window's region as rectangles (empty without one).
std::vector<TRect> GetWindowRgnRects(HWND Wnd);
// Shows or hides a pop-up window; SW_SHOWNOACTIVATE and SW_SHOWNA never
// activate it (it never takes the focus anyway). Returns the old visibility.
bool ShowPopupWindow(HWND Wnd, int CmdShow);
