#pragma once
// The layout's one seam to the drawing layer. Text is measured as whole-pixel
// advances per UTF-16 unit and drawn with exactly those advances, so a run
// lands where layout measured it, justified lines included. Justification is
// applied here (not by the device context) so that measuring, hit testing and
// drawing share one distribution of the extra pixels over a line's blanks.
#include <cstdint>
#include <vector>

#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/geometry.h"

class TCanvas;
class TMyFont;

// Extra pixels spread over the blanks of one line. Blanks are U+0020 and
// U+00A0; the first (Extra mod Count) blanks get one pixel more. Used counts
// blanks already passed on the line, so several runs share one spread.
struct ThtJustify {
  int Extra = 0;
  int Count = 0;
  int Used = 0;
  ThtJustify() = default;
  ThtJustify(int extra, int count) : Extra(extra > 0 && count > 0 ? extra : 0), Count(count > 0 ? count : 0) {}
  bool Active() const { return Count > 0 && Extra > 0; }
  // The extra width of the next blank (advances Used).
  int Take();
};

inline bool htIsJustifyBlank(char16_t c) { return c == 0x20 || c == 0xA0; }
inline bool htIsHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
inline bool htIsLowSurrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

// Measuring with the canvas's current font.
class ThtMeasurer {
public:
  explicit ThtMeasurer(TCanvas* canvas) : FCanvas(canvas) {}
  TCanvas* Canvas() const { return FCanvas; }
  // Makes the font current (with its letter spacing).
  void SelectFont(TMyFont* font);
  // Advances of n units; a surrogate pair's second unit advances 0.
  void Advances(const char16_t* s, int n, int* adv, ThtJustify* just = nullptr);
  int Width(const char16_t* s, int n, ThtJustify* just = nullptr);
  // How many of the first n units fit in room pixels, measuring only as far
  // as needed (in chunks) and never ending between the halves of a
  // surrogate pair; width receives the width of the fitting units.
  int Fit(const char16_t* s, int n, int room, int& width, ThtJustify* just = nullptr);

private:
  TCanvas* FCanvas;
  std::vector<int> FBuf;
  // How many characters the last fitting took: the next line of the same
  // text most likely takes about as many, and is measured in one piece.
  int FLastFit = 0;
};

// Painting primitives the layout uses besides text.
namespace htPaint {
// Text at (x, baseline) with the font selected into the canvas, drawn with
// the advances of ThtMeasurer; returns the width drawn. Opaque draws the
// canvas brush colour behind the text first.
int Text(TCanvas* canvas, int x, int baseline, const char16_t* s, int n, TColor color, bool opaque,
         TColor bkColor, ThtJustify* just = nullptr);
void FillRect(TCanvas* canvas, const TRect& r, TColor color);
void Polygon(TCanvas* canvas, const TPoint* points, int count, TColor color);
// Restores the canvas's device context to a state saved with SaveDC. The
// context then holds the font, pen and brush it held when saved, not what
// the canvas selected since: the canvas selects its own again before it
// next draws (a section that finds its font already on the canvas would
// otherwise draw with the restored one).
void RestoreCanvas(TCanvas* canvas, int saved);
}  // namespace htPaint
