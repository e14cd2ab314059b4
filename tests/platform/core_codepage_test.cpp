#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/core/codepage.h"
#include "platform/core/strings.h"

namespace {

String decode(int cp, const RawByteString& bytes) { return CodePageToUnicode(cp, bytes); }

}  // namespace

TEST(CoreCodePage, CyrillicSingleBytePages) {
  EXPECT_EQ(decode(1251, "\xCF\xF0\xE8\xE2\xE5\xF2 \xB8\xA8"), u"Привет ёЁ");
  EXPECT_EQ(decode(866, "\x8F\xE0\xA8\xA2\xA5\xE2 \xF1\xF0"), u"Привет ёЁ");
  EXPECT_EQ(decode(20866, "\xF0\xD2\xC9\xD7\xC5\xD4 \xA3\xB3"), u"Привет ёЁ");
  EXPECT_EQ(decode(21866, "\xA4"), u"є");
  EXPECT_EQ(UnicodeToCodePage(1251, u"Привет ёЁ"), "\xCF\xF0\xE8\xE2\xE5\xF2 \xB8\xA8");
  EXPECT_EQ(UnicodeToCodePage(866, u"ё"), "\xF1");
  EXPECT_EQ(UnicodeToCodePage(20866, u"ё"), "\xA3");
  // Bytes the page leaves undefined decode to U+FFFD, one per byte.
  EXPECT_EQ(decode(1251, RawByteString("a\x98" "b", 3)), u"a\uFFFDb");
  // A zero byte is a character like any other, never the end of the text.
  EXPECT_EQ(decode(1251, RawByteString("a\0b", 3)), String(u"a\0b", 3));
}

TEST(CoreCodePage, EverySingleBytePageRoundTripsItsCharacters) {
  for (int cp : {1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 874, 866, 437, 850, 10000, 20866,
                 21866, 28591, 28592, 28595, 28597, 28599, 28605}) {
    ASSERT_TRUE(IsCodePageSupported(cp)) << cp;
    for (int b = 0; b < 256; ++b) {
      const RawByteString byte(1, char(b));
      const String u = decode(cp, byte);
      ASSERT_EQ(u.size(), 1u) << cp << " " << b;
      if (u[0] == 0xFFFD) continue;
      EXPECT_EQ(UnicodeToCodePage(cp, u), byte) << cp << " " << b;
    }
  }
}

TEST(CoreCodePage, ShiftJisDecodesPairsAndReplacesBadBytes) {
  EXPECT_EQ(decode(932, "\x82\xA0\x93\xFA\x96\x7B\x8C\xEA"), u"あ日本語");
  EXPECT_EQ(decode(932, "\xB1\x41"), u"ｱA");  // half-width katakana is one byte
  // A lead byte before a byte that cannot trail: one U+FFFD, then the
  // following character is kept.
  EXPECT_EQ(decode(932, "\x82\x20" "A"), u"\uFFFD A");
  // An unassigned pair is one bad character, not a bad byte and an "@".
  EXPECT_EQ(decode(932, "\x85\x40" "A"), u"\uFFFDA");
  // A lead byte cut off by the end of the data.
  EXPECT_EQ(decode(932, "A\x82"), u"A\uFFFD");
  EXPECT_EQ(UnicodeToCodePage(932, u"あA日"), "\x82\xA0" "A\x93\xFA");
  EXPECT_EQ(UnicodeToCodePage(932, u"Ё☺"), "\x84\x46?");
}

TEST(CoreCodePage, GbkDecodesPairsAndReplacesBadBytes) {
  EXPECT_EQ(decode(936, "\xC4\xE3\xBA\xC3"), u"你好");
  EXPECT_EQ(decode(936, "\x80"), u"€");
  EXPECT_EQ(decode(936, "\xFF" "A"), u"\uFFFDA");
  EXPECT_EQ(decode(936, "\xC4\x0A"), u"\uFFFD\n");
  EXPECT_EQ(decode(936, "ab\xC4"), u"ab\uFFFD");
  EXPECT_EQ(UnicodeToCodePage(936, u"你好!"), "\xC4\xE3\xBA\xC3!");
}

TEST(CoreCodePage, OtherMultiBytePages) {
  EXPECT_EQ(decode(949, "\xC7\xD1"), u"한");
  EXPECT_EQ(decode(950, "\xA4\xA4"), u"中");
  EXPECT_EQ(decode(20932, "\xA4\xA2"), u"あ");
  // ISO-2022-JP switches sets with escapes, in both directions.
  const RawByteString jis = UnicodeToCodePage(50220, u"Aあ?B");
  EXPECT_EQ(jis, "A\x1B$B$\"\x1B(B?B");
  EXPECT_EQ(decode(50220, jis), u"Aあ?B");
  EXPECT_EQ(decode(50221, "\x1B(I\x31\x1B(BA"), u"ｱA");  // half-width katakana set
  // A replacement is written in the initial shift state.
  EXPECT_EQ(decode(50220, UnicodeToCodePage(50220, u"あ☺")), u"あ?");
}

TEST(CoreCodePage, UnicodeEncodings) {
  EXPECT_EQ(decode(CP_UTF8, "\xD1\x91\xF0\x9F\x98\x80"), u"ё\U0001F600");
  EXPECT_EQ(decode(CP_ACP, "\xD1\x91"), u"ё");
  EXPECT_EQ(UnicodeToCodePage(CP_UTF8, u"ё"), "\xD1\x91");
  EXPECT_EQ(decode(CP_UTF16LE, RawByteString("\x51\x04" "A\0", 4)), u"ёA");
  EXPECT_EQ(decode(CP_UTF16BE, RawByteString("\x04\x51\0A", 4)), u"ёA");
  // An odd last byte is a broken unit.
  EXPECT_EQ(decode(CP_UTF16LE, RawByteString("A\0B", 3)), u"A\uFFFD");
  EXPECT_EQ(UnicodeToCodePage(CP_UTF16LE, u"ё\U0001F600"), RawByteString("\x51\x04\x3D\xD8\x00\xDE", 6));
  EXPECT_EQ(UnicodeToCodePage(CP_UTF16BE, u"ё"), RawByteString("\x04\x51", 2));
}

TEST(CoreCodePage, UnsupportedPagesAndEdgeInput) {
  EXPECT_FALSE(IsCodePageSupported(28602));
  EXPECT_FALSE(IsCodePageSupported(12345));
  EXPECT_EQ(decode(12345, "abc"), u"");
  EXPECT_EQ(UnicodeToCodePage(12345, u"abc"), "");
  EXPECT_EQ(CodePageToUnicode(1251, nullptr, 5), u"");
  EXPECT_EQ(decode(932, ""), u"");
  EXPECT_EQ(ResolveCodePage(CP_ACP), CP_UTF8);
  // Characters a page cannot hold, lone surrogates included.
  EXPECT_EQ(UnicodeToCodePage(1251, u"a\u4E2D\xD800z", '#'), "a##z");
  EXPECT_EQ(UnicodeToCodePage(1251, u"\U0001F600"), "?");
}

TEST(CoreCodePage, ConcurrentConversionsShareConverters) {
  const RawByteString sjis = "\x82\xA0\x93\xFA\x96\x7B\x8C\xEA";
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (decode(932, sjis) != u"あ日本語") ++failures[size_t(t)];
        if (UnicodeToCodePage(936, u"你好") != "\xC4\xE3\xBA\xC3") ++failures[size_t(t)];
      }
    });
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}
