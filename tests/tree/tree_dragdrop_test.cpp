// Drag and drop of trees on a form: the drag within the program driven by
// real mouse input (the dictionary manager's reordering, and between two
// trees), the target side of a drag between windows driven through the
// tree's drop target, handlers that destroy trees in the middle, and the
// picture that follows a drag.
#include <memory>

#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tests/tree/tree_stream_util.h"
#include "tree/data_object.h"
#include "tree/globals.h"

namespace {

// A tree whose drag between windows is played by the test: instead of the
// platform's modal loop, the drag is handed to a target tree's drop target.
class TDragTree : public TOwnedTree {
public:
  using TOwnedTree::TOwnedTree;
  using TBaseDataTree::DoStateChange;
  using TBaseDataTree::DoDragging;
  std::function<void(const std::shared_ptr<IDataObject>&, std::uint32_t, std::uint32_t&)> Play;
  std::uint32_t Allowed = 0;
  void DoDragDrop(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t AllowedEffects,
                  std::uint32_t& Effect) override {
    Allowed = AllowedEffects;
    Effect = DROPEFFECT_NONE;
    if (Play) Play(DataObject, AllowedEffects, Effect);
  }
  using TBaseDataTree::DoDragDrop;
};

std::string captions(TOwnedTree& t) {
  std::string out;
  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n))
    out += (out.empty() ? "" : " ") + std::string(t.GetNodeLevel(n), '>') + t.Caption(n);
  return out;
}

void pump() {
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
}

// A form with two trees side by side.
struct TTwoTrees {
  std::unique_ptr<TForm> Form;
  std::unique_ptr<TDragTree> Left, Right;
  TTwoTrees() {
    Application->Initialize();
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(40, 40, 420, 260);
    Left = make(0);
    Right = make(210);
    Form->Show();
    pump();
  }
  ~TTwoTrees() {
    Left.reset();
    Right.reset();
  }
  std::unique_ptr<TDragTree> make(int left) {
    auto tree = std::make_unique<TDragTree>();
    tree->SetParent(Form.get());
    tree->SetBounds(left, 0, 200, 240);
    tree->SetBorderStyle(bsNone);
    tree->Font()->SetName(u"DejaVu Sans");
    tree->Font()->SetHeight(-12);
    tree->OnDragAllowed = [](TBaseDataTree*, PDataNode, TColumnIndex, bool& allowed) { allowed = true; };
    tree->OnDragOver = [](TBaseDataTree*, TObject*, TShiftState, TDragState, TPoint, TDTDropMode, std::uint32_t&,
                          bool& accept) { accept = true; };
    return tree;
  }
  static TPoint textPoint(TBaseDataTree& t, PDataNode n) {
    TRect r = t.GetDisplayRect(n, NoColumn, true);
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  }
  static TPoint screen(TBaseDataTree& t, TPoint client) { return t.ClientToScreen(client); }
  // A press on one tree, moves in steps to a point of another (or the same)
  // tree, and the release there.
  static void drag(TBaseDataTree& from, TPoint start, TBaseDataTree& to, TPoint end) {
    InjectMouse(from.Handle(), imDown, mbLeft, start, {});
    pump();
    const TPoint a = from.ClientToScreen(start), b = to.ClientToScreen(end);
    for (int step = 1; step <= 4; ++step) {
      TPoint p{a.x + (b.x - a.x) * step / 4, a.y + (b.y - a.y) * step / 4};
      InjectMouse(from.Handle(), imMove, mbLeft, from.ScreenToClient(p), {}, {ssLeft});
      pump();
    }
    InjectMouse(from.Handle(), imUp, mbLeft, from.ScreenToClient(b), {});
    pump();
  }
};

// The dictionary manager's drop: the first selected node goes before the
// target when it came from below, else after it.
void reorderOnDrop(TBaseDataTree& tree, int& drops) {
  tree.SetDragType(dtVCL);
  tree.OnDragDrop = [&drops](TBaseDataTree* t, TObject*, const std::shared_ptr<IDataObject>& data,
                             const TBaseDataTree::TFormatArray& formats, TShiftState, TPoint, std::uint32_t&,
                             TDTDropMode) {
    ++drops;
    EXPECT_EQ(data, nullptr);
    EXPECT_TRUE(formats.empty());
    PDataNode s = t->GetFirstSelected();
    PDataNode target = t->DropTargetNode();
    t->MoveTo(s, target, s->Index > target->Index ? amInsertBefore : amInsertAfter, false);
  };
}

}  // namespace

TEST(TreeDragDrop, TheDragWithinTheProgramReordersAList) {
  TTwoTrees f;
  TDragTree& list = *f.Left;
  int drops = 0;
  reorderOnDrop(list, drops);
  PDataNode one = list.Add(nullptr, "1");
  list.Add(nullptr, "2");
  PDataNode three = list.Add(nullptr, "3");
  pump();

  // The third onto the first: before it.
  TTwoTrees::drag(list, TTwoTrees::textPoint(list, three), list, TTwoTrees::textPoint(list, one));
  EXPECT_EQ(captions(list), "3 1 2");
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(list.DropTargetNode(), nullptr);
  EXPECT_FALSE(list.Dragging());
  EXPECT_FALSE(list.TreeStates().Contains(tsVCLDragPending));
  EXPECT_FALSE(list.TreeStates().Contains(tsVCLDragging));
  // The first onto the last: after it.
  TTwoTrees::drag(list, TTwoTrees::textPoint(list, three), list, TTwoTrees::textPoint(list, list.GetLast()));
  EXPECT_EQ(captions(list), "1 2 3");

  // Dropped below the last node: the drag ends and nothing moves.
  TTwoTrees::drag(list, TTwoTrees::textPoint(list, one), list, {60, 200});
  EXPECT_EQ(captions(list), "1 2 3");
  EXPECT_EQ(drops, 2);
  EXPECT_FALSE(list.Dragging());

  // A press without a move is a click: it selects and drops nothing.
  PDataNode two = one->NextSibling;
  InjectMouse(list.Handle(), imDown, mbLeft, TTwoTrees::textPoint(list, two), {});
  pump();
  InjectMouse(list.Handle(), imUp, mbLeft, TTwoTrees::textPoint(list, two), {});
  pump();
  EXPECT_EQ(list.FocusedNode(), two);
  EXPECT_EQ(list.GetFirstSelected(), two);
  EXPECT_EQ(drops, 2);
  checkInvariants(list);
}

TEST(TreeDragDrop, TheDragWithinTheProgramCarriesANodeToAnotherTree) {
  TTwoTrees f;
  f.Left->SetDragType(dtVCL);
  f.Right->SetDragType(dtVCL);
  PDataNode a = f.Left->Add(nullptr, "a", 1);
  f.Left->Add(a, "a1", 11);
  f.Left->Add(nullptr, "b", 2);
  PDataNode x = f.Right->Add(nullptr, "x", 9);
  TObject* seen = nullptr;
  f.Right->OnDragDrop = [&](TBaseDataTree* t, TObject* source, const std::shared_ptr<IDataObject>&,
                            const TBaseDataTree::TFormatArray&, TShiftState, TPoint, std::uint32_t&, TDTDropMode) {
    seen = source;
    auto* from = dynamic_cast<TBaseDataTree*>(source);
    from->MoveTo(from->GetFirstSelected(), t->DropTargetNode(), amInsertAfter, false);
  };
  pump();
  TTwoTrees::drag(*f.Left, TTwoTrees::textPoint(*f.Left, a), *f.Right, TTwoTrees::textPoint(*f.Right, x));
  EXPECT_EQ(seen, f.Left.get()) << "the handler sees the dragged tree, not what carried it";
  EXPECT_EQ(captions(*f.Left), "b");
  EXPECT_EQ(captions(*f.Right), "x a >a1");
  EXPECT_EQ(f.Right->Id(x->NextSibling->FirstChild), 11);
  checkInvariants(*f.Left);
  checkInvariants(*f.Right);
}

TEST(TreeDragDrop, AHandlerMayDestroyTheTreesOfTheDrag) {
  TTwoTrees f;
  f.Left->SetDragType(dtVCL);
  f.Right->SetDragType(dtVCL);
  PDataNode a = f.Left->Add(nullptr, "a");
  PDataNode x = f.Right->Add(nullptr, "x");
  int ended = 0;
  f.Left->OnEndDrag = [&](TObject*, TObject*, int, int) { ++ended; };
  f.Right->OnDragDrop = [&](TBaseDataTree*, TObject*, const std::shared_ptr<IDataObject>&,
                            const TBaseDataTree::TFormatArray&, TShiftState, TPoint, std::uint32_t&, TDTDropMode) {
    f.Right.reset();
  };
  pump();
  TTwoTrees::drag(*f.Left, TTwoTrees::textPoint(*f.Left, a), *f.Right, TTwoTrees::textPoint(*f.Right, x));
  EXPECT_EQ(f.Right, nullptr);
  EXPECT_EQ(ended, 1) << "the source heard that its drag ended";
  EXPECT_FALSE(f.Left->Dragging());

  // The source itself goes while the target takes the drop.
  f.Right = f.make(210);
  x = f.Right->Add(nullptr, "x");
  f.Right->SetDragType(dtVCL);
  f.Right->OnDragDrop = [&](TBaseDataTree*, TObject*, const std::shared_ptr<IDataObject>&,
                            const TBaseDataTree::TFormatArray&, TShiftState, TPoint, std::uint32_t&, TDTDropMode) {
    f.Left.reset();
  };
  pump();
  TDragTree* left = f.Left.get();
  TTwoTrees::drag(*left, TTwoTrees::textPoint(*left, a), *f.Right, TTwoTrees::textPoint(*f.Right, x));
  EXPECT_EQ(f.Left, nullptr);
  EXPECT_EQ(captions(*f.Right), "x");
}

TEST(TreeDragDrop, ADragBetweenWindowsMovesOrCopiesWhereTheMouseLets) {
  TTwoTrees f;
  TDragTree& left = *f.Left;
  TDragTree& right = *f.Right;
  TDTSelectionOptions sel = left.TreeOptions().SelectionOptions();
  left.TreeOptions().SetSelectionOptions(sel + TDTSelectionOptions{toMultiSelect});
  PDataNode a = left.Add(nullptr, "a", 1);
  PDataNode b = left.Add(nullptr, "b", 2);
  PDataNode x = right.Add(nullptr, "x", 7);
  PDataNode y = right.Add(nullptr, "y", 8);
  std::vector<TDTDropMode> modes;
  std::vector<std::uint32_t> effects;
  for (TDragTree* t : {&left, &right})
    t->OnDragDrop = [&modes, &effects](TBaseDataTree* target, TObject* source, const std::shared_ptr<IDataObject>& data,
                                       const TBaseDataTree::TFormatArray&, TShiftState, TPoint, std::uint32_t& effect,
                                       TDTDropMode mode) {
      modes.push_back(mode);
      effects.push_back(effect);
      TDTNodeAttachMode attach = mode == dmAbove ? amInsertBefore : mode == dmBelow ? amInsertAfter : amAddChildLast;
      auto* from = dynamic_cast<TBaseDataTree*>(source);
      target->ProcessOLEData(from, data, target->DropTargetNode(), attach, from && effect == DROPEFFECT_MOVE);
    };
  // The drag goes to the target's drop target as the platform would hand it.
  TPoint dropAt;
  std::uint32_t keys = 0;
  TDragTree* over = &right;
  left.Play = [&](const std::shared_ptr<IDataObject>& data, std::uint32_t allowed, std::uint32_t& effect) {
    auto* target = dynamic_cast<IDropTarget*>(over->DragManager());
    std::uint32_t e = allowed;
    target->DragEnter(data, keys, dropAt, e);
    e = allowed;
    target->DragOver(keys, dropAt, e);
    effect = allowed;
    target->Drop(data, keys, dropAt, effect);
  };

  // Onto another tree's label: a copy, as the node's last child.
  left.SetSelected(a, true);
  left.SetFocusedNode(a);
  dropAt = right.ClientToScreen(TTwoTrees::textPoint(right, x));
  left.DoDragging(TTwoTrees::textPoint(left, a));
  EXPECT_EQ(left.Allowed, std::uint32_t(DROPEFFECT_COPY | DROPEFFECT_MOVE));
  ASSERT_EQ(modes.size(), 1u);
  EXPECT_EQ(modes[0], dmOnNode);
  EXPECT_EQ(effects[0], std::uint32_t(DROPEFFECT_COPY));
  EXPECT_EQ(captions(left), "a b");
  EXPECT_EQ(captions(right), "x >a y");
  EXPECT_FALSE(left.TreeStates().Contains(tsOLEDragging));
  EXPECT_EQ(right.DropTargetNode(), nullptr);

  // With Shift: moved, into the upper half of a row beside the label: above it.
  keys = MK_SHIFT;
  TRect row = right.GetDisplayRect(y, NoColumn, false);
  dropAt = right.ClientToScreen({row.Right - 4, row.Top + 2});
  left.DoDragging(TTwoTrees::textPoint(left, a));
  EXPECT_EQ(modes.back(), dmAbove);
  EXPECT_EQ(effects.back(), std::uint32_t(DROPEFFECT_MOVE));
  EXPECT_EQ(captions(left), "b");
  EXPECT_EQ(captions(right), "x >a a y");
  // The lower half of a row: below it.
  left.SetSelected(b, true);
  left.SetFocusedNode(b);
  row = right.GetDisplayRect(y, NoColumn, false);
  dropAt = right.ClientToScreen({row.Right - 4, row.Bottom - 2});
  left.DoDragging(TTwoTrees::textPoint(left, b));
  EXPECT_EQ(modes.back(), dmBelow);
  EXPECT_EQ(captions(right), "x >a a y b");
  checkInvariants(left);
  checkInvariants(right);

  // Within one tree the default is a move; with no operations set, all are
  // offered; a target that refuses gets no drop.
  over = &right;
  right.Play = left.Play;
  right.SetDragOperations({});
  PDataNode first = right.GetFirst();
  right.ClearSelection();
  right.SetSelected(first, true);
  right.SetFocusedNode(first);
  keys = 0;
  dropAt = right.ClientToScreen(TTwoTrees::textPoint(right, right.GetLast()));
  right.DoDragging(TTwoTrees::textPoint(right, first));
  EXPECT_EQ(right.Allowed, std::uint32_t(DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK));
  EXPECT_EQ(effects.back(), std::uint32_t(DROPEFFECT_MOVE));
  EXPECT_EQ(captions(right), "a y b >x >>a");
  const std::size_t before = modes.size();
  right.OnDragOver = [](TBaseDataTree*, TObject*, TShiftState, TDragState, TPoint, TDTDropMode, std::uint32_t&,
                        bool& accept) { accept = false; };
  right.DoDragging(TTwoTrees::textPoint(right, right.GetFirst()));
  EXPECT_EQ(modes.size(), before);
  checkInvariants(right);
}

TEST(TreeDragDrop, DataFromADestroyedTreeOrElsewhereNamesNoSource) {
  TTwoTrees f;
  PDataNode x = f.Right->Add(nullptr, "x");
  auto gone = std::make_unique<TDragTree>();
  gone->SetSelected(gone->Add(nullptr, "g", 3), true);
  auto data = std::make_shared<TDTDataObject>(gone.get(), false);
  gone.reset();
  auto* target = dynamic_cast<IDropTarget*>(f.Right->DragManager());
  std::uint32_t effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  const TPoint at = f.Right->ClientToScreen(TTwoTrees::textPoint(*f.Right, x));
  target->DragEnter(data, 0, at, effect);
  EXPECT_EQ(f.Right->DragManager()->DragSource(), nullptr);
  EXPECT_EQ(effect, std::uint32_t(DROPEFFECT_COPY)) << "data from elsewhere is copied";
  bool dropped = false;
  f.Right->OnDragDrop = [&](TBaseDataTree* t, TObject* source, const std::shared_ptr<IDataObject>& d,
                            const TBaseDataTree::TFormatArray&, TShiftState, TPoint, std::uint32_t&, TDTDropMode) {
    dropped = true;
    EXPECT_EQ(source, nullptr);
    EXPECT_FALSE(t->ProcessOLEData(nullptr, d, nullptr, amAddChildLast, false) && t->TotalCount() > 1)
        << "a dead tree renders nothing";
  };
  target->Drop(data, 0, at, effect);
  EXPECT_TRUE(dropped);
  EXPECT_EQ(captions(*f.Right), "x");
}

TEST(TreeDragDrop, HoldingADragOverAClosedNodeOpensIt) {
  TTwoTrees f;
  TDragTree& t = *f.Right;
  PDataNode parent = t.Add(nullptr, "p");
  t.Add(parent, "child");
  pump();
  auto data = std::make_shared<TDTDataObject>(f.Left.get(), false);
  auto* target = dynamic_cast<IDropTarget*>(t.DragManager());
  std::uint32_t effect = DROPEFFECT_COPY;
  const TPoint at = t.ClientToScreen(TTwoTrees::textPoint(t, parent));
  target->DragEnter(data, 0, at, effect);
  effect = DROPEFFECT_COPY;
  target->DragOver(0, at, effect);
  EXPECT_EQ(t.DropTargetNode(), parent);
  EXPECT_FALSE(t.Expanded(parent));
  t.Perform(WM_TIMER, ExpandTimer, 0);
  EXPECT_TRUE(t.Expanded(parent));
  target->DragLeave();
  EXPECT_EQ(t.DropTargetNode(), nullptr);
}

TEST(TreeDragDrop, TheDropSourceGoesOnDropsOrCancels) {
  TDTDragManager manager(nullptr);
  EXPECT_EQ(manager.QueryContinueDrag(false, MK_LBUTTON), S_OK);
  EXPECT_EQ(manager.QueryContinueDrag(false, 0), DRAGDROP_S_DROP);
  EXPECT_EQ(manager.QueryContinueDrag(true, MK_LBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(manager.QueryContinueDrag(false, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL)
      << "both buttons down cancel";
  EXPECT_EQ(manager.GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
  // A manager whose tree is gone takes no drop.
  std::uint32_t effect = DROPEFFECT_COPY;
  EXPECT_EQ(manager.Drop(nullptr, 0, {0, 0}, effect), E_FAIL);
  EXPECT_EQ(effect, std::uint32_t(DROPEFFECT_NONE));
}

TEST(TreeDragDrop, TheDragPictureFadesOutwardsAndDropsItsKeyColour) {
  TBaseDataTree tree(nullptr);
  TDTDragImage& image = *tree.DragImage();
  TBitmap picture;
  picture.SetPixelFormat(pf32bit);
  picture.SetSize(40, 20);
  for (int y = 0; y < 20; ++y) {
    auto* row = static_cast<std::uint32_t*>(picture.ScanLine(y));
    for (int x = 0; x < 40; ++x) row[x] = x < 5 ? 0xFF00FF00u : 0xFF336699u;  // a green strip at the left
  }
  image.ColorKey = clLime;
  image.PrepareDrag(picture, {100, 100}, {20, 10}, nullptr);
  EXPECT_TRUE(image.States.Contains(TDTDragImage::disPrepared));
  EXPECT_FALSE(image.States.Contains(TDTDragImage::disSystemSupport));
  EXPECT_FALSE(image.Visible()) << "prepared hidden";
  auto alpha = [&](int x, int y) { return static_cast<const std::uint8_t*>(image.DragImage()->ScanLine(y))[x * 4 + 3]; };
  EXPECT_EQ(alpha(2, 10), 0) << "key-coloured pixels vanish";
  EXPECT_EQ(alpha(20, 10), 255) << "opaque at the centre";
  EXPECT_LT(alpha(39, 0), alpha(30, 10));
  EXPECT_LT(alpha(30, 10), alpha(22, 10));
  EXPECT_EQ(image.GetDragImageRect(), TRect(100, 100, 140, 120));
  EXPECT_TRUE(image.DragTo({125, 112}, false));
  EXPECT_EQ(image.GetDragImageRect(), TRect(105, 102, 145, 122));
  image.MoveRestriction = TDTDragImage::dmrHorizontalOnly;
  image.DragTo({125, 160}, false);
  EXPECT_EQ(image.ImagePosition().y, 102);

  // With a data object the drag itself carries the picture.
  auto data = std::make_shared<TDTDataObject>(&tree, false);
  image.PrepareDrag(picture, {0, 0}, {20, 10}, data.get());
  EXPECT_TRUE(image.States.Contains(TDTDragImage::disSystemSupport));
  image.EndDrag();
  EXPECT_FALSE(image.States.Contains(TDTDragImage::disInDrag));
  EXPECT_EQ(image.DragImage()->Width(), 0);
}

TEST(TreeDragDrop, AMoveDropTakesOnlyWhatArrivesAndHandlersMayDestroyTheTarget) {
  TTwoTrees f;
  TDTSelectionOptions sel = f.Left->TreeOptions().SelectionOptions();
  f.Left->TreeOptions().SetSelectionOptions(sel + TDTSelectionOptions{toMultiSelect});
  PDataNode a = f.Left->Add(nullptr, "a");
  PDataNode b = f.Left->Add(nullptr, "b");
  PDataNode x = f.Right->Add(nullptr, "x");
  f.Left->SetSelected(a, true);
  f.Left->SetSelected(b, true);
  f.Left->SetFocusedNode(a);
  // The owner of the source keeps "b".
  f.Left->OnNodeMoving = [&](TBaseDataTree*, PDataNode n, PDataNode, bool& allowed) { allowed = n != b; };
  f.Right->OnDragDrop = [](TBaseDataTree* t, TObject* source, const std::shared_ptr<IDataObject>& data,
                           const TBaseDataTree::TFormatArray&, TShiftState, TPoint, std::uint32_t& effect,
                           TDTDropMode) {
    t->ProcessOLEData(dynamic_cast<TBaseDataTree*>(source), data, t->DropTargetNode(), amInsertAfter,
                      effect == DROPEFFECT_MOVE);
  };
  TDragTree* target = f.Right.get();
  TPoint at = target->ClientToScreen(TTwoTrees::textPoint(*target, x));
  f.Left->Play = [&](const std::shared_ptr<IDataObject>& data, std::uint32_t allowed, std::uint32_t& effect) {
    // The window's registered drop target, as the platform hands it the drag.
    std::shared_ptr<IDropTarget> drop = DropTargetOf(target->Handle());
    ASSERT_NE(drop, nullptr);
    std::uint32_t e = allowed;
    drop->DragEnter(data, MK_SHIFT, at, e);
    effect = allowed;
    drop->Drop(data, MK_SHIFT, at, effect);
  };
  f.Left->DoDragging(TTwoTrees::textPoint(*f.Left, a));
  EXPECT_EQ(captions(*f.Right), "x a");
  EXPECT_EQ(captions(*f.Left), "b") << "the node that did not arrive stays";
  checkInvariants(*f.Left);
  checkInvariants(*f.Right);

  // A handler that destroys the target, at the enter and at the drop.
  for (int when = 0; when < 2; ++when) {
    f.Right = f.make(210);
    target = f.Right.get();
    x = target->Add(nullptr, "x");
    pump();
    at = target->ClientToScreen(TTwoTrees::textPoint(*target, x));
    auto gone = [&f] { f.Right.reset(); };
    if (when == 0)
      target->OnDragOver = [&](TBaseDataTree*, TObject*, TShiftState, TDragState, TPoint, TDTDropMode, std::uint32_t&,
                               bool& accept) {
        accept = true;
        gone();
      };
    else
      target->OnDragDrop = [&](TBaseDataTree*, TObject*, const std::shared_ptr<IDataObject>&,
                               const TBaseDataTree::TFormatArray&, TShiftState, TPoint, std::uint32_t&,
                               TDTDropMode) { gone(); };
    f.Left->Play = [&](const std::shared_ptr<IDataObject>& data, std::uint32_t allowed, std::uint32_t& effect) {
      // Held by the platform through the drag, as the window's drop target.
      std::shared_ptr<IDropTarget> drop = DropTargetOf(target->Handle());
      ASSERT_NE(drop, nullptr);
      std::uint32_t e = allowed;
      drop->DragEnter(data, 0, at, e);
      if (!f.Right) return;
      effect = allowed;
      drop->Drop(data, 0, at, effect);
    };
    f.Left->SetFocusedNode(f.Left->GetFirst());
    f.Left->DoDragging(TTwoTrees::textPoint(*f.Left, f.Left->GetFirst()));
    EXPECT_EQ(f.Right, nullptr);
    EXPECT_EQ(captions(*f.Left), "b");
  }
}
