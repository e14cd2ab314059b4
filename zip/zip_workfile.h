#pragma once
// TZAWorkFile: a file with 64-bit positions, byte counters and a date set
// on close. TZAWorkZip makes the same operations work across the parts of
// a split archive (name.z01, name.z02, ..., name.zip, or name001.zip,
// name002.zip, ...). TZAWorkDrive describes the file system it lies on.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "zip/zip_core.h"

class TZAWorkDrive {
public:
  // Takes the file system of path: its root is the mount point; there are
  // no removable drive letters here, so nothing is ever "removable".
  void SetDrive(const String& path);
  bool Refresh();
  const String& DriveRoot() const { return FRoot; }
  bool Removable() const { return false; }
  uint64_t FreeBytes() const { return FFree; }
  uint64_t TotalBytes() const { return FTotal; }
  uint32_t BytesPerSector() const { return FSectorSize; }
  const String& VolumeLabel() const { return FLabel; }

private:
  String FPath, FRoot, FLabel;
  uint64_t FFree = 0, FTotal = 0;
  uint32_t FSectorSize = 512;
};

class TZAWorkFile : public TZACore {
public:
  TZAWorkFile(TCustomZipArchiver* zip, TZAWorkBin* owner = nullptr);
  ~TZAWorkFile() override;

  virtual int64_t Position() const;
  virtual void SetFileName(const String& name);
  const String& FileName() const { return FFileName; }
  virtual bool Seek(int64_t offset);
  virtual void Close();
  virtual bool Create(const String& name = String());
  // Creates a new, uniquely named file beside target (never an existing
  // file or link); RenameToTarget puts it in target's place once it is
  // complete, and a file never renamed is deleted when this object goes.
  bool CreateBeside(const String& target);
  bool RenameToTarget();
  const String& Target() const { return FTarget; }
  // mode: fmOpenRead / fmOpenReadWrite (share flags accepted and ignored).
  virtual bool Open(unsigned mode);
  virtual int Reopen(unsigned mode);
  String Description(bool withName = false) const;
  // Count convention: a negative count asks for exactly |count| bytes in one
  // piece. Results are bytes moved or a negative message code.
  virtual int Read(void* buffer, int count);
  virtual int Reads(void* buffer, std::initializer_list<int> fields);
  virtual int Write(const void* buffer, int count);
  virtual int Writes(const void* buffer, std::initializer_list<int> fields);

  // Strict forms raise the component's exception on a short transfer.
  void StrictRead(void* buffer, int count, int code = 0);
  void StrictWrite(const void* buffer, int count, int code = 0);
  void StrictSeek(int64_t offset, int code = 0);
  bool AtEnd();
  int64_t FileSize() const;
  // Modification time in seconds (0 when closed).
  int64_t LastWriteTime() const;
  // Device and inode: what identifies the file itself.
  bool Identity(uint64_t& dev, uint64_t& ino, int64_t& size, int64_t& mtime) const;
  bool IsOpen() const { return FHandle >= 0; }
  int Handle() const { return FHandle; }
  void SetFileDate(uint32_t dos) { FFileDate = dos; }
  void SetDeleteOnDestroy(bool value) { FDeleteOnDestroy = value; }
  void SetAlias(const String& alias) { FAlias = alias; }
  // Copies count bytes from src's position; returns the bytes copied or a
  // negative message code.
  int64_t CopyFrom(TZAWorkFile& src, int64_t count);
  uint64_t BytesRead() const { return FBytesRead; }
  uint64_t BytesWritten() const { return FBytesWritten; }
  unsigned OpenMode() const { return FOpenMode; }

protected:
  int rawRead(void* buffer, int count);
  int rawWrite(const void* buffer, int count);
  uint64_t FBytesRead = 0, FBytesWritten = 0;
  String FAlias, FFileName, FTarget;
  int FHandle = -1;
  bool FDeleteOnDestroy = false;
  unsigned FOpenMode = 0;
  uint32_t FFileDate = 0;
  // Files opened for reading only are read through a window of the file
  // (directories are read in many small pieces).
  bool buffered() const { return FHandle >= 0 && (FOpenMode & 3) == 0; }
  std::vector<char> FBuf;
  int64_t FBufStart = 0;
  size_t FBufLen = 0;
  int64_t FLogical = 0;
};

// Write count flag: the piece must not be split across parts; when the
// part has no room for it a new part is begun and ZipNewPartBegun returned
// without writing, so that the caller can place it again.
constexpr int ZipNoSplit = 0x20000;
constexpr int ZipNewPartBegun = -10999;

class TZAWorkZip : public TZAWorkFile {
public:
  TZAWorkZip(TCustomZipArchiver* zip, TZAWorkBin* owner = nullptr);
  ~TZAWorkZip() override;

  // Begins writing a split set: parts name.z01, name.z02, ... each holding
  // at most what MaxVolumeSize and the free space allow; FinishSet names
  // the last one name. Parts are written beside their names and renamed
  // only when the whole set is complete.
  bool CreateSet(const String& archiveName);
  bool WritingSet() const { return FWritingSet; }
  // Closes the last part and gives every part its name; 0 or a negative
  // message code.
  int FinishSet();
  int Write(const void* buffer, int count) override;
  int Writes(const void* buffer, std::initializer_list<int> fields) override;

  // Name of part k (0-based) of the set in the current naming style.
  String PartFileName(int k) const;
  // The name a part of a set being written gets, by the set's naming style.
  String writtenPartName(int k) const;
  // Closes the current part and opens part n (raises 123 when missing).
  void SwitchToPart(int n);
  int Read(void* buffer, int count) override;
  int Reads(void* buffer, std::initializer_list<int> fields) override;

  TZAWorkDrive& Drive() { return FDrive; }
  int NumberOfParts() const { return FNumParts; }
  int CurrentPart() const { return FCurrentPart; }
  uint8_t NamingStyle() const { return FNamingStyle; }
  uint8_t StartKind() const { return FStartKind; }
  bool Spanning() const { return FSpanning; }
  const String& ArchiveName() const { return FArchiveName; }

protected:
  // Closes the part being written and begins the next one (raises the
  // component's exception when it cannot).
  void newPart();
  uint64_t partRoom(int part);
  // Asks whether an existing file may be replaced (OnStatusDisk or the
  // dialog); false to leave it.
  bool mayReplace(int part, const String& name);
  bool FWritingSet = false;
  std::vector<String> FSetTemps;  // parts written so far, under temporary names
  uint64_t FRoom = 0, FPartBytes = 0;
  bool FYesToAll = false;
  TZAWorkDrive FDrive;
  String FArchiveName;  // the name asked for (the last part of a set)
  uint8_t FStartKind = 0;
  int FNumParts = 1;
  int FCurrentPart = 0;
  bool FSpanning = false;
  uint8_t FNamingStyle = 0;
};
