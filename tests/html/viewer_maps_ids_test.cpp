// Image maps (areas as regions, first area decides) and the id list (last
// registration wins, owned objects freed).
#include <gtest/gtest.h>

#include <memory>

#include "html/view/viewer_base.h"

namespace {

struct Attr {
  THtmlSymbol sym;
  const char16_t* text;
};

std::unique_ptr<TAttributeList> attrs(std::initializer_list<Attr> list) {
  auto l = std::make_unique<TAttributeList>();
  for (const auto& a : list) l->Add(std::make_unique<TAttribute>(a.sym, 0.0, u"", a.text, 0));
  return l;
}

bool hit(const TMapItem& map, int x, int y, String* url = nullptr) {
  TUrlTarget* t = nullptr;
  String title;
  const bool r = map.GetURL(x, y, t, title);
  if (t && url) *url = t->URL;
  delete t;
  return r;
}

TEST(ImageMap, ShapesCoverTheirPixelsInclusive) {
  TMapItem map;
  map.AddArea(attrs({{symShape, u"RECTANGLE"}, {symCoords, u"10,20,30,40"}, {symHref, u"r"}}).get());
  map.AddArea(attrs({{symShape, u"circle"}, {symCoords, u" 100 100   10 "}, {symHref, u"c"}}).get());
  ASSERT_EQ(map.Areas->Count(), 2);
  String url;
  EXPECT_TRUE(hit(map, 10, 20, &url));
  EXPECT_EQ(url, u"r");
  EXPECT_TRUE(hit(map, 30, 40));
  EXPECT_FALSE(hit(map, 31, 41));
  EXPECT_FALSE(hit(map, 9, 20));
  EXPECT_TRUE(hit(map, 100, 100, &url));
  EXPECT_EQ(url, u"c");
  EXPECT_TRUE(hit(map, 100, 91));
  EXPECT_FALSE(hit(map, 100, 80));
}

TEST(ImageMap, MalformedAreasAreDroppedAndPolygonsTakePairs) {
  TMapItem map;
  map.AddArea(attrs({{symShape, u"poly"}, {symCoords, u"0,0,10,0,10"}, {symHref, u"x"}}).get());
  map.AddArea(attrs({{symShape, u"rect"}, {symCoords, u"1,2,3"}, {symHref, u"x"}}).get());
  map.AddArea(attrs({{symShape, u"circ"}, {symCoords, u"1,2"}, {symHref, u"x"}}).get());
  EXPECT_EQ(map.Areas->Count(), 0);
  // Seven numbers: three points, the odd one ignored.
  map.AddArea(attrs({{symShape, u"polygon"}, {symCoords, u"0,0,40,0,0,40,99"}, {symHref, u"t"}}).get());
  ASSERT_EQ(map.Areas->Count(), 1);
  EXPECT_TRUE(hit(map, 5, 5));
  EXPECT_FALSE(hit(map, 35, 35));
}

TEST(ImageMap, NoHrefAreaStopsTheSearchAndAreasAreCapped) {
  TMapItem map;
  map.AddArea(attrs({{symHref, u"a"}, {symNoHref, u""}, {symCoords, u"0,0,50,50"}}).get());
  map.AddArea(attrs({{symHref, u"b"}, {symCoords, u"0,0,50,50"}}).get());
  EXPECT_FALSE(hit(map, 5, 5));  // the first area wins although it has no link
  for (int i = 0; i < 1100; ++i) map.AddArea(attrs({{symHref, u"z"}, {symCoords, u"0,0,1,1"}}).get());
  EXPECT_EQ(map.Areas->Count(), TMapItem::MaxAreas);
}

struct Owned : TIDObject {
  explicit Owned(int* deaths) : deaths(deaths) {}
  ~Owned() override { ++*deaths; }
  int GetYPosition() override { return 7; }
  bool FreeMe() override { return true; }
  int* deaths;
};

struct Borrowed : TIDObject {
  int GetYPosition() override { return 3; }
};

TEST(IdList, LastRegistrationWinsAndOwnedObjectsAreFreed) {
  int deaths = 0;
  Borrowed borrowed;
  {
    TIDObjectList list;
    list.AddObject(u"Top", new Owned(&deaths));
    list.AddObject(u"TOP", &borrowed);  // same name without case
    EXPECT_EQ(deaths, 1);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.FindObject(u"top"), &borrowed);
    list.AddObject(u"other", new Owned(&deaths));
    list.AddObject(u"top", new Owned(&deaths));  // the borrowed one is not freed
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(list.FindObject(u"missing"), nullptr);
  }
  EXPECT_EQ(deaths, 3);
}

}  // namespace
