// Article markup, the page around it, the about page and the help style
// sheet.
#include "app/article.h"

#include "platform/core/strings.h"
#include "platform/graphics/colors.h"
#include "tests/app/app_test_util.h"

namespace {
String convert(const String& text, std::vector<String> words = {}) { return ConvertArticleMarkup(text, 2, words); }
}  // namespace

TEST(ArticleMarkup, TheTagTable) {
  EXPECT_EQ(convert(u"<1>b</1><2>i</2><3>u</3><4>[t]</4>x<9>y&acute;"),
            u"<B>b</B><I>i</I><U>u</U><FONT style=\"font-family: Lucida Sans Unicode; font-size: 16pt\">[t]</FONT>"
            u"x<BR><BR>&bull; y`");
  // Tags outside the table pass unchanged.
  EXPECT_EQ(convert(u"<6>a</6><8>b</8><0>"), u"<6>a</6><8>b</8><0>");
}

TEST(ArticleMarkup, MediaBlocksAndCrossReferences) {
  EXPECT_EQ(convert(u"a<5>p.png</5>b"),
            u"a<DIV><a href=\"*2/p.png\"><IMG style=\"border: 1px #e0e0e0 dashed\" SRC=\"*2/p.png\"></a></DIV>b");
  // Two pictures of the same name both become links and images.
  const String two = convert(u"<5>p.png</5><5>p.png</5>");
  size_t n = 0;
  for (size_t at = 0; (at = two.find(u"SRC=\"*2/p.png\"", at)) != String::npos; ++at) ++n;
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(convert(u"see <7>wolf</7>, <7>fox</7>"), u"see <A href=\"#wolf\">wolf</A>, <A href=\"#fox\">fox</A>");
  // Quotes in a target or a name cannot end the attribute.
  EXPECT_EQ(convert(u"<7>a\"b</7>"), u"<A href=\"#a&quot;b\">a\"b</A>");
  EXPECT_NE(convert(u"<5>x\" onclick=\"y</5>").find(u"*2/x&quot; onclick=&quot;y\""), String::npos);
}

TEST(ArticleMarkup, UnclosedMediaStayTextAndUnclosedLinksOpenAnEmptyLink) {
  EXPECT_EQ(convert(u"a<5>p.png"), u"a<5>p.png");
  EXPECT_EQ(convert(u"a<7>wolf"), u"a<A href=\"#\">wolf");
  // A close before the open does not pair with it.
  EXPECT_EQ(convert(u"</7>x<7>y"), u"</7>x<A href=\"#\">y");
  EXPECT_EQ(convert(u"<7>a</7><7>b<7>c"), u"<A href=\"#a\">a</A><A href=\"#\">b<A href=\"#\">c");
  EXPECT_EQ(convert(u"<5>a.png</5><5>b"),
            u"<DIV><a href=\"*2/a.png\"><IMG style=\"border: 1px #e0e0e0 dashed\" SRC=\"*2/a.png\"></a></DIV><5>b");
}

TEST(ArticleMarkup, HighlightingTouchesShownTextOnly) {
  const String mark = u"<FONT style=\"background-color: #E0FFFF\">";
  // The mark holds the article's own characters, however the word was typed.
  const struct {
    const char16_t* Article;
    const char16_t* Word;
    const char16_t* Page;
  } kOwnSpelling[] = {
      {u"Лес и ЛЕС", u"лес", u"<m>Лес</m> и <m>ЛЕС</m>"},
      {u"палата; Палата общин", u"ПАЛАТА", u"<m>палата</m>; <m>Палата</m> общин"},
      {u"a<1> & House</1>", u"hOUSE", u"a<B> & <m>House</m></B>"},
  };
  for (const auto& c : kOwnSpelling) {
    String expected = c.Page;
    for (size_t at; (at = expected.find(u"<m>")) != String::npos;) expected.replace(at, 3, mark);
    for (size_t at; (at = expected.find(u"</m>")) != String::npos;) expected.replace(at, 4, u"</FONT>");
    EXPECT_EQ(convert(c.Article, {c.Word}), expected) << UTF16ToUTF8(c.Article);
  }
  // Not inside tags, media names or link targets; a word met again inside
  // the markup an earlier word added is left alone.
  EXPECT_EQ(convert(u"<1>font</1> <5>font.png</5> <7>font</7>", {u"font"}),
            u"<B>" + mark + u"font</FONT></B> <DIV><a href=\"*2/font.png\"><IMG style=\"border: 1px #e0e0e0 "
            u"dashed\" SRC=\"*2/font.png\"></a></DIV> <A href=\"#font\">" + mark + u"font</FONT></A>");
  EXPECT_EQ(convert(u"red color", {u"red", u"color"}), mark + u"red</FONT> " + mark + u"color</FONT>");
}

TEST(ArticleMarkup, HighlightingSkipsQuotedAttributeValuesHoldingAngleBrackets) {
  const String mark = u"<FONT style=\"background-color: #E0FFFF\">";
  EXPECT_EQ(convert(u"<A title=\"a>b wolf\" href='x>wolf'>wolf</A> wolf", {u"wolf"}),
            u"<A title=\"a>b wolf\" href='x>wolf'>" + mark + u"wolf</FONT></A> " + mark + u"wolf</FONT>");
  // An apostrophe in text after a lone '<' is no attribute quote.
  EXPECT_EQ(convert(u"a <b wolf's> wolf", {u"wolf"}), u"a <b wolf's> " + mark + u"wolf</FONT>");
}

TEST(ArticleMarkup, HighlightingLeavesCharacterReferencesWhole) {
  const String mark = u"<FONT style=\"background-color: #E0FFFF\">";
  // The bullet of a new sense, written as a reference, still shows as a
  // bullet when the additional word is "bull"; the text around it is marked.
  EXPECT_EQ(convert(u"<9>bull", {u"bull"}), u"<BR><BR>&bull; " + mark + u"bull</FONT>");
  EXPECT_EQ(convert(u"AT&amp;T &#97;mp amp", {u"amp"}), u"AT&amp;T &#97;mp " + mark + u"amp</FONT>");
  // A lone ampersand is text like any other.
  EXPECT_EQ(convert(u"a & amp;", {u"amp"}), u"a & " + mark + u"amp</FONT>;");
}

TEST(ArticleMarkup, AdjacentLinkAndMediaElementsKeepTargetAndName) {
  const String mark = u"<FONT style=\"background-color: #E0FFFF\">";
  EXPECT_EQ(convert(u"<7>pic</7><5>pic.png</5>", {u"PIC"}),
            u"<A href=\"#pic\">" + mark + u"pic</FONT></A><DIV><a href=\"*2/pic.png\"><IMG style=\"border: 1px "
            u"#e0e0e0 dashed\" SRC=\"*2/pic.png\"></a></DIV>");
}

TEST(ArticleMarkup, CrossReferenceTextIsMarkedAndItsTargetIsTheBareWord) {
  const String mark = u"<FONT style=\"background-color: #E0FFFF\">";
  // An additional word met only in a cross-reference is marked there too.
  EXPECT_EQ(convert(u"see <7>wolf</7>, <7>fox</7>.", {u"wolf", u"fox"}),
            u"see <A href=\"#wolf\">" + mark + u"wolf</FONT></A>, <A href=\"#fox\">" + mark + u"fox</FONT></A>.");
  EXPECT_EQ(convert(u"<7>see wolf here</7>", {u"wolf"}),
            u"<A href=\"#see wolf here\">see " + mark + u"wolf</FONT> here</A>");
  // Markup inside or around a cross-reference stays out of what it searches.
  EXPECT_EQ(convert(u"<7><1>wolf</1></7> <1><7>fox</7></1>"),
            u"<A href=\"#wolf\"><B>wolf</B></A> <B><A href=\"#fox\">fox</A></B>");
  // A reference in it searches for the character it shows; a bare
  // ampersand stays an ampersand.
  EXPECT_EQ(convert(u"<7>caf&eacute;</7> <7>AT&amp;T</7> <7>R&D</7>"),
            u"<A href=\"#caf&eacute;\">caf&eacute;</A> <A href=\"#AT&amp;T\">AT&amp;T</A> "
            u"<A href=\"#R&amp;D\">R&D</A>");
  EXPECT_EQ(convert(u"<7><2>big</2> wolf</7>", {u"big"}),
            u"<A href=\"#big wolf\"><I>" + mark + u"big</FONT></I> wolf</A>");
}

TEST(ArticlePage, PieceByPieceWithTheHeadingEscaped) {
  EXPECT_EQ(BuildPage(u"<BR>", u"<B>x</B>", TColor(0x00E0C0A0), clBlack, u"DejaVu Sans", 12),
            u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" /></head>"
            u"<body bgcolor=\"#A0C0E0\" style=\"margin-right: 20px; margin-bottom: 20px; color: #000000; "
            u"font-family: DejaVu Sans; font-size: 12pt\"><h1>&lt;BR&gt;</h1><B>x</B></body></html>");
  EXPECT_EQ(ColorToHtml(clRed), u"#FF0000");
  EXPECT_EQ(ColorToHtml(TColor(0x000A0B0C)), u"#0C0B0A");
}

TEST(ArticlePage, AboutPageUsesTheTemplateLinesAndEscapesProperties) {
  DictRecordType r;
  r.InfoText2 = "desc <script>";
  r.InfoText0 = "author";
  r.InfoNumber = 42;
  r.InfoText8 = "src";
  r.InfoText6 = "lic";
  r.InfoText7 = "never shown";
  r.Languages = "en";
  r.InfoText5 = "1.0";
  r.InfoText9 = "2026";
  r.InfoFlag = true;
  std::vector<String> lines;
  for (int i = 1; i <= 11; ++i) lines.push_back(u"L" + IntToStr(i) + u":");
  EXPECT_EQ(BuildAboutBody(lines, r),
            u"L1:desc &lt;script&gt;<BR><HR>L2:author<BR><HR>L3:42<BR><HR>L4:src<BR><HR>L5:lic<BR><HR>"
            u"L7:en<BR><HR>L8:1.0<BR><HR>L9:2026<BR><HR>L10:-1<BR><HR>");
  // A short template leaves the missing lines empty.
  EXPECT_EQ(BuildAboutBody({u"A"}, DictRecordType{}),
            u"A<BR><HR><BR><HR>0<BR><HR><BR><HR><BR><HR><BR><HR><BR><HR><BR><HR>0<BR><HR>");
}

namespace {
class HelpStyle : public apptest::ProgramFolder {};
}  // namespace

TEST_F(HelpStyle, PlaceholdersFilledOncePerLine) {
  apptest::writeFile(Dir / "help/template.css",
                     "body { background: _HtmlBgColor_; color: _HtmlTextColor_; }\n"
                     "p { font: _FontSize_pt _FontName_; x: _FontSize_; }\n");
  WriteHelpStyleSheet(u"help/template.css", u"help/style.css", clWhite, TColor(0x00332211), 11, u"DejaVu Serif");
  EXPECT_EQ(apptest::readFile(Dir / "help/style.css"),
            "body { background: #FFFFFF; color: #112233; }\r\np { font: 11pt \"DejaVu Serif\"; x: _FontSize_; }\r\n");
  EXPECT_EQ(ReadTemplateLines(u"help/style.css", 1).size(), 1u);
}
