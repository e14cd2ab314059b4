// Tag attributes, link records and width specifications.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "html/model/attributes.h"
#include "platform/core/exception.h"

namespace {

std::unique_ptr<TAttribute> attr(THtmlSymbol sym, const String& name, const String& text, double value = 0) {
  return std::make_unique<TAttribute>(sym, value, name, text, 1252);
}

TEST(WidthSpecs, FromText) {
  EXPECT_EQ(WidthSpecFromText(150, u"150%"), (TWidthSpec{1000, wtPercent}));
  EXPECT_EQ(WidthSpecFromText(50, u"50%"), (TWidthSpec{500, wtPercent}));
  EXPECT_EQ(WidthSpecFromText(-5, u"-5%"), (TWidthSpec{-50, wtPercent}));
  EXPECT_EQ(WidthSpecFromText(std::numeric_limits<std::int32_t>::min(), u"%"),
            (TWidthSpec{std::numeric_limits<std::int32_t>::min(), wtPercent}));
  EXPECT_EQ(WidthSpecFromText(3, u"3*"), (TWidthSpec{3, wtRelative}));
  EXPECT_EQ(WidthSpecFromText(80, u"80"), (TWidthSpec{80, wtAbsolute}));
  EXPECT_EQ(MakeWidthSpec(7, wtNone), (TWidthSpec{7, wtNone}));
}

TEST(Attributes, ValuesAreTruncatedSafely) {
  EXPECT_EQ(TAttribute(symWidth, 2.9, u"WIDTH", u"2.9", 0).Value, 2);
  EXPECT_EQ(TAttribute(symWidth, -2.9, u"WIDTH", u"-2.9", 0).Value, -2);
  EXPECT_EQ(TAttribute(symWidth, 1e300, u"WIDTH", u"", 0).Value, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(TAttribute(symWidth, -1e300, u"WIDTH", u"", 0).Value, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(TAttribute(symWidth, std::nan(""), u"WIDTH", u"", 0).Value, 0);
  TAttribute a(symAlt, 0, u"ALT", u"text", 1251);
  EXPECT_EQ(a.CodePage, 1251);
  EXPECT_EQ(a.Symbol, symAlt);
}

TEST(Attributes, FindTakesTheFirstAndLeavesTheResultAloneOnFailure) {
  TAttributeList list;
  list.Add(attr(symHref, u"HREF", u"first"));
  list.Add(attr(symHref, u"HREF", u"second"));
  TAttribute* T = nullptr;
  ASSERT_TRUE(list.Find(symHref, T));
  EXPECT_EQ(T->Text, u"first");
  TAttribute* kept = T;
  EXPECT_FALSE(list.Find(symSrc, T));
  EXPECT_EQ(T, kept);
  EXPECT_EQ(list.GetAttribute(1)->Text, u"second");
  EXPECT_THROW(list.GetAttribute(2), EListError);
  const auto lines = list.CreateStringList();
  ASSERT_EQ(lines->Count(), 2);
  EXPECT_EQ(lines->Strings(0), u"HREF=first");
  EXPECT_EQ(lines->Strings(1), u"HREF=second");
}

TEST(Attributes, ClassIdAndTitle) {
  TAttributeList list;
  EXPECT_EQ(list.GetClass(), u"");
  EXPECT_EQ(list.GetID(), u"");
  list.Add(attr(symClass, u"CLASS", u"  Big  "));
  list.Add(attr(symID, u"ID", u"Top"));
  list.Add(attr(symTitle, u"TITLE", u"Hello World"));
  EXPECT_EQ(list.GetClass(), u"big");
  EXPECT_EQ(list.GetID(), u"top");
  EXPECT_EQ(list.GetTitle(), u"Hello World");
  // The ID is cached until Clear.
  list.Items(1)->Text = u"Other";
  EXPECT_EQ(list.GetID(), u"top");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.GetID(), u"");

  // Several class names give one key whatever their order.
  TAttributeList a, b;
  a.Add(attr(symClass, u"CLASS", u" Red  big\tSmall "));
  b.Add(attr(symClass, u"CLASS", u"small BIG red"));
  EXPECT_EQ(a.GetClass(), b.GetClass());
  EXPECT_EQ(a.GetClass().size(), String(u"big.red.small").size());
  EXPECT_NE(a.GetClass().front(), u'.');

  TAttributeList empty;
  empty.Add(attr(symClass, u"CLASS", u"   "));
  EXPECT_EQ(empty.GetClass(), u"");
}

TEST(Attributes, StyleIsOwnedByTheList) {
  TAttributeList list;
  EXPECT_EQ(list.GetStyle(), nullptr);
  list.Add(attr(symStyle, u"STYLE", u"color: red"));
  TProperties* first = list.GetStyle();
  ASSERT_NE(first, nullptr);
  TProperties* second = list.GetStyle();
  EXPECT_NE(first, second);
  EXPECT_EQ(list.Prop(), second);
  list.Clear();
  EXPECT_EQ(list.Prop(), second);  // survives until the next GetStyle
}

struct LinkRun {
  std::unique_ptr<TUrlTarget> UrlTarget;
};

TEST(UrlTargets, AssignCopyClearAndSetLast) {
  TAttributeList attrs;
  attrs.Add(attr(symHref, u"HREF", u"a.htm"));
  attrs.Add(attr(symTarget, u"TARGET", u"_blank"));

  TUrlTarget t;
  EXPECT_EQ(t.Start, -1);
  EXPECT_EQ(t.Last, -1);
  t.TabIndex = 4;
  t.Assign(u"a.htm", u"_blank", &attrs, 12);
  const std::int32_t id = t.ID;
  EXPECT_GE(id, 10);
  EXPECT_EQ(t.Attr, u"HREF=a.htm\r\nTARGET=_blank\r\n");
  EXPECT_EQ(t.Start, 12);
  EXPECT_EQ(t.TabIndex, 4);
  TUrlTarget other;
  other.Assign(u"b.htm", u"", nullptr, 0);
  EXPECT_EQ(other.ID, id + 1);

  // Three runs of this link after one run of another link.
  std::vector<std::unique_ptr<LinkRun>> runs;
  auto addRun = [&](const TUrlTarget& from) {
    auto r = std::make_unique<LinkRun>();
    r->UrlTarget = std::make_unique<TUrlTarget>();
    r->UrlTarget->Copy(from);
    runs.push_back(std::move(r));
  };
  addRun(other);
  addRun(t);
  addRun(t);
  addRun(t);
  t.SetLast(runs, 40);
  EXPECT_EQ(t.Last, 40);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(runs[i]->UrlTarget->Last, 40);
  EXPECT_EQ(runs[0]->UrlTarget->Last, -1);
  EXPECT_EQ(runs[1]->UrlTarget->TabIndex, 4);
  std::vector<std::unique_ptr<LinkRun>> none;
  t.SetLast(none, 41);
  EXPECT_EQ(t.Last, 41);

  t.Clear();
  EXPECT_EQ(t.URL, u"");
  EXPECT_EQ(t.ID, 0);
  EXPECT_EQ(t.Start, -1);
  EXPECT_EQ(t.Last, -1);
  EXPECT_EQ(t.TabIndex, 0);
}

TEST(FreeLists, ExtractHandsBackOwnership) {
  TFreeList<TAttribute> list;
  list.Add(attr(symAlt, u"ALT", u"a"));
  list.Add(attr(symAlt, u"ALT", u"b"));
  std::unique_ptr<TAttribute> taken = list.Extract(0);
  EXPECT_EQ(taken->Text, u"a");
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.IndexOf(list.First()), 0);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_THROW(list.Delete(0), EListError);
  // Inserting goes anywhere from the front to just past the end, nowhere else.
  EXPECT_THROW(list.Insert(1, attr(symAlt, u"ALT", u"c")), EListError);
  EXPECT_THROW(list.Insert(-1, attr(symAlt, u"ALT", u"c")), EListError);
  EXPECT_EQ(list.Count(), 0);
  list.Insert(0, attr(symAlt, u"ALT", u"c"));
  list.Insert(1, attr(symAlt, u"ALT", u"d"));
  EXPECT_EQ(list.Last()->Text, u"d");
}

}  // namespace
