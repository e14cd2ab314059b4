// The program's measuring calls (the height of a cell's text, the widest
// row) initialise the rows they measure: the handlers that initialisation
// sets off (the node's own, the expansion it asks for, the children it
// makes) may delete the row measured, its parent or the whole tree.
#include <gtest/gtest.h>

#include <memory>

#include "platform/graphics/bitmap.h"
#include "tests/tree/tree_input_util.h"
#include "tests/tree/tree_test_util.h"
#include "tree/string_tree.h"

using namespace inputtest;

namespace {

enum TMeasure { TextHeight, WidestRow };
const char* const kMeasureNames[] = {"MeasureTextHeight", "GetMaxRightExtend"};

// A shown parent row whose three children are not initialised yet; the
// middle one is measured.
struct TLazyRows {
  TDataStringTree* Tree = new TDataStringTree(nullptr);
  std::weak_ptr<const bool> Life = Tree->LifeToken();
  PDataNode Parent = nullptr, Measured = nullptr;

  TLazyRows() {
    Tree->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) { text = u"a row"; };
    Tree->OnInitChildren = [](TBaseDataTree*, PDataNode, std::uint32_t& count) { count = 2; };
    Parent = Tree->AddChild(nullptr);
    Tree->AddChild(nullptr);
    Tree->SetChildCount(Parent, 3);
    Tree->SetExpanded(Parent, true);
    Measured = Parent->FirstChild->NextSibling;
  }
  ~TLazyRows() {
    if (!Life.expired()) delete Tree;
  }
  TLazyRows(const TLazyRows&) = delete;
  TLazyRows& operator=(const TLazyRows&) = delete;

  bool alive() const { return !Life.expired(); }
  bool has(PDataNode n) const {
    for (PDataNode run = Tree->GetFirstNoInit(); run; run = Tree->GetNextNoInit(run))
      if (run == n) return true;
    return false;
  }
  int measure(TMeasure m) {
    TBitmap bitmap(16, 16);
    if (m == TextHeight) return Tree->MeasureTextHeight(bitmap.Canvas(), Measured, NoColumn, String());
    return Tree->GetMaxRightExtend();
  }
};

}  // namespace

// The node's init handler destroys the tree: the call answers 0 and throws
// nothing. Before, the cell's text was asked for (and the walk went on) on
// the freed tree.
TEST(TreeGoneMeasure, MeasuringCallsWhoseInitHandlerDestroysTheTreeAnswerNothing) {
  for (TMeasure m : {TextHeight, WidestRow}) {
    SCOPED_TRACE(kMeasureNames[m]);
    TLazyRows f;
    bool armed = true;
    f.Tree->OnInitNode = [&](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates&) {
      if (!armed || n != f.Measured) return;
      armed = false;
      delete t;
    };
    int answer = -1;
    EXPECT_NO_THROW(answer = f.measure(m));
    EXPECT_FALSE(armed) << "the handler was not asked about the row";
    EXPECT_FALSE(f.alive());
    EXPECT_EQ(answer, 0);
  }
}

// The node's initialisation asks for its children (and to show them): the
// handlers of the expansion and of the children delete the node measured,
// its parent or the tree. Rows deleted then go when the message loop runs
// next, as from the init handler itself; a tree destroyed ends the call.
TEST(TreeGoneMeasure, MeasuringCallsWhoseInitialisationHandlersDeleteTheRowOrTheTree) {
  enum TWhere { Expanding, Expanded, Children };
  const char* const whereNames[] = {"OnExpanding", "OnExpanded", "OnInitChildren"};
  enum TWhat { Itself, ItsParent, TheTree };
  const char* const whatNames[] = {"the row", "its parent", "the tree"};
  for (TMeasure m : {TextHeight, WidestRow})
    for (TWhere where : {Expanding, Expanded, Children})
      for (TWhat what : {Itself, ItsParent, TheTree}) {
        SCOPED_TRACE(testing::Message() << kMeasureNames[m] << ", " << whereNames[where] << " deletes "
                                        << whatNames[what]);
        TLazyRows f;
        bool armed = true;
        auto act = [&](TBaseDataTree* t, PDataNode n, TWhere here) {
          if (!armed || here != where || n != f.Measured) return;
          armed = false;
          if (what == TheTree)
            delete t;
          else
            t->DeleteNode(what == Itself ? n : n->Parent);
        };
        f.Tree->OnInitNode = [&](TBaseDataTree*, PDataNode, PDataNode n, TDataNodeInitStates& states) {
          if (n != f.Measured) return;
          states.Include(ivsHasChildren);
          states.Include(ivsExpanded);
        };
        f.Tree->OnExpanding = [&](TBaseDataTree* t, PDataNode n, bool&) { act(t, n, Expanding); };
        f.Tree->OnExpanded = [&](TBaseDataTree* t, PDataNode n) { act(t, n, Expanded); };
        f.Tree->OnInitChildren = [&](TBaseDataTree* t, PDataNode n, std::uint32_t& count) {
          count = 2;
          act(t, n, Children);
        };
        int answer = -1;
        EXPECT_NO_THROW(answer = f.measure(m));
        EXPECT_FALSE(armed) << "the handler was not asked about the row";
        if (what == TheTree) {
          EXPECT_FALSE(f.alive());
          EXPECT_EQ(answer, 0);
          continue;
        }
        ASSERT_TRUE(f.alive());
        EXPECT_GT(answer, 0);
        const PDataNode deleted = what == Itself ? f.Measured : f.Parent;
        EXPECT_TRUE(f.has(deleted)) << "the deletion did not wait for the message loop";
        EXPECT_GT(f.Tree->PendingDeletionCount(), 0u);
        TInputFixture::pump();
        EXPECT_FALSE(f.has(deleted));
        checkInvariants(*f.Tree);
      }
}

// The same handlers reached from a walk the program makes itself: every
// navigation call is an entry, and one whose handler destroyed the tree
// answers nil, touching nothing of it.
TEST(TreeGoneMeasure, AProgramsWalkWhoseInitialisationDestroysTheTreeEndsTheWalk) {
  enum TWhere { Init, Expanding, Expanded, Children };
  const char* const whereNames[] = {"OnInitNode", "OnExpanding", "OnExpanded", "OnInitChildren"};
  for (TWhere where : {Init, Expanding, Expanded, Children}) {
    SCOPED_TRACE(whereNames[where]);
    TLazyRows f;
    bool armed = true;
    auto act = [&](TBaseDataTree* t, PDataNode n, TWhere here) {
      if (!armed || here != where || n != f.Measured) return;
      armed = false;
      delete t;
    };
    f.Tree->OnInitNode = [&](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates& states) {
      if (n != f.Measured) return;
      states.Include(ivsHasChildren);
      states.Include(ivsExpanded);
      act(t, n, Init);
    };
    f.Tree->OnExpanding = [&](TBaseDataTree* t, PDataNode n, bool&) { act(t, n, Expanding); };
    f.Tree->OnExpanded = [&](TBaseDataTree* t, PDataNode n) { act(t, n, Expanded); };
    f.Tree->OnInitChildren = [&](TBaseDataTree* t, PDataNode n, std::uint32_t& count) {
      count = 2;
      act(t, n, Children);
    };
    // The walk's next step answers nil: the program's loop ends there.
    int walked = 0;
    for (PDataNode n = f.Tree->GetFirst(); n; n = f.Tree->GetNext(n)) ++walked;
    EXPECT_FALSE(armed) << "the handler was not asked about the row";
    EXPECT_FALSE(f.alive());
    EXPECT_EQ(walked, 2);
  }
}
