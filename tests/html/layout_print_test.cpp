// Printing page by page through metafile canvases, as the print engine
// does: every line lands on exactly one page, a page ends before a line
// that does not fit, an item taller than a page is cut and printed rather
// than pushed on for ever, and page-break-before starts a new page.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "html/view/block.h"
#include "html/view/section.h"
#include "platform/graphics/metafile.h"
#include "tests/html/layout_helpers.h"

namespace {

std::vector<TSection*> sections(ThtDocument& doc) {
  std::vector<TSection*> out;
  std::function<void(TCellBasic&)> walk = [&](TCellBasic& c) {
    for (const auto& it : c) {
      if (auto* s = dynamic_cast<TSection*>(it.get())) out.push_back(s);
      else if (auto* b = dynamic_cast<TBlock*>(it.get())) walk(*b->MyCell);
    }
  };
  walk(doc);
  return out;
}

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
      for (auto& line : s->Lines) line->DrawX = -1000;
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
        if (line->LineChars > 0 && line->DrawX != -1000) ++p.Count[line.get()];
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
    EXPECT_EQ(p.Count.count(s->Lines[0].get()) ? p.Count.at(s->Lines[0].get()) : 0, 1) << s->ContentY;
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
  for (TSection* s : secs) EXPECT_GE(p.Count.count(s->Lines[0].get()) ? p.Count.at(s->Lines[0].get()) : 0, 1);
  EXPECT_LT(p.Pages, 10);
}

TEST(LayoutPrint, PageBreakBeforeStartsANewPage) {
  auto doc = buildhelp::Build(linesPage(3, "<p style='page-break-before:always;margin:0'>new page</p>"));
  const Printed p = print(*doc, 300, 400);
  auto secs = sections(*doc);
  ASSERT_EQ(secs.size(), 4u);
  ASSERT_EQ(p.Pages, 2);
  EXPECT_EQ(p.PageTops[1], secs[3]->LayoutTop);
  EXPECT_EQ(p.Count.at(secs[3]->Lines[0].get()), 1);
}

}  // namespace
