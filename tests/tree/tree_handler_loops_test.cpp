// The tree's loops that raise handlers while they work through many nodes
// (deleting a branch, measuring the rows at the end of an update, pasting)
// and handlers that delete what the loop still has to reach: the loop goes
// on with what is left and the counts stay right. Run these under the
// sanitizer build too: a freed node is poisoned there.
#include "tests/tree/tree_test_util.h"

namespace {

enum TBranchWay { ByDeleteChildren, ByDeleteNode, ByCollapse, ByClear };

const char* wayName(TBranchWay way) {
  switch (way) {
    case ByDeleteChildren: return "DeleteChildren";
    case ByDeleteNode: return "DeleteNode";
    case ByCollapse: return "collapse freeing the children";
    case ByClear: return "Clear";
  }
  return "";
}

// A group p of four children with two children each (all open and told to
// the owner), and another group q after it.
struct TGroups {
  TTestTree T{nullptr};
  PDataNode P = nullptr, Q = nullptr;

  TGroups() {
    T.TreeOptions().SetSelectionOptions({toMultiSelect});
    P = T.AddChild(nullptr);
    T.SetChildCount(P, 4);
    for (PDataNode c = P->FirstChild; c; c = c->NextSibling) {
      T.SetChildCount(c, 2);
      T.SetExpanded(c, true);
    }
    T.SetExpanded(P, true);
    Q = T.AddChild(nullptr);
    T.SetChildCount(Q, 3);
    T.SetExpanded(Q, true);
    for (PDataNode n : allNodes(T)) T.InitNode(n);
    T.SetSelected(P->FirstChild->FirstChild, true);
    T.SetSelected(Q->LastChild, true);
    checkInvariants(T);
  }

  void run(TBranchWay way) {
    switch (way) {
      case ByDeleteChildren: T.DeleteChildren(P); break;
      case ByDeleteNode: T.DeleteNode(P); break;
      case ByCollapse:
        T.TreeOptions().SetAutoOptions(T.TreeOptions().AutoOptions() + TDTAutoOptions{toAutoFreeOnCollapse});
        T.SetExpanded(P, false);
        break;
      case ByClear: T.Clear(); break;
    }
  }
};

}  // namespace

// The focus inside a branch that goes is reported lost; the handler deletes
// the child whose branch it was (still in the tree as far as it can see)
// or the whole group.
TEST(TreeHandlerLoops, LostFocusReportedWhileABranchGoesMayDeleteTheChildOrItsGroup) {
  for (TBranchWay way : {ByDeleteChildren, ByDeleteNode, ByCollapse}) {
    for (bool group : {false, true}) {
      SCOPED_TRACE(std::string(wayName(way)) + (group ? ", the handler deletes the group" : ", the handler deletes the child"));
      TGroups g;
      PDataNode focused = g.P->LastChild->FirstChild;
      g.T.SetFocusedNode(focused);
      int told = 0;
      g.T.OnFocusChanged = [&](TBaseDataTree* t, PDataNode n, TColumnIndex) {
        if (n || told++) return;
        // Whatever the handler still finds of the group is in the tree.
        for (PDataNode run = t->GetFirstNoInit(); run; run = t->GetNextNoInit(run))
          EXPECT_NE(run, focused) << "the lost focus is reported after its node went";
        if (!group && g.P->LastChild)
          t->DeleteNode(g.P->LastChild);
        else if (group)
          t->DeleteNode(g.P);
      };
      g.run(way);
      EXPECT_EQ(told, 1);
      EXPECT_EQ(g.T.FocusedNode(), nullptr);
      checkInvariants(g.T);
      g.T.OnFocusChanged = nullptr;
      EXPECT_EQ(g.T.GetLastNoInit(), g.Q->LastChild) << "q is untouched";
      g.T.Clear();
      EXPECT_EQ(g.T.TotalCount(), 0u);
    }
  }
}

// The free handler of the k-th node to go deletes a sibling of the group
// that is still waiting (with its open children) and a row elsewhere; the
// counts of what is left stay right, for every k.
TEST(TreeHandlerLoops, FreeHandlerDeletingAWaitingSiblingAndAnotherRowKeepsTheCounts) {
  for (TBranchWay way : {ByDeleteChildren, ByDeleteNode, ByCollapse, ByClear}) {
    for (int k = 1;; ++k) {
      SCOPED_TRACE(testing::Message() << wayName(way) << ", deleting from the free handler of node " << k);
      TGroups g;
      int freed = 0;
      bool ran = false;
      g.T.OnFreeNode = [&](TBaseDataTree* t, PDataNode n) {
        if (n == g.P) g.P = nullptr;
        if (n == g.Q) g.Q = nullptr;
        if (++freed != k) return;
        ran = true;
        // The first child of p is the last of its children to go.
        if (g.P && g.P->FirstChild) t->DeleteNode(g.P->FirstChild);
        if (g.Q && g.Q->FirstChild) t->DeleteNode(g.Q->FirstChild);
      };
      g.run(way);
      g.T.OnFreeNode = nullptr;
      checkInvariants(g.T);
      if (way != ByClear) {
        ASSERT_NE(g.Q, nullptr);
        EXPECT_EQ(g.Q->ChildCount, ran ? 2u : 3u);
        EXPECT_EQ(g.T.SelectedCount(), 1u);
      }
      if (!ran) break;
    }
  }
}

// The free handler of the k-th node to go destroys the tree: the loop ends
// there, touching nothing of it.
TEST(TreeHandlerLoops, FreeHandlerDestroyingTheTreeEndsTheBranchLoop) {
  for (TBranchWay way : {ByDeleteChildren, ByDeleteNode, ByCollapse, ByClear}) {
    for (int k : {1, 3, 6, 12}) {
      SCOPED_TRACE(testing::Message() << wayName(way) << ", destroyed from the free handler of node " << k);
      auto* g = new TGroups;
      g->T.SetFocusedNode(g->P->LastChild->FirstChild);
      int freed = 0;
      bool destroyed = false;
      g->T.OnFreeNode = [&](TBaseDataTree* t, PDataNode) {
        if (++freed != k || destroyed) return;
        destroyed = true;
        (void)t;
        delete g;
      };
      g->run(way);
      EXPECT_TRUE(destroyed);
      if (!destroyed) delete g;
    }
  }
}
