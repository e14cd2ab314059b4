// Faults found in the tree core: each case here failed before its fix.
#include <climits>
#include <memory>

#include "platform/graphics/bitmap.h"
#include "platform/gui/forms.h"
#include "tests/tree/tree_test_util.h"
#include "tree/globals.h"

TEST(TreeReview, DataSizeOfNodesThatCannotBeRemadeNeverShrinksBelowTheirBlocks) {
  TTestTree t(nullptr);
  t.SetNodeDataSize(4);
  t.SetRootNodeCount(3);
  t.TreeOptions().SetMiscOptions(t.TreeOptions().MiscOptions() + TDTMiscOptions{toReadOnly});
  // The nodes stay (read-only refuses Clear), so their 4-byte blocks would
  // be read as 64-byte ones: the change must be refused.
  EXPECT_THROW(t.SetNodeDataSize(64), EDataTreeError);
  EXPECT_EQ(t.NodeDataSize(), 4);
  EXPECT_EQ(t.RootNodeCount(), 3u);
  // Without nodes the size may change freely.
  TTestTree empty(nullptr);
  empty.TreeOptions().SetMiscOptions(empty.TreeOptions().MiscOptions() + TDTMiscOptions{toReadOnly});
  empty.SetNodeDataSize(64);
  EXPECT_EQ(empty.NodeDataSize(), 64);
}

TEST(TreeReview, HeightChangeInACollapsedBranchRefillsThePositionCache) {
  auto t = std::make_unique<TTestTree>(nullptr);
  t->HandleNeeded();
  t->BeginUpdate();
  t->SetRootNodeCount(6000);
  PDataNode first = t->GetFirstNoInit();
  t->SetChildCount(first, 3);
  t->EndUpdate();
  ASSERT_TRUE(waitFor([&] { return t->TreeStates().Contains(tsUseCache); }));
  ASSERT_FALSE(t->Expanded(first));
  t->SetNodeHeight(first->FirstChild, 40);
  EXPECT_TRUE(waitFor([&] { return t->TreeStates().Contains(tsUseCache); }, 3000))
      << "the cache is refilled, not switched off for good";
}

TEST(TreeReview, ReinitialisingTheWholeTreeCreatesNoChildren) {
  TTestTree t(nullptr);
  t.OnInitNode = [](TBaseDataTree*, PDataNode parent, PDataNode, TDataNodeInitStates& s) {
    if (!parent) s.Include(ivsHasChildren);
  };
  t.OnInitChildren = [](TBaseDataTree*, PDataNode, std::uint32_t& count) { count = 5; };
  t.SetRootNodeCount(2);
  PDataNode a = t.GetFirst();
  PDataNode b = a->NextSibling;
  t.SetExpanded(b, true);
  ASSERT_EQ(b->ChildCount, 5u);
  int inits = 0;
  t.OnInitNode = [&](TBaseDataTree*, PDataNode parent, PDataNode, TDataNodeInitStates& s) {
    ++inits;
    if (!parent) s.Include(ivsHasChildren);
  };
  t.ReinitNode(nullptr, true);
  EXPECT_EQ(a->ChildCount, 0u) << "children not made yet stay unmade";
  EXPECT_TRUE(a->States.Contains(vsHasChildren));
  EXPECT_EQ(b->ChildCount, 5u);
  EXPECT_EQ(inits, 7) << "every existing node is initialised again";
  EXPECT_EQ(t.TotalCount(), 7u);
}

TEST(TreeReview, OneAddChildIsOneStructureChangeWithOneReason) {
  Application->Initialize();
  for (std::uint32_t delay : {0u, 5u}) {
    auto t = std::make_unique<TTestTree>(nullptr);
    t->HandleNeeded();
    t->SetChangeDelay(delay);
    std::vector<int> reasons;
    t->OnStructureChange = [&](TBaseDataTree*, PDataNode, TChangeReason r) { reasons.push_back(int(r)); };
    PDataNode parent = t->AddChild(nullptr);
    waitFor([&] { return !reasons.empty(); }, 1000);
    waitFor([] { return false; }, 30);
    reasons.clear();
    t->AddChild(parent);
    ASSERT_TRUE(waitFor([&] { return !reasons.empty(); }, 1000)) << "delay " << delay;
    waitFor([] { return false; }, 30);
    EXPECT_EQ(reasons, std::vector<int>{int(crChildAdded)}) << "delay " << delay;
  }
}

TEST(TreeReview, BlendingWithAHugeBiasSaturates) {
  TBitmap source(2, 1), target(2, 1);
  source.SetPixelFormat(pf32bit);
  target.SetPixelFormat(pf32bit);
  source.Canvas()->Brush()->SetColor(TColor(0x404040));
  source.Canvas()->FillRect({0, 0, 2, 1});
  target.Canvas()->Brush()->SetColor(TColor(0x404040));
  target.Canvas()->FillRect({0, 0, 2, 1});
  AlphaBlend(&source, &target, {0, 0, 2, 1}, {0, 0}, bmConstantAlpha, 128, INT_MAX);
  auto* row = static_cast<std::uint8_t*>(target.ScanLine(0));
  EXPECT_EQ(row[0], 255);
  EXPECT_EQ(row[1], 255);
  EXPECT_EQ(row[2], 255);
  AlphaBlend(&source, &target, {0, 0, 2, 1}, {0, 0}, bmConstantAlpha, 128, INT_MIN);
  EXPECT_EQ(row[0], 0);
}

TEST(TreeReview, ParentKeepsItsOpenStateWhenItsLastChildGoes) {
  TTestTree t(nullptr);
  std::vector<PDataNode> collapsed;
  t.OnCollapsed = [&](TBaseDataTree*, PDataNode n) { collapsed.push_back(n); };
  PDataNode root = t.AddChild(nullptr);
  PDataNode only = t.AddChild(root);
  t.SetExpanded(root, true);
  t.DeleteNode(only);
  // The owner shows an open folder since OnExpanded: it was never told of a
  // collapse, so the node must not have closed silently.
  EXPECT_TRUE(t.Expanded(root));
  EXPECT_TRUE(collapsed.empty());
  PDataNode again = t.AddChild(root);
  EXPECT_TRUE(t.FullyVisible(again)) << "a new child shows under the open parent";
  EXPECT_EQ(t.VisibleCount(), 2u);
  checkInvariants(t);
}

TEST(TreeReview, TheLastTreeReleasesTheSharedResources) {
  {
    TTestTree t(nullptr);
    EXPECT_TRUE(TreeGlobals().Initialized);
    {
      TTestTree second(nullptr);
    }
    EXPECT_TRUE(TreeGlobals().Initialized) << "one tree is still there";
  }
  EXPECT_FALSE(TreeGlobals().Initialized);
  EXPECT_EQ(GetCheckImageList(ckSystemDefault), nullptr);
  TTestTree again(nullptr);
  EXPECT_TRUE(TreeGlobals().Initialized);
  EXPECT_NE(GetCheckImageList(ckSystemDefault), nullptr);
}
