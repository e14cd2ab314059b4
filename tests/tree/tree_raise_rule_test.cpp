// The tree raises every event of its owner through its one raise, which
// unwinds to the tree's outermost entry once a handler destroyed the tree.
// Two checks hold the rule: a sweep over the operations that work with
// columns (the header's mouse work and painting, the exports, spanned cells,
// the focus moving from cell to cell, a cell's edit), with every event
// hooked, whose handler deletes the tree, a column or all columns at each
// raise in turn; and a reading of the tree's
// sources that finds no handler called by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/core/strings.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tests/tree/event_table_util.h"
#include "tests/tree/tree_test_util.h"
#include "tree/string_tree.h"

namespace {

using tree_event_table::paintsOf;
using tree_event_table::pump;
using tree_event_table::TNoErrorReachesTheProgram;

// ---- the sweep --------------------------------------------------------------------------

// What the handler does at its raise.
enum TCase { cTree, cFirstColumn, cLastColumn, cAllColumns };
const char* const kCaseNames[] = {"the tree", "the first column", "the last column", "every column"};

// One run of an operation: the handler acts at the FireAt-th raise of any
// hooked event (never when 0, the counting run).
struct TRun {
  TCase Case = cTree;
  TBaseDataTree* Tree = nullptr;
  bool Armed = false;
  int FireAt = 0;
  int Calls = 0;
  // The events raised up to the handler's raise, by hook number.
  std::vector<int> Events;
  bool Acted = false;
  const char* Idle = nullptr;
};

TRun*& currentRun() {
  static TRun* run = nullptr;
  return run;
}

void handlerActs(int Event) {
  TRun* run = currentRun();
  if (!run || !run->Armed) return;
  ++run->Calls;
  if (run->FireAt == 0 || run->Calls <= run->FireAt) run->Events.push_back(Event);
  if (run->Calls != run->FireAt) return;
  TBaseDataTree* t = run->Tree;
  if (t->ComponentState().Contains(csDestroying)) {
    run->Idle = "the tree is being destroyed";
    return;
  }
  TDataTreeColumns& columns = t->Header().Columns();
  if (run->Case != cTree && columns.Count() == 0) {
    run->Idle = "no column left";
    return;
  }
  run->Acted = true;
  switch (run->Case) {
    case cTree:
      run->Armed = false;
      delete t;
      return;
    case cFirstColumn: columns.Delete(0); return;
    case cLastColumn: columns.Delete(columns.Count() - 1); return;
    case cAllColumns: columns.Clear(); return;
  }
}

// Keeps what the slot did and then acts.
template <typename R, typename... A>
void hookSlot(std::function<R(A...)>& slot, int Event) {
  std::function<R(A...)> base = slot;
  slot = [base, Event](A... args) -> R {
    if constexpr (std::is_void_v<R>) {
      if (base) base(args...);
      handlerActs(Event);
    } else {
      R result = base ? base(args...) : R(true);
      handlerActs(Event);
      return result;
    }
  };
}

// Every event of the tree and the string tree, and the control events the
// platform raises on it.
#define TREE_EVENTS(X)                                                                                              \
  X(OnChange) X(OnChecking) X(OnChecked) X(OnCollapsed) X(OnCollapsing) X(OnCompareNodes) X(OnDragAllowed)         \
  X(OnEditing) X(OnEdited) X(OnEditCancelled) X(OnExpanded) X(OnExpanding) X(OnFocusChanged) X(OnFocusChanging)   \
  X(OnFreeNode) X(OnGetCellIsEmpty) X(OnGetNodeDataSize) X(OnHotChange) X(OnIncrementalSearch) X(OnInitChildren)   \
  X(OnInitNode) X(OnMeasureItem) X(OnNodeCopied) X(OnNodeCopying) X(OnNodeMoved) X(OnNodeMoving) X(OnResetNode)    \
  X(OnScroll) X(OnShowScrollbar) X(OnStateChange) X(OnStructureChange) X(OnUpdating) X(OnSaveNode) X(OnLoadNode)   \
  X(OnKeyAction) X(OnGetCursor) X(OnNodeHeightTracking) X(OnNodeHeightDblClickResize) X(OnGetHelpContext)          \
  X(OnGetPopupMenu) X(OnColumnClick) X(OnColumnDblClick) X(OnHelpRequest) X(OnHeaderClick) X(OnHeaderImageClick)   \
  X(OnHeaderCheckBoxClick) X(OnHeaderMouseDown) X(OnHeaderMouseUp) X(OnHeaderMouseMove) X(OnHeaderDragging)        \
  X(OnHeaderDragged) X(OnHeaderDraggedOut) X(OnGetHeaderCursor) X(OnBeforeHeaderHeightTracking)                    \
  X(OnHeaderHeightTracking) X(OnAfterHeaderHeightTracking) X(OnHeaderHeightDblClickResize)                         \
  X(OnBeforeColumnWidthTracking) X(OnColumnWidthTracking) X(OnAfterColumnWidthTracking)                            \
  X(OnColumnWidthDblClickResize) X(OnCanSplitterResizeColumn) X(OnHeaderDraw) X(OnHeaderDrawQueryElements)         \
  X(OnAdvancedHeaderDraw) X(OnCreateEditor) X(OnGetImageIndex) X(OnGetImageIndexEx) X(OnGetImageText)              \
  X(OnBeforeItemErase) X(OnAfterItemErase) X(OnBeforeItemPaint) X(OnAfterItemPaint) X(OnBeforeCellPaint)           \
  X(OnAfterCellPaint) X(OnBeforePaint) X(OnAfterPaint) X(OnPaintBackground) X(OnGetLineStyle) X(OnColumnResize)    \
  X(OnGetCellContentMargin) X(OnBeforeGetMaxColumnWidth) X(OnAfterGetMaxColumnWidth) X(OnBeforeAutoFitColumns)     \
  X(OnAfterAutoFitColumns) X(OnBeforeAutoFitColumn) X(OnAfterAutoFitColumn) X(OnHeaderSortChanged) X(OnDragOver)   \
  X(OnDragDrop) X(OnCreateDataObject) X(OnCreateDragManager) X(OnGetUserClipboardFormats) X(OnRenderOLEData)       \
  X(OnGetText) X(OnNewText) X(OnPaintText) X(OnShortenString) X(OnDrawText) X(OnMeasureTextWidth) X(OnGetHint)     \
  X(OnBeforeHeaderExport) X(OnAfterHeaderExport) X(OnBeforeColumnExport) X(OnAfterColumnExport)                    \
  X(OnBeforeNodeExport) X(OnAfterNodeExport)
#define CONTROL_EVENTS(X)                                                                                           \
  X(OnEnter) X(OnExit) X(OnResize) X(OnKeyDown) X(OnKeyUp) X(OnKeyPress) X(OnClick) X(OnDblClick) X(OnMouseDown)   \
  X(OnMouseUp) X(OnMouseMove) X(OnMouseWheel)
#define EVENT_NAME(name) #name,

const std::vector<std::string>& treeEventNames() {
  static const std::vector<std::string> names = {TREE_EVENTS(EVENT_NAME)};
  return names;
}
const std::vector<std::string>& hookedNames() {
  static const std::vector<std::string> names = {TREE_EVENTS(EVENT_NAME) CONTROL_EVENTS(EVENT_NAME)};
  return names;
}

void hookEveryEvent(TDataStringTree& t) {
  int event = 0;
#define HOOK(name) hookSlot(t.name, event++);
  TREE_EVENTS(HOOK)
  CONTROL_EVENTS(HOOK)
#undef HOOK
}

TEST(TreeRaiseRule, TheSweepHooksEveryEventTheTreeDeclares) {
  const std::set<std::string> declared = tree_event_table::declaredEvents();
  const std::set<std::string> hooked(treeEventNames().begin(), treeEventNames().end());
  EXPECT_EQ(hooked.size(), treeEventNames().size()) << "an event is hooked twice";
  for (const std::string& name : declared) EXPECT_TRUE(hooked.count(name)) << name << " is not hooked";
  for (const std::string& name : hooked) EXPECT_TRUE(declared.count(name)) << name << " is no event of the tree";
}

// A shown string tree under a header of three columns:
//   A (expanded): A0
//   B
struct TFixture {
  TForm* Form = nullptr;
  TDataStringTree* T = nullptr;
  std::weak_ptr<const bool> Life;

  TFixture() {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBounds(30, 30, 360, 160);
    T = new TDataStringTree(Form);
    Life = T->LifeToken();
    paintsOf(T);
    T->SetParent(Form);
    T->SetBounds(0, 0, 340, 140);
    T->Font()->SetName(u"DejaVu Sans");
    T->Font()->SetHeight(-12);
    TDTHeader& h = T->Header();
    for (int i = 0; i < 3; ++i) {
      TDataTreeColumn* c = h.Columns().Add();
      c->SetText(u"Column " + String(1, char16_t(u'0' + i)));
      c->SetWidth(100);
    }
    h.SetOptions(h.Options() + TDTHeaderOptions{hoVisible});
    T->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex c, TDTTextType, String& text) {
      text = u"cell " + UTF8ToUTF16(std::to_string(t->GetNodeLevel(n))) + u"/" + UTF8ToUTF16(std::to_string(c));
    };
    PDataNode a = T->AddChild(nullptr);
    T->AddChild(a);
    T->AddChild(nullptr);
    T->SetExpanded(a, true);
    Form->Show();
    pump();
    // A window that is not on the screen yet paints nothing, and the raises
    // of a run would depend on when it comes.
    EXPECT_TRUE(WaitExposed(T->Handle())) << "the tree's window never came on the screen";
    pump();
  }
  ~TFixture() {
    pump();
    delete Form;
  }
  TFixture(const TFixture&) = delete;
  TFixture& operator=(const TFixture&) = delete;
  bool alive() const { return !Life.expired(); }
  // A point of the header on the screen.
  LPARAM headerScreen(int x) const {
    if (!alive()) return 0;
    const TPoint p = T->ClientToScreen({x, -T->Header().Height() / 2});
    return MAKELPARAM(p.x, p.y);
  }
  // The same point in the tree's client co-ordinates (above its rows).
  LPARAM headerClient(int x) const { return alive() ? MAKELPARAM(x, -T->Header().Height() / 2) : 0; }
  void perform(UINT msg, WPARAM w, LPARAM l) {
    if (alive()) T->Perform(msg, w, l);
  }
};

// Every line of a text export under columns has as many fields as the
// first: a column that a handler deleted on the way leaves its cells empty.
void expectRowsOfOneShape(const std::string& Text) {
  std::vector<std::size_t> separators;
  std::size_t from = 0;
  for (std::size_t end; (end = Text.find("\r\n", from)) != std::string::npos; from = end + 2) {
    const std::string line = Text.substr(from, end - from);
    separators.push_back(std::size_t(std::count(line.begin(), line.end(), '\t')));
  }
  for (std::size_t i = 1; i < separators.size(); ++i)
    EXPECT_EQ(separators[i], separators[0]) << "line " << i + 1 << " of\n" << Text;
}

// The cells right of the first column have no text, and the captions span
// over them.
void spannedCells(TFixture& f) {
  if (!f.alive()) return;
  auto& o = f.T->TreeOptions();
  o.SetAutoOptions(o.AutoOptions() + TDTAutoOptions{toAutoSpanColumns});
  f.T->OnGetText = [hooked = f.T->OnGetText](TBaseDataTree* t, PDataNode n, TColumnIndex c, TDTTextType type,
                                             String& text) {
    if (hooked) hooked(t, n, c, type, text);
    if (c > 0) text.clear();
  };
}

// The owner draws the header's elements (and is asked which).
void ownerDrawnHeader(TFixture& f) {
  if (!f.alive()) return;
  TDTHeader& h = f.T->Header();
  h.SetOptions(h.Options() + TDTHeaderOptions{hoOwnerDraw});
  f.T->OnHeaderDrawQueryElements = [hooked = f.T->OnHeaderDrawQueryElements](TDTHeader* header, THeaderPaintInfo& info,
                                                                             THeaderPaintElements& elements) {
    elements = hpeBackground | hpeText;
    if (hooked) hooked(header, info, elements);
  };
}

struct TOperation {
  std::string Name;
  std::function<void(TFixture&)> Run;
  // Events the operation raises (among others): the sweep reaches them.
  std::vector<std::string> Raises;
};

// The operations of the header and the exports, each from a public call
// or a message of the window.
const std::vector<TOperation>& operations() {
  static const std::vector<TOperation> ops = {
      {"AutoFitColumns", [](TFixture& f) { f.T->Header().AutoFitColumns(false); },
       {"OnBeforeAutoFitColumns", "OnBeforeAutoFitColumn", "OnAfterAutoFitColumn", "OnAfterAutoFitColumns"}},
      {"AutoFitEveryColumnSmartly", [](TFixture& f) { f.T->Header().AutoFitColumns(false, smaAllColumns); },
       {"OnBeforeAutoFitColumn", "OnBeforeGetMaxColumnWidth", "OnColumnResize"}},
      {"SortColumnWithAutoSort",
       [](TFixture& f) {
         auto& o = f.T->TreeOptions();
         o.SetAutoOptions(o.AutoOptions() + TDTAutoOptions{toAutoSort});
         if (f.alive()) f.T->Header().SetSortColumn(1);
       },
       {"OnCompareNodes", "OnHeaderSortChanged"}},
      {"HeaderPopupMenu",
       [](TFixture& f) {
         f.perform(WM_NCRBUTTONDOWN, HTBORDER, f.headerScreen(150));
         f.perform(WM_NCRBUTTONUP, HTBORDER, f.alive() ? f.headerScreen(150) : 0);
       },
       {"OnHeaderMouseUp", "OnGetPopupMenu"}},
      // The header's mouse work on one column: its splitter dragged and
      // double-clicked, and the column dragged to another place.
      {"DragColumnSplitter",
       [](TFixture& f) {
         TDTHeader& h = f.T->Header();
         h.SetOptions(h.Options() + TDTHeaderOptions{hoColumnResize});
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, f.headerScreen(100));
         for (int x : {110, 130}) f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.headerClient(x));
         f.perform(WM_LBUTTONUP, 0, f.headerClient(130));
         pump();
       },
       {"OnCanSplitterResizeColumn", "OnBeforeColumnWidthTracking", "OnColumnWidthTracking",
        "OnAfterColumnWidthTracking", "OnColumnResize"}},
      {"DoubleClickColumnSplitter",
       [](TFixture& f) {
         TDTHeader& h = f.T->Header();
         h.SetOptions(h.Options() + TDTHeaderOptions{hoColumnResize, hoDblClickResize, hoDisableAnimatedResize});
         f.perform(WM_NCLBUTTONDBLCLK, HTBORDER, f.headerScreen(100));
         pump();
       },
       {"OnColumnWidthDblClickResize", "OnColumnResize"}},
      // Captions span the empty cells right of them: the rows are painted,
      // and a rubber band drawn over them selects by the spanned width.
      {"PaintSpannedCells",
       [](TFixture& f) {
         spannedCells(f);
         if (f.alive()) f.T->Invalidate();
         pump();
       },
       {"OnGetText", "OnGetCellIsEmpty"}},
      {"RubberBandOverSpannedCells",
       [](TFixture& f) {
         spannedCells(f);
         if (!f.alive()) return;
         auto& o = f.T->TreeOptions();
         o.SetSelectionOptions(o.SelectionOptions() + TDTSelectionOptions{toMultiSelect});
         // From right of the last row's caption up to the first row.
         f.perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(95, 45));
         for (int y : {20, 5}) f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(3, y));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(3, 5));
         pump();
       },
       {"OnGetCellIsEmpty"}},
      {"ToolTipOfASpannedCaption",
       [](TFixture& f) {
         spannedCells(f);
         if (!f.alive()) return;
         f.T->SetHintMode(hmTooltip);
         if (f.alive()) f.T->SetShowHint(true);
         // A caption wider than its cell and the empty cells it spans.
         if (f.alive() && f.T->Header().Columns().Count() > 0) f.T->Header().Columns()[0]->SetWidth(20);
         pump();
         if (f.alive()) InjectHintRequest(f.T, {8, 9});
         pump();
         Application->CancelHint();
       },
       {"OnGetCellIsEmpty"}},
      // The focus moves from cell to cell: the keys of the grid and a click
      // into the last column.
      {"FocusFromCellToCell",
       [](TFixture& f) {
         auto& o = f.T->TreeOptions();
         o.SetSelectionOptions(o.SelectionOptions() + TDTSelectionOptions{toExtendedFocus});
         o.SetMiscOptions(o.MiscOptions() + TDTMiscOptions{toGridExtensions});
         if (f.alive()) f.T->SetWantTabs(true);
         if (f.alive()) f.T->SetFocusedNode(f.T->GetFirst());
         for (UINT vk : {VK_RIGHT, VK_TAB, VK_END, VK_LEFT, VK_HOME, VK_DOWN}) {
           if (!f.alive()) return;
           InjectKeyStroke(f.T->Handle(), vk, {}, u"");
           pump();
         }
         f.perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(250, 9));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(250, 9));
         pump();
       },
       {"OnFocusChanging", "OnFocusChanged"}},
      // A cell of the last column is edited and its text accepted, the
      // editor following the cell as the columns change.
      {"EditACell",
       [](TFixture& f) {
         auto& o = f.T->TreeOptions();
         o.SetMiscOptions(o.MiscOptions() + TDTMiscOptions{toEditable});
         if (!f.alive() || f.T->Header().Columns().Count() < 3) return;
         if (!f.T->EditNode(f.T->GetFirst(), 2) || !f.alive()) return;
         pump();
         if (f.alive()) f.T->UpdateEditBounds();
         if (f.alive()) f.T->EndEditNode();
         pump();
       },
       {"OnCreateEditor", "OnEditing", "OnEdited"}},
      // The owner draws the header: every column's cell, and the picture
      // of the column being dragged.
      {"PaintOwnerDrawnHeader",
       [](TFixture& f) {
         ownerDrawnHeader(f);
         if (f.alive()) f.T->PaintHeaderInFrame();
         pump();
       },
       {"OnHeaderDrawQueryElements", "OnAdvancedHeaderDraw"}},
      {"DragColumnToAnotherPlace",
       [](TFixture& f) {
         ownerDrawnHeader(f);
         if (!f.alive()) return;
         TDTHeader& h = f.T->Header();
         h.SetOptions(h.Options() + TDTHeaderOptions{hoDrag});
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, f.headerScreen(150));
         for (int x : {180, 280}) f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.headerClient(x));
         f.perform(WM_LBUTTONUP, 0, f.headerClient(280));
         pump();
       },
       {"OnHeaderDragging", "OnHeaderDragged"}},
      {"ExportText",
       [](TFixture& f) {
         // Without columns the rows are indented by their level instead.
         const bool columns = f.T->Header().UseColumns();
         const std::string text = f.T->ExportText(tstAll, u'\t');
         if (columns) expectRowsOfOneShape(text);
       },
       {"OnBeforeNodeExport", "OnGetText", "OnAfterNodeExport"}},
      {"ExportUnicodeText", [](TFixture& f) { f.T->ExportUnicodeText(tstAll, u";"); },
       {"OnBeforeNodeExport", "OnGetText", "OnAfterNodeExport"}},
      {"ExportHTML", [](TFixture& f) { f.T->ExportHTML(tstAll, u"caption"); },
       {"OnBeforeHeaderExport", "OnBeforeColumnExport", "OnAfterColumnExport", "OnAfterHeaderExport",
        "OnBeforeNodeExport", "OnPaintText", "OnAfterNodeExport"}},
      {"ExportRTF", [](TFixture& f) { f.T->ExportRTF(tstAll); },
       {"OnBeforeHeaderExport", "OnBeforeColumnExport", "OnAfterColumnExport", "OnAfterHeaderExport",
        "OnBeforeNodeExport", "OnPaintText", "OnAfterNodeExport"}},
  };
  return ops;
}

// The header after a handler took columns away: its positions, main,
// sort and focused columns name columns that are there.
void checkHeader(TBaseDataTree& t) {
  const TDataTreeColumns& columns = t.Header().Columns();
  std::vector<TColumnIndex> positions = columns.PositionToIndex();
  std::sort(positions.begin(), positions.end());
  std::vector<TColumnIndex> expected(std::size_t(columns.Count()));
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = TColumnIndex(i);
  EXPECT_EQ(positions, expected);
  for (int i = 0; i < columns.Count(); ++i) EXPECT_EQ(columns.Items(i)->Index(), i);
  EXPECT_LT(t.Header().MainColumn(), columns.Count());
  EXPECT_LT(t.Header().SortColumn(), columns.Count());
  EXPECT_LT(t.FocusedColumn(), std::max(columns.Count(), 1));
}

void runOnce(const std::function<void(TFixture&)>& op, TRun& run, TCase which, int FireAt) {
  const TNoErrorReachesTheProgram watch;
  TFixture f;
  hookEveryEvent(*f.T);
  run.Case = which;
  run.Tree = f.T;
  run.FireAt = FireAt;
  run.Armed = true;
  currentRun() = &run;
  try {
    op(f);
  } catch (const EDataTreeGone&) {
    ADD_FAILURE() << "the tree's unwinding left a public call";
  } catch (const std::exception& e) {
    ADD_FAILURE() << "failed: " << e.what();
  }
  run.Armed = false;
  currentRun() = nullptr;
  if (run.Case == cTree && run.Acted) {
    EXPECT_FALSE(f.alive()) << "the tree was not deleted";
    return;
  }
  ASSERT_TRUE(f.alive());
  checkHeader(*f.T);
  checkInvariants(*f.T);
  // It paints, and the operation runs again on what is left.
  f.T->Invalidate();
  pump();
  ASSERT_TRUE(f.alive());
  op(f);
  ASSERT_TRUE(f.alive());
  checkHeader(*f.T);
}

std::string eventNames(const std::vector<int>& Events) {
  std::string names;
  for (int e : Events) names += (names.empty() ? "" : " ") + hookedNames()[std::size_t(e)];
  return names;
}

class TreeRaiseSweep : public ::testing::TestWithParam<std::size_t> {};

// Counted once with a handler that does nothing, then run for every raise
// N of the count and every deletion, each on a tree of its own. Under the
// address sanitizer a touch of the freed tree or column fails the case.
TEST_P(TreeRaiseSweep, DeletingTheTreeOrColumnsAtEveryRaiseTouchesNothingFreed) {
  const TOperation& operation = operations()[GetParam()];
  const std::string& name = operation.Name;
  const auto& op = operation.Run;
  // Holds what every tree shares, which the last tree to go frees.
  TDataStringTree keeper(nullptr);
  TRun counted;
  runOnce(op, counted, cTree, 0);
  if (HasFatalFailure()) return;
  const int raises = counted.Calls;
  for (const std::string& event : operation.Raises) {
    const auto at = std::find(hookedNames().begin(), hookedNames().end(), event);
    ASSERT_NE(at, hookedNames().end()) << event;
    const int id = int(at - hookedNames().begin());
    EXPECT_NE(std::find(counted.Events.begin(), counted.Events.end(), id), counted.Events.end())
        << name << " did not raise " << event;
  }
  for (int n = 1; n <= raises; ++n) {
    for (TCase which : {cTree, cFirstColumn, cLastColumn, cAllColumns}) {
      SCOPED_TRACE(name + " deleting " + kCaseNames[which] + " at raise " + std::to_string(n) + " (" +
                   hookedNames()[std::size_t(counted.Events[std::size_t(n - 1)])] + ")");
      TRun run;
      runOnce(op, run, which, n);
      if (HasFatalFailure()) return;
      ASSERT_GE(run.Calls, n) << "the operation ended after " << run.Calls << " raises";
      EXPECT_TRUE(std::equal(run.Events.begin(), run.Events.end(), counted.Events.begin()))
          << "the raises before the handler's were not those of the counting run: " << eventNames(run.Events)
          << " instead of " << eventNames(counted.Events);
      EXPECT_TRUE(run.Acted || run.Idle) << "the handler did not act";
    }
  }
}

std::string operationName(const ::testing::TestParamInfo<std::size_t>& info) {
  return operations()[info.param].Name;
}

INSTANTIATE_TEST_SUITE_P(Operations, TreeRaiseSweep, ::testing::Range(std::size_t(0), operations().size()),
                         operationName);

// ---- the sources ------------------------------------------------------------------------

// The text of a source with comments and the contents of string and
// character literals blanked out; line breaks stay where they were.
std::string codeOnly(const std::string& s) {
  std::string out = s;
  const std::size_t n = s.size();
  auto blank = [&](std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to && k < n; ++k)
      if (out[k] != '\n') out[k] = ' ';
  };
  for (std::size_t i = 0; i < n;) {
    if (s.compare(i, 2, "//") == 0) {
      std::size_t end = s.find('\n', i);
      if (end == std::string::npos) end = n;
      blank(i, end);
      i = end;
    } else if (s.compare(i, 2, "/*") == 0) {
      std::size_t end = s.find("*/", i + 2);
      end = end == std::string::npos ? n : end + 2;
      blank(i, end);
      i = end;
    } else if (s[i] == 'R' && i + 1 < n && s[i + 1] == '"' && (i == 0 || !(std::isalnum(s[i - 1]) || s[i - 1] == '_') ||
                                                                 s[i - 1] == 'u' || s[i - 1] == '8' ||
                                                                 s[i - 1] == 'U' || s[i - 1] == 'L')) {
      const std::size_t open = s.find('(', i + 2);
      if (open == std::string::npos) return out;
      const std::string close = ")" + s.substr(i + 2, open - i - 2) + "\"";
      std::size_t end = s.find(close, open);
      end = end == std::string::npos ? n : end + close.size();
      blank(i + 1, end);
      i = end;
    } else if (s[i] == '"' || (s[i] == '\'' && (i == 0 || !std::isdigit(static_cast<unsigned char>(s[i - 1]))))) {
      const char quote = s[i];
      std::size_t k = i + 1;
      while (k < n && s[k] != quote && s[k] != '\n') k += s[k] == '\\' ? 2 : 1;
      blank(i + 1, k);
      i = std::min(k + 1, n);
    } else {
      ++i;
    }
  }
  return out;
}

// Where a source calls an event handler by hand: an event member (named
// On...) called directly, or any handler tested and then called, as in
// "if (X) X(...)", "X && X(...)" or "!X || X(...)". Lines are 1-based.
std::vector<std::pair<int, std::string>> handCalledHandlers(const std::string& Source) {
  const std::string code = codeOnly(Source);
  const std::string path = R"([A-Za-z_]\w*(?:\s*(?:\.|->|::)\s*[A-Za-z_]\w*)*)";
  // A tested handler starts where no longer name or member access does.
  const std::string start = R"((?:^|[^\w.>:]))";
  const std::regex patterns[] = {
      std::regex(R"(\bOn[A-Z]\w*\s*\()"),
      std::regex(R"(\bif\s*\(\s*()" + path + R"()\s*\)\s*\1\s*\()"),
      std::regex(start + "(" + path + R"()\s*&&\s*\1\s*\()"),
      std::regex(R"(!\s*()" + path + R"()\s*\|\|\s*\1\s*\()"),
      std::regex(start + "(" + path + R"()\s*\?\s*\1\s*\()"),
  };
  // One finding per line: the longest text found there.
  std::map<int, std::string> found;
  for (const std::regex& re : patterns)
    for (auto it = std::sregex_iterator(code.begin(), code.end(), re); it != std::sregex_iterator(); ++it) {
      // The line of the call: where the match ends.
      const auto end = code.begin() + it->position(0) + it->length(0);
      const int line = int(std::count(code.begin(), end, '\n')) + 1;
      std::string text = it->str(0);
      std::replace(text.begin(), text.end(), '\n', ' ');
      if (text.size() > found[line].size()) found[line] = text;
    }
  return {found.begin(), found.end()};
}

TEST(TreeRaiseRule, TheReadingFindsEveryWayOfCallingAHandlerByHand) {
  struct TSample {
    const char* Code;
    int Line;  // of the call found; 0: none
  };
  const TSample samples[] = {
      {"  if (FOwner->OnHeaderSortChanged) FOwner->OnHeaderSortChanged(this, FSortColumn);", 1},
      {"  if (OnChange)\n    OnChange(this, Node);", 2},
      {"  return !t.OnBeforeNodeExport || t.OnBeforeNodeExport(&t, type, n);", 1},
      {"  if (Tree->OnGetText) Tree->OnGetText(Tree, n, c, tt, text);", 1},
      {"  if (FCallback) FCallback(Step);", 1},
      {"  if (Handler && Handler(n)) return;", 1},
      {"  const bool allowed = !FVeto || FVeto(n);", 1},
      {"  FOwner->OnGetPopupMenu(FOwner, nullptr, c, p, ask, menu);", 1},
      {"  RaiseEvent(OnHeaderSortChanged, this, FSortColumn);", 0},
      {"  FOwner->RaiseEvent(FOwner->OnGetPopupMenu, FOwner, nullptr, c, p, ask, menu);", 0},
      {"  if (OnGetHelpContext) {\n    RaiseEvent(OnGetHelpContext, this, run, c, context);\n  }", 0},
      {"  // if (OnChange) OnChange(this, Node);", 0},
      {"  /* OnChange(this) */ Work();", 0},
      {"  Log(\"if (OnChange) OnChange(\");", 0},
      {"  const char16_t q = u'\"'; if (q) Go(); const int k = 1'000;", 0},
      {"  const bool over = a && overHeader && Header().Options().Contains(hoShowHint);", 0},
      {"  if (t.Handler && Handler(n)) return;", 0},
      {"  FFont->OnChange = [this](TObject*) { Invalidate(NoColumn); };", 0},
      {"  if (Node) Visit(Node);", 0},
  };
  for (const TSample& s : samples) {
    const auto found = handCalledHandlers(s.Code);
    if (s.Line == 0) {
      EXPECT_TRUE(found.empty()) << "taken for a hand call: " << s.Code;
    } else {
      ASSERT_FALSE(found.empty()) << "not found: " << s.Code;
      EXPECT_EQ(found.front().first, s.Line) << s.Code;
    }
  }
}

// No file of the tree raises an event but through the tree's raise: a
// handler called by hand returns into a tree, header or column that it
// may have freed.
TEST(TreeRaiseRule, NoFileOfTheTreeCallsAHandlerByHand) {
  const std::filesystem::path dir = std::filesystem::path(TAMRIX_SOURCE_DIR) / "tree";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".cpp" && ext != ".h") continue;
    std::ifstream in(entry.path());
    ASSERT_TRUE(in.good()) << entry.path();
    std::stringstream text;
    text << in.rdbuf();
    ++files;
    for (const auto& [line, call] : handCalledHandlers(text.str()))
      ADD_FAILURE() << "tree/" << entry.path().filename().string() << ":" << line
                    << ": a handler called by hand instead of through RaiseEvent: " << call;
  }
  EXPECT_GT(files, 20);
}

}  // namespace
