// Moving and copying nodes within a tree and into another tree, deleting
// the selection, and the selection (or cut/copy set) in tree order.
//
// Within one tree nodes are relinked; into another tree they travel in the
// stream form and the source gives up only what arrived. Owner handlers
// may delete nodes in every event raised here: each loop over remembered
// nodes either keeps them safe from deletion or checks after each handler.
#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <unordered_set>

#include "platform/core/streams.h"
#include "tree/base_tree.h"

namespace {
bool isChildMode(TDTNodeAttachMode Mode) { return Mode == amAddChildFirst || Mode == amAddChildLast; }

}  // namespace

std::vector<PDataNode> TBaseDataTree::stillChildren(PDataNode Parent, const std::vector<PDataNode>& Nodes) const {
  std::vector<PDataNode> result;
  if (!Parent || Nodes.empty()) return result;
  const std::unordered_set<PDataNode> wanted(Nodes.begin(), Nodes.end());
  for (PDataNode child = Parent->FirstChild; child; child = child->NextSibling)
    if (wanted.count(child)) result.push_back(child);
  return result;
}

TBaseDataTree::TListing::TListing(TBaseDataTree& Tree, const std::vector<PDataNode>& Nodes)
    : FTree(Tree), FLife(Tree.FLifeToken), FMarks(Tree.FListings == 0) {
  ++FTree.FListings;
  if (FMarks)
    for (PDataNode node : Nodes) node->Reserved |= nrListed;
  FBaseline = counted();
}

TBaseDataTree::TListing::~TListing() {
  if (!FLife.expired()) --FTree.FListings;
}

bool TBaseDataTree::forEachArrived(PDataNode Parent, const std::vector<PDataNode>& Nodes, const TListing& Listing,
                                   const std::function<void(PDataNode)>& Step) {
  const TLifeHold life(FEntryLife);
  TNodeWatch parent(*this, Parent);
  // Until a handler frees a listed node the list is read as it is (a step
  // deleting its own node frees none of those left). At the first such
  // free what is left of the rest is found once, and from then on each of
  // them is watched: a handler freeing a node at every step costs a step
  // no more than one freeing none.
  std::unique_ptr<std::deque<TNodeWatch>> watched;
  std::size_t i = 0;
  while (i < (watched ? watched->size() : Nodes.size())) {
    PDataNode node = nullptr;
    if (!watched) {
      if (Listing.Freed()) {
        const std::vector<PDataNode> rest =
            stillChildren(parent.Node(), std::vector<PDataNode>(Nodes.begin() + std::ptrdiff_t(i), Nodes.end()));
        watched = std::make_unique<std::deque<TNodeWatch>>();
        for (PDataNode n : rest) {
          Listing.Unmark(n);
          watched->emplace_back(*this, n);
        }
        i = 0;
        continue;
      }
      node = Nodes[i++];
      Listing.Unmark(node);
    } else {
      node = (*watched)[i++].Node();
      // Gone, or moved away from the others.
      if (!node || !parent.Node() || node->Parent != parent.Node()) continue;
    }
    Step(node);
    if (life.expired()) return false;
  }
  return true;
}

bool TBaseDataTree::deleteLastToFirst(const std::vector<PDataNode>& Nodes, const TListing& Listing,
                                      const std::function<bool(PDataNode)>& StillThere) {
  const TLifeHold life(FEntryLife);
  // Until a handler frees a listed node other than the one deleted, the
  // list is read as it is; from then on what is left of it is watched: a
  // handler freeing a node at every step costs a step no more than one
  // freeing none.
  std::unique_ptr<std::deque<TNodeWatch>> watched;
  auto at = [&](std::size_t i) { return watched ? (*watched)[i].Node() : Nodes[i]; };
  for (std::size_t i = Nodes.size(); i-- > 0;) {
    if (!watched && Listing.Freed()) {
      // The list may hold freed nodes now: only those still there go on.
      watched = std::make_unique<std::deque<TNodeWatch>>();
      FWatches.reserve(FWatches.size() + i + 1);
      for (std::size_t j = 0; j <= i; ++j) {
        const bool still = StillThere(Nodes[j]);
        if (still) Listing.Unmark(Nodes[j]);
        watched->emplace_back(*this, still ? Nodes[j] : nullptr);
      }
    }
    PDataNode node = at(i);
    if (!node) continue;
    // Each run of siblings is renumbered by the deletion of its first node.
    PDataNode const next = i > 0 ? at(i - 1) : nullptr;
    const bool reindex = !next || node->Parent != next->Parent;
    if (!watched) Listing.Unmark(node);
    DeleteNode(node, reindex);
    if (life.expired()) return false;
  }
  return true;
}

void TBaseDataTree::MoveTo(PDataNode Source, PDataNode Target, TDTNodeAttachMode Mode, bool ChildrenOnly) {
  GuardedEntry([&] {
    if (!Source || Source == FRoot || Mode == amNoWhere || readOnly()) return;
    TAMRIX_ASSERT(TreeFromNode(Source) == this, "The source tree must contain the source node.");
    if (Target == Source && !(ChildrenOnly && !isChildMode(Mode))) return;
    // Children only of a node without children: nothing to move.
    if (ChildrenOnly && !Source->FirstChild) return;
    // A node in its free handler is out of the tree: it neither comes back
    // nor takes rows.
    if (Source == FFreeingNode || (Target && Target == TreeFromNode(Target)->FFreeingNode)) return;
    TBaseDataTree* targetTree = Target ? TreeFromNode(Target) : this;
    if (!Target) {
      Target = FRoot;
      Mode = amAddChildFirst;
    }
    if (Target == targetTree->FRoot) {
      if (Mode == amInsertBefore) Mode = amAddChildFirst;
      if (Mode == amInsertAfter) Mode = amAddChildLast;
    }
    // A read-only tree gives nothing away and takes nothing in.
    if (targetTree->readOnly()) return;
    // A move out of, into or of a branch that is being freed waits until
    // the branch is gone (see moveWaitsForBranch).
    if (targetTree == this && moveWaitsForBranch(Source, Target, Mode, ChildrenOnly)) return;
    if (targetTree == this && Target != Source && LiesBelow(Target, Source))
      ShowError("Target node cannot be a child node of the node to be moved.", 2001);

    // The target's handlers run as its entry: one that destroys it ends
    // the move there, and this tree goes on as the move left it.
    withOtherTree(*targetTree, [&] {
      // Handlers of either tree may destroy either tree.
      const TLifeHold life(FEntryLife);
      const std::weak_ptr<const bool> targetLife = targetTree->LifeToken();
      auto bothLive = [&] { return !life.expired() && !targetLife.expired(); };
      TNodeWatch source(*this, Source);
      TNodeWatch target(*targetTree, Target);
      // A refused move changes nothing and reports nothing.
      if (!DoNodeMoving(Source, Target == targetTree->FRoot ? nullptr : Target)) return;
      if (!bothLive() || !source.Node() || !target.Node()) return;
      if (Target != targetTree->FRoot) {
        if (!Target->States.Contains(vsInitialized)) targetTree->InitNode(Target);
        if (bothLive() && target.Node() && Target->States.Contains(vsHasChildren) && Target->ChildCount == 0)
          targetTree->InitChildren(Target);
        if (!bothLive() || !source.Node() || !target.Node()) return;
      }

      if (targetTree == this) {
        // The state handler may delete the source or the target.
        InterruptValidation();
        if (!source.Node() || !target.Node()) return;
        std::vector<PDataNode> moved;
        if (!ChildrenOnly) {
          InternalDisconnectNode(Source, true, true);
          InternalConnectNode(Source, Target, this, Mode);
          moved.push_back(Source);
        } else {
          // The children keep their order whatever the mode: the first goes to
          // the target, each next one after the one before it.
          while (PDataNode child = Source->FirstChild) {
            InternalDisconnectNode(child, true, false);
            moved.push_back(child);
          }
          connectRun(moved, Target, Mode);
        }
        if (moved.empty()) return;
        ++FStructureGen;
        // From here on handlers run; they may delete any of the moved nodes.
        const TListing listing(*this, moved);
        TNodeWatch movedParent(*this, moved.front()->Parent);
        ExpireCache();
        if (FUpdateCount == 0) {
          InvalidateCache();
          UpdateScrollBars(true);
          if (life.expired()) return;
          InvalidateWindow();
        }
        if (!forEachArrived(movedParent.Node(), moved, listing, [this](PDataNode node) { DoNodeMoved(node); }))
          return;
        StructureChange(ChildrenOnly || !source.Node() ? nullptr : Source, crNodeMoved);
        return;
      }

      // Into another tree: through the stream form.
      std::vector<PDataNode> written;
      if (ChildrenOnly) {
        for (PDataNode child = Source->FirstChild; child; child = child->NextSibling) written.push_back(child);
      } else {
        written.push_back(Source);
      }
      if (written.empty()) return;
      std::vector<PDataNode> arrived;
      {
        // The target's load handlers must not delete what is being moved.
        TIterationGuard guard(*this);
        TMemoryStream stream;
        WriteNodesToStream(&stream, written);
        // A source gone before it was written whole gives nothing; so does
        // a target tree or row its save handlers took away.
        if (life.expired() || targetLife.expired() || !target.Node()) return;
        stream.SetPosition(0);
        arrived = targetTree->InsertNodesFromStream(&stream, Target, Mode, TreeStreamVersion,
                                                    std::int64_t(written.size()));
      }
      if (!targetLife.expired()) ++targetTree->FStructureGen;
      // The target takes all nodes or, refusing the stream, raises.
      if (arrived.empty() || life.expired() || targetLife.expired()) return;

      // Only what arrived leaves this tree. Its handlers may delete arrivals
      // in the target meanwhile.
      const TListing arrivedListing(*targetTree, arrived);
      PDataNode const arrivedParent = arrived.front()->Parent;
      TNodeWatch arrivedParentWatch(*targetTree, arrivedParent);
      // What was written was kept safe from deletion until now.
      const TListing writtenListing(*this, written);
      BeginUpdate();
      if (life.expired()) return;
      try {
        // Only the remembered nodes that are still children of a living source
        // go on once a handler freed some (found on the first question).
        std::unique_ptr<std::unordered_set<PDataNode>> alive;
        const bool whole = deleteLastToFirst(written, writtenListing, [&](PDataNode node) {
          if (!alive) {
            alive = std::make_unique<std::unordered_set<PDataNode>>();
            if (ChildrenOnly && source.Node())
              for (PDataNode child = Source->FirstChild; child; child = child->NextSibling) alive->insert(child);
          }
          return alive->count(node) > 0;
        });
        if (!whole) return;
      } catch (...) {
        if (!life.expired()) EndUpdate();
        throw;
      }
      EndUpdate();
      if (life.expired() || targetLife.expired()) return;

      if (!targetTree->forEachArrived(arrivedParentWatch.Node(), arrived, arrivedListing,
                                      [this](PDataNode node) { DoNodeMoved(node); }) ||
          life.expired())
        return;
      targetTree->StructureChange(target.Node() && Target != targetTree->FRoot ? Target : nullptr, crNodeMoved);
      if (life.expired()) return;
      StructureChange(ChildrenOnly && source.Node() ? Source : nullptr, crNodeMoved);
    });
  });
}

PDataNode TBaseDataTree::CopyTo(PDataNode Source, PDataNode Target, TDTNodeAttachMode Mode, bool ChildrenOnly) {
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    if (!Source || Source == FRoot || Mode == amNoWhere) return nullptr;
    TAMRIX_ASSERT(TreeFromNode(Source) == this, "The source tree must contain the source node.");
    if (Target && Target == TreeFromNode(Target)->FFreeingNode) return nullptr;
    TBaseDataTree* targetTree = Target ? TreeFromNode(Target) : this;
    if (!Target) {
      Target = FRoot;
      Mode = amAddChildFirst;
    }
    if (targetTree->readOnly()) return nullptr;
    std::vector<PDataNode> written;
    if (ChildrenOnly) {
      for (PDataNode child = Source->FirstChild; child; child = child->NextSibling) written.push_back(child);
    } else {
      written.push_back(Source);
    }
    if (written.empty()) return nullptr;
    // The target's handlers run as its entry: one that destroys it ends
    // the copy there with nothing, and this tree stays as it is.
    return withOtherTree(*targetTree, PDataNode(nullptr), [&]() -> PDataNode {
      // Handlers of either tree may destroy either tree: a copy that lost its
      // source before it was written whole, or its target, ends with nothing.
      const TLifeHold life(FEntryLife);
      const std::weak_ptr<const bool> targetLife = targetTree->LifeToken();
      TNodeWatch target(*targetTree, Target);
      std::vector<PDataNode> arrived;
      {
        TMemoryStream stream;
        WriteNodesToStream(&stream, written);
        if (life.expired() || targetLife.expired() || !target.Node()) return nullptr;
        stream.SetPosition(0);
        // The copy is taken before it goes in: copying a node into itself
        // copies what it was.
        arrived = targetTree->InsertNodesFromStream(&stream, Target, Mode, TreeStreamVersion,
                                                    std::int64_t(written.size()));
      }
      if (arrived.empty() || targetLife.expired()) return nullptr;
      ++targetTree->FStructureGen;
      // A copying handler may delete the target: the later ones are told of
      // no target then.
      auto parentForEvent = [&]() -> PDataNode { return target.Node() != targetTree->FRoot ? target.Node() : nullptr; };
      TNodeWatch first(*targetTree, nullptr);
      const TListing listing(*targetTree, arrived);
      const bool whole = targetTree->forEachArrived(arrived.front()->Parent, arrived, listing, [&](PDataNode node) {
        const TStepWatch watch(*targetTree, node, targetTree->raisesOnCopy());
        if (!targetTree->DoNodeCopying(node, parentForEvent())) {
          if (watch.Node() && !targetLife.expired()) targetTree->DeleteNode(node, true);
          return;
        }
        if (!watch.Node() || targetLife.expired()) return;
        if (!first.Node()) first.Reset(node);
        targetTree->DoNodeCopied(node);
      });
      if (!whole) return nullptr;
      targetTree->StructureChange(parentForEvent(), crNodeCopied);
      if (targetLife.expired()) return nullptr;
      return first.Node();
    });
  });
}

// ---- the selection in tree order ---------------------------------------------------

std::vector<PDataNode> TBaseDataTree::sortedSet(TDataNodeState Flag, bool Resolve) {
  std::vector<PDataNode> result;
  auto hasFlaggedAncestor = [&](PDataNode node) {
    for (PDataNode run = node->Parent; run != FRoot; run = run->Parent)
      if (run->States.Contains(Flag)) return true;
    return false;
  };
  if (Flag == vsSelected) {
    if (FSelectionCount == 0) return result;
    for (std::uint32_t i = 0; i < FSelectionCount; ++i) {
      PDataNode node = FSelection[i];
      if (!(reinterpret_cast<std::uintptr_t>(node) & 1)) result.push_back(node);
    }
    // Sorting by position costs a walk up the parents per comparison; a
    // selection large against the tree is found faster by one walk.
    const double k = double(result.size());
    if (k * std::log2(k + 2) * 4 < double(FRoot->TotalCount)) {
      std::sort(result.begin(), result.end(),
                [this](PDataNode a, PDataNode b) { return CompareNodePositions(a, b) < 0; });
      if (Resolve)
        result.erase(std::remove_if(result.begin(), result.end(), hasFlaggedAncestor), result.end());
      return result;
    }
    result.clear();
  }
  // Pre-order walk; with Resolve the subtree of a node taken is skipped.
  PDataNode run = FRoot->FirstChild;
  while (run) {
    const bool taken = run->States.Contains(Flag);
    if (taken) {
      if (result.size() == result.capacity()) result.reserve(std::max<std::size_t>(100, result.size() * 11 / 10));
      result.push_back(run);
    }
    if (run->FirstChild && !(taken && Resolve)) {
      run = run->FirstChild;
      continue;
    }
    while (run != FRoot && !run->NextSibling) run = run->Parent;
    run = run == FRoot ? nullptr : run->NextSibling;
  }
  return result;
}

std::vector<PDataNode> TBaseDataTree::GetSortedSelection(bool Resolve) { return sortedSet(vsSelected, Resolve); }

std::vector<PDataNode> TBaseDataTree::GetSortedCutCopySet(bool Resolve) { return sortedSet(vsCutOrCopy, Resolve); }

void TBaseDataTree::DeleteSelectedNodes() {
  GuardedEntry([&] {
    if (FSelectionCount == 0 || readOnly()) return;
    // The handlers of the deletions may destroy the tree.
    const TLifeHold life(FEntryLife);
    BeginUpdate();
    if (life.expired()) return;
    try {
      // Once a handler freed other nodes, what is still selected goes on: a
      // freed node left the selection (it is found there without being read).
      const std::vector<PDataNode> selected = GetSortedSelection(true);
      const TListing listing(*this, selected);
      const bool whole = deleteLastToFirst(selected, listing, [this](PDataNode node) {
        int index;
        return FindNodeInSelection(node, index, -1, -1);
      });
      if (!whole) return;
    } catch (...) {
      if (!life.expired()) EndUpdate();
      throw;
    }
    EndUpdate();
  });
}

void TBaseDataTree::ValidateNode(PDataNode Node, bool Recursive) {
  // The initialisation handlers may destroy the tree: a call of the
  // program is an entry.
  GuardedEntry([&] {
    if (!Node) Node = FRoot;
    if (!Node->States.Contains(vsInitialized)) InitNode(Node);
    if (!Recursive) return;
    TIterationGuard guard(*this);
    // Pre-order over the subtree, children created as it goes.
    PDataNode run = Node;
    for (;;) {
      if (!run->States.Contains(vsInitialized)) InitNode(run);
      if (run->States.Contains(vsHasChildren) && run->ChildCount == 0) InitChildren(run);
      if (run->FirstChild) {
        run = run->FirstChild;
        continue;
      }
      while (run != Node && !run->NextSibling) run = run->Parent;
      if (run == Node) break;
      run = run->NextSibling;
    }
  });
}

void TBaseDataTree::ValidateChildren(PDataNode Node, bool Recursive) {
  GuardedEntry([&] {
    if (!Node) Node = FRoot;
    if (Node->States.Contains(vsHasChildren) && Node->ChildCount == 0) InitChildren(Node);
    TNodeWatch parent(*this, Node);
    for (PDataNode child = Node->FirstChild; child && parent.Node();) {
      TNodeWatch next(*this, child->NextSibling);
      ValidateNode(child, Recursive);
      child = next.Node();
    }
  });
}
