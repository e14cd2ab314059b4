#pragma once
// TTextFile: line-by-line reading and writing of small text files (the
// settings and list files). Text is UTF-8 on disk (the stand-in for the
// legacy ANSI code page); WriteLn ends lines with CR LF, ReadLn accepts
// CR LF, LF or CR. Every failure raises EInOutError.
#include <cstdint>
#include <memory>

#include "platform/core/types.h"

class TFileStream;

class TTextFile {
public:
  TTextFile() = default;
  explicit TTextFile(const String& fileName) : FFileName(fileName) {}
  ~TTextFile();
  TTextFile(const TTextFile&) = delete;
  TTextFile& operator=(const TTextFile&) = delete;

  void AssignFile(const String& fileName);
  const String& FileName() const { return FFileName; }
  // Opens for reading from the start.
  void Reset();
  // Creates the file (emptying an existing one) for writing.
  void Rewrite();
  // Opens for writing at the end (creating the file when needed).
  void Append();
  void CloseFile();
  bool IsOpen() const { return FStream != nullptr; }

  // The next line without its line break; "" at the end of the file.
  String ReadLn();
  // True when no character is left to read (reading mode only).
  bool Eof();
  void Write(const String& text);
  void WriteLn(const String& text = String());

private:
  void open(unsigned mode, bool forWriting, bool atEnd);
  void requireOpen(bool forWriting) const;
  int peekByte();
  void flush();

  String FFileName;
  std::unique_ptr<TFileStream> FStream;
  bool FWriting = false;
  RawByteString FBuffer;  // read-ahead when reading, pending bytes when writing
  size_t FBufferPos = 0;
  bool FAtEnd = false;
};

// Raises EInOutError for a system error number, with the familiar code and
// text ("File not found", "File access denied", "I/O error <n>", ...).
[[noreturn]] void RaiseInOutError(int systemError);
