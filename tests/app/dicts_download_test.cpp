// The manager's download page against the real local site over HTTPS:
// the list of packages not yet installed, the download into temp/, the
// installation into dictionaries/, and every way a download can fail.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "app/dictionaries.h"
#include "platform/core/strings.h"
#include "platform/gui/extctrls.h"
#include "tests/app/main_form_util.h"
#include "tests/local_site.h"
#include "tests/other_file_system.h"

using apptest::readFile;
using apptest::writeFile;
namespace fs = std::filesystem;

namespace {

class Download : public apptest::MainWindow {
protected:
  void SetUp() override {
    MainWindow::SetUp();
    Dict("en").Properties("English", "en").Word({0, "FOX", "лиса"});
    List("en 1\r\n");
    fs::create_directories(Dir / "other");
    fs::copy_file(TAMRIX_ZIPLIB_FILE, Dir / "other/libziplib190.so");
  }
  void TearDown() override {
    unsetenv("SSL_CERT_FILE");
    Site.reset();
    fs::remove_all(Dir.string() + "-site");
    MainWindow::TearDown();
  }

  // Starts the site, trusts its authority and points the program at it.
  void Serve(const std::vector<std::string>& options = {}) {
    Site = std::make_unique<sitetest::LocalSite>(Dir.string() + "-site", options);
    ASSERT_TRUE(Site->Ok()) << "the local site did not start";
    setenv("SSL_CERT_FILE", Site->Ca().c_str(), 1);
    writeFile(Dir / "other/download_url", Site->Base() + "\n");
  }

  void OpenPage() {
    Start();
    Messages.clear();
    Manager->Show();
    Manager->PageControl2->SetActivePageIndex(1);
    Manager->PageControl2Change(Manager->PageControl2);
  }

  // "file:caption:size:words" per listed package.
  std::vector<std::string> Listed() {
    std::vector<std::string> out;
    TDataStringTree* t = Manager->MoreDicts;
    for (PDataNode n = t->GetFirst(); n; n = t->GetNextSibling(n)) {
      const auto* r = static_cast<MoreDictNodeType*>(t->GetNodeData(n));
      out.push_back(UTF16ToUTF8(r->FileName + u":" + r->Caption + u":" + r->Size + u":" + r->Words));
    }
    return out;
  }

  void Tick(const String& fileName) {
    TDataStringTree* t = Manager->MoreDicts;
    for (PDataNode n = t->GetFirst(); n; n = t->GetNextSibling(n))
      if (static_cast<MoreDictNodeType*>(t->GetNodeData(n))->FileName == fileName) {
        t->SetCheckState(n, csCheckedNormal);
        return;
      }
    ADD_FAILURE() << "not listed: " << UTF16ToUTF8(fileName);
  }

  void Install() { Manager->DIButtonClick(Manager->DIButton); }

  std::string Status() { return UTF16ToUTF8(Manager->Label4->Caption()); }

  // Expects one failure message holding every part, shown in the status
  // line too, with nothing installed and the button usable again.
  void ExpectFailure(const std::vector<std::string>& parts) {
    ASSERT_EQ(Messages.size(), 1u) << ::testing::PrintToString(Messages);
    for (const std::string& p : parts) {
      EXPECT_NE(Messages[0].find(p), std::string::npos) << Messages[0];
      EXPECT_NE(Status().find(p), std::string::npos) << Status();
    }
    EXPECT_EQ(Status().find("успешно"), std::string::npos);
    EXPECT_TRUE(Manager->DIButton->Enabled());
    EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "en 1\r\n");
  }

  std::vector<std::string> TempFiles() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(Dir / "temp")) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  std::unique_ptr<sitetest::LocalSite> Site;
};

}  // namespace

TEST_F(Download, ListsThePackagesNotInstalledAndInstallsTheTickedOnes) {
  // "en.zip" is the installed dictionary's package: not offered.
  Serve({"--filler", "big:4", "--row", "en.zip|English|1 КБ|1"});
  OpenPage();
  ASSERT_EQ(Listed().size(), 1u) << ::testing::PrintToString(Listed());
  EXPECT_EQ(Listed()[0], "big.zip:Большой словарь big:4.0 МБ:1");

  // Record what the status line and the bar show while the package comes.
  std::vector<std::string> seen;
  int highest = 0;
  TTimer watch(nullptr);
  watch.SetInterval(1);
  watch.OnTimer = [&](TObject*) {
    if (seen.empty() || seen.back() != Status()) seen.push_back(Status());
    highest = std::max(highest, Manager->DownLoadProgress->Position());
  };
  watch.SetEnabled(true);
  Tick(u"big.zip");
  Install();
  watch.SetEnabled(false);
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  EXPECT_EQ(Status(), "Установка выбранных словарей успешно завершена.");
  EXPECT_EQ(seen, (std::vector<std::string>{"Скачиваем словарь 1 из 1",
                                            "Скачивание успешно завершено. Идет распаковка словарей."}));
  EXPECT_GT(highest, 0);
  EXPECT_EQ(Manager->DownLoadProgress->Position(), 100);
  EXPECT_TRUE(Manager->DIButton->Enabled());
  // Installed, the package is removed from temp/, and nothing else stays.
  EXPECT_TRUE(TempFiles().empty()) << ::testing::PrintToString(TempFiles());
  EXPECT_EQ(fs::file_size(Dir / "dictionaries/big.tamrix"), fs::file_size(Site->Download() / "../made/big.tamrix"));
  // Unpacked, added to the list on top, active, and gone from the offer.
  EXPECT_TRUE(fs::exists(Dir / "dictionaries/big.tamrix"));
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "big 1\r\nen 1\r\n");
  EXPECT_TRUE(Listed().empty());
}

TEST_F(Download, TheSampleSiteOffersDictionariesThatSearchAfterInstalling) {
  Serve();
  OpenPage();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"en-ru-travel.zip:Англо-русский разговорник (пример):1 КБ:5",
                                                "ru-en-travel.zip:Русско-английский разговорник (пример):1 КБ:4"}));
  // Ticking nothing downloads nothing, and says that nothing was chosen.
  Install();
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Status(), "Не выбрано ни одного словаря. Пометьте галочками словари, которые хотите установить.");
  EXPECT_TRUE(Manager->DIButton->Enabled());
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "en 1\r\n");
  Tick(u"en-ru-travel.zip");
  Tick(u"ru-en-travel.zip");
  Install();
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "ru-en-travel 1\r\nen-ru-travel 1\r\nen 1\r\n");
  Form->FormActivate(Form);
  Search(u"ticket");
  EXPECT_EQ(Tree(), "Англо-русский разговорник (пример)(0,-1)[TICKET#3]");
}

TEST_F(Download, AMissingPackageIsReportedAndNeverSaved) {
  Serve({"--row", "missing.zip|Missing|1 КБ|1"});
  OpenPage();
  Tick(u"missing.zip");
  Install();
  ExpectFailure({Site->Base() + "missing.zip", "404"});
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(Download, ACutConnectionIsReportedAndLeavesNoFile) {
  Serve({"--cut", "en-ru-travel.zip"});
  OpenPage();
  Tick(u"en-ru-travel.zip");
  Install();
  ExpectFailure({Site->Base() + "en-ru-travel.zip"});
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_FALSE(fs::exists(Dir / "dictionaries/en-ru-travel.tamrix"));
}

TEST_F(Download, ACertificateNotTrustedIsRefused) {
  Serve();
  OpenPage();
  ASSERT_EQ(Listed().size(), 2u);
  // The site's authority is trusted by this test alone: without it the
  // system's store does not know the site.
  unsetenv("SSL_CERT_FILE");
  Tick(u"en-ru-travel.zip");
  Install();
  ExpectFailure({Site->Base() + "en-ru-travel.zip", "certificate"});
  EXPECT_TRUE(TempFiles().empty());
  // The list page is refused the same way, and the reason shown.
  Manager->UpdateMoreDicts();
  EXPECT_TRUE(Listed().empty());
  EXPECT_NE(Status().find(Site->Base()), std::string::npos) << Status();
  EXPECT_NE(Status().find("certificate"), std::string::npos) << Status();
}

TEST_F(Download, AnUnreachableSiteNamesTheAddress) {
  writeFile(Dir / "other/download_url", "https://127.0.0.1:1/download\n");
  OpenPage();
  EXPECT_TRUE(Listed().empty());
  EXPECT_NE(Status().find("https://127.0.0.1:1/download/"), std::string::npos) << Status();
  EXPECT_TRUE(Messages.empty()) << "the page's status line tells, no box";
}

TEST_F(Download, AnUnknownSizeShowsAMovingBarAndStillInstalls) {
  Serve({"--filler", "big:4", "--no-length", "big.zip"});
  OpenPage();
  bool marquee = false;
  TTimer watch(nullptr);
  watch.SetInterval(1);
  watch.OnTimer = [&](TObject*) { marquee = marquee || Manager->DownLoadProgress->Style() == pbstMarquee; };
  watch.SetEnabled(true);
  Tick(u"big.zip");
  Install();
  watch.SetEnabled(false);
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  EXPECT_TRUE(marquee);
  EXPECT_EQ(Manager->DownLoadProgress->Style(), pbstNormal);
  EXPECT_EQ(Manager->DownLoadProgress->Position(), 100);
  EXPECT_TRUE(fs::exists(Dir / "dictionaries/big.tamrix"));
}

TEST_F(Download, ARepeatedDownloadReplacesAnEarlierFile) {
  Serve();
  // Left by an earlier run that was killed half way, and by one that finished.
  writeFile(Dir / "temp/.tamrix-00000000000000ab", "half a package");
  writeFile(Dir / "temp/en-ru-travel.zip", "an older package");
  OpenPage();
  Tick(u"en-ru-travel.zip");
  Install();
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  // The older package was replaced (it would not unpack), and, installed,
  // removed; the half one was swept.
  EXPECT_TRUE(TempFiles().empty()) << ::testing::PrintToString(TempFiles());
  EXPECT_TRUE(fs::exists(Dir / "dictionaries/en-ru-travel.tamrix"));
}

TEST_F(Download, NamesWithFoldersAreNeverOffered) {
  Serve({"--row", "../escape.zip|Up|1|1", "--row", "sub/inner.zip|Down|1|1", "--row", "/abs.zip|Abs|1|1",
         "--row", "notzip.exe|Exe|1|1", "--row", "..zip|Dots|1|1", "--row", "ok name.zip|Fine|1|1"});
  OpenPage();
  std::vector<std::string> files;
  for (const std::string& row : Listed()) files.push_back(row.substr(0, row.find(':')));
  EXPECT_EQ(files, (std::vector<std::string>{"en-ru-travel.zip", "ru-en-travel.zip", "ok name.zip"}));
}

TEST_F(Download, APackageThatIsNotAnArchiveIsReported) {
  Serve({"--row", "broken.zip|Broken|1|1"});
  writeFile(Site->Download() / "broken.zip", "this is not a zip archive at all");
  OpenPage();
  Tick(u"broken.zip");
  Install();
  ExpectFailure({"broken.zip"});
}

TEST_F(Download, TheWindowStaysResponsiveWhileAPackageComes) {
  Serve({"--filler", "big:4"});
  OpenPage();
  // A click on the other page while the download runs is handled at once.
  bool clicked = false;
  TTimer later(nullptr);
  later.SetInterval(1);
  later.OnTimer = [&](TObject*) {
    later.SetEnabled(false);
    Manager->RefreshDicts->Click();
    clicked = true;
  };
  Tick(u"big.zip");
  later.SetEnabled(true);
  Install();
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  EXPECT_TRUE(fs::exists(Dir / "dictionaries/big.tamrix"));
}

TEST_F(Download, TheWindowMayGoWhileAPackageComes) {
  Serve({"--filler", "big:4"});
  OpenPage();
  // A handler run while the download waits frees the manager; the
  // download ends without touching it.
  TTimer later(nullptr);
  later.SetInterval(1);
  later.OnTimer = [&](TObject*) {
    later.SetEnabled(false);
    Manager->Free();
    Manager = nullptr;
  };
  Tick(u"big.zip");
  later.SetEnabled(true);
  TDictsForm* manager = Manager;
  manager->DIButtonClick(manager->DIButton);
  EXPECT_EQ(Manager, nullptr);
  EXPECT_EQ(DictsForm, nullptr);
  EXPECT_FALSE(fs::exists(Dir / "dictionaries/big.tamrix"));

  // The list page's wait as well, on a server that never answers.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&addr), &length), 0);
  writeFile(Dir / "other/download_url", "https://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/download/\n");
  Manager = new TDictsForm(nullptr);
  Manager->AfterConstruction();
  later.SetEnabled(true);
  Manager->UpdateMoreDicts();
  EXPECT_EQ(Manager, nullptr);
  close(silent);
}

TEST_F(Download, TheWindowMayGoWhileAPackageIsUnpacked) {
  Serve({"--filler", "big:32"});
  OpenPage();
  // Freed by a handler that runs while the package is unpacked: the
  // unpacking stops, nothing crashes, and no half file stays.
  bool freed = false;
  TTimer watch(nullptr);
  watch.SetInterval(1);
  watch.OnTimer = [&](TObject*) {
    if (!Manager || Status().find("распаковка") == std::string::npos) return;
    watch.SetEnabled(false);
    Manager->Free();
    Manager = nullptr;
    freed = true;
  };
  Tick(u"big.zip");
  watch.SetEnabled(true);
  TDictsForm* manager = Manager;
  manager->DIButtonClick(manager->DIButton);
  EXPECT_TRUE(freed);
  EXPECT_EQ(DictsForm, nullptr);
  EXPECT_EQ(apptest::temporariesIn(Dir / "dictionaries"), std::vector<std::string>{});
  const fs::path unpacked = Dir / "dictionaries/big.tamrix";
  if (fs::exists(unpacked)) {
    EXPECT_EQ(fs::file_size(unpacked), fs::file_size(Site->Download() / "../made/big.tamrix"));
  }
}

TEST_F(Download, TheManagerAnswersAndMayBeClosedWhileAPackageIsUnpacked) {
  Serve({"--filler", "big:32"});
  OpenPage();
  // Timers run while the package is unpacked; the manager is closed then,
  // and the package is installed all the same.
  int ticks = 0;
  TTimer watch(nullptr);
  watch.SetInterval(1);
  watch.OnTimer = [&](TObject*) {
    if (Status().find("распаковка") == std::string::npos) return;
    if (ticks++ == 0) Manager->Close();
  };
  Tick(u"big.zip");
  watch.SetEnabled(true);
  Install();
  watch.SetEnabled(false);
  EXPECT_GT(ticks, 0);
  EXPECT_FALSE(Manager->Visible());
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  EXPECT_EQ(Status(), "Установка выбранных словарей успешно завершена.");
  EXPECT_EQ(fs::file_size(Dir / "dictionaries/big.tamrix"), fs::file_size(Site->Download() / "../made/big.tamrix"));
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "big 1\r\nen 1\r\n");
}

TEST_F(Download, APackageWhoseEntriesLeaveTheFolderIsReported) {
  Serve({"--row", "evil.zip|Evil|1|1"});
  const std::string make = "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w'); "
                           "z.writestr('../escape.tamrix','x'); z.close()\" '" +
                           (Site->Download() / "evil.zip").string() + "'";
  ASSERT_EQ(std::system(make.c_str()), 0);
  OpenPage();
  Tick(u"evil.zip");
  Install();
  ExpectFailure({"evil.zip", "escape.tamrix"});
  EXPECT_FALSE(fs::exists(Dir / "escape.tamrix"));
}

TEST_F(Download, ARedirectFromHttpsToPlainHttpIsNotFollowed) {
  // The plain server would hand the package over: nothing may come from it.
  Serve({"--redirect-plain", "en-ru-travel.zip"});
  OpenPage();
  Tick(u"en-ru-travel.zip");
  Install();
  ExpectFailure({Site->Base() + "en-ru-travel.zip", "not an HTTPS address"});
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_FALSE(fs::exists(Dir / "dictionaries/en-ru-travel.tamrix"));
}

TEST_F(Download, ClosingTheManagerCancelsTheDownloadAndRemovesWhatCame) {
  // Five bytes a second: it would run for minutes.
  Serve({"--trickle", "en-ru-travel.zip"});
  OpenPage();
  const auto started = std::chrono::steady_clock::now();
  TTimer later(nullptr);
  later.SetInterval(1500);
  later.OnTimer = [&](TObject*) {
    later.SetEnabled(false);
    Manager->Close();
  };
  Tick(u"en-ru-travel.zip");
  later.SetEnabled(true);
  Install();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  EXPECT_NE(Status().find("en-ru-travel.zip"), std::string::npos) << Status();
  EXPECT_NE(Status().find("отменено"), std::string::npos) << Status();
  EXPECT_TRUE(Manager->DIButton->Enabled());
  EXPECT_TRUE(TempFiles().empty()) << ::testing::PrintToString(TempFiles());
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "en 1\r\n");
}

TEST_F(Download, ATransferSlowerThanTheFloorForTheWholeSpanEndsWithAMessage) {
  Serve({"--trickle", "en-ru-travel.zip"});
  OpenPage();
  Manager->SlowTransferSeconds = 2;
  Tick(u"en-ru-travel.zip");
  Install();
  ExpectFailure({Site->Base() + "en-ru-travel.zip", "slower than 1024 bytes a second for 2 seconds"});
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(Download, APackageNeverReplacesTheProgramsOwnFilesNorListsAFolder) {
  Serve({"--row", "bold.zip|Bold|1|1", "--row", "sly.zip|Sly|1|1"});
  fs::copy_file(Dir / "dictionaries/en.tamrix", Dir / "bold.tamrix");
  auto make = [&](const std::string& zip, const std::string& entries) {
    const std::string cmd =
        "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w'); " + entries +
        "z.write(sys.argv[2],sys.argv[3]); z.close()\" '" + (Site->Download() / zip).string() + "' '" +
        (Dir / "bold.tamrix").string() + "' '" + zip.substr(0, zip.size() - 4) + ".tamrix'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  };
  make("bold.zip", "z.writestr('dictionaries._','bold 0\\r\\nen 0\\r\\n'); z.writestr('x.tamrix/readme','a folder'); ");
  // An entry named like a temporary of the program's writers is refused by
  // the unpacking itself: the package is not installed, and the message
  // names the entry.
  make("sly.zip", "z.writestr('.tamrix-0123456789abcdef','x'); ");
  OpenPage();
  Tick(u"sly.zip");
  Install();
  ExpectFailure({"sly.zip", ".tamrix-0123456789abcdef"});
  EXPECT_FALSE(fs::exists(Dir / "dictionaries/.tamrix-0123456789abcdef"));
  EXPECT_FALSE(fs::exists(Dir / "dictionaries/sly.tamrix"));
  Messages.clear();

  OpenPage();
  Tick(u"bold.zip");
  Install();
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  // The dictionary is installed; the list is the program's, the folder is
  // no dictionary, and the status names what was passed over.
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "bold 1\r\nen 1\r\n");
  EXPECT_NE(Status().find("успешно"), std::string::npos) << Status();
  EXPECT_NE(Status().find("dictionaries._"), std::string::npos) << Status();
  EXPECT_TRUE(fs::is_directory(Dir / "dictionaries/x.tamrix"));
  Manager->RefreshDictsClick(Manager);
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "bold 1\r\nen 1\r\n");
}

TEST_F(Download, AProgramFolderWithoutTempStillDownloads) {
  Serve();
  OpenPage();
  fs::remove_all(Dir / "temp");
  Tick(u"en-ru-travel.zip");
  Install();
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  EXPECT_EQ(Status(), "Установка выбранных словарей успешно завершена.");
  EXPECT_TRUE(fs::exists(Dir / "dictionaries/en-ru-travel.tamrix"));
}

TEST_F(Download, ABatchWithAMissingPackageInstallsTheOthersAndNamesIt) {
  Serve({"--row", "gone.zip|Gone|1 КБ|1"});
  // The first of three is not on the site (404); the two after it come.
  fs::remove(Site->Download() / "en-ru-travel.zip");
  OpenPage();
  Tick(u"en-ru-travel.zip");
  Tick(u"ru-en-travel.zip");
  Tick(u"gone.zip");
  Install();
  // One message names each package that was not installed, and why; the
  // status line says it too, and how many were installed.
  ASSERT_EQ(Messages.size(), 1u) << ::testing::PrintToString(Messages);
  for (const std::string& part : {Site->Base() + "en-ru-travel.zip", Site->Base() + "gone.zip",
                                  std::string("404"), std::string("Установлено словарей: 1 из 3.")}) {
    EXPECT_NE(Messages[0].find(part), std::string::npos) << Messages[0];
    EXPECT_NE(Status().find(part), std::string::npos) << Status();
  }
  EXPECT_EQ(Messages[0].find("ru-en-travel"), std::string::npos) << Messages[0];
  EXPECT_EQ(Status().find("успешно"), std::string::npos) << Status();
  EXPECT_TRUE(Manager->DIButton->Enabled());
  // What came is installed, listed, and its package removed from temp/.
  EXPECT_TRUE(fs::exists(Dir / "dictionaries/ru-en-travel.tamrix"));
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "ru-en-travel 1\r\nen 1\r\n");
  EXPECT_TRUE(TempFiles().empty()) << ::testing::PrintToString(TempFiles());
  std::vector<std::string> files;
  for (const std::string& row : Listed()) files.push_back(row.substr(0, row.find(':')));
  EXPECT_EQ(files, (std::vector<std::string>{"en-ru-travel.zip", "gone.zip"}));
}

TEST_F(Download, PackagesInstallWhereverTempAndDictionariesAre) {
  const fs::path other = testfs::FolderOnAnotherFileSystem(Dir);
  if (other.empty()) GTEST_SKIP() << testfs::kNoOtherFileSystem;
  const testfs::RemovedAtEnd cleanup{other};
  Serve({"--row", "deep.zip|Deep|1|1"});
  // A package with folders of its own, new to dictionaries/.
  const std::string make = "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w'); "
                           "z.write(sys.argv[2],'deep.tamrix'); z.writestr('deep/pictures/a.png','picture'); "
                           "z.close()\" '" + (Site->Download() / "deep.zip").string() + "' '" +
                           (Dir / "dictionaries/en.tamrix").string() + "'";
  ASSERT_EQ(std::system(make.c_str()), 0);

  // temp/ on the other file system, dictionaries/ here.
  fs::remove_all(Dir / "temp");
  fs::create_directory(other / "temp");
  fs::create_directory_symlink(other / "temp", Dir / "temp");
  OpenPage();
  Tick(u"ru-en-travel.zip");
  Install();
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  EXPECT_EQ(Status(), "Установка выбранных словарей успешно завершена.");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Dir / "dictionaries/ru-en-travel.tamrix")));
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "ru-en-travel 1\r\nen 1\r\n");
  EXPECT_TRUE(fs::is_empty(other / "temp")) << "the package and what it unpacked stay in temp/";

  // dictionaries/ on the other file system, temp/ here.
  fs::remove(Dir / "temp");
  fs::create_directory(Dir / "temp");
  fs::copy(Dir / "dictionaries", other / "dictionaries", fs::copy_options::recursive);
  fs::remove_all(Dir / "dictionaries");
  fs::create_directory_symlink(other / "dictionaries", Dir / "dictionaries");
  const std::string before = readFile(Dir / "dictionaries/en.tamrix");
  Messages.clear();
  OpenPage();
  Tick(u"en-ru-travel.zip");
  Tick(u"deep.zip");
  Install();
  EXPECT_TRUE(Messages.empty()) << ::testing::PrintToString(Messages);
  EXPECT_EQ(Status(), "Установка выбранных словарей успешно завершена.");
  EXPECT_EQ(readFile(other / "dictionaries/deep.tamrix"), before);
  EXPECT_EQ(readFile(other / "dictionaries/deep/pictures/a.png"), "picture");
  EXPECT_TRUE(fs::exists(other / "dictionaries/en-ru-travel.tamrix"));
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "en-ru-travel 1\r\ndeep 1\r\nru-en-travel 1\r\nen 1\r\n");
  EXPECT_TRUE(apptest::temporariesIn(other / "dictionaries").empty());
  EXPECT_TRUE(TempFiles().empty()) << ::testing::PrintToString(TempFiles());
  // The new dictionaries answer.
  Form->FormActivate(Form);
  Search(u"ticket");
  EXPECT_EQ(Tree(), "Англо-русский разговорник (пример)(0,0)[TICKET#3]");
}

TEST_F(Download, APackageWithoutADictionaryIsNamedAndLeavesNothingBehind) {
  // Its one dictionary is in a folder; files of the same names stay as they were.
  Serve({"--row", "hollow.zip|Hollow|1|1"});
  ASSERT_EQ(std::system(("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w'); z.writestr('readme.txt',"
                         "'theirs'); z.writestr('sub/inner.tamrix','inner'); z.close()\" '" +
                         (Site->Download() / "hollow.zip").string() + "'").c_str()), 0);
  writeFile(Dir / "dictionaries/readme.txt", "mine");
  writeFile(Dir / "dictionaries/sub/keep.txt", "kept");
  OpenPage();
  Tick(u"hollow.zip");
  Tick(u"ru-en-travel.zip");
  Install();
  ASSERT_EQ(Messages, std::vector<std::string>{Status()});
  EXPECT_EQ(Status().find("Установлено словарей: 1 из 2. Не установлены: hollow.zip (в пакете нет словаря"), 0u);
  std::vector<std::string> left;
  for (const auto& e : fs::recursive_directory_iterator(Dir / "dictionaries"))
    left.push_back(fs::relative(e.path(), Dir / "dictionaries").string() + ":" +
                   (e.is_regular_file() ? readFile(e.path()).substr(0, 4) : ""));
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"dictionaries._:ru-e", "en.tamrix:SQLi", "readme.txt:mine",
                                            "ru-en-travel.tamrix:SQLi", "sub/keep.txt:kept", "sub:"}));
  EXPECT_TRUE(TempFiles().empty()) << ::testing::PrintToString(TempFiles());
}
