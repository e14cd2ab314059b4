// Stock controls whose state the program reads back: radio groups, list
// boxes with several selected items, memo lines and text, combo box text.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

namespace {

using namespace guitest;

struct GuiStdCtrls : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->Show();
  }
  void TearDown() override { delete Form; }
  template <class T>
  T* make(int l, int t, int w, int h) {
    auto* c = new T(Form);
    c->SetParent(Form);
    c->SetBounds(l, t, w, h);
    return c;
  }
  TForm* Form = nullptr;
};

TEST_F(GuiStdCtrls, RadioButtonsOfOneParentExcludeEachOther) {
  auto* a = make<TRadioButton>(10, 10, 100, 20);
  auto* b = make<TRadioButton>(10, 40, 100, 20);
  auto* panel = make<TPanel>(150, 10, 100, 100);
  auto* other = new TRadioButton(Form);
  other->SetParent(panel);
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  other->SetChecked(true);
  a->SetChecked(true);
  b->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(b->Checked());
  EXPECT_TRUE(other->Checked());  // another parent, another group
  EXPECT_EQ(clicks, 1);
  // The user's click on a checks it and unchecks b.
  InjectMouse(a->Handle(), imDown, mbLeft, {6, 10}, {});
  InjectMouse(a->Handle(), imUp, mbLeft, {6, 10}, {});
  EXPECT_TRUE(a->Checked());
  EXPECT_FALSE(b->Checked());
}

TEST_F(GuiStdCtrls, ListBoxKeepsSelectionsSetBeforeAndAfterItsWindow) {
  auto* list = new TListBox(Form);  // no parent yet: no window
  list->SetMultiSelect(true);
  list->Items()->Add(u"one");
  list->Items()->Add(u"two");
  list->Items()->Add(u"three");
  list->SetSelected(0, true);
  list->SetSelected(2, true);
  list->SetParent(Form);
  list->SetBounds(10, 10, 100, 80);
  ASSERT_TRUE(list->HandleAllocated());
  EXPECT_TRUE(list->Selected(0));
  EXPECT_FALSE(list->Selected(1));
  EXPECT_TRUE(list->Selected(2));
  EXPECT_EQ(list->SelCount(), 2);
  list->SetSelected(2, false);
  EXPECT_EQ(list->SelCount(), 1);
  EXPECT_THROW(list->Selected(3), EListError);
}

TEST_F(GuiStdCtrls, MemoLinesAndTextFollowEachOther) {
  auto* memo = make<TMemo>(10, 10, 200, 100);
  int changes = 0;
  memo->OnChange = [&](TObject*) { ++changes; };
  memo->Lines()->Add(u"first");
  memo->Lines()->Add(u"second");
  EXPECT_EQ(memo->Text(), u"first\r\nsecond");
  EXPECT_GE(changes, 1);
  memo->SetText(u"a\r\nb\r\nc");
  ASSERT_EQ(memo->Lines()->Count(), 3);
  EXPECT_EQ(memo->Lines()->Strings(2), u"c");
  // Typing goes into the lines too.
  InjectFocus(memo->Handle());
  memo->SetSelStart(int(memo->Text().size()));
  InjectKeyStroke(memo->Handle(), 'D', {}, u"d");
  EXPECT_EQ(memo->Lines()->Strings(2), u"cd");
}

TEST_F(GuiStdCtrls, EditAndComboTextFireOnChangeFromCodeAndTyping) {
  auto* edit = make<TEdit>(10, 10, 120, 22);
  auto* combo = make<TComboBox>(10, 40, 120, 22);
  combo->Items()->Add(u"alpha");
  combo->Items()->Add(u"beta");
  int editChanges = 0, comboChanges = 0;
  edit->OnChange = [&](TObject*) { ++editChanges; };
  combo->OnChange = [&](TObject*) { ++comboChanges; };
  edit->SetText(u"word");
  EXPECT_EQ(editChanges, 1);
  EXPECT_FALSE(edit->Modified());  // set by the program, not typed
  InjectFocus(edit->Handle());
  edit->SetSelStart(4);
  InjectKeyStroke(edit->Handle(), 'S', {}, u"s");
  EXPECT_EQ(edit->Text(), u"words");
  EXPECT_EQ(editChanges, 2);
  EXPECT_TRUE(edit->Modified());
  // A key handler that swallows the character keeps it out of the edit.
  edit->OnKeyPress = [](TObject*, char16_t& k) {
    if (k == u'x') k = 0;
  };
  InjectKeyStroke(edit->Handle(), 'X', {}, u"x");
  EXPECT_EQ(edit->Text(), u"words");
  combo->SetText(u"gamma");
  EXPECT_EQ(combo->Text(), u"gamma");
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->SetItemIndex(1);
  EXPECT_EQ(combo->Text(), u"beta");
  EXPECT_GE(comboChanges, 1);
  // Typing over the chosen item and then adding to the list (as completion
  // does while the user types) keeps the typed text.
  InjectFocus(combo->Handle());
  InjectKeyStroke(combo->Handle(), 'S', {}, u"s");
  ASSERT_EQ(combo->Text(), u"betas");
  combo->Items()->Add(u"betamax");
  EXPECT_EQ(combo->Text(), u"betas");
  combo->Items()->Clear();
  combo->Items()->Add(u"bee");
  EXPECT_EQ(combo->Text(), u"betas");
}

TEST_F(GuiStdCtrls, ComboInlineCompletionFollowsAutoComplete) {
  auto* combo = make<TComboBox>(10, 40, 120, 22);
  combo->Items()->Add(u"handle");
  auto typeHa = [&] {
    combo->SetText(String());
    InjectFocus(combo->Handle());
    InjectKeyStroke(combo->Handle(), 'H', {}, u"h");
    InjectKeyStroke(combo->Handle(), 'A', {}, u"a");
  };
  typeHa();
  EXPECT_EQ(combo->Text(), u"handle");  // completed from the items
  combo->SetAutoComplete(false);
  typeHa();
  EXPECT_EQ(combo->Text(), u"ha");
  combo->SetAutoComplete(true);
  typeHa();
  EXPECT_EQ(combo->Text(), u"handle");
}

TEST_F(GuiStdCtrls, LabelSizesToItsCaptionAndFont) {
  auto* label = make<TLabel>(10, 10, 5, 5);
  label->SetCaption(u"www.example.org");
  int plain = label->Width();
  EXPECT_GT(plain, 40);
  EXPECT_GT(label->Height(), 5);
  label->Font()->SetStyle({fsBold});
  EXPECT_GT(label->Width(), plain);  // bold text is wider
  label->Font()->SetStyle({fsUnderline});
  EXPECT_EQ(label->Width(), plain);
  label->SetCursor(crHandPoint);
  EXPECT_EQ(label->Cursor(), crHandPoint);
  // A label follows its parent's font until it gets its own.
  auto* panel = make<TPanel>(10, 50, 200, 50);
  auto* inner = new TLabel(Form);
  inner->SetParent(panel);
  inner->SetCaption(u"x");
  panel->Font()->SetName(u"DejaVu Serif");
  EXPECT_EQ(inner->Font()->Name(), u"DejaVu Serif");
  inner->Font()->SetName(u"DejaVu Sans");
  panel->Font()->SetName(u"DejaVu Sans Mono");
  EXPECT_EQ(inner->Font()->Name(), u"DejaVu Sans");
  EXPECT_FALSE(inner->ParentFont());
}

TEST_F(GuiStdCtrls, TabControlKeepsItsTabIndexWithinItsTabs) {
  auto* tabs = make<TTabControl>(10, 10, 200, 100);
  EXPECT_EQ(tabs->TabIndex(), -1);
  tabs->Tabs()->Add(u"one");
  tabs->Tabs()->Add(u"two");
  EXPECT_EQ(tabs->TabIndex(), 0);
  tabs->SetTabIndex(1);
  EXPECT_EQ(tabs->TabIndex(), 1);
  tabs->SetTabIndex(5);  // out of range: ignored
  EXPECT_EQ(tabs->TabIndex(), 1);
  tabs->Tabs()->Delete(1);
  EXPECT_EQ(tabs->TabIndex(), 0);
  EXPECT_LT(tabs->ClientRect().Height(), 100 - tabs->TabHeight() + 1);
}

TEST_F(GuiStdCtrls, MenuRadioItemsCheckOnlyOneOfTheirGroup) {
  TPopupMenu menu(nullptr);
  TMenuItem* items[3];
  for (auto*& i : items) {
    i = new TMenuItem(&menu);
    i->SetRadioItem(true);
    i->SetAutoCheck(true);
    menu.Items()->Add(i);
  }
  items[2]->SetGroupIndex(1);
  items[0]->SetChecked(true);
  items[2]->SetChecked(true);
  items[1]->Click();
  EXPECT_FALSE(items[0]->Checked());
  EXPECT_TRUE(items[1]->Checked());
  EXPECT_TRUE(items[2]->Checked());  // another group
  EXPECT_EQ(items[1]->MenuIndex(), 1);
  EXPECT_THROW(menu.Items()->Delete(7), EListError);
  menu.Items()->Delete(0);
  EXPECT_EQ(menu.Items()->Count(), 2);
}

}  // namespace

namespace {

TEST(GuiStdCtrlsAlone, ControlWithoutParentOrApplicationStillGetsAWindow) {
  // First use of the layer may be a stock control on its own.
  TEdit edit(nullptr);
  edit.HandleNeeded();
  ASSERT_TRUE(edit.HandleAllocated());
  edit.SetText(u"alone");
  edit.SelectAll();
  EXPECT_EQ(edit.SelLength(), 5);
}

}  // namespace
