// The tree's loops that raise handlers while they work through many nodes
// (deleting a branch, measuring the rows at the end of an update, pasting)
// and handlers that delete what the loop still has to reach: the loop goes
// on with what is left and the counts stay right. Run these under the
// sanitizer build too: a freed node is poisoned there.
#include <algorithm>
#include <utility>

#include "platform/gui/clipboard.h"
#include "tests/tree/tree_paint_util.h"
#include "tests/tree/tree_stream_util.h"
#include "tests/tree/tree_test_util.h"

using namespace painttest;

namespace {

enum TBranchWay { ByDeleteChildren, ByDeleteNode, ByCollapse, ByClear, ByDeleteSelected };

const char* wayName(TBranchWay way) {
  switch (way) {
    case ByDeleteChildren: return "DeleteChildren";
    case ByDeleteNode: return "DeleteNode";
    case ByCollapse: return "collapse freeing the children";
    case ByClear: return "Clear";
    case ByDeleteSelected: return "DeleteSelectedNodes";
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
      case ByDeleteSelected: T.SetSelected(Q->LastChild, false); T.SetSelected(P, true); T.DeleteSelectedNodes(); break;
    }
  }
};

}  // namespace

// The focus inside a branch that goes is reported lost before any node of
// the branch goes: the handler may delete what it knew of the branch (the
// parent of the lost focus, the focus itself, the whole group) or another
// group, and the deletion goes on with what is left. A node of the branch
// cannot take the focus or the selection back, neither from that handler
// nor from a free handler: the handler is never left holding a focus that
// is freed before its loss is told.
TEST(TreeHandlerLoops, LostFocusReportedBeforeTheBranchGoesMayDeleteAnyOfIt) {
  enum TAction { vFocusParent, vFocus, vGroup, vOther, aRefocus, aSelect, aToggle };
  const char* const actionNames[] = {"deletes the parent of the focus", "deletes the focus", "deletes the group",
                                     "deletes another group", "focuses the lost focus again",
                                     "selects a node of the group", "collapses a node of the group and the group"};
  for (TBranchWay way : {ByDeleteChildren, ByDeleteNode, ByCollapse, ByDeleteSelected}) {
    for (int i = 0; i < 20; ++i) {
      const int depth = 1 + i / 10;
      const TAction action = TAction(i % 10 < 7 ? i % 10 : i % 10 - 3);
      const bool fromFree = i % 10 >= 7;
      SCOPED_TRACE(std::string(wayName(way)) + ", focus at depth " + std::to_string(depth) + ", the " +
                   (fromFree ? "first free" : "loss") + " handler " + actionNames[action]);
      TGroups g;
      const PDataNode focused = depth == 1 ? g.P->LastChild : g.P->LastChild->FirstChild;
      const PDataNode victims[] = {focused->Parent, focused, g.P, g.Q};
      g.T.SetFocusedNode(focused);
      int told = 0;
      PDataNode shown = focused;
      auto act = [&](TBaseDataTree* t) {
        if (action == aRefocus)
          t->SetFocusedNode(focused);
        else if (action == aSelect)
          t->AddToSelection(g.P->LastChild);
        else if (action == aToggle)
          for (PDataNode n : {g.P->LastChild, g.P}) t->ToggleNode(n);
        else
          t->DeleteNode(victims[action]);
      };
      g.T.OnFocusChanged = [&](TBaseDataTree* t, PDataNode n, TColumnIndex) {
        shown = n;
        if (n || told++ || fromFree) return;
        const std::vector<PDataNode> rows = allNodes(*t);
        for (PDataNode v : victims) EXPECT_NE(std::find(rows.begin(), rows.end(), v), rows.end());
        act(t);
      };
      bool freed = false;
      g.T.OnFreeNode = [&](TBaseDataTree* t, PDataNode n) {
        EXPECT_NE(n, shown);
        if (fromFree && !std::exchange(freed, true)) act(t);
      };
      g.run(way);
      g.T.OnFreeNode = nullptr;
      EXPECT_EQ(told, 1);
      EXPECT_EQ(g.T.FocusedNode(), nullptr);
      checkInvariants(g.T);
      const bool groupStays = (way == ByDeleteChildren || way == ByCollapse) &&
                              (action > vOther || victims[action] != g.P);
      EXPECT_EQ(g.T.TotalCount(), (groupStays ? 1u : 0u) + (action != vOther ? 4u : 0u));
      if (action >= aRefocus) {
        EXPECT_EQ(g.T.SelectedCount(), way == ByDeleteSelected ? 0u : 1u);
      }
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

// The free handler clears the whole tree, or cuts another group down to
// one child, while a branch goes: that is done once the branch is gone.
TEST(TreeHandlerLoops, FreeHandlerClearingOrShrinkingWhileABranchGoes) {
  for (TBranchWay way : {ByDeleteChildren, ByDeleteNode, ByCollapse, ByClear}) {
    for (bool clear : {false, true}) {
      SCOPED_TRACE(std::string(wayName(way)) + (clear ? ", the handler clears" : ", the handler shrinks q"));
      TGroups g;
      bool ran = false;
      g.T.OnFreeNode = [&](TBaseDataTree* t, PDataNode n) {
        if (ran || n == g.Q) return;
        ran = true;
        if (clear)
          t->Clear();
        else
          t->SetChildCount(g.Q, 1);
      };
      g.run(way);
      g.T.OnFreeNode = nullptr;
      EXPECT_TRUE(ran);
      checkInvariants(g.T);
      if (clear) {
        EXPECT_EQ(g.T.TotalCount(), 0u);
      } else if (way != ByClear) {
        EXPECT_EQ(g.Q->ChildCount, 1u);
      }
    }
  }
}

// The end of an update measures the rows about to be shown; the width
// handler deletes the row it measures, its parent or the row after it.
TEST(TreeHandlerLoops, WidthHandlerAtTheEndOfAnUpdateDeletingRows) {
  enum { Itself, ItsParent, TheNextRow };
  for (int what : {Itself, ItsParent, TheNextRow}) {
    for (int nth : {1, 2, 4, 7}) {
      SCOPED_TRACE(testing::Message() << "deleting " << what << " when measuring row " << nth);
      TPaintedTree p;
      p.show();
      p.Tree->BeginUpdate();
      for (int i = 0; i < 4; ++i) {
        PDataNode top = p.add(nullptr, "top " + std::to_string(i));
        for (int j = 0; j < 2; ++j) p.add(top, "child " + std::to_string(j));
        p.Tree->SetExpanded(top, true);
      }
      int measured = 0;
      bool deleted = false;
      auto* tree = static_cast<TCustomDataStringTree*>(p.Tree);
      tree->OnMeasureTextWidth = [&](TBaseDataTree* t, TCanvas*, PDataNode n, TColumnIndex, const String&, int&) {
        if (++measured != nth || deleted) return;
        deleted = true;
        if (what == Itself)
          t->DeleteNode(n);
        else if (what == ItsParent)
          t->DeleteNode(n->Parent == t->RootNode() ? n : n->Parent);
        else if (PDataNode next = t->GetNextVisibleNoInit(n))
          t->DeleteNode(next);
      };
      p.Tree->EndUpdate();
      EXPECT_TRUE(deleted) << "the rows were measured";
      tree->OnMeasureTextWidth = nullptr;
      checkInvariants(*p.Tree);
      // The rows left are measured again when shown.
      p.grab();
      EXPECT_FALSE(p.Shown.empty());
    }
  }
}

// A program's own measuring calls whose handlers destroy the tree answer 0
// and throw nothing.
TEST(TreeHandlerLoops, MeasuringCallsWhoseHandlersDestroyTheTreeAnswerNothing) {
  enum { CellWidth, TextHeight, WidestRow };
  for (int call : {CellWidth, TextHeight, WidestRow}) {
    SCOPED_TRACE(call == CellWidth ? "MeasureCellTextWidth" : call == TextHeight ? "MeasureTextHeight" : "GetMaxRightExtend");
    auto* tree = new TOwnedTree;
    const std::weak_ptr<const bool> life = tree->LifeToken();
    PDataNode row = tree->Add(nullptr, "a row");
    tree->Add(nullptr, "another row");
    bool armed = true;
    auto doom = [&](TBaseDataTree* t) {
      if (!armed) return;
      armed = false;
      delete t;
    };
    tree->OnPaintText = [&](TBaseDataTree* t, TCanvas*, PDataNode, TColumnIndex, TDTTextType) { doom(t); };
    tree->OnMeasureTextWidth = [&](TBaseDataTree* t, TCanvas*, PDataNode, TColumnIndex, const String&, int&) {
      doom(t);
    };
    TBitmap bitmap(16, 16);
    int answer = -1;
    auto measure = [&] {
      if (call == CellWidth) return tree->MeasureCellTextWidth(bitmap.Canvas(), row, NoColumn, u"text");
      if (call == TextHeight) return tree->MeasureTextHeight(bitmap.Canvas(), row, NoColumn, String());
      return tree->GetMaxRightExtend();
    };
    EXPECT_NO_THROW(answer = measure());
    EXPECT_TRUE(life.expired());
    EXPECT_EQ(answer, 0);
    if (!life.expired()) delete tree;
  }
}

namespace {

void copyRows(TOwnedTree& source, int rows) {
  TDTSelectionOptions sel = source.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  source.TreeOptions().SetSelectionOptions(sel);
  for (int i = 0; i < rows; ++i) {
    PDataNode n = source.Add(nullptr, "row " + std::to_string(i));
    source.Add(n, "below " + std::to_string(i));
    source.SetSelected(n, true);
  }
  source.CopyToClipboard();
}

}  // namespace

// Every handler a paste raises destroys the tree on its k-th call: the
// paste stops there and touches nothing of it.
TEST(TreeHandlerLoops, PasteHandlerDestroyingTheTreeEndsThePaste) {
  TOwnedTree source;
  copyRows(source, 4);
  enum { Copying, CopyingRefused, Copied, Structure, Free, Updating };
  for (int event : {Copying, CopyingRefused, Copied, Structure, Free, Updating}) {
    for (int k : {1, 2, 4}) {
      SCOPED_TRACE(testing::Message() << "event " << event << ", call " << k);
      TDoomedTree target;
      TOwnedTree& t = *target.T;
      PDataNode here = t.Add(nullptr, "here");
      t.SetFocusedNode(here);
      t.SetDefaultPasteMode(amInsertAfter);
      int calls = 0;
      bool armed = false;
      auto maybeDestroy = [&] {
        if (armed && ++calls == k) target.destroy();
      };
      t.OnNodeCopying = [&, event](TBaseDataTree*, PDataNode, PDataNode, bool& allowed) {
        allowed = event != CopyingRefused;
        if (event == Copying || event == CopyingRefused) maybeDestroy();
      };
      t.OnNodeCopied = [&, event](TBaseDataTree*, PDataNode) {
        if (event == Copied) maybeDestroy();
      };
      t.OnStructureChange = [&, event](TBaseDataTree*, PDataNode, TChangeReason) {
        if (event == Structure) maybeDestroy();
      };
      if (event == Free) {
        t.OnNodeCopying = [](TBaseDataTree*, PDataNode, PDataNode, bool& allowed) { allowed = false; };
        t.OnFreeNode = [&](TBaseDataTree*, PDataNode n) {
          t.Captions.erase(n);
          maybeDestroy();
        };
      }
      t.OnUpdating = [&, event](TBaseDataTree*, TDTUpdateState) {
        if (event == Updating) maybeDestroy();
      };
      armed = true;
      const bool result = t.PasteFromClipboard();
      if (k == 1) {
        EXPECT_TRUE(target.Destroyed) << "the paste raised the event";
      }
      if (!target.Destroyed) {
        EXPECT_TRUE(result);
        checkInvariants(t);
      }
    }
  }
  Clipboard()->Clear();
}

// A cut pasted into another tree: the source gives its rows up inside one
// update bracket of its own, started before the first row moves, and its
// updating handler may destroy either tree at the bracket's start or end.
TEST(TreeHandlerLoops, CutPastedIntoAnotherTreeWhoseSourceUpdatingHandlerDestroysATree) {
  for (const bool sourceGoes : {true, false}) {
    for (const TDTUpdateState when : {usBegin, usEnd}) {
      SCOPED_TRACE(testing::Message() << (sourceGoes ? "the source" : "the target") << " goes at "
                                      << (when == usBegin ? "the start" : "the end"));
      TDoomedTree source, target;
      TOwnedTree& s = *source.T;
      TOwnedTree& t = *target.T;
      PDataNode here = cutThreeRows(s, t);
      bool armed = true;
      s.OnUpdating = [&](TBaseDataTree*, TDTUpdateState state) {
        if (!armed || state != when) return;
        armed = false;
        if (sourceGoes)
          source.destroy();
        else
          target.destroy();
      };
      const bool result = t.PasteFromClipboard();
      EXPECT_FALSE(armed) << "the source's bracket was not told";
      if (sourceGoes) {
        ASSERT_FALSE(target.Destroyed);
        EXPECT_TRUE(result);
        EXPECT_EQ(here->ChildCount, when == usBegin ? 0u : 3u);
        checkInvariants(t);
      } else {
        ASSERT_FALSE(source.Destroyed);
        EXPECT_FALSE(result);
        // At the start nothing moved yet; at the end everything had.
        EXPECT_EQ(s.RootNodeCount(), when == usBegin ? 3u : 0u);
        checkInvariants(s);
      }
    }
  }
  Clipboard()->Clear();
}

// A paste whose copying handler refuses every arriving row: each refusal
// deletes the row again, and the rows after it are still pasted and asked
// about, once each.
TEST(TreeHandlerLoops, PasteRefusingEveryRowAsksAboutEachOnce) {
  TOwnedTree source;
  copyRows(source, 300);
  TOwnedTree t;
  PDataNode here = t.Add(nullptr, "here");
  t.SetFocusedNode(here);
  t.SetDefaultPasteMode(amAddChildLast);
  std::vector<PDataNode> asked;
  t.OnNodeCopying = [&](TBaseDataTree*, PDataNode n, PDataNode, bool& allowed) {
    asked.push_back(n);
    // Every other row, and each third one deletes the next arrival too.
    allowed = asked.size() % 2 == 0;
    if (asked.size() % 3 == 0 && n->NextSibling) t.DeleteNode(n->NextSibling);
  };
  EXPECT_TRUE(t.PasteFromClipboard());
  std::size_t expectedAsked = 0, kept = 0;
  for (std::size_t i = 0; i < 300; ++i) {
    ++expectedAsked;
    if (expectedAsked % 2 == 0) ++kept;
    if (expectedAsked % 3 == 0) ++i;  // the next one was deleted unasked
  }
  EXPECT_EQ(asked.size(), expectedAsked);
  EXPECT_EQ(here->ChildCount, kept);
  checkInvariants(t);
  Clipboard()->Clear();
}

// Children moved into another tree leave the source one by one; the free
// handler there deletes another child still to leave at every step. Each
// node is freed once, and every one arrived.
TEST(TreeHandlerLoops, MoveIntoAnotherTreeWhoseSourceFreeHandlerDeletesAnotherChildEachStep) {
  TOwnedTree source, target;
  PDataNode holder = source.Add(nullptr, "holder");
  for (int i = 0; i < 12; ++i) source.Add(holder, "child " + std::to_string(i));
  PDataNode into = target.Add(nullptr, "into");
  std::map<PDataNode, int> freed;
  source.OnFreeNode = [&](TBaseDataTree* t, PDataNode n) {
    source.Captions.erase(n);
    if (++freed[n] == 1 && n->Parent == holder && holder->FirstChild) t->DeleteNode(holder->FirstChild);
  };
  int moved = 0;
  source.OnNodeMoved = [&](TBaseDataTree*, PDataNode) { ++moved; };
  source.MoveTo(holder, into, amAddChildLast, true);
  EXPECT_EQ(holder->ChildCount, 0u);
  EXPECT_EQ(into->ChildCount, 12u);
  EXPECT_EQ(moved, 12);
  EXPECT_EQ(freed.size(), 12u);
  for (const auto& [node, times] : freed) EXPECT_EQ(times, 1) << "a node freed twice";
  checkInvariants(source);
  checkInvariants(target);
  source.OnFreeNode = nullptr;
}

// Each free handler deletes the next row: a chain of deletions asked for
// while a node goes, each carried out once the one before is gone. They
// follow one another in one loop, however long the chain, rather than each
// inside the last (which ran out of stack).
TEST(TreeHandlerLoops, AChainOfDeletionsFromFreeHandlersRunsInOneLoop) {
  TTestTree t{nullptr};
  const std::uint32_t count = 200000;
  t.SetRootNodeCount(count);
  std::uint32_t freed = 0;
  t.OnFreeNode = [&](TBaseDataTree* tree, PDataNode n) {
    ++freed;
    // The node that goes is out of the list by now: the next is the first.
    PDataNode next = tree->GetFirst();
    if (next && next != n) tree->DeleteNode(next);
  };
  t.DeleteNode(t.GetFirst());
  t.OnFreeNode = nullptr;
  EXPECT_EQ(freed, count);
  EXPECT_EQ(t.RootNodeCount(), 0u);
  checkInvariants(t);
}
