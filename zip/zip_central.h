#pragma once
// The open archive: locating the end records (TZAEOC), reading the central
// directory into records (TZACentral), the name hash (TZADirHashList), and
// the archive file that opens sets and stubs, detects changes and writes
// whole archives (TZAZipFile, TZAZipCopy).
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "zip/zip_records.h"
#include "zip/zip_workfile.h"

class TZAEOC : public TZAWorkZip {
public:
  using TZAWorkZip::TZAWorkZip;
  // Opens the file and finds the end records: a negative message code, or
  // bit 0 (comment or trailing bytes inconsistent) and bit 1 (data before
  // the archive).
  int OpenEOC(bool skipZip64);

  uint32_t CentralDisk() const { return FCentralDisk; }
  uint64_t TotalEntries() const { return FTotalEntries; }
  uint64_t CentralOffset() const { return FCentralOffset; }
  uint64_t CentralSize() const { return FCentralSize; }
  uint64_t EOCPosition() const { return FEOCPosition; }
  uint64_t OffsetShift() const { return FOffsetShift; }
  bool Zip64() const { return FZip64; }
  bool MultiDisk() const { return FMultiDisk; }
  const RawByteString& ArchiveComment() const { return FComment; }
  void SetArchiveComment(const RawByteString& c) { FComment = c; }

protected:
  void clearEOC();
  bool FMultiDisk = false;
  uint32_t FThisDisk = 0, FCentralDisk = 0;
  uint64_t FEntriesOnDisk = 0, FTotalEntries = 0, FCentralOffset = 0, FCentralSize = 0;
  uint64_t FEOCPosition = 0, FZ64Position = 0;
  bool FZip64 = false;
  uint64_t FOffsetShift = 0;
  uint64_t FFileSizeAtOpen = 0;
  RawByteString FComment;
};

// The owner's entries by their names as compared (upper case, '/' as '\').
// One flat table with a slot per distinct name: (hash of the whole name,
// its earliest entry), sized once from the entry count, so adding a name
// touches one place in memory. The hash takes a key per run: names cannot
// be chosen to meet in one place, and a name is decoded for a comparison
// only when its full hash matches. Later entries of a name already there
// (duplicates) wait in a list beside the table, not in its probe runs.
class TZADirHashList {
public:
  explicit TZADirHashList(TZACentral* owner) : FOwner(owner) {}
  // Table size for a number of entries.
  static int SizeFor(int count);
  void SetSize(int count);
  // Adds entry index; returns the index of an earlier entry of the same
  // name, or -1.
  int Add(int index, bool allowDuplicates);
  // The earliest entry of the name, or -1.
  int Find(const String& name, bool includeDiscarded) const;
  void Clear();
  int Buckets() const { return int(FSlots.size()); }
  // Work done so far, for the tests of names made to collide: slots
  // visited and names compared.
  uint64_t Probes() const { return FProbes; }
  uint64_t Comparisons() const { return FComparisons; }

private:
  struct Slot {
    uint32_t hash;
    int32_t entry;  // -1 = empty
  };
  size_t home(uint32_t hash) const { return size_t((uint64_t(hash) * FSlots.size()) >> 32); }
  // The slot of the name (hash h, decoded on demand by name()), or of the
  // empty place where it would go.
  template <typename Name>
  size_t slotOf(uint32_t h, Name name) const;
  // The first entry of the name in slot i that is not discarded, or -1.
  int firstLive(size_t i, int before) const;
  void grow();
  TZACentral* FOwner;
  std::vector<Slot> FSlots;
  size_t FUsed = 0;
  // Later entries by the earliest entry of their name, in entry order.
  std::unordered_map<int32_t, std::vector<int32_t>> FLater;
  mutable uint64_t FProbes = 0, FComparisons = 0;
};

class TZACentral : public TZAEOC {
public:
  TZACentral(TCustomZipArchiver* zip, TZAWorkBin* owner = nullptr);
  ~TZACentral() override;

  // Change notification: (index or count, code): 1 start (stamp), 2 the
  // expected count, 3 entry added, 6 end.
  std::function<void(int value, int code)> OnChange;

  int Load();
  int Count() const { return int(FEntries.size()); }
  TZAZRec* Entry(int index) const;
  void AddEntry(std::unique_ptr<TZAZRec> rec);
  void Clear();
  void Truncate(int count);
  // Next entry matching name after iterator (wildcards with FileNameMatch);
  // -1 when none. iterator continues the search.
  int FindName(const String& name, int& iterator, bool wildcards);
  // Reports entries whose names occur twice; returns how many.
  int CheckDuplicates();
  void ClearCachedNames();
  int ChangeStamp() const { return FStamp; }
  uint64_t FirstDataOffset() const { return FFirstData; }
  // Decoding setting of names (the component's Encoding).
  int EncodingSetting() const;
  // Reads and checks the local header of an entry; 0 or a negative code.
  int CheckLocalHeader(TZAZRec& rec, uint64_t* dataStart = nullptr);

protected:
  virtual void added(int index);
  // The names read from the records changed (another encoding).
  virtual void namesChanged();
  // The records read from the file, with their names (before the list:
  // the records end before their memory goes).
  TZARecBytes FStore;
  std::vector<TZARecPtr> FEntries;
  int FStamp = 0;
  uint64_t FFirstData = 0;
};

class TZAZipFile : public TZACentral {
public:
  TZAZipFile(TCustomZipArchiver* zip, TZAWorkBin* owner = nullptr);
  ~TZAZipFile() override;

  // Opens the archive (set, stub) and, unless told otherwise, loads its
  // directory. Negative message code or the end-record bits.
  int OpenZip(bool eocOnly, bool noLoad);
  int LastOpenResult() const { return FOpenResult; }
  bool Loaded() const { return FLoaded; }
  bool HasStub() const { return FStartKind == 3; }
  // 0, or 196 (negative) when the file changed since it was opened.
  int Reopen(unsigned mode) override;
  // The component itself replaced the file (same directory, new bytes
  // after the end record): takes the new file as the one opened.
  void AdoptRewrite();
  int FindName(const String& name, bool includeDiscarded = true);
  void SetUseHash(bool value);
  bool UseHash() const { return FUseHash; }
  TZADirHashList& Hash() { return FHash; }
  // Writes every entry, the directory and the end records; the number of
  // entries written or a negative message code.
  int Commit(bool latestDate);
  // Copies the entries (all, or those with zsbSelected) of source into this
  // new archive and commits it.
  int WriteFile(TZAZipFile& source, bool all);
  int64_t StubSize() const { return FStub ? FStub->Size() : 0; }
  // The self-extractor program in front of the archive, when read.
  TMemoryStream* Stub() const { return FStub.get(); }

protected:
  void added(int index) override;
  void namesChanged() override;
  // Bytes written, or a negative message code.
  virtual int64_t writeEntry(TZAZRec& rec);
  int writeCentral();
  int writeEnd(uint32_t cdDisk, uint64_t cdOffset, uint64_t cdSize, uint64_t count, uint64_t onThisDisk);
  // Writes a record in one piece on one part (a set begins a new part for
  // it when needed); bytes written or a negative message code.
  int writeUnsplit(const RawByteString& bytes, int errorId);
  int findParts();
  int FOpenResult = 0;
  bool FLoaded = false;
  bool FUseHash = true;
  TZADirHashList FHash{this};
  std::unique_ptr<TMemoryStream> FStub;
  uint64_t FIdDev = 0, FIdIno = 0;
  int64_t FIdSize = 0, FIdTime = 0;
  TZAZipFile* FSource = nullptr;
};

// A record copied from an entry of another archive.
class TZACopyRec : public TZAZRec {
public:
  TZACopyRec(TZACentral* owner, TZAZRec* source) : TZAZRec(owner), FSourceRec(source) {}
  TZAZRec* SourceRec() const { return FSourceRec; }
  int64_t CopySize() const;

private:
  TZAZRec* FSourceRec;
};

// Builds a new archive by copying entries (headers and compressed data)
// from an open source archive; joins a split set into one file.
class TZAZipCopy : public TZAZipFile {
public:
  TZAZipCopy(TCustomZipArchiver* zip, TZAWorkBin* owner = nullptr);

protected:
  int64_t writeEntry(TZAZRec& rec) override;
};
