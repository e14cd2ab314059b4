// The tree object's defaults and settings, its row pieces (line images,
// vertical alignment) and the string tree's text rules.
#include "tests/tree/tree_paint_util.h"

using namespace painttest;

namespace {
class TRowTree : public TDataStringTree {
public:
  using TDataStringTree::TDataStringTree;
  std::vector<TDTLineType> lines(PDataNode n, int* selected = nullptr) {
    std::vector<TDTLineType> image;
    int s = DetermineLineImageAndSelectLevel(n, image);
    if (selected) *selected = s;
    return image;
  }
};
using L = std::vector<TDTLineType>;
}  // namespace

TEST(TreeObject, NewTreesHaveTheirDefaults) {
  TDataStringTree t(nullptr);
  EXPECT_EQ(t.DefaultNodeHeight(), 18u);
  EXPECT_EQ(t.Indent(), 18u);
  EXPECT_EQ(t.NodeDataSize(), -1);
  EXPECT_EQ(t.RootNodeCount(), 0u);
  EXPECT_EQ(t.AnimationDuration(), 200u);
  EXPECT_EQ(t.DefaultPasteMode(), amAddChildLast);
  EXPECT_EQ(t.Margin(), 4);
  EXPECT_EQ(t.TextMargin(), 4);
  EXPECT_EQ(t.SelectionBlendFactor(), 128);
  EXPECT_EQ(t.CheckImageKind(), ckSystemDefault);
  EXPECT_NE(t.CheckImages(), nullptr);
  EXPECT_EQ(t.FocusedColumn(), NoColumn);
  EXPECT_EQ(t.Width(), 200);
  EXPECT_EQ(t.Height(), 100);
  EXPECT_TRUE(t.TabStop());
  EXPECT_EQ(t.TreeOptions().PaintOptions().RawBits(), 7008u);
  EXPECT_EQ(t.TreeOptions().AutoOptions().RawBits(), 329u);
  EXPECT_EQ(t.TreeOptions().MiscOptions().RawBits(), 16809u);
  EXPECT_EQ(t.TreeOptions().StringOptions().RawBits(), 5u);
  EXPECT_EQ(t.Colors().TreeLineColor(), clBtnShadow);
  EXPECT_EQ(t.Colors().HotColor(), clWindowText);
  EXPECT_EQ(t.ScrollBarOptions().ScrollBars(), ssBoth);
  EXPECT_EQ(t.ScrollBarOptions().VerticalIncrement(), 20);
  EXPECT_EQ(t.Header().Height(), 17);
  EXPECT_EQ(t.Header().Options().RawBits(), 522u);
  EXPECT_EQ(t.DefaultText(), u"Node");
}

TEST(TreeObject, SettingsReactAsTheyShould) {
  TDataStringTree t(nullptr);
  t.SetAnimationDuration(0);
  EXPECT_FALSE(t.TreeOptions().AnimationOptions().Contains(toAnimatedToggle));
  t.SetAnimationDuration(200);
  EXPECT_TRUE(t.TreeOptions().AnimationOptions().Contains(toAnimatedToggle));
  t.SetDefaultNodeHeight(0);
  EXPECT_EQ(t.DefaultNodeHeight(), 18u);
  EXPECT_THROW(t.ScrollBarOptions().SetScrollBarStyle(sbmFlat), EAssertionFailed);
  EXPECT_EQ(t.ScrollBarOptions().ScrollBarStyle(), sbmRegular);
  t.ScrollBarOptions().SetVerticalIncrement(0);
  EXPECT_EQ(t.ScrollBarOptions().VerticalIncrement(), 1);
  // Selecting a second node without multi-selection leaves only it.
  t.SetRootNodeCount(2);
  PDataNode a = t.GetFirst();
  PDataNode b = t.GetNext(a);
  t.SetSelected(a, true);
  t.SetSelected(b, true);
  EXPECT_EQ(t.SelectedCount(), 1u);
  EXPECT_TRUE(t.Selected(b));
  // Focusing the focused node again reports nothing.
  int focusReports = 0;
  t.OnFocusChanged = [&](TBaseDataTree*, PDataNode, TColumnIndex) { ++focusReports; };
  t.SetFocusedNode(a);
  t.SetFocusedNode(a);
  EXPECT_EQ(focusReports, 1);
  // Switching multi-selection clears the selection.
  t.TreeOptions().SetSelectionOptions({toMultiSelect});
  EXPECT_EQ(t.SelectedCount(), 0u);
}

TEST(TreeObject, AssignCopiesSettingsButNotIntoAReadOnlyTree) {
  TDataStringTree source(nullptr), target(nullptr), locked(nullptr);
  source.SetIndent(25);
  source.SetMargin(7);
  source.SetSelectionCurveRadius(3);
  source.Colors().SetTreeLineColor(clRed);
  source.Header().Columns().Add()->SetWidth(77);
  target.Assign(source);
  EXPECT_EQ(target.Indent(), 25u);
  EXPECT_EQ(target.Margin(), 7);
  EXPECT_EQ(target.SelectionCurveRadius(), 3u);
  EXPECT_EQ(target.Colors().TreeLineColor(), clRed);
  ASSERT_EQ(target.Header().Columns().Count(), 1);
  EXPECT_EQ(target.Header().Columns()[0]->Width(), 77);
  locked.TreeOptions().SetMiscOptions(locked.TreeOptions().MiscOptions() + TDTMiscOptions{toReadOnly});
  locked.Assign(source);
  EXPECT_EQ(locked.Indent(), 18u);
}

TEST(TreeObject, LineImagesOfRows) {
  TRowTree t(nullptr);
  t.SetRootNodeCount(1);
  PDataNode only = t.GetFirst();
  EXPECT_EQ(t.lines(only), L{ltRight}) << "a single top-level row";
  t.SetRootNodeCount(3);
  PDataNode first = t.GetFirst();
  PDataNode middle = t.GetNextSibling(first);
  PDataNode last = t.GetNextSibling(middle);
  EXPECT_EQ(t.lines(first), L{ltBottomRight});
  EXPECT_EQ(t.lines(middle), L{ltTopDownRight});
  EXPECT_EQ(t.lines(last), L{ltTopRight});
  t.SetChildCount(middle, 2);
  t.SetExpanded(middle, true);
  t.SetSelected(middle, true);
  int selected = 0;
  EXPECT_EQ(t.lines(middle->FirstChild, &selected), (L{ltTopDown, ltTopDownRight}));
  EXPECT_EQ(selected, 1) << "one selected ancestor";
  EXPECT_EQ(t.lines(middle->LastChild), (L{ltTopDown, ltTopRight}));
  t.SetChildCount(last, 1);
  EXPECT_EQ(t.lines(last->FirstChild), (L{ltNone, ltTopRight})) << "no line past the last top-level row";
  // Without root lines a top-level row has no steps, also with children above.
  t.TreeOptions().SetPaintOptions(t.TreeOptions().PaintOptions() - TDTPaintOptions{toShowRoot});
  EXPECT_TRUE(t.lines(first).empty());
  t.TreeOptions().SetPaintOptions(t.TreeOptions().PaintOptions() + TDTPaintOptions{toChildrenAbove});
  EXPECT_TRUE(t.lines(first).empty());
  EXPECT_EQ(t.lines(middle->FirstChild), L{ltBottomRight});
  EXPECT_EQ(t.lines(middle->LastChild), L{ltTopDownRight});
  // Without tree lines every step is empty.
  t.TreeOptions().SetPaintOptions(t.TreeOptions().PaintOptions() + TDTPaintOptions{toShowRoot} -
                                  TDTPaintOptions{toShowTreeLines, toChildrenAbove});
  EXPECT_EQ(t.lines(middle->FirstChild), (L{ltNone, ltNone}));
}

TEST(TreeObject, VerticalAlignmentOfButtonsLinesAndPictures) {
  TRowTree t(nullptr);
  t.TreeOptions().SetPaintOptions(t.TreeOptions().PaintOptions() - TDTPaintOptions{toShowButtons});
  t.SetRootNodeCount(1);
  PDataNode n = t.GetFirst();
  int valign = 0, buttonY = 0;
  t.GetVerticalAlignment(n, false, false, valign, buttonY);
  EXPECT_EQ(valign, 9) << "half of an 18-pixel row";
  t.SetNodeAlignment(naFromTop);
  n->Align = 3;
  t.GetVerticalAlignment(n, false, false, valign, buttonY);
  EXPECT_EQ(valign, 3);
  t.SetNodeAlignment(naFromBottom);
  t.GetVerticalAlignment(n, false, false, valign, buttonY);
  EXPECT_EQ(valign, 15);
}

TEST(TreeObject, StringTreeText) {
  TPaintedTree p;
  PDataNode a = p.add(nullptr, "alpha");
  PDataNode b = p.add(nullptr, "beta");
  // Without a text handler every cell shows the default text.
  p.Tree->OnGetText = nullptr;
  EXPECT_EQ(p.Tree->GetCellText(a, NoColumn), u"Node");
  p.show();
  p.grab();
  ASSERT_EQ(p.Shown.size(), 2u);
  EXPECT_EQ(p.Shown[0].Text, u"Node");
  p.Tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType type, String& text) {
    text = type == ttStatic ? u"(static)" : rowOf(t, n)->Caption;
  };
  p.Tree->InvalidateNode(a);
  p.Tree->InvalidateNode(b);
  // Static text only with its option, and never for centred text.
  p.grab();
  EXPECT_EQ(p.Shown.size(), 2u);
  p.Tree->TreeOptions().SetStringOptions(p.Tree->TreeOptions().StringOptions() + TDTStringOptions{toShowStaticText});
  p.grab();
  EXPECT_EQ(p.Shown.size(), 2u) << "static text is drawn without OnDrawText";
  // A font change forgets the measured widths.
  int before = p.Tree->CachedWidth(a);
  ASSERT_GT(before, 0);
  p.Tree->Font()->SetHeight(-24);
  p.grab();
  EXPECT_GT(p.Tree->CachedWidth(a), before);
  // The default search matches the start of the text, never an empty text.
  EXPECT_EQ(p.Tree->DoIncrementalSearch(a, u"alp"), 0);
  EXPECT_NE(p.Tree->DoIncrementalSearch(a, u"Alp"), 0);
  EXPECT_NE(p.Tree->DoIncrementalSearch(a, u""), 0);
}

TEST(TreeObject, HeaderSortAndMainColumnsAreClamped) {
  TDataStringTree t(nullptr);
  t.Header().Columns().Add();
  t.Header().Columns().Add();
  t.Header().SetMainColumn(9);
  EXPECT_EQ(t.Header().MainColumn(), 1);
  t.Header().SetSortColumn(-7);
  EXPECT_EQ(t.Header().SortColumn(), NoColumn);
  t.Header().SetSortColumn(5);
  EXPECT_EQ(t.Header().SortColumn(), 1);
  t.Header().SetDefaultHeight(30);
  EXPECT_EQ(t.Header().Height(), 30) << "the height follows a default it equalled";
  t.Header().Columns().Clear();
  EXPECT_EQ(t.Header().MainColumn(), NoColumn);
  EXPECT_EQ(t.Header().SortColumn(), NoColumn);
}
