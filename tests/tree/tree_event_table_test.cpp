// Every event the tree raises, each with a handler that deletes what it can:
// the node the event names, that node's parent, another row, or the tree
// itself. Whatever the handler did, the operation that raised the event
// ends cleanly and leaves the tree's counts as a recount finds them.
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
  slot = [base, NodeArg](A... args) -> R {
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
      handlerDeletes(named);
    } else {
      R result = base ? base(args...) : R(true);
      handlerDeletes(named);
      return result;
    }
  };
}

void pump() {
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
}

// A form with a string tree whose node data is a number; the rows:
//   A (expanded): A0, A1 (expanded: A1a, A1b), A2
//   B (collapsed): B0, B1, B2
//   C, D, E
struct TTableFixture {
  TForm* Form = nullptr;
  TTableTree* T = nullptr;
  std::weak_ptr<const bool> Life;
  TImageList* Pictures = nullptr;
  TBitmap Picture{16, 16};
  PDataNode A = nullptr, A0 = nullptr, A1 = nullptr, A1a = nullptr, B = nullptr, C = nullptr;

  TTableFixture() {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBounds(30, 30, 360, 300);
    Pictures = new TImageList(Form);
    Picture.Canvas()->Brush()->SetColor(clRed);
    Picture.Canvas()->FillRect({0, 0, 16, 16});
    Pictures->Add(&Picture, nullptr);
    T = new TTableTree(Form);
    Life = T->LifeToken();
    T->SetParent(Form);
    T->SetBounds(0, 0, 340, 280);
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
    auto add = [this](PDataNode parent) {
      static std::int32_t next = 1;
      PDataNode n = T->AddChild(parent);
      *T->GetNodeData<std::int32_t>(n) = next++;
      return n;
    };
    A = add(nullptr);
    A0 = add(A);
    A1 = add(A);
    A1a = add(A1);
    add(A1);
    add(A);
    B = add(nullptr);
    for (int i = 0; i < 3; ++i) add(B);
    C = add(nullptr);
    add(nullptr);
    add(nullptr);
    T->SetExpanded(A1, true);
    T->SetExpanded(A, true);
    Form->Show();
    T->SetFocus();
    pump();
    pump();
  }
  ~TTableFixture() {
    pump();
    delete Form;
  }
  bool alive() const { return !Life.expired(); }
  HWND handle() const { return T->Handle(); }
  TPoint textPoint(PDataNode n, TColumnIndex c = 0) {
    TRect r = T->GetDisplayRect(n, c, true);
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
  void key(UINT vk, const String& text = u"") {
    if (!alive()) return;
    InjectKeyStroke(handle(), vk, {}, text);
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
  int NodeArg = -1;
};

#define EVENT(name) #name, [](TTableTree& t) { hookSlot(t.name, -1); }
#define EVENT_NODE_ARG(name, arg) #name, [](TTableTree& t) { hookSlot(t.name, arg); }

// Operations that raise the events.
void editAndAccept(TTableFixture& f) {
  if (!f.alive() || !f.T->EditNode(f.A0, 0) || !f.alive()) return;
  if (auto link = std::dynamic_pointer_cast<TStringEditLink>(f.T->EditLink()); link && link->Edit())
    link->Edit()->SetText(u"a new caption");
  if (f.alive()) f.T->EndEditNode();
  pump();
}
void editAndCancel(TTableFixture& f) {
  if (!f.alive() || !f.T->EditNode(f.A0, 0) || !f.alive()) return;
  f.T->CancelEditNode();
  pump();
}
void toggle(TTableFixture& f, PDataNode n) {
  if (f.alive()) f.T->ToggleNode(n);
  pump();
}
void clickCheckBox(TTableFixture& f, PDataNode n) {
  if (!f.alive()) return;
  THitInfo hit;
  TRect r = f.T->GetDisplayRect(n, 0, false);
  // Walk the row from its left until the check box is hit.
  for (int x = r.Left; x < r.Right; ++x) {
    f.T->GetHitTestInfoAt(x, (r.Top + r.Bottom) / 2, true, hit);
    if (hit.HitPositions.Contains(hiOnItemCheckbox)) {
      f.click({x, (r.Top + r.Bottom) / 2});
      return;
    }
  }
  ADD_FAILURE() << "no check box on the row";
}
void copyAndPaste(TTableFixture& f) {
  if (!f.alive()) return;
  f.T->SetSelected(f.A0, true);
  f.T->CopyToClipboard();
  if (!f.alive()) return;
  f.T->SetFocusedNode(f.C);
  if (f.alive()) f.T->PasteFromClipboard();
  pump();
}
void dragWithin(TTableFixture& f) {
  if (!f.alive()) return;
  f.T->ClearSelection();
  f.T->SetSelected(f.A0, true);
  f.T->SetFocusedNode(f.A0);
  if (!f.alive()) return;
  const TPoint start = f.textPoint(f.A0);
  // The window takes drops from now on (its drag manager is made here, and
  // its handler may delete rows, A0 among them).
  auto& o = f.T->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() + TDTMiscOptions{toAcceptOLEDrop});
  if (f.alive()) f.T->DoDragging(start);
  pump();
}
void saveAndLoad(TTableFixture& f) {
  if (!f.alive()) return;
  TMemoryStream m;
  f.T->SaveToStream(&m);
  if (!f.alive()) return;
  m.SetPosition(0);
  f.T->LoadFromStream(&m);
  pump();
}
void exportAll(TTableFixture& f) {
  if (!f.alive()) return;
  f.T->ExportHTML(tstAll);
  if (f.alive()) f.T->ExportText(tstAll, u'\t');
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
  TPoint p = f.T->ClientToScreen({150, -1 + dy});
  return MAKELPARAM(p.x, p.y);
}
// The bottom edge of a row, where its height is tracked: rows are sized in
// fixed columns only.
TPoint rowEdge(TTableFixture& f, PDataNode n) {
  TDataTreeColumn* first = f.T->Header().Columns()[0];
  first->SetOptions(first->Options() + TDTColumnOptions{coFixed});
  TRect r = f.T->GetDisplayRect(n, 0, false);
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
  if (!f.alive() || !f.T->EditNode(f.A0, 0) || !f.alive()) return;
  auto link = std::dynamic_pointer_cast<TStringEditLink>(f.T->EditLink());
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
  f.T->OnGetUserClipboardFormats = [](TBaseDataTree*, TFormatEtcArray& formats) {
    TFormatEtc fe{};
    fe.cfFormat = std::uint16_t(ownFormat());
    fe.tymed = TYMED_HGLOBAL;
    formats.push_back(fe);
  };
}

std::vector<TEventRow> eventTable() {
  std::vector<TEventRow> rows = {
      // ---- the node store, changes, toggles, focus -------------------------------
      {EVENT(OnChange), [](TTableFixture& f) { f.click(f.textPoint(f.C)); }, true},
      {EVENT(OnChecking), [](TTableFixture& f) { clickCheckBox(f, f.A0); }, true},
      {EVENT(OnChecked), [](TTableFixture& f) { clickCheckBox(f, f.A0); }, true},
      {EVENT(OnCollapsed), [](TTableFixture& f) { toggle(f, f.A1); }, true},
      {EVENT(OnCollapsing), [](TTableFixture& f) { toggle(f, f.A1); }, true},
      {EVENT(OnExpanded), [](TTableFixture& f) { toggle(f, f.B); }, true},
      {EVENT(OnExpanding), [](TTableFixture& f) { toggle(f, f.B); }, true},
      {EVENT(OnCompareNodes),
       [](TTableFixture& f) {
         if (f.alive()) f.T->SortTree(0, sdDescending);
       },
       true},
      {EVENT(OnFocusChanged), [](TTableFixture& f) { f.click(f.textPoint(f.C)); }, true},
      {EVENT_NODE_ARG(OnFocusChanging, 1), [](TTableFixture& f) { f.click(f.textPoint(f.C)); }, true},
      {EVENT(OnFreeNode),
       [](TTableFixture& f) {
         if (f.alive()) f.T->DeleteChildren(f.A);
       },
       true},
      {EVENT(OnGetCellIsEmpty),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The owner is asked about cells without text only: the last
         // column has none, and the caption spans into it.
         f.T->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex c, TDTTextType, String& text) {
           text = c == 2 ? u"" : u"cell " + UTF8ToUTF16(std::to_string(*t->GetNodeData<std::int32_t>(n)));
         };
         auto& o = f.T->TreeOptions();
         o.SetAutoOptions(o.AutoOptions() + TDTAutoOptions{toAutoSpanColumns});
         f.repaint();
       },
       true},
      {EVENT(OnGetNodeDataSize),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The owner tells the size when the tree asks; the rows' data stays
         // a number.
         f.T->OnGetNodeDataSize = [hooked = f.T->OnGetNodeDataSize](TBaseDataTree* t, int& size) {
           size = int(sizeof(std::int32_t));
           hooked(t, size);
         };
         // A size to be asked for: the tree makes its rows anew and asks
         // when it makes the first of them.
         f.T->SetNodeDataSize(-1);
         pump();
       },
       false},
      {EVENT(OnHotChange), [](TTableFixture& f) { f.mouse(imMove, f.textPoint(f.C)); }, true},
      {EVENT(OnIncrementalSearch), [](TTableFixture& f) { f.key('A', u"a"); }, true},
      {EVENT(OnInitChildren),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.T->SetHasChildren(f.C, true);
         toggle(f, f.C);
       },
       true},
      {EVENT_NODE_ARG(OnInitNode, 1),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.T->ReinitNode(f.A0, false);
         f.repaint();
       },
       true},
      {EVENT(OnMeasureItem),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.T->ReinitNode(f.A, true);
         f.repaint();
       },
       true},
      {EVENT(OnNodeCopied),
       [](TTableFixture& f) {
         if (f.alive()) f.T->CopyTo(f.A0, f.C, amAddChildLast, false);
       },
       true},
      {EVENT(OnNodeCopying),
       [](TTableFixture& f) {
         if (f.alive()) f.T->CopyTo(f.A0, f.C, amAddChildLast, false);
       },
       true},
      {EVENT(OnNodeMoved),
       [](TTableFixture& f) {
         if (f.alive()) f.T->MoveTo(f.A0, f.C, amAddChildLast, false);
       },
       true},
      {EVENT(OnNodeMoving),
       [](TTableFixture& f) {
         if (f.alive()) f.T->MoveTo(f.A0, f.C, amAddChildLast, false);
       },
       true},
      {EVENT(OnResetNode),
       [](TTableFixture& f) {
         if (f.alive()) f.T->ResetNode(f.A1);
         f.repaint();
       },
       true},
      {EVENT(OnScroll),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         for (int i = 0; i < 30 && f.alive(); ++i) f.T->AddChild(f.C);
         if (f.alive()) f.T->SetExpanded(f.C, true);
         if (f.alive()) f.T->SetOffsetY(-60);
         pump();
       },
       false},
      {EVENT(OnShowScrollbar),
       [](TTableFixture& f) {
         for (int i = 0; i < 30 && f.alive(); ++i) f.T->AddChild(f.C);
         if (f.alive()) f.T->SetExpanded(f.C, true);
         pump();
       },
       false},
      {EVENT(OnStateChange), [](TTableFixture& f) { f.click(f.textPoint(f.C)); }, false},
      {EVENT(OnStructureChange),
       [](TTableFixture& f) {
         if (f.alive()) f.T->AddChild(f.A1);
       },
       true},
      {EVENT(OnUpdating),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.T->BeginUpdate();
         if (f.alive()) f.T->EndUpdate();
       },
       false},
      {EVENT(OnSaveNode), saveAndLoad, true},
      {EVENT(OnLoadNode), saveAndLoad, true},

      // ---- input ---------------------------------------------------------------------
      {EVENT(OnDragAllowed),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The press may delete the row: the release goes to the same point.
         const TPoint p = f.textPoint(f.A0);
         f.mouse(imDown, p);
         f.mouse(imUp, p);
       },
       true},
      {EVENT(OnEditing), editAndAccept, true},
      {EVENT(OnEdited), editAndAccept, true},
      {EVENT(OnEditCancelled), editAndCancel, false},
      {EVENT(OnKeyAction), [](TTableFixture& f) { f.key(VK_DOWN); }, false},
      {EVENT(OnGetCursor),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.mouse(imMove, f.textPoint(f.A0));
         f.perform(WM_SETCURSOR, WPARAM(f.alive() ? f.handle() : nullptr), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
       },
       false},
      {EVENT(OnNodeHeightTracking),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         const TPoint p = rowEdge(f, f.A0);
         f.mouse(imDown, p, mbLeft, {ssShift});
         f.perform(WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, f.client({p.x, p.y + 5}));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, f.client({p.x, p.y + 10}));
         f.perform(WM_LBUTTONUP, 0, f.client({p.x, p.y + 10}));
       },
       true},
      {EVENT(OnNodeHeightDblClickResize),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         doubleClick(f, rowEdge(f, f.A0));
       },
       true},
      {EVENT(OnGetHelpContext), [](TTableFixture& f) {
         if (f.alive()) f.T->SetFocusedNode(f.A0);
         f.key(VK_F1);
       }, true},
      {EVENT(OnHelpRequest), [](TTableFixture& f) {
         if (!f.alive()) return;
         f.T->SetFocusedNode(f.A0);
         f.T->OnGetHelpContext = [](TBaseDataTree*, PDataNode, TColumnIndex, int& context) { context = 7; };
         f.key(VK_F1);
       }, false},
      {EVENT(OnGetPopupMenu), [](TTableFixture& f) { f.click(f.textPoint(f.A0), mbRight); }, true},
      {EVENT(OnColumnClick), [](TTableFixture& f) { f.click(f.textPoint(f.A0, 1)); }, false},
      {EVENT(OnColumnDblClick), [](TTableFixture& f) { doubleClick(f, f.textPoint(f.A0, 1)); }, false},

      // ---- the header ----------------------------------------------------------------
      {EVENT(OnHeaderClick), [](TTableFixture& f) { clickHeader(f, 150); }, false},
      {EVENT(OnHeaderImageClick), [](TTableFixture& f) { clickHeader(f, 108); }, false},
      {EVENT(OnHeaderCheckBoxClick),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.T->Header().Columns()[1]->SetCheckBox(true);
         clickHeader(f, 108);
       },
       false},
      {EVENT(OnHeaderMouseDown), [](TTableFixture& f) { clickHeader(f, 150); }, false},
      {EVENT(OnHeaderMouseUp), [](TTableFixture& f) { clickHeader(f, 150); }, false},
      {EVENT(OnHeaderMouseMove),
       [](TTableFixture& f) {
         f.perform(WM_NCMOUSEMOVE, HTBORDER, f.alive() ? f.headerScreen(150) : 0);
         f.perform(WM_MOUSEMOVE, 0, f.alive() ? f.headerClient(150) : 0);
       },
       false},
      {EVENT(OnHeaderDragging),
       [](TTableFixture& f) {
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, f.alive() ? f.headerScreen(150) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(180) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(260) : 0);
         f.perform(WM_LBUTTONUP, 0, f.alive() ? f.headerClient(260) : 0);
       },
       false},
      {EVENT(OnHeaderDragged),
       [](TTableFixture& f) {
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, f.alive() ? f.headerScreen(150) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(180) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(280) : 0);
         f.perform(WM_LBUTTONUP, 0, f.alive() ? f.headerClient(280) : 0);
       },
       false},
      {EVENT(OnHeaderDraggedOut),
       [](TTableFixture& f) {
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, f.alive() ? f.headerScreen(150) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, f.alive() ? f.headerClient(180) : 0);
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, -200));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(150, -200));
       },
       false},
      {EVENT(OnGetHeaderCursor),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.perform(WM_NCMOUSEMOVE, HTBORDER, f.headerScreen(100));
         f.perform(WM_SETCURSOR, WPARAM(f.alive() ? f.handle() : nullptr), MAKELPARAM(HTBORDER, WM_MOUSEMOVE));
       },
       false},
      {EVENT(OnBeforeHeaderHeightTracking),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, headerEdge(f));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 8));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(150, 8));
       },
       false},
      {EVENT(OnHeaderHeightTracking),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The first move starts the tracking, the next ones ask.
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, headerEdge(f));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 4));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 8));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(150, 8));
       },
       false},
      {EVENT(OnAfterHeaderHeightTracking),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.perform(WM_NCLBUTTONDOWN, HTBORDER, headerEdge(f));
         f.perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 8));
         f.perform(WM_LBUTTONUP, 0, MAKELPARAM(150, 8));
       },
       false},
      {EVENT(OnHeaderHeightDblClickResize),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.perform(WM_NCLBUTTONDBLCLK, HTBORDER, headerEdge(f));
       },
       false},
      {EVENT(OnBeforeColumnWidthTracking), dragHeaderSplitter, false},
      {EVENT(OnColumnWidthTracking), dragHeaderSplitter, false},
      {EVENT(OnAfterColumnWidthTracking), dragHeaderSplitter, false},
      {EVENT(OnColumnWidthDblClickResize),
       [](TTableFixture& f) { f.perform(WM_NCLBUTTONDBLCLK, HTBORDER, f.alive() ? f.headerScreen(100) : 0); },
       false},
      {EVENT(OnCanSplitterResizeColumn), dragHeaderSplitter, false},
      {EVENT(OnHeaderDraw),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.T->Header().SetOptions(f.T->Header().Options() + TDTHeaderOptions{hoOwnerDraw});
         f.T->Header().Columns()[1]->SetStyle(vsOwnerDraw);
         f.paintHeader();
       },
       false},
      {EVENT(OnHeaderDrawQueryElements),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // The elements are asked for only where the owner draws them.
         f.T->Header().SetOptions(f.T->Header().Options() + TDTHeaderOptions{hoOwnerDraw});
         f.T->OnAdvancedHeaderDraw = [](TDTHeader*, THeaderPaintInfo&, THeaderPaintElements) {};
         f.paintHeader();
       },
       false},
      {EVENT(OnAdvancedHeaderDraw),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         f.T->Header().SetOptions(f.T->Header().Options() + TDTHeaderOptions{hoOwnerDraw});
         f.T->OnHeaderDrawQueryElements = [](TDTHeader*, THeaderPaintInfo&, THeaderPaintElements& e) {
           e = hpeBackground | hpeDropMark | hpeHeaderGlyph | hpeSortGlyph | hpeText;
         };
         f.paintHeader();
       },
       false},

      // ---- display ---------------------------------------------------------------------
      {EVENT(OnCreateEditor), editAndAccept, true},
      {EVENT(OnGetImageIndex), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnGetImageIndexEx), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnGetImageText),
       [](TTableFixture& f) {
         if (f.alive()) f.T->DoGetImageText(f.A0, ikNormal, 0);
         pump();
       },
       true},
      {EVENT(OnBeforeItemErase), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnAfterItemErase), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnBeforeItemPaint), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnAfterItemPaint), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnBeforeCellPaint), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnAfterCellPaint), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnBeforePaint), [](TTableFixture& f) { f.repaint(); }, false},
      {EVENT(OnAfterPaint), [](TTableFixture& f) { f.repaint(); }, false},
      {EVENT(OnPaintBackground),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         TPicture picture;
         picture.Bitmap()->SetSize(8, 8);
         f.T->SetBackground(picture);
         auto& o = f.T->TreeOptions();
         o.SetPaintOptions(o.PaintOptions() + TDTPaintOptions{toShowBackground});
         f.repaint();
       },
       false},
      {EVENT(OnGetLineStyle),
       [](TTableFixture& f) {
         if (f.alive()) f.T->SetLineStyle(lsCustomStyle);
         f.repaint();
       },
       false},
      {EVENT(OnColumnResize),
       [](TTableFixture& f) {
         if (f.alive()) f.T->Header().Columns()[1]->SetWidth(60);
         pump();
       },
       false},
      {EVENT(OnGetCellContentMargin),
       [](TTableFixture& f) {
         if (f.alive()) f.T->GetDisplayRect(f.A0, 0, true, false, true);
         pump();
       },
       true},
      {EVENT(OnBeforeGetMaxColumnWidth),
       [](TTableFixture& f) {
         if (f.alive()) f.T->GetMaxColumnWidth(0);
         pump();
       },
       false},
      {EVENT(OnAfterGetMaxColumnWidth),
       [](TTableFixture& f) {
         if (f.alive()) f.T->GetMaxColumnWidth(0);
         pump();
       },
       false},
      {EVENT(OnBeforeAutoFitColumns),
       [](TTableFixture& f) {
         if (f.alive()) f.T->Header().AutoFitColumns(false);
         pump();
       },
       false},
      {EVENT(OnAfterAutoFitColumns),
       [](TTableFixture& f) {
         if (f.alive()) f.T->Header().AutoFitColumns(false);
         pump();
       },
       false},
      {EVENT(OnBeforeAutoFitColumn),
       [](TTableFixture& f) {
         if (f.alive()) f.T->Header().AutoFitColumns(false);
         pump();
       },
       false},
      {EVENT(OnAfterAutoFitColumn),
       [](TTableFixture& f) {
         if (f.alive()) f.T->Header().AutoFitColumns(false);
         pump();
       },
       false},
      {EVENT(OnHeaderSortChanged),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         auto& o = f.T->TreeOptions();
         o.SetAutoOptions(o.AutoOptions() + TDTAutoOptions{toAutoSort});
         f.T->Header().SetSortColumn(1);
         pump();
       },
       false},

      // ---- drag and drop and the clipboard ----------------------------------------------
      {EVENT(OnDragOver), dragWithin, false},
      {EVENT(OnDragDrop),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         // Only a drop the owner accepts is handed to it.
         f.T->OnDragOver = [](TBaseDataTree*, TObject*, TShiftState, TDragState, TPoint, TDTDropMode,
                              std::uint32_t&, bool& accept) { accept = true; };
         dragWithin(f);
       },
       false},
      {EVENT(OnCreateDataObject), dragWithin, false},
      {EVENT(OnCreateDragManager), dragWithin, false},
      {EVENT(OnGetUserClipboardFormats), copyAndPaste, false},
      {EVENT(OnRenderOLEData),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         offerOwnFormat(f);
         f.T->SetSelected(f.A0, true);
         f.T->CopyToClipboard();
         // Whoever reads the clipboard asks the tree for the format.
         if (f.alive()) Clipboard()->GetBuffer(ownFormat());
         pump();
       },
       false},

      // ---- the string tree ---------------------------------------------------------------
      {EVENT(OnGetText), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnNewText), editTypeAndAccept, true},
      {EVENT(OnPaintText), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnShortenString), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnDrawText), [](TTableFixture& f) { f.repaint(); }, true},
      {EVENT(OnMeasureTextWidth),
       [](TTableFixture& f) {
         // Captions of the main column are measured once and kept; the
         // other columns' cells are measured whenever asked.
         if (f.alive()) f.T->GetMaxColumnWidth(1);
         pump();
       },
       true},
      {EVENT(OnGetHint),
       [](TTableFixture& f) {
         if (!f.alive()) return;
         hintAt(f, f.textPoint(f.A0));
       },
       true},
      {EVENT(OnBeforeHeaderExport), exportAll, false},
      {EVENT(OnAfterHeaderExport), exportAll, false},
      {EVENT(OnBeforeColumnExport), exportAll, false},
      {EVENT(OnAfterColumnExport), exportAll, false},
      {EVENT(OnBeforeNodeExport), exportAll, true},
      {EVENT(OnAfterNodeExport), exportAll, true},
  };
  return rows;
}

// The events the tree and the string tree declare, from their headers.
std::set<std::string> declaredEvents() {
  std::set<std::string> names;
  const std::regex member(R"(^\s+T\w+ (On\w+);)");
  for (const char* header : {"/tree/base_tree.h", "/tree/string_tree.h"}) {
    std::ifstream in(std::string(TAMRIX_SOURCE_DIR) + header);
    EXPECT_TRUE(in.good()) << header;
    std::string line;
    std::smatch m;
    while (std::getline(in, line))
      if (std::regex_search(line, m, member)) names.insert(m[1]);
  }
  return names;
}

TEST(TreeEventTable, EveryEventOfTheTreeHasARow) {
  std::set<std::string> listed;
  for (const TEventRow& row : eventTable()) EXPECT_TRUE(listed.insert(row.Name).second) << row.Name << " twice";
  const std::set<std::string> declared = declaredEvents();
  EXPECT_GT(declared.size(), 100u);
  for (const std::string& name : declared) EXPECT_TRUE(listed.count(name)) << name << " has no row in the table";
  for (const std::string& name : listed) EXPECT_TRUE(declared.count(name)) << name << " is no event of the tree";
}

struct TTableCase {
  std::size_t Row;
  TCase Case;
};

// Events raised only while the tree has no row: no other row to delete.
const std::set<std::string> kRaisedOnAnEmptyTree = {"OnGetNodeDataSize"};

std::vector<TTableCase> tableCases() {
  std::vector<TTableCase> out;
  const std::vector<TEventRow> rows = eventTable();
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (TCase c : {cNode, cParent, cOther, cTree})
      if ((rows[i].NamesNode || (c != cNode && c != cParent)) &&
          !(c == cOther && kRaisedOnAnEmptyTree.count(rows[i].Name)))
        out.push_back({i, c});
  return out;
}

std::string caseName(const ::testing::TestParamInfo<TTableCase>& info) {
  const char* const names[] = {"DeletingItsNode", "DeletingTheParent", "DeletingAnotherRow", "DeletingTheTree"};
  return std::string(eventTable()[info.param.Row].Name) + "_" + names[info.param.Case];
}

class TreeEventTable : public ::testing::TestWithParam<TTableCase> {};

// Each row in each case on a tree of its own.
TEST_P(TreeEventTable, AHandlerDeletingWhatItCanLeavesTheTreeSound) {
  const TEventRow row = eventTable()[GetParam().Row];
  const TCase which = GetParam().Case;
  SCOPED_TRACE(std::string(row.Name) + " deleting " + kCaseNames[which]);
  TTableFixture f;
  row.Hook(*f.T);
  TRun run;
  TArmedRun armed(run, which, f.T);
  // A deletion while a walk or a paint holds the nodes is refused with an
  // error before it touches anything: the tree must still be sound.
  bool refused = false;
  try {
    row.Raise(f);
  } catch (const std::exception&) {
    refused = true;
  }
  run.Armed = false;
  pump();
  if (refused) {
    ASSERT_NE(which, cTree) << "the tree's deletion cannot be refused";
  }
  EXPECT_GT(run.Calls, 0) << "the operation did not raise the event";
  EXPECT_TRUE(run.Fired) << "the handler found nothing to delete";
  if (which == cTree) {
    EXPECT_FALSE(f.alive()) << "the tree was not deleted";
    return;
  }
  ASSERT_TRUE(f.alive());
  EXPECT_EQ(f.T->PendingDeletionCount(), 0u);
  checkInvariants(*f.T);
  // The tree goes on working: every row can be painted and walked.
  f.repaint();
  std::uint32_t rows = 0;
  for (PDataNode n = f.T->GetFirstVisible(); n; n = f.T->GetNextVisible(n)) ++rows;
  EXPECT_EQ(rows, f.T->VisibleCount());
}

INSTANTIATE_TEST_SUITE_P(Events, TreeEventTable, ::testing::ValuesIn(tableCases()), caseName);

}  // namespace
