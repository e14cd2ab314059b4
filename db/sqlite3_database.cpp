#include "db/sqlite3_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

#include "db/database_files.h"
#include "db/utf8_convert.h"
#include "platform/gui/forms.h"

namespace {

bool isBlank(const String& s) {
  return std::all_of(s.begin(), s.end(), [](char16_t c) { return c <= 32; });
}

// The name as the engine must see it to open exactly that file. The engine
// gives some names a meaning of their own (":memory:", "file:..." URIs), so a
// relative name is handed over as "./name", which names the same file. False
// when the name holds a zero unit: the engine would see only the part before
// it, a different file.
bool engineFileName(const String& name, UTF8String& out) {
  if (name.find(u'\0') != String::npos) return false;
  out = UnicodeToUtf8(name);
  if (!out.empty() && out[0] != '/') out.insert(0, "./");
  return true;
}

}  // namespace

TSQLite3Database::TSQLite3Database(TComponent* AOwner) : TComponent(AOwner) {}

TSQLite3Database::~TSQLite3Database() { closeForDestruction(); }

void TSQLite3Database::BeforeDestruction() {
  TComponent::BeforeDestruction();
  // Freed whole (Free, or by its owner): close while a descendant's own
  // event dispatchers can still run. A bare delete closes in the destructor.
  closeForDestruction();
}

void TSQLite3Database::closeForDestruction() {
  // A destructor cannot report: a failing event handler or close is dropped
  // rather than ending the process. Statements are unlinked whatever happens.
  const std::vector<TSQLite3Statement*> linked = FStatements;
  for (auto it = linked.rbegin(); it != linked.rend(); ++it) {
    TSQLite3Statement* statement = *it;
    if (!Links(statement)) continue;
    try {
      statement->SetActive(false);
    } catch (...) {
    }
    // A close handler may have freed the statement: then it has unlinked
    // itself and must not be touched again.
    if (!Links(statement)) continue;
    if (statement->FHandle) {
      sqlite3_finalize(statement->FHandle);
      statement->FHandle = nullptr;
    }
    RemoveStatement(statement);
    statement->FDatabase = nullptr;
  }
  try {
    SetConnected(false);
  } catch (...) {
  }
  if (FHandle) {
    sqlite3_close_v2(FHandle);
    FHandle = nullptr;
  }
}

void TSQLite3Database::SetConnected(bool value) {
  if (value && ComponentState().Contains(csReading)) {
    FStreamedConnected = true;
    return;
  }
  if (value == Connected()) return;
  if (value) {
    DoBeforeConnect();
    DoConnect();
    DoInitDatabase();
    DoAfterConnect();
  } else {
    DoBeforeDisconnect();
    DoDisconnect();
    DoAfterDisconnect();
  }
}

void TSQLite3Database::SetDatabaseName(const String& value) {
  CheckDisconnected();
  FDatabaseName = value;
}

void TSQLite3Database::SetReadOnly(bool value) {
  if (value == FReadOnly) return;
  CheckDisconnected();
  FReadOnly = value;
}

void TSQLite3Database::SetImmutable(bool value) {
  if (value == FImmutable) return;
  CheckDisconnected();
  FImmutable = value;
}

void TSQLite3Database::SetPassword(const RawByteString& value) {
  if (Connected() && !value.empty()) RaiseDatabaseError(SEncryptionNotSupported, this);
  FPassword = value;
}

String TSQLite3Database::SQLiteVersion() const {
  return Utf8ToUnicode(sqlite3_libversion());
}

std::unique_ptr<TSQLite3Statement> TSQLite3Database::Prepare(const UTF8String& SQL) {
  const TSQLite3StatementClass makeStatement = StatementClass();
  TAMRIX_ASSERT(makeStatement != nullptr, "TSQLite3Database: no statement class");
  std::unique_ptr<TSQLite3Statement> statement = makeStatement();
  TAMRIX_ASSERT(statement != nullptr, "TSQLite3Database: statement class made nothing");
  statement->SetDatabase(this);
  statement->SetSQL(SQL);
  statement->Open();  // on failure the unique_ptr frees it
  return statement;
}

void TSQLite3Database::CreateDatabase() {
  CheckDisconnected();
  CheckDatabaseName();
  // Refuse before the old file is removed, not after.
  CheckNoPassword();
  if (DatabaseFileExists(FDatabaseName) && !DeleteDatabaseFile(FDatabaseName))
    throw EFCreateError(u"Cannot create file " + ExpandDatabaseFileName(FDatabaseName));
  UTF8String name;
  if (!engineFileName(FDatabaseName, name))
    throw EFCreateError(u"Cannot create file " + ExpandDatabaseFileName(FDatabaseName));
  DoBeforeConnect();
  DoBeforeCreateDatabase();
  const int rc =
      sqlite3_open_v2(name.c_str(), &FHandle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    try {
      CheckResult(rc);
    } catch (...) {
      sqlite3* handle = FHandle;
      FHandle = nullptr;
      sqlite3_close(handle);
      throw;
    }
  }
  DoInitDatabase();
  DoAfterCreateDatabase();
  DoAfterConnect();
}

TSQLite3StatementClass TSQLite3Database::StatementClass() const {
  return &NewSQLite3Statement<TSQLite3Statement>;
}

void TSQLite3Database::Loaded() {
  TComponent::Loaded();
  if (!FStreamedConnected) return;
  try {
    SetConnected(true);
  } catch (const std::exception& e) {
    // In a designer the failure is shown and loading goes on.
    if (!ComponentState().Contains(csDesigning)) throw;
    if (Application)
      Application->HandleException(this);
    else
      std::fprintf(stderr, "%s\n", e.what());
  }
}

void TSQLite3Database::DoAfterConnect() {
  if (AfterConnect) AfterConnect(this);
}
void TSQLite3Database::DoAfterCreateDatabase() {
  if (AfterCreateDatabase) AfterCreateDatabase(this);
}
void TSQLite3Database::DoAfterDisconnect() {
  if (AfterDisconnect) AfterDisconnect(this);
}
void TSQLite3Database::DoBeforeConnect() {
  if (BeforeConnect) BeforeConnect(this);
}
void TSQLite3Database::DoBeforeCreateDatabase() {
  if (BeforeCreateDatabase) BeforeCreateDatabase(this);
}
void TSQLite3Database::DoBeforeDisconnect() {
  if (BeforeDisconnect) BeforeDisconnect(this);
}
void TSQLite3Database::DoInitDatabase() {
  if (InitDatabase) InitDatabase(this);
}

void TSQLite3Database::DoConnect() {
  if (FHandle) return;
  CheckDatabaseName();
  CheckNoPassword();
  UTF8String name;
  if (!engineFileName(FDatabaseName, name))
    throw EFOpenError(u"Cannot open file " + ExpandDatabaseFileName(FDatabaseName));
  int flags = FReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (FReadOnly && FImmutable) {
    name = DatabaseFileUri(FDatabaseName) + "?immutable=1";
    flags |= SQLITE_OPEN_URI;
  }
  const int rc = sqlite3_open_v2(name.c_str(), &FHandle, flags, nullptr);
  if (rc == SQLITE_OK) return;
  try {
    CheckResult(rc);
  } catch (const ESQLite3& e) {
    sqlite3* handle = FHandle;
    FHandle = nullptr;
    sqlite3_close(handle);
    if ((e.ErrorCode() & 0xFF) == SQLITE_CANTOPEN)
      throw EFOpenError(u"Cannot open file " + ExpandDatabaseFileName(FDatabaseName));
    throw;
  } catch (...) {
    sqlite3* handle = FHandle;
    FHandle = nullptr;
    sqlite3_close(handle);
    throw;
  }
}

void TSQLite3Database::DoDisconnect() {
  if (!FHandle) return;
  CloseStatements();
  sqlite3* handle = FHandle;
  FHandle = nullptr;
  const int rc = sqlite3_close(handle);
  if (rc != SQLITE_OK) {
    // Statements prepared on the handle outside this class keep it alive;
    // let the engine release it when the last of them goes rather than leak
    // it, and still report the failed close.
    sqlite3_close_v2(handle);
    RaiseSQLiteErrorCode(rc);
  }
}

void TSQLite3Database::CloseStatements() {
  // An event handler may unlink or free statements while we go: walk a copy
  // and skip whatever is no longer linked.
  const std::vector<TSQLite3Statement*> linked = FStatements;
  for (TSQLite3Statement* statement : linked)
    if (Links(statement)) statement->SetActive(false);
}

void TSQLite3Database::CheckDisconnected() const {
  if (Connected()) RaiseDatabaseError(SDatabaseOpen, this);
}

void TSQLite3Database::CheckDatabaseName() const {
  if (isBlank(FDatabaseName)) RaiseDatabaseError(SDatabaseNameMissing, this);
}

void TSQLite3Database::CheckNoPassword() const {
  if (!FPassword.empty()) RaiseDatabaseError(SEncryptionNotSupported, this);
}

void TSQLite3Database::CheckResult(int code) const {
  if (code != SQLITE_OK) RaiseSQLiteError(code, FHandle);
}

void TSQLite3Database::AddStatement(TSQLite3Statement* statement) {
  FStatements.push_back(statement);
}

void TSQLite3Database::RemoveStatement(TSQLite3Statement* statement) {
  std::erase(FStatements, statement);
}

bool TSQLite3Database::Links(const TSQLite3Statement* statement) const {
  return std::find(FStatements.begin(), FStatements.end(), statement) != FStatements.end();
}
