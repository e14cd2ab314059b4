#include "platform/core/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/core/strings.h"

namespace {

enum class PageKind { SingleByte, MultiByte, Utf8, Utf16LE, Utf16BE };

struct PageName {
  int codePage;
  const char* iconvName;
  PageKind kind;
  const char* decoderName = nullptr;  // when reading takes a wider converter
};

// Windows code-page numbers and the glibc converters that implement them.
// ISO-2022-JP text is read with the JIS X 0213 converter, which also knows
// the escape to half-width katakana that some writers use; it reads the
// plain JIS X 0208 set exactly like the strict converter.
constexpr PageName kPages[] = {
    {1250, "CP1250", PageKind::SingleByte},  {1251, "CP1251", PageKind::SingleByte},
    {1252, "CP1252", PageKind::SingleByte},  {1253, "CP1253", PageKind::SingleByte},
    {1254, "CP1254", PageKind::SingleByte},  {1255, "CP1255", PageKind::SingleByte},
    {1256, "CP1256", PageKind::SingleByte},  {1257, "CP1257", PageKind::SingleByte},
    {1258, "CP1258", PageKind::SingleByte},  {874, "CP874", PageKind::SingleByte},
    {866, "CP866", PageKind::SingleByte},    {437, "CP437", PageKind::SingleByte},
    {850, "CP850", PageKind::SingleByte},    {10000, "MACINTOSH", PageKind::SingleByte},
    {20127, "ASCII", PageKind::SingleByte},  {20866, "KOI8-R", PageKind::SingleByte},
    {21866, "KOI8-U", PageKind::SingleByte}, {28591, "ISO-8859-1", PageKind::SingleByte},
    {28592, "ISO-8859-2", PageKind::SingleByte},   {28593, "ISO-8859-3", PageKind::SingleByte},
    {28594, "ISO-8859-4", PageKind::SingleByte},   {28595, "ISO-8859-5", PageKind::SingleByte},
    {28596, "ISO-8859-6", PageKind::SingleByte},   {28597, "ISO-8859-7", PageKind::SingleByte},
    {28598, "ISO-8859-8", PageKind::SingleByte},   {28599, "ISO-8859-9", PageKind::SingleByte},
    {28600, "ISO-8859-10", PageKind::SingleByte},  {28601, "ISO-8859-11", PageKind::SingleByte},
    {28603, "ISO-8859-13", PageKind::SingleByte},  {28604, "ISO-8859-14", PageKind::SingleByte},
    {28605, "ISO-8859-15", PageKind::SingleByte},  {932, "CP932", PageKind::MultiByte},
    {936, "CP936", PageKind::MultiByte},     {949, "CP949", PageKind::MultiByte},
    {950, "CP950", PageKind::MultiByte},     {1361, "JOHAB", PageKind::MultiByte},
    {20932, "EUC-JP", PageKind::MultiByte},  {51932, "EUC-JP", PageKind::MultiByte},
    {50220, "ISO-2022-JP", PageKind::MultiByte, "ISO-2022-JP-3"},   {50221, "ISO-2022-JP", PageKind::MultiByte, "ISO-2022-JP-3"},
    {50222, "ISO-2022-JP", PageKind::MultiByte, "ISO-2022-JP-3"},   {65001, nullptr, PageKind::Utf8},
    {1200, nullptr, PageKind::Utf16LE},      {1201, nullptr, PageKind::Utf16BE},
};

constexpr char16_t kReplacement = 0xFFFD;
constexpr const char* kUtf32Native =
    std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

constexpr const char* kUtf16Native =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Code points of a UTF-16 text; a lone surrogate becomes U+FFFD.
std::vector<char32_t> toCodePoints(const String& text) {
  std::vector<char32_t> cps;
  cps.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    cps.push_back(c);
  }
  return cps;
}

bool inRange(unsigned char b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }

// How many bytes an undecodable sequence at p spans: a lead byte whose next
// byte could be its trail byte is skipped together with it, so that one bad
// character gives one U+FFFD and its trail byte is not misread as ASCII.
size_t badSequenceLength(int codePage, const unsigned char* p, size_t n) {
  if (n < 2) return 1;
  const unsigned char lead = p[0], trail = p[1];
  switch (codePage) {
    case 932:
      if ((inRange(lead, 0x81, 0x9F) || inRange(lead, 0xE0, 0xFC)) &&
          (inRange(trail, 0x40, 0x7E) || inRange(trail, 0x80, 0xFC)))
        return 2;
      return 1;
    case 936:
      if (inRange(lead, 0x81, 0xFE) && (inRange(trail, 0x40, 0x7E) || inRange(trail, 0x80, 0xFE)))
        return 2;
      return 1;
    case 949:
      if (inRange(lead, 0x81, 0xFE) &&
          (inRange(trail, 0x41, 0x5A) || inRange(trail, 0x61, 0x7A) || inRange(trail, 0x81, 0xFE)))
        return 2;
      return 1;
    case 950:
      if (inRange(lead, 0x81, 0xFE) && (inRange(trail, 0x40, 0x7E) || inRange(trail, 0xA1, 0xFE)))
        return 2;
      return 1;
    case 1361:
      if ((inRange(lead, 0x84, 0xD3) || inRange(lead, 0xD8, 0xDE) || inRange(lead, 0xE0, 0xF9)) &&
          (inRange(trail, 0x31, 0x7E) || inRange(trail, 0x81, 0xFE)))
        return 2;
      return 1;
    case 20932:
    case 51932:
      if (lead == 0x8F && n >= 3 && inRange(trail, 0xA1, 0xFE) && inRange(p[2], 0xA1, 0xFE))
        return 3;
      if ((lead == 0x8E || inRange(lead, 0xA1, 0xFE)) && inRange(trail, 0xA1, 0xFE)) return 2;
      return 1;
    default:
      return 1;
  }
}

// One code page's converters, made on first use and kept for the life of
// the process (never freed, so conversions during static destruction work).
class Page {
public:
  explicit Page(const PageName& name) : FName(name) {}

  bool Available() {
    std::call_once(FOnce, [this] { open(); });
    return FAvailable;
  }

  String Decode(const unsigned char* p, size_t n) {
    if (!Available()) return String();
    switch (FName.kind) {
      case PageKind::Utf8:
        return UTF8ToUTF16(UTF8String(reinterpret_cast<const char*>(p), n));
      case PageKind::Utf16LE:
      case PageKind::Utf16BE:
        return decodeUtf16(p, n, FName.kind == PageKind::Utf16BE);
      case PageKind::SingleByte: {
        String out(n, u'\0');
        for (size_t i = 0; i < n; ++i) out[i] = FToUnicode[p[i]];
        return out;
      }
      case PageKind::MultiByte:
        return decodeMulti(p, n);
    }
    return String();
  }

  RawByteString Encode(const String& text, char replacementChar) {
    if (!Available()) return RawByteString();
    switch (FName.kind) {
      case PageKind::Utf8:
        return UTF16ToUTF8(text);
      case PageKind::Utf16LE:
      case PageKind::Utf16BE:
        return encodeUtf16(text, FName.kind == PageKind::Utf16BE);
      case PageKind::SingleByte:
        return encodeSingle(text, replacementChar);
      case PageKind::MultiByte:
        return encodeMulti(text, replacementChar);
    }
    return RawByteString();
  }

private:
  void open() {
    switch (FName.kind) {
      case PageKind::Utf8:
      case PageKind::Utf16LE:
      case PageKind::Utf16BE:
        FAvailable = true;
        return;
      case PageKind::SingleByte:
        FAvailable = buildTable();
        return;
      case PageKind::MultiByte:
        FDecoder = iconv_open(kUtf16Native, FName.decoderName ? FName.decoderName : FName.iconvName);
        FEncoder = iconv_open(FName.iconvName, kUtf32Native);
        FAvailable = FDecoder != kNoConverter && FEncoder != kNoConverter;
        return;
    }
  }

  // A single-byte page is decoded through a 256-entry table filled by the
  // system converter once; encoding uses the inverse of that table.
  bool buildTable() {
    iconv_t cd = iconv_open(kUtf32Native, FName.iconvName);
    if (cd == kNoConverter) return false;
    for (unsigned b = 0; b < 256; ++b) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      char in = char(b);
      char32_t out[4] = {};
      char* inp = &in;
      size_t inLeft = 1;
      char* outp = reinterpret_cast<char*>(out);
      size_t outLeft = sizeof(out);
      size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
      // Some converters hold a base letter back waiting for a combining
      // mark; flushing releases it.
      if (r != size_t(-1)) iconv(cd, nullptr, nullptr, &outp, &outLeft);
      const size_t produced = (sizeof(out) - outLeft) / sizeof(char32_t);
      char16_t u = kReplacement;
      if (r != size_t(-1) && produced >= 1 && out[0] <= 0xFFFF) u = char16_t(out[0]);
      FToUnicode[b] = u;
      if (u != kReplacement) FFromUnicode.emplace(u, static_cast<unsigned char>(b));
    }
    iconv_close(cd);
    return true;
  }

  static String decodeUtf16(const unsigned char* p, size_t n, bool bigEndian) {
    String out;
    out.reserve(n / 2 + 1);
    size_t i = 0;
    for (; i + 1 < n; i += 2)
      out.push_back(bigEndian ? char16_t((p[i] << 8) | p[i + 1]) : char16_t(p[i] | (p[i + 1] << 8)));
    if (i < n) out.push_back(kReplacement);  // odd byte at the end
    return out;
  }

  static RawByteString encodeUtf16(const String& text, bool bigEndian) {
    RawByteString out;
    out.reserve(text.size() * 2);
    for (char16_t u : text) {
      const char hi = char(u >> 8), lo = char(u & 0xFF);
      out.push_back(bigEndian ? hi : lo);
      out.push_back(bigEndian ? lo : hi);
    }
    return out;
  }

  RawByteString encodeSingle(const String& text, char replacementChar) const {
    RawByteString out;
    out.reserve(text.size());
    for (char32_t cp : toCodePoints(text)) {
      auto it = FFromUnicode.find(cp);
      out.push_back(it == FFromUnicode.end() ? replacementChar : char(it->second));
    }
    return out;
  }

  // Decodes straight into the result: no page here yields more UTF-16
  // units than it has bytes, so one allocation normally suffices.
  String decodeMulti(const unsigned char* p, size_t n) {
    String out(n + 16, u'\0');
    size_t used = 0;  // bytes of out written
    char* outp = nullptr;
    size_t outLeft = 0;
    auto place = [&] {
      outp = reinterpret_cast<char*>(out.data()) + used;
      outLeft = out.size() * sizeof(char16_t) - used;
    };
    auto grow = [&] {
      used = size_t(outp - reinterpret_cast<char*>(out.data()));
      out.resize(out.size() * 2);
      place();
    };
    place();
    std::lock_guard<std::mutex> lock(FLock);
    iconv(FDecoder, nullptr, nullptr, nullptr, nullptr);
    char* inp = const_cast<char*>(reinterpret_cast<const char*>(p));
    size_t inLeft = n;
    while (inLeft > 0) {
      const size_t r = iconv(FDecoder, &inp, &inLeft, &outp, &outLeft);
      if (r != size_t(-1)) break;
      const int err = errno;
      if (err == E2BIG) {
        grow();
        continue;
      }
      if (outLeft < sizeof(char16_t)) grow();
      *reinterpret_cast<char16_t*>(outp) = kReplacement;
      outp += sizeof(char16_t);
      outLeft -= sizeof(char16_t);
      if (err == EILSEQ) {
        const size_t skip = std::min(inLeft, badSequenceLength(FName.codePage,
                                                               reinterpret_cast<unsigned char*>(inp), inLeft));
        inp += skip;
        inLeft -= skip;
      } else {
        inLeft = 0;  // EINVAL: a sequence cut short by the end of the data
      }
    }
    while (iconv(FDecoder, nullptr, nullptr, &outp, &outLeft) == size_t(-1) && errno == E2BIG) grow();
    out.resize(size_t(outp - reinterpret_cast<char*>(out.data())) / sizeof(char16_t));
    return out;
  }

  RawByteString encodeMulti(const String& text, char replacementChar) {
    std::vector<char32_t> cps = toCodePoints(text);
    std::lock_guard<std::mutex> lock(FLock);
    iconv(FEncoder, nullptr, nullptr, nullptr, nullptr);
    RawByteString out;
    char chunk[1024];
    char* inp = reinterpret_cast<char*>(cps.data());
    size_t inLeft = cps.size() * sizeof(char32_t);
    // Returning to the initial shift state before a replacement keeps a
    // stateful encoding from reading the '?' as half of a double-byte code.
    auto flush = [&] {
      char* outp = chunk;
      size_t outLeft = sizeof(chunk);
      iconv(FEncoder, nullptr, nullptr, &outp, &outLeft);
      out.append(chunk, size_t(outp - chunk));
    };
    while (inLeft > 0) {
      char* outp = chunk;
      size_t outLeft = sizeof(chunk);
      const size_t r = iconv(FEncoder, &inp, &inLeft, &outp, &outLeft);
      const int err = errno;
      out.append(chunk, size_t(outp - chunk));
      if (r != size_t(-1) || err == E2BIG) continue;
      flush();
      out.push_back(replacementChar);
      const size_t skip = std::min(inLeft, sizeof(char32_t));
      inp += skip;
      inLeft -= skip;
    }
    flush();
    return out;
  }

  const PageName FName;
  std::once_flag FOnce;
  bool FAvailable = false;
  std::array<char16_t, 256> FToUnicode{};
  std::unordered_map<char32_t, unsigned char> FFromUnicode;
  std::mutex FLock;
  iconv_t FDecoder = kNoConverter;
  iconv_t FEncoder = kNoConverter;
};

Page* findPage(int codePage) {
  static const auto pages = [] {
    auto* list = new std::vector<std::pair<int, Page*>>;
    for (const PageName& name : kPages) list->emplace_back(name.codePage, new Page(name));
    return list;
  }();
  codePage = ResolveCodePage(codePage);
  for (const auto& [number, page] : *pages)
    if (number == codePage) return page;
  return nullptr;
}

}  // namespace

int ResolveCodePage(int codePage) {
  switch (codePage) {
    case CP_ACP: return CP_UTF8;
    case CP_OEMCP: return 437;
    case CP_MACCP: return 10000;
    default: return codePage;
  }
}

bool IsCodePageSupported(int codePage) {
  Page* page = findPage(codePage);
  return page && page->Available();
}

String CodePageToUnicode(int codePage, const char* data, size_t size) {
  Page* page = findPage(codePage);
  if (!page || !data || size == 0) return String();
  return page->Decode(reinterpret_cast<const unsigned char*>(data), size);
}

String CodePageToUnicode(int codePage, const RawByteString& data) {
  return CodePageToUnicode(codePage, data.data(), data.size());
}

RawByteString UnicodeToCodePage(int codePage, const String& text, char replacementChar) {
  Page* page = findPage(codePage);
  if (!page || text.empty()) return RawByteString();
  return page->Encode(text, replacementChar);
}
