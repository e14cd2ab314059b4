// Mouse input: what a press, release and double click do to focus,
// selection, expansion and check boxes, and what a move does (rubber band,
// row-height tracking, hot tracking). Every decision that has to wait for
// the release is kept in a tree state until then.
#include "platform/gui/forms.h"
#include "platform/gui/menus.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"

namespace {

TRect ordered(const TRect& r) {
  return {std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
          std::max(r.Top, r.Bottom)};
}

bool headerTracks(const TDTHeader& header) {
  const THeaderStates tracking{hsColumnWidthTracking, hsColumnWidthTrackPending, hsHeightTracking,
                               hsHeightTrackPending, hsDragging, hsDragPending};
  return !(header.States() * tracking).Empty();
}

}  // namespace

// Forgets the watched node when it is freed, so that a handler deleting
// nodes in the middle of a click cannot leave the click holding a freed one.
TBaseDataTree::TNodeWatch::TNodeWatch(TBaseDataTree& Tree, PDataNode Node, bool Following)
    : FTree(Tree), FNode(Node), FFollowing(Following), FLife(Tree.LifeToken()) {
  if (FFollowing) ++FTree.FFollowingWatches;
  link();
}

TBaseDataTree::TNodeWatch::~TNodeWatch() {
  // A tree that went took its watches with it.
  if (FLife.expired()) return;
  unlink();
  if (FFollowing) --FTree.FFollowingWatches;
}

void TBaseDataTree::TNodeWatch::Reset(PDataNode Node) {
  FPassed = false;
  if (Node == FNode) return;
  unlink();
  FNode = Node;
  link();
}

void TBaseDataTree::TNodeWatch::link() {
  if (!FNode) return;
  TNodeWatch*& head = FTree.FWatches[FNode];
  FNode->Reserved |= nrWatched;
  FPrev = nullptr;
  FNext = head;
  if (head) head->FPrev = this;
  head = this;
}

void TBaseDataTree::TNodeWatch::unlink() {
  if (!FNode) return;
  if (FNext) FNext->FPrev = FPrev;
  if (FPrev) {
    FPrev->FNext = FNext;
  } else if (FNext) {
    FTree.FWatches[FNode] = FNext;
  } else {
    FTree.FWatches.erase(FNode);
    FNode->Reserved &= std::uint8_t(~nrWatched);
  }
  FPrev = FNext = nullptr;
}

void TBaseDataTree::releaseCapture() {
  FReleasingCapture = true;
  if (HandleAllocated() && GetCapture() == Handle()) ::ReleaseCapture();
  FReleasingCapture = false;
}

void TBaseDataTree::HandleButtonMessage(TMessage& Message) {
  // Every step below raises handlers that may destroy the tree: nothing
  // of it is touched after one did.
  const std::weak_ptr<const bool> life = FLifeToken;
  const int x = GET_X_LPARAM(Message.LParam);
  const int y = GET_Y_LPARAM(Message.LParam);
  THitInfo hit;
  auto hitTest = [&] { GetHitTestInfoAt(x, y, true, hit); };
  const TDTSelectionOptions selection = FOptions->SelectionOptions();
  switch (Message.Msg) {
    case WM_LBUTTONDOWN:
      DoStateChange({tsLeftButtonDown});
      if (life.expired()) return;
      inheritedDispatch(Message);
      if (life.expired()) return;
      hitTest();
      HandleMouseDown(Message, hit);
      return;
    case WM_LBUTTONUP:
      DoStateChange({}, {tsNodeHeightTracking, tsNodeHeightTrackPending, tsLeftButtonDown});
      if (life.expired()) return;
      hitTest();
      HandleMouseUp(Message, hit);
      if (life.expired()) return;
      FReleasingCapture = true;
      inheritedDispatch(Message);
      if (life.expired()) return;
      FReleasingCapture = false;
      return;
    case WM_LBUTTONDBLCLK:
      DoStateChange({tsLeftDblClick});
      if (life.expired()) return;
      inheritedDispatch(Message);
      if (life.expired()) return;
      hitTest();
      HandleMouseDblClick(Message, hit);
      if (life.expired()) return;
      DoStateChange({}, {tsLeftDblClick});
      return;
    case WM_MBUTTONDOWN: {
      DoStateChange({tsMiddleButtonDown});
      if (life.expired()) return;
      if (headerTracks(Header())) return;
      inheritedDispatch(Message);
      if (life.expired()) return;
      const bool panning = FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling);
      if (FOptions->MiscOptions().Contains(toWheelPanning) && !panning &&
          (std::int64_t(FRangeX) > ClientWidth() || RangeY64() > ClientHeight())) {
        FPanningPosition = {x, y};
        FLastClickPos = {x, y};
        StartWheelPanning(ClientToScreen(FPanningPosition));
        return;
      }
      StopWheelPanning();
      if (life.expired()) return;
      if (selection.Contains(toMiddleClickSelect)) {
        hitTest();
        HandleMouseDown(Message, hit);
      }
      return;
    }
    case WM_MBUTTONUP:
      DoStateChange({}, {tsMiddleButtonDown});
      if (life.expired()) return;
      if (FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling)) {
        // A click that did not move: keep scrolling without the button
        // until the next click.
        if (FStates.Contains(tsWheelScrolling))
          DoStateChange({}, {tsWheelPanning});
        else
          StopWheelPanning();
        return;
      }
      if (headerTracks(Header())) return;
      inheritedDispatch(Message);
      if (life.expired()) return;
      if (selection.Contains(toMiddleClickSelect)) {
        hitTest();
        HandleMouseUp(Message, hit);
      }
      return;
    case WM_MBUTTONDBLCLK:
      DoStateChange({tsMiddleDblClick});
      if (life.expired()) return;
      inheritedDispatch(Message);
      if (life.expired()) return;
      if (selection.Contains(toMiddleClickSelect)) {
        hitTest();
        HandleMouseDblClick(Message, hit);
        if (life.expired()) return;
      }
      DoStateChange({}, {tsMiddleDblClick});
      return;
    case WM_RBUTTONDOWN:
      DoStateChange({tsRightButtonDown});
      if (life.expired()) return;
      if (headerTracks(Header())) return;
      inheritedDispatch(Message);
      if (life.expired()) return;
      if (selection.Contains(toRightClickSelect)) {
        hitTest();
        HandleMouseDown(Message, hit);
      }
      return;
    case WM_RBUTTONUP: {
      DoStateChange({}, {tsRightButtonDown, tsPopupMenuShown});
      if (life.expired()) return;
      if (headerTracks(Header())) return;
      if (Application) Application->CancelHint();
      if (PopupMenu() && IsMouseSelecting()) EndDrawSelection();
      if (life.expired()) return;
      FReleasingCapture = true;
      inheritedDispatch(Message);
      if (life.expired()) return;
      FReleasingCapture = false;
      hitTest();
      TNodeWatch watch(*this, hit.HitNode);
      if (selection.Contains(toRightClickSelect)) HandleMouseUp(Message, hit);
      if (life.expired()) return;
      if (!PopupMenu()) DoPopupMenu(watch.Node(), hit.HitColumn, {x, y});
      return;
    }
    case WM_RBUTTONDBLCLK:
      DoStateChange({tsRightDblClick});
      if (life.expired()) return;
      inheritedDispatch(Message);
      if (life.expired()) return;
      if (selection.Contains(toRightClickSelect)) {
        hitTest();
        HandleMouseDblClick(Message, hit);
        if (life.expired()) return;
      }
      DoStateChange({}, {tsRightDblClick});
      return;
    default:
      inheritedDispatch(Message);
      return;
  }
}

bool TBaseDataTree::startMouseCheck(PDataNode Node) {
  // Only a box that is drawn can be pressed.
  if (!FOptions->MiscOptions().Contains(toCheckSupport) || Node->CheckType == ctNone) return false;
  if (FStates.Contains(tsKeyCheckPending) || FStates.Contains(tsMouseCheckPending) ||
      Node->States.Contains(vsDisabled))
    return false;
  TCheckState next = DetermineNextCheckState(Node->CheckType, Node->CheckState);
  TNodeWatch watch(*this, Node);
  if (!DoChecking(Node, next) || !watch.Node()) return false;
  DoStateChange({tsMouseCheckPending});
  // The state handler may delete the node.
  if (!watch.Node()) {
    DoStateChange({}, {tsMouseCheckPending});
    return false;
  }
  FCheckNode = Node;
  FPendingCheckState = next;
  Node->CheckState = PressedCheckState(Node->CheckState);
  InvalidateNode(Node);
  return true;
}

PDataNode TBaseDataTree::heightTrackTarget(const THitInfo& HitInfo) {
  if (!HitInfo.HitNode || HitInfo.HitColumn < 0 || !Header().Columns().IsValidColumn(HitInfo.HitColumn) ||
      !Header().Columns()[HitInfo.HitColumn]->Options().Contains(coFixed))
    return nullptr;
  PDataNode node = nullptr;
  if (HitInfo.HitPositions.Contains(hiUpperSplitter)) node = GetPreviousVisible(HitInfo.HitNode);
  else if (HitInfo.HitPositions.Contains(hiLowerSplitter)) node = HitInfo.HitNode;
  return node == FRoot ? nullptr : node;
}

void TBaseDataTree::HandleMouseDown(TMessage& Message, THitInfo& HitInfo) {
  const int x = GET_X_LPARAM(Message.LParam);
  const int y = GET_Y_LPARAM(Message.LParam);
  if (FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling)) {
    StopWheelPanning();
    return;
  }
  if (FStates.Contains(tsEditPending)) {
    StopTimer(EditTimer);
    DoStateChange({}, {tsEditPending});
  }
  bool hitAgain = false;
  if (FStates.Contains(tsEditing)) {
    if (!EndEditNode()) return;
    // Ending the edit runs the owner's handlers, which may move or delete
    // the node under the mouse.
    hitAgain = true;
  }
  if (!Focused() && CanFocus()) {
    SetFocus();
    hitAgain = true;
  }
  if (hitAgain) GetHitTestInfoAt(x, y, true, HitInfo);

  TDataTreeColumns& columns = Header().Columns();
  columns.ClickIndex = HitInfo.HitColumn;

  const TDTSelectionOptions selection = FOptions->SelectionOptions();
  const TDTMiscOptions misc = FOptions->MiscOptions();
  const THitPositions& at = HitInfo.HitPositions;
  PDataNode hitNode = HitInfo.HitNode;

  TColumnIndex newColumn = FFocusedColumn;
  bool columnChanged = false;
  if (at.Contains(hiOnItemLabel) || selection.Contains(toFullRowSelect) || misc.Contains(toGridExtensions))
    newColumn = HitInfo.HitColumn;
  if (!selection.Contains(toExtendedFocus)) newColumn = Header().MainColumn();
  columnChanged = newColumn != FFocusedColumn;
  if (columnChanged && columns.IsValidColumn(newColumn) &&
      !columns[newColumn]->Options().Contains(coAllowFocus)) {
    newColumn = FFocusedColumn;
    columnChanged = false;
  }
  // The handlers below may take columns away.
  TDataTreeColumn* const focusColumn = columns.IsValidColumn(newColumn) ? columns[newColumn] : nullptr;

  TShiftState shift = KeysToShiftState(WORD(Message.WParam)) * TShiftState{ssShift, ssCtrl};
  const bool altDown = GetKeyState(VK_MENU) < 0;
  bool isLabelHit = false;
  if (!altDown)
    isLabelHit = !selection.Contains(toSimpleDrawSelection) &&
                 (at.Contains(hiOnItemLabel) || at.Contains(hiOnNormalIcon));
  const bool isCellHit = !altDown && !isLabelHit && hitNode && !at.Contains(hiOnItemButton) &&
                         !at.Contains(hiOnItemCheckbox) &&
                         (selection.Contains(toFullRowSelect) ||
                          (misc.Contains(toGridExtensions) && HitInfo.HitColumn >= 0));
  const bool isAnyHit = isLabelHit || isCellHit;
  const bool shiftEmpty = shift.Empty();
  const bool nodeSelected = isAnyHit && hitNode->States.Contains(vsSelected);
  const bool leftButton = Message.Msg == WM_LBUTTONDOWN || Message.Msg == WM_LBUTTONDBLCLK;
  const bool rightButton = Message.Msg == WM_RBUTTONDOWN || Message.Msg == WM_RBUTTONDBLCLK;
  const bool multiSelect = selection.Contains(toMultiSelect);
  const bool fullRowDrag = misc.Contains(toFullRowDrag);

  const bool isHeightTracking = leftButton && misc.Contains(toNodeHeightResize) && at.Contains(hiOnItem) &&
                                heightTrackTarget(HitInfo) != nullptr;

  bool autoDrag = (DragMode() == dmAutomatic || FStates.Contains(tsOLEDragPending) ||
                   FStates.Contains(tsOLEDragging)) &&
                  (!isCellHit || fullRowDrag);
  TNodeWatch watch(*this, hitNode);
  if (hitNode && DragMode() == dmManual && !autoDrag) {
    autoDrag = DoBeforeDrag(hitNode, HitInfo.HitColumn) && (!isCellHit || fullRowDrag);
    if (!watch.Node()) return;
  }

  if (isHeightTracking) {
    PDataNode node = heightTrackTarget(HitInfo);
    FHeightTrackNode = node;
    FHeightTrackColumn = HitInfo.HitColumn;
    const TRect r = GetDisplayRect(node, NoColumn, false);
    FHeightTrackPoint = {r.Left, r.Top};
    DoStateChange({tsNodeHeightTrackPending});
    return;
  }

  if (hitNode && at.Contains(hiOnItemButton) && HasChildren(hitNode)) {
    ToggleNode(hitNode);
    return;
  }

  if (hitNode && at.Contains(hiOnItemCheckbox)) {
    startMouseCheck(hitNode);
    return;
  }

  if ((TotalCount() > 0 && shiftEmpty) || FSelectionCount == 0) {
    if (hitNode)
      FLastSelectionLevel = int(GetNodeLevel(hitNode));
    else if (PDataNode last = GetLastVisibleNoInit())
      FLastSelectionLevel = int(GetNodeLevel(last));
  }

  bool clearPendingEntered = false;
  if (multiSelect && shiftEmpty && isAnyHit && autoDrag && nodeSelected && !FSelectionLocked) {
    DoStateChange({tsClearPending});
    clearPendingEntered = true;
  }

  const bool hasPopup = PopupMenu() != nullptr || OnGetPopupMenu != nullptr;
  const bool deselectNow = !autoDrag && !(rightButton && hasPopup);
  if (!FSelectionLocked && !clearPendingEntered) {
    const bool outside = (!hitNode || !isAnyHit) && !fullRowDrag && multiSelect && shiftEmpty;
    const bool onOther = isAnyHit && (!nodeSelected || deselectNow) && (shiftEmpty || !multiSelect);
    if (outside || onOther) {
      if (hitNode && isAnyHit &&
          (hitNode->States.Contains(vsSelected) || (altDown && HitInfo.HitColumn == Header().MainColumn()))) {
        const bool many = FSelectionCount > 1;
        // Clearing ends a pending clear, whose state handler may delete the
        // row: the click then ends below.
        InternalClearSelection();
        if (watch.Node()) InternalAddToSelection(&hitNode, 1, true);
        if (many || !watch.Node()) {
          InvalidateWindow();
          Change(nullptr);
        }
      } else {
        ClearSelection();
      }
      if (watch.TreeGone() || (!watch.Node() && hitNode)) return;
    }
  }

  if (Focused() && hitNode &&
      (at.Contains(hiOnItemLabel) || (misc.Contains(toGridExtensions) && at.Contains(hiOnItem))) &&
      nodeSelected && !columnChanged && shiftEmpty)
    DoStateChange({tsEditPending});

  if (!selection.Contains(toDisableDrawSelection) && multiSelect && !isLabelHit && !fullRowDrag && leftButton) {
    if (HandleAllocated()) SetCapture(Handle());
    DoStateChange({tsDrawSelPending});
    FDrawSelShiftState = shift;
    const TPoint start{x + EffectiveOffsetX(), y - FOffsetY};
    FSelectRectangle = {start.x, start.y, start.x, start.y};
    FNewSelRect = FSelectRectangle;
    SelectRect = FNewSelRect;
    if (!isCellHit) return;
  }

  // The state handlers above may have deleted the row: the click ends.
  if (hitNode && !watch.Node()) return;
  FLastClickPos = {x, y};
  // A column that went takes no focus, one that moved is named anew.
  auto columnThere = [&] {
    if (!focusColumn) return true;
    if (!columns.Contains(focusColumn)) return false;
    newColumn = focusColumn->Index();
    columnChanged = newColumn != FFocusedColumn;
    return true;
  };
  if (isAnyHit && columnThere() && DoFocusChanging(FFocusedNode, hitNode, FFocusedColumn, newColumn)) {
    hitNode = watch.Node();
    if (!hitNode || !columnThere()) return;
    if (columnChanged) {
      InvalidateColumn(FFocusedColumn);
      InvalidateColumn(newColumn);
      FFocusedColumn = newColumn;
    }
    PDataNode lastFocused = FFocusedNode;
    const bool focusChanged = hitNode != FFocusedNode;
    if (focusChanged) DoFocusNode(hitNode, false);
    if (!watch.Node()) return;
    if (!multiSelect || shiftEmpty) {
      if (shiftEmpty) FRangeAnchor = hitNode;
      if (!hitNode->States.Contains(vsSelected)) AddToSelection(hitNode);
    } else {
      HandleClickSelection(lastFocused, hitNode, shift, autoDrag);
    }
    // The selection's change handlers may have destroyed the tree.
    if (watch.TreeGone()) return;
    if ((focusChanged || columnChanged) && FFocusedNode) {
      ScrollIntoView(FFocusedNode, selection.Contains(toCenterScrollIntoView),
                     !FOptions->AutoOptions().Contains(toDisableAutoscrollOnFocus));
      DoFocusChange(FFocusedNode, FFocusedColumn);
    }
  }

  // A move beyond the threshold starts the drag.
  if (autoDrag && isAnyHit && (leftButton || rightButton)) BeginDrag(false);
}

void TBaseDataTree::HandleMouseUp(TMessage& Message, THitInfo& HitInfo) {
  releaseCapture();
  if (FStates.Contains(tsVCLDragPending)) return;
  TNodeWatch watch(*this, HitInfo.HitNode);

  if (IsMouseSelecting()) EndDrawSelection();

  if (FStates.Contains(tsClearPending)) {
    PDataNode focused = FFocusedNode;
    const bool wasSelected = focused && focused->States.Contains(vsSelected);
    ClearSelection();
    if (wasSelected && FFocusedNode == focused) AddToSelection(focused);
  }

  if (FStates.Contains(tsToggleFocusedSelection) && watch.Node() && watch.Node() == FFocusedNode) {
    PDataNode node = watch.Node();
    if (node->States.Contains(vsSelected))
      RemoveFromSelection(node);
    else
      AddToSelection(node);
    if (watch.Node()) InvalidateNode(node);
  }

  DoStateChange({}, {tsToggleFocusedSelection, tsClearPending, tsDrawSelPending, tsOLEDragging,
                     tsOLEDragPending, tsScrolling, tsScrollPending});
  StopTimer(ScrollTimer);

  if (FStates.Contains(tsMouseCheckPending)) {
    DoStateChange({}, {tsMouseCheckPending});
    PDataNode node = FCheckNode;
    // The check changes only when the button comes up over the row that
    // was pressed and that row still exists.
    if (node && watch.Node() == node && HitInfo.HitPositions.Contains(hiOnItem)) {
      FCheckNode = nullptr;
      DoCheckClick(node, FPendingCheckState);
    } else {
      CancelCheckPress();
    }
    if (watch.TreeGone()) return;
  }

  TDataTreeColumns& columns = Header().Columns();
  if (columns.ClickIndex >= 0 && columns.ClickIndex == HitInfo.HitColumn) {
    DoColumnClick(HitInfo.HitColumn, KeysToShiftState(WORD(Message.WParam)));
    if (watch.TreeGone()) return;
  }

  if (FStates.Contains(tsEditPending)) {
    PDataNode node = watch.Node();
    if (node && node == FFocusedNode && CanEdit(FFocusedNode, HitInfo.HitColumn) &&
        FOptions->MiscOptions().Contains(toEditOnClick)) {
      FEditColumn = FFocusedColumn;
      StartTreeTimer(EditTimer, FEditDelay);
      return;
    }
    DoStateChange({}, {tsEditPending});
  }
}

void TBaseDataTree::HandleMouseDblClick(TMessage& Message, THitInfo& HitInfo) {
  const int x = GET_X_LPARAM(Message.LParam);
  const int y = GET_Y_LPARAM(Message.LParam);
  const TDTMiscOptions misc = FOptions->MiscOptions();
  bool editAllowed = !FStates.Contains(tsEditing) && misc.Contains(toEditOnDblClick);
  if (FStates.Contains(tsEditPending)) {
    StopTimer(EditTimer);
    DoStateChange({}, {tsEditPending});
    // The state's handler may move or delete the node under the mouse.
    GetHitTestInfoAt(x, y, true, HitInfo);
  }
  TNodeWatch watch(*this, HitInfo.HitNode);
  const TShiftState shift = KeysToShiftState(WORD(Message.WParam)) + TShiftState{ssDouble};
  const THitPositions& at = HitInfo.HitPositions;
  bool handled = false;
  if (FStates.Contains(tsEditing)) {
    editAllowed = false;
    if (!EndEditNode()) handled = true;
    else GetHitTestInfoAt(x, y, true, HitInfo);
    watch.Reset(HitInfo.HitNode);
  }
  if (!handled && HitInfo.HitColumn == Header().Columns().ClickIndex && HitInfo.HitColumn >= 0) {
    DoColumnDblClick(HitInfo.HitColumn, shift);
    if (watch.TreeGone() || (HitInfo.HitNode && !watch.Node())) return;
  }
  PDataNode node = watch.Node();
  if (!handled && node && misc.Contains(toNodeHeightDblClickResize)) {
    if (PDataNode target = heightTrackTarget(HitInfo)) {
      // The handler may delete the row to size (or the row hit) or destroy
      // the tree.
      TNodeWatch targetWatch(*this, target);
      const bool allowed = DoNodeHeightDblClickResize(target, HitInfo.HitColumn, shift, {x, y});
      if (targetWatch.TreeGone()) return;
      if (allowed) {
        if (targetWatch.Node()) {
          SetNodeHeight(target, int(FDefaultNodeHeight));
          UpdateTreeWindow();
        }
        editAllowed = false;
      }
      handled = true;
    }
  }
  node = watch.Node();
  if (!handled && node) {
    if (at.Contains(hiOnItemCheckbox)) {
      startMouseCheck(node);
      editAllowed = false;
    } else if (at.Contains(hiOnItemButton)) {
      ToggleNode(node);
      editAllowed = false;
    } else if (misc.Contains(toToggleOnDblClick) &&
               (at.Contains(hiOnItemLabel) || at.Contains(hiOnNormalIcon) || at.Contains(hiOnStateIcon) ||
                (FOptions->SelectionOptions().Contains(toFullRowSelect) && at.Contains(hiOnItem)))) {
      ToggleNode(node);
      editAllowed = false;
    }
  }
  node = watch.Node();
  if (editAllowed && node && node == FFocusedNode && HitInfo.HitColumn == FFocusedColumn &&
      CanEdit(node, FFocusedColumn)) {
    DoStateChange({tsEditPending});
    FEditColumn = FFocusedColumn;
    StartTreeTimer(EditTimer, FEditDelay);
  }
}

bool TBaseDataTree::DoNodeHeightTracking(PDataNode Node, TColumnIndex Column, TShiftState Shift,
                                         TPoint& TrackPoint, TPoint P) {
  bool allowed = true;
  RaiseEvent(OnNodeHeightTracking, this, Node, Column, Shift, TrackPoint, P, allowed);
  return allowed;
}

bool TBaseDataTree::DoNodeHeightDblClickResize(PDataNode Node, TColumnIndex Column, TShiftState Shift,
                                               TPoint P) {
  bool allowed = true;
  RaiseEvent(OnNodeHeightDblClickResize, this, Node, Column, Shift, P, allowed);
  return allowed;
}

void TBaseDataTree::DoColumnClick(TColumnIndex Column, TShiftState Shift) {
  RaiseEvent(OnColumnClick, this, Column, Shift);
}

void TBaseDataTree::DoColumnDblClick(TColumnIndex Column, TShiftState Shift) {
  RaiseEvent(OnColumnDblClick, this, Column, Shift);
}

// ---- mouse movement ------------------------------------------------------------------

void TBaseDataTree::MouseMove(TShiftState Shift, int X, int Y) {
  if (FStates.Contains(tsNodeHeightTrackPending)) {
    if (Application) Application->CancelHint();
    StopWheelPanning();
    for (int id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, SearchTimer}) StopTimer(id);
    FSearchBuffer.clear();
    FLastSearchNode = nullptr;
    DoStateChange({tsNodeHeightTracking},
                  {tsEditPending, tsNodeHeightTrackPending, tsIncrementalSearching, tsOLEDragPending,
                   tsScrolling, tsScrollPending, tsVCLDragPending});
  }

  if (FStates.Contains(tsDrawSelPending)) {
    if (!CalculateSelectionRect(X, Y)) return;
    invalidateSelectionBands();
    const TRect band = ordered(FNewSelRect);
    if (band.Width() > GetSystemMetrics(SM_CXDRAG) || band.Height() > GetSystemMetrics(SM_CYDRAG)) {
      if (FStates.Contains(tsClearPending)) {
        DoStateChange({}, {tsClearPending});
        ClearSelection();
      }
      DoStateChange({tsDrawSelecting}, {tsDrawSelPending});
      FFocusedColumn = Header().MainColumn();
      if (HandleDrawSelection(X, Y)) InvalidateWindow();
    }
    return;
  }

  if (FStates.Contains(tsNodeHeightTracking)) {
    PDataNode node = FHeightTrackNode;
    // A deleted row leaves FHeightTrackNode; a destroyed tree leaves nothing.
    const std::weak_ptr<const bool> life = FLifeToken;
    if (node && DoNodeHeightTracking(node, FHeightTrackColumn, Shift, FHeightTrackPoint, {X, Y}) &&
        !life.expired() && FHeightTrackNode == node) {
      // Never shorter than one pixel.
      const int bottom = std::max(Y, FHeightTrackPoint.y + 1);
      SetNodeHeight(node, bottom - FHeightTrackPoint.y);
      UpdateTreeWindow();
    }
    return;
  }

  if (FStates.Contains(tsWheelPanning) && FStates.Contains(tsWheelScrolling) &&
      (std::abs(std::int64_t(X) - FLastClickPos.x) >= GetSystemMetrics(SM_CXDRAG) ||
       std::abs(std::int64_t(Y) - FLastClickPos.y) >= GetSystemMetrics(SM_CYDRAG)))
    DoStateChange({}, {tsWheelScrolling});

  if (FStates.Contains(tsOLEDragPending) &&
      (std::abs(std::int64_t(X) - FLastClickPos.x) >= FDragThreshold ||
       std::abs(std::int64_t(Y) - FLastClickPos.y) >= FDragThreshold)) {
    DoDragging(FLastClickPos);
    return;
  }

  if (CanAutoScroll()) DoAutoScroll(X, Y);
  if (FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling)) UpdatePanningCursor(X, Y);

  if (!IsMouseSelecting()) {
    const std::weak_ptr<const bool> life = FLifeToken;
    HandleHotTrack(X, Y);
    if (life.expired()) return;
    RaiseEvent(OnMouseMove, this, Shift, X, Y);
    return;
  }
  if (!FStates.Contains(tsScrolling) && CalculateSelectionRect(X, Y)) {
    if (HandleDrawSelection(X, Y))
      InvalidateWindow();
    else
      invalidateSelectionBands();
    UpdateTreeWindow();
  }
}

void TBaseDataTree::invalidateSelectionBands() {
  TRect r = ordered(FNewSelRect);
  const TRect last = ordered(FSelectRectangle);
  r = {std::min(r.Left, last.Left), std::min(r.Top, last.Top), std::max(r.Right, last.Right),
       std::max(r.Bottom, last.Bottom)};
  OffsetRect(r, -EffectiveOffsetX(), FOffsetY);
  InflateRect(r, 1, 1);
  invalidateClientRect(r);
}

void TBaseDataTree::HandleHotTrack(int X, int Y) {
  THitInfo hit;
  GetHitTestInfoAt(X, Y, true, hit);
  PDataNode node = hit.HitPositions.Contains(hiOnItem) ? hit.HitNode : nullptr;
  const bool repaint = FOptions->PaintOptions().Contains(toHotTrack) ||
                       FOptions->MiscOptions().Contains(toCheckSupport);
  // Only the row the mouse left and the row it entered are repainted.
  if (node != FCurrentHotNode || hit.HitColumn != HotColumn()) {
    PDataNode old = FCurrentHotNode;
    TNodeWatch watch(*this, node);
    DoHotChange(old, node);
    if (watch.TreeGone()) return;
    node = watch.Node();
    if (repaint && old && old == FCurrentHotNode) InvalidateNode(old);
    FCurrentHotNode = node;
    SetHotColumn(hit.HitColumn);
    if (repaint && node) InvalidateNode(node);
  }
  const bool overButton = node && hit.HitPositions.Contains(hiOnItemButtonExact);
  if (node && overButton != MouseOverButton()) {
    SetMouseOverButton(overButton);
    if (repaint) InvalidateNode(node);
  } else if (!node) {
    SetMouseOverButton(false);
  }
}
