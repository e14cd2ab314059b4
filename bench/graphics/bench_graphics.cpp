// Measures (1) text widths for 100,000 mixed Latin/Cyrillic words and
// (2) filling a 1920 x 1080 bitmap and drawing lines of text on it, each
// through the drawing layer and through plain QFontMetricsF / QPainter in
// the same run, and prints both figures and their ratio.
#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas_qt.h"

namespace {

std::vector<String> makeWords(size_t n) {
  const char16_t* latin[] = {u"ka", u"ro", u"mi", u"ten", u"ly", u"st", u"que", u"wa", u"fi", u"on"};
  const char16_t* cyr[] = {u"сло", u"ва", u"рь", u"жи", u"ть", u"ещё", u"ны", u"про", u"ци", u"ЮЯ"};
  std::mt19937 rng(12345);
  std::vector<String> words;
  words.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    String w;
    int parts = 1 + int(rng() % 4);
    bool cyrillic = rng() % 2;
    for (int k = 0; k < parts; ++k) w += cyrillic ? cyr[rng() % 10] : latin[rng() % 10];
    if (rng() % 7 == 0) w[0] = char16_t(w[0] >= u'а' ? w[0] - 0x20 : w[0] - 0x20);
    words.push_back(w);
  }
  return words;
}

QString q(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

template <typename F>
double best(int rounds, F f) {
  double bestTime = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    bestTime = std::min(bestTime, s);
  }
  return bestTime;
}

volatile long long gSink;

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const auto words = makeWords(100000);
  std::vector<QString> qwords;
  for (const auto& w : words) qwords.push_back(q(w));

  TCanvas canvas;
  canvas.Font()->SetName(u"DejaVu Sans");
  canvas.Font()->SetHeight(-13);
  HDC dc = canvas.Handle();
  QFont qfont = QFontFromFont(*canvas.Font());
  QFontMetricsF fm(qfont);

  // 1. Widths of 100,000 words.
  double ours = best(5, [&] {
    long long total = 0;
    TSize sz;
    for (const auto& w : words) {
      GetTextExtentPoint32W(dc, w.data(), int(w.size()), &sz);
      total += sz.cx;
    }
    gSink = total;
  });
  double qt = best(5, [&] {
    double total = 0;
    for (const auto& w : qwords) total += fm.horizontalAdvance(w);
    gSink = (long long)total;
  });
  std::printf("text measuring: ours %.0f words/s, QFontMetricsF %.0f words/s, time ratio ours/Qt %.2f\n",
              words.size() / ours, words.size() / qt, ours / qt);

  // 2. Fill a 1920 x 1080 bitmap and draw 70 lines of about 16 words.
  std::vector<String> lines;
  std::vector<QString> qlines;
  for (size_t i = 0, k = 0; i < 70; ++i) {
    String line;
    for (int j = 0; j < 16; ++j, ++k) line += words[k] + u" ";
    lines.push_back(line);
    qlines.push_back(q(line));
  }
  TBitmap bitmap(1920, 1080);
  TCanvas* bc = bitmap.Canvas();
  bc->Font()->Assign(*canvas.Font());
  double oursDraw = best(10, [&] {
    bc->Brush()->SetStyle(bsSolid);
    bc->Brush()->SetColor(clWhite);
    bc->FillRect(Rect(0, 0, 1920, 1080));
    bc->Brush()->SetStyle(bsClear);
    HDC b = bc->Handle();
    for (size_t i = 0; i < lines.size(); ++i)
      TextOutW(b, 4, int(i) * 15, lines[i].data(), int(lines[i].size()));
  });
  QImage image(1920, 1080, QImage::Format_RGB32);
  double qtDraw = best(10, [&] {
    QPainter p(&image);
    p.fillRect(image.rect(), Qt::white);
    p.setFont(qfont);
    p.setPen(Qt::black);
    for (int i = 0; i < int(qlines.size()); ++i) p.drawText(QPointF(4, i * 15 + fm.ascent()), qlines[size_t(i)]);
  });
  std::printf("fill + draw 1920x1080 text page: ours %.2f ms, QPainter %.2f ms, time ratio ours/Qt %.2f\n",
              oursDraw * 1e3, qtDraw * 1e3, oursDraw / qtDraw);
  return 0;
}
