#include "platform/core/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/files_temporary.h"
#include "platform/core/strings.h"

namespace {

UTF8String sys(const String& name) { return UTF16ToUTF8(name); }

bool statOf(const String& name, struct stat& st) {
  if (name.empty()) return false;
  return ::stat(sys(name).c_str(), &st) == 0;
}

// One pending listing: the matching entries, already filtered and sorted.
struct FindState {
  std::vector<TSearchRec> entries;
  size_t next = 0;
};

int attributesOf(const std::string& fullPath, const std::string& name, const struct stat& st,
                 bool isLink) {
  int attr = 0;
  if (S_ISDIR(st.st_mode))
    attr |= faDirectory;
  else if (S_ISREG(st.st_mode))
    attr |= faArchive;
  else
    attr |= faSysFile;
  if (!name.empty() && name[0] == '.') attr |= faHidden;
  if (isLink) attr |= faSymLink;
  if (::access(fullPath.c_str(), W_OK) != 0) attr |= faReadOnly;
  return attr;
}

bool wildcardMatch(const String& name, const String& mask) {
  // Iterative match with one back-tracking point per "*": linear in
  // practice and never recursive, whatever the mask.
  size_t n = 0, m = 0, starM = String::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == u'?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == u'*') {
      starM = m++;
      starN = n;
    } else if (starM != String::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

int fillFromState(TSearchRec& rec) {
  auto* state = static_cast<FindState*>(rec.FindHandle.get());
  if (!state || state->next >= state->entries.size()) return ENOENT;
  const TSearchRec& e = state->entries[state->next++];
  rec.Time = e.Time;
  rec.Size = e.Size;
  rec.Attr = e.Attr;
  rec.Name = e.Name;
  return 0;
}

}  // namespace

// Only regular files (or links to them) count: a pipe or a device read as a
// page, a style sheet or a dictionary would block or never end.
bool FileExists(const String& fileName) {
  struct stat st;
  return statOf(fileName, st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(const String& directory) {
  struct stat st;
  return statOf(directory, st) && S_ISDIR(st.st_mode);
}

bool DeleteFile(const String& fileName) {
  if (fileName.empty()) return false;
  return ::unlink(sys(fileName).c_str()) == 0;
}

bool RenameFile(const String& oldName, const String& newName) {
  if (oldName.empty() || newName.empty()) return false;
  const UTF8String from = sys(oldName), to = sys(newName);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without no-replace renames: check first (racy, but the
  // best that is available there).
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool CreateDir(const String& directory) {
  if (directory.empty()) return false;
  return ::mkdir(sys(directory).c_str(), 0777) == 0;
}

bool ForceDirectories(const String& directory) {
  const String dir = ExcludeTrailingPathDelimiter(ExpandFileName(directory));
  if (directory.empty() || dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  const String parent = ExtractFileDir(dir);
  if (parent != dir && !ForceDirectories(parent)) return false;
  return CreateDir(dir) || DirectoryExists(dir);
}

bool RemoveDir(const String& directory) {
  if (directory.empty()) return false;
  return ::rmdir(sys(directory).c_str()) == 0;
}

std::int64_t FileSize(const String& fileName) {
  struct stat st;
  if (!statOf(fileName, st) || S_ISDIR(st.st_mode)) return -1;
  return std::int64_t(st.st_size);
}

std::int64_t FileAge(const String& fileName) {
  struct stat st;
  if (!statOf(fileName, st)) return -1;
  return std::int64_t(st.st_mtime);
}

bool MatchesMask(const String& name, const String& mask) {
  if (wildcardMatch(name, mask)) return true;
  // A mask ending in ".*" also takes names without an extension, so
  // "*.*" lists every file and "read*.*" finds "readme".
  const size_t n = mask.size();
  return n >= 2 && mask[n - 2] == u'.' && mask[n - 1] == u'*' &&
         wildcardMatch(name, mask.substr(0, n - 2));
}

int FindFirst(const String& path, int attr, TSearchRec& rec) {
  FindClose(rec);
  const String folder = ExtractFilePath(path);
  const String mask = ExtractFileName(path);
  if (mask.empty()) return ENOENT;
  const UTF8String dirName = folder.empty() ? UTF8String(".") : sys(folder);
  DIR* dir = ::opendir(dirName.c_str());
  if (!dir) return errno ? errno : ENOENT;
  auto state = std::make_shared<FindState>();
  rec.ExcludeAttr = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
  while (dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    const String wideName = UTF8ToUTF16(name);
    if (!MatchesMask(wideName, mask)) continue;
    const std::string full = dirName + "/" + name;
    struct stat lst, st;
    if (::lstat(full.c_str(), &lst) != 0) continue;
    const bool isLink = S_ISLNK(lst.st_mode);
    if (!isLink || ::stat(full.c_str(), &st) != 0) st = lst;  // a dangling link stays a link
    TSearchRec e;
    e.Name = wideName;
    e.Attr = attributesOf(full, name, st, isLink);
    if (e.Attr & rec.ExcludeAttr) continue;
    e.Size = S_ISDIR(st.st_mode) ? 0 : std::int64_t(st.st_size);
    e.Time = std::int64_t(st.st_mtime);
    state->entries.push_back(std::move(e));
  }
  ::closedir(dir);
  std::sort(state->entries.begin(), state->entries.end(),
            [](const TSearchRec& a, const TSearchRec& b) { return a.Name < b.Name; });
  if (state->entries.empty()) return ENOENT;
  rec.FindHandle = state;
  return fillFromState(rec);
}

int FindNext(TSearchRec& rec) { return fillFromState(rec); }

void FindClose(TSearchRec& rec) { rec.FindHandle.reset(); }

String ExpandFileName(const String& fileName) {
  if (fileName.empty()) return String();
  String path = fileName;
  if (path[0] != PathDelim) path = IncludeTrailingPathDelimiter(GetCurrentDir()) + path;
  const bool trailing = path.back() == PathDelim;
  std::vector<String> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find(PathDelim, i);
    if (j == String::npos) j = path.size();
    const String part = path.substr(i, j - i);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  String out;
  for (const String& p : parts) out += PathDelim + p;
  if (out.empty()) return String(1, PathDelim);
  if (trailing) out += PathDelim;
  return out;
}

String ExtractFilePath(const String& fileName) {
  const size_t at = fileName.rfind(PathDelim);
  return at == String::npos ? String() : fileName.substr(0, at + 1);
}

String ExtractFileDir(const String& fileName) {
  const size_t at = fileName.rfind(PathDelim);
  if (at == String::npos) return String();
  return at == 0 ? String(1, PathDelim) : fileName.substr(0, at);
}

String ExtractFileName(const String& fileName) {
  const size_t at = fileName.rfind(PathDelim);
  return at == String::npos ? fileName : fileName.substr(at + 1);
}

String ExtractFileExt(const String& fileName) {
  const size_t slash = fileName.rfind(PathDelim);
  const size_t dot = fileName.rfind(u'.');
  if (dot == String::npos || (slash != String::npos && dot < slash)) return String();
  return fileName.substr(dot);
}

String ChangeFileExt(const String& fileName, const String& extension) {
  const size_t slash = fileName.rfind(PathDelim);
  const size_t dot = fileName.rfind(u'.');
  if (dot == String::npos || (slash != String::npos && dot < slash)) return fileName + extension;
  return fileName.substr(0, dot) + extension;
}

String IncludeTrailingPathDelimiter(const String& path) {
  if (!path.empty() && path.back() == PathDelim) return path;
  return path + PathDelim;
}

String ExcludeTrailingPathDelimiter(const String& path) {
  if (path.size() > 1 && path.back() == PathDelim) return path.substr(0, path.size() - 1);
  return path;
}

String GetCurrentDir() {
  std::vector<char> buf(4096);
  while (!::getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return String();
    buf.resize(buf.size() * 2);
  }
  return UTF8ToUTF16(buf.data());
}

bool SetCurrentDir(const String& directory) {
  if (directory.empty()) return false;
  return ::chdir(sys(directory).c_str()) == 0;
}

String ApplicationExeFolder() {
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return IncludeTrailingPathDelimiter(GetCurrentDir());
    if (size_t(n) < buf.size()) return ExtractFilePath(UTF8ToUTF16(std::string(buf.data(), size_t(n))));
    buf.resize(buf.size() * 2);
  }
}

String GetTempDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  String dir = (tmp && *tmp) ? UTF8ToUTF16(tmp) : String(u"/tmp");
  return IncludeTrailingPathDelimiter(dir);
}

String CreateTempFolder(const String& prefix) {
  UTF8String pattern = sys(GetTempDirectory() + prefix) + "XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    const int err = errno;
    throw EOSError(u"Cannot create a temporary folder. " + SysErrorMessage(err));
  }
  return IncludeTrailingPathDelimiter(UTF8ToUTF16(pattern));
}

void WriteFileSafely(const String& FileName, const void* Data, size_t Size) {
  TSafeFileSet set;
  set.Add(FileName, Data, Size);
  set.Commit();
}

namespace {

// Copies the regular file From (not followed if a link) into the open
// file To, with its permissions and times, as a rename would keep them; 0
// or the error number. From is opened without waiting (a named pipe put in
// its place would wait for a writer) and looked at before it is read.
int copyFileInto(const UTF8String& From, const String& To) {
  const int in = ::open(From.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return errno;
  struct stat st;
  const int statErr = ::fstat(in, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
  if (statErr != 0) {
    ::close(in);
    return statErr;
  }
  const int out = ::open(sys(To).c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  int err = out < 0 ? errno : 0;
  std::vector<char> buffer(err ? 0 : 1 << 20);
  while (err == 0) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno != EINTR) err = errno;
      continue;
    }
    for (ssize_t done = 0; done < n && err == 0;) {
      const ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
      if (w < 0 && errno != EINTR) err = errno;
      if (w > 0) done += w;
    }
  }
  const timespec times[2] = {st.st_atim, st.st_mtim};
  if (err == 0 && ::fchmod(out, st.st_mode & 07777) != 0) err = errno;
  if (err == 0 && ::futimens(out, times) != 0) err = errno;
  if (out >= 0) ::close(out);
  ::close(in);
  return err;
}

}  // namespace

int MoveFileReplacing(const String& From, const String& To) {
  if (From.empty() || To.empty()) return ENOENT;
  const UTF8String from = sys(From);
  // Only a regular file is moved, on one file system as across two.
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  if (::rename(from.c_str(), sys(To).c_str()) == 0) return 0;
  if (errno != EXDEV) return errno;
  try {
    // Dropped unrenamed on any failure, the set removes its temporary.
    TSafeFileSet set;
    const int err = copyFileInto(from, set.AddByName(To));
    if (err != 0) return err;
    set.Commit();
  } catch (const EFileStreamError& e) {
    return e.ErrorCode() ? e.ErrorCode() : EIO;
  }
  // The copy is in place: the original goes. One that cannot be removed
  // stays beside its copy, whole, which loses nothing.
  ::unlink(from.c_str());
  return 0;
}

void SweepLeftoverTemporaries(const String& Folder) {
  const int fd = ::open(Folder.empty() ? "." : sys(Folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  SweepLeftoverTemporaries(fd, now);
  ::close(fd);
}

TSafeFileSet::TSafeFileSet() { ::clock_gettime(CLOCK_REALTIME, &FStart); }

TSafeFileSet::~TSafeFileSet() {
  discard();
  for (auto& [path, fd] : FFolders) ::close(fd);
}

void TSafeFileSet::discard() {
  for (Pending& p : FPending) {
    if (p.Handle >= 0) ::close(p.Handle);
    if (!p.Temp.empty()) ::unlinkat(p.Folder, p.Temp.c_str(), 0);
  }
  FPending.clear();
}

void TSafeFileSet::fail(String Target, int Error) {
  // Target may name a pending entry, which discard() frees: it is a copy.
  discard();
  const String file = ExpandFileName(Target);
  throw EFCreateError(u"Cannot create file \"" + file + u"\". " + SysErrorMessage(Error), Error, file);
}

// The target's folder, opened once per set; the first time, what a killed
// run left there is swept away.
int TSafeFileSet::folderOf(const String& FileName) {
  const String dir = ExtractFilePath(FileName);
  const UTF8String path = dir.empty() ? UTF8String(".") : sys(dir);
  for (const auto& [open, fd] : FFolders)
    if (open == path) return fd;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  FFolders.emplace_back(path, fd);
  SweepLeftoverTemporaries(fd, FStart);
  return fd;
}

TSafeFileSet::Pending& TSafeFileSet::entry(const String& FileName) {
  if (FileName.empty() || FileName.back() == PathDelim) fail(FileName, ENOENT);
  Pending p;
  p.Target = FileName;
  p.Leaf = sys(ExtractFileName(FileName));
  p.Folder = folderOf(FileName);
  if (p.Folder < 0) fail(FileName, errno);
  FPending.push_back(std::move(p));
  return FPending.back();
}

String TSafeFileSet::AddByName(const String& FileName) {
  Pending& p = entry(FileName);
  // Made now: the writer opens it by its name.
  p.Handle = OpenOwnedTemporary(p.Folder, 0666, p.Temp);
  if (p.Handle < 0) fail(FileName, errno);
  return ExtractFilePath(FileName) + UTF8ToUTF16(p.Temp);
}

void TSafeFileSet::Add(const String& FileName, const void* Data, size_t Size) {
  entry(FileName).Bytes.assign(static_cast<const char*>(Data), Size);
}

void TSafeFileSet::writeOut(Pending& P) {
  if (P.Handle >= 0) return;  // filled by name
  // Beside the target: the rename stays within one file system. This runs
  // on a helper thread: nothing may escape it.
  try {
    P.Handle = OpenOwnedTemporary(P.Folder, 0666, P.Temp);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
  }
  if (P.Handle < 0) {
    P.Temp.clear();
    P.Error = errno;
    return;
  }
  const char* bytes = P.Bytes.data();
  for (size_t left = P.Bytes.size(); left > 0;) {
    const ssize_t n = ::write(P.Handle, bytes, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      P.Error = errno;
      return;
    }
    bytes += n;
    left -= size_t(n);
  }
  P.Bytes = RawByteString();
}

void TSafeFileSet::flush(Pending& P) {
  if (P.Error == 0 && ::fdatasync(P.Handle) != 0) P.Error = errno;
}

namespace {

// Runs Write for every index, then, once every Write has returned, Flush
// for every index, on up to kMaxHelpers threads besides the calling one.
// Making files and waiting for the disk both wait mostly on the file
// system's journal: side by side, the files are made in one go and the
// disk takes them all in one commit, where one after the other each would
// wait for a commit (and a flush of the disk's cache) of its own. No Flush
// starts before every file is written, so that none of them misses the
// commit the first Flush starts.
void inTwoPhases(size_t Count, const std::function<void(size_t)>& Write, const std::function<void(size_t)>& Flush) {
  constexpr size_t kMaxHelpers = 15;
  std::atomic<size_t> nextWrite{0}, nextFlush{0};
  std::mutex lock;
  std::condition_variable changed;
  size_t written = 0;
  bool flushing = false;
  auto writeAll = [&] {
    for (size_t i; (i = nextWrite.fetch_add(1)) < Count;) {
      Write(i);
      std::lock_guard<std::mutex> hold(lock);
      if (++written == Count) changed.notify_all();
    }
  };
  auto flushAll = [&] {
    for (size_t i; (i = nextFlush.fetch_add(1)) < Count;) Flush(i);
  };
  std::vector<std::thread> helpers;
  try {
    for (size_t k = 1; k < std::min(Count, kMaxHelpers + 1); ++k)
      helpers.emplace_back([&] {
        writeAll();
        {
          std::unique_lock<std::mutex> hold(lock);
          changed.wait(hold, [&] { return flushing; });
        }
        flushAll();
      });
  } catch (const std::system_error&) {
    // No more threads to be had: the ones there are (and this one) do it all.
  }
  writeAll();
  {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return written == Count; });
    flushing = true;
  }
  changed.notify_all();
  flushAll();
  for (std::thread& t : helpers) t.join();
}

}  // namespace

void TSafeFileSet::Commit() {
  if (FPending.size() == 1) {
    writeOut(FPending[0]);
    flush(FPending[0]);
  } else {
    inTwoPhases(
        FPending.size(), [this](size_t i) { writeOut(FPending[i]); }, [this](size_t i) { flush(FPending[i]); });
  }
  for (const Pending& p : FPending)
    if (p.Error != 0) fail(p.Target, p.Error);
  // Each temporary stays open, and so locked against another run's sweep,
  // until it has its name.
  for (size_t i = 0; i < FPending.size(); ++i) {
    const Pending& p = FPending[i];
    if (::renameat(p.Folder, p.Temp.c_str(), p.Folder, p.Leaf.c_str()) != 0) {
      const int err = errno;
      for (size_t k = 0; k < i; ++k) ::close(FPending[k].Handle);
      FPending.erase(FPending.begin(), FPending.begin() + std::ptrdiff_t(i));
      fail(FPending.front().Target, err);
    }
  }
  // The data are on the disk already: closing cannot lose any of them.
  for (const Pending& p : FPending) ::close(p.Handle);
  FPending.clear();
}

String SysErrorMessage(int errorCode) {
  char buf[256];
  // The GNU strerror_r returns the text, which may or may not be buf.
  const char* text = ::strerror_r(errorCode, buf, sizeof(buf));
  return UTF8ToUTF16(text ? text : "");
}
