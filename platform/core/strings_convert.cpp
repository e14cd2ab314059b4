// Number and Boolean text conversions.
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/core/exception.h"
#include "platform/core/strings.h"
#include "platform/core/strings_private.h"

namespace {

[[noreturn]] void raiseConvert(const char* pattern, const String& text) {
  String message = u"'" + text + u"'";
  message += UTF8ToUTF16(pattern);
  throw EConvertError(message);
}

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// Reads an integer as the program's settings and pages write them: blanks
// first, a sign, then decimal digits or "$"/"0x"/"x" and hexadecimal
// digits. The magnitude is checked against limit (the largest positive
// value; a negative value may reach limit + 1).
bool parseInteger(const String& s, std::uint64_t limit, std::int64_t& out) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  int base = 10;
  if (i < n && s[i] == u'$') {
    base = 16;
    ++i;
  } else if (i < n && (s[i] == u'x' || s[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  // Hexadecimal may use the type's full unsigned width and wraps, so that
  // "$FFFFFFFF" reads back as the -1 that IntToHex wrote.
  const std::uint64_t maxMagnitude = negative ? limit + 1 : (base == 16 ? limit * 2 + 1 : limit);
  std::uint64_t value = 0;
  for (; i < n; ++i) {
    const int d = base == 16 ? hexDigit(s[i]) : (s[i] >= u'0' && s[i] <= u'9' ? s[i] - u'0' : -1);
    if (d < 0) return false;
    if (value > (maxMagnitude - std::uint64_t(d)) / std::uint64_t(base)) return false;
    value = value * std::uint64_t(base) + std::uint64_t(d);
  }
  out = negative ? std::int64_t(0 - value) : std::int64_t(value);
  return true;
}

String asciiToString(const char* begin, const char* end) { return String(begin, end); }

// Makes the exponent part of to_chars output read like "E20", "E-5":
// capital E, a sign only when negative, no leading zeros.
String tidyExponent(const char* begin, const char* end, int minExponentDigits, bool alwaysSign) {
  const char* e = begin;
  while (e < end && *e != 'e') ++e;
  String out = asciiToString(begin, e);
  if (e == end) return out;
  const char* p = e + 1;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  while (p < end - 1 && *p == '0') ++p;
  String digits = asciiToString(p, end);
  while (int(digits.size()) < minExponentDigits) digits.insert(digits.begin(), u'0');
  out += u'E';
  if (negative)
    out += u'-';
  else if (alwaysSign)
    out += u'+';
  return out + digits;
}

}  // namespace

String IntToStr(std::int64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof(buf), value);
  return asciiToString(buf, r.ptr);
}

String UIntToStr(std::uint64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof(buf), value);
  return asciiToString(buf, r.ptr);
}

String UIntToHexDigits(std::uint64_t value, int digits) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  String out;
  do {
    out.insert(out.begin(), kHex[value & 0xF]);
    value >>= 4;
  } while (value);
  if (int(out.size()) < digits) out.insert(0, size_t(digits) - out.size(), u'0');
  return out;
}

bool TryStrToInt64(const String& s, std::int64_t& value) {
  return parseInteger(s, std::uint64_t(std::numeric_limits<std::int64_t>::max()), value);
}

bool TryStrToInt(const String& s, int& value) {
  std::int64_t v = 0;
  if (!parseInteger(s, std::uint64_t(std::numeric_limits<int>::max()), v)) return false;
  value = int(v);
  return true;
}

int StrToInt(const String& s) {
  int v = 0;
  if (!TryStrToInt(s, v)) raiseConvert(" is not a valid integer value", s);
  return v;
}

std::int64_t StrToInt64(const String& s) {
  std::int64_t v = 0;
  if (!TryStrToInt64(s, v)) raiseConvert(" is not a valid integer value", s);
  return v;
}

int StrToIntDef(const String& s, int defaultValue) {
  int v = 0;
  return TryStrToInt(s, v) ? v : defaultValue;
}

std::int64_t StrToInt64Def(const String& s, std::int64_t defaultValue) {
  std::int64_t v = 0;
  return TryStrToInt64(s, v) ? v : defaultValue;
}

bool TryStrToFloat(const String& s, double& value) {
  const String t = Trim(s);
  if (t.empty() || t.size() > 400) return false;
  std::string ascii;
  ascii.reserve(t.size());
  for (char16_t c : t) {
    // Only the characters of a plain decimal number: no "inf", "nan" or
    // hexadecimal floats, which from_chars would otherwise accept.
    const bool ok = (c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'E' || c == u'+' ||
                    c == u'-';
    if (!ok) return false;
    ascii.push_back(char(c));
  }
  size_t start = 0;
  bool negative = false;
  if (ascii[0] == '+' || ascii[0] == '-') {
    negative = ascii[0] == '-';
    start = 1;
  }
  if (start >= ascii.size() || ascii[start] == '+' || ascii[start] == '-') return false;
  double v = 0;
  auto r = std::from_chars(ascii.data() + start, ascii.data() + ascii.size(), v);
  if (r.ec != std::errc() || r.ptr != ascii.data() + ascii.size()) return false;
  value = negative ? -v : v;
  return true;
}

double StrToFloat(const String& s) {
  double v = 0;
  if (!TryStrToFloat(s, v)) raiseConvert(" is not a valid floating point value", s);
  return v;
}

double StrToFloatDef(const String& s, double defaultValue) {
  double v = 0;
  return TryStrToFloat(s, v) ? v : defaultValue;
}

String FloatToStr(double value) {
  if (std::isnan(value)) return u"NAN";
  if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::general, 15);
  return tidyExponent(buf, r.ptr, 0, false);
}

String FormatFloatSpec(double value, char16_t type, int precision) {
  if (std::isnan(value)) return u"NAN";
  if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";
  char buf[400];
  std::to_chars_result r{};
  switch (type) {
    case u'e':
      r = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::scientific,
                        std::max(precision, 1) - 1);
      return tidyExponent(buf, r.ptr, 3, true);
    case u'g':
      r = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::general, precision);
      return tidyExponent(buf, r.ptr, 0, false);
    default: {  // 'f' and 'n'
      if (std::fabs(value) >= 1e18)
        return FormatFloatSpec(value, u'e', 15);
      r = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, precision);
      String out = asciiToString(buf, r.ptr);
      if (type != u'n') return out;
      size_t intStart = (out[0] == u'-') ? 1 : 0;
      size_t intEnd = out.find(u'.');
      if (intEnd == String::npos) intEnd = out.size();
      for (size_t k = intEnd; k > intStart + 3; k -= 3) out.insert(k - 3, 1, u',');
      return out;
    }
  }
}

bool TryStrToBool(const String& s, bool& value) {
  if (AnsiSameText(s, u"True")) {
    value = true;
    return true;
  }
  if (AnsiSameText(s, u"False")) {
    value = false;
    return true;
  }
  double number = 0;
  if (!TryStrToFloat(s, number)) return false;
  value = number != 0;
  return true;
}

bool StrToBool(const String& s) {
  bool v = false;
  if (!TryStrToBool(s, v)) raiseConvert(" is not a valid boolean value", s);
  return v;
}

bool StrToBoolDef(const String& s, bool defaultValue) {
  bool v = false;
  return TryStrToBool(s, v) ? v : defaultValue;
}

String BoolToStr(bool value, bool useBoolStrs) {
  if (useBoolStrs) return value ? u"True" : u"False";
  return value ? u"-1" : u"0";
}
