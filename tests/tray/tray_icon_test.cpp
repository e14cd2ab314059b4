// The tray icon's click logic, menu, picture cycling, hint, main-form
// hiding, and the shared-window timer, driven through the notifications
// the desktop sends to the tray window.
#include "tray/tray_icon.h"

#include <gtest/gtest.h>

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
