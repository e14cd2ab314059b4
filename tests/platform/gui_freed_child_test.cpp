// A parent walks its children (aligning them, handing its font, colour or
// reading direction on, placing, scrolling, showing, hiding or remaking
// their windows), and each child's handlers run on the way: any of them
// may free the child, a sibling, the parent or the form. The walk touches
// nothing that went (the sanitizer build reports any such use), and the
// children left end laid out as if the freed one had never been there.
//
// A sweep: each operation runs once, on every layout, to count the
// messages its children receive; then, for every N, the handler of the
// Nth message frees its victim.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "platform/gui/stdctrls.h"

namespace {

using namespace guitest;

// A child that tells the sweep of each message once its own handling of
// it is done.
using Child = Told<TCustomControl>;

enum TVictim { vItself, vNextSibling, vSiblingBefore, vParent, vForm };
const char* const kVictims[] = {"the child itself", "the next sibling", "the sibling before it", "the parent",
                                "the form"};
const char* const kAligns[] = {"none", "top", "bottom", "left", "right", "client"};

// A form, the parent on it (the form itself or a panel filling it), three
// children aligned alike and one anchored to the far corner.
struct Scene {
  TForm* Form = nullptr;
  TWinControl* Parent = nullptr;
  std::vector<Child*> Kids;
  std::vector<TLife> KidLives;
  TLife FormLife, ParentLife;
  TAlign Align = alNone;

  Scene(TAlign A, bool OnPanel) : Align(A) {
    auto* form = new Watched<TForm>(nullptr);
    FormLife = ParentLife = form->Alive;
    Form = form;
    Form->SetBounds(10, 10, 400, 300);
    Parent = Form;
    if (OnPanel) {
      auto* panel = new Watched<TPanel>(Form);
      ParentLife = panel->Alive;
      panel->SetParent(Form);
      panel->SetBevelOuter(bvNone);
      panel->SetAlign(alClient);
      Parent = panel;
    }
    for (int i = 0; i < 4; ++i) {
      auto* c = new Child(Form);
      c->SetParent(Parent);
      c->SetParentColor(true);
      if (i == 1) c->SetBorderStyle(bsSingle);
      if (i < 3) {
        c->SetBounds(10 + 60 * i, 10 + 60 * i, 40 + 10 * i, 30 + 10 * i);
        c->SetAlign(A);
      } else {
        c->SetBounds(300, 200, 20, 20);
        c->SetAnchors({akRight, akBottom});
      }
      Kids.push_back(c);
      KidLives.push_back(c->Alive);
    }
    Form->Show();
    pump();
  }
  ~Scene() {
    if (lives(FormLife)) delete Form;
    pump();
  }
  bool parentLives() const { return lives(ParentLife); }

  // Frees the victim named, seen from child C.
  void free(Child* C, TVictim Victim) {
    switch (Victim) {
      case vItself: delete C; return;
      case vNextSibling:
      case vSiblingBefore: {
        TWinControl* p = C->Parent();
        const int n = p->ControlCount();
        int i = 0;
        while (p->Controls(i) != C) ++i;
        delete p->Controls((i + (Victim == vNextSibling ? 1 : n - 1)) % n);
        return;
      }
      case vParent: delete Parent; return;
      case vForm: delete Form; return;
    }
  }

  // The aligned children left (and shown) fill the parent from its edge
  // without a gap, each across the whole of it; alClient ones fill it.
  void expectLaidOut() {
    const TRect area = Parent->ClientRect();
    std::vector<TControl*> left;
    int onParent = 0;
    for (size_t i = 0; i < Kids.size(); ++i) {
      if (!lives(KidLives[i])) continue;
      ++onParent;
      if (Kids[i]->Visible() && Kids[i]->Align() == Align) left.push_back(Kids[i]);
    }
    EXPECT_EQ(Parent->ControlCount(), onParent) << "a freed child is still listed";
    if (Align == alClient) {
      for (TControl* c : left) EXPECT_EQ(c->BoundsRect(), area);
      return;
    }
    // Along the axis: where each starts and how long it is, from the edge.
    auto along = [&](TControl* c) {
      switch (Align) {
        case alTop: return std::pair{c->Top() - area.Top, c->Height()};
        case alBottom: return std::pair{area.Bottom - c->Top() - c->Height(), c->Height()};
        case alLeft: return std::pair{c->Left() - area.Left, c->Width()};
        default: return std::pair{area.Right - c->Left() - c->Width(), c->Width()};
      }
    };
    std::sort(left.begin(), left.end(), [&](TControl* a, TControl* b) { return along(a).first < along(b).first; });
    int edge = 0;
    for (TControl* c : left) {
      EXPECT_EQ(along(c).first, edge) << "a gap or an overlap before a child at " << c->Left() << "," << c->Top();
      edge = along(c).first + along(c).second;
      if (Align == alTop || Align == alBottom) {
        EXPECT_EQ(c->Left(), area.Left);
        EXPECT_EQ(c->Width(), area.Width());
      } else {
        EXPECT_EQ(c->Top(), area.Top);
        EXPECT_EQ(c->Height(), area.Height());
      }
    }
  }
};

struct Operation {
  const char* Name;
  std::function<void(Scene&)> Do;
};

std::vector<Operation> operations() {
  return {
      {"the form resized", [](Scene& s) { s.Form->SetBounds(10, 10, 520, 390); }},
      {"the parent hidden and shown again",
       [](Scene& s) {
         s.Parent->Hide();
         if (s.parentLives()) s.Parent->Show();
       }},
      {"the parent's font changed", [](Scene& s) { s.Parent->Font()->SetSize(15); }},
      {"the parent's colour changed", [](Scene& s) { s.Parent->SetColor(clRed); }},
      {"the parent's reading direction changed", [](Scene& s) { s.Parent->SetBiDiMode(bdRightToLeft); }},
      {"an aligned child hidden", [](Scene& s) { s.Kids[1]->Hide(); }},
      {"the parent's window scrolled with its children",
       [](Scene& s) { ScrollWindowEx(s.Parent->Handle(), 0, 7, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN); }},
      {"the parent's windows made again", [](Scene& s) { s.Parent->RecreateWnd(); }},
  };
}

TEST(GuiFreedChild, AChildsHandlerFreeingAnyControlWhileItsParentWalksItsChildren) {
  Application->Initialize();
  int runs = 0;
  for (const Operation& op : operations())
    for (TAlign align : {alTop, alBottom, alLeft, alRight, alClient})
      for (bool onPanel : {false, true})
        for (TVictim victim : {vItself, vNextSibling, vSiblingBefore, vParent, vForm}) {
          if (victim == vForm && !onPanel) continue;  // the form is the parent
          SCOPED_TRACE(std::string(op.Name) + ", children aligned " + kAligns[align] + ", on " +
                       (onPanel ? "a panel" : "the form") + ", freeing " + kVictims[victim]);
          // Frees the victim at the At-th message (0: never); answers the
          // number of messages the children received.
          auto run = [&](int At) {
            int seen = 0;
            bool counting = true;
            Scene s(align, onPanel);
            for (Child* c : s.Kids)
              c->After = [&, c](TMessage&) {
                if (counting && ++seen == At) {
                  counting = false;
                  s.free(c, victim);
                }
              };
            op.Do(s);
            counting = false;
            const int reached = seen;
            if (lives(s.FormLife)) pump();
            if (s.parentLives()) s.expectLaidOut();
            return reached;
          };
          const int total = run(0);
          for (int n = 1; n <= total; ++n) {
            ++runs;
            // On a real X server the window system decides how many
            // messages a hide and a show bring: a run that fell short is
            // made again before it counts as a message that never came.
            int reached = run(n);
            for (int again = 0; again < 20 && reached < n; ++again) reached = run(n);
            EXPECT_GE(reached, n) << "message " << n << " of " << total << " never came";
          }
        }
  EXPECT_GT(runs, 0);
}

}  // namespace
