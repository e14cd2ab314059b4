#include "tests/e2e/app/app_e2e_support.h"

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "tests/tool_run.h"

namespace e2e {

std::string DisplayEnvironment::Display;

namespace {

const std::filesystem::path kDist = TAMRIX_DIST_DIR;
const std::filesystem::path kBuild = TAMRIX_BUILD_DIR;

using tooltest::shellQuote;

}  // namespace

std::string Sh(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

int Spawn(const std::vector<std::string>& args, const std::filesystem::path& log) {
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    EndWithParent(parent);
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return int(pid);
}

namespace {
// How each program this test program started has ended, once reaped.
std::map<int, int>& endings() {
  static std::map<int, int> map;
  return map;
}
}  // namespace

bool Running(int pid) {
  if (pid <= 0) return false;
  if (endings().count(pid)) return false;
  int status = 0;
  const pid_t got = waitpid(pid, &status, WNOHANG);
  if (got == 0) return true;
  if (got == pid) endings()[pid] = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

int ExitCode(int pid, int ms) {
  if (!WaitFor([&] { return !Running(pid); }, ms)) return -1;
  const auto it = endings().find(pid);
  return it == endings().end() ? -1 : it->second;
}

void Stop(int pid) {
  if (!Running(pid)) return;
  kill(pid, SIGTERM);
  if (!WaitFor([&] { return !Running(pid); }, 3000)) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

::testing::AssertionResult WaitFor(const std::function<bool()>& pred, int ms) {
  return Await("the awaited state", pred, ms);
}

std::vector<unsigned long> VisibleWindows(const std::string& Pattern, bool Class) {
  std::istringstream in(Sh("xdotool search --onlyvisible " + std::string(Class ? "--class " : "--name ") +
                           shellQuote(Pattern)));
  std::vector<unsigned long> out;
  for (unsigned long w; in >> w;) out.push_back(w);
  return out;
}

unsigned long FocusedWindow() {
  const std::string out = Sh("xdotool getwindowfocus -f");
  return out.empty() ? 0 : std::stoul(out);
}

::testing::AssertionResult GiveFocus(unsigned long window) {
  // No window manager: the focus is given directly (activation would wait
  // for a manager that is not there).
  Sh("xdotool windowfocus " + std::to_string(window));
  unsigned long seen = 0;
  return Await("window " + std::to_string(window) + " to have the keyboard", [&] {
    return (seen = FocusedWindow()) == window;
  }, 10000, [&] { return "the keyboard with window " + std::to_string(seen); });
}

bool RequestClose(unsigned long window) {
  ::Display* d = XOpenDisplay(DisplayEnvironment::Display.c_str());
  if (!d) return false;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  const bool ok = XSendEvent(d, window, False, NoEventMask, &e) != 0;
  XFlush(d);
  XCloseDisplay(d);
  return ok;
}

void Settle(int Ms) { std::this_thread::sleep_for(std::chrono::milliseconds(Deadline(Ms))); }

Shot Screen() {
  Shot s;
  // ImageMagick built with 16-bit samples writes 16-bit files unless told
  // otherwise; the depth is asked for and the header still honoured.
  const std::string ppm = Sh("import -window root -depth 8 ppm:-");
  std::istringstream in(ppm);
  std::string magic;
  int maxval = 0;
  in >> magic >> s.Width >> s.Height >> maxval;
  in.get();
  if (magic != "P6" || s.Width <= 0 || s.Height <= 0 || maxval <= 0 || maxval > 65535) return Shot{};
  const size_t samples = size_t(s.Width) * size_t(s.Height) * 3;
  const size_t bytesPerSample = maxval > 255 ? 2 : 1;
  std::string raw(samples * bytesPerSample, '\0');
  in.read(raw.data(), std::streamsize(raw.size()));
  if (size_t(in.gcount()) != raw.size()) return Shot{};
  s.Pixels.resize(samples);
  for (size_t i = 0; i < samples; ++i) {
    const unsigned v = bytesPerSample == 2
                           ? (unsigned(static_cast<unsigned char>(raw[2 * i])) << 8) |
                                 unsigned(static_cast<unsigned char>(raw[2 * i + 1]))
                           : unsigned(static_cast<unsigned char>(raw[i]));
    s.Pixels[i] = static_cast<unsigned char>(v * 255u / unsigned(maxval));
  }
  return s;
}

unsigned long TransientFor(unsigned long window) {
  const std::string out = Sh("xprop -id " + std::to_string(window) + " WM_TRANSIENT_FOR");
  const auto at = out.find("window id # ");
  return at == std::string::npos ? 0 : std::stoul(out.substr(at + 12), nullptr, 16);
}

std::vector<unsigned long> StackingOrder() {
  std::vector<unsigned long> out;
  ::Display* d = XOpenDisplay(DisplayEnvironment::Display.c_str());
  if (!d) return out;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
    out.assign(children, children + count);
    XFree(children);
  }
  XCloseDisplay(d);
  return out;
}

namespace {

std::string classOf(::Display* d, Window w) {
  XClassHint hint{};
  if (!XGetClassHint(d, w, &hint)) return {};
  std::string out = hint.res_class ? hint.res_class : "";
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return out;
}

// The first window of the class below w, depth first.
Window findBelow(::Display* d, Window w, const std::string& Class) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i)
    found = classOf(d, children[i]) == Class ? children[i] : findBelow(d, children[i], Class);
  if (children) XFree(children);
  return found;
}

}  // namespace

bool TrayIconCentre(const std::string& Class, int& X, int& Y, std::string& Seen) {
  ::Display* d = XOpenDisplay(DisplayEnvironment::Display.c_str());
  if (!d) {
    Seen = "no display";
    return false;
  }
  bool ready = false;
  Seen = "no icon in the tray host's panel";
  Window icon = 0;
  for (Window top : StackingOrder()) {
    XWindowAttributes a{};
    if (classOf(d, top) == "trayer" && XGetWindowAttributes(d, top, &a) && a.map_state == IsViewable &&
        (icon = findBelow(d, top, Class)))
      break;
  }
  XWindowAttributes a{};
  if (icon && XGetWindowAttributes(d, icon, &a)) {
    XSizeHints hints{};
    long supplied = 0;
    const bool hinted = XGetWMNormalHints(d, icon, &hints, &supplied) && (hints.flags & PMinSize);
    Window child = 0;
    XTranslateCoordinates(d, icon, DefaultRootWindow(d), a.width / 2, a.height / 2, &X, &Y, &child);
    ready = a.map_state == IsViewable && hinted && a.width >= hints.min_width && a.height >= hints.min_height;
    std::ostringstream seen;
    seen << "icon " << icon << (a.map_state == IsViewable ? " viewable " : " not viewable ") << a.width << "x"
         << a.height << " centred at " << X << "," << Y << ", asking at least ";
    if (hinted) seen << hints.min_width << "x" << hints.min_height;
    else seen << "nothing (no size hints yet)";
    Seen = seen.str();
  }
  XCloseDisplay(d);
  return ready;
}

unsigned long DisplayTime() {
  // A property changed on a window of its own: the notice carries the time.
  ::Display* d = XOpenDisplay(DisplayEnvironment::Display.c_str());
  if (!d) return 0;
  const Window w = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, CopyFromParent, InputOnly,
                                 CopyFromParent, 0, nullptr);
  XSelectInput(d, w, PropertyChangeMask);
  const Atom atom = XInternAtom(d, "TAMRIX_E2E_TIME", False);
  XChangeProperty(d, w, atom, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XEvent e{};
  XWindowEvent(d, w, PropertyChangeMask, &e);
  const unsigned long time = e.xproperty.time;
  XDestroyWindow(d, w);
  XCloseDisplay(d);
  return time;
}

// ---- the display --------------------------------------------------------------------

void DisplayEnvironment::SetUp() {
  start();
  // Without a display every test would be reported as skipped, which hides
  // the failure: the run ends here as failed instead.
  if (::testing::Test::HasFatalFailure()) {
    std::fprintf(stderr, "the display for the end-to-end tests could not be made\n");
    TearDown();
    std::exit(1);
  }
}

void DisplayEnvironment::start() {
  ASSERT_TRUE(FXvfb.Start()) << "Xvfb did not start (scripts/deps installs it)";
  Display = FXvfb.Display;
  const std::string number = Display.substr(1);
  setenv("DISPLAY", Display.c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
  // The program draws on the display, not offscreen.
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  std::filesystem::create_directories(kBuild / "e2e" / "app");
  // Test programs run side by side, each with a display of its own.
  const auto trayerLog = kBuild / "e2e" / "app" / ("trayer-" + number + ".log");
  FTrayer = Spawn({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "64",
                   "--height", "32"},
                  trayerLog);
  // A loaded machine may take a while to start it.
  ASSERT_TRUE(WaitFor([] { return !Sh("xdotool search --class trayer").empty(); }, 60000))
      << "trayer did not start on " << Display << " (scripts/deps installs it); running: " << Running(FTrayer)
      << "; its output: " << Sh("cat " + shellQuote(trayerLog.string()));
}

void DisplayEnvironment::TearDown() {
  Stop(FTrayer);
  FXvfb.Stop();
}

// ---- one program ----------------------------------------------------------------------

void Program::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  Folder = kBuild / "e2e" / "app" / info->name();
  std::filesystem::remove_all(Folder);
}

void Program::TearDown() {
  if (Window && Running(Pid)) Screenshot(::testing::UnitTest::GetInstance()->current_test_info()->name());
  for (int pid : Started) Stop(pid);
  Stop(Pid);
}

void Program::Prepare(const std::string& settings) {
  std::filesystem::create_directories(Folder);
  // Dictionaries are linked (they are only read); the rest is copied.
  Sh("cp -al " + shellQuote((kDist / "dictionaries").string()) + " " + shellQuote(Folder.string()) + " || cp -a " +
     shellQuote((kDist / "dictionaries").string()) + " " + shellQuote(Folder.string()));
  for (const char* part : {"other", "help", "tamrix"})
    Sh("cp -a " + shellQuote((kDist / part).string()) + " " + shellQuote(Folder.string()));
  std::filesystem::create_directories(Folder / "temp");
  if (!settings.empty()) std::ofstream(Folder / "other/settings", std::ios::binary | std::ios::trunc) << settings;
}

void Program::Start() {
  if (!std::filesystem::exists(Folder / "tamrix")) Prepare();
  setenv("XDG_CONFIG_HOME", (Folder / "config").c_str(), 1);
  Pid = Spawn({(Folder / "tamrix").string()}, Folder / "tamrix.log");
  Started.push_back(Pid);
  TakeMainWindow();
}

void Program::TakeMainWindow() {
  std::vector<unsigned long> found;
  const std::string log = "cat " + shellQuote((Folder / "tamrix.log").string());
  auto shown = [&] {
    found = VisibleWindows("^ tamrix 5.7$");
    return !found.empty() || !Running(Pid);
  };
  auto seen = [&] { return "running: " + std::to_string(Running(Pid)) + "; its output: " + Sh(log); };
  ASSERT_TRUE(Await("the main window to appear", shown, 60000, seen));
  ASSERT_FALSE(found.empty()) << "the program ended: " << Sh(log);
  Window = found.front();
  Focus();
}

void Program::Focus() { ASSERT_TRUE(GiveFocus(Window)); }

void Program::Type(const std::string& text) { Sh("xdotool type --delay 60 " + shellQuote(text)); }

void Program::Key(const std::string& keys) { Sh("xdotool key --clearmodifiers " + keys); }

void Program::Origin(int& x, int& y, unsigned long window, int* width, int* height) {
  x = y = 0;
  std::istringstream in(Sh("xdotool getwindowgeometry --shell " + std::to_string(window ? window : Window)));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("X=", 0) == 0) x = std::stoi(line.substr(2));
    if (line.rfind("Y=", 0) == 0) y = std::stoi(line.substr(2));
    if (width && line.rfind("WIDTH=", 0) == 0) *width = std::stoi(line.substr(6));
    if (height && line.rfind("HEIGHT=", 0) == 0) *height = std::stoi(line.substr(7));
  }
}

void Program::Click(int x, int y, int button) {
  Sh("xdotool mousemove --window " + std::to_string(Window) + " " + std::to_string(x) + " " + std::to_string(y) +
     " click " + std::to_string(button));
}

// The result tree sits at (8, 128) of the window with rows of 18 pixels;
// a click on a row's text.
void Program::ClickTreeRow(int row) { Click(110, 128 + 2 + 18 * row + 9); }

void Program::EnterQuery() {
  // A list left selected by an earlier search is emptied by the completion
  // of what was typed since: the selection seen next is this search's.
  ASSERT_TRUE(Await("the result list to show no selection (the completion of what was typed)",
                    [&] { return SelectedRow() < 0; }));
  Key("Return");
  int row = -1;
  ASSERT_TRUE(Await("the search to end with a row of the result list selected",
                    [&] { return (row = SelectedRow()) >= 0; }));
}

std::vector<unsigned char> Program::Area(int x0, int y0, int w, int h, unsigned long window) {
  int ox = 0, oy = 0;
  Origin(ox, oy, window);
  const Shot shot = Screen();
  std::vector<unsigned char> out;
  for (int y = oy + y0; y < oy + y0 + h && y < shot.Height; ++y)
    for (int x = ox + x0; x < ox + x0 + w && x < shot.Width; ++x) {
      const Rgb p = shot.At(x, y);
      out.insert(out.end(), {static_cast<unsigned char>(p.R), static_cast<unsigned char>(p.G),
                             static_cast<unsigned char>(p.B)});
    }
  return out;
}

int Program::SelectedRow() {
  // The rows of the result list (see ClickTreeRow), 250 pixels of each: a
  // selected row's caption stands on the selection's colour: blue while the
  // list has the keyboard, grey while it has not.
  int ox = 0, oy = 0;
  Origin(ox, oy);
  const Shot shot = Screen();
  for (int row = 0; row < 17; ++row) {  // the rows above the horizontal scroll bar
    int selected = 0;
    for (int y = oy + 128 + 2 + 18 * row + 2; y < oy + 128 + 2 + 18 * row + 16 && y < shot.Height; ++y)
      for (int x = ox + 12; x < ox + 12 + 250 && x < shot.Width; ++x) {
        const Rgb p = shot.At(x, y);
        if ((p.R == 48 && p.G == 140 && p.B == 198) || (p.R == 239 && p.G == 239 && p.B == 239)) ++selected;
      }
    if (selected > 100) return row;
  }
  return -1;
}

std::string Program::Article() {
  SetClipboard("-");
  // "в буфер": below the article view (panel at 286, 8; buttons 52 pixels
  // above the panel's bottom, the panel 80 pixels shorter than the window's
  // 600 of the shipped settings).
  Click(286 + 45, 8 + (600 - 80) - 52 + 12);
  std::string text;
  // Not found in time: the caller's check shows the "-" left.
  static_cast<void>(WaitFor([&] {
    text = Clipboard();
    return text != "-";
  }, 3000));
  return text;
}

std::string Program::ArticleOnce(const std::function<bool(const std::string&)>& Ok, int Ms) {
  std::string text;
  static_cast<void>(WaitFor([&] { return Ok(text = Article()); }, Ms));
  return text;
}

std::string Program::Clipboard() { return Sh("timeout 5 xclip -selection clipboard -o"); }

void Program::SetClipboard(const std::string& text) {
  // xclip stays behind to serve the selection: it must not hold our pipe.
  Sh("printf %s " + shellQuote(text) + " | xclip -selection clipboard -i >/dev/null 2>&1");
  std::string seen;
  ASSERT_TRUE(Await("the clipboard to hold " + text, [&] { return (seen = Clipboard()) == text; }, 10000,
                    [&] { return "\"" + seen.substr(0, 80) + "\"; xclip: " + Sh("pgrep -c xclip"); }));
}

void Program::CopyTwice(const std::string& text) {
  SetClipboard(text);
  Settle(400);
  SetClipboard(text);
}

bool Program::Visible() {
  const std::string ids = Sh("xdotool search --onlyvisible --name '^ tamrix 5.7$'");
  return ids.find(std::to_string(Window)) != std::string::npos;
}

void Program::Screenshot(const std::string& name) {
  Sh("import -window root " + shellQuote((kBuild / "e2e" / "app" / (name + ".png")).string()));
}

}  // namespace e2e

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new e2e::DisplayEnvironment);
  return RUN_ALL_TESTS();
}
