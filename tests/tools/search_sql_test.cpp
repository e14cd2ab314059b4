// The demo dictionary answers the statements the search and the completion
// build, with the description condition upper-casing through a registered
// function as the program registers it.
#include <sqlite3.h>

#include "platform/core/strings.h"
#include "tests/tools/test_util.h"
#include "tools/dictbuilder/demo.h"

namespace {

void myUpper(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* t = sqlite3_value_text(argv[0]);
  const UTF8String in = t ? reinterpret_cast<const char*>(t) : "";
  const UTF8String out = UTF16ToUTF8(AnsiUpperCase(UTF8ToUTF16(in)));
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

int collect(void* user, int, char** values, char**) {
  static_cast<std::vector<std::string>*>(user)->push_back(values[1] ? values[1] : "");
  return 0;
}

class SearchSql : public ::testing::Test {
protected:
  void SetUp() override {
    dictbuilder::BuildDemoDictionary(FDir / "demo.tamrix");
    ASSERT_EQ(sqlite3_open_v2((FDir / "demo.tamrix").c_str(), &FDb, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  }
  void TearDown() override { sqlite3_close(FDb); }

  std::vector<std::string> exec(const std::string& sql) {
    std::vector<std::string> words;
    EXPECT_EQ(sqlite3_exec(FDb, sql.c_str(), collect, &words, nullptr), SQLITE_OK) << sql;
    return words;
  }

  // Splits the query at blanks, folds "ё" in a Russian main word and builds
  // the statement of the search run.
  std::vector<std::string> search(const UTF8String& query) {
    std::vector<String> words;
    const String q = UTF8ToUTF16(query);
    for (size_t i = 0; i < q.size();) {
      String w(1, q[i++]);
      while (i < q.size() && q[i] != u' ') w += q[i++];
      ++i;
      words.push_back(w);
    }
    String main = words[0];
    bool russian = true;
    for (char16_t c : AnsiUpperCase(main))
      russian = russian && ((c >= u'А' && c <= u'Я') || c == u'Ё' || c == u'%' || c == u'_');
    if (russian)
      for (char16_t& c : main) c = c == u'ё' ? u'е' : c == u'Ё' ? u'Е' : c;
    const UTF8String w = UTF16ToUTF8(main);
    const bool like = w.find_first_of("%_") != std::string::npos;
    const std::string join = words.size() > 1 ? ", descriptions" : "";
    std::string sql = "SELECT words.ROWID, words.word FROM words" + join;
    if (w == "%") sql += " WHERE words.ROWID>0";
    else sql += " WHERE word" + std::string(like ? " LIKE " : "=") + "\"" + UTF16ToUTF8(AnsiUpperCase(main)) + "\"";
    if (words.size() > 1) {
      sql += " AND words.ROWID=descriptions.ROWID";
      sqlite3_create_function(FDb, "myUPPER", 1, SQLITE_UTF8, nullptr, myUpper, nullptr, nullptr);
      for (size_t k = 1; k < words.size(); ++k)
        sql += " AND myUPPER(description) LIKE myUPPER(\"%" + UTF16ToUTF8(words[k]) + "%\") ";
    }
    return exec(sql);
  }

  std::vector<std::string> complete(const UTF8String& text) {
    return exec("SELECT words.ROWID, words.word FROM words WHERE word LIKE \"" +
                UTF16ToUTF8(AnsiUpperCase(UTF8ToUTF16(text))) + "%\";");
  }

  using V = std::vector<std::string>;
  tooltest::TempDir FDir;
  sqlite3* FDb = nullptr;
};

}  // namespace

TEST_F(SearchSql, ExactPatternAndEveryWord) {
  EXPECT_EQ(search("Fox"), V{"FOX"});
  EXPECT_EQ(search("ёж"), V{"ЕЖ"});
  EXPECT_EQ(search("ЁЛКА"), V{"ЕЛКА"});
  EXPECT_EQ(search("еще"), V{"ЕЩЕ"});
  EXPECT_EQ(search("f_x"), V{"FOX"});
  EXPECT_EQ(search("%er"), V{"SPINNER"});
  EXPECT_EQ(search("%ll%"), (V{"BELL", "GALLERY"}));
  EXPECT_EQ(search("%").size(), 24u);
}

TEST_F(SearchSql, AdditionalWordsSelectByArticleTextInAnyCase) {
  EXPECT_EQ(search("% лесной"), (V{"BEAR", "FOX", "HEDGEHOG", "WOLF"}));
  EXPECT_EQ(search("% ЛЕСНОЙ мышей"), (V{"FOX", "HEDGEHOG"}));
  EXPECT_EQ(search("fox РЫЖИМ"), V{"FOX"});
  EXPECT_EQ(search("fox волк"), V{});
  // A one-letter additional word takes part like any other.
  EXPECT_EQ(search("ель ж"), V{"ЕЛЬ"});
}

TEST_F(SearchSql, CompletionListsHeadwordsByPrefix) {
  EXPECT_EQ(complete("b"), (V{"BADGE", "BEAR", "BELL", "BLUE"}));
  EXPECT_EQ(complete("ел"), (V{"ЕЛКА", "ЕЛЬ"}));
  EXPECT_EQ(complete("q"), V{});
}
