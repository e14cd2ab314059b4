#pragma once
// Entries of an archive's directory: the read-only view TZADirEntry and the
// records that hold a central header (TZAIRec, TZAZRec), with the rules by
// which stored names and comments are decoded and encoded.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/core/types.h"
#include "zip/zip_utils.h"

class TZACentral;

// Status bits of an entry.
enum : uint32_t {
  zsbChanged = 0x1, zsbSelected = 0x2, zsbSkipSearch = 0x8, zsbDirectory = 0x10, zsbReading = 0x20,
  zsbDiscard = 0x40, zsbDiscarded = 0x80, zsbHashValid = 0x100, zsbLocalDone = 0x200, zsbLocal64 = 0x400
};

constexpr uint32_t ZipLocalSig = 0x04034B50;
constexpr uint32_t ZipCentralSig = 0x02014B50;
constexpr uint32_t ZipEndSig = 0x06054B50;
constexpr uint32_t ZipEnd64Sig = 0x06064B50;
constexpr uint32_t ZipEnd64LocSig = 0x07064B50;
constexpr uint32_t ZipDescriptorSig = 0x08074B50;
constexpr uint16_t ZipTagZip64 = 0x0001;
constexpr uint16_t ZipTagNTFS = 0x000A;
constexpr uint16_t ZipTagUPath = 0x7075;
constexpr uint16_t ZipTagUComment = 0x6375;

class TZADirEntry {
public:
  virtual ~TZADirEntry() = default;
  virtual int64_t CompressedSize() const = 0;
  virtual uint16_t CompressionMethod() const = 0;
  virtual uint32_t CRC32() const = 0;
  virtual uint32_t DateTime() const = 0;
  virtual int EncodedAs() const = 0;
  virtual bool Encrypted() const = 0;
  virtual uint32_t ExtFileAttrib() const = 0;
  // The data of the extra block with tag (without its 4-byte header).
  virtual RawByteString ExtraData(uint16_t tag) const;
  virtual RawByteString ExtraField() const = 0;
  virtual uint16_t ExtraFieldLength() const = 0;
  virtual String FileComment() const = 0;
  virtual uint16_t FileCommentLen() const = 0;
  virtual String FileName() const = 0;
  virtual uint16_t FileNameLength() const = 0;
  virtual uint16_t Flag() const = 0;
  virtual RawByteString HeaderName() const = 0;
  virtual uint16_t IntFileAttrib() const = 0;
  virtual int64_t RelOffLocalHdr() const = 0;
  virtual uint32_t StartOnDisk() const = 0;
  virtual uint32_t StatusBits() const = 0;
  virtual int64_t UncompressedSize() const = 0;
  virtual uint16_t VersionMadeBy() const = 0;
  virtual uint16_t VersionNeeded() const = 0;
};

class TZAIRec : public TZADirEntry {
public:
  // Widest first: a directory holds very many of these.
  uint64_t FCompressedSize = 0;
  uint64_t FRelOffLocal = 0;
  uint64_t FUncompressedSize = 0;
  uint32_t FCRC32 = 0;
  uint32_t FStartOnDisk = 0;
  uint32_t FExtAttrib = 0;
  uint32_t FHash = 0;
  uint32_t FDateTime = 0;
  uint32_t FStatusBits = 0;
  uint16_t FMethod = 0;
  uint16_t FIntAttrib = 0;
  uint16_t FVersionNeeded = 0;

  int64_t CompressedSize() const override { return int64_t(FCompressedSize); }
  uint16_t CompressionMethod() const override { return FMethod; }
  uint32_t CRC32() const override { return FCRC32; }
  uint32_t DateTime() const override { return FDateTime; }
  uint32_t ExtFileAttrib() const override { return FExtAttrib; }
  uint16_t IntFileAttrib() const override { return FIntAttrib; }
  int64_t RelOffLocalHdr() const override { return int64_t(FRelOffLocal); }
  uint32_t StartOnDisk() const override { return FStartOnDisk; }
  uint32_t StatusBits() const override { return FStatusBits; }
  int64_t UncompressedSize() const override { return int64_t(FUncompressedSize); }
  uint16_t VersionNeeded() const override { return FVersionNeeded; }
  bool TestStatus(uint32_t bits) const { return (FStatusBits & bits) != 0; }
  void SetStatus(uint32_t bits, bool on) { FStatusBits = on ? FStatusBits | bits : FStatusBits & ~bits; }
};

// Where the loaded records of a directory keep their names, extra fields
// and comments: large blocks filled one after the other and freed together,
// so that a record costs no allocation of its own.
class TZAZRec;
class TZARecBytes {
public:
  // count bytes that stay put until the store is cleared.
  char* Allocate(size_t count, size_t align = 1);
  // A record made in the store: it is ended, not deleted (TZARecDelete),
  // and its memory goes with the store.
  TZAZRec* NewRecord(TZACentral* owner);
  // Only once no record made in the store is left.
  void Clear() {
    FBlocks.clear();
    FLeft = 0;
  }

private:
  std::vector<std::unique_ptr<char[]>> FBlocks;
  char* FNext = nullptr;
  size_t FLeft = 0;
};

// A record is kept small: an archive of a million entries holds a million
// of them. The stored name, extra field and comment lie one after the
// other in one piece of bytes, owned by the record or by its directory's
// store; the readable name is decoded when asked for, never kept.
class TZAZRec : public TZAIRec {
public:
  explicit TZAZRec(TZACentral* owner) : FOwner(owner) {}
  ~TZAZRec() override;
  TZAZRec(const TZAZRec&) = delete;
  TZAZRec& operator=(const TZAZRec&) = delete;

  TZACentral* FOwner;
  uint16_t FFlag = 0;
  uint16_t FVersionMadeBy = 0;
  // Length of the extra field of the local header last made.
  uint16_t FLocalExtraLen = 0;

  int EncodedAs() const override;
  bool Encrypted() const override { return (FFlag & 1) != 0; }
  RawByteString ExtraField() const override { return RawByteString(ExtraBytes()); }
  uint16_t ExtraFieldLength() const override { return FExtraLen; }
  String FileComment() const override;
  uint16_t FileCommentLen() const override { return FCommentLen; }
  String FileName() const override;
  uint16_t FileNameLength() const override { return FNameLen; }
  uint16_t Flag() const override { return FFlag; }
  RawByteString HeaderName() const override { return RawByteString(NameBytes()); }
  uint16_t VersionMadeBy() const override { return FVersionMadeBy; }
  // The stored bytes without a copy; valid until they are changed.
  std::string_view NameBytes() const { return {FBytes, FNameLen}; }
  std::string_view ExtraBytes() const { return {FBytes + FNameLen, FExtraLen}; }
  std::string_view CommentBytes() const { return {FBytes + FNameLen + FExtraLen, FCommentLen}; }
  // The hash the directory's name table keeps for the name as compared
  // (upper case, '/' as '\'), made from the stored bytes where they are
  // plain ASCII.
  uint32_t CompareHash() const;

  // Reads the central header at the current position of the owner's file:
  // 0, 1 when the zip64 field was applied, or a negative message code. The
  // name, extra field and comment go to store when one is given.
  int Read(TZARecBytes* store = nullptr);
  // Builds the 46-byte header + name + extra + comment as written.
  RawByteString CentralHeader();
  // The local header for this entry (date/time and CRC as given).
  RawByteString LocalHeader(uint32_t dosTime, uint32_t crc);
  // The data descriptor ("" when flag bit 3 is clear).
  RawByteString DataDescriptor() const;
  // Sets the name (external form '\'); 0 or a negative message code.
  int SetName(const String& name);
  int SetComment(const String& comment);
  int SetExtraField(const RawByteString& extra);
  int SetDateTime(uint32_t dos);
  // Decoding setting of the owner (TZAEncodingOpts) and the result cached
  // in the status bits 16-18.
  int DecodeEncoding() const;
  void Assign(const TZAZRec& other);
  bool NeedsZip64() const { return FUncompressedSize >= 0xFFFFFFFF || FCompressedSize >= 0xFFFFFFFF; }
  // Applies the version number rules before a header is written.
  void FixVersions();

protected:
  int applyZip64();
  int encodeNameComment(const String& name, const String& comment);
  // Replaces the stored bytes with a piece of the record's own.
  void setBytes(std::string_view name, std::string_view extra, std::string_view comment);

private:
  friend class TZARecBytes;
  friend struct TZARecDelete;
  const char* FBytes = "";
  uint16_t FNameLen = 0, FExtraLen = 0, FCommentLen = 0;
  bool FOwnsBytes = false;
  bool FInStore = false;
};

struct TZARecDelete {
  void operator()(TZAZRec* rec) const {
    if (!rec) return;
    if (rec->FInStore) rec->~TZAZRec();
    else delete rec;
  }
};
using TZARecPtr = std::unique_ptr<TZAZRec, TZARecDelete>;

// The name validity rules for names set through the component.
bool ZipIsValidName(const String& name);
