// Speed and memory of the data tree's node store at a million nodes, next to
// the same shapes in a Qt item model shown in a tree view.
//
//   build/bench/tree_core/bench_tree_core [nodes]
#include <unistd.h>

#include <QApplication>
#include <QStandardItemModel>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

#include "platform/gui/forms.h"
#include "tree/base_tree.h"

namespace {
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double timeIt(const std::function<void()>& work) {
  auto start = Clock::now();
  work();
  return msSince(start);
}

// Resident memory: the tree's nodes live in large aligned chunks, whose
// mappings the heap's own statistics count with their unused alignment room.
std::size_t heapInUse() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return std::size_t(resident) * std::size_t(sysconf(_SC_PAGESIZE));
}

class TBenchTree : public TBaseDataTree {
public:
  using TBaseDataTree::TBaseDataTree;
  // Queues a fill on the worker and pumps messages until its report made
  // the cache usable.
  void FillCacheNow() {
    ExpireCache();
    InvalidateCache();
    while (!TreeStates().Contains(tsUseCache)) Application->HandleMessage();
  }
  void StopWorker() { InterruptValidation(); }
};

void buildRootsAndChildren(TBaseDataTree& t, int roots, int children) {
  t.BeginUpdate();
  for (int r = 0; r < roots; ++r) {
    PDataNode root = t.AddChild(nullptr);
    for (int c = 0; c < children; ++c) t.AddChild(root);
  }
  t.EndUpdate();
}

void buildFlat(TBaseDataTree& t, int count) {
  t.BeginUpdate();
  for (int i = 0; i < count; ++i) t.AddChild(nullptr);
  t.EndUpdate();
}

void qtFill(QStandardItemModel& model, int roots, int children) {
  QStandardItem* top = model.invisibleRootItem();
  for (int r = 0; r < roots; ++r) {
    auto* root = new QStandardItem();
    if (children > 0) {
      QList<QStandardItem*> row;
      row.reserve(children);
      for (int c = 0; c < children; ++c) row.append(new QStandardItem());
      root->appendRows(row);
    }
    top->appendRow(root);
  }
}
}  // namespace

int main(int argc, char** argv) {
  int total = argc > 1 ? std::atoi(argv[1]) : 1000000;
  int side = 1;
  while ((side + 1) * (side + 1) <= total) ++side;
  std::printf("data tree core, %d nodes (%d x %d for the two-level shape)\n\n", total, side, side);

  auto tree = std::make_unique<TBenchTree>(nullptr);
  tree->SetNodeDataSize(0);
  tree->HandleNeeded();  // the worker reports to the window

  // Bytes per node: heap growth for the flat shape without user data.
  std::size_t before = heapInUse();
  double addFlat = timeIt([&] { buildFlat(*tree, total); });
  double bytesPerNode = double(heapInUse() - before) / total;
  tree->StopWorker();

  double walkNoInit = timeIt([&] {
    std::size_t n = 0;
    for (PDataNode r = tree->GetFirstNoInit(); r; r = tree->GetNextNoInit(r)) ++n;
    if (n != std::size_t(total)) std::abort();
  });
  double walkInit = timeIt([&] {
    std::size_t n = 0;
    for (PDataNode r = tree->GetFirst(); r; r = tree->GetNext(r)) ++n;
    if (n != std::size_t(total)) std::abort();
  });
  double cacheFill = timeIt([&] { tree->FillCacheNow(); });

  std::mt19937 rng(1);
  const int lookups = 200000;
  std::uint32_t height = std::uint32_t(total) * tree->DefaultNodeHeight();
  std::vector<int> ys(lookups);
  for (int& y : ys) y = int(rng() % height);
  int top;
  double lookup = timeIt([&] {
    for (int y : ys)
      if (!tree->GetNodeAt(0, y, false, top)) std::abort();
  });
  double clearFlat = timeIt([&] { tree->Clear(); });
  // Again on a heap that already holds the pages: the figure of a program
  // that has run a search before.
  double addFlatWarm = timeIt([&] { buildFlat(*tree, total); });
  tree->Clear();

  double addTwoLevel = timeIt([&] { buildRootsAndChildren(*tree, side, side); });
  double fullExpand = timeIt([&] { tree->FullExpand(); });
  double twoLevelTotal = addTwoLevel + fullExpand;
  tree->Clear();

  // One node with every child below it.
  PDataNode parent = nullptr;
  tree->BeginUpdate();
  parent = tree->AddChild(nullptr);
  tree->SetChildCount(parent, std::uint32_t(total));
  tree->EndUpdate();
  double expandBig = timeIt([&] { tree->SetExpanded(parent, true); });
  tree->StopWorker();
  double collapseBig = timeIt([&] { tree->SetExpanded(parent, false); });
  double clearBig = timeIt([&] { tree->Clear(); });
  tree.reset();

  std::printf("add %d top-level nodes in one bracket   %9.1f ms (fresh process: %.1f ms)\n", total,
              addFlatWarm, addFlat);
  std::printf("add %d x %d nodes in one bracket        %9.1f ms\n", side, side, addTwoLevel);
  std::printf("full walk without initialisation        %9.1f ms\n", walkNoInit);
  std::printf("full walk with initialisation           %9.1f ms\n", walkInit);
  std::printf("position cache fill                     %9.1f ms\n", cacheFill);
  std::printf("random GetNodeAt through the cache      %9.2f us\n", lookup * 1000.0 / lookups);
  std::printf("expand a node with %d children      %9.1f ms\n", total, expandBig);
  std::printf("collapse it                             %9.1f ms\n", collapseBig);
  std::printf("full expand of %d x %d                  %9.1f ms\n", side, side, fullExpand);
  std::printf("Clear of %d top-level nodes             %9.1f ms\n", total, clearFlat);
  std::printf("Clear of one node with %d children      %9.1f ms\n", total, clearBig);
  std::printf("bytes per node (no user data)           %9.1f\n\n", bytesPerNode);

  // The same shapes in a Qt item model shown by a tree view.
  if (!QCoreApplication::instance()) {
    static int qargc = 1;
    static char name[] = "bench";
    static char* qargv[] = {name, nullptr};
    new QApplication(qargc, qargv);
  }
  double qtFlat, qtTwoLevel, qtExpand;
  {
    QStandardItemModel model;
    qtFlat = timeIt([&] { qtFill(model, total, 0); });
  }
  {
    QStandardItemModel model;
    QTreeView view;
    view.resize(400, 600);
    view.setUniformRowHeights(true);
    qtTwoLevel = timeIt([&] {
      qtFill(model, side, side);
      view.setModel(&model);
    });
    qtExpand = timeIt([&] {
      view.expandAll();
      QCoreApplication::processEvents();
    });
  }
  double qtTotal = qtTwoLevel + qtExpand;
  std::printf("Qt QStandardItemModel fill, %d top-level      %9.1f ms\n", total, qtFlat);
  std::printf("Qt model + QTreeView fill, %d x %d            %9.1f ms\n", side, side, qtTwoLevel);
  std::printf("Qt QTreeView expandAll                        %9.1f ms\n", qtExpand);
  std::printf("\nfill + expand: tree %.1f ms, Qt %.1f ms, tree is %.1fx faster\n", twoLevelTotal,
              qtTotal, qtTotal / twoLevelTotal);
  std::printf("flat fill: tree %.1f ms, Qt %.1f ms, tree is %.1fx faster\n", addFlatWarm, qtFlat,
              qtFlat / addFlatWarm);
  return 0;
}
