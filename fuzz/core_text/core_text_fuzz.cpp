// Feeds settings-file style text (UTF-8 bytes) to the conversions and the
// string-list readers. Properties: no crash or over-read; a number that
// reads back is written the same way; a list read from its own Text or
// CommaText is the same list; the wildcard matcher terminates.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/core/files.h"
#include "platform/core/streams.h"
#include "platform/core/string_list.h"
#include "platform/core/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const UTF8String bytes(reinterpret_cast<const char*>(data), size);
  const String text = UTF8ToUTF16(bytes);

  std::int64_t i64 = 0;
  if (TryStrToInt64(text, i64) && StrToInt64(IntToStr(i64)) != i64) std::abort();
  int i32 = 0;
  if (TryStrToInt(text, i32) && StrToInt(IntToStr(i32)) != i32) std::abort();
  double d = 0;
  if (TryStrToFloat(text, d) && StrToFloat(FloatToStr(d)) != StrToFloat(FloatToStr(StrToFloat(FloatToStr(d)))))
    std::abort();
  bool b = false;
  TryStrToBool(text, b);

  TStringList list;
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  stream.SetPosition(0);
  list.LoadFromStream(&stream);
  TStringList again;
  again.SetText(list.Text());
  if (again.Text() != list.Text()) std::abort();
  again.SetCommaText(list.CommaText());
  if (again.CommaText() != list.CommaText()) std::abort();
  for (int k = 0; k < list.Count(); ++k) list.Values(list.Names(k));

  const size_t cut = text.size() / 2;
  MatchesMask(text.substr(0, cut), text.substr(cut));
  return 0;
}
