// Initialisation on demand, expanding and collapsing, and the visible-row
// bookkeeping that goes with them.
#include <algorithm>
#include <climits>
#include <optional>

#include "tree/base_tree.h"

namespace {
int clampOffset(std::int64_t Value) {
  return int(std::clamp<std::int64_t>(Value, INT_MIN, INT_MAX));
}
}  // namespace

void TBaseDataTree::InitNode(PDataNode Node) {
  // Flag first, so that a handler that walks the tree does not start again.
  Node->States.Include(vsInitialized);
  TDataNodeInitStates initStates;
  // The handler answers a question: the nodes it deletes go when the
  // message loop runs next (see TQueryHandlerCall), and when it destroys
  // the tree the raise unwinds. Nothing of the tree is touched then.
  const TLifeHold life(FEntryLife);
  DoInitNode(Node->Parent == FRoot ? nullptr : Node->Parent, Node, initStates);
  if (life.expired()) return;
  if (initStates.Contains(ivsDisabled)) Node->States.Include(vsDisabled);
  if (initStates.Contains(ivsHasChildren)) Node->States.Include(vsHasChildren);
  if (initStates.Contains(ivsSelected)) InternalAddToSelection(&Node, 1, false);
  if (initStates.Contains(ivsMultiline)) Node->States.Include(vsMultiline);
  bool expanded = Node->States.Contains(vsExpanded);
  if (expanded != initStates.Contains(ivsExpanded)) {
    // The callers (walks, painting, measuring) go on with the node: the
    // expansion the answer asks for belongs to the question, so what the
    // handlers of the expansion delete waits as well (the children's own
    // handler is a question already). A tree they destroy unwinds here: the
    // toggle, an entry of its own, stops the unwinding where nothing of the
    // tree was on the stack before.
    ThroughToolkit([&] {
      if (initStates.Contains(ivsExpanded)) {
        TQueryHandlerCall call(*this);
        ToggleNode(Node);
      } else if (Node->States.Contains(vsHasChildren)) {
        InitChildren(Node);
      }
    });
  }
}

void TBaseDataTree::InitChildren(PDataNode Node) {
  if (!Node || Node == FRoot || !Node->States.Contains(vsHasChildren)) return;
  std::uint32_t count = Node->ChildCount;
  // Children made on demand: the caller (a walk, a check, a save) steps
  // into them at once.
  const bool onDemand = Node->ChildCount == 0;
  // The handler may delete the node or destroy the whole tree.
  TNodeWatch watch(*this, Node);
  DoInitChildren(Node, count);
  if (watch.TreeGone() || !watch.Node()) return;
  if (count == 0) {
    // No children after all: the node becomes a leaf and loses its button
    // (unless the handlers the deletion raises took the node with them).
    DeleteChildren(Node, false);
    if (watch.TreeGone() || !watch.Node()) return;
    Node->States.Exclude(vsHasChildren);
  } else if (onDemand && count > Node->ChildCount) {
    // The children the answer asks for belong to the question, as an
    // expansion it asks for does (see InitNode): what the handlers told of
    // them (the state, the structure change) delete waits for the message
    // loop, since the caller goes on with the node and its new children.
    TQueryHandlerCall call(*this);
    SetChildCount(Node, count);
  } else {
    SetChildCount(Node, count);
  }
}

void TBaseDataTree::ReinitNode(PDataNode Node, bool Recursive) {
  NodeEntry(Node, [&] {
    if (Node && Node != FRoot) {
      Node->States.ExcludeMask(nodeMask(vsChecking, vsCutOrCopy, vsDeleting, vsHeightMeasured));
      const TLifeHold life(FEntryLife);
      InitNode(Node);
      if (life.expired()) return;
    }
    if (Recursive) ReinitChildren(Node, true);
  });
}

void TBaseDataTree::ReinitChildren(PDataNode Node, bool Recursive) {
  GuardedEntry([&] {
    if (!Node) Node = FRoot;
    // Only children that exist are initialised again; none are made here.
    // The handlers of the children's deletions (the owner answering none)
    // may delete the node or the child the walk goes to next.
    const TLifeHold life(FEntryLife);
    TNodeWatch parent(*this, Node);
    if (Node->ChildCount > 0) InitChildren(Node);
    if (life.expired() || !parent.Node()) return;
    for (PDataNode run = Node->FirstChild; run;) {
      TNodeWatch next(*this, run->NextSibling);
      ReinitNode(run, Recursive);
      if (life.expired() || !parent.Node()) return;
      run = next.Node();
    }
  });
}

void TBaseDataTree::ResetNode(PDataNode Node) {
  NodeEntry(Node, [&] {
    CancelEditNode();
    if (!Node || Node == FRoot) {
      Clear();
      return;
    }
    {
      // The handler may delete the node or destroy the whole tree.
      TNodeWatch watch(*this, Node);
      DoReset(Node);
      if (watch.TreeGone() || !watch.Node()) return;
    }
    // The handlers the deletion raises may delete the node too.
    TNodeWatch watch(*this, Node);
    DeleteChildren(Node, false);
    if (!watch.Node()) return;
    Node->States.ExcludeMask(nodeMask(vsInitialized, vsChecking, vsCutOrCopy, vsDeleting,
                                      vsExpanded, vsHasChildren, vsHeightMeasured));
    InvalidateNode(Node);
  });
}

void TBaseDataTree::SetExpanded(PDataNode Node, bool Value) {
  NodeEntry(Node, [&] {
    if (!Node || Node == FRoot) return;
    if (Value != Node->States.Contains(vsExpanded)) ToggleNode(Node);
  });
}

std::uint32_t TBaseDataTree::CountVisibleChildren(PDataNode Node) const {
  if (!Node || !Node->States.Contains(vsExpanded)) return 0;
  // Iterative walk over the shown part of the subtree.
  std::uint32_t count = 0;
  PDataNode run = Node->FirstChild;
  while (run) {
    if (run->States.Contains(vsVisible)) {
      ++count;
      if (run->States.Contains(vsExpanded) && run->FirstChild) {
        run = run->FirstChild;
        continue;
      }
    }
    while (run != Node && !run->NextSibling) run = run->Parent;
    if (run == Node) break;
    run = run->NextSibling;
  }
  return count;
}

void TBaseDataTree::ToggleNode(PDataNode Node) {
  NodeEntry(Node, [&] {
    TAMRIX_ASSERT(Node != nullptr, "Node must not be nil.");
    if (Node == FRoot) return;
    // A node that goes, or whose children go, keeps its rows as they are
    // counted by the deletion.
    if (Node->States.ContainsAny(nodeMask(vsDeleting, vsToggling, vsClearing)) || nodeGoing(Node)) return;
    // The state, expand and collapse handlers may delete the node, and every
    // handler (the scroll report included) may destroy the tree.
    const std::weak_ptr<const bool> life = FLifeToken;
    TNodeWatch watch(*this, Node);
    bool wasToggling = FStates.Contains(tsToggling);
    DoStateChange({tsToggling});
    if (life.expired()) return;
    if (!watch.Node()) {
      if (!wasToggling) DoStateChange({}, {tsToggling});
      return;
    }
    Node->States.Include(vsToggling);

    auto leave = [&] {
      if (life.expired()) return;
      if (watch.Node()) Node->States.Exclude(vsToggling);
      if (!wasToggling) DoStateChange({}, {tsToggling});
    };

    bool changed = false;
    bool mutated = false;
    bool expanded = false;
    std::int64_t heightDelta = 0;
    try {
      // Children made on the way are queued for the cache with the toggle.
      TToggleCacheHold hold(FCacheHold, life);
      if (!Node->States.Contains(vsExpanded)) {
        if (DoExpanding(Node) && !life.expired() && watch.Node()) {
          changed = true;
          if (!Node->States.Contains(vsInitialized)) InitNode(Node);
          // A leaf changes nothing the cache depends on; expanding every node
          // of a large tree toggles a great many of them.
          if (!life.expired() && watch.Node() && Node->States.Contains(vsHasChildren) && Node->ChildCount == 0) {
            mutated = true;
            InterruptValidation();
            InitChildren(Node);
          }
          if (life.expired()) return;
          if (watch.Node() && Node->ChildCount > 0 && !Node->States.Contains(vsExpanded)) {
            mutated = true;
            InterruptValidation();
            // The same walk counts the rows that appear, unless a shown child
            // is open itself: a node with a million children is walked once.
            std::uint32_t shown = 0;
            bool nested = false;
            auto count = [&] {
              heightDelta = 0;
              shown = 0;
              nested = false;
              for (PDataNode child = Node->FirstChild; child; child = child->NextSibling)
                if (child->States.Contains(vsVisible)) {
                  heightDelta += child->TotalHeight;
                  ++shown;
                  if (child->States.Contains(vsExpanded) && child->FirstChild) nested = true;
                }
            };
            count();
            bool stillThere = true;
            if (FUpdateCount == 0 && !FStates.Contains(tsExpanding) && !FStates.Contains(tsPainting) &&
                FOptions->AnimationOptions().Contains(toAnimatedToggle)) {
              ToggleAnimation(Node, true, heightDelta);
              if (life.expired()) return;
              stillThere = watch.Node() != nullptr;
              // What was painted meanwhile may have asked the owner for more.
              if (stillThere) count();
            }
            if (stillThere && Node->ChildCount > 0) {
              ++FStructureGen;
              Node->States.Include(vsExpanded);
              expanded = true;
              AdjustTotalHeight(Node, heightDelta, true);
              if (FullyVisible(Node)) FVisibleCount += nested ? CountVisibleChildren(Node) : shown;
              DoExpanded(Node);
              if (life.expired()) return;
            }
          }
        }
        if (life.expired()) return;
      } else if (DoCollapsing(Node) && !life.expired() && watch.Node()) {
        changed = true;
        mutated = true;
        InterruptValidation();
        if (FUpdateCount == 0 && !FStates.Contains(tsCollapsing) && !FStates.Contains(tsPainting) &&
            FOptions->AnimationOptions().Contains(toAnimatedToggle)) {
          ToggleAnimation(Node, false, std::int64_t(Node->TotalHeight) - Node->NodeHeight);
          if (life.expired()) return;
        }
        if (watch.Node() && Node->States.Contains(vsExpanded)) {
          heightDelta = std::int64_t(Node->NodeHeight) - std::int64_t(Node->TotalHeight);
          AdjustTotalHeight(Node, heightDelta, true);
          if (FullyVisible(Node)) FVisibleCount -= CountVisibleChildren(Node);
          ++FStructureGen;
          Node->States.Exclude(vsExpanded);
          DoCollapsed(Node);
          if (life.expired()) return;
          if (watch.Node() && FOptions->AutoOptions().Contains(toAutoFreeOnCollapse) && Node->ChildCount > 0) {
            DeleteChildren(Node, false);
            if (life.expired()) return;
            if (watch.Node()) Node->States.Include(vsHasChildren);
          }
        }
      } else if (life.expired()) {
        return;
      }

      hold.reset();
      if (changed) {
        if (mutated) ExpireCache();
        if (FUpdateCount == 0) {
          InvalidateCache();
          if (!watch.Node()) {
            UpdateScrollBars(true);
            InvalidateWindow();
          } else if (Node->ChildCount == 0) {
            InvalidateNode(Node);
          } else {
            UpdateRanges();
            bool whole = false;
            if (!FStates.Contains(tsExpanding) && !FStates.Contains(tsPainting)) {
              whole = ScrollAfterToggle(Node, expanded, heightDelta);
              if (life.expired()) return;
            }
            UpdateScrollBars(true);
            if (whole || !watch.Node())
              InvalidateWindow();
            else
              InvalidateToBottom(Node);
          }
        } else {
          // Inside a bracket only the ranges follow; the rest comes at its end.
          UpdateRanges();
        }
      }
    } catch (const EDataNodeGone&) {
      // The node went under a handler: the rows around it moved.
      if (!life.expired()) {
        const TFinishing finishing(*this);
        leave();
        if (!life.expired() && changed) rowsChanged();
      }
      throw;
    } catch (...) {
      leave();
      throw;
    }
    leave();
  });
}

bool TBaseDataTree::ScrollAfterToggle(PDataNode Node, bool Expanded, std::int64_t HeightDelta) {
  const TDTAutoOptions ao = FOptions->AutoOptions();
  const bool above = FOptions->PaintOptions().Contains(toChildrenAbove);
  const bool autoScroll = Expanded && ao.Contains(toAutoScrollOnExpand);
  const std::int64_t offsetY = FOffsetY;
  if (!autoScroll) {
    // Rows that come or go above the node would move it: the view follows
    // so that it stays where it was.
    if (above && HeightDelta != 0) SetOffsetY(clampOffset(offsetY - HeightDelta));
    return true;
  }
  const int clientHeight = ClientHeight();
  if (above) {
    // The new rows lie above the node: show as many of them as fit, but
    // keep the node itself in the window (at worst as its last row).
    const TRect r = GetDisplayRect(Node, NoColumn, false);
    std::int64_t shift = 0;
    if (r.Bottom > clientHeight)
      shift = std::int64_t(clientHeight) - r.Bottom;
    else if (r.Top - HeightDelta < 0)
      shift = std::min<std::int64_t>(HeightDelta - r.Top, std::int64_t(clientHeight) - r.Bottom);
    if (shift != 0) SetOffsetY(clampOffset(offsetY + shift));
    return true;
  }
  // The node with all the rows it opened fits: bring its last row in;
  // otherwise the node goes to the top and shows as many as there is room for.
  if (std::int64_t(Node->TotalHeight) <= clientHeight) {
    TNodeWatch watch(*this, Node);
    PDataNode last = GetLastVisibleNoInit(Node, false);
    if (!last || !watch.Node()) return true;
    return ScrollIntoView(last, false, false);
  }
  SetTopNode(Node);
  return true;
}

void TBaseDataTree::walkInBracket(TDataTreeState State, const std::function<void()>& W) {
  DoStateChange({State});
  // A handler may destroy the tree on the way, or take the node the walk
  // works on: the bracket and the state close on every way out all the
  // same, and opening or closing them is never cut short.
  const TLifeHold life(FEntryLife);
  bool began = false;
  auto close = [&] {
    const TFinishing finishing(*this);
    try {
      if (began) EndUpdate();
    } catch (...) {
      // The owner's failure in the bracket's end leaves the state too.
      if (!life.expired()) DoStateChange({}, {State});
      throw;
    }
    if (!life.expired()) DoStateChange({}, {State});
  };
  try {
    {
      const TFinishing finishing(*this);
      BeginUpdate();
    }
    began = true;
    if (FLostOperations != 0) endLostOperation();
    W();
  } catch (...) {
    if (!life.expired()) close();
    throw;
  }
  if (life.expired()) return;
  close();
  if (!life.expired() && FLostOperations != 0) endLostOperation();
}

void TBaseDataTree::FullExpand(PDataNode Node) {
  NodeEntry(Node, [&] {
    if (FRoot->TotalCount < 2) return;
    if (Node == FRoot) Node = nullptr;
    walkInBracket(tsExpanding, [&] {
      PDataNode stop = nullptr;
      if (Node) {
        // The walk ends at the first node after Node's subtree.
        PDataNode run = Node;
        while (run != FRoot && !run->NextSibling) run = run->Parent;
        stop = run == FRoot ? nullptr : run->NextSibling;
      } else {
        Node = FRoot->FirstChild;
      }
      if (Node && !Node->States.Contains(vsInitialized)) InitNode(Node);
      // A handler deleting the node being expanded, or the node the walk
      // ends at, ends the walk.
      TNodeWatch end(*this, stop);
      while (Node && Node != stop) {
        TNodeWatch current(*this, Node);
        if (!Node->States.Contains(vsExpanded)) ToggleNode(Node);
        if (!current.Node() || (stop && !end.Node())) break;
        Node = GetNext(Node);
      }
    });
  });
}

void TBaseDataTree::FullCollapse(PDataNode Node) {
  NodeEntry(Node, [&] {
    if (FRoot->TotalCount < 2) return;
    if (Node == FRoot) Node = nullptr;
    walkInBracket(tsCollapsing, [&] {
      // Deepest first, so that each collapse only hides rows that are
      // already collapsed below.
      // A handler deleting the node the walk goes on to starts the walk
      // again (nodes collapsed already are passed over); deleting Node
      // itself ends it.
      TNodeWatch top(*this, Node);
      PDataNode run = GetLastVisibleNoInit(Node, false);
      while (run && run != Node) {
        TNodeWatch previous(*this, GetPreviousNoInit(run));
        const bool atStart = !previous.Node();
        if (run->States.Contains(vsExpanded) && run->States.Contains(vsHasChildren))
          ToggleNode(run);
        if (Node && !top.Node()) break;
        run = previous.Node() || atStart ? previous.Node() : GetLastVisibleNoInit(Node, false);
      }
      if (Node && top.Node() && Node->States.Contains(vsExpanded) && Node->States.Contains(vsHasChildren))
        ToggleNode(Node);
    });
  });
}

int TBaseDataTree::NodeHeight(PDataNode Node) {
  return NodeEntry(Node, 0, [&]() -> int {
    if (!Node || Node == FRoot) return 0;
    if (FOptions->MiscOptions().Contains(toVariableNodeHeight)) {
      if (!Node->States.Contains(vsInitialized)) InitNode(Node);
      MeasureItemHeight(Canvas(), Node);
    }
    return Node->NodeHeight;
  });
}

void TBaseDataTree::SetNodeHeight(PDataNode Node, int Value) {
  NodeEntry(Node, [&] {
    if (!Node || Node == FRoot || readOnly()) return;
    if (Value < 0) Value = 0;
    if (Value > 0xFFFF) Value = 0xFFFF;
    if (Value == Node->NodeHeight) return;
    // The state handler told as the cache is given up may delete the node.
    std::optional<TNodeWatch> watch;
    if (OnStateChange) watch.emplace(*this, Node);
    InterruptValidation();
    if (watch && !watch->Node()) return;
    std::int64_t difference = std::int64_t(Value) - Node->NodeHeight;
    Node->NodeHeight = std::uint16_t(Value);
    AdjustTotalHeight(Node, difference, true);
    // The fill was interrupted above; it must run again even when the row is
    // hidden, or the cache stays switched off.
    ExpireCache();
    if (watch && !watch->Node()) return;
    if (FullyVisible(Node)) {
      if (FUpdateCount == 0) {
        InvalidateToBottom(Node);
        UpdateScrollBars(true);
      }
    }
    if (FUpdateCount == 0) InvalidateCache();
  });
}

void TBaseDataTree::MeasureItemHeight(TCanvas* Canvas, PDataNode Node) {
  GuardedEntry([&] {
    if (!Node || Node == FRoot || Node->States.Contains(vsHeightMeasured)) return;
    Node->States.Include(vsHeightMeasured);
    int newHeight = Node->NodeHeight;
    DoMeasureItem(Canvas, Node, newHeight);
    if (newHeight != Node->NodeHeight) {
      // The height the answer asks for belongs to the question: the callers
      // (page keys, the rubber band, hit tests) go on with the row and its
      // neighbours, so what the handlers told of the new height (the state
      // as the cache is given up, the scroll bars) delete waits for the
      // message loop.
      TQueryHandlerCall call(*this);
      SetNodeHeight(Node, newHeight);
    }
  });
}

bool TBaseDataTree::IsVisible(PDataNode Node) {
  if (!Node) Node = FRoot;
  // Only an initialisation raises anything: no entry without one.
  if (Node->States.Contains(vsInitialized)) return Node->States.Contains(vsVisible);
  // The initialisation handler may destroy the tree: false then.
  return GuardedEntry(false, [&] {
    InitNode(Node);
    return Node->States.Contains(vsVisible);
  });
}

void TBaseDataTree::SetVisible(PDataNode Node, bool Value) {
  NodeEntry(Node, [&] {
    if (!Node || Node == FRoot || Value == Node->States.Contains(vsVisible)) return;
    // A row that goes keeps its rows as the deletion counted them (its
    // siblings' runs of hidden rows are no longer noted): it goes as it is.
    if (Node->States.Contains(vsDeleting) || nodeGoing(Node)) return;
    InterruptValidation();
    ++FStructureGen;
    PDataNode parent = Node->Parent;
    bool parentShows = parent == FRoot || (FullyVisible(parent) && parent->States.Contains(vsExpanded));
    std::int64_t rows = 1 + std::int64_t(CountVisibleChildren(Node));
    if (Value) {
      hiddenRunsLeave(Node);
      Node->States.Include(vsVisible);
      hiddenRunsSplit(Node);
      if (parent->States.Contains(vsExpanded))
        AdjustTotalHeight(parent, Node->TotalHeight, true);
      if (parentShows) FVisibleCount += std::uint32_t(rows);
    } else {
      if (parent->States.Contains(vsExpanded))
        AdjustTotalHeight(parent, -std::int64_t(Node->TotalHeight), true);
      if (parentShows) FVisibleCount -= std::uint32_t(rows);
      Node->States.Exclude(vsVisible);
      hiddenRunsJoin(Node);
    }
    DetermineHiddenChildrenFlag(parent);
    rowsChanged();
  });
}

bool TBaseDataTree::HasChildren(PDataNode Node) const {
  return (Node ? Node : FRoot)->States.Contains(vsHasChildren);
}

void TBaseDataTree::SetHasChildren(PDataNode Node, bool Value) {
  NodeEntry(Node, [&] {
    if (!Node || Node == FRoot) return;
    if (Value) {
      Node->States.Include(vsHasChildren);
    } else {
      // The handlers the deletion raises may delete the node too.
      TNodeWatch watch(*this, Node);
      DeleteChildren(Node, true);
      if (!watch.Node()) return;
      Node->States.Exclude(vsHasChildren);
    }
    DetermineHiddenChildrenFlag(Node);
    InvalidateNode(Node);
  });
}
