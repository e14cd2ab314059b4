// What the owner's initialisation handlers do to the tree: children it
// replaces while it is asked for them, and its failures.
#include <stdexcept>

#include "platform/gui/forms.h"
#include "tests/tree/tree_test_util.h"

namespace {
// An owner that rebuilds a node's children itself each time it is asked
// for them: the old ones go, fresh ones come, and it answers their number.
void rebuildingOwner(TTestTree& t, std::uint32_t fresh, int& rebuilt, bool countsThem) {
  t.OnInitNode = [](TBaseDataTree*, PDataNode parent, PDataNode, TDataNodeInitStates& s) {
    if (!parent) s.Include(ivsHasChildren);
  };
  t.OnInitChildren = [&t, fresh, &rebuilt, countsThem](TBaseDataTree*, PDataNode node, std::uint32_t& count) {
    ++rebuilt;
    t.DeleteChildren(node, false);
    for (std::uint32_t i = 0; i < fresh; ++i) t.AddChild(node);
    count = countsThem ? t.ChildCount(node) : fresh;
  };
}
}  // namespace

TEST(TreeInitHandlers, ChildrenReplacedWhileAskedForAreTheOnesLeft) {
  for (std::uint32_t fresh : {1u, 3u, 5u})
   for (bool countsThem : {true, false}) {
    SCOPED_TRACE(countsThem ? "answers the children it has" : "answers the number it made");
    TTestTree t(nullptr);
    int rebuilt = 0;
    rebuildingOwner(t, fresh, rebuilt, countsThem);
    t.SetRootNodeCount(2);
    PDataNode a = t.GetFirst();
    t.SetExpanded(a, true);
    ASSERT_EQ(rebuilt, 1);
    ASSERT_EQ(a->ChildCount, fresh);
    // Asked again (the program's data changed): the old children are gone
    // when the call returns, the fresh ones stay.
    t.ReinitChildren(a, false);
    EXPECT_EQ(rebuilt, 2);
    EXPECT_EQ(a->ChildCount, fresh) << fresh;
    checkInvariants(t);
    // Nothing waits to take the fresh ones later.
    Application->ProcessMessages();
    EXPECT_EQ(a->ChildCount, fresh) << fresh;
    checkInvariants(t);
    // The same through the node's own initialisation of an open node.
    t.ReinitNode(a, false);
    Application->ProcessMessages();
    EXPECT_EQ(a->ChildCount, fresh) << fresh;
    checkInvariants(t);
  }
}

TEST(TreeInitHandlers, AnOwnersFailureReachesTheCaller) {
  TTestTree t(nullptr);
  t.OnInitNode = [](TBaseDataTree*, PDataNode parent, PDataNode, TDataNodeInitStates& s) {
    if (parent) throw std::runtime_error("init");
    s.Include(ivsHasChildren);
  };
  t.OnInitChildren = [](TBaseDataTree*, PDataNode, std::uint32_t& count) { count = 2; };
  t.SetRootNodeCount(1);
  PDataNode a = t.GetFirst();
  // The node's children are made and initialised as the walk meets them.
  EXPECT_THROW(t.GetNext(a), std::runtime_error);
  // The expansion an answer asks for fails the same way.
  TTestTree u(nullptr);
  u.OnInitNode = [](TBaseDataTree*, PDataNode, PDataNode, TDataNodeInitStates& s) {
    s.Include(ivsHasChildren);
    s.Include(ivsExpanded);
  };
  u.OnInitChildren = [](TBaseDataTree*, PDataNode, std::uint32_t&) { throw std::runtime_error("children"); };
  u.SetRootNodeCount(1);
  EXPECT_THROW(u.GetFirst(), std::runtime_error);
  checkInvariants(u);
}

// The same owner asked again from inside another question (a child's own
// initialisation, met by a walk that holds that child): the replaced
// children wait for the message loop, as every deletion from a question.
TEST(TreeInitHandlers, ChildrenReplacedFromInsideAnotherQuestionWait) {
  TTestTree t(nullptr);
  int rebuilt = 0;
  rebuildingOwner(t, 3, rebuilt, true);
  t.SetRootNodeCount(1);
  PDataNode a = t.GetFirst();
  t.SetExpanded(a, true);
  ASSERT_EQ(a->ChildCount, 3u);
  bool asked = false;
  t.OnInitNode = [&](TBaseDataTree*, PDataNode parent, PDataNode, TDataNodeInitStates& s) {
    if (!parent) {
      s.Include(ivsHasChildren);
    } else if (!asked) {
      asked = true;
      t.ReinitChildren(a, false);
    }
  };
  std::uint32_t walked = 0;
  for (PDataNode r = t.GetFirst(); r; r = t.GetNext(r)) ++walked;
  EXPECT_TRUE(asked);
  EXPECT_GE(walked, 4u);
  Application->ProcessMessages();
  EXPECT_EQ(a->ChildCount, 3u);
  checkInvariants(t);
}
