// Arbitrary bytes as a page: every symbol, with script, style and text-area
// content read by their own readers, and include directives that read the
// same bytes again.
#include <cstddef>
#include <cstdint>

#include "tests/html/token_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto buffer = TBuffer::CreateFromBytes(data, size, u"fuzz.htm");
  THtmlTokenizer t(buffer.get());
  int includes = 0;
  t.OnInclude = [&](const String&, const std::vector<String>&, std::unique_ptr<TBuffer>& inc) {
    if (++includes <= 8) inc = TBuffer::CreateFromBytes(data, size / 2, u"inc.htm");
  };
  t.OnIdAttribute = [](const String&, int) {};
  t.OnProgress = [](int, int) {};
  TStyleList styles;
  tokendriver::run(t, &styles, size % 2 == 0);
  return 0;
}
