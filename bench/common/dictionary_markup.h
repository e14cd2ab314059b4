#pragma once
// Dictionary-style markup of a given size for the HTML benchmarks.
#include <string>

// Articles as dictionaries hold them: headword, transcription, grammar
// labels, numbered senses, Cyrillic translations, links, examples.
inline std::string makeMarkup(size_t bytes) {
  static const char* const article =
      "<div class=\"article\"><p class=\"hw\"><b>abandon</b> [\xC9\x99\xCB\x88"
      "b\xC3\xA6nd\xC9\x99n] <i>v.</i></p>\n"
      "<p class=\"sense\">1) \xD0\xBF\xD0\xBE\xD0\xBA\xD0\xB8\xD0\xB4\xD0\xB0\xD1\x82\xD1\x8C, "
      "\xD0\xB1\xD1\x80\xD0\xBE\xD1\x81\xD0\xB0\xD1\x82\xD1\x8C; <a href=\"entry://desert\">"
      "desert</a> &amp; <a href=\"entry://leave\">leave</a></p>\n"
      "<p class=\"ex\" style=\"color:#800000; margin-left:20px\"><span>to abandon a ship</span> "
      "&mdash; \xD0\xBF\xD0\xBE\xD0\xBA\xD0\xB8\xD0\xBD\xD1\x83\xD1\x82\xD1\x8C "
      "\xD1\x81\xD1\x83\xD0\xB4\xD0\xBD\xD0\xBE<br>\r\n"
      "2) \xD0\xBE\xD1\x82\xD0\xBA\xD0\xB0\xD0\xB7\xD1\x8B\xD0\xB2\xD0\xB0\xD1\x82\xD1\x8C\xD1\x81"
      "\xD1\x8F (<i>from</i> &#8212; \xD0\xBE\xD1\x82)&nbsp;<font color=green size=2>"
      "\xD1\x80\xD0\xB0\xD0\xB7\xD0\xB3.</font></p><!-- sense end -->\n"
      "<table border=0 width=100%><tr><td valign=top>abandoned</td><td>"
      "\xD0\xBF\xD0\xBE\xD0\xBA\xD0\xB8\xD0\xBD\xD1\x83\xD1\x82\xD1\x8B\xD0\xB9</td></tr></table>"
      "</div>\n";
  std::string s = "<html><head><title>t</title></head><body>\n";
  while (s.size() < bytes) s += article;
  s += "</body></html>\n";
  return s;
}

