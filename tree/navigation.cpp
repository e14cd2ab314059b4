// Walking the tree. The initialising variants make sure every node they
// return has been initialised and create children they have to look into;
// the NoInit variants touch nothing and are what the position cache uses.
#include "tree/base_tree.h"

namespace {
inline bool isVisible(PDataNode n) { return n->States.Contains(vsVisible); }
inline bool isExpanded(PDataNode n) { return n->States.Contains(vsExpanded); }
inline bool isHidden(PDataNode n) { return n && !n->States.Contains(vsVisible); }
// The children of a node whose children are all going keep no notes of
// their runs (see DeleteChildren).
inline bool siblingsGoing(PDataNode n) { return n->Parent->States.Contains(vsClearing); }
}  // namespace

PDataNode TBaseDataTree::firstVisibleChildInitialised(PDataNode Node) {
  if (Node->States.Contains(vsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
  PDataNode child = Node->FirstChild;
  while (child) {
    if (!child->States.Contains(vsInitialized)) InitNode(child);
    if (isVisible(child)) break;
    child = child->NextSibling;
  }
  return child;
}

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

PDataNode TBaseDataTree::hiddenRunOtherEnd(PDataNode End) const {
  const auto it = FHiddenRuns.find(End);
  if (it != FHiddenRuns.end()) return it->second;
  // Only the children of a parent whose children are all going have no
  // notes (see DeleteChildren); a handler asking meanwhile gets its answer
  // the slow way.
  const bool forward = !isHidden(End->PrevSibling);
  while (isHidden(forward ? End->NextSibling : End->PrevSibling)) End = forward ? End->NextSibling : End->PrevSibling;
  return End;
}

void TBaseDataTree::moveHiddenRunEnd(PDataNode From, PDataNode To) {
  const auto it = FHiddenRuns.find(From);
  TAMRIX_ASSERT(it != FHiddenRuns.end(), "A run of hidden siblings was not noted.");
  const PDataNode other = it->second;
  if (other == From) {  // a run of one grows to two
    it->second = To;
    FHiddenRuns.emplace(To, From);
    return;
  }
  if (other == To) {  // a run of two shrinks to one
    FHiddenRuns.erase(it);
    FHiddenRuns.find(To)->second = To;
    return;
  }
  // The note itself moves to the new end: no allocation while a long run
  // is hidden node by node.
  auto note = FHiddenRuns.extract(it);
  note.key() = To;
  FHiddenRuns.insert(std::move(note));
  FHiddenRuns.find(other)->second = To;
}

void TBaseDataTree::hiddenRunsJoin(PDataNode Node) {
  if (siblingsGoing(Node)) return;
  PDataNode previous = Node->PrevSibling, next = Node->NextSibling;
  const bool before = isHidden(previous), after = isHidden(next);
  if (before && after) {
    const PDataNode first = hiddenRunOtherEnd(previous), last = hiddenRunOtherEnd(next);
    if (previous != first) FHiddenRuns.erase(previous);
    if (next != last) FHiddenRuns.erase(next);
    setHiddenRun(first, last);
  } else if (before) {
    moveHiddenRunEnd(previous, Node);
  } else if (after) {
    moveHiddenRunEnd(next, Node);
  } else {
    FHiddenRuns.emplace(Node, Node);
  }
}

void TBaseDataTree::hiddenRunsLeave(PDataNode Node) {
  if (siblingsGoing(Node)) return;
  PDataNode previous = Node->PrevSibling, next = Node->NextSibling;
  const bool atStart = !isHidden(previous), atEnd = !isHidden(next);
  // Inside a run no end moves: unlinking joins its two sides again, and
  // showing it splits the run once it is visible (hiddenRunsSplit).
  if (atStart && atEnd)
    FHiddenRuns.erase(Node);
  else if (atStart)
    moveHiddenRunEnd(Node, next);
  else if (atEnd)
    moveHiddenRunEnd(Node, previous);
}

void TBaseDataTree::hiddenRunsSplit(PDataNode Node) {
  PDataNode previous = Node->PrevSibling, next = Node->NextSibling;
  if (!isHidden(previous) || !isHidden(next) || siblingsGoing(Node)) return;
  // Both sides were one run: find its ends from the nearer one, walking
  // both ways at once.
  PDataNode first, last;
  for (PDataNode back = previous, ahead = next;; back = back->PrevSibling, ahead = ahead->NextSibling) {
    if (!isHidden(back->PrevSibling)) {
      first = back;
      last = hiddenRunOtherEnd(first);
      break;
    }
    if (!isHidden(ahead->NextSibling)) {
      last = ahead;
      first = hiddenRunOtherEnd(last);
      break;
    }
  }
  setHiddenRun(first, previous);
  setHiddenRun(next, last);
}

void TBaseDataTree::hiddenRunsLinked(PDataNode Node) {
  if (isVisible(Node)) {
    hiddenRunsSplit(Node);
    return;
  }
  // Hidden nodes on both sides were one run and now take Node in; a hidden
  // node on one side only ended a run that now ends at Node.
  if (!isHidden(Node->PrevSibling) || !isHidden(Node->NextSibling)) hiddenRunsJoin(Node);
}

void TBaseDataTree::hiddenRunsClose(PDataNode Node) {
  PDataNode previous = Node->PrevSibling, next = Node->NextSibling;
  if (!isHidden(previous) || !isHidden(next) || siblingsGoing(Node)) return;
  const PDataNode first = hiddenRunOtherEnd(previous), last = hiddenRunOtherEnd(next);
  if (previous != first) FHiddenRuns.erase(previous);
  if (next != last) FHiddenRuns.erase(next);
  setHiddenRun(first, last);
}

void TBaseDataTree::noteHiddenRuns(PDataNode Parent) {
  for (PDataNode run = Parent->FirstChild; run; run = run->NextSibling)
    if (!run->States.Contains(vsVisible)) {
      PDataNode first = run;
      while (isHidden(run->NextSibling)) run = run->NextSibling;
      setHiddenRun(first, run);
    }
}

void TBaseDataTree::forgetHiddenRuns(PDataNode Parent) {
  if (FHiddenRuns.empty()) return;
  for (PDataNode run = Parent->FirstChild; run; run = run->NextSibling)
    if (!run->States.Contains(vsVisible)) {
      const PDataNode last = hiddenRunOtherEnd(run);
      FHiddenRuns.erase(run);
      FHiddenRuns.erase(last);
      run = last;
    }
}

PDataNode TBaseDataTree::firstVisibleChild(PDataNode Parent) const {
  PDataNode first = Parent->FirstChild;
  return isHidden(first) ? hiddenRunOtherEnd(first)->NextSibling : first;
}

PDataNode TBaseDataTree::lastVisibleChild(PDataNode Parent) const {
  PDataNode last = Parent->LastChild;
  return isHidden(last) ? hiddenRunOtherEnd(last)->PrevSibling : last;
}

PDataNode TBaseDataTree::nextVisibleSiblingKnown(PDataNode Node) const {
  PDataNode next = Node->NextSibling;
  if (!isHidden(next)) return next;
  if (isVisible(Node)) return hiddenRunOtherEnd(next)->NextSibling;
  // Inside a run only a walk finds its end.
  while (isHidden(next)) next = next->NextSibling;
  return next;
}

PDataNode TBaseDataTree::previousVisibleSiblingKnown(PDataNode Node) const {
  PDataNode previous = Node->PrevSibling;
  if (!isHidden(previous)) return previous;
  if (isVisible(Node)) return hiddenRunOtherEnd(previous)->PrevSibling;
  while (isHidden(previous)) previous = previous->PrevSibling;
  return previous;
}

PDataNode TBaseDataTree::nextPaintedRow(PDataNode Node) const {
  if (childrenAbove()) return GetNextVisibleNoInit(Node, true);
  if (isExpanded(Node) && Node->FirstChild)
    if (PDataNode child = firstVisibleChild(Node)) return child;
  for (PDataNode run = Node; run && run != FRoot; run = run->Parent)
    if (PDataNode next = nextVisibleSiblingKnown(run)) return next;
  return nullptr;
}

bool TBaseDataTree::HasVisibleNextSibling(PDataNode Node) const {
  if (!Node || Node == FRoot) return false;
  return nextVisibleSiblingKnown(Node) != nullptr;
}

bool TBaseDataTree::HasVisiblePreviousSibling(PDataNode Node) const {
  if (!Node || Node == FRoot) return false;
  return previousVisibleSiblingKnown(Node) != nullptr;
}

bool TBaseDataTree::IsFirstVisibleChild(PDataNode Parent, PDataNode Node) const {
  const PDataNode first = firstVisibleChild(Parent ? Parent : FRoot);
  return first && first == Node;
}

bool TBaseDataTree::IsLastVisibleChild(PDataNode Parent, PDataNode Node) const {
  const PDataNode last = lastVisibleChild(Parent ? Parent : FRoot);
  return last && last == Node;
}

// ---- plain order ----------------------------------------------------------------

PDataNode TBaseDataTree::GetFirst(bool ConsiderChildrenAbove) {
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
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
  });
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
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    return initialized(parentWithChildren(Node)->FirstChild);
  });
}

PDataNode TBaseDataTree::GetLastChild(PDataNode Node) {
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    return initialized(parentWithChildren(Node)->LastChild);
  });
}

PDataNode TBaseDataTree::GetLast(PDataNode Node, bool ConsiderChildrenAbove) {
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    if (!Node) Node = FRoot;
    if (ConsiderChildrenAbove && childrenAbove()) return GetLastChild(Node);
    PDataNode result = nullptr;
    for (PDataNode next = GetLastChild(Node); next; next = GetLastChild(next)) result = next;
    return result;
  });
}

PDataNode TBaseDataTree::GetLastNoInit(PDataNode Node, bool ConsiderChildrenAbove) const {
  if (!Node) Node = FRoot;
  if (ConsiderChildrenAbove && childrenAbove()) return Node->LastChild;
  PDataNode result = nullptr;
  for (PDataNode next = Node->LastChild; next; next = next->LastChild) result = next;
  return result;
}

PDataNode TBaseDataTree::GetNext(PDataNode Node, bool ConsiderChildrenAbove) {
  // A step that initialises nothing raises nothing: no entry for it.
  if (Node && Node != FRoot && !(ConsiderChildrenAbove && childrenAbove()) &&
      !(Node->States.Contains(vsHasChildren) && Node->ChildCount == 0)) {
    PDataNode next = GetNextNoInit(Node, false);
    if (!next || next->States.Contains(vsInitialized)) return next;
    // Nor does initialising a collapsed node without an init handler: it
    // only takes the flag (an expanded one would be expanded by InitNode).
    if (!OnInitNode && !next->States.Contains(vsExpanded)) {
      next->States.Include(vsInitialized);
      return next;
    }
  }
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
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
  });
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
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
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
  });
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
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
    PDataNode result = Node ? Node->NextSibling : nullptr;
    if (result && !result->States.Contains(vsInitialized)) InitNode(result);
    return result;
  });
}

PDataNode TBaseDataTree::GetPreviousSibling(PDataNode Node) {
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
    PDataNode result = Node ? Node->PrevSibling : nullptr;
    if (result && !result->States.Contains(vsInitialized)) InitNode(result);
    return result;
  });
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
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    if (FSelectionCount == 0) return nullptr;
    PDataNode run = (!Node || Node == FRoot) ? GetFirstNoInit(ConsiderChildrenAbove)
                                             : GetNextNoInit(Node, ConsiderChildrenAbove);
    while (run && !run->States.Contains(vsSelected)) run = GetNextNoInit(run, ConsiderChildrenAbove);
    if (run && !run->States.Contains(vsInitialized)) InitNode(run);
    return run;
  });
}

PDataNode TBaseDataTree::GetFirstCutCopy(bool ConsiderChildrenAbove) {
  return GetNextCutCopy(nullptr, ConsiderChildrenAbove);
}

PDataNode TBaseDataTree::GetNextCutCopy(PDataNode Node, bool ConsiderChildrenAbove) {
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    if (!FStates.Contains(tsCutPending) && !FStates.Contains(tsCopyPending)) return nullptr;
    PDataNode run = (!Node || Node == FRoot) ? GetFirstNoInit(ConsiderChildrenAbove)
                                             : GetNextNoInit(Node, ConsiderChildrenAbove);
    while (run && !run->States.Contains(vsCutOrCopy)) run = GetNextNoInit(run, ConsiderChildrenAbove);
    if (run && !run->States.Contains(vsInitialized)) InitNode(run);
    return run;
  });
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
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
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
        PDataNode child = firstVisibleChildInitialised(result);
        if (!child) break;
        result = child;
      }
    }
    return result;
  });
}

PDataNode TBaseDataTree::visibleChild(PDataNode Node, bool fromLast) {
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    if (!Node) Node = FRoot;
    if (Node != FRoot && !(FullyVisible(Node) && isExpanded(Node))) return nullptr;
    if (Node != FRoot && Node->States.Contains(vsHasChildren) && Node->ChildCount == 0)
      InitChildren(Node);
    for (PDataNode run = fromLast ? Node->LastChild : Node->FirstChild; run;
         run = fromLast ? run->PrevSibling : run->NextSibling) {
      if (isVisible(initialized(run))) return run;
    }
    return nullptr;
  });
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
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
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
  });
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
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
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
        PDataNode child = firstVisibleChildInitialised(result);
        if (!child) break;
        result = child;
      }
    }
    if (result && !result->States.Contains(vsInitialized)) InitNode(result);
    return result;
  });
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
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
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
  });
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
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    TAMRIX_ASSERT(Node && Node != FRoot, "Invalid parameter.");
    PDataNode run = Node->NextSibling;
    for (; run; run = run->NextSibling) {
      if (!run->States.Contains(vsInitialized)) InitNode(run);
      if (isVisible(run)) break;
    }
    return run;
  });
}

PDataNode TBaseDataTree::GetPreviousVisibleSibling(PDataNode Node) {
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    TAMRIX_ASSERT(Node && Node != FRoot, "Invalid parameter.");
    PDataNode run = Node->PrevSibling;
    for (; run; run = run->PrevSibling) {
      if (!run->States.Contains(vsInitialized)) InitNode(run);
      if (isVisible(run)) break;
    }
    return run;
  });
}

int TBaseDataTree::CountLevelDifference(PDataNode Node1, PDataNode Node2) const {
  TAMRIX_ASSERT(Node1 && Node2, "Both nodes must be Assigned.");
  return int(GetNodeLevel(Node2)) - int(GetNodeLevel(Node1));
}
