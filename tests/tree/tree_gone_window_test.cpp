// The tree's window is made when the tree is put on a shown form, or when
// its form is shown: the making raises the tree's events (its states, the
// scroll bars it shows or hides, the resize of its client area, the
// columns sized to the window), and a handler of any of them may destroy
// the tree. Nothing of it is touched then, and the program's call that
// asked for the window returns as usual.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "platform/gui/forms.h"
#include "platform/gui/windows.h"
#include "tests/tree/gone_fixture.h"
#include "tree/string_tree.h"

namespace {

using tree_gone::pump;

enum TEvent { StateChange, ShowScrollbar, Resize, ColumnResize };
const char* const kEventNames[] = {"OnStateChange", "OnShowScrollbar", "OnResize", "OnColumnResize"};

enum TWay { PutOnShownForm, FormShown };
const char* const kWayNames[] = {"put on a shown form", "its form shown"};

}  // namespace

TEST(TreeGoneWindow, AHandlerDestroyingTheTreeWhileItsWindowIsMadeEndsTheMaking) {
  for (TWay way : {PutOnShownForm, FormShown})
    for (TEvent event : {StateChange, ShowScrollbar, Resize, ColumnResize})
      for (int k : {1, 2, 3, 5}) {
        SCOPED_TRACE(testing::Message() << kWayNames[way] << ", " << kEventNames[event] << ", call " << k);
        Application->Initialize();
        TForm* form = new TForm(nullptr);
        form->SetBounds(40, 40, 420, 300);
        if (way == PutOnShownForm) {
          form->Show();
          pump();
        }
        auto* tree = new TDataStringTree(form);
        const std::weak_ptr<const bool> life = tree->LifeToken();
        tree->SetBounds(0, 0, 400, 280);
        tree->OnGetText = [](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) { text = u"row"; };
        for (int i = 0; i < 60; ++i) tree->AddChild(nullptr);
        for (int i = 0; i < 3; ++i) tree->Header().Columns().Add()->SetWidth(100);
        tree->Header().SetOptions(tree->Header().Options() + TDTHeaderOptions{hoVisible, hoAutoResize});
        int calls = 0;
        bool fired = false;
        auto doom = [&](TObject* sender) {
          if (fired || ++calls != k) return;
          fired = true;
          delete sender;
        };
        switch (event) {
          case StateChange:
            tree->OnStateChange = [&](TBaseDataTree* t, TDataTreeStates, TDataTreeStates) { doom(t); };
            break;
          case ShowScrollbar:
            tree->OnShowScrollbar = [&](TBaseDataTree* t, int, bool) { doom(t); };
            break;
          case Resize:
            tree->OnResize = doom;
            break;
          case ColumnResize:
            tree->OnColumnResize = [&](TDTHeader* h, TColumnIndex) { doom(h->Treeview()); };
            break;
        }
        if (way == PutOnShownForm) {
          EXPECT_NO_THROW(tree->SetParent(form));
        } else {
          tree->SetParent(form);
          EXPECT_NO_THROW(form->Show());
        }
        const bool firedInMaking = fired;
        fired = true;  // disarmed: only the making is tried
        pump();
        if (k == 1) {
          EXPECT_TRUE(firedInMaking) << "the making raised no such event";
        }
        EXPECT_EQ(firedInMaking, life.expired());
        if (!life.expired()) {
          EXPECT_TRUE(tree->HandleAllocated());
          // A tree left standing still works.
          tree->SetOffsetY(0);
          pump();
        }
        delete form;
      }
}
