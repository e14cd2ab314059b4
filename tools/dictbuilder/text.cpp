#include "tools/dictbuilder/text.h"

#include "platform/core/strings.h"

namespace dictbuilder {

UTF8String HeadwordKey(const UTF8String& headword) {
  String key = AnsiUpperCase(UTF8ToUTF16(headword));
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
