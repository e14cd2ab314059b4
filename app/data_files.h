#pragma once
// The three small files beside the executable: the settings file, the
// alphabet file and the dictionary list.
#include <functional>
#include <vector>

#include "app/app_state.h"
#include "platform/core/types.h"

// Reads "key=value;" lines into Settings. A key that matches nothing is
// ignored; a value that does not convert keeps the setting as it was.
// KeyRead is told every key that was stored, in file order (the caller
// applies the keys that act on the window at once). A file that cannot be
// read raises EInOutError naming it.
void ReadSettingsFile(const String& FileName, TAppSettings& Settings,
                      const std::function<void(const String& Key)>& KeyRead = {});

// Makes a colour that the settings file did not give (missing or not
// readable) stand out against the one it did give: the default stays when
// it is readable against it, else black or white, whichever differs more.
void CompleteSettingsColors(TAppSettings& Settings, bool FontColorRead, bool BgColorRead);

// Writes the fifteen lines in their fixed order (CurrentSkin as it is in
// Settings), through WriteFileReplacing.
void WriteSettingsFile(const String& FileName, const TAppSettings& Settings);

// Reads a UTF-16 alphabet file (after its byte-order mark): entries of a
// language name, ":", one separator and the letters, one per line, "#"
// ending the file. At most Max entries are kept; the end of the file ends
// it as "#" does; a file that cannot be opened gives no entries. Returns
// the number of entries.
int ReadAlphabetFile(const String& FileName, TAlphabetEntry* Entries, int Max);

// One line of the dictionary list: the name and the flag after it ("1"
// active). Names may hold blanks: a line is split at its last blank. A line
// without a blank has an empty name and the whole line as its flag.
struct DPType {
  String Name;
  String Flag;
};
DPType SplitDictListLine(const String& Line);
// Every non-empty line of the list file; none when the file does not exist
// (the next rescan writes it anew). Raises EInOutError, naming the file,
// when it exists but cannot be read.
std::vector<DPType> ReadDictListFile(const String& FileName);
// Writes the entries, each as name, blank, flag, through
// WriteFileReplacing.
void WriteDictListFile(const String& FileName, const std::vector<DPType>& Entries);

// Writes Bytes as the whole new content of FileName, as WriteFileSafely
// does (a temporary file beside it, flushed, renamed over it: a full disk
// or a crash leaves either the old file or the new one, never a cut one),
// reporting a failure as the program reports any file it cannot write:
// EInOutError with FileErrorText.
void WriteFileReplacing(const String& FileName, const RawByteString& Bytes);

// The message for a file that could not be read or written: the file's
// full path and the reason, in the program's language.
String FileErrorText(const String& FileName, bool Writing, int SystemError);
// Raises EInOutError with FileErrorText for a file that could not be read.
[[noreturn]] void RaiseReadError(const String& FileName);
