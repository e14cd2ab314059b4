// A handler that destroys the tree from deep inside an operation: the
// operation unwinds to the tree's outermost entry, a call of the program
// gets its neutral answer back and goes on, and the message loop runs on
// without a word to the user.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tests/tree/gone_fixture.h"
#include "tree/string_tree.h"

namespace {

using tree_gone::pump;

// Counts the message boxes the program would have shown.
struct TBoxCounter {
  int Boxes = 0;
  TDialogHook Previous;
  TBoxCounter() {
    Previous = SetDialogHook([this](TDialogRequest& r, int& result) {
      if (r.Kind != dkMessageBox) return false;
      ++Boxes;
      result = IDOK;
      return true;
    });
  }
  ~TBoxCounter() { SetDialogHook(Previous); }
};

// A shown form with a string tree of three columns and a few rows, one of
// them with children; Doom arms the handler that deletes the tree.
struct TGoneFixture : tree_gone::TGoneForm {
  TGoneFixture() : TGoneForm({.Width = 360, .Height = 260, .MoreRows = 4}) {}
};

// One direct call of the program whose question handler destroys the tree.
struct TProgramCall {
  const char* Name;
  std::function<void(TGoneFixture&)> Hook;
  // Makes the call and tells whether its answer is the neutral one.
  std::function<bool(TGoneFixture&)> Call;
};

std::vector<TProgramCall> programCalls() {
  return {
      {"GetMaxColumnWidth asking OnBeforeGetMaxColumnWidth",
       [](TGoneFixture& f) {
         auto d = f.doom();
         f.T->OnBeforeGetMaxColumnWidth = [d](TDTHeader*, TColumnIndex, bool&) { d(); };
       },
       [](TGoneFixture& f) { return f.T->GetMaxColumnWidth(0) == 0; }},
      {"GetMaxColumnWidth asking OnGetText of a row",
       [](TGoneFixture& f) {
         auto d = f.doom();
         f.T->OnGetText = [d](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) {
           text = u"a text";
           d();
         };
       },
       [](TGoneFixture& f) { return f.T->GetMaxColumnWidth(1) == 0; }},
      {"RenderTree asking OnGetText",
       [](TGoneFixture& f) {
         auto d = f.doom();
         f.T->OnGetText = [d](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) {
           text = u"a text";
           d();
         };
       },
       [](TGoneFixture& f) {
         TBitmap target(300, 200);
         f.T->RenderTree(target.Canvas(), {0, 0, 300, 200}, {0, 0}, {ptoBackground, ptoGridLines});
         // The picture the program passed is still its own to use.
         target.Canvas()->FillRect({0, 0, 10, 10});
         return true;
       }},
      {"RenderTree asking OnBeforeCellPaint",
       [](TGoneFixture& f) {
         auto d = f.doom();
         f.T->OnBeforeCellPaint = [d](TBaseDataTree*, TCanvas*, PDataNode, TColumnIndex, TRect&) { d(); };
       },
       [](TGoneFixture& f) {
         TBitmap target(300, 200);
         f.T->RenderTree(target.Canvas(), {0, 0, 300, 200}, {0, 0}, {ptoBackground});
         return true;
       }},
      {"the cell text asking OnGetText",
       [](TGoneFixture& f) {
         auto d = f.doom();
         f.T->OnGetText = [d](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String& text) {
           text = u"a text";
           d();
         };
       },
       [](TGoneFixture& f) { return f.T->Text(f.First, 0).empty(); }},
      {"NodeHeight asking OnMeasureItem",
       [](TGoneFixture& f) {
         auto& o = f.T->TreeOptions();
         o.SetMiscOptions(o.MiscOptions() + TDTMiscOptions{toVariableNodeHeight});
         auto d = f.doom();
         f.T->OnMeasureItem = [d](TBaseDataTree*, TCanvas*, PDataNode, int& height) {
           height = 40;
           d();
         };
         f.T->ReinitNode(f.First, false);
       },
       [](TGoneFixture& f) { return f.T->NodeHeight(f.First) == 0; }},
      {"CopyToClipboard asking OnGetUserClipboardFormats",
       [](TGoneFixture& f) {
         auto d = f.doom();
         f.T->OnGetUserClipboardFormats = [d](TBaseDataTree*, TFormatEtcArray&) { d(); };
         f.T->SetSelected(f.First, true);
       },
       [](TGoneFixture& f) {
         f.T->CopyToClipboard();
         return true;
       }},
      {"PaintHeaderInFrame asking OnHeaderDraw",
       [](TGoneFixture& f) {
         f.T->Header().SetOptions(f.T->Header().Options() + TDTHeaderOptions{hoOwnerDraw});
         f.T->Header().Columns()[1]->SetStyle(vsOwnerDraw);
         auto d = f.doom();
         f.T->OnHeaderDraw = [d](TDTHeader*, TCanvas*, std::int32_t, TRect, bool, bool, int) {
           d();
         };
       },
       [](TGoneFixture& f) {
         f.T->PaintHeaderInFrame();
         return true;
       }},
  };
}

}  // namespace

TEST(TreeGoneEntry, AQuestionHandlerDestroyingTheTreeInAProgramsCallGivesTheNeutralAnswer) {
  for (const TProgramCall& call : programCalls()) {
    SCOPED_TRACE(call.Name);
    TBoxCounter boxes;
    TGoneFixture f;
    call.Hook(f);
    f.Armed = true;
    bool neutral = false;
    EXPECT_NO_THROW(neutral = call.Call(f));
    if (f.Armed) {
      ADD_FAILURE() << "the handler was not called";
      continue;
    }
    EXPECT_FALSE(f.alive());
    EXPECT_TRUE(neutral);
    // The program goes on: its form lives and takes another tree.
    TDataStringTree* next = new TDataStringTree(f.Form);
    next->SetParent(f.Form);
    next->SetBounds(0, 0, 200, 100);
    next->AddChild(nullptr);
    pump();
    EXPECT_EQ(next->TotalCount(), 1u);
    EXPECT_EQ(boxes.Boxes, 0);
  }
}

TEST(TreeGoneEntry, AClickWhoseStateHandlerDestroysTheTreeLeavesTheLoopRunningWithoutAMessage) {
  TBoxCounter boxes;
  TGoneFixture f;
  f.T->OnStateChange = [d = f.doom()](TBaseDataTree*, TDataTreeStates, TDataTreeStates) { d(); };
  const TRect row = f.T->GetDisplayRect(f.First, 0, true);
  const TPoint at{row.Left + 3, (row.Top + row.Bottom) / 2};
  f.Armed = true;
  const HWND window = f.T->Handle();
  InjectMouse(window, imDown, mbLeft, at, {}, {});
  pump();
  if (f.alive()) InjectMouse(window, imUp, mbLeft, at, {}, {});
  pump();
  EXPECT_FALSE(f.alive());
  EXPECT_EQ(boxes.Boxes, 0);

  // The loop goes on delivering, also after an unwinding that a missed entry
  // let reach it: that one is dropped without a message.
  int delivered = 0;
  HWND escaping = AllocateHWnd([&](TMessage& m) {
    if (m.Msg != WM_APP) return;
    ++delivered;
    if (m.WParam == 1) throw EDataTreeGone{};
  });
  PostMessage(escaping, WM_APP, 1, 0);
  pump();
  PostMessage(escaping, WM_APP, 0, 0);
  pump();
  DeallocateHWnd(escaping);
  EXPECT_EQ(delivered, 2);
  EXPECT_EQ(boxes.Boxes, 0);
}
