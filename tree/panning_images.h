#pragma once
// Pictures of wheel panning: the marker shown where the middle button went
// down (magenta is its transparent colour) and the cursors that show the
// direction the content moves.
#include <memory>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/windows.h"

enum TPanningKind { pkAll, pkNorthSouth, pkEastWest };
enum TPanningCursor {
  pcMoveAll, pcMoveEW, pcMoveNS, pcMoveN, pcMoveS, pcMoveE, pcMoveW, pcMoveNE, pcMoveNW, pcMoveSE, pcMoveSW
};

constexpr std::uint32_t kPanningTransparent = 0xFF00FF;  // as R, G, B

std::unique_ptr<TBitmap> MakePanningImage(TPanningKind Kind);
// The picture's region: every pixel that is not magenta, as runs per row.
HRGN PanningRegion(TBitmap& Image);
HCURSOR MakePanningCursor(TPanningCursor Kind);
// The panning window's procedure: it paints the picture set for it.
void PanningWindowProc(TMessage& Message);
void SetPanningImage(HWND Window, TBitmap* Image);
