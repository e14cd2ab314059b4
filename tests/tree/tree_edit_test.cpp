// In-place editing: starting an editor (F2, a click on the focused caption
// and the edit timer, EditNode), typing into it, ending it with Enter,
// Escape or a focus change, multi-line nodes, the events and their order,
// and owners whose handlers end, cancel or destroy the tree from inside.
#include <gtest/gtest.h>

#include "platform/gui/stdctrls.h"
#include "tests/tree/tree_input_util.h"
#include "tree/edit_link.h"

using namespace inputtest;

namespace {

class EditTest : public ::testing::Test {
protected:
  std::unique_ptr<TInputFixture> F = std::make_unique<TInputFixture>(240, 200);
  TInputTree* T = F->Tree;
  std::vector<std::string> Events;
  PDataNode A = nullptr, B = nullptr;

  void SetUp() override {
    A = F->add(nullptr, "alpha");
    B = F->add(nullptr, "beta");
    T->TreeOptions().SetMiscOptions(T->TreeOptions().MiscOptions() + TDTMiscOptions{toEditable});
    T->OnEditing = [this](TBaseDataTree*, PDataNode n, TColumnIndex, bool&) { Events.push_back("editing " + F->caption(n)); };
    T->OnNewText = [this](TBaseDataTree* t, PDataNode n, TColumnIndex, const String& text) {
      Events.push_back("newtext " + UTF16ToUTF8(text));
      itemOf(t, n)->Caption = text;
    };
    T->OnEdited = [this](TBaseDataTree*, PDataNode n, TColumnIndex) { Events.push_back("edited " + F->caption(n)); };
    T->OnEditCancelled = [this](TBaseDataTree*, TColumnIndex c) { Events.push_back("cancelled " + std::to_string(c)); };
    F->show();
  }

  TDTEdit* editor() {
    auto link = std::dynamic_pointer_cast<TStringEditLink>(T->EditLink());
    return link ? link->Edit() : nullptr;
  }
  void type(const std::string& text) {
    ASSERT_NE(editor(), nullptr);
    for (char c : text) InjectKeyStroke(editor()->Handle(), UINT(std::toupper(c)), {}, String(1, char16_t(c)));
    F->pump();
  }
  void editKey(UINT vk, TShiftState shift = {}) {
    ASSERT_NE(editor(), nullptr);
    InjectKeyStroke(editor()->Handle(), vk, shift, vk == VK_RETURN ? u"\r" : vk == VK_ESCAPE ? u"\x1b" : u"");
    F->pump();
  }
};

TEST_F(EditTest, F2TypeEnterStoresTheTextAndReportsInOrder) {
  T->SetFocusedNode(A);
  F->key(VK_F2);
  ASSERT_TRUE(T->IsEditing());
  TDTEdit* e = editor();
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(e->Visible());
  EXPECT_EQ(e->Text(), u"alpha");
  EXPECT_EQ(e->SelLength(), 5) << "the whole caption is selected, typing replaces it";
  type("gamma");
  EXPECT_EQ(e->Text(), u"gamma");
  editKey(VK_RETURN);
  EXPECT_FALSE(T->IsEditing());
  EXPECT_EQ(T->EditLink(), nullptr);
  EXPECT_EQ(F->caption(A), "gamma");
  EXPECT_EQ(Events, (std::vector<std::string>{"editing alpha", "newtext gamma", "edited gamma"}));
  EXPECT_TRUE(T->Focused()) << "the tree takes the focus back";
}

TEST_F(EditTest, EscapeCancelsWithoutNewTextAndUnchangedTextIsNotReported) {
  ASSERT_TRUE(T->EditNode(B, NoColumn));
  type("zzz");
  editKey(VK_ESCAPE);
  EXPECT_FALSE(T->IsEditing());
  EXPECT_EQ(F->caption(B), "beta");
  EXPECT_EQ(Events, (std::vector<std::string>{"editing beta", "cancelled -1"}));

  Events.clear();
  ASSERT_TRUE(T->EditNode(B, NoColumn));
  EXPECT_TRUE(T->EndEditNode());
  EXPECT_EQ(Events, (std::vector<std::string>{"editing beta", "edited beta"})) << "no new text for an untouched edit";
}

TEST_F(EditTest, EditingNeedsTheOptionAWritableTreeAndTheOwnersConsent) {
  T->TreeOptions().SetMiscOptions(T->TreeOptions().MiscOptions() - TDTMiscOptions{toEditable});
  EXPECT_FALSE(T->EditNode(A, NoColumn));
  T->TreeOptions().SetMiscOptions(T->TreeOptions().MiscOptions() + TDTMiscOptions{toEditable, toReadOnly});
  EXPECT_FALSE(T->EditNode(A, NoColumn));
  T->TreeOptions().SetMiscOptions(T->TreeOptions().MiscOptions() - TDTMiscOptions{toReadOnly});
  T->SetEnabled(false);
  EXPECT_FALSE(T->EditNode(A, NoColumn));
  T->SetEnabled(true);
  T->OnEditing = [](TBaseDataTree*, PDataNode n, TColumnIndex, bool& allowed) { allowed = n->Index != 0; };
  EXPECT_FALSE(T->EditNode(A, NoColumn));
  EXPECT_TRUE(T->EditNode(B, NoColumn));
  EXPECT_EQ(T->FocusedNode(), B);
}

TEST_F(EditTest, AClickOnTheFocusedCaptionStartsTheEditWhenTheEditTimerFires) {
  T->SetFocusedNode(A);
  T->SetSelected(A, true);
  F->click(F->textPoint(A));
  ASSERT_TRUE(T->TreeStates().Contains(tsEditPending));
  EXPECT_FALSE(T->IsEditing());
  SendMessage(T->Handle(), WM_TIMER, EditTimer, 0);
  F->pump();
  EXPECT_TRUE(T->IsEditing());
  EXPECT_FALSE(T->TreeStates().Contains(tsEditPending));
}

TEST_F(EditTest, LeavingTheEditorAcceptsOrDiscardsAsTheOptionSays) {
  auto* other = new TEdit(F->Form);
  other->SetParent(F->Form);
  other->SetBounds(0, 0, 50, 20);
  F->pump();
  ASSERT_TRUE(T->EditNode(A, NoColumn));
  type("kept");
  InjectFocus(other->Handle());
  F->pump();
  EXPECT_FALSE(T->IsEditing());
  EXPECT_EQ(F->caption(A), "kept");

  auto opts = T->TreeOptions().StringOptions();
  T->TreeOptions().SetStringOptions(opts - TDTStringOptions{toAutoAcceptEditChange});
  ASSERT_TRUE(T->EditNode(B, NoColumn));
  type("lost");
  InjectFocus(other->Handle());
  F->pump();
  EXPECT_FALSE(T->IsEditing());
  EXPECT_EQ(F->caption(B), "beta");
  EXPECT_EQ(Events.back(), "cancelled -1");
}

TEST_F(EditTest, MultiLineNodeTakesLineBreaksAndEndsWithCtrlEnter) {
  T->SetNodeHeight(A, 40);
  A->States.Include(vsMultiline);
  ASSERT_TRUE(T->EditNode(A, NoColumn));
  TDTEdit* e = editor();
  ASSERT_TRUE(e->MultiLine());
  EXPECT_FALSE(e->EditStyle() & ES_AUTOHSCROLL) << "a multi-line node's text wraps";
  EXPECT_TRUE(e->EditStyle() & WS_VSCROLL);
  type("one");
  editKey(VK_RETURN);
  EXPECT_TRUE(T->IsEditing()) << "Enter types a line break";
  type("two");
  editKey(VK_RETURN, {ssCtrl});
  EXPECT_FALSE(T->IsEditing());
  EXPECT_EQ(F->caption(A), "one\r\ntwo");
}

TEST_F(EditTest, SingleLineEditorGrowsWithItsTextAndKeepsToTheColumnAlignment) {
  ASSERT_TRUE(T->EditNode(A, NoColumn));
  TDTEdit* e = editor();
  EXPECT_TRUE(e->EditStyle() & ES_AUTOHSCROLL);
  EXPECT_FALSE(e->EditStyle() & (ES_RIGHT | ES_CENTER));
  type("x");
  EXPECT_EQ(e->Width(), 30) << "never narrower than 30 pixels";
  const int before = e->Width();
  type("xxxxxxxxxxxxxxxxxx");
  TCanvas* c = T->Canvas();
  c->Font()->Assign(*e->Font());
  EXPECT_GT(e->Width(), before);
  EXPECT_EQ(e->Width(), std::min(c->TextWidth(e->Text()) + 2 * T->TextMargin(), T->ClientWidth() - e->Left()));
  editKey(VK_ESCAPE);

  TDataTreeColumn* col = T->Header().Columns().Add();
  col->SetWidth(200);
  col->SetAlignment(taRightJustify);
  T->Header().SetOptions(T->Header().Options() + TDTHeaderOptions{hoVisible});
  F->pump();
  ASSERT_TRUE(T->EditNode(B, 0));
  EXPECT_TRUE(editor()->EditStyle() & ES_RIGHT);
  EXPECT_EQ(T->EditColumn(), 0);
}

TEST_F(EditTest, AnEditorHandlerThatOffersNoLinkGetsTheDefaultEditor) {
  int asked = 0;
  T->OnCreateEditor = [&](TBaseDataTree*, PDataNode, TColumnIndex, PDTEditLink& link) {
    ++asked;
    link = nullptr;
  };
  EXPECT_TRUE(T->EditNode(A, NoColumn));
  EXPECT_EQ(asked, 1);
  EXPECT_NE(editor(), nullptr);
}

TEST_F(EditTest, EndingOrCancellingFromInsideAnEditEventDoesNotReenter) {
  bool inner = true;
  int newTexts = 0;
  T->OnNewText = [&](TBaseDataTree* t, PDataNode n, TColumnIndex, const String& text) {
    ++newTexts;
    inner = t->CancelEditNode() && t->EndEditNode();
    itemOf(t, n)->Caption = text;
  };
  int edited = 0;
  T->OnEdited = [&](TBaseDataTree* t, PDataNode, TColumnIndex) {
    ++edited;
    EXPECT_TRUE(t->EndEditNode()) << "nothing left to end";
  };
  ASSERT_TRUE(T->EditNode(A, NoColumn));
  type("new");
  editKey(VK_RETURN);
  EXPECT_FALSE(inner) << "the running end refuses a nested end or cancel";
  EXPECT_EQ(newTexts, 1);
  EXPECT_EQ(edited, 1);
  EXPECT_FALSE(T->IsEditing());
  EXPECT_EQ(F->caption(A), "new");
  // The tree edits again afterwards.
  EXPECT_TRUE(T->EditNode(B, NoColumn));
}

// Each handler frees the whole form with the tree on it.
TEST_F(EditTest, HandlersMayDestroyTheTree) {
  for (int which = 0; which < 4; ++which) {
    SCOPED_TRACE(which);
    if (!F) {
      F = std::make_unique<TInputFixture>(240, 200);
      T = F->Tree;
      A = F->add(nullptr, "alpha");
      T->TreeOptions().SetMiscOptions(T->TreeOptions().MiscOptions() + TDTMiscOptions{toEditable});
      F->show();
    }
    auto destroy = [this] { F.reset(); };
    if (which == 0) T->OnNewText = [&](TBaseDataTree*, PDataNode, TColumnIndex, const String&) { destroy(); };
    if (which == 1) T->OnEdited = [&](TBaseDataTree*, PDataNode, TColumnIndex) { destroy(); };
    if (which == 2) T->OnEditCancelled = [&](TBaseDataTree*, TColumnIndex) { destroy(); };
    if (which == 3)
      T->OnCreateEditor = [&](TBaseDataTree*, PDataNode, TColumnIndex, PDTEditLink&) { destroy(); };
    const bool started = T->EditNode(A, NoColumn);
    if (which == 3) {
      EXPECT_FALSE(started);
      EXPECT_EQ(F, nullptr);
      continue;
    }
    ASSERT_TRUE(started);
    type("x");
    editKey(which == 2 ? VK_ESCAPE : VK_RETURN);
    EXPECT_EQ(F, nullptr);
    TInputFixture::pump();
  }
}

// A handler (or the owner between two keys) deletes the node being edited:
// the edit ends with it, and nothing reaches the freed node afterwards.
TEST_F(EditTest, DeletingTheEditedNodeEndsTheEdit) {
  for (int how = 0; how < 3; ++how) {
    SCOPED_TRACE(how);
    PDataNode parent = F->add(nullptr, "parent");
    PDataNode child = F->add(parent, "child");
    T->SetExpanded(parent, true);
    Events.clear();
    ASSERT_TRUE(T->EditNode(child, NoColumn));
    type("changed");
    if (how == 0) T->DeleteNode(child);
    if (how == 1) T->DeleteChildren(parent, false);
    if (how == 2) T->DeleteNode(parent);
    EXPECT_FALSE(T->IsEditing());
    EXPECT_EQ(T->EditLink(), nullptr);
    // Enter in a still-open editor would hand the freed node to the owner.
    if (T->IsEditing()) editKey(VK_RETURN);
    F->pump();
    EXPECT_EQ(Events, (std::vector<std::string>{"editing child"})) << "no new text and no report of an edit";
    if (how < 2) T->DeleteNode(parent);
    checkInvariants(*T);
    // The tree edits again afterwards.
    ASSERT_TRUE(T->EditNode(A, NoColumn));
    editKey(VK_ESCAPE);
  }
}

TEST_F(EditTest, AnEditingHandlerThatDeletesTheNodeStartsNoEdit) {
  PDataNode doomed = F->add(nullptr, "doomed");
  T->OnEditing = [](TBaseDataTree* t, PDataNode n, TColumnIndex, bool&) { t->DeleteNode(n); };
  EXPECT_FALSE(T->EditNode(doomed, NoColumn));
  EXPECT_FALSE(T->IsEditing());
  EXPECT_EQ(T->FocusedNode(), nullptr);
  EXPECT_EQ(T->RootNodeCount(), 2u);
  // The same from the focus handler that EditNode causes.
  doomed = F->add(nullptr, "doomed too");
  T->OnEditing = nullptr;
  T->OnFocusChanged = [](TBaseDataTree* t, PDataNode n, TColumnIndex) {
    if (n) t->DeleteNode(n);
  };
  EXPECT_FALSE(T->EditNode(doomed, NoColumn));
  EXPECT_FALSE(T->IsEditing());
  EXPECT_EQ(T->RootNodeCount(), 2u);
}

TEST_F(EditTest, TheEditedReportNamesTheEditedNodeWhereverTheFocusWent) {
  ASSERT_TRUE(T->EditNode(A, NoColumn));
  type("renamed");
  T->OnNewText = [this](TBaseDataTree* t, PDataNode n, TColumnIndex, const String& text) {
    itemOf(t, n)->Caption = text;
    t->SetFocusedNode(B);
  };
  editKey(VK_RETURN);
  EXPECT_EQ(T->FocusedNode(), B);
  EXPECT_EQ(Events.back(), "edited renamed");

  // An owner that deletes the node when it gets its new text hears of no
  // edited node.
  T->OnNewText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, const String&) { t->DeleteNode(n); };
  ASSERT_TRUE(T->EditNode(B, NoColumn));
  type("gone");
  Events.clear();
  editKey(VK_RETURN);
  EXPECT_FALSE(T->IsEditing());
  EXPECT_TRUE(Events.empty());
  EXPECT_EQ(T->RootNodeCount(), 1u);
}

TEST_F(EditTest, TheEditorFollowsItsRowWhenTheTreeScrolls) {
  for (int i = 0; i < 30; ++i) F->add(nullptr, "row " + std::to_string(i));
  PDataNode row5 = T->GetFirst();
  for (int i = 0; i < 7; ++i) row5 = T->GetNext(row5);
  ASSERT_TRUE(T->EditNode(row5, NoColumn));
  TDTEdit* e = editor();
  ASSERT_NE(e, nullptr);
  const int cellToEditor = e->Top() - T->GetDisplayRect(row5, NoColumn, true).Top;
  for (int rows : {1, 3, -2}) {
    T->SetOffsetY(T->OffsetY() - rows * int(T->DefaultNodeHeight()));
    F->pump();
    ASSERT_TRUE(T->IsEditing());
    EXPECT_EQ(e->Top() - T->GetDisplayRect(row5, NoColumn, true).Top, cellToEditor)
        << "after scrolling by " << rows << " rows";
  }
  // Scrolled out of the window and back, it is still on its cell.
  T->SetOffsetY(-int(T->DefaultNodeHeight()) * 20);
  T->SetOffsetY(0);
  F->pump();
  EXPECT_EQ(e->Top() - T->GetDisplayRect(row5, NoColumn, true).Top, cellToEditor);
  editKey(VK_ESCAPE);
}

TEST_F(EditTest, DestroyingTheTreeWhileEditingStoresNothing) {
  int newTexts = 0;
  T->OnNewText = [&](TBaseDataTree*, PDataNode, TColumnIndex, const String&) { ++newTexts; };
  ASSERT_TRUE(T->EditNode(A, NoColumn));
  type("changed");
  F.reset();
  TInputFixture::pump();
  EXPECT_EQ(newTexts, 0);
}

}  // namespace
