// Decodes arbitrary bytes through the source buffer in every code page it
// can be switched to, and checks that the ways of reading agree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "html/parse/source_buffer.h"

namespace {

constexpr int kCodePages[] = {0,     1,     2,     65001, 1251,  1252,  866,   20866, 21866,
                              28595, 28605, 932,   936,   949,   950,   1361,  20932, 51932,
                              -3,    -4,    -5,    50220, 874,   1258,  12345};

String readAll(TBuffer& b) {
  String s;
  for (;;) {
    const int before = b.GetPosition();
    const char16_t c = b.NextChar();
    if (b.GetPosition() == before) break;
    s.push_back(c);
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int codePage = kCodePages[data[0] % (sizeof(kCodePages) / sizeof(kCodePages[0]))];
  ++data;
  --size;

  auto b = TBuffer::CreateFromBytes(data, size, u"fuzz");
  b->SetCodePage(codePage);
  const int start = b->GetPosition();
  const String all = readAll(*b);
  if (b->GetString(start, b->Size()) != all) std::abort();
  b->SetPosition(start);
  if (b->ReadToEnd() != all) std::abort();
  b->SetPosition(start);
  if (b->ReadToEnd() != all) std::abort();

  // Random access: peeking never moves, ranges never move.
  for (std::size_t i = 0; i + 1 < size && i < 64; i += 2) {
    b->SetPosition(data[i]);
    const int at = b->GetPosition();
    const char16_t peeked = b->PeekChar();
    if (b->GetPosition() != at) std::abort();
    (void)b->GetString(data[i + 1], data[i] + data[i + 1]);
    if (b->GetPosition() != at) std::abort();
    if (b->NextChar() != peeked) std::abort();
  }

  // The bytes as a charset name from a page.
  const std::u16string name(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + std::min<std::size_t>(size, 40));
  if (const TBuffCharSetCodePageInfo* info = GetCharSetCodePageInfo(name)) {
    CodePageToCharSet(info->CodePage());
    b->SetCharSet(info->CharSet());
    b->SetCodePage(info->CodePage());
    b->Reset();
    (void)b->ReadToEnd();
  }
  return 0;
}
