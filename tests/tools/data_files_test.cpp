// Checks of the data folder the program reads beside its executable, done
// the way the program reads each file.
#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

#include "platform/core/strings.h"
#include "tests/tools/test_util.h"

namespace fs = std::filesystem;

namespace {

const std::string kData = std::string(TAMRIX_SOURCE_DIR) + "/data/";

struct Entry {
  std::u16string Name, Letters;
};

// Reads a UTF-16LE file of "name: letters" lines ended by "#", skipping the
// byte-order mark, as the alphabet and keyboard readers do.
std::vector<Entry> readUtf16Entries(const std::string& path, bool& sawHash) {
  const std::string raw = tooltest::ReadFile(path);
  std::vector<Entry> entries;
  sawHash = false;
  if (raw.size() < 2 || raw.compare(0, 2, "\xFF\xFE") != 0) return entries;
  std::u16string text;
  for (size_t i = 2; i + 1 < raw.size(); i += 2)
    text += static_cast<char16_t>(static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8));
  std::u16string collected;
  for (char16_t c : text) {
    if (c == u'#') {
      sawHash = true;
      break;
    }
    if (c == u':') {
      size_t b = 0, e = collected.size();
      while (b < e && collected[b] <= 32) ++b;
      while (e > b && collected[e - 1] <= 32) --e;
      entries.push_back({collected.substr(b, e - b), u""});
      collected.clear();
    } else if (c == u'\r') {
      if (!entries.empty() && collected.size() >= 2) entries.back().Letters = collected.substr(2);
      collected.clear();
      continue;
    }
    collected += c;
  }
  return entries;
}

bool validUtf8(const std::string& s) {
  return UTF16ToUTF8(UTF8ToUTF16(s)) == s && s.find("\xEF\xBF\xBD") == std::string::npos;
}

}  // namespace

TEST(DataFiles, SettingsHoldAllKeysInOrderWithReadableValues) {
  const std::string text = tooltest::ReadFile(kData + "other/settings");
  const std::vector<std::string> keys = {"HideToSysTray", "AutoStart",      "MinimizeAtClosing", "FontColor",
                                         "FontSize",      "FontName",       "BgColor",           "WordAutoSelect",
                                         "UseSkin",       "UseBgColor",     "UseFontStyle",      "CurrentSkin",
                                         "MainFormWidth", "MainFormHeight", "UseCtrlC"};
  const std::regex line("([A-Za-z]+)=([^;]*);\r\n");
  std::vector<std::string> seen;
  std::map<std::string, std::string> values;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it) {
    seen.push_back((*it)[1]);
    values[(*it)[1]] = (*it)[2];
  }
  EXPECT_EQ(seen, keys);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 15);
  for (const char* b : {"HideToSysTray", "AutoStart", "MinimizeAtClosing", "WordAutoSelect", "UseSkin",
                        "UseBgColor", "UseFontStyle", "UseCtrlC"})
    EXPECT_TRUE(values[b] == "0" || values[b] == "-1") << b;
  EXPECT_EQ(values["HideToSysTray"], "0");
  EXPECT_EQ(values["WordAutoSelect"], "-1");
  EXPECT_EQ(values["UseCtrlC"], "-1");
  EXPECT_EQ(values["BgColor"], "clWhite");
  EXPECT_EQ(values["FontColor"], "clBlack");
  EXPECT_EQ(values["CurrentSkin"], "noSkin");
  EXPECT_EQ(values["MainFormWidth"], "800");
  EXPECT_EQ(values["MainFormHeight"], "600");
  EXPECT_GE(std::stoi(values["FontSize"]), 9);
  EXPECT_FALSE(values["FontName"].empty());
}

TEST(DataFiles, AlphabetHoldsRussianAndEnglish) {
  bool hash = false;
  const auto entries = readUtf16Entries(kData + "other/abc", hash);
  EXPECT_TRUE(hash);
  ASSERT_GE(entries.size(), 2u);
  EXPECT_LE(entries.size(), 16u);
  std::map<std::u16string, std::u16string> byName;
  for (const auto& e : entries) byName[e.Name] = e.Letters;
  ASSERT_TRUE(byName.count(u"ru") && byName.count(u"en"));
  for (char16_t c = u'А'; c <= u'Я'; ++c) EXPECT_NE(byName[u"ru"].find(c), std::u16string::npos);
  EXPECT_NE(byName[u"ru"].find(u'Ё'), std::u16string::npos);  // so that "ё" words count as Russian
  for (char16_t c = u'A'; c <= u'Z'; ++c) EXPECT_NE(byName[u"en"].find(c), std::u16string::npos);
  // Letters are upper case: the search upper-cases the word before the test.
  for (const auto& e : entries)
    for (char16_t c : e.Letters) EXPECT_FALSE((c >= u'a' && c <= u'z') || (c >= u'а' && c <= u'я'));
}

TEST(DataFiles, KeyboardLayoutsFitTheWindow) {
  bool hash = false;
  const auto layouts = readUtf16Entries(kData + "other/vk", hash);
  EXPECT_TRUE(hash);
  ASSERT_GE(layouts.size(), 2u);
  EXPECT_LE(layouts.size(), 16u);
  size_t keys = 0;
  for (const auto& l : layouts) {
    EXPECT_FALSE(l.Name.empty());
    int row = 1, column = 1;
    for (char16_t k : l.Letters) {
      if (k == u' ') {
        ++row;
        column = 1;
        continue;
      }
      ++keys;
      const int left = 15 + 30 * (column - 1) + (row < 4 ? 15 * (row - 1) : 0);
      const int top = 50 + 30 * (row - 1) + (row == 4 ? 7 : 0);
      // Inside the tab (499 wide) and above its bottom row of buttons.
      EXPECT_LE(left + 28, 499);
      EXPECT_LE(top + 28, 180);
      ++column;
    }
  }
  EXPECT_LE(keys, 512u);
  EXPECT_GE(keys, 60u);
}

TEST(DataFiles, PageTemplates) {
  const auto about = tooltest::ReadFile(kData + "other/about_dictionary.html");
  EXPECT_TRUE(validUtf8(about));
  EXPECT_GE(std::count(about.begin(), about.end(), '\n'), 10);
  EXPECT_LE(std::count(about.begin(), about.end(), '\n'), 20);
  const auto nothing = tooltest::ReadFile(kData + "other/nothing.html");
  EXPECT_TRUE(validUtf8(nothing));
  EXPECT_FALSE(nothing.empty());
  // Lines are joined without breaks: none may end inside a word.
  std::istringstream lines(nothing);
  for (std::string l; std::getline(lines, l);)
    if (!l.empty()) {
      EXPECT_EQ(l.back(), '>') << l;
    }

  const auto css = tooltest::ReadFile(kData + "help/template.css");
  for (const char* p : {"_HtmlBgColor_", "_HtmlTextColor_", "_FontSize_", "_FontName_"}) {
    EXPECT_NE(css.find(p), std::string::npos) << p;
    // Only the first occurrence on a line is replaced.
    std::istringstream in(css);
    for (std::string l; std::getline(in, l);) {
      const size_t at = l.find(p);
      if (at != std::string::npos) {
        EXPECT_EQ(l.find(p, at + 1), std::string::npos) << l;
      }
    }
  }
}

TEST(DataFiles, HelpPagesLinkToExistingPagesAndTheStyleSheet) {
  const std::regex href("href=\"([^\"]*)\"");
  int pages = 0;
  for (const auto& f : fs::directory_iterator(kData + "help")) {
    if (f.path().extension() != ".html") continue;
    ++pages;
    const std::string page = tooltest::ReadFile(f.path().string());
    EXPECT_TRUE(validUtf8(page)) << f.path();
    EXPECT_NE(page.find("charset=utf-8"), std::string::npos) << f.path();
    bool style = false;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), href); it != std::sregex_iterator(); ++it) {
      const std::string target = (*it)[1];
      if (target == "style.css") {
        style = true;
        continue;
      }
      // Every link stays inside the help pages: ".html" links are followed
      // by the viewer, anything else would start a search.
      ASSERT_NE(target.find(".html"), std::string::npos) << f.path() << ": " << target;
      EXPECT_TRUE(fs::exists(kData + "help/" + target)) << f.path() << ": " << target;
    }
    EXPECT_TRUE(style) << f.path();
  }
  EXPECT_TRUE(fs::exists(kData + "help/index.html"));
  EXPECT_GE(pages, 5);
}
