// Nodes arriving in bulk: a paste from another tree, a cut and paste within
// one tree, and a drop from another tree (copy), each of N sibling nodes
// (every one an arrival of its own), timed beside CopyTo of the same nodes
// from the same run (its peer: the same nodes through the same stream
// form, without the clipboard or a data object). Each is timed alone: the
// trees are built and the clipboard filled before the clock starts, and
// the trees are freed after it stopped. Then the same at 8 times N, and
// the ratio of the two times. Then a cut pasted into another tree (each
// row moves on its own) and last a paste whose copying handler refuses
// every arriving row (each one is deleted again as it arrives), each the
// best of five runs at N / 8 and at N rows: 8 times the rows must take at
// most 10 times as long.
//
//   QT_QPA_PLATFORM=offscreen build/bench/tree_paste/bench_tree_paste [N]
#include <algorithm>
#include <vector>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "bench/common/limit.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/forms.h"
#include "tree/data_object.h"
#include "tree/string_tree.h"

namespace {

struct TTrees {
  std::unique_ptr<TDataStringTree> Source, Target;
  PDataNode Holder = nullptr;       // in Source: every node below it
  PDataNode SourceTarget = nullptr;  // in Source: where a cut goes
  PDataNode TargetNode = nullptr;    // in Target
};

std::unique_ptr<TDataStringTree> makeTree() {
  auto t = std::make_unique<TDataStringTree>(nullptr);
  t->SetNodeDataSize(int(sizeof(int)));
  TDTSelectionOptions sel = t->TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  t->TreeOptions().SetSelectionOptions(sel);
  return t;
}

TTrees build(int nodes, bool selectAll) {
  TTrees t;
  t.Source = makeTree();
  t.Target = makeTree();
  TDataStringTree& s = *t.Source;
  s.BeginUpdate();
  t.Holder = s.AddChild(nullptr);
  for (int i = 0; i < nodes; ++i) *s.GetNodeData<int>(s.AddChild(t.Holder)) = i;
  t.SourceTarget = s.AddChild(nullptr);
  s.EndUpdate();
  if (selectAll) {
    // In one call, as a range or select-all does: one node at a time would
    // merge each into the whole selection, and the setting up would cost
    // more than what is timed.
    std::vector<PDataNode> all;
    all.reserve(size_t(nodes));
    for (PDataNode g = t.Holder->FirstChild; g; g = g->NextSibling) all.push_back(g);
    s.BeginUpdate();
    s.AddToSelection(all.data(), int(all.size()));
    s.EndUpdate();
  }
  t.TargetNode = t.Target->AddChild(nullptr);
  return t;
}

// The best of Runs timings of Step, each on fresh trees made by Prepare.
double bestMs(int runs, int nodes, bool selectAll, const std::function<void(TTrees&)>& prepare,
              const std::function<void(TTrees&)>& step, std::uint32_t& arrived) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    TTrees t = build(nodes, selectAll);
    if (prepare) prepare(t);
    const auto t0 = std::chrono::steady_clock::now();
    step(t);
    const std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
    best = std::min(best, d.count());
    arrived = t.TargetNode->TotalCount - 1 + t.SourceTarget->TotalCount - 1;
    Clipboard()->Clear();
  }
  return best;
}

struct TFigures {
  double CopyTo, Paste, CutPaste, Drop;
};

TFigures measure(int nodes, int runs) {
  TFigures f{};
  std::uint32_t arrived = 0;
  f.CopyTo = bestMs(runs, nodes, true, nullptr,
                    [](TTrees& t) { t.Source->CopyTo(t.Holder, t.TargetNode, amAddChildLast, true); }, arrived);
  std::printf("N %8d  CopyTo of the nodes into another tree             %9.1f ms  (%u nodes arrived)\n", nodes,
              f.CopyTo, arrived);
  f.Paste = bestMs(
      runs, nodes, true, [](TTrees& t) { t.Source->CopyToClipboard(); },
      [](TTrees& t) {
        t.Target->SetFocusedNode(t.TargetNode);
        t.Target->PasteFromClipboard();
      },
      arrived);
  std::printf("N %8d  paste from another tree (after Ctrl+C)            %9.1f ms  %5.2f x CopyTo  (%u arrived)\n",
              nodes, f.Paste, f.Paste / f.CopyTo, arrived);
  f.CutPaste = bestMs(
      runs, nodes, true, [](TTrees& t) { t.Source->CutToClipboard(); },
      [](TTrees& t) {
        t.Source->SetFocusedNode(t.SourceTarget);
        t.Source->PasteFromClipboard();
      },
      arrived);
  std::printf("N %8d  paste within the tree (after Ctrl+X)              %9.1f ms  %5.2f x CopyTo  (%u arrived)\n",
              nodes, f.CutPaste, f.CutPaste / f.CopyTo, arrived);
  f.Drop = bestMs(runs, nodes, true, nullptr,
                  [](TTrees& t) {
                    auto object = std::make_shared<TDTDataObject>(t.Source.get(), false);
                    t.Target->ProcessOLEData(t.Source.get(), object, t.TargetNode, amAddChildLast, false);
                  },
                  arrived);
  std::printf("N %8d  drop from another tree (copy, data object made)  %9.1f ms  %5.2f x CopyTo  (%u arrived)\n",
              nodes, f.Drop, f.Drop / f.CopyTo, arrived);
  return f;
}

// A paste from another tree whose copying handler refuses every row.
double refusedPaste(int nodes, int runs) {
  std::uint32_t arrived = 0;
  const double result = bestMs(
      runs, nodes, true, [](TTrees& t) { t.Source->CopyToClipboard(); },
      [](TTrees& t) {
        t.Target->OnNodeCopying = [](TBaseDataTree*, PDataNode, PDataNode, bool& allowed) { allowed = false; };
        t.Target->SetFocusedNode(t.TargetNode);
        t.Target->PasteFromClipboard();
      },
      arrived);
  std::printf("N %8d  paste refused row by row by its copying handler  %9.1f ms  (%u kept)\n", nodes, result,
              arrived);
  return result;
}
// A cut in one tree pasted into another: each node moves on its own.
double cutPasteBetween(int nodes, int runs) {
  std::uint32_t arrived = 0;
  const double result = bestMs(
      runs, nodes, true, [](TTrees& t) { t.Source->CutToClipboard(); },
      [](TTrees& t) {
        t.Target->SetFocusedNode(t.TargetNode);
        t.Target->PasteFromClipboard();
      },
      arrived);
  std::printf("N %8d  paste into another tree (after Ctrl+X)            %9.1f ms  (%u arrived)\n", nodes, result,
              arrived);
  return result;
}

// Run at Rows and at 8 times as many, and the growth against its limit.
// The best of five runs at either size: the ratio of two single slow runs
// says more about the machine than about the growth.
void growthLine(const char* what, int rows, double (*run)(int, int)) {
  rows = std::max(1, rows);
  const double small = run(rows, 5);
  const double big = run(rows * 8, 5);
  const double ratio = big / small;
  std::printf("%s: %d rows %.1f ms, %d rows %.1f ms, 8x the rows %.2f x the time (%s)\n", what, rows, small, rows * 8,
              big, ratio, limitText(ratio, 10, "x").c_str());
}
}  // namespace

int main(int argc, char** argv) {
  const int nodes = argc > 1 ? std::atoi(argv[1]) : 125000;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Application->Initialize();
  const TFigures small = measure(nodes, 3);
  const TFigures big = measure(nodes * 8, 2);
  std::printf("8x the nodes: CopyTo %.2f x the time, paste %.2f x, cut and paste %.2f x, drop %.2f x\n",
              big.CopyTo / small.CopyTo, big.Paste / small.Paste, big.CutPaste / small.CutPaste,
              big.Drop / small.Drop);
  growthLine("cut and paste into another tree", nodes / 8, cutPasteBetween);
  growthLine("paste refused row by row", nodes / 8, refusedPaste);
  return 0;
}
