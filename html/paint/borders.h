#pragma once
// Drawing routines shared by the painters of blocks, cells, inline borders,
// form controls and image frames: the CSS border painter, 3-D colours,
// raised frames, fitted and wrapped text, and logical-to-device conversion
// of clip rectangles.
#include <array>
#include <cstdint>
#include <vector>

#include "html/parse/style_model.h"
#include "html/model/attributes.h"
#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/geometry.h"

class TCanvas;

// Sides in the order left, top, right, bottom.
using htBorderStyleArray = std::array<TBorderStyleType, 4>;
using htColorArray = std::array<TColor, 4>;

// Paints the ring between ORect and IRect. Rows far outside the canvas's
// clip box (more than 200 pixels) are cut off, so a very tall box costs
// only its visible part; printing passes through.
void DrawBorder(TCanvas* Canvas, TRect ORect, TRect IRect, bool Printing, TColor BGround,
                const htBorderStyleArray& BStyle, const htColorArray& BColor);
void DrawBorderNoBackground(TCanvas* Canvas, const TRect& ORect, const TRect& IRect,
                            const htBorderStyleArray& BStyle, const htColorArray& BColor);

TColor Darker(TColor Color);
TColor Lighter(TColor Color);

// Light and dark frame colours: White is a white page (or printing), Mono a
// one-bit printer asked to print black.
void GetRaisedColorsFor(bool White, bool Mono, TColor& Light, TColor& Dark);
htColorArray RaisedColorsFor(TColor Light, TColor Dark, bool Raised);
void RaisedRectColors(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, TColor Light, TColor Dark,
                      bool Raised, int W);
void FormControlRect(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, bool Raised, bool PrintMonoBlack,
                     bool Disabled, TColor Color);
void FillRectColor(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, TColor Color);
void WrapTextW(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, const String& S);
// How many of the first Max characters fit in Width pixels, with the width
// of that many; a surrogate pair fits or not as one character.
int FitText(HDC DC, const char16_t* S, int Max, int Width, TSize& Extent);
int GetXExtent(HDC DC, const char16_t* P, int N);

// A logical rectangle in device pixels (the window origin taken off; when
// printing, scaled by viewport over window extent).
TRect ConvertRect(TCanvas* Canvas, const TRect& R, bool Printing);
// Clips the canvas to R (within any clip it already has). SaveRgn receives
// the previous clip (nullptr for none); RestoreClipping puts it back and
// frees both regions.
void GetClippingRgn(TCanvas* Canvas, const TRect& R, bool Printing, HRGN& Rgn, HRGN& SaveRgn);
void RestoreClipping(TCanvas* Canvas, HRGN Rgn, HRGN SaveRgn);

int WideCompareStrings(const String& S1, const String& S2);
