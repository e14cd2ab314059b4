// Archives the component writes itself: copies of other archives (all or
// selected entries), joined split sets and rewritten comments. Each result
// must pass the readers others use (Debian's unzip, Python's zipfile) and
// a failed write must leave what was there before untouched.
#include <random>
#include <set>

#include "tests/zip/zip_test_util.h"
#include "zip/zip_central.h"
#include "zip/zip_operations.h"

using namespace ziptest;

namespace {

// What Python's zipfile makes of an archive: "ok" when every member's data
// matches its CRC, then the names in order and the comment's length.
const char* kPythonListing = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    print('ok' if bad is None else 'bad ' + bad)
    print('|'.join(i.filename for i in z.infolist()))
    print(len(z.comment))
)";

std::string pythonListing(const Folder& f, const std::string& archive) {
  writeFile(f / "listing.py", kPythonListing);
  std::string out = f / "listing.txt";
  if (run("python3 '" + (f / "listing.py") + "' '" + archive + "' > '" + out + "' 2>&1") != 0) return "failed";
  std::string text = readFile(out);
  fs::remove(out);
  return text;
}

bool pythonAccepts(const Folder& f, const std::string& archive, const std::vector<std::string>& names,
                   size_t commentLength) {
  std::string joined;
  for (const auto& n : names) joined += (joined.empty() ? "" : "|") + n;
  std::string want = "ok\n" + joined + "\n" + std::to_string(commentLength) + "\n";
  std::string got = pythonListing(f, archive);
  EXPECT_EQ(got, want);
  return got == want;
}

bool unzipAccepts(const std::string& archive) { return run("unzip -tqq '" + archive + "' >/dev/null") == 0; }

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

struct Source {
  std::unique_ptr<TZipArchiver> zip = std::make_unique<TZipArchiver>(nullptr);
  std::unique_ptr<TZAZipFile> file;
  int result = 0;
};

Source openSource(const std::string& path) {
  Source s;
  s.zip->SetUnattended(true);
  s.zip->SetActive(true);
  s.file = std::make_unique<TZAZipFile>(s.zip.get());
  s.file->SetFileName(UTF8ToUTF16(path));
  s.result = s.file->OpenZip(false, false);
  return s;
}

// Copies the entries of source (all, or those selected) into a new file.
int copyArchive(Source& s, const std::string& to, bool all = true) {
  TZAZipCopy out(s.zip.get());
  if (!out.CreateBeside(UTF8ToUTF16(to))) return -1;
  int r = out.WriteFile(*s.file, all);
  if (r >= 0 && !out.RenameToTarget()) return -2;
  return r;
}

// Names of the files a folder holds (no folders), for leftovers.
std::vector<std::string> names(const std::string& folder) {
  std::vector<std::string> out;
  for (auto& e : fs::directory_iterator(folder))
    if (!e.is_directory()) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(ZipWrite, CopiesPassOtherReadersAndExtractTheSame) {
  Folder f;
  // Every kind of entry the readers meet: deflated and stored, empty,
  // incompressible, folders, a non-ASCII name, data descriptors, and the
  // longest comment there is.
  Archive a;
  a.items.push_back({.name = "словарь.dict", .data = std::string(300000, 'w') + randomBytes(1000, 2)});
  a.items.push_back({.name = "sub/", .data = "", .method = 0, .extAttr = 040755u << 16});
  a.items.push_back({.name = "sub/deep/er/empty.txt", .data = "", .method = 0});
  a.items.push_back({.name = "sub/noise.bin", .data = randomBytes(200000, 1), .method = 0});
  a.items.push_back({.name = "later.txt", .data = "written with sizes after the data", .descriptor = true});
  a.items[0].flags = 0x800;
  a.comment = std::string(65535, 'c');
  writeFile(f / "src.zip", a.build());
  Source s = openSource(f / "src.zip");
  ASSERT_EQ(s.result, 0);
  ASSERT_EQ(copyArchive(s, f / "copy.zip"), 5);
  EXPECT_TRUE(unzipAccepts(f / "copy.zip"));
  EXPECT_TRUE(pythonAccepts(f, f / "copy.zip",
                            {"словарь.dict", "sub/", "sub/deep/er/empty.txt", "sub/noise.bin", "later.txt"}, 65535));
  Outcome x = extract(f / "src.zip", f / "from-src/");
  Outcome y = extract(f / "copy.zip", f / "from-copy/");
  ASSERT_EQ(x.result, 0) << x.message;
  ASSERT_EQ(y.result, 0) << y.message;
  EXPECT_EQ(tree(f / "from-src/"), tree(f / "from-copy/"));
  // Only the selected entries; none selected leaves only the end record.
  s.file->Entry(0)->SetStatus(zsbSelected, true);
  s.file->Entry(3)->SetStatus(zsbSelected, true);
  ASSERT_EQ(copyArchive(s, f / "some.zip", false), 2);
  EXPECT_TRUE(unzipAccepts(f / "some.zip"));
  EXPECT_TRUE(pythonAccepts(f, f / "some.zip", {"словарь.dict", "sub/noise.bin"}, 65535));
  for (int i = 0; i < s.file->Count(); ++i) s.file->Entry(i)->SetStatus(zsbSelected, false);
  ASSERT_EQ(copyArchive(s, f / "none.zip", false), 0);
  EXPECT_EQ(fs::file_size(f / "none.zip"), 22u + 65535);
  EXPECT_TRUE(pythonAccepts(f, f / "none.zip", {}, 65535));
  // A copy of Debian zip's own output.
  writeFile(f / "tree/a.txt", std::string(5000, 'a'));
  writeFile(f / "tree/b/c.txt", "c");
  ASSERT_EQ(run("cd '" + (f / "tree") + "' && zip -qr ../debian.zip . && echo note | zip -qz ../debian.zip"), 0);
  Source d = openSource(f / "debian.zip");
  ASSERT_EQ(d.result, 0);
  ASSERT_EQ(copyArchive(d, f / "debian-copy.zip"), 3);
  EXPECT_TRUE(unzipAccepts(f / "debian-copy.zip"));
  EXPECT_EQ(pythonListing(f, f / "debian-copy.zip"), pythonListing(f, f / "debian.zip"));
  EXPECT_NE(pythonListing(f, f / "debian.zip").find("a.txt"), std::string::npos);
}

TEST(ZipWrite, Zip64RecordsWhenCountsOrSizesNeedThem) {
  Folder f;
  // More entries than the end record can count.
  Archive many;
  many.zip64End = true;
  for (int i = 0; i < 70000; ++i) many.items.push_back({.name = "e" + std::to_string(i), .data = "x", .method = 0});
  writeFile(f / "many.zip", many.build());
  Source s = openSource(f / "many.zip");
  ASSERT_EQ(s.result, 0);
  ASSERT_EQ(copyArchive(s, f / "many-copy.zip"), 70000);
  EXPECT_TRUE(unzipAccepts(f / "many-copy.zip"));
  ASSERT_EQ(run("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); sys.exit(len(z.infolist())!=70000 or "
                "z.read('e69999')!=b'x')\" '" + (f / "many-copy.zip") + "'"),
            0);
  Source back = openSource(f / "many-copy.zip");
  EXPECT_EQ(back.result, 0);
  EXPECT_EQ(back.file->Count(), 70000);
  EXPECT_TRUE(back.file->Zip64());

  // One entry of more than 4 GiB (zeros, so its deflated data is small):
  // its sizes go into zip64 fields of both headers.
  const uint64_t mib = 1 << 20, count = 4100;
  std::string zeros(mib, '\0');
  z_stream zs{};
  deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string block(mib, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(zeros.data());
  zs.avail_in = uInt(mib);
  zs.next_out = reinterpret_cast<Bytef*>(block.data());
  zs.avail_out = uInt(block.size());
  deflate(&zs, Z_FULL_FLUSH);  // history reset: the same bytes stand for every MiB
  block.resize(block.size() - zs.avail_out);
  deflateEnd(&zs);
  std::string packed;
  packed.reserve(block.size() * count + 2);
  for (uint64_t i = 0; i < count; ++i) packed += block;
  packed += std::string("\x03\x00", 2);  // a last, empty block
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), uInt(mib)), crcAll = 0;
  for (uint64_t i = 0; i < count; ++i) crcAll = crc32_combine(crcAll, crc, z_off_t(mib));
  Archive big;
  big.items.push_back({.name = "zeros.bin", .raw = packed});
  big.items[0].zip64 = true;
  big.items[0].lieUSize = int64_t(count * mib);
  big.items[0].lieCrc = int64_t(crcAll);
  big.items.push_back({.name = "after.txt", .data = "after"});
  writeFile(f / "big.zip", big.build());
  Source b = openSource(f / "big.zip");
  ASSERT_EQ(b.result, 0);
  ASSERT_EQ(copyArchive(b, f / "big-copy.zip"), 2);
  Source bc = openSource(f / "big-copy.zip");
  ASSERT_EQ(bc.result, 0);
  EXPECT_EQ(uint64_t(bc.file->Entry(0)->UncompressedSize()), count * mib);
  EXPECT_EQ(bc.file->CheckLocalHeader(*static_cast<TZAZRec*>(bc.file->Entry(1))), 0);
  // Python reads the sizes from the central zip64 field and checks the
  // local header's when it opens the member.
  EXPECT_EQ(run("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); i=z.getinfo('zeros.bin'); "
                "f=z.open(i); sys.exit(i.file_size!=" + std::to_string(count * mib) +
                " or f.read(4096)!=bytes(4096) or z.read('after.txt')!=b'after')\" '" + (f / "big-copy.zip") + "'"),
            0);
  // unzip reads the same sizes (inflating 4 GiB here would only cost time).
  EXPECT_EQ(run("unzip -Zl '" + (f / "big-copy.zip") + "' | grep -q '" + std::to_string(count * mib) + " .* zeros.bin'"), 0);
}

TEST(ZipWrite, CommentsOfEveryLengthAndFailuresLeaveTheArchive) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "a.txt", .data = "a"});
  a.zip64End = true;  // the comment follows zip64 records as well
  const std::string original = a.build();
  writeFile(f / "c.zip", original);
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(true);
  zip.SetZipFileName(UTF8ToUTF16(f / "c.zip"));
  const std::string longest(65535, '#');
  zip.SetZipComment(longest);
  ASSERT_EQ(zip.ErrCode(), 0) << UTF16ToUTF8(zip.ErrMessage());
  EXPECT_EQ(fs::file_size(f / "c.zip"), original.size() + 65535);
  EXPECT_TRUE(unzipAccepts(f / "c.zip"));
  EXPECT_TRUE(pythonAccepts(f, f / "c.zip", {"a.txt"}, 65535));
  // One byte more does not fit the record: refused, the archive as it was.
  const std::string before = readFile(f / "c.zip");
  zip.SetZipComment(longest + "#");
  EXPECT_EQ(zip.ErrCode(), 159);
  EXPECT_EQ(readFile(f / "c.zip"), before);
  EXPECT_EQ(zip.ZipComment(), longest);
  // The component rewrote the file itself and goes on using it.
  zip.SetZipComment("");
  ASSERT_EQ(zip.ErrCode(), 0) << UTF16ToUTF8(zip.ErrMessage());
  EXPECT_EQ(readFile(f / "c.zip"), original);
  EXPECT_TRUE(pythonAccepts(f, f / "c.zip", {"a.txt"}, 0));
  // Replaced behind the component's back: refused, the new file untouched.
  fs::remove(f / "c.zip");
  writeFile(f / "c.zip", original + "junk");
  zip.SetZipComment("late");
  EXPECT_NE(zip.ErrCode(), 0);
  EXPECT_EQ(readFile(f / "c.zip"), original + "junk");
  EXPECT_EQ(names(f.path()), (std::vector<std::string>{"c.zip", "listing.py"}));
  // A split set keeps its comment in its last part.
  writeFile(f / "src/a.bin", randomBytes(150000, 3));
  ASSERT_EQ(run("cd '" + (f / "src") + "' && zip -qr -s 64k ../set.zip ."), 0);
  const std::string firstPart = readFile(f / "set.z01");
  zip.SetZipFileName(UTF8ToUTF16(f / "set.zip"));
  zip.SetZipComment("split");
  ASSERT_EQ(zip.ErrCode(), 0) << UTF16ToUTF8(zip.ErrMessage());
  EXPECT_EQ(readFile(f / "set.z01"), firstPart);
  Outcome o = extract(f / "set.zip", f / "out/");
  ASSERT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(readFile(f / "out/a.bin"), readFile(f / "src/a.bin"));
  TZipArchiver again(nullptr);
  again.SetActive(true);
  again.SetZipFileName(UTF8ToUTF16(f / "set.zip"));
  EXPECT_EQ(again.ZipComment(), "split");
}

TEST(ZipWrite, JoiningASplitSetIntoOneArchive) {
  Folder f;
  std::string big = randomBytes(250000, 5) + std::string(100000, 'z');
  writeFile(f / "src/словарь.tamrix", big);
  writeFile(f / "src/sub/readme.txt", "hello\n");
  writeFile(f / "src/empty", "");
  ASSERT_EQ(run("cd '" + (f / "src") + "' && zip -qr ../whole.zip . && zip -qr -s 64k ../split.zip ."), 0);
  ASSERT_TRUE(fs::exists(f / "split.z03"));
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(true);
  // Joining a large set shows its progress entry by entry.
  int64_t copied = 0;
  std::set<std::string> items;
  zip.OnProgress = [&](TObject*, TZAProgressDetails& d) {
    if (d.ProgressKind() == 1) copied += d.Delta();
    if (d.ProgressKind() == 0 && !d.ItemName().empty()) items.insert(UTF16ToUTF8(d.ItemName()));
  };
  // An earlier file of the name, and a link where the result goes: both
  // are replaced, never written through.
  writeFile(f / "joined.zip", "old");
  writeFile(f / "victim", "keep");
  fs::create_symlink(f / "victim", f / "linked.zip");
  for (const char* target : {"joined.zip", "linked.zip"}) {
    SCOPED_TRACE(target);
    TZAFileOpr op(&zip);
    String dest = UTF8ToUTF16(f / target);
    ASSERT_EQ(op.JoinVolumes(UTF8ToUTF16(f / "split.zip"), dest, true), 0) << UTF16ToUTF8(zip.ErrMessage());
    EXPECT_EQ(dest, UTF8ToUTF16(f / target));
    EXPECT_FALSE(fs::is_symlink(f / target));
    EXPECT_TRUE(unzipAccepts(f / target));
    Outcome o = extract(f / target, f / (std::string("out-") + target + "/"));
    ASSERT_EQ(o.result, 0) << o.message;
    EXPECT_EQ(readFile(f / (std::string("out-") + target + "/словарь.tamrix")), big);
    EXPECT_EQ(readFile(f / (std::string("out-") + target + "/sub/readme.txt")), "hello\n");
  }
  EXPECT_EQ(readFile(f / "victim"), "keep");
  EXPECT_GT(copied, 2 * 250000);  // both joins
  EXPECT_TRUE(items.count("sub/readme.txt") || items.count("sub\\readme.txt"));
  // Python reads the joined set as it reads the same files zipped whole.
  EXPECT_EQ(pythonListing(f, f / "joined.zip"), pythonListing(f, f / "whole.zip"));
  EXPECT_EQ(pythonListing(f, f / "whole.zip").substr(0, 3), "ok\n");
  // A part missing: a negative result, no name, the earlier file intact
  // and nothing left over beside it.
  fs::rename(f / "split.z02", f / "away");
  writeFile(f / "joined.zip", "old");
  std::vector<std::string> files = names(f.path());
  TZAFileOpr op(&zip);
  String dest = UTF8ToUTF16(f / "joined.zip");
  EXPECT_LT(op.JoinVolumes(UTF8ToUTF16(f / "split.zip"), dest, true), 0);
  EXPECT_TRUE(dest.empty());
  EXPECT_NE(zip.ErrCode(), 0);
  EXPECT_EQ(readFile(f / "joined.zip"), "old");
  EXPECT_EQ(names(f.path()), files);
}

TEST(ZipWrite, DuplicateNamesAndChangedSourcesAreRefused) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "same.txt", .data = "first"});
  a.items.push_back({.name = "SAME.TXT", .data = "second"});
  writeFile(f / "dup.zip", a.build());
  Source s = openSource(f / "dup.zip");
  ASSERT_EQ(s.result, 0);
  TZAZipCopy out(s.zip.get());
  ASSERT_TRUE(out.CreateBeside(UTF8ToUTF16(f / "dup-copy.zip")));
  EXPECT_EQ(ZAMsgId(out.WriteFile(*s.file, true)), 104);
  Archive b;
  b.items.push_back({.name = "b.txt", .data = "b"});
  writeFile(f / "b.zip", b.build());
  Source c = openSource(f / "b.zip");
  ASSERT_EQ(c.result, 0);
  c.file->Close();
  writeFile(f / "b.zip", b.build() + "more");
  TZAZipCopy out2(c.zip.get());
  ASSERT_TRUE(out2.CreateBeside(UTF8ToUTF16(f / "b-copy.zip")));
  EXPECT_EQ(ZAMsgId(out2.WriteFile(*c.file, true)), 162);
  // Neither copy was ever put in place, and their unfinished files go
  // with them.
  out.Close();
  out2.Close();
  EXPECT_FALSE(fs::exists(f / "dup-copy.zip"));
  EXPECT_FALSE(fs::exists(f / "b-copy.zip"));
  // Creating a work file never writes through a link.
  fs::create_symlink(f / "b.zip", f / "link.zip");
  TZAWorkFile w(s.zip.get());
  EXPECT_FALSE(w.Create(UTF8ToUTF16(f / "link.zip")));
  EXPECT_EQ(readFile(f / "b.zip"), b.build() + "more");
}

TEST(ZipWrite, SplitSetsOfAGivenPartSize) {
  Folder f;
  // Entries smaller than a part: Debian's zip mis-joins entries that run
  // over several parts (its own sets too), and it is the outside check.
  writeFile(f / "src/словарь.tamrix", randomBytes(50000, 9));
  writeFile(f / "src/sub/readme.txt", std::string(40000, 'r'));
  writeFile(f / "src/empty", "");
  for (int i = 0; i < 40; ++i) writeFile(f / ("src/many/" + std::to_string(i) + ".txt"), randomBytes(3000, unsigned(i)));
  ASSERT_EQ(run("cd '" + (f / "src") + "' && zip -qr ../whole.zip ."), 0);
  Source s = openSource(f / "whole.zip");
  ASSERT_EQ(s.result, 0);
  const int count = s.file->Count();
  s.zip->SetMaxVolumeSizeKb(64);
  {
    TZAZipCopy out(s.zip.get());
    ASSERT_TRUE(out.CreateSet(UTF8ToUTF16(f / "set.zip")));
    ASSERT_EQ(out.WriteFile(*s.file, true), count);
  }
  // name.z01, name.z02, ..., name.zip: none larger than asked, the first
  // opening with the spanning signature, nothing else left beside them.
  std::vector<std::string> parts;
  for (const auto& n : names(f.path()))
    if (n.rfind("set.", 0) == 0) parts.push_back(n);
  ASSERT_GE(parts.size(), 3u);
  for (size_t k = 0; k + 1 < parts.size(); ++k) {
    EXPECT_EQ(parts[k], std::string("set.z") + (k < 9 ? "0" : "") + std::to_string(k + 1));
    EXPECT_LE(fs::file_size(f / parts[k]), 65536u);
  }
  EXPECT_EQ(parts.back(), "set.zip");
  EXPECT_EQ(readFile(f / "set.z01").substr(0, 4), std::string("PK\x07\x08", 4));
  EXPECT_EQ(names(f.path()).size(), parts.size() + 1);  // and whole.zip
  for (const auto& n : names(f.path())) EXPECT_NE(n[0], '.') << n;
  // Debian's zip reads the set back into one archive that the others accept.
  ASSERT_EQ(run("cd '" + f.path() + "' && zip -q -s 0 set.zip --out rejoined.zip"), 0);
  EXPECT_TRUE(unzipAccepts(f / "rejoined.zip"));
  EXPECT_EQ(pythonListing(f, f / "rejoined.zip"), pythonListing(f, f / "whole.zip"));
  // The component extracts it as it extracts any split set.
  Outcome o = extract(f / "set.zip", f / "out/");
  ASSERT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(tree(f / "out/"), tree(f / "src/"));

  // An entry running over many parts comes back whole through the component.
  Archive big;
  big.items.push_back({.name = "big.bin", .data = randomBytes(400000, 4)});
  big.items.push_back({.name = "after.txt", .data = "after"});
  writeFile(f / "big.zip", big.build());
  Source b = openSource(f / "big.zip");
  ASSERT_EQ(b.result, 0);
  b.zip->SetMaxVolumeSizeKb(64);
  {
    TZAZipCopy out(b.zip.get());
    ASSERT_TRUE(out.CreateSet(UTF8ToUTF16(f / "bigset.zip")));
    ASSERT_EQ(out.WriteFile(*b.file, true), 2);
  }
  EXPECT_TRUE(fs::exists(f / "bigset.z06"));
  Outcome ob = extract(f / "bigset.zip", f / "out-big/");
  ASSERT_EQ(ob.result, 0) << ob.message;
  EXPECT_TRUE(readFile(f / "out-big/big.bin") == big.items[0].data);
  EXPECT_EQ(readFile(f / "out-big/after.txt"), "after");

  // Writing over an existing set asks first; refusing leaves it as it was.
  std::string before = readFile(f / "set.z01") + readFile(f / "set.zip");
  int asked = 0;
  s.zip->OnStatusDisk = [&](TObject*, int, const String&, TZAZipDiskStatus status, TZADiskAction& action) {
    ++asked;
    EXPECT_TRUE(status.Contains(zdsSameFileName));
    action = zdaCancel;
  };
  {
    TZAZipCopy out(s.zip.get());
    EXPECT_FALSE(out.CreateSet(UTF8ToUTF16(f / "set.zip")));
  }
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(s.zip->ErrCode(), 2);
  EXPECT_EQ(readFile(f / "set.z01") + readFile(f / "set.zip"), before);
  // Unattended and without the event, a whole new set replaces it.
  s.zip->OnStatusDisk = nullptr;
  s.zip->SetMaxVolumeSizeKb(128);
  {
    TZAZipCopy out(s.zip.get());
    ASSERT_TRUE(out.CreateSet(UTF8ToUTF16(f / "set.zip")));
    ASSERT_EQ(out.WriteFile(*s.file, true), count);
  }
  ASSERT_EQ(run("cd '" + f.path() + "' && rm rejoined.zip && zip -q -s 0 set.zip --out rejoined.zip"), 0);
  EXPECT_EQ(pythonListing(f, f / "rejoined.zip"), pythonListing(f, f / "whole.zip"));
  // Parts smaller than the least room allowed cannot be written here.
  s.zip->SetMaxVolumeSizeKb(16);
  {
    TZAZipCopy out(s.zip.get());
    EXPECT_FALSE(out.CreateSet(UTF8ToUTF16(f / "small.zip")));
  }
  EXPECT_EQ(s.zip->ErrCode(), 121);
  EXPECT_FALSE(fs::exists(f / "small.z01"));
}

TEST(ZipWrite, NumberedPartNamesWhenTheOptionsAskForThem) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "big.bin", .data = randomBytes(150000, 5)});
  a.items.push_back({.name = "after.txt", .data = "after"});
  writeFile(f / "big.zip", a.build());
  Source s = openSource(f / "big.zip");
  ASSERT_EQ(s.result, 0);
  s.zip->SetMaxVolumeSizeKb(64);
  s.zip->SetSpanOptions(TZASpanOpts{spNoVolumeName});
  {
    TZAZipCopy out(s.zip.get());
    ASSERT_TRUE(out.CreateSet(UTF8ToUTF16(f / "set.zip")));
    ASSERT_EQ(out.WriteFile(*s.file, true), 2);
  }
  // set001.zip, set002.zip, set003.zip: numbered to the last part, no
  // set.zip and no .z01 beside them.
  std::vector<std::string> parts;
  for (const auto& n : names(f.path()))
    if (n.rfind("set", 0) == 0) parts.push_back(n);
  ASSERT_EQ(parts.size(), 3u);
  for (size_t k = 0; k < parts.size(); ++k) EXPECT_EQ(parts[k], "set00" + std::to_string(k + 1) + ".zip");
  EXPECT_EQ(readFile(f / "set001.zip").substr(0, 4), std::string("PK\x07\x08", 4));
  // The set is found and read back by its plain name, as any numbered set.
  Outcome o = extract(f / "set.zip", f / "out/");
  ASSERT_EQ(o.result, 0) << o.message;
  EXPECT_TRUE(readFile(f / "out/big.bin") == a.items[0].data);
  EXPECT_EQ(readFile(f / "out/after.txt"), "after");
}
