// Converts about 100 MB of mixed Cyrillic and Latin text from UTF-8 to UTF-16
// and back, with our converters and with iconv, and prints the throughput of
// each (MB of UTF-8 text per second, 1 MB = 10^6 bytes; best of several runs).
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>

#include "db/utf8_convert.h"
#include "bench/common/best_time.h"

namespace {

// Words of 2 to 10 letters, roughly half Russian and half English, with
// spaces, punctuation, digits and line breaks, as dictionary articles have.
UTF8String makeText(size_t size) {
  static const char* const cyrillic[] = {"а", "б", "в", "г", "д", "е", "ё", "ж", "з", "и", "й",
                                         "к", "л", "м", "н", "о", "п", "р", "с", "т", "у", "ф",
                                         "х", "ц", "ч", "ш", "щ", "ъ", "ы", "ь", "э", "ю", "я",
                                         "А", "Б", "В", "Г", "Д", "Е", "Ж", "З", "И", "К", "Л"};
  static const char latin[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  static const char* const gaps[] = {" ", " ", " ", " ", ", ", ". ", "; ", " - ", "\n", " (1) "};
  std::mt19937 rng(2026);
  UTF8String text;
  text.reserve(size + 64);
  while (text.size() < size) {
    const bool russian = rng() % 2 == 0;
    const int letters = 2 + int(rng() % 9);
    for (int i = 0; i < letters; ++i) {
      if (russian)
        text += cyrillic[rng() % std::size(cyrillic)];
      else
        text += latin[rng() % (sizeof latin - 1)];
    }
    text += gaps[rng() % std::size(gaps)];
  }
  return text;
}

// One iconv call over the whole buffer; returns the bytes written.
size_t iconvAll(iconv_t cd, const char* in, size_t inBytes, char* out, size_t outBytes) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(in);
  char* dst = out;
  size_t inLeft = inBytes, outLeft = outBytes;
  if (iconv(cd, &src, &inLeft, &dst, &outLeft) == size_t(-1)) {
    std::perror("iconv");
    std::exit(1);
  }
  return outBytes - outLeft;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 100.0;
  const int runs = 3;
  const UTF8String utf8 = makeText(size_t(megabytes * 1e6));
  const double mb = double(utf8.size()) / 1e6;

  iconv_t toUtf16 = iconv_open("UTF-16LE", "UTF-8");
  iconv_t toUtf8 = iconv_open("UTF-8", "UTF-16LE");
  if (toUtf16 == iconv_t(-1) || toUtf8 == iconv_t(-1)) {
    std::perror("iconv_open");
    return 1;
  }

  // Both sides produce a new string per run, sized as each needs before the
  // conversion and cut to the result after it, as a caller would use them.
  String ours16;
  const double oursDecode = bestSeconds(runs, [&] { ours16 = Utf8ToUnicode(utf8); });
  String peer16;
  const double peerDecode = bestSeconds(runs, [&] {
    String out(utf8.size(), u'\0');
    const size_t bytes = iconvAll(toUtf16, utf8.data(), utf8.size(),
                                  reinterpret_cast<char*>(out.data()), out.size() * 2);
    out.resize(bytes / 2);
    peer16 = std::move(out);
  });

  UTF8String ours8;
  const double oursEncode = bestSeconds(runs, [&] { ours8 = UnicodeToUtf8(ours16); });
  UTF8String peer8;
  const double peerEncode = bestSeconds(runs, [&] {
    UTF8String out(ours16.size() * 3, '\0');
    const size_t bytes = iconvAll(toUtf8, reinterpret_cast<const char*>(ours16.data()),
                                  ours16.size() * 2, out.data(), out.size());
    out.resize(bytes);
    peer8 = std::move(out);
  });
  iconv_close(toUtf16);
  iconv_close(toUtf8);

  const bool same = ours16 == peer16 && ours8 == utf8 && peer8 == utf8;
  std::printf("text: %.1f MB of UTF-8 (%zu UTF-16 units); each run makes a new string; "
              "best of %d runs\n",
              mb, ours16.size(), runs);
  std::printf("UTF-8 -> UTF-16   ours %8.1f MB/s   iconv %8.1f MB/s   ours/iconv %.2fx\n",
              mb / oursDecode, mb / peerDecode, peerDecode / oursDecode);
  std::printf("UTF-16 -> UTF-8   ours %8.1f MB/s   iconv %8.1f MB/s   ours/iconv %.2fx\n",
              mb / oursEncode, mb / peerEncode, peerEncode / oursEncode);
  std::printf("results %s\n", same ? "identical to iconv" : "DIFFER from iconv");
  return same ? 0 : 1;
}
