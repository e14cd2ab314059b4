// Paints and frame changes the tree asks for at once, whose handlers
// destroy the tree: the paint (or the resize that a frame change sends) is
// delivered by the toolkit, which drops the unwinding, so the code that
// asked must stop by itself and touch nothing of the tree or its header.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tests/tree/tree_input_util.h"
#include "tests/tree/gone_fixture.h"
#include "tree/string_tree.h"

namespace {

using tree_gone::pump;

// A shown form with a string tree of three columns under a visible header
// and rows enough to need a vertical bar once the client area shrinks.
struct TGoneFixture : tree_gone::TGoneForm {
  TGoneFixture() : TGoneForm({.FirstChildren = 0, .MoreRows = 7}) {}
  void doomOnScrollBar() {
    T->OnShowScrollbar = [d = doom()](TBaseDataTree*, int, bool) { d(); };
  }
};

}  // namespace

// The header's height changes the window's frame; the smaller client area
// needs the vertical bar, and the bar's handler destroys the tree.
TEST(TreeGonePaint, AHeaderHeightWhoseResizeShowsABarWhoseHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TGoneFixture f;
  f.T->Header().SetMaxHeight(1000);
  f.doomOnScrollBar();
  f.Armed = true;
  EXPECT_NO_THROW(f.T->Header().SetHeight(200));
  EXPECT_FALSE(f.alive());
}

// Hiding the header gives the rows room again; the bar that goes away has a
// handler that destroys the tree.
TEST(TreeGonePaint, HidingTheHeaderWhoseResizeHidesABarWhoseHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TGoneFixture f;
  f.T->Header().SetMaxHeight(1000);
  f.T->Header().SetHeight(200);
  pump();
  f.doomOnScrollBar();
  f.Armed = true;
  EXPECT_NO_THROW(f.T->Header().SetOptions(f.T->Header().Options() - TDTHeaderOptions{hoVisible}));
  EXPECT_FALSE(f.alive());
}

// Restoring the columns' widths animates each; the first paint destroys the
// tree and no further column is touched.
TEST(TreeGonePaint, RestoringColumnWidthsWhosePaintHandlerDestroysTheTreeStops) {
  TGoneFixture f;
  for (int i = 0; i < 3; ++i) f.T->Header().Columns()[i]->SetWidth(200);
  pump();
  f.doomOnPaint();
  f.Armed = true;
  EXPECT_NO_THROW(f.T->Header().Columns().RestoreLastWidths());
  EXPECT_FALSE(f.alive());
}

// Input that paints the tree at once on its way: a handler of that paint
// destroys the tree, and the input's handling stops there.
namespace {

using inputtest::TInputFixture;

// Arms a paint handler that destroys the fixture's tree once.
void doomOnPaint(TInputFixture& f, bool& armed) {
  f.Tree->OnBeforeCellPaint = [&armed](TBaseDataTree* t, TCanvas*, PDataNode, TColumnIndex, TRect&) {
    if (!armed) return;
    armed = false;
    delete t;
  };
}

}  // namespace

// A row dragged over its own tree: each move over the tree paints the drop
// marks at once, and the paint's handler destroys the tree in the middle of
// the drag. The drag ends with the tree: the tree beside it, under the
// mouse next, hears of no drag from the freed one.
TEST(TreeGonePaint, ADragWhosePaintHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TInputFixture f(300, 240);
  auto roots = f.resultShaped(5, 0);
  f.Tree->SetDragMode(dmAutomatic);
  f.Form->SetClientWidth(500);
  auto* beside = new TDataStringTree(f.Form);
  beside->SetParent(f.Form);
  beside->SetBounds(300, 0, 200, 240);
  beside->AddChild(nullptr);
  f.show();
  const std::weak_ptr<const bool> life = f.Tree->LifeToken();
  bool armed = false;
  doomOnPaint(f, armed);
  const TPoint at = f.textPoint(roots[1]);
  f.mouse(imDown, at);
  ASSERT_TRUE(f.Tree->TreeStates().Contains(tsOLEDragPending));
  armed = true;
  f.mouse(imMove, {at.x + 40, at.y + 40}, mbLeft, {}, {ssLeft});
  EXPECT_TRUE(life.expired());
  InjectMouse(beside->Handle(), imMove, mbLeft, {50, 10}, {}, {ssLeft});
  TInputFixture::pump();
  EXPECT_FALSE(beside->TreeStates().Contains(tsVCLDragging));
  InjectMouse(beside->Handle(), imUp, mbLeft, {50, 10}, {}, {});
  TInputFixture::pump();
  EXPECT_FALSE(beside->Dragging());
}

// A program's repaint under a drag picture: the area is painted at once,
// and only then does the picture take again what lies under it.
TEST(TreeGonePaint, ARepaintAroundTheDragPictureWhosePaintHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TGoneFixture f;
  f.doomOnPaint();
  f.Armed = true;
  EXPECT_NO_THROW(f.T->RepaintAroundDragImage(f.T, {0, 0, 200, 100}, false, true));
  EXPECT_FALSE(f.alive());
}

// A column dragged over another: the header paints its new drop mark at
// once before the column's picture takes what lies under it, and the
// header's paint handler destroys the tree (the header and the picture go
// with it).
TEST(TreeGonePaint, AColumnDraggedOverAnotherWhoseHeaderPaintHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TGoneFixture f;
  TDTHeader& h = f.T->Header();
  h.SetOptions(h.Options() + TDTHeaderOptions{hoDrag, hoOwnerDraw});
  for (int i = 0; i < 3; ++i) h.Columns()[i]->SetStyle(vsOwnerDraw);
  f.T->OnHeaderDraw = [d = f.doom()](TDTHeader*, TCanvas*, std::int32_t, TRect, bool, bool, int) { d(); };
  const int middle = -h.Height() / 2;
  const TPoint press = f.T->ClientToScreen({150, middle});
  f.T->Perform(WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(press.x, press.y));
  f.T->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(170, middle));
  ASSERT_TRUE(h.States().Contains(hsDragging));
  f.Armed = true;
  f.T->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(260, middle));
  EXPECT_FALSE(f.alive());
}
