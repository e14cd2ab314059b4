// The component's own reading of archive directories: end records, stubs,
// junk, zip64 fields, name encodings, changes behind its back, and the
// archives it writes itself (copies, joined sets, comments).
#include "tests/zip/zip_test_util.h"
#include "zip/zip_central.h"
#include "zip/zip_lister.h"

using namespace ziptest;

namespace {

struct Opened {
  std::unique_ptr<TZipArchiver> zip = std::make_unique<TZipArchiver>(nullptr);
  std::unique_ptr<TZAZipFile> file;
  int result = 0;
  std::vector<int> messages;
};

Opened open(const std::string& path) {
  Opened o;
  o.zip->SetUnattended(true);
  o.zip->SetActive(true);
  o.zip->OnMessage = [&o](TObject*, int id, const String&) { o.messages.push_back(id); };
  o.file = std::make_unique<TZAZipFile>(o.zip.get());
  o.file->SetFileName(UTF8ToUTF16(path));
  try {
    o.result = o.file->OpenZip(false, false);
  } catch (const EZAException& e) {
    o.result = -int(e.FullCode());
  }
  return o;
}

bool has(const std::vector<int>& v, int id) { return std::find(v.begin(), v.end(), id) != v.end(); }

}  // namespace

TEST(ZipDirectory, EndRecordsCommentsAndJunk) {
  Folder f;
  Archive empty;
  writeFile(f / "empty.zip", empty.build());
  Opened e = open(f / "empty.zip");
  EXPECT_EQ(e.result, 0);
  EXPECT_EQ(e.file->Count(), 0);
  // The stored comment length says 10, only 3 bytes follow.
  std::string bytes = empty.build();
  bytes[20] = 10;
  writeFile(f / "short-comment.zip", bytes + "abc");
  Opened s = open(f / "short-comment.zip");
  EXPECT_EQ(s.result & ~1, 0);
  EXPECT_EQ(s.file->ArchiveComment(), "abc");
  // A comment length in the last 22 bytes: taken as no comment, bit 0.
  writeFile(f / "lying-comment.zip", bytes);
  Opened l = open(f / "lying-comment.zip");
  EXPECT_EQ(l.result, 1);
  EXPECT_TRUE(has(l.messages, 151));
  Archive a;
  a.items.push_back({.name = "x.txt", .data = "x"});
  a.suffix = std::string(30, 'j');
  writeFile(f / "tail.zip", a.build());
  Opened t = open(f / "tail.zip");
  EXPECT_EQ(t.result & 1, 1);
  EXPECT_EQ(t.file->Count(), 1);
  writeFile(f / "junk.zip", std::string(100, 'q'));
  EXPECT_EQ(ZAMsgId(open(f / "junk.zip").result), 127);
  writeFile(f / "tiny.zip", "PK");
  EXPECT_EQ(ZAMsgId(open(f / "tiny.zip").result), 127);
}

TEST(ZipDirectory, DataBeforeTheArchiveWarnsAndReadsOn) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "x.txt", .data = "x"});
  a.prefix = "MZ" + std::string(3000, '\0');
  writeFile(f / "stub.zip", a.build());
  Opened o = open(f / "stub.zip");
  EXPECT_GE(o.result, 0);
  EXPECT_TRUE(has(o.messages, 20));
  ASSERT_EQ(o.file->Count(), 1);
  EXPECT_EQ(o.file->Entry(0)->RelOffLocalHdr(), 3002);
  EXPECT_EQ(o.file->CheckLocalHeader(*o.file->Entry(0)), 0);
}

TEST(ZipDirectory, BrokenCentralHeadersLeaveNoEntries) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "x.txt", .data = "x"});
  a.items.push_back({.name = "y.txt", .data = "y"});
  std::string bytes = a.build();
  size_t second = bytes.rfind("PK\x01\x02");
  bytes[second + 3] = 9;
  writeFile(f / "sig.zip", bytes);
  Opened o = open(f / "sig.zip");
  EXPECT_EQ(ZAMsgId(o.result), 119);
  EXPECT_EQ(o.file->Count(), 0);
  Archive big;
  big.lieCount = 50000;
  big.items.push_back({.name = "x.txt", .data = "x"});
  writeFile(f / "count.zip", big.build());
  Opened c = open(f / "count.zip");
  EXPECT_LT(c.result, 0);
  EXPECT_EQ(c.file->Count(), 0);
}

TEST(ZipDirectory, Zip64FieldsAreReadOnlyWhenAskedFor) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "z.txt", .data = "zip64", .zip64 = true});
  a.zip64End = true;
  writeFile(f / "z.zip", a.build());
  Opened o = open(f / "z.zip");
  ASSERT_GE(o.result, 0);
  ASSERT_EQ(o.file->Count(), 1);
  EXPECT_EQ(o.file->Entry(0)->UncompressedSize(), 5);
  // The field cut short: 181.
  std::string bytes = a.build();
  size_t cd = bytes.rfind("PK\x01\x02");
  bytes[cd + 46 + 5 + 2] = 8;  // zip64 block size 24 -> 8 (the rest reads as junk blocks)
  writeFile(f / "short64.zip", bytes);
  EXPECT_EQ(ZAMsgId(open(f / "short64.zip").result), 181);
  // Version needed below 45: the maximum values stand.
  std::string old = a.build();
  cd = old.rfind("PK\x01\x02");
  old[cd + 6] = 20;
  writeFile(f / "old.zip", old);
  Opened v = open(f / "old.zip");
  ASSERT_EQ(v.file->Count(), 1);
  EXPECT_EQ(v.file->Entry(0)->UncompressedSize(), 0xFFFFFFFF);
}

TEST(ZipDirectory, NameEncodingsOfTheLister) {
  Folder f;
  Archive a;
  std::string real = "\xD0\xBF\xD1\x83\xD1\x82\xD1\x8C";
  auto field = [&](int version, const std::string& forName) {
    std::string x;
    put16(x, 0x7075);
    put16(x, unsigned(real.size() + 5));
    x += char(version);
    put32(x, crcOf(forName));
    return x + real;
  };
  a.items.push_back({.name = "u1.txt", .data = "", .madeBy = 0x0014, .extra = field(1, "u1.txt")});
  a.items.push_back({.name = "u2.txt", .data = "", .madeBy = 0x0014, .extra = field(2, "u2.txt")});
  a.items.push_back({.name = "\x8F\xE3\xE2\xEC", .data = "", .madeBy = 0x0B32});
  a.items.push_back({.name = "dir\\win.txt", .data = "", .madeBy = 0x0014});
  writeFile(f / "n.zip", a.build());
  Opened o = open(f / "n.zip");
  ASSERT_EQ(o.file->Count(), 4);
  EXPECT_EQ(UTF16ToUTF8(o.file->Entry(0)->FileName()), real);
  EXPECT_EQ(o.file->Entry(0)->EncodedAs(), zeoUPath);
  EXPECT_EQ(UTF16ToUTF8(o.file->Entry(1)->FileName()), "u2.txt");
  EXPECT_EQ(o.file->Entry(1)->EncodedAs(), zeoOEM);
  EXPECT_EQ(UTF16ToUTF8(o.file->Entry(2)->FileName()), "Путь");
  EXPECT_EQ(UTF16ToUTF8(o.file->Entry(3)->FileName()), "dir/win.txt");
  EXPECT_EQ(o.file->FindName(u"DIR\\WIN.TXT"), 3);
  EXPECT_EQ(o.file->Entry(0)->ExtraData(0x7075).size(), real.size() + 5);
}

TEST(ZipDirectory, ChangedFilesAndCopies) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "a.txt", .data = std::string(5000, 'a')});
  a.items.push_back({.name = "b.txt", .data = "b", .descriptor = true});
  a.comment = "note";
  writeFile(f / "a.zip", a.build());
  Opened o = open(f / "a.zip");
  ASSERT_EQ(o.file->Count(), 2);
  // Copy everything, then nothing.
  TZAZipCopy all(o.zip.get());
  ASSERT_TRUE(all.Create(UTF8ToUTF16(f / "all.zip")));
  EXPECT_EQ(all.WriteFile(*o.file, true), 2);
  all.Close();
  Outcome x = extract(f / "all.zip", f / "out/");
  EXPECT_EQ(x.result, 0) << x.message;
  EXPECT_EQ(readFile(f / "out/a.txt"), std::string(5000, 'a'));
  EXPECT_EQ(readFile(f / "out/b.txt"), "b");
  TZAZipCopy none(o.zip.get());
  ASSERT_TRUE(none.Create(UTF8ToUTF16(f / "none.zip")));
  EXPECT_EQ(none.WriteFile(*o.file, false), 0);
  none.Close();
  EXPECT_EQ(readFile(f / "none.zip").size(), 22u + 4);
  // The archive replaced after it was loaded.
  o.file->Close();
  fs::remove(f / "a.zip");
  writeFile(f / "a.zip", a.build() + "x");
  EXPECT_EQ(ZAMsgId(o.file->Reopen(fmOpenRead)), 196);
}

TEST(ZipDirectory, CommentsAreRewrittenInPlace) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "a.txt", .data = "a"});
  writeFile(f / "c.zip", a.build());
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(true);
  zip.SetZipFileName(UTF8ToUTF16(f / "c.zip"));
  zip.SetZipComment("new comment");
  EXPECT_EQ(zip.ErrCode(), 0) << UTF16ToUTF8(zip.ErrMessage());
  Opened o = open(f / "c.zip");
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.file->ArchiveComment(), "new comment");
  zip.SetZipComment("");
  EXPECT_EQ(readFile(f / "c.zip"), a.build());
}

namespace {

// A minimal program image of 12,288 bytes whose one section ends at its
// end, followed by a settings header.
std::string stubWith(const std::string& header) {
  std::string s(12288, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  s[60] = char(0x80);
  s.replace(0x80, 4, std::string("PE\0\0", 4));
  s[0x84] = char(0x4C);
  s[0x85] = char(0x01);
  s[0x86] = 1;  // one section
  size_t sh = 0x80 + 24 + 224;
  std::string sizeAndPtr;
  put32(sizeAndPtr, 12288 - 1024);  // SizeOfRawData
  put32(sizeAndPtr, 1024);          // PointerToRawData
  s.replace(sh + 16, 8, sizeAndPtr);
  return s + header;
}

}  // namespace

TEST(ZipDirectory, SelfExtractorSettingsAreReadFromTheStub) {
  TZipArchiver zip(nullptr);
  TZALister lister(&zip);
  std::string records = std::string(1, char(1)) + "Заголовок" + '\0' + char(2) + "C:\\dicts" + '\0' + char(5) + "Hi" + '\0';
  std::string h;
  put32(h, 0x0C005A44);
  put16(h, unsigned(12 + records.size()));
  put16(h, 0x1003);  // options: bits 0, 1 and 0x1000
  h += char(1);      // overwrite: never
  h += char(0);
  h += char(5);      // flags 1 and 4
  h += char(0);
  h += records;
  ASSERT_TRUE(lister.applyStubSettings(stubWith(h)));
  EXPECT_EQ(zip.SFXCaption(), u"Заголовок");
  EXPECT_EQ(zip.SFXDefaultDir(), u"C:\\dicts");
  EXPECT_EQ(zip.SFXMessage(), u"1|2|Hi");
  EXPECT_EQ(zip.SFXOverwriteMode(), ovrNever);
  EXPECT_EQ(zip.SFXOptions().RawBits(), 0x803u);
  // Anything else leaves the settings alone.
  EXPECT_FALSE(lister.applyStubSettings(stubWith("XXXXXXXXXXXXXXXXXXXXXXXX")));
  EXPECT_FALSE(lister.applyStubSettings(stubWith(h).substr(0, 12000)));
  std::string cut = h.substr(0, 20);
  cut[4] = char(0xFF);
  EXPECT_FALSE(lister.applyStubSettings(stubWith(cut)));
  EXPECT_EQ(zip.SFXCaption(), u"Заголовок");
}
