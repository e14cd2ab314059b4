// Window messages: posting order and delivery across threads, timers,
// re-entrant pumping, registered numbers and hidden windows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "gui_test_support.h"

namespace {

using namespace guitest;

using GuiMessages = FormFixture;

TEST_F(GuiMessages, PostedMessagesArriveInOrderFromAnyThread) {
  Ctl->Record({WM_USER + 1});
  HWND h = Ctl->Handle();
  std::thread worker([h] {
    for (int i = 0; i < 500; ++i) PostMessage(h, WM_USER + 1, WPARAM(i), 0);
  });
  for (int i = 0; i < 500; ++i) PostMessage(h, WM_USER + 1, WPARAM(10000 + i), 0);
  worker.join();
  ASSERT_TRUE(pumpUntil([&] { return Ctl->Seen.size() == 1000; }));
  // Each sender's messages keep their order.
  int lastWorker = -1, lastMain = 9999;
  for (const TMessage& m : Ctl->Seen) {
    int v = int(m.WParam);
    if (v < 10000) { EXPECT_GT(v, lastWorker); lastWorker = v; }
    else { EXPECT_GT(v, lastMain); lastMain = v; }
  }
}

TEST_F(GuiMessages, PostToDestroyedWindowIsDroppedAndSendIsDirect) {
  Ctl->Record({WM_USER + 2});
  HWND h = Ctl->Handle();
  EXPECT_TRUE(PostMessage(h, WM_USER + 2, 1, 2));
  EXPECT_EQ(SendMessage(h, WM_USER + 2, 3, 4), 0);
  ASSERT_EQ(Ctl->Seen.size(), 1u);  // the send arrived at once, the post not yet
  EXPECT_EQ(Ctl->Seen[0].WParam, 3u);
  delete Ctl;
  Ctl = nullptr;
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(PostMessage(h, WM_USER + 2, 5, 6));
  Application->HandleMessage();  // the earlier post must not reach freed memory
}

TEST_F(GuiMessages, TimersFireByIdAndStop) {
  Ctl->Record({WM_TIMER});
  HWND h = Ctl->Handle();
  EXPECT_EQ(SetTimer(h, 7, 5), 7u);
  EXPECT_EQ(SetTimer(h, 3, 5), 3u);
  ASSERT_TRUE(pumpUntil([&] {
    bool seven = false, three = false;
    for (auto& m : Ctl->Seen) { seven |= m.WParam == 7; three |= m.WParam == 3; }
    return seven && three;
  }));
  EXPECT_TRUE(KillTimer(h, 7));
  EXPECT_FALSE(KillTimer(h, 7));
  Ctl->Seen.clear();
  ASSERT_TRUE(pumpUntil([&] { return Ctl->Seen.size() >= 3; }));
  for (auto& m : Ctl->Seen) EXPECT_EQ(m.WParam, 3u);
  KillTimer(h, 3);
}

TEST_F(GuiMessages, ProcessMessagesMayBeReenteredFromAHandler) {
  Ctl->Record({WM_USER + 3, WM_USER + 4});
  HWND h = Ctl->Handle();
  int depth = 0, maxDepth = 0;
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg != WM_USER + 3) return;
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    if (m.WParam < 3) {
      PostMessage(h, WM_USER + 3, m.WParam + 1, 0);
      PostMessage(h, WM_USER + 4, m.WParam, 0);
      Application->ProcessMessages();
    }
    --depth;
  };
  PostMessage(h, WM_USER + 3, 0, 0);
  ASSERT_TRUE(pumpUntil([&] { return Ctl->Of(WM_USER + 4).size() == 3; }));
  EXPECT_EQ(Ctl->Of(WM_USER + 3).size(), 4u);
  EXPECT_GE(maxDepth, 2);
}

TEST_F(GuiMessages, RegisteredMessagesAreStablePerName) {
  UINT a = RegisterWindowMessage(u"tamrix-test-message");
  EXPECT_GE(a, 0xC000u);
  EXPECT_EQ(RegisterWindowMessage(u"TAMRIX-TEST-MESSAGE"), a);
  EXPECT_NE(RegisterWindowMessage(u"another"), a);
}

TEST_F(GuiMessages, HiddenWindowsReceivePostedMessagesAndTimers) {
  std::vector<UINT> got;
  HWND h = AllocateHWnd([&](TMessage& m) { got.push_back(m.Msg); });
  PostMessage(h, WM_USER + 9, 0, 0);
  SetTimer(h, 1, 5);
  ASSERT_TRUE(pumpUntil([&] {
    return std::count(got.begin(), got.end(), WM_TIMER) > 0 &&
           std::count(got.begin(), got.end(), UINT(WM_USER + 9)) > 0;
  }));
  DeallocateHWnd(h);
  EXPECT_FALSE(IsWindow(h));
}

}  // namespace
