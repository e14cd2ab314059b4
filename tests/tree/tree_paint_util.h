#pragma once
// Painted trees for the display tests: a form with a string tree set up as
// the program sets up its lists, picture lists of plain coloured squares,
// a text dump of what each painted row showed, and pixel access.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/gui/forms.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/testing.h"
#include "tests/tree/tree_test_util.h"
#include "tree/string_tree.h"

namespace painttest {

// The user data of every test node (built in place, freed in OnFreeNode).
struct TRow {
  String Caption;
  int Kind = 0;
};

inline TRow* rowOf(TBaseDataTree* t, PDataNode n) { return t->GetNodeData<TRow>(n); }

// A list of Count 16 x 16 squares, each of its own colour with a dark frame.
inline TImageList* makeImages(TComponent* owner, const std::vector<TColor>& colours) {
  auto* list = new TImageList(owner);
  for (TColor c : colours) {
    TBitmap bmp(16, 16);
    bmp.Canvas()->Brush()->SetColor(c);
    bmp.Canvas()->FillRect({0, 0, 16, 16});
    list->Add(&bmp, nullptr);
  }
  return list;
}

inline std::uint32_t rgbOf(TColor c) {
  COLORREF v = ColorToRGB(c);
  return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

struct TGrab {
  std::vector<std::uint32_t> P;
  int W = 0, H = 0;
  // RGB of a pixel, 0xRRGGBB.
  std::uint32_t at(int x, int y) const { return P[std::size_t(y) * std::size_t(W) + std::size_t(x)] & 0xFFFFFF; }
};

class TPaintedTree {
public:
  TForm* Form = nullptr;
  TDataStringTree* Tree = nullptr;
  // What each painted row showed, in paint order.
  struct TCellShown {
    PDataNode Node = nullptr;
    TColumnIndex Column = NoColumn;
    TRect Rect;
    String Text;
  };
  std::vector<TCellShown> Shown;

  explicit TPaintedTree(int width = 240, int height = 200) {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetClientWidth(width);
    Form->SetClientHeight(height);
    Tree = new TDataStringTree(Form);
    Tree->SetParent(Form);
    Tree->SetBorderStyle(bsNone);
    Tree->SetBounds(0, 0, width, height);
    Tree->Font()->SetName(u"DejaVu Sans");
    Tree->Font()->SetHeight(-12);
    Tree->SetColor(clWhite);
    Tree->SetNodeDataSize(int(sizeof(TRow)));
    Tree->OnInitNode = [this](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates&) {
      new (rowOf(t, n)) TRow();
      (void)this;
    };
    Tree->OnFreeNode = [](TBaseDataTree* t, PDataNode n) {
      if (n->States.Contains(vsInitialized)) rowOf(t, n)->~TRow();
    };
    Tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType, String& text) {
      text = rowOf(t, n)->Caption;
    };
    Tree->OnDrawText = [this](TBaseDataTree*, TCanvas*, PDataNode n, TColumnIndex c, const String& text,
                              const TRect& r, bool&) { Shown.push_back({n, c, r, text}); };
  }
  ~TPaintedTree() { delete Form; }

  PDataNode add(PDataNode parent, const std::string& caption, int kind = 0) {
    PDataNode n = Tree->AddChild(parent);
    Tree->ReinitNode(n, false);
    TRow* row = rowOf(Tree, n);
    row->Caption = UTF8ToUTF16(caption);
    row->Kind = kind;
    return n;
  }

  void show() {
    Form->Show();
    pump();
    EXPECT_TRUE(WaitExposed(Tree->Handle())) << "the tree's window never came on the screen";
  }

  static void pump() {
    for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  }

  // Repaints the whole tree now and grabs it.
  TGrab grab() {
    Shown.clear();
    Tree->Invalidate();
    Tree->Update();
    TGrab g;
    EXPECT_TRUE(GrabWindow(Tree, g.P, g.W, g.H));
    return g;
  }
};

}  // namespace painttest
