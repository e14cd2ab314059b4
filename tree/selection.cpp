// The selection store: node pointers kept sorted by address, so that
// membership is a binary search and merging a batch is one pass.
#include <algorithm>

#include "tree/base_tree.h"

namespace {
inline bool isMarked(PDataNode p) { return (reinterpret_cast<std::uintptr_t>(p) & 1) != 0; }
inline PDataNode marked(PDataNode p) {
  return reinterpret_cast<PDataNode>(reinterpret_cast<std::uintptr_t>(p) | 1);
}
inline std::uintptr_t key(PDataNode p) { return reinterpret_cast<std::uintptr_t>(p); }

// Nodes come from the tree's blocks of many nodes each, in the order they
// were made: a batch taken in tree order (select all, a range) falls into
// rising runs, one per block, and the blocks do not overlap. Putting the
// runs in order by their first node then sorts the batch in one pass; a
// batch in any other shape is sorted the usual way.
void sortByAddress(std::vector<PDataNode>& Nodes) {
  const auto byKey = [](PDataNode a, PDataNode b) { return key(a) < key(b); };
  std::vector<std::size_t> starts{0};
  for (std::size_t i = 1; i < Nodes.size(); ++i) {
    if (key(Nodes[i]) >= key(Nodes[i - 1])) continue;
    starts.push_back(i);
    if (starts.size() > Nodes.size() / 16 + 1) {
      std::sort(Nodes.begin(), Nodes.end(), byKey);
      return;
    }
  }
  if (starts.size() == 1) return;
  std::sort(starts.begin(), starts.end(), [&](std::size_t a, std::size_t b) { return key(Nodes[a]) < key(Nodes[b]); });
  std::vector<PDataNode> sorted;
  sorted.reserve(Nodes.size());
  for (std::size_t start : starts) {
    std::size_t end = start + 1;
    while (end < Nodes.size() && key(Nodes[end]) >= key(Nodes[end - 1])) ++end;
    sorted.insert(sorted.end(), Nodes.begin() + std::ptrdiff_t(start), Nodes.begin() + std::ptrdiff_t(end));
  }
  if (!std::is_sorted(sorted.begin(), sorted.end(), byKey)) std::sort(sorted.begin(), sorted.end(), byKey);
  Nodes.swap(sorted);
}
}  // namespace

void TBaseDataTree::settleSelection() const {
  if (FSortedSelection >= FSelectionCount) return;
  const auto byKey = [](PDataNode a, PDataNode b) { return key(a) < key(b); };
  const auto sortedEnd = FSelection.begin() + std::ptrdiff_t(FSortedSelection);
  const auto end = FSelection.begin() + std::ptrdiff_t(FSelectionCount);
  std::sort(sortedEnd, end, byKey);
  std::inplace_merge(FSelection.begin(), sortedEnd, end, byKey);
  FSortedSelection = FSelectionCount;
}

bool TBaseDataTree::FindNodeInSelection(PDataNode P, int& Index, int LowBound, int HighBound) const {
  Index = -1;
  if (FSelectionCount == 0) return false;
  settleSelection();
  int low = LowBound < 0 ? 0 : LowBound;
  int high = HighBound < 0 ? int(FSelectionCount) - 1 : HighBound;
  while (low <= high) {
    int middle = (low + high) / 2;
    std::uintptr_t value = key(FSelection[std::size_t(middle)]);
    if (value == key(P)) {
      Index = middle;
      return true;
    }
    if (value < key(P))
      low = middle + 1;
    else
      high = middle - 1;
  }
  Index = low;
  return false;
}

bool TBaseDataTree::InternalAddToSelection(PDataNode const* NewItems, int NewLength,
                                           bool ForceInsert) {
  std::vector<PDataNode> accepted;
  accepted.reserve(std::size_t(NewLength > 0 ? NewLength : 0));
  const TDTSelectionOptions options = FOptions->SelectionOptions();
  for (int i = 0; i < NewLength; ++i) {
    PDataNode node = NewItems[i];
    if (!node || node == FRoot || nodeGoing(node)) continue;
    if (!ForceInsert) {
      if (options.Contains(toLevelSelectConstraint) && FLastSelectionLevel < 0)
        FLastSelectionLevel = int(GetNodeLevel(node));
      if (options.Contains(toSiblingSelectConstraint) && !FRangeAnchor) FRangeAnchor = node;
      if (node->States.Contains(vsSelected) || node->States.Contains(vsDisabled)) continue;
      if (options.Contains(toLevelSelectConstraint) && int(GetNodeLevel(node)) != FLastSelectionLevel)
        continue;
      if (options.Contains(toSiblingSelectConstraint) && FRangeAnchor &&
          node->Parent != FRangeAnchor->Parent)
        continue;
    } else if (node->States.Contains(vsSelected)) {
      continue;
    }
    node->States.Include(vsSelected);
    accepted.push_back(node);
  }
  if (accepted.empty()) return false;

  sortByAddress(accepted);
  FSelection.resize(FSelectionCount);
  const std::size_t middle = FSelection.size();
  FSelection.insert(FSelection.end(), accepted.begin(), accepted.end());
  FSelectionCount = std::uint32_t(FSelection.size());
  if (FSortedSelection == middle && (middle == 0 || key(FSelection[middle - 1]) < key(FSelection[middle]))) {
    // Behind every node selected before: in order as it is.
    FSortedSelection = FSelectionCount;
  } else if (FUpdateCount == 0) {
    settleSelection();
  }
  return true;
}

// The public selection calls raise the tree's events (the change, the
// paint): entries, so that a handler destroying the tree ends the call.
void TBaseDataTree::AddToSelection(PDataNode Node) {
  TAMRIX_ASSERT(Node != nullptr, "Node must not be nil!");
  GuardedEntry([&] {
    if (FSelectionLocked) return;
    if (!InternalAddToSelection(&Node, 1, false)) return;
    InvalidateNode(Node);
    Change(Node);
  });
}

void TBaseDataTree::AddToSelection(PDataNode const* NewItems, int NewLength, bool ForceInsert) {
  GuardedEntry([&] {
    if (FSelectionLocked) return;
    if (!InternalAddToSelection(NewItems, NewLength, ForceInsert)) return;
    if (NewLength == 1) {
      InvalidateNode(NewItems[0]);
      Change(NewItems[0]);
    } else {
      InvalidateWindow();
      Change(nullptr);
    }
  });
}

void TBaseDataTree::RemoveFromSelection(PDataNode Node) {
  TAMRIX_ASSERT(Node != nullptr, "Node must not be nil!");
  GuardedEntry([&] {
    if (FSelectionLocked || !Node->States.Contains(vsSelected)) return;
    Node->States.Exclude(vsSelected);
    int index;
    if (FindNodeInSelection(Node, index, -1, -1)) {
      FSelection.erase(FSelection.begin() + index);
      --FSelectionCount;
      FSortedSelection = FSelectionCount;
    }
    if (FSelectionCount == 0) ResetRangeAnchor();
    Change(Node);
  });
}

void TBaseDataTree::InternalRemoveFromSelection(PDataNode Node) {
  Node->States.Exclude(vsSelected);
  int index;
  if (FindNodeInSelection(Node, index, -1, -1) && !isMarked(FSelection[std::size_t(index)])) {
    FSelection[std::size_t(index)] = marked(Node);
    ++FMarkedSelectionEntries;
  }
}

void TBaseDataTree::PackArray() {
  // Called after every deletion: with nothing marked there is nothing to
  // walk, however big the selection.
  if (FMarkedSelectionEntries == 0) return;
  FMarkedSelectionEntries = 0;
  settleSelection();
  auto end = std::remove_if(FSelection.begin(), FSelection.begin() + FSelectionCount, isMarked);
  FSelectionCount = std::uint32_t(end - FSelection.begin());
  FSortedSelection = FSelectionCount;
  FSelection.resize(FSelectionCount);
}

void TBaseDataTree::InternalClearSelection() {
  if (FUpdateCount > 0) PackArray();
  for (std::uint32_t i = 0; i < FSelectionCount; ++i)
    if (!isMarked(FSelection[i])) FSelection[i]->States.Exclude(vsSelected);
  ResetRangeAnchor();
  FSelection.clear();
  FSelectionCount = 0;
  FSortedSelection = 0;
  FMarkedSelectionEntries = 0;
  DoStateChange({}, {tsClearPending});
}

void TBaseDataTree::ClearSelection() {
  GuardedEntry([&] {
    if (FSelectionLocked || FSelectionCount == 0 || FDestroying) return;
    if (FUpdateCount == 0) InvalidateWindow();
    InternalClearSelection();
    Change(nullptr);
  });
}

void TBaseDataTree::ResetRangeAnchor() {
  FRangeAnchor = FFocusedNode;
  FLastSelectionLevel = -1;
}

void TBaseDataTree::SetSelected(PDataNode Node, bool Value) {
  NodeEntry(Node, [&] {
    if (FSelectionLocked || !Node || Node == FRoot || Value == Node->States.Contains(vsSelected))
      return;
    // The change handlers may delete the node.
    TNodeWatch watch(*this, Node);
    if (Value) {
      if (FSelectionCount == 0)
        FRangeAnchor = Node;
      else if (!FOptions->SelectionOptions().Contains(toMultiSelect))
        ClearSelection();
      if (!watch.Node()) return;
      AddToSelection(Node);
      if (!watch.Node()) return;
      // A selection shows in the focused column: make sure there is one.
      TDataTreeColumns& columns = Header().Columns();
      TColumnIndex main = Header().MainColumn();
      if (main >= 0 && (!columns.IsValidColumn(FFocusedColumn) ||
                        !columns[FFocusedColumn]->Options().Contains(coVisible))) {
        if (columns.IsValidColumn(main) && columns[main]->Options().Contains(coVisible))
          FFocusedColumn = main;
        else if (columns.GetFirstVisibleColumn() >= 0)
          FFocusedColumn = columns.GetFirstVisibleColumn();
      }
      if (!FRangeAnchor) FRangeAnchor = Node;
    } else {
      RemoveFromSelection(Node);
      if (FSelectionCount == 0) ResetRangeAnchor();
      if (!watch.Node()) return;
    }
    if (FullyVisible(Node)) InvalidateNode(Node);
  });
}
