// The data tree's sort, its deletion of nodes beside a big selection and
// of the selection itself, and its stream form, each printed next to a peer
// doing the same work in the same run: std::stable_sort and a Qt tree view
// for the sort, the same deletion without handlers for the selection's
// deletion under a handler that frees nodes, and plain buffer copies of the
// same bytes for the stream.
//
//   build/bench/tree_stream/bench_tree_stream [nodes]
#include <QApplication>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "bench/common/best_time.h"
#include "bench/common/limit.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "tree/string_tree.h"

namespace {
double ms(double seconds) { return seconds * 1000.0; }

std::int32_t keyOf(TBaseDataTree& t, PDataNode n) {
  std::int32_t k;
  std::memcpy(&k, t.GetNodeData(n), 4);
  return k;
}

void sortFigures(int total) {
  std::mt19937 rng(3);
  std::vector<std::int32_t> keys(static_cast<std::size_t>(total));
  for (auto& k : keys) k = std::int32_t(rng() % 1000000);

  TBaseDataTree tree(nullptr);
  tree.SetNodeDataSize(4);
  tree.OnCompareNodes = [](TBaseDataTree* t, PDataNode a, PDataNode b, TColumnIndex, int& r) {
    r = keyOf(*t, a) - keyOf(*t, b);
  };
  auto fill = [&] {
    tree.Clear();
    tree.BeginUpdate();
    tree.SetRootNodeCount(std::uint32_t(total));
    std::size_t i = 0;
    for (PDataNode n = tree.GetFirstNoInit(); n; n = tree.GetNextNoInit(n), ++i)
      std::memcpy(tree.GetNodeData(n), &keys[i], 4);
    tree.EndUpdate();
  };
  double treeSort = 1e300;
  for (int run = 0; run < 3; ++run) {
    fill();
    treeSort = std::min(treeSort, bestSeconds(1, [&] { tree.Sort(nullptr, NoColumn, sdAscending, false); }));
  }
  for (PDataNode n = tree.GetFirstNoInit(); n && n->NextSibling; n = n->NextSibling)
    if (keyOf(tree, n) > keyOf(tree, n->NextSibling)) std::abort();
  tree.Clear();

  double stdSort = 1e300;
  for (int run = 0; run < 3; ++run) {
    std::vector<std::int32_t> copy = keys;
    stdSort = std::min(stdSort, bestSeconds(1, [&] { std::stable_sort(copy.begin(), copy.end()); }));
  }

  // The same keys in a Qt model, sorted through a proxy by a tree view.
  QStandardItemModel model(total, 1);
  for (int i = 0; i < total; ++i) {
    auto* item = new QStandardItem();
    item->setData(keys[std::size_t(i)], Qt::DisplayRole);
    model.setItem(i, 0, item);
  }
  QSortFilterProxyModel proxy;
  proxy.setSourceModel(&model);
  QTreeView view;
  view.setUniformRowHeights(true);
  view.setModel(&proxy);
  view.setSortingEnabled(true);
  view.sortByColumn(0, Qt::DescendingOrder);
  const double qtSort = bestSeconds(1, [&] { view.sortByColumn(0, Qt::AscendingOrder); });

  std::printf("sort %d siblings by an integer key\n", total);
  std::printf("  data tree Sort                      %9.1f ms\n", ms(treeSort));
  std::printf("  std::stable_sort of the keys        %9.1f ms   (tree / std: %.1fx)\n", ms(stdSort),
              treeSort / stdSort);
  std::printf("  QTreeView::sortByColumn (proxy)     %9.1f ms   (Qt / tree: %.1fx)\n\n", ms(qtSort),
              qtSort / treeSort);
}

// Deleting nodes one by one used to cost a walk over the whole selection
// and a renumbering of every sibling behind the node each time.
enum TShape { Interleaved, SelectionFirst };

double deleteOneByOne(bool WithChildren, bool FromFront, TShape Shape = Interleaved) {
  const int count = 40000;
  TBaseDataTree tree(nullptr);
  tree.SetNodeDataSize(0);
  TDTSelectionOptions sel = tree.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  tree.TreeOptions().SetSelectionOptions(sel);
  std::vector<PDataNode> plain;
  tree.BeginUpdate();
  std::vector<PDataNode> chosen;
  for (int i = 0; i < count; ++i) {
    chosen.push_back(tree.AddChild(nullptr));
    if (Shape == Interleaved) plain.push_back(tree.AddChild(nullptr));
  }
  for (int i = 0; Shape == SelectionFirst && i < count; ++i) plain.push_back(tree.AddChild(nullptr));
  if (WithChildren)
    for (PDataNode n : plain) tree.AddChild(n);
  tree.AddToSelection(chosen.data(), int(chosen.size()));
  tree.EndUpdate();
  if (!FromFront) std::reverse(plain.begin(), plain.end());
  const double seconds = bestSeconds(1, [&] {
    for (PDataNode n : plain) tree.DeleteNode(n);
  });
  if (tree.SelectedCount() != std::uint32_t(count) || tree.TotalCount() != std::uint32_t(count)) std::abort();
  return seconds;
}

// DeleteSelectedNodes of Count selected siblings, with or without a free
// handler that deletes one other selected node for each that the loop
// deletes (the one it would take next): the least processor seconds of
// three runs, each on a tree of its own.
double deleteSelected(int Count, bool FreeingHandler) {
  double least = 1e300;
  for (int run = 0; run < 3; ++run) {
    TBaseDataTree tree(nullptr);
    tree.SetNodeDataSize(int(sizeof(std::int32_t)));
    TDTSelectionOptions sel = tree.TreeOptions().SelectionOptions();
    sel.Include(toMultiSelect);
    tree.TreeOptions().SetSelectionOptions(sel);
    tree.BeginUpdate();
    std::vector<PDataNode> nodes;
    for (std::int32_t i = 0; i < Count; ++i) {
      nodes.push_back(tree.AddChild(nullptr));
      std::memcpy(tree.GetNodeData(nodes.back()), &i, 4);
    }
    tree.AddToSelection(nodes.data(), int(nodes.size()));
    tree.EndUpdate();
    // The loop takes the odd ones, last to first; each takes the even one
    // before it along.
    if (FreeingHandler)
      tree.OnFreeNode = [&](TBaseDataTree* t, PDataNode n) {
        const std::int32_t i = keyOf(*t, n);
        if (i % 2 == 1) t->DeleteNode(nodes[std::size_t(i - 1)]);
      };
    least = std::min(least, bestTimes(1, [&] { tree.DeleteSelectedNodes(); }).Cpu);
    if (tree.TotalCount() != 0) std::abort();
  }
  return least;
}

// The selection's store is searched once per node that leaves it, so
// even the plain deletion grows a little faster than the node count (8x
// the nodes about 8.5 to 9.5x the time here); a loop that looked for its
// remaining nodes again after each step would grow with the square.
void freeingHandlerFigures() {
  const int count = 20000;
  const double small = deleteSelected(count, true);
  const double big = deleteSelected(8 * count, true);
  const double growth = big / std::max(small, 1e-9);
  const double plainGrowth = deleteSelected(8 * count, false) / std::max(deleteSelected(count, false), 1e-9);
  std::printf("DeleteSelectedNodes whose free handler deletes the next selected node too (processor time)\n");
  std::printf("  %d nodes %.1f ms, %d nodes %.1f ms: 8x the nodes %.2f x the time (%s; without the handler %.2f x)\n\n",
              count, ms(small), 8 * count, ms(big), growth, limitText(growth, 12, "x").c_str(), plainGrowth);
}

void deleteFigures() {
  std::printf("delete 40000 unselected nodes one by one beside 40000 selected siblings\n");
  auto limited = [](const char* what, double seconds) {
    std::printf("  %-36s %9.1f ms   (%s)\n", what, ms(seconds), limitText(ms(seconds), 50, "ms").c_str());
  };
  limited("leaves, last to first", deleteOneByOne(false, false));
  limited("leaves, first to last", deleteOneByOne(false, true));
  limited("nodes with a child, last to first", deleteOneByOne(true, false));
  limited("nodes with a child, first to last", deleteOneByOne(true, true));
  std::printf("delete 40000 unselected nodes one by one behind 40000 selected siblings\n");
  std::printf("  leaves, last to first                 %9.1f ms\n", ms(deleteOneByOne(false, false, SelectionFirst)));
  std::printf("  nodes with a child, last to first     %9.1f ms\n", ms(deleteOneByOne(true, false, SelectionFirst)));
  // The selection itself, in one call.
  TBaseDataTree tree(nullptr);
  tree.SetNodeDataSize(0);
  TDTSelectionOptions sel = tree.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  tree.TreeOptions().SetSelectionOptions(sel);
  tree.BeginUpdate();
  std::vector<PDataNode> chosen;
  for (int i = 0; i < 40000; ++i) {
    chosen.push_back(tree.AddChild(nullptr));
    tree.AddChild(nullptr);
  }
  tree.AddToSelection(chosen.data(), int(chosen.size()));
  tree.EndUpdate();
  const double selected = bestSeconds(1, [&] { tree.DeleteSelectedNodes(); });
  if (tree.TotalCount() != 40000) std::abort();
  std::printf("  DeleteSelectedNodes of the 40000      %9.1f ms\n", ms(selected));
  freeingHandlerFigures();
}

// A string tree whose captions live in a list, found by the index that
// each node keeps in its user data.
struct TCaptionTree : TDataStringTree {
  std::vector<String> Captions;
  TCaptionTree() : TDataStringTree(nullptr) {
    SetNodeDataSize(4);
    OnGetText = [this](TBaseDataTree*, PDataNode n, TColumnIndex, TDTTextType, String& text) {
      text = Captions[std::size_t(keyOf(*this, n))];
    };
    OnNewText = [this](TBaseDataTree*, PDataNode n, TColumnIndex, const String& text) {
      const std::int32_t index = std::int32_t(Captions.size());
      Captions.push_back(text);
      std::memcpy(GetNodeData(n), &index, 4);
    };
  }
};

void streamFigures(int total) {
  TCaptionTree source;
  source.BeginUpdate();
  source.SetRootNodeCount(std::uint32_t(total / 10));
  std::int32_t index = 0;
  for (PDataNode top = source.GetFirstNoInit(); top; top = top->NextSibling) {
    source.SetChildCount(top, 9);
    for (PDataNode n = top; n; n = n == top ? top->FirstChild : n->NextSibling) {
      source.Captions.push_back(u"caption number " + IntToStr(index));
      std::memcpy(source.GetNodeData(n), &index, 4);
      ++index;
    }
  }
  source.EndUpdate();
  // Captions are saved for initialised nodes; initialise them first, as
  // a tree that was shown would be.
  for (PDataNode n = source.GetFirst(); n; n = source.GetNext(n)) {
  }

  TMemoryStream stream;
  const double save = bestSeconds(3, [&] {
    stream.SetSize(0);
    source.SaveToStream(&stream);
  });
  const std::int64_t size = stream.Size();
  TCaptionTree target;
  const double load = bestSeconds(3, [&] {
    target.Captions.clear();
    stream.SetPosition(0);
    target.LoadFromStream(&stream);
  });
  if (target.TotalCount() != source.TotalCount()) std::abort();

  // The same bytes written to and read from a memory stream as one block.
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  stream.SetPosition(0);
  stream.ReadBuffer(bytes.data(), size);
  TMemoryStream plain;
  const double writePlain = bestSeconds(3, [&] {
    plain.SetSize(0);
    plain.WriteBuffer(bytes.data(), size);
  });
  std::vector<unsigned char> back(bytes.size());
  const double readPlain = bestSeconds(3, [&] {
    plain.SetPosition(0);
    plain.ReadBuffer(back.data(), size);
  });

  std::printf("stream form of %u nodes with captions (%.1f MB)\n", source.TotalCount(), double(size) / 1e6);
  std::printf("  SaveToStream                        %9.1f ms   (plain write of the bytes %.1f ms)\n", ms(save),
              ms(writePlain));
  std::printf("  LoadFromStream                      %9.1f ms   (plain read of the bytes %.1f ms)\n", ms(load),
              ms(readPlain));
}
}  // namespace

int main(int argc, char** argv) {
  const int total = argc > 1 ? std::atoi(argv[1]) : 1000000;
  static int qargc = 1;
  static char name[] = "bench";
  static char* qargv[] = {name, nullptr};
  QApplication app(qargc, qargv);
  sortFigures(total);
  deleteFigures();
  streamFigures(total);
  return 0;
}
