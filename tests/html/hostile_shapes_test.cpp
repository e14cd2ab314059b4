// Pages shaped to be slow: rows of thousands of floats.
// Their speed is the benchmarks' to measure; here the work the engine does
// for them is counted, and it must stay within a bound per element however
// many elements there are (the faults made it grow with their number).
// The pages still come out as pages of a few such elements do.
#include <gtest/gtest.h>

#include <string>

#include "html/model/indent_manager.h"
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

TEST(HostileShapes, ThousandsOfFloatsTakeABoundedWorkEach) {
  constexpr int n = 3000;
  const std::string pieces[] = {
      "<div style=\"float:left\">x</div>",  // rows of narrow floated blocks
      "<img align=left width=7 height=9>",  // rows of floating pictures in one line of text
      "<div style=\"float:right;width:500px;height:3px\"></div>",  // one float a row: each goes below all others
      "<img align=right width=9 height=4><img align=left width=31 height=7><img align=left width=3 height=11>",
  };
  for (const std::string& piece : pieces) {
    auto l = layouthelp::Layout(page(times(piece, n)), 800);
    // The document's own manager holds the body's floats.
    EXPECT_LE(l.Doc->IndentManager->Steps(), uint64_t(n) * 200) << piece;
    EXPECT_GT(l.Height, 0) << piece;
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

}  // namespace
