// Printing the viewer's page through its print engine: pages recorded by
// the metafile printer (counted, played back and read by colour), every
// page event and its stop request, page ranges, backgrounds, pages across
// the width, and real PDF files read back with poppler's tools.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "html/images/gif_images.h"
#include "html/model/document.h"
#include "html/print/metafile_printer.h"
#include "html/print/printers.h"
#include "platform/core/files.h"
#include "platform/graphics/printer.h"
#include "platform/core/streams.h"
#include "platform/gui/testing.h"
#include "tests/html/picture_test_util.h"
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
  // Answers every picture the page asks for with Bytes (kept by the caller).
  void answerPictures(const std::vector<std::uint8_t>& Bytes) {
    View->SetOnImageRequest([this, &Bytes](TObject*, const String&, TStream*& S) {
      Answer = std::make_unique<TMemoryStream>();
      Answer->WriteBuffer(Bytes.data(), std::int64_t(Bytes.size()));
      S = Answer.get();
    });
  }
  std::unique_ptr<TMemoryStream> Answer;
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
  static inline int Made = 0;
  std::string Path = "/tmp/tamrix-print-" + std::to_string(getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" + std::to_string(++Made) +
                     ".pdf";
  ~PdfFile() { std::remove(Path.c_str()); }
  String Name() const { return UTF8ToUTF16(Path); }
  // Files a job wrote beside the document under a temporary name and left.
  int Leftovers() const {
    const std::filesystem::path p(Path);
    const std::string prefix = "." + p.filename().string();
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(p.parent_path()))
      if (e.path().filename().string().rfind(prefix, 0) == 0) ++n;
    return n;
  }
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
  EXPECT_EQ(f.Leftovers(), 0);
}

// A document that cannot take its name (a folder has it) is reported with
// the name and the reason, and nothing is left beside it; the folder stays.
TEST_F(ViewerPrintPdf, ADocumentThatCannotTakeItsNameIsReportedAndLeavesNothing) {
  load(colouredLines(10));
  PdfFile f;
  std::filesystem::create_directory(f.Path);
  auto p = TViewPrinter::ToPdfFile(f.Name());
  View->Print(1, 0x7FFFFFFF, p.get());
  try {
    p->EndDoc();
    ADD_FAILURE() << "no error";
  } catch (const EPrinter& e) {
    const std::string text = UTF16ToUTF8(e.Message());
    EXPECT_NE(text.find(f.Path), std::string::npos) << text;
    EXPECT_NE(text.find("directory"), std::string::npos) << text;
  }
  EXPECT_FALSE(p->Printing());
  EXPECT_TRUE(std::filesystem::is_directory(f.Path));
  EXPECT_EQ(f.Leftovers(), 0);
  EXPECT_FALSE(FileExists(f.Name() + u".part"));
  std::filesystem::remove(f.Path);
}

// Cells side by side whose lines end at different heights: the page ends
// above the first line that does not fit in any cell, and no line of the
// other cells is printed on both pages.
TEST_F(ViewerPrintPdf, TheJobIsNamedByTheFirst31CharactersOfItsTitle) {
  load("<p>titled</p>");
  PdfFile f;
  auto p = TViewPrinter::ToPdfFile(f.Name());
  p->SetTitle(u"An article whose title runs on and on past the limit");
  View->Print(1, 1, p.get());
  p->EndDoc();
  const std::string info = run("pdfinfo '" + f.Path + "'");
  EXPECT_NE(info.find(" An article whose title runs on \n"), std::string::npos) << info;
}

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
  EXPECT_FALSE(FileExists(none.Name()));
  EXPECT_EQ(none.Leftovers(), 0);
  // Nor does it spoil an earlier document of that name.
  View->Print(1, 1);
  ASSERT_EQ(pdfPages(none.Path), 1);
  View->Print(50, 60);
  EXPECT_EQ(pdfPages(none.Path), 1);
  EXPECT_EQ(device->OutputFileName(), none.Name());
  SetPrinter(old);
  DeleteFile(none.Name());
  View->Print(2, 2, device.get());  // the caller's printer: its job stays open
  EXPECT_TRUE(device->Printing());
  device->EndDoc();
  EXPECT_EQ(pdfPages(none.Path), 1);
  EXPECT_EQ(pdfPageText(none.Path, 1), all[1]);
}

}  // namespace

namespace {

std::string rows(int N, int Pt = 14) {
  std::string html = "<body style='margin:0'>";
  for (int i = 0; i < N; ++i)
    html += "<p style='margin:0;font-size:" + std::to_string(Pt) + "pt'>row" + std::to_string(i) + "</p>";
  return html + "</body>";
}

TEST_F(ViewerPrint, AnEmptyPageCountsNoPagesAndAOneScreenArticleOne) {
  EXPECT_EQ(View->NumPrinterPages(), 0);
  load("<body></body>");
  EXPECT_EQ(View->NumPrinterPages(), 0);
  auto p = preview();
  EXPECT_EQ(p->LastAvailablePage(), 0);
  load("<h1>word</h1><p>an article of a few lines</p>");
  EXPECT_EQ(View->NumPrinterPages(), 1);
}

TEST_F(ViewerPrint, SpaceBelowTheLastLineMakesNoBlankPage) {
  // One page of lines, then a bottom margin taller than what is left of
  // the page: the margin is no content of its own.
  load(rows(1) + "");
  const int one = View->NumPrinterPages();
  ASSERT_EQ(one, 1);
  auto probe = preview();
  // Fill the page almost exactly, then add empty room below.
  std::string html = "<body style='margin:0'><div style='margin-bottom:600px'>";
  for (int i = 0; i < 40; ++i) html += "<p style='margin:0;font-size:14pt'>row" + std::to_string(i) + "</p>";
  load(html + "</div></body>");
  const int pages = View->NumPrinterPages();
  auto p = preview();
  ASSERT_EQ(p->LastAvailablePage(), pages);
  for (int i = 0; i < pages; ++i) {
    auto bmp = playPage(*p, i);
    EXPECT_GT(ink(*bmp, TRect(0, 0, bmp->Width(), bmp->Height())), 0) << "page " << i << " is blank";
  }
}

TEST_F(ViewerPrint, TheEngineNamesWhatItCannotPrintOn) {
  load(rows(3));
  auto message = [](auto&& Fn) {
    try {
      Fn();
    } catch (const EIllegalArgument& e) {
      return UTF16ToUTF8(e.Message());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { View->PrintPreview(nullptr, true); }), "No printer to print or preview to.");
  TViewPrinter real;
  EXPECT_EQ(message([&] { View->PrintPreview(&real, true); }),
            "Getting the total number of pages to print requires a printer based on TMetaFilePrinter but not a "
            "TViewPrinter");
  EXPECT_EQ(message([&] { View->PrintPreview(&real, false); }),
            "Previewing a print requires a printer based on TMetaFilePrinter but not a TViewPrinter");
  EXPECT_FALSE(real.Printing());
}

TEST_F(ViewerPrint, TheMetafilePrinterRefusesPagesOutsideAJobAndDropsAnUnusedLastPage) {
  TMetaFilePrinter p(nullptr);
  EXPECT_THROW(p.NewPage(), EPrinter);
  p.BeginDoc();
  p.GetCanvas()->FillRect(TRect(0, 0, 10, 10));
  p.NewPage();
  p.EndDoc();  // the second page was never drawn on
  EXPECT_EQ(p.LastAvailablePage(), 1);
  EXPECT_FALSE(p.Printing());
  // Its pages are kept until the next job or an abort.
  p.BeginDoc();
  p.GetCanvas();
  p.Abort();
  EXPECT_EQ(p.LastAvailablePage(), 0);
  TViewPrinter real;
  EXPECT_THROW(real.NewPage(), EPrinter);
  EXPECT_THROW(real.EndDoc(), EPrinter);
}

// A metafile printer that does not record counts the pages a recording one
// records, tells its page event of each, and keeps no page; a preview on
// it only counts.
TEST_F(ViewerPrint, AMetafilePrinterThatDoesNotRecordCountsTheSamePages) {
  load(colouredLines(120));
  auto recorded = preview();
  TMetaFilePrinter counter(nullptr);
  counter.SetRecording(false);
  int told = 0;
  counter.OnPageEvent = [&](TObject*, int Page, bool&) { told = Page; };
  EXPECT_EQ(View->PrintPreview(&counter, false), recorded->LastAvailablePage());
  EXPECT_GT(counter.LastAvailablePage(), 2);
  EXPECT_EQ(counter.LastAvailablePage(), recorded->LastAvailablePage());
  EXPECT_EQ(View->NumPrinterPages(), recorded->LastAvailablePage());
  EXPECT_EQ(told, counter.LastAvailablePage());
  EXPECT_EQ(counter.MetaFile(0), nullptr);
  EXPECT_EQ(counter.GetCanvas(), nullptr);
}

// A table as wide as three printable widths prints each page row on three
// sheets side by side, or on as many as PrintMaxHPages allows.
TEST_F(ViewerPrint, AWideTablePrintsAcrossSeveralPagesUpToTheLimit) {
  std::string cells;
  const unsigned fills[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  char buf[120];
  for (unsigned c : fills) {
    std::snprintf(buf, sizeof buf, "<td width=600 height=100 bgcolor='#%06x'>&nbsp;</td>", c);
    cells += buf;
  }
  load("<body style='margin:0'><table cellspacing=0 cellpadding=0 border=0><tr>" + cells + "</tr></table></body>");
  View->SetPrintMaxHPages(5);
  double ratio = 0;
  EXPECT_EQ(View->NumPrinterPages(ratio), 3);
  EXPECT_GT(ratio, 2.0);
  EXPECT_LE(ratio, 3.0);
  auto p = preview();
  ASSERT_EQ(p->LastAvailablePage(), 3);
  // Each slice shows its own part: red, then green, then blue leading.
  for (int i = 0; i < 3; ++i) {
    auto bmp = playPage(*p, i);
    const Margins m = marginsOf(*p);
    const auto seen = colours(*bmp, TRect(m.Content.Left + 3, m.Content.Top + 3, m.Content.Left + 8, m.Content.Top + 8));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen.begin()->first, fills[i]) << "slice " << i;
  }
  View->SetPrintMaxHPages(2);
  EXPECT_EQ(View->NumPrinterPages(), 2);
  View->SetPrintMaxHPages(1);
  EXPECT_EQ(View->NumPrinterPages(), 1);
}

TEST_F(ViewerPrint, HeadersAndFootersAreOnEveryPageInTheirMargins) {
  load(rows(150));
  std::vector<int> headers, footers;
  View->OnPrintHeader = [&](TObject*, TCanvas* C, int Page, int W, int H, bool&) {
    headers.push_back(Page);
    C->Brush()->SetColor(TColor(0x0000FF));  // red
    C->FillRect(TRect(0, 0, W, H / 2));
  };
  View->OnPrintFooter = [&](TObject*, TCanvas* C, int Page, int W, int H, bool&) {
    footers.push_back(Page);
    C->Brush()->SetColor(TColor(0xFF0000));  // blue
    C->FillRect(TRect(0, H / 2, W, H));
  };
  auto p = preview();
  const int n = p->LastAvailablePage();
  ASSERT_GT(n, 2);
  std::vector<int> expected;
  for (int i = 1; i <= n; ++i) expected.push_back(i);
  EXPECT_EQ(headers, expected);
  EXPECT_EQ(footers, expected);
  const Margins m = marginsOf(*p);
  for (int i = 0; i < n; ++i) {
    auto bmp = playPage(*p, i);
    const auto top = colours(*bmp, TRect(0, 0, bmp->Width(), m.Content.Top));
    const auto bottom = colours(*bmp, TRect(0, m.Content.Bottom, bmp->Width(), bmp->Height()));
    const auto inside = colours(*bmp, m.Content);
    EXPECT_GT(top.count(0xFF0000), 0u) << "header on page " << i;
    EXPECT_GT(bottom.count(0x0000FF), 0u) << "footer on page " << i;
    EXPECT_EQ(inside.count(0xFF0000) + inside.count(0x0000FF), 0u) << "header or footer inside page " << i;
  }
}

TEST_F(ViewerPrintPdf, HtmlHeadersAndFootersAreLoadedForEveryPage) {
  load(rows(150));
  std::vector<bool> last;
  View->OnPrintHTMLHeader = [&](TObject*, THtmlView* HF, int Page, bool LastPage, int& XL, int& XR, bool&) {
    EXPECT_LT(XL, XR);
    HF->LoadFromString(u"<p style='margin:0'>head" + IntToStr(Page) + u"</p>");
    last.push_back(LastPage);
  };
  View->OnPrintHTMLFooter = [&](TObject*, THtmlView* HF, int Page, bool, int&, int&, bool&) {
    HF->LoadFromString(u"<p style='margin:0'>foot" + IntToStr(Page) + u"</p>");
  };
  PdfFile f;
  const auto pages = printPdf(f);
  ASSERT_GT(pages.size(), 2u);
  ASSERT_EQ(last.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    const size_t head = pages[i].find("head" + n), foot = pages[i].find("foot" + n), row = pages[i].find("row");
    ASSERT_NE(head, std::string::npos) << "page " << n;
    ASSERT_NE(foot, std::string::npos) << "page " << n;
    EXPECT_LT(head, row);
    EXPECT_GT(foot, pages[i].rfind("row"));
    EXPECT_EQ(last[i], i + 1 == pages.size());
  }
}

// Stopping: from OnPrinting nothing is printed; from any page event the job
// ends with that page, whole, and the file is complete.
TEST_F(ViewerPrintPdf, StopPrintingFromAnyEventEndsTheJobCleanly) {
  load(rows(200));
  const int all = View->NumPrinterPages();
  ASSERT_GE(all, 4);
  int printed = 0;
  View->OnPrinted = [&](TObject*) { ++printed; };
  {
    View->OnPrinting = [](TObject*, bool& Stop) { Stop = true; };
    PdfFile f;
    auto p = TViewPrinter::ToPdfFile(f.Name());
    View->Print(1, 0x7FFFFFFF, p.get());
    EXPECT_FALSE(p->Printing());
    EXPECT_FALSE(FileExists(f.Name()));
    EXPECT_EQ(printed, 0);
    View->OnPrinting = nullptr;
  }
  struct Case {
    const char* Event;
    int StopAt;
  };
  for (const Case c : {Case{"header", 1}, Case{"footer", 2}, Case{"htmlheader", 3}, Case{"htmlfooter", 2}}) {
    const std::string e = c.Event;
    auto stopAt = [&](int Page, bool& Stop) {
      if (Page == c.StopAt) Stop = true;
    };
    View->OnPrintHeader = nullptr;
    View->OnPrintFooter = nullptr;
    View->OnPrintHTMLHeader = nullptr;
    View->OnPrintHTMLFooter = nullptr;
    if (e == "header") View->OnPrintHeader = [&](TObject*, TCanvas*, int P, int, int, bool& S) { stopAt(P, S); };
    if (e == "footer") View->OnPrintFooter = [&](TObject*, TCanvas*, int P, int, int, bool& S) { stopAt(P, S); };
    if (e == "htmlheader")
      View->OnPrintHTMLHeader = [&](TObject*, THtmlView*, int P, bool, int&, int&, bool& S) { stopAt(P, S); };
    if (e == "htmlfooter")
      View->OnPrintHTMLFooter = [&](TObject*, THtmlView*, int P, bool, int&, int&, bool& S) { stopAt(P, S); };
    PdfFile f;
    const auto pages = printPdf(f);
    EXPECT_EQ(int(pages.size()), c.StopAt) << e;
    if (!pages.empty()) {
      EXPECT_NE(pages.back().find("row"), std::string::npos) << e;
    }
  }
  // A page recorder's own page event stops the job as well.
  View->OnPrintHTMLFooter = nullptr;
  TMetaFilePrinter rec(nullptr);
  rec.OnPageEvent = [](TObject*, int Page, bool& Stop) { Stop = Page == 2; };
  View->PrintPreview(&rec, false);
  EXPECT_EQ(rec.LastAvailablePage(), 2);
  EXPECT_FALSE(rec.Printing());
}

// A handler may free the viewer from any print event: the job ends after
// the page it was on, the caller's printer is left with the pages made so
// far, and nothing of the viewer is touched again (the sanitizer build
// catches any such use).
TEST_F(ViewerPrintPdf, FreeingTheViewerFromAPrintEventEndsTheJob) {
  for (const std::string e : {"printing", "header", "footer", "htmlheader", "htmlfooter"}) {
    if (!View) openViewer(500, 400);
    load(rows(200));
    ASSERT_GE(View->NumPrinterPages(), 3);
    int printed = 0;
    View->OnPrinted = [&](TObject*) { ++printed; };
    auto freeOn2 = [&](int Page) {
      if (Page == 2) closeViewer();
    };
    if (e == "printing") View->OnPrinting = [&](TObject*, bool&) { closeViewer(); };
    if (e == "header") View->OnPrintHeader = [&](TObject*, TCanvas*, int P, int, int, bool&) { freeOn2(P); };
    if (e == "footer") View->OnPrintFooter = [&](TObject*, TCanvas*, int P, int, int, bool&) { freeOn2(P); };
    if (e == "htmlheader")
      View->OnPrintHTMLHeader = [&](TObject*, THtmlView* HF, int P, bool, int&, int&, bool&) {
        HF->LoadFromString(u"<p>head</p>");
        freeOn2(P);
      };
    if (e == "htmlfooter")
      View->OnPrintHTMLFooter = [&](TObject*, THtmlView* HF, int P, bool, int&, int&, bool&) {
        HF->LoadFromString(u"<p>foot</p>");
        freeOn2(P);
      };
    PdfFile f;
    auto p = TViewPrinter::ToPdfFile(f.Name());
    View->Print(1, 0x7FFFFFFF, p.get());
    EXPECT_EQ(View, nullptr) << e;
    EXPECT_EQ(printed, 0) << e;
    if (e == "printing") {
      EXPECT_FALSE(p->Printing());
      EXPECT_FALSE(FileExists(f.Name()));
      continue;
    }
    ASSERT_TRUE(p->Printing()) << e << ": the caller's job stays open";
    p->EndDoc();
    EXPECT_EQ(pdfPages(f.Path), 2) << e;
  }
}

// A bordered table running over several sheets: its header rows open and
// its footer rows close every sheet it is on, and its body rows are each
// printed once.
TEST_F(ViewerPrintPdf, ALongTablesHeaderAndFooterAreOnEverySheet) {
  std::string html = "<body style='margin:0'><p>intro</p><table border=1 cellspacing=0 width=300>"
                     "<thead><tr><td>HEADROW</td></tr></thead><tfoot><tr><td>FOOTROW</td></tr></tfoot><tbody>";
  for (int i = 0; i < 150; ++i) html += "<tr><td>body" + std::to_string(i) + "</td></tr>";
  load(html + "</tbody></table><p>after</p></body>");
  PdfFile f;
  const auto pages = printPdf(f);
  ASSERT_GE(pages.size(), 3u);
  std::string all;
  for (size_t p = 0; p < pages.size(); ++p) {
    all += pages[p];
    EXPECT_EQ(occurrences(pages[p], "HEADROW"), 1) << "sheet " << p + 1;
    EXPECT_EQ(occurrences(pages[p], "FOOTROW"), 1) << "sheet " << p + 1;
    // The footer comes right after the sheet's last body row.
    const size_t foot = pages[p].find("FOOTROW");
    if (foot != std::string::npos) {
      EXPECT_EQ(pages[p].find("body", foot), std::string::npos) << "sheet " << p + 1;
    }
  }
  for (int i = 0; i < 150; ++i) EXPECT_EQ(occurrences(all, "body" + std::to_string(i)), 1) << i;
}

// A table whose header is followed by rows taller than a sheet starts on
// the first sheet: nothing may push it on for ever.
TEST_F(ViewerPrintPdf, ATableOfRowsTallerThanASheetStartsOnTheFirstSheet) {
  std::string cell;
  for (int i = 0; i < 90; ++i) cell += "tall" + std::to_string(i) + "<br>";
  load("<body><table border=1><thead><tr><td>HEADROW</td></tr></thead><tr><td>first</td></tr>"
       "<tr><td>" + cell + "</td></tr><tr><td>" + cell + "</td></tr></table></body>");
  PdfFile f;
  const auto pages = printPdf(f);
  ASSERT_GE(pages.size(), 3u);
  EXPECT_NE(pages[0].find("HEADROW"), std::string::npos) << "the table starts on the first sheet";
  EXPECT_NE(pages[0].find("first"), std::string::npos);
  EXPECT_NE(pages[0].find("tall0"), std::string::npos);
  std::string all;
  for (const auto& p : pages) all += p;
  for (int i = 0; i < 90; ++i) EXPECT_EQ(occurrences(all, "tall" + std::to_string(i)), 2) << i;
}

// A line wider than the paper is printed in slices side by side: a word
// a sheet does not show is not in that sheet's text either, so search and
// copy find every word on one sheet at most.
TEST_F(ViewerPrintPdf, ASheetsTextHoldsOnlyWhatTheSheetShows) {
  std::string line;
  for (int i = 0; i < 40; ++i) line += "word" + std::to_string(100 + i) + " ";
  load("<body style='margin:0'><p>top</p><table><tr><td nowrap style='font-family:\"DejaVu Sans\"'>" + line +
       "</td></tr></table></body>");
  View->SetPrintMaxHPages(2);
  PdfFile f;
  const auto pages = printPdf(f);
  ASSERT_EQ(pages.size(), 2u);
  int once = 0;
  for (int i = 0; i < 40; ++i) {
    const std::string w = "word" + std::to_string(100 + i);
    const int n = occurrences(pages[0], w) + occurrences(pages[1], w);
    EXPECT_LE(n, 1) << w << " is in the text of both sheets";
    once += n == 1;
  }
  // The first sheet starts the line, the second goes on with it; what lies
  // beyond the second is on neither.
  EXPECT_EQ(occurrences(pages[0], "word100"), 1);
  EXPECT_EQ(occurrences(pages[1], "word100"), 0);
  EXPECT_EQ(occurrences(pages[0], "word139") + occurrences(pages[1], "word139"), 0);
  EXPECT_GT(once, 10);
}

// On paper a block's background picture stays inside the block's box: the
// last row of tiles is cut at the box's bottom, on whichever sheet that is.
TEST_F(ViewerPrint, ABlocksBackgroundPictureStaysInItsBoxOnPaper) {
  pictures::GifWriter g(50, 50, {0xFF00FF});
  g.image(0, 0, 50, 50, pictures::Bytes(50 * 50, 0));
  const pictures::Bytes gif = g.finish();
  answerPictures(gif);
  load("<body style='margin:0'><div style='background-image:url(bg.gif);height:1225px;"
       "border-bottom:6px solid #0000ff'></div>" +
       rows(80).substr(std::string("<body style='margin:0'>").size()));
  auto p = preview();
  ASSERT_GE(p->LastAvailablePage(), 2);
  int boxEnds = 0;
  for (int page = 0; page < 2; ++page) {
    auto bmp = playPage(*p, page);
    int lastPicture = -1, lastBorder = -1;
    for (int y = 0; y < bmp->Height(); ++y) {
      const auto seen = colours(*bmp, TRect(0, y, bmp->Width(), y + 1));
      if (seen.count(0xFF00FF)) lastPicture = y;
      if (seen.count(0x0000FF)) lastBorder = y;
    }
    EXPECT_GE(lastPicture, 0) << "sheet " << page + 1;
    if (lastBorder < 0) continue;
    ++boxEnds;
    EXPECT_LT(lastPicture, lastBorder) << "the picture runs past its box on sheet " << page + 1;
  }
  EXPECT_EQ(boxEnds, 1);
}

TEST_F(ViewerPrint, BackgroundsPrintOnlyWithTheirOptions) {
  load("<body bgcolor='#ffff00' style='margin:0'><p>text</p><table><tr><td bgcolor='#00ffff' width=200 "
       "height=80>cell</td></tr></table></body>");
  auto contentColours = [&] {
    auto p = preview();
    auto bmp = playPage(*p, 0);
    return colours(*bmp, marginsOf(*p, 2.0, -2).Content);
  };
  THtmlViewOptions o = View->HtOptions();
  o.Exclude(htPrintBackground);
  o.Exclude(htPrintTableBackground);
  View->SetHtOptions(o);
  auto plain = contentColours();
  EXPECT_EQ(plain.count(0xFFFF00), 0u);
  EXPECT_EQ(plain.count(0x00FFFF), 0u);
  o.Include(htPrintTableBackground);
  View->SetHtOptions(o);
  auto table = contentColours();
  EXPECT_EQ(table.count(0xFFFF00), 0u);
  EXPECT_GT(table.count(0x00FFFF), 0u);
  o.Include(htPrintBackground);
  View->SetHtOptions(o);
  auto both = contentColours();
  EXPECT_GT(both[0xFFFF00], 1000);
  EXPECT_GT(both.count(0x00FFFF), 0u);
  // The background fills the printable area, never the margins.
  auto p = preview();
  auto bmp = playPage(*p, 0);
  const Margins m = marginsOf(*p);
  EXPECT_EQ(ink(*bmp, TRect(0, 0, bmp->Width(), m.Content.Top)), 0);
  EXPECT_EQ(ink(*bmp, TRect(0, m.Content.Bottom, bmp->Width(), bmp->Height())), 0);
}

// While a job runs, a load asked for by a handler waits for the job's end:
// every page shows the page the job began with.
TEST_F(ViewerPrintPdf, ALoadDuringPrintingWaitsForTheJobsEnd) {
  load(rows(150));
  bool asked = false;
  View->OnPrintHeader = [&](TObject*, TCanvas*, int Page, int, int, bool&) {
    if (Page == 1) {
      View->LoadFromString(u"<p>replacement</p>");
      asked = true;
    }
  };
  PdfFile f;
  const auto pages = printPdf(f);
  EXPECT_TRUE(asked);
  ASSERT_GT(pages.size(), 2u);
  EXPECT_NE(pages.back().find("row149"), std::string::npos);
  View->SelectAll();
  EXPECT_EQ(View->SelText(), u"replacement");
}

// A clear asked for while a job runs waits for its end as a load does (the
// job's copy shares the page's pictures and inline records); a load asked
// for after it replaces it.
TEST_F(ViewerPrintPdf, AClearDuringPrintingWaitsForTheJobsEnd) {
  for (const bool thenLoad : {false, true}) {
    load(rows(150));
    bool shownDuringJob = false;
    View->OnPrintHeader = [&](TObject*, TCanvas*, int Page, int, int, bool&) {
      if (Page == 1) {
        View->Clear();
        if (thenLoad) View->LoadFromString(u"<p>replacement</p>");
      }
      if (Page == 2) shownDuringJob = !View->GetDocumentSource().empty();
    };
    PdfFile f;
    const auto pages = printPdf(f);
    View->OnPrintHeader = nullptr;
    ASSERT_GT(pages.size(), 2u) << thenLoad;
    EXPECT_NE(pages.front().find("row0"), std::string::npos) << thenLoad;
    EXPECT_NE(pages.back().find("row149"), std::string::npos) << thenLoad;
    EXPECT_TRUE(shownDuringJob) << thenLoad;
    View->SelectAll();
    EXPECT_EQ(View->SelText(), thenLoad ? u"replacement" : u"") << thenLoad;
  }
}

}  // namespace

namespace {

// While a job prints, the page on screen keeps painting and its animated
// pictures keep running (the engine lets the program's messages through
// between pages).
TEST_F(ViewerPrintPdf, TheScreenKeepsPaintingAndAnimatingWhilePrinting) {
  pictures::GifWriter g(30, 20, {0xFF0000, 0x0000FF});
  g.loop(0);
  for (std::uint8_t i = 0; i < 2; ++i) {
    g.control(1, 5);
    g.image(0, 0, 30, 20, pictures::Bytes(30 * 20, i));
  }
  const pictures::Bytes gif = g.finish();
  answerPictures(gif);
  load("<body style='margin:0'><img src='anim.gif'>" + rows(200).substr(std::string("<body style='margin:0'>").size()));
  ASSERT_EQ(View->Document()->AnimatedImages.size(), 1u);
  auto* anim = dynamic_cast<TGIFImage*>(View->Document()->AnimatedImages[0]);
  ASSERT_NE(anim, nullptr);
  std::set<int> framesSeen;
  int inkOnScreen = -1;
  View->OnPrintHeader = [&](TObject*, TCanvas*, int Page, int, int, bool&) {
    ::usleep(40000);  // a slow printer
    framesSeen.insert(anim->FrameIndex());
    if (Page == 2) {
      std::vector<std::uint32_t> px;
      int w = 0, h = 0;
      GrabWindow(View, px, w, h);
      inkOnScreen = 0;
      for (std::uint32_t p : px)
        if ((p & 0xFFFFFF) == 0xFF0000 || (p & 0xFFFFFF) == 0x0000FF) ++inkOnScreen;
    }
  };
  PdfFile f;
  const auto pages = printPdf(f);
  ASSERT_GE(pages.size(), 5u);
  EXPECT_GT(inkOnScreen, 100) << "the picture on screen is painted during the job";
  EXPECT_EQ(framesSeen.size(), 2u) << "the picture on screen changes frames during the job";
}

}  // namespace

namespace {

// Where each occurrence of Word lies on each sheet of a PDF file, read with
// pdftotext's word boxes: per sheet, the width of each occurrence in points.
std::vector<std::vector<double>> wordWidths(const std::string& File, const std::string& Word) {
  const std::string xml = run("pdftotext -bbox '" + File + "' -");
  std::vector<std::vector<double>> out;
  for (size_t at = xml.find("<page"); at != std::string::npos; at = xml.find("<page", at + 1)) {
    const size_t end = xml.find("</page>", at);
    out.emplace_back();
    const std::string tail = ">" + Word + "</word>";
    for (size_t w = xml.find("<word ", at); w != std::string::npos && w < end; w = xml.find("<word ", w + 1)) {
      const size_t close = xml.find("</word>", w);
      const size_t gt = xml.find('>', w);
      if (xml.compare(gt, tail.size(), tail) != 0) continue;
      auto attr = [&](const char* Name) {
        const size_t a = xml.find(std::string(Name) + "=\"", w);
        return a < close ? std::atof(xml.c_str() + a + std::strlen(Name) + 2) : 0.0;
      };
      out.back().push_back(attr("xMax") - attr("xMin"));
    }
  }
  return out;
}

// The first print of a process: a long table's footer rows are drawn at
// the same size on the first sheet as on every other. Run in a process of
// its own, so that nothing printed before sets up what the first print
// needs.
void printALongTableFirstThing() {
  ViewerOnForm v;
  v.openViewer(500, 400);
  std::string html = "<body style='margin:0'><table border=1 cellspacing=0 width=300>"
                     "<thead><tr><td>HEADROW</td></tr></thead><tfoot><tr><td>FOOTROW</td></tr></tfoot><tbody>";
  for (int i = 0; i < 200; ++i) html += "<tr><td>body" + std::to_string(i) + "</td></tr>";
  v.load(html + "</tbody></table></body>");
  const std::string path = "/tmp/tamrix-first-print-" + std::to_string(getpid()) + ".pdf";
  {
    auto p = TViewPrinter::ToPdfFile(UTF8ToUTF16(path));
    v.View->Print(1, 0x7FFFFFFF, p.get());
    if (p->Printing()) p->EndDoc();
  }
  const auto foot = wordWidths(path, "FOOTROW"), head = wordWidths(path, "HEADROW");
  std::remove(path.c_str());
  v.closeViewer();
  // Every sheet has its header and footer once, each as wide as on the
  // last sheet (the page's own TFOOT rows are on the last).
  bool ok = foot.size() >= 3 && head.size() == foot.size() && foot.back().size() == 1 && head.back().size() == 1;
  for (size_t s = 0; ok && s < foot.size(); ++s) {
    std::fprintf(stderr, "sheet %zu:", s + 1);
    for (double w : foot[s]) std::fprintf(stderr, " FOOTROW %.1f pt", w);
    for (double w : head[s]) std::fprintf(stderr, " HEADROW %.1f pt", w);
    std::fprintf(stderr, "\n");
    ok = foot[s].size() == 1 && head[s].size() == 1 && std::abs(foot[s][0] - foot.back().at(0)) < 0.5 &&
         std::abs(head[s][0] - head.back().at(0)) < 0.5;
  }
  std::exit(ok ? 0 : 1);
}

TEST(ViewerFirstPrint, ALongTablesFooterHasItsSizeOnTheFirstSheetOfTheFirstPrint) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(printALongTableFirstThing(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
