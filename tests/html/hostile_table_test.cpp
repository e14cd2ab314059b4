// A table of very many small cells stays within a bounded cost a cell, and
// what the cells were slimmed of still works: a cell's own link and
// tooltip, its border styles and colours, and the link records of text
// runs (runs without a link share one empty record that no link changes).
#include <gtest/gtest.h>

#include <malloc.h>

#include "html/model/font_runs.h"
#include "html/model/object_pool.h"
#include "html/model/table.h"
#include "tests/html/layout_helpers.h"

namespace {

using layouthelp::Layout;
using layouthelp::sections;
using layouthelp::tables;

std::string tablePage(int cells) {
  std::string s = "<html><body><table border=1>";
  for (int i = 0; i < cells; ++i) {
    if (i % 10 == 0) s += "<tr>";
    s += "<td>" + std::to_string(i) + "</td>";
    if (i % 10 == 9) s += "</tr>";
  }
  return s + "</table></body></html>";
}

TEST(HostileTable, ACellOfTextCostsBoundedMemory) {
  constexpr int Cells = 4000;
  const std::string page = tablePage(Cells);
  // The canvas, and the font and glyph caches that the first layout in a
  // process fills, are no cost of the cells.
  Layout(tablePage(400), 800, 600);
  TBitmap bmp;
  bmp.SetSize(800, 600);
  // Blocks in use on the heap, those mapped by themselves (large ones) and
  // the slabs of small objects.
  auto inUse = [] {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd + PoolBytes();
  };
  const size_t before = inUse();
  auto doc = buildhelp::Build(page);
  int scrollWidth = 0, curs = 0;
  const int height = doc->DoLogic(bmp.Canvas(), 0, 800, 600, 0, scrollWidth, curs);
  const size_t after = inUse();
  auto t = tables(*doc);
  ASSERT_EQ(t.size(), 1u);
  ASSERT_EQ(t[0]->Rows.Count(), Cells / 10);
  EXPECT_GT(height, Cells / 10 * 10);
  // The whole document laid out (its text, runs, lines and cells) takes
  // about 335 bytes a cell (1.78 KB before cells were slimmed, 1.32 KB
  // before cells borrowed their indent managers, shared their looks and
  // kept their one item, run and line in place, 720 bytes before the small
  // objects came from slabs, 655 before a run kept what only links have
  // apart, 606 before sections left the note of their id list apart and
  // cells held their shared looks behind one pointer, 573 before a cell
  // shared its whole box with alike cells and became its own content, a
  // section kept its line in place and break flags only where they are
  // not plain, and a run held its font by a count in the font); a cell
  // that again kept a manager or a list block of its own or its box
  // fields, objects that went back to a heap block each, a section that
  // again kept its line apart, or a run that again held a link's fields,
  // go over.
  const double perCell = double(after - before) / Cells;
  EXPECT_LT(perCell, 360.0) << perCell << " bytes a cell";
}

TEST(HostileTable, ALeftTableGivesItsSlabsBack) {
  const std::string page = tablePage(4000);
  Layout(tablePage(40), 800, 600);
  const size_t before = PoolBytes();
  {
    auto doc = buildhelp::Build(page);
    TBitmap bmp;
    bmp.SetSize(800, 600);
    int scrollWidth = 0, curs = 0;
    doc->DoLogic(bmp.Canvas(), 0, 800, 600, 0, scrollWidth, curs);
    if (PoolBytes() == 0) GTEST_SKIP() << "a sanitizer build takes every object from the heap";
    // Sections, cells, their content and runs: a few hundred bytes a cell.
    EXPECT_GT(PoolBytes(), before + 4000 * 200);
  }
  // At most one empty slab kept for each size of object.
  EXPECT_LE(PoolBytes(), before + 16 * 64 * 1024);
  // The room is taken again by the next page, which reads right.
  auto l = Layout(tablePage(400), 800, 600);
  ASSERT_EQ(tables(*l.Doc).size(), 1u);
  EXPECT_EQ(tables(*l.Doc)[0]->Rows.Count(), 40);
}

TEST(HostileTable, ACellKeepsItsOwnLinkTooltipAndBorderLook) {
  auto l = Layout("<html><body><table border=1 cellspacing=0>"
                  "<tr><td href='cell.html' target=side title='a cell tip' style='padding:10px'>one</td>"
                  "<td style='border:3px dashed #FF0000'>two</td></tr></table></body></html>",
                  400, 200);
  auto t = tables(*l.Doc);
  ASSERT_EQ(t.size(), 1u);
  TCellObj* first = t[0]->Rows.GetItem(0)->GetItem(0);
  TCellObj* second = t[0]->Rows.GetItem(0)->GetItem(1);
  ASSERT_TRUE(first && second);
  // The dashed red border of the second cell on every side; the first
  // keeps the table's look.
  for (int side = 0; side < 4; ++side) {
    EXPECT_EQ(second->BorderStyle(side), int(bssDashed));
    EXPECT_EQ(second->BorderColor(side) & 0xFFFFFF, 0x0000FF);
    EXPECT_NE(first->BorderStyle(side), int(bssDashed));
  }
  // The cells' boxes are placed where they are painted.
  l.Doc->Draw(l.Canvas(), TRect(0, 0, 400, 200), 400, 0, 0, 0, 0);
  // Inside the first cell (not over its text): its own link and tooltip.
  const TRect r = first->CellRect();
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* ctl = nullptr;
  String title;
  const uint8_t flags = l.Doc->GetURL(l.Canvas(), r.Right - 3, r.Bottom - 3, url, ctl, title);
  ASSERT_TRUE(flags & guUrl);
  EXPECT_EQ(url->URL, u"cell.html");
  EXPECT_EQ(url->Target, u"side");
  EXPECT_EQ(title, u"a cell tip");
  // The second cell (just right of the first, no spacing between) has
  // neither, and keeps no box for them.
  EXPECT_EQ(second->CellRect(), TRect());
  url.reset();
  title.clear();
  EXPECT_EQ(l.Doc->GetURL(l.Canvas(), r.Right + 5, r.Bottom - 5, url, ctl, title) & (guUrl | guTitle), 0);
}

TEST(HostileTable, CellsThatLookAlikeKeepTheirOwnBackgroundPlace) {
  // Every cell of the bordered table has the same border look; the second
  // row's picture stands where that row says, the first row's cells keep
  // none, and the dashed cell keeps its own border.
  auto l = Layout("<html><body><table border=1>"
                  "<tr><td>a</td><td>b</td></tr>"
                  "<tr style='background-image:url(row.gif); background-position:7px 9px'><td>c</td>"
                  "<td style='border:2px dashed #00FF00'>d</td></tr></table></body></html>",
                  400, 200);
  auto t = tables(*l.Doc);
  ASSERT_EQ(t.size(), 1u);
  TCellObj* a = t[0]->Rows.GetItem(0)->GetItem(0);
  TCellObj* b = t[0]->Rows.GetItem(0)->GetItem(1);
  TCellObj* c = t[0]->Rows.GetItem(1)->GetItem(0);
  TCellObj* d = t[0]->Rows.GetItem(1)->GetItem(1);
  ASSERT_TRUE(a && b && c && d);
  for (TCellObj* cell : {a, b}) {
    EXPECT_EQ(cell->BackgroundPos()[0].Value, 0);
    EXPECT_EQ(cell->BackgroundPos()[1].Value, 0);
  }
  // (The picture itself is dropped at layout: there is no such file.)
  for (TCellObj* cell : {c, d}) {
    EXPECT_EQ(cell->BackgroundPos()[0].Value, 7);
    EXPECT_EQ(cell->BackgroundPos()[1].Value, 9);
  }
  for (int side = 0; side < 4; ++side) {
    EXPECT_EQ(d->BorderStyle(side), int(bssDashed));
    EXPECT_EQ(d->BorderColor(side) & 0xFFFFFF, 0x00FF00);
    EXPECT_EQ(a->BorderStyle(side), b->BorderStyle(side));
    EXPECT_EQ(a->BorderStyle(side), c->BorderStyle(side));
    EXPECT_NE(c->BorderStyle(side), int(bssDashed));
  }
}

TEST(HostileTable, AlikeCellsShareTheirBoxAndEachChangesOnlyItsOwn) {
  // Two kinds of cell in turn; the middle row gives its cells a colour and
  // a height. The table's padding comes after the cells were read.
  auto l = Layout("<html><body><table cellpadding=4>"
                  "<tr><td>a</td><td width=50>b</td></tr>"
                  "<tr bgcolor=#00FF00 height=30><td>c</td><td width=50>d</td></tr>"
                  "<tr><td>e</td><td width=50>f</td></tr></table></body></html>",
                  400, 200);
  auto t = tables(*l.Doc);
  ASSERT_EQ(t.size(), 1u);
  auto cell = [&](THtmlTable* table, int r, int c) { return table->Rows.GetItem(r)->GetItem(c); };
  TCellObj *a = cell(t[0], 0, 0), *b = cell(t[0], 0, 1), *c = cell(t[0], 1, 0), *d = cell(t[0], 1, 1),
           *e = cell(t[0], 2, 0), *f = cell(t[0], 2, 1);
  // One record for each kind, the coloured row's cells apart.
  EXPECT_EQ(&a->Paddings(), &e->Paddings());
  EXPECT_EQ(&b->Paddings(), &f->Paddings());
  EXPECT_NE(&a->Paddings(), &b->Paddings());
  EXPECT_NE(&a->Paddings(), &c->Paddings());
  for (TCellObj* x : {a, b, c, d, e, f}) EXPECT_EQ(x->Paddings(), (std::array<int32_t, 4>{4, 4, 4, 4}));
  for (TCellObj* x : {b, d, f}) EXPECT_EQ(x->Wd(), MakeWidthSpec(50, wtAbsolute));
  for (TCellObj* x : {a, b, e, f}) {
    EXPECT_FALSE(x->BkGnd());
    EXPECT_EQ(x->Ht().VType, wtNone);
  }
  for (TCellObj* x : {c, d}) {
    EXPECT_TRUE(x->BkGnd());
    EXPECT_EQ(x->BkColor() & 0xFFFFFF, 0x00FF00);
    EXPECT_EQ(x->Ht(), MakeWidthSpec(30, wtAbsolute));
  }
  // A print copy without backgrounds drops the colour from its own cells
  // only: the page on the screen keeps it.
  l.Doc->PrintBlockBackgrounds = false;
  ThtDocument plain(*l.Doc);
  auto pt = tables(plain);
  ASSERT_EQ(pt.size(), 1u);
  EXPECT_FALSE(cell(pt[0], 1, 0)->BkGnd());
  EXPECT_EQ(cell(pt[0], 1, 1)->Ht(), MakeWidthSpec(30, wtAbsolute));
  EXPECT_TRUE(c->BkGnd());
  EXPECT_EQ(c->BkColor() & 0xFFFFFF, 0x00FF00);
}

TEST(HostileTable, SearchesWalkTheCellsInReadingOrderBothWays) {
  auto l = Layout("<html><body><table><tr><td>one</td><td>alpha two</td></tr>"
                  "<tr><td>alpha three</td><td>four</td></tr></table></body></html>",
                  400, 200);
  auto t = tables(*l.Doc);
  ASSERT_EQ(t.size(), 1u);
  THtmlTable* table = t[0];
  const int first = table->FindString(table->StartPos, u"alpha", false);
  ASSERT_GE(first, 0);
  const int second = table->FindString(first + 1, u"alpha", false);
  EXPECT_GT(second, first);
  EXPECT_EQ(table->FindString(second + 1, u"alpha", false), -1);
  // Backwards: the last cell first, then the cells before it.
  EXPECT_EQ(table->FindStringR(table->StartPos + table->Length, u"alpha", false), second);
  EXPECT_EQ(table->FindStringR(second - 1, u"alpha", false), first);
  EXPECT_EQ(table->FindStringR(first - 1, u"alpha", false), -1);
}

TEST(HostileTable, RunsWithoutALinkShareAnEmptyRecordThatLinksNeverChange) {
  auto l = Layout("<html><body><p>plain <a href='a.html' target=t>linked <b>bold</b></a> after <i>more</i></p>"
                  "<p><a href='b.html'>second</a> tail</p></body></html>",
                  600, 200);
  auto secs = sections(*l.Doc);
  ASSERT_EQ(secs.size(), 2u);
  const TUrlTarget* shared = nullptr;
  int links = 0;
  for (TSection* s : secs)
    for (const auto& run : s->FontRuns) {
      if (run->UrlTarget()->URL.empty()) {
        // Every plain run reads the same record, still empty after the
        // links around it were closed.
        if (!shared) shared = run->UrlTarget();
        EXPECT_EQ(run->UrlTarget(), shared);
        EXPECT_EQ(run->UrlTarget()->ID, 0);
        EXPECT_EQ(run->UrlTarget()->Last, -1);
        EXPECT_TRUE(run->UrlTarget()->Target.empty());
      } else {
        ++links;
        EXPECT_NE(run->UrlTarget(), shared);
        EXPECT_GT(run->UrlTarget()->Last, run->UrlTarget()->Start);
      }
    }
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(links, 3);  // "linked", "bold", "second"
  // The runs of one link share its identity and end; the other link has its own.
  const auto& runs = secs[0]->FontRuns;
  TFontObj* linked = nullptr;
  TFontObj* bold = nullptr;
  for (const auto& run : runs)
    if (!run->UrlTarget()->URL.empty()) (linked ? bold : linked) = run.get();
  ASSERT_TRUE(linked && bold);
  EXPECT_EQ(linked->UrlTarget()->ID, bold->UrlTarget()->ID);
  EXPECT_EQ(linked->UrlTarget()->Last, bold->UrlTarget()->Last);
  EXPECT_EQ(bold->UrlTarget()->Target, u"t");
  // A print copy of a link reads the shared empty record (nothing points
  // at paper).
  TFontObj copy(secs[0], *linked);
  EXPECT_EQ(copy.UrlTarget(), shared);
  EXPECT_TRUE(linked->UrlTarget()->URL == u"a.html");
}

}  // namespace
