// The deleting handler the tree's event tables share: for each event a row
// raises, the handler deletes the node the event names, its parent,
// another row or the whole tree, once per run.
#pragma once

#include "tree/base_tree.h"

namespace tree_event_table {

enum TCase { cNode, cParent, cOther, cTree };
inline const char* const kCaseNames[] = {"its node", "the node's parent", "another row", "the tree"};

// The run of one row in one case.
struct TRun {
  TCase Case = cNode;
  TBaseDataTree* Tree = nullptr;
  bool Armed = false;
  bool Fired = false;
  int Calls = 0;
};

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

// The handler's deletion, once per run.
inline void handlerDeletes(PDataNode named) {
  TRun* run = currentRun();
  if (!run || !run->Armed) return;
  ++run->Calls;
  if (run->Fired) return;
  TBaseDataTree* t = run->Tree;
  if (t->ComponentState().Contains(csDestroying)) return;
  // A node the event names that is not (or no longer) one of the tree's
  // rows is no node to delete.
  if (named && (named == t->RootNode() || TreeFromNode(named) != t)) named = nullptr;
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

}  // namespace tree_event_table
