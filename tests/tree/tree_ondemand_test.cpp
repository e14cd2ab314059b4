// Counts and rows kept right while the owner decides, node by node, what
// has children and what opens, and the tree creates them as it walks.
#include <map>
#include <random>

#include "tests/tree/tree_test_util.h"

namespace {
// Deterministic owner answers from the node's place in the tree.
std::uint32_t hashNode(TBaseDataTree& t, PDataNode n) {
  std::uint32_t h = 2166136261u;
  for (PDataNode run = n; run && run != t.RootNode(); run = run->Parent) h = (h ^ run->Index) * 16777619u;
  return h ^ t.GetNodeLevel(n);
}

void ownerDriven(TTestTree& t, std::map<PDataNode, int>* inits = nullptr) {
  t.OnInitNode = [&t, inits](TBaseDataTree*, PDataNode, PDataNode node, TDataNodeInitStates& states) {
    if (inits) ++(*inits)[node];
    std::uint32_t h = hashNode(t, node);
    if (t.GetNodeLevel(node) < 4 && h % 3 != 0) states.Include(ivsHasChildren);
    if (h % 5 == 0) states.Include(ivsExpanded);
  };
  t.OnInitChildren = [&t](TBaseDataTree*, PDataNode node, std::uint32_t& count) {
    count = hashNode(t, node) % 4;
  };
}
}  // namespace

TEST(TreeOnDemand, WalksThatCreateChildrenKeepEveryCount) {
  for (unsigned seed : {7u, 8u, 9u, 10u, 11u}) {
    TTestTree t(nullptr);
    ownerDriven(t);
    std::mt19937 rng(seed);
    const bool above = seed % 2 == 0;
    if (above)
      t.TreeOptions().SetPaintOptions(t.TreeOptions().PaintOptions() + TDTPaintOptions{toChildrenAbove});
    t.SetRootNodeCount(6);
    for (int step = 0; step < 600; ++step) {
      std::vector<PDataNode> nodes = allNodes(t);
      if (nodes.empty()) {
        t.SetRootNodeCount(1 + rng() % 6);
        continue;
      }
      PDataNode n = nodes[rng() % nodes.size()];
      int op = int(rng() % 12);
      switch (op) {
        case 0: {
          std::uint32_t walked = 0;
          for (PDataNode r = t.GetFirst(above); r; r = t.GetNext(r, above)) ++walked;
          EXPECT_EQ(walked, t.TotalCount()) << "a full walk meets every node once";
          break;
        }
        case 1: for (PDataNode r = t.GetFirstVisible(nullptr, above); r; r = t.GetNextVisible(r, above)) {} break;
        case 2: for (PDataNode r = t.GetLastVisible(nullptr, above); r; r = t.GetPreviousVisible(r, above)) {} break;
        case 3: for (PDataNode r = t.GetLast(nullptr, above); r; r = t.GetPrevious(r, above)) {} break;
        case 4: t.ToggleNode(n); break;
        case 5: t.ResetNode(n); break;
        case 6: t.ReinitNode(n, rng() % 2 == 0); break;
        case 7: t.SetVisible(n, rng() % 3 != 0); break;
        case 8: t.GetFirstVisibleChild(n); t.GetLastChild(n); t.GetFirstVisible(n); break;
        case 9: {
          TDTAutoOptions o = t.TreeOptions().AutoOptions();
          rng() % 2 ? o.Include(toAutoFreeOnCollapse) : o.Exclude(toAutoFreeOnCollapse);
          t.TreeOptions().SetAutoOptions(o);
          t.ToggleNode(n);
          break;
        }
        case 10: rng() % 2 ? t.FullExpand(n) : t.FullCollapse(n); break;
        default: t.DeleteNode(n); break;
      }
      checkInvariants(t);
      if (::testing::Test::HasFailure()) FAIL() << "seed " << seed << " step " << step << " op " << op;
    }
  }
}

TEST(TreeOnDemand, DeletingTheLastChildLeavesALeaf) {
  TTestTree t(nullptr);
  int childQueries = 0;
  t.OnInitChildren = [&](TBaseDataTree*, PDataNode, std::uint32_t& count) {
    ++childQueries;
    count = 2;
  };
  PDataNode a = t.AddChild(nullptr);
  t.SetHasChildren(a, true);
  t.SetExpanded(a, true);
  ASSERT_EQ(a->ChildCount, 2u);
  ASSERT_EQ(childQueries, 1);
  t.DeleteNode(a->LastChild);
  t.DeleteNode(a->FirstChild);
  EXPECT_FALSE(a->States.Contains(vsHasChildren)) << "a childless node shows no button";
  EXPECT_TRUE(t.Expanded(a)) << "no silent collapse the owner was never told of";
  for (PDataNode n = t.GetFirst(); n; n = t.GetNext(n)) {}
  for (PDataNode n = t.GetFirstVisible(); n; n = t.GetNextVisible(n)) {}
  EXPECT_EQ(childQueries, 1) << "the owner is not asked again for children it no longer has";
  EXPECT_EQ(t.TotalCount(), 1u);
  PDataNode c = t.AddChild(a);
  EXPECT_TRUE(t.FullyVisible(c)) << "a new child shows below the parent that stayed open";
  EXPECT_EQ(t.VisibleCount(), 2u);
  (void)c;
  checkInvariants(t);

  // The hidden root keeps working after its last child went.
  t.DeleteNode(a);
  EXPECT_EQ(t.GetFirstVisible(), nullptr);
  PDataNode b = t.AddChild(nullptr);
  EXPECT_EQ(t.GetFirstVisible(), b);
  EXPECT_EQ(t.GetFirstVisibleNoInit(), b);
  checkInvariants(t);
}

TEST(TreeOnDemand, LosingTheFocusedNodeIsReported) {
  TTestTree t(nullptr);
  std::vector<PDataNode> focus;
  t.OnFocusChanged = [&](TBaseDataTree*, PDataNode n, TColumnIndex) { focus.push_back(n); };
  PDataNode a = t.AddChild(nullptr);
  PDataNode a1 = t.AddChild(a);
  t.AddChild(nullptr);
  t.SetFocusedNode(a1);
  ASSERT_EQ(focus, (std::vector<PDataNode>{a1}));
  t.DeleteNode(a);  // takes the focused child with it
  EXPECT_EQ(t.FocusedNode(), nullptr);
  EXPECT_EQ(focus, (std::vector<PDataNode>{a1, nullptr}));

  PDataNode b = t.GetFirst();
  t.SetFocusedNode(b);
  focus.clear();
  t.Clear();
  EXPECT_EQ(t.FocusedNode(), nullptr);
  EXPECT_TRUE(focus.empty()) << "clearing drops the focus without a report";
}

TEST(TreeOnDemand, ShrinkingChildrenDropsTheirSelection) {
  TTestTree t(nullptr);
  t.TreeOptions().SetSelectionOptions({toMultiSelect});
  PDataNode a = t.AddChild(nullptr);
  t.SetChildCount(a, 5);
  t.SetExpanded(a, true);
  t.SetSelected(a->FirstChild, true);
  t.SetSelected(a->LastChild, true);
  t.SetSelected(a->LastChild->PrevSibling, true);
  ASSERT_EQ(t.SelectedCount(), 3u);
  t.SetChildCount(a, 2);
  EXPECT_EQ(t.SelectedCount(), 1u);
  EXPECT_EQ(t.GetFirstSelected(), a->FirstChild);
  EXPECT_EQ(t.VisibleCount(), 3u);
  checkInvariants(t);
}

namespace {
class TCopyTree : public TTestTree {
public:
  using TTestTree::TTestTree;
  using TBaseDataTree::MarkCutCopyNodes;
  using TBaseDataTree::DoStateChange;
};
}  // namespace

TEST(TreeOnDemand, EveryInitialisingWalkReturnsInitialisedNodes) {
  TCopyTree t(nullptr);
  t.TreeOptions().SetSelectionOptions({toMultiSelect});
  // Bare nodes: none of these was reached by a walk yet.
  auto bare = [&] {
    t.Clear();
    t.SetRootNodeCount(3);
    for (PDataNode n = t.GetFirstNoInit(); n; n = n->NextSibling) t.SetChildCount(n, 3);
    PDataNode mid = t.GetFirstNoInit()->NextSibling;
    t.SetExpanded(mid, true);  // opens it; its children stay bare
    return mid;
  };
  auto initialised = [](PDataNode n) { return !n || n->States.Contains(vsInitialized); };
  using Walk = std::function<PDataNode(PDataNode)>;
  std::vector<std::pair<const char*, Walk>> walks = {
      {"GetFirst", [&](PDataNode) { return t.GetFirst(); }},
      {"GetLast", [&](PDataNode) { return t.GetLast(); }},
      {"GetNext", [&](PDataNode m) { return t.GetNext(m); }},
      {"GetPrevious", [&](PDataNode m) { return t.GetPrevious(m); }},
      {"GetFirstChild", [&](PDataNode m) { return t.GetFirstChild(m); }},
      {"GetLastChild", [&](PDataNode m) { return t.GetLastChild(m); }},
      {"GetNextSibling", [&](PDataNode m) { return t.GetNextSibling(m); }},
      {"GetPreviousSibling", [&](PDataNode m) { return t.GetPreviousSibling(m); }},
      {"GetNextVisibleSibling", [&](PDataNode m) { return t.GetNextVisibleSibling(m); }},
      {"GetPreviousVisibleSibling", [&](PDataNode m) { return t.GetPreviousVisibleSibling(m); }},
      {"GetFirstVisible", [&](PDataNode) { return t.GetFirstVisible(); }},
      {"GetLastVisible", [&](PDataNode) { return t.GetLastVisible(); }},
      {"GetNextVisible", [&](PDataNode m) { return t.GetNextVisible(m); }},
      {"GetPreviousVisible", [&](PDataNode m) { return t.GetPreviousVisible(m->NextSibling); }},
      {"GetFirstVisibleChild", [&](PDataNode m) { return t.GetFirstVisibleChild(m); }},
      {"GetLastVisibleChild", [&](PDataNode m) { return t.GetLastVisibleChild(m); }},
      {"GetNodeAt", [&](PDataNode) { int top; return t.GetNodeAt(0, 18 * 2 + 1, false, top); }},
      {"GetFirstSelected",
       [&](PDataNode m) {
         t.SetSelected(m->LastChild, true);
         return t.GetFirstSelected();
       }},
      {"GetFirstCutCopy",
       [&](PDataNode m) {
         t.SetSelected(m->LastChild, true);
         t.MarkCutCopyNodes();
         t.DoStateChange({tsCopyPending});
         return t.GetFirstCutCopy();
       }},
  };
  for (auto& [name, walk] : walks) {
    PDataNode mid = bare();
    PDataNode got = walk(mid);
    EXPECT_NE(got, nullptr) << name;
    EXPECT_TRUE(initialised(got)) << name << " returned a node the owner never saw";
  }
}

TEST(TreeOnDemand, FreedNodesStillKnowTheirTreeAndLevel) {
  TTestTree t(nullptr);
  t.SetNodeDataSize(8);
  std::vector<std::pair<TBaseDataTree*, unsigned>> freed;
  t.OnFreeNode = [&](TBaseDataTree*, PDataNode n) {
    freed.push_back({TreeFromNode(n), t.GetNodeLevel(n)});
  };
  PDataNode a = t.AddChild(nullptr);
  PDataNode a1 = t.AddChild(a);
  t.AddChild(a1);
  t.AddChild(nullptr);
  for (PDataNode n = t.GetFirst(); n; n = t.GetNext(n)) {}  // initialise all
  t.DeleteNode(a1);
  EXPECT_EQ(freed, (std::vector<std::pair<TBaseDataTree*, unsigned>>{{&t, 2}, {&t, 1}}));
  freed.clear();
  t.GetFirstChild(t.AddChild(a));  // initialised, so the owner frees it
  t.DeleteChildren(a);
  t.Clear();
  ASSERT_EQ(freed.size(), 3u);
  for (auto& f : freed) EXPECT_EQ(f.first, &t);
  EXPECT_EQ(freed[0].second, 1u);
}

TEST(TreeOnDemand, VisibleWalksThatCreateChildrenMatchTheShownRows) {
  for (bool above : {false, true}) {
    for (unsigned seed : {3u, 4u, 5u, 6u}) {
      for (bool backwardFirst : {false, true}) {
      TTestTree t(nullptr);
      ownerDriven(t);
      if (above)
        t.TreeOptions().SetPaintOptions(t.TreeOptions().PaintOptions() + TDTPaintOptions{toChildrenAbove});
      std::mt19937 rng(seed);
      t.SetRootNodeCount(8);
      // Open some nodes without walking into them first.
      for (int i = 0; i < 6; ++i) {
        std::vector<PDataNode> nodes = allNodes(t);
        t.SetExpanded(nodes[rng() % nodes.size()], true);
      }
      for (int pass = 0; pass < 2; ++pass) {
        // Each direction once on bare nodes, once on nodes the other one reached.
        std::vector<PDataNode> rows;
        if ((pass == 0) != backwardFirst) {
          for (PDataNode n = t.GetFirstVisible(nullptr, true); n; n = t.GetNextVisible(n, true))
            rows.push_back(n);
        } else {
          for (PDataNode n = t.GetLastVisible(nullptr, true); n; n = t.GetPreviousVisible(n, true))
            rows.insert(rows.begin(), n);
        }
        std::vector<PDataNode> expected;
        referenceRows(t, t.RootNode(), above, expected);
        EXPECT_EQ(rows, expected) << (above ? "children above, " : "") << "seed " << seed
                                  << (backwardFirst ? " backward" : " forward") << " pass " << pass;
      }
      checkInvariants(t);
      }
    }
  }
}

TEST(TreeOnDemand, VisibleWalksFollowChildrenAboveOnlyWhenAsked) {
  TTestTree t(nullptr);
  t.TreeOptions().SetPaintOptions(t.TreeOptions().PaintOptions() + TDTPaintOptions{toChildrenAbove});
  PDataNode a = t.AddChild(nullptr);
  PDataNode a1 = t.AddChild(a);
  t.SetExpanded(a, true);
  EXPECT_EQ(t.GetFirstVisible(), a) << "plain tree order unless the caller asks for the painted one";
  EXPECT_EQ(t.GetNextVisible(a), a1);
  EXPECT_EQ(t.GetLastVisible(), a1);
  EXPECT_EQ(t.GetPreviousVisible(a1), a);
  EXPECT_EQ(t.GetFirstVisibleNoInit(), a);
  EXPECT_EQ(t.GetNextVisibleNoInit(a), a1);
  EXPECT_EQ(t.GetLastVisibleNoInit(), a1);
  EXPECT_EQ(t.GetPreviousVisibleNoInit(a1), a);
  EXPECT_EQ(t.GetFirstVisible(nullptr, true), a1);
  EXPECT_EQ(t.GetNextVisible(a1, true), a);
}

TEST(TreeOnDemand, DeletingTheRangeAnchorFallsBackToTheFocus) {
  TTestTree t(nullptr);
  t.TreeOptions().SetSelectionOptions({toMultiSelect});
  PDataNode a = t.AddChild(nullptr);
  PDataNode b = t.AddChild(nullptr);
  PDataNode c = t.AddChild(nullptr);
  t.SetSelected(a, true);
  t.SetSelected(c, true);
  t.SetFocusedNode(b);
  ASSERT_EQ(t.RangeAnchor(), a);
  t.DeleteNode(a);
  EXPECT_EQ(t.RangeAnchor(), b);
  EXPECT_EQ(t.SelectedCount(), 1u);
}

TEST(TreeOnDemand, RootCountSetWhileLoadingIsAppliedAfterwards) {
  TTestTree t(nullptr);
  t.AddChild(nullptr);
  t.BeginLoading();
  t.SetRootNodeCount(4);
  EXPECT_TRUE(t.TreeStates().Contains(tsNeedRootCountUpdate));
  t.EndLoading();
  EXPECT_FALSE(t.TreeStates().Contains(tsNeedRootCountUpdate));
  EXPECT_EQ(t.RootNodeCount(), 4u);
  EXPECT_EQ(allNodes(t).size(), 4u);
  checkInvariants(t);
  t.AddChild(nullptr);
  EXPECT_EQ(t.RootNodeCount(), 5u);
  checkInvariants(t);
}
