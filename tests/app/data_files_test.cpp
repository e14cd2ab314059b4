// The settings, alphabet and dictionary list files.
#include "app/data_files.h"

#include "platform/core/exception.h"
#include "platform/core/strings.h"
#include "tests/app/app_test_util.h"

using apptest::readFile;
using apptest::temporariesIn;
using apptest::writeFile;

namespace {
class DataFiles : public apptest::ProgramFolder {};
}  // namespace

TEST_F(DataFiles, SettingsReadInAnyOrderAndBadValuesKeepTheirDefaults) {
  writeFile(Dir / "other/settings",
            "FontSize=12;\r\nUnknown=5;\r\nBgColor=$00FFE0C0;\r\nFontColor=clNavy;\r\nUseCtrlC=True;\r\n"
            "HideToSysTray=-1;\r\nWordAutoSelect=maybe;\r\nMainFormWidth=;\r\nMainFormHeight=640\r\n"
            "FontName=DejaVu Sans;\r\n");
  TAppSettings s;
  s.WordAutoSelect = true;
  s.MainFormWidth = 782;
  std::vector<String> keys;
  ReadSettingsFile(u"other/settings", s, [&](const String& k) { keys.push_back(k); });
  EXPECT_EQ(s.FontSize, 12);
  EXPECT_EQ(s.BgColor, TColor(0x00FFE0C0));
  EXPECT_EQ(s.FontColor, clNavy);
  EXPECT_TRUE(s.UseCtrlC);
  EXPECT_TRUE(s.HideToSysTray);
  EXPECT_EQ(s.FontName, u"DejaVu Sans");
  // A value that does not convert, and a line without ";", change nothing.
  EXPECT_TRUE(s.WordAutoSelect);
  EXPECT_EQ(s.MainFormWidth, 782);
  EXPECT_EQ(s.MainFormHeight, 0);
  EXPECT_EQ(keys, (std::vector<String>{u"FontSize", u"BgColor", u"FontColor", u"UseCtrlC", u"HideToSysTray",
                                       u"FontName"}));
  EXPECT_THROW(ReadSettingsFile(u"other/missing", s), EInOutError);
}

TEST_F(DataFiles, SettingsWrittenWholeReadBackTheSame) {
  TAppSettings s;
  s.HideToSysTray = true;
  s.FontColor = clBlack;
  s.BgColor = TColor(0x00123456);
  s.FontSize = 14;
  s.FontName = u"Lucida Sans Unicode";
  s.WordAutoSelect = true;
  s.UseBgColor = true;
  s.CurrentSkin = u"noSkin";
  s.MainFormWidth = 900;
  s.MainFormHeight = 700;
  WriteSettingsFile(u"other/settings", s);
  EXPECT_EQ(readFile(Dir / "other/settings"),
            "HideToSysTray=-1;\r\nAutoStart=0;\r\nMinimizeAtClosing=0;\r\nFontColor=clBlack;\r\nFontSize=14;\r\n"
            "FontName=Lucida Sans Unicode;\r\nBgColor=$00123456;\r\nWordAutoSelect=-1;\r\nUseSkin=0;\r\n"
            "UseBgColor=-1;\r\nUseFontStyle=0;\r\nCurrentSkin=noSkin;\r\nMainFormWidth=900;\r\n"
            "MainFormHeight=700;\r\nUseCtrlC=0;\r\n");
  TAppSettings back;
  ReadSettingsFile(u"other/settings", back);
  EXPECT_EQ(back.BgColor, s.BgColor);
  EXPECT_EQ(back.FontName, s.FontName);
  EXPECT_EQ(back.MainFormHeight, 700);
  EXPECT_TRUE(back.HideToSysTray && back.WordAutoSelect && back.UseBgColor && !back.UseCtrlC);
  // Written through a temporary file that replaces the old one: nothing is
  // left beside it.
  EXPECT_TRUE(temporariesIn(Dir / "other").empty());
  // A folder that cannot be written reports the failure.
  EXPECT_THROW(WriteSettingsFile(u"nowhere/settings", s), EInOutError);
}

TEST_F(DataFiles, AlphabetEntriesLimitsAndEndOfFile) {
  TAlphabetEntry e[16];
  writeFile(Dir / "a1", apptest::utf16File(u"ru: АБВ\r\n#"));
  ASSERT_EQ(ReadAlphabetFile(u"a1", e, 16), 1);
  EXPECT_EQ(e[0].Language, u"ru");
  EXPECT_EQ(e[0].Letters, u"АБВ");

  // More than sixteen entries: the first sixteen; no "#": the end ends it.
  std::u16string many;
  for (int i = 0; i < 20; ++i) many += u"l" + std::u16string(1, char16_t(u'a' + i)) + u": XY\r\n";
  writeFile(Dir / "a2", apptest::utf16File(many));
  TAlphabetEntry f[16];
  ASSERT_EQ(ReadAlphabetFile(u"a2", f, 16), 16);
  EXPECT_EQ(f[15].Language, u"lp");
  EXPECT_EQ(f[15].Letters, u"XY");

  writeFile(Dir / "a3", apptest::utf16File(u"en: AB\r\nru: В"));
  TAlphabetEntry g[16];
  EXPECT_EQ(ReadAlphabetFile(u"a3", g, 16), 1);
  EXPECT_EQ(ReadAlphabetFile(u"missing", g, 16), 0);
  // A half character at the end is not read past.
  writeFile(Dir / "a4", std::string("\xFF\xFEr\0u\0:\0 \0A\0\r\0\n", 15));
  EXPECT_EQ(ReadAlphabetFile(u"a4", g, 16), 1);
  EXPECT_EQ(g[0].Letters, u"A");
}

TEST_F(DataFiles, ListLinesSplitAtTheLastBlank) {
  EXPECT_EQ(SplitDictListLine(u"en-ru 1").Name, u"en-ru");
  EXPECT_EQ(SplitDictListLine(u"my dict 1").Name, u"my dict");
  EXPECT_EQ(SplitDictListLine(u"my dict 1").Flag, u"1");
  EXPECT_EQ(SplitDictListLine(u"lonely").Name, u"");
  EXPECT_EQ(SplitDictListLine(u"lonely").Flag, u"lonely");
  writeFile(Dir / "list", "a b 1\r\n\r\nc 0\r\n");
  const auto entries = ReadDictListFile(u"list");
  ASSERT_EQ(entries.size(), 2u);
  WriteDictListFile(u"list2", entries);
  EXPECT_EQ(readFile(Dir / "list2"), "a b 1\r\nc 0\r\n");
}

TEST_F(DataFiles, AFullDiskLeavesTheListAndTheSettingsAsTheyWere) {
  const std::string list = "second 1\r\nfirst 0\r\n";
  writeFile(Dir / "dictionaries/dictionaries._", list);
  writeFile(Dir / "other/settings", "FontSize=12;\r\n");
  const std::vector<DPType> entries{{u"new", u"1"}, {u"second", u"1"}, {u"first", u"0"}};
  TAppSettings s;
  {
    apptest::FileSizeLimit full(8);
    try {
      WriteDictListFile(u"dictionaries/dictionaries._", entries);
      ADD_FAILURE() << "a failed write was reported as success";
    } catch (const EInOutError& e) {
      EXPECT_NE(UTF16ToUTF8(e.Message()).find(Dir.string() + "/dictionaries/dictionaries._"), std::string::npos)
          << UTF16ToUTF8(e.Message());
    }
    EXPECT_THROW(WriteSettingsFile(u"other/settings", s), EInOutError);
  }
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), list);
  EXPECT_EQ(readFile(Dir / "other/settings"), "FontSize=12;\r\n");
  EXPECT_TRUE(temporariesIn(Dir / "dictionaries").empty());
  EXPECT_TRUE(temporariesIn(Dir / "other").empty());
  // With room again the list is replaced whole.
  WriteDictListFile(u"dictionaries/dictionaries._", entries);
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "new 1\r\nsecond 1\r\nfirst 0\r\n");
}

TEST_F(DataFiles, AMissingListListsNothingAndAnUnreadableOneIsNamed) {
  std::filesystem::remove(Dir / "dictionaries/dictionaries._");
  EXPECT_TRUE(ReadDictListFile(u"dictionaries/dictionaries._").empty());
  EXPECT_TRUE(ReadDictListFile(u"nowhere/dictionaries._").empty());
  // A folder in its place cannot be read, by root either.
  std::filesystem::create_directories(Dir / "dictionaries/dictionaries._");
  try {
    ReadDictListFile(u"dictionaries/dictionaries._");
    ADD_FAILURE() << "a folder read as a list";
  } catch (const EInOutError& e) {
    EXPECT_NE(UTF16ToUTF8(e.Message()).find("dictionaries/dictionaries._"), std::string::npos);
  }
}
