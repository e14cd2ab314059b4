#pragma once
// Writes a dictionary file: the headword, article, description and media
// tables the program reads, and the index its searches use.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace dictbuilder {

TAMRIX_DECLARE_EXCEPTION(EDictBuilder, Exception)

// The one row of the `properties` table. The program reads it by position,
// so the order of these members is the order of the columns.
struct DictionaryProperties {
  UTF8String Author;        // 0
  UTF8String FullCaption;   // 1: `full_caption`, the name shown for the dictionary
  UTF8String Description;   // 2
  int64_t WordCount = 0;    // 3
  UTF8String Languages;     // 4: alphabet names of the headwords, e.g. "en"
  UTF8String Version;       // 5
  UTF8String License;       // 6
  UTF8String ShortName;     // 7
  UTF8String Source;        // 8
  UTF8String Date;          // 9
  bool HasMedia = false;    // 10
};

// One article ready to be written.
struct Article {
  UTF8String Headword;     // as written; stored through HeadwordKey
  UTF8String Description;  // article text in the dictionary markup
};

// Sorts articles by their stored key (byte order) so that ROWID order is the
// alphabetical order; articles with equal keys keep their relative order.
void SortArticles(std::vector<Article>& articles);

class DictionaryWriter {
public:
  // Creates the file anew (an existing file is replaced).
  explicit DictionaryWriter(const std::string& path);
  ~DictionaryWriter();
  DictionaryWriter(const DictionaryWriter&) = delete;
  DictionaryWriter& operator=(const DictionaryWriter&) = delete;

  // Adds a headword and its article under the same ROWID and returns it.
  int64_t AddArticle(const Article& article);
  // Adds a media blob for the headword `wordId` under `name`.
  void AddMedia(int64_t wordId, const UTF8String& name, const std::string& content);
  // Writes the properties row (WordCount 0 is replaced by the headword count),
  // creates the index, commits and closes the file.
  void Finish(DictionaryProperties properties);

  int64_t ArticleCount() const { return FCount; }

private:
  void exec(const char* sql);
  [[noreturn]] void fail(const char* what);
  void release();

  sqlite3* FDb = nullptr;
  sqlite3_stmt* FInsertWord = nullptr;
  sqlite3_stmt* FInsertDescription = nullptr;
  sqlite3_stmt* FInsertMedia = nullptr;
  std::string FPath;
  int64_t FCount = 0;
  bool FFinished = false;
};

}  // namespace dictbuilder
