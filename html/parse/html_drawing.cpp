// Text drawing shared by the viewer's form controls.
#include "html/parse/html_common.h"
#include "platform/graphics/canvas.h"

void WideCanvasTextRect(TCanvas* Canvas, const TRect& Rect, int X, int Y, const String& Text) {
  UINT options = ETO_CLIPPED;
  if (Canvas->Brush()->Style() != bsClear) options |= ETO_OPAQUE;
  HDC dc = Canvas->Handle();
  if (GetTextAlign(dc) & TA_RTLREADING) {
    X += Canvas->TextWidth(Text) + 1;
    options |= ETO_RTLREADING;
  }
  ExtTextOutW(dc, X, Y, options, &Rect, Text.data(), static_cast<int>(Text.size()), nullptr);
}
