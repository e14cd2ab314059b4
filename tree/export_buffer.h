#pragma once
// Growable text builders for the exports: many small appends, few
// re-allocations (the block grows in steps of 4096 units).
#include <cstddef>
#include <string>

#include "platform/core/types.h"

// 8-bit output. Text given as UTF-16 is written as UTF-8 (a lone surrogate
// becomes U+FFFD); text already encoded is appended as it stands.
class TBufferedAnsiString {
public:
  TBufferedAnsiString() = default;
  TBufferedAnsiString(const TBufferedAnsiString&) = delete;
  TBufferedAnsiString& operator=(const TBufferedAnsiString&) = delete;

  void Add(const String& S);
  // Bytes appended unchanged (ASCII pieces, text the caller encoded).
  void AddBytes(const char* Data, std::size_t Length);
  void AddBytes(const std::string& S) { AddBytes(S.data(), S.size()); }
  void AddNewLine();
  RawByteString AsString() const { return RawByteString(FData, FPosition); }
  std::size_t Length() const { return FPosition; }

private:
  void grow(std::size_t Needed);
  std::string FBlock;
  char* FData = nullptr;
  std::size_t FPosition = 0;
};

// UTF-16 output; a lone surrogate becomes U+FFFD.
class TWideBufferedString {
public:
  TWideBufferedString() = default;
  TWideBufferedString(const TWideBufferedString&) = delete;
  TWideBufferedString& operator=(const TWideBufferedString&) = delete;

  void Add(const String& S);
  void AddNewLine();
  String AsString() const { return String(FData, FPosition); }
  std::size_t Length() const { return FPosition; }

private:
  void grow(std::size_t Needed);
  String FBlock;
  char16_t* FData = nullptr;
  std::size_t FPosition = 0;
};

// The description that opens the clipboard's "HTML Format" for a fragment of
// FragmentLength bytes: the version and the byte offsets of the page and of
// the fragment in the whole text.
std::string HtmlFormatDescription(std::size_t FragmentLength);
