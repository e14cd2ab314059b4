// Bound parameters of statements, and a statement that its own close
// handler frees while the connection is being destroyed.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <new>

#include "db/sqlite3_database.h"
#include "tests/db/db_test_util.h"

namespace {

class SQLite3BindingTest : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    makeDatabase("dict.tamrix",
                 "CREATE TABLE multimedia(word_id INTEGER, internal_name TEXT, mm_content BLOB);"
                 "INSERT INTO multimedia VALUES(3000000000, 'a\"b.png', x'0102');"
                 "INSERT INTO multimedia VALUES(7, 'x.png', x'0A0B0C');"
                 "INSERT INTO multimedia VALUES(7, '\" OR \"\"=\"', x'FF');");
    db.SetDatabaseName(wpath("dict.tamrix"));
  }

  // The byte count of the first row's blob, -1 without a row.
  int fetch(std::int64_t id, const UTF8String& name) {
    auto st = db.Prepare("SELECT mm_content FROM multimedia WHERE word_id=? AND internal_name=?;");
    st->Bind_Int64(1, id);
    st->Bind_Text(2, name);
    return st->Step() == SQLITE_ROW ? st->Column_Bytes(0) : -1;
  }

  TSQLite3Database db{nullptr};
};

}  // namespace

TEST_F(SQLite3BindingTest, TextAndIntegersAreValuesNeverSql) {
  EXPECT_EQ(fetch(7, "x.png"), 3);
  // A quote in a name is part of the name, and 64-bit ids stay whole.
  EXPECT_EQ(fetch(3000000000LL, "a\"b.png"), 2);
  EXPECT_EQ(fetch(3000000000LL - (1LL << 32), "a\"b.png"), -1);
  // Text that would widen the condition if pasted into the statement finds
  // only the row of exactly that name.
  EXPECT_EQ(fetch(7, "\" OR \"\"=\""), 1);
  EXPECT_EQ(fetch(7, "x.png\" OR 1=1 OR \""), -1);
}

TEST_F(SQLite3BindingTest, ResetClearsBindingsAndBlobsRoundTrip) {
  auto st = db.Prepare("SELECT ?1, typeof(?1), length(?1)");
  st->Bind_Blob(1, "\x01\x00\x02", 3);
  ASSERT_EQ(st->Step(), SQLITE_ROW);
  EXPECT_EQ(st->Column_Bytes(0), 3);
  EXPECT_EQ(std::memcmp(st->Column_Blob(0), "\x01\x00\x02", 3), 0);
  st->Reset();
  ASSERT_EQ(st->Step(), SQLITE_ROW);
  // Cleared on reset: the parameter is NULL again.
  EXPECT_STREQ(static_cast<const char*>(st->Column_Blob(1)), "null");
  st->Reset();
  st->Bind_Blob(1, nullptr, 0);
  ASSERT_EQ(st->Step(), SQLITE_ROW);
  EXPECT_STREQ(static_cast<const char*>(st->Column_Blob(1)), "blob");
  st->Reset();
  st->Bind_Null(1);
  ASSERT_EQ(st->Step(), SQLITE_ROW);
  EXPECT_STREQ(static_cast<const char*>(st->Column_Blob(1)), "null");

  // Misuse is reported, not ignored.
  EXPECT_THROW(st->Bind_Int64(5, 1), ESQLite3);
  st->Close();
  EXPECT_THROW(st->Bind_Text(1, "x"), ESQLite3);
  EXPECT_THROW(st->Reset(), ESQLite3);
}

TEST_F(SQLite3BindingTest, StatementFreedByItsCloseHandlerDuringDestroyIsLeftAlone) {
  // The statement lives in storage the test owns, so that what the
  // connection does to it after it was freed can be seen: its close handler
  // frees it and builds an unrelated open statement in the same place.
  alignas(TSQLite3Statement) unsigned char storage[sizeof(TSQLite3Statement)];
  TSQLite3Database other(nullptr);
  other.SetDatabaseName(wpath("dict.tamrix"));

  auto* db2 = new TSQLite3Database(nullptr);
  db2->SetDatabaseName(wpath("dict.tamrix"));
  auto* first = new (storage) TSQLite3Statement();
  first->SetDatabase(db2);
  first->SetSQL("SELECT 1");
  first->Open();
  struct Context {
    unsigned char* Storage;
    TSQLite3Database* Other;
    TSQLite3Statement* Replacement = nullptr;
  } context{storage, &other};
  Context* ctx = &context;
  first->AfterClose = [ctx](TObject* sender) {
    Context* c = ctx;  // the handler's own copy dies with the statement
    static_cast<TSQLite3Statement*>(sender)->~TSQLite3Statement();
    c->Replacement = new (c->Storage) TSQLite3Statement();
    c->Replacement->SetDatabase(c->Other);
    c->Replacement->SetSQL("SELECT 2");
    c->Replacement->Open();
  };
  delete db2;

  ASSERT_NE(context.Replacement, nullptr);
  EXPECT_TRUE(context.Replacement->Active());
  EXPECT_EQ(context.Replacement->Database(), &other);
  ASSERT_EQ(other.Statements().size(), 1u);
  EXPECT_EQ(context.Replacement->Step(), SQLITE_ROW);
  context.Replacement->~TSQLite3Statement();
  EXPECT_TRUE(other.Statements().empty());
}
