// Upper-cases about 100 MB (UTF-16 bytes) of mixed Cyrillic and Latin text
// with AnsiUpperCase and with QString::toUpper, and compares word pairs
// with AnsiCompareText and QString::compare(Qt::CaseInsensitive); prints
// the throughput of each and the ratio (best of several runs).
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "platform/core/strings.h"
#include "bench/common/best_time.h"

namespace {

String makeText(size_t units) {
  static const char16_t cyrillic[] = u"абвгдеёжзийклмнопрстуфхцчшщъыьэюяАБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ";
  static const char16_t latin[] = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::mt19937 rng(2026);
  String text;
  text.reserve(units + 16);
  while (text.size() < units) {
    const bool russian = rng() % 2 == 0;
    const int letters = 2 + int(rng() % 9);
    for (int i = 0; i < letters; ++i)
      text += russian ? cyrillic[rng() % (std::size(cyrillic) - 1)] : latin[rng() % (std::size(latin) - 1)];
    text += (rng() % 10 == 0) ? u", " : u" ";
  }
  text.resize(units);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? size_t(std::atoi(argv[1])) : 100;
  const String text = makeText(megabytes * 1000 * 1000 / 2);
  const QString qtext = QString::fromUtf16(text.data(), qsizetype(text.size()));
  const double mb = double(text.size() * 2) / 1e6;

  size_t check = 0;
  const double tOurs = bestSeconds(3, [&] { check += AnsiUpperCase(text).size(); });
  const double tQt = bestSeconds(3, [&] { check += size_t(qtext.toUpper().size()); });
  std::printf("upper case      ours %8.1f MB/s   QString %8.1f MB/s   ratio %.2f\n", mb / tOurs, mb / tQt,
              tQt / tOurs);

  // Word pairs that differ only in case, as sorted lists and look-ups see them.
  std::vector<String> words;
  std::vector<QString> qwords;
  for (size_t i = 0; i + 12 < text.size() && words.size() < 1000000; i += 12) {
    words.push_back(text.substr(i, 12));
    qwords.push_back(QString::fromUtf16(words.back().data(), 12));
  }
  long long sum = 0;
  const double cOurs = bestSeconds(3, [&] {
    for (size_t i = 1; i < words.size(); ++i) sum += AnsiCompareText(words[i - 1], AnsiLowerCase(words[i - 1]));
  });
  const double cQt = bestSeconds(3, [&] {
    for (size_t i = 1; i < qwords.size(); ++i)
      sum += qwords[i - 1].compare(qwords[i - 1].toLower(), Qt::CaseInsensitive);
  });
  std::printf("compare (+lower) ours %6.2f Mpairs/s  QString %6.2f Mpairs/s  ratio %.2f   (check %zu %lld)\n",
              double(words.size()) / 1e6 / cOurs, double(words.size()) / 1e6 / cQt, cQt / cOurs, check, sum);
  return 0;
}
