// Pages with pictures of every kind the viewer shows (PNG, JPEG, BMP, GIF,
// animated GIF) handed over by the image request as the application does,
// painted and kept as PNG files in the build folder.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "html/images/gif_images.h"
#include "html/viewer/html_view.h"
#include "html/model/document.h"
#include "html/images/image_animation.h"
#include "html/images/image_cache.h"
#include "picture_test_util.h"
#include "platform/core/strings.h"
#include "platform/core/threads.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"

namespace {

using pictures::Bytes;

Bytes solidRgba(int w, int h, std::uint32_t rgb) {
  Bytes px;
  for (int i = 0; i < w * h; ++i) {
    px.push_back(std::uint8_t(rgb >> 16));
    px.push_back(std::uint8_t(rgb >> 8));
    px.push_back(std::uint8_t(rgb));
    px.push_back(255);
  }
  return px;
}

Bytes jpegBytes(int w, int h, std::uint32_t rgb) {
  Bytes px;
  for (int i = 0; i < w * h; ++i) {
    px.push_back(std::uint8_t(rgb >> 16));
    px.push_back(std::uint8_t(rgb >> 8));
    px.push_back(std::uint8_t(rgb));
  }
  return pictures::jpegBytes(w, h, px);
}

Bytes gifBytes(int w, int h, std::vector<std::uint32_t> colours, int delayCs) {
  pictures::GifWriter g(w, h, colours);
  if (colours.size() > 1) g.loop(0);
  for (std::size_t i = 0; i < colours.size(); ++i) {
    g.control(1, delayCs);
    g.image(0, 0, w, h, Bytes(std::size_t(w * h), std::uint8_t(i)));
  }
  return g.finish();
}

struct ViewerPictures : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, 500, 200);
    View = new THtmlView(Form);
    View->SetParent(Form);
    View->SetBorderStyle(htNone);
    View->SetBounds(0, 0, 500, 200);
    Form->Show();
    Application->ProcessMessages();
    View->SetOnImageRequest([this](TObject*, const String& src, TStream*& s) {
      auto it = Files.find(src);
      if (it == Files.end()) return;
      // Written and not rewound, as the application hands its blobs over.
      Current = std::make_unique<TMemoryStream>();
      Current->WriteBuffer(it->second.data(), std::int64_t(it->second.size()));
      s = Current.get();
    });
  }
  void TearDown() override { delete Form; }

  // How many pixels of the painted window have exactly this colour.
  int count(std::uint32_t rgb) {
    std::vector<std::uint32_t> px;
    int w = 0, h = 0;
    if (!GrabWindow(View, px, w, h)) return 0;
    int n = 0;
    for (std::uint32_t p : px)
      if ((p & 0xFFFFFF) == rgb) ++n;
    return n;
  }
  // Within a few units per channel (JPEG is lossy).
  int countNear(std::uint32_t rgb, int tolerance) {
    std::vector<std::uint32_t> px;
    int w = 0, h = 0;
    if (!GrabWindow(View, px, w, h)) return 0;
    int n = 0;
    for (std::uint32_t p : px) {
      bool near = true;
      for (int shift : {0, 8, 16})
        near = near && std::abs(int((p >> shift) & 0xFF) - int((rgb >> shift) & 0xFF)) <= tolerance;
      n += near;
    }
    return n;
  }

  TForm* Form = nullptr;
  THtmlView* View = nullptr;
  std::map<String, Bytes> Files;
  std::unique_ptr<TMemoryStream> Current;
};

TEST_F(ViewerPictures, EveryKindOfPictureShowsOnAPage) {
  Files[u"*0/a.png"] = pictures::pngBytes(30, 20, solidRgba(30, 20, 0xFF0000));
  Files[u"*0/b.jpg"] = jpegBytes(30, 20, 0x0000FF);
  Files[u"*0/c.bmp"] = pictures::bmp32Bytes(30, 20, solidRgba(30, 20, 0x00FF00));
  Files[u"*0/d.gif"] = gifBytes(30, 20, {0xFFFF00}, 0);
  View->LoadFromString(
      u"<html><body bgcolor=\"#FFFFFF\"><p>PNG <img src=\"*0/a.png\"> JPEG <img src=\"*0/b.jpg\"> "
      u"BMP <img src=\"*0/c.bmp\"> GIF <img src=\"*0/d.gif\"> missing <img src=\"*0/none.png\"></p></body></html>");
  SaveWindowImage(View, u"viewer_picture_kinds.png");
  EXPECT_GE(count(0xFF0000), 30 * 20);
  EXPECT_GE(countNear(0x0000FF, 12), 30 * 20);
  EXPECT_GE(count(0x00FF00), 30 * 20);
  EXPECT_GE(count(0xFFFF00), 30 * 20);
}

TEST_F(ViewerPictures, AnimatedGifAdvancesToItsNextFrameOnThePage) {
  // Red for a second, then blue for half a second: the page keeps being
  // repainted (as hovering, selecting or scrolling does) more often than the
  // frames change, and the blue frame still comes and stays on the screen.
  pictures::GifWriter g(30, 20, {0xFF0000, 0x0000FF});
  g.loop(0);
  g.control(1, 100);
  g.image(0, 0, 30, 20, Bytes(30 * 20, 0));
  g.control(1, 50);
  g.image(0, 0, 30, 20, Bytes(30 * 20, 1));
  Files[u"*0/anim.gif"] = g.finish();
  View->LoadFromString(u"<html><body bgcolor=\"#FFFFFF\"><p>A <img src=\"*0/anim.gif\"></p></body></html>");
  Application->ProcessMessages();
  EXPECT_GE(count(0xFF0000), 30 * 20);
  EXPECT_EQ(count(0x0000FF), 0);
  const std::uint32_t start = timeGetTime();
  while (count(0x0000FF) == 0 && timeGetTime() - start < 20000) {
    View->Repaint();
    Application->ProcessMessages();
    Sleep(5);
  }
  EXPECT_EQ(count(0xFF0000), 0);
  EXPECT_GE(count(0x0000FF), 30 * 20);
  View->Repaint();
  EXPECT_EQ(count(0xFF0000), 0) << "a repaint shows the frame that is showing";
  EXPECT_GE(count(0x0000FF), 30 * 20);

  // The next step (back to red) asks for a repaint of just the picture, on
  // the panel the page is painted on; the viewer's own window has nothing to
  // repaint.
  Sleep(600);
  HWND panel = View->PaintPanel()->Handle();
  TRect before;
  ASSERT_FALSE(GetUpdateRect(panel, &before, false));
  StepImageAnimations(View->Document());
  TRect dirty;
  ASSERT_TRUE(GetUpdateRect(panel, &dirty, false));
  EXPECT_EQ(dirty.Width(), 30);
  EXPECT_EQ(dirty.Height(), 20);
  EXPECT_FALSE(GetUpdateRect(View->Handle(), nullptr, false));
  Application->ProcessMessages();
  EXPECT_GE(count(0xFF0000), 30 * 20);
}

TEST_F(ViewerPictures, ALayoutLeavesARunningAnimationWhereItIs) {
  // Three frames of a second each.
  Files[u"*0/slow.gif"] = gifBytes(30, 20, {0xFF0000, 0x00FF00, 0x0000FF}, 100);
  View->LoadFromString(u"<html><body><p>A <img src=\"*0/slow.gif\"></p></body></html>");
  ASSERT_EQ(View->Document()->AnimatedImages.size(), 1u);
  auto* gif = dynamic_cast<TGIFImage*>(View->Document()->AnimatedImages[0]);
  ASSERT_NE(gif, nullptr);
  ASSERT_TRUE(gif->Running());
  // The second frame has been showing for far longer than its delay...
  gif->StepAnimationAt(nullptr, timeGetTime() - 100000);
  ASSERT_EQ(gif->FrameIndex(), 2);
  // ...when the window is resized: the page is laid out again.
  Form->SetBounds(0, 0, 300, 200);
  View->SetBounds(0, 0, 300, 200);
  Application->ProcessMessages();
  EXPECT_EQ(gif->FrameIndex(), 2);
  EXPECT_TRUE(gif->Running());
  // The next step shows the third frame at once instead of waiting a whole
  // delay again.
  gif->StepAnimation(nullptr);
  EXPECT_EQ(gif->FrameIndex(), 3);
}

}  // namespace

namespace {

// A GIF of a few dozen bytes whose header declares a picture of w x h: the
// pixels it does not carry are the background's.
Bytes declaredGif(int w, int h) {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  pictures::put16(b, w);
  pictures::put16(b, h);
  b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});
  b.push_back(0x2C);
  pictures::put16(b, 0);
  pictures::put16(b, 0);
  pictures::put16(b, w);
  pictures::put16(b, h);
  b.insert(b.end(), {0, 2, 1, 0x2C, 0, 0x3B});  // clear and end codes only
  return b;
}

}  // namespace

TEST_F(ViewerPictures, APageHoldsPicturesUpToItsBudgetAndTheCacheLetsLargeOnesGo) {
  for (int i = 0; i < 4; ++i) Files[u"*0/huge" + IntToStr(i) + u".gif"] = declaredGif(8000, 8000);
  Files[u"*0/small.png"] = pictures::pngBytes(30, 20, solidRgba(30, 20, 0xFF0000));
  View->LoadFromString(
      u"<html><body bgcolor=\"#FFFFFF\"><p><img src=\"*0/small.png\"> <img src=\"*0/huge0.gif\" alt=\"one\"> "
      u"<img src=\"*0/huge1.gif\"> <img src=\"*0/huge2.gif\"> <img src=\"*0/huge3.gif\"></p></body></html>");
  ThtDocument* doc = View->Document();
  // The small picture shows; none of the 244 MB ones was ever decoded.
  EXPECT_GE(count(0xFF0000), 30 * 20);
  EXPECT_LE(doc->PictureBytes, ThtDocument::PictureBudget);
  EXPECT_EQ(doc->PictureBytes, 30u * 20u * 4u);
  for (int i = 0; i < 4; ++i) EXPECT_LT(doc->ImageCache->IndexOf(u"*0/HUGE" + IntToStr(i) + u".GIF"), 0);

  // A large picture within the budget shows, and is let go once no page
  // shows it; a small one stays cached for the pages to come.
  Files[u"*0/large.png"] = pictures::pngBytes(2000, 2000, solidRgba(2000, 2000, 0x0000FF));
  View->LoadFromString(u"<html><body><img src=\"*0/large.png\"><img src=\"*0/small.png\"></body></html>");
  EXPECT_GE(doc->ImageCache->IndexOf(u"*0/LARGE.PNG"), 0);
  EXPECT_EQ(doc->PictureBytes, 2000u * 2000u * 4u + 30u * 20u * 4u);
  View->LoadFromString(u"<html><body><p>text</p></body></html>");
  EXPECT_LT(doc->ImageCache->IndexOf(u"*0/LARGE.PNG"), 0);
  EXPECT_GE(doc->ImageCache->IndexOf(u"*0/SMALL.PNG"), 0);
  EXPECT_EQ(doc->PictureBytes, 0u);
}

// The page's background picture covers the whole window: the last column
// and row of tiles, cut by the window's edge, are painted too, and a picture
// repeated along one axis only still shows.
TEST_F(ViewerPictures, PageBackgroundPictureCoversTheWholeWindow) {
  Files[u"*0/bg.png"] = pictures::pngBytes(30, 30, solidRgba(30, 30, 0xFF0000));
  auto pixelAt = [this](int x, int y) -> std::uint32_t {
    std::vector<std::uint32_t> px;
    int w = 0, h = 0;
    if (!GrabWindow(View->PaintPanel(), px, w, h) || x >= w || y >= h) return 0xFFFFFFFF;
    return px[std::size_t(y) * std::size_t(w) + std::size_t(x)] & 0xFFFFFF;
  };
  View->LoadFromString(u"<html><body bgcolor=\"#FFFFFF\" background=\"*0/bg.png\"><p>x</p></body></html>");
  Application->ProcessMessages();
  const int w = View->PaintPanel()->ClientWidth(), h = View->PaintPanel()->ClientHeight();
  ASSERT_GT(w % 30, 0);  // the window cuts the last tile
  EXPECT_EQ(pixelAt(w - 2, 5), 0xFF0000u);
  EXPECT_EQ(pixelAt(5, h - 2), 0xFF0000u);
  EXPECT_EQ(pixelAt(w - 2, h - 2), 0xFF0000u);

  View->LoadFromString(
      u"<html><body bgcolor=\"#FFFFFF\" style=\"background: url(*0/bg.png) repeat-x\"><p>x</p></body></html>");
  Application->ProcessMessages();
  EXPECT_EQ(pixelAt(5, 5), 0xFF0000u);
  EXPECT_EQ(pixelAt(w - 2, 5), 0xFF0000u);
  EXPECT_NE(pixelAt(5, 40), 0xFF0000u);  // not repeated down
}
