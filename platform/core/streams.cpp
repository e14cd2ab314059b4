#include "platform/core/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"

// ---- TStream

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count < 0 || (count != 0 && Write(buffer, count) != count)) throw EWriteError("Stream write error");
}

std::int64_t TStream::Size() {
  const std::int64_t pos = Seek(0, soCurrent);
  const std::int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) { throw EStreamError("Stream size cannot be changed"); }

std::int64_t TStream::CopyFrom(TStream* source, std::int64_t count) {
  if (!source || count < 0) return 0;
  if (count == 0) {
    source->SetPosition(0);
    count = source->Size();
  }
  std::vector<unsigned char> buf(size_t(std::min<std::int64_t>(count, 1 << 20)) + 1);
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t n = std::min<std::int64_t>(count - done, std::int64_t(buf.size()));
    source->ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    done += n;
  }
  return done;
}

// ---- TCustomMemoryStream

void TCustomMemoryStream::SetPointer(void* ptr, std::int64_t size) {
  FMemory = static_cast<unsigned char*>(ptr);
  FSize = ptr ? size : 0;
}

std::int64_t TCustomMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || FPosition >= FSize) return 0;
  const std::int64_t n = std::min(count, FSize - FPosition);
  std::memcpy(buffer, FMemory + FPosition, size_t(n));
  FPosition += n;
  return n;
}

std::int64_t TCustomMemoryStream::Write(const void*, std::int64_t) { return 0; }

std::int64_t TCustomMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int64_t target = SeekTarget(offset, origin, FPosition, FSize);
  if (target >= 0) FPosition = target;
  return target;
}

void TCustomMemoryStream::SaveToStream(TStream* stream) {
  if (FSize != 0) stream->WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SaveToFile(const String& fileName) {
  TFileStream file(fileName, fmCreate);
  SaveToStream(&file);
}

// ---- TMemoryStream

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (count > std::numeric_limits<std::int64_t>::max() - FPosition) return 0;
  const std::int64_t end = FPosition + count;
  if (end > Size()) SetSize(end);
  std::memcpy(static_cast<unsigned char*>(Memory()) + FPosition, buffer, size_t(count));
  FPosition = end;
  return count;
}

void TMemoryStream::reserve(std::int64_t capacity) {
  if (capacity <= FCapacity) return;
  if (std::uint64_t(capacity) > std::numeric_limits<size_t>::max())
    throw EOutOfMemory("Out of memory while expanding memory stream");
  // Geometric growth keeps many small writes linear overall.
  std::int64_t grown = std::max<std::int64_t>(capacity, FCapacity + FCapacity / 2 + 64);
  if (std::uint64_t(grown) > std::numeric_limits<size_t>::max()) grown = capacity;
  void* p = std::realloc(FData.get(), size_t(grown));
  if (!p && grown != capacity) p = std::realloc(FData.get(), size_t(grown = capacity));
  if (!p) throw EOutOfMemory("Out of memory while expanding memory stream");
  (void)FData.release();
  FData.reset(static_cast<unsigned char*>(p));
  FCapacity = grown;
}

void TMemoryStream::SetSize(std::int64_t newSize) {
  if (newSize < 0) newSize = 0;
  const std::int64_t oldSize = Size();
  if (newSize > oldSize) {
    reserve(newSize);
    // Bytes between the old and the new end are zero, also when they had
    // been written before a shrink.
    std::memset(FData.get() + oldSize, 0, size_t(newSize - oldSize));
  }
  SetPointer(FData.get(), newSize);
  if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::Clear() {
  FData.reset();
  FCapacity = 0;
  SetPointer(nullptr, 0);
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream) {
  stream->SetPosition(0);
  const std::int64_t count = stream->Size();
  SetSize(count);
  if (count != 0) stream->ReadBuffer(Memory(), count);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const String& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}

// ---- THandleStream

std::int64_t THandleStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || FHandle < 0) return 0;
  auto* p = static_cast<char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(FHandle, p + done, size_t(std::min<std::int64_t>(count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t THandleStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0 || FHandle < 0) return 0;
  const auto* p = static_cast<const char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(FHandle, p + done, size_t(std::min<std::int64_t>(count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soCurrent ? SEEK_CUR : (origin == soEnd ? SEEK_END : SEEK_SET);
  const off_t r = ::lseek(FHandle, off_t(offset), whence);
  return r < 0 ? -1 : std::int64_t(r);
}

void THandleStream::SetSize(std::int64_t newSize) {
  const std::int64_t pos = Position();
  if (newSize < 0 || ::ftruncate(FHandle, off_t(newSize)) != 0) {
    const int err = errno;
    throw EStreamError(u"Stream size cannot be changed. " + SysErrorMessage(err));
  }
  if (pos > newSize) Seek(newSize, soBeginning);
}

// ---- TFileStream

TFileStream::TFileStream(const String& fileName, unsigned mode)
    : THandleStream(-1), FFileName(fileName) {
  const UTF8String name = UTF16ToUTF8(fileName);
  if ((mode & fmCreate) == fmCreate) {
    FHandle = fileName.empty() ? -1 : ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0) {
      const int err = fileName.empty() ? ENOENT : errno;
      throw EFCreateError(u"Cannot create file \"" + ExpandFileName(fileName) + u"\". " + SysErrorMessage(err), err);
    }
    return;
  }
  int flags = O_RDONLY;
  if ((mode & 3) == fmOpenWrite) flags = O_WRONLY;
  if ((mode & 3) == fmOpenReadWrite) flags = O_RDWR;
  FHandle = fileName.empty() ? -1 : ::open(name.c_str(), flags | O_CLOEXEC);
  int err = fileName.empty() ? ENOENT : errno;
  if (FHandle >= 0) {
    // A folder opens read-only on Linux but is no file to stream.
    struct stat st;
    if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(FHandle);
      FHandle = -1;
      err = EISDIR;
    }
  }
  if (FHandle < 0)
    throw EFOpenError(u"Cannot open file \"" + ExpandFileName(fileName) + u"\". " + SysErrorMessage(err), err);
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}
