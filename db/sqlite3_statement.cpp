#include <sqlite3.h>

#include <climits>

#include "db/sqlite3_database.h"
#include "platform/core/threads.h"

namespace {

constexpr int kBusyTries = 8;
constexpr std::uint32_t kBusyPauseMs = 10;

}  // namespace

TSQLite3Statement::~TSQLite3Statement() {
  if (FHandle) {
    // A destructor cannot report: a failing handler is dropped rather than
    // ending the process, and the statement is finalized regardless.
    try {
      DoBeforeClose();
    } catch (...) {
    }
    sqlite3_stmt* handle = FHandle;
    FHandle = nullptr;
    sqlite3_finalize(handle);
    try {
      DoAfterClose();
    } catch (...) {
    }
  }
  if (FDatabase) FDatabase->RemoveStatement(this);
}

void TSQLite3Statement::SetDatabase(TSQLite3Database* value) {
  CheckInactive();
  if (value == FDatabase) return;
  if (FDatabase) FDatabase->RemoveStatement(this);
  FDatabase = value;
  if (FDatabase) FDatabase->AddStatement(this);
}

void TSQLite3Statement::SetSQL(const UTF8String& value) {
  CheckInactive();
  FSQL = value;
}

void TSQLite3Statement::SetActive(bool value) {
  if (value == Active()) return;
  if (!value) {
    DoBeforeClose();
    sqlite3_stmt* handle = FHandle;
    FHandle = nullptr;
    sqlite3_finalize(handle);
    DoAfterClose();
    return;
  }
  if (!FDatabase) RaiseDatabaseError(SMissingDatabase, this);
  FDatabase->SetConnected(true);
  DoBeforeOpen();
  // The connection may still be closed here: it is being loaded (and only
  // remembers that it should connect), or a handler closed it again.
  if (!FDatabase || !FDatabase->Handle()) RaiseSQLiteErrorCode(SQLITE_MISUSE);
  if (FSQL.size() > size_t(INT_MAX)) RaiseSQLiteErrorCode(SQLITE_TOOBIG);
  const int rc = sqlite3_prepare_v2(FDatabase->Handle(), FSQL.data(), int(FSQL.size()), &FHandle,
                                    nullptr);
  CheckResult(rc);
  if (!FHandle) RaiseDatabaseError(SEmptySQLStatement, this);
  DoAfterOpen();
}

int TSQLite3Statement::Step() {
  CheckActive();
  for (int tries = 1;; ++tries) {
    const int rc = sqlite3_step(FHandle);
    switch (rc & 0xFF) {
      case SQLITE_OK:
      case SQLITE_ROW:
      case SQLITE_DONE:
        return rc;
      case SQLITE_BUSY:
        Sleep(kBusyPauseMs);
        if (tries == kBusyTries) CheckResult(rc);
        break;
      default:
        CheckResult(rc);
        return rc;
    }
  }
}

const void* TSQLite3Statement::Column_Blob(int i) {
  CheckActive();
  return sqlite3_column_blob(FHandle, i);
}

int TSQLite3Statement::Column_Bytes(int i) {
  CheckActive();
  return sqlite3_column_bytes(FHandle, i);
}

void TSQLite3Statement::Bind_Text(int i, const UTF8String& value) {
  CheckActive();
  if (value.size() > size_t(INT_MAX)) RaiseSQLiteErrorCode(SQLITE_TOOBIG);
  CheckResult(sqlite3_bind_text(FHandle, i, value.data(), int(value.size()), SQLITE_TRANSIENT));
}

void TSQLite3Statement::Bind_Int64(int i, std::int64_t value) {
  CheckActive();
  CheckResult(sqlite3_bind_int64(FHandle, i, sqlite3_int64(value)));
}

void TSQLite3Statement::Bind_Blob(int i, const void* data, int count) {
  CheckActive();
  if (count < 0) RaiseSQLiteErrorCode(SQLITE_RANGE);
  // A zero-length blob is still a blob, not NULL: the engine needs a pointer.
  static const char empty = 0;
  CheckResult(sqlite3_bind_blob(FHandle, i, count ? data : &empty, count, SQLITE_TRANSIENT));
}

void TSQLite3Statement::Bind_Null(int i) {
  CheckActive();
  CheckResult(sqlite3_bind_null(FHandle, i));
}

void TSQLite3Statement::Reset() {
  CheckActive();
  // The result of reset repeats the last step's failure, already reported.
  sqlite3_reset(FHandle);
  sqlite3_clear_bindings(FHandle);
}

void TSQLite3Statement::DoAfterClose() {
  if (AfterClose) AfterClose(this);
}
void TSQLite3Statement::DoAfterOpen() {
  if (AfterOpen) AfterOpen(this);
}
void TSQLite3Statement::DoBeforeClose() {
  if (BeforeClose) BeforeClose(this);
}
void TSQLite3Statement::DoBeforeOpen() {
  if (BeforeOpen) BeforeOpen(this);
}

void TSQLite3Statement::CheckActive() const {
  if (!Active()) RaiseDatabaseError(SStatementClosed, this);
}

void TSQLite3Statement::CheckInactive() const {
  if (Active()) RaiseDatabaseError(SStatementOpen, this);
}

void TSQLite3Statement::CheckResult(int code) const {
  if (code != SQLITE_OK) RaiseSQLiteError(code, FDatabase ? FDatabase->Handle() : nullptr);
}
