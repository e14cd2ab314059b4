// Any bytes as raw deflate data, decoded by the component's inflater and
// by zlib: the two must agree on every stream, the same bytes when zlib
// accepts it and a refusal when zlib refuses it. The same bytes as stored
// data with a header must stop with a result, never read past the input.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/core/streams.h"
#include "zip/zip_inflate.h"

namespace {

constexpr size_t kLimit = size_t(1) << 22;

// zlib's verdict; out holds what it produced (at most kLimit + 1 bytes).
bool zlibInflates(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t& produced) {
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) __builtin_trap();
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = uInt(size);
  zs.next_out = out.data();
  zs.avail_out = uInt(out.size());
  int r = inflate(&zs, Z_FINISH);
  produced = zs.total_out;
  inflateEnd(&zs);
  return r == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> zlibOut(kLimit + 1);
  size_t zlibSize = 0;
  bool zlibOk = zlibInflates(data, size, zlibOut, zlibSize);
  uint32_t zlibCrc = uint32_t(crc32(0, zlibOut.data(), uInt(zlibSize)));

  TMemoryStream src;
  if (size) src.WriteBuffer(data, int64_t(size));
  src.SetPosition(0);
  TMemoryStream out;
  TZAInflate inflater(&out, &src);
  inflater.MaxOutput = kLimit;
  uint32_t crc = zlibCrc;
  int r = inflater.Unpack(8, crc, size);
  // zlib went past the limit the inflater keeps to: nothing to compare.
  if (zlibSize > kLimit) return 0;
  if (zlibOk) {
    if (r != 0) __builtin_trap();
    if (size_t(out.Size()) != zlibSize) __builtin_trap();
    if (zlibSize && std::memcmp(out.Memory(), zlibOut.data(), zlibSize) != 0) __builtin_trap();
  } else if (r == 0 || r == 150) {
    __builtin_trap();
  }

  src.SetPosition(0);
  TZAInflate counting(nullptr, &src);
  counting.UnpackWithHeader(size);
  return 0;
}
