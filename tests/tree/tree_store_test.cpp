// Node store, navigation, initialisation on demand and change reports.
#include <algorithm>
#include <map>
#include <random>
#include <stdexcept>
#include <string>

#include "platform/core/streams.h"
#include "tests/tree/tree_test_util.h"

TEST(TreeStore, RandomEditsKeepCountsHeightsIndicesAndVisibleRows) {
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    TTestTree t(nullptr);
    std::mt19937 rng(seed);
    auto pick = [&](const std::vector<PDataNode>& v) { return v[rng() % v.size()]; };
    int bracket = 0;
    for (int step = 0; step < 1500; ++step) {
      std::vector<PDataNode> nodes = allNodes(t);
      int op = int(rng() % 13);
      if (nodes.empty() && op > 1 && op < 11) op = 0;
      switch (op) {
        case 0: t.AddChild(nullptr); break;
        case 1: t.AddChild(nodes.empty() ? nullptr : pick(nodes)); break;
        case 2: t.DeleteNode(pick(nodes)); break;
        case 3: t.SetChildCount(pick(nodes), rng() % 5); break;
        case 4:
        case 5: {
          PDataNode n = pick(nodes);
          if (n->ChildCount) t.ToggleNode(n);
          break;
        }
        case 6: t.SetVisible(pick(nodes), rng() % 3 != 0); break;
        case 7: t.SetNodeHeight(pick(nodes), 5 + int(rng() % 40)); break;
        case 8: t.DeleteChildren(pick(nodes)); break;
        case 9: rng() % 2 ? t.FullExpand(pick(nodes)) : t.FullCollapse(pick(nodes)); break;
        case 10:
          if (bracket < 3) {
            t.BeginUpdate();
            ++bracket;
          } else {
            t.EndUpdate();
            --bracket;
          }
          break;
        case 11:
          if (rng() % 20 == 0) t.Clear();
          break;
        default:
          if (bracket > 0) {
            t.EndUpdate();
            --bracket;
          }
          break;
      }
      checkInvariants(t);
      if (::testing::Test::HasFailure()) FAIL() << "seed " << seed << " step " << step << " op " << op;
    }
    while (bracket-- > 0) t.EndUpdate();

    // The shown rows walk the same in both directions and in both orders.
    for (bool above : {false, true}) {
      TDTPaintOptions options = t.TreeOptions().PaintOptions();
      above ? options.Include(toChildrenAbove) : options.Exclude(toChildrenAbove);
      t.TreeOptions().SetPaintOptions(options);
      std::vector<PDataNode> expected;
      referenceRows(t, t.RootNode(), above, expected);
      std::vector<PDataNode> forward;
      for (PDataNode n = t.GetFirstVisibleNoInit(nullptr, true); n; n = t.GetNextVisibleNoInit(n, true)) forward.push_back(n);
      EXPECT_EQ(forward, expected) << "seed " << seed << (above ? " children above" : "");
      std::vector<PDataNode> backward;
      for (PDataNode n = t.GetLastVisibleNoInit(nullptr, true); n; n = t.GetPreviousVisibleNoInit(n, true))
        backward.insert(backward.begin(), n);
      EXPECT_EQ(backward, expected) << "seed " << seed << (above ? " children above" : "");
      EXPECT_EQ(expected.size(), t.VisibleCount());
    }
  }
}

TEST(TreeStore, NavigationOrderOnIrregularTree) {
  TTestTree t(nullptr);
  // a(a1(a1x, a1y), a2) b c(c1) ; b hidden, c collapsed, a1 expanded under a.
  PDataNode a = t.AddChild(nullptr), b = t.AddChild(nullptr), c = t.AddChild(nullptr);
  PDataNode a1 = t.AddChild(a), a2 = t.AddChild(a);
  PDataNode a1x = t.AddChild(a1), a1y = t.AddChild(a1);
  PDataNode c1 = t.AddChild(c);
  t.SetExpanded(a, true);
  t.SetExpanded(a1, true);
  t.SetVisible(b, false);
  checkInvariants(t);

  std::vector<PDataNode> order;
  for (PDataNode n = t.GetFirst(); n; n = t.GetNext(n)) order.push_back(n);
  EXPECT_EQ(order, (std::vector<PDataNode>{a, a1, a1x, a1y, a2, b, c, c1}));

  std::vector<PDataNode> rows;
  for (PDataNode n = t.GetFirstVisible(); n; n = t.GetNextVisible(n)) rows.push_back(n);
  EXPECT_EQ(rows, (std::vector<PDataNode>{a, a1, a1x, a1y, a2, c}));

  // From rows that are not shown the walk goes on after the hiding subtree.
  EXPECT_EQ(t.GetNextVisibleNoInit(c1), nullptr);
  EXPECT_EQ(t.GetNextVisibleNoInit(b), c);
  EXPECT_EQ(t.GetPreviousVisibleNoInit(c1), c);
  EXPECT_EQ(t.GetPreviousVisibleNoInit(b), a2);
  EXPECT_EQ(t.GetLast(), c1);
  EXPECT_EQ(t.GetLastVisible(), c);
  EXPECT_EQ(t.GetPrevious(c), b);
  EXPECT_EQ(t.GetPrevious(a2), a1y);
  EXPECT_EQ(t.GetNextVisibleSibling(a), c);
  EXPECT_EQ(t.GetPreviousVisibleSibling(c), a);
  EXPECT_EQ(t.GetNodeLevel(a1x), 2u);

  EXPECT_LT(t.CompareNodePositions(a1y, a2), 0);
  EXPECT_GT(t.CompareNodePositions(a1x, a), 0);
  EXPECT_LT(t.CompareNodePositions(a, a1x), 0);
  EXPECT_LT(t.CompareNodePositions(a1x, c1), 0);
  EXPECT_EQ(t.CompareNodePositions(c1, c1), 0);

  EXPECT_EQ(t.GetNext(nullptr), nullptr);
  EXPECT_THROW(t.GetNext(t.RootNode()), EAssertionFailed);
  EXPECT_EQ(t.GetNext(c1), nullptr);

  // Rows by position follow the shown order.
  int top = -1;
  EXPECT_EQ(t.GetNodeAt(0, 18 * 3 + 1, false, top), a1y);
  EXPECT_EQ(top, 18 * 3);
  EXPECT_EQ(t.GetNodeAt(0, 18 * 6, false, top), nullptr);
  EXPECT_EQ(t.GetNodeAt(0, -40, false, top), a);
}

TEST(TreeStore, NodesAreInitialisedOnceWhenFirstReached) {
  TTestTree t(nullptr);
  std::map<PDataNode, int> inits;
  int childQueries = 0;
  t.OnInitNode = [&](TBaseDataTree*, PDataNode parent, PDataNode node, TDataNodeInitStates& states) {
    ++inits[node];
    if (!parent) states.Include(ivsHasChildren);
  };
  t.OnInitChildren = [&](TBaseDataTree*, PDataNode, std::uint32_t& count) {
    ++childQueries;
    count = 3;
  };
  t.SetRootNodeCount(4);
  EXPECT_TRUE(inits.empty()) << "creating nodes asks nothing";

  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n)) {
  }
  EXPECT_TRUE(inits.empty()) << "walking without initialisation asks nothing";

  int walked = 0;
  for (PDataNode n = t.GetFirst(); n; n = t.GetNext(n)) ++walked;
  EXPECT_EQ(walked, 4 + 4 * 3);
  EXPECT_EQ(childQueries, 4);
  EXPECT_EQ(inits.size(), 16u);
  for (auto& [node, count] : inits) EXPECT_EQ(count, 1);

  for (PDataNode n = t.GetFirst(); n; n = t.GetNext(n)) {
  }
  EXPECT_EQ(childQueries, 4);
  for (auto& [node, count] : inits) EXPECT_EQ(count, 1) << "a second walk asks nothing";

  // Re-initialising asks once more for every existing node, creating none.
  t.ReinitNode(nullptr, true);
  EXPECT_EQ(t.TotalCount(), 16u);
  for (auto& [node, count] : inits) EXPECT_EQ(count, 2);

  // A node whose children turn out to be none loses its button and stays shut.
  t.OnInitChildren = [](TBaseDataTree*, PDataNode, std::uint32_t& count) { count = 0; };
  PDataNode first = t.GetFirst();
  t.ResetNode(first);
  EXPECT_FALSE(first->States.Contains(vsInitialized));
  t.SetExpanded(first, true);
  EXPECT_FALSE(t.Expanded(first));
  EXPECT_FALSE(first->States.Contains(vsHasChildren));
  checkInvariants(t);
}

TEST(TreeStore, ExpandAndCollapseKeepRowsAndHonourVetoes) {
  TTestTree t(nullptr);
  std::vector<std::string> log;
  t.OnExpanding = [&](TBaseDataTree*, PDataNode, bool& allowed) { log.push_back("expanding"); allowed = true; };
  t.OnExpanded = [&](TBaseDataTree*, PDataNode) { log.push_back("expanded"); };
  t.OnCollapsing = [&](TBaseDataTree*, PDataNode, bool& allowed) { log.push_back("collapsing"); allowed = false; };
  PDataNode parent = t.AddChild(nullptr);
  t.SetChildCount(parent, 5);
  PDataNode hidden = t.AddChild(nullptr);
  t.SetChildCount(hidden, 2);
  t.SetVisible(hidden, false);

  t.SetExpanded(parent, true);
  EXPECT_EQ(t.VisibleCount(), 1u + 5u);
  EXPECT_EQ(log, (std::vector<std::string>{"expanding", "expanded"}));
  t.SetExpanded(parent, true);  // same value: nothing
  EXPECT_EQ(log.size(), 2u);
  t.SetExpanded(parent, false);  // vetoed
  EXPECT_TRUE(t.Expanded(parent));
  EXPECT_EQ(t.VisibleCount(), 6u);

  // Expanding below a hidden node adds no rows.
  t.SetExpanded(hidden, true);
  EXPECT_EQ(t.VisibleCount(), 6u);
  checkInvariants(t);

  t.OnCollapsing = nullptr;
  t.FullCollapse();
  EXPECT_FALSE(t.Expanded(parent));
  EXPECT_EQ(t.VisibleCount(), 1u);
  t.FullExpand();
  EXPECT_EQ(t.VisibleCount(), 6u);
  checkInvariants(t);

  // Auto-free drops the children at each collapse and asks again.
  int asked = 0;
  t.OnInitChildren = [&](TBaseDataTree*, PDataNode, std::uint32_t& count) { ++asked; count = 4; };
  t.TreeOptions().SetAutoOptions(t.TreeOptions().AutoOptions() + TDTAutoOptions{toAutoFreeOnCollapse});
  t.SetExpanded(parent, false);
  EXPECT_EQ(parent->ChildCount, 0u);
  EXPECT_TRUE(parent->States.Contains(vsHasChildren));
  t.SetExpanded(parent, true);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(parent->ChildCount, 4u);
  checkInvariants(t);
}

TEST(TreeStore, UpdateBracketDefersAndMergesReports) {
  TTestTree t(nullptr);
  std::vector<TDTUpdateState> updates;
  std::vector<std::pair<PDataNode, TChangeReason>> structure;
  std::vector<PDataNode> changes;
  t.OnUpdating = [&](TBaseDataTree*, TDTUpdateState s) { updates.push_back(s); };
  t.OnStructureChange = [&](TBaseDataTree*, PDataNode n, TChangeReason r) { structure.push_back({n, r}); };
  t.OnChange = [&](TBaseDataTree*, PDataNode n) { changes.push_back(n); };

  t.BeginUpdate();
  t.BeginUpdate();
  PDataNode a = t.AddChild(nullptr);
  t.AddChild(a);
  t.EndUpdate();
  EXPECT_TRUE(structure.empty()) << "nothing is reported inside the bracket";
  t.DeleteNode(t.AddChild(nullptr));
  t.SetSelected(a, true);
  t.EndUpdate();
  EXPECT_EQ(updates, (std::vector<TDTUpdateState>{usBegin, usUpdate, usUpdate, usEnd}));
  ASSERT_EQ(structure.size(), 1u);
  EXPECT_EQ(structure[0].second, crAccumulated);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], a);

  // Outside a bracket every change is reported at once.
  structure.clear();
  t.AddChild(nullptr);
  ASSERT_EQ(structure.size(), 1u);
  EXPECT_EQ(structure[0], std::make_pair(PDataNode(nullptr), crChildAdded));

  // The state-change event only sees real changes.
  int stateEvents = 0;
  t.OnStateChange = [&](TBaseDataTree*, TDataTreeStates, TDataTreeStates) { ++stateEvents; };
  t.BeginUpdate();
  int afterBegin = stateEvents;
  t.BeginUpdate();
  EXPECT_EQ(stateEvents, afterBegin) << "entering a state already set is no change";
  t.EndUpdate();
  t.EndUpdate();
}

TEST(TreeStore, ReportsNeverCarryFreedNodes) {
  TTestTree t(nullptr);
  std::vector<PDataNode> changes, structures;
  t.OnChange = [&](TBaseDataTree*, PDataNode n) { changes.push_back(n); };
  t.OnStructureChange = [&](TBaseDataTree*, PDataNode n, TChangeReason) { structures.push_back(n); };
  PDataNode keep = t.AddChild(nullptr);
  PDataNode doomed = t.AddChild(nullptr);
  t.AddChild(doomed);
  // Switching multi-selection on clears the selection, so it comes first.
  t.TreeOptions().SetSelectionOptions({toMultiSelect});
  t.SetFocusedNode(doomed);
  t.SetSelected(keep, true);

  t.BeginUpdate();
  t.SetSelected(doomed, true);     // pending change names doomed
  t.DeleteChildren(doomed);        // pending structure change names doomed
  t.DeleteNode(doomed);
  EXPECT_EQ(t.FocusedNode(), nullptr);
  t.EndUpdate();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes.back(), nullptr);
  ASSERT_FALSE(structures.empty());
  EXPECT_NE(structures.back(), doomed);
  EXPECT_EQ(t.SelectedCount(), 1u);
  EXPECT_EQ(t.GetFirstSelected(), keep);
  EXPECT_EQ(t.GetNextSelected(keep), nullptr);
}

TEST(TreeStore, DeletingRenumbersFollowingSiblings) {
  TTestTree t(nullptr);
  t.SetRootNodeCount(5);
  std::vector<PDataNode> n = allNodes(t);
  t.DeleteNode(n[1]);
  t.DeleteNode(n[3]);
  std::vector<std::uint32_t> indices;
  for (PDataNode r = t.GetFirstNoInit(); r; r = r->NextSibling) indices.push_back(r->Index);
  EXPECT_EQ(indices, (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_EQ(t.RootNodeCount(), 3u);
  t.SetRootNodeCount(0);
  EXPECT_EQ(t.RootNodeCount(), 0u);
  EXPECT_EQ(t.TotalCount(), 0u);
}

// Sibling indices are renumbered lazily after a change in the middle of a
// chain; whatever mix of deletions, appends, moves, copies and sorts came
// before, any node read on its own tells its true position.
TEST(TreeStore, IndicesFollowEveryMixOfChanges) {
  TTestTree t(nullptr);
  t.SetNodeDataSize(sizeof(int));
  PDataNode parents[2] = {t.AddChild(nullptr), t.AddChild(nullptr)};
  std::vector<PDataNode> model[2];
  int nextKey = 0;
  auto add = [&](int p) {
    PDataNode n = t.AddChild(parents[p]);
    *t.GetNodeData<int>(n) = nextKey++ * 7919 % 1000;
    model[p].push_back(n);
  };
  for (int i = 0; i < 40; ++i) add(i % 2);
  t.OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& r) {
    r = *t.GetNodeData<int>(a) - *t.GetNodeData<int>(b);
  };
  auto position = [](const std::vector<PDataNode>& v, PDataNode n) {
    return std::uint32_t(std::find(v.begin(), v.end(), n) - v.begin());
  };
  std::mt19937 random(22);
  auto pick = [&](int p) { return model[p][random() % model[p].size()]; };
  for (int step = 0; step < 3000; ++step) {
    const int p = int(random() % 2);
    const int q = 1 - p;
    switch (random() % 6) {
      case 0:
        add(p);
        break;
      case 1:
        if (model[p].size() > 2) {
          PDataNode gone = pick(p);
          model[p].erase(model[p].begin() + position(model[p], gone));
          t.DeleteNode(gone);
        }
        break;
      case 2:
        if (model[p].size() > 2 && !model[q].empty()) {
          // Into the middle of the other parent's chain.
          PDataNode node = pick(p);
          PDataNode before = pick(q);
          model[p].erase(model[p].begin() + position(model[p], node));
          model[q].insert(model[q].begin() + position(model[q], before), node);
          t.MoveTo(node, before, amInsertBefore, false);
        }
        break;
      case 3:
        if (!model[q].empty()) {
          PDataNode after = pick(q);
          PDataNode copy = t.CopyTo(pick(p), after, amInsertAfter, false);
          model[q].insert(model[q].begin() + position(model[q], after) + 1, copy);
        }
        break;
      case 4:
        if (step % 50 == 0) {
          t.Sort(parents[p], 0, sdAscending, false);
          std::stable_sort(model[p].begin(), model[p].end(),
                           [&](PDataNode a, PDataNode b) { return *t.GetNodeData<int>(a) < *t.GetNodeData<int>(b); });
        }
        break;
      default: {
        if (model[p].empty()) break;
        PDataNode n = pick(p);
        ASSERT_EQ(n->Index, position(model[p], n)) << "step " << step;
      }
    }
  }
  for (int p = 0; p < 2; ++p) {
    ASSERT_EQ(t.ChildCount(parents[p]), model[p].size());
    PDataNode last = t.GetLastChild(parents[p]);
    EXPECT_EQ(last->Index, model[p].size() - 1) << "the last one read first";
  }
  checkInvariants(t);
}

// The first and last visible child of each parent are remembered once
// asked for and kept up to date by every change after that; each answer
// must match a walk of the chain.
TEST(TreeStore, VisibleSiblingAnswersFollowEveryChange) {
  // Short hidden runs, then long ones (the painter remembers those).
  for (const std::pair<int, int>& sizes : {std::pair{60, 3}, std::pair{600, 60}}) {
  const int count = sizes.first, visibleOneIn = sizes.second;
  TTestTree t(nullptr);
  t.SetNodeDataSize(sizeof(int));
  PDataNode parents[2] = {t.AddChild(nullptr), t.AddChild(nullptr)};
  t.OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& r) {
    r = *t.GetNodeData<int>(a) - *t.GetNodeData<int>(b);
  };
  std::mt19937 random(7);
  auto children = [&](PDataNode p) {
    std::vector<PDataNode> v;
    for (PDataNode c = p->FirstChild; c; c = c->NextSibling) v.push_back(c);
    return v;
  };
  auto add = [&](PDataNode p) {
    PDataNode n = t.AddChild(p);
    *t.GetNodeData<int>(n) = int(random() % 1000);
    if (random() % visibleOneIn) t.SetVisible(n, false);
  };
  for (int i = 0; i < count; ++i) add(parents[i % 2]);
  t.SetExpanded(parents[0], true);
  t.SetExpanded(parents[1], true);
  auto check = [&](int step) {
    for (PDataNode p : parents) {
      std::vector<PDataNode> v = children(p);
      PDataNode first = nullptr, last = nullptr;
      for (PDataNode c : v)
        if (c->States.Contains(vsVisible)) {
          if (!first) first = c;
          last = c;
        }
      for (std::size_t i = 0; i < v.size(); ++i) {
        bool after = false, before = false;
        PDataNode next = nullptr;
        for (std::size_t j = i + 1; j < v.size(); ++j)
          if (v[j]->States.Contains(vsVisible)) {
            after = true;
            if (!next) next = v[j];
          }
        for (std::size_t j = 0; j < i; ++j) before |= v[j]->States.Contains(vsVisible);
        ASSERT_EQ(t.HasVisibleNextSibling(v[i]), after) << "step " << step;
        ASSERT_EQ(t.HasVisiblePreviousSibling(v[i]), before) << "step " << step;
        ASSERT_EQ(t.IsFirstVisibleChild(p, v[i]), v[i] == first) << "step " << step;
        ASSERT_EQ(t.IsLastVisibleChild(p, v[i]), v[i] == last) << "step " << step;
        if (v[i]->States.Contains(vsVisible)) {
          ASSERT_EQ(t.nextVisibleSiblingKnown(v[i]), next) << "step " << step;
          ASSERT_EQ(t.nextPaintedRow(v[i]), next ? next : p == parents[0] ? parents[1] : nullptr)
              << "step " << step;
        }
      }
    }
  };
  check(-1);
  for (int step = 0; step < 1500; ++step) {
    PDataNode p = parents[random() % 2];
    PDataNode q = p == parents[0] ? parents[1] : parents[0];
    std::vector<PDataNode> v = children(p);
    std::vector<PDataNode> w = children(q);
    switch (random() % 6) {
      case 0:
        add(p);
        break;
      case 1:
        if (v.size() > 3) t.DeleteNode(v[random() % v.size()]);
        break;
      case 2:
      case 3:
        if (!v.empty()) {
          PDataNode n = v[random() % v.size()];
          t.SetVisible(n, !n->States.Contains(vsVisible));
        }
        break;
      case 4:
        if (v.size() > 3 && !w.empty())
          t.MoveTo(v[random() % v.size()], w[random() % w.size()], random() % 2 ? amInsertBefore : amInsertAfter,
                   false);
        break;
      default:
        if (step % 40 == 0) t.Sort(p, 0, sdAscending, false);
        break;
    }
    if (step % 5 == 0) check(step);
    if (::testing::Test::HasFatalFailure()) return;
  }
  }
}

TEST(TreeStore, UserDataPointerAndOwnedObjects) {
  // A pointer given to AddChild takes a whole pointer's room.
  {
    TTestTree t(nullptr);
    t.SetNodeDataSize(int(sizeof(void*)));
    int target = 0;
    PDataNode n = t.AddChild(nullptr, &target);
    EXPECT_EQ(*t.GetNodeData<int*>(n), &target);
    EXPECT_TRUE(n->States.Contains(vsUserDataPointer));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(t.GetNodeData(n)) % alignof(std::max_align_t), 0u);
  }
  {
    TTestTree t(nullptr);
    t.SetNodeDataSize(4);
    int target = 0;
    try {
      t.AddChild(nullptr, &target);
      ADD_FAILURE() << "no room for a pointer must be an error";
    } catch (const EDataTreeError& e) {
      EXPECT_EQ(e.HelpContext(), 2008);
    }
    EXPECT_EQ(t.RootNodeCount(), 1u) << "the node stays";
    EXPECT_EQ(t.GetNodeData(nullptr), nullptr);
    EXPECT_EQ(t.GetNodeData(t.RootNode()), nullptr);
  }
  // Objects placed in the user data are freed for every node that got
  // them, initialised or not, by every way nodes go away.
  int live = 0;
  {
    TTestTree t(nullptr);
    t.SetNodeDataSize(int(sizeof(std::string)));
    t.OnFreeNode = [&](TBaseDataTree* s, PDataNode n) {
      s->GetNodeData<std::string>(n)->~basic_string();
      --live;
    };
    auto add = [&](PDataNode parent) {
      PDataNode n = t.AddChild(parent);
      new (t.GetNodeData(n)) std::string("a value long enough to live on the heap");
      ++live;
      return n;
    };
    PDataNode a = add(nullptr);
    add(a);
    add(a);
    PDataNode b = add(nullptr);
    add(b);
    t.GetFirst();  // one initialised, the others not
    t.DeleteNode(b);
    EXPECT_EQ(live, 3);
    t.DeleteChildren(a);
    EXPECT_EQ(live, 1);
    add(nullptr);
    t.Clear();
    EXPECT_EQ(live, 0);
    add(nullptr);
    add(nullptr);
  }
  EXPECT_EQ(live, 0) << "destroying the tree frees the rest";

  // Bare nodes without data handed out raise no free event.
  TTestTree t(nullptr);
  int freed = 0;
  t.OnFreeNode = [&](TBaseDataTree*, PDataNode) { ++freed; };
  t.SetRootNodeCount(10);
  t.Clear();
  EXPECT_EQ(freed, 0);
}

TEST(TreeStore, DataSizeAndReadOnly) {
  TTestTree t(nullptr);
  t.SetNodeDataSize(-5);
  EXPECT_EQ(t.NodeDataSize(), -1);
  t.SetRootNodeCount(3);
  t.GetFirst();
  t.SetNodeDataSize(16);
  EXPECT_EQ(t.RootNodeCount(), 3u);
  EXPECT_FALSE(t.GetFirstNoInit()->States.Contains(vsInitialized)) << "nodes are made anew";

  t.TreeOptions().SetMiscOptions(t.TreeOptions().MiscOptions() + TDTMiscOptions{toReadOnly});
  EXPECT_EQ(t.AddChild(nullptr), nullptr);
  t.DeleteNode(t.GetFirstNoInit());
  t.Clear();
  EXPECT_EQ(t.RootNodeCount(), 3u);
}

TEST(TreeStore, SelectionStaysSortedAndUnique) {
  TTestTree t(nullptr);
  t.TreeOptions().SetSelectionOptions({toMultiSelect});
  t.SetRootNodeCount(50);
  std::vector<PDataNode> nodes = allNodes(t);
  std::mt19937 rng(7);
  std::map<PDataNode, bool> expected;
  for (int i = 0; i < 400; ++i) {
    PDataNode n = nodes[rng() % nodes.size()];
    bool value = rng() % 2;
    t.SetSelected(n, value);
    expected[n] = value;
  }
  std::uint32_t count = 0;
  for (auto& [n, v] : expected) count += v;
  EXPECT_EQ(t.SelectedCount(), count);
  std::uint32_t walked = 0;
  for (PDataNode n = t.GetFirstSelected(); n; n = t.GetNextSelected(n)) {
    EXPECT_TRUE(expected[n]);
    ++walked;
  }
  EXPECT_EQ(walked, count);
  t.ClearSelection();
  EXPECT_EQ(t.SelectedCount(), 0u);
  EXPECT_EQ(t.GetFirstSelected(), nullptr);
}

TEST(TreeStore, FixupRecomputesDeepChains) {
  TTestTree t(nullptr);
  PDataNode n = t.AddChild(nullptr);
  for (int i = 0; i < 3000; ++i) n = t.AddChild(n);
  PDataNode top = t.GetFirstNoInit();
  for (PDataNode r = top; r; r = r->FirstChild) {
    r->TotalCount = 1;
    r->TotalHeight = r->NodeHeight;
  }
  t.FixupTotalCount(top);
  t.FixupTotalHeight(top);
  EXPECT_EQ(top->TotalCount, 3001u);
  EXPECT_EQ(top->TotalHeight, 18u) << "collapsed nodes add no rows";
}

TEST(TreeStore, InitialStatesFromTheOwner) {
  TTestTree t(nullptr);
  t.TreeOptions().SetSelectionOptions({toMultiSelect});
  t.OnInitNode = [](TBaseDataTree*, PDataNode parent, PDataNode node, TDataNodeInitStates& s) {
    if (!parent) s.Include(ivsHasChildren);
    if (!parent && node->Index == 0) s.Include(ivsExpanded);
    if (parent && node->Index == 1) s.Include(ivsSelected);
    if (parent && node->Index == 2) s.Include(ivsDisabled);
  };
  t.OnInitChildren = [](TBaseDataTree*, PDataNode, std::uint32_t& count) { count = 3; };
  t.SetRootNodeCount(2);
  PDataNode first = t.GetFirst();
  EXPECT_TRUE(t.Expanded(first)) << "asked to start expanded";
  EXPECT_EQ(first->ChildCount, 3u);
  EXPECT_EQ(t.VisibleCount(), 2u + 3u);
  for (PDataNode n = t.GetFirst(); n; n = t.GetNext(n)) {
  }
  EXPECT_EQ(t.SelectedCount(), 2u) << "the second child of each top-level node";
  EXPECT_TRUE(first->LastChild->States.Contains(vsDisabled));
  checkInvariants(t);

  // FullExpand of one node stops at the end of its subtree.
  PDataNode second = first->NextSibling;
  t.FullCollapse();
  t.FullExpand(first);
  EXPECT_TRUE(t.Expanded(first));
  EXPECT_FALSE(t.Expanded(second));
  checkInvariants(t);
}

TEST(TreeStore, HeightsScrollRangeAndPositions) {
  TTestTree t(nullptr);
  t.SetRootNodeCount(4);
  PDataNode a = t.GetFirstNoInit();
  t.SetNodeHeight(a, 30);
  t.SetChildCount(a, 2);
  t.SetExpanded(a, true);
  checkInvariants(t);
  EXPECT_EQ(t.RangeY(), 30 + 18 * 2 + 18 * 3);

  int top = -1;
  EXPECT_EQ(t.GetNodeAt(0, 29, false, top), a);
  EXPECT_EQ(t.GetNodeAt(0, 30, false, top), a->FirstChild);
  EXPECT_EQ(top, 30);

  // A measured height replaces the stored one once.
  int measured = 0;
  t.TreeOptions().SetMiscOptions(t.TreeOptions().MiscOptions() + TDTMiscOptions{toVariableNodeHeight});
  t.OnMeasureItem = [&](TBaseDataTree*, TCanvas*, PDataNode, int& height) {
    ++measured;
    height = 25;
  };
  PDataNode b = a->NextSibling;
  EXPECT_EQ(t.NodeHeight(b), 25);
  EXPECT_EQ(t.NodeHeight(b), 25);
  EXPECT_EQ(measured, 1);
  checkInvariants(t);

  // A new default height applies to new nodes only.
  t.SetDefaultNodeHeight(0);
  EXPECT_EQ(t.DefaultNodeHeight(), 18u);
  t.SetDefaultNodeHeight(20);
  PDataNode fresh = t.AddChild(nullptr);
  EXPECT_EQ(fresh->NodeHeight, 20);
  EXPECT_EQ(a->FirstChild->NodeHeight, 18);
  checkInvariants(t);
}

TEST(TreeStore, InternalDataLiesBetweenHeaderAndUserData) {
  TTestTree t(nullptr);
  int first = t.AllocateInternalDataArea(3);
  int second = t.AllocateInternalDataArea(8);
  EXPECT_GE(first, int(sizeof(TDataNode)));
  EXPECT_EQ(second - first, int(sizeof(void*))) << "areas stay pointer aligned";
  t.SetNodeDataSize(int(sizeof(double)));
  PDataNode n = t.AddChild(nullptr);
  auto* base = reinterpret_cast<char*>(n);
  EXPECT_GE(static_cast<char*>(t.GetNodeData(n)), base + second + 8);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(t.GetNodeData(n)) % alignof(std::max_align_t), 0u);
  EXPECT_EQ(*reinterpret_cast<std::uint64_t*>(base + second), 0u) << "zero-filled";
  EXPECT_THROW(t.AllocateInternalDataArea(4), EAssertionFailed) << "only before any node exists";
  EXPECT_EQ(TreeFromNode(n), &t) << "the root kept its tree link when it grew";
}

TEST(TreeStore, ChildrenAboveOrderWithInitialisation) {
  TTestTree t(nullptr);
  t.TreeOptions().SetPaintOptions(t.TreeOptions().PaintOptions() + TDTPaintOptions{toChildrenAbove});
  t.OnInitNode = [](TBaseDataTree*, PDataNode parent, PDataNode, TDataNodeInitStates& s) {
    if (!parent) s.Include(ivsHasChildren);
  };
  t.OnInitChildren = [](TBaseDataTree*, PDataNode, std::uint32_t& count) { count = 2; };
  t.SetRootNodeCount(2);
  PDataNode a = t.GetFirstNoInit(), b = a->NextSibling;
  t.SetExpanded(a, true);
  t.SetExpanded(b, true);
  std::vector<PDataNode> rows;
  for (PDataNode n = t.GetFirstVisible(nullptr, true); n; n = t.GetNextVisible(n, true)) rows.push_back(n);
  EXPECT_EQ(rows, (std::vector<PDataNode>{a->FirstChild, a->LastChild, a, b->FirstChild,
                                          b->LastChild, b}));
  std::vector<PDataNode> back;
  for (PDataNode n = t.GetLastVisible(nullptr, true); n; n = t.GetPreviousVisible(n, true)) back.push_back(n);
  EXPECT_EQ(back.front(), b);
  EXPECT_EQ(back.size(), rows.size());
  EXPECT_GT(t.CompareNodePositions(a, a->FirstChild, true), 0) << "a parent comes after its children";
  EXPECT_LT(t.CompareNodePositions(a, a->FirstChild, false), 0);
}

TEST(TreeStore, MergedStructureReportsOfOneKindAreAccumulated) {
  TTestTree t(nullptr);
  std::vector<std::pair<PDataNode, TChangeReason>> reports;
  t.OnStructureChange = [&](TBaseDataTree*, PDataNode n, TChangeReason r) { reports.push_back({n, r}); };
  PDataNode a = t.AddChild(nullptr);
  reports.clear();

  // Two additions merged into one report name only the last node, so the
  // reason cannot claim a single addition.
  t.BeginUpdate();
  t.StructureChange(a, crChildAdded);
  PDataNode b = t.AddChild(nullptr);
  t.StructureChange(b, crChildAdded);
  t.EndUpdate();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].first, b);
  EXPECT_EQ(reports[0].second, crAccumulated);

  // One real reason among ignored ones keeps that reason.
  reports.clear();
  t.BeginUpdate();
  t.StructureChange(a, crIgnore);
  t.StructureChange(a, crNodeMoved);
  t.StructureChange(a, crIgnore);
  t.EndUpdate();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].second, crNodeMoved);

  // Reported at once outside a bracket, with the reason given.
  reports.clear();
  t.StructureChange(b, crNodeCopied);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].second, crNodeCopied);
}

namespace {
// Every answer about visible siblings, for every node of the tree, against
// a recount over the sibling chains; and the shown rows in the order the
// painter walks them.
void checkVisibleSiblings(TTestTree& t) {
  checkInvariants(t);
  std::vector<PDataNode> parents{t.RootNode()};
  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n))
    if (n->FirstChild) parents.push_back(n);
  for (PDataNode p : parents) {
    std::vector<PDataNode> v;
    for (PDataNode c = p->FirstChild; c; c = c->NextSibling) v.push_back(c);
    PDataNode first = nullptr, last = nullptr;
    for (PDataNode c : v)
      if (c->States.Contains(vsVisible)) {
        if (!first) first = c;
        last = c;
      }
    PDataNode parent = p == t.RootNode() ? nullptr : p;
    for (std::size_t i = 0; i < v.size(); ++i) {
      PDataNode next = nullptr, previous = nullptr;
      for (std::size_t j = i + 1; j < v.size() && !next; ++j)
        if (v[j]->States.Contains(vsVisible)) next = v[j];
      for (std::size_t j = i; j-- > 0 && !previous;)
        if (v[j]->States.Contains(vsVisible)) previous = v[j];
      ASSERT_EQ(t.HasVisibleNextSibling(v[i]), next != nullptr);
      ASSERT_EQ(t.HasVisiblePreviousSibling(v[i]), previous != nullptr);
      ASSERT_EQ(t.IsFirstVisibleChild(parent, v[i]), v[i] == first);
      ASSERT_EQ(t.IsLastVisibleChild(parent, v[i]), v[i] == last);
      ASSERT_EQ(t.nextVisibleSiblingKnown(v[i]), next);
    }
  }
  std::vector<PDataNode> expected, painted;
  referenceRows(t, t.RootNode(), false, expected);
  PDataNode row = t.RootNode()->FirstChild;
  while (row && !row->States.Contains(vsVisible)) row = row->NextSibling;
  for (; row; row = t.nextPaintedRow(row)) painted.push_back(row);
  EXPECT_EQ(painted, expected) << "rows in the painter's order";
}
}  // namespace

TEST(TreeStore, RunsOfHiddenSiblingsAreKnownBeforeTheFirstPaint) {
  // Nothing is asked until every change is made: what a first frame reads
  // must already be right, whichever way the hidden nodes came about.
  TMemoryStream saved;
  {
    TTestTree source(nullptr);
    PDataNode a = source.AddChild(nullptr);
    source.AddChild(nullptr);
    source.SetChildCount(a, 300);
    int i = 0;
    for (PDataNode n = a->FirstChild; n; n = n->NextSibling, ++i)
      if (i % 100 < 90 && i != 150) source.SetVisible(n, false);
    // A hidden run at the front and at the end of the top level too.
    PDataNode front = source.AddChild(nullptr);
    source.SetVisible(front, false);
    source.MoveTo(front, a, amInsertBefore, false);
    source.SetVisible(source.AddChild(nullptr), false);
    source.SetVisible(source.AddChild(nullptr), false);
    source.SaveToStream(&saved);
  }
  TTestTree t(nullptr);
  saved.SetPosition(0);
  t.LoadFromStream(&saved);
  PDataNode a = t.RootNode()->FirstChild->NextSibling;
  PDataNode b = a->NextSibling;
  t.SetExpanded(a, true);
  t.SetChildCount(b, 40);
  t.SetExpanded(b, true);
  auto child = [](PDataNode parent, int index) {
    PDataNode n = parent->FirstChild;
    while (index-- > 0) n = n->NextSibling;
    return n;
  };
  for (int i = 0; i < 40; i += 3) t.SetVisible(child(b, i), false);
  // Hidden nodes go into the middle of runs and next to them; visible ones
  // too; nodes inside, at the ends of and between runs go away.
  t.MoveTo(child(b, 0), child(a, 40), amInsertAfter, false);
  t.MoveTo(child(b, 2), child(a, 89), amInsertAfter, false);
  t.MoveTo(child(b, 4), child(a, 20), amInsertBefore, false);
  t.CopyTo(child(a, 10), child(a, 60), amInsertAfter, false);
  t.CopyTo(child(a, 95), child(a, 230), amInsertBefore, false);
  t.SetVisible(child(a, 45), true);
  t.SetVisible(child(a, 5), true);
  t.SetVisible(child(a, 46), false);
  t.DeleteNode(child(a, 150));
  t.DeleteNode(child(a, 70));
  t.DeleteNode(child(a, 0));
  PDataNode extra = t.AddChild(nullptr);
  t.SetVisible(extra, false);
  t.MoveTo(extra, child(a, 120), amInsertAfter, false);
  t.SetChildCount(a, 280);
  t.SetVisible(child(b, 5), false);
  t.SetVisible(child(b, 6), false);
  t.SetVisible(child(b, 5), true);
  t.OnCompareNodes = [](TBaseDataTree*, PDataNode x, PDataNode y, TColumnIndex, int& r) {
    r = x < y ? -1 : x > y ? 1 : 0;
  };
  t.Sort(b, 0, sdDescending, false);
  t.MoveTo(b, a, amAddChildFirst, false);
  t.DeleteChildren(child(a, 1));
  // A damaged stream is refused and leaves the runs as they were.
  TMemoryStream damaged;
  t.SaveToStream(&damaged, a);
  damaged.SetSize(damaged.Size() - 7);
  damaged.SetPosition(0);
  EXPECT_THROW(t.InsertNodesFromStream(&damaged, child(a, 30), amInsertAfter), EDataTreeError);
  checkVisibleSiblings(t);

  // Everything hidden, then everything gone.
  for (PDataNode n = a->FirstChild; n; n = n->NextSibling) t.SetVisible(n, false);
  checkVisibleSiblings(t);
  EXPECT_TRUE(a->States.Contains(vsAllChildrenHidden));
  t.Clear();
  EXPECT_TRUE(t.hiddenRunEnds().empty());
}

TEST(TreeStore, ChildrenGoingAllAtOnceStillAnswerAndThoseLeftByAFailureAreNotedAgain) {
  TTestTree t(nullptr);
  PDataNode p = t.AddChild(nullptr);
  t.SetChildCount(p, 12);
  int i = 0;
  for (PDataNode n = p->FirstChild; n; n = n->NextSibling, ++i)
    if (i != 0 && i != 5 && i != 11) t.SetVisible(n, false);
  for (PDataNode n = p->FirstChild; n; n = n->NextSibling) t.InitNode(n);  // the owner is told of each
  // While the children go, last first, the owner asks about those left.
  int freed = 0;
  t.OnFreeNode = [&](TBaseDataTree*, PDataNode) {
    for (PDataNode n = p->FirstChild; n; n = n->NextSibling) {
      PDataNode next = n->NextSibling;
      while (next && !next->States.Contains(vsVisible)) next = next->NextSibling;
      ASSERT_EQ(t.HasVisibleNextSibling(n), next != nullptr);
    }
    if (++freed == 4) throw std::runtime_error("owner fails");
  };
  EXPECT_THROW(t.DeleteChildren(p), std::runtime_error);
  t.OnFreeNode = nullptr;
  checkHiddenRuns(t);
  std::vector<PDataNode> left;
  for (PDataNode n = p->FirstChild; n; n = n->NextSibling) left.push_back(n);
  ASSERT_EQ(left.size(), 8u);
  EXPECT_TRUE(t.IsFirstVisibleChild(p, left[0]));
  EXPECT_TRUE(t.IsLastVisibleChild(p, left[5]));
  EXPECT_EQ(t.nextVisibleSiblingKnown(left[0]), left[5]);
  EXPECT_EQ(t.nextVisibleSiblingKnown(left[5]), nullptr);
  t.DeleteChildren(p);
  EXPECT_EQ(p->ChildCount, 0u);
  EXPECT_TRUE(t.hiddenRunEnds().empty());
}

namespace {
// Every selected node is in the tree and flagged, and the other way round.
void checkSelection(TTestTree& t) {
  std::vector<PDataNode> nodes = allNodes(t);
  std::uint32_t flagged = 0;
  for (PDataNode n : nodes) flagged += n->States.Contains(vsSelected) ? 1 : 0;
  EXPECT_EQ(t.SelectedCount(), flagged);
  for (PDataNode n = t.GetFirstSelected(); n; n = t.GetNextSelected(n))
    EXPECT_NE(std::find(nodes.begin(), nodes.end(), n), nodes.end()) << "a selected node is gone";
  if (PDataNode focused = t.FocusedNode()) {
    EXPECT_NE(std::find(nodes.begin(), nodes.end(), focused), nodes.end()) << "the focused node is gone";
  }
  for (PDataNode n : nodes) {
    EXPECT_FALSE(n->States.Contains(vsDeleting)) << "a node left behind is still marked as going";
    EXPECT_FALSE(n->States.Contains(vsClearing));
  }
}
}  // namespace

TEST(TreeStore, AFreeHandlerFailingWhileChildrenGoLeavesTheRestCountedAndLinkedRight) {
  // A branch two levels deep with runs of hidden nodes, open and closed
  // parents, selected nodes and the focus inside it, and a sibling after
  // it; the owner's free handler fails on the k-th node, for every k.
  enum { ByDeleteChildren, ByDeleteNode, ByClear };
  for (int how : {ByDeleteChildren, ByDeleteNode, ByClear}) {
    for (int k = 1;; ++k) {
      SCOPED_TRACE(testing::Message() << "way " << how << ", failing on node " << k);
      TTestTree t(nullptr);
      t.TreeOptions().SetSelectionOptions({toMultiSelect});
      PDataNode a = t.AddChild(nullptr);
      t.SetChildCount(a, 7);
      int i = 0;
      for (PDataNode c = a->FirstChild; c; c = c->NextSibling, ++i) {
        if (i % 2 == 0) {
          t.SetChildCount(c, 4);
          t.SetVisible(c->FirstChild->NextSibling, false);
          t.SetVisible(c->LastChild, false);
          t.SetNodeHeight(c->FirstChild, 30);
          if (i != 4) t.SetExpanded(c, true);
        }
        if (i == 1 || i == 2 || i == 5) t.SetVisible(c, false);
      }
      t.SetExpanded(a, true);
      PDataNode b = t.AddChild(nullptr);
      t.SetChildCount(b, 2);
      t.SetExpanded(b, true);
      t.SetSelected(a->FirstChild, true);
      t.SetSelected(a->FirstChild->FirstChild, true);
      t.SetSelected(a->LastChild->LastChild, true);
      t.SetSelected(b->FirstChild, true);
      t.SetFocusedNode(a->FirstChild->FirstChild);
      std::uint32_t going = 0;
      for (PDataNode n : allNodes(t)) {
        t.InitNode(n);  // the owner is told of each
        if (n != b && n->Parent != b) ++going;
      }
      if (how == ByDeleteChildren) --going;  // the branch's own node stays
      if (how == ByClear) going = t.TotalCount();
      checkInvariants(t);
      const std::uint32_t before = t.TotalCount();

      int freed = 0;
      t.OnFreeNode = [&](TBaseDataTree*, PDataNode) {
        if (++freed == k) throw std::runtime_error("owner fails");
      };
      auto run = [&] {
        if (how == ByDeleteChildren) t.DeleteChildren(a, true);
        else if (how == ByDeleteNode) t.DeleteNode(a);
        else t.Clear();
      };
      EXPECT_THROW(run(), std::runtime_error);
      t.OnFreeNode = nullptr;
      // The node whose handler failed went all the same.
      EXPECT_EQ(t.TotalCount(), before - std::uint32_t(k));
      checkInvariants(t);
      checkSelection(t);
      if (how == ByDeleteChildren && !a->FirstChild) {
        // Failing on the last one still leaves the node as emptied.
        EXPECT_FALSE(a->States.Contains(vsHasChildren));
        EXPECT_FALSE(a->States.Contains(vsExpanded));
      }

      // What was left goes on the next try.
      t.Clear();
      checkInvariants(t);
      EXPECT_EQ(t.TotalCount(), 0u);
      if (std::uint32_t(k) == going) break;
    }
  }
}

// Rows selected one at a time inside an update, in no order of their
// addresses (later rows first, rows of several blocks), wait to be merged
// into the selection: every question about the selection, a removal and
// a deletion inside the same update answer as for a selection made at once.
TEST(TreeStore, ASelectionMadeRowByRowInsideAnUpdateAnswersAsOneMadeAtOnce) {
  TTestTree t(nullptr);
  TDTSelectionOptions sel = t.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  t.TreeOptions().SetSelectionOptions(sel);
  std::vector<PDataNode> rows;
  for (int i = 0; i < 3000; ++i) rows.push_back(t.AddChild(nullptr));
  std::mt19937 rng(7);
  std::vector<PDataNode> order = rows;
  std::shuffle(order.begin(), order.end(), rng);
  t.BeginUpdate();
  // The first half already merged, the rest one at a time behind it.
  t.AddToSelection(order.data(), 1500);
  for (std::size_t i = 1500; i < order.size(); ++i) t.AddToSelection(order[i]);
  EXPECT_EQ(t.SelectedCount(), 3000u);
  int index = 0;
  for (PDataNode n : rows) EXPECT_TRUE(t.FindNodeInSelection(n, index, -1, -1));
  // A removal and a deletion inside the update find their rows.
  t.RemoveFromSelection(rows[10]);
  t.DeleteNode(rows[20]);
  t.AddToSelection(rows[10]);
  t.RemoveFromSelection(rows[30]);
  t.EndUpdate();
  EXPECT_EQ(t.SelectedCount(), 2998u);
  EXPECT_FALSE(t.FindNodeInSelection(rows[30], index, -1, -1));
  EXPECT_TRUE(t.FindNodeInSelection(rows[10], index, -1, -1));
  const std::vector<PDataNode> sorted = t.GetSortedSelection(false);
  ASSERT_EQ(sorted.size(), 2998u);
  for (std::size_t i = 1; i < sorted.size(); ++i) EXPECT_LT(sorted[i - 1]->Index, sorted[i]->Index);
  t.DeleteSelectedNodes();
  EXPECT_EQ(t.TotalCount(), 1u) << "the row taken out of the selection stays";
  EXPECT_EQ(t.SelectedCount(), 0u);
  checkInvariants(t);
}
