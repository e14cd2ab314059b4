#pragma once
// The end-to-end fixture: one virtual display (Xvfb, started on a free
// display number) with a tray host (trayer) for the whole executable, and
// per test a copy of build/dist/ from which the real program runs, driven
// from outside with xdotool and xclip as a user's input would.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/e2e_wait.h"
#include "tests/e2e/xvfb_server.h"

namespace e2e {

// Runs a shell command with the virtual display set; returns its output.
std::string Sh(const std::string& command, int* status = nullptr);
// Starts a program in the background; returns its process id. It ends
// with this test program, however that ends.
int Spawn(const std::vector<std::string>& args, const std::filesystem::path& log);
bool Running(int pid);
// Waits up to ms milliseconds for the program to end; its exit code, 128 +
// the signal's number when a signal ended it, -1 while it still runs.
int ExitCode(int pid, int ms = 30000);
void Stop(int pid);
// Waits for pred for up to Deadline(ms) milliseconds. The limits are
// generous: a machine loaded by other work may take many seconds to start
// a program or show a window, and a wait that ends early costs nothing.
::testing::AssertionResult WaitFor(const std::function<bool()>& pred, int ms = 30000);
// The visible windows whose name matches the pattern (a regular
// expression), or of the class when Class is set.
std::vector<unsigned long> VisibleWindows(const std::string& Pattern, bool Class = false);
// The window that has the keyboard.
unsigned long FocusedWindow();
// Gives the window the keyboard and waits until it has it.
::testing::AssertionResult GiveFocus(unsigned long window);

// Asks a window to close as the close box does (WM_DELETE_WINDOW).
bool RequestClose(unsigned long window);
// A check that something did not happen has no state to wait for: it is
// made once the program has had Ms milliseconds (scaled as every deadline)
// in which it would have happened.
void Settle(int Ms);

struct Rgb {
  int R = 0, G = 0, B = 0;
};
// A screenshot of the whole screen.
struct Shot {
  int Width = 0, Height = 0;
  std::vector<unsigned char> Pixels;  // RGB rows
  Rgb At(int x, int y) const {
    const size_t i = (size_t(y) * size_t(Width) + size_t(x)) * 3;
    return {Pixels[i], Pixels[i + 1], Pixels[i + 2]};
  }
};
Shot Screen();
// The window a top-level window belongs to (its WM_TRANSIENT_FOR), 0 when
// none.
unsigned long TransientFor(unsigned long window);
// The top-level windows of the display, bottom first.
std::vector<unsigned long> StackingOrder();
// The centre on the screen of the tray icon of the program of the class,
// once the tray host shows it where it stays: inside the host's panel,
// viewable, and as large as its size hints ask. (A program may dock its
// icon before it sets those hints; the host then lays the icon out a pixel
// wide and again, elsewhere, when the hints come.) False while not so;
// Seen then tells what was there.
bool TrayIconCentre(const std::string& Class, int& X, int& Y, std::string& Seen);
// The display's clock, the time its input events carry (milliseconds).
unsigned long DisplayTime();

class DisplayEnvironment : public ::testing::Environment {
public:
  void SetUp() override;
  void TearDown() override;
  static std::string Display;

private:
  void start();
  TServer FXvfb;
  int FTrayer = 0;
};

// One running program.
class Program : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Copies dist/ into the test's own folder; settings lines may replace the
  // shipped file.
  void Prepare(const std::string& settings = std::string());
  // Starts the program and waits for its window, which then has the
  // keyboard.
  void Start();
  // The main window found and given the keyboard.
  void TakeMainWindow();
  void Focus();
  void Type(const std::string& text);
  void Key(const std::string& keys);
  // Client coordinates of the main window.
  void Click(int x, int y, int button = 1);
  void ClickTreeRow(int row);
  // Return in the query box, and the search's end awaited: a search ends
  // selecting a row of the result list (the first headword, or the
  // "nothing found" row), which the completion while typing never does.
  void EnterQuery();
  // The article as text, through the window's "в буфер" button.
  std::string Article();
  // The article, read again until Ok says it is the one awaited or Ms
  // milliseconds have passed; the last one read.
  std::string ArticleOnce(const std::function<bool(const std::string&)>& Ok, int Ms);
  std::string Clipboard();
  void SetClipboard(const std::string& text);
  // The same text copied twice in another program, apart in time as a
  // user's two copies are (two copies at once are one to the program).
  void CopyTwice(const std::string& text);
  bool Visible();
  // The pixels of a rectangle of a window's client area (the main
  // window's when none is named) as the screen shows them now.
  std::vector<unsigned char> Area(int x0, int y0, int w, int h, unsigned long window = 0);
  // The row of the result list that shows the selection's colour, -1 when
  // none does.
  int SelectedRow();
  // The window's position on the screen (the main window's when none is
  // named), and its size when asked.
  void Origin(int& x, int& y, unsigned long window = 0, int* width = nullptr, int* height = nullptr);
  void Screenshot(const std::string& name);

  std::filesystem::path Folder;
  int Pid = 0;
  // Every program this test started, ended by TearDown whatever the
  // outcome.
  std::vector<int> Started;
  unsigned long Window = 0;
};

}  // namespace e2e
