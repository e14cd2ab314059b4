// Speed of the HTML tokeniser on dictionary-style markup and of the CSS
// reader on a 500-rule sheet, next to litehtml parsing the same text in the
// same run (litehtml builds its element tree and applies styles as it goes,
// so its figure covers more work than tokenising alone).
#include <litehtml.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "bench/common/best_time.h"
#include "bench/common/dictionary_markup.h"
#include "bench/common/litehtml_null_container.h"
#include "html/parse/html_tokenizer.h"
#include "html/parse/style_parser.h"
#include "platform/core/strings.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string makeSheet(int rules) {
  std::string s;
  static const char* const tags[] = {"p", "div", "span", "td", "a", "b", "i", "li", "h1", "h2"};
  for (int i = 0; i < rules; ++i) {
    const char* t = tags[i % 10];
    switch (i % 5) {
      case 0:
        s += std::string(t) + ".c" + std::to_string(i) + " { color: #" +
             std::to_string(100000 + i).substr(0, 6) + "; margin: 2px 4px }\n";
        break;
      case 1:
        s += "div.article " + std::string(t) + " { font: bold 12px/1.4 \"DejaVu Sans\", serif }\n";
        break;
      case 2:
        s += "#id" + std::to_string(i) + ", " + t + ":hover { border: 1px solid rgb(1, 2, 3) }\n";
        break;
      case 3:
        s += std::string(t) + " > .k" + std::to_string(i) +
             " { background: #fff url(img/x.png) no-repeat left top; padding: 1em }\n";
        break;
      default:
        s += "/* rule " + std::to_string(i) + " */ ." + t + std::to_string(i) +
             " { text-decoration: underline; list-style: square inside }\n";
    }
  }
  return s;
}

// Best wall time of several runs; the processor time of that run goes to
// cpu (on a busy machine the two part ways).
template <typename F>
double bestSeconds(int runs, F&& work, double* cpu = nullptr) {
  double best = 1e9;
  for (int r = 0; r < runs; ++r) {
    const double c0 = threadSeconds();
    const auto t0 = Clock::now();
    work();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    if (wall < best) {
      best = wall;
      if (cpu) *cpu = threadSeconds() - c0;
    }
  }
  return best;
}

size_t tokenise(TBuffer& buffer) {
  buffer.SetPosition(0);
  THtmlTokenizer t(&buffer);
  size_t symbols = 0;
  t.ReadChar();
  t.NextSymbol();
  while (t.Sy != symEndOfDoc) {
    ++symbols;
    t.NextSymbol();
  }
  return symbols;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 1.0;
  const std::string markup = makeMarkup(size_t(megabytes * 1024 * 1024));
  const double mb = markup.size() / (1024.0 * 1024.0);
  auto buffer = TBuffer::CreateFromBytes(markup.data(), markup.size(), u"bench.htm");
  buffer->SetCodePage(65001);
  size_t symbols = 0;
  double tokCpu = 0;
  const double tok = bestSeconds(30, [&] { symbols = tokenise(*buffer); }, &tokCpu);
  std::printf("tokenise %.2f MB of markup: %.2f ms (%.0f MB/s, %zu symbols; %.2f ms of processor "
              "time)\n",
              mb, tok * 1e3, mb / tok, symbols, tokCpu * 1e3);

  const std::string sheet = makeSheet(500);
  const String sheet16 = UTF8ToUTF16(sheet);
  size_t rules = 0;
  const double css = bestSeconds(20, [&] {
    TStyleList styles;
    auto b = TBuffer::CreateFromString(sheet16, u"bench.css");
    char16_t ch = u' ';
    ParseStyleSheet(styles, ch, *b, u"/base", true);
    rules = size_t(styles.Count());
  });
  const double sheetMb = sheet.size() / (1024.0 * 1024.0);
  std::printf("read a 500-rule style sheet (%zu bytes, %zu keys): %.3f ms (%.1f MB/s)\n",
              sheet.size(), rules, css * 1e3, sheetMb / css);

  if (argc > 2 && std::string(argv[2]) == "alone") return 0;  // no reference figures
  NullContainer container;
  litehtml::context context;
  context.load_master_stylesheet(_t("html { display: block } body { display: block }"));
  const double lite = bestSeconds(3, [&] {
    litehtml::document::createFromString(markup.c_str(), &container, &context);
  });
  std::printf("litehtml: build a document from the same markup: %.2f ms (%.0f MB/s); "
              "tokeniser is %.1fx faster\n",
              lite * 1e3, mb / lite, lite / tok);
  const std::string styled = "<html><head><style>" + sheet + "</style></head><body></body></html>";
  const double liteCss = bestSeconds(5, [&] {
    litehtml::document::createFromString(styled.c_str(), &container, &context);
  });
  std::printf("litehtml: a page with the same style sheet: %.3f ms (%.1f MB/s); "
              "reader is %.1fx faster\n",
              liteCss * 1e3, sheetMb / liteCss, liteCss / css);
  return 0;
}
