// The CSS reader: selectors, shorthands, at-rules, comments, url() values
// and style attributes.
#include <gtest/gtest.h>

#include "html/parse/style_parser.h"

namespace {

class Css : public ::testing::Test {
protected:
  // Reads a sheet as from a style element; returns the stop character.
  char16_t Read(const String& css, const String& path = String(), bool fromLink = false) {
    auto buffer = TBuffer::CreateFromString(css, u"sheet.css");
    char16_t ch = u'>';
    ParseStyleSheet(Styles, ch, *buffer, path, fromLink);
    return ch;
  }
  const TProperties* Rule(const String& key) const {
    int i;
    return Styles.Find(key, i) ? Styles.Objects(i) : nullptr;
  }
  String Text(const String& key, TPropertyIndex slot) const {
    const TProperties* r = Rule(key);
    return r ? r->Props[slot].AsString() : u"<no rule>";
  }
  TStyleList Styles;
};

TEST_F(Css, WrappedInCommentStopsAtEndTag) {
  EXPECT_EQ(Read(u"<!--\n h1, H2 { text-align: center }\n-->\n</style><p>"), u'<');
  EXPECT_EQ(Text(u"h1", piTextAlign), u"center");
  EXPECT_EQ(Text(u"h2", piTextAlign), u"center");
  // An empty style element stops at once, taking nothing after it.
  EXPECT_EQ(Read(u"</style>p { color: red }"), u'<');
  EXPECT_EQ(Rule(u"p"), nullptr);
}

TEST_F(Css, UnsupportedSelectorsDropTheirRule) {
  Read(u"a+b { color: red } a[href] { color: red } a ~ b { color: red } "
       u"p::first-line { color: red } div * { color: red } .ok, x[y] { color: red }");
  EXPECT_EQ(Styles.Count(), 1);
  EXPECT_NE(Rule(u".ok"), nullptr);
}

TEST_F(Css, MediaBlocks) {
  Read(u"@media print { p { color: red } } @media screen, print { b { color: red } } "
       u"@media all { i { color: red } } @media handheld { u { color: red } } "
       u"@import url(x.css); @font-face { font-family: x } s { color: red }");
  EXPECT_EQ(Rule(u"p"), nullptr);
  EXPECT_NE(Rule(u"b"), nullptr);
  EXPECT_NE(Rule(u"i"), nullptr);
  EXPECT_EQ(Rule(u"u"), nullptr);
  EXPECT_NE(Rule(u"s"), nullptr);
  EXPECT_EQ(Styles.Count(), 3);
}

TEST_F(Css, Comments) {
  Read(u"p /* x { } */ { /* a */ color /**/ : red; width: 1px /* trailing } */ } b{width:2px}");
  EXPECT_EQ(Rule(u"p")->Props[piColor].AsInt(), 0x0000FF);
  EXPECT_EQ(Text(u"p", piWidth), u"1px");
  EXPECT_EQ(Text(u"b", piWidth), u"2px");
  // An unclosed comment ends the sheet; what came before it stays.
  TStyleList other;
  auto buffer = TBuffer::CreateFromString(u"i { width: 3px } /* open { ", u"s");
  char16_t ch = u' ';
  EXPECT_NO_THROW(ParseStyleSheet(other, ch, *buffer, String(), true));
  EXPECT_EQ(ch, 0);
  EXPECT_EQ(other.Count(), 1);
}

TEST_F(Css, BoxShorthands) {
  Read(u"p { margin: 1px 2px 3px } b { padding: 4px } i { border-width: 1px 2px } "
       u"u { border-color: red green blue black; border-style: solid dotted }");
  EXPECT_EQ(Text(u"p", piMarginTop), u"1px");
  EXPECT_EQ(Text(u"p", piMarginRight), u"2px");
  EXPECT_EQ(Text(u"p", piMarginBottom), u"3px");
  EXPECT_EQ(Text(u"p", piMarginLeft), u"2px");
  EXPECT_EQ(Text(u"b", piPaddingLeft), u"4px");
  EXPECT_EQ(Text(u"i", piBorderBottomWidth), u"1px");
  EXPECT_EQ(Text(u"i", piBorderLeftWidth), u"2px");
  EXPECT_EQ(Rule(u"u")->Props[piBorderLeftColor].AsInt(), 0);
  EXPECT_EQ(Rule(u"u")->Props[piBorderRightColor].AsInt(), 0x008000);
  EXPECT_EQ(Text(u"u", piBorderRightStyle), u"dotted");
  EXPECT_EQ(Text(u"u", piBorderBottomStyle), u"solid");
}

TEST_F(Css, BorderShorthands) {
  Read(u"p { border: 1px solid #f00 } b { border-left: dashed rgb(0, 0, 255) thick }");
  for (TPropertyIndex w : {piBorderTopWidth, piBorderRightWidth, piBorderBottomWidth,
                           piBorderLeftWidth})
    EXPECT_EQ(Text(u"p", w), u"1px");
  EXPECT_EQ(Text(u"p", piBorderTopStyle), u"solid");
  EXPECT_EQ(Rule(u"p")->Props[piBorderBottomColor].AsInt(), 0x0000FF | PaletteRelativeFlag);
  EXPECT_EQ(Text(u"b", piBorderLeftStyle), u"dashed");
  EXPECT_EQ(Text(u"b", piBorderLeftWidth), u"thick");
  EXPECT_EQ(Rule(u"b")->Props[piBorderLeftColor].AsInt(), 0xFF0000);
  EXPECT_EQ(Rule(u"b")->Props[piBorderTopStyle].AsInt(), NotSetValue);
}

TEST_F(Css, FontShorthand) {
  Read(u"p { font: bold 12px/1.5 Arial } b { font: italic small-caps 700 x-large "
       u"\"Times New Roman\", serif }");
  EXPECT_EQ(Text(u"p", piFontWeight), u"bold");
  EXPECT_EQ(Text(u"p", piFontSize), u"12px");
  EXPECT_EQ(Text(u"p", piLineHeight), u"1.5");
  EXPECT_EQ(Text(u"p", piFontFamily), u"arial");
  EXPECT_EQ(Text(u"p", piFontStyle), u"normal");
  EXPECT_EQ(Text(u"b", piFontStyle), u"italic");
  EXPECT_EQ(Text(u"b", piFontVariant), u"small-caps");
  EXPECT_EQ(Text(u"b", piFontWeight), u"700");
  EXPECT_EQ(Text(u"b", piFontSize), u"x-large");
  EXPECT_EQ(Text(u"b", piFontFamily), u"\"Times New Roman\",serif");
}

TEST_F(Css, BackgroundAndListShorthands) {
  Read(u"p { background: #fff url(Img/Back.PNG) no-repeat fixed right top } "
       u"b { background: none } ul { list-style: square inside url(\"Dot.gif\") }");
  EXPECT_EQ(Rule(u"p")->Props[piBackgroundColor].AsInt(), 0xFFFFFF | PaletteRelativeFlag);
  EXPECT_EQ(Text(u"p", piBackgroundImage), u"url(Img/Back.PNG)");  // case kept
  EXPECT_EQ(Text(u"p", piBackgroundRepeat), u"no-repeat");
  EXPECT_EQ(Text(u"p", piBackgroundAttachment), u"fixed");
  EXPECT_EQ(Text(u"p", piBackgroundPosition), u"right top");
  EXPECT_EQ(Rule(u"b")->Props[piBackgroundColor].AsInt(), clNone);
  EXPECT_EQ(Text(u"b", piBackgroundImage), u"none");
  EXPECT_EQ(Text(u"b", piBackgroundPosition), u"0% 0%");
  EXPECT_EQ(Text(u"ul", piListStyleType), u"square");
  EXPECT_EQ(Text(u"ul", piListStyleImage), u"url(\"Dot.gif\")");
}

TEST_F(Css, UrlsResolveAgainstTheBase) {
  Read(u"p { background-image: url(Pics/A.png) } b { background-image: url(/abs/B.png) } "
       u"i { background: url('http://x.org/C.png') }",
       u"/data/help");
  EXPECT_EQ(Text(u"p", piBackgroundImage), u"url(/data/help/Pics/A.png)");
  EXPECT_EQ(Text(u"b", piBackgroundImage), u"url(/abs/B.png)");
  EXPECT_EQ(Text(u"i", piBackgroundImage), u"url(http://x.org/C.png)");
  TStyleList web;
  auto buffer = TBuffer::CreateFromString(u"p { background-image: url(../img/D.png) }", u"s");
  char16_t ch = u' ';
  ParseStyleSheet(web, ch, *buffer, u"http://site.org/css/", true);
  int i;
  ASSERT_TRUE(web.Find(u"p", i));
  EXPECT_EQ(web.Objects(i)->Props[piBackgroundImage].AsString(),
            u"url(http://site.org/img/D.png)");
}

TEST_F(Css, UrlsResolvedIntoAFolderWithBlanksStayWhole) {
  // A linked sheet in "sub dir/" naming a picture beside it: the resolved
  // name keeps its blanks (read unquoted, it ended at the first blank and
  // the picture was never found).
  Read(u"p { background-image: url(bg.png) } b { background: url('A b.png') repeat-x } "
       u"i { list-style-image: url(\"it's.png\") }",
       u"/data/sub dir");
  EXPECT_EQ(ExtractUrl(TPropValue(Text(u"p", piBackgroundImage))), u"/data/sub dir/bg.png");
  EXPECT_EQ(ExtractUrl(TPropValue(Text(u"b", piBackgroundImage))), u"/data/sub dir/A b.png");
  EXPECT_EQ(ExtractUrl(TPropValue(Text(u"i", piListStyleImage))), u"/data/sub dir/it's.png");
}

TEST_F(Css, QuotedValuesAndCase) {
  Read(u"P.Big { FONT-FAMILY: 'Ubuntu Mono'; Color: RED; width: 10PX }");
  const TProperties* r = Rule(u"p.big");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Props[piFontFamily].AsString(), u"Ubuntu Mono");
  EXPECT_EQ(r->Props[piColor].AsInt(), 0x0000FF);
  EXPECT_EQ(r->Props[piWidth].AsString(), u"10px");
}

TEST_F(Css, DeclarationsSkipNestedJunk) {
  Read(u"p { width: 1px; foo: bar(;}); height: 2px; } b { width: 3px }");
  EXPECT_EQ(Text(u"p", piWidth), u"1px");
  EXPECT_EQ(Text(u"p", piHeight), u"2px");
  EXPECT_EQ(Text(u"b", piWidth), u"3px");
}

TEST(CssAttribute, Declarations) {
  TProperties p;
  ParsePropertyString(u"color : red ; ; width=10px;MARGIN: 1px 2px;font-family:\"A B\"", p);
  EXPECT_EQ(p.Props[piColor].AsInt(), 0x0000FF);
  EXPECT_EQ(p.Props[piWidth].AsString(), u"10px");
  EXPECT_EQ(p.Props[piMarginLeft].AsString(), u"2px");
  EXPECT_EQ(p.Props[piFontFamily].AsString(), u"A B");
  TProperties q;
  ParsePropertyString(u"background-image: url(Pic.PNG); unknown: 1; height", q);
  EXPECT_EQ(q.Props[piBackgroundImage].AsString(), u"url(Pic.PNG)");  // not rewritten
  EXPECT_EQ(q.Props[piHeight].AsInt(), NotSetValue);
}

}  // namespace
