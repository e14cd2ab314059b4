#pragma once
// Builds the English-Russian dictionary from dictd files and, optionally,
// the Russian-English dictionary reversed from it.
#include <string>
#include <vector>

namespace dictbuilder {

struct DictdBuildResult {
  size_t EnglishArticles = 0;
  size_t RussianArticles = 0;
};

// `reversePath` empty: no reversed dictionary.
DictdBuildResult BuildFromDictd(const std::string& indexPath, const std::string& dataPath,
                                const std::string& outPath, const std::string& reversePath);

// Writes the dictionary list: one "name 1" line per name, CR LF ended,
// in the given (search) order.
void WriteDictionaryList(const std::string& path, const std::vector<std::string>& names);

}  // namespace dictbuilder
