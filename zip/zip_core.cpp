#include "zip/zip_core.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/core/files.h"
#include "zip/zip_archiver.h"

// ---- progress ----------------------------------------------------------------------------

int32_t TZAProgressDetails::ItemPerCent() const {
  int64_t size = ItemSize(), pos = ItemPosition();
  if (size <= 0 || pos <= 0) return 0;
  return int32_t((100 * pos) / size);
}

bool TProgDetails::Update(int kind, int64_t value, const String& name) {
  switch (kind) {
    case 0:
      ++FItemNumber;
      FItemName = name;
      FItemSize = value;
      FItemPosition = 0;
      break;
    case 1:
      FDelta = value;
      FItemPosition += value;
      FTotalPosition += value;
      break;
    case 2: break;
    case 3:
      if (!FTotalAnnounced) return false;
      FTotalAnnounced = false;
      FItemName.clear();
      FItemSize = 0;
      FStop = false;
      break;
    case 4:
      *this = TProgDetails();
      FTotalCount = value;
      FItemNumber = 0;
      break;
    case 5:
      FTotalSize = value;
      FTotalPosition = FItemPosition = FItemSize = 0;
      FItemName.clear();
      FBytesWritten = 0;
      FStop = false;
      FTotalAnnounced = true;
      break;
    case 6:
      FItemName = name;
      FItemSize = value;
      FItemPosition = 0;
      break;
    case 7:
      FDelta = value;
      FItemPosition += value;
      break;
    default: return false;
  }
  FKind = uint8_t(kind);
  return true;
}

// ---- work objects ------------------------------------------------------------------------

TZAWorkBin::TZAWorkBin(TZAWorkBin* owner) : FOwner(owner) {
  if (owner) owner->FOwned.push_back(this);
}

TZAWorkBin::~TZAWorkBin() {
  // Owned objects go newest first; each leaves this list as it goes.
  while (!FOwned.empty()) {
    TZAWorkBin* last = FOwned.back();
    FOwned.pop_back();
    last->FOwner = nullptr;
    delete last;
  }
  if (FOwner) {
    auto& v = FOwner->FOwned;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
}

TZAWorkBase::TZAWorkBase(TCustomZipArchiver* zip, TZAWorkBin* owner) : TZAWorkBin(owner), FZip(zip) {}

void TZAWorkBase::ReportMessage(int code, const String& text, bool setError) {
  if (FZip) FZip->ReportMessage(code, text, setError);
}
void TZAWorkBase::ShowError(const String& text, int code, bool show) {
  if (FZip) FZip->ShowError(text, code, show);
}
void TZAWorkBase::ShowErrorId(int code, const String& extra) {
  if (FZip) FZip->ShowErrorId(code, extra);
}
String TZAWorkBase::ReportMsgFmt(int code, std::initializer_list<TVarRec> args) {
  return ZipFormat(ZAMsgId(code), args);
}
void TZAWorkBase::InfoMessage(int code, std::initializer_list<TVarRec> args) {
  String text = ReportMsgFmt(code, args);
  if (!text.empty() && text[0] == u'!') text = LoadZipStr(ZA_Info) + text.substr(1);
  else if (!text.empty() && text[0] == u'#') text = LoadZipStr(ZA_Trace) + text.substr(1);
  ReportMessage(0, text, true);
}
void TZAWorkBase::TraceMessage(const String& text) {
  if (FZip && (FZip->Verbose() || FZip->Trace())) ReportMessage(0, u"Trace: " + text, true);
}
bool TZAWorkBase::ReportSkipped(const String& name, int extError, int skipType) {
  return FZip ? FZip->ReportSkipped(name, extError, skipType) : false;
}
bool TZAWorkBase::Poll() { return FZip ? FZip->DoPoll() : false; }
uint8_t TZAWorkBase::Verbosity() const {
  if (!FZip) return 0;
  return FZip->Trace() ? 2 : FZip->Verbose() ? 1 : 0;
}
String TZAWorkBase::SysErrorText(int error) const {
  int e = error ? error : errno;
  return Format(u" [0x%x] %s", e, SysErrorMessage(e));
}
void TZAWorkBase::CheckIndex(int index, int count) const {
  if (index < 0 || index >= count) throw EZipArchiver(ZA_CODE(zsrcCore, ZA_IndexRange), {index, count - 1});
}
int TZAWorkBase::NextChangeNumber() { return FZip ? FZip->NextChangeNumber() : 1; }

// ---- operation core -------------------------------------------------------------------------

TZACore::TZACore(TCustomZipArchiver* zip, TZAWorkBin* owner) : TZAWorkBase(zip, owner) {}

TZACore::~TZACore() = default;

void TZACore::Finished(bool success) {
  for (auto it = FTempFiles.rbegin(); it != FTempFiles.rend(); ++it) {
    if (it->Name.size() < 2) continue;
    if (!(it->Always || !success)) continue;
    if (ZipEndsWithSep(it->Name)) {
      String dir = ZipDelSep(it->Name);
      if (DirectoryExists(dir)) RemoveDir(dir);
    } else if (FileExists(it->Name)) {
      DeleteFile(it->Name);
    }
  }
  FTempFiles.clear();
}

int TZACore::StreamCompress(TStream*, TStream*, uint32_t&, int&, int64_t, bool) {
  TraceMessage(u"Deflate not available");
  return -ZA_CODE(zsrcCore, ZA_InternalError);
}

void TZACore::CheckCancel() {
  Poll();
  if (FCancel == 0 && FZip && FZip->Cancel()) FCancel = 2;
  if (FCancel) throw EZipArchiver(FCancel, false);
}

void TZACore::AddTempFile(const String& name, bool always) {
  FTempFiles.push_back({ExpandFileName(name) + (ZipEndsWithSep(name) ? String(1, PathDelim) : String()), always});
}

void TZACore::Progress(int kind, int64_t value, const String& name) {
  if (FProgress.Update(kind, value, name) && FZip && FZip->OnProgress) FZip->OnProgress(FZip, FProgress);
  Poll();
}

// ---- pipes ----------------------------------------------------------------------------------------

TZAPipeImp::~TZAPipeImp() {
  if (FOwnsStream) delete FStream;
}

void TZAPipeImp::SetSize(int32_t v) {
  if (!FStream) {
    FSize = 0;
    return;
  }
  FSize = int32_t(std::min<int64_t>(v, FStream->Size()));
}

void TZAPipeImp::SetStream(TStream* v) {
  if (v == FStream) return;
  if (FOwnsStream) delete FStream;
  FStream = v;
}

void TZAPipeListImp::check(int index) {
  if (index < 0 || index > 9) throw EZipArchiver(ZA_CODE(zsrcCore, ZA_IndexRange), {index, 9});
}

TZAPipe* TZAPipeListImp::Item(int index) {
  check(index);
  if (index >= int(FPipes.size())) FPipes.resize(size_t(index + 1));
  if (!FPipes[size_t(index)]) FPipes[size_t(index)] = std::make_unique<TZAPipeImp>();
  return FPipes[size_t(index)].get();
}

void TZAPipeListImp::SetCount(int value) {
  check(value);
  if (value > int(FPipes.size())) FPipes.resize(size_t(value));
}

void TZAPipeListImp::PutItem(int index, TZAPipe* pipe) {
  check(index);
  if (index >= int(FPipes.size())) FPipes.resize(size_t(index + 1));
  if (FPipes[size_t(index)].get() != pipe) FPipes[size_t(index)].reset(pipe);
}

int TZAPipeListImp::Add(TStream* stream, const String& fileName, bool owns) {
  int index = int(FPipes.size());
  TZAPipe* p = Item(index);
  p->SetStream(stream);
  p->SetFileName(fileName);
  p->SetOwnsStream(owns);
  return index;
}

void TZAPipeListImp::MoveTo(TZAPipeListImp& dest) {
  dest.FPipes = std::move(FPipes);
  FPipes.clear();
}
