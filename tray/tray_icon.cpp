#include "tray/tray_icon.h"

#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/icon.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/forms.h"
#include "platform/gui/menus.h"
#include "platform/gui/tray.h"
#include "platform/gui/windows.h"

// The hidden window that receives the desktop's notifications for every
// tray icon: made with the first icon, freed with the last.
struct TTrayIconHandler {
  HWND Window = nullptr;
  int RefCount = 0;
  std::vector<TTrayIcon*> Icons;

  static void wndProc(TMessage& m);
};

namespace {

TTrayIconHandler* gTray = nullptr;
UINT gTaskbarCreated = 0;

void acquireTray(TTrayIcon* icon) {
  if (!gTray) {
    gTray = new TTrayIconHandler;
    gTray->Window = AllocateHWnd(&TTrayIconHandler::wndProc);
    gTaskbarCreated = RegisterWindowMessage(u"TaskbarCreated");
  }
  ++gTray->RefCount;
  gTray->Icons.push_back(icon);
}

void releaseTray(TTrayIcon* icon) {
  if (!gTray) return;
  std::erase(gTray->Icons, icon);
  if (--gTray->RefCount > 0) return;
  DeallocateHWnd(gTray->Window);
  delete gTray;
  gTray = nullptr;
}

TPoint cursorPos() {
  TPoint p{0, 0};
  GetCursorPos(&p);
  return p;
}

}  // namespace

void TTrayIconHandler::wndProc(TMessage& m) {
  if (m.Msg != WM_TRAYNOTIFY) {
    switch (m.Msg) {
      case WM_DESTROY: case WM_CLOSE: case WM_QUERYENDSESSION: case WM_QUIT: case WM_ENDSESSION:
      case WM_NCDESTROY:
        m.Result = 1;
        return;
      default:
        m.Result = DefWindowProc(nullptr, m.Msg, m.WParam, m.LParam);
        return;
    }
  }
  if (!gTray) return;
  for (TTrayIcon* icon : gTray->Icons)
    if (icon->FNotifyId == UINT(m.WParam)) {
      icon->handleNotification(m.LParam);
      return;
    }
}

TTrayIcon::TTrayIcon(TComponent* AOwner) : TComponent(AOwner), FIcon(std::make_unique<TIcon>()) {
  static UINT nextId = 1;
  FNotifyId = nextId++;
  acquireTray(this);
  FIcon->OnChange = [this](TObject*) { ModifyIcon(); };
  FCycleTimer = std::make_unique<TSimpleTimer>(1000, [this](TObject*) { cycleStep(); });
  FClickTimer = std::make_unique<TSimpleTimer>(1000, [this](TObject*) { clickStep(); });
  FExitTimer = std::make_unique<TSimpleTimer>(20, [this](TObject*) { exitStep(); });
  if (Application) FHookCookie = Application->HookMainWindow([this](TMessage& m) { return appHook(m); });
}

TTrayIcon::~TTrayIcon() {
  FAlive.reset();
  SetIconVisible(false);
  FCycleTimer.reset();
  FClickTimer.reset();
  FExitTimer.reset();
  FIcon->OnChange = nullptr;
  if (Application && FHookCookie) Application->UnhookMainWindow(FHookCookie);
  releaseTray(this);
}

HWND TTrayIcon::TrayWindow() { return gTray ? gTray->Window : nullptr; }

// ---- properties ------------------------------------------------------------------

void TTrayIcon::SetDesignPreview(bool value) { FDesignPreview = value; }

void TTrayIcon::SetIconList(TImageList* value) {
  if (FIconList) FIconList->RemoveFreeNotification(this);
  FIconList = value;
  if (FIconList) FIconList->FreeNotification(this);
  SetIconIndex(0);
}

void TTrayIcon::SetCycleIcons(bool value) {
  FCycleIcons = value;
  if (!value) {
    FCycleTimer->SetEnabled(false);
    return;
  }
  SetIconIndex(0);
  FCycleTimer->SetInterval(FCycleInterval);
  FCycleTimer->SetEnabled(true);
}

void TTrayIcon::SetCycleInterval(std::uint32_t value) {
  if (value == FCycleInterval) return;
  FCycleInterval = value;
  SetCycleIcons(FCycleIcons);
}

void TTrayIcon::SetHint(const String& value) {
  FHint = value;
  ModifyIcon();
}

void TTrayIcon::SetShowHint(bool value) {
  FShowHint = value;
  ModifyIcon();
}

void TTrayIcon::SetIcon(const TIcon& value) {
  auto keep = std::move(FIcon->OnChange);
  FIcon->OnChange = nullptr;
  FIcon->Assign(value);
  FIcon->OnChange = std::move(keep);
  ModifyIcon();
}

void TTrayIcon::SetIconVisible(bool value) {
  if (value) AddIcon();
  else DeleteIcon();
}

void TTrayIcon::SetIconIndex(int value) {
  if (FIconList) {
    FIconIndex = value;
    if (FIconIndex >= FIconList->Count()) FIconIndex = FIconList->Count() - 1;
    if (FIconIndex >= 0) {
      TBitmap b;
      FIconList->GetBitmap(FIconIndex, &b);
      auto keep = std::move(FIcon->OnChange);
      FIcon->OnChange = nullptr;
      FIcon->AssignBitmap(&b);
      FIcon->OnChange = std::move(keep);
    }
  } else {
    FIconIndex = 0;
  }
  ModifyIcon();
}

void TTrayIcon::SetPopupMenu(TPopupMenu* value) {
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = value;
  if (FPopupMenu) FPopupMenu->FreeNotification(this);
}

void TTrayIcon::SetWantEnterExitEvents(bool value) {
  FWantEnterExitEvents = value;
  FExitTimer->SetEnabled(value);
}

void TTrayIcon::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FIconList) {
    FIconList = nullptr;
    SetIconIndex(0);
  }
  if (AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TTrayIcon::Loaded() {
  TComponent::Loaded();
  if (ownerWindowed()) {
    bool show = true;
    if (OnStartup) OnStartup(this, show);
    if (!show && Application) {
      Application->SetShowMainForm(false);
      HideMainForm();
    }
  }
  ModifyIcon();
  SetIconVisible(FIconVisible);
  SetCycleIcons(FCycleIcons);
  SetWantEnterExitEvents(FWantEnterExitEvents);
  shell(NIM_SETVERSION);
}

// ---- the desktop -------------------------------------------------------------------

bool TTrayIcon::FillNotifyData() {
  FTip = (!FHint.empty() && FShowHint) ? FHint.substr(0, 127) : String();
  return true;
}

bool TTrayIcon::shell(DWORD message) {
  if (!FillNotifyData()) return false;
  TNotifyIconData d;
  d.hWnd = TrayWindow();
  d.uID = FNotifyId;
  d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  d.uCallbackMessage = WM_TRAYNOTIFY;
  d.hIcon = FIcon.get();
  d.szTip = FTip;
  return Shell_NotifyIcon(message, &d);
}

bool TTrayIcon::AddIcon() {
  FIconVisible = true;
  if (FIconShown) return true;
  FIconShown = shell(NIM_ADD);
  return FIconShown;
}

bool TTrayIcon::DeleteIcon() {
  FIconVisible = false;
  if (!FIconShown) return false;
  FIconShown = false;
  return shell(NIM_DELETE);
}

bool TTrayIcon::ModifyIcon() {
  if (!FIconShown) {
    FillNotifyData();
    return false;
  }
  return shell(NIM_MODIFY);
}

// ---- events --------------------------------------------------------------------------

void TTrayIcon::Click() {
  if (OnClick) OnClick(this);
}
void TTrayIcon::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TTrayIcon::CycleIcon() {
  int next = 0;
  if (FIconList && FIconIndex < FIconList->Count() - 1) next = FIconIndex + 1;
  if (OnCycle) OnCycle(this, next);
}
void TTrayIcon::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TTrayIcon::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TTrayIcon::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TTrayIcon::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TTrayIcon::MouseExit() {
  if (OnMouseExit) OnMouseExit(this);
}
void TTrayIcon::DoMinimizeToTray() {
  HideMainForm();
  SetIconVisible(true);
}

TShiftState TTrayIcon::shiftState(TShiftStateItem button) const {
  TShiftState s;
  if (GetAsyncKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetAsyncKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (GetAsyncKeyState(VK_MENU) < 0) s.Include(ssAlt);
  s.Include(button);
  return s;
}

void TTrayIcon::handleNotification(LPARAM code) {
  // Every handler may free the icon, or the form it belongs to: nothing of
  // the icon is touched once one did.
  const std::weak_ptr<bool> alive = FAlive;
  switch (code) {
    case NIN_BALLOONSHOW: if (OnBalloonHintShow) OnBalloonHintShow(this); return;
    case NIN_BALLOONHIDE: if (OnBalloonHintHide) OnBalloonHintHide(this); return;
    case NIN_BALLOONTIMEOUT: if (OnBalloonHintTimeout) OnBalloonHintTimeout(this); return;
    case NIN_BALLOONUSERCLICK: if (OnBalloonHintClick) OnBalloonHintClick(this); return;
    default: break;
  }
  if (!FEnabled) return;
  const TPoint p = cursorPos();
  switch (code) {
    case WM_MOUSEMOVE: {
      TShiftState s;
      if (GetAsyncKeyState(VK_SHIFT) < 0) s.Include(ssShift);
      if (GetAsyncKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
      if (GetAsyncKeyState(VK_MENU) < 0) s.Include(ssAlt);
      if (FWantEnterExitEvents && FMouseOutside) {
        MouseEnter();
        if (alive.expired()) return;
        FMouseOutside = false;
      }
      MouseMove(s, p.x, p.y);
      if (alive.expired()) return;
      FLastPoint = p;
      return;
    }
    case WM_LBUTTONDOWN:
      if (OnDblClick) {
        FClickTimer->SetInterval(GetDoubleClickTime());
        FClickTimer->Start();
      }
      MouseDown(mbLeft, shiftState(ssLeft), p.x, p.y);
      if (alive.expired()) return;
      FLeftDown = true;
      if (FLeftPopup && FPopupMenu && FPopupMenu->AutoPopup()) PopupAtCursor();
      return;
    case WM_LBUTTONUP:
      if (FLeftDown) FClickPending = true;
      if (FLeftDown && !FClickTimer->Enabled()) {
        FLeftDown = false;
        FClickPending = false;
        Click();
        if (alive.expired()) return;
      }
      FLeftDown = false;
      MouseUp(mbLeft, shiftState(ssLeft), p.x, p.y);
      return;
    case WM_LBUTTONDBLCLK:
      FClickPending = false;
      FDblClickSeen = true;
      DblClick();
      if (alive.expired()) return;
      if (FPopupMenu && FPopupMenu->AutoPopup() && !FLeftPopup) {
        TMenuItem* items = FPopupMenu->Items();
        TMenuItem* chosen = nullptr;
        for (int i = items->Count() - 1; i >= 0; --i)
          if (items->Items(i)->Default()) chosen = items->Items(i);
        if (chosen) chosen->Click();
      }
      return;
    case WM_RBUTTONDOWN:
      MouseDown(mbRight, shiftState(ssRight), p.x, p.y);
      if (alive.expired()) return;
      if (FPopupMenu && FPopupMenu->AutoPopup()) PopupAtCursor();
      return;
    case WM_RBUTTONUP:
      MouseUp(mbRight, shiftState(ssRight), p.x, p.y);
      return;
    case WM_MBUTTONDOWN:
      MouseDown(mbMiddle, shiftState(ssMiddle), p.x, p.y);
      return;
    case WM_MBUTTONUP:
      MouseUp(mbMiddle, shiftState(ssMiddle), p.x, p.y);
      return;
    default:
      return;
  }
}

void TTrayIcon::clickStep() {
  FClickTimer->Stop(true);
  if (!FDblClickSeen && FClickPending) {
    FClickPending = false;
    const std::weak_ptr<bool> alive = FAlive;
    Click();
    if (alive.expired()) return;
  }
  FDblClickSeen = false;
}

void TTrayIcon::exitStep() {
  if (FMouseOutside) return;
  const TPoint p = cursorPos();
  if (p.x != FLastPoint.x || p.y != FLastPoint.y) {
    FMouseOutside = true;
    MouseExit();
  }
}

void TTrayIcon::cycleStep() {
  if (!FIconList) return;
  SetIconIndex(FIconIndex);
  const std::weak_ptr<bool> alive = FAlive;
  CycleIcon();
  if (alive.expired()) return;
  SetIconIndex(FIconIndex >= FIconList->Count() - 1 ? 0 : FIconIndex + 1);
}

// ---- the main form ---------------------------------------------------------------

bool TTrayIcon::ownerWindowed() const { return dynamic_cast<TWinControl*>(Owner()) != nullptr; }

void TTrayIcon::ShowMainForm() {
  if (!ownerWindowed() || !Application || !Application->MainForm()) return;
  TForm* f = Application->MainForm();
  Application->Restore();
  if (f->WindowState() == wsMinimized) f->SetWindowState(wsNormal);
  f->SetVisible(true);
  SetForegroundWindow(f->Handle());
}

void TTrayIcon::HideMainForm() {
  if (!ownerWindowed() || !Application || !Application->MainForm()) return;
  Application->MainForm()->SetVisible(false);
}

void TTrayIcon::PopupAtCursor() {
  TPoint p;
  if (GetCursorPos(&p)) showPopup(p.x, p.y);
}

void TTrayIcon::showPopup(int X, int Y) {
  if (!FPopupMenu) return;
  // The messages handled first may free the icon, or its menu.
  const std::weak_ptr<bool> alive = FAlive;
  Application->ProcessMessages();
  if (alive.expired() || !FPopupMenu) return;
  FPopupMenu->SetPopupComponent(this);
  FPopupMenu->Popup(X, Y);
}

bool TTrayIcon::appHook(TMessage& m) {
  TForm* main = Application ? Application->MainForm() : nullptr;
  switch (m.Msg) {
    case WM_SIZE:
      if (m.WParam == SIZE_MINIMIZED && FMinimizeToTray) DoMinimizeToTray();
      return false;
    case WM_WINDOWPOSCHANGED:
      if (FStartupPending && main) {
        if (main->FormStyle() == fsMDIForm) {
          bool show = true;
          const std::weak_ptr<bool> alive = FAlive;
          if (OnStartup) OnStartup(this, show);
          if (alive.expired()) return false;
        }
        FStartupPending = false;
      }
      return false;
    case WM_SHOWWINDOW:
      if (m.WParam == 1 && m.LParam == 0 && main) SetForegroundWindow(main->Handle());
      return false;
    case WM_SYSCOMMAND:
      if ((m.WParam & 0xFFF0) == SC_RESTORE && main) {
        if (main->WindowState() == wsMinimized) main->SetWindowState(wsNormal);
        main->SetVisible(true);
        return false;
      }
      if (m.WParam == SC_MINIMIZE && Owner() == main && FMinimizeToTray && OnMinimizeToTray) {
        const std::weak_ptr<bool> alive = FAlive;
        OnMinimizeToTray(this);
        // A handler that freed the icon took the command with it.
        if (!alive.expired()) DoMinimizeToTray();
        m.Result = 1;
        return true;
      }
      return false;
    default:
      if (gTaskbarCreated && m.Msg == gTaskbarCreated && FIconVisible) {
        FIconShown = false;
        AddIcon();
      }
      return false;
  }
}
