// The tray icon's click logic, menu, picture cycling, hint, main-form
// hiding, and the shared-window timer, driven through the notifications
// the desktop sends to the tray window.
#include "tray/tray_icon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/icon.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/menus.h"
#include "platform/gui/tray.h"
#include "platform/gui/windows.h"
#include "platform/core/strings.h"

namespace {

template <class Pred>
bool pumpUntil(Pred pred, int ms = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Application->HandleMessage();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class TrayIcon : public ::testing::Test {
protected:
  void SetUp() override {
    Application->Initialize();
    Form = new TForm(nullptr);
    Application->SetMainForm(Form);
    Icon = new TTrayIcon(Form);
    Icon->OnMouseUp = [this](TObject*, TMouseButton b, TShiftState, int, int) {
      Log.push_back(b == mbLeft ? "up-left" : "up-other");
    };
    Icon->OnMouseDown = [this](TObject*, TMouseButton b, TShiftState, int, int) {
      Log.push_back(b == mbLeft ? "down-left" : b == mbRight ? "down-right" : "down-middle");
    };
    Icon->OnClick = [this](TObject*) { Log.push_back("click"); };
  }
  void TearDown() override {
    SetDialogHook(nullptr);
    Application->SetMainForm(nullptr);
    delete Form;
  }
  void send(LPARAM code) { SendMessage(TTrayIcon::TrayWindow(), WM_TRAYNOTIFY, Icon->IconId(), code); }

  TForm* Form = nullptr;
  TTrayIcon* Icon = nullptr;
  std::vector<std::string> Log;
};

}  // namespace

TEST_F(TrayIcon, ClickWithoutDoubleClickHandlerFiresAtReleaseBeforeMouseUp) {
  send(WM_LBUTTONDOWN);
  send(WM_LBUTTONUP);
  EXPECT_EQ(Log, (std::vector<std::string>{"down-left", "click", "up-left"}));
}

TEST_F(TrayIcon, DoubleClickHandlerDefersTheClickAndADoubleClickSuppressesIt) {
  int doubles = 0;
  Icon->OnDblClick = [&](TObject*) { ++doubles; };
  send(WM_LBUTTONDOWN);
  send(WM_LBUTTONUP);
  EXPECT_EQ(Log, (std::vector<std::string>{"down-left", "up-left"}));
  ASSERT_TRUE(pumpUntil([&] { return Log.size() == 3; }));
  EXPECT_EQ(Log.back(), "click");

  Log.clear();
  send(WM_LBUTTONDOWN);
  send(WM_LBUTTONUP);
  send(WM_LBUTTONDBLCLK);
  EXPECT_EQ(doubles, 1);
  pumpUntil([] { return false; }, GetDoubleClickTime() + 100);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "click"), 0);
}

TEST_F(TrayIcon, DoubleClickRunsTheLowestDefaultItemAndRightButtonPopsTheMenu) {
  TPopupMenu menu(Form);
  std::vector<std::string> chosen;
  for (const char16_t* caption : {u"развернуть", u"свернуть", u"выход"}) {
    auto* item = new TMenuItem(&menu);
    item->SetCaption(caption);
    item->OnClick = [&chosen, caption](TObject*) { chosen.push_back(UTF16ToUTF8(caption)); };
    menu.Items()->Add(item);
  }
  menu.Items()->Items(1)->SetDefault(true);
  menu.Items()->Items(2)->SetDefault(true);
  Icon->SetPopupMenu(&menu);
  send(WM_LBUTTONDBLCLK);
  EXPECT_EQ(chosen, std::vector<std::string>{"свернуть"});

  int popups = 0;
  SetDialogHook([&](TDialogRequest& r, int& result) {
    if (r.Kind != dkPopupMenu) return false;
    ++popups;
    EXPECT_EQ(static_cast<TPopupMenu*>(r.Dialog)->PopupComponent(), Icon);
    result = 2;
    return true;
  });
  send(WM_RBUTTONDOWN);
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(chosen.back(), "выход");
}

TEST_F(TrayIcon, DisabledIconIgnoresTheMouseButNotBalloons) {
  int balloons = 0;
  Icon->OnBalloonHintClick = [&](TObject*) { ++balloons; };
  Icon->SetEnabled(false);
  send(WM_LBUTTONDOWN);
  send(WM_LBUTTONUP);
  send(WM_RBUTTONDOWN);
  send(NIN_BALLOONUSERCLICK);
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(balloons, 1);
}

TEST_F(TrayIcon, HintIsCutAndIconIndexStaysInTheList) {
  Icon->SetHint(String(200, u'x'));
  EXPECT_EQ(Icon->Tip().size(), 127u);
  Icon->SetShowHint(false);
  EXPECT_EQ(Icon->Tip(), u"");

  TImageList list(Form);
  TBitmap b(16, 16);
  list.Add(&b, nullptr);
  list.Add(&b, nullptr);
  Icon->SetIconList(&list);
  Icon->SetIconIndex(5);
  EXPECT_EQ(Icon->IconIndex(), 1);
  EXPECT_FALSE(Icon->Icon()->Empty());
  TImageList empty(Form);
  Icon->SetIconList(&empty);
  Icon->SetIconIndex(3);
  EXPECT_EQ(Icon->IconIndex(), -1);
  Icon->SetIconList(nullptr);
  EXPECT_EQ(Icon->IconIndex(), 0);

  // Cycling without an interval only resets the index.
  Icon->SetIconList(&list);
  Icon->SetIconIndex(1);
  int cycles = 0;
  Icon->OnCycle = [&](TObject*, int) { ++cycles; };
  Icon->SetCycleIcons(true);
  EXPECT_EQ(Icon->IconIndex(), 0);
  pumpUntil([] { return false; }, 100);
  EXPECT_EQ(cycles, 0);
  Icon->SetCycleInterval(10);
  ASSERT_TRUE(pumpUntil([&] { return cycles >= 2; }));
  Icon->SetCycleIcons(false);
}

TEST_F(TrayIcon, WithoutANotificationAreaTheIconSaysItIsNotShown) {
  // The offscreen desktop has no tray.
  Icon->SetIconVisible(true);
  EXPECT_TRUE(Icon->IconVisible());
  EXPECT_FALSE(Icon->IconShown());
  Icon->SetIconVisible(false);
  EXPECT_FALSE(Icon->IconVisible());
}

TEST_F(TrayIcon, MinimisingTheMainFormHidesItAndShowMainFormBringsItBack) {
  Form->Show();
  Icon->SetMinimizeToTray(true);
  Form->Perform(WM_SIZE, SIZE_MINIMIZED, 0);
  EXPECT_FALSE(Form->Visible());
  EXPECT_TRUE(Icon->IconVisible());
  Icon->ShowMainForm();
  EXPECT_TRUE(Form->Visible());
  EXPECT_EQ(Form->WindowState(), wsNormal);

  // Not while MinimizeToTray is off.
  Icon->SetMinimizeToTray(false);
  Form->Perform(WM_SIZE, SIZE_MINIMIZED, 0);
  EXPECT_TRUE(Form->Visible());

  // The minimise command itself, with the event assigned, goes to the tray
  // and not to the form.
  int events = 0;
  Icon->SetMinimizeToTray(true);
  Icon->OnMinimizeToTray = [&](TObject*) { ++events; };
  EXPECT_EQ(Form->Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0), 1);
  EXPECT_EQ(events, 1);
  EXPECT_FALSE(Form->Visible());
  Icon->ShowMainForm();
  Icon->HideMainForm();
  EXPECT_FALSE(Form->Visible());
}

TEST_F(TrayIcon, TheDesktopMinimisingTheWindowSendsTheMinimiseCommand) {
  Form->Show();
  int events = 0;
  Icon->SetMinimizeToTray(true);
  Icon->OnMinimizeToTray = [&](TObject*) { ++events; };
  Form->SetWindowState(wsMinimized);
  ASSERT_TRUE(pumpUntil([&] { return !Form->Visible(); }));
  EXPECT_GE(events, 1);
  Icon->ShowMainForm();
  EXPECT_TRUE(Form->Visible());
}

TEST(SimpleTimer, IntervalsStartStopAndZero) {
  Application->Initialize();
  int fired = 0;
  TSimpleTimer t(5, [&](TObject* sender) {
    EXPECT_NE(sender, nullptr);
    ++fired;
  });
  const int base = TSimpleTimer::RunningCount();
  t.SetEnabled(true);
  EXPECT_EQ(TSimpleTimer::RunningCount(), base + 1);
  ASSERT_TRUE(pumpUntil([&] { return fired >= 2; }));
  // Interval 0 stops it but keeps it enabled; a new interval restarts it.
  t.SetInterval(0);
  EXPECT_TRUE(t.Enabled());
  EXPECT_EQ(TSimpleTimer::RunningCount(), base);
  const int at = fired;
  pumpUntil([] { return false; }, 50);
  EXPECT_EQ(fired, at);
  t.SetInterval(5);
  ASSERT_TRUE(pumpUntil([&] { return fired > at; }));
  t.SetEnabled(false);
  EXPECT_EQ(TSimpleTimer::RunningCount(), base);

  TSimpleTimer zero;
  zero.SetInterval(0);
  EXPECT_FALSE(zero.Start());
  EXPECT_FALSE(zero.Enabled());
}

namespace {

// An icon, its menu and its owner form, with every handler of the icon and
// of the menu's items counting its raise; the raise numbered FireAt frees
// the icon, or the form that owns it (and the menu).
struct TFreeingIcon {
  TForm* Form = nullptr;
  TTrayIcon* Icon = nullptr;
  TImageList* Pictures = nullptr;
  int Raises = 0;
  int FireAt = 0;
  bool FreeForm = false;
  std::vector<std::string> Seen;

  TFreeingIcon() {
    Application->Initialize();
    Form = new TForm(nullptr);
    Application->SetMainForm(Form);
    Icon = new TTrayIcon(Form);
    auto* menu = new TPopupMenu(Form);
    for (int i = 0; i < 2; ++i) {
      auto* item = new TMenuItem(menu);
      item->SetCaption(i ? u"second" : u"first");
      item->SetDefault(i == 1);
      item->OnClick = [this](TObject*) { raised("menu item"); };
      menu->Items()->Add(item);
    }
    Icon->SetPopupMenu(menu);
    Pictures = new TImageList(Form);
    TBitmap b(16, 16);
    Pictures->Add(&b, nullptr);
    Pictures->Add(&b, nullptr);
    Icon->OnClick = [this](TObject*) { raised("click"); };
    Icon->OnMouseDown = [this](TObject*, TMouseButton, TShiftState, int, int) { raised("down"); };
    Icon->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { raised("up"); };
    Icon->OnMouseMove = [this](TObject*, TShiftState, int, int) { raised("move"); };
    Icon->OnMouseEnter = [this](TObject*) { raised("enter"); };
    Icon->OnMouseExit = [this](TObject*) { raised("exit"); };
    Icon->OnCycle = [this](TObject*, int) { raised("cycle"); };
    Icon->OnBalloonHintShow = [this](TObject*) { raised("balloon"); };
    Icon->OnBalloonHintHide = [this](TObject*) { raised("balloon"); };
    Icon->OnBalloonHintTimeout = [this](TObject*) { raised("balloon"); };
    Icon->OnBalloonHintClick = [this](TObject*) { raised("balloon"); };
    Icon->OnMinimizeToTray = [this](TObject*) { raised("minimise"); };
    // The menu the right button pops is answered with its first item.
    SetDialogHook([](TDialogRequest& r, int& result) {
      if (r.Kind != dkPopupMenu) return false;
      result = 0;
      return true;
    });
  }
  ~TFreeingIcon() {
    SetDialogHook(nullptr);
    Application->SetMainForm(nullptr);
    delete Form;
  }
  void raised(const char* what) {
    Seen.push_back(what);
    if (++Raises != FireAt) return;
    if (FreeForm) {
      Application->SetMainForm(nullptr);
      delete Form;
      Form = nullptr;
    } else {
      delete Icon;
    }
    Icon = nullptr;
  }
  bool send(LPARAM code) {
    if (!Icon) return false;
    SendMessage(TTrayIcon::TrayWindow(), WM_TRAYNOTIFY, Icon->IconId(), code);
    return Icon != nullptr;
  }
  int count(const char* what) const { return int(std::count(Seen.begin(), Seen.end(), std::string(what))); }
  // Waits until the handler named has run Times times, or the icon went.
  bool waitFor(const char* what, int times) {
    return pumpUntil([&] { return !Icon || count(what) >= times; }, 20000) && Icon;
  }

  // What the desktop does to an icon: the pointer over it and away, the
  // buttons, the menu, the balloons, the pictures cycling, the main form
  // minimised to the tray. It stops where the icon went.
  void play() {
    Icon->SetWantEnterExitEvents(true);
    TPoint at;
    GetCursorPos(&at);
    if (!send(WM_MOUSEMOVE)) return;
    SetCursorPos(at.x + 40, at.y + 40);
    if (!waitFor("exit", 1)) return;
    Icon->SetWantEnterExitEvents(false);
    for (UINT code : {UINT(WM_LBUTTONDOWN), UINT(WM_LBUTTONUP), UINT(WM_MBUTTONDOWN), UINT(WM_MBUTTONUP),
                      UINT(WM_RBUTTONDOWN), UINT(WM_RBUTTONUP), UINT(NIN_BALLOONSHOW), UINT(NIN_BALLOONHIDE),
                      UINT(NIN_BALLOONTIMEOUT), UINT(NIN_BALLOONUSERCLICK)})
      if (!send(code)) return;
    // With a double click handler the click waits for the double click's
    // time; a double click runs the menu's default item.
    Icon->OnDblClick = [this](TObject*) { raised("double"); };
    const int clicks = count("click");
    if (!send(WM_LBUTTONDOWN) || !send(WM_LBUTTONUP)) return;
    if (!waitFor("click", clicks + 1)) return;
    if (!send(WM_LBUTTONDOWN) || !send(WM_LBUTTONUP) || !send(WM_LBUTTONDBLCLK)) return;
    Icon->SetIconList(Pictures);
    Icon->SetCycleInterval(5);
    Icon->SetCycleIcons(true);
    if (!waitFor("cycle", 2)) return;
    Icon->SetCycleIcons(false);
    Form->Show();
    Icon->SetMinimizeToTray(true);
    Form->Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  }
};

}  // namespace

// A handler of the icon, or of its menu, may free the icon or the form it
// belongs to: at every raise in turn, either goes, and nothing of them is
// used after (nor is any handler raised again).
TEST(TrayIconFreed, AHandlerFreeingTheIconOrItsFormEndsTheNotification) {
  int raises = 0;
  {
    TFreeingIcon counted;
    counted.play();
    raises = counted.Raises;
    for (const char* what : {"click", "down", "up", "move", "enter", "exit", "cycle", "balloon", "minimise",
                             "menu item", "double"})
      EXPECT_GT(counted.count(what), 0) << what << " was never raised";
  }
  ASSERT_GT(raises, 0);
  for (int fireAt = 1; fireAt <= raises; ++fireAt)
    for (bool freeForm : {false, true}) {
      TFreeingIcon run;
      run.FireAt = fireAt;
      run.FreeForm = freeForm;
      run.play();
      EXPECT_EQ(run.Icon, nullptr) << "raise " << fireAt;
      EXPECT_EQ(run.Raises, fireAt) << "a handler was raised after raise " << fireAt << " freed the "
                                    << (freeForm ? "form" : "icon");
    }
}
