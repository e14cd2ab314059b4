#pragma once
// The "HTML Format" record of a copied selection: a header of byte offsets
// followed by the page's own source up to the end of the selection, with
// the fragment marked by comments.
#include "platform/core/types.h"

struct THtmlClipboardRecord {
  String Text;       // header and HTML as UTF-16
  UTF8String Utf8;   // the same as UTF-8: what the offsets count
};

// Source: the whole page source. StartSrc and EndSrc: the source positions
// (0-based, -1 for none) of the first selected character and of the
// character just after the selection. CurrentFile names the page (empty
// for a page loaded from a string).
THtmlClipboardRecord BuildHtmlClipboardRecord(const String& Source, int StartSrc, int EndSrc,
                                              const String& CurrentFile, int FontSize,
                                              const String& FontName);
