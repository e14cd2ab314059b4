#pragma once
// Converts the plain-text articles of an English-Russian dictd dictionary
// (mueller7 layout) into the program's article markup, and collects the
// Russian translations for the reversed dictionary.
//
// The source layout: the first line repeats the headword; the following
// lines are indented, "_I", "_II" open homonyms, "1." part-of-speech groups,
// "1)" senses and "а)" sub-senses; a line without such a marker continues
// the previous one. "[...]" is a transcription ("↗" marks the stress),
// "_n.", "_разг." and the like are abbreviations, "= word" and "см. word"
// refer to other headwords.
//
// The markup written: <1>bold</1>, <2>italic</2>, <4>transcription</4>,
// <7>cross-reference</7>, <9> a new bulleted paragraph, and <BR> line breaks
// with non-breaking spaces for indentation (plain HTML passes through).
#include <string>
#include <vector>

#include "platform/core/types.h"
#include "tools/dictbuilder/dictionary_writer.h"

namespace dictbuilder {

UTF8String ConvertDictdArticle(const UTF8String& text);

struct Translation {
  UTF8String Russian;  // one Russian word as written in the article
  UTF8String Pos;      // part of speech in force ("n.", "v.", ...), may be empty
};

// The single-word Russian translations of an article, in article order,
// each once. Segments that hold English text (examples) are left out.
std::vector<Translation> ExtractTranslations(const UTF8String& text);

// Builds the Russian-English articles from English headwords and their
// articles: one article per Russian word, listing the English words that
// translate to it as cross-references.
std::vector<Article> ReverseArticles(const std::vector<Article>& englishSource);

}  // namespace dictbuilder
