// Elements styled alike share what the cascade computed for the first of
// them: each must still get exactly the style it would get on its own,
// whatever its parent became after its push, whichever ancestors it has,
// and whatever rules the page added on the way.
#include <gtest/gtest.h>

#include <string>

#include "tests/html/build_helpers.h"

namespace {

// The dump line of the font run that starts at pos.
std::string runAt(const std::string& dump, int pos) {
  const std::string start = "run @" + std::to_string(pos) + " ";
  const size_t at = dump.find(start);
  if (at == std::string::npos) return "(no run at " + std::to_string(pos) + ")";
  return dump.substr(at + start.size(), dump.find('\n', at) - at - start.size());
}

}  // namespace

TEST(StyleSharing, WhatTheBuilderSetsAfterAPushReachesThatElementsChildrenOnly) {
  // The second FONT is styled like the first, then takes its own colour
  // and size from its attributes; its B inherits those, not the first's.
  const std::string fonts = buildhelp::Dump(
      "<font color=red size=2><b>a</b></font><font color=green size=6><b>b</b></font>"
      "<font color=red size=2><b>c</b></font><b>d</b>");
  EXPECT_EQ(runAt(fonts, 0), "DejaVu Serif 13px bold #FF0000") << fonts;
  EXPECT_EQ(runAt(fonts, 1), "DejaVu Serif 32px bold #008000") << fonts;
  EXPECT_EQ(runAt(fonts, 2), "DejaVu Serif 13px bold #FF0000") << fonts;
  EXPECT_EQ(runAt(fonts, 3), "DejaVu Serif 16px bold #000000") << fonts;
  // Cells take their alignment after their push, and their paragraphs
  // inherit it.
  const std::string cells = buildhelp::Dump(
      "<table><tr><td align=right><p><b>r</b></p></td><td align=center><p><b>c</b></p></td>"
      "<td><p><b>l</b></p></td></tr></table>");
  EXPECT_NE(cells.find("align=right \"r"), std::string::npos) << cells;
  EXPECT_NE(cells.find("align=center \"c"), std::string::npos) << cells;
  EXPECT_NE(cells.find("align=left \"l"), std::string::npos) << cells;
}

TEST(StyleSharing, RulesNamingAncestorsSeeEachElementsOwnAncestors) {
  // The two SPANs get the same set (no rule is about DIV.a or DIV.c), but
  // only the first B has DIV.a above it.
  const std::string classes = buildhelp::Dump(
      "<style>.a span b {color:red} div#k > span > i {color:green}</style>"
      "<div class=a><span><b>x</b></span></div><div class=c><span><b>y</b></span></div>"
      "<div id=j><span><i>z</i></span></div><div id=k><span><i>w</i></span></div>");
  EXPECT_NE(classes.find("\"x \"\n        run @0 DejaVu Serif 16px bold #FF0000"), std::string::npos) << classes;
  EXPECT_NE(classes.find("\"y \"\n        run @0 DejaVu Serif 16px bold #000000"), std::string::npos) << classes;
  EXPECT_NE(classes.find("\"z \"\n        run @0 DejaVu Serif 16px italic #000000"), std::string::npos) << classes;
  EXPECT_NE(classes.find("\"w \"\n        run @0 DejaVu Serif 16px italic #008000"), std::string::npos) << classes;
  // Closing the SPAN while the I inside it is open leaves the I without
  // the SPAN above it (and with the same set: the DIV's is the SPAN's): a
  // B opened in it now is no "span b".
  const std::string reparented =
      buildhelp::Dump("<style>span b {color:red}</style><div><span><i><b>a</b></span><b>y</b></i></div>");
  EXPECT_EQ(runAt(reparented, 0), "DejaVu Serif 16px bold italic #FF0000") << reparented;
  EXPECT_EQ(runAt(reparented, 1), "DejaVu Serif 16px bold italic #000000") << reparented;
  // Links in other surroundings have other colours.
  const std::string links = buildhelp::Dump(
      "<style>.m a {color:green}</style><p class=m><a href=x>a</a></p><p><a href=y>b</a></p>"
      "<p class=m><a href=z>c</a></p>");
  EXPECT_NE(links.find("#008000 link=x"), std::string::npos) << links;
  EXPECT_EQ(links.find("#008000 link=y"), std::string::npos) << links;
  EXPECT_NE(links.find("#008000 link=z"), std::string::npos) << links;
}

TEST(StyleSharing, StyleAttributesAndRulesMetOnTheWayCount) {
  const std::string attrs = buildhelp::Dump(
      "<style>.i {color:olive !important}</style><b style='color:red'>a</b><b style='color:blue'>b</b>"
      "<b>c</b><b style='color:red'>d</b><b class=i style='color:red'>e</b><b style='color:red !important'>f</b>");
  EXPECT_EQ(runAt(attrs, 0), "DejaVu Serif 16px bold #FF0000") << attrs;
  EXPECT_EQ(runAt(attrs, 1), "DejaVu Serif 16px bold #0000FF") << attrs;
  EXPECT_EQ(runAt(attrs, 2), "DejaVu Serif 16px bold #000000") << attrs;
  EXPECT_EQ(runAt(attrs, 3), "DejaVu Serif 16px bold #FF0000") << attrs;
  EXPECT_EQ(runAt(attrs, 4), "DejaVu Serif 16px bold #808000") << attrs;
  EXPECT_EQ(runAt(attrs, 5), "DejaVu Serif 16px bold #FF0000") << attrs;
  // A sheet in the middle of the page reaches the elements after it, also
  // when it adds to a rule that exists already.
  const std::string later = buildhelp::Dump(
      "<b class=x>a</b><style>.x {color:red}</style><b class=x>b</b>"
      "<style>.x {font-style:italic}</style><b class=x>c</b>");
  EXPECT_EQ(runAt(later, 0), "DejaVu Serif 16px bold #000000") << later;
  EXPECT_EQ(runAt(later, 1), "DejaVu Serif 16px bold #FF0000") << later;
  EXPECT_EQ(runAt(later, 2), "DejaVu Serif 16px bold italic #FF0000") << later;
}
