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

#include "html/parse/html_tokenizer.h"
#include "html/parse/style_parser.h"
#include "platform/core/strings.h"

namespace {

using Clock = std::chrono::steady_clock;

// Articles as dictionaries hold them: headword, transcription, grammar
// labels, numbered senses, Cyrillic translations, links, examples.
std::string makeMarkup(size_t bytes) {
  static const char* const article =
      "<div class=\"article\"><p class=\"hw\"><b>abandon</b> [\xC9\x99\xCB\x88"
      "b\xC3\xA6nd\xC9\x99n] <i>v.</i></p>\n"
      "<p class=\"sense\">1) \xD0\xBF\xD0\xBE\xD0\xBA\xD0\xB8\xD0\xB4\xD0\xB0\xD1\x82\xD1\x8C, "
      "\xD0\xB1\xD1\x80\xD0\xBE\xD1\x81\xD0\xB0\xD1\x82\xD1\x8C; <a href=\"entry://desert\">"
      "desert</a> &amp; <a href=\"entry://leave\">leave</a></p>\n"
      "<p class=\"ex\" style=\"color:#800000; margin-left:20px\"><span>to abandon a ship</span> "
      "&mdash; \xD0\xBF\xD0\xBE\xD0\xBA\xD0\xB8\xD0\xBD\xD1\x83\xD1\x82\xD1\x8C "
      "\xD1\x81\xD1\x83\xD0\xB4\xD0\xBD\xD0\xBE<br>\r\n"
      "2) \xD0\xBE\xD1\x82\xD0\xBA\xD0\xB0\xD0\xB7\xD1\x8B\xD0\xB2\xD0\xB0\xD1\x82\xD1\x8C\xD1\x81"
      "\xD1\x8F (<i>from</i> &#8212; \xD0\xBE\xD1\x82)&nbsp;<font color=green size=2>"
      "\xD1\x80\xD0\xB0\xD0\xB7\xD0\xB3.</font></p><!-- sense end -->\n"
      "<table border=0 width=100%><tr><td valign=top>abandoned</td><td>"
      "\xD0\xBF\xD0\xBE\xD0\xBA\xD0\xB8\xD0\xBD\xD1\x83\xD1\x82\xD1\x8B\xD0\xB9</td></tr></table>"
      "</div>\n";
  std::string s = "<html><head><title>t</title></head><body>\n";
  while (s.size() < bytes) s += article;
  s += "</body></html>\n";
  return s;
}

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

double threadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
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

// The least litehtml needs to build a document: no drawing, fixed metrics.
class NullContainer : public litehtml::document_container {
public:
  litehtml::uint_ptr create_font(const litehtml::tchar_t*, int size, int, litehtml::font_style,
                                 unsigned int, litehtml::font_metrics* fm) override {
    if (fm) {
      fm->height = size;
      fm->ascent = size * 4 / 5;
      fm->descent = size - fm->ascent;
      fm->x_height = size / 2;
      fm->draw_spaces = true;
    }
    return 1;
  }
  void delete_font(litehtml::uint_ptr) override {}
  int text_width(const litehtml::tchar_t* text, litehtml::uint_ptr) override {
    return int(std::char_traits<litehtml::tchar_t>::length(text)) * 7;
  }
  void draw_text(litehtml::uint_ptr, const litehtml::tchar_t*, litehtml::uint_ptr,
                 litehtml::web_color, const litehtml::position&) override {}
  int pt_to_px(int pt) const override { return pt * 96 / 72; }
  int get_default_font_size() const override { return 16; }
  const litehtml::tchar_t* get_default_font_name() const override { return _t("sans"); }
  void draw_list_marker(litehtml::uint_ptr, const litehtml::list_marker&) override {}
  void load_image(const litehtml::tchar_t*, const litehtml::tchar_t*, bool) override {}
  void get_image_size(const litehtml::tchar_t*, const litehtml::tchar_t*,
                      litehtml::size& sz) override {
    sz.width = sz.height = 0;
  }
  void draw_background(litehtml::uint_ptr, const litehtml::background_paint&) override {}
  void draw_borders(litehtml::uint_ptr, const litehtml::borders&, const litehtml::position&,
                    bool) override {}
  void set_caption(const litehtml::tchar_t*) override {}
  void set_base_url(const litehtml::tchar_t*) override {}
  void link(const std::shared_ptr<litehtml::document>&, const litehtml::element::ptr&) override {}
  void on_anchor_click(const litehtml::tchar_t*, const litehtml::element::ptr&) override {}
  void set_cursor(const litehtml::tchar_t*) override {}
  void transform_text(litehtml::tstring&, litehtml::text_transform) override {}
  void import_css(litehtml::tstring&, const litehtml::tstring&, litehtml::tstring&) override {}
  void set_clip(const litehtml::position&, const litehtml::border_radiuses&, bool, bool) override {}
  void del_clip() override {}
  void get_client_rect(litehtml::position& client) const override {
    client = litehtml::position(0, 0, 800, 600);
  }
  std::shared_ptr<litehtml::element> create_element(const litehtml::tchar_t*,
                                                    const litehtml::string_map&,
                                                    const std::shared_ptr<litehtml::document>&) override {
    return nullptr;
  }
  void get_media_features(litehtml::media_features& media) const override {
    media.type = litehtml::media_type_screen;
    media.width = media.device_width = 800;
    media.height = media.device_height = 600;
    media.color = 8;
    media.resolution = 96;
  }
  void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override {
    language = _t("en");
    culture.clear();
  }
};

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
