#include "zip/zip_operations.h"

#include <sys/stat.h>

#include <cstring>

#include "platform/core/files.h"
#include "zip/zip_archiver.h"
#include "zip/zip_lister.h"
#include "zip/zip_loader.h"

// ---- file operations ------------------------------------------------------------------------

TZAFileOpr::TZAFileOpr(TCustomZipArchiver* zip) : TZACore(zip), FLister(zip ? zip->Lister() : nullptr) {}

TZAFileOpr::~TZAFileOpr() = default;

int TZAFileOpr::JoinVolumes(const String& source, String& dest, bool join) {
  String name = dest;
  if (!name.empty() && !ZipEndsWithSep(name)) {
    name = ChangeFileExt(name, u".zip");
  } else {
    name = FZip->MakeTempFileName();
    if (name.empty()) {
      ShowErrorId(ZA_CODE(zsrcFileOpr, ZA_TempFailed));
      dest.clear();
      return -ZA_CODE(zsrcFileOpr, ZA_TempFailed);
    }
  }
  int result = 0;
  auto src = std::make_unique<TZAZipFile>(FZip, nullptr);
  src->SetFileName(source);
  auto out = std::make_unique<TZAZipCopy>(FZip, nullptr);
  // The joined archive is written beside its name and put in place only
  // when it is whole: a failure leaves whatever had that name untouched.
  try {
    int r = src->OpenZip(false, false);
    if (r < 0) throw EZipArchiver(r, true);
    if (!out->CreateBeside(name)) throw EZipArchiver(ZA_CODE(zsrcFileOpr, ZA_CreateOutputFailed), true);
    if (join) FZip->SetAddState(3);
    r = out->WriteFile(*src, true);
    if (r < 0) throw EZipArchiver(r, true);
    // The rename replaces an earlier file of the name in one step.
    if (!out->RenameToTarget()) throw EZipArchiver(ZA_CODE(zsrcFileOpr, ZA_CreateOutputFailed), true);
  } catch (const EZAException& e) {
    result = -int(e.FullCode() ? e.FullCode() : unsigned(ZA_CODE(zsrcFileOpr, ZA_CreateOutputFailed)));
    ShowErrorId(int(e.FullCode()), String());
  }
  FZip->SetAddState(0);
  src->Close();
  out.reset();
  if (result < 0) dest.clear();
  else dest = name;
  return result;
}

void TZAModOpr::WriteComment(const RawByteString& comment) {
  String name = FZip->ZipFileName();
  if (name.empty()) throw EZipArchiver(ZA_CODE(zsrcComment, ZA_NoZipSpecified), true);
  TZACenDir& dir = FLister->CenDir();
  TZAZipFile* a = dir.CurrentArchive();
  if (!a) throw EZipArchiver(ZA_CODE(zsrcComment, ZA_InvalidZipProcess), true);
  if (a->Reopen(fmOpenRead) < 0) throw EZipArchiver(ZA_CODE(zsrcComment, ZA_CannotOpen), true);
  if (comment.size() > 0xFFFF) throw EZipArchiver(ZA_CODE(zsrcComment, ZA_EOCWriteErr), true);
  uint8_t rec[22];
  a->StrictSeek(int64_t(a->EOCPosition()), -1);
  if (a->Read(rec, -22) != 22 || (rec[0] | (rec[1] << 8) | (rec[2] << 16) | (uint32_t(rec[3]) << 24)) != ZipEndSig)
    throw EZipArchiver(ZA_CODE(zsrcComment, ZA_EOCReadErr), true);
  rec[20] = uint8_t(comment.size() & 0xFF);
  rec[21] = uint8_t(comment.size() >> 8);
  // The archive is rewritten beside itself and replaces the old one only
  // when complete, so a failed write never damages it. What follows the
  // end record (an older, longer comment) is dropped.
  TZAWorkFile out(FZip);
  if (!out.CreateBeside(a->FileName())) throw EZipArchiver(ZA_CODE(zsrcComment, ZA_EOCWriteErr), true);
  a->StrictSeek(0, -1);
  if (out.CopyFrom(*a, int64_t(a->EOCPosition())) != int64_t(a->EOCPosition()))
    throw EZipArchiver(ZA_CODE(zsrcComment, ZA_EOCWriteErr), true);
  out.StrictWrite(rec, 22, ZA_CODE(zsrcComment, ZA_EOCWriteErr));
  if (!comment.empty()) out.StrictWrite(comment.data(), int(comment.size()), ZA_CODE(zsrcComment, ZA_EOCWriteErr));
  struct stat st;
  if (a->IsOpen() && ::fstat(a->Handle(), &st) == 0) ::fchmod(out.Handle(), st.st_mode & 07777);
  if (!out.RenameToTarget()) throw EZipArchiver(ZA_CODE(zsrcComment, ZA_EOCWriteErr), true);
  a->SetArchiveComment(comment);
  a->AdoptRewrite();
  FZip->SetZipCommentFromArchive(comment);
}

// ---- answers to the library ---------------------------------------------------------------------

thread_local std::vector<char> TZLCallback::FBuffer;

String TZLCallback::text(const void* p) const {
  if (!p) return {};
  if (FRec->IsUTF16) {
    String s;
    for (auto* w = static_cast<const uint16_t*>(p); *w; ++w) s += char16_t(*w);
    return s;
  }
  return ZipUTF8ToWide(static_cast<const char*>(p));
}

String TZLCallback::Msg() const { return text(FRec->Msg); }
String TZLCallback::Msg2() const { return text(FRec->Msg2); }

void TZLCallback::reserve(size_t length) {
  size_t want = ((length + 4 + 511) / 512) * 512;
  if (FBuffer.size() < want) FBuffer.assign(want, 0);
}

void TZLCallback::AnswerWide(const String& s) {
  reserve((s.size() + 1) * 2);
  std::memcpy(FBuffer.data(), s.data(), s.size() * 2);
  std::memset(FBuffer.data() + s.size() * 2, 0, 4);
  FRec->IsUTF16 = 1;
  FRec->Msg = FBuffer.data();
}

void TZLCallback::AnswerUTF8(const RawByteString& s) {
  reserve(s.size());
  std::memcpy(FBuffer.data(), s.data(), s.size());
  std::memset(FBuffer.data() + s.size(), 0, 4);
  FRec->IsUTF16 = 0;
  FRec->Msg = FBuffer.data();
  FRec->Arg1 = int32_t(s.size());
}

void TZLCallback::AnswerBytes(const RawByteString& bytes) {
  RawByteString b = bytes.substr(0, 2048);
  reserve(b.size());
  std::memcpy(FBuffer.data(), b.data(), b.size());
  std::memset(FBuffer.data() + b.size(), 0, 4);
  FRec->Msg = FBuffer.data();
  FRec->Arg1 = int32_t(b.size());
}

// ---- the library operation ---------------------------------------------------------------------------

namespace {

extern "C" int32_t zipLibraryCallback(ZLCallbackRec* rec) {
  if (!rec || rec->Check != ZL_CALLBACK_CHECK) return -5;
  return static_cast<TZADLLOpr*>(rec->Caller)->Callback(rec);
}

extern "C" int32_t zipLibraryStreamCallback(ZLStreamRec* rec) {
  if (!rec || rec->Check != ZL_STREAM_CHECK) return -5;
  return static_cast<TZADLLOpr*>(rec->Caller)->StreamCallback(rec);
}

}  // namespace

TZADLLOpr::TZADLLOpr(TCustomZipArchiver* zip) : TZAModOpr(zip) {}

TZADLLOpr::~TZADLLOpr() {
  FBeingDestroyed = true;
  if (FAbortHandle) TZADLLLoader::Instance().Abort(FZip, FAbortHandle);
}

void TZADLLOpr::DLLLoadState(bool load) {
  if (load) TZADLLLoader::Instance().Attach(this);
  else TZADLLLoader::Instance().Release(FZip);
}

int TZADLLOpr::StreamCompress(TStream* dest, TStream* src, uint32_t& crc, int& method, int64_t size, bool unpack) {
  if (!src) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_NoInStream), true);
  if (!dest) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_NoOutStream), true);
  if (src == FZip->ScratchStream()) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_StreamSelf), true);
  const bool encrypt = (method & 1) != 0;
  if (encrypt && FZip->Unattended() && FZip->Password().empty())
    throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_NoUnattPassword), true);
  // No cipher is offered for new data: an encrypted stream is refused
  // rather than written in some form no reader expects.
  if (encrypt) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_NoEncryption), true);
  bool exact = false;
  String path = TZADLLLoader::LibraryPath(FZip->DLLDirectory(), exact);
  if (TZADLLLoader::Instance().Attach(this) <= 0) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_DLLFailed), {path});
  struct Release {
    TCustomZipArchiver* zip;
    ~Release() { TZADLLLoader::Instance().Release(zip); }
  } release{FZip};
  ZLCommand cmd;
  if (unpack) {
    buildCommand(cmd);
    cmd.Options = (cmd.Options & ~ZL_OPT_TEST) | ZL_OPT_EXTRACT;
  } else {
    buildAddCommand(cmd, encrypt);
  }
  ZLStreamRec rec{};
  rec.Caller = this;
  rec.Stream = src;
  rec.Buffer = dest;
  rec.Number = (method & 2) ? 8 : 0;
  rec.Position = size;
  rec.DosDate = crc;
  rec.Check = ZL_STREAM_CHECK;
  cmd.StreamRecord = &rec;
  int result = execCommand(cmd);
  if (result == 1) {
    method = rec.Number == 8 ? 2 : 0;
    crc = rec.DosDate;
  }
  return result;
}

namespace {

void fillBaseCommand(ZLCommand& cmd, TCustomZipArchiver* zip, void* caller) {
  std::memset(&cmd, 0, sizeof cmd);
  cmd.OwnerWindow = 0;
  cmd.Caller = caller;
  cmd.Version = ZL_INTERFACE_VERSION;
  cmd.Callback = &zipLibraryCallback;
  cmd.StreamCallback = &zipLibraryStreamCallback;
  cmd.TraceLevel = zip->Trace() ? -1 : zip->Verbose() ? 1 : 0;
  int enc = int(zip->Encoding()) & 127;
  cmd.Encoding = enc == zeoOEM ? 2 : enc == zeoUTF8 ? 3 : 0;
  cmd.CodePage = 0;
  cmd.Check = ZL_COMMAND_CHECK;
}

}  // namespace

void TZADLLOpr::buildAddCommand(ZLCommand& cmd, bool encrypt) {
  fillBaseCommand(cmd, FZip, this);
  TZAAddOpts o = FZip->AddOptions();
  if (encrypt) o.Include(AddEncrypt);
  else o.Exclude(AddEncrypt);
  uint32_t bits = ZL_OPT_ALWAYS;
  if (o.Contains(AddArchiveOnly)) bits |= 0x100000;
  if (o.Contains(AddResetArchive)) bits |= 0x200000;
  if (FZip->HowToDelete() == htdAllowUndo) bits |= 0x800000;
  if (o.Contains(AddVersion)) bits |= 0x400000;
  if (o.Contains(AddVolume)) bits |= 0x4000000;
  if (!FZip->WriteOptions().Contains(zwoSafe)) bits |= 0x4000;
  bits |= o.Contains(AddNTFS) ? 0x8000001 : ZL_OPT_ADD;
  if (FZip->WriteOptions().Contains(zwoZipTime)) bits |= 0x80000;
  if (o.Contains(AddMove)) bits |= 0x10000;
  if (o.Contains(AddUpdate)) bits |= 0x80;
  else if (o.Contains(AddFreshen)) bits |= 0x100;
  if (o.Contains(AddEncrypt)) bits |= ZL_OPT_ENCRYPT;
  if (o.Contains(AddRecurseDirs)) bits |= 0x2000;
  if (o.Contains(AddHiddenFiles)) bits |= 0x20000;
  if (!o.Contains(AddEmptyDirs)) bits |= 0x800;
  if (!o.Contains(AddDirNames)) bits |= 0x1000;
  cmd.Options = bits;
  cmd.AddState = FZip->AddState() & 127;
  cmd.AddCompLevel = FZip->AddCompLevel();
  if (o.Contains(AddFromDate)) cmd.AddFrom = ZipDateTimeToDos(FZip->AddFrom());
}

int TZADLLOpr::execCommand(ZLCommand& cmd) {
  int result;
  try {
    result = TZADLLLoader::Instance().Exec(this, &cmd, FAbortHandle);
  } catch (...) {
    result = -6;
  }
  FAbortHandle = 0;
  FZip->SetLibraryResult(result);
  if (result < 0) raiseLibraryResult(result);
  return result;
}

void TZADLLOpr::raiseLibraryResult(int result) {
  int n = -result;
  if (n == 1 || n == 2) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_UserCancel), false);
  // The library already said what went wrong, in more words than the
  // bare result carries: that error stands and is the one shown.
  if (FZip->ErrCode() != 0) {
    FZip->ShowError(FZip->ErrMessage(), ZA_CODE(zsrcDLLOpr, FZip->ErrCode()), true);
    return;
  }
  if (n <= 36) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_DLLBase + n), true);
  throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_CriticalDLL), n);
}

void TZADLLOpr::buildCommand(ZLCommand& cmd) {
  fillBaseCommand(cmd, FZip, this);
  // Extraction names the setting itself: the library then decodes names
  // as the lister shows them.
  cmd.Encoding = int32_t(FZip->Encoding()) & 127;
  TZAExtrOpts o = FZip->ExtrOptions();
  uint32_t bits = ZL_OPT_ALWAYS;
  if (o.Contains(ExtrNTFS)) bits |= ZL_OPT_NTFS;
  if (o.Contains(ExtrDirNames)) bits |= ZL_OPT_DIRNAMES;
  if (o.Contains(ExtrOverWrite)) bits |= ZL_OPT_OVERWRITE;
  if (o.Contains(ExtrUpdate)) bits |= ZL_OPT_UPDATE;
  else if (o.Contains(ExtrFreshen)) bits |= ZL_OPT_FRESHEN;
  bits |= o.Contains(ExtrTest) ? ZL_OPT_TEST : ZL_OPT_EXTRACT;
  cmd.Options = bits;
  cmd.PasswordReqCount = int32_t(FZip->PasswordReqCount());
}

void TZADLLOpr::Extract() {
  uint32_t savedReqCount = FZip->PasswordReqCount();
  FCancel = 0;
  if (FZip->ZipFileName().empty()) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_NoZipSpecified), true);
  TZALister* lister = FZip->Lister();
  auto entries = [&] {
    TZAZipFile* a = lister ? lister->CenDir().CurrentArchive() : nullptr;
    return a ? a->Count() : 0;
  };
  if (entries() == 0 && lister) lister->Load(FZip->ZipFileName(), true);
  if (entries() == 0) {
    if (FZip->ErrCode() == 0) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_CannotOpen), true);
    return;
  }
  TZAExtrOpts opts = FZip->ExtrOptions();
  String base = FZip->ExtrBaseDir();
  if (!opts.Contains(ExtrTest) && !base.empty()) {
    base = IncludeTrailingPathDelimiter(ExpandFileName(base));
    if (opts.Contains(ExtrForceDirs)) ZipForceDirectories(base);
    if (!DirectoryExists(ExcludeTrailingPathDelimiter(base)))
      throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_ExtrDirMissing), {base});
  }
  FArchiveName = ExpandFileName(FZip->ZipFileName());
  String joined;
  TZAZipFile* a = lister->CenDir().CurrentArchive();
  if (a && a->NumberOfParts() > 1) {
    String dest = IncludeTrailingPathDelimiter(FZip->TempDir().empty() ? GetTempDirectory() : FZip->TempDir());
    int r = JoinVolumes(FArchiveName, dest, true);
    if (r < 0 || dest.empty()) return;
    joined = dest;
    FArchiveName = dest;
  }
  struct Cleanup {
    TZADLLOpr* op;
    String joined;
    uint32_t reqCount;
    bool attached = false;
    ~Cleanup() {
      if (attached) TZADLLLoader::Instance().Release(op->FZip);
      op->FZip->SavedSpecs().Clear();
      op->FOprPipes.Clear();
      if (!joined.empty()) DeleteFile(joined);
      op->FZip->SetPasswordReqCountRaw(reqCount);
    }
  } cleanup{this, joined, savedReqCount};
  FExtrBase = base;
  if (TZADLLLoader::Instance().Attach(this) <= 0) return;
  cleanup.attached = true;
  FZip->Pipes().MoveTo(FOprPipes);
  for (int i = 0; i < FOprPipes.Count(); ++i) {
    String name = FOprPipes.Item(i)->FileName();
    if (!ZipNoWildcards(name)) throw EZipArchiver(ZA_CODE(zsrcDLLOpr, ZA_InvalidName), true);
    while (!name.empty() && (name[0] == u'\\' || name[0] == u'/')) name.erase(0, 1);
    if (name.size() > 260) name.resize(260);
    if (name.empty()) name = u"#stream" + IntToStr(i) + u"#";
    FZip->SavedSpecs().Insert(std::min(i, FZip->SavedSpecs().Count()), IntToStr(i) + u":" + name);
  }
  ZLCommand cmd;
  buildCommand(cmd);
  if (FZip->Unattended() && FZip->Password().empty() && !FZip->OnPasswordError) {
    FZip->SetPasswordReqCountRaw(0);
    cmd.PasswordReqCount = 0;
    InfoMessage(ZA_UnattExtract, {});
  }
  execCommand(cmd);
}

int32_t TZADLLOpr::Callback(ZLCallbackRec* rec) {
  if (FBeingDestroyed) return 0;
  int code = rec->ActionCode & 63;
  try {
    int32_t answer = dispatch(rec);
    if (code >= 9 && code <= 17) Poll();
    if (FCancel == 0 && FZip->Cancel()) FCancel = 2;
    if (FCancel != 0) answer = -2;
    return answer;
  } catch (const std::exception& e) {
    if (FErrorText.empty()) FErrorText = u" #" + IntToStr(code) + u" \"" + UTF8ToUTF16(e.what()) + u"\"";
  } catch (...) {
    if (FErrorText.empty()) FErrorText = u" #" + IntToStr(code) + u" \"\"";
  }
  FCancel = 193;
  return -4;
}

int32_t TZADLLOpr::dispatch(ZLCallbackRec* rec) {
  TZLCallback cb(rec);
  int code = rec->ActionCode & 63;
  switch (code) {
    case ZL_CB_NEWITEM:
    case ZL_CB_PROGRESS:
    case ZL_CB_ENDITEM:
      FProgress.SetBytesWritten(rec->Written);
      if (code == ZL_CB_NEWITEM) {
        if (rec->Size >= 0) Progress(0, rec->Size, cb.Msg());
        else {
          Progress(2, 0);
          if (FProgress.Stop()) return 1;
        }
      } else if (code == ZL_CB_PROGRESS) {
        Progress(1, rec->Size);
      } else {
        Progress(3, 0);
      }
      return 0;
    case ZL_CB_TOTALCOUNT: Progress(4, rec->Arg1); return 0;
    case ZL_CB_TOTALSIZE: Progress(5, rec->Size); return 0;
    case ZL_CB_STEP: {
      int step = rec->Arg1;
      Progress(6, rec->Size, LoadZipStr(step >= 0 && step <= 15 ? ZA_StepBase + step : step));
      return 0;
    }
    case ZL_CB_STEPPROGRESS: Progress(7, rec->Size); return 0;
    case ZL_CB_MESSAGE: return message(cb);
    case ZL_CB_SETADDNAME: {
      if (!FZip->OnSetAddName) return 0;
      String name = cb.Msg();
      bool changed = false;
      FZip->OnSetAddName(FZip, name, cb.Msg2(), changed);
      if (!changed) return 0;
      cb.AnswerWide(name);
      return 1;
    }
    case ZL_CB_PASSWORD: return password(cb);
    case ZL_CB_CRCERROR: {
      if (!FZip->OnCRC32Error) return 0;
      bool doExtract = true;
      FZip->OnCRC32Error(FZip, cb.Msg(), uint32_t(rec->Arg1), uint32_t(rec->Arg2), doExtract);
      return doExtract ? 1 : 3;
    }
    case ZL_CB_OVERWRITE: {
      if (!FZip->OnExtractOverwrite) return 0;
      bool overwrite = rec->Arg1 != 0;
      FZip->OnExtractOverwrite(FZip, cb.Msg(), rec->Arg3 != 2, overwrite, rec->Arg2);
      return overwrite ? 1 : 2;
    }
    case ZL_CB_SKIPPED: {
      int ext = 0;
      if (rec->Arg1 != 0) {
        ext = ZA_DLLBase + (rec->Arg1 & 63);
        if (ext > 266) ext = ZA_DLLFatal;
      }
      return ReportSkipped(cb.Msg(), ext, rec->Arg2 - 1) ? 1 : 0;
    }
    case ZL_CB_FILECOMMENT: {
      if (!FZip->OnFileComment) return 0;
      String comment = cb.Msg2();
      bool changed = false;
      FZip->OnFileComment(FZip, cb.Msg(), comment, changed);
      if (!changed) return 0;
      comment = comment.substr(0, 255);
      cb.AnswerWide(comment);
      rec->Arg1 = int32_t(comment.size());
      return 1;
    }
    case ZL_CB_EXTRADATA: {
      int result = 0;
      if (FZip->OnSetCompLevel) {
        int level = rec->Arg2;
        bool changed = false;
        FZip->OnSetCompLevel(FZip, cb.Msg(), level, changed);
        if (changed && level < 10) {
          rec->Arg2 = level;
          result |= 2;
        }
      }
      if (FZip->OnFileExtra) {
        RawByteString data;
        if (rec->Msg2 && rec->Arg1 > 0) data.assign(static_cast<const char*>(rec->Msg2), size_t(rec->Arg1));
        bool changed = false;
        FZip->OnFileExtra(FZip, cb.Msg(), data, changed);
        if (changed) {
          cb.AnswerBytes(data.substr(0, 2047));
          result |= 1;
        }
      }
      return result;
    }
    case ZL_CB_SETEXTNAME: {
      if (!FZip->OnSetExtName) return 0;
      String old = cb.Msg(), name = old;
      bool changed = false;
      FZip->OnSetExtName(FZip, name, FExtrBase, changed);
      if (!changed || ZipEndsWithSep(old) != ZipEndsWithSep(name)) return 0;
      cb.AnswerWide(name);
      return 1;
    }
    case ZL_CB_ABORTHANDLE: FAbortHandle = uint32_t(rec->Arg1); return 0;
    case ZL_CB_REQUEST: return request(cb);
    default: return -1;
  }
}

int32_t TZADLLOpr::message(TZLCallback& cb) {
  ZLCallbackRec* rec = cb.Rec();
  String text = cb.Msg();
  uint32_t e = uint32_t(rec->Arg1);
  int id = 0;
  if ((e & 63) != 0) {
    id = ZA_DLLBase + int(e & 63);
    if (id >= 267) id = ZA_DLLFatal;
  }
  if ((e & 0x700) >= 0x200 && (e & 0x800) && id) {
    String prefix = LoadZipStr(id);
    // One blank between the two parts, whichever side brings it.
    if (!prefix.empty() && prefix.back() == u' ' && !text.empty() && text[0] == u' ') text.erase(0, 1);
    text = prefix + text;
  }
  FZip->LibraryMessage(e, id, text);
  Poll();
  return 0;
}

int32_t TZADLLOpr::password(TZLCallback& cb) {
  ZLCallbackRec* rec = cb.Rec();
  uint32_t repeat = uint32_t(rec->Arg1);
  bool isAdd = rec->IsZip != 0;
  TZADlgBtn action = zbOK;
  String pw;
  if (FZip->OnPasswordError) {
    FZip->OnPasswordError(FZip, isAdd, pw, cb.Msg(), repeat, action);
    if (action != zbOK) pw.clear();
  } else {
    action = FZip->ZipPassword(isAdd, pw, cb.Msg());
  }
  int32_t result;
  if (!pw.empty()) {
    cb.AnswerWide(pw);
    result = 1;
  } else {
    repeat = 0;
    result = 2;
  }
  rec->Arg1 = int32_t(std::min<uint32_t>(repeat, 15));
  if (action == zbCancel) result = 2;
  else if (action == zbAll) result = 3;
  else if (action == zbAbort) {
    FCancel = 4;
    result = -3;
  }
  return result;
}

int32_t TZADLLOpr::request(TZLCallback& cb) {
  ZLCallbackRec* rec = cb.Rec();
  int sub = rec->Arg1, index = rec->Arg3;
  if (sub >= 9 || ((sub == 5 || sub == 6) && index < 0) || sub < 0) return -5;
  switch (sub) {
    case ZL_REQ_ZIPNAME: cb.AnswerWide(FArchiveName); return 1;
    case ZL_REQ_PASSWORD: cb.AnswerWide(FZip->Password()); return 1;
    case ZL_REQ_ROOTDIR: cb.AnswerWide(FZip->RootDir()); return 1;
    case ZL_REQ_EXTRBASEDIR: cb.AnswerWide(FExtrBase.empty() ? FZip->ExtrBaseDir() : FExtrBase); return 1;
    case ZL_REQ_ZIPCOMMENT: cb.AnswerBytes(FZip->ZipComment()); return 1;
    case ZL_REQ_SPEC:
    case ZL_REQ_EXCLUDE: {
      TStringList& list = sub == ZL_REQ_SPEC ? FZip->SavedSpecs() : FZip->SavedExcludes();
      rec->Arg3 = list.Count();
      if (index >= list.Count()) return 0;
      cb.AnswerWide(list[index]);
      return 1;
    }
    case ZL_REQ_STORESUFFIXES: cb.AnswerWide(FZip->StoreSuffixList()); return 1;
    case ZL_REQ_TEMPDIR: cb.AnswerWide(FZip->TempDir()); return 1;
    default: return -5;
  }
}

int32_t TZADLLOpr::StreamCallback(ZLStreamRec* rec) {
  if (FBeingDestroyed) return 0;
  try {
    // A stream command names the stream of each request; pipes use the
    // one opened last.
    TStream* s = rec->Request >= 3 && rec->Stream ? static_cast<TStream*>(rec->Stream) : FCurrentStream;
    int number = rec->Number;
    int result = 0;
    switch (rec->Request) {
      case 0:
      case 1:
      case 2: {
        TZAStreamStats stats;
        bool done = false;
        if (!s && number >= 0 && number < FOprPipes.Count()) s = FOprPipes.Item(number)->Stream();
        if (rec->Request == 0) {
          if (!s && FZip->OnStream) FZip->OnStream(FZip, zsoIdentify, number, s, stats, done);
          if (s) {
            rec->Position = done ? stats.Size : s->Size();
            rec->DosDate = done ? stats.Date : ZipUnixToDos(0);
            rec->Attrs = stats.Attrs;
            result = 1;
          }
        } else if (rec->Request == 1) {
          if (!s && FZip->OnStream) FZip->OnStream(FZip, zsoOpen, number, s, stats, done);
          if (s) {
            s->Seek(0, soBeginning);
            FCurrentStream = s;
            rec->Stream = s;
            result = 1;
          }
        } else {
          if (FZip->OnStream) FZip->OnStream(FZip, zsoClose, number, s, stats, done);
          FCurrentStream = nullptr;
          result = 1;
        }
        if (FZip->Verbose())
          TraceMessage(Format(u"Stream operation %d on %d returns %d", rec->Request, number, result));
        return result;
      }
      case 3: {
        if (!s) return 0;
        int64_t p = s->Seek(rec->Position, TSeekOrigin(rec->Count));
        if (p < 0) return 0;
        rec->Position = p;
        return 1;
      }
      case 4: {
        if (!s || rec->Count < 0) return 0;
        int64_t left = s->Size() - s->Position();
        int64_t n = std::min<int64_t>(rec->Count, left);
        int64_t got = s->Read(rec->Buffer, n);
        rec->Count = int32_t(got);
        return got == rec->Count && got == n ? 1 : 0;
      }
      case 5: {
        if (!s || rec->Count < 0) return 0;
        return s->Write(rec->Buffer, rec->Count) == rec->Count ? 1 : 0;
      }
      default: return 0;
    }
  } catch (...) {
    return 0;
  }
}
