#pragma once
// File routines used when creating a database file and when reporting one
// that cannot be opened. Names are UTF-16 and go to the file system as UTF-8.
#include "platform/core/types.h"

// True when the file was removed.
bool DeleteDatabaseFile(const String& name);
// True when the name denotes an existing entry that is not a folder.
bool DatabaseFileExists(const String& name);
// The absolute form of the name: relative names are taken against the
// process's current folder; "." and ".." segments and repeated separators are
// resolved by text alone (links are not followed). Empty stays empty.
String ExpandDatabaseFileName(const String& name);

// The engine's URI form of a file name ("file:" and the path, every byte
// other than letters, digits, "-._~/" percent-escaped), to which query
// parameters such as "?immutable=1" may be appended. Relative names stay
// relative to the current folder. The name holds no zero unit.
UTF8String DatabaseFileUri(const String& name);
