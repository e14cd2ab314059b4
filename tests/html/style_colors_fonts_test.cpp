// Colour texts, font sizes and element fonts.
#include <gtest/gtest.h>

#include "html/parse/style_colors.h"
#include "html/parse/style_fonts.h"
#include "html/parse/style_list.h"
#include "platform/graphics/gdi.h"

namespace {

TColor Color(const String& text, bool needPound = false) {
  TColor c = 0x7777777;
  return ColorFromString(text, needPound, c) ? c : -1;
}

TEST(StyleColors, NamesHexAndRgb) {
  EXPECT_EQ(Color(u" Red "), 0x0000FF);
  EXPECT_EQ(Color(u"darkslategrey"), Color(u"darkslategray"));
  EXPECT_EQ(Color(u"aliceblue"), 0xFFF8F0);
  EXPECT_EQ(Color(u"yellowgreen"), 0x32CD9A);
  EXPECT_EQ(Color(u"transparent"), clNone);
  EXPECT_EQ(Color(u"highlighttext"), clSystemColor | 14);
  EXPECT_EQ(Color(u"#ABC"), 0xCCBBAA | PaletteRelativeFlag);
  EXPECT_EQ(Color(u"abc"), 0xCCBBAA | PaletteRelativeFlag);
  EXPECT_EQ(Color(u"#102030"), 0x302010 | PaletteRelativeFlag);
  EXPECT_EQ(Color(u"rgb(100%, 0, 300)"), 0xFF00FF);
  EXPECT_EQ(Color(u"RGB( 1 , 2 , 3 )"), 0x030201);
  EXPECT_EQ(Color(u"rgba(10, 20, 30, 0.5)"), 0x1E140A);
}

TEST(StyleColors, Failures) {
  EXPECT_EQ(Color(u""), -1);
  EXPECT_EQ(Color(u"notacolour"), -1);
  EXPECT_EQ(Color(u"#12345g"), -1);
  EXPECT_EQ(Color(u"#1234567"), -1);
  EXPECT_EQ(Color(u"rgb(1,2)"), -1);
  EXPECT_EQ(Color(u"rgb 1,2,3"), -1);
}

TEST(StyleColors, RememberedColourDependsOnPoundRule) {
  // The same text in a row: accepted without "#" first, then refused when
  // "#" is required, however the last answer was remembered.
  EXPECT_EQ(Color(u"00ff00"), 0x00FF00 | PaletteRelativeFlag);
  EXPECT_EQ(Color(u"00ff00", true), -1);
  EXPECT_EQ(Color(u"00ff00"), 0x00FF00 | PaletteRelativeFlag);
}

TEST(StyleFonts, ConvertFontSize) {
  const double ppi = ScreenPixelsPerInch();
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"10pt", 12), 10);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"1in", 12), 72);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"2pc", 12), 24);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"16px", 12), 16 * 72 / ppi);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"16", 12), 16 * 72 / ppi);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"1.5em", 10), 15);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"2ex", 10), 10);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"150%", 10), 15);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"x-large", 10), FontConv[5]);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"smaller", 12), 10);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"larger", 12), 14);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"smaller", 8), 8 * 8.0 / 10);  // below xx-small
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"larger", 40), 40 * 36.0 / 24);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"12furlongs", 10), DefaultFontPointSize);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"huge", 10), DefaultFontPointSize);
  EXPECT_DOUBLE_EQ(ConvertFontSize(u"-5pt", 10), 0);  // no negative sizes
}

TEST(StyleFonts, FamilyListFallsBackToInstalledFaces) {
  String name;
  FirstInstalledFontFamily(u"No Such Face, \"DejaVu Sans\", serif", name);
  EXPECT_EQ(name, u"DejaVu Sans");
  name = u"kept";
  FirstInstalledFontFamily(u"'Nowhere One', Nowhere-Two", name);
  EXPECT_EQ(name, u"kept");
}

TEST(StyleFonts, ElementFontsComeFromTheCacheAndCarryMetrics) {
  TPropStack stack;
  TStyleList styles;
  styles.SetPropStack(&stack);
  styles.Initialize(u"DejaVu Sans", u"DejaVu Sans Mono", 12, 0x000000, 0xFF0000, 0x800080,
                    0x0000FF, true, DEFAULT_CHARSET, 5, 8);
  auto bottom = TProperties::CreateInStack(&stack);
  bottom->CopyDefaultFrom(*styles.DefProp());
  stack.Add(std::move(bottom));
  auto open = [&](const String& tag) -> TProperties& {
    auto p = TProperties::CreateInStack(&stack);
    p->Inherit(tag, *stack.Last());
    p->Combine(styles, tag, String(), String(), String(), String(), nullptr, stack.Count() - 1);
    return *stack.Add(std::move(p));
  };
  TProperties& b = open(u"b");
  b.Props[piLetterSpacing] = u"2px";
  std::unique_ptr<TMyFont> f = b.GetFont();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Name(), u"DejaVu Sans");
  EXPECT_TRUE(f->Style().Contains(fsBold));
  EXPECT_EQ(f->Height(), FontHeightFromPoints(12));
  EXPECT_GT(f->tmHeight, 0);
  EXPECT_GT(f->EmSize, 0);
  EXPECT_EQ(f->ExSize, f->EmSize / 2);
  EXPECT_EQ(f->CharExtra, 2);
  EXPECT_EQ(b.EmSize, f->EmSize);
  const int cached = FontCache().Count();
  TProperties& other = open(u"strong");  // the same font again
  other.GetFont();
  EXPECT_EQ(FontCache().Count(), cached);
  TProperties& h1 = open(u"h1");
  EXPECT_GT(h1.GetFont()->EmSize, f->EmSize);
}

}  // namespace
