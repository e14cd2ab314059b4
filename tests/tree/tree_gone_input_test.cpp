// Handlers that destroy the tree from the keyboard's, the focus's and the
// clipboard's ways in, beyond the control's own key and focus handlers:
// the form's preview of keys, the context menu key, the
// clipboard emptied or replaced by the program or by the tree itself, and a
// copy ended while another failure unwinds. Each ends with the tree gone
// and nothing of it touched (the faults show under AddressSanitizer, some
// also as a crash).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/gui/clipboard.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/menus.h"
#include "platform/gui/ole.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tree/data_object.h"
#include "tests/tree/gone_fixture.h"
#include "tree/string_tree.h"

namespace {

using tree_gone::pump;

// A shown form with a string tree of a few rows; the handler armed by
// doom() deletes the tree the first time it runs.
struct TInputFixture : tree_gone::TGoneForm {
  TInputFixture() : TGoneForm({.Columns = 0, .FirstChildren = 1, .MoreRows = 4, .Focus = true}) {}
  // Copies the first row; the tree's copy is then pending on the clipboard,
  // and its end (leaving tsCopyPending) destroys the tree once armed.
  void copyAndDoomItsEnd() {
    T->SetSelected(First, true);
    T->CopyToClipboard();
    ASSERT_TRUE(T->TreeStates().Contains(tsCopyPending));
    T->OnStateChange = [d = doom()](TBaseDataTree*, TDataTreeStates, TDataTreeStates Leave) {
      if (Leave.Contains(tsCopyPending)) d();
    };
  }
};

}  // namespace

// The form sees the key first (KeyPreview); its handler frees the tree, and
// the key went on to the freed control's own KeyDown
// (platform/gui/controls.cpp, TWinControl::handleKey).
TEST(TreeGoneInput, AKeyWhoseFormPreviewFreesTheTreeGoesNoFurther) {
  TInputFixture f;
  int treeKeys = 0;
  f.T->OnKeyDown = [&](TObject*, WORD&, TShiftState) { ++treeKeys; };
  f.Form->SetKeyPreview(true);
  f.Form->OnKeyDown = [d = f.doom()](TObject*, WORD&, TShiftState) { d(); };
  f.Armed = true;
  f.T->Perform(WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_FALSE(f.alive());
  EXPECT_EQ(treeKeys, 0);
}

// The context menu key asks the owner for a menu; a handler that frees the
// tree and still names a menu made the tree note the shown menu and open
// it for the freed tree (tree/keyboard.cpp, DoPopupMenu).
TEST(TreeGoneInput, TheMenuKeyWhosePopupHandlerFreesTheTreeShowsNoMenu) {
  TInputFixture f;
  auto* menu = new TPopupMenu(f.Form);
  menu->Items()->Add(new TMenuItem(menu));
  int shown = 0;
  const TDialogHook previous = SetDialogHook([&](TDialogRequest& r, int& answer) {
    if (r.Kind != dkPopupMenu) return false;
    ++shown;
    answer = -1;
    return true;
  });
  f.T->SetFocusedNode(f.First);
  // The handler goes with the tree: it names the menu first.
  f.T->OnGetPopupMenu = [&, d = f.doom()](TBaseDataTree*, PDataNode, std::int32_t, TPoint, bool&, TPopupMenu*& m) {
    m = menu;
    d();
  };
  f.Armed = true;
  f.T->Perform(WM_KEYDOWN, VK_APPS, 0);
  SetDialogHook(previous);
  EXPECT_FALSE(f.alive());
  EXPECT_EQ(shown, 0);
}

// The form remembers the control that got the focus; once that control is
// freed the form must not name it any more.
TEST(TreeGoneInput, TheFormForgetsItsActiveControlWhenAFocusHandlerFreesIt) {
  TInputFixture f;
  f.T->Perform(WM_SETFOCUS, 0, 0);
  ASSERT_EQ(f.Form->ActiveControl(), f.T);
  f.T->OnExit = [d = f.doom()](TObject*) { d(); };
  f.Armed = true;
  f.T->Perform(WM_KILLFOCUS, 0, 0);
  EXPECT_FALSE(f.alive());
  EXPECT_EQ(f.Form->ActiveControl(), nullptr);
}

// The program empties the clipboard while the tree's copy is on it: the
// copy ends with the tree's data object, whose state handler destroys the
// tree, and the tree's destruction empties the clipboard again from inside
// the toolkit's emptying (which then frees the same data twice).
TEST(TreeGoneInput, EmptyingTheClipboardWhileTheEndedCopysHandlerDestroysTheTreeEndsCleanly) {
  TInputFixture f;
  f.copyAndDoomItsEnd();
  f.Armed = true;
  Clipboard()->Clear();
  EXPECT_FALSE(f.alive());
  EXPECT_TRUE(Clipboard()->AsText().empty());
}

// The same when the program puts text there instead.
TEST(TreeGoneInput, TextPutOnTheClipboardWhileTheEndedCopysHandlerDestroysTheTreeStays) {
  TInputFixture f;
  f.copyAndDoomItsEnd();
  f.Armed = true;
  Clipboard()->SetAsText(u"from elsewhere");
  EXPECT_FALSE(f.alive());
  EXPECT_EQ(Clipboard()->AsText(), u"from elsewhere");
}

// Clearing the tree empties the clipboard it holds (ReleaseClipboardIfOwner);
// the ended copy's handler destroys the tree there, and Clear went on with
// the freed tree.
TEST(TreeGoneInput, ClearingTheTreeWhoseEndedCopysHandlerDestroysItTouchesNothingAfterwards) {
  TInputFixture f;
  f.copyAndDoomItsEnd();
  f.Armed = true;
  f.T->Clear();
  EXPECT_FALSE(f.alive());
}

// A paste whose handler empties the clipboard and then fails: the paste
// held the clipboard's data object, which goes while the failure unwinds
// and ends the tree's copy. Its state handler destroys the tree; the raise
// cannot unwind then (another exception is on its way), and the state
// change went on writing the freed tree's states (tree/events.cpp,
// DoStateChange, and CancelCutOrCopy after it).
TEST(TreeGoneInput, ACopyEndedWhileAFailureUnwindsAndItsHandlerDestroysTheTreeTouchesNothingAfterwards) {
  TInputFixture f;
  f.copyAndDoomItsEnd();
  f.T->OnNodeCopied = [&](TBaseDataTree*, PDataNode) {
    if (f.Armed) return;
    f.Armed = true;
    Clipboard()->Clear();
    throw std::runtime_error("the owner failed");
  };
  EXPECT_THROW(f.T->PasteFromClipboard(), std::runtime_error);
  EXPECT_FALSE(f.alive());
}

// The context menu asked for by the keyboard: the control's OnContextPopup
// frees the tree, and the platform went on to the freed control's own menu
// (platform/gui/controls.cpp, TControl::Dispatch).
TEST(TreeGoneInput, AContextMenuWhoseHandlerFreesTheTreeShowsNoMenu) {
  TInputFixture f;
  auto* menu = new TPopupMenu(f.Form);
  menu->Items()->Add(new TMenuItem(menu));
  f.T->SetPopupMenu(menu);
  int shown = 0;
  const TDialogHook previous = SetDialogHook([&](TDialogRequest& r, int& answer) {
    if (r.Kind != dkPopupMenu) return false;
    ++shown;
    answer = -1;
    return true;
  });
  f.T->OnContextPopup = [d = f.doom()](TObject*, TPoint, bool&) { d(); };
  f.Armed = true;
  f.T->Perform(WM_CONTEXTMENU, WPARAM(f.T->Handle()), LPARAM(-1));
  SetDialogHook(previous);
  EXPECT_FALSE(f.alive());
  EXPECT_EQ(shown, 0);
}

// The platform's handling of a button calls several of the control's
// handlers in a row (OnDblClick, then OnMouseDown; OnClick, then OnMouseUp)
// and went on to the next one on the freed control
// (platform/gui/controls.cpp, TControl::mouseButtonMessage); the tree then
// noted the released capture in the freed tree (tree/mouse.cpp).
TEST(TreeGoneInput, AButtonWhoseClickHandlerFreesTheTreeCallsNoFurtherHandler) {
  const TPoint at{20, 8};
  for (const UINT msg : {UINT(WM_LBUTTONDBLCLK), UINT(WM_LBUTTONUP)}) {
    SCOPED_TRACE(msg);
    TInputFixture f;
    int later = 0;
    f.T->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++later; };
    f.T->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++later; };
    f.T->OnDblClick = [d = f.doom()](TObject*) { d(); };
    f.T->OnClick = [d = f.doom()](TObject*) { d(); };
    if (msg == WM_LBUTTONUP) f.T->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    later = 0;
    f.Armed = true;
    f.T->Perform(msg, msg == WM_LBUTTONUP ? WPARAM(0) : WPARAM(MK_LBUTTON), MAKELPARAM(at.x, at.y));
    EXPECT_FALSE(f.alive());
    EXPECT_EQ(later, 0);
  }
}

// The program reads the tree's copy as text from the clipboard; the text
// handler that renders it destroys the tree, whose destruction emptied the
// clipboard while the toolkit was reading its data (and freed the data
// under the read). The emptying waits for the message loop.
TEST(TreeGoneInput, ReadingTheCopyWhoseTextHandlerDestroysTheTreeEndsCleanly) {
  TInputFixture f;
  f.T->SetSelected(f.First, true);
  f.T->CopyToClipboard();
  ASSERT_TRUE(f.T->TreeStates().Contains(tsCopyPending));
  f.T->OnGetText = [d = f.doom()](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) {
    text = u"row";
    d();
  };
  f.Armed = true;
  const String text = Clipboard()->AsText();
  EXPECT_FALSE(f.alive());
  (void)text;
  for (int i = 0; i < 3; ++i) Application->HandleMessage();
  std::shared_ptr<IDataObject> left;
  ASSERT_EQ(OleGetClipboard(left), S_OK);
  EXPECT_EQ(dynamic_cast<TDTDataObject*>(left.get()), nullptr) << "the dead tree's data went from the clipboard";
}
