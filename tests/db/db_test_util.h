#pragma once
// A fresh temporary folder per test, and a way to make database files in it
// with the engine directly (so the class under test is not its own fixture).
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "db/utf8_convert.h"
#include "platform/core/types.h"

// Makes a folder the current one while it lives; Here() is that folder as
// the system reports it (links resolved).
class ScopedCurrentFolder {
public:
  explicit ScopedCurrentFolder(const std::string& folder) {
    char buf[4096];
    if (getcwd(buf, sizeof buf)) FSaved = buf;
    EXPECT_EQ(chdir(folder.c_str()), 0);
    if (getcwd(buf, sizeof buf)) FHere = buf;
  }
  ~ScopedCurrentFolder() { EXPECT_EQ(chdir(FSaved.c_str()), 0); }
  const std::string& Here() const { return FHere; }

private:
  std::string FSaved, FHere;
};

class TempFolderTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/tamrix-db-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  std::string path(const std::string& name) const { return folder + "/" + name; }
  String wpath(const std::string& name) const { return Utf8ToUnicode(path(name)); }

  // Creates a database file and runs the given SQL in it.
  void makeDatabase(const std::string& name, const char* sql) const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path(name).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }

  std::string folder;
};
