// The download list page as outside input: rows read by their markers,
// bounded in number, ended by a missing marker; package names used only as
// plain file names; the site's address from its setting.
#include <gtest/gtest.h>

#include "app/download_list.h"
#include "platform/core/strings.h"
#include "tests/app/app_test_util.h"

namespace {

std::string row(const std::string& file, const std::string& title, const std::string& size,
                const std::string& words) {
  return "<TR><TD><a href=\"" + file + "\" name=\"x\">" + title + "</a></TD><TD>" + size + "</TD><TD>" + words +
         "</TD></TR>\n";
}

std::string dump(const std::vector<MoreDictRowType>& rows) {
  std::string out;
  for (const auto& r : rows)
    out += UTF16ToUTF8(r.FileName + u"|" + r.Caption + u"|" + r.Size + u"|" + r.Words) + "\n";
  return out;
}

}  // namespace

TEST(DownloadListPage, RowsAreReadByTheirMarkersInPageOrder) {
  const std::string page = "<html><table><TR><TH>Название</TH></TR>\n" +
                           row("a.zip", "Первый &amp; второй", "1,2 МБ", "100") +
                           row("пример.zip", "Example", "3 КБ", "") + "</table></html>";
  EXPECT_EQ(dump(ParseMoreDictsPage(page)),
            "a.zip|Первый &amp; второй|1,2 МБ|100\n"
            "пример.zip|Example|3 КБ|\n");
  EXPECT_TRUE(ParseMoreDictsPage("").empty());
  EXPECT_TRUE(ParseMoreDictsPage("<html>no rows here</html>").empty());
  // An empty name attribute does not swallow the title's opening marker.
  EXPECT_EQ(dump(ParseMoreDictsPage("<TD><a href=\"b.zip\" name=\"\">T</a></TD><TD>1</TD><TD>2</TD>")),
            "b.zip|T|1|2\n");
}

TEST(DownloadListPage, AMissingMarkerEndsTheReadingWithinThePage) {
  const std::string good = row("a.zip", "A", "1", "2");
  // Each cut-off row: the rows before it stand, nothing after is read.
  for (const std::string& broken :
       {std::string("<TD><a href=\"b.zip"), std::string("<TD><a href=\"b.zip\" name=\"b\">B"),
        std::string("<TD><a href=\"b.zip\" name=\"b\">B</a></TD><TD>1"),
        std::string("<TD><a href=\"b.zip\" name=\"b\">B</a></TD><TD>1</TD><TD>2"),
        std::string("<TD><a href=\"b.zip\" name=\"b\">B</a></TD><TD>1</TD>")}) {
    const auto rows = ParseMoreDictsPage(good + broken + good);
    // A row may take its missing end marker from the next one; it never
    // reads beyond the page.
    ASSERT_GE(rows.size(), 1u) << broken;
    EXPECT_EQ(UTF16ToUTF8(rows[0].FileName), "a.zip");
    const auto alone = ParseMoreDictsPage(good + broken);
    EXPECT_EQ(dump(alone), "a.zip|A|1|2\n") << broken;
  }
}

TEST(DownloadListPage, AtMostAThousandRows) {
  std::string page;
  for (int i = 0; i < 1500; ++i) page += row(std::to_string(i) + ".zip", "T", "1", "1");
  const auto rows = ParseMoreDictsPage(page);
  ASSERT_EQ(rows.size(), size_t(MaxMoreDictRows));
  EXPECT_EQ(UTF16ToUTF8(rows.back().FileName), "999.zip");
}

TEST(DownloadListPage, OnlyPlainZipFileNamesArePackages) {
  for (const char16_t* good : {u"a.zip", u"en-ru mueller.zip", u"словарь.zip", u"a%20b.zip", u"what?.zip"})
    EXPECT_TRUE(IsPlainPackageName(good)) << UTF16ToUTF8(good);
  for (const char16_t* bad : {u"", u".zip", u"a.ZIP", u"a.zip.exe", u"../a.zip", u"..zip", u"a/../b.zip",
                              u"sub/a.zip", u"/abs.zip", u"sub\\a.zip", u"c:a.zip", u".hidden.zip", u"a\nb.zip",
                              u"a..b.zip"})
    EXPECT_FALSE(IsPlainPackageName(bad)) << UTF16ToUTF8(bad);
}

TEST(DownloadListPage, PackageAddressesAreEscaped) {
  EXPECT_EQ(PackageUrl("https://h/download/", u"en-ru_1.0~x.zip"), "https://h/download/en-ru_1.0~x.zip");
  EXPECT_EQ(PackageUrl("https://h/download/", u"a b?#%.zip"), "https://h/download/a%20b%3F%23%25.zip");
  EXPECT_EQ(PackageUrl("https://h/d/", u"я.zip"), "https://h/d/%D1%8F.zip");
}

class DownloadAddress : public apptest::ProgramFolder {};

TEST_F(DownloadAddress, ComesFromItsSettingOrTheDefault) {
  EXPECT_EQ(DownloadBaseAddress(), "https://tamrix.example/download/");
  apptest::writeFile(Dir / "other/download_url", "  https://127.0.0.1:8443/download\r\nignored\n");
  EXPECT_EQ(DownloadBaseAddress(), "https://127.0.0.1:8443/download/");
  apptest::writeFile(Dir / "other/download_url", "\n");
  EXPECT_EQ(DownloadBaseAddress(), "https://tamrix.example/download/");
}
