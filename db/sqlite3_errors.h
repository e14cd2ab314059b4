#pragma once
// ESQLite3 and the routines that raise it. An engine failure carries the
// engine's result code (extended bits included) and its message; a misuse of
// the connection or statement classes carries code 0 and a fixed text.
#include <string_view>

#include "platform/core/exception.h"
#include "platform/core/types.h"

struct sqlite3;
class TObject;

class ESQLite3 : public Exception {
public:
  // "SQLite Error <code> - <message>"
  ESQLite3(int code, const String& message);
  // "SQLite Error <code>"
  explicit ESQLite3(int code);
  // The message as given, code 0.
  explicit ESQLite3(const String& message);

  int ErrorCode() const { return FErrorCode; }
  const String& ErrorMessage() const { return FErrorMessage; }

private:
  int FErrorCode = 0;
  String FErrorMessage;
};

// Fixed texts of the database classes. Callers may compare against them, so
// they never change (the misspelling in SMissingDatabase included).
inline constexpr std::u16string_view SDatabaseNameMissing = u"Database name missing";
inline constexpr std::u16string_view SDatabaseOpen =
    u"Cannot perform this operation on an open database";
inline constexpr std::u16string_view SEmptySQLStatement = u"Empty SQL Statement";
inline constexpr std::u16string_view SMissingDatabase = u"Missing dabatase";
inline constexpr std::u16string_view SStatementClosed =
    u"Cannot perform this operation on a closed statement";
inline constexpr std::u16string_view SStatementOpen =
    u"Cannot perform this operation on an open statement";
inline constexpr std::u16string_view SEncryptionNotSupported =
    u"Database encryption is not supported by this SQLite engine; a password cannot be used";

// Raises ESQLite3(code).
[[noreturn]] void RaiseSQLiteErrorCode(int code);
// Raises ESQLite3(code, engine message of db) when db is set, else
// ESQLite3(code). Pass the full result code.
[[noreturn]] void RaiseSQLiteError(int code, sqlite3* db);
// Raises ESQLite3 with a fixed text, prefixed "<name>: " when the sender is a
// component with a name.
[[noreturn]] void RaiseDatabaseError(std::u16string_view text, const TObject* sender);
