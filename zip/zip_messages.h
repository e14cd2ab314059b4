#pragma once
// The zip component's messages: every error, warning, trace line and
// dialog caption is a message id (0..511) looked up in a message table.
// A message code carries the id in its low 9 bits and the place that
// raised it above them; a negative code means the same message.
#include <cstdint>
#include <functional>
#include <initializer_list>

#include "platform/core/exception.h"
#include "platform/core/strings.h"
#include "platform/core/types.h"

// Source numbers of the units that raise messages (bits 23 and up of a code).
enum TZASource : int {
  zsrcComponent = 1, zsrcCore = 6, zsrcLoader = 11, zsrcDLLOpr = 12, zsrcFileOpr = 16,
  zsrcLister = 20, zsrcComment = 22, zsrcRecords = 24, zsrcCentral = 25, zsrcWorkFile = 26,
  zsrcZipFile = 27, zsrcInflate = 28
};

// Builds a message code: (source << 23) | (line << 9) | id.
constexpr int ZAMsgCode(int source, int line, int id) {
  return int((unsigned(source & 0xFF) << 23) | (unsigned(line & 0x3FFF) << 9) | unsigned(id & 0x1FF));
}
// The id of a (possibly negative) message code.
constexpr int ZAMsgId(int code) { return int((code < 0 ? 0u - unsigned(code) : unsigned(code)) & 0x1FF); }
#define ZA_CODE(source, id) ZAMsgCode((source), __LINE__, (id))

// Message ids the component raises by name.
enum : int {
  ZA_UnknownError = 1, ZA_UserCancel = 2, ZA_UserAbort = 4, ZA_Copying = 5, ZA_Skipped = 6,
  ZA_Loaded = 8, ZA_Unloaded = 9, ZA_LoadErr = 10, ZA_SkipNotAllowed = 17, ZA_DLLOld = 18,
  ZA_DLLFailed = 19, ZA_StructWarning = 20, ZA_NoAddPassword = 21, ZA_NoExtrPassword = 22,
  ZA_StepBase = 32, ZA_LoadingDir = 41, ZA_WritingZip = 44,
  ZA_InvalidName = 103, ZA_DuplicateName = 104, ZA_StreamSelf = 105, ZA_NoUnattPassword = 110, ZA_CEHTooLong = 112, ZA_NoChangePath = 113,
  ZA_ChangeEncrypted = 114, ZA_InputNotExe = 117, ZA_WrongCentralSig = 119, ZA_NotEnoughSpace = 121, ZA_NoEncryption = 122,
  ZA_NoZipFile = 123, ZA_NotValidDrive = 124, ZA_NoUnattSpan = 126, ZA_InvalidZip = 127,
  ZA_UnsupportedVersion = 128, ZA_ExtrDirMissing = 129, ZA_UnattExtract = 130, ZA_NoZipSpecified = 133, ZA_InternalError = 140,
  ZA_CRCError = 150, ZA_CommentReadErr = 151, ZA_CentralReadErr = 152, ZA_CentralWriteErr = 153,
  ZA_NameReadErr = 154, ZA_CopyCompressedErr = 156, ZA_DescriptorErr = 157, ZA_EOCReadErr = 158,
  ZA_EOCWriteErr = 159, ZA_SeekInputErr = 161, ZA_FileChanged = 162, ZA_FileError = 163,
  ZA_CannotOpen = 164, ZA_LocalReadErr = 165, ZA_LocalWriteErr = 166, ZA_NamesDiffer = 167,
  ZA_NoInStream = 169, ZA_CreateOutputFailed = 171, ZA_NoOutStream = 172, ZA_TempFailed = 173,
  ZA_WriteOutputErr = 175, ZA_ReadErr = 176, ZA_SeekErr = 177, ZA_TooManyParts = 179,
  ZA_WriteErr = 180, ZA_Zip64FieldErr = 181, ZA_CriticalDLL = 192, ZA_EventException = 193,
  ZA_ZipChanged = 196, ZA_NotActive = 197, ZA_NoMemory = 198, ZA_IndexRange = 199,
  ZA_UnknownErr200 = 200, ZA_InvalidZipProcess = 202, ZA_Trace = 219, ZA_Info = 220,
  ZA_DLLBase = 231, ZA_DLLFatal = 237
};

// Message text of an id: the installed language table, else the built-in
// English table, then the program-wide OnLoadStr handler; "Resource
// missing for <id>" when nothing gives a text.
String LoadZipStr(int id);

// One handler for the whole program (setting it on any component sets it
// for all): may replace the text of an id.
using TZALoadStrEvent = std::function<void(int Ident, String& DefStr)>;
void SetZipLoadStrHandler(TZALoadStrEvent handler);

// Message language. Only the built-in English table exists in this program
// (no language resource is linked), so these keep it and report it.
String SetZipMsgLanguage(const String& name);
unsigned SetZipMsgLanguageID(unsigned id);
unsigned GetZipMsgLanguageID();
String GetZipMsgLanguageInfo(int index, int info);

// Looks id up in a message table in its unpacked form (ranges, offsets and
// texts); empty when the table lacks it.
String ZipTableLookup(const RawByteString& table, int id);
// Unpacks one packed language block at offset; false when it is damaged.
bool ZipUnpackLanguageBlock(const RawByteString& blocks, size_t offset, RawByteString& table,
                            unsigned& langId);

// The component's exceptions: the message code, its id and whether the
// message is meant to be shown in a box.
class EZAException : public Exception {
public:
  EZAException(int code, bool display);
  EZAException(int code, std::initializer_list<TVarRec> args);
  EZAException(int code, const String& arg) : EZAException(code, {TVarRec(arg)}) {}
  EZAException(int code, int arg) : EZAException(code, {TVarRec(arg)}) {}

  uint32_t FullCode() const { return FFullCode; }
  int Id() const { return FId; }
  bool Display() const { return FDisplay; }

private:
  void setCode(int code);
  uint32_t FFullCode = 0;
  int FId = 0;
  bool FDisplay = false;
};

class EZipArchiver : public EZAException {
public:
  using EZAException::EZAException;
};

// The message text of id formatted with args; a text that does not fit its
// arguments comes back unformatted instead of failing.
String ZipFormat(int id, std::initializer_list<TVarRec> args);
