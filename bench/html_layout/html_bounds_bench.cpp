// Hostile pages through the viewer control, each in a process of its own:
// one 50 MB line without spaces, 50 MB of words, and a table of 100,000
// cells. For each: the time from LoadFromString to the first paint, and the
// peak memory the process grew by meanwhile (the page's text itself is made
// before the count starts), per byte of the page or per cell, against the
// limits the engine is held to. litehtml parses and lays out the table in
// a process of its own for comparison; the 50 MB pages are printed against
// the limits alone (litehtml makes an element of every word).
//   build/bench/html_layout/bench_html_bounds [MB] [CELLS]
#include <litehtml.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/common/limit.h"
#include "bench/common/litehtml_null_container.h"
#include "html/viewer/html_view.h"
#include "platform/core/strings.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"

namespace {

constexpr int Width = 800;
constexpr int Height = 600;

// Resident and peak resident memory of this process, in KB.
long statusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
  return -1;
}

// How long a child may take before it is stopped.
constexpr unsigned kStopSeconds = 120;

struct Figures {
  double Ms = -1;
  long GrowthKb = -1;
  bool Stopped = false;  // still at work when the time limit came
};

// Runs work in a child process after prepare, timing it and taking the
// peak memory it grew by; a child that fails or takes over limitSeconds
// gives no figures (one stopped at the limit says so).
Figures inChild(const std::function<void()>& prepare, const std::function<void()>& work, unsigned limitSeconds) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    close(fds[0]);
    alarm(limitSeconds);
    prepare();
    const long before = statusKb("VmRSS:");
    // The peak from here on.
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);
      std::fclose(f);
    }
    const auto t0 = std::chrono::steady_clock::now();
    work();
    Figures r;
    r.Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    r.GrowthKb = statusKb("VmHWM:") - before;
    const ssize_t written = write(fds[1], &r, sizeof r);
    _exit(written == sizeof r ? 0 : 1);
  }
  close(fds[1]);
  Figures r;
  if (read(fds[0], &r, sizeof r) != sizeof r) r = {};
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.Stopped = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
  return r;
}

std::string linePage(size_t bytes) {
  std::string s;
  s.reserve(bytes + 64);
  s = "<html><body><p>";
  while (s.size() < bytes) s += "abcdefghijklmnopqrstuvwxyz0123456789";
  return s + "</p></body></html>";
}

std::string wordsPage(size_t bytes) {
  std::string s;
  s.reserve(bytes + 128);
  s = "<html><body><p>";
  while (s.size() < bytes) s += "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor ";
  return s + "</p></body></html>";
}

std::string tablePage(int cells) {
  std::string s = "<html><body><table border=1>";
  for (int i = 0; i < cells; ++i) {
    if (i % 10 == 0) s += "<tr>";
    s += "<td>" + std::to_string(i) + "</td>";
    if (i % 10 == 9) s += "</tr>";
  }
  return s + "</table></body></html>";
}

// Loads a page and runs the event loop once, which paints it into the
// window's store as on screen (nothing reads the pixels back: the program
// never does).
void showPage(THtmlView* view, const String& page) {
  view->LoadFromString(page, String(), HtmlType);
  Application->HandleMessage();
}

// Our side: the viewer control set up and warmed with a small page, then
// the page loaded and its window painted once.
Figures ours(const std::function<std::string()>& makePage) {
  std::unique_ptr<TForm> form;
  THtmlView* view = nullptr;
  String text;
  return inChild(
      [&] {
        Application->Initialize();
        form = std::make_unique<TForm>(nullptr);
        form->SetBorderStyle(bsNone);
        form->SetBounds(0, 0, Width, Height);
        view = new THtmlView(form.get());
        view->SetParent(form.get());
        view->SetBorderStyle(htNone);
        view->SetBounds(0, 0, Width, Height);
        form->Show();
        Application->ProcessMessages();
        showPage(view, u"<p>warm <b>up</b> the fonts</p>");
        text = UTF8ToUTF16(makePage());
      },
      [&] {
        showPage(view, text);
        // A page not wholly painted gives no figure.
        if (GetUpdateRect(view->PaintPanel()->Handle(), nullptr, false)) _exit(1);
      },
      kStopSeconds);
}

const litehtml::tchar_t* const MasterCss = _t(
    "html,body,div,p,table{display:block} head,style,title,script{display:none} table{display:table}"
    "tr{display:table-row} td,th{display:table-cell} tbody{display:table-row-group}"
    "body{margin:8px} p{margin:1em 0} td,th{padding:1px} table{border-spacing:2px}");

Figures litehtmlPeer(const std::function<std::string()>& makePage) {
  std::string page;
  return inChild([&] { page = makePage(); },
                 [&] {
                   NullContainer container;
                   litehtml::context context;
                   context.load_master_stylesheet(MasterCss);
                   auto doc = litehtml::document::createFromString(page.c_str(), &container, &context);
                   doc->render(Width);
                 },
                 kStopSeconds);
}

void printPage(const char* name, size_t bytes, const Figures& f) {
  const double mb = double(bytes) / 1e6;
  if (f.Ms < 0) {
    if (f.Stopped)
      std::printf("%-26s (%.0f MB): stopped (%s)\n", name, mb, limitStated(kStopSeconds, "s", true).c_str());
    else
      std::printf("%-26s (%.0f MB): failed\n", name, mb);
    return;
  }
  const double grownMb = double(f.GrowthKb) * 1024 / 1e6;
  std::printf("%-26s (%.0f MB): load -> first paint %8.1f ms (%s)   peak growth %7.1f MB = %5.2f x the page (%s)\n",
              name, mb, f.Ms, limitText(f.Ms, 2000, "ms").c_str(), grownMb, grownMb / mb,
              limitText(grownMb / mb, 10, "x").c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const size_t bytes = size_t(argc > 1 ? std::atof(argv[1]) : 50) * 1000 * 1000;
  const int cells = argc > 2 ? std::atoi(argv[2]) : 100000;
  printPage("one line without spaces", bytes, ours([&] { return linePage(bytes); }));
  printPage("words", bytes, ours([&] { return wordsPage(bytes); }));
  const Figures t = ours([&] { return tablePage(cells); });
  const Figures peer = litehtmlPeer([&] { return tablePage(cells); });
  auto perCell = [&](const Figures& f) { return double(f.GrowthKb) * 1024 / cells; };
  std::printf("%d-cell table: load -> first paint %8.1f ms, peak growth %6.1f MB = %6.0f bytes a cell (%s)\n",
              cells, t.Ms, double(t.GrowthKb) / 1024, perCell(t), limitText(perCell(t), 512, "").c_str());
  if (peer.Ms >= 0)
    std::printf("  litehtml parse + layout:       %8.1f ms, peak growth %6.1f MB = %6.0f bytes a cell\n", peer.Ms,
                double(peer.GrowthKb) / 1024, perCell(peer));
  else
    std::printf("  litehtml: failed or over the time limit\n");
  return 0;
}
