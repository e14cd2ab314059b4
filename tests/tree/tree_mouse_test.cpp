// Mouse input on a shown tree: clicks with and without Shift and Ctrl,
// check boxes pressed and released (also on another row, after the node
// went, or after the focus went), expand buttons, double clicks, the rubber
// band and hot tracking.
#include "platform/graphics/imagelist.h"
#include "tests/tree/tree_input_util.h"

using namespace inputtest;

namespace {

struct TMouseTree : TInputFixture {
  using TInputFixture::TInputFixture;
  TPoint checkPoint(PDataNode n) {
    TRect r = rowRect(n);
    const int level = int(Tree->GetNodeLevel(n)) + 1;
    return {int(Tree->Indent()) * level + Tree->Margin() + 4, (r.Top + r.Bottom) / 2};
  }
  TPoint buttonPoint(PDataNode n) {
    TRect r = rowRect(n);
    const int level = int(Tree->GetNodeLevel(n));
    return {int(Tree->Indent()) * level + int(Tree->Indent()) / 2, (r.Top + r.Bottom) / 2};
  }
  void enableChecks(const std::vector<PDataNode>& nodes) {
    Tree->TreeOptions().SetMiscOptions(Tree->TreeOptions().MiscOptions() + TDTMiscOptions{toCheckSupport});
    for (PDataNode n : nodes) n->CheckType = ctCheckBox;
  }
};

}  // namespace

TEST(TreeMouse, ClicksFocusAndSelectWithShiftAndCtrlRules) {
  TMouseTree f;
  auto roots = f.resultShaped(6, 0);
  f.Tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  f.show();
  f.click(f.textPoint(roots[1]));
  EXPECT_EQ(f.Tree->FocusedNode(), roots[1]);
  EXPECT_EQ(f.selected(), std::vector<PDataNode>{roots[1]});
  f.click(f.textPoint(roots[3]), {ssShift});
  EXPECT_EQ(f.selected(), (std::vector<PDataNode>{roots[1], roots[2], roots[3]}));
  f.click(f.textPoint(roots[2]), {ssCtrl});
  EXPECT_EQ(f.selected(), (std::vector<PDataNode>{roots[1], roots[3]})) << "Ctrl toggles one row";
  f.click(f.textPoint(roots[5]));
  EXPECT_EQ(f.selected(), std::vector<PDataNode>{roots[5]}) << "a plain click selects only the row";
  // A click below the last row clears the selection.
  f.click({50, f.Tree->ClientHeight() - 3});
  EXPECT_TRUE(f.selected().empty());
}

TEST(TreeMouse, ACheckBoxChangesOnlyWhenReleasedOverTheRowPressed) {
  TMouseTree f;
  auto roots = f.resultShaped(4, 0);
  f.enableChecks(roots);
  f.show();
  f.click(f.checkPoint(roots[0]));
  EXPECT_EQ(roots[0]->CheckState, csCheckedNormal) << "one click, one change";
  f.click(f.checkPoint(roots[0]));
  EXPECT_EQ(roots[0]->CheckState, csUncheckedNormal);

  // Pressed on one row, released on another: nothing changes.
  f.mouse(imDown, f.checkPoint(roots[1]));
  EXPECT_EQ(roots[1]->CheckState, csUncheckedPressed);
  f.mouse(imMove, f.checkPoint(roots[2]), mbLeft, {}, {ssLeft});
  f.mouse(imUp, f.checkPoint(roots[2]));
  EXPECT_EQ(roots[1]->CheckState, csUncheckedNormal);
  EXPECT_EQ(roots[2]->CheckState, csUncheckedNormal);

  // The pressed node goes before the release, which is below every row.
  f.mouse(imDown, f.checkPoint(roots[3]));
  f.Tree->DeleteNode(roots[3]);
  f.mouse(imUp, {20, f.Tree->ClientHeight() - 2});
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsMouseCheckPending));
  EXPECT_EQ(f.Tree->CheckNode(), nullptr);

  // A double click is two clicks.
  f.mouse(imDown, f.checkPoint(roots[2]));
  f.mouse(imUp, f.checkPoint(roots[2]));
  f.mouse(imDoubleClick, f.checkPoint(roots[2]));
  f.mouse(imUp, f.checkPoint(roots[2]));
  EXPECT_EQ(roots[2]->CheckState, csUncheckedNormal);
}

TEST(TreeMouse, LosingTheFocusOrTheCaptureEndsACheckPressAndARubberBand) {
  TMouseTree f;
  auto roots = f.resultShaped(5, 0);
  f.enableChecks(roots);
  f.Tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  f.show();
  f.mouse(imDown, f.checkPoint(roots[0]));
  ASSERT_TRUE(f.Tree->TreeStates().Contains(tsMouseCheckPending));
  f.Tree->Perform(WM_KILLFOCUS, 0, 0);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsMouseCheckPending));
  EXPECT_EQ(roots[0]->CheckState, csUncheckedNormal) << "the pressed look is undone";
  f.mouse(imUp, f.checkPoint(roots[0]));
  EXPECT_EQ(roots[0]->CheckState, csUncheckedNormal) << "the late release commits nothing";
  InjectFocus(f.handle());
  f.click(f.checkPoint(roots[0]));
  EXPECT_EQ(roots[0]->CheckState, csCheckedNormal) << "the next click works";

  // A rubber band ended by a modal window.
  const int right = f.Tree->ClientWidth() - 5;
  f.mouse(imDown, {right, f.rowRect(roots[0]).Top + 2});
  f.mouse(imMove, {right - 40, f.rowRect(roots[3]).Top + 2}, mbLeft, {}, {ssLeft});
  ASSERT_TRUE(f.Tree->TreeStates().Contains(tsDrawSelecting));
  f.Tree->Perform(WM_CANCELMODE, 0, 0);
  EXPECT_FALSE(f.Tree->IsMouseSelecting());
  f.mouse(imUp, {right - 40, f.rowRect(roots[3]).Top + 2});
  f.click(f.textPoint(roots[4]));
  EXPECT_EQ(f.selected(), std::vector<PDataNode>{roots[4]});
}

TEST(TreeMouse, ButtonsAndDoubleClicksExpandAndCollapse) {
  TMouseTree f;
  auto roots = f.resultShaped(3, 2);
  f.show();
  f.click(f.buttonPoint(roots[0]));
  EXPECT_TRUE(f.Tree->Expanded(roots[0]));
  f.click(f.buttonPoint(roots[0]));
  EXPECT_FALSE(f.Tree->Expanded(roots[0]));
  f.mouse(imDown, f.textPoint(roots[1]));
  f.mouse(imUp, f.textPoint(roots[1]));
  f.mouse(imDoubleClick, f.textPoint(roots[1]));
  f.mouse(imUp, f.textPoint(roots[1]));
  EXPECT_TRUE(f.Tree->Expanded(roots[1])) << "a double click on the text toggles";
}

TEST(TreeMouse, TheRubberBandSelectsTheRowsItCoversAndGivesThemBack) {
  TMouseTree f(300, 200);
  auto roots = f.resultShaped(4, 2);
  f.Tree->FullExpand();
  f.Tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  f.show();
  PDataNode first = roots[0];
  PDataNode last = roots[1];  // rows: r0, w0.0, w0.1, r1
  const int x = f.Tree->ClientWidth() - 4;
  f.mouse(imDown, {x, f.rowRect(first).Top + 3});
  // The band's left edge lies right of the roots' text but over the
  // children's (indented further): only the children are covered.
  const int left = f.Tree->GetDisplayRect(first, NoColumn, true).Right + 5;
  ASSERT_LT(left, f.Tree->GetDisplayRect(first->FirstChild, NoColumn, true).Right);
  f.mouse(imMove, {left, f.rowRect(last).Top + 3}, mbLeft, {}, {ssLeft});
  EXPECT_EQ(f.selected(), (std::vector<PDataNode>{first->FirstChild, first->LastChild}));
  f.mouse(imMove, {left, f.rowRect(first->FirstChild).Top + 3}, mbLeft, {}, {ssLeft});
  EXPECT_EQ(f.selected(), std::vector<PDataNode>{first->FirstChild}) << "rows left by the band drop out";
  f.mouse(imUp, {left, f.rowRect(first->FirstChild).Top + 3});
  EXPECT_FALSE(f.Tree->IsMouseSelecting());
}

TEST(TreeMouse, HotTrackingRepaintsTheRowLeftAndTheRowEntered) {
  TMouseTree f;
  auto roots = f.resultShaped(6, 0);
  f.Tree->TreeOptions().SetPaintOptions(f.Tree->TreeOptions().PaintOptions() + TDTPaintOptions{toHotTrack});
  f.show();
  f.mouse(imMove, f.textPoint(roots[0]));
  EXPECT_EQ(f.Tree->HotNode(), roots[0]);
  for (int i = 1; i < 6; ++i) {
    f.Tree->Invalidated.clear();
    f.mouse(imMove, f.textPoint(roots[std::size_t(i)]));
    EXPECT_EQ(f.Tree->HotNode(), roots[std::size_t(i)]);
    EXPECT_LE(f.Tree->Invalidated.size(), 2u);
  }
  f.Tree->Invalidated.clear();
  f.mouse(imMove, f.textPoint(roots[5]));
  EXPECT_TRUE(f.Tree->Invalidated.empty()) << "no repaint while the row stays the same";
  PDataNode gone = nullptr;
  f.Tree->OnHotChange = [&](TBaseDataTree*, PDataNode old, PDataNode now) {
    if (!now) gone = old;
  };
  InjectEnterLeave(f.Tree, false);
  f.pump();
  EXPECT_EQ(gone, roots[5]) << "leaving the window reports the hot row gone";
  EXPECT_EQ(f.Tree->HotNode(), nullptr);
}

TEST(TreeMouse, NoCheckBoxIsPressedWhereNoneIsDrawn) {
  TMouseTree f;
  auto roots = f.resultShaped(2, 0);
  roots[0]->CheckType = ctCheckBox;  // but check boxes are not shown
  f.show();
  f.click(f.checkPoint(roots[0]));
  EXPECT_EQ(roots[0]->CheckState, csUncheckedNormal);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsMouseCheckPending));
  f.enableChecks({roots[0]});
  f.click(f.checkPoint(roots[0]));
  EXPECT_EQ(roots[0]->CheckState, csCheckedNormal) << "shown now: one click, one change";
}

TEST(TreeMouse, SelectConstraintsKeepRangesAmongSiblingsAndLevels) {
  TMouseTree f(240, 300);
  auto roots = f.resultShaped(2, 3);
  f.Tree->FullExpand();
  f.Tree->TreeOptions().SetSelectionOptions({toMultiSelect, toSiblingSelectConstraint});
  f.show();
  PDataNode a = roots[0]->FirstChild;
  PDataNode b = roots[1]->LastChild;
  f.click(f.textPoint(a));
  f.click(f.textPoint(b), {ssShift});
  for (PDataNode n : f.selected()) EXPECT_EQ(n->Parent, roots[0]) << f.caption(n) << " comes from another parent";
  EXPECT_EQ(f.selected().size(), 3u);

  f.Tree->TreeOptions().SetSelectionOptions({toMultiSelect, toLevelSelectConstraint});
  f.click(f.textPoint(a));
  f.click(f.textPoint(roots[1]), {ssCtrl});
  EXPECT_EQ(f.selected(), std::vector<PDataNode>{a}) << "a node of another level is ignored";
  f.click(f.textPoint(a->NextSibling), {ssCtrl});
  EXPECT_EQ(f.selected().size(), 2u);

  // Ctrl with the rubber band toggles what it sweeps over.
  f.Tree->TreeOptions().SetSelectionOptions({toMultiSelect, toSimpleDrawSelection});
  const int x = f.Tree->ClientWidth() - 4;
  f.mouse(imDown, {x, f.rowRect(roots[0]).Top + 2}, mbLeft, {ssCtrl});
  f.mouse(imMove, {x - 30, f.rowRect(a->NextSibling).Top + 2}, mbLeft, {ssCtrl}, {ssLeft});
  f.mouse(imUp, {x - 30, f.rowRect(a->NextSibling).Top + 2}, mbLeft, {ssCtrl});
  // roots[0], a and a's sibling were swept: a and its sibling were selected.
  EXPECT_EQ(f.selected(), std::vector<PDataNode>{roots[0]});
}
