// The start of a drag on a result-shaped tree of a million nodes (20
// dictionaries x 50,000 headwords, all open, scrolled to the middle): the
// focused node joins the selection, the data object is made and the drag
// picture (200 x 350 pixels of the tree around the press, faded outwards)
// is built. The drag loop itself is left out. Beside it QTreeView grabbing
// the same area of a model of the same shape, as Qt's own views do to make
// their drag picture.
//
//   QT_QPA_PLATFORM=offscreen build/bench/tree_dnd/bench_tree_dnd [headwords-per-root]
#include <QAbstractItemModel>
#include <QApplication>
#include <QPixmap>
#include <QScrollBar>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/common/best_time.h"
#include "platform/core/strings.h"
#include "platform/gui/forms.h"
#include "tree/data_object.h"
#include "tree/string_tree.h"

namespace {
constexpr int Roots = 20;
constexpr int RowHeight = 18;

// A tree whose drag stops right after it started.
class TBenchTree : public TDataStringTree {
public:
  using TDataStringTree::TDataStringTree;
  using TBaseDataTree::DoDragging;
  using TBaseDataTree::DoDragDrop;
  void DoDragDrop(const std::shared_ptr<IDataObject>&, std::uint32_t, std::uint32_t& Effect) override {
    Effect = DROPEFFECT_NONE;
  }
};

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
    if (role != Qt::DisplayRole) return {};
    if (index.internalId() == 0) return QString("dictionary %1").arg(index.row());
    return QString("headword %1").arg(index.row());
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
  form->SetClientHeight(50 * RowHeight);
  auto* tree = new TBenchTree(form);
  tree->SetParent(form);
  tree->SetBorderStyle(bsNone);
  tree->SetAlign(alClient);
  tree->Font()->SetName(u"DejaVu Sans");
  tree->Font()->SetHeight(-12);
  tree->SetNodeDataSize(int(sizeof(int)));
  tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType, String& text) {
    const int id = *t->GetNodeData<int>(n);
    text = UTF8ToUTF16((n->Parent == t->RootNode() ? "dictionary " : "headword ") + std::to_string(id));
  };
  tree->BeginUpdate();
  for (int r = 0; r < Roots; ++r) {
    PDataNode root = tree->AddChild(nullptr);
    *tree->GetNodeData<int>(root) = r;
    for (int c = 0; c < children; ++c) *tree->GetNodeData<int>(tree->AddChild(root)) = c;
    tree->SetExpanded(root, true);
  }
  tree->EndUpdate();
  form->Show();
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  while (!tree->TreeStates().Contains(tsUseCache)) Application->HandleMessage();
  tree->SetOffsetY(-int(tree->RangeY64() / 2));
  for (int i = 0; i < 3; ++i) Application->ProcessMessages();
  PDataNode pressed = tree->GetNodeAt(60, 10 * RowHeight + 5);
  std::printf("tree: %u nodes, window %d x %d, drag picture %d x %d\n", tree->TotalCount(), tree->ClientWidth(),
              tree->ClientHeight(), tree->DragWidth(), tree->DragHeight());

  const double start = bestMs(20, [&] {
    tree->ClearSelection();
    tree->SetFocusedNode(pressed);
    tree->DoDragging({60, 10 * RowHeight + 5});
  });

  auto model = std::make_unique<TResultModel>(children);
  QTreeView view;
  view.setModel(model.get());
  view.setUniformRowHeights(true);
  view.resize(tree->ClientWidth(), tree->ClientHeight());
  // The same rows in view: the middle dictionary open at its middle (a
  // view with every node open takes minutes to lay out).
  const QModelIndex middle = model->index(Roots / 2, 0, QModelIndex());
  view.expand(middle);
  view.show();
  QApplication::processEvents();
  view.scrollTo(model->index(children / 2, 0, middle), QAbstractItemView::PositionAtTop);
  QApplication::processEvents();
  const QRect area(60 - tree->DragWidth() / 2, 10 * RowHeight + 5 - tree->DragHeight() / 2, tree->DragWidth(),
                   tree->DragHeight());
  const double peer = bestMs(20, [&] {
    QPixmap picture = view.viewport()->grab(area);
    (void)picture;
  });
  std::printf("drag start (data object and drag picture)  tree %7.3f ms   QTreeView grab of the same area %7.3f ms   "
              "ratio %.2f\n",
              start, peer, start / peer);
  delete form;
  return 0;
}
