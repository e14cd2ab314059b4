// Where rows and their parts are: display rectangles, hit tests at every
// row and column edge in both reading orders, row invalidation, scroll
// ranges of very tall trees.
#include <climits>

#include "platform/gui/windows.h"
#include "tests/tree/tree_paint_util.h"

using namespace painttest;

namespace {
// Classic look, fixed geometry: indent 18, margin 4, text margin 4, 16-pixel
// pictures in both lists, check boxes.
void classic(TPaintedTree& p) {
  TDataStringTree* t = p.Tree;
  t->TreeOptions().SetPaintOptions(t->TreeOptions().PaintOptions() - TDTPaintOptions{toThemeAware});
  t->SetStateImages(makeImages(p.Form, {clRed, clLime}));
  t->SetImages(makeImages(p.Form, {clBlue, clYellow}));
  t->OnGetImageIndex = [](TBaseDataTree*, PDataNode, TDTImageKind kind, TColumnIndex, bool&, int& index) {
    index = kind == ikOverlay ? -1 : 0;
  };
}

THitPositions hitAt(TBaseDataTree* t, int x, int y, PDataNode* node = nullptr, TColumnIndex* column = nullptr) {
  THitInfo hi;
  t->GetHitTestInfoAt(x, y, true, hi);
  if (node) *node = hi.HitNode;
  if (column) *column = hi.HitColumn;
  return hi.HitPositions;
}
}  // namespace

TEST(TreeGeometry, DisplayRectanglesFollowRowsAndIndentation) {
  TPaintedTree p;
  classic(p);
  PDataNode root = p.add(nullptr, "root");
  PDataNode child = p.add(root, "child");
  PDataNode hidden = p.add(p.add(nullptr, "shut"), "inside");
  p.Tree->SetExpanded(root, true);
  p.show();
  EXPECT_EQ(p.Tree->GetDisplayRect(root, NoColumn, false), (TRect{0, 0, p.Tree->ClientWidth(), 18}));
  EXPECT_EQ(p.Tree->GetDisplayRect(child, NoColumn, false), (TRect{0, 18, p.Tree->ClientWidth(), 36}));
  EXPECT_TRUE(p.Tree->GetDisplayRect(hidden, NoColumn, false).IsEmpty()) << "under a collapsed parent";
  // Text: margin 4 + root indent 18 + level 18 + two pictures 18 each.
  TRect text = p.Tree->GetDisplayRect(child, NoColumn, true);
  EXPECT_EQ(text.Left, 4 + 18 + 18 + 18 + 18);
  EXPECT_EQ(text.Width(), p.Tree->CachedWidth(child));
  p.Tree->SetOffsetY(-18);  // nothing to scroll: the rows fit
  EXPECT_EQ(p.Tree->OffsetY(), 0);
}

TEST(TreeGeometry, HitTestsAtEveryPartOfARow) {
  TPaintedTree p;
  classic(p);
  p.Tree->TreeOptions().SetMiscOptions(p.Tree->TreeOptions().MiscOptions() + TDTMiscOptions{toCheckSupport});
  PDataNode root = p.add(nullptr, "root");
  PDataNode child = p.add(root, "child");
  child->CheckType = ctCheckBox;
  p.Tree->SetExpanded(root, true);
  p.show();
  PDataNode n = nullptr;
  // Root row (level 0, show root): indentation 18, the button drawn 9 wide at 4.
  EXPECT_EQ(hitAt(p.Tree, 0, 5, &n), (THitPositions{hiOnItem, hiOnItemButton}));
  EXPECT_EQ(n, root);
  EXPECT_EQ(hitAt(p.Tree, 3, 5), (THitPositions{hiOnItem, hiOnItemButton}));
  EXPECT_EQ(hitAt(p.Tree, 4, 5), (THitPositions{hiOnItem, hiOnItemButton, hiOnItemButtonExact}));
  EXPECT_EQ(hitAt(p.Tree, 12, 5), (THitPositions{hiOnItem, hiOnItemButton, hiOnItemButtonExact}));
  EXPECT_EQ(hitAt(p.Tree, 13, 5), (THitPositions{hiOnItem, hiOnItemButton})) << "the exact zone is the drawn button";
  // Margin, then state picture (16 + 2), normal picture, then the label.
  EXPECT_EQ(hitAt(p.Tree, 18 + 3, 5), THitPositions{hiOnItem}) << "the margin is no part";
  EXPECT_EQ(hitAt(p.Tree, 18 + 4, 5), (THitPositions{hiOnItem, hiOnStateIcon}));
  EXPECT_EQ(hitAt(p.Tree, 18 + 4 + 17, 5), (THitPositions{hiOnItem, hiOnStateIcon}));
  EXPECT_EQ(hitAt(p.Tree, 18 + 4 + 18, 5), (THitPositions{hiOnItem, hiOnNormalIcon}));
  const int labelLeft = 18 + 4 + 36;
  const int width = p.Tree->CachedWidth(root);
  EXPECT_EQ(hitAt(p.Tree, labelLeft, 5), (THitPositions{hiOnItem, hiOnItemLabel}));
  EXPECT_EQ(hitAt(p.Tree, labelLeft + width - 1, 5), (THitPositions{hiOnItem, hiOnItemLabel}));
  EXPECT_EQ(hitAt(p.Tree, labelLeft + width, 5), (THitPositions{hiOnItem, hiOnItemRight}));
  // Child row: rows meet at 18; the check box sits before the pictures.
  EXPECT_EQ(hitAt(p.Tree, 39, 17, &n), (THitPositions{hiOnItem, hiOnStateIcon}));
  EXPECT_EQ(n, root);
  EXPECT_EQ(hitAt(p.Tree, 39, 18, &n), (THitPositions{hiOnItem, hiOnItemCheckbox}));
  EXPECT_EQ(n, child);
  EXPECT_EQ(hitAt(p.Tree, 35, 20), THitPositions{hiOnItem}) << "no button for a leaf";
  // Outside the rows.
  EXPECT_EQ(hitAt(p.Tree, -1, 5, &n), THitPositions{hiToLeft});
  EXPECT_EQ(n, nullptr);
  EXPECT_EQ(hitAt(p.Tree, 10, 100, &n), THitPositions{hiNowhere});
  EXPECT_EQ(hitAt(p.Tree, 10, -1), THitPositions{hiAbove});
}

TEST(TreeGeometry, RightToLeftMirrorsTheRow) {
  TPaintedTree p;
  classic(p);
  p.Tree->SetBiDiMode(bdRightToLeft);
  PDataNode root = p.add(nullptr, "root");
  p.add(root, "child");
  p.show();
  const int w = std::max(p.Tree->ClientWidth(), p.Tree->RangeX());
  EXPECT_TRUE(hitAt(p.Tree, w - 1, 5).Contains(hiOnItemButton));
  EXPECT_TRUE(hitAt(p.Tree, w - 5, 5).Contains(hiOnItemButtonExact));
  EXPECT_FALSE(hitAt(p.Tree, 3, 5).Contains(hiOnItemButton));
  EXPECT_TRUE(hitAt(p.Tree, w - 18 - 4 - 5, 5).Contains(hiOnStateIcon));
  EXPECT_TRUE(hitAt(p.Tree, w - 18 - 4 - 18 - 5, 5).Contains(hiOnNormalIcon));
  TRect text = p.Tree->GetDisplayRect(root, NoColumn, true);
  EXPECT_EQ(text.Right, w - 18 - 4 - 36) << "text ends where the pictures begin";
}

TEST(TreeGeometry, ColumnsSplitTheRowAtTheirEdges) {
  TPaintedTree p(300, 120);
  classic(p);
  TDataTreeColumns& c = p.Tree->Header().Columns();
  c.Add()->SetWidth(100);
  c.Add()->SetWidth(80);
  c.Add()->SetWidth(60);
  PDataNode root = p.add(nullptr, "root");
  p.show();
  TColumnIndex col = NoColumn;
  hitAt(p.Tree, 99, 3, nullptr, &col);
  EXPECT_EQ(col, 0);
  hitAt(p.Tree, 100, 3, nullptr, &col);
  EXPECT_EQ(col, 1);
  hitAt(p.Tree, 179, 3, nullptr, &col);
  EXPECT_EQ(col, 1);
  hitAt(p.Tree, 180, 3, nullptr, &col);
  EXPECT_EQ(col, 2);
  EXPECT_EQ(hitAt(p.Tree, 250, 3, nullptr, &col), THitPositions{hiNowhere}) << "right of the last column";
  // Non-main columns carry no indentation.
  TRect second = p.Tree->GetDisplayRect(root, 1, true);
  EXPECT_EQ(second.Left, 100 + 4 + 18 + 18);
  TRect mainText = p.Tree->GetDisplayRect(root, 0, true);
  EXPECT_EQ(mainText.Left, 4 + 18 + 36);
}

TEST(TreeGeometry, SpanningStopsAtTheFirstVisibleColumn) {
  TPaintedTree p(300, 120);
  classic(p);
  TDataTreeColumns& c = p.Tree->Header().Columns();
  c.Add()->SetWidth(100);
  c.Add()->SetWidth(100);
  p.Tree->TreeOptions().SetAutoOptions(p.Tree->TreeOptions().AutoOptions() + TDTAutoOptions{toAutoSpanColumns});
  p.add(nullptr, "");  // every cell empty: the leftward walk must end
  p.Tree->OnGetCellIsEmpty = [](TBaseDataTree*, PDataNode, TColumnIndex, bool& empty) { empty = true; };
  TColumnIndex col = InvalidColumn;
  THitPositions hit = hitAt(p.Tree, 150, 3, nullptr, &col);
  EXPECT_EQ(col, 0);
  EXPECT_TRUE(hit.Contains(hiOnItem));
}

TEST(TreeGeometry, OneRowInvalidatesOneRow) {
  TPaintedTree p;
  classic(p);
  PDataNode a = p.add(nullptr, "a");
  PDataNode b = p.add(nullptr, "b");
  p.show();
  p.pump();
  // On a real display the first exposure may still be on its way: start
  // from a window with nothing waiting.
  UpdateWindow(p.Tree->Handle());
  ValidateRect(p.Tree->Handle(), nullptr);
  TRect r = p.Tree->InvalidateNode(b);
  EXPECT_EQ(r, (TRect{0, 18, p.Tree->ClientWidth(), 36}));
  TRect pending;
  GetUpdateRect(p.Tree->Handle(), &pending, false);
  EXPECT_EQ(pending, r) << "only the row waits for a repaint";
  UpdateWindow(p.Tree->Handle());
  // Selecting repaints just the rows involved.
  p.Tree->SetSelected(a, true);
  GetUpdateRect(p.Tree->Handle(), &pending, false);
  EXPECT_EQ(pending, (TRect{0, 0, p.Tree->ClientWidth(), 18}));
}

TEST(TreeGeometry, ScrollBarsOfTreesTallerThanSixteenBits) {
  TPaintedTree p(200, 180);
  p.Tree->BeginUpdate();
  p.Tree->SetRootNodeCount(10000);
  p.Tree->EndUpdate();
  p.show();
  TScrollInfo info;
  info.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(p.Tree->Handle(), SB_VERT, &info));
  EXPECT_EQ(info.nMax, 10000 * 18 - 0);
  EXPECT_EQ(info.nPage, UINT(p.Tree->ClientHeight() + 1));
  p.Tree->SetOffsetY(-150000);
  info.fMask = SIF_POS;
  GetScrollInfo(p.Tree->Handle(), SB_VERT, &info);
  EXPECT_EQ(info.nPos, 150000);
  EXPECT_EQ(p.Tree->TopNode()->Index, 150000u / 18);
  p.Tree->SetOffsetY(INT_MIN);  // past the end: the last page
  EXPECT_EQ(p.Tree->OffsetY(), p.Tree->ClientHeight() - 10000 * 18);
  EXPECT_EQ(p.Tree->BottomNode()->Index, 9999u);
}

TEST(TreeGeometry, RowsWiderThanATreeWithoutColumnsGetAHorizontalScrollBar) {
  // The result list has no columns: a dictionary caption wider than the
  // list is reached by scrolling sideways, and a fresh list starts narrow.
  TPaintedTree p(120, 180);
  PDataNode root = p.add(nullptr, "Англо-русский словарь Мюллера, полная версия");
  p.add(root, "HOUSE");
  p.Tree->SetExpanded(root, true);
  p.show();
  p.grab();
  p.pump();
  // The rows are drawn one margin in: the range reaches their right end.
  const int wide = p.Tree->Margin() + p.Tree->GetMaxRightExtend();
  EXPECT_GT(wide, p.Tree->ClientWidth());
  EXPECT_EQ(p.Tree->RangeX(), wide);
  TScrollInfo info;
  info.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(p.Tree->Handle(), SB_HORZ, &info));
  EXPECT_EQ(info.nMax, wide);
  p.Tree->SetOffsetX(-10000);  // as far right as it goes
  EXPECT_EQ(p.Tree->OffsetX(), p.Tree->ClientWidth() - wide);

  p.Tree->Clear();
  p.add(nullptr, "CAT");
  p.grab();
  p.pump();
  EXPECT_EQ(p.Tree->OffsetX(), 0);
  EXPECT_LE(p.Tree->RangeX(), p.Tree->ClientWidth());
}

TEST(TreeGeometry, TreesTallerThanAnIntScrollWithoutWrapping) {
  TPaintedTree p(200, 180);
  p.Tree->SetDefaultNodeHeight(60000);
  p.Tree->BeginUpdate();
  p.Tree->SetRootNodeCount(40000);  // 2.4 * 10^9 pixels
  p.Tree->EndUpdate();
  p.show();
  EXPECT_EQ(p.Tree->RangeY64(), 40000LL * 60000);
  EXPECT_EQ(p.Tree->RangeY(), INT_MAX);
  p.Tree->SetOffsetY(INT_MIN);
  EXPECT_LT(p.Tree->OffsetY(), -2000000000);
  PDataNode top = p.Tree->TopNode();
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->Index, std::uint32_t((-std::int64_t(p.Tree->OffsetY())) / 60000))
      << "the row under the top edge, not one from a wrapped position";
  TScrollInfo info;
  info.fMask = SIF_POS;
  GetScrollInfo(p.Tree->Handle(), SB_VERT, &info);
  EXPECT_EQ(info.nPos, -p.Tree->OffsetY());
}

TEST(TreeGeometry, HorizontalRangeWithoutColumnsShrinksWhenTheWideRowsGo) {
  TPaintedTree p(120, 180);
  bool horizontalShown = false;
  p.Tree->OnShowScrollbar = [&](TBaseDataTree*, int bar, bool show) {
    if (bar == SB_HORZ) horizontalShown = show;
  };
  PDataNode root = p.add(nullptr, "DICT");
  p.add(root, "a caption far wider than the list can show");
  PDataNode second = p.add(nullptr, "another caption far wider than the list");
  p.Tree->SetExpanded(root, true);
  p.show();
  p.grab();
  p.pump();
  ASSERT_GT(p.Tree->RangeX(), p.Tree->ClientWidth());
  ASSERT_TRUE(horizontalShown);
  // Collapsing hides one wide row; the other still needs the bar.
  p.Tree->SetExpanded(root, false);
  p.grab();
  p.pump();
  const int stillWide = p.Tree->Margin() + p.Tree->GetMaxRightExtend();
  EXPECT_EQ(p.Tree->RangeX(), stillWide);
  EXPECT_TRUE(horizontalShown);
  // Deleting the last wide row leaves nothing to scroll sideways.
  p.Tree->SetOffsetX(-10000);
  p.Tree->DeleteNode(second);
  p.grab();
  p.pump();
  EXPECT_LE(p.Tree->RangeX(), p.Tree->ClientWidth());
  EXPECT_FALSE(horizontalShown);
  EXPECT_EQ(p.Tree->OffsetX(), 0);
  // Expanding again brings the bar back.
  p.Tree->SetExpanded(root, true);
  p.grab();
  p.pump();
  EXPECT_GT(p.Tree->RangeX(), p.Tree->ClientWidth());
  EXPECT_TRUE(horizontalShown);
}

TEST(TreeGeometry, TextRectangleIsWherePaintAndHitTestPutTheText) {
  for (bool showRoot : {false, true}) {
    for (bool fixedIndent : {false, true}) {
      TPaintedTree p;
      TDTPaintOptions po = p.Tree->TreeOptions().PaintOptions();
      po = showRoot ? po + TDTPaintOptions{toShowRoot} : po - TDTPaintOptions{toShowRoot};
      po = fixedIndent ? po + TDTPaintOptions{toFixedIndent} : po - TDTPaintOptions{toFixedIndent};
      p.Tree->TreeOptions().SetPaintOptions(po);
      PDataNode root = p.add(nullptr, "root");
      PDataNode child = p.add(p.add(root, "child"), "grandchild");
      p.Tree->FullExpand();
      p.show();
      p.grab();
      SCOPED_TRACE(testing::Message() << "show root " << showRoot << ", fixed indent " << fixedIndent);
      for (PDataNode n : {root, child}) {
        const TRect text = p.Tree->GetDisplayRect(n, NoColumn, true);
        bool drawn = false;
        for (const auto& shown : p.Shown)
          if (shown.Node == n) {
            drawn = true;
            EXPECT_EQ(shown.Rect.Left, text.Left + p.Tree->TextMargin()) << "drawn one text margin in";
          }
        EXPECT_TRUE(drawn);
        PDataNode hitNode = nullptr;
        EXPECT_TRUE(hitAt(p.Tree, text.Left + 1, (text.Top + text.Bottom) / 2, &hitNode).Contains(hiOnItemLabel));
        EXPECT_FALSE(hitAt(p.Tree, text.Left - 1, (text.Top + text.Bottom) / 2).Contains(hiOnItemLabel));
        EXPECT_EQ(hitNode, n);
      }
    }
  }
}
