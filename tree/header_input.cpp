// The header's own mouse and keyboard handling: hit tests of the header and
// its splitters, hot tracking, clicks and the header check box, column width
// and header height tracking, and reordering columns by dragging them. The
// header lies above the client area, so its points have negative y in
// client co-ordinates.
#include "platform/gui/forms.h"
#include "platform/gui/menus.h"
#include "platform/gui/windows.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "tree/base_tree.h"
#include "tree/data_object.h"

namespace {

TShiftState currentShift() {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

constexpr THeaderStates kTracking{hsColumnWidthTracking, hsColumnWidthTrackPending, hsHeightTracking,
                                  hsHeightTrackPending};
constexpr THeaderStates kAllInput{hsColumnWidthTracking, hsColumnWidthTrackPending, hsHeightTracking,
                                  hsHeightTrackPending, hsDragging, hsDragPending};

}  // namespace

// ---- hit tests --------------------------------------------------------------------

TRect TDTHeader::ClientHeaderRect() const {
  // The client area starts right below the header.
  return {0, -FHeight, std::max(FOwner->ClientWidth(), FColumns->GetTotalWidth()), 0};
}

bool TDTHeader::InHeaderClient(TPoint P) const {
  const TRect r = ClientHeaderRect();
  return FOptions.Contains(hoVisible) && P.x >= r.Left && P.x < r.Right && P.y >= r.Top && P.y < r.Bottom;
}

bool TDTHeader::InHeaderSplitterArea(TPoint P) const {
  if (!FOptions.Contains(hoVisible)) return false;
  TRect r = ClientHeaderRect();
  r.Bottom += 2;
  return P.y >= -2 && P.y <= 2 && P.x >= r.Left && P.x < r.Right && P.y >= r.Top && P.y < r.Bottom;
}

bool TDTHeader::DetermineSplitterIndex(TPoint P) {
  FColumns->TrackIndex = NoColumn;
  const int fixedWidth = FColumns->GetVisibleFixedWidth();
  const int offsetX = FOwner->OffsetX();
  // The handler asked may take columns away or move them: the columns are
  // walked as they stood, each only while it is still there.
  std::vector<TDataTreeColumn*> order;
  for (TColumnIndex index : FColumns->PositionToIndex()) order.push_back(FColumns->Items(index));
  bool asked = false;
  auto gone = [&](TDataTreeColumn* c) { return asked && !FColumns->Contains(c); };
  // False also when the handler took the column away.
  auto allowed = [&](TDataTreeColumn* c) {
    if (!c->Options().Contains(coVisible) || !c->Options().Contains(coResizable)) return false;
    bool ok = true;
    asked = true;
    FOwner->RaiseEvent(FOwner->OnCanSplitterResizeColumn, this, P, c->Index(), ok);
    return ok && !gone(c);
  };
  if (!FOwner->UseRightToLeftAlignment()) {
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
      TDataTreeColumn* c = *it;
      if (gone(c) || !c->Options().Contains(coVisible)) continue;
      const bool fixed = c->Options().Contains(coFixed);
      const int right = c->Left() + c->Width() + (fixed ? 0 : offsetX);
      if (P.x > right - 3 && P.x < right + 5 && (fixed || P.x > fixedWidth) && allowed(c)) {
        FColumns->TrackIndex = c->Index();
        TrackStart = {c->Left() + (fixed ? 0 : offsetX), P.y};
        return true;
      }
    }
  } else {
    const int extra = std::max(0, FOwner->ClientWidth() - FColumns->GetTotalWidth());
    for (TDataTreeColumn* c : order) {
      if (gone(c) || !c->Options().Contains(coVisible)) continue;
      const bool fixed = c->Options().Contains(coFixed);
      const int left = c->Left() + extra + (fixed ? 0 : offsetX);
      if (P.x > left - 5 && P.x < left + 3 && allowed(c)) {
        FColumns->TrackIndex = c->Index();
        TrackStart = {left + c->Width(), P.y};
        return true;
      }
    }
  }
  return false;
}

bool TDTHeader::InColumnSplitter(TPoint P) {
  if (!FOptions.Contains(hoColumnResize) || !DetermineSplitterIndex(P)) return false;
  if (InHeaderClient(P)) return true;
  // Below the header only the edge between the fixed and the scrolling
  // columns can be dragged, and only over the rows.
  TDataTreeColumn* tracked = FColumns->Items(FColumns->TrackIndex);
  if (!tracked->Options().Contains(coFixed)) return false;
  const TColumnIndex next = FColumns->GetNextVisibleColumn(FColumns->TrackIndex);
  if (next < 0 || FColumns->Items(next)->Options().Contains(coFixed)) return false;
  return P.y >= 0 && std::int64_t(P.y) < std::min<std::int64_t>(FOwner->RangeY64(), FOwner->ClientHeight());
}

bool TDTHeader::InHeightSplitter(TPoint P) const {
  return FOptions.Contains(hoHeightResize) && InHeaderSplitterArea(P);
}

TColumnIndex TDataTreeColumns::ColumnAtHeaderPoint(TPoint P) const {
  if (!FHeader->InHeaderClient(P)) return NoColumn;
  const TColumnIndex c = ColumnFromPosition(TPoint{P.x, P.y + FHeader->Height()}, true);
  return c < 0 ? NoColumn : c;
}

void TDataTreeColumns::DetermineHotTrack(TPoint P) {
  const TColumnIndex column = ColumnAtHeaderPoint(P);
  if (column == HoverIndex) return;
  const TColumnIndex old = HoverIndex;
  HoverIndex = column;
  if (old >= 0) FHeader->Invalidate(old);
  if (column >= 0) FHeader->Invalidate(column);
}

void TDataTreeColumns::DetermineDownColumn(TPoint P) {
  TColumnIndex column = ColumnAtHeaderPoint(P);
  if (column >= 0) {
    const TDTColumnOptions o = Items(column)->Options();
    if (!o.Contains(coAllowClick) || !o.Contains(coEnabled)) column = NoColumn;
  }
  if (column == DownIndex) return;
  const TColumnIndex old = DownIndex;
  DownIndex = column;
  if (old >= 0) FHeader->Invalidate(old);
  if (column >= 0) FHeader->Invalidate(column);
}

void TDataTreeColumns::HandleClick(TPoint P, TMouseButton Button, bool Force, bool DblClick) {
  TBaseDataTree* tree = FHeader->Treeview();
  const TColumnIndex index = ColumnAtHeaderPoint(P);
  const TColumnIndex previous = ClickIndex;
  if (index >= 0 && Items(index)->Options().Contains(coAllowClick) && (index == DownIndex || Force)) {
    ClickIndex = index;
    TShiftState shift = currentShift();
    if (DblClick) shift.Include(ssDouble);
    TDataTreeColumn* column = Items(index);
    const std::weak_ptr<const bool> life = tree->LifeToken();
    // The image rectangle was taken while painting, in header co-ordinates.
    const TPoint inHeader{P.x, P.y + FHeader->Height()};
    if (column->HasImageRect() && column->ImageRect().Contains(inHeader)) {
      if (column->CheckBox()) {
        column->SetCheckState(tree->DetermineNextCheckState(column->CheckType(), column->CheckState()));
        tree->DoHeaderCheckBoxClick(FHeader, index, Button, shift, P.x, P.y);
      } else {
        tree->DoHeaderImageClick(FHeader, index, Button, shift, P.x, P.y);
      }
    } else {
      tree->DoHeaderClick(FHeader, index, Button, shift, P.x, P.y);
    }
    // The click handlers may destroy the tree and these columns with it.
    if (life.expired()) return;
    if (IsValidColumn(index)) FHeader->Invalidate(index);
    if (previous >= 0 && previous != index && IsValidColumn(previous)) FHeader->Invalidate(previous);
  } else {
    ClickIndex = NoColumn;
  }
}

// ---- dragging a column ------------------------------------------------------------

void TDTHeader::PrepareDrag(TPoint P, TPoint Start) {
  FColumns->DropTarget = NoColumn;
  FColumns->DragIndex = FColumns->ColumnAtHeaderPoint(P);
  if (!FColumns->IsValidColumn(FColumns->DragIndex) || !FOwner->HandleAllocated()) return;
  // The whole header is painted unscrolled, and the dragged column's cell
  // is cut out of it: the picture is the cell as it looks, caption, glyphs
  // and all.
  const int total = FColumns->GetTotalWidth();
  if (total <= 0 || FHeight <= 0) return;
  TBitmap header;
  header.SetPixelFormat(pf32bit);
  header.SetSize(total, FHeight);
  header.Canvas()->Brush()->SetColor(clBtnFace);
  header.Canvas()->FillRect({0, 0, total, FHeight});
  TDataTreeColumn* column = FColumns->Items(FColumns->DragIndex);
  FColumns->PaintHeader(header.Canvas()->Handle(), {0, 0, total, FHeight}, 0);
  // The owner's drawing handlers may have taken the column away (or others
  // before it): a column that went is dragged no more.
  if (!FColumns->Contains(column)) {
    FColumns->DragIndex = NoColumn;
    return;
  }
  FColumns->DragIndex = column->Index();
  const int left = column->GetAbsoluteLeft();
  const int width = std::min(column->Width(), total - left);
  if (width <= 0) return;
  TBitmap cell;
  cell.SetPixelFormat(pf32bit);
  cell.SetSize(width, FHeight);
  BitBlt(cell.Canvas()->Handle(), 0, 0, width, FHeight, header.Canvas()->Handle(), left, 0, SRCCOPY);
  // Where the press was in the cell as it shows (a fixed column does not
  // scroll).
  int shownLeft, shownRight;
  FColumns->GetColumnBounds(FColumns->DragIndex, shownLeft, shownRight);
  if (!column->Options().Contains(coFixed)) shownLeft -= FOwner->EffectiveOffsetX();
  const TPoint hot{Start.x - shownLeft, Start.y + FHeight};
  const TPoint screen = FOwner->ClientToScreen(Start);
  FDragImage->PrepareDrag(cell, {screen.x - hot.x, screen.y - hot.y}, hot, nullptr);
  FDragImage->ShowDragImage();
}

void TDTHeader::endDragImage() { FDragImage->EndDrag(); }

void TDTHeader::DragTo(TPoint P) {
  // P comes in screen co-ordinates.
  const TPoint q = FOwner->ScreenToClient(P);
  const TColumnIndex target = FColumns->ColumnFromPosition(TPoint{q.x, q.y + FHeight}, true);
  bool repaint = target != InvalidColumn && target != FColumns->DropTarget;
  if (target >= 0) {
    int left, right;
    FColumns->GetColumnBounds(target, left, right);
    const bool before = (left + right) / 2 > q.x;
    if (before != FColumns->DropBefore) {
      FColumns->DropBefore = before;
      repaint = true;
    }
  }
  if (repaint) {
    if (FColumns->DropTarget >= 0) Invalidate(FColumns->DropTarget);
    FColumns->DropTarget = NoColumn;
    if (target >= 0) {
      FColumns->DropTarget = target;
      Invalidate(target);
    }
  }
  // A drop mark changed under the picture: the header is painted at once,
  // before the picture takes what lies under it again.
  FDragImage->DragTo(P, repaint);
}

// ---- messages ------------------------------------------------------------------------

void TDTHeader::endTracking(bool Cancelled) {
  (void)Cancelled;
  FOwner->releaseCapture();
  if (FStates.Contains(hsColumnWidthTracking)) FOwner->DoAfterColumnWidthTracking(FColumns->TrackIndex);
  if (FStates.Contains(hsHeightTracking)) FOwner->DoAfterHeightTracking();
  FStates = FStates - kTracking;
}

bool TDTHeader::HandleMessage(TMessage& Message) {
  TBaseDataTree* tree = FOwner;
  // The owner's handlers raised below may destroy the tree, and this
  // header with it: the message counts as handled then, and nothing of
  // either is touched again.
  const std::weak_ptr<const bool> life = tree->LifeToken();
  const bool designing = tree->ComponentState().Contains(csDesigning);
  auto clientPoint = [&](bool screen) {
    TPoint p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
    return screen ? tree->ScreenToClient(p) : p;
  };
  switch (Message.Msg) {
    case WM_SIZE:
      if (!tree->TreeStates().Contains(tsWindowCreating)) {
        if (FOptions.Contains(hoAutoResize) && !FStates.Contains(hsAutoSizing)) {
          FColumns->AdjustAutoSize(InvalidColumn);
          Invalidate(NoColumn);
        } else if (!FStates.Contains(hsScaling)) {
          RescaleHeader();
          Invalidate(NoColumn);
        }
      }
      return false;

    case CM_PARENTFONTCHANGED:
      if (FParentFont) FFont->Assign(*tree->Font());
      return false;

    case CM_PARENTBIDIMODECHANGED:
      // Each column's update may end in a handler that destroys the tree.
      for (int i = 0; i < FColumns->Count(); ++i)
        if (!FColumns->Items(i)->ParentBiDiModeChanged()) return true;
      return false;

    case WM_SETCURSOR: {
      if (designing || !FStates.Empty()) return !FStates.Empty() || designing;
      TPoint p;
      GetCursorPos(&p);
      p = tree->ScreenToClient(p);
      TCursor cursor = tree->Cursor();
      if (InHeightSplitter(p))
        cursor = crVertSplit;
      else if (InColumnSplitter(p))
        cursor = crHeaderSplit;
      tree->DoGetHeaderCursor(cursor);
      if (cursor == crDefault) return false;
      HCURSOR shape = cursor > 0 && Screen ? Screen->Cursors(cursor) : LoadStandardCursor(cursor);
      ::SetCursor(shape);
      Message.Result = 1;
      return true;
    }

    case WM_NCMOUSEMOVE: {
      const TPoint p = clientPoint(true);
      tree->DoHeaderMouseMove(currentShift(), p.x, p.y + FHeight);
      if (life.expired()) return true;
      if (InHeaderClient(p)) {
        const TColumnIndex hover = FColumns->HoverIndex;
        FColumns->DetermineHotTrack(p);
        if (hover != FColumns->HoverIndex ||
            (FColumns->DownIndex >= 0 && FColumns->DownIndex != FColumns->HoverIndex))
          tree->StartTreeTimer(HeaderTimer, 50);
      }
      return false;
    }

    case WM_TIMER: {
      if (Message.WParam != WPARAM(HeaderTimer)) return false;
      TPoint p;
      GetCursorPos(&p);
      p = tree->ScreenToClient(p);
      if (InHeaderClient(p) && (FColumns->DownIndex < 0 || FColumns->DownIndex == FColumns->HoverIndex)) return true;
      tree->StopTimer(HeaderTimer);
      FColumns->HoverIndex = NoColumn;
      FColumns->ClickIndex = NoColumn;
      FColumns->DownIndex = NoColumn;
      Invalidate(NoColumn);
      return true;
    }

    case WM_NCLBUTTONDOWN:
    case WM_LBUTTONDOWN: {
      const bool nonClient = Message.Msg == WM_NCLBUTTONDOWN;
      if (!nonClient && designing) return false;
      if (Application) Application->CancelHint();
      tree->StopTimer(ScrollTimer);
      tree->StopTimer(EditTimer);
      tree->DoStateChange({}, {tsScrollPending, tsScrolling, tsEditPending});
      if (life.expired()) return true;
      const TPoint p = clientPoint(nonClient);
      if (nonClient) DragStart = p;
      const TShiftState shift = currentShift();
      const bool heightSplit = InHeightSplitter(p);
      if (heightSplit || InColumnSplitter(p)) {
        FColumns->DownIndex = NoColumn;
        if (heightSplit) {
          tree->DoBeforeHeightTracking(shift);
          if (life.expired()) return true;
          FStates = {hsHeightTrackPending};
        } else {
          tree->DoBeforeColumnWidthTracking(FColumns->TrackIndex, shift);
          if (life.expired()) return true;
          FStates = {hsColumnWidthTrackPending};
        }
        if (tree->HandleAllocated()) SetCapture(tree->Handle());
        Message.Result = 0;
        return true;
      }
      bool handled = false;
      if (InHeaderClient(p)) {
        FColumns->DetermineDownColumn(p);
        const TColumnIndex down = FColumns->DownIndex;
        if (FOptions.Contains(hoDrag) && down >= 0 && FColumns->Items(down)->Options().Contains(coDraggable)) {
          FStates = {hsDragPending};
          if (tree->HandleAllocated()) SetCapture(tree->Handle());
          handled = true;
        }
        tree->DoHeaderMouseDown(mbLeft, shift, p.x, p.y + FHeight);
        if (life.expired()) return true;
        handled = handled || nonClient;
      }
      if (handled) Message.Result = 0;
      return handled;
    }

    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN: {
      const TPoint p = clientPoint(true);
      if (InHeaderClient(p))
        tree->DoHeaderMouseDown(Message.Msg == WM_NCRBUTTONDOWN ? mbRight : mbMiddle, currentShift(), p.x,
                                p.y + FHeight);
      if (life.expired()) return true;
      return false;
    }

    case WM_MOUSEMOVE: {
      if (FStates.Empty()) return false;
      const TPoint p = clientPoint(false);
      const TShiftState shift = currentShift();
      if (FStates.Contains(hsColumnWidthTrackPending)) {
        tree->StopTimer(HeaderTimer);
        FStates = {hsColumnWidthTracking};
      } else if (FStates.Contains(hsHeightTrackPending)) {
        tree->StopTimer(HeaderTimer);
        FStates = {hsHeightTracking};
      } else if (FStates.Contains(hsColumnWidthTracking)) {
        TPoint start = TrackStart;
        const TColumnIndex index = FColumns->TrackIndex;
        TDataTreeColumn* column = FColumns->IsValidColumn(index) ? FColumns->Items(index) : nullptr;
        const bool track = column && tree->DoColumnWidthTracking(index, shift, start, p);
        if (life.expired()) return true;
        // The handler may have taken the column away (tracking ends) or
        // columns before it.
        if (column && !FColumns->Contains(column)) column = nullptr;
        FColumns->TrackIndex = column ? column->Index() : NoColumn;
        if (track && column) {
          const int width = tree->UseRightToLeftAlignment() ? TrackStart.x - p.x : p.x - TrackStart.x;
          column->SetWidth(width);
        }
      } else if (FStates.Contains(hsHeightTracking)) {
        TPoint point = p;
        const bool track = tree->DoHeightTracking(point, shift);
        if (life.expired()) return true;
        if (track) SetHeight(FHeight + point.y);
      } else if (FStates.Contains(hsDragPending)) {
        const TPoint d{p.x - DragStart.x, p.y - DragStart.y};
        const bool allowed = FOptions.Contains(hoDrag) && tree->DoHeaderDragging(FColumns->DownIndex);
        if (life.expired()) return true;
        if (allowed &&
            (std::abs(d.x) > GetSystemMetrics(SM_CXDRAG) || std::abs(d.y) > GetSystemMetrics(SM_CYDRAG))) {
          tree->StopTimer(HeaderTimer);
          const TColumnIndex down = FColumns->DownIndex;
          FColumns->DownIndex = NoColumn;
          FColumns->HoverIndex = NoColumn;
          if (down >= 0) Invalidate(down);
          PrepareDrag(p, DragStart);
          FStates = {hsDragging};
        }
      } else if (FStates.Contains(hsDragging)) {
        DragTo(tree->ClientToScreen(p));
      }
      Message.Result = 0;
      return true;
    }

    case WM_NCLBUTTONUP:
    case WM_LBUTTONUP: {
      const bool nonClient = Message.Msg == WM_NCLBUTTONUP;
      if (Application) Application->CancelHint();
      const TPoint p = clientPoint(nonClient);
      const THeaderStates was = FStates;
      bool handled = false;
      if (!FStates.Empty()) {
        tree->releaseCapture();
        if (FStates.Contains(hsDragging)) {
          endDragImage();
          TRect window;
          const TPoint screen = tree->ClientToScreen(p);
          const bool insideWindow =
              tree->HandleAllocated() && GetWindowRect(tree->Handle(), &window) && window.Contains(screen);
          const TColumnIndex dragged = FColumns->DragIndex;
          const TColumnIndex target = FColumns->DropTarget;
          // The paints on the way may have taken columns away.
          if (target >= 0 && target != dragged && insideWindow && FColumns->IsValidColumn(dragged) &&
              FColumns->IsValidColumn(target)) {
            TDataTreeColumn* column = FColumns->Items(dragged);
            const TColumnPosition old = column->Position();
            const TColumnPosition targetPosition = FColumns->Items(target)->Position();
            TColumnPosition position;
            if (FColumns->DropBefore)
              position = old >= targetPosition ? targetPosition : targetPosition - 1;
            else
              position = old >= targetPosition ? targetPosition + 1 : targetPosition;
            column->SetPosition(position);
            tree->DoHeaderDragged(dragged, old);
          } else {
            tree->DoHeaderDraggedOut(dragged, screen);
          }
          if (life.expired()) return true;
          FColumns->DropTarget = NoColumn;
          FStates = {};
          Invalidate(NoColumn);
          Message.Result = 0;
          return true;
        }
        handled = true;
      }
      if (nonClient) {
        FColumns->HandleClick(p, mbLeft, false, false);
        if (life.expired()) return true;
        tree->DoHeaderMouseUp(mbLeft, currentShift(), p.x, p.y + FHeight);
        if (life.expired()) return true;
        handled = true;
      } else {
        if (FColumns->DownIndex > NoColumn) FColumns->HandleClick(p, mbLeft, false, false);
        if (life.expired()) return true;
        if (!was.Empty()) tree->DoHeaderMouseUp(mbLeft, currentShift(), p.x, p.y + FHeight);
        if (life.expired()) return true;
      }
      if (FColumns->TrackIndex > NoColumn) {
        if (was.Contains(hsColumnWidthTracking)) tree->DoAfterColumnWidthTracking(FColumns->TrackIndex);
        if (life.expired()) return true;
        Invalidate(FColumns->TrackIndex);
        FColumns->TrackIndex = NoColumn;
      }
      if (FColumns->DownIndex > NoColumn) {
        Invalidate(FColumns->DownIndex);
        FColumns->DownIndex = NoColumn;
      }
      if (was.Contains(hsHeightTracking)) tree->DoAfterHeightTracking();
      if (life.expired()) return true;
      FStates = FStates - kAllInput;
      if (handled) Message.Result = 0;
      return handled;
    }

    case WM_NCRBUTTONUP:
    case WM_NCMBUTTONUP: {
      const bool right = Message.Msg == WM_NCRBUTTONUP;
      if (right && designing) return false;
      const TPoint p = clientPoint(true);
      if (!InHeaderClient(p)) return false;
      const TMouseButton button = right ? mbRight : mbMiddle;
      FColumns->HandleClick(p, button, true, false);
      if (life.expired()) return true;
      tree->DoHeaderMouseUp(button, currentShift(), p.x, p.y + FHeight);
      if (life.expired()) return true;
      FColumns->DownIndex = NoColumn;
      if (right) {
        FColumns->TrackIndex = NoColumn;
        TPopupMenu* menu = FPopupMenu;
        if (!menu) menu = DoGetPopupMenu(FColumns->ColumnAtHeaderPoint(p), p);
        if (life.expired()) return true;
        if (menu) {
          tree->StopTimer(ScrollTimer);
          tree->StopTimer(HeaderTimer);
          FColumns->HoverIndex = NoColumn;
          tree->DoStateChange({}, {tsScrollPending, tsScrolling});
          menu->SetPopupComponent(tree);
          tree->ThroughToolkit([&] { menu->Popup(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)); });
          Message.Result = 0;
          return true;
        }
      }
      return false;
    }

    case WM_NCLBUTTONDBLCLK:
    case WM_LBUTTONDBLCLK:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDBLCLK: {
      const bool nonClient = Message.Msg != WM_LBUTTONDBLCLK;
      const TPoint p = clientPoint(nonClient);
      TShiftState shift = currentShift();
      shift.Include(ssDouble);
      if (FOptions.Contains(hoHeightDblClickResize) && InHeaderSplitterArea(p) && FDefaultHeight > 0) {
        const bool resize = tree->DoHeightDblClickResize(p, shift);
        if (life.expired()) return true;
        if (resize && FDefaultHeight > 0) SetHeight(FMinHeight);
        Message.Result = 0;
        return true;
      }
      const bool left = Message.Msg == WM_NCLBUTTONDBLCLK || Message.Msg == WM_LBUTTONDBLCLK;
      if (left && FOptions.Contains(hoDblClickResize) && InColumnSplitter(p) && FColumns->TrackIndex > NoColumn) {
        const TColumnIndex index = FColumns->TrackIndex;
        const bool resize = tree->DoColumnWidthDblClickResize(index, shift, p);
        if (life.expired()) return true;
        if (resize) AutoFitColumns(true, smaUseColumnOption, index, index);
        Message.Result = 0;
        return true;
      }
      if (InHeaderClient(p) && Message.Msg != WM_LBUTTONDBLCLK) {
        const TMouseButton button = Message.Msg == WM_NCRBUTTONDBLCLK ? mbRight
                                    : Message.Msg == WM_NCMBUTTONDBLCLK ? mbMiddle
                                                                          : mbLeft;
        FColumns->HandleClick(p, button, true, true);
        if (life.expired()) return true;
      }
      return false;
    }

    // Whatever ends the button's hold ends tracking and dragging: the focus
    // going, Escape, a modal window or menu (cancel mode), or another
    // window taking the mouse. The release of the tree's own capture is
    // not one of them.
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
    case WM_KILLFOCUS:
    case WM_KEYDOWN: {
      if (Message.Msg == WM_KEYDOWN && Message.WParam != VK_ESCAPE) return false;
      if (Message.Msg == WM_CAPTURECHANGED &&
          (tree->FReleasingCapture || (tree->HandleAllocated() && HWND(Message.LParam) == tree->Handle())))
        return false;
      bool handled = false;
      if (FStates.Contains(hsDragging)) {
        tree->releaseCapture();
        endDragImage();
        FStates.Exclude(hsDragging);
        FColumns->DropTarget = NoColumn;
        Invalidate(NoColumn);
        handled = true;
      } else if (FStates.Contains(hsColumnWidthTracking) || FStates.Contains(hsHeightTracking)) {
        // The width or height reached so far stays.
        endTracking(true);
        handled = true;
      }
      FStates = FStates - kTracking - THeaderStates{hsDragPending};
      // Focus loss, cancel mode and capture loss are the tree's business too.
      return handled && Message.Msg == WM_KEYDOWN;
    }

    default:
      return false;
  }
}

TPopupMenu* TDTHeader::DoGetPopupMenu(TColumnIndex Column, TPoint Position) {
  TPopupMenu* menu = nullptr;
  bool askParent = true;
  // The handler may destroy the tree, and this header with it: nil then.
  TBaseDataTree* tree = FOwner;
  return tree->GuardedEntry(static_cast<TPopupMenu*>(nullptr), [&] {
    tree->RaiseEvent(tree->OnGetPopupMenu, tree, nullptr, Column, Position, askParent, menu);
    return menu;
  });
}
