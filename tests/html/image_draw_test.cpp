// Drawing routines, the GDI+ wrapper and colour reduction.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "html/images/dithering.h"
#include "html/images/gdiplus_images.h"
#include "html/images/image_cache.h"
#include "html/images/image_draw.h"
#include "picture_test_util.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/graphics/picture.h"

using namespace pictures;

namespace {

COLORREF px(TBitmap& b, int x, int y) { return COLORREF(b.Canvas()->Pixels(x, y)) & 0xFFFFFF; }

void fill(TBitmap& b, TColor c) {
  b.Canvas()->Brush()->SetColor(c);
  b.Canvas()->FillRect(Rect(0, 0, b.Width(), b.Height()));
}

std::unique_ptr<TGpImage> gpFromPng(const Bytes& png, const std::string& name) {
  const std::string path = UTF16ToUTF8(GetTempDirectory()) + std::to_string(getpid()) + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  return std::make_unique<TGpImage>(UTF8ToUTF16(path), true);
}

}  // namespace

TEST(ImageDraw, SizeQueriesAcceptOnlyPictureClasses) {
  TBitmap b(7, 3);
  EXPECT_EQ(GetImageWidth(&b), 7);
  EXPECT_EQ(GetImageHeight(&b), 3);
  ThtMetaFile meta;
  meta.SetWidth(11);
  EXPECT_EQ(GetImageWidth(&meta), 11);
  TJPEGImage jpeg;
  try {
    GetImageWidth(&jpeg);
    FAIL();
  } catch (const EGDIPlus& e) {
    EXPECT_EQ(e.Message(), u"Not a TBitmap, TGifImage, TMetafile, or TGpImage");
  }
  EXPECT_EQ(DibBytesPerRow(33, 1), 8);
  EXPECT_EQ(DibBytesPerRow(3, 24), 12);
}

TEST(ImageDraw, MaskedDrawingRegionsAndEnlargement) {
  // A 2 x 1 picture whose right pixel is masked out, stretched to 8 x 4.
  TBitmap pic(2, 1);
  pic.Canvas()->Pixels(0, 0);
  pic.Canvas()->SetPixels(0, 0, clRed);
  pic.Canvas()->SetPixels(1, 0, clLime);
  TBitmap mask(2, 1);
  mask.Canvas()->SetPixels(0, 0, clBlack);
  mask.Canvas()->SetPixels(1, 0, clWhite);
  TBitmap dest(10, 6);
  fill(dest, clBlue);
  FinishTransparentBitmap(dest.Canvas()->Handle(), &pic, &mask, 1, 1, 8, 4);
  EXPECT_EQ(px(dest, 2, 2), 0x0000FFu);
  EXPECT_EQ(px(dest, 7, 2), 0xFF0000u);  // the page shows through
  EXPECT_EQ(px(dest, 0, 0), 0xFF0000u);

  // The region of everything but white.
  TBitmap shape(5, 3);
  fill(shape, clWhite);
  EXPECT_EQ(BitmapToRegion(&shape, nullptr, clWhite), nullptr);
  shape.Canvas()->SetPixels(1, 1, clBlack);
  shape.Canvas()->SetPixels(2, 1, clBlack);
  XFORM twice;
  twice.eM11 = twice.eM22 = 2;
  HRGN r = BitmapToRegion(&shape, &twice, clWhite);
  ASSERT_NE(r, nullptr);
  TRect box;
  GetRgnBox(r, &box);
  EXPECT_EQ(box, Rect(2, 2, 6, 4));
  DeleteObject(r);

  // Tiny backgrounds grow for tiling; others keep their size.
  TBitmap dot(1, 1), column(1, 50), square(3, 3);
  auto a = EnlargeImage(&dot, 300, 20);
  EXPECT_EQ(a->Width(), 100);
  EXPECT_EQ(a->Height(), 20);
  auto b = EnlargeImage(&column, 7, 500);
  EXPECT_EQ(b->Width(), 7);
  EXPECT_EQ(b->Height(), 50);
  auto c = EnlargeImage(&square, 50, 50);
  EXPECT_EQ(c->Width(), 3);
}

TEST(ImageDraw, PrintingTransparentStripsClipsToTheOpaquePixels) {
  TBitmap pic(4, 4);
  fill(pic, clRed);
  TBitmap mask(4, 4);
  fill(mask, clBlack);
  mask.Canvas()->SetPixels(3, 2, clWhite);  // one transparent pixel in row 2
  TBitmap paper(20, 20);
  fill(paper, clWhite);
  // Rows 2 and 3 printed twice their size at (0, 0).
  PrintTransparentBitmap3(paper.Canvas(), 0, 0, 8, 4, &pic, &mask, 2, 2);
  EXPECT_EQ(px(paper, 1, 1), 0x0000FFu);
  EXPECT_EQ(px(paper, 7, 1), 0xFFFFFFu);  // the transparent pixel printed nothing
  EXPECT_EQ(px(paper, 7, 3), 0x0000FFu);
  EXPECT_EQ(px(paper, 1, 5), 0xFFFFFFu);  // below the strip
  // Without any opaque pixel nothing is printed.
  fill(mask, clWhite);
  TBitmap blank(20, 20);
  fill(blank, clLime);
  PrintTransparentBitmap3(blank.Canvas(), 0, 0, 8, 8, &pic, &mask, 0, 4);
  EXPECT_EQ(px(blank, 2, 2), 0x00FF00u);
}

TEST(GdiPlusImages, SmallPicturesAreEnlargedSolidAndFilesGoWithTheirImages) {
  GdiPlusStart();
  GdiPlusStart();
  EXPECT_TRUE(GdiPlusAvailable);
  EXPECT_EQ(GdiPlusStartCount() >= 2, true);
  {
    auto dot = gpFromPng(pngBytes(1, 1, {10, 200, 30, 255}), "tamrix-dot.png");
    const std::string path = UTF16ToUTF8(GetTempDirectory()) + std::to_string(getpid()) + "tamrix-dot.png";
    TBitmap dest(60, 60);
    fill(dest, clWhite);
    StretchDrawGpImage(dest.Canvas()->Handle(), dot.get(), 5, 5, 50, 50);
    // Every pixel of the 50 x 50 square is the picture's colour, edges included.
    for (int y = 5; y < 55; y += 7)
      for (int x = 5; x < 55; x += 7) EXPECT_EQ(px(dest, x, y), COLORREF(RGB(10, 200, 30))) << x << "," << y;
    EXPECT_EQ(px(dest, 55, 55), 0xFFFFFFu);
    std::ifstream exists(path);
    EXPECT_TRUE(exists.good());
    dot.reset();
    std::ifstream gone(path);
    EXPECT_FALSE(gone.good());
  }
  try {
    TGpImage missing(u"/nonexistent/picture.png");
    FAIL();
  } catch (const EGDIPlus& e) {
    EXPECT_EQ(e.Message(), u"Image file \"/nonexistent/picture.png\" not found.");
  }
  // A translucent picture rendered on white for copying.
  auto half = gpFromPng(pngBytes(1, 1, {0, 0, 0, 128}), "tamrix-half.png");
  auto onWhite = half->GetBitmap();
  const COLORREF c = px(*onWhite, 0, 0);
  EXPECT_NEAR(GetRValue(c), 127, 2);
  GdiPlusStop();
  GdiPlusStop();
}

TEST(Dithering, NearestColourWebCubeAndErrorDiffusion) {
  // Exactly between two palette entries: the lower index wins.
  TFastColorLookup two({{0, 0, 0, 0}, {100, 100, 100, 0}});
  int r, g, b;
  EXPECT_EQ(two.FindIndex(50, 50, 50, r, g, b), 0);
  EXPECT_EQ(two.FindIndex(60, 50, 50, r, g, b), 1);
  TNetscapeColorLookup web;
  EXPECT_EQ(web.FindIndex(47, 0, 0, r, g, b), 0);
  EXPECT_EQ(web.FindIndex(48, 0, 0, r, g, b), 36);
  EXPECT_EQ(r, 51);
  EXPECT_EQ(MakeCubePalette().size(), 216u);

  // Mid grey over black and white dithers to about half white pixels.
  TBitmap grey(16, 16);
  fill(grey, TColor(RGB(128, 128, 128)));
  std::vector<std::uint8_t> idx;
  TPalette pal;
  auto out = ReduceToPalette(&grey, rmWindows20, dmFloydSteinberg, &idx, &pal);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->Width(), 16);
  // A 1-pixel-wide picture dithers without leaving its row.
  TBitmap thin(1, 9);
  fill(thin, TColor(RGB(200, 30, 90)));
  auto t = ReduceToPalette(&thin, rmNetscape, dmFloydSteinberg, &idx);
  ASSERT_TRUE(t);
  EXPECT_EQ(idx.size(), 9u);
  // Unknown dither mode and the no-palette mode leave an empty result.
  auto none = ReduceToPalette(&grey, rmShared, 7, &idx);
  EXPECT_EQ(idx, std::vector<std::uint8_t>(256, 0));
  EXPECT_EQ(DitherBitmap(nullptr), nullptr);
}

TEST(Dithering, OctreeKeepsFewColoursExactly) {
  TBitmap b(4, 1);
  const TColor colours[] = {TColor(RGB(12, 34, 56)), TColor(RGB(200, 100, 50)), TColor(RGB(9, 70, 130)),
                            TColor(RGB(12, 34, 56))};
  for (int x = 0; x < 4; ++x) b.Canvas()->SetPixels(x, 0, colours[x]);
  TPalette p = BuildOctreePalette(&b, 256, 8, false);
  ASSERT_EQ(p.size(), 3u);
  std::vector<std::uint8_t> idx;
  TPalette used;
  auto out = ReduceToPalette(&b, rmOptimized, dmNearest, &idx, &used);
  ASSERT_EQ(used.size(), 256u);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(px(*out, x, 0), ColorToRGB(colours[x])) << x;
  // With more colours than asked for, leaves are merged down to the limit.
  TBitmap many(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) many.Canvas()->SetPixels(x, y, TColor(RGB(x * 4, y * 4, (x + y) * 2)));
  EXPECT_LE(BuildOctreePalette(&many, 16, 8, false).size(), 16u);
}
