// Any bytes as raw deflate data, and as stored data with a header: the
// inflater must stop with a result, never read past its input or write
// past its window.
#include <cstddef>
#include <cstdint>

#include "platform/core/streams.h"
#include "zip/zip_inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream src;
  if (size) src.WriteBuffer(data, int64_t(size));
  src.SetPosition(0);
  TMemoryStream out;
  TZAInflate inflater(&out, &src);
  inflater.MaxOutput = 1 << 24;
  uint32_t crc = 0;
  inflater.Unpack(8, crc, size);
  src.SetPosition(0);
  TZAInflate counting(nullptr, &src);
  counting.UnpackWithHeader(size);
  return 0;
}
