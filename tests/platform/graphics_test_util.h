#pragma once
// Helpers for the drawing tests: white bitmaps to draw on and pixel probes.
#include <functional>

#include "platform/graphics/bitmap.h"

inline void ClearTo(TBitmap& b, TColor c = clWhite) {
  b.Canvas()->Brush()->SetStyle(bsSolid);
  b.Canvas()->Brush()->SetColor(c);
  b.Canvas()->FillRect(Rect(0, 0, b.Width(), b.Height()));
}

inline COLORREF Px(TBitmap& b, int x, int y) { return COLORREF(b.Canvas()->Pixels(x, y)) & 0xFFFFFF; }

// Bounding box of every pixel that differs from background (empty if none).
inline TRect InkBox(TBitmap& b, COLORREF background = 0xFFFFFF) {
  TRect r{b.Width(), b.Height(), 0, 0};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (Px(b, x, y) != background) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r.IsEmpty() ? TRect{} : r;
}

inline bool SamePixels(TBitmap& a, TBitmap& b, const TRect& r) {
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (Px(a, x, y) != Px(b, x, y)) return false;
  return true;
}
