#include "zip/zip_archiver.h"

#include <unistd.h>

#include "platform/core/files.h"
#include "platform/core/threads.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "zip/zip_dialog.h"
#include "zip/zip_lister.h"
#include "zip/zip_loader.h"
#include "zip/zip_operations.h"

namespace {

const char16_t* const kSuffixes[] = {u"gif", u"png", u"z",   u"zip", u"zoo",  u"arc",  u"lzh", u"arj", u"taz",
                                     u"tgz", u"lha", u"rar", u"ace", u"cab",  u"gz",   u"gzip", u"jar", u"exe",
                                     nullptr, u"jpg", u"jpeg", u"7zp", u"mp3", u"wmv", u"wma", u"dvr-ms", u"avi"};

}  // namespace

TCustomZipArchiver::TCustomZipArchiver(TComponent* AOwner)
    : TComponent(AOwner), FFSpecArgs(std::make_unique<TStringList>()), FFSpecArgsExcl(std::make_unique<TStringList>()) {
  for (int i = assGIF; i <= assAVI; ++i)
    if (i != assEXE && i != assEXT) FAddStoreSuffixes.Include(TZAAddStoreExtsEnum(i));
  FNotMainThread = !IsMainThread();
  FActive = 2;
  FState = 1;
}

TCustomZipArchiver::~TCustomZipArchiver() {
  SetCancel(true);
  FActive = 0;
  OnMessage = nullptr;
  OnStateChange = nullptr;
  OnStream = nullptr;
  OnTick = nullptr;
  OnZipDialog = nullptr;
  FCurrentOp.reset();
  FLister.reset();
  TZADLLLoader::Instance().RemoveOwner(this);
}

// ---- frame ---------------------------------------------------------------------------------------

bool TCustomZipArchiver::IsActive() const { return FActive != 0 && !loadingOrDesigning(); }

bool TCustomZipArchiver::Active() const {
  if (loadingOrDesigning()) return FActive != 0;
  return FActive > 0;
}

void TCustomZipArchiver::SetState(uint8_t s) {
  bool noCursor = FNotMainThread;
  if (OnStateChange) OnStateChange(this, s, noCursor);
  // The hourglass belongs to a running program with a main window; tools
  // and tests that use the component have none to change.
  if (!noCursor && Screen && Application && Application->MainForm()) {
    if (FState < 3 && s >= 3) {
      if (FCursorCount++ == 0) {
        FSavedCursor = Screen->Cursor();
        Screen->SetCursor(crHourGlass);
      }
    } else if (FState >= 3 && s < 3 && FCursorCount > 0) {
      if (--FCursorCount == 0) Screen->SetCursor(FSavedCursor);
    }
  }
  FState = s;
}

bool TCustomZipArchiver::ReentryGuard() {
  if (FState < 3) return false;
  ++FReentry;
  SetState(4);
  if (Verbose()) ReportMessage(0, u"Trace: Re-entry", true);
  return true;
}

bool TCustomZipArchiver::BeginOperation() {
  if (!IsActive()) return false;
  if (++FBusy != 1) {
    --FBusy;
    ++FReentry;
    SetState(4);
    if (Verbose()) ReportMessage(0, u"Trace: Re-entry", true);
    return false;
  }
  SetState(3);
  FReentry = 0;
  FNotMainThread = !IsMainThread();
  FErrCode = 0;
  FErrMessage.clear();
  FFullErrCode = 0;
  FLibraryResult = 0;
  FSavedSpecs.Assign(*FFSpecArgs);
  FSavedExcludes.Assign(*FFSpecArgsExcl);
  if (FLister) FLister->Begin();
  if (FCurrentOp) FCurrentOp->Begin();
  return true;
}

void TCustomZipArchiver::EndOperation(bool success) {
  if (FCurrentOp) {
    FCurrentOp->Finished(success);
    FCurrentOp.reset();
  }
  if (FLister) FLister->Finished(success);
  if (success) {
    FFSpecArgs->Assign(FSavedSpecs);
    FFSpecArgsExcl->Assign(FSavedExcludes);
  }
  --FBusy;
  if (Trace()) ReportMessage(0, u"Trace: done = " + IntToStr(FBusy), true);
  if (FBusy == 0) {
    SetState(FState == 4 ? 2 : 1);
    if (FActive < 0) {
      FActive = 0;
      SetState(0);
    }
  }
}

template <class F>
void TCustomZipArchiver::runFrame(F&& body) {
  if (!BeginOperation()) return;
  try {
    body();
  } catch (...) {
    std::exception_ptr e = std::current_exception();
    EndOperation(false);
    FPipes.Clear();
    HandleOperationException(e);
    return;
  }
  EndOperation(true);
}

void TCustomZipArchiver::HandleOperationException(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const EZAException& z) {
    ShowError(z.Message(), int(z.FullCode()), z.Display());
  } catch (const Exception& x) {
    ShowErrorId(ZA_UnknownError, u" " + x.Message());
  } catch (const std::exception& x) {
    ShowErrorId(ZA_UnknownError, u" " + UTF8ToUTF16(x.what()));
  } catch (...) {
    ShowErrorId(ZA_UnknownError, String());
  }
}

void TCustomZipArchiver::SetCurrentOperation(TZACore* op) { FCurrentOp.reset(op); }

void TCustomZipArchiver::SetCancel(bool value) {
  if (value) {
    if (FCancel) return;
    if (FCurrentOp) FCurrentOp->Cancel();
    if (FLister) FLister->Cancel();
    FCancel = 2;
  } else {
    FCancel = 0;
  }
}

bool TCustomZipArchiver::DoPoll() {
  bool pending = FCancel != 0;
  if (OnTick) OnTick(this);
  if (OnCheckTerminate) {
    bool abort = FCancel != 0;
    OnCheckTerminate(this, abort);
    if (abort) FCancel = 2;
  } else if (!FNotMainThread && Application) {
    Application->ProcessMessages();
  }
  return pending;
}

String TCustomZipArchiver::MakeTempFileName(const String& prefix, const String& extension) {
  String dir = FTempDir.empty() ? GetTempDirectory() : IncludeTrailingPathDelimiter(FTempDir);
  UTF8String tmpl = UTF16ToUTF8(dir + prefix) + "XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  int fd = ::mkstemp(buf.data());
  if (fd < 0) return String();
  ::close(fd);
  ::unlink(buf.data());
  return UTF8ToUTF16(buf.data()) + extension;
}

// ---- reporting ---------------------------------------------------------------------------------------

void TCustomZipArchiver::ReportMessage(int code, const String& text, bool setError) {
  unsigned c = code < 0 ? 0u - unsigned(code) : unsigned(code);
  int id = int(c & 0x1FF);
  if (setError && id != 0 && FErrCode == 0 && IsActive()) {
    FErrCode = id;
    FFullErrCode = c;
    FErrMessage = text;
  }
  if (OnMessage) OnMessage(this, id, text);
  DoPoll();
}

void TCustomZipArchiver::ShowError(const String& text, int code, bool show) {
  unsigned c = code < 0 ? 0u - unsigned(code) : unsigned(code);
  FErrMessage = text;
  FErrCode = int(c & 0x1FF);
  FFullErrCode = c;
  if (show && !FUnattended && FErrCode != ZA_UserCancel && FErrCode != ZA_UserAbort) {
    String msg = text;
    String title = Application ? Application->Title() : String();
    ZipDialog(title, msg, TZADlgBtns{zbOK}, 0x100000 | (2 << 16) | 10000);
  }
  ReportMessage(int(c), text, FState < 3);
}

void TCustomZipArchiver::ShowErrorId(int code, const String& extra) {
  int id = ZAMsgId(code);
  String text = LoadZipStr(id);
  if (text.empty()) text = Format(u"ZARes_???.res is probably not linked to the executable\nMissing String ID is: %d ", code);
  ShowError(text + extra, code, true);
}

void TCustomZipArchiver::RecordError(int code, const String& text) {
  unsigned c = code < 0 ? 0u - unsigned(code) : unsigned(code);
  FFullErrCode = c;
  FErrCode = int(c & 0x1FF);
  FErrMessage = text;
}

void TCustomZipArchiver::LibraryMessage(uint32_t e, int id, const String& text) {
  if (e != 0 && FFullErrCode == 0) FFullErrCode = e | 0x80000000u;
  if (id != 0 && FErrCode == 0) {
    FErrCode = id;
    FErrMessage = text;
  }
  if (OnMessage) OnMessage(this, id, text);
}

bool TCustomZipArchiver::ReportSkipped(const String& name, int extError, int skipType) {
  int err = extError;
  bool fatal = skipType >= 0 && skipType < 64 && FNoSkipping.Contains(TZASkipTypes(skipType));
  if (fatal) {
    if (err == 0) err = ZA_SkipNotAllowed;
    if (err > 0) err = -err;
  }
  if (OnSkipped) {
    OnSkipped(this, name, TZASkipTypes(skipType), err);
  } else if ((Verbose() || Trace()) && OnMessage) {
    OnMessage(this, ZA_UnknownErr200, ZipFormat(ZA_Skipped, {name, skipType}));
  }
  return err < 0;
}

int TCustomZipArchiver::ZipDialog(const String& title, String& msg, TZADlgBtns btns, uint32_t context) {
  int number = int(context & 0xFFFF);
  String caption = title.empty() && Application ? Application->Title() : title;
  if (Trace() || Verbose()) caption = Format(u"%s   (%d)", caption, number);
  if (OnZipDialog) {
    int result = int(context);
    OnZipDialog(this, caption, msg, result, btns);
    if (result >= 1 && result <= 10) return result;
  }
  int type = (context & 0x1F0000) >= 0x100000 ? int((context >> 16) & 0xF) : 0;
  TZipDialogBox box(this, caption, msg, btns, type);
  int result = box.ShowModal();
  if (type == 4) msg = result == 1 ? box.Password() : String();
  return result;
}

TZADlgBtn TCustomZipArchiver::ZipPassword(bool isAdd, String& password, const String& forFile) {
  password.clear();
  if (FUnattended) {
    ShowErrorId(isAdd ? ZA_NoAddPassword : ZA_NoExtrPassword, String());
    return zbCancel;
  }
  String msg = LoadZipStr(72) + forFile;
  TZADlgBtns btns = isAdd ? TZADlgBtns{zbOK, zbCancel} : TZADlgBtns{zbOK, zbCancel, zbAll};
  int r = ZipDialog(LoadZipStr(70), msg, btns, 0x100000 | (4 << 16) | (isAdd ? 10004 : 10003));
  if (r == 1 && isAdd && !msg.empty()) {
    String again = LoadZipStr(71);
    int r2 = ZipDialog(LoadZipStr(70), again, btns, 0x100000 | (4 << 16) | 10005);
    if (r2 != 1 || again != msg) {
      ShowErrorId(134, String());
      return zbCancel;
    }
  }
  if (r == 1) {
    password = msg;
    if (FBusy == 0) FPassword = msg;
    return zbOK;
  }
  if (r == 2) return zbCancel;
  if (r == 8) return zbAll;
  return zbAbort;
}

// ---- actions -------------------------------------------------------------------------------------------

int TCustomZipArchiver::Extract() {
  runFrame([this] {
    auto* op = new TZADLLOpr(this);
    SetCurrentOperation(op);
    op->Extract();
  });
  return IsActive() ? FErrCode : ZA_NotActive;
}

int TCustomZipArchiver::StreamCompress(TStream* dest, TStream* src, uint32_t& crc, int& method, int64_t size,
                                       bool unpack) {
  runFrame([&] {
    auto* op = new TZADLLOpr(this);
    SetCurrentOperation(op);
    op->StreamCompress(dest, src, crc, method, size, unpack);
  });
  return IsActive() ? FErrCode : ZA_NotActive;
}

void TCustomZipArchiver::listArchive() {
  if (!FLister) FLister = std::make_unique<TZALister>(this);
  FLister->Load(FZipFileName, false);
}

void TCustomZipArchiver::applyDeferred() {
  runFrame([this] {
    uint32_t flags = FDeferred;
    FDeferred = 0;
    if (flags & 1) SetZipMsgLanguage(FLanguage);
    else if (flags & 2) SetZipMsgLanguageID(FLanguageID);
    if (flags & 4) {
      FLister = std::make_unique<TZALister>(this);
      FLister->Load(FZipFileName, false);
    }
    if ((flags & 8) && FErrCode == 0) writeComment(FZipComment);
    if ((flags & 16) && FErrCode == 0) {
      auto* op = new TZADLLOpr(this);
      SetCurrentOperation(op);
      op->DLLLoadState(FDLLLoadWanted);
      FDLLLoadWanted = TZADLLLoader::Instance().IsAttached(this);
    }
  });
}

void TCustomZipArchiver::Loaded() {
  TComponent::Loaded();
  if (IsActive() && FDeferred) applyDeferred();
}

// ---- properties ------------------------------------------------------------------------------------------

void TCustomZipArchiver::SetActive(bool value) {
  if (loadingOrDesigning()) {
    FActive = value ? 1 : 0;
    return;
  }
  if (value && FActive < 0) {
    FActive = 1;
    return;
  }
  if (value == (FActive != 0)) return;
  if (!value) {
    if (FBusy == 0) {
      FActive = 0;
      SetState(0);
    } else {
      FActive = -3;
    }
    return;
  }
  bool was = FActive == 0;
  FActive = 1;
  if (was) {
    SetState(1);
    if (FDeferred && FBusy == 0) applyDeferred();
  }
}

#define ZA_GUARDED_SETTER(Name, Type, Field)    \
  void TCustomZipArchiver::Set##Name(Type value) { \
    if (ReentryGuard()) return;                  \
    Field = value;                               \
  }

ZA_GUARDED_SETTER(AddCompLevel, int, FAddCompLevel)
ZA_GUARDED_SETTER(AddFrom, TDateTime, FAddFrom)
ZA_GUARDED_SETTER(AddOptions, TZAAddOpts, FAddOptions)
ZA_GUARDED_SETTER(AddStoreSuffixes, TZAAddStoreExts, FAddStoreSuffixes)
ZA_GUARDED_SETTER(ConfirmErase, bool, FConfirmErase)
ZA_GUARDED_SETTER(DLLDirectory, const String&, FDLLDirectory)
ZA_GUARDED_SETTER(ExtrBaseDir, const String&, FExtrBaseDir)
ZA_GUARDED_SETTER(ExtrOptions, TZAExtrOpts, FExtrOptions)
ZA_GUARDED_SETTER(HowToDelete, TZADeleteOpts, FHowToDelete)
ZA_GUARDED_SETTER(KeepFreeOnAllDisks, uint32_t, FKeepFreeOnAllDisks)
ZA_GUARDED_SETTER(KeepFreeOnDisk1, uint32_t, FKeepFreeOnDisk1)
ZA_GUARDED_SETTER(MinFreeVolumeSize, uint32_t, FMinFreeVolumeSize)
ZA_GUARDED_SETTER(NoSkipping, TZASkipAborts, FNoSkipping)
ZA_GUARDED_SETTER(Password, const String&, FPassword)
ZA_GUARDED_SETTER(RootDir, const String&, FRootDir)
ZA_GUARDED_SETTER(Unattended, bool, FUnattended)

#undef ZA_GUARDED_SETTER

#define ZA_STUB_SETTER(Name, Type, Field)          \
  void TCustomZipArchiver::Set##Name(Type value) { \
    if (ReentryGuard()) return;                    \
    if (Field == value) return;                    \
    Field = value;                                 \
    SetStubChanged();                              \
  }

ZA_STUB_SETTER(SFXCaption, const String&, FSFXCaption)
ZA_STUB_SETTER(SFXCommandLine, const String&, FSFXCommandLine)
ZA_STUB_SETTER(SFXDefaultDir, const String&, FSFXDefaultDir)
ZA_STUB_SETTER(SFXMessage, const String&, FSFXMessage)
ZA_STUB_SETTER(SFXPath, const String&, FSFXPath)
ZA_STUB_SETTER(SFXRegFailPath, const String&, FSFXRegFailPath)
ZA_STUB_SETTER(SFXIcon, const RawByteString&, FSFXIcon)
ZA_STUB_SETTER(SFXOptions, TZASFXOpts, FSFXOptions)
ZA_STUB_SETTER(SFXOverwriteMode, TZASFXOverwriteMode, FSFXOverwriteMode)

#undef ZA_STUB_SETTER

void TCustomZipArchiver::SetSpanOptions(TZASpanOpts value) {
  if (ReentryGuard()) return;
  TZASpanOpts firstTwo{spNoVolumeName, spCompatName};
  if ((value * firstTwo) != (FSpanOptions * firstTwo)) SetStubChanged();
  FSpanOptions = value;
}

void TCustomZipArchiver::SetWriteOptions(TZAWriteOpts value) {
  if (value.Contains(zwoDiskSpan) != FWriteOptions.Contains(zwoDiskSpan)) SetStubChanged();
  FWriteOptions = value;
}

void TCustomZipArchiver::SetNoReadAux(bool value) {
  if (ReentryGuard()) return;
  FNoReadAux = value;
  FStubChanged = false;
}

void TCustomZipArchiver::SetMaxVolumeSize(int64_t value) {
  if (ReentryGuard()) return;
  FMaxVolumeSize = value <= 0 ? 0 : value;
}

void TCustomZipArchiver::SetMaxVolumeSizeKb(int value) {
  if (ReentryGuard()) return;
  FMaxVolumeSize = value < 1 ? 0 : int64_t(value) * 1024;
}

void TCustomZipArchiver::SetPasswordReqCount(uint32_t value) {
  if (ReentryGuard()) return;
  FPasswordReqCount = value > 15 ? 15 : value;
}

void TCustomZipArchiver::SetTempDir(const String& value) {
  if (ReentryGuard()) return;
  FTempDir = value.empty() ? value : IncludeTrailingPathDelimiter(value);
}

void TCustomZipArchiver::SetTrace(bool value) {
  if (ReentryGuard()) return;
  FVerbosity = uint8_t(value ? FVerbosity | 2 : FVerbosity & ~2);
}

void TCustomZipArchiver::SetVerbose(bool value) {
  if (ReentryGuard()) return;
  FVerbosity = uint8_t(value ? FVerbosity | 1 : FVerbosity & ~1);
}

void TCustomZipArchiver::SetFSpecArgs(const TStrings& value) {
  if (ReentryGuard()) return;
  FFSpecArgs->Assign(value);
}

void TCustomZipArchiver::SetFSpecArgsExcl(const TStrings& value) {
  if (ReentryGuard()) return;
  FFSpecArgsExcl->Assign(value);
}

void TCustomZipArchiver::SetExtAddStoreSuffixes(const String& value) {
  if (ReentryGuard()) return;
  if (value.empty()) {
    FExtAddStoreSuffixes.clear();
    FAddStoreSuffixes.Exclude(assEXT);
    return;
  }
  String out;
  String part;
  auto flush = [&] {
    String p = Trim(part);
    part.clear();
    if (p.empty()) return;
    if (p[0] != u'.') p = u"." + p;
    out += p + u":";
  };
  for (char16_t c : value) {
    if (c == u';' || c == u',' || c == u':') flush();
    else part += c;
  }
  flush();
  FExtAddStoreSuffixes = LowerCase(out);
  FAddStoreSuffixes.Include(assEXT);
}

String TCustomZipArchiver::StoreSuffixList() const {
  String out;
  for (int i = assGIF; i <= assAVI; ++i) {
    if (i == assEXT || !FAddStoreSuffixes.Contains(TZAAddStoreExtsEnum(i))) continue;
    out += String(u".") + kSuffixes[i] + u":";
  }
  if (FAddStoreSuffixes.Contains(assEXT)) out += FExtAddStoreSuffixes;
  return out;
}

void TCustomZipArchiver::SetEncoding(TZAEncodingOpts value) {
  if (value == FEncoding) return;
  FEncoding = value;
  if (!FLister) return;
  runFrame([this] {
    if (TZAZipFile* a = FLister->CenDir().CurrentArchive()) a->ClearCachedNames();
  });
}

void TCustomZipArchiver::SetUseDirOnlyEntries(bool value) {
  if (value == FUseDirOnlyEntries) return;
  FUseDirOnlyEntries = value;
  if (!FLister) return;
  runFrame([this] { FLister->CenDir().SetUseDirOnly(FUseDirOnlyEntries); });
}

bool TCustomZipArchiver::DLL_Load() const {
  if (loadingOrDesigning()) return FDLLLoadWanted;
  return TZADLLLoader::Instance().IsAttached(const_cast<TCustomZipArchiver*>(this));
}

void TCustomZipArchiver::SetDLL_Load(bool value) {
  if (value == FDLLLoadWanted && (loadingOrDesigning() || value == DLL_Load())) return;
  if (!IsActive()) {
    FDLLLoadWanted = value;
    FDeferred |= 16;
    return;
  }
  if (ReentryGuard()) return;
  runFrame([this, value] {
    auto* op = new TZADLLOpr(this);
    SetCurrentOperation(op);
    op->DLLLoadState(value);
  });
  FDLLLoadWanted = TZADLLLoader::Instance().IsAttached(this);
}

void TCustomZipArchiver::SetZipFileName(const String& value) {
  if (!IsActive()) {
    if (value != FZipFileName) {
      FZipFileName = value;
      FDeferred |= 4;
    }
    return;
  }
  if (ReentryGuard()) return;
  FZipFileName = value;
  FLister.reset();
  runFrame([this] { listArchive(); });
}

void TCustomZipArchiver::writeComment(const RawByteString& value) {
  TZAZipFile* a = FLister ? FLister->CenDir().CurrentArchive() : nullptr;
  if (!FLister || !(a && (FileExists(FZipFileName) || a->NumberOfParts() > 1))) {
    FZipComment = value;
    return;
  }
  if (!FLister->IsLoaded()) throw EZAException(ZA_CODE(zsrcComment, ZA_InvalidZipProcess), true);
  if (value == a->ArchiveComment()) {
    FZipComment = value;
    return;
  }
  auto* op = new TZAModOpr(this);
  SetCurrentOperation(op);
  op->WriteComment(value);
}

void TCustomZipArchiver::SetZipComment(const RawByteString& value) {
  if (!IsActive()) {
    FZipComment = value;
    FDeferred |= 8;
    return;
  }
  if (ReentryGuard()) return;
  runFrame([this, value] { writeComment(value); });
}

String TCustomZipArchiver::Language() const {
  if (loadingOrDesigning()) return FLanguage;
  return GetZipMsgLanguageInfo(0, -1);
}

void TCustomZipArchiver::SetLanguage(const String& value) {
  if (!IsActive()) {
    FLanguage = value;
    FDeferred |= 1;
    return;
  }
  if (ReentryGuard()) return;
  runFrame([this, value] {
    FLanguage = value;
    SetZipMsgLanguage(value);
  });
}

unsigned TCustomZipArchiver::LanguageID() const {
  if (loadingOrDesigning()) return FLanguageID;
  return GetZipMsgLanguageID();
}

void TCustomZipArchiver::SetLanguageID(unsigned value) {
  if (!IsActive()) {
    FLanguageID = value;
    FDeferred |= 2;
    return;
  }
  if (ReentryGuard()) return;
  runFrame([this, value] {
    FLanguageID = value;
    SetZipMsgLanguageID(value);
  });
}

int TCustomZipArchiver::Count() const { return FLister ? FLister->CenDir().Count() : 0; }

TZADirEntry* TCustomZipArchiver::DirEntry(int index) const {
  return FLister ? FLister->CenDir().Entries(index) : nullptr;
}

void TCustomZipArchiver::SetSpanFromArchive(TZASpanOpts span, bool multi) {
  if (multi) {
    FSpanOptions = span;
    FWriteOptions.Include(zwoDiskSpan);
  } else {
    FWriteOptions.Exclude(zwoDiskSpan);
  }
}

void TCustomZipArchiver::SetSFXFromStub(const String& caption, const String& dir, const String& cmd,
                                        const String& regFail, const String& msg, TZASFXOpts opts,
                                        TZASFXOverwriteMode mode, const RawByteString& icon) {
  FSFXCaption = caption;
  FSFXDefaultDir = dir;
  FSFXCommandLine = cmd;
  FSFXRegFailPath = regFail;
  FSFXMessage = msg;
  FSFXOptions = opts;
  FSFXOverwriteMode = mode;
  FSFXIcon = icon;
}
