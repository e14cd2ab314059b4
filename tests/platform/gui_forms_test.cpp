// Forms and the application: closing (queries, actions, the main form ending
// the loop), the close box as a system command, default and cancel buttons,
// key preview, placement, and the message loop.
#include <gtest/gtest.h>

#include <thread>

#include "gui_test_support.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/testing.h"

namespace {

using namespace guitest;

// Sends the close box's request the way the window system does.
void pressCloseBox(TForm* form) { SendMessage(form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }

TEST(GuiForms, CloseAsksFirstThenActsAsTheHandlerSays) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->Show();
  bool allow = false;
  TCloseAction action = caHide;
  std::vector<std::string> events;
  form->OnCloseQuery = [&](TObject*, bool& can) {
    events.push_back("query");
    can = allow;
  };
  form->OnClose = [&](TObject*, TCloseAction& a) {
    events.push_back("close");
    a = action;
  };
  form->OnHide = [&](TObject*) { events.push_back("hide"); };
  form->Close();
  EXPECT_TRUE(form->Visible());  // refused
  allow = true;
  action = caNone;
  form->Close();
  EXPECT_TRUE(form->Visible());  // kept by the handler
  action = caHide;
  pressCloseBox(form);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(events, (std::vector<std::string>{"query", "query", "close", "query", "close", "hide"}));
  HWND h = form->Handle();
  form->Show();
  action = caFree;
  form->Close();
  EXPECT_TRUE(IsWindow(h));  // freed once the current message is done
  pump();
  EXPECT_FALSE(IsWindow(h));
}

TEST(GuiForms, CloseBoxIsASystemCommandTheFormMayTakeOver) {
  Application->Initialize();
  // A form that hides instead of closing, as a program living in the tray does.
  class TrayForm : public TForm {
  public:
    using TForm::TForm;
    int Closes = 0;
    void Dispatch(TMessage& m) override {
      if (m.Msg == WM_SYSCOMMAND && m.WParam == SC_CLOSE) {
        SetVisible(false);
        return;
      }
      if (m.Msg == WM_CLOSE) ++Closes;
      TForm::Dispatch(m);
    }
  };
  auto* form = new TrayForm(nullptr);
  form->Show();
  pressCloseBox(form);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(form->Closes, 0);
  delete form;
}

TEST(GuiForms, ClosingTheMainFormEndsTheMessageLoop) {
  Application->Initialize();
  auto* form = Application->CreateForm<TForm>();
  ASSERT_EQ(Application->MainForm(), form);
  bool created = false;
  // OnCreate runs after construction, so a handler set in a derived
  // constructor is seen; here the flag shows it ran exactly once.
  form->OnCreate = [&](TObject*) { created = true; };
  form->AfterConstruction();
  EXPECT_FALSE(created);  // already constructed by CreateForm
  HWND h = form->Handle();
  PostMessage(h, WM_CLOSE, 0, 0);
  Application->Run();  // returns because the main form closed
  EXPECT_TRUE(Application->Terminated());
  delete form;
  EXPECT_EQ(Application->MainForm(), nullptr);
}

// The program's loop gives back the windows of the controls and forms
// freed while it runs, as the toolkit's own loop would: a program that
// shows pages with form controls, hints and dialogs for days does not keep
// every window it ever made.
TEST(GuiForms, TheMessageLoopGivesBackTheWindowsOfFreedControls) {
  Application->Initialize();
  auto* form = Application->CreateForm<TForm>();
  form->Show();
  pump();
  const int before = ToolkitWindowCount();
  int idles = 0;
  Application->OnIdle = [&](TObject*, bool& Done) {
    Done = true;
    if (++idles > 1) return;
    for (int i = 0; i < 20; ++i) {
      auto* panel = new TPanel(form);
      panel->SetParent(form);
      (new TButton(panel))->SetParent(panel);
      panel->HandleNeeded();
      delete panel;
      auto* other = new TForm(nullptr);
      other->Show();
      delete other;
    }
    PostMessage(form->Handle(), WM_CLOSE, 0, 0);
  };
  Application->Run();
  Application->OnIdle = nullptr;
  EXPECT_EQ(ToolkitWindowCount(), before);
  delete form;
}

TEST(GuiForms, AFailingOnCreateIsShownAndTheFormIsKept) {
  Application->Initialize();
  std::vector<std::string> shown;
  auto saved = Application->OnException;
  Application->OnException = [&](TObject*, const std::exception& e) { shown.push_back(e.what()); };
  auto* form = new TForm(nullptr);
  bool after = false;
  form->OnCreate = [&](TObject*) {
    throw Exception(u"File not found");
    after = true;
  };
  EXPECT_NO_THROW(form->AfterConstruction());
  Application->OnException = saved;
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "File not found");
  EXPECT_FALSE(after);
  EXPECT_NO_THROW(form->Show());
  delete form;
}

TEST(GuiForms, ReturnPressesTheDefaultButtonAndEscapeTheCancelButton) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  auto* edit = new TEdit(form);
  edit->SetParent(form);
  auto* ok = new TButton(form);
  ok->SetParent(form);
  ok->SetTop(40);
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  auto* cancel = new TButton(form);
  cancel->SetParent(form);
  cancel->SetTop(80);
  cancel->SetCancel(true);
  int okClicks = 0, cancelClicks = 0;
  ok->OnClick = [&](TObject*) { ++okClicks; };
  cancel->OnClick = [&](TObject*) { ++cancelClicks; };
  form->Show();
  InjectFocus(edit->Handle());
  InjectKeyStroke(edit->Handle(), VK_RETURN, {}, u"\r");
  EXPECT_EQ(okClicks, 1);
  EXPECT_EQ(form->ModalResult(), mrOk);
  InjectKeyStroke(edit->Handle(), VK_ESCAPE, {}, u"\x1b");
  EXPECT_EQ(cancelClicks, 1);
  delete form;
}

TEST(GuiForms, KeyPreviewLetsTheFormSeeAndStopKeysFirst) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  auto* edit = new TEdit(form);
  edit->SetParent(form);
  form->Show();
  std::vector<std::string> order;
  form->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
    order.push_back("form");
    if (key == VK_F2) key = 0;
  };
  edit->OnKeyDown = [&](TObject*, WORD&, TShiftState) { order.push_back("edit"); };
  InjectFocus(edit->Handle());
  // A key the edit leaves alone does not travel on to the form.
  InjectKeyStroke(edit->Handle(), VK_F3, {}, u"");
  EXPECT_EQ(order, (std::vector<std::string>{"edit"}));  // no preview yet
  form->SetKeyPreview(true);
  order.clear();
  InjectKeyStroke(edit->Handle(), VK_F3, {}, u"");
  InjectKeyStroke(edit->Handle(), VK_F2, {}, u"");
  EXPECT_EQ(order, (std::vector<std::string>{"form", "edit", "form"}));
  delete form;
}

TEST(GuiForms, ClientSizeAndScreenCentredPlacement) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetClientWidth(300);
  form->SetClientHeight(200);
  EXPECT_EQ(form->ClientWidth(), 300);
  EXPECT_EQ(form->ClientHeight(), 200);
  EXPECT_EQ(form->Width(), 300 + form->FrameSize().cx);
  form->SetPosition(poScreenCenter);
  form->Show();
  EXPECT_EQ(form->Left(), (Screen->Width() - form->Width()) / 2);
  EXPECT_EQ(form->Top(), (Screen->Height() - form->Height()) / 2);
  TRect client;
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client, TRect(0, 0, 300, 200));
  // A form without a border has no frame allowance.
  form->SetBorderStyle(bsNone);
  EXPECT_EQ(form->Width(), 300);
  EXPECT_EQ(form->ClientHeight(), 200);
  delete form;
}

TEST(GuiForms, AFixedBorderFormTakesTheSizeTheProgramGivesIt) {
  // The border is set first, as forms set it up in their constructors;
  // the window then is as large as asked, before and after it is shown.
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBorderStyle(bsSingle);
  form->SetClientWidth(479);
  form->SetClientHeight(338);
  form->Show();
  TRect client;
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client, TRect(0, 0, 479, 338));
  std::vector<std::uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(GrabWindow(form, px, w, h));
  EXPECT_EQ(w, 479);
  EXPECT_EQ(h, 338);
  form->SetBounds(form->Left(), form->Top(), 200 + form->FrameSize().cx, 150 + form->FrameSize().cy);
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client, TRect(0, 0, 200, 150));
  delete form;
}

TEST(GuiForms, AMinimumSizeHoldsForTheProgramAndTheWindow) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBounds(10, 10, 300, 200);
  form->Show();
  // A form already smaller grows to the limit, the window with it.
  form->Constraints().SetMinWidth(400);
  form->Constraints().SetMinHeight(350);
  EXPECT_EQ(form->Width(), 400);
  EXPECT_EQ(form->Height(), 350);
  TRect client;
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client, TRect(0, 0, 400 - form->FrameSize().cx, 350 - form->FrameSize().cy));
  form->SetBounds(10, 10, 100, 500);
  EXPECT_EQ(form->Width(), 400);
  EXPECT_EQ(form->Height(), 500);
  form->SetClientWidth(50);
  EXPECT_EQ(form->Width(), 400);
  std::vector<std::uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(GrabWindow(form, px, w, h));
  EXPECT_EQ(w, 400 - form->FrameSize().cx);
  delete form;
}

TEST(GuiForms, PostedMessagesAreDeliveredAtTheNextPumpEvenRightAfterOne) {
  Application->Initialize();
  long got = 0;
  HWND h = AllocateHWnd([&](TMessage& m) {
    if (m.Msg == WM_USER) ++got;
  });
  Application->HandleMessage();
  Application->ProcessMessages();  // nothing waits: returns at once
  for (int i = 0; i < 100; ++i) {
    PostMessage(h, WM_USER, 0, 0);
    Application->ProcessMessages();
    ASSERT_EQ(got, i + 1);
  }
  // From another thread as well.
  std::thread([h] { PostMessage(h, WM_USER, 0, 0); }).join();
  Application->ProcessMessages();
  EXPECT_EQ(got, 101);
  DeallocateHWnd(h);
}

TEST(GuiForms, OnDestroySeesTheWholeFormWhenItsOwnerFreesIt) {
  Application->Initialize();
  class MainForm : public TForm {
  public:
    explicit MainForm(TComponent* owner) : TForm(owner), NextViewer(std::make_unique<std::string>("next")) {
      OnDestroy = [this](TObject*) { Seen = *NextViewer; };
    }
    std::unique_ptr<std::string> NextViewer;  // gone once ~MainForm has run
    std::string Seen;
  };
  std::string seen;
  auto* owner = new TComponent(nullptr);
  auto* form = new MainForm(owner);
  form->AfterConstruction();
  form->OnDestroy = [form, &seen](TObject*) { seen = *form->NextViewer; };
  delete owner;  // frees the form the way the program's owner does
  EXPECT_EQ(seen, "next");
  // Free on a form of its own does the same.
  auto* other = new MainForm(nullptr);
  other->AfterConstruction();
  other->OnDestroy = [other, &seen](TObject*) { seen = *other->NextViewer + "!"; };
  other->Free();
  EXPECT_EQ(seen, "next!");
}

TEST(GuiForms, MinimisingTheMainFormMinimisesTheApplication) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  Application->SetMainForm(form);
  form->Show();
  int minimised = 0, restored = 0;
  Application->OnMinimize = [&](TObject*) { ++minimised; };
  Application->OnRestore = [&](TObject*) { ++restored; };
  SendMessage(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_EQ(minimised, 1);
  Application->Restore();
  EXPECT_EQ(restored, 1);
  EXPECT_TRUE(form->Visible());
  Application->OnMinimize = nullptr;
  Application->OnRestore = nullptr;
  delete form;
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST(GuiForms, ScreenDescribesTheDisplay) {
  Application->Initialize();
  EXPECT_GT(Screen->Width(), 0);
  EXPECT_GT(Screen->Height(), 0);
  TRect work = Screen->WorkAreaRect();
  EXPECT_FALSE(work.IsEmpty());
  EXPECT_LE(work.Width(), Screen->Width());
  EXPECT_GE(Screen->PixelsPerInch(), 72);
  std::vector<String> fonts = Screen->Fonts();
  EXPECT_FALSE(fonts.empty());
  EXPECT_NE(Screen->Cursors(crHandPoint), nullptr);
  // A cursor made from a picture can be registered under a number.
  std::vector<std::uint32_t> arrow(16 * 16, 0xFF000000u);
  HCURSOR own = CreateCursorFromImage(arrow.data(), 16, 16, 0, 0);
  ASSERT_NE(own, nullptr);
  Screen->SetCursors(5, own);
  EXPECT_EQ(Screen->Cursors(5), own);
  Screen->SetCursors(5, nullptr);
  EXPECT_TRUE(DestroyCursor(own));
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  Screen->SetCursor(crDefault);
}

}  // namespace
