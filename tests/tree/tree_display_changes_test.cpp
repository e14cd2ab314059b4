// A tree following what changes around it: a picture list it draws its check
// boxes from going away, its own colour and font, and the desktop's
// colours; and the owner's text for a node's picture.
#include <gtest/gtest.h>

#include "platform/graphics/imagelist.h"
#include "tests/tree/tree_input_util.h"
#include "tree/globals.h"

using namespace inputtest;

namespace {

std::uint32_t pixel(TBitmap* b, int x, int y) {
  b->SetPixelFormat(pf32bit);
  return static_cast<const std::uint32_t*>(b->ScanLine(y))[x] & 0xFFFFFF;
}

std::uint32_t rgb(TColor c) {
  const COLORREF v = ColorToRGB(c);
  return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

class DisplayChangeTest : public ::testing::Test {
protected:
  TInputFixture F{240, 200};
  TInputTree* T = F.Tree;

  void SetUp() override {
    // Buttons drawn by the tree itself, filled with its colour.
    T->TreeOptions().SetPaintOptions(T->TreeOptions().PaintOptions() - TDTPaintOptions{toThemeAware});
    T->SetButtonFillMode(fmTreeColor);
    T->SetColor(clWhite);
    F.show();
  }
};

TEST_F(DisplayChangeTest, FreedCustomCheckPicturesGiveWayToTheSystemOnes) {
  auto* custom = new TImageList(F.Form);
  T->SetCustomCheckImages(custom);
  T->SetCheckImageKind(ckCustom);
  ASSERT_EQ(T->CheckImages(), custom);
  delete custom;
  EXPECT_EQ(T->CustomCheckImages(), nullptr);
  EXPECT_EQ(T->CheckImageKind(), ckSystemDefault);
  EXPECT_EQ(T->CheckImages(), GetCheckImageList(ckSystemDefault)) << "check boxes are still drawn";

  // A freed list that was set but not in use changes nothing else.
  custom = new TImageList(F.Form);
  T->SetCustomCheckImages(custom);
  T->SetCheckImageKind(ckFlat);
  delete custom;
  EXPECT_EQ(T->CheckImageKind(), ckFlat);
  EXPECT_EQ(T->CheckImages(), GetCheckImageList(ckFlat));
}

TEST_F(DisplayChangeTest, TheTreesColourFillsItsExpandButtonsAnew) {
  const int mid = T->PlusBitmap()->Width() / 2;
  ASSERT_EQ(pixel(T->PlusBitmap(), 2, 2), rgb(clWhite));
  T->SetColor(clYellow);
  EXPECT_EQ(pixel(T->PlusBitmap(), 2, 2), rgb(clYellow));
  EXPECT_EQ(pixel(T->MinusBitmap(), 2, 2), rgb(clYellow));
  EXPECT_NE(pixel(T->PlusBitmap(), mid, 2), rgb(clYellow)) << "the glyph is drawn over the fill";
}

TEST_F(DisplayChangeTest, AFontChangeReachesAHeaderThatFollowsTheTreesFont) {
  T->Header().SetParentFont(true);
  T->Font()->SetHeight(-20);
  EXPECT_EQ(T->Header().Font()->Height(), -20);
  T->Font()->SetName(u"DejaVu Serif");
  EXPECT_EQ(T->Header().Font()->Name(), u"DejaVu Serif");

  // A header with its own font keeps it.
  T->Header().SetParentFont(false);
  T->Header().Font()->SetHeight(-9);
  T->Font()->SetHeight(-15);
  EXPECT_EQ(T->Header().Font()->Height(), -9);
}

TEST_F(DisplayChangeTest, ADesktopColourChangeDrawsTheCheckPicturesAndButtonsAgain) {
  TImageList* system = GetCheckImageList(ckSystemDefault);
  ASSERT_NE(system, nullptr);
  // Spoil the pictures as a change of the desktop's colours leaves them.
  system->Clear();
  T->PlusBitmap()->Canvas()->Brush()->SetColor(clBlack);
  T->PlusBitmap()->Canvas()->FillRect({0, 0, T->PlusBitmap()->Width(), T->PlusBitmap()->Height()});
  T->Perform(CM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(GetCheckImageList(ckSystemDefault), system) << "trees keep the lists they hold";
  EXPECT_EQ(system->Count(), 25);
  EXPECT_EQ(GetCheckImageList(ckXP)->Count(), 25);
  EXPECT_EQ(pixel(T->PlusBitmap(), 2, 2), rgb(clWhite));

  // The same when the desktop's theme changes its colours.
  system->Clear();
  T->PlusBitmap()->Canvas()->FillRect({0, 0, T->PlusBitmap()->Width(), T->PlusBitmap()->Height()});
  ChangeDesktopColours(TColor(0x00E0D0C0));
  F.pump();
  const int count = system->Count();
  const TColor inPlus = pixel(T->PlusBitmap(), 2, 2);
  RestoreDesktopColours();
  EXPECT_EQ(count, 25) << "the desktop's colour change did not reach the tree";
  EXPECT_EQ(inPlus, rgb(clWhite));
}

TEST_F(DisplayChangeTest, ARealDesktopColourChangeReachesEveryTreeOfEveryFreshWindow) {
  // Nothing is sent by hand first: the desktop's change alone reaches the
  // trees of windows just shown, the first window's and a second one's.
  TInputFixture second(200, 160);
  TInputTree* other = second.Tree;
  other->TreeOptions().SetPaintOptions(other->TreeOptions().PaintOptions() - TDTPaintOptions{toThemeAware});
  other->SetButtonFillMode(fmTreeColor);
  other->SetColor(clYellow);
  second.show();
  TImageList* system = GetCheckImageList(ckSystemDefault);
  ASSERT_NE(system, nullptr);
  system->Clear();
  for (TBitmap* b : {T->PlusBitmap(), other->PlusBitmap()}) {
    b->Canvas()->Brush()->SetColor(clBlack);
    b->Canvas()->FillRect({0, 0, b->Width(), b->Height()});
  }
  ChangeDesktopColours(TColor(0x00E0D0C0));
  F.pump();
  const int count = system->Count();
  const std::uint32_t inPlus = pixel(T->PlusBitmap(), 2, 2);
  const std::uint32_t inOtherPlus = pixel(other->PlusBitmap(), 2, 2);
  RestoreDesktopColours();
  F.pump();
  EXPECT_EQ(count, 25) << "the desktop's colour change did not reach the trees";
  EXPECT_EQ(inPlus, rgb(clWhite));
  EXPECT_EQ(inOtherPlus, rgb(clYellow)) << "the second window's tree";
}

TEST_F(DisplayChangeTest, TheOwnerNamesANodesPicture) {
  PDataNode a = F.add(nullptr, "alpha");
  EXPECT_EQ(T->DoGetImageText(a, ikNormal, NoColumn), u"") << "nothing without a handler";
  std::vector<std::string> asked;
  T->OnGetImageText = [&](TBaseDataTree* t, PDataNode n, TDTImageKind kind, TColumnIndex column, String& text) {
    asked.push_back(F.caption(n) + " " + std::to_string(int(kind)) + " " + std::to_string(column));
    text = u"picture of " + itemOf(t, n)->Caption;
  };
  EXPECT_EQ(T->DoGetImageText(a, ikSelected, 0), u"picture of alpha");
  EXPECT_EQ(asked, (std::vector<std::string>{"alpha " + std::to_string(int(ikSelected)) + " 0"}));

  // A handler that deletes the node it is asked about: the node goes once
  // the question is answered, not under the asker.
  T->OnGetImageText = [](TBaseDataTree* t, PDataNode n, TDTImageKind, TColumnIndex, String& text) {
    t->DeleteNode(n);
    text = itemOf(t, n)->Caption;
  };
  EXPECT_EQ(T->DoGetImageText(a, ikNormal, NoColumn), u"alpha");
  F.pump();
  EXPECT_EQ(T->RootNodeCount(), 0u);
}

}  // namespace
