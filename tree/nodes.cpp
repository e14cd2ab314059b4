// Node store: creating, linking, counting and deleting nodes, and the update
// bracket that defers the follow-up work to its outermost end.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <optional>

#include "platform/gui/windows.h"
#include "tree/base_tree.h"

namespace {
constexpr std::uint16_t clampHeight(std::int64_t h) {
  return std::uint16_t(h < 0 ? 0 : (h > 0xFFFF ? 0xFFFF : h));
}
}  // namespace

void ShowError(const char* Msg, int HelpContext) { throw EDataTreeError(Msg, HelpContext); }

TBaseDataTree* TreeFromNode(PDataNode Node) {
  TAMRIX_ASSERT(Node != nullptr, "Node must not be nil.");
  // The hidden root is the one node whose next-sibling link points to itself.
  while (Node->NextSibling != Node) Node = Node->Parent;
  return reinterpret_cast<TBaseDataTree*>(Node->Parent);
}

void TBaseDataTree::createRoot() {
  std::size_t size = NodeHeaderSize + std::size_t(FInternalDataSize);
  auto* root = static_cast<PDataNode>(std::calloc(1, size));
  if (!root) throw std::bad_alloc();
  root->Parent = reinterpret_cast<PDataNode>(this);
  root->PrevSibling = root;
  root->NextSibling = root;
  root->States = TDataNodeStates::FromBits(
      nodeMask(vsInitialized, vsExpanded, vsHasChildren, vsVisible));
  root->TotalCount = 1;
  root->NodeHeight = clampHeight(FDefaultNodeHeight);
  root->TotalHeight = root->NodeHeight;
  root->Align = 50;
  FRoot = root;
}

PDataNode TBaseDataTree::MakeNewNode() {
  if (FNodeDataSize == -1 && !ComponentState().Contains(csDesigning)) {
    int size = -1;
    DoGetNodeDataSize(size);
    FNodeDataSize = size < -1 ? -1 : size;
  }
  std::size_t userSize = FNodeDataSize > 0 ? std::size_t(FNodeDataSize) : 0;
  auto* node = static_cast<PDataNode>(FNodeArena.Allocate(userDataOffset() + userSize));
  node->TotalCount = 1;
  node->NodeHeight = clampHeight(FDefaultNodeHeight);
  node->TotalHeight = node->NodeHeight;
  node->States = TDataNodeStates::FromBits(nodeMask(vsVisible));
  node->Align = 50;
  return node;
}

void RenumberChildren(PDataNode Parent) {
  Parent->Reserved &= std::uint8_t(~nrChildIndicesStale);
  std::uint32_t index = 0;
  for (PDataNode run = Parent->FirstChild; run; run = run->NextSibling) run->Index = index++;
}

void TBaseDataTree::forgetNodeNoted(PDataNode Node) {
  if (!FDeferredSet.empty()) FDeferredSet.erase(Node);
  if (!FBranchRequested.empty()) FBranchRequested.erase(Node);
  if (Node->Reserved & nrListed) ++FListedFreed;
}

// ---- counts ------------------------------------------------------------------

void TBaseDataTree::AdjustTotalCount(PDataNode Node, std::int64_t Value, bool Relative) {
  if (!Node) return;
  std::int64_t difference = Relative ? Value : Value - std::int64_t(Node->TotalCount);
  if (difference == 0) return;
  for (PDataNode run = Node;; run = run->Parent) {
    run->TotalCount = std::uint32_t(std::int64_t(run->TotalCount) + difference);
    if (run == FRoot) break;
  }
}

void TBaseDataTree::AdjustTotalHeight(PDataNode Node, std::int64_t Value, bool Relative) {
  if (!Node) return;
  std::int64_t difference = Relative ? Value : Value - std::int64_t(Node->TotalHeight);
  if (difference == 0) return;
  PDataNode run = Node;
  for (;;) {
    run->TotalHeight = std::uint32_t(std::int64_t(run->TotalHeight) + difference);
    // Only a visible node below an expanded parent contributes to it.
    if (run == FRoot || !run->States.Contains(vsVisible)) break;
    PDataNode parent = run->Parent;
    if (!parent || !parent->States.Contains(vsExpanded)) break;
    run = parent;
  }
}

void TBaseDataTree::FixupTotalCount(PDataNode Node) {
  if (!Node || !Node->FirstChild) return;
  // Post-order without recursion: a node is final when it is left, and then
  // adds itself to its parent. Stream data may nest arbitrarily deep.
  auto descend = [](PDataNode n) {
    while (n->FirstChild) n = n->FirstChild;
    return n;
  };
  PDataNode run = descend(Node->FirstChild);
  while (run != Node) {
    run->Parent->TotalCount += run->TotalCount;
    run = run->NextSibling ? descend(run->NextSibling) : run->Parent;
  }
}

void TBaseDataTree::FixupTotalHeight(PDataNode Node) {
  if (!Node || !Node->FirstChild) return;
  auto descend = [](PDataNode n) {
    while (n->FirstChild) n = n->FirstChild;
    return n;
  };
  PDataNode run = descend(Node->FirstChild);
  while (run != Node) {
    PDataNode parent = run->Parent;
    if (run->States.Contains(vsVisible) && parent->States.Contains(vsExpanded))
      parent->TotalHeight += run->TotalHeight;
    run = run->NextSibling ? descend(run->NextSibling) : parent;
  }
}

// ---- properties ------------------------------------------------------------

void TBaseDataTree::SetNodeDataSize(int Value) {
  GuardedEntry([&] {
    if (Value < -1) Value = -1;
    if (Value == FNodeDataSize) return;
    // Nodes keep the data block they were made with. Nodes that cannot be
    // made again (read-only, or while loading) would promise more bytes than
    // they have: refuse the change instead.
    const bool canRemake = !readOnly() && !ComponentState().Contains(csLoading) &&
                           !ComponentState().Contains(csDesigning);
    if (FRoot->TotalCount > 1 && !canRemake)
      ShowError("The node data size cannot change while nodes exist that cannot be made again.", 0);
    FNodeDataSize = Value;
    if (ComponentState().Contains(csLoading) || ComponentState().Contains(csDesigning)) return;
    std::uint32_t lastRootCount = FRoot->ChildCount;
    Clear();
    SetRootNodeCount(lastRootCount);
  });
}

void TBaseDataTree::SetRootNodeCount(std::uint32_t Value) {
  GuardedEntry([&] {
    if (ComponentState().Contains(csLoading)) {
      FRoot->ChildCount = Value;
      DoStateChange({tsNeedRootCountUpdate});
      return;
    }
    if (Value == FRoot->ChildCount) return;
    BeginUpdate();
    const TLifeHold life(FEntryLife);
    try {
      InterruptValidation();
      SetChildCount(FRoot, Value);
    } catch (...) {
      if (!life.expired()) EndUpdate();
      throw;
    }
    if (!life.expired()) EndUpdate();
  });
}

void TBaseDataTree::Loaded() {
  TCustomControl::Loaded();
  if (FStates.Contains(tsNeedRootCountUpdate)) {
    DoStateChange({}, {tsNeedRootCountUpdate});
    // The count stored while loading stands in the root without the nodes;
    // give the root back its real count and create the nodes now, also in a
    // tree that the same form data made read-only.
    std::uint32_t wanted = FRoot->ChildCount;
    std::uint32_t real = 0;
    for (PDataNode run = FRoot->FirstChild; run; run = run->NextSibling) ++real;
    FRoot->ChildCount = real;
    const TDTMiscOptions misc = FOptions->MiscOptions();
    const bool wasReadOnly = misc.Contains(toReadOnly);
    if (wasReadOnly) FOptions->SetMiscOptions(misc - TDTMiscOptions{toReadOnly});
    const TLifeHold life(FEntryLife);
    try {
      SetRootNodeCount(wanted);
    } catch (...) {
      if (wasReadOnly && !life.expired())
        FOptions->SetMiscOptions(FOptions->MiscOptions() + TDTMiscOptions{toReadOnly});
      throw;
    }
    if (life.expired()) return;
    if (wasReadOnly) FOptions->SetMiscOptions(FOptions->MiscOptions() + TDTMiscOptions{toReadOnly});
  }
  // The header read its columns with the tree: settle its main column,
  // display order and sizes now.
  TDataTreeColumns& columns = Header().Columns();
  if (columns.Count() > 0) {
    columns.BeginUpdate();
    Header().SetMainColumn(std::clamp<TColumnIndex>(std::max<TColumnIndex>(Header().MainColumn(), 0), 0,
                                                    columns.Count() - 1));
    columns.UpdatePositions(true);
    if (FOptions->AutoOptions().Contains(toAutoBidiColumnOrdering))
      columns.ReorderColumns(UseRightToLeftAlignment());
    columns.EndUpdate();
    const TLifeHold life(FEntryLife);
    Header().RecalculateHeader();
    if (life.expired()) return;
    if (Header().Options().Contains(hoAutoResize)) columns.AdjustAutoSize(InvalidColumn, true);
  }
}

std::uint32_t TBaseDataTree::ChildCount(PDataNode Node) const {
  return (Node ? Node : FRoot)->ChildCount;
}

// Links Count new children after Node's last one and counts them; the
// caller told the worker to stop and tells the structure change.
inline void TBaseDataTree::appendChildren(PDataNode Node, std::uint32_t Count) {
  if (!Node->LastChild) Node->States.Include(vsHasChildren);
  Node->States.ExcludeMask(nodeMask(vsAllChildrenHidden, vsHeightMeasured));

  ++FStructureGen;
  std::int64_t heightSum = 0;
  std::uint32_t made = 0;
  bool failed = false;
  try {
    for (; made < Count; ++made) {
      PDataNode child = MakeNewNode();
      SetAppendedIndex(Node, child);
      child->Parent = Node;
      child->PrevSibling = Node->LastChild;
      if (Node->LastChild)
        Node->LastChild->NextSibling = child;
      else
        Node->FirstChild = child;
      Node->LastChild = child;
      heightSum += child->NodeHeight;
    }
  } catch (const std::bad_alloc&) {
    // Keep the counts consistent with what was linked before failing.
    Count = made;
    failed = true;
  }
  if (Node->States.Contains(vsExpanded)) {
    AdjustTotalHeight(Node, heightSum, true);
    if (FullyVisible(Node)) FVisibleCount += Count;
  }
  AdjustTotalCount(Node, Count, true);
  Node->ChildCount += Count;
  // New nodes are visible and go at the end: no run of hidden siblings
  // changes.
  if (failed) {
    ExpireCache();
    throw std::bad_alloc();
  }
}

void TBaseDataTree::SetChildCount(PDataNode Node, std::uint32_t NewCount) {
  NodeEntry(Node, [&] {
    if (readOnly() || (Node && Node == FFreeingNode)) return;
    if (!Node) Node = FRoot;
    if (NewCount == 0) {
      DeleteChildren(Node, false);
      return;
    }
    if (NewCount == Node->ChildCount) return;

    if (OnStateChange && Node != FRoot) {
      // The state handler may delete the node.
      TNodeWatch watch(*this, Node);
      InterruptValidation();
      if (!watch.Node()) return;
    } else {
      InterruptValidation();
    }
    if (NewCount < Node->ChildCount && deletionMustWait(Node)) {
      deferChildrenDeletion(Node, NewCount);
      return;
    }
    if (NewCount < Node->ChildCount && branchGoing()) {
      std::uint32_t index = 0;
      for (PDataNode run = Node->FirstChild; run; run = run->NextSibling, ++index)
        if (index >= NewCount) requestWhileBranchGoes(run, TBranchRequestKind::Node);
      return;
    }
    if (NewCount < Node->ChildCount) {
      // Follow-up work is queued once, below, not per deleted node. The
      // handlers told of each may delete Node or destroy the tree.
      const TLifeHold life(FEntryLife);
      TNodeWatch watch(*this, Node == FRoot ? nullptr : Node);
      // What the deletions leave behind once the node itself went.
      auto nodeWent = [&] {
        if (FUpdateCount == 0) PackArray();
        rowsChanged();
      };
      ++FUpdateCount;
      try {
        while (Node->ChildCount > NewCount && Node->LastChild) {
          DeleteNode(Node->LastChild, true);
          if (life.expired()) return;
          if (Node != FRoot && !watch.Node()) break;
        }
      } catch (const EDataNodeGone&) {
        if (life.expired()) throw;
        --FUpdateCount;
        const TFinishing finishing(*this);
        nodeWent();
        throw;
      } catch (...) {
        if (!life.expired()) --FUpdateCount;
        throw;
      }
      --FUpdateCount;
      if (Node != FRoot && !watch.Node()) {
        nodeWent();
        return;
      }
      // Selected nodes among the deleted ones were only flagged in the array.
      if (FUpdateCount == 0) PackArray();
    } else {
      appendChildren(Node, NewCount - Node->ChildCount);
    }
    rowsChanged();
    StructureChange(Node == FRoot ? nullptr : Node, crChildAdded);
  });
}

PDataNode TBaseDataTree::AddChild(PDataNode Parent, void* UserData) {
  return GuardedEntry(PDataNode(nullptr), [&] { return addChild(Parent, UserData); });
}

PDataNode TBaseDataTree::addChild(PDataNode Parent, void* UserData) {
  if (readOnly()) return nullptr;
  if (FStates.Contains(tsEditing) || FStates.Contains(tsEditPending)) CancelEditNode();
  if (!Parent) Parent = FRoot;
  if (Parent == FFreeingNode) return nullptr;
  // The handlers raised below may destroy the tree: nothing of it is
  // touched after one did.
  const TEntryLifeView life = entryLife();
  if (!Parent->States.Contains(vsInitialized)) {
    InitNode(Parent);
    if (life.expired()) return nullptr;
  }

  ++FUpdateCount;
  // Only the state handler runs while the child is added (when the
  // worker is stopped); it may delete the parent.
  std::optional<TNodeWatch> parentWatch;
  if (OnStateChange && Parent != FRoot) parentWatch.emplace(*this, Parent);
  try {
    InterruptValidation();
    if (!life.expired() && !(parentWatch && !parentWatch->Node())) {
      appendChildren(Parent, 1);
      ExpireCache();
      // Within the bracket (FUpdateCount) the change is only noted: every
      // child added to one parent notes the same.
      PDataNode const reported = Parent == FRoot ? nullptr : Parent;
      if (!sameStructureChangeWaiting(reported, crChildAdded)) StructureChange(reported, crChildAdded);
    }
  } catch (...) {
    if (!life.expired()) --FUpdateCount;
    throw;
  }
  if (life.expired()) return nullptr;
  --FUpdateCount;
  if (parentWatch && !parentWatch->Node()) return nullptr;
  Parent->States.Exclude(vsAllChildrenHidden);

  PDataNode result = Parent->LastChild;
  // A pointer given with the node goes into the first bytes of its user
  // data; that needs room for a whole pointer on this platform.
  bool noRoom = false;
  if (UserData) {
    if (FNodeDataSize >= int(sizeof(void*))) {
      std::memcpy(GetNodeData(result), &UserData, sizeof(void*));
      result->States.Include(vsUserDataPointer);
    } else {
      noRoom = true;
    }
  }

  // Adding the child has already expired the position cache.
  if (FUpdateCount == 0) {
    // The state handler (told as the cache is given up) and the structure
    // handler may delete the parent or the new node too.
    TNodeWatch parent(*this, Parent);
    TNodeWatch added(*this, result);
    InvalidateCache();
    if (life.expired()) return nullptr;
    if (!parent.Node()) return nullptr;
    if (FStates.Contains(tsStructureChangePending)) {
      StructureChange(Parent == FRoot ? nullptr : Parent, crChildAdded);
      if (life.expired()) return nullptr;
      if (!parent.Node()) return nullptr;
    }
    if (FOptions->AutoOptions().Contains(toAutoSort) && Header().SortColumn() > InvalidColumn) {
      Sort(Parent, Header().SortColumn(), Header().SortDirection(), true);
      if (life.expired()) return nullptr;
    }
    if (!parent.Node()) return nullptr;
    InvalidateToBottom(Parent);
    UpdateScrollBars(true);
    if (life.expired()) return nullptr;
    result = added.Node();
    if (!result) return nullptr;
  }
  if (noRoom)
    ShowError("Cannot set initial user data because there is not enough user data space allocated.",
              2008);
  return result;
}

void TBaseDataTree::InternalDisconnectNode(PDataNode Node, bool KeepFocus, bool /*Reindex*/) {
  PDataNode parent = Node->Parent;
  bool parentClearing = parent->States.Contains(vsClearing);

  // A node deleted with its siblings was already taken off the visible count.
  if (!Node->States.Contains(vsDeleting) && FullyVisible(Node))
    FVisibleCount -= 1 + CountVisibleChildren(Node);

  if (!parentClearing) {
    AdjustTotalCount(parent, -std::int64_t(Node->TotalCount), true);
    if (Node->States.Contains(vsVisible) && parent->States.Contains(vsExpanded))
      AdjustTotalHeight(parent, -std::int64_t(Node->TotalHeight), true);
  }

  hiddenRunsUnlinking(Node);
  if (Node->PrevSibling)
    Node->PrevSibling->NextSibling = Node->NextSibling;
  else
    parent->FirstChild = Node->NextSibling;
  if (Node->NextSibling) {
    Node->NextSibling->PrevSibling = Node->PrevSibling;
    // The siblings behind the gap are renumbered when an Index is next
    // read; that costs nothing now, so it is done whatever Reindex says.
    MarkChildIndicesStale(parent);
  } else {
    parent->LastChild = Node->PrevSibling;
  }
  if (parent->ChildCount > 0) --parent->ChildCount;
  // A parent whose last child went shows no button and is not asked for
  // children again, but it stays open: its owner was told it expanded and
  // never that it collapsed, and a child added later shows at once.
  if (!Node->States.Contains(vsDeleting) && parent->ChildCount == 0) {
    parent->States.Exclude(vsHasChildren);
    DetermineHiddenChildrenFlag(parent);
  }

  Node->Parent = nullptr;
  Node->PrevSibling = nullptr;
  Node->NextSibling = nullptr;

  if (!KeepFocus && Node == FFocusedNode) {
    FFocusedNode = nullptr;
    DoFocusChange(nullptr, FFocusedColumn);
  }
  // A range selection then starts again from the focused node.
  if (Node == FRangeAnchor) ResetRangeAnchor();
}

bool TBaseDataTree::loseFocusInBranch(PDataNode Node, bool WithNode) {
  if (!FFocusedNode || FDestroying) return true;
  if (!(WithNode && FFocusedNode == Node) && !LiesBelow(FFocusedNode, Node)) return true;
  // Told while the branch is still whole: the handler meets none of it
  // freed, and what it deletes goes with the usual bookkeeping.
  TNodeWatch watch(*this, Node);
  FFocusedNode = nullptr;
  DoFocusChange(nullptr, FFocusedColumn);
  return !watch.TreeGone() && watch.Node();
}

bool TBaseDataTree::nodeInGoingBranch(PDataNode Node) const {
  for (const TGoingBranch* branch = FGoingBranches; branch; branch = branch->Outer) {
    // A root freed by a handler took its branch with it.
    const PDataNode root = branch->Root.Node();
    if (root && ((branch->WithRoot && Node == root) || LiesBelow(Node, root))) return true;
  }
  return false;
}

void TBaseDataTree::DeleteNode(PDataNode Node, bool Reindex) {
  GuardedEntry([&] {
    if (!Node || Node == FRoot) return;
    if (readOnly() && !FDestroying) return;
    // A node whose children would have to wait goes with them, later.
    if (deletionMustWait(Node->Parent) || (Node->FirstChild && deletionMustWait(Node))) {
      deferDeletion(Node);
      return;
    }
    if (branchGoing()) {
      requestWhileBranchGoes(Node, TBranchRequestKind::Node);
      return;
    }
    // The painter holds the node it draws and walks on to the next one: a
    // handler deleting nodes meanwhile would leave it with freed memory.
    if (FStates.Contains(tsPainting) && !FDestroying)
      ShowError("Nodes cannot be deleted while the tree is being painted.", 0);
    // A walk whose handler destroys the whole tree stops on its token.
    TAMRIX_ASSERT(FDestroying || !FStates.Contains(tsIterating),
                  "Deleting nodes during tree iteration leads to invalid pointers.");
    if (!Node->Parent->States.Contains(vsClearing)) {
      deleteAnnounced(Node, Reindex);
      return;
    }
    // Only a free handler run while the tree is being destroyed gets here.
    deleteGoingChild(Node, Reindex, nullptr);
  });
}

bool TBaseDataTree::deleteGoingChild(PDataNode Node, bool Reindex, const std::weak_ptr<const bool>* Life) {
  // Nothing is told and no handler runs but the free handler. Its branch
  // goes in one walk, however deep. Its shown rows go off the count before
  // its children do (the loop over its siblings did that already).
  if (!Node->States.Contains(vsDeleting)) {
    if (FullyVisible(Node)) FVisibleCount -= 1 + CountVisibleChildren(Node);
    Node->States.Include(vsDeleting);
  }
  if (Node->States.Contains(vsSelected)) InternalRemoveFromSelection(Node);
  if (!freeDescendants(Node, Life)) return false;
  removeNode(Node, Reindex, nullptr);
  return !Life || !Life->expired();
}

void TBaseDataTree::requestWhileBranchGoes(PDataNode Node, TBranchRequestKind Kind, bool ResetHasChildren) {
  FBranchRequests.push_back({Node, Kind, ResetHasChildren});
  if (Node) ++FBranchRequested[Node];
}

bool TBaseDataTree::moveWaitsForBranch(PDataNode Source, PDataNode Target, TDTNodeAttachMode Mode,
                                       bool ChildrenOnly) {
  if (!branchGoing() || !FGoingBranches) return false;
  // Out of a going branch, of a going row, into a going row, or into the
  // children of a node whose children are going: the branch's freeing walk
  // owns these links until it ends.
  const bool childMode = Mode == amAddChildFirst || Mode == amAddChildLast;
  PDataNode const into = !Target || Target == FRoot ? FRoot : (childMode ? Target : Target->Parent);
  if (!nodeGoing(Source) && !nodeGoing(into) && !into->States.Contains(vsClearing) &&
      !(ChildrenOnly && Source->States.Contains(vsClearing)))
    return false;
  FBranchRequests.push_back({Source, TBranchRequestKind::Move, false, Target, Mode, ChildrenOnly});
  ++FBranchRequested[Source];
  if (Target) ++FBranchRequested[Target];
  return true;
}

void TBaseDataTree::abandonBranchDeletion() {
  // What was asked for meanwhile is dropped with the failure.
  FBranchRequests.clear();
  FBranchRequested.clear();
  if (FBranchFocusLost) {
    FBranchFocusLost = false;
    if (!FFocusedNode) DoFocusChange(nullptr, FFocusedColumn);
  }
}

void TBaseDataTree::finishBranchDeletion() {
  // The requests carried out below end in deletions that come back here:
  // the loop below takes what they ask, rather than one call per request
  // nested in the last.
  if (FFinishingBranch) return;
  const TLifeHold life(FEntryLife);
  FFinishingBranch = true;
  struct TFinishing {
    TBaseDataTree* Tree;
    const TLifeHold& Life;
    ~TFinishing() {
      if (!Life.expired()) Tree->FFinishingBranch = false;
    }
  } finishing{this, life};
  while (FBranchFocusLost || !FBranchRequests.empty()) {
    // Unless a handler focused another node meanwhile.
    if (FBranchFocusLost) {
      FBranchFocusLost = false;
      if (!FFocusedNode) DoFocusChange(nullptr, FFocusedColumn);
      if (life.expired()) return;
    }
    // Each request is carried out unless its node went meanwhile; those
    // made while carrying them out follow.
    std::vector<TBranchRequest> requests;
    requests.swap(FBranchRequests);
    for (const TBranchRequest& request : requests) {
      if (request.Kind == TBranchRequestKind::Clear) {
        Clear();
      } else {
        // Takes a node's hold of the request; false when the node went.
        auto take = [this](PDataNode Node) {
          const auto it = FBranchRequested.find(Node);
          if (it == FBranchRequested.end()) return false;
          if (--it->second == 0) FBranchRequested.erase(it);
          return true;
        };
        const bool nodeLives = take(request.Node);
        // A move goes on only while both its row and its target live.
        const bool targetLives = request.Kind != TBranchRequestKind::Move || !request.Target || take(request.Target);
        if (!nodeLives || !targetLives) continue;
        if (request.Kind == TBranchRequestKind::Move)
          MoveTo(request.Node, request.Target, request.Mode, request.ChildrenOnly);
        else if (request.Kind == TBranchRequestKind::Node)
          DeleteNode(request.Node);
        else
          DeleteChildren(request.Node, request.ResetHasChildren);
      }
      if (life.expired()) return;
    }
  }
}

bool TBaseDataTree::freeDescendants(PDataNode Node, const std::weak_ptr<const bool>* Life) {
  if (!Node->FirstChild) return true;
  if (FStates.Contains(tsHint)) DoStateChange({}, {tsHint});
  // Deepest last child first, as the children of a cleared node go: each
  // node is a leaf when it goes, so the links stay whole for the free
  // handler. A node goes only once its parent's children are all gone, and
  // the parent's last child is read again after every free handler: rows a
  // handler added to the branch go with it.
  auto descend = [this](PDataNode n) {
    while (n->LastChild) {
      forgetHiddenRuns(n);
      n = n->LastChild;
    }
    return n;
  };
  forgetHiddenRuns(Node);
  PDataNode run = descend(Node->LastChild);
  while (run != Node) {
    PDataNode parent = run->Parent;
    passFollowingWatches(run);
    if (run->States.Contains(vsSelected)) InternalRemoveFromSelection(run);
    // A leaf, but not always its parent's last child: a handler may have
    // added a sibling after it (or after an ancestor it went up to).
    if (run->NextSibling)
      run->NextSibling->PrevSibling = run->PrevSibling;
    else
      parent->LastChild = run->PrevSibling;
    if (run->PrevSibling)
      run->PrevSibling->NextSibling = run->NextSibling;
    else
      parent->FirstChild = run->NextSibling;
    if (parent->ChildCount > 0) --parent->ChildCount;
    run->PrevSibling = nullptr;
    run->NextSibling = nullptr;
    // The loss was told before the branch began to go; a focus a handler
    // put back into it is told once the branch is gone.
    if (run == FFocusedNode) {
      FFocusedNode = nullptr;
      FBranchFocusLost = true;
    }
    if (run == FRangeAnchor) ResetRangeAnchor();
    try {
      DoFreeNode(run);
    } catch (...) {
      if (Life && Life->expired()) throw;
      // The node went all the same; the branch above it stays, counted and
      // noted again from what is left, deepest first.
      keepBranchLeft(Node, parent);
      throw;
    }
    if (Life && Life->expired()) return false;
    // Moves into the branch, and deletions, wait for its end.
    run = parent->LastChild ? descend(parent->LastChild) : parent;
  }
  Node->States.Exclude(vsExpanded);
  Node->TotalCount = 1;
  Node->TotalHeight = Node->NodeHeight;
  return true;
}

void TBaseDataTree::deleteAnnounced(PDataNode Node, bool Reindex) {
  PDataNode parent = Node->Parent;
  // The structure-change and change handlers run before the node goes and
  // may delete it themselves (or its parent): then nothing is left to do.
  TNodeWatch watch(*this, Node);
  InterruptValidation();
  StructureChange(parent == FRoot ? nullptr : parent, crChildDeleted);
  if (!watch.Node()) return;
  const TGoingBranch going(*this, watch, true);
  if (!loseFocusInBranch(Node, true)) return;
  // The handlers may have moved the node elsewhere.
  parent = Node->Parent;

  int lastOffsetX = FOffsetX;
  int lastOffsetY = FOffsetY;
  // Packing walks the whole selection: only worth it when something in it
  // may have been flagged for removal.
  const bool touchesSelection = Node->States.Contains(vsSelected) || Node->ChildCount > 0;

  if (Node->States.Contains(vsSelected)) {
    if (FUpdateCount == 0) {
      bool wasSynch = FStates.Contains(tsSynchMode);
      DoStateChange({tsSynchMode});
      try {
        RemoveFromSelection(Node);
      } catch (...) {
        if (!wasSynch && !watch.TreeGone()) DoStateChange({}, {tsSynchMode});
        throw;
      }
      if (!wasSynch) DoStateChange({}, {tsSynchMode});
      if (!watch.Node()) return;
    } else {
      InternalRemoveFromSelection(Node);
    }
  }
  InvalidateToBottom(parent);
  if (!removeNode(Node, Reindex, &watch)) return;

  DetermineHiddenChildrenFlag(parent);
  ExpireCache();
  if (FUpdateCount == 0) {
    if (touchesSelection) PackArray();
    InvalidateCache();
    UpdateScrollBars(true);
    if (lastOffsetX != FOffsetX || lastOffsetY != FOffsetY) InvalidateWindow();
  }
  if (FBranchDepth == 0) finishBranchDeletion();
}

bool TBaseDataTree::removeNode(PDataNode Node, bool Reindex, const TNodeWatch* Watch) {
  PDataNode parent = Node->Parent;
  if (FStates.Contains(tsHint)) DoStateChange({}, {tsHint});
  // A child of a node being cleared goes under its parent's loop, which
  // holds the cache; here the handlers may destroy the tree.
  std::optional<TToggleCacheHold> hold;
  if (Watch) hold.emplace(FCacheHold, LifeToken());
  if (Node->FirstChild || Node->ChildCount > 0) DeleteChildren(Node, false);
  // The children's structure change was told: its handler may have
  // deleted the node already, with all the bookkeeping.
  if (Watch && (Watch->TreeGone() || !Watch->Node())) return false;
  // Or added rows to it again: they go with it. (A deletion that waits
  // leaves the first child as it was, and ends this.)
  for (PDataNode first = nullptr; Watch && Node->FirstChild && Node->FirstChild != first;) {
    first = Node->FirstChild;
    DeleteChildren(Node, false);
    if (Watch->TreeGone() || !Watch->Node()) return false;
  }
  passFollowingWatches(Node);
  // A focus put back on the node after its loss was told (see
  // loseFocusInBranch) is told when the node is gone.
  const bool focusLost = Node == FFocusedNode;
  InternalDisconnectNode(Node, true, Reindex);
  if (focusLost) {
    FFocusedNode = nullptr;
    FBranchFocusLost = true;
  }
  // The owner's free handler may still ask which tree and level the node
  // belonged to; the parent outlives this call, as the free handler's
  // deletions wait until the node is gone (see finishBranchDeletion).
  Node->Parent = parent;
  const bool outermost = FBranchDepth == 0;
  if (outermost) enterBranch();
  try {
    DoFreeNode(Node);
  } catch (...) {
    if (outermost && !(Watch && Watch->TreeGone())) {
      leaveBranch();
      abandonBranchDeletion();
    }
    throw;
  }
  if (Watch && Watch->TreeGone()) return false;
  if (outermost) leaveBranch();
  return true;
}

bool TBaseDataTree::deletionMustWait() const {
  // Inside a question's handler, while a paint holds the nodes (an error
  // could not leave a paint the toolkit runs) and while a walk (a sort, a
  // save, a copy, a move) holds them, a deletion waits for the message
  // loop; one asked for during a walk goes once the walk has ended (see
  // TIterationGuard).
  return !FDestroying &&
         (FQueryHandlerDepth > 0 || FStates.Contains(tsPainting) || FStates.Contains(tsIterating));
}

bool TBaseDataTree::deletionMustWait(PDataNode Parent) const {
  // The children of the node the program is asked for are held by none of
  // the callers, which go on with that node (or with its children as they
  // are once the answer came): an owner that replaces them while it is
  // asked has them replaced at once. Only its own question may be open, and
  // no paint or walk (a save) may hold the nodes.
  if (Parent && Parent == FChildrenAsked && FQueryHandlerDepth == 1 && !FDestroying &&
      !FStates.Contains(tsPainting) && !FStates.Contains(tsIterating))
    return false;
  return deletionMustWait();
}

void TBaseDataTree::deferDeletion(PDataNode Node) {
  if (FDeferredSet.insert(Node).second) FDeferredDeletions.push_back(Node);
  if (!FDeferWindow) FDeferWindow = AllocateHWnd([this](TMessage& Message) {
    if (Message.Msg == WM_APP) GuardedEntry<false>([this] { runDeferredDeletions(); });
  });
  postDeferredDeletions();
}

void TBaseDataTree::postDeferredDeletions() {
  if (FDeferPosted || !FDeferWindow || FDeferredDeletions.empty()) return;
  FDeferPosted = PostMessage(FDeferWindow, WM_APP, 0, 0);
}

void TBaseDataTree::deferChildrenDeletion(PDataNode Parent, std::uint32_t Keep) {
  std::uint32_t index = 0;
  for (PDataNode run = Parent->FirstChild; run; run = run->NextSibling, ++index)
    if (index >= Keep) deferDeletion(run);
}

void TBaseDataTree::runDeferredDeletions() {
  FDeferPosted = false;
  // A walk (a save, a sort, a copy or a move) whose handler runs the
  // message loop holds the nodes: the deletions wait, as they are, for its
  // end, which posts them again (see TIterationGuard).
  if (FStates.Contains(tsIterating) && !FDestroying) return;
  if (deletionMustWait()) {
    // Still inside a handler (a nested message loop): try again later.
    // The waiting nodes stay as they are (a node freed meanwhile has left
    // the set and is skipped when they run): only the message goes again.
    postDeferredDeletions();
    return;
  }
  std::vector<PDataNode> nodes;
  nodes.swap(FDeferredDeletions);
  // The free handlers may destroy the tree.
  const TLifeHold life(FEntryLife);
  for (PDataNode node : nodes) {
    // A node freed meanwhile (with its parent, say) left the set.
    if (FDeferredSet.erase(node) == 0) continue;
    DeleteNode(node);
    if (life.expired()) return;
  }
}

void TBaseDataTree::DeleteChildren(PDataNode Node, bool ResetHasChildren) {
  GuardedEntry([&] {
    if (!Node) Node = FRoot;
    if (Node->ChildCount == 0 && !Node->FirstChild) return;
    if (readOnly() && !FDestroying) return;
    if (deletionMustWait(Node)) {
      deferChildrenDeletion(Node, 0);
      return;
    }
    if (branchGoing()) {
      requestWhileBranchGoes(Node, TBranchRequestKind::Children, ResetHasChildren);
      return;
    }
    // The painter holds the node it draws and walks on to the next one: a
    // handler deleting nodes meanwhile would leave it with freed memory.
    if (FStates.Contains(tsPainting) && !FDestroying)
      ShowError("Nodes cannot be deleted while the tree is being painted.", 0);
    // A walk whose handler destroys the whole tree stops on its token.
    TAMRIX_ASSERT(FDestroying || !FStates.Contains(tsIterating),
                  "Deleting nodes during tree iteration leads to invalid pointers.");
    // The scroll bar and state handlers at the end may delete the node.
    TNodeWatch watch(*this, Node);
    std::optional<TGoingBranch> going;
    going.emplace(*this, watch, false);
    if (!loseFocusInBranch(Node, false)) return;

    // A free handler may destroy the tree (checked only while it was alive
    // when the loop began: the destructor clears the tree after the token
    // expired).
    const bool destroying = FDestroying;
    const std::weak_ptr<const bool> life = FLifeToken;
    const std::weak_ptr<const bool>* checkLife = destroying ? nullptr : &life;
    TToggleCacheHold hold(FCacheHold, life);
    ++FUpdateCount;
    enterBranch();
    InterruptValidation();
    int lastOffsetX = FOffsetX;
    int lastOffsetY = FOffsetY;
    bool parentVisible =
        Node == FRoot || (FullyVisible(Node) && Node->States.Contains(vsExpanded));

    Node->States.Include(vsClearing);
    // Taking the children out one by one needs no notes of their runs.
    forgetHiddenRuns(Node);
    PDataNode child = nullptr;
    std::exception_ptr failure;
    try {
      while ((child = Node->LastChild)) {
        // The child's shown rows go with it (its branch is not counted again).
        if (parentVisible && child->States.Contains(vsVisible)) FVisibleCount -= 1 + CountVisibleChildren(child);
        child->States.Include(vsDeleting);
        if (!deleteGoingChild(child, true, checkLife)) return;
      }
    } catch (...) {
      if (checkLife && life.expired()) throw;
      // An owner's handler failed: the children freed so far are gone, the
      // rest stay. The tree is put right before the failure goes on.
      failure = std::current_exception();
    }
    // Handlers that changed rows meanwhile leave the visible count to be
    // taken again, once what is left of the branch is settled.
    const bool recount = --FBranchDepth == 0 && FBranchGen != FStructureGen;
    going.reset();
    Node->States.Exclude(vsClearing);
    if (failure && Node->FirstChild) {
      keepChildrenLeft(Node, child, parentVisible);
    } else {
      // All went (a failure on the very last one changes nothing here).
      if (ResetHasChildren) Node->States.Exclude(vsHasChildren);
      if (Node != FRoot) Node->States.Exclude(vsExpanded);
      Node->ChildCount = 0;

      if (Node != FRoot && !Node->States.Contains(vsDeleting)) {
        AdjustTotalHeight(Node, Node->NodeHeight, false);
        AdjustTotalCount(Node, 1, false);
      } else {
        // The chains were skipped while the children went; only this node's
        // own values need to be reset.
        Node->TotalHeight = Node->NodeHeight;
        Node->TotalCount = 1;
      }
      Node->FirstChild = nullptr;
      Node->LastChild = nullptr;
      Node->Reserved &= std::uint8_t(~nrChildIndicesStale);
    }
    if (recount) recountVisible();
    --FUpdateCount;
    ExpireCache();

    if (FUpdateCount == 0) {
      PackArray();
      InvalidateCache();
      UpdateScrollBars(true);
      if (lastOffsetX != FOffsetX || lastOffsetY != FOffsetY)
        InvalidateWindow();
      else if (Node == FRoot || watch.Node())
        InvalidateToBottom(Node);
    }
    if (failure) {
      if (FBranchDepth == 0) abandonBranchDeletion();
      std::rethrow_exception(failure);
    }
    StructureChange(Node == FRoot ? nullptr : watch.Node(), crChildDeleted);
    if (FBranchDepth == 0 && (!checkLife || !life.expired())) finishBranchDeletion();
  });
}

namespace {

// A node's total count and height from its own row and its children's
// totals (wide, so that a sum past the fields' range can be seen).
void countBranch(PDataNode Node, std::int64_t& Count, std::int64_t& Height) {
  Count = 1;
  Height = Node->NodeHeight;
  const bool expanded = Node->States.Contains(vsExpanded);
  for (PDataNode run = Node->FirstChild; run; run = run->NextSibling) {
    Count += run->TotalCount;
    if (expanded && run->States.Contains(vsVisible)) Height += run->TotalHeight;
  }
}

}  // namespace

void TBaseDataTree::keepBranchLeft(PDataNode Node, PDataNode From) {
  for (PDataNode p = From;; p = p->Parent) {
    noteHiddenRuns(p);
    DetermineHiddenChildrenFlag(p);
    std::int64_t count = 0, height = 0;
    countBranch(p, count, height);
    p->TotalCount = std::uint32_t(count);
    p->TotalHeight = std::uint32_t(height);
    if (p == Node) break;
  }
  // The branch's shown rows were taken off the count with Node.
  if (FullyVisible(Node)) FVisibleCount += CountVisibleChildren(Node);
}

void TBaseDataTree::keepChildrenLeft(PDataNode Node, PDataNode Child, bool Shown) {
  // A failure below the child that was going leaves it in place (a child
  // that went is no longer the last one; its address is only compared).
  if (Child && Node->LastChild == Child) {
    Child->States.Exclude(vsDeleting);
    if (Shown && Child->States.Contains(vsVisible)) ++FVisibleCount;
  }
  noteHiddenRuns(Node);
  DetermineHiddenChildrenFlag(Node);
  // The chains were skipped while the children went: count what is left.
  std::int64_t count = 0, height = 0;
  countBranch(Node, count, height);
  if (Node != FRoot && !Node->States.Contains(vsDeleting)) {
    AdjustTotalHeight(Node, height, false);
    AdjustTotalCount(Node, count, false);
  } else {
    // The root has no chain above it; a node going itself is counted again
    // by its own parent.
    Node->TotalHeight = std::uint32_t(height);
    Node->TotalCount = std::uint32_t(count);
  }
}

void TBaseDataTree::Clear() {
  GuardedEntry([&] {
    if (readOnly() && !FDestroying) return;
    if (deletionMustWait()) {
      deferChildrenDeletion(FRoot, 0);
      return;
    }
    if (branchGoing()) {
      requestWhileBranchGoes(nullptr, TBranchRequestKind::Clear);
      return;
    }
    // The painter holds the node it draws and walks on to the next one: a
    // handler deleting nodes meanwhile would leave it with freed memory.
    if (FStates.Contains(tsPainting) && !FDestroying)
      ShowError("Nodes cannot be deleted while the tree is being painted.", 0);
    // Refused before anything changes: a clear asked for while a walk holds
    // the nodes (a load handler's, say) must not take the selection and the
    // focus with it when the deletion itself is refused.
    TAMRIX_ASSERT(FDestroying || !FStates.Contains(tsIterating) || !FRoot->FirstChild,
                  "Deleting nodes during tree iteration leads to invalid pointers.");
    // The free handlers may destroy the tree (while it is being destroyed
    // the token has expired already).
    const bool destroying = FDestroying;
    const TLifeHold life(FEntryLife);
    BeginUpdate();
    try {
      InterruptValidation();
      CancelEditNode();
      if (FStates.Contains(tsCutPending) || FStates.Contains(tsCopyPending)) {
        // The clipboard's object ends the copy as it goes, and the state
        // handler may destroy the tree there.
        ReleaseClipboardIfOwner();
        if (!destroying && life.expired()) return;
        DoStateChange({}, {tsCutPending, tsCopyPending});
      }
      InternalClearSelection();
      FFocusedNode = nullptr;
      FDropTargetNode = nullptr;
      FRangeAnchor = nullptr;
      FCurrentHotNode = nullptr;
      FCheckNode = nullptr;
      FLastSearchNode = nullptr;
      FHeightTrackNode = nullptr;
      DeleteChildren(FRoot, true);
      if (!destroying && life.expired()) return;
      FOffsetX = 0;
      FOffsetY = 0;
      // The rows that made the tree wide are gone.
      FMaxRightExtend = 0;
      if (!FHeader->UseColumns()) FRangeX = 0;
    } catch (...) {
      if (destroying || !life.expired()) EndUpdate();
      throw;
    }
    EndUpdate();
  });
}

void* TBaseDataTree::GetNodeData(PDataNode Node) {
  if (!Node || Node == FRoot) return nullptr;
  TAMRIX_ASSERT(FNodeDataSize >= 1, "NodeDataSize not initialized.");
  // Remember that the owner may have put something there, so that it is
  // asked to free it even if the node never gets initialised.
  // Written only once: a sort reads the data of a million nodes through
  // here, and a store would dirty every one of them.
  if (!(Node->Reserved & nrUserDataHandedOut)) Node->Reserved |= nrUserDataHandedOut;
  return reinterpret_cast<char*>(Node) + userDataOffset();
}

unsigned TBaseDataTree::GetNodeLevel(PDataNode Node) const {
  unsigned level = 0;
  if (!Node || Node == FRoot) return 0;
  for (PDataNode run = Node->Parent; run != FRoot; run = run->Parent) ++level;
  return level;
}

// ---- update bracket -----------------------------------------------------------

void TBaseDataTree::BeginUpdate() {
  GuardedEntry([&] {
    if (FDestroying) return;
    // The updating handler may destroy the tree.
    const TLifeHold life(FEntryLife);
    if (FUpdateCount == 0) {
      DoUpdating(usBegin);
      if (life.expired()) return;
      // Nothing is painted inside the bracket, not even when the owner pumps
      // messages while it fills the tree.
      if (TreeHandleAllocated() && Visible()) {
        SendMessage(Handle(), WM_SETREDRAW, 0, 0);
        FRedrawOff = true;
      }
    } else {
      DoUpdating(usUpdate);
      if (life.expired()) return;
    }
    ++FUpdateCount;
    DoStateChange({tsUpdating});
  });
}

void TBaseDataTree::EndUpdate() {
  GuardedEntry([&] {
    if (FUpdateCount > 0) --FUpdateCount;
    if (FDestroying) return;
    // Every handler raised here may destroy the tree: then nothing more.
    const TLifeHold life(FEntryLife);
    if (FUpdateCount == 0 && FStates.Contains(tsUpdating)) {
      if (FStates.Contains(tsUpdateHiddenChildrenNeeded)) {
        DetermineHiddenChildrenFlagAllNodes();
        DoStateChange({}, {tsUpdateHiddenChildrenNeeded});
        if (life.expired()) return;
      }
      DoStateChange({}, {tsUpdating});
      if (life.expired()) return;
      PackArray();
      ExpireCache();
      InvalidateCache();
      if (TreeHandleAllocated()) {
        UpdateRanges();
        measureRowsInWindow();
        if (life.expired()) return;
        UpdateScrollBars(false);
        if (life.expired()) return;
      }

      // The owner's handlers may raise; the repaint below still has to happen.
      auto finish = [this, &life] {
        if (FOptions->AutoOptions().Contains(toAutoSort))
          SortTree(Header().SortColumn(), Header().SortDirection(), true);
        if (life.expired()) return;
        if (FRedrawOff) {
          FRedrawOff = false;
          if (TreeHandleAllocated()) SendMessage(Handle(), WM_SETREDRAW, 1, 0);
        }
        InvalidateWindow();
      };
      try {
        if (FStates.Contains(tsStructureChangePending))
          DoStructureChange(FLastStructureChangeNode, FLastStructureChangeReason);
        if (life.expired()) return;
        if (FStates.Contains(tsChangePending)) DoChange(FLastChangedNode);
        if (life.expired()) return;
      } catch (...) {
        if (life.expired()) throw;
        finish();
        if (life.expired()) throw;
        DoUpdating(usEnd);
        throw;
      }
      finish();
      if (life.expired()) return;
    }
    DoUpdating(FUpdateCount == 0 ? usEnd : usUpdate);
  });
}

// ---- internal data ---------------------------------------------------------------

int TBaseDataTree::AllocateInternalDataArea(int Size) {
  TAMRIX_ASSERT(FRoot->ChildCount == 0 && !FRoot->FirstChild,
                "Internal data allocation must be done before any node is created.");
  int offset = int(NodeHeaderSize) + FInternalDataSize;
  // Areas are pointer aligned so that a descendant can keep pointers there.
  int grown = int(alignUp(std::size_t(Size > 0 ? Size : 0), sizeof(void*)));
  std::size_t oldSize = NodeHeaderSize + std::size_t(FInternalDataSize);
  FInternalDataSize += grown;
  std::size_t newSize = NodeHeaderSize + std::size_t(FInternalDataSize);
  auto* root = static_cast<PDataNode>(std::realloc(static_cast<void*>(FRoot), newSize));
  if (!root) {
    FInternalDataSize -= grown;
    throw std::bad_alloc();
  }
  std::memset(reinterpret_cast<char*>(root) + oldSize, 0, newSize - oldSize);
  root->PrevSibling = root;
  root->NextSibling = root;
  FRoot = root;
  return offset;
}
