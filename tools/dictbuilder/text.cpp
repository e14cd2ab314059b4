#include "tools/dictbuilder/text.h"

#include <clocale>
#include <cwctype>

#include "platform/core/strings.h"

namespace dictbuilder {
namespace {

// The C.UTF-8 locale carries the full Unicode case tables and is present on
// every glibc system; it is created once and kept for the process.
locale_t unicodeLocale() {
  static const locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

}  // namespace

char16_t UpperChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  // Cyrillic is handled here as well so that the main case never depends on
  // the locale being installed.
  if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);
  const locale_t loc = unicodeLocale();
  if (!loc) return c;
  const wint_t up = towupper_l(static_cast<wint_t>(c), loc);
  return up <= 0xFFFF ? static_cast<char16_t>(up) : c;
}

String UpperCase(const String& text) {
  String out(text);
  for (char16_t& c : out) c = UpperChar(c);
  return out;
}

UTF8String HeadwordKey(const UTF8String& headword) {
  String key = UpperCase(UTF8ToUTF16(headword));
  for (char16_t& c : key)
    if (c == u'Ё') c = u'Е';
  return UTF16ToUTF8(key);
}

UTF8String EscapeHtml(std::string_view text) {
  UTF8String out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::vector<UTF8String> SplitLines(std::string_view text) {
  std::vector<UTF8String> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == text.size()) break;
    start = end + 1;
  }
  return lines;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

bool IsCyrillic(char16_t c) { return c >= 0x0400 && c <= 0x04FF; }

bool IsLatinLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

}  // namespace dictbuilder
