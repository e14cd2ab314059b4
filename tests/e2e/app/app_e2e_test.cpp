// The real program on a virtual display, driven as a user would: typing,
// clicking, the clipboard from another program, the hot key and the tray.
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "tests/e2e/app/app_e2e_support.h"

namespace {

using e2e::Sh;

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Tamrix : public e2e::Program {
protected:
  // Opens the icon's menu; Menu: the menu's window once it shows (a click
  // before it shows goes elsewhere).
  void OpenTrayMenu(unsigned long& Menu) {
    Menu = 0;
    // Clicked where the tray host shows the icon, once it stays there.
    int x = 0, y = 0;
    std::string place;
    ASSERT_TRUE(e2e::Await("the icon in the tray", [&] { return e2e::TrayIconCentre("tamrix", x, y, place); },
                           10000, [&] { return place; }));
    // Two right clicks on the icon within the double-click time make a
    // double click, which opens no menu: the next comes once the display's
    // clock, which times the clicks, has passed that time since the last.
    if (FLastIconClick) {
      unsigned long now = 0;
      ASSERT_TRUE(e2e::Await("the double-click time to pass on the display's clock", [&] {
        return (now = e2e::DisplayTime()) >= FLastIconClick + kDoubleClickTime;
      }, 10000, [&] { return std::to_string(now - FLastIconClick) + " ms since the last click"; }));
    }
    // The menu is a window of the program's own class.
    const std::vector<unsigned long> before = e2e::VisibleWindows("tamrix", true);
    Sh("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 3");
    // xdotool has ended: the display has taken the click, at this time or
    // before.
    FLastIconClick = e2e::DisplayTime();
    std::vector<unsigned long> shown;
    auto seen = [&] {
      std::string ids;
      for (unsigned long w : shown) ids += std::to_string(w) + " ";
      return "the program's windows shown " + ids + "(before the click " + std::to_string(before.size()) +
             "; clicked at " + std::to_string(x) + "," + std::to_string(y) + "); running: " +
             std::to_string(e2e::Running(Pid)) + "; its output: " + Log();
    };
    ASSERT_TRUE(e2e::Await("the tray menu to show", [&] {
      for (unsigned long w : shown = e2e::VisibleWindows("tamrix", true))
        if (std::find(before.begin(), before.end(), w) == before.end()) Menu = w;
      return Menu != 0;
    }, 10000, seen));
  }
  void AwaitMenuClosed(unsigned long menu) {
    ASSERT_TRUE(e2e::Await("the tray menu to close", [&] {
      const std::vector<unsigned long> shown = e2e::VisibleWindows("tamrix", true);
      return std::find(shown.begin(), shown.end(), menu) == shown.end();
    }));
  }
  // The menu's items, one below the other filling its height: "развернуть",
  // "свернуть", "выход". The program may have no focused window, so the
  // item is clicked rather than chosen with keys.
  void ChooseFromTrayMenu(int item) {
    unsigned long menu = 0;
    ASSERT_NO_FATAL_FAILURE(OpenTrayMenu(menu));
    int x = 0, y = 0, width = 0, height = 0;
    Origin(x, y, menu, &width, &height);
    ASSERT_GT(height, 0) << "the menu's geometry";
    Sh("xdotool mousemove " + std::to_string(x + width / 2) + " " + std::to_string(y + height * (2 * item + 1) / 6) +
       " click 1");
    ASSERT_NO_FATAL_FAILURE(AwaitMenuClosed(menu));
  }
  std::string Log() { return readFile(Folder / "tamrix.log"); }

  // Longer than the toolkit's double-click time (400 ms).
  static constexpr unsigned long kDoubleClickTime = 700;
  // The display's time of the last click on the icon, 0 before the first.
  unsigned long FLastIconClick = 0;
};

// A process the test started, killed when the test ends, however it ends.
struct KilledAtEnd {
  int Pid;
  ~KilledAtEnd() { kill(Pid, SIGKILL); }
};

// Alive, and not a zombie waiting for its parent.
bool alive(int pid) {
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// How much a process has written to its error output so far, when that
// is a file.
std::uintmax_t errorOutputSize(int pid) {
  std::error_code e;
  const auto size = std::filesystem::file_size("/proc/" + std::to_string(pid) + "/fd/2", e);
  return e ? 0 : size;
}

const std::string kTraySettings =
    "HideToSysTray=-1;\r\nAutoStart=0;\r\nMinimizeAtClosing=-1;\r\nFontColor=clBlack;\r\nFontSize=12;\r\n"
    "FontName=DejaVu Sans;\r\nBgColor=clWhite;\r\nWordAutoSelect=-1;\r\nUseSkin=0;\r\nUseBgColor=-1;\r\n"
    "UseFontStyle=-1;\r\nCurrentSkin=noSkin;\r\nMainFormWidth=800;\r\nMainFormHeight=600;\r\nUseCtrlC=-1;\r\n";

// Pixels of the article view that are clearly coloured (neither grey nor
// the blue of links): a picture.
int colouredPixels(const e2e::Shot& s, int x0, int y0) {
  int n = 0;
  for (int y = y0 + 60; y < std::min(s.Height, y0 + 480); ++y)
    for (int x = x0 + 290; x < std::min(s.Width, x0 + 740); ++x) {
      const e2e::Rgb p = s.At(x, y);
      const int hi = std::max({p.R, p.G, p.B}), lo = std::min({p.R, p.G, p.B});
      if (hi - lo > 60 && !(p.B > 150 && p.R < 100 && p.G < 100)) ++n;
    }
  return n;
}

}  // namespace

TEST_F(Tamrix, TypeAWordAndEnterShowsTheTreeAndTheArticle) {
  Start();
  Type("house");
  EnterQuery();
  const std::string a = ArticleOnce([](const std::string& t) { return t.find("HOUSE") != std::string::npos; }, 15000);
  EXPECT_NE(a.find("HOUSE"), std::string::npos) << a.substr(0, 200);
  EXPECT_NE(a.find("дом"), std::string::npos) << a.substr(0, 200);
}

TEST_F(Tamrix, APrefixOfAnEarlierQueryLooksUpWhatWasTyped) {
  Start();
  Type("handle");
  EnterQuery();
  std::string a = ArticleOnce([](const std::string& t) { return t.rfind("HANDLE", 0) == 0; }, 15000);
  ASSERT_EQ(a.rfind("HANDLE", 0), 0u) << a.substr(0, 200);
  // Back into the query box (the search left the focus in the tree), the
  // old text selected and typed over.
  Click(100, 20);
  Key("ctrl+a");
  Type("hand");
  EnterQuery();
  a = ArticleOnce([](const std::string& t) { return t.rfind("HAND", 0) == 0; }, 15000);
  EXPECT_EQ(a.rfind("HAND", 0), 0u) << a.substr(0, 200);
  EXPECT_NE(a.rfind("HANDLE", 0), 0u) << "the box filled in the earlier query";
}

TEST_F(Tamrix, CompletionListsWhileTyping) {
  Start();
  Type("hous");
  // The list holds the first dictionary's headwords from "HOUSE" on.
  ClickTreeRow(1);
  const std::string a = Article();
  EXPECT_EQ(a.rfind("HOUSE", 0), 0u) << a.substr(0, 200);
}

TEST_F(Tamrix, PercentListsEveryHeadword) {
  Start();
  Type("%");
  EnterQuery();
  ClickTreeRow(2);
  const std::string a = Article();
  EXPECT_FALSE(a.empty());
  EXPECT_NE(a, "-");
}

TEST_F(Tamrix, NothingFound) {
  Start();
  Type("zzqxw");
  EnterQuery();
  ClickTreeRow(0);
  const std::string a =
      ArticleOnce([](const std::string& t) { return t.find("ничего не найдено") != std::string::npos; }, 15000);
  EXPECT_NE(a.find("ничего не найдено"), std::string::npos) << a.substr(0, 200);
}

// Tests that click what they see need the screenshot to hold the screen as
// it is: the window where the display puts it, the bare root around it.
TEST_F(Tamrix, TheScreenshotShowsTheWindowWhereItIs) {
  Start();
  int x0 = 0, y0 = 0;
  Origin(x0, y0);
  ASSERT_GT(x0, 0);
  const e2e::Shot s = e2e::Screen();
  ASSERT_EQ(s.Width, 1024);
  ASSERT_EQ(s.Height, 768);
  // The empty article view is white, the root outside the window black.
  for (const auto& [dx, dy] : {std::pair{300, 100}, std::pair{450, 300}, std::pair{600, 450}}) {
    const e2e::Rgb p = s.At(x0 + dx, y0 + dy);
    EXPECT_EQ(p.R + p.G + p.B, 3 * 255) << dx << "," << dy;
  }
  const e2e::Rgb root = s.At(x0 - 1, y0 - 1);
  EXPECT_EQ(root.R + root.G + root.B, 0);
}

TEST_F(Tamrix, AWordLinkSearchesItsWord) {
  Start();
  // The Russian-English article lists its English words as links.
  Type("ёлка");
  EnterQuery();
  std::string a = ArticleOnce([](const std::string& t) { return t.find("ёлка ж.") != std::string::npos; }, 15000);
  ASSERT_NE(a.find("ёлка ж."), std::string::npos) << a.substr(0, 200);
  int x0 = 0, y0 = 0;
  Origin(x0, y0);
  // The link's box: the blue pixels of its first line, looked for until the
  // article is drawn (a machine loaded by other test programs may take
  // several seconds).
  int lx = -1, ly = -1, rx = -1;
  e2e::WaitFor([&] {
    const e2e::Shot s = e2e::Screen();
    for (int y = y0 + 60; y < y0 + 480 && lx < 0; ++y)
      for (int x = x0 + 290; x < x0 + 740; ++x) {
        const e2e::Rgb p = s.At(x, y);
        if (p.B > 150 && p.R < 100 && p.G < 100) {
          if (lx < 0) {
            lx = x - x0;
            ly = y - y0;
          }
          rx = x - x0;
        }
      }
    return lx >= 0;
  }, 30000);
  ASSERT_GE(lx, 0) << "no link drawn in the article";
  // Into the middle of the word: the linked word's article follows.
  Click((lx + rx) / 2, ly + 5);
  a = ArticleOnce([](const std::string& t) { return t.rfind("FIR", 0) == 0; }, 15000);
  EXPECT_EQ(a.rfind("FIR", 0), 0u) << a.substr(0, 200);
}

TEST_F(Tamrix, APictureAppearsInTheDemoArticle) {
  Start();
  Type("forest");
  EnterQuery();
  // English-Russian first (root, FOREST), then the demo dictionary.
  ClickTreeRow(3);
  int x0 = 0, y0 = 0;
  Origin(x0, y0);
  int coloured = 0;
  e2e::WaitFor([&] { return (coloured = colouredPixels(e2e::Screen(), x0, y0)) > 500; }, 15000);
  EXPECT_GT(coloured, 500);
}

TEST_F(Tamrix, HotKeyFromAnotherWindowFocusesTheQueryBox) {
  Start();
  ClickTreeRow(0);
  const std::vector<unsigned long> trayer = e2e::VisibleWindows("trayer", true);
  ASSERT_FALSE(trayer.empty());
  ASSERT_TRUE(e2e::GiveFocus(trayer.front()));
  Key("ctrl+alt+space");
  ASSERT_TRUE(e2e::Await("the hot key to give the main window the keyboard",
                         [&] { return e2e::FocusedWindow() == Window; }));
  Type("fox");
  EnterQuery();
  const std::string a = ArticleOnce([](const std::string& t) { return t.rfind("FOX", 0) == 0; }, 15000);
  EXPECT_EQ(a.rfind("FOX", 0), 0u) << a.substr(0, 200);
}

TEST_F(Tamrix, TheSameTextCopiedTwiceIsSearched) {
  Start();
  CopyTwice("wolf");
  // The article is read (through the clipboard, which would end the pair)
  // only once the search the pair made has ended.
  ASSERT_TRUE(e2e::Await("a search of the copied text to end", [&] { return SelectedRow() >= 0; }));
  const std::string a = ArticleOnce([](const std::string& t) { return t.rfind("WOLF", 0) == 0; }, 15000);
  EXPECT_EQ(a.rfind("WOLF", 0), 0u) << a.substr(0, 200);
}

// The desktop's opener (here a script first on PATH, as xdg-open) starts a
// program for the link "tamrix в сети" and ends; that program (a player,
// say) warns on its error output again and again, as players do. It lives
// on after the opener, and after this program too.
TEST_F(Tamrix, AProgramOpenedFromALinkOutlivesTheOpenerAndWarnsOnItsErrorOutput) {
  Prepare();
  const auto bin = Folder / "desktop-bin";
  std::filesystem::create_directories(bin);
  const std::string dir = Folder.string();
  std::ofstream(bin / "xdg-open") << "#!/bin/sh\n"
                                     "( while :; do echo 'player: warning' >&2 || exit 1; sleep 0.05; done ) &\n"
                                     "echo $! > '" << dir << "/player.pid'\n"
                                     "echo $$ > '" << dir << "/opener.pid'\n"
                                     "sleep 0.3\n"
                                     "touch '" << dir << "/opener.done'\n";
  std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
  const std::string path = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
  Start();
  setenv("PATH", path.c_str(), 1);
  // The link sits at the right below the article view (its panel at 286, 8,
  // 490 x 520 in the shipped 800 x 600 window).
  Click(286 + 490 - 100 + 30, 8 + 520 + 7 + 6);
  ASSERT_TRUE(e2e::WaitFor([&] { return std::filesystem::exists(Folder / "opener.done"); }))
      << "the opener did not run";
  const int player = std::stoi(readFile(Folder / "player.pid"));
  // It runs on its own for ever: ended here however the test ends.
  const KilledAtEnd ender{player};
  const int opener = std::stoi(readFile(Folder / "opener.pid"));
  ASSERT_TRUE(e2e::Await("the opener to end", [&] { return !alive(opener); }));
  EXPECT_TRUE(alive(player)) << "the program the opener started died with it";
  // It still writes, and this program goes on: the next step is taken.
  auto writes = [&](const char* what) {
    const auto written = errorOutputSize(player);
    EXPECT_TRUE(e2e::Await(what, [&] { return errorOutputSize(player) > written; }));
  };
  writes("the program the opener started to write once more");
  ASSERT_TRUE(e2e::RequestClose(Window));
  EXPECT_EQ(e2e::ExitCode(Pid), 0) << Log();
  EXPECT_TRUE(alive(player)) << "the program the opener started died with this one";
  writes("the program the opener started to write after this one ended");
}

TEST_F(Tamrix, CloseBoxHidesToTheTrayAndTheTrayMenuBringsItBack) {
  Prepare(kTraySettings);
  Start();
  ASSERT_TRUE(e2e::RequestClose(Window));
  ASSERT_TRUE(e2e::WaitFor([&] { return !Visible(); })) << "the close box did not hide the window";
  EXPECT_TRUE(e2e::Running(Pid));
  ASSERT_NO_FATAL_FAILURE(ChooseFromTrayMenu(0));
  ASSERT_TRUE(e2e::WaitFor([&] { return Visible(); }))
      << "the tray menu did not bring the window back; visible: "
      << Sh("xdotool search --onlyvisible --name tamrix") << " window " << Window;
  // Its "выход" ends the program, cleanly.
  ASSERT_NO_FATAL_FAILURE(ChooseFromTrayMenu(2));
  EXPECT_EQ(e2e::ExitCode(Pid), 0) << Log();
}

// Every way out ends with exit code 0, once the tray menu has been shown
// (it leaves toolkit windows behind that must end before the toolkit).
TEST_F(Tamrix, EveryWayOutAfterTheTrayMenuEndsCleanly) {
  // From the hidden window, through the menu.
  Prepare(kTraySettings);
  Start();
  ASSERT_TRUE(e2e::RequestClose(Window));
  ASSERT_TRUE(e2e::WaitFor([&] { return !Visible(); })) << "the close box did not hide the window";
  ASSERT_NO_FATAL_FAILURE(ChooseFromTrayMenu(2));
  // The next part starts another program, which would find this one's hot
  // key taken while it ran.
  ASSERT_EQ(e2e::ExitCode(Pid), 0) << Log();
  // The close box, with the icon shown and the menu opened and left once.
  Prepare("HideToSysTray=-1;\r\nMinimizeAtClosing=0;\r\nFontName=DejaVu Sans;\r\nMainFormWidth=800;\r\n"
          "MainFormHeight=600;\r\n");
  Start();
  unsigned long menu = 0;
  ASSERT_NO_FATAL_FAILURE(OpenTrayMenu(menu));
  Key("Escape");
  ASSERT_NO_FATAL_FAILURE(AwaitMenuClosed(menu));
  ASSERT_NO_FATAL_FAILURE(ChooseFromTrayMenu(1));
  ASSERT_TRUE(e2e::WaitFor([&] { return !Visible(); })) << "\"свернуть\" did not hide the window";
  ASSERT_NO_FATAL_FAILURE(ChooseFromTrayMenu(0));
  ASSERT_TRUE(e2e::WaitFor([&] { return Visible(); })) << "\"развернуть\" did not bring the window back";
  ASSERT_TRUE(e2e::RequestClose(Window));
  EXPECT_EQ(e2e::ExitCode(Pid), 0) << Log();
}

TEST_F(Tamrix, ClosingWritesTheSettingsAndEmptiesTemp) {
  Prepare("FontSize=13;\r\nWordAutoSelect=-1;\r\n");
  std::ofstream(Folder / "temp/left.wav") << "x";
  Start();
  Screenshot(::testing::UnitTest::GetInstance()->current_test_info()->name());
  ASSERT_TRUE(e2e::RequestClose(Window));
  ASSERT_EQ(e2e::ExitCode(Pid), 0) << Log();
  EXPECT_TRUE(std::filesystem::is_empty(Folder / "temp"));
  const std::string settings = readFile(Folder / "other/settings");
  EXPECT_NE(settings.find("FontSize=13;\r\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("CurrentSkin=noSkin;\r\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("UseCtrlC=0;\r\n"), std::string::npos) << settings;
}

// A program folder the user cannot write. The tests run as root, who may
// write into any folder: the writes are made to fail for root too, a
// folder standing where the settings and the help style sheet are written
// (no file can be renamed over a folder).
TEST_F(Tamrix, AFolderThatCannotBeWrittenStillSearchesAndTheCloseBoxEndsTheProgram) {
  Prepare();
  for (const char* file : {"other/settings", "help/style.css"}) {
    std::filesystem::remove(Folder / file);
    std::filesystem::create_directories(Folder / file / "kept");
  }
  setenv("XDG_CONFIG_HOME", (Folder / "config").c_str(), 1);
  Pid = e2e::Spawn({(Folder / "tamrix").string()}, Folder / "tamrix.log");
  Started.push_back(Pid);
  // The style sheet's failure is said in a message box before the window
  // shows; it is answered as a user would.
  auto box = [] { return Sh("xdotool search --onlyvisible --name '^tamrix 5.7$' | head -n1"); };
  std::string found;
  ASSERT_TRUE(e2e::WaitFor([&] { return !(found = box()).empty() || !e2e::Running(Pid); }, 60000))
      << "no message box";
  ASSERT_FALSE(found.empty()) << Sh("cat " + (Folder / "tamrix.log").string());
  ASSERT_TRUE(e2e::GiveFocus(std::stoul(found)));
  Key("Return");
  TakeMainWindow();
  Type("wolf");
  EnterQuery();
  const std::string a = ArticleOnce([](const std::string& t) { return t.rfind("WOLF", 0) == 0; }, 15000);
  EXPECT_EQ(a.rfind("WOLF", 0), 0u) << a.substr(0, 200);
  // The close box: the settings cannot be saved, which is said, and the
  // program ends.
  ASSERT_TRUE(e2e::RequestClose(Window));
  ASSERT_TRUE(e2e::WaitFor([&] { return !(found = box()).empty() || !e2e::Running(Pid); }));
  ASSERT_FALSE(found.empty()) << "the failed save was not said";
  ASSERT_TRUE(e2e::GiveFocus(std::stoul(found)));
  Key("Return");
  EXPECT_EQ(e2e::ExitCode(Pid), 0) << Log();
}
