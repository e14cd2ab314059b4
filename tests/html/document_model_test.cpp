// The document model as the builder leaves it: lists kept consistent when
// objects go, limits on what a page may ask for, and the text tidying of
// sections.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "html/parse/prop_stack.h"
#include "html/model/block.h"
#include "html/model/document.h"
#include "html/model/indent_manager.h"
#include "html/model/section.h"
#include "html/model/shared_record.h"
#include "html/model/table.h"
#include "platform/gui/forms.h"
#include "tests/html/build_helpers.h"

namespace {

bool contains(const std::string& s, const std::string& what) { return s.find(what) != std::string::npos; }

std::unique_ptr<TAttributeList> attrs(std::initializer_list<std::pair<THtmlSymbol, std::u16string>> list) {
  auto L = std::make_unique<TAttributeList>();
  for (const auto& [sym, text] : list) {
    double d = 0;
    try {
      d = std::stod(std::string(text.begin(), text.end()));
    } catch (...) {
    }
    L->Add(std::make_unique<TAttribute>(sym, d, String(SymbolName(sym)), String(text), 0));
  }
  return L;
}

// Walks every item of a cell tree.
void forEachItem(TCellBasic& cell, const std::function<void(TSectionBase&, int)>& f, int depth = 0) {
  for (const auto& item : cell) {
    f(*item, depth);
    if (auto* b = dynamic_cast<TBlock*>(item.get())) forEachItem(*b->MyCell, f, depth + 1);
    if (auto* t = dynamic_cast<THtmlTable*>(item.get()))
      for (const auto& row : t->Rows)
        for (const auto& c : *row)
          if (c) forEachItem(*c, f, depth + 1);
  }
}

// A section built by hand under a document's property stack.
struct SectionFixture {
  std::unique_ptr<ThtDocument> Doc = buildhelp::NewDocument();
  THtmlPropStack Stack;
  SectionFixture() {
    Stack.Document = Doc.get();
    Doc->PropStack = &Stack;
    auto bottom = TProperties::CreateInStack(&Stack);
    bottom->CopyDefaultFrom(*Doc->Styles->DefProp());
    Stack.Add(std::move(bottom));
  }
  ~SectionFixture() { Doc->PropStack = nullptr; }
  std::unique_ptr<TSection> Section(bool pre = false) {
    if (pre) return std::make_unique<TPreFormated>(Doc.get(), nullptr, Stack.Last(), nullptr, Doc.get(), false);
    return std::make_unique<TSection>(Doc.get(), nullptr, Stack.Last(), nullptr, Doc.get(), false);
  }
  static void Add(TSection& s, const std::u16string& text, int from = 0) {
    TokenObj t;
    for (size_t i = 0; i < text.size(); ++i) t.AddUnicodeChar(text[i], from + int(i));
    s.AddTokenObj(t);
  }
};

}  // namespace

// ---- lists stay consistent ----

TEST(DocumentLists, DroppedObjectsLeaveNothingBehind) {
  TForm panel(nullptr);  // links get tab stops only with a paint surface
  auto doc = buildhelp::NewDocument();
  doc->PaintPanel = &panel;
  const std::string page =
      "<a href=x tabindex=3></a>"  // an empty link: its section is dropped
      "<table><tr style='display:none'><td><p id=gone>hidden row</td></tr>"
      "<tr><td><p id=kept>shown</td></tr></table>"
      "<a href=y tabindex=1>real link</a>";
  auto buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"page");
  THtmlParser parser(buffer.get());
  parser.ParseHtml(doc.get(), nullptr, nullptr, nullptr, nullptr);

  EXPECT_EQ(doc->IdList->ObjectOf(u"gone"), nullptr);
  ASSERT_NE(doc->IdList->ObjectOf(u"kept"), nullptr);
  doc->IdList->ObjectOf(u"kept")->GetYPosition();  // a jump to it is safe

  // Every link run and tab stop belongs to a section still in the tree.
  std::vector<const TFontObj*> runs;
  forEachItem(*doc, [&](TSectionBase& item, int) {
    if (auto* s = dynamic_cast<TSection*>(&item))
      for (const auto& run : s->FontRuns) runs.push_back(run.get());
  });
  ASSERT_EQ(doc->Links.size(), 1u);
  EXPECT_NE(std::find(runs.begin(), runs.end(), doc->Links[0]), runs.end());
  ASSERT_EQ(doc->TabStops.size(), 1u);
  EXPECT_EQ(doc->TabStops[0].TabIndex, 1);
  EXPECT_EQ(doc->TabStops[0].Control, doc->Links[0]->TabControl());
}

TEST(DocumentLists, ReplacedAndFreedIdsAreSafe) {
  auto doc = buildhelp::Build("<p id=a>one</p><p id=A>two</p><a name=n></a><a name=n></a>");
  // The last registration of a name wins; names ignore case.
  auto* second = dynamic_cast<TBlock*>(doc->IdList->ObjectOf(u"a"));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(doc->IdList->Count(), 2);
  doc->Clear();
  EXPECT_EQ(doc->IdList->Count(), 0);
}

TEST(DocumentLists, AnObjectNamedInASecondListLeavesTheFirstAndBothWhenFreed) {
  struct TTarget : TIDObject {
    int GetYPosition() override { return 7; }
  };
  TIDObjectList first, second;
  auto obj = std::make_unique<TTarget>();
  first.AddObject(u"x", obj.get());
  first.AddObject(u"y", obj.get());
  EXPECT_EQ(TIDObjectList::ListOf(obj.get()), &first);
  second.AddObject(u"z", obj.get());
  EXPECT_EQ(TIDObjectList::ListOf(obj.get()), &second);
  EXPECT_EQ(first.Count(), 0) << "both names left the first list";
  // Another object taking its only name leaves it in no list.
  TTarget other;
  second.AddObject(u"z", &other);
  EXPECT_EQ(TIDObjectList::ListOf(obj.get()), nullptr);
  first.AddObject(u"x", obj.get());
  obj.reset();
  EXPECT_EQ(first.Count(), 0) << "a freed object leaves its list";
  EXPECT_EQ(second.ObjectOf(u"z"), &other);
  second.Clear();
  EXPECT_EQ(TIDObjectList::ListOf(&other), nullptr);
}

TEST(DocumentLists, ASharedRecordGoesWithItsLastHolder) {
  static int alive = 0;
  struct TCounted {
    int Value = 0;
    TCounted() { ++alive; }
    TCounted(const TCounted& O) : Value(O.Value) { ++alive; }
    ~TCounted() { --alive; }
  };
  {
    auto a = TSharedRecord<TCounted>::Make();
    EXPECT_FALSE(a.Shared());
    TSharedRecord<TCounted> b = a, c;
    EXPECT_TRUE(a.Shared() && b.Shared());
    EXPECT_FALSE(c);
    c = std::move(b);
    EXPECT_FALSE(b);
    c->Value = 5;
    EXPECT_EQ(a->Value, 5);
    a = TSharedRecord<TCounted>::Make(*a);  // a copy of its own to change
    EXPECT_FALSE(a.Shared());
    EXPECT_FALSE(c.Shared());
    EXPECT_EQ(alive, 2);
    c = a;
    EXPECT_EQ(alive, 1) << "the record held by c alone went with it";
  }
  EXPECT_EQ(alive, 0);
}

TEST(DocumentLists, TabStopsSortByNumberNotText) {
  auto doc = buildhelp::NewDocument();
  TObject a, b, c, d;
  doc->AddTabStop(100000, &a);
  doc->AddTabStop(2, &b);
  doc->AddTabStop(2, &c);
  doc->AddTabStop(99999, &d);
  ASSERT_EQ(doc->TabStops.size(), 4u);
  EXPECT_EQ(doc->TabStops[0].Control, &b);
  EXPECT_EQ(doc->TabStops[1].Control, &c);
  EXPECT_EQ(doc->TabStops[2].Control, &d);
  EXPECT_EQ(doc->TabStops[3].Control, &a);
  doc->RemoveTabStop(&c);
  EXPECT_EQ(doc->TabStops.size(), 3u);
}

// ---- limits ----

TEST(BuilderLimits, DeepNestingIsBoundedAndLinear) {
  std::string divs, fonts;
  for (int i = 0; i < 20000; ++i) divs += "<div>";
  for (int i = 0; i < 20000; ++i) fonts += "<font size=2><b>";
  divs += "deep";
  fonts += "deep</b></b> after";
  auto doc = buildhelp::Build(divs);
  int maxDepth = 0;
  forEachItem(*doc, [&](TSectionBase&, int depth) { maxDepth = std::max(maxDepth, depth); });
  EXPECT_LE(maxDepth, THtmlParser::MaxBlockDepth + 2);
  EXPECT_TRUE(contains(DumpDocument(*doc), "\"deep \""));
  const std::string fontDump = buildhelp::Dump(fonts);
  EXPECT_TRUE(contains(fontDump, "\"deep after \"")) << fontDump.substr(0, 400);
}

TEST(BuilderLimits, PropertyStackIgnoresPushesPastItsCap) {
  auto doc = buildhelp::NewDocument();
  THtmlPropStack stack;
  stack.Document = doc.get();
  stack.Add(TProperties::CreateInStack(&stack));
  for (int i = 0; i < 1000; ++i) stack.PushNewProp(u"b", u"", u"", u"", u"", nullptr);
  EXPECT_EQ(stack.Count(), THtmlPropStack::MaxDepth);
  for (int i = 0; i < 999; ++i) stack.PopAProp(u"b");
  EXPECT_EQ(stack.Count(), 2);  // each pop matched its own push
  stack.PopProp();
  stack.PopProp();
  EXPECT_EQ(stack.Count(), 1);  // the bottom entry stays
}

TEST(BuilderLimits, SpansAndColumnSpecsAreClamped) {
  auto doc = buildhelp::NewDocument();
  auto L = attrs({{symRowSpan, u"100000"}, {symColSpan, u"5000"}});
  TCellObj cell(doc.get(), AMiddle, L.get(), nullptr);
  EXPECT_EQ(cell.RowSpan, MaxRowSpan);
  EXPECT_EQ(cell.ColSpan, MaxColSpan);
  auto small = attrs({{symRowSpan, u"0"}, {symColSpan, u"1"}});
  TCellObj one(doc.get(), AMiddle, small.get(), nullptr);
  EXPECT_EQ(one.RowSpan, 1);
  EXPECT_EQ(one.ColSpan, 1);

  THtmlTable table(doc.get(), nullptr, nullptr);
  table.DoColumns(20000, MakeWidthSpec(10, wtAbsolute), ATop, u"left");
  table.DoColumns(5, MakeWidthSpec(10, wtAbsolute), ATop, u"left");
  EXPECT_EQ(table.ColSpecs->Count(), MaxColSpecs);

  const std::string dump = buildhelp::Dump("<table><tr><td colspan=0 rowspan=70000>x</table>");
  EXPECT_TRUE(contains(dump, "colspan=1 rowspan=65534")) << dump;
}

TEST(BuilderLimits, ListNumbersStayPositiveAndBounded) {
  // A huge start is kept in the attribute range; counting on from it never
  // wraps to a negative number.
  const std::string dump = buildhelp::Dump("<ol start=2147483646><li>a<li>b<li>c</ol>");
  EXPECT_TRUE(contains(dump, "number=10000000 ")) << dump;
  EXPECT_TRUE(contains(dump, "number=10000002 ")) << dump;
  EXPECT_FALSE(contains(dump, "number=-")) << dump;
}

TEST(BuilderLimits, SentinelsAreTheLargestValue) {
  auto doc = buildhelp::NewDocument();
  TSectionBase item(doc.get(), pdBlock);
  EXPECT_EQ(item.ContentY, INT_MAX);
  EXPECT_EQ(htAddSat(INT_MAX - 5, 100), INT_MAX);
  TProperties props;
  doc->ProcessInlines(10, &props, true);
  EXPECT_EQ(doc->Inlines->Items(0).EndBDoc, INT_MAX);
  TIndentManager mgr;
  mgr.Init(0, 100);
  mgr.SetLeftIndent(0, 0);
  EXPECT_EQ(mgr.L.back().YB, INT_MAX);
  EXPECT_EQ(mgr.GetNextWiderY(50), 50);  // a block edge is no float
}

// ---- the property stack ----

TEST(PropertyStack, ClosingAnOuterElementRederivesTheInnerOnes) {
  const std::string dump = buildhelp::Dump("<b><i>x</b>y</i>z");
  EXPECT_TRUE(contains(dump, "run @0 DejaVu Serif 16px bold italic")) << dump;
  EXPECT_TRUE(contains(dump, "run @1 DejaVu Serif 16px italic #000000")) << dump;
  EXPECT_TRUE(contains(dump, "run @2 DejaVu Serif 16px #000000")) << dump;
}

TEST(PropertyStack, AnExceptionLeavesNothingOfTheParseBehind) {
  auto doc = buildhelp::NewDocument();
  const std::string page = "<form><nobr><b><i><meta name=x content=y>text";
  auto buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"page");
  THtmlParser parser(buffer.get());
  EXPECT_THROW(parser.ParseHtml(doc.get(), nullptr,
                                [](TObject*, const String&, const String&, const String&) {
                                  throw Exception(u"meta handler failed");
                                },
                                nullptr, nullptr),
               Exception);
  EXPECT_EQ(parser.PropStack().Count(), 0);
  EXPECT_FALSE(parser.PropStack().NoBreak);
  EXPECT_EQ(doc->PropStack, nullptr);
  // The document can be parsed again and shows wrapping text.
  const std::string again = "<p>plain text";
  auto buffer2 = TBuffer::CreateFromBytes(again.data(), again.size(), u"page");
  doc->Clear();
  THtmlParser second(buffer2.get());
  second.ParseHtml(doc.get(), nullptr, nullptr, nullptr, nullptr);
  EXPECT_FALSE(contains(DumpDocument(*doc), "breaks"));
}

TEST(PropertyStack, FontSizeTablesFollowEachDocument) {
  const std::string page = "<font size=7>big</font>";
  auto small = buildhelp::Build(page, 9);
  const std::string a = DumpDocument(*small);
  auto normal = buildhelp::Build(page, 12);
  const std::string b = DumpDocument(*normal);
  // 27 points and 36 points: the second parse is not scaled by the first.
  EXPECT_TRUE(contains(a, "36px")) << a;
  EXPECT_TRUE(contains(b, "48px")) << b;
  SetFontSizes(9);
  EXPECT_DOUBLE_EQ(FontConv[2], 9.0);
  EXPECT_DOUBLE_EQ(FontConv[6], 27.0);
  EXPECT_DOUBLE_EQ(PreFontConv[2], 7.5);
}

// ---- sections ----

TEST(SectionText, FinishTextTidiesBlanksHyphensAndBreaks) {
  SectionFixture f;
  auto s = f.Section();
  SectionFixture::Add(*s, u"  a  b c\u00ADd  ");
  s->AddChar(BrkCh, 20);
  s->FinishText(30);
  EXPECT_EQ(s->Chars, u"a b cd ");
  EXPECT_EQ(s->BreakFlags().Text(7), "yyyysyy");
  EXPECT_EQ(s->Length, 7);
  // Source runs: "a" at 2, " b c" from 4 (one blank dropped), "d" at 9.
  ASSERT_GE(s->SourceRuns.size(), 2u);
  EXPECT_EQ(s->SourceRuns[0].Index, 2);

  auto br = f.Section();
  br->AddChar(BrkCh, 0);
  br->FinishText(1);
  EXPECT_EQ(br->Chars, String(1, BrkCh));  // a lone line break keeps no blank

  auto nowrap = f.Section();
  f.Stack.NoBreak = true;
  SectionFixture::Add(*nowrap, u"x  y");
  f.Stack.NoBreak = false;
  nowrap->FinishText(10);
  EXPECT_EQ(nowrap->Chars, u"x y ");
  ASSERT_EQ(nowrap->SourceRuns.size(), 3u);  // the second blank of the pair stays
  EXPECT_EQ(nowrap->SourceRuns[1].Index, 2);
}

// The flags keep only what is not a plain break, and a character past them
// breaks as usual: the steps that write them into the holder must keep the
// other flags where they are.
TEST(SectionText, BreakFlagsKeepOnlyWhatIsNotAPlainBreak) {
  TBreakFlags f;
  f.Set(5, 'y');
  f.Fill(0, 4, 'y');
  EXPECT_EQ(f.size(), 0u);  // nothing but plain breaks: no room taken
  EXPECT_EQ(f[1000], 'y');
  f.Set(3, 'n');
  f.Fill(6, 3, 'a');
  EXPECT_EQ(f.Text(10), "yyynyyaaay");
  // Moving down across the end of the kept flags: what came from past them
  // reads 'y' at its new place.
  f.MoveDown(5, 2, 6);
  EXPECT_EQ(f.Text(10), "yyyaaayyay");
  TBreakFlags copy(f);
  f.Set(3, 's');
  f.Truncate(4);
  EXPECT_EQ(f.Text(6), "yyysyy");
  EXPECT_EQ(copy.Text(6), "yyyaaa");
  copy.Fill(3, 7, 'y');
  copy.Compact();
  EXPECT_EQ(copy.size(), 0u);
  EXPECT_EQ(copy.capacity(), 0u);
  f.Compact();
  EXPECT_EQ(f.size(), 4u);
  EXPECT_EQ(f.capacity(), 4u);
  TBreakFlags moved(std::move(f));
  EXPECT_EQ(moved.Text(5), "yyysy");
  EXPECT_EQ(f.size(), 0u);

  // A section of words keeps none; text that must not break keeps its own.
  SectionFixture sf;
  auto words = sf.Section();
  SectionFixture::Add(*words, u"some words  here");
  words->FinishText(20);
  EXPECT_EQ(words->BreakFlags().size(), 0u);
  auto mixed = sf.Section();
  SectionFixture::Add(*mixed, u"a ");
  sf.Stack.NoBreak = true;
  SectionFixture::Add(*mixed, u"b  c");
  sf.Stack.NoBreak = false;
  SectionFixture::Add(*mixed, u" d");
  mixed->FinishText(20);
  EXPECT_EQ(mixed->Chars, u"a b c d ");
  EXPECT_EQ(mixed->BreakFlags().Text(8), "yynnnyyy");
  // A print copy keeps them.
  auto copied = mixed->CreateCopy(sf.Doc.get());
  EXPECT_EQ(copied->AsSection()->BreakFlags().Text(8), "yynnnyyy");
}

TEST(SectionText, ManySourceRunsAreAllKept) {
  // Each letter from its own place in the source (as after many entities):
  // more runs than the short lists most sections need.
  SectionFixture f;
  auto s = f.Section();
  for (int i = 0; i < 26; ++i) s->AddChar(char16_t(u'a' + i), 10 + 3 * i);
  s->FinishText(200);
  ASSERT_EQ(s->Length, 27);
  ASSERT_EQ(s->SourceRuns.size(), 27u);
  for (int i = 0; i < 26; ++i) {
    EXPECT_EQ(s->SourceRuns[size_t(i)].Pos, i);
    EXPECT_EQ(s->SourceRuns[size_t(i)].Index, 10 + 3 * i);
  }
  EXPECT_EQ(s->SourceRuns[26].Index, 200);  // the blank added at the end
}

TEST(SectionText, TidyingKeepsFontRunsOnTheirCharacters) {
  SectionFixture f;
  auto s = f.Section();
  SectionFixture::Add(*s, u" a  ");
  s->ChangeFont(f.Stack.Last());  // starts at "b"
  SectionFixture::Add(*s, u"b", 4);
  f.Stack.NoBreak = true;
  SectionFixture::Add(*s, u"  ", 5);
  f.Stack.NoBreak = false;
  s->ChangeFont(f.Stack.Last());  // starts at "c"
  SectionFixture::Add(*s, u"c", 7);
  s->AddChar(BrkCh, 8);
  s->ChangeFont(f.Stack.Last());  // at the end
  s->FinishText(9);
  EXPECT_EQ(s->Chars, u"a b c ");
  ASSERT_EQ(s->FontRuns.Count(), 4);
  EXPECT_EQ(s->FontRuns[0]->Pos, 0);
  EXPECT_EQ(s->FontRuns[1]->Pos, 2);
  EXPECT_EQ(s->FontRuns[2]->Pos, 4);
  EXPECT_EQ(s->FontRuns[3]->Pos, 6);

  // A run that starts at a blank kept in place of a dropped one moves back
  // with it.
  auto t = f.Section();
  SectionFixture::Add(*t, u"x");
  f.Stack.NoBreak = true;
  SectionFixture::Add(*t, u" ", 1);
  f.Stack.NoBreak = false;
  t->ChangeFont(f.Stack.Last());
  SectionFixture::Add(*t, u" y", 2);
  t->FinishText(4);
  EXPECT_EQ(t->Chars, u"x y ");
  ASSERT_EQ(t->FontRuns.Count(), 2);
  EXPECT_EQ(t->FontRuns[1]->Pos, 1);
}

TEST(SectionText, RunsOfOneFontShareItUntilALinkStateChangesOne) {
  SectionFixture f;
  auto s = f.Section();
  SectionFixture::Add(*s, u"ab");
  s->ChangeFont(f.Stack.Last());
  SectionFixture::Add(*s, u"cd", 2);
  ASSERT_EQ(s->FontRuns.Count(), 2);
  TFontObj* first = s->FontRuns[0];
  TFontObj* second = s->FontRuns[1];
  EXPECT_EQ(first->Font(), second->Font());
  const TColor color = first->Font()->Color();
  const int height = first->Font()->Height();
  ThtFontInfo state;
  f.Stack.Last()->FillFontInfo(state);
  second->ConvertFont(state);  // the state the font is already in: still shared
  EXPECT_EQ(first->Font(), second->Font());
  state.iSize = 30;
  state.iColor = clRed;
  second->ConvertFont(state);  // as a hovered link does
  EXPECT_NE(first->Font(), second->Font());
  EXPECT_EQ(first->Font()->Color(), color);
  EXPECT_EQ(first->Font()->Height(), height);
  EXPECT_EQ(second->Font()->Color(), clRed);
  EXPECT_NE(second->Font()->Height(), height);
  // The next run of that font still gets the unchanged one.
  s->AddChar(u'e', 4);
  s->ChangeFont(f.Stack.Last());
  EXPECT_EQ(s->FontRuns.Last()->Font(), first->Font());
  // A run keeps its section when it gets a part of its own (a tooltip).
  second->SetTitle(u"tip");
  EXPECT_EQ(second->Section(), s.get());
  EXPECT_EQ(first->Section(), s.get());
  // A copy for printing shares the fonts, which outlive the section they
  // came from.
  s->FinishText(5);
  auto copy = s->CreateCopy(f.Doc.get());
  TSection* c = copy->AsSection();
  ASSERT_EQ(c->FontRuns.Count(), 3);
  EXPECT_EQ(c->FontRuns[1]->Font(), second->Font());
  EXPECT_EQ(c->FontRuns[0]->Section(), c);
  s.reset();
  EXPECT_EQ(c->FontRuns[1]->Font()->Color(), clRed);
  EXPECT_EQ(c->FontRuns[0]->Font()->Color(), color);
}

TEST(SectionText, EmptySectionsAreDroppedUnlessTheyMatter) {
  SectionFixture f;
  TBlockCell cell(f.Doc.get());
  auto empty = f.Section();
  SectionFixture::Add(*empty, u"   ");
  cell.Add(std::move(empty), 3);
  EXPECT_EQ(cell.Count(), 0);
  auto pre = f.Section(true);
  cell.Add(std::move(pre), 0);
  EXPECT_EQ(cell.Count(), 1);
  auto anchor = f.Section();
  anchor->AnchorName = true;
  cell.Add(std::move(anchor), 0);
  EXPECT_EQ(cell.Count(), 2);
}

TEST(SectionText, BreakClearNoneClearsNothing) {
  const std::string dump = buildhelp::Dump("a<br clear=none>b<br clear=all>c<br clear=left>d");
  EXPECT_TRUE(contains(dump, "section align=left \"b \"")) << dump;
  EXPECT_TRUE(contains(dump, "clear=both \"c \"")) << dump;
  EXPECT_TRUE(contains(dump, "clear=left \"d \"")) << dump;
}

TEST(SectionText, FontRunsAreFoundByPosition) {
  const std::string page = "ab<b>cd</b>ef";
  auto doc = buildhelp::Build(page);
  TSection* s = nullptr;
  forEachItem(*doc, [&](TSectionBase& item, int) {
    if (!s) s = dynamic_cast<TSection*>(&item);
  });
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->FontRuns.Count(), 3);
  int index = -1;
  EXPECT_EQ(s->FontRuns.GetFontObjAt(2, index), s->FontRuns[1]);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(s->FontRuns.GetFontObjAt(1, index), s->FontRuns[0]);
  EXPECT_EQ(s->FontRuns.GetFontCountAt(2, s->Length), 2);
  EXPECT_EQ(s->FontRuns.GetFontCountAt(5, s->Length), s->Length - 5);
}

// ---- tables ----

TEST(TableModel, AttributesAreReadWithinTheirRanges) {
  auto doc = buildhelp::NewDocument();
  auto L = attrs({{symBorder, u""}, {symCellPadding, u"80"}, {symCellSpacing, u"60"}});
  THtmlTable t(doc.get(), L.get(), nullptr);
  EXPECT_EQ(t.BorderWidth, 1);
  EXPECT_EQ(t.CellPadding, 50);
  EXPECT_EQ(t.CellSpacing, 40);
  auto big = attrs({{symBorder, u"500"}, {symCellSpacing, u"-5"}});
  THtmlTable t2(doc.get(), big.get(), nullptr);
  EXPECT_EQ(t2.BorderWidth, 100);
  EXPECT_EQ(t2.CellSpacing, -1);

  auto rowAttrs = attrs({{symHeight, u"250"}});
  TCellList row(rowAttrs.get(), nullptr);
  EXPECT_EQ(row.SpecRowHeight, MakeWidthSpec(100, wtAbsolute));
  auto cellAttrs = attrs({{symHeight, u"40"}, {symWidth, u"50%"}});
  auto cell = std::make_unique<TCellObj>(doc.get(), AMiddle, cellAttrs.get(), nullptr);
  EXPECT_EQ(cell->Wd(), MakeWidthSpec(500, wtPercent));
  TCellObj* raw = cell.get();
  row.Add(std::move(cell));
  EXPECT_EQ(raw->Ht(), MakeWidthSpec(100, wtAbsolute));  // the larger of row and cell
}

TEST(TableModel, ColumnSpecsReachTheirCellsAndSpansNarrow) {
  const std::string dump = buildhelp::Dump(
      "<table><col align=right><col valign=bottom><tr><td>a<td>b<tr><td rowspan=2>c<td>d"
      "<tr><td colspan=2>e</table>");
  EXPECT_TRUE(contains(dump, "section align=right \"a \"")) << dump;
  EXPECT_TRUE(contains(dump, "valign=4")) << dump;
  // "e" starts in the second column (the first is taken by "c"): one slot left.
  EXPECT_TRUE(contains(dump, "cell colspan=1 rowspan=1 valign=2\n            section align=left \"e \"") ||
              contains(dump, "colspan=1")) << dump;
}

TEST(TableModel, EleventhNestedTableJoinsItsCell) {
  std::string page;
  for (int i = 0; i < 11; ++i) page += "<table><tr><td>";
  page += "inner";
  for (int i = 0; i < 11; ++i) page += "</td></tr></table>";
  page += "after";
  const std::string dump = buildhelp::Dump(page);
  EXPECT_EQ(std::count(dump.begin(), dump.end(), 'k') >= 0, true);
  size_t tables = 0;
  for (size_t p = dump.find("table border"); p != std::string::npos; p = dump.find("table border", p + 1)) ++tables;
  EXPECT_EQ(tables, 10u);
  EXPECT_TRUE(contains(dump, "\"inner \"")) << dump;
  EXPECT_TRUE(contains(dump, "after")) << dump;
}

// ---- lists and blocks ----

TEST(ListItems, NumbersAndBulletsFollowTypeAndLevel) {
  auto doc = buildhelp::NewDocument();
  TProperties props;
  TBlockLI upper(doc.get(), &props, doc.get(), symOL, false, u'A', 3, 1, nullptr);
  EXPECT_EQ(upper.NumberText(), u"C.");
  TBlockLI roman(doc.get(), &props, doc.get(), symOL, false, u'i', 4, 1, nullptr);
  EXPECT_EQ(roman.NumberText(), u"iv.");
  TBlockLI bullet(doc.get(), &props, doc.get(), symUL, false, u'1', 1, 3, nullptr);
  EXPECT_EQ(bullet.ListStyle, lbSquare);
  EXPECT_EQ(bullet.NumberText(), u"");
  TBlockLI lone(doc.get(), &props, doc.get(), symLoneItemEnd, false, u'1', 1, 0, nullptr);
  EXPECT_EQ(lone.ListType, lkLoneItem);
  EXPECT_EQ(lone.BoxProps[MA(piMarginLeft)], TPropValue(16));
}

TEST(ListItems, OnlyAnItemsOwnFirstSectionGetsTheBulletSpace) {
  // An empty item keeps a no-break space so that its bullet has a line.
  EXPECT_TRUE(contains(buildhelp::Dump("<dl><dt></dl>"), "section align=left \"\\s \""));
  // Once the first section has gone into the item (before the centred
  // block), a later one is not it, even when it is made where the first
  // one was freed.
  const std::string dump = buildhelp::Dump(
      "<dt><center><a href=\"entry://the\" class=hw></center><a name=n5 style=\"text-indent: 5% !important\">");
  EXPECT_TRUE(contains(dump, "anchor \"\"")) << dump;
  EXPECT_FALSE(contains(dump, "\\s")) << dump;
}

TEST(Builder, EmptyParagraphsCollapseIntoTheLastOnesAttributes) {
  // The block takes the last P's attributes; the tag that ends the run of
  // paragraphs keeps its own.
  const std::string dump = buildhelp::Dump(
      "<p class=x id=first></p> <p class=y id=second style=\"margin-left:30px\"><font color=#008000 size=5>t</font>");
  EXPECT_TRUE(contains(dump, "block p.y#second ")) << dump;
  EXPECT_TRUE(contains(dump, "ids second\n")) << dump;
  EXPECT_TRUE(contains(dump, "run @0 DejaVu Serif 24px #008000")) << dump;
}

TEST(Builder, LinksThatLookAlikeShareTheirStatesAndHoverAlone) {
  auto doc = buildhelp::Build(
      "<a href=\"entry://one\">one</a> <a href=\"entry://two\">two</a> "
      "<a href=\"entry://three\" style=\"color:#FF0000\">three</a>");
  ASSERT_EQ(doc->Links.size(), 3u);
  TFontObj* one = doc->Links[0];
  TFontObj* two = doc->Links[1];
  TFontObj* three = doc->Links[2];
  ASSERT_TRUE(one->LinkStates() && two->LinkStates() && three->LinkStates());
  EXPECT_EQ(one->LinkStates(), two->LinkStates());
  EXPECT_NE(one->LinkStates(), three->LinkStates());
  EXPECT_EQ(three->Font()->Color() & 0xFFFFFF, 0x0000FF);  // red (as the colour value keeps it)
  const TColor normal = two->Font()->Color();
  const int height = two->Font()->Height();
  one->SetHover(true);
  EXPECT_EQ(one->Font()->Color(), one->LinkStates()->Ar[HLFont].iColor);
  EXPECT_EQ(two->Font()->Color(), normal);
  EXPECT_EQ(two->Font()->Height(), height);
  EXPECT_FALSE(two->Hover());
}

TEST(Builder, EachTagHasOnlyItsOwnAttributes) {
  // The attribute objects of one tag are made again for the next: nothing
  // of the longer list before may be left in the shorter one after it.
  auto doc = buildhelp::Build(
      "<a href=\"entry://one\" title=\"first link\" target=\"side\" class=\"c\">one</a> "
      "<a href=\"entry://two\">two</a>");
  ASSERT_EQ(doc->Links.size(), 2u);
  EXPECT_EQ(doc->Links[0]->Title(), u"first link");
  EXPECT_EQ(doc->Links[0]->UrlTarget()->Target, u"side");
  EXPECT_EQ(doc->Links[1]->UrlTarget()->URL, u"entry://two");
  EXPECT_EQ(doc->Links[1]->Title(), u"");
  EXPECT_EQ(doc->Links[1]->UrlTarget()->Target, u"");
  EXPECT_EQ(doc->Links[1]->UrlTarget()->Attr, u"HREF=entry://two\r\n");
}

TEST(Builder, LineBreaksTakePageBreaksFromRulesAndFromSpans) {
  auto pages = [](const std::string& html) {
    const std::string dump = buildhelp::Dump(html);
    size_t n = 0;
    for (size_t at = dump.find("\n    page"); at != std::string::npos; at = dump.find("\n    page", at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(pages("a<br>b<br>c"), 0u);
  EXPECT_EQ(pages("<style>br { page-break-after: always }</style>a<br>b<br>c"), 2u);
  EXPECT_EQ(pages("a<br style=\"page-break-before: always\">b"), 1u);
  // A span passes everything on, page breaks included.
  EXPECT_EQ(pages("<span style=\"page-break-before: always\">a<br>b</span><br>c"), 1u);
}

TEST(Blocks, AdjacentParagraphMarginsCollapse) {
  const std::string dump = buildhelp::Dump(
      "<div>x</div><p style='margin-bottom:10px'>a</p><p style='margin-top:-4px'>b</p>"
      "<p style='margin-bottom:-3px'>c</p><p style='margin-top:-8px'>d</p>");
  EXPECT_TRUE(contains(dump, "margin=6/")) << dump;
  EXPECT_TRUE(contains(dump, "margin=-8/")) << dump;
}

TEST(Blocks, ParagraphEndedByTableLosesItsBottomMargin) {
  const std::string dump = buildhelp::Dump("<p>text<table><tr><td>x</table>");
  EXPECT_TRUE(contains(dump, "block p.# margin=0/0\n")) << dump;
}

TEST(Builder, ManyLinksSetTheManyLinksFlag) {
  std::string page;
  for (int i = 0; i < 401; ++i) page += "<a href=x>l</a> ";
  EXPECT_TRUE(buildhelp::Build(page)->NoTabLinks);
  page.clear();
  for (int i = 0; i < 400; ++i) page += "<a href=x>l</a> ";
  EXPECT_FALSE(buildhelp::Build(page)->NoTabLinks);
  // Only A tags with an address count: none inside values or comments.
  std::string decoys;
  for (int i = 0; i < 399; ++i)
    decoys += "<A class=\"w\" HREF='x&amp;y'>l</a> <img alt=\"<a href=y>\"> <!-- <a href=z> --> "
              "<p title='<a href=q>' width=5> <a name=n> </a href=e> ";
  EXPECT_FALSE(buildhelp::Build(decoys)->NoTabLinks);
  EXPECT_FALSE(buildhelp::Build(decoys + "<a\r\nhref=\"x\">")->NoTabLinks);
  EXPECT_TRUE(buildhelp::Build(decoys + "<a href=x><a\r\nhref=\"x\">")->NoTabLinks);
}

TEST(Builder, TitleBaseAndPlainText) {
  auto doc = buildhelp::NewDocument();
  const std::string page = "<title> The  Title </title><base href='http://h/x/' target=f><p>x";
  auto buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"page");
  THtmlParser parser(buffer.get());
  parser.ParseHtml(doc.get(), nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(parser.GetTitle(), u"The  Title");
  EXPECT_EQ(parser.Base, u"http://h/x/");
  EXPECT_EQ(parser.BaseTarget, u"f");

  auto text = buildhelp::NewDocument();
  const std::string plain = "line one\n  line <two>\n";
  auto buffer2 = TBuffer::CreateFromBytes(plain.data(), plain.size(), u"text");
  THtmlParser textParser(buffer2.get());
  textParser.ParseText(text.get());
  const std::string dump = DumpDocument(*text);
  EXPECT_TRUE(contains(dump, "pre align=left \"line one \"")) << dump;
  EXPECT_TRUE(contains(dump, "pre align=left \"  line <two> \"")) << dump;
}

TEST(Builder, ScriptContentReachesOnlyTheScriptEvent) {
  const std::string page = "<script>var a = '<b>';\nalert(a)</script><p>shown";
  EXPECT_FALSE(contains(buildhelp::Dump(page), "alert"));
  auto doc = buildhelp::NewDocument();
  String got;
  doc->OnScript = [&](TObject*, const String&, const String&, const String&, const String& s) { got = s; };
  auto buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"page");
  THtmlParser parser(buffer.get());
  parser.ParseHtml(doc.get(), nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(got.find(u"alert(a)"), String::npos);
  EXPECT_NE(got.find(u"\r\n"), String::npos);
}

TEST(Builder, UnclosedPreformattedTextEndsWithTheData) {
  const std::string dump = buildhelp::Dump("<<pre>\n  l-ine one   w");
  EXPECT_TRUE(contains(dump, "pre align=left \"  l-ine one   w \"")) << dump;
}

TEST(PropertyStack, StyleAttributesOutliveTheirTag) {
  // Closing the I re-derives the open link above it, whose STYLE attribute
  // belonged to an attribute list that later tags have reused.
  const std::string dump =
      buildhelp::Dump("<i><a href=x style='color:green'>t<b style='color:blue'>u</b></i>v</a>");
  const size_t v = dump.find("run @2 ");
  ASSERT_NE(v, std::string::npos) << dump;
  EXPECT_NE(dump.find("#008000 link=x", v), std::string::npos) << dump;
}

TEST(BuilderLimits, ConvertedLengthsNeverReadAsAuto) {
  TVMarginArray vm;
  vm[MA(piMarginLeft)] = TPropValue(u"-12348765px");
  vm[MA(piWidth)] = TPropValue(u"-12348765px");
  vm[MA(piMarginRight)] = TPropValue(u"auto");
  TMarginArray m{};
  int autoCount = 0;
  ConvertMarginArray(vm, 500, 500, 16, 8, 1, autoCount, m);
  EXPECT_EQ(autoCount, 1);  // only the margin written as "auto"
  EXPECT_NE(m[MA(piMarginLeft)], AutoValue);
  EXPECT_GT(m[MA(piMarginLeft)], NotSetValue);
  EXPECT_NE(m[MA(piWidth)], AutoValue);
  EXPECT_EQ(m[MA(piMarginRight)], AutoValue);
}

TEST(BuilderLimits, HugeLengthsAreBoundedSoLayoutSumsCannotOverflow) {
  TVMarginArray vm;
  vm[MA(piHeight)] = TPropValue(u"10000000000px");
  vm[MA(piTop)] = TPropValue(u"2147483647px");
  vm[MA(piPaddingLeft)] = TPropValue(u"1e308px");
  vm[MA(piMarginTop)] = TPropValue(u"99999999pt");
  vm[MA(piBorderTopStyle)] = TPropValue(int(bssSolid));
  vm[MA(piBorderTopWidth)] = TPropValue(u"99999999999px");
  TMarginArray m{};
  int autoCount = 0;
  ConvertMarginArray(vm, 500, 500, 16, 8, 1, autoCount, m);
  for (TPropertyIndex i : {piHeight, piTop, piPaddingLeft, piMarginTop, piBorderTopWidth})
    EXPECT_LE(m[MA(i)], 10000000) << int(i);
  // Still very large: the page gets the tall box it asked for.
  for (TPropertyIndex i : {piHeight, piTop}) EXPECT_GT(m[MA(i)], 1000000) << int(i);
}

TEST(Builder, ObjectsBecomePanelsOnlyWhenTheViewerWantsThem) {
  const std::string page = "<object name=o type=x><param name=a value=1><param name=b>fallback text</object>after";
  auto build = [&](bool want, String& params) {
    auto doc = buildhelp::NewDocument();
    auto buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"page");
    THtmlParser parser(buffer.get());
    parser.OnObjectTag = [&](TObject*, TPanelObj* panel, const TStringList&, const TStringList& p, bool& wantPanel) {
      EXPECT_NE(panel, nullptr);
      params = p.Text();
      wantPanel = want;
    };
    parser.ParseHtml(doc.get(), nullptr, nullptr, nullptr, nullptr);
    return doc;
  };
  String params;
  auto shown = build(true, params);
  const std::string a = DumpDocument(*shown);
  EXPECT_EQ(params, u"a=1\r\nb\r\n");
  EXPECT_TRUE(contains(a, "panel name=o @0")) << a;
  EXPECT_FALSE(contains(a, "fallback")) << a;
  EXPECT_EQ(shown->Panels.size(), 1u);
  auto fallback = build(false, params);
  const std::string b = DumpDocument(*fallback);
  EXPECT_TRUE(contains(b, "fallback text")) << b;
  EXPECT_TRUE(fallback->Panels.empty());
}

TEST(IndentManager, FloatsAndBlockEdgesConstrainTheirBands) {
  TIndentManager mgr;
  mgr.Init(10, 300);
  EXPECT_EQ(mgr.LeftIndent(0), 10);
  EXPECT_EQ(mgr.RightSide(0), 310);
  mgr.AddLeft(100, 200, 150);  // a left float 150 wide over [100, 200)
  EXPECT_EQ(mgr.LeftIndent(150), 160);
  EXPECT_EQ(mgr.LeftIndent(200), 10);  // the band ends before its bottom
  EXPECT_EQ(mgr.GetNextWiderY(120), 200);
  int cl = 0, cr = 0;
  mgr.GetClearY(cl, cr);
  EXPECT_EQ(cl, 201);  // one below the lowest float bottom
  EXPECT_EQ(cr, 0);
  // An edge of another block is ignored while that block is not current.
  int blockA = 0, blockB = 0;
  mgr.CurrentID = &blockA;
  mgr.SetLeftIndent(40, 0);
  EXPECT_EQ(mgr.LeftIndent(50), 50);
  mgr.CurrentID = &blockB;
  EXPECT_EQ(mgr.LeftIndent(50), 10);
  // A float too wide for the gap beside another goes below it.
  mgr.CurrentID = nullptr;
  int y = 120;
  const int x = mgr.AlignLeft(y, 200, 0, 0);
  EXPECT_EQ(y, 200);
  EXPECT_EQ(x, 10);
}

// What a search for room keeps for the later ones finds what a search
// from nothing finds. Both managers get the same floats of mixed widths,
// heights (none, too) and sides, some inside a nested block; in the second
// they stand behind a record of another block, so each of its searches
// learns anew.
TEST(IndentManager, KeptRoomsFindWhatAFreshSearchFinds) {
  for (unsigned seed = 1; seed <= 16; ++seed) {
    TIndentManager kept, fresh;
    int block = 0, other = 0, child = 0;
    for (TIndentManager* m : {&kept, &fresh}) {
      m->Init(0, 400);
      m->CurrentID = &block;
      m->SetLeftIndent(0, 0);
      m->SetRightIndent(400, 0);
    }
    fresh.CurrentID = &other;
    fresh.SetLeftIndent(0, 0);
    fresh.SetRightIndent(400, 0);
    fresh.CurrentID = &block;
    unsigned r = seed;
    auto next = [&r](int n) { return int(((r = r * 1103515245u + 12345u) >> 8) % unsigned(n)); };
    int base = 0, nested = 0, records[2][2] = {};
    for (int i = 0; i < 500; ++i) {
      if (nested == 0 && next(30) == 0) {
        // A block with edges of its own (left of the outer one, too) holds the next floats.
        nested = 1 + next(20);
        const int lf = next(80) - 20, rt = 400 - next(80);
        for (int k = 0; k < 2; ++k) {
          TIndentManager& m = k ? fresh : kept;
          m.CurrentID = &child;
          records[k][0] = m.SetLeftIndent(lf, base);
          records[k][1] = m.SetRightIndent(rt, base);
        }
      }
      base += next(8) == 0 ? next(30) : 0;
      const int w = next(2) == 0 ? 25 * next(12) : next(300), h = next(4) == 0 ? 0 : 1 + next(40);
      const bool left = next(3) != 0;
      int yKept = base, yFresh = base;
      const int xKept = left ? kept.AlignLeft(yKept, w, 0, 0) : kept.AlignRight(yKept, w, 0, 0);
      const int xFresh = left ? fresh.AlignLeft(yFresh, w, 0, 0) : fresh.AlignRight(yFresh, w, 0, 0);
      ASSERT_EQ(std::pair(xKept, yKept), std::pair(xFresh, yFresh)) << "seed " << seed << " float " << i;
      const bool leaving = nested > 0 && --nested == 0;
      for (int k = 0; k < 2; ++k) {
        TIndentManager& m = k ? fresh : kept;
        left ? m.AddLeft(yKept, yKept + h, w) : m.AddRight(yKept, yKept + h, w);
        if (!leaving) continue;
        m.FreeLeftIndentRec(records[k][0]);
        m.FreeRightIndentRec(records[k][1]);
        m.CurrentID = &block;
      }
    }
  }
}
