// Device-context bookkeeping (object lifetimes, saved states, fonts picked
// up by the canvas), paths with geometric pens, device-independent bits,
// regions from rectangles, bitmap files of every depth, and printer and
// GDI+ corners.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/core/exception.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/graphics/gdiplus.h"
#include "platform/graphics/imagelist.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/printer.h"
#include "tests/platform/graphics_test_util.h"

TEST(GraphicsObjects, DeletingASelectedObjectWaitsUntilItIsDeselected) {
  TBitmap b(10, 10);
  ClearTo(b);
  HDC dc = b.Canvas()->Handle();
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ old = SelectObject(dc, red);
  EXPECT_EQ(GetObjectType(old), OBJ_BRUSH);
  EXPECT_TRUE(DeleteObject(red));
  EXPECT_FALSE(DeleteObject(red));  // a second delete is refused
  // Still usable through the context that holds it.
  PatBlt(dc, 0, 0, 5, 5, PATCOPY);
  EXPECT_EQ(Px(b, 2, 2), 0x0000FFu);
  SelectObject(dc, old);

  // A bitmap selected into one memory context cannot go into a second one.
  HBITMAP bmp = CreateCompatibleBitmap(dc, 4, 4);
  HDC m1 = CreateCompatibleDC(dc), m2 = CreateCompatibleDC(dc);
  HGDIOBJ first = SelectObject(m1, bmp);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(SelectObject(m2, bmp), nullptr);
  SelectObject(m1, first);
  EXPECT_NE(SelectObject(m2, bmp), nullptr);
  DeleteDC(m1);
  DeleteDC(m2);
  DeleteObject(bmp);
}

TEST(GraphicsObjects, SavedStatesKeepTheirObjectsAndSettings) {
  TBitmap b(10, 10);
  ClearTo(b);
  HDC dc = b.Canvas()->Handle();
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  HGDIOBJ old = SelectObject(dc, blue);
  SetTextColor(dc, RGB(1, 2, 3));
  int level = SaveDC(dc);
  EXPECT_EQ(level, 1);
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  SelectObject(dc, green);
  SetTextColor(dc, RGB(9, 9, 9));
  SaveDC(dc);
  SetMapMode(dc, MM_ANISOTROPIC);
  DeleteObject(blue);  // still held by the saved state
  EXPECT_TRUE(RestoreDC(dc, level));
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
  EXPECT_EQ(GetMapMode(dc), MM_TEXT);
  PatBlt(dc, 0, 0, 10, 10, PATCOPY);
  EXPECT_EQ(Px(b, 5, 5), 0xFF0000u);
  EXPECT_FALSE(RestoreDC(dc, 1));  // nothing saved any more
  SelectObject(dc, old);
  DeleteObject(green);
}

TEST(GraphicsObjects, CanvasPicksUpFontAndBrushChanges) {
  TBitmap b(60, 20);
  TCanvas* c = b.Canvas();
  c->Font()->SetHeight(-10);
  int narrow = c->TextWidth(u"Width");
  HDC dc = c->Handle();
  c->Font()->SetHeight(-20);
  // A context handed out earlier follows the canvas's new font.
  TSize s;
  GetTextExtentPoint32W(c->Handle(), u"Width", 5, &s);
  EXPECT_EQ(c->Handle(), dc);
  EXPECT_GT(s.cx, narrow * 3 / 2);
  // The brush decides the background mode for text.
  c->Brush()->SetStyle(bsClear);
  EXPECT_EQ(GetBkMode(c->Handle()), TRANSPARENT);
  c->Brush()->SetColor(clRed);
  EXPECT_EQ(GetBkMode(c->Handle()), OPAQUE);
  EXPECT_EQ(GetBkColor(c->Handle()), RGB(255, 0, 0));

  int changes = 0;
  TFont f;
  f.OnChange = [&](TObject*) { ++changes; };
  f.SetName(u"Courier New");
  f.SetStyle({fsBold});
  f.SetStyle({fsBold});  // no change, no event
  EXPECT_EQ(changes, 2);
  TFont g;
  g.Assign(f);
  EXPECT_EQ(g.Name(), u"Courier New");
  EXPECT_TRUE(g.Style().Contains(fsBold));
  LOGFONTW lf;
  GetObjectW(g.Handle(), sizeof lf, &lf);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  // Copies share the name until one of them is renamed.
  g.SetName(u"DejaVu Sans");
  EXPECT_EQ(f.Name(), u"Courier New");
  EXPECT_EQ(TFont().Name(), u"Tahoma");
}

TEST(GraphicsPaths, GeometricPensStrokeWideDashedPaths) {
  TBitmap b(100, 20);
  ClearTo(b);
  HDC dc = b.Canvas()->Handle();
  LOGBRUSH lb;
  lb.lbColor = RGB(0, 0, 0);
  HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER, 4, lb);
  HGDIOBJ old = SelectObject(dc, pen);
  BeginPath(dc);
  MoveToEx(dc, 0, 10, nullptr);
  LineTo(dc, 100, 10);
  EndPath(dc);
  TRect before = InkBox(b);
  EXPECT_TRUE(before.IsEmpty());  // a path bracket draws nothing by itself
  StrokePath(dc);
  TRect ink = InkBox(b);
  EXPECT_EQ(ink.Top, 8);
  EXPECT_EQ(ink.Bottom, 12);
  // Dashes leave gaps along the line.
  int gaps = 0;
  for (int x = 1; x < 100; ++x) gaps += Px(b, x, 10) == 0xFFFFFF && Px(b, x - 1, 10) != 0xFFFFFF;
  EXPECT_GE(gaps, 1);
  EXPECT_FALSE(StrokePath(dc));  // the path is used up
  SelectObject(dc, old);
  DeleteObject(pen);
}

TEST(GraphicsDib, GetAndStretchDeviceIndependentBits) {
  TBitmap b(3, 2);
  ClearTo(b, clWhite);
  b.Canvas()->SetPixels(0, 0, clRed);
  b.Canvas()->SetPixels(2, 1, clBlue);
  BITMAPINFO info{};
  info.bmiHeader.biWidth = 3;
  info.bmiHeader.biHeight = 2;  // bottom-up
  info.bmiHeader.biBitCount = 24;
  std::vector<std::uint8_t> bits(2 * 12);
  ASSERT_EQ(GetDIBits(b.Canvas()->Handle(), b.Handle(), 0, 2, bits.data(), &info, DIB_RGB_COLORS), 2);
  // Row 0 of the bits is the bottom row: blue at x = 2 (B, G, R order).
  EXPECT_EQ(bits[6], 255);
  EXPECT_EQ(bits[8], 0);
  // Row 1 is the top row: red at x = 0.
  EXPECT_EQ(bits[12 + 2], 255);
  EXPECT_EQ(bits[12 + 0], 0);

  TBitmap dst(6, 4);
  ClearTo(dst, clBlack);
  StretchDIBits(dst.Canvas()->Handle(), 0, 0, 6, 4, 0, 0, 3, 2, bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(Px(dst, 1, 1), 0x0000FFu);
  EXPECT_EQ(Px(dst, 5, 3), 0xFF0000u);
  EXPECT_EQ(Px(dst, 3, 1), 0xFFFFFFu);

  // 8-bit rows through a colour table.
  BITMAPINFO pal{};
  pal.bmiHeader.biWidth = 2;
  pal.bmiHeader.biHeight = -1;
  pal.bmiHeader.biBitCount = 8;
  pal.bmiColors[7] = RGBQUAD{0, 255, 0, 0};
  std::uint8_t row[4] = {7, 0, 0, 0};
  StretchDIBits(dst.Canvas()->Handle(), 0, 0, 2, 1, 0, 0, 2, 1, row, &pal, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(Px(dst, 0, 0), 0x00FF00u);
  EXPECT_EQ(Px(dst, 1, 0), 0u);
}

TEST(GraphicsRegions, RegionsFromRectanglesAndFilling) {
  TRect rects[2] = {{0, 0, 2, 2}, {4, 0, 6, 2}};
  XFORM scale;
  scale.eM11 = 2;
  scale.eM22 = 3;
  HRGN r = ExtCreateRegion(&scale, rects, 2);
  TRect box;
  EXPECT_EQ(GetRgnBox(r, &box), COMPLEXREGION);
  EXPECT_EQ(box, Rect(0, 0, 12, 6));
  EXPECT_FALSE(PtInRegion(r, 5, 1));
  std::vector<TRect> parts;
  EXPECT_EQ(GetRegionRects(r, &parts), 2);

  TBitmap b(12, 6);
  ClearTo(b);
  HBRUSH black = CreateSolidBrush(0);
  FillRgn(b.Canvas()->Handle(), r, black);
  EXPECT_EQ(Px(b, 1, 1), 0u);
  EXPECT_EQ(Px(b, 6, 1), 0xFFFFFFu);
  EXPECT_EQ(Px(b, 11, 5), 0u);
  OffsetRgn(r, 100, 0);
  EXPECT_TRUE(PtInRegion(r, 101, 1));
  DeleteObject(black);
  DeleteObject(r);

  // Rounded corners are cut off.
  HRGN round = CreateRoundRectRgn(0, 0, 20, 20, 10, 10);
  EXPECT_FALSE(PtInRegion(round, 0, 0));
  EXPECT_TRUE(PtInRegion(round, 10, 0));
  DeleteObject(round);
}

TEST(GraphicsBitmap, FilesOfEveryDepthReadBack) {
  for (TPixelFormat pf : {pf1bit, pf24bit, pf32bit}) {
    TBitmap src(9, 3);
    src.SetPixelFormat(pf);
    ClearTo(src, clWhite);
    src.Canvas()->SetPixels(8, 2, clBlack);
    TMemoryStream ms;
    src.SaveToStream(ms);
    ms.SetPosition(0);
    TBitmap back;
    back.LoadFromStream(ms);
    ASSERT_EQ(back.Width(), 9) << pf;
    EXPECT_EQ(Px(back, 8, 2), 0u) << pf;
    EXPECT_EQ(Px(back, 0, 0), 0xFFFFFFu) << pf;
  }
  // The automatic transparent colour is the bottom-left pixel.
  TBitmap t(4, 4);
  ClearTo(t, clLime);
  t.Canvas()->SetPixels(0, 3, clRed);
  EXPECT_EQ(ColorToRGB(t.TransparentColor()), 0x0000FFu);
  t.SetTransparentColor(clLime);
  EXPECT_EQ(t.TransparentMode(), tmFixed);
  EXPECT_EQ(ColorToRGB(t.TransparentColor()), 0x00FF00u);
}

TEST(GraphicsBitmap, FloodFillStopsAtTheBorder) {
  TBitmap b(20, 20);
  ClearTo(b);
  TCanvas* c = b.Canvas();
  c->Brush()->SetStyle(bsClear);
  c->Rectangle(5, 5, 15, 15);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clRed);
  c->FloodFill(10, 10, clBlack, fsBorder);
  EXPECT_EQ(Px(b, 10, 10), 0x0000FFu);
  EXPECT_EQ(Px(b, 6, 6), 0x0000FFu);
  EXPECT_EQ(Px(b, 5, 5), 0u);
  EXPECT_EQ(Px(b, 2, 2), 0xFFFFFFu);
}

TEST(GraphicsMetafile, RecordingKeepsTheMappingUsedForPrinting) {
  // Pages are laid out at one resolution and recorded through a scaling map.
  TMetafile mf;
  {
    TMetafileCanvas c(&mf, nullptr);
    HDC dc = c.Handle();
    c.Brush()->SetColor(clWhite);
    c.FillRect(Rect(0, 0, 40, 40));
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 4, 4, nullptr);
    SetViewportExtEx(dc, 1, 1, nullptr);
    c.Brush()->SetColor(clBlue);
    c.FillRect(Rect(40, 40, 80, 80));  // lands on (10, 10)-(20, 20)
  }
  TBitmap out(40, 40);
  ClearTo(out, clBlack);
  out.Canvas()->Draw(0, 0, &mf);
  EXPECT_EQ(Px(out, 15, 15), 0xFF0000u);
  EXPECT_EQ(Px(out, 25, 25), 0xFFFFFFu);
}

TEST(GraphicsPrinter, AbortRemovesTheFileAndLandscapeSwapsTheSides) {
  namespace fs = std::filesystem;
  fs::path pdf = fs::temp_directory_path() / ("tamrix-gfx-abort-" + std::to_string(::getpid()) + ".pdf");
  std::string name = pdf.string();
  TPrinter p;
  p.SetPrinterIndex(int(p.Printers().size()) - 1);
  int portraitWidth = p.PageWidth(), portraitHeight = p.PageHeight();
  p.SetOrientation(poLandscape);
  EXPECT_EQ(p.PageWidth(), portraitHeight);
  EXPECT_EQ(p.PageHeight(), portraitWidth);
  p.SetOutputFileName(String(name.begin(), name.end()));
  p.BeginDoc();
  p.Canvas()->TextOut(10, 10, u"never printed");
  p.Abort();
  EXPECT_TRUE(p.Aborted());
  EXPECT_FALSE(p.Printing());
  EXPECT_FALSE(fs::exists(pdf));
  EXPECT_THROW(p.EndDoc(), EPrinter);
}

TEST(GraphicsPrinter, APdfFileTakesItsPlaceOnlyWhenTheJobEnds) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tamrix-gfx-pdf-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path pdf = dir / "page.pdf";
  std::ofstream(pdf) << "earlier";
  TPrinter p;
  p.SetPrinterIndex(int(p.Printers().size()) - 1);
  p.SetOutputFileName(UTF8ToUTF16(pdf.string()));
  // An aborted job leaves the earlier file as it was.
  p.BeginDoc();
  p.Canvas()->TextOut(10, 10, u"never printed");
  p.Abort();
  EXPECT_EQ(fs::file_size(pdf), 7u);
  // While printing the earlier file stays; at the end the new one replaces it.
  p.BeginDoc();
  p.Canvas()->TextOut(10, 10, u"printed");
  EXPECT_EQ(fs::file_size(pdf), 7u);
  p.EndDoc();
  EXPECT_GT(fs::file_size(pdf), 100u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  // A folder that does not exist: the error names the file.
  p.SetOutputFileName(UTF8ToUTF16((dir / "none/page.pdf").string()));
  try {
    p.BeginDoc();
    ADD_FAILURE() << "no error";
  } catch (const EPrinter& e) {
    EXPECT_NE(UTF16ToUTF8(e.Message()).find((dir / "none/page.pdf").string()), std::string::npos);
  }
  EXPECT_FALSE(p.Printing());
  fs::remove_all(dir);
}

TEST(GraphicsImageList, SeparateMaskAndMaskOutput) {
  TImageList list(nullptr);
  list.SetWidth(2);
  list.SetHeight(1);
  TBitmap image(2, 1), mask(2, 1);
  ClearTo(image, clRed);
  mask.SetMonochrome(true);
  ClearTo(mask, clBlack);
  mask.Canvas()->SetPixels(1, 0, clWhite);  // right pixel transparent
  list.Add(&image, &mask);
  TBitmap dst(2, 1);
  ClearTo(dst, clYellow);
  ImageList_Draw(&list, 0, dst.Canvas()->Handle(), 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(Px(dst, 0, 0), 0x0000FFu);
  EXPECT_EQ(Px(dst, 1, 0), 0x00FFFFu);
  ImageList_Draw(&list, 0, dst.Canvas()->Handle(), 0, 0, ILD_MASK);
  EXPECT_EQ(Px(dst, 0, 0), 0u);
  EXPECT_EQ(Px(dst, 1, 0), 0xFFFFFFu);
  EXPECT_FALSE(ImageList_Draw(&list, 5, dst.Canvas()->Handle(), 0, 0, ILD_NORMAL));
}

TEST(GraphicsGdiPlus, DrawingIntoABitmapWithScaleAndClear) {
  GpBitmap* small = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(2, 2, 0, PixelFormat32bppARGB, nullptr, &small), Ok);
  GdipBitmapSetPixel(small, 0, 0, 0xFFFF0000u);
  GpBitmap* big = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(8, 8, 0, PixelFormat32bppARGB, nullptr, &big), Ok);
  GpGraphics* g = nullptr;
  ASSERT_EQ(GdipGetImageGraphicsContext(big, &g), Ok);
  GdipGraphicsClear(g, 0xFF00FF00u);
  GdipSetInterpolationMode(g, InterpolationModeNearestNeighbor);
  GdipScaleWorldTransform(g, 2, 2, MatrixOrderPrepend);
  GdipDrawImageRectRectI(g, small, 0, 0, 2, 2, 0, 0, 2, 2, UnitPixel);
  EXPECT_EQ(GdipDisposeImage(big), ObjectBusy);  // still drawn on
  GdipDeleteGraphics(g);
  ARGB c = 0;
  GdipBitmapGetPixel(big, 1, 1, &c);
  EXPECT_EQ(c, 0xFFFF0000u);  // scaled up twice
  GdipBitmapGetPixel(big, 3, 3, &c);
  EXPECT_EQ(c, 0xFF00FF00u);  // the transparent source pixel shows the clear colour
  GdipBitmapGetPixel(big, 6, 6, &c);
  EXPECT_EQ(c, 0xFF00FF00u);
  EXPECT_EQ(GdipDisposeImage(big), Ok);
  GdipDisposeImage(small);
}
