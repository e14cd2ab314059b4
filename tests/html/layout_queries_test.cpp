// A laid-out section's answers: the character under a point, caret
// points, links under the mouse, source positions, search, the selected
// text; and the sound rules behind them (no answer cached across
// sections, tiles painted only where they show).
#include <gtest/gtest.h>

#include <functional>

#include "html/model/block.h"
#include "html/paint/block_paint.h"
#include "html/model/section.h"
#include "html/layout/section_layout.h"
#include "tests/html/layout_helpers.h"

using layouthelp::sections;

namespace {

using layouthelp::Layout;
using layouthelp::TextWidth;

const String Sans = u"DejaVu Sans";

std::string page(const std::string& body) {
  return "<html><head><style>body{margin:0} p{margin:0;font-family:'DejaVu Sans';font-size:12pt}</style></head><body>" +
         body + "</body></html>";
}

TEST(LayoutQueries, PointsAndCarets) {
  auto l = Layout(page("<p>abcdef</p>"), 400);
  TSection* s = sections(*l.Doc).at(0);
  const int wab = TextWidth(Sans, 16, u"ab"), wabc = TextWidth(Sans, 16, u"abc");
  int xr = 0, yr = 0, ht = 0;
  bool inText = false;
  // Right of the middle of "c": after it.
  EXPECT_EQ(s->FindCursor(l.Canvas(), wab + (wabc - wab) * 3 / 4, 5, xr, yr, ht, inText), s->StartPos + 3);
  EXPECT_EQ(xr, wabc);
  EXPECT_TRUE(inText);
  // Left of the middle: before it.
  EXPECT_EQ(s->FindCursor(l.Canvas(), wab + 1, 5, xr, yr, ht, inText), s->StartPos + 2);
  // A little left of the text still finds the line's start.
  auto m = Layout(page("<p style='margin-left:20px'>abc</p>"), 400);
  TSection* t = sections(*m.Doc).at(0);
  EXPECT_EQ(t->FindCursor(m.Canvas(), 12, 5, xr, yr, ht, inText), t->StartPos);
  EXPECT_FALSE(inText);
  EXPECT_EQ(t->FindCursor(m.Canvas(), 5, 5, xr, yr, ht, inText), -1);
  // The caret point of a position is where the characters before it end.
  int x = 0, y = 0;
  ASSERT_TRUE(s->CursorToXY(l.Canvas(), s->StartPos + 3, x, y));
  EXPECT_EQ(x, wabc);
}

TEST(LayoutQueries, LinksAndTitlesUnderTheMouse) {
  auto l = Layout(page("<p>see <a href='word:home' title='go home'>home</a> now</p>"), 400);
  TSection* s = sections(*l.Doc).at(0);
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* ctl = nullptr;
  String title;
  const int x = TextWidth(Sans, 16, u"see ho");
  EXPECT_EQ(s->GetURL(l.Canvas(), x, 5, url, ctl, title) & guUrl, guUrl);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->URL, u"word:home");
  url.reset();
  EXPECT_EQ(s->GetURL(l.Canvas(), 2, 5, url, ctl, title) & guUrl, 0);
}

TEST(LayoutQueries, SearchForwardAndBackward) {
  auto l = Layout(page("<p>Alpha beta alpha</p>"), 400);
  TSection* s = sections(*l.Doc).at(0);
  EXPECT_EQ(s->FindString(s->StartPos, u"alpha", false), s->StartPos);
  EXPECT_EQ(s->FindString(s->StartPos + 1, u"alpha", false), s->StartPos + 11);
  EXPECT_EQ(s->FindString(s->StartPos, u"alpha", true), s->StartPos + 11);
  EXPECT_EQ(s->FindStringR(s->StartPos + 16, u"alpha", false), s->StartPos + 11);
  EXPECT_EQ(s->FindStringR(s->StartPos + 10, u"alpha", false), s->StartPos);
  EXPECT_EQ(s->FindStringR(s->StartPos + 16, u"a much longer needle than the text", false), -1);
}

TEST(LayoutQueries, SourcePositionsAcrossTags) {
  const std::string html = page("<p>ab<b>cd</b></p>");
  auto l = Layout(html, 400);
  TSection* s = sections(*l.Doc).at(0);
  const int a = s->FindSourcePos(s->StartPos), c = s->FindSourcePos(s->StartPos + 2);
  ASSERT_GE(a, 0);
  EXPECT_EQ(html.substr(size_t(a), 2), "ab");
  EXPECT_EQ(html.substr(size_t(c), 2), "cd");
  EXPECT_EQ(s->FindDocPos(c, false), s->StartPos + 2);
  // Inside "<b>": forwards to "c", backwards to "b".
  EXPECT_EQ(s->FindDocPos(c - 2, false), s->StartPos + 2);
  EXPECT_EQ(s->FindDocPos(c - 2, true), s->StartPos + 1);
}

TEST(LayoutQueries, SelectedTextLeavesOutTheClosingBlank) {
  auto l = Layout(page("<p>one two</p><p>three</p>"), 400);
  auto secs = sections(*l.Doc);
  ASSERT_EQ(secs.size(), 2u);
  l.Doc->SelStart = secs[0]->StartPos + 4;
  l.Doc->SelEnd = secs[1]->StartPos + 5;
  char16_t buf[64];
  const int n = l.Doc->CopySelectionToBuffer(buf, 64);
  const String text(buf, size_t(std::max(0, n - 1)));
  EXPECT_EQ(text.substr(0, 3), u"two");
  EXPECT_NE(text.find(u"three"), String::npos);
  EXPECT_EQ(text.find(u"two "), String::npos);
}

TEST(LayoutQueries, FittingIsNotCachedAcrossSections) {
  // Two sections in different sizes asked the same width from the same
  // start give their own answers.
  auto l = Layout(page("<p>iiiiiiiiii</p><p style='font-size:30pt'>iiiiiiiiii</p>"), 400);
  auto secs = sections(*l.Doc);
  const int w = TextWidth(Sans, 16, u"iiiii");
  ThtSectionMeasure a(*secs[0], l.Canvas()), b(*secs[1], l.Canvas());
  EXPECT_EQ(a.CountCharsInWidth(w, 10, 0), 5);
  EXPECT_LT(b.CountCharsInWidth(w, 10, 0), 5);
  EXPECT_EQ(a.CountCharsInWidth(w, 10, 0), 5);
}

TEST(LayoutQueries, BackgroundTilesOnlyTheVisibleSlice) {
  // A 2 x 2 tile over a box 200,000 pixels tall: painting a 10-pixel band
  // draws only the tiles of that band (the whole box would take minutes).
  TBitmap tile;
  tile.SetSize(2, 2);
  tile.Canvas()->Brush()->SetColor(clRed);
  tile.Canvas()->FillRect(TRect(0, 0, 2, 2));
  TBitmap target;
  target.SetSize(800, 20);
  target.Canvas()->Brush()->SetColor(clWhite);
  target.Canvas()->FillRect(TRect(0, 0, 800, 20));
  TBackgroundPosRecs pos{};
  pos[0].Kind = bpLeft;
  pos[1].Kind = bpTop;
  PaintTiledBackground(target.Canvas(), &tile, pos, TRect(0, -100000, 800, 100000), TRect(0, 5, 800, 15));
  EXPECT_EQ(target.Canvas()->Pixels(400, 10) & 0xFFFFFF, TColor(clRed));
  EXPECT_EQ(target.Canvas()->Pixels(400, 2) & 0xFFFFFF, TColor(clWhite));
  EXPECT_EQ(target.Canvas()->Pixels(400, 17) & 0xFFFFFF, TColor(clWhite));
}

}  // namespace
