// Printing the viewer's page through its print engine: pages recorded by
// the metafile printer (counted, played back and read by colour), every
// page event and its stop request, page ranges, backgrounds, pages across
// the width, and real PDF files read back with poppler's tools.
#include <gtest/gtest.h>

#include <cctype>
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

namespace {

// A temporary PDF file name, removed with the test.
struct PdfFile {
  std::string Path = "/tmp/tamrix-print-" + std::to_string(getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pdf";
  ~PdfFile() {
    std::remove(Path.c_str());
    std::remove((Path + ".part").c_str());
  }
  String Name() const { return UTF8ToUTF16(Path); }
};

// How often each word occurs in the text.
int occurrences(const std::string& Text, const std::string& Word) {
  int n = 0;
  for (size_t at = Text.find(Word); at != std::string::npos; at = Text.find(Word, at + 1)) {
    const char after = at + Word.size() < Text.size() ? Text[at + Word.size()] : ' ';
    if (!std::isdigit(static_cast<unsigned char>(after))) ++n;
  }
  return n;
}

class ViewerPrintPdf : public ViewerPrint {
protected:
  // Prints the page into a PDF file through the engine; the text of each
  // page comes back.
  std::vector<std::string> printPdf(const PdfFile& F, int From = 1, int To = 0x7FFFFFFF) {
    auto p = TViewPrinter::ToPdfFile(F.Name());
    View->Print(From, To, p.get());
    if (p->Printing()) p->EndDoc();
    std::vector<std::string> pages;
    const int n = pdfPages(F.Path);
    for (int i = 1; i <= n; ++i) pages.push_back(pdfPageText(F.Path, i));
    return pages;
  }
};

TEST_F(ViewerPrintPdf, APrintedPdfHoldsEveryLineOnceInOrder) {
  std::string html = "<body style='margin:0'>";
  for (int i = 0; i < 120; ++i) html += "<p style='margin:0;font-size:14pt'>row" + std::to_string(i) + "</p>";
  load(html + "</body>");
  const int count = View->NumPrinterPages();
  PdfFile f;
  const auto pages = printPdf(f);
  ASSERT_EQ(int(pages.size()), count);
  ASSERT_GT(count, 2);
  std::string all;
  for (const auto& p : pages) all += p;
  size_t at = 0;
  for (int i = 0; i < 120; ++i) {
    const std::string w = "row" + std::to_string(i);
    EXPECT_EQ(occurrences(all, w), 1) << w;
    const size_t here = all.find(w);
    EXPECT_GE(here, at) << w << " out of order";
    at = here;
  }
  EXPECT_FALSE(FileExists(f.Name() + u".part"));
}

// Cells side by side whose lines end at different heights: the page ends
// above the first line that does not fit in any cell, and no line of the
// other cells is printed on both pages.
TEST_F(ViewerPrintPdf, LinesOfCellsSideBySideArePrintedOnce) {
  std::string left, right, inner;
  for (int i = 0; i < 90; ++i) left += "<div style='font-size:13pt'>left" + std::to_string(i) + "</div>";
  for (int i = 0; i < 60; ++i) right += "<div style='font-size:19pt'>right" + std::to_string(i) + "</div>";
  for (int i = 0; i < 70; ++i) inner += "<div style='font-size:16pt'>inner" + std::to_string(i) + "</div>";
  load("<body style='margin:0'><table><tr><td valign=top>" + left + "</td><td valign=top>" + right +
       "</td><td valign=top><table><tr><td valign=top>" + inner + "</td><td valign=top>" + left.substr(0, 0) +
       "<div style='font-size:11pt'>x</div></td></tr></table></td></tr></table></body>");
  PdfFile f;
  const auto pages = printPdf(f);
  ASSERT_GT(pages.size(), 1u);
  std::string all;
  for (const auto& p : pages) all += p;
  for (int i = 0; i < 90; ++i) EXPECT_EQ(occurrences(all, "left" + std::to_string(i)), 1) << "left" << i;
  for (int i = 0; i < 60; ++i) EXPECT_EQ(occurrences(all, "right" + std::to_string(i)), 1) << "right" << i;
  for (int i = 0; i < 70; ++i) EXPECT_EQ(occurrences(all, "inner" + std::to_string(i)), 1) << "inner" << i;
}

TEST_F(ViewerPrintPdf, FromPageAndToPagePrintOnlyTheirPages) {
  std::string html = "<body style='margin:0'>";
  for (int i = 0; i < 150; ++i) html += "<p style='margin:0;font-size:14pt'>row" + std::to_string(i) + "</p>";
  load(html + "</body>");
  PdfFile whole;
  const auto all = printPdf(whole);
  ASSERT_GE(all.size(), 3u);
  PdfFile part;
  const auto some = printPdf(part, 2, 3);
  ASSERT_EQ(some.size(), 2u);
  EXPECT_EQ(some[0], all[1]);
  EXPECT_EQ(some[1], all[2]);
  // A job of the viewer's own that reaches no page is aborted: no file.
  auto device = std::make_unique<TPrinter>();
  device->SetPrinterIndex(int(device->Printers().size()) - 1);
  PdfFile none;
  device->SetOutputFileName(none.Name());
  TPrinter* old = SetPrinter(device.get());
  View->Print(50, 60);
  SetPrinter(old);
  EXPECT_FALSE(FileExists(none.Name()));
  View->Print(2, 2, device.get());  // the caller's printer: its job stays open
  EXPECT_TRUE(device->Printing());
  device->EndDoc();
  EXPECT_EQ(pdfPages(none.Path), 1);
  EXPECT_EQ(pdfPageText(none.Path, 1), all[1]);
}

}  // namespace
