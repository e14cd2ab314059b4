// GIF reading and compositing: the decoder's rules for sizes, LZW data,
// interlacing and damaged files, and the frames the animation shows.
#include <gtest/gtest.h>

#include "html/images/gif_decoder.h"
#include "html/images/gif_images.h"
#include "picture_test_util.h"
#include "platform/core/threads.h"

using namespace pictures;

namespace {

const std::vector<std::uint32_t> kColors = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

std::uint32_t pixelOf(TGIFImage& g, int frame, int x, int y) {
  return static_cast<const std::uint32_t*>(g.FrameBitmap(frame)->ScanLine(y))[x];
}
constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu, kBlack = 0xFF000000u;

std::unique_ptr<TGIFImage> load(const Bytes& b, bool* nonAnimated = nullptr) {
  auto s = streamOf(b);
  bool na = false;
  auto g = LoadGifFromStream(na, *s);
  if (nonAnimated) *nonAnimated = na;
  return g;
}

TGif decode(const Bytes& b) {
  TGif gif;
  gif.LoadFromBuffer(b.data(), b.size());
  return gif;
}

Bytes pattern(int w, int h, int colors) {
  Bytes px(size_t(w) * size_t(h));
  for (size_t i = 0; i < px.size(); ++i) px[i] = std::uint8_t((i * 7 + i / size_t(w)) % size_t(colors));
  return px;
}

}  // namespace

TEST(GifDecoder, DecodesLzwOfEveryCodeSizeAndLongStrings) {
  // Code sizes 2..8 with varied data, and long runs that fill the code
  // table several times (clear codes in the middle of the data).
  for (int minSize = 2; minSize <= 8; ++minSize) {
    const int colors = std::min(1 << minSize, 4);
    Bytes px = pattern(61, 37, colors);
    auto gif = decode(GifWriter(61, 37, kColors).image(0, 0, 61, 37, px, false, {}, minSize).finish());
    ASSERT_EQ(gif.ImageCount(), 1);
    EXPECT_EQ(gif.Image(0).Pixels, px) << "code size " << minSize;
  }
  Bytes runs(300 * 200);
  for (size_t i = 0; i < runs.size(); ++i) runs[i] = std::uint8_t((i / 997) % 4);
  auto gif = decode(GifWriter(300, 200, kColors).image(0, 0, 300, 200, runs).finish());
  EXPECT_EQ(gif.Image(0).Pixels, runs);
}

TEST(GifDecoder, CodeSizeOneDecodesAndOthersOutsideOneToEightFail) {
  // Code size 1: two colours, the table is full at once.
  Bytes px = pattern(9, 5, 2);
  auto gif = decode(GifWriter(9, 5, {0, 0xFFFFFF}).image(0, 0, 9, 5, px, false, {}, 1).finish());
  EXPECT_EQ(gif.Image(0).Pixels, px);
  for (int bad : {0, 9, 12}) {
    Bytes b = GifWriter(2, 2, kColors).rawImage(0, 0, 2, 2, bad, {0x00, 0x01}).finish();
    EXPECT_THROW(decode(b), EGifError) << bad;
    EXPECT_EQ(GifLastError(), geLzwCodeSize);
  }
}

TEST(GifDecoder, FirstCodeWithoutClearDecodesLikeOtherDecoders) {
  Bytes px = pattern(40, 10, 4);
  Bytes data = lzwEncode(px, 2, /*leadingClear=*/false);
  auto gif = decode(GifWriter(40, 10, kColors).rawImage(0, 0, 40, 10, 2, data).finish());
  EXPECT_EQ(gif.Image(0).Pixels, px);
}

TEST(GifDecoder, InterlacedImagesOfAnyHeightKeepTheirRows) {
  for (int h = 1; h <= 17; ++h) {
    Bytes px = pattern(5, h, 4);
    auto gif = decode(GifWriter(5, h, kColors).image(0, 0, 5, h, px, true, {}, 2).finish());
    EXPECT_EQ(gif.Image(0).Pixels, px) << "height " << h;
  }
}

TEST(GifDecoder, SignatureCaseTrailerAndUnknownExtensions) {
  Bytes px = pattern(3, 3, 4);
  // Lower-case signature and no trailer: both fine.
  auto g1 = load(GifWriter(3, 3, kColors, "gif89a").image(0, 0, 3, 3, px).finish(false));
  ASSERT_TRUE(g1);
  EXPECT_EQ(g1->FrameCount(), 1);
  EXPECT_FALSE(load(GifWriter(3, 3, kColors, "GIF90a").image(0, 0, 3, 3, px).finish()));
  EXPECT_EQ(GifLastError(), geSignature);

  // An unknown extension label before any image fails with its number.
  Bytes bad = GifWriter(3, 3, kColors).raw({0x21, 0x02, 0x00}).image(0, 0, 3, 3, px).finish();
  EXPECT_FALSE(load(bad));
  EXPECT_EQ(GifLastError(), geSpecial);
  EXPECT_EQ(GifLastErrorMessage(), u"TGif: unknown extension: 0002");
  // After a complete image it only ends the file there.
  Bytes after = GifWriter(3, 3, kColors).image(0, 0, 3, 3, px).raw({0x21, 0x02, 0x00}).image(0, 0, 3, 3, px).finish();
  auto g2 = load(after);
  ASSERT_TRUE(g2);
  EXPECT_EQ(g2->FrameCount(), 1);
  // Comments and application blocks are read past.
  auto g3 = load(GifWriter(3, 3, kColors).comment(std::string(600, 'c')).image(0, 0, 3, 3, px).finish());
  ASSERT_TRUE(g3);
  // No colour table at all, and no image at all.
  EXPECT_FALSE(load(GifWriter(3, 3).image(0, 0, 3, 3, px).finish()));
  EXPECT_FALSE(load(GifWriter(3, 3, kColors).finish()));
  EXPECT_EQ(GifLastError(), geNoImage);
}

TEST(GifDecoder, DamagedFilesNeverCrashAndKeepOnlyCompleteFrames) {
  Bytes px = pattern(20, 10, 4);
  Bytes two = GifWriter(20, 10, kColors).control(0, 5).image(0, 0, 20, 10, px).control(0, 5).image(0, 0, 20, 10, px).finish();
  const size_t firstEnd = GifWriter(20, 10, kColors).control(0, 5).image(0, 0, 20, 10, px).out.size();
  for (size_t n = 0; n < two.size(); ++n) {
    Bytes cut(two.begin(), two.begin() + long(n));
    bool still = false;
    auto g = load(cut, &still);
    if (n < firstEnd) {
      EXPECT_FALSE(g) << "cut at " << n;  // the only image is incomplete
    } else if (n < two.size() - 1) {
      ASSERT_TRUE(g) << "cut at " << n;
      EXPECT_EQ(g->FrameCount(), 1) << "cut at " << n;  // the second one is dropped
      EXPECT_TRUE(still);
    }
  }
  // A code past the next free one in the second frame ends the file there.
  Bytes bad = GifWriter(20, 10, kColors).image(0, 0, 20, 10, px).rawImage(0, 0, 20, 10, 2, {0x04, 0xFF, 0xFF}).finish();
  auto g = load(bad);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->FrameCount(), 1);
  // Data that ends early leaves the rest of the frame transparent.
  Bytes shortData = lzwEncode(Bytes(10, 1), 2);
  auto g2 = load(GifWriter(20, 10, kColors).control(0, 0, 3).rawImage(0, 0, 20, 10, 2, shortData).finish());
  ASSERT_TRUE(g2);
  EXPECT_EQ(pixelOf(*g2, 1, 0, 0), kRed);
  EXPECT_EQ(pixelOf(*g2, 1, 5, 5) >> 24, 0u);
}

TEST(GifDecoder, SizesAreCappedBeforeAllocatingAndNeverWrap) {
  // A huge logical screen or image is refused without allocating it.
  EXPECT_FALSE(load(GifWriter(65535, 65535, kColors).image(0, 0, 1, 1, {1}).finish()));
  EXPECT_EQ(GifLastError(), geTooLarge);
  EXPECT_FALSE(load(GifWriter(10, 10, kColors).rawImage(0, 0, 65535, 65535, 2, {0x04}).finish()));
  EXPECT_EQ(GifLastError(), geTooLarge);
  // Many frames of a moderate screen exceed the strip limit together.
  GifWriter many(3000, 3000, kColors);
  for (int i = 0; i < 8; ++i) many.image(0, 0, 1, 1, {1});
  EXPECT_FALSE(load(many.finish()));
  // Zero-sized images and screens fail cleanly.
  EXPECT_FALSE(load(GifWriter(10, 10, kColors).rawImage(0, 0, 0, 5, 2, {0x04}).finish()));
  EXPECT_EQ(GifLastError(), geZeroSize);
  EXPECT_FALSE(load(GifWriter(0, 0, kColors).image(0, 0, 2, 2, {1, 1, 1, 1}).finish()));

  // Positions near 65535 do not wrap around into the screen.
  Bytes far = GifWriter(4, 4, kColors).control(2, 0, 0).image(65530, 65530, 10, 10, Bytes(100, 1)).image(0, 0, 1, 1, {2}).finish();
  auto g = load(far);
  ASSERT_TRUE(g);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pixelOf(*g, 1, x, y), 0u);
}

TEST(GifDecoder, FramesBeyondTheScreenAreClipped) {
  // A frame taller than the screen is de-interlaced at its own height,
  // then cut; one reaching past the right edge is cut too.
  Bytes px = pattern(6, 12, 4);
  auto g = load(GifWriter(4, 5, kColors).image(0, 0, 6, 12, px, true).finish());
  ASSERT_TRUE(g);
  const std::uint32_t argb[4] = {kBlack, kRed, kGreen, kBlue};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pixelOf(*g, 1, x, y), argb[px[size_t(y * 6 + x)]]) << x << "," << y;
  auto g2 = load(GifWriter(4, 2, kColors).image(2, 0, 5, 2, Bytes(10, 3)).finish());
  ASSERT_TRUE(g2);
  EXPECT_EQ(pixelOf(*g2, 1, 1, 0), kBlack);
  EXPECT_EQ(pixelOf(*g2, 1, 3, 1), kBlue);
}

TEST(GifImages, CompositesTransparencyAndDisposal) {
  // Frame 1: red with a transparent hole at (0,0). Frame 2 (disposal 1 of
  // frame 1): a green pixel at (1,1), transparent elsewhere - the red
  // shows through. Frame 3 after frame 2's disposal 2: frame 2's rectangle
  // becomes a hole.
  Bytes f1 = {0, 1, 1, 1, 1, 1, 1, 1, 1};
  Bytes f2 = {0, 0, 0, 0, 2, 0, 0, 0, 0};
  Bytes b = GifWriter(3, 3, kColors)
                .loop(2)
                .control(1, 2, 0)
                .image(0, 0, 3, 3, f1)
                .control(2, 10, 0)
                .image(0, 0, 3, 3, f2)
                .control(0, 0, 0)
                .image(2, 2, 1, 1, {3})
                .finish();
  bool still = true;
  auto g = load(b, &still);
  ASSERT_TRUE(g);
  EXPECT_FALSE(still);
  EXPECT_TRUE(g->Animated());
  EXPECT_TRUE(g->HasTransparency());
  ASSERT_EQ(g->FrameCount(), 3);
  EXPECT_EQ(g->PlayCount(), 3);  // loop count 2 plays three times
  EXPECT_EQ(g->Frames().Items(1).Delay, 30);  // 2 hundredths: the 30 ms floor
  EXPECT_EQ(g->Frames().Items(2).Delay, 100);
  EXPECT_EQ(g->Frames().Items(3).Delay, 30);  // 0 counts as 1
  EXPECT_EQ(pixelOf(*g, 1, 0, 0) >> 24, 0u);
  EXPECT_EQ(pixelOf(*g, 1, 1, 0), kRed);
  EXPECT_EQ(pixelOf(*g, 2, 1, 0), kRed);  // kept from frame 1
  EXPECT_EQ(pixelOf(*g, 2, 1, 1), kGreen);
  EXPECT_EQ(pixelOf(*g, 3, 1, 1) >> 24, 0u);  // frame 2's area cleared
  EXPECT_EQ(pixelOf(*g, 3, 2, 2), kBlue);

  // The first frame as a bitmap and mask, for still pictures.
  TBitmap* first = g->FirstFrameBitmap();
  TBitmap* mask = g->FirstFrameMask();
  ASSERT_TRUE(first && mask);
  EXPECT_EQ(static_cast<const std::uint32_t*>(first->ScanLine(0))[0] & 0xFFFFFF, 0u);
  EXPECT_EQ(static_cast<const std::uint32_t*>(mask->ScanLine(0))[0] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(static_cast<const std::uint32_t*>(mask->ScanLine(0))[1] & 0xFFFFFF, 0u);
}

TEST(GifImages, AnimationStepsWithDelaysAndStopsAfterItsPlays) {
  Bytes b = GifWriter(2, 2, kColors).control(0, 10).image(0, 0, 2, 2, Bytes(4, 1)).control(0, 20).image(0, 0, 2, 2, Bytes(4, 2)).finish();
  auto g = load(b);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->PlayCount(), 1);  // no loop block: one play
  auto* img = g.get();
  // The step clock starts somewhere between the two readings; on a busy
  // machine they may lie far apart, and the start is taken again.
  std::uint32_t before = 0, now = 0;
  for (int i = 0; i < 1000 && (i == 0 || now - before > 50); ++i) {
    img->SetRunning(false);
    before = timeGetTime();
    img->SetRunning(true);
    now = timeGetTime();
  }
  ASSERT_LE(now - before, 50u);
  img->StepAnimationAt(nullptr, before + 50);
  EXPECT_EQ(img->FrameIndex(), 1);  // 100 ms not yet over
  img->StepAnimationAt(nullptr, now + 100);
  EXPECT_EQ(img->FrameIndex(), 2);
  EXPECT_EQ(img->CurrentInterval(), 200);
  img->StepAnimationAt(nullptr, now + 299);
  EXPECT_EQ(img->FrameIndex(), 2);
  img->StepAnimationAt(nullptr, now + 300);  // end of the only play
  EXPECT_FALSE(img->Running());
  EXPECT_EQ(img->FrameIndex(), 2);

  // Loop count 0: forever.
  auto forever = load(GifWriter(2, 2, kColors).loop(0).image(0, 0, 2, 2, Bytes(4, 1)).image(0, 0, 2, 2, Bytes(4, 2)).finish());
  ASSERT_TRUE(forever);
  EXPECT_EQ(forever->PlayCount(), 0);
  forever->SetRunning(true);
  now = timeGetTime();
  for (int i = 1; i <= 20; ++i) forever->StepAnimationAt(nullptr, now + std::uint32_t(i) * 30);
  EXPECT_TRUE(forever->Running());
  EXPECT_EQ(forever->FrameIndex(), 1);
  EXPECT_EQ(forever->PlayIndex(), 11);

  forever->SetFrameIndex(5);
  EXPECT_EQ(forever->FrameIndex(), 1);
  forever->SetFrameIndex(0);
  EXPECT_EQ(forever->FrameIndex(), 2);
}

TEST(GifImages, CopiesShareFramesAndOutliveTheOriginal) {
  auto g = load(GifWriter(2, 1, kColors).image(0, 0, 2, 1, {1, 2}).image(0, 0, 2, 1, {3, 3}).finish());
  ASSERT_TRUE(g);
  g->SetFrameIndex(2);
  auto copy = TGIFImage::CreateCopy(*g);
  EXPECT_EQ(copy->FrameIndex(), 1);
  EXPECT_EQ(copy->FrameBitmap(1), g->FrameBitmap(1));
  g.reset();
  TBitmap target(2, 1);
  copy->Draw(*target.Canvas(), 0, 0, 2, 1);
  EXPECT_EQ(COLORREF(target.Canvas()->Pixels(0, 0)) & 0xFFFFFF, 0x0000FFu);  // red, as a colour reference
  EXPECT_EQ(COLORREF(target.Canvas()->Pixels(1, 0)) & 0xFFFFFF, 0x00FF00u);
}
