// Sorting children by the owner's comparison: a stable top-down merge sort,
// and the whole tree level by level.
//
// The children are sorted as an array and linked in their new order only
// when the sort is complete: a comparison handler that raises leaves the
// sibling chain exactly as it was, and none can delete a node meanwhile
// (deletions wait for the sort's end). A handler may add rows or move them
// in or out, though: then the sorted rows still there are linked in their
// order and the rows that came meanwhile follow them, as they came.
#include <algorithm>
#include <unordered_set>
#include <vector>

#include "tree/base_tree.h"

namespace {
// A million siblings do not fit in any cache, and every comparison reads two
// nodes at places the sort has scattered: ask for the nodes a merge will
// compare next before it gets there.
constexpr std::size_t PrefetchDistance = 8;
constexpr std::size_t SmallRange = 64;
inline void prefetchNode(PDataNode Node, std::size_t DataOffset) {
  __builtin_prefetch(Node);
  __builtin_prefetch(reinterpret_cast<const char*>(Node) + DataOffset);
}

// Sorts Nodes[0, n) stably, splitting into n / 2 and (n + 1) / 2 and
// merging with the heads compared first half against second half; equal
// nodes keep their order in both directions.
template <typename Compare>
void mergeSort(PDataNode* Nodes, PDataNode* Buffer, std::size_t n, bool Ascending, std::size_t DataOffset,
               const Compare& compare, bool Warm = false) {
  if (n <= 1) return;
  if (!Warm && n <= SmallRange) {
    // The small merges below reach no node far enough ahead to fetch it in
    // time: fetch them all at once, so the misses overlap.
    for (std::size_t i = 0; i < n; ++i) prefetchNode(Nodes[i], DataOffset);
    Warm = true;
  }
  const std::size_t firstCount = n / 2;
  mergeSort(Nodes, Buffer, firstCount, Ascending, DataOffset, compare, Warm);
  mergeSort(Nodes + firstCount, Buffer, n - firstCount, Ascending, DataOffset, compare, Warm);
  std::copy(Nodes, Nodes + firstCount, Buffer);
  PDataNode* a = Buffer;
  PDataNode* const aEnd = Buffer + firstCount;
  PDataNode* b = Nodes + firstCount;
  PDataNode* const bEnd = Nodes + n;
  PDataNode* out = Nodes;
  while (a != aEnd && b != bEnd) {
    if (aEnd - a > std::ptrdiff_t(PrefetchDistance)) prefetchNode(a[PrefetchDistance], DataOffset);
    if (bEnd - b > std::ptrdiff_t(PrefetchDistance)) prefetchNode(b[PrefetchDistance], DataOffset);
    const int c = compare(*a, *b);
    const bool secondFirst = Ascending ? c > 0 : c < 0;
    *out++ = secondFirst ? *b++ : *a++;
  }
  // What is left of the second half is already in place.
  std::copy(a, aEnd, out);
}
}  // namespace

void TBaseDataTree::Sort(PDataNode Node, TColumnIndex Column, TSortDirection Direction, bool DoInit) {
  // The state handler told below may delete the node: the sort ends there.
  NodeEntry(Node, [&] {
    InterruptValidation();
    if (FStates.Contains(tsEditPending)) {
      StopTimer(EditTimer);
      DoStateChange({}, {tsEditPending});
    }
    if (IsEditing() && !EndEditNode()) return;
    if (!Node) Node = FRoot;
    if (!Node->States.Contains(vsHasChildren)) return;
    TIterationGuard guard(*this);
    if (DoInit) {
      if (Node->ChildCount == 0) InitChildren(Node);
      if (guard.TreeGone()) return;
      for (PDataNode run = Node->FirstChild; run; run = run->NextSibling)
        if (!run->States.Contains(vsInitialized)) {
          InitNode(run);
          if (guard.TreeGone()) return;
        }
    }
    if (Node->ChildCount > 1 && Node->FirstChild) {
      // The chain is walked from both ends at once: two independent walks
      // wait for memory side by side instead of one after the other.
      std::vector<PDataNode> nodes(Node->ChildCount);
      std::size_t front = 0, back = nodes.size();
      PDataNode head = Node->FirstChild, tail = Node->LastChild;
      while (front < back) {
        nodes[front++] = head;
        head = head->NextSibling;
        if (front == back) break;
        nodes[--back] = tail;
        tail = tail->PrevSibling;
      }
      std::vector<PDataNode> buffer(nodes.size() / 2 + 1);
      // A handler that destroys the tree ends the sort: the remaining
      // comparisons answer "equal" without touching it.
      auto compare = [this, Column, &guard](PDataNode a, PDataNode b) {
        return guard.TreeGone() ? 0 : DoCompare(a, b, Column);
      };
      const std::uint64_t rowsBefore = FStructureGen;
      mergeSort(nodes.data(), buffer.data(), nodes.size(), Direction == sdAscending, userDataOffset(), compare);
      if (guard.TreeGone()) return;
      if (rowsBefore != FStructureGen) {
        // A handler changed rows meanwhile: the sorted rows still among the
        // children keep their order, the rows that came follow it.
        std::vector<PDataNode> order;
        order.reserve(Node->ChildCount);
        for (PDataNode n : nodes)
          if (n->Parent == Node) order.push_back(n);
        if (order.size() != Node->ChildCount) {
          const std::unordered_set<PDataNode> sorted(order.begin(), order.end());
          for (PDataNode run = Node->FirstChild; run; run = run->NextSibling)
            if (!sorted.count(run)) order.push_back(run);
        }
        nodes.swap(order);
        if (nodes.empty()) return;
      }
      // The sort is done: hidden children's runs are noted anew in the new order; the notes of
      // the old ends go first. (No note at all means no hidden node.)
      bool hiddenChildren = false;
      if (!FHiddenRuns.empty())
        for (PDataNode n : nodes)
          if (!n->States.Contains(vsVisible)) {
            hiddenChildren = true;
            FHiddenRuns.erase(n);
          }
      PDataNode previous = nullptr;
      std::uint32_t index = 0;
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (i + PrefetchDistance < nodes.size()) __builtin_prefetch(nodes[i + PrefetchDistance], 1);
        PDataNode run = nodes[i];
        run->PrevSibling = previous;
        if (previous) previous->NextSibling = run;
        run->Index = index++;
        previous = run;
      }
      previous->NextSibling = nullptr;
      Node->Reserved &= std::uint8_t(~nrChildIndicesStale);
      Node->FirstChild = nodes.front();
      Node->LastChild = previous;
      if (hiddenChildren) noteHiddenRuns(Node);
    }
    ExpireCache();
    if (FUpdateCount == 0) {
      InvalidateCache();
      InvalidateWindow();
    }
  });
}

void TBaseDataTree::SortTree(TColumnIndex Column, TSortDirection Direction, bool DoInit) {
  GuardedEntry([&] {
    ++FUpdateCount;
    struct TLower {
      TBaseDataTree* T;
      std::weak_ptr<const bool> Life;
      ~TLower() {
        if (!Life.expired()) --T->FUpdateCount;
      }
    };
    const std::weak_ptr<const bool> life = FLifeToken;
    {
      TLower lower{this, life};
      TIterationGuard guard(*this);
      if (Column > InvalidColumn) {
        // Pre-order without recursion: a node's children are sorted when it
        // is reached, before the walk goes down into them.
        Sort(FRoot, Column, Direction, DoInit);
        if (guard.TreeGone()) return;
        PDataNode run = FRoot->FirstChild;
        while (run) {
          if (DoInit && !run->States.Contains(vsInitialized)) {
            InitNode(run);
            if (guard.TreeGone()) return;
          }
          if (run->States.Contains(vsInitialized)) {
            Sort(run, Column, Direction, DoInit);
            if (guard.TreeGone()) return;
          }
          if (run->States.Contains(vsInitialized) && run->FirstChild) {
            run = run->FirstChild;
            continue;
          }
          while (run != FRoot && !run->NextSibling) run = run->Parent;
          run = run == FRoot ? nullptr : run->NextSibling;
        }
      }
      ExpireCache();
    }
    if (FUpdateCount == 0) {
      InvalidateCache();
      InvalidateWindow();
    }
  });
}

void TBaseDataTree::DoSort(TColumnIndex Column, TSortDirection Direction) { SortTree(Column, Direction, true); }
