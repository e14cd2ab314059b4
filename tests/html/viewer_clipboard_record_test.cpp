// The "HTML Format" record of a copied selection: byte offsets that point at
// the fragment in the UTF-8 text, the source cut to the selection, and the
// page's meta, doctype and page-break settings taken out.
#include <gtest/gtest.h>

#include <string>

#include "html/viewer/html_clipboard.h"
#include "platform/core/strings.h"

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
}

TEST(HtmlClipboardRecord, MissingSourcePositionsKeepTheWholeSource) {
  const String src = u"<p>abc</p>";
  const auto r = BuildHtmlClipboardRecord(src, -1, -1, u"/a/b.htm", 9, u"F");
  const Parsed p = parse(r);
  // The start comment goes to the start, the end keeps every character.
  EXPECT_NE(p.fragment.find("<p>abc"), std::string::npos);
  EXPECT_NE(r.Utf8.find("SourceURL:file:///a/b.htm\r\n"), std::string::npos);
}

}  // namespace
