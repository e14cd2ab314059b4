// Tiled background pictures.
#include "html/paint/block_paint.h"

#include <algorithm>

#include "html/paint/borders.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

void PaintTiledBackground(TCanvas* Canvas, TGraphic* Image, const TBackgroundPosRecs& Pos, const TRect& Box,
                          const TRect& Visible) {
  if (!Image || Image->Empty()) return;
  const int iw = Image->Width(), ih = Image->Height();
  TRect area;
  if (!IntersectRect(area, Box, Visible)) return;
  int xStart = 0, yStart = 0, xLast = 0, yLast = 0;
  // Tiles are computed for the visible band only: start, step and end are
  // taken relative to the box, then cut to the band.
  CalcBackgroundLocationAndTiling(Pos, 0, 0, 0, 0, iw, ih, Box.Width(), Box.Height(), xStart, yStart, xLast, yLast);
  if (iw <= 0 || ih <= 0) return;
  const int bandTop = area.Top - Box.Top, bandBottom = area.Bottom - Box.Top;
  if (yLast > yStart && yStart < bandTop) yStart += (bandTop - yStart) / ih * ih;
  yLast = std::min(yLast, bandBottom);
  HDC dc = Canvas->Handle();
  HRGN rgn = nullptr, save = nullptr;
  GetClippingRgn(Canvas, area, false, rgn, save);
  for (int y = yStart; y <= yLast && y < bandBottom; y += ih)
    for (int x = xStart; x <= xLast && x < Box.Width(); x += iw) Canvas->Draw(Box.Left + x, Box.Top + y, Image);
  RestoreClipping(Canvas, rgn, save);
  (void)dc;
}
