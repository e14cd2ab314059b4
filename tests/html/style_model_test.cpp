// Property storage and the conversions the layout relies on.
#include <gtest/gtest.h>

#include "html/parse/style_model.h"
#include "platform/graphics/gdi.h"

namespace {

TEST(StyleModel, DeclarationsStoreByExactName) {
  TProperties p;
  p.AddPropertyByName(u"colour", u"red");
  p.AddPropertyByName(u"Color", u"red");
  EXPECT_TRUE(p.Props[piColor].IsEmpty());
  p.AddPropertyByName(u"color", u"red");
  EXPECT_EQ(p.Props[piColor].AsInt(), 0x0000FF);
  p.AddPropertyByName(u"width", u"10px");
  EXPECT_EQ(p.Props[piWidth].AsString(), u"10px");
  // Box slots of a new set are "not set", z-index is 0.
  EXPECT_EQ(TProperties().Props[piMarginLeft].AsInt(), NotSetValue);
  EXPECT_EQ(TProperties().GetZIndex(), 0);
}

TEST(StyleModel, InvalidColoursLeaveTheSlotUnchanged) {
  TProperties p;
  p.AddPropertyByName(u"color", u"nonsense");
  EXPECT_TRUE(p.Props[piColor].IsEmpty());  // never black
  p.AddPropertyByName(u"color", u"#00ff00");
  p.AddPropertyByName(u"color", u"#zzzzzz");
  EXPECT_EQ(p.Props[piColor].AsInt(), 0x00FF00 | PaletteRelativeFlag);
  p.AddPropertyByName(u"background-color", u"blue");
  p.AddPropertyByName(u"background-color", u"what");
  EXPECT_EQ(p.Props[piBackgroundColor].AsInt(), 0xFF0000);
  p.AddPropertyByName(u"border-top-color", u"nocolour");
  EXPECT_EQ(p.Props[piBorderTopColor].AsInt(), NotSetValue);
}

TEST(StyleModel, KeywordSlots) {
  TProperties p;
  p.AddPropertyByName(u"visibility", u"hidden");
  EXPECT_EQ(p.GetVisibility(), 1);
  p.AddPropertyByName(u"visibility", u"collapse");  // unknown: unchanged
  EXPECT_EQ(p.GetVisibility(), 1);
  p.AddPropertyByName(u"text-transform", u"uppercase");
  EXPECT_EQ(p.GetTextTransform(), 1);
  p.AddPropertyByName(u"word-wrap", u"anything");
  EXPECT_EQ(p.Props[piWordWrap].AsString(), u"normal");
  p.AddPropertyByName(u"display", u"list-item");
  EXPECT_EQ(p.GetDisplay(), pdListItem);
  p.AddPropertyByName(u"list-style-type", u"upper-roman");
  EXPECT_EQ(p.GetListStyleType(), lbUpperRoman);
  p.AddPropertyByName(u"clear", u"left");
  TClearType clear = clrNone;
  EXPECT_TRUE(p.GetClear(clear));
  EXPECT_EQ(clear, clrLeft);
  EXPECT_FALSE(p.GetClear(clear));  // a clear applies once
  TAlignmentType align;
  p.AddPropertyByName(u"vertical-align", u"text-top");
  ASSERT_TRUE(p.GetVertAlign(align));
  EXPECT_EQ(align, ATop);
  p.AddPropertyByName(u"z-index", u"x7");
  EXPECT_EQ(p.GetZIndex(), 0);
}

TEST(StyleModel, ConvertLength) {
  const int ppi = ScreenPixelsPerInch();
  EXPECT_EQ(ConvertLength(u"12", false, 0, 0, 0, -1), 12);
  EXPECT_EQ(ConvertLength(u"2", true, 15, 0, 0, -1), 30);
  EXPECT_EQ(ConvertLength(u"50%", false, 300, 0, 0, -1), 150);
  EXPECT_EQ(ConvertLength(u"2em", false, 0, 16, 8, -1), 32);
  EXPECT_EQ(ConvertLength(u"3ex", false, 0, 16, 8, -1), 24);
  EXPECT_EQ(ConvertLength(u"1in", false, 0, 0, 0, -1), ppi);
  EXPECT_EQ(ConvertLength(u"72pt", false, 0, 0, 0, -1), ppi);
  EXPECT_EQ(ConvertLength(u"2.54cm", false, 0, 0, 0, -1), ppi);
  EXPECT_EQ(ConvertLength(u"-4px", false, 0, 0, 0, -1), -4);
  EXPECT_EQ(ConvertLength(u"12furlongs", false, 0, 0, 0, -1), -1);
  EXPECT_EQ(ConvertLength(u"px", false, 0, 0, 0, -1), -1);
  EXPECT_EQ(ConvertLength(u"2.5px", false, 0, 0, 0, -1), 2);  // halves to even
  EXPECT_EQ(ConvertLength(u"1e3px", false, 0, 0, 0, -1), -1);  // "e3px" is no unit
  EXPECT_EQ(ConvertLength(u"99999999999999px", false, 0, 0, 0, -1), 10000000);
  EXPECT_EQ(ConvertLength(u"-99999999999999em", false, 0, 16, 8, -1), -10000000);
}

TEST(StyleModel, ExtractUrlForms) {
  EXPECT_EQ(ExtractUrl(TPropValue(u"url( 'a b.png' ) no-repeat")), u"a b.png");
  EXPECT_EQ(ExtractUrl(TPropValue(u"url(x(1).png)")), u"x(1).png");
  EXPECT_EQ(ExtractUrl(TPropValue(u"url(\"Pics/A.PNG\")")), u"Pics/A.PNG");
  EXPECT_EQ(ExtractUrl(TPropValue(u"none")), u"");
  String url = u"?";
  TProperties p;
  EXPECT_FALSE(p.GetBackgroundImage(url));
  p.AddPropertyByName(u"background-image", u"none");
  EXPECT_TRUE(p.GetBackgroundImage(url));
  EXPECT_EQ(url, u"");
}

TEST(StyleModel, BackgroundPosition) {
  auto pos = [](const char16_t* position, const char16_t* repeat = nullptr) {
    TProperties p;
    p.AddPropertyByName(u"background-position", position);
    if (repeat) p.AddPropertyByName(u"background-repeat", repeat);
    TBackgroundPosRecs r;
    p.GetBackgroundPos(16, 8, r);
    return r;
  };
  TBackgroundPosRecs r = pos(u"top");
  EXPECT_EQ(r[1].Kind, bpTop);
  EXPECT_EQ(r[0].Kind, bpCenter);
  r = pos(u"left 30%");
  EXPECT_EQ(r[0].Kind, bpLeft);
  EXPECT_EQ(r[1].Kind, bpPercent);
  EXPECT_EQ(r[1].Value, 30);
  r = pos(u"30% top", u"repeat-x");
  EXPECT_EQ(r[0].Kind, bpPercent);
  EXPECT_EQ(r[0].Value, 30);
  EXPECT_EQ(r[1].Kind, bpTop);
  EXPECT_TRUE(r[0].Repeat);
  EXPECT_FALSE(r[1].Repeat);
  r = pos(u"top right");
  EXPECT_EQ(r[0].Kind, bpRight);
  EXPECT_EQ(r[1].Kind, bpTop);
  r = pos(u"10px 2em");
  EXPECT_EQ(r[0].Value, 10);
  EXPECT_EQ(r[1].Value, 32);
}

TEST(StyleModel, BackgroundTiling) {
  TBackgroundPosRec x;
  x.Kind = bpCenter;
  int first, last;
  CalcBackgroundTiling(x, 100, 200, 30, first, last);
  // Centred at 185; repeated back to the tile at or before 100.
  EXPECT_LE(first, 100);
  EXPECT_GT(first, 70);
  EXPECT_EQ((185 - first) % 30, 0);
  EXPECT_LT(last, 300);
  EXPECT_GE(last + 30, 300);
  x.Repeat = false;
  CalcBackgroundTiling(x, 100, 200, 30, first, last);
  EXPECT_EQ(first, 185);
  EXPECT_EQ(last, 185);
}

TEST(StyleModel, HugePagePositionsStayInRange) {
  // A page's absurd lengths convert to a bound far inside the integer
  // range; placing and sizing boxes from them must not wrap around.
  TProperties p;
  p.AddPropertyByName(u"background-position", u"99999999999px 50%");
  TBackgroundPosRecs r;
  p.GetBackgroundPos(16, 8, r);
  ASSERT_EQ(r[0].Value, 10000000);
  int first, last;
  r[0].Repeat = false;
  CalcBackgroundTiling(r[0], 100, 200, 30, first, last);
  EXPECT_EQ(first, 10000100);
  EXPECT_EQ(last, 10000100);
  r[0].Repeat = true;
  CalcBackgroundTiling(r[0], 100, 200, 30, first, last);
  EXPECT_LE(first, 100);
  EXPECT_GT(first, 70);
  EXPECT_GE(last + 30, 300);

  TProperties box;
  box.AddPropertyByName(u"border-top-width", u"99999999999px");
  box.AddPropertyByName(u"border-bottom-width", u"99999999999px");
  box.AddPropertyByName(u"height", u"50%");
  TVMarginArray vm;
  box.GetVMarginArray(vm);
  TMarginArray m{};
  int autos = 0;
  ConvertMarginArray(vm, 200, 100, 16, 8, 0, autos, m);
  // Bounded well inside an int, and clear of the sentinels below.
  EXPECT_EQ(m[MA(piBorderTopWidth)], 10000000);
  EXPECT_EQ(m[MA(piHeight)], -10000000);
}

TEST(StyleModel, ConvertMarginArray) {
  TProperties p;
  p.AddPropertyByName(u"margin-left", u"auto");
  p.AddPropertyByName(u"margin-right", u"10%");
  p.AddPropertyByName(u"padding-top", u"-5px");
  p.AddPropertyByName(u"padding-bottom", u"1em");
  p.AddPropertyByName(u"border-top-width", u"thick");
  p.AddPropertyByName(u"border-top-style", u"none");
  p.AddPropertyByName(u"border-left-width", u"thin");
  p.AddPropertyByName(u"border-left-style", u"solid");
  p.AddPropertyByName(u"height", u"50%");
  TVMarginArray vm;
  p.GetVMarginArray(vm);
  EXPECT_EQ(vm[MA(piBorderLeftStyle)].AsInt(), bssSolid);
  TMarginArray m{};
  int autoCount = 0;
  ConvertMarginArray(vm, 400, 200, 16, 8, 3, autoCount, m);
  EXPECT_EQ(m[MA(piMarginLeft)], AutoValue);
  EXPECT_EQ(m[MA(piMarginRight)], 40);
  EXPECT_EQ(m[MA(piPaddingTop)], 0);  // negative paddings are clamped
  EXPECT_EQ(m[MA(piPaddingBottom)], 16);
  EXPECT_EQ(m[MA(piBorderTopWidth)], 0);  // thick, but no border
  EXPECT_EQ(m[MA(piBorderLeftWidth)], 2);
  EXPECT_EQ(m[MA(piWidth)], AutoValue);
  EXPECT_EQ(autoCount, 2);  // margin-left and width
  // Percent heights leave room for the vertical borders and paddings.
  EXPECT_EQ(m[MA(piHeight)], 100 - 16 - m[MA(piBorderBottomWidth)]);
  EXPECT_EQ(m[MA(piBackgroundColor)], clNone);
}

TEST(StyleModel, PaddingAndVerticalMargins) {
  TProperties p;
  p.AddPropertyByName(u"padding-left", u"10%");
  p.AddPropertyByName(u"padding-right", u"-3px");
  p.AddPropertyByName(u"padding-top", u"4px");
  p.Props[piMarginTop] = ParagraphSpaceValue;
  p.AddPropertyByName(u"margin-bottom", u"2em");
  TVMarginArray vm;
  p.GetVMarginArray(vm);
  TMarginArray m{};
  ConvertPaddingArray(vm, 16, 8, m);
  EXPECT_EQ(m[MA(piPaddingLeft)], -10);  // percentages come out negative
  EXPECT_EQ(m[MA(piPaddingRight)], 0);
  EXPECT_EQ(m[MA(piPaddingTop)], 4);
  EXPECT_EQ(m[MA(piPaddingBottom)], -1);
  int32_t top, bottom;
  bool topPara, bottomPara;
  ConvertVertMargins(vm, 100, 16, 8, top, bottom, topPara, bottomPara);
  EXPECT_EQ(top, 14);
  EXPECT_TRUE(topPara);
  EXPECT_EQ(bottom, 32);
  EXPECT_FALSE(bottomPara);
}

TEST(StyleModel, PresentationalDefaultsNeverOverrideStyles) {
  TProperties p;
  p.Originals[piColor] = true;
  p.Props[piColor] = 0x123456;
  p.SetPropertyDefault(piColor, 0xFF);
  EXPECT_EQ(p.Props[piColor].AsInt(), 0x123456);
  p.SetPropertyDefault(piWidth, u"50%");
  p.SetPropertyDefault(piWidth, u"10");  // the first attribute wins too
  EXPECT_EQ(p.Props[piWidth].AsString(), u"50%");
  p.Props[piBackgroundColor] = 0x00FF00;
  EXPECT_EQ(p.GetBackgroundColor(), clNone);  // not set on this element
  p.Originals[piBackgroundColor] = true;
  EXPECT_EQ(p.GetBackgroundColor(), 0x00FF00);
}

TEST(StyleModel, LineHeightAndTextIndent) {
  TProperties p;
  p.EmSize = 10;
  p.ExSize = 5;
  EXPECT_EQ(p.GetLineHeight(20), -1);
  p.AddPropertyByName(u"line-height", u"1.5");
  EXPECT_EQ(p.GetLineHeight(20), 30);
  p.AddPropertyByName(u"line-height", u"2em");
  EXPECT_EQ(p.GetLineHeight(20), 20);
  bool percent = false;
  p.AddPropertyByName(u"text-indent", u"5%");
  EXPECT_EQ(p.GetTextIndent(percent), 5);
  EXPECT_TRUE(percent);
  p.AddPropertyByName(u"text-indent", u"3em");
  EXPECT_EQ(p.GetTextIndent(percent), 30);
  EXPECT_FALSE(percent);
}

}  // namespace
