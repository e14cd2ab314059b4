// The form the tests of trees destroyed by their own handlers share: a
// shown form holding a string tree of a few rows; the handler armed by
// doom() deletes the tree the first time it runs.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tree/string_tree.h"

namespace tree_gone {

inline void pump() {
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
}

// How the form and its tree are made.
struct TGoneShape {
  int Width = 420, Height = 300;  // the form's; the tree leaves 20 pixels
  int Columns = 3;                // under a visible header; 0: no header
  int FirstChildren = 2;          // children of the first row, expanded
  int MoreRows = 6;               // top rows after the first
  bool Focus = false;             // focus the tree once shown
};

struct TGoneForm {
  TForm* Form = nullptr;
  TDataStringTree* T = nullptr;
  std::weak_ptr<const bool> Life;
  bool Armed = false;
  PDataNode First = nullptr;

  explicit TGoneForm(const TGoneShape& S = {}) {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBounds(40, 40, S.Width, S.Height);
    T = new TDataStringTree(Form);
    Life = T->LifeToken();
    T->SetParent(Form);
    T->SetBounds(0, 0, S.Width - 20, S.Height - 20);
    T->Font()->SetName(u"DejaVu Sans");
    for (int i = 0; i < S.Columns; ++i) T->Header().Columns().Add()->SetWidth(100);
    if (S.Columns > 0) T->Header().SetOptions(T->Header().Options() + TDTHeaderOptions{hoVisible});
    T->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex c, TDTTextType, String& text) {
      text = u"cell text of column " + UTF8ToUTF16(std::to_string(c));
    };
    First = T->AddChild(nullptr);
    for (int i = 0; i < S.FirstChildren; ++i) T->AddChild(First);
    for (int i = 0; i < S.MoreRows; ++i) T->AddChild(nullptr);
    if (S.FirstChildren > 0) T->SetExpanded(First, true);
    Form->Show();
    pump();
    if (S.Focus) InjectFocus(T->Handle());
    // What the tree paints at once is painted only on a window that is on
    // the screen, which on a busy X server can take a while.
    EXPECT_TRUE(WaitExposed(T->Handle())) << "the tree's window never came on the screen";
  }
  ~TGoneForm() {
    pump();
    delete Form;
  }
  TGoneForm(const TGoneForm&) = delete;
  TGoneForm& operator=(const TGoneForm&) = delete;

  bool alive() const { return !Life.expired(); }
  std::function<void()> doom() {
    return [this] {
      if (!Armed) return;
      Armed = false;
      delete T;
    };
  }
  // Every cell painted from now on asks the dooming handler.
  void doomOnPaint() {
    T->OnBeforeCellPaint = [d = doom()](TBaseDataTree*, TCanvas*, PDataNode, TColumnIndex, TRect&) { d(); };
  }
};

}  // namespace tree_gone
