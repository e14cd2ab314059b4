// The article converter against the one it replaced, which made the same
// pages by replacing in place (each lengthening replacement moving the rest
// of the text): over articles made by code from every kind of markup, both
// give the same page.
#include <random>

#include "app/article.h"
#include "platform/core/strings.h"
#include "tests/app/app_test_util.h"

namespace reference {
namespace {


void replaceAll(String& s, const String& from, const String& to) {
  size_t at = 0;
  while ((at = s.find(from, at)) != String::npos) {
    s.replace(at, from.size(), to);
    at += to.size();
  }
}

String upperChars(const String& s) {
  String u = s;
  for (char16_t& c : u) c = AnsiUpperChar(c);
  return u;
}

// Length of the character reference ("&bull;", "&#769;", "&#x301;") that
// starts at s[i], or 0 when none does.
size_t entityLength(const String& s, size_t i) {
  if (s[i] != u'&') return 0;
  size_t k = i + 1;
  if (k < s.size() && s[k] == u'#') ++k;
  const size_t nameStart = k;
  while (k < s.size() && k - nameStart < 32 &&
         ((s[k] >= u'a' && s[k] <= u'z') || (s[k] >= u'A' && s[k] <= u'Z') || (s[k] >= u'0' && s[k] <= u'9')))
    ++k;
  return k > nameStart && k < s.size() && s[k] == u';' ? k + 1 - i : 0;
}

// Index just past the tag that starts at s[i] (a '<'), or the text's end.
// A '>' inside a quoted attribute value does not end the tag, as in the
// view; a quote counts only right after '=', so an apostrophe in text that
// merely looks like a tag cannot swallow the rest of the article.
size_t tagEnd(const String& s, size_t i) {
  bool afterEquals = false;
  for (size_t k = i + 1; k < s.size(); ++k) {
    const char16_t c = s[k];
    if (c == u'>') return k + 1;
    if ((c == u'"' || c == u'\'') && afterEquals) {
      const size_t close = s.find(c, k + 1);
      if (close == String::npos) break;
      k = close;
      afterEquals = false;
      continue;
    }
    if (c == u'=') afterEquals = true;
    else if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') afterEquals = false;
  }
  const size_t end = s.find(u'>', i);
  return end == String::npos ? s.size() : end + 1;
}

// Marks every occurrence of Word in a run of text that holds no reference,
// keeping the run's own spelling inside the mark.
void highlightRun(const String& run, const String& upperWord, String& out) {
  const String upperRun = upperChars(run);
  size_t from = 0, at;
  while ((at = upperRun.find(upperWord, from)) != String::npos) {
    out.append(run, from, at - from);
    out += u"<FONT style=\"background-color: #E0FFFF\">" + run.substr(at, upperWord.size()) + u"</FONT>";
    from = at + upperWord.size();
  }
  out.append(run, from, String::npos);
}

// Replaces every occurrence of Word (compared by the locale's case rules)
// in the shown text of s: never inside a tag or a character reference, and
// never between the media and cross-reference tags, whose content becomes
// names and addresses (a cross-reference's text is marked when it becomes a
// link).
String highlight(const String& s, const String& word) {
  if (word.empty()) return s;
  const String upperWord = upperChars(word);
  String out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    // A protected region: a whole media or cross-reference element.
    bool isProtected = false;
    for (const char16_t* tag : {u"<5>", u"<7>"}) {
      if (s.compare(i, 3, tag) != 0) continue;
      const String close = String(u"</") + tag[1] + u">";
      const size_t end = s.find(close, i + 3);
      if (end == String::npos) continue;
      out.append(s, i, end + close.size() - i);
      i = end + close.size();
      isProtected = true;
      break;
    }
    if (isProtected) continue;
    if (s[i] == u'<') {
      const size_t stop = tagEnd(s, i);
      out.append(s, i, stop - i);
      i = stop;
      continue;
    }
    size_t textEnd = s.find(u'<', i);
    if (textEnd == String::npos) textEnd = s.size();
    // The text up to the next tag, split at character references.
    size_t runStart = i;
    for (size_t k = i; k < textEnd;) {
      const size_t n = entityLength(s, k);
      if (n == 0 || k + n > textEnd) {
        ++k;
        continue;
      }
      highlightRun(s.substr(runStart, k - runStart), upperWord, out);
      out.append(s, k, n);
      k += n;
      runStart = k;
    }
    highlightRun(s.substr(runStart, textEnd - runStart), upperWord, out);
    i = textEnd;
  }
  return out;
}

String highlightAll(String s, const std::vector<String>& words) {
  for (const String& w : words) s = highlight(s, w);
  return s;
}

// The text of markup with its tags left out: a cross-reference written
// around bold or highlighted text still searches for the word itself.
String withoutTags(const String& s) {
  String out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (s[i] == u'<' && s.find(u'>', i) != String::npos) {
      i = tagEnd(s, i);
      continue;
    }
    out += s[i++];
  }
  return out;
}

// Text made safe inside a double-quoted attribute value, its character
// references kept: the viewer reads them back into the characters shown.
String escapeKeepingReferences(const String& s) {
  String out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t n = entityLength(s, i);
    if (n > 0) {
      out.append(s, i, n);
      i += n;
      continue;
    }
    out += EscapeHtml(String(1, s[i++]));
  }
  return out;
}


String convert(const String& Text, int DictIndex, const std::vector<String>& AdditionalWords) {
  String s = Text;
  replaceAll(s, u"<1>", u"<B>");
  replaceAll(s, u"</1>", u"</B>");
  replaceAll(s, u"<3>", u"<U>");
  replaceAll(s, u"</3>", u"</U>");
  replaceAll(s, u"<2>", u"<I>");
  replaceAll(s, u"</2>", u"</I>");
  replaceAll(s, u"<4>", u"<FONT style=\"font-family: Lucida Sans Unicode; font-size: 16pt\">");
  replaceAll(s, u"</4>", u"</FONT>");
  replaceAll(s, u"<9>", u"<BR><BR>&bull; ");
  replaceAll(s, u"&acute;", u"`");

  s = highlightAll(s, AdditionalWords);

  const String n = IntToStr(DictIndex);
  size_t from = 0;
  for (;;) {
    const size_t open = s.find(u"<5>", from);
    if (open == String::npos) break;
    const size_t close = s.find(u"</5>", open + 3);
    if (close == String::npos) break;  // an unclosed tag stays as text
    const String source = u"*" + n + u"/" + EscapeHtml(s.substr(open + 3, close - open - 3));
    const String html = u"<DIV><a href=\"" + source + u"\"><IMG style=\"border: 1px #e0e0e0 dashed\" SRC=\"" +
                        source + u"\"></a></DIV>";
    s.replace(open, close + 4 - open, html);
    from = open + html.size();
  }

  from = 0;
  for (;;) {
    const size_t open = s.find(u"<7>", from);
    if (open == String::npos) break;
    const size_t close = s.find(u"</7>", open + 3);
    if (close == String::npos) {
      // The one change since: an unclosed cross-reference opens a link
      // with an empty target.
      const String empty = u"<A href=\"#\">";
      s.replace(open, 3, empty);
      from = open + empty.size();
      continue;
    }
    // The link's text is shown text, so the additional words are marked in
    // it; its target is the text as stored, without any markup.
    const String text = s.substr(open + 3, close - open - 3);
    const String link = u"<A href=\"#" + escapeKeepingReferences(withoutTags(text)) + u"\">" +
                        highlightAll(text, AdditionalWords) + u"</A>";
    s.replace(open, close + 4 - open, link);
    from = open + link.size();
  }
  return s;
}


}  // namespace
}  // namespace reference

namespace {

// An article of random pieces: every tag of the table, media and
// cross-references closed and not, stray brackets, quotes, references, and
// words that the additional words may find.
String randomArticle(std::mt19937& random, size_t pieces) {
  static const char16_t* const kPieces[] = {
      u"<1>", u"</1>", u"<2>", u"</2>", u"<3>", u"</3>", u"<4>", u"</4>", u"<9>", u"&acute;", u"<5>", u"</5>",
      u"<7>", u"</7>", u"<6>", u"<", u">", u"\"", u"'", u"=", u" ", u"&bull;", u"&amp;", u"&#769;", u"&", u";",
      u"wolf", u"WOLF", u"Лес", u"лес", u"fox.png", u"<A title=\"a>b wolf\">", u"</A>", u"<b x='1>'>", u"ёж",
      u"a", u"5", u"7", u"/", u"<BR>", u"\n"};
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  String s;
  for (size_t i = 0; i < pieces; ++i) s += kPieces[pick(random)];
  return s;
}

}  // namespace

TEST(ArticleConversion, GivesThePagesTheInPlaceConverterGave) {
  std::mt19937 random(20261207);
  const std::vector<std::vector<String>> wordSets = {{}, {u"wolf"}, {u"лес", u"WOLF"}, {u"a"}, {u"font"}};
  for (int i = 0; i < 3000; ++i) {
    const String article = randomArticle(random, 1 + size_t(i % 60));
    const std::vector<String>& words = wordSets[size_t(i) % wordSets.size()];
    const int index = i % 3;
    ASSERT_EQ(ConvertArticleMarkup(article, index, words), reference::convert(article, index, words))
        << "article " << i << ": " << UTF16ToUTF8(article);
  }
}

TEST(ArticleConversion, ManyUnclosedTagsConvertInOnePass) {
  // Every kind of tag left open many times over: each is read once.
  String article;
  for (int i = 0; i < 20000; ++i) article += u"<7>x<5>y<a=\"z";
  const String page = ConvertArticleMarkup(article, 0, {u"x"});
  size_t links = 0, media = 0;
  for (size_t at = 0; (at = page.find(u"<A href=\"#\">", at)) != String::npos; ++at) ++links;
  for (size_t at = 0; (at = page.find(u"<5>y<a=\"z", at)) != String::npos; ++at) ++media;
  EXPECT_EQ(links, 20000u);
  EXPECT_EQ(media, 20000u);
  const String few = article.substr(0, 500 * 15);
  EXPECT_EQ(ConvertArticleMarkup(few, 0, {u"x"}), reference::convert(few, 0, {u"x"}));
}
