// Image objects: what the IMG attributes make of the box, sizing against
// the picture, placeholders, waiting and error pictures, the cache's use
// counts, animated copies, hit tests and drawing with a mask.
#include <gtest/gtest.h>

#include "html/model/document.h"
#include "html/images/gif_images.h"
#include "html/images/image_animation.h"
#include "html/images/image_cache.h"
#include "html/images/image_object.h"
#include "html/model/viewer_base.h"
#include "picture_test_util.h"
#include "platform/core/threads.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/extctrls.h"

using namespace pictures;

namespace {

std::unique_ptr<TAttributeList> attrs(std::initializer_list<std::pair<THtmlSymbol, const char16_t*>> list) {
  auto L = std::make_unique<TAttributeList>();
  for (const auto& [sym, text] : list) {
    String t = text;
    double v = 0;
    try {
      v = std::stod(std::string(t.begin(), t.end()));
    } catch (...) {
    }
    L->Add(std::make_unique<TAttribute>(sym, v, String(), t, 0));
  }
  return L;
}

class ImageObjects : public ::testing::Test {
protected:
  ThtDocument doc{nullptr, nullptr};
  TStringBitmapList cache;
  TBitmap canvasBitmap{1, 1};

  void SetUp() override { doc.ImageCache = &cache; }
  void TearDown() override { doc.Clear(); }

  // A 200 x 100 picture in the cache under the name the document uses.
  void cachePicture(const String& key, int w = 200, int h = 100) {
    auto b = std::make_unique<TBitmap>(w, h);
    cache.AddObject(key, std::make_unique<TBitmapItem>(std::move(b), nullptr, 0));
    cache.DecUsage(key);  // entered by the test, not held by anyone
  }
  TImageObj& image(std::initializer_list<std::pair<THtmlSymbol, const char16_t*>> list) {
    objs.push_back(std::make_unique<TImageObj>(&doc, 0, attrs(list).get()));
    return *objs.back();
  }
  void layout(TImageObj& img, int avail = 400) { img.DrawLogic(&doc, canvasBitmap.Canvas(), nullptr, avail, 300); }
  std::vector<std::unique_ptr<TImageObj>> objs;
};

}  // namespace

TEST_F(ImageObjects, AttributesDecideAlignmentSpacingAndBorder) {
  TImageObj& left = image({{symAlign, u"left"}});
  EXPECT_EQ(left.Floating, ALeft);
  EXPECT_EQ(left.VertAlign, ANone);
  EXPECT_EQ(left.HSpaceL, 3);
  EXPECT_EQ(left.HSpaceR, 3);
  TImageObj& spaced = image({{symHSpace, u"-60"}, {symVSpace, u"7"}, {symAlign, u"absmiddle"}});
  EXPECT_EQ(spaced.HSpaceL, 40);
  EXPECT_EQ(spaced.VSpaceB, 7);
  EXPECT_EQ(spaced.VertAlign, AMiddle);
  TImageObj& border = image({{symBorder, u"12"}, {symUseMap, u"#Map1"}, {symAlt, u"alt"}, {symTitle, u"hint"}});
  EXPECT_EQ(border.BorderWidth, 10);
  EXPECT_FALSE(border.NoBorder);
  EXPECT_TRUE(border.UseMap);
  EXPECT_EQ(border.MapName, u"MAP1");
  EXPECT_EQ(border.Alt, u"alt");
  EXPECT_EQ(border.Title, u"hint");
  TImageObj& none = image({{symBorder, u"0"}, {symWidth, u"150%"}, {symHeight, u"40%"}});
  EXPECT_TRUE(none.NoBorder);
  EXPECT_EQ(none.SpecWidth, -1);  // 150% is not taken
  EXPECT_TRUE(none.PercentHeight);
  EXPECT_EQ(none.SpecHeight, 40);
}

TEST_F(ImageObjects, BoxFollowsThePictureAndTheGivenSizes) {
  cachePicture(u"PIC.PNG");
  TImageObj& natural = image({{symSrc, u" pic.png "}});
  layout(natural);
  EXPECT_EQ(natural.ObjWidth, 200);
  EXPECT_EQ(natural.ObjHeight, 100);
  TImageObj& narrow = image({{symSrc, u"pic.png"}, {symWidth, u"50"}});
  layout(narrow);
  EXPECT_EQ(narrow.ObjWidth, 50);
  EXPECT_EQ(narrow.ObjHeight, 25);
  TImageObj& percent = image({{symSrc, u"pic.png"}, {symWidth, u"50%"}, {symBorder, u"2"}});
  layout(percent, 400);
  EXPECT_EQ(percent.PicWidth, 198);
  EXPECT_EQ(percent.PicHeight, 99);
  EXPECT_EQ(percent.ObjWidth, 202);
  EXPECT_EQ(percent.ObjHeight, 103);
  TImageObj& wide = image({{symSrc, u"pic.png"}, {symWidth, u"150%"}});
  layout(wide);
  EXPECT_EQ(wide.ObjWidth, 200);
  // Every image holds the cached picture once; freeing them releases it.
  EXPECT_EQ(cache.Item(0)->UsageCount, 4);
  objs.clear();
  EXPECT_EQ(cache.Item(0)->UsageCount, 0);
}

TEST_F(ImageObjects, PlaceholdersForMissingAwaitedAndSwitchedOffPictures) {
  // No such file: the error picture with its mask.
  TImageObj& missing = image({{symSrc, u"/nonexistent/x.png"}});
  layout(missing);
  EXPECT_EQ(missing.Image, ErrorBitmap());
  EXPECT_EQ(missing.Mask, ErrorBitmapMask());
  EXPECT_TRUE(missing.IsPlaceholder());
  EXPECT_EQ(missing.ObjWidth, 24);
  EXPECT_EQ(missing.ObjHeight, 24);
  TImageObj& empty = image({});
  layout(empty);
  EXPECT_EQ(empty.Image, ErrorBitmap());

  // Bytes still on their way: the waiting picture, and the name waits.
  doc.OnImageRequest = [](TObject*, const String&, TStream*& s) { s = WaitStream(); };
  TImageObj& later = image({{symSrc, u"later.gif"}});
  layout(later);
  EXPECT_EQ(later.Image, DefBitmap());
  ASSERT_EQ(doc.WaitingImages.size(), 1u);
  EXPECT_EQ(doc.WaitingImages[0].Name, u"LATER.GIF");
  TImageObj& second = image({{symSrc, u"later.gif"}});
  layout(second);  // already waited for: not asked again
  EXPECT_TRUE(second.Delayed);
  EXPECT_EQ(doc.WaitingImages.size(), 2u);

  // Images off: the alternative text decides the box.
  doc.ImagesOn = false;
  TImageObj& alt = image({{symAlt, u"Some words"}});
  layout(alt);
  EXPECT_GT(alt.ObjWidth, 26 + 20);
  EXPECT_GE(alt.ObjHeight, 24);
  TImageObj& bare = image({});
  layout(bare);
  EXPECT_EQ(bare.ObjWidth, 24);
  EXPECT_EQ(bare.ObjHeight, 24);
}

TEST_F(ImageObjects, ImageRequestStreamsAreReadNeverFreed) {
  const Bytes gif = GifWriter(3, 2, {0xFF0000, 0x00FF00}).image(0, 0, 3, 2, {0, 1, 0, 1, 0, 1}).finish();
  TMemoryStream appStream;  // the application's, on the stack: freeing it would crash
  appStream.WriteBuffer(gif.data(), std::int64_t(gif.size()));
  TMemoryStream broken;
  broken.WriteBuffer("GIF89a garbage that is no picture", 33);
  int requested = 0;
  doc.OnImageRequest = [&](TObject*, const String& src, TStream*& s) { s = src == u"good" ? &appStream : &broken; };
  doc.OnImageRequested = [&](TObject*, const String&, TStream* s) { requested += s == &appStream || s == &broken; };
  TImageObj& good = image({{symSrc, u"good"}});
  layout(good);
  EXPECT_EQ(good.ObjWidth, 3);
  EXPECT_EQ(appStream.Size(), std::int64_t(gif.size()));
  TImageObj& bad = image({{symSrc, u"bad"}});
  layout(bad);
  EXPECT_EQ(bad.Image, ErrorBitmap());
  EXPECT_EQ(cache.IndexOf(u"BAD"), -1);  // nothing half-made was kept
  EXPECT_EQ(requested, 2);
}

TEST_F(ImageObjects, AnimatedGifsAnimateOnTheirOwn) {
  const Bytes anim = GifWriter(2, 2, {0, 0xFFFFFF}).image(0, 0, 2, 2, {0, 0, 0, 0}).image(0, 0, 2, 2, {1, 1, 1, 1}).finish();
  auto stream = streamOf(anim);
  std::uint8_t tr = 0;
  std::unique_ptr<TBitmap> mask;
  cache.AddObject(u"A.GIF", std::make_unique<TBitmapItem>(LoadImageFromStream(stream.get(), tr, mask), nullptr, 0));
  TImageObj& one = image({{symSrc, u"a.gif"}});
  TImageObj& two = image({{symSrc, u"a.gif"}});
  layout(one);
  layout(two);
  auto* g1 = dynamic_cast<TGIFImage*>(one.Image);
  auto* g2 = dynamic_cast<TGIFImage*>(two.Image);
  ASSERT_TRUE(g1 && g2);
  EXPECT_NE(g1, g2);
  EXPECT_EQ(g1->FrameBitmap(1), g2->FrameBitmap(1));  // the frames are shared
  EXPECT_EQ(doc.AnimatedImages.size(), 2u);
  g1->SetFrameIndex(2);
  EXPECT_EQ(g2->FrameIndex(), 1);
  objs.pop_back();
  EXPECT_EQ(doc.AnimatedImages.size(), 1u);

  // An ACTIVE image shows its second frame under the mouse instead.
  TImageObj& hover = image({{symSrc, u"a.gif"}, {symActive, u""}});
  layout(hover);
  EXPECT_EQ(doc.AnimatedImages.size(), 1u);
  hover.SetHover(1);
  EXPECT_EQ(dynamic_cast<TGIFImage*>(hover.Image)->FrameIndex(), 2);
  hover.SetHover(0);
  EXPECT_EQ(dynamic_cast<TGIFImage*>(hover.Image)->FrameIndex(), 1);
}

TEST_F(ImageObjects, HitTestsStayInsideTheBorderAndDrawingKeepsHoles) {
  // A 4 x 2 transparent GIF: left half red, right half a hole.
  const Bytes gif = GifWriter(4, 2, {0xFF0000, 0x00FF00}).control(0, 0, 1).image(0, 0, 4, 2, {0, 0, 1, 1, 0, 0, 1, 1}).finish();
  auto stream = streamOf(gif);
  std::uint8_t tr = 0;
  std::unique_ptr<TBitmap> mask;
  auto picture = LoadImageFromStream(stream.get(), tr, mask);
  cache.AddObject(u"T.GIF", std::make_unique<TBitmapItem>(std::move(picture), std::move(mask), tr));
  TFloatingObjList list;
  auto owned = std::make_unique<TImageObj>(&doc, 5, attrs({{symSrc, u"t.gif"}, {symBorder, u"2"}, {symWidth, u"8"}, {symHeight, u"4"}}).get());
  TImageObj* img = owned.get();
  list.Add(std::move(owned));
  layout(*img);
  EXPECT_EQ(img->ObjWidth, 12);
  TBitmap target(40, 20);
  target.Canvas()->Brush()->SetColor(clBlue);
  target.Canvas()->FillRect(Rect(0, 0, 40, 20));
  img->Draw(target.Canvas(), 10, 5, 5 + img->ObjHeight, nullptr);
  EXPECT_EQ(img->DrawXX, 12);
  EXPECT_EQ(img->YPosition, 7);
  auto px = [&](int x, int y) { return COLORREF(target.Canvas()->Pixels(x, y)) & 0xFFFFFF; };
  EXPECT_EQ(px(13, 8), 0x0000FFu);   // red picture (COLORREF is BGR)
  EXPECT_EQ(px(18, 8), 0xFF0000u);   // the hole shows the blue page
  EXPECT_EQ(px(10, 5), 0x000000u);   // the border in the text colour
  int ix, iy, posn;
  bool amap, umap;
  TMapItem* map;
  TImageObj* hit = nullptr;
  EXPECT_TRUE(list.PtInImage(12, 7, ix, iy, posn, amap, umap, map, hit));
  EXPECT_EQ(hit, img);
  EXPECT_EQ(posn, 5);
  EXPECT_TRUE(list.PtInImage(12 + 7, 7 + 3, ix, iy, posn, amap, umap, map, hit));
  EXPECT_FALSE(list.PtInImage(12 + 8, 7, ix, iy, posn, amap, umap, map, hit));  // the last two columns
  EXPECT_FALSE(list.PtInImage(11, 7, ix, iy, posn, amap, umap, map, hit));
  TAlignmentType align;
  TFloatingObj* fl;
  EXPECT_EQ(list.GetHeightAt(5, align, fl), 8);
  EXPECT_EQ(list.GetHeightAt(4, align, fl), -1);
  EXPECT_EQ(list.GetImageCountAt(2), 3);
  EXPECT_EQ(list.GetImageCountAt(6), 99999999);
}

TEST_F(ImageObjects, TheDocumentTimerStepsOnlyImagesThePaintShowed) {
  const Bytes anim = GifWriter(2, 2, {0, 0xFFFFFF}).control(0, 1).image(0, 0, 2, 2, {0, 0, 0, 0}).control(0, 1).image(0, 0, 2, 2, {1, 1, 1, 1}).finish();
  auto stream = streamOf(anim);
  std::uint8_t tr = 0;
  std::unique_ptr<TBitmap> mask;
  cache.AddObject(u"A.GIF", std::make_unique<TBitmapItem>(LoadImageFromStream(stream.get(), tr, mask), nullptr, 0));
  TImageObj& shown = image({{symSrc, u"a.gif"}});
  TImageObj& hidden = image({{symSrc, u"a.gif"}});
  layout(shown);
  layout(hidden);
  StartImageAnimations(&doc);
  ASSERT_TRUE(doc.AnimTimer);
  EXPECT_TRUE(doc.AnimTimer->Enabled());
  EXPECT_EQ(doc.AnimTimer->Interval(), 50u);
  MarkImagesUnpainted(&doc);
  TBitmap target(10, 10);
  shown.Draw(target.Canvas(), 0, 0, 2, nullptr);
  auto* g1 = dynamic_cast<TGIFImage*>(shown.Image);
  auto* g2 = dynamic_cast<TGIFImage*>(hidden.Image);
  ASSERT_TRUE(g1 && g2);
  EXPECT_TRUE(g1->Running());
  // 30 ms per frame; wait it out on the real clock the step reads.
  const std::uint32_t start = timeGetTime();
  while (timeGetTime() - start < 35) {
  }
  StepImageAnimations(&doc);
  EXPECT_EQ(g1->FrameIndex(), 2);
  EXPECT_EQ(g2->FrameIndex(), 1);  // not painted: not stepped
  EXPECT_EQ(doc.AnimTimer->Interval(), 40u);
  doc.Clear();
}

TEST_F(ImageObjects, ThePageBackgroundHoldsItsPictureUntilTheDocumentClears) {
  cachePicture(u"BG.PNG", 4, 4);
  doc.BackgroundName = u"bg.png";
  doc.OnImageRequest = [](TObject*, const String&, TStream*& s) { s = ErrorStream(); };
  doc.FetchBackground();
  ASSERT_NE(doc.BackgroundImage, nullptr);
  EXPECT_EQ(GetImageWidth(doc.BackgroundImage), 4);
  EXPECT_EQ(cache.Item(0)->UsageCount, 1);
  doc.FetchBackground();  // tried once only
  EXPECT_EQ(cache.Item(0)->UsageCount, 1);
  doc.Clear();
  EXPECT_EQ(cache.Item(0)->UsageCount, 0);
  EXPECT_EQ(doc.BackgroundImage, nullptr);
}

TEST_F(ImageObjects, PrintCopiesPrintPicturesThroughTheirMasks) {
  // A still transparent GIF (bitmap and mask) and an animated one (frames
  // with alpha), each 4 x 2 with a transparent right half.
  const Bytes still = GifWriter(4, 2, {0xFF0000, 0}).control(0, 0, 1).image(0, 0, 4, 2, {0, 0, 1, 1, 0, 0, 1, 1}).finish();
  const Bytes anim = GifWriter(4, 2, {0x00FF00, 0}).control(0, 0, 1).image(0, 0, 4, 2, {0, 0, 1, 1, 0, 0, 1, 1}).image(0, 0, 1, 1, {0}).finish();
  for (const auto& [key, bytes] : {std::pair{u"S.GIF", still}, std::pair{u"A.GIF", anim}}) {
    auto stream = streamOf(bytes);
    std::uint8_t tr = 0;
    std::unique_ptr<TBitmap> mask;
    auto picture = LoadImageFromStream(stream.get(), tr, mask);
    cache.AddObject(key, std::make_unique<TBitmapItem>(std::move(picture), std::move(mask), tr));
  }
  TImageObj& s = image({{symSrc, u"s.gif"}, {symWidth, u"8"}, {symHeight, u"4"}});
  TImageObj& a = image({{symSrc, u"a.gif"}, {symWidth, u"8"}, {symHeight, u"4"}});
  layout(s);
  layout(a);
  ThtDocument copy(doc);
  TImageObj sp(&copy, s), ap(&copy, a);
  TBitmap paper(40, 10);
  paper.Canvas()->Brush()->SetColor(clWhite);
  paper.Canvas()->FillRect(Rect(0, 0, 40, 10));
  sp.Draw(paper.Canvas(), 0, 0, 4, nullptr);
  ap.Draw(paper.Canvas(), 20, 0, 4, nullptr);
  auto px = [&](int x, int y) { return COLORREF(paper.Canvas()->Pixels(x, y)) & 0xFFFFFF; };
  EXPECT_EQ(px(1, 1), COLORREF(RGB(255, 0, 0)));
  EXPECT_EQ(px(6, 1), 0xFFFFFFu);
  EXPECT_EQ(px(21, 1), COLORREF(RGB(0, 255, 0)));
  EXPECT_EQ(px(26, 1), 0xFFFFFFu);
  // The print copy holds no use of the cache's pictures.
  const int before = cache.Item(0)->UsageCount;
  { TImageObj third(&copy, s); }
  EXPECT_EQ(cache.Item(0)->UsageCount, before);
}
