#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core_test_folder.h"
#include "platform/core/exception.h"
#include "platform/core/lists.h"
#include "platform/core/streams.h"
#include "platform/core/string_list.h"
#include "platform/core/text_file.h"

namespace {

class Tracked : public TObject {
public:
  explicit Tracked(int& counter) : FCounter(counter) {}
  ~Tracked() override { ++FCounter; }

private:
  int& FCounter;
};

RawByteString fileBytes(const String& name) {
  TMemoryStream m;
  m.LoadFromFile(name);
  return RawByteString(static_cast<const char*>(m.Memory()), size_t(m.Size()));
}

}  // namespace

TEST(CoreStringList, SortedListsFindIgnoreCaseAndDuplicates) {
  TStringList list;
  list.SetSorted(true);
  for (const char16_t* s : {u"Яблоко", u"banana", u"apple", u"ёлка", u"Banana", u"Cherry"}) list.Add(s);
  ASSERT_EQ(list.Count(), 5);  // "Banana" was a duplicate, ignored
  // Folded to capitals and ordered by code point ("Ё" is U+0401).
  EXPECT_EQ(list.Text(), u"apple\r\nbanana\r\nCherry\r\nёлка\r\nЯблоко\r\n");
  EXPECT_EQ(list.IndexOf(u"ЯБЛОКО"), 4);
  EXPECT_EQ(list.IndexOf(u"ЁЛКА"), 3);
  EXPECT_EQ(list.IndexOf(u"durian"), -1);
  int at = -1;
  EXPECT_FALSE(list.Find(u"bz", at));
  EXPECT_EQ(at, 2);
  EXPECT_THROW(list.Insert(0, u"x"), EListError);
  EXPECT_THROW(list.SetStrings(0, u"x"), EListError);

  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add(u"APPLE"), EListError);
  list.SetDuplicates(dupAccept);
  list.Add(u"APPLE");
  EXPECT_EQ(list.Count(), 6);

  list.SetCaseSensitive(true);
  EXPECT_EQ(list[0], u"APPLE");
  EXPECT_EQ(list.IndexOf(u"apple"), 2);
  EXPECT_EQ(list.IndexOf(u"BANANA"), -1);
}

TEST(CoreStringList, UnsortedEditingAndObjects) {
  int freed = 0;
  {
    TStringList list(true);
    list.AddObject(u"one", new Tracked(freed));
    list.AddObject(u"two", new Tracked(freed));
    list.Add(u"three");
    list.Insert(0, u"zero");
    list.Move(0, 3);
    EXPECT_EQ(list.Text(), u"one\r\ntwo\r\nthree\r\nzero\r\n");
    list.Exchange(0, 1);
    EXPECT_EQ(list[0], u"two");
    EXPECT_NE(list.Objects(0), nullptr);
    list.Delete(0);
    EXPECT_EQ(freed, 1);
    EXPECT_THROW(list.Delete(10), EListError);
    EXPECT_THROW(list.Strings(-1), EListError);
  }
  EXPECT_EQ(freed, 2);
}

TEST(CoreStringList, NamesAndValues) {
  TStringList list;
  list.Add(u"FontSize=12");
  list.Add(u"plain line");
  list.Add(u"FontName=Arial=Bold");
  EXPECT_EQ(list.Names(0), u"FontSize");
  EXPECT_EQ(list.Names(1), u"");
  EXPECT_EQ(list.Values(u"fontname"), u"Arial=Bold");
  EXPECT_EQ(list.ValueFromIndex(2), u"Arial=Bold");
  list.SetValues(u"FontSize", u"14");
  list.SetValues(u"BgColor", u"clWindow");
  list.SetValues(u"FontName", u"");
  EXPECT_EQ(list.Text(), u"FontSize=14\r\nplain line\r\nBgColor=clWindow\r\n");
}

TEST(CoreStringList, TextSplitsEveryKindOfLineBreak) {
  TStringList list;
  list.SetText(u"a\r\nb\nc\rd\r\n\r\ne");
  EXPECT_EQ(list.Count(), 6);
  EXPECT_EQ(list[4], u"");
  EXPECT_EQ(list[5], u"e");
  list.SetText(u"");
  EXPECT_EQ(list.Count(), 0);

  list.SetCommaText(u"a, \"b c\",\"d\"\"e\",,f,");
  EXPECT_EQ(list.Text(), u"a\r\nb c\r\nd\"e\r\n\r\nf\r\n\r\n");
  EXPECT_EQ(list.CommaText(), u"a,\"b c\",\"d\"\"e\",\"\",f,\"\"");
}

TEST(CoreStringList, FilesKeepTheirEncoding) {
  TestFolder dir;
  TStringList list;
  list.Add(u"ru: АБВГДЕЁ");
  list.Add(u"#");
  list.SaveToFile(dir / u"utf8.txt");
  EXPECT_EQ(fileBytes(dir / u"utf8.txt"), "ru: \xD0\x90\xD0\x91\xD0\x92\xD0\x93\xD0\x94\xD0\x95\xD0\x81\r\n#\r\n");

  list.SetEncoding(teUTF16LE);
  list.SaveToFile(dir / u"abc");
  const RawByteString raw = fileBytes(dir / u"abc");
  EXPECT_EQ(raw.substr(0, 4), RawByteString("\xFF\xFEr\0", 4));

  TStringList back;
  back.LoadFromFile(dir / u"abc");
  EXPECT_EQ(back.Encoding(), teUTF16LE);
  EXPECT_EQ(back.Text(), list.Text());
  back.LoadFromFile(dir / u"utf8.txt");
  EXPECT_EQ(back.Encoding(), teUTF8);
  EXPECT_EQ(back.Text(), list.Text());
  EXPECT_THROW(back.LoadFromFile(dir / u"missing"), EFOpenError);
}

TEST(CoreTextFile, ReadsLinesAndReportsErrorsWithCodes) {
  TestFolder dir;
  TTextFile f(dir / u"settings");
  f.Rewrite();
  f.WriteLn(u"FontSize=12;");
  f.Write(u"FontName=Тест;");
  f.CloseFile();
  f.Append();
  f.WriteLn();
  f.Write(u"last\nlf\rcr");
  f.CloseFile();
  EXPECT_EQ(fileBytes(dir / u"settings"), "FontSize=12;\r\nFontName=\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82;\r\nlast\nlf\rcr");

  f.Reset();
  std::vector<String> lines;
  while (!f.Eof()) lines.push_back(f.ReadLn());
  EXPECT_EQ(lines, (std::vector<String>{u"FontSize=12;", u"FontName=Тест;", u"last", u"lf", u"cr"}));
  EXPECT_EQ(f.ReadLn(), u"");
  EXPECT_THROW(f.WriteLn(u"x"), EInOutError);
  f.CloseFile();

  // A byte-order mark in front is skipped, not read into the first line;
  // files shorter than a mark still read whole.
  for (const auto& [bytes, first] : {std::pair<std::string, String>{"\xEF\xBB\xBFKey=1;\r\n", u"Key=1;"},
                                     std::pair<std::string, String>{"ab", u"ab"}}) {
    {
      TFileStream out(dir / u"marked", fmCreate);
      out.WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
    }
    TTextFile marked(dir / u"marked");
    marked.Reset();
    EXPECT_EQ(marked.ReadLn(), first);
  }

  TTextFile missing(dir / u"nothing");
  try {
    missing.Reset();
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_EQ(e.Message(), u"File not found");
  }
  TTextFile closed;
  try {
    closed.ReadLn();
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 103);
    EXPECT_EQ(e.Message(), u"I/O error 103");
  }
}

TEST(CoreList, PointerListOperations) {
  int a = 1, b = 2, c = 3;
  TList list;
  list.Add(&c);
  list.Add(nullptr);
  list.Add(&a);
  list.Insert(0, &b);
  EXPECT_EQ(list.Count(), 4);
  list.Pack();
  EXPECT_EQ(list.Count(), 3);
  list.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
  EXPECT_EQ(list.First(), &a);
  EXPECT_EQ(list.Last(), &c);
  list.Move(0, 2);
  EXPECT_EQ(list.IndexOf(&a), 2);
  EXPECT_EQ(list.Extract(&b), &b);
  EXPECT_EQ(list.Extract(&b), nullptr);
  EXPECT_EQ(list.Remove(&c), 0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_THROW(list.Items(1), EListError);
  list.SetCount(3);
  EXPECT_EQ(list.Items(2), nullptr);
}
