// The source buffer: encoding detection, decoding per code page, and the
// agreement of its three ways of reading (character by character, a range,
// the rest at once).
#include <gtest/gtest.h>

#include <cctype>

#include <string>

#include "html/parse/html_common.h"
#include "html/parse/source_buffer.h"
#include "platform/core/codepage.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"

namespace {

std::unique_ptr<TBuffer> bufferOf(const std::string& bytes) {
  return TBuffer::CreateFromBytes(bytes.data(), bytes.size(), u"page.htm");
}

// Everything NextChar yields until the end of the data (a 0 byte is data).
String readAll(TBuffer& b) {
  String s;
  while (b.GetPosition() < b.Size()) {
    const int before = b.GetPosition();
    const char16_t c = b.NextChar();
    if (b.GetPosition() == before) break;
    s.push_back(c);
  }
  return s;
}

struct DecodeCase {
  const char* what;
  int codePage;  // 0: as detected
  std::string bytes;
  String text;
};

class Decoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, NextCharRangeAndReadToEndAgree) {
  const DecodeCase& c = GetParam();
  auto b = bufferOf(c.bytes);
  if (c.codePage) b->SetCodePage(c.codePage);
  const int start = b->GetPosition();
  EXPECT_EQ(readAll(*b), c.text) << c.what;
  EXPECT_EQ(b->NextChar(), 0) << c.what;
  EXPECT_EQ(b->GetString(start, b->Size()), c.text) << c.what;
  b->SetPosition(start);
  EXPECT_EQ(b->ReadToEnd(), c.text) << c.what;
  EXPECT_EQ(b->GetPosition(), b->Size());
  // Reading a second time gives the same text.
  b->SetPosition(start);
  EXPECT_EQ(b->ReadToEnd(), c.text) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, Decoding,
    testing::Values(
        DecodeCase{"1251", 1251, "\xcf\xf0\xe8\xe2\xe5\xf2", u"Привет"},
        DecodeCase{"866", 866, "\x8f\xe0\xa8\xa2\xa5\xe2", u"Привет"},
        DecodeCase{"KOI8-R", 20866, "\xf0\xd2\xc9\xd7\xc5\xd4", u"Привет"},
        DecodeCase{"KOI8-U", 21866, "\xbd\xc1\xce\xcf\xcb", u"Ґанок"},
        DecodeCase{"ISO 8859-15 euro", 28605, "\xa4", u"€"},
        DecodeCase{"Shift_JIS with a backslash trail", 932, "\x93\xfa\x96\x7b\x83\x5c", u"日本ソ"},
        DecodeCase{"Shift_JIS lead without trail", 932, "\x93<", u"\uFFFD<"},
        DecodeCase{"Shift_JIS lead at the end", 932, "a\x93", u"a\uFFFD"},
        DecodeCase{"GB2312", 936, "\xd6\xd0\xce\xc4", u"中文"},
        DecodeCase{"Korean", 949, "\xc7\xd1\xb1\xb9", u"한국"},
        DecodeCase{"Big5", 950, "\xa4\xa4\xa4\xe5", u"中文"},
        DecodeCase{"EUC-JP", 20932, "\xc6\xfc\xcb\xdc", u"日本"},
        DecodeCase{"UTF-8 by default", 0, "a\xc3\xa9\xe2\x82\xac", u"aé€"},
        DecodeCase{"UTF-8 four bytes", 65001, "<\xf0\x9f\x98\x80>", u"<\U0001F600>"},
        DecodeCase{"UTF-8 bad continuation", 65001, "\xc3(", u"\uFFFD("},
        DecodeCase{"UTF-8 stray continuation", 65001, "\x80x", u"\uFFFDx"},
        DecodeCase{"UTF-8 cut short", 65001, "x\xe2\x82", u"x\uFFFD"},
        DecodeCase{"UTF-8 four bytes cut short", 65001, "\xf0\x9f\x98", u"\uFFFD"},
        DecodeCase{"UTF-8 overlong", 65001, "\xc0\xaf", u"\uFFFD\uFFFD"},
        DecodeCase{"UTF-8 encoded surrogate", 65001, "\xed\xa0\x80", u"\uFFFD\uFFFD\uFFFD"},
        DecodeCase{"UTF-8 beyond U+10FFFF", 65001, "\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        DecodeCase{"UTF-8 byte-order mark", 0, "\xef\xbb\xbfz\xc3\xa9", u"zé"},
        DecodeCase{"no UTF-8 mark without BF", 0, "\xef\xbb" "A", u"\uFFFD" "A"},
        DecodeCase{"UTF-16LE mark", 0, std::string("\xff\xfeh\0i\0", 6), u"hi"},
        DecodeCase{"UTF-16BE mark", 0, std::string("\xfe\xff\0h\0i", 6), u"hi"},
        DecodeCase{"UTF-16LE odd byte", 0, std::string("\xff\xfeh\0i", 5), u"h"},
        DecodeCase{"UTF-16LE mark and one byte", 0, "\xff\xfe" "A", u""},
        DecodeCase{"ISO-2022-JP", 0, "a\x1b$BF|K\\\x1b(Bb", u"a日本b"},
        DecodeCase{"ISO-2022-JP line end in kanji", 0, "\x1b$BF|\nK\\\x1b(B", u"日\n本"},
        DecodeCase{"unsupported page read as UTF-8", 12345, "\xc3\xa9", u"é"}),
    [](const testing::TestParamInfo<DecodeCase>& info) {
      // Readable, stable case names for ctest instead of the object's bytes.
      std::string name;
      for (char ch : std::string(info.param.what))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name + "_" + std::to_string(info.index);
    });

// Text encoded by the platform's converter reads back the same through the
// buffer: every lead byte takes its trail byte with it, including trail
// bytes that look like ASCII ("\\", "@", "|").
TEST(SourceBuffer, DoubleBytePagesReadBackWhatWasWritten) {
  const std::pair<int, String> cases[] = {
      {932, u"<p class=x>日本語のテキスト、カタカナ ｶﾀｶﾅ 表示 ソ能 \\ end</p>"},
      {936, u"<b>中文简体字 ABC 乘客</b>"},
      {949, u"한국어 텍스트 abc 각"},
      {950, u"繁體中文 許功蓋 abc"},
      {1361, u"한국어 abc"},
      {20932, u"日本語 ｶﾀｶﾅ 丂 abc"},
  };
  for (const auto& [cp, text] : cases) {
    const std::string bytes = UnicodeToCodePage(cp, text);
    ASSERT_FALSE(bytes.empty()) << cp;
    auto b = bufferOf(bytes);
    b->SetCodePage(cp);
    EXPECT_EQ(readAll(*b), text) << cp;
    b->SetPosition(0);
    EXPECT_EQ(b->ReadToEnd(), text) << cp;
  }
}

TEST(SourceBuffer, ByteOrderMarksLockTheCodePage) {
  auto le = bufferOf(std::string("\xff\xfe" "a\0", 4));
  EXPECT_EQ(le->CodePage(), CodePageUtf16LE);
  EXPECT_EQ(le->CharSet(), CharSetUtf16);
  EXPECT_EQ(le->GetPosition(), 2);
  le->SetCodePage(1251);
  EXPECT_EQ(le->CodePage(), CodePageUtf16LE);
  EXPECT_EQ(le->NextChar(), u'a');

  auto utf8 = bufferOf("\xef\xbb\xbf<");
  EXPECT_EQ(utf8->CodePage(), 65001);
  EXPECT_EQ(utf8->GetPosition(), 3);
  EXPECT_TRUE(utf8->CodePageLocked());

  auto jis = bufferOf("\x1b$BF|\x1b(B");
  EXPECT_EQ(jis->CodePage(), CodePageIso2022JP);
  EXPECT_EQ(jis->CharSet(), 128);

  // Only a kanji escape followed by a return to ASCII counts.
  auto notJis = bufferOf("\x1b(B\x1b$B");
  EXPECT_EQ(notJis->CodePage(), 0);
  EXPECT_FALSE(notJis->CodePageLocked());

  auto plain = bufferOf("\xef\xbb" "A");
  EXPECT_EQ(plain->GetPosition(), 0);
  EXPECT_EQ(plain->CharSet(), 1);
  plain->SetCodePage(1252);
  plain->SetCharSet(0);
  EXPECT_EQ(plain->CodePage(), 1252);
  EXPECT_EQ(plain->CharSet(), 0);
  EXPECT_EQ(plain->NextChar(), u'ï');
}

TEST(SourceBuffer, StringSourceKeepsEveryUnit) {
  const String text = u"a\U0001F600б";
  auto b = TBuffer::CreateFromString(text, u"x");
  EXPECT_EQ(b->Size(), 8);
  EXPECT_EQ(b->CodePage(), CodePageUtf16LE);
  EXPECT_TRUE(b->CodePageLocked());
  EXPECT_EQ(b->Name(), u"x");
  EXPECT_EQ(b->ReadToEnd(), text);
  EXPECT_EQ(b->ReadToEnd(), u"");
  b->Reset();
  EXPECT_EQ(b->PeekChar(), u'a');
  EXPECT_EQ(b->GetPosition(), 0);
  EXPECT_EQ(b->GetString(2, 6), u"\U0001F600");
  EXPECT_EQ(b->GetPosition(), 0);
}

TEST(SourceBuffer, PositionsAroundAFourByteCharacter) {
  auto b = bufferOf("\xf0\x9f\x98\x80!");
  b->SetCodePage(65001);
  EXPECT_EQ(b->PeekChar(), 0xD83D);
  EXPECT_EQ(b->NextChar(), 0xD83D);
  const int middle = b->GetPosition();
  EXPECT_EQ(b->PeekChar(), 0xDE00);
  EXPECT_EQ(b->NextChar(), 0xDE00);
  EXPECT_EQ(b->NextChar(), u'!');
  // Going back to the saved position gives the second half again.
  b->SetPosition(middle);
  EXPECT_EQ(b->NextChar(), 0xDE00);
  // A range that ends inside the character still gives both halves.
  EXPECT_EQ(b->GetString(0, 1), u"\U0001F600");
  b->SetPosition(-5);
  EXPECT_EQ(b->GetPosition(), 0);
  b->SetPosition(1000);
  EXPECT_EQ(b->GetPosition(), b->Size());
  EXPECT_EQ(b->NextChar(), 0);
  EXPECT_EQ(b->GetString(3, 1), u"");
}

TEST(SourceBuffer, CodePageChangesOnlyTheTextAfterIt) {
  // A meta charset met half way switches the decoding of what follows.
  auto b = bufferOf("ab\xcf\xf0");
  EXPECT_EQ(b->NextChar(), u'a');
  EXPECT_EQ(b->NextChar(), u'b');
  b->SetCodePage(1251);
  EXPECT_EQ(b->NextChar(), u'П');
  EXPECT_EQ(b->NextChar(), u'р');
  EXPECT_EQ(b->GetString(0, 4), u"abПр");
}

TEST(SourceBuffer, UndeclaredUtf8ReportsItsCodePage) {
  std::string many;
  for (int i = 0; i < 20; ++i) many += "\xd0\xb6";
  auto b = bufferOf(many);
  EXPECT_EQ(b->CodePage(), 0);
  EXPECT_EQ(b->ReadToEnd(), String(20, u'ж'));
  EXPECT_EQ(b->CodePage(), 65001);
  EXPECT_EQ(b->CharSet(), 1);

  std::string few(100, 'a');
  few += "\xd0\xb6";
  auto f = bufferOf(few);
  EXPECT_EQ(f->ReadToEnd(), String(100, u'a') + u"ж");
  EXPECT_EQ(f->CodePage(), 0);

  auto declared = bufferOf(many);
  declared->SetCodePage(1252);
  EXPECT_EQ(declared->ReadToEnd().size(), 40u);
  EXPECT_EQ(declared->CodePage(), 1252);
}

TEST(SourceBuffer, StreamSourceStartsAtTheStreamPosition) {
  TMemoryStream stream;
  const std::string bytes("skip\xff\xfeo\0k\0", 10);
  stream.Write(bytes.data(), std::int64_t(bytes.size()));
  stream.SetPosition(4);
  auto b = TBuffer::CreateFromStream(stream, u"s.htm");
  EXPECT_EQ(b->Size(), 6);
  EXPECT_EQ(b->CodePage(), CodePageUtf16LE);
  EXPECT_EQ(b->ReadToEnd(), u"ok");
  EXPECT_EQ(b->Name(), u"s.htm");
}

TEST(SourceBuffer, EmptyAndNullSources) {
  auto b = TBuffer::CreateFromBytes(nullptr, 10, u"");
  EXPECT_EQ(b->Size(), 0);
  EXPECT_EQ(b->NextChar(), 0);
  EXPECT_EQ(b->ReadToEnd(), u"");
  auto s = TBuffer::CreateFromString(u"", u"");
  EXPECT_EQ(s->NextChar(), 0);
}

TEST(Charsets, NamesFromPages) {
  struct Case {
    const char16_t* name;
    int charSet;
    int codePage;
  };
  const Case cases[] = {
      {u"windows-1251", 204, 1251}, {u"WINDOWS-1252", 0, 1252},  {u"iso-8859-1", 0, 1252},
      {u"ISO-8859-15", 0, 28605},   {u"iso-8859-5", 204, 28595}, {u"iso-8859-2", 31, 28592},
      {u"iso-8859-13", 186, 28603}, {u"koi8-r", 204, 20866},     {u"KOI8-U", 204, 21866},
      {u"ibm866", 204, 866},        {u"cp866", 204, 866},        {u"euc-jp", 128, 20932},
      {u"Shift_JIS", 128, 932},     {u"x-sjis", 128, 932},       {u"gb2312", 134, 936},
      {u"big5", 136, 950},          {u"ks_c_5601-1987", 129, 949}, {u"utf-8", 1, 65001},
      {u"UTF-16LE", 1, CodePageUtf16LE}, {u"utf-16be", 1, CodePageUtf16BE}, {u"default", 1, 0},
      {u"symbol", 2, 0},            {u"oem", 255, 1},            {u"tis-620", 222, 874},
  };
  for (const Case& c : cases) {
    const TBuffCharSetCodePageInfo* info = GetCharSetCodePageInfo(c.name);
    const UTF8String name = UTF16ToUTF8(c.name);
    ASSERT_NE(info, nullptr) << name;
    EXPECT_EQ(info->CharSet(), c.charSet) << name;
    EXPECT_EQ(info->CodePage(), c.codePage) << name;
  }
  EXPECT_EQ(GetCharSetCodePageInfo(u"klingon"), nullptr);
  EXPECT_EQ(GetCharSetCodePageInfo(u""), nullptr);
}

TEST(Charsets, PairsBothWays) {
  EXPECT_EQ(CharSetToCodePage(0), 1252);
  EXPECT_EQ(CharSetToCodePage(204), 1251);
  EXPECT_EQ(CharSetToCodePage(31), 28592);
  EXPECT_EQ(CharSetToCodePage(255), 1);
  EXPECT_EQ(CodePageToCharSet(0), 1);
  EXPECT_EQ(CodePageToCharSet(1251), 204);
  EXPECT_EQ(CodePageToCharSet(28592), 31);
  // Every code page the name table hands out has a charset.
  for (int cp : {866, 20866, 21866, 28595, 28605, 20932, 65001, CodePageUtf16LE, CodePageUtf16BE,
                 CodePageIso2022JP})
    EXPECT_NO_THROW(CodePageToCharSet(cp)) << cp;
  EXPECT_NO_THROW(CharSetToCodePage(30));
  try {
    CharSetToCodePage(99);
    FAIL();
  } catch (const EConversionError& e) {
    EXPECT_STREQ(e.what(), "Don't know equivalent code page for char set 99.");
  }
  try {
    CodePageToCharSet(4242);
    FAIL();
  } catch (const EConversionError& e) {
    EXPECT_STREQ(e.what(), "Don't know equivalent char set for code page 4242.");
  }
}

TEST(HtmlCommon, CaseFoldingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(htLowerCase(u"AbZ-ПРИВЕТ-É"), u"abz-ПРИВЕТ-É");
  EXPECT_EQ(htUpperCase(u"abz-привет"), u"ABZ-привет");
}

TEST(HtmlCommon, PaletteEntries) {
  const auto p = ViewerPaletteEntries();
  EXPECT_EQ(p[10].Red, 0x37);
  EXPECT_EQ(p[11].Red, 0x73);
  EXPECT_EQ(p[224].Red, 0xEB);  // the last cube entry next to white
  EXPECT_EQ(p[224].Blue, 0xFF);
  EXPECT_EQ(p[225].Red, 135);
  EXPECT_EQ(p[244].Red, 245);
  EXPECT_EQ(p[245].Blue, 254);
  EXPECT_EQ(ColorDepthClass(4), 4);
  EXPECT_EQ(ColorDepthClass(8), 8);
  EXPECT_EQ(ColorDepthClass(32), 24);
  EXPECT_EQ(PalRelative, 0u);
}

}  // namespace
