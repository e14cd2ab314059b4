// The component's own inflater against zlib's deflate output, and on
// damaged input.
#include <random>

#include "tests/zip/zip_test_util.h"
#include "zip/zip_inflate.h"

using namespace ziptest;

namespace {

int inflateTo(const std::string& packed, std::string& out, uint32_t& crc, int method = 8, uint64_t limit = 0) {
  TMemoryStream src, dst;
  if (!packed.empty()) src.WriteBuffer(packed.data(), int64_t(packed.size()));
  src.SetPosition(0);
  TZAInflate inf(&dst, &src);
  inf.MaxOutput = limit;
  int r = inf.Unpack(method, crc, packed.size());
  out.assign(static_cast<const char*>(dst.Memory()), size_t(dst.Size()));
  return r;
}

}  // namespace

TEST(ZipInflate, MatchesZlibForEveryBlockKind) {
  std::mt19937 rng(5);
  for (int round = 0; round < 24; ++round) {
    size_t n = size_t(rng() % 200000);
    std::string data(n, '\0');
    for (size_t i = 0; i < n; ++i) data[i] = char(round % 3 == 0 ? rng() : 'a' + rng() % (1 + round % 5));
    int level = round % 10;
    int strategy = (round / 10) == 1 ? Z_FIXED : (round / 10) == 2 ? Z_HUFFMAN_ONLY : Z_DEFAULT_STRATEGY;
    std::string packed = deflateRaw(data, level, strategy);
    uint32_t crc = crcOf(data);
    std::string out;
    ASSERT_EQ(inflateTo(packed, out, crc), 0) << round;
    EXPECT_TRUE(out == data) << round;
  }
}

TEST(ZipInflate, RunsRepeatingShortPatterns) {
  // Copies whose distance is shorter than their length repeat the bytes
  // they write: periods of 1 to 20 bytes, runs up to the longest match,
  // across the window's end.
  std::mt19937 rng(23);
  std::string data;
  while (data.size() < 300000) {
    size_t period = 1 + rng() % 20, run = 3 + rng() % 400;
    std::string unit(period, '\0');
    for (auto& c : unit) c = char('a' + rng() % 26);
    for (size_t i = 0; i < run; ++i) data += unit[i % period];
    data += char(rng());
  }
  for (int level : {1, 6, 9}) {
    std::string packed = deflateRaw(data, level);
    uint32_t crc = crcOf(data);
    std::string out;
    ASSERT_EQ(inflateTo(packed, out, crc), 0) << level;
    EXPECT_TRUE(out == data) << level;
  }
}

TEST(ZipInflate, ReferencesReachingAcrossTheWholeWindow) {
  // Blocks repeated at distances close to the window size: the copies
  // read from the previous lap of the window, overlapping where they write.
  std::mt19937 rng(17);
  for (size_t block : {size_t(32768), size_t(32767), size_t(32700), size_t(30001)}) {
    std::string x(block, '\0');
    for (auto& c : x) c = char(rng());
    std::string data = x + x + x + x.substr(0, 5000);
    std::string packed = deflateRaw(data, 9);
    uint32_t crc = crcOf(data);
    std::string out;
    ASSERT_EQ(inflateTo(packed, out, crc), 0) << block;
    EXPECT_TRUE(out == data) << block;
  }
}

TEST(ZipInflate, StoredWindowCrcAndMethods) {
  std::string data(32768, 'w');
  uint32_t crc = crcOf(data);
  std::string out;
  int progress = 0;
  {
    TMemoryStream src, dst;
    src.WriteBuffer(data.data(), 32768);
    src.SetPosition(0);
    TZAInflate inf(&dst, &src);
    inf.OnProgress = [&](int n) { progress += n; };
    EXPECT_EQ(inf.Unpack(0, crc, 32768), 0);
    EXPECT_EQ(dst.Size(), 32768);
  }
  EXPECT_EQ(progress, 32768);
  uint32_t wrong = 1;
  EXPECT_EQ(inflateTo(deflateRaw("hello"), out, wrong), 150);
  EXPECT_EQ(wrong, crcOf("hello"));
  uint32_t any = 0;
  EXPECT_EQ(inflateTo("xxxx", out, any, 12), 128);
  // With a header: {method, crc} then the data.
  std::string withHeader;
  put16(withHeader, 8);
  put32(withHeader, crcOf("abcabcabc"));
  withHeader += deflateRaw("abcabcabc");
  TMemoryStream src, dst;
  src.WriteBuffer(withHeader.data(), int64_t(withHeader.size()));
  src.SetPosition(0);
  TZAInflate inf(&dst, &src);
  EXPECT_EQ(inf.UnpackWithHeader(withHeader.size()), 0);
  TZAInflate shortHeader(&dst, &src);
  EXPECT_EQ(shortHeader.UnpackWithHeader(4), 176);
}

TEST(ZipInflate, DamagedInputFailsWithoutReadingPastIt) {
  std::string data;
  for (int i = 0; i < 5000; ++i) data += "line " + std::to_string(i) + "\n";
  std::string packed = deflateRaw(data, 9);
  uint32_t crc = crcOf(data);
  std::string out;
  // Cut short anywhere: an error, never a hang or a crash.
  for (size_t cut : {size_t(0), size_t(1), size_t(3), packed.size() / 3, packed.size() - 1}) {
    uint32_t c = crc;
    EXPECT_NE(inflateTo(packed.substr(0, cut), out, c), 0) << cut;
  }
  // Block type 3 does not exist.
  uint32_t c = 0;
  EXPECT_EQ(inflateTo(std::string(1, char(0x07)), out, c), 2);
  // A distance reaching back before the first byte: fixed block, literal
  // 'a', then length 3 at distance 2.
  std::string far = {char(0x4B), char(0x04), char(0x02), char(0x00)};
  EXPECT_NE(inflateTo(far, out, c), 0);
  // Random bytes never crash it.
  std::mt19937 rng(11);
  for (int i = 0; i < 300; ++i) {
    std::string junk(rng() % 400, '\0');
    for (auto& ch : junk) ch = char(rng());
    inflateTo(junk, out, c);
  }
  // Output beyond the limit is refused.
  c = crc;
  EXPECT_EQ(inflateTo(packed, out, c, 8, 1000), 8);
  EXPECT_LE(out.size(), 1000u);
}

namespace {

// Writes deflate bits: fields least significant bit first, Huffman codes
// most significant bit first, as the format sends them.
class BitWriter {
public:
  void field(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) bit((value >> i) & 1);
  }
  void code(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) bit((value >> i) & 1);
  }
  std::string bytes() const { return FBytes; }

private:
  void bit(uint32_t b) {
    if (FUsed == 0) FBytes += '\0';
    FBytes.back() = char(uint8_t(FBytes.back()) | (b << FUsed));
    FUsed = (FUsed + 1) & 7;
  }
  std::string FBytes;
  int FUsed = 0;
};

// A dynamic block header giving 257 literal/length lengths and the
// distance lengths as they stand; the code-length code gives each of
// the lengths 0-15 a 4-bit code, so the lengths are spelled out one by one.
void dynamicHeader(BitWriter& w, bool last, const std::vector<uint8_t>& lit, const std::vector<uint8_t>& dist) {
  w.field(last, 1);
  w.field(2, 2);
  w.field(uint32_t(lit.size() - 257), 5);
  w.field(uint32_t(dist.size() - 1), 5);
  w.field(19 - 4, 4);
  const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (int sym : order) w.field(sym < 16 ? 4 : 0, 3);
  for (uint8_t len : lit) w.code(len, 4);
  for (uint8_t len : dist) w.code(len, 4);
}

// zlib's verdict on raw deflate data: true and its output when it reaches
// the end of the stream.
bool zlibInflates(const std::string& packed, std::string& out) {
  z_stream zs{};
  inflateInit2(&zs, -15);
  out.assign(1 << 16, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  zs.avail_in = uInt(packed.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = uInt(out.size());
  int r = inflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return r == Z_STREAM_END;
}

}  // namespace

TEST(ZipInflate, IncompleteCodesAsZlibTakesThem) {
  // A code of one symbol is accepted only with a 1-bit code; other
  // incomplete literal/length or distance codes are refused, and a
  // distance code without any symbol is fine until a distance is used.
  struct Case {
    const char* what;
    std::vector<uint8_t> lit, dist;
    bool accepted;
  };
  std::vector<uint8_t> eobAlone(257, 0), eobAlone2(257, 0), litAndEob(257, 0);
  eobAlone[256] = 1;
  eobAlone2[256] = 2;
  litAndEob['a'] = 1;
  litAndEob[256] = 1;
  std::vector<Case> cases = {
      {"end-of-block alone, 1 bit", eobAlone, {0}, true},
      {"end-of-block alone, 2 bits", eobAlone2, {0}, false},
      {"one distance code of 1 bit", litAndEob, {1}, true},
      {"one distance code of 4 bits", litAndEob, {4}, false},
      {"one distance code of 8 bits", litAndEob, {0, 0, 8}, false},
      {"one distance code of 9 bits", litAndEob, {0, 0, 0, 0, 0, 9}, false},
      {"no distance code at all", litAndEob, {0, 0}, true},
  };
  for (const Case& c : cases) {
    BitWriter w;
    dynamicHeader(w, false, c.lit, c.dist);
    if (c.lit['a']) w.code(0, 1);   // 'a'
    w.code(c.lit['a'] ? 1 : 0, 1);  // end of block
    // A fixed block with "hi" after it, so that the output shows it went on.
    w.field(1, 1);
    w.field(1, 2);
    w.code(0x30 + 'h', 8);
    w.code(0x30 + 'i', 8);
    w.code(0, 7);
    std::string packed = w.bytes();
    std::string expected = c.accepted ? std::string(c.lit['a'] ? "ahi" : "hi") : "";
    std::string zlibOut, out;
    EXPECT_EQ(zlibInflates(packed, zlibOut), c.accepted) << c.what;
    EXPECT_EQ(zlibOut.substr(0, c.accepted ? std::string::npos : 0), expected) << c.what;
    uint32_t crc = crcOf(expected);
    int r = inflateTo(packed, out, crc);
    if (c.accepted) {
      EXPECT_EQ(r, 0) << c.what;
      EXPECT_EQ(out, expected) << c.what;
    } else {
      EXPECT_NE(r, 0) << c.what;
      EXPECT_NE(r, 150) << c.what;
    }
  }
}
