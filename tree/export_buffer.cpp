// The export builders. Each keeps one block and an end position; growing
// rounds the request up to a multiple of 4096 units so that a million small
// appends cost a few hundred re-allocations.
#include "tree/export_buffer.h"

#include <cstring>

#include "platform/core/strings.h"

namespace {
constexpr std::size_t kStep = 4096;
std::size_t roundedStep(std::size_t n) { return (n + kStep - 1) / kStep * kStep; }
bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
}  // namespace

void TBufferedAnsiString::grow(std::size_t Needed) {
  if (FBlock.size() - FPosition > Needed) return;
  FBlock.resize(FBlock.size() + roundedStep(Needed));
  FData = FBlock.data();
}

void TBufferedAnsiString::AddBytes(const char* Data, std::size_t Length) {
  if (Length == 0) return;
  grow(Length);
  std::memcpy(FData + FPosition, Data, Length);
  FPosition += Length;
}

void TBufferedAnsiString::Add(const String& S) {
  bool ascii = true;
  for (char16_t c : S)
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  if (!ascii) {
    AddBytes(UTF16ToUTF8(S));
    return;
  }
  grow(S.size());
  for (char16_t c : S) FData[FPosition++] = char(c);
}

void TBufferedAnsiString::AddNewLine() {
  if (FBlock.size() - FPosition < 3) grow(kStep);
  FData[FPosition++] = '\r';
  FData[FPosition++] = '\n';
}

void TWideBufferedString::grow(std::size_t Needed) {
  if (FBlock.size() - FPosition > Needed) return;
  FBlock.resize(FBlock.size() + roundedStep(Needed));
  FData = FBlock.data();
}

void TWideBufferedString::Add(const String& S) {
  if (S.empty()) return;
  grow(S.size());
  const std::size_t n = S.size();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t c = S[i];
    if (isHigh(c) && i + 1 < n && isLow(S[i + 1])) {
      FData[FPosition++] = c;
      FData[FPosition++] = S[++i];
      continue;
    }
    FData[FPosition++] = (isHigh(c) || isLow(c)) ? char16_t(0xFFFD) : c;
  }
}

void TWideBufferedString::AddNewLine() {
  if (FBlock.size() - FPosition < 5) grow(kStep);
  FData[FPosition++] = u'\r';
  FData[FPosition++] = u'\n';
}
