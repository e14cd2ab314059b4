// The first byte picks a format whose signature is put in front of the
// rest, so the fuzzer spends its time inside the readers rather than on
// finding the signatures.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "html/images/gdiplus_images.h"
#include "html/images/image_cache.h"
#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"

namespace {
// The loader as an <IMG> uses it: every kind, any mask request.
void throughLoader(const std::vector<std::uint8_t>& input, std::uint8_t transparent) {
  static const bool started = (GdiPlusStart(), true);
  (void)started;
  TMemoryStream stream;
  if (!input.empty()) stream.WriteBuffer(input.data(), std::int64_t(input.size()));
  std::unique_ptr<TBitmap> mask;
  std::unique_ptr<TgpObject> image = LoadImageFromStream(&stream, transparent, mask);
  if (image) {
    volatile int w = GetImageWidth(image.get()) + GetImageHeight(image.get());
    (void)w;
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const std::vector<std::uint8_t> signatures[] = {
      {}, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, {0xFF, 0xD8, 0xFF}, {'B', 'M'}, {'G', 'I', 'F', '8', '9', 'a'}};
  const auto& sig = signatures[data[0] % 5];
  std::vector<std::uint8_t> input(sig);
  input.insert(input.end(), data + 1, data + size);
  throughLoader(input, std::uint8_t(data[0] >> 7));
  try {
    TBitmap bitmap;
    DecodePicture(input.data(), input.size(), bitmap);
    // Touch every decoded pixel so that a short buffer shows up here.
    unsigned sum = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
      const auto* row = static_cast<const std::uint8_t*>(bitmap.ScanLine(y));
      for (int x = 0; x < bitmap.Width() * 4; ++x) sum += row[x];
    }
    volatile unsigned sink = sum;
    (void)sink;
  } catch (const Exception&) {
  }
  return 0;
}
