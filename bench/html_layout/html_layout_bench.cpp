// Layout speed of typical and extreme pages at 800 pixels, each printed
// beside litehtml rendering the same page at the same width in this run.
// Building the document is not timed; only the layout pass is (ours:
// the document's layout, theirs: render()). The document is laid out once
// before the timed runs, so each figure is a layout again of a document
// already built and laid out (as on a resize), not what a user waits for
// when a page loads: bench/html_view times the load through the viewer.
// Figures are best of several runs, in milliseconds, with the targets the
// layout is held to.
#include <litehtml.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "bench/common/best_time.h"
#include "bench/common/dictionary_markup.h"
#include "bench/common/limit.h"
#include "bench/common/litehtml_null_container.h"
#include "html/build/html_parser.h"
#include "html/parse/source_buffer.h"
#include "html/model/document.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

constexpr int Width = 800;

// The display rules litehtml needs to lay out these pages as a browser would.
const litehtml::tchar_t* const MasterCss = _t(
    "html,body,div,p,ul,ol,dl,dd,dt,h1,h2,h3,center,form,blockquote,pre,address{display:block}"
    "head,style,title,script{display:none} li{display:list-item} table{display:table}"
    "tr{display:table-row} td,th{display:table-cell} tbody{display:table-row-group}"
    "thead{display:table-header-group} tfoot{display:table-footer-group}"
    "body{margin:8px} p{margin:1em 0} ul,ol{margin:1em 0;padding-left:40px}"
    "b,strong,th{font-weight:bold} i,em{font-style:italic} br{display:block}"
    "td,th{padding:1px} table{border-spacing:2px} a{color:blue;text-decoration:underline}");

std::unique_ptr<ThtDocument> build(const std::string& html) {
  auto doc = std::make_unique<ThtDocument>(nullptr, nullptr);
  doc->ApplyViewerDefaults(u"DejaVu Serif", u"DejaVu Sans Mono", 12, clBlack, clBlue, clPurple, clRed, clWhite, false,
                           true, 1, 5, 10);
  auto buffer = TBuffer::CreateFromBytes(html.data(), html.size(), u"page");
  THtmlParser parser(buffer.get());
  parser.ParseHtml(doc.get(), nullptr, nullptr, nullptr, nullptr);
  return doc;
}

// One article (the markup maker adds articles until the size is reached).
std::string articlePage() { return makeMarkup(100); }

std::string tablePage(int rows) {
  std::string s = "<html><body><table border=1>";
  for (int r = 0; r < rows; ++r)
    s += "<tr><td>row " + std::to_string(r) + "</td><td>some words in a cell</td><td align=right>" +
         std::to_string(r * 37) + "</td></tr>";
  return s + "</table></body></html>";
}

std::string nestedPage(int depth) {
  std::string s = "<html><body>";
  for (int i = 0; i < depth; ++i) s += "<table border=1><tr><td>level " + std::to_string(i) + "</td><td>";
  s += "the innermost cell";
  for (int i = 0; i < depth; ++i) s += "</td></tr></table>";
  return s + "</body></html>";
}

std::string paragraphPage(size_t bytes) {
  std::string s = "<html><body><p>";
  const std::string words = "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor ";
  while (s.size() < bytes) s += words;
  return s + "</p></body></html>";
}

std::string floatsPage(int n) {
  std::string s = "<html><body>";
  for (int i = 0; i < n; ++i)
    s += std::string("<div style='float:") + (i % 2 ? "right" : "left") +
         ";width:60px;height:20px'></div><p>text beside the floats, a line or two of it</p>";
  return s + "</body></html>";
}

// Floats with no text between them: every one is placed beside all the
// ones before it.
std::string floatRowsPage(int n) {
  std::string s = "<html><body>";
  for (int i = 0; i < n; ++i)
    s += std::string("<div style='float:") + (i % 3 ? "left" : "right") + ";width:" + std::to_string(10 + i % 40) +
         "px;height:" + std::to_string(5 + i % 25) + "px'></div>";
  return s + "</body></html>";
}

void compare(const char* name, const std::string& html, double targetMs, int runs) {
  auto doc = build(html);
  TBitmap bmp;
  bmp.SetSize(Width, 600);
  TCanvas* canvas = bmp.Canvas();
  {
    // The first layout is not timed: every run below lays the page out again.
    int sw = 0, curs = 0;
    doc->DoLogic(canvas, 0, Width, 600, 0, sw, curs);
  }
  const double ours = bestSeconds(runs, [&] {
    int sw = 0, curs = 0;
    doc->DoLogic(canvas, 0, Width, 600, 0, sw, curs);
  });
  NullContainer container;
  litehtml::context context;
  context.load_master_stylesheet(MasterCss);
  auto theirs = litehtml::document::createFromString(html.c_str(), &container, &context);
  const double peer = bestSeconds(runs, [&] { theirs->render(Width); });
  std::printf("%-28s warm layout again: ours %10.4f ms   litehtml render %10.4f ms   ratio %6.2f   %s\n", name,
              ours * 1e3, peer * 1e3, peer > 0 ? ours / peer : 0.0, limitText(ours * 1e3, targetMs, "ms").c_str());
  std::fflush(stdout);
}

// The first layout of a page built just before (what a load waits for),
// best of three builds, in seconds of wall and of processor time.
BestTimes firstLayoutTimes(const std::string& html) {
  BestTimes best;
  for (int run = 0; run < 3; ++run) {
    auto doc = build(html);
    TBitmap bmp;
    bmp.SetSize(Width, 600);
    const BestTimes t = bestTimes(1, [&] {
      int sw = 0, curs = 0;
      doc->DoLogic(bmp.Canvas(), 0, Width, 600, 0, sw, curs);
    });
    best.Wall = std::min(best.Wall, t.Wall);
    best.Cpu = std::min(best.Cpu, t.Cpu);
  }
  return best;
}

// litehtml's render of a page it has built.
BestTimes peerRenderTimes(const std::string& html) {
  NullContainer container;
  litehtml::context context;
  context.load_master_stylesheet(MasterCss);
  auto theirs = litehtml::document::createFromString(html.c_str(), &container, &context);
  return bestTimes(1, [&] { theirs->render(Width); });
}

// A page made of one piece of markup repeated to the size asked for.
std::string repeated(const std::string& piece, size_t bytes) {
  std::string s = "<html><body>";
  while (s.size() < bytes) s += piece;
  return s + "</body></html>";
}

// A page of floated blocks of the size asked for, each of its own width
// (10 to 309 px) on either side: narrow ones still fit into the gaps of
// rows filled long before.
std::string mixedFloatsPage(size_t bytes) {
  std::string s = "<html><body>";
  for (uint32_t n = 1; s.size() < bytes;) {
    n = n * 1664525u + 1013904223u;
    s += std::string("<div style=\"float:") + (n >> 31 ? "left" : "right") + "; width:" +
         std::to_string(10 + (n >> 8) % 300) + "px\">x</div>";
  }
  return s + "</body></html>";
}

// A page of nothing but floats, laid out at half the size and at the
// size asked for (1 MB by default): the figure at the full size against
// its limit, and how much longer the doubled page takes in processor time
// (linear work grows about 2x; the limit is 2.5x). litehtml renders the
// same pages, or only pages of peerBytes and half that when it slows down
// on them.
void floatGrowth(const char* name, const std::function<std::string(size_t)>& page, double megabytes,
                 size_t peerBytes) {
  constexpr double LimitMs = 2000, GrowthLimit = 2.5;
  const size_t bytes = size_t(megabytes * (1 << 20));
  const BestTimes half = firstLayoutTimes(page(bytes / 2));
  const BestTimes full = firstLayoutTimes(page(bytes));
  const size_t peerSize = peerBytes ? std::min(peerBytes, bytes) : bytes;
  const BestTimes peerHalf = peerRenderTimes(page(peerSize / 2));
  const BestTimes peer = peerRenderTimes(page(peerSize));
  const double growth = half.Cpu > 0 ? full.Cpu / half.Cpu : 0;
  std::printf("%g MB of %-24s cold first layout (parse not timed) ours %8.1f ms, %8.1f ms of processor time (%s), "
              "half -> whole x%.2f (%s); litehtml first render %8.1f ms, x%.2f",
              megabytes, name, full.Wall * 1e3, full.Cpu * 1e3, limitText(full.Cpu * 1e3, LimitMs, "ms").c_str(),
              growth, limitText(growth, GrowthLimit, "").c_str(), peer.Wall * 1e3,
              peerHalf.Cpu > 0 ? peer.Cpu / peerHalf.Cpu : 0.0);
  // Where litehtml only gets the smaller page, ours lays that same page out
  // too, so that the ratio compares the same work.
  const double oursAtPeer = peerSize < bytes ? firstLayoutTimes(page(peerSize)).Cpu : full.Cpu;
  if (peerSize < bytes) std::printf(" for %.0f KB only (ours there %.1f ms of processor time)", peerSize / 1024.0,
                                    oursAtPeer * 1e3);
  std::printf("   ratio %.2f\n", peer.Cpu > 0 ? oursAtPeer / peer.Cpu : 0.0);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // "floats" as the first argument prints the float pages only; a second
  // argument sets their size in megabytes (1 by default).
  const bool floatsOnly = argc > 1 && std::string(argv[1]) == "floats";
  const double floatMegabytes = argc > 2 ? std::atof(argv[2]) : 1.0;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);  // measuring text needs no display
  if (!floatsOnly) {
    std::printf("layout again of an already built and laid out document (not a page load) at %d px, "
                "best of several runs\n",
                Width);
    compare("typical article", articlePage(), 0.5, 50);
    compare("1 MB page of articles", makeMarkup(1 << 20), 150, 3);
    compare("1,000-row table", tablePage(1000), 60, 5);
    compare("tables nested 10 deep", nestedPage(10), 10, 10);
    compare("1 MB single paragraph", paragraphPage(1 << 20), 50, 3);
    compare("1,000 floats", floatsPage(1000), 50, 5);
    // Floats of mixed widths and heights with no text: each is placed
    // beside all the ones before it (litehtml slows down sharply here).
    compare("1,000 floats, no text", floatRowsPage(1000), 200, 3);
  }
  std::printf("the first layout of a page built just before (as a load lays it out) at %d px\n", Width);
  // litehtml slows down sharply on floated blocks (6x for twice as many).
  auto piece = [](const char* markup) {
    return [markup](size_t bytes) { return repeated(markup, bytes); };
  };
  floatGrowth("<div style=float:left>", piece("<div style=\"float:left\">x</div>"), floatMegabytes, 64 * 1024);
  floatGrowth("<img align=left>", piece("<img align=left>"), floatMegabytes, 0);
  floatGrowth("floats of mixed widths", mixedFloatsPage, floatMegabytes, 64 * 1024);
  return 0;
}
