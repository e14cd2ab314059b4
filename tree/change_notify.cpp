// Deferred change reports, the animation loop and the small operations that
// painting, input and streaming build on.
#include <chrono>
#include <cmath>
#include <thread>

#include "tree/base_tree.h"
#include "tree/globals.h"

void TBaseDataTree::AdviseChangeEvent(bool IsStructureChange, PDataNode Node, TChangeReason Reason) {
  if (IsStructureChange) {
    // The same report again while it waits (every child added to one
    // parent inside a bracket): nothing to merge, no timer to restart.
    if (sameStructureChangeWaiting(Node, Reason)) return;
    if (FStates.Contains(tsStructureChangePending))
      StopTimer(StructureChangeTimer);
    else
      DoStateChange({tsStructureChangePending});
    const bool sameReport = FLastStructureChangeNode == Node && FLastStructureChangeReason == Reason;
    FLastStructureChangeNode = Node;
    if (FLastStructureChangeReason == crIgnore)
      FLastStructureChangeReason = Reason;
    else if (Reason != crIgnore && !sameReport)
      // Two reports merged into one: the node names only the last of them,
      // so no single reason describes what happened any more.
      FLastStructureChangeReason = crAccumulated;
  } else {
    if (FStates.Contains(tsChangePending))
      StopTimer(ChangeTimer);
    else
      DoStateChange({tsChangePending});
    FLastChangedNode = Node;
  }
}

void TBaseDataTree::Change(PDataNode Node) {
  // A tree being destroyed reports nothing: its owner may be half gone.
  if (FDestroying) return;
  AdviseChangeEvent(false, Node, crIgnore);
  if (FUpdateCount > 0) return;
  // Without a window no timer can fire; report at once rather than never.
  if (FChangeDelay > 0 && !FStates.Contains(tsSynchMode) && TreeHandleAllocated())
    StartTreeTimer(ChangeTimer, FChangeDelay);
  else
    DoChange(Node);
}

void TBaseDataTree::StructureChange(PDataNode Node, TChangeReason Reason) {
  if (FDestroying) return;
  AdviseChangeEvent(true, Node, Reason);
  if (FUpdateCount > 0) return;
  if (FChangeDelay > 0 && !FStates.Contains(tsSynchMode) && TreeHandleAllocated())
    StartTreeTimer(StructureChangeTimer, FChangeDelay);
  else
    DoStructureChange(Node, Reason);
}

void TBaseDataTree::HandleChangeTimer(int TimerID) {
  if (TimerID == ChangeTimer)
    DoChange(FLastChangedNode);
  else if (TimerID == StructureChangeTimer)
    DoStructureChange(FLastStructureChangeNode, FLastStructureChangeReason);
}

void TBaseDataTree::DetermineHiddenChildrenFlag(PDataNode Node) {
  if (!Node) return;
  bool allHidden;
  if (Node->ChildCount == 0 && !Node->FirstChild) {
    allHidden = !Node->States.Contains(vsHasChildren);
  } else {
    // The known runs of hidden children answer without walking them.
    allHidden = firstVisibleChild(Node) == nullptr;
  }
  Node->States.Set(vsAllChildrenHidden, allHidden);
}

void TBaseDataTree::DetermineHiddenChildrenFlagAllNodes() {
  for (PDataNode run = GetFirstNoInit(); run; run = GetNextNoInit(run))
    if (run->States.Contains(vsInitialized)) DetermineHiddenChildrenFlag(run);
}

void TBaseDataTree::Animate(std::uint32_t Steps, std::uint32_t Duration,
                            const TDTAnimationCallback& Callback, void* Data) {
  if (FStates.Contains(tsInAnimation) || Duration == 0 || !Callback) return;
  using clock = std::chrono::steady_clock;
  // The state handler, or a step (its messages are handled), may destroy
  // the tree.
  const std::weak_ptr<const bool> life = LifeToken();
  DoStateChange({tsInAnimation});
  if (life.expired()) return;
  try {
    std::int64_t remainingSteps = Steps;
    std::int64_t remainingTime = Duration;  // ms
    std::int64_t stepSize =
        std::max<std::int64_t>(1, std::llround(double(Steps) / double(Duration)));
    while (remainingSteps > 0 && remainingTime > 0 && !applicationTerminating()) {
      auto started = clock::now();
      if (!Callback(int(remainingSteps), int(stepSize), Data)) break;
      if (life.expired()) return;
      remainingSteps -= stepSize;
      if (remainingSteps <= 0) break;
      // Each call's share of the time left; the steps get bigger when the
      // time would not cover them one by one.
      std::int64_t callsLeft = (remainingSteps + stepSize - 1) / stepSize + 1;
      auto share = std::chrono::milliseconds(remainingTime / callsLeft);
      std::this_thread::sleep_until(started + share);
      remainingTime -=
          std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - started).count();
      if (remainingTime > 0 && remainingTime < (remainingSteps + stepSize - 1) / stepSize)
        stepSize = (remainingSteps + remainingTime - 1) / remainingTime;
    }
    if (life.expired()) return;
    if (!applicationTerminating()) Callback(0, int(stepSize), Data);
    if (life.expired()) return;
  } catch (...) {
    if (!life.expired()) DoStateChange({}, {tsInAnimation});
    throw;
  }
  DoStateChange({}, {tsInAnimation});
}

void TBaseDataTree::MarkCutCopyNodes() {
  for (std::uint32_t i = 0; i < FSelectionCount; ++i) {
    PDataNode node = FSelection[i];
    if (reinterpret_cast<std::uintptr_t>(node) & 1) continue;
    if (!node->States.Contains(vsDisabled)) node->States.Include(vsCutOrCopy);
  }
}

void TBaseDataTree::BeginOperation() {
  if (++FOperationCount == 1) FOperationCanceled = false;
}

void TBaseDataTree::EndOperation() {
  TAMRIX_ASSERT(FOperationCount > 0, "EndOperation must not be called when no operation in progress.");
  --FOperationCount;
}

int TBaseDataTree::GetCheckImage(PDataNode Node, TCheckType ImgCheckType, TCheckState ImgCheckState,
                                 bool ImgEnabled) {
  // Per check state: disabled, disabled and hot, enabled, enabled and hot.
  static const int boxes[6][4] = {{12, 12, 9, 10},  {12, 12, 11, 11}, {16, 16, 13, 14},
                                  {16, 16, 15, 15}, {20, 20, 17, 18}, {20, 20, 19, 19}};
  static const int radios[6][4] = {{4, 4, 1, 2},     {4, 4, 3, 3},     {8, 8, 5, 6},
                                    {8, 8, 7, 7},     {20, 20, 17, 18}, {20, 20, 19, 19}};
  static const int buttons[6][4] = {{24, 24, 21, 22}, {24, 24, 23, 23}, {24, 24, 21, 22},
                                    {24, 24, 23, 23}, {20, 20, 17, 18}, {20, 20, 19, 19}};
  bool hot = false;
  if (Node) {
    ImgCheckType = Node->CheckType;
    ImgCheckState = Node->CheckState;
    ImgEnabled = !Node->States.Contains(vsDisabled) && Enabled();
    hot = Node == FCurrentHotNode;
  }
  if (ImgCheckState > csMixedPressed) return -1;
  int column = (ImgEnabled ? 2 : 0) + (hot ? 1 : 0);
  switch (ImgCheckType) {
    case ctTriStateCheckBox:
    case ctCheckBox: return boxes[ImgCheckState][column];
    case ctRadioButton: return radios[ImgCheckState][column];
    case ctButton: return buttons[ImgCheckState][column];
    default: return -1;
  }
}

TImageList* TBaseDataTree::GetCheckImageListFor(int Kind) const {
  return GetCheckImageList(TCheckImageKind(Kind));
}
