// The alphabet, keyboard and settings files read step by step the way the
// program reads them, so that a data file that only looks right (a missing
// separator blank, a stray ":" or ";", lines out of pairing) is caught.
#include <algorithm>
#include <map>

#include "tests/tools/test_util.h"

namespace {

const std::string kData = std::string(TAMRIX_SOURCE_DIR) + "/data/";

std::u16string trim(const std::u16string& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= 32) ++b;
  while (e > b && s[e - 1] <= 32) --e;
  return s.substr(b, e - b);
}

// Yields the UTF-16 code units after the two-byte mark; 0 past the end.
struct Utf16Reader {
  explicit Utf16Reader(const std::string& path) : Raw(tooltest::ReadFile(path)) {}
  bool Next(char16_t& c) {
    if (At + 1 >= Raw.size()) return false;
    c = static_cast<char16_t>(static_cast<uint8_t>(Raw[At]) | (static_cast<uint8_t>(Raw[At + 1]) << 8));
    At += 2;
    return true;
  }
  std::string Raw;
  size_t At = 2;
};

}  // namespace

TEST(DataReaders, AlphabetAsTheProgramReadsIt) {
  Utf16Reader in(kData + "other/abc");
  std::vector<std::u16string> languages(16), letters(16);
  size_t count = 0;
  std::u16string collected;
  char16_t c = 0;
  do {
    ASSERT_TRUE(in.Next(c)) << "the file ends before its \"#\"";
    if (c == u':') {
      ASSERT_LT(count, 16u);
      languages[count] = trim(collected);
      collected.clear();
    } else if (c == u'\r') {
      ASSERT_LT(count, 16u);
      const size_t colon = collected.find(u':');
      ASSERT_NE(colon, std::u16string::npos) << "a line without a language name";
      letters[count++] = collected.size() > colon + 2 ? collected.substr(colon + 2) : u"";
      collected.clear();
    }
    collected += c;
  } while (c != u'#');
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(languages[0], u"ru");
  EXPECT_EQ(letters[0], u"АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ0123456789-'.");
  EXPECT_EQ(languages[1], u"en");
  EXPECT_EQ(letters[1], u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-'.");
}

TEST(DataReaders, KeyboardAsTheProgramReadsIt) {
  Utf16Reader in(kData + "other/vk");
  std::vector<std::u16string> tabs;
  std::vector<std::vector<std::u16string>> layouts;  // rows of keys
  std::u16string line;
  char16_t c = 0;
  do {
    ASSERT_TRUE(in.Next(c)) << "the file ends before its \"#\"";
    if (c == u':') {
      tabs.push_back(trim(line));
      line.clear();
    } else if (c == u'\r') {
      const size_t colon = line.find(u':');
      ASSERT_NE(colon, std::u16string::npos);
      std::vector<std::u16string> rows(1);
      for (char16_t k : line.substr(std::min(line.size(), colon + 2))) {
        if (k == u' ') rows.emplace_back();
        else rows.back() += k;
      }
      layouts.push_back(rows);
      line.clear();
    }
    line += c;
  } while (c != u'#');
  // Tab names and layouts pair up by order.
  ASSERT_EQ(tabs.size(), layouts.size());
  ASSERT_EQ(tabs.size(), 2u);
  EXPECT_EQ(tabs[0], u"Русская");
  EXPECT_EQ(layouts[0], (std::vector<std::u16string>{u"ЙЦУКЕНГШЩЗХЪ", u"ФЫВАПРОЛДЖЭ", u"ЯЧСМИТЬБЮЁ", u"%_-'"}));
  EXPECT_EQ(tabs[1], u"English");
  EXPECT_EQ(layouts[1], (std::vector<std::u16string>{u"QWERTYUIOP", u"ASDFGHJKL", u"ZXCVBNM", u"%_-'"}));
}

TEST(DataReaders, SettingsAsTheProgramReadsThem) {
  const std::string text = tooltest::ReadFile(kData + "other/settings");
  std::map<std::string, std::string> values;
  size_t start = 0, lines = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
    const std::string line = text.substr(start, end - start);
    start = end + 2;
    ++lines;
    const size_t p = line.find('='), q = line.find(';');
    ASSERT_NE(p, std::string::npos) << line;
    ASSERT_NE(q, std::string::npos) << line;
    ASSERT_GT(q, p) << line;
    values[line.substr(0, p)] = line.substr(p + 1, q - p - 1);
  }
  EXPECT_EQ(lines, 15u);
  EXPECT_EQ(values.size(), 15u);
  EXPECT_EQ(values["FontSize"], "12");
  EXPECT_EQ(values["FontName"], "DejaVu Sans");
  EXPECT_EQ(values["UseBgColor"], "-1");
  EXPECT_EQ(values["UseFontStyle"], "-1");
  EXPECT_EQ(values["UseSkin"], "0");
}
