#include "db/sqlite3_errors.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <fstream>

#include "db/database_files.h"
#include "db/utf8_convert.h"
#include "tests/db/db_test_util.h"

TEST(ESQLite3, ConstructorsAndRaiseRoutines) {
  const ESQLite3 full(2067, u"UNIQUE constraint failed: t.id");
  EXPECT_EQ(full.Message(), u"SQLite Error 2067 - UNIQUE constraint failed: t.id");
  EXPECT_EQ(full.ErrorCode(), 2067);
  EXPECT_EQ(full.ErrorMessage(), u"UNIQUE constraint failed: t.id");

  const ESQLite3 codeOnly(-3);
  EXPECT_EQ(codeOnly.Message(), u"SQLite Error -3");
  EXPECT_TRUE(codeOnly.ErrorMessage().empty());

  const ESQLite3 text(u"Schlüssel");
  EXPECT_EQ(text.Message(), u"Schlüssel");
  EXPECT_EQ(text.ErrorMessage(), u"Schlüssel");
  EXPECT_EQ(text.ErrorCode(), 0);
  EXPECT_STREQ(text.what(), "Schlüssel");

  try {
    RaiseSQLiteError(5, nullptr);
  } catch (const ESQLite3& e) {
    EXPECT_EQ(e.Message(), u"SQLite Error 5");
    EXPECT_TRUE(e.ErrorMessage().empty());
  }
}

TEST(ESQLite3, RaiseWithConnectionCarriesItsLastMessage) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  // A non-ASCII identifier checks that the engine's text is decoded as UTF-8.
  const int rc = sqlite3_exec(db, "SELECT * FROM \"словарь\"", nullptr, nullptr, nullptr);
  ASSERT_EQ(rc, SQLITE_ERROR);
  try {
    RaiseSQLiteError(rc, db);
    ADD_FAILURE();
  } catch (const ESQLite3& e) {
    EXPECT_EQ(e.ErrorMessage(), u"no such table: словарь");
    EXPECT_EQ(e.Message(), u"SQLite Error 1 - no such table: словарь");
  }
  sqlite3_close(db);
}

namespace {

void byteLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const UTF8String text = ValueToUtf8(argv[0]);
  sqlite3_result_int(ctx, int(text.size()));
}

}  // namespace

TEST(ValueToUtf8, ReturnsTheArgumentsBytes) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_create_function(db, "bytelen", 1, SQLITE_UTF8, nullptr, byteLength, nullptr,
                                    nullptr),
            SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  // Text with an embedded zero, a number (converted to text) and NULL.
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "SELECT bytelen(CAST(x'41004243' AS TEXT)), bytelen(12.5), "
                               "bytelen(NULL), bytelen('ёж')",
                               -1, &st, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 4);
  EXPECT_EQ(sqlite3_column_int(st, 1), 4);
  EXPECT_EQ(sqlite3_column_int(st, 2), 0);
  EXPECT_EQ(sqlite3_column_int(st, 3), 4);
  sqlite3_finalize(st);
  sqlite3_close(db);
}

class DatabaseFilesTest : public TempFolderTest {};

TEST_F(DatabaseFilesTest, ExistsAndDelete) {
  std::ofstream(path("f.tamrix")) << "x";
  ASSERT_EQ(mkdir(path("dir").c_str(), 0700), 0);
  EXPECT_TRUE(DatabaseFileExists(wpath("f.tamrix")));
  EXPECT_FALSE(DatabaseFileExists(wpath("dir")));
  EXPECT_FALSE(DatabaseFileExists(wpath("none")));
  EXPECT_FALSE(DeleteDatabaseFile(wpath("dir")));
  EXPECT_FALSE(DeleteDatabaseFile(wpath("none")));
  // A name cut short at a zero unit must not reach the file it would name.
  EXPECT_FALSE(DeleteDatabaseFile(wpath("f.tamrix") + String(1, u'\0') + u"x"));
  EXPECT_TRUE(DatabaseFileExists(wpath("f.tamrix")));
  EXPECT_TRUE(DeleteDatabaseFile(wpath("f.tamrix")));
  EXPECT_FALSE(DatabaseFileExists(wpath("f.tamrix")));
}

TEST_F(DatabaseFilesTest, ExpandJoinsTheCurrentFolderAndResolvesDots) {
  ScopedCurrentFolder current(folder);
  const String cwd = Utf8ToUnicode(current.Here());

  EXPECT_EQ(ExpandDatabaseFileName(u"dict.tamrix"), cwd + u"/dict.tamrix");
  EXPECT_EQ(ExpandDatabaseFileName(u"./a//b/../словарь.tamrix"), cwd + u"/a/словарь.tamrix");
  EXPECT_EQ(ExpandDatabaseFileName(u"/x/./y/../../z"), u"/z");
  EXPECT_EQ(ExpandDatabaseFileName(u"/../.."), u"/");
  EXPECT_EQ(ExpandDatabaseFileName(u"sub/"), cwd + u"/sub/");
  EXPECT_EQ(ExpandDatabaseFileName(u""), u"");
}
