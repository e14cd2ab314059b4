// Check states: tri-state propagation in both directions, radio groups,
// refusals, handlers that throw or write back, and the number of questions
// asked in a deep tree.
#include <stdexcept>

#include "tests/tree/tree_input_util.h"

using namespace inputtest;

namespace {

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

TEST(TreeCheckState, TriStateParentFollowsItsChildrenAndLeadsThem) {
  TCheckTree f;
  PDataNode parent = f.box(nullptr, ctTriStateCheckBox);
  PDataNode a = f.box(parent), b = f.box(parent);
  int checked = 0;
  f.Tree->OnChecked = [&](TBaseDataTree*, PDataNode) { ++checked; };

  f.Tree->SetCheckState(parent, csCheckedNormal);
  EXPECT_EQ(a->CheckState, csCheckedNormal);
  EXPECT_EQ(b->CheckState, csCheckedNormal);
  EXPECT_EQ(parent->CheckState, csCheckedNormal);

  f.Tree->SetCheckState(a, csUncheckedNormal);
  EXPECT_EQ(parent->CheckState, csMixedNormal) << "one of two children checked";
  f.Tree->SetCheckState(b, csUncheckedNormal);
  EXPECT_EQ(parent->CheckState, csUncheckedNormal);
  f.Tree->SetCheckState(a, csCheckedNormal);
  f.Tree->SetCheckState(b, csCheckedNormal);
  EXPECT_EQ(parent->CheckState, csCheckedNormal);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsCheckPropagation));
  EXPECT_GT(checked, 0);
}

TEST(TreeCheckState, PropagationAsksEachLevelOnce) {
  // A chain of tri-state boxes, eight deep: checking the leaf asks about
  // each ancestor once, not once per level below it.
  TCheckTree f;
  std::vector<PDataNode> chain;
  PDataNode parent = nullptr;
  for (int i = 0; i < 8; ++i) {
    parent = f.box(parent, ctTriStateCheckBox);
    chain.push_back(parent);
  }
  PDataNode leaf = f.box(parent);
  int asked = 0, told = 0;
  f.Tree->OnChecking = [&](TBaseDataTree*, PDataNode, TCheckState&, bool&) { ++asked; };
  f.Tree->OnChecked = [&](TBaseDataTree*, PDataNode) { ++told; };
  f.Tree->SetCheckState(leaf, csCheckedNormal);
  EXPECT_EQ(asked, 9) << "the leaf and each of the 8 ancestors";
  EXPECT_EQ(told, 9);
  for (PDataNode n : chain) EXPECT_EQ(n->CheckState, csCheckedNormal);
}

TEST(TreeCheckState, RefusalsKeepTheNodeAndStillReportTheChildsOwnChange) {
  TCheckTree f;
  PDataNode parent = f.box(nullptr, ctTriStateCheckBox);
  PDataNode a = f.box(parent), b = f.box(parent);
  // Checking the parent: the handler forbids one child.
  f.Tree->OnChecking = [&](TBaseDataTree*, PDataNode n, TCheckState&, bool& allowed) { allowed = n != b; };
  f.Tree->SetCheckState(parent, csCheckedNormal);
  EXPECT_EQ(a->CheckState, csCheckedNormal);
  EXPECT_EQ(b->CheckState, csUncheckedNormal);
  EXPECT_EQ(parent->CheckState, csMixedNormal);

  // The parent refuses to follow its child: the child's change still counts.
  std::vector<PDataNode> reported;
  f.Tree->OnChecking = [&](TBaseDataTree*, PDataNode n, TCheckState&, bool& allowed) { allowed = n != parent; };
  f.Tree->OnChecked = [&](TBaseDataTree*, PDataNode n) { reported.push_back(n); };
  f.Tree->SetCheckState(b, csCheckedNormal);
  EXPECT_EQ(b->CheckState, csCheckedNormal);
  EXPECT_EQ(parent->CheckState, csMixedNormal);
  EXPECT_EQ(reported, std::vector<PDataNode>{b});
}

TEST(TreeCheckState, DisabledSameStateRadioAndReentrantWrites) {
  TCheckTree f;
  int asked = 0;
  f.Tree->OnChecking = [&](TBaseDataTree*, PDataNode, TCheckState&, bool&) { ++asked; };
  PDataNode disabled = f.box(nullptr);
  disabled->States.Include(vsDisabled);
  f.Tree->SetCheckState(disabled, csCheckedNormal);
  PDataNode plain = f.box(nullptr);
  f.Tree->SetCheckState(plain, csUncheckedNormal);
  EXPECT_EQ(asked, 0) << "disabled nodes and unchanged states ask nothing";
  EXPECT_EQ(disabled->CheckState, csUncheckedNormal);

  PDataNode group = f.add(nullptr, "group");
  PDataNode r1 = f.box(group, ctRadioButton), r2 = f.box(group, ctRadioButton), r3 = f.box(group, ctRadioButton);
  f.Tree->SetCheckState(r1, csCheckedNormal);
  asked = 0;
  f.Tree->SetCheckState(r3, csCheckedNormal);
  EXPECT_EQ(asked, 1) << "siblings are unchecked without being asked";
  EXPECT_EQ(r1->CheckState, csUncheckedNormal);
  EXPECT_EQ(r2->CheckState, csUncheckedNormal);
  EXPECT_EQ(r3->CheckState, csCheckedNormal);

  // A handler that writes a node in the middle of that node's own change
  // changes nothing.
  PDataNode top = f.box(nullptr, ctTriStateCheckBox);
  PDataNode child = f.box(top);
  f.Tree->OnChecking = [&](TBaseDataTree* t, PDataNode n, TCheckState&, bool&) {
    if (n == child) t->SetCheckState(top, csUncheckedNormal);
  };
  f.Tree->SetCheckState(top, csCheckedNormal);
  EXPECT_EQ(top->CheckState, csCheckedNormal);
  EXPECT_EQ(child->CheckState, csCheckedNormal);
}

TEST(TreeCheckState, AThrowingHandlerLeavesNoPropagationBehind) {
  TCheckTree f;
  PDataNode parent = f.box(nullptr, ctTriStateCheckBox);
  PDataNode a = f.box(parent), b = f.box(parent);
  bool fail = true;
  f.Tree->OnChecking = [&](TBaseDataTree*, PDataNode n, TCheckState&, bool&) {
    if (fail && n == parent) throw std::runtime_error("owner failed");
  };
  EXPECT_THROW(f.Tree->SetCheckState(a, csCheckedNormal), std::runtime_error);
  EXPECT_FALSE(a->States.Contains(vsChecking));
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsCheckPropagation));
  fail = false;
  f.Tree->SetCheckState(b, csCheckedNormal);
  EXPECT_EQ(parent->CheckState, csCheckedNormal) << "the next change propagates normally";
}
