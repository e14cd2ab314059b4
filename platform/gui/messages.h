#pragma once
// Window messages: the record every window procedure receives, the message
// numbers and the flag constants that travel in them, and the small helpers
// that pack and unpack their parameters.
#include <cstdint>

#include "platform/core/types.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/geometry.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WORD = std::uint16_t;

// A window: a windowed control's window, or a hidden window made by
// AllocateHWnd. The structure itself is private to the GUI layer.
struct TWindowHandle;
using HWND = TWindowHandle*;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;

  WORD WParamLo() const { return WORD(WParam & 0xFFFF); }
  WORD WParamHi() const { return WORD((WParam >> 16) & 0xFFFF); }
  WORD LParamLo() const { return WORD(std::uintptr_t(LParam) & 0xFFFF); }
  WORD LParamHi() const { return WORD((std::uintptr_t(LParam) >> 16) & 0xFFFF); }
};

// ---- packing ---------------------------------------------------------------
inline WORD LOWORD(std::uintptr_t v) { return WORD(v & 0xFFFF); }
inline WORD HIWORD(std::uintptr_t v) { return WORD((v >> 16) & 0xFFFF); }
inline LPARAM MAKELPARAM(int lo, int hi) {
  return LPARAM(std::int32_t(std::uint32_t(WORD(lo)) | (std::uint32_t(WORD(hi)) << 16)));
}
inline WPARAM MAKEWPARAM(int lo, int hi) {
  return WPARAM(std::uint32_t(WORD(lo)) | (std::uint32_t(WORD(hi)) << 16));
}
// Points travel as two signed 16-bit halves.
inline int GET_X_LPARAM(LPARAM l) { return std::int16_t(std::uintptr_t(l) & 0xFFFF); }
inline int GET_Y_LPARAM(LPARAM l) { return std::int16_t((std::uintptr_t(l) >> 16) & 0xFFFF); }
inline int GET_WHEEL_DELTA_WPARAM(WPARAM w) { return std::int16_t((w >> 16) & 0xFFFF); }
inline int GET_KEYSTATE_WPARAM(WPARAM w) { return int(w & 0xFFFF); }
constexpr int WHEEL_DELTA = 120;

// ---- messages --------------------------------------------------------------
enum : UINT {
  WM_NULL = 0x0000, WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003,
  WM_SIZE = 0x0005, WM_ACTIVATE = 0x0006, WM_SETFOCUS = 0x0007, WM_KILLFOCUS = 0x0008,
  WM_ENABLE = 0x000A, WM_SETREDRAW = 0x000B, WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D,
  WM_GETTEXTLENGTH = 0x000E, WM_PAINT = 0x000F, WM_CLOSE = 0x0010,
  WM_QUERYENDSESSION = 0x0011, WM_QUIT = 0x0012, WM_ERASEBKGND = 0x0014,
  WM_SYSCOLORCHANGE = 0x0015, WM_ENDSESSION = 0x0016, WM_SHOWWINDOW = 0x0018,
  WM_ACTIVATEAPP = 0x001C, WM_CANCELMODE = 0x001F, WM_SETCURSOR = 0x0020,
  WM_MOUSEACTIVATE = 0x0021, WM_WINDOWPOSCHANGED = 0x0047, WM_COPYDATA = 0x004A,
  WM_CONTEXTMENU = 0x007B, WM_GETDLGCODE = 0x0087, WM_NCCREATE = 0x0081,
  WM_NCDESTROY = 0x0082, WM_NCCALCSIZE = 0x0083, WM_NCHITTEST = 0x0084,
  WM_NCPAINT = 0x0085, WM_NCACTIVATE = 0x0086, WM_GETOBJECT = 0x003D,
  WM_NCMOUSEMOVE = 0x00A0, WM_NCLBUTTONDOWN = 0x00A1, WM_NCLBUTTONUP = 0x00A2,
  WM_NCLBUTTONDBLCLK = 0x00A3, WM_NCRBUTTONDOWN = 0x00A4, WM_NCRBUTTONUP = 0x00A5,
  WM_NCRBUTTONDBLCLK = 0x00A6, WM_NCMBUTTONDOWN = 0x00A7, WM_NCMBUTTONUP = 0x00A8,
  WM_NCMBUTTONDBLCLK = 0x00A9,
  WM_KEYFIRST = 0x0100, WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, WM_CHAR = 0x0102,
  WM_DEADCHAR = 0x0103, WM_SYSKEYDOWN = 0x0104, WM_SYSKEYUP = 0x0105,
  WM_SYSCHAR = 0x0106, WM_KEYLAST = 0x0109,
  WM_COMMAND = 0x0111, WM_SYSCOMMAND = 0x0112, WM_TIMER = 0x0113,
  WM_HSCROLL = 0x0114, WM_VSCROLL = 0x0115,
  WM_MOUSEFIRST = 0x0200, WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202, WM_LBUTTONDBLCLK = 0x0203, WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205, WM_RBUTTONDBLCLK = 0x0206, WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208, WM_MBUTTONDBLCLK = 0x0209, WM_MOUSEWHEEL = 0x020A,
  WM_MOUSEHWHEEL = 0x020E, WM_MOUSELAST = 0x020E,
  WM_CAPTURECHANGED = 0x0215, WM_MOUSEHOVER = 0x02A1, WM_MOUSELEAVE = 0x02A3,
  WM_CUT = 0x0300, WM_COPY = 0x0301, WM_PASTE = 0x0302, WM_CLEAR = 0x0303,
  WM_DRAWCLIPBOARD = 0x0308, WM_CHANGECBCHAIN = 0x030D, WM_HOTKEY = 0x0312,
  WM_PRINT = 0x0317, WM_PRINTCLIENT = 0x0318, WM_THEMECHANGED = 0x031A,
  WM_USER = 0x0400, WM_APP = 0x8000,
};

// Notifications of the control framework itself (property changes, mouse
// enter/leave, hints, the wheel as the framework reports it).
enum : UINT {
  CM_BASE = 0xB000,
  CM_ACTIVATE = CM_BASE + 0, CM_DEACTIVATE = CM_BASE + 1,
  CM_DIALOGKEY = CM_BASE + 5, CM_DIALOGCHAR = CM_BASE + 6, CM_FOCUSCHANGED = CM_BASE + 7,
  CM_PARENTFONTCHANGED = CM_BASE + 8, CM_PARENTCOLORCHANGED = CM_BASE + 9,
  CM_HITTEST = CM_BASE + 10, CM_VISIBLECHANGED = CM_BASE + 11,
  CM_ENABLEDCHANGED = CM_BASE + 12, CM_COLORCHANGED = CM_BASE + 13,
  CM_FONTCHANGED = CM_BASE + 14, CM_CURSORCHANGED = CM_BASE + 15,
  CM_CTL3DCHANGED = CM_BASE + 16, CM_PARENTCTL3DCHANGED = CM_BASE + 17,
  CM_TEXTCHANGED = CM_BASE + 18, CM_MOUSEENTER = CM_BASE + 19,
  CM_MOUSELEAVE = CM_BASE + 20, CM_ENTER = CM_BASE + 27, CM_EXIT = CM_BASE + 28,
  CM_SYSCOLORCHANGE = CM_BASE + 36, CM_DRAG = CM_BASE + 47, CM_HINTSHOW = CM_BASE + 48,
  CM_RECREATEWND = CM_BASE + 51, CM_BIDIMODECHANGED = CM_BASE + 60,
  CM_PARENTBIDIMODECHANGED = CM_BASE + 61, CM_HINTSHOWPAUSE = CM_BASE + 65,
  CM_MOUSEWHEEL = CM_BASE + 67, CM_DENYSUBCLASSING = CM_BASE + 2000,
  CM_RELEASE = CM_BASE + 33,
};

// ---- edit controls: styles, messages, notifications ---------------------------
// A control's own notifications come back to it as CN_COMMAND
// (notification code in the high word of WParam).
enum : UINT { CN_BASE = 0xBC00, CN_COMMAND = CN_BASE + 0x0111 };
enum : DWORD {
  ES_LEFT = 0x0000, ES_CENTER = 0x0001, ES_RIGHT = 0x0002, ES_MULTILINE = 0x0004,
  ES_AUTOVSCROLL = 0x0040, ES_AUTOHSCROLL = 0x0080,
};
// EM_SETRECTNP: LParam points to the formatting rectangle (client coordinates).
enum : UINT { EM_GETRECT = 0x00B2, EM_SETRECTNP = 0x00B4 };
enum : UINT { EN_CHANGE = 0x0300, EN_UPDATE = 0x0400 };

// ---- mouse key flags (WParam of mouse messages) -----------------------------
enum : unsigned {
  MK_LBUTTON = 0x0001, MK_RBUTTON = 0x0002, MK_SHIFT = 0x0004,
  MK_CONTROL = 0x0008, MK_MBUTTON = 0x0010, MK_XBUTTON1 = 0x0020, MK_XBUTTON2 = 0x0040,
};

// ---- virtual keys ------------------------------------------------------------
enum : unsigned {
  VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_CANCEL = 0x03, VK_MBUTTON = 0x04,
  VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D,
  VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_PAUSE = 0x13,
  VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21,
  VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26,
  VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_SELECT = 0x29, VK_PRINT = 0x2A,
  VK_SNAPSHOT = 0x2C, VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_HELP = 0x2F,
  VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_APPS = 0x5D,
  VK_NUMPAD0 = 0x60, VK_NUMPAD1, VK_NUMPAD2, VK_NUMPAD3, VK_NUMPAD4, VK_NUMPAD5,
  VK_NUMPAD6, VK_NUMPAD7, VK_NUMPAD8, VK_NUMPAD9,
  VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SEPARATOR = 0x6C, VK_SUBTRACT = 0x6D,
  VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F,
  VK_F1 = 0x70, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F10,
  VK_F11, VK_F12, VK_F13, VK_F14, VK_F15, VK_F16, VK_F17, VK_F18, VK_F19, VK_F20,
  VK_F21, VK_F22, VK_F23, VK_F24,
  VK_NUMLOCK = 0x90, VK_SCROLL = 0x91, VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1,
  VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3, VK_LMENU = 0xA4, VK_RMENU = 0xA5,
  VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD,
  VK_OEM_PERIOD = 0xBE, VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB,
  VK_OEM_5 = 0xDC, VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE, VK_OEM_102 = 0xE2,
};

// Key data (LParam of key messages): repeat count in bits 0-15, scan code in
// 16-23, extended key in 24, Alt down in 29, previous state in 30, release in 31.
enum : unsigned {
  KF_EXTENDED = 0x0100, KF_ALTDOWN = 0x2000, KF_REPEAT = 0x4000, KF_UP = 0x8000,
};

// ---- scroll bars -------------------------------------------------------------
enum : int {
  SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3,
  SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1,
  SB_PAGEUP = 2, SB_PAGELEFT = 2, SB_PAGEDOWN = 3, SB_PAGERIGHT = 3,
  SB_THUMBPOSITION = 4, SB_THUMBTRACK = 5, SB_TOP = 6, SB_LEFT = 6,
  SB_BOTTOM = 7, SB_RIGHT = 7, SB_ENDSCROLL = 8,
};
enum : unsigned {
  SIF_RANGE = 0x0001, SIF_PAGE = 0x0002, SIF_POS = 0x0004, SIF_DISABLENOSCROLL = 0x0008,
  SIF_TRACKPOS = 0x0010, SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS,
};
struct TScrollInfo {
  UINT cbSize = sizeof(TScrollInfo);
  UINT fMask = 0;
  int nMin = 0;
  int nMax = 0;
  UINT nPage = 0;
  int nPos = 0;
  int nTrackPos = 0;
};
enum : unsigned { ESB_ENABLE_BOTH = 0, ESB_DISABLE_BOTH = 3 };

// ---- system commands (WParam of WM_SYSCOMMAND) -------------------------------
enum : unsigned {
  SC_SIZE = 0xF000, SC_MOVE = 0xF010, SC_MINIMIZE = 0xF020, SC_MAXIMIZE = 0xF030,
  SC_CLOSE = 0xF060, SC_KEYMENU = 0xF100, SC_RESTORE = 0xF120,
};

// ---- WM_SIZE kinds, WM_SHOWWINDOW reasons, ShowWindow commands ---------------
enum : unsigned {
  SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2,
  SW_PARENTCLOSING = 1, SW_PARENTOPENING = 3,
};
enum : int {
  SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_NORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3,
  SW_MAXIMIZE = 3, SW_SHOWNOACTIVATE = 4, SW_SHOW = 5, SW_MINIMIZE = 6, SW_SHOWNA = 8,
  SW_RESTORE = 9,
};

// ---- hit test codes (result of WM_NCHITTEST, WParam of WM_NC* mouse) ---------
enum : int {
  HTERROR = -2, HTTRANSPARENT = -1, HTNOWHERE = 0, HTCLIENT = 1, HTCAPTION = 2,
  HTSYSMENU = 3, HTSIZE = 4, HTMENU = 5, HTHSCROLL = 6, HTVSCROLL = 7,
  HTLEFT = 10, HTRIGHT = 11, HTTOP = 12, HTTOPLEFT = 13, HTTOPRIGHT = 14,
  HTBOTTOM = 15, HTBOTTOMLEFT = 16, HTBOTTOMRIGHT = 17, HTBORDER = 18,
};

// ---- dialog codes (result of WM_GETDLGCODE) ----------------------------------
enum : unsigned {
  DLGC_WANTARROWS = 0x0001, DLGC_WANTTAB = 0x0002, DLGC_WANTALLKEYS = 0x0004,
  DLGC_WANTMESSAGE = 0x0004, DLGC_HASSETSEL = 0x0008, DLGC_DEFPUSHBUTTON = 0x0010,
  DLGC_UNDEFPUSHBUTTON = 0x0020, DLGC_RADIOBUTTON = 0x0040, DLGC_WANTCHARS = 0x0080,
  DLGC_STATIC = 0x0100, DLGC_BUTTON = 0x2000,
};

// ---- RedrawWindow flags --------------------------------------------------------
enum : unsigned {
  RDW_INVALIDATE = 0x0001, RDW_INTERNALPAINT = 0x0002, RDW_ERASE = 0x0004,
  RDW_VALIDATE = 0x0008, RDW_NOINTERNALPAINT = 0x0010, RDW_NOERASE = 0x0020,
  RDW_NOCHILDREN = 0x0040, RDW_ALLCHILDREN = 0x0080, RDW_UPDATENOW = 0x0100,
  RDW_ERASENOW = 0x0200, RDW_FRAME = 0x0400, RDW_NOFRAME = 0x0800,
};

// ---- ScrollWindowEx flags ---------------------------------------------------
enum : unsigned { SW_SCROLLCHILDREN = 0x0001, SW_INVALIDATE = 0x0002, SW_ERASE = 0x0004 };

// ---- window styles the program reads or sets ---------------------------------
enum : DWORD {
  WS_POPUP = 0x80000000u, WS_CHILD = 0x40000000u, WS_VISIBLE = 0x10000000u,
  WS_DISABLED = 0x08000000u, WS_CLIPSIBLINGS = 0x04000000u, WS_CLIPCHILDREN = 0x02000000u,
  WS_BORDER = 0x00800000u, WS_VSCROLL = 0x00200000u, WS_HSCROLL = 0x00100000u,
  WS_THICKFRAME = 0x00040000u, WS_TABSTOP = 0x00010000u,
  WS_EX_TOPMOST = 0x00000008u, WS_EX_TOOLWINDOW = 0x00000080u, WS_EX_CLIENTEDGE = 0x00000200u,
};
enum : unsigned {
  SWP_NOSIZE = 0x0001, SWP_NOMOVE = 0x0002, SWP_NOZORDER = 0x0004, SWP_NOREDRAW = 0x0008,
  SWP_NOACTIVATE = 0x0010, SWP_FRAMECHANGED = 0x0020, SWP_SHOWWINDOW = 0x0040,
  SWP_HIDEWINDOW = 0x0080,
};
enum : int { MA_ACTIVATE = 1, MA_NOACTIVATE = 3 };
enum : unsigned { PRF_CHECKVISIBLE = 0x1, PRF_NONCLIENT = 0x2, PRF_CLIENT = 0x4, PRF_ERASEBKGND = 0x8 };

// ---- hot key modifiers -----------------------------------------------------------
enum : unsigned { MOD_ALT = 0x0001, MOD_CONTROL = 0x0002, MOD_SHIFT = 0x0004, MOD_WIN = 0x0008 };

// ---- system metrics and parameters the program asks for -----------------------
enum : int {
  SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3,
  SM_CYCAPTION = 4, SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CXDLGFRAME = 7,
  SM_CYDLGFRAME = 8, SM_CYVTHUMB = 9, SM_CXHTHUMB = 10, SM_CXCURSOR = 13,
  SM_CYCURSOR = 14, SM_CXDOUBLECLK = 36, SM_CYDOUBLECLK = 37, SM_CXEDGE = 45,
  SM_CYEDGE = 46, SM_CXDRAG = 68, SM_CYDRAG = 69,
};
enum : unsigned { SPI_GETWHEELSCROLLLINES = 0x0068, SPI_GETDRAGFULLWINDOWS = 0x0026 };
constexpr unsigned WHEEL_PAGESCROLL = 0xFFFFFFFFu;
