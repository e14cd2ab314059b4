// The lister (the component's own reader) and the compression library that
// extracts must read every archive the same way: what the user was shown in
// the list is exactly what gets installed.
#include "tests/zip/zip_test_util.h"
#include "zip/zip_central.h"

using namespace ziptest;

namespace {

// Names the component's reader lists, or "error" when it refuses.
std::vector<std::string> listed(const std::string& path) {
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(true);
  TZAZipFile file(&zip);
  file.SetFileName(UTF8ToUTF16(path));
  std::vector<std::string> names;
  try {
    if (file.OpenZip(false, false) < 0) return {"error"};
  } catch (const EZAException&) {
    return {"error"};
  }
  for (int i = 0; i < file.Count(); ++i) names.push_back(UTF16ToUTF8(file.Entry(i)->FileName()));
  return names;
}

Archive oneFile() {
  Archive a;
  a.items.push_back({.name = "x.txt", .data = "the x file"});
  return a;
}

}  // namespace

TEST(ZipOneReading, ACommentLongerThanTheFileIsCutNotRefused) {
  Folder f;
  std::string bytes = oneFile().build();
  bytes[bytes.size() - 2] = 40;  // the comment length says 40, 3 bytes follow
  writeFile(f / "comment.zip", bytes + "abc");
  EXPECT_EQ(listed(f / "comment.zip"), std::vector<std::string>{"x.txt"});
  Outcome o = extract(f / "comment.zip", f / "out");
  EXPECT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(readFile(f / "out/x.txt"), "the x file");
}

TEST(ZipOneReading, Zip64RecordsCountOnlyWhenTheEndRecordIsFull) {
  Folder f;
  // A complete end record with zip64 records in front of it that tell of
  // no entries at all: the end record's own values stand.
  Archive a = oneFile();
  a.zip64End = true;
  std::string bytes = a.build();
  size_t end = bytes.rfind("PK\x05\x06");
  size_t z64 = bytes.rfind("PK\x06\x06");
  std::string counts;
  put16(counts, 1);
  put16(counts, 1);
  bytes.replace(end + 8, 4, counts);
  uint32_t cdSize = uint32_t(z64 - bytes.rfind("PK\x01\x02"));
  uint32_t cdOffset = uint32_t(bytes.rfind("PK\x01\x02"));
  std::string sizes;
  put32(sizes, cdSize);
  put32(sizes, cdOffset);
  bytes.replace(end + 12, 8, sizes);
  std::string zero;
  put64(zero, 0);
  bytes.replace(z64 + 24, 8, zero);
  bytes.replace(z64 + 32, 8, zero);
  writeFile(f / "locator.zip", bytes);
  EXPECT_EQ(listed(f / "locator.zip"), std::vector<std::string>{"x.txt"});
  Outcome o = extract(f / "locator.zip", f / "out");
  EXPECT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(readFile(f / "out/x.txt"), "the x file");
}

TEST(ZipOneReading, AZip64FieldIsReadOnlyForVersionFourPointFive) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "z.txt", .data = "zip64", .zip64 = true});
  std::string good = a.build();
  writeFile(f / "good.zip", good);
  EXPECT_EQ(listed(f / "good.zip"), std::vector<std::string>{"z.txt"});
  EXPECT_EQ(extract(f / "good.zip", f / "good").result, 0);
  EXPECT_EQ(readFile(f / "good/z.txt"), "zip64");
  // The same header claiming version 2.0: its 0xFFFFFFFF offset is the
  // offset itself, which both readers then find no local header at.
  std::string old = good;
  old[old.rfind("PK\x01\x02") + 6] = 20;
  writeFile(f / "old.zip", old);
  EXPECT_EQ(listed(f / "old.zip"), std::vector<std::string>{"z.txt"});
  Outcome o = extract(f / "old.zip", f / "old");
  EXPECT_NE(o.result, 0);
  EXPECT_FALSE(fs::exists(f / "old/z.txt"));
}
