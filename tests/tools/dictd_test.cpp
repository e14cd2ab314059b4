#include <zlib.h>

#include "tests/tools/test_util.h"
#include "tools/dictbuilder/dictd_build.h"
#include "tools/dictbuilder/dictd_markup.h"
#include "tools/dictbuilder/dictd_reader.h"

using namespace dictbuilder;
using tooltest::Db;
using tooltest::TempDir;

namespace {

std::string dictdNumber(uint64_t v) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string s;
  do {
    s.insert(s.begin(), digits[v % 64]);
    v /= 64;
  } while (v);
  return s;
}

void writeGzip(const std::string& path, const std::string& data) {
  gzFile f = gzopen(path.c_str(), "wb");
  gzwrite(f, data.data(), static_cast<unsigned>(data.size()));
  gzclose(f);
}

// Writes an index and a gzip-compressed data file for the given entries.
void writeDictd(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string data, index;
  for (const auto& [word, text] : entries) {
    index += word + "\t" + dictdNumber(data.size()) + "\t" + dictdNumber(text.size()) + "\n";
    data += text;
  }
  tooltest::WriteFile(dir / "d.index", index);
  writeGzip(dir / "d.dict.dz", data);
}

const char* const kRun =
    "run\n"
    "   [r\u028cn]\n"
    "   1. _n.\n"
    "      1) \u0431\u0435\u0433, \u043f\u0440\u043e\u0431\u0435\u0433; at a run \u0431\u0435\u0433\u043e\u043c\n"
    "      10)_\u043c\u0443\u0437. \u0440\u0443\u043b\u0430\u0434\u0430\n"
    "   2. _v. (ran - run)\n"
    "      1) \u0431\u0435\u0436\u0430\u0442\u044c; \u0431\u0435\u0433\u0430\u0442\u044c\n"
    "      2) \u0442\u0435\u0447\u044c; run over\n"
    "         \u0430) \u043f\u0435\u0440\u0435\u043b\u0438\u0432\u0430\u0442\u044c\u0441\u044f;\n"
    "         \u0431) \u0441\u043c. riot 1, 3\n";

}  // namespace

TEST(DictdReader, DecodesNumbersAndReadsCompressedData) {
  uint64_t v = 0;
  EXPECT_TRUE(DecodeDictdNumber("B", v));
  EXPECT_EQ(v, 1u);
  EXPECT_TRUE(DecodeDictdNumber("BA", v));
  EXPECT_EQ(v, 64u);
  EXPECT_TRUE(DecodeDictdNumber("/", v));
  EXPECT_EQ(v, 63u);
  EXPECT_FALSE(DecodeDictdNumber("", v));
  EXPECT_FALSE(DecodeDictdNumber("A-B", v));

  TempDir dir;
  writeDictd(dir, {{"00-database-short", "00-database-short\n     Test dictionary\n"},
                   {"00-database-url", "00-database-url\n  somewhere\n"},
                   {"cat", "cat\n   \u043a\u043e\u0442\n"},
                   {"dog", "dog\n   \u043f\u0451\u0441\n"}});
  const DictdDictionary d = ReadDictd(dir / "d.index", dir / "d.dict.dz");
  EXPECT_EQ(d.ShortName, "Test dictionary");
  ASSERT_EQ(d.Entries.size(), 2u);
  EXPECT_EQ(d.Entries[1].Headword, "dog");
  EXPECT_EQ(d.Entries[1].Text, "dog\n   \u043f\u0451\u0441\n");
}

TEST(DictdReader, MalformedInputFailsNamingFileAndLine) {
  TempDir dir;
  writeGzip(dir / "d.dict.dz", "cat\n   text\n");
  const struct {
    const char* Index;
    const char* Message;
  } cases[] = {
      {"cat\tA\tM\nbroken line\n", "d.index:2: expected three tab-separated fields"},
      {"cat\tA\tM\ndog\tA-\tB\n", "d.index:2: bad offset field"},
      {"cat\tA\t\n", "d.index:1: bad length field"},
      {"cat\tA\tZZZ\n", "d.index:1: entry lies outside the data file"},
      {"cat\tZZZZZZ\tB\n", "d.index:1: entry lies outside the data file"},
      {"\tA\tB\n", "d.index:1: empty headword"},
      {"", "the index lists no entries"},
  };
  for (const auto& c : cases) {
    tooltest::WriteFile(dir / "d.index", c.Index);
    try {
      ReadDictd(dir / "d.index", dir / "d.dict.dz");
      ADD_FAILURE() << "accepted: " << c.Index;
    } catch (const EDictBuilder& e) {
      EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(ReadDictd(dir / "missing.index", dir / "d.dict.dz"), EDictBuilder);
  tooltest::WriteFile(dir / "d.index", "cat\tA\tB\n");
  EXPECT_THROW(ReadDictd(dir / "d.index", dir / "missing.dict.dz"), EDictBuilder);
}

TEST(DictdMarkup, ConvertsStructureTranscriptionAbbreviationsAndLinks) {
  const std::string m = ConvertDictdArticle(kRun);
  EXPECT_EQ(m.rfind("<1>run</1> <4>[r\u028cn]</4>", 0), 0u) << m;
  EXPECT_NE(m.find("<BR><1>1.</1> <2>n.</2>"), std::string::npos) << m;
  EXPECT_NE(m.find("<1>1)</1> \u0431\u0435\u0433, \u043f\u0440\u043e\u0431\u0435\u0433; at a run"),
            std::string::npos)
      << m;
  // A sense number glued to an abbreviation.
  EXPECT_NE(m.find("<1>10)</1> <2>\u043c\u0443\u0437.</2> \u0440\u0443\u043b\u0430\u0434\u0430"),
            std::string::npos)
      << m;
  EXPECT_NE(m.find("<BR>\u00A0\u00A0\u00A0\u00A0\u00A0\u00A0\u0430) "), std::string::npos) << m;
  EXPECT_NE(m.find("\u0441\u043c. <7>riot</7> 1, 3"), std::string::npos) << m;
  // A reference to a prefix entry keeps its hyphen; a word-final hyphen
  // before another word does not start a longer target.
  EXPECT_EQ(ConvertDictdArticle("w\n   \u0441\u043c. com-; = in- x\n"),
            "<1>w</1> \u0441\u043c. <7>com-</7>; = <7>in-</7> x");
  EXPECT_EQ(ConvertDictdArticle("w\n   = well-known\n"), "<1>w</1> = <7>well-known</7>");
  EXPECT_EQ(m.find('\n'), std::string::npos);
}

TEST(DictdMarkup, TrickyArticles) {
  // Homonyms, a stress mark, escaping of characters that would be markup,
  // a hyphenated abbreviation, a reference after "=", a word hyphenated
  // across lines and a continuation line at the left margin.
  const std::string m = ConvertDictdArticle(
      "A\n   a\n   _I  [\u025b\u026a] _ж-д. x\n      1) <b> & \"q\" (= and)\n"
      "   _II [\u025c\u2197b\u00e6k] \u0441\u0435\u0432\u0435\u0440\u043e-\n"
      "\u0432\u043e\u0441\u0442\u043e\u043a; _Irish bread\n");
  EXPECT_EQ(m.rfind("<1>A</1> a<9><1>I</1> <4>[\u025b\u026a]</4> <2>\u0436-\u0434.</2> x", 0), 0u) << m;
  EXPECT_NE(m.find("&lt;b&gt; &amp; \"q\" (= <7>and</7>)"), std::string::npos) << m;
  // Stress arrows and the stand-in letters become the usual phonetic signs.
  EXPECT_NE(m.find("<9><1>II</1> <4>[\u0259\u02c8b\u00e6k]</4>"), std::string::npos) << m;
  EXPECT_EQ(ConvertDictdArticle("w\n   [\u2198b\u0258:l]\n"), "<1>w</1> <4>[\u02ccb\u0254:l]</4>");
  EXPECT_NE(m.find("\u0441\u0435\u0432\u0435\u0440\u043e-\u0432\u043e\u0441\u0442\u043e\u043a"),
            std::string::npos)
      << m;
  // "_Irish" is an abbreviation-like label, not a homonym number.
  EXPECT_NE(m.find("<2>Irish</2> bread"), std::string::npos) << m;
  // An unclosed bracket stays text; no transcription tag is opened.
  EXPECT_EQ(ConvertDictdArticle("w\n   [abc and more\n"), "<1>w</1> [abc and more");
  EXPECT_EQ(ConvertDictdArticle(""), "");
}

TEST(DictdMarkup, TranslationsSkipExamplesAndLabels) {
  const auto t = ExtractTranslations(kRun);
  std::vector<std::string> words;
  for (const auto& x : t) words.push_back(x.Russian + "/" + x.Pos);
  // "бегом" belongs to the example "at a run", "рулада" carries a label
  // that is cut off, and "переливаться" is a sub-sense.
  EXPECT_EQ(words, (std::vector<std::string>{
                       "\u0431\u0435\u0433/n.", "\u043f\u0440\u043e\u0431\u0435\u0433/n.",
                       "\u0440\u0443\u043b\u0430\u0434\u0430/n.", "\u0431\u0435\u0436\u0430\u0442\u044c/v.",
                       "\u0431\u0435\u0433\u0430\u0442\u044c/v.", "\u0442\u0435\u0447\u044c/v.",
                       "\u043f\u0435\u0440\u0435\u043b\u0438\u0432\u0430\u0442\u044c\u0441\u044f/v."}));
}

TEST(DictdBuild, BuildsBothDictionariesFromDictdFiles) {
  TempDir dir;
  writeDictd(dir, {{"00-database-short", "00-database-short\n  Small\n"},
                   {"_n.", "_n.\n   noun \u0441\u0443\u0449\u0435\u0441\u0442\u0432\u0438\u0442\u0435\u043b\u044c\u043d\u043e\u0435\n"},
                   {"run", kRun},
                   {"fir", "fir\n   [f\u025c:] _n. \u0451\u043b\u043a\u0430, \u043f\u0438\u0445\u0442\u0430\n"},
                   {"spruce", "spruce\n   _n. \u0435\u043b\u044c; \u0451\u043b\u043a\u0430\n"},
                   {"colour, color", "colour, color\n   _n. \u0446\u0432\u0435\u0442\n"},
                   {"ad hoc", "ad hoc\n   _a. \u0441\u043f\u0435\u0446\u0438\u0430\u043b\u044c\u043d\u044b\u0439\n"},
                   // The header section's abbreviations under Cyrillic keys.
                   {"\u0431\u0443\u043a\u0432.", "\u0431\u0443\u043a\u0432.\n   \u0431\u0443\u043a\u0432\u0430\u043b\u044c\u043d\u043e\n"},
                   {"\u0433\u043b. \u043e\u0431\u0440.", "\u0433\u043b. \u043e\u0431\u0440.\n   \u0433\u043b\u0430\u0432\u043d\u044b\u043c \u043e\u0431\u0440\u0430\u0437\u043e\u043c\n"}});
  const auto r = BuildFromDictd(dir / "d.index", dir / "d.dict.dz", dir / "en.tamrix", dir / "ru.tamrix");
  // The abbreviation entries are not headwords; spelling variants are two.
  EXPECT_EQ(r.EnglishArticles, 6u);

  Db en(dir / "en.tamrix");
  EXPECT_EQ(en.Value("SELECT group_concat(word, '|') FROM (SELECT word FROM words ORDER BY ROWID)"),
            "AD HOC|COLOR|COLOUR|FIR|RUN|SPRUCE");
  EXPECT_EQ(en.Value("SELECT count(DISTINCT d.description) FROM words w, descriptions d WHERE "
                     "w.word IN ('COLOR', 'COLOUR') AND d.ROWID=w.ROWID"),
            "1");
  EXPECT_EQ(en.Value("SELECT languages FROM properties"), "en");
  EXPECT_EQ(en.Value("SELECT words_count FROM properties"), "6");
  EXPECT_EQ(en.Value("SELECT source FROM properties"), "Small");

  Db ru(dir / "ru.tamrix");
  EXPECT_EQ(ru.Value("SELECT languages FROM properties"), "ru");
  // "ёлка" comes from two English words and is stored under the folded key.
  const std::string d = ru.Value(
      "SELECT d.description FROM words w, descriptions d WHERE w.word=\"\u0415\u041b\u041a\u0410\" AND "
      "d.ROWID=w.ROWID");
  EXPECT_EQ(d, "<1>\u0451\u043b\u043a\u0430</1><BR><1>1)</1> <7>fir</7> <2>n.</2><BR><1>2)</1> <7>spruce</7> "
               "<2>n.</2>");
  // A phrase is listed without a link: a blank in a link would split the query.
  EXPECT_EQ(ru.Value("SELECT d.description FROM words w, descriptions d WHERE w.word LIKE \"\u0421\u041f\u0415%\" "
                     "AND d.ROWID=w.ROWID"),
            "<1>\u0441\u043f\u0435\u0446\u0438\u0430\u043b\u044c\u043d\u044b\u0439</1><BR><1>1)</1> ad hoc <2>a.</2>");
  EXPECT_EQ(ru.Value("SELECT count(*) FROM words w JOIN descriptions d ON d.ROWID=w.ROWID"),
            ru.Value("SELECT count(*) FROM words"));
}
