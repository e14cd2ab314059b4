// Real input turned into messages: mouse packing, keys, wheel, capture and
// focus movement with Tab.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/stdctrls.h"

namespace {

using namespace guitest;
using GuiInput = FormFixture;

TEST_F(GuiInput, MouseButtonsArePackedWithKeyFlagsAndClientPoint) {
  Ctl->Record({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_MOUSEMOVE});
  HWND h = Ctl->Handle();
  InjectMouse(h, imDown, mbLeft, {12, 34}, {ssShift});
  InjectMouse(h, imUp, mbLeft, {12, 34}, {ssShift}, {});
  InjectMouse(h, imDoubleClick, mbLeft, {12, 34}, {ssCtrl});
  InjectMouse(h, imUp, mbLeft, {12, 34}, {});
  InjectMouse(h, imDown, mbRight, {5, 6}, {});
  ASSERT_EQ(Ctl->Messages(), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                                                 WM_LBUTTONUP, WM_RBUTTONDOWN}));
  const auto& s = Ctl->Seen;
  EXPECT_EQ(s[0].WParam, WPARAM(MK_LBUTTON | MK_SHIFT));
  EXPECT_EQ(GET_X_LPARAM(s[0].LParam), 12);
  EXPECT_EQ(GET_Y_LPARAM(s[0].LParam), 34);
  EXPECT_EQ(s[1].WParam & MK_LBUTTON, 0u);  // the released button is no longer down
  EXPECT_EQ(s[2].WParam, WPARAM(MK_LBUTTON | MK_CONTROL));
  EXPECT_EQ(s[4].WParam, WPARAM(MK_RBUTTON));
  InjectMouse(h, imUp, mbRight, {5, 6}, {});
}

TEST_F(GuiInput, CapturedMouseOutsideTheWindowGivesNegativeSignedCoordinates) {
  auto* other = new Recorder(Form);
  other->SetParent(Form);
  other->SetBounds(250, 30, 100, 100);
  pump();
  Ctl->Record({WM_MOUSEMOVE, WM_LBUTTONUP, WM_CAPTURECHANGED});
  other->Record({WM_MOUSEMOVE});
  // Capture with no button down still takes every mouse message.
  SetCapture(Ctl->Handle());
  EXPECT_EQ(GetCapture(), Ctl->Handle());
  InjectMouse(other->Handle(), imMove, mbLeft, {5, 7}, {});
  ASSERT_EQ(Ctl->Of(WM_MOUSEMOVE).size(), 1u);
  EXPECT_TRUE(other->Seen.empty());
  TMessage m = Ctl->Of(WM_MOUSEMOVE)[0];
  // other's client (5,7) is at (250+5, 30+7) in the form, our client starts at (20,30).
  EXPECT_EQ(GET_X_LPARAM(m.LParam), 235);
  EXPECT_EQ(GET_Y_LPARAM(m.LParam), 7);
  InjectMouse(Ctl->Handle(), imMove, mbLeft, {-15, -20}, {});
  m = Ctl->Of(WM_MOUSEMOVE).back();
  EXPECT_EQ(GET_X_LPARAM(m.LParam), -15);
  EXPECT_EQ(GET_Y_LPARAM(m.LParam), -20);
  ReleaseCapture();
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(Ctl->Of(WM_CAPTURECHANGED).size(), 1u);
  InjectMouse(other->Handle(), imMove, mbLeft, {5, 7}, {});
  EXPECT_EQ(other->Of(WM_MOUSEMOVE).size(), 1u);
}

TEST_F(GuiInput, KeyStrokeGivesKeyDownCharKeyUpWithKeyData) {
  Ctl->Record({WM_KEYDOWN, WM_CHAR, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSCHAR});
  HWND h = Ctl->Handle();
  InjectKeyStroke(h, 'A', {}, u"a");
  ASSERT_EQ(Ctl->Messages(), (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
  EXPECT_EQ(Ctl->Seen[0].WParam, WPARAM('A'));
  EXPECT_EQ(Ctl->Seen[1].WParam, WPARAM(u'a'));
  EXPECT_EQ(Ctl->Seen[0].LParam & 0xFFFF, 1);               // repeat count
  EXPECT_EQ((Ctl->Seen[0].LParam >> 30) & 3, 0);           // was up, going down
  EXPECT_EQ((Ctl->Seen[2].LParam >> 30) & 3, 3);           // was down, going up
  Ctl->Seen.clear();
  InjectKeyStroke(h, 'X', {ssAlt}, u"x");
  ASSERT_FALSE(Ctl->Seen.empty());
  EXPECT_EQ(Ctl->Seen[0].Msg, UINT(WM_SYSKEYDOWN));
  EXPECT_NE(Ctl->Seen[0].LParam & (LPARAM(1) << 29), 0);  // Alt context
}

TEST_F(GuiInput, KeypadKeysAreDistinguishedFromTheMainKeyboard) {
  Ctl->Record({WM_KEYDOWN});
  HWND h = Ctl->Handle();
  InjectKeyStroke(h, VK_ADD, {}, u"+", true);
  InjectKeyStroke(h, VK_OEM_PLUS, {ssShift}, u"+");
  InjectKeyStroke(h, VK_MULTIPLY, {}, u"*", true);
  InjectKeyStroke(h, VK_NUMPAD7, {}, u"7", true);
  InjectKeyStroke(h, '7', {}, u"7");
  InjectKeyStroke(h, VK_RETURN, {}, u"\r", true);
  InjectKeyStroke(h, VK_RETURN, {}, u"\r");
  std::vector<WPARAM> keys;
  for (auto& m : Ctl->Seen) keys.push_back(m.WParam);
  EXPECT_EQ(keys, (std::vector<WPARAM>{VK_ADD, VK_OEM_PLUS, VK_MULTIPLY, VK_NUMPAD7, '7', VK_RETURN, VK_RETURN}));
  // The keypad Enter is an extended key, the main one is not.
  EXPECT_NE(Ctl->Seen[5].LParam & (LPARAM(1) << 24), 0);
  EXPECT_EQ(Ctl->Seen[6].LParam & (LPARAM(1) << 24), 0);
}

TEST_F(GuiInput, AutoRepeatRepeatsKeyDownWithoutKeyUps) {
  Ctl->Record({WM_KEYDOWN, WM_KEYUP, WM_CHAR});
  HWND h = Ctl->Handle();
  InjectKey(h, VK_DOWN, {}, u"", false);
  // The toolkit reports repeats as release/press pairs marked as repeats.
  for (int i = 0; i < 3; ++i) {
    InjectKey(h, VK_DOWN, {}, u"", true, false, true);
    InjectKey(h, VK_DOWN, {}, u"", false, false, true);
  }
  InjectKey(h, VK_DOWN, {}, u"", true);
  ASSERT_EQ(Ctl->Messages(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYDOWN, WM_KEYDOWN, WM_KEYDOWN, WM_KEYUP}));
  EXPECT_EQ((Ctl->Seen[0].LParam >> 30) & 1, 0);
  for (int i = 1; i < 4; ++i) EXPECT_EQ((Ctl->Seen[size_t(i)].LParam >> 30) & 1, 1);
  EXPECT_EQ(GetKeyState(VK_DOWN) & 0x8000, 0);
}

TEST_F(GuiInput, KeyDownHandlerSeesShiftAndCanSwallowTheKey) {
  HWND h = Ctl->Handle();
  std::vector<std::pair<WORD, bool>> seen;
  Ctl->OnKeyDown = [&](TObject*, WORD& key, TShiftState shift) {
    seen.push_back({key, shift.Contains(ssShift)});
    if (key == 'Q') key = 0;
  };
  Ctl->Record({WM_CHAR});
  InjectKeyStroke(h, 'Q', {ssShift}, u"Q");
  InjectKeyStroke(h, 'W', {}, u"w");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], (std::pair<WORD, bool>{'Q', true}));
  EXPECT_EQ(seen[1], (std::pair<WORD, bool>{'W', false}));
  // A swallowed key-down still types its character, as the keyboard driver does.
  EXPECT_EQ(Ctl->Of(WM_CHAR).size(), 2u);
}

TEST_F(GuiInput, TabAndShiftTabMoveFocusUnlessTheControlWantsTabs) {
  auto* a = new TEdit(Form);
  a->SetParent(Form);
  a->SetBounds(10, 150, 80, 20);
  auto* b = new TEdit(Form);
  b->SetParent(Form);
  b->SetBounds(100, 150, 80, 20);
  Ctl->SetTabStop(true);
  pump();
  InjectFocus(a->Handle());
  ASSERT_TRUE(a->Focused());
  InjectKeyStroke(a->Handle(), VK_TAB, {}, u"\t");
  EXPECT_TRUE(b->Focused());
  InjectKeyStroke(b->Handle(), VK_TAB, {ssShift}, u"");
  EXPECT_TRUE(a->Focused());
  // A control that answers DLGC_WANTTAB gets the Tab key itself (with Shift
  // as state), and the focus stays.
  Ctl->OnMessage = [](TMessage& m) {
    if (m.Msg == WM_GETDLGCODE) m.Result = DLGC_WANTTAB | DLGC_WANTARROWS;
  };
  InjectFocus(Ctl->Handle());
  Ctl->Record({WM_KEYDOWN});
  bool shifted = false;
  Ctl->OnKeyDown = [&](TObject*, WORD&, TShiftState s) { shifted = s.Contains(ssShift); };
  InjectKeyStroke(Ctl->Handle(), VK_TAB, {ssShift}, u"");
  EXPECT_TRUE(Ctl->Focused());
  ASSERT_EQ(Ctl->Of(WM_KEYDOWN).size(), 1u);
  EXPECT_EQ(Ctl->Of(WM_KEYDOWN)[0].WParam, WPARAM(VK_TAB));
  EXPECT_TRUE(shifted);
}

TEST_F(GuiInput, WheelArrivesInNotchUnitsAndBubblesToTheParent) {
  int ownDelta = 0, formDelta = 0;
  TShiftState ownShift;
  Ctl->OnMouseWheel = [&](TObject*, TShiftState s, int d, TPoint, bool& handled) {
    ownDelta += d;
    ownShift = s;
    handled = d > 0;
  };
  Form->OnMouseWheel = [&](TObject*, TShiftState, int d, TPoint, bool& handled) {
    formDelta += d;
    handled = true;
  };
  Ctl->Record({WM_MOUSEWHEEL});
  InjectWheel(Ctl->Handle(), {10, 10}, 120, {ssCtrl});
  ASSERT_EQ(Ctl->Of(WM_MOUSEWHEEL).size(), 1u);
  TMessage m = Ctl->Of(WM_MOUSEWHEEL)[0];
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(m.WParam), 120);
  EXPECT_EQ(GET_KEYSTATE_WPARAM(m.WParam), int(MK_CONTROL));
  EXPECT_EQ(ownDelta, 120);
  EXPECT_TRUE(ownShift.Contains(ssCtrl));
  EXPECT_EQ(formDelta, 0);
  // Unhandled turns go to the parent.
  InjectWheel(Ctl->Handle(), {10, 10}, -240, {});
  EXPECT_EQ(ownDelta, -120);
  EXPECT_EQ(formDelta, -240);
}

}  // namespace

namespace {

TEST_F(GuiInput, InputAChildLeavesAloneNeverReachesItsParent) {
  auto* panel = new Recorder(Form);
  panel->SetParent(Form);
  panel->SetBounds(10, 150, 200, 100);
  auto* label = new TLabel(Form);
  label->SetParent(panel);
  label->SetBounds(10, 10, 80, 20);
  label->SetCaption(u"label");
  label->SetAutoSize(false);
  pump();
  panel->Record({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEWHEEL});
  int labelClicks = 0, panelClicks = 0;
  label->OnClick = [&](TObject*) { ++labelClicks; };
  panel->OnClick = [&](TObject*) { ++panelClicks; };
  // Through the panel's window at the label's place, as the window system routes it.
  InjectMouse(panel->Handle(), imDown, mbLeft, {20, 15}, {});
  InjectMouse(panel->Handle(), imUp, mbLeft, {20, 15}, {});
  InjectWheel(panel->Handle(), {20, 15}, 120, {});
  EXPECT_EQ(labelClicks, 1);
  EXPECT_EQ(panelClicks, 0);
  EXPECT_TRUE(panel->Of(WM_LBUTTONDOWN).empty());
  // Beside the label the panel gets its own click.
  InjectMouse(panel->Handle(), imDown, mbLeft, {150, 50}, {});
  InjectMouse(panel->Handle(), imUp, mbLeft, {150, 50}, {});
  EXPECT_EQ(panelClicks, 1);
}

TEST_F(GuiInput, EnterAndLeaveReachTheControlUnderTheMouse) {
  int enters = 0, leaves = 0;
  Ctl->OnMouseEnter = [&](TObject*) { ++enters; };
  Ctl->OnMouseLeave = [&](TObject*) { ++leaves; };
  Ctl->Record({CM_MOUSEENTER, CM_MOUSELEAVE});
  InjectEnterLeave(Ctl, true);
  InjectEnterLeave(Ctl, false);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(leaves, 1);
  EXPECT_EQ(Ctl->Messages(), (std::vector<UINT>{CM_MOUSEENTER, CM_MOUSELEAVE}));
}

TEST_F(GuiInput, DisabledControlGetsNoInputAndIsToldOfTheChange) {
  Ctl->Record({WM_ENABLE, CM_ENABLEDCHANGED, WM_LBUTTONDOWN, WM_KEYDOWN});
  EnableWindow(Ctl->Handle(), false);
  EXPECT_FALSE(IsWindowEnabled(Ctl->Handle()));
  InjectMouse(Ctl->Handle(), imDown, mbLeft, {5, 5}, {});
  InjectMouse(Ctl->Handle(), imUp, mbLeft, {5, 5}, {});
  EXPECT_EQ(Ctl->Messages(), (std::vector<UINT>{CM_ENABLEDCHANGED, WM_ENABLE}));
  EXPECT_EQ(Ctl->Of(WM_ENABLE)[0].WParam, 0u);
  Ctl->SetEnabled(true);
  InjectMouse(Ctl->Handle(), imDown, mbLeft, {5, 5}, {});
  InjectMouse(Ctl->Handle(), imUp, mbLeft, {5, 5}, {});
  EXPECT_EQ(Ctl->Of(WM_LBUTTONDOWN).size(), 1u);
}

TEST_F(GuiInput, FocusMessagesNameTheOtherWindow) {
  auto* other = new Recorder(Form);
  other->SetParent(Form);
  other->SetBounds(250, 30, 100, 100);
  pump();
  InjectFocus(other->Handle());
  Ctl->Record({WM_SETFOCUS, WM_KILLFOCUS});
  other->Record({WM_SETFOCUS, WM_KILLFOCUS});
  int enters = 0, exits = 0;
  Ctl->OnEnter = [&](TObject*) { ++enters; };
  Ctl->OnExit = [&](TObject*) { ++exits; };
  InjectFocus(Ctl->Handle());
  EXPECT_EQ(GetFocus(), Ctl->Handle());
  InjectFocus(other->Handle());
  EXPECT_EQ(GetFocus(), other->Handle());
  ASSERT_EQ(Ctl->Messages(), (std::vector<UINT>{WM_SETFOCUS, WM_KILLFOCUS}));
  EXPECT_EQ(Ctl->Of(WM_KILLFOCUS)[0].WParam, WPARAM(other->Handle()));
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(Form->ActiveControl(), other);
  // The handlers count into this test's locals: drop them before the form
  // is torn down and the focus moves again.
  Ctl->OnEnter = nullptr;
  Ctl->OnExit = nullptr;
}

// The form's active control is a control on the form: one whose parent
// leaves the form is no longer named, and the form does not name it once
// it went with its parent.
TEST_F(GuiInput, AFormForgetsAnActiveControlWhoseParentLeavesTheForm) {
  auto* panel = new TPanel(nullptr);
  panel->SetParent(Form);
  panel->SetBounds(250, 30, 100, 100);
  auto* inner = new Recorder(nullptr);
  inner->SetParent(panel);
  inner->SetBounds(5, 5, 40, 40);
  pump();
  Form->SetActiveControl(inner);
  ASSERT_EQ(Form->ActiveControl(), inner);
  panel->SetParent(nullptr);
  EXPECT_EQ(Form->ActiveControl(), nullptr);
  delete panel;
  EXPECT_EQ(Form->ActiveControl(), nullptr);
}

}  // namespace
