// Elements styled alike share what the cascade computed for the elements
// like them before: each must still get exactly the style it would get on
// its own, whatever its parent became after its push, whichever ancestors
// it has, and whatever rules the page added on the way. Each pattern is
// repeated, so that later copies are made from kept sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/html/build_helpers.h"

namespace {

constexpr int Repeats = 4;

std::string repeated(const std::string& pattern) {
  std::string page;
  for (int i = 0; i < Repeats; ++i) page += pattern;
  return page;
}

// The font runs of a dump, in order ("DejaVu Serif 16px bold #FF0000").
std::vector<std::string> runs(const std::string& dump) {
  std::vector<std::string> r;
  for (size_t at = dump.find("run @"); at != std::string::npos; at = dump.find("run @", at + 1)) {
    const size_t from = dump.find(' ', at + 5) + 1;
    r.push_back(dump.substr(from, dump.find('\n', at) - from));
  }
  return r;
}

const std::string Plain = "DejaVu Serif 16px #000000";

// Checks that the runs of a page built from Repeats copies of a pattern
// are Repeats copies of the pattern's runs, then the runs of tail (by
// default the closing blank of the page's text).
void expectRunsRepeat(const std::string& before, const std::string& pattern,
                      const std::vector<std::string>& expected,
                      const std::vector<std::string>& tail = {Plain}) {
  const std::string dump = buildhelp::Dump(before + repeated(pattern));
  const std::vector<std::string> got = runs(dump);
  std::vector<std::string> want;
  for (int i = 0; i < Repeats; ++i) want.insert(want.end(), expected.begin(), expected.end());
  want.insert(want.end(), tail.begin(), tail.end());
  EXPECT_EQ(got, want) << dump;
}

}  // namespace

TEST(StyleSharing, WhatTheBuilderSetsAfterAPushReachesThatElementsChildrenOnly) {
  // Each FONT is styled like the one before, then takes its own colour
  // and size from its attributes: its text and its B have those.
  expectRunsRepeat("", "<font color=red size=2>a<b>a</b></font><font color=green size=6>b<b>b</b></font><b>d</b>",
                   {"DejaVu Serif 13px #FF0000", "DejaVu Serif 13px bold #FF0000", "DejaVu Serif 32px #008000",
                    "DejaVu Serif 32px bold #008000", "DejaVu Serif 16px bold #000000"});
  // Cells take their alignment after their push, and their paragraphs
  // inherit it.
  const std::string cells = buildhelp::Dump(repeated(
      "<table><tr><td align=right><p><b>r</b></p></td><td align=center><p><b>c</b></p></td>"
      "<td><p><b>l</b></p></td></tr></table>"));
  for (const char* cell : {"align=right \"r", "align=center \"c", "align=left \"l"}) {
    int count = 0;
    for (size_t at = cells.find(cell); at != std::string::npos; at = cells.find(cell, at + 1)) ++count;
    EXPECT_EQ(count, Repeats) << cell << "\n" << cells;
  }
}

TEST(StyleSharing, RulesNamingAncestorsSeeEachElementsOwnAncestors) {
  // The SPANs get the same set (no rule is about DIV.a or DIV.c), but only
  // the B under DIV.a is red; likewise for the ids and the child rule.
  const std::string sheet = "<style>.a span b {color:red} div#k > span > i {color:green}</style>";
  expectRunsRepeat(sheet,
                   "<div class=a><span><b>x</b></span></div><div class=c><span><b>y</b></span></div>"
                   "<div id=j><span><i>z</i></span></div><div id=k><span><i>w</i></span></div>",
                   {"DejaVu Serif 16px bold #FF0000", Plain, "DejaVu Serif 16px bold #000000", Plain,
                    "DejaVu Serif 16px italic #000000", Plain, "DejaVu Serif 16px italic #008000", Plain},
                   {});
  // Closing the SPAN while the I inside it is open leaves the I without
  // the SPAN above it (and with the same set: the DIV's is the SPAN's): a
  // B opened in it now is no "span b".
  expectRunsRepeat("<style>span b {color:red}</style>",
                   "<div><span><i><b>a</b><b>a</b></span><b>y</b><b>y</b></i></div>",
                   {"DejaVu Serif 16px bold italic #FF0000", "DejaVu Serif 16px bold italic #FF0000",
                    "DejaVu Serif 16px bold italic #000000", "DejaVu Serif 16px bold italic #000000", Plain},
                   {});
  // Links in other surroundings have other colours.
  const std::string links = buildhelp::Dump(
      "<style>.m a {color:green}</style>" + repeated("<p class=m><a href=x>a</a></p><p><a href=y>b</a></p>"));
  int green = 0, plain = 0;
  for (size_t at = links.find("#008000 link=x"); at != std::string::npos; at = links.find("#008000 link=x", at + 1)) ++green;
  for (size_t at = links.find("link=y"); at != std::string::npos; at = links.find("link=y", at + 1))
    plain += links.compare(at - 8, 8, "#008000 ") != 0;
  EXPECT_EQ(green, Repeats) << links;
  EXPECT_EQ(plain, Repeats) << links;
}

TEST(StyleSharing, StyleAttributesAndRulesMetOnTheWayCount) {
  expectRunsRepeat("<style>.i {color:olive !important}</style>",
                   "<b style='color:red'>a</b><b style='color:blue'>b</b><b>c</b><b class=i style='color:red'>e</b>"
                   "<b style='color:red !important'>f</b>",
                   {"DejaVu Serif 16px bold #FF0000", "DejaVu Serif 16px bold #0000FF", "DejaVu Serif 16px bold #000000",
                    "DejaVu Serif 16px bold #808000", "DejaVu Serif 16px bold #FF0000"});
  // A sheet in the middle of the page reaches the elements after it, also
  // when it adds to a rule that exists already.
  const std::string three = repeated("<b class=x>a</b>");
  const std::string later = buildhelp::Dump(three + "<style>.x {color:red}</style>" + three +
                                            "<style>.x {font-style:italic}</style>" + three);
  const std::vector<std::string> got = runs(later);
  ASSERT_GE(got.size(), size_t(3 * Repeats)) << later;
  for (int i = 0; i < Repeats; ++i) {
    EXPECT_EQ(got[size_t(i)], "DejaVu Serif 16px bold #000000") << later;
    EXPECT_EQ(got[size_t(Repeats + i)], "DejaVu Serif 16px bold #FF0000") << later;
    EXPECT_EQ(got[size_t(2 * Repeats + i)], "DejaVu Serif 16px bold italic #FF0000") << later;
  }
}
