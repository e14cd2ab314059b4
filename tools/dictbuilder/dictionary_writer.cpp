#include "tools/dictbuilder/dictionary_writer.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

#include "tools/dictbuilder/text.h"

namespace dictbuilder {
namespace {

// `word` is declared with NOCASE so that one index serves both the exact
// search (`word = ...`) and the prefix search (`word LIKE 'X%'`): SQLite's
// LIKE is case-insensitive and uses an index only when the index's collation
// is NOCASE. Headwords are stored upper-cased, so NOCASE equality finds
// exactly what binary equality would.
const char* const kSchema =
    "PRAGMA page_size=4096;"
    "CREATE TABLE words (word TEXT COLLATE NOCASE);"
    "CREATE TABLE descriptions (description TEXT);"
    "CREATE TABLE properties (author TEXT, full_caption TEXT, description TEXT,"
    " words_count INTEGER, languages TEXT, version TEXT, license TEXT,"
    " short_name TEXT, source TEXT, date TEXT, has_media INTEGER);"
    "CREATE TABLE multimedia (word_id INTEGER, internal_name TEXT, mm_content BLOB);";

}  // namespace

void SortArticles(std::vector<Article>& articles) {
  std::vector<std::pair<UTF8String, size_t>> keys;
  keys.reserve(articles.size());
  for (size_t i = 0; i < articles.size(); ++i) keys.emplace_back(HeadwordKey(articles[i].Headword), i);
  std::stable_sort(keys.begin(), keys.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Article> sorted;
  sorted.reserve(articles.size());
  for (auto& k : keys) sorted.push_back(std::move(articles[k.second]));
  articles = std::move(sorted);
}

DictionaryWriter::DictionaryWriter(const std::string& path) : FPath(path) {
  std::remove(path.c_str());
  // The destructor does not run for a constructor that throws: whatever was
  // opened so far (a failed open still hands back a handle) is closed here.
  try {
    if (sqlite3_open_v2(path.c_str(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK)
      fail("cannot create the dictionary file");
    exec(kSchema);
    exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;");
    if (sqlite3_prepare_v2(FDb, "INSERT INTO words(ROWID, word) VALUES(?, ?)", -1, &FInsertWord, nullptr) ||
        sqlite3_prepare_v2(FDb, "INSERT INTO descriptions(ROWID, description) VALUES(?, ?)", -1,
                           &FInsertDescription, nullptr) ||
        sqlite3_prepare_v2(FDb, "INSERT INTO multimedia(word_id, internal_name, mm_content) VALUES(?, ?, ?)",
                           -1, &FInsertMedia, nullptr))
      fail("cannot prepare the insert statements");
  } catch (...) {
    release();
    throw;
  }
}

DictionaryWriter::~DictionaryWriter() { release(); }

void DictionaryWriter::release() {
  sqlite3_finalize(FInsertWord);
  sqlite3_finalize(FInsertDescription);
  sqlite3_finalize(FInsertMedia);
  sqlite3_close(FDb);
  FInsertWord = FInsertDescription = FInsertMedia = nullptr;
  FDb = nullptr;
  // A writer dropped before Finish leaves no half-written dictionary behind.
  if (!FFinished) std::remove(FPath.c_str());
}

void DictionaryWriter::exec(const char* sql) {
  if (sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(sql);
}

void DictionaryWriter::fail(const char* what) {
  std::string message = FPath + ": " + what;
  if (FDb) message += std::string(": ") + sqlite3_errmsg(FDb);
  throw EDictBuilder(message.c_str());
}

int64_t DictionaryWriter::AddArticle(const Article& article) {
  const int64_t id = ++FCount;
  const UTF8String key = HeadwordKey(article.Headword);
  sqlite3_bind_int64(FInsertWord, 1, id);
  sqlite3_bind_text(FInsertWord, 2, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(FInsertWord) != SQLITE_DONE) fail("cannot insert a headword");
  sqlite3_reset(FInsertWord);
  sqlite3_bind_int64(FInsertDescription, 1, id);
  sqlite3_bind_text(FInsertDescription, 2, article.Description.data(),
                    static_cast<int>(article.Description.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(FInsertDescription) != SQLITE_DONE) fail("cannot insert an article");
  sqlite3_reset(FInsertDescription);
  return id;
}

void DictionaryWriter::AddMedia(int64_t wordId, const UTF8String& name, const std::string& content) {
  sqlite3_bind_int64(FInsertMedia, 1, wordId);
  sqlite3_bind_text(FInsertMedia, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  sqlite3_bind_blob(FInsertMedia, 3, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(FInsertMedia) != SQLITE_DONE) fail("cannot insert a media row");
  sqlite3_reset(FInsertMedia);
}

void DictionaryWriter::Finish(DictionaryProperties p) {
  if (p.WordCount == 0) p.WordCount = FCount;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(FDb, "INSERT INTO properties VALUES(?,?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr))
    fail("cannot prepare the properties row");
  const UTF8String* texts[] = {&p.Author, &p.FullCaption, &p.Description, nullptr, &p.Languages, &p.Version,
                               &p.License, &p.ShortName, &p.Source, &p.Date};
  for (int i = 0; i < 10; ++i) {
    if (texts[i])
      sqlite3_bind_text(st, i + 1, texts[i]->data(), static_cast<int>(texts[i]->size()), SQLITE_TRANSIENT);
  }
  sqlite3_bind_int64(st, 4, p.WordCount);
  sqlite3_bind_int(st, 11, p.HasMedia ? 1 : 0);
  const int rc = sqlite3_step(st);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) fail("cannot insert the properties row");
  // Built after the bulk insert, which is several times faster than keeping
  // the index up to date row by row.
  exec("CREATE INDEX words_word ON words(word);"
       "CREATE INDEX multimedia_word ON multimedia(word_id, internal_name);"
       "COMMIT; ANALYZE;");
  sqlite3_finalize(FInsertWord);
  sqlite3_finalize(FInsertDescription);
  sqlite3_finalize(FInsertMedia);
  FInsertWord = FInsertDescription = FInsertMedia = nullptr;
  if (sqlite3_close(FDb) != SQLITE_OK) fail("cannot close the dictionary file");
  FDb = nullptr;
  FFinished = true;
}

}  // namespace dictbuilder
