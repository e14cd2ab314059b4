// Window messages about the tree's window as a whole: printing into a
// context of the caller's, enabling, a theme change and the window going
// away while the tree lives on.
#include "platform/gui/popup_window.h"
#include "platform/gui/windows.h"
#include "tests/tree/tree_input_util.h"
#include "tests/tree/tree_paint_util.h"

namespace {

std::uint32_t pixel(TBitmap& b, int x, int y) { return painttest::rgbOf(b.Canvas()->Pixels(x, y)); }

}  // namespace

TEST(TreeWindowMessages, PrintClientPaintsTheRowsAsTheScreenShowsThem) {
  painttest::TPaintedTree p(200, 120);
  PDataNode a = p.add(nullptr, "alpha");
  PDataNode b = p.add(nullptr, "beta");
  p.show();
  p.Tree->SetSelected(b, true);
  p.Tree->SetFocusedNode(b);
  const painttest::TGrab screen = p.grab();
  const TRect row = p.Tree->GetDisplayRect(b, NoColumn, false);

  TBitmap printed(p.Tree->ClientWidth(), p.Tree->ClientHeight());
  printed.Canvas()->Brush()->SetColor(clFuchsia);
  printed.Canvas()->FillRect({0, 0, printed.Width(), printed.Height()});
  p.Shown.clear();
  p.Tree->Perform(WM_PRINTCLIENT, WPARAM(printed.Canvas()->Handle()), PRF_CLIENT);
  ASSERT_EQ(p.Shown.size(), 2u);
  EXPECT_EQ(p.Shown[0].Node, a);
  EXPECT_EQ(p.Shown[1].Text, u"beta");
  for (TPoint at : {TPoint{2, 2}, TPoint{row.Left + 2, row.Top + 2}, TPoint{150, row.Top + 9}, TPoint{10, 100}})
    EXPECT_EQ(pixel(printed, at.x, at.y), screen.at(at.x, at.y)) << at.x << "," << at.y;

  // Scrolled sideways and down, the print follows the offsets.
  for (int i = 0; i < 20; ++i) p.add(nullptr, "row " + std::to_string(i));
  p.Tree->SetOffsetY(-18);
  p.Shown.clear();
  p.Tree->Perform(WM_PRINTCLIENT, WPARAM(printed.Canvas()->Handle()), PRF_CLIENT);
  ASSERT_FALSE(p.Shown.empty());
  EXPECT_EQ(p.Shown[0].Node, b) << "the first row printed is the one at the top of the window";

  // Asked to print only when visible, a hidden tree prints nothing.
  p.Form->Hide();
  p.Shown.clear();
  p.Tree->Perform(WM_PRINTCLIENT, WPARAM(printed.Canvas()->Handle()), PRF_CLIENT | PRF_CHECKVISIBLE);
  EXPECT_TRUE(p.Shown.empty());
  p.Tree->Perform(WM_PRINTCLIENT, WPARAM(printed.Canvas()->Handle()), PRF_CLIENT);
  EXPECT_FALSE(p.Shown.empty());
}

TEST(TreeWindowMessages, PrintPaintsTheHeaderAndTheClientWhereTheyAreInTheWindow) {
  painttest::TPaintedTree p(240, 120);
  TDTHeader& h = p.Tree->Header();
  h.Columns().Add()->SetWidth(120);
  h.Columns().Add()->SetWidth(120);
  h.SetOptions(h.Options() + TDTHeaderOptions{hoVisible});
  p.add(nullptr, "alpha");
  p.show();
  p.grab();
  const int headerHeight = h.Height();
  ASSERT_GT(headerHeight, 0);
  TBitmap printed(p.Tree->Width(), p.Tree->Height());
  auto clear = [&] {
    printed.Canvas()->Brush()->SetColor(clFuchsia);
    printed.Canvas()->FillRect({0, 0, printed.Width(), printed.Height()});
  };
  const std::uint32_t fuchsia = painttest::rgbOf(clFuchsia);
  clear();
  p.Tree->Perform(WM_PRINT, WPARAM(printed.Canvas()->Handle()), PRF_NONCLIENT);
  EXPECT_NE(pixel(printed, 60, headerHeight / 2), fuchsia) << "the header is printed";
  EXPECT_EQ(pixel(printed, 60, headerHeight + 5), fuchsia) << "the client only when asked";
  clear();
  p.Shown.clear();
  p.Tree->Perform(WM_PRINT, WPARAM(printed.Canvas()->Handle()), PRF_NONCLIENT | PRF_CLIENT);
  EXPECT_NE(pixel(printed, 60, headerHeight + 5), fuchsia);
  ASSERT_FALSE(p.Shown.empty());
  p.Form->Hide();
  clear();
  p.Tree->Perform(WM_PRINT, WPARAM(printed.Canvas()->Handle()), PRF_NONCLIENT | PRF_CHECKVISIBLE);
  EXPECT_EQ(pixel(printed, 60, headerHeight / 2), fuchsia);
}

TEST(TreeWindowMessages, DisablingRepaintsTheWholeTree) {
  painttest::TPaintedTree p;
  p.add(nullptr, "alpha");
  p.show();
  p.grab();
  UpdateWindow(p.Tree->Handle());
  p.Tree->SetEnabled(false);
  TRect dirty;
  EXPECT_TRUE(GetUpdateRect(p.Tree->Handle(), &dirty, false));
  EXPECT_EQ(dirty, p.Tree->ClientRect()) << "the whole tree is repainted";
  p.pump();
}

TEST(TreeWindowMessages, AThemeChangeSettlesTheThemedLookByTheOption) {
  inputtest::TInputFixture f;
  f.show();
  ASSERT_TRUE(f.Tree->TreeStates().Contains(tsUseThemes));
  f.Tree->DoStateChange({}, {tsUseThemes});
  f.Tree->Perform(WM_THEMECHANGED, 0, 0);
  EXPECT_TRUE(f.Tree->TreeStates().Contains(tsUseThemes));
  f.Tree->TreeOptions().SetPaintOptions(f.Tree->TreeOptions().PaintOptions() - TDTPaintOptions{toThemeAware});
  f.Tree->DoStateChange({tsUseThemes});
  f.Tree->Perform(WM_THEMECHANGED, 0, 0);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsUseThemes));
}

TEST(TreeWindowMessages, ANewWindowForTheTreeLeavesNothingOfTheOldOneRunning) {
  inputtest::TInputFixture f(240, 180);
  f.resultShaped(100, 0);
  f.show();
  const TPoint start = f.Tree->ClientToScreen({100, 90});
  SetCursorPos(start.x, start.y);
  f.mouse(imMove, {100, 90});
  f.mouse(imDown, {100, 90}, mbMiddle);
  f.mouse(imUp, {100, 90}, mbMiddle);
  HWND marker = f.Tree->PanningWindow();
  ASSERT_NE(marker, nullptr);
  f.Tree->RecreateWnd();
  // (The new window may take the old marker's handle value.)
  EXPECT_TRUE(!IsWindow(marker) || GetClassName(marker) != u"DTPanningWindow")
      << "the panning marker belonged to the old window";
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsWheelPanning));
  EXPECT_EQ(f.Tree->PanningWindow(), nullptr);
  // The tree works on in its new window.
  f.pump();
  f.key(VK_DOWN);
  EXPECT_NE(f.Tree->FocusedNode(), nullptr);
}
