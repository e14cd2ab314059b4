#pragma once
// The control hierarchy: TControl (a rectangle on a parent with font, colour,
// cursor, hint and mouse events), TWinControl (a control with a window of its
// own: messages, focus, keyboard, children, a non-client frame with scroll
// bars) and TCustomControl (a window control that paints itself on a canvas).
//
// Messages reach a control through WndProc, which dispatches to the handlers
// of Dispatch and falls back to DefaultHandler. A derived control overrides
// Dispatch with a switch over the messages it handles and calls the base
// class's Dispatch for everything else; inside a handler, calling the base
// class's Dispatch is the "inherited" handling of that message.
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/component.h"
#include "platform/core/tset.h"
#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/font.h"
#include "platform/graphics/geometry.h"
#include "platform/gui/messages.h"

class TCanvas;
class TWinControl;
class TPopupMenu;
class TForm;

// ---- vocabulary ----------------------------------------------------------
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind>;
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TVerticalAlignment { taAlignTop, taAlignBottom, taVerticalCenter };
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TDragMode { dmManual, dmAutomatic };
enum TDragKind { dkDrag, dkDock };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack,
                   scTop, scBottom, scEndScroll };
enum TControlStyleItem { csAcceptsControls, csCaptureMouse, csDesignInteractive,
                         csClickEvents, csFramed, csSetCaption, csOpaque, csDoubleClicks,
                         csFixedWidth, csFixedHeight, csNoDesignVisible, csReplicatable,
                         csNoStdEvents, csDisplayDragImage, csReflector, csActionClient,
                         csMenuEvents, csNeedsBorderPaint, csParentBackground };
using TControlStyle = TSet<TControlStyleItem>;
enum TControlStateItem { csLButtonDown, csClicked, csPalette, csReadingState, csAlignmentNeeded,
                         csFocusing, csCreating, csPaintCopy, csCustomPaint, csDestroyingHandle,
                         csDocking };
using TControlState = TSet<TControlStateItem>;

// Cursors: the standard shapes have fixed negative numbers; the program may
// register its own shapes at positive indices (TScreen::SetCursors).
using TCursor = int;
enum : int {
  crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSize = -22,
  crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10,
  crHourGlass = -11, crDrag = -12, crNoDrop = -13, crHSplit = -14, crVSplit = -15,
  crMultiDrag = -16, crSQLWait = -17, crNo = -18, crAppStart = -19, crHelp = -20,
  crHandPoint = -21, crSizeAll = -22,
};

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char16_t& Key)>;
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta,
                                            TPoint MousePos, bool& Handled)>;
using TContextPopupEvent =
    std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)>;
// A drag passing over a control (Accept says whether a drop is welcome)
// and a drop on it. Source is the dragged control, nullptr for a drag that
// comes from outside the program.
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;

// Shift state from the key flags of a mouse message, or of the keyboard now.
TShiftState KeysToShiftState(WORD Keys);
TShiftState KeyboardStateToShiftState();
// Shift state from the key data of a key message (Alt from bit 29, the rest
// from the keyboard state).
TShiftState KeyDataToShiftState(LPARAM KeyData);

class THintWindow;
// Makes a hint window of some class for an owner.
using THintWindowClass = std::function<THintWindow*(TComponent* AOwner)>;

// What CM_HINTSHOW carries (LParam points to it). A handler may change the
// text, position, cursor rectangle, window class and data, or answer 1 to
// show no hint.
struct THintInfo {
  class TControl* HintControl = nullptr;
  THintWindowClass HintWindowClass;
  TPoint HintPos;
  int HintMaxWidth = 0;
  TColor HintColor = clInfoBk;
  TRect CursorRect;
  TPoint CursorPos;
  int ReshowTimeout = 0;
  int HideTimeout = 0;
  String HintStr;
  void* HintData = nullptr;
};

// Readers for framework wheel notification CM_MOUSEWHEEL: WParam holds the
// shift state bits and the signed delta, LParam the screen point.
TShiftState MouseWheelShiftState(const TMessage& m);
int MouseWheelDelta(const TMessage& m);
TPoint MouseWheelPos(const TMessage& m);

struct TControlPrivate;  // GUI layer internals

// ---- the drag within the program -------------------------------------------------
// A control dragged onto another control of this program: the target is told
// by CM_DRAG (WParam: a TDragMessage, LParam: a TDragRec*), answers whether
// it would take the drop (Result non-zero) and receives it.
enum TDragMessage { dmDragEnter, dmDragLeave, dmDragMove, dmDragDrop, dmDragCancel, dmFindTarget };
class TControl;
// What is being dragged; a control supplies its own from OnStartDrag, else
// the drag carries a TDragControlObject naming the control.
class TDragObject : public TObject {
public:
  ~TDragObject() override = default;
  TPoint DragPos;          // screen point of the last move
  TControl* DragTarget = nullptr;
};
class TDragControlObject : public TDragObject {
public:
  explicit TDragControlObject(TControl* AControl) : FControl(AControl) {}
  TControl* Control() const { return FControl; }

private:
  TControl* FControl;
};
struct TDragRec {
  TPoint Pos;              // screen coordinates
  TDragObject* Source = nullptr;
  TControl* Target = nullptr;
  bool Docking = false;
};
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;
using TStartDragEvent = std::function<void(TObject* Sender, TDragObject*& DragObject)>;

// What a window is made with: its styles (WS_* and WS_EX_*), class style
// (CS_*) and caption. A control adds to them in CreateParams.
struct TCreateParams {
  String Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  UINT WindowClassStyle = 0;
};
enum : UINT { CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002, CS_DBLCLKS = 0x0008 };

class TControl : public TComponent {
public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // ---- parent and geometry (Left/Top in the parent's client coordinates) ----
  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  virtual TRect ClientRect();
  int ClientWidth() { return ClientRect().Width(); }
  int ClientHeight() { return ClientRect().Height(); }
  void SetClientWidth(int v);
  void SetClientHeight(int v);
  TPoint ClientOrigin();
  TPoint ClientToScreen(TPoint p);
  TPoint ScreenToClient(TPoint p);
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign value);
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors value) { FAnchors = value; }

  // ---- state ----
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Showing() const;
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool value);
  TControlStyle ControlStyle() const { return FControlStyle; }
  void SetControlStyle(TControlStyle value) { FControlStyle = value; }
  TControlState ControlState() const { return FControlState; }
  void SetControlState(TControlState value) { FControlState = value; }

  // ---- appearance ----
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool value);
  TFont* Font() { return FFont.get(); }
  void SetFont(const TFont& value) { FFont->Assign(value); }
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool value);
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor value);
  String Caption() const { return GetText(); }
  void SetCaption(const String& value) { SetText(value); }
  String Text() const { return GetText(); }
  void SetText(const String& value);
  String Hint() const { return FHint; }
  void SetHint(const String& value) { FHint = value; }
  // With ParentShowHint the parent's setting counts.
  bool ShowHint() const;
  void SetShowHint(bool value) { FShowHint = value; FParentShowHint = false; }
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool value) { FParentShowHint = value; }
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* value);
  TBiDiMode BiDiMode() const { return FBiDiMode; }
  void SetBiDiMode(TBiDiMode value);
  bool UseRightToLeftAlignment() const { return FBiDiMode == bdRightToLeft; }
  bool UseRightToLeftReading() const { return FBiDiMode != bdLeftToRight; }
  TDragMode DragMode() const { return FDragMode; }
  void SetDragMode(TDragMode value) { FDragMode = value; }
  TDragKind DragKind() const { return FDragKind; }
  void SetDragKind(TDragKind value) { FDragKind = value; }
  int HelpContext() const { return FHelpContext; }
  void SetHelpContext(int value) { FHelpContext = value; }

  // ---- painting ----
  virtual void Invalidate();
  void Update();
  void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // ---- messages ----
  // Sends a message straight to the control's window procedure.
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  virtual void WndProc(TMessage& Message);
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  // The form this control sits on (the top-level TForm), or nullptr.
  TForm* GetParentForm() const;

  // ---- the drag within the program ----
  // Starts dragging this control: at once, or once the mouse has moved
  // Threshold pixels (negative: the system's drag distance). The drag
  // follows the mouse until a button is released (drop) or Escape.
  void BeginDrag(bool Immediate, int Threshold = -1);
  // Ends this control's drag: dropped where the mouse is, or cancelled.
  void EndDrag(bool Drop);
  // True while this control's drag is pending or running.
  virtual bool Dragging() const;
  TEndDragEvent OnEndDrag;
  TStartDragEvent OnStartDrag;

  // ---- events ----
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TContextPopupEvent OnContextPopup;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;

  // A drag over the control: Accept starts true when OnDragOver is set
  // (which may refuse), false otherwise. A drop calls DragDrop.
  virtual void DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept);
  virtual void DragDrop(TObject* Source, int X, int Y);

  // Layer internals (the Qt side of the control); not for program code.
  TControlPrivate* Private() const { return FPrivate.get(); }
  std::shared_ptr<TControlPrivate> PrivateRef() const { return FPrivate; }

protected:
  virtual String GetText() const { return FText; }
  virtual void TextChanged();
  virtual void Click();
  virtual void DblClick();
  virtual void Resize();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
  virtual void VisibleChanging() {}
  // The drag of this control starts (DragObject: one of the control's own,
  // or nullptr for the default) and ends (Target nullptr: cancelled).
  virtual void DoStartDrag(TDragObject*& DragObject);
  virtual void DoEndDrag(TObject* Target, int X, int Y);
  // What a control does with CM_DRAG unless it handles it: asks DragOver
  // (OnDragOver; no handler: refused), hands the drop to DragDrop, names
  // itself as the target.
  void DefaultDragMessage(TMessage& Message);
  // Called when the parent changes its font or colour and this follows it.
  virtual void ParentFontChanged();
  virtual void ParentColorChanged();
  // Applies font, colour, cursor, enabled state and text to the Qt side.
  virtual void SyncWidget();
  void FontChanged();
  // Makes the Qt side of the control; stock controls override it in the layer.
  virtual void CreateWnd();
  virtual void DestroyWnd();

  // Shared so that event translation can outlive a control freed by its handler.
  std::shared_ptr<TControlPrivate> FPrivate;

private:
  friend class TWinControl;
  friend struct TControlPrivate;
  friend struct TDragAccess;
  void mouseButtonMessage(TMessage& m, TMouseButton button, int kind);
  void colorChanged();

  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  TAnchors FAnchors{akLeft, akTop};
  bool FVisible = true;
  bool FEnabled = true;
  TControlStyle FControlStyle{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  TControlState FControlState;
  TColor FColor = clWindow;
  bool FParentColor = false;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  TCursor FCursor = crDefault;
  String FText;
  String FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  TPopupMenu* FPopupMenu = nullptr;
  TBiDiMode FBiDiMode = bdLeftToRight;
  TDragMode FDragMode = dmManual;
  TDragKind FDragKind = dkDrag;
  int FHelpContext = 0;
  bool FMouseInControl = false;

protected:
  // Anchor distances kept when the parent is resized.
  int FAnchorRight = -1, FAnchorBottom = -1;
  void Notification(TComponent* AComponent, TOperation Operation) override;
};

class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The window; made on first use (after the parent's).
  HWND Handle();
  bool HandleAllocated() const;
  void HandleNeeded() { Handle(); }
  // Destroys and re-makes the window (after a style change).
  void RecreateWnd();

  int ControlCount() const { return int(FControls.size()); }
  TControl* Controls(int index) const { return FControls[size_t(index)]; }
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  bool ContainsControl(TControl* Control) const;

  // Focus.
  virtual bool CanFocus() const;
  bool Focused() const;
  virtual void SetFocus();
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool value) { FTabStop = value; }
  int TabOrder() const;
  void SetTabOrder(int value);
  // Fills List with the focusable descendants in tab order.
  void GetTabOrderList(std::vector<TWinControl*>& List);
  // Moves the focus to the next (or previous) control in tab order.
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                               bool CheckParent);
  void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);

  // Frame styles that add a non-client border.
  bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle value);
  int BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int value);
  // Re-computes the client rectangle from WM_NCCALCSIZE and repaints the frame.
  void FrameChanged();
  // The rectangle of the whole window (frame included) in client coordinates
  // of the parent, and the client area inside it in window coordinates.
  TRect ClientRect() override;
  TRect WindowClientRect();

  void Invalidate() override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  // Lays out aligned and anchored children again.
  void Realign();
  void DisableAlign() { ++FAlignLevel; }
  void EnableAlign();

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;

protected:
  void CreateWnd() override;
  void DestroyWnd() override;
  // The styles the window is made with; frame style changes (border, 3-D
  // look) ask again.
  virtual void CreateParams(TCreateParams& Params);
  // Called once the window exists, after its children have their windows.
  virtual void CreateHandle();
  virtual void KeyDown(WORD& Key, TShiftState Shift);
  virtual void KeyUp(WORD& Key, TShiftState Shift);
  virtual void KeyPress(char16_t& Key);
  virtual void DoEnter();
  virtual void DoExit();
  virtual void AlignControls(TControl* AControl, TRect& Rect);
  virtual void PaintWindow(HDC DC);
  // Frame widths of the default non-client area (border, 3-D edge).
  virtual TRect DefaultFrame();
  void SyncWidget() override;

private:
  friend class TControl;
  friend struct TControlPrivate;
  void handleKey(TMessage& m);
  void defaultNcCalcSize(TMessage& m);
  void defaultNcHitTest(TMessage& m);
  void defaultNcPaint(TMessage& m);
  void defaultEraseBackground(TMessage& m);
  void defaultSetCursor(TMessage& m);
  void defaultContextMenu(TMessage& m);
  void defaultKeyNavigation(TMessage& m);

  std::vector<TControl*> FControls;
  bool FTabStop = false;
  bool FCtl3D = true;
  TBorderStyle FBorderStyle = bsNone;
  int FBorderWidth = 0;
  int FAlignLevel = 0;
};

class TCustomControl : public TWinControl {
public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;

  // The canvas is bound to the window while Paint runs; outside a paint it
  // measures like the screen and draws nowhere.
  TCanvas* Canvas() const { return FCanvas.get(); }
  void Dispatch(TMessage& Message) override;

protected:
  virtual void Paint();
  void PaintWindow(HDC DC) override;

private:
  std::unique_ptr<TCanvas> FCanvas;
};

// A control without a window of its own that paints itself on its parent.
class TGraphicControl : public TControl {
public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas* Canvas() const { return FCanvas.get(); }

protected:
  virtual void Paint();
  void Dispatch(TMessage& Message) override;

private:
  friend struct TControlPrivate;
  std::unique_ptr<TCanvas> FCanvas;
};

// Finds the control that owns a window (nullptr for hidden windows).
TWinControl* FindControl(HWND Handle);
