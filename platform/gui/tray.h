#pragma once
// Notification-area (tray) icons, keyed by a window and a number as the
// program's components expect: the desktop's notifications about an icon
// (clicks, the context-menu request) arrive at that window as the icon's
// callback message with WParam = the icon's number and LParam = the mouse
// message (WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
// WM_RBUTTONUP, WM_MBUTTONDOWN, WM_MBUTTONUP).
#include "platform/core/types.h"
#include "platform/gui/messages.h"

class TIcon;

enum : DWORD { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2, NIM_SETVERSION = 4 };
enum : UINT { NIF_MESSAGE = 0x1, NIF_ICON = 0x2, NIF_TIP = 0x4 };
enum : UINT { NIN_BALLOONSHOW = 0x402, NIN_BALLOONHIDE = 0x403, NIN_BALLOONTIMEOUT = 0x404,
              NIN_BALLOONUSERCLICK = 0x405 };

struct TNotifyIconData {
  HWND hWnd = nullptr;
  UINT uID = 0;
  UINT uFlags = 0;
  UINT uCallbackMessage = 0;
  // The picture (copied by the call); nullptr or empty: the program's
  // default picture.
  const TIcon* hIcon = nullptr;
  // At most 127 characters are shown.
  String szTip;
  UINT uVersion = 0;
};

// Adds, changes or removes an icon. False when the desktop has no
// notification area (NIM_ADD), when the icon does not exist (NIM_MODIFY,
// NIM_DELETE) or when the icon exists already (NIM_ADD).
bool Shell_NotifyIcon(DWORD Message, const TNotifyIconData* Data);
// Whether the desktop shows a notification area now.
bool SystemTrayAvailable();
