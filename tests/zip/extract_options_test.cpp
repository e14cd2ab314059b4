// What the settings of an extraction change: selection, folder names,
// passwords, cancelling, progress, file modes.
#include <sys/stat.h>

#include "tests/zip/zip_test_util.h"

using namespace ziptest;

namespace {

std::string threeFiles(const Folder& f) {
  Archive a;
  a.items.push_back({.name = "dicts/en.tamrix", .data = "en"});
  a.items.push_back({.name = "dicts/readme.txt", .data = "readme"});
  a.items.push_back({.name = "notes.txt", .data = "notes"});
  writeFile(f / "a.zip", a.build());
  return f / "a.zip";
}

}  // namespace

TEST(ZipExtractOptions, FileMasksSelectAndExclude) {
  Folder f;
  std::string archive = threeFiles(f);
  Outcome o = extract(archive, f / "sel/", TZAExtrOpts{ExtrDirNames, ExtrOverWrite}, [](TZipArchiver& zip) {
    zip.FSpecArgs()->Add(u"*.txt");
    zip.FSpecArgsExcl()->Add(u"dicts/*");
  });
  // The helper clears FSpecArgs before extracting, as the manager does:
  // everything comes out.
  EXPECT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(readFile(f / "sel/notes.txt"), "notes");
  EXPECT_FALSE(fs::exists(f / "sel/dicts/readme.txt"));  // still excluded
  EXPECT_EQ(readFile(f / "sel/dicts/en.tamrix"), "");     // excluded too
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(true);
  zip.SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR));
  zip.SetZipFileName(UTF8ToUTF16(archive));
  zip.SetExtrBaseDir(UTF8ToUTF16(f / "only/"));
  fs::create_directories(f / "only");
  zip.SetExtrOptions(TZAExtrOpts{ExtrDirNames});
  zip.FSpecArgs()->Add(u"*.tamrix");
  EXPECT_EQ(zip.Extract(), 0);
  EXPECT_EQ(tree(f / "only"), (std::vector<std::pair<std::string, std::string>>{{"dicts/", ""}, {"dicts/en.tamrix", "en"}}));
}

TEST(ZipExtractOptions, WithoutFolderNamesEverythingLandsInTheBase) {
  Folder f;
  std::string archive = threeFiles(f);
  Outcome o = extract(archive, f / "flat/", TZAExtrOpts{ExtrOverWrite});
  EXPECT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(tree(f / "flat"), (std::vector<std::pair<std::string, std::string>>{
                                  {"en.tamrix", "en"}, {"notes.txt", "notes"}, {"readme.txt", "readme"}}));
}

TEST(ZipExtractOptions, ForceDirsCreatesTheBase) {
  Folder f;
  std::string archive = threeFiles(f);
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(true);
  zip.SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR));
  zip.SetZipFileName(UTF8ToUTF16(archive));
  zip.SetExtrBaseDir(UTF8ToUTF16(f / "new/deeper/"));
  zip.SetExtrOptions(TZAExtrOpts{ExtrDirNames, ExtrForceDirs});
  EXPECT_EQ(zip.Extract(), 0) << UTF16ToUTF8(zip.ErrMessage());
  EXPECT_EQ(readFile(f / "new/deeper/notes.txt"), "notes");
}

TEST(ZipExtractOptions, PasswordsDecryptTraditionalEncryption) {
  Folder f;
  writeFile(f / "src/secret.txt", std::string(20000, 's') + "end");
  ASSERT_EQ(run("cd '" + f.path() + "src' && zip -q -P sesame ../enc.zip secret.txt"), 0);
  Outcome ok = extract(f / "enc.zip", f / "ok/", TZAExtrOpts{ExtrDirNames, ExtrOverWrite},
                       [](TZipArchiver& zip) { zip.SetPassword(u"sesame"); });
  EXPECT_EQ(ok.result, 0) << ok.message;
  EXPECT_EQ(readFile(f / "ok/secret.txt"), std::string(20000, 's') + "end");
  Outcome wrong = extract(f / "enc.zip", f / "wrong/", TZAExtrOpts{ExtrDirNames, ExtrOverWrite},
                          [](TZipArchiver& zip) { zip.SetPassword(u"open"); });
  EXPECT_EQ(wrong.result, 238) << wrong.message;
  EXPECT_FALSE(fs::exists(f / "wrong/secret.txt"));
  // Asked for through the event when none is set.
  int asked = 0;
  Outcome event = extract(f / "enc.zip", f / "event/", TZAExtrOpts{ExtrDirNames, ExtrOverWrite}, [&](TZipArchiver& zip) {
    zip.OnPasswordError = [&](TObject*, bool isZip, String& pw, const String& file, uint32_t&, TZADlgBtn&) {
      ++asked;
      EXPECT_FALSE(isZip);
      EXPECT_EQ(file, u"secret.txt");
      pw = u"sesame";
    };
  });
  EXPECT_EQ(event.result, 0) << event.message;
  EXPECT_EQ(asked, 1);
}

TEST(ZipExtractOptions, CancellingKeepsTheOldFileAndLeavesNoPart) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "big.tamrix", .data = std::string(3 << 20, 'b')});
  a.items.push_back({.name = "later.txt", .data = "later"});
  writeFile(f / "a.zip", a.build());
  writeFile(f / "out/big.tamrix", "old");
  Outcome o = extract(f / "a.zip", f / "out/", TZAExtrOpts{ExtrDirNames, ExtrOverWrite}, [](TZipArchiver& zip) {
    zip.OnProgress = [&zip](TObject*, TZAProgressDetails& d) {
      if (d.ProgressKind() == 1) zip.SetCancel(true);
    };
  });
  EXPECT_EQ(o.result, 2);
  auto left = tree(f / "out");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].first, "big.tamrix");
  EXPECT_TRUE(left[0].second == "old");
}

TEST(ZipExtractOptions, ProgressCountsItemsAndBytes) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "one.bin", .data = std::string(1 << 20, 'o')});
  a.items.push_back({.name = "two.bin", .data = std::string(300, 't')});
  writeFile(f / "a.zip", a.build());
  std::vector<int> percents;
  int64_t totalCount = 0, totalSize = 0;
  std::vector<String> names;
  Outcome o = extract(f / "a.zip", f / "out/", TZAExtrOpts{ExtrDirNames, ExtrOverWrite}, [&](TZipArchiver& zip) {
    zip.OnProgress = [&](TObject*, TZAProgressDetails& d) {
      if (d.ProgressKind() == 0) names.push_back(d.ItemName());
      if (d.ProgressKind() == 1) percents.push_back(d.ItemPerCent());
      totalCount = std::max(totalCount, d.TotalCount());
      totalSize = std::max(totalSize, d.TotalSize());
    };
  });
  ASSERT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(totalCount, 2);
  EXPECT_EQ(totalSize, (1 << 20) + 300);
  EXPECT_EQ(names, (std::vector<String>{u"one.bin", u"two.bin"}));
  ASSERT_GE(percents.size(), 3u);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end() - 1));
  EXPECT_LT(percents.front(), 100);
  EXPECT_EQ(percents.back(), 100);
}

TEST(ZipExtractOptions, ModesKeepPermissionBitsButNeverSpecialOnes) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "run.sh", .data = "#!/bin/sh\n", .extAttr = 0104755u << 16});
  a.items.push_back({.name = "plain.txt", .data = "p", .extAttr = 0100600u << 16});
  writeFile(f / "a.zip", a.build());
  Outcome o = extract(f / "a.zip", f / "out/");
  ASSERT_EQ(o.result, 0) << o.message;
  struct stat st;
  ASSERT_EQ(::stat((f / "out/run.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 04000, 0u);  // no set-user-id
  EXPECT_NE(st.st_mode & 0100, 0u);
  ASSERT_EQ(::stat((f / "out/plain.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(ZipExtractOptions, OverwriteEventDecides) {
  Folder f;
  std::string archive = threeFiles(f);
  writeFile(f / "out/notes.txt", "mine");
  writeFile(f / "out/dicts/en.tamrix", "mine");
  std::vector<String> asked;
  Outcome o = extract(archive, f / "out/", TZAExtrOpts{ExtrDirNames}, [&](TZipArchiver& zip) {
    zip.OnExtractOverwrite = [&](TObject*, const String& file, bool, bool& overwrite, int) {
      asked.push_back(file);
      overwrite = file == u"notes.txt";
    };
  });
  EXPECT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(readFile(f / "out/notes.txt"), "notes");
  EXPECT_EQ(readFile(f / "out/dicts/en.tamrix"), "mine");
}
