// Deletions that wait for the message loop while a walk holds the nodes.
#include <functional>
#include <string>
#include <utility>

#include "platform/gui/forms.h"
#include "tests/tree/tree_stream_util.h"

// The walk's own handler runs the loop (a progress display): the deletion
// is carried out once the walk is over, neither inside it nor never.
TEST(TreeWalkHold, AWaitingDeletionWaitsForAWalkWhoseHandlerRunsTheMessageLoop) {
  using TWalk = std::function<void(TOwnedTree&, TOwnedTree&)>;
  const std::pair<const char*, TWalk> walks[] = {
      {"save", [](TOwnedTree& t, TOwnedTree&) { TMemoryStream s; t.SaveToStream(&s); }},
      {"sort", [](TOwnedTree& t, TOwnedTree&) { t.SortTree(NoColumn, sdDescending, false); }},
      {"copy", [](TOwnedTree& t, TOwnedTree& o) { t.CopyTo(t.GetFirst(), o.GetFirst(), amAddChildLast, false); }},
      {"move", [](TOwnedTree& t, TOwnedTree& o) { t.MoveTo(t.GetFirst(), o.GetFirst(), amAddChildLast, false); }}};
  for (const auto& [name, walk] : walks) {
    SCOPED_TRACE(name);
    TOwnedTree tree, other;
    other.Add(nullptr, "there");
    for (int id = 1; id <= 3; ++id) tree.Add(nullptr, "row", id);
    // A question's handler asks for a deletion: it waits for the loop.
    tree.OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType, String&) { t->DeleteNode(n); };
    (void)tree.Text(tree.GetLast(), NoColumn);
    tree.OnGetText = nullptr;
    auto save = tree.OnSaveNode;
    tree.OnSaveNode = [&](TBaseDataTree* t, PDataNode n, TStream* s) {
      save(t, n, s);
      Application->ProcessMessages();
    };
    tree.OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& result) {
      result = tree.Id(a) - tree.Id(b);
      Application->ProcessMessages();
    };
    EXPECT_NO_THROW(walk(tree, other));
    EXPECT_EQ(tree.PendingDeletionCount(), 1u) << "carried out (or lost) inside the walk";
    for (int i = 0; i < 100 && tree.PendingDeletionCount() > 0; ++i) Application->HandleMessage();
    EXPECT_EQ(tree.Dump().find("#3"), std::string::npos) << "the row stays";
    checkInvariants(tree);
  }
}
