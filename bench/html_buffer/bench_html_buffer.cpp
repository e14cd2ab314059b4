// Decoding speed of the source buffer beside iconv on the same bytes:
// 10 MB of windows-1251, UTF-8 and UTF-16 text, read whole (ReadToEnd) and
// character by character (NextChar, as the tokeniser reads). Prints MB/s
// and the ratio to iconv; the best of several rounds counts.
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "html/parse/source_buffer.h"
#include "platform/core/codepage.h"

namespace {

constexpr std::size_t kSize = 10 * 1024 * 1024;
constexpr int kRounds = 9;

// A page-like mix: markup, Cyrillic words, spaces and line ends.
String sampleText() {
  const String piece =
      u"<p class=\"w\">Съешь же ещё этих мягких французских булок, да выпей чаю.</p>\n"
      u"<a href=\"x.htm\">The quick brown fox</a> — 2024 €\n";
  String s;
  while (s.size() < kSize) s += piece;
  return s;
}

template <typename F>
double seconds(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
  return d.count();
}

std::size_t iconvDecode(const char* from, const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-16LE", from);
  std::vector<char> out(bytes.size() * 2 + 16);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* o = out.data();
  std::size_t outLeft = out.size();
  iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  return (out.size() - outLeft) / 2;
}

volatile std::size_t sink;

void run(const char* label, const char* iconvName, int codePage, const std::string& bytes) {
  const double mb = double(bytes.size()) / (1024.0 * 1024.0);
  // The three take turns in every round, so that a busy machine slows them
  // alike; the best round of each counts.
  double peer = 1e9, whole = 1e9, chars = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    peer = std::min(peer, seconds([&] { sink = iconvDecode(iconvName, bytes); }));
    whole = std::min(whole, seconds([&] {
      auto b = TBuffer::CreateFromBytes(bytes.data(), bytes.size(), u"bench");
      b->SetCodePage(codePage);
      sink = b->ReadToEnd().size();
    }));
    chars = std::min(chars, seconds([&] {
      auto b = TBuffer::CreateFromBytes(bytes.data(), bytes.size(), u"bench");
      b->SetCodePage(codePage);
      std::size_t n = 0;
      while (b->NextChar()) ++n;
      sink = n;
    }));
  }
  std::printf("%-12s iconv %8.1f MB/s | ReadToEnd %8.1f MB/s (x%.2f) | NextChar %8.1f MB/s (x%.2f)\n", label,
              mb / peer, mb / whole, peer / whole, mb / chars, peer / chars);
}

}  // namespace

int main() {
  const String text = sampleText();
  const std::string cp1251 = UnicodeToCodePage(1251, text);
  const std::string utf8 = UnicodeToCodePage(65001, text);
  std::string utf16 = "\xff\xfe";
  utf16 += UnicodeToCodePage(1200, text);
  std::printf("decoding through the source buffer, best of %d rounds\n", kRounds);
  run("windows-1251", "CP1251", 1251, cp1251);
  run("UTF-8", "UTF-8", 65001, utf8);
  run("UTF-16LE", "UTF-16LE", 0, utf16);
  return 0;
}
