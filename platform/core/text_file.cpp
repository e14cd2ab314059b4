#include "platform/core/text_file.h"

#include <string_view>

#include <cerrno>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"

namespace {

constexpr size_t kChunk = 64 * 1024;

struct InOutCode {
  int code;
  const char16_t* text;
};

InOutCode inOutCodeFor(int systemError) {
  switch (systemError) {
    case ENOENT: return {2, u"File not found"};
    case ENOTDIR: return {3, u"Path not found"};
    case EMFILE:
    case ENFILE: return {4, u"Too many open files"};
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return {5, u"File access denied"};
    case ENOSPC: return {101, u"Disk full"};
    default: return {systemError, nullptr};
  }
}

[[noreturn]] void raiseCode(int code, const char16_t* text) {
  throw EInOutError(text ? String(text) : Format(u"I/O error %d", code), code);
}

}  // namespace

void RaiseInOutError(int systemError) {
  const InOutCode c = inOutCodeFor(systemError);
  raiseCode(c.code, c.text);
}

TTextFile::~TTextFile() {
  try {
    CloseFile();
  } catch (...) {
  }
}

void TTextFile::AssignFile(const String& fileName) {
  CloseFile();
  FFileName = fileName;
}

void TTextFile::open(unsigned mode, bool forWriting, bool atEnd) {
  CloseFile();
  try {
    FStream = std::make_unique<TFileStream>(FFileName, mode);
  } catch (const EFileStreamError& e) {
    // The stream's message names the path; the text-file error keeps the
    // short familiar form and its code.
    RaiseInOutError(e.ErrorCode() ? e.ErrorCode() : ENOENT);
  }
  FWriting = forWriting;
  FBuffer.clear();
  FBufferPos = 0;
  FAtEnd = false;
  if (atEnd) FStream->Seek(0, soEnd);
}

void TTextFile::Reset() {
  open(fmOpenRead | fmShareDenyWrite, false, false);
  // Editors may save the file with a UTF-8 byte-order mark; it is not part
  // of the first line (a key behind it would never match).
  char head[3] = {};
  if (FStream->Read(head, 3) != 3 || std::string_view(head, 3) != "\xEF\xBB\xBF")
    FStream->Seek(0, soBeginning);
}

void TTextFile::Rewrite() { open(fmCreate, true, false); }

void TTextFile::Append() {
  if (!FileExists(FFileName)) {
    Rewrite();
    return;
  }
  open(fmOpenWrite, true, true);
}

void TTextFile::CloseFile() {
  if (!FStream) return;
  if (FWriting) {
    try {
      flush();
    } catch (...) {
      FStream.reset();
      throw;
    }
  }
  FStream.reset();
}

void TTextFile::requireOpen(bool forWriting) const {
  if (!FStream) raiseCode(103, nullptr);
  if (FWriting != forWriting) raiseCode(forWriting ? 105 : 104, nullptr);
}

int TTextFile::peekByte() {
  if (FBufferPos >= FBuffer.size()) {
    if (FAtEnd) return -1;
    FBuffer.resize(kChunk);
    const std::int64_t n = FStream->Read(FBuffer.data(), std::int64_t(kChunk));
    FBuffer.resize(size_t(n > 0 ? n : 0));
    FBufferPos = 0;
    if (FBuffer.empty()) {
      FAtEnd = true;
      return -1;
    }
  }
  return static_cast<unsigned char>(FBuffer[FBufferPos]);
}

String TTextFile::ReadLn() {
  requireOpen(false);
  RawByteString line;
  for (;;) {
    const int c = peekByte();
    if (c < 0) break;
    ++FBufferPos;
    if (c == '\r') {
      if (peekByte() == '\n') ++FBufferPos;
      break;
    }
    if (c == '\n') break;
    line.push_back(char(c));
  }
  return UTF8ToUTF16(line);
}

bool TTextFile::Eof() {
  requireOpen(false);
  return peekByte() < 0;
}

void TTextFile::Write(const String& text) {
  requireOpen(true);
  FBuffer += UTF16ToUTF8(text);
  if (FBuffer.size() >= kChunk) flush();
}

void TTextFile::WriteLn(const String& text) { Write(text + u"\r\n"); }

void TTextFile::flush() {
  if (FBuffer.empty()) return;
  const std::int64_t n = FStream->Write(FBuffer.data(), std::int64_t(FBuffer.size()));
  const int err = errno;
  if (n != std::int64_t(FBuffer.size())) {
    FBuffer.clear();
    RaiseInOutError(err ? err : ENOSPC);
  }
  FBuffer.clear();
}
