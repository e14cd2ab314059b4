#pragma once
// A program folder built by code for the application tests: the data files
// beside the executable and small dictionaries written through the engine.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "db/utf8_convert.h"
#include "platform/core/files_temporary.h"
#include "platform/core/types.h"

namespace apptest {

inline void writeFile(const std::filesystem::path& p, const std::string& content) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
}

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The temporary files (of any writer of the program) in a folder.
inline std::vector<std::string> temporariesIn(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    if (IsOwnTemporaryName(e.path().filename().c_str())) found.push_back(e.path().filename().string());
  return found;
}

// UTF-16 little-endian with a byte-order mark.
inline std::string utf16File(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out += char(c & 0xFF);
    out += char(c >> 8);
  }
  return out;
}

inline const std::u16string kRuLetters = u"АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ0123456789-'.";
inline const std::u16string kEnLetters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-'.";

struct Headword {
  std::int64_t Id;  // ROWID; 0 lets the engine choose
  std::string Word;
  std::string Description;
};

// A dictionary file with the four tables the program reads.
class DictFile {
public:
  explicit DictFile(const std::filesystem::path& path) {
    std::filesystem::remove(path);
    std::filesystem::create_directories(path.parent_path());
    EXPECT_EQ(sqlite3_open(path.c_str(), &FDb), SQLITE_OK);
    exec("CREATE TABLE words(word TEXT COLLATE NOCASE);"
         "CREATE TABLE descriptions(description TEXT);"
         "CREATE TABLE multimedia(word_id INTEGER, internal_name TEXT, mm_content BLOB);"
         "CREATE INDEX words_word ON words(word);");
  }
  ~DictFile() { sqlite3_close(FDb); }
  DictFile(const DictFile&) = delete;
  DictFile& operator=(const DictFile&) = delete;

  // The properties row (eleven columns unless fewer are given).
  DictFile& Properties(const std::vector<std::string>& values) {
    std::string cols, vals;
    for (size_t i = 0; i < values.size(); ++i) {
      cols += (i ? ", c" : "c") + std::to_string(i);
      if (i == 1) cols += "_full_caption";
      vals += (i ? ", " : "") + quote(values[i]);
    }
    exec("CREATE TABLE properties(" + cols + ");");
    exec("INSERT INTO properties VALUES(" + vals + ");");
    return *this;
  }
  // Caption, languages: an ordinary dictionary's row.
  DictFile& Properties(const std::string& caption, const std::string& languages) {
    return Properties({"author", caption, "about " + caption, "3", languages, "1.0", "licence", "short",
                       "source", "2026", "0"});
  }
  DictFile& Word(const Headword& h) {
    const std::string id = h.Id ? std::to_string(h.Id) : "NULL";
    exec("INSERT INTO words(ROWID, word) VALUES(" + id + ", " + quote(h.Word) + ");");
    const std::string rowid = std::to_string(sqlite3_last_insert_rowid(FDb));
    exec("INSERT INTO descriptions(ROWID, description) VALUES(" + rowid + ", " + quote(h.Description) + ");");
    return *this;
  }
  DictFile& Media(std::int64_t wordId, const std::string& name, const std::string& content) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(FDb, "INSERT INTO multimedia VALUES(?, ?, ?)", -1, &st, nullptr);
    sqlite3_bind_int64(st, 1, wordId);
    sqlite3_bind_text(st, 2, name.data(), int(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 3, content.data(), int(content.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    return *this;
  }
  void exec(const std::string& sql) {
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << sql << ": " << (err ? err : "");
    sqlite3_free(err);
  }
  static std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
  }

private:
  sqlite3* FDb = nullptr;
};

inline void Exec(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  sqlite3_close(db);
}

// While it lives, no file of this process may grow beyond Bytes: a write
// past that fails as on a full disk, for root too.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t Bytes) {
    FOldSignal = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    rlimit limited = FOld;
    limited.rlim_cur = Bytes;
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FOld);
    ::signal(SIGXFSZ, FOldSignal);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
  rlimit FOld{};
  sighandler_t FOldSignal = nullptr;
};

// A fresh program folder, made current while the test runs, with the
// alphabet file, the templates and an empty dictionary list.
class ProgramFolder : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/tamrix-app-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir = pattern;
    char buf[4096];
    if (getcwd(buf, sizeof buf)) FSaved = buf;
    ASSERT_EQ(chdir(Dir.c_str()), 0);
    ResetModuleState();
    AppDir = Utf8ToUnicode(Dir.string());
    writeFile(Dir / "other/abc", utf16File(u"ru: " + kRuLetters + u"\r\nen: " + kEnLetters + u"\r\n#"));
    writeFile(Dir / "other/nothing.html", "<p>Nothing</p>\n<p>here</p>\n");
    writeFile(Dir / "other/about_dictionary.html",
              "L1:\nL2:\nL3:\nL4:\nL5:\nL6 unused\nL7:\nL8:\nL9:\nL10:\nL11 unused\n");
    writeFile(Dir / "dictionaries/dictionaries._", "");
    std::filesystem::create_directories(Dir / "temp");
  }
  void TearDown() override {
    if (!FSaved.empty()) {
      EXPECT_EQ(chdir(FSaved.c_str()), 0);
    }
    std::filesystem::remove_all(Dir);
  }
  DictFile Dict(const std::string& name) { return DictFile(Dir / "dictionaries" / (name + ".tamrix")); }
  void List(const std::string& text) { writeFile(Dir / "dictionaries/dictionaries._", text); }

  std::filesystem::path Dir;

private:
  std::string FSaved;
};

}  // namespace apptest
