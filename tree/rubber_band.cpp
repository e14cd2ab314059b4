// The rubber band: dragging a rectangle over the rows selects the rows it
// covers. Each mouse move compares the last rectangle with the new one and
// touches only the rows whose coverage can differ between them.
#include "platform/graphics/imagelist.h"
#include "tree/base_tree.h"

namespace {

TRect ordered(const TRect& r) {
  return {std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
          std::max(r.Top, r.Bottom)};
}

int clampTo(std::int64_t v, std::int64_t low, std::int64_t high) {
  return int(std::clamp<std::int64_t>(v, low, std::max(low, high)));
}

}  // namespace

bool TBaseDataTree::CalculateSelectionRect(int X, int Y) {
  if (FStates.Contains(tsDrawSelecting)) FSelectRectangle = FNewSelRect;
  const std::int64_t maxX = std::max<std::int64_t>(ClientWidth(), FRangeX);
  const std::int64_t maxY = std::max<std::int64_t>(ClientHeight(), std::min<std::int64_t>(RangeY64(), INT32_MAX));
  // Under capture the mouse may be far outside the window, also at
  // negative co-ordinates.
  FNewSelRect.Right = clampTo(std::int64_t(X) + EffectiveOffsetX(), 0, maxX);
  FNewSelRect.Bottom = clampTo(std::int64_t(Y) - FOffsetY, 0, maxY);
  SelectRect = ordered(FNewSelRect);
  return !(FNewSelRect == FSelectRectangle);
}

void TBaseDataTree::EndDrawSelection() {
  DoStateChange({}, {tsDrawSelPending, tsDrawSelecting, tsToggleFocusedSelection});
  SelectRect = {};
  InvalidateWindow();
}

bool TBaseDataTree::HandleDrawSelection(int X, int Y) {
  (void)X;
  (void)Y;
  if (TotalCount() == 0 || !FStates.Contains(tsDrawSelecting)) return false;
  const TRect oldRect = ordered(FSelectRectangle);
  const TRect newRect = ordered(FNewSelRect);
  ClearTempList();

  TColumnIndex mainColumn = NoColumn;
  TAlignment alignment = Alignment();
  bool rtl = UseRightToLeftReading();
  int nodeLeft = 0;
  // Rows span the wider of the content and the window.
  int nodeRight = std::max(FRangeX, ClientWidth());
  if (Header().UseColumns()) {
    mainColumn = Header().MainColumn();
    if (Header().Columns().IsValidColumn(mainColumn)) {
      TDataTreeColumn* column = Header().Columns()[mainColumn];
      nodeLeft = column->Left();
      nodeRight = column->Left() + column->Width();
      alignment = column->Alignment();
      rtl = column->UseRightToLeftReading();
    }
  }
  const bool changed = rtl ? CollectSelectedNodesRTL(mainColumn, nodeLeft, nodeRight, alignment, oldRect, newRect)
                           : CollectSelectedNodesLTR(mainColumn, nodeLeft, nodeRight, alignment, oldRect, newRect);
  if (!changed) {
    ClearTempList();
    return false;
  }
  // Removals were only marked; one pass packs them all.
  PackArray();
  if (FTempNodeCount > 0) InternalAddToSelection(FTempNodeList.data(), int(FTempNodeCount), false);
  ClearTempList();
  if (FSelectionCount == 0) ResetRangeAnchor();
  Change(nullptr);
  return true;
}

bool TBaseDataTree::CollectSelectedNodesLTR(TColumnIndex MainColumn, int NodeLeft, int NodeRight,
                                            TAlignment Alignment, const TRect& OldRect, const TRect& NewRect) {
  return collectSelectedNodes(false, MainColumn, NodeLeft, NodeRight, Alignment, OldRect, NewRect);
}

bool TBaseDataTree::CollectSelectedNodesRTL(TColumnIndex MainColumn, int NodeLeft, int NodeRight,
                                            TAlignment Alignment, const TRect& OldRect, const TRect& NewRect) {
  return collectSelectedNodes(true, MainColumn, NodeLeft, NodeRight, Alignment, OldRect, NewRect);
}

bool TBaseDataTree::collectSelectedNodes(bool RightToLeft, TColumnIndex MainColumn, int NodeLeft,
                                         int NodeRight, TAlignment Alignment, const TRect& OldRect,
                                         const TRect& NewRect) {
  const bool toggle = FDrawSelShiftState.Contains(ssCtrl);
  const bool simple = FOptions->SelectionOptions().Contains(toSimpleDrawSelection);
  const TDTPaintOptions paint = FOptions->PaintOptions();
  const int checkOffset =
      FOptions->MiscOptions().Contains(toCheckSupport) && CheckImages() ? CheckImages()->Width() + 2 : 0;
  const int imageOffset = Images() ? Images()->Width() + 2 : 0;
  const int stateOffset = StateImages() ? StateImages()->Width() + 2 : 0;
  const bool autoSpan = Header().UseColumns() && FOptions->AutoOptions().Contains(toAutoSpanColumns) &&
                        Header().Columns().IsValidColumn(MainColumn);

  // Vertical spans to walk. When only the vertical edges moved (or the
  // horizontal position does not matter), a row can change only where an
  // edge swept over it.
  std::vector<std::pair<std::int64_t, std::int64_t>> spans;
  if (simple || (OldRect.Left == NewRect.Left && OldRect.Right == NewRect.Right)) {
    spans.push_back({std::min(OldRect.Top, NewRect.Top) - 1, std::max(OldRect.Top, NewRect.Top) + 1});
    spans.push_back({std::min(OldRect.Bottom, NewRect.Bottom) - 1, std::max(OldRect.Bottom, NewRect.Bottom) + 1});
    if (spans[1].first <= spans[0].second) spans = {{spans[0].first, std::max(spans[0].second, spans[1].second)}};
  } else {
    spans.push_back({std::min(OldRect.Top, NewRect.Top), std::max(OldRect.Bottom, NewRect.Bottom)});
  }

  auto covers = [](const TRect& r, std::int64_t left, std::int64_t right, std::int64_t top, std::int64_t bottom,
                   bool horizontal) {
    // An empty rectangle (the press point before the band opened) covers nothing.
    if (r.Left == r.Right && r.Top == r.Bottom) return false;
    if (!(bottom > r.Top && top < r.Bottom)) return false;
    return !horizontal || (right > r.Left && left < r.Right);
  };

  bool changed = false;
  const bool above = childrenAbove();
  // A row taller than the gap between two spans is looked at once.
  std::int64_t doneUntil = -1;
  for (const auto& span : spans) {
    int nodeTop = 0;
    const int startY = int(std::clamp<std::int64_t>(span.first, 0, INT32_MAX));
    PDataNode node = GetNodeAt(0, startY, false, nodeTop);
    std::int64_t top = nodeTop;
    while (node && top <= span.second) {
      const std::int64_t height = NodeHeight(node);
      const std::int64_t nextTop = top + height;
      if (top < doneUntil) {
        top = nextTop;
        node = GetNextVisibleNoInit(node, above);
        continue;
      }
      doneUntil = nextTop;
      // Indentation of this row: its level, a fixed indent, the root's step.
      std::int64_t indent;
      if (paint.Contains(toFixedIndent))
        indent = Indent();
      else
        indent = std::int64_t(Indent()) * (GetNodeLevel(node) + (paint.Contains(toShowRoot) ? 1 : 0));
      std::int64_t offset = indent + Margin();
      if (checkOffset && node->CheckType != ctNone) offset += checkOffset;
      if (stateOffset && HasImage(node, ikState, MainColumn)) offset += stateOffset;
      if (imageOffset && HasImage(node, ikNormal, MainColumn)) offset += imageOffset;

      std::int64_t left = RightToLeft ? NodeLeft : NodeLeft + offset;
      std::int64_t right = RightToLeft ? NodeRight - offset : NodeRight;
      if (autoSpan) {
        TDataTreeColumns& columns = Header().Columns();
        for (TColumnIndex next = columns.GetNextVisibleColumn(MainColumn);
             next >= 0 && DoGetCellIsEmpty(node, next); next = columns.GetNextVisibleColumn(next)) {
          // The handler may take columns away: the span ends there.
          if (!columns.IsValidColumn(next)) break;
          if (RightToLeft) left = columns[next]->Left();
          else right = columns[next]->Left() + columns[next]->Width();
        }
      }
      if (!simple) {
        const std::int64_t width = DoGetNodeWidth(node, MainColumn, Canvas());
        if (width < right - left) {
          TAlignment align = Alignment;
          if (RightToLeft && align != taCenter) align = align == taLeftJustify ? taRightJustify : taLeftJustify;
          if (align == taCenter) {
            left = (left + right - width) / 2;
            right = left + width;
          } else if (align == taRightJustify) {
            left = right - width;
          } else {
            right = left + width;
          }
        }
      }
      const bool inOld = covers(OldRect, left, right, top, nextTop, !simple);
      const bool inNew = covers(NewRect, left, right, top, nextTop, !simple);
      if (inOld != inNew) {
        changed = true;
        const bool selected = node->States.Contains(vsSelected);
        if (toggle ? selected : !inNew) {
          if (selected) InternalRemoveFromSelection(node);
        } else {
          AddToTempList(node);
        }
      }
      top = nextTop;
      node = GetNextVisibleNoInit(node, above);
    }
  }
  return changed;
}
