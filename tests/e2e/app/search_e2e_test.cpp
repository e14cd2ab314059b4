// Searches a user makes in a dictionary of their own: headwords written with
// "Ё" after an earlier "Е", found whichever way the word is typed.
#include <sqlite3.h>

#include "tests/e2e/app/app_e2e_support.h"

namespace {

class Search : public e2e::Program {
protected:
  // A dictionary of the user's beside the shipped ones: the rescan at start
  // puts it at the top of the list, active.
  void AddYoDictionary() {
    Prepare();
    const auto file = Folder / "dictionaries" / "yo-words.tamrix";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    const char* sql =
        "CREATE TABLE words(word TEXT COLLATE NOCASE);"
        "CREATE TABLE descriptions(description TEXT);"
        "CREATE TABLE multimedia(word_id INTEGER, internal_name TEXT, mm_content BLOB);"
        "CREATE TABLE properties(author, full_caption, description, words, languages, version, licence, short,"
        " source, date, media);"
        "INSERT INTO properties VALUES('e2e', 'Yo words', '', '3', 'ru', '1', '', 'yo', '', '2026', '0');"
        "INSERT INTO words VALUES('ЕЩЁ'), ('ЗЕЛЁНЫЙ'), ('ЗЕЛЕНЬ');"
        "INSERT INTO descriptions VALUES('still more'), ('green coloured'), ('garden greens');"
        "CREATE INDEX words_word ON words(word);";
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

  // Types the word and presses Enter until the article holds Expected:
  // xdotool types a Cyrillic letter by remapping a key for it, which a
  // loaded machine can garble.
  std::string Lookup(const std::string& word, const std::string& expected) {
    std::string a;
    for (int attempt = 0; attempt < 3; ++attempt) {
      Click(100, 20);
      Key("ctrl+a");
      Type(word);
      Key("Return");
      a = ArticleOnce([&](const std::string& t) { return t.find(expected) != std::string::npos; }, 5000);
      if (a.find(expected) != std::string::npos) break;
    }
    return a;
  }
};

}  // namespace

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
