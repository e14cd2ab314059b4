// Table layout at fixed widths: natural widths, asked widths, percentages,
// spans, minimums, row heights, nesting, and the sound rules where the
// arithmetic would divide by zero or push a column below its minimum.
#include <gtest/gtest.h>

#include <functional>

#include "html/model/block.h"
#include "html/model/section.h"
#include "html/model/table.h"
#include "tests/html/layout_helpers.h"

namespace {

using layouthelp::Layout;
using layouthelp::tables;

std::string page(const std::string& body) {
  return "<html><head><style>body{margin:0} td{font-family:'DejaVu Sans';font-size:12pt}</style></head><body>" + body +
         "</body></html>";
}

// A cell whose content is exactly W pixels wide (minimum and maximum).
std::string box(int w, int h = 10) {
  return "<div style='width:" + std::to_string(w) + "px;height:" + std::to_string(h) + "px'></div>";
}

const char* Plain = "cellspacing=0 cellpadding=0 border=0";

TEST(LayoutTables, NaturalAndAskedWidths) {
  {
    auto l = Layout(page(std::string("<table cellspacing=2 cellpadding=0><tr><td>") + box(50) + "</td><td>" + box(70) +
                         "</td></tr></table>"),
                    400);
    auto t = tables(*l.Doc).at(0);
    EXPECT_EQ(t->TableWidth, 50 + 2 + 70 + 2 + 2);
    EXPECT_EQ(t->Widths, (IntArray{52, 72}));
  }
  {
    // Asked for less than the minimums: the minimums win.
    auto l = Layout(page(std::string("<table width=60 ") + Plain + "><tr><td>" + box(50) + "</td><td>" + box(70) +
                         "</td></tr></table>"),
                    400);
    EXPECT_EQ(tables(*l.Doc).at(0)->TableWidth, 120);
  }
}

TEST(LayoutTables, Percentages) {
  auto l = Layout(page(std::string("<table width=1000 ") + Plain + "><tr><td width='30%'>a</td><td width='70%'>b</td></tr></table>"),
                  1000);
  EXPECT_EQ(tables(*l.Doc).at(0)->Widths, (IntArray{300, 700}));
  // Without a table width, natural widths that fit win over percentages.
  auto n = Layout(page(std::string("<table ") + Plain + "><tr><td width='30%'>" + box(40) + "</td><td width='70%'>" +
                       box(50) + "</td></tr></table>"),
                  1000);
  EXPECT_EQ(tables(*n.Doc).at(0)->Widths, (IntArray{40, 50}));
}

TEST(LayoutTables, SpanningCellWidensItsColumnsWithoutShrinkingAny) {
  auto l = Layout(page(std::string("<table ") + Plain + "><tr><td>" + box(200) + "</td><td>" + box(10) +
                       "</td></tr><tr><td colspan=2>" + box(250) + "</td></tr></table>"),
                  1000);
  auto t = tables(*l.Doc).at(0);
  ASSERT_EQ(t->NumCols, 2);
  EXPECT_EQ(t->MinWidths[0] + t->MinWidths[1], 250);
  EXPECT_GE(t->MinWidths[0], 200);
  EXPECT_GE(t->MinWidths[1], 10);
  EXPECT_EQ(t->TableWidth, 250);
}

TEST(LayoutTables, NoColumnGoesBelowItsMinimumWhenPercentagesOverflow) {
  // Percent widths that add up to more than the room: the cut comes out of
  // the room above each column's minimum.
  auto l = Layout(page(std::string("<table width=300 ") + Plain + "><tr><td width='90%'>" + box(100) +
                       "</td><td width='90%'>" + box(150) + "</td></tr></table>"),
                  300);
  auto t = tables(*l.Doc).at(0);
  EXPECT_GE(t->Widths[0], 100);
  EXPECT_GE(t->Widths[1], 150);
  EXPECT_EQ(t->Widths[0] + t->Widths[1], 300);
}

TEST(LayoutTables, SpansAreCutToTheGridAndCellsNeverOverlap) {
  auto l = Layout(page(std::string("<table ") + Plain + "><tr><td rowspan=5>" + box(10) + "</td><td colspan=7>" + box(20) +
                       "</td></tr><tr><td>" + box(30) + "</td></tr></table>"),
                  400);
  auto t = tables(*l.Doc).at(0);
  ASSERT_EQ(t->Rows.Count(), 2);
  TCellObj* tall = t->Rows[0]->Items(0);
  EXPECT_EQ(tall->RowSpan, 2);
  // Every grid slot is taken by exactly one cell (or a dummy of it).
  for (int r = 0; r < t->Rows.Count(); ++r) EXPECT_LE(t->Rows[r]->Count(), t->NumCols);
  EXPECT_EQ(t->Rows[1]->Items(0)->ColSpan, 0);  // the slot under the tall cell
  // The later row's own cell sits in the second column.
  EXPECT_EQ(t->Rows[1]->Items(1)->ColSpan, 1);
}

TEST(LayoutTables, RowHeights) {
  // One row, asked height: the row takes it.
  auto l = Layout(page(std::string("<table height=100 ") + Plain + "><tr><td>" + box(10, 10) + "</td></tr></table>"), 400);
  auto t = tables(*l.Doc).at(0);
  ASSERT_EQ(t->Heights.size(), 1u);
  EXPECT_EQ(t->Heights[0], 100);
  // Without: the content's height.
  auto n = Layout(page(std::string("<table ") + Plain + "><tr><td>" + box(10, 33) + "</td></tr><tr><td>" + box(10, 7) +
                       "</td></tr></table>"),
                  400);
  EXPECT_EQ(tables(*n.Doc).at(0)->Heights, (IntArray{33, 7}));
}

TEST(LayoutTables, EmptyTableAndZeroWeights) {
  auto l = Layout(page("<table cellspacing=3></table><table " + std::string(Plain) +
                       "><colgroup><col width='0*'><col width='0*'></colgroup><tr><td>" + box(10) + "</td><td>" + box(10) +
                       "</td></tr></table>"),
                  400);
  auto ts = tables(*l.Doc);
  ASSERT_GE(ts.size(), 1u);
  if (ts[0]->Rows.Count() == 0) {
    EXPECT_EQ(ts[0]->NumCols, 0);
    EXPECT_EQ(ts[0]->TableWidth, 3);
    EXPECT_EQ(ts[0]->Height, 3);
  }
  // Zero weights give equal shares and no nonsense widths.
  THtmlTable* w = ts.back();
  for (int32_t v : w->Widths) EXPECT_GE(v, 10);
}

TEST(LayoutTables, NestedTenDeepLaysOut) {
  std::string html;
  for (int i = 0; i < 10; ++i) html += std::string("<table ") + Plain + "><tr><td>";
  html += box(33, 17);
  for (int i = 0; i < 10; ++i) html += "</td></tr></table>";
  auto l = Layout(page(html), 400);
  auto ts = tables(*l.Doc);
  ASSERT_EQ(ts.size(), 10u);
  for (THtmlTable* t : ts) {
    EXPECT_EQ(t->TableWidth, 33);
    EXPECT_EQ(t->Height, 17);
  }
  // The innermost content sits at the top of the page.
  EXPECT_EQ(ts.back()->LayoutTop, 0);
}

// Tables nested deeper than the builder goes are not built: their content,
// rows and cells included, joins the cell of the deepest table built, which
// keeps its single row.
TEST(LayoutTables, TablesNestedTooDeepJoinTheDeepestCell) {
  std::string html;
  for (int i = 0; i < 10; ++i) html += "<table><tr><td>";
  html += "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>";
  for (int i = 0; i < 10; ++i) html += "</td></tr></table>";
  auto l = Layout(page(html), 400);
  auto ts = tables(*l.Doc);
  ASSERT_EQ(ts.size(), 10u);
  THtmlTable* deepest = ts.back();
  ASSERT_EQ(deepest->Rows.Count(), 1);
  String text;
  for (const auto& cell : *deepest->Rows[0])
    if (cell)
      for (const auto& it : *cell)
        if (auto* s = dynamic_cast<TSection*>(it.get())) text += s->Chars + u"|";
  EXPECT_EQ(text, u"a b |c |");
}

}  // namespace

namespace {

// A table with a caption sits at the left like any other table (the caption
// is centred over it), and stays there when the page is laid out again, as
// every resize and every second layout pass does.
TEST(LayoutTables, ACaptionedTableKeepsItsPlaceOnEveryLayout) {
  for (const char* side : {"top", "bottom"}) {
    SCOPED_TRACE(side);
    auto l = Layout(page(std::string("<table ") + Plain + "><caption align=" + side + ">c</caption><tr><td>" + box(100) +
                         "</td></tr></table>"),
                    400);
    TTableAndCaptionBlock* wrapper = nullptr;
    std::function<void(TCellBasic&)> walk = [&](TCellBasic& c) {
      for (const auto& it : c) {
        if (auto* w = dynamic_cast<TTableAndCaptionBlock*>(it.get())) wrapper = w;
        else if (auto* b = dynamic_cast<TBlock*>(it.get())) walk(*b->MyCell);
      }
    };
    walk(*l.Doc);
    ASSERT_NE(wrapper, nullptr);
    for (int pass = 0; pass < 3; ++pass) {
      SCOPED_TRACE(pass);
      if (pass > 0) {
        int curs = 0;
        l.Doc->DoLogic(l.Canvas(), 0, 400, 600, 0, l.ScrollWidth, curs);
      }
      EXPECT_EQ(wrapper->ContentLeft, 0);
      EXPECT_EQ(wrapper->ContentWidth, 100);
      EXPECT_EQ(wrapper->TableBlock->ContentLeft, 0);
    }
  }
}

}  // namespace

namespace {

template <typename T>
std::vector<T*> allOf(ThtDocument& doc) {
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

// Text found outside the cells is shown before the table with no gap of
// the paragraph's margin between it and the table (the paragraph keeps its
// margin above the text), and a caption meets its table with only its own
// margin between them.
TEST(LayoutTables, StrayTextAndCaptionsSitAgainstTheTable) {
  auto l = Layout(page("<p>before</p><table border=1>stray<tr><td>a</td></tr></table>"), 400);
  auto secs = allOf<TSection>(*l.Doc);
  TSection* stray = nullptr;
  for (TSection* s : secs)
    if (s->Chars == u"stray ") stray = s;
  ASSERT_NE(stray, nullptr);
  auto blocks = allOf<TTableBlock>(*l.Doc);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0]->BorderTop, stray->LayoutTop + stray->Height);
  EXPECT_GE(stray->LayoutTop, secs.at(0)->LayoutTop + secs.at(0)->Height + 10);

  for (const char* margin : {"0", "3px"}) {
    SCOPED_TRACE(margin);
    auto c = Layout(page(std::string("<p>para</p><table border=1><caption style='margin-bottom:") + margin +
                         "'>cap</caption><tr><td>b</td></tr></table>"),
                    400);
    auto wrappers = allOf<TTableAndCaptionBlock>(*c.Doc);
    ASSERT_EQ(wrappers.size(), 1u);
    TBlock* cap = wrappers[0]->CaptionBlock;
    ASSERT_NE(cap, nullptr);
    const int capText = cap->ContentY + cap->MyCell->GetItem(0)->Height;
    EXPECT_EQ(wrappers[0]->TableBlock->BorderTop, capText + (margin[0] == '3' ? 3 : 0));
  }
}

}  // namespace

namespace {

size_t gridSlots(THtmlTable& t) {
  size_t n = 0;
  for (int r = 0; r < t.Rows.Count(); ++r) n += size_t(t.Rows[r]->Count());
  return n;
}

}  // namespace

TEST(LayoutTables, SpansNeverCoverMoreSlotsThanThePageCanPayFor) {
  // Two hundred rows of one cell spanning a thousand columns and every row
  // below: forty million slots asked for by eight kilobytes.
  std::string rows;
  for (int r = 0; r < 200; ++r) rows += "<tr><td colspan=1000 rowspan=200>x</td></tr>";
  auto l = Layout(page("<table>" + rows + "</table>"), 600);
  THtmlTable* t = tables(*l.Doc).at(0);
  EXPECT_LE(gridSlots(*t), size_t(16384 + 8 * 200));
  EXPECT_GE(t->NumCols, 1);
  // A row span far to the right above rows without cells pads each of them
  // up to its column: the row spans give way, the cells stay.
  std::string padded = "<tr><td colspan=999>a</td><td rowspan=2000>b</td></tr>";
  for (int r = 0; r < 1999; ++r) padded += "<tr></tr>";
  auto p = Layout(page("<table>" + padded + "</table>"), 600);
  THtmlTable* pt = tables(*p.Doc).at(0);
  EXPECT_LE(gridSlots(*pt), size_t(2 * (16384 + 8 * 2))) << "slots " << gridSlots(*pt);
  EXPECT_EQ(pt->NumCols, 1000);
  // Spans a real table asks for are kept.
  auto s = Layout(page(std::string("<table ") + Plain + "><tr><td colspan=2 rowspan=2>a</td><td>b</td></tr>" +
                       "<tr><td>c</td></tr><tr><td>d</td><td>e</td><td>f</td></tr></table>"),
                  600);
  THtmlTable* st = tables(*s.Doc).at(0);
  EXPECT_EQ(st->NumCols, 3);
  EXPECT_EQ(st->Rows[0]->Items(0)->RowSpan, 2);
  EXPECT_EQ(st->Rows[0]->Items(0)->ColSpan, 2);
}
