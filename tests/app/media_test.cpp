// Media sources, blobs read from the dictionary, extraction names and link
// kinds.
#include "app/media.h"

#include "app/dictionaries.h"
#include "db/sqlite3_errors.h"
#include "tests/app/app_test_util.h"

namespace {

class Media : public apptest::ProgramFolder {
protected:
  void SetUp() override {
    ProgramFolder::SetUp();
    Dict("a").Properties("A", "en").Word({7, "CAT", "x"}).Media(7, "cat.png", "PNGDATA").Media(8, "cat.png", "other");
    Dict("b").Properties("B", "en").Word({3000000000LL, "BIG", "x"}).Media(3000000000LL, "q\"t.gif", "GIF");
    List("a 1\r\nb 1\r\n");
    OpenActiveDictionaries(u"dictionaries/dictionaries._");
  }
  void TearDown() override {
    CloseDictionaries();
    ProgramFolder::TearDown();
  }
  static std::string content(TMemoryStream& m) {
    return std::string(static_cast<const char*>(m.Memory()), size_t(m.Size()));
  }
};

}  // namespace

TEST_F(Media, SourcesNameAnActiveDictionaryByNumber) {
  TMediaSource m;
  ASSERT_TRUE(ParseMediaSource(u"*1/q\"t.gif", m));
  EXPECT_EQ(m.DictIndex, 1);
  EXPECT_EQ(m.Name, u"q\"t.gif");
  EXPECT_FALSE(ParseMediaSource(u"pic.png", m));
  EXPECT_FALSE(ParseMediaSource(u"*2/x.png", m));  // not active
  EXPECT_FALSE(ParseMediaSource(u"*-1/x.png", m));
  EXPECT_FALSE(ParseMediaSource(u"*x/x.png", m));
  EXPECT_FALSE(ParseMediaSource(u"*99999999999/x.png", m));
  EXPECT_FALSE(ParseMediaSource(u"*0", m));
  EXPECT_FALSE(ParseMediaSource(u"*0/", m));
}

TEST_F(Media, BlobsOfThatHeadwordAndNameOnly) {
  EXPECT_EQ(content(*FetchMedia(0, 7, u"cat.png")), "PNGDATA");
  EXPECT_EQ(content(*FetchMedia(0, 8, u"cat.png")), "other");
  EXPECT_EQ(FetchMedia(0, 9, u"cat.png")->Size(), 0);
  EXPECT_EQ(FetchMedia(0, 7, u"cat.png\" OR \"\"=\"")->Size(), 0);
  EXPECT_EQ(content(*FetchMedia(1, 3000000000LL, u"q\"t.gif")), "GIF");
  // Read only: the dictionary file is never written, not even its journal.
  const auto before = std::filesystem::last_write_time(Dir / "dictionaries/a.tamrix");
  FetchMedia(0, 7, u"cat.png");
  EXPECT_EQ(std::filesystem::last_write_time(Dir / "dictionaries/a.tamrix"), before);
  // A dictionary without the media table is reported.
  Dict("c").Properties("C", "en");
  std::filesystem::remove(Dir / "dictionaries/c.tamrix");
  apptest::DictFile(Dir / "dictionaries/c.tamrix").exec("DROP TABLE multimedia");
  List("c 1\r\n");
  OpenActiveDictionaries(u"dictionaries/dictionaries._");
  EXPECT_THROW(FetchMedia(0, 7, u"cat.png"), ESQLite3);
}

TEST_F(Media, ExtractedFilesStayInsideTemp) {
  EXPECT_EQ(MediaTempFileName(u"bell.wav"), AppDir + u"/temp/bell.wav");
  EXPECT_EQ(MediaTempFileName(u"../../etc/passwd"), AppDir + u"/temp/passwd");
  EXPECT_EQ(MediaTempFileName(u"/abs/x.png"), AppDir + u"/temp/x.png");
  EXPECT_EQ(MediaTempFileName(u"a\\..\\b.png"), AppDir + u"/temp/b.png");
  EXPECT_EQ(MediaTempFileName(u".."), u"");
  EXPECT_EQ(MediaTempFileName(u"dir/"), u"");
}

TEST(LinkKinds, MediaSearchAndOnlyWebOrMailAddresses) {
  String t;
  EXPECT_EQ(ClassifyLink(u"*0/a@b.png", t), lkMedia);  // media only, never also handed on
  EXPECT_EQ(ClassifyLink(u"#wolf", t), lkSearch);
  EXPECT_EQ(t, u"wolf");
  EXPECT_EQ(ClassifyLink(u"#", t), lkSearch);
  EXPECT_EQ(t, u"");
  EXPECT_EQ(ClassifyLink(u"#mailto:me@example.org", t), lkExternal);
  EXPECT_EQ(t, u"mailto:me@example.org");
  EXPECT_EQ(ClassifyLink(u"#\"https://example.org/@x\"", t), lkExternal);
  EXPECT_EQ(t, u"https://example.org/@x");
  EXPECT_EQ(ClassifyLink(u"#file:///etc/passwd@x", t), lkRefused);
  EXPECT_EQ(ClassifyLink(u"#/usr/bin/x@y", t), lkRefused);
  EXPECT_EQ(ClassifyLink(u"search.html", t), lkViewer);
}
