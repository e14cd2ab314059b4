#pragma once
// A connection component over one SQLite database file and the prepared
// statements linked to it. Every engine failure surfaces as ESQLite3 with the
// engine's code and message; every misuse (no file name, changing a property
// of an open object, stepping a closed statement) as ESQLite3 with code 0 and
// a fixed text.
#include <memory>
#include <vector>

#include "db/sqlite3_errors.h"
#include "platform/core/component.h"
#include "platform/core/types.h"

struct sqlite3;
struct sqlite3_stmt;
class TSQLite3Statement;

// Makes a new, closed statement of some class; a connection's descendants
// return their own from StatementClass().
using TSQLite3StatementClass = std::unique_ptr<TSQLite3Statement> (*)();

template <typename T>
std::unique_ptr<TSQLite3Statement> NewSQLite3Statement() {
  return std::make_unique<T>();
}

class TSQLite3Database : public TComponent {
public:
  explicit TSQLite3Database(TComponent* AOwner);
  ~TSQLite3Database() override;

  // Connecting fires BeforeConnect, InitDatabase, AfterConnect; disconnecting
  // fires BeforeDisconnect, AfterDisconnect and closes the linked statements.
  // Setting the current value does nothing. While the component is being
  // read from stored properties, True is remembered and applied in Loaded.
  bool Connected() const { return FHandle != nullptr; }
  void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  // Changeable only while disconnected. Relative names are taken against the
  // current folder. The file must exist to connect (CreateDatabase makes it).
  const String& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const String& value);

  // Connect for reading only (the file is never written). Changeable only
  // while disconnected.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);

  // With ReadOnly: the file does not change while it is open (a dictionary
  // as shipped). It is then read without locks and without the side files
  // that a file in write-ahead-log mode would otherwise get beside it, so
  // that reading writes nothing at all. Changeable only while disconnected.
  bool Immutable() const { return FImmutable; }
  void SetImmutable(bool value);

  // This engine has no page encryption: a non-empty password makes
  // connecting and creating fail with ESQLite3 before the file is touched,
  // and cannot be set on an open connection.
  const RawByteString& Password() const { return FPassword; }
  void SetPassword(const RawByteString& value);

  // The engine's version text. Read-only; setting it does nothing.
  String SQLiteVersion() const;
  void SetSQLiteVersion(const String&) {}

  sqlite3* Handle() const { return FHandle; }
  // Statements linked to this connection, in the order they were linked.
  // The connection never frees them.
  const std::vector<TSQLite3Statement*>& Statements() const { return FStatements; }
  bool StreamedConnected() const { return FStreamedConnected; }

  // A new open statement for the UTF-8 text, connecting when needed. If it
  // cannot be opened it is freed and the failure propagates.
  std::unique_ptr<TSQLite3Statement> Prepare(const UTF8String& SQL);
  // Creates the file (replacing an existing one) and connects: fires
  // BeforeConnect, BeforeCreateDatabase, InitDatabase, AfterCreateDatabase,
  // AfterConnect.
  virtual void CreateDatabase();
  virtual TSQLite3StatementClass StatementClass() const;

  TNotifyEvent AfterConnect;
  TNotifyEvent AfterCreateDatabase;
  TNotifyEvent AfterDisconnect;
  TNotifyEvent BeforeConnect;
  TNotifyEvent BeforeCreateDatabase;
  TNotifyEvent BeforeDisconnect;
  TNotifyEvent InitDatabase;

  void BeforeDestruction() override;

protected:
  void Loaded() override;

  virtual void DoAfterConnect();
  virtual void DoAfterCreateDatabase();
  virtual void DoAfterDisconnect();
  virtual void DoBeforeConnect();
  virtual void DoBeforeCreateDatabase();
  virtual void DoBeforeDisconnect();
  virtual void DoInitDatabase();

  void DoConnect();
  void DoDisconnect();
  void CloseStatements();
  void CheckDisconnected() const;
  void CheckDatabaseName() const;
  void CheckNoPassword() const;
  void CheckResult(int code) const;

private:
  friend class TSQLite3Statement;
  // Closes and unlinks the statements, then disconnects (with events).
  void closeForDestruction();
  void AddStatement(TSQLite3Statement* statement);
  void RemoveStatement(TSQLite3Statement* statement);
  bool Links(const TSQLite3Statement* statement) const;

  String FDatabaseName;
  sqlite3* FHandle = nullptr;
  RawByteString FPassword;
  std::vector<TSQLite3Statement*> FStatements;
  bool FStreamedConnected = false;
  bool FReadOnly = false;
  bool FImmutable = false;
};

class TSQLite3Statement : public TObject {
public:
  TSQLite3Statement() = default;
  // Closes (with its events) and unlinks.
  ~TSQLite3Statement() override;

  sqlite3_stmt* Handle() const { return FHandle; }

  // Linking keeps the connection's statement list in step. Changeable only
  // while closed; nullptr unlinks.
  TSQLite3Database* Database() const { return FDatabase; }
  void SetDatabase(TSQLite3Database* value);
  // The statement text as UTF-8. Changeable only while closed.
  const UTF8String& SQL() const { return FSQL; }
  void SetSQL(const UTF8String& value);

  // Opening connects the connection when needed, fires BeforeOpen, prepares
  // and fires AfterOpen; closing fires BeforeClose, finalizes and fires
  // AfterClose. Setting the current state does nothing.
  bool Active() const { return FHandle != nullptr; }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  // One step of the statement, returning the engine's full result code
  // (a row, done, or OK). A busy database is retried: at most 8 tries,
  // 10 ms apart; still busy after that, or any other failure, raises ESQLite3.
  int Step();
  // Column i of the current row: a pointer into the engine's row buffer,
  // valid until the next step or close, and its byte count.
  const void* Column_Blob(int i);
  int Column_Bytes(int i);

  // Values for the statement's parameters (1-based, as the engine counts
  // them), copied by the engine. Text is UTF-8. A value that cannot be bound
  // (no such parameter, too big) raises ESQLite3. Reset rewinds the
  // statement for another run and clears every bound value.
  void Bind_Text(int i, const UTF8String& value);
  void Bind_Int64(int i, std::int64_t value);
  void Bind_Blob(int i, const void* data, int count);
  void Bind_Null(int i);
  void Reset();

  TNotifyEvent AfterClose;
  TNotifyEvent AfterOpen;
  TNotifyEvent BeforeClose;
  TNotifyEvent BeforeOpen;

protected:
  virtual void DoAfterClose();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoBeforeOpen();

  void CheckActive() const;
  void CheckInactive() const;
  void CheckResult(int code) const;

private:
  friend class TSQLite3Database;

  sqlite3_stmt* FHandle = nullptr;
  TSQLite3Database* FDatabase = nullptr;
  UTF8String FSQL;
};
