// Deletions that wait for the message loop while a walk holds the nodes:
// the walk's own handler runs the loop (a progress display), and the
// deletion is carried out once the walk is over, never inside it.
#include <functional>

#include "platform/gui/forms.h"
#include "tests/tree/tree_stream_util.h"

TEST(TreeWalkHold, AWaitingDeletionWaitsForAWalkWhoseHandlerRunsTheMessageLoop) {
  struct TWalk {
    const char* Name;
    std::function<void(TOwnedTree& Tree, PDataNode Row, TOwnedTree& Other)> Run;
  };
  const TWalk walks[] = {
      {"save", [](TOwnedTree& t, PDataNode, TOwnedTree&) { TMemoryStream s; t.SaveToStream(&s); }},
      {"sort", [](TOwnedTree& t, PDataNode, TOwnedTree&) { t.SortTree(NoColumn, sdDescending, false); }},
      {"copy", [](TOwnedTree& t, PDataNode r, TOwnedTree& o) { t.CopyTo(r, o.GetFirst(), amAddChildLast, false); }},
      {"move", [](TOwnedTree& t, PDataNode r, TOwnedTree& o) { t.MoveTo(r, o.GetFirst(), amAddChildLast, false); }},
  };
  for (const TWalk& walk : walks) {
    SCOPED_TRACE(walk.Name);
    TOwnedTree tree, other;
    other.Add(nullptr, "there");
    std::vector<PDataNode> rows;
    for (int i = 0; i < 4; ++i) rows.push_back(tree.Add(nullptr, "row " + std::to_string(i), i + 1));
    tree.Add(rows[0], "below", 9);
    // A question's handler asks for the deletion of a row; it waits.
    const PDataNode doomed = rows[2];
    auto getText = tree.OnGetText;
    tree.OnGetText = [&](TBaseDataTree* t, PDataNode n, TColumnIndex c, TDTTextType type, String& text) {
      getText(t, n, c, type, text);
      if (n == doomed) t->DeleteNode(n);
    };
    (void)tree.Text(doomed, NoColumn);
    ASSERT_EQ(tree.PendingDeletionCount(), 1u);
    tree.OnGetText = getText;
    // The walk's handlers show progress, running the message loop.
    int steps = 0;
    auto progress = [&] {
      ++steps;
      Application->ProcessMessages();
    };
    auto save = tree.OnSaveNode;
    tree.OnSaveNode = [&](TBaseDataTree* t, PDataNode n, TStream* s) {
      save(t, n, s);
      progress();
    };
    tree.OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& result) {
      result = tree.Id(a) - tree.Id(b);
      progress();
    };
    EXPECT_NO_THROW(walk.Run(tree, rows[0], other));
    EXPECT_GT(steps, 0);
    EXPECT_EQ(tree.PendingDeletionCount(), 1u) << "the deletion was carried out (or lost) inside the walk";
    for (int i = 0; i < 100 && tree.PendingDeletionCount() > 0; ++i) Application->HandleMessage();
    EXPECT_EQ(tree.PendingDeletionCount(), 0u);
    bool present = false;
    for (PDataNode n = tree.GetFirstNoInit(); n; n = tree.GetNextNoInit(n)) present |= tree.Id(n) == 3;
    EXPECT_FALSE(present) << "the row stays";
    checkInvariants(tree);
    checkInvariants(other);
  }
}
