// Activation of the dictionary set, query splitting, the alphabet test and
// the search statements run against real dictionary files.
#include "app/dictionaries.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/article.h"
#include "app/data_files.h"
#include "platform/core/strings.h"
#include "tests/app/app_test_util.h"

namespace {

class Dictionaries : public apptest::ProgramFolder {
protected:
  void SetUp() override {
    ProgramFolder::SetUp();
    AlphabetCount = ReadAlphabetFile(u"other/abc", AlphabetEntryType, MaxAlphabetEntries);
  }
  void TearDown() override {
    CloseDictionaries();
    ProgramFolder::TearDown();
  }
  // Headwords found by the search statement for Query in dictionary i.
  std::vector<std::string> search(int i, const String& query) {
    CheckQuery(query);
    if (QueryWordCount > 1) RegisterMyUpper(Dicts[i].Db);
    return run(i, BuildSearchStatement());
  }
  std::vector<std::string> run(int i, const TSearchStatement& st) {
    std::vector<std::string> found;
    RunSearchStatement(Dicts[i].Db, st, [&](std::int64_t id, const char* w, int n) {
      found.push_back(std::string(w, size_t(n)) + "#" + std::to_string(id));
      return false;
    });
    return found;
  }
  using V = std::vector<std::string>;
};

int openConnections() {
  int n = 0;
  for (const auto& d : Dicts) n += d.Db != nullptr;
  return n;
}

}  // namespace

TEST_F(Dictionaries, ActiveLinesInOrderSkippingMissingAndInactive) {
  Dict("en").Properties("English", "en");
  Dict("ru").Properties("Russian", "ru");
  Dict("off").Properties("Off", "en");
  Dict("my dict").Properties("Blank in the name", "en");
  // No file to read: a named pipe (which would wait for a writer) and a folder.
  ASSERT_EQ(::mkfifo("dictionaries/pipe.tamrix", 0600), 0);
  ASSERT_TRUE(std::filesystem::create_directory("dictionaries/folder.tamrix"));
  List("missing 1\r\npipe 1\r\nen 1\r\noff 0\r\nfolder 1\r\nmy dict 1\r\nru 1\r\n");
  EXPECT_EQ(DictionaryListCaption(u"pipe"), u"pipe (файл не читается)");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  ASSERT_EQ(LastDictIndex, 2);
  EXPECT_EQ(ActiveDicts[0], u"en");
  EXPECT_EQ(ActiveDicts[1], u"my dict");
  EXPECT_EQ(ActiveDicts[2], u"ru");
  EXPECT_EQ(Dicts[1].Caption, "Blank in the name");
  EXPECT_EQ(Dicts[2].Languages, "ru");
  EXPECT_EQ(Dicts[0].InfoNumber, 3);
  EXPECT_EQ(Dicts[0].InfoText0, "author");
  EXPECT_EQ(Dicts[0].InfoText2, "about English");
  EXPECT_EQ(Dicts[0].FileName, u"en");
  EXPECT_EQ(openConnections(), 3);
  // Activations do not pile up connections.
  for (int i = 0; i < 5; ++i) OpenActiveDictionaries(u"dictionaries/dictionaries._");
  EXPECT_EQ(openConnections(), 3);
  List("");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  EXPECT_EQ(LastDictIndex, -1);
  EXPECT_EQ(openConnections(), 0);
}

TEST_F(Dictionaries, RecordsStartEmptyAndShortRowsFillWhatTheyHave) {
  Dict("full").Properties({"a0", "Full", "a2", "7", "en", "a5", "a6", "a7", "a8", "a9", "-1"});
  Dict("none");  // no properties row at all
  Dict("short").Properties({"s0", "Short", "s2", "x"});
  apptest::writeFile(Dir / "dictionaries/junk.tamrix", "this is not a database, just text");
  List("full 1\r\nnone 1\r\nshort 1\r\njunk 1\r\n");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  ASSERT_EQ(LastDictIndex, 2);
  EXPECT_TRUE(Dicts[0].InfoFlag);
  EXPECT_EQ(Dicts[0].InfoText9, "a9");
  // Nothing of the previous dictionary leaks into one without a row; its
  // file name stands for its caption.
  EXPECT_EQ(Dicts[1].Caption, "none");
  EXPECT_EQ(Dicts[1].Languages, "");
  EXPECT_NE(Dicts[1].Db, nullptr);
  EXPECT_EQ(Dicts[2].Caption, "Short");
  EXPECT_EQ(Dicts[2].InfoNumber, 0);
  EXPECT_EQ(Dicts[2].Languages, "");
  EXPECT_FALSE(Dicts[2].InfoFlag);
  // A file that is no database never becomes active.
  EXPECT_EQ(Dicts[3].Db, nullptr);
  EXPECT_EQ(ActiveDicts[3], u"");
}

TEST_F(Dictionaries, TheLastPropertiesRowCountsHoweverTheTableIsMade) {
  // Two rows: the second names other languages, and it is the one that
  // counts, so Russian words are looked up there.
  Dict("two").Properties("First", "en");
  apptest::Exec(Dir / "dictionaries/two.tamrix",
                "INSERT INTO properties VALUES('b0', 'Second', '', '5', 'ru', '', '', '', '', '', '1');");
  // Row ids out of the order the rows were written in: the table's order
  // is by row id.
  Dict("ids").Properties("Low", "en");
  apptest::Exec(Dir / "dictionaries/ids.tamrix",
                "UPDATE properties SET rowid = 10;"
                "INSERT INTO properties(rowid, c0, c1_full_caption, c4) VALUES(3, 'x', 'Earlier', 'en');");
  // A column that takes the row id's name does not hide the row id.
  Dict("shadow");
  apptest::Exec(Dir / "dictionaries/shadow.tamrix",
                "CREATE TABLE properties(c0, full_caption, rowid);"
                "INSERT INTO properties VALUES('s', 'Shadow first', 2);"
                "INSERT INTO properties VALUES('s', 'Shadow last', 1);");
  // Without row ids and as a view: read from the first row to the last.
  Dict("norowid");
  apptest::Exec(Dir / "dictionaries/norowid.tamrix",
                "CREATE TABLE properties(c0 PRIMARY KEY, full_caption, c2, c3, c4) WITHOUT ROWID;"
                "INSERT INTO properties VALUES('b', 'Key b', '', '1', 'ru');"
                "INSERT INTO properties VALUES('a', 'Key a', '', '2', 'en');");
  Dict("view");
  apptest::Exec(Dir / "dictionaries/view.tamrix",
                "CREATE VIEW properties AS SELECT 'v0', 'View first' AS full_caption, '', '1', 'en' UNION ALL "
                "SELECT 'v1', 'View last', '', '2', 'ru';");
  List("two 1\r\nids 1\r\nshadow 1\r\nnorowid 1\r\nview 1\r\n");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  ASSERT_EQ(LastDictIndex, 4);
  EXPECT_EQ(Dicts[0].Caption, "Second");
  EXPECT_EQ(Dicts[0].Languages, "ru");
  EXPECT_EQ(Dicts[0].InfoNumber, 5);
  EXPECT_TRUE(Dicts[0].InfoFlag);
  EXPECT_EQ(Dicts[1].Caption, "Low");
  EXPECT_EQ(Dicts[2].Caption, "Shadow last");
  EXPECT_EQ(Dicts[3].Caption, "Key b");
  EXPECT_EQ(Dicts[3].Languages, "ru");
  EXPECT_EQ(Dicts[4].Caption, "View last");
  EXPECT_EQ(Dicts[4].InfoNumber, 2);
  // The manager's list shows the first row's caption.
  EXPECT_EQ(DictionaryListCaption(u"view"), u"View first");
  CheckQuery(u"ёж");
  EXPECT_TRUE(WordMatchesLanguages(Utf8ToUnicode(Dicts[0].Languages), Utf8ToUnicode(QueryWords[1])));
}

TEST_F(Dictionaries, APropertiesViewWithoutEndIsReadOnlyAsFarAsItIsWorthReading) {
  // Three million rows, and a view that works for ever before its first
  // row: activation and the manager's list read each only so far, and go
  // on with what they found (reading either whole never ends, or takes
  // seconds).
  Dict("endless").Properties("Endless", "en");
  apptest::Exec(Dir / "dictionaries/endless.tamrix",
                "DROP TABLE properties; CREATE VIEW properties AS WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL "
                "SELECT i + 1 FROM n WHERE i < 2999999) SELECT 'a' || i, CASE WHEN i = 0 THEN 'Endless' ELSE 'row ' || i END AS "
                "full_caption, '', '3', 'en', '', '', '', '', '', '0' FROM n;");
  Dict("never").Properties("Never", "en");
  apptest::Exec(Dir / "dictionaries/never.tamrix",
                "DROP TABLE properties; CREATE VIEW properties AS WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL "
                "SELECT i + 1 FROM n) SELECT 'a', 'Never' AS full_caption, '', '3', 'en' FROM n WHERE i < 0;");
  List("endless 1\r\nnever 1\r\n");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  ASSERT_EQ(LastDictIndex, 1);
  EXPECT_EQ(Dicts[0].Caption.rfind("row ", 0), 0u) << Dicts[0].Caption;
  EXPECT_EQ(Dicts[0].Languages, "en");
  EXPECT_EQ(Dicts[1].Caption, "never");
  EXPECT_EQ(DictionaryListCaption(u"endless"), u"Endless");
  EXPECT_EQ(DictionaryListCaption(u"never"), u"never");
}

TEST_F(Dictionaries, AtMostOneHundredAndOneAreActive) {
  Dict("d").Properties("D", "en");
  std::string list;
  for (int i = 0; i < 120; ++i) list += "d 1\r\n";
  List(list);
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  EXPECT_EQ(LastDictIndex, 100);
  EXPECT_EQ(openConnections(), 101);
}

TEST_F(Dictionaries, QuerySplittingAndYoFolding) {
  CheckQuery(u"fox  red dog");
  ASSERT_EQ(QueryWordCount, 3);
  EXPECT_EQ(QueryWords[1], "fox");
  EXPECT_EQ(QueryWords[2], " red");  // the extra blank leads the next word
  EXPECT_EQ(QueryWords[3], "dog");
  CheckQuery(u"ёлка Ёж");
  EXPECT_EQ(QueryWords[1], UnicodeToUtf8(u"елка"));
  EXPECT_EQ(QueryWords[2], UnicodeToUtf8(u"Ёж"));  // additional words as typed
  CheckQuery(u"Ёж");
  EXPECT_EQ(QueryWords[1], UnicodeToUtf8(u"Еж"));
  // Not Russian (a Latin letter): left alone.
  CheckQuery(u"ёx");
  EXPECT_EQ(QueryWords[1], UnicodeToUtf8(u"ёx"));
  String many;
  for (int i = 0; i < 150; ++i) many += u"w" + IntToStr(i) + u" ";
  CheckQuery(many);
  EXPECT_EQ(QueryWordCount, 100);
  EXPECT_EQ(QueryWords[100], "w99");
}

TEST_F(Dictionaries, AlphabetTestNeedsEveryLetterInANamedLanguage) {
  EXPECT_TRUE(WordMatchesLanguages(u"en", u"fox"));
  EXPECT_TRUE(WordMatchesLanguages(u"en-ru", u"f_x%"));
  EXPECT_FALSE(WordMatchesLanguages(u"ru", u"fox"));
  EXPECT_TRUE(WordMatchesLanguages(u"ru", u"ёжик"));
  EXPECT_FALSE(WordMatchesLanguages(u"en", u"foxё"));
  EXPECT_FALSE(WordMatchesLanguages(u"", u"fox"));
}

TEST_F(Dictionaries, SearchStatementsFindExactlyWhatWasAskedFor) {
  Dict("en")
      .Properties("English", "en")
      .Word({0, "FOX", "<1>fox</1> лиса, рыжий зверь"})
      .Word({0, "FORK", "вилка"})
      .Word({0, "WORD", "the word"})
      .Word({0, "DESCRIPTION", "описание"})
      .Word({0, "SAY \"HI\"", "quoted"})
      .Word({0, "FOX", "fox, second homonym, рыжий"});
  Dict("ru").Properties("Russian", "ru").Word({0, "ЕЖ", "hedgehog"}).Word({0, "ЕЛКА", "fir tree"});
  List("en 1\r\nru 1\r\n");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");

  EXPECT_EQ(search(0, u"fox"), (V{"FOX#1", "FOX#6"}));  // homonyms in ROWID order
  EXPECT_EQ(search(0, u"fo_"), (V{"FOX#1", "FOX#6"}));
  EXPECT_EQ(search(0, u"fo%"), (V{"FORK#2", "FOX#1", "FOX#6"}));  // index order
  EXPECT_EQ(search(0, u"%").size(), 6u);
  // Column names and quotes are values, not SQL.
  EXPECT_EQ(search(0, u"word"), (V{"WORD#3"}));
  EXPECT_EQ(search(0, u"description"), (V{"DESCRIPTION#4"}));
  EXPECT_EQ(search(0, u"say"), V{});
  EXPECT_EQ(search(0, u"%\"HI\""), (V{"SAY \"HI\"#5"}));
  // Additional words filter by the article in any case, as typed.
  EXPECT_EQ(search(0, u"fox РЫЖИЙ second"), (V{"FOX#6"}));
  EXPECT_EQ(search(0, u"% рыжий"), (V{"FOX#1", "FOX#6"}));
  EXPECT_EQ(search(0, u"fox \") OR 1=1 OR (\""), V{});
  EXPECT_EQ(search(1, u"ёж"), (V{"ЕЖ#1"}));

  // Headwords stored with "Ё" are found by the folded word too, exactly
  // and through a pattern, and nothing else joins them.
  Dict("yo").Properties("Yo", "ru").Word({0, "ЁЖ", "hedgehog"}).Word({0, "ЕЖ", "hedgehog"}).Word({0, "ЛЁД", "ice"})
      .Word({0, "ЕЖЕВИКА", "blackberry"}).Word({0, "ЁЛКА", "fir tree"});
  List("en 1\r\nru 1\r\nyo 1\r\n");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  // The spelling as searched comes first.
  EXPECT_EQ(search(2, u"ёж"), (V{"ЕЖ#2", "ЁЖ#1"}));
  EXPECT_EQ(search(2, u"еж"), (V{"ЕЖ#2", "ЁЖ#1"}));
  EXPECT_EQ(search(2, u"лёд"), (V{"ЛЁД#3"}));
  EXPECT_EQ(search(2, u"е%а"), (V{"ЕЖЕВИКА#4", "ЁЛКА#5"}));
  EXPECT_EQ(search(2, u"еж ice"), V{});

  // The completion prefix is bound too.
  EXPECT_EQ(run(0, BuildCompletionStatement(u"FO")), (V{"FORK#2", "FOX#1", "FOX#6"}));  // index order
  EXPECT_EQ(run(0, BuildCompletionStatement(u"\"")), V{});
}

TEST_F(Dictionaries, YoIsFoundAtAnyPlaceSpeltEitherWay) {
  // A word of many "Е" (one spelt "Ё" late) beside words that share its
  // first letters; "Ё" after an earlier "Е" in ЗЕЛЁНЫЙ and ЕЩЁ.
  Dict("yo")
      .Properties("Yo", "ru")
      .Word({0, "ЗЕЛЁНЫЙ", "green"})
      .Word({0, "ЗЕЛЕНЬ", "greens"})
      .Word({0, "ЕЩЁ", "more"})
      .Word({0, "ЕЩЕ", "more, spelt plainly"})
      .Word({0, "ПЕРЕЕЗЖЕНЁЕ", "many"})
      .Word({0, "ПЕРЕЕЗЖЕНЕЕ", "many, plainly"})
      .Word({0, "ПЕРЕЕЗД", "move"})
      .Word({0, "ЁЛКА", "fir tree"});
  List("yo 1\r\n");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  EXPECT_EQ(search(0, u"зеленый"), (V{"ЗЕЛЁНЫЙ#1"}));
  EXPECT_EQ(search(0, u"зелёный"), (V{"ЗЕЛЁНЫЙ#1"}));
  EXPECT_EQ(search(0, u"ЗЕЛЁНЫЙ green"), (V{"ЗЕЛЁНЫЙ#1"}));
  // Spellings that differ where the search reads the index come each in
  // the index's order, the spelling with "Е" first.
  EXPECT_EQ(search(0, u"ещё"), (V{"ЕЩЕ#4", "ЕЩЁ#3"}));
  EXPECT_EQ(search(0, u"еще"), (V{"ЕЩЕ#4", "ЕЩЁ#3"}));
  EXPECT_EQ(search(0, u"ещё spelt"), (V{"ЕЩЕ#4"}));
  EXPECT_EQ(search(0, u"переезженее"), (V{"ПЕРЕЕЗЖЕНЁЕ#5", "ПЕРЕЕЗЖЕНЕЕ#6"}));
  EXPECT_EQ(search(0, u"переёзженее"), (V{"ПЕРЕЕЗЖЕНЁЕ#5", "ПЕРЕЕЗЖЕНЕЕ#6"}));
  EXPECT_EQ(search(0, u"зел%"), (V{"ЗЕЛЁНЫЙ#1", "ЗЕЛЕНЬ#2"}));
  EXPECT_EQ(search(0, u"зелен%"), (V{"ЗЕЛЕНЬ#2", "ЗЕЛЁНЫЙ#1"}));
  EXPECT_EQ(search(0, u"з_лен_й"), (V{"ЗЕЛЁНЫЙ#1"}));
  EXPECT_EQ(search(0, u"%ЛЕНЫЙ"), (V{"ЗЕЛЁНЫЙ#1"}));
  EXPECT_EQ(search(0, u"переезжен%"), (V{"ПЕРЕЕЗЖЕНЁЕ#5", "ПЕРЕЕЗЖЕНЕЕ#6"}));
  // Completion lists in the index's order, "Ё" before "Е".
  EXPECT_EQ(run(0, BuildCompletionStatement(u"ЗЕЛЕН")), (V{"ЗЕЛЁНЫЙ#1", "ЗЕЛЕНЬ#2"}));
  EXPECT_EQ(run(0, BuildCompletionStatement(u"ЕЩЕ")), (V{"ЕЩЁ#3", "ЕЩЕ#4"}));
  EXPECT_EQ(run(0, BuildCompletionStatement(u"ПЕРЕЕЗЖЕНЕ")), (V{"ПЕРЕЕЗЖЕНЁЕ#5", "ПЕРЕЕЗЖЕНЕЕ#6"}));
  EXPECT_EQ(run(0, BuildCompletionStatement(u"ПЕРЕЕЗ")), (V{"ПЕРЕЕЗД#7", "ПЕРЕЕЗЖЕНЁЕ#5", "ПЕРЕЕЗЖЕНЕЕ#6"}));

  // However many "Е" a word has, the statement reads the index (no scan of
  // the headwords) with a bounded number of look-ups.
  auto plan = [&](const TSearchStatement& st) {
    std::string text;
    sqlite3_stmt* p = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(Dicts[0].Db, ("EXPLAIN QUERY PLAN " + st.SQL).c_str(), -1, &p, nullptr), SQLITE_OK);
    for (size_t i = 0; i < st.Params.size(); ++i)
      sqlite3_bind_text(p, int(i + 1), st.Params[i].c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(p) == SQLITE_ROW) text += reinterpret_cast<const char*>(sqlite3_column_text(p, 3)) + std::string("\n");
    sqlite3_finalize(p);
    return text;
  };
  for (const char16_t* q : {u"зеленый", u"еще", u"переезженее", u"ееееееееееееееееееееееее", u"зел%", u"з_лен_й"}) {
    CheckQuery(q);
    const TSearchStatement st = BuildSearchStatement();
    const std::string text = plan(st);
    EXPECT_EQ(text.find("SCAN"), std::string::npos) << text;
    EXPECT_NE(text.find("INDEX"), std::string::npos) << text;
    EXPECT_LE(st.Params.size(), 9u);
  }
  for (const char16_t* p : {u"ЗЕЛЕН", u"Е", u"ЕЕЕЕЕЕЕЕЕЕЕЕЕЕЕЕЕЕЕЕЕ"}) {
    const TSearchStatement st = BuildCompletionStatement(p);
    const std::string text = plan(st);
    EXPECT_EQ(text.find("SCAN"), std::string::npos) << text;
    EXPECT_LE(st.Params.size(), 9u);
  }
}

// "Ё" counts as "Е" beyond the main word as well: in the article text an
// additional word is looked for in, in the highlighting of what it found,
// and in completions of headwords of several words.
TEST_F(Dictionaries, YoCountsAsYeInArticleTextAndInHeadwordsOfSeveralWords) {
  Dict("yo")
      .Properties("Yo", "ru")
      .Word({0, "ДОМ", "маленький зверёк; зелёный"})
      .Word({0, "ЛЕС", "зеленый лес, Зелёный дуб"})
      .Word({0, "ЕЩЁ РАЗ", "once more"})
      .Word({0, "ЕЩЕ РАНО", "too early"})
      .Word({0, "ЁЖ", "a green hedgehog"});
  List("yo 1\r\n");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  EXPECT_EQ(search(0, u"% зверек"), (V{"ДОМ#1"}));
  EXPECT_EQ(search(0, u"% зверёк"), (V{"ДОМ#1"}));
  EXPECT_EQ(search(0, u"% ЗЕЛЕНЫЙ"), (V{"ДОМ#1", "ЛЕС#2"}));
  EXPECT_EQ(search(0, u"% зелёный"), (V{"ДОМ#1", "ЛЕС#2"}));
  EXPECT_EQ(search(0, u"% зелёный дуб"), (V{"ЛЕС#2"}));
  EXPECT_EQ(search(0, u"% зелёный Зверек"), (V{"ДОМ#1"}));
  EXPECT_EQ(search(0, u"еж green"), (V{"ЁЖ#5"}));
  // Other words still compare as typed, upper-cased.
  EXPECT_EQ(search(0, u"% GREEN"), (V{"ЁЖ#5"}));

  // The article shows what was found marked, however either is spelt, in
  // the article's own spelling.
  const String page = ConvertArticleMarkup(u"маленький зверёк; ЗЕЛЁНЫЙ и зеленый", 0, {u"зверек", u"зелёный"});
  const String mark = u"<FONT style=\"background-color: #E0FFFF\">";
  EXPECT_EQ(page, u"маленький " + mark + u"зверёк</FONT>; " + mark + u"ЗЕЛЁНЫЙ</FONT> и " + mark +
                      u"зеленый</FONT>")
      << UTF16ToUTF8(page);
  EXPECT_EQ(ConvertArticleMarkup(u"вечнозелёный", 0, {u"зеленый"}), u"вечно" + mark + u"зелёный</FONT>");

  // Completion of a headword of two words.
  EXPECT_EQ(FoldYo(u"ЕЩЁ Р"), u"ЕЩЕ Р");
  EXPECT_EQ(run(0, BuildCompletionStatement(FoldYo(u"ЕЩЁ Р"))), (V{"ЕЩЁ РАЗ#3", "ЕЩЕ РАНО#4"}));
  EXPECT_EQ(run(0, BuildCompletionStatement(FoldYo(u"ЕЩЕ Р"))), (V{"ЕЩЁ РАЗ#3", "ЕЩЕ РАНО#4"}));
  EXPECT_EQ(run(0, BuildCompletionStatement(FoldYo(u"ЕЩЁ РАЗ"))), (V{"ЕЩЁ РАЗ#3"}));
}

TEST_F(Dictionaries, ExactAndPrefixSearchesUseTheIndex) {
  Dict("en").Properties("English", "en").Word({0, "FOX", "x"});
  List("en 1\r\n");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  auto plan = [&](const TSearchStatement& st) {
    std::string text;
    sqlite3_stmt* p = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(Dicts[0].Db, ("EXPLAIN QUERY PLAN " + st.SQL).c_str(), -1, &p, nullptr), SQLITE_OK);
    for (size_t i = 0; i < st.Params.size(); ++i)
      sqlite3_bind_text(p, int(i + 1), st.Params[i].c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(p) == SQLITE_ROW) text += reinterpret_cast<const char*>(sqlite3_column_text(p, 3));
    sqlite3_finalize(p);
    return text;
  };
  CheckQuery(u"fox");
  EXPECT_NE(plan(BuildSearchStatement()).find("INDEX"), std::string::npos);
  CheckQuery(u"hous%");
  EXPECT_NE(plan(BuildSearchStatement()).find("INDEX"), std::string::npos);
  EXPECT_NE(plan(BuildCompletionStatement(u"HOU")).find("INDEX"), std::string::npos);
}
