// Extracting entries. Each file is written to a fresh temporary file beside
// its target, under folders opened one by one without following links, and
// only renamed into place after its size and CRC matched: a failed or
// cancelled extraction never leaves a partial file or damages an existing one.
#include "ziplib/extract.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <bit>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <zlib.h>

#include "platform/core/files_temporary.h"
#include "ziplib/archive.h"
#include "ziplib/callbacks.h"
#include "ziplib/written_paths.h"

namespace ziplib {

namespace {

constexpr size_t kChunk = 256 * 1024;

std::string utf16ToUtf8(const uint16_t* s) {
  std::string out;
  if (!s) return out;
  for (; *s; ++s) {
    uint32_t c = *s;
    if (c >= 0xD800 && c <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[1] - 0xDC00);
      ++s;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Traditional zip encryption: the stream cipher keyed by the password.
class ZipCrypto {
public:
  explicit ZipCrypto(const std::string& password) {
    for (unsigned char c : password) update(c);
  }
  unsigned char decrypt(unsigned char c) {
    uint32_t t = (FKeys[2] | 2) & 0xFFFF;
    unsigned char b = c ^ static_cast<unsigned char>((t * (t ^ 1)) >> 8);
    update(b);
    return b;
  }

private:
  static uint32_t crcByte(uint32_t crc, unsigned char b) {
    static const z_crc_t* table = get_crc_table();
    return uint32_t(table[(crc ^ b) & 0xFF]) ^ (crc >> 8);
  }
  void update(unsigned char c) {
    FKeys[0] = crcByte(FKeys[0], c);
    FKeys[1] = (FKeys[1] + (FKeys[0] & 0xFF)) * 134775813u + 1;
    FKeys[2] = crcByte(FKeys[2], static_cast<unsigned char>(FKeys[1] >> 24));
  }
  uint32_t FKeys[3] = {0x12345678, 0x23456789, 0x34567890};
};

time_t dosToTime(uint32_t dos) {
  // mktime looks at the time zone file on every call: the start of the
  // hour is made once per hour met (entries of an archive share a few).
  static thread_local uint32_t lastHour = 0;
  static thread_local time_t lastStart = -1;
  const uint32_t hour = dos & ~uint32_t(0x7FF);
  if (lastStart == -1 || hour != lastHour) {
    struct tm t {};
    t.tm_hour = int((hour >> 11) & 0x1F);
    t.tm_mday = int((hour >> 16) & 0x1F);
    t.tm_mon = int((hour >> 21) & 0x0F) - 1;
    t.tm_year = int((hour >> 25) & 0x7F) + 80;
    t.tm_isdst = -1;
    if (t.tm_mday == 0) t.tm_mday = 1;
    if (t.tm_mon < 0) t.tm_mon = 0;
    lastStart = mktime(&t);
    lastHour = hour;
  }
  if (lastStart == -1) return -1;
  return lastStart + time_t((dos >> 5) & 0x3F) * 60 + time_t(dos & 0x1F) * 2;
}

// The modification time of the extended timestamp field, when present.
bool unixTime(const Entry& e, time_t& out) {
  const std::string& x = e.extra;
  size_t pos = 0;
  while (pos + 4 <= x.size()) {
    auto* p = reinterpret_cast<const unsigned char*>(x.data() + pos);
    size_t len = size_t(p[2] | (p[3] << 8));
    if (pos + 4 + len > x.size()) return false;
    if (p[0] == 0x55 && p[1] == 0x54 && len >= 5 && (p[4] & 1)) {
      out = time_t(int32_t(uint32_t(p[5]) | (uint32_t(p[6]) << 8) | (uint32_t(p[7]) << 16) | (uint32_t(p[8]) << 24)));
      return true;
    }
    pos += 4 + len;
  }
  return false;
}

// Puts a finished temporary in place of the file of that name in one step.
// The two names are swapped and the old file, now under the temporary
// name, is removed: on ext4 a rename over an existing file starts writing
// the new one out at once, which made replacing many small files twice as
// slow as creating them. Where swapping is not offered, the plain rename.
bool replaceWith(int dir, const std::string& tmp, const std::string& leaf) {
  if (::renameat2(dir, tmp.c_str(), dir, leaf.c_str(), RENAME_EXCHANGE) == 0) {
    if (::unlinkat(dir, tmp.c_str(), 0) == 0) return true;
    // Something else than a file took the name meanwhile (a folder): it
    // gets its name back and nothing is replaced.
    int err = errno;
    ::renameat2(dir, tmp.c_str(), dir, leaf.c_str(), RENAME_EXCHANGE);
    errno = err;
    return false;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOENT && errno != EOPNOTSUPP) return false;
  return ::renameat(dir, tmp.c_str(), dir, leaf.c_str()) == 0;
}

// Open folders kept at once: a quarter of the process's file limit, so that
// archives spreading entries over many folders do not reopen them per entry.
size_t dirCacheCapacity() {
  static const size_t capacity = [] {
    rlimit rl{};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return size_t(4096);
    return std::clamp<size_t>(size_t(rl.rlim_cur / 4), 64, 4096);
  }();
  return capacity;
}

class Job : private Reporter {
public:
  Job(ZLCommand* cmd, std::atomic<bool>& abortFlag) : Reporter(cmd, abortFlag) {
    ::clock_gettime(CLOCK_REALTIME, &FStart);
  }
  ~Job() {
    for (auto& [path, fd] : FDirs)
      if (fd >= 0) ::close(fd);
  }

  int32_t run(uint32_t abortHandle);

private:
  static std::string answerText(const ZLCallbackRec& rec) {
    if (!rec.Msg) return {};
    if (rec.IsUTF16) return utf16ToUtf8(static_cast<const uint16_t*>(rec.Msg));
    if (rec.Arg1 > 0) return std::string(static_cast<const char*>(rec.Msg), size_t(rec.Arg1));
    return std::string(static_cast<const char*>(rec.Msg));
  }
  // A setting of the component; found is false when it has none.
  std::string request(int sub, int index = 0, bool* found = nullptr) {
    ZLCallbackRec rec{};
    int32_t r = call(ZL_CB_REQUEST, nullptr, 0, 0, sub, 0, index, &rec);
    if (found) *found = r == 1;
    return r == 1 ? answerText(rec) : std::string();
  }
  // An entry that is not extracted: the error message first (it is what the
  // component keeps as the operation's error), then the skip report.
  void skipped(const std::string& name, int number, int skipType, const std::string& text) {
    message(number, text);
    if (call(ZL_CB_SKIPPED, name.c_str(), 0, 0, number, skipType + 1) == 1 && !FStop) FStop = ZL_ERR_SKIPPED_FILES;
  }

  // ---- file system
  int dirFd(const std::vector<std::string>& parts, size_t count, std::string& reason);
  bool writtenPath(const Entry& e, std::vector<std::string>& parts, std::string& rel, std::string& reason) const;
  bool extractEntry(size_t index, Entry& e, uint64_t position);
  bool writeData(Entry& e, int outFd, const std::string& password, std::string& reason, int& number);
  std::string password(const Entry& e);
  bool linkInPlace(int fd, int dir, const std::string& leaf, std::string& reason);

  Archive FArchive;
  std::string FBase;
  // Keyed by folder names from the archive: hashed with the run's key.
  std::unordered_map<std::string, int, keyedhash::StringHash> FDirs;
  std::unordered_set<std::string, keyedhash::StringHash> FSwept;    // folders already cleared of leftovers
  std::unordered_set<std::string, keyedhash::StringHash> FCreated;  // folders this run made: only its own files are in them
  timespec FStart{};
  bool FAnonymous = ::access("/proc/self/fd", X_OK) == 0;  // files without a name can be linked in
  WrittenPaths FWritten;
  std::string FPassword;
  bool FAskedPassword = false;
  int64_t FTotalWritten = 0;
  std::vector<char> FIn, FOut;
};

int Job::dirFd(const std::vector<std::string>& parts, size_t count, std::string& reason) {
  std::string key;
  for (size_t i = 0; i < count; ++i) key += parts[i] + '/';
  auto it = FDirs.find(key);
  if (it != FDirs.end()) return it->second;
  int fd;
  if (count == 0) {
    fd = ::open(FBase.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) reason = "cannot open the destination folder: " + std::string(std::strerror(errno));
  } else {
    int parent = dirFd(parts, count - 1, reason);
    if (parent < 0) return -1;
    const char* name = parts[count - 1].c_str();
    fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      if (::mkdirat(parent, name, 0777) == 0) {
        FCreated.insert(key);
      } else if (errno != EEXIST) {
        reason = "cannot create folder " + key + ": " + std::strerror(errno);
        return -1;
      }
      fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
      reason = (errno == ELOOP || errno == ENOTDIR) ? key + " is a symbolic link or not a folder"
                                                    : "cannot open folder " + key + ": " + std::strerror(errno);
    }
  }
  if (fd < 0) return -1;
  if (!FCreated.count(key) && FSwept.insert(key).second) SweepLeftoverTemporaries(fd, FStart);
  if (FDirs.size() > dirCacheCapacity()) {
    // Keep within the process's file limit: archives with more folders
    // than that reopen them.
    for (auto& [path, open] : FDirs)
      if (open >= 0 && path.size() > 0) ::close(open);
    std::erase_if(FDirs, [](const auto& kv) { return !kv.first.empty(); });
  }
  FDirs.emplace(key, fd);
  return fd;
}

// Gives a finished file without a name its name; a file that appeared
// there meanwhile is replaced through a temporary name, as always.
bool Job::linkInPlace(int fd, int dir, const std::string& leaf, std::string& reason) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), dir, leaf.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno == EEXIST) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string tmp = NewTemporaryName();
      if (::linkat(AT_FDCWD, self.c_str(), dir, tmp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        if (errno == EEXIST) continue;
        break;
      }
      if (::renameat(dir, tmp.c_str(), dir, leaf.c_str()) == 0) return true;
      int err = errno;
      ::unlinkat(dir, tmp.c_str(), 0);
      errno = err;
      break;
    }
  }
  reason = std::string("cannot put the file in place: ") + std::strerror(errno);
  return false;
}

std::string Job::password(const Entry& e) {
  if (!FPassword.empty()) return FPassword;
  if (!FAskedPassword) {
    FAskedPassword = true;
    FPassword = request(ZL_REQ_PASSWORD);
    if (!FPassword.empty()) return FPassword;
  }
  if (FCmd->PasswordReqCount <= 0) return {};
  ZLCallbackRec rec{};
  int32_t r = call(ZL_CB_PASSWORD, e.name.c_str(), 0, 0, FCmd->PasswordReqCount, 0, 0, &rec);
  if (r == 1) FPassword = answerText(rec);
  FCmd->PasswordReqCount = (r == 1 && rec.Arg1 > 0) ? rec.Arg1 : 0;
  return FPassword;
}

bool Job::writeData(Entry& e, int outFd, const std::string& pw, std::string& reason, int& number) {
  uint64_t left = e.csize;
  uint64_t at = e.dataStart;
  std::unique_ptr<ZipCrypto> crypto;
  if (e.encrypted()) {
    if (left < 12) {
      number = ZL_ERR_STRUCTURE;
      reason = "encrypted entry too short";
      return false;
    }
    crypto = std::make_unique<ZipCrypto>(pw);
    unsigned char head[12];
    if (!FArchive.readAt(at, head, 12)) {
      number = ZL_ERR_UNEXPECTED_END;
      reason = "unexpected end of archive";
      return false;
    }
    unsigned char last = 0;
    for (unsigned char c : head) last = crypto->decrypt(c);
    unsigned char expect = (e.flags & 8) ? static_cast<unsigned char>(e.dosTime >> 8) : static_cast<unsigned char>(e.crc >> 24);
    if (last != expect) {
      number = ZL_ERR_PASSWORD_FAILED;
      reason = "wrong password";
      return false;
    }
    at += 12;
    left -= 12;
  }
  if (e.method == 0 && left != e.usize) {
    number = ZL_ERR_STRUCTURE;
    reason = "stored entry whose sizes differ";
    return false;
  }
  z_stream zs{};
  bool inflating = e.method == 8;
  if (inflating && inflateInit2(&zs, -15) != Z_OK) {
    number = ZL_ERR_NOMEMORY;
    reason = "cannot start inflating";
    return false;
  }
  struct End {
    z_stream* zs;
    bool on;
    ~End() { if (on) inflateEnd(zs); }
  } end{&zs, inflating};

  FIn.resize(kChunk);
  FOut.resize(kChunk);
  uint32_t crc = 0;
  uint64_t produced = 0;
  size_t pending = 0;
  bool streamEnd = false;
  auto emit = [&](const char* data, size_t n) -> bool {
    if (n == 0) return true;
    const size_t count = n;
    // Never more than the entry declares: an archive that claims a small
    // entry cannot fill the disk with a huge one.
    if (n > e.usize - produced) {
      number = ZL_ERR_STRUCTURE;
      reason = "entry inflates beyond its declared size";
      return false;
    }
    crc = crc32Of(data, n, crc);
    produced += n;
    if (outFd >= 0) {
      while (n > 0) {
        ssize_t w = ::write(outFd, data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          number = ZL_ERR_WRITE;
          reason = std::string("write error: ") + std::strerror(errno);
          return false;
        }
        data += w;
        n -= size_t(w);
      }
    }
    FTotalWritten += int64_t(count);
    // Progress every chunk of output, and a chance to cancel with it.
    pending += count;
    if (pending >= kChunk) {
      call(ZL_CB_PROGRESS, nullptr, int64_t(pending), FTotalWritten);
      pending = 0;
      if (stopped()) return false;
    }
    return true;
  };
  while (inflating ? !streamEnd : left > 0) {
    if (stopped()) return false;
    size_t n = size_t(std::min<uint64_t>(left, kChunk));
    if (n == 0) {
      number = ZL_ERR_UNEXPECTED_END;
      reason = "compressed data ends early";
      return false;
    }
    if (!FArchive.readAt(at, FIn.data(), n)) {
      number = ZL_ERR_READ;
      reason = "cannot read entry data";
      return false;
    }
    at += n;
    left -= n;
    if (crypto)
      for (size_t i = 0; i < n; ++i) FIn[i] = char(crypto->decrypt(static_cast<unsigned char>(FIn[i])));
    if (!inflating) {
      if (!emit(FIn.data(), n)) return false;
    } else {
      zs.next_in = reinterpret_cast<Bytef*>(FIn.data());
      zs.avail_in = uInt(n);
      do {
        zs.next_out = reinterpret_cast<Bytef*>(FOut.data());
        zs.avail_out = uInt(FOut.size());
        uInt inBefore = zs.avail_in;
        int r = inflate(&zs, Z_NO_FLUSH);
        if (r == Z_STREAM_END) {
          streamEnd = true;
        } else if (r != Z_OK && r != Z_BUF_ERROR) {
          number = ZL_ERR_STRUCTURE;
          reason = std::string("corrupt compressed data") + (zs.msg ? std::string(" (") + zs.msg + ")" : "");
          return false;
        }
        size_t got = FOut.size() - zs.avail_out;
        if (!emit(FOut.data(), got)) return false;
        if (got == 0 && zs.avail_in == inBefore) break;
      } while (!streamEnd && (zs.avail_out == 0 || zs.avail_in > 0));
    }
  }
  if (pending > 0) call(ZL_CB_PROGRESS, nullptr, int64_t(pending), FTotalWritten);
  if (stopped()) return false;
  if (inflating && !streamEnd) {
    number = ZL_ERR_UNEXPECTED_END;
    reason = "compressed data ends early";
    return false;
  }
  if (produced != e.usize) {
    number = ZL_ERR_STRUCTURE;
    reason = "entry is shorter than its declared size";
    return false;
  }
  if (crc != e.crc) {
    // The component may insist on keeping the data (its CRC event); by
    // default a CRC mismatch keeps nothing.
    if (call(ZL_CB_CRCERROR, e.name.c_str(), 0, 0, int32_t(crc), int32_t(e.crc)) == 1) return true;
    number = ZL_ERR_GENERIC;
    reason = "CRC error";
    return false;
  }
  return true;
}

// The path under the destination that an entry is written to, as its
// parts joined by '/'; false for names that are never written.
bool Job::writtenPath(const Entry& e, std::vector<std::string>& parts, std::string& rel, std::string& reason) const {
  if (e.name.empty() || !safeParts(e.name, parts, reason)) return false;
  if (!(FCmd->Options & ZL_OPT_DIRNAMES)) parts = {parts.back()};
  rel.clear();
  for (const auto& p : parts) rel += (rel.empty() ? "" : "/") + p;
  return true;
}

bool Job::extractEntry(size_t index, Entry& e, uint64_t position) {
  const uint32_t opts = FCmd->Options;
  const bool test = (opts & ZL_OPT_TEST) != 0;
  const std::string shown = e.name.empty() ? "entry " + std::to_string(index + 1) : e.name;
  std::vector<std::string> parts;
  std::string reason, rel;
  if (!writtenPath(e, parts, rel, reason)) {
    skipped(shown, ZL_ERR_BAD_NAME, 4, (e.name.empty() ? e.nameError : reason) + ": " + shown);
    return false;
  }
  // A file of this name would be taken for a killed run's leftover and
  // swept by the next extraction into its folder: the name is the
  // temporaries' alone.
  if (!e.isDir() && IsOwnTemporaryName(parts.back().c_str())) {
    skipped(shown, ZL_ERR_BAD_NAME, 4, "name reserved for temporary files: " + shown);
    return false;
  }
  if (e.isSymlink()) {
    skipped(shown, ZL_ERR_SKIPPING, 10, "symbolic link not extracted: " + shown);
    return false;
  }
  if (!(opts & ZL_OPT_DIRNAMES) && e.isDir()) return true;
  if (e.isDir()) {
    if (test) return true;
    if (dirFd(parts, parts.size(), reason) < 0) {
      skipped(shown, ZL_ERR_CREATE, 8, reason);
      return false;
    }
    return true;
  }
  auto same = [&](uint64_t earlier) {
    std::vector<std::string> otherParts;
    std::string otherRel, otherReason;
    Entry other;
    return FArchive.entryAt(earlier, other) && writtenPath(other, otherParts, otherRel, otherReason) &&
           otherRel == rel;
  };
  if (!FWritten.insert(rel, position, same)) {
    skipped(shown, ZL_ERR_DUPLICATE, 15, "duplicate name in the archive: " + shown);
    return false;
  }
  if (e.method != 0 && e.method != 8) {
    skipped(shown, ZL_ERR_GENERIC, 5, "unsupported compression method " + std::to_string(e.method) + ": " + shown);
    return false;
  }
  std::string pw;
  if (e.encrypted()) {
    if (e.flags & 0x40) {
      skipped(shown, ZL_ERR_GENERIC, 5, "unsupported encryption: " + shown);
      return false;
    }
    pw = password(e);
    if (pw.empty()) {
      skipped(shown, ZL_ERR_PASSWORD_FAILED, 3, "encrypted entry and no password given: " + shown);
      return false;
    }
  }
  call(ZL_CB_NEWITEM, shown.c_str(), int64_t(e.usize), FTotalWritten);
  int number = 0;
  if (test) {
    bool ok = writeData(e, -1, pw, reason, number);
    call(ZL_CB_ENDITEM, shown.c_str(), int64_t(e.usize), FTotalWritten);
    if (!ok && !FStop) skipped(shown, number, 8, reason + ": " + shown);
    return ok;
  }
  int dir = dirFd(parts, parts.size() - 1, reason);
  if (dir < 0) {
    skipped(shown, ZL_ERR_CREATE, 8, reason + ": " + shown);
    return false;
  }
  const std::string& leaf = parts.back();
  // A folder this run made holds nothing but what it wrote, and the names
  // it wrote are unique: no need to look for an older file there.
  std::string folderKey;
  for (size_t i = 0; i + 1 < parts.size(); ++i) folderKey += parts[i] + '/';
  struct stat st;
  bool exists = !FCreated.count(folderKey) && ::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  time_t when = 0;
  if (!unixTime(e, when)) when = dosToTime(e.dosTime);
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      skipped(shown, ZL_ERR_CREATE, 8, "a folder of that name exists: " + shown);
      return false;
    }
    bool newer = when > st.st_mtime;
    if ((opts & (ZL_OPT_FRESHEN | ZL_OPT_UPDATE)) && !newer) return true;
    if (!(opts & (ZL_OPT_FRESHEN | ZL_OPT_UPDATE))) {
      int def = (opts & ZL_OPT_OVERWRITE) ? 1 : 0;
      int32_t r = call(ZL_CB_OVERWRITE, shown.c_str(), 0, 0, def, int32_t(index), newer ? 2 : 1);
      bool overwrite = r == 1 || (r == 0 && def);
      if (!overwrite) {
        call(ZL_CB_SKIPPED, shown.c_str(), 0, 0, 0, 2 + 1);
        return true;
      }
    }
  } else if (opts & ZL_OPT_FRESHEN) {
    return true;
  }
  mode_t mode = 0666;
  uint8_t host = uint8_t(e.madeBy >> 8);
  if ((host == 3 || host == 19) && (e.extAttr >> 16) != 0) mode = mode_t((e.extAttr >> 16) & 0777) | 0600;
  // Where the file system allows it the data go into a file without a
  // name, which is linked in under its own name only once it is whole: a
  // crash leaves nothing behind, and a new file costs one entry in its
  // folder. Otherwise (and to replace an existing file) into a temporary
  // beside the target, renamed over it.
  std::string tmp;
  int out = -1;
  bool anonymous = false;
  if (!exists && FAnonymous) {
    out = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (out >= 0) anonymous = true;
    else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) FAnonymous = false;
  }
  if (out < 0) out = OpenOwnedTemporary(dir, mode, tmp);
  if (out < 0) {
    call(ZL_CB_ENDITEM, shown.c_str(), 0, FTotalWritten);
    skipped(shown, ZL_ERR_TEMP_FILE, 8, std::string("cannot create a temporary file: ") + std::strerror(errno) + ": " + shown);
    return false;
  }
  bool ok = writeData(e, out, pw, reason, number);
  if (ok) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = when;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ::futimens(out, times);
  }
  if (anonymous) {
    if (ok && !linkInPlace(out, dir, leaf, reason)) {
      ok = false;
      number = ZL_ERR_CREATE;
    }
    if (::close(out) != 0 && ok) {
      ok = false;
      number = ZL_ERR_WRITE;
      reason = std::string("write error: ") + std::strerror(errno);
      ::unlinkat(dir, leaf.c_str(), 0);
    }
  } else {
    if (::close(out) != 0 && ok) {
      ok = false;
      number = ZL_ERR_WRITE;
      reason = std::string("write error: ") + std::strerror(errno);
    }
    if (ok && !replaceWith(dir, tmp, leaf)) {
      ok = false;
      number = ZL_ERR_CREATE;
      reason = std::string("cannot rename into place: ") + std::strerror(errno);
    }
    if (!ok) ::unlinkat(dir, tmp.c_str(), 0);
  }
  call(ZL_CB_ENDITEM, shown.c_str(), int64_t(e.usize), FTotalWritten);
  if (!ok && !FStop) skipped(shown, number, 8, reason + ": " + shown);
  return ok;
}

int32_t Job::run(uint32_t abortHandle) {
  call(ZL_CB_ABORTHANDLE, nullptr, 0, 0, int32_t(abortHandle));
  if (stopped()) return -FStop;
  const uint32_t opts = FCmd->Options;
  if (!(opts & (ZL_OPT_EXTRACT | ZL_OPT_TEST))) {
    message(ZL_ERR_BAD_OPTIONS, "only extracting and testing are offered");
    return -ZL_ERR_BAD_OPTIONS;
  }
  std::string zipName = request(ZL_REQ_ZIPNAME);
  if (zipName.empty()) {
    message(ZL_ERR_EMPTY_ZIP, "no archive named");
    return -ZL_ERR_EMPTY_ZIP;
  }
  FArchive.setNameEncoding(FCmd->Encoding);
  Failure f = FArchive.open(zipName);
  if (f) {
    message(f.number, f.text);
    return -f.number;
  }
  if (!(opts & ZL_OPT_TEST)) {
    FBase = request(ZL_REQ_EXTRBASEDIR);
    if (FBase.empty()) FBase = ".";
    std::string reason;
    std::vector<std::string> none;
    if (dirFd(none, 0, reason) < 0) {
      message(ZL_ERR_CREATE, reason + ": " + FBase);
      return -ZL_ERR_CREATE;
    }
  }

  // Selection: the component's file-selection lines, then its exclusions.
  std::vector<std::string> specs, excludes;
  for (int i = 0; i < 100000; ++i) {
    bool found = false;
    std::string s = request(ZL_REQ_SPEC, i, &found);
    if (!found) break;
    if (!s.empty()) specs.push_back(s);
  }
  for (int i = 0; i < 100000; ++i) {
    bool found = false;
    std::string s = request(ZL_REQ_EXCLUDE, i, &found);
    if (!found) break;
    if (!s.empty()) excludes.push_back(s);
  }
  if (stopped()) return -FStop;
  auto chosen = [&](const Entry& e) {
    const std::string& n = e.name;
    bool take = specs.empty();
    for (const auto& s : specs) take = take || specMatches(s, n);
    for (const auto& s : excludes) take = take && !specMatches(s, n);
    return take;
  };
  // The entries are read again from the directory for each pass rather
  // than kept: the selection and its size first, then the extraction.
  uint64_t count = 0, total = 0;
  FArchive.forEach([&](uint64_t, const Entry& e, uint64_t) {
    if (!chosen(e)) return true;
    ++count;
    if (!e.isDir()) total = (total + e.usize < total) ? UINT64_MAX : total + e.usize;
    return true;
  });
  if (!(opts & ZL_OPT_TEST)) {
    // Refuse before writing anything when the declared sizes cannot fit.
    struct statvfs vfs;
    int base = FDirs.count("") ? FDirs[""] : -1;
    if (base >= 0 && ::fstatvfs(base, &vfs) == 0) {
      uint64_t room = uint64_t(vfs.f_bavail) * uint64_t(vfs.f_frsize);
      if (total > room) {
        message(ZL_ERR_WRITE, "not enough free space: the archive needs " + std::to_string(total) +
                                  " bytes, " + std::to_string(room) + " are free");
        return -ZL_ERR_WRITE;
      }
    }
  }
  call(ZL_CB_TOTALCOUNT, nullptr, 0, 0, int32_t(count));
  call(ZL_CB_TOTALSIZE, nullptr, int64_t(total));
  FWritten.reserve(count, FArchive.size());
  int32_t done = 0;
  bool changed = false;
  bool whole = FArchive.forEach([&](uint64_t i, Entry& e, uint64_t position) {
    if (stopped()) return false;
    if (!chosen(e)) return true;
    // Checked again as it is extracted: the file may have been rewritten.
    changed = !FArchive.unchanged(i, e);
    if (changed) return false;
    if (extractEntry(size_t(i), e, position) && !e.isDir()) ++done;
    return true;
  });
  if ((changed || !whole) && !stopped()) {
    message(ZL_ERR_READ, "the archive changed while it was extracted");
    return -ZL_ERR_READ;
  }
  if (stopped()) return -FStop;
  trace("extracted " + std::to_string(done) + " files");
  return done;
}

}  // namespace

int32_t runCommand(ZLCommand* cmd, std::atomic<bool>& abortFlag, uint32_t abortHandle) {
  Job job(cmd, abortFlag);
  return job.run(abortHandle);
}

}  // namespace ziplib
