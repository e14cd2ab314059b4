// The tree painted for real on the offscreen platform: what each row shows
// (as a text dump), a few chosen pixels, and pictures a person can open.
#include <filesystem>

#include "platform/graphics/canvas.h"
#include "platform/gui/windows.h"
#include "tests/tree/tree_paint_util.h"

using namespace painttest;

namespace {
// The program's result tree: dictionary roots with headword children,
// state pictures 0-3 by kind, lines and buttons, no columns.
void resultTree(TPaintedTree& p) {
  p.Tree->SetStateImages(makeImages(p.Form, {clRed, clLime, clBlue, clYellow}));
  p.Tree->OnGetImageIndex = [](TBaseDataTree* t, PDataNode n, TDTImageKind, TColumnIndex, bool&, int& index) {
    index = rowOf(t, n)->Kind;
  };
  p.Tree->OnExpanded = [](TBaseDataTree* t, PDataNode n) { rowOf(t, n)->Kind = 0; };
  p.Tree->OnCollapsed = [](TBaseDataTree* t, PDataNode n) { rowOf(t, n)->Kind = 1; };
}

void classic(TPaintedTree& p) {
  p.Tree->TreeOptions().SetPaintOptions(p.Tree->TreeOptions().PaintOptions() - TDTPaintOptions{toThemeAware});
}

// One line per painted cell: text, column, level, row top and text box.
std::string dump(TPaintedTree& p) {
  std::ostringstream out;
  for (const auto& s : p.Shown) {
    TRect row = p.Tree->GetDisplayRect(s.Node, NoColumn, false);
    out << UTF16ToUTF8(s.Text) << " col=" << s.Column << " level=" << p.Tree->GetNodeLevel(s.Node)
        << " top=" << row.Top << " x=" << s.Rect.Left << ".." << s.Rect.Right << "\n";
  }
  return out.str();
}

// Beside the test executable, in the build folder, never in the sources.
std::string picturesFolder() {
  std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tree-pictures";
  std::filesystem::create_directories(folder);
  return folder.string() + "/";
}
}  // namespace

TEST(TreePaint, ResultTreeRowsAsTheProgramShowsThem) {
  TPaintedTree p;
  resultTree(p);
  PDataNode root = p.add(nullptr, "Mueller", 1);
  p.add(root, "apple", 2);
  p.add(root, "apricot", 2);
  p.add(nullptr, "Ожегов", 1);
  p.Tree->SetExpanded(root, true);
  p.show();
  p.grab();
  // Text starts after margin 4, the root step 18 and level steps, and the
  // 16-pixel state picture + 2; the text margin adds 4 more.
  EXPECT_EQ(dump(p),
            "Mueller col=-1 level=0 top=0 x=44..236\n"
            "apple col=-1 level=1 top=18 x=62..236\n"
            "apricot col=-1 level=1 top=36 x=62..236\n"
            "Ожегов col=-1 level=0 top=54 x=44..236\n");
  EXPECT_EQ(rowOf(p.Tree, root)->Kind, 0) << "expanding shows the open picture";
  p.Tree->SetExpanded(root, false);
  p.grab();
  EXPECT_EQ(rowOf(p.Tree, root)->Kind, 1);
  EXPECT_EQ(p.Shown.size(), 2u);
}

TEST(TreePaint, LinesAndButtonsSitOnTheirPixels) {
  TPaintedTree p;
  classic(p);
  resultTree(p);
  PDataNode a = p.add(nullptr, "a", 0);
  p.add(a, "a1", 2);
  p.add(a, "a2", 2);
  PDataNode b = p.add(nullptr, "b", 1);
  p.add(b, "b1", 2);
  p.Tree->SetExpanded(a, true);
  p.show();
  TGrab g = p.grab();
  const std::uint32_t line = rgbOf(clBtnShadow), white = 0xFFFFFF, black = 0;
  // Button of "a": 9 x 9 at x 4, y = VAlign (1 + 8) - 4 = 5; a minus sign.
  EXPECT_EQ(g.at(4, 5), line);
  EXPECT_EQ(g.at(12, 13), line);
  EXPECT_EQ(g.at(8, 9), black) << "minus bar";
  EXPECT_EQ(g.at(8, 7), white) << "no plus bar on an open node";
  // "b" is shut: a plus.
  EXPECT_EQ(g.at(8, 54 + 7), black) << "plus bar";
  // The dotted vertical of the top level runs at x 9 from the middle of
  // "a" to the middle of "b", one pixel on, one off, across row edges.
  int on = 0, switches = 0;
  std::uint32_t last = g.at(9, 16);
  for (int y = 16; y < 54 + 4; ++y) {
    std::uint32_t c = g.at(9, y);
    EXPECT_TRUE(c == line || c == white) << "y " << y;
    on += c == line;
    switches += c != last;
    last = c;
  }
  EXPECT_EQ(switches, (54 + 4 - 16) - 1) << "the pattern never breaks at a row edge";
  EXPECT_GT(on, 15);
  // The child's connector: horizontal from x 27 to 36 at its middle (row 18 + 9).
  EXPECT_TRUE(g.at(28, 27) == line || g.at(29, 27) == line);
}

TEST(TreePaint, ShadedButtonsAreGradientSquaresWithLineColouredBars) {
  TPaintedTree p;
  classic(p);
  PDataNode a = p.add(nullptr, "a");
  p.add(a, "a1");
  PDataNode b = p.add(nullptr, "b");
  p.add(b, "b1");
  p.Tree->SetExpanded(a, true);
  p.Tree->SetButtonFillMode(fmShaded);
  p.show();
  TGrab g = p.grab();
  const std::uint32_t line = rgbOf(p.Tree->Colors().TreeLineColor());
  auto brightness = [](std::uint32_t c) { return int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF); };
  // The open node's 9 x 9 button at (4, 5): framed in the line colour, the
  // minus bar in the line colour too and no plus bar.
  ASSERT_EQ(p.Tree->MinusBitmap()->Width(), 9);
  ASSERT_EQ(p.Tree->MinusBitmap()->Height(), 9);
  EXPECT_EQ(g.at(4, 5), line);
  EXPECT_EQ(g.at(12, 13), line);
  EXPECT_EQ(g.at(8, 9), line) << "minus bar";
  EXPECT_NE(g.at(8, 7), line) << "no plus bar on an open node";
  // Filled from white at the top, darker row by row, down to a grey.
  EXPECT_EQ(g.at(6, 6), 0xFFFFFFu);
  int last = brightness(g.at(6, 6));
  for (int y = 7; y <= 12; ++y) {
    if (y == 9) continue;  // the bar
    const int now = brightness(g.at(6, y));
    EXPECT_LE(now, last) << "y " << y;
    last = now;
  }
  EXPECT_LT(last, brightness(0xFFFFFF) - 60) << "the bottom is clearly shaded";
  // The shut node shows the plus, its upright bar in the line colour.
  const int top = p.Tree->GetDisplayRect(b, NoColumn, false).Top;
  EXPECT_EQ(g.at(8, top + 7), line) << "plus bar";
  EXPECT_EQ(g.at(8, top + 9), line);
  // Other fill modes keep their flat fill.
  p.Tree->SetButtonFillMode(fmWindowColor);
  TGrab flat = p.grab();
  EXPECT_EQ(flat.at(6, 12), flat.at(6, 6));
}

TEST(TreePaint, SelectionAndFocusShowWithoutColumns) {
  TPaintedTree p;
  classic(p);
  PDataNode a = p.add(nullptr, "alpha");
  PDataNode b = p.add(nullptr, "beta");
  p.show();
  InjectFocus(p.Tree->Handle());
  p.pump();
  p.Tree->SetFocusedNode(b);
  p.Tree->SetSelected(b, true);
  TGrab g = p.grab();
  TRect text = p.Tree->GetDisplayRect(b, NoColumn, true);
  const std::uint32_t highlight = rgbOf(clHighlight);
  EXPECT_EQ(g.at(text.Left + 1, text.Top + 2), highlight) << "selected text of a column-less tree";
  EXPECT_EQ(g.at(text.Left + 1, 2), 0xFFFFFFu) << "the other row is not selected";
  (void)a;
  // Hidden while unfocused with toHideSelection.
  p.Tree->TreeOptions().SetPaintOptions(p.Tree->TreeOptions().PaintOptions() + TDTPaintOptions{toHideSelection});
  InjectFocus(p.Form->Handle());
  p.pump();
  g = p.grab();
  EXPECT_NE(g.at(text.Left + 1, text.Top + 2), highlight);
}

TEST(TreePaint, CheckBoxesShowTheirStates) {
  TPaintedTree p;
  classic(p);
  p.Tree->TreeOptions().SetMiscOptions(p.Tree->TreeOptions().MiscOptions() + TDTMiscOptions{toCheckSupport});
  p.Tree->TreeOptions().SetPaintOptions(p.Tree->TreeOptions().PaintOptions() - TDTPaintOptions{toShowRoot});
  PDataNode on = p.add(nullptr, "on");
  PDataNode off = p.add(nullptr, "off");
  on->CheckType = ctCheckBox;
  off->CheckType = ctCheckBox;
  on->CheckState = csCheckedNormal;
  p.show();
  TGrab g = p.grab();
  // The box sits after the margin: 16 x 16 at x 4, centred in the 18 rows.
  int marked = 0, plain = 0;
  for (int y = 4; y < 13; ++y)
    for (int x = 8; x < 16; ++x) {
      marked += g.at(x, y) != 0xFFFFFF;
      plain += g.at(x, 18 + y) != 0xFFFFFF;
    }
  EXPECT_GT(marked, 8) << "a checked box carries its mark";
  EXPECT_EQ(plain, 0) << "an unchecked box is empty inside";
  EXPECT_EQ(dump(p), "on col=-1 level=0 top=0 x=26..236\noff col=-1 level=0 top=18 x=26..236\n");
}

TEST(TreePaint, ColumnsShortenTheirTextWithAnEllipsis) {
  TPaintedTree p(320, 120);
  classic(p);
  TDataTreeColumns& c = p.Tree->Header().Columns();
  c.Add()->SetWidth(120);
  c.Add()->SetWidth(70);
  c.Add()->SetWidth(90);
  c[2]->SetAlignment(taRightJustify);
  p.Tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex col, TDTTextType, String& text) {
    text = col == 0 ? rowOf(t, n)->Caption : u"a rather long cell text";
  };
  p.add(nullptr, "word");
  p.show();
  p.grab();
  ASSERT_EQ(p.Shown.size(), 3u);
  EXPECT_EQ(p.Shown[0].Text, u"word");
  for (int i = 1; i < 3; ++i) {
    const auto& s = p.Shown[std::size_t(i)];
    ASSERT_GE(s.Text.size(), 3u);
    EXPECT_EQ(s.Text.substr(s.Text.size() - 3), u"...");
    EXPECT_LE(p.Tree->Canvas()->TextWidth(s.Text), s.Rect.Width()) << "the shortened text fits its cell";
  }
  EXPECT_EQ(p.Shown[1].Rect.Left, 120 + 4 + 4);
  EXPECT_EQ(p.Shown[2].Rect.Right, 120 + 70 + 90 - 4);
}

TEST(TreePaint, RightToLeftDrawsTheButtonOnTheRight) {
  TPaintedTree p;
  classic(p);
  p.Tree->SetBiDiMode(bdRightToLeft);
  PDataNode a = p.add(nullptr, "a");
  p.add(a, "a1");
  p.show();
  TGrab g = p.grab();
  const int w = p.Tree->ClientWidth();
  const std::uint32_t line = rgbOf(clBtnShadow);
  EXPECT_EQ(g.at(w - 4 - 1, 5), line) << "button frame mirrored";
  EXPECT_EQ(g.at(4, 5), 0xFFFFFFu);
}

TEST(TreePaint, RowsWithoutHeightAreSkipped) {
  TPaintedTree p;
  PDataNode a = p.add(nullptr, "a");
  PDataNode b = p.add(nullptr, "b");
  PDataNode c = p.add(nullptr, "c");
  p.Tree->SetNodeHeight(b, 0);
  p.show();
  p.grab();
  ASSERT_EQ(p.Shown.size(), 2u);
  EXPECT_EQ(p.Shown[0].Node, a);
  EXPECT_EQ(p.Shown[1].Node, c);
  EXPECT_EQ(p.Tree->GetDisplayRect(c, NoColumn, false).Top, 18);
}

TEST(TreePaint, AZeroSizeBackgroundIsNoBackground) {
  TPaintedTree p;
  TBitmap empty(0, 12);
  TPicture picture;
  picture.SetGraphic(&empty);
  p.Tree->SetBackground(picture);
  p.Tree->TreeOptions().SetPaintOptions(p.Tree->TreeOptions().PaintOptions() + TDTPaintOptions{toShowBackground});
  p.add(nullptr, "a");
  p.show();
  TGrab g = p.grab();
  EXPECT_EQ(g.at(p.Tree->ClientWidth() - 2, 100), 0xFFFFFFu) << "the tree's colour fills the space";
  // A real picture tiles the space below the rows.
  TBitmap tile(3, 3);
  tile.Canvas()->Brush()->SetColor(clRed);
  tile.Canvas()->FillRect({0, 0, 3, 3});
  picture.SetGraphic(&tile);
  p.Tree->SetBackground(picture);
  g = p.grab();
  EXPECT_EQ(g.at(p.Tree->ClientWidth() - 2, 100), rgbOf(clRed));
}

TEST(TreePaint, DeletingNodesWhilePaintingWaitsForThePaintToEnd) {
  TPaintedTree p;
  PDataNode a = p.add(nullptr, "a");
  p.add(nullptr, "b");
  p.show();
  int after = 0;
  std::uint32_t countAfterPaint = 0;
  p.Tree->OnAfterPaint = [&](TBaseDataTree* t, TCanvas*) {
    ++after;
    countAfterPaint = t->RootNodeCount();
  };
  p.Tree->OnBeforeItemPaint = [&](TBaseDataTree* t, TCanvas*, PDataNode n, const TRect&, bool&) {
    if (n == a) t->DeleteNode(n);
  };
  TBitmap target(200, 100);
  EXPECT_NO_THROW(p.Tree->RenderTree(target.Canvas(), {0, 0, 200, 100}, {0, 0}, {ptoSelection}));
  EXPECT_FALSE(p.Tree->TreeStates().Contains(tsPainting)) << "the painting state is left";
  EXPECT_EQ(after, 1);
  EXPECT_EQ(countAfterPaint, 2u) << "nothing was deleted while painting";
  p.Tree->OnBeforeItemPaint = nullptr;
  Application->ProcessMessages();
  EXPECT_EQ(p.Tree->PendingDeletionCount(), 0u);
  EXPECT_EQ(p.Tree->RootNodeCount(), 1u) << "the deletion is done once the paint is over";
}

TEST(TreePaint, MultiLineRowsAreMeasuredWhereTheyAreDrawn) {
  TPaintedTree p(160, 200);
  PDataNode n = p.add(nullptr, "one two three four five six seven eight nine ten");
  n->States.Include(vsMultiline);
  p.Tree->SetNodeHeight(n, 80);
  p.show();
  p.grab();
  ASSERT_EQ(p.Shown.size(), 1u);
  TRect drawn = p.Shown[0].Rect;
  TRect calc{0, 0, drawn.Width(), 0};
  p.Tree->Canvas()->Font()->Assign(*p.Tree->Font());
  DrawTextW(p.Tree->Canvas()->Handle(), p.Shown[0].Text, &calc, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  int measured = p.Tree->MeasureTextHeight(p.Tree->Canvas(), n, NoColumn, u"");
  EXPECT_EQ(measured, calc.Height()) << "measured in the rectangle the text is drawn in";
  EXPECT_GT(measured, 2 * 14) << "the text wraps at the row's width";
}

TEST(TreePaint, NothingIsPaintedInsideAnUpdateBracket) {
  TPaintedTree p;
  p.add(nullptr, "a");
  p.show();
  int paints = 0;
  p.Tree->OnBeforePaint = [&](TBaseDataTree*, TCanvas*) { ++paints; };
  p.Tree->BeginUpdate();
  p.add(nullptr, "b");
  p.Tree->Invalidate();
  for (int i = 0; i < 20; ++i) Application->ProcessMessages();
  UpdateWindow(p.Tree->Handle());
  EXPECT_EQ(paints, 0);
  p.Tree->EndUpdate();
  UpdateWindow(p.Tree->Handle());
  EXPECT_GE(paints, 1);
}

TEST(TreePaint, PicturesAPersonCanOpen) {
  const std::string folder = picturesFolder();
  {
    TPaintedTree p(260, 220);
    resultTree(p);
    PDataNode mueller = p.add(nullptr, "Mueller7", 1);
    for (const char* w : {"apple", "apricot", "April", "apron"}) p.add(mueller, w, 2);
    PDataNode ozhegov = p.add(nullptr, "Ожегов", 1);
    for (const char* w : {"яблоко", "яблоня"}) p.add(ozhegov, w, 2);
    p.add(nullptr, "ничего не найдено", 3);
    p.Tree->SetExpanded(mueller, true);
    p.show();
    InjectFocus(p.Tree->Handle());
    p.pump();
    p.Tree->SetFocusedNode(mueller->FirstChild);
    p.Tree->SetSelected(mueller->FirstChild, true);
    p.grab();
    EXPECT_TRUE(SaveWindowImage(p.Tree, UTF8ToUTF16(folder + "result-tree.png")));
  }
  {
    TPaintedTree p(260, 120);
    p.Tree->TreeOptions().SetMiscOptions(p.Tree->TreeOptions().MiscOptions() + TDTMiscOptions{toCheckSupport});
    p.Tree->TreeOptions().SetPaintOptions(p.Tree->TreeOptions().PaintOptions() -
                                          TDTPaintOptions{toShowRoot, toShowTreeLines, toShowButtons});
    p.Tree->SetImages(makeImages(p.Form, {clTeal}));
    p.Tree->OnGetImageIndex = [](TBaseDataTree*, PDataNode, TDTImageKind, TColumnIndex, bool&, int& i) { i = 0; };
    const char* names[] = {"Mueller7", "Ожегов", "Ушаков", "Даль"};
    for (int i = 0; i < 4; ++i) {
      PDataNode n = p.add(nullptr, names[i]);
      n->CheckType = ctCheckBox;
      n->CheckState = i % 2 ? csUncheckedNormal : csCheckedNormal;
    }
    p.show();
    p.grab();
    EXPECT_TRUE(SaveWindowImage(p.Tree, UTF8ToUTF16(folder + "manager-list.png")));
  }
  {
    TPaintedTree p(320, 140);
    TDTHeader& h = p.Tree->Header();
    const char* captions[] = {"Dictionary", "Words", "State"};
    for (int i = 0; i < 3; ++i) {
      TDataTreeColumn* c = h.Columns().Add();
      c->SetWidth(i == 0 ? 130 : i == 1 ? 100 : 90);
      c->SetText(UTF8ToUTF16(captions[i]));
    }
    h.SetSortColumn(0);
    h.SetOptions(h.Options() + TDTHeaderOptions{hoVisible});
    p.Tree->TreeOptions().SetPaintOptions(p.Tree->TreeOptions().PaintOptions() +
                                          TDTPaintOptions{toShowHorzGridLines, toShowVertGridLines});
    p.Tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex col, TDTTextType, String& text) {
      text = col == 0 ? rowOf(t, n)->Caption : col == 1 ? u"12 345 words" : u"downloading a long file";
    };
    PDataNode r = p.add(nullptr, "dictionaries");
    p.add(r, "Mueller7");
    p.add(r, "Ожегов");
    p.Tree->SetExpanded(r, true);
    p.show();
    p.grab();
    EXPECT_TRUE(SaveWindowImage(p.Tree, UTF8ToUTF16(folder + "three-columns.png")));
  }
  EXPECT_TRUE(std::filesystem::exists(folder + "result-tree.png"));
}

TEST(TreePaint, AutoSortOrdersAddedRowsByTheSortColumn) {
  TPaintedTree p;
  p.Tree->OnCompareNodes = [](TBaseDataTree* t, PDataNode a, PDataNode b, TColumnIndex, int& result) {
    result = rowOf(t, a)->Caption.compare(rowOf(t, b)->Caption);
  };
  p.Tree->Header().Columns().Add();
  p.Tree->Header().SetSortColumn(0);
  p.Tree->TreeOptions().SetAutoOptions(p.Tree->TreeOptions().AutoOptions() + TDTAutoOptions{toAutoSort});
  p.Tree->BeginUpdate();
  for (const char* w : {"pear", "apple", "fig"}) p.add(nullptr, w);
  p.Tree->EndUpdate();
  p.add(nullptr, "banana");  // rows are filled in after adding: sort again
  p.Tree->SortTree(0, sdAscending);
  std::vector<String> order;
  for (PDataNode n = p.Tree->GetFirst(); n; n = p.Tree->GetNextSibling(n)) order.push_back(rowOf(p.Tree, n)->Caption);
  EXPECT_EQ(order, (std::vector<String>{u"apple", u"banana", u"fig", u"pear"}));
  checkInvariants(*p.Tree);
  p.Tree->Header().SetSortDirection(sdDescending);
  order.clear();
  for (PDataNode n = p.Tree->GetFirst(); n; n = p.Tree->GetNextSibling(n)) order.push_back(rowOf(p.Tree, n)->Caption);
  EXPECT_EQ(order, (std::vector<String>{u"pear", u"fig", u"banana", u"apple"}));
}

TEST(TreePaint, ThemedButtonsAndChecksComeFromTheDesktopStyle) {
  TPaintedTree p;
  ASSERT_TRUE(p.Tree->TreeOptions().PaintOptions().Contains(toThemeAware)) << "themed by default";
  p.Tree->TreeOptions().SetMiscOptions(p.Tree->TreeOptions().MiscOptions() + TDTMiscOptions{toCheckSupport});
  PDataNode a = p.add(nullptr, "a");
  p.add(a, "a1");
  a->CheckType = ctCheckBox;
  a->CheckState = csCheckedNormal;
  p.show();
  ASSERT_TRUE(p.Tree->TreeStates().Contains(tsUseThemes));
  TGrab themed = p.grab();
  int inked = 0;
  for (int y = 4; y < 14; ++y)
    for (int x = 4; x < 13; ++x) inked += themed.at(x, y) != 0xFFFFFF;
  EXPECT_GT(inked, 3) << "a glyph is drawn where the button goes";
  int boxInk = 0;
  for (int y = 2; y < 16; ++y)
    for (int x = 22; x < 38; ++x) boxInk += themed.at(x, y) != 0xFFFFFF;
  EXPECT_GT(boxInk, 10) << "the style's check box";
  p.Tree->TreeOptions().SetPaintOptions(p.Tree->TreeOptions().PaintOptions() - TDTPaintOptions{toThemeAware});
  EXPECT_FALSE(p.Tree->TreeStates().Contains(tsUseThemes));
  TGrab classicLook = p.grab();
  EXPECT_EQ(classicLook.at(4, 5), rgbOf(clBtnShadow)) << "the classic square button";
}

TEST(TreePaint, FixedColumnsStayWhileTheRestScrolls) {
  TPaintedTree p(200, 100);
  classic(p);
  TDataTreeColumns& c = p.Tree->Header().Columns();
  c.Add()->SetWidth(80);
  c.Add()->SetWidth(150);
  c.Add()->SetWidth(150);
  c[0]->SetOptions(c[0]->Options() + TDTColumnOptions{coFixed});
  p.Tree->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex col, TDTTextType, String& text) {
    text = col == 0 ? u"fixed" : col == 1 ? u"second" : u"third";
  };
  p.add(nullptr, "x");
  p.show();
  p.Tree->SetOffsetX(-120);
  EXPECT_EQ(p.Tree->OffsetX(), -120);
  p.grab();
  std::map<String, int> left;
  for (const auto& s : p.Shown) left[s.Text] = s.Rect.Left;
  ASSERT_TRUE(left.count(u"fixed"));
  EXPECT_EQ(left[u"fixed"], 4 + 18 + 4) << "the fixed column does not move";
  ASSERT_TRUE(left.count(u"third"));
  EXPECT_EQ(left[u"third"], 80 + 150 + 4 + 4) << "tree coordinates; the window origin shifts it";
  THitInfo hi;
  p.Tree->GetHitTestInfoAt(10, 5, true, hi);
  EXPECT_EQ(hi.HitColumn, 0) << "a point over the fixed column hits it even when scrolled";
  p.Tree->GetHitTestInfoAt(90, 5, true, hi);
  EXPECT_EQ(hi.HitColumn, 1);
  p.Tree->GetHitTestInfoAt(120, 5, true, hi);
  EXPECT_EQ(hi.HitColumn, 2);
}

// The header sits in the frame above the rows: the client area starts below
// it, it is painted with its columns and sort glyph, and clicks on it reach
// the column under the mouse.
TEST(TreePaint, AVisibleHeaderIsPaintedAboveTheRowsAndTakesClicks) {
  TPaintedTree p(320, 140);
  TDTHeader& h = p.Tree->Header();
  const char* captions[] = {"Dictionary", "Words", "State"};
  int i = 0;
  for (int w : {130, 100, 90}) {
    TDataTreeColumn* c = h.Columns().Add();
    c->SetWidth(w);
    c->SetText(UTF8ToUTF16(captions[i++]));
  }
  h.SetHeight(20);
  h.SetSortColumn(1);
  p.add(nullptr, "Mueller7");
  p.show();
  ASSERT_EQ(p.Tree->ClientHeight(), 140);
  h.SetOptions(h.Options() + TDTHeaderOptions{hoVisible, hoShowSortGlyphs});
  p.pump();
  EXPECT_EQ(p.Tree->ClientHeight(), 120);
  TPoint origin = p.Tree->ClientToScreen({0, 0});
  TRect window;
  GetWindowRect(p.Tree->Handle(), &window);
  EXPECT_EQ(origin.y - window.Top, 20);

  TGrab g = p.grab();
  ASSERT_EQ(g.W, 320);
  ASSERT_EQ(g.H, 140);
  // Column boundaries: the cells' right edges are darker than the faces beside them.
  auto luminance = [&](const TGrab& grab, int x, int y) {
    const std::uint32_t c = grab.at(x, y);
    return int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF);
  };
  for (int edge : {129, 229, 319}) {
    EXPECT_LT(luminance(g, edge, 3), luminance(g, edge - 1, 3) - 30) << "edge at x=" << edge;
    if (edge < 319) {
      EXPECT_LT(luminance(g, edge, 3), luminance(g, edge + 1, 3) - 30) << "edge at x=" << edge;
    }
  }
  EXPECT_NE(g.at(100, 3), 0xFFFFFFu) << "the header face, not the tree's background";
  EXPECT_EQ(g.at(300, 20), 0xFFFFFFu) << "the rows start right below the header";
  // The sort glyph: without it only pixels of the sort column change.
  h.SetOptions(h.Options() - TDTHeaderOptions{hoShowSortGlyphs});
  TGrab plain = p.grab();
  int inSortColumn = 0, elsewhere = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 320; ++x)
      if (g.at(x, y) != plain.at(x, y)) ++(x >= 130 && x < 229 ? inSortColumn : elsewhere);
  EXPECT_GT(inSortColumn, 10);
  EXPECT_EQ(elsewhere, 0);
  for (int y = 20; y < 140; ++y)
    for (int x = 0; x < 320; ++x) ASSERT_EQ(g.at(x, y), plain.at(x, y)) << x << "," << y;

  std::vector<TColumnIndex> clicked;
  p.Tree->OnHeaderClick = [&](TDTHeader*, TColumnIndex c, TMouseButton, TShiftState, int, int) {
    clicked.push_back(c);
  };
  for (int x : {150, 20}) {
    InjectMouse(p.Tree->Handle(), imDown, mbLeft, {x, -10}, {});
    InjectMouse(p.Tree->Handle(), imUp, mbLeft, {x, -10}, {});
    p.pump();
  }
  EXPECT_EQ(clicked, (std::vector<TColumnIndex>{1, 0}));

  h.SetOptions(h.Options() - TDTHeaderOptions{hoVisible});
  p.pump();
  EXPECT_EQ(p.Tree->ClientHeight(), 140);
}
