// Measuring and drawing of layout text through one set of advances.
#include "html/layout/layout_device.h"

#include <algorithm>

#include "html/parse/style_fonts.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

int ThtJustify::Take() {
  if (!Active()) return 0;
  const int rem = Extra % Count;
  const int extra = Extra / Count + (Used < rem ? 1 : 0);
  ++Used;
  return extra;
}

void ThtMeasurer::SelectFont(TMyFont* font) {
  if (font) font->AssignToCanvas(FCanvas);
}

void ThtMeasurer::Advances(const char16_t* s, int n, int* adv, ThtJustify* just) {
  if (n <= 0) return;
  HDC dc = FCanvas->Handle();
  // Cumulative widths from the device, turned into per-unit advances.
  GetTextExtentExPointW(dc, s, n, -1, nullptr, adv, nullptr);
  for (int i = n - 1; i > 0; --i) adv[i] -= adv[i - 1];
  if (just && just->Active())
    for (int i = 0; i < n; ++i)
      if (htIsJustifyBlank(s[i])) adv[i] += just->Take();
}

int ThtMeasurer::Width(const char16_t* s, int n, ThtJustify* just) {
  if (n <= 0) return 0;
  // Long texts are measured in pieces, never split inside a pair: the
  // device keeps an advance for each character it measures at once.
  constexpr int Piece = 4096;
  int w = 0;
  for (int from = 0; from < n;) {
    int to = std::min(n, from + Piece);
    if (to < n && htIsHighSurrogate(s[to - 1]) && htIsLowSurrogate(s[to])) ++to;
    if (!just || !just->Active()) {
      TSize size;
      GetTextExtentPoint32W(FCanvas->Handle(), s + from, to - from, &size);
      w += size.cx;
    } else {
      FBuf.resize(size_t(to - from));
      Advances(s + from, to - from, FBuf.data(), just);
      for (int i = 0; i < to - from; ++i) w += FBuf[size_t(i)];
    }
    from = to;
  }
  return w;
}

int ThtMeasurer::Fit(const char16_t* s, int n, int room, int& width, ThtJustify* just) {
  width = 0;
  if (n <= 0 || room < 0) return 0;
  // Chunks grow so that a long run costs about twice its fitting part; the
  // first one is as long as the last fitting was, and a little more.
  int chunk = std::clamp(FLastFit + FLastFit / 8 + 8, 64, 4096), done = 0, used = 0;
  while (done < n) {
    int len = std::min(chunk, n - done);
    // Never cut a chunk between the halves of a pair.
    if (done + len < n && htIsHighSurrogate(s[done + len - 1]) && htIsLowSurrogate(s[done + len])) ++len;
    FBuf.resize(size_t(len));
    ThtJustify save = just ? *just : ThtJustify();
    Advances(s + done, len, FBuf.data(), just);
    for (int i = 0; i < len; ++i) {
      // A pair fits or not as one character.
      const bool pair = htIsHighSurrogate(s[done + i]) && i + 1 < len && htIsLowSurrogate(s[done + i + 1]);
      const int a = FBuf[size_t(i)] + (pair ? FBuf[size_t(i) + 1] : 0);
      if (used + a > room) {
        width = used;
        if (just) {
          // Blanks consumed beyond the fit are handed back.
          *just = save;
          for (int k = 0; k < i; ++k)
            if (htIsJustifyBlank(s[done + k])) just->Take();
        }
        FLastFit = done + i;
        return done + i;
      }
      used += a;
      if (pair) ++i;
    }
    done += len;
    chunk = std::min(chunk * 2, 4096);
  }
  width = used;
  return n;
}

namespace htPaint {

int Text(TCanvas* canvas, int x, int baseline, const char16_t* s, int n, TColor color, bool opaque,
         TColor bkColor, ThtJustify* just) {
  if (n <= 0) return 0;
  ThtMeasurer m(canvas);
  HDC dc = canvas->Handle();
  // The text is measured and drawn in pieces, and only the characters that
  // can show in the clip box are handed to the device: a line of millions
  // of characters costs no advance array of its length and draws its
  // visible part.
  constexpr int Piece = 4096;
  std::vector<int> adv(size_t(std::min(n, Piece + 1)));
  auto pieceEnd = [&](int from) {
    int to = std::min(n, from + Piece);
    // Never between the halves of a pair.
    if (to < n && htIsHighSurrogate(s[to - 1]) && htIsLowSurrogate(s[to])) ++to;
    return to;
  };
  auto measureAll = [&](ThtJustify* j) {
    int w = 0;
    for (int from = 0; from < n;) {
      const int to = pieceEnd(from);
      m.Advances(s + from, to - from, adv.data(), j);
      for (int i = 0; i < to - from; ++i) w += adv[size_t(i)];
      from = to;
    }
    return w;
  };
  const UINT oldAlign = SetTextAlign(dc, TA_BASELINE | TA_LEFT);
  const COLORREF oldColor = SetTextColor(dc, ColorToRGB(color));
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  if (opaque) {
    // The background goes first: its width is measured with a copy of the
    // justification, which the drawing below then takes for itself.
    ThtJustify copy = just ? *just : ThtJustify();
    const int w = measureAll(just ? &copy : nullptr);
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    HBRUSH b = CreateSolidBrush(ColorToRGB(bkColor));
    TRect r(x, baseline - tm.tmAscent, x + w, baseline + tm.tmDescent);
    ::FillRect(dc, r, b);
    DeleteObject(b);
  }
  TRect clip;
  const int clipKind = GetClipBox(dc, &clip);
  // On paper every run is cut to the clip, and to the glyphs whose room
  // reaches into it: a page keeps the text of what it shows in its text
  // layer, and a word of the slice beside it (in its margin) is not found
  // on it by search or copy.
  const int tech = GetDeviceCaps(dc, TECHNOLOGY);
  const bool paper = tech == DT_RASPRINTER || tech == DT_METAFILE;
  const bool clipped = (n > 256 || paper) && (clipKind == SIMPLEREGION || clipKind == COMPLEXREGION);
  const int overhang = paper ? 0 : 64;  // glyphs may reach past their advances
  int pos = x;
  for (int from = 0; from < n;) {
    const int to = pieceEnd(from), len = to - from;
    m.Advances(s + from, len, adv.data(), just);
    int first = 0, last = len, firstX = pos;
    if (clipped) {
      int p = pos, i = 0;
      while (i < len && p + adv[size_t(i)] <= clip.Left - overhang) p += adv[size_t(i++)];
      first = i;
      firstX = p;
      while (i < len && p < clip.Right + overhang) p += adv[size_t(i++)];
      last = i;
      // A surrogate pair is drawn whole or not at all.
      if (first > 0 && first < len && htIsLowSurrogate(s[from + first])) firstX -= adv[size_t(--first)];
      if (last > 0 && last < len && htIsLowSurrogate(s[from + last])) ++last;
    }
    if (last > first) ExtTextOutW(dc, firstX, baseline, 0, nullptr, s + from + first, last - first, adv.data() + first);
    for (int i = 0; i < len; ++i) pos += adv[size_t(i)];
    from = to;
  }
  SetBkMode(dc, oldMode);
  SetTextColor(dc, oldColor);
  SetTextAlign(dc, oldAlign);
  return pos - x;
}

void FillRect(TCanvas* canvas, const TRect& r, TColor color) {
  if (r.IsEmpty()) return;
  HDC dc = canvas->Handle();
  HBRUSH b = CreateSolidBrush(ColorToRGB(color));
  ::FillRect(dc, r, b);
  DeleteObject(b);
}

void Polygon(TCanvas* canvas, const TPoint* points, int count, TColor color) {
  HDC dc = canvas->Handle();
  HBRUSH b = CreateSolidBrush(ColorToRGB(color));
  // Filled without an outline: the quadrilaterals of a border meet exactly.
  HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, GetStockObject(NULL_PEN));
  const int oldFill = SetPolyFillMode(dc, ALTERNATE);
  ::Polygon(dc, points, count);
  SetPolyFillMode(dc, oldFill);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(b);
}

void RestoreCanvas(TCanvas* canvas, int saved) {
  RestoreDC(canvas->Handle(), saved);
  canvas->Refresh();
}

}  // namespace htPaint
