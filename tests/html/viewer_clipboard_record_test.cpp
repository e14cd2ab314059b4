// The "HTML Format" record of a copied selection: byte offsets that point at
// the fragment in the UTF-8 text, the source cut to the selection, and the
// page's meta, doctype and page-break settings taken out.
#include <gtest/gtest.h>

#include <string>

#include "html/viewer/html_clipboard.h"
#include "platform/core/strings.h"
#include "platform/gui/clipboard.h"
#include "tests/html/viewer_fixture.h"

namespace {

std::size_t field(const std::string& rec, const std::string& key) {
  const auto i = rec.find(key + ":");
  EXPECT_NE(i, std::string::npos) << key;
  return std::stoul(rec.substr(i + key.size() + 1, 8));
}

struct Parsed {
  std::string html, fragment;
  std::size_t startHtml, endHtml;
};

Parsed parse(const THtmlClipboardRecord& r) {
  const std::string& s = r.Utf8;
  Parsed p;
  p.startHtml = field(s, "StartHTML");
  p.endHtml = field(s, "EndHTML");
  const std::size_t a = field(s, "StartFragment"), b = field(s, "EndFragment");
  EXPECT_EQ(p.endHtml, s.size());
  EXPECT_LE(a, b);
  p.html = s.substr(p.startHtml, p.endHtml - p.startHtml);
  p.fragment = s.substr(a, b - a);
  EXPECT_EQ(s.substr(a - 20, 20), "<!--StartFragment-->");
  EXPECT_EQ(s.substr(b, 18), "<!--EndFragment-->");
  return p;
}

TEST(HtmlClipboardRecord, FragmentOffsetsCountUtf8BytesOfTextBeforeIt) {
  // Cyrillic (two bytes each) and a CJK character (three) before the selection.
  const String src = u"<html><head><title>т</title></head><body><p>Привет 中 <b>мир</b> end</p></body></html>";
  const int start = int(src.find(u"мир"));
  const int end = start + 3;
  const auto r = BuildHtmlClipboardRecord(src, start, end, String(), 12, u"Times New Roman");
  const Parsed p = parse(r);
  EXPECT_EQ(p.fragment, "<p><b>мир</b></p>");
  EXPECT_EQ(r.Utf8.substr(0, 11), "Version:1.0");
  EXPECT_NE(r.Utf8.find("SourceURL:unsaved:///THtmlView.htm\r\n"), std::string::npos);
  // The header is 99 bytes plus the source line.
  EXPECT_EQ(p.startHtml, 99u + std::string("SourceURL:unsaved:///THtmlView.htm").size());
  // The style goes before the head tag.
  EXPECT_NE(p.html.find("<style> body {font-size: 12pt; font-family: \"Times New Roman\"; }</style><head>"),
            std::string::npos);
  EXPECT_EQ(UTF8ToUTF16(r.Utf8), r.Text);
}

TEST(HtmlClipboardRecord, TrailingTagsAreCutButTheFirstSelectedCharacterStays) {
  const String src = u"<p>one <b>two</b></p>\r\n<p>three</p>";
  const int start = int(src.find(u"two"));
  const int end = int(src.find(u"three"));  // selection ends at the next paragraph's text
  const Parsed p = parse(BuildHtmlClipboardRecord(src, start, end, u"/tmp/page.html", 10, u"A"));
  EXPECT_EQ(p.fragment, "<p><b>two</b></p>");
  // Without a head tag the style comes wrapped in one, at the start.
  EXPECT_EQ(p.html.rfind("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n<head><style>", 0), 0u);

  // A selection of a single character right before a tag keeps it.
  const String s2 = u"<i>x</i>";
  EXPECT_EQ(parse(BuildHtmlClipboardRecord(s2, 3, 4, String(), 10, u"A")).fragment, "<i>x</i>");
}

// A selection that starts inside elements opens them again in the
// fragment, as the page wrote them, and the fragment ends every element it
// left open; elements the page ended by implication or closed before the
// selection are not opened again.
TEST(HtmlClipboardRecord, TheFragmentIsBalancedAroundTheSelection) {
  const String src =
      u"<html><body><p>intro<p>before <br><img src=a.png></p><!-- <em> -->"
      u"<h1 class=\"big\">HOT DOG</h1><div><p>next <i>par</i>agraph</p>"
      u"<ul><li>one<li>two <b>bold</b> words</ul><script>if (a<b) x = '<table>';</script>"
      u"<table><tr><td>c1<td>c2</table></div></body></html>";
  const int start = int(src.find(u"DOG"));
  int end = int(src.find(u" words"));
  Parsed p = parse(BuildHtmlClipboardRecord(src, start, end, String(), 12, u"F"));
  EXPECT_EQ(p.fragment,
            "<h1 class=\"big\">DOG</h1><div><p>next <i>par</i>agraph</p>"
            "<ul><li>one<li>two <b>bold</b></li></ul></div>");

  // From inside a list item of a nested list in a table cell.
  const String nested = u"<table border=1><tr><td>a<td><ol><li>x<li>pick <u>me</u> here</ol></td></tr></table><p>after";
  const int from = int(nested.find(u"me"));
  p = parse(BuildHtmlClipboardRecord(nested, from, int(nested.find(u" here")), String(), 12, u"F"));
  EXPECT_EQ(p.fragment, "<table border=1><tr><td><ol><li><u>me</u></li></ol></td></tr></table>");
}

TEST(HtmlClipboardRecord, MetaDoctypeAndPageBreaksAreTakenOut) {
  const String src =
      u"<!DOCTYPE html><HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html\">"
      u"<style>h1 {PAGE-BREAK-before: always}</style></HEAD><body>text</body></HTML>";
  const int start = int(src.find(u">text")) + 1;
  const auto r = BuildHtmlClipboardRecord(src, start, start + 4, u"http://x/y.html", 12, u"F");
  const Parsed p = parse(r);
  EXPECT_EQ(p.fragment, "text");
  EXPECT_EQ(p.html.find("<META"), std::string::npos);
  EXPECT_EQ(p.html.find("<!DOCTYPE html>"), std::string::npos);
  EXPECT_EQ(p.html.find("PAGE-BREAK-"), std::string::npos);
  EXPECT_NE(p.html.find("AGE-BREAK-before"), std::string::npos);
  EXPECT_NE(r.Utf8.find("SourceURL:http://x/y.html\r\n"), std::string::npos);
  // Only markup and style text are edited: the page's own text keeps its
  // words, also where they spell a property, and inside a script too.
  const String words =
      u"<p style='page-break-after:auto'>set page-break-before: <b>always</b> (a page-break-)</p>"
      u"<script>page-break-x</script>";
  const Parsed q = parse(BuildHtmlClipboardRecord(words, int(words.find(u"set")), -1, String(), 12, u"F"));
  EXPECT_EQ(q.fragment,
            "<p style='age-break-after:auto'>set page-break-before: <b>always</b> (a page-break-)</p>"
            "<script>page-break-x</script>");
}

TEST(HtmlClipboardRecord, MissingSourcePositionsKeepTheWholeSource) {
  const String src = u"<p>abc</p>";
  const auto r = BuildHtmlClipboardRecord(src, -1, -1, u"/a/b.htm", 9, u"F");
  const Parsed p = parse(r);
  // The start comment goes to the start, the end keeps every character.
  EXPECT_NE(p.fragment.find("<p>abc"), std::string::npos);
  EXPECT_NE(r.Utf8.find("SourceURL:file:///a/b.htm\r\n"), std::string::npos);
}

// Names as pages write them: an element left open at the end of the
// selection is closed by its whole name, colons and hyphens included, and
// an end tag of such a name closes that element alone.
TEST(HtmlClipboardRecord, ElementsLeftOpenAreClosedByTheirWholeNames) {
  const String src = u"<div><o:p>one <my-box class=a>two <x.y>three</x.y> four</my-box> five</o:p></div>";
  const int start = int(src.find(u"one"));
  Parsed p = parse(BuildHtmlClipboardRecord(src, start, int(src.find(u"e</x.y>")), String(), 12, u"F"));
  EXPECT_EQ(p.fragment, "<div><o:p>one <my-box class=a>two <x.y>thre</x.y></my-box></o:p></div>");

  // Opened before the selection, closed after it; "</o>" ends no "<o:p>".
  const String src2 = u"<o:p><o>a</o><my-box>b</my>c<span>pick</span> d</my-box></o:p>";
  p = parse(BuildHtmlClipboardRecord(src2, int(src2.find(u"pick")), int(src2.find(u" d")), String(), 12, u"F"));
  EXPECT_EQ(p.fragment, "<o:p><my-box><span>pick</span></my-box></o:p>");
}

// The page's own text may hold any character: a private-use one before the
// selection is text like any other, and the fragment starts where the
// selection does.
TEST(HtmlClipboardRecord, APrivateUseCharacterBeforeTheSelectionIsJustText) {
  const String src = u"<p>logo \uF8FF and \uF8FF\uF8FF</p><p>the <b>chosen</b> words</p>";
  const int start = int(src.find(u"chosen"));
  const auto r = BuildHtmlClipboardRecord(src, start, start + 6, String(), 12, u"F");
  const Parsed p = parse(r);
  EXPECT_EQ(p.fragment, "<p><b>chosen</b></p>");
  EXPECT_NE(p.html.find("<p>logo \uF8FF and \uF8FF\uF8FF</p>"), std::string::npos);
  EXPECT_EQ(UTF8ToUTF16(r.Utf8), r.Text);
}

// Pages made of thousands of the constructs the record treats specially:
// each is treated the same at every place of a long page.
TEST(HtmlClipboardRecord, LongRunsOfRawTextMetaPageBreakAndStrayEndTagsComeOutWhole) {
  constexpr int N = 3000;
  {
    // Raw-text elements: each ends at its own end tag, whatever its case.
    std::string page;
    for (int i = 0; i < N; ++i) page += i % 2 ? "<title></title>x" : "<TITLE>a<b></Title>x";
    const String src = UTF8ToUTF16(page);
    const int start = int(src.size() / 2);  // the "<" of an element
    const Parsed p = parse(BuildHtmlClipboardRecord(src, start, -1, String(), 12, u"F"));
    EXPECT_EQ(p.fragment, page.substr(std::size_t(start)));
  }
  {
    // Opened spans, then end tags and self-closed cells that close nothing:
    // the spans stay open, and the fragment closes them all.
    std::string page;
    for (int i = 0; i < N; ++i) page += "<span>";
    for (int i = 0; i < N; ++i) page += i % 2 ? "<td/>" : "</i>";
    page += "x<i>y";
    const String src = UTF8ToUTF16(page);
    const int start = int(src.find(u'x'));
    const Parsed p = parse(BuildHtmlClipboardRecord(src, start, -1, String(), 12, u"F"));
    std::string want;
    for (int i = 0; i < N; ++i) want += "<span>";
    want += "x<i>y</i>";
    for (int i = 0; i < N; ++i) want += "</span>";
    EXPECT_EQ(p.fragment, want);
  }
  {
    // Meta tags are all taken out, page-break properties all broken.
    std::string page = "<html><head>";
    for (int i = 0; i < N; ++i) page += i % 2 ? "<meta name=a>" : "<META content='b'>";
    page += "</head><body>";
    for (int i = 0; i < N; ++i) page += "<p style='page-break-after:auto;Page-Break-Before:auto'>x</p>";
    page += "</body></html>";
    const String src = UTF8ToUTF16(page);
    const Parsed p = parse(BuildHtmlClipboardRecord(src, int(src.find(u">x<")) + 1, -1, String(), 12, u"F"));
    EXPECT_EQ(p.html.find("<meta"), std::string::npos);
    EXPECT_EQ(p.html.find("<META"), std::string::npos);
    std::string want;
    for (int i = 0; i < N; ++i) want += "<p style='age-break-after:auto;age-Break-Before:auto'>x</p>";
    EXPECT_EQ(p.fragment, want);
    EXPECT_NE(p.html.find("\r\n<html><style> body {font-size: 12pt; font-family: \"F\"; }</style><head></head><body>"),
              std::string::npos)
        << p.html.substr(0, 200);
  }
}

// Select All and copy, as the window's copy button does, on a page of
// thousands of style elements: the fragment is the page's text from its
// first character on.
TEST(HtmlClipboardRecord, SelectAllAndCopyOfAPageOfStyleElements) {
  ViewerOnForm v;
  v.openViewer(400, 300);
  std::string page;
  for (int i = 0; i < 3000; ++i) page += "<style></style>x";
  v.load(page);
  v.View->SelectAll();
  v.View->CopyToClipboard();
  const RawByteString bytes = Clipboard()->GetBuffer(RegisterClipboardFormat(u"HTML Format"));
  THtmlClipboardRecord r;
  r.Utf8.assign(bytes.begin(), bytes.end());
  if (!r.Utf8.empty() && r.Utf8.back() == '\0') r.Utf8.pop_back();
  const Parsed p = parse(r);
  EXPECT_EQ(p.fragment, page.substr(page.find('x')));
  v.closeViewer();
}

}  // namespace
