// Loops that keep a row across a question to the owner outside the table
// of events: the rubber band asks whether the cells right of the row are
// empty and how wide the row is, and a handler may delete the row then.
#include "tests/tree/tree_input_util.h"

using namespace inputtest;

namespace {
// Five rows of three columns where only the first has text, the others
// spanned over from it.
struct TSpannedRows {
  TInputFixture F{300, 240};
  std::vector<PDataNode> Roots;
  bool Armed = false;
  PDataNode Deleted = nullptr;

  explicit TSpannedRows(bool multiSelect) {
    for (int i = 0; i < 3; ++i) F.Tree->Header().Columns().Add()->SetWidth(90);
    F.Tree->Header().SetMainColumn(0);
    auto roots = F.resultShaped(5, 0);
    Roots.assign(roots.begin(), roots.end());
    F.Tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex c, TDTTextType, String& text) {
      text = c <= 0 ? itemOf(t, n)->Caption : String();
    };
    if (multiSelect) F.Tree->TreeOptions().SetSelectionOptions({toMultiSelect});
    F.Tree->TreeOptions().SetAutoOptions(F.Tree->TreeOptions().AutoOptions() + TDTAutoOptions{toAutoSpanColumns});
  }
  // Shows the tree, with the handler that deletes the third row once armed.
  void showDeletingTheThirdRow() {
    F.show();
    F.Tree->OnGetCellIsEmpty = [this](TBaseDataTree* t, PDataNode n, TColumnIndex, bool& empty) {
      empty = true;
      if (!Armed || n != Roots[2]) return;
      Armed = false;
      Deleted = n;
      t->DeleteNode(n);
    };
  }
};
}  // namespace

// Once: the rubber band's row walk (tree/rubber_band.cpp,
// collectSelectedNodes) keeps the row across OnGetCellIsEmpty and reads it
// afterwards (its state and its next row) when the handler deleted it.
// ASan: heap-use-after-free (use-after-poison in the node arena).
TEST(TreeGoneRows, TheRubberBandWhoseCellIsEmptyHandlerDeletesTheRowGoesOnWithTheRest) {
  TSpannedRows r(true);
  r.showDeletingTheThirdRow();
  TInputFixture& f = r.F;
  // From below the last row up over all of them.
  const int below = f.rowRect(r.Roots[4]).Bottom + 10;
  f.mouse(imDown, {40, below});
  r.Armed = true;
  f.mouse(imMove, {60, below - 30}, mbLeft, {}, {ssLeft});
  f.mouse(imMove, {250, f.rowRect(r.Roots[0]).Top + 2}, mbLeft, {}, {ssLeft});
  f.mouse(imUp, {250, f.rowRect(r.Roots[0]).Top + 2});
  EXPECT_EQ(r.Deleted, r.Roots[2]) << "the handler was not asked about the row";
  EXPECT_EQ(f.Tree->RootNodeCount(), 4u);
  EXPECT_EQ(f.Tree->VisibleCount(), 4u);
}

// Once: a paint of the tree's window (the toolkit's own, from the message
// loop) whose handler destroys the tree crashes inside the toolkit: the
// window is taken off its parent (platform/gui/controls.cpp, DestroyWnd)
// while the toolkit is still flushing the top-level window that holds it.
// ASan: SEGV in QWidget::mapToParent under QWidgetRepaintManager::flush.
// The table of events never sees it: its paints go into a bitmap.
TEST(TreeGoneRows, APaintOfTheWindowWhoseHandlerDestroysTheTreeEndsCleanly) {
  TInputFixture f(300, 240);
  f.resultShaped(5, 0);
  f.show();
  std::weak_ptr<const bool> life = f.Tree->LifeToken();
  bool armed = true;
  f.Tree->OnBeforeCellPaint = [&](TBaseDataTree* t, TCanvas*, PDataNode, TColumnIndex, TRect&) {
    if (!armed) return;
    armed = false;
    delete t;
  };
  HWND h = f.handle();
  f.Tree->Invalidate();
  WaitExposed(h);  // ends as soon as the paint has freed the tree
  EXPECT_TRUE(life.expired());
}

// Once: hit testing over spanned columns (tree/geometry.cpp, the
// toAutoSpanColumns walks in the hit test) asks OnGetCellIsEmpty about one
// cell after another of the same row, and goes on reading the row after the
// handler deleted it. A click on an empty cell is enough.
TEST(TreeGoneRows, AClickOnASpannedCellWhoseCellIsEmptyHandlerDeletesTheRowReadsNothingOfIt) {
  TSpannedRows r(false);
  r.showDeletingTheThirdRow();
  const TRect row = r.F.rowRect(r.Roots[2]);
  r.Armed = true;
  r.F.click({230, (row.Top + row.Bottom) / 2});
  EXPECT_EQ(r.Deleted, r.Roots[2]) << "the handler was not asked about the row";
  EXPECT_EQ(r.F.Tree->RootNodeCount(), 4u);
}

// Once: deleting the selection (tree/move_copy.cpp, deleteLastToFirst)
// decides that no handler freed a node of its list by counting the frees
// of each step against the deleted node's total count taken before the
// step. A handler that, while the node is being deleted, moves one of its
// children out and deletes another selected node keeps the count even, and
// the loop then reads (and deletes again) the freed node.
// ASan: use-after-poison reading the freed row in deleteLastToFirst.
TEST(TreeGoneRows, DeletingTheSelectionWhileAHandlerMovesAChildOutAndDeletesASelectedRowReadsNoFreedRow) {
  auto* tree = new TDataStringTree(nullptr);
  const std::weak_ptr<const bool> life = tree->LifeToken();
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  std::vector<PDataNode> roots;
  for (int i = 0; i < 5; ++i) roots.push_back(tree->AddChild(nullptr));
  PDataNode child = tree->AddChild(roots[4]);
  tree->AddToSelection(roots[1]);
  tree->AddToSelection(roots[4]);
  bool armed = false, acted = false;
  tree->OnStateChange = [&](TBaseDataTree* t, TDataTreeStates Enter, TDataTreeStates) {
    if (!armed || !Enter.Contains(tsStructureChangePending)) return;
    armed = false;
    acted = true;
    t->MoveTo(child, roots[0], amAddChildLast, false);
    t->DeleteNode(roots[1]);
  };
  armed = true;
  tree->DeleteSelectedNodes();
  EXPECT_TRUE(acted) << "the handler never ran";
  ASSERT_FALSE(life.expired());
  EXPECT_EQ(tree->RootNodeCount(), 3u);
  EXPECT_EQ(tree->TotalCount(), 4u);
  EXPECT_EQ(tree->SelectedCount(), 0u);
  delete tree;
}

// Once: GetMaxRightExtend (tree/geometry.cpp), a program's call, measures
// each shown row and then reads the row (its level, its next row) after
// the OnMeasureTextWidth handler deleted it.
// ASan: use-after-poison in GetNodeLevel under nodeRightExtend.
TEST(TreeGoneRows, TheWidestRowWhoseMeasureHandlerDeletesARowReadsNothingOfIt) {
  auto* tree = new TDataStringTree(nullptr);
  tree->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) { text = u"a row"; };
  std::vector<PDataNode> roots;
  for (int i = 0; i < 4; ++i) roots.push_back(tree->AddChild(nullptr));
  bool armed = true;
  PDataNode deleted = nullptr;
  tree->OnMeasureTextWidth = [&](TBaseDataTree* t, TCanvas*, PDataNode n, TColumnIndex, const String&, int&) {
    if (!armed || n != roots[1]) return;
    armed = false;
    deleted = n;
    t->DeleteNode(n);
  };
  const int widest = tree->GetMaxRightExtend();
  EXPECT_EQ(deleted, roots[1]) << "the handler was not asked about the row";
  EXPECT_GT(widest, 0);
  // A deletion asked from a question's handler waits for the message loop.
  TInputFixture::pump();
  EXPECT_EQ(tree->RootNodeCount(), 3u);
  delete tree;
}

// Once: deciding a hint over spanned columns (tree/hints.cpp,
// HandleHintShow) asks OnGetCellIsEmpty about the cells right of the one
// under the mouse and measures each with the row (GetDisplayRect) after the
// handler deleted the row. The hit test before it asks the same question
// twice; the third question deletes.
TEST(TreeGoneRows, AHintOverSpannedCellsWhoseCellIsEmptyHandlerDeletesTheRowReadsNothingOfIt) {
  TSpannedRows r(false);
  TInputFixture& f = r.F;
  const std::vector<PDataNode>& roots = r.Roots;
  f.Tree->SetShowHint(true);
  f.Tree->SetHint(u"the tree's hint");
  f.Tree->SetHintMode(hmHint);
  f.show();
  int asked = 0;
  PDataNode deleted = nullptr;
  f.Tree->OnGetCellIsEmpty = [&](TBaseDataTree* t, PDataNode n, TColumnIndex, bool& empty) {
    empty = true;
    if (n != roots[2] || deleted || ++asked < 3) return;
    deleted = n;
    t->DeleteNode(n);
  };
  InjectHintRequest(f.Tree, f.textPoint(roots[2]));
  Application->CancelHint();
  EXPECT_EQ(deleted, roots[2]) << "the handler was not asked three times about the row";
  // A deletion asked from a question's handler waits for the message loop.
  f.pump();
  EXPECT_EQ(f.Tree->RootNodeCount(), 4u);
}
