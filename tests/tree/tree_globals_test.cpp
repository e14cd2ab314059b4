// Process-wide pieces: clipboard-format registry, blending, shortening.
#include <gtest/gtest.h>

#include <vector>

#include <unistd.h>

#include "tree/base_tree.h"
#include "platform/graphics/bitmap.h"
#include "platform/gui/forms.h"
#include "platform/graphics/imagelist.h"
#include "tree/data_object.h"
#include "tree/globals.h"

namespace {
std::vector<String> describe(const TFormatEtcArray& formats) {
  std::vector<String> out;
  for (const TFormatEtc& f : formats) out.push_back(ClipboardFormatName(f.cfFormat));
  return out;
}
}  // namespace

TEST(TreeGlobals, FormatsOfferedInPriorityOrderPerClass) {
  TBaseDataTree tree(nullptr);  // the first tree registers the formats
  TFormatEtcArray formats;
  ClipboardFormatList().EnumerateFormats(StringTreeClassInfo(), formats);
  EXPECT_EQ(describe(formats),
            (std::vector<String>{u"Data Tree Content", u"HTML Format",
                                 u"Rich Text Format Without Objects", u"Rich Text Format", u"CSV",
                                 u"Unicode text", u"Plain text"}));
  ClipboardFormatList().EnumerateFormats(TBaseDataTree::ClassInfo(), formats);
  EXPECT_EQ(describe(formats), (std::vector<String>{u"Data Tree Content"}));

  std::vector<String> none;
  ClipboardFormatList().EnumerateFormats(StringTreeClassInfo(), formats, &none);
  EXPECT_TRUE(formats.empty()) << "an empty allowed list allows nothing";

  // Equal priorities keep the order they were registered in.
  static const TTreeClassInfo own{"TOwnTree", TBaseDataTree::ClassInfo()};
  if (!ClipboardFormatList().FindFormat(u"Own first")) {  // once per process
    RegisterDTClipboardFormat(u"Own first", &own, 70);
    RegisterDTClipboardFormat(u"Own second", &own, 70);
    RegisterDTClipboardFormat(u"Own third", &own, 70);
  }
  ClipboardFormatList().EnumerateFormats(&own, formats);
  EXPECT_EQ(describe(formats), (std::vector<String>{u"Data Tree Content", u"Own first",
                                                    u"Own second", u"Own third"}));

  // Predefined ids take their standard names; unknown low ids add nothing.
  int before = ClipboardFormatList().Count();
  RegisterDTClipboardFormat(std::uint16_t(0), &own, 10);
  EXPECT_EQ(ClipboardFormatList().Count(), before);
  std::uint16_t id = 0;
  EXPECT_EQ(ClipboardFormatList().FindFormat(u"html format", id), StringTreeClassInfo());
  EXPECT_EQ(id, TreeGlobals().CF_HTML);
  static const TTreeClassInfo byId{"TByIdTree", nullptr};
  std::uint16_t ownId = RegisterDTClipboardFormat(u"Own by id", &byId, 60);
  RegisterDTClipboardFormat(ownId, &byId, 65);
  EXPECT_EQ(ClipboardFormatList().Count(), before + 2);
  EXPECT_EQ(ClipboardFormatName(ownId), u"Own by id");

  // A tree may only list formats of its class or an ancestor.
  TClipboardFormats allowed(&tree);
  EXPECT_EQ(allowed.Add(u"HTML Format"), -1);
  EXPECT_EQ(allowed.Add(u"No such format"), -1);
  EXPECT_GE(allowed.Add(u"Data Tree Content"), 0);
  EXPECT_GE(allowed.Add(u"Data Tree Content"), 0);
  EXPECT_EQ(allowed.Count(), 1);
}

TEST(TreeGlobals, ShortenStringKeepsWholeCharacters) {
  // Every code unit is 10 pixels wide.
  auto measure = [](const char16_t*, int length) { return length * 10; };
  EXPECT_EQ(ShortenString(measure, u"abcdef", 25), u"") << "narrower than the ellipsis";
  EXPECT_EQ(ShortenString(measure, u"abcdef", 55), u"ab...");
  EXPECT_EQ(ShortenString(measure, u"abcdef", 1000), u"abcde...") << "the last character never stays";
  EXPECT_EQ(ShortenString(measure, u"", 100), u"");
  // "a" then a pair for one character outside the basic plane, then "b".
  String text = u"a\U0001F600b";
  EXPECT_EQ(ShortenString(measure, text, 50), u"a...") << "never half a surrogate pair";
  EXPECT_EQ(ShortenString(measure, text, 60), u"a\U0001F600...");
}

TEST(TreeGlobals, AlphaBlendModes) {
  std::vector<std::uint8_t> src(4 * 4 * 4), dst(4 * 4 * 4);
  TBlendSurface s{src.data(), 4, 4, 16, 32};
  TBlendSurface d{dst.data(), 4, 4, 16, 32};
  for (std::size_t i = 0; i < src.size(); i += 4) {
    src[i] = 200, src[i + 1] = 100, src[i + 2] = 0, src[i + 3] = 128;
    dst[i] = 0, dst[i + 1] = 100, dst[i + 2] = 200, dst[i + 3] = 255;
  }
  AlphaBlendSurfaces(&s, d, {0, 0, 1, 1}, {0, 0}, bmConstantAlpha, 128, 0);
  EXPECT_EQ(dst[0], 100);
  EXPECT_EQ(dst[1], 100);
  EXPECT_EQ(dst[2], 100);
  EXPECT_EQ(dst[4], 0) << "only the given rectangle";

  AlphaBlendSurfaces(&s, d, {1, 0, 2, 1}, {1, 0}, bmPerPixelAlpha, 0, 10);
  EXPECT_EQ(dst[4], 110);  // (0*128 + 200*128)/256 + 10
  AlphaBlendSurfaces(nullptr, d, {2, 0, 3, 1}, {2, 0}, bmConstantAlphaAndColor, 255, 0x0000FF);
  EXPECT_EQ(dst[8 + 2], 254) << "red arrives in the red byte";  // (255*255 + 200)/256
  EXPECT_EQ(dst[8 + 0], 0);

  // Rectangles reaching past either picture are clipped, never overrun.
  std::vector<std::uint8_t> tiny(2 * 2 * 4, 0);
  TBlendSurface t{tiny.data(), 2, 2, 8, 32};
  AlphaBlendSurfaces(&s, t, {0, 0, 4, 4}, {1, 1}, bmConstantAlpha, 255, 0);
  EXPECT_EQ(tiny[(1 * 2 + 1) * 4], 199);  // 200*255/256
  AlphaBlendSurfaces(&s, t, {0, 0, 4, 4}, {-3, -3}, bmConstantAlpha, 255, 0);

  TBlendSurface wrongDepth{dst.data(), 4, 4, 16, 24};
  EXPECT_THROW(AlphaBlendSurfaces(&s, wrongDepth, {0, 0, 1, 1}, {0, 0}, bmConstantAlpha, 1, 0),
               EAssertionFailed);
  // An empty rectangle does nothing, whatever the pictures are.
  AlphaBlendSurfaces(&s, wrongDepth, {0, 0, 0, 0}, {0, 0}, bmConstantAlpha, 1, 0);
}

TEST(TreeGlobals, TreeFromNodeAndOperations) {
  TBaseDataTree tree(nullptr);
  PDataNode child = tree.AddChild(tree.AddChild(nullptr));
  EXPECT_EQ(TreeFromNode(child), &tree);
  EXPECT_THROW(TreeFromNode(nullptr), EAssertionFailed);
  EXPECT_EQ(OrderRect({5, 6, 1, 2}), TRect(1, 2, 5, 6));

  EXPECT_FALSE(tree.OperationCanceled());
  tree.SetOperationCanceled(true);
  EXPECT_FALSE(tree.OperationCanceled()) << "only inside an operation";
  tree.BeginOperation();
  EXPECT_FALSE(tree.OperationCanceled()) << "a new operation starts uncancelled";
  tree.SetOperationCanceled(true);
  EXPECT_TRUE(tree.OperationCanceled());
  tree.EndOperation();
  EXPECT_THROW(tree.EndOperation(), EAssertionFailed);
}

namespace {
class TCopyingTree : public TBaseDataTree {
public:
  using TBaseDataTree::TBaseDataTree;
  // What a cut or copy leaves behind, as far as Clear is concerned.
  void PretendCopied() {
    RawByteString ref = TreeReferenceData(this);
    Clipboard()->SetBuffer(TreeGlobals().CF_DTREFERENCE, ref.data(), ref.size());
    DoStateChange({tsCopyPending});
  }
};
}  // namespace

TEST(TreeGlobals, ClearGivesUpOnlyItsOwnClipboardContent) {
  TCopyingTree tree(nullptr);
  tree.SetRootNodeCount(3);
  tree.PretendCopied();
  EXPECT_TRUE(ClipboardHoldsTree(&tree));
  tree.Clear();
  EXPECT_FALSE(tree.TreeStates().Contains(tsCopyPending));
  EXPECT_FALSE(Clipboard()->HasFormat(TreeGlobals().CF_DTREFERENCE));

  // Someone else copied meanwhile: their text stays.
  tree.SetRootNodeCount(3);
  tree.PretendCopied();
  Clipboard()->SetAsText(u"copied elsewhere");
  tree.Clear();
  EXPECT_EQ(Clipboard()->AsText(), u"copied elsewhere");
  EXPECT_FALSE(tree.TreeStates().Contains(tsCopyPending));
}

TEST(TreeGlobals, SharedCheckPicturesAndIndices) {
  TBaseDataTree tree(nullptr);
  for (TCheckImageKind kind : {ckLightCheck, ckDarkCheck, ckLightTick, ckDarkTick, ckFlat, ckXP,
                               ckSystemFlat, ckSystemDefault}) {
    TImageList* list = GetCheckImageList(kind);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Count(), 25) << "every index the painter asks for exists";
    EXPECT_EQ(list->Width(), 16);
  }
  EXPECT_EQ(GetCheckImageList(ckCustom), nullptr);

  // The header's pictures: drop marks, sort glyphs, hot underline pieces.
  TImageList* utilities = UtilityImages();
  ASSERT_NE(utilities, nullptr);
  ASSERT_EQ(utilities->Count(), 9) << "indices 0 to 8 are drawn by the header";
  auto inked = [&](int index) {
    TBitmap picture;
    EXPECT_TRUE(utilities->GetBitmap(index, &picture));
    picture.SetPixelFormat(pf32bit);
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < picture.Height(); ++y) {
      auto* row = static_cast<const std::uint32_t*>(picture.ScanLine(y));
      for (int x = 0; x < picture.Width(); ++x) {
        std::uint32_t rgb = row[x] & 0xFFFFFF;
        if (rgb != 0xFF0000 && rgb != 0xFFFFFF) pixels.push_back(std::uint32_t(y * 16 + x));
      }
    }
    return pixels;
  };
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(inked(i).empty()) << "picture " << i << " shows something";
  EXPECT_NE(inked(2), inked(3)) << "descending and ascending differ";
  EXPECT_NE(inked(0), inked(1)) << "left and right drop marks differ";
  EXPECT_NE(TreeCursor(crHeaderSplit), nullptr);
  EXPECT_NE(TreeCursor(crVertSplit), nullptr);
  EXPECT_EQ(Screen->Cursors(crHeaderSplit), TreeCursor(crHeaderSplit))
      << "a control can show the split cursor by its number";
  EXPECT_EQ(Screen->Cursors(crVertSplit), TreeCursor(crVertSplit));

  EXPECT_EQ(tree.GetCheckImage(nullptr, ctNone), -1);
  EXPECT_EQ(tree.GetCheckImage(nullptr, ctTriStateCheckBox, csCheckedNormal, true), 13);
  EXPECT_EQ(tree.GetCheckImage(nullptr, ctRadioButton, csUncheckedPressed, false), 4);
  EXPECT_EQ(tree.GetCheckImage(nullptr, ctButton, csMixedPressed, true), 19);
  PDataNode n = tree.AddChild(nullptr);
  n->CheckType = ctCheckBox;
  n->CheckState = csUncheckedNormal;
  n->States.Include(vsDisabled);
  EXPECT_EQ(tree.GetCheckImage(n), 12);
}

TEST(TreeGlobals, WrapStringBreaksAtBlanksAndInsideLongWords) {
  auto measure = [](const char16_t*, int length) { return length * 10; };
  EXPECT_EQ(WrapString(measure, u"one two three", 75), u"one two\nthree");
  EXPECT_EQ(WrapString(measure, u"abcdefghij", 40), u"abcd\nefgh\nij");
  EXPECT_EQ(WrapString(measure, u"ab \U0001F600\U0001F600", 30), u"ab\n\U0001F600\n\U0001F600");
  EXPECT_EQ(WrapString(measure, u"", 30), u"");
}

TEST(TreeGlobals, ShortenStringWithNoRoomGivesNothing) {
  auto measure = [](const char16_t*, int length) { return length * 10; };
  EXPECT_EQ(ShortenString(measure, u"abcdef", 0), u"");
  EXPECT_EQ(ShortenString(measure, u"abcdef", -20), u"");
  EXPECT_EQ(ShortenString(measure, u"abcdef", 30), u"") << "exactly the ellipsis leaves no room";
  EXPECT_EQ(ShortenString(measure, u"abcdef", 31), u"...");
  EXPECT_EQ(ShortenString(measure, u"abcdef", 45, 15), u"abc...") << "a given ellipsis width is used";
}

TEST(TreeGlobals, TreeReferenceHoldsProcessTokenThenTreeNumber) {
  // Never the tree's address: data from elsewhere could name any memory.
  TBaseDataTree tree(nullptr);
  RawByteString ref = TreeReferenceData(&tree);
  ASSERT_EQ(ref.size(), 16u);
  auto read = [&](std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | std::uint8_t(ref[at + std::size_t(i)]);
    return v;
  };
  EXPECT_EQ(read(0), ProcessToken());
  EXPECT_EQ(read(8), tree.TreeToken());
  EXPECT_NE(read(8), std::uint64_t(reinterpret_cast<std::uintptr_t>(&tree)));
}

namespace {
// A 32-bit picture whose every pixel is the same blue, green, red, alpha.
void fillBitmap(TBitmap& b, int w, int h, std::uint8_t blue, std::uint8_t green, std::uint8_t red,
                std::uint8_t alpha) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<std::uint8_t*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x) {
      row[4 * x] = blue;
      row[4 * x + 1] = green;
      row[4 * x + 2] = red;
      row[4 * x + 3] = alpha;
    }
  }
}
const std::uint8_t* pixelAt(TBitmap& b, int x, int y) {
  return static_cast<const std::uint8_t*>(b.ScanLine(y)) + 4 * x;
}
}  // namespace

TEST(TreeGlobals, AlphaBlendOnRealBitmapsInEveryMode) {
  TBitmap source, target;
  fillBitmap(source, 6, 5, 200, 100, 0, 128);
  fillBitmap(target, 7, 6, 0, 100, 200, 255);

  // Rows 1-2, columns 2-3 of the source land at (4, 3) in the target.
  AlphaBlend(&source, &target, {2, 1, 4, 3}, {4, 3}, bmConstantAlpha, 64, 0);
  const std::uint8_t* p = pixelAt(target, 4, 3);
  EXPECT_EQ(p[0], 50);   // (0*192 + 200*64)/256
  EXPECT_EQ(p[2], 150);  // (200*192 + 0)/256
  EXPECT_EQ(pixelAt(target, 5, 4)[0], 50) << "the second row and column of the rectangle";
  EXPECT_EQ(pixelAt(target, 6, 4)[0], 0) << "right of the rectangle";
  EXPECT_EQ(pixelAt(target, 4, 5)[0], 0) << "below the rectangle";
  EXPECT_EQ(pixelAt(target, 3, 3)[0], 0) << "left of the target point";

  fillBitmap(target, 7, 6, 0, 100, 200, 255);
  AlphaBlend(&source, &target, {0, 0, 1, 1}, {0, 5}, bmPerPixelAlpha, 0, -20);
  p = pixelAt(target, 0, 5);
  EXPECT_EQ(p[0], 80);  // 200*128/256 - 20
  EXPECT_EQ(p[2], 80);  // 200*128/256 - 20
  EXPECT_EQ(p[1], 80);  // 100 - 20

  fillBitmap(target, 7, 6, 0, 100, 200, 255);
  AlphaBlend(&source, &target, {0, 0, 1, 1}, {6, 0}, bmMasterAlpha, 128, 0);
  p = pixelAt(target, 6, 0);
  EXPECT_EQ(p[0], 50);   // alpha 128*128/256 = 64: 200*64/256
  EXPECT_EQ(p[2], 150);  // 200*192/256

  fillBitmap(target, 7, 6, 0, 100, 200, 255);
  AlphaBlend(nullptr, &target, {0, 0, 7, 6}, {0, 0}, bmConstantAlphaAndColor, 128, 0x00FF0000);
  p = pixelAt(target, 6, 5);
  EXPECT_EQ(p[0], 127) << "blue of the colour in the blue byte";  // 255*128/256
  EXPECT_EQ(p[1], 50);
  EXPECT_EQ(p[2], 100);

  TBitmap shallow;
  shallow.SetPixelFormat(pf24bit);
  shallow.SetSize(4, 4);
  EXPECT_THROW(AlphaBlend(&source, &shallow, {0, 0, 1, 1}, {0, 0}, bmConstantAlpha, 10, 0),
               EAssertionFailed);
}
