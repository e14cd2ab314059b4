// The header's interaction and painting: clicks, width tracking with its
// cancel, reordering by dragging (inside and outside the window) and the
// painted layout of a cell.
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/menus.h"
#include "tests/tree/tree_input_util.h"
#include "tree/data_object.h"
#include "tree/header_paint.h"

using namespace inputtest;

namespace {

struct THeaderTree : TInputFixture {
  THeaderTree() : TInputFixture(400, 200) {
    TDTHeader& h = Tree->Header();
    for (int i = 0; i < 4; ++i) {
      TDataTreeColumn* c = h.Columns().Add();
      c->SetText(u"Column " + String(1, char16_t(u'0' + i)));
      c->SetWidth(80);
    }
    h.SetOptions(h.Options() + TDTHeaderOptions{hoVisible, hoDrag, hoColumnResize});
    show();
  }
  TDataTreeColumns& columns() { return Tree->Header().Columns(); }
  // A point of the header (negative y in client co-ordinates), on screen.
  LPARAM screenAt(int x) {
    TPoint p = Tree->ClientToScreen({x, -Tree->Header().Height() / 2});
    return MAKELPARAM(p.x, p.y);
  }
  LPARAM clientAt(int x) { return MAKELPARAM(x, -Tree->Header().Height() / 2); }
  std::vector<TColumnIndex> order() { return columns().PositionToIndex(); }
};

}  // namespace

TEST(TreeHeaderInput, APressAndReleaseOnOneColumnIsOneClickAndSplittersNeverClick) {
  THeaderTree f;
  std::vector<TColumnIndex> clicked;
  f.Tree->OnHeaderClick = [&](TDTHeader*, TColumnIndex c, TMouseButton, TShiftState, int, int) {
    clicked.push_back(c);
  };
  f.Tree->Perform(WM_NCLBUTTONDOWN, HTBORDER, f.screenAt(120));
  EXPECT_EQ(f.columns().DownIndex, 1);
  f.Tree->Perform(WM_NCLBUTTONUP, HTBORDER, f.screenAt(120));
  EXPECT_EQ(clicked, std::vector<TColumnIndex>{1});
  EXPECT_EQ(f.columns().DownIndex, NoColumn);

  // On the splitter right of column 0: width tracking, never a click.
  int after = 0;
  f.Tree->OnAfterColumnWidthTracking = [&](TDTHeader*, TColumnIndex c) { after += c == 0; };
  f.Tree->Perform(WM_NCLBUTTONDOWN, HTBORDER, f.screenAt(81));
  EXPECT_TRUE(f.Tree->Header().States().Contains(hsColumnWidthTrackPending));
  f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(85));
  f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(121));
  EXPECT_EQ(f.columns()[0]->Width(), 121);
  // Escape ends the tracking and keeps the width reached.
  f.Tree->Perform(WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(f.Tree->Header().States().Empty());
  EXPECT_EQ(after, 1);
  EXPECT_EQ(f.columns()[0]->Width(), 121);
  f.Tree->Perform(WM_LBUTTONUP, 0, f.clientAt(121));
  EXPECT_EQ(clicked, std::vector<TColumnIndex>{1}) << "no click from the splitter";
}

TEST(TreeHeaderInput, DraggingAColumnMovesItBeforeOrAfterTheTarget) {
  THeaderTree f;
  std::vector<int> dragged, out;
  f.Tree->OnHeaderDragged = [&](TDTHeader*, TColumnIndex c, std::uint32_t) { dragged.push_back(c); };
  f.Tree->OnHeaderDraggedOut = [&](TDTHeader*, TColumnIndex c, TPoint) { out.push_back(c); };
  auto drag = [&](int fromX, int toX) {
    f.Tree->Perform(WM_NCLBUTTONDOWN, HTBORDER, f.screenAt(fromX));
    f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(fromX + 20));
    f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(toX));
    // Released over the rows, inside the window.
    f.Tree->Perform(WM_LBUTTONUP, 0, MAKELPARAM(toX, 5));
  };
  // Column at position 1 onto position 3 with the mark on its left: position 2.
  drag(120, 250);
  EXPECT_EQ(f.columns()[1]->Position(), 2u);
  EXPECT_EQ(dragged, std::vector<int>{1});
  // Back to the start, then onto position 3 with the mark on its right: position 3.
  f.columns()[1]->SetPosition(1);
  drag(120, 310);
  EXPECT_EQ(f.columns()[1]->Position(), 3u);
  // Released outside the window: nothing moves, the owner is told.
  const auto before = f.order();
  f.Tree->Perform(WM_NCLBUTTONDOWN, HTBORDER, f.screenAt(40));
  f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(70));
  f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(170));
  f.Tree->Perform(WM_LBUTTONUP, 0, MAKELPARAM(170, 5000));
  EXPECT_EQ(f.order(), before);
  EXPECT_EQ(out.size(), 1u);
}

TEST(TreeHeaderInput, PaintedCellsKeepCaptionAndGlyphsInsideTheirMargins) {
  THeaderTree f;
  TDataTreeColumn* c = f.columns()[2];
  c->SetText(u"A rather long caption for a narrow column");
  TBitmap bitmap(80, 17);
  TPoint glyph, sort;
  TRect text;
  c->ComputeHeaderLayout(*bitmap.Canvas(), {0, 0, 76, 13}, false, true, glyph, sort, text);
  EXPECT_GE(text.Left, c->Margin());
  EXPECT_LE(text.Right, sort.x) << "the sort glyph keeps its room";
  EXPECT_LE(sort.x + 16, 76 - c->Margin() + 1);
  c->SetAlignment(taRightJustify);
  c->SetCaptionAlignment(taRightJustify);
  c->SetText(u"R");
  c->ComputeHeaderLayout(*bitmap.Canvas(), {0, 0, 76, 13}, false, false, glyph, sort, text);
  EXPECT_EQ(text.Right, 76 - c->Margin());

  // The XP look: a pressed cell is filled with the pressed colour.
  f.Tree->Header().SetStyle(hsXPStyle);
  f.Tree->DoStateChange({}, {tsUseThemes});
  f.columns().DownIndex = 0;
  TBitmap target(400, f.Tree->Header().Height());
  f.columns().PaintHeader(target.Canvas()->Handle(), {0, 0, 400, f.Tree->Header().Height()}, 0);
  EXPECT_EQ(ColorToRGB(target.Canvas()->Pixels(70, 5)), RGB(222, 223, 216));
  EXPECT_EQ(ColorToRGB(target.Canvas()->Pixels(380, 8)), RGB(235, 234, 219)) << "the empty rest of the header";
}

TEST(TreeHeaderInput, CancelModeAndALostCaptureEndTrackingAndDragging) {
  THeaderTree f;
  int afterWidth = 0, afterHeight = 0;
  f.Tree->OnAfterColumnWidthTracking = [&](TDTHeader*, TColumnIndex) { ++afterWidth; };
  f.Tree->OnAfterHeaderHeightTracking = [&](TDTHeader*) { ++afterHeight; };
  f.Tree->Header().SetOptions(f.Tree->Header().Options() + TDTHeaderOptions{hoHeightResize});
  TForm other(nullptr);
  other.Show();
  auto startWidth = [&] {
    f.Tree->Perform(WM_NCLBUTTONDOWN, HTBORDER, f.screenAt(81));
    f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(85));
    f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(101));
    ASSERT_TRUE(f.Tree->Header().States().Contains(hsColumnWidthTracking));
  };
  auto startDrag = [&] {
    f.Tree->Perform(WM_NCLBUTTONDOWN, HTBORDER, f.screenAt(120));
    f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(140));
    f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(250));
    ASSERT_TRUE(f.Tree->Header().States().Contains(hsDragging));
  };
  // Cancel mode: the width reached stays, the owner hears the end once.
  startWidth();
  f.Tree->Perform(WM_CANCELMODE, 0, 0);
  EXPECT_TRUE(f.Tree->Header().States().Empty());
  EXPECT_EQ(afterWidth, 1);
  EXPECT_EQ(f.columns()[0]->Width(), 101);
  f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(150));
  EXPECT_EQ(f.columns()[0]->Width(), 101) << "moving afterwards tracks nothing";
  // Another window takes the mouse while a column is dragged: nothing moves.
  const auto before = f.order();
  startDrag();
  f.Tree->Perform(WM_CAPTURECHANGED, 0, LPARAM(other.Handle()));
  EXPECT_TRUE(f.Tree->Header().States().Empty());
  f.Tree->Perform(WM_LBUTTONUP, 0, MAKELPARAM(250, 5));
  EXPECT_EQ(f.order(), before);
  // The header's own release of the mouse ends a drag the ordinary way.
  startDrag();
  f.Tree->Perform(WM_LBUTTONUP, 0, MAKELPARAM(250, 5));
  EXPECT_NE(f.order(), before) << "a drop still moves the column";
  // Height tracking ends on cancel mode too.
  const int bottom = f.Tree->Header().Height() - 1;
  const TPoint edge = f.Tree->ClientToScreen({200, -1});
  f.Tree->Perform(WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(edge.x, edge.y));
  f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(200, 10));
  if (f.Tree->Header().States().Contains(hsHeightTracking)) {
    f.Tree->Perform(WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(f.Tree->Header().States().Empty());
    EXPECT_EQ(afterHeight, 1);
  } else {
    ADD_FAILURE() << "height tracking did not start at the header's bottom edge " << bottom;
  }
}

TEST(TreeHeaderInput, ADraggedColumnShowsItsPictureUnderTheMouse) {
  THeaderTree f;
  TDTDragImage* image = f.Tree->Header().DragImage();
  ASSERT_NE(image, nullptr);
  EXPECT_FALSE(image->Visible());
  // Pressed 40 px into column 1 (80..160), then dragged.
  f.Tree->Perform(WM_NCLBUTTONDOWN, HTBORDER, f.screenAt(120));
  f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(140));
  ASSERT_TRUE(f.Tree->Header().States().Contains(hsDragging));
  EXPECT_TRUE(image->Visible()) << "the picture shows as the drag starts";
  const TPoint columnCorner = f.Tree->ClientToScreen({80, -f.Tree->Header().Height()});
  TRect r = image->GetDragImageRect();
  EXPECT_EQ(r.Width(), 80) << "the dragged column's cell";
  EXPECT_EQ(r.Height(), f.Tree->Header().Height());
  EXPECT_EQ(r.Left, columnCorner.x) << "first over the column itself";
  EXPECT_EQ(r.Top, columnCorner.y);
  // It keeps the press point under the mouse.
  f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(250));
  r = image->GetDragImageRect();
  EXPECT_EQ(r.Left, f.Tree->ClientToScreen({250 - 40, 0}).x);
  EXPECT_EQ(r.Top, columnCorner.y);
  f.Tree->Perform(WM_LBUTTONUP, 0, MAKELPARAM(250, 5));
  EXPECT_FALSE(image->Visible()) << "a drop ends the picture";
  EXPECT_EQ(image->GetDragImageRect().Width(), 0);

  // Escape and focus loss end it too.
  for (UINT cancel : {UINT(WM_KEYDOWN), UINT(WM_KILLFOCUS)}) {
    f.Tree->Perform(WM_NCLBUTTONDOWN, HTBORDER, f.screenAt(40));
    f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(70));
    f.Tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, f.clientAt(170));
    ASSERT_TRUE(image->Visible());
    f.Tree->Perform(cancel, cancel == WM_KEYDOWN ? WPARAM(VK_ESCAPE) : WPARAM(0), 0);
    EXPECT_FALSE(image->Visible()) << cancel;
    f.Tree->Perform(WM_LBUTTONUP, 0, MAKELPARAM(170, 5));
  }
}

// The tree's own drag picture lies over a tree that repaints: the area is
// painted at once and the picture shows again over the new paint.
TEST(TreeHeaderInput, RepaintingAroundADragPicture) {
  THeaderTree f;
  TDTDragImage* image = f.Tree->DragImage();
  TBitmap picture;
  picture.SetPixelFormat(pf32bit);
  picture.SetSize(60, 30);
  picture.Canvas()->Brush()->SetColor(clRed);
  picture.Canvas()->FillRect({0, 0, 60, 30});
  const TPoint at = f.Tree->ClientToScreen({20, 20});
  image->PrepareDrag(picture, at, {30, 15}, nullptr);
  image->ShowDragImage();
  ASSERT_TRUE(image->Visible());
  InvalidateRect(f.Tree->Handle(), nullptr, false);
  f.Tree->RepaintAroundDragImage(f.Tree, {0, 0, 100, 100}, false, true);
  TRect left;
  EXPECT_FALSE(GetUpdateRect(f.Tree->Handle(), &left, false) && left.Left < 100 && left.Top < 100)
      << "the area under the picture is painted at once";
  EXPECT_TRUE(image->Visible());
  // Outside the client area nothing happens; without reshowing the picture
  // stays hidden until shown again.
  f.Tree->RepaintAroundDragImage(f.Tree, {-50, -50, -10, -10}, false, false);
  EXPECT_TRUE(image->Visible());
  f.Tree->RepaintAroundDragImage(f.Tree, {0, 0, 100, 100}, false, false);
  EXPECT_FALSE(image->Visible());
  image->ShowDragImage();
  EXPECT_TRUE(image->Visible());
  image->EndDrag();
}

TEST(TreeHeaderInput, AFreedPictureListOrMenuOfTheHeaderIsForgotten) {
  THeaderTree f;
  TDTHeader& h = f.Tree->Header();
  h.SetOptions(h.Options() + TDTHeaderOptions{hoShowImages});
  TBitmap picture(16, 16);
  picture.Canvas()->Brush()->SetColor(clRed);
  picture.Canvas()->FillRect({0, 0, 16, 16});
  auto makePictures = [&] {
    auto* list = new TImageList(f.Form);
    list->Add(&picture, nullptr);
    return list;
  };
  for (int i = 0; i < 4; ++i) f.columns()[i]->SetImageIndex(0);
  // Every menu is answered at once, whatever the platform shows.
  std::vector<TPopupMenu*> shown;
  TDialogHook before = SetDialogHook([&](TDialogRequest& r, int& answer) {
    if (r.Kind != dkPopupMenu) return false;
    shown.push_back(static_cast<TPopupMenu*>(r.Dialog));
    answer = -1;
    return true;
  });
  int rightUps = 0;
  f.Tree->OnHeaderMouseUp = [&](TDTHeader*, TMouseButton b, TShiftState, int, int) { rightUps += b == mbRight; };
  auto rightClick = [&] {
    f.Tree->Perform(WM_NCRBUTTONDOWN, HTBORDER, f.screenAt(120));
    f.Tree->Perform(WM_NCRBUTTONUP, HTBORDER, f.screenAt(120));
  };

  TImageList* pictures = makePictures();
  h.SetImages(pictures);
  auto* menu = new TPopupMenu(f.Form);
  h.SetPopupMenu(menu);
  rightClick();
  EXPECT_EQ(shown, std::vector<TPopupMenu*>{menu});
  delete pictures;
  EXPECT_EQ(h.Images(), nullptr) << "the freed list is still the header's";
  f.Tree->PaintHeaderInFrame();
  delete menu;
  EXPECT_EQ(h.PopupMenu(), nullptr) << "the freed menu is still the header's";
  rightClick();
  EXPECT_EQ(shown.size(), 1u) << "no menu shows once it is gone";
  EXPECT_EQ(rightUps, 2) << "the header still answers a right click";

  // A list or menu that the tree and the header share: when the tree lets
  // go of it, the header still learns that it is freed.
  pictures = makePictures();
  menu = new TPopupMenu(f.Form);
  f.Tree->SetImages(pictures);
  h.SetImages(pictures);
  f.Tree->SetPopupMenu(menu);
  h.SetPopupMenu(menu);
  f.Tree->SetImages(nullptr);
  f.Tree->SetPopupMenu(nullptr);
  delete pictures;
  delete menu;
  EXPECT_EQ(h.Images(), nullptr);
  EXPECT_EQ(h.PopupMenu(), nullptr);
  f.Tree->PaintHeaderInFrame();
  rightClick();
  EXPECT_EQ(shown.size(), 1u);

  // And the other way round: the header lets go, the tree still learns.
  pictures = makePictures();
  menu = new TPopupMenu(f.Form);
  f.Tree->SetImages(pictures);
  h.SetImages(pictures);
  f.Tree->SetPopupMenu(menu);
  h.SetPopupMenu(menu);
  h.SetImages(nullptr);
  h.SetPopupMenu(nullptr);
  delete pictures;
  delete menu;
  EXPECT_EQ(f.Tree->Images(), nullptr);
  EXPECT_EQ(f.Tree->PopupMenu(), nullptr);
  f.Tree->Repaint();
  SetDialogHook(before);
}
