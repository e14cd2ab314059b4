#pragma once
// The library's view of one archive: its directory read from the central
// records and checked against the file before anything is extracted.
#include <cstdint>
#include <string>
#include <vector>

namespace ziplib {

struct Entry {
  uint16_t madeBy = 0;
  uint16_t needed = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosTime = 0;  // time in the low half, date in the high half
  uint32_t crc = 0;
  uint64_t csize = 0;
  uint64_t usize = 0;
  uint64_t localOffset = 0;  // already corrected for data before the archive
  uint32_t disk = 0;
  uint32_t extAttr = 0;
  std::string rawName;
  std::string extra;
  std::string name;  // decoded UTF-8 with '/' separators; empty when refused
  std::string nameError;  // why the name was refused
  uint64_t dataStart = 0;  // known after the local header was checked
  bool isDir() const { return !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\'); }
  bool encrypted() const { return (flags & 1) != 0; }
  bool isSymlink() const;
};

// A failure with the library's error number and a text for the user.
struct Failure {
  int number = 0;
  std::string text;
  explicit operator bool() const { return number != 0; }
};

class Archive {
public:
  Archive() = default;
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;
  ~Archive();

  // Opens the file and reads the whole directory; every entry's local
  // header is checked and overlapping entries are refused.
  Failure open(const std::string& path);
  // Reads the directory from memory (the same checks; for tests and fuzzing).
  Failure openMemory(const std::string& bytes);

  std::vector<Entry>& entries() { return FEntries; }
  uint64_t size() const { return FSize; }
  // Reads count bytes at offset; false on a short read.
  bool readAt(uint64_t offset, void* buffer, size_t count) const;
  int fd() const { return FFd; }

private:
  Failure readDirectory();
  Failure checkLocalHeaders();
  int FFd = -1;
  const std::string* FMemory = nullptr;
  uint64_t FSize = 0;
  uint64_t FCentralStart = 0;  // where entry data must end
  std::vector<Entry> FEntries;
};

// Name rules shared by the reader and the extractor.
// Decodes a stored name to UTF-8 by its flags, host and Unicode path field;
// false (with a reason) when it cannot be decoded.
bool decodeName(const Entry& e, std::string& out, std::string& reason);
// True when text is well-formed UTF-8 (no overlong forms, surrogates or
// values above U+10FFFF).
bool isValidUtf8(const std::string& text);
// Splits a decoded name into safe relative path parts; false (with a
// reason) for names that would leave the destination or that no file
// system here can hold.
bool safeParts(const std::string& name, std::vector<std::string>& parts, std::string& reason);
// Case-insensitive wildcard match ('*', '?', '/' equal to '\').
bool specMatches(const std::string& spec, const std::string& name);

uint32_t crc32Of(const void* data, size_t size, uint32_t crc = 0);

}  // namespace ziplib
