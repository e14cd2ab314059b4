// What keys and the mouse cost on a data tree of a million nodes, beside a
// QTreeView over a model of the same rows doing the same in the same run:
// End, Home and PageDown, Ctrl+A, a rubber band dragged over 10,000 rows
// (time per mouse move) and the rows repainted per hot-tracking move.
//
//   build/bench/tree_input/bench_tree_input [nodes]
#include <QApplication>
#include <chrono>
#include <functional>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>

#include "common/best_time.h"
#include "common/limit.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "tree/string_tree.h"

namespace {

// Rows show a short text, so that the band meets real text extents.
class TBenchTree : public TDataStringTree {
public:
  using TDataStringTree::TDataStringTree;
  TRect InvalidateNode(PDataNode Node) override {
    ++Invalidated;
    return TDataStringTree::InvalidateNode(Node);
  }
  int Invalidated = 0;
  // Queues a fill of the position cache and pumps until it is usable.
  void FillCacheNow() {
    ExpireCache();
    InvalidateCache();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!TreeStates().Contains(tsUseCache) && std::chrono::steady_clock::now() < deadline)
      Application->HandleMessage();
  }
};

double ms(double seconds) { return seconds * 1000.0; }

void keyInto(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, mods);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods);
  QCoreApplication::sendEvent(w, &release);
}

void mouseInto(QWidget* w, QEvent::Type type, int x, int y, Qt::MouseButtons buttons) {
  const QPointF p(x, y);
  QMouseEvent e(type, p, w->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

void report(const char* what, double ours, double peer, double limitMs) {
  std::printf("%-44s %10.3f ms   QTreeView %10.3f ms   ratio %6.2f   (%s)\n", what, ours, peer,
              peer > 0 ? ours / peer : 0.0, limitText(ours, limitMs, "ms").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int total = argc > 1 ? std::atoi(argv[1]) : 1000000;
  Application->Initialize();

  // ---- our tree: a million rows in a window of 30 rows --------------------------
  auto* form = new TForm(nullptr);
  form->SetClientWidth(300);
  form->SetClientHeight(540);
  auto* tree = new TBenchTree(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 300, 540);
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  tree->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) { text = u"headword"; };
  tree->BeginUpdate();
  tree->SetRootNodeCount(std::uint32_t(total));
  tree->EndUpdate();
  form->Show();
  for (int i = 0; i < 20; ++i) Application->ProcessMessages();
  // The position cache is filled in the background after a big change;
  // the figures are those of a tree the user has had for a moment.
  tree->FillCacheNow();
  InjectFocus(tree->Handle());
  HWND h = tree->Handle();

  // ---- the peer: a QTreeView over as many rows ---------------------------------------
  QStandardItemModel model;
  {
    QList<QStandardItem*> rows;
    rows.reserve(total);
    for (int i = 0; i < total; ++i) rows.append(new QStandardItem(QString::number(i)));
    model.invisibleRootItem()->appendRows(rows);
  }
  QTreeView view;
  view.setUniformRowHeights(true);
  view.setHeaderHidden(true);
  view.setSelectionMode(QAbstractItemView::ExtendedSelection);
  view.setModel(&model);
  view.resize(300, 540);
  view.show();
  view.setCurrentIndex(model.index(0, 0));
  QCoreApplication::processEvents();

  std::printf("tree input on %d nodes\n", total);
  // Each key is timed from the far end, so that it really moves: Home
  // before End, End before Home, Home before PageDown.
  using Clock = std::chrono::steady_clock;
  auto timed = [](const std::function<void()>& prepare, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < 5; ++i) {
      prepare();
      const auto t0 = Clock::now();
      work();
      best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return best;
  };
  auto ourKey = [&](UINT before, UINT vk) {
    return timed([&] { InjectKeyStroke(h, before, {}, u""); }, [&] { InjectKeyStroke(h, vk, {}, u""); });
  };
  auto qtKey = [&](int before, int key) {
    return timed([&] { keyInto(&view, before); }, [&] { keyInto(&view, key); });
  };

  double oursEnd = ourKey(VK_HOME, VK_END), qtEnd = qtKey(Qt::Key_Home, Qt::Key_End);
  report("End", oursEnd, qtEnd, 1);
  std::printf("  focused after End: the last node %s\n", tree->FocusedNode() == tree->GetLast() ? "yes" : "NO");
  double oursHome = ourKey(VK_END, VK_HOME), qtHome = qtKey(Qt::Key_End, Qt::Key_Home);
  report("Home", oursHome, qtHome, 1);
  double oursNext = ourKey(VK_HOME, VK_NEXT), qtNext = qtKey(Qt::Key_Home, Qt::Key_PageDown);
  report("PageDown", oursNext, qtNext, 1);

  // Ctrl+A alone: the selection the previous round left is cleared before
  // the clock starts.
  double oursAll = timed([&] { tree->ClearSelection(); }, [&] { InjectKeyStroke(h, 'A', {ssCtrl}, u""); });
  double qtAll = timed([&] { view.clearSelection(); }, [&] { keyInto(&view, Qt::Key_A, Qt::ControlModifier); });
  report("Ctrl+A", oursAll, qtAll, 50);
  std::printf("  selected after Ctrl+A: %u of %u\n", tree->SelectedCount(), tree->TotalCount());

  // ---- rubber band over 10,000 rows: rows of one pixel in a window 10,000 high ----
  {
    // A second tree of as many nodes, built with rows one pixel high.
    auto* bandForm = new TForm(nullptr);
    bandForm->SetClientWidth(300);
    bandForm->SetClientHeight(10000);
    auto* band = new TBenchTree(bandForm);
    band->SetParent(bandForm);
    band->SetBounds(0, 0, 300, 10000);
    band->TreeOptions().SetSelectionOptions({toMultiSelect});
    band->OnGetText = tree->OnGetText;
    band->SetDefaultNodeHeight(1);
    band->BeginUpdate();
    band->SetRootNodeCount(std::uint32_t(total));
    band->EndUpdate();
    bandForm->Show();
    for (int i = 0; i < 5; ++i) Application->ProcessMessages();
    band->FillCacheNow();
    TBenchTree* tree = band;
    TForm* form = bandForm;
    const int x = 290, moves = 200;
    auto sweep = [&](bool shown) {
      if (!shown) form->Hide();
      tree->ClearSelection();
      tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 0));
      double best = 1e300;
      for (int round = 0; round < 3; ++round) {
        best = std::min(best, bestSeconds(1, [&] {
          for (int i = 1; i <= moves; ++i)
            tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, i * (10000 / moves) - 1));
          for (int i = moves; i >= 1; --i)
            tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, i * (10000 / moves) - 1));
        }));
      }
      tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 9999));
      const std::uint32_t banded = tree->SelectedCount();
      tree->Perform(WM_LBUTTONUP, 0, MAKELPARAM(20, 9999));
      if (!shown) form->Show();
      return std::make_pair(ms(best) / (2 * moves), banded);
    };
    const auto work = sweep(false);
    const auto painted = sweep(true);

    view.resize(300, 10000);
    QCoreApplication::processEvents();
    QWidget* port = view.viewport();
    const int rowHeight = view.sizeHintForRow(0) > 0 ? view.sizeHintForRow(0) : 18;
    const int rows = std::min(10000, 10000 / rowHeight);
    mouseInto(port, QEvent::MouseButtonPress, 5, 1, Qt::LeftButton);
    double qtBest = 1e300;
    for (int round = 0; round < 3; ++round) {
      qtBest = std::min(qtBest, bestSeconds(1, [&] {
        for (int i = 1; i <= moves; ++i)
          mouseInto(port, QEvent::MouseMove, 5, i * (rows * rowHeight / moves) - 1, Qt::LeftButton);
        for (int i = moves; i >= 1; --i)
          mouseInto(port, QEvent::MouseMove, 5, i * (rows * rowHeight / moves) - 1, Qt::LeftButton);
      }));
    }
    mouseInto(port, QEvent::MouseButtonRelease, 5, 1, Qt::NoButton);
    report("rubber band, per mouse move (10,000 rows)", work.first, ms(qtBest) / (2 * moves), 2);
    std::printf("  with the band's synchronous repaint: %.3f ms per move; rows in the band: %u\n", painted.first,
                work.second);
    std::printf("  (QTreeView drag-selects over %d rows of %d px and repaints later)\n", rows, rowHeight);
    delete bandForm;
  }

  // ---- hot tracking: rows repainted per move -----------------------------------------
  {
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() + TDTPaintOptions{toHotTrack});
    tree->SetOffsetY(0);
    int worst = 0;
    for (int y = 2; y < 500; y += 7) {
      tree->Invalidated = 0;
      tree->Perform(WM_MOUSEMOVE, 0, MAKELPARAM(40, y));
      worst = std::max(worst, tree->Invalidated);
    }
    std::printf("%-44s %10d rows (%s)\n", "hot tracking: rows repainted per move, at most", worst,
                limitText(worst, 2, "").c_str());
  }
  delete form;
  return 0;
}
