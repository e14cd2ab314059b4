#pragma once
// Window services in the style the program is written against: sending and
// posting messages, window timers, mouse capture, key state, coordinates,
// invalidation, scrolling, scroll bars of the non-client frame, focus,
// cursors, hidden message windows and registered message numbers.
#include <functional>

#include "platform/core/types.h"
#include "platform/graphics/geometry.h"
#include "platform/gui/messages.h"

// ---- messages ------------------------------------------------------------
// Calls the window procedure at once; 0 for a window that no longer exists.
LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
// Queues the message for the GUI thread; callable from any thread, delivered
// in the order posted. A window destroyed meanwhile never sees it. Returns
// false for a null or destroyed window.
bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
// Posts WM_QUIT: the message loop ends.
void PostQuitMessage(int ExitCode);
// A message number unique to this process for the given name (0xC000..0xFFFF);
// the same name always gives the same number.
UINT RegisterWindowMessage(const String& Name);
// True while a window exists (for handles kept by other objects).
bool IsWindow(HWND Wnd);

// A hidden window that only receives messages (timers, posted messages, the
// clipboard chain, hot keys) and hands them to Method.
using TWndMethod = std::function<void(TMessage& Message)>;
HWND AllocateHWnd(TWndMethod Method);
void DeallocateHWnd(HWND Wnd);
// Default handling of a message for any window.
LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

// ---- timers ------------------------------------------------------------------
// Starts (or restarts) timer IDEvent of the window; WM_TIMER arrives with
// WParam = IDEvent every Elapse milliseconds until KillTimer. Returns IDEvent
// (0 on failure).
std::uintptr_t SetTimer(HWND Wnd, std::uintptr_t IDEvent, UINT Elapse, void* TimerFunc = nullptr);
bool KillTimer(HWND Wnd, std::uintptr_t IDEvent);

// ---- mouse and keyboard state ----------------------------------------------
// Directs all mouse input to the window until ReleaseCapture, also with no
// button down. Returns the previous capture window.
HWND SetCapture(HWND Wnd);
bool ReleaseCapture();
HWND GetCapture();
// High bit set (negative) when the key is down; low bit toggles per press.
short GetKeyState(int VirtKey);
short GetAsyncKeyState(int VirtKey);
bool GetCursorPos(TPoint* Point);
bool SetCursorPos(int X, int Y);
// The position of the last input message, in screen coordinates.
DWORD GetMessagePos();
TPoint GetMessagePoint();

// ---- coordinates -----------------------------------------------------------
bool ClientToScreen(HWND Wnd, TPoint* Point);
bool ScreenToClient(HWND Wnd, TPoint* Point);
int MapWindowPoints(HWND From, HWND To, TPoint* Points, int Count);
// The innermost window under a screen point (nullptr outside the program's windows).
HWND WindowFromPoint(TPoint Point);
bool GetClientRect(HWND Wnd, TRect* Rect);
// The window's rectangle (frame included) in screen coordinates.
bool GetWindowRect(HWND Wnd, TRect* Rect);
HWND GetParent(HWND Wnd);
bool IsChild(HWND Parent, HWND Wnd);

// ---- painting ----------------------------------------------------------------
bool InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase);
bool ValidateRect(HWND Wnd, const TRect* Rect);
bool RedrawWindow(HWND Wnd, const TRect* Update, HRGN Region, UINT Flags);
bool UpdateWindow(HWND Wnd);
// The part of the client area the current (or next) paint repaints.
bool GetUpdateRect(HWND Wnd, TRect* Rect, bool Erase);
bool ScrollWindow(HWND Wnd, int DX, int DY, const TRect* Scroll, const TRect* Clip);
int ScrollWindowEx(HWND Wnd, int DX, int DY, const TRect* Scroll, const TRect* Clip,
                   HRGN UpdateRegion, TRect* Update, UINT Flags);
// A device context drawing on the client area (GetDC) or the whole window
// (GetWindowDC) outside a paint: what is drawn appears at the next repaint.
HDC GetDC(HWND Wnd);
HDC GetWindowDC(HWND Wnd);
enum : UINT { DCX_WINDOW = 0x1, DCX_CACHE = 0x2, DCX_CLIPCHILDREN = 0x8, DCX_CLIPSIBLINGS = 0x10,
              DCX_EXCLUDERGN = 0x40, DCX_INTERSECTRGN = 0x80 };
// GetDC / GetWindowDC with a region; during a paint the painter's own
// clipping already limits drawing to the region being painted.
HDC GetDCEx(HWND Wnd, HRGN Clip, UINT Flags);
int ReleaseDC(HWND Wnd, HDC DC);

// ---- scroll bars of the non-client frame ------------------------------------
int SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo* Info, bool Redraw);
bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo* Info);
int SetScrollPos(HWND Wnd, int Bar, int Pos, bool Redraw);
int GetScrollPos(HWND Wnd, int Bar);
bool SetScrollRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw);
bool ShowScrollBar(HWND Wnd, int Bar, bool Show);
bool EnableScrollBar(HWND Wnd, int Bar, UINT Arrows);

// ---- window state ------------------------------------------------------------
bool EnableWindow(HWND Wnd, bool Enable);
bool IsWindowEnabled(HWND Wnd);
bool IsWindowVisible(HWND Wnd);
bool ShowWindow(HWND Wnd, int CmdShow);
bool SetWindowPos(HWND Wnd, HWND InsertAfter, int X, int Y, int CX, int CY, UINT Flags);
inline HWND const HWND_TOP = nullptr;
extern HWND const HWND_TOPMOST;
extern HWND const HWND_NOTOPMOST;
bool SetForegroundWindow(HWND Wnd);
HWND GetForegroundWindow();
HWND GetActiveWindow();
bool IsIconic(HWND Wnd);
// Window style bits (WS_* / WS_EX_*) as the frame understands them.
DWORD GetWindowStyle(HWND Wnd);
DWORD GetWindowExStyle(HWND Wnd);
void SetWindowStyle(HWND Wnd, DWORD Style);
void SetWindowExStyle(HWND Wnd, DWORD ExStyle);

// ---- focus -------------------------------------------------------------------
HWND SetFocus(HWND Wnd);
HWND GetFocus();

// ---- cursors -----------------------------------------------------------------
struct TCursorHandle;
using HCURSOR = TCursorHandle*;
// A standard cursor by framework number (crArrow, crIBeam, crHandPoint...).
HCURSOR LoadStandardCursor(int Cursor);
// A cursor made from an ARGB image (Width x Height, 32 bits per pixel, rows
// top-down) with its hot spot. The caller frees it with DestroyCursor.
HCURSOR CreateCursorFromImage(const std::uint32_t* Pixels, int Width, int Height, int HotX,
                              int HotY);
bool DestroyCursor(HCURSOR Cursor);
// Sets the cursor of the window under the mouse (as an answer to WM_SETCURSOR).
HCURSOR SetCursor(HCURSOR Cursor);
HCURSOR GetCursor();

// ---- system --------------------------------------------------------------------
int GetSystemMetrics(int Index);
bool SystemParametersInfo(UINT Action, UINT Param, void* Value, UINT WinIni);
UINT GetDoubleClickTime();
void MessageBeep(UINT Type);
