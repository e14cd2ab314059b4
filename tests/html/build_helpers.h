#pragma once
// Builds documents from page text for the tests: a document with the
// DejaVu faces as defaults (widths and names do not depend on the
// machine's font set), parsed as the viewer parses.
#include <memory>
#include <string>

#include "html/build/html_parser.h"
#include "html/model/document.h"
#include "html/model/document_dump.h"

namespace buildhelp {

inline std::unique_ptr<ThtDocument> NewDocument(int fontSize = 12) {
  auto doc = std::make_unique<ThtDocument>(nullptr, nullptr);
  doc->ApplyViewerDefaults(u"DejaVu Serif", u"DejaVu Sans Mono", fontSize, clBlack, clBlue, clPurple, clRed,
                           clWhite, false, true, 1, 5, 10);
  return doc;
}

inline std::unique_ptr<ThtDocument> Build(const std::string& html, int fontSize = 12) {
  auto doc = NewDocument(fontSize);
  auto buffer = TBuffer::CreateFromBytes(html.data(), html.size(), u"page");
  THtmlParser parser(buffer.get());
  parser.ParseHtml(doc.get(), nullptr, nullptr, nullptr, nullptr);
  return doc;
}

inline std::string Dump(const std::string& html) { return DumpDocument(*Build(html)); }

}  // namespace buildhelp
