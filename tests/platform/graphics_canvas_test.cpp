// Shapes, pens and brushes, clipping and regions, and block transfers,
// checked pixel by pixel on offscreen bitmaps.
#include <gtest/gtest.h>

#include "platform/core/exception.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "tests/platform/graphics_test_util.h"

TEST(GraphicsShapes, RectangleAndEllipseLeaveRightAndBottomEdgesOut) {
  TBitmap b(30, 30);
  ClearTo(b);
  TCanvas* c = b.Canvas();
  c->Pen()->SetColor(clRed);
  c->Brush()->SetColor(clBlue);
  c->Rectangle(2, 2, 10, 10);
  EXPECT_EQ(Px(b, 2, 2), 0x0000FFu);    // outline
  EXPECT_EQ(Px(b, 9, 9), 0x0000FFu);    // last outline pixel
  EXPECT_EQ(Px(b, 10, 10), 0xFFFFFFu);  // exclusive corner
  EXPECT_EQ(Px(b, 10, 5), 0xFFFFFFu);
  EXPECT_EQ(Px(b, 5, 5), 0xFF0000u);    // fill

  // Without a pen the filled area is one pixel smaller on the right and bottom.
  c->Pen()->SetStyle(psClear);
  c->Brush()->SetColor(clGreen);
  c->Rectangle(12, 2, 20, 10);
  EXPECT_EQ(Px(b, 12, 2), 0x008000u);
  EXPECT_EQ(Px(b, 18, 8), 0x008000u);
  EXPECT_EQ(Px(b, 19, 8), 0xFFFFFFu);
  EXPECT_EQ(Px(b, 18, 9), 0xFFFFFFu);

  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetColor(clBlack);
  c->Brush()->SetColor(clBlack);
  c->Ellipse(2, 12, 12, 22);
  TRect box = InkBox(b);
  EXPECT_EQ(box.Bottom, 22);
  EXPECT_EQ(box.Right, 19);  // the pen-less rectangle above ends at 18
  int right = 0;
  for (int x = 0; x < 30; ++x)
    for (int y = 12; y < 30; ++y)
      if (Px(b, x, y) != 0xFFFFFF) right = std::max(right, x + 1);
  EXPECT_EQ(right, 12);
}

TEST(GraphicsShapes, LinesCoverTheStartButNotTheEndPoint) {
  TBitmap b(20, 20);
  ClearTo(b);
  TCanvas* c = b.Canvas();
  c->MoveTo(2, 5);
  c->LineTo(12, 5);
  EXPECT_EQ(Px(b, 2, 5), 0u);
  EXPECT_EQ(Px(b, 11, 5), 0u);
  EXPECT_EQ(Px(b, 12, 5), 0xFFFFFFu);
  EXPECT_EQ(c->PenPos(), Point(12, 5));
}

TEST(GraphicsShapes, PolygonFillModesDifferForSelfOverlap) {
  // A pentagram: its centre is inside with winding, outside with alternate.
  std::vector<TPoint> star{{20, 2}, {32, 38}, {2, 14}, {38, 14}, {8, 38}};
  for (int mode : {ALTERNATE, WINDING}) {
    TBitmap b(40, 40);
    ClearTo(b);
    TCanvas* c = b.Canvas();
    c->Pen()->SetStyle(psClear);
    c->Brush()->SetColor(clBlack);
    SetPolyFillMode(c->Handle(), mode);
    c->Polygon(star);
    EXPECT_EQ(Px(b, 20, 22), mode == WINDING ? 0u : 0xFFFFFFu) << mode;
    EXPECT_EQ(Px(b, 20, 6), 0u);
  }
}

TEST(GraphicsShapes, PatternBrushFollowsBrushOrigin) {
  // A one-pixel checkerboard pattern, as dotted tree lines use it.
  std::uint16_t rows[8];
  for (int i = 0; i < 8; ++i) rows[i] = (i % 2) ? 0xAA : 0x55;
  std::uint8_t bits[16];
  for (int i = 0; i < 8; ++i) {
    bits[2 * i] = std::uint8_t(rows[i]);
    bits[2 * i + 1] = 0;
  }
  HBITMAP pattern = CreateBitmap(8, 8, 1, 1, bits);
  HBRUSH brush = CreatePatternBrush(pattern);
  DeleteObject(pattern);  // the brush keeps its own copy

  auto dotted = [&](int originX) {
    TBitmap b(16, 4);
    ClearTo(b);
    HDC dc = b.Canvas()->Handle();
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    SetBrushOrgEx(dc, originX, 0, nullptr);
    FillRect(dc, Rect(0, 0, 16, 1), brush);
    std::vector<COLORREF> line;
    for (int x = 0; x < 16; ++x) line.push_back(Px(b, x, 0));
    return line;
  };
  auto even = dotted(0), odd = dotted(1);
  for (int x = 0; x < 16; ++x) {
    // 0x55 has bit 7 clear: the first pixel shows the text colour.
    EXPECT_EQ(even[size_t(x)], x % 2 == 0 ? 0x0000FFu : 0xFFFFFFu) << x;
    EXPECT_NE(even[size_t(x)], odd[size_t(x)]) << x;
  }
  DeleteObject(brush);
}

TEST(GraphicsShapes, FocusRectIsUndoneByDrawingItTwice) {
  TBitmap b(20, 20);
  ClearTo(b, clYellow);
  b.Canvas()->DrawFocusRect(Rect(2, 2, 15, 12));
  EXPECT_NE(Px(b, 2, 2), 0x00FFFFu);
  EXPECT_EQ(Px(b, 3, 2), 0x00FFFFu);  // dotted: every other pixel
  b.Canvas()->DrawFocusRect(Rect(2, 2, 15, 12));
  EXPECT_TRUE(InkBox(b, 0x00FFFF).IsEmpty());
}

TEST(GraphicsShapes, EdgesAndFrameControlsStayInsideTheirRectangle) {
  TBitmap b(40, 40);
  ClearTo(b, clFuchsia);
  TRect r = Rect(5, 5, 25, 20);
  HDC dc = b.Canvas()->Handle();
  DrawEdge(dc, r, EDGE_SUNKEN, BF_RECT | BF_ADJUST | BF_MIDDLE);
  EXPECT_EQ(r, Rect(7, 7, 23, 18));
  EXPECT_EQ(InkBox(b, 0xFF00FF), Rect(5, 5, 25, 20));
  EXPECT_EQ(Px(b, 5, 5), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(Px(b, 24, 19), GetSysColor(COLOR_BTNHIGHLIGHT));

  ClearTo(b, clFuchsia);
  TRect box = Rect(10, 10, 23, 23);
  DrawFrameControl(dc, box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
  TRect ink = InkBox(b, 0xFF00FF);
  EXPECT_GE(ink.Left, 10);
  EXPECT_LE(ink.Right, 23);
  // The tick is drawn in the window-text colour somewhere inside.
  bool tick = false;
  for (int y = 12; y < 21; ++y)
    for (int x = 12; x < 21; ++x) tick |= Px(b, x, y) == GetSysColor(COLOR_WINDOWTEXT);
  EXPECT_TRUE(tick);
}

TEST(GraphicsClipping, ClipRegionsLimitDrawingAndSurviveSaveRestore) {
  TBitmap b(40, 40);
  ClearTo(b);
  HDC dc = b.Canvas()->Handle();
  int saved = SaveDC(dc);
  HRGN ellipse = CreateEllipticRgn(0, 0, 40, 40);
  SelectClipRgn(dc, ellipse);
  DeleteObject(ellipse);  // the context keeps a copy
  ExcludeClipRect(dc, 15, 15, 25, 25);
  b.Canvas()->Brush()->SetColor(clBlack);
  b.Canvas()->FillRect(Rect(0, 0, 40, 40));
  EXPECT_EQ(Px(b, 1, 1), 0xFFFFFFu);   // outside the ellipse
  EXPECT_EQ(Px(b, 20, 20), 0xFFFFFFu);  // excluded
  EXPECT_EQ(Px(b, 10, 20), 0u);
  TRect box;
  GetClipBox(dc, &box);
  EXPECT_EQ(box, Rect(0, 0, 40, 40));

  RestoreDC(dc, saved);
  b.Canvas()->FillRect(Rect(0, 0, 2, 2));
  EXPECT_EQ(Px(b, 1, 1), 0u);  // clipping gone with the restored state
}

TEST(GraphicsClipping, IntersectClipRectUsesLogicalCoordinates) {
  TBitmap b(40, 40);
  ClearTo(b);
  HDC dc = b.Canvas()->Handle();
  SaveDC(dc);
  SetWindowOrgEx(dc, -10, -10, nullptr);  // logical (0, 0) is device (10, 10)
  IntersectClipRect(dc, 0, 0, 5, 5);
  b.Canvas()->Brush()->SetColor(clBlack);
  b.Canvas()->FillRect(Rect(-10, -10, 30, 30));
  TPoint p{1, 2};
  LPtoDP(dc, &p, 1);
  EXPECT_EQ(p, Point(11, 12));
  RestoreDC(dc, -1);  // probe in device pixels
  EXPECT_EQ(InkBox(b), Rect(10, 10, 15, 15));
}

TEST(GraphicsClipping, AnisotropicMappingScalesDrawing) {
  TBitmap b(60, 60);
  ClearTo(b);
  HDC dc = b.Canvas()->Handle();
  SaveDC(dc);
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 100, 100, nullptr);
  SetViewportExtEx(dc, 50, 25, nullptr);
  b.Canvas()->Brush()->SetColor(clBlack);
  b.Canvas()->FillRect(Rect(20, 20, 60, 100));
  TPoint p{100, 100};
  LPtoDP(dc, &p, 1);
  EXPECT_EQ(p, Point(50, 25));
  RestoreDC(dc, -1);
  EXPECT_EQ(InkBox(b), Rect(10, 5, 30, 25));
}

TEST(GraphicsRegions, CombineAndPointTests) {
  HRGN a = CreateRectRgn(0, 0, 10, 10), bb = CreateRectRgn(5, 5, 15, 15), r = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(r, a, bb, RGN_AND), SIMPLEREGION);
  TRect box;
  GetRgnBox(r, &box);
  EXPECT_EQ(box, Rect(5, 5, 10, 10));
  EXPECT_EQ(CombineRgn(r, a, bb, RGN_OR), COMPLEXREGION);
  EXPECT_TRUE(PtInRegion(r, 14, 14));
  EXPECT_FALSE(PtInRegion(r, 15, 15));  // right/bottom are exclusive
  EXPECT_EQ(CombineRgn(r, a, bb, RGN_DIFF), COMPLEXREGION);
  EXPECT_FALSE(PtInRegion(r, 7, 7));
  EXPECT_EQ(CombineRgn(r, a, a, RGN_XOR), NULLREGION);

  // A rectangle "10,20,30,40" of an image map covers (10, 20)..(30, 40) inclusive.
  HRGN rect = CreateRectRgn(10, 20, 31, 41);
  EXPECT_TRUE(PtInRegion(rect, 30, 40));
  EXPECT_FALSE(PtInRegion(rect, 31, 40));
  TPoint tri[3] = {{0, 0}, {20, 0}, {0, 20}};
  HRGN poly = CreatePolygonRgn(tri, 3, WINDING);
  EXPECT_TRUE(PtInRegion(poly, 3, 3));
  EXPECT_FALSE(PtInRegion(poly, 15, 15));
  for (HRGN h : {a, bb, r, rect, poly}) DeleteObject(h);
}

TEST(GraphicsBlits, CopiesBlendsAndMasks) {
  TBitmap src(10, 10), dst(10, 10);
  ClearTo(src, clWhite);
  ClearTo(dst, clBlack);
  HDC s = src.Canvas()->Handle(), d = dst.Canvas()->Handle();

  BLENDFUNCTION half;
  half.SourceConstantAlpha = 128;
  GdiAlphaBlend(d, 0, 0, 10, 10, s, 0, 0, 10, 10, half);
  int gray = GetRValue(Px(dst, 5, 5));
  EXPECT_NEAR(gray, 128, 2);

  // Transparent colour: magenta pixels of the source leave the destination.
  ClearTo(dst, clBlack);
  src.Canvas()->Pixels(0, 0);
  src.Canvas()->Brush()->SetColor(clFuchsia);
  src.Canvas()->FillRect(Rect(0, 0, 5, 10));
  src.SetTransparent(true);
  src.SetTransparentColor(clFuchsia);
  dst.Canvas()->Draw(0, 0, &src);
  EXPECT_EQ(Px(dst, 2, 2), 0u);
  EXPECT_EQ(Px(dst, 7, 2), 0xFFFFFFu);

  // A mask: where it is black the source is copied, where white the
  // destination stays.
  ClearTo(dst, clBlack);
  ClearTo(src, clRed);
  TBitmap mask(10, 10);
  mask.SetMonochrome(true);
  ClearTo(mask, clWhite);
  mask.Canvas()->Brush()->SetColor(clBlack);
  mask.Canvas()->FillRect(Rect(0, 0, 10, 4));
  MaskBlt(d, 0, 0, 10, 10, src.Canvas()->Handle(), 0, 0, mask.Handle(), 0, 0,
          MAKEROP4(0x00AA0029, SRCCOPY));
  EXPECT_EQ(Px(dst, 5, 2), 0x0000FFu);
  EXPECT_EQ(Px(dst, 5, 6), 0u);

  // Stretching doubles each pixel.
  TBitmap big(20, 20);
  ClearTo(src, clWhite);
  src.Canvas()->Pixels(0, 0);
  src.Canvas()->SetPixels(1, 1, clBlack);
  StretchBlt(big.Canvas()->Handle(), 0, 0, 20, 20, src.Canvas()->Handle(), 0, 0, 10, 10, SRCCOPY);
  EXPECT_EQ(Px(big, 2, 2), 0u);
  EXPECT_EQ(Px(big, 3, 3), 0u);
  EXPECT_EQ(Px(big, 4, 4), 0xFFFFFFu);
}

TEST(GraphicsBlits, MonochromeSourceTakesTextAndBackgroundColours) {
  TBitmap mono(4, 1);
  mono.SetMonochrome(true);
  ClearTo(mono, clWhite);
  mono.Canvas()->SetPixels(0, 0, clBlack);
  TBitmap dst(4, 1);
  HDC d = dst.Canvas()->Handle();
  SetTextColor(d, RGB(255, 0, 0));
  SetBkColor(d, RGB(0, 0, 255));
  BitBlt(d, 0, 0, 4, 1, mono.Canvas()->Handle(), 0, 0, SRCCOPY);
  EXPECT_EQ(Px(dst, 0, 0), 0x0000FFu);
  EXPECT_EQ(Px(dst, 1, 0), 0xFF0000u);
}

TEST(GraphicsBitmap, ResizingKeepsThePictureAndTheCanvasWorks) {
  TBitmap b(4, 4);
  ClearTo(b, clRed);
  b.SetSize(8, 8);
  EXPECT_EQ(Px(b, 3, 3), 0x0000FFu);
  b.Canvas()->Brush()->SetColor(clBlue);
  b.Canvas()->FillRect(Rect(6, 6, 8, 8));  // the canvas draws on the new size
  EXPECT_EQ(Px(b, 7, 7), 0xFF0000u);
  b.SetPixelFormat(pf32bit);
  auto* row = static_cast<std::uint8_t*>(b.ScanLine(7));
  EXPECT_EQ(row[7 * 4 + 0], 255);  // B
  EXPECT_EQ(row[7 * 4 + 2], 0);    // R
  EXPECT_THROW(b.ScanLine(8), EInvalidGraphicOperation);

  // The bitmap object's bits are the scan lines, top-down (negative height).
  BITMAP info;
  ASSERT_EQ(GetObjectW(b.Handle(), sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.bmBitsPixel, 32);
  EXPECT_EQ(info.bmHeight, -8);
  EXPECT_EQ(static_cast<std::uint8_t*>(info.bmBits) + 7 * info.bmWidthBytes, b.ScanLine(7));
}

TEST(GraphicsColors, NamesAndSystemColours) {
  EXPECT_EQ(ColorToString(clBtnFace), u"clBtnFace");
  EXPECT_EQ(ColorToString(0x123456), u"$00123456");
  TColor c = 0;
  EXPECT_TRUE(IdentToColor(u"$00123456", c));
  EXPECT_EQ(c, 0x123456);
  EXPECT_TRUE(IdentToColor(u"clhighlighttext", c));
  EXPECT_EQ(c, clHighlightText);
  EXPECT_FALSE(IdentToColor(u"$12X", c));
  EXPECT_THROW(StringToColor(u"blue-ish"), EConvertError);
  EXPECT_EQ(ColorToRGB(clHighlight), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(ColorToRGB(0x02123456), 0x123456u);
}
