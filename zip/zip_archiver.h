#pragma once
// TZipArchiver: the non-visual component through which the dictionary
// manager opens a downloaded package, lists it and extracts it with the
// compression library (libziplib190.so, loaded from DLLDirectory). Every
// action runs in one operation frame that refuses re-entry, reports
// progress through OnProgress and leaves its first error in ErrCode.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/component.h"
#include "platform/core/streams.h"
#include "platform/core/string_list.h"
#include "platform/core/tset.h"
#include "zip/zip_core.h"
#include "zip/zip_messages.h"
#include "zip/zip_utils.h"

class TZADirEntry;
class TZALister;

enum TZAExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest, ExtrForceDirs, ExtrNTFS };
using TZAExtrOpts = TSet<TZAExtrOptsEnum>;
enum TZAAddOptsEnum {
  AddDirNames, AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddHiddenFiles, AddArchiveOnly,
  AddResetArchive, AddEncrypt, AddEmptyDirs, AddVolume, AddFromDate, AddSafe, AddVersion, AddNTFS
};
using TZAAddOpts = TSet<TZAAddOptsEnum>;
enum TZAAddStoreExtsEnum {
  assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA, assRAR, assACE,
  assCAB, assGZ, assGZIP, assJAR, assEXE, assEXT, assJPG, assJPEG, ass7Zp, assMP3, assWMV, assWMA,
  assDVR, assAVI
};
using TZAAddStoreExts = TSet<TZAAddStoreExtsEnum>;
enum TZAEncodingOpts { zeoAuto, zeoNone, zeoOEM, zeoUTF8, zeoUPath };
enum TZADeleteOpts { htdFinal, htdAllowUndo };
enum TZASkipTypes {
  stOnFreshen, stNoOverwrite, stFileExists, stBadPassword, stBadName, stCompressionUnknown,
  stUnknownZipHost, stZipFileFormatWrong, stGeneralExtractError, stUser, stCannotDo, stNotFound,
  stNoShare, stNoAccess, stNoOpen, stDupName, stReadError, stSizeChange
};
using TZASkipAborts = TSet<TZASkipTypes>;
enum TZASpanOptsEnum { spNoVolumeName, spCompatName, spWipeFiles, spTryFormat, spAnyTime, spExactName };
using TZASpanOpts = TSet<TZASpanOptsEnum>;
enum TZAWriteOptsEnum { zwoDiskSpan, zwoZipTime, zwoForceDest, zwoSafe };
using TZAWriteOpts = TSet<TZAWriteOptsEnum>;
enum TZASFXOptsEnum {
  soAskCmdLine, soAskFiles, soHideOverWriteBox, soAutoRun, soNoSuccessMsg, soExpandVariables,
  soInitiallyHideFiles, soForceHideFiles, soCheckAutoRunFileName, soCanBeCancelled, soCreateEmptyDirs,
  soSuccessAlways
};
using TZASFXOpts = TSet<TZASFXOptsEnum>;
enum TZASFXOverwriteMode { ovrAlways, ovrNever, ovrConfirm };
enum TZANameFixes { znfFatal, znfSkip, znfAuto, znfFixed };
enum TZAZipDiskStatusEnum { zdsEmpty, zdsHasFiles, zdsPreviousDisk, zdsSameFileName, zdsNotEnoughSpace };
using TZAZipDiskStatus = TSet<TZAZipDiskStatusEnum>;
enum TZADiskAction { zdaYesToAll, zdaOk, zdaErase, zdaReject, zdaCancel };
enum TZAStreamOpr { zsoIdentify, zsoOpen, zsoClose };
// Dialog buttons and answers of the component's message box.
enum TZADlgBtn { zbYes, zbNo, zbOK, zbCancel, zbAbort, zbRetry, zbIgnore, zbAll, zbNoToAll, zbYesToAll };
using TZADlgBtns = TSet<TZADlgBtn>;

using TZABadNameEvent = std::function<void(TObject* Sender, String& FileName, const String& ExtName, TZANameFixes& Action)>;
using TZACheckTerminateEvent = std::function<void(TObject* Sender, bool& abort)>;
using TZACopyZippedOverwriteEvent = std::function<void(TObject* Sender, TZADirEntry* src, TZADirEntry* dst, bool& DoOverwrite)>;
using TZACRC32ErrorEvent = std::function<void(TObject* Sender, const String& ForFile, uint32_t FoundCRC, uint32_t ExpectedCRC, bool& DoExtract)>;
using TZAExtractOverwriteEvent = std::function<void(TObject* Sender, const String& ForFile, bool IsOlder, bool& DoOverwrite, int DirIndex)>;
using TZAFileCommentEvent = std::function<void(TObject* Sender, const String& ForFile, String& FileComment, bool& IsChanged)>;
using TZAFileExtraEvent = std::function<void(TObject* Sender, const String& ForFile, RawByteString& Data, bool& IsChanged)>;
using TZAGetNextDiskEvent = std::function<void(TObject* Sender, int DiskSeqNo, int DiskTotal, const String& Drive, bool& AbortAction)>;
using TZAMessageEvent = std::function<void(TObject* Sender, int ErrCode, const String& ErrMsg)>;
using TZANewNameEvent = std::function<void(TObject* Sender, int SeqNo)>;
using TZAPasswordErrorEvent = std::function<void(TObject* Sender, bool IsZipAction, String& NewPassword, const String& ForFile, uint32_t& RepeatCount, TZADlgBtn& Action)>;
using TZAProgressEvent = std::function<void(TObject* Sender, TZAProgressDetails& details)>;
using TZASetAddNameEvent = std::function<void(TObject* Sender, String& FileName, const String& ExtName, bool& IsChanged)>;
using TZASetCompLevelEvent = std::function<void(TObject* Sender, const String& ForFile, int& level, bool& IsChanged)>;
using TZASetExtNameEvent = std::function<void(TObject* Sender, String& FileName, const String& BaseDir, bool& IsChanged)>;
using TZASkippedEvent = std::function<void(TObject* Sender, const String& ForFile, TZASkipTypes SkipType, int& ExtError)>;
using TZAStatusDiskEvent = std::function<void(TObject* Sender, int PreviousDisk, const String& PreviousFile, TZAZipDiskStatus Status, TZADiskAction& Action)>;
struct TZAStreamStats {
  int64_t Size = 0;
  uint32_t Date = 0;
  uint32_t Attrs = 0;
};
using TZAStreamEvent = std::function<void(TObject* Sender, TZAStreamOpr opr, int snumber, TStream*& strm, TZAStreamStats& stat, bool& done)>;
using TZADialogEvent = std::function<void(TObject* Sender, const String& title, String& msg, int& Result, TZADlgBtns btns)>;
using TZAStateEvent = std::function<void(TObject* Sender, uint8_t state, bool& NoCursor)>;

constexpr const char16_t* ZipArchiverVersion = u"1.9.1.0019";

class TCustomZipArchiver : public TComponent {
public:
  explicit TCustomZipArchiver(TComponent* AOwner);
  ~TCustomZipArchiver() override;

  // ---- actions
  // Extracts the entries selected by FSpecArgs (all when empty) into
  // ExtrBaseDir; the result is ErrCode (0 = success), 197 when inactive.
  int Extract();
  // Packs size bytes of src (all of it from its position when size is
  // negative) into dest through the library: deflated at AddCompLevel when
  // method asks for it (2), else stored (0). With unpack, src holds packed
  // data whose uncompressed size (when not negative) and CRC are known: it
  // is inflated or copied into dest and checked against both. On success
  // method and crc describe the data. Encrypted methods (1, 3) are refused.
  // The result is ErrCode (0 = success), 197 when inactive.
  int StreamCompress(TStream* dest, TStream* src, uint32_t& crc, int& method, int64_t size, bool unpack = false);

  // ---- published properties
  bool Active() const;
  void SetActive(bool value);
  int AddCompLevel() const { return FAddCompLevel; }
  void SetAddCompLevel(int value);
  TDateTime AddFrom() const { return FAddFrom; }
  void SetAddFrom(TDateTime value);
  TZAAddOpts AddOptions() const { return FAddOptions; }
  void SetAddOptions(TZAAddOpts value);
  TZAAddStoreExts AddStoreSuffixes() const { return FAddStoreSuffixes; }
  void SetAddStoreSuffixes(TZAAddStoreExts value);
  bool ConfirmErase() const { return FConfirmErase; }
  void SetConfirmErase(bool value);
  const String& DLLDirectory() const { return FDLLDirectory; }
  void SetDLLDirectory(const String& value);
  bool DLL_Load() const;
  void SetDLL_Load(bool value);
  TZAEncodingOpts Encoding() const { return FEncoding; }
  void SetEncoding(TZAEncodingOpts value);
  const String& ExtAddStoreSuffixes() const { return FExtAddStoreSuffixes; }
  void SetExtAddStoreSuffixes(const String& value);
  const String& ExtrBaseDir() const { return FExtrBaseDir; }
  void SetExtrBaseDir(const String& value);
  TZAExtrOpts ExtrOptions() const { return FExtrOptions; }
  void SetExtrOptions(TZAExtrOpts value);
  TStrings* FSpecArgs() { return FFSpecArgs.get(); }
  void SetFSpecArgs(const TStrings& value);
  TStrings* FSpecArgsExcl() { return FFSpecArgsExcl.get(); }
  void SetFSpecArgsExcl(const TStrings& value);
  TZADeleteOpts HowToDelete() const { return FHowToDelete; }
  void SetHowToDelete(TZADeleteOpts value);
  uint32_t KeepFreeOnAllDisks() const { return FKeepFreeOnAllDisks; }
  void SetKeepFreeOnAllDisks(uint32_t value);
  uint32_t KeepFreeOnDisk1() const { return FKeepFreeOnDisk1; }
  void SetKeepFreeOnDisk1(uint32_t value);
  String Language() const;
  void SetLanguage(const String& value);
  unsigned LanguageID() const;
  void SetLanguageID(unsigned value);
  int64_t MaxVolumeSize() const { return FMaxVolumeSize; }
  void SetMaxVolumeSize(int64_t value);
  int MaxVolumeSizeKb() const { return int(FMaxVolumeSize / 1024); }
  void SetMaxVolumeSizeKb(int value);
  uint32_t MinFreeVolumeSize() const { return FMinFreeVolumeSize; }
  void SetMinFreeVolumeSize(uint32_t value);
  bool NoReadAux() const { return FNoReadAux || FStubChanged; }
  void SetNoReadAux(bool value);
  TZASkipAborts NoSkipping() const { return FNoSkipping; }
  void SetNoSkipping(TZASkipAborts value);
  const String& Password() const { return FPassword; }
  void SetPassword(const String& value);
  uint32_t PasswordReqCount() const { return FPasswordReqCount; }
  void SetPasswordReqCount(uint32_t value);
  const String& RootDir() const { return FRootDir; }
  void SetRootDir(const String& value);
  const String& TempDir() const { return FTempDir; }
  void SetTempDir(const String& value);
  const String& SFXCaption() const { return FSFXCaption; }
  void SetSFXCaption(const String& value);
  const String& SFXCommandLine() const { return FSFXCommandLine; }
  void SetSFXCommandLine(const String& value);
  const String& SFXDefaultDir() const { return FSFXDefaultDir; }
  void SetSFXDefaultDir(const String& value);
  const String& SFXMessage() const { return FSFXMessage; }
  void SetSFXMessage(const String& value);
  const String& SFXPath() const { return FSFXPath; }
  void SetSFXPath(const String& value);
  const String& SFXRegFailPath() const { return FSFXRegFailPath; }
  void SetSFXRegFailPath(const String& value);
  const RawByteString& SFXIcon() const { return FSFXIcon; }
  void SetSFXIcon(const RawByteString& value);
  TZASFXOpts SFXOptions() const { return FSFXOptions; }
  void SetSFXOptions(TZASFXOpts value);
  TZASFXOverwriteMode SFXOverwriteMode() const { return FSFXOverwriteMode; }
  void SetSFXOverwriteMode(TZASFXOverwriteMode value);
  TZASpanOpts SpanOptions() const { return FSpanOptions; }
  void SetSpanOptions(TZASpanOpts value);
  TZAWriteOpts WriteOptions() const { return FWriteOptions; }
  void SetWriteOptions(TZAWriteOpts value);
  bool Trace() const { return (FVerbosity & 2) != 0; }
  void SetTrace(bool value);
  bool Verbose() const { return (FVerbosity & 1) != 0; }
  void SetVerbose(bool value);
  bool Unattended() const { return FUnattended; }
  void SetUnattended(bool value);
  bool UseDirOnlyEntries() const { return FUseDirOnlyEntries; }
  void SetUseDirOnlyEntries(bool value);
  String Version() const { return ZipArchiverVersion; }
  void SetVersion(const String&) {}
  const RawByteString& ZipComment() const { return FZipComment; }
  void SetZipComment(const RawByteString& value);
  const String& ZipFileName() const { return FZipFileName; }
  void SetZipFileName(const String& value);

  // ---- state readers
  int ErrCode() const { return FErrCode; }
  const String& ErrMessage() const { return FErrMessage; }
  uint32_t FullErrCode() const { return FFullErrCode; }
  int DLLResult() const { return FLibraryResult; }
  uint8_t State() const { return FState; }
  int BusyCount() const { return FBusy; }
  bool Busy() const { return FBusy > 0; }
  bool Cancel() const { return FCancel != 0; }
  void SetCancel(bool value);
  // The open archive's entries as the lister shows them.
  int Count() const;
  TZADirEntry* DirEntry(int index) const;
  TZALister* Lister() const { return FLister.get(); }
  TZAPipeListImp& Pipes() { return FPipes; }
  // The scratch stream for stub data, when one was made.
  TMemoryStream* ScratchStream() const { return FMemStream.get(); }
  uint8_t VerbosityByte() const { return FVerbosity; }
  void SetVerbosityByte(uint8_t value) { FVerbosity = value; }

  // ---- services of the operations (the frame, reporting, settings)
  bool IsActive() const;
  bool BeginOperation();
  void EndOperation(bool success);
  // Counts a refused re-entry; true when the component is busy.
  bool ReentryGuard();
  void SetState(uint8_t s);
  // Handles an exception that reached an entry point.
  void HandleOperationException(std::exception_ptr e);
  bool DoPoll();
  String MakeTempFileName(const String& prefix = u"zip", const String& extension = u".zip");
  void ReportMessage(int code, const String& text, bool setError);
  void ShowError(const String& text, int code, bool show);
  void ShowErrorId(int code, const String& extra);
  bool ReportSkipped(const String& name, int extError, int skipType);
  int ZipDialog(const String& title, String& msg, TZADlgBtns btns, uint32_t context);
  // Asks for a password (never when unattended); the answer as a button.
  TZADlgBtn ZipPassword(bool isAdd, String& password, const String& forFile);
  void SetCurrentOperation(TZACore* op);
  TZACore* CurrentOperation() const { return FCurrentOp.get(); }
  TStringList& SavedSpecs() { return FSavedSpecs; }
  TStringList& SavedExcludes() { return FSavedExcludes; }
  int NextChangeNumber() { return ++FChangeCounter; }
  void SetStubChanged() {
    if (!FNoReadAux) FStubChanged = true;
  }
  void ClearStubChanged() { FStubChanged = false; }
  void SetSpanFromArchive(TZASpanOpts span, bool multi);
  void SetSFXFromStub(const String& caption, const String& dir, const String& cmd, const String& regFail,
                      const String& msg, TZASFXOpts opts, TZASFXOverwriteMode mode, const RawByteString& icon);
  uint8_t AddState() const { return FAddState; }
  void SetAddState(uint8_t value) { FAddState = value; }
  // The stored-suffix list handed to the library (".gif:.png:...").
  String StoreSuffixList() const;
  // Records an error silently (no box, no event) when none is recorded yet.
  void RecordError(int code, const String& text);
  // A message of the library: its error number e and the component's id.
  void LibraryMessage(uint32_t e, int id, const String& text);
  void SetLibraryResult(int value) { FLibraryResult = value; }
  void SetPasswordReqCountRaw(uint32_t value) { FPasswordReqCount = value; }
  void SetZipCommentFromArchive(const RawByteString& value) { FZipComment = value; }

  // ---- events
  TZABadNameEvent OnBadName;
  TZACheckTerminateEvent OnCheckTerminate;
  TZACopyZippedOverwriteEvent OnCopyZippedOverwrite;
  TZACRC32ErrorEvent OnCRC32Error;
  TNotifyEvent OnDirUpdate;
  TZAExtractOverwriteEvent OnExtractOverwrite;
  TZAFileCommentEvent OnFileComment;
  TZAFileExtraEvent OnFileExtra;
  TZAGetNextDiskEvent OnGetNextDisk;
  TZAMessageEvent OnMessage;
  TZANewNameEvent OnNewName;
  TZAPasswordErrorEvent OnPasswordError;
  TZAProgressEvent OnProgress;
  TZASetAddNameEvent OnSetAddName;
  TZASetCompLevelEvent OnSetCompLevel;
  TZASetExtNameEvent OnSetExtName;
  TZASkippedEvent OnSkipped;
  TZAStatusDiskEvent OnStatusDisk;
  TZAStreamEvent OnStream;
  TNotifyEvent OnTick;
  TZADialogEvent OnZipDialog;
  TZAStateEvent OnStateChange;
  // The program-wide text hook (setting it on any component sets it for all).
  void SetOnLoadStr(TZALoadStrEvent handler) { SetZipLoadStrHandler(std::move(handler)); }

protected:
  void Loaded() override;

private:
  void applyDeferred();
  void listArchive();
  void writeComment(const RawByteString& value);
  template <class F>
  void runFrame(F&& body);
  bool loadingOrDesigning() const {
    return ComponentState().Contains(csLoading) || ComponentState().Contains(csDesigning);
  }

  int FBusy = 0;
  int FActive = 2;
  std::unique_ptr<TZACore> FCurrentOp;
  int FReentry = 0;
  int FCursorCount = 0;
  uint32_t FDeferred = 0;
  std::unique_ptr<TStringList> FFSpecArgs, FFSpecArgsExcl;
  // settings
  int FAddCompLevel = 9;
  TDateTime FAddFrom = 0;
  TZAAddOpts FAddOptions;
  TZAAddStoreExts FAddStoreSuffixes;
  bool FConfirmErase = false;
  String FDLLDirectory;
  bool FDLLLoadWanted = false;
  TZAEncodingOpts FEncoding = zeoAuto;
  String FExtAddStoreSuffixes;
  String FExtrBaseDir;
  TZAExtrOpts FExtrOptions;
  TZADeleteOpts FHowToDelete = htdAllowUndo;
  uint32_t FKeepFreeOnAllDisks = 0, FKeepFreeOnDisk1 = 0;
  String FLanguage;
  unsigned FLanguageID = 0;
  int64_t FMaxVolumeSize = 0;
  uint32_t FMinFreeVolumeSize = 65536;
  bool FNoReadAux = false;
  bool FStubChanged = false;
  TZASkipAborts FNoSkipping{stDupName, stReadError};
  String FPassword;
  uint32_t FPasswordReqCount = 1;
  String FRootDir, FTempDir;
  String FSFXCaption, FSFXCommandLine, FSFXDefaultDir, FSFXMessage, FSFXPath, FSFXRegFailPath;
  RawByteString FSFXIcon;
  TZASFXOpts FSFXOptions;
  TZASFXOverwriteMode FSFXOverwriteMode = ovrConfirm;
  TZASpanOpts FSpanOptions;
  TZAWriteOpts FWriteOptions;
  bool FUnattended = false;
  bool FUseDirOnlyEntries = false;
  RawByteString FZipComment;
  String FZipFileName;
  // state
  int FCancel = 0;
  int FErrCode = 0;
  String FErrMessage;
  uint32_t FFullErrCode = 0;
  int FLibraryResult = 0;
  TStringList FSavedSpecs, FSavedExcludes;
  TZAPipeListImp FPipes;
  std::unique_ptr<TZALister> FLister;
  std::unique_ptr<TMemoryStream> FMemStream;
  uint8_t FVerbosity = 0;
  uint8_t FState = 1;
  bool FNotMainThread = false;
  uint8_t FAddState = 0;
  int FSavedCursor = 0;
  int FChangeCounter = 0;
};

class TZipArchiver : public TCustomZipArchiver {
public:
  using TCustomZipArchiver::TCustomZipArchiver;
};
