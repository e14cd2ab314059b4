// Clipboard changes asked for while the tree's data on the clipboard is
// read wait for the message loop; what they may and may not do once made.
#include <gtest/gtest.h>

#include <memory>

#include "platform/gui/clipboard.h"
#include "platform/gui/forms.h"
#include "platform/gui/ole.h"
#include "tree/data_object.h"
#include "tree/globals.h"
#include "tree/string_tree.h"

namespace {

// Runs the message loop's queued calls.
void runQueued() {
  for (int i = 0; i < 5; ++i) Application->HandleMessage();
}

// Gives up its cut or copy as its Clear does (which a handler of a walk
// may not call).
class TReleasingTree : public TDataStringTree {
public:
  using TDataStringTree::TDataStringTree;
  void ReleaseClipboard() { ReleaseClipboardIfOwner(); }
};

struct TWaitFixture {
  TForm* Form = nullptr;
  TReleasingTree* T = nullptr;
  std::weak_ptr<const bool> Life;
  PDataNode First = nullptr;

  TWaitFixture() {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBounds(40, 40, 420, 300);
    T = new TReleasingTree(Form);
    Life = T->LifeToken();
    T->SetParent(Form);
    T->SetBounds(0, 0, 400, 280);
    T->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) { text = u"row"; };
    First = T->AddChild(nullptr);
    for (int i = 0; i < 3; ++i) T->AddChild(nullptr);
    Form->Show();
    runQueued();
    T->SetSelected(First, true);
    T->CopyToClipboard();
  }
  ~TWaitFixture() {
    runQueued();
    delete Form;
  }
  // Runs Handler once from the rendering of the tree's copy as text.
  template <typename F>
  void whileRead(F Handler) {
    bool once = true;
    T->OnGetText = [this, once, Handler](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType,
                                         String& text) mutable {
      text = u"row";
      if (!once) return;
      once = false;
      Handler();
    };
    (void)Clipboard()->AsText();
  }
  static bool treeDataOnClipboard() {
    std::shared_ptr<IDataObject> now;
    if (OleGetClipboard(now) != S_OK) return false;
    return dynamic_cast<TDTDataObject*>(now.get()) != nullptr;
  }
};

}  // namespace

// An emptying asked for during the read empties only what the clipboard
// held then. The tree whose copy is read gives it up after another tree
// copied: the other tree's copy arrives and stays.
TEST(TreeClipboardWait, AnEmptyingThatWaitedLeavesWhatWasPutThereSince) {
  TWaitFixture f;
  auto* other = new TDataStringTree(f.Form);
  other->SetParent(f.Form);
  other->SetBounds(0, 0, 100, 100);
  PDataNode node = other->AddChild(nullptr);
  other->SetSelected(node, true);
  ASSERT_TRUE(f.T->TreeStates().Contains(tsCopyPending));
  f.whileRead([&] {
    other->CopyToClipboard();
    f.T->ReleaseClipboard();
  });
  runQueued();
  std::shared_ptr<IDataObject> now;
  ASSERT_EQ(OleGetClipboard(now), S_OK);
  auto* ours = dynamic_cast<TDTDataObject*>(now.get());
  ASSERT_NE(ours, nullptr) << "the other tree's copy was emptied away";
  EXPECT_EQ(ours->Owner(), other);
  now.reset();
  EXPECT_TRUE(other->TreeStates().Contains(tsCopyPending));
  EXPECT_TRUE(node->States.Contains(vsCutOrCopy));
  EXPECT_FALSE(f.T->TreeStates().Contains(tsCopyPending));
}

// Without a change since, the waiting emptying is made.
TEST(TreeClipboardWait, AnEmptyingThatWaitedEmptiesWhatItSaw) {
  TWaitFixture f;
  f.whileRead([] { Clipboard()->Clear(); });
  EXPECT_TRUE(TWaitFixture::treeDataOnClipboard());
  runQueued();
  EXPECT_FALSE(TWaitFixture::treeDataOnClipboard());
  EXPECT_FALSE(f.T->TreeStates().Contains(tsCopyPending));
}

// The tree copies during the read and then gives its copy up, or is freed:
// the copy that waits for the clipboard goes with it, and so does the
// earlier copy still there.
TEST(TreeClipboardWait, ATreeThatGivesUpItsCopyDuringTheReadDropsTheCopyThatWaits) {
  for (const bool freed : {false, true}) {
    SCOPED_TRACE(freed ? "tree freed" : "copy given up");
    TWaitFixture f;
    f.whileRead([&] {
      f.T->CopyToClipboard();
      EXPECT_TRUE(f.T->TreeStates().Contains(tsCopyPending));
      if (freed) {
        delete f.T;
        return;
      }
      f.T->ReleaseClipboard();
      EXPECT_FALSE(f.T->TreeStates().Contains(tsCopyPending));
    });
    EXPECT_EQ(freed, f.Life.expired());
    runQueued();
    EXPECT_FALSE(TWaitFixture::treeDataOnClipboard()) << "a copy the tree gave up arrived";
    if (!freed) {
      EXPECT_FALSE(f.T->TreeStates().Contains(tsCopyPending));
    }
  }
}

// Every change asked for during the read is made, in order, once the read
// is over (the last one asked for is what the clipboard holds).
TEST(TreeClipboardWait, ChangesThatWaitedAreMadeInTheOrderAsked) {
  TWaitFixture f;
  f.whileRead([] {
    Clipboard()->SetAsText(u"first");
    Clipboard()->SetAsText(u"second");
  });
  EXPECT_TRUE(TWaitFixture::treeDataOnClipboard());
  runQueued();
  EXPECT_EQ(Clipboard()->AsText(), u"second");
  EXPECT_FALSE(f.T->TreeStates().Contains(tsCopyPending));
}

// The read is over but the changes asked for during it have not been made
// yet when the tree gives its copy up (or is freed): those changes are
// made, and the withdrawal takes nothing of theirs.
TEST(TreeClipboardWait, AWithdrawalBeforeTheWaitingChangesAreMadeLeavesThem) {
  for (const int variant : {0, 1, 2}) {
    SCOPED_TRACE(variant == 0 ? "text, copy given up" : variant == 1 ? "text, tree freed" : "another tree's copy");
    TWaitFixture f;
    TDataStringTree* other = nullptr;
    PDataNode node = nullptr;
    if (variant == 2) {
      other = new TDataStringTree(f.Form);
      other->SetParent(f.Form);
      other->SetBounds(0, 0, 100, 100);
      node = other->AddChild(nullptr);
      other->SetSelected(node, true);
    }
    f.whileRead([&] {
      if (other) {
        other->CopyToClipboard();
      } else {
        Clipboard()->SetAsText(u"asked during the read");
      }
    });
    EXPECT_TRUE(TWaitFixture::treeDataOnClipboard());
    if (variant == 1) {
      delete f.T;
    } else {
      f.T->ReleaseClipboard();
    }
    runQueued();
    if (other) {
      std::shared_ptr<IDataObject> now;
      ASSERT_EQ(OleGetClipboard(now), S_OK);
      auto* ours = dynamic_cast<TDTDataObject*>(now.get());
      ASSERT_NE(ours, nullptr) << "the other tree's copy was dropped";
      EXPECT_EQ(ours->Owner(), other);
      now.reset();
      EXPECT_TRUE(other->TreeStates().Contains(tsCopyPending));
      EXPECT_TRUE(node->States.Contains(vsCutOrCopy));
    } else {
      EXPECT_EQ(Clipboard()->AsText(), u"asked during the read");
    }
    if (variant != 1) {
      EXPECT_FALSE(f.T->TreeStates().Contains(tsCopyPending));
    }
  }
}

// The tree gives its copy up (or is freed) inside the program's own
// bracket around a clipboard change: what the bracket puts there is the
// bracket's, with nothing of the copy given up, and it stays when the tree
// goes later.
TEST(TreeClipboardWait, ACopyGivenUpInsideABracketDoesNotComeBackAtItsClose) {
  for (const bool freed : {true, false}) {
    SCOPED_TRACE(freed ? "tree freed" : "copy given up");
    TWaitFixture f;
    // Keeps the tree's shared formats registered when the tree goes.
    TDataStringTree keeper(nullptr);
    Clipboard()->Open();
    if (freed) {
      delete f.T;
    } else {
      f.T->ReleaseClipboard();
    }
    Clipboard()->SetAsText(u"the bracket's");
    Clipboard()->Close();
    runQueued();
    EXPECT_EQ(Clipboard()->AsText(), u"the bracket's");
    EXPECT_FALSE(Clipboard()->HasFormat(TreeGlobals().CF_DTREFERENCE)) << "the copy given up came back";
    EXPECT_FALSE(Clipboard()->HasFormat(TreeGlobals().CF_DATATREE));
    if (!freed) {
      EXPECT_FALSE(f.T->TreeStates().Contains(tsCopyPending));
      delete f.T;
      runQueued();
      EXPECT_EQ(Clipboard()->AsText(), u"the bracket's") << "the tree's going took the bracket's text";
    }
  }
}

// During the read a tree cuts, and another change is asked for after it:
// an emptying drops the waiting cut, or a text replaces it once made. The
// cut's end runs the tree's state handler, which frees the tree (or,
// freeing nothing, checks that the cut marks went).
TEST(TreeClipboardWait, AWaitingCutThatEndsMayFreeItsTree) {
  for (const int variant : {0, 1, 2, 3}) {
    const bool emptying = variant % 2 == 0, freeing = variant < 2;
    SCOPED_TRACE(std::string(emptying ? "emptied" : "text") + (freeing ? ", tree freed" : ""));
    TWaitFixture f;
    auto* other = new TReleasingTree(f.Form);
    other->SetParent(f.Form);
    other->SetBounds(0, 0, 100, 100);
    PDataNode node = other->AddChild(nullptr);
    other->SetSelected(node, true);
    int ends = 0;
    other->OnStateChange = [&](TBaseDataTree*, TDataTreeStates, TDataTreeStates Leave) {
      if (!Leave.Contains(tsCutPending)) return;
      ++ends;
      EXPECT_FALSE(node->States.Contains(vsCutOrCopy));
      if (freeing) delete other;
    };
    f.whileRead([&] {
      other->CutToClipboard();
      EXPECT_TRUE(other->TreeStates().Contains(tsCutPending));
      if (emptying) {
        Clipboard()->Clear();
      } else {
        Clipboard()->SetAsText(u"after the cut");
      }
    });
    runQueued();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(Clipboard()->AsText(), emptying ? u"" : u"after the cut");
    EXPECT_FALSE(TWaitFixture::treeDataOnClipboard());
    if (!freeing) {
      EXPECT_FALSE(other->TreeStates().Contains(tsCutPending));
      EXPECT_EQ(other->RootNodeCount(), 1u) << "the cut given up moved nothing";
    }
  }
}

// The tree freed inside nested brackets: nothing of its copy comes back at
// either close, while what the bracket wrote of the same formats itself
// (before the tree went) stays the bracket's.
TEST(TreeClipboardWait, ACopyGivenUpInsideNestedBracketsKeepsOnlyWhatTheBracketWrote) {
  for (const bool writes : {false, true}) {
    SCOPED_TRACE(writes ? "the bracket writes a format of the copy's" : "the bracket writes nothing");
    TWaitFixture f;
    TDataStringTree keeper(nullptr);
    const UINT format = TreeGlobals().CF_DATATREE;
    Clipboard()->Open();
    ASSERT_TRUE(Clipboard()->HasFormat(format)) << "the bracket starts from the copy";
    if (writes) Clipboard()->SetBuffer(format, "mine", 4);
    Clipboard()->Open();
    delete f.T;
    EXPECT_EQ(Clipboard()->HasFormat(format), writes);
    EXPECT_FALSE(Clipboard()->HasFormat(TreeGlobals().CF_DTREFERENCE));
    Clipboard()->Close();
    Clipboard()->Close();
    runQueued();
    EXPECT_FALSE(Clipboard()->HasFormat(TreeGlobals().CF_DTREFERENCE)) << "the copy given up came back";
    EXPECT_EQ(Clipboard()->AsText(), u"") << "the copy's text came back";
    EXPECT_EQ(Clipboard()->HasFormat(format), writes);
    if (writes) {
      EXPECT_EQ(Clipboard()->GetBuffer(format), RawByteString("mine"));
    }
  }
}
