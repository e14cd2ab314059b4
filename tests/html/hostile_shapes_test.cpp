// Pages shaped to be slow: rows of thousands of floats, inline elements
// closed under thousands of open ones, a class of thousands of words.
// Their speed is the benchmarks' to measure; here the work the engine does
// for them is counted, and it must stay within a bound per element however
// many elements there are (the faults made it grow with their number).
// The pages still come out as pages of a few such elements do.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "html/model/attributes.h"
#include "html/model/indent_manager.h"
#include "html/parse/prop_stack.h"
#include "platform/core/strings.h"
#include "tests/html/layout_helpers.h"

namespace {

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::string times(const std::string& piece, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += piece;
  return s;
}

std::string page(const std::string& body) { return "<html><body>" + body + "</body></html>"; }

// ---- floats ----

// N floated blocks of widths from 10 to 309 px on both sides, mixed by
// Seed: narrow ones still fit into the gaps of rows filled long before.
std::string mixedFloats(int N, unsigned Seed) {
  std::string s;
  for (int i = 0; i < N; ++i) {
    Seed = Seed * 1103515245u + 12345u;
    s += std::string("<div style=\"float:") + ((Seed >> 16) % 3 ? "left" : "right") +
         ";width:" + std::to_string(10 + (Seed >> 8) % 300) + "px\">x</div>";
  }
  return s;
}

TEST(HostileShapes, ThousandsOfFloatsTakeABoundedWorkEach) {
  constexpr int n = 3000;
  const std::string pieces[] = {
      "<div style=\"float:left\">x</div>",  // rows of narrow floated blocks
      "<img align=left width=7 height=9>",  // rows of floating pictures in one line of text
      "<div style=\"float:right;width:500px;height:3px\"></div>",  // one float a row: each goes below all others
      "<img align=right width=9 height=4><img align=left width=31 height=7><img align=left width=3 height=11>",
  };
  std::vector<std::string> bodies;
  for (const std::string& piece : pieces) bodies.push_back(times(piece, n));
  bodies.push_back(mixedFloats(n, 1));
  for (const std::string& body : bodies) {
    auto l = layouthelp::Layout(page(body), 800);
    // The document's own manager holds the body's floats.
    EXPECT_LE(l.Doc->IndentManager->Steps(), uint64_t(n) * 200) << body.substr(0, 200);
    EXPECT_GT(l.Height, 0) << body.substr(0, 200);
  }
}

TEST(HostileShapes, FloatsStillFillRowsAndGoBelowWhenTheRowIsFull) {
  // Three 300 px floats in 800 px: two side by side, the third below the
  // first; a narrow one then still fits beside the first two.
  auto l = layouthelp::Layout(page(times("<div style=\"float:left;width:300px;height:20px\"></div>", 3) +
                                       "<div style=\"float:left;width:150px;height:5px\"></div>"),
                              800);
  const std::string dump = l.Dump();
  EXPECT_TRUE(contains(dump, "content=0,5 w=300 float=left")) << dump;
  EXPECT_TRUE(contains(dump, "content=300,5 w=300 float=left")) << dump;
  EXPECT_TRUE(contains(dump, "content=0,25 w=300 float=left")) << dump;
  EXPECT_TRUE(contains(dump, "content=600,5 w=150 float=left")) << dump;
}

// ---- inline elements closed under many open ones ----

TEST(HostileShapes, EndTagsUnderManyOpenElementsTakeABoundedWorkEach) {
  auto doc = buildhelp::NewDocument();
  THtmlPropStack stack;
  stack.Document = doc.get();
  stack.Add(TProperties::CreateInStack(&stack));
  constexpr int n = 20000;
  for (int i = 0; i < n; ++i) stack.PushNewProp(u"i", u"", u"", u"", u"", nullptr);
  for (int i = 0; i < n; ++i) stack.PushNewProp(u"b", u"", u"", u"", u"", nullptr);
  const uint64_t before = stack.Steps();
  for (int i = 0; i < n; ++i) stack.PopAProp(u"i");
  EXPECT_LE(stack.Steps() - before, uint64_t(n) * 4);
  // Every <i> is closed and the <b>s past the bound are still open: they
  // take the next n end tags, and the bottom entry stays.
  EXPECT_EQ(stack.Count(), 1);
  for (int i = 0; i < n; ++i) stack.PopProp();
  EXPECT_EQ(stack.Count(), 1);
}

TEST(HostileShapes, PastTheDepthBoundEachEndTagClosesTheNewestOfItsName) {
  auto doc = buildhelp::NewDocument();
  THtmlPropStack stack;
  stack.Document = doc.get();
  stack.Add(TProperties::CreateInStack(&stack));
  while (stack.Count() < THtmlPropStack::MaxDepth) stack.PushNewProp(u"s", u"", u"", u"", u"", nullptr);
  for (const char16_t* tag : {u"a", u"b", u"a"}) stack.PushNewProp(tag, u"", u"", u"", u"", nullptr);
  stack.PopAProp(u"a");  // the second a
  stack.PopProp();       // then the newest left: b
  stack.PopAProp(u"b");  // no b is open any more: nothing goes
  EXPECT_EQ(stack.Count(), THtmlPropStack::MaxDepth);
  stack.PopAProp(u"a");  // the first a
  EXPECT_EQ(stack.Count(), THtmlPropStack::MaxDepth);
  stack.PopProp();  // only now an entry of the stack
  EXPECT_EQ(stack.Count(), THtmlPropStack::MaxDepth - 1);
}

TEST(HostileShapes, TextUnderThousandsOfOpenElementsTakesTheStyleWithinTheDepthBound) {
  // Past the bound elements share the style of the deepest one within it:
  // x is italic (the <b>s all lie past it), and once the </i>s have
  // closed every <i>, y is plain.
  constexpr int n = 2000;
  const std::string dump = buildhelp::Dump(page(times("<i>", n) + times("<b>", n) + "x" + times("</i>", n) + "y"));
  EXPECT_TRUE(contains(dump, "\"xy \"")) << dump;
  EXPECT_TRUE(contains(dump, "run @0 DejaVu Serif 16px italic #000000")) << dump;
  EXPECT_TRUE(contains(dump, "run @1 DejaVu Serif 16px #000000")) << dump;
}

// ---- a class of many words ----

TEST(HostileShapes, AClassOfManyWordsIsReadInOnePass) {
  constexpr int n = 20000;
  String text = u"\t";
  for (int i = n - 1; i >= 0; --i) text += u"W" + IntToStr(i) + String(i % 7 ? u" " : u"\n  ");
  TAttributeList attrs;
  attrs.AddValues(symClass, 0, u"CLASS", text, 0);
  const String key = attrs.GetClass();
  EXPECT_LE(attrs.ClassSteps(), uint64_t(text.size()) * 4);
  // Lower-cased and in the order the style list keys class selectors.
  EXPECT_EQ(key.substr(0, 34), u"w0.w1.w10.w100.w1000.w10000.w10001");
  EXPECT_EQ(std::count(key.begin(), key.end(), u'.'), n - 1);
  EXPECT_EQ(key.find(u' '), String::npos);
}

TEST(HostileShapes, ARuleForAnyWordOfALongClassApplies) {
  std::string words;
  for (int i = 0; i < 5000; ++i) words += " c" + std::to_string(i);
  const std::string dump = buildhelp::Dump("<html><head><style>.c4999 { color: red }</style></head><body><p class=\"" +
                                           words + "\">text</p></body></html>");
  EXPECT_TRUE(contains(dump, "run @0 DejaVu Serif 16px #FF0000")) << dump.substr(dump.size() - 300);
}

}  // namespace
