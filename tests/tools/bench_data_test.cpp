// The large benchmark dictionary: it must reach the asked headword count
// whatever word lists happen to be installed.
#include "tools/dictbuilder/bench_data.h"

#include "tests/tools/test_util.h"

using tooltest::Db;
using tooltest::TempDir;

TEST(BenchDictionary, ReachesTheCountWithoutAnyInstalledWords) {
  TempDir dir;
  const std::string empty = dir / "empty.txt";
  tooltest::WriteFile(empty, "");
  // More headwords than the built-in fallback models can make as single
  // words: the builder has to go on to compounds instead of looping.
  const size_t count = 40000;
  const auto info = dictbuilder::BuildBenchDictionary(dir / "bench.tamrix", count, {empty});
  EXPECT_EQ(info.RealWords, 0u);
  EXPECT_EQ(info.GeneratedWords, count);
  Db db(dir / "bench.tamrix");
  EXPECT_EQ(db.Value("SELECT count(*) FROM words"), std::to_string(count));
  EXPECT_EQ(db.Value("SELECT count(DISTINCT word) FROM words"), std::to_string(count));
  EXPECT_EQ(db.Value("SELECT count(*) FROM descriptions WHERE length(description) > 0"), std::to_string(count));
}

TEST(BenchDictionary, TinyModelsAndListsWithoutPlainWords) {
  TempDir dir;
  // One short word per alphabet gives models that know a single word each;
  // the other words hold digits and so give the articles nothing to use.
  const std::string odd = dir / "odd.index", list = dir / "list.index";
  tooltest::WriteFile(odd, "r2d2\tA\tB\nc-3po\tA\tB\n");
  tooltest::WriteFile(list, "ab\tA\tB\nаб\tA\tB\nr2d2\tA\tB\nc-3po\tA\tB\n");
  const auto few = dictbuilder::BuildBenchDictionary(dir / "few.tamrix", 2, {odd});
  EXPECT_EQ(few.RealWords, 2u);
  EXPECT_FALSE(few.FrequentWords.empty());
  Db fewDb(dir / "few.tamrix");
  EXPECT_EQ(fewDb.Value("SELECT count(*) FROM descriptions WHERE description LIKE '%R2D2%' OR description LIKE "
                        "'%C-3PO%'"), "2");
  const auto many = dictbuilder::BuildBenchDictionary(dir / "many.tamrix", 3000, {list});
  EXPECT_EQ(many.RealWords, 4u);
  EXPECT_EQ(many.GeneratedWords, 2996u);
  Db db(dir / "many.tamrix");
  EXPECT_EQ(db.Value("SELECT count(DISTINCT word) FROM words"), "3000");
}
