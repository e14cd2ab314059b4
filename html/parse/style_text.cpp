#include "html/parse/style_text.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
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
  // Always "." as the decimal point: the C library's conversion follows the
  // user's locale (a decimal comma in Russian or German ones), and style
  // sheets and attributes are written the same everywhere.
  const std::string ascii = asciiOf(t);
  const bool negative = ascii[0] == '-';
  const size_t start = (ascii[0] == '+' || ascii[0] == '-') ? 1 : 0;
  double v = 0;
  const auto r = std::from_chars(ascii.data() + start, ascii.data() + ascii.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // Too large gives the largest value, too small nothing.
    const size_t e = ascii.find_first_of("eE");
    v = e != std::string::npos && ascii.find('-', e) != std::string::npos ? 0.0 : HUGE_VAL;
  } else if (r.ec != std::errc()) {
    return false;
  }
  value = negative ? -v : v;
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
  // Locale-independent, like the reading side.
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  return fromAscii(std::string_view(buf, size_t(r.ptr - buf)));
}

}  // namespace styletext
