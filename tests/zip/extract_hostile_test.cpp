// Hostile archives: nothing is written outside the destination, an
// existing dictionary survives, the result is an error with a message.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/zip/zip_test_util.h"

using namespace ziptest;

namespace {

// Runs one hostile archive against a destination that already holds a
// dictionary, and checks the common promises.
struct Hostile {
  Folder f;
  std::string out() { return f / "dest/dicts/"; }
  Outcome run(const std::string& bytes, TZAExtrOpts opts = TZAExtrOpts{ExtrDirNames, ExtrOverWrite}) {
    writeFile(f / "dest/dicts/existing.tamrix", "precious");
    writeFile(f / "dest/outside.txt", "untouched");
    writeFile(f / "evil.zip", bytes);
    auto before = tree(f / "dest/");
    Outcome o = extract(f / "evil.zip", out(), opts);
    // Nothing new or changed outside dest/dicts, the dictionary intact,
    // no temporary file left behind.
    auto after = tree(f / "dest/");
    for (auto& [path, data] : after) {
      if (path.rfind("dicts/", 0) != 0 && path != "dicts/") {
        bool known = false;
        for (auto& [p0, d0] : before) known = known || (p0 == path && d0 == data);
        EXPECT_TRUE(known) << "written outside: " << path;
      }
      EXPECT_EQ(path.find(".tamrix-"), std::string::npos) << "left behind: " << path;
    }
    EXPECT_EQ(readFile(f / "dest/dicts/existing.tamrix"), "precious");
    EXPECT_NE(o.result, 0);
    EXPECT_EQ(o.result, o.errCode);
    EXPECT_FALSE(o.message.empty());
    return o;
  }
};

}  // namespace

TEST(ZipExtractHostile, TraversalInEverySpelling) {
  const char* names[] = {"../escape.txt", "..\\escape.txt", "a/../../escape.txt", "a\\..\\..\\escape.txt",
                         "/tmp/abs-escape.txt", "\\\\server\\share\\x.txt", "C:\\escape.txt", "C:escape.txt",
                         "./../escape.txt", "a/b/../../../escape.txt", "..", "a/..//../escape.txt"};
  for (const char* name : names) {
    Hostile h;
    Archive a;
    a.items.push_back({.name = "good.txt", .data = "g"});
    a.items.push_back({.name = name, .data = "bad"});
    Outcome o = h.run(a.build());
    EXPECT_EQ(o.errCode, 257) << name << ": " << o.message;
    // The good entry still comes out; the bad one nowhere.
    EXPECT_EQ(readFile(h.out() + "good.txt"), "g") << name;
    EXPECT_FALSE(fs::exists(h.f / "dest/escape.txt")) << name;
    EXPECT_FALSE(fs::exists(h.f / "escape.txt")) << name;
  }
  EXPECT_FALSE(fs::exists("/tmp/abs-escape.txt"));
}

TEST(ZipExtractHostile, ZeroBytesControlCharactersAndBadUtf8InNames) {
  std::string names[] = {std::string("zero\0.txt", 9), "bell\x07.txt", "new\nline.txt", "\xC3\x28.txt", ""};
  for (const std::string& name : names) {
    Hostile h;
    Archive a;
    a.items.push_back({.name = name, .data = "bad", .flags = 0x800});
    Outcome o = h.run(a.build());
    EXPECT_EQ(o.errCode, 257) << o.message;
  }
}

TEST(ZipExtractHostile, SymbolicLinksAreNeverCreatedNorFollowed) {
  {
    // A link entry pointing outside, then a file written "through" it.
    Hostile h;
    Archive a;
    a.items.push_back({.name = "link", .data = "../../", .method = 0, .extAttr = 0120777u << 16});
    a.items.push_back({.name = "link/outside.txt", .data = "through the link"});
    Outcome o = h.run(a.build());
    EXPECT_FALSE(fs::is_symlink(h.out() + "link"));
    EXPECT_EQ(readFile(h.f / "dest/outside.txt"), "untouched");
  }
  {
    // A link already in the destination (planted or left by a user).
    Hostile h;
    fs::create_directories(h.out());
    fs::create_directory_symlink(h.f / "dest", h.out() + "sub");
    fs::create_symlink(h.f / "dest/outside.txt", h.out() + "file.txt");
    Archive a;
    a.items.push_back({.name = "sub/outside.txt", .data = "via folder link"});
    a.items.push_back({.name = "sub/new.txt", .data = "via folder link"});
    a.items.push_back({.name = "file.txt", .data = "via file link"});
    Outcome o = h.run(a.build());
    EXPECT_EQ(readFile(h.f / "dest/outside.txt"), "untouched");
    EXPECT_FALSE(fs::exists(h.f / "dest/new.txt"));
    // The file link itself was replaced by a plain file, not written through.
    EXPECT_FALSE(fs::is_symlink(h.out() + "file.txt"));
    EXPECT_EQ(readFile(h.out() + "file.txt"), "via file link");
  }
}

TEST(ZipExtractHostile, BombsStopAtTheDeclaredSize) {
  Hostile h;
  Archive a;
  // Claims 1 KB, inflates to 64 MB.
  Item bomb;
  bomb.name = "existing.tamrix";
  bomb.data = std::string(64 << 20, 'A');
  bomb.level = 9;
  bomb.lieUSize = 1024;
  a.items.push_back(bomb);
  Outcome o = h.run(a.build());
  EXPECT_EQ(o.errCode, 236) << o.message;
  EXPECT_NE(o.message.find("declared size"), std::string::npos) << o.message;
}

TEST(ZipExtractHostile, OverlappingEntriesAreRefused) {
  Hostile h;
  // Entry "b" lies inside the stored data of entry "a": one block of data
  // read under two names.
  Archive inner;
  inner.items.push_back({.name = "b.txt", .data = std::string(1000, 'b'), .method = 0});
  std::string local = inner.build();
  local.resize(30 + 5 + 1000);  // only b's local header and data
  std::string bytes;
  put32(bytes, 0x04034B50);
  put16(bytes, 20);
  put16(bytes, 0);
  put16(bytes, 0);
  put32(bytes, 0x5A8E6000);
  put32(bytes, crcOf(local));
  put32(bytes, uint32_t(local.size()));
  put32(bytes, uint32_t(local.size()));
  put16(bytes, 5);
  put16(bytes, 0);
  bytes += "a.txt" + local;
  std::string central;
  auto header = [&](const std::string& name, uint32_t crc, uint32_t size, uint32_t offset) {
    put32(central, 0x02014B50);
    put16(central, 0x031E);
    put16(central, 20);
    put16(central, 0);
    put16(central, 0);
    put32(central, 0x5A8E6000);
    put32(central, crc);
    put32(central, size);
    put32(central, size);
    put16(central, unsigned(name.size()));
    put16(central, 0);
    put16(central, 0);
    put16(central, 0);
    put16(central, 0);
    put32(central, 0);
    put32(central, offset);
    central += name;
  };
  header("a.txt", crcOf(local), uint32_t(local.size()), 0);
  header("b.txt", crcOf(std::string(1000, 'b')), 1000, 35);
  uint32_t cd = uint32_t(bytes.size());
  bytes += central;
  put32(bytes, 0x06054B50);
  put16(bytes, 0);
  put16(bytes, 0);
  put16(bytes, 2);
  put16(bytes, 2);
  put32(bytes, uint32_t(central.size()));
  put32(bytes, cd);
  put16(bytes, 0);
  Outcome o = h.run(bytes);
  EXPECT_EQ(o.errCode, 240) << o.message;
  EXPECT_FALSE(fs::exists(h.out() + "a.txt"));
  EXPECT_FALSE(fs::exists(h.out() + "b.txt"));
}

TEST(ZipExtractHostile, LyingSizesCountsAndTruncation) {
  Archive base;
  base.items.push_back({.name = "existing.tamrix", .data = std::string(50000, 'z') + "tail"});
  base.items.push_back({.name = "second.txt", .data = "2"});
  {
    Hostile h;  // compressed size beyond the archive
    Archive a = base;
    a.items[0].lieCSize = 1 << 30;
    h.run(a.build());
  }
  {
    Hostile h;  // uncompressed size larger than what inflates
    Archive a = base;
    a.items[0].lieUSize = 60000;
    h.run(a.build());
  }
  {
    Hostile h;  // more entries than the directory can hold
    Archive a = base;
    a.lieCount = 60000;
    h.run(a.build());
  }
  std::string whole = base.build();
  for (size_t cut : {size_t(10), size_t(40), whole.size() / 2, whole.size() - 30, whole.size() - 1}) {
    Hostile h;
    Outcome o = h.run(whole.substr(0, cut));
    EXPECT_FALSE(fs::exists(h.out() + "second.txt")) << cut;
  }
}

TEST(ZipExtractHostile, BadCrcKeepsTheOldFileAndLeavesNoPartialFile) {
  Hostile h;
  Archive a;
  a.items.push_back({.name = "existing.tamrix", .data = std::string(300000, 'n'), .lieCrc = 0x12345678});
  Outcome o = h.run(a.build());
  EXPECT_NE(o.message.find("CRC"), std::string::npos) << o.message;
}

TEST(ZipExtractHostile, DuplicateNamesNeverReplaceTheFirst) {
  Hostile h;
  Archive a;
  a.items.push_back({.name = "dict.tamrix", .data = "first"});
  a.items.push_back({.name = "dict.tamrix", .data = "second"});
  Outcome o = h.run(a.build());
  EXPECT_EQ(readFile(h.out() + "dict.tamrix"), "first");
}

TEST(ZipExtractHostile, LocalAndCentralNamesDiffer) {
  Hostile h;
  Archive a;
  a.items.push_back({.name = "innocent.txt", .data = "x", .localName = "../evil.txt"});
  Outcome o = h.run(a.build());
  EXPECT_EQ(o.errCode, 240) << o.message;
}

TEST(ZipExtractHostile, EncryptedWithoutPasswordAndUnknownMethods) {
  {
    Hostile h;
    Archive a;
    a.items.push_back({.name = "existing.tamrix", .data = "secret", .method = 0, .flags = 1, .raw = std::string(18, 'e')});
    Outcome o = h.run(a.build());
    EXPECT_EQ(o.errCode, 238) << o.message;
  }
  {
    Hostile h;
    Archive a;
    a.items.push_back({.name = "existing.tamrix", .data = "bz", .method = 12, .raw = "BZh9"});
    Outcome o = h.run(a.build());
    EXPECT_NE(o.message.find("method 12"), std::string::npos) << o.message;
  }
}

TEST(ZipExtractHostile, NotAnArchiveMissingArchiveAndMissingLibrary) {
  Folder f;
  writeFile(f / "junk.zip", std::string(1000, 'j'));
  Outcome junk = extract(f / "junk.zip", f.path());
  EXPECT_EQ(junk.result, 127);
  Outcome missing = extract(f / "missing.zip", f.path());
  EXPECT_EQ(missing.result, 123);
  Archive a;
  a.items.push_back({.name = "x.txt", .data = "x"});
  writeFile(f / "a.zip", a.build());
  Outcome nolib = extract(f / "a.zip", f / "out/", TZAExtrOpts{ExtrDirNames},
                          [&](TZipArchiver& zip) { zip.SetDLLDirectory(UTF8ToUTF16(f / "no-such-folder/")); });
  EXPECT_EQ(nolib.result, 19) << nolib.message;
  EXPECT_FALSE(fs::exists(f / "out/x.txt"));
}

TEST(ZipExtractHostile, SizesBeyondTheFreeSpaceAndNamesBeyondTheFileSystem) {
  {
    // Declares an exabyte: refused before anything is written.
    Hostile h;
    Archive a;
    a.items.push_back({.name = "small.txt", .data = "s"});
    a.items.push_back({.name = "huge.bin", .data = "h", .zip64 = true, .lieUSize = int64_t(1) << 60});
    a.zip64End = true;
    Outcome o = h.run(a.build());
    EXPECT_EQ(o.errCode, 254) << o.message;
    EXPECT_NE(o.message.find("free space"), std::string::npos) << o.message;
    EXPECT_FALSE(fs::exists(h.out() + "small.txt"));
  }
  {
    Hostile h;
    Archive a;
    a.items.push_back({.name = std::string(300, 'n') + ".txt", .data = "long"});
    Outcome o = h.run(a.build());
    EXPECT_EQ(o.errCode, 257) << o.message;
  }
}

TEST(ZipExtractHostile, DamagedCopiesOfAGoodArchiveNeverCrashOrEscape) {
  Archive a;
  a.items.push_back({.name = "d/one.txt", .data = std::string(3000, '1')});
  a.items.push_back({.name = "two.txt", .data = "two", .method = 0});
  a.items.push_back({.name = "three.txt", .data = std::string(500, '3'), .descriptor = true});
  a.comment = "c";
  const std::string good = a.build();
  Folder f;
  uint32_t x = 12345;
  for (int round = 0; round < 150; ++round) {
    std::string bad = good;
    int flips = 1 + round % 4;
    for (int i = 0; i < flips; ++i) {
      x = x * 1103515245u + 12345u;
      bad[(x >> 8) % bad.size()] = char(x >> 24);
    }
    writeFile(f / "bad.zip", bad);
    std::string out = f / ("box/in/out" + std::to_string(round) + "/");
    Outcome o = extract(f / "bad.zip", out);
    EXPECT_EQ(o.result, o.errCode);
    if (o.result != 0) {
      EXPECT_FALSE(o.message.empty()) << round;
    }
  }
  // Everything written stayed in the destinations.
  for (auto& [path, data] : tree(f.path()))
    EXPECT_TRUE(path == "bad.zip" || path.rfind("box/in/", 0) == 0 || path == "box/" || path == "box/in/") << path;
}
