#pragma once
// The open archive's directory as the component's users see it: TZALister
// opens the archive when ZipFileName is set and keeps it in a TZACenDir, a
// list of TZACentralEntry views (one per visible entry).
#include <cstdint>
#include <memory>
#include <vector>

#include "zip/zip_central.h"
#include "zip/zip_core.h"

class TZACenDir;

class TZACentralEntry : public TZADirEntry {
public:
  TZACentralEntry(TZACenDir* owner, int change, int index) : FOwner(owner), FChange(change), FIndex(index) {}
  void Renumber(int change, int index) {
    FChange = change;
    FIndex = index;
  }
  int Index() const { return FIndex; }

  int64_t CompressedSize() const override;
  uint16_t CompressionMethod() const override;
  uint32_t CRC32() const override;
  uint32_t DateTime() const override;
  int EncodedAs() const override;
  bool Encrypted() const override;
  uint32_t ExtFileAttrib() const override;
  RawByteString ExtraField() const override;
  uint16_t ExtraFieldLength() const override;
  String FileComment() const override;
  uint16_t FileCommentLen() const override;
  String FileName() const override;
  uint16_t FileNameLength() const override;
  uint16_t Flag() const override;
  RawByteString HeaderName() const override;
  uint16_t IntFileAttrib() const override;
  int64_t RelOffLocalHdr() const override;
  uint32_t StartOnDisk() const override;
  uint32_t StatusBits() const override;
  int64_t UncompressedSize() const override;
  uint16_t VersionMadeBy() const override;
  uint16_t VersionNeeded() const override;

private:
  // The record shown, or null when the archive changed since the view was made.
  TZAZRec* rec() const;
  TZACenDir* FOwner;
  int FChange;
  int FIndex;
};

class TZACenDir {
public:
  explicit TZACenDir(TZACore* owner) : FOwnerOp(owner) {}
  int Count() const { return FVisible; }
  TZACentralEntry* Entries(int index) const;
  // The archive object, made on demand.
  TZAZipFile* Archive();
  TZAZipFile* CurrentArchive() const { return FArchive.get(); }
  void FreeArchive() { FArchive.reset(); }
  RawByteString ArchiveComment() const { return FArchive ? FArchive->ArchiveComment() : RawByteString(); }
  int Volumes() const { return FArchive ? FArchive->NumberOfParts() : 0; }
  void SetUseDirOnly(bool flag);
  int LeftOut() const { return FLeftOut; }
  int ChangeNumber() const { return FChange; }
  // The archive object's change notification.
  void Changed(int value, int code);
  void Clear();

private:
  void addEntry(int index);
  void renumber();
  // The archive's index of a visible entry.
  int archiveIndex(int visible) const { return FMap.empty() ? visible : FMap[size_t(visible)]; }
  // The view at a visible index when it has been made, else null.
  TZACentralEntry* madeView(int visible) const;
  int FVisible = 0;
  std::unique_ptr<TZAZipFile> FArchive;
  int FLeftOut = 0;
  // Archive index of each visible entry; empty while they are the same.
  std::vector<int> FMap;
  // Views are made when asked for, a block at a time, and stay put until
  // the list is cleared: a million entries listed need no million views.
  static constexpr int kViewBlock = 256;
  std::vector<std::unique_ptr<std::vector<TZACentralEntry>>> FViews;
  bool FShowDirOnly = false;
  int FChange = 0;
  TZACore* FOwnerOp;
};

class TZALister : public TZACore {
public:
  explicit TZALister(TCustomZipArchiver* zip);

  // mode 1 loads now and raises OnDirUpdate, 2 loads without it, 0 stores.
  void SetZipFileName(const String& name, int mode);
  void Load(const String& name, bool quiet);
  bool IsLoaded() const;
  void Finished(bool success) override;
  void Begin() override { FCancel = 0; }
  TZACenDir& CenDir() { return FDir; }
  // Reads a self-extractor stub's settings into the component's SFX
  // properties; false (nothing changed) when the stub is not one of ours.
  bool applyStubSettings(const RawByteString& stub);
  uint8_t ListState() const { return FListState; }
  void SetListState(uint8_t s) { FListState = s; }

private:
  void readStubSettings();
  TZACenDir FDir{this};
  uint8_t FListState = 0;
};
