// Which hint a tree shows, where, and for how long the mouse must rest:
// the header's column hints, the control's own hint, a node's hint, or, as a
// tool tip, the whole text of a cell that its column cuts off.
#include <algorithm>

#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"
#include "tree/string_tree.h"

namespace {
constexpr THeaderStates kHeaderBusy{hsColumnWidthTracking, hsHeightTracking, hsDragging, hsDragPending};
}  // namespace

String TBaseDataTree::DoGetNodeHint(PDataNode, TColumnIndex, TDTTooltipLineBreakStyle& LineBreakStyle) {
  LineBreakStyle = hlbDefault;
  return Hint();
}

String TBaseDataTree::DoGetNodeToolTip(PDataNode, TColumnIndex, TDTTooltipLineBreakStyle& LineBreakStyle) {
  LineBreakStyle = hlbDefault;
  return Hint();
}

THintAnimationType TBaseDataTree::DoGetAnimationType() {
  if (FHintAnimation != hatSystemDefault) return FHintAnimation;
  bool fade = false;
  if (!ToolTipAnimation(fade)) return hatNone;
  return fade ? hatFade : hatSlide;
}

THintWindowClass TBaseDataTree::GetHintWindowClass() {
  return [](TComponent* owner) { return new TDataTreeHintWindow(owner); };
}

void TBaseDataTree::HandleHintShowPause(TMessage& Message) {
  auto* pause = reinterpret_cast<int*>(Message.LParam);
  if (!pause) return;
  const bool hintShowing = Message.WParam != 0;
  TPoint p{};
  GetCursorPos(&p);
  p = ScreenToClient(p);
  const bool overHeader = Header().Options().Contains(hoVisible) && p.y < 0 && p.y >= -Header().Height();
  if ((hintShowing && overHeader && Header().Options().Contains(hoShowHint)) || FHintMode == hmTooltip) *pause = 0;
}

void TBaseDataTree::HandleHintShow(TMessage& Message) {
  auto* info = reinterpret_cast<THintInfo*>(Message.LParam);
  Message.Result = 1;
  if (!info) return;
  const TPoint p = info->CursorPos;
  // The hint of this place was decided already.
  if (!FLastHintRect.IsEmpty() && FLastHintRect.Contains(p)) return;

  THitInfo hit;
  const bool overHeader = Header().Options().Contains(hoVisible) && p.y < 0;
  if (!overHeader) GetHitTestInfoAt(p.x, p.y, true, hit);
  const bool decide = !GetCapture() && ShowHint() && !FStates.Contains(tsOLEDragging) &&
                      !FStates.Contains(tsVCLDragging) && !FStates.Contains(tsDrawSelecting) &&
                      (Header().States() * kHeaderBusy).Empty() &&
                      !(IsEditing() && hit.HitNode && hit.HitNode == FEditNode);
  auto noHint = [this] {
    FLastHintRect = {};
    DoStateChange({}, {tsHint});
  };
  if (!decide) return noHint();

  String hintText = u" ";
  TRect cursorRect;
  PDataNode node = nullptr;
  TColumnIndex column = NoColumn;
  TRect textRect;
  bool show = false;
  bool tooltip = false;
  if (overHeader) {
    if (!Header().Options().Contains(hoShowHint)) return noHint();
    column = Header().Columns().ColumnFromPosition(TPoint{p.x, p.y + Header().Height()}, true);
    if (column < 0 || GetKeyState(VK_LBUTTON) < 0) return noHint();
    hintText = Header().Columns()[column]->Hint();
    if (hintText.empty()) return noHint();
    cursorRect = {0, -Header().Height(), ClientWidth(), 0};
    column = NoColumn;
    show = true;
  } else if (FHintMode == hmDefault) {
    hintText = Hint();
    cursorRect = ClientRect();
    show = !hintText.empty();
  } else if (hit.HitNode) {
    node = hit.HitNode;
    column = Header().UseColumns() ? hit.HitColumn : NoColumn;
    // The cell's horizontal extent, over the empty cells it spans.
    TRect cell = GetDisplayRect(node, column, false);
    if (column >= 0 && FOptions->AutoOptions().Contains(toAutoSpanColumns)) {
      TDataTreeColumns& columns = Header().Columns();
      for (TColumnIndex next = columns.GetNextVisibleColumn(column);
           next >= 0 && DoGetCellIsEmpty(node, next); next = columns.GetNextVisibleColumn(next)) {
        // The handler may take columns away: the span ends there.
        if (!columns.IsValidColumn(next)) break;
        cell.Right = GetDisplayRect(node, next, false).Right;
      }
      // No hint of a column that went.
      if (!columns.IsValidColumn(column)) return noHint();
    }
    const int boundLeft = std::max(cell.Left, 0), boundRight = std::min(cell.Right, ClientWidth());
    if (FHintMode != hmTooltip) {
      cursorRect = {boundLeft, cell.Top, boundRight, cell.Bottom};
      show = true;
    } else if (node->States.Contains(vsMultiline)) {
      // A multi-line text shows when it needs more room than its row.
      TDTTooltipLineBreakStyle style = hlbDefault;
      // The hint handler may delete the row: then there is nothing to show.
      TNodeWatch watch(*this, node);
      String text = DoGetNodeToolTip(node, column, style);
      if (!watch.Node()) return noHint();
      TCanvas& c = *Canvas();
      c.Font()->Assign(*Font());
      TRect measure{0, 0, std::max(cell.Width() - 2 * FTextMargin, 1), 0};
      c.TextRectFlags(measure, text, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
      textRect = {boundLeft, cell.Top, boundRight, cell.Bottom};
      show = measure.Height() > cell.Height() && textRect.Contains(p);
      cursorRect = textRect;
      tooltip = show;
    } else {
      // A single line shows only when it is cut off and the mouse is on it.
      const TRect full = GetDisplayRect(node, column, true, true);
      TRect visible = full;
      visible.Left = std::max(visible.Left, boundLeft);
      visible.Right = std::min(visible.Right, boundRight);
      const bool cutOff = full.Left < boundLeft || full.Right > boundRight;
      show = cutOff && !visible.IsEmpty() && visible.Contains(p);
      cursorRect = visible;
      textRect = visible;
      if (show) {
        const TPoint at = ClientToScreen({full.Left - 1, full.Top - 1});
        info->HintPos = at;
      }
      tooltip = show;
    }
  } else if (FHintMode == hmHintAndDefault) {
    hintText = Hint();
    cursorRect = ClientRect();
    show = !hintText.empty();
  }
  if (!show) return noHint();
  if (tooltip && node->States.Contains(vsMultiline)) info->HintPos = ClientToScreen({textRect.Left - 1, textRect.Top - 1});
  info->HintWindowClass = GetHintWindowClass();
  FHintData = TDTHintData{};
  FHintData.Tree = this;
  FHintData.Node = node;
  FHintData.Column = column;
  FHintData.HintRect = tooltip ? textRect : cursorRect;
  info->HintData = &FHintData;
  info->HintStr = hintText;
  info->CursorRect = cursorRect;
  if (tooltip) info->HintMaxWidth = std::max(textRect.Width(), ClientWidth());
  FLastHintRect = cursorRect;
  DoStateChange({tsHint});
  Message.Result = 0;
}

// ---- the string tree's texts ---------------------------------------------------------------

String TCustomDataStringTree::DoGetNodeHint(PDataNode Node, TColumnIndex Column,
                                           TDTTooltipLineBreakStyle& LineBreakStyle) {
  String text = TBaseDataTree::DoGetNodeHint(Node, Column, LineBreakStyle);
  RaiseEvent(OnGetHint, this, Node, Column, LineBreakStyle, text);
  return text;
}

String TCustomDataStringTree::DoGetNodeToolTip(PDataNode Node, TColumnIndex Column,
                                              TDTTooltipLineBreakStyle& LineBreakStyle) {
  if (!OnGetHint) return GetCellText(Node, Column);
  String text = TBaseDataTree::DoGetNodeToolTip(Node, Column, LineBreakStyle);
  RaiseEvent(OnGetHint, this, Node, Column, LineBreakStyle, text);
  return text;
}
