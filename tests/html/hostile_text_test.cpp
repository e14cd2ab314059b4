// Pages of one huge paragraph: a word longer than a reading piece, words
// read in many pieces, a UTF-16 source. The text comes out whole, its source
// positions stay a handful of runs (never a number a character), selection
// and source mapping still land on the right characters, and painting such
// a line draws its visible part with the width the layout measured.
#include <gtest/gtest.h>

#include <cstdint>

#include "html/layout/layout_device.h"
#include "html/model/section.h"
#include "html/build/html_parser.h"
#include "html/parse/html_tokenizer.h"
#include "html/parse/source_buffer.h"
#include "platform/core/strings.h"
#include "tests/html/layout_helpers.h"

namespace {

using layouthelp::Layout;
using layouthelp::sections;

const std::string Head = "<html><body><p>";
const std::string Tail = "</p></body></html>";

std::string longWord(size_t n) {
  std::string w;
  w.reserve(n);
  for (size_t i = 0; i < n; ++i) w += char('a' + i % 26);
  return w;
}

TEST(HostileText, TheReaderHandsALongTextOverInBoundedPiecesThatMakeItUp) {
  // A word, then words with blanks of several kinds, an entity between
  // them, and the text ending at a tag.
  const size_t n = size_t(THtmlTokenizer::MaxTextToken) * 5 + 11;
  std::string body = longWord(n) + "  x";
  for (int i = 0; body.size() < n * 2; ++i) body += (i % 3 ? " w" : "\n\tv&amp;") + std::to_string(i);
  const std::string page = "<p>" + body + "</p>";
  auto buffer = TBuffer::CreateFromBytes(page.data(), page.size(), u"p");
  THtmlTokenizer t(buffer.get());
  t.ReadChar();
  String text;
  std::vector<int> positions;
  int pieces = 0;
  for (t.NextSymbol(); t.Sy != symEndOfDoc; t.NextSymbol()) {
    if (t.Sy != symText) continue;
    ++pieces;
    EXPECT_LE(t.Token.Count(), 2 * THtmlTokenizer::MaxTextToken);
    // A piece never starts with a blank the one before left out.
    if (!text.empty() && text.back() == u' ') {
      EXPECT_NE(t.Token.GetString().front(), u' ');
    }
    text += t.Token.GetString();
    positions.insert(positions.end(), t.Token.Indexes().begin(), t.Token.Indexes().end());
  }
  EXPECT_GE(pieces, 8);
  // The pieces make up the text with its blanks folded as one token would.
  std::string folded;
  for (size_t i = 0; i < body.size(); ++i) {
    const bool blank = body[i] == ' ' || body[i] == '\n' || body[i] == '\t';
    if (blank && !folded.empty() && folded.back() == ' ') continue;
    folded += blank ? ' ' : body[i];
  }
  size_t amp;
  while ((amp = folded.find("&amp;")) != std::string::npos) folded.replace(amp, 5, "&");
  EXPECT_EQ(text, UTF8ToUTF16(folded));
  // Every character keeps its own place in the source.
  ASSERT_EQ(positions.size(), text.size());
  EXPECT_EQ(positions[0], 3);
  EXPECT_EQ(positions[n - 1], int(3 + n - 1));
  for (size_t i = 1; i < positions.size(); ++i) ASSERT_GT(positions[i], positions[i - 1]) << i;
}

TEST(HostileText, ALineWithoutSpacesLongerThanAReadingPieceIsOneRun) {
  const size_t n = size_t(THtmlTokenizer::MaxTextToken) * 12 + 7;
  const std::string word = longWord(n);
  const std::string html = Head + word + Tail;
  auto l = Layout(html, 400, 100);
  auto secs = sections(*l.Doc);
  ASSERT_EQ(secs.size(), 1u);
  TSection* s = secs[0];
  EXPECT_EQ(s->Chars, UTF8ToUTF16(word) + u" ");
  // One run covers the word: no position is kept per character.
  ASSERT_EQ(s->SourceRuns.size(), 1u);
  EXPECT_EQ(s->SourceRuns[0].Index, int(Head.size()));
  // Nothing grown piece by piece is left much bigger than the text.
  EXPECT_LE(s->Chars.capacity(), s->Chars.size() + s->Chars.size() / 4);
  EXPECT_LE(s->BreakFlags().capacity(), s->BreakFlags().size() + s->BreakFlags().size() / 4);
  for (size_t i : {size_t(0), size_t(THtmlTokenizer::MaxTextToken), n / 2, n - 1}) {
    const int src = s->FindSourcePos(s->StartPos + int(i));
    EXPECT_EQ(src, int(Head.size() + i));
    EXPECT_EQ(s->FindDocPos(src, false), s->StartPos + int(i));
  }
  // A selection far into the line copies its own characters.
  l.Doc->SelStart = s->StartPos + int(n) - 30;
  l.Doc->SelEnd = s->StartPos + int(n) - 10;
  char16_t buf[64];
  const int got = l.Doc->CopySelectionToBuffer(buf, 64);
  EXPECT_EQ(String(buf, size_t(std::max(0, got - 1))), UTF8ToUTF16(word.substr(n - 30, 20)));
  // Search reaches the end of the line.
  EXPECT_EQ(s->FindString(s->StartPos + int(n) - 40, UTF8ToUTF16(word.substr(n - 26, 26)), false),
            s->StartPos + int(n) - 26);
}

TEST(HostileText, WordsReadInManyPiecesKeepTheirBlanksAndPositions) {
  // Blanks of every kind between the words, entities among them, and
  // pieces that end anywhere in the text.
  std::string body, expected;
  std::vector<std::pair<size_t, size_t>> wordAt;  // (place in the html, place in the text)
  const char* seps[] = {" ", "  ", "\n", " \t ", "\r\n"};
  for (int i = 0; expected.size() < size_t(THtmlTokenizer::MaxTextToken) * 6; ++i) {
    const std::string w = "w" + std::to_string(i) + (i % 7 == 0 ? "&amp;x" : "");
    wordAt.emplace_back(Head.size() + body.size(), expected.size());
    body += w + seps[i % 5];
    expected += "w" + std::to_string(i) + (i % 7 == 0 ? "&x" : "") + " ";
  }
  const std::string html = Head + body + Tail;
  auto l = Layout(html, 600, 100);
  auto secs = sections(*l.Doc);
  ASSERT_EQ(secs.size(), 1u);
  TSection* s = secs[0];
  EXPECT_EQ(s->Chars, UTF8ToUTF16(expected));
  EXPECT_FALSE(s->Lines.empty());
  for (size_t k = 0; k < wordAt.size(); k += 97) {
    const int doc = s->StartPos + int(wordAt[k].second);
    EXPECT_EQ(s->FindSourcePos(doc), int(wordAt[k].first)) << "word " << k;
    EXPECT_EQ(s->FindDocPos(int(wordAt[k].first), false), doc) << "word " << k;
  }
}

TEST(HostileText, AUtf16SourceKeepsItsTextInRunsOfTwoBytes) {
  // How the program loads articles: the text itself, two bytes a unit.
  const String word = u"дом" + UTF8ToUTF16(longWord(size_t(THtmlTokenizer::MaxTextToken) * 3));
  const String page = UTF8ToUTF16(Head) + word + UTF8ToUTF16(Tail);
  auto doc = buildhelp::NewDocument();
  auto buffer = TBuffer::CreateFromString(page, u"page");
  THtmlParser parser(buffer.get());
  parser.ParseHtml(doc.get(), nullptr, nullptr, nullptr, nullptr);
  TBitmap bmp;
  bmp.SetSize(400, 100);
  int sw = 0, curs = 0;
  doc->DoLogic(bmp.Canvas(), 0, 400, 100, 0, sw, curs);
  auto secs = sections(*doc);
  ASSERT_EQ(secs.size(), 1u);
  TSection* s = secs[0];
  EXPECT_EQ(s->Chars, word + u" ");
  ASSERT_EQ(s->SourceRuns.size(), 1u);
  EXPECT_EQ(s->SourceStep, 2);
  const int first = int(Head.size()) * 2;
  for (int i : {0, 2, 3, int(word.size()) - 1}) {
    EXPECT_EQ(s->FindSourcePos(s->StartPos + i), first + 2 * i);
    EXPECT_EQ(s->FindDocPos(first + 2 * i, false), s->StartPos + i);
    // The second byte of a character: forwards the next, backwards itself.
    EXPECT_EQ(s->FindDocPos(first + 2 * i + 1, true), s->StartPos + i);
  }
  EXPECT_EQ(s->FindDocPos(first + 1, false), s->StartPos + 1);
}

TEST(HostileText, ALongLineIsPaintedInPiecesWithTheWidthItMeasures) {
  // A pair that straddles the end of a measuring piece (4096 units).
  const String text = UTF8ToUTF16(longWord(4096 * 5 - 1)) + u"\U0001D400" + UTF8ToUTF16(longWord(5000));
  TBitmap bmp;
  bmp.SetSize(300, 40);
  TCanvas* c = bmp.Canvas();
  c->Brush()->SetColor(clWhite);
  c->FillRect(TRect(0, 0, 300, 40));
  TMyFont f;
  f.SetName(u"DejaVu Sans");
  f.SetHeight(-14);
  f.ReadMetrics();
  ThtMeasurer m(c);
  m.SelectFont(&f);
  const int whole = m.Width(text.data(), int(text.size()));
  // Measured in pieces, the text is as wide as its advances taken at once.
  std::vector<int> all(text.size());
  m.Advances(text.data(), int(text.size()), all.data(), nullptr);
  int64_t sum = 0;
  for (int x : all) sum += x;
  EXPECT_EQ(whole, sum);
  // A justified line takes its extra room at its blanks whichever piece
  // they fall in.
  const String spaced = text + u" " + text + u" end";
  ThtJustify a(13, 2), b(13, 2);
  const int justified = m.Width(spaced.data(), int(spaced.size()), &a);
  int byChar = 0;
  std::vector<int> adv(spaced.size());
  m.Advances(spaced.data(), int(spaced.size()), adv.data(), &b);
  for (int x : adv) byChar += x;
  EXPECT_EQ(justified, byChar);
  EXPECT_GT(whole, 300 * 100);
  EXPECT_EQ(htPaint::Text(c, 0, 30, text.data(), int(text.size()), clBlack, false, clNone), whole);
  // The visible start of the line is drawn.
  int dark = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 300; ++x) dark += (c->Pixels(x, y) & 0xFFFFFF) != 0xFFFFFF;
  EXPECT_GT(dark, 100);
  // Drawn on a background, the box is as wide as the text.
  EXPECT_EQ(htPaint::Text(c, 0, 30, text.data(), int(text.size()), clBlack, true, clYellow), whole);
}

}  // namespace
