// A control's window asked for before its parents have theirs: the parents'
// windows are made first, with their children's in their order, and what
// the program sees is what it sees when the form is shown first.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/forms.h"

// True when the session draws offscreen (no display).
bool IsHeadless();

namespace {

using namespace guitest;

struct TChain {
  TForm* Form = nullptr;
  Recorder* Panel = nullptr;
  Recorder* Below = nullptr;
  Recorder* Above = nullptr;
  TChain() {
    Form = new TForm(nullptr);
    Form->SetBounds(30, 30, 300, 200);
    Panel = new Recorder(Form);
    Panel->SetParent(Form);
    Panel->SetBounds(10, 10, 200, 150);
    // Two overlapping children: the later one lies over the earlier.
    Below = new Recorder(Form);
    Below->SetParent(Panel);
    Below->SetBounds(10, 10, 100, 100);
    Above = new Recorder(Form);
    Above->SetParent(Panel);
    Above->SetBounds(50, 50, 100, 90);
  }
  ~TChain() { delete Form; }
  HWND AtOverlap() { return WindowFromPoint(Panel->ClientToScreen(TPoint{70, 70})); }
};

}  // namespace

TEST(GuiParentFirst, AWindowAskedForThreeLevelsDownStacksAsWhenTheFormIsShown) {
  Application->Initialize();
  HWND shownFirst = nullptr;
  {
    TChain c;
    c.Form->Show();
    pump();
    shownFirst = c.AtOverlap();
    EXPECT_EQ(shownFirst, c.Above->Handle());
  }
  for (Recorder* TChain::*asked : {&TChain::Below, &TChain::Above}) {
    TChain c;
    Recorder* r = c.*asked;
    HWND h = r->Handle();
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(c.Form->HandleAllocated());
    EXPECT_TRUE(c.Panel->HandleAllocated());
    EXPECT_TRUE(c.Below->HandleAllocated() && c.Above->HandleAllocated());
    EXPECT_FALSE(c.Form->Visible()) << "making the windows shows nothing";
    c.Form->Show();
    pump();
    EXPECT_EQ(r->Handle(), h) << "the window is made once";
    EXPECT_EQ(c.AtOverlap(), c.Above->Handle()) << "the later child lies over the earlier";
  }
}

// The control's window asked for from a handler of its parent's own making
// (the parent's first resize): it is made there, once, and the parent's
// making goes on with the rest.
TEST(GuiParentFirst, AWindowAskedForWhileItsParentsIsMadeIsMadeOnce) {
  Application->Initialize();
  TChain c;
  HWND early = nullptr;
  int asks = 0;
  c.Panel->OnResize = [&](TObject*) {
    if (asks++ == 0) early = c.Above->Handle();
  };
  c.Panel->SetBorderStyle(bsSingle);
  HWND h = c.Below->Handle();
  ASSERT_NE(h, nullptr);
  EXPECT_GT(asks, 0);
  EXPECT_NE(early, nullptr);
  EXPECT_EQ(c.Above->Handle(), early);
  c.Form->Show();
  pump();
  EXPECT_EQ(c.Below->Handle(), h);
}

// A modal form freed from its show handler, or from its loop: the call
// answers "cancelled" and the program's modal level is what it was.
TEST(GuiParentFirst, AModalFormFreedFromItsShowOrItsLoopLeavesNoModalLevel) {
  Application->Initialize();
  if (IsHeadless()) GTEST_SKIP() << "no modal loop without a display";
  for (bool fromLoop : {false, true}) {
    SCOPED_TRACE(fromLoop ? "freed from the loop" : "freed by its show handler");
    // An application told to end runs no modal loop (an earlier test may
    // have told it).
    if (fromLoop && Application->Terminated()) continue;
    const int level = Application->ModalLevel();
    auto* form = new TForm(nullptr);
    form->SetBounds(10, 10, 300, 200);
    auto* c = new Recorder(form);
    c->SetParent(form);
    c->SetBounds(10, 10, 50, 50);
    bool freed = false;
    // The loop's message goes to a window of its own, which outlives the form.
    HWND loop = AllocateHWnd([&](TMessage& m) {
      if (m.Msg != WM_APP + 7 || freed) return;
      freed = true;
      delete form;
    });
    if (fromLoop) {
      form->OnShow = [&](TObject*) { PostMessage(loop, WM_APP + 7, 0, 0); };
    } else {
      form->OnShow = [&](TObject*) {
        freed = true;
        delete form;
      };
    }
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_TRUE(freed);
    EXPECT_EQ(Application->ModalLevel(), level);
    pump();
    DeallocateHWnd(loop);
  }
}
