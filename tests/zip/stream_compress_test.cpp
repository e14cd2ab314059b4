// Packing and unpacking streams through the component and its library:
// real data of every size class, checked against zlib itself, and the
// ways a caller or the data can go wrong.
#include <random>

#include "tests/zip/zip_test_util.h"
#include "zip/zip_operations.h"

using namespace ziptest;

namespace {

std::string streamBytes(TMemoryStream& s) {
  return std::string(static_cast<const char*>(s.Memory()), size_t(s.Size()));
}

void fill(TMemoryStream& s, const std::string& bytes) {
  s.Clear();
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
}

std::string inflateRaw(const std::string& packed) {
  z_stream zs{};
  inflateInit2(&zs, -15);
  std::string out;
  std::vector<char> buf(1 << 16);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  zs.avail_in = uInt(packed.size());
  int r;
  do {
    zs.next_out = reinterpret_cast<Bytef*>(buf.data());
    zs.avail_out = uInt(buf.size());
    r = inflate(&zs, Z_NO_FLUSH);
    out.append(buf.data(), buf.size() - zs.avail_out);
  } while (r == Z_OK);
  inflateEnd(&zs);
  return r == Z_STREAM_END ? out : "<corrupt>";
}

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

// Dictionary-like text: compresses well but not trivially.
std::string text(size_t n) {
  std::string s;
  std::mt19937 rng(7);
  const char* words[] = {"словарь ", "article ", "headword\n", "<b>", "</b> ", "translation; ", "пример "};
  while (s.size() < n) s += words[rng() % 7];
  s.resize(n);
  return s;
}

class ZipStream : public ::testing::Test {
protected:
  void SetUp() override {
    zip.SetUnattended(true);
    zip.SetActive(true);
    zip.SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR) + u"/");
  }
  struct Result {
    int err = -1;
    uint32_t crc = 0;
    int method = 0;
    std::string out;
  };
  Result pack(const std::string& data, int method = 2, int64_t size = -1) {
    fill(src, data);
    dest.Clear();
    Result r;
    r.method = method;
    r.err = zip.StreamCompress(&dest, &src, r.crc, r.method, size);
    r.out = streamBytes(dest);
    return r;
  }
  Result unpack(const std::string& packed, int method, uint32_t crc, int64_t size) {
    fill(src, packed);
    dest.Clear();
    Result r;
    r.method = method;
    r.crc = crc;
    r.err = zip.StreamCompress(&dest, &src, r.crc, r.method, size, true);
    r.out = streamBytes(dest);
    return r;
  }
  TZipArchiver zip{nullptr};
  TMemoryStream src, dest;
};

}  // namespace

TEST_F(ZipStream, PackedDataIsRawDeflateThatUnpacksToTheSameBytes) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"small", "hello, dictionary"},
      {"large text", text(9 << 20)},
      {"incompressible", randomBytes(3 << 20, 1)},
  };
  for (const auto& [what, data] : cases) {
    SCOPED_TRACE(what);
    Result p = pack(data);
    ASSERT_EQ(p.err, 0) << UTF16ToUTF8(zip.ErrMessage());
    EXPECT_EQ(p.crc, crcOf(data));
    if (data.empty()) {
      // Nothing to pack is stored: no bytes at all.
      EXPECT_EQ(p.method, 0);
      EXPECT_EQ(p.out, "");
    } else {
      EXPECT_EQ(p.method, 2);
      EXPECT_EQ(inflateRaw(p.out), data);
    }
    Result u = unpack(p.out, p.method, p.crc, int64_t(data.size()));
    ASSERT_EQ(u.err, 0) << UTF16ToUTF8(zip.ErrMessage());
    EXPECT_EQ(u.crc, crcOf(data));
    EXPECT_TRUE(u.out == data);
    // zlib's own output unpacks the same way.
    Result z = unpack(deflateRaw(data, 9), 2, crcOf(data), int64_t(data.size()));
    EXPECT_EQ(z.err, 0);
    EXPECT_TRUE(z.out == data);
  }
  EXPECT_LT(pack(text(1 << 20)).out.size(), size_t(1 << 18));
}

TEST_F(ZipStream, StoringAndTheCompressionLevel) {
  const std::string data = text(200000);
  Result stored = pack(data, 0);
  ASSERT_EQ(stored.err, 0);
  EXPECT_EQ(stored.method, 0);
  EXPECT_EQ(stored.crc, crcOf(data));
  EXPECT_TRUE(stored.out == data);
  Result back = unpack(data, 0, crcOf(data), -1);
  EXPECT_EQ(back.err, 0);
  EXPECT_TRUE(back.out == data);
  // Level 0 stores whatever the method asks; the levels are really used.
  zip.SetAddCompLevel(0);
  Result level0 = pack(data, 2);
  EXPECT_EQ(level0.method, 0);
  EXPECT_TRUE(level0.out == data);
  zip.SetAddCompLevel(1);
  Result fast = pack(data, 2);
  zip.SetAddCompLevel(9);
  Result best = pack(data, 2);
  EXPECT_EQ(fast.method, 2);
  EXPECT_LT(best.out.size(), fast.out.size());
  EXPECT_EQ(inflateRaw(fast.out), data);
  EXPECT_EQ(inflateRaw(best.out), data);
}

TEST_F(ZipStream, TheSizeLimitsWhatIsReadAndTheSourceIsLeftBehindTheData) {
  const std::string data = text(100000);
  // A size takes that much of the source and no more.
  Result part = pack(data, 2, 1000);
  ASSERT_EQ(part.err, 0);
  EXPECT_EQ(src.Position(), 1000);
  EXPECT_EQ(part.crc, crcOf(data.substr(0, 1000)));
  EXPECT_EQ(inflateRaw(part.out), data.substr(0, 1000));
  // More than the source holds is an error, not a short success.
  Result tooMuch = pack(data, 2, 200000);
  EXPECT_NE(tooMuch.err, 0);
  EXPECT_NE(pack(data, 0, 200000).err, 0);
  // Packed data followed by more: unpacking stops at the end of the
  // compressed data and leaves the source there.
  std::string packed = deflateRaw(data);
  Result u = unpack(packed + "NEXT ENTRY", 2, crcOf(data), int64_t(data.size()));
  ASSERT_EQ(u.err, 0);
  EXPECT_TRUE(u.out == data);
  EXPECT_EQ(src.Position(), int64_t(packed.size()));
}

TEST_F(ZipStream, DamagedOrLyingDataFailsCleanly) {
  const std::string data = text(300000);
  const std::string packed = deflateRaw(data);
  const uint32_t crc = crcOf(data);
  auto failsWith = [&](const Result& r, const char* words) {
    EXPECT_NE(r.err, 0);
    EXPECT_NE(UTF16ToUTF8(zip.ErrMessage()).find(words), std::string::npos) << UTF16ToUTF8(zip.ErrMessage());
  };
  failsWith(unpack(packed, 2, crc ^ 1, int64_t(data.size())), "CRC");
  failsWith(unpack(data, 0, crc ^ 1, -1), "CRC");
  failsWith(unpack(packed.substr(0, packed.size() / 2), 2, crc, int64_t(data.size())), "ends early");
  std::string corrupt = packed;
  corrupt[0] = char(0xFF);  // a reserved block type
  failsWith(unpack(corrupt, 2, crc, int64_t(data.size())), "corrupt");
  failsWith(unpack(packed, 2, crc, int64_t(data.size()) + 1), "shorter");
  // A bomb: 1 KB declared, 50 MB inside; the output stops at the claim.
  std::string zeros(50 << 20, '\0');
  Result bomb = unpack(deflateRaw(zeros, 9), 2, crcOf(zeros), 1024);
  failsWith(bomb, "beyond");
  EXPECT_LE(bomb.out.size(), 1024u);
  // Unless the caller's CRC event keeps the data, a mismatch keeps nothing
  // of the success.
  bool asked = false;
  zip.OnCRC32Error = [&](TObject*, const String&, uint32_t found, uint32_t expected, bool& keep) {
    asked = true;
    EXPECT_EQ(found, crc);
    EXPECT_EQ(expected, crc ^ 1);
    keep = true;
  };
  Result kept = unpack(packed, 2, crc ^ 1, int64_t(data.size()));
  EXPECT_TRUE(asked);
  EXPECT_EQ(kept.err, 0);
  EXPECT_EQ(kept.crc, crc);
}

TEST_F(ZipStream, RefusedRequests) {
  uint32_t crc = 0;
  int method = 2;
  EXPECT_EQ(zip.StreamCompress(&dest, nullptr, crc, method, -1), 169);
  EXPECT_EQ(zip.StreamCompress(nullptr, &src, crc, method, -1), 172);
  // Encryption: without a password when unattended, and with one (there
  // is no cipher for new data).
  fill(src, "secret");
  for (int m : {1, 3}) {
    method = m;
    EXPECT_EQ(zip.StreamCompress(&dest, &src, crc, method, -1), 110);
  }
  zip.SetPassword(u"pw");
  method = 3;
  EXPECT_EQ(zip.StreamCompress(&dest, &src, crc, method, -1), 122);
  EXPECT_EQ(dest.Size(), 0);
  // No library where the component looks.
  zip.SetDLLDirectory(u"/nonexistent/");
  method = 2;
  int r = zip.StreamCompress(&dest, &src, crc, method, -1);
  EXPECT_TRUE(r == 18 || r == 19) << r;
  // Inactive: nothing happens.
  zip.SetActive(false);
  EXPECT_EQ(zip.StreamCompress(&dest, &src, crc, method, -1), 197);
  // Only the library operation packs; the component's own file operations
  // answer "Internal error".
  zip.SetActive(true);
  TZAModOpr own(&zip);
  EXPECT_EQ(ZAMsgId(own.StreamCompress(&dest, &src, crc, method, -1, false)), 140);
}

TEST_F(ZipStream, CancellingStopsALongPack) {
  int progress = 0;
  zip.OnProgress = [&](TObject*, TZAProgressDetails&) {
    if (++progress == 3) zip.SetCancel(true);
  };
  Result r = pack(randomBytes(8 << 20, 3));
  EXPECT_EQ(r.err, 2);
  EXPECT_LT(src.Position(), 8 << 20);
}
