// The component's operation frame, its settings and its road through the
// library, as the dictionary manager drives them.
#include "tests/zip/zip_test_util.h"
#include "zip/zip_loader.h"
#include "zip/zip_operations.h"

using namespace ziptest;

namespace {

std::string smallArchive(const Folder& f, int files = 1) {
  Archive a;
  for (int i = 0; i < files; ++i) a.items.push_back({.name = "f" + std::to_string(i) + ".txt", .data = std::string(70000, 'a' + i)});
  writeFile(f / "a.zip", a.build());
  return f / "a.zip";
}

void setUp(TZipArchiver& zip, const std::string& archive, const std::string& dest) {
  zip.SetUnattended(true);
  zip.SetActive(true);
  zip.SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR));
  zip.SetDLL_Load(true);
  zip.SetZipFileName(UTF8ToUTF16(archive));
  zip.SetExtrBaseDir(UTF8ToUTF16(dest));
  zip.SetExtrOptions(TZAExtrOpts{ExtrDirNames, ExtrOverWrite});
}

}  // namespace

TEST(ZipComponent, InactiveMissingNameMissingFolderAndTestMode) {
  Folder f;
  std::string archive = smallArchive(f);
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(false);
  EXPECT_EQ(zip.Extract(), 197);
  zip.SetActive(true);
  // No archive named: refused before the library is even loaded.
  zip.SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR));
  EXPECT_EQ(zip.Extract(), 133);
  EXPECT_FALSE(TZADLLLoader::Instance().Loaded());
  zip.SetZipFileName(UTF8ToUTF16(archive));
  zip.SetExtrBaseDir(UTF8ToUTF16(f / "missing/"));
  EXPECT_EQ(zip.Extract(), 129);
  EXPECT_EQ(UTF16ToUTF8(zip.ErrMessage()), "Extract directory '" + f / "missing/" + "' must exist");
  zip.SetExtrOptions(TZAExtrOpts{ExtrTest});
  EXPECT_EQ(zip.Extract(), 0) << UTF16ToUTF8(zip.ErrMessage());
  // A missing archive is recorded without a box and stays the result.
  zip.SetZipFileName(UTF8ToUTF16(f / "gone.zip"));
  EXPECT_EQ(zip.ErrCode(), 123);
  EXPECT_EQ(zip.Extract(), 123);
}

TEST(ZipComponent, ReentryFromProgressIsRefusedAndDeactivationWaits) {
  Folder f;
  std::string archive = smallArchive(f, 3);
  fs::create_directories(f / "out");
  TZipArchiver zip(nullptr);
  setUp(zip, archive, f / "out/");
  std::vector<uint8_t> states;
  int nested = -1;
  zip.OnProgress = [&](TObject*, TZAProgressDetails&) {
    zip.SetExtrBaseDir(u"/elsewhere/");
    nested = zip.Extract();
    states.push_back(zip.State());
    zip.SetActive(false);
    zip.SetActive(true);   // cancels the pending deactivation
    zip.SetActive(false);  // pending again
  };
  // Inactive when it returns, so the call answers 197; no error was recorded.
  EXPECT_EQ(zip.Extract(), 197);
  EXPECT_EQ(zip.ErrCode(), 0) << UTF16ToUTF8(zip.ErrMessage());
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.front(), 4);
  EXPECT_EQ(nested, 0);
  EXPECT_EQ(UTF16ToUTF8(zip.ExtrBaseDir()), f / "out/");
  EXPECT_EQ(readFile(f / "out/f2.txt"), std::string(70000, 'c'));
  // The deactivation asked for during the run happened at its end.
  EXPECT_FALSE(zip.Active());
  EXPECT_EQ(zip.State(), 0);
}

TEST(ZipComponent, StateAfterARefusedReentryIsTwo) {
  Folder f;
  std::string archive = smallArchive(f);
  fs::create_directories(f / "out");
  TZipArchiver zip(nullptr);
  setUp(zip, archive, f / "out/");
  zip.OnProgress = [&](TObject*, TZAProgressDetails&) { zip.SetExtrBaseDir(u"/x/"); };
  zip.Extract();
  EXPECT_EQ(zip.State(), 2);
}

TEST(ZipComponent, SettingsClampAndNormalise) {
  TZipArchiver zip(nullptr);
  zip.SetPasswordReqCount(40);
  EXPECT_EQ(zip.PasswordReqCount(), 15u);
  zip.SetMaxVolumeSizeKb(3);
  EXPECT_EQ(zip.MaxVolumeSize(), 3072);
  zip.SetMaxVolumeSize(-5);
  EXPECT_EQ(zip.MaxVolumeSize(), 0);
  zip.SetExtAddStoreSuffixes(u"abc;.DEF");
  EXPECT_EQ(UTF16ToUTF8(zip.ExtAddStoreSuffixes()), ".abc:.def:");
  EXPECT_TRUE(zip.AddStoreSuffixes().Contains(assEXT));
  EXPECT_EQ(UTF16ToUTF8(zip.StoreSuffixList()).substr(0, 12), ".gif:.png:.z");
  EXPECT_NE(UTF16ToUTF8(zip.StoreSuffixList()).find(".avi:.abc:.def:"), std::string::npos);
  EXPECT_EQ(UTF16ToUTF8(zip.StoreSuffixList()).find(".exe:"), std::string::npos);
  zip.SetTempDir(u"/tmp");
  EXPECT_EQ(UTF16ToUTF8(zip.TempDir()), "/tmp/");
  EXPECT_EQ(UTF16ToUTF8(zip.Version()), "1.9.1.0019");
}

TEST(ZipComponent, ItemPerCent) {
  TProgDetails d;
  d.Update(0, 0, u"empty");
  EXPECT_EQ(d.ItemPerCent(), 0);
  d.Update(0, 4000000000LL, u"big");
  d.Update(1, 4000000000LL, String());
  EXPECT_EQ(d.ItemPerCent(), 100);
  d.Update(0, 3, u"x");
  d.Update(1, 1, String());
  EXPECT_EQ(d.ItemPerCent(), 33);
}

TEST(ZipComponent, LibraryHoldCountsAcrossComponents) {
  Folder f;
  std::string archive = smallArchive(f);
  auto& loader = TZADLLLoader::Instance();
  {
    TZipArchiver a(nullptr), b(nullptr);
    for (TZipArchiver* z : {&a, &b}) {
      z->SetActive(true);
      z->SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR));
      z->SetDLL_Load(true);
      EXPECT_TRUE(z->DLL_Load());
    }
    EXPECT_EQ(loader.Version(), 190);
    EXPECT_GE(loader.PrivVersion(), 1900111);
    EXPECT_EQ(UTF16ToUTF8(loader.Name()), "libziplib190.so");
    a.SetDLL_Load(false);
    EXPECT_TRUE(loader.Loaded());
    b.SetDLL_Load(false);
    EXPECT_FALSE(loader.Loaded());
  }
  // Loaded by an exact file name too.
  TZipArchiver c(nullptr);
  c.SetActive(true);
  c.SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR) + u"/libziplib190.so");
  c.SetDLL_Load(true);
  EXPECT_TRUE(loader.Loaded());
  c.SetDLL_Load(false);
  // A folder without the library is an error, never a search elsewhere.
  c.SetDLLDirectory(UTF8ToUTF16(f.path()));
  c.SetDLL_Load(true);
  EXPECT_EQ(c.ErrCode(), 19);
  EXPECT_FALSE(loader.Loaded());
}

TEST(ZipComponent, CallbackAnswersAndResults) {
  TZipArchiver zip(nullptr);
  zip.SetActive(true);
  TZADLLOpr op(&zip);
  ZLCallbackRec rec{};
  rec.Caller = &op;
  rec.Check = ZL_CALLBACK_CHECK;
  for (int code : {17, 20}) {
    rec.ActionCode = code;
    EXPECT_EQ(op.Callback(&rec), -1) << code;
  }
  rec.ActionCode = ZL_CB_ABORTHANDLE;
  rec.Arg1 = 77;
  EXPECT_EQ(op.Callback(&rec), 0);
  // The file-selection lines come from the copy taken when the operation started.
  zip.SavedSpecs().Add(u"*.tamrix");
  rec.ActionCode = ZL_CB_REQUEST;
  rec.Arg1 = ZL_REQ_SPEC;
  rec.Arg3 = 0;
  EXPECT_EQ(op.Callback(&rec), 1);
  ASSERT_EQ(rec.IsUTF16, 1);
  EXPECT_EQ(String(static_cast<const char16_t*>(rec.Msg)), u"*.tamrix");
  rec.Arg1 = ZL_REQ_SPEC;
  rec.Arg3 = 1;
  EXPECT_EQ(op.Callback(&rec), 0);
  EXPECT_EQ(rec.Arg3, 1);
  rec.Arg1 = 9;
  EXPECT_EQ(op.Callback(&rec), -5);
  // A message with an error number sets ErrCode once, with the prefix text.
  rec = ZLCallbackRec{};
  rec.Caller = &op;
  rec.Check = ZL_CALLBACK_CHECK;
  rec.ActionCode = ZL_CB_MESSAGE;
  rec.Msg = " bad.txt";
  rec.Arg1 = int32_t(ZL_ERR_BAD_NAME | ZL_MSG_PREFIX);
  op.Callback(&rec);
  EXPECT_EQ(zip.ErrCode(), 257);
  EXPECT_EQ(UTF16ToUTF8(zip.ErrMessage()), "Invalid characters in filename! bad.txt");
  rec.Arg1 = ZL_ERR_CREATE;
  op.Callback(&rec);
  EXPECT_EQ(zip.ErrCode(), 257);
  // An exception in a handler never crosses into the library.
  zip.OnCRC32Error = [](TObject*, const String&, uint32_t, uint32_t, bool&) { throw Exception("handler failed"); };
  rec.ActionCode = ZL_CB_CRCERROR;
  rec.Msg = "x";
  EXPECT_EQ(op.Callback(&rec), -4);
}

TEST(ZipComponent, UnattendedEncryptedEntryNeverPrompts) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "s.txt", .data = "s", .method = 0, .flags = 1, .raw = std::string(13, 'e')});
  writeFile(f / "a.zip", a.build());
  fs::create_directories(f / "out");
  int dialogs = 0;
  TZipArchiver zip(nullptr);
  zip.OnZipDialog = [&](TObject*, const String&, String&, int& result, TZADlgBtns) {
    ++dialogs;
    result = 2;
  };
  setUp(zip, f / "a.zip", f / "out/");
  std::vector<String> texts;
  zip.OnMessage = [&](TObject*, int, const String& t) { texts.push_back(t); };
  EXPECT_EQ(zip.Extract(), 238);
  EXPECT_EQ(dialogs, 0);
  bool warned = false;
  for (auto& t : texts) warned = warned || t == u"Warning - Unattended Extract: possible not all files extracted";
  EXPECT_TRUE(warned);
}

TEST(ZipComponent, ListsTheArchiveAndHidesFolderEntries) {
  Folder f;
  Archive a;
  a.items.push_back({.name = "dir/", .data = "", .method = 0});
  a.items.push_back({.name = "dir/x.txt", .data = "x"});
  writeFile(f / "a.zip", a.build());
  TZipArchiver zip(nullptr);
  zip.SetActive(true);
  int updates = 0;
  zip.OnDirUpdate = [&](TObject*) { ++updates; };
  zip.SetZipFileName(UTF8ToUTF16(f / "a.zip"));
  EXPECT_GT(updates, 0);
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(UTF16ToUTF8(zip.DirEntry(0)->FileName()), "dir/x.txt");
  zip.SetUseDirOnlyEntries(true);
  EXPECT_EQ(zip.Count(), 2);
}

TEST(ZipComponent, LibraryVersionsAndResults) {
  Folder f;
  std::string archive = smallArchive(f);
  fs::create_directories(f / "out");
  auto run = [&](const char* version, const char* result) {
    setenv("ZL_FAKE_VERSION", version, 1);
    setenv("ZL_FAKE_RESULT", result, 1);
    TZipArchiver zip(nullptr);
    setUp(zip, archive, f / "out/");
    zip.SetDLLDirectory(UTF8ToUTF16(TAMRIX_FAKE_ZIPLIB_DIR));
    zip.SetDLL_Load(false);
    int code = zip.Extract();
    return std::make_pair(code, UTF16ToUTF8(zip.ErrMessage()));
  };
  EXPECT_EQ(run("191", "0").first, 18);
  EXPECT_EQ(run("191", "0").second, "Unable to load f - It is old or corrupt");
  EXPECT_EQ(run("190", "0").first, 0);
  EXPECT_EQ(run("190", "-40"), std::make_pair(192, std::string("critical DLL Error 40")));
  EXPECT_EQ(run("190", "-2").first, 2);
  EXPECT_EQ(run("190", "-6"), std::make_pair(237, std::string("Fatal error")));
  // A callback record with a wrong check value is refused with -5.
  setenv("ZL_FAKE_CHECK", "1800", 1);
  setenv("ZL_FAKE_EXPECT", "-5", 1);
  EXPECT_EQ(run("190", "0").first, 0);
  unsetenv("ZL_FAKE_CHECK");
  unsetenv("ZL_FAKE_EXPECT");
  unsetenv("ZL_FAKE_VERSION");
  unsetenv("ZL_FAKE_RESULT");
}

TEST(ZipComponent, SettingsMadeWhileInactiveApplyOnActivation) {
  Folder f;
  std::string archive = smallArchive(f, 2);
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(false);
  EXPECT_EQ(zip.State(), 0);
  zip.SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR));
  zip.SetDLL_Load(true);
  zip.SetZipFileName(UTF8ToUTF16(archive));
  EXPECT_EQ(zip.Count(), 0);
  EXPECT_FALSE(TZADLLLoader::Instance().IsAttached(&zip));
  zip.SetActive(true);
  EXPECT_EQ(zip.State(), 1);
  EXPECT_EQ(zip.Count(), 2);
  EXPECT_TRUE(zip.DLL_Load());
  zip.SetDLL_Load(false);
  EXPECT_FALSE(TZADLLLoader::Instance().Loaded());
}
