// Clipboard changes made while our own data is read, and the tree's ways
// out when a handler destroys it on a column update, the window's creation
// or the wheel: the last change asked for wins, and nothing of a freed tree
// is touched afterwards.
#include <gtest/gtest.h>

#include <ctime>

#include <functional>
#include <memory>

#include "platform/gui/clipboard.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/ole.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tests/tree/gone_fixture.h"
#include "tree/data_object.h"
#include "tree/string_tree.h"

namespace {

using tree_gone::pump;

// Runs the message loop's queued calls (the throttled ProcessMessages may
// skip them).
void runQueued() {
  for (int i = 0; i < 5; ++i) Application->HandleMessage();
}

// A tree on a new form that is not shown yet.
TDataStringTree* treeOnANewForm(TForm*& form) {
  Application->Initialize();
  form = new TForm(nullptr);
  form->SetBounds(40, 40, 420, 300);
  auto* tree = new TDataStringTree(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 400, 280);
  return tree;
}

// Frees the tree once from a handler that its window's creation raises,
// armed as the creation sets the theme state (right before it sizes the
// columns and lays out the header), through the scroll bar's handler or
// the one Hook installs.
struct TCreationDoom {
  bool Armed = false;
  void arm(TDataStringTree* tree, bool viaBar, const std::function<void(TCreationDoom&)>& hook) {
    tree->OnStateChange = [this](TBaseDataTree*, TDataTreeStates Enter, TDataTreeStates) {
      if (Enter.Contains(tsUseThemes)) Armed = true;
    };
    if (viaBar)
      tree->OnShowScrollbar = [this](TBaseDataTree* t, int, bool) { doom(t); };
    else
      hook(*this);
  }
  void doom(TObject* sender) {
    if (!Armed) return;
    Armed = false;
    delete sender;
  }
};

// A shown form with a string tree whose every cell reads "row".
struct TWaysFixture : tree_gone::TGoneForm {
  TWaysFixture() : TGoneForm({.Columns = 0, .FirstChildren = 1, .MoreRows = 4}) {
    T->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) { text = u"row"; };
  }
  // Copies the first row and runs Handler once while the copy is read as
  // text.
  void whileTheCopyIsRead(const std::function<void(TBaseDataTree*)>& Handler) {
    T->SetSelected(First, true);
    T->CopyToClipboard();
    ASSERT_TRUE(T->TreeStates().Contains(tsCopyPending));
    bool once = true;
    T->OnGetText = [&once, Handler](TBaseDataTree* tree, PDataNode, TColumnIndex, TDTTextType, String& text) {
      text = u"row";
      if (!once) return;
      once = false;
      Handler(tree);
    };
    (void)Clipboard()->AsText();
    ASSERT_FALSE(once);
    T->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) { text = u"row"; };
  }
};

}  // namespace

// A change of the clipboard asked for while our data on it is read waits
// for the message loop. A change the program makes after the read is over
// is made at once, and the waiting one then overwrites it: the clipboard
// ends with the older text.
TEST(TreeGoneWays, AChangeMadeWhileTheCopyIsReadDoesNotOverwriteALaterOne) {
  // The change while read: text set, or the clipboard emptied.
  for (const bool empty : {false, true}) {
    SCOPED_TRACE(empty ? "emptied while read" : "text set while read");
    TWaysFixture f;
    f.whileTheCopyIsRead([empty](TBaseDataTree*) {
      if (empty)
        Clipboard()->Clear();
      else
        Clipboard()->SetAsText(u"set while read");
    });
    Clipboard()->SetAsText(u"set afterwards");
    EXPECT_EQ(Clipboard()->AsText(), u"set afterwards");
    runQueued();
    EXPECT_EQ(Clipboard()->AsText(), u"set afterwards") << "the change asked for first was made last";
  }
}

// The tree copies (or cuts) again while its earlier copy is read. The new
// data object goes on the clipboard only from the message loop; the old
// one is released then and ends the cut or copy that the tree had just
// marked for the new one: the tree no longer knows its copy is pending
// (and a cut is no longer carried out by a paste).
TEST(TreeGoneWays, ACopyMadeWhileTheEarlierCopyIsReadStaysPending) {
  for (const bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut" : "copy");
    TWaysFixture f;
    f.whileTheCopyIsRead([cut](TBaseDataTree* tree) {
      if (cut)
        tree->CutToClipboard();
      else
        tree->CopyToClipboard();
    });
    runQueued();
    ASSERT_TRUE(f.alive());
    std::shared_ptr<IDataObject> now;
    ASSERT_EQ(OleGetClipboard(now), S_OK);
    auto* ours = dynamic_cast<TDTDataObject*>(now.get());
    ASSERT_NE(ours, nullptr) << "the tree's new copy is on the clipboard";
    EXPECT_EQ(ours->Owner(), f.T);
    now.reset();
    EXPECT_TRUE(f.T->TreeStates().Contains(cut ? tsCutPending : tsCopyPending));
    EXPECT_TRUE(f.First->States.Contains(vsCutOrCopy));
  }
}

// Hiding a column of a tree whose header sizes its last column to the
// window: the columns' update resizes that column, and a handler of the
// resize (the column's own, or the scroll bar's the resize sets) destroys
// the tree. The update is an entry of its own now and swallows the
// unwinding, so the column's option setter goes on with the freed columns
// (shows under AddressSanitizer, often as a crash). With the scroll bar's
// handler the unwinding used to reach the program instead.
TEST(TreeGoneWays, HidingAColumnWhoseAutoSizeHandlerDestroysTheTreeTouchesNothingAfterwards) {
  for (const bool viaBar : {true, false}) {
    SCOPED_TRACE(viaBar ? "scroll bar's handler" : "column resize handler");
    TWaysFixture f;
    for (int i = 0; i < 3; ++i) f.T->Header().Columns().Add()->SetWidth(100);
    f.T->Header().SetOptions(f.T->Header().Options() + TDTHeaderOptions{hoVisible, hoAutoResize});
    pump();
    bool armed = true;
    auto doom = [&](TBaseDataTree* tree) {
      if (!armed) return;
      armed = false;
      delete tree;
    };
    if (viaBar)
      f.T->OnShowScrollbar = [&](TBaseDataTree* tree, int, bool) { doom(tree); };
    else
      f.T->OnColumnResize = [&](TDTHeader* header, TColumnIndex) { doom(header->Treeview()); };
    TDataTreeColumn* first = f.T->Header().Columns()[0];
    EXPECT_NO_THROW(first->SetOptions(first->Options() - TDTColumnOptions{coVisible}));
    EXPECT_FALSE(f.alive());
  }
}

// The window's creation sizes the last column to the window (the header
// resizes it to the window); a handler of the resize (the column's own, or
// the scroll bar's the resize sets) destroys the tree. The column's resize
// is an entry of its own now, which swallows the unwinding when nothing of
// the tree is on the stack, and the creation goes on to the freed tree's
// pictures (the check after the header's layout just above has no
// counterpart here).
TEST(TreeGoneWays, CreatingTheWindowWhoseAutoSizeHandlerDestroysTheTreeTouchesNothingAfterwards) {
  for (const bool viaBar : {true, false}) {
    SCOPED_TRACE(viaBar ? "scroll bar's handler" : "column resize handler");
    TForm* form = nullptr;
    TDataStringTree* tree = treeOnANewForm(form);
    const std::weak_ptr<const bool> life = tree->LifeToken();
    for (int i = 0; i < 3; ++i) tree->Header().Columns().Add()->SetWidth(100);
    tree->Header().SetOptions(tree->Header().Options() + TDTHeaderOptions{hoVisible, hoAutoResize});
    TCreationDoom doom;
    doom.arm(tree, viaBar, [tree](TCreationDoom& d) {
      tree->OnColumnResize = [&d](TDTHeader* header, TColumnIndex) { d.doom(header->Treeview()); };
    });
    EXPECT_NO_THROW(form->Show());
    pump();
    EXPECT_TRUE(life.expired());
    delete form;
  }
}

// The wheel's handler frees the tree without taking the turn: the tree
// goes on to scroll itself (the platform's own wheel handling checks the
// control's life, the tree's does not).
TEST(TreeGoneWays, AWheelTurnWhoseHandlerFreesTheTreeScrollsNothing) {
  TWaysFixture f;
  for (int i = 0; i < 60; ++i) f.T->AddChild(nullptr);
  pump();
  bool armed = true;
  f.T->OnMouseWheel = [&](TObject* sender, TShiftState, int, TPoint, bool& handled) {
    handled = false;
    if (!armed) return;
    armed = false;
    delete sender;
  };
  const TPoint at = f.T->ClientToScreen({20, 20});
  f.T->Perform(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)), MAKELPARAM(at.x, at.y));
  EXPECT_FALSE(f.alive());
}

// The tree copies again while its earlier copy is read, and the program
// then frees the tree before the message loop runs. The tree empties the
// clipboard as it goes (it still holds the earlier copy); the new copy then
// arrives from the loop, and the clipboard holds the data of a tree that
// is gone.
TEST(TreeGoneWays, ACopyMadeWhileReadDoesNotOutliveTheTree) {
  TWaysFixture f;
  f.T->SetSelected(f.First, true);
  f.T->CopyToClipboard();
  bool once = true;
  f.T->OnGetText = [&](TBaseDataTree* tree, PDataNode, TColumnIndex, TDTTextType, String& text) {
    text = u"row";
    if (!once) return;
    once = false;
    tree->CopyToClipboard();
  };
  (void)Clipboard()->AsText();
  ASSERT_FALSE(once);
  delete f.T;
  ASSERT_FALSE(f.alive());
  runQueued();
  std::shared_ptr<IDataObject> left;
  ASSERT_EQ(OleGetClipboard(left), S_OK);
  EXPECT_EQ(dynamic_cast<TDTDataObject*>(left.get()), nullptr) << "the freed tree's copy is on the clipboard";
}

// The window's creation lays out a header whose height was set before the
// window existed; the frame's change resizes the client area, and a handler
// of the resize destroys the tree: the scroll bar's (the creation then
// looks at the tree's life and returns, into the platform's creation of
// the handle, which goes on with the freed control), or the control's own
// OnResize (the tree's Resize goes on after it).
TEST(TreeGoneWays, CreatingTheWindowWhoseHeaderLayoutHandlerDestroysTheTreeTouchesNothingAfterwards) {
  for (const bool viaBar : {true, false}) {
    SCOPED_TRACE(viaBar ? "scroll bar's handler" : "OnResize");
    TForm* form = nullptr;
    TDataStringTree* tree = treeOnANewForm(form);
    const std::weak_ptr<const bool> life = tree->LifeToken();
    tree->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) { text = u"row"; };
    for (int i = 0; i < 60; ++i) tree->AddChild(nullptr);
    for (int i = 0; i < 3; ++i) tree->Header().Columns().Add()->SetWidth(100);
    tree->Header().SetOptions(tree->Header().Options() + TDTHeaderOptions{hoVisible});
    tree->Header().SetMaxHeight(1000);
    tree->Header().SetHeight(120);
    ASSERT_TRUE(tree->Header().States().Contains(hsNeedRecalculation));
    TCreationDoom doom;
    doom.arm(tree, viaBar, [tree](TCreationDoom& d) { tree->OnResize = [&d](TObject* sender) { d.doom(sender); }; });
    EXPECT_NO_THROW(form->Show());
    pump();
    EXPECT_TRUE(life.expired());
    delete form;
  }
}

namespace {

double threadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

}  // namespace

// A handler of the rendering changes the clipboard and then shows a modal
// window (asking the user something). The change waits for the message
// loop; the modal window's loop runs it, finds the read still under way and
// queues it again at once, so the loop never waits and takes the processor
// whole while the window is open. (Needs a display: offscreen a modal
// window returns at once.)
TEST(TreeGoneWays, AModalWindowShownWhileTheCopyIsReadAndAChangeWaitsDoesNotSpin) {
  TWaysFixture f;
  TForm* ask = new TForm(nullptr);
  ask->SetBounds(100, 100, 200, 100);
  auto* timer = new TTimer(ask);
  timer->SetInterval(400);
  timer->OnTimer = [ask](TObject*) { ask->SetModalResult(mrOk); };
  f.T->SetSelected(f.First, true);
  f.T->CopyToClipboard();
  bool once = true;
  double spent = -1;
  int answer = 0;
  f.T->OnGetText = [&](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) {
    text = u"row";
    if (!once) return;
    once = false;
    Clipboard()->SetAsText(u"set while read");
    timer->SetEnabled(true);
    const double before = threadCpuMs();
    answer = ask->ShowModal();
    spent = threadCpuMs() - before;
  };
  (void)Clipboard()->AsText();
  ASSERT_FALSE(once);
  delete ask;
  runQueued();
  if (answer != mrOk) GTEST_SKIP() << "no modal loop without a display";
  EXPECT_LT(spent, 200.0) << "milliseconds of processor time while a modal window waited 400 ms";
}
