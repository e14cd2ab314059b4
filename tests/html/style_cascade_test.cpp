// Computed properties of elements from real style sheets: the built-in
// sheet, descendant and child rules, classes, ids, !important, inheritance.
#include <gtest/gtest.h>

#include "html/parse/style_fonts.h"
#include "html/parse/style_list.h"
#include "html/parse/style_parser.h"

namespace {

class Cascade : public ::testing::Test {
protected:
  void SetUp() override {
    Styles.SetPropStack(&Stack);
    Styles.Initialize(u"DejaVu Sans", u"DejaVu Sans Mono", 12, 0x000000, 0xFF0000, 0x800080,
                      0x0000FF, true, DEFAULT_CHARSET, 5, 8);
    auto bottom = TProperties::CreateInStack(&Stack);
    bottom->CopyDefaultFrom(*Styles.DefProp());
    Stack.Add(std::move(bottom));
  }
  void Sheet(const String& css) {
    auto buffer = TBuffer::CreateFromString(css, u"sheet");
    char16_t ch = u' ';
    ParseStyleSheet(Styles, ch, *buffer, String(), true);
  }
  // Opens an element the way the document builder does.
  TProperties& Open(const String& tag, const String& classes = String(),
                    const String& id = String(), const String& pseudo = String(),
                    const TProperties* styleAttr = nullptr) {
    auto p = TProperties::CreateInStack(&Stack);
    p->Inherit(tag, *Stack.Last());
    p->Combine(Styles, tag, classes, id, pseudo, String(), styleAttr, Stack.Count() - 1);
    return *Stack.Add(std::move(p));
  }
  void Close() { Stack.Delete(Stack.Count() - 1); }
  static int ColorOf(const TProperties& p) { return p.Props[piColor].AsInt(); }

  TPropStack Stack;
  TStyleList Styles;
};

TEST_F(Cascade, BuiltInSheet) {
  TProperties& h1 = Open(u"h1");
  EXPECT_EQ(h1.Props[piFontWeight].AsString(), u"bold");
  EXPECT_DOUBLE_EQ(h1.Props[piFontSize].AsDouble(), 24);
  TProperties& b = Open(u"b");
  EXPECT_EQ(b.Props[piFontWeight].AsString(), u"bold");
  TProperties& code = Open(u"code");
  // "0.83em" of the bold heading's 24 points.
  EXPECT_NEAR(code.Props[piFontSize].AsDouble(), 0.83 * 24, 1e-9);
  EXPECT_EQ(code.Props[piFontFamily].AsString(), u"DejaVu Sans Mono");
  Close();
  Close();
  Close();
  TProperties& p = Open(u"p");
  EXPECT_EQ(p.Props[piMarginTop].AsInt(), ParagraphSpaceValue);
  EXPECT_EQ(p.Props[piMarginLeft].AsInt(), NotSetValue);  // margins do not inherit
  Close();
  TProperties& pre = Open(u"pre");
  TProperties& para = Open(u"p");
  EXPECT_EQ(para.Props[piMarginTop].AsInt(), 0);  // "p" inside "pre"
  EXPECT_EQ(para.Props[piFontFamily].AsString(), u"DejaVu Sans Mono");  // inherited
  (void)pre;
}

TEST_F(Cascade, ClassesIdsAndOrder) {
  Sheet(u"p { color: red } .x { color: green } #main { color: blue } "
        u"p.x { text-align: right } .x.y { font-weight: bold } .y { color: yellow }");
  EXPECT_EQ(ColorOf(Open(u"p")), 0x0000FF);
  Close();
  TProperties& x = Open(u"p", u"x");
  EXPECT_EQ(ColorOf(x), 0x008000);  // the class rule comes after the tag rule
  EXPECT_EQ(x.Props[piTextAlign].AsString(), u"right");
  Close();
  EXPECT_EQ(ColorOf(Open(u"p", u"x", u"main")), 0xFF0000);  // the id rule comes last
  Close();
  TProperties& xy = Open(u"div", u"x.y");
  EXPECT_EQ(xy.Props[piFontWeight].AsString(), u"bold");  // rule for the whole list
  EXPECT_EQ(ColorOf(xy), 0x00FFFF);                        // .y after .x
}

TEST_F(Cascade, StyleAttributeWinsAndImportantWinsOverIt) {
  Sheet(u"p { color: red; text-align: center !important } "
        u"p.x { text-align: left } #i { color: green !important }");
  TProperties attr;
  ParsePropertyString(u"color: blue; text-align: right", attr);
  TProperties& p = Open(u"p", u"x", String(), String(), &attr);
  EXPECT_EQ(ColorOf(p), 0xFF0000);  // the style attribute comes last
  EXPECT_EQ(p.Props[piTextAlign].AsString(), u"center");  // important beats both later ones
  Close();
  TProperties strong;
  ParsePropertyString(u"color: blue !important", strong);
  EXPECT_EQ(ColorOf(Open(u"p", String(), u"i", String(), &strong)), 0xFF0000);
  Close();
  EXPECT_EQ(ColorOf(Open(u"p", String(), u"i", String(), &attr)), 0x008000);
}

TEST_F(Cascade, DescendantAndChildRules) {
  Sheet(u"div p { color: red } div > p { text-align: right } ul li.a { color: green }");
  Open(u"div");
  TProperties& direct = Open(u"p");
  EXPECT_EQ(ColorOf(direct), 0x0000FF);
  EXPECT_EQ(direct.Props[piTextAlign].AsString(), u"right");
  Close();
  Open(u"span");
  TProperties& deep = Open(u"p");
  EXPECT_EQ(ColorOf(deep), 0x0000FF);                   // descendant: still applies
  EXPECT_NE(deep.Props[piTextAlign].AsString(), u"right");  // child: does not
  Close();
  Close();
  Close();
  EXPECT_NE(ColorOf(Open(u"p")), 0x0000FF);  // no div around it
  Close();
  Open(u"ul");
  Open(u"ol");
  EXPECT_EQ(ColorOf(Open(u"li", u"a.b")), 0x008000);  // class among the element's classes
}

TEST_F(Cascade, RulesAddedLaterReachElementsOpenedAfterThem) {
  // A sheet met in the middle of a page changes what later elements get,
  // however often an element like them was styled before it.
  EXPECT_EQ(ColorOf(Open(u"p", u"x")), 0x000000);
  Close();
  Sheet(u".x { color: red }");
  EXPECT_EQ(ColorOf(Open(u"p", u"x")), 0x0000FF);
  Close();
  Sheet(u".x { font-weight: bold }");  // joins the rule already stored
  EXPECT_EQ(Open(u"p", u"x").Props[piFontWeight].AsString(), u"bold");
  Close();
  Open(u"div");
  EXPECT_EQ(ColorOf(Open(u"p", u"x")), 0x0000FF);
  Close();
  Sheet(u"div p.x { color: green }");
  EXPECT_EQ(ColorOf(Open(u"p", u"x")), 0x008000);
}

TEST_F(Cascade, RulesApplyInNumericSequenceOrder) {
  // 91 filler descendant rules push the sequence past 99 and on to 100.
  String css;
  for (int i = 0; i < 89; ++i) css += u"q em { x: y } ";
  css += u"div span { color: red } div span { color: green }";
  Sheet(css);
  Open(u"div");
  EXPECT_EQ(ColorOf(Open(u"span")), 0x008000);  // the later rule wins
}

TEST_F(Cascade, InheritanceKeepsTextPropertiesOnly) {
  Sheet(u"div { color: red; background-color: yellow; margin-left: 10px; font-style: italic } "
        u"span { background-color: lime }");
  Open(u"div");
  TProperties& p = Open(u"p");
  EXPECT_EQ(ColorOf(p), 0x0000FF);
  EXPECT_EQ(p.Props[piFontStyle].AsString(), u"italic");
  EXPECT_TRUE(p.Props[piBackgroundColor].IsEmpty());
  EXPECT_EQ(p.Props[piMarginLeft].AsInt(), NotSetValue);
  EXPECT_FALSE(p.Originals[piColor]);
  // A span passes everything on.
  Close();
  Open(u"span");
  TProperties& inSpan = Open(u"b");
  EXPECT_EQ(inSpan.Props[piBackgroundColor].AsInt(), 0x00FF00);
}

TEST_F(Cascade, LinksAndHover) {
  struct Hover : TStyleList {
    bool Seen = false;
    void SetHoverRulesPresent(bool v) override { Seen = v; }
  } hover;
  auto buffer = TBuffer::CreateFromString(u"a:hover { color: red }", u"s");
  char16_t ch = u' ';
  ParseStyleSheet(hover, ch, *buffer, String(), true);
  EXPECT_TRUE(hover.Seen);

  Sheet(u"a { font-weight: bold } a:hover { color: green } :link { color: yellow }");
  int i;
  ASSERT_TRUE(Styles.Find(u"::link", i));
  EXPECT_EQ(Styles.Objects(i)->Props[piFontWeight].AsString(), u"bold");
  // ":link" colours pass on to the visited and hover states.
  ASSERT_TRUE(Styles.Find(u"::hover", i));
  EXPECT_EQ(Styles.Objects(i)->Props[piColor].AsInt(), 0x00FFFF);

  TProperties& link = Open(u"a", String(), String(), u"link");
  EXPECT_TRUE(link.InLink());
  EXPECT_EQ(ColorOf(link), 0x00FFFF);  // not the hover colour
  TFontInfoArray states;
  link.GetFontInfo(states);
  EXPECT_TRUE(states.Ar[LFont].iStyle.Contains(fsBold));
  EXPECT_TRUE(states.Ar[LFont].iStyle.Contains(fsUnderline));
  EXPECT_EQ(states.Ar[HLFont].iColor, 0x008000);
  EXPECT_EQ(states.Ar[HVFont].iColor, 0x008000);
}

TEST_F(Cascade, LinkStatesFollowEachLinksOwnSurroundings) {
  // Links of one class in different places: each gets the states of its
  // own place, however many links of that class came before.
  Sheet(u"a.c:hover { font-weight: bold } div a:visited { color: green } .big { font-size: 20pt }");
  auto states = [&](TFontInfoArray& out, const TProperties* styleAttr = nullptr) {
    Open(u"a", u"c", String(), u"link", styleAttr).GetFontInfo(out);
    Close();
  };
  TFontInfoArray plain, big, inDiv, again, styled, later;
  states(plain);
  Open(u"span", u"big");
  states(big);
  Close();
  Open(u"div");
  states(inDiv);
  Close();
  states(again);
  EXPECT_DOUBLE_EQ(plain.Ar[HLFont].iSize, 12);
  EXPECT_TRUE(plain.Ar[HLFont].iStyle.Contains(fsBold));
  EXPECT_FALSE(plain.Ar[VFont].iStyle.Contains(fsBold));
  EXPECT_DOUBLE_EQ(big.Ar[HLFont].iSize, 20);
  EXPECT_DOUBLE_EQ(big.Ar[HVFont].iSize, 20);
  EXPECT_EQ(plain.Ar[VFont].iColor, int(0x800080 | PaletteRelativeFlag));
  EXPECT_EQ(inDiv.Ar[VFont].iColor, 0x008000);  // the rule naming an ancestor
  EXPECT_EQ(inDiv.Ar[HVFont].iColor, int(0x0000FF | PaletteRelativeFlag));  // hover comes last
  EXPECT_EQ(again.Ar[VFont].iColor, plain.Ar[VFont].iColor);
  // A STYLE attribute reaches every state.
  TProperties attr;
  ParsePropertyString(u"font-style: italic", attr);
  states(styled, &attr);
  for (const ThtFontInfo& f : styled.Ar) EXPECT_TRUE(f.iStyle.Contains(fsItalic));
  // A rule read later, and link colours set later, count from then on.
  Sheet(u"a.c:visited { text-decoration: line-through }");
  Styles.SetLinkColor(u"hover", 0x00FFFF);
  states(later);
  EXPECT_TRUE(later.Ar[VFont].iStyle.Contains(fsStrikeOut));
  EXPECT_FALSE(plain.Ar[VFont].iStyle.Contains(fsStrikeOut));
  EXPECT_EQ(later.Ar[HLFont].iColor, 0x00FFFF);
}

TEST_F(Cascade, ASetMadeInPlaceOfAFreedOneStartsClean) {
  Sheet(u".x { color: red; margin-left: 5px }");
  TProperties attr;
  ParsePropertyString(u"font-weight: bold", attr);
  const uint32_t id = Open(u"a", u"x", u"i", u"link", &attr).ID();
  Close();
  std::unique_ptr<TProperties> fresh = Stack.NewProp();
  EXPECT_NE(fresh->ID(), id);
  EXPECT_EQ(fresh->PropStack(), &Stack);
  EXPECT_FALSE(fresh->InLink());
  EXPECT_TRUE(fresh->PropTag().empty());
  EXPECT_TRUE(fresh->PropClass().empty());
  EXPECT_EQ(fresh->PropStyle(), nullptr);
  EXPECT_TRUE(fresh->Props[piColor].IsEmpty());
  EXPECT_EQ(fresh->Props[piMarginLeft].AsInt(), NotSetValue);
  for (int i = 0; i < PropertyCount; ++i) EXPECT_FALSE(fresh->Originals[size_t(i)] || fresh->Important[size_t(i)]);
  TFontInfoArray states;
  fresh->GetFontInfo(states);  // from its own (empty) slots, not a link's states
  EXPECT_EQ(states.Ar[VFont].iColor, clBlack);
}

TEST_F(Cascade, UpdateReinheritsWhatTheElementDidNotSet) {
  Sheet(u"div { color: red; font-style: italic } span { color: green }");
  TProperties& div = Open(u"div");
  TProperties& span = Open(u"span");
  auto other = TProperties::CreateInStack(&Stack);
  other->Inherit(u"p", *Stack.GetProp(0));
  other->Props[piFontStyle] = u"oblique";
  span.Update(other.get(), Styles, 1);
  EXPECT_EQ(ColorOf(span), 0x008000);                      // its own rule stays
  EXPECT_EQ(span.Props[piFontStyle].AsString(), u"oblique");  // the rest follows the new parent
  (void)div;
}

TEST_F(Cascade, SequenceRestartsAfterClear) {
  Sheet(u"div p { color: red }");
  Styles.Clear();
  EXPECT_EQ(Styles.NextSequence(), u"0000000010");
  EXPECT_EQ(Styles.Count(), 0);
}

TEST_F(Cascade, BuiltInSheetLeavesTheSequenceToTheDocument) {
  // The built-in "p inside pre" rule takes no number from the counter: the
  // document's first descendant rule is still number 10, and the built-in
  // rule sorts (and applies) before the document's own.
  EXPECT_EQ(SelectorRuleKey(u"div p", Styles), u"p 10000000010div ");
  Sheet(u"pre p { margin-top: 3px }");
  TProperties& pre = Open(u"pre");
  EXPECT_EQ(Open(u"p").Props[piMarginTop].AsString(), u"3px");
  (void)pre;
}

TEST_F(Cascade, PresentationalDefaultsReachTheLinkStates) {
  TProperties& link = Open(u"a", String(), String(), u"link");
  link.SetPropertyDefault(piFontSize, TPropValue(u"14"));
  link.SetPropertyDefault(piColor, TPropValue(u"red"));  // not a colour value
  TFontInfoArray states;
  link.GetFontInfo(states);
  for (const ThtFontInfo& s : states.Ar) EXPECT_DOUBLE_EQ(s.iSize, 14);
  EXPECT_EQ(states.Ar[LFont].iColor, int(0xFF0000 | PaletteRelativeFlag));  // the link colour stays
  Close();
  TProperties& other = Open(u"a", String(), String(), u"link");
  other.SetPropertyDefault(piFontSize, TPropValue(u"big"));
  other.GetFontInfo(states);
  EXPECT_DOUBLE_EQ(states.Ar[VFont].iSize, 12);
}

TEST_F(Cascade, RelativeFontSizesCountOnceForSeveralClasses) {
  // The rules of an element with two classes are merged in three passes;
  // its size is still 1.5 times its parent's, not 1.5 cubed.
  Sheet(u"p { font-size: 1.5em } .big { font-size: 200% }");
  EXPECT_DOUBLE_EQ(Open(u"p").Props[piFontSize].AsDouble(), 18);
  Close();
  EXPECT_DOUBLE_EQ(Open(u"p", u"x.y").Props[piFontSize].AsDouble(), 18);
  Close();
  EXPECT_DOUBLE_EQ(Open(u"span", u"big.x").Props[piFontSize].AsDouble(), 24);
  Close();
  TProperties style;
  ParsePropertyString(u"font-size: 150%", style);
  EXPECT_DOUBLE_EQ(Open(u"span", u"x.y", String(), String(), &style).Props[piFontSize].AsDouble(), 18);
}

TEST(CanonicalKey, OrdersTheParts) {
  EXPECT_EQ(CanonicalSelectorKey(u"p#x.b.a"), u"p.a.b#x");
  EXPECT_EQ(CanonicalSelectorKey(u"p.b#x.a"), u"p.a.b#x");
  EXPECT_EQ(CanonicalSelectorKey(u"a:hover.z"), u"a.z:hover");
  TStyleList list;
  EXPECT_EQ(SelectorRuleKey(u"div > ul li", list), u"li 20000000010ul >div ");
  EXPECT_EQ(SelectorRuleKey(u"> p", list), u"");
  EXPECT_EQ(SelectorRuleKey(u"a b c d e f g h i j", list), u"");  // too deep
}

}  // namespace
