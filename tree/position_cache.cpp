// The position cache: anchors every CacheThreshold visible rows, filled by
// the worker thread, so that finding the row at a pixel position walks at
// most that many rows after a binary search.
#include <algorithm>
#include <climits>

#include "tree/base_tree.h"
#include "tree/worker.h"

namespace {
constexpr std::uint32_t CacheThreshold = 2000;

// Changes to the cache flags in WM_CHANGESTATE masks.
constexpr std::uintptr_t csmStopValidation = 1, csmUseCache = 2, csmValidating = 4,
                         csmValidationNeeded = 8;
}  // namespace

// Only the GUI thread changes the pass number, so a plain store suffices;
// this runs for every node added or deleted and must stay cheap.
void TBaseDataTree::nextCacheGeneration() {
  FCacheGeneration.store(FCacheGeneration.load(std::memory_order_relaxed) + 1,
                         std::memory_order_release);
}

// Both run for every node added or deleted; most of the time the states
// they set are set already, and then they only move the pass number on.
void TBaseDataTree::ExpireCache() {
  nextCacheGeneration();
  if (FStates.Contains(tsValidationNeeded) && !FStates.Contains(tsUseCache)) return;
  DoStateChange({tsValidationNeeded}, {tsUseCache});
}

void TBaseDataTree::InterruptValidation() {
  // Tells the worker to stop, makes every report of an earlier pass stale,
  // and answers whether the worker is busy with this tree.
  auto stopPass = [this] {
    FStopValidation.store(true, std::memory_order_release);
    nextCacheGeneration();
    return FWorkerBusy.load(std::memory_order_acquire);
  };
  const bool tellsState = !FStates.Contains(tsStopValidation) || FStates.Contains(tsUseCache);
  // The state handlers may destroy the tree: a call of the program is an
  // entry. Most calls (one per row added) tell nothing and need none.
  if (!tellsState && !stopPass()) return;
  GuardedEntry([&] {
    if (tellsState) DoStateChange({tsStopValidation}, {tsUseCache});
    if (!stopPass()) return;
    TWorkerThread* worker = WorkerThread();
    if (!worker) return;
    bool wasValidating = worker->RemoveTree(this);
    if (wasValidating) DoStateChange({tsValidationNeeded});
  });
}

void TBaseDataTree::rowsChanged() {
  ExpireCache();
  if (FUpdateCount > 0) return;
  InvalidateCache();
  UpdateScrollBars(true);
  InvalidateWindow();
}

void TBaseDataTree::InvalidateCache() {
  // A tree that is going away must not be queued again, and a tree in the
  // middle of an operation is queued when the operation is complete.
  if (FDestroying || FCacheHold > 0) return;
  InterruptValidation();
  FStartIndex = 0;
  if (!FStates.Contains(tsValidationNeeded)) return;
  TWorkerThread* worker = WorkerThread();
  if (!worker) return;
  FCacheChildrenAbove = childrenAbove();
  FCacheWindow = TreeHandleAllocated() ? Handle() : nullptr;
  worker->AddTree(this);
}

bool TBaseDataTree::ValidateCache() { return fillPositionCache(); }

bool TBaseDataTree::fillPositionCache() {
  // Runs on the worker thread; reads only the structure and the fields the
  // GUI thread does not touch while the worker holds the tree.
  auto stopped = [this] { return FStopValidation.load(std::memory_order_relaxed); };
  if (stopped()) return false;
  if (FStartIndex == 0) FPositionCache.clear();
  if (FVisibleCount <= CacheThreshold) return false;

  const bool above = FCacheChildrenAbove;
  if (FStartIndex > FPositionCache.size()) FStartIndex = std::uint32_t(FPositionCache.size());
  std::size_t index = 0;
  std::uint32_t top = 0;
  PDataNode node;
  if (FStartIndex > 0 && FPositionCache[FStartIndex - 1].Node) {
    index = FStartIndex - 1;
    node = FPositionCache[index].Node;
    top = FPositionCache[index].AbsoluteTop;
  } else {
    node = firstVisibleNoInit(above);
  }
  FPositionCache.reserve(FVisibleCount / CacheThreshold + 2);

  // An anchor for every CacheThreshold-th row, then a closing entry without
  // a node whose top is the end of the last row.
  std::uint32_t counter = 0;
  while (node && !stopped()) {
    if (counter % CacheThreshold == 0) {
      if (index >= FPositionCache.size()) FPositionCache.resize(index + 1);
      FPositionCache[index++] = {node, top};
    }
    top += node->NodeHeight;
    node = nextShownNoInit(node, above);
    ++counter;
  }
  if (stopped()) return false;
  FPositionCache.resize(index + 1);
  FPositionCache[index] = {nullptr, top};
  return counter > 0;
}

// The row after a row that is shown itself: no need to look for a hiding
// ancestor, which keeps the walks from an anchor short.
PDataNode TBaseDataTree::nextShownNoInit(PDataNode Node, bool aboveOrder) const {
  if (aboveOrder) {
    for (PDataNode sibling = Node->NextSibling; sibling; sibling = sibling->NextSibling) {
      if (!sibling->States.Contains(vsVisible)) continue;
      PDataNode result = sibling;
      while (result->States.Contains(vsExpanded)) {
        PDataNode child = result->FirstChild;
        while (child && !child->States.Contains(vsVisible)) child = child->NextSibling;
        if (!child) break;
        result = child;
      }
      return result;
    }
    return Node->Parent == FRoot ? nullptr : Node->Parent;
  }
  if (Node->States.Contains(vsExpanded))
    for (PDataNode child = Node->FirstChild; child; child = child->NextSibling)
      if (child->States.Contains(vsVisible)) return child;
  for (PDataNode run = Node; run != FRoot; run = run->Parent)
    for (PDataNode sibling = run->NextSibling; sibling; sibling = sibling->NextSibling)
      if (sibling->States.Contains(vsVisible)) return sibling;
  return nullptr;
}

PDataNode TBaseDataTree::firstVisibleNoInit(bool aboveOrder) const {
  PDataNode result = FRoot->FirstChild;
  while (result && !result->States.Contains(vsVisible)) result = result->NextSibling;
  if (result && aboveOrder) {
    while (result->States.Contains(vsExpanded)) {
      PDataNode child = result->FirstChild;
      while (child && !child->States.Contains(vsVisible)) child = child->NextSibling;
      if (!child) break;
      result = child;
    }
  }
  return result;
}

PDataNode TBaseDataTree::FindInPositionCache(std::uint32_t Position, std::uint32_t& CurrentPos) const {
  if (FPositionCache.empty()) {
    CurrentPos = 0;
    return nullptr;
  }
  std::ptrdiff_t low = 0;
  std::ptrdiff_t high = std::ptrdiff_t(FPositionCache.size()) - 1;
  while (low <= high) {
    std::ptrdiff_t middle = (low + high) / 2;
    if (FPositionCache[std::size_t(middle)].AbsoluteTop <= Position)
      low = middle + 1;
    else
      high = middle - 1;
  }
  if (low > 0) {
    const TCacheEntry& entry = FPositionCache[std::size_t(low - 1)];
    CurrentPos = entry.AbsoluteTop;
    return entry.Node;
  }
  CurrentPos = 0;
  return nullptr;
}

PDataNode TBaseDataTree::FindInPositionCache(PDataNode Node, std::uint32_t& CurrentPos) const {
  std::ptrdiff_t count = std::ptrdiff_t(FPositionCache.size());
  // The closing entry has no node and is not part of the node order.
  if (count > 0 && !FPositionCache.back().Node) --count;
  std::ptrdiff_t low = 0;
  std::ptrdiff_t high = count - 1;
  while (low <= high) {
    std::ptrdiff_t middle = (low + high) / 2;
    if (CompareNodePositions(FPositionCache[std::size_t(middle)].Node, Node, true) > 0)
      high = middle - 1;
    else
      low = middle + 1;
  }
  if (low > 0) {
    const TCacheEntry& entry = FPositionCache[std::size_t(low - 1)];
    CurrentPos = entry.AbsoluteTop;
    return entry.Node;
  }
  CurrentPos = 0;
  return nullptr;
}

int TBaseDataTree::CompareNodePositions(PDataNode Node1, PDataNode Node2,
                                        bool ConsiderChildrenAbove) const {
  TAMRIX_ASSERT(Node1 && Node2, "Nodes must never be nil.");
  if (Node1 == Node2) return 0;
  const bool above = ConsiderChildrenAbove && childrenAbove();
  auto hasAsParent = [this](PDataNode node, PDataNode ancestor) {
    for (PDataNode run = node->Parent; run && run != FRoot; run = run->Parent)
      if (run == ancestor) return true;
    return false;
  };
  if (hasAsParent(Node1, Node2)) return above ? -1 : 1;
  if (hasAsParent(Node2, Node1)) return above ? 1 : -1;

  unsigned level1 = GetNodeLevel(Node1);
  unsigned level2 = GetNodeLevel(Node2);
  for (; level1 > level2; --level1) Node1 = Node1->Parent;
  for (; level2 > level1; --level2) Node2 = Node2->Parent;
  while (Node1->Parent != Node2->Parent) {
    Node1 = Node1->Parent;
    Node2 = Node2->Parent;
  }
  std::int64_t difference = std::int64_t(Node1->Index) - std::int64_t(Node2->Index);
  return int(std::clamp<std::int64_t>(difference, -INT_MAX, INT_MAX));
}

PDataNode TBaseDataTree::GetNodeAt(int X, int Y) {
  int dummy;
  return GetNodeAt(X, Y, true, dummy);
}

PDataNode TBaseDataTree::walkToNodeAt(std::uint32_t Y, int& NodeTop) {
  std::uint32_t currentTop = 0;
  PDataNode result = nullptr;
  const bool above = childrenAbove();
  if (FStates.Contains(tsUseCache) && !FPositionCache.empty()) {
    // Below the closing entry there are no rows.
    if (!FPositionCache.back().Node && Y >= FPositionCache.back().AbsoluteTop) {
      NodeTop = 0;
      return nullptr;
    }
    result = FindInPositionCache(Y, currentTop);
  }
  if (!result) {
    currentTop = 0;
    result = firstVisibleNoInit(above);
  }
  while (result) {
    std::uint32_t bottom = currentTop + result->NodeHeight;
    if (Y < bottom) break;
    currentTop = bottom;
    result = nextShownNoInit(result, above);
  }
  NodeTop = result ? int(currentTop) : 0;
  return result;
}

PDataNode TBaseDataTree::GetNodeAt(int X, int Y, bool Relative, int& NodeTop) {
  (void)X;
  return GuardedEntry(PDataNode(nullptr), [&]() -> PDataNode {
    // In 64 bits: a window far down a very tall tree has offsets near the
    // int limits, and the sum must not wrap.
    std::int64_t y = Y;
    if (Relative) y -= FOffsetY;
    y = std::clamp<std::int64_t>(y, 0, UINT32_MAX);
    PDataNode result = walkToNodeAt(std::uint32_t(y), NodeTop);
    if (!result) return nullptr;
    if (Relative)
      NodeTop = int(std::clamp<std::int64_t>(std::int64_t(std::uint32_t(NodeTop)) + FOffsetY, INT_MIN, INT_MAX));
    if (!result->States.Contains(vsInitialized)) InitNode(result);
    return result;
  });
}

void TBaseDataTree::applyStateMask(std::uintptr_t mask, TDataTreeStates& into) const {
  if (mask & csmStopValidation) into.Include(tsStopValidation);
  if (mask & csmUseCache) into.Include(tsUseCache);
  if (mask & csmValidating) into.Include(tsValidating);
  if (mask & csmValidationNeeded) into.Include(tsValidationNeeded);
}

void TBaseDataTree::HandleChangeState(std::uintptr_t EnterMask, std::intptr_t LeaveMask) {
  std::uint32_t generation = std::uint32_t(EnterMask >> 4);
  TDataTreeStates enter, leave;
  if (generation != FCacheGeneration.load(std::memory_order_acquire)) {
    // A report of an abandoned pass. Only make sure the "validating" flag
    // does not stick when no newer pass will report.
    if (!FWorkerBusy.load(std::memory_order_acquire)) DoStateChange({}, {tsValidating});
    return;
  }
  applyStateMask(EnterMask & 15, enter);
  applyStateMask(std::uintptr_t(LeaveMask) & 15, leave);
  DoStateChange(enter, leave);
  // Row heights may have been measured in the meantime; the scroll range
  // follows the filled cache.
  if ((EnterMask & csmUseCache) && FOptions->MiscOptions().Contains(toVariableNodeHeight))
    UpdateScrollBars(true);
}
