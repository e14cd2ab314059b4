#pragma once
// Background images of blocks and table cells, tiled over the visible slice
// of their box only (a very tall box costs what is on screen).
#include "html/parse/style_model.h"
#include "platform/graphics/geometry.h"

class TCanvas;
class TGraphic;

// Box is the area the tiling is anchored to (view coordinates); Visible the
// part of it to paint.
void PaintTiledBackground(TCanvas* Canvas, TGraphic* Image, const TBackgroundPosRecs& Pos, const TRect& Box,
                          const TRect& Visible);
