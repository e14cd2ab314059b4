// The data trees in a real window on a virtual X server, driven from
// outside with xdotool as a user would: clicks, keys, Cyrillic typed
// through the keyboard map, the scroll bar thumb, check boxes, and the
// focus leaving in the middle of a press. The window reports its state in a
// file; each test keeps a screenshot of its end state.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_wait.h"
#include "tests/e2e/xvfb_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct TRow {
  int X = 0, Y = 0, W = 0, H = 0, TextX = 0, TextW = 0, Level = 0, Check = 0;
  std::string Caption;
  int midY() const { return Y + H / 2; }
  int textMidX() const { return TextX + std::max(1, TextW / 2); }
};

struct TState {
  std::map<std::string, std::string> Values;
  std::vector<TRow> Results, Manager, Editor;
  std::string get(const std::string& key) const {
    auto it = Values.find(key);
    return it == Values.end() ? std::string() : it->second;
  }
  long num(const std::string& key, int index = 0) const {
    std::istringstream in(get(key));
    long v = 0;
    for (int i = 0; i <= index; ++i) in >> v;
    return v;
  }
  const TRow* row(const std::vector<TRow>& rows, const std::string& caption) const {
    for (const TRow& r : rows)
      if (r.Caption == caption) return &r;
    return nullptr;
  }
};

class E2ETree : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Server = new TServer;
    if (!Server->Start()) {
      delete Server;
      Server = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete Server;
    Server = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(Server, nullptr) << "Xvfb could not be started (scripts/deps installs it)";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FName = info->name();
    FStateFile = (fs::temp_directory_path() / ("tamrix-e2e-" + std::to_string(getpid()) + "-" + FName)).string();
    fs::remove(FStateFile);
    const pid_t parent = getpid();
    FPid = fork();
    if (FPid == 0) {
      e2e::EndWithParent(parent);
      setenv("DISPLAY", Server->Display.c_str(), 1);
      setenv("QT_QPA_PLATFORM", "xcb", 1);
      execl(TAMRIX_TREE_WINDOW, TAMRIX_TREE_WINDOW, FStateFile.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_TRUE(waitFor([&](const TState& s) { return !s.Results.empty() && s.get("focus") == "results"; }))
        << "the window came up with the result list focused";
    // Without a window manager the keyboard goes where it is sent: to this
    // window, and the keys come only once it has them.
    std::string window;
    ASSERT_TRUE(e2e::Await("the window on the display", [&] {
      window = out("xdotool search --onlyvisible --name '^tamrix tree e2e$' | head -n1");
      return !window.empty();
    }));
    xdo("windowfocus " + window);
    ASSERT_TRUE(waitFor([](const TState& s) { return s.get("active") == "1"; })) << "the window has the keyboard";
  }

  void TearDown() override {
    if (Server) {
      fs::create_directories(TAMRIX_E2E_SHOTS);
      const std::string shot = std::string(TAMRIX_E2E_SHOTS) + "/tree_" + FName + ".png";
      sh("import -display " + Server->Display + " -window root " + shot);
    }
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
    }
    fs::remove(FStateFile);
  }

  int sh(const std::string& command) { return std::system(("DISPLAY=" + Server->Display + " " + command).c_str()); }
  // A command's output, its last line break dropped.
  std::string out(const std::string& command) {
    std::string text;
    if (FILE* p = popen(("DISPLAY=" + Server->Display + " " + command).c_str(), "r")) {
      char buf[256];
      while (std::fgets(buf, sizeof buf, p)) text += buf;
      pclose(p);
    }
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  void xdo(const std::string& args) { ASSERT_EQ(sh("xdotool " + args), 0) << args; }
  void clickAt(int x, int y) { xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"); }
  void moveTo(int x, int y) { xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)); }

  TState read() {
    TState s;
    std::ifstream f(FStateFile);
    std::string line;
    bool complete = false;
    while (std::getline(f, line)) {
      if (line == "end") {
        complete = true;
        break;
      }
      const auto space = line.find(' ');
      const std::string key = line.substr(0, space);
      const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
      if (key == "results.row" || key == "manager.row" || key == "editor.row") {
        TRow r;
        std::istringstream in(value);
        in >> r.X >> r.Y >> r.W >> r.H >> r.TextX >> r.TextW >> r.Level >> r.Check;
        std::getline(in >> std::ws, r.Caption);
        (key == "results.row" ? s.Results : key == "manager.row" ? s.Manager : s.Editor).push_back(r);
      } else {
        s.Values[key] = value;
      }
    }
    if (!complete) s = TState{};
    return s;
  }

  // Reads the window's state until pred holds; a failure shows the state
  // last read (without its rows).
  ::testing::AssertionResult waitFor(const std::function<bool(const TState&)>& pred, int ms = 8000) {
    return e2e::Await(
        "the window's state", [&] {
          FLast = read();
          return !FLast.Values.empty() && pred(FLast);
        },
        ms, [&] {
          std::string seen;
          for (const auto& [key, value] : FLast.Values) seen += key + "=" + value + "; ";
          return seen;
        });
  }
  const TState& last() const { return FLast; }

  static TServer* Server;
  std::string FName, FStateFile;
  pid_t FPid = -1;
  TState FLast;
};

TServer* E2ETree::Server = nullptr;

const int kIndent = 18, kMargin = 4;

TEST_F(E2ETree, ClickAHeadwordAndExpandAndCollapseWithKeysAndTheButton) {
  const TRow* first = last().row(last().Results, "Словарь 1");
  ASSERT_NE(first, nullptr);
  clickAt(first->textMidX(), first->midY());
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.focused") == "Словарь 1"; }));
  xdo("key Right");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.expanded") == "1000"; }));
  const TRow* word = nullptr;
  ASSERT_TRUE(waitFor([&](const TState& s) { return s.row(s.Results, "жук 0.1") != nullptr; }));
  word = last().row(last().Results, "жук 0.1");
  clickAt(word->textMidX(), word->midY());
  ASSERT_TRUE(waitFor([](const TState& s) {
    return s.get("results.focused") == "жук 0.1" && s.get("results.selected") == "1";
  }));
  xdo("key Left");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.focused") == "Словарь 1"; }));
  xdo("key Left");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.expanded") == "0000"; }));
  // The expand button of the second dictionary, then once more to close it.
  // Opening brings its headwords into view, which moves its row up to the
  // top: each click looks for the row where it is now.
  auto clickButtonOf = [&](const char* caption) {
    ASSERT_TRUE(waitFor([&](const TState& s) { return s.row(s.Results, caption) != nullptr; }));
    // A copy: every wait reads the state anew and frees the rows read before.
    const TRow row = *last().row(last().Results, caption);
    clickAt(row.X + kIndent / 2, row.midY());
  };
  clickButtonOf("Словарь 2");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.expanded") == "0100"; }));
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.top") == "Словарь 2"; }))
      << "the opened dictionary's headwords come into view below it";
  clickButtonOf("Словарь 2");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.expanded") == "0000"; }));
  clickButtonOf("Словарь 2");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.expanded") == "0100"; }));
}

TEST_F(E2ETree, PageDownReachesTheEndOfATallTreeAndTheThumbTakesItThereToo) {
  xdo("key ctrl+shift+KP_Add");  // expand everything
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.expanded") == "1111"; }));
  ASSERT_GT(last().num("results.range"), 65536) << "taller than a 16-bit scroll range";
  xdo("key Home");
  for (int round = 0; round < 40; ++round) {
    xdo("key --delay 1 --repeat 25 Next");
    if (waitFor([](const TState& s) { return s.get("results.focused") == s.get("results.last"); }, 300)) break;
  }
  ASSERT_EQ(last().get("results.focused"), "ёж 3.999");
  EXPECT_EQ(last().get("results.bottom"), "ёж 3.999");
  EXPECT_EQ(last().num("results.offsety"), last().num("results.range", 1) - last().num("results.range"))
      << "scrolled to the very end";
  sh("import -display " + Server->Display + " -window root " + std::string(TAMRIX_E2E_SHOTS) +
     "/tree_PageDownToTheEnd.png");

  // Back to the top, then the thumb dragged to the bottom of its bar.
  xdo("key ctrl+Home");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.num("results.offsety") == 0; }));
  const long wx = last().num("results.window"), wy = last().num("results.window", 1);
  const long ww = last().num("results.window", 2), wh = last().num("results.window", 3);
  const long cx = last().num("results.window", 4), cw = last().num("results.window", 6);
  const long bar = cx + cw;  // the strip right of the client area
  const long barWidth = wx + ww - bar;
  ASSERT_GT(barWidth, 4) << "a vertical scroll bar is shown";
  const long x = bar + barWidth / 2;
  xdo("mousemove " + std::to_string(x) + " " + std::to_string(wy + barWidth + 6) + " mousedown 1");
  for (long y = wy + barWidth + 40; y < wy + wh + 60; y += 60) moveTo(int(x), int(y));
  moveTo(int(x), int(wy + wh + 80));
  xdo("mouseup 1");
  ASSERT_TRUE(waitFor([](const TState& s) {
    return s.num("results.offsety") == s.num("results.range", 1) - s.num("results.range");
  })) << "the thumb at the bottom shows the end";
  // The bar takes its final position once the drag has ended.
  waitFor([](const TState& s) { return s.num("results.vscroll", 3) != 0; });
  EXPECT_EQ(last().get("results.bottom"), "ёж 3.999") << "the last row is reachable";
  // The row shown matches the thumb: the offset is the thumb's position.
  const long pos = last().num("results.vscroll", 3), max = last().num("results.vscroll", 1);
  const long page = last().num("results.vscroll", 2);
  EXPECT_EQ(pos + page - 1, max);
  EXPECT_EQ(-last().num("results.offsety"), pos);
}

TEST_F(E2ETree, CheckBoxesChangeOncePerClickAndNotWhenReleasedElsewhere) {
  auto box = [](const TRow& r) { return std::make_pair(r.X + kIndent + kMargin + 4, r.midY()); };
  ASSERT_GE(last().Manager.size(), 4u);
  auto [x0, y0] = box(last().Manager[0]);
  clickAt(x0, y0);
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("manager.checks") == "20000000"; }));
  clickAt(x0, y0);
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("manager.checks") == "00000000"; }));
  clickAt(x0, y0);
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("manager.checks") == "20000000"; }));
  // Pressed on the second row, released on the third: nothing changes.
  auto [x1, y1] = box(last().Manager[1]);
  auto [x2, y2] = box(last().Manager[2]);
  xdo("mousemove " + std::to_string(x1) + " " + std::to_string(y1) + " mousedown 1");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("manager.checks") == "21000000"; })) << "pressed look";
  moveTo(x2, y2);
  xdo("mouseup 1");
  // Once the window has seen the release, nothing is left to change.
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("buttons") == "0"; }));
  EXPECT_EQ(last().get("manager.checks"), "20000000");
}

TEST_F(E2ETree, TypingCyrillicSearchesIncrementally) {
  xdo("key Down");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.focused") == "Словарь 1"; }));
  xdo("key Right");  // open the first dictionary
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.expanded") == "1000"; }));
  xdo("type --delay 80 жу");
  // "ж" alone already finds the same node: the outcome is read once both
  // letters have come.
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("results.search") == "жу"; }))
      << "focused: " << last().get("results.focused") << ", typed: " << last().get("results.search");
  EXPECT_EQ(last().get("results.focused"), "жук 0.1");
}

TEST_F(E2ETree, LosingTheFocusInTheMiddleOfACheckPressLeavesTheBox) {
  auto box = [](const TRow& r) { return std::make_pair(r.X + kIndent + kMargin + 4, r.midY()); };
  auto [x, y] = box(last().Manager[2]);
  xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " mousedown 1");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("manager.pending") == "1"; }));
  xdo("key shift+Tab");  // the focus goes back to the result list
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("focus") == "results"; }));
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("manager.pending") == "0"; }));
  xdo("mouseup 1");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("buttons") == "0"; }));
  EXPECT_EQ(last().get("manager.checks"), "00000000") << "the late release commits nothing";
  clickAt(x, y);
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("manager.checks") == "00200000"; }))
      << "the next click works";
}

// A caption edited in place: a click on the focused caption opens the
// editor after the edit delay, typing replaces the selected text, Enter
// stores it; F2 opens it at once and Escape leaves the caption as it was.
TEST_F(E2ETree, EditACaptionInPlace) {
  ASSERT_TRUE(waitFor([](const TState& s) { return s.row(s.Editor, "edit me") != nullptr; }));
  const TRow row = *last().row(last().Editor, "edit me");
  clickAt(row.textMidX(), row.midY());
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("focus") == "editor" && s.get("editor.focused") == "edit me"; }));
  // A second click on the focused caption, away from a double click: the
  // gap is measured in the server's time stamps of the two presses, which
  // a busy machine only makes longer.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  clickAt(row.textMidX(), row.midY());
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("editor.editing") == "1"; })) << "the editor opened";
  xdo("type --delay 20 renamed");
  xdo("key Return");
  ASSERT_TRUE(waitFor([](const TState& s) {
    return s.get("editor.editing") == "0" && s.get("editor.texts") == "short|a caption far too long for its column|renamed|";
  })) << last().get("editor.texts");
  EXPECT_EQ(last().get("focus"), "editor") << "the tree has the focus back";

  xdo("key F2");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("editor.editing") == "1"; }));
  xdo("type --delay 20 discarded");
  xdo("key Escape");
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("editor.editing") == "0"; }));
  EXPECT_EQ(last().get("editor.texts"), "short|a caption far too long for its column|renamed|");
}

// Resting the mouse on a caption that its column cuts off shows the whole
// caption over it; a caption that fits shows none.
TEST_F(E2ETree, AHintShowsTheWholeOfACutOffCaption) {
  ASSERT_TRUE(waitFor([](const TState& s) { return s.row(s.Editor, "short") != nullptr; }));
  const TRow cut = *last().row(last().Editor, "a caption far too long for its column");
  const TRow fits = *last().row(last().Editor, "short");
  moveTo(cut.TextX + 10, cut.midY());
  moveTo(cut.TextX + 12, cut.midY());
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("hint.text") == "a caption far too long for its column"; }))
      << "hint: '" << last().get("hint.text") << "'";
  EXPECT_NEAR(last().num("hint.window"), cut.TextX - 1, 2) << "laid over the caption";
  EXPECT_GT(last().num("hint.window", 2), 120) << "wider than the column";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the fade is over
  sh("import -display " + Server->Display + " -window root " + std::string(TAMRIX_E2E_SHOTS) +
     "/tree_HintOverACutOffCaption.png");
  moveTo(fits.TextX + 5, fits.midY());
  moveTo(fits.TextX + 6, fits.midY());
  ASSERT_TRUE(waitFor([](const TState& s) { return s.get("hint.text").empty(); }));
  // Nothing to wait for: no hint may come for as long as one came above.
  std::this_thread::sleep_for(std::chrono::milliseconds(e2e::Deadline(700)));
  ASSERT_TRUE(waitFor([](const TState&) { return true; }));
  EXPECT_TRUE(last().get("hint.text").empty()) << "no hint for a caption that fits";
}

}  // namespace
