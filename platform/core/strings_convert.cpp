// Number and Boolean text conversions.
#include <algorithm>
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

namespace {

// A finite double as decimal digits: value = 0.DIGITS x 10^Exponent, taken
// from its 17-significant-digit expansion, so that rounding to fewer
// digits can go half away from zero on the decimal text (2.25 -> 2.3),
// which is what people expect to read.
struct Decimal {
  bool Negative = false;
  std::string Digits;  // no leading zeros; empty for zero
  int Exponent = 0;

  explicit Decimal(double value) {
    Negative = std::signbit(value);
    if (value == 0) return;
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof(buf), std::fabs(value), std::chars_format::scientific, 16);
    const char* e = std::find(buf, r.ptr, 'e');
    for (const char* p = buf; p < e; ++p)
      if (*p != '.') Digits.push_back(*p);
    int exp10 = 0;
    std::from_chars(e + 1 + (e[1] == '+'), r.ptr, exp10);
    Exponent = exp10 + 1;
    trimZeros();
  }

  void trimZeros() {
    while (!Digits.empty() && Digits.back() == '0') Digits.pop_back();
  }

  // Keeps `keep` significant digits, rounding half away from zero.
  void RoundTo(int keep) {
    if (int(Digits.size()) <= keep) return;
    const bool up = keep >= 0 && Digits[size_t(keep)] >= '5';
    if (keep <= 0) {
      // Only a first digit of 5 or more with nothing kept rounds up, to
      // one unit of the next higher place.
      Digits.clear();
      if (up) {
        Digits.push_back('1');
        ++Exponent;
      }
      return;
    }
    Digits.resize(size_t(keep));
    if (up) {
      int i = keep - 1;
      while (i >= 0 && Digits[size_t(i)] == '9') Digits[size_t(i--)] = '0';
      if (i < 0) {
        Digits.assign(1, '1');  // all nines: 0.999 -> 1.0
        ++Exponent;
      } else {
        ++Digits[size_t(i)];
      }
    }
    trimZeros();
  }

  char DigitAt(int i) const { return i >= 0 && i < int(Digits.size()) ? Digits[size_t(i)] : '0'; }
  String Sign() const { return Negative && !Digits.empty() ? u"-" : u""; }
};

String exponentText(int e, int minDigits, bool alwaysSign) {
  String digits = IntToStr(e < 0 ? -e : e);
  while (int(digits.size()) < minDigits) digits.insert(digits.begin(), u'0');
  return String(u"E") + (e < 0 ? u"-" : (alwaysSign ? u"+" : u"")) + digits;
}

String fixedText(double value, int decimals, bool thousands) {
  Decimal d(value);
  d.RoundTo(d.Exponent + decimals);
  String intPart;
  for (int i = 0; i < std::max(d.Exponent, 1); ++i) intPart += char16_t(d.Exponent > 0 ? d.DigitAt(i) : '0');
  if (thousands)
    for (int k = int(intPart.size()) - 3; k > 0; k -= 3) intPart.insert(size_t(k), 1, u',');
  String out = d.Sign() + intPart;
  if (decimals > 0) {
    out += u'.';
    for (int i = 0; i < decimals; ++i) out += char16_t(d.DigitAt(d.Exponent + i));
  }
  return out;
}

String scientificText(double value, int significant) {
  Decimal d(value);
  d.RoundTo(significant);
  String out = d.Sign() + char16_t(d.DigitAt(0));
  if (significant > 1) out += u'.';
  for (int i = 1; i < significant; ++i) out += char16_t(d.DigitAt(i));
  return out + exponentText(d.Digits.empty() ? 0 : d.Exponent - 1, 3, true);
}

// Shortest of fixed and scientific notation with up to `precision`
// significant digits and no trailing zeros.
String generalText(double value, int precision) {
  Decimal d(value);
  d.RoundTo(precision);
  if (d.Digits.empty()) return u"0";
  const int e = d.Exponent - 1;
  const int n = int(d.Digits.size());
  String out = d.Sign();
  if (e < -4 || e >= precision) {
    out += char16_t(d.Digits[0]);
    if (n > 1) out += u'.';
    for (int i = 1; i < n; ++i) out += char16_t(d.Digits[size_t(i)]);
    return out + exponentText(e, 0, false);
  }
  if (e < 0) {
    out += u"0.";
    out.append(size_t(-e - 1), u'0');
    for (char c : d.Digits) out += char16_t(c);
    return out;
  }
  for (int i = 0; i <= e; ++i) out += char16_t(d.DigitAt(i));
  if (n > e + 1) {
    out += u'.';
    for (int i = e + 1; i < n; ++i) out += char16_t(d.Digits[size_t(i)]);
  }
  return out;
}

String nonFinite(double value) {
  if (std::isnan(value)) return u"NAN";
  return value < 0 ? u"-INF" : u"INF";
}

}  // namespace

String FloatToStr(double value) {
  if (!std::isfinite(value)) return nonFinite(value);
  return generalText(value, 15);
}

String FormatFloatSpec(double value, char16_t type, int precision) {
  if (!std::isfinite(value)) return nonFinite(value);
  switch (type) {
    case u'e':
      return scientificText(value, std::max(precision, 1));
    case u'g':
      return generalText(value, std::max(precision, 1));
    default:  // 'f' and 'n'
      if (std::fabs(value) >= 1e18) return scientificText(value, 15);
      return fixedText(value, precision, type == u'n');
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
