// Reading an archive's directory. Everything read here comes from an
// untrusted download, so every offset, size and count is checked against
// the file before it is used.
#include "ziplib/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "platform/core/keyed_hash.h"
#include "ziplib/ziplib.h"

namespace ziplib {

namespace {

constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr size_t kEndSize = 22;
constexpr size_t kMaxComment = 65535;

uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) { return uint32_t(le16(p)) | (uint32_t(le16(p + 2)) << 16); }
uint64_t le64(const unsigned char* p) { return uint64_t(le32(p)) | (uint64_t(le32(p + 4)) << 32); }

Failure fail(int number, std::string text) { return Failure{number, std::move(text)}; }

// The zip64 extended information of a central header: each value is there
// only when the header's own field holds its maximum.
bool applyZip64(Entry& e, bool needU, bool needC, bool needO, bool needD) {
  if (!needU && !needC && !needO && !needD) return true;
  const std::string& x = e.extra;
  size_t pos = 0;
  while (pos + 4 <= x.size()) {
    auto* p = reinterpret_cast<const unsigned char*>(x.data() + pos);
    uint16_t tag = le16(p), len = le16(p + 2);
    if (pos + 4 + len > x.size()) return false;
    if (tag == 0x0001) {
      const unsigned char* d = p + 4;
      size_t left = len;
      auto take64 = [&](uint64_t& v) {
        if (left < 8) return false;
        v = le64(d); d += 8; left -= 8;
        return true;
      };
      if (needU && !take64(e.usize)) return false;
      if (needC && !take64(e.csize)) return false;
      if (needO && !take64(e.localOffset)) return false;
      if (needD) {
        if (left < 4) return false;
        e.disk = le32(d);
      }
      return true;
    }
    pos += 4 + size_t(len);
  }
  return false;
}

// The fingerprint is keyed afresh in every run: whoever rewrites an archive
// cannot make a changed header hash like the checked one.
struct Fingerprint {
  keyedhash::Hasher h;
  void add(uint64_t v) {
    for (int i = 0; i < 8; ++i) h.AddByte(uint8_t(v >> (8 * i)));
  }
  void add(const unsigned char* p, size_t n) {
    add(uint64_t(n));
    h.AddBytes(std::string_view(reinterpret_cast<const char*>(p), n));
  }
  void add(const std::string& s) { add(reinterpret_cast<const unsigned char*>(s.data()), s.size()); }
};

}  // namespace

bool Entry::isSymlink() const {
  uint8_t host = uint8_t(madeBy >> 8);
  // Unix-like hosts keep the file type in the high half of the attributes.
  if (host == 3 || host == 19 || host == 5 || host == 16 || host == 30)
    return ((extAttr >> 16) & 0170000) == 0120000;
  return false;
}

uint32_t crc32Of(const void* data, size_t size, uint32_t crc) {
  while (size > 0) {
    uInt n = uInt(std::min<size_t>(size, 1u << 30));
    crc = uint32_t(::crc32(crc, static_cast<const Bytef*>(data), n));
    data = static_cast<const char*>(data) + n;
    size -= n;
  }
  return crc;
}

Archive::~Archive() {
  if (FFd >= 0) ::close(FFd);
}

bool Archive::readAt(uint64_t offset, void* buffer, size_t count) const {
  if (offset > FSize || count > FSize - offset) return false;
  if (FMemory) {
    std::memcpy(buffer, FMemory->data() + offset, count);
    return true;
  }
  // Small reads (local headers, the data of small entries) mostly come in
  // file order: they are served from a window read ahead, so that an
  // archive of many small entries costs no system call per header.
  constexpr size_t kSmall = 4096, kAhead = 256 * 1024;
  if (count <= kSmall) {
    if (offset < FAheadPos || offset + count > FAheadPos + FAhead.size()) {
      // Far reads (entries out of file order) read a page, not a window.
      const bool onward = offset >= FAheadPos && offset - FAheadPos <= FAhead.size() + kAhead;
      const size_t n = size_t(std::min<uint64_t>(onward ? kAhead : kSmall, FSize - offset));
      FAhead.resize(n);
      FAheadPos = offset;
      if (!readDirect(offset, FAhead.data(), n)) {
        FAhead.clear();
        return false;
      }
    }
    std::memcpy(buffer, FAhead.data() + (offset - FAheadPos), count);
    return true;
  }
  return readDirect(offset, buffer, count);
}

bool Archive::readDirect(uint64_t offset, void* buffer, size_t count) const {
  auto* out = static_cast<char*>(buffer);
  while (count > 0) {
    ssize_t n = ::pread(FFd, out, count, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    offset += uint64_t(n);
    count -= size_t(n);
  }
  return true;
}

Failure Archive::open(const std::string& path) {
  FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (FFd < 0) {
    int err = errno;
    return fail(err == ENOENT ? ZL_ERR_NOT_FOUND : ZL_ERR_OPEN_ZIP,
                path + ": " + std::strerror(err));
  }
  struct stat st;
  if (::fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) return fail(ZL_ERR_OPEN_ZIP, path + ": not a regular file");
  FSize = uint64_t(st.st_size);
  return check();
}

Failure Archive::openMemory(const std::string& bytes) {
  FMemory = &bytes;
  FSize = bytes.size();
  return check();
}

Failure Archive::check() {
  Failure f = findDirectory();
  if (!f) f = checkCentralHeaders();
  if (!f) f = checkLocalHeaders();
  if (f) FCount = 0;
  return f;
}

Failure Archive::findDirectory() {
  if (FSize < kEndSize) return fail(ZL_ERR_NO_CENTRAL, "not a zip archive (too short)");
  // The end record is found exactly as the component's lister finds it, so
  // that the list the user saw and the entries extracted are the same: a
  // record in the last 22 bytes is taken as it is (a comment length there is
  // a lie and reads as no comment); otherwise the last signature before it,
  // with a comment cut to the bytes that are really there.
  size_t tailLen = size_t(std::min<uint64_t>(FSize, kEndSize + kMaxComment));
  std::string tail(tailLen, '\0');
  uint64_t tailStart = FSize - tailLen;
  if (!readAt(tailStart, tail.data(), tailLen)) return fail(ZL_ERR_READ, "cannot read the archive");
  auto* t = reinterpret_cast<const unsigned char*>(tail.data());
  long found = -1;
  for (long i = long(tailLen - kEndSize); i >= 0; --i) {
    if (le32(t + i) == kEndSig) {
      found = i;
      break;
    }
  }
  if (found < 0) return fail(ZL_ERR_NO_CENTRAL, "not a zip archive (no end of central directory)");
  const unsigned char* end = t + found;
  uint64_t endPos = tailStart + uint64_t(found);
  uint32_t thisDisk = le16(end + 4), cdDisk = le16(end + 6);
  uint64_t onDisk = le16(end + 8), total = le16(end + 10);
  uint64_t cdSize = le32(end + 12), cdOffset = le32(end + 16);
  uint64_t recordPos = endPos;

  // The zip64 records count only when a field of the end record is at its
  // maximum: a locator in front of a complete end record is left alone.
  bool wantZip64 = thisDisk == 0xFFFF || cdDisk == 0xFFFF || onDisk == 0xFFFF || total == 0xFFFF ||
                   cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF;
  unsigned char loc[20];
  if (wantZip64 && endPos >= 20 && readAt(endPos - 20, loc, 20) && le32(loc) == kZip64LocatorSig &&
      (thisDisk != 0xFFFF || le32(loc + 16) >= 0xFFFF)) {
    if (le32(loc + 16) != 1 || le32(loc + 4) != 0) return fail(ZL_ERR_MULTIPART, "archive spans several disks");
    // Data before the archive moves the zip64 record too: a record just
    // before the locator wins over the stated place.
    uint64_t z64Pos = le64(loc + 8);
    unsigned char rec[56];
    uint64_t at = z64Pos;
    if (endPos >= 76 && z64Pos != endPos - 76 && readAt(endPos - 76, rec, 4) && le32(rec) == kZip64EndSig)
      at = endPos - 76;
    if (!readAt(at, rec, 56)) return fail(ZL_ERR_READ, "cannot read the zip64 end record");
    if (le32(rec) == kZip64EndSig) {
      uint64_t recSize = le64(rec + 4);
      if (rec[14] >= 46 || recSize < 44 || int64_t(recSize) < 0)
        return fail(ZL_ERR_STRUCTURE, "unsupported zip64 end record");
      if (cdDisk == 0xFFFF) cdDisk = le32(rec + 20);
      if (onDisk == 0xFFFF) onDisk = le64(rec + 24);
      if (total == 0xFFFF) total = le64(rec + 32);
      if (cdSize == 0xFFFFFFFF) cdSize = le64(rec + 40);
      if (cdOffset == 0xFFFFFFFF) cdOffset = le64(rec + 48);
      thisDisk = 0;
      recordPos = at;
    }
  }
  if (thisDisk != 0 || cdDisk != 0 || onDisk != total)
    return fail(ZL_ERR_MULTIPART, "archive spans several disks");
  if (cdSize > recordPos) return fail(ZL_ERR_STRUCTURE, "central directory larger than the archive");
  // Data in front of the archive (a stub, junk) shifts every offset.
  uint64_t cdStart = recordPos - cdSize;
  if (cdOffset > cdStart) return fail(ZL_ERR_STRUCTURE, "central directory offset beyond the archive");
  // As the lister does: a stated offset that disagrees with the end record's
  // place is still believed when a central header really starts there.
  unsigned char sig[4];
  if (recordPos == endPos && cdOffset != cdStart && readAt(cdOffset, sig, 4) && le32(sig) == kCentralSig)
    cdStart = cdOffset;
  // Each central header takes at least 46 bytes: a count the directory
  // cannot hold is a lie and is refused before anything is allocated.
  if (total > cdSize / 46) return fail(ZL_ERR_STRUCTURE, "entry count larger than the directory can hold");
  FCentralStart = cdStart;
  FCentralSize = std::min(cdSize, FSize - cdStart);
  FShift = cdStart - cdOffset;
  FCount = total;
  return {};
}

const unsigned char* Archive::Cursor::window(size_t count) {
  if (FPos > FArchive.FCentralSize || count > FArchive.FCentralSize - FPos) return nullptr;
  if (FArchive.FMemory)
    return reinterpret_cast<const unsigned char*>(FArchive.FMemory->data() + FArchive.FCentralStart + FPos);
  if (FPos < FBufferPos || FPos + count > FBufferPos + FBuffer.size()) {
    size_t n = size_t(std::min<uint64_t>(std::max(count, FWindow), FArchive.FCentralSize - FPos));
    FBuffer.resize(n);
    FBufferPos = FPos;
    if (!FArchive.readAt(FArchive.FCentralStart + FPos, FBuffer.data(), n)) {
      FBuffer.clear();
      return nullptr;
    }
  }
  return reinterpret_cast<const unsigned char*>(FBuffer.data() + (FPos - FBufferPos));
}

bool Archive::Cursor::next(Entry& e, Failure* failure, uint64_t index) {
  auto broken = [&](int number, std::string text) {
    if (failure) *failure = fail(number, std::move(text));
    return false;
  };
  const unsigned char* h = window(46);
  if (!h || le32(h) != kCentralSig)
    return broken(ZL_ERR_STRUCTURE, "a central header signature is wrong (entry " + std::to_string(index + 1) + ")");
  e.madeBy = le16(h + 4);
  e.needed = le16(h + 6);
  e.flags = le16(h + 8);
  e.method = le16(h + 10);
  e.dosTime = le32(h + 12);
  e.crc = le32(h + 16);
  e.csize = le32(h + 20);
  e.usize = le32(h + 24);
  size_t n = le16(h + 28), x = le16(h + 30), m = le16(h + 32);
  e.disk = le16(h + 34);
  e.extAttr = le32(h + 38);
  e.localOffset = le32(h + 42);
  e.dataStart = 0;
  h = window(46 + n + x + m);
  if (!h)
    return broken(ZL_ERR_STRUCTURE, "central header runs past the directory (entry " + std::to_string(index + 1) + ")");
  e.rawName.assign(reinterpret_cast<const char*>(h + 46), n);
  e.extra.assign(reinterpret_cast<const char*>(h + 46 + n), x);
  // Only a header that says it needs zip64 (version 4.5) carries the zip64
  // field; in an older header 0xFFFFFFFF is the value itself.
  bool z64 = (e.needed & 0xFF) >= 45;
  bool needU = z64 && e.usize == 0xFFFFFFFF, needC = z64 && e.csize == 0xFFFFFFFF;
  bool needO = z64 && e.localOffset == 0xFFFFFFFF, needD = z64 && e.disk == 0xFFFF;
  if (!applyZip64(e, needU, needC, needO, needD))
    return broken(ZL_ERR_STRUCTURE, "zip64 field missing or too short (entry " + std::to_string(index + 1) + ")");
  if (e.disk != 0) return broken(ZL_ERR_MULTIPART, "entry on another disk");
  if (e.localOffset > UINT64_MAX - FArchive.FShift) return broken(ZL_ERR_STRUCTURE, "local header offset out of range");
  e.localOffset += FArchive.FShift;
  e.nameError.clear();
  const std::string_view comment(reinterpret_cast<const char*>(h + 46 + n + x), m);
  if (!decodeName(e, e.name, e.nameError, FArchive.FEncoding, comment)) e.name.clear();
  else e.nameError.clear();
  FPos += 46 + n + x + m;
  return true;
}

uint64_t Archive::fingerprint(const Entry& e, const unsigned char* local, size_t localSize) const {
  Fingerprint k;
  k.add(uint64_t(e.madeBy) | uint64_t(e.needed) << 16 | uint64_t(e.flags) << 32 | uint64_t(e.method) << 48);
  k.add(uint64_t(e.dosTime) | uint64_t(e.crc) << 32);
  k.add(e.csize);
  k.add(e.usize);
  k.add(e.localOffset);
  k.add(uint64_t(e.disk) | uint64_t(e.extAttr) << 32);
  k.add(e.rawName);
  k.add(e.extra);
  k.add(local, localSize);
  return k.h.Finish();
}

bool Archive::unchanged(uint64_t index, const Entry& e) const {
  if (index >= FChecked.size() || e.localOffset >= FCentralStart || e.rawName.size() > 0xFFFF) return false;
  unsigned char local[30 + 0xFFFF];
  const size_t n = 30 + e.rawName.size();
  if (!readAt(e.localOffset, local, n) || le32(local) != kLocalSig) return false;
  // Equal fingerprints mean the offset, sizes, name and local extra length
  // the check accepted: the data range is the one found inside the archive
  // and apart from every other entry.
  return fingerprint(e, local, n) == FChecked[size_t(index)] && e.dataStart <= FCentralStart &&
         e.csize <= FCentralStart - e.dataStart;
}

bool Archive::entryAt(uint64_t position, Entry& e) const {
  // One header: its fixed part and, in a second read, whatever follows.
  Cursor c(*this, position, 46 + 256);
  return c.next(e);
}

Failure Archive::checkCentralHeaders() {
  Cursor c(*this);
  Entry e;
  Failure f;
  for (uint64_t i = 0; i < FCount; ++i)
    if (!c.next(e, &f, i)) return f;
  return {};
}

Failure Archive::checkLocalHeaders() {
  struct Range {
    uint64_t begin, end;
  };
  std::vector<Range> ranges;
  ranges.reserve(size_t(FCount));
  FLocalExtra.assign(size_t(FCount), 0);
  FChecked.assign(size_t(FCount), 0);
  Cursor c(*this);
  Entry e;
  std::string local;
  for (uint64_t i = 0; i < FCount; ++i) {
    if (!c.next(e)) return fail(ZL_ERR_READ, "cannot read the central directory");
    const std::string who = e.name.empty() ? std::string("entry ") + std::to_string(i + 1) : e.name;
    // The header and the name it should carry, in one read.
    local.resize(30 + e.rawName.size());
    auto* h = reinterpret_cast<const unsigned char*>(local.data());
    if (e.localOffset >= FCentralStart || !readAt(e.localOffset, local.data(), local.size()) || le32(h) != kLocalSig)
      return fail(ZL_ERR_INVALID_ZIP, "error while reading a local header: " + who);
    size_t n = le16(h + 26), x = le16(h + 28);
    if (n != e.rawName.size() || local.compare(30, n, e.rawName) != 0)
      return fail(ZL_ERR_INVALID_ZIP, "local and central names different: " + who);
    if ((le16(h + 6) & 1) != (e.flags & 1))
      return fail(ZL_ERR_INVALID_ZIP, "local and central headers disagree on encryption: " + who);
    e.dataStart = e.localOffset + 30 + n + x;
    if (e.dataStart > FCentralStart || e.csize > FCentralStart - e.dataStart)
      return fail(ZL_ERR_UNEXPECTED_END, "entry data runs past the end of the archive: " + who);
    FLocalExtra[size_t(i)] = uint16_t(x);
    FChecked[size_t(i)] = fingerprint(e, h, local.size());
    ranges.push_back({e.localOffset, e.dataStart + e.csize});
  }
  // Two entries that share bytes are the mark of a crafted archive (one
  // block of data inflated many times over): refuse the whole archive.
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.begin < b.begin || (a.begin == b.begin && a.end < b.end); });
  for (size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].begin >= ranges[i - 1].end) continue;
    // Named in the message: the entries are found again by their ranges.
    const Range a = ranges[i - 1], b = ranges[i];
    std::vector<Range>().swap(ranges);
    std::string first = "?", second = "?";
    bool haveFirst = false;
    forEach([&](uint64_t, const Entry& x, uint64_t) {
      uint64_t end = x.dataStart + x.csize;
      if (!haveFirst && x.localOffset == a.begin && end == a.end) {
        haveFirst = true;
        if (!x.name.empty()) first = x.name;
      } else if (x.localOffset == b.begin && end == b.end && second == "?") {
        if (!x.name.empty()) second = x.name;
      }
      return true;
    });
    return fail(ZL_ERR_INVALID_ZIP, "overlapping entries: " + first + " and " + second);
  }
  return {};
}

}  // namespace ziplib
