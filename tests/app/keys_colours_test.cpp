// Copying the article with the keyboard, and the pages shown taking the
// settings saved or kept when the settings window goes.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/article.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/hints.h"
#include "platform/gui/testing.h"
#include "tests/app/main_form_util.h"

using apptest::readFile;
using apptest::writeFile;

namespace {

class KeysAndColours : public apptest::MainWindow {
protected:
  void SetUp() override {
    MainWindow::SetUp();
    Dict("en").Properties("English", "en").Word({0, "FOX", "<1>fox</1> лиса"});
    List("en 1\r\n");
  }

  // The colour of the article view at a point well inside its blank
  // right-hand side.
  std::uint32_t ArticleBackground() {
    std::vector<std::uint32_t> pixels;
    int w = 0, h = 0;
    if (!GrabWindow(Form->HTMLOut, pixels, w, h) || w < 40 || h < 40) return 0;
    return pixels[size_t(h - 20) * size_t(w) + size_t(w - 40)] & 0x00FFFFFF;
  }
};

}  // namespace

// Ctrl+C copies the selection whichever key is let go first.
TEST_F(KeysAndColours, CtrlCCopiesHoweverTheKeysAreReleased) {
  Start();
  Form->Show();
  Search(u"fox");
  const HWND view = Form->HTMLOut->Handle();
  for (bool ctrlFirst : {false, true}) {
    Form->HTMLOut->SelectAll();
    const String selected = Form->HTMLOut->GetSelText();
    ASSERT_NE(selected.find(u"лиса"), String::npos);
    Clipboard()->SetAsText(u"-");
    InjectFocus(view);
    InjectKey(view, VK_CONTROL, {ssCtrl}, String());
    InjectKey(view, 'C', {ssCtrl}, u"\x03");
    if (ctrlFirst) {
      InjectKey(view, VK_CONTROL, {}, String(), true);
      InjectKey(view, 'C', {}, u"c", true);
    } else {
      InjectKey(view, 'C', {ssCtrl}, u"\x03", true);
      InjectKey(view, VK_CONTROL, {}, String(), true);
    }
    EXPECT_EQ(Clipboard()->AsText(), selected) << (ctrlFirst ? "Ctrl released first" : "C released first");
  }
  // C alone, or Ctrl alone, copies nothing.
  Clipboard()->SetAsText(u"-");
  InjectKeyStroke(view, 'C', {}, u"c");
  InjectKeyStroke(view, VK_CONTROL, {ssCtrl}, String());
  EXPECT_EQ(Clipboard()->AsText(), u"-");
}

// Escape let go after its press went to a dialog, which closed on the
// press, is no key of the window below: the settings window stays open,
// the main window starts no completion over its results.
TEST_F(KeysAndColours, AKeyPressedInADialogIsNotLetGoInTheWindowBelow) {
  Start();
  Form->Show();
  Search(u"fox");
  const std::string found = Status();
  const std::pair<TDialogKind, std::function<void()>> dialogs[] = {
      {dkColor, [&] { Options->Button4->Click(); }},
      {dkFont, [&] { Options->Button6->Click(); }},
      {dkMessageBox, [&] {  // the settings file cannot be written
         std::filesystem::remove(Dir / "other/settings"), std::filesystem::create_directory(Dir / "other/settings");
         Options->Button5->Click();
       }},
      {dkSaveFile, [&] { Form->SaveButtonClick(Form); }},
      {dkPrint, [&] { Form->PrintButtonClick(Form); }}};
  for (const auto& [kind, open] : dialogs) {
    SCOPED_TRACE(kind);
    const bool settings = kind == dkColor || kind == dkFont || kind == dkMessageBox;
    if (settings) Form->OptionsButtonClick(Form->OptionsButton);
    int shown = 0;
    SetDialogHook([&, kind = kind](TDialogRequest& r, int& result) {
      result = r.Kind == dkMessageBox ? IDCANCEL : 0;
      if (r.Kind != kind || shown++) return true;
      auto* dialog = new TForm(nullptr);  // the dialog's window
      dialog->Show();
      InjectKey(dialog->Handle(), VK_ESCAPE, {}, u"\x1b");
      dialog->Free();
      return true;
    });
    open();
    ASSERT_EQ(shown, 1);
    const HWND below = settings ? Options->Button5->Handle() : Form->QueryCombo->Handle();
    InjectFocus(below);
    InjectKey(below, VK_ESCAPE, {}, u"\x1b", true);
    EXPECT_EQ(Options->Visible(), settings);
    EXPECT_EQ(Status(), found);
    if (settings) InjectKeyStroke(below, VK_ESCAPE, {}, u"\x1b");  // its own Escape closes it
    EXPECT_FALSE(Options->Visible());
  }
}

// New colours saved while the help page is shown: the help page takes them
// at once.
TEST_F(KeysAndColours, SavedColoursReachTheHelpPageShown) {
  writeFile(Dir / "help/index.html",
            "<html><head><link rel=\"stylesheet\" href=\"style.css\"></head><body><p>Help</p></body></html>\n");
  Start();
  Form->Show();
  Form->HelpButtonClick(Form->HelpButton);
  ASSERT_EQ(ArticleBackground(), 0x00FFFFFFu);
  AppSettings.UseBgColor = true;
  AppSettings.BgColor = TColor(0x00204080);  // red 0x80, green 0x40, blue 0x20
  Options->BitBtn1Click(Options);
  EXPECT_NE(readFile(Dir / "help/style.css").find("#804020"), std::string::npos);
  EXPECT_EQ(ArticleBackground(), 0x00804020u) << "the help page kept its old colours";
}

// Closing the settings window draws the article again in the current
// colours, and with no result selected leaves the page shown as it is.
TEST_F(KeysAndColours, ClosingTheSettingsWindowKeepsTheArticleShown) {
  Start();
  Form->Show();
  Search(u"fox");
  ASSERT_NE(Page().find("лиса"), std::string::npos);
  Form->vst->ClearSelection();
  Form->OptionsButtonClick(Form->OptionsButton);
  Options->Close();
  EXPECT_NE(Page().find("лиса"), std::string::npos) << "the article went blank";
  // With the node selected, the article takes the colours chosen.
  Select(0, 0);
  Form->OptionsButtonClick(Form->OptionsButton);
  AppSettings.UseBgColor = true;
  AppSettings.BgColor = TColor(0x00204080);
  Options->Close();
  EXPECT_NE(Page().find("#804020"), std::string::npos) << Page();
  EXPECT_NE(Page().find("лиса"), std::string::npos);
}

// The result rows are as tall as the tree's font needs at every size: the
// size read at start, and a size saved while rows are shown.
TEST_F(KeysAndColours, ResultRowsAreAsTallAsTheFontNeeds) {
  const std::string settings = readFile(Dir / "other/settings");
  auto shortRows = [&] {
    TBitmap b(4, 4);
    b.Canvas()->Font()->Assign(*Form->vst->Font());
    TEXTMETRICW tm;
    GetTextMetricsW(b.Canvas()->Handle(), &tm);
    std::string out;
    for (PDataNode n = Form->vst->GetFirst(); n; n = Form->vst->GetNext(n))
      if (Form->vst->NodeHeight(n) < tm.tmHeight) out += std::to_string(Form->vst->NodeHeight(n)) + " ";
    return out.empty() ? out : out + "< " + std::to_string(tm.tmHeight);
  };
  for (int size : {8, 12, 18, 28}) {
    SCOPED_TRACE(size);
    std::string s = settings;
    writeFile(Dir / "other/settings", s.replace(s.find("FontSize=12;"), 12, "FontSize=" + std::to_string(size) + ";"));
    Start();
    Search(u"fox");
    ASSERT_EQ(Form->vst->Font()->Size(), size);
    EXPECT_EQ(shortRows(), "");
    Form->OptionsButtonClick(Form->OptionsButton);
    AppSettings.FontSize = 40 - size;
    Options->Button5->Click();
    EXPECT_EQ(shortRows(), "") << "saved " << 40 - size;
  }
}

// The font name from the settings file goes into the help style sheet as
// one CSS string, whatever it holds.
TEST_F(KeysAndColours, TheFontNameIsQuotedInTheHelpStyleSheet) {
  writeFile(Dir / "help/template.css", "body { font-family: _FontName_; color: _HtmlTextColor_; }\n");
  WriteHelpStyleSheet(u"help/template.css", u"help/style.css", clWhite, clBlack, 12,
                      u"Evil\"; } body { background: url(x) } p { x:\\\n");
  EXPECT_EQ(readFile(Dir / "help/style.css"),
            "body { font-family: \"Evil\\\"; } body { background: url(x) } p { x:\\\\\\a \"; color: #000000; }\r\n");
  WriteHelpStyleSheet(u"help/template.css", u"help/style.css", clWhite, clBlack, 12, u"DejaVu Sans");
  EXPECT_EQ(readFile(Dir / "help/style.css"), "body { font-family: \"DejaVu Sans\"; color: #000000; }\r\n");
}

namespace {

// A desktop whose opener (xdg-open, found first on PATH) is a script of the
// test's.
class FakeDesktop : public apptest::MainWindow {
protected:
  void SetUp() override {
    MainWindow::SetUp();
    Dict("en").Properties("English", "en").Word({1, "FOX", "<1>fox</1> лиса"}).Media(1, "fox.wav", "RIFF....WAVE");
    List("en 1\r\n");
    const char* path = std::getenv("PATH");
    FPath = path ? path : "";
    setenv("PATH", ((Dir / "desktop-bin").string() + ":" + FPath).c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", FPath.c_str(), 1);
    MainWindow::TearDown();
  }
  void Opener(const std::string& script) {
    const auto bin = Dir / "desktop-bin";
    std::filesystem::create_directories(bin);
    writeFile(bin / "xdg-open", "#!/bin/sh\n" + script);
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
  }
  // Handles the window's messages until Done or 20 seconds have passed.
  bool Until(const std::function<bool()>& Done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!Done() && std::chrono::steady_clock::now() < end) {
      Application->HandleMessage();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Done();
  }
  // The status line once it says something, or after 20 seconds.
  std::string StatusSaid() {
    Until([&] { return !Status().empty(); });
    return Status();
  }

private:
  std::string FPath;
};

// A desktop that has no program for anything: its opener says so on its
// error output and ends with the code the desktop's opener uses for that.
class NoHandlerDesktop : public FakeDesktop {
protected:
  void SetUp() override {
    FakeDesktop::SetUp();
    Opener("echo \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
  }
};

}  // namespace

TEST_F(NoHandlerDesktop, AWebOrMediaLinkWithNoProgramSaysSoInTheStatusLine) {
  Start();
  Form->Show();
  Search(u"fox");
  for (const String& link : {String(u"@https://example.org/page"), String(u"*0/fox.wav")}) {
    Form->HintLabel->SetCaption(String());
    ASSERT_EQ(Tree(), "English(0,0)[FOX#1]");
    bool handled = false;
    Form->HtmlOutHotSpotClick(Form->HTMLOut, link, handled);
    EXPECT_TRUE(handled);
    const std::string said = StatusSaid();
    EXPECT_NE(said.find(link[0] == u'*' ? "fox.wav" : "https://example.org/page"), std::string::npos) << said;
    EXPECT_NE(said.find("no method available"), std::string::npos) << said;
    EXPECT_NE(said.find("exit code 3"), std::string::npos) << said;
  }
}

// A failure said in the status line at length (the opener's words name the
// whole address) stops before the "tamrix в сети" link instead of running
// under it: cut with "…", whole in the hint.
TEST_F(NoHandlerDesktop, ALongStatusStopsBeforeTheLinkAndIsWholeInItsHint) {
  Start();
  Form->Show();
  Search(u"fox");
  Form->HintLabel->SetCaption(String());
  const String address = u"https://example.org/" + String(300, u'a');
  bool handled = false;
  Form->HtmlOutHotSpotClick(Form->HTMLOut, u"@" + address, handled);
  const std::string said = StatusSaid();
  ASSERT_NE(said.find(UTF16ToUTF8(address)), std::string::npos) << said;
  TLabel* status = Form->HintLabel;
  EXPECT_LE(status->Left() + status->Width(), Form->RefLabel->Left());
  EXPECT_GT(status->Width(), 200);
  const String shown = status->ShownCaption();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), u'…') << UTF16ToUTF8(shown);
  EXPECT_EQ(shown.substr(0, 20), status->Caption().substr(0, 20));
  InjectHintRequest(status, {5, 5});
  ASSERT_NE(ApplicationHintWindow(), nullptr) << "no hint";
  EXPECT_EQ(UTF16ToUTF8(ApplicationHintWindow()->Caption()), said);
  Application->CancelHint();
  // A wider window gives the text more room; a short one is shown whole,
  // with no hint.
  Form->SetWidth(Form->Width() + 200);
  EXPECT_LE(status->Left() + status->Width(), Form->RefLabel->Left());
  EXPECT_GT(status->ShownCaption().size(), shown.size());
  status->SetCaption(u"найдено вариантов: 1");
  EXPECT_EQ(status->ShownCaption(), u"найдено вариантов: 1");
  InjectHintRequest(status, {5, 5});
  EXPECT_EQ(ApplicationHintWindow(), nullptr);
}

namespace {

std::string procLink(pid_t pid, int fd) {
  std::error_code e;
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), e).string();
}

// A process the test started, killed when the test ends, however it ends.
struct KilledAtEnd {
  int Pid;
  ~KilledAtEnd() { kill(Pid, SIGKILL); }
};

// Alive, and not a zombie waiting for its parent.
bool alive(pid_t pid) {
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

}  // namespace

// The program the opener starts (a player, say) lives on after the opener
// has ended, warning on its error output as players do: nothing of this
// program is attached to it, no pipe that closes and kills it at its next
// warning, no descriptor of ours, not our session.
TEST_F(FakeDesktop, AProgramTheOpenerStartsOutlivesItAndKeepsWarning) {
  const std::string dir = Dir.string();
  Opener("( while :; do echo 'player: warning' >&2 || exit 1; sleep 0.02; done ) &\n"
         "echo $! > '" + dir + "/player.pid'\n"
         "sleep 0.3\n"
         "touch '" + dir + "/opener.done'\n");
  Start();
  Form->Show();
  Search(u"fox");
  Form->HintLabel->SetCaption(String());
  bool handled = false;
  Form->HtmlOutHotSpotClick(Form->HTMLOut, u"@https://example.org/page", handled);
  EXPECT_TRUE(handled);
  ASSERT_TRUE(Until([&] { return std::filesystem::exists(Dir / "opener.done"); })) << "the opener did not run";
  const pid_t player = std::stoi(readFile(Dir / "player.pid"));
  // It runs on its own for ever: ended here however the test ends.
  const KilledAtEnd ender{player};
  // Long enough for the opener's end to be seen and anything kept of it let go.
  const auto later = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  Until([&] { return std::chrono::steady_clock::now() > later; });
  EXPECT_TRUE(alive(player)) << "the started program died";
  EXPECT_EQ(procLink(player, 0), "/dev/null");
  EXPECT_EQ(procLink(player, 1), "/dev/null");
  EXPECT_EQ(procLink(player, 2).find("pipe:"), std::string::npos) << procLink(player, 2);
  EXPECT_EQ(procLink(player, 3), "") << "a descriptor of the program was inherited";
  EXPECT_NE(getsid(player), getsid(0));
  // It still writes, and its words go somewhere that takes them.
  const std::string stderrPath = "/proc/" + std::to_string(player) + "/fd/2";
  std::error_code e;
  const auto before = std::filesystem::file_size(stderrPath, e);
  const auto wait = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  Until([&] { return std::chrono::steady_clock::now() > wait; });
  EXPECT_GT(std::filesystem::file_size(stderrPath, e), before);
  EXPECT_TRUE(alive(player));
  // A started program that did well says nothing.
  EXPECT_EQ(Status(), "");
}
