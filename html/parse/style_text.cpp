#include "html/parse/style_text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace styletext {

size_t numberPrefix(std::u16string_view s, bool allowExponent) {
  size_t i = 0;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
  size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == u'.') {
    size_t j = i + 1, frac = 0;
    while (j < s.size() && isDigit(s[j])) ++j, ++frac;
    if (digits + frac > 0) {
      i = j;
      digits += frac;
    }
  }
  if (digits == 0) return 0;
  if (allowExponent && i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) ++j;
    size_t exp = 0;
    while (j < s.size() && isDigit(s[j])) ++j, ++exp;
    if (exp > 0) i = j;
  }
  return i;
}

static std::string asciiOf(std::u16string_view s) {
  std::string r;
  r.reserve(s.size());
  for (char16_t c : s) r.push_back(c < 128 ? char(c) : '?');
  return r;
}

bool tryStrToFloat(std::u16string_view s, double& value) {
  const String t = trim(s);
  if (t.empty() || numberPrefix(t, true) != t.size()) return false;
  value = std::strtod(asciiOf(t).c_str(), nullptr);
  return true;
}

bool tryStrToInt(std::u16string_view s, int& value) {
  const String t = trim(s);
  size_t i = 0;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) ++i;
  if (i == t.size()) return false;
  for (size_t j = i; j < t.size(); ++j)
    if (!isDigit(t[j])) return false;
  errno = 0;
  const long long v = std::strtoll(asciiOf(t).c_str(), nullptr, 10);
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = int(v);
  return true;
}

String fromAscii(std::string_view s) { return String(s.begin(), s.end()); }


String floatToStr(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return fromAscii(buf);
}

}  // namespace styletext
