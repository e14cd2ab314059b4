#pragma once
// Small text helpers shared by the style code. Case folding touches only
// the letters A to Z: style sheets are ASCII keywords, and folding other
// letters would change class and id names written in other scripts.
#include <string_view>

#include "platform/core/types.h"

namespace styletext {

inline char16_t lowerChar(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
inline char16_t upperChar(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

inline String lower(std::u16string_view s) {
  String r(s);
  for (auto& c : r) c = lowerChar(c);
  return r;
}
inline String upper(std::u16string_view s) {
  String r(s);
  for (auto& c : r) c = upperChar(c);
  return r;
}
// Blanks and control characters at either end are dropped.
inline String trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return String(s.substr(b, e - b));
}
inline bool contains(std::u16string_view s, std::u16string_view part) {
  return s.find(part) != std::u16string_view::npos;
}
inline bool startsWith(std::u16string_view s, std::u16string_view part) {
  return s.substr(0, part.size()) == part;
}
inline bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
// Value of a digit in base 10 or 16; -1 for anything else.
inline int digitValue(char16_t c, int base) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (base == 16) {
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  }
  return -1;
}
inline bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
// Ordinal comparison ignoring the case of A to Z: <0, 0 or >0.
inline int compareNoCase(std::u16string_view a, std::u16string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = lowerChar(a[i]), y = lowerChar(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
inline bool sameNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && compareNoCase(a, b) == 0;
}
// Whole-text integer (optional sign, decimal digits, blanks around); false
// when the text is anything else or leaves the 32-bit range.
bool tryStrToInt(std::u16string_view s, int& value);
// Whole-text decimal number (sign, digits, point, exponent).
bool tryStrToFloat(std::u16string_view s, double& value);
// Length of the leading decimal number of s (0 when none).
size_t numberPrefix(std::u16string_view s, bool allowExponent);
String fromAscii(std::string_view s);
String floatToStr(double v);

}  // namespace styletext
