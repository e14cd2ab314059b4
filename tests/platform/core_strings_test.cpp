#include <gtest/gtest.h>

#include "platform/core/exception.h"
#include "platform/core/strings.h"

TEST(CoreStrings, TrimRemovesEveryControlCharacterAndBlank) {
  EXPECT_EQ(Trim(u"\t\r\n x y \x01\x1F "), u"x y");
  EXPECT_EQ(TrimLeft(u"\x20\x10z "), u"z ");
  EXPECT_EQ(TrimRight(u" z\r\n"), u" z");
  EXPECT_EQ(Trim(u" \t\r\n"), u"");
  EXPECT_EQ(Trim(u""), u"");
  // U+00A0 is above 32 and stays.
  EXPECT_EQ(Trim(u"\u00A0a\u00A0"), u"\u00A0a\u00A0");
}

TEST(CoreStrings, PlainCaseFoldsOnlyAsciiLetters) {
  EXPECT_EQ(UpperCase(u"abz ёя ä"), u"ABZ ёя ä");
  EXPECT_EQ(LowerCase(u"ABZ ЁЯ Ä"), u"abz ЁЯ Ä");
  EXPECT_NE(CompareText(u"ёж", u"ЁЖ"), 0);
  EXPECT_TRUE(SameText(u"Hello", u"hELLO"));
  // A-Z fold to capitals before comparing, so "_" sorts after letters.
  EXPECT_LT(CompareText(u"a", u"_"), 0);
  EXPECT_LT(CompareText(u"ab", u"abc"), 0);
}

TEST(CoreStrings, AnsiCaseFoldsCyrillicIncludingYo) {
  // One character maps to one character: "ß" has no single capital.
  EXPECT_EQ(AnsiUpperCase(u"привет, ёжик! straße"), u"ПРИВЕТ, ЁЖИК! STRAßE");
  EXPECT_EQ(AnsiLowerCase(u"ПРИВЕТ ЁЖИК ÀÉÎ ΣΩ"), u"привет ёжик àéî σω");
  EXPECT_EQ(AnsiUpperChar(u'ё'), u'Ё');
  EXPECT_EQ(AnsiLowerChar(u'Ё'), u'ё');
  EXPECT_TRUE(AnsiSameText(u"Ёлка", u"ёЛКА"));
  EXPECT_FALSE(AnsiSameText(u"ёлка", u"елка"));
  EXPECT_EQ(AnsiCompareText(u"ЯБЛОКО", u"яблоко"), 0);
  EXPECT_LT(AnsiCompareText(u"а", u"Б"), 0);
  // A character beyond U+FFFF keeps its pair intact and its length.
  const String deseret = u"\U00010428";
  EXPECT_EQ(AnsiUpperCase(deseret), u"\U00010400");
  EXPECT_EQ(AnsiUpperCase(u"\xD801"), u"\xD801");  // lone surrogate unchanged
}

TEST(CoreStrings, IntegerTextConversions) {
  EXPECT_EQ(IntToStr(0), u"0");
  EXPECT_EQ(IntToStr(-2147483648LL), u"-2147483648");
  EXPECT_EQ(IntToHex(255, 4), u"00FF");
  EXPECT_EQ(IntToHex(-1, 2), u"FFFFFFFF");
  EXPECT_EQ(IntToHex(std::int64_t(-1)), u"FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(0x00C0FFEE, 8), u"00C0FFEE");

  EXPECT_EQ(StrToInt(u"  42"), 42);
  EXPECT_EQ(StrToInt(u"+7"), 7);
  EXPECT_EQ(StrToInt(u"-0x10"), -16);
  EXPECT_EQ(StrToInt(u"$ff"), 255);
  EXPECT_EQ(StrToInt(u"X1f"), 31);
  EXPECT_EQ(StrToInt(u"$FFFFFFFF"), -1);  // hexadecimal wraps like IntToHex writes it
  EXPECT_EQ(StrToInt(u"2147483647"), 2147483647);
  EXPECT_EQ(StrToInt(u"-2147483648"), -2147483647 - 1);
  EXPECT_EQ(StrToInt64(u"-9223372036854775808"), INT64_MIN);

  for (const char16_t* bad : {u"", u" ", u"-", u"$", u"0x", u"12 ", u"1.5", u"2147483648", u"$100000000", u"abc", u"--1"})
    EXPECT_EQ(StrToIntDef(bad, -99), -99) << UTF16ToUTF8(bad);
  try {
    StrToInt(u"12a");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"'12a' is not a valid integer value");
  }
}

TEST(CoreStrings, FloatTextConversionsIgnoreTheProcessLocale) {
  EXPECT_DOUBLE_EQ(StrToFloat(u" 1.5 "), 1.5);
  EXPECT_DOUBLE_EQ(StrToFloat(u"-2.5e3"), -2500);
  EXPECT_DOUBLE_EQ(StrToFloat(u".5"), 0.5);
  EXPECT_DOUBLE_EQ(StrToFloatDef(u"1,5", 7), 7);
  EXPECT_DOUBLE_EQ(StrToFloatDef(u"inf", 7), 7);
  EXPECT_DOUBLE_EQ(StrToFloatDef(u"+-1", 7), 7);
  EXPECT_THROW(StrToFloat(u"x"), EConvertError);
  EXPECT_EQ(FloatToStr(0.5), u"0.5");
  EXPECT_EQ(FloatToStr(100), u"100");
  EXPECT_EQ(FloatToStr(0.1 + 0.2), u"0.3");
  EXPECT_EQ(FloatToStr(1e20), u"1E20");
  EXPECT_EQ(FloatToStr(-1.5e-7), u"-1.5E-7");
  EXPECT_EQ(FloatToStr(123456789012345.0), u"123456789012345");
  EXPECT_EQ(FloatToStr(999999999999999.9), u"1E15");
  EXPECT_EQ(FloatToStr(0.0001), u"0.0001");
  EXPECT_EQ(FloatToStr(0.00001), u"1E-5");
  EXPECT_EQ(FloatToStr(-0.0), u"0");
  EXPECT_DOUBLE_EQ(StrToFloat(FloatToStr(1.0 / 3)), 0.333333333333333);
}

TEST(CoreStrings, FloatFormatsRoundHalfAwayFromZero) {
  EXPECT_EQ(Format(u"%.1f|%.1f|%.0f|%.0f", 2.25, -2.25, 0.5, 2.5), u"2.3|-2.3|1|3");
  EXPECT_EQ(Format(u"%.2f|%.2f|%.2f", 0.999, 0.125, -0.001), u"1.00|0.13|0.00");
  EXPECT_EQ(Format(u"%.3f|%.1f", 0.0004, 123.0), u"0.000|123.0");
  EXPECT_EQ(Format(u"%.2e", 9.96), u"1.0E+001");
  EXPECT_EQ(Format(u"%.3e", -0.00012345), u"-1.23E-004");
  EXPECT_EQ(Format(u"%.3g|%g", 1234567.0, 1e-7), u"1.23E6|1E-7");
  EXPECT_EQ(Format(u"%n", 999.999), u"1,000.00");
}

TEST(CoreStrings, BooleanTextConversions) {
  EXPECT_TRUE(StrToBool(u"-1"));
  EXPECT_TRUE(StrToBool(u"2"));
  EXPECT_TRUE(StrToBool(u"0.5"));
  EXPECT_FALSE(StrToBool(u"0"));
  EXPECT_TRUE(StrToBool(u"tRuE"));
  EXPECT_FALSE(StrToBool(u"FALSE"));
  EXPECT_TRUE(StrToBoolDef(u"", true));
  bool v = true;
  EXPECT_FALSE(TryStrToBool(u"yes", v));
  try {
    StrToBool(u"");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"'' is not a valid boolean value");
  }
  EXPECT_EQ(BoolToStr(true), u"-1");
  EXPECT_EQ(BoolToStr(false), u"0");
  EXPECT_EQ(BoolToStr(true, true), u"True");
  EXPECT_EQ(BoolToStr(false, true), u"False");
  EXPECT_TRUE(StrToBool(BoolToStr(true)));
}

TEST(CoreStrings, FormatSpecifiers) {
  EXPECT_EQ(Format(u"SQLite Error %d - %s", 5, String(u"database is locked")),
            u"SQLite Error 5 - database is locked");
  EXPECT_EQ(Format(u"%.5d%.3d", 42, 7), u"00042007");
  EXPECT_EQ(Format(u"%.3d", -7), u"-007");
  EXPECT_EQ(Format(u"%x %X %.4x", 255, 255, 10), u"FF FF 000A");
  EXPECT_EQ(Format(u"%x", -1), u"FFFFFFFF");
  EXPECT_EQ(Format(u"%u", -1), u"4294967295");
  EXPECT_EQ(Format(u"[%5s][%-5s][%.2s]", u"ab", u"ab", u"abcdef"), u"[   ab][ab   ][ab]");
  EXPECT_EQ(Format(u"[%*d][%-*d]", 4, 1, 3, 2), u"[   1][2  ]");
  EXPECT_EQ(Format(u"%1:s-%0:s-%s", u"a", u"b"), u"b-a-b");
  EXPECT_EQ(Format(u"100%% of %s", "UTF-8 текст"), u"100% of UTF-8 текст");
  EXPECT_EQ(Format(u"%.1f|%f|%n", 2.25, 3.0, 1234567.5), u"2.3|3.00|1,234,567.50");
  EXPECT_EQ(Format(u"%e", 1234.5), u"1.23450000000000E+003");
  EXPECT_EQ(Format(u"%g", 0.25), u"0.25");
  EXPECT_EQ(Format(u"%d", std::int64_t(1) << 40), u"1099511627776");
  EXPECT_EQ(Format(u"no args"), u"no args");
}

TEST(CoreStrings, FormatRejectsMissingOrMismatchedArguments) {
  EXPECT_THROW(Format(u"%d %d", 1), EConvertError);
  EXPECT_THROW(Format(u"%d", u"text"), EConvertError);
  EXPECT_THROW(Format(u"%s", 1), EConvertError);
  EXPECT_THROW(Format(u"%q", 1), EConvertError);
  EXPECT_THROW(Format(u"abc %", 1), EConvertError);
  try {
    Format(u"%s", 3.5);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Format '%s' invalid or incompatible with argument");
  }
}

TEST(CoreStrings, SearchingAndEditing) {
  EXPECT_EQ(Pos(u"lo", u"hello lo"), 3);
  EXPECT_EQ(Pos(u"lo", u"hello lo", 4), 6);
  EXPECT_EQ(Pos(u"x", u"hello"), -1);
  EXPECT_EQ(Pos(u"", u"hello"), -1);
  EXPECT_EQ(Copy(u"hello", 1, 3), u"ell");
  EXPECT_EQ(Copy(u"hello", 3, 100), u"lo");
  EXPECT_EQ(Copy(u"hello", 9, 1), u"");
  EXPECT_EQ(Copy(u"hello", -2, 4), u"he");
  EXPECT_EQ(LastDelimiter(u"/.", u"a/b.c/d"), 5);
  EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", {}), u"aXb-c");
  EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", {rfIgnoreCase}), u"a-bxc");
  EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"--", {rfReplaceAll, rfIgnoreCase}), u"a--b--c");
  EXPECT_EQ(StringReplace(u"Ёлка ёлка", u"ёлка", u"ель", {rfReplaceAll, rfIgnoreCase}), u"ель ель");
  EXPECT_EQ(StringReplace(u"aaa", u"aa", u"a", {rfReplaceAll}), u"aa");
  EXPECT_EQ(StringReplace(u"abc", u"", u"x", {rfReplaceAll}), u"abc");
  EXPECT_EQ(QuotedStr(u"it's"), u"'it''s'");
  EXPECT_EQ(AnsiDequotedStr(u"'it''s' tail", u'\''), u"it's");
  EXPECT_EQ(AnsiDequotedStr(u"plain", u'\''), u"plain");
  EXPECT_EQ(AnsiDequotedStr(u"'open", u'\''), u"open");
}

TEST(CoreStrings, Utf8ConversionKeepsSupplementaryCharacters) {
  const String text = u"a\U0001F600ё";
  EXPECT_EQ(UTF16ToUTF8(text), "a\xF0\x9F\x98\x80\xD1\x91");
  EXPECT_EQ(UTF8ToUTF16(UTF16ToUTF8(text)), text);
  EXPECT_EQ(UTF8ToUTF16("\xE2\x82"), u"\uFFFD\uFFFD");
  EXPECT_EQ(UTF8ToUTF16("\xC0\xAF"), u"\uFFFD\uFFFD");
}
