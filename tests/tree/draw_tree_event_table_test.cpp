// The owner-drawn tree's own events, raised the way a window raises them
// (painting, measuring, hit testing, a hint), all hooked at once, with a
// handler that at one raise after another deletes the node the event
// names, that node's parent, another row, or the tree itself. Whatever the
// handler did, the operation ends cleanly and the tree's counts are what a
// recount finds.
//
// A check against the tree's declarations makes a new event without a row
// fail.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/hints.h"
#include "platform/gui/testing.h"
#include "tests/tree/event_table_util.h"
#include "tests/tree/tree_test_util.h"
#include "tree/draw_tree.h"

namespace {

using namespace tree_event_table;

// The node an event's arguments name: its node parameter, or the node of
// the cell it paints.
template <typename T>
void noteNode(const T& Arg, PDataNode& Named) {
  if constexpr (std::is_same_v<T, PDataNode>) {
    if (!Named) Named = Arg;
  } else if constexpr (std::is_same_v<T, TCellPaintInfo>) {
    if (!Named) Named = Arg.Node;
  }
}

template <typename... A>
void hook(std::function<void(A...)>& Slot) {
  std::function<void(A...)> before = Slot;
  Slot = [before](A... Args) {
    if (before) before(Args...);
    PDataNode named = nullptr;
    (noteNode<std::remove_cvref_t<A>>(Args, named), ...);
    handlerDeletes(named);
  };
}

// A form with an owner-drawn tree of two columns whose rows are
//   A (expanded): A0, A1 (expanded: A1a)
//   B (collapsed): B0
//   C
// Every cell is drawn as a filled box as wide as its node says.
struct TDrawFixture {
  TForm* Form = nullptr;
  TDataDrawTree* T = nullptr;
  std::weak_ptr<const bool> Life;
  PDataNode A = nullptr, A0 = nullptr, A1 = nullptr, A1a = nullptr, B = nullptr, C = nullptr;

  TDrawFixture() {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBounds(40, 40, 320, 180);
    T = new TDataDrawTree(Form);
    Life = T->LifeToken();
    paintsOf(T);
    T->SetParent(Form);
    T->SetBounds(0, 0, 300, 160);
    T->Font()->SetName(u"DejaVu Sans");
    T->Font()->SetHeight(-12);
    for (int i = 0; i < 2; ++i) T->Header().Columns().Add()->SetWidth(120);
    T->Header().SetOptions(T->Header().Options() + TDTHeaderOptions{hoVisible});
    T->SetHintMode(hmTooltip);
    T->SetShowHint(true);
    // Wider than its column: a tool tip shows it whole.
    T->OnGetNodeWidth = [](TBaseDataTree*, TCanvas*, PDataNode, TColumnIndex, int& width) { width = 200; };
    T->OnGetCellMargin = [](TBaseDataTree*, TCanvas*, PDataNode, TColumnIndex, TDTCellContentMarginType,
                            TPoint& margin) { margin = {2, 1}; };
    T->OnDrawNode = [](TBaseDataTree*, const TCellPaintInfo& info) {
      info.Canvas->Brush()->SetColor(clNavy);
      info.Canvas->FillRect(info.ContentRect);
    };
    A = T->AddChild(nullptr);
    A0 = T->AddChild(A);
    A1 = T->AddChild(A);
    A1a = T->AddChild(A1);
    B = T->AddChild(nullptr);
    T->AddChild(B);
    C = T->AddChild(nullptr);
    T->SetExpanded(A1, true);
    T->SetExpanded(A, true);
    Form->Show();
    pump();
  }
  ~TDrawFixture() {
    pump();
    delete Form;
  }
  bool alive() const { return !Life.expired(); }
  TPoint inRow(PDataNode n, TColumnIndex c = 0) {
    const TRect r = T->GetDisplayRect(n, c, false);
    return {r.Left + 60, (r.Top + r.Bottom) / 2};
  }
  // The window's own painting, then a picture of every row.
  void paint() {
    if (!alive()) return;
    T->Invalidate();
    pump();
    if (!alive()) return;
    TBitmap picture(T->ClientWidth(), T->ClientHeight());
    T->RenderTree(picture.Canvas(), {0, 0, T->ClientWidth(), T->ClientHeight()}, {0, 0},
                  {ptoBackground, ptoSelection});
    pump();
  }
};

using TRaise = std::function<void(TDrawFixture&)>;

struct TDrawRow {
  const char* Event;
  std::function<void(TDataDrawTree&)> Hook;
  // Which path raises it, for the case's name.
  const char* Path;
  TRaise Raise;
};

#define DRAW_EVENT(name) #name, [](TDataDrawTree& t) { hook(t.name); }

void measureText(TDrawFixture& f) {
  if (f.alive()) f.T->GetDisplayRect(f.A0, 0, true);
  pump();
}
void measureContent(TDrawFixture& f) {
  if (f.alive()) f.T->GetDisplayRect(f.A0, 0, true, false, true);
  pump();
}
void fitColumn(TDrawFixture& f) {
  if (f.alive()) f.T->GetMaxColumnWidth(0);
  pump();
}
void clickRow(TDrawFixture& f) {
  if (!f.alive()) return;
  const TPoint p = f.inRow(f.A0);
  InjectMouse(f.T->Handle(), imDown, mbLeft, p, {}, {});
  pump();
  if (f.alive()) InjectMouse(f.T->Handle(), imUp, mbLeft, p, {}, {});
  pump();
}
void hintOverRow(TDrawFixture& f) {
  if (!f.alive()) return;
  Application->CancelHint();
  InjectHintRequest(f.T, f.inRow(f.A0));
  pump();
  Application->CancelHint();
}
void askHintSize(TDrawFixture& f) {
  if (!f.alive()) return;
  TRect r{0, 0, 100, 20};
  f.T->DoGetHintSize(f.A0, 0, r);
  pump();
}
void drawHint(TDrawFixture& f) {
  if (!f.alive()) return;
  TBitmap hint(100, 20);
  f.T->DoDrawHint(hint.Canvas(), f.A0, {0, 0, 100, 20}, 0);
  pump();
}

std::vector<TDrawRow> drawTable() {
  return {
      {DRAW_EVENT(OnDrawNode), "Paint", [](TDrawFixture& f) { f.paint(); }},
      {DRAW_EVENT(OnGetNodeWidth), "Paint", [](TDrawFixture& f) { f.paint(); }},
      {DRAW_EVENT(OnGetNodeWidth), "Measure", measureText},
      {DRAW_EVENT(OnGetNodeWidth), "FitColumn", fitColumn},
      {DRAW_EVENT(OnGetNodeWidth), "Click", clickRow},
      {DRAW_EVENT(OnGetNodeWidth), "Hint", hintOverRow},
      {DRAW_EVENT(OnGetCellMargin), "Measure", measureContent},
      // The tree's own hint window shows text and asks neither of these:
      // they are called by an owner that draws its hints itself.
      {DRAW_EVENT(OnGetHintSize), "Called", askHintSize},
      {DRAW_EVENT(OnDrawHint), "Called", drawHint},
  };
}

// The events the owner-drawn tree declares itself.
std::set<std::string> declaredDrawEvents() {
  std::set<std::string> names;
  std::ifstream in(std::string(TAMRIX_SOURCE_DIR) + "/tree/draw_tree.h");
  EXPECT_TRUE(in.good());
  const std::regex member(R"(^\s+T\w+ (On\w+);)");
  std::string line;
  std::smatch m;
  while (std::getline(in, line))
    if (std::regex_search(line, m, member)) names.insert(m[1]);
  return names;
}

TEST(DrawTreeEventTable, EveryEventOfTheDrawTreeHasARow) {
  std::set<std::string> listed;
  for (const TDrawRow& row : drawTable()) listed.insert(row.Event);
  const std::set<std::string> declared = declaredDrawEvents();
  EXPECT_EQ(declared.size(), 5u);
  EXPECT_EQ(listed, declared);
}

// The ways the rows raise the events, each once.
std::vector<std::pair<std::string, TRaise>> drawOperations() {
  return {{"Paint", [](TDrawFixture& f) { f.paint(); }},
          {"MeasureText", measureText},
          {"MeasureContent", measureContent},
          {"FitColumn", fitColumn},
          {"Click", clickRow},
          {"Hint", hintOverRow},
          {"HintSize", askHintSize},
          {"DrawHint", drawHint}};
}

// One case: every event of the tree hooked, the handler acting at the
// FireAt-th raise (never when 0).
void runDrawOnce(const TRaise& op, TRun& run, TCase which, int FireAt) {
  const TNoErrorReachesTheProgram watch;
  TDrawFixture f;
  for (const TDrawRow& row : drawTable()) row.Hook(*f.T);
  const std::uint32_t before = f.T->TotalCount();
  run.FireAt = FireAt;
  {
    TArmedRun armed(run, which, f.T);
    // No error ends it: a deletion is never refused.
    try {
      op(f);
    } catch (const EDataTreeGone&) {
      ADD_FAILURE() << "the tree's unwinding left a public call";
    } catch (const std::exception& e) {
      ADD_FAILURE() << "failed: " << e.what();
    }
    run.Armed = false;
    pump();
    if (which == cTree && run.Fired) {
      EXPECT_FALSE(f.alive()) << "the tree was not deleted";
      return;
    }
    ASSERT_TRUE(f.alive());
    // A deletion asked for in the middle of a question waits for the
    // message loop, and then takes place.
    EXPECT_EQ(f.T->PendingDeletionCount(), 0u);
    if (run.Fired) {
      EXPECT_LT(f.T->TotalCount(), before) << "the handler's deletion was lost";
    }
  }
  checkInvariants(*f.T);
  // The tree goes on working: it paints and every shown row is walked.
  f.T->Invalidate();
  pump();
  ASSERT_TRUE(f.alive());
  std::uint32_t rows = 0;
  for (PDataNode n = f.T->GetFirstVisible(); n; n = f.T->GetNextVisible(n)) ++rows;
  EXPECT_EQ(rows, f.T->VisibleCount());
}

std::string drawName(const ::testing::TestParamInfo<std::size_t>& info) { return drawOperations()[info.param].first; }

class DrawTreeEventSweep : public ::testing::TestWithParam<std::size_t> {};

// Counted once, then the handler deletes at each raise in turn.
TEST_P(DrawTreeEventSweep, DeletingAtEveryRaiseLeavesTheTreeSound) {
  const auto [name, op] = drawOperations()[GetParam()];
  // Holds what every tree shares, which the last tree to go frees.
  TDataDrawTree keeper(nullptr);
  TRun counted;
  runDrawOnce(op, counted, cOther, 0);
  EXPECT_GT(counted.Calls, 0) << name << " raised no event";
  for (int n = 1; n <= counted.Calls; ++n)
    for (TCase which : casesAt(counted, n)) {
      SCOPED_TRACE(name + " deleting " + kCaseNames[which] + " at raise " + std::to_string(n));
      TRun run;
      runDrawOnce(op, run, which, n);
      if (HasFatalFailure()) return;
      expectActed(counted, run);
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, DrawTreeEventSweep, ::testing::Range(std::size_t(0), drawOperations().size()), drawName);

}  // namespace
