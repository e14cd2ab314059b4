#pragma once
// What the header's owner drawing is told about the cell being painted.
#include "platform/graphics/geometry.h"

class TCanvas;
class TDataTreeColumn;

struct THeaderPaintInfo {
  TCanvas* TargetCanvas = nullptr;
  TDataTreeColumn* Column = nullptr;  // nullptr for the background right of the columns
  TRect PaintRectangle;
  TRect TextRectangle;
  bool IsHoverIndex = false;
  bool IsDownIndex = false;
  bool IsEnabled = true;
  bool ShowHeaderGlyph = false;
  bool ShowSortGlyph = false;
  bool ShowRightBorder = false;
  int DropMark = 0;  // 0 none, 1 left, 2 right
  TPoint GlyphPos;
  TPoint SortGlyphPos;
};

#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi.h"

// The button look of the XP style header.
void DrawXPButton(TCanvas& Canvas, const TRect& R, bool DrawSplitter, bool Down, bool Hover);
// A caption in its bounds: shortened with "..." unless it wraps; disabled
// captions are drawn embossed.
void DrawButtonText(TCanvas& Canvas, const String& Caption, TRect Bounds, bool Enabled, bool Hot, UINT DrawFormat,
                    bool WrapCaption, TColor HotColor, TColor TextColor);
