// Printing through the viewer's print engine. For a 1 MB page of
// paragraphs: the page count (NumPrinterPages) beside the screen layout of
// the same page in the same run, and the print into a PDF file (A4); for a
// typical dictionary article: its print into a PDF file. Prints the best of
// a few runs (1 MB page) and the median (article), in processor time of
// the thread. Runs offscreen.
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/common/limit.h"
#include "bench/common/viewer_pages.h"
#include "html/print/printers.h"
#include "html/viewer/html_view.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/gui/forms.h"

namespace {

// Milliseconds of this thread's processor time: on a machine shared with
// other work the wall clock mostly measures the others.
double cpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double msOf(const std::function<void()>& f) {
  const double t0 = cpuMs();
  f();
  return cpuMs() - t0;
}

double best(int Runs, const std::function<void()>& f) {
  double b = 1e300;
  for (int i = 0; i < Runs; ++i) b = std::min(b, msOf(f));
  return b;
}

double median(int Runs, const std::function<void()>& f) {
  std::vector<double> v;
  for (int i = 0; i < Runs; ++i) v.push_back(msOf(f));
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// What the program does for "print": count, then print every page.
int printToPdf(THtmlView* View, const String& File) {
  auto printer = TViewPrinter::ToPdfFile(File);
  const int pages = View->NumPrinterPages();
  if (pages > 0) View->Print(1, pages, printer.get());
  if (printer->Printing()) printer->EndDoc();
  return pages;
}

}  // namespace

int main(int argc, char** argv) {
  // "count" runs only the page count (for a profiler).
  const bool countOnly = argc > 1 && std::string(argv[1]) == "count";
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  Application->Initialize();
  auto form = std::make_unique<TForm>(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, 640, 480);
  auto* view = new THtmlView(form.get());
  view->SetParent(form.get());
  view->SetBorderStyle(htNone);
  view->SetBounds(0, 0, 640, 480);
  form->Show();
  Application->ProcessMessages();
  const String pdf = UTF8ToUTF16("/tmp/tamrix-bench-print-" + std::to_string(getpid()) + ".pdf");

  view->LoadFromString(UTF8ToUTF16(benchpages::bigPage()), String(), HtmlType);
  // The two take turns, so that both meet the same load on a shared machine.
  double layout = 1e300, count = 1e300;
  int pages = 0;
  for (int i = 0; i < 15; ++i) {
    layout = std::min(layout, msOf([&] { view->RefreshLayout(); }));
    // The window repaints outside the count (a repaint may take more than
    // one pass of the queue).
    for (int k = 0; k < 3; ++k) Application->HandleMessage();
    count = std::min(count, msOf([&] { pages = view->NumPrinterPages(); }));
  }
  std::printf("1 MB page: screen layout best %.1f ms; NumPrinterPages (%d pages) best %.1f ms (ratio %.2f, "
              "%s)\n",
              layout, pages, count, count / layout, limitText(count / layout, 2, "").c_str());
  if (countOnly) return 0;
  const double print = best(5, [&] { printToPdf(view, pdf); });
  std::printf("1 MB page: count and print to PDF best %.1f ms (%s)\n", print, limitText(print, 1000, "ms").c_str());

  view->LoadFromString(UTF8ToUTF16(benchpages::articlePage()), String(), HtmlType);
  int articlePages = 0;
  const double article = median(21, [&] { articlePages = printToPdf(view, pdf); });
  std::printf("article (%d page): count and print to PDF median %.2f ms (%s)\n", articlePages, article,
              limitText(article, 50, "ms").c_str());
  DeleteFile(pdf);
  form.reset();
  return 0;
}
