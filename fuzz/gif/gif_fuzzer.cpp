// A GIF signature and screen descriptor are put in front of most inputs,
// so the fuzzer spends its time in the blocks and the LZW data rather
// than on finding the signature.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "html/images/gif_decoder.h"
#include "html/images/gif_images.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::vector<std::uint8_t> input;
  if (data[0] & 1) {
    const std::uint8_t head[] = {'G', 'I', 'F', '8', '9', 'a'};
    input.assign(head, head + sizeof head);
  }
  input.insert(input.end(), data + 1, data + size);
  TMemoryStream stream;
  if (!input.empty()) stream.WriteBuffer(input.data(), std::int64_t(input.size()));
  bool still = true;
  std::unique_ptr<TGIFImage> gif = LoadGifFromStream(still, stream);
  if (!gif) return 0;
  // Read every composited pixel and run the animation through its frames.
  unsigned sum = 0;
  for (int f = 1; f <= gif->FrameCount(); ++f) {
    ThtBitmap* cell = gif->FrameBitmap(f);
    for (int y = 0; y < cell->Height(); ++y) {
      const auto* row = static_cast<const std::uint8_t*>(cell->ScanLine(y));
      for (int x = 0; x < cell->Width() * 4; ++x) sum += row[x];
    }
  }
  gif->SetRunning(true);
  for (std::uint32_t t = 0; t < 64; ++t) gif->StepAnimationAt(nullptr, 1000000u + t * 1000u);
  if (gif->FirstFrameBitmap()) sum += unsigned(gif->FirstFrameBitmap()->Width());
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}
