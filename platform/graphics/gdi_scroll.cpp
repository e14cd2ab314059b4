// Moving pixels inside one device context: what is left uncovered is
// reported so the caller can paint it.
#include <algorithm>

#include "platform/graphics/gdi.h"

BOOL ScrollDC(HDC dc, int dx, int dy, const TRect* scroll, const TRect* clip, HRGN update, TRect* updateRect) {
  if (!dc) return 0;
  TRect area;
  if (scroll)
    area = *scroll;
  else
    GetClipBox(dc, &area);
  TRect limit = area;
  if (clip && !IntersectRect(limit, area, *clip)) limit = TRect();
  TRect moved = area;
  OffsetRect(moved, dx, dy);
  TRect target;
  IntersectRect(target, moved, limit);
  if (!target.IsEmpty()) {
    SaveDC(dc);
    IntersectClipRect(dc, target.Left, target.Top, target.Right, target.Bottom);
    BitBlt(dc, moved.Left, moved.Top, area.Width(), area.Height(), dc, area.Left, area.Top, SRCCOPY);
    RestoreDC(dc, -1);
  }
  // The uncovered part: the limit minus where the moved pixels landed.
  TRect uncovered = limit;
  if (!target.IsEmpty()) {
    if (dx == 0 && dy > 0) uncovered.Bottom = std::min(uncovered.Bottom, target.Top);
    if (dx == 0 && dy < 0) uncovered.Top = std::max(uncovered.Top, target.Bottom);
    if (dy == 0 && dx > 0) uncovered.Right = std::min(uncovered.Right, target.Left);
    if (dy == 0 && dx < 0) uncovered.Left = std::max(uncovered.Left, target.Right);
  }
  if (uncovered.IsEmpty()) uncovered = TRect();
  if (updateRect) *updateRect = uncovered;
  if (update) SetRectRgn(update, uncovered.Left, uncovered.Top, uncovered.Right, uncovered.Bottom);
  return 1;
}
