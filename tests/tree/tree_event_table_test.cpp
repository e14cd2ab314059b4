// Every operation that raises the tree's events, with every event hooked at
// once: counted once, then run again for every raise in turn, the handler
// deleting at that raise the node the event names, that node's parent,
// another row, or the tree itself. Whatever the handler did, the operation
// ends cleanly with no error, no unwinding leaves a public call, and the
// tree's counts are what a recount finds.
//
// The table lists every event of the tree and of the string tree; a check
// against their declarations makes a new event without a row fail.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/hints.h"
#include "platform/gui/menus.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"
#include "tests/tree/event_table_util.h"
#include "tests/tree/tree_test_util.h"
#include "platform/gui/stdctrls.h"
#include "tree/data_object.h"
#include "tree/edit_link.h"
#include "tree/string_tree.h"

namespace {

using namespace tree_event_table;

class TTableTree : public TDataStringTree {
public:
  using TDataStringTree::TDataStringTree;
  using TBaseDataTree::DoDragging;
  using TBaseDataTree::DoStateChange;
  using TBaseDataTree::InitNode;
  // A drag is played on the tree's own drop target instead of the
  // platform's modal loop. The target is held as the platform holds it,
  // so that it outlives a tree that a handler destroys in the drop.
  void DoDragDrop(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t AllowedEffects,
                  std::uint32_t& Effect) override {
    Effect = DROPEFFECT_NONE;
    std::weak_ptr<const bool> life = LifeToken();
    const std::shared_ptr<IDropTarget> target = DropTargetOf(Handle());
    if (!target || life.expired()) return;
    const TRect r = GetDisplayRect(GetLast(), NoColumn, true);
    const TPoint at = ClientToScreen({r.Left + 2, (r.Top + r.Bottom) / 2});
    std::uint32_t e = AllowedEffects;
    target->DragEnter(DataObject, 0, at, e);
    if (life.expired()) return;
    e = AllowedEffects;
    target->DragOver(0, at, e);
    if (life.expired()) return;
    Effect = AllowedEffects;
    target->Drop(DataObject, 0, at, Effect);
  }
  using TBaseDataTree::DoDragDrop;
};

// Puts a handler into an event slot that keeps what the slot did before
// and then deletes; NodeArg picks the node parameter the event names.
template <typename R, typename... A>
void hookSlot(std::function<R(A...)>& slot, int NodeArg) {
  std::function<R(A...)> base = slot;
  const int event = hookCount()++;
  slot = [base, NodeArg, event](A... args) -> R {
    PDataNode nodes[3] = {};
    int k = 0;
    auto note = [&](auto&& arg) {
      if constexpr (std::is_same_v<std::remove_cvref_t<decltype(arg)>, PDataNode>)
        if (k < 3) nodes[k++] = arg;
    };
    (note(args), ...);
    PDataNode named = nullptr;
    if (NodeArg >= 0) {
      named = nodes[NodeArg];
    } else {
      for (PDataNode n : nodes)
        if (!named) named = n;
    }
    if constexpr (std::is_void_v<R>) {
      if (base) base(args...);
      handlerDeletes(named, event);
    } else {
      R result = base ? base(args...) : R(true);
      handlerDeletes(named, event);
      return result;
    }
  };
}

// A form with a string tree whose node data is a number; the rows (few, so
// that every paint asks few questions):
//   A (expanded): A0, A1 (expanded: A1a)
//   B (collapsed): B0
//   C
struct TTableFixture {
  TForm* Form = nullptr;
  TTableTree* T = nullptr;
  std::weak_ptr<const bool> Life;
  TImageList* Pictures = nullptr;
  TBitmap Picture{16, 16};
  PDataNode A = nullptr, A0 = nullptr, A1 = nullptr, A1a = nullptr, B = nullptr, C = nullptr;
  // A control beside the tree, to move the focus into the tree from.
  TEdit* Other = nullptr;

  TTableFixture() {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBounds(30, 30, 360, 200);
    Pictures = new TImageList(Form);
    Picture.Canvas()->Brush()->SetColor(clRed);
    Picture.Canvas()->FillRect({0, 0, 16, 16});
    Pictures->Add(&Picture, nullptr);
    Other = new TEdit(Form);
    Other->SetParent(Form);
    Other->SetBounds(0, 172, 100, 16);
    T = new TTableTree(Form);
    Life = T->LifeToken();
    paintsOf(T);
    T->SetParent(Form);
    T->SetBounds(0, 0, 340, 160);
    T->Font()->SetName(u"DejaVu Sans");
    T->Font()->SetHeight(-12);
    T->SetNodeDataSize(int(sizeof(std::int32_t)));
    TDTHeader& h = T->Header();
    for (int i = 0; i < 3; ++i) {
      TDataTreeColumn* c = h.Columns().Add();
      c->SetText(u"Column " + String(1, char16_t(u'0' + i)));
      c->SetWidth(100);
      c->SetImageIndex(0);
    }
    h.SetImages(Pictures);
    h.SetOptions(h.Options() + TDTHeaderOptions{hoVisible, hoShowImages, hoColumnResize, hoDrag, hoDblClickResize,
                                                hoHeightResize, hoHeightDblClickResize, hoShowHint});
    T->SetImages(Pictures);
    auto& o = T->TreeOptions();
    // The window takes drops only from when a row's drag turns them on:
    // the tree makes its drag manager then, while the row watches.
    o.SetMiscOptions(o.MiscOptions() - TDTMiscOptions{toAcceptOLEDrop} +
                     TDTMiscOptions{toCheckSupport, toEditable, toNodeHeightResize, toNodeHeightDblClickResize,
                                    toVariableNodeHeight});
    o.SetSelectionOptions(o.SelectionOptions() + TDTSelectionOptions{toMultiSelect, toRightClickSelect});
    o.SetPaintOptions(o.PaintOptions() + TDTPaintOptions{toHotTrack, toShowHorzGridLines});
    //T->SetLineStyle(lsCustomStyle);
    T->SetHintMode(hmHintAndDefault);
    T->SetShowHint(true);
    T->SetIncrementalSearch(isAll);
    T->SetEditDelay(0);
    T->SetDragType(dtOLE);
    T->OnInitNode = [](TBaseDataTree*, PDataNode, PDataNode n, TDataNodeInitStates&) {
      n->CheckType = ctTriStateCheckBox;
    };
    T->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex c, TDTTextType, String& text) {
      const std::int32_t id = *t->GetNodeData<std::int32_t>(n);
      text = UTF8ToUTF16((c <= 0 ? "a row caption far wider than its column, number " : "cell ") + std::to_string(id));
    };
    T->OnSaveNode = [](TBaseDataTree* t, PDataNode n, TStream* stream) {
      stream->WriteBuffer(t->GetNodeData(n), 4);
    };
    T->OnLoadNode = [](TBaseDataTree* t, PDataNode n, TStream* stream) { stream->ReadBuffer(t->GetNodeData(n), 4); };
    T->OnGetImageIndex = [](TBaseDataTree*, PDataNode, TDTImageKind kind, TColumnIndex, bool&, int& index) {
      if (kind == ikNormal || kind == ikSelected) index = 0;
    };
    // Numbered alike in every case: the captions' widths decide what the
    // paint asks.
    auto add = [this, next = std::int32_t(1)](PDataNode parent) mutable {
      PDataNode n = T->AddChild(parent);
      *T->GetNodeData<std::int32_t>(n) = next++;
      return n;
    };
    A = add(nullptr);
    A0 = add(A);
    A1 = add(A);
    A1a = add(A1);
    B = add(nullptr);
    add(B);
    C = add(nullptr);
    T->SetExpanded(A1, true);
    T->SetExpanded(A, true);
    Form->Show();
    T->SetFocus();
    pump();
  }
  ~TTableFixture() {
    pump();
    delete Form;
  }
  bool alive() const { return !Life.expired(); }
  // The tree, for an operation's next step: the operation ends where a
  // handler deleted it.
  struct TOpEnds {};
  TTableTree* t() const {
    if (!alive()) throw TOpEnds{};
    return T;
  }
  // One of the rows above while it is still a row of the tree (a handler
  // may have deleted it), else nil.
  PDataNode n(PDataNode Row) const {
    if (!alive() || !Row) return nullptr;
    for (PDataNode run = T->GetFirstNoInit(); run; run = T->GetNextNoInit(run))
      if (run == Row) return Row;
    return nullptr;
  }
  HWND handle() const { return T->Handle(); }
  TPoint textPoint(PDataNode Row, TColumnIndex c = 0) {
    if (!alive() || !Row) return {-1, -1};
    TRect r = T->GetDisplayRect(Row, c, true);
    return {r.Left + 3, (r.Top + r.Bottom) / 2};
  }
  LPARAM client(TPoint p) { return MAKELPARAM(p.x, p.y); }
  // A point of the header (negative y in client co-ordinates), on screen.
  LPARAM headerScreen(int x) {
    TPoint p = T->ClientToScreen({x, -T->Header().Height() / 2});
    return MAKELPARAM(p.x, p.y);
  }
  LPARAM headerClient(int x) { return MAKELPARAM(x, -T->Header().Height() / 2); }
  // Messages stop as soon as the tree is gone.
  void perform(UINT msg, WPARAM w, LPARAM l) {
    if (alive()) T->Perform(msg, w, l);
  }
  void key(UINT vk, const String& text = u"", bool keypad = false, TShiftState shift = {}) {
    if (!alive()) return;
    InjectKeyStroke(handle(), vk, shift, text, keypad);
    pump();
  }
  void mouse(TInjectedMouse kind, TPoint p, TMouseButton button = mbLeft, TShiftState shift = {}) {
    if (!alive()) return;
    InjectMouse(handle(), kind, button, p, shift);
    pump();
  }
  void click(TPoint p, TMouseButton button = mbLeft) {
    mouse(imDown, p, button);
    mouse(imUp, p, button);
  }
  // Paints every row, as the window and a picture of the tree do.
  void repaint() {
    if (!alive()) return;
    T->Invalidate();
    pump();
    if (!alive()) return;
    TBitmap target(T->ClientWidth(), T->ClientHeight());
    T->RenderTree(target.Canvas(), {0, 0, T->ClientWidth(), T->ClientHeight()}, {0, 0},
                  {ptoBackground, ptoColumnColor, ptoSelection, ptoGridLines});
    pump();
  }
  void paintHeader() {
    if (!alive()) return;
    T->PaintHeaderInFrame();
    pump();
  }
};

using THook = std::function<void(TTableTree&)>;
using TRaise = std::function<void(TTableFixture&)>;

struct TEventRow {
  const char* Name;
  THook Hook;
  TRaise Raise;
  // Whether the event names a node (the first or, with NodeArg, a chosen
  // one of its node parameters).
  bool NamesNode;
  // The operation, shared by the rows whose raise is the same.
  const char* Op;
};

#define EVENT(name) #name, [](TTableTree& t) { hookSlot(t.name, -1); }
#define EVENT_NODE_ARG(name, arg) #name, [](TTableTree& t) { hookSlot(t.name, arg); }

// Operations that raise the events.
void editAndAccept(TTableFixture& f) {
  if (!f.n(f.A0) || !f.t()->EditNode(f.A0, 0) || !f.alive()) return;
  if (auto link = std::dynamic_pointer_cast<TStringEditLink>(f.t()->EditLink()); link && link->Edit())
    link->Edit()->SetText(u"a new caption");
  if (f.alive()) f.t()->EndEditNode();
  pump();
}
void editAndCancel(TTableFixture& f) {
  if (!f.n(f.A0) || !f.t()->EditNode(f.A0, 0) || !f.alive()) return;
  f.t()->CancelEditNode();
  pump();
}
void toggle(TTableFixture& f, PDataNode n) {
  if (f.alive() && n) f.t()->ToggleNode(n);
  pump();
}
void clickCheckBox(TTableFixture& f, PDataNode n) {
  if (!f.alive() || !n) return;
  THitInfo hit;
  TRect r = f.t()->GetDisplayRect(n, 0, false);
  // Walk the row from its left until the check box is hit.
  for (int x = r.Left; x < r.Right; ++x) {
    f.t()->GetHitTestInfoAt(x, (r.Top + r.Bottom) / 2, true, hit);
    if (hit.HitPositions.Contains(hiOnItemCheckbox)) {
      f.click({x, (r.Top + r.Bottom) / 2});
      return;
    }
  }
}
void copyAndPaste(TTableFixture& f) {
  if (!f.alive()) return;
  f.t()->SetSelected(f.n(f.A0), true);
  f.t()->CopyToClipboard();
  if (!f.alive()) return;
  f.t()->SetFocusedNode(f.n(f.C));
  if (f.alive()) f.t()->PasteFromClipboard();
  pump();
}
void dragWithin(TTableFixture& f) {
  if (!f.alive()) return;
  f.t()->ClearSelection();
  f.t()->SetSelected(f.n(f.A0), true);
  f.t()->SetFocusedNode(f.n(f.A0));
  if (!f.alive()) return;
  const TPoint start = f.textPoint(f.n(f.A0));
  // The window takes drops from now on (its drag manager is made here, and
  // its handler may delete rows, A0 among them).
  auto& o = f.t()->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() + TDTMiscOptions{toAcceptOLEDrop});
  // A descendant starts the drag from inside one of its entries.
  if (f.alive()) f.t()->GuardedEntry([&] { f.t()->DoDragging(start); });
  pump();
}
void saveAndLoad(TTableFixture& f) {
  if (!f.alive()) return;
  TMemoryStream m;
  f.t()->SaveToStream(&m);
  if (!f.alive()) return;
  m.SetPosition(0);
  f.t()->LoadFromStream(&m);
  pump();
}
void exportAll(TTableFixture& f) {
  if (!f.alive()) return;
  f.t()->ExportHTML(tstAll);
  if (f.alive()) f.t()->ExportText(tstAll, u'\t');
}
void hintAt(TTableFixture& f, TPoint p) {
  if (!f.alive()) return;
  Application->CancelHint();
  f.perform(CM_MOUSELEAVE, 0, 0);
  if (f.alive()) InjectHintRequest(f.T, p);
  pump();
  Application->CancelHint();
}
// The splitter right of column 0 in the header.
void dragHeaderSplitter(TTableFixture& f) {
  f.perform(WM_NCLBUTTONDOWN, HTBORDER, f.alive() ? f.headerScreen(100) : 0);
  f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(110) : 0);
  f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(130) : 0);
  f.perform(WM_LBUTTONUP, 0, f.alive() ? f.headerClient(130) : 0);
  pump();
}
void clickHeader(TTableFixture& f, int x, UINT down = WM_NCLBUTTONDOWN, UINT up = WM_NCLBUTTONUP) {
  // The header learns where its pictures are when it is painted, which a
  // real screen may not have done yet.
  f.paintHeader();
  f.perform(down, HTBORDER, f.alive() ? f.headerScreen(x) : 0);
  f.perform(up, HTBORDER, f.alive() ? f.headerScreen(x) : 0);
  pump();
}
// The bottom edge of the header, where its height is tracked.
LPARAM headerEdge(TTableFixture& f, int dy = 0) {
  TPoint p = f.t()->ClientToScreen({150, -1 + dy});
  return MAKELPARAM(p.x, p.y);
}
// The bottom edge of a row, where its height is tracked: rows are sized in
// fixed columns only.
TPoint rowEdge(TTableFixture& f, PDataNode n) {
  TDataTreeColumn* first = f.t()->Header().Columns()[0];
  first->SetOptions(first->Options() + TDTColumnOptions{coFixed});
  TRect r = f.t()->GetDisplayRect(n, 0, false);
  return {r.Left + 20, r.Bottom - 1};
}
// A double click as the mouse makes it: press, release, the second press
// (a double click) and its release.
void doubleClick(TTableFixture& f, TPoint p) {
  f.click(p);
  f.mouse(imDoubleClick, p);
  f.mouse(imUp, p);
}
// Types a new caption into the editor of A0 and accepts it with Return.
void editTypeAndAccept(TTableFixture& f) {
  if (!f.n(f.A0) || !f.t()->EditNode(f.A0, 0) || !f.alive()) return;
  auto link = std::dynamic_pointer_cast<TStringEditLink>(f.t()->EditLink());
  if (!link || !link->Edit()) return;
  const HWND editor = link->Edit()->Handle();
  for (char c : std::string("new")) {
    if (!f.alive() || !link->Edit()) return;
    InjectKeyStroke(editor, UINT(c - 'a' + 'A'), {}, String(1, char16_t(c)));
  }
  if (f.alive() && link->Edit()) InjectKeyStroke(editor, VK_RETURN, {}, u"\r");
  pump();
}
// A format of the owner's own, rendered by the owner when asked for.
UINT ownFormat() { return RegisterClipboardFormat(u"Table Test Format"); }
void offerOwnFormat(TTableFixture& f) {
  f.t()->OnGetUserClipboardFormats = [](TBaseDataTree*, TFormatEtcArray& formats) {
    TFormatEtc fe{};
    fe.cfFormat = std::uint16_t(ownFormat());
    fe.tymed = TYMED_HGLOBAL;
    formats.push_back(fe);
  };
}

std::vector<TEventRow> eventTable() {
  std::vector<TEventRow> rows = {
      // ---- the node store, changes, toggles, focus -------------------------------
      {EVENT(OnChange), [](TTableFixture& f) { f.click(f.textPoint(f.n(f.C))); }, true, "OnChange"},
      {EVENT(OnChecking), [](TTableFixture& f) { clickCheckBox(f, f.n(f.A0)); }, true, "OnChecking"},
      {EVENT(OnChecked), [](TTableFixture& f) { clickCheckBox(f, f.n(f.A0)); }, true, "OnChecking"},
      {EVENT(OnCollapsed), [](TTableFixture& f) { toggle(f, f.n(f.A1)); }, true, "OnCollapsed"},
      {EVENT(OnCollapsing), [](TTableFixture& f) { toggle(f, f.n(f.A1)); }, true, "OnCollapsed"},
      {EVENT(OnExpanded), [](TTableFixture& f) { toggle(f, f.n(f.B)); }, true, "OnExpanded"},
      {EVENT(OnExpanding), [](TTableFixture& f) { toggle(f, f.n(f.B)); }, true, "OnExpanded"},
      {EVENT(OnCompareNodes),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->SortTree(0, sdDescending);
       },
       true, "OnCompareNodes"},
      {EVENT(OnFocusChanged), [](TTableFixture& f) { f.click(f.textPoint(f.n(f.C))); }, true, "OnChange"},
      {EVENT_NODE_ARG(OnFocusChanging, 1), [](TTableFixture& f) { f.click(f.textPoint(f.n(f.C))); }, true, "OnChange"},
      {EVENT(OnFreeNode),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->DeleteChildren(f.n(f.A));
       },
       true, "OnFreeNode"},
      {EVENT(OnGetCellIsEmpty),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The owner is asked about cells without text only: the last
         // column has none, and the caption spans into it.
         f.t()->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex c, TDTTextType, String& text) {
           text = c == 2 ? u"" : u"cell " + UTF8ToUTF16(std::to_string(*t->GetNodeData<std::int32_t>(n)));
         };
         auto& o = f.t()->TreeOptions();
         o.SetAutoOptions(o.AutoOptions() + TDTAutoOptions{toAutoSpanColumns});
         f.repaint();
       },
       true, "OnGetCellIsEmpty"},
      {EVENT(OnGetNodeDataSize),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The owner tells the size when the tree asks; the rows' data stays
         // a number.
         f.t()->OnGetNodeDataSize = [hooked = f.t()->OnGetNodeDataSize](TBaseDataTree* t, int& size) {
           size = int(sizeof(std::int32_t));
           hooked(t, size);
         };
         // A size to be asked for: the tree makes its rows anew and asks
         // when it makes the first of them.
         f.t()->SetNodeDataSize(-1);
         pump();
       },
       false, "OnGetNodeDataSize"},
      {EVENT(OnHotChange), [](TTableFixture& f) { f.mouse(imMove, f.textPoint(f.n(f.C))); }, true, "OnHotChange"},
      {EVENT(OnIncrementalSearch), [](TTableFixture& f) { f.key('A', u"a"); }, true, "OnIncrementalSearch"},
      {EVENT(OnInitChildren),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.t()->SetHasChildren(f.n(f.C), true);
         toggle(f, f.n(f.C));
       },
       true, "OnInitChildren"},
      {EVENT_NODE_ARG(OnInitNode, 1),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.t()->ReinitNode(f.n(f.A0), false);
         f.repaint();
       },
       true, "OnInitNode"},
      {EVENT(OnMeasureItem),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.t()->ReinitNode(f.n(f.A), true);
         f.repaint();
       },
       true, "OnMeasureItem"},
      {EVENT(OnNodeCopied),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->CopyTo(f.n(f.A0), f.n(f.C), amAddChildLast, false);
       },
       true, "OnNodeCopied"},
      {EVENT(OnNodeCopying),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->CopyTo(f.n(f.A0), f.n(f.C), amAddChildLast, false);
       },
       true, "OnNodeCopied"},
      {EVENT(OnNodeMoved),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->MoveTo(f.n(f.A0), f.n(f.C), amAddChildLast, false);
       },
       true, "OnNodeMoved"},
      {EVENT(OnNodeMoving),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->MoveTo(f.n(f.A0), f.n(f.C), amAddChildLast, false);
       },
       true, "OnNodeMoved"},
      {EVENT(OnResetNode),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->ResetNode(f.n(f.A1));
         f.repaint();
       },
       true, "OnResetNode"},
      {EVENT(OnScroll),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         for (int i = 0; i < 30 && f.alive(); ++i) f.t()->AddChild(f.n(f.C));
         if (f.alive()) f.t()->SetExpanded(f.n(f.C), true);
         if (f.alive()) f.t()->SetOffsetY(-60);
         pump();
       },
       false, "OnScroll"},
      {EVENT(OnShowScrollbar),
       [](TTableFixture& f) {
         for (int i = 0; i < 30 && f.alive(); ++i) f.t()->AddChild(f.n(f.C));
         if (f.alive()) f.t()->SetExpanded(f.n(f.C), true);
         pump();
       },
       false, "OnShowScrollbar"},
      {EVENT(OnStateChange), [](TTableFixture& f) { f.click(f.textPoint(f.n(f.C))); }, false, "OnChange"},
      {EVENT(OnStructureChange),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->AddChild(f.n(f.A1));
       },
       true, "OnStructureChange"},
      {EVENT(OnUpdating),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.t()->BeginUpdate();
         if (f.alive()) f.t()->EndUpdate();
       },
       false, "OnUpdating"},
      {EVENT(OnSaveNode), saveAndLoad, true, "OnSaveNode"},
      {EVENT(OnLoadNode), saveAndLoad, true, "OnSaveNode"},

      // ---- input ---------------------------------------------------------------------
      {EVENT(OnDragAllowed),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The press may delete the row: the release goes to the same point.
         const TPoint p = f.textPoint(f.n(f.A0));
         f.mouse(imDown, p);
         f.mouse(imUp, p);
       },
       true, "OnDragAllowed"},
      {EVENT(OnEditing), editAndAccept, true, "OnEditing"},
      {EVENT(OnEdited), editAndAccept, true, "OnEditing"},
      {EVENT(OnEditCancelled), editAndCancel, false, "OnEditCancelled"},
      {EVENT(OnKeyAction), [](TTableFixture& f) { f.key(VK_DOWN); }, false, "OnKeyAction"},
      {EVENT(OnGetCursor),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.mouse(imMove, f.textPoint(f.n(f.A0)));
         f.perform(WM_SETCURSOR, WPARAM(f.alive() ? f.handle() : nullptr), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
       },
       false, "OnGetCursor"},
      {EVENT(OnNodeHeightTracking),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         const TPoint p = rowEdge(f, f.n(f.A0));
         f.mouse(imDown, p, mbLeft, {ssShift});
         f.perform(WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, f.client({p.x, p.y + 5}));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, f.client({p.x, p.y + 10}));
         f.perform(WM_LBUTTONUP, 0, f.client({p.x, p.y + 10}));
       },
       true, "OnNodeHeightTracking"},
      {EVENT(OnNodeHeightDblClickResize),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         doubleClick(f, rowEdge(f, f.n(f.A0)));
       },
       true, "OnNodeHeightDblClickResize"},
      {EVENT(OnGetHelpContext), [](TTableFixture& f) {
         if (f.alive()) f.t()->SetFocusedNode(f.n(f.A0));
         f.key(VK_F1);
       }, true, "OnGetHelpContext"},
      {EVENT(OnHelpRequest), [](TTableFixture& f) {
         if (!f.alive()) return;
         f.t()->SetFocusedNode(f.n(f.A0));
         f.t()->OnGetHelpContext = [](TBaseDataTree*, PDataNode, TColumnIndex, int& context) { context = 7; };
         f.key(VK_F1);
       }, false, "OnHelpRequest"},
      {EVENT(OnGetPopupMenu), [](TTableFixture& f) { f.click(f.textPoint(f.n(f.A0)), mbRight); }, true, "OnGetPopupMenu"},
      {EVENT(OnColumnClick), [](TTableFixture& f) { f.click(f.textPoint(f.n(f.A0), 1)); }, false, "OnColumnClick"},
      {EVENT(OnColumnDblClick), [](TTableFixture& f) { doubleClick(f, f.textPoint(f.n(f.A0), 1)); }, false, "OnColumnDblClick"},

      // ---- the header ----------------------------------------------------------------
      {EVENT(OnHeaderClick), [](TTableFixture& f) { clickHeader(f, 150); }, false, "OnHeaderClick"},
      {EVENT(OnHeaderImageClick), [](TTableFixture& f) { clickHeader(f, 108); }, false, "OnHeaderImageClick"},
      {EVENT(OnHeaderCheckBoxClick),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.t()->Header().Columns()[1]->SetCheckBox(true);
         clickHeader(f, 108);
       },
       false, "OnHeaderCheckBoxClick"},
      {EVENT(OnHeaderMouseDown), [](TTableFixture& f) { clickHeader(f, 150); }, false, "OnHeaderClick"},
      {EVENT(OnHeaderMouseUp), [](TTableFixture& f) { clickHeader(f, 150); }, false, "OnHeaderClick"},
      {EVENT(OnHeaderMouseMove),
       [](TTableFixture& f) {
         f.perform(WM_NCMOUSEMOVE, HTBORDER, f.alive() ? f.headerScreen(150) : 0);
         f.perform(WM_MOUSEMOVE, 0, f.alive() ? f.headerClient(150) : 0);
       },
       false, "OnHeaderMouseMove"},
      {EVENT(OnHeaderDragging),
       [](TTableFixture& f) {
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, f.alive() ? f.headerScreen(150) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(180) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(260) : 0);
         f.perform(WM_LBUTTONUP, 0, f.alive() ? f.headerClient(260) : 0);
       },
       false, "OnHeaderDragging"},
      {EVENT(OnHeaderDragged),
       [](TTableFixture& f) {
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, f.alive() ? f.headerScreen(150) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(180) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(280) : 0);
         f.perform(WM_LBUTTONUP, 0, f.alive() ? f.headerClient(280) : 0);
       },
       false, "OnHeaderDragged"},
      {EVENT(OnHeaderDraggedOut),
       [](TTableFixture& f) {
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, f.alive() ? f.headerScreen(150) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(180) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, -200));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(150, -200));
       },
       false, "OnHeaderDraggedOut"},
      {EVENT(OnGetHeaderCursor),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.perform(WM_NCMOUSEMOVE, HTBORDER, f.headerScreen(100));
         f.perform(WM_SETCURSOR, WPARAM(f.alive() ? f.handle() : nullptr), MAKELPARAM(HTBORDER, WM_MOUSEMOVE));
       },
       false, "OnGetHeaderCursor"},
      {EVENT(OnBeforeHeaderHeightTracking),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, headerEdge(f));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 8));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(150, 8));
       },
       false, "OnBeforeHeaderHeightTracking"},
      {EVENT(OnHeaderHeightTracking),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The first move starts the tracking, the next ones ask.
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, headerEdge(f));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 4));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 8));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(150, 8));
       },
       false, "OnHeaderHeightTracking"},
      {EVENT(OnAfterHeaderHeightTracking),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, headerEdge(f));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 8));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(150, 8));
       },
       false, "OnBeforeHeaderHeightTracking"},
      {EVENT(OnHeaderHeightDblClickResize),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.perform(WM_NCLBUTTONDBLCLK, HTBORDER, headerEdge(f));
       },
       false, "OnHeaderHeightDblClickResize"},
      {EVENT(OnBeforeColumnWidthTracking), dragHeaderSplitter, false, "OnBeforeColumnWidthTracking"},
      {EVENT(OnColumnWidthTracking), dragHeaderSplitter, false, "OnBeforeColumnWidthTracking"},
      {EVENT(OnAfterColumnWidthTracking), dragHeaderSplitter, false, "OnBeforeColumnWidthTracking"},
      {EVENT(OnColumnWidthDblClickResize),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The last column, narrowed, fits its cells again: it widens in
         // steps, each painting at once what lies right of it (only the
         // rows' ends: a column left of it would repaint its cells at
         // every step).
         f.t()->Header().Columns()[2]->SetWidth(10);
         pump();
         f.perform(WM_NCLBUTTONDBLCLK, HTBORDER, f.alive() ? f.headerScreen(210) : 0);
       },
       false, "OnColumnWidthDblClickResize"},
      {EVENT(OnCanSplitterResizeColumn), dragHeaderSplitter, false, "OnBeforeColumnWidthTracking"},
      {EVENT(OnHeaderDraw),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.t()->Header().SetOptions(f.t()->Header().Options() + TDTHeaderOptions{hoOwnerDraw});
         f.t()->Header().Columns()[1]->SetStyle(vsOwnerDraw);
         f.paintHeader();
       },
       false, "OnHeaderDraw"},
      {EVENT(OnHeaderDrawQueryElements),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The elements are asked for only where the owner draws them.
         f.t()->Header().SetOptions(f.t()->Header().Options() + TDTHeaderOptions{hoOwnerDraw});
         f.t()->OnAdvancedHeaderDraw = [](TDTHeader*, THeaderPaintInfo&, THeaderPaintElements) {};
         f.paintHeader();
       },
       false, "OnHeaderDrawQueryElements"},
      {EVENT(OnAdvancedHeaderDraw),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.t()->Header().SetOptions(f.t()->Header().Options() + TDTHeaderOptions{hoOwnerDraw});
         f.t()->OnHeaderDrawQueryElements = [](TDTHeader*, THeaderPaintInfo&, THeaderPaintElements& e) {
           e = hpeBackground | hpeDropMark | hpeHeaderGlyph | hpeSortGlyph | hpeText;
         };
         f.paintHeader();
       },
       false, "OnAdvancedHeaderDraw"},

      // ---- display ---------------------------------------------------------------------
      {EVENT(OnCreateEditor), editAndAccept, true, "OnEditing"},
      {EVENT(OnGetImageIndex), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnGetImageIndexEx), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnGetImageText),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->GuardedEntry([&] { f.t()->DoGetImageText(f.n(f.A0), ikNormal, 0); });
         pump();
       },
       true, "OnGetImageText"},
      {EVENT(OnBeforeItemErase), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnAfterItemErase), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnBeforeItemPaint), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnAfterItemPaint), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnBeforeCellPaint), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnAfterCellPaint), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnBeforePaint), [](TTableFixture& f) { f.repaint(); }, false, "OnGetImageIndex"},
      {EVENT(OnAfterPaint), [](TTableFixture& f) { f.repaint(); }, false, "OnGetImageIndex"},
      {EVENT(OnPaintBackground),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         TPicture picture;
         picture.Bitmap()->SetSize(8, 8);
         f.t()->SetBackground(picture);
         auto& o = f.t()->TreeOptions();
         o.SetPaintOptions(o.PaintOptions() + TDTPaintOptions{toShowBackground});
         f.repaint();
       },
       false, "OnPaintBackground"},
      {EVENT(OnGetLineStyle),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->SetLineStyle(lsCustomStyle);
         f.repaint();
       },
       false, "OnGetLineStyle"},
      {EVENT(OnColumnResize),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->Header().Columns()[1]->SetWidth(60);
         pump();
       },
       false, "OnColumnResize"},
      {EVENT(OnGetCellContentMargin),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->GetDisplayRect(f.n(f.A0), 0, true, false, true);
         pump();
       },
       true, "OnGetCellContentMargin"},
      {EVENT(OnBeforeGetMaxColumnWidth),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->GetMaxColumnWidth(0);
         pump();
       },
       false, "OnBeforeGetMaxColumnWidth"},
      {EVENT(OnAfterGetMaxColumnWidth),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->GetMaxColumnWidth(0);
         pump();
       },
       false, "OnBeforeGetMaxColumnWidth"},
      {EVENT(OnBeforeAutoFitColumns),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->Header().AutoFitColumns(false);
         pump();
       },
       false, "OnBeforeAutoFitColumns"},
      {EVENT(OnAfterAutoFitColumns),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->Header().AutoFitColumns(false);
         pump();
       },
       false, "OnBeforeAutoFitColumns"},
      {EVENT(OnBeforeAutoFitColumn),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->Header().AutoFitColumns(false);
         pump();
       },
       false, "OnBeforeAutoFitColumns"},
      {EVENT(OnAfterAutoFitColumn),
       [](TTableFixture& f) {
         if (f.alive()) f.t()->Header().AutoFitColumns(false);
         pump();
       },
       false, "OnBeforeAutoFitColumns"},
      {EVENT(OnHeaderSortChanged),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         auto& o = f.t()->TreeOptions();
         o.SetAutoOptions(o.AutoOptions() + TDTAutoOptions{toAutoSort});
         f.t()->Header().SetSortColumn(1);
         pump();
       },
       false, "OnHeaderSortChanged"},

      // ---- drag and drop and the clipboard ----------------------------------------------
      {EVENT(OnDragOver), dragWithin, false, "OnDragOver"},
      {EVENT(OnDragDrop),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // Only a drop the owner accepts is handed to it.
         f.t()->OnDragOver = [](TBaseDataTree*, TObject*, TShiftState, TDragState, TPoint, TDTDropMode,
                              std::uint32_t&, bool& accept) { accept = true; };
         dragWithin(f);
       },
       false, "OnDragDrop"},
      {EVENT(OnCreateDataObject), dragWithin, false, "OnDragOver"},
      {EVENT(OnCreateDragManager), dragWithin, false, "OnDragOver"},
      {EVENT(OnGetUserClipboardFormats), copyAndPaste, false, "OnGetUserClipboardFormats"},
      {EVENT(OnRenderOLEData),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         offerOwnFormat(f);
         f.t()->SetSelected(f.n(f.A0), true);
         f.t()->CopyToClipboard();
         // Whoever reads the clipboard asks the tree for the format.
         if (f.alive()) Clipboard()->GetBuffer(ownFormat());
         pump();
       },
       false, "OnRenderOLEData"},

      // ---- the string tree ---------------------------------------------------------------
      {EVENT(OnGetText), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnNewText), editTypeAndAccept, true, "OnNewText"},
      {EVENT(OnPaintText), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnShortenString), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnDrawText), [](TTableFixture& f) { f.repaint(); }, true, "OnGetImageIndex"},
      {EVENT(OnMeasureTextWidth),
       [](TTableFixture& f) {
         // Captions of the main column are measured once and kept; the
         // other columns' cells are measured whenever asked.
         if (f.alive()) f.t()->GetMaxColumnWidth(1);
         pump();
       },
       true, "OnMeasureTextWidth"},
      {EVENT(OnGetHint),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         hintAt(f, f.textPoint(f.n(f.A0)));
       },
       true, "OnGetHint"},
      {EVENT(OnBeforeHeaderExport), exportAll, false, "OnBeforeHeaderExport"},
      {EVENT(OnAfterHeaderExport), exportAll, false, "OnBeforeHeaderExport"},
      {EVENT(OnBeforeColumnExport), exportAll, false, "OnBeforeHeaderExport"},
      {EVENT(OnAfterColumnExport), exportAll, false, "OnBeforeHeaderExport"},
      {EVENT(OnBeforeNodeExport), exportAll, true, "OnBeforeHeaderExport"},
      {EVENT(OnAfterNodeExport), exportAll, true, "OnBeforeHeaderExport"},
  };
  return rows;
}

TEST(TreeEventTable, EveryEventOfTheTreeHasARow) {
  std::set<std::string> listed;
  for (const TEventRow& row : eventTable()) EXPECT_TRUE(listed.insert(row.Name).second) << row.Name << " twice";
  const std::set<std::string> declared = declaredEvents();
  EXPECT_GT(declared.size(), 100u);
  for (const std::string& name : declared) EXPECT_TRUE(listed.count(name)) << name << " has no row in the table";
  for (const std::string& name : listed) EXPECT_TRUE(declared.count(name)) << name << " is no event of the tree";
}

// The control events the platform raises on the tree, hooked with the
// tree's own.
void hookControlEvents(TTableTree& t) {
  hookSlot(t.OnEnter, -1);
  hookSlot(t.OnExit, -1);
  hookSlot(t.OnResize, -1);
  hookSlot(t.OnKeyDown, -1);
  hookSlot(t.OnKeyUp, -1);
  hookSlot(t.OnKeyPress, -1);
  hookSlot(t.OnClick, -1);
  hookSlot(t.OnDblClick, -1);
  hookSlot(t.OnMouseDown, -1);
  hookSlot(t.OnMouseUp, -1);
  hookSlot(t.OnMouseMove, -1);
  hookSlot(t.OnMouseWheel, -1);
}

void focusOther(TTableFixture& f) {
  if (!f.alive()) return;
  f.Other->SetFocus();
  pump();
}

// Every operation of the table once, and those no row raises its event by.
std::vector<std::pair<std::string, TRaise>> sweepOperations() {
  std::vector<std::pair<std::string, TRaise>> ops;
  std::set<std::string> seen;
  for (const TEventRow& row : eventTable())
    if (seen.insert(row.Op).second) ops.emplace_back(row.Op, row.Raise);
  ops.emplace_back("ClickIntoTheTree", [](TTableFixture& f) {
    focusOther(f);
    f.click(f.textPoint(f.n(f.C)));
  });
  ops.emplace_back("EditIntoTheTree", [](TTableFixture& f) {
    focusOther(f);
    editAndAccept(f);
  });
  ops.emplace_back("FocusIntoTheTree", [](TTableFixture& f) {
    focusOther(f);
    if (f.alive()) f.t()->SetFocus();
    pump();
  });
  ops.emplace_back("SetFocusedNode", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A1a));
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.C));
    pump();
  });
  ops.emplace_back("ArrowKeys", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A0));
    for (UINT vk : {VK_DOWN, VK_DOWN, VK_RIGHT, VK_LEFT, VK_LEFT, VK_UP}) f.key(vk);
  });
  ops.emplace_back("DeleteChildrenHoldingTheFocus", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A1a));
    if (f.alive() && f.n(f.A)) f.t()->DeleteChildren(f.A);
    pump();
  });
  // The children go while the node stays: its handlers may take it too.
  ops.emplace_back("SetHasChildrenOffHoldingTheFocus", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A1a));
    if (f.alive() && f.n(f.A)) f.t()->SetHasChildren(f.A, false);
    pump();
  });
  ops.emplace_back("ReinitToNoChildrenHoldingTheFocus", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A1a));
    if (!f.alive() || !f.n(f.A)) return;
    auto asked = f.t()->OnInitChildren;
    f.t()->OnInitChildren = [asked](TBaseDataTree* t, PDataNode n, std::uint32_t& count) {
      count = 0;
      if (asked) asked(t, n, count);
    };
    f.t()->ReinitChildren(f.A, false);
    pump();
  });
  ops.emplace_back("BeginDrag", [](TTableFixture& f) {
    if (!f.alive() || !f.n(f.A0)) return;
    auto& o = f.t()->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() + TDTMiscOptions{toAcceptOLEDrop});
    const TPoint p = f.textPoint(f.n(f.A0));
    if (f.alive()) InjectMouse(f.handle(), imDown, mbLeft, p, {});
    if (f.alive()) f.t()->BeginDrag(true);
    pump();
  });
  ops.emplace_back("WalksOverNewRows", [](TTableFixture& f) {
    if (!f.alive() || !f.n(f.C)) return;
    // Rows made without data: each walk below initialises them.
    f.t()->SetChildCount(f.C, 3);
    if (f.alive() && f.n(f.C)) f.t()->SetExpanded(f.C, true);
    for (PDataNode r = f.alive() ? f.t()->GetFirst() : nullptr; r && f.alive(); r = f.t()->GetNext(r)) {
    }
    if (f.alive()) f.t()->ReinitChildren(nullptr, true);
    for (PDataNode r = f.alive() ? f.t()->GetLast() : nullptr; r && f.alive(); r = f.t()->GetPrevious(r)) {
    }
    for (PDataNode r = f.alive() ? f.t()->GetFirstVisible() : nullptr; r && f.alive(); r = f.t()->GetNextVisible(r)) {
    }
    if (f.alive()) f.t()->GetNodeAt(5, 40);
    if (f.alive() && f.n(f.C)) f.t()->GetFirstChild(f.C);
  });
  // Walks that step into a row whose children come on demand make them on
  // the way, and the handlers told of the new children may take the row.
  ops.emplace_back("WalksIntoChildrenToCome", [](TTableFixture& f) {
    if (!f.alive()) return;
    f.t()->OnInitChildren = [asked = f.t()->OnInitChildren](TBaseDataTree* t, PDataNode n, std::uint32_t& count) {
      count = 2;
      if (asked) asked(t, n, count);
    };
    // C without children again, to come when a walk asks.
    auto childrenToCome = [&f] {
      if (!f.alive() || !f.n(f.C)) return false;
      f.t()->DeleteChildren(f.C);
      if (!f.alive() || !f.n(f.C)) return false;
      f.t()->SetHasChildren(f.C, true);
      pump();
      return f.alive() && f.n(f.C);
    };
    if (childrenToCome())
      for (PDataNode r = f.t()->GetFirst(); r && f.alive(); r = f.t()->GetNext(r)) {
      }
    if (childrenToCome())
      for (PDataNode r = f.t()->GetLast(); r && f.alive(); r = f.t()->GetPrevious(r)) {
      }
    if (childrenToCome()) f.t()->GetFirstChild(f.C);
    if (childrenToCome()) f.t()->GetLastChild(f.C);
    pump();
  });
  // Page keys measure the rows they pass when no paint did yet: a height
  // that changes tells the state handler, which may take the rows the
  // keys hold.
  ops.emplace_back("PageKeysOverRowsMeasuredAnew", [](TTableFixture& f) {
    if (!f.alive() || !f.n(f.A)) return;
    f.t()->OnMeasureItem = [hooked = f.t()->OnMeasureItem](TBaseDataTree* t, TCanvas* c, PDataNode n, int& height) {
      height = 23;
      if (hooked) hooked(t, c, n, height);
    };
    f.t()->SetFocusedNode(f.A);
    pump();
    // Every row is measured anew when next asked; the keys come before any
    // paint.
    if (f.alive()) f.t()->ReinitChildren(nullptr, true);
    if (f.alive()) InjectKeyStroke(f.handle(), VK_NEXT, {}, u"");
    if (f.alive()) f.t()->ReinitChildren(nullptr, true);
    if (f.alive()) InjectKeyStroke(f.handle(), VK_PRIOR, {}, u"");
    pump();
  });
  // The program asks rows made without data to be initialised (and their
  // children made) at once, or whether one of them shows.
  ops.emplace_back("ValidateNewRows", [](TTableFixture& f) {
    if (!f.alive() || !f.n(f.C)) return;
    f.t()->SetChildCount(f.C, 3);
    if (f.alive()) f.t()->ValidateNode(nullptr, true);
    if (!f.alive() || !f.n(f.B)) return;
    f.t()->SetChildCount(f.B, 3);
    if (f.alive() && f.n(f.B)) f.t()->ValidateChildren(f.B, true);
    if (!f.alive() || !f.n(f.C)) return;
    f.t()->SetChildCount(f.C, 5);
    if (f.alive() && f.n(f.C) && f.C->LastChild) f.t()->IsVisible(f.C->LastChild);
    pump();
  });
  // Public calls that set the scroll bars or give up the position cache,
  // each raising its events.
  ops.emplace_back("ScrollBarsAndCache", [](TTableFixture& f) {
    for (int i = 0; i < 30 && f.alive(); ++i) f.t()->AddChild(f.n(f.C));
    if (f.alive() && f.n(f.C)) f.t()->SetExpanded(f.C, true);
    pump();
    if (f.alive()) f.t()->SetBottomSpace(40);
    if (f.alive()) f.t()->UpdateVerticalScrollBar(true);
    if (f.alive()) f.t()->UpdateHorizontalScrollBar(true);
    if (f.alive()) f.t()->InterruptValidation();
    pump();
  });
  ops.emplace_back("Resize", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetBounds(0, 0, 200, 100);
    pump();
    if (f.alive()) f.Form->SetBounds(30, 30, 300, 150);
    pump();
  });
  // The ways a branch goes besides DeleteChildren, with the focus in it.
  ops.emplace_back("CollapseFreeingTheChildren", [](TTableFixture& f) {
    if (!f.alive()) return;
    auto& o = f.t()->TreeOptions();
    o.SetAutoOptions(o.AutoOptions() + TDTAutoOptions{toAutoFreeOnCollapse});
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A1a));
    if (f.alive() && f.n(f.A)) f.t()->SetExpanded(f.A, false);
    pump();
  });
  ops.emplace_back("DeleteNode", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A1a));
    if (f.alive() && f.n(f.A)) f.t()->DeleteNode(f.A);
    pump();
  });
  ops.emplace_back("DeleteSelectedNodes", [](TTableFixture& f) {
    for (PDataNode n : {f.A0, f.A1, f.B, f.C})
      if (f.alive() && f.n(n)) f.t()->SetSelected(n, true);
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.C));
    if (f.alive()) f.t()->DeleteSelectedNodes();
    pump();
  });
  ops.emplace_back("AddAndRemoveSelection", [](TTableFixture& f) {
    for (PDataNode n : {f.A0, f.A1, f.B})
      if (f.alive() && f.n(n)) f.t()->AddToSelection(n);
    if (f.alive() && f.n(f.A1)) f.t()->RemoveFromSelection(f.A1);
    pump();
  });
  ops.emplace_back("Clear", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A1a));
    if (f.alive()) f.t()->Clear();
    pump();
  });
  // Space presses the focused row's check box and its release checks it:
  // on a top row with children (the row another row's deletion takes when
  // the event names none) and on a row below it.
  ops.emplace_back("SpaceOnCheckBox", [](TTableFixture& f) {
    for (PDataNode row : {f.A, f.A1}) {
      if (!f.alive() || !f.n(row)) continue;
      f.t()->SetFocusedNode(row);
      f.key(VK_SPACE, u" ");
    }
  });
  // The mouse checks a row whose children come on demand: the check makes
  // them before passing the state down, and their handlers may take the
  // row.
  ops.emplace_back("ClickCheckBoxOfRowWithChildrenToCome", [](TTableFixture& f) {
    if (!f.alive() || !f.n(f.C)) return;
    f.t()->OnInitChildren = [asked = f.t()->OnInitChildren](TBaseDataTree* t, PDataNode n, std::uint32_t& count) {
      count = 2;
      if (asked) asked(t, n, count);
    };
    f.t()->SetHasChildren(f.C, true);
    pump();
    clickCheckBox(f, f.n(f.C));
  });
  // The keypad's full expand and collapse of the focused row, and its
  // single toggle.
  ops.emplace_back("StarAndSlashKeys", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A));
    f.key(VK_DIVIDE, u"/", true);
    f.key(VK_MULTIPLY, u"*", true);
  });
  ops.emplace_back("PlusAndMinusKeys", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetFocusedNode(f.n(f.A));
    f.key(VK_SUBTRACT, u"-", true);
    f.key(VK_ADD, u"+", true);
  });
  // With Ctrl the same keys fit the columns to their cells and give them
  // their widths back, a step at a time.
  ops.emplace_back("CtrlPlusAndMinusKeys", [](TTableFixture& f) {
    if (!f.alive()) return;
    // Without the sliding steps: each paints the tree 32 times.
    f.t()->Header().SetOptions(f.t()->Header().Options() + TDTHeaderOptions{hoDisableAnimatedResize});
    f.t()->Header().Columns()[1]->SetWidth(40);
    f.key(VK_ADD, u"+", true, {ssCtrl});
    f.key(VK_SUBTRACT, u"-", true, {ssCtrl});
  });
  ops.emplace_back("FullCollapseAndExpandOfARow", [](TTableFixture& f) {
    if (f.alive() && f.n(f.A)) f.t()->FullCollapse(f.A);
    pump();
    if (f.alive() && f.n(f.A)) f.t()->FullExpand(f.A);
    pump();
  });
  ops.emplace_back("FullCollapseAndExpandOfAll", [](TTableFixture& f) {
    if (f.alive()) f.t()->FullCollapse();
    pump();
    if (f.alive()) f.t()->FullExpand();
    pump();
  });
  // The top row collapses and expands again, each toggle after the
  // background thread has worked out the rows' positions anew.
  ops.emplace_back("ToggleNode", [](TTableFixture& f) {
    toggle(f, f.n(f.A));
    toggle(f, f.n(f.A));
  });
  ops.emplace_back("ToggleNodeAnimated", [](TTableFixture& f) {
    if (!f.alive()) return;
    auto& o = f.t()->TreeOptions();
    o.SetAnimationOptions(o.AnimationOptions() + TDTAnimationOptions{toAnimatedToggle});
    // One step each way: as many raises however fast the machine.
    f.t()->SetAnimationDuration(1);
    toggle(f, f.n(f.A));
    toggle(f, f.n(f.A));
  });
  // A compare handler that collapses a row which frees its children on
  // collapse: the sort goes on over a changed tree.
  ops.emplace_back("SortCollapsingInCompare", [](TTableFixture& f) {
    if (!f.alive()) return;
    auto& o = f.t()->TreeOptions();
    o.SetAutoOptions(o.AutoOptions() + TDTAutoOptions{toAutoFreeOnCollapse});
    f.t()->OnCompareNodes = [hooked = f.t()->OnCompareNodes, &f](TBaseDataTree* t, PDataNode n1, PDataNode n2,
                                                                  TColumnIndex c, int& result) {
      if (PDataNode a = f.n(f.A); a && t->Expanded(a)) t->ToggleNode(a);
      if (!f.alive()) return;
      result = int(*t->GetNodeData<std::int32_t>(n1)) - int(*t->GetNodeData<std::int32_t>(n2));
      if (hooked) hooked(t, n1, n2, c, result);
    };
    f.t()->SortTree(0, sdDescending);
    pump();
  });
  // A tree that fills its form follows the form's size.
  ops.emplace_back("FormRealign", [](TTableFixture& f) {
    if (f.alive()) f.t()->SetAlign(alClient);
    pump();
    if (f.alive()) f.Form->SetBounds(30, 30, 300, 150);
    pump();
    if (f.alive()) f.Form->SetBounds(30, 30, 420, 260);
    pump();
  });
  // Presses on the row that is selected and focused already: each finds
  // the edit of the click before waiting for its delay (longer than the
  // case), and a double click ends that wait too.
  ops.emplace_back("ClicksOnTheSelectedRow", [](TTableFixture& f) {
    if (!f.alive() || !f.n(f.A0)) return;
    f.t()->SetEditDelay(600000);
    // The owner lets the focus go to rows by their data.
    f.t()->OnFocusChanging = [hooked = f.t()->OnFocusChanging](TBaseDataTree* t, PDataNode from, PDataNode to,
                                                                 TColumnIndex c1, TColumnIndex c2, bool& allowed) {
      allowed = !to || *t->GetNodeData<std::int32_t>(to) != 0;
      if (hooked) hooked(t, from, to, c1, c2, allowed);
    };
    // Sent one by one, so that no two of them make a double click.
    const LPARAM p = f.client(f.textPoint(f.A0));
    for (int i = 0; i < 3; ++i) {
      f.perform(WM_LBUTTONDOWN, MK_LBUTTON, p);
      f.perform(WM_LBUTTONUP, 0, p);
      pump();
    }
  });
  ops.emplace_back("DoubleClickOnTheSelectedRow", [](TTableFixture& f) {
    if (!f.alive() || !f.n(f.A0)) return;
    f.t()->SetEditDelay(600000);
    const TPoint p = f.textPoint(f.A0);
    f.click(p);
    doubleClick(f, p);
  });
  // The middle button pressed on a selected row where the owner allows a
  // drag waits with clearing the selection; the left button pressed then
  // on the same row, where the owner allows none, clears it at once.
  ops.emplace_back("MiddleThenLeftPressOnTheSelectedRow", [](TTableFixture& f) {
    if (!f.alive() || !f.n(f.A0)) return;
    auto& o = f.t()->TreeOptions();
    o.SetSelectionOptions(o.SelectionOptions() + TDTSelectionOptions{toMiddleClickSelect});
    o.SetMiscOptions(o.MiscOptions() - TDTMiscOptions{toWheelPanning} + TDTMiscOptions{toGridExtensions});
    f.t()->OnDragAllowed = [hooked = f.t()->OnDragAllowed](TBaseDataTree* t, PDataNode n, TColumnIndex c,
                                                             bool& allowed) {
      allowed = c == 0;
      if (hooked) hooked(t, n, c, allowed);
    };
    const TPoint caption = f.textPoint(f.A0);
    f.click(caption);
    const TPoint cell = f.textPoint(f.n(f.A0), 1);
    f.mouse(imDown, caption, mbMiddle);
    f.mouse(imDown, cell, mbLeft);
    f.mouse(imUp, cell, mbLeft);
    f.mouse(imUp, caption, mbMiddle);
  });
  // A caption its column cuts off shows whole in a tool tip, on one line
  // and, for a row of several lines, as they wrap.
  ops.emplace_back("ToolTipOfACutOffCaption", [](TTableFixture& f) {
    if (!f.alive() || !f.n(f.A0)) return;
    f.t()->SetHintMode(hmTooltip);
    hintAt(f, f.textPoint(f.A0));
    if (!f.n(f.A0)) return;
    f.A0->States.Include(vsMultiline);
    hintAt(f, f.textPoint(f.A0));
  });
  return ops;
}

// The tree after one case: deleted when the handler deleted it, otherwise
// sound, with no deletion left waiting, and working.
void checkAfter(TTableFixture& f, const TRun& run) {
  if (run.Case == cTree && run.Fired) {
    EXPECT_FALSE(f.alive()) << "the tree was not deleted";
    return;
  }
  ASSERT_TRUE(f.alive());
  EXPECT_EQ(f.t()->PendingDeletionCount(), 0u);
  // Nothing an operation opens stays open after it, however it ended.
  EXPECT_EQ(f.t()->UpdateCount(), 0u);
  const TDataTreeStates open = f.t()->TreeStates() * TDataTreeStates{tsExpanding, tsCollapsing, tsToggling,
                                                                     tsInAnimation, tsUpdating, tsPainting,
                                                                     tsIterating, tsCheckPropagation};
  EXPECT_TRUE(open.Empty()) << "a state was left open";
  checkInvariants(*f.T);
  // It paints (every paint path is an operation of its own).
  f.T->Invalidate();
  pump();
  ASSERT_TRUE(f.alive());
  std::uint32_t rows = 0;
  for (PDataNode n = f.t()->GetFirstVisible(); n; n = f.t()->GetNextVisible(n)) ++rows;
  EXPECT_EQ(rows, f.t()->VisibleCount());
}

// Runs an operation with every event hooked, the handler acting at the
// FireAt-th raise (never when 0). No error ends it: a deletion is never
// refused (it waits for whatever holds the nodes), and nothing of the
// tree's unwinding leaves a public call.
// Every event of the fixture's tree hooked, acting at the FireAt-th raise.
void hookEveryEvent(TTableFixture& f, TRun& run, int FireAt) {
  f.T->OnFreeNode = [](TBaseDataTree*, PDataNode n) { noteFreed(n); };
  hookCount() = 0;
  for (const TEventRow& row : eventTable()) row.Hook(*f.T);
  hookControlEvents(*f.T);
  run.FireAt = FireAt;
}

// Counts the raises of an operation (or part), then runs it once for every
// raise N it makes and every deletion the handler can do there, each on a
// tree of its own, with Runner (runOnce or a variant).
template <class Runner>
void sweep(const std::string& name, const TRaise& op, const TSweepPart* part, Runner runner) {
  // Holds what every tree shares, which the last tree to go frees.
  TTableTree keeper(nullptr);
  TRun counted;
  runner(op, counted, cOther, 0);
  const int raises = counted.Calls;
  EXPECT_GT(raises, 0) << name << " raised no event";
  for (int n = 1; n <= raises; ++n) {
    if (part && !part->covers(n)) continue;
    for (TCase which : casesAt(counted, n)) {
      SCOPED_TRACE(name + " deleting " + kCaseNames[which] + " at raise " + std::to_string(n));
      TRun run;
      runner(op, run, which, n);
      if (::testing::Test::HasFatalFailure()) return;
      expectActed(counted, run);
    }
  }
}

void runOnce(const TRaise& op, TRun& run, TCase which, int FireAt) {
  const TNoErrorReachesTheProgram watch;
  TTableFixture f;
  hookEveryEvent(f, run, FireAt);
  {
    TArmedRun armed(run, which, f.T);
    try {
      op(f);
    } catch (const TTableFixture::TOpEnds&) {
    } catch (const EDataTreeGone&) {
      ADD_FAILURE() << "the tree's unwinding left a public call";
    } catch (const std::exception& e) {
      ADD_FAILURE() << "failed: " << e.what();
    }
    run.Armed = false;
    pump();
  }
  // The deleted row is gone: freed, or at least no row any more.
  if (run.Fired && which != cTree && f.alive() && !run.DeletedUnseen) {
    EXPECT_TRUE(run.DeletedFreed || !isRowOf(*f.T, run.Deleted)) << "the handler's deletion was lost";
  }
  checkAfter(f, run);
}

// The tests: one per operation, and a few for those that paint the most.
const std::vector<TSweepPart>& sweepTests() {
  static const std::vector<TSweepPart> tests = [] {
    std::vector<std::string> names;
    for (const auto& op : sweepOperations()) names.push_back(op.first);
    return sweepParts(names, [](const std::string& name) {
      // A column widening in steps paints (and waits) at each of them.
      if (name == "OnColumnWidthDblClickResize") return 8;
      if (name == "ArrowKeys") return 3;
      if (name == "OnNodeHeightTracking") return 2;
      return 1;
    });
  }();
  return tests;
}

std::string sweepName(const ::testing::TestParamInfo<std::size_t>& info) { return sweepTests()[info.param].Name; }

class TreeEventSweep : public ::testing::TestWithParam<std::size_t> {};

// One operation (or part): counted once with a handler that deletes
// nothing, then run once for every raise N it makes and every deletion the
// handler can do there, each on a tree of its own.
TEST_P(TreeEventSweep, DeletingAtEveryRaiseLeavesTheTreeSound) {
  const TSweepPart& part = sweepTests()[GetParam()];
  const auto [name, op] = sweepOperations()[part.Op];
  sweep(name, op, &part, runOnce);
}

INSTANTIATE_TEST_SUITE_P(Operations, TreeEventSweep, ::testing::Range(std::size_t(0), sweepTests().size()), sweepName);

// ---- public calls made while the program's own exception passes --------------------
// A scope guard of the program calls the tree from its destructor while an
// exception of the program unwinds through it. A handler that deletes the
// tree there cannot unwind the tree's call (a second exception would end
// the program): the call returns at once, touching nothing of the tree,
// and the program's exception goes on to the program's handler.

std::vector<std::pair<std::string, TRaise>> unwindingOperations() {
  std::vector<std::pair<std::string, TRaise>> ops;
  ops.emplace_back("RenderTree", [](TTableFixture& f) {
    TBitmap target(200, 100);
    f.t()->RenderTree(target.Canvas(), {0, 0, 200, 100}, {0, 0}, {ptoBackground, ptoSelection, ptoGridLines});
  });
  ops.emplace_back("ToggleNode", [](TTableFixture& f) {
    if (PDataNode a = f.n(f.A)) f.t()->ToggleNode(a);
  });
  ops.emplace_back("FullExpand", [](TTableFixture& f) { f.t()->FullExpand(); });
  ops.emplace_back("FullCollapseOfARow", [](TTableFixture& f) {
    if (PDataNode a = f.n(f.A)) f.t()->FullCollapse(a);
  });
  ops.emplace_back("SetFocusedNode", [](TTableFixture& f) { f.t()->SetFocusedNode(f.n(f.C)); });
  ops.emplace_back("KeyDown", [](TTableFixture& f) {
    f.t()->SetFocusedNode(f.n(f.A0));
    f.t()->Perform(WM_KEYDOWN, VK_DOWN, 0);
  });
  return ops;
}

// Calls the operation when the scope is left, as a program's guard does.
struct TCallOnLeaving {
  TTableFixture& F;
  const TRaise& Op;
  std::string& Escaped;
  ~TCallOnLeaving() {
    try {
      Op(F);
    } catch (const TTableFixture::TOpEnds&) {
    } catch (const std::exception& e) {
      Escaped = e.what();
    } catch (...) {
      Escaped = "an exception of no known type";
    }
  }
};

const char* const kProgramsOwn = "the program's own failure";

// The counterpart of runOnce: the operation runs while kProgramsOwn unwinds.
void runWhileUnwinding(const TRaise& op, TRun& run, TCase which, int FireAt) {
  const TNoErrorReachesTheProgram watch;
  TTableFixture f;
  hookEveryEvent(f, run, FireAt);
  {
    TArmedRun armed(run, which, f.T);
    std::string escaped;
    std::string arrived;
    try {
      TCallOnLeaving guard{f, op, escaped};
      throw std::runtime_error(kProgramsOwn);
    } catch (const std::runtime_error& e) {
      arrived = e.what();
    } catch (...) {
      arrived = "something else";
    }
    EXPECT_EQ(arrived, kProgramsOwn);
    EXPECT_EQ(escaped, "") << "an exception left the tree's call while another passed";
    run.Armed = false;
    pump();
  }
  checkAfter(f, run);
}

std::string unwindingName(const ::testing::TestParamInfo<std::size_t>& info) {
  return unwindingOperations()[info.param].first;
}

class TreeEventSweepWhileUnwinding : public ::testing::TestWithParam<std::size_t> {};

TEST_P(TreeEventSweepWhileUnwinding, DeletingAtEveryRaiseLetsTheProgramsExceptionThrough) {
  const auto [name, op] = unwindingOperations()[GetParam()];
  sweep(name + " while unwinding", op, nullptr, runWhileUnwinding);
}

INSTANTIATE_TEST_SUITE_P(Operations, TreeEventSweepWhileUnwinding,
                         ::testing::Range(std::size_t(0), unwindingOperations().size()), unwindingName);

}  // namespace
