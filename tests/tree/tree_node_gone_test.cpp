// An operation on a node whose handler deletes that node, and may then
// fail: every operation, every handler, with and without the failure. The
// operation ends, closes whatever it opened, and the owner's failure (never
// anything of the tree's own) reaches the caller.
#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <string>
#include <vector>

#include "platform/gui/forms.h"
#include "tests/tree/tree_test_util.h"

namespace {

struct TOwnerFailed : std::runtime_error {
  TOwnerFailed() : std::runtime_error("the owner failed") {}
};

// Five rows of four children each; the second row is the one worked on.
std::unique_ptr<TTestTree> smallTree() {
  auto t = std::make_unique<TTestTree>(nullptr);
  t->HandleNeeded();
  auto& o = t->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() + TDTMiscOptions{toCheckSupport});
  o.SetAutoOptions(o.AutoOptions() + TDTAutoOptions{toAutoTristateTracking});
  t->SetRootNodeCount(5);
  for (PDataNode n = t->GetFirstNoInit(); n; n = n->NextSibling) {
    t->SetChildCount(n, 4);
    n->CheckType = ctTriStateCheckBox;
    for (PDataNode c = n->FirstChild; c; c = c->NextSibling) c->CheckType = ctCheckBox;
  }
  return t;
}

struct TOperation {
  const char* Name;
  std::function<PDataNode(TTestTree&)> Prepare;  // the node worked on
  std::function<void(TTestTree&, PDataNode)> Run;
};

const std::vector<TOperation>& operations() {
  static const std::vector<TOperation> ops = {
      {"expand", [](TTestTree& t) { return t.GetFirstNoInit()->NextSibling; },
       [](TTestTree& t, PDataNode n) { t.ToggleNode(n); }},
      {"collapse",
       [](TTestTree& t) {
         PDataNode n = t.GetFirstNoInit()->NextSibling;
         t.SetExpanded(n, true);
         return n;
       },
       [](TTestTree& t, PDataNode n) { t.ToggleNode(n); }},
      {"full expand", [](TTestTree& t) { return t.GetFirstNoInit()->NextSibling; },
       [](TTestTree& t, PDataNode n) { t.FullExpand(n); }},
      {"full collapse",
       [](TTestTree& t) {
         PDataNode n = t.GetFirstNoInit()->NextSibling;
         t.SetExpanded(n, true);
         return n;
       },
       [](TTestTree& t, PDataNode n) { t.FullCollapse(n); }},
      {"shrink", [](TTestTree& t) { return t.GetFirstNoInit()->NextSibling; },
       [](TTestTree& t, PDataNode n) { t.SetChildCount(n, 1); }},
      {"check a child", [](TTestTree& t) { return t.GetFirstNoInit()->NextSibling->FirstChild; },
       [](TTestTree& t, PDataNode n) { t.SetCheckState(n, csCheckedNormal); }},
  };
  return ops;
}

// Hooks every handler that may run inside the operations; the one chosen
// deletes the node (or its parent) the first time it runs, then fails if
// asked to.
struct THandlers {
  int Chosen;
  bool Parent;
  bool Throws;
  PDataNode Node;
  bool Fired = false;
  void act(TBaseDataTree* t, int Which) {
    if (Which != Chosen || Fired) return;
    Fired = true;
    t->DeleteNode(Parent && Node->Parent != t->RootNode() ? Node->Parent : Node);
    if (Throws) throw TOwnerFailed();
  }
  static constexpr int Count = 7;
  void hook(TTestTree& t) {
    t.OnUpdating = [this](TBaseDataTree* s, TDTUpdateState) { act(s, 0); };
    t.OnStateChange = [this](TBaseDataTree* s, TDataTreeStates, TDataTreeStates) { act(s, 1); };
    t.OnExpanding = [this](TBaseDataTree* s, PDataNode, bool&) { act(s, 2); };
    t.OnExpanded = [this](TBaseDataTree* s, PDataNode) { act(s, 3); };
    t.OnCollapsing = [this](TBaseDataTree* s, PDataNode, bool&) { act(s, 4); };
    t.OnChecking = [this](TBaseDataTree* s, PDataNode, TCheckState&, bool&) { act(s, 5); };
    t.OnFocusChanged = [this](TBaseDataTree* s, PDataNode, TColumnIndex) { act(s, 6); };
  }
};

TEST(TreeNodeGone, AnOperationWhoseNodeAHandlerDeletesClosesWhatItOpenedAndPassesTheOwnersFailure) {
  for (const TOperation& op : operations())
    for (int chosen = 0; chosen < THandlers::Count; ++chosen)
      for (bool parent : {false, true})
        for (bool throws : {false, true}) {
          SCOPED_TRACE(std::string(op.Name) + ", handler " + std::to_string(chosen) + (parent ? ", parent" : "") +
                       (throws ? ", failing" : ""));
          auto t = smallTree();
          PDataNode node = op.Prepare(*t);
          t->SetFocusedNode(node);
          THandlers h{chosen, parent, throws, node};
          h.hook(*t);
          bool failed = false;
          try {
            op.Run(*t, node);
          } catch (const TOwnerFailed&) {
            failed = true;
          }
          EXPECT_EQ(failed, h.Fired && throws) << "the owner's failure was lost or made up";
          EXPECT_EQ(t->UpdateCount(), 0u);
          const TDataTreeStates open = t->TreeStates() * TDataTreeStates{tsExpanding, tsCollapsing, tsToggling,
                                                                         tsUpdating, tsCheckPropagation};
          EXPECT_TRUE(open.Empty()) << "a state was left open";
          h.Chosen = -1;
          checkInvariants(*t);
        }
}

}  // namespace

namespace {

// A free handler that adds below the node it is told of, moves a row into
// it or moves it back: the node is out of the tree already, so nothing
// changes, and the counts stay those of a recount.
TEST(TreeNodeGone, AFreeHandlerCannotHangRowsOnItsOwnNodeOrBringItBack) {
  const std::vector<std::function<void(TBaseDataTree*, PDataNode)>> actions = {
      [](TBaseDataTree* t, PDataNode n) { t->AddChild(n); },
      [](TBaseDataTree* t, PDataNode n) { t->SetChildCount(n, 2); },
      [](TBaseDataTree* t, PDataNode n) { t->MoveTo(t->GetFirstNoInit(), n, amAddChildLast, false); },
      [](TBaseDataTree* t, PDataNode n) { t->CopyTo(t->GetFirstNoInit(), n, amAddChildLast, false); },
      [](TBaseDataTree* t, PDataNode n) { t->MoveTo(n, t->GetFirstNoInit(), amAddChildLast, false); },
  };
  for (std::size_t a = 0; a < actions.size(); ++a)
    for (bool leaf : {true, false}) {
      SCOPED_TRACE("action " + std::to_string(a) + (leaf ? ", a leaf" : ", a row with children"));
      auto t = smallTree();
      // Initialised rows are told to the free handler.
      for (PDataNode n = t->GetFirst(); n; n = t->GetNext(n)) {
      }
      PDataNode doomed = leaf ? t->RootNode()->LastChild->LastChild : t->RootNode()->LastChild;
      int freed = 0;
      t->OnFreeNode = [&](TBaseDataTree* s, PDataNode n) {
        ++freed;
        if (n == doomed) actions[a](s, n);
      };
      const std::uint32_t before = t->TotalCount();
      t->DeleteNode(doomed);
      EXPECT_EQ(t->TotalCount(), before - (leaf ? 1 : 5));
      EXPECT_EQ(freed, leaf ? 1 : 5);
      t->OnFreeNode = nullptr;
      checkInvariants(*t);
    }
}

}  // namespace

namespace {

// The program asked for a row's children deletes one that has children of
// its own: that one goes whole, once the message loop runs, never leaving
// its children behind on a freed parent.
TEST(TreeNodeGone, AChildWithChildrenDeletedWhileItsParentIsAskedForGoesWhole) {
  auto t = smallTree();
  PDataNode parent = t->GetFirstNoInit();
  PDataNode child = parent->FirstChild;
  t->SetChildCount(child, 3);
  bool asked = false;
  t->OnInitChildren = [&](TBaseDataTree* s, PDataNode n, std::uint32_t& count) {
    count = n->ChildCount;
    if (n != parent || asked) return;
    asked = true;
    s->DeleteNode(child);
  };
  t->ReinitChildren(parent, false);
  EXPECT_TRUE(asked);
  for (int i = 0; i < 20 && t->PendingDeletionCount() > 0; ++i) Application->ProcessMessages();
  EXPECT_EQ(t->PendingDeletionCount(), 0u);
  EXPECT_EQ(parent->ChildCount, 3u);
  checkInvariants(*t);
}

}  // namespace

// Every entry asks how many failures pass (a raise inside a destructor that
// runs while one unwinds must not throw): the count read for it is the run
// time's own, on any thread.
TEST(TreeNodeGone, TheFailuresCountedPassingAreTheRunTimesOwn) {
  struct TProbe {
    ~TProbe() { EXPECT_EQ(failuresPassing(), std::uncaught_exceptions()); }
  };
  auto check = [] {
    EXPECT_EQ(failuresPassing(), 0);
    try {
      const TProbe probe;
      throw 1;
    } catch (int) {
      EXPECT_EQ(failuresPassing(), 0);
    }
  };
  check();
  std::thread(check).join();
}

namespace {

// An owner that does not know its data size yet answers none, and is asked
// again for every node made. Its handler may delete rows meanwhile: the row
// that gets the new children, its parent, the row after it, or all rows.
// Whatever it deleted, at whichever question, the counts are a recount's.
TEST(TreeNodeGone, RowsTheDataSizeHandlerDeletesWhileChildrenAreMadeAreNotWorkedOnAgain) {
  struct TMaking {
    const char* Name;
    std::function<void(TTestTree&, PDataNode)> Run;
  };
  const std::vector<TMaking> makings = {
      {"add a child", [](TTestTree& t, PDataNode n) { t.AddChild(n); }},
      {"grow the children", [](TTestTree& t, PDataNode n) { t.SetChildCount(n, n->ChildCount + 3); }},
      {"grow the top rows", [](TTestTree& t, PDataNode) { t.SetRootNodeCount(t.RootNode()->ChildCount + 3); }},
  };
  enum TTarget { tRow, tParent, tNext, tAll, tCount };
  const char* const targetNames[] = {"the row", "its parent", "the row after it", "all rows"};
  // Runs the making on a tree of its own, the handler deleting at the At-th
  // question (none when 0); answers how many questions came.
  auto run = [&](const TMaking& making, int target, int at) {
    auto t = smallTree();
    // The second row's first child: a row with a parent and a row after it.
    PDataNode row = t->GetFirstNoInit()->NextSibling->FirstChild;
    t->SetExpanded(row->Parent, true);
    int asked = 0;
    t->OnGetNodeDataSize = [&](TBaseDataTree* s, int& size) {
      size = -1;
      if (++asked != at) return;
      switch (target) {
        case tRow: s->DeleteNode(row); break;
        case tParent: s->DeleteNode(row->Parent); break;
        case tNext: s->DeleteNode(row->NextSibling); break;
        default: s->Clear(); break;
      }
    };
    making.Run(*t, row);
    t->OnGetNodeDataSize = nullptr;
    // Deletions that waited for the message loop go there.
    EXPECT_TRUE(waitFor([&] { return t->PendingDeletionCount() == 0; }));
    checkInvariants(*t);
    return asked;
  };
  for (const TMaking& making : makings) {
    const int questions = run(making, tRow, 0);
    EXPECT_GT(questions, 0) << making.Name;
    for (int target = 0; target < tCount; ++target)
      for (int at = 1; at <= questions; ++at) {
        SCOPED_TRACE(std::string(making.Name) + ", deleting " + targetNames[target] + " at question " +
                     std::to_string(at));
        EXPECT_EQ(run(making, target, at), questions);
      }
  }
}

}  // namespace
