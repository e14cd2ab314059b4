// Printing page by page through metafile canvases, as the print engine
// does: every line lands on exactly one page, a page ends before a line
// that does not fit, an item taller than a page is cut and printed rather
// than pushed on for ever, and page-break-before starts a new page. A
// table running over several pages repeats its header rows at the top and
// its footer rows at the bottom of every page it is on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

#include "html/model/block.h"
#include "html/model/section.h"
#include "html/model/table.h"
#include "platform/graphics/metafile.h"
#include "tests/html/layout_helpers.h"

using layouthelp::sections;

namespace {

struct Printed {
  int Pages = 0;
  std::map<const LineRec*, int> Count;  // pages each line was drawn on
  std::vector<int> PageTops;
};

// Lays out for the printer and paints page after page; a line counts as
// printed on a page when the painter placed it there.
Printed print(ThtDocument& doc, int width, int pageHeight) {
  TBitmap ref;
  ref.SetSize(width, pageHeight);
  doc.Printing = true;
  int sw = 0, curs = 0;
  const int height = doc.DoLogic(ref.Canvas(), 0, width, pageHeight, 0, sw, curs);
  Printed p;
  auto secs = sections(doc);
  int top = 0;
  while (top < height && p.Pages < 50) {
    for (TSection* s : secs)
      for (auto& line : s->Lines) line.DrawX = -1000;
    TMetafile mf;
    {
      TMetafileCanvas canvas(&mf, nullptr);
      doc.ScrollY = top;
      doc.Draw(&canvas, TRect(0, 0, width, pageHeight), width, 0, 0, 0, 0);
    }
    ++p.Pages;
    p.PageTops.push_back(top);
    for (TSection* s : secs)
      for (auto& line : s->Lines)
        if (line.LineChars > 0 && line.DrawX != -1000) ++p.Count[&line];
    const int next = doc.PageBottom;
    EXPECT_GT(next, top) << "a page that ends at its own top";
    if (next <= top) break;
    top = next;
  }
  return p;
}

std::string linesPage(int n, const std::string& extra = "") {
  std::string html = "<html><head><style>body{margin:0} p{margin:0;font-family:'DejaVu Sans';font-size:12pt}</style>"
                     "</head><body>";
  for (int i = 0; i < n; ++i) html += "<p>line " + std::to_string(i) + "</p>";
  return html + extra + "</body></html>";
}

TEST(LayoutPrint, EveryLineIsPrintedExactlyOnce) {
  auto doc = buildhelp::Build(linesPage(50));
  const Printed p = print(*doc, 300, 400);
  EXPECT_EQ(p.Pages, 3);
  auto secs = sections(*doc);
  ASSERT_EQ(secs.size(), 50u);
  for (TSection* s : secs) {
    ASSERT_EQ(s->Lines.size(), 1u);
    EXPECT_EQ(p.Count.count(&s->Lines[0]) ? p.Count.at(&s->Lines[0]) : 0, 1) << s->ContentY;
  }
  // No line is cut: each page ends at a line's top.
  for (size_t i = 1; i < p.PageTops.size(); ++i) {
    bool atLineTop = false;
    for (TSection* s : secs) atLineTop |= s->ContentY == p.PageTops[i];
    EXPECT_TRUE(atLineTop) << p.PageTops[i];
  }
}

TEST(LayoutPrint, ALineTallerThanAPageIsCutAndPrinted) {
  auto doc = buildhelp::Build(
      "<html><body style='margin:0'><p style='margin:0;font-size:12pt'>before</p>"
      "<p style='margin:0;font-family:DejaVu Sans;font-size:400px'>W</p>"
      "<p style='margin:0;font-size:12pt'>after</p></body></html>");
  const Printed p = print(*doc, 300, 200);
  auto secs = sections(*doc);
  ASSERT_EQ(secs.size(), 3u);
  for (TSection* s : secs) EXPECT_GE(p.Count.count(&s->Lines[0]) ? p.Count.at(&s->Lines[0]) : 0, 1);
  EXPECT_LT(p.Pages, 10);
}

TEST(LayoutPrint, PageBreakBeforeStartsANewPage) {
  auto doc = buildhelp::Build(linesPage(3, "<p style='page-break-before:always;margin:0'>new page</p>"));
  const Printed p = print(*doc, 300, 400);
  auto secs = sections(*doc);
  ASSERT_EQ(secs.size(), 4u);
  ASSERT_EQ(p.Pages, 2);
  EXPECT_EQ(p.PageTops[1], secs[3]->LayoutTop);
  EXPECT_EQ(p.Count.at(&secs[3]->Lines[0]), 1);
}

// ---- tables printed over several pages ----

// A table of body rows, each 25 pixels high with a colour of its own
// (green rising by 5 a row), under a red header row of 30 and over a blue
// footer row of 20 pixels.
std::string longTable(int rows, bool head, bool foot) {
  std::string html = "<html><body style='margin:0'><p style='margin:0;font-size:12pt'>intro</p>"
                     "<table cellspacing=0 cellpadding=0 border=0 width=200>";
  if (head) html += "<thead><tr><td height=30 bgcolor='#ff0000'>&nbsp;</td></tr></thead>";
  if (foot) html += "<tfoot><tr><td height=20 bgcolor='#0000ff'>&nbsp;</td></tr></tfoot>";
  html += "<tbody>";
  for (int i = 0; i < rows; ++i) {
    char colour[8];
    std::snprintf(colour, sizeof colour, "#00%02x00", 40 + 5 * i);
    html += std::string("<tr><td height=25 bgcolor='") + colour + "'>&nbsp;</td></tr>";
  }
  return html + "</tbody></table><p style='margin:0'>after</p></body></html>";
}

struct Band {
  int Row;  // -1 header, -2 footer, else the body row
  int Top, Height;
};

// Prints page after page through metafiles (as the print engine records
// them), plays each page back onto a bitmap and reads the coloured bands
// down the table's first column.
std::vector<std::vector<Band>> printBands(ThtDocument& doc, int width, int pageHeight) {
  TBitmap ref;
  ref.SetSize(width, pageHeight);
  doc.Printing = true;
  int sw = 0, curs = 0;
  const int height = doc.DoLogic(ref.Canvas(), 0, width, pageHeight, 0, sw, curs);
  std::vector<std::vector<Band>> pages;
  int top = 0;
  while (top < height && pages.size() < 50) {
    TMetafile mf;
    int next;
    {
      TMetafileCanvas canvas(&mf, nullptr);
      next = doc.PrintPage(&canvas, top, width, pageHeight);
    }
    mf.SetWidth(width);
    mf.SetHeight(pageHeight);
    TBitmap page;
    page.SetSize(width, pageHeight);
    page.Canvas()->Brush()->SetColor(clWhite);
    page.Canvas()->FillRect(TRect(0, 0, width, pageHeight));
    mf.Draw(*page.Canvas(), TRect(0, 0, width, pageHeight));
    std::vector<Band> bands;
    for (int y = 0; y < pageHeight; ++y) {
      const TColor c = page.Canvas()->Pixels(100, y) & 0xFFFFFF;
      const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
      int row;
      if (c == 0x0000FF) row = -1;  // red (colours are 0xBBGGRR)
      else if (c == 0xFF0000) row = -2;
      else if (r == 0 && b == 0 && g >= 40 && (g - 40) % 5 == 0) row = (g - 40) / 5;
      else continue;
      if (!bands.empty() && bands.back().Row == row && bands.back().Top + bands.back().Height == y)
        ++bands.back().Height;
      else
        bands.push_back({row, y, 1});
    }
    pages.push_back(bands);
    EXPECT_GT(next, top);
    if (next <= top) break;
    top = next;
  }
  return pages;
}

// Every body row once, whole and in order; returns on which page each was.
std::vector<int> checkBodyRows(const std::vector<std::vector<Band>>& pages, int rows) {
  std::vector<int> pageOf(size_t(rows), -1);
  int expected = 0;
  for (size_t p = 0; p < pages.size(); ++p)
    for (const Band& b : pages[p]) {
      if (b.Row < 0) continue;
      EXPECT_EQ(b.Row, expected) << "page " << p + 1 << " y " << b.Top;
      EXPECT_EQ(b.Height, 25) << "row " << b.Row << " page " << p + 1;
      if (b.Row >= 0 && b.Row < rows) pageOf[size_t(b.Row)] = int(p);
      expected = b.Row + 1;
    }
  EXPECT_EQ(expected, rows);
  return pageOf;
}

TEST(LayoutPrint, ALongTableRepeatsItsHeaderAndFooterOnEveryPage) {
  const int rows = 40;
  auto doc = buildhelp::Build(longTable(rows, true, true));
  const auto pages = printBands(*doc, 300, 400);
  ASSERT_GE(pages.size(), 3u);
  const std::vector<int> pageOf = checkBodyRows(pages, rows);
  const int lastTablePage = pageOf.back();
  ASSERT_GT(lastTablePage, pageOf.front() + 1);
  for (int p = pageOf.front(); p <= lastTablePage; ++p) {
    const auto& bands = pages[size_t(p)];
    SCOPED_TRACE("page " + std::to_string(p + 1));
    ASSERT_GE(bands.size(), 3u);
    // The header first, at the very top of every page the table runs on to.
    EXPECT_EQ(bands.front().Row, -1);
    EXPECT_EQ(bands.front().Height, 30);
    if (p > pageOf.front()) {
      EXPECT_EQ(bands.front().Top, 0);
    }
    // The footer last, right under the page's last body row.
    const Band& foot = bands.back();
    const Band& last = bands[bands.size() - 2];
    EXPECT_EQ(foot.Row, -2);
    EXPECT_EQ(foot.Height, 20);
    EXPECT_EQ(foot.Top, last.Top + last.Height);
    EXPECT_GE(last.Row, 0);
    if (p == lastTablePage) {
      EXPECT_EQ(last.Row, rows - 1);
    }
    // Header and footer appear once a page.
    int heads = 0, feet = 0;
    for (const Band& b : bands) heads += b.Row == -1, feet += b.Row == -2;
    EXPECT_EQ(heads, 1);
    EXPECT_EQ(feet, 1);
  }
}

TEST(LayoutPrint, AHeaderOnlyTableRepeatsItsHeaderAndAShortOneIsPrintedPlainly) {
  const int rows = 40;
  auto doc = buildhelp::Build(longTable(rows, true, false));
  const auto pages = printBands(*doc, 300, 400);
  ASSERT_GE(pages.size(), 3u);
  const std::vector<int> pageOf = checkBodyRows(pages, rows);
  ASSERT_GT(pageOf.back(), pageOf.front() + 1);
  for (int p = pageOf.front(); p <= pageOf.back(); ++p) {
    const auto& bands = pages[size_t(p)];
    ASSERT_FALSE(bands.empty());
    EXPECT_EQ(bands.front().Row, -1) << p + 1;
    if (p > pageOf.front()) {
      EXPECT_EQ(bands.front().Top, 0) << p + 1;
    }
    EXPECT_EQ(std::count_if(bands.begin(), bands.end(), [](const Band& b) { return b.Row < 0; }), 1) << p + 1;
  }
  // The table's page state starts over with a new layout.
  auto again = printBands(*doc, 300, 400);
  EXPECT_EQ(again.size(), pages.size());

  auto shortDoc = buildhelp::Build(longTable(3, true, true));
  const auto one = printBands(*shortDoc, 300, 400);
  ASSERT_EQ(one.size(), 1u);
  ASSERT_EQ(one[0].size(), 5u);
  EXPECT_EQ(one[0][0].Row, -1);
  EXPECT_EQ(one[0][4].Row, -2);
  EXPECT_EQ(shortDoc->PrintHeaderTable, nullptr);
}

TEST(LayoutPrint, APrintCopyRepeatsTheHeaderAndKeepsCellColoursOnlyWhenAsked) {
  const int rows = 40;
  auto doc = buildhelp::Build(longTable(rows, true, true));
  // As the viewer prints: a copy of the page, with or without backgrounds.
  doc->PrintBlockBackgrounds = true;
  ThtDocument withColours(*doc);
  const auto pages = printBands(withColours, 300, 400);
  const std::vector<int> pageOf = checkBodyRows(pages, rows);
  ASSERT_GT(pageOf.back(), pageOf.front() + 1);
  for (int p = pageOf.front() + 1; p <= pageOf.back(); ++p) {
    ASSERT_FALSE(pages[size_t(p)].empty());
    EXPECT_EQ(pages[size_t(p)].front().Row, -1) << p + 1;
    EXPECT_EQ(pages[size_t(p)].front().Top, 0) << p + 1;
  }
  doc->PrintBlockBackgrounds = false;
  ThtDocument plain(*doc);
  const auto plainPages = printBands(plain, 300, 400);
  EXPECT_EQ(plainPages.size(), pages.size());
  for (const auto& page : plainPages) EXPECT_TRUE(page.empty());
}

}  // namespace
