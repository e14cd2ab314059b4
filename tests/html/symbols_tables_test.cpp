// Tag, attribute and entity tables and their look-ups.
#include <gtest/gtest.h>

#include <set>

#include "html/parse/html_common.h"
#include "html/parse/html_symbols.h"
#include "platform/core/strings.h"

namespace {

TEST(Symbols, EveryTableEntryIsFoundUnderItsOwnName) {
  EXPECT_EQ(TagTable().size(), 82u);
  EXPECT_EQ(AttributeTable().size(), 85u);
  EXPECT_EQ(EntityTable().size(), 253u);
  for (const TResWord& t : TagTable()) {
    const TResWord* found = TagNames().Lookup(t.Name);
    ASSERT_NE(found, nullptr) << UTF16ToUTF8(String(t.Name));
    EXPECT_EQ(found->Symbol, t.Symbol);
  }
  for (const TSymbolRec& a : AttributeTable()) {
    const TSymbolRec* found = AttrNames().Lookup(a.Name);
    ASSERT_NE(found, nullptr) << UTF16ToUTF8(String(a.Name));
    EXPECT_EQ(found->Value, a.Value);
  }
  for (const TEntity& e : EntityTable()) {
    const TEntity* found = EntityNames().Lookup(e.Name);
    ASSERT_NE(found, nullptr) << UTF16ToUTF8(String(e.Name));
    EXPECT_EQ(found->Value, e.Value);
  }
}

TEST(Symbols, NoTwoTagsShareASymbol) {
  std::set<int> seen;
  for (const TResWord& t : TagTable()) {
    EXPECT_TRUE(seen.insert(t.Symbol).second) << int(t.Symbol);
    if (t.EndSym != symUnknownTag) {
      EXPECT_TRUE(seen.insert(t.EndSym).second) << int(t.EndSym);
    }
  }
  // Attributes share numbers only with the tag of the same name.
  for (const TSymbolRec& a : AttributeTable()) {
    const int index = TagIndexBySymbol(a.Value);
    if (index >= 0) {
      EXPECT_EQ(TagNames().Objects(index).Name, a.Name);
    } else {
      EXPECT_EQ(seen.count(a.Value), 0u);
    }
  }
}

TEST(Symbols, TagLookUps) {
  int index;
  EXPECT_TRUE(TagNames().Find(u"H", index));
  EXPECT_EQ(TagNames().Objects(index).Symbol, symH);
  EXPECT_FALSE(TagNames().Find(u"H1", index));
  EXPECT_FALSE(TagNames().Find(u"table", index));  // callers upper-case first
  EXPECT_FALSE(TagNames().Find(u"", index));
  EXPECT_FALSE(TagNames().Find(u"ZZZZ", index));
  EXPECT_EQ(index, TagNames().Count());
  EXPECT_EQ(AttrNames().Lookup(u"HTTP-EQUIV")->Value, symHttpEquiv);
  EXPECT_EQ(AttrNames().Lookup(u"VALUE")->Value, symValue);

  EXPECT_EQ(EndSymbolOf(symBR), symUnknownTag);
  EXPECT_EQ(EndSymbolOf(symTable), symTableEnd);
  EXPECT_EQ(EndSymbolOf(symTHead), symTHeadEnd);
  EXPECT_EQ(EndSymbolOf(symLoneItemEnd), symUnknownTag);
  EXPECT_EQ(EndSymbolOf(symHref), symUnknownTag);
  EXPECT_EQ(EndSymbolOf(THtmlSymbol(250)), symUnknownTag);
}

TEST(Symbols, NamesBySymbol) {
  EXPECT_EQ(SymbolName(symHtmlEnd), u"html");
  EXPECT_EQ(SymbolName(symText), u"text");
  EXPECT_EQ(SymbolName(symUnknownAttr), u"");
  EXPECT_EQ(SymbolName(symEndOfDoc), u"");
  EXPECT_EQ(SymbolName(symOL), u"ol");
  EXPECT_EQ(SymbolName(symH), u"h");
  EXPECT_EQ(SymbolName(symTitle), u"title");
  EXPECT_EQ(SymbolName(symHttpEquiv), u"http-equiv");
  EXPECT_EQ(SymbolName(symMedia), u"media");
  EXPECT_EQ(SymbolName(THtmlSymbol(240)), u"");
  EXPECT_EQ(TagIndexBySymbol(symHref), -1);
  EXPECT_EQ(TagNames().Strings(TagIndexBySymbol(symFontEnd)), u"FONT");
}

TEST(Symbols, EntitiesAreCaseSensitive) {
  EXPECT_EQ(EntityNames().Lookup(u"apos")->Value, 0x2019);
  EXPECT_EQ(EntityNames().Lookup(u"amp")->Value, u'&');
  EXPECT_EQ(EntityNames().Lookup(u"AMP"), nullptr);
  EXPECT_EQ(EntityNames().Lookup(u"Agrave")->Value, 0xC0);
  EXPECT_EQ(EntityNames().Lookup(u"agrave")->Value, 0xE0);
  EXPECT_EQ(EntityNames().Lookup(u"nbsp")->Value, 0xA0);
  EXPECT_EQ(EntityNames().Lookup(u"euro")->Value, 0x20AC);
  EXPECT_EQ(EntityNames().Lookup(u"hearts")->Value, 0x2665);
  EXPECT_EQ(EntityNames().Lookup(u"rsquo")->Value, 0x2019);
  EXPECT_EQ(EntityNames().Lookup(u"amp;"), nullptr);
}

TEST(Symbols, NumericCharacterReferences) {
  auto decode = [](const char* digits, unsigned base) {
    std::uint32_t v = 0;
    for (const char* p = digits; *p; ++p) {
      const unsigned d = *p <= '9' ? unsigned(*p - '0') : unsigned((*p | 0x20) - 'a' + 10);
      v = AddCharRefDigit(v, d, base);
    }
    char16_t units[2] = {};
    const int n = CharRefToUnits(v, units);
    return String(units, std::size_t(n));
  };
  EXPECT_EQ(decode("65", 10), u"A");
  EXPECT_EQ(decode("1F600", 16), u"\U0001F600");
  EXPECT_EQ(decode("10FFFF", 16), u"\U0010FFFF");
  EXPECT_EQ(decode("110000", 16), u"\uFFFD");
  EXPECT_EQ(decode("D800", 16), u"\uFFFD");
  EXPECT_EQ(decode("0", 10), u"\uFFFD");
  EXPECT_EQ(decode("99999999999999999999999999999999", 10), u"\uFFFD");
  EXPECT_EQ(decode("FFFFFFFFFFFFFFFFFFFFFFFF41", 16), u"\uFFFD");
}

}  // namespace
