#include "html/parse/source_buffer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/core/codepage.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr std::uint8_t ESC = 0x1B;

enum class DecoderKind { Utf16LE, Utf16BE, Utf8, SingleByte, MultiByte, Iso2022JP };

using Row = std::array<char16_t, 256>;

bool inRange(std::uint8_t b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }

// Lead and trail byte ranges of the double-byte code pages. A lead byte
// always pairs with the byte after it, so a trail byte is never read as a
// character of its own (the trail range of most of these pages includes
// ASCII letters and "\").
struct ByteRanges {
  int codePage;
  bool (*isLead)(std::uint8_t);
  bool (*isTrail)(std::uint8_t);
};

const ByteRanges kDoubleBytePages[] = {
    {932, [](std::uint8_t b) { return inRange(b, 0x81, 0x9F) || inRange(b, 0xE0, 0xFC); },
     [](std::uint8_t b) { return inRange(b, 0x40, 0x7E) || inRange(b, 0x80, 0xFC); }},
    {936, [](std::uint8_t b) { return inRange(b, 0x81, 0xFE); },
     [](std::uint8_t b) { return inRange(b, 0x40, 0x7E) || inRange(b, 0x80, 0xFE); }},
    {949, [](std::uint8_t b) { return inRange(b, 0x81, 0xFE); },
     [](std::uint8_t b) {
       return inRange(b, 0x41, 0x5A) || inRange(b, 0x61, 0x7A) || inRange(b, 0x81, 0xFE);
     }},
    {950, [](std::uint8_t b) { return inRange(b, 0x81, 0xFE); },
     [](std::uint8_t b) { return inRange(b, 0x40, 0x7E) || inRange(b, 0xA1, 0xFE); }},
    {1361,
     [](std::uint8_t b) {
       return inRange(b, 0x84, 0xD3) || inRange(b, 0xD8, 0xDE) || inRange(b, 0xE0, 0xF9);
     },
     [](std::uint8_t b) { return inRange(b, 0x31, 0x7E) || inRange(b, 0x81, 0xFE); }},
    // EUC-JP; 0x8F starts a three-byte character (marked separately).
    {20932, [](std::uint8_t b) { return b == 0x8E || inRange(b, 0xA1, 0xFE); },
     [](std::uint8_t b) { return inRange(b, 0xA1, 0xFE); }},
    {51932, [](std::uint8_t b) { return b == 0x8E || inRange(b, 0xA1, 0xFE); },
     [](std::uint8_t b) { return inRange(b, 0xA1, 0xFE); }},
};

const ByteRanges* doubleByteRanges(int codePage) {
  for (const ByteRanges& r : kDoubleBytePages)
    if (r.codePage == codePage) return &r;
  return nullptr;
}

char16_t decodeOne(int codePage, const std::uint8_t* bytes, std::size_t n) {
  const String s = CodePageToUnicode(codePage, reinterpret_cast<const char*>(bytes), n);
  return s.size() == 1 ? s[0] : kReplacement;
}

// Decodes one UTF-8 character at pos. Invalid or cut-short sequences give
// U+FFFD and consume the lead byte with the continuation bytes that were
// valid so far. A four-byte character gives its high surrogate and leaves
// the position on its first continuation byte; reading there gives the low
// surrogate and moves past the sequence. So positions stay plain byte
// offsets, and saving and restoring one never loses half a pair.
inline char16_t decodeUtf8At(const std::uint8_t* d, std::size_t end, std::size_t& pos) {
  const std::uint8_t b = d[pos];
  if (b < 0x80) {
    ++pos;
    return b;
  }
  if (b < 0xC0) {
    // A continuation byte: the second half of a four-byte character when
    // the byte before is its valid lead.
    if (pos >= 1 && pos + 2 < end && inRange(d[pos - 1], 0xF0, 0xF4)) {
      const std::uint8_t lead = d[pos - 1], c1 = b, c2 = d[pos + 1], c3 = d[pos + 2];
      const bool firstOk = lead == 0xF0 ? inRange(c1, 0x90, 0xBF)
                           : lead == 0xF4 ? inRange(c1, 0x80, 0x8F)
                                          : inRange(c1, 0x80, 0xBF);
      if (firstOk && inRange(c2, 0x80, 0xBF) && inRange(c3, 0x80, 0xBF)) {
        pos += 3;
        return char16_t(0xDC00 | ((c2 & 0x0F) << 6) | (c3 & 0x3F));
      }
    }
    ++pos;
    return kReplacement;
  }
  unsigned need;
  std::uint8_t lo = 0x80, hi = 0xBF;
  char32_t cp;
  if (b < 0xC2) {
    ++pos;
    return kReplacement;  // overlong two-byte form
  } else if (b < 0xE0) {
    need = 1;
    cp = b & 0x1F;
  } else if (b < 0xF0) {
    need = 2;
    cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;  // no surrogates
  } else if (b < 0xF5) {
    need = 3;
    cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    ++pos;
    return kReplacement;
  }
  unsigned i = 1;
  for (; i <= need; ++i) {
    if (pos + i >= end) break;
    const std::uint8_t c = d[pos + i];
    if (c < lo || c > hi) break;
    cp = (cp << 6) | (c & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  if (i <= need) {
    pos += i;
    return kReplacement;
  }
  if (need == 3) {
    ++pos;
    return char16_t(0xD800 + ((cp - 0x10000) >> 10));
  }
  pos += need + 1;
  return char16_t(cp);
}

}  // namespace

struct TBuffer::Decoder {
  DecoderKind Kind = DecoderKind::Utf8;
  int CodePage = 0;
  // Single-byte pages: the character of every byte. Double-byte pages: the
  // character of every byte that stands alone (U+FFFD for lead bytes).
  Row Single{};
  // Single, with TBuffer::SlowPath for every byte that starts a longer
  // sequence (UTF-8 and double-byte pages).
  Row Fast{};
  // 0 a byte of its own, 2 the lead of a pair, 3 the lead of a triple.
  std::array<std::uint8_t, 256> LeadLen{};
  std::array<bool, 256> TrailOk{};
  // Characters of the pairs of each lead byte, made on first use.
  mutable std::array<std::atomic<const Row*>, 256> Rows{};
  mutable std::mutex RowLock;
  // ISO-2022-JP is read through its Shift_JIS form.
  const Decoder* ShiftJis = nullptr;

  ~Decoder() {
    for (auto& r : Rows) delete r.load();
  }

  const Row& RowOf(std::uint8_t lead) const {
    if (const Row* r = Rows[lead].load(std::memory_order_acquire)) return *r;
    std::lock_guard<std::mutex> lock(RowLock);
    if (const Row* r = Rows[lead].load(std::memory_order_acquire)) return *r;
    auto* row = new Row;
    row->fill(kReplacement);
    for (unsigned t = 0; t < 256; ++t) {
      if (!TrailOk[t]) continue;
      const std::uint8_t pair[2] = {lead, std::uint8_t(t)};
      (*row)[t] = decodeOne(CodePage, pair, 2);
    }
    Rows[lead].store(row, std::memory_order_release);
    return *row;
  }

  // The character of a lead byte and the bytes after it at d[pos], moving
  // pos past what was used. A lead byte without a valid trail stands for
  // U+FFFD by itself and leaves the next byte to be read on its own.
  char16_t Pair(const std::uint8_t* d, std::size_t end, std::size_t& pos) const {
    const std::uint8_t lead = d[pos];
    if (LeadLen[lead] == 3) {
      if (pos + 2 < end && TrailOk[d[pos + 1]] && TrailOk[d[pos + 2]]) {
        const char16_t c = decodeOne(CodePage, d + pos, 3);
        pos += 3;
        return c;
      }
    } else if (pos + 1 < end && TrailOk[d[pos + 1]]) {
      const char16_t c = RowOf(lead)[d[pos + 1]];
      pos += 2;
      return c;
    }
    ++pos;
    return kReplacement;
  }
};

namespace {

using Decoder = TBuffer::Decoder;

std::unique_ptr<Decoder> makeDecoder(int codePage) {
  auto d = std::make_unique<Decoder>();
  d->CodePage = codePage;
  if (const ByteRanges* ranges = doubleByteRanges(codePage)) {
    d->Kind = DecoderKind::MultiByte;
    for (unsigned b = 0; b < 256; ++b) {
      const auto byte = std::uint8_t(b);
      d->TrailOk[b] = ranges->isTrail(byte);
      if (ranges->isLead(byte)) {
        d->LeadLen[b] = 2;
        d->Single[b] = kReplacement;
      } else if ((codePage == 20932 || codePage == 51932) && b == 0x8F) {
        d->LeadLen[b] = 3;
        d->Single[b] = kReplacement;
      } else {
        d->Single[b] = b == 0 ? u'\0' : decodeOne(codePage, &byte, 1);
        if (d->Single[b] >= TBuffer::Utf8Lead2) d->Single[b] = kReplacement;
      }
      d->Fast[b] = d->LeadLen[b] ? TBuffer::SlowPath : d->Single[b];
    }
    return d;
  }
  d->Kind = DecoderKind::SingleByte;
  char all[256];
  for (unsigned b = 0; b < 256; ++b) all[b] = char(b);
  const String s = CodePageToUnicode(codePage, all, sizeof(all));
  for (unsigned b = 0; b < 256; ++b) d->Single[b] = s.size() == 256 ? s[b] : char16_t(b);
  d->Single[0] = 0;
  // The two noncharacters mark bytes for the full decoder in the fast table.
  for (char16_t& c : d->Single)
    if (c == TBuffer::SlowPath || c == TBuffer::Utf8Lead2) c = kReplacement;
  d->Fast = d->Single;
  return d;
}

const Decoder* fixedDecoder(DecoderKind kind) {
  static const auto make = [](DecoderKind k) {
    auto d = std::make_unique<Decoder>();
    d->Kind = k;
    for (unsigned b = 0; b < 256; ++b)
      d->Fast[b] = b < 0x80                ? char16_t(b)
                   : b >= 0xC2 && b < 0xE0 ? TBuffer::Utf8Lead2
                                           : TBuffer::SlowPath;
    return d;
  };
  static const std::unique_ptr<Decoder> le = make(DecoderKind::Utf16LE);
  static const std::unique_ptr<Decoder> be = make(DecoderKind::Utf16BE);
  static const std::unique_ptr<Decoder> utf8 = make(DecoderKind::Utf8);
  switch (kind) {
    case DecoderKind::Utf16LE: return le.get();
    case DecoderKind::Utf16BE: return be.get();
    default: return utf8.get();
  }
}

// Decoders are made once per code page and kept for the process.
const Decoder* pageDecoder(int codePage) {
  static std::mutex lock;
  static std::map<int, std::unique_ptr<Decoder>> cache;
  std::lock_guard<std::mutex> guard(lock);
  auto& slot = cache[codePage];
  if (!slot) slot = makeDecoder(codePage);
  return slot.get();
}

const Decoder* iso2022Decoder() {
  static const std::unique_ptr<Decoder> d = [] {
    auto r = std::make_unique<Decoder>();
    r->Kind = DecoderKind::Iso2022JP;
    r->ShiftJis = pageDecoder(932);
    return r;
  }();
  return d.get();
}

bool isIso2022Page(int codePage) {
  return codePage == CodePageIso2022JP || codePage == 50220 || codePage == 50221 || codePage == 50222;
}

// Decoder for a code page on a source read byte by byte. A page that
// cannot be converted here is read as UTF-8, which keeps ASCII intact; so
// is a UTF-16 page declared by the text of a page that is itself 8-bit
// (its own bytes prove the declaration wrong).
const Decoder* decoderFor(int codePage) {
  if (isIso2022Page(codePage)) return iso2022Decoder();
  const int page = ResolveCodePage(codePage);
  if (page == CP_UTF8 || page == CodePageUtf16LE || page == CodePageUtf16BE || page == CP_UTF16LE ||
      page == CP_UTF16BE || !IsCodePageSupported(page))
    return fixedDecoder(DecoderKind::Utf8);
  return pageDecoder(page);
}

// Position of the escape sequence ESC a b at or after from, or npos.
std::size_t findEscape(const std::uint8_t* d, std::size_t from, std::size_t end, char a, char b) {
  while (from + 3 <= end) {
    const void* hit = std::memchr(d + from, ESC, end - from - 2);
    if (!hit) break;
    const std::size_t p = static_cast<const std::uint8_t*>(hit) - d;
    if (d[p + 1] == std::uint8_t(a) && d[p + 2] == std::uint8_t(b)) return p;
    from = p + 1;
  }
  return std::size_t(-1);
}

// An ISO-2022-JP text switches to a kanji set and back to a single-byte set.
bool looksIso2022(const std::uint8_t* d, std::size_t size) {
  if (size == 0) return false;
  const void* nul = std::memchr(d, 0, size);
  const std::size_t end = nul ? static_cast<const std::uint8_t*>(nul) - d : size;
  constexpr std::size_t none = std::size_t(-1);
  const std::size_t a = findEscape(d, 0, end, '$', '@');
  const std::size_t b = findEscape(d, 0, end, '$', 'B');
  if (a == none && b == none) return false;
  const std::size_t from = a == none ? b : b == none ? a : std::max(a, b);
  return findEscape(d, from, end, '(', 'J') != none || findEscape(d, from, end, '(', 'B') != none;
}

}  // namespace

TBuffer::TBuffer(std::vector<std::uint8_t> data, const String& name)
    : FData(std::move(data)), FName(name), FEnd(FData.size()) {}

TBuffer::~TBuffer() = default;

std::unique_ptr<TBuffer> TBuffer::CreateFromBytes(const void* data, std::size_t size, const String& name) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::unique_ptr<TBuffer> buffer(new TBuffer(std::vector<std::uint8_t>(p, p + (p ? size : 0)), name));
  buffer->detectEncoding();
  return buffer;
}

std::unique_ptr<TBuffer> TBuffer::CreateFromStream(TStream& stream, const String& name) {
  std::vector<std::uint8_t> bytes;
  const std::int64_t left = stream.Size() - stream.Position();
  if (left > 0) bytes.reserve(std::size_t(left));
  std::uint8_t chunk[65536];
  for (std::int64_t got; (got = stream.Read(chunk, sizeof(chunk))) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  std::unique_ptr<TBuffer> buffer(new TBuffer(std::move(bytes), name));
  buffer->detectEncoding();
  return buffer;
}

std::unique_ptr<TBuffer> TBuffer::CreateFromString(const String& text, const String& name) {
  std::vector<std::uint8_t> bytes(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = std::uint8_t(text[i] & 0xFF);
    bytes[2 * i + 1] = std::uint8_t(text[i] >> 8);
  }
  std::unique_ptr<TBuffer> buffer(new TBuffer(std::move(bytes), name));
  buffer->FCodePage = buffer->FStartCodePage = CodePageUtf16LE;
  buffer->FFlags |= LockFlag;
  buffer->FCharSet = CharSetUtf16;
  buffer->selectDecoder();
  return buffer;
}

void TBuffer::detectEncoding() {
  const std::uint8_t* d = FData.data();
  const std::size_t n = FData.size();
  if (n >= 2 && d[0] == 0xFF && d[1] == 0xFE) {
    FCodePage = FStartCodePage = CodePageUtf16LE;
    FCharSet = CharSetUtf16;
    FFlags |= LockFlag;
    FPos = 2;
  } else if (n >= 2 && d[0] == 0xFE && d[1] == 0xFF) {
    FCodePage = FStartCodePage = CodePageUtf16BE;
    FCharSet = CharSetUtf16;
    FFlags |= LockFlag;
    FPos = 2;
  } else if (n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF) {
    FCodePage = FStartCodePage = CP_UTF8;
    FCharSet = 1;
    FFlags |= LockFlag;
    FPos = 3;
  } else if (looksIso2022(d, n)) {
    FCharSet = 128;
    FCodePage = FStartCodePage = CodePageIso2022JP;
    FFlags |= LockFlag;
  } else {
    FCharSet = 1;
    FCodePage = FStartCodePage = CharSetToCodePage(1);
  }
  selectDecoder();
}

void TBuffer::selectDecoder(int codePage) {
  if (FStartCodePage == CodePageUtf16LE)
    FDecoder = fixedDecoder(DecoderKind::Utf16LE);
  else if (FStartCodePage == CodePageUtf16BE)
    FDecoder = fixedDecoder(DecoderKind::Utf16BE);
  else
    FDecoder = decoderFor(codePage);
  const bool bytewise = FDecoder->Kind == DecoderKind::Utf8 || FDecoder->Kind == DecoderKind::SingleByte ||
                        FDecoder->Kind == DecoderKind::MultiByte;
  FFast = bytewise ? FDecoder->Fast.data() : nullptr;
  FWideLE = FDecoder->Kind == DecoderKind::Utf16LE;
  switch (FDecoder->Kind) {
    case DecoderKind::Utf16LE:
      // A last odd byte reads as the end, as it does in AsciiUnits.
      FAsciiUnitSize = 2;
      break;
    case DecoderKind::Utf8:
      // Sequences only ever hold bytes from 128 up and decode to
      // characters from 128 up (overlong forms are refused).
      FAsciiUnitSize = 1;
      break;
    case DecoderKind::SingleByte:
      FAsciiUnitSize = 1;
      for (unsigned b = 0; b < 256; ++b)
        if (b < 0x80 ? FDecoder->Single[b] != b : FDecoder->Single[b] < 0x80) FAsciiUnitSize = 0;
      break;
    default:
      FAsciiUnitSize = 0;
      break;
  }
}

void TBuffer::SetCodePage(int value) {
  if (CodePageLocked()) return;
  FCodePage = value;
  selectDecoder();
}

void TBuffer::BeginCodePageRun(int Position, int CodePage) {
  switchCodePage(std::size_t(std::max(Position, 0)), true, CodePage);
}

void TBuffer::EndCodePageRun(int Position) {
  switchCodePage(std::size_t(std::max(Position, 0)), false, OwnCodePage);
}

void TBuffer::switchCodePage(std::size_t position, bool inRun, int codePage) {
  if (CodePageLocked()) return;
  while (!FSwitches.empty() && FSwitches.back().Position >= position) FSwitches.pop_back();
  const int before = FSwitches.empty() ? OwnCodePage : FSwitches.back().CodePage;
  if (codePage != before) FSwitches.push_back({position, codePage});
  FInRun = inRun;
  FRunCodePage = codePage;
  selectDecoder();
}

// The ISO-2022-JP mode in force at a byte offset: the last shift sequence
// before it decides.
std::uint8_t TBuffer::jisModeAt(std::size_t pos) const {
  std::uint8_t mode = 0;
  const std::uint8_t* d = FData.data();
  for (std::size_t i = 0; i + 2 < pos && i + 2 < FEnd; ++i) {
    if (d[i] != ESC) continue;
    const std::uint8_t b1 = d[i + 1], b2 = d[i + 2];
    if (b1 == '$' && b2 == '@') mode = 2;
    else if (b1 == '$' && b2 == 'B') mode = 3;
    else if (b1 == '(' && b2 == 'B') mode = 0;
    else if (b1 == '(' && b2 == 'J') mode = 1;
  }
  return mode;
}

void TBuffer::SetPosition(int value) {
  FPos = std::min<std::size_t>(std::size_t(std::max(value, 0)), FEnd);
  // The shift state is the one in force at the new position.
  if (FPos == 0) FJisMode = 0;
  else if (FDecoder && FDecoder->Kind == DecoderKind::Iso2022JP) FJisMode = jisModeAt(FPos);
}

void TBuffer::Reset() {
  FPos = 0;
  FEnd = FData.size();
  FJisMode = 0;
  // A new reading starts in the buffer's own code page.
  if (FInRun) {
    FInRun = false;
    selectDecoder();
  }
}

char16_t TBuffer::nextWide() {
  if (FEnd - FPos < 2) return 0;
  const std::uint8_t a = FData[FPos], b = FData[FPos + 1];
  FPos += 2;
  return FDecoder->Kind == DecoderKind::Utf16LE ? char16_t(a | (b << 8)) : char16_t((a << 8) | b);
}

char16_t TBuffer::nextUtf8() {
  const std::uint8_t* d = FData.data();
  // Well-formed two-byte characters, the common case of non-Latin text.
  const std::uint8_t b = d[FPos];
  if (b >= 0xC2 && b < 0xE0 && FPos + 1 < FEnd && (d[FPos + 1] & 0xC0) == 0x80) {
    const char16_t c = char16_t(((b & 0x1F) << 6) | (d[FPos + 1] & 0x3F));
    FPos += 2;
    return c;
  }
  return decodeUtf8At(d, FEnd, FPos);
}

// One character of an ISO-2022-JP text as one or two Shift_JIS bytes; the
// escape sequences met on the way switch the mode. Returns the byte count,
// 0 at the end of the data.
unsigned TBuffer::nextIso2022Bytes(std::uint8_t out[2]) {
  const std::uint8_t* d = FData.data();
  // Shift sequences with nothing after them are left unread, so that the
  // end of the data is always a 0 that does not move the position.
  const std::size_t startPos = FPos;
  const std::uint8_t startMode = FJisMode;
  for (;;) {
    if (FPos >= FEnd) {
      FPos = startPos;
      FJisMode = startMode;
      return 0;
    }
    const std::uint8_t b = d[FPos++];
    // A sequence at the very end of the text (the usual return to ASCII)
    // is still a sequence.
    if (b == ESC && FEnd - FPos >= 2) {
      const std::uint8_t b1 = d[FPos], b2 = d[FPos + 1];
      int mode = -1;
      if (b1 == '$' && b2 == '@') mode = 2;
      if (b1 == '$' && b2 == 'B') mode = 3;
      if (b1 == '(' && b2 == 'B') mode = 0;
      if (b1 == '(' && b2 == 'J') mode = 1;
      if (mode >= 0) {
        FJisMode = std::uint8_t(mode);
        FPos += 2;
        continue;
      }
    }
    // Line ends and blanks inside a kanji run are themselves.
    if (FJisMode < 2 || b < 0x21) {
      out[0] = b;
      return 1;
    }
    const std::uint8_t j1 = b, j2 = FPos < FEnd ? d[FPos++] : 0;
    if (j1 == 0 || j2 == 0) {
      out[0] = 0;
      return 1;
    }
    out[0] = std::uint8_t(((j1 + 1) >> 1) + (j1 < 0x5F ? 0x70 : 0xB0));
    if (j1 & 1)
      out[1] = std::uint8_t(j2 < 0x60 ? j2 + 0x1F : j2 + 0x20);
    else
      out[1] = std::uint8_t(j2 + 0x7E);
    return 2;
  }
}

char16_t TBuffer::nextIso2022() {
  std::uint8_t sj[2];
  const unsigned n = nextIso2022Bytes(sj);
  if (n == 0) return 0;
  const Decoder& d = *FDecoder->ShiftJis;
  if (n == 1) return d.Single[sj[0]];
  std::size_t p = 0;
  const char16_t c = d.LeadLen[sj[0]] == 2 ? d.Pair(sj, 2, p) : kReplacement;
  return p == 2 ? c : kReplacement;
}

char16_t TBuffer::decodeMultiByte(const Decoder& d) {
  const std::uint8_t b = FData[FPos];
  if (d.LeadLen[b] == 0) {
    ++FPos;
    return d.Single[b];
  }
  return d.Pair(FData.data(), FEnd, FPos);
}

char16_t TBuffer::nextSlow() {
  switch (FDecoder->Kind) {
    case DecoderKind::Utf16LE:
    case DecoderKind::Utf16BE:
      return nextWide();
    case DecoderKind::Iso2022JP:
      return nextIso2022();
    default:
      break;
  }
  if (FPos >= FEnd) return 0;
  switch (FDecoder->Kind) {
    case DecoderKind::Utf8:
      return nextUtf8();
    case DecoderKind::SingleByte:
      return FDecoder->Single[FData[FPos++]];
    default:
      return decodeMultiByte(*FDecoder);
  }
}

char16_t TBuffer::peekSlow() {
  const std::size_t pos = FPos;
  const std::uint8_t mode = FJisMode;
  const char16_t c = NextChar();
  FPos = pos;
  FJisMode = mode;
  return c;
}

// Every character that starts before `to`, decoded exactly as NextChar
// would, so that a page and its source text always agree.
String TBuffer::decodeRange(std::size_t from, std::size_t to) {
  return FSwitches.empty() ? decodeSameCodePage(from, to) : decodeWithRuns(from, to);
}

// Each stretch between two switches with its own decoder; switches lie
// where characters start.
String TBuffer::decodeWithRuns(std::size_t from, std::size_t to) {
  to = std::min(to, FEnd);
  String out;
  auto next = std::upper_bound(FSwitches.begin(), FSwitches.end(), from,
                               [](std::size_t p, const TCodePageSwitch& s) { return p < s.Position; });
  for (std::size_t at = from; at < to;) {
    const int codePage = next == FSwitches.begin() ? OwnCodePage : std::prev(next)->CodePage;
    const std::size_t end = next == FSwitches.end() ? to : std::min(to, next->Position);
    selectDecoder(codePage == OwnCodePage ? FCodePage : codePage);
    out += decodeSameCodePage(at, end);
    at = end;
    if (next != FSwitches.end()) ++next;
  }
  selectDecoder();
  return out;
}

String TBuffer::decodeSameCodePage(std::size_t from, std::size_t to) {
  to = std::min(to, FEnd);
  if (from >= to) return String();
  const std::uint8_t* d = FData.data();
  String out;
  switch (FDecoder->Kind) {
    case DecoderKind::SingleByte: {
      out.resize(to - from);
      const Row& table = FDecoder->Single;
      char16_t* o = out.data();
      for (std::size_t i = from; i < to; ++i) *o++ = table[d[i]];
      return out;
    }
    case DecoderKind::Utf16LE:
    case DecoderKind::Utf16BE: {
      const std::size_t units = (std::min(to + 1, FEnd) - from) / 2;
      out.resize(units);
      if (FDecoder->Kind == DecoderKind::Utf16LE) {
        for (std::size_t i = 0; i < units; ++i)
          out[i] = char16_t(d[from + 2 * i] | (d[from + 2 * i + 1] << 8));
      } else {
        for (std::size_t i = 0; i < units; ++i)
          out[i] = char16_t((d[from + 2 * i] << 8) | d[from + 2 * i + 1]);
      }
      return out;
    }
    case DecoderKind::Utf8: {
      // One unit per byte at most, plus the second half of a four-byte
      // character that starts just before `to`.
      out.resize(to - from + 1);
      char16_t* o = out.data();
      std::size_t pos = from;
      while (pos < to) {
        const std::uint8_t b = d[pos];
        if (b < 0x80) {
          // ASCII runs, eight bytes at a time.
          while (pos + 8 <= to) {
            std::uint64_t w;
            std::memcpy(&w, d + pos, 8);
            if (w & 0x8080808080808080ull) break;
            for (int k = 0; k < 8; ++k) o[k] = d[pos + k];
            o += 8;
            pos += 8;
          }
          while (pos < to && d[pos] < 0x80) *o++ = d[pos++];
          continue;
        }
        // Well-formed two-byte characters (Cyrillic, Greek, accents) inline.
        if (b >= 0xC2 && b < 0xE0 && pos + 1 < FEnd && (d[pos + 1] & 0xC0) == 0x80) {
          *o++ = char16_t(((b & 0x1F) << 6) | (d[pos + 1] & 0x3F));
          pos += 2;
          continue;
        }
        *o++ = decodeUtf8At(d, FEnd, pos);
      }
      if (o > out.data() && o[-1] >= 0xD800 && o[-1] < 0xDC00 && pos < FEnd)
        *o++ = decodeUtf8At(d, FEnd, pos);
      out.resize(std::size_t(o - out.data()));
      return out;
    }
    default:
      break;
  }
  const std::size_t savedPos = FPos;
  const std::size_t savedEnd = FEnd;
  const std::uint8_t savedMode = FJisMode;
  FPos = from;
  FJisMode = from == 0 ? 0 : jisModeAt(from);  // the state in force at from
  // The range ends the data for the decoder: a shift sequence just before
  // "to" must not pull in the character after it.
  FEnd = std::min(FEnd, to);
  out.reserve(to - from);
  while (FPos < to) {
    const std::size_t before = FPos;
    const char16_t c = NextChar();
    if (FPos == before) break;  // the end of the data
    out.push_back(c);
  }
  FPos = savedPos;
  FEnd = savedEnd;
  FJisMode = savedMode;
  return out;
}

String TBuffer::GetString(int from, int to) {
  if (from < 0) from = 0;
  if (to <= from) return String();
  return decodeRange(std::size_t(from), std::size_t(to));
}

String TBuffer::ReadToEnd() {
  if (FPos >= FEnd) return String();
  const std::size_t n = FEnd - FPos;
  String text;
  if (FDecoder->Kind == DecoderKind::Iso2022JP) {
    // The shift state carries over from one character to the next.
    for (std::size_t before = FPos; FPos < FEnd; before = FPos) {
      const char16_t c = NextChar();
      if (FPos == before) break;
      text.push_back(c);
    }
  } else {
    text = decodeRange(FPos, FEnd);
  }
  FPos = FEnd;
  // A page that declared nothing is read as UTF-8 (the system code page);
  // one with plenty of multi-byte characters reports it by name.
  if (FCodePage == CP_ACP && FStartCodePage == CP_ACP && !text.empty() &&
      n - text.size() > n / 25) {
    FCodePage = CP_UTF8;
    FCharSet = 1;
  }
  return text;
}
