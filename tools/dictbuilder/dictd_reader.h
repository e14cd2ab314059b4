#pragma once
// Reads a dictionary in the dictd format: a text index of
// "headword TAB offset TAB length" lines, offsets and lengths in dictd's
// base-64 digits, pointing into a data file that may be gzip-compressed.
#include <string>
#include <vector>

#include "platform/core/types.h"

namespace dictbuilder {

struct DictdEntry {
  UTF8String Headword;
  UTF8String Text;
};

struct DictdDictionary {
  std::vector<DictdEntry> Entries;  // in index order, "00-database-" entries left out
  UTF8String ShortName;             // the "00-database-short" text, trimmed
};

// Decodes one dictd base-64 number; returns false on a character outside the
// alphabet, an empty text or a value that does not fit in 48 bits.
bool DecodeDictdNumber(const std::string& text, uint64_t& value);

// Reads the whole dictionary. Raises EDictBuilder naming the file and line
// for a malformed index line or an entry that points outside the data.
DictdDictionary ReadDictd(const std::string& indexPath, const std::string& dataPath);

// Reads a whole file, decompressing it when it is gzip (".dz" files are).
std::string ReadMaybeGzipFile(const std::string& path);

}  // namespace dictbuilder
