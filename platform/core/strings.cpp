#include "platform/core/strings.h"

#include <QChar>

#include <algorithm>

String UTF8ToUTF16(const UTF8String& text) {
  String out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  auto cont = [&](size_t k) { return k < n && (p[k] & 0xC0) == 0x80; };
  while (i < n) {
    unsigned c = p[i];
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c <= 0xDF && cont(i + 1)) {
      cp = ((c & 0x1F) << 6) | (p[i + 1] & 0x3F);
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF && cont(i + 1) && cont(i + 2)) {
      char32_t v = ((c & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
      len = 3;
      if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) cp = v;
    } else if (c >= 0xF0 && c <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      char32_t v = ((c & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) |
                   ((p[i + 2] & 0x3F) << 6) | (p[i + 3] & 0x3F);
      len = 4;
      if (v >= 0x10000 && v <= 0x10FFFF) cp = v;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

UTF8String UTF16ToUTF8(const String& text) {
  UTF8String out;
  out.reserve(text.size() * 3);
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // lone surrogate
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

// ---- trimming

namespace {

bool isBlank(char16_t c) { return c <= 32; }

}  // namespace

String Trim(const String& s) {
  size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

String TrimLeft(const String& s) {
  size_t b = 0;
  while (b < s.size() && isBlank(s[b])) ++b;
  return s.substr(b);
}

String TrimRight(const String& s) {
  size_t e = s.size();
  while (e > 0 && isBlank(s[e - 1])) --e;
  return s.substr(0, e);
}

// ---- case

namespace {

char16_t asciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }
char16_t asciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

// Simple (one character to one character) case mapping from the Unicode
// tables built into the toolkit, so the result never depends on which
// locales the machine has installed. A pair maps to a pair.
template <bool Upper>
String mapCase(const String& s) {
  String out(s);
  const size_t n = out.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = out[i];
    if (c < 0x80) {
      out[i] = Upper ? asciiUpper(c) : asciiLower(c);
      continue;
    }
    if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(out[i + 1])) {
      const char32_t cp = QChar::surrogateToUcs4(c, out[i + 1]);
      const char32_t m = Upper ? QChar::toUpper(cp) : QChar::toLower(cp);
      if (QChar::requiresSurrogates(m)) {
        out[i] = QChar::highSurrogate(m);
        out[i + 1] = QChar::lowSurrogate(m);
      }
      ++i;
      continue;
    }
    const char32_t m = Upper ? QChar::toUpper(char32_t(c)) : QChar::toLower(char32_t(c));
    if (!QChar::requiresSurrogates(m)) out[i] = char16_t(m);
  }
  return out;
}

}  // namespace

String UpperCase(const String& s) {
  String out(s);
  for (char16_t& c : out) c = asciiUpper(c);
  return out;
}

String LowerCase(const String& s) {
  String out(s);
  for (char16_t& c : out) c = asciiLower(c);
  return out;
}

String AnsiUpperCase(const String& s) { return mapCase<true>(s); }
String AnsiLowerCase(const String& s) { return mapCase<false>(s); }

char16_t AnsiUpperChar(char16_t c) {
  if (c < 0x80) return asciiUpper(c);
  const char32_t m = QChar::toUpper(char32_t(c));
  return QChar::requiresSurrogates(m) ? c : char16_t(m);
}

char16_t AnsiLowerChar(char16_t c) {
  if (c < 0x80) return asciiLower(c);
  const char32_t m = QChar::toLower(char32_t(c));
  return QChar::requiresSurrogates(m) ? c : char16_t(m);
}

// ---- comparison

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

template <typename Fold>
int compareFolded(const String& a, const String& b, Fold fold) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = fold(a[i]), cb = fold(b[i]);
    if (ca != cb) return sign(ca - cb);
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Code-point order for two UTF-16 texts: a surrogate (a character beyond
// U+FFFF) sorts after every other BMP character.
int codePointKey(char16_t c) { return (c >= 0xD800 && c <= 0xDFFF) ? c + 0x2000 : (c >= 0xE000 ? c - 0x800 : c); }

}  // namespace

int CompareStr(const String& a, const String& b) {
  return compareFolded(a, b, [](char16_t c) { return int(c); });
}

int CompareText(const String& a, const String& b) {
  return compareFolded(a, b, [](char16_t c) { return int(asciiUpper(c)); });
}

bool SameText(const String& a, const String& b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

int AnsiCompareStr(const String& a, const String& b) {
  return compareFolded(a, b, [](char16_t c) { return codePointKey(c); });
}

int AnsiCompareText(const String& a, const String& b) {
  return compareFolded(a, b, [](char16_t c) { return codePointKey(AnsiUpperChar(c)); });
}

bool AnsiSameText(const String& a, const String& b) {
  return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

bool AnsiSameStr(const String& a, const String& b) { return a == b; }

bool StartsText(const String& prefix, const String& s) {
  return prefix.size() <= s.size() && SameText(prefix, s.substr(0, prefix.size()));
}

// ---- searching and editing

int Pos(const String& sub, const String& s, int offset) {
  if (sub.empty() || offset < 0 || size_t(offset) >= s.size()) return -1;
  const size_t at = s.find(sub, size_t(offset));
  return at == String::npos ? -1 : int(at);
}

int LastDelimiter(const String& delimiters, const String& s) {
  const size_t at = s.find_last_of(delimiters);
  return at == String::npos ? -1 : int(at);
}

String Copy(const String& s, int index, int count) {
  if (index < 0) {
    count += index;
    index = 0;
  }
  if (count <= 0 || size_t(index) >= s.size()) return String();
  return s.substr(size_t(index), size_t(count));
}

String StringOfChar(char16_t c, int count) { return count > 0 ? String(size_t(count), c) : String(); }

String StringReplace(const String& s, const String& oldPattern, const String& newPattern,
                     TReplaceFlags flags) {
  if (oldPattern.empty()) return s;
  const bool ignoreCase = flags.Contains(rfIgnoreCase);
  // Folding keeps the length of every unit, so positions found in the
  // folded text are positions in the original.
  const String hay = ignoreCase ? AnsiUpperCase(s) : s;
  const String needle = ignoreCase ? AnsiUpperCase(oldPattern) : oldPattern;
  String out;
  size_t from = 0;
  while (true) {
    const size_t at = hay.find(needle, from);
    if (at == String::npos) break;
    out.append(s, from, at - from);
    out += newPattern;
    from = at + needle.size();
    if (!flags.Contains(rfReplaceAll)) break;
  }
  out.append(s, from, String::npos);
  return out;
}

String QuotedStr(const String& s) { return AnsiQuotedStr(s, u'\''); }

String AnsiQuotedStr(const String& s, char16_t quote) {
  String out(1, quote);
  for (char16_t c : s) {
    out.push_back(c);
    if (c == quote) out.push_back(c);
  }
  out.push_back(quote);
  return out;
}

String AnsiDequotedStr(const String& s, char16_t quote) {
  if (s.empty() || s[0] != quote) return s;
  String out;
  size_t i = 1;
  while (i < s.size()) {
    if (s[i] == quote) {
      if (i + 1 < s.size() && s[i + 1] == quote) {
        out.push_back(quote);
        i += 2;
        continue;
      }
      return out;  // closing quote
    }
    out.push_back(s[i++]);
  }
  return out;  // no closing quote: everything after the opening one
}
