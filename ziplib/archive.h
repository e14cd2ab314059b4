#pragma once
// The library's view of one archive: its directory read from the central
// records and checked against the file before anything is extracted.
#include <cstdint>
#include <string>
#include <string_view>
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
  uint64_t dataStart = 0;  // where the data begins, after the local header
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

// An archive's directory is not kept in memory: an archive of a million
// entries would cost hundreds of megabytes. Opening checks every central
// header, every local header and the entries' byte ranges; afterwards the
// entries are read again, one by one and in order, from the central
// directory (forEach, entryAt). Per entry only the length of the local
// extra field is kept, to find its data.
class Archive {
public:
  Archive() = default;
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;
  ~Archive();

  // Opens the file and checks the whole directory; every entry's local
  // header is checked and overlapping entries are refused.
  Failure open(const std::string& path);
  // Reads the directory from memory (the same checks; for tests and fuzzing).
  Failure openMemory(const std::string& bytes);
  // How names are decoded (ZL_ENC_...); set before opening.
  void setNameEncoding(int encoding) { FEncoding = encoding; }

  uint64_t count() const { return FCount; }
  // Calls visit(index, entry, position) for each entry in directory order,
  // position being where its central header starts (for entryAt); stops
  // early when visit returns false. Entries come with their dataStart.
  // False when a header could not be read again (the file changed).
  template <typename Visit>
  bool forEach(Visit visit) const {
    Entry e;
    // Each walk reads the file as it is now, not what an earlier one read
    // ahead; whether it still is what the check found, unchanged() tells.
    FAhead.clear();
    FAheadPos = 0;
    Cursor c(*this);
    for (uint64_t i = 0; i < FCount; ++i) {
      uint64_t at = c.position();
      if (!c.next(e)) return false;
      e.dataStart = e.localOffset + 30 + e.rawName.size() + (i < FLocalExtra.size() ? FLocalExtra[size_t(i)] : 0);
      if (!visit(i, e, at)) return true;
    }
    return true;
  }
  // True when the entry at index (as forEach gave it) and its local header
  // are still what the check found: the same name, sizes, offset, fields
  // and local header. The file can be rewritten between the check and the
  // extraction; an entry that fails here must not be extracted.
  bool unchanged(uint64_t index, const Entry& e) const;
  // The entry whose central header starts at position (as forEach gave it),
  // without its dataStart; false when it cannot be read.
  bool entryAt(uint64_t position, Entry& e) const;
  uint64_t size() const { return FSize; }
  // Reads count bytes at offset; false on a short read.
  bool readAt(uint64_t offset, void* buffer, size_t count) const;
  int fd() const { return FFd; }

private:
  // Reads central headers in order from a window of the directory.
  class Cursor {
  public:
    // window: bytes read at a time (more when one header needs more).
    explicit Cursor(const Archive& a, uint64_t from = 0, size_t window = 1 << 20)
        : FArchive(a), FPos(from), FWindow(window) {}
    // The next entry (fields, names, zip64 values applied, offset shifted);
    // false with failure set when the header is broken.
    bool next(Entry& e, Failure* failure = nullptr, uint64_t index = 0);
    uint64_t position() const { return FPos; }

  private:
    // A pointer to count bytes of the directory at FPos, or null.
    const unsigned char* window(size_t count);
    const Archive& FArchive;
    uint64_t FPos;  // within the directory
    size_t FWindow;
    std::string FBuffer;
    uint64_t FBufferPos = 0;
  };
  bool readDirect(uint64_t offset, void* buffer, size_t count) const;
  Failure check();
  Failure findDirectory();
  Failure checkCentralHeaders();
  Failure checkLocalHeaders();
  int FFd = -1;
  const std::string* FMemory = nullptr;
  uint64_t FSize = 0;
  uint64_t FCentralStart = 0;  // where entry data must end
  uint64_t FCentralSize = 0;
  uint64_t FShift = 0;  // data in front of the archive
  uint64_t FCount = 0;
  int FEncoding = 0;
  std::vector<uint16_t> FLocalExtra;
  // Per entry, a keyed hash of its central fields and local header as they
  // were checked: 8 bytes instead of a copy of the headers.
  std::vector<uint64_t> FChecked;
  uint64_t fingerprint(const Entry& e, const unsigned char* local, size_t localSize) const;
  mutable std::string FAhead;  // read ahead for small reads
  mutable uint64_t FAheadPos = 0;
};

// Name rules shared by the reader and the extractor.
// Decodes a stored name to UTF-8 by the component's name encoding setting
// (ZL_ENC_..., the command's field 6) or, when automatic, by its flags,
// host and Unicode fields (comment: the entry's stored comment bytes);
// false (with a reason) when it cannot be decoded.
bool decodeName(const Entry& e, std::string& out, std::string& reason, int encoding = 0, std::string_view comment = {});
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
