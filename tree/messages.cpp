// The tree's window procedure and message table: what each window message
// does to the tree's pending gestures, timers and states, and the tree-view
// query messages of accessibility tools.
#include <cstring>

#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"
#include "tree/globals.h"

namespace {

bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

constexpr THeaderStates kHeaderTracking{hsColumnWidthTracking, hsHeightTracking, hsDragging};

}  // namespace

void TBaseDataTree::WndProc(TMessage& Message) {
  GuardedEntry<false>([&] {
    // While the header tracks or drags, it sees every message first.
    if (!(Header().States() * kHeaderTracking).Empty() && Header().HandleMessage(Message)) return;
    if (Header().HandleMessage(Message)) return;
    switch (Message.Msg) {
      case WM_NCLBUTTONDOWN:
      case WM_NCRBUTTONDOWN:
      case WM_NCMBUTTONDOWN:
        if (!Focused() && CanFocus()) SetFocus();
        break;
      default:
        break;
    }
    ThroughToolkit([&] { TCustomControl::WndProc(Message); });
  });
}

void TBaseDataTree::printClient(HDC DC, TPoint Target) {
  TCanvas canvas;
  canvas.SetHandle(DC);
  TRect window = ClientRect();
  OffsetRect(window, EffectiveOffsetX(), -FOffsetY);
  RenderTree(&canvas, window, Target, {ptoBackground, ptoFocusRect, ptoSelection, ptoDropMark, ptoGridLines});
  canvas.SetHandle(nullptr);
}

void TBaseDataTree::CancelPendingInput(bool FocusLost) {
  for (int id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, SearchTimer}) StopTimer(id);
  FSearchBuffer.clear();
  FPendingHighSurrogate = 0;
  FLastSearchNode = nullptr;
  // A check press and a rubber band need the button or key that was
  // pressed; once the focus or the capture is gone that release never comes.
  if (FStates.Contains(tsKeyCheckPending) || FStates.Contains(tsMouseCheckPending)) CancelCheckPress();
  if (FStates.Contains(tsDrawSelPending) || FStates.Contains(tsDrawSelecting)) EndDrawSelection();
  TDataTreeStates leave{tsClearPending, tsEditPending, tsIncrementalSearching,
                        tsIncrementalSearchPending, tsOLEDragPending, tsVCLDragPending,
                        tsToggleFocusedSelection};
  if (FocusLost)
    leave = leave + TDataTreeStates{tsNodeHeightTracking, tsNodeHeightTrackPending, tsLeftButtonDown,
                                    tsMiddleButtonDown, tsRightButtonDown, tsScrolling, tsScrollPending};
  DoStateChange({}, leave);
}

bool TBaseDataTree::DispatchInput(TMessage& Message) {
  switch (Message.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      HandleKeyDown(Message);
      return true;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      HandleKeyUp(Message);
      return true;
    case WM_CHAR:
      if (FStates.Contains(tsIncrementalSearchPending)) {
        const char16_t unit = char16_t(Message.WParam);
        const std::weak_ptr<const bool> life = FLifeToken;
        HandleIncrementalSearch(WORD(unit));
        // A handler of the search may have destroyed the tree.
        if (life.expired()) return true;
        // The second half of a character outside the BMP follows at once.
        if (!isHighSurrogate(unit)) DoStateChange({}, {tsIncrementalSearchPending});
      }
      return false;
    case WM_GETDLGCODE:
      Message.Result = LRESULT(DLGC_WANTARROWS | DLGC_WANTCHARS) | (FWantTabs ? LRESULT(DLGC_WANTTAB) : 0);
      return true;
    case WM_ERASEBKGND:
      Message.Result = 1;
      return true;
    case WM_ENABLE:
      // A disabled tree looks different: frame and rows are redrawn.
      inheritedDispatch(Message);
      if (HandleAllocated())
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_FRAME);
      return true;
    case WM_THEMECHANGED:
      inheritedDispatch(Message);
      // The desktop's style is always there to draw with.
      if (FOptions->PaintOptions().Contains(toThemeAware))
        DoStateChange({tsUseThemes});
      else
        DoStateChange({}, {tsUseThemes});
      if (HandleAllocated()) RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_VALIDATE | RDW_FRAME);
      return true;
    case WM_PRINT: {
      if (!HandleAllocated() || !Message.WParam) return true;
      const unsigned flags = unsigned(Message.LParam);
      if ((flags & PRF_CHECKVISIBLE) && !IsWindowVisible(Handle())) return true;
      HDC dc = reinterpret_cast<HDC>(Message.WParam);
      if (FHeader->Options().Contains(hoVisible)) {
        UpdateHeaderRect();
        paintHeaderInto(dc);
      }
      // The client area as a window's default printing draws it: where it
      // sits in the window.
      if (flags & PRF_CLIENT) {
        TRect window;
        GetWindowRect(Handle(), &window);
        const TPoint client = ClientToScreen({0, 0});
        printClient(dc, {client.x - window.Left, client.y - window.Top});
      }
      return true;
    }
    case WM_PRINTCLIENT: {
      if (!HandleAllocated() || !Message.WParam) return true;
      if ((unsigned(Message.LParam) & PRF_CHECKVISIBLE) && !IsWindowVisible(Handle())) return true;
      printClient(reinterpret_cast<HDC>(Message.WParam), {0, 0});
      return true;
    }
    case WM_NCDESTROY:
      // The window goes (the tree may get a new one): nothing may report to
      // it or live on from it.
      InterruptValidation();
      StopTimer(ChangeTimer);
      StopTimer(StructureChangeTimer);
      StopWheelPanning();
      if (FDottedBrush) DeleteObject(FDottedBrush);
      FDottedBrush = nullptr;
      return false;
    case WM_CANCELMODE:
      CancelPendingInput(false);
      return false;
    case WM_CAPTURECHANGED:
      // Another window took the mouse (a menu, a modal window): what was
      // held down will not be released here.
      if (!FReleasingCapture && HandleAllocated() && HWND(Message.LParam) != Handle()) {
        if (FStates.Contains(tsMouseCheckPending)) CancelCheckPress();
        if (FStates.Contains(tsDrawSelPending) || FStates.Contains(tsDrawSelecting)) EndDrawSelection();
        DoStateChange({}, {tsClearPending, tsToggleFocusedSelection, tsEditPending, tsScrolling,
                           tsScrollPending, tsNodeHeightTracking, tsNodeHeightTrackPending});
        StopTimer(ScrollTimer);
      }
      return false;
    case WM_KILLFOCUS: {
      // The owner's OnExit may free the tree.
      const std::weak_ptr<const bool> life = FLifeToken;
      inheritedDispatch(Message);
      if (life.expired()) return true;
      if (Application) Application->CancelHint();
      StopWheelPanning();
      CancelPendingInput(true);
      if (FSelectionCount == 0 && FOptions->PaintOptions().Contains(toGhostedIfUnfocused))
        InvalidateNode(FFocusedNode);
      else
        InvalidateWindow();
      return true;
    }
    case WM_SETFOCUS: {
      // The owner's OnEnter may free the tree.
      const std::weak_ptr<const bool> life = FLifeToken;
      inheritedDispatch(Message);
      if (life.expired()) return true;
      if (!(FSelectionCount == 0 && FOptions->PaintOptions().Contains(toGhostedIfUnfocused)))
        InvalidateWindow();
      return true;
    }
    case WM_CONTEXTMENU:
      DoStateChange({}, {tsClearPending, tsEditPending, tsOLEDragPending, tsVCLDragPending});
      if (FStates.Contains(tsPopupMenuShown)) return true;
      return false;
    case WM_TIMER:
      return HandleTreeTimer(int(Message.WParam));
    case WM_SETCURSOR:
      if (HandleSetCursor(Message)) return true;
      return false;
    case CM_MOUSELEAVE:
      HandleMouseLeave();
      return false;
    case CM_MOUSEWHEEL:
      HandleMouseWheel(Message);
      return true;
    case WM_VSCROLL:
    case WM_HSCROLL:
      HandleScrollMessage(Message);
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
      HandleButtonMessage(Message);
      return true;
    case TVM_GETITEMW:
      Message.Result = GetTreeViewItem(reinterpret_cast<TTVItemW*>(Message.LParam)) ? 1 : 0;
      return true;
    case TVM_GETITEMRECT:
      Message.Result = GetTreeViewItemRect(Message.WParam != 0, reinterpret_cast<void*>(Message.LParam)) ? 1 : 0;
      return true;
    case TVM_GETNEXTITEM:
      Message.Result = LRESULT(GetTreeViewNextItem(UINT(Message.WParam), reinterpret_cast<PDataNode>(Message.LParam)));
      return true;
    default:
      return false;
  }
}

bool TBaseDataTree::HandleTreeTimer(int TimerID) {
  switch (TimerID) {
    case ExpandTimer:
      StopTimer(ExpandTimer);
      return true;
    case EditTimer:
      StopTimer(EditTimer);
      DoStateChange({}, {tsEditPending});
      DoEdit();
      return true;
    case ScrollTimer:
      if (FStates.Contains(tsScrollPending)) {
        // The delay is over: scroll at the working pace from now on.
        DoStateChange({tsScrolling}, {tsScrollPending});
        StartTreeTimer(ScrollTimer, FAutoScrollInterval);
      }
      DoTimerScroll();
      return true;
    case SearchTimer:
      StopIncrementalSearch();
      return true;
    default:
      return false;
  }
}

bool TBaseDataTree::HandleSetCursor(TMessage& Message) {
  if (!HandleAllocated() || HWND(Message.WParam) != Handle() ||
      FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling))
    return false;
  if (LOWORD(std::uintptr_t(Message.LParam)) != HTCLIENT) return false;
  if (Screen && Screen->Cursor() != crDefault) return false;
  TPoint p;
  GetCursorPos(&p);
  p = ScreenToClient(p);
  TCursor cursor = Cursor();
  bool sizing = false;
  if (FOptions->MiscOptions().Contains(toNodeHeightResize)) {
    THitInfo hit;
    GetHitTestInfoAt(p.x, p.y, true, hit);
    if (hit.HitNode && hit.HitColumn >= 0 && Header().Columns().IsValidColumn(hit.HitColumn) &&
        Header().Columns()[hit.HitColumn]->Options().Contains(coFixed) &&
        (hit.HitPositions.Contains(hiUpperSplitter) || hit.HitPositions.Contains(hiLowerSplitter))) {
      PDataNode node = hit.HitPositions.Contains(hiUpperSplitter) ? GetPreviousVisible(hit.HitNode)
                                                                  : hit.HitNode;
      if (node) {
        cursor = crVertSplit;
        sizing = true;
      }
    }
  }
  if (!sizing && FOptions->PaintOptions().Contains(toHotTrack) && FCurrentHotNode && FHotCursor != crDefault)
    cursor = FHotCursor;
  DoGetCursor(cursor);
  HCURSOR shape = cursor > 0 && Screen ? Screen->Cursors(cursor) : LoadStandardCursor(cursor == crDefault ? crArrow : cursor);
  ::SetCursor(shape);
  Message.Result = 1;
  return true;
}

void TBaseDataTree::DoGetCursor(TCursor& Cursor) {
  RaiseEvent(OnGetCursor, this, Cursor);
}

void TBaseDataTree::HandleMouseLeave() {
  DoStateChange({}, {tsHint});
  if (!FStates.Contains(tsWheelPanning) && !FStates.Contains(tsWheelScrolling)) {
    StopTimer(ScrollTimer);
    DoStateChange({}, {tsScrolling, tsScrollPending});
  }
  if (PDataNode hot = FCurrentHotNode) {
    DoHotChange(hot, nullptr);
    if (FCurrentHotNode == hot) {
      const bool repaint = FOptions->PaintOptions().Contains(toHotTrack) ||
                           FOptions->MiscOptions().Contains(toCheckSupport);
      FCurrentHotNode = nullptr;
      if (repaint) InvalidateNode(hot);
    }
  }
  Header().Columns().HoverIndex = NoColumn;
  Header().Columns().DownIndex = NoColumn;
}

// ---- tree-view query messages ------------------------------------------------

bool TBaseDataTree::OwnsNode(PDataNode Node) const {
  return Node && Node != FRoot && TreeFromNode(Node) == this;
}

PDataNode TBaseDataTree::GetTreeViewNextItem(UINT Code, PDataNode Node) {
  const bool needsNode = (Code >= TVGN_NEXT && Code <= TVGN_CHILD) || Code == TVGN_NEXTVISIBLE ||
                         Code == TVGN_PREVIOUSVISIBLE;
  if (needsNode && !OwnsNode(Node)) return nullptr;
  switch (Code) {
    case TVGN_ROOT: return GetFirst();
    case TVGN_NEXT: return GetNextSibling(Node);
    case TVGN_PREVIOUS: return GetPreviousSibling(Node);
    case TVGN_PARENT: return Node->Parent == FRoot ? nullptr : Node->Parent;
    case TVGN_CHILD: return GetFirstChild(Node);
    case TVGN_FIRSTVISIBLE: return GetFirstVisible();
    case TVGN_NEXTVISIBLE: return GetNextVisible(Node);
    case TVGN_PREVIOUSVISIBLE: return GetPreviousVisible(Node);
    case TVGN_DROPHILITE: return FDropTargetNode;
    case TVGN_CARET: return FFocusedNode;
    case TVGN_LASTVISIBLE: return GetLastVisible();
    default: return nullptr;
  }
}

bool TBaseDataTree::GetTreeViewItemRect(bool TextOnly, void* Buffer) {
  if (!Buffer) return false;
  PDataNode node;
  std::memcpy(&node, Buffer, sizeof node);
  if (!OwnsNode(node)) return false;
  initialized(node);
  if (!FullyVisible(node)) return false;
  const TRect r = GetDisplayRect(node, Header().MainColumn(), TextOnly);
  static_assert(sizeof(TRect) >= sizeof(PDataNode), "the rectangle replaces the node pointer");
  std::memcpy(Buffer, &r, sizeof r);
  return true;
}

bool TBaseDataTree::GetTreeViewItem(TTVItemW* Item) {
  if (!Item || !(Item->mask & TVIF_HANDLE) || !OwnsNode(Item->hItem)) return false;
  PDataNode node = Item->hItem;
  initialized(node);
  if (Item->mask & TVIF_CHILDREN) Item->cChildren = int(ChildCount(node));
  if (Item->mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) {
    bool ghosted = false;
    TImageList* list = nullptr;
    if (Item->mask & TVIF_IMAGE) Item->iImage = GetImageIndex(node, ikNormal, NoColumn, ghosted, list);
    if (Item->mask & TVIF_SELECTEDIMAGE)
      Item->iSelectedImage = GetImageIndex(node, ikSelected, NoColumn, ghosted, list);
  }
  if (Item->mask & TVIF_STATE) {
    Item->stateMask = 0xFF2F;
    UINT state = 0;
    if (node == FFocusedNode) state |= TVIS_FOCUSED;
    if (node->States.Contains(vsSelected)) state |= TVIS_SELECTED;
    if (node->States.Contains(vsCutOrCopy)) state |= TVIS_CUT;
    if (node == FDropTargetNode) state |= TVIS_DROPHILITED;
    if (node->States.Contains(vsExpanded)) state |= TVIS_EXPANDED;
    Item->state = state;
  }
  if ((Item->mask & TVIF_TEXT) && Item->pszText && Item->cchTextMax >= 1) {
    TRect r;
    String text;
    GetTextInfo(node, Header().MainColumn(), Font(), r, text);
    std::size_t n = std::min(text.size(), std::size_t(Item->cchTextMax - 1));
    // Never end the copy between the two halves of a character.
    if (n > 0 && n < text.size() && isHighSurrogate(text[n - 1]) && isLowSurrogate(text[n])) --n;
    std::copy_n(text.data(), n, Item->pszText);
    Item->pszText[n] = 0;
  }
  return true;
}
