// Hints: the control decides in CM_HINTSHOW, may bring its own window
// class, and the hint ends on a key press.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/hints.h"

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

}  // namespace
