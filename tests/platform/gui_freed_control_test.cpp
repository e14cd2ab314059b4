// Controls freed after leaving their form: the form forgets them.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/forms.h"

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
