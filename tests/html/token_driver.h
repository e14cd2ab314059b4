#pragma once
// Drives the tokeniser the way the document builder does (script, style
// and text-area content read by their own readers) and records the symbol
// stream as text, one symbol per line, for comparisons in tests, the
// benchmark and the fuzzer.
#include <memory>
#include <string>

#include "html/parse/html_tokenizer.h"
#include "html/parse/style_parser.h"
#include "platform/core/strings.h"

namespace tokendriver {

inline std::string utf8(const String& s) { return UTF16ToUTF8(s); }

// Raw content symbols carry no attributes (the list still holds the tag's).
inline std::string describe(const THtmlTokenizer& t, bool raw = false) {
  std::string line = std::to_string(int(t.Sy));
  if (t.Sy == symH || t.Sy == symHEnd) line += "/" + std::to_string(t.Value);
  if (t.Sy == symText || t.Sy == symUnknownTag || t.Sy == symOtherChar || t.Token.Count() > 0)
    line += " [" + utf8(t.Token.GetString()) + "]";
  if (raw || t.Sy == symText || t.Sy == symEndOfDoc) return line;
  for (const TTokenAttribute& a : t.Attributes) {
    line += " " + utf8(a.Name) + "=" + utf8(a.Value);
    if (a.DblValue != 0) line += "#" + std::to_string(long(a.DblValue));
  }
  return line;
}

// The whole stream of a tokeniser set up on its buffer. A style sheet's
// rules go into styles when given.
inline std::string run(THtmlTokenizer& t, TStyleList* styles = nullptr, bool rawScripts = true) {
  std::string out;
  t.ReadChar();
  t.NextSymbol();
  for (int guard = 0; guard < 10000000; ++guard) {
    out += describe(t) + "\n";
    if (t.Sy == symEndOfDoc) break;
    if (t.Sy == symScript) {
      // The builder reads script content raw only when it keeps it.
      t.InScript = rawScripts;
      t.ReadChar();
      do {
        t.NextScriptSymbol();
        out += "  " + describe(t, true) + "\n";
      } while (t.Sy != symScriptEnd && t.Sy != symEndOfDoc);
      t.InScript = false;
      t.NextSymbol();
    } else if (t.Sy == symStyle) {
      char16_t ch = t.LCh;
      if (styles) {
        ParseStyleSheet(*styles, ch, *t.Buffer(), String(), false);
      } else {
        TStyleList scratch;
        ParseStyleSheet(scratch, ch, *t.Buffer(), String(), false);
      }
      t.LCh = ch;
      t.NextSymbol();
    } else if (t.Sy == symTextArea) {
      do {
        t.NextTextAreaSymbol();
        out += "  " + describe(t, true) + "\n";
      } while (t.Sy != symTextAreaEnd && t.Sy != symEndOfDoc);
      while (t.LCh != u'>' && t.LCh != 0) t.ReadChar();
      if (t.LCh == u'>') t.ReadChar();
      t.NextSymbol();
    } else {
      t.NextSymbol();
    }
  }
  return out;
}

inline std::string run(const std::string& bytes, TStyleList* styles = nullptr) {
  std::unique_ptr<TBuffer> buffer = TBuffer::CreateFromBytes(bytes.data(), bytes.size(), u"page");
  THtmlTokenizer t(buffer.get());
  return run(t, styles);
}

}  // namespace tokendriver
