// A streaming RFC 1951 decoder. Codes of up to kFastBits bits are decoded by
// one table look-up, longer ones canonically bit by bit. Tables are sized
// exactly for the alphabets, distances are checked against the output so
// far, and the input is never read past the size the caller gave.
#include "zip/zip_inflate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "platform/core/strings.h"
#include "zip/zip_utils.h"

namespace {

constexpr int kFastBits = 10;
constexpr int kMaxBits = 15;
constexpr int kEndOfInput = 1, kBadBlockType = 2, kBadStored = 3, kBadLitTree = 4, kBadDistTree = 5,
              kBadCode = 6, kTooFar = 7, kOverLimit = 8, kWriteFailed = 9;

const uint16_t kLengthBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                                  35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                                193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

}  // namespace

struct TZAInflate::Huffman {
  uint16_t count[kMaxBits + 1];
  uint16_t symbol[288];
  // Fast table: symbol << 4 | length, 0 when the code is longer.
  uint16_t fast[1 << kFastBits];
  int tableSize = 0;
};

TZAInflate::TZAInflate(TStream* dest, TStream* source) : FDest(dest), FSource(source) {}

int TZAInflate::UnpackWithHeader(uint64_t size) {
  uint8_t head[6];
  if (size < 6 || !FSource || FSource->Read(head, 6) != 6) return 176;
  int method = head[0] | (head[1] << 8);
  uint32_t crc = uint32_t(head[2]) | (uint32_t(head[3]) << 8) | (uint32_t(head[4]) << 16) | (uint32_t(head[5]) << 24);
  return Unpack(method, crc, size - 6);
}

int TZAInflate::Unpack(int method, uint32_t& crc, uint64_t size) {
  if (method != 0 && method != 8) return 128;
  FInputLeft = size;
  FProduced = 0;
  FCrc = 0xFFFFFFFF;
  FWindowPos = 0;
  FInPos = FInLen = 0;
  FBitBuf = 0;
  FBitCount = 0;
  FOverLimit = FWriteFailed = false;
  int result = 0;
  if (method == 0) {
    while (FInputLeft > 0) {
      int n = int(std::min<uint64_t>(FInputLeft, kWindowSize));
      if (!FSource || FSource->Read(FWindow, n) != n) return 175;
      FInputLeft -= uint64_t(n);
      FWindowPos = n;
      if (!flush()) return FOverLimit ? kOverLimit : kWriteFailed;
    }
  } else {
    result = inflateBlocks();
    if (result == 0 && !flush()) result = FOverLimit ? kOverLimit : kWriteFailed;
  }
  if (result != 0) return result;
  uint32_t computed = ~FCrc;
  if (computed != crc) {
    crc = computed;
    return 150;
  }
  return 0;
}

bool TZAInflate::fillInput() {
  if (FInputLeft == 0 || !FSource) return false;
  int n = int(std::min<uint64_t>(FInputLeft, kWindowSize));
  std::int64_t got = FSource->Read(FInput, n);
  if (got <= 0) return false;
  FInputLeft -= uint64_t(got);
  FInPos = 0;
  FInLen = int(got);
  return true;
}

bool TZAInflate::need(int n) {
  if (FBitCount >= n) return true;
  // Whole bytes while there is room in the bit buffer: fewer calls here.
  while (FBitCount <= 56 && FInPos < FInLen) {
    FBitBuf |= uint64_t(FInput[FInPos++]) << FBitCount;
    FBitCount += 8;
  }
  while (FBitCount < n) {
    if (FInPos >= FInLen && !fillInput()) return false;
    FBitBuf |= uint64_t(FInput[FInPos++]) << FBitCount;
    FBitCount += 8;
  }
  return true;
}

uint32_t TZAInflate::bits(int n) {
  uint32_t v = uint32_t(FBitBuf & ((uint64_t(1) << n) - 1));
  FBitBuf >>= n;
  FBitCount -= n;
  return v;
}

bool TZAInflate::flush() {
  if (FWindowPos == 0) return true;
  if (MaxOutput && FProduced + uint64_t(FWindowPos) > MaxOutput) {
    FOverLimit = true;
    return false;
  }
  FCrc = ~ZipCRC32(~FCrc, FWindow, size_t(FWindowPos));
  FProduced += uint64_t(FWindowPos);
  if (FDest && FDest->Write(FWindow, FWindowPos) != FWindowPos) {
    FWriteFailed = true;
    return false;
  }
  if (FWindowPos == kWindowSize && OnProgress) OnProgress(kWindowSize);
  FWindowPos = 0;
  return true;
}

bool TZAInflate::put(uint8_t byte) {
  FWindow[FWindowPos++] = byte;
  if (FWindowPos == kWindowSize) return flush();
  return true;
}

int TZAInflate::buildTable(Huffman& h, const uint8_t* lengths, int n, int incomplete) {
  if (FTableUse + n > kTablePool) return 198;
  FTableUse += n;
  std::memset(h.count, 0, sizeof h.count);
  std::memset(h.fast, 0, sizeof h.fast);
  for (int i = 0; i < n; ++i) h.count[lengths[i]]++;
  h.count[0] = 0;
  int longest = kMaxBits;
  while (longest > 0 && h.count[longest] == 0) --longest;
  int left = 1;
  for (int len = 1; len <= kMaxBits; ++len) {
    left <<= 1;
    left -= h.count[len];
    if (left < 0) return -1;  // over-subscribed
  }
  // An incomplete code is only acceptable where zlib takes it too, so that
  // both decoders agree on every stream: the fixed distance code, and a
  // literal/length or distance code with no symbol or a single 1-bit one
  // (the other 1-bit code then simply never decodes).
  if (left > 0 && !(incomplete == 2 || (incomplete == 1 && longest <= 1))) return -1;
  uint16_t offs[kMaxBits + 2];
  offs[1] = 0;
  for (int len = 1; len <= kMaxBits; ++len) offs[len + 1] = uint16_t(offs[len] + h.count[len]);
  for (int i = 0; i < n; ++i)
    if (lengths[i]) h.symbol[offs[lengths[i]]++] = uint16_t(i);
  // Fast table from the canonical codes, bit-reversed as the stream sends them.
  int code = 0, index = 0;
  for (int len = 1; len <= kFastBits; ++len) {
    for (int k = 0; k < h.count[len]; ++k) {
      int rev = 0;
      for (int b = 0; b < len; ++b) rev |= ((code >> b) & 1) << (len - 1 - b);
      for (int fill = rev; fill < (1 << kFastBits); fill += 1 << len)
        h.fast[fill] = uint16_t((h.symbol[index] << 4) | len);
      ++code;
      ++index;
    }
    code <<= 1;
  }
  h.tableSize = n;
  return 0;
}

int TZAInflate::decode(const Huffman& h, int& symbol) {
  need(kFastBits);  // may fall short at the very end of the input
  if (FBitCount > 0) {
    uint16_t f = h.fast[FBitBuf & ((1u << kFastBits) - 1)];
    int len = f & 15;
    if (f && len <= FBitCount) {
      bits(len);
      symbol = f >> 4;
      return 0;
    }
  }
  return decodeCanonical(h, symbol, false);
}

int TZAInflate::storedBlock() {
  trace(u"literal block");
  FBitBuf >>= (FBitCount & 7);
  FBitCount -= FBitCount & 7;
  if (!need(32)) return kEndOfInput;
  uint32_t len = bits(16), nlen = bits(16);
  if (len != (~nlen & 0xFFFF)) return kBadStored;
  while (len > 0 && FBitCount >= 8) {
    if (!put(uint8_t(bits(8)))) return FOverLimit ? kOverLimit : kWriteFailed;
    --len;
  }
  while (len > 0) {
    if (FInPos >= FInLen && !fillInput()) return kEndOfInput;
    if (!put(FInput[FInPos++])) return FOverLimit ? kOverLimit : kWriteFailed;
    --len;
  }
  return 0;
}

// Canonical decoding, one bit at a time: of a code longer than the fast
// table, or of one near the end of the input. buffered says that the bits
// are already in the buffer (at least kMaxBits of them).
int TZAInflate::decodeCanonical(const Huffman& h, int& symbol, bool buffered) {
  int code = 0, first = 0, index = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    if (!buffered && !need(1)) return kEndOfInput;
    code |= int(bits(1));
    int count = h.count[len];
    if (code - count < first) {
      symbol = h.symbol[index + (code - first)];
      return 0;
    }
    index += count;
    first += count;
    first <<= 1;
    code <<= 1;
  }
  return kBadCode;
}

// Tops the bit buffer up to 56 bits or more with one 8-byte load; the
// caller has made sure that 8 input bytes are there.
void TZAInflate::refill() {
  uint64_t v;
  std::memcpy(&v, FInput + FInPos, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  FBitBuf |= v << FBitCount;
  FInPos += (63 - FBitCount) >> 3;
  FBitCount |= 56;
  FBitBuf &= (uint64_t(1) << FBitCount) - 1;
}

int TZAInflate::codes(const Huffman& lit, const Huffman& dist) {
  constexpr uint64_t kFastMask = (1u << kFastBits) - 1;
  for (;;) {
    // The fast path: one symbol with its extra bits and its distance needs
    // at most 48 bits, and the longest match fits in the window without a
    // flush. Everything else (the input's last bytes, a full window) takes
    // the careful path below, one symbol at a time.
    while (FInLen - FInPos >= 8 && FWindowPos <= kWindowSize - 258) {
      refill();
      int sym;
      uint16_t f = lit.fast[FBitBuf & kFastMask];
      if (f) {
        bits(f & 15);
        sym = f >> 4;
      } else if (decodeCanonical(lit, sym, true)) {
        return kBadCode;
      }
      if (sym < 256) {
        FWindow[FWindowPos++] = uint8_t(sym);
        continue;
      }
      if (sym == 256) return 0;
      sym -= 257;
      if (sym >= 29) return kBadCode;
      int len = kLengthBase[sym] + int(bits(kLengthExtra[sym]));
      int dsym;
      f = dist.fast[FBitBuf & kFastMask];
      if (f) {
        bits(f & 15);
        dsym = f >> 4;
      } else if (decodeCanonical(dist, dsym, true)) {
        return kBadCode;
      }
      if (dsym >= 30) return kBadCode;
      uint32_t d = kDistBase[dsym] + bits(kDistExtra[dsym]);
      if (d > FProduced + uint64_t(FWindowPos)) return kTooFar;
      int from = (FWindowPos - int(d)) & (kWindowSize - 1);
      uint8_t* out = FWindow + FWindowPos;
      if (from + len <= kWindowSize && int(d) >= len) {
        std::memmove(out, FWindow + from, size_t(len));
      } else if (from + len <= kWindowSize && d >= 8) {
        // Overlapping by at least 8: whole 8-byte steps repeat correctly.
        const uint8_t* in = FWindow + from;
        int i = 0;
        for (; i + 8 <= len; i += 8) std::memcpy(out + i, in + i, 8);
        for (; i < len; ++i) out[i] = in[i];
      } else {
        for (int i = 0; i < len; ++i) out[i] = FWindow[(from + i) & (kWindowSize - 1)];
      }
      FWindowPos += len;
      if (FWindowPos == kWindowSize && !flush()) return FOverLimit ? kOverLimit : kWriteFailed;
    }
    int sym;
    int r = decode(lit, sym);
    if (r) return r;
    if (sym < 256) {
      if (!put(uint8_t(sym))) return FOverLimit ? kOverLimit : kWriteFailed;
      continue;
    }
    if (sym == 256) return 0;
    sym -= 257;
    if (sym >= 29) return kBadCode;
    if (!need(kLengthExtra[sym])) return kEndOfInput;
    int len = kLengthBase[sym] + int(bits(kLengthExtra[sym]));
    int dsym;
    r = decode(dist, dsym);
    if (r) return r;
    if (dsym >= 30) return kBadCode;
    if (!need(kDistExtra[dsym])) return kEndOfInput;
    uint32_t d = kDistBase[dsym] + bits(kDistExtra[dsym]);
    // Never reach back before the first byte produced.
    if (d > FProduced + uint64_t(FWindowPos)) return kTooFar;
    int from = (FWindowPos - int(d)) & (kWindowSize - 1);
    while (len > 0) {
      // Runs that neither wrap nor fill the window are copied at once;
      // a distance shorter than the run repeats its bytes, one by one.
      int n = std::min({len, kWindowSize - FWindowPos, kWindowSize - from});
      if (int(d) >= n) {
        // The source may lie just ahead in the ring (from the last lap):
        // the two runs can then overlap, and the old bytes are the ones meant.
        std::memmove(FWindow + FWindowPos, FWindow + from, size_t(n));
      } else {
        for (int i = 0; i < n; ++i) FWindow[FWindowPos + i] = FWindow[from + i];
      }
      FWindowPos += n;
      from = (from + n) & (kWindowSize - 1);
      len -= n;
      if (FWindowPos == kWindowSize && !flush()) return FOverLimit ? kOverLimit : kWriteFailed;
    }
  }
}

int TZAInflate::dynamicTables(Huffman& lit, Huffman& dist) {
  if (!need(14)) return kEndOfInput;
  int nlen = int(bits(5)) + 257, ndist = int(bits(5)) + 1, ncode = int(bits(4)) + 4;
  if (nlen > 286 || ndist > 30) return kBadLitTree;
  uint8_t lengths[320] = {};
  for (int i = 0; i < ncode; ++i) {
    if (!need(3)) return kEndOfInput;
    lengths[kCodeLengthOrder[i]] = uint8_t(bits(3));
  }
  Huffman lencode;
  int r = buildTable(lencode, lengths, 19, 0);
  FTableUse -= 19;
  if (r == 198) return 198;
  if (r) return kBadLitTree;
  int index = 0;
  while (index < nlen + ndist) {
    int sym;
    r = decode(lencode, sym);
    if (r) return r;
    if (sym < 16) {
      lengths[index++] = uint8_t(sym);
      continue;
    }
    int prev = 0, repeat;
    if (sym == 16) {
      if (index == 0) return kBadLitTree;
      prev = lengths[index - 1];
      if (!need(2)) return kEndOfInput;
      repeat = 3 + int(bits(2));
    } else if (sym == 17) {
      if (!need(3)) return kEndOfInput;
      repeat = 3 + int(bits(3));
    } else {
      if (!need(7)) return kEndOfInput;
      repeat = 11 + int(bits(7));
    }
    if (index + repeat > nlen + ndist) return kBadLitTree;
    while (repeat--) lengths[index++] = uint8_t(prev);
  }
  if (lengths[256] == 0) return kBadLitTree;
  r = buildTable(lit, lengths, nlen, 1);
  if (r == 198) return 198;
  if (r) {
    trace(u"Fatal error: incomplete l-tree");
    return kBadLitTree;
  }
  r = buildTable(dist, lengths + nlen, ndist, 1);
  if (r == 198) return 198;
  if (r) {
    trace(u"Fatal error: incomplete d-tree");
    return kBadDistTree;
  }
  return 0;
}

int TZAInflate::inflateBlocks() {
  auto lit = std::make_unique<Huffman>();
  auto dist = std::make_unique<Huffman>();
  auto fixedLit = std::make_unique<Huffman>();
  auto fixedDist = std::make_unique<Huffman>();
  bool fixedMade = false;
  for (;;) {
    if (!need(3)) return kEndOfInput;
    int last = int(bits(1));
    int type = int(bits(2));
    int r;
    FTableUse = 0;
    if (type == 0) {
      r = storedBlock();
    } else if (type == 1) {
      if (!fixedMade) {
        uint8_t lengths[288 + 30];
        int i = 0;
        for (; i < 144; ++i) lengths[i] = 8;
        for (; i < 256; ++i) lengths[i] = 9;
        for (; i < 280; ++i) lengths[i] = 7;
        for (; i < 288; ++i) lengths[i] = 8;
        for (; i < 288 + 30; ++i) lengths[i] = 5;
        r = buildTable(*fixedLit, lengths, 288, 0);
        if (!r) r = buildTable(*fixedDist, lengths + 288, 30, 2);
        trace(u"Made fixed tables = " + IntToStr(r) + u"  Sizeof(Huft) = 8");
        if (r) return r == 198 ? 198 : kBadLitTree;
        fixedMade = true;
      }
      r = codes(*fixedLit, *fixedDist);
    } else if (type == 2) {
      r = dynamicTables(*lit, *dist);
      if (!r) r = codes(*lit, *dist);
    } else {
      return kBadBlockType;
    }
    if (r) {
      if (type != 0 && r != 198) trace(u"err returned from inflate_codes");
      return r;
    }
    if (last) return 0;
  }
}
