// Copies, moves and cut-and-paste between two trees whose handlers pull
// rows, trees or the selection away under the loops: nothing freed is read,
// no bracket is left open, and the selection counts stay right.
#include <functional>

#include "platform/gui/clipboard.h"
#include "tests/tree/tree_stream_util.h"
#include "tests/tree/tree_test_util.h"

namespace {

std::uint32_t selectedByWalk(TBaseDataTree& t) {
  std::uint32_t n = 0;
  for (PDataNode p = t.GetFirstNoInit(); p; p = t.GetNextNoInit(p))
    if (p->States.Contains(vsSelected)) ++n;
  return n;
}

// Row copied or moved below Here in the other tree: what CopyTo answers, or
// nothing for a move.
PDataNode copyOrMove(TOwnedTree& s, PDataNode row, PDataNode here, bool move) {
  if (!move) return s.CopyTo(row, here, amAddChildLast, false);
  s.MoveTo(row, here, amAddChildLast, false);
  return nullptr;
}

// Runs What once, right after the source saved its first row; Ran tells
// whether it did.
void onceAfterTheFirstSave(TOwnedTree& s, bool& Ran, std::function<void()> What) {
  auto save = s.OnSaveNode;
  Ran = false;
  s.OnSaveNode = [save, What, &Ran](TBaseDataTree* t, PDataNode n, TStream* stream) {
    save(t, n, stream);
    if (Ran) return;
    Ran = true;
    What();
  };
}

}  // namespace

// A cut pasted into another tree opens an update bracket of the source
// before the first row moves. When the source's updating handler destroys
// the target at the bracket's start, the paste ends, and the source must
// not be left inside an update it never asked for (it would never paint
// nor pack its selection again).
TEST(TreeCrossTree, CutPastedIntoATreeDestroyedByTheSourceBracketLeavesNoSourceUpdateOpen) {
  TDoomedTree source, target;
  TOwnedTree& s = *source.T;
  cutThreeRows(s, *target.T);
  bool armed = true;
  s.OnUpdating = [&](TBaseDataTree*, TDTUpdateState state) {
    if (!armed || state != usBegin) return;
    armed = false;
    target.destroy();
  };
  EXPECT_FALSE(target.T->PasteFromClipboard());
  ASSERT_TRUE(target.Destroyed);
  ASSERT_FALSE(source.Destroyed);
  EXPECT_EQ(s.UpdateCount(), 0u) << "the source stays inside the paste's update bracket";
  EXPECT_FALSE(s.TreeStates().Contains(tsUpdating));
  Clipboard()->Clear();
}

// While a cut pasted into another tree moves its rows, the source's
// handlers ask how many rows are still selected: the rows that already
// left the source are no longer counted (as when each row moved alone).
TEST(TreeCrossTree, CutPastedIntoAnotherTreeCountsTheSourceSelectionRightWhileRowsMove) {
  TDoomedTree source, target;
  TOwnedTree& s = *source.T;
  PDataNode here = cutThreeRows(s, *target.T);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> seen;  // count, walked
  s.OnNodeMoved = [&](TBaseDataTree*, PDataNode) { seen.emplace_back(s.SelectedCount(), selectedByWalk(s)); };
  EXPECT_TRUE(target.T->PasteFromClipboard());
  EXPECT_EQ(here->ChildCount, 3u);
  ASSERT_EQ(seen.size(), 3u);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i);
    EXPECT_EQ(seen[i].first, seen[i].second) << "SelectedCount counts rows that left the tree";
  }
  EXPECT_EQ(s.SelectedCount(), 0u);
  Clipboard()->Clear();
}

// A copy or a move into another tree writes the rows first, raising the
// source's save handler for each. That handler may destroy the target
// tree: the copy or move must end there with nothing, not read the tree
// it destroyed (ASan: heap-use-after-free in InsertNodesFromStream).
namespace {
void copyOrMoveWhileTheSaveHandlerDestroysTheTarget(bool move) {
  TDoomedTree source, target;
  TOwnedTree& s = *source.T;
  PDataNode row = s.Add(nullptr, "row", 7);
  s.Add(row, "below", 8);
  PDataNode here = target.T->Add(nullptr, "here");
  bool ran = false;
  onceAfterTheFirstSave(s, ran, [&] { target.destroy(); });
  PDataNode result = copyOrMove(s, row, here, move);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(target.Destroyed);
  EXPECT_EQ(result, nullptr);
  // The source keeps what it had: nothing arrived anywhere.
  EXPECT_EQ(s.TotalCount(), 2u);
  checkInvariants(s);
}
}  // namespace

TEST(TreeCrossTree, CopyIntoATreeTheSourceSaveHandlerDestroysReadsNothingOfIt) {
  copyOrMoveWhileTheSaveHandlerDestroysTheTarget(false);
}

TEST(TreeCrossTree, MoveIntoATreeTheSourceSaveHandlerDestroysReadsNothingOfIt) {
  copyOrMoveWhileTheSaveHandlerDestroysTheTarget(true);
}

// A cut pasted into another tree: the target opens its own update bracket
// first, and its updating handler destroys the source. The paste must not
// read the source it was handed (ASan: heap-use-after-free reading the
// source's states in ProcessOLEData).
TEST(TreeCrossTree, CutPastedIntoATreeWhoseBracketDestroysTheSourceReadsNothingOfIt) {
  TDoomedTree source, target;
  TOwnedTree& t = *target.T;
  PDataNode here = cutThreeRows(*source.T, t);
  bool armed = true;
  t.OnUpdating = [&](TBaseDataTree*, TDTUpdateState state) {
    if (!armed || state != usBegin) return;
    armed = false;
    source.destroy();
  };
  t.PasteFromClipboard();
  EXPECT_FALSE(armed);
  ASSERT_TRUE(source.Destroyed);
  EXPECT_EQ(here->ChildCount, 0u);
  checkInvariants(t);
  Clipboard()->Clear();
}

namespace {
void copyOrMoveWhileTheSaveHandlerDeletesTheTargetRow(bool move) {
  TOwnedTree s, t;
  PDataNode row = s.Add(nullptr, "row", 7);
  s.Add(row, "below", 8);
  PDataNode here = t.Add(nullptr, "here");
  t.Add(nullptr, "other");
  PDataNode filler = nullptr;
  bool ran = false;
  onceAfterTheFirstSave(s, ran, [&] {
    t.DeleteNode(here);
    // A row made now takes the freed row's place (the tree reuses it).
    filler = t.Add(nullptr, "filler");
  });
  PDataNode result = copyOrMove(s, row, here, move);
  EXPECT_TRUE(ran);
  EXPECT_EQ(result, nullptr);
  // The target row went before anything arrived below it: nothing lands
  // below the row made in its place.
  ASSERT_NE(filler, nullptr);
  EXPECT_EQ(filler->ChildCount, 0u) << "the rows arrived below a row the program never named";
  EXPECT_EQ(t.TotalCount(), 2u);
  EXPECT_EQ(s.TotalCount(), 2u);
  checkInvariants(s);
  checkInvariants(t);
}
}  // namespace

// A copy or a move into another tree whose source's save handler deletes
// the target row there: nothing may be inserted below the freed row. (With
// the freed row left as it is, the insertion links the arriving row below
// itself and loops for ever; here a new row takes the freed one's place.)
TEST(TreeCrossTree, CopyIntoARowTheSourceSaveHandlerDeletesReadsNothingOfIt) {
  copyOrMoveWhileTheSaveHandlerDeletesTheTargetRow(false);
}

TEST(TreeCrossTree, MoveIntoARowTheSourceSaveHandlerDeletesReadsNothingOfIt) {
  copyOrMoveWhileTheSaveHandlerDeletesTheTargetRow(true);
}
