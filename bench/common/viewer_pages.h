#pragma once
// Pages the viewer benchmarks load: a typical dictionary article and a
// 1 MB page of paragraphs.
#include <string>

namespace benchpages {

// An article as the application builds it: its wrapper, a heading and a
// few kilobytes of converted dictionary markup (more with more senses).
inline std::string articlePage(int senseCount = 24) {
  std::string body;
  const char* senses[] = {
      "<B>1)</B> <I>сущ.</I> дом, здание; жилище; <FONT style=\"font-family: DejaVu Sans\">[haus]</FONT>",
      "<B>2)</B> семья, род; династия; <U>the House of Windsor</U> — Виндзорская династия",
      "<B>3)</B> палата (парламента); <A href=\"#chamber\">chamber</A>, <A href=\"#assembly\">assembly</A>",
      "<BR><BR>&bull; <I>гл.</I> 1) приютить, поселить; предоставить жильё 2) помещать, хранить",
  };
  for (int i = 0; i < senseCount; ++i) body += std::string(senses[i % 4]) + " ";
  return "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" /></head>"
         "<body bgcolor=\"#FFFFFF\" style=\"margin-right: 20px; margin-bottom: 20px; color: #000000; "
         "font-family: DejaVu Serif; font-size: 12pt\"><h1>house</h1>" +
         body + "</body></html>";
}

// A one-line article: no scroll bar.
inline std::string shortPage() {
  return "<html><body style=\"font-family: DejaVu Serif; font-size: 12pt\"><h1>hut</h1><B>1)</B> хижина</body></html>";
}

// About 1 MB of paragraphs with inline markup and links.
inline std::string bigPage() {
  std::string s = "<html><body>";
  int n = 0;
  while (s.size() < 1024 * 1024) {
    ++n;
    s += "<p>Paragraph " + std::to_string(n) +
         ": the <b>quick</b> brown <i>fox</i> jumps over the lazy dog; "
         "съешь же ещё этих мягких французских булок, да выпей чаю. "
         "<a href=\"#p" + std::to_string(n) + "\">link</a></p>\n";
  }
  return s + "</body></html>";
}

}  // namespace benchpages
