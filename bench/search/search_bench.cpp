// Times the statements of a search run directly in SQLite: an exact match,
// a prefix match, the "%" scan of every headword and a search with two
// additional words (the article text filtered through an upper-casing SQL
// function). These are the reference figures for the program's own search,
// which adds the result tree and message pumping on top.
//
//   bench_search [DICTIONARY]
//
// Without an argument the million-headword dictionary beside the executable
// is used, built first when it is missing (scripts/deps --bench installs the
// word lists it draws real headwords from).
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/core/strings.h"
#include "tools/dictbuilder/bench_data.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

size_t gRows = 0;
size_t gChars = 0;

// What the program's row callback does with the engine's row, short of
// adding a tree node: read the id and decode the headword.
int rowCallback(void*, int, char** values, char**) {
  gChars += UTF8ToUTF16(values[1] ? values[1] : "").size() + (values[0] ? 1 : 0);
  ++gRows;
  return 0;
}

void myUpper(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const UTF8String up = UTF16ToUTF8(AnsiUpperCase(UTF8ToUTF16(text ? text : "")));
  sqlite3_result_text(ctx, up.data(), static_cast<int>(up.size()), SQLITE_TRANSIENT);
}

struct Timing {
  double Ms = 0;   // per statement
  double Rows = 0; // per statement
};

Timing runAll(sqlite3* db, const std::vector<std::string>& statements, int repeat) {
  std::vector<double> times;
  size_t rows = 0;
  for (int r = 0; r < repeat; ++r) {
    gRows = 0;
    const auto start = Clock::now();
    for (const auto& sql : statements) sqlite3_exec(db, sql.c_str(), rowCallback, nullptr, nullptr);
    times.push_back(msSince(start));
    rows = gRows;
  }
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2] / statements.size(), static_cast<double>(rows) / statements.size()};
}

std::string select(const std::string& where, bool joinDescriptions = false) {
  return std::string("SELECT words.ROWID, words.word FROM words") + (joinDescriptions ? ", descriptions" : "") +
         " WHERE " + where;
}

std::string additional(const std::vector<std::string>& words) {
  std::string sql = " AND words.ROWID=descriptions.ROWID";
  for (const auto& w : words) sql += " AND myUPPER(description) LIKE myUPPER(\"%" + w + "%\") ";
  return sql;
}

double shellMs(const std::string& path, const std::string& sql) {
  if (!std::filesystem::exists("/usr/bin/sqlite3")) return -1;
  const std::string cmd = "/usr/bin/sqlite3 -readonly '" + path + "' '" + sql + "' > /dev/null";
  const auto start = Clock::now();
  if (std::system(cmd.c_str()) != 0) return -1;
  return msSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : BENCH_DICTIONARY;
  if (!std::filesystem::exists(path)) {
    if (argc > 1) {
      std::fprintf(stderr, "bench_search: %s does not exist\n", path.c_str());
      return 1;
    }
    std::printf("building %s ...\n", path.c_str());
    const auto start = Clock::now();
    const auto info =
        dictbuilder::BuildBenchDictionary(path, 1000000, dictbuilder::DefaultBenchWordLists());
    std::printf("built in %.1f s: %zu real and %zu generated headwords\n", msSince(start) / 1000, info.RealWords,
                info.GeneratedWords);
  }

  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "bench_search: cannot open %s\n", path.c_str());
    return 1;
  }
  sqlite3_create_function(db, "myUPPER", 1, SQLITE_UTF8, nullptr, myUpper, nullptr, nullptr);

  // Sample headwords spread over the dictionary, and two article words:
  // one frequent, one of middling frequency.
  std::vector<std::string> sample;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT word FROM words WHERE ROWID % 5000 = 17 AND word NOT LIKE '% %'", -1, &st,
                     nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) sample.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  long long count = 0;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM words", -1, &st, nullptr);
  if (sqlite3_step(st) == SQLITE_ROW) count = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  std::printf("dictionary: %s (%lld headwords, %.0f MB)\n", path.c_str(), count,
              std::filesystem::file_size(path) / 1048576.0);
  if (sample.empty()) return 1;

  std::vector<std::string> exact, prefix2, prefix3;
  for (const auto& w : sample) {
    exact.push_back(select("word=\"" + w + "\""));
    const std::u16string w16 = UTF8ToUTF16(w);
    prefix2.push_back(select("word LIKE \"" + UTF16ToUTF8(w16.substr(0, 2)) + "%\";"));
    prefix3.push_back(select("word LIKE \"" + UTF16ToUTF8(w16.substr(0, 3)) + "%\";"));
  }

  // Warm the page cache so that every figure measures the engine, not the disk.
  runAll(db, {select("words.ROWID>0")}, 1);

  const Timing e = runAll(db, exact, 5);
  std::printf("exact match            %10.4f ms/query  %8.1f rows  (%zu words)\n", e.Ms, e.Rows, exact.size());
  const Timing p3 = runAll(db, prefix3, 3);
  std::printf("prefix match, 3 letters%10.4f ms/query  %8.1f rows\n", p3.Ms, p3.Rows);
  const Timing p2 = runAll(db, prefix2, 3);
  std::printf("prefix match, 2 letters%10.4f ms/query  %8.1f rows\n", p2.Ms, p2.Rows);
  const std::string all = select("words.ROWID>0");
  const Timing a = runAll(db, {all}, 3);
  const double shell = shellMs(path, all);
  std::printf("\"%%\" scan               %10.1f ms        %8.0f rows", a.Ms, a.Rows);
  if (shell > 0) std::printf("   sqlite3 shell, same statement: %.1f ms (ratio %.2f)", shell, a.Ms / shell);
  std::printf("\n");

  // Two additional words: the most frequent article word and the tenth,
  // counted over a sample of articles.
  std::map<std::string, int> counts;
  sqlite3_prepare_v2(db, "SELECT description FROM descriptions WHERE ROWID % 500 = 0", -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) {
    const std::string text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    // Article words stand after "1)</1> " and ", ", up to "," or "<".
    for (size_t at = 0; (at = text.find_first_of(",)", at)) != std::string::npos;) {
      at += text.compare(at, 6, ")</1> ") == 0 ? 6 : 2;
      const size_t end = text.find_first_of(",<", at);
      if (end == std::string::npos || end == at) continue;
      ++counts[text.substr(at, end - at)];
    }
  }
  sqlite3_finalize(st);
  std::vector<std::pair<int, std::string>> ranked;
  for (const auto& [w, n] : counts) ranked.emplace_back(-n, w);
  std::sort(ranked.begin(), ranked.end());
  const std::vector<std::string> frequent =
      ranked.size() > 10 ? std::vector<std::string>{ranked[0].second, ranked[9].second}
                         : std::vector<std::string>{"a", "e"};
  const Timing x = runAll(db, {select("words.ROWID>0", true) + additional(frequent)}, 1);
  std::printf("\"%%\" + two additional words (%s, %s) %10.1f ms  %8.0f rows\n", frequent[0].c_str(),
              frequent[1].c_str(), x.Ms, x.Rows);
  const std::string pre = UTF16ToUTF8(UTF8ToUTF16(sample[sample.size() / 2]).substr(0, 1));
  const Timing y = runAll(db, {select("word LIKE \"" + pre + "%\"", true) + additional(frequent)}, 3);
  std::printf("\"%s%%\" + the same two words %10.1f ms  %8.0f rows\n", pre.c_str(), y.Ms, y.Rows);
  sqlite3_close(db);
  return gChars == 0;  // keeps the decoding from being optimised away
}
