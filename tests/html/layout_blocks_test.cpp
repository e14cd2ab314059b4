// Block layout at fixed widths: floats and clearance, collapsing margins,
// list items and their markers, centred boxes, and the sound rules for
// list numbers.
#include <gtest/gtest.h>

#include <functional>

#include "html/model/block.h"
#include "html/model/rule_page.h"
#include "html/model/section.h"
#include "html/model/table.h"
#include "tests/html/layout_helpers.h"

namespace {

using layouthelp::Layout;
using layouthelp::TextWidth;

std::string page(const std::string& body) {
  return "<html><head><style>body{margin:0} p{font-family:'DejaVu Sans';font-size:12pt}</style></head><body>" + body +
         "</body></html>";
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

TEST(LayoutBlocks, TextFlowsBesideAFloatAndClearMovesBelowIt) {
  auto l = Layout(page("<div style='float:left;width:100px;height:50px'></div>"
                       "<p style='margin:0'>beside</p><p style='margin:0;clear:left'>below</p>"),
                  400);
  auto secs = all<TSection>(*l.Doc);
  ASSERT_EQ(secs.size(), 2u);
  EXPECT_EQ(secs[0]->Lines[0].DrawX, 100);
  EXPECT_EQ(secs[0]->ContentY, 0);
  EXPECT_EQ(secs[1]->ContentY, 50);
  EXPECT_EQ(secs[1]->Lines[0].DrawX, 0);
  // The float itself takes no room in the flow.
  auto blocks = all<TBlock>(*l.Doc);
  EXPECT_EQ(blocks[1]->Height, 0);  // blocks[0] is the body
  EXPECT_EQ(blocks[1]->Float, ALeft);
}

// The first line beside a float starts at the float's top, whatever top
// margin the paragraph beside it has: a CSS float, and a table with
// ALIGN=left after a paragraph.
TEST(LayoutBlocks, TextBesideAFloatStartsAtItsTop) {
  auto l = Layout(page("<div style='float:left;width:80px;height:50px'></div><p>beside</p>"), 400);
  TBlock* fl = nullptr;
  for (TBlock* b : all<TBlock>(*l.Doc))
    if (b->Float == ALeft) fl = b;
  ASSERT_NE(fl, nullptr);
  TSection* text = all<TSection>(*l.Doc).at(0);
  EXPECT_GT(text->Lines.at(0).DrawY, 0);  // the paragraph keeps its margin
  EXPECT_EQ(fl->BorderTop, text->Lines.at(0).DrawY);
  EXPECT_GT(text->Lines.at(0).DrawX, 79);

  auto t = Layout(page("<p>before</p><table align=left border=1><tr><td>cell</td></tr></table><p>beside</p>"), 400);
  auto tables = all<TTableBlock>(*t.Doc);
  ASSERT_EQ(tables.size(), 1u);
  TSection* before = nullptr;
  TSection* beside = nullptr;
  for (TSection* s : all<TSection>(*t.Doc)) {
    if (s->Chars == u"before ") before = s;
    if (s->Chars == u"beside ") beside = s;
  }
  ASSERT_TRUE(before && beside);
  EXPECT_EQ(tables[0]->BorderTop, beside->Lines.at(0).DrawY);
  EXPECT_GE(tables[0]->BorderTop, before->LayoutTop + before->Height);
}

TEST(LayoutBlocks, TextMovesDownWhenAFloatLeavesNoRoom) {
  // A float as wide as the box: the text goes below it.
  auto l = Layout(page("<div style='float:right;width:400px;height:30px'></div><p style='margin:0'>text</p>"), 400);
  auto secs = all<TSection>(*l.Doc);
  ASSERT_EQ(secs.size(), 1u);
  for (const auto& line : secs[0]->Lines)
    if (line.LineChars > 0) {
      EXPECT_GE(line.DrawY, 30);
      break;
    }
}

TEST(LayoutBlocks, RowsOfFloatsFillTheWidthThenGoBelow) {
  // Floats with no text between them: each goes beside the last ones while
  // there is room, else below the nearest float bottom that leaves room.
  std::string body;
  for (int i = 0; i < 25; ++i) body += "<div style='float:left;width:40px;height:10px'></div>";
  for (int i = 0; i < 6; ++i) body += "<div style='float:right;width:100px;height:20px'></div>";
  body += "<div style='float:left;width:200px;height:30px'></div><div style='float:left;width:200px;height:10px'></div>"
          "<div style='float:left;width:250px;height:10px'></div>";
  auto l = Layout(page(body), 400);
  auto blocks = all<TBlock>(*l.Doc);
  ASSERT_EQ(blocks.size(), 1u + 25 + 6 + 3);
  for (int i = 0; i < 25; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(blocks[size_t(1 + i)]->ContentLeft, (i % 10) * 40);
    EXPECT_EQ(blocks[size_t(1 + i)]->ContentY, (i / 10) * 10);
  }
  // A float never goes above an earlier one (the last left row is at 20),
  // and a right float stays left of the earlier right floats beside it.
  const int rightX[] = {300, 200, 100, 0, 300, 200};
  const int rightY[] = {20, 20, 30, 30, 50, 50};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(blocks[size_t(26 + i)]->ContentLeft, rightX[i]);
    EXPECT_EQ(blocks[size_t(26 + i)]->ContentY, rightY[i]);
  }
  // Beside the last two right floats (200..400 until 70); the next one
  // below them, beside it; the 250 px one below both (80).
  EXPECT_EQ(blocks[32]->ContentY, 50);
  EXPECT_EQ(blocks[32]->ContentLeft, 0);
  EXPECT_EQ(blocks[33]->ContentY, 70);
  EXPECT_EQ(blocks[33]->ContentLeft, 200);
  EXPECT_EQ(blocks[34]->ContentY, 80);
  EXPECT_EQ(blocks[34]->ContentLeft, 0);
}

TEST(LayoutBlocks, VerticalMarginsCollapse) {
  auto l = Layout(page("<p style='margin:0 0 10px'>a</p><p style='margin:-4px 0 0'>b</p>"
                       "<p style='margin:14px 0'>c</p><p style='margin:14px 0'>d</p>"
                       "<p style='margin:0 0 -3px'>e</p><p style='margin:-8px 0 0'>f</p>"),
                  400);
  auto secs = all<TSection>(*l.Doc);
  ASSERT_EQ(secs.size(), 6u);
  auto gap = [&](int i) { return secs[size_t(i) + 1]->ContentY - secs[size_t(i)]->ContentY - secs[size_t(i)]->Height; };
  EXPECT_EQ(gap(0), 6);   // 10 and -4
  EXPECT_EQ(gap(2), 14);  // 14 and 14, not 28
  EXPECT_EQ(gap(4), -8);  // -3 and -8
}

TEST(LayoutBlocks, FirstParagraphGivesUpTheBodysMargin) {
  auto l = Layout("<html><body style='margin:20px'><p style='margin-top:30px'>x</p></body></html>", 400);
  auto secs = all<TSection>(*l.Doc);
  ASSERT_EQ(secs.size(), 1u);
  EXPECT_EQ(secs[0]->ContentY, 30);  // 20 + max(0, 30 - 20)
}

TEST(LayoutBlocks, CentredBoxSplitsTheFreeRoom) {
  auto l = Layout(page("<div style='width:101px;text-align:center'><p style='margin:0'>x</p></div>"), 400);
  auto blocks = all<TBlock>(*l.Doc);
  ASSERT_GE(blocks.size(), 2u);
  EXPECT_EQ(blocks[1]->Box[size_t(MA(piMarginLeft))], 149);  // (400 - 101) div 2
  EXPECT_EQ(blocks[1]->ContentWidth, 101);
}

TEST(LayoutBlocks, ShrinkToFitFloat) {
  auto l = Layout(page("<div style='float:left'><p style='margin:0'>short words</p></div>"), 400);
  auto blocks = all<TBlock>(*l.Doc);
  EXPECT_EQ(blocks[1]->ContentWidth, TextWidth(u"DejaVu Sans", 16, u"short words"));
}

TEST(LayoutBlocks, ListMarkersAndBaselines) {
  auto l = Layout(page("<ol type=i><li><p style='margin:0'>one</p><li>two</ol><ul><li>x</ul>"), 400);
  auto items = all<TBlockLI>(*l.Doc);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0]->NumberText(), u"i.");
  EXPECT_EQ(items[1]->NumberText(), u"ii.");
  EXPECT_EQ(items[2]->NumberText(), u"");
  auto secs = all<TSection>(*l.Doc);
  // The baseline of the first line: its top plus the text height less descent.
  const LineRec& first = secs[0]->Lines[0];
  EXPECT_EQ(items[0]->FirstLineY, secs[0]->ContentY + first.TextHeight - first.Descent);
  EXPECT_GT(items[2]->FirstLineY, items[1]->FirstLineY);
}

// An item that holds a table takes the table's bottom for its marker, the
// line its marker is drawn on; the table's cells, measured at the top of
// the page before they are placed, leave it alone (a marker drawn there
// stood beside the page's first lines, far from its item).
TEST(LayoutBlocks, AMarkerBesideATableSitsAtTheTablesBottom) {
  auto l = Layout(page("<p style='margin:0'>first</p><p style='margin:0'>second</p><p style='margin:0'>third</p>"
                       "<ul><li><table border=1><tr><td>cell</td></tr></table></ul>"),
                  400);
  auto items = all<TBlockLI>(*l.Doc);
  ASSERT_EQ(items.size(), 1u);
  auto tbls = all<TTableBlock>(*l.Doc);
  ASSERT_EQ(tbls.size(), 1u);
  const THtmlTable& t = *tbls[0]->Table;
  EXPECT_EQ(items[0]->FirstLineY, t.LayoutTop + t.Height);
}

TEST(LayoutBlocks, ListNumbersPastTheTablesAndBelowOne) {
  auto l = Layout(page("<ol type=i start=21><li>a</ol><ol type=a start=27><li>b</ol><ol type=A start=0><li>c</ol>"), 400);
  auto items = all<TBlockLI>(*l.Doc);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0]->NumberText(), u"xxi.");
  EXPECT_EQ(items[1]->NumberText(), u"aa.");
  EXPECT_EQ(items[2]->NumberText(), u"0.");
}

// A rule is centred by default and placed by ALIGN, but a margin given by
// a style sheet holds it against that side; a rule inside a list item is
// the item's, as wide as (and centred in) the item's content.
TEST(LayoutBlocks, RulesKeepTheirOwnMarginsAndStayInTheirItem) {
  auto rules = [](ThtDocument& doc) {
    std::vector<THorzLine*> out;
    std::function<void(TCellBasic&)> walk = [&](TCellBasic& c) {
      for (const auto& it : c) {
        if (auto* h = dynamic_cast<THorzLine*>(it.get())) out.push_back(h);
        if (auto* b = dynamic_cast<TBlock*>(it.get())) walk(*b->MyCell);
      }
    };
    walk(doc);
    return out;
  };
  auto l = Layout(page("<hr width=50%><hr width=50% align=right><hr style='margin-left:0;width:50%'>"
                       "<hr style='margin-right:0;width:50%'><hr style='margin-left:20px;width:50%' align=center>"),
                  400);
  auto r = rules(*l.Doc);
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0]->RuleLeft, 100);
  EXPECT_EQ(r[1]->RuleLeft, 200);
  EXPECT_EQ(r[2]->RuleLeft, 0);
  EXPECT_EQ(r[3]->RuleLeft, 200);
  EXPECT_EQ(r[4]->RuleLeft, 20);
  for (THorzLine* h : r) EXPECT_EQ(h->RuleWidth, 200);

  auto li = Layout(page("<ul><li>item<hr width=50%></li></ul>"), 400);
  auto items = all<TBlockLI>(*li.Doc);
  ASSERT_EQ(items.size(), 1u);
  auto inItem = rules(*li.Doc);
  ASSERT_EQ(inItem.size(), 1u);
  // The rule is in the item's cell, not after the item.
  bool inside = false;
  for (const auto& it : *items[0]->MyCell)
    if (auto* b = dynamic_cast<THRBlock*>(it.get())) inside = b->Line == inItem[0];
  EXPECT_TRUE(inside);
  const int contentLeft = items[0]->ContentLeft, contentWidth = items[0]->ContentWidth;
  EXPECT_EQ(inItem[0]->RuleWidth, contentWidth / 2);
  EXPECT_EQ(inItem[0]->RuleLeft, contentLeft + contentWidth / 4);
}

TEST(LayoutBlocks, RulesTakeTheirWidthAndHeight) {
  auto l = Layout(page("<hr width='50%' size=5>"), 400);
  const std::string dump = l.Dump();
  EXPECT_NE(dump.find("rule"), std::string::npos) << dump;
  EXPECT_NE(dump.find("w=200"), std::string::npos) << dump;
}

}  // namespace

// A float's bottom margin keeps the flow after it clear of the float: a
// table after a left float with a bottom margin goes beside it, not over
// it, and the float stays where it was put. The same for a floated table.
TEST(LayoutBlocks, AFloatsBottomMarginNeitherMovesItNorLetsATableOverIt) {
  for (const char* fl : {"<div style='float:left;width:100px;height:50px;margin-bottom:20px'></div>",
                         "<table style='float:left;margin-bottom:20px' width=100 height=50 cellspacing=0>"
                         "<tr><td></td></tr></table>"}) {
    SCOPED_TRACE(fl);
    auto l = Layout(page(std::string(fl) + "<table border=1 cellspacing=0><tr><td><p>cell</p></td></tr></table>"), 400);
    TBlock* f = nullptr;
    TTableBlock* next = nullptr;
    for (TBlock* b : all<TBlock>(*l.Doc)) {
      if (b->Float == ALeft && !f) f = b;
      else if (auto* t = dynamic_cast<TTableBlock*>(b); t && t->Float == ANone) next = t;
    }
    ASSERT_TRUE(f && next);
    EXPECT_EQ(f->BorderTop, 0);
    EXPECT_EQ(f->OuterBottom, 70);
    EXPECT_GE(next->FloatShift, 100);
  }
  // A table with a top margin of its own lowers the float beside it by that
  // margin (the text beside a float starts at its top) and still goes
  // beside it.
  auto l = Layout(page("<div style='float:left;width:100px;height:50px'></div>"
                       "<table border=1 cellspacing=0 style='margin-top:15px'><tr><td>cell</td></tr></table>"),
                  400);
  TTableBlock* next = nullptr;
  for (TBlock* b : all<TBlock>(*l.Doc))
    if (auto* t = dynamic_cast<TTableBlock*>(b); t && t->Float == ANone) next = t;
  ASSERT_TRUE(next);
  EXPECT_GE(next->FloatShift, 100);
}
