// The viewer control on a real (offscreen) window: loading from strings and
// files, links under the mouse and clicked, keys and the wheel, selection by
// mouse, double click and program, the clipboard, image requests answered
// with streams, and pages painted into pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "html/parse/source_buffer.h"
#include "html/model/document.h"
#include "html/model/font_runs.h"
#include "html/viewer/html_view.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"

namespace {

namespace fs = std::filesystem;

void pump(int times = 5) {
  for (int i = 0; i < times; ++i) Application->ProcessMessages();
}

struct Viewer : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, 400, 300);
    View = new THtmlView(Form);
    View->SetParent(Form);
    View->SetBorderStyle(htNone);
    View->SetDefFontName(u"DejaVu Serif");
    View->SetBounds(0, 0, 400, 300);
    Form->Show();
    pump();
    Dir = fs::temp_directory_path() / ("tamrix-viewer-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override {
    ReleaseCapture();
    delete Form;
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }

  HWND panel() { return View->PaintPanel()->Handle(); }
  void move(int x, int y, TShiftState held = {}) { InjectMouse(panel(), imMove, mbLeft, {x, y}, {}, held); }
  void click(int x, int y, TShiftState shift = {}) {
    InjectMouse(panel(), imDown, mbLeft, {x, y}, shift);
    InjectMouse(panel(), imUp, mbLeft, {x, y}, shift);
  }
  void key(UINT vk, TShiftState shift = {}) { InjectKeyStroke(View->Handle(), vk, shift, String()); }
  String write(const std::string& name, const std::string& bytes) {
    std::ofstream(Dir / name, std::ios::binary) << bytes;
    return UTF8ToUTF16((Dir / name).string());
  }
  // The panel point of a document character (its left edge, mid line).
  TPoint pointOf(int pos) {
    int x = 0, y = 0;
    EXPECT_TRUE(View->Document()->CursorToXY(View->PaintPanel()->Canvas(), pos, x, y));
    // Positions come back where the character was painted (sideways
    // scroll included).
    return TPoint{x + 2, y - View->Document()->ScrollY + 4};
  }
  TPoint linkPoint(int index = 0) {
    auto& links = View->Document()->Links;
    EXPECT_GT(int(links.size()), index);
    // Link records keep source positions.
    return pointOf(View->Document()->FindDocPos(links[size_t(index)]->UrlTarget()->Start, false));
  }
  // The window as painted now; pixel() reads it as 0xRRGGBB.
  void grab() { ASSERT_TRUE(GrabWindow(View, Pixels, GrabW, GrabH)); }
  std::uint32_t pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= GrabW || y >= GrabH) return 0;
    return Pixels[size_t(y) * size_t(GrabW) + size_t(x)] & 0xFFFFFF;
  }
  std::vector<std::uint32_t> Pixels;
  int GrabW = 0, GrabH = 0;

  TForm* Form = nullptr;
  THtmlView* View = nullptr;
  fs::path Dir;
};

std::string tallPage(int paragraphs, const std::string& extra = std::string()) {
  std::string s = "<html><head><title>Tall</title></head><body>" + extra;
  for (int i = 0; i < paragraphs; ++i) s += "<p>Line number " + std::to_string(i) + " of the page.</p>";
  return s + "<p><a name=\"end\">The end</a></p></body></html>";
}

// ---- loading ---------------------------------------------------------------

TEST_F(Viewer, PagesLoadFromStringsWithTheirTitleSourceAndHeight) {
  std::vector<std::string> order;
  View->OnProcessing = [&](TObject*, bool on) { order.push_back(on ? "processing" : "idle"); };
  View->OnParseEnd = [&](TObject*) { order.push_back("parsed"); };
  const String page = u"<html><head><title>Слово</title></head><body><p>Привет, мир</p></body></html>";
  View->LoadFromString(page);
  EXPECT_EQ(View->DocumentTitle(), u"Слово");
  EXPECT_EQ(View->GetDocumentSource(), page);
  EXPECT_TRUE(View->CurrentFile().empty());
  EXPECT_GT(View->DocumentHeight(), 0);
  EXPECT_EQ(order, (std::vector<std::string>{"processing", "parsed", "idle"}));

  // A second string starts at the top again.
  View->LoadFromString(UTF8ToUTF16(tallPage(80)));
  ASSERT_GT(View->DocumentHeight(), View->PaintPanel()->Height());
  View->SetVScrollPos(200);
  View->LoadFromString(UTF8ToUTF16(tallPage(81)));
  EXPECT_EQ(View->GetVScrollPos(), 0);

  // A load from a handler of the running load is ignored.
  View->OnParseEnd = [&](TObject*) { View->LoadFromString(u"<p>nested</p>"); };
  View->LoadFromString(u"<p>outer</p>");
  View->SelectAll();
  EXPECT_EQ(View->GetSelText(), u"outer");

  EXPECT_THROW(View->LoadFromString(u"x", String(), ImgType), EhtException);
}

TEST_F(Viewer, FilesLoadWithRelativeLinksAndMissingFilesLeaveThePageAlone) {
  const String first = write("first.html", "<html><head><title>First</title></head><body>"
                                           "<p><a href=\"second.html#bottom\">next</a></p></body></html>");
  std::string second = tallPage(60, "<p>Second</p>");
  second.replace(second.find("name=\"end\""), 10, "name=\"bottom\"");
  write("second.html", second);
  View->LoadFromFile(first);
  EXPECT_EQ(View->DocumentTitle(), u"First");
  EXPECT_EQ(View->CurrentFile(), first);

  String clicked;
  View->OnHotSpotClick = [&](TObject*, const String& src, bool&) { clicked = src; };
  const TPoint p = linkPoint();
  click(p.x, p.y);
  EXPECT_EQ(clicked, u"second.html#bottom");
  EXPECT_EQ(ExtractFileName(View->CurrentFile()), u"second.html");
  EXPECT_GT(View->GetVScrollPos(), 0);  // the anchor is far down the page

  const String before = View->CurrentFile();
  EXPECT_THROW(View->LoadFromFile(UTF8ToUTF16((Dir / "missing.html").string())), EhtLoadError);
  EXPECT_EQ(View->CurrentFile(), before);
  EXPECT_EQ(View->DocumentTitle(), u"Tall");
}

// A page or style sheet named by a pipe would block the load for good.
TEST_F(Viewer, PipesAreNeitherPagesNorStyleSheets) {
  const std::string pipe = (Dir / "pipe.css").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const String page = write("piped.html", "<html><head><link rel=stylesheet href=\"pipe.css\">"
                                          "<title>Piped</title></head><body><p>text</p></body></html>");
  View->LoadFromFile(page);
  EXPECT_EQ(View->DocumentTitle(), u"Piped");
  EXPECT_THROW(View->LoadFromFile(UTF8ToUTF16(pipe)), EhtLoadError);
  EXPECT_EQ(View->DocumentTitle(), u"Piped");
}

// ---- links -------------------------------------------------------------------

TEST_F(Viewer, LinksShowTheHandReportHoverAndClicksRespectHandled) {
  View->LoadFromString(UTF8ToUTF16(tallPage(60, "<p>Go <a href=\"#end\">down</a> or <a href=\"word\">search</a></p>")));
  std::vector<String> covered;
  View->OnHotSpotCovered = [&](TObject*, const String& src) { covered.push_back(src); };
  const TPoint down = linkPoint(0);
  move(down.x, down.y);
  EXPECT_EQ(View->PaintPanel()->Cursor(), HandCursor);
  EXPECT_EQ(View->LinkUnderMouse(), u"#end");
  move(down.x, 250);  // over plain page, no link
  EXPECT_NE(View->PaintPanel()->Cursor(), HandCursor);
  EXPECT_EQ(covered, (std::vector<String>{u"#end", u""}));

  // Handled: nothing else happens.
  bool handle = true;
  std::vector<String> clicks;
  View->OnHotSpotClick = [&](TObject*, const String& src, bool& handled) {
    clicks.push_back(src);
    handled = handle;
  };
  const TPoint search = linkPoint(1);
  click(search.x, search.y);
  ASSERT_FALSE(clicks.empty());
  EXPECT_EQ(clicks.back(), u"word");
  click(down.x, down.y);
  EXPECT_EQ(View->GetVScrollPos(), 0);
  // Not handled: the anchor scrolls the page.
  handle = false;
  click(down.x, down.y);
  EXPECT_GT(View->GetVScrollPos(), 0);
  EXPECT_EQ(clicks.size(), 3u);
}

TEST_F(Viewer, RightClickReportsTheLinkAndTheWordUnderTheMouse) {
  View->LoadFromString(u"<p>Привет <a href=\"x.html\">ссылка</a></p>");
  TRightClickParameters seen;
  int calls = 0;
  View->OnRightClick = [&](TObject*, TRightClickParameters* p) {
    ++calls;
    seen.URL = p->URL;
    seen.ClickWord = p->ClickWord;
  };
  const TPoint word = pointOf(1);
  InjectMouse(panel(), imDown, mbRight, word, {});
  InjectMouse(panel(), imUp, mbRight, word, {});
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen.ClickWord, u"Привет");
  EXPECT_TRUE(seen.URL.empty());
  const TPoint link = linkPoint();
  InjectMouse(panel(), imDown, mbRight, link, {});
  InjectMouse(panel(), imUp, mbRight, link, {});
  EXPECT_EQ(seen.URL, u"x.html");
}

// ---- keys and wheel --------------------------------------------------------------

// With the page scrolled sideways, the link under the mouse is the one
// painted there.
TEST_F(Viewer, LinksOfAPageScrolledSidewaysAreHitWhereTheyArePainted) {
  std::string wide = "<pre>" + std::string(150, 'x') + " <a href=\"far\">far</a></pre>";
  View->LoadFromString(UTF8ToUTF16("<html><body>" + wide + "</body></html>"));
  pump();
  ASSERT_GT(View->HScrollBar()->Max(), View->PaintPanel()->Width());
  for (int i = 0; i < 400 && View->HScrollPos() < View->HScrollBar()->Max() - View->PaintPanel()->Width(); ++i)
    key(VK_RIGHT);
  ASSERT_GT(View->HScrollPos(), 0);
  grab();  // paints the scrolled page
  std::vector<String> clicks;
  View->OnHotSpotClick = [&](TObject*, const String& src, bool& handled) {
    clicks.push_back(src);
    handled = true;
  };
  const TPoint far = linkPoint(0);
  ASSERT_GE(far.x, 0);
  ASSERT_LT(far.x, View->PaintPanel()->Width());
  click(far.x, far.y);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0], u"far");
}

TEST_F(Viewer, KeysScrollByLinesPagesAndToTheEnds) {
  View->LoadFromString(UTF8ToUTF16(tallPage(100)));
  const int bottom = View->DocumentHeight() - View->PaintPanel()->Height();
  ASSERT_GT(bottom, 100);
  key(VK_DOWN);
  EXPECT_EQ(View->GetVScrollPos(), 16);
  key(VK_NEXT);
  EXPECT_EQ(View->GetVScrollPos(), 16 + View->VScrollBar()->LargeChange());
  key(VK_SPACE, {ssShift});
  EXPECT_EQ(View->GetVScrollPos(), 16);
  key(VK_END);  // End alone does nothing
  EXPECT_EQ(View->GetVScrollPos(), 16);
  key(VK_END, {ssCtrl});
  EXPECT_EQ(View->GetVScrollPos(), bottom);
  EXPECT_EQ(View->Document()->ScrollY, bottom);
  key(VK_DOWN);
  EXPECT_EQ(View->GetVScrollPos(), bottom);
  key(VK_HOME, {ssCtrl});
  EXPECT_EQ(View->GetVScrollPos(), 0);
  key(VK_UP);
  EXPECT_EQ(View->GetVScrollPos(), 0);

  // A page shorter than the panel never scrolls.
  View->LoadFromString(u"<p>short</p>");
  key(VK_NEXT);
  key(VK_END, {ssCtrl});
  EXPECT_EQ(View->GetVScrollPos(), 0);
}

// Links get their tab stops with the page but their hidden windows only
// when Tab reaches them; the order is the page's, form fields included.
TEST_F(Viewer, TabWalksTheLinksAndFieldsInPageOrderMakingWindowsOnlyWhenReached) {
  View->LoadFromString(u"<p><a href=\"#one\">one</a> and <a href=\"#two\">two</a></p>"
                       u"<form><input name=q></form><p><a href=\"#three\">three</a></p>");
  ThtDocument* doc = View->Document();
  ASSERT_EQ(doc->Links.size(), 3u);
  for (TFontObj* link : doc->Links) {
    ASSERT_TRUE(link->TabControl());
    EXPECT_FALSE(link->TabControl()->HandleAllocated());
  }
  View->SetFocus();
  pump();
  auto focusedLink = [&]() -> int {
    for (size_t i = 0; i < doc->Links.size(); ++i)
      if (doc->Links[i]->TabControl()->Focused()) return int(i);
    return -1;
  };
  auto tab = [&](TShiftState shift = {}) {
    InjectKeyStroke(GetFocus(), VK_TAB, shift, String());
    pump();
  };
  tab();
  EXPECT_EQ(focusedLink(), 0);
  EXPECT_TRUE(doc->Links[0]->Active());
  EXPECT_FALSE(doc->Links[2]->TabControl()->HandleAllocated()) << "a link not reached has no window";
  tab();
  EXPECT_EQ(focusedLink(), 1);
  EXPECT_FALSE(doc->Links[0]->Active());
  tab();
  EXPECT_EQ(focusedLink(), -1) << "the field comes between the second and the third link";
  tab();
  EXPECT_EQ(focusedLink(), 2);
  tab({ssShift});
  tab({ssShift});
  EXPECT_EQ(focusedLink(), 1);
}

// A link reached by Tab is followed with Enter; the keys it has no use for
// scroll the page as they do without it; a clicked link takes the focus
// without the page jumping.
TEST_F(Viewer, AFocusedLinkFollowsOnEnterAndLetsTheScrollKeysThrough) {
  View->LoadFromString(UTF8ToUTF16(tallPage(80, "<p><a href=\"first.htm\">first</a> <a href=\"second.htm\">second</a></p>")));
  ThtDocument* doc = View->Document();
  ASSERT_EQ(doc->Links.size(), 2u);
  std::vector<String> followed;
  View->OnHotSpotClick = [&](TObject*, const String& URL, bool& Handled) {
    followed.push_back(URL);
    Handled = true;
  };
  View->SetFocus();
  pump();
  // The key comes up where the focus went, as on a real keyboard.
  InjectKey(GetFocus(), VK_TAB, {}, String());
  InjectKey(GetFocus(), VK_TAB, {}, String(), true);
  pump();
  ASSERT_TRUE(doc->Links[0]->TabControl()->Focused());
  InjectKeyStroke(GetFocus(), VK_RETURN, {}, String());
  pump();
  EXPECT_EQ(followed, std::vector<String>{u"first.htm"});

  const int SC = View->VScrollBar()->SmallChange(), LC = View->VScrollBar()->LargeChange();
  InjectKeyStroke(GetFocus(), VK_DOWN, {}, String());
  pump();
  EXPECT_EQ(View->GetVScrollPos(), SC);
  InjectKeyStroke(GetFocus(), VK_NEXT, {}, String());
  pump();
  EXPECT_EQ(View->GetVScrollPos(), SC + LC);
  InjectKeyStroke(GetFocus(), VK_SPACE, {}, String());
  pump();
  EXPECT_EQ(View->GetVScrollPos(), SC + 2 * LC);
  EXPECT_TRUE(doc->Links[0]->TabControl()->Focused()) << "the scroll keys leave the focus where it was";

  View->SetVScrollPos(0);
  pump();
  const TPoint second = linkPoint(1);
  View->SetVScrollPos(3);
  pump();
  click(second.x, second.y - 3);
  pump();
  EXPECT_EQ(followed.size(), 2u);
  EXPECT_TRUE(doc->Links[1]->TabControl()->Focused()) << "a clicked link has the focus";
  EXPECT_EQ(View->GetVScrollPos(), 3) << "taking the focus by a click does not scroll";
  InjectKeyStroke(GetFocus(), VK_RETURN, {}, String());
  pump();
  ASSERT_EQ(followed.size(), 3u);
  EXPECT_EQ(followed[2], u"second.htm");
}

TEST_F(Viewer, WheelScrollsInProportionToTheDeltaWithinTheDocument) {
  View->LoadFromString(UTF8ToUTF16(tallPage(100)));
  UINT lines = 3;
  SystemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  const int notch = int(lines) * 16;
  const TPoint mid{100, 100};
  InjectWheel(panel(), mid, -120, {});
  EXPECT_EQ(View->GetVScrollPos(), notch);
  InjectWheel(panel(), mid, -240, {});  // two notches at once scroll twice as far
  EXPECT_EQ(View->GetVScrollPos(), 3 * notch);
  // A touchpad's small deltas add up to the same distance as a notch.
  for (int i = 0; i < 4; ++i) InjectWheel(panel(), mid, -30, {});
  EXPECT_EQ(View->GetVScrollPos(), 4 * notch);
  for (int i = 0; i < 20; ++i) InjectWheel(panel(), mid, 1200, {});
  EXPECT_EQ(View->GetVScrollPos(), 0);
  for (int i = 0; i < 200; ++i) InjectWheel(panel(), mid, -1200, {});
  EXPECT_EQ(View->GetVScrollPos(), View->DocumentHeight() - View->PaintPanel()->Height());

  View->SetHtOptions(View->HtOptions() + THtmlViewOptions{htNoWheelMouse});
  int fired = 0;
  View->OnMouseWheel = [&](TObject*, TShiftState, int, TPoint, bool&) { ++fired; };
  const int at = View->GetVScrollPos();
  InjectWheel(panel(), mid, 120, {});
  EXPECT_EQ(View->GetVScrollPos(), at);
  EXPECT_EQ(fired, 1);
}

// ---- positions ---------------------------------------------------------------------

TEST_F(Viewer, PositionsOfABigPageSurviveARelayoutAndNeverWrap) {
  // About a megabyte: far more than 65535 pixels high.
  std::string s = "<html><body>";
  while (s.size() < 1024 * 1024) s += "<p>Съешь же ещё этих мягких французских булок, да выпей чаю.</p>";
  View->LoadFromString(UTF8ToUTF16(s + "</body></html>"));
  ASSERT_GT(View->DocumentHeight(), 200000);
  const int target = View->DocumentHeight() - 5000;
  View->SetVScrollPos(target);
  const std::int32_t pos = View->Position();
  View->SetPosition(0);
  EXPECT_EQ(View->GetVScrollPos(), 0);
  View->SetPosition(pos);
  EXPECT_EQ(View->GetVScrollPos(), target);
}

// ---- selection and clipboard --------------------------------------------------------

TEST_F(Viewer, MouseDoubleClickAndSelectAllSelectAndCopyAsTextAndHtml) {
  View->LoadFromString(u"<html><head><title>t</title></head><body><p>Один два три</p><p>four five</p></body></html>");
  // Drag across the first paragraph.
  const TPoint a = pointOf(0), b = pointOf(8);
  InjectMouse(panel(), imDown, mbLeft, a, {});
  InjectMouse(panel(), imMove, mbLeft, b, {}, {ssLeft});
  InjectMouse(panel(), imUp, mbLeft, b, {});
  EXPECT_EQ(View->GetSelText(), u"Один два");

  // A double click selects the Cyrillic word under the mouse.
  int doubles = 0;
  View->OnMouseDouble = [&](TObject*, TMouseButton, TShiftState, int, int) { ++doubles; };
  const TPoint w = pointOf(6);
  InjectMouse(panel(), imDoubleClick, mbLeft, w, {});
  InjectMouse(panel(), imUp, mbLeft, w, {});
  EXPECT_EQ(View->GetSelText(), u"два");
  EXPECT_EQ(doubles, 1);

  View->SelectAll();
  const String all = View->GetSelText();
  EXPECT_NE(all.find(u"Один два три"), String::npos);
  EXPECT_NE(all.find(u"four five"), String::npos);

  View->CopyToClipboard();
  EXPECT_EQ(Clipboard()->AsText(), all);
  const RawByteString html = Clipboard()->GetBuffer(RegisterClipboardFormat(u"HTML Format"));
  const std::string rec(html.begin(), html.end());
  ASSERT_NE(rec.find("Version:1.0"), std::string::npos);
  const auto num = [&](const std::string& k) { return std::stoul(rec.substr(rec.find(k + ":") + k.size() + 1, 8)); };
  const std::string frag = rec.substr(num("StartFragment"), num("EndFragment") - num("StartFragment"));
  EXPECT_NE(frag.find("Один два три"), std::string::npos);
  EXPECT_NE(rec.find("SourceURL:unsaved:///THtmlView.htm"), std::string::npos);

  View->SetNoSelect(true);
  View->SelectAll();
  EXPECT_TRUE(View->GetSelText().empty());
}

// ---- images --------------------------------------------------------------------------

// A 24-bit BMP of one colour.
std::string solidBmp(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const int row = (w * 3 + 3) & ~3;
  const int size = 54 + row * h;
  std::string s(std::size_t(size), '\0');
  auto put32 = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[std::size_t(at + i)] = char((v >> (8 * i)) & 0xFF);
  };
  s[0] = 'B';
  s[1] = 'M';
  put32(2, std::uint32_t(size));
  put32(10, 54);
  put32(14, 40);
  put32(18, std::uint32_t(w));
  put32(22, std::uint32_t(h));
  s[26] = 1;
  s[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t at = 54 + std::size_t(y * row + x * 3);
      s[at] = char(b);
      s[at + 1] = char(g);
      s[at + 2] = char(r);
    }
  return s;
}

TEST_F(Viewer, ImageRequestsAnsweredWithStreamsAppearAndTheStreamStaysTheGivers) {
  TMemoryStream stream;
  const std::string bmp = solidBmp(40, 30, 0, 200, 0);
  stream.Write(bmp.data(), std::int64_t(bmp.size()));  // handed over unrewound, as the application does
  std::vector<String> asked;
  View->SetOnImageRequest([&](TObject*, const String& src, TStream*& s) {
    asked.push_back(src);
    if (src == u"*1/green.bmp") s = &stream;
  });
  View->LoadFromString(u"<html><body bgcolor=\"#FFFFFF\"><img src=\"*1/green.bmp\"></body></html>");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], u"*1/green.bmp");
  EXPECT_EQ(stream.Size(), std::int64_t(bmp.size()));  // still ours, still whole
  // The picture sits near the top left corner, inside the page margins.
  grab();
  bool green = false;
  for (int y = 0; y < 60 && !green; y += 2)
    for (int x = 0; x < 80 && !green; x += 2) green = pixel(x, y) == 0x00C800u;
  EXPECT_TRUE(green);
  SaveWindowImage(View, u"viewer_image_request.png");
}

// ---- painting ---------------------------------------------------------------------------

TEST_F(Viewer, TheDummyCaretFollowsTheClicks) {
  View->SetHtOptions(View->HtOptions() + THtmlViewOptions{htShowDummyCaret});
  View->LoadFromString(
      u"<html><body bgcolor=\"#FFFFFF\"><p style=\"font-size:24pt;color:#FF0000\">MMMM MMMM</p></body></html>");
  // Red pixels down the column where the text of a position starts.
  auto redColumn = [&](int pos) {
    const int x = pointOf(pos).x - 2;
    int n = 0;
    for (int y = 0; y < 80; ++y) n += pixel(x, y) == 0xFF0000u;
    return n;
  };
  click(pointOf(5).x, pointOf(5).y);
  pump();
  grab();
  const int bar = redColumn(5);
  EXPECT_GT(bar, 15) << "a caret bar before the second word";
  // The click itself asks for the repaint that moves the caret.
  ASSERT_FALSE(GetUpdateRect(panel(), nullptr, false));
  click(pointOf(2).x, pointOf(2).y);
  EXPECT_TRUE(GetUpdateRect(panel(), nullptr, false));
  pump();
  grab();
  EXPECT_LT(redColumn(5), bar / 2) << "the caret left with the next click";
  EXPECT_GT(redColumn(2), 15);
}

TEST_F(Viewer, RightToLeftAndCyrillicTextPaint) {
  View->LoadFromString(
      u"<html><body bgcolor=\"#FFFFFF\" text=\"#000000\">"
      u"<p>Съешь же ещё этих мягких французских булок</p>"
      u"<p dir=\"rtl\">שלום עולם — مرحبا بالعالم</p></body></html>");
  grab();
  int dark = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 390; ++x)
      if ((pixel(x, y) & 0xFF) < 0x80) ++dark;
  EXPECT_GT(dark, 200);
  SaveWindowImage(View, u"viewer_rtl_cyrillic.png");
}

}  // namespace
