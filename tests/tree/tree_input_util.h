#pragma once
// A string tree on a form, shaped like the program's result list (roots
// with headword children), driven by input made as the toolkit's own
// events: keys, clicks, drags and the wheel go through the same translation
// as a user's.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/core/strings.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tests/tree/tree_test_util.h"
#include "tree/string_tree.h"

namespace inputtest {

struct TItem {
  String Caption;
};

// Exposes the protected input operations and counts row repaints.
class TInputTree : public TDataStringTree {
public:
  using TDataStringTree::TDataStringTree;
  using TBaseDataTree::ApplyCheckState;
  using TBaseDataTree::CalculateSelectionRect;
  using TBaseDataTree::CheckParentCheckState;
  using TBaseDataTree::DetermineScrollDirections;
  using TBaseDataTree::DoCheckClick;
  using TBaseDataTree::DoStateChange;
  using TBaseDataTree::HandleClickSelection;
  using TBaseDataTree::HandleIncrementalSearch;

  TRect InvalidateNode(PDataNode Node) override {
    if (Node) Invalidated.push_back(Node);
    return TDataStringTree::InvalidateNode(Node);
  }
  std::vector<PDataNode> Invalidated;
};

inline TItem* itemOf(TBaseDataTree* t, PDataNode n) { return t->GetNodeData<TItem>(n); }

class TInputFixture {
public:
  TForm* Form = nullptr;
  TInputTree* Tree = nullptr;

  explicit TInputFixture(int width = 240, int height = 200) {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetClientWidth(width);
    Form->SetClientHeight(height);
    Tree = new TInputTree(Form);
    Tree->SetParent(Form);
    Tree->SetBorderStyle(bsNone);
    Tree->SetBounds(0, 0, width, height);
    Tree->Font()->SetName(u"DejaVu Sans");
    Tree->Font()->SetHeight(-12);
    Tree->SetNodeDataSize(int(sizeof(TItem)));
    Tree->OnInitNode = [](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates&) {
      new (itemOf(t, n)) TItem();
    };
    Tree->OnFreeNode = [](TBaseDataTree* t, PDataNode n) {
      if (n->States.Contains(vsInitialized)) itemOf(t, n)->~TItem();
    };
    Tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType, String& text) {
      text = itemOf(t, n)->Caption;
    };
  }
  ~TInputFixture() { delete Form; }

  PDataNode add(PDataNode parent, const std::string& caption) {
    PDataNode n = Tree->AddChild(parent);
    Tree->ReinitNode(n, false);
    itemOf(Tree, n)->Caption = UTF8ToUTF16(caption);
    return n;
  }

  // Roots "Root i" each with Children headwords "word i.j"; roots collapsed.
  std::vector<PDataNode> resultShaped(int roots, int children) {
    std::vector<PDataNode> out;
    for (int i = 0; i < roots; ++i) {
      PDataNode root = add(nullptr, "Root " + std::to_string(i));
      out.push_back(root);
      for (int j = 0; j < children; ++j) add(root, "word " + std::to_string(i) + "." + std::to_string(j));
    }
    return out;
  }

  void show() {
    Form->Show();
    InjectFocus(Tree->Handle());
    pump();
    EXPECT_TRUE(WaitExposed(Tree->Handle())) << "the tree's window never came on the screen";
  }

  static void pump() {
    for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  }

  HWND handle() { return Tree->Handle(); }

  void key(UINT vk, TShiftState shift = {}, const std::string& text = "", bool keypad = false) {
    InjectKeyStroke(handle(), vk, shift, UTF8ToUTF16(text), keypad);
    pump();
  }
  void keyDown(UINT vk, TShiftState shift = {}, const std::string& text = "") {
    InjectKey(handle(), vk, shift, UTF8ToUTF16(text));
    pump();
  }
  void keyUp(UINT vk, TShiftState shift = {}, const std::string& text = "") {
    InjectKey(handle(), vk, shift, UTF8ToUTF16(text), true);
    pump();
  }

  // The middle of a node's text, in client co-ordinates.
  TPoint textPoint(PDataNode n) {
    TRect r = Tree->GetDisplayRect(n, NoColumn, true);
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  }
  TRect rowRect(PDataNode n) { return Tree->GetDisplayRect(n, NoColumn, false); }

  void mouse(TInjectedMouse kind, TPoint p, TMouseButton button = mbLeft, TShiftState shift = {},
             TShiftState held = {}) {
    InjectMouse(handle(), kind, button, p, shift, held);
    pump();
  }
  void click(TPoint p, TShiftState shift = {}, TMouseButton button = mbLeft) {
    mouse(imDown, p, button, shift);
    mouse(imUp, p, button, shift);
  }

  std::vector<PDataNode> selected() {
    std::vector<PDataNode> out;
    for (PDataNode n = Tree->GetFirstSelected(); n; n = Tree->GetNextSelected(n)) out.push_back(n);
    return out;
  }
  std::string caption(PDataNode n) { return n ? UTF16ToUTF8(itemOf(Tree, n)->Caption) : "(none)"; }
};

}  // namespace inputtest
