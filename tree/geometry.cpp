// Where things are: the rectangle of a node or its text, the node, column
// and row part under a point, column widths from content, and repainting
// of single rows, ranges and columns.
#include <algorithm>
#include <climits>

#include "platform/graphics/canvas.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"

// ---- small helpers ---------------------------------------------------------------------

int TBaseDataTree::EffectiveOffsetX() const {
  if (const_cast<TBaseDataTree*>(this)->UseRightToLeftAlignment())
    return FRangeX - const_cast<TBaseDataTree*>(this)->ClientWidth() + FOffsetX;
  return -FOffsetX;
}

PDataNode TBaseDataTree::GetVisibleParent(PDataNode Node) {
  TAMRIX_ASSERT(Node, "Node must not be nil.");
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  PDataNode result = Node->Parent;
  while (result != FRoot && !FullyVisible(result)) result = result->Parent;
  return result;
}

void TBaseDataTree::DoGetImageIndex(PDataNode Node, TDTImageKind Kind, TColumnIndex Column,
                                    bool& Ghosted, int& Index, TImageList*& List) {
  List = nullptr;
  if (!OnGetImageIndexEx && !OnGetImageIndex) return;
  TQueryHandlerCall call(*this);
  if (OnGetImageIndexEx)
    RaiseEvent(OnGetImageIndexEx, this, Node, Kind, Column, Ghosted, Index, List);
  else if (OnGetImageIndex)
    RaiseEvent(OnGetImageIndex, this, Node, Kind, Column, Ghosted, Index);
}

String TBaseDataTree::DoGetImageText(PDataNode Node, TDTImageKind Kind, TColumnIndex Column) {
  String text;
  if (!OnGetImageText) return text;
  // A question like the picture's index: nodes the handler deletes go
  // once it has answered.
  TQueryHandlerCall call(*this);
  RaiseEvent(OnGetImageText, this, Node, Kind, Column, text);
  return text;
}

int TBaseDataTree::GetImageIndex(PDataNode Node, TDTImageKind Kind, TColumnIndex Column,
                                 bool& Ghosted, TImageList*& List) {
  int index = -1;
  Ghosted = false;
  TImageList* custom = nullptr;
  DoGetImageIndex(Node, Kind, Column, Ghosted, index, custom);
  TImageList* defaults = Kind == ikState ? FStateImages : FImages;
  List = custom ? custom : defaults;
  return index;
}

bool TBaseDataTree::HasImage(PDataNode Node, TDTImageKind Kind, TColumnIndex Column) {
  bool ghosted = false;
  TImageList* list = nullptr;
  return GetImageIndex(Node, Kind, Column, ghosted, list) > -1;
}

TPoint TBaseDataTree::DoGetCellContentMargin(PDataNode Node, TColumnIndex Column) {
  TPoint margin{0, 0};
  RaiseEvent(OnGetCellContentMargin, this, Canvas()->Handle(), Node, Column, margin);
  return margin;
}

namespace {
// The indentation of a node's content in its cell, as the painter draws
// it: one fixed step, or a step per level plus one for the root's lines.
int indentationFor(TBaseDataTree& t, PDataNode node, bool mainColumn) {
  if (!mainColumn) return 0;
  const TDTPaintOptions po = t.TreeOptions().PaintOptions();
  if (po.Contains(toFixedIndent)) return int(t.Indent());
  int levels = int(t.GetNodeLevel(node)) + (po.Contains(toShowRoot) ? 1 : 0);
  return levels * int(t.Indent());
}
}  // namespace

// ---- display rectangle ------------------------------------------------------------------

TRect TBaseDataTree::GetDisplayRect(PDataNode Node, TColumnIndex Column, bool TextOnly,
                                    bool Unclipped, bool ApplyCellContentMargin) {
  return GuardedEntry(TRect{}, [&]() -> TRect {
  TAMRIX_ASSERT(Node, "Node must not be nil.");
  TAMRIX_ASSERT(Node != FRoot, "Node must not be the hidden root node.");
  if (!Node->States.Contains(vsInitialized)) InitNode(Node);
  TRect result;
  if (!Node->States.Contains(vsVisible)) return result;
  for (PDataNode p = Node->Parent; p != FRoot; p = p->Parent)
    if (!p->States.Contains(vsVisible) || !p->Parent->States.Contains(vsExpanded)) return result;
  if (!Node->Parent->States.Contains(vsExpanded)) return result;

  const bool useColumns = FHeader->UseColumns();
  TColumnIndex main = FHeader->MainColumn();
  // No column means the main one, as it does for the painter.
  const int indent = indentationFor(*this, Node, !useColumns || Column == main || Column == NoColumn);
  if (!useColumns) Column = NoColumn;

  // The top of the row, in tree coordinates (64 bits: very tall trees).
  std::int64_t top = 0;
  std::uint32_t cachePos = 0;
  PDataNode start = nullptr;
  if (FStates.Contains(tsUseCache) && !FPositionCache.empty()) start = FindInPositionCache(Node, cachePos);
  if (start) {
    top = cachePos;
    for (PDataNode n = start; n && n != Node; n = GetNextVisibleNoInit(n, true)) top += n->NodeHeight;
  } else {
    for (PDataNode n = GetPreviousVisibleNoInit(Node, true); n; n = GetPreviousVisibleNoInit(n, true))
      top += n->NodeHeight;
  }
  const int clientWidth = ClientWidth();
  int rowTop = int(std::clamp<std::int64_t>(top + FOffsetY, INT_MIN / 2, INT_MAX / 2));
  result = {0, rowTop, std::max(FRangeX, clientWidth), rowTop + Node->NodeHeight};
  TAlignment alignment = FAlignment;
  bool rtl = UseRightToLeftReading();
  if (Column == NoColumn) {
    result.Left -= EffectiveOffsetX();
    result.Right -= EffectiveOffsetX();
  } else {
    int l, r;
    FHeader->Columns().GetColumnBounds(Column, l, r);
    result.Left = l;
    result.Right = r - 1;
    alignment = FHeader->Columns()[Column]->Alignment();
    rtl = FHeader->Columns()[Column]->UseRightToLeftReading();
  }
  if (!TextOnly) return result;

  const bool isMain = Column == NoColumn || Column == main;
  int offset = FMargin + indent;
  if (isMain) {
    if (FOptions->MiscOptions().Contains(toCheckSupport) && FCheckImages && Node->CheckType != ctNone)
      offset += FCheckImages->Width() + 2;
  }
  if (FStateImages && HasImage(Node, ikState, Column)) offset += FStateImages->Width() + 2;
  if (FImages && HasImage(Node, ikNormal, Column)) offset += FImages->Width() + 2;
  if (rtl) {
    result.Right -= offset;
    // Right-to-left text starts at the right edge, as the painter draws it.
    if (alignment == taLeftJustify)
      alignment = taRightJustify;
    else if (alignment == taRightJustify)
      alignment = taLeftJustify;
  } else {
    result.Left += offset;
  }
  int textWidth = DoGetNodeWidth(Node, Column, nullptr);
  if (ApplyCellContentMargin) {
    TPoint m = DoGetCellContentMargin(Node, Column);
    result.Left += m.x;
    result.Right -= m.x;
    result.Top += m.y;
    result.Bottom -= m.y;
  }
  if (!Unclipped) {
    if (textWidth < result.Width()) {
      switch (alignment) {
        case taRightJustify: result.Left = result.Right - textWidth; break;
        case taCenter:
          result.Left = (result.Left + result.Right - textWidth) / 2;
          result.Right = result.Left + textWidth;
          break;
        default: result.Right = result.Left + textWidth; break;
      }
    }
  } else {
    if (result.Width() < textWidth - 1) alignment = rtl ? taRightJustify : taLeftJustify;
    int lineHeight = Canvas()->TextHeight(u"Wg");
    if (lineHeight < Node->NodeHeight && lineHeight > result.Height()) {
      int grow = (lineHeight - result.Height() + 1) / 2;
      result.Top -= grow;
      result.Bottom += grow;
    }
    switch (alignment) {
      case taRightJustify: result.Left = result.Right - textWidth; break;
      case taCenter:
        result.Left = (result.Left + result.Right - textWidth) / 2;
        result.Right = result.Left + textWidth;
        break;
      default: result.Right = result.Left + textWidth - 1; break;
    }
  }
  return result;
  });
}

// ---- hit testing --------------------------------------------------------------------------

void TBaseDataTree::GetHitTestInfoAt(int X, int Y, bool Relative, THitInfo& HitInfo) {
  GuardedEntry([&] {
  HitInfo = THitInfo();
  const int clientWidth = ClientWidth();
  const int clientHeight = ClientHeight();
  if (X < 0) HitInfo.HitPositions.Include(hiToLeft);
  if (X > std::max(FRangeX, clientWidth)) HitInfo.HitPositions.Include(hiToRight);
  if (Y < 0) HitInfo.HitPositions.Include(hiAbove);
  if (std::int64_t(Y) > std::max<std::int64_t>(FRangeY64, clientHeight)) HitInfo.HitPositions.Include(hiBelow);
  if (Relative) {
    if (X >= FHeader->Columns().GetVisibleFixedWidth()) X += EffectiveOffsetX();
    Y -= FOffsetY;
  }
  if (!HitInfo.HitPositions.Empty()) return;
  int nodeTop = 0;
  HitInfo.HitNode = GetNodeAt(X, Y, false, nodeTop);
  if (!HitInfo.HitNode) {
    HitInfo.HitPositions.Include(hiNowhere);
    return;
  }
  PDataNode node = HitInfo.HitNode;
  int columnLeft = 0, columnRight = 0;
  bool validColumn = true;
  // The column hit: the handlers asked below may take it away.
  TDataTreeColumn* hitColumn = nullptr;
  TAlignment alignment = FAlignment;
  bool rtl = UseRightToLeftReading();
  if (FHeader->UseColumns()) {
    TDataTreeColumns& columns = FHeader->Columns();
    // Bounds in tree coordinates: X has the scroll offset applied already.
    TColumnIndex hit = columns.ColumnFromPosition(TPoint{X, 0}, false);
    HitInfo.HitColumn = hit;
    validColumn = columns.IsValidColumn(hit);
    if (validColumn) {
      columnLeft = columns[hit]->Left();
      columnRight = columnLeft + columns[hit]->Width();
      if (FOptions->AutoOptions().Contains(toAutoSpanColumns)) {
        // Widen over empty cells to the left; the first visible column
        // ends the walk (it has no previous column to move to).
        while (DoGetCellIsEmpty(node, HitInfo.HitColumn)) {
          TColumnIndex previous = columns.GetPreviousVisibleColumn(HitInfo.HitColumn);
          if (previous < 0) break;
          HitInfo.HitColumn = previous;
          columnLeft -= columns[previous]->Width();
        }
        TColumnIndex next = columns.GetNextVisibleColumn(hit);
        while (next >= 0 && DoGetCellIsEmpty(node, next)) {
          // The handler may take columns away: the span ends there.
          if (!columns.IsValidColumn(next)) break;
          columnRight += columns[next]->Width();
          next = columns.GetNextVisibleColumn(next);
        }
        // Without the column hit nothing of it is hit.
        validColumn = columns.IsValidColumn(HitInfo.HitColumn);
      }
      if (validColumn) {
        hitColumn = columns[HitInfo.HitColumn];
        alignment = hitColumn->Alignment();
        rtl = hitColumn->UseRightToLeftReading();
      }
    }
  } else {
    HitInfo.HitColumn = NoColumn;
    columnRight = std::max(FRangeX, clientWidth);
  }
  if (!validColumn) {
    HitInfo.HitPositions.Include(hiNowhere);
    return;
  }
  HitInfo.HitPositions = {hiOnItem};
  if (FOptions->MiscOptions().Contains(toNodeHeightResize)) {
    if (Y <= nodeTop + 1) HitInfo.HitPositions.Include(hiUpperSplitter);
    if (Y >= nodeTop + node->NodeHeight - 3) HitInfo.HitPositions.Include(hiLowerSplitter);
  }
  X -= columnLeft;
  columnRight -= columnLeft;
  if (rtl)
    DetermineHitPositionRTL(HitInfo, X, columnRight, alignment);
  else
    DetermineHitPositionLTR(HitInfo, X, columnRight, alignment);
  // A column that went on the way is no hit; one that moved is named anew.
  if (hitColumn) {
    if (FHeader->Columns().Contains(hitColumn)) {
      HitInfo.HitColumn = hitColumn->Index();
    } else {
      HitInfo = THitInfo();
      HitInfo.HitPositions.Include(hiNowhere);
    }
  }
  });
}


void TBaseDataTree::DetermineHitPositionLTR(THitInfo& HitInfo, int X, int Right, TAlignment Alignment) {
  PDataNode node = HitInfo.HitNode;
  TColumnIndex column = HitInfo.HitColumn;
  const bool mainColumn = !FHeader->UseColumns() || column == FHeader->MainColumn();
  const int indent = indentationFor(*this, node, mainColumn);
  if (X < indent) {
    if (FOptions->PaintOptions().Contains(toShowButtons) && node->States.Contains(vsHasChildren)) {
      if (X >= indent - int(FIndent)) HitInfo.HitPositions.Include(hiOnItemButton);
      // The exact zone is the button as it is drawn, centred in its step.
      int bw = buttonWidth();
      int buttonLeft = indent - int(FIndent) + buttonOffset();
      if (X >= buttonLeft && X < buttonLeft + bw) HitInfo.HitPositions.Include(hiOnItemButtonExact);
    }
    return;
  }
  if (!mainColumn && FOptions->MiscOptions().Contains(toReportMode)) return;
  int pos = indent + FMargin;
  if (mainColumn && FOptions->MiscOptions().Contains(toCheckSupport) && FCheckImages &&
      node->CheckType != ctNone)
    pos += FCheckImages->Width() + 2;
  if (mainColumn && X < pos) {
    HitInfo.HitPositions = {hiOnItem};
    if (node->CheckType != ctNone) HitInfo.HitPositions.Include(hiOnItemCheckbox);
    return;
  }
  if (FStateImages && HasImage(node, ikState, column)) pos += FStateImages->Width() + 2;
  if (X < pos) {
    HitInfo.HitPositions.Include(hiOnStateIcon);
    return;
  }
  if (FImages && HasImage(node, ikNormal, column)) pos += FImages->Width() + 2;
  if (X < pos) {
    HitInfo.HitPositions.Include(hiOnNormalIcon);
    return;
  }
  int w = DoGetNodeWidth(node, column, nullptr);
  if (w > Right - pos) {
    HitInfo.HitPositions.Include(hiOnItemLabel);
    return;
  }
  switch (Alignment) {
    case taRightJustify:
      HitInfo.HitPositions.Include(X < Right - w ? hiOnItemLeft : hiOnItemLabel);
      break;
    case taCenter: {
      int l = (pos + Right - w) / 2;
      if (X < l)
        HitInfo.HitPositions.Include(hiOnItemLeft);
      else if (X >= l + w)
        HitInfo.HitPositions.Include(hiOnItemRight);
      else
        HitInfo.HitPositions.Include(hiOnItemLabel);
      break;
    }
    default:
      HitInfo.HitPositions.Include(X >= pos + w ? hiOnItemRight : hiOnItemLabel);
      break;
  }
}

void TBaseDataTree::DetermineHitPositionRTL(THitInfo& HitInfo, int X, int Right, TAlignment Alignment) {
  PDataNode node = HitInfo.HitNode;
  TColumnIndex column = HitInfo.HitColumn;
  const bool mainColumn = !FHeader->UseColumns() || column == FHeader->MainColumn();
  int pos = Right - indentationFor(*this, node, mainColumn);
  if (X >= pos) {
    if (FOptions->PaintOptions().Contains(toShowButtons) && node->States.Contains(vsHasChildren)) {
      if (X <= pos + int(FIndent)) HitInfo.HitPositions.Include(hiOnItemButton);
      int bw = buttonWidth();
      int buttonRight = pos + int(FIndent) - buttonOffset();
      if (X < buttonRight && X >= buttonRight - bw) HitInfo.HitPositions.Include(hiOnItemButtonExact);
    }
    return;
  }
  if (!mainColumn && FOptions->MiscOptions().Contains(toReportMode)) return;
  pos -= FMargin;
  if (mainColumn && FOptions->MiscOptions().Contains(toCheckSupport) && FCheckImages &&
      node->CheckType != ctNone)
    pos -= FCheckImages->Width() + 2;
  if (mainColumn && X > pos) {
    HitInfo.HitPositions = {hiOnItem};
    if (node->CheckType != ctNone) HitInfo.HitPositions.Include(hiOnItemCheckbox);
    return;
  }
  if (FStateImages && HasImage(node, ikState, column)) pos -= FStateImages->Width() + 2;
  if (X > pos) {
    HitInfo.HitPositions.Include(hiOnStateIcon);
    return;
  }
  if (FImages && HasImage(node, ikNormal, column)) pos -= FImages->Width() + 2;
  if (X > pos) {
    HitInfo.HitPositions.Include(hiOnNormalIcon);
    return;
  }
  int w = DoGetNodeWidth(node, column, nullptr);
  if (w > pos) {
    HitInfo.HitPositions.Include(hiOnItemLabel);
    return;
  }
  // Right-to-left text starts at the right edge.
  if (Alignment == taLeftJustify)
    Alignment = taRightJustify;
  else if (Alignment == taRightJustify)
    Alignment = taLeftJustify;
  switch (Alignment) {
    case taRightJustify:
      HitInfo.HitPositions.Include(X < pos - w ? hiOnItemLeft : hiOnItemLabel);
      break;
    case taCenter: {
      int l = (pos - w) / 2;
      if (X < l)
        HitInfo.HitPositions.Include(hiOnItemLeft);
      else if (X >= l + w)
        HitInfo.HitPositions.Include(hiOnItemRight);
      else
        HitInfo.HitPositions.Include(hiOnItemLabel);
      break;
    }
    default:
      HitInfo.HitPositions.Include(X > w ? hiOnItemRight : hiOnItemLabel);
      break;
  }
}

// ---- widths -----------------------------------------------------------------------------------

PDataNode TBaseDataTree::nextMeasured(TNodeWatch& Watch) {
  PDataNode next = Watch.Node();
  if (!Watch.Passed())
    next = GetNextVisible(next);
  else if (next && !FullyVisible(next))
    next = GetNextVisible(next);
  Watch.Reset(next);
  return next;
}

int TBaseDataTree::GetMaxColumnWidth(TColumnIndex Column, bool UseSmartColumnWidth) {
  return GuardedEntry(0, [&]() -> int {
  if (OperationCanceled()) return 0;
    RaiseEvent(OnBeforeGetMaxColumnWidth, FHeader.get(), Column, UseSmartColumnWidth);
  int imageWidth = FImages ? FImages->Width() + 2 : 0;
  int stateWidth = FStateImages ? FStateImages->Width() + 2 : 0;
  int checkWidth = FCheckImages ? FCheckImages->Width() + 2 : 0;
  const bool mainColumn = Column == FHeader->MainColumn() || !FHeader->UseColumns();
  PDataNode run, stop = nullptr;
  if (UseSmartColumnWidth) {
    run = TopNode();
    PDataNode bottom = BottomNode();
    stop = bottom ? GetNextVisible(bottom) : nullptr;
  } else {
    run = GetFirstVisible();
  }
  int result = 0;
  // The width handlers may delete the row measured (or any other) and even
  // destroy the tree: the walk holds its row in a following watch and goes
  // on with the first shown row after one that went.
  const std::weak_ptr<const bool> life = FLifeToken;
  TNodeWatch watch(*this, run, true);
  TNodeWatch stopWatch(*this, stop, true);
  for (; run && run != stopWatch.Node(); run = nextMeasured(watch)) {
    if (OperationCanceled()) break;
    int w = 0;
    if (mainColumn) {
      if (FOptions->PaintOptions().Contains(toFixedIndent))
        w = int(FIndent);
      else
        w = int(FIndent) * (int(GetNodeLevel(run)) + (FOptions->PaintOptions().Contains(toShowRoot) ? 1 : 0));
      if (run->CheckType != ctNone && FOptions->MiscOptions().Contains(toCheckSupport)) w += checkWidth;
    }
    w += FMargin;
    if (stateWidth && HasImage(run, ikState, Column)) w += stateWidth;
    if (imageWidth && HasImage(run, ikNormal, Column)) w += imageWidth;
    w += DoGetNodeWidth(run, Column, nullptr);
    if (life.expired()) return 0;
    result = std::max(result, w);
  }
  if (FOptions->PaintOptions().Contains(toShowVertGridLines)) ++result;
  RaiseEvent(OnAfterGetMaxColumnWidth, FHeader.get(), Column, result);
  return result;
  });
}

int TBaseDataTree::nodeRightExtend(PDataNode Node, int NodeWidth) {
  int w = int(FIndent) * (int(GetNodeLevel(Node)) + (FOptions->PaintOptions().Contains(toShowRoot) ? 1 : 0));
  if (FStateImages) w += FStateImages->Width() + 2;
  if (FImages) w += FImages->Width() + 2;
  if (FCheckImages && FOptions->MiscOptions().Contains(toCheckSupport)) w += FCheckImages->Width();
  return w + NodeWidth;
}

int TBaseDataTree::GetMaxRightExtend() {
  // The width handlers answer questions: a row they delete goes when the
  // message loop runs next. They may destroy the tree (the answer is 0).
  return GuardedEntry(0, [&] {
    int result = 0;
    for (PDataNode n = GetFirstVisible(); n; n = GetNextVisible(n))
      result = std::max(result, nodeRightExtend(n, DoGetNodeWidth(n, NoColumn, nullptr)));
    return result;
  });
}

// Rows are measured as they are painted, and the horizontal range follows
// from the widest. After an update the rows the window is about to show are
// measured first: the repaint then meets its scroll bars already settled,
// instead of painting once more when a row turns out wider than the window.
void TBaseDataTree::measureRowsInWindow() {
  if (FHeader->UseColumns() || !TreeHandleAllocated()) return;
  const int height = ClientHeight();
  int top = 0;
  PDataNode n = GetNodeAt(0, 0, true, top);
  // The width handlers may delete the row measured (or any other) and even
  // destroy the tree. A row gone leaves the rest to be measured when they
  // are painted.
  const std::weak_ptr<const bool> life = LifeToken();
  TNodeWatch watch(*this, n);
  for (; n && top < height; n = GetNextVisible(n)) {
    watch.Reset(n);
    if (!n->States.Contains(vsMultiline)) {
      const int width = DoGetNodeWidth(n, NoColumn, nullptr);
      if (life.expired() || !watch.Node()) return;
      FMaxRightExtend = std::max(FMaxRightExtend, FMargin + nodeRightExtend(n, width));
    }
    top += NodeHeight(n);
  }
  // Every row of the window is measured now.
  if (!n || top >= height) FRangeXRemeasure = false;
}

void TBaseDataTree::requestRangeXUpdate(bool WholeWindowPainted) {
  if (FHeader->UseColumns() || FRangeXUpdatePosted || !TreeHandleAllocated()) return;
  if (FRangeXRemeasure) {
    // Only a paint of every row in the window has measured them all.
    if (!WholeWindowPainted) return;
    FRangeXRemeasure = false;
  }
  if (FMaxRightExtend == FRangeX) return;
  FRangeXUpdatePosted = true;
  PostMessage(Handle(), WM_UPDATERANGEX, 0, 0);
}

void TBaseDataTree::GetTextInfo(PDataNode, TColumnIndex, const TFont*, TRect& R, String& Text) {
  GuardedEntry([&] {
  R = TRect();
  Text.clear();
  });
}

// ---- repainting ---------------------------------------------------------------------------------

void TBaseDataTree::invalidateClientRect(const TRect& R) {
  if (FUpdateCount != 0 || !TreeHandleAllocated() || R.IsEmpty()) return;
  InvalidateRect(Handle(), &R, false);
}

TRect TBaseDataTree::InvalidateNode(PDataNode Node) {
  if (!Node || Node == FRoot || FUpdateCount != 0 || !TreeHandleAllocated()) return TRect();
  // Only the row: a full window repaint per changed row costs a whole frame.
  TRect r = GetDisplayRect(Node, NoColumn, false);
  r.Left = 0;
  r.Right = ClientWidth();
  invalidateClientRect(r);
  return r;
}

void TBaseDataTree::InvalidateToBottom(PDataNode Node) {
  if (FUpdateCount != 0 || !TreeHandleAllocated()) return;
  if (!Node || Node == FRoot) {
    InvalidateWindow();
    return;
  }
  if (!Node->States.Contains(vsInitialized) || !FullyVisible(Node)) return;
  TRect r = GetDisplayRect(Node, NoColumn, false);
  const int clientHeight = ClientHeight();
  if (r.Top >= clientHeight) return;
  if (childrenAbove() && Node->States.Contains(vsExpanded))
    r.Top -= int(std::min<std::int64_t>(std::int64_t(Node->NodeHeight) + Node->TotalHeight, INT_MAX / 2));
  r.Top = std::max(r.Top, 0);
  r.Left = 0;
  r.Right = ClientWidth();
  r.Bottom = clientHeight;
  invalidateClientRect(r);
}

void TBaseDataTree::InvalidateColumn(TColumnIndex Column) {
  if (FUpdateCount != 0 || !TreeHandleAllocated() || !FHeader->Columns().IsValidColumn(Column)) return;
  int l, r;
  FHeader->Columns().GetColumnBounds(Column, l, r);
  invalidateClientRect(TRect{l, 0, r, ClientHeight()});
}

void TBaseDataTree::RepaintNode(PDataNode Node) {
  if (!Node || Node == FRoot || !TreeHandleAllocated()) return;
  TRect r = GetDisplayRect(Node, NoColumn, false);
  r.Left = 0;
  r.Right = ClientWidth();
  if (r.IsEmpty()) return;
  RedrawWindow(Handle(), &r, nullptr,
               RDW_INVALIDATE | RDW_VALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_UPDATENOW);
}

void TBaseDataTree::SelectAll(bool VisibleOnly) {
  GuardedEntry([&] {
  if (SelectionLocked() || !FOptions->SelectionOptions().Contains(toMultiSelect)) return;
  std::vector<PDataNode> nodes;
  nodes.reserve(VisibleOnly ? FVisibleCount : FRoot->TotalCount - 1);
  for (PDataNode n = VisibleOnly ? GetFirstVisible() : GetFirst(); n;
       n = VisibleOnly ? GetNextVisible(n) : GetNext(n))
    if (!n->States.Contains(vsSelected)) nodes.push_back(n);
  if (!nodes.empty()) AddToSelection(nodes.data(), int(nodes.size()));
  InvalidateWindow();
  });
}
