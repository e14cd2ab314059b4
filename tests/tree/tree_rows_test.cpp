// The row under a position after the shape changed: expand, collapse,
// height changes, both row orders, answered through a refilled cache.
#include <memory>
#include <random>

#include "platform/gui/forms.h"
#include "tests/tree/tree_test_util.h"

TEST(TreeRows, BoundariesAfterTogglesMatchTheShownRows) {
  for (bool above : {false, true}) {
    auto t = std::make_unique<TTestTree>(nullptr);
    t->HandleNeeded();
    if (above)
      t->TreeOptions().SetPaintOptions(t->TreeOptions().PaintOptions() + TDTPaintOptions{toChildrenAbove});
    std::mt19937 rng(above ? 21 : 22);
    t->BeginUpdate();
    t->SetRootNodeCount(3000);
    for (PDataNode n = t->GetFirstNoInit(); n; n = n->NextSibling)
      if (rng() % 8 == 0) t->SetChildCount(n, 1 + rng() % 20);
    t->EndUpdate();

    for (int round = 0; round < 4; ++round) {
      // Change the shape outside a bracket, one step at a time.
      for (int i = 0; i < 40; ++i) {
        PDataNode n = t->GetFirstNoInit();
        for (unsigned skip = rng() % 3000; skip && n; --skip) n = n->NextSibling;
        if (!n) continue;
        if (n->ChildCount && rng() % 2) t->ToggleNode(n);
        else t->SetNodeHeight(n->FirstChild && rng() % 2 ? n->FirstChild : n, 4 + int(rng() % 50));
      }
      checkInvariants(*t);
      ASSERT_TRUE(waitFor([&] { return t->TreeStates().Contains(tsUseCache); }));

      std::vector<PDataNode> rows;
      referenceRows(*t, t->RootNode(), above, rows);
      std::uint32_t top = 0;
      int checked = 0;
      for (std::size_t i = 0; i < rows.size(); ++i) {
        std::uint32_t bottom = top + rows[i]->NodeHeight;
        if (i % 97 == 0 || i + 1 == rows.size()) {
          for (std::uint32_t y : {top, bottom - 1}) {
            if (bottom == top) continue;
            int gotTop = -1;
            ASSERT_EQ(t->GetNodeAt(0, int(y), false, gotTop), rows[i]) << "row " << i << " y " << y;
            EXPECT_EQ(std::uint32_t(gotTop), top);
            ++checked;
          }
        }
        top = bottom;
      }
      int dummy;
      EXPECT_EQ(t->GetNodeAt(0, int(top), false, dummy), nullptr) << "nothing below the last row";
      EXPECT_GT(checked, 40);
    }
  }
}
