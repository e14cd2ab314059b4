// Message texts and codes, and the shared helpers: CRC-32, names, code
// pages, file-spec matching, extra fields.
#include "tests/zip/zip_test_util.h"
#include "zip/zip_central.h"
#include "zip/zip_messages.h"
#include "zip/zip_utils.h"

using namespace ziptest;

TEST(ZipMessages, TextsCodesAndFallbacks) {
  EXPECT_EQ(LoadZipStr(133), u"Error - no zip file specified!");
  EXPECT_EQ(LoadZipStr(23), u"Resource missing for 23");
  EXPECT_EQ(LoadZipStr(59), u"'%s'\r\nwill overwrite\r\n '%s'\r\nRename to '%s'?");
  EXPECT_EQ(LoadZipStr(279), u"US: default");
  EXPECT_EQ(LoadZipStr(267), u"Skipped files");
  EZipArchiver e(-102070405, true);
  EXPECT_EQ(e.Id(), 133);
  EXPECT_EQ(e.FullCode(), 102070405u);
  EXPECT_EQ(e.Message(), u"Error - no zip file specified!");
  EZipArchiver f(ZAMsgCode(1, 10, 129), {String(u"/x/")});
  EXPECT_EQ(f.Message(), u"Extract directory '/x/' must exist");
  // A text that does not fit its arguments is shown as it stands.
  EXPECT_EQ(ZipFormat(129, {42}), u"Extract directory '%s' must exist");
  EXPECT_EQ(SetZipMsgLanguage(u"de"), u"US");
  EXPECT_EQ(GetZipMsgLanguageID(), 1033u);
  EXPECT_EQ(GetZipMsgLanguageInfo(0, -1), u"US: default");
  SetZipLoadStrHandler([](int id, String& text) {
    if (id == 197) text = u"выключен";
  });
  EXPECT_EQ(LoadZipStr(197), u"выключен");
  SetZipLoadStrHandler(nullptr);
  EXPECT_EQ(LoadZipStr(197), u"not Active");
}

TEST(ZipUtils, Crc32Chains) {
  std::string text = "The quick brown fox jumps over the lazy dog";
  uint32_t whole = ZipCRC32(0, text.data(), text.size());
  EXPECT_EQ(whole, 0x414FA339u);
  uint32_t half = ZipCRC32(0, text.data(), 10);
  EXPECT_EQ(ZipCRC32(half, text.data() + 10, text.size() - 10), whole);
  EXPECT_EQ(ZipCRC32(7, nullptr, 5), 7u);
}

TEST(ZipUtils, NamesAndCodePages) {
  EXPECT_EQ(ZipInternalName(u"dir\\a*b.txt"), u"dir/a#$2Ab.txt");
  EXPECT_EQ(ZipInternalName(u"\u043A.txt"), u"#$43A.txt");
  EXPECT_EQ(ZipInternalName(u"\u0441.txt"), u"\u0441.txt");
  RawByteString oem = ZipWideToStr(u"a\u4E2Db", 1);
  EXPECT_EQ(oem, "a#$4E2Db");
  EXPECT_EQ(ZipStrToWide("\xE1\xAB\xAE\xA2\xAE", 1), u"слово");
  EXPECT_EQ(ZipValidUTF8("\xC3"), -1);
  EXPECT_EQ(ZipValidUTF8("\xC3\xA9t\xC3\xA9"), 3);
  EXPECT_EQ(ZipValidUTF8("\xED\xA0\x80"), -1);  // a surrogate
  EXPECT_EQ(ZipValidUTF8("\xC0\xAF"), -1);      // overlong '/'
  EXPECT_EQ(ZipUTF8ToWide("\xCF\xF0\xE8"), u"При");  // not UTF-8: the Windows page
  EXPECT_EQ(ZipUTF8SeqLen(0xFC), 6);
  EXPECT_EQ(ZipUTF8SeqLen(0x80), -1);
  EXPECT_EQ(ZipNameCompare(u"Dir/File.TXT", u"dir\\file.txt"), 0);
  EXPECT_EQ(ZipNameHash(u"Dir/File.TXT"), ZipNameHash(u"DIR\\FILE.txt"));
}

TEST(ZipUtils, FileSpecMatching) {
  EXPECT_TRUE(FileNameMatch(u"*.TXT|readme", u"Readme"));
  EXPECT_TRUE(FileNameMatch(u"*.TXT|readme", u"docs\\A.txt"));
  EXPECT_TRUE(FileNameMatch(u"*.TXT|readme", u"docs/A.txt"));
  EXPECT_FALSE(FileNameMatch(u"*.TXT|readme", u"a.txt.bak"));
  EXPECT_TRUE(FileNameMatch(u"*.*", u"anything"));
  EXPECT_TRUE(FileNameMatch(u" a?c.t*", u"abc.tamrix"));
  EXPECT_FALSE(FileNameMatch(u"a?c", u"a\\c"));
  EXPECT_TRUE(FileNameMatch(u"name.", u"name"));
  EXPECT_FALSE(FileNameMatch(u"name.", u"name.txt"));
}

TEST(ZipUtils, ExtraFields) {
  std::string x;
  put16(x, 0x5455);
  put16(x, 1);
  x += 'T';
  put16(x, 0x7075);
  put16(x, 3);
  x += "abc";
  EXPECT_EQ(ZipXData(x, 0x7075), "abc");
  EXPECT_TRUE(ZipXHasTag(x, 0x5455));
  EXPECT_EQ(ZipXRemove(x, {0x5455}), x.substr(5));
  EXPECT_EQ(ZipXKeep(x, {0x5455}), x.substr(0, 5));
  // A block that runs past the field ends the search.
  std::string broken = x.substr(0, 5);
  put16(broken, 0x7075);
  put16(broken, 40);
  broken += "ab";
  EXPECT_EQ(ZipXData(broken, 0x7075), "");
  EXPECT_EQ(TZADirHashList::SizeFor(13000), 12289);
  EXPECT_EQ(TZADirHashList::SizeFor(100), 131);
  EXPECT_EQ(TZADirHashList::SizeFor(100000), 65537);
}

TEST(ZipUtils, DosDates) {
  uint32_t dos = 0x5A8E6000;  // 2025-04-14 12:00:00
  TDateTime t = ZipDosToDateTime(dos);
  EXPECT_EQ(ZipDateTimeToDos(t), dos);
  EXPECT_EQ(ZipDosToDateTime(0), 0);  // month 0 is no date
}
