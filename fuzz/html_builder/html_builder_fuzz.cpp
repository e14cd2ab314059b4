// Arbitrary bytes as a page: tokenised and built into a document (blocks,
// lists, tables, links, styles), with include directives reading part of
// the same bytes again; then the document is copied, dumped and cleared.
// The first byte picks plain text or HTML.
#include <cstddef>
#include <cstdint>

#include "html/build/html_parser.h"
#include "html/model/document.h"
#include "html/model/document_dump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool plain = data[0] == 'T';
  auto buffer = TBuffer::CreateFromBytes(data, size, u"fuzz.htm");
  ThtDocument doc(nullptr, nullptr);
  doc.ApplyViewerDefaults(u"DejaVu Serif", u"DejaVu Sans Mono", 12, clBlack, clBlue, clPurple, clRed, clWhite,
                          false, true, 1, 5, 10);
  THtmlParser parser(buffer.get());
  try {
    if (plain) {
      parser.ParseText(&doc);
    } else {
      int includes = 0;
      parser.ParseHtml(&doc, nullptr, nullptr, nullptr,
                       [&](const String&, const std::vector<String>&, std::unique_ptr<TBuffer>& inc) {
                         if (++includes <= 4) inc = TBuffer::CreateFromBytes(data, size / 3, u"inc.htm");
                       });
    }
  } catch (const Exception&) {
    // Malformed input may be reported; it must not crash.
  }
  parser.GetTitle();
  DumpDocument(doc);
  ThtDocument copy(doc);
  DumpDocument(copy);
  doc.Clear();
  return 0;
}
