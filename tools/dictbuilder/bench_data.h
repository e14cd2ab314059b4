#pragma once
// The large dictionary that search benchmarks run against: real headwords
// from the word lists that are installed, topped up with generated words
// whose letters and lengths follow the real ones, and articles of realistic
// length whose words follow a Zipf-like frequency.
#include <string>
#include <vector>

#include "platform/core/types.h"

namespace dictbuilder {

// Word lists that are read when present: dictd indexes (first field of each
// line) and hunspell dictionaries (the word before "/").
std::vector<std::string> DefaultBenchWordLists();

// Reads the words of one list; lines that are not valid UTF-8 are skipped.
std::vector<UTF8String> ReadWordList(const std::string& path);

struct BenchDictionaryInfo {
  size_t RealWords = 0;       // headwords taken from the lists
  size_t GeneratedWords = 0;  // headwords made up to reach the count
  std::vector<UTF8String> FrequentWords;  // article words, most frequent first
};

// Writes a dictionary of exactly `count` distinct headwords. Deterministic
// for the same lists and count.
BenchDictionaryInfo BuildBenchDictionary(const std::string& path, size_t count,
                                         const std::vector<std::string>& wordLists);

}  // namespace dictbuilder
