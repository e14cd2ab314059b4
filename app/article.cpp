#include "app/article.h"

#include <algorithm>
#include <string_view>

#include "app/data_files.h"
#include "app/dictionaries.h"
#include "platform/core/exception.h"
#include "platform/core/strings.h"
#include "platform/core/streams.h"
#include "platform/core/text_file.h"
#include "platform/core/files.h"
#include "platform/graphics/colors.h"

namespace {

void replaceFirst(String& s, const String& from, const String& to) {
  const size_t at = s.find(from);
  if (at != String::npos) s.replace(at, from.size(), to);
}

String upperChars(const String& s) {
  String u = s;
  for (char16_t& c : u) c = AnsiUpperChar(c);
  return u;
}

// Finds a text in S from positions that mostly grow, searching each part of
// S once: a search that found nothing is not repeated for a later start, so
// many unclosed tags cost one scan, not one scan each.
class TForwardSearch {
public:
  TForwardSearch(const String& S, const char16_t* Needle) : FS(S), FNeedle(Needle) {}
  size_t Next(size_t From) {
    if (FValid && From >= FFrom && (FAt == String::npos || From <= FAt)) return FAt;
    FAt = FS.find(FNeedle, From);
    FFrom = From;
    FValid = true;
    return FAt;
  }

private:
  const String& FS;
  std::u16string_view FNeedle;
  bool FValid = false;
  size_t FFrom = 0;
  size_t FAt = String::npos;
};

// Length of the character reference ("&bull;", "&#769;", "&#x301;") that
// starts at s[i], or 0 when none does.
size_t entityLength(const String& s, size_t i) {
  if (s[i] != u'&') return 0;
  size_t k = i + 1;
  if (k < s.size() && s[k] == u'#') ++k;
  const size_t nameStart = k;
  while (k < s.size() && k - nameStart < 32 &&
         ((s[k] >= u'a' && s[k] <= u'z') || (s[k] >= u'A' && s[k] <= u'Z') || (s[k] >= u'0' && s[k] <= u'9')))
    ++k;
  return k > nameStart && k < s.size() && s[k] == u';' ? k + 1 - i : 0;
}

// Where the tags of a text end, for tags met from its start to its end.
class TTagScanner {
public:
  explicit TTagScanner(const String& S) : FS(S), FDouble(S, u"\""), FSingle(S, u"'"), FClose(S, u">") {}

  // Index just past the tag that starts at S[i] (a '<'), or the text's
  // end. A '>' inside a quoted attribute value does not end the tag, as in
  // the view; a quote counts only right after '=', so an apostrophe in text
  // that merely looks like a tag cannot swallow the rest of the article.
  size_t TagEnd(size_t i) {
    bool afterEquals = false;
    for (size_t k = i + 1; k < FS.size(); ++k) {
      const char16_t c = FS[k];
      if (c == u'>') return k + 1;
      if ((c == u'"' || c == u'\'') && afterEquals) {
        const size_t close = (c == u'"' ? FDouble : FSingle).Next(k + 1);
        if (close == String::npos) break;
        k = close;
        afterEquals = false;
        continue;
      }
      if (c == u'=') afterEquals = true;
      else if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') afterEquals = false;
    }
    const size_t end = FClose.Next(i);
    return end == String::npos ? FS.size() : end + 1;
  }
  // Whether a '>' follows S[i].
  bool ClosedAfter(size_t i) { return FClose.Next(i) != String::npos; }

private:
  const String& FS;
  TForwardSearch FDouble, FSingle, FClose;
};

// Marks every occurrence of Word in a run of text that holds no reference.
// The mark holds the article's own characters (its case, its "ё"): the page
// shows what the dictionary says, whatever spelling found it. Upper-casing
// maps each unit to one unit, so places in the upper-cased run are places
// in the text.
void highlightRun(const String& s, size_t from, size_t to, const String& upperWord, bool FoldYe, String& out) {
  String upperRun = upperChars(s.substr(from, to - from));
  // "Ё" of the article counts as "Е", as the search found it.
  if (FoldYe) std::replace(upperRun.begin(), upperRun.end(), u'Ё', u'Е');
  size_t at, done = 0;
  while ((at = upperRun.find(upperWord, done)) != String::npos) {
    out.append(s, from + done, at - done);
    out += u"<FONT style=\"background-color: #E0FFFF\">";
    out.append(s, from + at, upperWord.size());
    out += u"</FONT>";
    done = at + upperWord.size();
  }
  out.append(s, from + done, to - from - done);
}

// Replaces every occurrence of Word (compared by the locale's case rules)
// in the shown text of s: never inside a tag or a character reference, and
// never between the media and cross-reference tags, whose content becomes
// names and addresses (a cross-reference's text is marked when it becomes a
// link).
String highlight(const String& s, const String& word) {
  if (word.empty()) return s;
  const String upperWord = FoldYo(upperChars(word));
  const bool foldYe = FoldsYe(upperWord);
  TForwardSearch closeMedia(s, u"</5>"), closeLink(s, u"</7>");
  TTagScanner tags(s);
  String out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    // A protected region: a whole media or cross-reference element.
    if (s.compare(i, 3, u"<5>") == 0 || s.compare(i, 3, u"<7>") == 0) {
      const size_t end = (s[i + 1] == u'5' ? closeMedia : closeLink).Next(i + 3);
      if (end != String::npos) {
        out.append(s, i, end + 4 - i);
        i = end + 4;
        continue;
      }
    }
    if (s[i] == u'<') {
      const size_t stop = tags.TagEnd(i);
      out.append(s, i, stop - i);
      i = stop;
      continue;
    }
    size_t textEnd = s.find(u'<', i);
    if (textEnd == String::npos) textEnd = s.size();
    // The text up to the next tag, split at character references.
    size_t runStart = i;
    for (size_t k = i; k < textEnd;) {
      const size_t n = entityLength(s, k);
      if (n == 0 || k + n > textEnd) {
        ++k;
        continue;
      }
      highlightRun(s, runStart, k, upperWord, foldYe, out);
      out.append(s, k, n);
      k += n;
      runStart = k;
    }
    highlightRun(s, runStart, textEnd, upperWord, foldYe, out);
    i = textEnd;
  }
  return out;
}

String highlightAll(String s, const std::vector<String>& words) {
  for (const String& w : words) s = highlight(s, w);
  return s;
}

// The text of markup with its tags left out: a cross-reference written
// around bold or highlighted text still searches for the word itself.
String withoutTags(const String& s) {
  TTagScanner tags(s);
  String out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (s[i] == u'<' && tags.ClosedAfter(i)) {
      i = tags.TagEnd(i);
      continue;
    }
    out += s[i++];
  }
  return out;
}

// Text made safe inside a double-quoted attribute value, its character
// references kept: the viewer reads them back into the characters shown.
String escapeKeepingReferences(const String& s) {
  String out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t n = entityLength(s, i);
    if (n > 0) {
      out.append(s, i, n);
      i += n;
      continue;
    }
    out += EscapeHtml(String(1, s[i++]));
  }
  return out;
}

// The numbered tags with a fixed HTML form, and the acute accent entity.
// No replacement can make or break another's match (each starts with '<'
// or '&' and ends with '>' or ';'), so one pass gives what one pass per
// row would.
struct TFixedTag {
  std::u16string_view Markup;
  std::u16string_view Html;
};
constexpr TFixedTag kFixedTags[] = {
    {u"<1>", u"<B>"},
    {u"</1>", u"</B>"},
    {u"<3>", u"<U>"},
    {u"</3>", u"</U>"},
    {u"<2>", u"<I>"},
    {u"</2>", u"</I>"},
    {u"<4>", u"<FONT style=\"font-family: Lucida Sans Unicode; font-size: 16pt\">"},
    {u"</4>", u"</FONT>"},
    {u"<9>", u"<BR><BR>&bull; "},
    {u"&acute;", u"`"},
};

String convertFixedTags(const String& s) {
  String out;
  out.reserve(s.size() + s.size() / 8);
  size_t i = 0;
  while (i < s.size()) {
    const size_t at = s.find_first_of(u"<&", i);
    if (at == String::npos) {
      out.append(s, i, String::npos);
      break;
    }
    out.append(s, i, at - i);
    i = at;
    const std::u16string_view rest = std::u16string_view(s).substr(at);
    const TFixedTag* tag = nullptr;
    for (const TFixedTag& t : kFixedTags)
      if (rest.starts_with(t.Markup)) {
        tag = &t;
        break;
      }
    if (tag) {
      out += tag->Html;
      i += tag->Markup.size();
    } else {
      out += s[i++];
    }
  }
  return out;
}

// Pictures and other media: "<5>" name "</5>" becomes a picture that is
// also a link, both with the media source. An unclosed tag stays as text,
// and so does every one after it.
String convertMedia(const String& s, int DictIndex) {
  const String n = IntToStr(DictIndex);
  String out;
  out.reserve(s.size());
  size_t from = 0;
  for (;;) {
    const size_t open = s.find(u"<5>", from);
    const size_t close = open == String::npos ? String::npos : s.find(u"</5>", open + 3);
    if (close == String::npos) break;
    const String source = u"*" + n + u"/" + EscapeHtml(s.substr(open + 3, close - open - 3));
    out.append(s, from, open - from);
    out += u"<DIV><a href=\"";
    out += source;
    out += u"\"><IMG style=\"border: 1px #e0e0e0 dashed\" SRC=\"";
    out += source;
    out += u"\"></a></DIV>";
    from = close + 4;
  }
  out.append(s, from, String::npos);
  return out;
}

// Cross-references: "<7>" word "</7>" becomes a link that searches for
// the word. A "<7>" with no "</7>" after it opens a link with an empty
// target.
String convertLinks(const String& s, const std::vector<String>& AdditionalWords) {
  TForwardSearch closeLink(s, u"</7>");
  String out;
  out.reserve(s.size());
  size_t from = 0;
  for (;;) {
    const size_t open = s.find(u"<7>", from);
    if (open == String::npos) break;
    out.append(s, from, open - from);
    const size_t close = closeLink.Next(open + 3);
    if (close == String::npos) {
      out += u"<A href=\"#\">";
      from = open + 3;
      continue;
    }
    // The link's text is shown text, so the additional words are marked in
    // it; its target is the text as stored, without any markup.
    const String text = s.substr(open + 3, close - open - 3);
    out += u"<A href=\"#";
    out += escapeKeepingReferences(withoutTags(text));
    out += u"\">";
    out += highlightAll(text, AdditionalWords);
    out += u"</A>";
    from = close + 4;
  }
  out.append(s, from, String::npos);
  return out;
}

}  // namespace

String EscapeHtml(const String& Text) {
  String out;
  out.reserve(Text.size());
  for (char16_t c : Text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

String ColorToHtml(TColor Color) {
  const COLORREF rgb = ColorToRGB(Color);
  return u"#" + UIntToHexDigits(GetRValue(rgb), 2) + UIntToHexDigits(GetGValue(rgb), 2) +
         UIntToHexDigits(GetBValue(rgb), 2);
}

String ConvertArticleMarkup(const String& Text, int DictIndex, const std::vector<String>& AdditionalWords) {
  // Each stage is one pass over the text into a new string: an article of
  // many megabytes converts in time linear in its size.
  return convertLinks(convertMedia(highlightAll(convertFixedTags(Text), AdditionalWords), DictIndex),
                      AdditionalWords);
}

String BuildPage(const String& Caption, const String& Body, TColor BgColor, TColor TextColor,
                 const String& FontName, int FontSize) {
  String page;
  page.reserve(Body.size() + 400);
  page += u"<html><head>";
  page += u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" /></head>";
  page += u"<body bgcolor=\"";
  page += ColorToHtml(BgColor);
  page += u"\" style=\"margin-right: 20px; margin-bottom: 20px; color: ";
  page += ColorToHtml(TextColor);
  page += u"; font-family: ";
  page += EscapeHtml(FontName);
  page += u"; font-size: ";
  page += IntToStr(FontSize);
  page += u"pt\">";
  page += u"<h1>";
  page += EscapeHtml(Caption);
  page += u"</h1>";
  page += Body;
  page += u"</body></html>";
  return page;
}

String BuildAboutBody(const std::vector<String>& L, const DictRecordType& r) {
  auto line = [&](size_t n) { return n - 1 < L.size() ? L[n - 1] : String(); };
  auto value = [](const UTF8String& v) { return EscapeHtml(UTF8ToUTF16(v)); };
  const String hr = u"<BR><HR>";
  return line(1) + value(r.InfoText2) + hr + line(2) + value(r.InfoText0) + hr + line(3) +
         IntToStr(r.InfoNumber) + hr + line(4) + value(r.InfoText8) + hr + line(5) + value(r.InfoText6) + hr +
         line(7) + value(r.Languages) + hr + line(8) + value(r.InfoText5) + hr + line(9) + value(r.InfoText9) +
         hr + line(10) + (r.InfoFlag ? u"-1" : u"0") + hr;
}

std::vector<String> ReadTemplateLines(const String& FileName, size_t MaxLines) {
  std::vector<String> lines;
  TTextFile f(FileName);
  try {
    f.Reset();
    while (!f.Eof() && lines.size() < MaxLines) lines.push_back(f.ReadLn());
    f.CloseFile();
  } catch (const EInOutError&) {
    RaiseReadError(FileName);
  }
  return lines;
}

String CssString(const String& Text) {
  static const char16_t kHex[] = u"0123456789abcdef";
  String out = u"\"";
  for (char16_t c : Text) {
    if (c == u'"' || c == u'\\') {
      out += u'\\';
      out += c;
    } else if (c < 0x20 || c == 0x7F) {
      // A control character (a line break above all) ends a CSS string:
      // it goes in as a hexadecimal escape, ended by a blank.
      out += u'\\';
      if (c >= 0x10) out += kHex[c >> 4];
      out += kHex[c & 0xF];
      out += u' ';
    } else {
      out += c;
    }
  }
  return out + u"\"";
}

void WriteHelpStyleSheet(const String& TemplateFile, const String& TargetFile, TColor BgColor,
                         TColor TextColor, int FontSize, const String& FontName) {
  String text;
  for (String line : ReadTemplateLines(TemplateFile)) {
    replaceFirst(line, u"_HtmlBgColor_", ColorToHtml(BgColor));
    replaceFirst(line, u"_HtmlTextColor_", ColorToHtml(TextColor));
    replaceFirst(line, u"_FontSize_", IntToStr(FontSize));
    // The name comes from the settings file as the user left it: quoted, it
    // stays one name whatever it holds.
    replaceFirst(line, u"_FontName_", CssString(FontName));
    text += line + u"\r\n";
  }
  WriteFileReplacing(TargetFile, UTF16ToUTF8(text));
}
