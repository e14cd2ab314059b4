// The reader's character buffers, the selection sinks and the wide-string
// routines.
#include <gtest/gtest.h>

#include "html/model/text_buffers.h"
#include "platform/gui/clipboard.h"

namespace {

TEST(CharBuffers, GrowKeepingEveryCharacterAndIndex) {
  TCharCollection cc;
  EXPECT_EQ(cc.Capacity(), 300);
  for (int i = 0; i < 1000; ++i) cc.Add(char16_t(u'a' + i % 26), i * 2);
  EXPECT_EQ(cc.GetSize(), 1000);
  EXPECT_GE(cc.Capacity(), 1000);
  cc.AddString(u"xyz", 7);
  cc.AddString(u"", 8);
  ASSERT_EQ(cc.GetSize(), 1003);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(cc.Chars[i], char16_t(u'a' + i % 26));
    EXPECT_EQ(cc.Indices[i], i * 2);
  }
  EXPECT_EQ(cc.Chars[1002], u'z');
  EXPECT_EQ(cc.Indices[1001], 7);

  TokenObj tok;
  EXPECT_EQ(tok.GetString(), u"");
  tok.AddUnicodeChar(u'<', 3);
  tok.AddString(cc);
  EXPECT_EQ(tok.Leng, 1004);
  EXPECT_GE(tok.Capacity, 1004);
  EXPECT_EQ(tok.I[0], 3);
  EXPECT_EQ(tok.I[1003], 7);
  const String s = tok.GetString();
  EXPECT_EQ(s.size(), 1004u);
  EXPECT_EQ(s.substr(0, 3), u"<ab");
  EXPECT_EQ(s.substr(1001), u"xyz");

  // Clear keeps the grown capacity for the next token.
  const int grown = tok.Capacity;
  tok.Clear();
  EXPECT_EQ(tok.Capacity, grown);
  EXPECT_EQ(tok.Leng, 0);
  EXPECT_EQ(tok.GetString(), u"");
  tok.AddUnicodeChar(u'q', 1);
  EXPECT_EQ(tok.GetString(), u"q");
}

TEST(CharBuffers, SetCapacityCutsTheToken) {
  TokenObj tok;
  for (char16_t c : String(u"abcdef")) tok.AddUnicodeChar(c, 0);
  EXPECT_EQ(tok.GetString(), u"abcdef");
  tok.SetCapacity(4);
  EXPECT_EQ(tok.Capacity, 4);
  EXPECT_EQ(tok.Leng, 4);
  EXPECT_EQ(tok.GetString(), u"abcd");
  tok.AddUnicodeChar(u'e', 9);
  EXPECT_EQ(tok.GetString(), u"abcde");
}

TEST(SelectionSinks, CountAndCopySkippingPlaceholders) {
  const String text = u"ab\x02" "c\x04" "d";
  SelTextCount count;
  count.AddText(text.data(), int(text.size()));
  count.AddTextCR(u"\x02\x04", 2);
  EXPECT_EQ(count.Terminate(), 6);  // abcd + CR LF

  SelTextCount placeholders;
  placeholders.AddText(u"\x02\x04\x02", 3);
  EXPECT_EQ(placeholders.Terminate(), 0);

  char16_t buf[5] = {u'?', u'?', u'?', u'?', u'?'};
  SelTextBuf sink(buf, 5);
  sink.AddText(u"abcdefg", 7);
  EXPECT_EQ(sink.Terminate(), 5);
  EXPECT_EQ(String(buf), u"abcd");

  char16_t one[1] = {u'?'};
  SelTextBuf tiny(one, 1);
  tiny.AddText(u"abc", 3);
  EXPECT_EQ(tiny.Terminate(), 1);
  EXPECT_EQ(one[0], 0);

  // A buffer without room even for the terminator is never written.
  char16_t guard = u'!';
  SelTextBuf none(&guard, 0);
  none.AddText(u"abc", 3);
  EXPECT_EQ(none.Terminate(), 0);
  EXPECT_EQ(guard, u'!');
}

TEST(SelectionSinks, ClipBufferPutsTheTextOnTheClipboard) {
  ClipBuffer clip(8);
  clip.AddText(u"ab\x02" "c", 4);
  clip.AddTextCR(u"d", 1);
  EXPECT_EQ(clip.Terminate(), 7);
  EXPECT_EQ(Clipboard()->AsText(), u"abcd\r\n");
}

TEST(WideStrings, SearchAndTrim) {
  const char16_t* s = u"hello world";
  EXPECT_EQ(StrPosW(s, u"world"), s + 6);
  EXPECT_EQ(StrPosW(s, u"worlds"), nullptr);
  EXPECT_EQ(StrPosW(s, u""), nullptr);
  EXPECT_EQ(StrPosW(nullptr, u"a"), nullptr);
  EXPECT_EQ(StrPosW(u"ab", u"abc"), nullptr);
  EXPECT_EQ(StrScanW(s, u'o'), s + 4);
  EXPECT_EQ(StrRScanW(s, u'o'), s + 7);
  EXPECT_EQ(StrScanW(s, u'z'), nullptr);
  EXPECT_EQ(StrRScanW(nullptr, u'z'), nullptr);
  EXPECT_EQ(WidePos(u"lo", u"hello"), 4);
  EXPECT_EQ(WidePos(u"x", u"hello"), 0);
  EXPECT_EQ(WidePos(u"", u"hello"), 0);
  EXPECT_TRUE(WideSameStr(u"Ab", u"Ab"));
  EXPECT_FALSE(WideSameStr(u"Ab", u"ab"));
  EXPECT_EQ(WideTrim(u"\t\r\n  a b \x01"), u"a b");
  EXPECT_EQ(WideTrim(u" \x1f "), u"");
  EXPECT_EQ(WideTrim(u"\u00A0x\u00A0"), u"\u00A0x\u00A0");
}

}  // namespace
