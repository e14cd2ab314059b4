// Any page lays out, paints, prints and answers queries: pages stitched
// at random (seeded) from fragments that stress the layout (spans past
// the grid, zero weights, negative margins, tiny widths, soft hyphens,
// surrogate pairs, positioned and floating boxes) at three widths. Every
// printed page must end below its top. Run under the sanitizers too.
#include <gtest/gtest.h>

#include <random>

#include "html/model/table.h"
#include "tests/html/layout_helpers.h"

namespace {

const char* const Fragments[] = {
    "<p>", "</p>", "<div style='float:left;width:30px;height:20px'>", "</div>", "<table border=1>", "<tr>",
    "<td colspan=3>", "<td rowspan=4>", "<td width=50%>", "</td>", "</tr>", "</table>", "<ul>", "<li>", "</ul>",
    "<ol type=i start=-3>", "<pre>", "</pre>", "word ", "longlonglonglongword ", "&shy;", "&nbsp;", "<br>", "<b>", "</b>",
    "<hr size=7>", "<span style='border:1px solid'>", "</span>", "<p style='text-align:justify'>",
    "<p style='text-align:center;clear:both'>", "<div style='position:absolute;left:10px;top:5px'>",
    "<div style='position:relative;left:5px'>", "\xF0\x9D\x90\x80", "<td>", "<th>", "<caption>x</caption>",
    "<fieldset><legend>L</legend>", "</fieldset>", "<div style='margin:-20px 0'>", "<p style='line-height:3px'>",
    "<p style='text-indent:50%'>", "<img src=x.png align=left>", "<div style='width:5px'>", "<col width=0*>",
    "<table width=100%>", "<p style='page-break-before:always'>", "<tr style='page-break-inside:avoid'>"};

TEST(LayoutRobustness, RandomPagesLayOutPaintAndPrint) {
  std::mt19937 rng(20261207);
  const int n = int(std::size(Fragments));
  for (int page = 0; page < 120; ++page) {
    std::string html = "<html><body>";
    const int len = 5 + int(rng() % 80);
    for (int i = 0; i < len; ++i) html += Fragments[rng() % unsigned(n)];
    html += "</body></html>";
    for (int w : {1, 37, 400}) {
      auto l = layouthelp::Layout(html, w, 300);
      TCanvas* c = l.Canvas();
      l.Doc->SelStart = 0;
      l.Doc->SelEnd = 1000;
      l.Doc->Draw(c, TRect(0, 0, w, 300), w, 0, 0, 0, 0);
      char16_t buf[256];
      EXPECT_GE(l.Doc->CopySelectionToBuffer(buf, 256), 1);
      int x = 0, y = 0;
      l.Doc->CursorToXY(c, 3, x, y);
      std::unique_ptr<TUrlTarget> url;
      TFormControlObj* control = nullptr;
      String title;
      l.Doc->GetURL(c, 10, 10, url, control, title);
      l.Doc->Printing = true;
      int top = 0;
      for (int p = 0; p < 200 && top < l.Height; ++p) {
        l.Doc->ScrollY = top;
        l.Doc->Draw(c, TRect(0, 0, w, 100), w, 0, 0, 0, 0);
        ASSERT_GT(l.Doc->PageBottom, top) << html;
        top = l.Doc->PageBottom;
      }
      EXPECT_GE(top, l.Height) << html;
    }
  }
}

TEST(LayoutRobustness, HugeSizesFromAttributesAndStylesGiveHugePagesNotWrappedOnes) {
  const std::string huge = "99999999999";
  for (const std::string& html :
       {"<img width=" + huge + " height=" + huge + " hspace=" + huge + " vspace=" + huge + " border=" + huge + ">x",
        "<table border=" + huge + " cellpadding=" + huge + " cellspacing=" + huge + "><tr><td height=" + huge +
            ">c</td></tr></table>",
        "<p style='padding:" + huge + "px;margin:" + huge + "px;border:" + huge + "px solid;height:" + huge +
            "px'>x</p><div style='position:relative;top:" + huge + "px'>y</div>",
        "<div style='margin:" + huge + "px'>x<table style='margin:" + huge + "px'><tr><td style='padding:" + huge +
            "px'>c</td></tr></table></div>"}) {
    auto l = layouthelp::Layout(html, 300, 200);
    EXPECT_GT(l.Height, 1000000) << html;
    l.Doc->Draw(l.Canvas(), TRect(0, 0, 300, 200), 300, 0, 0, 0, 0);
  }
}

// How deep cells nest in a document: blocks in blocks, cells in tables.
int cellDepth(TCellBasic& cell) {
  int deepest = 0;
  for (const auto& item : cell) {
    if (auto* b = dynamic_cast<TBlock*>(item.get())) deepest = std::max(deepest, cellDepth(*b->MyCell));
    if (auto* t = dynamic_cast<THtmlTable*>(item.get()))
      for (int r = 0; r < t->Rows.Count(); ++r)
        for (const auto& c : *t->Rows[r])
          if (c) deepest = std::max(deepest, cellDepth(*c));
  }
  return deepest + 1;
}

std::string repeated(const std::string& part, int times) {
  std::string out;
  out.reserve(part.size() * size_t(times) + 16);
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

// A page that nests without end tags is built no deeper than the builder's
// bound, so that laying it out and painting it (which walk the model's
// nesting) stay shallow too; the text at the bottom is still on the page.
void expectBuiltLaidOutAndPainted(const std::string& html, const std::string& what) {
  auto l = layouthelp::Layout(html, 400, 300);
  EXPECT_LE(cellDepth(*l.Doc), 2 * THtmlParser::MaxBlockDepth) << what;
  EXPECT_GT(l.Height, 0) << what;
  l.Doc->Draw(l.Canvas(), TRect(0, 0, 400, 300), 400, 0, 0, 0, 0);
  EXPECT_NE(DumpDocument(*l.Doc).find("\"bottom"), std::string::npos) << what;
}

// The page that ended the program with a stack overflow: tables opened in
// the cells of tables, ten thousand deep, none closed.
TEST(LayoutRobustness, TenThousandUnclosedNestedTables) {
  expectBuiltLaidOutAndPainted(repeated("<table><tr><td>", 10000) + "bottom", "tables");
}

// Each construct that nests, and mixes of them, a million levels deep.
TEST(LayoutRobustness, PagesAMillionLevelsDeep) {
  const int levels = 1000000;
  const std::pair<const char*, int> pages[] = {
      {"<table><tr><td>", 1},
      {"<table><caption>", 1},
      {"<div>", 1},
      {"<ul><li>", 2},
      {"<dl><dd>", 2},
      {"<blockquote>", 1},
      {"<b><span style='border:1px solid'>", 2},
      {"<div><ol><li><blockquote><font size=2><i><table><tr><td>", 7},
      {"<td><li><th><dd><table><pre>", 6},
  };
  for (const auto& [part, depth] : pages)
    expectBuiltLaidOutAndPainted(repeated(part, levels / depth) + "bottom", part);
}

}  // namespace
