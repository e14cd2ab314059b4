#pragma once
// Helpers shared by the tools tests: temporary folders and one-line queries.
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tooltest {

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("tamrix-tools-") + (info ? info->name() : "x") + "-" +
                       std::to_string(::getpid());
    FPath = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(FPath);
    std::filesystem::create_directories(FPath);
  }
  ~TempDir() { std::filesystem::remove_all(FPath); }
  std::string operator/(const std::string& name) const { return (FPath / name).string(); }
  const std::filesystem::path& Path() const { return FPath; }

private:
  std::filesystem::path FPath;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// A read-only connection, closed on destruction.
class Db {
public:
  explicit Db(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &FDb, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      ADD_FAILURE() << "cannot open " << path;
  }
  ~Db() { sqlite3_close(FDb); }
  sqlite3* Handle() const { return FDb; }

  // Every row of the result, each column as text (NULL as "<null>").
  std::vector<std::vector<std::string>> Rows(const std::string& sql) const {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(FDb, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(FDb);
      return rows;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const auto* t = sqlite3_column_text(st, i);
        row.push_back(t ? std::string(reinterpret_cast<const char*>(t),
                                      static_cast<size_t>(sqlite3_column_bytes(st, i)))
                        : "<null>");
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return rows;
  }

  std::string Value(const std::string& sql) const {
    const auto rows = Rows(sql);
    return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
  }

  // The detail column of EXPLAIN QUERY PLAN, joined.
  std::string Plan(const std::string& sql) const {
    std::string plan;
    for (const auto& r : Rows("EXPLAIN QUERY PLAN " + sql)) plan += r.back() + "\n";
    return plan;
  }

private:
  sqlite3* FDb = nullptr;
};

}  // namespace tooltest
