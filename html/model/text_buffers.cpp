#include "html/model/text_buffers.h"

#include <algorithm>
#include <cstring>

#include "platform/gui/clipboard.h"

namespace {

constexpr int InitialCapacity = 300;

// Capacity for at least `needed` entries: doubling keeps long runs of text
// (a big preformatted block, a script) linear to collect.
std::size_t grownCapacity(std::size_t current, std::size_t needed) {
  return std::max(needed, std::max<std::size_t>(current * 2, InitialCapacity));
}

bool isPlaceholder(char16_t c) { return c == 2 || c == 4; }

}  // namespace

TCharCollection::TCharCollection() : Chars(InitialCapacity, u'\0'), Indices(InitialCapacity, 0) {}

void TCharCollection::grow(std::size_t needed) {
  if (needed <= Chars.size()) return;
  const std::size_t capacity = grownCapacity(Chars.size(), needed);
  Chars.resize(capacity, u'\0');
  Indices.resize(capacity, 0);
}

void TCharCollection::Add(char16_t C, std::int32_t Index) {
  grow(std::size_t(Count) + 1);
  Chars[Count] = C;
  Indices[Count] = Index;
  ++Count;
}

void TCharCollection::AddString(const String& S, std::int32_t Index) {
  if (S.empty()) return;
  grow(std::size_t(Count) + S.size());
  std::copy(S.begin(), S.end(), Chars.begin() + Count);
  std::fill_n(Indices.begin() + Count, S.size(), Index);
  Count += static_cast<std::int32_t>(S.size());
}

TokenObj::TokenObj() : Capacity(InitialCapacity), C(InitialCapacity, u'\0'), I(InitialCapacity, 0) {}

void TokenObj::grow(std::size_t needed) {
  if (needed <= std::size_t(Capacity)) return;
  SetCapacity(static_cast<int>(grownCapacity(std::size_t(Capacity), needed)));
}

void TokenObj::AddUnicodeChar(char16_t Ch, std::int32_t Ind) {
  grow(std::size_t(Leng) + 1);
  C[Leng] = Ch;
  I[Leng] = Ind;
  ++Leng;
  StringOK = false;
}

void TokenObj::AddString(const TCharCollection& S) {
  if (S.Count <= 0) return;
  grow(std::size_t(Leng) + std::size_t(S.Count));
  std::copy_n(S.Chars.begin(), S.Count, C.begin() + Leng);
  std::copy_n(S.Indices.begin(), S.Count, I.begin() + Leng);
  Leng += S.Count;
  StringOK = false;
}

void TokenObj::Clear() {
  Leng = 0;
  St.clear();
  StringOK = true;
}

void TokenObj::SetCapacity(int N) {
  if (N == Capacity) return;
  N = std::max(N, 0);
  C.resize(std::size_t(N), u'\0');
  I.resize(std::size_t(N), 0);
  Capacity = N;
  if (N < Leng) {
    Leng = N;
    if (StringOK) St.resize(std::size_t(N));
  }
}

const String& TokenObj::GetString() {
  if (!StringOK) {
    St.assign(C.begin(), C.begin() + Leng);
    StringOK = true;
  }
  return St;
}

void SelTextCount::AddText(const char16_t* P, int Size) {
  for (int i = 0; i < Size; ++i)
    if (!isPlaceholder(P[i])) ++Leng;
}

void SelTextCount::AddTextCR(const char16_t* P, int Size) {
  AddText(P, Size);
  static constexpr char16_t crlf[2] = {u'\r', u'\n'};
  AddText(crlf, 2);
}

int SelTextCount::Terminate() { return Leng; }

SelTextBuf::SelTextBuf(char16_t* Buffer, int Size) : Buffer(Buffer), BufferLeng(Size) {}

void SelTextBuf::AddText(const char16_t* P, int Size) {
  for (int i = 0; i < Size && Leng < BufferLeng - 1; ++i)
    if (!isPlaceholder(P[i])) Buffer[Leng++] = P[i];
}

int SelTextBuf::Terminate() {
  if (!Buffer || BufferLeng <= 0) return 0;
  Buffer[Leng] = 0;
  return Leng + 1;
}

ClipBuffer::ClipBuffer(int Leng) : SelTextBuf(nullptr, std::max(Leng, 0)), FStorage(std::size_t(std::max(Leng, 0))) {
  Buffer = FStorage.data();
}

int ClipBuffer::Terminate() {
  const int result = SelTextBuf::Terminate();
  Clipboard()->SetAsText(String(Buffer, std::size_t(Leng)));
  return result;
}

const char16_t* StrPosW(const char16_t* Str, const char16_t* SubStr) {
  if (!Str || !SubStr || !*SubStr) return nullptr;
  const std::u16string_view s(Str), sub(SubStr);
  const std::size_t p = s.find(sub);
  return p == std::u16string_view::npos ? nullptr : Str + p;
}

const char16_t* StrScanW(const char16_t* Str, char16_t C) {
  if (!Str) return nullptr;
  for (;; ++Str) {
    if (*Str == C) return Str;
    if (!*Str) return nullptr;
  }
}

const char16_t* StrRScanW(const char16_t* Str, char16_t C) {
  if (!Str) return nullptr;
  const char16_t* found = nullptr;
  for (;; ++Str) {
    if (*Str == C) found = Str;
    if (!*Str) return found;
  }
}

int WidePos(const String& SubStr, const String& S) {
  if (SubStr.empty()) return 0;
  const std::size_t p = S.find(SubStr);
  return p == String::npos ? 0 : static_cast<int>(p) + 1;
}

bool WideSameStr(const String& S1, const String& S2) { return S1 == S2; }

String WideTrim(const String& S) {
  std::size_t b = 0, e = S.size();
  while (b < e && S[b] < 33) ++b;
  while (e > b && S[e - 1] < 33) --e;
  return S.substr(b, e - b);
}
