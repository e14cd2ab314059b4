// Arbitrary small pages laid out and painted: the first two bytes choose the
// width (20 to 1519 pixels), the rest is the page. The page is laid out
// twice (a second pass at half the width, as a resized window does) and
// painted at its top and at its middle.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "html/model/document.h"
#include "html/build/html_parser.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Small pages: the bounds of large ones are the benchmarks' business.
  if (size < 2 || size > 8192) return 0;
  const int width = 20 + (data[0] | (data[1] << 8)) % 1500;
  auto buffer = TBuffer::CreateFromBytes(data + 2, size - 2, u"fuzz.htm");
  ThtDocument doc(nullptr, nullptr);
  doc.ApplyViewerDefaults(u"DejaVu Serif", u"DejaVu Sans Mono", 12, clBlack, clBlue, clPurple, clRed, clWhite,
                          false, true, 1, 5, 10);
  THtmlParser parser(buffer.get());
  try {
    parser.ParseHtml(&doc, nullptr, nullptr, nullptr, nullptr);
  } catch (const Exception&) {
    return 0;  // malformed input may be reported; it must not crash
  }
  TBitmap bitmap;
  bitmap.SetSize(width, 200);
  for (int w : {width, width / 2 + 1}) {
    int scrollWidth = 0, cursor = 0;
    const int height = doc.DoLogic(bitmap.Canvas(), 0, w, 200, 0, scrollWidth, cursor);
    doc.Draw(bitmap.Canvas(), TRect(0, 0, w, 200), w, 0, 0, 0, 0);
    if (height > 200) {
      doc.ScrollY = height / 2;
      doc.Draw(bitmap.Canvas(), TRect(0, 0, w, 200), w, 0, 0, 0, 0);
      doc.ScrollY = 0;
    }
  }
  return 0;
}
