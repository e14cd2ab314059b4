// Hints: the control decides in CM_HINTSHOW, may bring its own window
// class, and the hint ends on a key press.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/forms.h"
#include "platform/gui/hints.h"
#include "platform/gui/testing.h"

namespace {

using namespace guitest;

struct Shown {
  int Activations = 0;
  String Text;
  void* Data = nullptr;
  TRect Rect;
  int Released = 0;
};

class RecordingHintWindow : public THintWindow {
public:
  RecordingHintWindow(TComponent* owner, Shown* shown) : THintWindow(owner), FShown(shown) {}
  void ActivateHintData(TRect r, const String& hint, void* data) override {
    ++FShown->Activations;
    FShown->Text = hint;
    FShown->Data = data;
    FShown->Rect = r;
    THintWindow::ActivateHintData(r, hint, data);
  }
  void ReleaseHandle() override {
    if (Active()) ++FShown->Released;
    THintWindow::ReleaseHandle();
  }

private:
  Shown* FShown;
};

using GuiHints = FormFixture;

TEST_F(GuiHints, ControlChoosesTextWindowClassAndDataAndAKeyEndsTheHint) {
  Shown shown;
  int data = 42;
  Ctl->SetHint(u"plain hint");
  Ctl->SetShowHint(true);
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg != CM_HINTSHOW) return;
    auto* info = reinterpret_cast<THintInfo*>(m.LParam);
    EXPECT_EQ(info->HintControl, Ctl);
    EXPECT_EQ(info->CursorPos, TPoint(15, 25));
    info->HintStr = u"cell text";
    info->HintData = &data;
    info->HintWindowClass = [&](TComponent* owner) { return new RecordingHintWindow(owner, &shown); };
  };
  InjectHintRequest(Ctl, {15, 25});
  ASSERT_EQ(shown.Activations, 1);
  EXPECT_EQ(shown.Text, u"cell text");
  EXPECT_EQ(shown.Data, &data);
  EXPECT_GT(shown.Rect.Width(), 10);
  EXPECT_GT(shown.Rect.Height(), 5);
  InjectKeyStroke(Ctl->Handle(), 'A', {}, u"a");
  EXPECT_EQ(shown.Released, 1);
}

TEST_F(GuiHints, NoHintWhenTheControlSaysNoOrHasNone) {
  Shown shown;
  Ctl->SetHint(u"hint");
  Ctl->SetShowHint(true);
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg != CM_HINTSHOW) return;
    reinterpret_cast<THintInfo*>(m.LParam)->HintWindowClass = [&](TComponent* owner) {
      return new RecordingHintWindow(owner, &shown);
    };
    m.Result = 1;
  };
  InjectHintRequest(Ctl, {5, 5});
  EXPECT_EQ(shown.Activations, 0);
  Ctl->OnMessage = nullptr;
  Ctl->SetShowHint(false);
  int asked = 0;
  Ctl->OnMessage = [&](TMessage& m) { asked += m.Msg == CM_HINTSHOW; };
  InjectHintRequest(Ctl, {5, 5});
  EXPECT_EQ(asked, 0);  // a control that shows no hints is not asked
}

// The pause before a hint is the application's, as the control's
// CM_HINTSHOWPAUSE leaves it; a hint that was just showing makes the next
// one come after the short pause; the request comes when the timer runs out.
TEST_F(GuiHints, TheMouseRestingForThePauseAsksForTheHint) {
  Ctl->SetHint(u"plain hint");
  Ctl->SetShowHint(true);
  Application->SetHintPause(700);
  Application->SetHintShortPause(40);
  int asked = 0, pauseAsked = 0;
  bool showingWhenAsked = true;
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg == CM_HINTSHOW) {
      ++asked;
      reinterpret_cast<THintInfo*>(m.LParam)->CursorRect = {0, 0, 50, 50};
    }
    if (m.Msg == CM_HINTSHOWPAUSE) {
      ++pauseAsked;
      showingWhenAsked = m.WParam != 0;
    }
  };
  int pause = -1;
  InjectMouse(Ctl->Handle(), imMove, mbLeft, {10, 10}, {});
  pump();
  ASSERT_TRUE(HintTimerPending(pause));
  EXPECT_EQ(pause, 700);
  EXPECT_EQ(pauseAsked, 1);
  EXPECT_FALSE(showingWhenAsked);
  EXPECT_EQ(asked, 0) << "nothing is asked before the pause is over";
  FireHintTimer();
  EXPECT_EQ(asked, 1);
  ASSERT_NE(ApplicationHintWindow(), nullptr);
  EXPECT_FALSE(HintTimerPending(pause));

  // Inside the hint's cursor rectangle the hint stays; outside it goes and
  // the next one follows after the short pause.
  InjectMouse(Ctl->Handle(), imMove, mbLeft, {20, 20}, {});
  pump();
  EXPECT_NE(ApplicationHintWindow(), nullptr);
  InjectMouse(Ctl->Handle(), imMove, mbLeft, {120, 60}, {});
  pump();
  EXPECT_EQ(ApplicationHintWindow(), nullptr);
  ASSERT_TRUE(HintTimerPending(pause));
  EXPECT_EQ(pause, 40);
  EXPECT_TRUE(showingWhenAsked);

  // The control may change the pause: none at all asks at once.
  asked = 0;
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg == CM_HINTSHOWPAUSE) *reinterpret_cast<int*>(m.LParam) = 0;
    if (m.Msg == CM_HINTSHOW) ++asked;
  };
  Application->CancelHint();
  InjectMouse(Ctl->Handle(), imMove, mbLeft, {130, 70}, {});
  pump();
  EXPECT_EQ(asked, 1);
  // A click ends the wait.
  Ctl->OnMessage = nullptr;
  Application->CancelHint();
  InjectMouse(Ctl->Handle(), imMove, mbLeft, {140, 70}, {});
  ASSERT_TRUE(HintTimerPending(pause));
  InjectMouse(Ctl->Handle(), imDown, mbLeft, {130, 70}, {});
  InjectMouse(Ctl->Handle(), imUp, mbLeft, {130, 70}, {});
  pump();
  EXPECT_FALSE(HintTimerPending(pause));
}

TEST_F(GuiHints, AReshowTimeAsksAgainAndHintsUseTheDesktopHintFont) {
  ASSERT_NE(Screen, nullptr);
  EXPECT_FALSE(Screen->HintFont()->Name().empty());
  THintWindow probe(nullptr);
  EXPECT_EQ(probe.Font()->Name(), Screen->HintFont()->Name());

  Ctl->SetHint(u"plain hint");
  Ctl->SetShowHint(true);
  int asked = 0;
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg != CM_HINTSHOW) return;
    ++asked;
    reinterpret_cast<THintInfo*>(m.LParam)->ReshowTimeout = 300;
  };
  InjectHintRequest(Ctl, {15, 25});
  EXPECT_EQ(asked, 1);
  int pause = -1;
  ASSERT_TRUE(HintTimerPending(pause));
  EXPECT_EQ(pause, 300);
  FireHintTimer();
  EXPECT_EQ(asked, 2);
}

}  // namespace
