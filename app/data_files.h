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
// opened raises EInOutError.
void ReadSettingsFile(const String& FileName, TAppSettings& Settings,
                      const std::function<void(const String& Key)>& KeyRead = {});

// Writes the fifteen lines in their fixed order (CurrentSkin as it is in
// Settings). The text goes to a temporary file beside the target, which
// then replaces it, so the file is never left half written. Raises
// EInOutError when the file cannot be written.
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
// Every non-empty line of the list file. Raises EInOutError when it cannot
// be opened.
std::vector<DPType> ReadDictListFile(const String& FileName);
// Writes the entries, each as name, blank, flag. Raises EInOutError.
void WriteDictListFile(const String& FileName, const std::vector<DPType>& Entries);
