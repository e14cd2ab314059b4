// Moving pixels inside a device context and reporting what was uncovered.
#include <gtest/gtest.h>

#include "platform/graphics/bitmap.h"

TEST(GraphicsScrollDC, MovesWithinTheClipAndReportsTheUncoveredStrip) {
  TBitmap b(40, 20);
  TCanvas& c = *b.Canvas();
  c.Brush()->SetColor(clWhite);
  c.FillRect({0, 0, 40, 20});
  c.Brush()->SetColor(clRed);
  c.FillRect({0, 0, 10, 20});
  TRect scroll{0, 0, 30, 20}, clip{0, 0, 30, 20}, uncovered;
  ASSERT_TRUE(ScrollDC(c.Handle(), 5, 0, &scroll, &clip, nullptr, &uncovered));
  EXPECT_EQ(uncovered, (TRect{0, 0, 5, 20}));
  EXPECT_EQ(c.Pixels(12, 5), clRed) << "the red band moved right by 5";
  EXPECT_EQ(c.Pixels(16, 5), clWhite);
  EXPECT_EQ(c.Pixels(35, 5), clWhite) << "outside the clip nothing changes";
  // Up by 4: the strip at the bottom is uncovered.
  ASSERT_TRUE(ScrollDC(c.Handle(), 0, -4, &scroll, &clip, nullptr, &uncovered));
  EXPECT_EQ(uncovered, (TRect{0, 16, 30, 20}));
}
