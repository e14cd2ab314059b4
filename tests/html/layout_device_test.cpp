// The layout's measuring and drawing seam, the border painter and list markers.
#include <gtest/gtest.h>

#include <memory>

#include "html/parse/style_fonts.h"
#include "html/paint/borders.h"
#include "html/layout/layout_device.h"
#include "html/model/list_bullets.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

std::unique_ptr<TMyFont> dejaVu(int px) {
  auto f = std::make_unique<TMyFont>();
  f->SetName(u"DejaVu Sans");
  f->SetHeight(-px);
  f->ReadMetrics();
  return f;
}

TEST(LayoutDevice, FitStopsAtTheRoomAndAgreesWithWidth) {
  TBitmap bmp;
  bmp.SetSize(10, 10);
  ThtMeasurer m(bmp.Canvas());
  auto f = dejaVu(16);
  m.SelectFont(f.get());
  const String text = u"The quick brown fox jumps over the lazy dog again and again";
  const int n = int(text.size());
  const int full = m.Width(text.data(), n);
  int w = 0;
  EXPECT_EQ(m.Fit(text.data(), n, full, w), n);
  EXPECT_EQ(w, full);
  for (int k : {1, 7, 20, 45}) {
    const int room = m.Width(text.data(), k);
    EXPECT_EQ(m.Fit(text.data(), n, room, w), k) << k;
    EXPECT_EQ(w, room);
    EXPECT_EQ(m.Fit(text.data(), n, room - 1, w), k - 1) << k;
  }
  EXPECT_EQ(m.Fit(text.data(), n, -1, w), 0);
}

TEST(LayoutDevice, SurrogatePairFitsWhole) {
  TBitmap bmp;
  bmp.SetSize(10, 10);
  ThtMeasurer m(bmp.Canvas());
  auto f = dejaVu(16);
  m.SelectFont(f.get());
  // "a", U+1D400 (a pair), "b"
  const String text = u"a\U0001D400b";
  const int wa = m.Width(text.data(), 1);
  const int wPair = m.Width(text.data(), 3);
  int w = 0;
  // Room for "a" and half the pair: only "a" fits, never one half.
  EXPECT_EQ(m.Fit(text.data(), 4, wa + (wPair - wa) / 2, w), 1);
  EXPECT_EQ(m.Fit(text.data(), 4, wPair, w), 3);
  TSize ext;
  EXPECT_EQ(FitText(bmp.Canvas()->Handle(), text.data(), 4, wa + (wPair - wa) / 2, ext), 1);
  // A pair spanning a chunk boundary is kept whole.
  String longText(63, u'x');
  longText += u"\U0001D400tail";
  const int upTo = m.Width(longText.data(), 63);
  EXPECT_EQ(m.Fit(longText.data(), int(longText.size()), upTo + 1, w), 63);
}

TEST(LayoutDevice, JustificationSpreadsOverBlanksAndNeverShrinks) {
  TBitmap bmp;
  bmp.SetSize(10, 10);
  ThtMeasurer m(bmp.Canvas());
  auto f = dejaVu(14);
  m.SelectFont(f.get());
  const String text = u"a b\u00A0c d";
  const int plain = m.Width(text.data(), 7);
  ThtJustify j(10, 3);
  EXPECT_EQ(m.Width(text.data(), 7, &j), plain + 10);
  ThtJustify neg(-10, 3);
  EXPECT_FALSE(neg.Active());
  EXPECT_EQ(m.Width(text.data(), 7, &neg), plain);
  // Split over two runs, the spread is the same as over one.
  ThtJustify a(10, 3);
  const int w1 = m.Width(text.data(), 3, &a);
  const int w2 = m.Width(text.data() + 3, 4, &a);
  EXPECT_EQ(w1 + w2, plain + 10);
}

TEST(LayoutDevice, ALongRunDrawsItsVisiblePartAsTheWholeRunWould) {
  // A run far longer than the canvas, starting left of it: only the part in
  // the clip box is handed to the device, and the pixels are those of a
  // run cut to what shows, drawn where it stands.
  const String run = String(5000, u'm') + u"W\U0001D400ide" + String(20000, u'n');
  auto f = dejaVu(14);
  auto draw = [&](int x, const String& text) {
    auto bmp = std::make_unique<TBitmap>();
    bmp->SetSize(300, 30);
    bmp->Canvas()->Brush()->SetColor(clWhite);
    bmp->Canvas()->FillRect(TRect(0, 0, 300, 30));
    ThtMeasurer m(bmp->Canvas());
    m.SelectFont(f.get());
    htPaint::Text(bmp->Canvas(), x, 20, text.data(), int(text.size()), clBlack, false, clWhite, nullptr);
    return bmp;
  };
  TBitmap probe;
  probe.SetSize(10, 10);
  ThtMeasurer m(probe.Canvas());
  m.SelectFont(f.get());
  const int before = m.Width(run.data(), 4990);
  auto whole = draw(100 - before, run);
  auto cut = draw(100, run.substr(4990, 60));
  int differing = 0, inked = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 300; ++x) {
      differing += whole->Canvas()->Pixels(x, y) != cut->Canvas()->Pixels(x, y) && x > 110 && x < 250;
      inked += (whole->Canvas()->Pixels(x, y) & 0xFFFFFF) != 0xFFFFFF;
    }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(inked, 200);
}

TEST(Borders, ColourRules) {
  EXPECT_EQ(Darker(clWhite), TColor(RGB(191, 191, 191)));
  EXPECT_EQ(Lighter(TColor(RGB(128, 128, 128))), TColor(RGB(147, 147, 147)));
  EXPECT_EQ(Lighter(TColor(RGB(240, 240, 240))), TColor(RGB(255, 255, 255)));
  EXPECT_EQ(Lighter(clBlack), clBlack);
}

TColor px(TCanvas* c, int x, int y) { return c->Pixels(x, y) & 0xFFFFFF; }

TEST(Borders, SolidAndDoubleRingsAreWhereTheyBelong) {
  TBitmap bmp;
  bmp.SetSize(100, 100);
  TCanvas* c = bmp.Canvas();
  FillRectColor(c, 0, 0, 100, 100, clWhite);
  const htBorderStyleArray solid{bssSolid, bssSolid, bssSolid, bssSolid};
  DrawBorder(c, TRect(10, 10, 50, 50), TRect(13, 13, 47, 47), false, clNone, solid,
             {clRed, clRed, clRed, clRed});
  EXPECT_EQ(px(c, 10, 30), clRed);
  EXPECT_EQ(px(c, 12, 30), clRed);
  EXPECT_EQ(px(c, 13, 30), clWhite);
  EXPECT_EQ(px(c, 30, 49), clRed);
  EXPECT_EQ(px(c, 30, 50), clWhite);
  // Double, 5 pixels: 2-pixel lines with a 1-pixel gap.
  const htBorderStyleArray dbl{bssDouble, bssDouble, bssDouble, bssDouble};
  DrawBorder(c, TRect(55, 10, 95, 50), TRect(60, 15, 90, 45), false, clNone, dbl,
             {clBlue, clBlue, clBlue, clBlue});
  EXPECT_EQ(px(c, 55, 30), clBlue);
  EXPECT_EQ(px(c, 56, 30), clBlue);
  EXPECT_EQ(px(c, 57, 30), clWhite);
  EXPECT_EQ(px(c, 58, 30), clBlue);
  EXPECT_EQ(px(c, 59, 30), clBlue);
  EXPECT_EQ(px(c, 60, 30), clWhite);
}

TEST(Borders, ClampFollowsTheClipBoxSoLaterPagesKeepTheirBorders) {
  // A box far down the document (as on a sixth printed page) still gets
  // its border where the canvas shows it.
  TBitmap bmp;
  bmp.SetSize(60, 60);
  TCanvas* c = bmp.Canvas();
  FillRectColor(c, 0, 0, 60, 60, clWhite);
  HDC dc = c->Handle();
  SetWindowOrgEx(dc, 0, 6000, nullptr);
  const htBorderStyleArray solid{bssSolid, bssSolid, bssSolid, bssSolid};
  DrawBorder(c, TRect(10, 5000, 50, 100000), TRect(12, 5002, 48, 99998), false, clNone, solid,
             {clRed, clRed, clRed, clRed});
  SetWindowOrgEx(dc, 0, 0, nullptr);
  EXPECT_EQ(px(c, 10, 30), clRed);
  EXPECT_EQ(px(c, 30, 30), clWhite);
}

TEST(ListBullets, NumbersLettersAndNumerals) {
  EXPECT_EQ(ListBulletText(lbDecimal, 3), u"3.");
  EXPECT_EQ(ListBulletText(lbLowerAlpha, 1), u"a.");
  EXPECT_EQ(ListBulletText(lbLowerAlpha, 26), u"z.");
  EXPECT_EQ(ListBulletText(lbLowerAlpha, 27), u"aa.");
  EXPECT_EQ(ListBulletText(lbUpperAlpha, 28), u"AB.");
  EXPECT_EQ(ListBulletText(lbLowerRoman, 20), u"xx.");
  EXPECT_EQ(ListBulletText(lbLowerRoman, 21), u"xxi.");
  EXPECT_EQ(ListBulletText(lbUpperRoman, 1994), u"MCMXCIV.");
  // Nothing to write a letter or numeral for: decimal.
  EXPECT_EQ(ListBulletText(lbLowerRoman, 0), u"0.");
  EXPECT_EQ(ListBulletText(lbUpperAlpha, -2), u"-2.");
  EXPECT_EQ(ListBulletText(lbDisc, 3), u"");
}

}  // namespace
