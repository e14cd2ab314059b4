// Fonts, text measuring and text drawing. Measuring and drawing share one
// routine that turns a string into whole-pixel advances (the font's design
// advances rounded, plus inter-character and justification extras); text
// is then drawn glyph by glyph at exactly those positions, so a string is
// never wider or narrower on screen than it measured, and the width of a
// prefix is the sum of its characters' widths.
#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QPainterPath>
#include <algorithm>
#include <atomic>
#include <array>
#include <cmath>
#include <cstdint>
#include <future>
#include <map>
#include <mutex>
#include <string_view>
#include <tuple>

#include "platform/core/strings.h"
#include "platform/graphics/gdi_internal.h"

namespace {

QString toQ(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
String fromQ(const QString& s) { return String(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }

String lower(String s) {
  for (auto& c : s)
    if (c >= 'A' && c <= 'Z') c = char16_t(c + 32);
  return s;
}

// Faces that documents and settings name but that free desktops rarely
// carry, with the kind of face fontconfig should stand in for each.
struct KnownFace {
  const char16_t* name;
  QFont::StyleHint hint;
  const char* generic;
};
constexpr KnownFace kKnownFaces[] = {
    {u"times new roman", QFont::Serif, "serif"},   {u"times", QFont::Serif, "serif"},
    {u"georgia", QFont::Serif, "serif"},           {u"serif", QFont::Serif, "serif"},
    {u"courier new", QFont::Monospace, "monospace"}, {u"courier", QFont::Monospace, "monospace"},
    {u"consolas", QFont::Monospace, "monospace"},  {u"lucida console", QFont::Monospace, "monospace"},
    {u"monospace", QFont::Monospace, "monospace"}, {u"arial", QFont::SansSerif, "sans-serif"},
    {u"helvetica", QFont::SansSerif, "sans-serif"}, {u"verdana", QFont::SansSerif, "sans-serif"},
    {u"tahoma", QFont::SansSerif, "sans-serif"},   {u"ms sans serif", QFont::SansSerif, "sans-serif"},
    {u"ms shell dlg", QFont::SansSerif, "sans-serif"}, {u"ms shell dlg 2", QFont::SansSerif, "sans-serif"},
    {u"segoe ui", QFont::SansSerif, "sans-serif"}, {u"lucida sans unicode", QFont::SansSerif, "sans-serif"},
    {u"microsoft sans serif", QFont::SansSerif, "sans-serif"}, {u"sans-serif", QFont::SansSerif, "sans-serif"},
    {u"lucida handwriting", QFont::Cursive, "cursive"}, {u"comic sans ms", QFont::Cursive, "cursive"},
    {u"system", QFont::SansSerif, "sans-serif"}};

const KnownFace* knownFace(const String& face) {
  String l = lower(face);
  // Older Cyrillic pages name the same faces with a " Cyr" suffix.
  if (l.size() > 4 && l.compare(l.size() - 4, 4, u" cyr") == 0) l.resize(l.size() - 4);
  for (const auto& k : kKnownFaces)
    if (l == k.name) return &k;
  return nullptr;
}

std::mutex gFontMutex;

const QStringList& installedFamilies() {
  static QStringList families = [] {
    EnsureGuiApplication();
    return QFontDatabase::families();
  }();
  return families;
}

// Which characters of the first two planes each installed family carries:
// what finding a stand-in for a character its own font lacks asks. It is
// read 256 characters at a time, each block once per process: on the
// first character of the block that needs it, or for all blocks ahead of
// time by the start-up warm-up on a thread of its own (opening every
// installed font file is what the first Cyrillic or phonetic page would
// otherwise wait for). Fonts are not shared between threads: each thread
// that reads opens the families itself; only the plain bits are shared.
class CharacterCoverage {
public:
  static constexpr char32_t kLimit = 0x20000;
  static constexpr size_t kBlocks = kLimit / 256;

  CharacterCoverage() : FFamilies(installedFamilies()), FBits(FFamilies.size() * kLimit / 64) {}

  size_t FamilyCount() const { return size_t(FFamilies.size()); }
  const QString& Family(size_t i) const { return FFamilies[qsizetype(i)]; }
  // Valid once ReadBlock(c / 256) has returned on this thread.
  bool Has(size_t family, char32_t c) const {
    return c < kLimit && (FBits[family * kLimit / 64 + c / 64] >> (c % 64)) & 1;
  }

  void ReadBlock(size_t block, std::vector<QRawFont>& probes) {
    if (block >= kBlocks || FRead[block].load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(FMutex);
    if (FRead[block].load(std::memory_order_relaxed)) return;
    if (probes.empty())
      for (const QString& family : FFamilies) {
        QFont f(family);
        f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::NoFontMerging));
        probes.push_back(QRawFont::fromFont(f));
      }
    const char32_t base = char32_t(block * 256);
    // One UTF-16 unit a character in the first plane, a surrogate pair
    // beyond it (the surrogates themselves are no characters); the font
    // wants room for a glyph per unit.
    QChar units[512];
    quint32 indexes[512];
    int n = 0;
    for (char32_t c = base; c < base + 256; ++c)
      if (c < 0x10000) {
        units[n++] = QChar(char16_t(c));
      } else {
        units[n++] = QChar(QChar::highSurrogate(c));
        units[n++] = QChar(QChar::lowSurrogate(c));
      }
    const bool surrogates = base >= 0xD800 && base < 0xE000;
    for (size_t i = 0; i < probes.size() && !surrogates; ++i) {
      int count = 512;
      if (!probes[i].isValid() || !probes[i].glyphIndexesForChars(units, n, indexes, &count) || count != 256)
        continue;
      for (int k = 0; k < 256; ++k)
        if (indexes[k] != 0) {
          const char32_t c = base + char32_t(k);
          FBits[i * kLimit / 64 + c / 64] |= std::uint64_t(1) << (c % 64);
        }
    }
    FRead[block].store(true, std::memory_order_release);
  }

private:
  const QStringList FFamilies;
  // Blocks never share a word, so a block being read and one being
  // looked at touch different words.
  std::vector<std::uint64_t> FBits;
  std::array<std::atomic<bool>, kBlocks> FRead{};
  std::mutex FMutex;
};

CharacterCoverage& characterCoverage() {
  static CharacterCoverage coverage;
  return coverage;
}

// The families this thread opened to read blocks, kept for the next block.
std::vector<QRawFont>& threadProbes() {
  thread_local std::vector<QRawFont> probes;
  return probes;
}

// Set when the warm-up is to stop before its last block.
std::atomic<bool> gWarmUpStop{false};

// The warm-up's thread; made after the coverage, so that it is waited for
// before the coverage goes away at exit.
std::shared_future<void>& warmUpState(bool start) {
  CharacterCoverage& coverage = characterCoverage();
  static std::mutex mutex;
  static std::shared_future<void> state;
  std::lock_guard<std::mutex> lock(mutex);
  if (start && !state.valid())
    state = std::async(std::launch::async, [&coverage] {
              std::vector<QRawFont> probes;
              for (size_t b = 0; b < CharacterCoverage::kBlocks && !gWarmUpStop.load(std::memory_order_relaxed);
                   ++b)
                coverage.ReadBlock(b, probes);
            }).share();
  return state;
}

}  // namespace

void WarmUpFontData() {
  EnsureGuiApplication();
  warmUpState(true);
}

void WaitForFontWarmUp() {
  const std::shared_future<void> f = warmUpState(false);
  if (f.valid()) f.wait();
}

void EndFontWarmUp() {
  gWarmUpStop.store(true, std::memory_order_relaxed);
  WaitForFontWarmUp();
}

bool FontFamilyInstalled(const String& face) {
  if (face.empty()) return false;
  if (knownFace(face)) return true;
  QString q = toQ(face);
  for (const QString& f : installedFamilies())
    if (f.compare(q, Qt::CaseInsensitive) == 0) return true;
  return false;
}

String ResolveFontFamily(const String& face) {
  static std::map<String, String> cache;
  std::lock_guard<std::mutex> lock(gFontMutex);
  String key = lower(face);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  EnsureGuiApplication();
  QString q = toQ(face);
  String result;
  for (const QString& f : installedFamilies())
    if (f.compare(q, Qt::CaseInsensitive) == 0) result = fromQ(f);
  if (result.empty()) {
    QFont f(face.empty() ? QStringLiteral("sans-serif") : q);
    if (const KnownFace* k = knownFace(face)) {
      // The face itself first: fontconfig gives a metric-compatible face
      // where one is installed (Liberation Serif for "Times New Roman"), so
      // lines break where the page's author saw them break; else a face of
      // its kind.
      QString own = q;
      if (own.endsWith(QStringLiteral(" Cyr"), Qt::CaseInsensitive)) own.chop(4);
      f.setFamilies({own, QString::fromLatin1(k->generic)});
      f.setStyleHint(k->hint);
    }
    result = fromQ(QFontInfo(f).family());
  }
  cache[key] = result;
  return result;
}

// ---- font data --------------------------------------------------------------------

void TFontData::fillPage(int page) {
  auto table = std::make_unique<std::array<Glyph, 256>>();
  QChar chars[256];
  quint32 indexes[256] = {};
  for (int i = 0; i < 256; ++i) chars[i] = QChar(char16_t(page * 256 + i));
  bool surrogates = page >= 0xD8 && page <= 0xDF;
  if (!surrogates && raw.isValid()) {
    int n = 256;
    raw.glyphIndexesForChars(chars, 256, indexes, &n);
    QPointF adv[256];
    raw.advancesForGlyphIndexes(indexes, adv, 256, QRawFont::UseDesignMetrics);
    for (int i = 0; i < 256; ++i) {
      char16_t c = char16_t(page * 256 + i);
      Glyph& g = (*table)[size_t(i)];
      bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
      if (control) continue;
      g.index = indexes[i];
      g.advance = int(std::lround(adv[i].x()));
      if (g.index == 0) {
        quint32 idx = 0;
        int fb = fallbackFor(c, idx);
        if (fb > 0) {
          g.index = idx;
          g.face = fb;
          QPointF a;
          fallbacks[size_t(fb - 1)].advancesForGlyphIndexes(&idx, &a, 1, QRawFont::UseDesignMetrics);
          g.advance = int(std::lround(a.x()));
        }
      }
    }
  }
  pages[size_t(page)] = std::move(table);
}

int TFontData::fallbackFor(char32_t c, quint32& index) {
  // Already loaded fallbacks first, then every installed family.
  for (size_t i = 0; i < fallbacks.size(); ++i)
    if (fallbacks[i].supportsCharacter(c)) {
      QString s = QString::fromUcs4(&c, 1);
      int n = 2;
      quint32 idx[2] = {};
      fallbacks[i].glyphIndexesForChars(s.constData(), int(s.size()), idx, &n);
      index = idx[0];
      return int(i) + 1;
    }
  if (fallbacks.size() >= 32) return 0;
  // Only a family that has the character is loaded at this size.
  CharacterCoverage& coverage = characterCoverage();
  coverage.ReadBlock(c / 256, threadProbes());
  for (size_t i = 0; i < coverage.FamilyCount(); ++i) {
    if (coverage.Family(i) == qfont.family() || !coverage.Has(i, c)) continue;
    QFont f(qfont);
    f.setFamily(coverage.Family(i));
    QRawFont r = QRawFont::fromFont(f);
    if (!r.isValid() || !r.supportsCharacter(c)) continue;
    r.setPixelSize(pixelSize);
    fallbacks.push_back(r);
    return fallbackFor(c, index);
  }
  return 0;
}

TFontData::Glyph TFontData::surrogateGlyph(char16_t hi, char16_t lo) {
  Glyph g;
  QChar pair[2] = {QChar(hi), QChar(lo)};
  quint32 idx[2] = {};
  int n = 2;
  if (raw.isValid()) raw.glyphIndexesForChars(pair, 2, idx, &n);
  g.index = idx[0];
  if (g.index == 0) {
    char32_t c = QChar::surrogateToUcs4(hi, lo);
    quint32 fi = 0;
    int fb = fallbackFor(c, fi);
    if (fb > 0) {
      g.index = fi;
      g.face = fb;
    }
  }
  QPointF a;
  face(g.face).advancesForGlyphIndexes(&g.index, &a, 1, QRawFont::UseDesignMetrics);
  g.advance = int(std::lround(a.x()));
  return g;
}

namespace {

// The fields of a logical font that choose its font data.
bool sameFontData(const LOGFONTW& a, const LOGFONTW& b) {
  return a.lfHeight == b.lfHeight && (a.lfWeight >= 600) == (b.lfWeight >= 600) && !a.lfItalic == !b.lfItalic &&
         !a.lfUnderline == !b.lfUnderline && !a.lfStrikeOut == !b.lfStrikeOut && a.lfCharSet == b.lfCharSet &&
         a.lfFaceName == b.lfFaceName;
}

std::shared_ptr<TFontData> fontDataFor(const LOGFONTW& log);

}  // namespace

std::shared_ptr<TFontData> FontDataFor(const LOGFONTW& log) {
  // Text is laid out and drawn in a handful of fonts whose objects are
  // made again and again; the last few asked for on this thread are found
  // without resolving the face and searching the whole cache.
  struct Recent {
    LOGFONTW log;
    std::shared_ptr<TFontData> data;
  };
  thread_local std::array<Recent, 8> recent;
  thread_local size_t next = 0;
  for (const Recent& r : recent)
    if (r.data && sameFontData(r.log, log)) return r.data;
  Recent& slot = recent[next];
  next = (next + 1) % recent.size();
  slot.log = log;
  slot.data = fontDataFor(log);
  return slot.data;
}

namespace {

std::shared_ptr<TFontData> fontDataFor(const LOGFONTW& log) {
  using Key = std::tuple<String, int, int, int, int, int, int>;
  static std::map<Key, std::shared_ptr<TFontData>> cache;
  String family = ResolveFontFamily(log.lfFaceName);
  Key key{lower(family), log.lfHeight, log.lfWeight >= 600 ? 700 : 400, log.lfItalic ? 1 : 0,
          log.lfUnderline ? 1 : 0, log.lfStrikeOut ? 1 : 0, log.lfCharSet};
  std::lock_guard<std::mutex> lock(gFontMutex);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;

  auto d = std::make_shared<TFontData>();
  d->log = log;
  QFont f(toQ(family));
  f.setWeight(log.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
  f.setItalic(log.lfItalic != 0);
  f.setKerning(false);
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::NoFontMerging));
  f.setPixelSize(100);
  d->raw = QRawFont::fromFont(f);
  // Positive heights give the cell (ascent + descent), negative the em.
  // Sizes beyond a few thousand pixels overflow the rasteriser's metrics
  // (a page may ask for any font size): such requests get the largest size.
  constexpr double kMaxPixels = 16384;
  const double asked = log.lfHeight < 0 ? -double(log.lfHeight) : log.lfHeight == 0 ? 13 : double(log.lfHeight);
  const int height = int(std::min(asked, kMaxPixels));
  double px = height;
  if (log.lfHeight > 0 && d->raw.isValid()) {
    d->raw.setPixelSize(d->raw.unitsPerEm());
    double cell = d->raw.ascent() + d->raw.descent();
    if (cell > 0) px = height * d->raw.unitsPerEm() / cell;
  }
  d->pixelSize = px;
  if (d->raw.isValid()) d->raw.setPixelSize(px);
  f.setPixelSize(std::max(1, int(std::lround(px))));
  d->qfont = f;

  TEXTMETRICW& tm = d->tm;
  if (d->raw.isValid()) {
    tm.tmAscent = int(std::ceil(d->raw.ascent() - 0.01));
    tm.tmDescent = int(std::ceil(d->raw.descent() - 0.01));
    tm.tmExternalLeading = std::max(0, int(std::lround(d->raw.leading())));
    tm.tmAveCharWidth = std::max(1, int(std::lround(d->raw.averageCharWidth())));
    tm.tmMaxCharWidth = std::max(1, int(std::lround(d->raw.maxCharWidth())));
    d->underlinePos = std::max(1, int(std::lround(d->raw.underlinePosition())));
    d->lineThickness = std::max(1, int(std::lround(d->raw.lineThickness())));
  } else {
    tm.tmAscent = int(std::lround(px * 0.8));
    tm.tmDescent = int(std::lround(px * 0.2));
    tm.tmAveCharWidth = tm.tmMaxCharWidth = std::max(1, int(std::lround(px / 2)));
  }
  // A positive height asks for exactly that cell: rounding ascent and
  // descent up separately would make it a pixel taller.
  if (log.lfHeight > 0 && tm.tmAscent <= height) tm.tmDescent = height - tm.tmAscent;
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = std::max(0, tm.tmHeight - int(std::lround(px)));
  tm.tmWeight = log.lfWeight >= 600 ? FW_BOLD : FW_NORMAL;
  tm.tmItalic = log.lfItalic ? 1 : 0;
  tm.tmUnderlined = log.lfUnderline ? 1 : 0;
  tm.tmStruckOut = log.lfStrikeOut ? 1 : 0;
  tm.tmCharSet = log.lfCharSet == DEFAULT_CHARSET ? std::uint8_t(ANSI_CHARSET) : log.lfCharSet;
  bool fixed = QFontInfo(f).fixedPitch();
  // The low bit set means variable pitch (the window system's inverted sense).
  tm.tmPitchAndFamily = std::uint8_t((fixed ? 0 : 1) | 0x04);
  tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
  d->strikePos = std::max(1, int(std::lround(tm.tmAscent * 0.3)));
  cache[key] = d;
  return d;
}

}  // namespace

// ---- measuring ---------------------------------------------------------------------

namespace {

TFontData& dcFont(HDC dc) { return FontOf(dc ? dc->st.font : nullptr); }

// Whole-pixel advance of every UTF-16 unit: the one routine behind both
// measuring and drawing. breaksUsed counts justification breaks already
// taken on the current line (so runs of one line share the distribution).
void advances(HDC dc, TFontData& f, const char16_t* s, int n, int* adv, int breaksUsed = 0) {
  int extra = dc ? dc->st.charExtra : 0;
  int bExtra = dc ? dc->st.breakExtra : 0, bCount = dc ? dc->st.breakCount : 0;
  int k = breaksUsed;
  for (int i = 0; i < n; ++i) {
    char16_t c = s[i];
    int a;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      a = f.surrogateGlyph(c, s[i + 1]).advance + extra;
      adv[i] = a;
      adv[++i] = 0;
      continue;
    }
    a = f.glyph(c).advance + extra;
    if (bCount > 0 && c == 0x20) {
      // The remainder goes one pixel at a time to the first breaks, with
      // its sign: a line squeezed by N pixels ends exactly N pixels shorter.
      const int rem = bExtra % bCount;
      a += bExtra / bCount + (rem > 0 ? (k < rem ? 1 : 0) : (k < -rem ? -1 : 0));
      ++k;
    }
    adv[i] = a;
  }
}

int sumAdvances(const int* adv, int n) {
  int w = 0;
  for (int i = 0; i < n; ++i) w += adv[i];
  return w;
}

struct AdvBuf {
  int local[256];
  std::vector<int> heap;
  int* get(int n) {
    if (n <= 256) return local;
    heap.resize(size_t(n));
    return heap.data();
  }
};

}  // namespace

BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) {
  if (!metrics) return 0;
  *metrics = dcFont(dc).tm;
  return 1;
}

int GetTextFaceW(HDC dc, String* face) {
  TFontData& f = dcFont(dc);
  if (face) *face = fromQ(f.qfont.family());
  return int(f.qfont.family().size());
}

BOOL GetTextExtentPoint32W(HDC dc, const char16_t* text, int count, TSize* size) {
  if (!size || count < 0 || (!text && count)) return 0;
  TFontData& f = dcFont(dc);
  AdvBuf buf;
  int* adv = buf.get(count);
  advances(dc, f, text, count, adv);
  *size = {sumAdvances(adv, count), f.tm.tmHeight};
  return 1;
}

BOOL GetTextExtentExPointW(HDC dc, const char16_t* text, int count, int maxExtent, int* fit, int* dx,
                           TSize* size) {
  if (count < 0 || (!text && count)) return 0;
  TFontData& f = dcFont(dc);
  AdvBuf buf;
  int* adv = buf.get(count);
  advances(dc, f, text, count, adv);
  int w = 0, fitted = 0;
  bool stop = false;
  for (int i = 0; i < count; ++i) {
    w += adv[i];
    if (dx) dx[i] = w;
    if (!stop && (maxExtent < 0 || w <= maxExtent)) fitted = i + 1;
    else stop = true;
  }
  if (fit) *fit = fitted;
  if (size) *size = {w, f.tm.tmHeight};
  return 1;
}

BOOL GetCharWidth32W(HDC dc, UINT first, UINT last, int* widths) {
  if (!widths || last < first || last > 0xFFFF) return 0;
  TFontData& f = dcFont(dc);
  for (UINT c = first; c <= last; ++c) widths[c - first] = f.glyph(char16_t(c)).advance;
  return 1;
}

// ---- drawing -------------------------------------------------------------------------

namespace {

// Draws glyphs at x + the running sum of adv, on the given baseline.
void drawGlyphs(HDC dc, TFontData& f, int x, int baseline, const char16_t* s, int n, const int* adv) {
  QPainter& p = *dc->painter;
  QColor color = ToQColor(dc->st.textColor);
  if (dc->recordsText) {
    // Recordings keep outlines, so playback at any scale puts every glyph
    // where it was measured.
    QPainterPath path;
    int pos = x;
    for (int i = 0; i < n; ++i) {
      const TFontData::Glyph g = (s[i] >= 0xD800 && s[i] < 0xDC00 && i + 1 < n)
                                     ? f.surrogateGlyph(s[i], s[i + 1]) : f.glyph(s[i]);
      if (g.index) path.addPath(f.face(g.face).pathForGlyph(g.index).translated(pos, baseline));
      pos += adv[i];
    }
    p.fillPath(path, color);
    return;
  }
  std::vector<quint32> idx;
  QList<QPointF> pos;
  idx.reserve(size_t(n));
  int face = -1;
  auto flush = [&] {
    if (idx.empty()) return;
    QGlyphRun run;
    run.setRawFont(f.face(face));
    run.setGlyphIndexes(QList<quint32>(idx.begin(), idx.end()));
    run.setPositions(pos);
    p.drawGlyphRun(QPointF(0, 0), run);
    idx.clear();
    pos.clear();
  };
  p.setPen(color);
  int cx = x;
  for (int i = 0; i < n; ++i) {
    char16_t c = s[i];
    TFontData::Glyph g;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) g = f.surrogateGlyph(c, s[i + 1]);
    else g = f.glyph(c);
    if (g.index && c != 0x20) {
      if (g.face != face) {
        flush();
        face = g.face;
      }
      idx.push_back(g.index);
      pos.push_back(QPointF(cx, baseline));
    }
    cx += adv[i];
  }
  flush();
}

void drawDecorations(HDC dc, TFontData& f, int x, int baseline, int width) {
  if (width <= 0) return;
  QColor color = ToQColor(dc->st.textColor);
  if (f.log.lfUnderline)
    dc->painter->fillRect(QRect(x, baseline + f.underlinePos, width, f.lineThickness), color);
  if (f.log.lfStrikeOut)
    dc->painter->fillRect(QRect(x, baseline - f.strikePos, width, f.lineThickness), color);
}

// Text at a reference point per the text alignment; returns the width.
int textOut(HDC dc, int x, int y, const char16_t* s, int n, const int* dx, const TRect* opaque,
            const TRect* clip) {
  TFontData& f = dcFont(dc);
  AdvBuf buf;
  int* adv = buf.get(n);
  if (dx) std::copy(dx, dx + n, adv);
  else advances(dc, f, s, n, adv);
  int width = sumAdvances(adv, n);
  UINT align = dc->st.textAlign;
  if (align & TA_UPDATECP) {
    x = dc->st.penPos.x;
    y = dc->st.penPos.y;
  }
  int left = x;
  if ((align & TA_CENTER) == TA_CENTER) left = x - width / 2;
  else if (align & TA_RIGHT) left = x - width;
  int baseline = y + f.tm.tmAscent;
  if ((align & TA_BASELINE) == TA_BASELINE) baseline = y;
  else if (align & TA_BOTTOM) baseline = y - f.tm.tmDescent;
  if (align & TA_UPDATECP) {
    if ((align & TA_CENTER) != TA_CENTER) dc->st.penPos.x = (align & TA_RIGHT) ? left : left + width;
  }
  if (!dc->ready()) return width;
  QPainter& p = *dc->painter;
  if (opaque) p.fillRect(QRect(opaque->Left, opaque->Top, opaque->Width(), opaque->Height()), ToQColor(dc->st.bkColor));
  if (n == 0) return 0;
  if (clip) {
    p.save();
    p.setClipRect(QRect(clip->Left, clip->Top, clip->Width(), clip->Height()), Qt::IntersectClip);
  }
  if (!opaque && dc->st.bkMode == OPAQUE)
    p.fillRect(QRect(left, baseline - f.tm.tmAscent, width, f.tm.tmHeight), ToQColor(dc->st.bkColor));
  drawGlyphs(dc, f, left, baseline, s, n, adv);
  drawDecorations(dc, f, left, baseline, width);
  if (clip) {
    p.restore();
    dc->dirty = true;
  }
  return width;
}

}  // namespace

BOOL TextOutW(HDC dc, int x, int y, const char16_t* text, int count) {
  if (!dc || count < 0 || (!text && count)) return 0;
  textOut(dc, x, y, text, count, nullptr, nullptr, nullptr);
  return 1;
}

BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const TRect* rect, const char16_t* text, int count,
                 const int* dx) {
  if (!dc || count < 0 || (!text && count)) return 0;
  TRect r;
  if (rect) r = {std::min(rect->Left, rect->Right), std::min(rect->Top, rect->Bottom),
                 std::max(rect->Left, rect->Right), std::max(rect->Top, rect->Bottom)};
  textOut(dc, x, y, text, count, dx, (options & ETO_OPAQUE) && rect ? &r : nullptr,
          (options & ETO_CLIPPED) && rect ? &r : nullptr);
  return 1;
}

// ---- formatted text ----------------------------------------------------------------------

namespace {

struct Line {
  int start = 0;
  int len = 0;
  int width = 0;
  bool ellipsis = false;
};

bool isBreakSpace(char16_t c) { return c == 0x20 || c == 0x09; }

// Chinese and Japanese text has no blanks between words: a line may end
// before or after any of its ideographs or kana, except before closing and
// after opening punctuation. (Korean separates its words with blanks.)
bool isWideChar(char16_t c) {
  return (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
}
bool noBreakBefore(char16_t c) {
  return std::u16string_view(u"\u3001\u3002\u3009\u300B\u300D\u300F\u3011\u30FC\uFF01\uFF09\uFF0C\uFF0E\uFF1A\uFF1B\uFF1F")
             .find(c) != std::u16string_view::npos;
}
bool noBreakAfter(char16_t c) {
  return std::u16string_view(u"\u3008\u300A\u300C\u300E\u3010\uFF08").find(c) != std::u16string_view::npos;
}
bool wideBreakBefore(const std::u16string& s, int i) {
  char16_t c = s[size_t(i)], prev = s[size_t(i) - 1];
  return (isWideChar(c) || isWideChar(prev)) && !isBreakSpace(c) && !isBreakSpace(prev) && !noBreakBefore(c) &&
         !noBreakAfter(prev);
}

}  // namespace

int DrawTextW(HDC dc, const char16_t* text, int count, TRect* rect, UINT format) {
  if (!dc || !rect) return 0;
  if (!text) count = 0;
  if (count < 0) {
    count = 0;
    while (text[count]) ++count;
  }
  // With DT_TABSTOP the second byte is the tab size in characters, not flags.
  const int tabChars = (format & DT_TABSTOP) ? int((format >> 8) & 0xFF) : 8;
  if (format & DT_TABSTOP) format &= ~UINT(0xFF00);
  TFontData& f = dcFont(dc);
  const bool single = format & DT_SINGLELINE, wrap = (format & DT_WORDBREAK) && !single;
  int lineHeight = f.tm.tmHeight + ((format & DT_EXTERNALLEADING) ? f.tm.tmExternalLeading : 0);

  // Prefix characters: "&x" underlines x, "&&" is a literal ampersand.
  std::u16string s;
  s.reserve(size_t(count));
  int underlineAt = -1;
  for (int i = 0; i < count; ++i) {
    char16_t c = text[i];
    // A lone ampersand at the very end marks nothing and stays visible.
    if (c == '&' && !(format & DT_NOPREFIX) && i + 1 < count) {
      if (i + 1 < count && text[i + 1] == '&') {
        s.push_back('&');
        ++i;
      } else {
        underlineAt = int(s.size());
      }
      continue;
    }
    s.push_back(c);
  }
  if (format & DT_PREFIXONLY) s.clear();
  const int n = int(s.size());
  std::vector<int> adv(size_t(n) + 1);
  advances(dc, f, s.data(), n, adv.data());
  // Tabs expand to stops relative to the line start.
  int tabWidth = f.tm.tmAveCharWidth * tabChars;
  if (tabWidth <= 0) tabWidth = 8 * std::max(1, f.tm.tmAveCharWidth);
  auto lineWidth = [&](int start, int len) {
    int w = 0;
    for (int i = start; i < start + len; ++i) {
      if (s[size_t(i)] == '\t' && (format & DT_EXPANDTABS)) w = (w / tabWidth + 1) * tabWidth;
      else w += adv[size_t(i)];
    }
    return w;
  };
  // How many characters from start (at most len) fit in room: one pass, so
  // shortening a very long line costs no more than measuring it.
  auto fittingLength = [&](int start, int len, int room) {
    int w = 0, k = 0;
    for (; k < len; ++k) {
      const int i = start + k;
      const int nw = (s[size_t(i)] == '\t' && (format & DT_EXPANDTABS)) ? (w / tabWidth + 1) * tabWidth
                                                                       : w + adv[size_t(i)];
      if (nw > room) break;
      w = nw;
    }
    return k;
  };

  const int maxWidth = int(std::clamp((long long)rect->Right - rect->Left, -(1LL << 30), 1LL << 30));
  std::vector<Line> lines;
  int pos = 0;
  while (pos <= n) {
    int end = pos;
    if (!single)
      while (end < n && s[size_t(end)] != '\r' && s[size_t(end)] != '\n') ++end;
    else
      end = n;
    // Greedy filling of one paragraph.
    int ls = pos;
    while (true) {
      if (!wrap) {
        lines.push_back({ls, end - ls, 0});
        break;
      }
      int w = 0, lastBreak = -1, i = ls;
      int breakEnd = -1;
      for (; i < end; ++i) {
        char16_t c = s[size_t(i)];
        if (isBreakSpace(c)) {
          if (lastBreak < 0 || i > breakEnd) lastBreak = i;
          breakEnd = i + 1;
        } else if (i > ls && !(format & DT_NOFULLWIDTHCHARBREAK) && wideBreakBefore(s, i)) {
          lastBreak = breakEnd = i;
        }
        int nw = (c == '\t' && (format & DT_EXPANDTABS)) ? (w / tabWidth + 1) * tabWidth : w + adv[size_t(i)];
        if (nw > maxWidth && !isBreakSpace(c) && i > ls && lastBreak > ls) break;
        w = nw;
      }
      if (i >= end) {
        lines.push_back({ls, end - ls, 0});
        break;
      }
      // Break before the last run of spaces; the spaces themselves vanish.
      int stop = lastBreak;
      while (stop > ls && isBreakSpace(s[size_t(stop - 1)])) --stop;
      lines.push_back({ls, stop - ls, 0});
      ls = lastBreak;
      while (ls < end && isBreakSpace(s[size_t(ls)])) ++ls;
      if (ls >= end) break;
    }
    if (single || end >= n) break;
    pos = end + ((s[size_t(end)] == '\r' && end + 1 < n && s[size_t(end) + 1] == '\n') ? 2 : 1);
  }

  // Ellipsis: drop characters until the rest plus "..." fits.
  const std::u16string dots = u"...";
  int dotsAdv[3];
  advances(dc, f, dots.data(), 3, dotsAdv);
  const int dotsWidth = dotsAdv[0] + dotsAdv[1] + dotsAdv[2];
  int widest = 0;
  for (Line& l : lines) {
    l.width = lineWidth(l.start, l.len);
    if ((format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) && l.width > maxWidth) {
      l.ellipsis = true;
      l.len = fittingLength(l.start, l.len, maxWidth - dotsWidth);
      l.width = lineWidth(l.start, l.len) + dotsWidth;
    }
    widest = std::max(widest, l.width);
  }
  const int total = int(lines.size()) * lineHeight;

  if (format & DT_CALCRECT) {
    rect->Right = rect->Left + (n == 0 ? 0 : widest);
    rect->Bottom = rect->Top + (n == 0 && !single ? 0 : total);
    return n == 0 && !single ? lineHeight : total;
  }

  // Callers pass "unbounded" rectangles with extreme edges: stay in range.
  const long long rectHeight = (long long)rect->Bottom - rect->Top;
  int y = rect->Top;
  if (single) {
    if (format & DT_VCENTER) y = int(rect->Top + (rectHeight - lineHeight) / 2);
    else if (format & DT_BOTTOM) y = int(rect->Bottom - (long long)lineHeight);
  }
  const int result = y - rect->Top + total;
  // Laid out like an edit control, only whole lines are shown (the first
  // always); with an ellipsis asked for, the last line shown ends in "..."
  // so that the reader sees text was left out.
  if ((format & DT_EDITCONTROL) && !(format & DT_NOCLIP) && !single && lines.size() > 1) {
    size_t shown = 1;
    while (shown < lines.size() && (long long)y + (long long)(shown + 1) * lineHeight <= rect->Bottom) ++shown;
    if (shown < lines.size()) {
      lines.resize(shown);
      Line& l = lines.back();
      if ((format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) && !l.ellipsis) {
        l.ellipsis = true;
        l.len = fittingLength(l.start, l.len, maxWidth - dotsWidth);
        l.width = lineWidth(l.start, l.len) + dotsWidth;
      }
    }
  }
  if (!dc->ready()) return result;

  QPainter& p = *dc->painter;
  const bool clip = !(format & DT_NOCLIP);
  if (clip) {
    p.save();
    const long long w = (long long)rect->Right - rect->Left;
    p.setClipRect(QRect(rect->Left, rect->Top, int(std::clamp(w, 0LL, 1LL << 28)),
                        int(std::clamp(rectHeight, 0LL, 1LL << 28))),
                  Qt::IntersectClip);
  }
  for (const Line& l : lines) {
    int x = rect->Left;
    if (format & DT_CENTER) x = rect->Left + (maxWidth - l.width) / 2;
    else if (format & DT_RIGHT) x = rect->Right - l.width;
    int baseline = y + f.tm.tmAscent;
    if (dc->st.bkMode == OPAQUE && l.width > 0)
      p.fillRect(QRect(x, y, l.width, f.tm.tmHeight), ToQColor(dc->st.bkColor));
    // Draw segment by segment so tabs land on their stops.
    int cx = x, segStart = l.start;
    auto drawSeg = [&](int from, int to) {
      if (to > from) {
        drawGlyphs(dc, f, cx, baseline, s.data() + from, to - from, adv.data() + from);
        cx += sumAdvances(adv.data() + from, to - from);
      }
    };
    for (int i = l.start; i < l.start + l.len; ++i) {
      if (s[size_t(i)] == '\t' && (format & DT_EXPANDTABS)) {
        drawSeg(segStart, i);
        cx = x + ((cx - x) / tabWidth + 1) * tabWidth;
        segStart = i + 1;
      }
    }
    drawSeg(segStart, l.start + l.len);
    if (l.ellipsis) drawGlyphs(dc, f, cx, baseline, dots.data(), 3, dotsAdv);
    drawDecorations(dc, f, x, baseline, l.width);
    if (underlineAt >= l.start && underlineAt < l.start + l.len && !(format & DT_HIDEPREFIX)) {
      int ux = x + lineWidth(l.start, underlineAt - l.start);
      p.fillRect(QRect(ux, baseline + f.underlinePos, adv[size_t(underlineAt)], f.lineThickness),
                 ToQColor(dc->st.textColor));
    }
    y += lineHeight;
  }
  if (clip) {
    p.restore();
    dc->dirty = true;
  }
  return result;
}
