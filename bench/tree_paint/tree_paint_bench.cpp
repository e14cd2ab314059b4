// Painting a 50-row window of a result-shaped tree (20 dictionaries x 50,000
// headwords, state pictures, lines, buttons) at the top, middle and bottom,
// scrolling by a row and by a page, and the area a selection or hot-node
// change repaints; beside it QTreeView painting the same rows of a model of
// the same shape. Then a frame of rows whose ancestors are followed by a
// million hidden siblings, beside the normal frame.
//
//   QT_QPA_PLATFORM=offscreen build/bench/tree_paint/bench_tree_paint [headwords-per-root]
#include <QAbstractItemModel>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench/common/best_time.h"
#include "bench/common/limit.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"
#include "tree/string_tree.h"

namespace {
constexpr int Roots = 20;
constexpr int VisibleRows = 50;
constexpr int RowHeight = 18;

struct TResultRow {
  int Kind;
  int Id;
};

String headword(int id) { return UTF8ToUTF16("headword " + std::to_string(id)); }

// The same rows as a Qt model, with the text made on request like ours.
class TResultModel : public QAbstractItemModel {
public:
  explicit TResultModel(int children) : FChildren(children) {}
  QModelIndex index(int row, int column, const QModelIndex& parent) const override {
    if (column != 0) return {};
    if (!parent.isValid()) return row < Roots ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    return row < FChildren ? createIndex(row, 0, quintptr(parent.row() + 1)) : QModelIndex();
  }
  QModelIndex parent(const QModelIndex& child) const override {
    if (!child.isValid() || child.internalId() == 0) return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
  }
  int rowCount(const QModelIndex& parent) const override {
    if (!parent.isValid()) return Roots;
    return parent.internalId() == 0 ? FChildren : 0;
  }
  int columnCount(const QModelIndex&) const override { return 1; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole) {
      if (index.internalId() == 0) return QString("dictionary %1").arg(index.row());
      return QString("headword %1").arg(index.row());
    }
    if (role == Qt::DecorationRole) return index.internalId() == 0 ? QColor(Qt::red) : QColor(Qt::blue);
    return {};
  }

private:
  int FChildren;
};

double bestMs(int runs, const std::function<void()>& f) { return bestSeconds(runs, f) * 1000.0; }
}  // namespace

int main(int argc, char** argv) {
  const int children = argc > 1 ? std::atoi(argv[1]) : 50000;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetClientWidth(320);
  form->SetClientHeight(VisibleRows * RowHeight);
  auto* tree = new TDataStringTree(form);
  tree->SetParent(form);
  tree->SetBorderStyle(bsNone);
  tree->SetAlign(alClient);
  tree->Font()->SetName(u"DejaVu Sans");
  tree->Font()->SetHeight(-12);
  tree->SetNodeDataSize(int(sizeof(TResultRow)));
  auto* images = new TImageList(form);
  for (TColor c : {clRed, clLime, clBlue, clYellow}) {
    TBitmap b(16, 16);
    b.Canvas()->Brush()->SetColor(c);
    b.Canvas()->FillRect({0, 0, 16, 16});
    images->Add(&b, nullptr);
  }
  tree->SetStateImages(images);
  long textCalls = 0, rowsPainted = 0;
  tree->OnGetText = [&](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType, String& text) {
    ++textCalls;
    auto* row = t->GetNodeData<TResultRow>(n);
    text = row->Kind == 2 ? headword(row->Id) : UTF8ToUTF16("dictionary " + std::to_string(row->Id));
  };
  tree->OnGetImageIndex = [](TBaseDataTree* t, PDataNode n, TDTImageKind, TColumnIndex, bool&, int& index) {
    index = t->GetNodeData<TResultRow>(n)->Kind;
  };
  tree->OnBeforeItemPaint = [&](TBaseDataTree*, TCanvas*, PDataNode, const TRect&, bool&) { ++rowsPainted; };

  tree->BeginUpdate();
  for (int r = 0; r < Roots; ++r) {
    PDataNode root = tree->AddChild(nullptr);
    *tree->GetNodeData<TResultRow>(root) = {0, r};
    for (int c = 0; c < children; ++c) *tree->GetNodeData<TResultRow>(tree->AddChild(root)) = {2, c};
    tree->SetExpanded(root, true);
  }
  tree->EndUpdate();
  form->Show();
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  while (!tree->TreeStates().Contains(tsUseCache)) Application->HandleMessage();

  const std::int64_t total = tree->RangeY64();
  std::printf("tree: %d roots x %d headwords, %lld px tall, window %d x %d\n", Roots, children,
              static_cast<long long>(total), tree->ClientWidth(), tree->ClientHeight());

  // ---- one frame at the top, the middle and the bottom ----
  TBitmap target(tree->ClientWidth(), tree->ClientHeight());
  target.SetPixelFormat(pf32bit);
  const TPaintTreeOptions all{ptoBackground, ptoColumnColor, ptoFocusRect, ptoSelection, ptoDropMark, ptoGridLines};

  auto model = std::make_unique<TResultModel>(children);
  auto view = std::make_unique<QTreeView>();
  view->setModel(model.get());
  view->setUniformRowHeights(true);
  view->setHeaderHidden(true);
  view->resize(tree->ClientWidth(), tree->ClientHeight());
  for (int r = 0; r < Roots; ++r) view->expand(model->index(r, 0, QModelIndex()));
  view->show();
  QApplication::processEvents();
  QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);

  struct TPlace {
    const char* Name;
    double Fraction;
  } places[] = {{"top", 0.0}, {"middle", 0.5}, {"bottom", 1.0}};
  double normalFrame = 0, normalPeer = 0;
  for (const TPlace& place : places) {
    std::int64_t top = std::int64_t(double(total - tree->ClientHeight()) * place.Fraction);
    TRect window{0, int(top), tree->ClientWidth(), int(top) + tree->ClientHeight()};
    rowsPainted = textCalls = 0;
    tree->RenderTree(target.Canvas(), window, {0, 0}, all);
    long rows = rowsPainted, texts = textCalls;
    double ours = bestMs(20, [&] { tree->RenderTree(target.Canvas(), window, {0, 0}, all); });
    QScrollBar* bar = view->verticalScrollBar();
    bar->setValue(int(double(bar->maximum()) * place.Fraction));
    QApplication::processEvents();
    double peer = bestMs(20, [&] {
      QPainter painter(&image);
      view->viewport()->render(&painter);
    });
    std::printf("paint %-6s  tree %7.3f ms (%ld rows painted, %ld texts asked)   QTreeView %7.3f ms   ratio %.2f\n",
                place.Name, ours, rows, texts, peer, ours / peer);
    if (place.Fraction == 0.0) {
      normalFrame = ours;
      normalPeer = peer;
    }
  }

  // ---- rows whose ancestors are followed by long runs of hidden siblings ----
  {
    // One shown dictionary with shown groups of headwords; after the
    // dictionary and after the first group a million hidden siblings each,
    // and a million more among the group's shown rows, inside the window.
    // Every painted row asks about the lines of all its ancestors.
    constexpr int Hidden = 1000000;
    constexpr int RowsBeforeRun = VisibleRows / 3;
    TDataStringTree* hidden = nullptr;
    PDataNode dictionary = nullptr, group = nullptr;
    // Builds the tree with runs of RunLength hidden siblings (none: the same
    // shown rows alone) and returns the time its very first frame takes.
    double buildMs = 0;
    auto firstFrameOfNewTree = [&](int RunLength) {
      delete hidden;
      hidden = new TDataStringTree(form);
      hidden->SetParent(form);
      hidden->SetBorderStyle(bsNone);
      hidden->SetBounds(0, 0, tree->ClientWidth(), tree->ClientHeight());
      hidden->Font()->SetName(u"DejaVu Sans");
      hidden->Font()->SetHeight(-12);
      hidden->SetNodeDataSize(int(sizeof(TResultRow)));
      hidden->SetStateImages(images);
      hidden->OnGetText = tree->OnGetText;
      hidden->OnGetImageIndex = tree->OnGetImageIndex;
      const auto built = std::chrono::steady_clock::now();
      hidden->BeginUpdate();
      dictionary = hidden->AddChild(nullptr);
      *hidden->GetNodeData<TResultRow>(dictionary) = {0, 0};
      group = hidden->AddChild(dictionary);
      *hidden->GetNodeData<TResultRow>(group) = {1, 0};
      auto hiddenRun = [&](PDataNode parent) {
        if (parent == hidden->RootNode()) parent = nullptr;
        const std::uint32_t first = hidden->ChildCount(parent);
        hidden->SetChildCount(parent, first + std::uint32_t(RunLength));
        for (PDataNode n = hidden->GetLastChild(parent); n && n->Index >= first; n = n->PrevSibling) {
          *hidden->GetNodeData<TResultRow>(n) = {2, int(n->Index)};
          hidden->SetVisible(n, false);
        }
      };
      for (int c = 0; c < RowsBeforeRun; ++c) *hidden->GetNodeData<TResultRow>(hidden->AddChild(group)) = {2, c};
      hiddenRun(group);
      for (int c = RowsBeforeRun; c < VisibleRows * 2; ++c)
        *hidden->GetNodeData<TResultRow>(hidden->AddChild(group)) = {2, c};
      for (PDataNode parent : {hidden->RootNode(), dictionary}) hiddenRun(parent);
      hidden->SetExpanded(dictionary, true);
      hidden->SetExpanded(group, true);
      hidden->EndUpdate();
      buildMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - built).count();
      TRect window{0, 0, hidden->ClientWidth(), hidden->ClientHeight()};
      auto t0 = std::chrono::steady_clock::now();
      hidden->RenderTree(target.Canvas(), window, {0, 0}, all);
      return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    };
    // The very first frame of a new tree sets up every painted row (and
    // the tree's caches) whatever the runs; the runs must add nothing to it.
    const double firstWithoutRuns = firstFrameOfNewTree(0);
    const double firstEver = firstFrameOfNewTree(Hidden);
    TRect window{0, 0, hidden->ClientWidth(), hidden->ClientHeight()};
    for (int i = 0; i < 5; ++i) Application->ProcessMessages();
    rowsPainted = 0;
    hidden->OnBeforeItemPaint = tree->OnBeforeItemPaint;
    // Steady state first, then the first frame after each of a few real
    // changes next to the runs: nothing may walk a run again after them.
    const double frame = bestMs(20, [&] { hidden->RenderTree(target.Canvas(), window, {0, 0}, all); });
    const long rows = rowsPainted / 20;
    PDataNode insideRun = hidden->GetNextSibling(group);
    for (int i = 0; i < Hidden / 2; ++i) insideRun = hidden->GetNextSibling(insideRun);
    PDataNode firstRow = hidden->GetFirstChild(group);
    PDataNode innerRun = firstRow;
    for (int i = 0; i < RowsBeforeRun + Hidden / 2; ++i) innerRun = innerRun->NextSibling;
    PDataNode afterInnerRun = innerRun;
    while (!afterInnerRun->States.Contains(vsVisible)) afterInnerRun = afterInnerRun->NextSibling;
    PDataNode added = nullptr;
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"a hidden sibling added after each run", [&] {
           added = hidden->AddChild(nullptr);
           hidden->SetVisible(added, false);
           hidden->SetVisible(hidden->AddChild(dictionary), false);
         }},
        {"it deleted again", [&] { hidden->DeleteNode(added); }},
        {"a node in the middle of a run shown", [&] { hidden->SetVisible(insideRun, true); }},
        {"and hidden again", [&] { hidden->SetVisible(insideRun, false); }},
        {"the first shown row deleted", [&] { hidden->DeleteNode(firstRow); }},
        {"a row inside the run among the shown rows shown", [&] { hidden->SetVisible(innerRun, true); }},
        {"it hidden again", [&] { hidden->SetVisible(innerRun, false); }},
        {"the row after that run deleted", [&] { hidden->DeleteNode(afterInnerRun); }},
        {"a shown row added at the end", [&] { hidden->AddChild(group); }},
        {"the position cache dropped", [&] { hidden->InterruptValidation(); }},
    };
    double worstFirst = 0, worstChangeMs = 0;
    const char* worstChange = "";
    const char* slowestChange = "";
    for (const auto& [what, change] : changes) {
      const auto changed = std::chrono::steady_clock::now();
      change();
      auto t0 = std::chrono::steady_clock::now();
      const double changeMs = std::chrono::duration<double, std::milli>(t0 - changed).count();
      if (changeMs > worstChangeMs) {
        worstChangeMs = changeMs;
        slowestChange = what;
      }
      hidden->RenderTree(target.Canvas(), window, {0, 0}, all);
      const double first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      if (first > worstFirst) {
        worstFirst = first;
        worstChange = what;
      }
    }
    std::printf("paint with 3 x %d hidden siblings  tree %7.3f ms a frame (%ld rows), very first frame of the new "
                "tree %.3f ms (without the runs %.3f ms), first frame after a change %.3f ms at worst (%s)   %s"
                "   normal frame %7.3f ms   QTreeView normal frame %7.3f ms\n"
                "  (building the tree, hiding the 3 x %d one by one: %.1f ms; the slowest change itself: %.3f ms, %s)\n",
                Hidden, frame, rows, firstEver, firstWithoutRuns, worstFirst, worstChange,
                limitText(worstFirst, 1, "ms").c_str(), normalFrame, normalPeer,
                Hidden, buildMs, worstChangeMs, slowestChange);
    const auto cleared = std::chrono::steady_clock::now();
    hidden->Clear();
    std::printf("  (clearing that tree: %.1f ms)\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - cleared).count());
    delete hidden;
  }

  // ---- scrolling by a row and by a page (tree work, then the exposed rows) ----
  HWND wnd = tree->Handle();
  tree->SetOffsetY(-int(total / 2));
  UpdateWindow(wnd);
  for (int step : {RowHeight, tree->ClientHeight()}) {
    int direction = 1;
    double work = bestMs(20, [&] {
      tree->SetOffsetY(tree->OffsetY() - direction * step);
      direction = -direction;
    });
    double withPaint = bestMs(20, [&] {
      tree->SetOffsetY(tree->OffsetY() - direction * step);
      direction = -direction;
      UpdateWindow(wnd);
    });
    QScrollBar* bar = view->verticalScrollBar();
    int qdirection = 1;
    double peer = bestMs(20, [&] {
      bar->setValue(bar->value() + qdirection * (step == RowHeight ? 1 : bar->pageStep()));
      qdirection = -qdirection;
      view->viewport()->repaint();
    });
    std::printf("scroll by %4d px  tree work %7.3f ms, with the exposed rows painted %7.3f ms   QTreeView %7.3f ms\n",
                step, work, withPaint, peer);
  }

  // ---- what a selection change and a hot-node change repaint ----
  UpdateWindow(wnd);
  PDataNode top = tree->TopNode();
  PDataNode next = tree->GetNextVisible(top);
  tree->SetSelected(top, true);
  TRect area;
  GetUpdateRect(wnd, &area, false);
  std::printf("selecting a row invalidates %d x %d px (a row is %d x %d)\n", area.Width(), area.Height(),
              tree->ClientWidth(), RowHeight);
  UpdateWindow(wnd);
  tree->InvalidateNode(next);
  GetUpdateRect(wnd, &area, false);
  std::printf("a hot-node change repaints %d x %d px\n", area.Width(), area.Height());
  UpdateWindow(wnd);

  // ---- deleting unselected rows beside many selected ones ----
  {
    TDataStringTree del(nullptr);
    del.TreeOptions().SetSelectionOptions({toMultiSelect});
    del.SetRootNodeCount(80000);
    int i = 0;
    for (PDataNode n = del.GetFirst(); n; n = del.GetNextSibling(n), ++i)
      if (i % 2 == 0) del.SetSelected(n, true);
    auto t0 = std::chrono::steady_clock::now();
    // From the end, so that renumbering the following siblings costs nothing
    // and what remains is the selection's own bookkeeping.
    for (PDataNode n = del.GetLastChild(nullptr); n;) {
      PDataNode previous = del.GetPreviousSibling(n);
      if (!del.Selected(n)) del.DeleteNode(n);
      n = previous;
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("deleting 40000 unselected rows beside 40000 selected ones: %.1f ms (%s; %u selected remain)\n", ms,
                limitText(ms, 50, "ms").c_str(), del.SelectedCount());
  }
  delete form;
  return 0;
}
