#include "html/viewer/html_clipboard.h"

#include <cstdio>

#include "html/parse/html_common.h"
#include "platform/core/strings.h"

namespace {

const String StartComment = u"<!--StartFragment-->";
const String EndComment = u"<!--EndFragment-->";
const String Prefix = u"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n";

// Stands in for the start comment while the source is edited, so that its
// place is known exactly afterwards (a private-use character no page text
// carries into this step).
constexpr char16_t StartMark = 0xF8FF;

// Index of Needle in Haystack ignoring the case of A-Z, from From on.
std::size_t findNoCase(const String& Haystack, const String& Needle, std::size_t From = 0) {
  const String low = htLowerCase(Haystack);
  return low.find(htLowerCase(Needle), From);
}

// Deletes every tag beginning with Start (case ignored) up to and including
// the next ">" (or to the end).
void deleteTags(String& S, const String& Start) {
  std::size_t i;
  while ((i = findNoCase(S, Start)) != String::npos) {
    std::size_t e = S.find(u'>', i);
    S.erase(i, e == String::npos ? String::npos : e - i + 1);
  }
}

// Cuts trailing blanks and tags: scanning back from the end, characters 1..32
// and whole tags are skipped; never below Keep (the first selected
// character's source character stays).
void cutTrailingTags(String& S, std::size_t Keep) {
  std::size_t end = S.size();
  while (end > Keep) {
    const char16_t c = S[end - 1];
    if (c >= 1 && c <= 32) {
      --end;
    } else if (c == u'>') {
      std::size_t lt = S.rfind(u'<', end - 1);
      if (lt == String::npos || lt < Keep) break;
      end = lt;
    } else {
      break;
    }
  }
  S.erase(end);
}

String eightDigits(std::size_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.8zu", v);
  return UTF8ToUTF16(buf);
}

std::size_t utf8Length(const String& s) { return UTF16ToUTF8(s).size(); }

}  // namespace

THtmlClipboardRecord BuildHtmlClipboardRecord(const String& Source, int StartSrc, int EndSrc,
                                              const String& CurrentFile, int FontSize,
                                              const String& FontName) {
  String S = Source;
  // The selection's end in the source; without one the whole source stays.
  std::size_t end = EndSrc >= 0 ? std::min<std::size_t>(std::size_t(EndSrc), S.size()) : S.size();
  S.erase(end);
  std::size_t start = StartSrc >= 0 ? std::min<std::size_t>(std::size_t(StartSrc), S.size()) : 0;
  cutTrailingTags(S, std::min(start + 1, S.size()));
  start = std::min(start, S.size());
  S.insert(start, 1, StartMark);

  deleteTags(S, u"<meta");
  deleteTags(S, u"<!doctype");
  for (std::size_t i = 0; (i = findNoCase(S, u"page-break-", i)) != String::npos;) S.erase(i, 1);

  const String style = u"<style> body {font-size: " + IntToStr(FontSize) +
                       u"pt; font-family: \"" + FontName + u"\"; }</style>";
  if (std::size_t head = findNoCase(S, u"<head>"); head != String::npos) {
    S.insert(head, style);
  } else {
    std::size_t html = findNoCase(S, u"<html>");
    S.insert(html == String::npos ? 0 : html, u"<head>" + style + u"</head>");
  }
  S = Prefix + S;

  // The mark becomes the start comment; its place gives the fragment's start.
  std::size_t mark = S.find(StartMark);
  if (mark == String::npos)  // the start lay inside a deleted tag
    mark = Prefix.size();
  else
    S.erase(mark, 1);
  S.insert(mark, StartComment);
  const std::size_t fragStart8 = utf8Length(S.substr(0, mark)) + utf8Length(StartComment);
  const std::size_t fragEnd8 = utf8Length(S);
  S += EndComment;

  String source;
  if (CurrentFile.empty())
    source = u"SourceURL:unsaved:///THtmlView.htm";
  else if (CurrentFile.find(u"://") != String::npos)
    source = u"SourceURL:" + CurrentFile;
  else
    source = u"SourceURL:file://" + CurrentFile;

  const std::size_t body8 = utf8Length(S);
  // Every header line has a fixed length, so the header's size is known
  // before its numbers are.
  const std::size_t headerLen = utf8Length(u"Version:1.0\r\n") +
                                4 * 8 + utf8Length(u"StartHTML:\r\nEndHTML:\r\nStartFragment:\r\nEndFragment:\r\n") +
                                utf8Length(source) + 2;
  const String H = u"Version:1.0\r\nStartHTML:" + eightDigits(headerLen) + u"\r\nEndHTML:" +
                   eightDigits(headerLen + body8) + u"\r\nStartFragment:" +
                   eightDigits(headerLen + fragStart8) + u"\r\nEndFragment:" +
                   eightDigits(headerLen + fragEnd8) + u"\r\n" + source + u"\r\n";
  THtmlClipboardRecord r;
  r.Text = H + S;
  r.Utf8 = UTF16ToUTF8(r.Text);
  return r;
}
