#include "db/database_files.h"

#include "db/utf8_convert.h"
#include "platform/core/files.h"

namespace {

// A name with a zero unit would reach the system cut short and could name a
// different file than the caller meant.
bool hasZeroUnit(const String& name) { return name.find(u'\0') != String::npos; }

}  // namespace

bool DeleteDatabaseFile(const String& name) {
  return !hasZeroUnit(name) && DeleteFile(name);
}

bool DatabaseFileExists(const String& name) {
  return !hasZeroUnit(name) && FileExists(name);
}

String ExpandDatabaseFileName(const String& name) { return ExpandFileName(name); }

UTF8String DatabaseFileUri(const String& name) {
  const UTF8String path = UnicodeToUtf8(name);
  static const char hex[] = "0123456789ABCDEF";
  // An absolute path gets an empty authority ("file:///..."), so that a
  // path beginning with "//" is never read as a host name.
  UTF8String uri = !path.empty() && path[0] == '/' ? "file://" : "file:";
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      uri += ch;
    } else {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    }
  }
  return uri;
}
