// The owner-drawn tree and the end of loading from form data.
#include <vector>

#include "tests/tree/tree_input_util.h"
#include "tree/draw_tree.h"

TEST(TreeDrawTree, CellsGoToTheOwnerWithWidthsAndMarginsItChooses) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetClientWidth(200);
  form->SetClientHeight(100);
  auto* tree = new TDataDrawTree(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 200, 100);
  tree->SetRootNodeCount(3);
  form->Show();
  PDataNode first = tree->GetFirst();
  EXPECT_EQ(tree->GetDisplayRect(first, NoColumn, true).Width(), 2 * tree->TextMargin())
      << "without a handler a node is two text margins wide";
  tree->OnGetNodeWidth = [](TBaseDataTree*, TCanvas* canvas, PDataNode, TColumnIndex, int& width) {
    EXPECT_NE(canvas, nullptr);
    width = 60;
  };
  EXPECT_EQ(tree->GetDisplayRect(first, NoColumn, true).Width(), 60);

  std::vector<PDataNode> drawn;
  tree->OnDrawNode = [&](TBaseDataTree*, const TCellPaintInfo& info) { drawn.push_back(info.Node); };
  std::vector<std::uint32_t> pixels;
  int w = 0, h = 0;
  ASSERT_TRUE(GrabWindow(tree, pixels, w, h));
  ASSERT_EQ(drawn.size(), 3u);
  EXPECT_EQ(drawn[0], first);

  TRect r{0, 0, 10, 10};
  tree->OnGetHintSize = [](TBaseDataTree*, PDataNode, TColumnIndex, TRect& rect) { rect.Right = 99; };
  tree->DoGetHintSize(first, NoColumn, r);
  EXPECT_EQ(r.Right, 99);
  EXPECT_TRUE(tree->TreeClass()->InheritsFrom(TBaseDataTree::ClassInfo()));
  delete form;
}

TEST(TreeDrawTree, FormDataMakeTheirNodesAlsoInAReadOnlyTree) {
  Application->Initialize();
  auto tree = std::make_unique<inputtest::TInputTree>(nullptr);
  tree->BeginLoading();
  tree->SetRootNodeCount(5);
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TDTMiscOptions{toReadOnly});
  tree->EndLoading();
  EXPECT_EQ(tree->RootNodeCount(), 5u);
  int made = 0;
  for (PDataNode n = tree->GetFirstNoInit(); n; n = n->NextSibling) ++made;
  EXPECT_EQ(made, 5);
  EXPECT_TRUE(tree->TreeOptions().MiscOptions().Contains(toReadOnly)) << "read-only stays";
}
