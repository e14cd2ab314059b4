#include "platform/core/exception.h"

#include "platform/core/strings.h"

Exception::Exception(String message)
    : FMessage(std::move(message)), FUtf8(UTF16ToUTF8(FMessage)) {}

Exception::Exception(const char* utf8Message)
    : FMessage(UTF8ToUTF16(utf8Message ? utf8Message : "")),
      FUtf8(utf8Message ? utf8Message : "") {}

void Exception::SetMessage(String message) {
  FMessage = std::move(message);
  FUtf8 = UTF16ToUTF8(FMessage);
}

void AssertionFailed(const char* message, const char* file, int line) {
  UTF8String text = message ? message : "Assertion failed";
  text += " (";
  text += file ? file : "?";
  text += ", line " + std::to_string(line) + ")";
  throw EAssertionFailed(text.c_str());
}
