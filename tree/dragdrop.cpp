// Drag and drop of a tree: as the source (a drag between windows and
// programs, or the drag within the program) and as the target.
//
// Any owner handler may destroy the tree: after each one the tree checks its
// life token before it touches anything of its own.
#include <algorithm>

#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"
#include "tree/data_object.h"
#include "tree/globals.h"

// ---- set-up -------------------------------------------------------------------------------

void TBaseDataTree::initDragAndClipboard() {
  FTreeToken = RegisterLiveTree(this);
  FDragImage = std::make_unique<TDTDragImage>(this);
}

void TBaseDataTree::releaseDragAndClipboard() {
  // What this tree put on the clipboard goes with it: rendering it now
  // would call the owner's handlers while the owner is being taken down.
  // The tree leaves the registry first, so that the data object, when it
  // goes, reaches nothing.
  const bool holdsClipboard = ClipboardHoldsTree(this);
  UnregisterLiveTree(FTreeToken);
  if (holdsClipboard) OleWithdrawClipboard();
  // A copy made while the clipboard's data was read still waits for it.
  DropWaitingClipboardCopies(FTreeToken);
  if (FDropTargetRegistered && HandleAllocated()) RevokeDragDrop(Handle());
  FDropTargetRegistered = false;
  if (FDragManager) FDragManager->OwnerDestroyed();
  FDragManager.reset();
  if (FDragImage) FDragImage->EndDrag();
}

IDTDragManager* TBaseDataTree::DragManager() {
  if (!FDragManager) {
    // The owner's handler may destroy the tree instead of making a manager:
    // then there is none, and the caller checks its token.
    const std::weak_ptr<const bool> life = FLifeToken;
    std::shared_ptr<IDTDragManager> made = DoCreateDragManager();
    if (life.expired()) return nullptr;
    FDragManager = made ? std::move(made) : std::make_shared<TDTDragManager>(this);
  }
  return FDragManager.get();
}

void TBaseDataTree::UpdateDropTarget() {
  if (!TreeHandleAllocated() || ComponentState().Contains(csDesigning)) return;
  const bool wanted = FOptions->MiscOptions().Contains(toAcceptOLEDrop);
  if (wanted == FDropTargetRegistered) return;
  if (wanted) {
    if (!DragManager()) return;
    auto target = std::dynamic_pointer_cast<IDropTarget>(FDragManager);
    if (target && RegisterDragDrop(Handle(), target) == S_OK) FDropTargetRegistered = true;
  } else {
    RevokeDragDrop(Handle());
    FDropTargetRegistered = false;
  }
}

bool TBaseDataTree::DispatchDragAndClipboard(TMessage& Message) {
  switch (Message.Msg) {
    case CM_DRAG:
      handleFrameworkDrag(Message);
      return true;
    case WM_COPY:
      CopyToClipboard();
      return true;
    case WM_CUT:
      CutToClipboard();
      return true;
    case WM_PASTE:
      Message.Result = PasteFromClipboard() ? 1 : 0;
      return true;
    case WM_TIMER:
      if (Message.WParam != WPARAM(ExpandTimer)) return false;
      DoDragExpand();
      return true;
    case WM_NCDESTROY:
      if (FDropTargetRegistered) RevokeDragDrop(Handle());
      FDropTargetRegistered = false;
      return false;
    default:
      return false;
  }
}

// ---- source side ----------------------------------------------------------------------------

void TBaseDataTree::BeginDrag(bool Immediate, int Threshold) {
  GuardedEntry([&] {
    if (FDragType == dtOLE) {
      // One drag at a time, in this tree or any other.
      if (FStates.Contains(tsOLEDragPending) || FStates.Contains(tsOLEDragging) || DragDropRunning()) return;
      FDragThreshold = Threshold < 0 ? GetSystemMetrics(SM_CXDRAG) : Threshold;
      if (Immediate)
        DoDragging(FLastClickPos);
      else
        DoStateChange({tsOLEDragPending});
      return;
    }
    DoStateChange({tsVCLDragPending});
    ThroughToolkit([&] { TCustomControl::BeginDrag(Immediate, Threshold); });
  });
}

bool TBaseDataTree::Dragging() const {
  return FStates.Contains(tsOLEDragPending) || FStates.Contains(tsOLEDragging) || TCustomControl::Dragging();
}

void TBaseDataTree::DoStartDrag(TDragObject*& DragObject) {
  TCustomControl::DoStartDrag(DragObject);
  if (DragObject) DoStateChange({tsUserDragObject});
}

void TBaseDataTree::DoEndDrag(TObject* Target, int X, int Y) {
  const std::weak_ptr<const bool> life = LifeToken();
  TCustomControl::DoEndDrag(Target, X, Y);
  if (!life.expired()) DragFinished();
}

void TBaseDataTree::DragFinished() {
  const bool right = FStates.Contains(tsRightButtonDown);
  const bool middle = FStates.Contains(tsMiddleButtonDown);
  DoStateChange({}, {tsOLEDragPending, tsOLEDragging, tsVCLDragPending, tsVCLDragging, tsUserDragObject});
  if (!TreeHandleAllocated()) return;
  // The drag took the button's release: hand it to the click logic.
  TPoint p;
  GetCursorPos(&p);
  p = ScreenToClient(p);
  const UINT msg = right ? WM_RBUTTONUP : middle ? WM_MBUTTONUP : WM_LBUTTONUP;
  ThroughToolkit([&] { SendMessage(Handle(), msg, 0, MAKELPARAM(p.x, p.y)); });
}

void TBaseDataTree::prepareDragImage(const std::shared_ptr<IDataObject>& DataObject) {
  const int width = std::max(FDragWidth, 1), height = std::max(FDragHeight, 1);
  TBitmap picture;
  picture.SetPixelFormat(pf32bit);
  picture.SetSize(width, height);
  picture.Canvas()->Brush()->SetColor(Color());
  picture.Canvas()->FillRect({0, 0, width, height});
  // The part of the window around the hot spot, as the tree paints it.
  const TPoint hot{width / 2, height / 2};
  const TRect around{FLastClickPos.x - hot.x, FLastClickPos.y - hot.y, FLastClickPos.x - hot.x + width,
                     FLastClickPos.y - hot.y + height};
  TRect shown;
  if (IntersectRect(shown, around, ClientRect())) {
    const TPoint target{shown.Left - around.Left, shown.Top - around.Top};
    OffsetRect(shown, EffectiveOffsetX(), -FOffsetY);
    TPaintTreeOptions options{ptoBackground, ptoColumnColor, ptoSelection};
    if (FDragImageKind == diMainColumnOnly) options.Include(ptoMainColumnOnly);
    RenderTree(picture.Canvas(), shown, target, options, pf32bit);
  }
  const TPoint screen = ClientToScreen(FLastClickPos);
  // The tree's own background is left out of the picture, so that the
  // drop target under it stays visible.
  FDragImage->ColorKey = Color();
  FDragImage->PrepareDrag(picture, {screen.x - hot.x, screen.y - hot.y}, hot, DataObject.get());
}

void TBaseDataTree::RepaintAroundDragImage(TBaseDataTree* Source, TRect R, bool UpdateNCArea,
                                           bool ReshowDragImage) {
  TRect area;
  if (!TreeHandleAllocated() || !IntersectRect(area, R, ClientRect())) return;
  // The area is painted at once, and the paint's handlers may destroy this
  // tree, or the source and its picture.
  GuardedEntry([&] {
    const std::weak_ptr<const bool> sourceLife = Source ? Source->LifeToken() : std::weak_ptr<const bool>();
    // The picture is a window of its own above this one: painting under it
    // does not spoil it, so the whole area is painted, and then the picture
    // takes again what it blends with.
    if (UpdateNCArea) RedrawWindow(Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE);
    ThroughToolkit([&] {
      RedrawWindow(Handle(), &area, nullptr, RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_UPDATENOW);
    });
    TDTDragImage* image = !sourceLife.expired() ? Source->DragImage() : nullptr;
    if (!image || !image->Visible()) return;
    const TPoint topLeft = ClientToScreen({area.Left, area.Top});
    image->RecaptureBackground({topLeft.x, topLeft.y, topLeft.x + area.Width(), topLeft.y + area.Height()},
                               ReshowDragImage);
  });
}

void TBaseDataTree::DoDragging(TPoint P) {
  const std::weak_ptr<const bool> life = LifeToken();
  if (FStates.Contains(tsEditing)) CancelEditNode();
  if (FCurrentHotNode) {
    InvalidateNode(FCurrentHotNode);
    FCurrentHotNode = nullptr;
  }
  // The dragged set is never empty.
  if (FFocusedNode && !Selected(FFocusedNode)) {
    AddToSelection(FFocusedNode);
    InvalidateNode(FFocusedNode);
  }
  UpdateTreeWindow();
  FLastClickPos = P;
  DoStateChange({tsOLEDragging}, {tsOLEDragPending});
  std::shared_ptr<IDataObject> dataObject = DoCreateDataObject();
  if (life.expired()) return;
  if (!dataObject) dataObject = std::make_shared<TDTDataObject>(this, false);
  FLastDropMode = dmOnNode;
  std::uint32_t allowed = 0;
  if (FDragOperations.Contains(doCopy)) allowed |= DROPEFFECT_COPY;
  if (FDragOperations.Contains(doMove)) allowed |= DROPEFFECT_MOVE;
  if (FDragOperations.Contains(doLink)) allowed |= DROPEFFECT_LINK;
  if (allowed == 0) allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  if (FDragImageKind != diNoImage) prepareDragImage(dataObject);
  std::uint32_t effect = DROPEFFECT_NONE;
  DoDragDrop(dataObject, allowed, effect);
  // The drop may have destroyed this tree.
  if (life.expired()) return;
  FDragImage->EndDrag();
  // The drag loop took the button's release.
  releaseCapture();
  DoStateChange({}, {tsOLEDragging, tsOLEDragPending, tsLeftButtonDown, tsRightButtonDown, tsMiddleButtonDown});
}

void TBaseDataTree::DoDragDrop(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t AllowedEffects,
                               std::uint32_t& Effect) {
  if (!DragManager()) return;
  // The manager must outlive the loop even if the tree does not.
  std::shared_ptr<IDTDragManager> manager = FDragManager;
  auto source = std::dynamic_pointer_cast<IDropSource>(manager);
  Effect = DROPEFFECT_NONE;
  if (source) ::DoDragDrop(DataObject, source, AllowedEffects, Effect);
}

// ---- target side ---------------------------------------------------------------------------------

TShiftState TBaseDataTree::dragShiftState(std::uint32_t KeyState) const {
  TShiftState shift;
  if (KeyState & MK_SHIFT) shift.Include(ssShift);
  if (KeyState & MK_CONTROL) shift.Include(ssCtrl);
  if (KeyState & MK_ALT) shift.Include(ssAlt);
  if (FStates.Contains(tsLeftButtonDown)) shift.Include(ssLeft);
  if (FStates.Contains(tsMiddleButtonDown)) shift.Include(ssMiddle);
  if (FStates.Contains(tsRightButtonDown)) shift.Include(ssRight);
  return shift;
}

std::uint32_t TBaseDataTree::SuggestDropEffect(TObject* Source, TShiftState Shift, TPoint, std::uint32_t AllowedEffects) {
  std::uint32_t result = Source == this ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
  if (!(AllowedEffects & result)) result = AllowedEffects;
  const bool ctrl = Shift.Contains(ssCtrl), shift = Shift.Contains(ssShift), alt = Shift.Contains(ssAlt);
  if (ctrl && !shift && !alt && (AllowedEffects & DROPEFFECT_COPY)) result = DROPEFFECT_COPY;
  if (shift && !ctrl && !alt && (AllowedEffects & DROPEFFECT_MOVE)) result = DROPEFFECT_MOVE;
  if (((ctrl && shift) || (alt && !ctrl)) && (AllowedEffects & DROPEFFECT_LINK)) result = DROPEFFECT_LINK;
  return result;
}

HRESULT TBaseDataTree::DragEnter(std::uint32_t KeyState, TPoint Pt, std::uint32_t& Effect) {
  return GuardedEntry(HRESULT(E_FAIL), [&]() -> HRESULT {
  const std::weak_ptr<const bool> life = LifeToken();
  FScrollTimerStart = 0;
  const TShiftState shift = dragShiftState(KeyState);
  const TPoint p = ScreenToClient(Pt);
  FDragImage->DragTo(Pt, false);
  IDTDragManager* manager = DragManager();
  if (!manager) return S_OK;
  TBaseDataTree* source = manager->DragSource();
  Effect = SuggestDropEffect(source, shift, p, Effect);
  const bool accepted = DoDragOver(source, shift, dsDragEnter, p, FLastDropMode, Effect);
  if (life.expired()) return S_OK;
  if (!accepted) {
    Effect = DROPEFFECT_NONE;
  } else {
    THitInfo hit;
    GetHitTestInfoAt(p.x, p.y, true, hit);
    FDropTargetNode = hit.HitNode;
    if (!hit.HitNode) {
      FLastDropMode = dmNowhere;
    } else if (hit.HitPositions.Contains(hiOnItemLabel)) {
      FLastDropMode = dmOnNode;
    } else {
      const TRect r = GetDisplayRect(hit.HitNode, NoColumn, false);
      FLastDropMode = p.y < (r.Top + r.Bottom) / 2 ? dmAbove : dmBelow;
    }
  }
  if (source != this) FDragImage->ShowDragImage();
  return S_OK;
  });
}

HRESULT TBaseDataTree::DragOver(TObject* Source, std::uint32_t KeyState, TDragState DragState, TPoint Pt,
                                std::uint32_t& Effect) {
  return GuardedEntry(HRESULT(E_FAIL), [&]() -> HRESULT {
  const std::weak_ptr<const bool> life = LifeToken();
  const TPoint p = ScreenToClient(Pt);
  // Near an edge the tree scrolls towards it.
  bool scrolled = false;
  FScrollDirections = DetermineScrollDirections(p.x, p.y);
  if (!FScrollDirections.Empty()) {
    int dx = 0, dy = 0;
    const int stepY = FScrollBarOptions->VerticalIncrement(), stepX = FScrollBarOptions->HorizontalIncrement();
    if (FScrollDirections.Contains(sdUp) && FOffsetY < 0) dy = stepY;
    if (FScrollDirections.Contains(sdDown) && std::int64_t(ClientHeight()) - FOffsetY < verticalRange()) dy = -stepY;
    if (FScrollDirections.Contains(sdLeft) && EffectiveOffsetX() > 0) dx = stepX;
    if (FScrollDirections.Contains(sdRight) && ClientWidth() + EffectiveOffsetX() < FRangeX) dx = -stepX;
    if (dx || dy) scrolled = DoSetOffsetXY({FOffsetX + dx, FOffsetY + dy}, DefaultScrollUpdateFlags);
  }
  const TShiftState shift = dragShiftState(KeyState);
  THitInfo hit;
  GetHitTestInfoAt(p.x, p.y, true, hit);
  PDataNode node = hit.HitNode;
  const bool onLabelOrImage = hit.HitPositions.Contains(hiOnItemLabel) ||
                              hit.HitPositions.Contains(hiOnNormalIcon) || hit.HitPositions.Contains(hiOnStateIcon);
  if (node && FOptions->MiscOptions().Contains(toReportMode) &&
      !(onLabelOrImage && hit.HitColumn == FHeader->MainColumn()))
    node = nullptr;
  TDTDropMode mode;
  if (!node) {
    mode = dmNowhere;
  } else if (onLabelOrImage || !FOptions->PaintOptions().Contains(toShowDropmark)) {
    mode = dmOnNode;
  } else {
    const TRect r = GetDisplayRect(node, NoColumn, false);
    mode = p.y < (r.Top + r.Bottom) / 2 ? dmAbove : dmBelow;
  }
  if (node == FDropTargetNode && mode == FLastDropMode) {
    if (scrolled) {
      FDragImage->HideDragImage();
      UpdateTreeWindow();
    }
  } else if (node == FDropTargetNode) {
    FLastDropMode = mode;
    if (node) InvalidateNode(node);
  } else {
    StopTimer(ExpandTimer);
    PDataNode old = FDropTargetNode;
    FDropTargetNode = node;
    if (FFocusedColumn < 0) FFocusedColumn = FHeader->MainColumn();
    if (old) InvalidateNode(old);
    if (node) InvalidateNode(node);
    if (node && FOptions->AutoOptions().Contains(toAutoDropExpand) && node->States.Contains(vsHasChildren) &&
        !node->States.Contains(vsExpanded))
      StartTreeTimer(ExpandTimer, FAutoExpandDelay);
  }
  FLastDropMode = mode;
  // A tree of this program that draws its own drag picture over this one
  // must see the drop marks under it.
  auto* sourceTree = dynamic_cast<TBaseDataTree*>(Source);
  if (sourceTree && sourceTree->DragImage() && sourceTree->DragImage()->Visible())
    RepaintAroundDragImage(sourceTree, ClientRect(), false, true);
  else
    UpdateTreeWindow();
  FDragImage->ShowDragImage();
  Effect = SuggestDropEffect(Source, shift, p, Effect);
  const bool accepted = DoDragOver(Source, shift, DragState, p, FLastDropMode, Effect);
  if (life.expired()) return S_OK;
  if (!accepted) Effect = DROPEFFECT_NONE;
  if (scrolled) Effect |= DROPEFFECT_SCROLL;
  return S_OK;
  });
}

void TBaseDataTree::DragLeave() {
  GuardedEntry([&] {
  const std::weak_ptr<const bool> life = LifeToken();
  StopTimer(ExpandTimer);
  FDragImage->HideDragImage();
  if (FDropTargetNode) {
    InvalidateNode(FDropTargetNode);
    FDropTargetNode = nullptr;
  }
  UpdateTreeWindow();
  std::uint32_t effect = DROPEFFECT_NONE;
  DoDragOver(nullptr, {}, dsDragLeave, {0, 0}, FLastDropMode, effect);
  });
}

HRESULT TBaseDataTree::DragDrop(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t KeyState, TPoint Pt,
                                std::uint32_t& Effect) {
  return GuardedEntry(HRESULT(E_FAIL), [&]() -> HRESULT {
  const std::weak_ptr<const bool> life = LifeToken();
  StopTimer(ExpandTimer);
  StopTimer(ScrollTimer);
  FDragImage->HideDragImage();
  IDTDragManager* manager = DragManager();
  if (!manager) return S_OK;
  TBaseDataTree* source = manager->DragSource();
  std::uint32_t effect = Effect;
  HRESULT result = DragOver(source, KeyState, dsDragMove, Pt, effect);
  if (life.expired()) return S_OK;
  effect &= ~std::uint32_t(DROPEFFECT_SCROLL);
  if (SUCCEEDED(result) && effect != DROPEFFECT_NONE && DataObject) {
    Effect = effect;
    const TShiftState shift = dragShiftState(KeyState);
    const TPoint p = ScreenToClient(Pt);
    TFormatArray formats;
    for (const TFormatEtc& fe : DataObjectFormats(*DataObject)) formats.push_back(fe.cfFormat);
    DoDragDrop(source, DataObject, formats, shift, p, Effect, FLastDropMode);
    if (life.expired()) return S_OK;
    result = S_OK;
  } else {
    Effect = DROPEFFECT_NONE;
    result = E_FAIL;
  }
  if (FDropTargetNode) {
    InvalidateNode(FDropTargetNode);
    FDropTargetNode = nullptr;
  }
  return result;
  });
}

void TBaseDataTree::DoDragExpand() {
  StopTimer(ExpandTimer);
  PDataNode node = FDropTargetNode;
  if (node && !node->States.Contains(vsExpanded) && node->States.Contains(vsHasChildren)) {
    const bool shown = FDragImage->Visible();
    FDragImage->HideDragImage();
    ToggleNode(node);
    if (shown) FDragImage->ShowDragImage();
  }
  UpdateTreeWindow();
}

TBaseDataTree* TBaseDataTree::GetTreeFromDataObject(IDataObject* DataObject) {
  if (!DataObject || !TreeGlobals().CF_DTREFERENCE) return nullptr;
  TFormatEtc fe;
  fe.cfFormat = TreeGlobals().CF_DTREFERENCE;
  fe.tymed = TYMED_HGLOBAL;
  TStgMedium medium;
  if (FAILED(DataObject->GetData(fe, medium))) return nullptr;
  RawByteString bytes = MediumBytes(medium);
  ReleaseStgMedium(medium);
  return TreeFromReferenceBytes(bytes);
}

// ---- the drag within the program --------------------------------------------------------------

void TBaseDataTree::handleFrameworkDrag(TMessage& Message) {
  auto* rec = reinterpret_cast<TDragRec*>(Message.LParam);
  if (!rec || rec->Docking) {
    inheritedDispatch(Message);
    return;
  }
  const std::weak_ptr<const bool> life = LifeToken();
  TObject* source = rec->Source;
  if (!FStates.Contains(tsUserDragObject))
    if (auto* carrier = dynamic_cast<TDragControlObject*>(rec->Source)) source = carrier->Control();
  const TPoint p = ScreenToClient(rec->Pos);
  std::uint32_t keys = 0;
  if (GetKeyState(VK_SHIFT) < 0) keys |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) < 0) keys |= MK_CONTROL;
  const TDragMessage kind = TDragMessage(Message.WParam);
  switch (kind) {
    case dmDragEnter:
    case dmDragLeave:
    case dmDragMove: {
      if (kind == dmDragEnter) DoStateChange({tsVCLDragging});
      if (kind == dmDragLeave) DoStateChange({}, {tsVCLDragging});
      if (kind == dmDragMove) DoAutoScroll(p.x, p.y);
      if (life.expired()) return;
      std::uint32_t effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
      DragOver(source, keys, TDragState(kind), rec->Pos, effect);
      if (life.expired()) return;
      FLastVCLDragTarget = FDropTargetNode;
      FVCLDragEffect = effect;
      Message.Result = (effect & ~std::uint32_t(DROPEFFECT_SCROLL)) != DROPEFFECT_NONE ? 1 : 0;
      if (kind == dmDragLeave && FDropTargetNode) {
        InvalidateNode(FDropTargetNode);
        FDropTargetNode = nullptr;
      }
      return;
    }
    case dmDragDrop: {
      const TShiftState shift = dragShiftState(keys);
      if (FDropTargetNode) InvalidateNode(FDropTargetNode);
      FDropTargetNode = FLastVCLDragTarget;
      // Dropped where there is no node (below the last one): the drag ends
      // and nothing moves.
      if (FDropTargetNode) {
        DoDragDrop(source, nullptr, TFormatArray(), shift, p, FVCLDragEffect, FLastDropMode);
        if (life.expired()) return;
      }
      if (FDropTargetNode) {
        InvalidateNode(FDropTargetNode);
        FDropTargetNode = nullptr;
      }
      FLastVCLDragTarget = nullptr;
      return;
    }
    case dmFindTarget:
      Message.Result = LRESULT(static_cast<TControl*>(this));
      if (FStates.Contains(tsVCLDragPending)) DoStateChange({}, {tsClearPending, tsEditPending, tsVCLDragPending});
      return;
    case dmDragCancel:
      return;
  }
}

// ---- dispatchers ------------------------------------------------------------------------------------

bool TBaseDataTree::DoDragOver(TObject* Source, TShiftState Shift, TDragState State, TPoint Pt, TDTDropMode Mode,
                               std::uint32_t& Effect) {
  bool accept = false;
  RaiseEvent(OnDragOver, this, Source, Shift, State, Pt, Mode, Effect, accept);
  return accept;
}

void TBaseDataTree::DoDragDrop(TObject* Source, const std::shared_ptr<IDataObject>& DataObject,
                               const TFormatArray& Formats, TShiftState Shift, TPoint Pt, std::uint32_t& Effect,
                               TDTDropMode Mode) {
  RaiseEvent(OnDragDrop, this, Source, DataObject, Formats, Shift, Pt, Effect, Mode);
}

std::shared_ptr<IDataObject> TBaseDataTree::DoCreateDataObject() {
  std::shared_ptr<IDataObject> result;
  RaiseEvent(OnCreateDataObject, this, result);
  return result;
}

std::shared_ptr<IDTDragManager> TBaseDataTree::DoCreateDragManager() {
  std::shared_ptr<IDTDragManager> result;
  RaiseEvent(OnCreateDragManager, this, result);
  return result;
}

HRESULT TBaseDataTree::DoRenderOLEData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium, bool ForClipboard) {
  HRESULT result = E_FAIL;
  RaiseEvent(OnRenderOLEData, this, FormatEtcIn, Medium, ForClipboard, result);
  return result;
}

void TBaseDataTree::DoGetUserClipboardFormats(TFormatEtcArray& Formats) {
  RaiseEvent(OnGetUserClipboardFormats, this, Formats);
}
