// Inline boxes (margin, border, padding) in table cells whose rows the
// table shows in another order than the page wrote them: a footer written
// before the body (as HTML 4 has it) is shown after it, and every box still
// takes its room beside its own text.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "platform/core/strings.h"
#include "tests/html/layout_helpers.h"

namespace {

TEST(LayoutInlineBoxes, BoxesInCellsTakeTheirRoomWhenTheFooterIsWrittenFirst) {
  auto w = [](const char16_t* t) { return layouthelp::TextWidth(u"DejaVu Sans", 16, t); };
  const std::string td = "<td style='font-family:DejaVu Sans;font-size:12pt;padding:0'>";
  // 1 + 3 on each side.
  const std::string key = "<b style='font-weight:normal;border:1px solid #FF0000;padding:0 3px'>";
  const std::string wide = "<span style='padding-left:20px'>";
  for (const bool footFirst : {true, false}) {
    const std::string foot = "<tfoot><tr>" + td + key + "F</b>+x</td></tr><tr>" + td + "q" + wide + "W</span></td></tr></tfoot>";
    std::string body = "<tbody><tr>" + td + key + "C</b>+" + key + "V</b></td></tr><tr>" + td + "plain</td></tr>";
    for (int i = 0; i < 6; ++i) body += "<tr>" + td + "n" + std::to_string(i) + key + "K</b></td></tr>";
    body += "</tbody>";
    const std::string page = "<html><body style='margin:0'><table cellspacing=0 cellpadding=0>" +
                             (footFirst ? foot + body : body + foot) + "</table></body></html>";
    auto l = layouthelp::Layout(page, 400);
    // The widest line of each cell's text (without the blank that ends it).
    std::map<std::u16string, int> widths;
    THtmlTable* t = layouthelp::tables(*l.Doc).at(0);
    for (int r = 0; r < t->Rows.Count(); ++r)
      for (const auto& cell : *t->Rows[r])
        if (cell && cell->Count() > 0)
          if (TSection* s = cell->GetItem(0)->AsSection()) {
            std::u16string text = s->Chars.substr(0, size_t(s->Length));
            while (!text.empty() && text.back() == u' ') text.pop_back();
            widths[text] = s->WidestLine;
          }
    SCOPED_TRACE(footFirst ? "footer first" : "footer last");
    EXPECT_EQ(widths[u"F+x"], w(u"F") + w(u"+x") + 8);
    EXPECT_EQ(widths[u"qW"], w(u"q") + w(u"W") + 20);
    EXPECT_EQ(widths[u"C+V"], w(u"C") + w(u"+") + w(u"V") + 16);
    EXPECT_EQ(widths[u"plain"], w(u"plain"));
    for (int i = 0; i < 6; ++i) {
      const std::u16string n = u"n" + UTF8ToUTF16(std::to_string(i));
      EXPECT_EQ(widths[n + u"K"], w(n.c_str()) + w(u"K") + 8) << i;
    }
    // Each box is drawn around its own letters: its document positions
    // cover them and nothing else.
    std::multiset<std::u16string> boxed;
    TInlineList& inlines = *l.Doc->Inlines;
    for (int k = 0; k < inlines.Count(); ++k) {
      const int from = inlines.StartOf(k), to = inlines.EndOf(k);
      for (int r = 0; r < t->Rows.Count(); ++r)
        for (const auto& cell : *t->Rows[r])
          if (cell && cell->Count() > 0)
            if (TSection* s = cell->GetItem(0)->AsSection(); s && from >= s->StartPos && to <= s->StartPos + s->Length)
              boxed.insert(s->Chars.substr(size_t(from - s->StartPos), size_t(to - from)));
    }
    EXPECT_EQ(boxed, (std::multiset<std::u16string>{u"F", u"W", u"C", u"V", u"K", u"K", u"K", u"K", u"K", u"K"}));
  }
}

}  // namespace
