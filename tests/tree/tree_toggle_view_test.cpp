// What the window shows when a node opens or closes: the rows it opened
// scrolled into view (or the node kept in place when its children lie
// above it), and the rows below it sliding while it toggles, with owners
// whose handlers delete the node or destroy the tree meanwhile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tree/tree_input_util.h"

using namespace inputtest;

namespace {

class ToggleViewTest : public ::testing::Test {
protected:
  std::unique_ptr<TInputFixture> F = std::make_unique<TInputFixture>(240, 200);
  TInputTree* T = F->Tree;
  std::vector<PDataNode> Roots;
  int Row = 0;

  // Twelve dictionaries of Children headwords each; the window shows about
  // eleven rows.
  void fill(int children) {
    Roots = F->resultShaped(12, children);
    Row = int(T->DefaultNodeHeight());
    F->show();
  }
  int bottomOf(PDataNode n) { return T->GetDisplayRect(n, NoColumn, false).Bottom; }
  int topOf(PDataNode n) { return T->GetDisplayRect(n, NoColumn, false).Top; }
  void setAnimation(bool on, bool advanced = false) {
    TDTAnimationOptions options;
    if (on) options.Include(toAnimatedToggle);
    if (advanced) options.Include(toAdvancedAnimatedToggle);
    T->TreeOptions().SetAnimationOptions(options);
  }
  void setChildrenAbove() {
    T->TreeOptions().SetPaintOptions(T->TreeOptions().PaintOptions() + TDTPaintOptions{toChildrenAbove});
  }
};

TEST_F(ToggleViewTest, ExpandingNearTheBottomBringsTheNewRowsIntoView) {
  fill(3);
  ASSERT_TRUE(T->TreeOptions().AutoOptions().Contains(toAutoScrollOnExpand)) << "on by default";
  PDataNode node = Roots[9];
  ASSERT_LE(bottomOf(node), T->ClientHeight());
  T->ToggleNode(node);
  EXPECT_EQ(bottomOf(node->LastChild), T->ClientHeight()) << "the last headword is the window's last row";
  EXPECT_GE(topOf(node), 0);

  // Rows that are in view already need no scrolling.
  T->ToggleNode(Roots[8]);
  T->ToggleNode(Roots[8]);
  T->ToggleNode(node);
  T->ToggleNode(node);
  T->SetOffsetY(0);
  T->ToggleNode(Roots[0]);
  EXPECT_EQ(T->OffsetY(), 0);
  checkInvariants(*T);
}

TEST_F(ToggleViewTest, ANodeWithMoreRowsThanTheWindowGoesToTheTop) {
  fill(20);
  PDataNode node = Roots[6];
  T->ToggleNode(node);
  EXPECT_EQ(T->TopNode(), node);
  EXPECT_EQ(topOf(node), 0);
}

TEST_F(ToggleViewTest, NoScrollingWithoutTheOptionWhenCollapsingOrInFullExpand) {
  fill(3);
  T->TreeOptions().SetAutoOptions(T->TreeOptions().AutoOptions() - TDTAutoOptions{toAutoScrollOnExpand});
  T->ToggleNode(Roots[9]);
  EXPECT_EQ(T->OffsetY(), 0);
  T->TreeOptions().SetAutoOptions(T->TreeOptions().AutoOptions() + TDTAutoOptions{toAutoScrollOnExpand});
  T->ToggleNode(Roots[10]);
  const int offset = T->OffsetY();
  ASSERT_LT(offset, 0);
  T->ToggleNode(Roots[10]);
  EXPECT_EQ(T->OffsetY(), std::max(offset, T->ClientHeight() - int(T->RootNode()->TotalHeight - T->RootNode()->NodeHeight)));
  T->SetOffsetY(0);
  T->FullExpand();
  EXPECT_EQ(T->OffsetY(), 0) << "a full expand scrolls nowhere";
  T->FullCollapse();
  T->BeginUpdate();
  T->ToggleNode(Roots[9]);
  T->EndUpdate();
  EXPECT_EQ(T->OffsetY(), 0) << "nor does an expand inside an update bracket";
}

TEST_F(ToggleViewTest, ChildrenAboveTheirNodeComeIntoViewAboveIt) {
  fill(3);
  setChildrenAbove();
  T->SetOffsetY(-4 * Row);
  PDataNode node = Roots[7];
  const int before = topOf(node);
  T->ToggleNode(node);
  EXPECT_EQ(topOf(node->FirstChild), before) << "the new rows open where the node was";
  EXPECT_LE(bottomOf(node), T->ClientHeight());

  // Near the bottom the node stays the window's last row.
  T->SetOffsetY(0);
  PDataNode low = Roots[8];
  ASSERT_LT(topOf(low), T->ClientHeight());
  ASSERT_GT(bottomOf(low), T->ClientHeight() - 2 * Row);
  T->ToggleNode(low);
  EXPECT_EQ(bottomOf(low), T->ClientHeight());

  // Closing keeps the node where it is, and so does opening without the
  // scrolling option.
  int at = topOf(node);
  T->ToggleNode(node);
  EXPECT_EQ(topOf(node), at);
  T->TreeOptions().SetAutoOptions(T->TreeOptions().AutoOptions() - TDTAutoOptions{toAutoScrollOnExpand});
  at = topOf(node);
  T->ToggleNode(node);
  EXPECT_EQ(topOf(node), at);
  checkInvariants(*T);
}

// ---- the animation ----------------------------------------------------------------------

struct TFrames {
  int Painted = 0;                    // paints while the node toggles
  std::vector<PDataNode> Drawn;       // rows drawn in those paints
  bool ExpandedSeen = false;          // a paint saw the node open already
};

TEST_F(ToggleViewTest, TogglingSlidesTheRowsBelowAndSettlesOnTheNormalPicture) {
  fill(3);
  setAnimation(true);
  T->SetAnimationDuration(60);
  PDataNode node = Roots[2];
  TFrames frames;
  bool toggling = false;
  T->OnBeforePaint = [&](TBaseDataTree* t, TCanvas*) {
    // (The window is brought up to date first, outside the animation.)
    if (!toggling || !t->TreeStates().Contains(tsInAnimation)) return;
    ++frames.Painted;
    if (node->States.Contains(vsExpanded)) frames.ExpandedSeen = true;
  };
  T->OnDrawText = [&](TBaseDataTree*, TCanvas*, PDataNode n, TColumnIndex, const String&, const TRect&, bool&) {
    if (toggling && T->TreeStates().Contains(tsInAnimation)) frames.Drawn.push_back(n);
  };
  T->OnExpanding = [&](TBaseDataTree*, PDataNode, bool&) { toggling = true; };
  T->OnExpanded = [&](TBaseDataTree*, PDataNode) { toggling = false; };
  T->ToggleNode(node);
  EXPECT_GT(frames.Painted, 2) << "the rows below slide in steps";
  EXPECT_FALSE(frames.ExpandedSeen) << "the node opens after the slide";
  for (PDataNode n : frames.Drawn) EXPECT_NE(n->Parent, node) << "the new rows show only at the end";
  // The window's last row is pushed out of the window on the way.
  const PDataNode lastRow = Roots[10];
  EXPECT_NE(std::find(frames.Drawn.begin(), frames.Drawn.end(), lastRow), frames.Drawn.end());
  std::size_t lastSeen = 0;
  for (std::size_t i = 0; i < frames.Drawn.size(); ++i)
    if (frames.Drawn[i] == lastRow) lastSeen = i;
  EXPECT_LT(lastSeen + 1, frames.Drawn.size()) << "later frames no longer show it";
  EXPECT_FALSE(T->TreeStates().Contains(tsInAnimation));
  EXPECT_TRUE(node->States.Contains(vsExpanded));

  // Closing slides too.
  frames = {};
  T->OnCollapsing = [&](TBaseDataTree*, PDataNode, bool&) { toggling = true; };
  T->OnCollapsed = [&](TBaseDataTree*, PDataNode) { toggling = false; };
  T->ToggleNode(node);
  EXPECT_GT(frames.Painted, 2);
  EXPECT_FALSE(node->States.Contains(vsExpanded));
  checkInvariants(*T);

  // The advanced kind moves the node up when its rows do not fit below it.
  setAnimation(true, true);
  T->OnDrawText = nullptr;
  T->OnExpanding = [&](TBaseDataTree*, PDataNode, bool&) { toggling = true; };
  T->OnExpanded = [&](TBaseDataTree*, PDataNode) { toggling = false; };
  frames = {};
  T->ToggleNode(Roots[9]);
  EXPECT_GT(frames.Painted, 2);
  EXPECT_EQ(bottomOf(Roots[9]->LastChild), T->ClientHeight());
}

TEST_F(ToggleViewTest, NoAnimationWhereItIsNotWanted) {
  fill(3);
  int painted = 0;
  T->OnBeforePaint = [&](TBaseDataTree* t, TCanvas*) {
    if (t->TreeStates().Contains(tsInAnimation)) ++painted;
  };
  T->ToggleNode(Roots[0]);
  EXPECT_EQ(painted, 0) << "off unless the owner asks for it";
  T->ToggleNode(Roots[0]);
  setAnimation(true);
  T->SetAnimationDuration(30);
  T->FullExpand();
  T->FullCollapse();
  EXPECT_EQ(painted, 0) << "full expands and collapses do not animate";
  T->BeginUpdate();
  T->ToggleNode(Roots[1]);
  T->EndUpdate();
  EXPECT_EQ(painted, 0) << "nor does a toggle inside an update bracket";
  T->ToggleNode(Roots[1]);
  EXPECT_GT(painted, 0) << "a single collapse does";
  // A node above the window opens without a slide.
  setAnimation(false);
  T->ToggleNode(Roots[5]);
  T->ToggleNode(Roots[6]);
  setAnimation(true);
  T->SetOffsetY(-6 * Row);
  F->pump();
  ASSERT_LE(bottomOf(Roots[0]), 0);
  painted = 0;
  T->ToggleNode(Roots[0]);
  EXPECT_EQ(painted, 0);
}

// The state reports of the animation run owner code: it may delete the node
// or destroy the tree, at its start or at its end.
TEST_F(ToggleViewTest, HandlersMayDeleteTheNodeOrDestroyTheTreeWhileItSlides) {
  for (int which = 0; which < 4; ++which) {
    SCOPED_TRACE(which);
    if (!F) {
      F = std::make_unique<TInputFixture>(240, 200);
      T = F->Tree;
    }
    T->Clear();
    fill(3);
    setAnimation(true);
    T->SetAnimationDuration(30);
    PDataNode node = Roots[3];
    const bool atStart = which % 2 == 0;
    const bool destroy = which >= 2;
    bool fired = false;
    T->OnStateChange = [&, node, atStart, destroy](TBaseDataTree* t, TDataTreeStates enter, TDataTreeStates leave) {
      const bool now = atStart ? enter.Contains(tsInAnimation) : leave.Contains(tsInAnimation);
      if (!now || fired) return;
      fired = true;
      if (destroy)
        F.reset();
      else
        t->DeleteNode(node);
    };
    T->ToggleNode(node);
    EXPECT_TRUE(fired);
    if (destroy) {
      EXPECT_EQ(F, nullptr);
      TInputFixture::pump();
      continue;
    }
    EXPECT_EQ(T->RootNodeCount(), 11u);
    EXPECT_FALSE(T->TreeStates().Contains(tsInAnimation));
    EXPECT_FALSE(T->TreeStates().Contains(tsToggling));
    T->OnStateChange = nullptr;
    checkInvariants(*T);
    // The tree toggles and paints as before.
    T->ToggleNode(Roots[4]);
    EXPECT_TRUE(Roots[4]->States.Contains(vsExpanded));
    T->Repaint();
  }
}

}  // namespace
