// Text: font resolution and metrics, and the agreement between what is
// measured and what is drawn (extents, characters that fit, formatted
// text rectangles, ellipsis, justification, character extra).
#include <gtest/gtest.h>

#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "tests/platform/graphics_test_util.h"

namespace {

const String kMixed = u"Словарь dictionary, \u0401\u0436 WAVE fly";

void setFont(TCanvas* c, const String& name, int height, TFontStyles style = {}) {
  c->Font()->SetName(name);
  c->Font()->SetHeight(height);
  c->Font()->SetStyle(style);
  c->Font()->SetColor(clBlack);
  c->Brush()->SetStyle(bsClear);
}

}  // namespace

TEST(GraphicsFonts, WellKnownFacesResolveToInstalledFamilies) {
  EXPECT_TRUE(FontFamilyInstalled(u"Times New Roman"));
  EXPECT_TRUE(FontFamilyInstalled(u"courier new"));
  EXPECT_FALSE(FontFamilyInstalled(u"No Such Face 12345"));
  EXPECT_FALSE(FontFamilyInstalled(u""));
  String serif = ResolveFontFamily(u"Times New Roman");
  String mono = ResolveFontFamily(u"Courier New");
  EXPECT_FALSE(serif.empty());
  EXPECT_NE(serif, mono);
  EXPECT_TRUE(FontFamilyInstalled(serif));
  // The faces named with the " Cyr" suffix of older Cyrillic pages.
  EXPECT_TRUE(FontFamilyInstalled(u"Times New Roman Cyr"));
  EXPECT_EQ(ResolveFontFamily(u"Times New Roman Cyr"), serif);
  EXPECT_EQ(ResolveFontFamily(u"Courier New CYR"), mono);

  // A fixed-pitch stand-in really is fixed pitch.
  TBitmap b(10, 10);
  setFont(b.Canvas(), u"Courier New", -14);
  EXPECT_EQ(b.Canvas()->TextWidth(u"iiii"), b.Canvas()->TextWidth(u"WWWW"));
}

// The Windows faces pages and the program name come out in the installed
// faces with the same widths (the Liberation faces that scripts/deps
// installs), so lines break where the authors saw them break; a face with
// no such stand-in gets one of its kind.
TEST(GraphicsFonts, WindowsFacesGetTheirMetricCompatibleStandIns) {
  EXPECT_EQ(ResolveFontFamily(u"Times New Roman"), u"Liberation Serif");
  EXPECT_EQ(ResolveFontFamily(u"Courier New"), u"Liberation Mono");
  EXPECT_EQ(ResolveFontFamily(u"Arial"), u"Liberation Sans");
  EXPECT_EQ(ResolveFontFamily(u"Times New Roman Cyr"), u"Liberation Serif");
  TBitmap b(10, 10);
  auto width = [&](const String& face) {
    setFont(b.Canvas(), face, -16);
    return b.Canvas()->TextWidth(u"The quick brown fox jumps over the lazy dog");
  };
  EXPECT_EQ(width(u"Times New Roman"), width(u"Liberation Serif"));
  EXPECT_NE(width(u"Times New Roman"), width(u"DejaVu Serif"));
  for (const char16_t* face : {u"Tahoma", u"Lucida Sans Unicode"}) {
    const String stand = ResolveFontFamily(face);
    EXPECT_TRUE(FontFamilyInstalled(stand)) << UTF16ToUTF8(stand);
    EXPECT_EQ(stand.find(u"Serif"), String::npos) << UTF16ToUTF8(stand);
    EXPECT_EQ(stand.find(u"Mono"), String::npos) << UTF16ToUTF8(stand);
  }
}

TEST(GraphicsFonts, MetricsFollowTheRequestedHeight) {
  TBitmap b(10, 10);
  TCanvas* c = b.Canvas();
  for (int h : {-9, -12, -16, -27}) {
    setFont(c, u"Arial", h);
    TEXTMETRICW tm;
    ASSERT_TRUE(GetTextMetricsW(c->Handle(), &tm));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, -h);  // negative height = em height
    EXPECT_GT(tm.tmAveCharWidth, 0);
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    EXPECT_EQ(c->TextHeight(u"x"), tm.tmHeight);
  }
  // A positive height asks for the cell height, exactly.
  TEXTMETRICW tm;
  for (const char16_t* face : {u"Arial", u"Times New Roman", u"Courier New"})
    for (int h : {11, 13, 20, 33}) {
      setFont(c, face, h);
      GetTextMetricsW(c->Handle(), &tm);
      EXPECT_EQ(tm.tmHeight, h) << h;
      EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
      EXPECT_GT(tm.tmDescent, 0);
      EXPECT_EQ(c->TextHeight(u"x"), h);
    }
  setFont(c, u"Arial", 20);
  // Size in points at 96 pixels per inch.
  c->Font()->SetSize(12);
  EXPECT_EQ(c->Font()->Height(), -16);
  EXPECT_EQ(c->Font()->Size(), 12);
  // Bold is wider than regular.
  setFont(c, u"Arial", -16);
  int regular = c->TextWidth(kMixed);
  setFont(c, u"Arial", -16, {fsBold});
  EXPECT_GT(c->TextWidth(kMixed), regular);
}

// A font that goes back to what it was takes the device font it had then
// (a page's text switches between a few fonts at every run), and the
// canvas measures and draws with the font it has now, not the one before.
TEST(GraphicsFonts, AFontGoingBackTakesTheDeviceFontItHadAndTheCanvasFollows) {
  TBitmap b(10, 10);
  TCanvas* c = b.Canvas();
  setFont(c, u"Arial", -16);
  const int regular = c->TextWidth(kMixed);
  const HFONT plain = c->Font()->Handle();
  setFont(c, u"Arial", -16, {fsBold});
  const int bold = c->TextWidth(kMixed);
  const HFONT heavy = c->Font()->Handle();
  EXPECT_NE(heavy, plain);
  EXPECT_GT(bold, regular);
  for (int i = 0; i < 3; ++i) {
    setFont(c, u"Arial", -16);
    EXPECT_EQ(c->Font()->Handle(), plain);
    EXPECT_EQ(c->TextWidth(kMixed), regular);
    setFont(c, u"Arial", -16, {fsBold});
    EXPECT_EQ(c->Font()->Handle(), heavy);
    EXPECT_EQ(c->TextWidth(kMixed), bold);
  }
  // Past the few it keeps, fonts are made anew and still right.
  for (int h : {-9, -10, -11, -12, -13}) {
    setFont(c, u"Arial", h);
    EXPECT_LT(c->TextWidth(kMixed), regular) << h;
  }
  setFont(c, u"Arial", -16);
  EXPECT_EQ(c->TextWidth(kMixed), regular);
  TFont copy;
  copy.Assign(*c->Font());
  copy.SetName(u"Courier New");
  copy.Assign(*c->Font());
  EXPECT_EQ(copy.Name(), c->Font()->Name());
}

TEST(GraphicsText, ExtentIsTheSumOfCharacterWidthsAndMatchesTheInk) {
  TBitmap b(400, 40);
  ClearTo(b);
  TCanvas* c = b.Canvas();
  setFont(c, u"Times New Roman", -18);
  HDC dc = c->Handle();
  std::vector<int> dx(kMixed.size());
  int fit = 0;
  TSize whole;
  ASSERT_TRUE(GetTextExtentExPointW(dc, kMixed.data(), int(kMixed.size()), -1, &fit, dx.data(), &whole));
  EXPECT_EQ(dx.back(), whole.cx);
  // No kerning between a prefix and the rest: prefix widths add up.
  for (size_t n = 1; n <= kMixed.size(); ++n) {
    TSize s;
    GetTextExtentPoint32W(dc, kMixed.data(), int(n), &s);
    EXPECT_EQ(s.cx, dx[n - 1]) << n;
  }
  c->TextOut(10, 5, kMixed);
  TRect ink = InkBox(b);
  EXPECT_GE(ink.Left, 10);
  EXPECT_LE(ink.Right, 10 + whole.cx + 1);
  EXPECT_GT(ink.Right, 10 + whole.cx - 6);
  EXPECT_EQ(c->PenPos(), Point(10 + whole.cx, 5));
}

TEST(GraphicsText, CharactersThatFitAreDrawnInsideTheWidth) {
  TCanvas probe;
  setFont(&probe, u"Arial", -15);
  HDC dc = probe.Handle();
  for (int width : {0, 17, 60, 133}) {
    int fit = -1;
    std::vector<int> dx(kMixed.size());
    GetTextExtentExPointW(dc, kMixed.data(), int(kMixed.size()), width, &fit, dx.data(), nullptr);
    ASSERT_GE(fit, 0);
    if (fit > 0) {
      EXPECT_LE(dx[size_t(fit) - 1], width);
    }
    if (fit < int(kMixed.size())) {
      EXPECT_GT(dx[size_t(fit)], width);
    }

    // Drawing exactly the characters that fit stays inside the width,
    // and drawing them one by one at the measured offsets gives the same pixels.
    TBitmap whole(200, 30), pieces(200, 30);
    ClearTo(whole);
    ClearTo(pieces);
    setFont(whole.Canvas(), u"Arial", -15);
    setFont(pieces.Canvas(), u"Arial", -15);
    whole.Canvas()->TextOut(0, 0, kMixed.substr(0, size_t(fit)));
    for (int i = 0; i < fit; ++i)
      pieces.Canvas()->TextOut(i == 0 ? 0 : dx[size_t(i) - 1], 0, kMixed.substr(size_t(i), 1));
    EXPECT_LE(InkBox(whole).Right, width + 1);
    EXPECT_TRUE(SamePixels(whole, pieces, Rect(0, 0, 200, 30))) << width;
  }
}

TEST(GraphicsText, CalcRectCoversWhatDrawTextDraws) {
  const String para = u"The quick brown fox jumps over the lazy dog; съешь же ещё этих мягких булок.";
  for (UINT flags : {UINT(DT_WORDBREAK | DT_NOPREFIX), UINT(DT_SINGLELINE | DT_NOPREFIX),
                     UINT(DT_WORDBREAK | DT_CENTER), UINT(DT_WORDBREAK | DT_RIGHT)}) {
    TBitmap b(300, 200);
    ClearTo(b);
    setFont(b.Canvas(), u"Tahoma", -13);
    HDC dc = b.Canvas()->Handle();
    TRect calc = Rect(5, 5, 125, 5);
    int h = DrawTextW(dc, para, &calc, flags | DT_CALCRECT);
    EXPECT_EQ(h, calc.Height());
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    EXPECT_EQ(calc.Height() % tm.tmHeight, 0);
    if (flags & DT_WORDBREAK) {
      EXPECT_LE(calc.Width(), 120);
      EXPECT_GT(calc.Height(), tm.tmHeight);  // it wrapped
    }
    TRect draw = calc;
    DrawTextW(dc, para, &draw, flags);
    TRect ink = InkBox(b);
    EXPECT_GE(ink.Left, calc.Left) << flags;
    EXPECT_GE(ink.Top, calc.Top) << flags;
    EXPECT_LE(ink.Right, calc.Right + 1) << flags;
    EXPECT_LE(ink.Bottom, calc.Bottom) << flags;
  }
  // A measuring rectangle without a bottom, as tree rows use it.
  {
    TBitmap b(200, 100);
    setFont(b.Canvas(), u"Tahoma", -13);
    TRect open = Rect(0, 0, 120, 2147483647);
    int h = DrawTextW(b.Canvas()->Handle(), para, &open, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_GT(h, 13);
    EXPECT_EQ(open.Bottom, h);
    TRect draw = Rect(0, 0, 120, 2147483647);
    DrawTextW(b.Canvas()->Handle(), para, &draw, DT_WORDBREAK | DT_VCENTER);
  }
  // Each hard line break starts a line; CR LF counts once.
  TCanvas probe;
  setFont(&probe, u"Tahoma", -13);
  TRect r = Rect(0, 0, 500, 0);
  int one = DrawTextW(probe.Handle(), u"a", &r, DT_CALCRECT);
  r = Rect(0, 0, 500, 0);
  EXPECT_EQ(DrawTextW(probe.Handle(), u"a\r\nb\nc", &r, DT_CALCRECT), 3 * one);
  // A tab size of 4 characters sits in the byte that otherwise holds
  // DT_CALCRECT: the text is drawn, with tabs 4 average characters apart.
  {
    TBitmap tabbed(300, 30);
    ClearTo(tabbed);
    setFont(tabbed.Canvas(), u"Tahoma", -13);
    HDC tdc = tabbed.Canvas()->Handle();
    TEXTMETRICW tm;
    GetTextMetricsW(tdc, &tm);
    TRect t = Rect(0, 0, 300, 30);
    DrawTextW(tdc, u"\tI", &t, DT_EXPANDTABS | DT_TABSTOP | (4 << 8));
    EXPECT_EQ(t, Rect(0, 0, 300, 30));  // not a measuring call
    TRect ink = InkBox(tabbed);
    EXPECT_FALSE(ink.IsEmpty());
    EXPECT_GE(ink.Left, 4 * tm.tmAveCharWidth);
    EXPECT_LT(ink.Left, 5 * tm.tmAveCharWidth);
  }
}

TEST(GraphicsText, EndEllipsisFitsItsWidth) {
  TBitmap b(300, 30);
  ClearTo(b);
  setFont(b.Canvas(), u"Arial", -14);
  HDC dc = b.Canvas()->Handle();
  const String text = u"A rather long caption that cannot fit into a narrow column";
  TRect r = Rect(10, 5, 110, 25);
  DrawTextW(dc, text, &r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX | DT_NOCLIP);
  TRect ink = InkBox(b);
  EXPECT_GE(ink.Left, 10);
  EXPECT_LE(ink.Right, 110);
  EXPECT_GT(ink.Right, 80);  // most of the width is used
  // DT_CALCRECT with the ellipsis reports the shortened width.
  TRect calc = Rect(10, 5, 110, 25);
  DrawTextW(dc, text, &calc, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
  EXPECT_LE(calc.Width(), 100);
  // A very long line is shortened in one pass, not character by character
  // (which would take minutes here), to the same result.
  String huge(200000, u'w');
  TRect small = Rect(0, 0, 100, 20), shortened = Rect(0, 0, 100, 20);
  DrawTextW(dc, huge, &small, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
  DrawTextW(dc, String(40, u'w'), &shortened, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
  EXPECT_EQ(small.Width(), shortened.Width());
  EXPECT_LE(small.Width(), 100);
}

TEST(GraphicsText, PrefixCharactersAndVerticalCentring) {
  TCanvas probe;
  setFont(&probe, u"Arial", -14);
  HDC dc = probe.Handle();
  TRect a = Rect(0, 0, 500, 0), b = Rect(0, 0, 500, 0);
  DrawTextW(dc, u"&Open && save", &a, DT_CALCRECT | DT_SINGLELINE);
  DrawTextW(dc, u"Open & save", &b, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(a.Width(), b.Width());
  // A trailing ampersand prefixes nothing and is shown as it is.
  a = Rect(0, 0, 500, 0);
  b = Rect(0, 0, 500, 0);
  DrawTextW(dc, u"Tom &", &a, DT_CALCRECT | DT_SINGLELINE);
  DrawTextW(dc, u"Tom &", &b, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(a.Width(), b.Width());

  TBitmap bm(100, 40);
  ClearTo(bm);
  setFont(bm.Canvas(), u"Arial", -14);
  TRect r = Rect(0, 0, 100, 40);
  DrawTextW(bm.Canvas()->Handle(), u"Mid", &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  TRect ink = InkBox(bm);
  EXPECT_NEAR(ink.Top + ink.Bottom, 40, 6);
  EXPECT_NEAR(ink.Left + ink.Right, 100, 4);
}

TEST(GraphicsText, JustificationAndCharacterExtraAgreeInMeasuringAndDrawing) {
  const String line = u"one two three four";
  TBitmap whole(300, 30), tail(300, 30);
  ClearTo(whole);
  ClearTo(tail);
  setFont(whole.Canvas(), u"Arial", -15);
  setFont(tail.Canvas(), u"Arial", -15);
  HDC dc = whole.Canvas()->Handle();
  TSize plain;
  GetTextExtentPoint32W(dc, line.data(), int(line.size()), &plain);
  SetTextJustification(dc, 11, 3);  // 11 pixels over 3 blanks: 4, 4, 3
  TSize justified;
  GetTextExtentPoint32W(dc, line.data(), int(line.size()), &justified);
  EXPECT_EQ(justified.cx, plain.cx + 11);
  TextOutW(dc, 0, 0, line.data(), int(line.size()));
  // The last word lands exactly where measuring the justified prefix says.
  const size_t lastWord = line.rfind(u' ') + 1;
  TSize prefix;
  GetTextExtentPoint32W(dc, line.data(), int(lastWord), &prefix);
  EXPECT_EQ(prefix.cx, plain.cx + 11 - tail.Canvas()->TextWidth(u"four"));
  tail.Canvas()->TextOut(prefix.cx, 0, line.substr(lastWord));
  EXPECT_TRUE(SamePixels(whole, tail, Rect(prefix.cx, 0, 300, 30)));
  // A squeezed line (negative extra) loses exactly that many pixels.
  SetTextJustification(dc, -5, 3);
  TSize squeezed;
  GetTextExtentPoint32W(dc, line.data(), int(line.size()), &squeezed);
  EXPECT_EQ(squeezed.cx, plain.cx - 5);
  SetTextJustification(dc, 0, 0);

  // Character extra widens every character, in measuring and drawing alike.
  SetTextCharacterExtra(dc, 2);
  TSize extra;
  GetTextExtentPoint32W(dc, line.data(), int(line.size()), &extra);
  EXPECT_EQ(extra.cx, plain.cx + 2 * int(line.size()));
  ClearTo(whole);
  TextOutW(dc, 0, 0, line.data(), int(line.size()));
  EXPECT_LE(InkBox(whole).Right, extra.cx);
  EXPECT_GT(InkBox(whole).Right, plain.cx);
  SetTextCharacterExtra(dc, 0);
}

TEST(GraphicsText, AlignmentOpaqueBackgroundAndClipping) {
  TBitmap b(200, 40);
  ClearTo(b);
  TCanvas* c = b.Canvas();
  setFont(c, u"Arial", -16);
  HDC dc = c->Handle();
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  // Baseline alignment puts the baseline at y.
  SetTextAlign(dc, TA_BASELINE | TA_RIGHT);
  TextOutW(dc, 150, 30, u"Hx", 2);
  TRect ink = InkBox(b);
  EXPECT_EQ(ink.Bottom, 30);  // no descenders in "Hx"
  EXPECT_LE(ink.Right, 150);
  SetTextAlign(dc, TA_TOP | TA_LEFT);

  // An opaque rectangle with clipping: nothing outside, background inside.
  ClearTo(b);
  SetBkColor(dc, RGB(255, 255, 0));
  TRect r = Rect(10, 5, 40, 25);
  ExtTextOutW(dc, 5, 5, ETO_OPAQUE | ETO_CLIPPED, &r, u"Wide text here", 14, nullptr);
  EXPECT_EQ(InkBox(b), r);
  EXPECT_EQ(Px(b, 10, 24), 0x00FFFFu);

  // Explicit advances place each character.
  ClearTo(b);
  int adv[3] = {40, 40, 40};
  ExtTextOutW(dc, 0, 0, 0, nullptr, u"iii", 3, adv);
  ink = InkBox(b);
  EXPECT_GT(ink.Right, 80);
}

TEST(GraphicsText, CharactersMissingFromTheFaceComeFromAnotherFamily) {
  if (!FontFamilyInstalled(u"DejaVu Serif")) GTEST_SKIP() << "needs DejaVu Serif";
  // Mathematical bold A: in DejaVu Serif, not in DejaVu Sans.
  const String bold = u"\U0001D400";
  TBitmap b(60, 30);
  ClearTo(b);
  setFont(b.Canvas(), u"DejaVu Sans", -20);
  int w = b.Canvas()->TextWidth(bold);
  EXPECT_GT(w, 5);
  EXPECT_EQ(b.Canvas()->TextWidth(bold + u"x"), w + b.Canvas()->TextWidth(u"x"));
  b.Canvas()->TextOut(5, 2, bold);
  TRect ink = InkBox(b);
  EXPECT_FALSE(ink.IsEmpty());
  EXPECT_LE(ink.Right, 5 + w + 1);
}

TEST(GraphicsText, EditControlLayoutShowsWholeLinesAndMarksTheCut) {
  // Tree cells draw several lines into a fixed row height.
  const String text = u"one two three four five six seven";
  const UINT cell = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS;
  TBitmap b(120, 60), expected(120, 60);
  setFont(b.Canvas(), u"Arial", -16);
  setFont(expected.Canvas(), u"Arial", -16);
  HDC dc = b.Canvas()->Handle();
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  const TRect row = Rect(0, 0, 80, tm.tmHeight * 2 - 4);  // room for one and a half lines

  // Plain word breaking shows the part of the second line that fits.
  ClearTo(b);
  TRect r = row;
  DrawTextW(dc, text, &r, DT_WORDBREAK | DT_NOPREFIX);
  EXPECT_GT(InkBox(b).Bottom, tm.tmHeight);

  // The edit-control layout drops the partial line and ends the last whole
  // line with "...", exactly as if that line had been written shortened.
  ClearTo(b);
  r = row;
  DrawTextW(dc, text, &r, cell);
  EXPECT_LE(InkBox(b).Bottom, tm.tmHeight);
  ClearTo(expected);
  TRect one = Rect(0, 0, 80, tm.tmHeight);
  TRect calc = Rect(0, 0, 80, 0);
  DrawTextW(dc, text, &calc, cell | DT_CALCRECT);
  ASSERT_GT(calc.Height(), tm.tmHeight);
  DrawTextW(expected.Canvas()->Handle(), u"one two...", &one, DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_FALSE(InkBox(b).IsEmpty());
  EXPECT_TRUE(SamePixels(b, expected, Rect(0, 0, 120, 60)));

  // Everything fits: nothing is cut and no ellipsis appears.
  ClearTo(b);
  ClearTo(expected);
  r = Rect(0, 0, 80, tm.tmHeight * 2);
  DrawTextW(dc, u"one two three", &r, cell);
  TRect two = Rect(0, 0, 80, tm.tmHeight * 2);
  DrawTextW(expected.Canvas()->Handle(), u"one two\nthree", &two, DT_NOPREFIX);
  EXPECT_TRUE(SamePixels(b, expected, Rect(0, 0, 120, 60)));
}

TEST(GraphicsText, WideCharacterTextWrapsBetweenCharacters) {
  TCanvas probe;
  setFont(&probe, u"Arial", -16);
  HDC dc = probe.Handle();
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  // Twelve ideographs with no blanks, a full stop after the fifth.
  const String text = u"\u6C49\u5B57\u8BCD\u5178\u4E2D\u3002\u6587\u5B57\u5178\u8BCD\u6C49\u5B57";
  const int one = probe.TextWidth(text.substr(0, 1));
  ASSERT_GT(one, 0);
  TRect r = Rect(0, 0, one * 5, 0);
  int h = DrawTextW(dc, text, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  EXPECT_EQ(h, 3 * tm.tmHeight);
  EXPECT_LE(r.Width(), one * 5);
  // The full stop never starts a line: the first line gives up a character.
  r = Rect(0, 0, one * 5, 0);
  DrawTextW(dc, text.substr(0, 7), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  EXPECT_EQ(r.Height(), 2 * tm.tmHeight);
  EXPECT_EQ(r.Width(), one * 4);
  // Unless the caller asks for breaks at blanks only.
  r = Rect(0, 0, one * 5, 0);
  DrawTextW(dc, text, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOFULLWIDTHCHARBREAK);
  EXPECT_EQ(r.Height(), tm.tmHeight);
  // Latin words next to wide text still break only at their blanks.
  r = Rect(0, 0, probe.TextWidth(u"dictionary") + one, 0);
  DrawTextW(dc, u"dictionary\u8BCD\u5178", &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  EXPECT_EQ(r.Height(), 2 * tm.tmHeight);
  EXPECT_EQ(r.Width(), probe.TextWidth(u"dictionary\u8BCD"));
}

TEST(GraphicsFonts, AbsurdSizesGiveSaneMetrics) {
  // A page may ask for any font size; metrics must stay positive and
  // consistent, and drawing must not fail.
  TBitmap b(100, 40);
  ClearTo(b);
  TCanvas* c = b.Canvas();
  setFont(c, u"Arial", -1000);
  const int large = c->TextWidth(u"Hi");
  for (int h : {-100000, -2000000000, 2000000000, int(0x80000000)}) {
    setFont(c, u"Arial", h);
    TEXTMETRICW tm;
    GetTextMetricsW(c->Handle(), &tm);
    EXPECT_GT(tm.tmHeight, 1000) << h;
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent) << h;
    EXPECT_GT(tm.tmAscent, 0) << h;
    EXPECT_GT(tm.tmDescent, 0) << h;
    EXPECT_GE(c->TextWidth(u"Hi"), large) << h;
    c->TextOut(0, 0, u"Hi");
    TRect r = Rect(0, 0, 100, 40);
    DrawTextW(c->Handle(), u"Hi there", &r, DT_WORDBREAK | DT_END_ELLIPSIS);
  }
}

// A character the face lacks is measured (and drawn) from an installed
// family that has it, also while the start-up warm-up is still reading the
// families' character tables (characters beyond the first plane: see
// CharactersMissingFromTheFaceComeFromAnotherFamily).
TEST(GraphicsFonts, MissingCharactersComeFromAFamilyThatHasThem) {
  WarmUpFontData();
  WarmUpFontData();  // a second call starts nothing
  TBitmap b(10, 10);
  TCanvas* c = b.Canvas();
  const String king = u"\u2654";
  setFont(c, u"DejaVu Serif", -20);
  const int kingInSerif = c->TextWidth(king);
  WaitForFontWarmUp();
  setFont(c, u"DejaVu Sans", -20);
  // DejaVu Serif lacks it; DejaVu Sans, the first family that has it,
  // stands in.
  EXPECT_EQ(kingInSerif, c->TextWidth(king));
  EXPECT_GT(kingInSerif, 10);
}
