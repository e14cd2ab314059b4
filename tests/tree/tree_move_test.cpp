// Moving and copying nodes within a tree and between trees, deleting the
// selection, and sorting: orders, indices, counts, selection and events
// afterwards, refusals that change nothing, and handlers that delete nodes
// or raise in the middle.
#include <stdexcept>

#include "platform/gui/forms.h"
#include "tests/tree/tree_stream_util.h"

namespace {
std::string captions(TOwnedTree& t, PDataNode parent = nullptr) {
  std::string out;
  for (PDataNode n = (parent ? parent : t.RootNode())->FirstChild; n; n = n->NextSibling)
    out += (out.empty() ? "" : " ") + t.Caption(n);
  return out;
}

void multiSelect(TBaseDataTree& t) {
  TDTSelectionOptions sel = t.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  t.TreeOptions().SetSelectionOptions(sel);
}

struct TEvents {
  int Structure = 0, Moved = 0, Copied = 0;
  void watch(TBaseDataTree& t) {
    t.OnStructureChange = [this](TBaseDataTree*, PDataNode, TChangeReason) { ++Structure; };
    t.OnNodeMoved = [this](TBaseDataTree*, PDataNode) { ++Moved; };
    t.OnNodeCopied = [this](TBaseDataTree*, PDataNode) { ++Copied; };
  }
};
}  // namespace

TEST(TreeMove, WithinATreeNodesTakeTheirNewPlaceWithIndicesAndCounts) {
  TOwnedTree t;
  PDataNode one = t.Add(nullptr, "1");
  PDataNode two = t.Add(nullptr, "2");
  PDataNode three = t.Add(nullptr, "3");
  t.Add(one, "1a");
  t.SetExpanded(one, true);
  t.SetSelected(one, true);
  TEvents e;
  e.watch(t);

  t.MoveTo(one, one, amInsertAfter, false);
  t.MoveTo(one, two, amNoWhere, false);
  EXPECT_EQ(captions(t), "1 2 3");
  EXPECT_EQ(e.Moved + e.Structure, 0);

  t.MoveTo(one, three, amInsertAfter, false);
  EXPECT_EQ(captions(t), "2 3 1");
  EXPECT_EQ(one->Index, 2u);
  EXPECT_EQ(e.Moved, 1);
  EXPECT_EQ(e.Structure, 1);
  checkInvariants(t);
  EXPECT_TRUE(t.Selected(one));
  EXPECT_EQ(t.SelectedCount(), 1u);

  // No target: the node becomes the first top-level node.
  t.MoveTo(three, nullptr, amAddChildLast, false);
  EXPECT_EQ(captions(t), "3 2 1");

  t.MoveTo(two, one, amAddChildFirst, false);
  EXPECT_EQ(captions(t, one), "2 1a");
  EXPECT_EQ(t.VisibleCount(), 4u);
  checkInvariants(t);

  // Under a closed node the moved rows are not shown any more.
  t.SetExpanded(one, false);
  EXPECT_EQ(t.VisibleCount(), 2u);
  t.MoveTo(three, one, amAddChildLast, false);
  EXPECT_EQ(t.VisibleCount(), 1u);
  checkInvariants(t);
}

TEST(TreeMove, IntoItsOwnSubtreeIsAnErrorAndRefusedMovesChangeNothing) {
  TOwnedTree t;
  PDataNode a = t.Add(nullptr, "a");
  PDataNode a1 = t.Add(a, "a1");
  PDataNode b = t.Add(nullptr, "b");
  try {
    t.MoveTo(a, a1, amAddChildLast, false);
    ADD_FAILURE() << "moved into its own child";
  } catch (const EDataTreeError& e) {
    EXPECT_EQ(e.HelpContext(), 2001);
  }
  EXPECT_EQ(captions(t), "a b");
  checkInvariants(t);

  // The owner refuses: nothing moves, nothing is reported, the target is
  // not even initialised.
  PDataNode lazy = t.AddChild(nullptr);
  TEvents e;
  e.watch(t);
  int inits = 0;
  t.OnInitNode = [&](TBaseDataTree*, PDataNode, PDataNode, TDataNodeInitStates&) { ++inits; };
  t.OnNodeMoving = [](TBaseDataTree*, PDataNode, PDataNode, bool& Allowed) { Allowed = false; };
  t.MoveTo(b, lazy, amAddChildLast, false);
  EXPECT_EQ(inits, 0);
  EXPECT_EQ(e.Structure + e.Moved, 0);
  EXPECT_EQ(b->Parent, t.RootNode());

  // A handler that deletes the target while it is asked stops the move.
  t.OnNodeMoving = [&](TBaseDataTree*, PDataNode, PDataNode, bool&) { t.DeleteNode(lazy); };
  t.MoveTo(b, lazy, amAddChildLast, false);
  EXPECT_EQ(captions(t), "a b");
  checkInvariants(t);
}

TEST(TreeMove, ChildrenKeepTheirOrderInEveryMode) {
  for (TDTNodeAttachMode mode : {amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast}) {
    SCOPED_TRACE(int(mode));
    TOwnedTree t;
    PDataNode s = t.Add(nullptr, "s");
    for (const char* c : {"x", "y", "z"}) t.Add(s, c);
    PDataNode target = t.Add(nullptr, "t");
    t.Add(target, "t1");
    TEvents e;
    e.watch(t);
    t.MoveTo(s, target, mode, true);
    EXPECT_EQ(s->ChildCount, 0u);
    EXPECT_EQ(e.Moved, 3);
    const std::string expected = mode == amInsertBefore   ? "s x y z t"
                                 : mode == amInsertAfter  ? "s t x y z"
                                 : mode == amAddChildFirst ? "x y z t1"
                                                           : "t1 x y z";
    EXPECT_EQ(mode == amInsertBefore || mode == amInsertAfter ? captions(t) : captions(t, target), expected);
    checkInvariants(t);
  }
  // Children moved next to their own parent.
  TOwnedTree t;
  PDataNode s = t.Add(nullptr, "s");
  t.Add(s, "x");
  t.Add(s, "y");
  t.MoveTo(s, s, amInsertBefore, true);
  EXPECT_EQ(captions(t), "x y s");
  checkInvariants(t);
}

TEST(TreeMove, ReportHandlersMayDeleteTheNodesStillToBeReported) {
  TOwnedTree t, other;
  PDataNode s = t.Add(nullptr, "s");
  for (const char* c : {"x", "y", "z"}) t.Add(s, c);
  PDataNode target = t.Add(nullptr, "t");
  std::vector<std::string> reported;
  t.OnNodeMoved = [&](TBaseDataTree*, PDataNode n) {
    reported.push_back(t.Caption(n));
    if (n->NextSibling) t.DeleteNode(n->NextSibling);
  };
  t.MoveTo(s, target, amAddChildLast, true);
  EXPECT_EQ(reported, (std::vector<std::string>{"x", "z"})) << "every node that is still there is reported";
  EXPECT_EQ(captions(t, target), "x z");
  checkInvariants(t);

  // Between trees, the source's moved handler deletes arrivals in the
  // target; copies too.
  other.Add(nullptr, "o");
  reported.clear();
  t.OnNodeMoved = [&](TBaseDataTree*, PDataNode n) {
    reported.push_back(other.Caption(n));
    other.DeleteNode(n);
  };
  t.MoveTo(target, other.RootNode(), amAddChildLast, true);
  EXPECT_EQ(reported, (std::vector<std::string>{"x", "z"}));
  EXPECT_EQ(captions(other), "o");
  other.OnNodeCopied = [&](TBaseDataTree*, PDataNode n) { other.DeleteChildren(other.RootNode()); (void)n; };
  EXPECT_EQ(t.CopyTo(s, other.RootNode(), amAddChildLast, false), nullptr);
  checkInvariants(t);
  checkInvariants(other);
}

TEST(TreeMove, BetweenTreesTheNodesTravelWholeAndLeaveTheSource) {
  TOwnedTree source, target;
  multiSelect(source);
  multiSelect(target);
  PDataNode a = source.Add(nullptr, "a", 1);
  PDataNode a1 = source.Add(a, "a1", 11);
  source.Add(a1, "a11", 111);
  source.SetExpanded(a, true);
  a1->CheckType = ctCheckBox;
  a1->CheckState = csCheckedNormal;
  source.SetSelected(a1, true);
  source.Add(nullptr, "b", 2);
  PDataNode t1 = target.Add(nullptr, "t1", 5);
  std::vector<PDataNode> reported;
  source.OnNodeMoved = [&](TBaseDataTree*, PDataNode n) { reported.push_back(n); };

  source.MoveTo(a, t1, amInsertAfter, false);
  EXPECT_EQ(captions(source), "b");
  EXPECT_EQ(source.SelectedCount(), 0u);
  EXPECT_EQ(captions(target), "t1 a");
  PDataNode moved = t1->NextSibling;
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], moved);
  EXPECT_EQ(target.Id(moved->FirstChild), 11);
  EXPECT_EQ(moved->FirstChild->CheckState, csCheckedNormal);
  EXPECT_TRUE(target.Selected(moved->FirstChild));
  EXPECT_EQ(target.Caption(moved->FirstChild->FirstChild), "a11");
  EXPECT_EQ(source.Captions.size(), 1u) << "the source's nodes were freed";
  checkInvariants(source);
  checkInvariants(target);

  // Children only, and into a tree that is read-only (nothing moves).
  PDataNode b = source.RootNode()->FirstChild;
  source.Add(b, "b1", 21);
  source.Add(b, "b2", 22);
  TDTMiscOptions misc = target.TreeOptions().MiscOptions();
  misc.Include(toReadOnly);
  target.TreeOptions().SetMiscOptions(misc);
  source.MoveTo(b, t1, amAddChildLast, true);
  EXPECT_EQ(captions(source, b), "b1 b2");
  misc.Exclude(toReadOnly);
  target.TreeOptions().SetMiscOptions(misc);
  source.MoveTo(b, t1, amAddChildLast, true);
  EXPECT_EQ(captions(source, b), "");
  EXPECT_EQ(captions(target, t1), "b1 b2");
  checkInvariants(source);
  checkInvariants(target);
}

TEST(TreeMove, AMoveThatFailsInTheTargetLeavesBothTreesAsTheyWere) {
  TOwnedTree source, target;
  PDataNode a = source.Add(nullptr, "a", 1);
  source.Add(a, "a1", 11);
  target.Add(nullptr, "t", 5);
  int loads = 0;
  target.OnLoadNode = [&](TBaseDataTree*, PDataNode, TStream*) {
    if (++loads == 2) throw std::runtime_error("the disk is gone");
  };
  const std::string sourceBefore = source.Dump(), targetBefore = target.Dump();
  EXPECT_THROW(source.MoveTo(a, target.RootNode(), amAddChildLast, false), std::runtime_error);
  EXPECT_EQ(source.Dump(), sourceBefore);
  EXPECT_EQ(target.Dump(), targetBefore);
  checkInvariants(source);
  checkInvariants(target);

  // A load handler of the target that deletes what is being moved waits
  // for the move, which takes the node out of the source anyway.
  target.OnLoadNode = [&](TBaseDataTree*, PDataNode, TStream*) { source.DeleteNode(a); };
  source.MoveTo(a, target.RootNode(), amAddChildLast, false);
  for (int i = 0; i < 5; ++i) Application->HandleMessage();
  EXPECT_EQ(source.PendingDeletionCount(), 0u);
  EXPECT_EQ(source.Dump(), "");
  EXPECT_EQ(captions(target, nullptr), "t a");
  checkInvariants(source);
  checkInvariants(target);
}

TEST(TreeMove, CopiesArriveAndTheOwnerMayRefuseEach) {
  TOwnedTree t, other;
  PDataNode a = t.Add(nullptr, "a", 1);
  t.Add(a, "a1", 11);
  TEvents e;
  e.watch(t);
  // Copying a node into itself copies what it was.
  PDataNode copy = t.CopyTo(a, a, amAddChildLast, false);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(captions(t, a), "a1 a");
  EXPECT_EQ(captions(t, copy), "a1");
  EXPECT_EQ(t.Id(copy), 1);
  EXPECT_EQ(e.Copied, 1);
  checkInvariants(t);

  other.Add(nullptr, "o", 9);
  other.OnNodeCopying = [&](TBaseDataTree*, PDataNode Node, PDataNode, bool& Allowed) {
    Allowed = other.Caption(Node) != "a1";
  };
  PDataNode first = t.CopyTo(a, other.RootNode(), amAddChildLast, true);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(captions(other), "o a");
  EXPECT_EQ(other.Caption(first), "a");
  checkInvariants(other);
  EXPECT_EQ(captions(t, a), "a1 a") << "the source keeps its nodes";
}

// Handlers destroy a tree in the middle of a copy or a move, within one
// tree and into another: the source's save handler the source, the
// target's load and report handlers the target. The operation ends there,
// touching nothing of it, a copy reports no node, and the other tree is
// sound.
TEST(TreeMove, AHandlerDestroyingATreeEndsTheCopyOrMove) {
  enum { Save, Load, Structure, Copied, Moved };
  const std::pair<bool, int> ways[] = {{false, Save},     {false, Load}, {false, Structure}, {false, Copied},
                                       {true, Save},      {true, Load},  {true, Structure},  {true, Moved}};
  for (auto [move, event] : ways) {
    for (bool sameTree : {true, false}) {
      for (bool childrenOnly : {false, true}) {
        // Within one tree a move relinks its nodes: nothing is saved or loaded.
        if (move && sameTree && (event == Save || event == Load)) continue;
        SCOPED_TRACE(testing::Message() << (move ? "move" : "copy") << ", event " << event
                                        << (sameTree ? ", within the tree" : ", into another")
                                        << (childrenOnly ? ", children only" : ""));
        auto* source = new TOwnedTree;
        PDataNode a = source->Add(nullptr, "a", 1);
        source->Add(a, "a1", 11);
        source->Add(a, "a2", 12);
        PDataNode b = source->Add(nullptr, "b", 2);
        TOwnedTree* target = sameTree ? source : new TOwnedTree;
        PDataNode into = sameTree ? b : target->Add(nullptr, "o", 9);
        TOwnedTree* victim = event == Save ? source : target;
        bool destroyed = false;
        auto destroy = [&] {
          if (destroyed) return;
          destroyed = true;
          delete victim;
        };
        auto save = source->OnSaveNode;
        source->OnSaveNode = [&, save, event = event](TBaseDataTree* t, PDataNode n, TStream* stream) {
          save(t, n, stream);
          if (event == Save) destroy();
        };
        auto load = target->OnLoadNode;
        target->OnLoadNode = [&, load, event = event](TBaseDataTree* t, PDataNode n, TStream* stream) {
          load(t, n, stream);
          if (event == Load) destroy();
        };
        target->OnStructureChange = [&, event = event](TBaseDataTree*, PDataNode, TChangeReason) {
          if (event == Structure) destroy();
        };
        target->OnNodeCopied = [&, event = event](TBaseDataTree*, PDataNode) {
          if (event == Copied) destroy();
        };
        // A move between trees reports each arrival from the source.
        source->OnNodeMoved = [&, event = event](TBaseDataTree*, PDataNode) {
          if (event == Moved) destroy();
        };
        bool failed = false;
        try {
          if (move) {
            source->MoveTo(a, into, amAddChildLast, childrenOnly);
          } else {
            EXPECT_EQ(source->CopyTo(a, into, amAddChildLast, childrenOnly), nullptr);
          }
        } catch (const std::exception&) {
          // What the source wrote before it went may be cut short.
          failed = true;
        }
        EXPECT_TRUE(destroyed);
        EXPECT_TRUE(!failed || (event == Save && !sameTree)) << "only a stream cut short may fail";
        if (!sameTree) {
          TOwnedTree* other = victim == source ? target : source;
          checkInvariants(*other);
          // A copy keeps the source's nodes, a move gave what arrived:
          // nothing when the target went while the nodes came in.
          if (other == source) {
            EXPECT_EQ(source->TotalCount(), move && event != Load ? (childrenOnly ? 2u : 1u) : 4u);
          }
          delete other;
        }
        if (!destroyed) delete victim;
      }
    }
  }
}

TEST(TreeDeleteSelected, ParentsGoOnceAndSiblingsAreRenumbered) {
  TOwnedTree t;
  multiSelect(t);
  PDataNode p = t.Add(nullptr, "p");
  PDataNode c = t.Add(p, "c");
  std::vector<PDataNode> row;
  for (int i = 0; i < 10; ++i) row.push_back(t.Add(nullptr, "r" + std::to_string(i)));
  t.SetSelected(p, true);
  t.SetSelected(c, true);
  for (int i : {1, 2, 5, 9}) t.SetSelected(row[std::size_t(i)], true);
  EXPECT_EQ(t.GetSortedSelection(true).size(), 5u);
  EXPECT_EQ(t.GetSortedSelection(false).size(), 6u);
  EXPECT_EQ(t.GetSortedSelection(false)[1], c);
  t.DeleteSelectedNodes();
  EXPECT_EQ(captions(t), "r0 r3 r4 r6 r7 r8");
  EXPECT_EQ(t.SelectedCount(), 0u);
  checkInvariants(t);
}

TEST(TreeDeleteSelected, HandlersThatDeleteOtherSelectedNodesAreSafe) {
  TOwnedTree t;
  multiSelect(t);
  std::vector<PDataNode> nodes;
  for (int i = 0; i < 20; ++i) nodes.push_back(t.Add(nullptr, std::to_string(i)));
  for (int i = 0; i < 20; i += 2) t.SetSelected(nodes[std::size_t(i)], true);
  t.SetFocusedNode(nodes[18]);
  // Losing the focus, the owner deletes the first selected node too.
  t.OnFocusChanged = [&](TBaseDataTree*, PDataNode, TColumnIndex) {
    if (PDataNode first = t.RootNode()->FirstChild; first && first != nodes[18]) t.DeleteNode(first);
  };
  t.DeleteSelectedNodes();
  EXPECT_EQ(t.SelectedCount(), 0u);
  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n)) EXPECT_EQ(std::stoi(t.Caption(n)) % 2, 1);
  checkInvariants(t);
}

// The free handler of each selected node that goes deletes the selected
// node due next and an unselected one: the selection goes last to first,
// skipping what a handler took, and the counts hold.
TEST(TreeDeleteSelected, FreeHandlerDeletingTheNextSelectedAndAnUnselectedNode) {
  TOwnedTree t;
  multiSelect(t);
  std::vector<PDataNode> top;
  std::map<PDataNode, int> number;
  for (int i = 0; i < 30; ++i) {
    top.push_back(t.Add(nullptr, std::to_string(i)));
    number[top.back()] = i;
    t.Add(top.back(), std::to_string(i) + "c");
    if (i % 2 == 0) t.SetSelected(top.back(), true);
  }
  t.SetExpanded(top[4], true);
  std::vector<int> wentFirst;
  t.OnFreeNode = [&](TBaseDataTree*, PDataNode n) {
    t.Captions.erase(n);
    ++t.Freed;
    const auto it = number.find(n);
    if (it == number.end()) return;
    const int k = it->second;
    number.erase(it);
    // Only the nodes the deletion itself reached ask for more.
    if (k % 4 != 0) return;
    wentFirst.push_back(k);
    if (k >= 2) t.DeleteNode(top[std::size_t(k - 2)]);
    if (k + 1 < 30) t.DeleteNode(top[std::size_t(k + 1)]);
  };
  t.DeleteSelectedNodes();
  t.OnFreeNode = nullptr;
  EXPECT_EQ(wentFirst, (std::vector<int>{28, 24, 20, 16, 12, 8, 4, 0}));
  EXPECT_EQ(captions(t), "3 7 11 15 19 23 27");
  EXPECT_EQ(t.Freed, 2 * 23);
  EXPECT_EQ(t.SelectedCount(), 0u);
  checkInvariants(t);
}

TEST(TreeDeleteSelected, UnselectedNodesGoOneByOneBesideABigSelection) {
  TOwnedTree t;
  multiSelect(t);
  std::vector<PDataNode> plain;
  for (int i = 0; i < 4000; ++i) {
    PDataNode s = t.Add(nullptr, "s");
    t.SetSelected(s, true);
    plain.push_back(t.Add(nullptr, "u"));
  }
  for (PDataNode n : plain) t.DeleteNode(n);
  EXPECT_EQ(t.SelectedCount(), 4000u);
  EXPECT_EQ(t.TotalCount(), 4000u);
  checkInvariants(t);

  // Deleted parents take their selected children out of the selection,
  // inside an update bracket and outside one.
  std::vector<PDataNode> parents;
  for (int i = 0; i < 100; ++i) {
    parents.push_back(t.Add(nullptr, "p"));
    t.SetSelected(t.Add(parents.back(), "c"), true);
  }
  EXPECT_EQ(t.SelectedCount(), 4100u);
  for (int i = 0; i < 50; ++i) t.DeleteNode(parents[std::size_t(i)]);
  t.BeginUpdate();
  for (int i = 50; i < 100; ++i) t.DeleteNode(parents[std::size_t(i)]);
  t.EndUpdate();
  EXPECT_EQ(t.SelectedCount(), 4000u);
  std::uint32_t walked = 0;
  for (PDataNode n = t.GetFirstSelected(); n; n = t.GetNextSelected(n)) ++walked;
  EXPECT_EQ(walked, 4000u);
  t.DeleteSelectedNodes();
  EXPECT_EQ(t.TotalCount(), 0u);
}

TEST(TreeSort, AFailingComparisonLeavesTheSiblingsAsTheyWere) {
  TOwnedTree t;
  for (int i : {5, 3, 9, 1, 7, 3}) t.Add(nullptr, std::to_string(i), i);
  int calls = 0;
  t.OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& r) {
    if (++calls == 6) throw std::runtime_error("no order");
    r = t.Id(a) - t.Id(b);
  };
  EXPECT_THROW(t.SortTree(NoColumn, sdAscending), std::runtime_error);
  EXPECT_EQ(captions(t), "5 3 9 1 7 3");
  checkInvariants(t);

  // A comparison that deletes a node has it deleted once the sort ended.
  PDataNode last = t.RootNode()->LastChild;
  t.OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& r) {
    t.DeleteNode(last);
    r = t.Id(a) - t.Id(b);
  };
  t.Sort(nullptr, NoColumn, sdAscending);
  EXPECT_EQ(captions(t), "1 3 3 5 7 9");
  for (int i = 0; i < 5 && t.PendingDeletionCount() > 0; ++i) Application->HandleMessage();
  EXPECT_EQ(t.PendingDeletionCount(), 0u);
  EXPECT_EQ(captions(t), "1 3 5 7 9");
  checkInvariants(t);
  t.Add(nullptr, "3", 3);

  // Equal keys keep their order in both directions.
  std::vector<PDataNode> before;
  for (PDataNode n = t.RootNode()->FirstChild; n; n = n->NextSibling) before.push_back(n);
  t.OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& r) {
    r = t.Id(a) - t.Id(b);
  };
  t.SortTree(NoColumn, sdDescending);
  EXPECT_EQ(captions(t), "9 7 5 3 3 1");
  EXPECT_EQ(before[1]->NextSibling, before[5]) << "the first 3 stays first";
  t.SortTree(NoColumn, sdAscending);
  EXPECT_EQ(captions(t), "1 3 3 5 7 9");
  EXPECT_EQ(before[1]->NextSibling, before[5]);
  checkInvariants(t);
}

TEST(TreeSort, BelowNoColumnNothingIsSortedAndValidationMakesEveryLazyNode) {
  TOwnedTree t;
  for (int i : {2, 1}) t.Add(nullptr, std::to_string(i), i);
  t.OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& r) { r = t.Id(a) - t.Id(b); };
  t.SortTree(InvalidColumn, sdAscending);
  EXPECT_EQ(captions(t), "2 1");

  // Nodes whose children come on demand get them, level by level.
  int made = 0;
  t.OnInitNode = [&](TBaseDataTree*, PDataNode Parent, PDataNode, TDataNodeInitStates& States) {
    if (!Parent || t.GetNodeLevel(Parent) < 1) States.Include(ivsHasChildren);
  };
  t.OnInitChildren = [&](TBaseDataTree*, PDataNode, std::uint32_t& Count) {
    Count = 2;
    ++made;
  };
  PDataNode lazy = t.AddChild(nullptr);
  t.ValidateNode(lazy, true);
  EXPECT_EQ(lazy->ChildCount, 2u);
  EXPECT_EQ(lazy->FirstChild->ChildCount, 2u);
  EXPECT_EQ(lazy->FirstChild->FirstChild->ChildCount, 0u);
  EXPECT_TRUE(lazy->FirstChild->FirstChild->States.Contains(vsInitialized));
  EXPECT_EQ(made, 3);
  checkInvariants(t);
}
