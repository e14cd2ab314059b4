// Pictures: PNG/JPEG/BMP decoding of pictures made here, hostile and
// truncated data, metafile recording and playback, printing to PDF, image
// lists and the GDI+-style image calls.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "platform/core/exception.h"
#include "platform/core/streams.h"
#include "platform/graphics/gdiplus.h"
#include "platform/graphics/imagelist.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/printer.h"
#include "tests/platform/graphics_test_util.h"

namespace fs = std::filesystem;

namespace {

// RGBA pixels, row by row.
std::vector<std::uint8_t> makePng(int w, int h, const std::vector<std::uint8_t>& rgba) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(w);
  img.height = png_uint_32(h);
  img.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&img, nullptr, &size, 0, rgba.data(), 0, nullptr);
  std::vector<std::uint8_t> out(size);
  EXPECT_TRUE(png_image_write_to_memory(&img, out.data(), &size, 0, rgba.data(), 0, nullptr));
  out.resize(size);
  return out;
}

// Left half red, right half blue.
std::vector<std::uint8_t> makeJpeg(int w, int h, bool progressive = false) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<std::uint8_t> row(size_t(w) * 3);
  for (int x = 0; x < w; ++x) {
    bool left = x < w / 2;
    row[size_t(x) * 3] = left ? 255 : 0;
    row[size_t(x) * 3 + 1] = 0;
    row[size_t(x) * 3 + 2] = left ? 0 : 255;
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<std::uint8_t> out(buf, buf + size);
  jpeg_destroy_compress(&c);
  free(buf);
  return out;
}

void le16(std::vector<std::uint8_t>& v, unsigned x) {
  v.push_back(std::uint8_t(x));
  v.push_back(std::uint8_t(x >> 8));
}
void le32(std::vector<std::uint8_t>& v, unsigned x) {
  le16(v, x & 0xFFFF);
  le16(v, x >> 16);
}

// An 8-bit run-length coded BMP: palette 0 black, 1 red, 2 green.
std::vector<std::uint8_t> makeRle8Bmp() {
  std::vector<std::uint8_t> pixels = {
      4, 1, 0, 0,        // bottom row: 4 red
      0, 4, 2, 2, 1, 1,  // next row: literal run of four (green, green, red, red)
      0, 1};             // end of bitmap
  std::vector<std::uint8_t> v{'B', 'M'};
  const unsigned off = 14 + 40 + 3 * 4;
  le32(v, off + unsigned(pixels.size()));
  le32(v, 0);
  le32(v, off);
  le32(v, 40);
  le32(v, 4);
  le32(v, 2);
  le16(v, 1);
  le16(v, 8);
  le32(v, 1);  // RLE8
  le32(v, unsigned(pixels.size()));
  le32(v, 0);
  le32(v, 0);
  le32(v, 3);
  le32(v, 0);
  for (unsigned c : {0x000000u, 0x0000FFu << 16 >> 16 << 16, 0x00FF00u}) le32(v, c);
  v.insert(v.end(), pixels.begin(), pixels.end());
  return v;
}

fs::path tempFile(const char* name) {
  fs::path dir = fs::temp_directory_path() / ("tamrix-gfx-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir / name;
}

std::string readAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

String u16(const fs::path& p) {
  std::string s = p.string();
  return String(s.begin(), s.end());
}

}  // namespace

TEST(GraphicsPictures, KindsAreRecognisedByTheirFirstBytes) {
  EXPECT_EQ(KindOfPicture("GIF89a", 6), TPictureKind::Gif);
  EXPECT_EQ(KindOfPicture("\x89PNG\r\n\x1a\n", 8), TPictureKind::Png);
  EXPECT_EQ(KindOfPicture("BM", 2), TPictureKind::Bmp);
  EXPECT_EQ(KindOfPicture("\xFF\xD8\xFF\xE0", 4), TPictureKind::Jpeg);
  EXPECT_EQ(KindOfPicture("<html>", 6), TPictureKind::Unknown);
  EXPECT_EQ(KindOfPicture("\x89PN", 3), TPictureKind::Unknown);
}

TEST(GraphicsPictures, PngWithAlphaKeepsStraightColours) {
  // 2 x 2: opaque red, transparent, half-transparent white, opaque blue.
  auto png = makePng(2, 2, {255, 0, 0, 255, 0, 255, 0, 0, 255, 255, 255, 128, 0, 0, 255, 255});
  TBitmap b;
  DecodePicture(png.data(), png.size(), b);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_NE(b.AlphaFormat(), afIgnored);
  auto* r0 = static_cast<std::uint8_t*>(b.ScanLine(0));
  EXPECT_EQ(r0[2], 255);  // red
  EXPECT_EQ(r0[3], 255);
  EXPECT_EQ(r0[7], 0);  // transparent, yet still green
  EXPECT_EQ(r0[5], 255);
  auto* r1 = static_cast<std::uint8_t*>(b.ScanLine(1));
  EXPECT_EQ(r1[3], 128);
  EXPECT_EQ(r1[0], 255);  // white as the file has it, not premultiplied

  // Drawn over black, the transparent pixel shows black and the half one grey.
  TBitmap dst(2, 2);
  ClearTo(dst, clBlack);
  dst.Canvas()->Draw(0, 0, &b);
  EXPECT_EQ(Px(dst, 0, 0), 0x0000FFu);
  EXPECT_EQ(Px(dst, 1, 0), 0u);
  EXPECT_NEAR(GetRValue(Px(dst, 0, 1)), 128, 2);

  // An opaque PNG gives a plain bitmap.
  auto opaque = makePng(1, 1, {1, 2, 3, 255});
  DecodePicture(opaque.data(), opaque.size(), b);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(Px(b, 0, 0), RGB(1, 2, 3));
}

TEST(GraphicsPictures, BrokenPngsFailCleanly) {
  auto png = makePng(8, 8, std::vector<std::uint8_t>(8 * 8 * 4, 200));
  TBitmap b;
  for (size_t cut : {size_t(8), size_t(20), size_t(40), png.size() - 13}) {
    std::vector<std::uint8_t> part(png.begin(), png.begin() + long(cut));
    EXPECT_THROW(DecodePicture(part.data(), part.size(), b), EInvalidGraphic) << cut;
  }
  auto bad = png;
  bad[20] ^= 0x40;  // corrupt the header chunk (its CRC no longer matches)
  EXPECT_THROW(DecodePicture(bad.data(), bad.size(), b), EInvalidGraphic);
}

TEST(GraphicsPictures, JpegDecodesAndTruncatedJpegFails) {
  for (bool progressive : {false, true}) {
    auto jpg = makeJpeg(32, 16, progressive);
    TBitmap b;
    DecodePicture(jpg.data(), jpg.size(), b);
    ASSERT_EQ(b.Width(), 32);
    ASSERT_EQ(b.Height(), 16);
    COLORREF left = Px(b, 4, 8), right = Px(b, 28, 8);
    EXPECT_GT(GetRValue(left), 200);
    EXPECT_LT(GetBValue(left), 60);
    EXPECT_GT(GetBValue(right), 200);
    EXPECT_LT(GetRValue(right), 60);

    std::vector<std::uint8_t> half(jpg.begin(), jpg.begin() + long(jpg.size() / 2));
    TBitmap t;
    EXPECT_THROW(DecodePicture(half.data(), half.size(), t), EInvalidGraphic) << progressive;
  }
  std::vector<std::uint8_t> junk = {0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF, 0xDA, 1, 2, 3};
  TBitmap t;
  EXPECT_THROW(DecodePicture(junk.data(), junk.size(), t), EInvalidGraphic);
}

TEST(GraphicsPictures, BmpRoundTripAndRunLengthCoding) {
  TBitmap src(5, 3);
  ClearTo(src, clLime);
  src.Canvas()->SetPixels(4, 2, clRed);
  TMemoryStream ms;
  src.SaveToStream(ms);
  ms.SetPosition(0);
  TBitmap back;
  back.LoadFromStream(ms);
  ASSERT_EQ(back.Width(), 5);
  EXPECT_EQ(Px(back, 0, 0), 0x00FF00u);
  EXPECT_EQ(Px(back, 4, 2), 0x0000FFu);

  auto rle = makeRle8Bmp();
  TBitmap r;
  DecodePicture(rle.data(), rle.size(), r);
  ASSERT_EQ(r.Width(), 4);
  ASSERT_EQ(r.Height(), 2);
  EXPECT_EQ(Px(r, 0, 1), 0x0000FFu);  // bottom row red
  EXPECT_EQ(Px(r, 0, 0), 0x00FF00u);  // top row starts green
  EXPECT_EQ(Px(r, 3, 0), 0x0000FFu);
}

TEST(GraphicsPictures, HostileBmpHeadersAreRefused) {
  TBitmap src(4, 4);
  ClearTo(src);
  TMemoryStream ms;
  src.SaveToStream(ms);
  std::vector<std::uint8_t> bmp(static_cast<const std::uint8_t*>(ms.Memory()),
                                static_cast<const std::uint8_t*>(ms.Memory()) + ms.Size());
  TBitmap b;
  auto patched = [&](size_t at, unsigned value) {
    auto v = bmp;
    v[at] = std::uint8_t(value);
    v[at + 1] = std::uint8_t(value >> 8);
    v[at + 2] = std::uint8_t(value >> 16);
    v[at + 3] = std::uint8_t(value >> 24);
    return v;
  };
  auto huge = patched(18, 30000);  // width: pixel data far beyond the file
  EXPECT_THROW(DecodePicture(huge.data(), huge.size(), b), EInvalidGraphic);
  auto wide = patched(18, 0x7FFFFFFF);
  EXPECT_THROW(DecodePicture(wide.data(), wide.size(), b), EInvalidGraphic);
  auto offset = patched(10, 0xFFFFFFF0u);
  EXPECT_THROW(DecodePicture(offset.data(), offset.size(), b), EInvalidGraphic);
  std::vector<std::uint8_t> cut(bmp.begin(), bmp.begin() + 30);
  EXPECT_THROW(DecodePicture(cut.data(), cut.size(), b), EInvalidGraphic);
  EXPECT_THROW(DecodePicture("GIF89a", 6, b), EInvalidGraphic);
}

TEST(GraphicsMetafile, PlaysBackAtTwoScales) {
  TMetafile mf;
  {
    TMetafileCanvas c(&mf, nullptr);
    c.Brush()->SetColor(clWhite);
    c.Pen()->SetColor(clWhite);
    c.Rectangle(0, 0, 100, 50);
    c.Brush()->SetColor(clRed);
    c.Pen()->SetStyle(psClear);
    c.FillRect(Rect(10, 10, 20, 20));
    c.Brush()->SetStyle(bsClear);
    c.Font()->SetName(u"Arial");
    c.Font()->SetHeight(-12);
    c.TextOut(30, 10, u"Page");
  }
  ASSERT_FALSE(mf.Empty());
  EXPECT_EQ(mf.Width(), 100);
  EXPECT_EQ(mf.Height(), 50);

  TBitmap one(100, 50), two(200, 100);
  ClearTo(one);
  ClearTo(two);
  one.Canvas()->Draw(0, 0, &mf);
  two.Canvas()->StretchDraw(Rect(0, 0, 200, 100), &mf);
  EXPECT_EQ(Px(one, 15, 15), 0x0000FFu);
  EXPECT_EQ(Px(one, 20, 15), 0xFFFFFFu);
  EXPECT_EQ(Px(two, 30, 30), 0x0000FFu);
  EXPECT_EQ(Px(two, 39, 39), 0x0000FFu);
  EXPECT_EQ(Px(two, 41, 30), 0xFFFFFFu);
  // The text scales with the page.
  auto textBox = [](TBitmap& b, int fromX) {
    TRect r{b.Width(), b.Height(), 0, 0};
    for (int y = 0; y < b.Height(); ++y)
      for (int x = fromX; x < b.Width(); ++x)
        if (Px(b, x, y) != 0xFFFFFF) {
          r.Left = std::min(r.Left, x);
          r.Right = std::max(r.Right, x + 1);
        }
    return r;
  };
  TRect t1 = textBox(one, 25), t2 = textBox(two, 50);
  ASSERT_LT(t1.Left, t1.Right);
  EXPECT_NEAR(t2.Width(), 2 * t1.Width(), 3);
  EXPECT_NEAR(t2.Left, 2 * t1.Left, 2);

  // Saved and read back, it plays the same.
  TMemoryStream ms;
  mf.SaveToStream(ms);
  ms.SetPosition(0);
  TMetafile copy;
  copy.LoadFromStream(ms);
  TBitmap again(100, 50);
  ClearTo(again);
  again.Canvas()->Draw(0, 0, &copy);
  EXPECT_TRUE(SamePixels(one, again, Rect(0, 0, 100, 50)));

  TMemoryStream junk;
  junk.WriteBuffer("not a metafile at all", 21);
  junk.SetPosition(0);
  EXPECT_THROW(copy.LoadFromStream(junk), EInvalidGraphic);
}

TEST(GraphicsPrinter, TwoPagePdf) {
  fs::path pdf = tempFile("two-pages.pdf");
  fs::remove(pdf);
  TPrinter p;
  p.SetPrinterIndex(int(p.Printers().size()) - 1);  // the PDF writer
  p.SetOutputFileName(u16(pdf));
  p.SetTitle(u"Test document");
  HDC info = p.Handle();
  EXPECT_GT(GetDeviceCaps(info, LOGPIXELSX), 96);
  EXPECT_GE(GetDeviceCaps(info, PHYSICALWIDTH), GetDeviceCaps(info, HORZRES));
  EXPECT_EQ(GetDeviceCaps(info, PHYSICALWIDTH),
            GetDeviceCaps(info, HORZRES) + 2 * GetDeviceCaps(info, PHYSICALOFFSETX));
  EXPECT_THROW(p.NewPage(), EPrinter);
  EXPECT_THROW(p.Canvas()->TextOut(0, 0, u"x"), EPrinter);

  p.BeginDoc();
  EXPECT_THROW(p.BeginDoc(), EPrinter);
  p.Canvas()->Font()->SetName(u"Arial");
  p.Canvas()->Font()->SetSize(12);
  EXPECT_EQ(p.Canvas()->Font()->Height(), -MulDiv(12, GetDeviceCaps(p.Handle(), LOGPIXELSY), 72));
  p.Canvas()->TextOut(100, 100, u"First page");
  p.NewPage();
  EXPECT_EQ(p.PageNumber(), 2);
  p.Canvas()->TextOut(100, 100, u"Second page");
  p.EndDoc();
  EXPECT_FALSE(p.Printing());

  std::string data = readAll(pdf);
  ASSERT_EQ(data.rfind("%PDF", 0), 0u);
  size_t pages = 0;
  for (size_t at = data.find("/Type /Page"); at != std::string::npos; at = data.find("/Type /Page", at + 1))
    if (data.compare(at, 12, "/Type /Pages") != 0) ++pages;
  EXPECT_EQ(pages, 2u);
  fs::remove(pdf);
}

TEST(GraphicsImageList, MaskedBlendedOverlaidAndDisabled) {
  TImageList list(nullptr);
  list.SetWidth(4);
  list.SetHeight(4);
  TBitmap strip(8, 4);
  ClearTo(strip, clFuchsia);
  strip.Canvas()->Brush()->SetColor(clBlue);
  strip.Canvas()->FillRect(Rect(0, 0, 2, 4));   // image 0: left half blue
  strip.Canvas()->Brush()->SetColor(clBlack);
  strip.Canvas()->FillRect(Rect(7, 3, 8, 4));   // image 1: one black pixel
  EXPECT_EQ(list.AddMasked(&strip, clFuchsia), 0);
  EXPECT_EQ(ImageList_GetImageCount(&list), 2);

  TBitmap dst(4, 4);
  ClearTo(dst, clYellow);
  ImageListDraw(&list, dst.Canvas(), 0, 0, 0);
  EXPECT_EQ(Px(dst, 0, 0), 0xFF0000u);
  EXPECT_EQ(Px(dst, 3, 0), 0x00FFFFu);  // masked: the background stays

  ClearTo(dst, clYellow);
  ImageList_DrawEx(&list, 0, dst.Canvas()->Handle(), 0, 0, 0, 0, CLR_NONE, RGB(255, 255, 255),
                   ILD_TRANSPARENT | ILD_BLEND50);
  COLORREF blended = Px(dst, 0, 0);
  EXPECT_NEAR(GetRValue(blended), 128, 3);
  EXPECT_NEAR(GetBValue(blended), 255, 3);
  EXPECT_EQ(Px(dst, 3, 0), 0x00FFFFu);

  ASSERT_TRUE(ImageList_SetOverlayImage(&list, 1, 1));
  ClearTo(dst, clYellow);
  ImageList_DrawEx(&list, 0, dst.Canvas()->Handle(), 0, 0, 0, 0, CLR_NONE, CLR_DEFAULT,
                   ILD_TRANSPARENT | INDEXTOOVERLAYMASK(1));
  EXPECT_EQ(Px(dst, 3, 3), 0u);  // the overlay's pixel
  EXPECT_EQ(Px(dst, 0, 0), 0xFF0000u);

  ClearTo(dst, clYellow);
  ImageListDraw(&list, dst.Canvas(), 0, 0, 0, false);
  COLORREF grey = Px(dst, 0, 0);
  EXPECT_EQ(GetRValue(grey), GetGValue(grey));
  EXPECT_EQ(GetGValue(grey), GetBValue(grey));
}

TEST(GraphicsImageList, ChangeLinksAndOverlaysBelongToTheirList) {
  TBitmap pic(4, 4);
  ClearTo(pic, clBlue);
  int treeCalls = 0, headerCalls = 0;
  TImageList* seen = nullptr;
  auto list = std::make_unique<TImageList>(nullptr);
  list->SetWidth(4);
  list->SetHeight(4);
  {
    // Two watchers of one list are both told; a watcher that goes first
    // is no longer called.
    TChangeLink tree, header;
    tree.OnChange = [&](TObject* sender) { ++treeCalls; seen = static_cast<TImageList*>(sender); };
    header.OnChange = [&](TObject*) { ++headerCalls; };
    list->RegisterChanges(&tree);
    list->RegisterChanges(&header);
    list->RegisterChanges(&tree);  // twice is once
    list->Add(&pic, nullptr);
    EXPECT_EQ(treeCalls, 1);
    EXPECT_EQ(headerCalls, 1);
    EXPECT_EQ(seen, list.get());
    EXPECT_EQ(tree.Sender(), list.get());
  }
  list->Add(&pic, nullptr);  // the links are gone: no call into freed objects
  EXPECT_EQ(treeCalls, 1);

  TChangeLink orphan;
  list->RegisterChanges(&orphan);
  ASSERT_TRUE(ImageList_SetOverlayImage(list.get(), 1, 1));
  list.reset();
  EXPECT_EQ(orphan.Sender(), nullptr);  // the list went first

  // Overlays are the list's own: a new list never inherits them.
  TImageList fresh(nullptr);
  fresh.SetWidth(4);
  fresh.SetHeight(4);
  fresh.Add(&pic, nullptr);
  fresh.Add(&pic, nullptr);
  EXPECT_EQ(fresh.Overlay(1), -1);
  EXPECT_FALSE(ImageList_SetOverlayImage(&fresh, 2, 1));  // no picture 2
  EXPECT_FALSE(ImageList_SetOverlayImage(&fresh, 0, 16));  // overlays run 1..15
}

TEST(GraphicsGdiPlus, LoadsScalesAndReportsMissingFiles) {
  fs::path file = tempFile("dot.png");
  auto png = makePng(1, 1, {0, 128, 0, 255});
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), long(png.size()));
  GpImage* img = nullptr;
  String name = u16(file);
  ASSERT_EQ(GdipLoadImageFromFile(name.c_str(), &img), Ok);
  UINT w = 0;
  GdipGetImageWidth(img, &w);
  EXPECT_EQ(w, 1u);
  TBitmap dst(50, 50);
  ClearTo(dst);
  GpGraphics* g = nullptr;
  ASSERT_EQ(GdipCreateFromHDC(dst.Canvas()->Handle(), &g), Ok);
  GdipDrawImageRectI(g, img, 0, 0, 50, 50);
  GdipDeleteGraphics(g);
  GdipDisposeImage(img);
  EXPECT_EQ(Px(dst, 25, 25), RGB(0, 128, 0));
  EXPECT_EQ(Px(dst, 0, 0), RGB(0, 128, 0));

  String missing = name + u".none";
  EXPECT_EQ(GdipLoadImageFromFile(missing.c_str(), &img), FileNotFound);
  std::ofstream(file, std::ios::binary) << "not a picture";
  EXPECT_EQ(GdipLoadImageFromFile(name.c_str(), &img), UnknownImageFormat);
  fs::remove(file);
}

TEST(GraphicsPictures, PictureHoldsCopiesAndJpegImageKeepsItsBytes) {
  auto jpg = makeJpeg(16, 8);
  TMemoryStream ms;
  ms.WriteBuffer(jpg.data(), std::int64_t(jpg.size()));
  ms.SetPosition(0);
  TJPEGImage j;
  j.LoadFromStream(ms);
  EXPECT_EQ(j.Width(), 16);
  EXPECT_FALSE(j.Grayscale());
  TMemoryStream out;
  j.SaveToStream(out);
  EXPECT_EQ(out.Size(), std::int64_t(jpg.size()));

  TPicture pic;
  int changes = 0;
  pic.OnChange = [&](TObject*) { ++changes; };
  pic.SetGraphic(&j);
  ASSERT_NE(pic.Graphic(), nullptr);
  EXPECT_NE(pic.Graphic(), &j);  // a copy
  EXPECT_EQ(pic.Width(), 16);
  EXPECT_GE(changes, 1);
  // Asking for a bitmap replaces a picture of another kind.
  EXPECT_EQ(pic.Bitmap()->Width(), 0);

  auto png = makePng(3, 2, std::vector<std::uint8_t>(3 * 2 * 4, 255));
  TMemoryStream ps;
  ps.WriteBuffer(png.data(), std::int64_t(png.size()));
  ps.SetPosition(0);
  pic.LoadFromStream(ps);
  EXPECT_NE(dynamic_cast<TBitmap*>(pic.Graphic()), nullptr);
  EXPECT_EQ(pic.Height(), 2);

  TMemoryStream junk;
  junk.WriteBuffer("\x89PNG\r\n\x1a\nbroken", 14);
  junk.SetPosition(0);
  EXPECT_THROW(j.LoadFromStream(junk), EInvalidGraphic);
}

TEST(GraphicsPictures, GdiPlusReadsStreamsAndHandsOutBitmapObjects) {
  // 1 x 1, red at alpha 2: premultiplied storage would lose the colour.
  auto png = makePng(1, 1, {250, 0, 0, 2});
  TMemoryStream s;
  s.WriteBuffer("xx", 2);
  s.WriteBuffer(png.data(), std::int64_t(png.size()));
  s.SetPosition(2);
  GpImage* img = nullptr;
  ASSERT_EQ(GdipLoadImageFromStream(&s, &img), Ok);
  EXPECT_EQ(s.Position(), 2);  // the stream is left where it was
  ARGB c = 0;
  ASSERT_EQ(GdipBitmapGetPixel(img, 0, 0, &c), Ok);
  EXPECT_EQ(c, 0x02FA0000u);
  HBITMAP straight = nullptr;
  ASSERT_EQ(GdipCreateHBITMAPFromBitmap(img, &straight, 0), Ok);
  BITMAPINFO info;
  info.bmiHeader.biWidth = 1;
  info.bmiHeader.biHeight = 1;
  info.bmiHeader.biBitCount = 32;
  std::uint8_t bits[4] = {};
  ASSERT_EQ(GetDIBits(nullptr, straight, 0, 1, bits, &info, DIB_RGB_COLORS), 1);
  EXPECT_EQ(bits[2], 250);
  EXPECT_EQ(bits[3], 2);
  HBITMAP onWhite = nullptr;
  ASSERT_EQ(GdipCreateHBITMAPFromBitmap(img, &onWhite, 0xFFFFFFFF), Ok);
  ASSERT_EQ(GetDIBits(nullptr, onWhite, 0, 1, bits, &info, DIB_RGB_COLORS), 1);
  EXPECT_EQ(bits[3], 255);
  EXPECT_EQ(bits[1], 253);  // white barely tinted
  DeleteObject(straight);
  DeleteObject(onWhite);
  GdipDisposeImage(img);

  TMemoryStream junk;
  junk.WriteBuffer("not a picture", 13);
  junk.SetPosition(0);
  EXPECT_EQ(GdipCreateBitmapFromStream(&junk, &img), UnknownImageFormat);
  GpBitmap* fromGraphics = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromGraphics(4, 4, nullptr, &fromGraphics), InvalidParameter);
}
