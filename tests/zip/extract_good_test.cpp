// Good archives come out byte for byte, whatever wrote them and however
// they were packed.
#include "tests/zip/zip_test_util.h"
#include "zip/zip_records.h"

using namespace ziptest;

namespace {

std::string pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    // Half text-like, half noise: gives every kind of deflate block.
    s[i] = (i / 4096) % 2 ? char(x >> 24) : char('a' + (x >> 27) % 7);
  }
  return s;
}

}  // namespace

TEST(ZipExtractGood, EveryCompressionFormZlibMakes) {
  Folder f;
  Archive a;
  const int levels[] = {0, 1, 6, 9};
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  int n = 0;
  for (int level : levels)
    for (int strategy : strategies) {
      Item it;
      it.name = "l" + std::to_string(level) + "s" + std::to_string(strategy) + ".bin";
      it.data = pattern(70000 + size_t(n) * 1000, unsigned(n));
      it.raw = deflateRaw(it.data, level, strategy);
      a.items.push_back(it);
      ++n;
    }
  Item stored;
  stored.name = "stored.bin";
  stored.data = pattern(100000, 99);
  stored.method = 0;
  a.items.push_back(stored);
  Item empty;
  empty.name = "empty.txt";
  a.items.push_back(empty);
  Item emptyStored = empty;
  emptyStored.name = "empty-stored.txt";
  emptyStored.method = 0;
  a.items.push_back(emptyStored);
  writeFile(f / "a.zip", a.build());
  Outcome o = extract(f / "a.zip", f / "out/");
  ASSERT_EQ(o.result, 0) << o.message;
  for (const Item& it : a.items) EXPECT_EQ(readFile(f / ("out/" + it.name)), it.data) << it.name;
  EXPECT_EQ(o.lastPerCent, 100);
}

TEST(ZipExtractGood, FoldersWithAndWithoutEntriesDeepNestingDescriptorsAndZip64) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "dir/", .data = "", .method = 0});
  a.items.push_back({.name = "dir/inside.txt", .data = "in dir"});
  a.items.push_back({.name = "implicit/folder/file.txt", .data = "no folder entry"});
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "d" + std::to_string(i) + "/";
  a.items.push_back({.name = deep + "leaf.txt", .data = "deep"});
  a.items.push_back({.name = "described.txt", .data = pattern(5000, 3), .descriptor = true});
  a.items.push_back({.name = "big64.txt", .data = pattern(20000, 4), .zip64 = true});
  a.zip64End = true;
  a.comment = std::string(65535 - 0, 'c');
  writeFile(f / "a.zip", a.build());
  Outcome o = extract(f / "a.zip", f / "out/");
  ASSERT_EQ(o.result, 0) << o.message;
  EXPECT_TRUE(fs::is_directory(f / "out/dir"));
  for (size_t i = 1; i < a.items.size(); ++i)
    EXPECT_EQ(readFile(f / ("out/" + a.items[i].name)), a.items[i].data) << a.items[i].name;
}

TEST(ZipExtractGood, JunkBeforeAndAfterAndEmptyComment) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "x.txt", .data = "x"});
  a.prefix = std::string(5000, 'J');  // a program stub or a download's leftovers
  a.suffix = std::string(30, '\0');
  writeFile(f / "a.zip", a.build());
  Outcome o = extract(f / "a.zip", f / "out/");
  EXPECT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(readFile(f / "out/x.txt"), "x");
}

TEST(ZipExtractGood, NamesByFlagHostAndUnicodeField) {
  Folder f;
  Archive a;
  // UTF-8 flag, DOS code page 866, a Unix tool's UTF-8 without the flag,
  // and a Unicode path field that matches its header name.
  a.items.push_back({.name = "\xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xB0\xD1\x80\xD1\x8C.txt", .data = "1", .flags = 0x800});
  a.items.push_back({.name = "\xE1\xAB\xAE\xA2\xA0\xE0\xEC-dos.txt", .data = "2", .madeBy = 0x0014, .extAttr = 0x20});
  a.items.push_back({.name = "\xD0\xB4\xD0\xB0-unix.txt", .data = "3"});
  std::string header = "upath?.txt", real = "\xD0\xBF\xD1\x83\xD1\x82\xD1\x8C.txt";
  std::string field;
  put16(field, 0x7075);
  put16(field, unsigned(real.size() + 5));
  field += char(1);
  put32(field, crcOf(header));
  field += real;
  a.items.push_back({.name = header, .data = "4", .madeBy = 0x0014, .extra = field});
  // The same field made for another name is ignored.
  std::string stale;
  put16(stale, 0x7075);
  put16(stale, unsigned(real.size() + 5));
  stale += char(1);
  put32(stale, crcOf("other"));
  stale += "evil.txt";
  a.items.push_back({.name = "kept.txt", .data = "5", .madeBy = 0x0014, .extra = stale});
  writeFile(f / "a.zip", a.build());
  Outcome o = extract(f / "a.zip", f / "out/");
  ASSERT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(readFile(f / "out/словарь.txt"), "1");
  EXPECT_EQ(readFile(f / "out/словарь-dos.txt"), "2");
  EXPECT_EQ(readFile(f / "out/да-unix.txt"), "3");
  EXPECT_EQ(readFile(f / "out/путь.txt"), "4");
  EXPECT_EQ(readFile(f / "out/kept.txt"), "5");
  EXPECT_FALSE(fs::exists(f / "out/evil.txt"));
}

TEST(ZipExtractGood, DebianZipArchivesIncludingSplitSets) {
  Folder f;
  std::string big = pattern(300000, 7);
  writeFile(f / "src/словарь.tamrix", big);
  writeFile(f / "src/sub/readme.txt", "hello\n");
  writeFile(f / "src/empty", "");
  ASSERT_EQ(run("cd '" + f.path() + "src' && zip -qr ../whole.zip . && zip -qr -s 64k ../split.zip ."), 0);
  ASSERT_TRUE(fs::exists(f / "split.z01"));
  fs::create_directories(f / "tmp");
  for (const char* name : {"whole.zip", "split.zip"}) {
    std::string out = f / (std::string("out-") + name + "/");
    Outcome o = extract(f / name, out, TZAExtrOpts{ExtrDirNames, ExtrOverWrite},
                        [&](TZipArchiver& zip) { zip.SetTempDir(UTF8ToUTF16(f / "tmp")); });
    ASSERT_EQ(o.result, 0) << name << ": " << o.message;
    EXPECT_EQ(readFile(out + "словарь.tamrix"), big) << name;
    EXPECT_EQ(readFile(out + "sub/readme.txt"), "hello\n") << name;
    EXPECT_TRUE(fs::exists(out + "empty")) << name;
  }
  // The joined copy made for the library is gone afterwards.
  EXPECT_TRUE(fs::is_empty(f / "tmp"));
  // The same set with numbered names (base001.zip, base002.zip, ...),
  // asked for by the name of the whole.
  int parts = 0;
  for (auto& e : fs::directory_iterator(f.path()))
    if (e.path().filename().string().rfind("split.z", 0) == 0) ++parts;
  ASSERT_GE(parts, 2);
  auto when = fs::last_write_time(f / "split.zip");
  for (int k = 1; k <= parts; ++k) {
    char num[16];
    std::snprintf(num, sizeof num, "%03d", k);
    std::string from = k < parts ? f / (std::string("split.z") + (k < 10 ? "0" : "") + std::to_string(k)) : f / "split.zip";
    std::string to = f / (std::string("numbered") + num + ".zip");
    fs::copy_file(from, to);
    fs::last_write_time(to, when);
  }
  Outcome n = extract(f / "numbered.zip", f / "out-numbered/", TZAExtrOpts{ExtrDirNames, ExtrOverWrite},
                      [&](TZipArchiver& zip) { zip.SetTempDir(UTF8ToUTF16(f / "tmp")); });
  ASSERT_EQ(n.result, 0) << n.message;
  EXPECT_EQ(readFile(f / "out-numbered/словарь.tamrix"), big);
}

TEST(ZipExtractGood, ReplacesAnExistingDictionaryAndTestModeWritesNothing) {
  Folder f;
  writeFile(f / "out/d.tamrix", "old");
  Archive a;
  a.items.push_back({.name = "d.tamrix", .data = "new"});
  writeFile(f / "a.zip", a.build());
  Outcome t = extract(f / "a.zip", f / "nowhere/", TZAExtrOpts{ExtrDirNames, ExtrTest});
  EXPECT_EQ(t.result, 0) << t.message;
  EXPECT_FALSE(fs::exists(f / "nowhere"));
  Outcome o = extract(f / "a.zip", f / "out/");
  EXPECT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(readFile(f / "out/d.tamrix"), "new");
  // Without ExtrOverWrite an existing file is kept.
  writeFile(f / "out/d.tamrix", "mine");
  Outcome keep = extract(f / "a.zip", f / "out/", TZAExtrOpts{ExtrDirNames});
  EXPECT_EQ(keep.result, 0) << keep.message;
  EXPECT_EQ(readFile(f / "out/d.tamrix"), "mine");
}

TEST(ZipExtractGood, EveryEncodingSettingInstallsTheNamesTheListerShows) {
  // A DOS tool's code page 866 name, a name flagged UTF-8, and a name whose
  // Unicode path field gives another name than its 866 header.
  const std::string dos = "\xE1\xAB\xAE\xA2\xA0\xE0\xEC.txt";  // словарь.txt in 866
  const std::string flagged = "\xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE.txt";  // слово.txt
  const std::string header = "\xAF\xE3\xE2\xEC.txt", real = "\xD0\xBF\xD0\xB5\xD1\x80\xD0\xB5\xD0\xB2\xD0\xBE\xD0\xB4.txt";
  std::string field;
  put16(field, 0x7075);
  put16(field, unsigned(real.size() + 5));
  field += char(1);
  put32(field, crcOf(header));
  field += real;
  Archive a;
  a.items.push_back({.name = dos, .data = "1", .madeBy = 0x0014, .extAttr = 0x20});
  a.items.push_back({.name = flagged, .data = "2", .flags = 0x800});
  a.items.push_back({.name = header, .data = "3", .madeBy = 0x0014, .extAttr = 0x20, .extra = field});
  Folder f;
  writeFile(f / "a.zip", a.build());
  for (TZAEncodingOpts setting : {zeoAuto, zeoNone, zeoOEM, zeoUTF8, zeoUPath}) {
    SCOPED_TRACE(int(setting));
    const std::string out = f / ("out" + std::to_string(int(setting)) + "/");
    std::vector<std::pair<std::string, std::string>> listed;
    Outcome o = extract(f / "a.zip", out, TZAExtrOpts{ExtrDirNames, ExtrOverWrite}, [&](TZipArchiver& zip) {
      zip.SetEncoding(setting);
      zip.SetZipFileName(UTF8ToUTF16(f / "a.zip"));
      for (int i = 0; i < zip.Count(); ++i)
        listed.push_back({UTF16ToUTF8(zip.DirEntry(i)->FileName()), std::to_string(i + 1)});
    });
    ASSERT_EQ(o.result, 0) << o.message;
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(tree(out), listed);
    if (setting == zeoOEM || setting == zeoAuto) {
      EXPECT_EQ(readFile(out + "словарь.txt"), "1");
    }
  }
}
