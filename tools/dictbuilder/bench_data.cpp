#include "tools/dictbuilder/bench_data.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <unordered_set>

#include "platform/core/strings.h"
#include "tools/dictbuilder/dictionary_writer.h"
#include "tools/dictbuilder/text.h"

namespace dictbuilder {
namespace {

bool validUtf8(const std::string& s) {
  return UTF16ToUTF8(UTF8ToUTF16(s)) == s && s.find("\xEF\xBF\xBD") == std::string::npos;
}

// An order-2 character model of one alphabet, trained on real words.
class WordModel {
public:
  void Train(const String& word) {
    if (word.size() < 2) return;
    FLengths.push_back(word.size());
    char16_t a = 0, b = 0;
    for (char16_t c : word) {
      FNext[key(a, b)].push_back(c);
      a = b;
      b = c;
    }
  }

  bool Empty() const { return FLengths.empty(); }

  String Generate(std::mt19937_64& rng) const {
    const size_t length = FLengths[rng() % FLengths.size()];
    String w;
    char16_t a = 0, b = 0;
    while (w.size() < length) {
      auto it = FNext.find(key(a, b));
      if (it == FNext.end()) it = FNext.find(key(0, 0));
      const char16_t c = it->second[rng() % it->second.size()];
      w += c;
      a = b;
      b = c;
    }
    return w;
  }

private:
  static uint32_t key(char16_t a, char16_t b) { return (static_cast<uint32_t>(a) << 16) | b; }
  std::vector<size_t> FLengths;
  std::map<uint32_t, std::vector<char16_t>> FNext;
};

bool allLetters(const String& w, bool cyrillic) {
  for (char16_t c : w) {
    const bool ok = cyrillic ? (c >= u'а' && c <= u'я') || c == u'ё' : (c >= u'a' && c <= u'z');
    if (!ok) return false;
  }
  return !w.empty();
}

}  // namespace

std::vector<std::string> DefaultBenchWordLists() {
  const std::vector<std::string> candidates = {
      "/usr/share/dictd/gcide.index", "/usr/share/dictd/wn.index", "/usr/share/hunspell/ru_RU.dic",
      "/usr/share/dictd/mueller7.index"};
  std::vector<std::string> present;
  for (const auto& c : candidates)
    if (std::filesystem::exists(c)) present.push_back(c);
  return present;
}

std::vector<UTF8String> ReadWordList(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EDictBuilder((path + ": cannot open the word list").c_str());
  const bool hunspell = path.size() > 4 && path.compare(path.size() - 4, 4, ".dic") == 0;
  std::vector<UTF8String> words;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (hunspell && first) {  // the first line of a hunspell list is its word count
      first = false;
      continue;
    }
    const size_t end = line.find(hunspell ? '/' : '\t');
    std::string w = line.substr(0, end);
    if (w.empty() || w.rfind("00", 0) == 0 || !validUtf8(w)) continue;
    words.push_back(std::move(w));
  }
  return words;
}

BenchDictionaryInfo BuildBenchDictionary(const std::string& path, size_t count,
                                         const std::vector<std::string>& wordLists) {
  BenchDictionaryInfo info;
  std::mt19937_64 rng(20261207);
  std::unordered_set<UTF8String> keys;
  std::vector<Article> articles;
  articles.reserve(count);
  WordModel latin, cyrillic;
  std::vector<UTF8String> vocabulary;

  for (const auto& list : wordLists) {
    for (UTF8String& w : ReadWordList(list)) {
      const String w16 = UTF8ToUTF16(w);
      const bool cyr = allLetters(w16, true);
      if (cyr) cyrillic.Train(w16);
      else if (allLetters(w16, false)) latin.Train(w16);
      if (articles.size() >= count) continue;
      if (!keys.insert(HeadwordKey(w)).second) continue;
      if ((cyr || allLetters(w16, false)) && vocabulary.size() < 200000) vocabulary.push_back(w);
      articles.push_back({std::move(w), {}});
    }
  }
  info.RealWords = articles.size();

  // Without any list the models learn from a handful of words, which still
  // gives pronounceable headwords of both alphabets.
  if (latin.Empty())
    for (const char16_t* w : {u"dictionary", u"search", u"window", u"letter", u"morning", u"station"})
      latin.Train(w);
  if (cyrillic.Empty())
    for (const char16_t* w : {u"словарь", u"поиск", u"окно", u"письмо", u"утро", u"станция"}) cyrillic.Train(w);
  // A model trained on few words knows only some thousands of distinct
  // words. Each time it keeps repeating itself, headwords become compounds
  // of one more generated word; models too small even for that get a serial
  // number spelt in letters, so that any count is reached.
  size_t misses = 0, parts = 1, serial = 0;
  while (articles.size() < count) {
    const bool cyr = rng() % 3 == 0;
    const WordModel& model = cyr ? cyrillic : latin;
    String w16;
    for (size_t k = 0; k < parts; ++k) w16 += model.Generate(rng);
    if (parts > 3)
      for (size_t n = ++serial; n; n /= 26) w16 += static_cast<char16_t>((cyr ? u'а' : u'a') + n % 26);
    const UTF8String w = UTF16ToUTF8(w16);
    if (!keys.insert(HeadwordKey(w)).second) {
      if (++misses > 1000) {
        ++parts;
        misses = 0;
      }
      continue;
    }
    misses = 0;
    if (vocabulary.size() < 1000) vocabulary.push_back(w);
    articles.push_back({w, {}});
  }
  // Lists whose words all hold other characters than letters still give the
  // articles words to draw from.
  if (vocabulary.empty())
    for (size_t i = 0; i < articles.size() && i < 1000; ++i) vocabulary.push_back(articles[i].Headword);
  info.GeneratedWords = articles.size() - info.RealWords;
  std::shuffle(vocabulary.begin(), vocabulary.end(), rng);

  // Article words follow a Zipf-like law over the vocabulary, so a few words
  // are frequent (as in real articles) and most are rare.
  const double s = 1.05;
  std::vector<double> weights(vocabulary.size());
  for (size_t i = 0; i < weights.size(); ++i) weights[i] = 1.0 / std::pow(static_cast<double>(i + 1), s);
  std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
  for (size_t i = 0; i < 20 && i < vocabulary.size(); ++i) info.FrequentWords.push_back(vocabulary[i]);
  static const char* const kPos[] = {"n.", "v.", "a.", "adv."};
  for (Article& a : articles) {
    std::string d = "<1>" + EscapeHtml(a.Headword) + "</1> <2>" + kPos[rng() % 4] + "</2>";
    const size_t senses = 1 + rng() % 4;
    for (size_t k = 1; k <= senses; ++k) {
      d += "<BR><1>" + std::to_string(k) + ")</1>";
      const size_t words = 3 + rng() % 8;
      for (size_t j = 0; j < words; ++j) d += (j ? ", " : " ") + EscapeHtml(vocabulary[pick(rng)]);
    }
    a.Description = std::move(d);
  }

  SortArticles(articles);
  DictionaryWriter writer(path);
  for (const Article& a : articles) writer.AddArticle(a);
  DictionaryProperties p;
  p.Author = "tamrix";
  p.FullCaption = "Словарь для замеров скорости (" + std::to_string(count) + " слов)";
  p.Description = "Заголовки из установленных списков слов, дополненные порождёнными словами.";
  p.Languages = "en ru";
  p.Version = "1.0";
  p.ShortName = "bench";
  p.Source = "порождён программой сборки словарей tamrix";
  writer.Finish(p);
  return info;
}

}  // namespace dictbuilder
