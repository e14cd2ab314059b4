#pragma once
// TTrayIcon: the program's icon in the desktop's notification area. It
// reports clicks on the icon as events, pops up its menu, can cycle its
// picture through an image list, and hides and restores the main form
// (minimise to tray). Where the desktop has no notification area the icon
// is simply not shown (IconShown stays false) and everything else works.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/component.h"
#include "platform/gui/controls.h"
#include "platform/gui/messages.h"
#include "tray/simple_timer.h"

class TIcon;
class TImageList;
class TPopupMenu;

using TCycleEvent = std::function<void(TObject* Sender, int NextIndex)>;
using TStartupEvent = std::function<void(TObject* Sender, bool& ShowMainForm)>;

// The callback message the tray window receives for every icon.
constexpr UINT WM_TRAYNOTIFY = WM_USER + 1024;

class TTrayIcon : public TComponent {
public:
  explicit TTrayIcon(TComponent* AOwner);
  ~TTrayIcon() override;

  // ---- properties ----
  bool DesignPreview() const { return FDesignPreview; }
  void SetDesignPreview(bool value);
  TImageList* IconList() const { return FIconList; }
  void SetIconList(TImageList* value);
  bool CycleIcons() const { return FCycleIcons; }
  void SetCycleIcons(bool value);
  std::uint32_t CycleInterval() const { return FCycleInterval; }
  void SetCycleInterval(std::uint32_t value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  const String& Hint() const { return FHint; }
  void SetHint(const String& value);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool value);
  TIcon* Icon() const { return FIcon.get(); }
  void SetIcon(const TIcon& value);
  bool IconVisible() const { return FIconVisible; }
  void SetIconVisible(bool value);
  int IconIndex() const { return FIconIndex; }
  void SetIconIndex(int value);
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* value);
  bool LeftPopup() const { return FLeftPopup; }
  void SetLeftPopup(bool value) { FLeftPopup = value; }
  bool WantEnterExitEvents() const { return FWantEnterExitEvents; }
  void SetWantEnterExitEvents(bool value);
  bool MinimizeToTray() const { return FMinimizeToTray; }
  void SetMinimizeToTray(bool value) { FMinimizeToTray = value; }

  // True while the desktop shows the icon: IconVisible was set and the
  // desktop has a notification area.
  bool IconShown() const { return FIconShown; }

  // ---- operations ----
  void ShowMainForm();
  void HideMainForm();
  void PopupAtCursor();
  void Loaded() override;

  // The shared window the desktop reports to, and this icon's number there
  // (the notifications can be sent to it directly).
  static HWND TrayWindow();
  UINT IconId() const { return FNotifyId; }
  // The text the desktop shows as the tip (at most 127 characters).
  const String& Tip() const { return FTip; }

  // ---- events ----
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;
  TCycleEvent OnCycle;
  TNotifyEvent OnBalloonHintShow;
  TNotifyEvent OnBalloonHintHide;
  TNotifyEvent OnBalloonHintTimeout;
  TNotifyEvent OnBalloonHintClick;
  TNotifyEvent OnMinimizeToTray;
  TStartupEvent OnStartup;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual bool AddIcon();
  virtual bool DeleteIcon();
  virtual bool ModifyIcon();
  virtual void Click();
  virtual void DblClick();
  virtual void CycleIcon();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseEnter();
  virtual void MouseExit();
  virtual void DoMinimizeToTray();

private:
  friend struct TTrayIconHandler;
  bool FillNotifyData();
  bool shell(DWORD message);
  void handleNotification(LPARAM code);
  bool appHook(TMessage& m);
  void cycleStep();
  void clickStep();
  void exitStep();
  bool ownerWindowed() const;
  TShiftState shiftState(TShiftStateItem button) const;
  void showPopup(int X, int Y);

  bool FDesignPreview = false;
  TImageList* FIconList = nullptr;
  bool FCycleIcons = false;
  std::uint32_t FCycleInterval = 0;
  bool FEnabled = true;
  String FHint;
  bool FShowHint = true;
  std::unique_ptr<TIcon> FIcon;
  bool FIconVisible = false;
  int FIconIndex = 0;
  TPopupMenu* FPopupMenu = nullptr;
  bool FLeftPopup = false;
  bool FWantEnterExitEvents = false;
  bool FMinimizeToTray = false;

  UINT FNotifyId = 0;
  String FTip;
  bool FIconShown = false;
  std::unique_ptr<TSimpleTimer> FCycleTimer;
  std::unique_ptr<TSimpleTimer> FClickTimer;
  std::unique_ptr<TSimpleTimer> FExitTimer;
  bool FLeftDown = false;
  bool FClickPending = false;
  bool FDblClickSeen = false;
  bool FMouseOutside = true;
  bool FStartupPending = true;
  TPoint FLastPoint;
  int FHookCookie = 0;
  // Expires as the icon goes: a handler may free it (or its form), and the
  // code that raised the handler asks this before it goes on.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
