#pragma once
// Text the HTML reader collects with the source position of every
// character, the sinks that copy a selection out of the document, and a
// few wide-string routines.
#include <cstdint>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/types.h"

// Characters with one source index each.
class TCharCollection : public TObject {
public:
  TCharCollection();

  int GetSize() const { return Count; }
  void Add(char16_t C, std::int32_t Index);
  // Every character of S gets the same index.
  void AddString(const String& S, std::int32_t Index);
  int Capacity() const { return static_cast<int>(Chars.size()); }

  String Chars;                       // used as an array; its length is the capacity
  std::vector<std::int32_t> Indices;  // Indices[i] belongs to Chars[i]
  std::int32_t Count = 0;

private:
  void grow(std::size_t needed);
};

// The reader's current token; reused for every token, so growing keeps
// the capacity.
class TokenObj : public TObject {
public:
  TokenObj();

  void AddUnicodeChar(char16_t Ch, std::int32_t Ind);
  void AddString(const TCharCollection& S);
  void Clear();
  void SetCapacity(int N);
  // The characters as a string, rebuilt only after a change.
  const String& GetString();

  String St;
  bool StringOK = true;
  std::int32_t Capacity = 0;
  std::int32_t Leng = 0;
  std::vector<char16_t> C;
  std::vector<std::int32_t> I;

private:
  void grow(std::size_t needed);
};

// Selection sinks: the document's selection walk hands them every piece of
// text it passes. Characters 2 and 4 (placeholders for form controls and
// inline objects) are skipped.
class SelTextCount : public TObject {
public:
  virtual void AddText(const char16_t* P, int Size);
  void AddTextCR(const char16_t* P, int Size);
  virtual int Terminate();

  std::int32_t Leng = 0;
};

// Copies into a caller's buffer of BufferLeng characters, keeping room for
// the terminating 0.
class SelTextBuf : public SelTextCount {
public:
  SelTextBuf(char16_t* Buffer, int Size);
  void AddText(const char16_t* P, int Size) override;
  // Writes the 0 and returns the characters written with it (0 for a
  // buffer without room even for the 0).
  int Terminate() override;

  char16_t* Buffer;  // not owned
  std::int32_t BufferLeng;
};

// Collects into a buffer of its own and puts the text on the clipboard.
class ClipBuffer : public SelTextBuf {
public:
  explicit ClipBuffer(int Leng);
  int Terminate() override;

private:
  std::vector<char16_t> FStorage;
};

// The first occurrence of SubStr in Str (both 0-terminated), or nullptr.
const char16_t* StrPosW(const char16_t* Str, const char16_t* SubStr);
// First and last occurrence of C in the 0-terminated Str, or nullptr.
const char16_t* StrScanW(const char16_t* Str, char16_t C);
const char16_t* StrRScanW(const char16_t* Str, char16_t C);
// 1-based position of SubStr in S, 0 when absent.
int WidePos(const String& SubStr, const String& S);
bool WideSameStr(const String& S1, const String& S2);
// S without leading and trailing characters below 33.
String WideTrim(const String& S);
