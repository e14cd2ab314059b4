// Walking the tree. The initialising variants make sure every node they
// return has been initialised and create children they have to look into;
// the NoInit variants touch nothing and are what the position cache uses.
#include "tree/base_tree.h"

namespace {
inline bool isVisible(PDataNode n) { return n->States.Contains(vsVisible); }
inline bool isExpanded(PDataNode n) { return n->States.Contains(vsExpanded); }
// A run of hidden siblings longer than this is remembered by the painter.
constexpr int LongHiddenRun = 64;
// Runs remembered per parent (each lookup reads them all).
constexpr std::size_t MaxSkips = 64;
}  // namespace

bool TBaseDataTree::FullyVisible(PDataNode Node) const {
  TAMRIX_ASSERT(Node != nullptr, "Invalid parameter.");
  if (!isVisible(Node)) return false;
  for (PDataNode run = Node; run != FRoot;) {
    PDataNode parent = run->Parent;
    if (!parent) return false;
    if (parent != FRoot && !(isExpanded(parent) && isVisible(parent))) return false;
    run = parent;
  }
  return true;
}

TBaseDataTree::TVisibleEnds& TBaseDataTree::visibleEnds(PDataNode Parent) const {
  // A tree that paints many parents keeps only the recent ones.
  if (FVisibleEnds.size() > 65536) FVisibleEnds.clear();
  auto [entry, added] = FVisibleEnds.try_emplace(Parent);
  if (added) {
    for (PDataNode run = Parent->FirstChild; run && !entry->second.First; run = run->NextSibling)
      if (isVisible(run)) entry->second.First = run;
    for (PDataNode run = Parent->LastChild; run && !entry->second.Last; run = run->PrevSibling)
      if (isVisible(run)) entry->second.Last = run;
  }
  return entry->second;
}

std::pair<PDataNode, PDataNode>* TBaseDataTree::TVisibleEnds::skipFrom(PDataNode From) {
  for (auto& skip : Skips)
    if (skip.first == From) return &skip;
  return nullptr;
}

std::pair<PDataNode, PDataNode>* TBaseDataTree::TVisibleEnds::skipTo(PDataNode To) {
  for (auto& skip : Skips)
    if (skip.second == To) return &skip;
  return nullptr;
}

void TBaseDataTree::visibleChildShown(PDataNode Node) {
  if (FVisibleEnds.empty()) return;
  auto it = FVisibleEnds.find(Node->Parent);
  if (it == FVisibleEnds.end()) return;
  TVisibleEnds& e = it->second;
  if (!e.First) {
    e.First = e.Last = Node;
    return;
  }
  // The nearest visible sibling on either side settles both ends: walk both
  // ways at once so that only the shorter hidden run beside Node is walked.
  // A known run Node falls into is split in two.
  auto split = [&](std::pair<PDataNode, PDataNode>* run) {
    if (!run) return;
    const PDataNode after = run->second;
    run->second = Node;
    if (e.Skips.size() < MaxSkips) e.Skips.emplace_back(Node, after);
  };
  PDataNode back = Node->PrevSibling;
  PDataNode ahead = Node->NextSibling;
  for (;;) {
    if (!back) {
      e.First = Node;
      return;
    }
    if (isVisible(back)) {
      if (back == e.Last) e.Last = Node;
      split(e.skipFrom(back));
      return;
    }
    if (!ahead) {
      e.Last = Node;
      return;
    }
    if (isVisible(ahead)) {
      if (ahead == e.First) e.First = Node;
      split(e.skipTo(ahead));
      return;
    }
    back = back->PrevSibling;
    ahead = ahead->NextSibling;
  }
}

void TBaseDataTree::visibleChildGoing(PDataNode Node) {
  if (FVisibleEnds.empty() || !Node->Parent) return;
  auto it = FVisibleEnds.find(Node->Parent);
  if (it == FVisibleEnds.end()) return;
  TVisibleEnds& e = it->second;
  // The runs before and after Node become one. Where only one of them is
  // known to be long, the other is looked for a short way.
  auto before = e.skipTo(Node);
  auto after = e.skipFrom(Node);
  auto nearVisible = [](PDataNode run, bool forward) -> PDataNode {
    for (int steps = 0; run && steps <= LongHiddenRun; ++steps, run = forward ? run->NextSibling : run->PrevSibling)
      if (isVisible(run)) return run;
    return nullptr;
  };
  auto drop = [&](std::pair<PDataNode, PDataNode>* skip) {
    *skip = e.Skips.back();
    e.Skips.pop_back();
  };
  if (before && after) {
    before->second = after->second;
    drop(after);
  } else if (before) {
    if (PDataNode next = nearVisible(Node->NextSibling, true))
      before->second = next;
    else
      drop(before);
  } else if (after) {
    if (PDataNode previous = nearVisible(Node->PrevSibling, false))
      after->first = previous;
    else
      drop(after);
  }
  if (Node != e.First && Node != e.Last) return;
  if (Node == e.First && Node == e.Last) {
    e.First = e.Last = nullptr;
    return;
  }
  // There is another visible child on the far side, so the walk ends at the
  // nearest one.
  const bool first = Node == e.First;
  PDataNode run = first ? Node->NextSibling : Node->PrevSibling;
  while (run && !isVisible(run)) run = first ? run->NextSibling : run->PrevSibling;
  if (!run) {
    FVisibleEnds.erase(it);  // cannot happen while the entry is right; ask again
    return;
  }
  (first ? e.First : e.Last) = run;
}

PDataNode TBaseDataTree::nextVisibleSiblingKnown(PDataNode Node) const {
  TVisibleEnds& e = visibleEnds(Node->Parent);
  if (Node == e.Last || !e.Last) return nullptr;
  for (const auto& [from, to] : e.Skips)
    if (from == Node) return to;
  int steps = 0;
  PDataNode run = Node->NextSibling;
  for (; run && !isVisible(run); run = run->NextSibling) ++steps;
  if (steps > LongHiddenRun && e.Skips.size() < MaxSkips) e.Skips.emplace_back(Node, run);
  return run;
}

PDataNode TBaseDataTree::nextPaintedRow(PDataNode Node) const {
  if (childrenAbove()) return GetNextVisibleNoInit(Node, true);
  if (isExpanded(Node) && Node->FirstChild)
    if (PDataNode child = visibleEnds(Node).First) return child;
  for (PDataNode run = Node; run && run != FRoot; run = run->Parent)
    if (PDataNode next = nextVisibleSiblingKnown(run)) return next;
  return nullptr;
}

// A visible node has a visible sibling after it exactly when it is not the
// last visible child; only hidden nodes need the walk.
bool TBaseDataTree::HasVisibleNextSibling(PDataNode Node) const {
  if (!Node || Node == FRoot) return false;
  if (isVisible(Node)) return visibleEnds(Node->Parent).Last != Node;
  for (PDataNode run = Node->NextSibling; run; run = run->NextSibling)
    if (isVisible(run)) return true;
  return false;
}

bool TBaseDataTree::HasVisiblePreviousSibling(PDataNode Node) const {
  if (!Node || Node == FRoot) return false;
  if (isVisible(Node)) return visibleEnds(Node->Parent).First != Node;
  for (PDataNode run = Node->PrevSibling; run; run = run->PrevSibling)
    if (isVisible(run)) return true;
  return false;
}

bool TBaseDataTree::IsFirstVisibleChild(PDataNode Parent, PDataNode Node) const {
  const PDataNode first = visibleEnds(Parent ? Parent : FRoot).First;
  return first && first == Node;
}

bool TBaseDataTree::IsLastVisibleChild(PDataNode Parent, PDataNode Node) const {
  const PDataNode last = visibleEnds(Parent ? Parent : FRoot).Last;
  return last && last == Node;
}

// ---- plain order ----------------------------------------------------------------

PDataNode TBaseDataTree::GetFirst(bool ConsiderChildrenAbove) {
  if (ConsiderChildrenAbove && childrenAbove()) {
    PDataNode run = GetFirstChild(nullptr);
    while (run) {
      PDataNode child = GetFirstChild(run);
      if (!child) break;
      run = child;
    }
    return run;
  }
  return GetFirstChild(nullptr);
}

PDataNode TBaseDataTree::GetFirstNoInit(bool ConsiderChildrenAbove) const {
  PDataNode run = FRoot->FirstChild;
  if (ConsiderChildrenAbove && childrenAbove())
    while (run && run->FirstChild) run = run->FirstChild;
  return run;
}

PDataNode TBaseDataTree::parentWithChildren(PDataNode Node) {
  if (!Node || Node == FRoot) return FRoot;
  if (!Node->States.Contains(vsInitialized)) InitNode(Node);
  if (Node->States.Contains(vsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
  return Node;
}

PDataNode TBaseDataTree::initialized(PDataNode Node) {
  if (Node && !Node->States.Contains(vsInitialized)) InitNode(Node);
  return Node;
}

PDataNode TBaseDataTree::GetFirstChild(PDataNode Node) {
  return initialized(parentWithChildren(Node)->FirstChild);
}

PDataNode TBaseDataTree::GetLastChild(PDataNode Node) {
  return initialized(parentWithChildren(Node)->LastChild);
}

PDataNode TBaseDataTree::GetLast(PDataNode Node, bool ConsiderChildrenAbove) {
  if (!Node) Node = FRoot;
  if (ConsiderChildrenAbove && childrenAbove()) return GetLastChild(Node);
  PDataNode result = nullptr;
  for (PDataNode next = GetLastChild(Node); next; next = GetLastChild(next)) result = next;
  return result;
}

PDataNode TBaseDataTree::GetLastNoInit(PDataNode Node, bool ConsiderChildrenAbove) const {
  if (!Node) Node = FRoot;
  if (ConsiderChildrenAbove && childrenAbove()) return Node->LastChild;
  PDataNode result = nullptr;
  for (PDataNode next = Node->LastChild; next; next = next->LastChild) result = next;
  return result;
}

PDataNode TBaseDataTree::GetNext(PDataNode Node, bool ConsiderChildrenAbove) {
  if (!Node) return nullptr;
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  PDataNode result;
  if (ConsiderChildrenAbove && childrenAbove()) {
    if (Node->NextSibling) {
      result = Node->NextSibling;
      for (;;) {
        if (!result->States.Contains(vsInitialized)) InitNode(result);
        if (result->States.Contains(vsHasChildren) && result->ChildCount == 0)
          InitChildren(result);
        if (!result->FirstChild) break;
        result = result->FirstChild;
      }
    } else {
      result = Node->Parent == FRoot ? nullptr : Node->Parent;
    }
  } else {
    if (Node->States.Contains(vsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
    result = Node->FirstChild;
    if (!result) {
      PDataNode run = Node;
      while (run != FRoot && !run->NextSibling) run = run->Parent;
      result = run == FRoot ? nullptr : run->NextSibling;
    }
  }
  if (result && !result->States.Contains(vsInitialized)) InitNode(result);
  return result;
}

PDataNode TBaseDataTree::GetNextNoInit(PDataNode Node, bool ConsiderChildrenAbove) const {
  if (!Node) return nullptr;
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  if (ConsiderChildrenAbove && childrenAbove()) {
    if (Node->NextSibling) {
      PDataNode result = Node->NextSibling;
      while (result->FirstChild) result = result->FirstChild;
      return result;
    }
    return Node->Parent == FRoot ? nullptr : Node->Parent;
  }
  if (Node->FirstChild) return Node->FirstChild;
  PDataNode run = Node;
  while (run != FRoot && !run->NextSibling) run = run->Parent;
  return run == FRoot ? nullptr : run->NextSibling;
}

PDataNode TBaseDataTree::GetPrevious(PDataNode Node, bool ConsiderChildrenAbove) {
  if (!Node) return nullptr;
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  PDataNode result;
  if (ConsiderChildrenAbove && childrenAbove()) {
    if (Node->States.Contains(vsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
    result = Node->LastChild;
    if (!result) {
      PDataNode run = Node;
      while (run != FRoot && !run->PrevSibling) run = run->Parent;
      result = run == FRoot ? nullptr : run->PrevSibling;
    }
  } else if (Node->PrevSibling) {
    result = Node->PrevSibling;
    for (;;) {
      if (!result->States.Contains(vsInitialized)) InitNode(result);
      if (result->States.Contains(vsHasChildren) && result->ChildCount == 0) InitChildren(result);
      if (!result->LastChild) break;
      result = result->LastChild;
    }
  } else {
    result = Node->Parent == FRoot ? nullptr : Node->Parent;
  }
  if (result && !result->States.Contains(vsInitialized)) InitNode(result);
  return result;
}

PDataNode TBaseDataTree::GetPreviousNoInit(PDataNode Node, bool ConsiderChildrenAbove) const {
  if (!Node) return nullptr;
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  if (ConsiderChildrenAbove && childrenAbove()) {
    if (Node->LastChild) return Node->LastChild;
    PDataNode run = Node;
    while (run != FRoot && !run->PrevSibling) run = run->Parent;
    return run == FRoot ? nullptr : run->PrevSibling;
  }
  if (Node->PrevSibling) {
    PDataNode result = Node->PrevSibling;
    while (result->LastChild) result = result->LastChild;
    return result;
  }
  return Node->Parent == FRoot ? nullptr : Node->Parent;
}

PDataNode TBaseDataTree::GetNextSibling(PDataNode Node) {
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  PDataNode result = Node ? Node->NextSibling : nullptr;
  if (result && !result->States.Contains(vsInitialized)) InitNode(result);
  return result;
}

PDataNode TBaseDataTree::GetPreviousSibling(PDataNode Node) {
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  PDataNode result = Node ? Node->PrevSibling : nullptr;
  if (result && !result->States.Contains(vsInitialized)) InitNode(result);
  return result;
}

// ---- initialised, selected, cut/copy -------------------------------------------

PDataNode TBaseDataTree::GetFirstInitialized(bool ConsiderChildrenAbove) {
  PDataNode result = GetFirstNoInit(ConsiderChildrenAbove);
  if (result && !result->States.Contains(vsInitialized))
    result = GetNextInitialized(result, ConsiderChildrenAbove);
  return result;
}

PDataNode TBaseDataTree::GetNextInitialized(PDataNode Node, bool ConsiderChildrenAbove) {
  PDataNode result = Node;
  do {
    result = GetNextNoInit(result, ConsiderChildrenAbove);
  } while (result && !result->States.Contains(vsInitialized));
  return result;
}

PDataNode TBaseDataTree::GetPreviousInitialized(PDataNode Node, bool ConsiderChildrenAbove) {
  PDataNode result = Node;
  do {
    result = GetPreviousNoInit(result, ConsiderChildrenAbove);
  } while (result && !result->States.Contains(vsInitialized));
  return result;
}

PDataNode TBaseDataTree::GetFirstSelected(bool ConsiderChildrenAbove) {
  return GetNextSelected(nullptr, ConsiderChildrenAbove);
}

PDataNode TBaseDataTree::GetNextSelected(PDataNode Node, bool ConsiderChildrenAbove) {
  if (FSelectionCount == 0) return nullptr;
  PDataNode run = (!Node || Node == FRoot) ? GetFirstNoInit(ConsiderChildrenAbove)
                                           : GetNextNoInit(Node, ConsiderChildrenAbove);
  while (run && !run->States.Contains(vsSelected)) run = GetNextNoInit(run, ConsiderChildrenAbove);
  if (run && !run->States.Contains(vsInitialized)) InitNode(run);
  return run;
}

PDataNode TBaseDataTree::GetFirstCutCopy(bool ConsiderChildrenAbove) {
  return GetNextCutCopy(nullptr, ConsiderChildrenAbove);
}

PDataNode TBaseDataTree::GetNextCutCopy(PDataNode Node, bool ConsiderChildrenAbove) {
  if (!FStates.Contains(tsCutPending) && !FStates.Contains(tsCopyPending)) return nullptr;
  PDataNode run = (!Node || Node == FRoot) ? GetFirstNoInit(ConsiderChildrenAbove)
                                           : GetNextNoInit(Node, ConsiderChildrenAbove);
  while (run && !run->States.Contains(vsCutOrCopy)) run = GetNextNoInit(run, ConsiderChildrenAbove);
  if (run && !run->States.Contains(vsInitialized)) InitNode(run);
  return run;
}

// ---- visible order -----------------------------------------------------------------
//
// A node is shown when it is visible and every ancestor below the hidden
// root is visible and expanded. A node that is not shown itself continues
// the walk from its nearest shown ancestor: the subtree that hides it is
// skipped as a whole.

PDataNode TBaseDataTree::GetFirstVisibleNoInit(PDataNode Node, bool ConsiderChildrenAbove) const {
  if (!Node) Node = FRoot;
  if (!Node->States.Contains(vsHasChildren) || !Node->FirstChild) return nullptr;
  PDataNode result = Node->FirstChild;
  // The first child when it is visible; otherwise the next visible node at
  // this level or above, never entering the children of skipped nodes.
  while (result && !isVisible(result)) {
    PDataNode run = result;
    while (run != FRoot && !run->NextSibling) run = run->Parent;
    result = run == FRoot ? nullptr : run->NextSibling;
  }
  if (result && ConsiderChildrenAbove && childrenAbove()) {
    for (;;) {
      if (!isExpanded(result)) break;
      PDataNode child = result->FirstChild;
      while (child && !isVisible(child)) child = child->NextSibling;
      if (!child) break;
      result = child;
    }
  }
  return result;
}

PDataNode TBaseDataTree::GetFirstVisible(PDataNode Node, bool ConsiderChildrenAbove) {
  if (!Node) Node = FRoot;
  if (Node != FRoot) {
    if (!Node->States.Contains(vsInitialized)) InitNode(Node);
    if (Node->States.Contains(vsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
  }
  if (!Node->States.Contains(vsHasChildren) || !Node->FirstChild) return nullptr;
  PDataNode result = Node->FirstChild;
  for (;;) {
    if (!result->States.Contains(vsInitialized)) InitNode(result);
    if (isVisible(result)) break;
    PDataNode run = result;
    while (run != FRoot && !run->NextSibling) run = run->Parent;
    if (run == FRoot) return nullptr;
    result = run->NextSibling;
  }
  if (ConsiderChildrenAbove && childrenAbove()) {
    for (;;) {
      if (!isExpanded(result)) break;
      if (result->States.Contains(vsHasChildren) && result->ChildCount == 0) InitChildren(result);
      PDataNode child = result->FirstChild;
      while (child) {
        if (!child->States.Contains(vsInitialized)) InitNode(child);
        if (isVisible(child)) break;
        child = child->NextSibling;
      }
      if (!child) break;
      result = child;
    }
  }
  return result;
}

PDataNode TBaseDataTree::visibleChild(PDataNode Node, bool fromLast) {
  if (!Node) Node = FRoot;
  if (Node != FRoot && !(FullyVisible(Node) && isExpanded(Node))) return nullptr;
  if (Node != FRoot && Node->States.Contains(vsHasChildren) && Node->ChildCount == 0)
    InitChildren(Node);
  for (PDataNode run = fromLast ? Node->LastChild : Node->FirstChild; run;
       run = fromLast ? run->PrevSibling : run->NextSibling) {
    if (isVisible(initialized(run))) return run;
  }
  return nullptr;
}

PDataNode TBaseDataTree::GetFirstVisibleChild(PDataNode Node) { return visibleChild(Node, false); }

PDataNode TBaseDataTree::GetLastVisibleChild(PDataNode Node) { return visibleChild(Node, true); }

PDataNode TBaseDataTree::GetLastVisibleNoInit(PDataNode Node, bool ConsiderChildrenAbove) const {
  if (!Node) Node = FRoot;
  auto lastVisibleChild = [this](PDataNode n) -> PDataNode {
    if (n != FRoot && !isExpanded(n)) return nullptr;
    for (PDataNode run = n->LastChild; run; run = run->PrevSibling)
      if (isVisible(run)) return run;
    return nullptr;
  };
  if (ConsiderChildrenAbove && childrenAbove()) return lastVisibleChild(Node);
  PDataNode result = nullptr;
  for (PDataNode next = lastVisibleChild(Node); next; next = lastVisibleChild(next)) result = next;
  return result;
}

PDataNode TBaseDataTree::GetLastVisible(PDataNode Node, bool ConsiderChildrenAbove) {
  if (!Node) Node = FRoot;
  auto lastVisibleChild = [this](PDataNode n) -> PDataNode {
    if (n != FRoot) {
      if (!n->States.Contains(vsInitialized)) InitNode(n);
      if (!isExpanded(n)) return nullptr;
      if (n->States.Contains(vsHasChildren) && n->ChildCount == 0) InitChildren(n);
    }
    for (PDataNode run = n->LastChild; run; run = run->PrevSibling) {
      if (!run->States.Contains(vsInitialized)) InitNode(run);
      if (isVisible(run)) return run;
    }
    return nullptr;
  };
  if (ConsiderChildrenAbove && childrenAbove()) return lastVisibleChild(Node);
  PDataNode result = nullptr;
  for (PDataNode next = lastVisibleChild(Node); next; next = lastVisibleChild(next)) result = next;
  return result;
}

// The nearest ancestor (or Node itself) that is shown as a row, and the top
// of the hidden subtree Node lies in (nil when Node itself is shown).
void TBaseDataTree::findShownAncestor(PDataNode Node, PDataNode& shown, PDataNode& hiddenTop) const {
  shown = Node;
  hiddenTop = nullptr;
  for (PDataNode run = Node; run != FRoot; run = run->Parent) {
    PDataNode parent = run->Parent;
    if (!isVisible(run) || (parent != FRoot && !isExpanded(parent))) {
      hiddenTop = run;
      shown = parent;
    }
  }
}

// The row stepper of the position cache and of GetNodeAt; runs on the worker
// thread too, so it reads nothing but the structure.
PDataNode TBaseDataTree::nextVisibleNoInit(PDataNode Node, bool aboveOrder) const {
  // Find the nearest shown ancestor and the subtree that hides Node.
  PDataNode shown, hiddenTop;
  findShownAncestor(Node, shown, hiddenTop);
  // After a hidden subtree the walk goes on after it; a collapsed shown
  // ancestor hides everything below it.
  PDataNode from = Node;
  if (hiddenTop) {
    from = (shown != FRoot && !isExpanded(shown)) ? shown : hiddenTop;
    if (from == shown && aboveOrder) {
      // In children-above order the hidden rows lie before their parent.
      return shown == FRoot ? nullptr : shown;
    }
  } else if (!aboveOrder && isExpanded(Node)) {
    for (PDataNode child = Node->FirstChild; child; child = child->NextSibling)
      if (isVisible(child)) return child;
  }

  if (aboveOrder) {
    for (PDataNode sibling = from->NextSibling; sibling; sibling = sibling->NextSibling) {
      if (!isVisible(sibling)) continue;
      PDataNode result = sibling;
      for (;;) {
        if (!isExpanded(result)) break;
        PDataNode child = result->FirstChild;
        while (child && !isVisible(child)) child = child->NextSibling;
        if (!child) break;
        result = child;
      }
      return result;
    }
    return from->Parent == FRoot ? nullptr : from->Parent;
  }

  for (PDataNode run = from; run != FRoot; run = run->Parent)
    for (PDataNode sibling = run->NextSibling; sibling; sibling = sibling->NextSibling)
      if (isVisible(sibling)) return sibling;
  return nullptr;
}

PDataNode TBaseDataTree::GetNextVisibleNoInit(PDataNode Node, bool ConsiderChildrenAbove) const {
  if (!Node) return nullptr;
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  return nextVisibleNoInit(Node, ConsiderChildrenAbove && childrenAbove());
}

PDataNode TBaseDataTree::GetNextVisible(PDataNode Node, bool ConsiderChildrenAbove) {
  if (!Node) return nullptr;
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  bool above = ConsiderChildrenAbove && childrenAbove();
  // Create the children that the next row may come from, then step.
  if (!above && FullyVisible(Node) && isExpanded(Node) &&
      Node->States.Contains(vsHasChildren) && Node->ChildCount == 0)
    InitChildren(Node);
  PDataNode result = nextVisibleNoInit(Node, above);
  if (above && result) {
    bool ancestor = false;
    for (PDataNode run = Node->Parent; run && run != FRoot; run = run->Parent)
      if (run == result) {
        ancestor = true;
        break;
      }
    // Going down into a following sibling: each node on the way must be
    // initialised first, since opening it puts its children's rows above it.
    while (!ancestor) {
      if (!result->States.Contains(vsInitialized)) InitNode(result);
      if (!isExpanded(result)) break;
      if (result->States.Contains(vsHasChildren) && result->ChildCount == 0) InitChildren(result);
      PDataNode child = result->FirstChild;
      while (child) {
        if (!child->States.Contains(vsInitialized)) InitNode(child);
        if (isVisible(child)) break;
        child = child->NextSibling;
      }
      if (!child) break;
      result = child;
    }
  }
  if (result && !result->States.Contains(vsInitialized)) InitNode(result);
  return result;
}

PDataNode TBaseDataTree::GetPreviousVisibleNoInit(PDataNode Node, bool ConsiderChildrenAbove) const {
  if (!Node) return nullptr;
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  bool above = ConsiderChildrenAbove && childrenAbove();

  PDataNode shown, hiddenTop;
  findShownAncestor(Node, shown, hiddenTop);
  PDataNode from = Node;
  if (hiddenTop) {
    bool collapsedShown = shown != FRoot && !isExpanded(shown);
    if (collapsedShown && !above) return shown;  // the parent row precedes its subtree
    from = collapsedShown ? shown : hiddenTop;
  } else if (above && isExpanded(Node)) {
    for (PDataNode child = Node->LastChild; child; child = child->PrevSibling)
      if (isVisible(child)) return child;
  }

  if (above) {
    for (PDataNode run = from; run != FRoot; run = run->Parent)
      for (PDataNode sibling = run->PrevSibling; sibling; sibling = sibling->PrevSibling)
        if (isVisible(sibling)) return sibling;
    return nullptr;
  }

  for (PDataNode sibling = from->PrevSibling; sibling; sibling = sibling->PrevSibling) {
    if (!isVisible(sibling)) continue;
    PDataNode result = sibling;
    for (;;) {
      if (!isExpanded(result)) break;
      PDataNode child = result->LastChild;
      while (child && !isVisible(child)) child = child->PrevSibling;
      if (!child) break;
      result = child;
    }
    return result;
  }
  return from->Parent == FRoot ? nullptr : from->Parent;
}

PDataNode TBaseDataTree::GetPreviousVisible(PDataNode Node, bool ConsiderChildrenAbove) {
  if (!Node) return nullptr;
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  // The previous row may be the deepest last descendant of a sibling: the
  // nodes on the way down are initialised (which may open them) and their
  // children created before stepping.
  const bool above = ConsiderChildrenAbove && childrenAbove();
  for (PDataNode sibling = above ? nullptr : Node->PrevSibling; sibling;
       sibling = sibling->PrevSibling) {
    if (!isVisible(sibling)) continue;
    for (PDataNode run = sibling; run;) {
      if (!run->States.Contains(vsInitialized)) InitNode(run);
      if (!isExpanded(run)) break;
      if (run->States.Contains(vsHasChildren) && run->ChildCount == 0) InitChildren(run);
      PDataNode child = run->LastChild;
      while (child && !isVisible(child)) child = child->PrevSibling;
      run = child;
    }
    break;
  }
  if (above && isExpanded(Node) &&
      Node->States.Contains(vsHasChildren) && Node->ChildCount == 0)
    InitChildren(Node);
  PDataNode result = GetPreviousVisibleNoInit(Node, ConsiderChildrenAbove);
  if (result && !result->States.Contains(vsInitialized)) InitNode(result);
  return result;
}

PDataNode TBaseDataTree::GetNextVisibleSiblingNoInit(PDataNode Node) const {
  TAMRIX_ASSERT(Node && Node != FRoot, "Invalid parameter.");
  PDataNode run = Node->NextSibling;
  while (run && !isVisible(run)) run = run->NextSibling;
  return run;
}

PDataNode TBaseDataTree::GetPreviousVisibleSiblingNoInit(PDataNode Node) const {
  TAMRIX_ASSERT(Node && Node != FRoot, "Invalid parameter.");
  PDataNode run = Node->PrevSibling;
  while (run && !isVisible(run)) run = run->PrevSibling;
  return run;
}

PDataNode TBaseDataTree::GetNextVisibleSibling(PDataNode Node) {
  TAMRIX_ASSERT(Node && Node != FRoot, "Invalid parameter.");
  PDataNode run = Node->NextSibling;
  for (; run; run = run->NextSibling) {
    if (!run->States.Contains(vsInitialized)) InitNode(run);
    if (isVisible(run)) break;
  }
  return run;
}

PDataNode TBaseDataTree::GetPreviousVisibleSibling(PDataNode Node) {
  TAMRIX_ASSERT(Node && Node != FRoot, "Invalid parameter.");
  PDataNode run = Node->PrevSibling;
  for (; run; run = run->PrevSibling) {
    if (!run->States.Contains(vsInitialized)) InitNode(run);
    if (isVisible(run)) break;
  }
  return run;
}

int TBaseDataTree::CountLevelDifference(PDataNode Node1, PDataNode Node2) const {
  TAMRIX_ASSERT(Node1 && Node2, "Both nodes must be Assigned.");
  return int(GetNodeLevel(Node2)) - int(GetNodeLevel(Node1));
}
