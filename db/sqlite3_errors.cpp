#include "db/sqlite3_errors.h"

#include <sqlite3.h>

#include <string>

#include "db/utf8_convert.h"
#include "platform/core/component.h"

namespace {

String codeText(int code) {
  const std::string digits = std::to_string(code);
  return String(digits.begin(), digits.end());
}

}  // namespace

ESQLite3::ESQLite3(int code, const String& message)
    : Exception(u"SQLite Error " + codeText(code) + u" - " + message),
      FErrorCode(code),
      FErrorMessage(message) {}

ESQLite3::ESQLite3(int code) : Exception(u"SQLite Error " + codeText(code)), FErrorCode(code) {}

ESQLite3::ESQLite3(const String& message) : Exception(message), FErrorMessage(message) {}

void RaiseSQLiteErrorCode(int code) { throw ESQLite3(code); }

void RaiseSQLiteError(int code, sqlite3* db) {
  if (db == nullptr) RaiseSQLiteErrorCode(code);
  const char* message = sqlite3_errmsg(db);
  throw ESQLite3(code, Utf8ToUnicode(message ? UTF8String(message) : UTF8String()));
}

void RaiseDatabaseError(std::u16string_view text, const TObject* sender) {
  String message(text);
  if (const auto* component = dynamic_cast<const TComponent*>(sender)) {
    if (!component->Name().empty()) message = component->Name() + u": " + message;
  }
  throw ESQLite3(message);
}
