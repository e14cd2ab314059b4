// The viewer's rules beside its window: document kinds from names, name
// expansion, settings that clamp, history, meta refresh, word characters
// of every script, and loads that wait while the page is being scrolled.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "html/parse/source_buffer.h"
#include "html/model/document.h"
#include "html/viewer/html_view.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/graphics/printer.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"

namespace {

namespace fs = std::filesystem;

struct ViewerRules : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, 400, 300);
    View = new THtmlView(Form);
    View->SetParent(Form);
    View->SetBorderStyle(htNone);
    View->SetBounds(0, 0, 400, 300);
    Form->Show();
    Application->ProcessMessages();
    Dir = fs::temp_directory_path() / ("tamrix-viewer-rules-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override {
    delete Form;
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  String write(const std::string& name, const std::string& text) {
    std::ofstream(Dir / name, std::ios::binary) << text;
    return UTF8ToUTF16((Dir / name).string());
  }
  TPoint pointOf(int pos) {
    int x = 0, y = 0;
    EXPECT_TRUE(View->Document()->CursorToXY(View->PaintPanel()->Canvas(), pos, x, y));
    return TPoint{x + 2, y - View->Document()->ScrollY + 4};
  }
  String wordAt(int pos) {
    String w;
    int after = 0, before = 0;
    const TPoint p = pointOf(pos);
    View->GetWordAt(p.x, p.y, w, after, before);
    return w;
  }

  TForm* Form = nullptr;
  THtmlView* View = nullptr;
  fs::path Dir;
};

TEST_F(ViewerRules, DocumentKindsComeFromExtensionsInAnyCase) {
  EXPECT_EQ(THtmlView::DocTypeOfFileName(u"a/b.HTM"), HtmlType);
  EXPECT_EQ(THtmlView::DocTypeOfFileName(u"x.xhtml"), HtmlType);
  EXPECT_EQ(THtmlView::DocTypeOfFileName(u"pic.JPG"), ImgType);
  EXPECT_EQ(THtmlView::DocTypeOfFileName(u"notes.txt"), TextType);
  EXPECT_EQ(THtmlView::DocTypeOfFileName(u"archive.zip"), OtherType);
  EXPECT_EQ(THtmlView::DocTypeOfFileName(u"dir.d/README"), OtherType);
}

TEST_F(ViewerRules, NamesExpandAgainstTheCurrentFileAndWebAddressesStay) {
  EXPECT_EQ(View->ExpandName(u"https://example.org/a.html"), u"https://example.org/a.html");
  const String page = write("index.html", "<p>x</p>");
  View->LoadFromFile(page);
  EXPECT_EQ(View->ExpandName(u"other.html"), UTF8ToUTF16((Dir / "other.html").string()));
  String seen;
  View->OnFilenameExpanded = [&](TObject*, String& name) {
    seen = name;
    name += u"!";
  };
  EXPECT_EQ(View->ExpandName(u"z.png"), UTF8ToUTF16((Dir / "z.png").string()) + u"!");
  EXPECT_EQ(seen, UTF8ToUTF16((Dir / "z.png").string()));
}

TEST_F(ViewerRules, SettingsClampToTheirRanges) {
  View->SetPrintScale(20);
  EXPECT_EQ(View->PrintScale(), 8.0);
  View->SetPrintScale(0.01);
  EXPECT_EQ(View->PrintScale(), 0.125);
  View->SetImageCacheCount(30);
  EXPECT_EQ(View->ImageCacheCount(), 20);
  View->SetVisitedMaxCount(-3);
  EXPECT_EQ(View->VisitedMaxCount(), 0);
  View->SetServerRoot(u"  /srv/www/  ");
  EXPECT_EQ(View->ServerRoot(), u"/srv/www");
  View->SetCursor(2);
  EXPECT_EQ(View->Cursor(), crIBeam);
}

TEST_F(ViewerRules, HistoryRecordsFilesAndLoweringItsSizeClearsIt) {
  const String a = write("a.html", "<title>A</title><p>a</p>");
  const String b = write("b.html", "<title>B</title><p>b</p>");
  int changes = 0;
  View->OnHistoryChange = [&](TObject*) { ++changes; };
  View->LoadFromFile(a);
  View->LoadFromFile(b);
  EXPECT_EQ(View->History()->Count(), 0);  // the default keeps none
  View->SetHistoryMaxCount(5);
  View->LoadFromFile(a);
  View->LoadFromFile(b);
  ASSERT_EQ(View->History()->Count(), 2);
  EXPECT_EQ(View->History()->Strings(0), b);
  EXPECT_EQ(View->TitleHistory()->Strings(1), u"A");
  View->SetHistoryIndex(1);
  EXPECT_EQ(View->CurrentFile(), a);
  EXPECT_GT(changes, 0);
  View->SetHistoryMaxCount(3);
  EXPECT_EQ(View->History()->Count(), 0);
  EXPECT_TRUE(View->CurrentFile().empty());
}

TEST_F(ViewerRules, MetaRefreshIsReportedAfterTheLoad) {
  int delay = -1;
  String url;
  bool loaded = false;
  View->OnMetaRefresh = [&](TObject*, int d, const String& u) {
    loaded = !View->ViewerState().Contains(stProcessing);
    delay = d;
    url = u;
  };
  View->LoadFromString(u"<html><head><meta http-equiv=\"Refresh\" content=\"0; URL=next.html\"></head><body>x</body></html>");
  EXPECT_EQ(delay, 1);
  EXPECT_EQ(url, u"next.html");
  EXPECT_TRUE(loaded);
  View->LoadFromString(u"<html><head><meta http-equiv=\"refresh\" content=\"5\"></head><body>x</body></html>");
  EXPECT_EQ(delay, 5);
  EXPECT_TRUE(url.empty());
}

TEST_F(ViewerRules, WordsAreLettersAndDigitsOfEveryScript) {
  // Greek and accented Latin are words; a dash (above U+0410) and
  // punctuation are not part of one.
  View->LoadFromString(u"<p>Ελλάδα café два—три x2y</p>");
  EXPECT_EQ(wordAt(1), u"Ελλάδα");
  EXPECT_EQ(wordAt(8), u"café");
  EXPECT_EQ(wordAt(12), u"два");
  EXPECT_EQ(wordAt(16), u"три");
  EXPECT_EQ(wordAt(20), u"x2y");
  EXPECT_EQ(wordAt(15), u"");  // the dash itself
}

TEST_F(ViewerRules, ALoadDuringAutoScrollWaitsForTheScrollToEnd) {
  std::string page = "<html><head><title>First</title></head><body>";
  for (int i = 0; i < 200; ++i) page += "<p>line " + std::to_string(i) + "</p>";
  View->LoadFromString(UTF8ToUTF16(page + "</body></html>"));
  ASSERT_GT(View->DocumentHeight(), 2000);
  const HWND panel = View->PaintPanel()->Handle();
  // Middle-button scrolling with the mouse held far below where it started.
  InjectMouse(panel, imDown, mbMiddle, {100, 10}, {});
  InjectMouse(panel, imUp, mbMiddle, {100, 10}, {});
  TPoint far{100, 250};
  ClientToScreen(panel, &far);
  SetCursorPos(far.x, far.y);
  String titleDuringLoop;
  int ticks = 0;
  TTimer timer(nullptr);
  timer.SetInterval(30);
  timer.OnTimer = [&](TObject*) {
    if (++ticks == 1) {
      // The page is being scrolled: this load must not pull it away.
      View->LoadFromString(u"<html><head><title>Second</title></head><body>x</body></html>");
      titleDuringLoop = View->DocumentTitle();
    } else if (ticks == 5) {
      InjectMouse(panel, imDown, mbMiddle, {100, 250}, {});  // any press ends the mode
    }
  };
  timer.SetEnabled(true);
  InjectMouse(panel, imMove, mbLeft, {100, 250}, {});
  for (int i = 0; i < 200 && View->DocumentTitle() != u"Second"; ++i) {
    Application->ProcessMessages();
    ::usleep(5000);
  }
  timer.SetEnabled(false);
  EXPECT_EQ(titleDuringLoop, u"First");
  EXPECT_GT(ticks, 1);
  EXPECT_EQ(View->DocumentTitle(), u"Second");
}

TEST_F(ViewerRules, FormSubmissionReachesItsHandlerAfterTheCallerReturns) {
  std::vector<String> seen;
  View->SetOnFormSubmit([&](TObject*, const String& action, const String&, const String&, const String& method,
                            TStringList* results) {
    seen.push_back(action + u" " + method + u" " + results->Strings(0));
  });
  auto results = std::make_unique<TStringList>();
  results->Add(u"q=дом");
  View->SubmitForm(u"search.html", u"", u"", u"get", results.release());
  EXPECT_TRUE(seen.empty());  // not from inside the control's own handling
  for (int i = 0; i < 5 && seen.empty(); ++i) Application->ProcessMessages();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], u"search.html get q=дом");
}

TEST_F(ViewerRules, PagesCountAndPrintIntoAFile) {
  View->LoadFromString(u"<p>A short article</p>");
  EXPECT_EQ(View->NumPrinterPages(), 1);
  std::string tall = "<html><body>";
  for (int i = 0; i < 400; ++i) tall += "<p>Line " + std::to_string(i) + " of a long article</p>";
  View->LoadFromString(UTF8ToUTF16(tall + "</body></html>"));
  const int pages = View->NumPrinterPages();
  EXPECT_GT(pages, 3);

  TPrinter printer;
  printer.SetPrinterIndex(int(printer.Printers().size()) - 1);  // the PDF writer
  const fs::path pdf = Dir / "article.pdf";
  printer.SetOutputFileName(UTF8ToUTF16(pdf.string()));
  View->Print(2, 3, &printer);  // the caller's job stays open
  EXPECT_TRUE(printer.Printing());
  printer.EndDoc();
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_GT(fs::file_size(pdf), 500u);
  // The screen page is untouched by printing.
  EXPECT_FALSE(View->Document()->Printing);
  EXPECT_GT(View->DocumentHeight(), 0);

  // A long table with header and footer rows is cut into pages too, the
  // same way at every count.
  std::string table = "<table><thead><tr><th>Word</th></tr></thead><tfoot><tr><td>end</td></tr></tfoot>";
  for (int i = 0; i < 300; ++i) table += "<tr><td>Row " + std::to_string(i) + "</td></tr>";
  View->LoadFromString(UTF8ToUTF16(table + "</table>"));
  const int tablePages = View->NumPrinterPages();
  EXPECT_GT(tablePages, 3);
  EXPECT_EQ(View->NumPrinterPages(), tablePages) << "a second count starts the table over";
}

TEST_F(ViewerRules, IncludeDirectivesAndObjectTagsReachTheViewersEvents) {
  auto text = [&] {
    View->SelectAll();
    return View->GetSelText();
  };
  const String page = u"<p>before <!--#greet who=\"world\" how=warmly--> after</p>";
  // Without a handler the directive is only a comment.
  View->LoadFromString(page);
  EXPECT_EQ(text(), u"before after");

  String command;
  std::vector<String> params;
  View->OnInclude = [&](TObject* Sender, const String& Command, TStringList* Params,
                        std::unique_ptr<TBuffer>& Included) {
    EXPECT_EQ(Sender, View);
    command = Command;
    for (int i = 0; i < Params->Count(); ++i) params.push_back(Params->Strings(i));
    Included = TBuffer::CreateFromString(u"<b>Hello, world</b>", u"greeting");
  };
  View->LoadFromString(page);
  EXPECT_EQ(command, u"greet");
  EXPECT_EQ(params, (std::vector<String>{u"who=world", u"how=warmly"}));
  EXPECT_EQ(text(), u"before Hello, world after");

  // An OBJECT: the handler sees its attributes and PARAMs and decides.
  const String object =
      u"<p>start</p><object type=\"application/x-card\" data=\"card.bin\"><param name=\"size\" value=\"2\">"
      u"<param name=\"plain\"><p>Fallback text</p></object><p>end</p>";
  bool want = false;
  int calls = 0;
  View->OnObjectTag = [&](TObject* Sender, ThvPanel* Panel, const TStringList& Attributes, const TStringList& Params,
                          bool& WantPanel) {
    ++calls;
    EXPECT_EQ(Sender, View);
    EXPECT_NE(Panel, nullptr) << "a real window, wanted or not";
    EXPECT_GE(Attributes.IndexOf(u"DATA=card.bin"), 0) << UTF16ToUTF8(Attributes.Text());
    ASSERT_EQ(Params.Count(), 2);
    EXPECT_EQ(Params.Strings(0), u"size=2");
    EXPECT_EQ(Params.Strings(1), u"plain");
    WantPanel = want;
  };
  View->LoadFromString(object);
  EXPECT_EQ(calls, 1);
  const String shown = text();
  EXPECT_NE(shown.find(u"Fallback text"), String::npos) << UTF16ToUTF8(shown);
  EXPECT_NE(shown.find(u"end"), String::npos);
  EXPECT_TRUE(View->Document()->Panels.empty());
  // Wanted: a panel stands for it and its content is not read.
  want = true;
  View->LoadFromString(object);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(View->Document()->Panels.size(), 1u);
  const String hidden = text();
  EXPECT_EQ(hidden.find(u"Fallback text"), String::npos) << UTF16ToUTF8(hidden);
  EXPECT_NE(hidden.find(u"end"), String::npos);
}

}  // namespace
