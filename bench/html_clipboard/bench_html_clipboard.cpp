// The "HTML Format" record of a copied selection (the balanced fragment of
// the page's source with its header), built from pages whose shape once
// made the copy slow: many raw-text elements, many end tags that close
// nothing under a deep stack of open elements, many meta tags and
// page-break properties; and the whole copy (Select All, then the copy the
// "в буфер" button makes) on a page of style elements through the viewer.
// Each line prints the time at 0.5 and 1 MB and the growth between them,
// which is held to at most 2.5x for twice the page; the plain copy of a
// 1 MB page of ordinary paragraphs is printed as the figure to compare
// with. Runs offscreen.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "bench/common/best_time.h"
#include "bench/common/limit.h"
#include "bench/common/viewer_pages.h"
#include "html/viewer/html_clipboard.h"
#include "html/viewer/html_view.h"
#include "platform/core/strings.h"
#include "platform/gui/forms.h"

namespace {

constexpr double kGrowthLimit = 2.5;
constexpr std::size_t kHalf = 512 * 1024, kFull = 1024 * 1024;

// Piece repeated up to Size characters.
String repeated(const std::string& Piece, std::size_t Size) {
  std::string s;
  while (s.size() + Piece.size() <= Size) s += Piece;
  return UTF8ToUTF16(s);
}

// Opening tags up to half of Size, then as many self-closed cells, which
// close nothing.
String openThenStray(const std::string& Open, const std::string& Stray, std::size_t Size) {
  const std::size_t n = Size / (Open.size() + Stray.size());
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += Open;
  for (std::size_t i = 0; i < n; ++i) s += Stray;
  return UTF8ToUTF16(s + "x");
}

// The record of a selection from a quarter of the page to its end.
double recordSeconds(const String& Page) {
  const int start = int(Page.size() / 4);
  return bestSeconds(5, [&] {
    const THtmlClipboardRecord r = BuildHtmlClipboardRecord(Page, start, -1, String(), 12, u"DejaVu Serif");
    if (r.Utf8.empty()) std::printf("  NOT A FIGURE: no record\n");
  });
}

void line(const char* What, const std::function<double(std::size_t)>& Seconds) {
  const double half = Seconds(kHalf), full = Seconds(kFull);
  const double growth = full / std::max(half, 1e-9);
  std::printf("%-58s 0.5 MB %9.1f ms, 1 MB %9.1f ms, growth %5.2fx (%s)\n", What, half * 1000,
              full * 1000, growth, limitText(growth, kGrowthLimit, "x").c_str());
  std::fflush(stdout);
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const String plain = UTF8ToUTF16(benchpages::bigPage());
  std::printf("%-58s        1 MB %9.1f ms\n", "record of a 1 MB page of paragraphs (to compare with)",
              recordSeconds(plain) * 1000);
  line("record of <title></title>x repeated", [](std::size_t n) {
    return recordSeconds(repeated("<title></title>x", n));
  });
  line("record of <span> x N, then <td/> x N", [](std::size_t n) {
    return recordSeconds(openThenStray("<span>", "<td/>", n));
  });
  line("record of <b> x N, then </i> x N", [](std::size_t n) {
    return recordSeconds(openThenStray("<b>", "</i>", n));
  });
  line("record of <meta name=a>x repeated", [](std::size_t n) {
    return recordSeconds(repeated("<meta name=a>x", n));
  });
  line("record of <p style='page-break-after:auto'>x</p> repeated", [](std::size_t n) {
    return recordSeconds(repeated("<p style='page-break-after:auto'>x</p>", n));
  });

  // The whole copy through the viewer: the page is loaded first (not timed).
  Application->Initialize();
  auto form = std::make_unique<TForm>(nullptr);
  form->SetBounds(0, 0, 640, 480);
  auto* view = new THtmlView(form.get());
  view->SetParent(form.get());
  view->SetBounds(0, 0, 640, 480);
  form->Show();
  Application->ProcessMessages();
  line("Select All + copy of <style></style>x repeated (viewer)", [&](std::size_t n) {
    view->LoadFromString(repeated("<style></style>x", n));
    return bestSeconds(5, [&] {
      view->SelectAll();
      view->CopyToClipboard();
    });
  });
  form.reset();
  return 0;
}
