// The viewer control from LoadFromString to the first paint of a typical
// dictionary article (into the window's backing store, as on screen), and
// the load of a 1 MB page, each beside litehtml parsing and laying out the
// same page at the same width with text measured by the same fonts. Prints
// the median (article) and the best (1 MB page) times and their ratios.
// Runs offscreen.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "bench/common/viewer_pages.h"
#include "html/viewer/html_view.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/font.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"

#ifdef TAMRIX_BENCH_LITEHTML
#include <litehtml.h>
#endif

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

double msOf(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// What the program does to show a page: load it, then let the event loop
// run once, which paints what changed (the page and the scroll bars it
// shows or moves) into the window's backing store.
void showPage(THtmlView* view, const String& page) {
  view->LoadFromString(page, String(), HtmlType);
  Application->HandleMessage();
}

// Whether the last showPage painted all it had to: a figure of a page that
// was never painted would be no figure.
bool painted(THtmlView* view) { return !GetUpdateRect(view->PaintPanel()->Handle(), nullptr, false); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A line in the faces pages name most, put under the heading: their
// stand-ins carry Cyrillic and IPA outside the Latin pages.
std::string withNamedFaces(std::string page, const char* phonetic, const char* serif, const char* sans) {
  page.insert(page.find("</h1>") + 5, std::string("<P><FONT face=\"Lucida Sans Unicode\">") + phonetic +
                                          "</FONT> <FONT face=\"Times New Roman\">" + serif +
                                          "</FONT> <FONT face=\"Tahoma\">" + sans + "</FONT></P>");
  return page;
}

// The same article in plain English with the same faces: the first page a
// fresh process shows needs no character outside the Latin pages of its
// fonts.
std::string asciiArticlePage() {
  std::string body;
  const char* senses[] = {
      "<B>1)</B> <I>noun</I> a building for people to live in; a home; <FONT style=\"font-family: DejaVu Sans\">[haus]</FONT>",
      "<B>2)</B> a family, a line; a dynasty; <U>the House of Windsor</U> - the royal line",
      "<B>3)</B> a chamber (of parliament); <A href=\"#chamber\">chamber</A>, <A href=\"#assembly\">assembly</A>",
      "<BR><BR>* <I>verb</I> 1) to give a home to; to lodge 2) to keep, to store",
  };
  for (int i = 0; i < 24; ++i) body += std::string(senses[i % 4]) + " ";
  return withNamedFaces("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" /></head>"
                        "<body bgcolor=\"#FFFFFF\" style=\"margin-right: 20px; margin-bottom: 20px; color: #000000; "
                        "font-family: DejaVu Serif; font-size: 12pt\"><h1>house</h1>" +
                            body + "</body></html>",
                        "[haus] [hauziz] s z t d n o e a", "house, home", "building");
}

std::string cyrillicIpaPage() {
  return withNamedFaces(benchpages::articlePage(), "[ˈhaʊzɪz] [haʊs] ʃ ʒ θ ð ŋ ɔː ɜː ə", "дом, жилище", "здание");
}

// How much of the program's start-up font warm-up comes before the first
// page: none, started at start-up but still running (a look-up typed at
// once), or finished (a look-up well after start-up).
enum class WarmUp { None, Running, Finished };

// LoadFromString -> first paint of one page in a fresh process (a child
// forked before anything of the window system is set up), with as much of
// the start-up warm-up as asked. The child writes its time to a pipe; -1
// means it failed.
double freshProcessMs(const std::string& page, WarmUp warm) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    close(fds[0]);
    Application->Initialize();
    if (warm != WarmUp::None) WarmUpFontData();
    if (warm == WarmUp::Finished) WaitForFontWarmUp();
    auto form = std::make_unique<TForm>(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, kWidth, kHeight);
    auto* view = new THtmlView(form.get());
    view->SetParent(form.get());
    view->SetBorderStyle(htNone);
    view->SetBounds(0, 0, kWidth, kHeight);
    form->Show();
    Application->ProcessMessages();
    const String text = UTF8ToUTF16(page);
    const double ms = msOf([&] { showPage(view, text); });
    const ssize_t n = write(fds[1], &ms, sizeof ms);
    _exit(n == sizeof ms ? 0 : 1);
  }
  close(fds[1]);
  double ms = -1;
  if (read(fds[0], &ms, sizeof ms) != sizeof ms) ms = -1;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return ms;
}

// The first page in a fresh process, ASCII against Cyrillic and IPA,
// without the start-up warm-up, while it still runs and after it has
// ended; best of several processes each.
void firstPageFigures() {
  const std::string ascii = asciiArticlePage(), cyr = cyrillicIpaPage();
  for (WarmUp warm : {WarmUp::None, WarmUp::Running, WarmUp::Finished}) {
    double a = 1e300, c = 1e300;
    for (int i = 0; i < 11; ++i) {
      const double x = freshProcessMs(ascii, warm), y = freshProcessMs(cyr, warm);
      if (x >= 0) a = std::min(a, x);
      if (y >= 0) c = std::min(c, y);
    }
    std::printf("first page in a fresh process%s: ASCII %.2f ms, Cyrillic+IPA %.2f ms (%.2f ms more)\n",
                warm == WarmUp::None      ? ", no warm-up"
                : warm == WarmUp::Running ? " while the start-up warm-up runs"
                                          : " after the start-up warm-up ended",
                a, c, c - a);
    std::fflush(stdout);
  }
}

#ifdef TAMRIX_BENCH_LITEHTML
// litehtml's side of the seam, measuring text with the program's own fonts
// so that both engines pay for the same text measuring.
class Container : public litehtml::document_container {
public:
  Container() { FCanvas.Font()->SetName(u"DejaVu Serif"); }

  litehtml::uint_ptr create_font(const litehtml::tchar_t* faceName, int size, int weight,
                                 litehtml::font_style italic, unsigned int, litehtml::font_metrics* fm) override {
    auto* f = new TFont();
    f->SetName(UTF8ToUTF16(faceName && *faceName ? faceName : "DejaVu Serif"));
    f->SetHeight(-size);
    TFontStyles st;
    if (weight >= 600) st.Include(fsBold);
    if (italic == litehtml::fontStyleItalic) st.Include(fsItalic);
    f->SetStyle(st);
    FCanvas.Font()->Assign(*f);
    if (fm) {
      const int h = FCanvas.TextHeight(u"Xg");
      fm->height = h;
      fm->ascent = h * 4 / 5;
      fm->descent = h - fm->ascent;
      fm->x_height = h / 2;
    }
    return reinterpret_cast<litehtml::uint_ptr>(f);
  }
  void delete_font(litehtml::uint_ptr h) override { delete reinterpret_cast<TFont*>(h); }
  int text_width(const litehtml::tchar_t* text, litehtml::uint_ptr h) override {
    FCanvas.Font()->Assign(*reinterpret_cast<TFont*>(h));
    return FCanvas.TextWidth(UTF8ToUTF16(text));
  }
  void draw_text(litehtml::uint_ptr, const litehtml::tchar_t*, litehtml::uint_ptr, litehtml::web_color,
                 const litehtml::position&) override {}
  int pt_to_px(int pt) const override { return pt * 96 / 72; }
  int get_default_font_size() const override { return 16; }
  const litehtml::tchar_t* get_default_font_name() const override { return "DejaVu Serif"; }
  void draw_list_marker(litehtml::uint_ptr, const litehtml::list_marker&) override {}
  void load_image(const litehtml::tchar_t*, const litehtml::tchar_t*, bool) override {}
  void get_image_size(const litehtml::tchar_t*, const litehtml::tchar_t*, litehtml::size& sz) override {
    sz.width = sz.height = 0;
  }
  void draw_background(litehtml::uint_ptr, const litehtml::background_paint&) override {}
  void draw_borders(litehtml::uint_ptr, const litehtml::borders&, const litehtml::position&, bool) override {}
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
    client.x = client.y = 0;
    client.width = kWidth;
    client.height = kHeight;
  }
  std::shared_ptr<litehtml::element> create_element(const litehtml::tchar_t*, const litehtml::string_map&,
                                                    const std::shared_ptr<litehtml::document>&) override {
    return nullptr;
  }
  void get_media_features(litehtml::media_features& media) const override {
    media.type = litehtml::media_type_screen;
    media.width = media.device_width = kWidth;
    media.height = media.device_height = kHeight;
    media.color = 8;
    media.monochrome = 0;
    media.color_index = 256;
    media.resolution = 96;
  }
  void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override {
    language = "en";
    culture.clear();
  }

private:
  TCanvas FCanvas;
};

// The block and list display rules a page needs; litehtml's own default
// style sheet ships with its sources, not with the library.
const char* kMasterCss =
    "html,body,div,p,h1,h2,h3,ul,ol,li,table,form,blockquote,pre{display:block}"
    "head,meta,title,style,script{display:none}li{display:list-item}"
    "body{margin:8px}p{margin:1em 0}h1{font-size:2em;font-weight:bold;margin:.67em 0}"
    "b,strong{font-weight:bold}i,em{font-style:italic}a{color:blue;text-decoration:underline}"
    "br{display:block}";

double litehtmlLayout(litehtml::context& ctx, const std::string& page) {
  Container c;
  return msOf([&] {
    auto doc = litehtml::document::createFromUTF8(page.c_str(), &c, &ctx);
    doc->render(kWidth - 16);
  });
}
#endif

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  firstPageFigures();  // before this process sets anything up
  Application->Initialize();
  auto form = std::make_unique<TForm>(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, kWidth, kHeight);
  auto* view = new THtmlView(form.get());
  view->SetParent(form.get());
  view->SetBorderStyle(htNone);
  view->SetBounds(0, 0, kWidth, kHeight);
  form->Show();
  Application->ProcessMessages();

  const String article = UTF8ToUTF16(benchpages::articlePage());
  const String big = UTF8ToUTF16(benchpages::bigPage());
  // The page shown before each article: a one-line one, so that every
  // article has its scroll bar shown and painted anew, as a look-up that
  // follows another shows it.
  const String before = UTF8ToUTF16(benchpages::shortPage());

#ifdef TAMRIX_BENCH_LITEHTML
  litehtml::context ctx;
  ctx.load_master_stylesheet(kMasterCss);
#endif

  std::vector<double> ours, peer;
  int unpainted = 0;
  for (int i = 0; i < 41; ++i) {
    showPage(view, before);
    ours.push_back(msOf([&] { showPage(view, article); }));
    if (!painted(view)) ++unpainted;
#ifdef TAMRIX_BENCH_LITEHTML
    peer.push_back(litehtmlLayout(ctx, benchpages::articlePage()));
#endif
  }
  std::printf("article (%zu chars) LoadFromString -> first paint: median %.3f ms\n", article.size(),
              median(ours));
  if (unpainted > 0) std::printf("  NOT A FIGURE: %d of the loads were not painted at once\n", unpainted);
#ifdef TAMRIX_BENCH_LITEHTML
  std::printf("  litehtml parse + layout of the same page:        median %.3f ms  (ratio %.2f)\n",
              median(peer), median(ours) / median(peer));
#else
  std::printf("  litehtml not installed: no peer figure\n");
#endif

  // Painting the top 1200 px of a laid-out article longer than that (the
  // part a tall window shows first) into a bitmap.
  {
    view->LoadFromString(UTF8ToUTF16(benchpages::articlePage(96)), String(), HtmlType);
    TBitmap bmp;
    bmp.SetSize(kWidth, 1200);
    double best = 1e300;
    for (int i = 0; i < 50; ++i)
      best = std::min(best, msOf([&] { view->PaintDocument(bmp.Canvas(), TRect(0, 0, kWidth, 1200)); }));
    std::printf("painting the first 1200 px of an article (document height %d px): best %.3f ms\n",
                view->DocumentHeight(), best);
  }

  double bigOurs = 1e300, bigPeer = 1e300;
  for (int i = 0; i < 3; ++i) {
    bigOurs = std::min(bigOurs, msOf([&] { view->LoadFromString(big, String(), HtmlType); }));
#ifdef TAMRIX_BENCH_LITEHTML
    bigPeer = std::min(bigPeer, litehtmlLayout(ctx, benchpages::bigPage()));
#endif
  }
  std::printf("1 MB page (%zu chars) load -> laid out: best %.1f ms, document height %d px\n", big.size(),
              bigOurs, view->DocumentHeight());
#ifdef TAMRIX_BENCH_LITEHTML
  std::printf("  litehtml parse + layout of the same page:     best %.1f ms  (ratio %.2f)\n", bigPeer,
              bigOurs / bigPeer);
#endif
  form.reset();
  return 0;
}
