// TForm: top-level windows, showing and closing, modal runs.
#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

#include "platform/graphics/canvas.h"
#include "platform/graphics/canvas_qt.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"
#include "platform/gui/stdctrls.h"

namespace {
// Width and height a bordered form keeps for the window manager's frame, so
// that Width/Height and ClientWidth/ClientHeight relate as the program's
// layout code expects, whatever frame the desktop draws.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 39;

// Borders the user cannot drag to another size.
bool hasFixedSize(TBorderStyle Style) { return Style == bsSingle || Style == bsDialog || Style == bsToolWindow; }
}  // namespace

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {
  TControl::SetVisible(false);
  SetColor(clBtnFace);
  SetParentFont(false);
  TControl::SetBounds(0, 0, 320 + kFrameWidth, 240 + kFrameHeight);
  if (Screen) Screen->FForms.push_back(this);
}

void TForm::BeforeDestruction() {
  if (FDestroyed) return;
  FDestroyed = true;
  if (FCreated && OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      if (Application) Application->HandleException(this);
    }
  }
  TWinControl::BeforeDestruction();
}

TForm::~TForm() {
  BeforeDestruction();
  if (Screen) std::erase(Screen->FForms, this);
  if (Application && Application->MainForm() == this) Application->SetMainForm(nullptr);
}

void TForm::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  // A failing OnCreate is shown by the default handler and the form is kept,
  // so the program still starts (and its later forms are still created).
  if (OnCreate) {
    try {
      OnCreate(this);
    } catch (...) {
      if (!Application) throw;
      Application->HandleException(this);
    }
  }
}

TSize TForm::FrameSize() const {
  if (FFormBorderStyle == bsNone) return {0, 0};
  return {kFrameWidth, kFrameHeight};
}

TRect TForm::ClientRect() {
  TSize f = FrameSize();
  return {0, 0, std::max(Width() - f.cx, 0), std::max(Height() - f.cy, 0)};
}

void TSizeConstraints::SetMinWidth(int value) {
  FMinWidth = std::max(value, 0);
  FForm.applyMinimumSize();
}

void TSizeConstraints::SetMinHeight(int value) {
  FMinHeight = std::max(value, 0);
  FForm.applyMinimumSize();
}

void TForm::applyMinimumSize() {
  // The form sized places its controls, whose handlers may free it.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  if (Width() < FConstraints.MinWidth() || Height() < FConstraints.MinHeight())
    SetBounds(Left(), Top(), Width(), Height());
  if (!ControlLives(self)) return;
  QWidget* w = FPrivate->Widget;
  if (!w || hasFixedSize(FFormBorderStyle)) return;
  const TSize f = FrameSize();
  w->setMinimumSize(std::max(FConstraints.MinWidth() - f.cx, 0), std::max(FConstraints.MinHeight() - f.cy, 0));
}

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, FConstraints.MinWidth());
  AHeight = std::max(AHeight, FConstraints.MinHeight());
  // The window moved or sized places the controls on it, whose handlers
  // may free the form.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (!ControlLives(self)) return;
  QWidget* w = FPrivate->Widget;
  if (!w) return;
  TSize f = FrameSize();
  if (w->pos() != QPoint(ALeft, ATop)) w->move(ALeft, ATop);
  if (!ControlLives(self)) return;
  QSize s(std::max(AWidth - f.cx, 0), std::max(AHeight - f.cy, 0));
  // A fixed border stops the user, not the program: the limits move with
  // the size the program sets (a resize alone is held at the old limits).
  if (hasFixedSize(FFormBorderStyle)) w->setFixedSize(s);
  if (!ControlLives(self)) return;
  if (w->size() != s) w->resize(s);
}

void TForm::CreateWnd() {
  if (FPrivate->Handle) return;
  EnsureQtApplication();
  QWidget* w = CreateOwnWidget(this);
  AttachWidget(this, w, true);
  applyWindowFlags();
  TSize f = FrameSize();
  w->move(Left(), Top());
  w->resize(std::max(Width() - f.cx, 0), std::max(Height() - f.cy, 0));
  FPrivate->Handle->Client = {0, 0, w->width(), w->height()};
  w->setFocusPolicy(Qt::NoFocus);
  SyncWidget();
}

void TForm::applyWindowFlags() {
  QWidget* w = FPrivate->Widget;
  if (!w) return;
  Qt::WindowFlags flags = Qt::Window;
  switch (FFormBorderStyle) {
    case bsNone: flags |= Qt::FramelessWindowHint; break;
    case bsDialog: flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint; break;
    case bsToolWindow: case bsSizeToolWin: flags = Qt::Tool; break;
    default: break;
  }
  if (FFormBorderStyle != bsNone) {
    flags |= Qt::WindowTitleHint;
    if (FBorderIcons.Contains(biSystemMenu)) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (FBorderIcons.Contains(biMinimize)) flags |= Qt::WindowMinimizeButtonHint;
    if (FBorderIcons.Contains(biMaximize) && FFormBorderStyle == bsSizeable)
      flags |= Qt::WindowMaximizeButtonHint;
    flags |= Qt::CustomizeWindowHint;
  }
  if (FFormStyle == fsStayOnTop) flags |= Qt::WindowStaysOnTopHint;
  // Desktops keep only dialog-like windows in front of the window they
  // belong to: a plain window that belongs to a form becomes one.
  if (FPopupParent && (flags & Qt::WindowType_Mask) == Qt::Window)
    flags = (flags & ~Qt::WindowFlags(Qt::WindowType_Mask)) | Qt::Dialog;
  bool visible = w->isVisible();
  // The window made anew hands the focus on and is resized: the exit and
  // size handlers (the form's, its controls') may free the form.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  w->setWindowFlags(flags);
  if (!ControlLives(self)) return;
  // The form's own size, not the widget's: before the first resize the
  // widget still has the toolkit's default size.
  const TSize f = FrameSize();
  if (hasFixedSize(FFormBorderStyle))
    w->setFixedSize(std::max(Width() - f.cx, 0), std::max(Height() - f.cy, 0));
  else
    w->setMinimumSize(0, 0), w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (!ControlLives(self)) return;
  applyMinimumSize();
  if (!ControlLives(self)) return;
  if (visible) {
    applyPopupParent();
    if (!ControlLives(self)) return;
    w->show();
  }
}

void TForm::PaintWindow(HDC) {
  HWND h = FPrivate->Handle;
  if (!OnPaint || !h || !h->Painter) return;
  // The handler may free the form: the record outlives it and tells the
  // way out to touch nothing of it.
  const std::shared_ptr<const TControlPrivate> life = FPrivate;
  CanvasBeginPaint(*FCanvas, *h->Painter);
  FCanvas->Font()->Assign(*Font());
  try {
    OnPaint(this);
  } catch (...) {
    if (life->Owner) CanvasEndPaint(*FCanvas);
    throw;
  }
  if (!life->Owner) return;
  CanvasEndPaint(*FCanvas);
}

void TForm::SyncWidget() {
  TWinControl::SyncWidget();
  if (QWidget* w = FPrivate->Widget) {
    String c = Caption();
    w->setWindowTitle(QString::fromUtf16(c.data(), qsizetype(c.size())));
  }
}

void TForm::SetBorderStyle(TBorderStyle value) {
  if (FFormBorderStyle == value) return;
  TRect client = ClientRect();
  FFormBorderStyle = value;
  // The client area keeps its size; the frame allowance changes.
  TSize f = FrameSize();
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  TControl::SetBounds(Left(), Top(), client.Width() + f.cx, client.Height() + f.cy);
  if (!ControlLives(self)) return;
  applyWindowFlags();
}

void TForm::SetBorderIcons(TBorderIcons value) {
  FBorderIcons = value;
  applyWindowFlags();
}

void TForm::SetFormStyle(TFormStyle value) {
  if (FFormStyle == value) return;
  FFormStyle = value;
  applyWindowFlags();
}

TWindowState TForm::WindowState() const {
  if (QWidget* w = FPrivate->Widget; w && w->isVisible()) {
    if (w->isMinimized()) return wsMinimized;
    if (w->isMaximized()) return wsMaximized;
    return wsNormal;
  }
  return FWindowState;
}

void TForm::SetWindowState(TWindowState value) {
  FWindowState = value;
  QWidget* w = FPrivate->Widget;
  if (!w || !w->isVisible()) return;
  switch (value) {
    case wsMinimized: w->showMinimized(); break;
    case wsMaximized: w->showMaximized(); break;
    default: w->showNormal(); break;
  }
}

TWinControl* TForm::ActiveControl() const { return FActiveControl; }

void TForm::SetActiveControl(TWinControl* value) {
  FActiveControl = value;
  if (value && Visible() && value->CanFocus() && value->HandleAllocated() && !value->Focused())
    ::SetFocus(value->Handle());
}

bool TForm::Active() const {
  QWidget* w = FPrivate->Widget;
  return w && w->isActiveWindow();
}

void TForm::BringToFront() {
  QWidget* w = FPrivate->Widget;
  if (!w) return;
  if (w->isMinimized()) w->showNormal();
  if (!IsHeadless()) w->raise();
  w->activateWindow();
}

TForm* TForm::enabledPopup() const {
  if (!Screen) return nullptr;
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TForm* f = Screen->Forms(i);
    if (f != this && f->FPopupParent == this && f->Visible() && f->Enabled()) return f;
  }
  return nullptr;
}

void TForm::SetPopupParent(TForm* value) {
  if (value == this) value = nullptr;
  if (FPopupParent) FPopupParent->RemoveFreeNotification(this);
  const bool changed = FPopupParent != value;
  FPopupParent = value;
  if (FPopupParent) FPopupParent->FreeNotification(this);
  if (changed) applyWindowFlags();
}

void TForm::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupParent) {
    FPopupParent = nullptr;
    if (!(ComponentState().Contains(csDestroying))) applyWindowFlags();
  }
}

// The desktop reads whom a window belongs to when the window is mapped, so
// this runs just before each show; the native windows are made here (a
// change of border style makes them anew).
void TForm::applyPopupParent() {
  QWidget* w = FPrivate->Widget;
  if (!w) return;
  QWindow* parent = nullptr;
  if (FPopupParent) {
    // Making the other form's windows runs its handlers, which may free
    // either form.
    const std::weak_ptr<TControlPrivate> self = FPrivate;
    FPopupParent->HandleNeeded();
    if (!ControlLives(self)) return;
    if (!FPopupParent) return;
    if (QWidget* p = FPopupParent->FPrivate->Widget) {
      p->winId();
      parent = p->windowHandle();
    }
  }
  if (!parent && !w->windowHandle()) return;
  w->winId();
  if (QWindow* own = w->windowHandle()) own->setTransientParent(parent);
}

void TForm::placeOnShow() {
  if (FPlaced) return;
  FPlaced = true;
  TRect area = Screen ? Screen->WorkAreaRect() : TRect{};
  auto centreOn = [&](const TRect& r) {
    SetBounds(r.Left + (r.Width() - Width()) / 2, r.Top + (r.Height() - Height()) / 2, Width(), Height());
  };
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter:
      if (Screen) centreOn({0, 0, Screen->Width(), Screen->Height()});
      break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TForm* other = FPosition == poOwnerFormCenter ? dynamic_cast<TForm*>(Owner()) : nullptr;
      if (!other && Application) other = Application->MainForm();
      if (other && other != this)
        centreOn(other->BoundsRect());
      else if (!area.IsEmpty())
        centreOn(area);
      break;
    }
    default: break;
  }
}

void TForm::Show() {
  // Making the windows raises the controls' events, and showing raises the
  // form's own: a handler may free the form, which is touched no more then.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  HandleNeeded();
  if (!ControlLives(self)) return;
  placeOnShow();
  applyPopupParent();
  if (!ControlLives(self)) return;
  if (!Visible()) {
    DoShow();
    if (!ControlLives(self)) return;
    TControl::SetVisible(true);
  } else if (QWidget* w = FPrivate->Widget) {
    w->show();
  }
  if (!ControlLives(self)) return;
  if (FWindowState != wsNormal) SetWindowState(FWindowState);
  if (!ControlLives(self)) return;
  BringToFront();
}

void TForm::SetVisible(bool value) {
  if (value)
    Show();
  else
    Hide();
}

void TForm::Hide() {
  if (!Visible()) return;
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  DoHide();
  if (!ControlLives(self)) return;
  TControl::SetVisible(false);
}

void TForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TForm::Close() {
  if (FModal) {
    if (FModalResult == mrNone) FModalResult = mrCancel;
    return;
  }
  // Either handler may free the form.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  const bool can = CloseQuery();
  if (!can || !ControlLives(self)) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone || !ControlLives(self)) return;
  if (Application && Application->MainForm() == this) {
    Hide();
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
  }
}

void TForm::Release() {
  // The hide handlers, and the windows made, may free the form already.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  Hide();
  if (!ControlLives(self)) return;
  HWND h = Handle();
  if (!h || !ControlLives(self)) return;
  std::uint64_t serial = h->Serial;
  QTimer::singleShot(0, QCoreApplication::instance(), [h, serial] {
    if (IsLiveWindow(h, serial)) h->Control->Free();
  });
}

int TForm::ShowModal() {
  TDialogRequest req;
  req.Kind = dkModalForm;
  req.Caption = Caption();
  req.Dialog = this;
  int answer = 0;
  if (AskDialogHook(req, answer)) {
    FModalResult = answer;
    return answer;
  }
  EnsureQtApplication();
  if (IsHeadless()) {
    FModalResult = mrCancel;
    return mrCancel;
  }
  FModalResult = mrNone;
  FModal = true;
  // A handler run while the windows are made may free the form.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  HandleNeeded();
  if (!ControlLives(self)) return mrCancel;
  QWidget* w = FPrivate->Widget;
  w->setWindowModality(Qt::ApplicationModal);
  if (Application) ++Application->FModalLevel;
  Show();
  if (!ControlLives(self)) {
    if (Application) --Application->FModalLevel;
    return mrCancel;
  }
  HWND h = Handle();
  std::uint64_t serial = h->Serial;
  // A handler run by the loop may free the form: its window may outlive it
  // for a moment, so the form's own life is asked first.
  while (ControlLives(self) && IsLiveWindow(h, serial) && FModalResult == mrNone && Visible() &&
         !(Application && Application->Terminated()))
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  if (Application) --Application->FModalLevel;
  if (!ControlLives(self) || !IsLiveWindow(h, serial)) return mrCancel;
  FModal = false;
  int result = FModalResult == mrNone ? mrCancel : FModalResult;
  Hide();
  if (ControlLives(self) && FPrivate->Widget == w) w->setWindowModality(Qt::NonModal);
  return result;
}

void TForm::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_CLOSE:
      Close();
      return;
    case WM_ACTIVATE: {
      // The other form brought forward may run handlers that free this one.
      const std::weak_ptr<TControlPrivate> self = FPrivate;
      TWinControl::Dispatch(m);
      if (!ControlLives(self)) return;
      // A form disabled by one of its own (a manager, a settings window)
      // cannot take input: that one comes forward, so it is never left
      // behind the form it disables.
      if (LOWORD(m.WParam) != 0 && !Enabled())
        if (TForm* front = enabledPopup()) front->BringToFront();
      if (!ControlLives(self)) return;
      if (LOWORD(m.WParam) != 0) {
        if (OnActivate) OnActivate(this);
      } else if (OnDeactivate) {
        OnDeactivate(this);
      }
      return;
    }
    case WM_SYSCOMMAND:
      switch (m.WParam & 0xFFF0) {
        case SC_MINIMIZE:
          if (m.LParam == 1) return;  // reported after the desktop minimised it
          if (Application && Application->MainForm() == this) Application->Minimize();
          else SetWindowState(wsMinimized);
          return;
        case SC_MAXIMIZE: SetWindowState(wsMaximized); return;
        case SC_RESTORE: {
          // The window restored reports its state, whose handlers may free the form.
          const std::weak_ptr<TControlPrivate> self = FPrivate;
          SetWindowState(wsNormal);
          if (ControlLives(self)) Show();
          return;
        }
        case SC_CLOSE: Perform(WM_CLOSE, 0, 0); return;
        default: TWinControl::Dispatch(m); return;
      }
    case CM_DIALOGKEY: {
      // Return presses the default button, Escape the cancel button.
      std::vector<TWinControl*> list;
      GetTabOrderList(list);
      for (TWinControl* c : list) {
        auto* b = dynamic_cast<TButton*>(c);
        if (!b || !b->CanFocus()) continue;
        if ((m.WParam == VK_RETURN && b->Default()) || (m.WParam == VK_ESCAPE && b->Cancel())) {
          b->Click();
          m.Result = 1;
          return;
        }
      }
      return;
    }
    case WM_PAINT:
      TWinControl::Dispatch(m);
      return;
    default:
      TWinControl::Dispatch(m);
      return;
  }
}
