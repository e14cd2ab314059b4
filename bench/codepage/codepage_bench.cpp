// Decodes about 100 MB of Russian text in code page 1251 and of Japanese
// text in code page 932 with CodePageToUnicode and with iconv directly,
// and prints the throughput of each (MB of input per second, 1 MB = 10^6
// bytes; best of several runs) and the ratio between them. Also measures
// the one-byte-at-a-time use that a character reader makes.
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/core/codepage.h"
#include "platform/core/strings.h"
#include "bench/common/best_time.h"

namespace {

RawByteString makeText(int codePage, const std::vector<String>& words, size_t size) {
  std::mt19937 rng(2026);
  String text;
  RawByteString out;
  while (out.size() < size) {
    text.clear();
    for (int i = 0; i < 4096; ++i) {
      text += words[rng() % words.size()];
      text += (rng() % 8 == 0) ? u"\r\n" : u" ";
    }
    out += UnicodeToCodePage(codePage, text);
  }
  out.resize(size);
  return out;
}

size_t iconvDecode(const char* name, const RawByteString& bytes) {
  iconv_t cd = iconv_open("UTF-16LE", name);
  std::vector<char> out(bytes.size() * 2 + 16);
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* outp = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &outp, &outLeft) != size_t(-1)) break;
    ++in;  // skip what it cannot convert, as our decoder does
    --inLeft;
  }
  iconv_close(cd);
  return out.size() - outLeft;
}

void compare(const char* label, int codePage, const char* iconvName, const RawByteString& bytes) {
  const double mb = double(bytes.size()) / 1e6;
  size_t ours = 0, theirs = 0;
  const double tOurs = bestSeconds(3, [&] { ours = CodePageToUnicode(codePage, bytes).size(); });
  const double tIconv = bestSeconds(3, [&] { theirs = iconvDecode(iconvName, bytes) / 2; });
  std::printf("%-28s ours %8.1f MB/s   iconv %8.1f MB/s   ratio %.2f   (%zu / %zu units)\n", label,
              mb / tOurs, mb / tIconv, tIconv / tOurs, ours, theirs);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? size_t(std::atoi(argv[1])) : 100;
  const size_t size = megabytes * 1000 * 1000;

  const std::vector<String> russian = {u"словарь", u"статья", u"поиск", u"ёлка", u"Москва",
                                       u"перевод", u"и", u"в", u"на", u"слово", u"dictionary"};
  const std::vector<String> japanese = {u"辞書", u"日本語", u"検索", u"ひらがな", u"カタカナ",
                                        u"の", u"は", u"word", u"ｱｲｳ", u"漢字"};
  const RawByteString cp1251 = makeText(1251, russian, size);
  const RawByteString cp932 = makeText(932, japanese, size);

  compare("1251 whole text", 1251, "CP1251", cp1251);
  compare("932 whole text", 932, "CP932", cp932);

  // A character reader decodes single-byte text one byte per call.
  const size_t perByte = std::min<size_t>(cp1251.size(), 10 * 1000 * 1000);
  size_t sum = 0;
  const double t = bestSeconds(3, [&] {
    for (size_t i = 0; i < perByte; ++i) sum += CodePageToUnicode(1251, cp1251.data() + i, 1)[0];
  });
  std::printf("%-28s ours %8.1f MB/s   (checksum %zu)\n", "1251 one byte per call", double(perByte) / 1e6 / t,
              sum);
  return 0;
}
