// The dictionary manager of the real program on a virtual display: a
// package downloaded from the local HTTPS site and installed, and a
// dictionary dragged up the search order.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <fstream>

#include "tests/e2e/app/app_e2e_support.h"
#include "tests/local_site.h"
#include "tests/other_file_system.h"

namespace {

using e2e::Sh;

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Manager : public e2e::Program {
protected:
  void TearDown() override {
    e2e::Program::TearDown();
    unsetenv("SSL_CERT_FILE");
  }

  // Opens the manager from the main window's "словари" button (at the
  // bottom of the left panel) and finds its window.
  void OpenManager() {
    Click(8 + 43, 8 + (600 - 80) - 52 + 12);
    std::vector<unsigned long> found;
    ASSERT_TRUE(e2e::Await("the manager to open", [&] { return !(found = e2e::VisibleWindows(kManager)).empty(); }));
    ManagerWindow = found.front();
  }
  bool ManagerShown() {
    const std::vector<unsigned long> shown = e2e::VisibleWindows(kManager);
    return std::find(shown.begin(), shown.end(), ManagerWindow) != shown.end();
  }
  // Closes the manager as its close box does; the main window takes the
  // keyboard once the manager has gone.
  void CloseManager() {
    ASSERT_TRUE(e2e::RequestClose(ManagerWindow));
    ASSERT_TRUE(e2e::Await("the manager to close", [&] { return !ManagerShown(); }));
    Focus();
  }

  // A click at a point of the manager's window.
  void ClickManager(int x, int y) {
    Sh("xdotool mousemove --window " + std::to_string(ManagerWindow) + " " + std::to_string(x) + " " +
       std::to_string(y) + " click 1");
  }
  // Whether the manager's rectangle shows anything dark (text, a tick).
  bool Inked(int x, int y, int w, int h) {
    const std::vector<unsigned char> area = Area(x, y, w, h, ManagerWindow);
    for (size_t i = 0; i + 2 < area.size(); i += 3)
      if (area[i] + area[i + 1] + area[i + 2] < 200) return true;
    return false;
  }

  // Starts the program on the local site, opens the manager and turns to
  // its second page, the site's packages.
  // Arrange, when given, changes the program's folder before it starts.
  void OpenDownloadPage(const sitetest::LocalSite& site, const std::function<void()>& Arrange = {}) {
    Prepare();
    std::ofstream(Folder / "other/download_url") << site.Base() << "\n";
    if (Arrange) Arrange();
    // The site's authority is trusted by this program run alone.
    setenv("SSL_CERT_FILE", site.Ca().c_str(), 1);
    Start();
    OpenManager();
    ClickManager(370 - 112, 97 - 84);
    // The list the site sent, its first row's caption drawn.
    ASSERT_TRUE(e2e::Await("the site's packages to be listed", [&] { return Inked(60, 86, 200, 12); }, 20000));
  }

  // Ticks a package's box (the first row at 92, rows 18 pixels apart) and
  // waits for the tick.
  void Tick(int row) {
    const std::vector<unsigned char> before = Area(33, 86 + 18 * row, 12, 12, ManagerWindow);
    ClickManager(39, 92 + 18 * row);
    ASSERT_TRUE(e2e::Await("the package's box to be ticked",
                           [&] { return Area(33, 86 + 18 * row, 12, 12, ManagerWindow) != before; }));
  }
  // Ticks the first package (English-Russian) and installs it.
  void InstallFirstPackage() {
    Tick(0);
    ClickManager(60, 287);
  }

  // Waits for the message box the program shows (titled as the program).
  unsigned long WaitForMessageBox() {
    std::string box;
    if (!e2e::WaitFor([&] {
          box = Sh("xdotool search --onlyvisible --name '^tamrix 5.7$' | head -n1");
          return !box.empty();
        }))
      return 0;
    return std::stoul(box);
  }

  static constexpr const char* kManager = "^ Конфигуратор Словарей$";
  unsigned long ManagerWindow = 0;
};

}  // namespace

TEST_F(Manager, DownloadAndInstallAPackageFromTheSite) {
  sitetest::LocalSite site(Folder.string() + "-site", {});
  ASSERT_TRUE(site.Ok()) << "the local site did not start";
  OpenDownloadPage(site);
  InstallFirstPackage();
  const auto installed = Folder / "dictionaries/en-ru-travel.tamrix";
  ASSERT_TRUE(e2e::WaitFor([&] { return std::filesystem::exists(installed); }, 20000))
      << readFile(Folder / "tamrix.log");
  // The list of dictionaries is written once the package is in.
  EXPECT_TRUE(e2e::WaitFor([&] {
    return readFile(Folder / "dictionaries/dictionaries._").rfind("en-ru-travel 1\r\n", 0) == 0;
  }, 20000)) << readFile(Folder / "dictionaries/dictionaries._");
  Screenshot("manager-installed");
  EXPECT_FALSE(std::filesystem::exists(Folder / "dictionaries/ru-en-travel.tamrix"));
  // The new dictionary answers a search in the main window.
  CloseManager();
  Type("ticket");
  EnterQuery();
  const std::string a = ArticleOnce([](const std::string& t) { return t.find("билет") != std::string::npos; }, 15000);
  EXPECT_NE(a.find("билет"), std::string::npos) << a.substr(0, 200);
}

TEST_F(Manager, DragADictionaryUpAndSave) {
  Start();
  OpenManager();
  // Rows of the list sit 18 pixels apart from y = 76 of the window; the
  // third (the demo dictionary) is dragged onto the first.
  const std::string w = std::to_string(ManagerWindow);
  // The list drawn: its third row's caption.
  ASSERT_TRUE(e2e::Await("the manager's list to be drawn", [&] { return Inked(60, 76 + 2 * 18 + 2, 200, 12); }));
  const std::vector<unsigned char> listBefore = Area(8, 76, 300, 3 * 18, ManagerWindow);
  Sh("xdotool mousemove --window " + w + " 138 112 mousedown 1");
  for (int y = 108; y >= 76; y -= 4) Sh("xdotool mousemove --window " + w + " 140 " + std::to_string(y));
  Sh("xdotool mouseup 1");
  // The rows drawn in their new order.
  ASSERT_TRUE(e2e::Await("the list to show the dragged row moved",
                         [&] { return Area(8, 76, 300, 3 * 18, ManagerWindow) != listBefore; }));
  Screenshot("manager-dragged");
  // "сохранить" writes the new order.
  ClickManager(60, 307);
  std::string list;
  EXPECT_TRUE(e2e::WaitFor([&] { return (list = readFile(Folder / "dictionaries/dictionaries._")).rfind("demo 1\r\n", 0) == 0; }))
      << list;
  EXPECT_NE(list.find("en-ru-mueller 1\r\nru-en-mueller 1\r\n"), std::string::npos) << list;
}

// A download that fails (the connection is cut halfway) says so in a
// message box that belongs to the manager; once it is answered the manager
// is still in front of the main window it disables, and belongs to it.
TEST_F(Manager, AfterAFailedDownloadTheManagerStaysInFront) {
  sitetest::LocalSite site(Folder.string() + "-site", {"--cut", "en-ru-travel.zip"});
  ASSERT_TRUE(site.Ok()) << "the local site did not start";
  OpenDownloadPage(site);
  EXPECT_EQ(e2e::TransientFor(ManagerWindow), Window) << "the manager does not belong to the main window";
  InstallFirstPackage();
  std::string box;
  ASSERT_TRUE(e2e::WaitFor([&] {
    box = Sh("xdotool search --onlyvisible --name '^tamrix 5.7$' | head -n1");
    return !box.empty();
  })) << "the failure was not said";
  const unsigned long boxWindow = std::stoul(box);
  EXPECT_EQ(e2e::TransientFor(boxWindow), ManagerWindow) << "the message box does not belong to the manager";
  Screenshot("manager-failed-box");
  ASSERT_TRUE(e2e::GiveFocus(boxWindow));
  Key("Return");
  ASSERT_TRUE(e2e::WaitFor([&] { return Sh("xdotool search --onlyvisible --name '^tamrix 5.7$'").empty(); }))
      << "the message box stayed";
  // Nothing may move the manager behind once the box is answered.
  e2e::Settle(1000);
  Screenshot("manager-after-failure");
  const std::vector<unsigned long> order = e2e::StackingOrder();
  const auto at = [&](unsigned long w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
  EXPECT_GT(at(ManagerWindow), at(Window)) << "the manager fell behind the main window";
  EXPECT_TRUE(Sh("xdotool search --onlyvisible --name '^ Конфигуратор Словарей$'").find(std::to_string(ManagerWindow)) !=
              std::string::npos)
      << "the manager is not shown";
  EXPECT_EQ(e2e::TransientFor(ManagerWindow), Window);
  // The manager still answers: closing it gives the main window back.
  ASSERT_TRUE(e2e::RequestClose(ManagerWindow));
  ASSERT_TRUE(e2e::RequestClose(Window));
  EXPECT_EQ(e2e::ExitCode(Pid), 0);
}

// Closing the manager stops a download that crawls and takes what came of it.
TEST_F(Manager, ClosingTheManagerStopsADownloadThatCrawls) {
  // Five bytes a second: the package would take many minutes.
  sitetest::LocalSite site(Folder.string() + "-site", {"--trickle", "en-ru-travel.zip"});
  ASSERT_TRUE(site.Ok()) << "the local site did not start";
  OpenDownloadPage(site);
  InstallFirstPackage();
  // What has come so far is in temp/ under a temporary name.
  auto partial = [&] {
    for (const auto& e : std::filesystem::directory_iterator(Folder / "temp"))
      if (e.path().filename().string().rfind(".tamrix-", 0) == 0) return true;
    return false;
  };
  ASSERT_TRUE(e2e::WaitFor(partial, 20000)) << "the download did not start";
  CloseManager();
  EXPECT_TRUE(e2e::WaitFor([&] { return !partial(); }, 20000)) << "the download went on after the manager closed";
  EXPECT_FALSE(std::filesystem::exists(Folder / "temp/en-ru-travel.zip"));
  EXPECT_FALSE(std::filesystem::exists(Folder / "dictionaries/en-ru-travel.tamrix"));
  // The main window answers.
  Type("house");
  EnterQuery();
  const std::string a = ArticleOnce([](const std::string& t) { return t.find("HOUSE") != std::string::npos; }, 15000);
  EXPECT_NE(a.find("HOUSE"), std::string::npos) << a.substr(0, 200);
}

// The program's dictionaries/ is a link to a folder on another file system
// (a second drive, a RAM disk): a package is installed there all the same,
// whole, and its package leaves temp/.
TEST_F(Manager, APackageInstallsIntoDictionariesOnAnotherFileSystem) {
  const std::filesystem::path other = testfs::FolderOnAnotherFileSystem(TAMRIX_BUILD_DIR);
  if (other.empty()) GTEST_SKIP() << testfs::kNoOtherFileSystem;
  const testfs::RemovedAtEnd cleanup{other};
  sitetest::LocalSite site(Folder.string() + "-site", {});
  ASSERT_TRUE(site.Ok()) << "the local site did not start";
  OpenDownloadPage(site, [&] {
    std::filesystem::copy(Folder / "dictionaries", other / "dictionaries", std::filesystem::copy_options::recursive);
    std::filesystem::remove_all(Folder / "dictionaries");
    std::filesystem::create_directory_symlink(other / "dictionaries", Folder / "dictionaries");
  });
  InstallFirstPackage();
  const auto installed = other / "dictionaries/en-ru-travel.tamrix";
  ASSERT_TRUE(e2e::WaitFor([&] { return readFile(Folder / "dictionaries/dictionaries._").rfind("en-ru-travel 1\r\n", 0) == 0; },
                           20000))
      << "not installed: " << readFile(Folder / "dictionaries/dictionaries._");
  // No failure may be said once the package is in.
  e2e::Settle(1000);
  Screenshot("manager-installed-elsewhere");
  EXPECT_TRUE(Sh("xdotool search --onlyvisible --name '^tamrix 5.7$'").empty()) << "a failure was shown";
  EXPECT_EQ(readFile(installed), readFile(site.Download() / "../made/en-ru-travel.tamrix"));
  EXPECT_FALSE(std::filesystem::exists(Folder / "temp/en-ru-travel.zip")) << "the package stayed in temp/";
  EXPECT_FALSE(std::filesystem::exists(Folder / "temp/unpacked"));
  for (const auto& e : std::filesystem::directory_iterator(other / "dictionaries"))
    EXPECT_NE(e.path().filename().string().rfind(".tamrix-", 0), 0u) << "a temporary file stayed: " << e.path();
  // The new dictionary answers a search in the main window.
  CloseManager();
  Type("ticket");
  EnterQuery();
  const std::string a = ArticleOnce([](const std::string& t) { return t.find("билет") != std::string::npos; }, 15000);
  EXPECT_NE(a.find("билет"), std::string::npos) << a.substr(0, 200);
}

// Of two packages ticked, the first is not on the site (404): the second
// is installed all the same, and a message says what was not.
TEST_F(Manager, ABatchWithOneMissingPackageInstallsTheOther) {
  sitetest::LocalSite site(Folder.string() + "-site", {});
  ASSERT_TRUE(site.Ok()) << "the local site did not start";
  std::filesystem::remove(site.Download() / "en-ru-travel.zip");
  OpenDownloadPage(site);
  Tick(0);
  Tick(1);
  Screenshot("manager-batch-ticked");
  ClickManager(60, 287);
  const unsigned long box = WaitForMessageBox();
  ASSERT_NE(box, 0u) << "the missing package was not said";
  Screenshot("manager-batch-box");
  EXPECT_TRUE(std::filesystem::exists(Folder / "dictionaries/ru-en-travel.tamrix"));
  EXPECT_FALSE(std::filesystem::exists(Folder / "dictionaries/en-ru-travel.tamrix"));
  EXPECT_EQ(readFile(Folder / "dictionaries/dictionaries._").rfind("ru-en-travel 1\r\n", 0), 0u)
      << readFile(Folder / "dictionaries/dictionaries._");
  EXPECT_FALSE(std::filesystem::exists(Folder / "temp/ru-en-travel.zip")) << "the installed package stayed in temp/";
  ASSERT_TRUE(e2e::GiveFocus(box));
  Key("Return");
  ASSERT_TRUE(e2e::WaitFor([&] { return Sh("xdotool search --onlyvisible --name '^tamrix 5.7$'").empty(); }))
      << "the message box stayed";
  CloseManager();
  Type("билет");
  EnterQuery();
  const std::string a = ArticleOnce([](const std::string& t) { return t.find("ticket") != std::string::npos; }, 15000);
  EXPECT_NE(a.find("ticket"), std::string::npos) << a.substr(0, 200);
  ASSERT_TRUE(e2e::RequestClose(Window));
  EXPECT_EQ(e2e::ExitCode(Pid), 0);
}
