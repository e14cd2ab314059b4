// Event dispatch: the rest of the tree raises every owner event through one
// of these, so that a descendant can change an event's behaviour in one
// place. Each gives a default answer when its event is not assigned.
#include <cstdlib>
#include <exception>
#include <utility>

#include "tree/base_tree.h"

void TBaseDataTree::unwindGone(const TEntryLife* Life) {
  if (failuresPassing() > (Life ? Life->Uncaught : 0)) return;
  throw EDataTreeGone{};
}

void TBaseDataTree::endLostOperation() {
  if (FFinishingFrame == FFrameDepth) return;
  TNodeOperation* target = nullptr;
  for (TNodeOperation* op = FNodeOperations; op && op->Level == FFrameDepth; op = op->Outer) {
    if (op->Ending) return;
    if (op->Lost) target = op;
  }
  if (!target || failuresPassing() > FEntryLife->Uncaught) return;
  // Inside the clean-up of another failure (a catch block) that failure
  // goes on; the operation ends when it passes.
  if (target->Handling != std::current_exception()) return;
  target->Ending = true;
  throw EDataNodeGone{{}, target};
}

bool TBaseDataTree::DoBeforeDrag(PDataNode Node, TColumnIndex Column) {
  bool allowed = false;
  RaiseEvent(OnDragAllowed, this, Node, Column, allowed);
  return allowed;
}

void TBaseDataTree::DoCanEdit(PDataNode Node, TColumnIndex Column, bool& Allowed) {
  RaiseEvent(OnEditing, this, Node, Column, Allowed);
}

void TBaseDataTree::DoChange(PDataNode Node) {
  StopTimer(ChangeTimer);
  try {
    if (!RaiseEvent(OnChange, this, Node)) return;
  } catch (const EDataNodeGone&) {
    // The change was told: it is pending no more.
    FStates.Exclude(tsChangePending);
    FLastChangedNode = nullptr;
    throw;
  }
  DoStateChange({}, {tsChangePending});
  FLastChangedNode = nullptr;
}

void TBaseDataTree::DoChecked(PDataNode Node) {
  RaiseEvent(OnChecked, this, Node);
}

bool TBaseDataTree::DoChecking(PDataNode Node, TCheckState& NewCheckState) {
  if (readOnly()) return false;
  bool allowed = true;
  RaiseEvent(OnChecking, this, Node, NewCheckState, allowed);
  return allowed;
}

void TBaseDataTree::DoCollapsed(PDataNode Node) {
  RaiseEvent(OnCollapsed, this, Node);
}

bool TBaseDataTree::DoCollapsing(PDataNode Node) {
  bool allowed = true;
  RaiseEvent(OnCollapsing, this, Node, allowed);
  return allowed;
}

int TBaseDataTree::DoCompare(PDataNode Node1, PDataNode Node2, TColumnIndex Column) {
  int result = 0;
  RaiseEvent(OnCompareNodes, this, Node1, Node2, Column, result);
  return result;
}

void TBaseDataTree::DoExpanded(PDataNode Node) {
  RaiseEvent(OnExpanded, this, Node);
}

bool TBaseDataTree::DoExpanding(PDataNode Node) {
  bool allowed = true;
  RaiseEvent(OnExpanding, this, Node, allowed);
  return allowed;
}

void TBaseDataTree::DoFocusChange(PDataNode Node, TColumnIndex Column) {
  RaiseEvent(OnFocusChanged, this, Node, Column);
}

bool TBaseDataTree::DoFocusChanging(PDataNode OldNode, PDataNode NewNode, TColumnIndex OldColumn,
                                    TColumnIndex NewColumn) {
  // Without columns every column change is allowed; the header refines this.
  bool allowed = true;
  RaiseEvent(OnFocusChanging, this, OldNode, NewNode, OldColumn, NewColumn, allowed);
  return allowed;
}

void TBaseDataTree::DoFocusNode(PDataNode Node, bool Ask) {
  if (Node == FRoot) Node = nullptr;
  if (Node == FFocusedNode || nodeGoing(Node)) return;
  // The handlers asked below may delete the node to be focused: then the
  // focus stays where it is.
  TNodeWatch watch(*this, Node);
  if (Ask && !DoFocusChanging(FFocusedNode, Node, FFocusedColumn, FFocusedColumn)) return;
  if (Node && !watch.Node()) return;
  const bool autoExpand = FOptions->AutoOptions().Contains(toAutoExpand);
  if (FFocusedNode) {
    if (autoExpand && FFocusedNode->States.Contains(vsExpanded) && Node &&
        Node->Parent == FFocusedNode->Parent)
      ToggleNode(FFocusedNode);
    else
      InvalidateNode(FFocusedNode);
    if (Node && !watch.Node()) return;
  }
  FFocusedNode = Node;
  if (FFocusedNode) {
    if (autoExpand && !FFocusedNode->States.Contains(vsExpanded)) ToggleNode(FFocusedNode);
    if (FFocusedNode) InvalidateNode(FFocusedNode);
  }
  if (FSelectionCount == 0) ResetRangeAnchor();
}

void TBaseDataTree::DoFreeNode(PDataNode Node) {
  forgetNode(Node);
  // The owner frees what it put into the user data: every node it
  // initialised, gave a pointer with, or was handed the data address of.
  if (OnFreeNode && (Node->States.ContainsAny(nodeMask(vsInitialized, vsUserDataPointer)) ||
                     (Node->Reserved & nrUserDataHandedOut))) {
    freeNodeTold(Node);
    return;
  }
  freeNodeMemory(Node);
}

void TBaseDataTree::freeNodeTold(PDataNode Node) {
  // The node is out of the tree already: it goes even if the owner fails.
  // A handler that destroyed the tree took the node's memory with it.
  const bool destroying = FDestroying;
  const std::weak_ptr<const bool> life = FLifeToken;
  const PDataNode outer = std::exchange(FFreeingNode, Node);
  try {
    if (!RaiseEvent(OnFreeNode, this, Node)) return;
  } catch (...) {
    if (destroying || !life.expired()) {
      FFreeingNode = outer;
      freeNodeMemory(Node);
    }
    throw;
  }
  if (destroying || !life.expired()) FFreeingNode = outer;
  if (!destroying && life.expired()) return;
  freeNodeMemory(Node);
}

bool TBaseDataTree::DoGetCellIsEmpty(PDataNode Node, TColumnIndex Column) {
  bool isEmpty = true;
  if (!OnGetCellIsEmpty) return isEmpty;
  // A question: the hit test, the hints, the rubber band and painting go on
  // with the row and the cells right of it, so nodes the handler deletes
  // go once it has answered.
  TQueryHandlerCall call(*this);
  RaiseEvent(OnGetCellIsEmpty, this, Node, Column, isEmpty);
  return isEmpty;
}

void TBaseDataTree::DoGetNodeDataSize(int& Size) {
  if (!OnGetNodeDataSize) return;
  // A question asked while children are being made and linked one by one
  // (an owner that does not know the size yet is asked for every node):
  // the rows it deletes go once it has answered.
  TQueryHandlerCall call(*this);
  RaiseEvent(OnGetNodeDataSize, this, Size);
}

int TBaseDataTree::DoGetNodeWidth(PDataNode, TColumnIndex, TCanvas*) { return 0; }

void TBaseDataTree::DoHotChange(PDataNode Old, PDataNode New) {
  RaiseEvent(OnHotChange, this, Old, New);
}

int TBaseDataTree::DoIncrementalSearch(PDataNode Node, const String& Text) {
  int result = 0;
  RaiseEvent(OnIncrementalSearch, this, Node, Text, result);
  return result;
}

void TBaseDataTree::DoInitChildren(PDataNode Node, std::uint32_t& ChildCount) {
  // Asked from the walks as they step into a node, like OnInitNode.
  if (!OnInitChildren) return;
  TQueryHandlerCall call(*this);
  const std::weak_ptr<const bool> life = FLifeToken;
  PDataNode outer = FChildrenAsked;
  FChildrenAsked = Node;
  try {
    RaiseEvent(OnInitChildren, this, Node, ChildCount);
  } catch (...) {
    if (!life.expired()) FChildrenAsked = outer;
    throw;
  }
  if (!life.expired()) FChildrenAsked = outer;
}

void TBaseDataTree::DoInitNode(PDataNode Parent, PDataNode Node, TDataNodeInitStates& InitStates) {
  if (!OnInitNode) return;
  TQueryHandlerCall call(*this);
  RaiseEvent(OnInitNode, this, Parent, Node, InitStates);
}

void TBaseDataTree::DoMeasureItem(TCanvas* TargetCanvas, PDataNode Node, int& NodeHeight) {
  if (!OnMeasureItem) return;
  TQueryHandlerCall call(*this);
  RaiseEvent(OnMeasureItem, this, TargetCanvas, Node, NodeHeight);
}

void TBaseDataTree::DoNodeCopied(PDataNode Node) {
  RaiseEvent(OnNodeCopied, this, Node);
}

bool TBaseDataTree::DoNodeCopying(PDataNode Node, PDataNode NewParent) {
  bool allowed = true;
  RaiseEvent(OnNodeCopying, this, Node, NewParent, allowed);
  return allowed;
}

void TBaseDataTree::DoNodeMoved(PDataNode Node) {
  RaiseEvent(OnNodeMoved, this, Node);
}

bool TBaseDataTree::DoNodeMoving(PDataNode Node, PDataNode NewParent) {
  bool allowed = true;
  RaiseEvent(OnNodeMoving, this, Node, NewParent, allowed);
  return allowed;
}

void TBaseDataTree::DoReset(PDataNode Node) {
  RaiseEvent(OnResetNode, this, Node);
}

void TBaseDataTree::DoScroll(int DeltaX, int DeltaY) {
  RaiseEvent(OnScroll, this, DeltaX, DeltaY);
}

void TBaseDataTree::DoStateChange(TDataTreeStates Enter, TDataTreeStates Leave) {
  if (OnStateChange && !FDestroying && (!(Enter - FStates).Empty() || !(Leave * FStates).Empty())) {
    try {
      if (!RaiseEvent(OnStateChange, this, Enter, Leave)) return;
    } catch (const EDataNodeGone&) {
      // The operation whose node went ends here: what it left is left,
      // what it was to enter is not, so that none of it stays behind.
      FStates = FStates - Leave;
      throw;
    }
  }
  FStates = (FStates + Enter) - Leave;
}

void TBaseDataTree::DoStructureChange(PDataNode Node, TChangeReason Reason) {
  StopTimer(StructureChangeTimer);
  try {
    if (!RaiseEvent(OnStructureChange, this, Node, Reason)) return;
  } catch (const EDataNodeGone&) {
    FStates.Exclude(tsStructureChangePending);
    FLastStructureChangeNode = nullptr;
    FLastStructureChangeReason = crIgnore;
    throw;
  }
  DoStateChange({}, {tsStructureChangePending});
  FLastStructureChangeNode = nullptr;
  FLastStructureChangeReason = crIgnore;
}

void TBaseDataTree::DoUpdating(TDTUpdateState State) {
  RaiseEvent(OnUpdating, this, State);
}

void TBaseDataTree::passWatchesFollowing(PDataNode Node) {
  if (!(Node->Reserved & nrWatched)) return;
  const auto it = FWatches.find(Node);
  if (it == FWatches.end()) return;
  PDataNode after = nullptr;
  for (PDataNode run = Node; run && run != FRoot; run = run->Parent)
    if (run->NextSibling) {
      after = run->NextSibling;
      break;
    }
  std::vector<TNodeWatch*> following;
  for (TNodeWatch* watch = it->second; watch; watch = watch->FNext)
    if (watch->FFollowing) following.push_back(watch);
  for (TNodeWatch* watch : following) {
    watch->Reset(after);
    watch->FPassed = true;
  }
}

void TBaseDataTree::forgetNode(PDataNode Node) {
  // An edit of the node ends with it: its text has nowhere to go.
  if (Node == FEditNode) DetachEditor();
  // Nothing that outlives the node may keep pointing at it.
  if (FLastChangedNode == Node) FLastChangedNode = nullptr;
  if (FLastStructureChangeNode == Node) FLastStructureChangeNode = nullptr;
  if (FCurrentHotNode == Node) FCurrentHotNode = nullptr;
  if (FDropTargetNode == Node) FDropTargetNode = nullptr;
  if (FLastVCLDragTarget == Node) FLastVCLDragTarget = nullptr;
  if (FFocusedNode == Node) FFocusedNode = nullptr;
  if (FCheckNode == Node) FCheckNode = nullptr;
  if (FLastSearchNode == Node) FLastSearchNode = nullptr;
  if (FHeightTrackNode == Node) FHeightTrackNode = nullptr;
  if (FRangeAnchor == Node) FRangeAnchor = nullptr;
  // A hint decided for the node but not yet shown shows nothing of it.
  if (FHintData.Node == Node) FHintData.Node = nullptr;
  if (FNodeOperations) loseOperations(Node);
  // Only a node a watch names is looked up: a deletion of a million rows
  // goes by without a million hash look-ups.
  if (Node->Reserved & nrWatched) {
    const auto it = FWatches.find(Node);
    if (it != FWatches.end()) {
      for (TNodeWatch* watch = it->second; watch;) {
        TNodeWatch* next = watch->FNext;
        watch->FNode = nullptr;
        watch->FPrev = watch->FNext = nullptr;
        watch = next;
      }
      FWatches.erase(it);
      Node->Reserved &= std::uint8_t(~nrWatched);
    }
  }
  if (Node->States.Contains(vsSelected)) {
    InternalRemoveFromSelection(Node);
    if (FUpdateCount == 0) PackArray();
  }
}
