// Archives of many entries: the library reads its directory again for each
// pass instead of keeping it, and remembers the paths it wrote by a
// fingerprint; the component keeps small records and one flat name table.
#include "tests/zip/zip_test_util.h"
#include "zip/zip_central.h"

using namespace ziptest;

namespace {

// A name of about 200 bytes: a few thousand of them make a directory larger
// than the window the library reads it through.
std::string longName(int i) { return "d" + std::to_string(i % 40) + "/" + std::string(180, 'n') + std::to_string(i) + ".txt"; }

std::unique_ptr<TZAZipFile> opened(TZipArchiver& zip, const std::string& path) {
  auto file = std::make_unique<TZAZipFile>(&zip);
  file->SetFileName(UTF8ToUTF16(path));
  EXPECT_GE(file->OpenZip(false, false), 0);
  return file;
}

}  // namespace

TEST(ZipManyEntries, ADuplicateFarFromItsFirstIsRefusedAndEveryOtherPathWritten) {
  Folder f;
  Archive a;
  const int count = 5000;
  for (int i = 0; i < count; ++i) a.items.push_back({.name = longName(i), .data = "v" + std::to_string(i), .method = 0});
  // The same path in other case (another file here), and the first path
  // again at the end (refused, which ends the run).
  std::string upper = longName(1);
  upper[0] = 'D';
  a.items.push_back({.name = upper, .data = "other case", .method = 0});
  a.items.push_back({.name = longName(0), .data = "late", .method = 0});
  writeFile(f / "many.zip", a.build());
  Outcome o = extract(f / "many.zip", f / "out/");
  EXPECT_NE(o.result, 0);
  EXPECT_NE(o.message.find("duplicate"), std::string::npos) << o.message;
  EXPECT_EQ(readFile(f / ("out/" + longName(0))), "v0");
  EXPECT_EQ(readFile(f / ("out/" + longName(count - 1))), "v" + std::to_string(count - 1));
  EXPECT_EQ(readFile(f / ("out/" + upper)), "other case");
  EXPECT_EQ(tree(f / "out/").size(), size_t(count + 1 + 40 + 1));  // files, folders d0..d39 and D1
}

TEST(ZipManyEntries, WithoutFolderNamesEntriesOfOneLeafAreDuplicates) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "a/x.txt", .data = "from a"});
  a.items.push_back({.name = "b/y.txt", .data = "from b"});
  a.items.push_back({.name = "c/x.txt", .data = "from c"});
  writeFile(f / "leaf.zip", a.build());
  Outcome o = extract(f / "leaf.zip", f / "out/", TZAExtrOpts{ExtrOverWrite});
  EXPECT_NE(o.message.find("duplicate"), std::string::npos) << o.message;
  EXPECT_EQ(readFile(f / "out/x.txt"), "from a");
  EXPECT_EQ(readFile(f / "out/y.txt"), "from b");
}

TEST(ZipManyEntries, TheNameTableFindsTheEarliestOfANameAndFollowsTheEncoding) {
  Folder f;
  Archive a;
  for (int i = 0; i < 3000; ++i) a.items.push_back({.name = "e" + std::to_string(i % 7) + "/" + std::to_string(i) + ".txt", .data = "x"});
  a.items.push_back({.name = "Dict.txt", .data = "1"});
  a.items.push_back({.name = "dict.TXT", .data = "2"});
  // "стих.txt" in the DOS code page, written by a DOS tool.
  a.items.push_back({.name = "\xE1\xE2\xA8\xE5.txt", .data = "3", .madeBy = 0x0014});
  writeFile(f / "names.zip", a.build());
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  auto file = opened(zip, f / "names.zip");
  ASSERT_EQ(file->Count(), 3003);
  EXPECT_EQ(file->FindName(u"DICT.txt"), 3000);
  EXPECT_EQ(file->FindName(u"e3\\2999.TXT"), 2999);
  EXPECT_EQ(file->FindName(u"e3/2998.txt"), -1);
  EXPECT_EQ(file->CheckDuplicates(), 1);
  EXPECT_EQ(file->FindName(u"СТИХ.TXT"), 3002);
  // Read as UTF-8 the same bytes are another name (in the ANSI page): the
  // table is made again for it.
  zip.SetEncoding(zeoUTF8);
  file->ClearCachedNames();
  const String asUtf8 = file->Entry(3002)->FileName();
  EXPECT_NE(asUtf8, u"стих.txt");
  EXPECT_EQ(file->FindName(asUtf8), 3002);
  EXPECT_EQ(file->FindName(u"стих.txt"), -1);
}

TEST(ZipManyEntries, ListedViewsFollowTheVisibleEntries) {
  Folder f;
  Archive a;
  for (int i = 0; i < 600; ++i) {
    if (i % 100 == 50) a.items.push_back({.name = "dir" + std::to_string(i) + "/", .data = "", .method = 0});
    a.items.push_back({.name = "f" + std::to_string(i) + ".txt", .data = "x"});
  }
  writeFile(f / "views.zip", a.build());
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(true);
  zip.SetZipFileName(UTF8ToUTF16(f / "views.zip"));
  // Folder entries are left out of the list; the views after them still
  // show the right files, the last block included.
  ASSERT_EQ(zip.Count(), 600);
  EXPECT_EQ(UTF16ToUTF8(zip.DirEntry(599)->FileName()), "f599.txt");
  EXPECT_EQ(UTF16ToUTF8(zip.DirEntry(51)->FileName()), "f51.txt");
  TZADirEntry* early = zip.DirEntry(3);
  zip.SetUseDirOnlyEntries(true);
  ASSERT_EQ(zip.Count(), 606);
  EXPECT_EQ(UTF16ToUTF8(zip.DirEntry(50)->FileName()), "dir50/");
  EXPECT_EQ(UTF16ToUTF8(zip.DirEntry(51)->FileName()), "f50.txt");
  // A view taken before still stands and shows its place in the new list.
  EXPECT_EQ(UTF16ToUTF8(early->FileName()), "f3.txt");
}

TEST(ZipManyEntries, ADirectoryInAnotherOrderThanTheDataReadsRight) {
  // Entries whose central headers come in the reverse order of their data,
  // small and large ones mixed: the library's reads jump back and forth.
  Folder f;
  const int count = 300;
  auto dataOf = [](int i) { return std::string(size_t(i % 3 == 0 ? 9000 + i : 10 + i), char('a' + i % 26)); };
  Archive a;
  a.reversedCentral = true;
  for (int i = 0; i < count; ++i)
    a.items.push_back({.name = "r/" + std::to_string(i) + ".txt", .data = dataOf(i), .method = 0});
  writeFile(f / "reversed.zip", a.build());
  Outcome o = extract(f / "reversed.zip", f / "out/");
  EXPECT_EQ(o.result, 0) << o.message;
  for (int i = 0; i < count; ++i) EXPECT_EQ(readFile(f / ("out/r/" + std::to_string(i) + ".txt")), dataOf(i)) << i;
}
