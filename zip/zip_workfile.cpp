#include "zip/zip_workfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <ctime>
#include <vector>

#include "platform/core/files.h"
#include "zip/zip_archiver.h"

// ---- drive -------------------------------------------------------------------------------

void TZAWorkDrive::SetDrive(const String& path) {
  FPath = ExtractFileDir(ExpandFileName(path));
  FRoot = u"/";
}

bool TZAWorkDrive::Refresh() {
  struct statvfs v;
  if (::statvfs(UTF16ToUTF8(FPath.empty() ? String(u".") : FPath).c_str(), &v) != 0) return false;
  FFree = uint64_t(v.f_bavail) * v.f_frsize;
  FTotal = uint64_t(v.f_blocks) * v.f_frsize;
  FSectorSize = uint32_t(v.f_frsize ? v.f_frsize : 512);
  return true;
}

// ---- work file ---------------------------------------------------------------------------

TZAWorkFile::TZAWorkFile(TCustomZipArchiver* zip, TZAWorkBin* owner) : TZACore(zip, owner) {}

TZAWorkFile::~TZAWorkFile() {
  Close();
  if (FDeleteOnDestroy && !FFileName.empty() && FileExists(FFileName)) {
    if (Verbosity() >= 2) TraceMessage(u"Trace: Deleting " + FFileName);
    DeleteFile(FFileName);
  }
}

int64_t TZAWorkFile::Position() const {
  if (FHandle < 0) return -1;
  if (buffered()) return FLogical;
  return int64_t(::lseek(FHandle, 0, SEEK_CUR));
}

void TZAWorkFile::SetFileName(const String& name) {
  if (name == FFileName) return;
  Close();
  FFileName = name;
}

bool TZAWorkFile::Seek(int64_t offset) {
  if (FHandle < 0 || offset < 0) return false;
  if (buffered()) {
    FLogical = offset;
    return true;
  }
  return ::lseek(FHandle, off_t(offset), SEEK_SET) == off_t(offset);
}

void TZAWorkFile::Close() {
  if (FHandle < 0) return;
  int h = FHandle;
  FHandle = -1;
  if (FFileDate && (FOpenMode & 3) != 0) {
    struct timespec t[2];
    t[0].tv_sec = t[1].tv_sec = time_t(std::llround((ZipDosToDateTime(FFileDate) - 25569.0) * 86400.0)) - [] {
      time_t now = time(nullptr);
      struct tm lt {};
      localtime_r(&now, &lt);
      return time_t(lt.tm_gmtoff);
    }();
    t[0].tv_nsec = t[1].tv_nsec = 0;
    if (::futimens(h, t) != 0) TraceMessage(u"Warning: Set file Date" + FFileName + u" failed " + SysErrorText());
  }
  ::close(h);
  if (Verbosity() >= 2) TraceMessage(u"Trace: Closed " + Description());
}

bool TZAWorkFile::Create(const String& name) {
  Close();
  if (!name.empty()) FFileName = name;
  TraceMessage(u"Trace: Creating " + FFileName);
  // Never written through a link planted where the file is to be.
  FHandle = ::open(UTF16ToUTF8(FFileName).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  FBytesRead = FBytesWritten = 0;
  if (FHandle < 0) {
    TraceMessage(u"Trace: FileCreate Failed: " + FFileName + u"  " + SysErrorText());
    return false;
  }
  FOpenMode = 2;
  return true;
}

bool TZAWorkFile::CreateBeside(const String& target) {
  Close();
  String full = ExpandFileName(target);
  UTF8String pattern = UTF16ToUTF8(ExtractFilePath(full)) + "." + UTF16ToUTF8(ExtractFileName(full)) + ".XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  TraceMessage(u"Trace: Creating " + full);
  FHandle = ::mkostemp(buf.data(), O_CLOEXEC);
  FBytesRead = FBytesWritten = 0;
  if (FHandle < 0) {
    TraceMessage(u"Trace: FileCreate Failed: " + full + u"  " + SysErrorText());
    return false;
  }
  // mkostemp makes the file private; an archive gets the usual rights.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(FHandle, 0666 & ~mask);
  FFileName = UTF8ToUTF16(buf.data());
  FTarget = full;
  FDeleteOnDestroy = true;
  FOpenMode = 2;
  return true;
}

bool TZAWorkFile::RenameToTarget() {
  if (FTarget.empty()) return false;
  bool wasOpen = FHandle >= 0;
  if (wasOpen && ::fsync(FHandle) != 0) return false;
  Close();
  if (::rename(UTF16ToUTF8(FFileName).c_str(), UTF16ToUTF8(FTarget).c_str()) != 0) {
    TraceMessage(u"Trace: rename failed: " + FFileName + u"  " + SysErrorText());
    return false;
  }
  if (Verbosity() >= 1) TraceMessage(u"renamed " + FFileName + u" to " + FTarget);
  FFileName = FTarget;
  FTarget.clear();
  FDeleteOnDestroy = false;
  return true;
}

bool TZAWorkFile::Open(unsigned mode) {
  Close();
  TraceMessage(u"Trace: Opening " + Description());
  int flags = ((mode & 3) == fmOpenReadWrite) ? O_RDWR : ((mode & 3) == fmOpenWrite ? O_WRONLY : O_RDONLY);
  FHandle = ::open(UTF16ToUTF8(FFileName).c_str(), flags | O_CLOEXEC);
  if (FHandle < 0) {
    TraceMessage(u"Trace: FileOpen Failed: " + Description() + u"  " + SysErrorText());
    return false;
  }
  struct stat st;
  if (::fstat(FHandle, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    return false;
  }
  FOpenMode = mode & 3;
  FLogical = 0;
  FBufLen = 0;
  return true;
}

int TZAWorkFile::Reopen(unsigned mode) {
  if (FHandle >= 0 && FOpenMode == (mode & 3)) return 0;
  TraceMessage(u"Trace: Reopening " + FFileName);
  if (!Open(mode)) {
    TraceMessage(u"Could not File_Reopen: " + Description() + u"  " + SysErrorText());
    return -ZA_CODE(zsrcWorkFile, ZA_CannotOpen);
  }
  return 0;
}

String TZAWorkFile::Description(bool withName) const {
  if (FAlias.empty()) return FFileName;
  return withName ? FAlias + u"<" + FFileName + u">" : FAlias;
}

int TZAWorkFile::rawRead(void* buffer, int count) {
  auto* p = static_cast<char*>(buffer);
  int done = 0;
  if (buffered()) {
    if (FBuf.empty()) FBuf.resize(65536);
    while (done < count) {
      if (FLogical >= FBufStart && FLogical < FBufStart + int64_t(FBufLen)) {
        size_t at = size_t(FLogical - FBufStart);
        size_t n = std::min<size_t>(FBufLen - at, size_t(count - done));
        std::memcpy(p + done, FBuf.data() + at, n);
        done += int(n);
        FLogical += int64_t(n);
        continue;
      }
      // Large reads go straight to the caller.
      size_t left = size_t(count - done);
      char* target = left >= FBuf.size() ? p + done : FBuf.data();
      size_t want = left >= FBuf.size() ? left : FBuf.size();
      ssize_t n = ::pread(FHandle, target, want, off_t(FLogical));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (target != FBuf.data()) {
        done += int(n);
        FLogical += n;
        FBufLen = 0;
      } else {
        FBufStart = FLogical;
        FBufLen = size_t(n);
      }
    }
    FBytesRead += uint64_t(done);
    return done;
  }
  while (done < count) {
    ssize_t n = ::read(FHandle, p + done, size_t(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += int(n);
  }
  FBytesRead += uint64_t(done);
  return done;
}

int TZAWorkFile::rawWrite(const void* buffer, int count) {
  auto* p = static_cast<const char*>(buffer);
  int done = 0;
  while (done < count) {
    ssize_t n = ::write(FHandle, p + done, size_t(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += int(n);
  }
  FBytesWritten += uint64_t(done);
  return done;
}

int TZAWorkFile::Read(void* buffer, int count) {
  if (FHandle < 0) return -ZA_CODE(zsrcWorkFile, ZA_ReadErr);
  int want = count < 0 ? -count : count;
  int got = rawRead(buffer, want);
  if (count < 0 && got != want) return -ZA_CODE(zsrcWorkFile, ZA_ReadErr);
  return got;
}

int TZAWorkFile::Reads(void* buffer, std::initializer_list<int> fields) {
  int total = 0;
  for (int f : fields) total += f;
  return Read(buffer, -total);
}

int TZAWorkFile::Write(const void* buffer, int count) {
  if (FHandle < 0) return -ZA_CODE(zsrcWorkFile, ZA_WriteErr);
  int want = (count < 0 ? -count : count) % 0x20000;
  int done = rawWrite(buffer, want);
  if (done != want) return -ZA_CODE(zsrcWorkFile, ZA_WriteOutputErr);
  return done;
}

int TZAWorkFile::Writes(const void* buffer, std::initializer_list<int> fields) {
  int total = 0;
  for (int f : fields) total += f;
  return Write(buffer, -total);
}

void TZAWorkFile::StrictRead(void* buffer, int count, int code) {
  if (Read(buffer, -count) != count) throw EZipArchiver(code ? code : ZA_CODE(zsrcWorkFile, ZA_ReadErr), true);
}

void TZAWorkFile::StrictWrite(const void* buffer, int count, int code) {
  if (FHandle < 0 || rawWrite(buffer, count) != count)
    throw EZipArchiver(code ? code : ZA_CODE(zsrcWorkFile, ZA_WriteErr), true);
}

void TZAWorkFile::StrictSeek(int64_t offset, int code) {
  if (!Seek(offset))
    throw EZipArchiver(code == -1 ? ZA_CODE(zsrcWorkFile, ZA_SeekInputErr) : code ? code : ZA_CODE(zsrcWorkFile, ZA_SeekErr), true);
}

bool TZAWorkFile::AtEnd() { return Position() == FileSize(); }

int64_t TZAWorkFile::FileSize() const {
  struct stat st;
  if (FHandle < 0 || ::fstat(FHandle, &st) != 0) return -1;
  return int64_t(st.st_size);
}

int64_t TZAWorkFile::LastWriteTime() const {
  struct stat st;
  if (FHandle < 0 || ::fstat(FHandle, &st) != 0) return 0;
  return int64_t(st.st_mtime);
}

bool TZAWorkFile::Identity(uint64_t& dev, uint64_t& ino, int64_t& size, int64_t& mtime) const {
  struct stat st;
  if (FHandle < 0 || ::fstat(FHandle, &st) != 0) {
    dev = ino = 0;
    size = mtime = 0;
    return false;
  }
  dev = uint64_t(st.st_dev);
  ino = uint64_t(st.st_ino);
  size = int64_t(st.st_size);
  mtime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

int64_t TZAWorkFile::CopyFrom(TZAWorkFile& src, int64_t count) {
  std::vector<char> buf(10240);
  int64_t done = 0;
  while (done < count) {
    int n = int(std::min<int64_t>(count - done, int64_t(buf.size())));
    // Data may run on into the next part of a set: read what comes.
    int got = src.Read(buf.data(), n);
    if (got <= 0) return -ZA_CODE(zsrcWorkFile, ZA_ReadErr);
    if (Write(buf.data(), got) != got) return -ZA_CODE(zsrcWorkFile, ZA_WriteErr);
    done += got;
    Progress(1, got);
  }
  return done;
}

// ---- parts of a set ----------------------------------------------------------------------

TZAWorkZip::TZAWorkZip(TCustomZipArchiver* zip, TZAWorkBin* owner) : TZAWorkFile(zip, owner) {}

String TZAWorkZip::PartFileName(int k) const {
  if (FNamingStyle == 3) {
    if (k >= FNumParts - 1) return FArchiveName;
    String num = IntToStr(k + 1);
    if (num.size() < 2) num = u"0" + num;
    return ChangeFileExt(FArchiveName, u".z" + num);
  }
  if (FNamingStyle == 2) {
    if (k > 998) throw EZipArchiver(ZA_CODE(zsrcWorkFile, ZA_TooManyParts), true);
    String ext = ExtractFileExt(FArchiveName);
    String base = FArchiveName.substr(0, FArchiveName.size() - ext.size());
    if (base.size() >= 3) {
      bool digits = true;
      for (size_t i = base.size() - 3; i < base.size(); ++i) digits = digits && base[i] >= u'0' && base[i] <= u'9';
      if (digits) base.resize(base.size() - 3);
    }
    return base + IntToStr(k + 1001).substr(1) + ext;
  }
  return FArchiveName;
}

void TZAWorkZip::SwitchToPart(int n) {
  TZAWorkFile::Close();
  FSpanning = FNumParts > 1 || n != 0;
  FCurrentPart = n;
  String name = PartFileName(n);
  if (!FileExists(name)) throw EZipArchiver(ZA_CODE(zsrcWorkFile, ZA_NoZipFile), true);
  FFileName = name;
  if (!TZAWorkFile::Open(fmOpenRead)) throw EZipArchiver(ZA_CODE(zsrcWorkFile, ZA_CannotOpen), true);
}

int TZAWorkZip::Read(void* buffer, int count) {
  if (!FSpanning) return TZAWorkFile::Read(buffer, count);
  int want = count < 0 ? -count : count;
  auto* p = static_cast<char*>(buffer);
  int done = 0;
  while (done < want) {
    int got = TZAWorkFile::Read(p + done, want - done);
    if (got < 0) return got;
    done += got;
    if (done == want) break;
    // A piece that must not be split, or a short read before the part's
    // end, is an error; at the end of a part reading goes on in the next.
    if ((count < 0 && done > 0) || !AtEnd() || FCurrentPart + 1 >= FNumParts)
      return count < 0 || done == 0 ? -ZA_CODE(zsrcWorkFile, ZA_ReadErr) : done;
    SwitchToPart(FCurrentPart + 1);
  }
  return done;
}

int TZAWorkZip::Reads(void* buffer, std::initializer_list<int> fields) {
  if (!FSpanning) return TZAWorkFile::Reads(buffer, fields);
  auto* p = static_cast<char*>(buffer);
  int total = 0;
  for (int f : fields) {
    int got = Read(p + total, -f);
    if (got != f) {
      if (got < 0 && AtEnd() && FCurrentPart + 1 < FNumParts) {
        SwitchToPart(FCurrentPart + 1);
        got = Read(p + total, -f);
      }
      if (got != f) return -ZA_CODE(zsrcWorkFile, ZA_ReadErr);
    }
    total += f;
  }
  return total;
}

// ---- writing a split set -------------------------------------------------------------------

TZAWorkZip::~TZAWorkZip() {
  // A set never finished leaves nothing behind: its parts only ever had
  // temporary names.
  if (!FWritingSet) return;
  TZAWorkFile::Close();
  for (const String& name : FSetTemps) DeleteFile(name);
}

namespace {

String splitPartName(const String& archive, int part) {
  String num = IntToStr(part + 1);
  if (num.size() < 2) num = u"0" + num;
  return ChangeFileExt(archive, u".z" + num);
}

uint64_t wholeSectors(uint64_t bytes, uint32_t sector) { return (bytes + sector - 1) / sector * sector; }

// Puts a finished part in place, replacing an older file of the name.
bool replaceFile(const String& from, const String& to) {
  return ::rename(UTF16ToUTF8(from).c_str(), UTF16ToUTF8(to).c_str()) == 0;
}

}  // namespace

String TZAWorkZip::writtenPartName(int k) const {
  return FNamingStyle == 2 ? PartFileName(k) : splitPartName(FArchiveName, k);
}

bool TZAWorkZip::mayReplace(int part, const String& name) {
  if (FYesToAll || !FileExists(name)) return true;
  if (FZip->OnStatusDisk) {
    TZADiskAction action = zdaOk;
    FZip->OnStatusDisk(FZip, part, name, TZAZipDiskStatus{zdsSameFileName}, action);
    if (action == zdaCancel) throw EZipArchiver(ZA_CODE(zsrcWorkFile, ZA_UserCancel), false);
    if (action == zdaYesToAll) FYesToAll = true;
    return action != zdaReject;
  }
  // Nobody to ask: the old file is replaced, and only once the new set is whole.
  if (FZip->Unattended()) return true;
  String msg = ZipFormat(62, {name});
  return FZip->ZipDialog(String(), msg, TZADlgBtns{zbYes, zbNo}, 0x100000 | (3 << 16) | 10062) == 6;
}

uint64_t TZAWorkZip::partRoom(int part) {
  uint64_t free = FDrive.Refresh() ? FDrive.FreeBytes() : 0;
  uint32_t sector = FDrive.BytesPerSector();
  uint64_t keepAll = wholeSectors(FZip->KeepFreeOnAllDisks(), sector);
  uint64_t room = free > keepAll ? free - keepAll : 0;
  if (FZip->MaxVolumeSize() > 0) room = std::min<uint64_t>(room, uint64_t(FZip->MaxVolumeSize()));
  if (part == 0) {
    uint64_t keep1 = wholeSectors(FZip->KeepFreeOnDisk1(), sector);
    room = room > keep1 ? room - keep1 : 0;
  }
  return room;
}

void TZAWorkZip::newPart() {
  int part = FWritingSet && !FSetTemps.empty() ? FCurrentPart + 1 : 0;
  if (part > 998) throw EZipArchiver(ZA_CODE(zsrcWorkFile, ZA_TooManyParts), true);
  TZAWorkFile::Close();
  if (!mayReplace(part, writtenPartName(part)))
    throw EZipArchiver(ZA_CODE(zsrcWorkFile, ZA_UserCancel), false);
  uint64_t room = partRoom(part);
  if (room < FZip->MinFreeVolumeSize()) {
    // There is no other disk to ask for: the set cannot be written here.
    if (FZip->OnStatusDisk) {
      TZADiskAction action = zdaOk;
      FZip->OnStatusDisk(FZip, part, writtenPartName(part), TZAZipDiskStatus{zdsNotEnoughSpace}, action);
      if (action == zdaCancel) throw EZipArchiver(ZA_CODE(zsrcWorkFile, ZA_UserCancel), false);
    }
    throw EZipArchiver(ZA_CODE(zsrcWorkFile, ZA_NotEnoughSpace), true);
  }
  if (!TZAWorkFile::CreateBeside(writtenPartName(part)))
    throw EZipArchiver(ZA_CODE(zsrcWorkFile, ZA_CreateOutputFailed), true);
  // The set, not the single file, decides what happens to its parts.
  FDeleteOnDestroy = false;
  FTarget.clear();
  FSetTemps.push_back(FFileName);
  FCurrentPart = part;
  FNumParts = part + 1;
  FRoom = room;
  FPartBytes = 0;
  if (Verbosity() >= 2) TraceMessage(u"Trace: writing part " + IntToStr(part + 1) + u" of " + FArchiveName);
}

bool TZAWorkZip::CreateSet(const String& archiveName) {
  Close();
  FArchiveName = ExpandFileName(archiveName);
  FDrive.SetDrive(FArchiveName);
  FWritingSet = true;
  FSetTemps.clear();
  // Numbered files (base001.zip, base002.zip, ...) when asked for, else the
  // split extensions (.z01, .z02, ... and the archive's own name last).
  TZASpanOpts span = FZip->SpanOptions();
  FNamingStyle = span.Contains(spNoVolumeName) && !span.Contains(spCompatName) ? 2 : 3;
  FSpanning = true;
  FYesToAll = false;
  FBytesWritten = 0;
  try {
    newPart();
  } catch (const EZAException& e) {
    ShowError(e.Message(), int(e.FullCode()), e.Display());
    return false;
  }
  return true;
}

int TZAWorkZip::Write(const void* buffer, int count) {
  if (!FWritingSet) return TZAWorkFile::Write(buffer, count);
  int magnitude = count < 0 ? -count : count;
  int want = magnitude % ZipNoSplit;
  if ((magnitude & ZipNoSplit) && uint64_t(want) > FRoom && FPartBytes > 0) {
    newPart();
    return ZipNewPartBegun;
  }
  auto* p = static_cast<const char*>(buffer);
  int done = 0;
  while (done < want) {
    if (FRoom == 0) newPart();
    int n = int(std::min<uint64_t>(uint64_t(want - done), FRoom));
    if (TZAWorkFile::Write(p + done, n) != n) return -ZA_CODE(zsrcWorkFile, ZA_WriteOutputErr);
    done += n;
    FRoom -= uint64_t(n);
    FPartBytes += uint64_t(n);
  }
  return done;
}

int TZAWorkZip::Writes(const void* buffer, std::initializer_list<int> fields) {
  int total = 0;
  for (int f : fields) total += f;
  return Write(buffer, -(total | ZipNoSplit));
}

int TZAWorkZip::FinishSet() {
  if (!FWritingSet) return 0;
  int last = int(FSetTemps.size()) - 1;
  if (::fsync(FHandle) != 0) return -ZA_CODE(zsrcWorkFile, ZA_WriteOutputErr);
  TZAWorkFile::Close();
  for (int k = 0; k < last; ++k) {
    String name = writtenPartName(k);
    if (!replaceFile(FSetTemps[size_t(k)], name)) return -ZA_CODE(zsrcWorkFile, ZA_CreateOutputFailed);
    FSetTemps[size_t(k)].clear();
  }
  String temp = FSetTemps[size_t(last)];
  FWritingSet = false;
  FSetTemps.clear();
  // Split extensions end with the archive's own name; numbered files keep
  // numbering to the last part.
  const String lastName = FNamingStyle == 2 ? PartFileName(last) : FArchiveName;
  if (!mayReplace(last, lastName)) {
    TraceMessage(ZipFormat(15, {temp}));
    FFileName = temp;
    return 0;
  }
  if (!replaceFile(temp, lastName)) {
    DeleteFile(temp);
    return -ZA_CODE(zsrcWorkFile, ZA_CreateOutputFailed);
  }
  if (Verbosity() >= 1) TraceMessage(u"renamed " + temp + u" to " + lastName);
  FFileName = lastName;
  return 0;
}
