// Pop-up tool windows with a region, deferred positioning, the layout's
// key-to-character mapping and input-method text reaching a window that
// paints its own text.
#include "gui_test_support.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/defer_window_pos.h"
#include "platform/gui/keyboard_layout.h"
#include "platform/gui/popup_window.h"

using namespace guitest;

using GuiPopupLayout = FormFixture;

TEST_F(GuiPopupLayout, APopupOfAnOwnClassIsShapedPaintedAndNeverActivated) {
  int paints = 0;
  EXPECT_FALSE(RegisterWindowClass(u"", nullptr));
  ASSERT_TRUE(RegisterWindowClass(u"TestPopup", [&](TMessage& m) { paints += m.Msg == WM_PAINT; }));
  EXPECT_EQ(CreatePopupToolWindow(u"Unknown", Ctl->Handle(), {0, 0, 10, 10}), nullptr);
  InjectFocus(Ctl->Handle());
  HWND popup = CreatePopupToolWindow(u"TestPopup", Ctl->Handle(), Bounds(100, 100, 32, 32));
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(GetClassName(popup), u"TestPopup");
  EXPECT_TRUE(GetWindowStyle(popup) & WS_POPUP);
  EXPECT_TRUE(GetWindowExStyle(popup) & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(IsWindowVisible(popup));
  HRGN disc = CreateEllipticRgn(0, 0, 32, 32);
  EXPECT_EQ(SetWindowRgn(popup, disc, false), 1);
  int area = 0;
  for (const TRect& r : GetWindowRgnRects(popup)) area += r.Width() * r.Height();
  EXPECT_GT(area, 600);
  EXPECT_LT(area, 1024);
  EXPECT_FALSE(ShowWindow(popup, SW_SHOWNOACTIVATE));
  EXPECT_TRUE(IsWindowVisible(popup));
  ASSERT_TRUE(pumpUntil([&] { return paints > 0; }));
  EXPECT_EQ(GetFocus(), Ctl->Handle()) << "showing the pop-up leaves the focus where it was";
  EXPECT_TRUE(DestroyWindow(popup));
  EXPECT_FALSE(IsWindow(popup));
  EXPECT_FALSE(DestroyWindow(Ctl->Handle())) << "controls own their windows";
  UnregisterWindowClass(u"TestPopup");
}

TEST_F(GuiPopupLayout, DeferredPositionsAreAppliedTogether) {
  auto* second = new Recorder(Form);
  second->SetParent(Form);
  second->SetBounds(0, 0, 10, 10);
  HDWP batch = BeginDeferWindowPos(2);
  batch = DeferWindowPos(batch, Ctl->Handle(), nullptr, 5, 6, 50, 40, SWP_NOZORDER);
  batch = DeferWindowPos(batch, second->Handle(), nullptr, 60, 70, 30, 20, SWP_NOZORDER);
  EXPECT_EQ(Ctl->Left(), 20) << "nothing moves before the end";
  EXPECT_TRUE(EndDeferWindowPos(batch));
  EXPECT_EQ(Ctl->BoundsRect(), Bounds(5, 6, 50, 40));
  EXPECT_EQ(second->BoundsRect(), Bounds(60, 70, 30, 20));
  HDWP bad = DeferWindowPos(BeginDeferWindowPos(1), nullptr, nullptr, 0, 0, 1, 1, 0);
  EXPECT_EQ(bad, nullptr);
  EXPECT_FALSE(EndDeferWindowPos(nullptr));
}

TEST(GuiKeyboardLayout, KeysAndCharactersMapBothWays) {
  EXPECT_EQ(MapVirtualKey('A', MAPVK_VK_TO_CHAR), UINT(u'A'));
  EXPECT_EQ(MapVirtualKey(VK_ADD, MAPVK_VK_TO_CHAR), UINT(u'+'));
  EXPECT_EQ(MapVirtualKey(VK_OEM_PLUS, MAPVK_VK_TO_CHAR), UINT(u'+')) << "both plus keys type plus";
  EXPECT_EQ(MapVirtualKey(VK_OEM_MINUS, MAPVK_VK_TO_CHAR), UINT(u'-'));
  EXPECT_EQ(MapVirtualKey(VK_NUMPAD1, MAPVK_VK_TO_CHAR), UINT(u'1'));
  EXPECT_EQ(MapVirtualKey(VK_F1, MAPVK_VK_TO_CHAR), 0u);
  EXPECT_EQ(VkKeyScan(u'a'), short('A'));
  EXPECT_EQ(VkKeyScan(u'A'), short(0x100 | 'A'));
  EXPECT_EQ(VkKeyScan(u'*'), short(0x100 | '8'));
  EXPECT_EQ(VkKeyScan(u'+'), short(0x100 | VK_OEM_PLUS));
  EXPECT_EQ(VkKeyScan(u'='), short(VK_OEM_PLUS));
  EXPECT_EQ(VkKeyScan(u'ж'), -1) << "other alphabets come as typed text";
}

TEST_F(GuiPopupLayout, InputMethodTextArrivesAsCharactersWithPairsKeptTogether) {
  Ctl->Record({WM_KEYDOWN, WM_CHAR, WM_KEYUP});
  InjectInputMethodText(Ctl->Handle(), u"жу\U0001F600");
  std::vector<char16_t> chars;
  int downs = 0;
  for (const TMessage& m : Ctl->Seen) {
    if (m.Msg == WM_CHAR) chars.push_back(char16_t(m.WParam));
    if (m.Msg == WM_KEYDOWN) {
      ++downs;
      EXPECT_EQ(m.WParam, 0xE5u) << "a processed key";
    }
  }
  EXPECT_EQ(String(chars.begin(), chars.end()), u"жу\U0001F600");
  EXPECT_EQ(downs, 3) << "one key per character, the pair counting once";
  // The second half of the pair follows the first at once.
  ASSERT_GE(Ctl->Seen.size(), 8u);
  EXPECT_EQ(Ctl->Seen[7].Msg, UINT(WM_CHAR));
}
