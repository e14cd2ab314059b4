// The deleting handler the tree's event sweeps share: with every event
// hooked, the handler counts the raises of an operation and at the chosen
// one deletes the node the event names, its parent, another row or the
// whole tree.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "tree/base_tree.h"

namespace tree_event_table {

enum TCase { cNode, cParent, cOther, cTree };
inline const char* const kCaseNames[] = {"its node", "the node's parent", "another row", "the tree"};

// The run of one operation in one case: the handler acts at the FireAt-th
// raise of any hooked event (none when 0, the counting run).
struct TRun {
  TCase Case = cNode;
  TBaseDataTree* Tree = nullptr;
  bool Armed = false;
  bool Fired = false;
  int Calls = 0;
  int FireAt = 0;
  // Per raise of the counting run: whether it named one of the tree's
  // rows, and which hooked event it was.
  std::vector<bool> Named;
  std::vector<int> Events;
};

// Numbers the hooks of one tree in the order they are made.
inline int& hookCount() {
  static int count = 0;
  return count;
}

// The run the handlers act for; set for the length of one case.
inline TRun*& currentRun() {
  static TRun* run = nullptr;
  return run;
}

// Arms a run for the life of the scope.
struct TArmedRun {
  TArmedRun(TRun& Run, TCase Case, TBaseDataTree* Tree) {
    Run.Case = Case;
    Run.Tree = Tree;
    Run.Armed = true;
    currentRun() = &Run;
  }
  ~TArmedRun() { currentRun() = nullptr; }
  TArmedRun(const TArmedRun&) = delete;
  TArmedRun& operator=(const TArmedRun&) = delete;
};

inline bool isAncestorOrSelf(PDataNode a, PDataNode n) {
  for (; n; n = n->Parent)
    if (n == a) return true;
  return false;
}

inline bool isRowOf(TBaseDataTree& t, PDataNode n) {
  for (PDataNode run = t.GetFirstNoInit(); run; run = t.GetNextNoInit(run))
    if (run == n) return true;
  return false;
}

// The handler's deletion, at the run's chosen raise.
inline void handlerDeletes(PDataNode named, int Event = -1) {
  TRun* run = currentRun();
  if (!run || !run->Armed) return;
  ++run->Calls;
  TBaseDataTree* t = run->Tree;
  if (t->ComponentState().Contains(csDestroying)) return;
  // A node the event names that is not (or no longer) one of the tree's
  // rows is no node to delete: a node being freed is out of the tree, and
  // its parent may be gone before it.
  if (named && !isRowOf(*t, named)) named = nullptr;
  if (run->FireAt == 0) {
    run->Named.push_back(named != nullptr);
    run->Events.push_back(Event);
  }
  if (run->Calls != run->FireAt) return;
  switch (run->Case) {
    case cNode:
      if (!named) return;
      run->Fired = true;
      t->DeleteNode(named);
      return;
    case cParent:
      if (!named) return;
      run->Fired = true;
      if (named->Parent == t->RootNode())
        t->Clear();
      else
        t->DeleteNode(named->Parent);
      return;
    case cOther: {
      for (PDataNode n = t->RootNode()->FirstChild; n; n = n->NextSibling) {
        if (named && isAncestorOrSelf(n, named)) continue;
        run->Fired = true;
        t->DeleteNode(n);
        return;
      }
      return;
    }
    case cTree:
      run->Fired = true;
      run->Armed = false;
      delete t;
      return;
  }
}

// The raises to act at, of a counting run: every one of the first, then
// the first few of each event (painting asks the same questions of every
// cell, and the same step of each row stands for the rest).
inline std::vector<int> raisesToSweep(const TRun& Counted, int Leading = 24, int PerEvent = 3) {
  std::vector<int> out;
  std::vector<int> seen;
  for (int n = 1; n <= int(Counted.Events.size()); ++n) {
    const int event = Counted.Events[std::size_t(n - 1)];
    const std::size_t slot = std::size_t(event + 1);
    if (seen.size() <= slot) seen.resize(slot + 1);
    if (n <= Leading || seen[slot] < PerEvent) out.push_back(n);
    ++seen[slot];
  }
  return out;
}

// The cases worth running at the N-th raise of a counting run (1-based).
inline std::vector<TCase> casesAt(const TRun& Counted, int N) {
  if (Counted.Named[std::size_t(N - 1)]) return {cNode, cParent, cOther, cTree};
  return {cOther, cTree};
}

// The tree's own refusals: a deletion while a paint holds the rows, or
// while a walk (a copy, a sort) does.
inline bool isRefusal(const std::exception& E) {
  const std::string what = E.what();
  if (dynamic_cast<const EDataTreeError*>(&E)) return what.rfind("Nodes cannot be deleted while", 0) == 0;
  return dynamic_cast<const EAssertionFailed*>(&E) &&
         what.rfind("Deleting nodes during tree iteration leads to invalid pointers", 0) == 0;
}

}  // namespace tree_event_table
