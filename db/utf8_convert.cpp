#include "db/utf8_convert.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/core/exception.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

inline bool isContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// Sequence length announced by a lead byte of 0xC0 or more.
inline size_t leadLength(std::uint8_t b0) {
  if (b0 < 0xE0) return 2;
  if (b0 < 0xF0) return 3;
  if (b0 < 0xF8) return 4;
  if (b0 < 0xFC) return 5;
  return 6;
}

// The one decoder behind both the single-character routine and the general
// path of the buffer loop; n >= 1.
inline size_t decodeOne(const std::uint8_t* s, size_t n, char32_t& cp) {
  const std::uint8_t b0 = s[0];
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  if (b0 < 0xC0) {  // stray continuation byte
    cp = kReplacement;
    return 1;
  }
  const size_t len = leadLength(b0);
  const size_t limit = len < n ? len : n;
  size_t k = 1;
  while (k < limit && isContinuation(s[k])) ++k;
  cp = kReplacement;
  if (k < len) return k;  // truncated: resume at the byte that failed
  char32_t v;
  switch (len) {
    case 2:
      v = char32_t(b0 & 0x1F) << 6 | (s[1] & 0x3F);
      if (v >= 0x80) cp = v;
      break;
    case 3:
      v = char32_t(b0 & 0x0F) << 12 | char32_t(s[1] & 0x3F) << 6 | (s[2] & 0x3F);
      if ((v >= 0x800 && v < 0xD800) || (v >= 0xE000 && v < 0xFFFE)) cp = v;
      break;
    case 4:
      v = char32_t(b0 & 0x07) << 18 | char32_t(s[1] & 0x3F) << 12 |
          char32_t(s[2] & 0x3F) << 6 | (s[3] & 0x3F);
      if (v >= 0x10000 && v <= 0x10FFFF) cp = v;
      break;
    default:  // 5- and 6-byte forms never name a Unicode character
      break;
  }
  return len;
}

inline char16_t* putUnit(char16_t* d, char32_t cp) {
  if (cp < 0x10000) {
    *d++ = char16_t(cp);
  } else {
    cp -= 0x10000;
    *d++ = char16_t(0xD800 + (cp >> 10));
    *d++ = char16_t(0xDC00 + (cp & 0x3FF));
  }
  return d;
}

inline std::uint8_t* put3(std::uint8_t* d, char32_t c) {
  d[0] = std::uint8_t(0xE0 | (c >> 12));
  d[1] = std::uint8_t(0x80 | ((c >> 6) & 0x3F));
  d[2] = std::uint8_t(0x80 | (c & 0x3F));
  return d + 3;
}

// Number of set top bits in the bytes of m (whose other bits are clear).
inline size_t countTopBits(std::uint64_t m) {
  return size_t(((m >> 7) * 0x0101010101010101ull) >> 56);
}

// Units that n bytes decode to when they are well-formed: one per byte that
// is not a continuation byte, and a second for each 4-byte lead (a pair).
// Malformed input can need more (each stray continuation byte gives a unit);
// the decoder grows the result in that case. Counted eight bytes at a time.
size_t utf16SizeEstimate(const std::uint8_t* s, size_t n) {
  constexpr std::uint64_t kTop = 0x8080808080808080ull;
  size_t continuations = 0, pairs = 0, i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s + i, 8);
    continuations += countTopBits(w & ~(w << 1) & kTop);                          // 10xxxxxx
    pairs += countTopBits(w & (w << 1) & (w << 2) & (w << 3) & ~(w << 4) & kTop);  // 11110xxx
  }
  for (; i < n; ++i) {
    continuations += isContinuation(s[i]);
    pairs += (s[i] & 0xF8) == 0xF0;
  }
  return n - continuations + pairs;
}

// Bytes needed for n units, counting every unit at or above 0x800 as three:
// exact for text without surrogates, and enough for pairs (four bytes for two
// units) and lone surrogates (three). Sizing the result this way instead of
// by three bytes a unit spares clearing and touching twice the memory.
size_t utf8SizeBound(const char16_t* p, size_t n) {
  size_t size = n;
  for (size_t i = 0; i < n; ++i) size += size_t(p[i] >= 0x80) + size_t(p[i] >= 0x800);
  return size;
}

}  // namespace

int Utf8DecodeChar(const char* p, size_t count, char32_t& cp) {
  TAMRIX_ASSERT(p != nullptr && count >= 1, "Utf8DecodeChar: no input");
  return int(decodeOne(reinterpret_cast<const std::uint8_t*>(p), count, cp));
}

int Utf8EncodeChar(char32_t cp, char* d) {
  TAMRIX_ASSERT(d != nullptr, "Utf8EncodeChar: no destination");
  auto* o = reinterpret_cast<std::uint8_t*>(d);
  if (cp < 0x80) {
    o[0] = std::uint8_t(cp);
    return 1;
  }
  if (cp < 0x800) {
    o[0] = std::uint8_t(0xC0 | (cp >> 6));
    o[1] = std::uint8_t(0x80 | (cp & 0x3F));
    return 2;
  }
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
  if (cp < 0x10000) {
    put3(o, cp);
    return 3;
  }
  o[0] = std::uint8_t(0xF0 | (cp >> 18));
  o[1] = std::uint8_t(0x80 | ((cp >> 12) & 0x3F));
  o[2] = std::uint8_t(0x80 | ((cp >> 6) & 0x3F));
  o[3] = std::uint8_t(0x80 | (cp & 0x3F));
  return 4;
}

String Utf8ToUnicode(const UTF8String& bytes) {
  return Utf8ToUnicodeBuf(bytes.data(), bytes.size());
}

String Utf8ToUnicodeBuf(const char* p, size_t count) {
  if (p == nullptr || count == 0) return String();
  const auto* s = reinterpret_cast<const std::uint8_t*>(p);
  const std::uint8_t* const end = s + count;
  // Sized for well-formed input, with room for one more pair.
  String out;
  out.resize(utf16SizeEstimate(s, count) + 2);
  char16_t* d = out.data();
  char16_t* limit = out.data() + out.size() - 2;
  // One plain branch per character: on text that mixes scripts word by word
  // this beats wider ASCII blocks, whose test fails at every word boundary.
  while (s < end) {
    if (d > limit) {
      // Stray continuation bytes outran the estimate. No sequence yields
      // more units than it has bytes, so this is the only growth.
      const size_t used = size_t(d - out.data());
      out.resize(used + size_t(end - s) + 2);
      d = out.data() + used;
      limit = out.data() + out.size() - 2;
    }
    const std::uint8_t b0 = *s;
    if (b0 < 0x80) {
      *d++ = b0;
      ++s;
      continue;
    }
    // Well-formed 2- and 3-byte sequences (Cyrillic, most other scripts).
    if (b0 >= 0xC2 && b0 < 0xE0 && end - s >= 2 && isContinuation(s[1])) {
      *d++ = char16_t((b0 & 0x1F) << 6 | (s[1] & 0x3F));
      s += 2;
      continue;
    }
    if ((b0 & 0xF0) == 0xE0 && end - s >= 3 && isContinuation(s[1]) && isContinuation(s[2])) {
      const char32_t v =
          char32_t(b0 & 0x0F) << 12 | char32_t(s[1] & 0x3F) << 6 | (s[2] & 0x3F);
      const bool ok = (v >= 0x800 && v < 0xD800) || (v >= 0xE000 && v < 0xFFFE);
      *d++ = char16_t(ok ? v : kReplacement);
      s += 3;
      continue;
    }
    char32_t cp;
    s += decodeOne(s, size_t(end - s), cp);
    d = putUnit(d, cp);
  }
  out.resize(size_t(d - out.data()));
  return out;
}

UTF8String UnicodeToUtf8(const String& text) {
  return UnicodeToUtf8Buf(text.data(), text.size());
}

UTF8String UnicodeToUtf8Buf(const char16_t* p, size_t count) {
  if (p == nullptr || count == 0) return UTF8String();
  UTF8String out;
  out.resize(utf8SizeBound(p, count));
  auto* d = reinterpret_cast<std::uint8_t*>(out.data());
  const char16_t* s = p;
  const char16_t* const end = p + count;
  while (s < end) {
    const char32_t c = *s++;
    if (c < 0x80) {
      *d++ = std::uint8_t(c);
    } else if (c < 0x800) {
      d[0] = std::uint8_t(0xC0 | (c >> 6));
      d[1] = std::uint8_t(0x80 | (c & 0x3F));
      d += 2;
    } else if (c < 0xD800 || c > 0xDFFF) {
      d = put3(d, c);
    } else if (c < 0xDC00 && s < end && *s >= 0xDC00 && *s <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((c - 0xD800) << 10) + (char32_t(*s++) - 0xDC00);
      d[0] = std::uint8_t(0xF0 | (cp >> 18));
      d[1] = std::uint8_t(0x80 | ((cp >> 12) & 0x3F));
      d[2] = std::uint8_t(0x80 | ((cp >> 6) & 0x3F));
      d[3] = std::uint8_t(0x80 | (cp & 0x3F));
      d += 4;
    } else {
      d = put3(d, kReplacement);  // lone surrogate
    }
  }
  out.resize(size_t(d - reinterpret_cast<std::uint8_t*>(out.data())));
  return out;
}

UTF8String ValueToUtf8(sqlite3_value* value) {
  if (value == nullptr) return UTF8String();
  // Text first: asking for the text may convert the value, and the byte
  // count must describe the converted form.
  const unsigned char* text = sqlite3_value_text(value);
  const int bytes = sqlite3_value_bytes(value);
  if (text == nullptr || bytes <= 0) return UTF8String();
  return UTF8String(reinterpret_cast<const char*>(text), size_t(bytes));
}

size_t Utf16Length(const char16_t* p) {
  if (p == nullptr) return 0;
  return std::char_traits<char16_t>::length(p);
}
