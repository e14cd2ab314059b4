#pragma once
// The component's operations: TZAFileOpr (file work done by the component
// itself: joining the parts of a split archive), TZAModOpr (changing an
// archive: its comment) and TZADLLOpr (extracting through the compression
// library and answering its callbacks).
#include <cstdint>
#include <memory>

#include "zip/zip_central.h"
#include "zip/zip_core.h"
#include "ziplib/ziplib.h"

class TZALister;

class TZAFileOpr : public TZACore {
public:
  // Becomes the component's current operation.
  explicit TZAFileOpr(TCustomZipArchiver* zip);
  ~TZAFileOpr() override;
  // Joins the parts of source into one archive named dest (a folder or an
  // empty name gets a temporary name); negative on failure, dest emptied.
  int JoinVolumes(const String& source, String& dest, bool join);

protected:
  TZALister* FLister;
  std::unique_ptr<TZAZipFile> FArchive;
};

class TZAModOpr : public TZAFileOpr {
public:
  using TZAFileOpr::TZAFileOpr;
  ~TZAModOpr() override { FDestroying = true; }
  // Rewrites the end record of ZipFileName with a new comment.
  void WriteComment(const RawByteString& comment);

protected:
  bool FDestroying = false;
};

// The answer buffer for one callback record.
class TZLCallback {
public:
  explicit TZLCallback(ZLCallbackRec* rec) : FRec(rec) {}
  ZLCallbackRec* Rec() const { return FRec; }
  String Msg() const;
  String Msg2() const;
  void AnswerWide(const String& text);
  void AnswerUTF8(const RawByteString& text);
  void AnswerBytes(const RawByteString& bytes);

private:
  String text(const void* p) const;
  void reserve(size_t length);
  ZLCallbackRec* FRec;
  static thread_local std::vector<char> FBuffer;
};

class TZADLLOpr : public TZAModOpr {
public:
  explicit TZADLLOpr(TCustomZipArchiver* zip);
  ~TZADLLOpr() override;

  void Extract();
  // Attaches (load) or releases (unload) this component at the loader.
  void DLLLoadState(bool load);
  int StreamCompress(TStream* dest, TStream* src, uint32_t& crc, int& method, int64_t size, bool unpack) override;

  // The library's entry points into the component.
  int32_t Callback(ZLCallbackRec* rec);
  int32_t StreamCallback(ZLStreamRec* rec);

private:
  int32_t dispatch(ZLCallbackRec* rec);
  int32_t request(TZLCallback& cb);
  int32_t message(TZLCallback& cb);
  int32_t password(TZLCallback& cb);
  void buildCommand(ZLCommand& cmd);
  void buildAddCommand(ZLCommand& cmd, bool encrypt);
  // Runs the command in the library; its result, or the component's
  // exception for a failure.
  int execCommand(ZLCommand& cmd);
  void raiseLibraryResult(int result);

  uint32_t FAbortHandle = 0;
  TStream* FCurrentStream = nullptr;
  String FArchiveName;
  String FExtrBase;
  String FErrorText;
  bool FBeingDestroyed = false;
  TZAPipeListImp FOprPipes;
};
