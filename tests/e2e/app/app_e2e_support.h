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

#include "tests/e2e/xvfb_server.h"

namespace e2e {

// Runs a shell command with the virtual display set; returns its output.
std::string Sh(const std::string& command, int* status = nullptr);
// Starts a program in the background; returns its process id.
int Spawn(const std::vector<std::string>& args, const std::filesystem::path& log);
bool Running(int pid);
// Waits up to ms milliseconds for the program to end; its exit code, 128 +
// the signal's number when a signal ended it, -1 while it still runs.
int ExitCode(int pid, int ms = 30000);
void Stop(int pid);
// Waits for pred for up to ms milliseconds. The limits are generous: a
// machine loaded by other work may take many seconds to start a program or
// show a window, and a wait that ends early costs nothing.
bool WaitFor(const std::function<bool()>& pred, int ms = 30000);
void Pause(int ms);

// Asks a window to close as the close box does (WM_DELETE_WINDOW).
bool RequestClose(unsigned long window);

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
  // Starts the program and waits for its window.
  void Start();
  void Focus();
  void Type(const std::string& text);
  void Key(const std::string& keys);
  // Client coordinates of the main window.
  void Click(int x, int y, int button = 1);
  void ClickTreeRow(int row);
  // The article as text, through the window's "в буфер" button.
  std::string Article();
  // The article, read again until Ok says it is the one awaited or Ms
  // milliseconds have passed; the last one read.
  std::string ArticleOnce(const std::function<bool(const std::string&)>& Ok, int Ms);
  std::string Clipboard();
  void SetClipboard(const std::string& text);
  bool Visible();
  // The window's position on the screen.
  void Origin(int& x, int& y);
  void Screenshot(const std::string& name);

  std::filesystem::path Folder;
  int Pid = 0;
  unsigned long Window = 0;
};

}  // namespace e2e
