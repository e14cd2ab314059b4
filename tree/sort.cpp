// Sorting children by the owner's comparison: a stable merge sort on the
// sibling chain, and the whole tree level by level.
#include "tree/base_tree.h"

namespace {
// Sorts a chain of n nodes linked by NextSibling; returns its new head.
PDataNode mergeSort(TBaseDataTree& tree, PDataNode head, std::uint32_t n, TColumnIndex column, bool ascending,
                    const std::function<int(PDataNode, PDataNode)>& compare) {
  if (n <= 1) {
    if (head) head->NextSibling = nullptr;
    return head;
  }
  std::uint32_t firstCount = n / 2;
  PDataNode secondHead = head;
  for (std::uint32_t i = 0; i < firstCount; ++i) secondHead = secondHead->NextSibling;
  PDataNode a = mergeSort(tree, head, firstCount, column, ascending, compare);
  PDataNode b = mergeSort(tree, secondHead, n - firstCount, column, ascending, compare);
  PDataNode result = nullptr;
  PDataNode* tail = &result;
  while (a && b) {
    int c = compare(a, b);
    // Equal nodes keep their order in both directions.
    bool secondFirst = ascending ? c > 0 : c < 0;
    if (secondFirst) {
      *tail = b;
      b = b->NextSibling;
    } else {
      *tail = a;
      a = a->NextSibling;
    }
    tail = &(*tail)->NextSibling;
  }
  *tail = a ? a : b;
  return result;
}
}  // namespace

void TBaseDataTree::Sort(PDataNode Node, TColumnIndex Column, TSortDirection Direction, bool DoInit) {
  InterruptValidation();
  if (FStates.Contains(tsEditPending)) {
    StopTimer(EditTimer);
    DoStateChange({}, {tsEditPending});
  }
  if (IsEditing()) CancelEditNode();
  if (!Node) Node = FRoot;
  if (!Node->States.Contains(vsHasChildren)) return;
  if (DoInit) {
    if (Node->ChildCount == 0) InitChildren(Node);
    for (PDataNode run = Node->FirstChild; run; run = run->NextSibling)
      if (!run->States.Contains(vsInitialized)) InitNode(run);
  }
  if (Node->ChildCount > 1 && Node->FirstChild) {
    auto compare = [this, Column](PDataNode a, PDataNode b) { return DoCompare(a, b, Column); };
    PDataNode head = mergeSort(*this, Node->FirstChild, Node->ChildCount, Column, Direction == sdAscending, compare);
    PDataNode previous = nullptr;
    std::uint32_t index = 0;
    for (PDataNode run = head; run; run = run->NextSibling) {
      run->PrevSibling = previous;
      run->Index = index++;
      previous = run;
    }
    Node->FirstChild = head;
    Node->LastChild = previous;
  }
  ExpireCache();
  if (FUpdateCount == 0) {
    InvalidateCache();
    InvalidateWindow();
  }
}

void TBaseDataTree::SortTree(TColumnIndex Column, TSortDirection Direction, bool DoInit) {
  ++FUpdateCount;
  struct TLower {
    TBaseDataTree* T;
    ~TLower() { --T->FUpdateCount; }
  };
  {
    TLower lower{this};
    if (Column > InvalidColumn) {
      std::function<void(PDataNode)> sortLevel = [&](PDataNode node) {
        Sort(node, Column, Direction, DoInit);
        for (PDataNode run = node->FirstChild; run; run = run->NextSibling) {
          if (DoInit && !run->States.Contains(vsInitialized)) InitNode(run);
          if (run->States.Contains(vsInitialized)) sortLevel(run);
        }
      };
      sortLevel(FRoot);
    }
    ExpireCache();
  }
  if (FUpdateCount == 0) {
    InvalidateCache();
    InvalidateWindow();
  }
}

void TBaseDataTree::DoSort(TColumnIndex Column, TSortDirection Direction) { SortTree(Column, Direction, true); }
