#include "db/sqlite3_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db/database_files.h"
#include "db/utf8_convert.h"
#include "platform/gui/forms.h"
#include "tests/db/db_test_util.h"

namespace {

using Log = std::vector<std::string>;

void record(TSQLite3Database& db, Log& log) {
  db.BeforeConnect = [&log](TObject*) { log.push_back("BeforeConnect"); };
  db.AfterConnect = [&log](TObject*) { log.push_back("AfterConnect"); };
  db.BeforeDisconnect = [&log](TObject*) { log.push_back("BeforeDisconnect"); };
  db.AfterDisconnect = [&log](TObject*) { log.push_back("AfterDisconnect"); };
  db.BeforeCreateDatabase = [&log](TObject*) { log.push_back("BeforeCreateDatabase"); };
  db.AfterCreateDatabase = [&log](TObject*) { log.push_back("AfterCreateDatabase"); };
  db.InitDatabase = [&log](TObject*) { log.push_back("InitDatabase"); };
}

void record(TSQLite3Statement& st, Log& log) {
  st.BeforeOpen = [&log](TObject*) { log.push_back("BeforeOpen"); };
  st.AfterOpen = [&log](TObject*) { log.push_back("AfterOpen"); };
  st.BeforeClose = [&log](TObject*) { log.push_back("BeforeClose"); };
  st.AfterClose = [&log](TObject*) { log.push_back("AfterClose"); };
}

// Runs f, which must raise ESQLite3, and returns it.
template <typename F>
ESQLite3 raised(F f) {
  try {
    f();
  } catch (const ESQLite3& e) {
    return e;
  }
  ADD_FAILURE() << "no ESQLite3 raised";
  return ESQLite3(-1);
}

std::string readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SQLite3DatabaseTest : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    makeDatabase("dict.tamrix",
                 "CREATE TABLE t(id INTEGER PRIMARY KEY, data BLOB);"
                 "INSERT INTO t VALUES(1, x'00FF10');");
  }
  Log log;  // outlives every object of a test, whose handlers write to it
};

}  // namespace

TEST_F(SQLite3DatabaseTest, ConnectAndDisconnectFireEventsInOrderOnce) {
  TSQLite3Database db(nullptr);
  record(db, log);
  db.SetDatabaseName(wpath("dict.tamrix"));
  db.Open();
  db.Open();  // already connected: nothing
  EXPECT_TRUE(db.Connected());
  EXPECT_NE(db.Handle(), nullptr);
  EXPECT_EQ(raised([&] { db.SetDatabaseName(u"other"); }).Message(), SDatabaseOpen);
  EXPECT_EQ(db.DatabaseName(), wpath("dict.tamrix"));
  db.Close();
  db.Close();
  EXPECT_FALSE(db.Connected());
  EXPECT_EQ(log, (Log{"BeforeConnect", "InitDatabase", "AfterConnect", "BeforeDisconnect",
                      "AfterDisconnect"}));
  EXPECT_EQ(db.SQLiteVersion(), Utf8ToUnicode(sqlite3_libversion()));
  db.SetDatabaseName(u"other");
  EXPECT_EQ(db.DatabaseName(), u"other");
}

TEST_F(SQLite3DatabaseTest, CreateDatabaseReplacesTheFileAndFiresItsEvents) {
  std::ofstream(path("new.tamrix")) << "not a database, to be replaced";
  TSQLite3Database db(nullptr);
  record(db, log);
  db.SetDatabaseName(wpath("new.tamrix"));
  db.CreateDatabase();
  EXPECT_TRUE(db.Connected());
  EXPECT_EQ(log, (Log{"BeforeConnect", "BeforeCreateDatabase", "InitDatabase",
                      "AfterCreateDatabase", "AfterConnect"}));
  auto st = db.Prepare("CREATE TABLE x(a)");
  EXPECT_EQ(st->Step(), SQLITE_DONE);

  EXPECT_EQ(raised([&] { db.CreateDatabase(); }).Message(), SDatabaseOpen);

  db.Close();
  EXPECT_EQ(readFile(path("new.tamrix")).substr(0, 15), "SQLite format 3");
}

TEST_F(SQLite3DatabaseTest, CreateDatabaseReportsAnUndeletableFile) {
  // A kernel file exists and cannot be removed, not even by root.
  ASSERT_TRUE(DatabaseFileExists(u"/proc/version"));
  TSQLite3Database db(nullptr);
  record(db, log);
  db.SetDatabaseName(u"/proc/version");
  try {
    db.CreateDatabase();
    FAIL() << "no EFCreateError";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), u"Cannot create file /proc/version");
  }
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(db.Connected());
}

TEST_F(SQLite3DatabaseTest, BlankNameIsReportedWithTheComponentName) {
  TSQLite3Database db(nullptr);
  record(db, log);
  db.SetDatabaseName(u"   ");
  ESQLite3 e = raised([&] { db.Open(); });
  EXPECT_EQ(e.Message(), SDatabaseNameMissing);
  EXPECT_EQ(e.ErrorCode(), 0);
  EXPECT_EQ(log, Log{"BeforeConnect"});
  EXPECT_FALSE(db.Connected());

  db.SetName(u"MediaDb");
  EXPECT_EQ(raised([&] { db.Open(); }).Message(), u"MediaDb: Database name missing");
  EXPECT_EQ(raised([&] { db.CreateDatabase(); }).Message(), u"MediaDb: Database name missing");
}

TEST_F(SQLite3DatabaseTest, MissingFileRaisesFileOpenErrorWithTheFullPath) {
  ScopedCurrentFolder cwd(folder);
  TSQLite3Database db(nullptr);
  db.SetDatabaseName(u"sub/../absent.tamrix");
  std::string message;
  try {
    db.Open();
  } catch (const EFOpenError& e) {
    message = e.what();
  }
  EXPECT_EQ(message, "Cannot open file " + cwd.Here() + "/absent.tamrix");
  EXPECT_FALSE(db.Connected());
  EXPECT_EQ(db.Handle(), nullptr);
}

// Whatever the name looks like, it names a file: not the engine's in-memory
// database, not a URI, and never a shorter name cut at a zero character.
TEST_F(SQLite3DatabaseTest, NamesTheEngineReadsSpeciallyStillNameFiles) {
  ScopedCurrentFolder cwd(folder);
  for (const char* name : {"file:dict.tamrix", ":memory:", "file:dict.tamrix?mode=memory"}) {
    SCOPED_TRACE(name);
    std::filesystem::copy_file(path("dict.tamrix"), path(name));
    TSQLite3Database db(nullptr);
    db.SetDatabaseName(Utf8ToUnicode(name));
    auto st = db.Prepare("SELECT hex(data) FROM t WHERE id = 1");
    ASSERT_EQ(st->Step(), SQLITE_ROW);
    EXPECT_EQ(std::string(static_cast<const char*>(st->Column_Blob(0)), size_t(st->Column_Bytes(0))),
              "00FF10");
  }

  // Created under its own name, next to the others.
  TSQLite3Database created(nullptr);
  created.SetDatabaseName(u"file:new.tamrix?mode=memory");
  created.CreateDatabase();
  EXPECT_TRUE(created.Prepare("CREATE TABLE n(a)")->Step() == SQLITE_DONE);
  created.Close();
  EXPECT_TRUE(std::filesystem::exists(path("file:new.tamrix?mode=memory")));
  EXPECT_FALSE(std::filesystem::exists(path("new.tamrix")));

  TSQLite3Database cut(nullptr);
  cut.SetDatabaseName(String(u"dict.tamrix\0.bak", 16));
  EXPECT_THROW(cut.Open(), EFOpenError);
  EXPECT_FALSE(cut.Connected());
  EXPECT_THROW(cut.CreateDatabase(), EFCreateError);
  EXPECT_FALSE(cut.Connected());
}

TEST_F(SQLite3DatabaseTest, PasswordIsRefusedWithoutTouchingTheFile) {
  const std::string before = readFile(path("dict.tamrix"));
  TSQLite3Database db(nullptr);
  db.SetDatabaseName(wpath("dict.tamrix"));
  db.SetPassword("secret");
  EXPECT_EQ(raised([&] { db.Open(); }).Message(), SEncryptionNotSupported);
  EXPECT_FALSE(db.Connected());
  // Creating must not delete the existing file before refusing.
  EXPECT_EQ(raised([&] { db.CreateDatabase(); }).Message(), SEncryptionNotSupported);
  EXPECT_EQ(readFile(path("dict.tamrix")), before);

  db.SetPassword("");
  db.Open();
  EXPECT_EQ(raised([&] { db.SetPassword("secret"); }).Message(), SEncryptionNotSupported);
  EXPECT_EQ(db.Password(), "");
  db.SetPassword("");  // no key: nothing to do
  EXPECT_TRUE(db.Connected());
}

TEST_F(SQLite3DatabaseTest, PrepareStepsAndReadsBlobs) {
  TSQLite3Database db(nullptr);
  db.SetDatabaseName(wpath("dict.tamrix"));
  auto st = db.Prepare("SELECT data FROM t WHERE id = 1");  // connects on its own
  EXPECT_TRUE(db.Connected());
  ASSERT_EQ(db.Statements().size(), 1u);
  EXPECT_EQ(db.Statements()[0], st.get());
  ASSERT_EQ(st->Step(), SQLITE_ROW);
  ASSERT_EQ(st->Column_Bytes(0), 3);
  EXPECT_EQ(std::memcmp(st->Column_Blob(0), "\x00\xFF\x10", 3), 0);
  EXPECT_EQ(st->Step(), SQLITE_DONE);
  st.reset();
  EXPECT_TRUE(db.Statements().empty());
}

TEST_F(SQLite3DatabaseTest, PrepareAndStepFailures) {
  TSQLite3Database db(nullptr);
  db.SetName(u"Db");
  db.SetDatabaseName(wpath("dict.tamrix"));
  for (const char* sql : {"", "   ", "-- only a comment"}) {
    ESQLite3 e = raised([&] { db.Prepare(sql); });
    EXPECT_EQ(e.Message(), SEmptySQLStatement) << sql;  // statements carry no name
    EXPECT_EQ(e.ErrorCode(), 0);
  }
  ESQLite3 e = raised([&] { db.Prepare("SELEC nonsense"); });
  EXPECT_EQ(e.ErrorCode(), SQLITE_ERROR);
  EXPECT_NE(e.ErrorMessage().find(u"syntax error"), String::npos);
  EXPECT_EQ(e.Message(), u"SQLite Error 1 - " + e.ErrorMessage());
  EXPECT_TRUE(db.Statements().empty());

  auto st = db.Prepare("INSERT INTO t VALUES(1, NULL)");
  e = raised([&] { st->Step(); });
  EXPECT_EQ(e.ErrorCode() & 0xFF, SQLITE_CONSTRAINT);
  EXPECT_NE(e.ErrorMessage().find(u"UNIQUE"), String::npos);
}

TEST_F(SQLite3DatabaseTest, StatementGuards) {
  TSQLite3Statement st;
  record(st, log);
  EXPECT_EQ(raised([&] { st.Open(); }).Message(), SMissingDatabase);
  EXPECT_EQ(raised([&] { st.Step(); }).Message(), SStatementClosed);
  EXPECT_EQ(raised([&] { st.Column_Blob(0); }).Message(), SStatementClosed);
  EXPECT_EQ(raised([&] { st.Column_Bytes(0); }).Message(), SStatementClosed);
  EXPECT_TRUE(log.empty());

  TSQLite3Database db(nullptr);
  db.SetName(u"Db");
  db.SetDatabaseName(wpath("dict.tamrix"));
  st.SetDatabase(&db);
  st.SetSQL("SELECT 1");
  st.Open();
  st.Open();
  EXPECT_EQ(log, (Log{"BeforeOpen", "AfterOpen"}));
  EXPECT_EQ(raised([&] { st.SetSQL("SELECT 2"); }).Message(), SStatementOpen);
  EXPECT_EQ(raised([&] { st.SetDatabase(nullptr); }).Message(), SStatementOpen);
  EXPECT_EQ(st.SQL(), "SELECT 1");
  EXPECT_EQ(st.Database(), &db);
  st.Close();
  st.Close();
  EXPECT_EQ(log, (Log{"BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose"}));
  st.SetDatabase(nullptr);
  EXPECT_TRUE(db.Statements().empty());
}

TEST_F(SQLite3DatabaseTest, DisconnectClosesStatementsAndReopeningReconnects) {
  TSQLite3Database db(nullptr);
  db.SetDatabaseName(wpath("dict.tamrix"));
  auto a = db.Prepare("SELECT id FROM t");
  auto b = db.Prepare("SELECT data FROM t");
  record(db, log);
  record(*a, log);
  db.Close();
  EXPECT_FALSE(a->Active());
  EXPECT_FALSE(b->Active());
  EXPECT_EQ(db.Statements(), (std::vector<TSQLite3Statement*>{a.get(), b.get()}));
  EXPECT_EQ(log, (Log{"BeforeDisconnect", "BeforeClose", "AfterClose", "AfterDisconnect"}));

  log.clear();
  a->Open();
  EXPECT_TRUE(db.Connected());
  EXPECT_EQ(log, (Log{"BeforeConnect", "InitDatabase", "AfterConnect", "BeforeOpen", "AfterOpen"}));
  EXPECT_EQ(a->Step(), SQLITE_ROW);
}

TEST_F(SQLite3DatabaseTest, DestroyingTheConnectionUnlinksItsStatements) {
  auto db = std::make_unique<TSQLite3Database>(nullptr);
  db->SetDatabaseName(wpath("dict.tamrix"));
  auto a = db->Prepare("SELECT id FROM t");
  auto b = db->Prepare("SELECT data FROM t");
  b->Close();
  record(*db, log);
  record(*a, log);
  db.reset();
  EXPECT_EQ(log, (Log{"BeforeClose", "AfterClose", "BeforeDisconnect", "AfterDisconnect"}));
  for (auto* st : {a.get(), b.get()}) {
    EXPECT_FALSE(st->Active());
    EXPECT_EQ(st->Database(), nullptr);
    st->Close();  // no effect
  }
  EXPECT_EQ(raised([&] { a->Open(); }).Message(), SMissingDatabase);
}

namespace {

// A descendant that reports disconnection through its own dispatchers.
class TLoggingDatabase : public TSQLite3Database {
public:
  TLoggingDatabase(TComponent* AOwner, Log& log) : TSQLite3Database(AOwner), FLog(log) {}

protected:
  void DoBeforeDisconnect() override { FLog.push_back("own BeforeDisconnect"); }
  void DoAfterDisconnect() override { FLog.push_back("own AfterDisconnect"); }

private:
  Log& FLog;
};

}  // namespace

TEST_F(SQLite3DatabaseTest, FreeingTheConnectionRunsADescendantsDispatchers) {
  TComponent owner(nullptr);
  auto* owned = new TLoggingDatabase(&owner, log);
  owned->SetDatabaseName(wpath("dict.tamrix"));
  auto st = owned->Prepare("SELECT id FROM t");
  record(*st, log);
  owned->Free();
  EXPECT_EQ(log, (Log{"BeforeClose", "AfterClose", "own BeforeDisconnect", "own AfterDisconnect"}));
  EXPECT_EQ(st->Database(), nullptr);
  EXPECT_EQ(owner.ComponentCount(), 0);

  // Freed by its owner, the same.
  log.clear();
  {
    TComponent parent(nullptr);
    auto* child = new TLoggingDatabase(&parent, log);
    child->SetDatabaseName(wpath("dict.tamrix"));
    child->Open();
  }
  EXPECT_EQ(log, (Log{"own BeforeDisconnect", "own AfterDisconnect"}));
}

TEST_F(SQLite3DatabaseTest, HandlersMayFreeStatementsWhileTheConnectionClosesThem) {
  TSQLite3Database db(nullptr);
  db.SetDatabaseName(wpath("dict.tamrix"));
  auto a = db.Prepare("SELECT 1");
  auto b = db.Prepare("SELECT 2");
  a->AfterClose = [&](TObject*) { b.reset(); };
  db.Close();
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(db.Statements(), std::vector<TSQLite3Statement*>{a.get()});
}

TEST_F(SQLite3DatabaseTest, FailedCloseIsReportedAndLeavesTheConnectionClosed) {
  TSQLite3Database db(nullptr);
  db.SetDatabaseName(wpath("dict.tamrix"));
  db.Open();
  // A statement prepared on the handle behind the class's back keeps the
  // engine from closing.
  sqlite3_stmt* foreign = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.Handle(), "SELECT 1", -1, &foreign, nullptr), SQLITE_OK);
  ESQLite3 e = raised([&] { db.Close(); });
  EXPECT_EQ(e.ErrorCode(), SQLITE_BUSY);
  EXPECT_EQ(e.Message(), u"SQLite Error 5");
  EXPECT_FALSE(db.Connected());
  sqlite3_finalize(foreign);  // the engine now releases the connection
}

namespace {

int countBusy(void* counter, int) {
  ++*static_cast<int*>(counter);
  return 0;  // do not wait inside the engine: report busy at once
}

}  // namespace

TEST_F(SQLite3DatabaseTest, BusyStepIsTriedExactlyEightTimes) {
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(path("dict.tamrix").c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

  TSQLite3Database db(nullptr);
  db.SetDatabaseName(wpath("dict.tamrix"));
  db.Open();
  int tries = 0;
  sqlite3_busy_handler(db.Handle(), countBusy, &tries);
  auto st = db.Prepare("INSERT INTO t VALUES(2, NULL)");
  ESQLite3 e = raised([&] { st->Step(); });
  EXPECT_EQ(tries, 8);
  EXPECT_EQ(e.ErrorCode(), SQLITE_BUSY);
  EXPECT_EQ(e.Message(), u"SQLite Error 5 - " + e.ErrorMessage());
  EXPECT_FALSE(e.ErrorMessage().empty());

  // Once the lock is gone the same statement goes through on the first try.
  ASSERT_EQ(sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(holder);
  tries = 0;
  EXPECT_EQ(st->Step(), SQLITE_DONE);
  EXPECT_EQ(tries, 0);
}

TEST_F(SQLite3DatabaseTest, ConnectingWhileLoadingWaitsForLoaded) {
  TSQLite3Database db(nullptr);
  record(db, log);
  db.BeginLoading();
  db.SetDatabaseName(wpath("dict.tamrix"));
  db.SetConnected(true);
  EXPECT_FALSE(db.Connected());
  EXPECT_TRUE(db.StreamedConnected());
  EXPECT_TRUE(log.empty());
  db.EndLoading();
  EXPECT_TRUE(db.Connected());
  EXPECT_EQ(log, (Log{"BeforeConnect", "InitDatabase", "AfterConnect"}));

  // A failure then propagates, except in a designer, where the application
  // shows it.
  std::string shown;
  Application->OnException = [&shown](TObject*, const std::exception& e) { shown = e.what(); };
  for (bool designing : {false, true}) {
    TSQLite3Database failing(nullptr);
    failing.SetDesigning(designing);
    failing.BeginLoading();
    failing.SetDatabaseName(wpath("absent.tamrix"));
    failing.SetConnected(true);
    if (designing)
      EXPECT_NO_THROW(failing.EndLoading());
    else
      EXPECT_THROW(failing.EndLoading(), EFOpenError);
    EXPECT_FALSE(failing.Connected());
  }
  Application->OnException = nullptr;
  EXPECT_EQ(shown, "Cannot open file " + path("absent.tamrix"));
}

namespace {

class TCountingStatement : public TSQLite3Statement {};

class TCountingDatabase : public TSQLite3Database {
public:
  using TSQLite3Database::TSQLite3Database;
  TSQLite3StatementClass StatementClass() const override {
    return &NewSQLite3Statement<TCountingStatement>;
  }
};

}  // namespace

TEST_F(SQLite3DatabaseTest, PrepareUsesTheStatementClass) {
  TCountingDatabase db(nullptr);
  db.SetDatabaseName(wpath("dict.tamrix"));
  auto st = db.Prepare("SELECT 1");
  EXPECT_NE(dynamic_cast<TCountingStatement*>(st.get()), nullptr);
}

// A dictionary as shipped is only read: in write-ahead-log mode a plain
// read-only connection would leave "-wal" and "-shm" files beside it.
TEST_F(SQLite3DatabaseTest, ImmutableReadsALogModeFileWritingNothingBesideIt) {
  ScopedCurrentFolder cwd(folder);
  makeDatabase("log.tamrix", "PRAGMA journal_mode=WAL; CREATE TABLE t(a); INSERT INTO t VALUES('x');");
  const std::string odd = "file:a?b#c%20 ё.tamrix";
  std::filesystem::copy_file(path("log.tamrix"), path(odd));
  auto files = [&] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = files();
  for (const std::string& name : {std::string("log.tamrix"), odd, path(odd)}) {
    SCOPED_TRACE(name);
    TSQLite3Database db(nullptr);
    db.SetReadOnly(true);
    db.SetImmutable(true);
    db.SetDatabaseName(Utf8ToUnicode(name));
    db.Open();
    auto st = db.Prepare("SELECT a FROM t");
    ASSERT_EQ(st->Step(), SQLITE_ROW);
    EXPECT_EQ(files(), before);
    st.reset();
    db.Close();
    EXPECT_EQ(files(), before);
  }
  TSQLite3Database absent(nullptr);
  absent.SetReadOnly(true);
  absent.SetImmutable(true);
  absent.SetDatabaseName(u"absent.tamrix");
  EXPECT_THROW(absent.Open(), EFOpenError);
  EXPECT_EQ(files(), before);
}
