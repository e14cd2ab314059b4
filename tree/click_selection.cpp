// Selection by ranges and clicks: the Shift and Ctrl rules of a click, range
// selection from the anchor, and toggling a range when Shift+arrow keys
// grow and shrink it. Nodes are gathered first and merged into the sorted
// selection in one step.
#include "tree/base_tree.h"

void TBaseDataTree::AddToTempList(PDataNode Node) {
  if (!Node) return;
  if (FTempNodeCount == FTempNodeList.size())
    FTempNodeList.resize(FTempNodeList.empty() ? 100 : FTempNodeList.size() + FTempNodeList.size() / 10 + 1);
  FTempNodeList[FTempNodeCount++] = Node;
}

void TBaseDataTree::ClearTempList() {
  FTempNodeList.clear();
  FTempNodeCount = 0;
}

void TBaseDataTree::SelectNodes(PDataNode StartNode, PDataNode EndNode, bool AddOnly) {
  GuardedEntry([&] {
    TAMRIX_ASSERT(EndNode != nullptr, "EndNode must not be nil!");
    if (FSelectionLocked) return;
    const bool above = childrenAbove();
    if (!StartNode || StartNode == FRoot) {
      StartNode = GetFirstVisibleNoInit(nullptr, above);
    } else if (!FullyVisible(StartNode)) {
      StartNode = GetPreviousVisibleNoInit(StartNode, above);
      if (!StartNode) StartNode = GetFirstVisibleNoInit(nullptr, above);
    }
    if (!StartNode) return;
    if (CompareNodePositions(StartNode, EndNode, above) > 0) std::swap(StartNode, EndNode);

    // The change handlers may delete any of these nodes.
    TNodeWatch anchor(*this, FRangeAnchor), start(*this, StartNode), end(*this, EndNode);
    if (!AddOnly) {
      InternalClearSelection();
      // Clearing moved the anchor to the focused node; the select constraints
      // must still measure the range against the node it started from.
      FRangeAnchor = anchor.Node();
      if (!start.Node() || !end.Node()) return;
    }
    ClearTempList();
    for (PDataNode run = StartNode; run; run = GetNextVisibleNoInit(run, above)) {
      AddToTempList(run);
      if (run == EndNode) break;
    }
    AddToSelection(FTempNodeList.data(), int(FTempNodeCount));
    ClearTempList();
    if (anchor.Node() && anchor.Node()->States.Contains(vsSelected)) FRangeAnchor = anchor.Node();
  });
}

void TBaseDataTree::ToggleSelection(PDataNode StartNode, PDataNode EndNode) {
  GuardedEntry([&] {
    TAMRIX_ASSERT(EndNode != nullptr, "EndNode must not be nil!");
    if (FSelectionLocked) return;
    const bool above = childrenAbove();
    if (!StartNode || StartNode == FRoot) {
      StartNode = FRoot->FirstChild;
    } else if (!FullyVisible(StartNode)) {
      StartNode = GetPreviousVisibleNoInit(StartNode, above);
    }
    if (!StartNode || StartNode == EndNode) return;

    PDataNode first = StartNode, last = EndNode;
    if (CompareNodePositions(first, last, above) > 0) std::swap(first, last);
    ClearTempList();
    bool removed = false;
    auto toggle = [&](PDataNode node) {
      if (node->States.Contains(vsSelected)) {
        InternalRemoveFromSelection(node);
        removed = true;
      } else {
        AddToTempList(node);
      }
    };
    PDataNode anchor = FRangeAnchor;
    if (!anchor || CompareNodePositions(first, anchor, above) < 0) toggle(first);
    for (PDataNode run = GetNextVisibleNoInit(first, above); run && run != last;
         run = GetNextVisibleNoInit(run, above))
      toggle(run);
    if (!anchor || CompareNodePositions(last, anchor, above) > 0) toggle(last);

    PackArray();
    if (anchor && anchor != FRoot && !anchor->States.Contains(vsSelected)) AddToTempList(anchor);
    const std::uint32_t before = FSelectionCount;
    AddToSelection(FTempNodeList.data(), int(FTempNodeCount));
    ClearTempList();
    // Nodes that only left the selection are a change too.
    if (removed && FSelectionCount == before) {
      InvalidateWindow();
      Change(nullptr);
    }
  });
}

void TBaseDataTree::UnselectNodes(PDataNode StartNode, PDataNode EndNode) {
  TAMRIX_ASSERT(EndNode != nullptr, "EndNode must not be nil!");
  if (FSelectionLocked) return;
  const bool above = childrenAbove();
  if (!StartNode || StartNode == FRoot) StartNode = GetFirstVisibleNoInit(nullptr, above);
  if (!StartNode) return;
  if (CompareNodePositions(StartNode, EndNode, above) > 0) std::swap(StartNode, EndNode);
  bool removed = false;
  for (PDataNode run = StartNode; run; run = GetNextVisibleNoInit(run, above)) {
    if (run->States.Contains(vsSelected)) {
      InternalRemoveFromSelection(run);
      removed = true;
    }
    if (run == EndNode) break;
  }
  if (!removed) return;
  PackArray();
  if (FSelectionCount == 0) ResetRangeAnchor();
  InvalidateWindow();
  Change(nullptr);
}

void TBaseDataTree::HandleClickSelection(PDataNode LastFocused, PDataNode NewNode, TShiftState Shift,
                                         bool DragPending) {
  (void)LastFocused;
  if (!NewNode) return;
  const bool ctrl = Shift.Contains(ssCtrl);
  const bool shift = Shift.Contains(ssShift);
  // The change handlers may delete the clicked node.
  TNodeWatch watch(*this, NewNode);
  auto repaint = [&] {
    if (watch.Node()) InvalidateNode(NewNode);
  };
  if (!ctrl && !shift) {
    if (!NewNode->States.Contains(vsSelected)) {
      AddToSelection(NewNode);
      repaint();
    }
    if (watch.Node()) FRangeAnchor = NewNode;
  } else if (shift && !ctrl) {
    if (!FRangeAnchor) FRangeAnchor = GetFirstChild(nullptr);
    SelectNodes(FRangeAnchor, NewNode, false);
    InvalidateWindow();
  } else if (ctrl && !shift) {
    if (!FOptions->SelectionOptions().Contains(toSiblingSelectConstraint)) FRangeAnchor = NewNode;
    if (DragPending) {
      DoStateChange({tsToggleFocusedSelection});
    } else if (NewNode->States.Contains(vsSelected)) {
      RemoveFromSelection(NewNode);
      repaint();
    } else {
      AddToSelection(NewNode);
      repaint();
    }
  } else {
    SelectNodes(FRangeAnchor, NewNode, true);
    InvalidateWindow();
  }
}
