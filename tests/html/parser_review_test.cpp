// Faults found in review of the text, style and tokeniser layers, seen
// through the document the builder makes of hostile pages.
#include <gtest/gtest.h>

#include <string>

#include "html/parse/html_tokenizer.h"
#include "html/parse/source_buffer.h"
#include "html/parse/style_list.h"
#include "html/parse/style_parser.h"
#include "tests/html/build_helpers.h"
#include "tests/html/token_driver.h"

namespace {

bool contains(const std::string& s, const std::string& what) { return s.find(what) != std::string::npos; }

std::unique_ptr<ThtDocument> buildWithInclude(const std::string& page, const std::string& included) {
  auto doc = buildhelp::NewDocument();
  auto buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"page");
  THtmlParser parser(buffer.get());
  parser.ParseHtml(doc.get(), nullptr, nullptr, nullptr,
                   [&](const String&, const std::vector<String>&, std::unique_ptr<TBuffer>& out) {
                     out = TBuffer::CreateFromBytes(included.data(), included.size(), u"part");
                   });
  return doc;
}

}  // namespace

TEST(ParserReview, IncludeParametersCannotNestWithoutLimit) {
  std::string page;
  for (int i = 0; i < 20000; ++i) page += "<!--#a x=\"";
  page += "end";
  auto buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"page");
  THtmlTokenizer t(buffer.get());
  int includes = 0;
  t.OnInclude = [&](const String&, const std::vector<String>&, std::unique_ptr<TBuffer>&) { ++includes; };
  tokendriver::run(t);  // must return, not overflow the stack
  EXPECT_LE(includes, 20000);
}

TEST(ParserReview, UnclosedCommentInStyleElementEndsAtItsEndTag) {
  const std::string dump = buildhelp::Dump("<style>p{color:green} /* open</style><p>after the sheet</p>");
  EXPECT_TRUE(contains(dump, "\"after the sheet \"")) << dump;
  EXPECT_TRUE(contains(dump, "#008000")) << dump;  // the rule before the comment counts
}

TEST(ParserReview, AngleBracketInQuotedValueDoesNotEndTheSheet) {
  const std::string dump =
      buildhelp::Dump("<style>p:before{content:\"<b>\"} p{color:green}</style><p>text</p>");
  EXPECT_TRUE(contains(dump, "#008000")) << dump;
  EXPECT_FALSE(contains(dump, "color:green")) << dump;
}

TEST(ParserReview, SelectorWithUnknownCharacterDropsItsRule) {
  for (const char* sheet : {"p|x{color:red}", "p\\x{color:red}"}) {
    const std::string dump = buildhelp::Dump(std::string("<style>") + sheet + "</style><p>text</p>");
    EXPECT_FALSE(contains(dump, "#FF0000")) << sheet << "\n" << dump;
  }
}

TEST(ParserReview, GetStringOfIso2022JpUsesTheShiftStateAtItsStart) {
  const std::string bytes = "<title>\x1b$BF|K\\\x1b(B</title><p>x\x1b$BF|\x1b(B";
  auto buffer = TBuffer::CreateFromBytes(bytes.data(), bytes.size(), u"jp");
  buffer->ReadToEnd();  // the reader ends in the shifted state's successor
  const int from = int(std::string("<title>").size());
  const int to = int(bytes.find("</title>"));
  EXPECT_EQ(buffer->GetString(from, to), u"日本");
  // And a range starting inside a shifted run decodes as shifted.
  EXPECT_EQ(buffer->GetString(from + 3, from + 5), u"日");
}

TEST(ParserReview, StyleLeftOpenInIncludedPartDoesNotEndThePage) {
  auto doc = buildWithInclude("<p>before<!--#include file=x--><p>after the include</p>", "<style>p{color:green}");
  const std::string dump = DumpDocument(*doc);
  EXPECT_TRUE(contains(dump, "\"after the include \"")) << dump;
  // The part may end anywhere in the sheet, right after its tag included,
  // wherever the include stands: the page's text after it is still text.
  for (const char* part : {"<style>", "<style>\n", "<STYLE type=text/css>", "<style>p{color:", "<style>/* open",
                           "<style><!-- p{}", "<style>@media screen {", "<style>p{}</st", "<style>p{content:\"",
                           "<!--#include file=x--><style>"}) {
    for (const char* page : {"<p>before<!--#include file=x--> after it</p><p>the rest of the page</p>",
                             "<html><head><!--#include file=x--></head><body> after it<p>the rest of the page</p>",
                             "<!--#include file=x--><b> after it</b><p>the rest of the page</p>"}) {
      SCOPED_TRACE(std::string(part) + " in " + page);
      auto doc = buildWithInclude(page, part);
      const std::string dump = DumpDocument(*doc);
      EXPECT_TRUE(contains(dump, "after it \"")) << dump;
      EXPECT_TRUE(contains(dump, "\"the rest of the page \"")) << dump;
    }
  }
}

TEST(ParserReview, RawTextElementLeftOpenInIncludedPartDoesNotEndThePage) {
  for (const char* part : {"<title>part", "<title>", "<script>var a = 1;", "<script>", "<textarea>text",
                           "<form><textarea>", "<noframes>frames"}) {
    SCOPED_TRACE(part);
    auto doc = buildWithInclude("<p>before<!--#include file=x--> after it</p><p>the rest of the page</p>", part);
    const std::string dump = DumpDocument(*doc);
    EXPECT_TRUE(contains(dump, "after it \"")) << dump;
    EXPECT_TRUE(contains(dump, "\"the rest of the page \"")) << dump;
  }
  // A part included inside a title leaves the title open: the page's own
  // end tag closes it.
  auto doc = buildWithInclude("<title>a<!--#include file=x--> b</title><p>text</p>", "part");
  const std::string dump = DumpDocument(*doc);
  EXPECT_FALSE(contains(dump, "b \"")) << dump;
  EXPECT_TRUE(contains(dump, "\"text \"")) << dump;
}

// A tag that an included part leaves open ends with the part: the page it
// was included in is not read as the tag's attributes (nor as the content
// of a style element whose tag never closed).
TEST(ParserReview, TagLeftOpenInIncludedPartEndsWithIt) {
  for (const char* part : {"<style type=\"text/css\"", "<style media=", "<b class=\"x", "<font size=3", "<span",
                           "</sty"}) {
    SCOPED_TRACE(part);
    auto doc = buildWithInclude("<p>before<!--#include file=x--> after it</p><p>the rest of the page</p>", part);
    const std::string dump = DumpDocument(*doc);
    EXPECT_TRUE(contains(dump, " after it \"")) << dump;
    EXPECT_TRUE(contains(dump, "\"the rest of the page \"")) << dump;
  }
}

TEST(ParserReview, LaterNormalDeclarationKeepsEarlierImportantOne) {
  const std::string dump =
      buildhelp::Dump("<style>.x{color:green !important} .x{color:red}</style><p class=x>text</p>");
  EXPECT_TRUE(contains(dump, "#008000")) << dump;
  EXPECT_FALSE(contains(dump, "#FF0000")) << dump;
}

// A page decodes with the code page its charset names, not with the
// Windows code page of the same script: "Привет" in each Cyrillic code
// page a page may declare.
TEST(ParserReview, CyrillicPagesDecodeWithTheCodePageTheyDeclare) {
  const std::pair<const char*, const char*> pages[] = {
      {"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4"},    {"koi8-u", "\xF0\xD2\xC9\xD7\xC5\xD4"},
      {"ibm866", "\x8F\xE0\xA8\xA2\xA5\xE2"},    {"cp866", "\x8F\xE0\xA8\xA2\xA5\xE2"},
      {"iso-8859-5", "\xBF\xE0\xD8\xD2\xD5\xE2"}, {"windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2"},
  };
  for (const auto& [charset, word] : pages) {
    SCOPED_TRACE(charset);
    const std::string meta = std::string("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=") + charset +
                             "\"><p>" + word + "</p>";
    EXPECT_TRUE(contains(buildhelp::Dump(meta), "Привет")) << buildhelp::Dump(meta);
  }
}
