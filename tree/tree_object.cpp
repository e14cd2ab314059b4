// The tree object itself: construction, destruction, a few properties, and
// the thin seam to the window (timers, invalidation, scroll ranges).
#include <algorithm>

#include "platform/gui/forms.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"
#include "tree/globals.h"
#include "tree/worker.h"

const TTreeClassInfo* TBaseDataTree::ClassInfo() {
  static const TTreeClassInfo info{"TBaseDataTree", nullptr};
  return &info;
}

TBaseDataTree::TBaseDataTree(TComponent* AOwner)
    : TCustomControl(AOwner), FOptions(std::make_unique<TCustomDataTreeOptions>(this)) {
  InitializeGlobalStructures();
  SetBounds(0, 0, 200, 100);
  SetTabStop(true);
  createRoot();
  AddThreadReference();
}

TBaseDataTree::~TBaseDataTree() {
  // Clearing has to work even for a read-only tree.
  FOptions->SetMiscOptions(FOptions->MiscOptions() - TDTMiscOptions{toReadOnly});
  FDestroying = true;
  ReleaseThreadReference(this);
  CancelEditNode();
  Clear();
  for (int id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, ChangeTimer,
                 StructureChangeTimer, SearchTimer})
    StopTimer(id);
  freeNodeMemory(FRoot);
  FRoot = nullptr;
}

void TBaseDataTree::Dispatch(TMessage& Message) {
  if (DispatchInput(Message)) return;
  switch (Message.Msg) {
    case WM_CHANGESTATE:
      HandleChangeState(Message.WParam, Message.LParam);
      return;
    case WM_TIMER:
      if (Message.WParam == WPARAM(ChangeTimer) || Message.WParam == WPARAM(StructureChangeTimer)) {
        HandleChangeTimer(int(Message.WParam));
        return;
      }
      break;
    default:
      break;
  }
  TCustomControl::Dispatch(Message);
}

// ---- properties --------------------------------------------------------------

void TBaseDataTree::SetFocusedNode(PDataNode Value) {
  PDataNode was = FFocusedNode;
  DoFocusNode(Value, true);
  if (was != FFocusedNode && FFocusedNode == Value) DoFocusChange(FFocusedNode, FFocusedColumn);
}

void TBaseDataTree::SetDefaultNodeHeight(std::uint32_t Value) {
  if (Value == 0) Value = 18;
  if (Value > 0xFFFF) Value = 0xFFFF;
  if (Value == FDefaultNodeHeight) return;
  DoStateChange({tsNeedScale});
  InterruptValidation();
  std::int64_t difference = std::int64_t(Value) - std::int64_t(FDefaultNodeHeight);
  FRoot->TotalHeight = std::uint32_t(std::int64_t(FRoot->TotalHeight) + difference);
  FRoot->NodeHeight = std::uint16_t(std::int64_t(FRoot->NodeHeight) + difference);
  FDefaultNodeHeight = Value;
  ExpireCache();
  if (FUpdateCount == 0 && TreeHandleAllocated() && !ComponentState().Contains(csLoading)) {
    InvalidateCache();
    UpdateScrollBars(true);
    InvalidateWindow();
  }
}

void TBaseDataTree::SetBottomSpace(std::uint32_t Value) {
  if (Value == FBottomSpace) return;
  FBottomSpace = Value;
  UpdateScrollBars(true);
}

void TBaseDataTree::SetAnimationDuration(std::uint32_t Value) {
  FAnimationDuration = Value;
  TDTAnimationOptions options = FOptions->AnimationOptions();
  if (Value == 0)
    options.Exclude(toAnimatedToggle);
  else
    options.Include(toAnimatedToggle);
  FOptions->SetAnimationOptions(options);
}

// ---- options ------------------------------------------------------------------

void TCustomDataTreeOptions::SetPaintOptions(TDTPaintOptions Value) {
  if (Value == FPaintOptions) return;
  bool orderChanged = Value.Contains(toChildrenAbove) != FPaintOptions.Contains(toChildrenAbove);
  // The cache anchors rows in display order; a new order needs a new fill.
  if (orderChanged && FOwner) FOwner->InterruptValidation();
  FPaintOptions = Value;
  if (orderChanged && FOwner) {
    FOwner->ExpireCache();
    if (FOwner->UpdateCount() == 0) FOwner->InvalidateCache();
  }
  if (FOwner) FOwner->InvalidateWindow();
}

void TCustomDataTreeOptions::AssignTo(TCustomDataTreeOptions& Dest) const {
  Dest.SetPaintOptions(FPaintOptions);
  Dest.SetAnimationOptions(FAnimationOptions);
  Dest.SetAutoOptions(FAutoOptions);
  Dest.SetSelectionOptions(FSelectionOptions);
  Dest.SetMiscOptions(FMiscOptions);
  Dest.SetExportMode(FExportMode);
}

// ---- window seam ----------------------------------------------------------------

bool TBaseDataTree::TreeHandleAllocated() const { return HandleAllocated(); }

void TBaseDataTree::InvalidateWindow() {
  if (FUpdateCount == 0 && TreeHandleAllocated()) Invalidate();
}

void TBaseDataTree::InvalidateNode(PDataNode Node) {
  // Row geometry belongs to the painting code; until a row rectangle is
  // known the whole client area is the safe choice.
  if (Node && Node != FRoot) InvalidateWindow();
}

void TBaseDataTree::InvalidateToBottom(PDataNode Node) {
  (void)Node;
  InvalidateWindow();
}

void TBaseDataTree::RepaintNode(PDataNode Node) {
  if (!Node || Node == FRoot || !TreeHandleAllocated()) return;
  Invalidate();
  UpdateWindow(Handle());
}

void TBaseDataTree::StartTreeTimer(int TimerID, std::uint32_t Interval) {
  if (!TreeHandleAllocated()) return;
  if (SetTimer(Handle(), std::uintptr_t(TimerID), Interval) != 0)
    FRunningTimers |= 1u << unsigned(TimerID);
}

void TBaseDataTree::StopTimer(int TimerID) {
  // Called for every structure change inside a bracket: make the idle case free.
  std::uint32_t bit = 1u << unsigned(TimerID);
  if (!(FRunningTimers & bit)) return;
  FRunningTimers &= ~bit;
  if (TreeHandleAllocated()) KillTimer(Handle(), std::uintptr_t(TimerID));
}

void TBaseDataTree::UpdateRanges() {
  if (FRoot->TotalHeight < FDefaultNodeHeight) FRoot->TotalHeight = FDefaultNodeHeight;
  FRangeY = int(std::int64_t(FRoot->TotalHeight) - FRoot->NodeHeight + FBottomSpace);
}

void TBaseDataTree::UpdateScrollBars(bool DoRepaint) {
  (void)DoRepaint;
  UpdateRanges();
}

void TBaseDataTree::ToggleAnimation(PDataNode Node, bool Expanding, std::int64_t Height) {
  (void)Node;
  (void)Expanding;
  (void)Height;
}

void TBaseDataTree::ReleaseClipboardIfOwner() {
  // Another program or tree may have put something there since our cut or
  // copy; that must stay.
  if (ClipboardHoldsTree(this)) Clipboard()->Clear();
}

bool TBaseDataTree::applicationTerminating() const {
  return Application && Application->Terminated();
}
