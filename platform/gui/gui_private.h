#pragma once
// Qt side of the GUI layer, for the layer's own sources and tests only.
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/windows.h"

class QPainter;
class QScrollBar;
class QEvent;
class QStyle;

// Makes the application object on first use (offscreen when there is no
// display, so tests and headless runs work).
void EnsureQtApplication();
bool IsHeadless();

// The style every scroll bar of the program paints with: the desktop
// style's sizes and behaviour, painted with opaque rectangles.
QStyle* ScrollBarStyle();

// One standard scroll bar of a window's non-client frame.
struct TFrameScrollBar {
  TScrollInfo Info;          // nMin, nMax, nPage, nPos; nTrackPos while dragging
  bool Visible = false;
  bool Enabled = true;
  bool Tracking = false;     // the thumb is being dragged
  bool Pressed = false;      // a mouse button is down on the bar
  QScrollBar* Bar = nullptr; // made on first use, child of the window's widget
  TRect Rect;                // where the frame puts it (window coordinates)
};

struct TWindowHandle {
  std::uint64_t Serial = 0;
  TWinControl* Control = nullptr;  // nullptr for a hidden window
  TWndMethod Method;               // hidden windows
  QPointer<QWidget> Widget;        // nullptr for a hidden window
  DWORD Style = 0;
  DWORD ExStyle = 0;
  TRect Client;                    // client area in window (widget) coordinates
  TFrameScrollBar Bars[2];         // SB_HORZ, SB_VERT
  // Paint state: the painter and device context of the paint under way.
  QPainter* Painter = nullptr;
  HDC PaintDC = nullptr;
  std::vector<HDC> WindowDCs;      // window contexts handed out during a paint
  TRect UpdateRect;                // client coordinates
  QRegion Pending;                 // invalidated, not yet painted (widget coordinates)
  bool Redraw = true;              // WM_SETREDRAW state
  bool InNcCalc = false;
};

// Window registry: every live window is listed with its serial, so that a
// message posted from any thread can be checked on delivery.
HWND RegisterWindow(TWinControl* control, QWidget* widget, TWndMethod method);
void UnregisterWindow(HWND wnd);
bool IsLiveWindow(HWND wnd, std::uint64_t serial);

// Delivers a message to a window procedure; exceptions go to the
// application's handler (they never cross into Qt).
LRESULT DeliverMessage(HWND wnd, TMessage& m);

// Qt side of a control.
struct TControlPrivate {
  TControl* Owner = nullptr;
  QPointer<QWidget> Widget;
  HWND Handle = nullptr;          // TWinControl only
  bool OwnWidget = false;         // our own painted widget (not a stock Qt one)
  bool DefaultReached = false;    // DefaultHandler ran for the Qt event being translated
  int TranslateDepth = 0;
  const TMessage* Translating = nullptr;  // the message made from the Qt event
  // Paint of a control without a window: the painter and its context.
  QPainter* Painter = nullptr;
  HDC PaintDC = nullptr;
  bool Bypass = false;            // an event we send ourselves to the Qt widget

  // Turns a Qt event into messages; true when the event is consumed.
  bool HandleEvent(QObject* watched, QEvent* e);
  // The origin of the control's widget inside its parent's widget.
  void PlaceWidget();
};

// Whether the control of a private part taken before a handler ran still
// lives: a handler may free the control, and the part outlives it.
inline bool ControlLives(const std::weak_ptr<TControlPrivate>& Ref) {
  const std::shared_ptr<TControlPrivate> p = Ref.lock();
  return p && p->Owner;
}

// Calls Each for each of Children (children of Parent) in turn. Any call
// may run handlers that free a control, Parent included, or move one
// elsewhere: a child that is freed, on its way out or no longer Parent's
// when its turn comes is skipped, and the walk ends as soon as Parent is
// freed. Answers whether Parent still lives; after a false the caller
// touches nothing of Parent. Every loop of the layer over a control's
// children that can raise an event goes through here.
bool WalkChildren(TWinControl* Parent, const std::vector<TControl*>& Children,
                  const std::function<void(TControl*)>& Each);
// The same over all of Parent's children as they stand when it begins.
bool WalkChildren(TWinControl* Parent, const std::function<void(TControl*)>& Each);

// Attaches a Qt widget as the control's Qt side: parents it, places it,
// installs the event translation, applies the control's properties. For a
// TWinControl a window handle is registered. ownWidget: the widget is our
// painted widget (paint and input all go through messages).
void AttachWidget(TControl* control, QWidget* widget, bool ownWidget);
// The plain painted widget used by TWinControl / TCustomControl / TGraphicControl.
QWidget* CreateOwnWidget(TControl* control);
QWidget* ParentWidgetFor(TControl* control);

// Recomputes a window's client rectangle; sends WM_SIZE when it changed.
void UpdateFrame(HWND wnd);
// Places the frame's scroll bars after a frame or size change.
void LayoutFrameScrollBars(HWND wnd);
// Default frame painting (border edge and the corner between the bars).
void PaintDefaultFrame(HWND wnd, QPainter& painter);
// The virtual key of a Qt key event (keypad distinguished).
UINT VirtualKeyFromQt(int qtKey, unsigned modifiers, bool& extended);
// Remembers key and button state for GetKeyState.
void NoteKeyState(UINT vk, bool down);
// Posted-message and input bookkeeping used by ProcessMessages.
extern std::atomic<int> gPendingPosted;
// The window being asked for a cursor (WM_SETCURSOR); SetCursor applies to it.
extern QWidget* gCursorTarget;
// Last input position in screen coordinates (GetMessagePos).
extern TPoint gLastMessagePos;
// Paints of our own widgets under way (nested when a paint paints another
// window at once). While the toolkit paints and flushes a window, no widget
// of it may leave its parent.
extern int gPaintsUnderWay;
// Current mouse capture.
HWND CaptureWindow();
// Applies the translation of TMessage-level cursor numbers.
class QCursor;
QCursor CursorShape(TCursor cursor);

// The application's hint: shows info with its hint window class; cancelled
// by clicks, keys, the wheel or leaving the cursor rectangle.
void ShowApplicationHint(THintInfo& info, QWidget* over);
void CancelApplicationHint();
// Starts watching the mouse for the application's hints (with the first
// window system connection).
void InstallHintTracking();
// Notes the window each key goes down in: a key's release reaches a
// control only when its press went to the same window.
void InstallKeyTracking();
// Tells every control of every window when the desktop's colours change.
void InstallPaletteTracking();
// Lets screen readers ask our windows for their accessible objects.
void InstallAccessibility();
// Asks the control of w for its hint at a point of w, as the hint timer does.
void SendHintRequest(QWidget* w, QPoint local);
// The control a widget belongs to (its own, or its nearest ancestor's).
TControl* OwningControl(QWidget* w);
class THintWindow;
// Clipboard and drag formats as MIME types: the type a format travels
// under, the format of a type (0 for none), and the fragment of an
// "HTML Format" record.
class QString;
class QByteArray;
QString ClipboardMimeOf(UINT format);
UINT ClipboardFormatOfMime(const QString& mime);
QByteArray ClipboardHtmlFragment(const QByteArray& record);
// Held around each call that may make the toolkit drop the clipboard's data
// (setting or clearing it). A data object of ours that the toolkit drops
// meanwhile goes when the call is over, not inside the toolkit: its release
// may run its owner's handlers, and they may come back to the clipboard (a
// tree that one destroys clears it), which the toolkit is not ready for in
// the middle of a change.
class IDataObject;
class TClipboardChange {
public:
  TClipboardChange();
  ~TClipboardChange();
  TClipboardChange(const TClipboardChange&) = delete;
  TClipboardChange& operator=(const TClipboardChange&) = delete;
  // Takes Object over until the running change is over; false (Object kept)
  // when none runs.
  static bool Defer(std::shared_ptr<IDataObject>& Object);

private:
  TClipboardChange* FOuter;
  std::vector<std::shared_ptr<IDataObject>> FDropped;
};
// Makes a change of the clipboard (inside a TClipboardChange). While our
// data on the clipboard is being read (by the toolkit for another program,
// or by this one), the toolkit must not free it: a change asked for
// meanwhile (by a handler of the rendering, or by a tree that one destroys)
// is made from the message loop once no read runs, unless a change made at
// once supersedes it first. Carries: the data object the change puts on the
// clipboard. True when made at once.
bool ChangeClipboard(const std::function<void()>& Change, std::shared_ptr<IDataObject> Carries = {});
// Empties the clipboard (see ChangeClipboard) of what it holds now: an
// emptying that waits empties only if nothing was put there since, by this
// program or another; the changes that wait ahead of it are made first.
class QClipboard;
class QMimeData;
bool WithdrawClipboard(QClipboard* Board);
// What the clipboard held (Held) is withdrawn: an open bracket of
// TClipboard that took its formats over drops those it has not written.
void ClipboardWithdrawn(const QMimeData* Held);
// The program's own emptying: as the last change asked for, it drops the
// changes that still wait, and then withdraws what the clipboard holds.
bool ClearClipboard(QClipboard* Board);
// Puts Data (taken over) on the clipboard (see ChangeClipboard).
bool SetClipboardMime(QClipboard* Board, QMimeData* Data);
// Whether a read of our data on the clipboard is under way.
bool ClipboardReadRunning();
// Turns a drag-and-drop event over a window into calls of its drop target;
// true when the event was for one.
bool HandleDropEvent(HWND wnd, QEvent* e);
// A 32-bit bitmap's pixels as a Qt image (alpha as stored).
class QImage;
class TBitmap;
QImage ImageOfBitmap(TBitmap& bitmap);
