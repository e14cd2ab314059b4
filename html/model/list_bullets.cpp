// Marker texts of numbered list items.
#include "html/model/list_bullets.h"

#include "platform/core/strings.h"

namespace {

String decimal(int n) {
  std::string s = std::to_string(n);
  return String(s.begin(), s.end());
}

String letters(int n, char16_t first) {
  String s;
  // Bijective base 26: 1 a, 26 z, 27 aa.
  long long v = n;
  while (v > 0) {
    --v;
    s.insert(s.begin(), char16_t(first + v % 26));
    v /= 26;
  }
  return s;
}

String roman(int n, bool upper) {
  static const int values[] = {1000, 900, 500, 400, 100, 90, 50, 40, 10, 9, 5, 4, 1};
  static const char* const lower[] = {"m", "cm", "d", "cd", "c", "xc", "l", "xl", "x", "ix", "v", "iv", "i"};
  String s;
  for (int i = 0; i < 13; ++i)
    while (n >= values[i]) {
      for (const char* p = lower[i]; *p; ++p) s.push_back(upper ? char16_t(*p - 32) : char16_t(*p));
      n -= values[i];
    }
  return s;
}

}  // namespace

String ListBulletText(TListStyleType Style, int Number) {
  String text;
  switch (Style) {
    case lbDecimal: text = decimal(Number); break;
    case lbLowerAlpha:
    case lbUpperAlpha:
      text = Number >= 1 ? letters(Number, Style == lbLowerAlpha ? u'a' : u'A') : decimal(Number);
      break;
    case lbLowerRoman:
    case lbUpperRoman:
      text = Number >= 1 && Number < 4000 ? roman(Number, Style == lbUpperRoman) : decimal(Number);
      break;
    default: return String();
  }
  text.push_back(u'.');
  return text;
}
