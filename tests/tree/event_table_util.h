// The deleting handler the tree's event sweeps share: with every event
// hooked, the handler counts the raises of an operation and at the chosen
// one deletes the node the event names, its parent, another row, the row a
// walk reaches after the named one, or the whole tree.
#pragma once

#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gui/forms.h"
#include "tree/base_tree.h"
#include "tree/worker.h"

namespace tree_event_table {

enum TCase { cNode, cParent, cOther, cTree, cNext };
inline const char* const kCaseNames[] = {"its node", "the node's parent", "another row", "the tree",
                                         "the row after the node's branch"};

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
  // The armed run: whether its handler was called at the FireAt-th raise,
  // why it had nothing to act on there (nil when it acted), and the node
  // it deleted (and whether the tree freed it since).
  bool Reached = false;
  const char* Idle = nullptr;
  PDataNode Deleted = nullptr;
  bool DeletedFreed = false;
  // A row never initialised goes without a word to the free handler: its
  // address may be taken by a row made later, so whether it went cannot
  // be told from the rows that are left.
  bool DeletedUnseen = false;
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
  if (run->FireAt == 0 || run->Calls <= run->FireAt) run->Events.push_back(Event);
  TBaseDataTree* t = run->Tree;
  const bool acts = run->Calls == run->FireAt;
  run->Reached = run->Reached || acts;
  if (t->ComponentState().Contains(csDestroying)) {
    if (acts) run->Idle = "the tree is being destroyed";
    return;
  }
  // A node the event names that is not (or no longer) one of the tree's
  // rows is no node to delete: a node being freed is out of the tree, and
  // its parent may be gone before it.
  if (named && !isRowOf(*t, named)) named = nullptr;
  if (run->FireAt == 0) run->Named.push_back(named != nullptr);
  if (!acts) return;
  auto deletes = [&](PDataNode n) {
    run->Fired = true;
    run->Deleted = n;
    // A row whose data the owner was handed is told to the free handler
    // when it goes, initialised or not.
    if (t->NodeDataSize() > 0)
      (void)t->GetNodeData(n);
    else if (!n->States.Contains(vsInitialized))
      run->DeletedUnseen = true;
    t->DeleteNode(n);
  };
  switch (run->Case) {
    case cNode:
    case cParent:
      if (!named) {
        run->Idle = "the event names no row";
      } else if (run->Case == cNode) {
        deletes(named);
      } else if (named->Parent != t->RootNode()) {
        deletes(named->Parent);
      } else {
        run->Fired = true;
        run->Deleted = named;
        t->Clear();
      }
      return;
    case cOther:
      for (PDataNode n = t->RootNode()->FirstChild; n; n = n->NextSibling)
        if (!named || !isAncestorOrSelf(n, named)) return deletes(n);
      run->Idle = "no other row";
      return;
    case cTree:
      run->Fired = true;
      run->Armed = false;
      delete t;
      return;
    case cNext: {
      // The row a walk over siblings or in tree order goes to next.
      if (!named) {
        run->Idle = "the event names no row";
        return;
      }
      PDataNode n = named;
      while (n != t->RootNode() && !n->NextSibling) n = n->Parent;
      if (n == t->RootNode()) {
        run->Idle = "no row after it";
        return;
      }
      return deletes(n->NextSibling);
    }
  }
}

// Notes that the tree freed the node the handler deleted.
inline void noteFreed(PDataNode n) {
  if (TRun* run = currentRun(); run && n && n == run->Deleted) run->DeletedFreed = true;
}

// An armed run acts at its raise: the operation raised as many events as
// the counting run up to there, the same ones, and the handler did its
// deletion unless there was nothing there for it to delete.
inline void expectActed(const TRun& Counted, const TRun& Run) {
  ASSERT_TRUE(Run.Reached) << "the operation ended after " << Run.Calls << " raises";
  for (std::size_t i = 0; i < Run.Events.size(); ++i)
    if (Run.Events[i] != Counted.Events[i]) {
      ADD_FAILURE() << "raise " << i + 1 << " was of event " << Run.Events[i] << ", in the counting run of event "
                    << Counted.Events[i];
      break;
    }
  EXPECT_TRUE(Run.Fired || Run.Idle) << "the handler did not act";
}

// The tree whose waiting paint pump() carries out: the fixture's.
inline std::weak_ptr<const bool>& paintedLife() {
  static std::weak_ptr<const bool> life;
  return life;
}
inline TBaseDataTree*& paintedTree() {
  static TBaseDataTree* tree = nullptr;
  return tree;
}
inline void paintsOf(TBaseDataTree* Tree) {
  paintedTree() = Tree;
  paintedLife() = Tree->LifeToken();
}

// Waits until the background thread has reported on the fixture's tree
// what it was asked to work out, so that its reports are handled here.
inline void workerSettles() {
  for (TWorkerThread* w = WorkerThread(); w && !paintedLife().expired();) {
    TBaseDataTree* t = paintedTree();
    if (!w->IsQueued(t) && w->CurrentTree() != t) return;
    std::this_thread::yield();
  }
}

// Lets the posted messages through, then paints at once what they left to
// paint: the toolkit's own repaint waits for a timer, the background
// thread's reports come when they come, and a case must raise the same
// events however slowly it runs.
inline void pump() {
  for (int i = 0; i < 3; ++i) {
    workerSettles();
    Application->HandleMessage();
  }
  if (!paintedLife().expired()) paintedTree()->Update();
}

// For its life, an error that reaches the program's handler (past every
// call of the tree) fails the case.
struct TNoErrorReachesTheProgram {
  TNoErrorReachesTheProgram() : Outer(Application->OnException) {
    Application->OnException = [](TObject*, const std::exception& E) {
      ADD_FAILURE() << "reached the program: " << E.what();
    };
  }
  ~TNoErrorReachesTheProgram() { Application->OnException = Outer; }
  TNoErrorReachesTheProgram(const TNoErrorReachesTheProgram&) = delete;
  TNoErrorReachesTheProgram& operator=(const TNoErrorReachesTheProgram&) = delete;
  TExceptionEvent Outer;
};

// One test of a sweep: an operation, or a part of one that raises many
// events (the part acts at every Parts-th raise, from raise Part + 1 on).
struct TSweepPart {
  std::size_t Op = 0;
  int Part = 0;
  int Parts = 1;
  std::string Name;
  bool covers(int N) const { return (N - 1) % Parts == Part; }
};

// The tests of a sweep over operations with these names, each in the
// number of parts PartsOf gives it.
template <typename PartsOf>
std::vector<TSweepPart> sweepParts(const std::vector<std::string>& Names, PartsOf partsOf) {
  std::vector<TSweepPart> out;
  for (std::size_t i = 0; i < Names.size(); ++i) {
    const int parts = partsOf(Names[i]);
    for (int part = 0; part < parts; ++part)
      out.push_back({i, part, parts, parts == 1 ? Names[i] : Names[i] + "Part" + std::to_string(part + 1)});
  }
  return out;
}

// The cases worth running at the N-th raise of a counting run (1-based).
inline std::vector<TCase> casesAt(const TRun& Counted, int N) {
  if (Counted.Named[std::size_t(N - 1)]) return {cNode, cParent, cOther, cNext, cTree};
  return {cOther, cTree};
}

#ifdef TAMRIX_SOURCE_DIR
// The events the tree and the string tree declare, from their headers.
inline std::set<std::string> declaredEvents() {
  std::set<std::string> names;
  const std::regex member(R"(^\s+T\w+ (On\w+);)");
  for (const char* header : {"/tree/base_tree.h", "/tree/string_tree.h"}) {
    std::ifstream in(std::string(TAMRIX_SOURCE_DIR) + header);
    EXPECT_TRUE(in.good()) << header;
    std::string line;
    std::smatch m;
    while (std::getline(in, line))
      if (std::regex_search(line, m, member)) names.insert(m[1]);
  }
  return names;
}
#endif

}  // namespace tree_event_table
