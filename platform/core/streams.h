#pragma once
// Byte streams: the abstract TStream, a growable memory stream and a file
// stream. Positions and sizes are 64-bit; reading past the end reads less,
// never fails; seeking past the end is allowed and a write there fills the
// gap with zero bytes.
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/types.h"

enum TSeekOrigin { soBeginning, soCurrent, soEnd };
constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

class TStream : public TObject {
public:
  // Copy up to count bytes; return how many were copied (0 at the end).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position and returns the new one; a position before the
  // start is refused (the position stays, the result is -1).
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  std::int64_t Seek(std::int64_t offset, int origin) { return Seek(offset, TSeekOrigin(origin)); }

  // Exactly count bytes, or EReadError "Stream read error" /
  // EWriteError "Stream write error".
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t value) { Seek(value, soBeginning); }
  virtual std::int64_t Size();
  // Raises EStreamError when the size cannot be changed.
  virtual void SetSize(std::int64_t newSize);

  // Copies count bytes from source's current position (the whole of
  // source, from its start, when count is 0); returns the bytes copied.
  // Raises EReadError when source ends early.
  std::int64_t CopyFrom(TStream* source, std::int64_t count);

protected:
  // For streams that keep a position of their own: where a seek by offset
  // from origin lands, given the current position and the size; -1 when it
  // lands before the start or beyond what a position can hold.
  // Inline: every read and write of a node's fields seeks.
  static std::int64_t SeekTarget(std::int64_t offset, TSeekOrigin origin, std::int64_t position, std::int64_t size) {
    const std::int64_t base = origin == soCurrent ? position : origin == soEnd ? size : 0;
    // base is never negative, so -base cannot overflow (negating offset could).
    if ((offset < 0 && offset < -base) || (offset > 0 && offset > std::numeric_limits<std::int64_t>::max() - base))
      return -1;
    return base + offset;
  }
};

// A stream over a block of memory that it does not own (a descendant
// decides where the block comes from). Writing is refused here.
class TCustomMemoryStream : public TStream {
public:
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  using TStream::Seek;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return FSize; }

  // The bytes, valid until the block changes.
  void* Memory() { return FMemory; }
  const void* Memory() const { return FMemory; }

  // Write the whole content (independent of the position).
  void SaveToStream(TStream* stream);
  void SaveToFile(const String& fileName);

protected:
  // Points the stream at size bytes at ptr; the position is kept.
  void SetPointer(void* ptr, std::int64_t size);

  std::int64_t FPosition = 0;

private:
  unsigned char* FMemory = nullptr;
  std::int64_t FSize = 0;
};

// A memory stream that owns its bytes and grows as it is written.
class TMemoryStream : public TCustomMemoryStream {
public:
  TMemoryStream() = default;

  std::int64_t Write(const void* buffer, std::int64_t count) override;
  void SetSize(std::int64_t newSize) override;

  std::int64_t Capacity() const { return FCapacity; }
  void Clear();

  // Replace the content with a whole stream or file (position 0 after).
  void LoadFromStream(TStream* stream);
  void LoadFromFile(const String& fileName);

private:
  void reserve(std::int64_t capacity);

  struct TFreeBytes {
    void operator()(unsigned char* p) const { std::free(p); }
  };
  // The capacity, from malloc: realloc grows a large block without copying
  // it, and the bytes past Size() are not cleared until they are used.
  std::unique_ptr<unsigned char, TFreeBytes> FData;
  std::int64_t FCapacity = 0;
};

// File open modes: one access mode, optionally or-ed with one share mode.
// fmCreate creates the file, or empties an existing one, for reading and
// writing. Share modes are accepted for compatibility; files here are not
// locked against other openers.
constexpr unsigned fmCreate = 0xFF00;
constexpr unsigned fmOpenRead = 0x0000;
constexpr unsigned fmOpenWrite = 0x0001;
constexpr unsigned fmOpenReadWrite = 0x0002;
constexpr unsigned fmShareCompat = 0x0000;
constexpr unsigned fmShareExclusive = 0x0010;
constexpr unsigned fmShareDenyWrite = 0x0020;
constexpr unsigned fmShareDenyRead = 0x0030;
constexpr unsigned fmShareDenyNone = 0x0040;

// A stream over an open file descriptor.
class THandleStream : public TStream {
public:
  explicit THandleStream(int handle) : FHandle(handle) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  using TStream::Seek;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t newSize) override;
  int Handle() const { return FHandle; }

protected:
  int FHandle;
};

class TFileStream : public THandleStream {
public:
  // Raises EFCreateError 'Cannot create file "<full path>". <reason>' or
  // EFOpenError 'Cannot open file "<full path>". <reason>'.
  TFileStream(const String& fileName, unsigned mode);
  ~TFileStream() override;

  const String& FileName() const { return FFileName; }

private:
  String FFileName;
};
