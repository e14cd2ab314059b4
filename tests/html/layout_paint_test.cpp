// Painting checked at chosen pixels: block backgrounds and borders, list
// bullets, selected text, table cell borders. Each page is also written as
// a PNG beside the test executable for a person to look at.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "html/model/block.h"
#include "html/images/image_object.h"
#include "html/model/section.h"
#include "html/model/table.h"
#include "tests/html/layout_helpers.h"

namespace {

using layouthelp::Layout;

TColor px(TCanvas* c, int x, int y) { return c->Pixels(x, y) & 0xFFFFFF; }

void savePng(TCanvas* c, int w, int h, const std::string& name) {
  std::vector<std::uint8_t> rgb(size_t(w) * size_t(h) * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TColor v = px(c, x, y);
      std::uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
      p[0] = std::uint8_t(v & 0xFF);
      p[1] = std::uint8_t((v >> 8) & 0xFF);
      p[2] = std::uint8_t((v >> 16) & 0xFF);
    }
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(w);
  img.height = png_uint_32(h);
  img.format = PNG_FORMAT_RGB;
  const std::string path = (std::filesystem::current_path() / ("layout_" + name + ".png")).string();
  png_image_write_to_file(&img, path.c_str(), 0, rgb.data(), 0, nullptr);
}

// Lays out and paints a page on white.
layouthelp::Laid paint(const std::string& html, int w, int h, const std::string& name, int selStart = 0,
                       int selEnd = 0) {
  auto l = Layout(html, w, h);
  TCanvas* c = l.Canvas();
  c->Brush()->SetColor(clWhite);
  c->FillRect(TRect(0, 0, w, h));
  l.Doc->SelStart = selStart;
  l.Doc->SelEnd = selEnd;
  l.Doc->Draw(c, TRect(0, 0, w, h), w, 0, 0, 0, 0);
  savePng(c, w, h, name);
  return l;
}

template <typename T>
std::vector<T*> all(ThtDocument& doc) {
  std::vector<T*> out;
  std::function<void(TCellBasic&)> walk = [&](TCellBasic& c) {
    for (const auto& it : c) {
      if (auto* t = dynamic_cast<T*>(it.get())) out.push_back(t);
      if (auto* b = dynamic_cast<TBlock*>(it.get())) walk(*b->MyCell);
    }
  };
  walk(doc);
  return out;
}

TEST(LayoutPaint, BackgroundsAndBorders) {
  auto l = paint(
      "<html><body style='margin:0'>"
      "<div style='margin:10px;width:100px;height:40px;background-color:#00FF00;border:4px solid #FF0000'></div>"
      "<div style='margin:10px;width:100px;height:20px;border:6px double #0000FF'></div>"
      "</body></html>",
      200, 150, "boxes");
  TCanvas* c = l.Canvas();
  EXPECT_EQ(px(c, 11, 30), TColor(clRed));    // left border
  EXPECT_EQ(px(c, 60, 11), TColor(clRed));    // top border
  EXPECT_EQ(px(c, 60, 30), TColor(clLime));   // inside: background
  EXPECT_EQ(px(c, 113, 30), TColor(clLime));  // last background column
  EXPECT_EQ(px(c, 114, 30), TColor(clRed));   // right border
  EXPECT_EQ(px(c, 118, 30), TColor(clWhite));
  EXPECT_EQ(px(c, 5, 30), TColor(clWhite));   // margin: nothing
  // Double border of 6: two 2-pixel lines and a gap between.
  auto blocks = all<TBlock>(*l.Doc);
  const TRect box = blocks[2]->BoxRect;
  const int midY = (box.Top + box.Bottom) / 2;
  EXPECT_EQ(px(c, box.Left, midY), TColor(clBlue));
  EXPECT_EQ(px(c, box.Left + 1, midY), TColor(clBlue));
  EXPECT_EQ(px(c, box.Left + 2, midY), TColor(clWhite));
  EXPECT_EQ(px(c, box.Left + 4, midY), TColor(clBlue));
}

// Each side takes its own style; dashes and dots follow the border's width
// (a dash never outgrows its side, a dot is no dash).
TEST(LayoutPaint, BorderStylesPerSideAndDotsAreDots) {
  auto l = paint("<html><body style='margin:0'><div style='border-width:4px;border-color:black;"
                 "border-style:solid dashed dotted double;width:100px;height:60px'></div></body></html>",
                 140, 90, "border_styles");
  TCanvas* c = l.Canvas();
  auto dark = [&](int x, int y) {
    const TColor v = px(c, x, y);
    return int(v & 0xFF) + int((v >> 8) & 0xFF) + int((v >> 16) & 0xFF) < 384;
  };
  // Dark runs along a row or column: the longest and how many gaps.
  auto runs = [&](bool row, int at, int from, int to, int& longest, int& gaps) {
    longest = gaps = 0;
    int run = 0;
    bool inGap = false;
    for (int k = from; k < to; ++k) {
      if (row ? dark(k, at) : dark(at, k)) {
        longest = std::max(longest, ++run);
        inGap = false;
      } else {
        run = 0;
        if (!inGap) ++gaps;
        inGap = true;
      }
    }
  };
  int longest = 0, gaps = 0;
  runs(true, 1, 8, 100, longest, gaps);  // top: solid
  EXPECT_EQ(gaps, 0);
  runs(false, 106, 8, 60, longest, gaps);  // right: dashed
  EXPECT_GE(gaps, 2);
  EXPECT_GE(longest, 9);
  EXPECT_LE(longest, 16);
  runs(true, 66, 8, 100, longest, gaps);  // bottom: dotted
  EXPECT_GE(gaps, 8);
  EXPECT_LE(longest, 7);
  // Left: double, two lines with a gap between them.
  EXPECT_TRUE(dark(0, 34));
  EXPECT_FALSE(dark(1, 34) && dark(2, 34));
  EXPECT_TRUE(dark(3, 34));
}

TEST(LayoutPaint, BulletsSitOnTheFirstBaseline) {
  auto l = paint(
      "<html><body style='margin:0'><ul style='margin:0'><li style='font-family:DejaVu Sans;font-size:12pt'>disc</li>"
      "<li style='list-style-type:square;font-family:DejaVu Sans;font-size:12pt'>square</li></ul></body></html>",
      200, 80, "bullets");
  TCanvas* c = l.Canvas();
  auto items = all<TBlockLI>(*l.Doc);
  ASSERT_EQ(items.size(), 2u);
  const int x0 = items[0]->ContentLeft, b0 = items[0]->FirstLineY;
  EXPECT_EQ(px(c, x0 - 13, b0 - 4), TColor(clBlack));  // the disc's middle
  EXPECT_EQ(px(c, x0 - 13, b0 + 2), TColor(clWhite));  // below it
  const int x1 = items[1]->ContentLeft, b1 = items[1]->FirstLineY;
  EXPECT_EQ(px(c, x1 - 15, b1 - 6), TColor(clBlack));  // the square's corner
  EXPECT_EQ(px(c, x1 - 11, b1 - 2), TColor(clBlack));
  EXPECT_EQ(px(c, x1 - 9, b1 - 2), TColor(clWhite));
}

TEST(LayoutPaint, SelectedTextIsInverted) {
  const std::string html =
      "<html><body style='margin:0'><p style='margin:0;font-family:DejaVu Sans;font-size:24pt;color:#000000'>"
      "MMMM MMMM</p></body></html>";
  auto l = paint(html, 300, 60, "selection", 0, 4);
  TCanvas* c = l.Canvas();
  auto s = all<TSection>(*l.Doc).at(0);
  const LineRec& line = s->Lines[0];
  const int mw = layouthelp::TextWidth(u"DejaVu Sans", 32, u"M");
  // The selected run: a text-coloured (black) box with white letters.
  int black = 0, white = 0;
  for (int x = line.DrawX; x < line.DrawX + 4 * mw; ++x)
    for (int y = line.DrawY + 2; y < line.DrawY + line.TextHeight - 2; ++y) (px(c, x, y) == 0 ? black : white)++;
  EXPECT_GT(black, 0);
  EXPECT_GT(white, 0);
  EXPECT_EQ(px(c, line.DrawX, line.DrawY + 1), TColor(clBlack));
  // The unselected word keeps a white background.
  const int x2 = line.DrawX + layouthelp::TextWidth(u"DejaVu Sans", 32, u"MMMM M");
  EXPECT_EQ(px(c, x2 - mw / 2 + 1, line.DrawY + 1), TColor(clWhite));
}

TEST(LayoutPaint, TheDummyCaretIsABarAtTheSelectionStart) {
  const std::string html =
      "<html><body style='margin:0'><p style='margin:0;font-family:DejaVu Sans;font-size:24pt;color:#0000ff'>"
      "MMMM MMMM</p></body></html>";
  const int w = 300, h = 60;
  auto l = Layout(html, w, h);
  TCanvas* c = l.Canvas();
  auto s = all<TSection>(*l.Doc).at(0);
  const LineRec& line = s->Lines[0];
  // Text-coloured pixels down one column of the line.
  auto barAt = [&](int pos, bool caretOn, bool printing, int x) {
    c->Brush()->SetColor(clWhite);
    c->FillRect(TRect(0, 0, w, h));
    l.Doc->SelStart = l.Doc->SelEnd = s->StartPos + pos;
    l.Doc->ShowDummyCaret = caretOn;
    l.Doc->Printing = printing;
    l.Doc->Draw(c, TRect(0, 0, w, h), w, 0, 0, 0, 0);
    l.Doc->Printing = false;
    int n = 0;
    for (int y = line.DrawY; y < line.DrawY + line.TextHeight; ++y) n += px(c, x, y) == TColor(0xFF0000);
    return n;
  };
  const int wordStart = line.DrawX + layouthelp::TextWidth(u"DejaVu Sans", 32, u"MMMM ");
  const int lineEnd = line.DrawX + layouthelp::TextWidth(u"DejaVu Sans", 32, u"MMMM MMMM");
  const int tall = layouthelp::TextWidth(u"DejaVu Sans", 32, u"M") / 2;  // well over half the letters' height
  // Before the character it stands at, as high as the font.
  EXPECT_LE(barAt(5, false, false, wordStart), 2);
  EXPECT_GT(barAt(5, true, false, wordStart), tall);
  // After the section's last character.
  EXPECT_LE(barAt(s->Length, false, false, lineEnd), 2);
  EXPECT_GT(barAt(s->Length, true, false, lineEnd), tall);
  // Never on paper.
  EXPECT_LE(barAt(5, true, true, wordStart), 2);
}

TEST(LayoutPaint, BorderedTableCells) {
  auto l = paint(
      "<html><body style='margin:0'><table border=2 cellspacing=4 bordercolor=#FF0000>"
      "<tr><td style='background-color:#00FF00'><div style='width:40px;height:20px'></div></td></tr></table></body></html>",
      200, 100, "table");
  TCanvas* c = l.Canvas();
  auto t = all<THtmlTable>(*l.Doc);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(px(c, 0, 10), TColor(clRed));  // the table's own border (2 px)
  EXPECT_EQ(px(c, 1, 10), TColor(clRed));
  // The cell's background inside its frame.
  const int cellLeft = t[0]->DrawLeft + t[0]->CellSpacing;
  EXPECT_EQ(px(c, cellLeft + 10, t[0]->LayoutTop + t[0]->CellSpacing + 10), TColor(clLime));
  // The cells of a bordered table have a frame of their own.
  const TColor frame = px(c, cellLeft, t[0]->LayoutTop + t[0]->CellSpacing + 10);
  EXPECT_NE(frame, TColor(clLime));
  EXPECT_NE(frame, TColor(clWhite));
}

}  // namespace

namespace {

TEST(LayoutPaint, InlineElementBorders) {
  auto l = paint(
      "<html><body style='margin:0'><p style='margin:10px 0 0;font-family:DejaVu Sans;font-size:12pt'>"
      "plain <span style='border:2px solid #FF0000'>boxed</span> text</p></body></html>",
      300, 60, "inline_border");
  TCanvas* c = l.Canvas();
  auto s = all<TSection>(*l.Doc).at(0);
  const LineRec& line = s->Lines[0];
  // The border takes its own room: it stands after "plain " and the box's
  // text moves right by its width.
  const int left = line.DrawX + layouthelp::TextWidth(u"DejaVu Sans", 16, u"plain ");
  const int right = left + 2 + layouthelp::TextWidth(u"DejaVu Sans", 16, u"boxed");
  const int midY = line.DrawY + line.TextHeight / 2;
  EXPECT_EQ(px(c, left, midY), TColor(clRed));
  EXPECT_EQ(px(c, left + 1, midY), TColor(clRed));
  EXPECT_EQ(px(c, left - 1, midY), TColor(clWhite));
  EXPECT_EQ(px(c, right, midY), TColor(clRed));
  EXPECT_EQ(px(c, right + 1, midY), TColor(clRed));
  EXPECT_EQ(px(c, (left + right) / 2, line.DrawY - 1), TColor(clRed));  // top edge
  EXPECT_EQ(px(c, line.DrawX + 2, line.DrawY - 1), TColor(clWhite));    // "plain" has none
}

// Margins, borders and padding of inline elements take room in the line:
// a key name in a box is never drawn over the letters beside it, a padded
// span pushes its neighbours apart, and the room counts when lines break.
TEST(LayoutPaint, InlineBoxesTakeRoomBesideTheirText) {
  const std::string head =
      "<html><body style='margin:0'><p style='margin:10px 0 0;font-family:DejaVu Sans;font-size:12pt'>";
  auto w = [](const char16_t* t) { return layouthelp::TextWidth(u"DejaVu Sans", 16, t); };
  auto l = paint(head +
                     "a<span style='border:2px solid #FF0000;margin:0 3px;padding:0 4px'>K</span>b"
                     "</p></body></html>",
                 300, 60, "inline_box_room");
  TCanvas* c = l.Canvas();
  TSection* s = all<TSection>(*l.Doc).at(0);
  const LineRec& line = s->Lines[0];
  // 3 + 2 + 4 on each side of "K".
  EXPECT_EQ(s->WidestLine, w(u"a") + w(u"K") + w(u"b") + 18);
  const int midY = line.DrawY + line.TextHeight / 2;
  const int boxLeft = line.DrawX + w(u"a") + 3;
  EXPECT_EQ(px(c, boxLeft - 1, midY), TColor(clWhite));  // the margin
  EXPECT_EQ(px(c, boxLeft, midY), TColor(clRed));
  EXPECT_EQ(px(c, boxLeft + 1, midY), TColor(clRed));
  const int boxRight = boxLeft + 2 + 4 + w(u"K") + 4;
  EXPECT_EQ(px(c, boxRight, midY), TColor(clRed));
  EXPECT_EQ(px(c, boxRight + 1, midY), TColor(clRed));
  EXPECT_EQ(px(c, boxRight + 2, midY), TColor(clWhite));
  // "b" starts after the right margin: its ink lies beyond the box.
  bool ink = false;
  for (int y = line.DrawY; y < line.DrawY + line.TextHeight; ++y)
    for (int x = boxRight + 5; x < boxRight + 5 + w(u"b"); ++x) ink = ink || px(c, x, y) != TColor(clWhite);
  EXPECT_TRUE(ink);

  // Padding alone, without a border, takes room too.
  auto p = Layout(head + "x<span style='padding-left:10px;padding-right:6px'>y</span>z</p></body></html>", 300);
  EXPECT_EQ(all<TSection>(*p.Doc).at(0)->WidestLine, w(u"x") + w(u"y") + w(u"z") + 16);

  // The room counts when the line is broken: "aa bb" fits the width, but
  // not once "bb" has 20 pixels of margin.
  const int width = w(u"aa bb") + 5;
  auto plain = Layout(head + "aa <span style='border:1px solid'>bb</span></p></body></html>", width);
  EXPECT_EQ(all<TSection>(*plain.Doc).at(0)->Lines.size(), 1u);
  auto wide = Layout(head + "aa <span style='border:1px solid;margin-left:20px'>bb</span></p></body></html>", width);
  EXPECT_EQ(all<TSection>(*wide.Doc).at(0)->Lines.size(), 2u);
}

// In a table cell an inline box takes its room as in a paragraph: the key
// boxes of the help pages' tables stand apart from the "+" between them, and
// the cell is measured wide enough for them (nested tables too).
TEST(LayoutPaint, InlineBoxesTakeRoomInTableCells) {
  auto w = [](const char16_t* t) { return layouthelp::TextWidth(u"DejaVu Sans", 16, t); };
  const std::string cellStyle = "style='font-family:DejaVu Sans;font-size:12pt;padding:0'";
  const std::string key = "<b style='font-weight:normal;border:1px solid #FF0000;padding:0 3px'>";
  const std::string keys = key + "C</b>+" + key + "V</b>";
  for (const bool nested : {false, true}) {
    std::string cell = "<td " + cellStyle + ">" + keys + "</td>";
    if (nested) cell = "<td style='padding:0'><table cellspacing=0 cellpadding=0><tr>" + cell + "</tr></table></td>";
    auto l = Layout("<html><body style='margin:0'><table cellspacing=0 cellpadding=0><tr>" + cell +
                        "</tr></table></body></html>",
                    400);
    THtmlTable* inner = layouthelp::tables(*l.Doc).back();
    ASSERT_EQ(inner->Rows.Count(), 1);
    TCellObj* c = inner->Rows[0]->Items(0);
    ASSERT_TRUE(c && c->Count() > 0);
    TSection* s = c->GetItem(0)->AsSection();
    ASSERT_TRUE(s);
    // 1 + 3 on each side of both keys.
    EXPECT_EQ(s->WidestLine, w(u"C") + w(u"+") + w(u"V") + 16) << "nested " << nested;
    ASSERT_EQ(s->Lines.size(), 1u) << "nested " << nested;
  }
}

// A bordered word beside big letters keeps a box of its own text's height:
// its top edge is near its letters, not at the top of the line.
TEST(LayoutPaint, AnInlineBorderSpansItsOwnTextNotTheLine) {
  auto l = paint(
      "<html><body style='margin:0'><p style='margin:10px 0 0;font-family:DejaVu Sans;font-size:12pt'>"
      "<span style='font-size:48px'>BIG</span> <span style='border:1px solid #FF0000'>boxed</span></p></body></html>",
      300, 100, "inline_border_small_in_big");
  TCanvas* c = l.Canvas();
  const LineRec& line = all<TSection>(*l.Doc).at(0)->Lines[0];
  const int left = line.DrawX + layouthelp::TextWidth(u"DejaVu Sans", 48, u"BIG") +
                   layouthelp::TextWidth(u"DejaVu Sans", 16, u" ");
  const int mid = left + layouthelp::TextWidth(u"DejaVu Sans", 16, u"boxed") / 2;
  const int baseline = line.DrawY + line.TextHeight - line.Descent;
  int topEdge = -1;
  for (int y = line.DrawY - 2; y < baseline && topEdge < 0; ++y)
    if (px(c, mid, y) == TColor(clRed)) topEdge = y;
  // The small text is about 12 pixels tall above its baseline; the line's
  // top is some 45 above it.
  EXPECT_GT(topEdge, baseline - 20);
  EXPECT_LT(topEdge, baseline - 8);
}

// A CSS border on a picture frames the picture on all four sides, whatever
// its alignment, even on a line that holds nothing else (the articles'
// pictures are drawn so).
TEST(LayoutPaint, BorderedPicturesAreFramedOnEverySide) {
  auto l = paint(
      "<html><body style='margin:0'>"
      "<div style='margin:20px'><img src='none.png' width=40 height=30 style='border:2px solid #FF0000'></div>"
      "<p style='margin:20px;font-family:DejaVu Sans;font-size:12pt'>a "
      "<img src='none.png' width=20 height=40 align=top style='border:1px solid #0000FF'> b "
      "<img src='none.png' width=20 height=40 align=middle style='border:1px solid #00FF00'> c</p>"
      "</body></html>",
      300, 200, "picture_borders");
  TCanvas* c = l.Canvas();
  std::vector<TImageObj*> pics;
  for (TSection* s : all<TSection>(*l.Doc))
    for (int i = 0; i < s->Objects().Count(); ++i)
      if (auto* img = dynamic_cast<TImageObj*>(s->Objects().Items(i))) pics.push_back(img);
  ASSERT_EQ(pics.size(), 3u);
  const TColor colours[] = {clRed, clBlue, clLime};
  for (size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    const TImageObj& p = *pics[k];
    const int x0 = p.DrawXX, y0 = p.YPosition, x1 = x0 + p.ObjWidth, y1 = y0 + p.ObjHeight;
    const int midX = (x0 + x1) / 2, midY = (y0 + y1) / 2;
    EXPECT_EQ(px(c, x0 - 1, midY), colours[k]);  // left
    EXPECT_EQ(px(c, x1, midY), colours[k]);      // right
    EXPECT_EQ(px(c, midX, y0 - 1), colours[k]);  // top
    EXPECT_EQ(px(c, midX, y1), colours[k]);      // bottom
  }
}

// A floating picture leaves the line it was written in: its CSS border
// draws nothing there (no stray bar in the text beside it).
TEST(LayoutPaint, AFloatingPicturesBorderLeavesNoMarkInTheText) {
  auto l = paint(
      "<html><body style='margin:0'><p style='margin:10px;font-family:DejaVu Sans;font-size:12pt'>"
      "<img src='none.png' width=30 height=20 align=left style='border:2px solid #FF0000'>Text beside "
      "<img src='none.png' width=30 height=20 align=right style='border:2px solid #FF0000'> the floats</p>"
      "</body></html>",
      300, 80, "floating_picture_border");
  TCanvas* c = l.Canvas();
  int red = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 300; ++x) red += px(c, x, y) == TColor(clRed);
  EXPECT_EQ(red, 0);
}

}  // namespace

namespace {

TEST(LayoutPaint, FieldsetFrameLeavesTheLegendFree) {
  auto l = paint(
      "<html><body style='margin:0'><fieldset style='margin:5px 0 0;width:200px'>"
      "<legend style='font-family:DejaVu Sans;font-size:12pt'>Title</legend><p>inside</p></fieldset></body></html>",
      300, 120, "fieldset");
  TCanvas* c = l.Canvas();
  auto blocks = all<TFieldsetBlock>(*l.Doc);
  ASSERT_EQ(blocks.size(), 1u);
  const TRect box = blocks[0]->BoxRect;
  const TColor frame = TColor(0xB2ACA5);
  EXPECT_EQ(px(c, box.Right - 5, box.Top), frame);  // the top edge right of the legend
  EXPECT_EQ(px(c, box.Left, box.Top + 30), frame);  // the left edge
  const int legendMiddle = box.Left + 10 + layouthelp::TextWidth(u"DejaVu Sans", 16, u"Ti");
  EXPECT_NE(px(c, legendMiddle, box.Top), frame);   // no frame through the legend
  // The clip is back: painting after the fieldset reaches the legend's area.
  c->Brush()->SetColor(clRed);
  c->FillRect(TRect(legendMiddle, box.Top, legendMiddle + 1, box.Top + 1));
  EXPECT_EQ(px(c, legendMiddle, box.Top), TColor(clRed));
}

}  // namespace
