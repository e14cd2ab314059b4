// Owner handlers that delete nodes in the middle of the tree's own work:
// the node they were told about, its neighbours or the node the operation
// started from. The tree must carry on with what is left (run these under
// the sanitizer build: a freed node is poisoned there).
#include <utility>

#include "platform/graphics/bitmap.h"
#include "tests/tree/tree_input_util.h"
#include "tests/tree/tree_paint_util.h"
#include "tests/tree/tree_test_util.h"

using namespace inputtest;

namespace {

struct TMultiTree : TInputFixture {
  TMultiTree() : TInputFixture(240, 18 * 6) {
    Tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  }
  bool alive(PDataNode n) {
    for (PDataNode run = Tree->GetFirstNoInit(); run; run = Tree->GetNextNoInit(run))
      if (run == n) return true;
    return false;
  }
};

struct TCheckTree : TInputFixture {
  TCheckTree() {
    Tree->TreeOptions().SetMiscOptions(Tree->TreeOptions().MiscOptions() + TDTMiscOptions{toCheckSupport});
  }
  PDataNode box(PDataNode parent, TCheckType type = ctCheckBox) {
    PDataNode n = add(parent, "n");
    n->CheckType = type;
    return n;
  }
};

}  // namespace

TEST(TreeHandlerDelete, ShiftRangeKeysWhenFocusChangedDeletesTheOldFocus) {
  for (UINT vk : {VK_HOME, VK_END, VK_PRIOR, VK_NEXT}) {
    TMultiTree f;
    auto roots = f.resultShaped(20, 0);
    f.show();
    f.Tree->SetFocusedNode(roots[10]);
    f.Tree->SetSelected(roots[10], true);
    PDataNode old = roots[10];
    bool once = false;
    f.Tree->OnFocusChanged = [&](TBaseDataTree* t, PDataNode, TColumnIndex) {
      if (once) return;
      once = true;
      t->DeleteNode(old);
    };
    f.key(vk, {ssShift});
    SCOPED_TRACE(vk);
    ASSERT_TRUE(once);
    ASSERT_NE(f.Tree->FocusedNode(), nullptr);
    EXPECT_TRUE(f.Tree->Selected(f.Tree->FocusedNode())) << "the newly focused row is selected";
    EXPECT_EQ(f.Tree->TotalCount(), 19u);
    for (PDataNode n : f.selected()) EXPECT_TRUE(f.alive(n));
  }
}

TEST(TreeHandlerDelete, ArrowAndLeftKeysWhenFocusHandlersDeleteNodes) {
  TMultiTree f;
  auto roots = f.resultShaped(6, 2);
  f.show();
  f.Tree->SetExpanded(roots[1], true);
  f.Tree->SetFocusedNode(roots[1]->LastChild);
  // Shift+Left from a later child: the child the range grows from is gone
  // by the time the range is toggled.
  PDataNode child = roots[1]->LastChild;
  f.Tree->OnFocusChanged = [&](TBaseDataTree* t, PDataNode, TColumnIndex) {
    if (child) t->DeleteNode(std::exchange(child, nullptr));
  };
  f.key(VK_LEFT, {ssShift});
  EXPECT_EQ(f.Tree->FocusedNode(), roots[1]);
  EXPECT_EQ(roots[1]->ChildCount, 1u);
  // The row to be focused is deleted while the focus is asked for.
  f.Tree->OnFocusChanged = nullptr;
  PDataNode victim = roots[2];
  f.Tree->OnFocusChanging = [&](TBaseDataTree* t, PDataNode, PDataNode to, TColumnIndex, TColumnIndex,
                                bool&) {
    if (to == victim) t->DeleteNode(std::exchange(victim, nullptr));
  };
  f.Tree->FullCollapse();
  f.Tree->SetFocusedNode(roots[1]);
  f.key(VK_DOWN);
  EXPECT_EQ(victim, nullptr);
  EXPECT_EQ(f.Tree->FocusedNode(), roots[1]) << "the row asked for is gone: the focus stays";
  for (PDataNode n : f.selected()) EXPECT_TRUE(f.alive(n));
}

TEST(TreeHandlerDelete, FocusAndToggleHandlersDeletingTheirNode) {
  TMultiTree f;
  auto roots = f.resultShaped(4, 3);
  f.show();
  // Refused focus by deletion: the tree must not focus a freed node.
  f.Tree->OnFocusChanging = [&](TBaseDataTree* t, PDataNode, PDataNode to, TColumnIndex, TColumnIndex,
                                bool&) {
    if (to == roots[0]) t->DeleteNode(to);
  };
  f.Tree->SetFocusedNode(roots[0]);
  EXPECT_EQ(f.Tree->FocusedNode(), nullptr);
  f.Tree->OnFocusChanging = nullptr;
  // Expanding and collapsing: each handler deletes the node it is told about.
  f.Tree->OnExpanding = [](TBaseDataTree* t, PDataNode n, bool&) { t->DeleteNode(n); };
  f.Tree->SetExpanded(roots[1], true);
  EXPECT_EQ(f.Tree->RootNodeCount(), 2u);
  f.Tree->OnExpanding = nullptr;
  f.Tree->OnExpanded = [](TBaseDataTree* t, PDataNode n) { t->DeleteNode(n); };
  f.Tree->SetExpanded(roots[2], true);
  EXPECT_EQ(f.Tree->RootNodeCount(), 1u);
  f.Tree->OnExpanded = nullptr;
  f.Tree->SetExpanded(roots[3], true);
  f.Tree->OnCollapsed = [](TBaseDataTree* t, PDataNode n) { t->DeleteNode(n); };
  f.Tree->SetExpanded(roots[3], false);
  EXPECT_EQ(f.Tree->RootNodeCount(), 0u);
  EXPECT_EQ(f.Tree->TotalCount(), 0u);
  EXPECT_EQ(f.Tree->VisibleCount(), 0u);
}

TEST(TreeHandlerDelete, AutoExpandFocusWhenCollapseHandlerDeletesTheNewFocus) {
  TMultiTree f;
  auto roots = f.resultShaped(3, 2);
  f.Tree->TreeOptions().SetAutoOptions(f.Tree->TreeOptions().AutoOptions() + TDTAutoOptions{toAutoExpand});
  f.show();
  f.Tree->SetFocusedNode(roots[0]);
  ASSERT_TRUE(f.Tree->Expanded(roots[0]));
  // Moving the focus collapses the old sibling; its handler deletes the
  // node that is about to take the focus.
  f.Tree->OnCollapsed = [&](TBaseDataTree* t, PDataNode) { t->DeleteNode(roots[1]); };
  f.Tree->SetFocusedNode(roots[1]);
  EXPECT_EQ(f.Tree->FocusedNode(), roots[0]) << "the new focus is gone: the focus stays";
  EXPECT_EQ(f.Tree->RootNodeCount(), 2u);
}

TEST(TreeHandlerDelete, DownwardTriStatePropagationWhenCheckedDeletesChildren) {
  // The handler deletes, in turn: the child it hears of, the next child,
  // and the parent the propagation started from.
  for (int which = 0; which < 3; ++which) {
    TCheckTree f;
    PDataNode parent = f.box(nullptr, ctTriStateCheckBox);
    PDataNode a = f.box(parent), b = f.box(parent);
    PDataNode c = f.box(parent);
    PDataNode other = f.box(nullptr);
    bool done = false;
    f.Tree->OnChecked = [&](TBaseDataTree* t, PDataNode n) {
      if (done || n != a) return;
      done = true;
      t->DeleteNode(which == 0 ? a : which == 1 ? b : parent);
    };
    f.Tree->SetCheckState(parent, csCheckedNormal);
    SCOPED_TRACE(which);
    EXPECT_TRUE(done);
    if (which < 2) {
      EXPECT_EQ(parent->ChildCount, 2u);
      EXPECT_EQ(c->CheckState, csCheckedNormal) << "the rest still follows";
      EXPECT_EQ(parent->CheckState, csCheckedNormal);
    } else {
      EXPECT_EQ(f.Tree->RootNodeCount(), 1u);
    }
    EXPECT_EQ(other->CheckState, csUncheckedNormal);
    EXPECT_FALSE(f.Tree->TreeStates().Contains(tsCheckPropagation));
  }
}

TEST(TreeHandlerDelete, UpwardPropagationWhenHandlersDeleteTheChild) {
  TCheckTree f;
  PDataNode parent = f.box(nullptr, ctTriStateCheckBox);
  PDataNode a = f.box(parent);
  f.box(parent);
  // The parent is asked while the child is being applied; deleting the
  // child there must end the child's work quietly.
  f.Tree->OnChecking = [&](TBaseDataTree* t, PDataNode n, TCheckState&, bool&) {
    if (n == parent) t->DeleteNode(a);
  };
  f.Tree->SetCheckState(a, csCheckedNormal);
  EXPECT_EQ(parent->ChildCount, 1u);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsCheckPropagation));
  // Deleting the parent from its own checked handler, reached from a child.
  PDataNode b = parent->FirstChild;
  f.Tree->OnChecking = nullptr;
  f.Tree->OnChecked = [&](TBaseDataTree* t, PDataNode n) {
    if (n == parent) t->DeleteNode(parent);
  };
  f.Tree->SetCheckState(b, csCheckedNormal);
  EXPECT_EQ(f.Tree->RootNodeCount(), 0u);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsCheckPropagation));
}

TEST(TreeHandlerDelete, SpaceOnACheckBoxWhenCheckingDeletesTheNode) {
  TCheckTree f;
  PDataNode a = f.box(nullptr);
  PDataNode b = f.box(nullptr);
  f.show();
  f.Tree->SetFocusedNode(a);
  f.Tree->OnChecking = [&](TBaseDataTree* t, PDataNode n, TCheckState&, bool&) { t->DeleteNode(n); };
  f.keyDown(VK_SPACE, {}, " ");
  EXPECT_EQ(f.Tree->CheckNode(), nullptr);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsKeyCheckPending));
  f.keyUp(VK_SPACE, {}, " ");
  EXPECT_EQ(f.Tree->RootNodeCount(), 1u);
  EXPECT_EQ(b->CheckState, csUncheckedNormal);
  // The same through SetCheckState.
  f.Tree->SetCheckState(b, csCheckedNormal);
  EXPECT_EQ(f.Tree->RootNodeCount(), 0u);
}

TEST(TreeHandlerDelete, SelectionHelpersWhenChangeDeletesTheAnchor) {
  TMultiTree f;
  auto roots = f.resultShaped(8, 0);
  f.show();
  PDataNode anchor = roots[2];
  f.Tree->SetFocusedNode(anchor);
  f.Tree->SetSelected(anchor, true);
  ASSERT_EQ(f.Tree->RangeAnchor(), anchor);
  auto deleteAnchorOnce = [&](TBaseDataTree* t, PDataNode) {
    if (anchor) t->DeleteNode(std::exchange(anchor, nullptr));
  };
  f.Tree->OnChange = deleteAnchorOnce;
  f.Tree->SelectNodes(roots[2], roots[5], false);
  EXPECT_EQ(f.Tree->RangeAnchor() == roots[2], false);
  for (PDataNode n : f.selected()) EXPECT_TRUE(f.alive(n));

  // Shift+click from an anchor that the change handler deletes.
  anchor = roots[4];
  f.Tree->OnChange = nullptr;
  f.Tree->ClearSelection();
  f.Tree->SetFocusedNode(anchor);
  f.Tree->SetSelected(anchor, true);
  f.Tree->OnChange = deleteAnchorOnce;
  f.Tree->HandleClickSelection(anchor, roots[6], {ssShift}, false);
  for (PDataNode n : f.selected()) EXPECT_TRUE(f.alive(n));

  // Ctrl+click and SetSelected where the handler deletes the clicked node.
  PDataNode victim = nullptr;
  f.Tree->OnChange = [&](TBaseDataTree* t, PDataNode n) {
    if (n && n == victim) t->DeleteNode(std::exchange(victim, nullptr));
  };
  victim = roots[7];
  f.Tree->HandleClickSelection(nullptr, roots[7], {ssCtrl}, false);
  victim = roots[0];
  f.Tree->SetSelected(roots[0], true);
  f.Tree->OnChange = nullptr;
  EXPECT_EQ(f.Tree->RootNodeCount(), 4u);
  for (PDataNode n : f.selected()) EXPECT_TRUE(f.alive(n));
  EXPECT_TRUE(f.Tree->RangeAnchor() == nullptr || f.alive(f.Tree->RangeAnchor()));
}

TEST(TreeHandlerDelete, IncrementalSearchWhenItsHandlerDeletesNodes) {
  TMultiTree f;
  f.Tree->SetIncrementalSearch(isAll);
  PDataNode apple = f.add(nullptr, "apple");
  f.add(nullptr, "apricot");
  f.add(nullptr, "banana");
  PDataNode avocado = f.add(nullptr, "avocado");
  f.show();
  f.Tree->SetFocusedNode(apple);
  // The handler deletes every node it is asked about that does not match,
  // and the node it is asked about first.
  int asked = 0;
  f.Tree->OnIncrementalSearch = [&](TBaseDataTree* t, PDataNode n, const String& text, int& result) {
    ++asked;
    const String caption = itemOf(t, n)->Caption;
    result = caption.rfind(text, 0) == 0 ? 0 : 1;
    if (result != 0 || n == apple) t->DeleteNode(n);
  };
  f.Tree->HandleIncrementalSearch(u'a');
  f.Tree->HandleIncrementalSearch(u'v');
  EXPECT_EQ(f.Tree->FocusedNode(), avocado);
  EXPECT_GT(asked, 0);
  for (PDataNode n : f.selected()) EXPECT_TRUE(f.alive(n));
  // A handler that deletes everything ends the search without a hit.
  f.Tree->OnIncrementalSearch = [](TBaseDataTree* t, PDataNode, const String&, int& result) {
    result = 1;
    t->Clear();
  };
  f.Tree->HandleIncrementalSearch(u'x');
  EXPECT_EQ(f.Tree->TotalCount(), 0u);
  EXPECT_EQ(f.Tree->FocusedNode(), nullptr);
}

TEST(TreeHandlerDelete, HelpContextHandlerDeletingTheNodeItIsAskedAbout) {
  TMultiTree f;
  auto roots = f.resultShaped(2, 2);
  f.show();
  f.Tree->SetExpanded(roots[0], true);
  f.Tree->SetFocusedNode(roots[0]->FirstChild);
  int asked = 0, requested = -1;
  f.Tree->OnGetHelpContext = [&](TBaseDataTree* t, PDataNode n, TColumnIndex, int&) {
    ++asked;
    t->DeleteNode(n);
  };
  f.Tree->OnHelpRequest = [&](TBaseDataTree*, int context) { requested = context; };
  f.key(VK_F1);
  EXPECT_EQ(asked, 1) << "the walk up ends with the node";
  EXPECT_EQ(roots[0]->ChildCount, 1u);
  EXPECT_EQ(requested, -1) << "no context was found";
}

TEST(TreeHandlerDelete, HandlersRunByDeleteNodeDeletingTheSameNode) {
  TMultiTree f;
  auto roots = f.resultShaped(4, 1);
  f.show();
  // The change report of a selected node that is being deleted: the
  // handler deletes it (again).
  f.Tree->SetSelected(roots[1], true);
  int freed = 0;
  auto freeNode = f.Tree->OnFreeNode;
  f.Tree->OnFreeNode = [&](TBaseDataTree* t, PDataNode n) {
    ++freed;
    freeNode(t, n);
  };
  f.Tree->OnChange = [&](TBaseDataTree* t, PDataNode n) {
    if (n == roots[1]) t->DeleteNode(n);
  };
  f.Tree->DeleteNode(roots[1]);
  EXPECT_EQ(f.Tree->RootNodeCount(), 3u);
  EXPECT_EQ(freed, 2) << "the node and its child, once each";
  f.Tree->OnChange = nullptr;
  // The structure change is told before the node goes; its handler deletes
  // the node's parent.
  PDataNode child = roots[2]->FirstChild;
  f.Tree->OnStructureChange = [&](TBaseDataTree* t, PDataNode n, TChangeReason) {
    if (n == roots[2]) t->DeleteNode(n);
  };
  freed = 0;
  f.Tree->DeleteNode(child);
  EXPECT_EQ(f.Tree->RootNodeCount(), 2u);
  EXPECT_EQ(freed, 2);
  EXPECT_EQ(f.Tree->TotalCount(), 4u);
}

// The handlers that only answer a question about a node are called from
// walks, painting and measuring, which go on with the node afterwards:
// deletions asked for from inside them wait for the message loop.
namespace {

// A tree of uninitialised nodes: every walk and paint runs OnInitNode.
struct TLazyTree : TInputFixture {
  std::vector<PDataNode> roots;
  explicit TLazyTree(int count) {
    Tree->SetRootNodeCount(std::uint32_t(count));
    for (PDataNode n = Tree->GetFirstNoInit(); n; n = n->NextSibling) roots.push_back(n);
  }
  bool alive(PDataNode n) {
    for (PDataNode run = Tree->GetFirstNoInit(); run; run = Tree->GetNextNoInit(run))
      if (run == n) return true;
    return false;
  }
  // Paints the whole client area at once, the way WM_PAINT does.
  void paint() {
    TBitmap target(Tree->ClientWidth(), Tree->ClientHeight());
    Tree->RenderTree(target.Canvas(), {0, 0, Tree->ClientWidth(), Tree->ClientHeight()}, {0, 0}, {ptoSelection});
  }
};

}  // namespace

TEST(TreeHandlerDelete, InitNodeHandlerDeletingItsNodeOrNeighbours) {
  TLazyTree f(8);
  std::vector<PDataNode> r = f.roots;
  f.Tree->OnInitNode = [&](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates& states) {
    new (itemOf(t, n)) TItem();
    itemOf(t, n)->Caption = u"node";
    if (n == r[1]) t->DeleteNode(n);                  // itself
    if (n == r[3]) t->DeleteNode(n->NextSibling);     // the next one, the walk's next step
    if (n == r[5]) t->DeleteNode(r[3]);               // one the walk has passed
    if (n == r[6]) states.Include(ivsHasChildren);    // then its children are made...
    if (n->Parent == r[6]) t->DeleteNode(n->Parent);  // ...and one deletes the parent
  };
  f.Tree->OnInitChildren = [](TBaseDataTree*, PDataNode, std::uint32_t& count) { count = 2; };
  int walked = 0;
  for (PDataNode n = f.Tree->GetFirst(); n; n = f.Tree->GetNext(n)) ++walked;
  EXPECT_GE(walked, 8) << "the walk sees the nodes whose deletion waits";
  EXPECT_EQ(f.Tree->PendingDeletionCount(), 4u);
  f.pump();
  EXPECT_EQ(f.Tree->PendingDeletionCount(), 0u);
  EXPECT_EQ(f.Tree->RootNodeCount(), 4u);
  for (int i : {1, 3, 4, 6}) EXPECT_FALSE(f.alive(r[size_t(i)])) << i;
  checkInvariants(*f.Tree);

  // Initialised while painting: the rows drawn stay until the frame is done.
  TLazyTree g(6);
  g.Tree->OnInitNode = [&](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates&) {
    new (itemOf(t, n)) TItem();
    if (n->Index % 2 == 0) t->DeleteNode(n);
  };
  g.show();
  g.paint();
  g.pump();
  EXPECT_EQ(g.Tree->RootNodeCount(), 3u);
  checkInvariants(*g.Tree);
}

TEST(TreeHandlerDelete, TextImageAndPaintTextHandlersDeletingWhatTheyPaint) {
  TMultiTree f;
  auto roots = f.resultShaped(3, 3);
  f.Tree->SetExpanded(roots[0], true);
  f.Tree->SetExpanded(roots[1], true);
  f.show();
  // Pointers taken now: the handler must not read nodes that went.
  const PDataNode firstChild = roots[0]->FirstChild, lastChild = roots[0]->LastChild;
  // Each asks once: the text is asked for again after the deletions, and
  // deleting a node that is gone is the owner's fault.
  bool asked[3] = {};
  auto doom = [&](TBaseDataTree* t, PDataNode n) {
    // The node being painted, then its parent, then a node further down.
    if (n == firstChild && !std::exchange(asked[0], true)) t->DeleteNode(n);
    if (n == lastChild && !std::exchange(asked[1], true)) t->DeleteNode(n->Parent);
    if (n == roots[1] && !std::exchange(asked[2], true)) t->DeleteNode(roots[2]);
  };
  auto getText = f.Tree->OnGetText;
  f.Tree->OnGetText = [&](TBaseDataTree* t, PDataNode n, TColumnIndex c, TDTTextType type, String& text) {
    getText(t, n, c, type, text);
    doom(t, n);
  };
  TBitmap target(f.Tree->ClientWidth(), f.Tree->ClientHeight());
  auto paint = [&] {
    f.Tree->RenderTree(target.Canvas(), {0, 0, f.Tree->ClientWidth(), f.Tree->ClientHeight()}, {0, 0},
                       {ptoSelection});
  };
  paint();
  EXPECT_TRUE(f.alive(roots[0])) << "nothing goes while the frame is painted";
  f.pump();
  EXPECT_EQ(f.Tree->RootNodeCount(), 1u);
  EXPECT_TRUE(f.alive(roots[1]));
  checkInvariants(*f.Tree);

  // The image and paint-text handlers, the same way.
  TMultiTree g;
  auto more = g.resultShaped(4, 2);
  g.Tree->SetImages(painttest::makeImages(g.Form, {clTeal}));
  g.Tree->SetExpanded(more[0], true);
  g.show();
  bool done[3] = {};
  const PDataNode imageChild = more[0]->FirstChild;
  g.Tree->OnGetImageIndex = [&](TBaseDataTree* t, PDataNode n, TDTImageKind, TColumnIndex, bool&, int& index) {
    index = -1;
    if (n == imageChild && !std::exchange(done[0], true)) t->DeleteNode(n->Parent);
  };
  g.Tree->OnPaintText = [&](TBaseDataTree* t, TCanvas*, PDataNode n, TColumnIndex, TDTTextType) {
    if (n == more[1] && !std::exchange(done[1], true)) t->DeleteNode(n);
    if (n == more[2] && !std::exchange(done[2], true)) t->DeleteNode(more[3]);
  };
  TBitmap other(g.Tree->ClientWidth(), g.Tree->ClientHeight());
  g.Tree->RenderTree(other.Canvas(), {0, 0, g.Tree->ClientWidth(), g.Tree->ClientHeight()}, {0, 0}, {ptoSelection});
  g.pump();
  EXPECT_EQ(g.Tree->RootNodeCount(), 1u);
  EXPECT_TRUE(g.alive(more[2]));
  checkInvariants(*g.Tree);
}

TEST(TreeHandlerDelete, MeasureItemHandlerDeletingTheRowItMeasures) {
  TMultiTree f;
  f.Tree->TreeOptions().SetMiscOptions(f.Tree->TreeOptions().MiscOptions() + TDTMiscOptions{toVariableNodeHeight});
  auto roots = f.resultShaped(4, 2);
  f.Tree->SetExpanded(roots[1], true);
  bool done[2] = {};
  const PDataNode measuredChild = roots[1]->FirstChild;
  f.Tree->OnMeasureItem = [&](TBaseDataTree* t, TCanvas*, PDataNode n, int& height) {
    height = 30;
    if (n == roots[0] && !std::exchange(done[0], true)) t->DeleteNode(n);
    if (n == measuredChild && !std::exchange(done[1], true)) t->DeleteNode(roots[1]);
  };
  f.show();
  TBitmap target(f.Tree->ClientWidth(), f.Tree->ClientHeight());
  f.Tree->RenderTree(target.Canvas(), {0, 0, f.Tree->ClientWidth(), f.Tree->ClientHeight()}, {0, 0}, {ptoSelection});
  f.pump();
  EXPECT_EQ(f.Tree->RootNodeCount(), 2u);
  EXPECT_FALSE(f.alive(roots[0]));
  EXPECT_FALSE(f.alive(roots[1]));
  checkInvariants(*f.Tree);
}
