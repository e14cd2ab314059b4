#pragma once
// Helpers shared by the tree tests: a recount of every invariant the node
// store keeps incrementally, and reference orders of the shown rows.
#include <gtest/gtest.h>

#include <functional>
#include <unordered_map>
#include <vector>

#include "tree/base_tree.h"

// Exposes the protected parts the tests look at.
class TTestTree : public TBaseDataTree {
public:
  using TBaseDataTree::TBaseDataTree;
  using TBaseDataTree::Animate;
  using TBaseDataTree::Change;
  using TBaseDataTree::StructureChange;
  using TBaseDataTree::InvalidateCache;
  using TBaseDataTree::InitNode;
  using TBaseDataTree::nextVisibleSiblingKnown;
  using TBaseDataTree::nextPaintedRow;
};

inline bool shown(TBaseDataTree& t, PDataNode n) {
  if (!n->States.Contains(vsVisible)) return false;
  for (PDataNode p = n->Parent; p != t.RootNode(); p = p->Parent)
    if (!p->States.Contains(vsVisible) || !p->States.Contains(vsExpanded)) return false;
  return true;
}

// Checks every stored count against a recount; returns the subtree's count.
inline std::uint32_t checkSubtree(TBaseDataTree& t, PDataNode n, std::uint32_t& visible) {
  std::uint32_t total = 1;
  std::uint64_t height = n->NodeHeight;
  std::uint32_t index = 0;
  PDataNode prev = nullptr;
  for (PDataNode c = n->FirstChild; c; c = c->NextSibling) {
    EXPECT_EQ(c->Parent, n);
    EXPECT_EQ(c->PrevSibling, prev);
    EXPECT_EQ(c->Index, index) << "sibling indices must run 0, 1, 2...";
    ++index;
    prev = c;
    if (shown(t, c)) ++visible;
    total += checkSubtree(t, c, visible);
    if (c->States.Contains(vsVisible) && n->States.Contains(vsExpanded)) height += c->TotalHeight;
  }
  EXPECT_EQ(n->LastChild, prev);
  EXPECT_EQ(n->ChildCount, index);
  EXPECT_EQ(n->TotalCount, total);
  if (n == t.RootNode())
    EXPECT_GE(n->TotalHeight, height);
  else
    EXPECT_EQ(n->TotalHeight, height);
  return total;
}

// The runs of hidden siblings the tree has noted, against a recount: the
// first node of every run maps to the last and back, and nothing else.
inline void checkHiddenRuns(TBaseDataTree& t) {
  std::unordered_map<PDataNode, PDataNode> expected;
  auto note = [&](PDataNode parent) {
    for (PDataNode c = parent->FirstChild; c; c = c->NextSibling) {
      if (c->States.Contains(vsVisible)) continue;
      PDataNode first = c;
      while (c->NextSibling && !c->NextSibling->States.Contains(vsVisible)) c = c->NextSibling;
      expected[first] = c;
      expected[c] = first;
    }
  };
  note(t.RootNode());
  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n)) note(n);
  const auto& noted = t.hiddenRunEnds();
  EXPECT_EQ(noted.size(), expected.size()) << "runs of hidden siblings noted";
  for (const auto& [end, other] : expected) {
    auto it = noted.find(end);
    if (it == noted.end()) {
      ADD_FAILURE() << "a run of hidden siblings is not noted at one of its ends";
      return;
    }
    EXPECT_EQ(it->second, other) << "a run of hidden siblings noted with the wrong other end";
  }
}

inline void checkInvariants(TBaseDataTree& t) {
  std::uint32_t visible = 0;
  std::uint32_t total = checkSubtree(t, t.RootNode(), visible);
  EXPECT_EQ(t.TotalCount(), total - 1);
  EXPECT_EQ(t.VisibleCount(), visible);
  checkHiddenRuns(t);
}

// Shown rows in display order, by recursion over the links.
inline void referenceRows(TBaseDataTree& t, PDataNode n, bool above, std::vector<PDataNode>& out) {
  for (PDataNode c = n->FirstChild; c; c = c->NextSibling) {
    if (!c->States.Contains(vsVisible)) continue;
    if (!above) out.push_back(c);
    if (c->States.Contains(vsExpanded)) referenceRows(t, c, above, out);
    if (above) out.push_back(c);
  }
  (void)t;
}

inline std::vector<PDataNode> allNodes(TBaseDataTree& t) {
  std::vector<PDataNode> out;
  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n)) out.push_back(n);
  return out;
}

// Pumps the message loop until the condition holds or the time runs out.
bool waitFor(const std::function<bool()>& condition, int milliseconds = 5000);
