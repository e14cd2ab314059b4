// The main window cannot be made so small that its buttons and the article
// are cut off.
#include "platform/core/strings.h"
#include "tests/app/main_form_util.h"

namespace {

class WindowSize : public apptest::MainWindow {};

// True when Control lies wholly inside its parent's client area.
bool inside(TControl* c) {
  const TRect r = c->Parent()->ClientRect();
  return c->Left() >= 0 && c->Top() >= 0 && c->Left() + c->Width() <= r.Width() &&
         c->Top() + c->Height() <= r.Height();
}

TEST_F(WindowSize, ASmallSizeIsHeldAtTheMinimumWhereEverythingFits) {
  // A tiny size stored in the settings is not taken either.
  apptest::writeFile(Dir / "other/settings", "MainFormWidth=300;\r\nMainFormHeight=200;\r\n");
  Start();
  Form->Show();
  EXPECT_GE(Form->Width(), 600);
  EXPECT_GE(Form->Height(), 400);
  Form->SetBounds(Form->Left(), Form->Top(), 400, 300);
  EXPECT_EQ(Form->Width(), 600);
  EXPECT_EQ(Form->Height(), 400);
  for (TControl* c : {static_cast<TControl*>(Form->Panel1), static_cast<TControl*>(Form->Panel2),
                      static_cast<TControl*>(Form->QueryCombo), static_cast<TControl*>(Form->SearchButton),
                      static_cast<TControl*>(Form->vst), static_cast<TControl*>(Form->DictsButton),
                      static_cast<TControl*>(Form->OptionsButton), static_cast<TControl*>(Form->HTMLOut),
                      static_cast<TControl*>(Form->BufferButton), static_cast<TControl*>(Form->SaveButton),
                      static_cast<TControl*>(Form->PrintButton), static_cast<TControl*>(Form->HintLabel)})
    EXPECT_TRUE(inside(c)) << UTF16ToUTF8(c->Name()) << " " << c->Left() << "," << c->Top() << " " << c->Width()
                           << "x" << c->Height();
  EXPECT_GE(Form->vst->Height(), 100);
  EXPECT_GE(Form->HTMLOut->Height(), 200);
  // Larger sizes are the user's.
  Form->SetBounds(Form->Left(), Form->Top(), 700, 450);
  EXPECT_EQ(Form->Width(), 700);
  EXPECT_EQ(Form->Height(), 450);
}

}  // namespace
