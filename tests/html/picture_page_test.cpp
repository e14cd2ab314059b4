// Every kind of picture a page can hold, fetched through the document's
// image requests and drawn by image objects onto one canvas; the result is
// kept as build/test-output/pictures.png for a look by eye.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "html/model/document.h"
#include "html/images/gif_images.h"
#include "html/images/image_cache.h"
#include "html/images/image_object.h"
#include "picture_test_util.h"

using namespace pictures;
namespace fs = std::filesystem;

namespace {

Bytes solidRgba(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
  Bytes px;
  for (int i = 0; i < w * h; ++i) px.insert(px.end(), {r, g, b, a});
  return px;
}

Bytes solidRgb(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  Bytes px;
  for (int i = 0; i < w * h; ++i) px.insert(px.end(), {r, g, b});
  return px;
}

std::unique_ptr<TAttributeList> imgTag(const char16_t* src, const char16_t* border = nullptr) {
  auto L = std::make_unique<TAttributeList>();
  L->Add(std::make_unique<TAttribute>(symSrc, 0, String(), src, 0));
  if (border) L->Add(std::make_unique<TAttribute>(symBorder, 2, String(), border, 0));
  return L;
}

void savePng(TBitmap& b, const fs::path& file) {
  Bytes rgba;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const COLORREF c = COLORREF(b.Canvas()->Pixels(x, y));
      rgba.insert(rgba.end(), {std::uint8_t(GetRValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetBValue(c)), 255});
    }
  const Bytes png = pngBytes(b.Width(), b.Height(), rgba);
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
}

}  // namespace

TEST(PicturePage, EveryKindOfPictureShowsOnThePage) {
  // One file per kind, 20 x 20, each its own colour; the GIFs have a
  // transparent right half and the PNG is half transparent.
  Bytes half(400);
  for (int i = 0; i < 400; ++i) half[size_t(i)] = (i % 20) < 10 ? 0 : 1;
  std::map<String, Bytes> files = {
      {u"still.gif", GifWriter(20, 20, {0xFF0000, 0x000000}).control(0, 0, 1).image(0, 0, 20, 20, half).finish()},
      {u"anim.gif", GifWriter(20, 20, {0x00FF00, 0x0000FF}).loop(0).image(0, 0, 20, 20, Bytes(400, 0)).image(0, 0, 20, 20, Bytes(400, 1)).finish()},
      {u"half.png", pngBytes(20, 20, solidRgba(20, 20, 0, 0, 0, 128))},
      {u"photo.jpg", jpegBytes(20, 20, solidRgb(20, 20, 255, 255, 0))},
      {u"alpha.bmp", bmp32Bytes(20, 20, solidRgba(20, 20, 255, 0, 255, 255))},
      {u"broken.png", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
  };
  std::vector<std::unique_ptr<TMemoryStream>> streams;
  ThtDocument doc(nullptr, nullptr);
  TStringBitmapList cache;
  doc.ImageCache = &cache;
  doc.OnImageRequest = [&](TObject*, const String& src, TStream*& s) {
    auto it = files.find(src);
    if (it == files.end()) return;
    streams.push_back(streamOf(it->second));
    s = streams.back().get();
  };
  const char16_t* names[] = {u"still.gif", u"anim.gif", u"half.png", u"photo.jpg", u"alpha.bmp", u"broken.png"};
  std::vector<std::unique_ptr<TImageObj>> images;
  for (const char16_t* n : names) images.push_back(std::make_unique<TImageObj>(&doc, 0, imgTag(n).get()));

  TBitmap page(6 * 40, 40);
  page.Canvas()->Brush()->SetColor(clWhite);
  page.Canvas()->FillRect(Rect(0, 0, page.Width(), page.Height()));
  for (size_t i = 0; i < images.size(); ++i) {
    images[i]->DrawLogic(&doc, page.Canvas(), nullptr, 400, 400);
    images[i]->Draw(page.Canvas(), int(i) * 40 + 5, 5, 5 + images[i]->ObjHeight, nullptr);
  }
  auto px = [&](int i, int x, int y) { return COLORREF(page.Canvas()->Pixels(i * 40 + 5 + x, 5 + y)) & 0xFFFFFF; };
  EXPECT_EQ(px(0, 2, 2), COLORREF(RGB(255, 0, 0)));
  EXPECT_EQ(px(0, 15, 2), COLORREF(RGB(255, 255, 255)));  // the GIF's hole shows the page
  EXPECT_EQ(px(1, 2, 2), COLORREF(RGB(0, 255, 0)));       // first frame of the animation
  ASSERT_TRUE(dynamic_cast<TGIFImage*>(images[1]->Image));
  EXPECT_EQ(doc.AnimatedImages.size(), 1u);
  const COLORREF grey = px(2, 10, 10);
  EXPECT_NEAR(GetRValue(grey), 127, 2);  // black at half opacity over white
  const COLORREF yellow = px(3, 10, 10);
  EXPECT_GE(GetRValue(yellow), 250);
  EXPECT_LE(GetBValue(yellow), 8);
  EXPECT_EQ(px(4, 10, 10), COLORREF(RGB(255, 0, 255)));
  EXPECT_TRUE(images[5]->IsPlaceholder());  // the broken file shows the error picture

  // The animation's second frame, drawn where the first was.
  dynamic_cast<TGIFImage*>(images[1]->Image)->SetFrameIndex(2);
  images[1]->Draw(page.Canvas(), 45, 5, 25, nullptr);
  EXPECT_EQ(px(1, 2, 2), COLORREF(RGB(0, 0, 255)));

  const fs::path out = fs::canonical("/proc/self/exe").parent_path().parent_path() / "test-output" / "pictures.png";
  savePng(page, out);
  EXPECT_TRUE(fs::exists(out));
}
