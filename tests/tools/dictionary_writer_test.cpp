#include "tools/dictbuilder/dictionary_writer.h"

#include <filesystem>

#include "tests/tools/test_util.h"
#include "tools/dictbuilder/text.h"

using namespace dictbuilder;
using tooltest::Db;
using tooltest::TempDir;

namespace {

std::string writeSample(const TempDir& dir) {
  const std::string path = dir / "sample.tamrix";
  std::vector<Article> articles = {
      {"ёлка", "<1>ёлка</1> fir"},       {"Straße", "street"}, {"abandon", "покидать"},
      {"жёлоб", "chute"},                {"елка", "the same key as ёлка"},
      {"Abandon", "a second article"},   {"über", "over"},
  };
  SortArticles(articles);
  DictionaryWriter w(path);
  for (const auto& a : articles) {
    const int64_t id = w.AddArticle(a);
    if (a.Headword == "abandon") w.AddMedia(id, "pic.png", std::string("\x89PNG\0\x01", 6));
    else for (const char* name : {"a.jpg", "b.gif"}) w.AddMedia(id, name, name);
  }
  DictionaryProperties p;
  p.Author = "author";
  p.FullCaption = "Caption";
  p.Description = "description";
  p.Languages = "en ru";
  p.Version = "5";
  p.License = "license";
  p.ShortName = "short";
  p.Source = "source";
  p.Date = "date";
  p.HasMedia = true;
  w.Finish(p);
  return path;
}

}  // namespace

TEST(HeadwordKey, UpperCasesLatinCyrillicAndFoldsYo) {
  EXPECT_EQ(HeadwordKey("abandon"), "ABANDON");
  EXPECT_EQ(HeadwordKey("жёлоб"), "ЖЕЛОБ");
  EXPECT_EQ(HeadwordKey("ЁЛКА"), "ЕЛКА");
  EXPECT_EQ(HeadwordKey("über-cool's"), "ÜBER-COOL'S");
  // One-to-one mapping: the length never changes, so "ß" stays.
  EXPECT_EQ(HeadwordKey("straße"), "STRAßE");
  EXPECT_EQ(HeadwordKey("ѣ і ґ"), "Ѣ І Ґ");
}

TEST(DictionaryWriter, WritesTheFourTablesWithPairedRowids) {
  TempDir dir;
  Db db(writeSample(dir));
  for (const char* table : {"words", "descriptions", "properties", "multimedia"})
    EXPECT_EQ(db.Value(std::string("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='") + table +
                       "'"),
              "1")
        << table;
  EXPECT_EQ(db.Value("SELECT count(*) FROM words"), "7");
  EXPECT_EQ(db.Value("SELECT count(*) FROM descriptions"), "7");
  // Every headword's article is the description with the same ROWID.
  EXPECT_EQ(db.Value("SELECT count(*) FROM words w JOIN descriptions d ON d.ROWID = w.ROWID"), "7");
  EXPECT_EQ(db.Value("SELECT d.description FROM words w, descriptions d WHERE w.word='ЖЕЛОБ' AND "
                     "d.ROWID=w.ROWID"),
            "chute");
  // Keys are upper-cased and sorted, ROWID order is alphabetical, equal keys
  // keep both articles.
  const auto rows = db.Rows("SELECT ROWID, word FROM words ORDER BY ROWID");
  std::vector<std::string> words;
  for (const auto& r : rows) words.push_back(r[1]);
  EXPECT_EQ(words, (std::vector<std::string>{"ABANDON", "ABANDON", "STRAßE", "ÜBER", "ЕЛКА", "ЕЛКА", "ЖЕЛОБ"}));
  EXPECT_EQ(rows.front()[0], "1");
  // Media rows belong to the headword's ROWID.
  EXPECT_EQ(db.Value("SELECT w.word FROM multimedia m JOIN words w ON w.ROWID = m.word_id "
                     "WHERE internal_name='pic.png'"),
            "ABANDON");
  EXPECT_EQ(db.Value("SELECT length(mm_content) FROM multimedia WHERE internal_name='pic.png'"), "6");
  EXPECT_EQ(db.Value("SELECT DISTINCT typeof(mm_content) FROM multimedia"), "blob");
}

TEST(DictionaryWriter, PropertiesRowReadsByPositionAndNamesFullCaption) {
  TempDir dir;
  Db db(writeSample(dir));
  // The program reads "SELECT * FROM properties" by position.
  const auto rows = db.Rows("SELECT * FROM properties");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"author", "Caption", "description", "7", "en ru", "5", "license",
                                               "short", "source", "date", "1"}));
  EXPECT_EQ(db.Value("SELECT full_caption FROM properties"), "Caption");
}

TEST(DictionaryWriter, ExactPrefixAndMediaLookupsUseIndexes) {
  TempDir dir;
  Db db(writeSample(dir));
  // The statements as the program writes them, double-quoted words included.
  const std::string exact = db.Plan("SELECT words.ROWID, words.word FROM words WHERE word=\"ЖЕЛОБ\"");
  EXPECT_NE(exact.find("INDEX words_word (word=?)"), std::string::npos) << exact;
  for (const char* prefix : {"AB%", "ЖЕ%", "Ü%"}) {
    const std::string plan =
        db.Plan(std::string("SELECT words.ROWID, words.word FROM words WHERE word LIKE \"") + prefix + "\";");
    EXPECT_NE(plan.find("INDEX words_word (word>? AND word<?)"), std::string::npos) << prefix << "\n" << plan;
  }
  const std::string media =
      db.Plan("SELECT mm_content FROM multimedia WHERE word_id=1 AND internal_name=\"pic.png\";");
  EXPECT_NE(media.find("INDEX multimedia_word"), std::string::npos) << media;
  // The prefix search finds the Cyrillic rows it should, through the index.
  EXPECT_EQ(db.Value("SELECT count(*) FROM words WHERE word LIKE \"ЕЛ%\""), "2");
  EXPECT_EQ(db.Value("SELECT count(*) FROM words WHERE word = \"ЕЛКА\""), "2");
}

TEST(DictionaryWriter, AbandonedWriterLeavesNoFile) {
  TempDir dir;
  const std::string path = dir / "half.tamrix";
  {
    DictionaryWriter w(path);
    w.AddArticle({"word", "text"});
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

// The failed open hands back a handle that must still be closed (the
// sanitizer run reports the leak otherwise).
TEST(DictionaryWriter, UnwritablePlaceFailsWithItsPath) {
  TempDir dir;
  const std::string path = dir / "missing/x.tamrix";
  try {
    DictionaryWriter w(path);
    FAIL() << "a dictionary in a missing folder was created";
  } catch (const EDictBuilder& e) {
    EXPECT_NE(std::string(e.what()).find("missing/x.tamrix"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DictionaryWriter, ReplacesAnExistingFile) {
  TempDir dir;
  const std::string path = dir / "x.tamrix";
  tooltest::WriteFile(path, "not a database");
  {
    DictionaryWriter w(path);
    w.AddArticle({"word", "text"});
    w.Finish({});
  }
  Db db(path);
  EXPECT_EQ(db.Value("SELECT words_count FROM properties"), "1");
}

TEST(DictionaryWriter, UnwritableFolderFailsClearly) {
  try {
    DictionaryWriter w("/nonexistent-folder/x.tamrix");
    FAIL() << "no exception";
  } catch (const EDictBuilder& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/x.tamrix"), std::string::npos) << e.what();
  }
}
