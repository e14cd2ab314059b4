#pragma once
// Top-level windows (TForm), the application object (message loop, idle
// pumping, exception reporting, hints) and the screen (size, work area,
// fonts, cursors).
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/exception.h"
#include "platform/gui/controls.h"
#include "platform/gui/windows.h"

enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;

using TModalResult = int;
enum : int {
  mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
  mrYes = 6, mrNo = 7, mrClose = 8, mrAll = 12, mrNoToAll = 13, mrYesToAll = 14,
};

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

class TForm;

// The smallest size a form can be given, by the user or by the program
// (outer size, frame included; 0 for no limit).
class TSizeConstraints {
public:
  explicit TSizeConstraints(TForm& Form) : FForm(Form) {}
  int MinWidth() const { return FMinWidth; }
  void SetMinWidth(int value);
  int MinHeight() const { return FMinHeight; }
  void SetMinHeight(int value);

private:
  TForm& FForm;
  int FMinWidth = 0;
  int FMinHeight = 0;
};

class TForm : public TWinControl {
public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  // Runs OnCreate; called once after the derived constructor has finished
  // (TApplication::CreateForm does it, code that uses new calls it itself).
  virtual void AfterConstruction();
  // Runs OnDestroy while the derived form still exists (Free, the owner and
  // Release come here first; a bare delete runs it from ~TForm instead).
  void BeforeDestruction() override;

  void Show();
  void Hide();
  // Visible on a form shows or hides it as Show and Hide do.
  void SetVisible(bool value) override;
  // Shows the form modally and returns its ModalResult. Goes through the
  // dialog hook first (platform/gui/dialogs.h); without a display and
  // without an answer it returns mrCancel at once.
  virtual int ShowModal();
  void Close();
  // Frees the form once the current message has been handled.
  void Release();
  bool CloseQuery();

  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult value) { FModalResult = value; }
  bool Modal() const { return FModal; }
  TBorderStyle BorderStyle() const { return FFormBorderStyle; }
  void SetBorderStyle(TBorderStyle value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition value) { FPosition = value; }
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle value);
  TWindowState WindowState() const;
  void SetWindowState(TWindowState value);
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool value) { FKeyPreview = value; }
  TWinControl* ActiveControl() const;
  void SetActiveControl(TWinControl* value);
  bool Active() const;
  void BringToFront();
  // The form this one belongs to: its window is kept in front of that
  // form's (the window manager is told it is transient for it), and while
  // that form is disabled, activating it brings this one forward instead.
  // nullptr: a window of its own. A form freed first is forgotten.
  TForm* PopupParent() const { return FPopupParent; }
  void SetPopupParent(TForm* value);
  // The part of Width/Height taken by the window manager's frame.
  TSize FrameSize() const;
  TSizeConstraints& Constraints() { return FConstraints; }
  // The canvas OnPaint draws on (bound to the window while it paints).
  TCanvas* Canvas() const { return FCanvas.get(); }
  TRect ClientRect() override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  // Screen position of the client area's top-left corner.
  void Dispatch(TMessage& Message) override;
  // The main form's messages pass the application's main-window hooks first.
  void WndProc(TMessage& Message) override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

protected:
  void CreateWnd() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& Action);
  void SyncWidget() override;
  void PaintWindow(HDC DC) override;

private:
  friend class TApplication;
  friend class TControl;
  friend class TWinControl;
  friend class TSizeConstraints;
  std::unique_ptr<TCanvas> FCanvas;
  TSizeConstraints FConstraints{*this};
  // The widget's smallest size from the constraints.
  void applyMinimumSize();
  void placeOnShow();
  void applyWindowFlags();
  void applyPopupParent();
  // A visible, enabled form that belongs to this one, if any.
  TForm* enabledPopup() const;
  TForm* FPopupParent = nullptr;
  TModalResult FModalResult = mrNone;
  bool FModal = false;
  bool FCreated = false;
  bool FDestroyed = false;
  bool FPlaced = false;
  TBorderStyle FFormBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
  TPosition FPosition = poDesigned;
  TFormStyle FFormStyle = fsNormal;
  TWindowState FWindowState = wsNormal;
  bool FKeyPreview = false;
  TWinControl* FActiveControl = nullptr;
};

class TApplication : public TComponent {
public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  // Creates a form; the first one becomes the main form.
  template <class T>
  T* CreateForm() {
    T* f = new T(this);
    if (!FMainForm) FMainForm = f;
    f->AfterConstruction();
    return f;
  }
  template <class T>
  void CreateForm(T*& Reference) { Reference = CreateForm<T>(); }

  void Initialize();
  // Shows the main form and runs the message loop until Terminate or the
  // main form closes.
  void Run();
  // Handles waiting messages and returns. Cheap when nothing waits: the
  // system queue is really pumped at most once a millisecond, and at once
  // when a message has been posted, so that calling it once per result row
  // costs next to nothing while input still arrives within milliseconds.
  void ProcessMessages();
  // Pumps the system queue now, regardless of the time since the last pump.
  void HandleMessage();
  // Lets windows repaint and timers and posted messages run, but keeps the
  // user's keys and clicks waiting (a long job that must not be changed
  // under its feet, such as printing a page).
  void ProcessMessagesWithoutInput();
  void Terminate();
  bool Terminated() const { return FTerminated; }

  TForm* MainForm() const { return FMainForm; }
  void SetMainForm(TForm* value) { FMainForm = value; }
  const String& Title() const { return FTitle; }
  void SetTitle(const String& value);
  // The language ("ru") of the toolkit's own dialogs (colour, font, print,
  // file: their titles, buttons and labels), from the translations the
  // system keeps for the toolkit; a text they lack, or every text where none
  // are installed, stays in English. True when translations were found.
  bool SetToolkitLanguage(const String& Language);
  String ExeName() const;
  bool Active() const;

  void Minimize();
  void Restore();
  void BringToFront();

  // The default handler: OnException when set, else ShowException. EAbort and
  // EControlGone are silent.
  void HandleException(TObject* Sender);
  void ShowException(const std::exception& E);
  // The box belongs to the window that raised it: the active form when it
  // takes input, else the main form, else the form that disables it.
  int MessageBox(const String& Text, const String& Caption, UINT Flags);

  // Hints.
  const String& Hint() const { return FHint; }
  void SetHint(const String& value);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool value) { FShowHint = value; }
  int HintPause() const { return FHintPause; }
  void SetHintPause(int value) { FHintPause = value; }
  int HintHidePause() const { return FHintHidePause; }
  void SetHintHidePause(int value) { FHintHidePause = value; }
  // The pause before the next hint while one was just showing.
  int HintShortPause() const { return FHintShortPause; }
  void SetHintShortPause(int value) { FHintShortPause = value; }
  TColor HintColor() const { return FHintColor; }
  void SetHintColor(TColor value) { FHintColor = value; }
  void CancelHint();
  void HideHint();
  void ActivateHint(TPoint CursorPos);

  // The hidden window of the application (hot keys, clipboard chain...).
  HWND Handle();

  int ModalLevel() const { return FModalLevel; }

  // Hooks that see every message of the main form before the form does; a
  // hook returning true has handled the message. HookMainWindow returns a
  // cookie for UnhookMainWindow.
  using TWindowHook = std::function<bool(TMessage& Message)>;
  int HookMainWindow(TWindowHook Hook);
  void UnhookMainWindow(int Cookie);
  bool CallMainWindowHooks(TMessage& Message);
  // False keeps the main form hidden when Run starts.
  bool ShowMainForm() const { return FShowMainForm; }
  void SetShowMainForm(bool value) { FShowMainForm = value; }
  // Every message posted to a window of the program, before its window
  // sees it; Handled stops it there.
  std::function<void(TMessage& Msg, bool& Handled)> OnMessage;
  // Records that the program's windows were minimised or restored (by the
  // program or the desktop); OnMinimize / OnRestore fire on each change.
  void NoteMinimized(bool Minimized);

  TExceptionEvent OnException;
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnHint;
  std::function<void(TObject* Sender, bool& Done)> OnIdle;

private:
  friend class TForm;
  TForm* messageOwner() const;
  TForm* FMainForm = nullptr;
  String FTitle;
  bool FTerminated = false;
  bool FRunning = false;
  String FHint;
  bool FShowHint = true;
  int FHintPause = 500;
  int FHintHidePause = 2500;
  int FHintShortPause = 50;
  TColor FHintColor = clInfoBk;
  HWND FHandle = nullptr;
  int FModalLevel = 0;
  bool FMinimized = false;
  std::int64_t FLastPump = 0;
  std::vector<std::pair<int, TWindowHook>> FHooks;
  int FNextHook = 1;
  bool FShowMainForm = true;
};

class TScreen : public TComponent {
public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;

  int Width() const;
  int Height() const;
  int DesktopWidth() const { return Width(); }
  int DesktopHeight() const { return Height(); }
  TRect WorkAreaRect() const;
  int WorkAreaLeft() const { return WorkAreaRect().Left; }
  int WorkAreaTop() const { return WorkAreaRect().Top; }
  int WorkAreaWidth() const { return WorkAreaRect().Width(); }
  int WorkAreaHeight() const { return WorkAreaRect().Height(); }
  int PixelsPerInch() const;
  // Installed font families, sorted.
  std::vector<String> Fonts() const;
  // The desktop's font for hints and tool tips.
  TFont* HintFont();
  // The whole area of the monitor that holds most of R (the primary one
  // when none does).
  TRect MonitorRect(const TRect& R) const;

  // The cursor shown over every window of the program (crDefault: each
  // control's own).
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor value);
  // The shape registered under a cursor number.
  HCURSOR Cursors(int Index) const;
  void SetCursors(int Index, HCURSOR Handle);

  int FormCount() const { return int(FForms.size()); }
  TForm* Forms(int Index) const { return FForms[size_t(Index)]; }
  TForm* ActiveForm() const;
  TWinControl* ActiveControl() const;

private:
  friend class TForm;
  TCursor FCursor = crDefault;
  std::vector<TForm*> FForms;
  std::unique_ptr<TFont> FHintFont;
};

// The program's application and screen objects (made at start-up, before
// any window).
extern TApplication* Application;
extern TScreen* Screen;
