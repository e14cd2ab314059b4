// Properties of the UTF-8 converters on arbitrary input:
// - well-formed UTF-8 (without U+FFFE and U+FFFF, which the decoder
//   replaces) survives UTF-8 -> UTF-16 -> UTF-8 byte for byte;
// - anything else decodes without a crash or over-read, the buffer routine
//   agrees with character-by-character decoding, no stray zero unit or lone
//   surrogate appears, and re-encoding gives well-formed UTF-8 that decodes
//   to the same text;
// - the same bytes taken as UTF-16 encode to well-formed UTF-8 that decodes
//   back to them, lone surrogates replaced.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "db/utf8_convert.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Strict well-formedness by the Unicode table of byte ranges, written apart
// from the converter so that the two can disagree.
bool wellFormed(const std::uint8_t* s, size_t n, bool allowNonCharacters) {
  size_t i = 0;
  while (i < n) {
    const std::uint8_t b = s[i];
    size_t len;
    std::uint8_t lo = 0x80, hi = 0xBF;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b == 0xE0) {
      len = 3, lo = 0xA0;
    } else if (b == 0xED) {
      len = 3, hi = 0x9F;
    } else if (b >= 0xE1 && b <= 0xEF) {
      len = 3;
    } else if (b == 0xF0) {
      len = 4, lo = 0x90;
    } else if (b == 0xF4) {
      len = 4, hi = 0x8F;
    } else if (b >= 0xF1 && b <= 0xF3) {
      len = 4;
    } else {
      return false;
    }
    if (n - i < len) return false;
    if (s[i + 1] < lo || s[i + 1] > hi) return false;
    for (size_t k = 2; k < len; ++k)
      if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
    if (!allowNonCharacters && b == 0xEF && s[i + 1] == 0xBF && s[i + 2] >= 0xBE) return false;
    i += len;
  }
  return true;
}

bool hasLoneSurrogate(const String& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  // An exact copy, so that any read past the end is caught.
  std::vector<char> bytes(data, data + size);
  const char* p = bytes.data();

  const String text = Utf8ToUnicodeBuf(size ? p : nullptr, size);
  check(text.size() <= size);
  check(!hasLoneSurrogate(text));
  size_t zeros = 0;
  for (size_t i = 0; i < size; ++i) zeros += data[i] == 0;
  size_t zeroUnits = 0;
  for (char16_t c : text) zeroUnits += c == 0;
  check(zeroUnits == zeros);

  // The buffer routine and the single-character routine agree.
  String stepwise;
  for (size_t i = 0; i < size;) {
    char32_t cp;
    const int k = Utf8DecodeChar(p + i, size - i, cp);
    check(k >= 1 && size_t(k) <= size - i);
    check(cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF));
    i += size_t(k);
    char buf[4];
    const int m = Utf8EncodeChar(cp, buf);
    check(m >= 1 && m <= 4);
    stepwise += Utf8ToUnicodeBuf(buf, size_t(m));
  }
  check(stepwise == text);

  const UTF8String back = UnicodeToUtf8(text);
  check(wellFormed(reinterpret_cast<const std::uint8_t*>(back.data()), back.size(), false));
  check(Utf8ToUnicode(back) == text);
  if (wellFormed(data, size, false)) check(back == UTF8String(p, size));

  // The same bytes as UTF-16 units.
  const size_t units = size / 2;
  std::vector<char16_t> wide(units);
  if (units) std::memcpy(wide.data(), data, units * 2);
  const UTF8String encoded = UnicodeToUtf8Buf(units ? wide.data() : nullptr, units);
  check(wellFormed(reinterpret_cast<const std::uint8_t*>(encoded.data()), encoded.size(), true));
  String expected(wide.begin(), wide.end());
  for (size_t i = 0; i < expected.size(); ++i) {
    const char16_t c = expected[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < expected.size() && expected[i + 1] >= 0xDC00 &&
        expected[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      expected[i] = 0xFFFD;
    } else if (c == 0xFFFE || c == 0xFFFF) {
      expected[i] = 0xFFFD;  // written as is, read back as a replacement
    }
  }
  check(Utf8ToUnicode(encoded) == expected);
  return 0;
}
