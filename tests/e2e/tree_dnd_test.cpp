// Drag and drop of tree nodes on a real X server, driven from outside with
// xdotool as a user would: within a tree, to a second tree, reordering a
// list by the drag within the program, to a tree and a text field of other
// programs, and text from another program into a tree. The windows report
// their state in files; each test keeps a screenshot of its end state.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_wait.h"
#include "tests/e2e/xvfb_server.h"

namespace {

namespace fs = std::filesystem;

struct TPoint2 {
  int X = 0, Y = 0;
};

// One window's report: values by key, and the rows of each list.
struct TReport {
  std::map<std::string, std::string> Values;
  std::map<std::string, std::vector<std::pair<TPoint2, std::string>>> Rows;
  std::string get(const std::string& key) const {
    auto it = Values.find(key);
    return it == Values.end() ? std::string() : it->second;
  }
  TPoint2 at(const std::string& key) const {
    std::istringstream in(get(key));
    TPoint2 p;
    in >> p.X >> p.Y;
    return p;
  }
  // The middle of a row's text, by caption.
  bool row(const std::string& list, const std::string& caption, TPoint2& p) const {
    auto it = Rows.find(list);
    if (it == Rows.end()) return false;
    for (const auto& r : it->second)
      if (r.second == caption) {
        p = r.first;
        return true;
      }
    return false;
  }
};

TReport readReport(const std::string& file) {
  TReport r;
  std::ifstream f(file);
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
    const auto dot = key.find(".row");
    if (dot != std::string::npos) {
      std::istringstream in(value);
      TPoint2 p;
      in >> p.X >> p.Y;
      std::string caption;
      std::getline(in >> std::ws, caption);
      r.Rows[key.substr(0, dot)].push_back({p, caption});
    } else {
      r.Values[key] = value;
    }
  }
  return complete ? r : TReport{};
}

class E2EDragDrop : public ::testing::Test {
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
    FName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  void TearDown() override {
    // A test that failed in the middle of a drag leaves the button down on
    // the shared server, where the next test's press would then be lost.
    if (Server && HasFailure()) sh("xdotool mouseup 1");
    if (Server) {
      fs::create_directories(TAMRIX_E2E_SHOTS);
      sh("import -display " + Server->Display + " -window root " + std::string(TAMRIX_E2E_SHOTS) + "/dnd_" + FName +
         ".png");
    }
    for (pid_t pid : FPids) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    for (const std::string& f : FFiles) fs::remove(f);
  }

  // Starts a program; its report goes to the returned file.
  std::string start(const char* program, std::vector<std::string> args) {
    const std::string file =
        (fs::temp_directory_path() / ("tamrix-dnd-" + std::to_string(getpid()) + "-" + FName + "-" +
                                      std::to_string(FFiles.size())))
            .string();
    fs::remove(file);
    FFiles.push_back(file);
    args.insert(args.begin(), file);
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
      e2e::EndWithParent(parent);
      setenv("DISPLAY", Server->Display.c_str(), 1);
      setenv("QT_QPA_PLATFORM", "xcb", 1);
      std::vector<char*> argv{const_cast<char*>(program)};
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program, argv.data());
      _exit(127);
    }
    FPids.push_back(pid);
    return file;
  }
  // A window of the trees takes the keyboard once it is on the screen,
  // which may be well after it has first reported, and a window that loses
  // the keyboard hears of it some time later still. Either, coming while the
  // mouse is held down in a window, takes the keyboard from it, and its tree
  // rightly drops the drag it was about to start. So the test goes on only
  // once the new window has the keyboard and the windows before it have
  // seen it go.
  std::string startTrees(int left, int top) {
    std::string file = start(TAMRIX_TREE_DND, {std::to_string(left), std::to_string(top)});
    EXPECT_TRUE(waitFor(file, [](TReport& r) { return !r.Rows["left"].empty() && r.get("active") == "1"; }))
        << "the window came up and took the keyboard";
    for (const std::string& earlier : FTrees)
      EXPECT_TRUE(waitFor(earlier, [](TReport& r) { return r.get("active") == "0"; }))
          << "the window started before has seen the keyboard go";
    FTrees.push_back(file);
    return file;
  }

  int sh(const std::string& command) { return std::system(("DISPLAY=" + Server->Display + " " + command).c_str()); }
  void xdo(const std::string& args) { ASSERT_EQ(sh("xdotool " + args), 0) << args; }
  static std::string xy(TPoint2 p) { return std::to_string(p.X) + " " + std::to_string(p.Y); }

  // Press, move until the source program has started its drag, move on to
  // the target until the program there has seen the drag come to that
  // point (Over: the key its report gives the point under), release, and
  // wait until the source has seen the release.
  //
  // A drag into another program tells that program one point at a time:
  // the source sends the next only once the target has answered the last,
  // and a point the mouse comes to meanwhile is never sent (until the
  // mouse moves again). So each step over the target's window waits until
  // the target has seen it; the last step then always comes through.
  void drag(const std::string& source, TPoint2 from, const std::string& target, const std::string& over, TPoint2 to) {
    int left = 0, top = 0, width = 0, height = 0;
    if (target != source) {
      ASSERT_TRUE(waitFor(target, [](TReport& r) { return !r.get("window").empty(); }));
      std::istringstream(FLast.get("window")) >> left >> top >> width >> height;
    }
    auto inTarget = [&](TPoint2 p) { return p.X >= left && p.X < left + width && p.Y >= top && p.Y < top + height; };
    xdo("mousemove " + xy(from) + " mousedown 1");
    ASSERT_TRUE(waitFor(source, [](TReport& r) { return r.get("buttons") == "1"; })) << "the press arrived";
    const int steps = 8;
    auto along = [&](int k) { return TPoint2{from.X + (to.X - from.X) * k / steps, from.Y + (to.Y - from.Y) * k / steps}; };
    // The drag begins once the mouse has gone some pixels away.
    for (int dx = 4; dx <= 20; dx += 4) xdo("mousemove " + xy({from.X + dx, from.Y + dx / 2}));
    ASSERT_TRUE(waitFor(source, [](TReport& r) { return r.get("dragging") == "1"; })) << "the drag began";
    for (int step = 1; step <= steps; ++step) {
      const TPoint2 p = along(step);
      xdo("mousemove " + xy(p));
      if (inTarget(p)) {
        ASSERT_TRUE(waitFor(target, [&](TReport& r) { return r.get("over") == xy(p); }))
            << "the drag came over " << xy(p) << " in " << target << "; the source: "
            << (waitFor(source, [](TReport&) { return true; }), describe(FLast));
      }
    }
    const std::string at = xy(to);
    ASSERT_TRUE(waitFor(target, [&](TReport& r) { return r.get(over) == at; }))
        << "the drag came over " << at << " in " << target << "; last there: " << FLast.get(over)
        << "; the source: " << (waitFor(source, [](TReport&) { return true; }), describe(FLast));
    xdo("mouseup 1");
    ASSERT_TRUE(waitFor(source, [](TReport& r) { return r.get("buttons") == "0" && r.get("dragging") == "0"; }))
        << "the drag ended";
  }

  // Without a window manager a click does not move the keyboard focus: the
  // window under the mouse is given it, as a desktop would on the click.
  void clickThenKey(const std::string& file, TPoint2 p, const std::string& key) {
    xdo("mousemove " + xy(p) + " click 1");
    std::string window;
    if (FILE* out = popen(("DISPLAY=" + Server->Display + " xdotool getmouselocation --shell").c_str(), "r")) {
      char line[128];
      while (std::fgets(line, sizeof line, out))
        if (std::strncmp(line, "WINDOW=", 7) == 0) window = std::string(line + 7, std::strcspn(line + 7, "\n"));
      pclose(out);
    }
    ASSERT_FALSE(window.empty());
    xdo("windowfocus " + window);
    ASSERT_TRUE(waitFor(file, [](TReport& r) { return r.get("active") == "1"; })) << "the window has the keyboard";
    xdo("key " + key);
  }

  static std::string describe(const TReport& r) {
    std::string seen;
    for (const auto& [key, value] : r.Values) seen += key + "=" + value + "; ";
    return seen;
  }
  // Reads a program's report until pred holds; a failure shows the
  // report last read (without its rows).
  ::testing::AssertionResult waitFor(const std::string& file, const std::function<bool(TReport&)>& pred,
                                     int ms = 8000) {
    return e2e::Await(
        "the report in " + file, [&] {
          FLast = readReport(file);
          return !FLast.Values.empty() && pred(FLast);
        },
        ms, [&] { return describe(FLast); });
  }
  TPoint2 row(const std::string& file, const std::string& list, const std::string& caption) {
    TPoint2 p;
    EXPECT_TRUE(waitFor(file, [&](TReport& r) { return r.row(list, caption, p); })) << list << " shows " << caption;
    return p;
  }
  ::testing::AssertionResult listIs(const std::string& file, const std::string& list, const std::string& value) {
    return waitFor(file, [&](TReport& r) { return r.get(list) == value; });
  }

  static TServer* Server;
  std::string FName;
  std::vector<pid_t> FPids;
  std::vector<std::string> FFiles;
  std::vector<std::string> FTrees;  // the reports of the windows of trees, in the order started
  TReport FLast;
};

TServer* E2EDragDrop::Server = nullptr;

TEST_F(E2EDragDrop, ANodeDraggedWithinATreeMovesThere) {
  const std::string a = startTrees(0, 0);
  drag(a, row(a, "left", "a1"), a, "left.over", row(a, "left", "a3"));
  EXPECT_TRUE(listIs(a, "left", "a2|a3|>a1|a4")) << FLast.get("left");
}

TEST_F(E2EDragDrop, ANodeDraggedToTheSecondTreeIsCopiedThere) {
  const std::string a = startTrees(0, 0);
  drag(a, row(a, "left", "a2"), a, "right.over", row(a, "right", "b2"));
  EXPECT_TRUE(listIs(a, "right", "b1|b2|>a2|b3")) << FLast.get("right");
  EXPECT_EQ(FLast.get("left"), "a1|a2|a3|a4");
}

TEST_F(E2EDragDrop, TheDragWithinTheProgramReordersTheList) {
  const std::string a = startTrees(0, 0);
  drag(a, row(a, "list", "d1"), a, "list.over", row(a, "list", "d3"));
  EXPECT_TRUE(listIs(a, "list", "d2|d3|d1|d4|d5")) << FLast.get("list");
  drag(a, row(a, "list", "d5"), a, "list.over", row(a, "list", "d2"));
  EXPECT_TRUE(listIs(a, "list", "d5|d2|d3|d1|d4")) << FLast.get("list");
  // Below the last node there is no target: nothing moves.
  drag(a, row(a, "list", "d2"), a, "list.over", FLast.at("list.empty"));
  // The drag has ended: the list is as it will stay.
  EXPECT_EQ(FLast.get("list"), "d5|d2|d3|d1|d4");
}

TEST_F(E2EDragDrop, NodesGoToAnotherProgramsTreeAndTextField) {
  const std::string a = startTrees(0, 0);
  const std::string b = startTrees(0, 380);
  const std::string peer = start(TAMRIX_TEXT_PEER, {"600", "420", "peer"});
  ASSERT_TRUE(waitFor(peer, [](TReport& r) { return r.get("text") == "peer"; }));
  const TPoint2 field = FLast.at("at");

  drag(a, row(a, "left", "a2"), b, "right.over", row(b, "right", "b1"));
  EXPECT_TRUE(listIs(b, "right", "b1|>a2|b2|b3")) << FLast.get("right");
  EXPECT_TRUE(listIs(a, "left", "a1|a2|a3|a4")) << "a drop into another program copies";

  drag(a, row(a, "left", "a3"), peer, "over", {field.X + 100, field.Y});
  // The text rendering ends each node's line; a one-line field keeps the caption.
  EXPECT_TRUE(waitFor(peer, [](TReport& r) { return r.get("text").rfind("peera3", 0) == 0; })) << FLast.get("text");
}

TEST_F(E2EDragDrop, TextFromAnotherProgramBecomesANode) {
  const std::string a = startTrees(0, 0);
  const std::string peer = start(TAMRIX_TEXT_PEER, {"600", "420", "слово"});
  ASSERT_TRUE(waitFor(peer, [](TReport& r) { return r.get("text") == "слово"; }));
  const TPoint2 field = FLast.at("at");
  // The field's text selected, then dragged from its first letters.
  clickThenKey(peer, field, "ctrl+a");
  ASSERT_TRUE(waitFor(peer, [](TReport& r) { return r.get("selected") == "слово"; })) << "the text is selected";
  ASSERT_TRUE(waitFor(a, [](TReport&) { return true; }));
  drag(peer, {field.X - 140, field.Y}, a, "left.over", FLast.at("left.empty"));
  EXPECT_TRUE(listIs(a, "left", "a1|a2|a3|a4|слово")) << FLast.get("left");
}

TEST_F(E2EDragDrop, NodesCutInOneProgramArePastedInAnother) {
  const std::string a = startTrees(0, 0);
  const std::string b = startTrees(0, 380);
  // Copied: other programs read the text.
  clickThenKey(a, row(a, "left", "a2"), "ctrl+c");
  ASSERT_TRUE(waitFor(a, [&](TReport&) { return sh("xclip -o -selection clipboard | tr -d '\\r' | grep -qx a2") == 0; }))
      << "the clipboard holds the copied caption";
  // Cut in the first program, pasted onto a node of the second.
  clickThenKey(a, row(a, "left", "a3"), "ctrl+x");
  ASSERT_TRUE(waitFor(a, [&](TReport&) { return sh("xclip -o -selection clipboard | tr -d '\\r' | grep -qx a3") == 0; }))
      << "the clipboard holds the cut caption";
  clickThenKey(b, row(b, "right", "b2"), "ctrl+v");
  EXPECT_TRUE(listIs(b, "right", "b1|b2|>a3|b3")) << FLast.get("right");
  EXPECT_TRUE(listIs(a, "left", "a1|a2|a3|a4")) << "another program's paste copies: the source keeps its nodes";
}

}  // namespace
