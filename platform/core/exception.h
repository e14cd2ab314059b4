#pragma once
// The exception hierarchy. Every failure the program reports is an Exception
// carrying a UTF-16 message; what() gives the same text in UTF-8.
#include <exception>
#include <string>
#include <utility>

#include "platform/core/types.h"

class Exception : public std::exception {
public:
  explicit Exception(String message);
  explicit Exception(const char* utf8Message);
  ~Exception() override = default;

  const String& Message() const { return FMessage; }
  void SetMessage(String message);
  int HelpContext() const { return FHelpContext; }
  void SetHelpContext(int value) { FHelpContext = value; }
  const char* what() const noexcept override { return FUtf8.c_str(); }

private:
  String FMessage;
  UTF8String FUtf8;
  int FHelpContext = 0;
};

#define TAMRIX_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {                 \
  public:                                    \
    using Base::Base;                        \
  };

// Unwinds the work of a control whose event handler freed the control: no
// failure and no std::exception, so no handler on the way takes it for one.
// The control's outermost entry catches it; one that still reaches the
// message loop is dropped there without a word.
struct EControlGone {};

// Silent exception: aborts an operation without a message being shown.
TAMRIX_DECLARE_EXCEPTION(EAbort, Exception)
TAMRIX_DECLARE_EXCEPTION(EAssertionFailed, Exception)
TAMRIX_DECLARE_EXCEPTION(EConvertError, Exception)
TAMRIX_DECLARE_EXCEPTION(EOutOfMemory, Exception)
TAMRIX_DECLARE_EXCEPTION(EListError, Exception)
TAMRIX_DECLARE_EXCEPTION(EInvalidOperation, Exception)
TAMRIX_DECLARE_EXCEPTION(EInvalidPointer, Exception)
TAMRIX_DECLARE_EXCEPTION(EComponentError, Exception)
TAMRIX_DECLARE_EXCEPTION(EThread, Exception)
TAMRIX_DECLARE_EXCEPTION(EStreamError, Exception)
// A file that could not be opened or created; ErrorCode is the system's
// error number (0 when unknown), FileName the file or folder that failed
// (empty when not known).
class EFileStreamError : public EStreamError {
public:
  using EStreamError::EStreamError;
  EFileStreamError(String message, int errorCode, String fileName = String())
      : EStreamError(std::move(message)), FErrorCode(errorCode), FFileName(std::move(fileName)) {}
  int ErrorCode() const { return FErrorCode; }
  const String& FileName() const { return FFileName; }

private:
  int FErrorCode = 0;
  String FFileName;
};
TAMRIX_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
TAMRIX_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
TAMRIX_DECLARE_EXCEPTION(EReadError, EStreamError)
TAMRIX_DECLARE_EXCEPTION(EWriteError, EStreamError)
TAMRIX_DECLARE_EXCEPTION(EPrinter, Exception)
TAMRIX_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
TAMRIX_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)
TAMRIX_DECLARE_EXCEPTION(EOutOfResources, Exception)

// A failed system call; ErrorCode is the system's error number.
class EOSError : public Exception {
public:
  using Exception::Exception;
  EOSError(String message, int errorCode) : Exception(std::move(message)), FErrorCode(errorCode) {}
  int ErrorCode() const { return FErrorCode; }
  void SetErrorCode(int value) { FErrorCode = value; }

private:
  int FErrorCode = 0;
};

// A failed text-file operation; ErrorCode follows the familiar numbering
// (2 file not found, 3 path not found, 4 too many open files, 5 access
// denied, 101 disk full, 103 file not open, 104 not open for reading, 105
// not open for writing; other system errors keep their own number).
class EInOutError : public Exception {
public:
  EInOutError(String message, int errorCode) : Exception(std::move(message)), FErrorCode(errorCode) {}
  int ErrorCode() const { return FErrorCode; }

private:
  int FErrorCode = 0;
};

// Raises EAssertionFailed naming the failed check, the source file and line.
[[noreturn]] void AssertionFailed(const char* message, const char* file, int line);

// Internal consistency check, active in every build type.
#define TAMRIX_ASSERT(cond, message)                                \
  do {                                                              \
    if (!(cond)) ::AssertionFailed((message), __FILE__, __LINE__);  \
  } while (0)
