// Saving the shown page as HTML with its pictures or as text, and printing
// it into a PDF file, through the main window's buttons and dialogs.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/article_save.h"
#include "html/viewer/viewer_dump.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/graphics/printer.h"
#include "platform/gui/clipboard.h"
#include "tests/app/main_form_util.h"
#include "tools/dictbuilder/media.h"

using apptest::readFile;
using apptest::writeFile;
namespace fs = std::filesystem;

namespace {

// ---- the page's text and references ----------------------------------------

TEST(ArticleText, TagsGoLineBreaksStayAndStrayBracketsAreText) {
  EXPECT_EQ(UTF16ToUTF8(ArticleSourceToText(
                u"<html><body><h1>FOX</H1><B>fox</B> лиса<BR>&bull; one<br>two&acute; &amp; x</body></html>")),
            "FOX\r\nfox лиса\r\n one\r\ntwo &amp; x");
  // A ">" that opens no tag stays, and the tag after it still goes: the
  // text ends (it does not loop for ever).
  EXPECT_EQ(UTF16ToUTF8(ArticleSourceToText(u"a > b <i>c</i> d")), "a > b c d");
  EXPECT_EQ(UTF16ToUTF8(ArticleSourceToText(u">> x <b>y")), ">> x y");
  // A "<" that nothing closes is text too.
  EXPECT_EQ(UTF16ToUTF8(ArticleSourceToText(u"<b>1</b> < 2")), "1 < 2");
  EXPECT_EQ(UTF16ToUTF8(ArticleSourceToText(u"<br/><BR >x")), "x");
}

TEST(ArticleText, NamesAndExtensions) {
  EXPECT_EQ(WithExtension(u"/t/page", u".html"), u"/t/page.html");
  EXPECT_EQ(WithExtension(u"/t/page.HTML", u".html"), u"/t/page.HTML");
  EXPECT_EQ(WithExtension(u"/t/page.html.txt", u".html"), u"/t/page.html.txt.html");
  EXPECT_EQ(WithExtension(u"/t/notes.txt", u".txt"), u"/t/notes.txt");
  EXPECT_EQ(SafeFileName(u"a/b\\c:d*e?f\"g<h>i|j#k%l"), u"a_b_c_d_e_f_g_h_i_j_k_l");
  EXPECT_EQ(SafeFileName(u"ёж в тумане.png"), u"ёж в тумане.png");
  for (const char16_t* bad : {u"", u".", u".."}) EXPECT_EQ(SafeFileName(bad), u"_");
  EXPECT_EQ(SafeFileName(String(u"x\n\ty")), u"x__y");
  EXPECT_EQ(SafeFileName(String(300, u'a')).size(), 200u);
  // The limit of a name counts the bytes of its UTF-8 form, with room left
  // for the pictures folder's ".files"; a character is never cut in two.
  for (const String& longName : {String(300, u'ж'), String(300, u'水'), [] {
         String s = u"a";
         for (int i = 0; i < 200; ++i) s += u"\U0001F600";
         return s;
       }()}) {
    const String cut = SafeFileName(longName);
    const UTF8String bytes = UTF16ToUTF8(cut);
    EXPECT_LE(bytes.size() + 6, 255u);
    EXPECT_GT(bytes.size() + 4 + 6, 255u);  // no more is cut than needed
    EXPECT_EQ(UTF8ToUTF16(bytes), cut);
    EXPECT_EQ(longName.compare(0, cut.size(), cut), 0);
  }
  EXPECT_EQ(EscapeUrlPath(u"my page.files/ёж#1.png"), u"my%20page.files/%D1%91%D0%B6%231.png");
}

TEST(ArticleText, MediaReferencesPointIntoTheFolderOncePerPicture) {
  const String page =
      u"<a href=\"*0/fox.png\"><IMG SRC=\"*0/fox.png\"></a> <a href=\"*12/a/b/fox.png\"><IMG SRC=\"*12/a/b/fox.png\">"
      u"</a><IMG SRC=\"*1/../../x &amp; y.gif\"><p title=\"*note\">";
  std::vector<TSavedMedia> media;
  const String out = PointMediaIntoFolder(page, u"my page.files", media);
  ASSERT_EQ(media.size(), 3u);
  EXPECT_EQ(media[0].DictIndex, 0);
  EXPECT_EQ(media[0].Name, u"fox.png");
  EXPECT_EQ(media[0].FileName, u"fox.png");
  // Another picture whose file name would be the same gets its own.
  EXPECT_EQ(media[1].DictIndex, 12);
  EXPECT_EQ(media[1].Name, u"a/b/fox.png");
  EXPECT_EQ(media[1].FileName, u"2-fox.png");
  // The name as stored (entities read back) is what is fetched; the file
  // stays inside the folder.
  EXPECT_EQ(media[2].Name, u"../../x & y.gif");
  EXPECT_EQ(media[2].FileName, u"x & y.gif");
  EXPECT_EQ(UTF16ToUTF8(out),
            "<a href=\"my%20page.files/fox.png\"><IMG SRC=\"my%20page.files/fox.png\"></a> "
            "<a href=\"my%20page.files/2-fox.png\"><IMG SRC=\"my%20page.files/2-fox.png\"></a>"
            "<IMG SRC=\"my%20page.files/x%20%26%20y.gif\"><p title=\"*note\">");
}

// ---- a save cut short --------------------------------------------------------------

// A save run in a child process, killed once Ready says so: the program
// killed half way through a save.
class KilledSave {
public:
  KilledSave(const String& Page, const String& Source, const TMediaFetch& Fetch) {
    FPid = fork();
    if (FPid == 0) {
      SaveArticleAsHtml(Page, Source, Fetch);
      _exit(0);
    }
  }
  ~KilledSave() { Kill(); }
  bool Started() const { return FPid > 0; }
  void Kill() {
    if (FPid <= 0) return;
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
    FPid = 0;
  }

private:
  pid_t FPid = -1;
};

std::unique_ptr<TMemoryStream> streamOf(const std::string& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(bytes.data(), std::int64_t(bytes.size()));
  return stream;
}

TEST(ArticleSave, WhatAKilledSaveLeftIsSweptByTheNextSaveIntoTheFolder) {
  const fs::path out = fs::temp_directory_path() / ("tamrix-killed-save-" + std::to_string(getpid()));
  fs::remove_all(out);
  fs::create_directories(out);
  const String page = Utf8ToUnicode((out / "page.html").string());
  const String source = u"<html><body><img SRC=\"*0/a.png\"><img SRC=\"*0/b.png\"></body></html>";

  // Killed while it fetches the pictures: nothing is written yet.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  {
    KilledSave save(page, source, [&](int, const String& Name) {
      if (Name == u"b.png") {
        if (write(ready[1], "x", 1) != 1) _exit(1);
        for (;;) pause();
      }
      return streamOf("PICTURE");
    });
    ASSERT_TRUE(save.Started());
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    save.Kill();
  }
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(apptest::temporariesIn(out / "page.files"), std::vector<std::string>{});
  EXPECT_EQ(apptest::temporariesIn(out), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(out / "page.html"));

  // Killed while it writes a large picture out: its temporary stays.
  {
    const std::string large(64 << 20, 'p');
    KilledSave save(page, source, [&](int, const String& Name) { return streamOf(Name == u"a.png" ? large : "b"); });
    ASSERT_TRUE(save.Started());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (apptest::temporariesIn(out / "page.files").empty() && std::chrono::steady_clock::now() < deadline)
      usleep(200);
    save.Kill();
  }
  ASSERT_FALSE(apptest::temporariesIn(out / "page.files").empty()) << "the save ended before it was killed";
  EXPECT_FALSE(fs::exists(out / "page.files/a.png"));
  EXPECT_FALSE(fs::exists(out / "page.html"));

  // The next save into the same folder removes what the killed one left.
  SaveArticleAsHtml(page, source, [](int, const String& Name) { return streamOf(UTF16ToUTF8(Name)); });
  EXPECT_EQ(apptest::temporariesIn(out / "page.files"), std::vector<std::string>{});
  EXPECT_EQ(apptest::temporariesIn(out), std::vector<std::string>{});
  EXPECT_EQ(readFile(out / "page.files/a.png"), "a.png");
  EXPECT_EQ(readFile(out / "page.files/b.png"), "b.png");
  EXPECT_NE(readFile(out / "page.html").find("page.files/b.png"), std::string::npos);
  fs::remove_all(out);
}

// ---- through the window ----------------------------------------------------------

class SaveAndPrint : public apptest::MainWindow {
protected:
  void SetUp() override {
    MainWindow::SetUp();
    Png = dictbuilder::EncodePng(dictbuilder::MakeBadgePicture(37));
    Dict("en")
        .Properties("English/Russian", "en")
        .Word({0, "FOX", "<1>fox</1> лиса<9>beast &gt; bird <5>fox.png</5>"})
        .Media(1, "fox.png", Png);
    List("en 1\r\n");
    writeFile(Dir / "help/index.html", "<html><body><h1>Help</h1>" + std::string(3000, ' ') + "</body></html>");
    Out = Dir / "out";
    fs::create_directories(Out);
    SetDialogHook([this](TDialogRequest& r, int& result) {
      result = 0;
      if (r.Kind == dkMessageBox) {
        Messages.push_back(UTF16ToUTF8(r.Text));
        result = (r.Flags & MB_YESNO) == MB_YESNO ? Answer : IDOK;
      } else if (r.Kind == dkSaveFile) {
        // No name to answer with: the dialog is cancelled.
        auto* d = static_cast<TSaveDialog*>(r.Dialog);
        Proposed = UTF16ToUTF8(d->FileName());
        if (SaveAs.empty()) return true;
        d->SetFileName(Utf8ToUnicode(SaveAs));
        d->SetFilterIndex(Filter);
        result = 1;
      } else if (r.Kind == dkPrint && (!PrintTo.empty() || PrintProposed)) {
        ++PrintDialogs;
        // The paper the user picks in the dialog.
        if (PaperWidth > 0) static_cast<TPrintDialog*>(r.Dialog)->SetPaperSize(PaperWidth, PaperHeight);
        Printer()->SetPrinterIndex(int(Printer()->Printers().size()) - 1);
        // Else the file name proposed stays as it is.
        if (!PrintProposed) Printer()->SetOutputFileName(Utf8ToUnicode(PrintTo));
        result = 1;
      }
      return true;
    });
  }
  void TearDown() override {
    delete SetPrinter(nullptr);
    MainWindow::TearDown();
  }

  // A page of 150 lines, several pages long.
  void ShowLong() {
    std::string body;
    for (int i = 0; i < 150; ++i) body += "line " + std::to_string(i) + " of a long article<br>";
    Dict("long").Properties("Long", "en").Word({0, "LONG", body});
    List("long 1\r\nen 1\r\n");
    Start();
    Search(u"long");
    Select(0, 0);
  }

  void ShowFox() {
    Start();
    Search(u"fox");
    Select(0, 0);
  }

  std::string Png;
  int Answer = IDNO;
  fs::path Out;
  std::string SaveAs;
  int Filter = 1;
  std::string Proposed;
  std::string PrintTo;
  bool PrintProposed = false;
  int PrintDialogs = 0;
  double PaperWidth = 0, PaperHeight = 0;
};

TEST_F(SaveAndPrint, SaveAsHtmlPutsThePicturesBesideThePageAndPointsAtThem) {
  ShowFox();
  SaveAs = (Out / "my fox").string();
  Form->SaveButtonClick(Form);
  EXPECT_EQ(Proposed, "FOX");
  const std::string page = readFile(Out / "my fox.html");
  ASSERT_FALSE(page.empty());
  EXPECT_NE(page.find("SRC=\"my%20fox.files/fox.png\""), std::string::npos) << page;
  EXPECT_NE(page.find("href=\"my%20fox.files/fox.png\""), std::string::npos);
  EXPECT_EQ(page.find("*0/"), std::string::npos);
  EXPECT_NE(page.find("лиса"), std::string::npos);
  EXPECT_EQ(readFile(Out / "my fox.files/fox.png"), Png);
  EXPECT_EQ(Messages.size(), 1u);  // only the hot key's
  // The program folder stays the current one.
  EXPECT_EQ(fs::current_path(), Dir);

  // The saved page opens with its picture in a viewer of its own.
  auto* view = new THtmlView(Form);
  view->SetParent(Form);
  view->SetBounds(0, 0, 400, 300);
  view->LoadFromFile(Utf8ToUnicode((Out / "my fox.html").string()), HtmlType);
  const std::string dump = DumpViewerLayout(*view);
  EXPECT_NE(dump.find("h=37 chars=2 \"[object] \""), std::string::npos) << dump;

  // A second save with ".html" typed keeps the picture already there and
  // does not append the extension again.
  writeFile(Out / "my fox.files/fox.png", "KEPT");
  SaveAs = (Out / "my fox.html").string();
  Form->SaveButtonClick(Form);
  EXPECT_EQ(readFile(Out / "my fox.files/fox.png"), "KEPT");
  EXPECT_FALSE(fs::exists(Out / "my fox.html.html"));
  // Typed without its extension over an existing page: asked first.
  SaveAs = (Out / "my fox").string();
  const auto before = fs::last_write_time(Out / "my fox.html");
  Form->SaveButtonClick(Form);
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_NE(Messages[1].find("my fox.html"), std::string::npos) << Messages[1];
  EXPECT_EQ(fs::last_write_time(Out / "my fox.html"), before);
  Answer = IDYES;
  std::filesystem::remove(Out / "my fox.files/fox.png");
  Form->SaveButtonClick(Form);
  EXPECT_EQ(Messages.size(), 3u);
  EXPECT_EQ(readFile(Out / "my fox.files/fox.png"), Png);
  for (const auto& e : fs::directory_iterator(Out))  // no temporary file left
    EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}

TEST_F(SaveAndPrint, SaveAsTextAndPagesWithoutPictures) {
  ShowFox();
  SaveAs = (Out / "fox").string();
  Filter = 2;
  Form->SaveButtonClick(Form);
  EXPECT_EQ(readFile(Out / "fox.txt"), "FOX\r\nfox лиса\r\n\r\n beast &gt; bird ");
  EXPECT_FALSE(fs::exists(Out / "fox.files"));

  // A caption that is no file name is proposed made safe; a page without
  // pictures (the dictionary's about page) gets no folder.
  Select(0);
  SaveAs = (Out / "about").string();
  Filter = 1;
  Form->SaveButtonClick(Form);
  EXPECT_EQ(Proposed, "English_Russian");
  EXPECT_NE(readFile(Out / "about.html").find("English/Russian"), std::string::npos);
  EXPECT_FALSE(fs::exists(Out / "about.files"));

  // Cancelling writes nothing.
  SaveAs.clear();
  Form->SaveButtonClick(Form);
  EXPECT_EQ(std::distance(fs::directory_iterator(Out), fs::directory_iterator()), 2);
}

TEST_F(SaveAndPrint, AFileThatCannotBeWrittenIsReportedByName) {
  ShowFox();
  SaveAs = (Out / "missing/folder/fox").string();
  Form->SaveButtonClick(Form);
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_NE(Messages[1].find((Out / "missing/folder/fox.html").string()), std::string::npos) << Messages[1];
  // An existing page the user may not write keeps its content.
  writeFile(Out / "locked/fox.txt", "OLD");
  chmod((Out / "locked").c_str(), 0555);
  SaveAs = (Out / "locked/fox").string();
  Filter = 2;
  Form->SaveButtonClick(Form);
  chmod((Out / "locked").c_str(), 0755);
  if (geteuid() != 0) {
    ASSERT_EQ(Messages.size(), 3u);
    EXPECT_NE(Messages[2].find("locked/fox.txt"), std::string::npos) << Messages[2];
    EXPECT_EQ(readFile(Out / "locked/fox.txt"), "OLD");
  }
}

TEST_F(SaveAndPrint, ALongHeadwordProposesNamesThatFitAndAFailureNamesWhatFailed) {
  // 150 Cyrillic letters: 300 bytes.
  std::string word;
  for (int i = 0; i < 150; ++i) word += "Ж";
  Dict("long").Properties("Long", "ru").Word({0, word, "<1>long</1> <5>fox.png</5>"}).Media(1, "fox.png", Png);
  List("long 1\r\nen 1\r\n");
  Start();
  Search(Utf8ToUnicode(word));
  Select(0, 0);
  Form->SaveButtonClick(Form);
  ASSERT_FALSE(Proposed.empty());
  EXPECT_LE(Proposed.size() + 6, 255u) << Proposed.size();
  SaveAs = (Out / Proposed).string();
  Form->SaveButtonClick(Form);
  EXPECT_EQ(Messages.size(), 1u) << ::testing::PrintToString(Messages);
  EXPECT_FALSE(readFile(Out / (Proposed + ".html")).empty());
  EXPECT_EQ(readFile(Out / (Proposed + ".files") / "fox.png"), Png);

  // A page name that fits where its folder's would not: the folder's name
  // is cut to fit, and the page points at it.
  const std::string fits(250, 'a');
  SaveAs = (Out / fits).string();
  Form->SaveButtonClick(Form);
  EXPECT_EQ(Messages.size(), 1u) << ::testing::PrintToString(Messages);
  const std::string page = readFile(Out / (fits + ".html"));
  ASSERT_FALSE(page.empty());
  const std::string folder = std::string(249, 'a') + ".files";
  EXPECT_EQ(readFile(Out / folder / "fox.png"), Png);
  EXPECT_NE(page.find("SRC=\"" + folder + "/fox.png\""), std::string::npos);

  // The folder cannot be made (a file has its name): the message names the
  // folder, not the page.
  writeFile(Out / "blocked.files", "a file");
  SaveAs = (Out / "blocked").string();
  Form->SaveButtonClick(Form);
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_NE(Messages[1].find("blocked.files"), std::string::npos) << Messages[1];
  EXPECT_FALSE(fs::exists(Out / "blocked.html"));

  // The PDF writer is offered a name that fits too.
  Form->PrintButtonClick(Form);
  const UTF8String pdf = UTF16ToUTF8(ExtractFileName(Printer()->OutputFileName()));
  EXPECT_LE(pdf.size(), 255u);
  EXPECT_EQ(pdf.substr(pdf.size() - 4), ".pdf");
}

int pdfPages(const fs::path& pdf);

// The PDF writer takes the name it proposes for a long headword (150
// Cyrillic letters, 300 bytes) as it stands: the page is printed into it.
TEST_F(SaveAndPrint, ALongHeadwordPrintsUnderTheProposedName) {
  const char* home = getenv("HOME");
  const std::string saved = home ? home : "";
  setenv("HOME", Out.c_str(), 1);
  std::string word;
  for (int i = 0; i < 150; ++i) word += "Я";
  Dict("long").Properties("Long", "ru").Word({0, word, "<1>long</1> long article"});
  List("long 1\r\nen 1\r\n");
  Start();
  Search(Utf8ToUnicode(word));
  Select(0, 0);
  PrintProposed = true;
  Form->PrintButtonClick(Form);
  setenv("HOME", saved.c_str(), 1);
  EXPECT_EQ(PrintDialogs, 1);
  for (const std::string& m : Messages) EXPECT_EQ(m.find("напечатать"), std::string::npos) << m;
  const fs::path pdf = UTF16ToUTF8(Printer()->OutputFileName());
  EXPECT_EQ(pdf.parent_path(), Out);
  EXPECT_EQ(pdf.filename().string().rfind("ЯЯЯ", 0), 0u) << pdf;
  EXPECT_GE(pdfPages(pdf), 1) << pdf;
}

int pdfPages(const fs::path& pdf) {
  const std::string cmd = "pdfinfo '" + pdf.string() + "' 2>/dev/null | sed -n 's/^Pages: *//p'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  int pages = -1;
  if (fscanf(p, "%d", &pages) != 1) pages = -1;
  pclose(p);
  return pages;
}

std::string commandOutput(const std::string& cmd) {
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (p) pclose(p);
  return out;
}

std::string pdfText(const fs::path& pdf) {
  return commandOutput("pdftotext -layout '" + pdf.string() + "' - 2>/dev/null");
}

TEST_F(SaveAndPrint, PrintToPdfGivesTheViewersPages) {
  ShowLong();
  const int pages = Form->HTMLOut->NumPrinterPages();
  ASSERT_GT(pages, 1);
  PrintTo = (Out / "long.pdf").string();
  Form->PrintButtonClick(Form);
  EXPECT_EQ(PrintDialogs, 1);
  EXPECT_EQ(pdfPages(Out / "long.pdf"), pages);
  const std::string text = pdfText(Out / "long.pdf");
  EXPECT_NE(text.find("LONG"), std::string::npos);
  EXPECT_NE(text.find("line 149 of a long article"), std::string::npos) << text.substr(0, 300);
  EXPECT_EQ(Messages.size(), 1u);
  for (const auto& e : fs::directory_iterator(Out)) EXPECT_NE(e.path().filename().string()[0], '.') << e.path();

  // Cancelled: nothing printed. Into a folder that does not exist: said,
  // naming the file.
  PrintTo.clear();
  Form->PrintButtonClick(Form);
  EXPECT_EQ(PrintDialogs, 1);
  PrintTo = (Out / "none/long.pdf").string();
  Form->PrintButtonClick(Form);
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_NE(Messages[1].find(PrintTo), std::string::npos) << Messages[1];
}

// "612 x 792 pts (letter)": the page size pdfinfo gives for the first page.
std::string pdfPageSize(const fs::path& pdf) {
  std::string out = commandOutput("pdfinfo '" + pdf.string() + "' 2>/dev/null | sed -n 's/^Page size: *//p'");
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST_F(SaveAndPrint, ThePaperChosenInThePrintDialogIsThePrintedOne) {
  ShowLong();
  // By default the PDF writer's A4.
  PrintTo = (Out / "a4.pdf").string();
  Form->PrintButtonClick(Form);
  EXPECT_EQ(pdfPageSize(Out / "a4.pdf"), "595 x 842 pts (A4)");
  const int a4Pages = pdfPages(Out / "a4.pdf");
  // Letter chosen: Letter pages, as many as the viewer lays out on it.
  PaperWidth = 215.9;
  PaperHeight = 279.4;
  PrintTo = (Out / "letter.pdf").string();
  Form->PrintButtonClick(Form);
  EXPECT_EQ(pdfPageSize(Out / "letter.pdf"), "612 x 792 pts (letter)");
  EXPECT_EQ(pdfPages(Out / "letter.pdf"), Form->HTMLOut->NumPrinterPages());
  // A smaller paper, turned: more pages, each of the turned size.
  PaperWidth = 148;
  PaperHeight = 210;
  PrintTo = (Out / "a5.pdf").string();
  Printer()->SetOrientation(poLandscape);
  Form->PrintButtonClick(Form);
  EXPECT_EQ(pdfPageSize(Out / "a5.pdf"), "595 x 420 pts (A5)");
  EXPECT_EQ(pdfPages(Out / "a5.pdf"), Form->HTMLOut->NumPrinterPages());
  EXPECT_GT(pdfPages(Out / "a5.pdf"), a4Pages);
  EXPECT_EQ(Messages.size(), 1u);
}

// The viewer lets messages through between pages: a close that arrives
// then (here from a page handler) waits until the last page is printed,
// and the window closes after.
TEST_F(SaveAndPrint, ClosingWhilePrintingWaitsForTheJobsEnd) {
  ShowLong();
  const int pages = Form->HTMLOut->NumPrinterPages();
  ASSERT_GT(pages, 2);
  bool visibleAfterClose = false, closedDuringJob = false;
  Form->OnClose = [&, close = Form->OnClose](TObject* s, TCloseAction& a) {
    close(s, a);
    if (a != caNone && Form->HTMLOut->IsPrinting()) closedDuringJob = true;
  };
  Form->HTMLOut->OnPrintHeader = [&](TObject*, TCanvas*, int Page, int, int, bool&) {
    if (Page != 1) return;
    Form->Close();
    visibleAfterClose = Form->Visible();
  };
  // As the main window it would end the program too, and the program's
  // end cannot be taken back for the tests that follow: the window's own
  // closing is what is watched.
  Application->SetMainForm(nullptr);
  Form->Show();
  PrintTo = (Out / "closing.pdf").string();
  Form->PrintButtonClick(Form);
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_FALSE(closedDuringJob);
  EXPECT_EQ(pdfPages(Out / "closing.pdf"), pages);
  EXPECT_NE(pdfText(Out / "closing.pdf").find("line 149 of a long article"), std::string::npos);
  EXPECT_FALSE(Form->Visible());
}

// A double copy that arrives between pages searches once the job has
// printed the page it began with.
TEST_F(SaveAndPrint, ADoubleCopyWhilePrintingSearchesAfterTheJob) {
  ShowLong();
  const int pages = Form->HTMLOut->NumPrinterPages();
  std::string treeDuringJob;
  Form->HTMLOut->OnPrintHeader = [&](TObject*, TCanvas*, int Page, int, int, bool&) {
    if (Page != 1) return;
    for (int i = 0; i < 2; ++i) {
      Clipboard()->SetAsText(u"fox");
      for (int k = 0; k < 5; ++k) Application->ProcessMessagesWithoutInput();
    }
    treeDuringJob = Tree();
  };
  PrintTo = (Out / "copy.pdf").string();
  Form->PrintButtonClick(Form);
  EXPECT_EQ(treeDuringJob, "Long(0,0)[LONG#1]");
  EXPECT_EQ(pdfPages(Out / "copy.pdf"), pages);
  EXPECT_NE(pdfText(Out / "copy.pdf").find("line 149 of a long article"), std::string::npos);
  EXPECT_EQ(Tree(), "English/Russian(0,-1)[FOX#1]");
  EXPECT_NE(Page().find("лиса"), std::string::npos);
}

TEST_F(SaveAndPrint, FilesAreProposedInTheHomeFolderAfterThePage) {
  const char* home = getenv("HOME");
  const std::string saved = home ? home : "";
  setenv("HOME", Out.c_str(), 1);
  ShowFox();
  Form->PrintButtonClick(Form);  // the hook does not answer: cancelled
  EXPECT_EQ(UTF16ToUTF8(Printer()->OutputFileName()), (Out / "FOX.pdf").string());
  Form->SaveButtonClick(Form);  // cancelled too
  EXPECT_EQ(UTF16ToUTF8(Form->SaveDialog1->InitialDir()), Out.string());
  // After a save the next one starts in its folder.
  fs::create_directories(Out / "sub");
  SaveAs = (Out / "sub/fox").string();
  Form->SaveButtonClick(Form);
  EXPECT_EQ(UTF16ToUTF8(Form->SaveDialog1->InitialDir()), (Out / "sub").string());
  setenv("HOME", saved.c_str(), 1);
}

// A save or a print into the kernel's own files (/proc) fails and is said;
// the next dialog starts where the last one that worked went, and no file
// dialog starts in such a folder (listing it may never end).
TEST_F(SaveAndPrint, AfterAFailedSaveTheDialogsStartWhereTheLastOneWorked) {
  const char* home = getenv("HOME");
  const std::string saved = home ? home : "";
  setenv("HOME", Out.c_str(), 1);
  ShowFox();
  fs::create_directories(Out / "sub");
  SaveAs = (Out / "sub/fox").string();
  Form->SaveButtonClick(Form);
  ASSERT_TRUE(fs::exists(Out / "sub/fox.html"));
  const size_t said = Messages.size();
  SaveAs = "/proc/fox";
  Form->SaveButtonClick(Form);
  EXPECT_EQ(Messages.size(), said + 1) << "the failed save was not said";
  SaveAs.clear();
  Form->SaveButtonClick(Form);
  EXPECT_EQ(UTF16ToUTF8(Form->SaveDialog1->InitialDir()), (Out / "sub").string());

  PrintTo = (Out / "sub/fox.pdf").string();
  Form->PrintButtonClick(Form);
  ASSERT_TRUE(fs::exists(Out / "sub/fox.pdf"));
  PrintTo = "/proc/fox.pdf";
  Form->PrintButtonClick(Form);
  EXPECT_EQ(Messages.size(), said + 2) << "the failed print was not said";
  PrintTo.clear();
  Form->PrintButtonClick(Form);
  EXPECT_EQ(UTF16ToUTF8(Printer()->OutputFileName()), (Out / "sub/FOX.pdf").string());

  // Wherever the dialogs were last left, they start in a folder to browse.
  for (const char* pseudo : {"/proc/self", "/sys/kernel", "/dev", "/dev/shm"}) {
    Form->SaveDialog1->SetInitialDir(Utf8ToUnicode(pseudo));
    Form->SaveButtonClick(Form);
    EXPECT_EQ(UTF16ToUTF8(Form->SaveDialog1->InitialDir()), Out.string()) << pseudo;
    Printer()->SetOutputFileName(Utf8ToUnicode(std::string(pseudo) + "/x.pdf"));
    Form->PrintButtonClick(Form);
    EXPECT_EQ(UTF16ToUTF8(Printer()->OutputFileName()), (Out / "FOX.pdf").string()) << pseudo;
  }
  setenv("HOME", saved.c_str(), 1);
  for (const char* folder : {"/proc", "/proc/self/fd", "/sys", "/dev", "/dev/pts", "/nonexistent", ""})
    EXPECT_FALSE(IsFolderToBrowse(Utf8ToUnicode(folder))) << folder;
  for (const fs::path& folder : {Out, fs::temp_directory_path(), fs::path("/")})
    EXPECT_TRUE(IsFolderToBrowse(Utf8ToUnicode(folder.string()))) << folder;
}

}  // namespace
