#include "tools/dictbuilder/dictd_build.h"

#include <fstream>
#include <vector>

#include "tools/dictbuilder/dictd_markup.h"
#include "tools/dictbuilder/dictd_reader.h"
#include "tools/dictbuilder/dictionary_writer.h"
#include "tools/dictbuilder/text.h"

namespace dictbuilder {
namespace {

bool hasCyrillic(const std::string& utf8) {
  // Cyrillic letters are encoded with lead bytes D0..D4.
  for (unsigned char c : utf8)
    if (c >= 0xD0 && c <= 0xD4) return true;
  return false;
}

void writeArticles(const std::string& path, std::vector<Article> articles, DictionaryProperties p) {
  SortArticles(articles);
  DictionaryWriter writer(path);
  for (const Article& a : articles) writer.AddArticle(a);
  writer.Finish(std::move(p));
}

}  // namespace

DictdBuildResult BuildFromDictd(const std::string& indexPath, const std::string& dataPath,
                                const std::string& outPath, const std::string& reversePath) {
  DictdDictionary source = ReadDictd(indexPath, dataPath);
  std::vector<Article> raw;
  raw.reserve(source.Entries.size());
  for (DictdEntry& e : source.Entries) {
    // Entries whose key starts with "_" explain the abbreviations used in
    // the articles; they are not headwords anyone looks up.
    if (e.Headword.empty() || e.Headword[0] == '_') continue;
    // The source's header section explains its Russian abbreviations
    // ("букв.", "сущ.") under Cyrillic keys; English headwords hold no
    // Cyrillic letter.
    if (hasCyrillic(e.Headword)) continue;
    // A key listing spelling variants ("baccara, baccarat") gives one
    // headword per variant, each with the whole article.
    size_t start = 0;
    while (start <= e.Headword.size()) {
      size_t end = e.Headword.find(", ", start);
      if (end == std::string::npos) end = e.Headword.size();
      const std::string variant(Trim(std::string_view(e.Headword).substr(start, end - start)));
      if (!variant.empty()) raw.push_back({variant, e.Text});
      start = end + 2;
    }
  }

  DictdBuildResult result;
  std::vector<Article> english;
  english.reserve(raw.size());
  for (const Article& a : raw) english.push_back({a.Headword, ConvertDictdArticle(a.Description)});
  result.EnglishArticles = english.size();

  const std::string sourceName = source.ShortName.empty() ? indexPath : source.ShortName;
  DictionaryProperties en;
  en.Author = "В. К. Мюллер";
  en.FullCaption = "Англо-русский словарь Мюллера";
  en.Description = "Англо-русский словарь В. К. Мюллера, 7-е издание: транскрипция, значения, примеры "
                   "употребления и ссылки на другие слова.";
  en.Languages = "en";
  en.Version = "7";
  en.License = "GNU GPL";
  en.ShortName = "en-ru";
  en.Source = sourceName;
  en.Date = "1961, электронная версия 1999";
  writeArticles(outPath, std::move(english), en);

  if (!reversePath.empty()) {
    std::vector<Article> russian = ReverseArticles(raw);
    result.RussianArticles = russian.size();
    DictionaryProperties ru = en;
    ru.FullCaption = "Русско-английский словарь (обращённый словарь Мюллера)";
    ru.Description = "Русские слова из переводов англо-русского словаря Мюллера; каждая статья перечисляет "
                     "английские слова, которые так переводятся, со ссылками на их статьи.";
    ru.Languages = "ru";
    ru.ShortName = "ru-en";
    writeArticles(reversePath, std::move(russian), ru);
  }
  return result;
}

void WriteDictionaryList(const std::string& path, const std::vector<std::string>& names) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw EDictBuilder((path + ": cannot write the dictionary list").c_str());
  for (const auto& n : names) out << n << " 1\r\n";
  if (!out) throw EDictBuilder((path + ": cannot write the dictionary list").c_str());
}

}  // namespace dictbuilder
