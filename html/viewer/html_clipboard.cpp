#include "html/viewer/html_clipboard.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <vector>

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

// ---- the elements open around the fragment ----

// An element open at some point of the source: its name in lower case and
// its start tag as the page wrote it (attributes and all).
struct OpenElement {
  String Name;
  String Tag;
};

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isNameChar(char16_t c) { return isAsciiLetter(c) || (c >= u'0' && c <= u'9'); }

bool oneOf(const String& Name, std::initializer_list<std::u16string_view> Names) {
  return std::find(Names.begin(), Names.end(), std::u16string_view(Name)) != Names.end();
}

// Elements that never have content, and those whose content is text up to
// their own end tag.
bool isVoidElement(const String& Name) {
  return oneOf(Name, {u"area", u"base", u"basefont", u"br", u"col", u"embed", u"frame", u"hr", u"img",
                      u"input", u"isindex", u"link", u"meta", u"param", u"source", u"wbr"});
}
bool isRawTextElement(const String& Name) {
  return oneOf(Name, {u"script", u"style", u"textarea", u"title", u"xmp", u"plaintext"});
}
// Starts of blocks, which end an open paragraph.
bool closesParagraph(const String& Name) {
  return oneOf(Name, {u"p", u"div", u"h1", u"h2", u"h3", u"h4", u"h5", u"h6", u"ul", u"ol", u"dl", u"pre",
                      u"table", u"blockquote", u"form", u"hr", u"center", u"address", u"fieldset", u"menu",
                      u"dir", u"listing"});
}

// Pops the innermost of Names when no element of Bounds lies above it
// (a new list item ends the previous one of the same list, not that of an
// outer list).
void closeSibling(std::vector<OpenElement>& Stack, std::initializer_list<std::u16string_view> Names,
                  std::initializer_list<std::u16string_view> Bounds) {
  for (std::size_t i = Stack.size(); i-- > 0;) {
    if (oneOf(Stack[i].Name, Bounds)) return;
    if (oneOf(Stack[i].Name, Names)) {
      Stack.resize(i);
      return;
    }
  }
}

// Ends the elements that a start tag Name ends by itself in HTML.
void closeImplied(std::vector<OpenElement>& Stack, const String& Name) {
  if (closesParagraph(Name) && !Stack.empty() && Stack.back().Name == u"p") Stack.pop_back();
  if (Name == u"li") closeSibling(Stack, {u"li"}, {u"ul", u"ol", u"menu", u"dir"});
  if (Name == u"dt" || Name == u"dd") closeSibling(Stack, {u"dt", u"dd"}, {u"dl"});
  if (Name == u"td" || Name == u"th") closeSibling(Stack, {u"td", u"th"}, {u"tr", u"table"});
  if (Name == u"tr") closeSibling(Stack, {u"tr"}, {u"table", u"thead", u"tbody", u"tfoot"});
  if (Name == u"thead" || Name == u"tbody" || Name == u"tfoot")
    closeSibling(Stack, {u"thead", u"tbody", u"tfoot"}, {u"table"});
  if (Name == u"option") closeSibling(Stack, {u"option"}, {u"select"});
}

// The end of the tag or comment that starts at From ("<"), just past its
// ">" (quoted attribute values may hold one), or npos.
std::size_t tagEnd(const String& S, std::size_t From, std::size_t To) {
  if (S.compare(From, 4, u"<!--") == 0) {
    const std::size_t e = S.find(u"-->", From + 4);
    return e == String::npos || e + 3 > To ? String::npos : e + 3;
  }
  char16_t quote = 0;
  for (std::size_t i = From + 1; i < To; ++i) {
    const char16_t c = S[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'>') {
      return i + 1;
    }
  }
  return String::npos;
}

// Follows the tags of S[From, To) on Stack, the elements open at From. The
// document's own frame (html, head, body) is left out: a fragment lies in
// a body.
void followTags(const String& S, std::size_t From, std::size_t To, std::vector<OpenElement>& Stack) {
  std::size_t i = From;
  while ((i = S.find(u'<', i)) != String::npos && i < To) {
    const bool closing = i + 1 < To && S[i + 1] == u'/';
    const std::size_t nameAt = i + (closing ? 2 : 1);
    if (nameAt >= To || !isAsciiLetter(S[nameAt])) {
      // A comment, a declaration, or a "<" in the text.
      const std::size_t e = nameAt < To && (S[i + 1] == u'!' || S[i + 1] == u'?') ? tagEnd(S, i, To) : i + 1;
      if (e == String::npos) return;
      i = e;
      continue;
    }
    std::size_t n = nameAt;
    while (n < To && isNameChar(S[n])) ++n;
    const String name = htLowerCase(std::u16string_view(S).substr(nameAt, n - nameAt));
    const std::size_t e = tagEnd(S, i, To);
    if (e == String::npos) return;
    if (name == u"html" || name == u"head" || name == u"body") {
      i = e;
      continue;
    }
    if (closing) {
      for (std::size_t k = Stack.size(); k-- > 0;)
        if (Stack[k].Name == name) {
          Stack.resize(k);
          break;
        }
      i = e;
      continue;
    }
    closeImplied(Stack, name);
    if (isRawTextElement(name)) {
      // Its text is no markup; its end tag ends it.
      const std::size_t close = findNoCase(S, u"</" + name, e);
      if (close == String::npos || close >= To) {
        Stack.push_back({name, S.substr(i, e - i)});
        return;
      }
      i = close;
      continue;
    }
    if (!isVoidElement(name) && S[e - 2] != u'/') Stack.push_back({name, S.substr(i, e - i)});
    i = e;
  }
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
  // The fragment is balanced: it opens the elements the selection starts
  // in, as the page wrote them, and ends those still open at its end.
  std::vector<OpenElement> open;
  followTags(S, 0, start, open);
  String opening;
  for (const OpenElement& element : open) opening += element.Tag;
  followTags(S, start, S.size(), open);
  for (std::size_t k = open.size(); k-- > 0;) S += u"</" + open[k].Name + u">";
  S.insert(start, 1, StartMark);
  S.insert(start + 1, opening);

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
