#include "db/database_files.h"

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
