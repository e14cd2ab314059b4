#include "html/viewer/html_clipboard.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <string_view>
#include <vector>

#include "html/parse/html_common.h"
#include "platform/core/strings.h"

// Every step below costs one pass over the source (or a constant number of
// them), whatever the page holds: pages come from outside, and one made of
// a hundred thousand raw-text elements, meta tags or end tags that close
// nothing is copied as fast as one of plain paragraphs.

namespace {

const String StartComment = u"<!--StartFragment-->";
const String EndComment = u"<!--EndFragment-->";
const String Prefix = u"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n";

// Whether S holds Needle (lower case) at At, ignoring the case of A-Z.
bool matchesNoCase(std::u16string_view S, std::size_t At, std::u16string_view Needle) {
  if (At > S.size() || S.size() - At < Needle.size()) return false;
  for (std::size_t k = 0; k < Needle.size(); ++k)
    if (htLowerChar(S[At + k]) != Needle[k]) return false;
  return true;
}

// Index of Needle (lower case, short) in S[From, To) ignoring the case of
// A-Z, or npos.
std::size_t findNoCase(std::u16string_view S, std::u16string_view Needle, std::size_t From = 0,
                       std::size_t To = String::npos) {
  To = std::min(To, S.size());
  if (Needle.empty() || To < Needle.size()) return String::npos;
  for (std::size_t i = From; i + Needle.size() <= To; ++i)
    if (htLowerChar(S[i]) == Needle[0] && matchesNoCase(S, i, Needle)) return i;
  return String::npos;
}

// What cutMatches takes away where it finds its text.
enum class Cut {
  WholeTag,   // from the match up to and including the next ">" (or to the end)
  FirstChar,  // the match's first character
};

// S without what each occurrence of Needle (lower case, case ignored)
// marks, copied in one pass. What has been copied never holds Needle, so an
// occurrence that a cut brings together is found as well, as a search from
// the start after each cut would find it. Mark, a place in S, is carried to
// the same place of the result (to where the cut was, when the cut took
// the characters around it).
String cutMatches(const String& S, std::u16string_view Needle, Cut What, std::size_t& Mark) {
  String out;
  out.reserve(S.size());
  std::size_t mark = Mark >= S.size() ? String::npos : Mark;
  for (std::size_t i = 0; i < S.size();) {
    if (i == Mark) mark = out.size();
    out.push_back(S[i++]);
    if (out.size() < Needle.size() || !matchesNoCase(out, out.size() - Needle.size(), Needle)) continue;
    const std::size_t at = out.size() - Needle.size();
    if (What == Cut::FirstChar) {
      out.erase(at, 1);
      if (i > Mark && mark > at) --mark;
      continue;
    }
    out.resize(at);
    const std::size_t gt = S.find(u'>', i);
    const std::size_t next = gt == String::npos ? S.size() : gt + 1;
    if ((i > Mark && mark > at) || (Mark >= i && Mark < next)) mark = at;
    i = next;
  }
  Mark = mark == String::npos ? out.size() : mark;
  return out;
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

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
// A tag's name runs up to a blank, "/" or ">": "o:p" and "my-box" are
// names of their own.
bool isNameChar(char16_t c) {
  return !(c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'/' || c == u'>');
}

bool oneOf(std::u16string_view Name, std::initializer_list<std::u16string_view> Names) {
  return std::find(Names.begin(), Names.end(), Name) != Names.end();
}

// Elements that never have content, and those whose content is text up to
// their own end tag.
bool isVoidElement(std::u16string_view Name) {
  return oneOf(Name, {u"area", u"base", u"basefont", u"br", u"col", u"embed", u"frame", u"hr", u"img",
                      u"input", u"isindex", u"link", u"meta", u"param", u"source", u"wbr"});
}
bool isRawTextElement(std::u16string_view Name) {
  return oneOf(Name, {u"script", u"style", u"textarea", u"title", u"xmp", u"plaintext"});
}
// Starts of blocks, which end an open paragraph.
bool closesParagraph(std::u16string_view Name) {
  return oneOf(Name, {u"p", u"div", u"h1", u"h2", u"h3", u"h4", u"h5", u"h6", u"ul", u"ol", u"dl", u"pre",
                      u"table", u"blockquote", u"form", u"hr", u"center", u"address", u"fieldset", u"menu",
                      u"dir", u"listing"});
}

// The elements open at some point of the source, outermost first, each
// with its start tag as the page wrote it (attributes and all). Each name
// knows where it is open, so that an end tag or a start tag that ends an
// earlier element finds it at once, however many others are open.
class OpenElements {
public:
  struct Element {
    std::u16string_view Name;  // lower case
    std::size_t TagFrom, TagTo;  // the start tag in the source
  };

  void push(const String& Name, std::size_t TagFrom, std::size_t TagTo) {
    auto entry = FPlaces.try_emplace(Name).first;
    entry->second.push_back(FStack.size());
    FStack.push_back({entry->first, TagFrom, TagTo});
  }
  // Ends the innermost Name and everything inside it; nothing when no
  // Name is open.
  void close(std::u16string_view Name) {
    const std::size_t k = innermost(Name);
    if (k != None) popTo(k);
  }
  // Ends the innermost of Names when no element of Bounds lies inside it
  // (a new list item ends the previous one of the same list, not that of
  // an outer list).
  void closeSibling(std::initializer_list<std::u16string_view> Names,
                    std::initializer_list<std::u16string_view> Bounds) {
    std::size_t name = None, bound = None;
    for (std::u16string_view n : Names) name = latest(name, innermost(n));
    for (std::u16string_view b : Bounds) bound = latest(bound, innermost(b));
    if (name != None && (bound == None || bound < name)) popTo(name);
  }
  bool topIs(std::u16string_view Name) const { return !FStack.empty() && FStack.back().Name == Name; }
  void pop() { popTo(FStack.size() - 1); }
  const std::vector<Element>& Items() const { return FStack; }

private:
  static constexpr std::size_t None = std::size_t(-1);
  static std::size_t latest(std::size_t A, std::size_t B) {
    if (A == None) return B;
    return B == None ? A : std::max(A, B);
  }
  std::size_t innermost(std::u16string_view Name) const {
    const auto it = FPlaces.find(Name);
    return it == FPlaces.end() || it->second.empty() ? None : it->second.back();
  }
  void popTo(std::size_t K) {
    while (FStack.size() > K) {
      FPlaces.find(FStack.back().Name)->second.pop_back();
      FStack.pop_back();
    }
  }

  std::vector<Element> FStack;
  // For each name, where it is open in FStack, innermost last.
  std::map<String, std::vector<std::size_t>, std::less<>> FPlaces;
};

// Ends the elements that a start tag Name ends by itself in HTML.
void closeImplied(OpenElements& Open, std::u16string_view Name) {
  if (closesParagraph(Name) && Open.topIs(u"p")) Open.pop();
  if (Name == u"li") Open.closeSibling({u"li"}, {u"ul", u"ol", u"menu", u"dir"});
  if (Name == u"dt" || Name == u"dd") Open.closeSibling({u"dt", u"dd"}, {u"dl"});
  if (Name == u"td" || Name == u"th") Open.closeSibling({u"td", u"th"}, {u"tr", u"table"});
  if (Name == u"tr") Open.closeSibling({u"tr"}, {u"table", u"thead", u"tbody", u"tfoot"});
  if (Name == u"thead" || Name == u"tbody" || Name == u"tfoot")
    Open.closeSibling({u"thead", u"tbody", u"tfoot"}, {u"table"});
  if (Name == u"option") Open.closeSibling({u"option"}, {u"select"});
}

// The end of the tag or comment that starts at From ("<"), just past its
// ">" (quoted attribute values may hold one), or npos.
std::size_t tagEnd(std::u16string_view S, std::size_t From, std::size_t To) {
  if (S.compare(From, 4, u"<!--") == 0) {
    const std::size_t e = S.substr(0, To).find(u"-->", From + 4);
    return e == String::npos ? String::npos : e + 3;
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

// Follows the tags of S[From, To) on Open, the elements open at From. The
// document's own frame (html, head, body) is left out: a fragment lies in
// a body.
void followTags(std::u16string_view S, std::size_t From, std::size_t To, OpenElements& Open) {
  const std::u16string_view part = S.substr(0, To);
  std::size_t i = From;
  String name;
  while ((i = part.find(u'<', i)) != String::npos) {
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
    name = htLowerCase(S.substr(nameAt, n - nameAt));
    const std::size_t e = tagEnd(S, i, To);
    if (e == String::npos) return;
    if (name == u"html" || name == u"head" || name == u"body") {
      i = e;
      continue;
    }
    if (closing) {
      Open.close(name);
      i = e;
      continue;
    }
    closeImplied(Open, name);
    if (isRawTextElement(name)) {
      // Its text is no markup; its end tag ends it.
      const std::size_t close = findNoCase(S, u"</" + name, e, To);
      if (close == String::npos) {
        Open.push(name, i, e);
        return;
      }
      i = close;
      continue;
    }
    if (!isVoidElement(name) && S[e - 2] != u'/') Open.push(name, i, e);
    i = e;
  }
}

// cutMatches(FirstChar) over the markup and style text of S only: tags,
// comments and the content of style elements. The page's own text (and a
// script's) is copied as it stands.
String cutInMarkup(const String& S, std::u16string_view Needle, std::size_t& Mark) {
  String out;
  out.reserve(S.size());
  std::size_t mark = String::npos;
  auto copy = [&](std::size_t From, std::size_t To) {
    if (Mark >= From && Mark < To) mark = out.size() + (Mark - From);
    out.append(S, From, To - From);
  };
  auto cut = [&](std::size_t From, std::size_t To) {
    const bool holdsMark = Mark >= From && Mark < To;
    std::size_t at = holdsMark ? Mark - From : String::npos;
    const String part = cutMatches(S.substr(From, To - From), Needle, Cut::FirstChar, at);
    if (holdsMark) mark = out.size() + at;
    out += part;
  };
  std::size_t i = 0;
  while (i < S.size()) {
    const std::size_t lt = S.find(u'<', i);
    if (lt == String::npos) break;
    const char16_t next = lt + 1 < S.size() ? S[lt + 1] : 0;
    if (!isAsciiLetter(next) && next != u'/' && next != u'!' && next != u'?') {
      copy(i, lt + 1);  // a "<" in the text
      i = lt + 1;
      continue;
    }
    copy(i, lt);
    std::size_t end = tagEnd(S, lt, S.size());
    if (end == String::npos) end = S.size();
    std::size_t n = lt + 1;
    while (n < end && isNameChar(S[n])) ++n;
    const String name = htLowerCase(S.substr(lt + 1, n - lt - 1));
    if (!isRawTextElement(name)) {
      cut(lt, end);
      i = end;
      continue;
    }
    // A raw-text element's content runs to its own end tag: a style
    // element's is style, any other's is text.
    std::size_t close = findNoCase(S, u"</" + name, end);
    if (close == String::npos) close = S.size();
    if (name == u"style") {
      cut(lt, close);
    } else {
      cut(lt, end);
      copy(end, close);
    }
    i = close;
  }
  copy(i, S.size());
  Mark = mark == String::npos ? out.size() : mark;
  return out;
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
  OpenElements open;
  followTags(S, 0, start, open);
  String opening;
  for (const OpenElements::Element& element : open.Items())
    opening.append(S, element.TagFrom, element.TagTo - element.TagFrom);
  followTags(S, start, S.size(), open);
  String closing;
  for (auto it = open.Items().rbegin(); it != open.Items().rend(); ++it) {
    closing += u"</";
    closing += it->Name;
    closing += u'>';
  }
  S.reserve(S.size() + opening.size() + closing.size());
  S.insert(start, opening);
  S += closing;

  // The place of the start comment: the first selected character's source,
  // before the elements opened again; carried through every edit below
  // (the page's own text may hold any character, so no character can
  // stand in for it).
  std::size_t mark = start;
  S = cutMatches(S, u"<meta", Cut::WholeTag, mark);
  S = cutMatches(S, u"<!doctype", Cut::WholeTag, mark);
  S = cutInMarkup(S, u"page-break-", mark);

  const String style = u"<style> body {font-size: " + IntToStr(FontSize) +
                       u"pt; font-family: \"" + FontName + u"\"; }</style>";
  // The style goes before the fragment when the two meet.
  auto insertBeforeFragment = [&](std::size_t At, const String& Text) {
    S.insert(At, Text);
    if (At <= mark) mark += Text.size();
  };
  if (std::size_t head = findNoCase(S, u"<head>"); head != String::npos) {
    insertBeforeFragment(head, style);
  } else {
    std::size_t html = findNoCase(S, u"<html>");
    insertBeforeFragment(html == String::npos ? 0 : html, u"<head>" + style + u"</head>");
  }
  S.insert(mark, StartComment);
  S.insert(0, Prefix);
  mark += Prefix.size();
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
