// The tokeniser's symbol stream for tricky markup, read through a driver
// that feeds it exactly as the document builder does.
#include <gtest/gtest.h>

#include <random>

#include "html/parse/style_list.h"
#include "tests/html/token_driver.h"

using tokendriver::run;

namespace {

// Symbol numbers used below: 4 P, 5 P end, 6 B, 7 B end, 15 H, 59 IMG,
// 63 A, 64 A end, 72 unknown tag, 73 text, 74 end, 80 TD, 160/161 SCRIPT,
// 113/114 TEXTAREA, 190 STYLE, 225 line end.

TEST(TokenStream, TextRunsCollapseWhiteSpaceAndLineEnds) {
  EXPECT_EQ(run("a  \r\n  b"), "73 [a b]\n74\n");
  EXPECT_EQ(run("x\ty<b>z</b>"), "73 [x y]\n6\n73 [z]\n7\n74\n");
  // A control character ends a run and reads as "?".
  EXPECT_EQ(run("a\x01z"), "73 [a]\n73 []\n73 [?z]\n74\n");
}

TEST(TokenStream, LineEndPairsBecomeOneCarriageReturn) {
  // Inside script content every line end is one symbol. CR LF is one line
  // end; LF CR is two (an LF ends its line, the CR the next, empty one).
  EXPECT_EQ(run("<script>a\r\nb\n\rc\nd\re\r\n\nf</script>"),
            "160\n  73 [a]\n  225\n  73 [b]\n  225\n  225\n  73 [c]\n  225\n  73 [d]\n  225\n"
            "  73 [e]\n  225\n  225\n  73 [f]\n  161 [</script>]\n74\n");
  // A tab between CR and LF keeps the pair: the LF still vanishes.
  EXPECT_EQ(run("<script>a\r\t\nb</script>"),
            "160\n  73 [a]\n  225\n  73 [ b]\n  161 [</script>]\n74\n");
}

TEST(TokenStream, AttributesQuotedUnquotedAndNumeric) {
  EXPECT_EQ(run("<td width=50% bgcolor=#ff0000 align='left' nowrap>"),
            "80 WIDTH=50%#50 BGCOLOR=#ff0000 ALIGN=left NOWRAP=\n74\n");
  EXPECT_EQ(run("<td width=\"50%\">"), "80 WIDTH=50%#50\n74\n");
  // A number followed by letters is no number.
  EXPECT_EQ(run("<img width=50px>"), "59 WIDTH=50px\n74\n");
  // BORDER alone counts as 1; a huge number is kept in range.
  EXPECT_EQ(run("<img border width=99999999999999>"),
            "59 BORDER=#1 WIDTH=99999999999999#10000000\n74\n");
  // Unknown attributes keep their names; ":" names stay one attribute.
  EXPECT_EQ(run("<a xml:lang=en href=\"x.htm\">"), "63 XML:LANG=en HREF=x.htm\n74\n");
  // A line end inside a quoted TITLE is kept, elsewhere dropped.
  EXPECT_EQ(run("<a title=\"a\nb\" href=\"c\nd\">"), "63 TITLE=a\r\nb HREF=cd\n74\n");
}

TEST(TokenStream, EachTagHasOnlyItsOwnAttributes) {
  EXPECT_EQ(run("<p class=\"a long class name\" title=t id=x><b><img src=y>"),
            "4 CLASS=a long class name TITLE=t ID=x\n6\n59 SRC=y\n74\n");
  // A repeated attribute is kept twice; an empty value stays empty.
  EXPECT_EQ(run("<font color=red color=\"\" size=2><font face=x>"),
            "123 COLOR=red COLOR= SIZE=2#2\n123 FACE=x\n74\n");
}

TEST(TokenStream, AttributeNumbers) {
  EXPECT_EQ(run("<td width=+12 height=-0 colspan=007 rowspan=1.5 span=2.5>"),
            "80 WIDTH=+12#12 HEIGHT=-0 COLSPAN=007#7 ROWSPAN=1.5#2 SPAN=2.5#2\n74\n");
  EXPECT_EQ(run("<td width=1e3 height=12345678901234567 colspan=-99999999>"),
            "80 WIDTH=1e3#1000 HEIGHT=12345678901234567#10000000 COLSPAN=-99999999#-10000000\n74\n");
  // Quoted: the leading number, blanks around it, "%" or "*" after it.
  EXPECT_EQ(run("<td width=\" 42 \" height='3*' colspan='.5' rowspan='4.5e1%' span='7px'>"),
            "80 WIDTH= 42 #42 HEIGHT=3*#3 COLSPAN=.5 ROWSPAN=4.5e1%#45 SPAN=7px#7\n74\n");
}

TEST(TokenStream, HeadingsAndBrokenTags) {
  EXPECT_EQ(run("<h2 align=center>T</H2>"), "15/2 ALIGN=center\n73 [T]\n16/2\n74\n");
  // H7 is a heading of no level whose digit reads as an attribute.
  EXPECT_EQ(run("<h7>"), "15/0 7=\n74\n");
  EXPECT_EQ(run("a < b"), "73 [a ]\n73 [<]\n73 [ b]\n74\n");
  // "<?" and "</>" are nameless tags.
  EXPECT_EQ(run("</>x<?xml version=1?>y"), "72 []\n73 [x]\n72 []\n73 [y]\n74\n");
  // A tag cut off by the end of the data still ends.
  EXPECT_EQ(run("<p class=\"abc"), "4 CLASS=abc\n74\n");
  EXPECT_EQ(run("<unknown x=1>"), "72 [] X=1#1\n74\n");
}

TEST(TokenStream, CharacterReferences) {
  EXPECT_EQ(run("&#65;&#x41;&#X41;&amp;&lt;"), "73 [AAA&<]\n74\n");
  EXPECT_EQ(run("&copy 2000 &euro x &euro;"), "73 [\xC2\xA9 2000 &euro x \xE2\x82\xAC]\n74\n");
  EXPECT_EQ(run("&#; &bogus; &AMP; &apos;"), "73 [&#; &bogus; &AMP; \xE2\x80\x99]\n74\n");
  EXPECT_EQ(run("&#9;|&#1;|&#150;"), "73 [ |?|\xE2\x80\x93]\n74\n");
  EXPECT_EQ(run("a&#0;b&#x0;c"), "73 [a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c]\n74\n");
  // Beyond the basic plane: a surrogate pair, not the low 16 bits.
  EXPECT_EQ(run("&#x1F600;&#99999999999;"), "73 [\xF0\x9F\x98\x80\xEF\xBF\xBD]\n74\n");
  EXPECT_EQ(run("<a href=\"a?b=1&amp;c=2\" title=&quot;x>"),
            "63 HREF=a?b=1&c=2 TITLE=\"x\n74\n");
}

TEST(TokenStream, CommentsDeclarationsAndServerBlocks) {
  EXPECT_EQ(run("a<!-- x - y -->b"), "73 [ab]\n74\n");
  EXPECT_EQ(run("a<!-- x -- \r\n !>b"), "73 [ab]\n74\n");
  EXPECT_EQ(run("<!DOCTYPE html>a<% code %>b<!---->c"), "73 [abc]\n74\n");
  // An unclosed comment ends with the data; the text before it stays.
  EXPECT_EQ(run("kept<!-- never closed <p>"), "73 [kept]\n74\n");
  EXPECT_EQ(run("kept<!DOCTYPE"), "73 [kept]\n74\n");
}

TEST(TokenStream, ScriptAndStyleContentIsRaw) {
  // Raw content: no comments, no tags, until the end tag in any case.
  EXPECT_EQ(run("<script>if (a<b) x='<!--';</SCRIPT >z"),
            "160\n  73 [if (a]\n  72 [<b) x='<]\n  73 [!--';]\n  161 [</SCRIPT >]\n73 [z]\n74\n");
  EXPECT_EQ(run("<script>a</scripts>b</script>"),
            "160\n  73 [a]\n  72 [</scripts>]\n  73 [b]\n  161 [</script>]\n74\n");
  TStyleList styles;
  EXPECT_EQ(run("<style><!-- p { color: red } --></style><p>x", &styles),
            "190\n191\n4\n73 [x]\n74\n");
  int i;
  EXPECT_TRUE(styles.Find(u"p", i));
}

TEST(TokenStream, TextAreaContent) {
  EXPECT_EQ(run("<textarea>a<b>&lt;\nc</TEXTAREA>d"),
            "113\n  73 [a]\n  72 [<b]\n  73 [>]\n  72 [<]\n  225\n  73 [c]\n  114 [</TEXTAREA]\n73 [d]\n74\n");
  // A "<" chunk that reaches the end of the data ends there.
  EXPECT_EQ(run("<textarea>x</textar"), "113\n  73 [x]\n  72 [</textar]\n  74\n74\n");
}

TEST(TokenStream, CyrillicTextInBothEncodings) {
  // "Привет" in UTF-8 (byte-order mark) and in code page 1251.
  EXPECT_EQ(run("\xEF\xBB\xBF<b>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82</b>"),
            "6\n73 [\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82]\n7\n74\n");
  const std::string cp1251 = "<b>\xCF\xF0\xE8\xE2\xE5\xF2</b>";
  std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromBytes(cp1251.data(), cp1251.size(), u"p");
  buffer->SetCodePage(1251);
  THtmlTokenizer t(buffer.get());
  EXPECT_EQ(tokendriver::run(t), "6\n73 [\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82]\n7\n74\n");
}

TEST(TokenStream, ReferencesToWindowsBytesFollowTheElementsCodePage) {
  const std::string page = "&#138;";
  std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"p");
  TPropStack stack;
  auto props = TProperties::CreateInStack(&stack);
  props->AssignCodePage(1251);
  stack.Add(std::move(props));
  THtmlTokenizer t(buffer.get());
  t.PropStack = &stack;
  t.ReadChar();
  t.NextSymbol();
  EXPECT_EQ(t.Token.GetString(), u"\u0409");  // byte 0x8A of 1251
  EXPECT_EQ(stack.SIndex, int(page.size()));  // the stack follows the reader
  t.PropStack = nullptr;  // a UTF-8 page reads them as the usual Western page
  buffer->SetPosition(0);
  t.ReadChar();
  t.NextSymbol();
  EXPECT_EQ(t.Token.GetString(), u"\u0160");
}

TEST(TokenStream, SourceIndexesPointIntoTheSource) {
  const std::string page = "ab<b>c&amp;d";
  std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"p");
  THtmlTokenizer t(buffer.get());
  t.ReadChar();
  t.NextSymbol();
  ASSERT_EQ(t.Token.Count(), 2);
  EXPECT_EQ(t.Token.Index(0), 0);
  EXPECT_EQ(t.Token.Index(1), 1);
  t.NextSymbol();
  EXPECT_EQ(t.Sy, symB);
  EXPECT_EQ(t.TagIndex, 2);
  t.NextSymbol();
  ASSERT_EQ(t.Token.GetString(), u"c&d");
  EXPECT_EQ(t.Token.Index(1), 6);  // the whole reference sits at its "&"
  EXPECT_EQ(t.Token.Index(2), 11);
}

TEST(TokenStream, IncludesReadAnotherDocumentInPlace) {
  const std::string page = "a<!--#include file=\"part.htm\" -->c";
  std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"p");
  THtmlTokenizer t(buffer.get());
  String seen;
  t.OnInclude = [&](const String& command, const std::vector<String>& params,
                    std::unique_ptr<TBuffer>& included) {
    seen = command + u"|" + (params.empty() ? String() : params[0]);
    included = TBuffer::CreateFromString(u"<b>b</b>", u"part");
  };
  EXPECT_EQ(tokendriver::run(t), "73 [a]\n6\n73 [b]\n7\n73 [c]\n74\n");
  EXPECT_EQ(seen, u"include|file=part.htm");
}

TEST(TokenStream, SelfIncludingPageStops) {
  const std::string page = "x<!--#include -->";
  std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"p");
  THtmlTokenizer t(buffer.get());
  int calls = 0;
  t.OnInclude = [&](const String&, const std::vector<String>&, std::unique_ptr<TBuffer>& inc) {
    ++calls;
    inc = TBuffer::CreateFromBytes(page.data(), page.size(), u"again");
  };
  const std::string out = tokendriver::run(t);
  EXPECT_EQ(out.substr(out.size() - 3), "74\n");
  EXPECT_LE(calls, THtmlTokenizer::MaxIncludeDepth + 1);
}

// Text is taken in runs; what the reader reports and where it leaves the
// property stack must not depend on that.
TEST(TokenStream, ProgressAndPositionsAreThoseOfReadingCharByChar) {
  std::string page;
  for (int i = 0; i < 900; ++i) page += "word \xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE <b title=\"some title\">x</b>\r\n";
  std::vector<int> byChar, bySymbol;
  {
    std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"p");
    buffer->SetCodePage(65001);
    THtmlTokenizer t(buffer.get());
    t.OnProgress = [&](int position, int) { byChar.push_back(position); };
    do t.ReadChar(); while (t.LCh != 0);
  }
  std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"p");
  buffer->SetCodePage(65001);
  THtmlTokenizer t(buffer.get());
  TPropStack stack;
  t.PropStack = &stack;
  t.OnProgress = [&](int position, int) {
    bySymbol.push_back(position);
    EXPECT_EQ(stack.SIndex, t.SIndex);
  };
  t.ReadChar();
  t.NextSymbol();
  EXPECT_EQ(t.Token.GetString(), u"word \u0441\u043B\u043E\u0432\u043E ");
  EXPECT_EQ(t.Token.Indexes(), (std::vector<int>{0, 1, 2, 3, 4, 5, 7, 9, 11, 13, 15}));
  int texts = 1;
  do {
    t.NextSymbol();
    EXPECT_EQ(stack.SIndex, t.SIndex);
    if (t.Sy == symText) ++texts;
  } while (t.Sy != symEndOfDoc);
  EXPECT_EQ(texts, 1801);
  EXPECT_GE(byChar.size(), 9u);
  EXPECT_EQ(bySymbol, byChar);
}

// The links of the first pass as the reader reads them, symbol by symbol,
// and where reading starts again afterwards.
int linksByReading(TBuffer& buffer, int limit, int& restartIndex) {
  THtmlTokenizer t(&buffer);
  t.FirstPass = true;
  t.ReadChar();
  t.NextSymbol();
  int links = 0;
  while (t.Sy != symEndOfDoc && links <= limit) {
    if (t.Sy == symA)
      for (const TTokenAttribute& a : t.Attributes)
        if (a.Which == symHref) {
          ++links;
          break;
        }
    t.NextSymbol();
  }
  buffer.SetPosition(0);
  t.FirstPass = false;
  t.ReadChar();
  restartIndex = t.SIndex;
  return links;
}

// Most sources are counted without the reader: the count, and the line-end
// state the restart sees, must be the reader's.
TEST(TokenStream, LinkCountsAreThoseOfReadingThePage) {
  const std::vector<std::string> parts = {
      "<a href=x>", "<A HREF='y'>", "<a\r\nhref=\"z\">", "<a name=n>", "</a href=e>", "<img alt=\"<a href=y>\">",
      "<!-- <a href=z> -->", "<!--x", "-->", "--", "<!DOCTYPE x>", "<!", "<% s %>", "<%", "%>",
      "<p title='<a href=q>'>", "<a href", "=", "\"", "'", ">", "<", "\r", "\n", "\t", " ", "\x01",
      std::string(1, '\0'), "\xC3\xA9", "\xD0\xBF\xD1\x80", "\xFF", "\xF0\x9F\x98\x80", "<h1 href=x>",
      "<h2href=x>", "<a1 href=x>", "<script><a href=s></script>", "<style>a{}</style>", "<a width=5% href=u>",
      "<a width=+5 % href=v>", "<a x=& href=w>", "&amp;", "&#60;a href=x>", "<ahref=x>", "<a/href=x>",
      "<a -href=x>", "<a href-x=1>", "h<!--c-->ref", "<a href=\"x>y\" title=z>", "<?a href=x>", "text ",
      "<b>", "</b>", "<a\thref\t=\t'x'>", "<A\nHrEf\n=\nx\n>"};
  std::mt19937 random(13);
  int pagesWithLinks = 0;
  for (int page = 0; page < 600; ++page) {
    std::string text;
    const int count = 1 + int(random() % 60);
    for (int i = 0; i < count; ++i) text += parts[random() % parts.size()];
    const int limit = std::vector<int>{0, 1, 3, 400}[random() % 4];
    for (int source = 0; source < 3; ++source) {
      auto make = [&] {
        if (source == 1) return TBuffer::CreateFromString(UTF8ToUTF16(text), u"p");
        auto b = TBuffer::CreateFromBytes(text.data(), text.size(), u"p");
        b->SetCodePage(source == 0 ? 65001 : 1251);
        return b;
      };
      auto read = make();
      int readRestart = 0;
      const int byReading = linksByReading(*read, limit, readRestart);
      auto counted = make();
      THtmlTokenizer t(counted.get());
      EXPECT_EQ(t.CountLinks(limit), byReading) << text;
      counted->SetPosition(0);
      t.ReadChar();
      EXPECT_EQ(t.SIndex, readRestart) << text;
      if (byReading > 0) ++pagesWithLinks;
    }
  }
  EXPECT_GT(pagesWithLinks, 600);
}

// Tags in plain characters are taken at once from a page whose ASCII
// characters are units of their own (UTF-8, UTF-16 text); the same page in
// big-endian UTF-16 is read character by character. All must give the
// same symbols, attributes and numbers.
TEST(TokenStream, TagsReadAlikeFromBytesAndFromText) {
  const std::vector<std::string> parts = {
      "<a href=\"x\">", "<A HREF=y>", "</a>", "<a  name=q href = 'z'>", "<p class=\"a b\" style=\"color:red\">",
      "<td width=100% height=50%>", "<td width=\"50%\" colspan=\"2*\">", "<img src=\"a.png\" width=+12 height=-3 border>",
      "<font size=\"1.5e2\" color=#ff0000>", "<font size=1.5 >", "<h1>", "<H2 align=center>", "<h7>", "<h12 x>",
      "<br/>", "<x:y a:b=1>", "<a_b $x=1 -y=2 .z=3>", "<verylongtagname verylongattributename=5>", "<li value=-0>",
      "<td width= 5 %>", "<td width=5 %x>", "<p title=\"a>b\">", "<p \"x>\" >", "<p a=\"b\"c=d>", "<p a=b\"c\">",
      "<?xml a=1?>", "</ p>", "<//x>", "< x>", "<p =x>", "<p a= >", "<p a=''>", "word ", "\xD0\xBF\xD1\x80 ",
      "&amp; ", "<p title=\"\xD0\xBF\">", "<p a=\"&amp;\">", "<p\tclass=x>", "<p\r\nclass=x>", "<p a=\"<!--c-->\">",
      "<p a=1&amp;2>", "<p a=x&amp;>", "<b", ">", "\""};
  std::mt19937 random(5);
  for (int page = 0; page < 300; ++page) {
    std::string text;
    const int count = 1 + int(random() % 80);
    for (int i = 0; i < count; ++i) text += parts[random() % parts.size()];
    std::string bigEndian = "\xFE\xFF";
    for (char16_t c : UTF8ToUTF16(text)) {
      bigEndian += char(c >> 8);
      bigEndian += char(c & 0xFF);
    }
    auto slow = TBuffer::CreateFromBytes(bigEndian.data(), bigEndian.size(), u"p");
    THtmlTokenizer byChars(slow.get());
    const std::string expected = tokendriver::run(byChars);
    auto bytes = TBuffer::CreateFromBytes(text.data(), text.size(), u"p");
    bytes->SetCodePage(65001);
    THtmlTokenizer fromBytes(bytes.get());
    EXPECT_EQ(tokendriver::run(fromBytes), expected) << text;
    auto wide = TBuffer::CreateFromString(UTF8ToUTF16(text), u"p");
    THtmlTokenizer fromText(wide.get());
    EXPECT_EQ(tokendriver::run(fromText), expected) << text;
  }
}

TEST(TokenStream, IdsAreReportedOutsideTheFirstPass) {
  const std::string page = "<p id=top>x<a id=\"n\">";
  std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"p");
  THtmlTokenizer t(buffer.get());
  std::vector<String> ids;
  t.OnIdAttribute = [&](const String& id, int) { ids.push_back(id); };
  t.FirstPass = true;
  tokendriver::run(t);
  EXPECT_TRUE(ids.empty());
  buffer->SetPosition(0);
  t.FirstPass = false;
  tokendriver::run(t);
  EXPECT_EQ(ids, (std::vector<String>{u"top", u"n"}));
}

}  // namespace
