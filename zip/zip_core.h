#pragma once
// The work objects of the zip component: the ownership root TZAWorkBin,
// TZAWorkBase that forwards reporting and settings to the component, and
// TZACore, the base of every operation (cancel state, temporary files,
// progress details). Stream pipes let streams stand in for files.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/core/streams.h"
#include "platform/core/string_list.h"
#include "platform/core/strings.h"
#include "zip/zip_messages.h"

class TCustomZipArchiver;
class TZALister;

// Progress of the running operation, as OnProgress handlers read it.
class TZAProgressDetails {
public:
  virtual ~TZAProgressDetails() = default;
  virtual int64_t BytesWritten() const = 0;
  virtual int64_t Delta() const = 0;
  virtual String ItemName() const = 0;
  virtual int32_t ItemNumber() const = 0;
  virtual int64_t ItemPosition() const = 0;
  virtual int64_t ItemSize() const = 0;
  virtual uint8_t ProgressKind() const = 0;
  virtual bool Stop() const = 0;
  virtual int64_t TotalCount() const = 0;
  virtual int64_t TotalPosition() const = 0;
  virtual int64_t TotalSize() const = 0;
  virtual void SetStop(bool value) = 0;
  // Percentage of the current item: 0 when size or position is 0 or less.
  int32_t ItemPerCent() const;
};

class TProgDetails : public TZAProgressDetails {
public:
  int64_t BytesWritten() const override { return FBytesWritten; }
  int64_t Delta() const override { return FDelta; }
  String ItemName() const override { return FItemName; }
  int32_t ItemNumber() const override { return FItemNumber; }
  int64_t ItemPosition() const override { return FItemPosition; }
  int64_t ItemSize() const override { return FItemSize; }
  uint8_t ProgressKind() const override { return FKind; }
  bool Stop() const override { return FStop; }
  int64_t TotalCount() const override { return FTotalCount; }
  int64_t TotalPosition() const override { return FTotalPosition; }
  int64_t TotalSize() const override { return FTotalSize; }
  void SetStop(bool value) override { FStop = value; }

  // Applies one update (kinds 0..7); false when it changes nothing and no
  // event is due (an end of item without an announced total).
  bool Update(int kind, int64_t value, const String& name);
  void SetBytesWritten(int64_t value) { FBytesWritten = value; }

private:
  int64_t FBytesWritten = 0, FDelta = 0, FItemPosition = 0, FItemSize = 0;
  int64_t FTotalCount = 0, FTotalPosition = 0, FTotalSize = 0;
  int32_t FItemNumber = 0;
  String FItemName;
  uint8_t FKind = 0;
  bool FStop = false;
  bool FTotalAnnounced = false;
};

class TZAWorkBin {
public:
  explicit TZAWorkBin(TZAWorkBin* owner);
  TZAWorkBin(const TZAWorkBin&) = delete;
  TZAWorkBin& operator=(const TZAWorkBin&) = delete;
  virtual ~TZAWorkBin();
  TZAWorkBin* Owner() const { return FOwner; }

private:
  TZAWorkBin* FOwner;
  std::vector<TZAWorkBin*> FOwned;
};

class TZAWorkBase : public TZAWorkBin {
public:
  TZAWorkBase(TCustomZipArchiver* zip, TZAWorkBin* owner);
  TCustomZipArchiver* Zipper() const { return FZip; }

  // Reporting, forwarded to the component.
  void ReportMessage(int code, const String& text, bool setError = true);
  void ShowError(const String& text, int code, bool show);
  void ShowErrorId(int code, const String& extra = String());
  String ReportMsgFmt(int code, std::initializer_list<TVarRec> args);
  void InfoMessage(int code, std::initializer_list<TVarRec> args);
  void TraceMessage(const String& text);
  bool ReportSkipped(const String& name, int extError, int skipType);
  bool Poll();
  uint8_t Verbosity() const;
  bool Verbose() const { return Verbosity() & 1; }
  // " [0x%x] %s": the error number and its system text (errno when 0).
  String SysErrorText(int error = 0) const;
  // Raises message 199 when index is outside 0..count-1.
  void CheckIndex(int index, int count) const;
  int NextChangeNumber();

protected:
  TCustomZipArchiver* FZip;
};

// A temporary file of an operation: deleted when the operation fails, or
// always when flagged.
struct TZATempFile {
  String Name;
  bool Always = false;
};

class TZACore : public TZAWorkBase {
public:
  TZACore(TCustomZipArchiver* zip, TZAWorkBin* owner = nullptr);
  ~TZACore() override;

  int CancelState() const { return FCancel; }
  virtual void SetCancel(int value) { FCancel = value; }
  virtual void Finished(bool success);
  virtual void Begin() { FCancel = 0; }
  virtual void Cancel() { FCancel = 2; }
  // Packs (or, with unpack, unpacks) size bytes of uncompressed data from
  // src into dest through the library; only the library operation can.
  // method: 0 stored, 1 stored and encrypted, 2 deflated, 3 deflated and
  // encrypted. The result is 1 on success (method and crc then describe the
  // data) or a negative message code.
  virtual int StreamCompress(TStream* dest, TStream* src, uint32_t& crc, int& method, int64_t size, bool unpack);

  // Runs the poll; raises the cancel state as the component's exception.
  void CheckCancel();
  void AddTempFile(const String& name, bool always);
  // Reports progress of kind with a value and, for items, a name.
  void Progress(int kind, int64_t value, const String& name = String());
  TProgDetails& ProgressDetails() { return FProgress; }

protected:
  int FCancel = 0;
  std::vector<TZATempFile> FTempFiles;
  TProgDetails FProgress;
};

// A pipe: a stream that stands in for a file of the given name.
class TZAPipe {
public:
  virtual ~TZAPipe() = default;
  virtual uint32_t Attributes() const = 0;
  virtual uint32_t DOSDate() const = 0;
  virtual String FileName() const = 0;
  virtual bool OwnsStream() const = 0;
  virtual int32_t Size() const = 0;
  virtual TStream* Stream() const = 0;
  virtual void SetAttributes(uint32_t v) = 0;
  virtual void SetDOSDate(uint32_t v) = 0;
  virtual void SetFileName(const String& v) = 0;
  virtual void SetOwnsStream(bool v) = 0;
  virtual void SetSize(int32_t v) = 0;
  virtual void SetStream(TStream* v) = 0;
};

class TZAPipeImp : public TZAPipe {
public:
  ~TZAPipeImp() override;
  uint32_t Attributes() const override { return FAttributes; }
  uint32_t DOSDate() const override { return FDOSDate; }
  String FileName() const override { return FFileName; }
  bool OwnsStream() const override { return FOwnsStream; }
  int32_t Size() const override { return FSize; }
  TStream* Stream() const override { return FStream; }
  void SetAttributes(uint32_t v) override { FAttributes = v; }
  void SetDOSDate(uint32_t v) override { FDOSDate = v; }
  void SetFileName(const String& v) override { FFileName = v; }
  void SetOwnsStream(bool v) override { FOwnsStream = v; }
  void SetSize(int32_t v) override;
  void SetStream(TStream* v) override;

private:
  uint32_t FAttributes = 0, FDOSDate = 0;
  String FFileName;
  bool FOwnsStream = false;
  int32_t FSize = 0;
  TStream* FStream = nullptr;
};

class TZAPipeList {
public:
  virtual ~TZAPipeList() = default;
  virtual int Count() const = 0;
  virtual TZAPipe* Item(int index) = 0;
  virtual void SetCount(int value) = 0;
  virtual void PutItem(int index, TZAPipe* pipe) = 0;
  virtual int Add(TStream* stream, const String& fileName, bool owns) = 0;
  virtual void Clear() = 0;
};

// At most 10 pipes (indexes 0..9); other indexes raise message 199.
class TZAPipeListImp : public TZAPipeList {
public:
  int Count() const override { return int(FPipes.size()); }
  TZAPipe* Item(int index) override;
  void SetCount(int value) override;
  void PutItem(int index, TZAPipe* pipe) override;
  int Add(TStream* stream, const String& fileName, bool owns) override;
  void Clear() override { FPipes.clear(); }
  // Moves every pipe into dest (this list ends empty).
  void MoveTo(TZAPipeListImp& dest);

private:
  static void check(int index);
  std::vector<std::unique_ptr<TZAPipe>> FPipes;
};
