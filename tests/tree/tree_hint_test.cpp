// Tree hints: which text for which hint mode, tool tips only for captions
// their column cuts off, the pause the tree asks for, the window kept on
// its monitor, and the fade's blend and shadow.
#include <gtest/gtest.h>

#include "platform/gui/hints.h"
#include "tests/tree/tree_input_util.h"
#include "tree/hint_window.h"

using namespace inputtest;

namespace {

class HintTest : public ::testing::Test {
protected:
  TInputFixture F{240, 200};
  TInputTree* T = F.Tree;
  PDataNode Long = nullptr, Short = nullptr;

  void SetUp() override {
    Long = F.add(nullptr, "a caption far too long for its narrow column");
    Short = F.add(nullptr, "ok");
    TDataTreeColumn* col = T->Header().Columns().Add();
    col->SetWidth(80);
    T->Header().Columns().Add()->SetWidth(100);
    T->Header().SetOptions(T->Header().Options() + TDTHeaderOptions{hoVisible});
    T->SetShowHint(true);
    T->SetHint(u"the tree's own hint");
    T->SetHintAnimation(hatNone);
    F.show();
  }
  void TearDown() override { Application->CancelHint(); }

  // The mouse comes to p anew (from outside the tree) and rests there.
  TDataTreeHintWindow* hintAt(TPoint p) {
    Application->CancelHint();
    T->Perform(CM_MOUSELEAVE, 0, 0);
    InjectHintRequest(T, p);
    return dynamic_cast<TDataTreeHintWindow*>(ApplicationHintWindow());
  }
  TPoint textPoint(PDataNode n) {
    TRect r = T->GetDisplayRect(n, 0, true);
    return {r.Left + 3, (r.Top + r.Bottom) / 2};
  }
};

TEST_F(HintTest, ToolTipShowsOnlyTheCaptionsItsColumnCutsOffLaidOverTheText) {
  T->SetHintMode(hmTooltip);
  TDataTreeHintWindow* w = hintAt(textPoint(Long));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->HintData().HintText, u"a caption far too long for its narrow column");
  EXPECT_EQ(w->HintData().Node, Long);
  EXPECT_EQ(w->HintData().LineBreakStyle, hlbForceSingleLine);
  const TRect full = T->GetDisplayRect(Long, 0, true, true);
  const TPoint at = T->ClientToScreen({full.Left - 1, full.Top - 1});
  EXPECT_EQ(w->Left(), at.x);
  EXPECT_EQ(w->Top(), at.y);
  EXPECT_GT(w->Width(), 80) << "as wide as the whole text";
  EXPECT_TRUE(T->TreeStates().Contains(tsHint));

  EXPECT_EQ(hintAt(textPoint(Short)), nullptr) << "a caption that fits shows no tool tip";
  EXPECT_FALSE(T->TreeStates().Contains(tsHint));
  // Beside the text, in the empty part of a row, there is nothing to show.
  TRect row = T->GetDisplayRect(Short, 1, false);
  EXPECT_EQ(hintAt({row.Left + 50, (row.Top + row.Bottom) / 2}), nullptr);

  // The owner's hint text replaces the cell's.
  T->OnGetHint = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTooltipLineBreakStyle&, String& text) {
    text = u"owner's tip";
  };
  w = hintAt(textPoint(Long));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->HintData().HintText, u"owner's tip");
}

TEST_F(HintTest, HintModesChooseTheText) {
  T->SetHintMode(hmDefault);
  TDataTreeHintWindow* w = hintAt(textPoint(Short));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->HintData().HintText, u"the tree's own hint");
  EXPECT_EQ(w->HintData().Node, nullptr);

  T->SetHintMode(hmHint);
  w = hintAt(textPoint(Short));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->HintData().HintText, u"the tree's own hint") << "without OnGetHint the node's hint is the control's";
  T->OnGetHint = [this](TBaseDataTree*, PDataNode n, TColumnIndex c, TDTTooltipLineBreakStyle&, String& text) {
    text = u"hint of " + itemOf(T, n)->Caption + u" in " + String(1, char16_t(u'0' + c));
  };
  w = hintAt(textPoint(Short));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->HintData().HintText, u"hint of ok in 0");
  EXPECT_EQ(w->HintData().Node, Short);
  // The same place decided once is not asked again until the mouse leaves it.
  EXPECT_TRUE(T->LastHintRect().Contains(textPoint(Short)));
  Application->CancelHint();
  InjectHintRequest(T, textPoint(Short));
  EXPECT_EQ(ApplicationHintWindow(), nullptr);

  // Below the nodes: the default hint only with hmHintAndDefault.
  const TPoint below{20, T->ClientHeight() - 5};
  T->SetHintMode(hmHint);
  EXPECT_EQ(hintAt(below), nullptr);
  T->SetHintMode(hmHintAndDefault);
  w = hintAt(below);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->HintData().HintText, u"the tree's own hint");
}

TEST_F(HintTest, ToolTipsComeWithoutPauseAndHintsAfterTheApplicationsPause) {
  Application->SetHintPause(600);
  T->SetHintMode(hmHint);
  int pause = -1;
  InjectMouse(T->Handle(), imMove, mbLeft, textPoint(Short), {});
  ASSERT_TRUE(HintTimerPending(pause));
  EXPECT_EQ(pause, 600);
  T->SetHintMode(hmTooltip);
  Application->CancelHint();
  TPoint p = textPoint(Long);
  InjectMouse(T->Handle(), imMove, mbLeft, {p.x + 1, p.y}, {});
  ASSERT_TRUE(HintTimerPending(pause));
  EXPECT_EQ(pause, 0);
  FireHintTimer();
  auto* w = dynamic_cast<TDataTreeHintWindow*>(ApplicationHintWindow());
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->HintData().Node, Long);
}

TEST_F(HintTest, AHintPastTheMonitorEdgeIsMovedBackOnIt) {
  ASSERT_NE(Screen, nullptr);
  const TRect m = Screen->MonitorRect({0, 0, 10, 10});
  TDataTreeHintWindow w(nullptr);
  TRect r = w.CalcHintRect(200, u"a hint", nullptr);
  ASSERT_FALSE(r.IsEmpty());
  OffsetRect(r, m.Right - r.Width() / 2, m.Bottom - 2);
  w.ActivateHint(r, u"a hint");
  EXPECT_EQ(w.Left() + w.Width(), m.Right);
  EXPECT_EQ(w.Top() + w.Height(), m.Bottom);
  OffsetRect(r, -m.Right - 50, -m.Bottom - 50);
  w.ActivateHint(r, u"a hint");
  EXPECT_EQ(w.Left(), m.Left);
  EXPECT_EQ(w.Top(), m.Top);
}

TEST_F(HintTest, FadeBlendsTheHintOverTheScreenAndTheShadowDarkensIt) {
  T->SetHintMode(hmTooltip);
  TDataTreeHintWindow* w = hintAt(textPoint(Long));
  ASSERT_NE(w, nullptr);
  T->SetHintAnimation(hatFade);
  // A known screen beneath: mid grey.
  TBitmap& back = w->Background();
  for (int y = 0; y < back.Height(); ++y) {
    auto* row = static_cast<std::uint32_t*>(back.ScanLine(y));
    for (int x = 0; x < back.Width(); ++x) row[x] = 0xFF808080u;
  }
  w->InternalPaint(0, 1);
  const std::uint32_t target = static_cast<std::uint32_t*>(w->Target().ScanLine(3))[2] & 0xFFFFFF;
  w->InternalPaint(255, 1);
  const std::uint32_t done = static_cast<std::uint32_t*>(w->DrawBuffer().ScanLine(3))[2] & 0xFFFFFF;
  EXPECT_EQ(done, target);
  w->InternalPaint(128, 1);
  const std::uint32_t half = static_cast<std::uint32_t*>(w->DrawBuffer().ScanLine(3))[2];
  for (int ch = 0; ch < 3; ++ch) {
    const int t = int((target >> (8 * ch)) & 0xFF), b = 0x80, h = int((half >> (8 * ch)) & 0xFF);
    EXPECT_NEAR(h, (t + b) / 2, 2) << "channel " << ch;
  }
  // The shadow's outermost line darkens the grey a little, its innermost more.
  const int bottom = w->DrawBuffer().Height() - 1;
  const int x = w->DrawBuffer().Width() / 2;
  const int outer = int(static_cast<std::uint32_t*>(w->DrawBuffer().ScanLine(bottom))[x] & 0xFF);
  const int inner = int(static_cast<std::uint32_t*>(w->DrawBuffer().ScanLine(bottom - 4))[x] & 0xFF);
  EXPECT_LT(outer, 0x80);
  EXPECT_LT(inner, outer);
}

TEST_F(HintTest, DestroyingTheTreeUnderItsHintLeavesNothingBehind) {
  T->SetHintMode(hmTooltip);
  ASSERT_NE(hintAt(textPoint(Long)), nullptr);
  delete F.Form;
  F.Form = new TForm(nullptr);  // the fixture frees a form at the end
  TInputFixture::pump();
  InjectMouse(F.Form->Handle(), imMove, mbLeft, {5, 5}, {});
  TInputFixture::pump();
  Application->CancelHint();
  SUCCEED();
}

// The hint window outlives its tree: a tree that goes as its hint starts
// (here from the state report of the hint's animation) is not asked for
// anything when the window paints or animates.
TEST_F(HintTest, AHintWhoseTreeWentBeforeItsFirstPaintPaintsWithoutIt) {
  T->SetHintMode(hmTooltip);
  T->SetHintAnimation(hatFade);
  T->SetAnimationDuration(40);
  TForm* form = F.Form;
  bool gone = false;
  T->OnStateChange = [&](TBaseDataTree*, TDataTreeStates enter, TDataTreeStates) {
    if (!gone && enter.Contains(tsInAnimation)) {
      gone = true;
      delete form;
    }
  };
  const TPoint p = textPoint(Long);
  Application->CancelHint();
  T->Perform(CM_MOUSELEAVE, 0, 0);
  F.Form = new TForm(nullptr);  // the fixture frees a form at the end
  InjectHintRequest(T, p);
  EXPECT_TRUE(gone);
  TInputFixture::pump();
  if (auto* w = dynamic_cast<TDataTreeHintWindow*>(ApplicationHintWindow())) {
    w->Repaint();
    w->InternalPaint(0, 0);
    w->InternalPaint(128, 1);
  }
  TInputFixture::pump();
  Application->CancelHint();
}

}  // namespace
