// Searches a user makes in a dictionary of their own: headwords written with
// "Ё" after an earlier "Е", found whichever way the word is typed; a long
// search that finds nothing, stopped with its button; and the article
// copied twice with "в буфер", which is no search.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/app/app_e2e_support.h"

using e2e::Sh;

namespace {

// The tables of a dictionary file, before its rows.
constexpr const char* kDictionaryTables =
    "CREATE TABLE words(word TEXT COLLATE NOCASE);"
    "CREATE TABLE descriptions(description TEXT);"
    "CREATE TABLE multimedia(word_id INTEGER, internal_name TEXT, mm_content BLOB);"
    "CREATE TABLE properties(author, full_caption, description, words, languages, version, licence, short,"
    " source, date, media);";

class Search : public e2e::Program {
protected:
  // A dictionary of the user's beside the shipped ones: the rescan at start
  // puts it at the top of the list, active.
  void AddYoDictionary() {
    Prepare();
    const auto file = Folder / "dictionaries" / "yo-words.tamrix";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    const std::string sql = std::string(kDictionaryTables) +
        "INSERT INTO properties VALUES('e2e', 'Yo words', '', '3', 'ru', '1', '', 'yo', '', '2026', '0');"
        "INSERT INTO words VALUES('ЕЩЁ'), ('ЗЕЛЁНЫЙ'), ('ЗЕЛЕНЬ');"
        "INSERT INTO descriptions VALUES('still more'), ('green coloured'), ('garden greens');"
        "CREATE INDEX words_word ON words(word);";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

  // Types the word over the query and searches; the article once it holds
  // Expected, or the last one read.
  std::string Lookup(const std::string& word, const std::string& expected) {
    Click(100, 20);
    Key("ctrl+a");
    Type(word);
    EnterQuery();
    return ArticleOnce([&](const std::string& t) { return t.find(expected) != std::string::npos; }, 15000);
  }

  // The caption of the search button (at 0, 88 of the panel at 8, 8;
  // 120 x 25), inside its frame, which a focus or a pointer over it changes.
  std::vector<unsigned char> SearchButton() { return Area(8 + 20, 96 + 5, 80, 15); }
  // The query box and the result list.
  std::vector<unsigned char> QueryAndList() { return Area(8, 8, 270, 400); }
};

// Milliseconds since Start.
long long since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST_F(Search, ASearchThatFindsNothingShowsStopAndTheButtonStopsIt) {
  // Many articles, none holding the word looked for: one dictionary of
  // articles, active under many names, so the search reads for seconds.
  Prepare();
  const auto big = Folder / "big-articles.data";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(big.c_str(), &db), SQLITE_OK);
  const std::string sql = std::string(kDictionaryTables) +
      "INSERT INTO properties VALUES('e2e', 'Articles', '', '1', 'en', '1', '', 'a', '', '2026', '0');"
      "BEGIN;"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<100000) "
      "INSERT INTO words(word) SELECT 'WORD' || i FROM n;"
      "INSERT INTO descriptions(ROWID, description) SELECT ROWID, "
      "'an article about ' || word || ', with some words in it, and a few more' FROM words;"
      "COMMIT;"
      "CREATE INDEX words_word ON words(word);";
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  for (int i = 0; i < 40; ++i)
    std::filesystem::create_symlink(big, Folder / "dictionaries" / ("articles-" + std::to_string(i) + ".tamrix"));
  Start();
  const std::vector<unsigned char> idle = SearchButton();
  // "дополнительно искать со словами", then the word, then "%" and Enter.
  Click(16, 54);
  Type("qqzzxx");
  auto search = [&] {
    Click(100, 20);
    Key("ctrl+a");
    Type("%");
    Key("Return");
    return std::chrono::steady_clock::now();
  };

  // Left to run, the search takes its time and ends with the button as it was.
  auto start = search();
  ASSERT_TRUE(e2e::WaitFor([&] { return SearchButton() != idle; }, 5000))
      << "the button never said стоп! during a search that finds nothing";
  ASSERT_TRUE(e2e::WaitFor([&] { return SearchButton() == idle; }, 120000));
  const long long whole = since(start);
  Screenshot("search-nothing-found");

  // Stopped with the button, it ends at once.
  start = search();
  ASSERT_TRUE(e2e::WaitFor([&] { return SearchButton() != idle; }, 5000));
  Screenshot("search-stop-shown");
  const auto click = std::chrono::steady_clock::now();
  Click(68, 108);
  Sh("xdotool mousemove --window " + std::to_string(Window) + " 400 300");
  ASSERT_TRUE(e2e::WaitFor([&] { return SearchButton() == idle; }, 120000));
  const long long stopped = since(click);
  EXPECT_LT(since(start), whole / 2 + 1000) << "stopped after " << stopped << " ms of a search of " << whole << " ms";
  EXPECT_LT(stopped, 1500) << "the search of " << whole << " ms took " << stopped << " ms to stop";
  std::printf("whole search %lld ms, stopped in %lld ms\n", whole, stopped);
  Screenshot("search-stopped");
}

TEST_F(Search, InTheBufferTwiceIsNoDoubleCopy) {
  Start();
  Click(100, 20);
  Type("fox");
  EnterQuery();
  const std::string a = ArticleOnce([](const std::string& t) { return t.rfind("FOX", 0) == 0; }, 15000);
  ASSERT_EQ(a.rfind("FOX", 0), 0u) << a.substr(0, 200);
  // A copy elsewhere, then "в буфер" twice (below the article view, as
  // Article clicks it).
  SetClipboard("-");
  Click(286 + 45, 8 + (600 - 80) - 52 + 12);
  ASSERT_TRUE(e2e::Await("the article in the clipboard", [&] { return Clipboard().rfind("FOX", 0) == 0; }));
  e2e::Settle(600);  // the copy seen by the program's clipboard watch too
  const std::vector<unsigned char> before = QueryAndList();
  Click(286 + 45, 8 + (600 - 80) - 52 + 12);
  e2e::Settle(1500);  // no search may follow the second copy
  EXPECT_EQ(Clipboard().rfind("FOX", 0), 0u);
  // The query box still holds the word and the list its results.
  EXPECT_TRUE(QueryAndList() == before) << "the second copy changed the query or the results";
  Screenshot("buffer-twice");
  // The same text copied twice in another program still searches.
  CopyTwice("wolf");
  const std::string b = ArticleOnce([](const std::string& t) { return t.rfind("WOLF", 0) == 0; }, 15000);
  EXPECT_EQ(b.rfind("WOLF", 0), 0u) << b.substr(0, 200);
}

TEST_F(Search, YoAfterAnEarlierYeIsFoundSpeltEitherWay) {
  AddYoDictionary();
  Start();
  std::string a = Lookup("зеленый", "green coloured");
  EXPECT_NE(a.find("green coloured"), std::string::npos) << a.substr(0, 200);
  a = Lookup("зелёный", "green coloured");
  EXPECT_NE(a.find("green coloured"), std::string::npos) << a.substr(0, 200);
  a = Lookup("ещё", "still more");
  EXPECT_NE(a.find("still more"), std::string::npos) << a.substr(0, 200);
  a = Lookup("еще", "still more");
  EXPECT_NE(a.find("still more"), std::string::npos) << a.substr(0, 200);
}
