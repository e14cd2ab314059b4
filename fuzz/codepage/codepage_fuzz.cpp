// Decodes the input in a code page picked by its first byte. Properties:
// no over-read (the sanitizers watch), at most one UTF-16 unit per input
// byte, and for the stateless pages a text without U+FFFD encodes and
// decodes back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/core/codepage.h"

namespace {

constexpr int kPages[] = {1250, 1251, 1252, 1253, 1255, 1256, 1258, 874, 866, 437, 20866, 21866,
                          28591, 28595, 10000, 932, 936, 949, 950, 1361, 20932, 51932, 50220,
                          65001, 1200, 1201};

bool stateful(int cp) { return cp >= 50220 && cp <= 50222; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int cp = kPages[data[0] % (sizeof(kPages) / sizeof(kPages[0]))];
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const std::size_t n = size - 1;
  const String text = CodePageToUnicode(cp, bytes, n);
  if (text.size() > n) std::abort();
  if (stateful(cp) || cp == 1200 || cp == 1201 || text.find(u'\uFFFD') != String::npos) return 0;
  const RawByteString back = UnicodeToCodePage(cp, text);
  if (CodePageToUnicode(cp, back) != text) std::abort();
  return 0;
}
