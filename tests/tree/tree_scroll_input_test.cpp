// Scrolling by input: the wheel (lines, pages, huge amounts), the scroll
// bar codes, the auto-scroll delay at the border and wheel panning with
// its marker window.
#include <chrono>
#include <thread>

#include "platform/gui/popup_window.h"
#include "tests/tree/tree_input_util.h"

using namespace inputtest;

TEST(TreeScrollInput, TheWheelScrollsLinesPagesAndSaturates) {
  TInputFixture f(240, 180);
  f.resultShaped(200, 0);
  f.show();
  UINT lines = 3;
  SystemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  InjectWheel(f.handle(), {50, 50}, -120, {});
  f.pump();
  EXPECT_EQ(f.Tree->OffsetY(), -int(lines) * 18);
  InjectWheel(f.handle(), {50, 50}, 120, {});
  f.pump();
  EXPECT_EQ(f.Tree->OffsetY(), 0);
  InjectWheel(f.handle(), {50, 50}, -120, {ssCtrl});
  f.pump();
  EXPECT_EQ(f.Tree->OffsetY(), -f.Tree->ClientHeight()) << "Ctrl scrolls a page";
  // A wheel that reports an absurd turn ends at the bottom, never wraps.
  TMessage m{CM_MOUSEWHEEL, WPARAM(std::uint32_t(std::uint16_t(std::int16_t(-32000))) << 16), 0, 0};
  for (int i = 0; i < 50; ++i) f.Tree->Dispatch(m);
  const int bottom = f.Tree->ClientHeight() - int(f.Tree->RangeY64());
  EXPECT_EQ(f.Tree->OffsetY(), bottom);
  bool handled = false;
  f.Tree->OnMouseWheel = [&](TObject*, TShiftState, int, TPoint, bool& h) { h = handled = true; };
  InjectWheel(f.handle(), {50, 50}, 120, {});
  f.pump();
  EXPECT_TRUE(handled);
  EXPECT_EQ(f.Tree->OffsetY(), bottom) << "the owner's handler took the wheel";
}

TEST(TreeScrollInput, ScrollBarCodesMoveByLinePageAndToTheEnds) {
  TInputFixture f(240, 180);
  f.resultShaped(100, 0);
  f.show();
  f.Tree->Perform(WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(f.Tree->OffsetY(), -int(f.Tree->ScrollBarOptions().VerticalIncrement()));
  f.Tree->Perform(WM_VSCROLL, SB_TOP, 0);
  f.Tree->Perform(WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(f.Tree->OffsetY(), -f.Tree->ClientHeight());
  f.Tree->Perform(WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(f.Tree->OffsetY(), f.Tree->ClientHeight() - int(f.Tree->RangeY64()));
  f.Tree->Perform(WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(f.Tree->OffsetY(), f.Tree->ClientHeight() - int(f.Tree->RangeY64())) << "clamped at the end";
  f.Tree->Perform(WM_VSCROLL, SB_PAGEUP, 0);
  f.Tree->Perform(WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(f.Tree->OffsetY(), 0);
  f.Tree->Perform(WM_VSCROLL, SB_ENDSCROLL, 0);
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsThumbTracking));
}

TEST(TreeScrollInput, AutoScrollWaitsForItsDelayAtTheBorder) {
  TInputFixture f(240, 180);
  auto roots = f.resultShaped(100, 0);
  f.Tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  f.Tree->TreeOptions().SetAutoOptions(f.Tree->TreeOptions().AutoOptions() + TDTAutoOptions{toAutoScroll});
  // A delay no busy machine outlasts between the move and the look...
  f.Tree->SetAutoScrollDelay(60000);
  f.show();
  const int x = f.Tree->ClientWidth() - 4;
  f.mouse(imDown, {x, 5});
  f.mouse(imMove, {x - 50, f.Tree->ClientHeight() - 3}, mbLeft, {}, {ssLeft});
  ASSERT_TRUE(f.Tree->IsMouseSelecting());
  EXPECT_TRUE(f.Tree->DetermineScrollDirections(x - 50, f.Tree->ClientHeight() - 3).Empty())
      << "inside the delay";
  // ...then a short one, counted from the same first look, that has passed.
  f.Tree->SetAutoScrollDelay(80);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(f.Tree->DetermineScrollDirections(x - 50, f.Tree->ClientHeight() - 3).Contains(sdDown));
  EXPECT_TRUE(f.Tree->DetermineScrollDirections(x - 50, -30000).Contains(sdUp) == false)
      << "nothing above the top to scroll to";
  f.mouse(imUp, {x - 50, f.Tree->ClientHeight() - 3});
  (void)roots;
}

TEST(TreeScrollInput, WheelPanningShowsAShapedMarkerWithoutTakingTheFocus) {
  TInputFixture f(240, 180);
  f.resultShaped(100, 0);
  f.show();
  // The pointer really is where the button goes down (a window appearing
  // under it makes the toolkit report the pointer's position).
  const TPoint start = f.Tree->ClientToScreen({100, 90});
  SetCursorPos(start.x, start.y);
  f.mouse(imMove, {100, 90});
  f.mouse(imDown, {100, 90}, mbMiddle);
  f.mouse(imUp, {100, 90}, mbMiddle);
  ASSERT_TRUE(f.Tree->TreeStates().Contains(tsWheelScrolling)) << "a click without moving keeps panning";
  HWND marker = f.Tree->PanningWindow();
  ASSERT_NE(marker, nullptr);
  EXPECT_EQ(GetClassName(marker), u"DTPanningWindow");
  EXPECT_TRUE(IsWindowVisible(marker));
  const auto region = GetWindowRgnRects(marker);
  EXPECT_FALSE(region.empty());
  int area = 0;
  for (const TRect& r : region) area += r.Width() * r.Height();
  EXPECT_GT(area, 400);
  EXPECT_LT(area, 32 * 32) << "the magenta corners are cut away";
  EXPECT_EQ(GetFocus(), f.handle()) << "the marker never takes the focus";
  EXPECT_EQ(GetCapture(), f.handle());
  // Moving below the marker scrolls down on the timer.
  f.mouse(imMove, {100, 170});
  SetCursorPos(f.Tree->ClientToScreen({100, 170}).x, f.Tree->ClientToScreen({100, 170}).y);
  f.Tree->Perform(WM_TIMER, ScrollTimer, 0);
  EXPECT_LT(f.Tree->OffsetY(), 0);
  // The next click ends it.
  f.mouse(imDown, {100, 90});
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsWheelPanning));
  EXPECT_FALSE(f.Tree->TreeStates().Contains(tsWheelScrolling));
  EXPECT_EQ(f.Tree->PanningWindow(), nullptr);
  EXPECT_FALSE(IsWindow(marker));
  f.mouse(imUp, {100, 90});
}

TEST(TreeScrollInput, DestroyingATreeWhilePanningTakesItsMarkerAlong) {
  TInputFixture f(240, 180);
  f.resultShaped(100, 0);
  f.show();
  const TPoint start = f.Tree->ClientToScreen({100, 90});
  SetCursorPos(start.x, start.y);
  f.mouse(imMove, {100, 90});
  f.mouse(imDown, {100, 90}, mbMiddle);
  f.mouse(imUp, {100, 90}, mbMiddle);
  HWND marker = f.Tree->PanningWindow();
  ASSERT_NE(marker, nullptr);
  ASSERT_TRUE(IsWindowVisible(marker));
  delete f.Tree;
  f.Tree = nullptr;
  EXPECT_FALSE(IsWindow(marker)) << "no marker is left on screen";
  // Were it left, its next paint would draw the tree's freed picture.
  InvalidateRect(marker, nullptr, false);
  f.pump();
}
