// Handlers that delete columns while the header resizes or hides them, a
// focused tree freed by its exit handler as it leaves its form, and the
// order of the clipboard's waiting changes.
#include <gtest/gtest.h>

#include <memory>

#include "platform/gui/clipboard.h"
#include "platform/gui/forms.h"
#include "platform/gui/ole.h"
#include "platform/gui/testing.h"
#include "tests/tree/gone_fixture.h"
#include "tree/data_object.h"
#include "tree/string_tree.h"

namespace {

void runQueued() {
  for (int i = 0; i < 5; ++i) Application->HandleMessage();
}

// A shown form whose tree's copy is on the clipboard.
struct TCopiedTree {
  TForm* Form = nullptr;
  TDataStringTree* T = nullptr;

  TCopiedTree() {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBounds(40, 40, 420, 300);
    T = new TDataStringTree(Form);
    T->SetParent(Form);
    T->SetBounds(0, 0, 400, 280);
    T->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) { text = u"row"; };
    PDataNode first = T->AddChild(nullptr);
    T->AddChild(nullptr);
    Form->Show();
    runQueued();
    T->SetSelected(first, true);
    T->CopyToClipboard();
  }
  ~TCopiedTree() {
    runQueued();
    delete Form;
  }
  // Runs Handler once from the rendering of the tree's copy as text.
  template <typename F>
  void whileRead(F Handler) {
    bool once = true;
    T->OnGetText = [once, Handler](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) mutable {
      text = u"row";
      if (!once) return;
      once = false;
      Handler();
    };
    (void)Clipboard()->AsText();
  }
};

}  // namespace

// Changes asked for during the read wait for it to end; an emptying asked
// for last wins over what waits ahead of it, text or a tree's copy (whose
// copy then ends), and nothing put there is left behind.
TEST(TreeGoneColumns, AnEmptyingAskedForAfterATextDuringTheReadEmptiesTheClipboard) {
  TCopiedTree f;
  f.whileRead([] {
    Clipboard()->SetAsText(u"set first");
    Clipboard()->Clear();
  });
  runQueued();
  EXPECT_EQ(Clipboard()->AsText(), u"") << "the emptying asked for last was dropped";
  EXPECT_FALSE(f.T->TreeStates().Contains(tsCopyPending));

  TCopiedTree g;
  g.whileRead([&g] {
    g.T->CopyToClipboard();
    Clipboard()->Clear();
    EXPECT_FALSE(g.T->TreeStates().Contains(tsCopyPending)) << "the copy that waited and was dropped";
  });
  runQueued();
  std::shared_ptr<IDataObject> now;
  ASSERT_EQ(OleGetClipboard(now), S_OK);
  EXPECT_EQ(dynamic_cast<TDTDataObject*>(now.get()), nullptr) << "the tree's copy stayed on the clipboard";
  EXPECT_EQ(Clipboard()->AsText(), u"");
  EXPECT_FALSE(g.T->TreeStates().Contains(tsCopyPending));
}

// A focused tree leaves its form for another while its OnExit frees it:
// SetParent now clears the focus (the tree's WM_KILLFOCUS, OnExit) and then
// goes on with the freed control, removing it from the old parent and
// inserting it into the new one (platform/gui/controls.cpp,
// TControl::SetParent): the dying tree left its parent, so FParent (read
// from the freed control) is null and RemoveControl crashes.
TEST(TreeGoneColumns, AFocusedTreeWhoseExitHandlerFreesItAsItLeavesItsFormTouchesNothing) {
  tree_gone::TGoneForm f({.Focus = true});
  auto* other = new TForm(nullptr);
  other->SetBounds(500, 40, 300, 200);
  other->Show();
  tree_gone::pump();
  InjectFocus(f.T->Handle());
  tree_gone::pump();
  if (!f.T->Focused()) {
    delete other;
    GTEST_SKIP() << "the display gave the tree no focus";
  }
  int exits = 0;
  f.T->OnExit = [&exits, d = f.doom()](TObject*) {
    ++exits;
    d();
  };
  f.Armed = true;
  f.T->SetParent(other);
  EXPECT_EQ(exits, 1) << "the tree lost no focus as it left (test set-up)";
  EXPECT_FALSE(f.alive());
  EXPECT_EQ(other->ControlCount(), 0) << "the other form holds the freed tree";
  EXPECT_EQ(f.Form->ControlCount(), 0);
  // A form holding the freed tree is left alone: freeing it would free the
  // tree again.
  if (other->ControlCount() == 0) delete other;
}

// The header spreads a change of width over three columns; the handler of
// the first column's resize deletes one of them (the first, the middle or
// the last). The resize goes on over the columns left, and each gets the
// width worked out for it, not its neighbour's.
TEST(TreeGoneColumns, ResizingColumnsWhoseResizeHandlerDeletesAColumnGivesTheRestTheirOwnWidths) {
  for (int victim = 0; victim < 3; ++victim) {
    SCOPED_TRACE("deleting column " + std::to_string(victim));
    tree_gone::TGoneForm f;
    TDTHeader& header = f.T->Header();
    header.Columns().Clear();
    std::vector<TDataTreeColumn*> columns;
    for (int i = 0; i < 3; ++i) {
      columns.push_back(header.Columns().Add());
      columns.back()->SetWidth(100 * (i + 1));
    }
    header.SetOptions(header.Options() + TDTHeaderOptions{hoVisible});
    tree_gone::pump();
    bool armed = true;
    f.T->OnColumnResize = [&](TDTHeader* h, TColumnIndex) {
      if (!armed) return;
      armed = false;
      h->Columns().Delete(columns[std::size_t(victim)]->Index());
    };
    header.ResizeColumns(30, 0, 2);
    ASSERT_FALSE(armed) << "no column was resized (test set-up)";
    ASSERT_TRUE(f.alive());
    ASSERT_EQ(header.Columns().Count(), 2);
    for (int i = 0; i < 3; ++i) {
      if (i != victim) {
        EXPECT_EQ(columns[std::size_t(i)]->Width(), 100 * (i + 1) + 10) << "column " << i;
      }
    }
  }
}

// The tree grows and its header shares the growth among its spring
// columns; the handler of the first one's resize deletes the last spring
// column. ResizeSpringColumns keeps the columns it gathered before the loop
// and resizes the deleted one (tree/header.cpp,
// TDTHeader::ResizeSpringColumns: the new check asks only whether the tree
// went).
TEST(TreeGoneColumns, SpringColumnsWhoseResizeHandlerDeletesALaterSpringColumnResizeOnlyTheColumnsLeft) {
  tree_gone::TGoneForm f;
  TDTHeader& header = f.T->Header();
  header.Columns().Clear();
  for (int i = 0; i < 3; ++i) {
    TDataTreeColumn* c = header.Columns().Add();
    c->SetWidth(100);
    c->SetOptions(c->Options() + TDTColumnOptions{coAutoSpring});
  }
  header.SetOptions(header.Options() + TDTHeaderOptions{hoVisible, hoAutoSpring});
  // The first change of width only sets the width the next one is measured from.
  f.T->SetBounds(f.T->Left(), f.T->Top(), f.T->Width() - 90, f.T->Height());
  tree_gone::pump();
  const int before = header.Columns().Count();
  bool armed = false;
  f.T->OnColumnResize = [&](TDTHeader* h, TColumnIndex) {
    if (!armed) return;
    armed = false;
    h->Columns().Delete(h->Columns().Count() - 1);
  };
  armed = true;
  f.T->SetBounds(f.T->Left(), f.T->Top(), f.T->Width() + 90, f.T->Height());
  tree_gone::pump();
  EXPECT_FALSE(armed) << "no spring column was resized (test set-up)";
  EXPECT_TRUE(f.alive());
  EXPECT_EQ(header.Columns().Count(), before - 1);
}

// A column is hidden; the header's update grows the auto-size column, and
// that column's resize handler deletes the hidden column. changed() answers
// only whether the tree lives, and SetOptions goes on with the deleted
// column (tree/columns.cpp, TDataTreeColumn::SetOptions: Tree() on the freed
// column, a crash; TDataTreeColumns::Update also invalidates Item->Index()
// after its AdjustAutoSize).
TEST(TreeGoneColumns, HidingAColumnWhoseAutoSizeHandlerDeletesItTouchesNothingOfIt) {
  tree_gone::TGoneForm f;
  TDTHeader& header = f.T->Header();
  header.Columns().Clear();
  for (int i = 0; i < 3; ++i) header.Columns().Add()->SetWidth(100);
  header.SetAutoSizeIndex(2);
  header.SetOptions(header.Options() + TDTHeaderOptions{hoVisible, hoAutoResize});
  tree_gone::pump();
  bool armed = true;
  f.T->OnColumnResize = [&](TDTHeader* h, TColumnIndex) {
    if (!armed) return;
    armed = false;
    h->Columns().Delete(0);
  };
  TDataTreeColumn* hidden = header.Columns().Items(0);
  hidden->SetOptions(hidden->Options() - TDTColumnOptions{coVisible});
  EXPECT_FALSE(armed) << "the auto-size column was not resized (test set-up)";
  EXPECT_TRUE(f.alive());
  EXPECT_EQ(header.Columns().Count(), 2);
}
