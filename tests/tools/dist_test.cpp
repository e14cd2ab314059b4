// Checks of the assembled dist/ folder: the sample dictionaries the build
// generates and the list that names them.
#include <filesystem>
#include <regex>

#include "platform/core/strings.h"
#include "tests/tools/test_util.h"
#include "tools/dictbuilder/demo.h"

namespace fs = std::filesystem;
using tooltest::Db;

namespace {

const std::string kDist = std::string(TAMRIX_DIST_DIR) + "/";

std::u16string alphabet(const std::string& name) {
  // "name: LETTERS\r\n" entries in UTF-16LE after the byte-order mark.
  const std::string raw = tooltest::ReadFile(kDist + "other/abc");
  std::u16string text;
  for (size_t i = 2; i + 1 < raw.size(); i += 2)
    text += static_cast<char16_t>(static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8));
  const std::u16string key = UTF8ToUTF16(name) + u": ";
  const size_t at = text.find(key);
  if (at == std::u16string::npos) return {};
  return text.substr(at + key.size(), text.find(u'\r', at) - at - key.size());
}

bool fits(const std::string& word, const std::u16string& letters) {
  for (char16_t c : UTF8ToUTF16(word))
    if (letters.find(c) == std::u16string::npos && c != u'%' && c != u'_') return false;
  return true;
}

double fittingShare(const Db& db, const std::u16string& letters) {
  size_t all = 0, fit = 0;
  for (const auto& r : db.Rows("SELECT word FROM words")) {
    if (r[0].find(' ') != std::string::npos) continue;  // cannot be a main word
    ++all;
    fit += fits(r[0], letters);
  }
  return all ? static_cast<double>(fit) / all : 0;
}

}  // namespace

TEST(Dist, ListNamesTheSampleDictionariesInSearchOrder) {
  EXPECT_EQ(tooltest::ReadFile(kDist + "dictionaries/dictionaries._"),
            "en-ru-mueller 1\r\nru-en-mueller 1\r\ndemo 1\r\n");
  for (const char* name : {"en-ru-mueller", "ru-en-mueller", "demo"}) {
    Db db(kDist + "dictionaries/" + name + ".tamrix");
    const auto props = db.Rows("SELECT * FROM properties");
    ASSERT_EQ(props.size(), 1u) << name;
    EXPECT_EQ(props[0].size(), 11u) << name;
    EXPECT_EQ(db.Value("SELECT words_count FROM properties"), db.Value("SELECT count(*) FROM words")) << name;
  }
  for (const char* f : {"other/settings", "other/abc", "other/vk", "other/nothing.html",
                        "other/about_dictionary.html", "help/template.css", "help/index.html"})
    EXPECT_TRUE(fs::exists(kDist + f)) << f;
  EXPECT_TRUE(fs::is_directory(kDist + "temp"));
}

TEST(Dist, EnglishRussianSearchesUseTheIndex) {
  Db db(kDist + "dictionaries/en-ru-mueller.tamrix");
  EXPECT_GT(std::stoi(db.Value("SELECT count(*) FROM words")), 40000);
  const std::string exact = "SELECT words.ROWID, words.word FROM words WHERE word=\"ABANDON\"";
  EXPECT_NE(db.Plan(exact).find("USING COVERING INDEX words_word (word=?)"), std::string::npos)
      << db.Plan(exact);
  const std::string prefix = "SELECT words.ROWID, words.word FROM words WHERE word LIKE \"ABA%\";";
  EXPECT_NE(db.Plan(prefix).find("USING COVERING INDEX words_word (word>? AND word<?)"), std::string::npos)
      << db.Plan(prefix);
  EXPECT_EQ(db.Rows(exact).size(), 1u);
  EXPECT_GT(db.Rows(prefix).size(), 10u);
  const std::string article = db.Value(
      "SELECT description FROM descriptions WHERE ROWID=(SELECT ROWID FROM words WHERE word='COLOUR')");
  for (const char* piece : {"<1>colour</1>", "<4>[", "<2>n.</2>", "<BR>", "<1>1)</1>"})
    EXPECT_NE(article.find(piece), std::string::npos) << piece;
  EXPECT_NE(db.Value("SELECT description FROM descriptions WHERE ROWID=(SELECT ROWID FROM words WHERE "
                     "word='COLOR')")
                .find("= <7>colour</7>"),
            std::string::npos);
  EXPECT_GT(fittingShare(db, alphabet("en")), 0.999);
}

TEST(Dist, RussianEnglishHeadwordsFitTheRussianAlphabet) {
  Db db(kDist + "dictionaries/ru-en-mueller.tamrix");
  EXPECT_GT(std::stoi(db.Value("SELECT count(*) FROM words")), 20000);
  EXPECT_EQ(fittingShare(db, alphabet("ru")), 1.0);
  // Words written with "ё" are stored under "Е", as the search looks them up.
  EXPECT_EQ(db.Value("SELECT count(*) FROM words WHERE word LIKE '%Ё%'"), "0");
  EXPECT_EQ(db.Value("SELECT substr(d.description, 1, 12) FROM words w, descriptions d WHERE "
                     "w.word=\"ЖЕЛОБ\" AND d.ROWID=w.ROWID"),
            "<1>жёлоб</1>");
  const std::string plan = db.Plan("SELECT words.ROWID, words.word FROM words WHERE word LIKE \"ЕЛ%\"");
  EXPECT_NE(plan.find("INDEX words_word"), std::string::npos) << plan;
}

TEST(Dist, DictionariesOpenInTheSqliteShell) {
  if (!fs::exists("/usr/bin/sqlite3")) GTEST_SKIP() << "sqlite3 shell not installed";
  const std::string cmd = "/usr/bin/sqlite3 -readonly '" + kDist +
                          "dictionaries/en-ru-mueller.tamrix' \"SELECT word FROM words WHERE word='RUN'\"";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[64] = {};
  const size_t n = fread(buf, 1, sizeof buf - 1, p);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(std::string(buf, n), "RUN\n");
}

TEST(DemoDictionary, EveryMediaReferenceHasItsRowAndEveryFormatIsThere) {
  tooltest::TempDir dir;
  dictbuilder::BuildDemoDictionary(dir / "demo.tamrix");
  Db db(dir / "demo.tamrix");
  EXPECT_EQ(db.Value("SELECT has_media FROM properties"), "1");
  const std::regex media("<5>([^<]*)</5>");
  std::string all;
  int references = 0;
  for (const auto& r : db.Rows("SELECT ROWID, description FROM descriptions")) {
    all += r[1];
    for (auto it = std::sregex_iterator(r[1].begin(), r[1].end(), media); it != std::sregex_iterator(); ++it) {
      ++references;
      EXPECT_EQ(db.Value("SELECT count(*) FROM multimedia WHERE word_id=" + r[0] + " AND internal_name=\"" +
                         (*it)[1].str() + "\""),
                "1")
          << "word " << r[0] << " media " << (*it)[1];
    }
  }
  EXPECT_GE(references, 8);
  for (const char* tag : {"<1>", "</1>", "<2>", "</2>", "<3>", "</3>", "<4>", "</4>", "<5>", "</5>", "<7>",
                          "</7>", "<9>", "&acute;"})
    EXPECT_NE(all.find(tag), std::string::npos) << tag;
  // Magic numbers of each format, and the PNG's colour type carries alpha.
  const auto blob = [&](const char* name) {
    return db.Value(std::string("SELECT hex(substr(mm_content, 1, 26)) FROM multimedia WHERE internal_name='") +
                    name + "' LIMIT 1");
  };
  EXPECT_EQ(blob("badge.png").substr(0, 16), "89504E470D0A1A0A");
  EXPECT_EQ(blob("badge.png").substr(50, 2), "06");  // RGBA
  EXPECT_EQ(blob("forest.jpg").substr(0, 4), "FFD8");
  EXPECT_EQ(blob("spinner.gif").substr(0, 12), "474946383961");
  EXPECT_EQ(blob("tiles.bmp").substr(0, 4), "424D");
  EXPECT_EQ(blob("bell.wav").substr(0, 8), "52494646");
  // Words with "ё" are found under "Е".
  EXPECT_EQ(db.Value("SELECT count(*) FROM words WHERE word IN ('ЕЖ', 'ЕЛКА', 'ЕЩЕ')"), "3");
}
