#include "html/parse/style_parser.h"

#include <algorithm>

#include "html/parse/style_colors.h"
#include "html/parse/style_text.h"
#include "html/parse/url_routines.h"

using namespace std::string_view_literals;

using namespace styletext;

const char16_t* const ShortHands[13] = {
    u"margin",     u"padding",     u"border-width",  u"border",     u"border-top",
    u"border-right", u"border-bottom", u"border-left", u"font",       u"background",
    u"list-style", u"border-color", u"border-style"};

namespace {

// Nested @media blocks deeper than this are skipped as a whole.
constexpr int MaxRuleNesting = 16;

bool isIdentChar(char16_t c) {
  return c == u'-' || c == u'_' || isDigit(c) || isAsciiLetter(c) || c >= 160;
}

// Lower case outside quoted strings and url(...), whose text may name
// files on a case-sensitive file system.
String lowerValue(std::u16string_view v) {
  String r;
  r.reserve(v.size());
  char16_t quote = 0;
  int urlDepth = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    const char16_t c = v[i];
    if (quote) {
      if (c == quote) quote = 0;
      r += c;
    } else if (urlDepth > 0) {
      if (c == u'(') ++urlDepth;
      else if (c == u')') --urlDepth;
      r += c;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
      r += c;
    } else if (c == u'(' && r.size() >= 3 && lower(std::u16string_view(r).substr(r.size() - 3)) == u"url"sv) {
      r.resize(r.size() - 3);
      r += u"url(";
      urlDepth = 1;
    } else {
      r += lowerChar(c);
    }
  }
  return r;
}

String stripQuotes(const String& v) {
  if (v.size() >= 2 && (v[0] == u'"' || v[0] == u'\'') && v.back() == v[0])
    return v.substr(1, v.size() - 2);
  return v;
}

// Removes a trailing "!important"; true when it was there.
bool takeImportant(String& v) {
  const size_t bang = v.rfind(u'!');
  if (bang == String::npos) return false;
  if (trim(std::u16string_view(v).substr(bang + 1)) != u"important"sv) return false;
  v = trim(std::u16string_view(v).substr(0, bang));
  return true;
}

// Words of a shorthand value: blanks separate, quoted and parenthesised
// runs stay whole, and "12px/1.5" splits before the "/".
std::vector<String> splitWords(const String& value, size_t maxWords) {
  std::vector<String> words;
  String cur;
  char16_t quote = 0;
  int depth = 0;
  auto flush = [&] {
    if (cur.empty()) return;
    const size_t slash = cur.find(u'/', 1);
    if (slash != String::npos && cur.find(u'(') == String::npos && cur[0] != u'"' &&
        cur[0] != u'\'') {
      words.push_back(cur.substr(0, slash));
      words.push_back(cur.substr(slash));
    } else {
      words.push_back(cur);
    }
    cur.clear();
  };
  for (size_t i = 0; i < value.size(); ++i) {
    const char16_t c = value[i];
    if (quote) {
      cur += c;
      if (c == quote) quote = 0;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
      cur += c;
    } else if (c == u'(') {
      ++depth;
      cur += c;
    } else if (c == u')') {
      if (depth > 0) --depth;
      cur += c;
    } else if (c == u' ' && depth == 0) {
      // "a , b" and "a, b" keep the list in one word.
      size_t j = i;
      while (j < value.size() && value[j] == u' ') ++j;
      if (j < value.size() && value[j] == u',') {
        i = j - 1;
        continue;
      }
      if (!cur.empty() && cur.back() == u',') continue;
      flush();
    } else {
      cur += c;
    }
  }
  flush();
  if (words.size() > maxWords) words.resize(maxWords);
  return words;
}

// Takes every "name(...)" group out of text and returns them.
std::vector<String> takeGroups(String& text, std::u16string_view name) {
  std::vector<String> groups;
  size_t at;
  while ((at = text.find(name)) != String::npos) {
    size_t e = at + name.size();
    int depth = 1;
    while (e < text.size() && depth > 0) {
      if (text[e] == u'(') ++depth;
      else if (text[e] == u')') --depth;
      ++e;
    }
    groups.push_back(text.substr(at, e - at));
    text.erase(at, e - at);
  }
  return groups;
}

bool isColorWord(const String& w) {
  TColor c;
  return ColorFromString(w, true, c);
}

const char16_t* const BoxSides[4] = {u"top", u"right", u"bottom", u"left"};

bool isBorderStyleWord(const String& w) {
  static const char16_t* const names[] = {u"none",   u"solid", u"dashed", u"dotted", u"double",
                                          u"groove", u"inset", u"outset", u"ridge",  u"hidden"};
  return std::any_of(std::begin(names), std::end(names), [&](const char16_t* n) { return w == n; });
}

}  // namespace

// ---------------------------------------------------------------- base reader

void THtmlStyleParser::ReadStyleChar() {
  FLCh = FBuffer.NextChar();
  if (FLCh == u'\t' || FLCh == u'\n' || FLCh == u'\f' || FLCh == u'\r') {
    FLCh = u' ';
  } else if (FLCh == u'/' && FBuffer.PeekChar() == u'*') {
    FBuffer.NextChar();
    char16_t prev = 0;
    for (;;) {
      const char16_t c = FBuffer.NextChar();
      // A comment left open ends with the data; what came before it stays.
      if (c == 0) {
        FLCh = 0;
        return;
      }
      if (prev == u'*' && c == u'/') break;
      if (c == u'<' && FStopAtEndTag && endTagAhead()) {
        FLCh = u'<';
        return;
      }
      prev = c;
    }
    FLCh = u' ';
  }
}

bool THtmlStyleParser::endTagAhead() {
  const int at = FBuffer.GetPosition();
  static const char16_t tag[] = u"/style";
  bool match = true;
  for (int i = 0; i < 6 && match; ++i) match = lowerChar(FBuffer.NextChar()) == tag[i];
  FBuffer.SetPosition(at);
  return match;
}

void THtmlStyleParser::SkipBlanks() {
  while (FLCh == u' ') ReadStyleChar();
}

bool THtmlStyleParser::ReadIdentifier(String& ident) {
  ident.clear();
  if (FLCh == u'-') {
    const char16_t next = FBuffer.PeekChar();
    if (next == u'-' || isDigit(next)) return false;
    ident += FLCh;
    ReadStyleChar();
  }
  while (isIdentChar(FLCh)) {
    ident += FLCh;
    ReadStyleChar();
  }
  return !ident.empty();
}

String THtmlStyleParser::ReadValue(bool inSheet) {
  // A ";" inside quotes or parentheses (a data: address) ends nothing.
  String value;
  char16_t quote = 0;
  int parens = 0;
  for (; FLCh != 0; ReadStyleChar()) {
    // A quoted value runs to its closing quote; only the style element's
    // end tag stops it early.
    if (inSheet && FLCh == u'<' && (!quote || endTagAhead())) break;
    if (!quote && parens <= 0 && (FLCh == u';' || (inSheet && FLCh == u'}'))) break;
    if (quote) {
      if (FLCh == quote) quote = 0;
    } else if (FLCh == u'"' || FLCh == u'\'') {
      quote = FLCh;
    } else if (FLCh == u'(') {
      ++parens;
    } else if (FLCh == u')') {
      --parens;
    }
    value += FLCh;
  }
  return value;
}

String THtmlStyleParser::AddPath(const String& value) const {
  const size_t at = value.find(u"url(");
  if (at == String::npos || FPath.empty()) return value;
  const String url = ExtractUrl(TPropValue(value));
  if (url.empty()) return value;
  String resolved;
  if (IsAbsoluteUrl(url) || startsWith(lower(url), u"data:")) {
    resolved = url;
  } else if (contains(FPath, u"://")) {
    resolved = JoinUrl(FPath, url);
  } else {
    resolved = UrlToDosPath(url);
    if (!startsWith(resolved, u"/")) resolved = CombineDosPath(FPath, resolved);
  }
  // Replace the whole url(...) group, keeping what stands around it.
  size_t e = at + 4;
  int depth = 1;
  char16_t quote = 0;
  while (e < value.size() && depth > 0) {
    const char16_t c = value[e];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'(') {
      ++depth;
    } else if (c == u')') {
      --depth;
    }
    ++e;
  }
  // Unquoted, a url ends at a blank or a bracket: a resolved name holding
  // one (a folder "sub dir/") is quoted so that it is read back whole.
  if (resolved.find_first_of(u" \t\n\f\r()'\"") != String::npos) {
    const char16_t q = resolved.find(u'"') == String::npos ? u'"' : u'\'';
    resolved = q + resolved + q;
  }
  return value.substr(0, at) + u"url(" + resolved + u")" + value.substr(e);
}

void THtmlStyleParser::ProcessProperty(const String& name, const String& value,
                                       bool resolveUrls) {
  String v = lowerValue(trim(value));
  const bool important = takeImportant(v);
  FImportant = important;
  for (int i = 0; i < 13; ++i)
    if (name == ShortHands[i]) {
      processShortHand(i, v, resolveUrls);
      FImportant = false;
      return;
    }
  if (resolveUrls && contains(v, u"url(")) v = AddPath(v);
  Process(name, stripQuotes(v));
  FImportant = false;
}

void THtmlStyleParser::processShortHand(int index, const String& value, bool resolveUrls) {
  switch (index) {
    case MarginX:
    case PaddingX:
    case BorderWidthX:
    case BorderColorX:
    case BorderStyleX: {
      const std::vector<String> w = splitWords(value, 4);
      if (w.empty()) return;
      const String parts[4] = {w[0], w.size() > 1 ? w[1] : w[0], w.size() > 2 ? w[2] : w[0],
                               w.size() > 3 ? w[3] : (w.size() > 1 ? w[1] : w[0])};
      for (int s = 0; s < 4; ++s) {
        String prop;
        if (index == MarginX) prop = String(u"margin-") + BoxSides[s];
        else if (index == PaddingX) prop = String(u"padding-") + BoxSides[s];
        else if (index == BorderWidthX) prop = String(u"border-") + BoxSides[s] + u"-width";
        else if (index == BorderColorX) prop = String(u"border-") + BoxSides[s] + u"-color";
        else prop = String(u"border-") + BoxSides[s] + u"-style";
        Process(prop, parts[s]);
      }
      return;
    }
    case BorderX:
    case BorderTX:
    case BorderRX:
    case BorderBX:
    case BorderLX: {
      String rest = value;
      String color, width = u"medium", style = u"none";
      for (const String& g : takeGroups(rest, u"rgb("))
        if (isColorWord(g)) color = g;
      for (const String& w : splitWords(rest, 7)) {
        if (isBorderStyleWord(w)) style = w;
        else if (isColorWord(w)) color = w;
        else width = w;
      }
      for (int s = 0; s < 4; ++s) {
        if (index != BorderX && s != index - BorderTX) continue;
        const String side = String(u"border-") + BoxSides[s];
        if (!color.empty()) Process(side + u"-color", color);
        Process(side + u"-width", width);
        Process(side + u"-style", style);
      }
      return;
    }
    case FontX: {
      String style = u"normal", variant = u"normal", weight = u"normal", size = u"medium",
             lineHeight = u"normal", family;
      const std::vector<String> w = splitWords(value, 64);
      for (size_t i = 0; i < w.size(); ++i) {
        const String& word = w[i];
        int number = 0;
        if (word[0] == u'/') {
          lineHeight = word.substr(1);
        } else if (tryStrToInt(word, number) && number >= 100) {
          weight = word;  // 100 .. 900
        } else if (isDigit(word[0]) || word[0] == u'.') {
          size = word;
        } else if (word == u"italic"sv || word == u"oblique"sv) {
          style = word;
        } else if (word == u"normal"sv || word == u"bolder"sv || word == u"lighter"sv ||
                   word == u"bold"sv) {
          weight = word;
        } else if (word == u"small-caps"sv) {
          variant = word;
        } else if (word == u"larger"sv || word == u"smaller"sv || word == u"xx-small"sv ||
                   word == u"x-small"sv || word == u"small"sv || word == u"medium"sv ||
                   word == u"large"sv || word == u"x-large"sv || word == u"xx-large"sv) {
          size = word;
        } else {
          // The family list comes last and may hold blanks ("times new roman").
          for (size_t j = i; j < w.size(); ++j) {
            if (j > i) family += u' ';
            family += w[j];
          }
          break;
        }
      }
      Process(u"font-style", style);
      Process(u"font-variant", variant);
      Process(u"font-weight", weight);
      Process(u"font-size", size);
      Process(u"line-height", lineHeight);
      if (!family.empty()) Process(u"font-family", family);
      return;
    }
    case BackgroundX: {
      String rest = value;
      String color = u"transparent", image = u"none", repeat = u"repeat",
             attachment = u"scroll", position = u"0% 0%";
      for (const String& g : takeGroups(rest, u"rgb(")) color = g;
      for (const String& g : takeGroups(rest, u"url(")) image = resolveUrls ? AddPath(g) : g;
      std::vector<String> positions;
      for (const String& w : splitWords(rest, 7)) {
        if (w == u"none"sv) image = w;
        else if (contains(w, u"repeat")) repeat = w;
        else if (w == u"fixed"sv || w == u"scroll"sv) attachment = w;
        else if (isColorWord(w)) color = w;
        else positions.push_back(w);
      }
      if (positions.size() == 1) position = positions[0];
      else if (positions.size() >= 2)
        position = positions[positions.size() - 2] + u" " + positions.back();
      Process(u"background-color", color);
      Process(u"background-image", image);
      Process(u"background-repeat", repeat);
      Process(u"background-attachment", attachment);
      Process(u"background-position", position);
      return;
    }
    case ListStyleX: {
      String type = u"disc", position = u"outside", image = u"none";
      String rest = value;
      for (const String& g : takeGroups(rest, u"url(")) image = resolveUrls ? AddPath(g) : g;
      for (const String& w : splitWords(rest, 7)) {
        if (w == u"inside"sv || w == u"outside"sv) position = w;
        else type = w;
      }
      Process(u"list-style-type", type);
      Process(u"list-style-position", position);
      Process(u"list-style-image", image);
      return;
    }
  }
}

// ---------------------------------------------------------------- style sheets

bool THtmlStyleTagParser::atStop() const { return FLCh == 0 || (FLCh == u'<' && !FFromLink); }

void THtmlStyleTagParser::Process(const String& name, const String& value) {
  for (const String& key : FSelectors) FStyles.AddDeclaration(key, name, value, FImportant);
}

void THtmlStyleTagParser::ParseSheet(char16_t& ch) {
  FLCh = ch == u'\r' ? u' ' : ch;
  // Pass the opener of an HTML comment wrapped around the sheet, but stop
  // at the end tag of an empty style element.
  while (FLCh == u' ' || FLCh == u'>' || FLCh == u'!' || FLCh == u'-' ||
         (FLCh == u'<' && FBuffer.PeekChar() == u'!'))
    ReadStyleChar();
  readRules(0, false);
  ch = FLCh;
}

void THtmlStyleTagParser::readRules(int depth, bool inBlock) {
  while (!atStop()) {
    if (inBlock && FLCh == u'}') return;
    if (FLCh == u'@') {
      readAtRule(depth);
    } else if (FLCh == u'<') {  // only in a linked sheet: "<!--" and the like
      while (FLCh != 0 && FLCh != u' ') ReadStyleChar();
      SkipBlanks();
    } else if (FLCh == u'}') {  // stray closer
      ReadStyleChar();
    } else {
      FSelectors.clear();
      readSelectors();
      readDeclarations();
    }
    while (FLCh == u' ' || FLCh == u'-' || FLCh == u'>') ReadStyleChar();
  }
}

void THtmlStyleTagParser::readAtRule(int depth) {
  String text;
  ReadStyleChar();  // past "@"
  while (!atStop() && FLCh != u';' && FLCh != u'{') {
    text += FLCh;
    ReadStyleChar();
  }
  if (FLCh == u';') {
    ReadStyleChar();
    return;
  }
  if (FLCh != u'{') return;
  text = lower(trim(text));
  bool forScreen = false;
  if (startsWith(text, u"media")) {
    String list = text.substr(5);
    std::replace(list.begin(), list.end(), u',', u' ');
    for (const String& w : splitWords(list, 64))
      if (w == u"screen"sv || w == u"all"sv) forScreen = true;
  }
  if (!forScreen || depth >= MaxRuleNesting) {
    skipBlock();
    return;
  }
  ReadStyleChar();  // past "{"
  readRules(depth + 1, true);
  if (FLCh == u'}') ReadStyleChar();
}

void THtmlStyleTagParser::skipBlock() {
  int depth = 0;
  while (!atStop()) {
    if (FLCh == u'{') ++depth;
    else if (FLCh == u'}' && --depth <= 0) {
      ReadStyleChar();
      return;
    }
    ReadStyleChar();
  }
}

void THtmlStyleTagParser::readSelectors() {
  for (;;) {
    SkipBlanks();
    String sel;
    bool unsupported = false, endsWithStar = false;
    for (;;) {
      const char16_t c = FLCh;
      if (isIdentChar(c) || c == u'.' || c == u'#' || c == u'>' || c == u' ') {
        sel += c;
        if (c != u' ') endsWithStar = false;
      } else if (c == u':') {
        // Pseudo-elements ("::") are not understood.
        if (!sel.empty() && sel.back() == u':') unsupported = true;
        sel += c;
        endsWithStar = false;
      } else if (c == u'*') {
        sel += u' ';
        endsWithStar = true;
      } else if (c == u'+' || c == u'~') {
        unsupported = true;
        sel += c;
      } else if (c == u'[') {
        // Attribute selectors are not understood; a rule written for some
        // elements must not reach them all.
        unsupported = true;
        while (!atStop() && FLCh != u']' && FLCh != u'{') ReadStyleChar();
        if (FLCh != u']') break;
      } else {
        // A character the reader does not know: the rule is not for us,
        // and its prefix must not stand for it.
        if (c != u',' && c != u'{' && !atStop()) unsupported = true;
        break;
      }
      ReadStyleChar();
    }
    const String s = lower(trim(sel));
    if (!unsupported && !endsWithStar && !s.empty()) {
      const String key = SelectorRuleKey(s, FStyles);
      if (!key.empty()) FSelectors.push_back(key);
    }
    if (FLCh == u',') {
      ReadStyleChar();
      continue;
    }
    while (!atStop() && FLCh != u'{') ReadStyleChar();
    return;
  }
}

void THtmlStyleTagParser::readDeclarations() {
  if (FLCh != u'{') return;
  ReadStyleChar();
  for (;;) {
    SkipBlanks();
    if (atStop()) return;
    if (FLCh == u'}') {
      ReadStyleChar();
      return;
    }
    String name;
    ReadIdentifier(name);
    SkipBlanks();
    if (FLCh == u':' || FLCh == u'=') {
      ReadStyleChar();
      SkipBlanks();
      const String value = ReadValue(true);
      if (!name.empty()) ProcessProperty(lower(name), value, !FPath.empty());
    }
    // Skip the rest of the declaration, minding nested brackets and strings.
    std::vector<char16_t> closers;
    while (!atStop()) {
      const char16_t c = FLCh;
      if (!closers.empty()) {
        if (c == closers.back()) closers.pop_back();
        else if (closers.back() != u'"' && closers.back() != u'\'') {
          if (c == u'"' || c == u'\'') closers.push_back(c);
          else if (c == u'(') closers.push_back(u')');
          else if (c == u'[') closers.push_back(u']');
          else if (c == u'{') closers.push_back(u'}');
        }
      } else if (c == u';') {
        ReadStyleChar();
        break;
      } else if (c == u'}') {
        ReadStyleChar();
        return;
      } else if (c == u'"' || c == u'\'') {
        closers.push_back(c);
      } else if (c == u'(') {
        closers.push_back(u')');
      } else if (c == u'[') {
        closers.push_back(u']');
      } else if (c == u'{') {
        closers.push_back(u'}');
      }
      if (closers.size() > 256) closers.clear();  // hostile nesting
      ReadStyleChar();
    }
  }
}

// ---------------------------------------------------------------- style attributes

void THtmlStyleAttrParser::Process(const String& name, const String& value) {
  const int index = PropertyIndexFromName(name);
  if (index < 0) return;
  FProps.AddPropertyByIndex(TPropertyIndex(index), value);
  if (!FProps.Props[index].IsEmpty()) FProps.Important[index] = FImportant;
}

void THtmlStyleAttrParser::ParseAttribute() {
  ReadStyleChar();
  while (FLCh != 0) {
    SkipBlanks();
    String name;
    while (FLCh == u'-' || isDigit(FLCh) || isAsciiLetter(FLCh)) {
      name += FLCh;
      ReadStyleChar();
    }
    name = lower(trim(name));
    SkipBlanks();
    if (FLCh == u':' || FLCh == u'=') {
      ReadStyleChar();
      const String value = ReadValue(false);
      if (!name.empty()) ProcessProperty(name, value, false);
    }
    SkipBlanks();
    if (FLCh == u';') ReadStyleChar();
    while (FLCh != 0 && FLCh != u'-' && !isDigit(FLCh) && !isAsciiLetter(FLCh)) ReadStyleChar();
  }
}

// ---------------------------------------------------------------- entry points

void ParseStyleSheet(TStyleList& styles, char16_t& ch, TBuffer& buffer, const String& path,
                     bool fromLink) {
  THtmlStyleTagParser parser(buffer, path, styles, fromLink);
  parser.ParseSheet(ch);
}

void ParseStyleAttribute(TBuffer& buffer, TProperties& props) {
  THtmlStyleAttrParser parser(buffer, props);
  parser.ParseAttribute();
}

void ParsePropertyString(const String& text, TProperties& props) {
  std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromString(text, String());
  ParseStyleAttribute(*buffer, props);
}
