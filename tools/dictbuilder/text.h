#pragma once
// Text helpers of the dictionary builder: the search key of a headword,
// HTML escaping and small string utilities over UTF-8 and UTF-16.
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/types.h"

namespace dictbuilder {

// The form in which a headword is stored in the `word` column: upper-cased
// by the same routine the program's search applies to a query, with "Ё"
// folded to "Е" because the search folds it in Russian queries and would
// otherwise never match.
UTF8String HeadwordKey(const UTF8String& headword);

// Escapes "&", "<" and ">" so that source text shows literally in a page.
UTF8String EscapeHtml(std::string_view text);

// Splits at "\n", dropping a "\r" before it.
std::vector<UTF8String> SplitLines(std::string_view text);

// Removes characters of code 32 or less at both ends.
std::string_view Trim(std::string_view text);

bool IsCyrillic(char16_t c);
bool IsLatinLetter(char16_t c);

}  // namespace dictbuilder
