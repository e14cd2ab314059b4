#include "tools/dictbuilder/dictd_markup.h"

#include <map>
#include <set>

#include "platform/core/strings.h"
#include "tools/dictbuilder/text.h"

namespace dictbuilder {
namespace {

// A no-break space: indentation that survives HTML whitespace folding and
// stays a plain character when a page is saved as text.
const String kIndent = u"\u00A0\u00A0\u00A0";

enum class ItemKind { Lead, Homonym, Group, Sense, SubSense };

struct Item {
  ItemKind Kind = ItemKind::Lead;
  String Marker;  // "I", "1.", "1)", "а)" as written (without "_")
  String Text;    // the rest, continuation lines joined by blanks
};

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isRoman(char16_t c) { return c == u'I' || c == u'V' || c == u'X'; }
bool isLetter(char16_t c) { return IsLatinLetter(c) || (IsCyrillic(c) && c != u'\u0482'); }
bool isLowerCyrillic(char16_t c) { return (c >= u'а' && c <= u'я') || c == u'ё'; }

String trim(const String& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= 32) ++b;
  while (e > b && s[e - 1] <= 32) --e;
  return s.substr(b, e - b);
}

// Recognises a marker at the start of a trimmed line; fills kind and marker
// and returns its length (0: no marker).
size_t markerAt(const String& t, ItemKind& kind, String& marker) {
  size_t i = 0;
  if (t.size() >= 2 && t[0] == u'_' && isRoman(t[1])) {
    i = 1;
    while (i < t.size() && isRoman(t[i])) ++i;
    if (i == t.size() || !isLetter(t[i])) {
      kind = ItemKind::Homonym;
      marker = t.substr(1, i - 1);
      return i;
    }
    return 0;
  }
  while (i < t.size() && isDigit(t[i])) ++i;
  if (i > 0 && i < t.size() && (t[i] == u'.' || t[i] == u')')) {
    const bool group = t[i] == u'.';
    // "1." must stand alone ("1. _n."), not start a number like "1.5".
    if (group && i + 1 < t.size() && t[i + 1] != u' ') return 0;
    kind = group ? ItemKind::Group : ItemKind::Sense;
    marker = t.substr(0, i + 1);
    return i + 1;
  }
  if (t.size() >= 2 && isLowerCyrillic(t[0]) && t[1] == u')') {
    kind = ItemKind::SubSense;
    marker = t.substr(0, 2);
    return 2;
  }
  return 0;
}

std::vector<Item> splitItems(const std::vector<UTF8String>& lines) {
  std::vector<Item> items;
  for (size_t n = 1; n < lines.size(); ++n) {
    const String t = trim(UTF8ToUTF16(lines[n]));
    if (t.empty()) continue;
    ItemKind kind;
    String marker;
    if (const size_t len = markerAt(t, kind, marker)) {
      items.push_back({kind, marker, trim(t.substr(len))});
      continue;
    }
    if (items.empty()) items.push_back({ItemKind::Lead, u"", u""});
    String& text = items.back().Text;
    // A word hyphenated at the end of a line ("северо-" / "восток") is
    // joined back without a blank.
    const bool hyphenated = text.size() >= 2 && text.back() == u'-' && isLetter(text[text.size() - 2]);
    if (!text.empty() && !hyphenated) text += u' ';
    text += t;
  }
  return items;
}

void appendEscaped(String& out, char16_t c) {
  switch (c) {
    case u'&': out += u"&amp;"; break;
    case u'<': out += u"&lt;"; break;
    case u'>': out += u"&gt;"; break;
    default: out += c;
  }
}

// Length of an English word usable as a link target at position i.
size_t latinWordAt(const String& t, size_t i) {
  size_t j = i;
  while (j < t.size() && (IsLatinLetter(t[j]) || ((t[j] == u'-' || t[j] == u'\'') && j > i))) ++j;
  while (j > i && (t[j - 1] == u'-' || t[j - 1] == u'\'')) --j;
  // A reference to a prefix entry ("com-") keeps its hyphen: the headword
  // has it.
  if (j > i && j < t.size() && t[j] == u'-' && (j + 1 == t.size() || !IsLatinLetter(t[j + 1]))) ++j;
  return j - i;
}

// Length of an abbreviation after "_" at position i: letters, inner hyphens
// and a final dot.
size_t abbreviationAt(const String& t, size_t i) {
  size_t j = i;
  while (j < t.size() && (isLetter(t[j]) || (t[j] == u'-' && j > i && j + 1 < t.size() && isLetter(t[j + 1]))))
    ++j;
  if (j == i) return 0;
  if (j < t.size() && t[j] == u'.') ++j;
  return j - i;
}

// The source writes the transcription in a reduced character set: arrows for
// the stress marks and look-alike letters for the open o and the schwa.
char16_t transcriptionChar(char16_t c) {
  switch (c) {
    case u'↗': return u'ˈ';
    case u'↘': return u'ˌ';
    case u'ɘ': return u'ɔ';
    case u'ɜ': return u'ə';
    default: return c;
  }
}

bool startsWith(const String& t, size_t i, std::u16string_view what) {
  return t.compare(i, what.size(), what) == 0;
}

String convertInline(const String& t) {
  String out;
  for (size_t i = 0; i < t.size();) {
    const char16_t c = t[i];
    if (c == u'[') {
      const size_t close = t.find(u']', i);
      if (close != String::npos) {
        out += u"<4>[";
        for (size_t k = i + 1; k < close; ++k) appendEscaped(out, transcriptionChar(t[k]));
        out += u"]</4>";
        i = close + 1;
        continue;
      }
    }
    if (c == u'_' && i + 1 < t.size()) {
      size_t r = i + 1;
      while (r < t.size() && isRoman(t[r])) ++r;
      if (r > i + 1 && (r == t.size() || !isLetter(t[r]))) {
        out += u"<1>" + t.substr(i + 1, r - i - 1) + u"</1>";
        i = r;
        continue;
      }
      if (const size_t len = abbreviationAt(t, i + 1)) {
        out += u"<2>";
        for (size_t k = i + 1; k < i + 1 + len; ++k) appendEscaped(out, t[k]);
        out += u"</2>";
        i += 1 + len;
        continue;
      }
    }
    const bool wordStart = i == 0 || t[i - 1] == u' ' || t[i - 1] == u'(' || t[i - 1] == u'{';
    if (wordStart && (startsWith(t, i, u"= ") || startsWith(t, i, u"см. "))) {
      const size_t lead = t[i] == u'=' ? 2 : 4;
      if (const size_t len = latinWordAt(t, i + lead)) {
        out += t.substr(i, lead) + u"<7>" + t.substr(i + lead, len) + u"</7>";
        i += lead + len;
        continue;
      }
    }
    appendEscaped(out, c);
    ++i;
  }
  return out;
}

}  // namespace

UTF8String ConvertDictdArticle(const UTF8String& text) {
  const std::vector<UTF8String> lines = SplitLines(text);
  String out;
  const String headword = trim(UTF8ToUTF16(lines.empty() ? UTF8String() : lines[0]));
  if (!headword.empty()) {
    out += u"<1>";
    for (char16_t c : headword) appendEscaped(out, c);
    out += u"</1>";
  }
  for (const Item& item : splitItems(lines)) {
    const String body = convertInline(item.Text);
    switch (item.Kind) {
      case ItemKind::Lead: out += u" " + body; break;
      case ItemKind::Homonym: out += u"<9><1>" + item.Marker + u"</1> " + body; break;
      case ItemKind::Group: out += u"<BR><1>" + item.Marker + u"</1> " + body; break;
      case ItemKind::Sense: out += u"<BR>" + kIndent + u"<1>" + item.Marker + u"</1> " + body; break;
      case ItemKind::SubSense: out += u"<BR>" + kIndent + kIndent + item.Marker + u" " + body; break;
    }
  }
  return UTF16ToUTF8(out);
}

namespace {

const std::set<String>& partsOfSpeech() {
  static const std::set<String> pos = {u"n.",      u"v.",     u"a.",    u"adv.",   u"prep.",  u"cj.",
                                       u"conj.",   u"pron.",  u"int.",  u"interj.", u"num.",  u"n-card.",
                                       u"n-ord.",  u"pl.",    u"p-p.",  u"pres-p."};
  return pos;
}

// Removes bracketed parts and abbreviations; records the last part of
// speech seen in `pos`.
String stripForTranslations(const String& t, String& pos) {
  String out;
  int depth = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    const char16_t c = t[i];
    if (c == u'(' || c == u'[' || c == u'{') { ++depth; continue; }
    if (c == u')' || c == u']' || c == u'}') { if (depth > 0) --depth; continue; }
    if (depth > 0) continue;
    if (c == u'_') {
      const size_t len = abbreviationAt(t, i + 1);
      const String abbr = t.substr(i + 1, len);
      if (partsOfSpeech().count(abbr)) pos = abbr;
      // An abbreviation is a label, not a translation: cut it out with a
      // separator so that it never glues onto a word.
      out += u',';
      i += len;
      continue;
    }
    out += c;
  }
  return out;
}

bool acceptableRussianWord(const String& w) {
  if (w.size() < 2 || w.size() > 30) return false;
  if (!isLowerCyrillic(w[0])) return false;
  for (char16_t c : w)
    if (!(isLowerCyrillic(c) || c == u'-')) return false;
  return w.back() != u'-';
}

std::vector<String> split(const String& t, char16_t sep) {
  std::vector<String> parts;
  size_t start = 0;
  for (size_t i = 0; i <= t.size(); ++i) {
    if (i == t.size() || t[i] == sep) {
      parts.push_back(t.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

std::vector<Translation> ExtractTranslations(const UTF8String& text) {
  std::vector<Translation> result;
  std::set<String> seen;
  String pos;
  for (const Item& item : splitItems(SplitLines(text))) {
    const String stripped = stripForTranslations(item.Text, pos);
    for (const String& segment : split(stripped, u';')) {
      bool english = false;
      for (char16_t c : segment) english = english || IsLatinLetter(c);
      if (english) continue;  // an example phrase and its translation
      for (const String& piece : split(segment, u',')) {
        const String w = trim(piece);
        if (!acceptableRussianWord(w) || !seen.insert(w).second) continue;
        result.push_back({UTF16ToUTF8(w), UTF16ToUTF8(pos)});
      }
    }
  }
  return result;
}

std::vector<Article> ReverseArticles(const std::vector<Article>& englishSource) {
  // Enough to show the common senses of a very general word without turning
  // its article into a word list of the whole dictionary.
  const size_t kMaxTranslations = 60;
  struct Target {
    UTF8String English, Pos;
  };
  std::map<UTF8String, std::vector<Target>> byRussian;
  for (const Article& a : englishSource) {
    for (const Translation& t : ExtractTranslations(a.Description)) {
      auto& targets = byRussian[t.Russian];
      if (targets.size() >= kMaxTranslations) continue;
      bool duplicate = false;
      for (const Target& x : targets) duplicate = duplicate || x.English == a.Headword;
      if (!duplicate) targets.push_back({a.Headword, t.Pos});
    }
  }
  std::vector<Article> out;
  out.reserve(byRussian.size());
  for (const auto& [russian, targets] : byRussian) {
    UTF8String d = "<1>" + russian + "</1>";
    int n = 0;
    for (const Target& t : targets) {
      d += "<BR><1>" + std::to_string(++n) + ")</1> ";
      // A link target becomes a query, and a blank in a query starts the
      // additional words: phrases are shown without a link.
      if (t.English.find_first_of(" \"") == std::string::npos) d += "<7>" + EscapeHtml(t.English) + "</7>";
      else d += EscapeHtml(t.English);
      if (!t.Pos.empty()) d += " <2>" + EscapeHtml(t.Pos) + "</2>";
    }
    out.push_back({russian, std::move(d)});
  }
  return out;
}

}  // namespace dictbuilder
