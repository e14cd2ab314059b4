// The image loader and cache: recognition on short streams, straight colour
// values of translucent pictures, damaged and misnamed files, streams that
// stay the caller's, and the cache's use counts and ages.
#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <fstream>

#include "html/images/gdiplus_images.h"
#include "html/images/gif_decoder.h"
#include "html/images/gif_images.h"
#include "html/images/image_cache.h"
#include "picture_test_util.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"

using namespace pictures;

namespace {

struct Loaded {
  std::unique_ptr<TgpObject> image;
  std::unique_ptr<TBitmap> mask;
  std::uint8_t transparent = 0;
};

Loaded loadBytes(const Bytes& b, std::uint8_t transparent = 0) {
  Loaded r;
  r.transparent = transparent;
  auto s = streamOf(b);
  r.image = LoadImageFromStream(s.get(), r.transparent, r.mask);
  return r;
}

// Temporary PNG files of this process (others may be loading pictures too).
int tempPngFiles() {
  int n = 0;
  const std::string dir = UTF16ToUTF8(GetTempDirectory());
  const std::string prefix = "png" + std::to_string(getpid()) + "-";
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name).rfind(prefix, 0) == 0) ++n;
    closedir(d);
  }
  return n;
}

// A gradient of translucent pixels: low alpha with bright colours is where
// premultiplied storage loses the most.
Bytes translucentRgba(int w, int h) {
  Bytes px;
  for (int i = 0; i < w * h; ++i) {
    px.push_back(std::uint8_t(200 + i % 50));
    px.push_back(std::uint8_t(17 * i));
    px.push_back(std::uint8_t(255 - i));
    px.push_back(std::uint8_t(1 + i % 5));
  }
  return px;
}

class ImageLoader : public ::testing::Test {
protected:
  void SetUp() override { GdiPlusStart(); }
  void TearDown() override { GdiPlusStop(); }
};

}  // namespace

TEST_F(ImageLoader, RecognisesKindsOnShortStreamsAndRestoresThePosition) {
  EXPECT_EQ(KindOfImage(nullptr), itNone);
  EXPECT_EQ(KindOfImage(streamOf({}).get()), itNone);
  EXPECT_EQ(KindOfImage(streamOf({'B'}).get()), itNone);
  EXPECT_EQ(KindOfImage(streamOf({'B', 'M'}).get()), itBMP);
  EXPECT_EQ(KindOfImage(streamOf({0xFF, 0xD8}).get()), itJPG);
  EXPECT_EQ(KindOfImage(streamOf({'G', 'I', 'F'}).get()), itNone);
  EXPECT_EQ(KindOfImage(streamOf({'G', 'I', 'F', '8'}).get()), itGIF);
  EXPECT_EQ(KindOfImage(streamOf({0x89, 'P', 'N', 'G'}).get()), itPNG);
  auto s = streamOf({0x89, 'P', 'N', 'G', 1, 2, 3});
  s->SetPosition(5);
  EXPECT_EQ(KindOfImage(s.get()), itPNG);
  EXPECT_EQ(s->Position(), 5);
}

TEST_F(ImageLoader, TranslucentPngAndBmpKeepTheFilesColourValues) {
  const int w = 7, h = 3;
  const Bytes px = translucentRgba(w, h);
  // PNG through GDI+: every pixel reads back exactly as written.
  Loaded png = loadBytes(pngBytes(w, h, px));
  auto* gp = dynamic_cast<TGpImage*>(png.image.get());
  ASSERT_TRUE(gp);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ARGB c = 0;
      ASSERT_EQ(GdipBitmapGetPixel(gp->Handle(), x, y, &c), Ok);
      const std::uint8_t* p = px.data() + size_t(y * w + x) * 4;
      EXPECT_EQ(c, std::uint32_t(p[3]) << 24 | std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2])
          << x << "," << y;
    }
  // 32-bit BMP through the platform's reader, and saved back unchanged.
  const Bytes bmp = bmp32Bytes(w, h, px);
  Loaded b = loadBytes(bmp);
  auto* bitmap = dynamic_cast<TBitmap*>(b.image.get());
  ASSERT_TRUE(bitmap);
  for (int y = 0; y < h; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* p = px.data() + size_t(y * w + x) * 4;
      EXPECT_EQ(row[4 * x + 2], p[0]);
      EXPECT_EQ(row[4 * x + 1], p[1]);
      EXPECT_EQ(row[4 * x + 0], p[2]);
      EXPECT_EQ(row[4 * x + 3], p[3]);
    }
  }
  TMemoryStream saved;
  bitmap->SaveToStream(saved);
  ASSERT_EQ(saved.Size(), std::int64_t(bmp.size()));
  const auto* out = static_cast<const std::uint8_t*>(saved.Memory());
  EXPECT_TRUE(std::equal(bmp.begin() + 54, bmp.end(), out + 54));
}

TEST_F(ImageLoader, PngWithoutEndChunkShowsButCutRowsDoNot) {
  const Bytes px = translucentRgba(4, 4);
  Loaded noEnd = loadBytes(pngBytes(4, 4, px, /*withEnd=*/false));
  ASSERT_TRUE(noEnd.image);
  EXPECT_EQ(GetImageWidth(noEnd.image.get()), 4);
  TBitmap direct;
  const Bytes cutEnd = [&] {
    Bytes b = pngBytes(4, 4, px);
    b.resize(b.size() - 6);  // inside the end chunk
    return b;
  }();
  EXPECT_NO_THROW(DecodePicture(cutEnd.data(), cutEnd.size(), direct));
  EXPECT_EQ(direct.Width(), 4);

  // Rows cut short: nothing, and no temporary file left behind.
  Bytes noisy;
  for (int i = 0; i < 64 * 64 * 4; ++i) noisy.push_back(std::uint8_t(i * 2654435761u >> 13));
  Bytes big = pngBytes(64, 64, noisy);
  const int before = tempPngFiles();
  Bytes cut(big.begin(), big.begin() + long(big.size() / 2));
  Loaded broken = loadBytes(cut);
  EXPECT_FALSE(broken.image);
  EXPECT_FALSE(broken.mask);
  EXPECT_EQ(tempPngFiles(), before);
  // A loaded PNG's temporary file goes with the picture.
  {
    Loaded ok = loadBytes(big);
    ASSERT_TRUE(ok.image);
    EXPECT_EQ(tempPngFiles(), before + 1);
  }
  EXPECT_EQ(tempPngFiles(), before);
}

TEST_F(ImageLoader, EmptyShortTruncatedAndMisnamedData) {
  EXPECT_FALSE(loadBytes({}).image);
  std::uint8_t tr = 0;
  std::unique_ptr<TBitmap> m;
  EXPECT_FALSE(LoadImageFromStream(nullptr, tr, m));
  // Fewer than 20 bytes of anything but a GIF: nothing is tried.
  EXPECT_FALSE(loadBytes({'B', 'M', 1, 2, 3}).image);
  // A short GIF still reaches the GIF reader (and fails there).
  Bytes gif19 = GifWriter(1, 1, {0, 0xFFFFFF}).finish();
  gif19.resize(19);
  EXPECT_FALSE(loadBytes(gif19).image);
  EXPECT_EQ(GifLastError(), geNoImage);  // the header is whole; no image follows
  // Every prefix of a BMP and a PNG gives a picture or nothing, never a crash.
  const Bytes bmp = bmp32Bytes(5, 5, translucentRgba(5, 5));
  for (size_t n = 0; n < bmp.size(); n += 7) loadBytes(Bytes(bmp.begin(), bmp.begin() + long(n)));
  const Bytes png = pngBytes(5, 5, translucentRgba(5, 5));
  for (size_t n = 0; n < png.size(); n += 5) loadBytes(Bytes(png.begin(), png.begin() + long(n)));
  // A file named .gif holding a PNG is read by its content.
  const std::string name = UTF16ToUTF8(GetTempDirectory()) + "tamrix-misnamed-" + std::to_string(getpid()) + ".gif";
  {
    std::ofstream f(name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  }
  std::uint8_t t2 = 0;
  std::unique_ptr<TBitmap> m2;
  auto fromFile = LoadImageFromFile(UTF8ToUTF16(name), t2, m2);
  EXPECT_TRUE(dynamic_cast<TGpImage*>(fromFile.get()));
  std::remove(name.c_str());
  EXPECT_FALSE(LoadImageFromFile(UTF8ToUTF16(name), t2, m2));
}

TEST_F(ImageLoader, TheStreamStaysTheCallersAndMasksFollowTheKind) {
  // A still transparent GIF becomes a bitmap with its own mask (kind 2).
  Bytes gif = GifWriter(2, 1, {0xFF0000, 0x00FF00}).control(0, 0, 0).image(0, 0, 2, 1, {0, 1}).finish();
  auto stream = streamOf(gif);
  std::uint8_t tr = 0;
  std::unique_ptr<TBitmap> mask;
  auto img = LoadImageFromStream(stream.get(), tr, mask);
  ASSERT_TRUE(dynamic_cast<TBitmap*>(img.get()));
  ASSERT_TRUE(mask);
  EXPECT_EQ(tr, TranspOwnMask);
  EXPECT_EQ(static_cast<const std::uint32_t*>(mask->ScanLine(0))[0] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(static_cast<const std::uint32_t*>(mask->ScanLine(0))[1] & 0xFFFFFF, 0u);
  // The stream is still ours and whole.
  EXPECT_EQ(stream->Size(), std::int64_t(gif.size()));
  stream->SetPosition(0);
  std::uint8_t first = 0;
  EXPECT_EQ(stream->Read(&first, 1), 1);
  EXPECT_EQ(first, 'G');

  // An animated GIF stays a TGIFImage.
  Loaded anim = loadBytes(GifWriter(1, 1, {0, 0xFFFFFF}).image(0, 0, 1, 1, {0}).image(0, 0, 1, 1, {1}).finish());
  EXPECT_TRUE(dynamic_cast<TGIFImage*>(anim.image.get()));
  // Kind 1 on a BMP makes a mask of the bottom-left pixel's colour.
  Bytes px = {10, 20, 30, 255, 40, 50, 60, 255, 10, 20, 30, 255, 70, 80, 90, 255};
  Loaded corner = loadBytes(bmp32Bytes(2, 2, px), TranspLowerLeft);
  ASSERT_TRUE(corner.mask);
  EXPECT_EQ(static_cast<const std::uint32_t*>(corner.mask->ScanLine(0))[0] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(static_cast<const std::uint32_t*>(corner.mask->ScanLine(0))[1] & 0xFFFFFF, 0u);
  EXPECT_EQ(static_cast<const std::uint32_t*>(corner.mask->ScanLine(1))[1] & 0xFFFFFF, 0u);
}

TEST(ImageCache, UseCountsAndAgesDecideWhatIsFreed) {
  TStringBitmapList cache;
  EXPECT_EQ(cache.MaxCache(), 4);
  auto item = [] { return std::make_unique<TBitmapItem>(std::make_unique<TBitmap>(1, 1), nullptr, 0); };
  cache.AddObject(u"A", item());
  cache.AddObject(u"B", item());
  EXPECT_EQ(cache.Item(0)->UsageCount, 1);
  cache.DecUsage(u"A");  // A has no user now; B keeps one
  for (int i = 0; i < 4; ++i) cache.BumpAndCheck();
  EXPECT_EQ(cache.Count(), 2);
  cache.BumpAndCheck();  // the fifth call frees A
  ASSERT_EQ(cache.Count(), 1);
  EXPECT_EQ(cache.Strings(0), u"B");
  // Handing an entry out restarts its age.
  cache.DecUsage(u"B");
  cache.GetImage(0);
  cache.DecUsage(u"B");
  cache.SetCacheCount(0);  // not bumped since it was handed out: kept
  EXPECT_EQ(cache.Count(), 1);
  cache.BumpAndCheck();
  EXPECT_EQ(cache.Count(), 0);
  cache.DecUsage(u"NOTHING");
  EXPECT_GE(GdiPlusStartCount(), 1);
}
