// Components and stock controls: ownership and removal notices, check boxes
// clicking from code, the dialog hook, the default exception handler, timers
// and pop-up menus.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

// True when the session draws offscreen (no display).
bool IsHeadless();

namespace {

using namespace guitest;

// Counts its own destruction and remembers removal notices.
class Probe : public TComponent {
public:
  Probe(TComponent* owner, int* destroyed) : TComponent(owner), FDestroyed(destroyed) {}
  ~Probe() override { ++*FDestroyed; }
  std::vector<TComponent*> Removed;

protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove) Removed.push_back(c);
  }

private:
  int* FDestroyed;
};

// Answers every dialog with a fixed result and records what was asked.
struct HookScope {
  explicit HookScope(std::function<bool(TDialogRequest&, int&)> h) { Old = SetDialogHook(std::move(h)); }
  ~HookScope() { SetDialogHook(Old); }
  TDialogHook Old;
};

TEST(GuiComponents, OwnerFreesWhatItOwnsAndNeighboursHearOfRemovals) {
  int destroyed = 0;
  auto* owner = new TComponent(nullptr);
  auto* a = new Probe(owner, &destroyed);
  auto* b = new Probe(owner, &destroyed);
  a->SetName(u"A");
  EXPECT_EQ(owner->FindComponent(u"A"), a);
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete b;
  EXPECT_EQ(owner->ComponentCount(), 1);
  ASSERT_EQ(a->Removed.size(), 1u);  // a sibling's removal is announced to the others
  EXPECT_EQ(a->Removed[0], b);
  delete owner;
  EXPECT_EQ(destroyed, 2);
}

TEST(GuiComponents, FreeNotificationReachesComponentsOfOtherOwners) {
  int destroyed = 0;
  auto* watcher = new Probe(nullptr, &destroyed);
  auto* watched = new Probe(nullptr, &destroyed);
  watched->FreeNotification(watcher);
  delete watched;
  ASSERT_EQ(watcher->Removed.size(), 1u);
  EXPECT_EQ(watcher->Removed[0], watched);
  delete watcher;
}

TEST(GuiComponents, ControlForgetsAPopupMenuThatIsFreed) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  auto* menu = new TPopupMenu(nullptr);
  panel->SetPopupMenu(menu);
  delete menu;
  EXPECT_EQ(panel->PopupMenu(), nullptr);
  delete form;
}

TEST(GuiComponents, FormFreesItsControlsWithTheirWindows) {
  Application->Initialize();
  int destroyed = 0;
  auto* form = new TForm(nullptr);
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  auto* edit = new TEdit(form);
  edit->SetParent(panel);
  new Probe(form, &destroyed);
  form->Show();
  HWND pw = panel->Handle(), ew = edit->Handle();
  EXPECT_TRUE(IsWindow(pw));
  EXPECT_TRUE(IsWindow(ew));
  delete form;
  EXPECT_FALSE(IsWindow(pw));
  EXPECT_FALSE(IsWindow(ew));
  EXPECT_EQ(destroyed, 1);
}

TEST(GuiComponents, CheckBoxClicksWhenCheckedFromCodeAndByTheUser) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  auto* box = new TCheckBox(form);
  box->SetParent(form);
  box->SetCaption(u"Option");
  form->Show();
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  box->SetChecked(true);
  EXPECT_EQ(clicks, 1);
  box->SetChecked(true);  // no change, no click
  EXPECT_EQ(clicks, 1);
  // The user's click toggles it back and clicks once more.
  InjectMouse(box->Handle(), imDown, mbLeft, {6, 8}, {});
  InjectMouse(box->Handle(), imUp, mbLeft, {6, 8}, {});
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(clicks, 2);
  delete form;
}

TEST(GuiComponents, DialogHookAnswersMessageBoxesFormsFileDialogsAndMenus) {
  Application->Initialize();
  std::vector<TDialogKind> asked;
  HookScope hook([&](TDialogRequest& r, int& result) {
    asked.push_back(r.Kind);
    switch (r.Kind) {
      case dkMessageBox: result = IDNO; return true;
      case dkModalForm: result = mrOk; return true;
      case dkSaveFile:
        static_cast<TSaveDialog*>(r.Dialog)->SetFileName(u"/tmp/out.html");
        result = 1;
        return true;
      case dkPopupMenu: result = 1; return true;
      default: return false;
    }
  });
  EXPECT_EQ(MessageBox(nullptr, u"Delete?", u"Question", MB_YESNO), IDNO);
  auto* form = new TForm(nullptr);
  EXPECT_EQ(form->ShowModal(), mrOk);
  TSaveDialog save(nullptr);
  save.SetFilter(u"HTML|*.html|Text|*.txt");
  EXPECT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName(), u"/tmp/out.html");
  TPopupMenu menu(nullptr);
  auto* first = new TMenuItem(&menu);
  auto* second = new TMenuItem(&menu);
  menu.Items()->Add(first);
  menu.Items()->Add(second);
  int chosen = 0;
  first->OnClick = [&](TObject*) { chosen = 1; };
  second->OnClick = [&](TObject*) { chosen = 2; };
  menu.Popup(100, 100);
  EXPECT_EQ(chosen, 2);
  EXPECT_EQ(asked, (std::vector<TDialogKind>{dkMessageBox, dkModalForm, dkSaveFile, dkPopupMenu}));
  delete form;
}

TEST(GuiComponents, WithoutAnAnswerHeadlessDialogsReturnAtOnce) {
  Application->Initialize();
  // On a display an unanswered box is truly modal and waits for the user.
  if (!IsHeadless()) GTEST_SKIP() << "only a session without a display answers by itself";
  HookScope hook(nullptr);
  EXPECT_EQ(MessageBox(nullptr, u"Go on?", u"", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBox(nullptr, u"Note", u"", MB_OK), IDOK);
  auto* form = new TForm(nullptr);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  TColorDialog colour(nullptr);
  EXPECT_FALSE(colour.Execute());
  delete form;
}

TEST(GuiComponents, ExceptionInAHandlerIsShownByTheApplication) {
  Application->Initialize();
  std::vector<String> shown;
  HookScope hook([&](TDialogRequest& r, int& result) {
    shown.push_back(r.Text);
    result = IDOK;
    return true;
  });
  auto* form = new TForm(nullptr);
  auto* ctl = new Recorder(form);
  ctl->SetParent(form);
  form->Show();
  ctl->OnMessage = [](TMessage& m) {
    if (m.Msg == WM_USER + 5) throw EConvertError(u"'x' is not a valid integer value");
    if (m.Msg == WM_USER + 6) throw EAbort(u"quiet");
  };
  PostMessage(ctl->Handle(), WM_USER + 5, 0, 0);
  PostMessage(ctl->Handle(), WM_USER + 6, 0, 0);
  ASSERT_TRUE(pumpUntil([&] { return !shown.empty(); }));
  pump();
  ASSERT_EQ(shown.size(), 1u);  // the silent exception shows nothing
  EXPECT_EQ(shown[0], u"'x' is not a valid integer value.");
  delete form;
}

TEST(GuiComponents, TimerComponentTicksWhileEnabled) {
  Application->Initialize();
  TTimer timer(nullptr);
  int ticks = 0;
  timer.SetInterval(5);
  timer.OnTimer = [&](TObject*) {
    if (++ticks == 3) timer.SetEnabled(false);
  };
  ASSERT_TRUE(pumpUntil([&] { return ticks >= 3; }));
  pump();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  pump();
  EXPECT_EQ(ticks, 3);
  // A timer whose only setting is its handler ticks at its default second.
  TTimer plain(nullptr);
  bool ticked = false;
  plain.OnTimer = [&](TObject*) { ticked = true; };
  EXPECT_TRUE(pumpUntil([&] { return ticked; }, 3000));
}

TEST(GuiComponents, AlignedAndAnchoredChildrenFollowTheirParent) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 400 + form->FrameSize().cx, 300 + form->FrameSize().cy);
  auto* top = new TPanel(form);
  top->SetParent(form);
  top->SetHeight(40);
  top->SetAlign(alTop);
  auto* rest = new TPanel(form);
  rest->SetParent(form);
  rest->SetAlign(alClient);
  auto* button = new TButton(form);
  button->SetParent(form);
  button->SetBounds(300, 250, 80, 25);
  button->SetAnchors({akRight, akBottom});
  form->Show();
  EXPECT_EQ(top->BoundsRect(), TRect(0, 0, 400, 40));
  EXPECT_EQ(rest->BoundsRect(), TRect(0, 40, 400, 300));
  form->SetBounds(0, 0, 500 + form->FrameSize().cx, 350 + form->FrameSize().cy);
  pump();
  EXPECT_EQ(top->Width(), 500);
  EXPECT_EQ(rest->Height(), 310);
  EXPECT_EQ(button->Left(), 400);
  EXPECT_EQ(button->Top(), 300);
  delete form;
}

}  // namespace
