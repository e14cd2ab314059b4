// Offsets, scroll ranges and the scroll bars of the frame, the rows at the
// top and bottom of the window, and the window's frame and header area.
#include <algorithm>
#include <climits>

#include "platform/gui/windows.h"
#include "tree/base_tree.h"

namespace {
int clampToInt(std::int64_t v) { return int(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX)); }
}  // namespace

std::int64_t TBaseDataTree::verticalRange() const {
  return std::int64_t(FRoot->TotalHeight) - FRoot->NodeHeight + FBottomSpace;
}

void TBaseDataTree::UpdateRanges() {
  if (FRoot->TotalHeight < FDefaultNodeHeight) FRoot->TotalHeight = FDefaultNodeHeight;
  // Kept in 64 bits and clamped, so a tree taller than an int can hold
  // scrolls to its end instead of wrapping.
  const std::int64_t before = FRangeY64;
  FRangeY64 = verticalRange();
  FRangeY = clampToInt(FRangeY64);
  // Without columns the horizontal range is the widest row painted, and
  // rows are measured only as they are painted. When rows went away, the
  // widest may have gone with them: the next full paint measures again.
  if (FRangeY64 < before && !FHeader->UseColumns() && FMaxRightExtend > 0) {
    FMaxRightExtend = 0;
    FRangeXRemeasure = true;
    if (TreeHandleAllocated() && !FStates.Contains(tsPainting)) InvalidateWindow();
  }
}

void TBaseDataTree::UpdateScrollBars(bool DoRepaint) {
  UpdateRanges();
  if (!TreeHandleAllocated()) return;
  UpdateVerticalScrollBar(DoRepaint);
  UpdateHorizontalScrollBar(DoRepaint);
}

// Showing or hiding a bar, or setting one so that it shows or hides, resizes
// the window's client area at once: the tree hears WM_SIZE before the call
// returns, and its handlers may destroy the tree there.
void TBaseDataTree::DoShowScrollBar(int Bar, bool Show) {
  if (TreeHandleAllocated()) ThroughToolkit([&] { ShowScrollBar(Handle(), Bar, Show); });
  RaiseEvent(OnShowScrollbar, this, Bar, Show);
}

void TBaseDataTree::UpdateVerticalScrollBar(bool DoRepaint) {
  // The scroll bar handlers may destroy the tree: a call of the program
  // is an entry.
  GuardedEntry([&] {
    UpdateRanges();
    if (FStates.Contains(tsUpdating) || !TreeHandleAllocated()) return;
    TScrollStyle bars = FScrollBarOptions->ScrollBars();
    if (bars != ssVertical && bars != ssBoth) {
      DoShowScrollBar(SB_VERT, false);
      return;
    }
    const int clientHeight = ClientHeight();
    TScrollInfo info;
    if (clientHeight < FRangeY || FScrollBarOptions->AlwaysVisible()) {
      info.fMask = SIF_ALL;
      if (FScrollBarOptions->AlwaysVisible()) {
        info.fMask |= SIF_DISABLENOSCROLL;
        DoShowScrollBar(SB_VERT, true);
      }
      info.nMin = 0;
      info.nMax = FRangeY;
      info.nPos = -FOffsetY;
      info.nPage = UINT(std::max(0, clientHeight + 1));
      ThroughToolkit([&] { SetScrollInfo(Handle(), SB_VERT, &info, DoRepaint); });
      if (!FScrollBarOptions->AlwaysVisible()) DoShowScrollBar(SB_VERT, true);
    } else {
      info.fMask = SIF_ALL;
      ThroughToolkit([&] { SetScrollInfo(Handle(), SB_VERT, &info, false); });
      DoShowScrollBar(SB_VERT, false);
    }
    TScrollInfo now;
    now.fMask = SIF_POS;
    GetScrollInfo(Handle(), SB_VERT, &now);
    if (FOffsetY != -now.nPos) {
      FOffsetY = -now.nPos;
      InvalidateWindow();
    }
  });
}

void TBaseDataTree::UpdateHorizontalScrollBar(bool DoRepaint) {
  // The scroll bar handlers may destroy the tree: a call of the program
  // is an entry.
  GuardedEntry([&] {
    if (FHeader->UseColumns())
      FRangeX = FHeader->Columns().GetTotalWidth();
    else
      FRangeX = FRangeXRemeasure ? std::max(FRangeX, FMaxRightExtend) : FMaxRightExtend;
    if (FStates.Contains(tsUpdating) || !TreeHandleAllocated()) return;
    TScrollStyle bars = FScrollBarOptions->ScrollBars();
    if (bars != ssHorizontal && bars != ssBoth) {
      DoShowScrollBar(SB_HORZ, false);
      return;
    }
    const int clientWidth = ClientWidth();
    const bool rtl = UseRightToLeftAlignment();
    TScrollInfo info;
    info.fMask = SIF_ALL;
    if (clientWidth < FRangeX || FScrollBarOptions->AlwaysVisible()) {
      if (FScrollBarOptions->AlwaysVisible()) {
        info.fMask |= SIF_DISABLENOSCROLL;
        DoShowScrollBar(SB_HORZ, true);
      }
      info.nMin = 0;
      info.nMax = FRangeX;
      info.nPos = rtl ? FRangeX - clientWidth + FOffsetX : -FOffsetX;
      info.nPage = UINT(std::max(0, clientWidth + 1));
      ThroughToolkit([&] { SetScrollInfo(Handle(), SB_HORZ, &info, DoRepaint); });
      if (!FScrollBarOptions->AlwaysVisible()) DoShowScrollBar(SB_HORZ, true);
    } else {
      ThroughToolkit([&] { SetScrollInfo(Handle(), SB_HORZ, &info, false); });
      DoShowScrollBar(SB_HORZ, false);
    }
    TScrollInfo now;
    now.fMask = SIF_POS;
    GetScrollInfo(Handle(), SB_HORZ, &now);
    int offset = rtl ? ClientWidth() - FRangeX + now.nPos : -now.nPos;
    if (FOffsetX != offset) {
      FOffsetX = offset;
      InvalidateWindow();
    }
  });
}

// ---- offsets ------------------------------------------------------------------------------

bool TBaseDataTree::DoSetOffsetXY(TPoint Value, TScrollUpdateOptions Options, const TRect* ClipRect) {
  return GuardedEntry(false, [&]() -> bool {
  const int clientWidth = ClientWidth();
  const int clientHeight = ClientHeight();
  // The upper bound 0 wins: content shorter than the window stays at the top.
  std::int64_t x = std::min<std::int64_t>(std::max<std::int64_t>(Value.x, std::int64_t(clientWidth) - FRangeX), 0);
  // Window coordinates of the painted rows must stay ints: the deepest
  // offset leaves room for the window and one more row below it.
  const std::int64_t deepest = -(std::int64_t(INT_MAX) - clientHeight - 0x10000);
  std::int64_t y = std::min<std::int64_t>(
      std::max<std::int64_t>({std::int64_t(Value.y), std::int64_t(clientHeight) - FRangeY64, deepest}), 0);
  int newX = clampToInt(x), newY = clampToInt(y);
  int deltaX = newX - FOffsetX;
  if (UseRightToLeftAlignment()) deltaX = -deltaX;
  int deltaY = newY - FOffsetY;
  if (deltaX == 0 && deltaY == 0) return false;
  FOffsetX = newX;
  FOffsetY = newY;
  if (FUpdateCount == 0 && TreeHandleAllocated()) {
    if (Options.Contains(suoScrollClientArea) && !FStates.Contains(tsToggling)) {
      bool pictureBackground = FOptions->PaintOptions().Contains(toShowBackground) &&
                               FBackground->Graphic() && !FBackground->Graphic()->Empty();
      if (pictureBackground) {
        InvalidateWindow();
      } else {
        int fixed = FHeader->UseColumns() ? FHeader->Columns().GetVisibleFixedWidth() : 0;
        if (deltaX != 0 && fixed > 0) {
          // The fixed columns stay where they are.
          TRect r = ClientRect();
          r.Left = fixed;
          ScrollWindowEx(Handle(), deltaX, 0, &r, &r, nullptr, nullptr, SW_INVALIDATE);
          ScrollWindowEx(Handle(), 0, deltaY, nullptr, ClipRect, nullptr, nullptr, SW_INVALIDATE);
        } else {
          ScrollWindowEx(Handle(), deltaX, deltaY, nullptr, ClipRect, nullptr, nullptr, SW_INVALIDATE);
        }
      }
    }
    if (Options.Contains(suoUpdateNCArea)) {
      if (deltaX != 0) {
        if (Options.Contains(suoRepaintHeader) && FHeader->Options().Contains(hoVisible))
          FHeader->Invalidate(NoColumn);
        if (!FStates.Contains(tsSizing)) UpdateHorizontalScrollBar(Options.Contains(suoRepaintScrollBars));
      }
      if (deltaY != 0 && !FStates.Contains(tsSizing) && !FStates.Contains(tsThumbTracking)) {
        UpdateVerticalScrollBar(Options.Contains(suoRepaintScrollBars));
        if (!FHeader->UseColumns() && !FStates.Contains(tsDrawSelecting))
          UpdateHorizontalScrollBar(Options.Contains(suoRepaintScrollBars));
      }
    }
  }
  // An open editor stays on its cell.
  if (FStates.Contains(tsEditing)) UpdateEditBounds();
  // The row under a resting mouse changed with the content.
  if (TreeHandleAllocated()) {
    TPoint p;
    GetCursorPos(&p);
    p = ScreenToClient(p);
    if (p.x >= 0 && p.y >= 0 && p.x < clientWidth && p.y < clientHeight) HandleHotTrack(p.x, p.y);
  }
  DoScroll(deltaX, deltaY);
  return true;
  });
}

void TBaseDataTree::SetOffsetX(int Value) { DoSetOffsetXY({Value, FOffsetY}, DefaultScrollUpdateFlags); }
void TBaseDataTree::SetOffsetY(int Value) { DoSetOffsetXY({FOffsetX, Value}, DefaultScrollUpdateFlags); }
void TBaseDataTree::SetOffsetXY(TPoint Value) { DoSetOffsetXY(Value, DefaultScrollUpdateFlags); }

// ---- rows at the window's edges -------------------------------------------------------------

PDataNode TBaseDataTree::TopNode() {
  int top = 0;
  return GetNodeAt(0, 0, true, top);
}

PDataNode TBaseDataTree::BottomNode() {
  int top = 0;
  return GetNodeAt(0, ClientHeight() - 1, true, top);
}

namespace {
void expandAncestors(TBaseDataTree& t, PDataNode Node) {
  std::vector<PDataNode> chain;
  for (PDataNode p = Node->Parent; p && p != t.RootNode(); p = p->Parent) chain.push_back(p);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    if (!(*it)->States.Contains(vsExpanded)) t.ToggleNode(*it);
}
}  // namespace

void TBaseDataTree::SetTopNode(PDataNode Node) {
  NodeEntry(Node, [&] {
  if (!Node || Node == FRoot) return;
  expandAncestors(*this, Node);
  TRect r = GetDisplayRect(Node, NoColumn, true);
  SetOffsetY(FOffsetY - r.Top);
  });
}

void TBaseDataTree::SetBottomNode(PDataNode Node) {
  NodeEntry(Node, [&] {
  if (!Node || Node == FRoot) return;
  expandAncestors(*this, Node);
  TRect r = GetDisplayRect(Node, NoColumn, true);
  SetOffsetY(FOffsetY - r.Bottom + ClientHeight());
  });
}

bool TBaseDataTree::ScrollIntoView(PDataNode Node, bool Center, bool Horizontally) {
  return NodeEntry(Node, false, [&]() -> bool {
  if (!Node || Node == FRoot) return false;
  expandAncestors(*this, Node);
  const bool useColumns = FHeader->UseColumns();
  TColumnIndex column =
      useColumns && FHeader->Columns().IsValidColumn(FFocusedColumn) ? FFocusedColumn : NoColumn;
  TRect r = GetDisplayRect(Node, column, !FOptions->MiscOptions().Contains(toGridExtensions));
  if (r.IsEmpty() && r.Top == 0 && r.Bottom == 0) return false;
  const int clientHeight = ClientHeight();
  const int clientWidth = ClientWidth();
  bool scrolled = false;
  if (r.Top < 0) {
    int target = Center ? clientHeight / 2 : 0;
    scrolled = DoSetOffsetXY({FOffsetX, FOffsetY - r.Top + target}, DefaultScrollUpdateFlags) || scrolled;
  } else if (r.Bottom > clientHeight || Center) {
    int target = Center ? clientHeight / 2 : clientHeight;
    int extra = 0;
    if (!useColumns && FRangeX > clientWidth && TreeHandleAllocated()) {
      TScrollInfo i;
      i.fMask = SIF_PAGE;
      // The bar that is about to appear takes room at the bottom.
      if (!GetScrollInfo(Handle(), SB_HORZ, &i) || i.nPage == 0) extra = GetSystemMetrics(SM_CYHSCROLL);
    }
    scrolled = DoSetOffsetXY({FOffsetX, FOffsetY + target - r.Bottom - extra}, DefaultScrollUpdateFlags) ||
               scrolled;
  }
  if (Horizontally) scrolled = ScrollIntoView(column, Center) || scrolled;
  return scrolled;
  });
}

bool TBaseDataTree::ScrollIntoView(TColumnIndex Column, bool Center) {
  return GuardedEntry(false, [&]() -> bool {
  if (!FHeader->Columns().IsValidColumn(Column)) return false;
  int l, r;
  FHeader->Columns().GetColumnBounds(Column, l, r);
  const int clientWidth = ClientWidth();
  int fixed = FHeader->Columns().GetVisibleFixedWidth();
  if (FHeader->Columns()[Column]->Options().Contains(coFixed)) return false;
  int newX = FOffsetX;
  if (Center) {
    newX = FOffsetX - ((l + r) / 2 - (fixed + clientWidth) / 2);
  } else if (l < fixed) {
    newX = FOffsetX + (fixed - l);
  } else if (r > clientWidth) {
    newX = FOffsetX - std::min(r - clientWidth, l - fixed);
  }
  return DoSetOffsetXY({newX, FOffsetY}, DefaultScrollUpdateFlags);
  });
}

// ---- window -------------------------------------------------------------------------------------

TSize TBaseDataTree::GetBorderDimensions() {
  TSize result{0, 0};
  if (!TreeHandleAllocated()) return result;
  DWORD style = GetWindowStyle(Handle());
  DWORD exStyle = GetWindowExStyle(Handle());
  if (style & WS_BORDER) {
    result.cx -= 1;
    result.cy -= 1;
  }
  if (style & WS_THICKFRAME) {
    result.cx -= GetSystemMetrics(SM_CXDLGFRAME);
    result.cy -= GetSystemMetrics(SM_CYDLGFRAME);
  }
  if (exStyle & WS_EX_CLIENTEDGE) {
    result.cx -= GetSystemMetrics(SM_CXEDGE);
    result.cy -= GetSystemMetrics(SM_CYEDGE);
  }
  return result;
}

void TBaseDataTree::UpdateHeaderRect() {
  TSize border = GetBorderDimensions();
  TRect r{0, 0, Width(), Height()};
  r.Left -= border.cx;
  r.Top -= border.cy;
  r.Right += border.cx;
  r.Left += BorderWidth();
  r.Top += BorderWidth();
  r.Right -= BorderWidth();
  r.Bottom = r.Top + (FHeader->Options().Contains(hoVisible) ? FHeader->Height() : 0);
  FHeaderRect = r;
}

void TBaseDataTree::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.Style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  switch (FScrollBarOptions->ScrollBars()) {
    case ssHorizontal: Params.Style |= WS_HSCROLL; break;
    case ssVertical: Params.Style |= WS_VSCROLL; break;
    case ssBoth: Params.Style |= WS_HSCROLL | WS_VSCROLL; break;
    default: break;
  }
  if (FOptions->MiscOptions().Contains(toFullRepaintOnResize))
    Params.WindowClassStyle |= CS_HREDRAW | CS_VREDRAW;
  else
    Params.WindowClassStyle &= ~UINT(CS_HREDRAW | CS_VREDRAW);
}

void TBaseDataTree::CreateWnd() {
  // The platform makes the window for a program's call (the tree put on a
  // shown form, its form shown): a handler of any step may destroy the
  // tree, which ends the making here, and the platform looks at the
  // control's life afterwards. The unwinding never crosses into it.
  ToolkitEntry([&] {
    const std::weak_ptr<const bool> life = FLifeToken;
    DoStateChange({tsWindowCreating});
    TCustomControl::CreateWnd();
    if (life.expired()) return;
    DoStateChange({}, {tsWindowCreating});
    if (FOptions->PaintOptions().Contains(toThemeAware))
      DoStateChange({tsUseThemes});
    else
      DoStateChange({}, {tsUseThemes});
    if (FHeader->States().Contains(hsNeedRecalculation)) FHeader->RecalculateHeader();
    if (life.expired()) return;
    if (FHeader->Options().Contains(hoAutoResize)) FHeader->Columns().AdjustAutoSize(InvalidColumn, true);
    if (life.expired()) return;
    PrepareBitmaps(true, true);
    if (life.expired()) return;
    UpdateDropTarget();
    if (life.expired()) return;
    UpdateScrollBars(true);
    if (life.expired()) return;
    UpdateHeaderRect();
    // A fill queued before the window existed has nowhere to report to:
    // queue it again now that it has.
    if (FUpdateCount == 0 && !FStates.Contains(tsUseCache)) {
      ExpireCache();
      InvalidateCache();
    }
  });
}

void TBaseDataTree::Resize() {
  // OnResize and the columns' resizes below may destroy the tree.
  const std::weak_ptr<const bool> life = FLifeToken;
  RaiseEvent(OnResize, this);
  if (life.expired() || !TreeHandleAllocated()) return;
  if (FHeader->Options().Contains(hoAutoResize)) FHeader->Columns().AdjustAutoSize(InvalidColumn);
  if (life.expired()) return;
  if (FHeader->Options().Contains(hoAutoSpring)) FHeader->ResizeSpringColumns();
  if (life.expired()) return;
  UpdateHeaderRect();
  DoStateChange({tsSizing});
  UpdateScrollBars(true);
  DoStateChange({}, {tsSizing});
  // Growing the window may leave the offsets past the content's end.
  DoSetOffsetXY({FOffsetX, FOffsetY}, DefaultScrollUpdateFlags);
  UpdateEditBounds();
}

// The two below are reached from the program's calls of the header and its
// columns, which enter the tree here.
void TBaseDataTree::ColumnsChanged() {
  if (FUpdateCount != 0 || !TreeHandleAllocated()) return;
  GuardedEntry([&] {
    UpdateHorizontalScrollBar(false);
    InvalidateWindow();
  });
}

void TBaseDataTree::HeaderChanged(bool) {}

void TBaseDataTree::DoColumnResize(TColumnIndex Column) {
  GuardedEntry([&] {
    if (FUpdateCount == 0 && TreeHandleAllocated()) {
      UpdateHorizontalScrollBar(false);
      InvalidateWindow();
    }
    UpdateEditBounds();
    RaiseEvent(OnColumnResize, FHeader.get(), Column);
  });
}

