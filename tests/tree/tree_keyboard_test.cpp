// Keyboard input on a shown tree: navigation, expansion, Shift ranges, the
// Space key on check boxes, Ctrl+A and the plus key of both key blocks.
#include "tests/tree/tree_input_util.h"

using namespace inputtest;

TEST(TreeKeyboard, ArrowsPagesHomeAndEndMoveFocusAndSelection) {
  TInputFixture f(240, 18 * 10);
  auto roots = f.resultShaped(40, 3);
  f.show();
  f.key(VK_DOWN);
  EXPECT_EQ(f.Tree->FocusedNode(), roots[0]) << "the first key focuses the first row";
  f.key(VK_DOWN);
  EXPECT_EQ(f.Tree->FocusedNode(), roots[1]);
  EXPECT_EQ(f.selected(), std::vector<PDataNode>{roots[1]});
  f.key(VK_UP);
  EXPECT_EQ(f.Tree->FocusedNode(), roots[0]);
  f.key(VK_NEXT);
  EXPECT_EQ(f.Tree->FocusedNode(), roots[9]) << "a page of ten rows";
  f.key(VK_END);
  EXPECT_EQ(f.Tree->FocusedNode(), roots.back());
  EXPECT_LT(f.Tree->OffsetY(), 0) << "the last row was scrolled into view";
  f.key(VK_NEXT);
  EXPECT_EQ(f.Tree->FocusedNode(), roots.back()) << "nothing below the last row";
  f.key(VK_HOME);
  EXPECT_EQ(f.Tree->FocusedNode(), roots[0]);
  EXPECT_EQ(f.Tree->OffsetY(), 0);
  EXPECT_EQ(f.selected(), std::vector<PDataNode>{roots[0]});
}

TEST(TreeKeyboard, RightExpandsLeftCollapsesAndClimbs) {
  TInputFixture f;
  auto roots = f.resultShaped(3, 2);
  f.show();
  f.key(VK_DOWN);
  f.key(VK_RIGHT);
  EXPECT_TRUE(f.Tree->Expanded(roots[0]));
  f.key(VK_RIGHT);
  EXPECT_EQ(f.Tree->FocusedNode(), roots[0]->FirstChild) << "a second Right enters the children";
  f.key(VK_LEFT);
  EXPECT_EQ(f.Tree->FocusedNode(), roots[0]) << "Left on a child goes to its parent";
  f.key(VK_LEFT);
  EXPECT_FALSE(f.Tree->Expanded(roots[0]));
  // "+" and "-" of the main block act like those of the keypad.
  f.key(VK_OEM_PLUS, {ssShift}, "+");
  EXPECT_TRUE(f.Tree->Expanded(roots[0]));
  f.key(VK_SUBTRACT, {}, "-", true);
  EXPECT_FALSE(f.Tree->Expanded(roots[0]));
  f.key(VK_ADD, {}, "+", true);
  EXPECT_TRUE(f.Tree->Expanded(roots[0]));
  f.key(VK_OEM_MINUS, {}, "-");
  EXPECT_FALSE(f.Tree->Expanded(roots[0]));
  // "*" typed with Shift on the main block (above the 8) expands everything
  // below like the keypad's; the 8 itself and Ctrl+Shift+8 leave the tree be.
  f.add(roots[0]->FirstChild, "deeper");
  f.key('8', {});
  EXPECT_FALSE(f.Tree->Expanded(roots[0]));
  f.key('8', {ssShift, ssCtrl});
  EXPECT_FALSE(f.Tree->Expanded(roots[0]));
  f.key('8', {ssShift}, "*");
  EXPECT_TRUE(f.Tree->Expanded(roots[0]));
  EXPECT_TRUE(f.Tree->Expanded(roots[0]->FirstChild)) << "the whole branch opens";
  f.key(VK_MULTIPLY, {}, "*", true);
  EXPECT_TRUE(f.Tree->Expanded(roots[0]));
}

TEST(TreeKeyboard, ShiftRangesGrowAndShrinkAndCtrlAOnlyFromTheLetter) {
  TInputFixture f;
  auto roots = f.resultShaped(10, 0);
  f.Tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  f.show();
  f.key(VK_DOWN);
  f.key(VK_DOWN);  // focus on roots[1]
  f.key(VK_DOWN, {ssShift});
  f.key(VK_DOWN, {ssShift});
  EXPECT_EQ(f.selected(), (std::vector<PDataNode>{roots[1], roots[2], roots[3]}));
  f.key(VK_UP, {ssShift});
  EXPECT_EQ(f.selected(), (std::vector<PDataNode>{roots[1], roots[2]})) << "the row left drops out";
  f.key(VK_END, {ssShift});
  EXPECT_EQ(f.selected().size(), 9u) << "from the anchor to the end";

  f.key(VK_NUMPAD1, {ssCtrl}, "", true);
  EXPECT_EQ(f.selected().size(), 9u) << "keypad 1 is not the letter A";
  f.key('A', {ssCtrl});
  EXPECT_EQ(f.selected().size(), 10u);
}

TEST(TreeKeyboard, CtrlHomeScrollsWithoutMovingTheFocus) {
  TInputFixture f(240, 90);
  auto roots = f.resultShaped(30, 0);
  f.show();
  f.key(VK_END);
  ASSERT_EQ(f.Tree->FocusedNode(), roots.back());
  f.key(VK_HOME, {ssCtrl});
  EXPECT_EQ(f.Tree->OffsetY(), 0);
  EXPECT_EQ(f.Tree->FocusedNode(), roots.back());
  f.key(VK_DOWN, {ssCtrl});
  EXPECT_EQ(f.Tree->OffsetY(), -18) << "Ctrl+Down scrolls one default row";
}

TEST(TreeKeyboard, SpaceChecksOnReleaseAndOnlyTheNodeStillPressed) {
  TInputFixture f;
  f.Tree->TreeOptions().SetMiscOptions(f.Tree->TreeOptions().MiscOptions() + TDTMiscOptions{toCheckSupport});
  auto roots = f.resultShaped(3, 0);
  for (PDataNode n : roots) n->CheckType = ctCheckBox;
  f.show();
  f.key(VK_DOWN);
  f.keyDown(VK_SPACE, {}, " ");
  EXPECT_EQ(roots[0]->CheckState, csUncheckedPressed) << "pressed look while the key is down";
  f.keyUp(VK_SPACE, {}, " ");
  EXPECT_EQ(roots[0]->CheckState, csCheckedNormal);

  // Another key before the release: nothing changes, the look is undone.
  f.keyDown(VK_SPACE, {}, " ");
  f.key(VK_DOWN);
  f.keyUp(VK_SPACE, {}, " ");
  EXPECT_EQ(roots[0]->CheckState, csCheckedNormal);
  EXPECT_EQ(f.Tree->CheckNode(), nullptr);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsKeyCheckPending));

  // The pressed node is deleted before the release: the release does nothing.
  f.keyDown(VK_SPACE, {}, " ");
  ASSERT_EQ(f.Tree->CheckNode(), roots[1]);
  f.Tree->DeleteNode(roots[1]);
  f.keyUp(VK_SPACE, {}, " ");
  EXPECT_EQ(roots[2]->CheckState, csUncheckedNormal);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsKeyCheckPending));
  f.key(VK_END);
  ASSERT_EQ(f.Tree->FocusedNode(), roots[2]);
  f.keyDown(VK_SPACE, {}, " ");
  f.keyUp(VK_SPACE, {}, " ");
  EXPECT_EQ(roots[2]->CheckState, csCheckedNormal) << "the next press works";
}

TEST(TreeKeyboard, OwnerKeyHandlersAndKeyActionCanStopAKey) {
  TInputFixture f;
  auto roots = f.resultShaped(3, 0);
  f.show();
  f.Tree->OnKeyDown = [](TObject*, WORD& key, TShiftState) {
    if (key == VK_DOWN) key = 0;
  };
  f.key(VK_DOWN);
  EXPECT_EQ(f.Tree->FocusedNode(), nullptr);
  f.Tree->OnKeyDown = nullptr;
  f.Tree->OnKeyAction = [](TBaseDataTree*, WORD& key, TShiftState&, bool& doDefault) {
    if (key == VK_END) doDefault = false;
    if (key == VK_HOME) key = VK_END;
  };
  f.key(VK_END);
  EXPECT_EQ(f.Tree->FocusedNode(), nullptr);
  f.key(VK_HOME);
  EXPECT_EQ(f.Tree->FocusedNode(), roots.back()) << "the handler may change the key";
}
