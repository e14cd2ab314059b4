// A handler that destroys the tree on a way the table of events does not
// walk: a paint the tree asks for itself in the middle of an operation, a
// program's call of the header, a loop that keeps its rows across handlers.
// Whatever unwinds from the paint is dropped where the message is
// delivered, so the operation that asked for the paint must look for
// itself whether the tree still lives.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tests/tree/gone_fixture.h"
#include "tree/string_tree.h"

namespace {

using tree_gone::pump;

// A shown form with a string tree of three columns and a few rows; the
// handler armed by doom() deletes the tree the first time it runs.
struct TPathFixture : tree_gone::TGoneForm {
  TPathFixture() : TGoneForm({.Focus = true}) {}
};

}  // namespace

// The three tests below paint the window at once (UpdateWindow) with a
// handler that destroys the tree; the toolkit delivers that paint and
// drops the unwinding, so the operation must see for itself that the tree
// went.
//
// Once: DragLeave paints the tree at once (UpdateWindow) and then raises
// OnDragOver without looking whether the paint's handler destroyed the tree
// (tree/dragdrop.cpp, DragLeave). ASan: heap-use-after-free in DragLeave.
TEST(TreeGonePaths, DragLeaveWhosePaintHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TPathFixture f;
  int dragOvers = 0;
  f.T->OnDragOver = [&](TBaseDataTree*, TObject*, TShiftState, TDragState, TPoint, TDTDropMode, std::uint32_t&,
                        bool&) { ++dragOvers; };
  f.doomOnPaint();
  f.T->Invalidate();
  f.Armed = true;
  f.T->DragLeave();
  EXPECT_FALSE(f.alive());
  EXPECT_EQ(dragOvers, 0);
}

// Once: DragOver paints the tree at once and then shows the drag picture
// and raises OnDragOver on the freed tree (tree/dragdrop.cpp, DragOver).
TEST(TreeGonePaths, DragOverWhosePaintHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TPathFixture f;
  f.doomOnPaint();
  f.T->Invalidate();
  f.Armed = true;
  std::uint32_t effect = DROPEFFECT_COPY;
  const TRect row = f.T->GetDisplayRect(f.First, 0, true);
  const TPoint at = f.T->ClientToScreen({row.Left + 3, (row.Top + row.Bottom) / 2});
  f.T->DragOver(f.T, MK_LBUTTON, dsDragMove, at, effect);
  EXPECT_FALSE(f.alive());
}

// Once: a column's animated resize (a program's call of the header) paints
// the tree 32 times and goes on with the tree and the column after the
// paint's handler destroyed them (tree/columns.cpp, AnimatedResize).
TEST(TreeGonePaths, AnAnimatedColumnResizeWhosePaintHandlerDestroysTheTreeStops) {
  TPathFixture f;
  f.doomOnPaint();
  f.Armed = true;
  f.T->Header().Columns().AnimatedResize(0, 260);
  EXPECT_FALSE(f.alive());
}

// Once: a copy into another tree raises the other tree's events outside
// any entry of that tree (CopyTo calls its StructureChange, whose state
// change goes through RaiseEvent). A state handler of the target that
// destroys the target then unwinds with the target's EDataTreeGone through
// the source's entry, which passes it on (tree/base_tree.h, GuardedEntry:
// "another tree's unwinding is no business of this one"): the program's
// call of CopyTo throws instead of answering nullptr.
TEST(TreeGonePaths, ACopyIntoATreeWhoseStateHandlerDestroysItAnswersNothingAndThrowsNothing) {
  TPathFixture f;
  auto* target = new TDataStringTree(f.Form);
  target->SetParent(f.Form);
  target->SetBounds(0, 0, 200, 100);
  PDataNode into = target->AddChild(nullptr);
  const std::weak_ptr<const bool> targetLife = target->LifeToken();
  bool armed = false;
  target->OnNodeCopied = [&](TBaseDataTree*, PDataNode) { armed = true; };
  target->OnStateChange = [&](TBaseDataTree* t, TDataTreeStates, TDataTreeStates) {
    if (!armed) return;
    armed = false;
    delete t;
  };
  PDataNode copy = reinterpret_cast<PDataNode>(1);
  EXPECT_NO_THROW(copy = f.T->CopyTo(f.First, into, amAddChildLast, false));
  EXPECT_TRUE(targetLife.expired());
  EXPECT_EQ(copy, nullptr);
  EXPECT_TRUE(f.alive());
  EXPECT_EQ(f.T->TotalCount(), 9u) << "the source keeps what it had";
}

// Once: the space bar's release whose OnKeyUp handler (the control's own)
// frees the tree: HandleKeyUp reads the tree's states after the handler,
// for the space bar only (tree/keyboard.cpp).
TEST(TreeGonePaths, ASpaceReleaseWhoseKeyUpHandlerFreesTheTreeTouchesNothingAfterwards) {
  TPathFixture f;
  f.T->OnKeyUp = [d = f.doom()](TObject*, WORD&, TShiftState) { d(); };
  f.Armed = true;
  f.T->Perform(WM_KEYUP, VK_SPACE, 0);
  EXPECT_FALSE(f.alive());
}

// Once: copying to the clipboard again replaces the tree's own clipboard
// object; that object's destructor ends the copy pending in the tree
// (CancelCutOrCopy, whose state change goes through RaiseEvent) and
// swallows whatever it throws (tree/data_object.cpp, ~TDTDataObject's
// catch (...)). A state handler that destroys the tree there unwinds into
// that catch, and CopyToClipboard would go on marking the nodes of the
// freed tree (tree/clipboard.cpp). Before it gets there the tree's
// destructor, run from inside the toolkit's replacing of the clipboard's
// data, releases that data a second time. ASan: heap-use-after-free in
// ~TOleMimeData under QPlatformClipboard::setMimeData (OleSetClipboard).
TEST(TreeGonePaths, CopyingAgainWhileTheEndedCopysStateHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TPathFixture f;
  f.T->SetSelected(f.First, true);
  f.T->CopyToClipboard();
  ASSERT_TRUE(f.T->TreeStates().Contains(tsCopyPending));
  f.T->OnStateChange = [d = f.doom()](TBaseDataTree*, TDataTreeStates, TDataTreeStates Leave) {
    if (Leave.Contains(tsCopyPending)) d();
  };
  f.Armed = true;
  f.T->CopyToClipboard();
  EXPECT_FALSE(f.alive());
}

// Once: setting the scroll bar (tree/scrolling.cpp, UpdateHorizontalScrollBar
// -> SetScrollInfo) makes the window's frame change at once, which sends
// the tree a WM_SIZE; its Resize shows the other scroll bar and raises
// OnShowScrollbar. A handler that destroys the tree there is caught by the
// window procedure's entry (or, inside another entry, dropped where the
// message is delivered), and UpdateHorizontalScrollBar goes on with the
// freed tree. Reached here from a column width the program sets (no entry).
// ASan: heap-use-after-free in UpdateHorizontalScrollBar after SetScrollInfo.
TEST(TreeGonePaths, AScrollBarSetWhoseResizeShowsTheOtherBarAndItsHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TPathFixture f;
  f.T->OnShowScrollbar = [d = f.doom()](TBaseDataTree*, int, bool) { d(); };
  f.Armed = true;
  EXPECT_NO_THROW(f.T->Header().Columns()[0]->SetWidth(3000));
  EXPECT_FALSE(f.alive());
}

// A header's default height, set while the header has that height, lays
// the header out again at once: the client area's resize runs OnResize,
// whose handler destroys the tree, and the setter then touches nothing of
// the header (tree/header.cpp, SetDefaultHeight).
TEST(TreeGonePaths, AHeaderDefaultHeightWhoseResizeHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TPathFixture f;
  ASSERT_EQ(f.T->Header().Height(), f.T->Header().DefaultHeight());
  f.T->OnResize = [d = f.doom()](TObject*) { d(); };
  f.Armed = true;
  EXPECT_NO_THROW(f.T->Header().SetDefaultHeight(60));
  EXPECT_FALSE(f.alive());
}
