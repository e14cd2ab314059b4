// The program's dialogs and small windows, driven as a user would: saving a
// page through the file dialog, printing into a PDF file through the print
// dialog, the settings window and the virtual keyboard.
#include <sqlite3.h>

#include <fstream>
#include <sstream>

#include "tests/e2e/app/app_e2e_support.h"
#include "tests/tool_run.h"

namespace {

using e2e::Sh;
using tooltest::shellQuote;
namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The buttons below the article and below the tree, at the shipped 800 x 600
// (panels 80 pixels shorter than the window, buttons 52 above their bottom).
constexpr int kButtonY = 8 + (600 - 80) - 52 + 12;
constexpr int kSaveX = 286 + 96 + 45;
constexpr int kPrintX = 286 + 192 + 45;
constexpr int kOptionsX = 8 + 184 + 43;

class AppWindows : public e2e::Program {
protected:
  void SetUp() override {
    Program::SetUp();
    const char* home = getenv("HOME");
    FHome = home ? home : "";
    // The program proposes files in the user's home folder: the test's own.
    Home = Folder / "home";
    fs::create_directories(Home);
    setenv("HOME", Home.c_str(), 1);
  }
  void TearDown() override {
    Program::TearDown();
    setenv("HOME", FHome.c_str(), 1);
  }

  // The visible window whose title begins with Title, once it is there.
  unsigned long WaitForWindow(const std::string& title) {
    std::vector<unsigned long> found;
    EXPECT_TRUE(e2e::Await("a window titled " + title, [&] { return !(found = e2e::VisibleWindows("^" + title)).empty(); },
                           30000));
    return found.empty() ? 0 : found.front();
  }
  bool Shown(unsigned long window) {
    return Sh("xdotool search --onlyvisible --name .").find(std::to_string(window)) != std::string::npos;
  }
  void ClickIn(unsigned long window, int x, int y) {
    Sh("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " " + std::to_string(y) +
       " click 1");
  }
  void FocusWindow(unsigned long window) { ASSERT_TRUE(e2e::GiveFocus(window)); }
  // Shows the demo dictionary's article with every picture.
  void ShowGallery() {
    Start();
    Type("gallery");
    EnterQuery();
    // English-Russian first (root, GALLERY), then the demo dictionary.
    ClickTreeRow(3);
    ASSERT_TRUE(e2e::Await("the demo dictionary's article to show", [&] { return SelectedRow() == 3; }));
  }

  fs::path Home;

private:
  std::string FHome;
};

TEST_F(AppWindows, SaveThroughTheFileDialogAndOpenTheSavedPage) {
  ShowGallery();
  Click(kSaveX, kButtonY);
  // The toolkit's dialog speaks Russian, as the program does.
  const unsigned long dialog = WaitForWindow("Сохранить как");
  ASSERT_NE(dialog, 0u) << "no save dialog";
  FocusWindow(dialog);
  // The file name box holds the page's caption, selected: typed over.
  Key("ctrl+a");
  Type((Home / "my gallery").string());
  Key("Return");
  ASSERT_TRUE(e2e::WaitFor([&] { return fs::exists(Home / "my gallery.html"); })) << "nothing saved";
  const std::string page = readFile(Home / "my gallery.html");
  EXPECT_NE(page.find("SRC=\"my%20gallery.files/forest.jpg\""), std::string::npos) << page;
  for (const char* picture : {"badge.png", "forest.jpg", "spinner.gif", "tiles.bmp"})
    EXPECT_GT(fs::file_size(Home / "my gallery.files" / picture), 100u) << picture;

  // The saved page opened in a viewer of its own finds its pictures: the
  // landscape of forest.jpg is 200 x 130.
  const fs::path dump = Folder / "saved-page.txt";
  Sh("cd " + shellQuote(Home.string()) + " && QT_QPA_PLATFORM=offscreen " + shellQuote(TAMRIX_RENDER) + " " +
     shellQuote((Home / "my gallery.html").string()) + " 600 " + shellQuote((Folder / "saved-page.png").string()) +
     " --dump " + shellQuote(dump.string()));
  const std::string layout = readFile(dump);
  EXPECT_NE(layout.find("h=130"), std::string::npos) << layout;
}

int pdfPages(const fs::path& pdf) {
  const std::string out = Sh("pdfinfo " + shellQuote(pdf.string()) + " | sed -n 's/^Pages: *//p'");
  return out.empty() ? -1 : std::atoi(out.c_str());
}

TEST_F(AppWindows, PrintToAPdfFileThroughThePrintDialog) {
  ShowGallery();
  Click(kPrintX, kButtonY);
  const unsigned long dialog = WaitForWindow("Печать");
  ASSERT_NE(dialog, 0u) << "no print dialog";
  // Without a printer the PDF writer is chosen, into the home folder under
  // the page's name: the dialog's Print button takes it as it stands.
  FocusWindow(dialog);
  Key("Return");
  ASSERT_TRUE(e2e::WaitFor([&] { return fs::exists(Home / "GALLERY.pdf"); }))
      << "no PDF file: " << Sh("ls -a " + shellQuote(Home.string()));
  EXPECT_EQ(pdfPages(Home / "GALLERY.pdf"), 1);
  const std::string text = Sh("pdftotext " + shellQuote((Home / "GALLERY.pdf").string()) + " -");
  EXPECT_NE(text.find("GALLERY"), std::string::npos) << text;
  EXPECT_NE(text.find("галерея"), std::string::npos) << text;
}

// A headword of 150 Cyrillic letters (300 bytes): the print dialog's Print
// button takes the PDF file name the program proposes, and the page is
// printed into it.
TEST_F(AppWindows, PrintALongHeadwordUnderTheProposedName) {
  Prepare();
  std::string word;
  for (int i = 0; i < 150; ++i) word += "Я";
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((Folder / "dictionaries" / "long-words.tamrix").c_str(), &db), SQLITE_OK);
    const std::string sql =
        "CREATE TABLE words(word TEXT COLLATE NOCASE);"
        "CREATE TABLE descriptions(description TEXT);"
        "CREATE TABLE multimedia(word_id INTEGER, internal_name TEXT, mm_content BLOB);"
        "CREATE TABLE properties(author, full_caption, description, words, languages, version, licence, short,"
        " source, date, media);"
        "INSERT INTO properties VALUES('e2e', 'Long words', '', '1', 'ru', '1', '', 'lw', '', '2026', '0');"
        "INSERT INTO words VALUES('" + word + "');"
        "INSERT INTO descriptions VALUES('a very long word');";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  Start();
  SetClipboard(word);
  Click(100, 20);
  Key("ctrl+a");
  Key("ctrl+v");
  EnterQuery();
  ASSERT_TRUE(e2e::WaitFor([&] { return Article().find("a very long word") != std::string::npos; }, 10000))
      << Article().substr(0, 300);
  Click(kPrintX, kButtonY);
  const unsigned long dialog = WaitForWindow("Печать");
  ASSERT_NE(dialog, 0u) << "no print dialog";
  FocusWindow(dialog);
  Key("Return");
  fs::path pdf;
  ASSERT_TRUE(e2e::WaitFor([&] {
    for (const auto& e : fs::directory_iterator(Home))
      if (e.path().extension() == ".pdf") pdf = e.path();
    return !pdf.empty();
  })) << "no PDF file: " << Sh("ls -a " + shellQuote(Home.string()));
  EXPECT_EQ(pdf.filename().string().rfind("ЯЯЯ", 0), 0u) << pdf;
  EXPECT_GE(pdfPages(pdf), 1);
}

TEST_F(AppWindows, TurnTheTrayOnInTheSettingsWindowAndCloseToTheTray) {
  Prepare(
      "HideToSysTray=0;\r\nAutoStart=0;\r\nMinimizeAtClosing=-1;\r\nFontColor=clBlack;\r\nFontSize=12;\r\n"
      "FontName=DejaVu Sans;\r\nBgColor=clWhite;\r\nWordAutoSelect=-1;\r\nUseSkin=0;\r\nUseBgColor=-1;\r\n"
      "UseFontStyle=-1;\r\nCurrentSkin=noSkin;\r\nMainFormWidth=800;\r\nMainFormHeight=600;\r\nUseCtrlC=-1;\r\n");
  Start();
  Click(kOptionsX, kButtonY);
  const unsigned long options = WaitForWindow("настройки tamrix");
  ASSERT_NE(options, 0u) << "no settings window";
  // "сворачивать в SysTray", second on the first tab; then "сохранить".
  ClickIn(options, 60, 74);
  ClickIn(options, 150, 214);
  ASSERT_TRUE(e2e::WaitFor([&] { return readFile(Folder / "other/settings").find("HideToSysTray=-1;") == 0; }))
      << readFile(Folder / "other/settings");
  // Esc closes the settings window and gives the main one back.
  FocusWindow(options);
  Key("Escape");
  ASSERT_TRUE(e2e::WaitFor([&] { return !Shown(options); })) << "Esc did not close the settings window";
  Focus();
  Type("fox");
  EnterQuery();
  EXPECT_EQ(ArticleOnce([](const std::string& t) { return t.rfind("FOX", 0) == 0; }, 15000).rfind("FOX", 0), 0u)
      << "the main window does not take input again";
  // The close box now hides the window into the tray.
  ASSERT_TRUE(e2e::RequestClose(Window));
  EXPECT_TRUE(e2e::WaitFor([&] { return !Visible(); })) << "the close box did not hide the window";
  EXPECT_TRUE(e2e::Running(Pid));
}

TEST_F(AppWindows, TypeWithTheVirtualKeyboard) {
  Start();
  // "abc" beside the search button.
  Click(8 + 126 + 20, 8 + 88 + 12);
  const unsigned long keyboard = WaitForWindow("виртуальная клавиатура");
  ASSERT_NE(keyboard, 0u) << "no keyboard window";
  // It belongs to the main window (not to a hidden one of the toolkit's),
  // so the desktop keeps it in front of it.
  EXPECT_EQ(e2e::TransientFor(keyboard), Window) << "the keyboard does not belong to the main window";
  // The Russian layout: Д and О in the second row (staggered by 15 pixels),
  // М in the third (by 30); keys are 30 pixels apart below the tabs.
  auto key = [&](int row, int column) {
    const int stagger = 15 * (row - 1);
    ClickIn(keyboard, 15 + 30 * (column - 1) + stagger + 14, 50 + 30 * (row - 1) + 14 + 27);
  };
  key(2, 9);  // Д
  key(2, 7);  // О
  key(3, 4);  // М
  // "Enter" hides the keyboard and searches.
  ClickIn(keyboard, 379 + 50, 178 + 13 + 27);
  EXPECT_TRUE(e2e::WaitFor([&] { return !Shown(keyboard); })) << "the keyboard stayed";
  ASSERT_TRUE(e2e::Await("the search to end", [&] { return SelectedRow() >= 0; }));
  const std::string a = ArticleOnce([](const std::string& t) { return t.rfind("ДОМ", 0) == 0; }, 15000);
  EXPECT_EQ(a.rfind("ДОМ", 0), 0u) << a.substr(0, 200);
}

}  // namespace
