// An archive rewritten in place after the library checked it and before
// it extracts it: the change is reported and nothing is installed from
// the rewritten headers. The archive is rewritten from the component's
// own progress event that announces the total size, which comes between
// the check and the extraction.
#include <fcntl.h>
#include <unistd.h>

#include "tests/zip/zip_test_util.h"

using namespace ziptest;

namespace {

uint32_t get32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}
unsigned get16(const std::string& s, size_t at) { return unsigned(uint8_t(s[at])) | unsigned(uint8_t(s[at + 1])) << 8; }
void set32(std::string& s, size_t at, uint32_t v) {
  std::string b;
  put32(b, v);
  s.replace(at, 4, b);
}

// Where each central header starts, in directory order.
std::vector<size_t> centralHeaders(const std::string& zip) {
  size_t end = zip.rfind(std::string("PK\x05\x06", 4));
  std::vector<size_t> out;
  size_t at = get32(zip, end + 16);
  for (unsigned i = 0; i < get16(zip, end + 10); ++i) {
    out.push_back(at);
    at += 46 + get16(zip, at + 28) + get16(zip, at + 30) + get16(zip, at + 32);
  }
  return out;
}

// Extracts the archive at path, which rewrite turns into changed bytes
// (written over the file in place) once the total size is announced.
Outcome extractChanging(const std::string& path, const std::string& out,
                        const std::function<void(std::string&)>& rewrite) {
  bool done = false;
  return extract(path, out, TZAExtrOpts{ExtrDirNames, ExtrOverWrite}, [&](TZipArchiver& zip) {
    zip.OnProgress = [&, path](TObject*, TZAProgressDetails& d) {
      if (d.ProgressKind() != 5 || done) return;
      done = true;
      std::string bytes = readFile(path);
      rewrite(bytes);
      int fd = ::open(path.c_str(), O_WRONLY);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
      ::close(fd);
    };
  });
}

}  // namespace

TEST(ZipChangedArchive, HeadersChangedAfterTheCheckAreRefused) {
  Archive a;
  a.items.push_back({.name = "a.txt", .data = std::string(300, 'A'), .method = 0});
  a.items.push_back({.name = "b.txt", .data = std::string(200, 'B'), .method = 0});
  a.items.push_back({.name = "c.txt", .data = std::string(100, 'C'), .method = 0});
  // The directory lists c, b, a: a's header comes last, after the
  // directory bytes its enlarged data takes in.
  a.reversedCentral = true;
  const std::string zip = a.build();
  std::vector<size_t> central = centralHeaders(zip);
  ASSERT_EQ(central.size(), 3u);
  std::reverse(central.begin(), central.end());

  struct Case {
    const char* what;
    const char* changed;  // the entry whose headers change
    std::function<void(std::string&)> rewrite;
  };
  const std::vector<Case> cases = {
      {"b repointed at a's bytes, with a's sizes and CRC", "b.txt",
       [&](std::string& z) {
         z.replace(central[1] + 16, 12, z.substr(central[0] + 16, 12));
         z.replace(central[1] + 42, 4, z.substr(central[0] + 42, 4));
       }},
      {"a enlarged over b's local header, b, c and the directory", "a.txt",
       [&](std::string& z) {
         const uint32_t size = uint32_t(central[0] - (30 + 5));
         set32(z, central[0] + 16, crcOf(z.substr(30 + 5, size)));
         set32(z, central[0] + 20, size);
         set32(z, central[0] + 24, size);
       }},
      {"b's local header given an extra field", "b.txt",
       [&](std::string& z) {
         const size_t local = get32(z, central[1] + 42);
         z[local + 28] = 4;
       }},
  };
  for (const Case& c : cases) {
    Folder f;
    writeFile(f / "x.zip", zip);
    Outcome o = extractChanging(f / "x.zip", f / "out/", c.rewrite);
    EXPECT_NE(o.result, 0) << c.what;
    EXPECT_EQ(o.result, o.errCode) << c.what;
    EXPECT_NE(o.message.find("the archive changed while it was extracted"), std::string::npos)
        << c.what << ": " << o.message;
    // The changed entry is not installed, not even in part; what came out
    // before the change is whole, and no temporary file is left.
    for (auto& [path, data] : tree(f / "out/")) {
      EXPECT_NE(path, c.changed) << c.what;
      ASSERT_EQ(path.size(), 5u) << c.what << ": " << path;
      EXPECT_EQ(data, std::string(data.size(), char(toupper(path[0])))) << c.what << ": " << path;
    }
  }
}

TEST(ZipChangedArchive, AnUnchangedArchiveStillExtractsWhole) {
  // Rewritten with the very same bytes: nothing to report.
  Archive a;
  for (int i = 0; i < 50; ++i)
    a.items.push_back({.name = "d" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".txt",
                       .data = std::string(size_t(100 + i * 37), char('a' + i % 26)), .zip64 = i % 7 == 0});
  Folder f;
  writeFile(f / "x.zip", a.build());
  Outcome o = extractChanging(f / "x.zip", f / "out/", [](std::string&) {});
  EXPECT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(tree(f / "out/").size(), 55u);
}
