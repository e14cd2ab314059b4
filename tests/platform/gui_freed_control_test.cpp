// Controls freed after leaving their form: the form forgets them.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/forms.h"

// True when the session draws offscreen (no display).
bool IsHeadless();

namespace {

using namespace guitest;

struct GuiFreedControl : FormFixture {};

}  // namespace

// The form forgets its active control when that control goes, but only
// when the control is still on the form as it goes: one taken off the form
// (or moved to another form) first and then freed stays the form's active
// control, a dangling pointer.
TEST_F(GuiFreedControl, AFormForgetsItsActiveControlFreedAfterLeavingTheForm) {
  for (const bool toOtherForm : {false, true}) {
    SCOPED_TRACE(toOtherForm ? "moved to another form" : "taken off the form");
    auto* c = new Recorder(nullptr);
    c->SetParent(Form);
    c->SetBounds(20, 150, 50, 50);
    pump();
    Form->SetActiveControl(c);
    ASSERT_EQ(Form->ActiveControl(), c);
    TForm* other = toOtherForm ? new TForm(nullptr) : nullptr;
    c->SetParent(other);
    delete c;
    EXPECT_EQ(Form->ActiveControl(), nullptr);
    delete other;
  }
}

// A control's window is made when it first needs one (put on a shown form,
// or its form shown); the making raises the control's events, and a handler
// may free the control then, or the form with it. The caller that asked for
// the window touches nothing of what went.
namespace {

// A control with a frame: its client area shrinks as its window is made,
// which reports a resize.
Recorder* framedControl(std::function<void()> onResize) {
  auto* c = new Recorder(nullptr);
  c->SetBorderStyle(bsSingle);
  c->SetBounds(20, 20, 80, 60);
  c->OnResize = [onResize](TObject*) { onResize(); };
  return c;
}

}  // namespace

TEST_F(GuiFreedControl, AControlFreedByItsOwnResizeWhileItsWindowIsMadeIsLeftAlone) {
  enum TWay { PutOnShownForm, OwnWindowAsked };
  for (TWay way : {PutOnShownForm, OwnWindowAsked}) {
    SCOPED_TRACE(way == PutOnShownForm ? "put on a shown form" : "its window asked for");
    Recorder* c = nullptr;
    bool freed = false;
    c = framedControl([&] {
      if (freed) return;
      freed = true;
      delete c;
    });
    HWND h = reinterpret_cast<HWND>(1);
    if (way == PutOnShownForm)
      c->SetParent(Form);
    else
      h = c->Handle();
    EXPECT_TRUE(freed) << "the control was not resized as its window was made";
    if (way == OwnWindowAsked) {
      EXPECT_EQ(h, nullptr);
    }
    EXPECT_EQ(Form->ControlCount(), 1);  // the fixture's control only
    pump();
  }
}

// The form shown makes its controls' windows: a control's resize frees the
// form (and the control with it) on the way; or the form's own show handler
// frees it.
TEST(GuiFreedControlForm, AFormFreedWhileItIsShownIsLeftAlone) {
  Application->Initialize();
  for (bool byShowHandler : {false, true}) {
    SCOPED_TRACE(byShowHandler ? "the form's show handler" : "a control's resize");
    auto* form = new TForm(nullptr);
    form->SetBounds(10, 10, 300, 200);
    bool freed = false;
    auto doom = [&] {
      if (freed) return;
      freed = true;
      delete form;
    };
    Recorder* c = framedControl(byShowHandler ? std::function<void()>([] {}) : std::function<void()>(doom));
    c->SetParent(form);
    if (byShowHandler) form->OnShow = [&](TObject*) { doom(); };
    form->Show();
    EXPECT_TRUE(freed);
    pump();
  }
}

// The same for a form shown modally: the call answers "cancelled".
TEST(GuiFreedControlForm, AModalFormFreedWhileItsWindowsAreMadeAnswersCancel) {
  Application->Initialize();
  if (IsHeadless()) GTEST_SKIP() << "no modal loop without a display";
  auto* form = new TForm(nullptr);
  form->SetBounds(10, 10, 300, 200);
  bool freed = false;
  Recorder* c = framedControl([&] {
    if (freed) return;
    freed = true;
    delete form;
  });
  c->SetParent(form);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_TRUE(freed);
  pump();
}

// A control's window asked for while its form has none: the form's windows
// are made first, and a handler of that frees the form (and the control
// with it).
TEST(GuiFreedControlForm, AControlWhoseFormIsFreedWhileItsWindowsAreMadeIsLeftAlone) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBounds(10, 10, 300, 200);
  bool freed = false;
  Recorder* doomed = framedControl([&] {
    if (freed) return;
    freed = true;
    delete form;
  });
  doomed->SetParent(form);
  auto* asked = new Recorder(form);
  asked->SetParent(form);
  asked->SetBounds(120, 20, 80, 60);
  EXPECT_EQ(asked->Handle(), nullptr);
  EXPECT_TRUE(freed);
  pump();
}

// Without handlers in the way, a control's window asked for before its
// form's is made once, with the form's (it was made a second time over the
// first, which stayed on the form).
TEST(GuiFreedControlForm, AControlsWindowAskedForBeforeItsFormsIsMadeOnce) {
  struct Counted : Recorder {
    using Recorder::Recorder;
    int Made = 0;
    void CreateWnd() override {
      const bool had = HandleAllocated();
      Recorder::CreateWnd();
      if (!had && HandleAllocated()) ++Made;
    }
  };
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBounds(10, 10, 300, 200);
  auto* c = new Counted(form);
  c->SetParent(form);
  c->SetBounds(20, 20, 80, 60);
  HWND h = c->Handle();
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(form->HandleAllocated());
  EXPECT_EQ(c->Handle(), h);
  EXPECT_EQ(c->Made, 1);
  delete form;
}
