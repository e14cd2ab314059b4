#pragma once
// Qt side of the drawing layer, for the platform's own use only (windows
// paint through it); never included outside platform/.
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRegion>

#include "platform/graphics/canvas.h"

// Binds the canvas to a painter for the length of a paint event: the
// canvas's device context draws through painter (its current transform and
// clip become the device space). Calls nest per canvas one deep.
void CanvasBeginPaint(TCanvas& canvas, QPainter& painter);
void CanvasEndPaint(TCanvas& canvas);

// A device context that draws through painter until ReleasePainterDC.
HDC CreatePainterDC(QPainter& painter);
void ReleasePainterDC(HDC dc);

// The area of a region object (empty for anything else), and a region
// object's area replaced.
QRegion QRegionFromRgn(HRGN region);
void SetRgnFromQRegion(HRGN region, const QRegion& area);

QColor QColorFromColor(TColor color);
QColor QColorFromRGB(COLORREF color);
// The Qt font that draws like f (family resolved, pixel size from Height).
QFont QFontFromFont(TFont& f);
