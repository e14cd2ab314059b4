// Line breaking at fixed widths: where lines end (blanks, hyphens, slashes,
// soft hyphens, no-break spaces, overlong words, preformatted text), line
// placement (alignment, justification) and the surrogate-pair rules. The
// widths come from the platform's own measuring of the DejaVu faces.
#include <gtest/gtest.h>

#include <regex>
#include <vector>

#include "html/model/block.h"
#include "html/model/section.h"
#include "platform/core/strings.h"
#include "tests/html/layout_helpers.h"

using layouthelp::sections;

namespace {

using layouthelp::Layout;
using layouthelp::TextWidth;

const String Sans = u"DejaVu Sans";

std::string page(const std::string& body, const std::string& pstyle = "") {
  return "<html><head><style>body{margin:0} p{margin:0; font-family:'DejaVu Sans'; font-size:12pt" +
         std::string(pstyle.empty() ? "" : "; ") + pstyle + "} pre{margin:0}</style></head><body>" + body +
         "</body></html>";
}

// The quoted texts of the dump's lines, in order.
std::vector<std::string> lineTexts(const std::string& dump) {
  std::vector<std::string> out;
  static const std::regex re("^ *line [^\"]*\"(.*)\"$");
  std::istringstream in(dump);
  std::string row;
  while (std::getline(in, row)) {
    std::smatch m;
    if (std::regex_match(row, m, re)) out.push_back(m[1]);
  }
  return out;
}

// 12pt at 96 dpi.
constexpr int Px = 16;

TEST(LayoutLines, BreaksAtBlanksHyphensAndSlashes) {
  const int w = TextWidth(Sans, Px, u"alpha beta gam");
  auto l = Layout(page("<p>alpha beta gamma delta</p>"), w);
  EXPECT_EQ(lineTexts(l.Dump()), (std::vector<std::string>{"alpha beta ", "gamma delta "}));

  // After a hyphen and after a slash, without a blank.
  const int wh = TextWidth(Sans, Px, u"well-kno");
  auto h = Layout(page("<p>well-known</p>"), wh);
  EXPECT_EQ(lineTexts(h.Dump()), (std::vector<std::string>{"well-", "known "}));
  const int ws = TextWidth(Sans, Px, u"either/o");
  auto s = Layout(page("<p>either/or</p>"), ws);
  EXPECT_EQ(lineTexts(s.Dump()), (std::vector<std::string>{"either/", "or "}));
}

TEST(LayoutLines, NoBreakSpaceHoldsWordsTogether) {
  const int w = TextWidth(Sans, Px, u"one two\u00A0thr");
  auto l = Layout(page("<p>one two&nbsp;three</p>"), w);
  EXPECT_EQ(lineTexts(l.Dump()), (std::vector<std::string>{"one ", "two\\sthree "}));
}

TEST(LayoutLines, SoftHyphenBreaksAndShowsAHyphen) {
  // Room for "dictio" and a hyphen, not for the whole word.
  const int w = TextWidth(Sans, Px, u"dictio-") + 1;
  auto l = Layout(page("<p>dictio&shy;nary</p>"), w);
  const std::string dump = l.Dump();
  EXPECT_EQ(lineTexts(dump), (std::vector<std::string>{"dictio", "nary "}));
  EXPECT_NE(dump.find("hyphen \"dictio\""), std::string::npos) << dump;
  // Without room for the hyphen the break moves to the word's start... there
  // is none, so the word overflows whole rather than lose its hyphen.
  const int narrow = TextWidth(Sans, Px, u"dictio");
  auto n = Layout(page("<p>dictio&shy;nary</p>"), narrow);
  EXPECT_EQ(lineTexts(n.Dump()).front(), "dictio");
}

TEST(LayoutLines, OverlongWordOverflowsOrBreaksWithBreakWord) {
  const int w = TextWidth(Sans, Px, u"abc");
  auto l = Layout(page("<p>abcdefghij klm</p>"), w);
  EXPECT_EQ(lineTexts(l.Dump()), (std::vector<std::string>{"abcdefghij ", "klm "}));
  EXPECT_GE(l.ScrollWidth, TextWidth(Sans, Px, u"abcdefghij"));

  auto b = Layout(page("<p>abcdefghij</p>", "word-wrap:break-word"), w);
  const auto lines = lineTexts(b.Dump());
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "abc");
  EXPECT_EQ(lines[1], "def");
}

TEST(LayoutLines, PreformattedTextNeverWraps) {
  auto l = Layout(page("<pre>a long preformatted line that is wider than the box</pre>"), 60);
  const auto lines = lineTexts(l.Dump());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "a long preformatted line that is wider than the box ");
  EXPECT_GT(l.ScrollWidth, 200);
}

// Each preformatted line with its top and height, in order.
struct PreLine {
  std::string Text;
  int Top, Height;
};
std::vector<PreLine> preLines(ThtDocument& doc) {
  std::vector<PreLine> out;
  for (TSection* s : sections(doc)) out.push_back({UTF16ToUTF8(s->Chars), s->LayoutTop, s->Height});
  return out;
}

// A plain-text document laid out as the viewer shows one.
layouthelp::Laid layoutText(const std::string& text, int width) {
  layouthelp::Laid l;
  l.Doc = buildhelp::NewDocument();
  auto buffer = TBuffer::CreateFromBytes(text.data(), text.size(), u"text");
  THtmlParser parser(buffer.get());
  parser.ParseText(l.Doc.get());
  l.Bitmap = std::make_unique<TBitmap>();
  l.Bitmap->SetSize(width, 400);
  int curs = 0;
  l.Height = l.Doc->DoLogic(l.Bitmap->Canvas(), 0, width, 400, 0, l.ScrollWidth, curs);
  return l;
}

// Blank lines of preformatted text and of plain-text documents are lines
// of the font's height; an LF CR pair is two line ends, CR LF one; the
// closing line end of a text document adds no line; a paragraph inside
// PRE ends the line before it and the text after it starts a new one.
TEST(LayoutLines, PreformattedLinesAndBlankLines) {
  auto pre = Layout(page("<pre>one\n\nthree</pre>"), 400);
  auto lines = preLines(*pre.Doc);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_GT(lines[0].Height, 10);
  EXPECT_EQ(lines[1].Height, lines[0].Height);
  EXPECT_EQ(lines[2].Top, lines[0].Top + 2 * lines[0].Height);

  auto text = layoutText("first\n\nthird\n", 400);
  lines = preLines(*text.Doc);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].Height, lines[0].Height);
  EXPECT_EQ(lines[2].Text, "third ");
  EXPECT_EQ(lines[2].Top, lines[0].Top + 2 * lines[0].Height);

  auto lfcr = layoutText("a\n\rb", 400);
  lines = preLines(*lfcr.Doc);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].Text, " ");
  EXPECT_EQ(lines[2].Top, lines[0].Top + 2 * lines[0].Height);
  EXPECT_EQ(preLines(*layoutText("a\r\nb\r\n", 400).Doc).size(), 2u);

  auto para = Layout(page("<pre>a<p>in p</p>b</pre>"), 400);
  lines = preLines(*para.Doc);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].Text, "a ");
  EXPECT_EQ(lines[1].Text, "in p ");
  EXPECT_EQ(lines[2].Text, "b ");
  EXPECT_GE(lines[1].Top, lines[0].Top + lines[0].Height);
  EXPECT_GE(lines[2].Top, lines[1].Top + lines[1].Height);
}

TEST(LayoutLines, LineBreakCharacterEndsTheLine) {
  auto l = Layout(page("<p>first<br>second</p>"), 400);
  const auto lines = lineTexts(l.Dump());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "second ");
}

TEST(LayoutLines, CentredAndRightLinesNeverStartLeftOfTheContent) {
  const int w = TextWidth(Sans, Px, u"abc");
  for (const char* align : {"center", "right"}) {
    auto l = Layout(page("<p>abcdefghijklmnop</p>", std::string("text-align:") + align), w);
    auto secs = sections(*l.Doc);
    ASSERT_EQ(secs.size(), 1u);
    ASSERT_EQ(secs[0]->Lines.size(), 1u);
    EXPECT_EQ(secs[0]->Lines[0].LineOffset, 0) << align;
  }
  // A short line is centred.
  auto c = Layout(page("<p>ab</p>", "text-align:center"), 200);
  const int wab = TextWidth(Sans, Px, u"ab");
  EXPECT_EQ(sections(*c.Doc)[0]->Lines[0].LineOffset, (200 - wab) / 2);
}

TEST(LayoutLines, JustifiedLinesStretchOnlyDrawnBlanksAndNeverShrink) {
  const int w = TextWidth(Sans, Px, u"aa bb cc dd") + 10;
  auto l = Layout(page("<p>aa bb cc dd ee ff gg</p>", "text-align:justify"), w);
  auto s = sections(*l.Doc)[0];
  ASSERT_GE(s->Lines.size(), 2u);
  const LineRec& first = s->Lines[0];
  // "aa bb cc dd " : three inner blanks stretch, the trailing one is not drawn.
  EXPECT_EQ(s->StretchOf(first).BlankCount, 3);
  EXPECT_GE(s->StretchOf(first).ExtraWidth, 0);
  EXPECT_EQ(s->StretchOf(first).ExtraWidth, w - TextWidth(Sans, Px, u"aa bb cc dd"));
  EXPECT_EQ(s->StretchOf(s->Lines.back()).ExtraWidth, 0);  // the last line is not stretched

  // An overlong justified line gets no negative spread.
  auto o = Layout(page("<p>abcdefghijklmnop q</p>", "text-align:justify"), 40);
  TSection* over = sections(*o.Doc)[0];
  for (const auto& line : over->Lines) EXPECT_GE(over->StretchOf(line).ExtraWidth, 0);
}

// The spread of justified lines is kept apart from the lines: laid out
// again, narrower and then wider, a paragraph keeps none of the old spreads.
TEST(LayoutLines, JustifiedLinesLaidOutAgainKeepNoOldSpread) {
  const int w = TextWidth(Sans, Px, u"aa bb cc dd") + 10;
  auto l = Layout(page("<p>aa bb cc dd ee ff gg hh ii jj</p>", "text-align:justify"), w * 2);
  TSection* s = sections(*l.Doc)[0];
  int sw = 0, curs = 0;
  l.Doc->DoLogic(l.Canvas(), 0, w, 600, 0, sw, curs);
  ASSERT_GE(s->Lines.size(), 3u);
  for (size_t i = 0; i + 1 < s->Lines.size(); ++i) EXPECT_GT(s->StretchOf(s->Lines[i]).BlankCount, 0) << i;
  curs = 0;
  l.Doc->DoLogic(l.Canvas(), 0, 2000, 600, 0, sw, curs);
  ASSERT_EQ(s->Lines.size(), 1u);
  EXPECT_EQ(s->StretchOf(s->Lines[0]).BlankCount, 0);
  EXPECT_EQ(s->StretchOf(s->Lines[0]).ExtraWidth, 0);
  EXPECT_EQ(l.Dump().find("extra="), std::string::npos) << l.Dump();
}

TEST(LayoutLines, SurrogatePairsAreNeverSplit) {
  // A run of mathematical letters (each a pair) in a narrow box with
  // break-word: every line holds whole pairs.
  String text;
  for (int i = 0; i < 12; ++i) text += u"\U0001D400";
  const std::string utf8 = UTF16ToUTF8(text);
  const int w = TextWidth(Sans, Px, text.substr(0, 5));  // two and a half letters
  auto l = Layout(page("<p>" + utf8 + "</p>", "word-wrap:break-word"), w);
  auto s = sections(*l.Doc)[0];
  ASSERT_GT(s->Lines.size(), 1u);
  int first = 0;
  for (const auto& line : s->Lines) {
    const int end = first + line.LineChars;
    EXPECT_FALSE(htIsLowSurrogate(s->Chars[size_t(first)])) << first;
    if (end < int(s->Chars.size())) {
      EXPECT_FALSE(htIsLowSurrogate(s->Chars[size_t(end)])) << end;
    }
    first = end;
  }
}

TEST(LayoutLines, CaretPositionsAreKnownBeforeThePageIsPainted) {
  auto l = Layout(page("<p>alpha beta</p><p>gamma</p>"), 300);
  auto secs = sections(*l.Doc);
  ASSERT_EQ(secs.size(), 2u);
  int x = -1, y = -1;
  ASSERT_TRUE(secs[1]->CursorToXY(l.Canvas(), secs[1]->StartPos + 2, x, y));
  EXPECT_EQ(x, TextWidth(Sans, Px, u"ga"));
  EXPECT_EQ(y, secs[1]->ContentY);
  EXPECT_EQ(secs[1]->Lines[0].DrawY, secs[1]->ContentY);
}

TEST(LayoutLines, MinAndMaxWidths) {
  auto l = Layout(page("<p>short longestword mid</p>"), 500);
  auto s = sections(*l.Doc)[0];
  int mn = 0, mx = 0;
  s->MinMaxWidth(l.Canvas(), mn, mx);
  EXPECT_EQ(mn, TextWidth(Sans, Px, u"longestword"));
  EXPECT_EQ(mx, TextWidth(Sans, Px, u"short longestword mid"));
}

}  // namespace
