// The main window over small dictionaries: start-up, the search run and the
// result tree, pages, completion, links and media, and the window's own
// messages.
#include <filesystem>

#include "app/dictionaries.h"
#include "platform/core/strings.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tests/app/main_form_util.h"
#include "tray/tray_icon.h"

using apptest::readFile;
using apptest::temporariesIn;
using apptest::writeFile;

namespace {

class Window : public apptest::MainWindow {
protected:
  void SetUp() override {
    MainWindow::SetUp();
    Dict("en")
        .Properties("English <dictionary>", "en")
        .Word({0, "FOX", "<1>fox</1> лиса; <7>wolf</7>"})
        .Word({0, "FOREST", "лес; a forest of masts"})
        .Word({0, "FOX", "second homonym <5>fox.png</5>"})
        .Word({0, "WOLF", "волк, <7>fox</7> and <7>say \"hi\"</7>"})
        .Word({0, "<BR>", "a headword that looks like markup"})
        .Media(3, "fox.png", "PNGDATA")
        .Media(3, "../../escape.wav", "ESCAPE")
        .Media(3, "run.desktop", "[Desktop Entry]\nExec=sh -c 'touch owned'\n")
        .Media(3, "tool.sh", "#!/bin/sh\n")
        .Media(3, "app.JAR", "PK")
        .Media(3, "cry.OGG", "OggS");
    Dict("ru").Properties("Russian", "ru").Word({0, "ЕЖ", "hedgehog"}).Word({0, "ЕЛКА", "fir"});
    List("en 1\r\nru 1\r\n");
  }

  // Starts with "Big" active before the others: Rows headwords W1, W2, ...,
  // each with the article the SQL expression Article makes (none if empty).
  void StartWithBig(int Rows, const std::string& Article = "") {
    {
      apptest::DictFile big(Dir / "dictionaries/big.tamrix");
      big.Properties("Big", "en");
      big.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<" + std::to_string(Rows) +
               ") INSERT INTO words(word) SELECT 'W' || i FROM n;");
      if (!Article.empty())
        big.exec("INSERT INTO descriptions(ROWID, description) SELECT ROWID, " + Article + " FROM words;");
    }
    List("big 1\r\nen 1\r\nru 0\r\n");
    Start();
  }
};

}  // namespace

TEST_F(Window, StartUpShowsHelpAndOpensTheActiveDictionaries) {
  Start();
  EXPECT_EQ(LastDictIndex, 1);
  EXPECT_EQ(Form->Caption(), u" tamrix 5.7");
  EXPECT_EQ(Form->SearchButton->Caption(), u"искать");
  EXPECT_FALSE(Form->AdditionalEdit->Enabled());
  EXPECT_EQ(Form->Width(), 800);
  EXPECT_EQ(Form->Height(), 600);
  // The help style sheet is written from the template with the colours.
  EXPECT_EQ(readFile(Dir / "help/style.css"), "body { background: #FFFFFF; color: #000000; }\r\n");
  EXPECT_NE(Page().find("Help"), std::string::npos);
  // The hot key cannot be taken on the offscreen desktop: said once.
  EXPECT_EQ(Messages, std::vector<std::string>{"Unable to assign Control-Alt-Space as hotkey."});
  EXPECT_FALSE(Form->HotKeyRegistered());
}

TEST_F(Window, SearchListsRootsAndHeadwordsAndShowsTheFirstArticle) {
  Start();
  Search(u"  fox ");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOX#1,FOX#3]");
  EXPECT_EQ(Form->QueryCombo->Text(), u"fox");
  EXPECT_EQ(Form->QueryCombo->Items()->Count(), 1);
  EXPECT_EQ(Status().rfind("найдено вариантов: 2 за ", 0), 0u) << Status();
  EXPECT_NE(Page().find("<h1>FOX</h1><B>fox</B> лиса; <A href=\"#wolf\">wolf</A>"), std::string::npos) << Page();
  EXPECT_EQ(Form->ShownCaption, u"FOX");
  EXPECT_TRUE(Form->vst->Expanded(Form->vst->GetFirst()));

  // "%" lists everything of every dictionary, with no alphabet test.
  Search(u"%");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOX#1,FOREST#2,FOX#3,WOLF#4,<BR>#5] Russian(0,-1)[ЕЖ#1,ЕЛКА#2]");
  // Russian words are looked up in the Russian dictionary only, "ё" as "е".
  Search(u"ёж");
  EXPECT_EQ(Tree(), "Russian(0,-1)[ЕЖ#1]");
  Search(u"f_x");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOX#1,FOX#3]");
  // Additional words filter by the article and are highlighted as the
  // article spells them.
  Search(u"fo%", u"MASTS");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOREST#2]");
  EXPECT_NE(Page().find("<FONT style=\"background-color: #E0FFFF\">masts</FONT>"), std::string::npos) << Page();
  EXPECT_EQ(Page().find("MASTS"), std::string::npos) << Page();
}

TEST_F(Window, ADictionaryWithoutPropertiesIsCaptionedWithItsFileName) {
  Dict("plain").Word({0, "FOX", "a dictionary that says nothing of itself"});
  List("en 1\r\nru 0\r\nplain 1\r\n");
  Start();
  Search(u"%");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOX#1,FOREST#2,FOX#3,WOLF#4,<BR>#5] plain(0,-1)[FOX#1]");
}

TEST_F(Window, NothingFoundAndTheEmptyQuery) {
  Start();
  Search(u"zebra");
  EXPECT_EQ(Tree(), "ничего не найдено(3,-666)[]");
  EXPECT_EQ(Status().rfind("найдено вариантов: 0", 0), 0u);
  Select(0);
  EXPECT_NE(Page().find("<h1>ничего не найдено</h1><p>Nothing</p><p>here</p>"), std::string::npos) << Page();
  // An empty query searches nothing and shows the nothing-found page.
  Form->HTMLOut->Clear();
  Search(u"   ");
  EXPECT_EQ(Tree(), "ничего не найдено(3,-666)[]");
  EXPECT_NE(Page().find("<p>Nothing</p>"), std::string::npos);
  // A word with a double quote is a word like any other.
  Search(u"say\"");
  EXPECT_EQ(Tree(), "ничего не найдено(3,-666)[]");
}

TEST_F(Window, RootsShowAboutPagesAndKeepTheirImagesInStep) {
  Start();
  Search(u"%");
  Select(0);
  EXPECT_NE(Page().find("<h1>English &lt;dictionary&gt;</h1>L1:about English &lt;dictionary&gt;<BR><HR>L2:author"),
            std::string::npos)
      << Page();
  Select(1);
  EXPECT_NE(Page().find("<h1>Russian</h1>L1:about Russian"), std::string::npos);
  // The headword "<BR>" is shown as text.
  Select(0, 4);
  EXPECT_NE(Page().find("<h1>&lt;BR&gt;</h1>"), std::string::npos);
  PDataNode root = Form->vst->GetFirst();
  Form->vst->SetExpanded(root, false);
  EXPECT_EQ(Form->NodeRecord(root)->Kind, 1);
  Form->vst->SetExpanded(root, true);
  EXPECT_EQ(Form->NodeRecord(root)->Kind, 0);
}

TEST_F(Window, HeadwordIdsAreWholeRowidsAndRolesComeFromTheKind) {
  Dict("odd")
      .Properties("Odd ids", "en")
      .Word({0, "ZERO", "zero"})
      .Word({-5, "NEG", "negative"})
      .Word({3000000000LL, "BIG", "big"});
  List("odd 1\r\n");
  std::filesystem::remove(Dir / "dictionaries/en.tamrix");
  std::filesystem::remove(Dir / "dictionaries/ru.tamrix");
  apptest::Exec(Dir / "dictionaries/odd.tamrix",
                "UPDATE words SET ROWID=0 WHERE word='ZERO'; UPDATE descriptions SET ROWID=0 WHERE description='zero'");
  Start();
  // "%" keeps its condition words.ROWID>0; the others are found by name.
  Search(u"%");
  EXPECT_EQ(Tree(), "Odd ids(0,0)[BIG#3000000000]");
  Search(u"neg");
  EXPECT_EQ(Tree(), "Odd ids(0,0)[NEG#-5]");
  EXPECT_NE(Page().find("<h1>NEG</h1>negative"), std::string::npos) << Page();
  Search(u"zero");
  EXPECT_EQ(Tree(), "Odd ids(0,0)[ZERO#0]");
  EXPECT_NE(Page().find("<h1>ZERO</h1>zero"), std::string::npos) << Page();
  Search(u"big");
  EXPECT_NE(Page().find("<h1>BIG</h1>big"), std::string::npos) << Page();
  // The root of the first dictionary (id 0) still shows its about page.
  Select(0);
  EXPECT_NE(Page().find("<h1>Odd ids</h1>L1:"), std::string::npos) << Page();
}

TEST_F(Window, CompletionListsTheFirstDictionaryByPrefix) {
  Start();
  Type(u"fo");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOREST#2,FOX#1,FOX#3]");
  EXPECT_EQ(Status(), "подобрано вариантов: 3");
  EXPECT_EQ(Form->QueryCombo->Items()->Count(), 0);
  Type(u"q");
  EXPECT_EQ(Tree(), "");
  EXPECT_EQ(Status(), "подобрано вариантов: 0");
  // Enter searches and starts no completion.
  Search(u"wolf");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[WOLF#4]");
  // Off: typing leaves the tree alone.
  AppSettings.WordAutoSelect = false;
  Form->QueryCombo->SetText(String());
  Type(u"f");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[WOLF#4]");
}

TEST_F(Window, CompletionFoldsYoLikeTheSearch) {
  List("ru 1\r\nen 1\r\n");
  Start();
  Type(u"ёл");
  EXPECT_EQ(Tree(), "Russian(0,0)[ЕЛКА#2]");
}

TEST_F(Window, TypingAPrefixOfAnEarlierQueryLooksUpWhatWasTyped) {
  Start();
  Form->Show();
  Search(u"forest");
  ASSERT_EQ(Tree(), "English <dictionary>(0,0)[FOREST#2]");
  // Typed for real: the box must not fill in "forest" from its own list.
  Form->QueryCombo->SetText(String());
  InjectFocus(Form->QueryCombo->Handle());
  InjectKeyStroke(Form->QueryCombo->Handle(), 'F', {}, u"f");
  InjectKeyStroke(Form->QueryCombo->Handle(), 'O', {}, u"o");
  EXPECT_EQ(Form->QueryCombo->Text(), u"fo");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOREST#2,FOX#1,FOX#3]");
  InjectKeyStroke(Form->QueryCombo->Handle(), VK_RETURN, {}, u"\r");
  EXPECT_EQ(Form->QueryCombo->Text(), u"fo");
  EXPECT_EQ(Tree(), "ничего не найдено(3,-666)[]");
}

TEST_F(Window, WordLinksSearchAndOnlyWebAddressesLeave) {
  Start();
  Search(u"wolf");
  bool handled = false;
  Form->HtmlOutHotSpotClick(Form->HTMLOut, u"#fox", handled);
  EXPECT_TRUE(handled);
  EXPECT_EQ(Form->QueryCombo->Text(), u"fox");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOX#1,FOX#3]");
  // A quote in a link target stays inside it.
  Select(0, 0);
  Search(u"wolf");
  EXPECT_NE(Page().find("<A href=\"#say &quot;hi&quot;\">say \"hi\"</A>"), std::string::npos) << Page();
  handled = false;
  Form->HtmlOutHotSpotClick(Form->HTMLOut, u"help/other.html", handled);
  EXPECT_FALSE(handled);
  handled = false;
  Form->HtmlOutHotSpotClick(Form->HTMLOut, u"#file:///etc/passwd@x", handled);
  EXPECT_TRUE(handled);
  EXPECT_NE(Status().find("file:///etc/passwd@x"), std::string::npos) << Status();
  EXPECT_EQ(Form->QueryCombo->Text(), u"wolf");
}

TEST_F(Window, MediaAnswersPicturesAndExtractsOnlyIntoTemp) {
  Start();
  Search(u"fox");
  Select(0, 1);
  EXPECT_NE(Page().find("SRC=\"*0/fox.png\""), std::string::npos);
  TStream* stream = nullptr;
  Form->requestImage(Form->HTMLOut, u"*0/fox.png", stream);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Size(), 7);
  // Refused without an error box: an inactive index, a non-number.
  for (const char16_t* src : {u"*7/fox.png", u"*x/fox.png", u"*-1/fox.png"}) {
    stream = nullptr;
    Form->requestImage(Form->HTMLOut, src, stream);
    EXPECT_EQ(stream, nullptr) << UTF16ToUTF8(src);
  }
  stream = nullptr;
  Form->requestImage(Form->HTMLOut, u"plain.png", stream);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(Messages.size(), 1u);  // only the hot key's

  bool handled = false;
  Form->HtmlOutHotSpotClick(Form->HTMLOut, u"*0/../../escape.wav", handled);
  EXPECT_TRUE(handled);
  EXPECT_EQ(readFile(Dir / "temp/escape.wav"), "ESCAPE");
  EXPECT_FALSE(std::filesystem::exists(Dir.parent_path() / "escape.wav"));
  EXPECT_EQ(Form->QueryCombo->Text(), u"fox");  // a media name with "@" is no search either
}

TEST_F(Window, StopEndsTheWholeRun) {
  StartWithBig(20000);
  // The stop click arrives while the run handles its messages.
  Later([&] { Form->SearchButtonClick(Form->SearchButton); });
  Search(u"%");
  const std::string tree = Tree();
  EXPECT_EQ(tree.find("English"), std::string::npos) << "a dictionary after the stop was searched";
  EXPECT_LT(ResultCount, 20000);
  // Every row counted before the stop is in the tree, none after it.
  EXPECT_EQ(Form->vst->ChildCount(Form->vst->GetFirstChild(nullptr)), std::uint32_t(ResultCount));
  EXPECT_EQ(Form->SearchButton->Caption(), u"искать");
}

// A search that reads many articles and finds nothing in them still shows
// "стоп!" while it runs, handles the click on it, and ends there: the
// dictionary after it, which holds the word, is not searched.
// Stopped before any row, it says it was stopped: neither the list, nor the
// status line, nor the page (after the Enter that stopped it goes up) says
// the word is missing.
TEST_F(Window, ASearchThatFindsNothingShowsStopAndStops) {
  StartWithBig(20000, "'an article of ' || word");
  for (const bool withEnter : {false, true}) {
    SCOPED_TRACE(withEnter ? "Enter" : "button");
    String shown;
    Later([&] {
      shown = Form->SearchButton->Caption();
      WORD enter = VK_RETURN;
      if (withEnter) Form->QueryComboKeyDown(Form->QueryCombo, enter, {});
      else Form->SearchButtonClick(Form->SearchButton);
    });
    Search(u"%", u"masts");
    EXPECT_EQ(UTF16ToUTF8(shown), "стоп!");
    EXPECT_EQ(Tree(), "поиск остановлен(3,-667)[]") << "the run went on after the stop";
    EXPECT_EQ(Status().rfind("поиск остановлен", 0), 0u) << Status();
    EXPECT_EQ(Form->SearchButton->Caption(), u"искать");
    WORD enter = VK_RETURN;
    Form->vstKeyUp(Form->vst, enter, {});
    EXPECT_EQ(Page().find("Nothing"), std::string::npos) << Page();
    EXPECT_NE(Page().find("<h1>поиск остановлен</h1>"), std::string::npos) << Page();
  }
  // Unstopped, the same search finds the word in the second dictionary.
  Search(u"%", u"masts");
  EXPECT_EQ(Tree(), "English <dictionary>(0,-1)[FOREST#2]");
}

// A stop that comes while the last dictionary of the word's alphabet hands
// over its last rows leaves nothing unread that would have been searched:
// the run is complete and says so.
TEST_F(Window, AStopAfterTheLastDictionaryOfTheWordsAlphabetIsNoStop) {
  {
    apptest::DictFile many(Dir / "dictionaries/many.tamrix");
    many.Properties("Many", "ru");
    // Exactly one group of rows: the messages are handled as the last one is
    // handed over, and the statement then ends.
    many.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<64) "
              "INSERT INTO words(word) SELECT 'ЕЖ' FROM n;");
  }
  List("many 1\r\nen 1\r\n");
  Start();
  bool clicked = false;
  Later([&] {
    clicked = true;
    Form->SearchButtonClick(Form->SearchButton);
  });
  Search(u"еж");
  ASSERT_TRUE(clicked);
  // The fixture's Russian dictionary holds the word once.
  EXPECT_EQ(Status().rfind("найдено вариантов: 65", 0), 0u) << Status();
  EXPECT_NE(Tree().find("Many(0,-1)[ЕЖ#1,"), std::string::npos) << Tree();
}

TEST_F(Window, AHeadwordClickedWhileTheEngineReadsShowsItsPageOnceTheReadIsOver) {
  // The first rows match at once; then a long stretch that matches nothing,
  // in which the run handles messages from inside the engine's step on the
  // very connection the page would be read from.
  StartWithBig(20000, "CASE WHEN ROWID <= 64 THEN 'masts of ' || word ELSE 'an article of ' || word END");
  std::string pageAtClick;
  bool clicked = false, seen = false;
  std::function<void()> click = [&] {
    PDataNode root = Form->vst->GetFirstChild(nullptr);
    PDataNode first = root ? Form->vst->GetFirstChild(root) : nullptr;
    // The rows are handed over between two steps; the next messages are
    // handled from inside one.
    const bool firstSight = first && !seen;
    if (first) seen = true;
    if (!first || firstSight) {
      Later(click);
      return;
    }
    Form->vst->ClearSelection();
    Form->vst->SetSelected(first, true);
    Form->vst->SetFocusedNode(first);
    Form->vstClick(Form->vst);
    clicked = true;
    pageAtClick = Page();
  };
  Later(click);
  Search(u"%", u"masts");
  ASSERT_TRUE(clicked);
  EXPECT_EQ(pageAtClick.find("W1"), std::string::npos) << "the page was read in the middle of the engine's step";
  EXPECT_NE(Page().find("W1"), std::string::npos) << "the clicked page was not shown after the step";
}

TEST_F(Window, LongResultListsKeepEveryRowInOrder) {
  // Row counts that are not a multiple of anything round, captions of
  // every length, and a look at the tree while the run handles messages.
  auto caption = [](int i) { return "W" + std::string(std::size_t(i % 40), char('A' + i % 26)) + std::to_string(i); };
  {
    apptest::DictFile big(Dir / "dictionaries/big.tamrix");
    big.Properties("Big", "en");
    big.exec("BEGIN;");
    for (int i = 1; i <= 1000; ++i) big.Word({0, caption(i), "article " + std::to_string(i)});
    big.exec("COMMIT;");
  }
  List("big 1\r\nen 1\r\nru 0\r\n");
  Start();
  std::uint32_t seenRows = 0;
  int seenCount = -1;
  Later([&] {
    PDataNode root = Form->vst->GetFirstChild(nullptr);
    seenRows = root ? Form->vst->ChildCount(root) : 0;
    seenCount = ResultCount;
  });
  Search(u"%");
  EXPECT_GT(seenCount, 0) << "the run did not handle messages";
  EXPECT_EQ(seenRows, std::uint32_t(seenCount)) << "rows read but not in the tree while messages are handled";
  EXPECT_EQ(ResultCount, 1005);

  TDataStringTree* t = Form->vst;
  PDataNode root = t->GetFirstChild(nullptr);
  ASSERT_EQ(t->ChildCount(root), 1000u);
  EXPECT_TRUE(t->Expanded(root));
  EXPECT_EQ(Form->NodeRecord(root)->Kind, nkOpenRoot);
  int i = 0;
  for (PDataNode n = t->GetFirstChild(root); n; n = t->GetNextSibling(n)) {
    ++i;
    const ResultNodeType* r = Form->NodeRecord(n);
    ASSERT_EQ(r->Caption, caption(i)) << "row " << i;
    ASSERT_EQ(r->Id, i);
    ASSERT_EQ(r->Kind, nkHeadword);
  }
  EXPECT_EQ(t->VisibleCount(), 1000u + 1u + 5u + 1u);
  EXPECT_EQ(Tree().substr(Tree().find(" English")), " English <dictionary>(0,-1)[FOX#1,FOREST#2,FOX#3,WOLF#4,<BR>#5]");
  // The next search empties the list and fills it afresh.
  Search(u"wa%");
  EXPECT_EQ(t->RootNodeCount(), 1u);
  EXPECT_EQ(t->ChildCount(t->GetFirstChild(nullptr)), 37u);
}

TEST_F(Window, RunsStartedInsideARunWaitForIt) {
  StartWithBig(5000);
  // A key typed while a completion runs: the running one stops, the tree
  // it fills is not cleared under it, the fresh one runs after it.
  Later([&] { Type(u"1"); });
  Type(u"w");
  EXPECT_EQ(Form->QueryCombo->Text(), u"w1");
  const std::string tree = Tree();
  EXPECT_EQ(tree.rfind("Big(0,0)[W1#1,W10#10", 0), 0u) << tree.substr(0, 80);
  EXPECT_EQ(std::count(tree.begin(), tree.end(), '['), 1);
  EXPECT_FALSE(Form->RunActive());

  // An activation during a run waits for it: the connections stay open.
  bool activated = false;
  Later([&] {
    Form->FormActivate(Form);
    activated = true;
    EXPECT_NE(::Dicts[0].Db, nullptr);
  });
  Search(u"%");
  EXPECT_TRUE(activated);
  EXPECT_EQ(ResultCount, 5005);
  EXPECT_NE(::Dicts[0].Db, nullptr);
}

TEST_F(Window, DoubleCopySearchesTheSecondOfTwoIdenticalCopies) {
  Start();
  // The desktop tells the viewer chain about each copy.
  auto copy = [&](const String& text) {
    Clipboard()->SetAsText(text);
    for (int i = 0; i < 5; ++i) Application->HandleMessage();
  };
  copy(u"wolf");
  EXPECT_EQ(Tree(), "");
  copy(u"fox");
  EXPECT_EQ(Tree(), "");
  copy(u"fox");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOX#1,FOX#3]");
  copy(u"wolf");
  copy(u"wolf");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[WOLF#4]");
  // A third identical copy starts a new pair.
  Search(u"fox");
  copy(u"wolf");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOX#1,FOX#3]");
  AppSettings.UseCtrlC = false;
  copy(u"wolf");
  copy(u"wolf");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOX#1,FOX#3]");
}

// A double copy while a long search runs ends that search and looks up
// what was copied.
TEST_F(Window, ADoubleCopyDuringASearchEndsItAndSearchesTheCopy) {
  StartWithBig(20000);
  bool during = false;
  Later([&] {
    during = Form->RunActive();
    for (int copy = 0; copy < 2; ++copy) {
      Clipboard()->SetAsText(u"fox");
      for (int i = 0; i < 5; ++i) Application->HandleMessage();
    }
  });
  Search(u"%");
  EXPECT_TRUE(during);
  EXPECT_EQ(Tree(), "English <dictionary>(0,-1)[FOX#1,FOX#3]");
  EXPECT_EQ(Form->QueryCombo->Text(), u"fox");
  EXPECT_EQ(Status().rfind("найдено вариантов: 2 за ", 0), 0u) << Status();
  EXPECT_FALSE(Form->RunActive());
}

// The "в буфер" button's copy of the whole article never searches, however
// often it is made, and is no half of a pair either; a word the user selects
// in the article and copies twice ("копировать" or Ctrl+C) is looked up, as
// the same text copied twice elsewhere is.
TEST_F(Window, OwnCopiesAreNoDoubleCopy) {
  Start();
  auto settle = [] {
    for (int i = 0; i < 5; ++i) Application->HandleMessage();
  };
  Search(u"fox");
  const std::string tree = Tree();
  ASSERT_EQ(tree, "English <dictionary>(0,0)[FOX#1,FOX#3]");
  const std::string page = Page();
  for (int i = 0; i < 3; ++i) {
    Form->BufferButtonClick(Form->BufferButton);
    settle();
  }
  const String copied = Clipboard()->AsText();
  EXPECT_NE(UTF16ToUTF8(copied).find("лиса"), std::string::npos) << UTF16ToUTF8(copied);
  EXPECT_EQ(Tree(), tree);
  EXPECT_EQ(Page(), page);
  EXPECT_EQ(Form->QueryCombo->Text(), u"fox");
  EXPECT_EQ(Form->QueryCombo->Items()->Count(), 1);
  const std::function<void()> copyWays[] = {
      [&] { Form->N1Click(Form); },
      [&] {
        WORD c = 'C', ctrl = VK_CONTROL;
        Form->HTMLOutKeyDown(Form->HTMLOut, c, {ssCtrl});
        Form->HTMLOutKeyUp(Form->HTMLOut, c, {ssCtrl});
        Form->HTMLOutKeyUp(Form->HTMLOut, ctrl, {});
      },
  };
  for (const auto& copyWord : copyWays) {
    Search(u"fox");
    ASSERT_TRUE(Form->HTMLOut->Find(u"wolf", false));
    ASSERT_EQ(Form->HTMLOut->GetSelText(), u"wolf");
    copyWord();
    settle();
    EXPECT_EQ(Tree(), tree) << "one copy searched";
    copyWord();
    settle();
    EXPECT_EQ(Tree(), "English <dictionary>(0,0)[WOLF#4]");
    EXPECT_EQ(Form->QueryCombo->Text(), u"wolf");
  }
  Search(u"fox");

  // After an own copy of a word, the word copied once elsewhere does not
  // search, twice it does.
  Form->CopyOwn([] { Clipboard()->SetAsText(u"wolf"); });
  settle();
  EXPECT_TRUE(Form->IsOwnCopy());
  Clipboard()->SetAsText(u"wolf");
  settle();
  EXPECT_FALSE(Form->IsOwnCopy());
  EXPECT_EQ(Tree(), tree);
  Clipboard()->SetAsText(u"wolf");
  settle();
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[WOLF#4]");
}

// A second main window while the first lives: the program keeps one next
// viewer, so the first window finds itself there. It never passes a change
// on to itself (which would recurse until the stack ran out), and once the
// second window goes the first watches the clipboard as before.
TEST_F(Window, ASecondMainWindowKeepsTheClipboardChainFreeOfLoops) {
  Start();
  auto copy = [&](const String& text) {
    Clipboard()->SetAsText(text);
    for (int i = 0; i < 5; ++i) Application->HandleMessage();
  };
  auto* second = new TRuForm(nullptr);
  second->SetProgramFolder(Utf8ToUnicode(Dir.string()));
  second->AfterConstruction();
  EXPECT_EQ(GetClipboardViewer(), second->Handle());
  copy(u"wolf");
  copy(u"fox");
  const HWND first = Form->Handle();
  second->Free();
  // The dictionaries are the program's too: the first window opens them again.
  RuForm = Form;
  Form->FormActivate(Form);
  EXPECT_EQ(GetClipboardViewer(), first);
  copy(u"fox");
  copy(u"fox");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOX#1,FOX#3]");
  // Joining again does not make the window its own successor.
  EXPECT_EQ(SetClipboardViewer(first), nullptr);
  copy(u"wolf");
  copy(u"wolf");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[WOLF#4]");
  // Leaving with itself named as the next leaves no window behind.
  ChangeClipboardChain(first, first);
  EXPECT_EQ(GetClipboardViewer(), nullptr);
}

// Control+Alt+Space brings the window up with the query box focused; the
// releases of its own keys reach the box but start no completion, whether
// their presses went to another program or to the box itself. Other keys
// released in the box complete as ever.
TEST_F(Window, TheHotKeysOwnReleasesKeepTheResults) {
  Start();
  // A list that no completion of the box's text would give.
  Search(u"fo%", u"masts");
  ASSERT_EQ(Tree(), "English <dictionary>(0,0)[FOREST#2]");
  const std::string tree = Tree(), status = Status();
  HWND box = Form->QueryCombo->Handle();
  for (const bool pressedInBox : {false, true}) {
    SCOPED_TRACE(pressedInBox ? "window in front" : "window behind");
    if (pressedInBox) {
      InjectKey(box, VK_CONTROL, {ssCtrl}, String());
      InjectKey(box, VK_MENU, {ssCtrl, ssAlt}, String());
    }
    SendMessage(Form->Handle(), WM_HOTKEY, 1, MAKELPARAM(MOD_CONTROL | MOD_ALT, VK_SPACE));
    InjectKey(box, VK_SPACE, {ssCtrl, ssAlt}, u" ", true);
    InjectKey(box, VK_MENU, {ssCtrl, ssAlt}, String(), true);
    InjectKey(box, VK_CONTROL, {ssCtrl}, String(), true);
    for (int i = 0; i < 5; ++i) Application->HandleMessage();
    EXPECT_EQ(Tree(), tree);
    EXPECT_EQ(Status(), status);
  }
  // A fresh press of a key of the hot key, and any other key, completes,
  // also when it went down elsewhere in the window and comes up in the box
  // after a hot key whose releases never reached the window.
  for (const UINT key : {UINT(VK_END), UINT(VK_CONTROL)}) {
    for (const bool elsewhere : {false, true}) {
      SCOPED_TRACE(elsewhere ? "pressed in the list" : "pressed in the box");
      Search(u"fox");
      SendMessage(Form->Handle(), WM_HOTKEY, 1, MAKELPARAM(MOD_CONTROL | MOD_ALT, VK_SPACE));
      const TShiftState shift = key == VK_CONTROL ? TShiftState{ssCtrl} : TShiftState{};
      HWND down = elsewhere ? Form->vst->Handle() : box;
      InjectFocus(down);
      InjectKey(down, key, shift, String());
      InjectFocus(box);
      InjectKey(box, key, shift, String(), true);
      EXPECT_EQ(Status(), "подобрано вариантов: 2");
    }
  }
}

TEST_F(Window, CloseCommandFollowsTheTraySettings) {
  Start();
  Form->Show();
  AppSettings.MinimizeAtClosing = true;
  AppSettings.HideToSysTray = false;
  Form->Perform(WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(Form->Visible());
  // With the tray setting but no notification area the window is not
  // hidden for good: it is minimised instead.
  AppSettings.HideToSysTray = true;
  Form->ApplyTraySetting();
  EXPECT_FALSE(Form->TrayIcon2->IconShown());
  Form->Perform(WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(Form->Visible());
}

TEST_F(Window, ClosingSavesSettingsAtomicallyAndEmptiesTemp) {
  Start();
  writeFile(Dir / "temp/old.wav", "x");
  writeFile(Dir / "temp/pic.png", "y");
  AppSettings.FontSize = 14;
  Form->SetWidth(900);
  TCloseAction action = caHide;
  Form->FormClose(Form, action);
  EXPECT_TRUE(std::filesystem::is_empty(Dir / "temp"));
  const std::string settings = readFile(Dir / "other/settings");
  EXPECT_NE(settings.find("FontSize=14;\r\n"), std::string::npos);
  EXPECT_NE(settings.find("MainFormWidth=900;\r\n"), std::string::npos);
  EXPECT_NE(settings.find("CurrentSkin=noSkin;\r\n"), std::string::npos);
  EXPECT_TRUE(temporariesIn(Dir / "other").empty());
  EXPECT_EQ(LastDictIndex >= 0 ? ::Dicts[0].Db : nullptr, nullptr);
}

TEST_F(Window, BadSettingsAndMissingAlphabetStillStart) {
  writeFile(Dir / "other/settings", "FontSize=huge;\r\nBgColor=;\r\nWordAutoSelect=-1;\r\n");
  std::filesystem::remove(Dir / "other/abc");
  Start();
  EXPECT_EQ(AppSettings.FontSize, 12);  // a sensible size for the missing one
  EXPECT_TRUE(AppSettings.WordAutoSelect);
  EXPECT_EQ(AlphabetCount, 0);
  // Without an alphabet only "%" finds anything.
  Search(u"fox");
  EXPECT_EQ(Tree(), "ничего не найдено(3,-666)[]");
  Search(u"%");
  EXPECT_NE(Tree().find("FOX#1"), std::string::npos);
}

TEST_F(Window, AStoredSizeLargerThanTheScreenKeepsTheWindowOnIt) {
  // Saved on a larger display (or edited by hand): the window is limited
  // to the screen and placed on it, title bar included.
  writeFile(Dir / "other/settings", "MainFormWidth=100000;\r\nMainFormHeight=90000;\r\n");
  Start();
  EXPECT_LE(Form->Width(), Screen->Width());
  EXPECT_LE(Form->Height(), Screen->Height());
  EXPECT_GE(Form->Left(), 0);
  EXPECT_GE(Form->Top(), 0);
  EXPECT_LE(Form->Left() + Form->Width(), Screen->Width());
  EXPECT_LE(Form->Top() + Form->Height(), Screen->Height());
}

TEST_F(Window, RescanAddsNewFilesActiveOnTopAndDropsMissingOnes) {
  Dict("my dict").Properties("Blank", "en").Word({0, "FOX", "from the file with a blank"});
  Start();
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "my dict 1\r\nen 1\r\nru 1\r\n");
  EXPECT_EQ(UTF16ToUTF8(Manager->Label1->Caption()), "Установлено новых словарей: 1");
  EXPECT_EQ(ActiveDicts[0], u"my dict");
  Search(u"fox");
  EXPECT_EQ(Tree(), "Blank(0,0)[FOX#1] English <dictionary>(0,-1)[FOX#1,FOX#3]");
  // Unchanged across activations.
  Form->FormActivate(Form);
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "my dict 1\r\nen 1\r\nru 1\r\n");
  EXPECT_EQ(UTF16ToUTF8(Manager->Label1->Caption()), "Новые словари не найдены.");
  std::filesystem::remove(Dir / "dictionaries/ru.tamrix");
  std::filesystem::remove(Dir / "dictionaries/en.tamrix");
  Form->FormActivate(Form);
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "my dict 1\r\n");
  EXPECT_EQ(UTF16ToUTF8(Manager->Label1->Caption()), "Удалено словарей: 2");
  EXPECT_EQ(LastDictIndex, 0);
}

TEST_F(Window, TheManagerListTicksDictionariesOnAndOffWithTheMouse) {
  Start();
  Manager->Show();
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  TDataStringTree* list = Manager->DictsTree;
  PDataNode first = list->GetFirst();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->CheckState, csCheckedNormal);
  // Whole rows are selected, and every row shows the dictionary picture.
  EXPECT_TRUE(list->TreeOptions().SelectionOptions().Contains(toFullRowSelect));
  EXPECT_NE(list->Images(), nullptr);
  const TRect row = list->GetDisplayRect(first, NoColumn, false);
  const TPoint box{int(list->Indent()) + list->Margin() + 4, (row.Top + row.Bottom) / 2};
  InjectMouse(list->Handle(), imDown, mbLeft, box, {});
  InjectMouse(list->Handle(), imUp, mbLeft, box, {});
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  EXPECT_EQ(first->CheckState, csUncheckedNormal) << "a click on the box clears it";
  Manager->SaveDictsOptionsClick(Manager);
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "en 0\r\nru 1\r\n");
  Manager->Close();
}

namespace {

bool anyMessageHas(const std::vector<std::string>& messages, const std::string& part) {
  for (const std::string& m : messages)
    if (m.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST_F(Window, AProgramFolderThatCannotBeWrittenStartsSearchesAndCloses) {
  // Tests run as root, which may write into any folder it has: the writes
  // are made to fail for root too. The settings' folder is a link into a
  // place that does not exist, and a folder stands where the help style
  // sheet goes (no file can be renamed over a folder).
  std::filesystem::remove_all(Dir / "other");
  std::filesystem::create_directory_symlink(Dir / "gone/other", Dir / "other");
  std::filesystem::create_directories(Dir / "help/style.css/kept");
  Start();
  // Said once each, naming the file; the help page shows all the same.
  EXPECT_TRUE(anyMessageHas(Messages, Dir.string() + "/help/style.css")) << Messages.size();
  EXPECT_FALSE(anyMessageHas(Messages, "File access denied"));
  EXPECT_NE(Page().find("Help"), std::string::npos);
  Search(u"%");
  EXPECT_NE(Tree().find("FOX#1"), std::string::npos) << Tree();
  const size_t before = Messages.size();
  EXPECT_NO_THROW(Form->Close());
  EXPECT_TRUE(Application->Terminated()) << "the close box did not end the program";
  ASSERT_EQ(Messages.size(), before + 1);
  EXPECT_NE(Messages.back().find(Dir.string() + "/other/settings"), std::string::npos) << Messages.back();
  // A second attempt to save the same settings is not said again.
  TCloseAction action = caHide;
  EXPECT_NO_THROW(Form->FormClose(Form, action));
  EXPECT_NE(action, caNone);
  EXPECT_EQ(Messages.size(), before + 1);
}

TEST_F(Window, AMissingListIsRebuiltAndAListThatCannotBeWrittenStillOpensWhatCanBeRead) {
  std::filesystem::remove(Dir / "dictionaries/dictionaries._");
  Start();
  const std::string rebuilt = readFile(Dir / "dictionaries/dictionaries._");
  EXPECT_NE(rebuilt.find("en 1\r\n"), std::string::npos) << rebuilt;
  EXPECT_NE(rebuilt.find("ru 1\r\n"), std::string::npos) << rebuilt;
  EXPECT_EQ(LastDictIndex, 1);
  EXPECT_EQ(Messages.size(), 1u);  // the hot key's

  // A full disk: the unlisted "ru" cannot be added to the list.
  List("en 1\r\n");
  {
    apptest::FileSizeLimit full(0);
    Form->FormActivate(Form);
    EXPECT_EQ(LastDictIndex, 0);
    EXPECT_EQ(ActiveDicts[0], u"en");
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_NE(Messages.back().find(Dir.string() + "/dictionaries/dictionaries._"), std::string::npos);
    Form->FormActivate(Form);
    EXPECT_EQ(Messages.size(), 2u) << "the same failure is said once";
    // Without any list every dictionary of the folder is searched.
    std::filesystem::remove(Dir / "dictionaries/dictionaries._");
    Form->FormActivate(Form);
    EXPECT_EQ(LastDictIndex, 1);
  }
  EXPECT_TRUE(temporariesIn(Dir / "dictionaries").empty());
  Search(u"fox");
  EXPECT_NE(Tree().find("FOX#1"), std::string::npos);
}

TEST_F(Window, FilesThatAreNoDictionariesAreListedByNameNeverActive) {
  writeFile(Dir / "dictionaries/empty.tamrix", "");
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise += char((i * 7919 + 13) & 0xFF);
  writeFile(Dir / "dictionaries/noise.tamrix", noise);
  std::string damaged = readFile(Dir / "dictionaries/en.tamrix");
  damaged.replace(0, 16, 16, '\0');
  writeFile(Dir / "dictionaries/damaged.tamrix", damaged);
  Start();
  const std::string list = readFile(Dir / "dictionaries/dictionaries._");
  for (const char* name : {"empty", "noise", "damaged"})
    EXPECT_NE(list.find(std::string(name) + " 0\r\n"), std::string::npos) << name << " in " << list;
  EXPECT_EQ(LastDictIndex, 1);
  EXPECT_EQ(ActiveDicts[0], u"en");
  // The manager names them by file and marks them.
  std::vector<std::string> captions;
  for (PDataNode n = Manager->DictsTree->GetFirst(); n; n = Manager->DictsTree->GetNextSibling(n))
    captions.push_back(UTF16ToUTF8(Manager->DictsTree->Text(n, NoColumn)));
  for (const char* name : {"empty", "noise", "damaged"})
    EXPECT_NE(std::find(captions.begin(), captions.end(), std::string(name) + " (файл не читается)"), captions.end())
        << name;
  // Ticked by hand and put first, they still never become active:
  // completion reads the first dictionary that opened.
  List("noise 1\r\nempty 1\r\ndamaged 1\r\nen 1\r\nru 1\r\n");
  Form->FormActivate(Form);
  EXPECT_EQ(ActiveDicts[0], u"en");
  Type(u"fo");
  EXPECT_EQ(Tree(), "English <dictionary>(0,0)[FOREST#2,FOX#1,FOX#3]");
}

TEST_F(Window, ReadingADictionaryInLogModeWritesNothingBesideIt) {
  apptest::Exec(Dir / "dictionaries/en.tamrix", "PRAGMA journal_mode=WAL;");
  auto sideFiles = [&] {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(Dir / "dictionaries")) {
      const std::string name = e.path().filename().string();
      if (name.find("-wal") != std::string::npos || name.find("-shm") != std::string::npos ||
          name.find("-journal") != std::string::npos)
        found.push_back(name);
    }
    return found;
  };
  ASSERT_EQ(sideFiles(), std::vector<std::string>{});
  Start();
  Search(u"fox");
  Select(0, 1);
  TStream* stream = nullptr;
  Form->requestImage(Form->HTMLOut, u"*0/fox.png", stream);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Size(), 7);
  Type(u"f");
  Manager->RefreshDictsClick(Manager);
  EXPECT_EQ(sideFiles(), std::vector<std::string>{});
  TCloseAction action = caHide;
  Form->FormClose(Form, action);
  EXPECT_EQ(sideFiles(), std::vector<std::string>{});
}

TEST_F(Window, MissingOrUnreadableColoursTakeReadableOnes) {
  writeFile(Dir / "other/settings", "FontSize=12;\r\nFontName=DejaVu Sans;\r\nUseBgColor=-1;\r\nUseFontStyle=0;\r\n");
  Start();
  EXPECT_EQ(readFile(Dir / "help/style.css"), "body { background: #FFFFFF; color: #000000; }\r\n");
  Search(u"fox");
  EXPECT_NE(Page().find("<body bgcolor=\"#FFFFFF\" style=\"margin-right: 20px; margin-bottom: 20px; color: #000000;"),
            std::string::npos)
      << Page().substr(0, 300);
  EXPECT_NE(ColorToRGB(Form->vst->Color()), ColorToRGB(Form->vst->Font()->Color()));
  TCloseAction action = caHide;
  Form->FormClose(Form, action);
  const std::string saved = readFile(Dir / "other/settings");
  EXPECT_NE(saved.find("FontColor=clWindowText;\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("BgColor=clWindow;\r\n"), std::string::npos) << saved;
}

TEST_F(Window, AnUnreadableColourStandsOutAgainstTheOneGiven) {
  writeFile(Dir / "other/settings", "FontColor=clWhite;\r\nBgColor=lightish;\r\nUseBgColor=-1;\r\nUseFontStyle=-1;\r\n");
  Start();
  EXPECT_EQ(AppSettings.FontColor, clWhite);
  EXPECT_EQ(AppSettings.BgColor, clBlack);
  Search(u"fox");
  EXPECT_NE(Page().find("<body bgcolor=\"#000000\" style=\"margin-right: 20px; margin-bottom: 20px; color: #FFFFFF;"),
            std::string::npos)
      << Page().substr(0, 300);
}

TEST_F(Window, CompletionListsHeadwordsStoredWithYoAndWithYe) {
  Dict("yo")
      .Properties("Yo", "ru")
      .Word({0, "ЕЖЕВИКА", "bramble"})
      .Word({0, "ЕЛКА", "fir"})
      .Word({0, "ЕЛЬ", "spruce"})
      .Word({0, "ЁЖ", "hedgehog"})
      .Word({0, "ЁЛКА", "fir tree"})
      .Word({0, "ЛЕС", "forest"})
      .Word({0, "ЛЁД", "ice"});
  List("yo 1\r\nen 1\r\nru 0\r\n");
  Start();
  Type(u"ёл");
  EXPECT_EQ(Tree(), "Yo(0,0)[ЁЛКА#5,ЕЛКА#2,ЕЛЬ#3]");
  Form->QueryCombo->SetText(String());
  Type(u"е");
  EXPECT_EQ(Tree(), "Yo(0,0)[ЁЖ#4,ЁЛКА#5,ЕЖЕВИКА#1,ЕЛКА#2,ЕЛЬ#3]");
  Form->QueryCombo->SetText(String());
  Type(u"лё");
  EXPECT_EQ(Tree(), "Yo(0,0)[ЛЁД#7,ЛЕС#6]");
  Form->QueryCombo->SetText(String());
  Type(u"ежев");
  EXPECT_EQ(Tree(), "Yo(0,0)[ЕЖЕВИКА#1]");
  EXPECT_EQ(Status(), "подобрано вариантов: 1");
}

namespace {

// No program is set for anything: the desktop finds no opener.
class NoDesktopPrograms {
public:
  NoDesktopPrograms() : FPath(getenv("PATH") ? getenv("PATH") : "") { setenv("PATH", "/nonexistent", 1); }
  ~NoDesktopPrograms() { setenv("PATH", FPath.c_str(), 1); }

private:
  std::string FPath;
};

}  // namespace

TEST_F(Window, OnlyPicturesSoundsAndVideosAreHandedToTheDesktop) {
  NoDesktopPrograms none;
  Start();
  Search(u"fox");
  Select(0, 1);
  for (const char16_t* name : {u"run.desktop", u"tool.sh", u"app.JAR"}) {
    bool handled = false;
    Form->HtmlOutHotSpotClick(Form->HTMLOut, u"*0/" + String(name), handled);
    EXPECT_TRUE(handled);
    EXPECT_FALSE(std::filesystem::exists(Dir / "temp" / UTF16ToUTF8(name))) << UTF16ToUTF8(name);
    EXPECT_NE(Status().find(UTF16ToUTF8(name)), std::string::npos) << Status();
    EXPECT_NE(Status().find("только картинки, звуки и видео"), std::string::npos) << Status();
  }
  // A sound is extracted and handed over; with no program for it the
  // status line says so.
  bool handled = false;
  Form->HintLabel->SetCaption(String());
  Form->HtmlOutHotSpotClick(Form->HTMLOut, u"*0/cry.OGG", handled);
  EXPECT_EQ(readFile(Dir / "temp/cry.OGG"), "OggS");
  EXPECT_NE(Status().find("Не удалось открыть «cry.OGG»"), std::string::npos) << Status();
  EXPECT_EQ(Messages.size(), 1u);  // only the hot key's
}

TEST_F(Window, AWebAddressWithNoProgramSetIsToldInTheStatusLine) {
  NoDesktopPrograms none;
  Start();
  bool handled = false;
  Form->HtmlOutHotSpotClick(Form->HTMLOut, u"@https://example.org/page", handled);
  EXPECT_TRUE(handled);
  EXPECT_NE(Status().find("Не удалось открыть «https://example.org/page»"), std::string::npos) << Status();
  Form->HintLabel->SetCaption(String());
  Form->RefLabelClick(Form->RefLabel);
  EXPECT_NE(Status().find("Не удалось открыть"), std::string::npos) << Status();
}

TEST_F(Window, PageLinksShowOnlyTheProgramsHelpAndTempFiles) {
  writeFile(Dir / "help/next.html", "<html><body>next</body></html>");
  writeFile(Dir / "temp/saved.html", "<html><body>saved</body></html>");
  writeFile(Dir / "other/secret.html", "<html><body>secret</body></html>");
  std::filesystem::create_symlink(Dir / "other/secret.html", Dir / "temp/link.html");
  Start();
  Search(u"fox");
  auto follows = [&](const String& src) {
    bool handled = false;
    Form->HtmlOutHotSpotClick(Form->HTMLOut, src, handled);
    return !handled;
  };
  EXPECT_TRUE(follows(u"help/next.html"));
  EXPECT_TRUE(follows(u"temp/saved.html#top"));
  EXPECT_TRUE(follows(u"#anchor.html"));
  EXPECT_TRUE(follows(Utf8ToUnicode((Dir / "help/next.html").string())));
  Form->HintLabel->SetCaption(String());
  EXPECT_FALSE(follows(u"other/secret.html"));
  EXPECT_NE(Status().find("other/secret.html"), std::string::npos) << Status();
  for (const std::string& src : {std::string("temp/link.html"), std::string("help/../other/secret.html"),
                                 std::string("/etc/hostname.html"), std::string("file:///etc/passwd#.html"),
                                 std::string("../") + Dir.filename().string() + "2/help/x.html",
                                 std::string("http://example.org/a.html")})
    EXPECT_FALSE(follows(Utf8ToUnicode(src))) << src;
  // From a help page its neighbours are reached by their bare names.
  Form->HelpButtonClick(Form);
  EXPECT_TRUE(follows(u"next.html"));
}

TEST_F(Window, WhatAKilledRunLeftHalfWrittenIsSweptAtStart) {
  const char* const left[] = {"other/.tamrix-00000000000000aa", "dictionaries/.tamrix-00000000000000bb",
                              "help/.tamrix-00000000000000cc"};
  for (const char* file : left) writeFile(Dir / file, "half");
  // Files of the user's that only look alike stay.
  writeFile(Dir / "other/.tamrix-notours", "mine");
  writeFile(Dir / "other/settings.new", "mine");
  Start();
  for (const char* file : left) EXPECT_FALSE(std::filesystem::exists(Dir / file)) << file;
  EXPECT_TRUE(std::filesystem::exists(Dir / "other/.tamrix-notours"));
  EXPECT_TRUE(std::filesystem::exists(Dir / "other/settings.new"));
  EXPECT_NE(readFile(Dir / "other/settings").find("FontSize=12;"), std::string::npos);
}

TEST_F(Window, DictionariesThatTakeLongToDescribeAreNamedAndTheOthersOpen) {
  // Rows without end, each costly by its work or by a value's length, and
  // rows whose single step costs hours (a search quadratic in a value, in
  // the view or in a computed column of a table).
  const std::string endless = "CREATE VIEW properties AS WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 "
                              "FROM n) SELECT 'a', 'Never' AS full_caption FROM n WHERE ";
  const std::string a = "printf('%.*c', 4000000, 'a')", b = "printf('%.*c', 600000, 'b') || 'a'";
  const std::pair<std::string, std::string> slow[] = {
      {"endless", endless + "i < 0;"},
      {"long", endless + "length(randomblob(20000000)) < 0;"},
      {"trim", endless + "length(trim(" + a + ", " + b + ")) < 0;"},
      {"column", "CREATE TABLE t(a, b); INSERT INTO t VALUES (" + a + ", " + b +
                     "); ALTER TABLE t ADD c AS (trim(a, b)); CREATE VIEW properties AS SELECT 'a', c AS full_caption "
                     "FROM t;"}};
  for (const auto& [name, sql] : slow) Dict(name).Word({0, "FOX", "x"}).exec(sql);
  List("endless 1\r\nen 1\r\nlong 1\r\nru 1\r\ntrim 1\r\ncolumn 1\r\n");
  Start();
  EXPECT_EQ(UTF16ToUTF8(Form->HintLabel->Caption()),
            "Словари «endless», «long», «trim», «column» открываются слишком долго: описания прочитаны не "
            "полностью.");
  EXPECT_EQ(std::vector<String>(ActiveDicts, ActiveDicts + 6),
            (std::vector<String>{u"endless", u"en", u"long", u"ru", u"trim", u"column"}));
  // Once they are gone, so is the notice.
  for (const char* name : {"endless", "long", "trim", "column"})
    std::filesystem::remove(Dir / "dictionaries" / (std::string(name) + ".tamrix"));
  Form->FormActivate(Form);
  EXPECT_EQ(Form->HintLabel->Caption(), u"");
}
