// Scrolling driven by input: the wheel, the scroll bar codes, automatic
// scrolling near the border while a rubber band or a drag runs, and wheel
// panning (a middle click shows a marker; moving away from it scrolls at a
// speed that grows with the distance). Amounts are computed in 64 bits and
// saturated before they reach the offsets.
#include <cmath>

#include "platform/core/threads.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/popup_window.h"
#include "tree/base_tree.h"
#include "tree/panning_images.h"

namespace {

constexpr int kPanningDeadZone = 8;
const String kPanningClass = u"DTPanningWindow";

int saturate(std::int64_t v) {
  return int(std::clamp<std::int64_t>(v, INT32_MIN + 1, INT32_MAX));
}

int saturate(double v) {
  if (std::isnan(v)) return 0;
  return int(std::clamp(v, double(INT32_MIN + 1), double(INT32_MAX)));
}

}  // namespace

void TBaseDataTree::scrollBy(std::int64_t DeltaX, std::int64_t DeltaY) {
  SetOffsetXY({saturate(std::int64_t(FOffsetX) + DeltaX), saturate(std::int64_t(FOffsetY) + DeltaY)});
}

// ---- wheel and scroll bars ----------------------------------------------------------

void TBaseDataTree::HandleMouseWheel(TMessage& Message) {
  StopWheelPanning();
  const TShiftState shift = MouseWheelShiftState(Message);
  const int delta = MouseWheelDelta(Message);
  Message.Result = 1;
  // The wheel's handler may free the tree without taking the turn.
  const std::weak_ptr<const bool> life = FLifeToken;
  if (DoMouseWheel(shift, delta, MouseWheelPos(Message)) || life.expired()) return;
  const double steps = double(delta) / WHEEL_DELTA;
  UINT lines = 3;
  SystemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  const bool pageScroll = lines == WHEEL_PAGESCROLL;
  const std::int64_t clientHeight = ClientHeight();
  const std::int64_t clientWidth = ClientWidth();
  if (RangeY64() > clientHeight && !shift.Contains(ssShift)) {
    double amount;
    if (shift.Contains(ssCtrl) || pageScroll)
      amount = steps * double(clientHeight);
    else
      amount = double(lines) * steps * double(FDefaultNodeHeight);
    scrollBy(0, saturate(amount));
    return;
  }
  TDataTreeColumns& columns = Header().Columns();
  double amount;
  if (shift.Contains(ssCtrl)) {
    std::int64_t fixed = Header().UseColumns() ? columns.GetVisibleFixedWidth() : 0;
    amount = steps * double(clientWidth - fixed);
  } else {
    int step = columns.GetScrollWidth();
    if (step <= 0) step = int(Indent());
    amount = (pageScroll ? double(clientWidth) : double(lines) * double(step)) * steps;
  }
  if (UseRightToLeftAlignment()) amount = -amount;
  scrollBy(saturate(amount), 0);
}

void TBaseDataTree::HandleScrollMessage(TMessage& Message) {
  const bool vertical = Message.Msg == WM_VSCROLL;
  const int code = LOWORD(Message.WParam);
  const bool rtl = !vertical && UseRightToLeftAlignment();
  const int sign = rtl ? -1 : 1;
  std::int64_t page;
  std::int64_t line;
  if (vertical) {
    page = ClientHeight();
    line = ScrollBarOptions().VerticalIncrement();
  } else {
    page = ClientWidth() - (Header().UseColumns() ? Header().Columns().GetVisibleFixedWidth() : 0);
    line = ScrollBarOptions().HorizontalIncrement();
  }
  auto moveBy = [&](std::int64_t amount) {
    if (vertical) scrollBy(0, amount);
    else scrollBy(amount * sign, 0);
  };
  auto moveTo = [&](std::int64_t position) {
    if (vertical) SetOffsetY(saturate(position));
    else SetOffsetX(saturate(rtl ? -position : position));
  };
  switch (code) {
    case SB_LINEUP: moveBy(line); break;
    case SB_LINEDOWN: moveBy(-line); break;
    case SB_PAGEUP: moveBy(page); break;
    case SB_PAGEDOWN: moveBy(-page); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
      DoStateChange({tsThumbTracking});
      TScrollInfo info;
      info.fMask = SIF_TRACKPOS;
      if (HandleAllocated() && GetScrollInfo(Handle(), vertical ? SB_VERT : SB_HORZ, &info))
        moveTo(-std::int64_t(info.nTrackPos));
      break;
    }
    case SB_TOP: moveTo(0); break;
    case SB_BOTTOM:
      moveTo(vertical ? -std::int64_t(FRoot->TotalHeight) : -std::int64_t(FRangeX));
      break;
    case SB_ENDSCROLL:
      DoStateChange({}, {tsThumbTracking});
      UpdateScrollBars(true);
      InvalidateWindow();
      break;
    default:
      break;
  }
  Message.Result = 0;
}

// ---- automatic scrolling -------------------------------------------------------------

bool TBaseDataTree::CanAutoScroll() {
  const bool panning = FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling);
  if (!FOptions->AutoOptions().Contains(toAutoScroll) && !panning) return false;
  if (Header().States().Contains(hsColumnWidthTracking) || Header().States().Contains(hsHeightTracking))
    return false;
  return IsMouseSelecting() || FStates.Contains(tsVCLDragging) || FStates.Contains(tsOLEDragging) || panning;
}

TScrollDirections TBaseDataTree::rawScrollDirections(int X, int Y) {
  TScrollDirections result;
  const std::int64_t x = X, y = Y;
  if (FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling)) {
    if (x < std::int64_t(FPanningPosition.x) - kPanningDeadZone) result.Include(sdLeft);
    if (x > std::int64_t(FPanningPosition.x) + kPanningDeadZone) result.Include(sdRight);
    if (y < std::int64_t(FPanningPosition.y) - kPanningDeadZone) result.Include(sdUp);
    if (y > std::int64_t(FPanningPosition.y) + kPanningDeadZone) result.Include(sdDown);
    return result;
  }
  const std::int64_t zone = FDefaultNodeHeight;
  const std::int64_t clientWidth = ClientWidth(), clientHeight = ClientHeight();
  if (x < zone && EffectiveOffsetX() != 0) result.Include(sdLeft);
  if (std::int64_t(FRangeX) - EffectiveOffsetX() > clientWidth && x > clientWidth - zone)
    result.Include(sdRight);
  if (y < zone && FOffsetY != 0) result.Include(sdUp);
  if (RangeY64() + FOffsetY > clientHeight && y > clientHeight - zone) result.Include(sdDown);
  return result;
}

TScrollDirections TBaseDataTree::DetermineScrollDirections(int X, int Y) {
  if (!CanAutoScroll()) return {};
  TScrollDirections result = rawScrollDirections(X, Y);
  if (result.Empty()) {
    FScrollTimerStart = 0;
    return result;
  }
  if (FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling)) return result;
  const std::uint64_t now = GetTickCount64();
  if (FScrollTimerStart == 0) FScrollTimerStart = now;
  // Unsigned times only: the first use is at or before now.
  if (now - FScrollTimerStart < FAutoScrollDelay) return {};
  return result;
}

void TBaseDataTree::DoAutoScroll(int X, int Y) {
  FScrollDirections = DetermineScrollDirections(X, Y);
  if (FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling)) return;
  // The timer runs while the mouse is in a border zone, also during the
  // delay, so that a mouse held still starts scrolling when the delay ends.
  const bool inZone = !rawScrollDirections(X, Y).Empty();
  if (!inZone) {
    if (FStates.Contains(tsScrollPending) || FStates.Contains(tsScrolling)) {
      StopTimer(ScrollTimer);
      DoStateChange({}, {tsScrollPending, tsScrolling});
    }
    FScrollTimerStart = 0;
    return;
  }
  if (!FStates.Contains(tsScrollPending) && !FStates.Contains(tsScrolling)) {
    DoStateChange({tsScrollPending});
    StartTreeTimer(ScrollTimer, std::max<std::uint32_t>(FAutoScrollInterval, 1));
  }
}

void TBaseDataTree::DoTimerScroll() {
  TPoint p;
  GetCursorPos(&p);
  p = ScreenToClient(p);
  const std::int64_t clientWidth = ClientWidth(), clientHeight = ClientHeight();
  const bool inView = p.x >= 0 && p.y >= 0 && p.x < clientWidth && p.y < clientHeight;
  const bool panning = FStates.Contains(tsWheelPanning) || FStates.Contains(tsWheelScrolling);
  const bool drawing = FStates.Contains(tsDrawSelecting);
  if (!drawing && !inView && !panning) return;

  FScrollDirections = DetermineScrollDirections(p.x, p.y);
  std::int64_t deltaX = 0, deltaY = 0;
  const std::int64_t x = p.x, y = p.y;
  auto outside = [](std::int64_t v, std::int64_t low, std::int64_t high) -> std::int64_t {
    if (v < low) return low - v;
    if (v > high) return v - high;
    return 1;
  };
  const std::int64_t vertical = std::min<std::int64_t>(clientHeight, ScrollBarOptions().VerticalIncrement());
  const std::int64_t horizontal = ScrollBarOptions().HorizontalIncrement();
  if (FScrollDirections.Contains(sdUp)) {
    deltaY = panning ? std::int64_t(FPanningPosition.y) - y - kPanningDeadZone
                     : vertical * outside(y, 0, clientHeight);
    if (FOffsetY == 0) FScrollDirections.Exclude(sdUp);
  }
  if (FScrollDirections.Contains(sdDown)) {
    deltaY = panning ? std::int64_t(FPanningPosition.y) - y + kPanningDeadZone
                     : -vertical * outside(y, 0, clientHeight);
    if (std::int64_t(ClientHeight()) - FOffsetY >= RangeY64()) FScrollDirections.Exclude(sdDown);
  }
  if (FScrollDirections.Contains(sdLeft)) {
    deltaX = panning ? std::int64_t(FPanningPosition.x) - x - kPanningDeadZone
                     : horizontal * outside(x, 0, clientWidth);
    if (EffectiveOffsetX() == 0) FScrollDirections.Exclude(sdLeft);
  }
  if (FScrollDirections.Contains(sdRight)) {
    deltaX = panning ? std::int64_t(FPanningPosition.x) - x + kPanningDeadZone
                     : -horizontal * outside(x, 0, clientWidth);
    if (std::int64_t(ClientWidth()) + EffectiveOffsetX() >= FRangeX) FScrollDirections.Exclude(sdRight);
  }
  if (UseRightToLeftAlignment()) deltaX = -deltaX;

  if (FScrollDirections.Empty()) {
    if (!panning) {
      StopTimer(ScrollTimer);
      DoStateChange({}, {tsScrolling, tsScrollPending});
    }
    return;
  }
  if (!drawing) {
    if (!FStates.Contains(tsOLEDragging)) scrollBy(deltaX, deltaY);
  } else {
    // The band's far corner stays under the mouse while the rows move.
    scrollBy(deltaX, deltaY);
    if (CalculateSelectionRect(p.x, p.y)) {
      if (HandleDrawSelection(p.x, p.y))
        InvalidateWindow();
      else
        invalidateSelectionBands();
    }
  }
  UpdateTreeWindow();
}

// ---- wheel panning ----------------------------------------------------------------

void TBaseDataTree::StartWheelPanning(TPoint Position) {
  StopTimer(ScrollTimer);
  DoStateChange({tsWheelPanning, tsWheelScrolling});
  TWndMethod proc;
  // The class belongs to this code; a class of that name with another
  // procedure is registered again with ours.
  if (!GetWindowClassProc(kPanningClass, &proc) || !proc) RegisterWindowClass(kPanningClass, PanningWindowProc);
  FPanningWindow = CreatePopupToolWindow(kPanningClass, HandleAllocated() ? Handle() : nullptr,
                                         Bounds(Position.x - 16, Position.y - 16, 32, 32));
  const std::int64_t clientWidth = ClientWidth(), clientHeight = ClientHeight();
  TPanningKind kind = pkAll;
  if (FRangeX <= clientWidth) kind = pkNorthSouth;
  else if (RangeY64() <= clientHeight) kind = pkEastWest;
  FPanningImage = MakePanningImage(kind);
  TAMRIX_ASSERT(FPanningImage && FPanningImage->Width() > 0 && FPanningImage->Height() > 0,
                "Invalid wheel panning image.");
  if (FPanningWindow) {
    SetPanningImage(FPanningWindow, FPanningImage.get());
    SetWindowRgn(FPanningWindow, PanningRegion(*FPanningImage), false);
    ShowWindow(FPanningWindow, SW_SHOWNOACTIVATE);
  }
  if (!Focused() && CanFocus()) SetFocus();
  if (HandleAllocated()) SetCapture(Handle());
  StartTreeTimer(ScrollTimer, 20);
}

void TBaseDataTree::StopWheelPanning() {
  if (!FStates.Contains(tsWheelPanning) && !FStates.Contains(tsWheelScrolling)) return;
  StopTimer(ScrollTimer);
  releaseCapture();
  DoStateChange({}, {tsWheelPanning, tsWheelScrolling});
  if (FPanningWindow) {
    SetPanningImage(FPanningWindow, nullptr);
    DestroyWindow(FPanningWindow);
    FPanningWindow = nullptr;
  }
  FPanningImage.reset();
  if (FPanningCursor) {
    DestroyCursor(FPanningCursor);
    FPanningCursor = nullptr;
  }
  FPanningCursorKind = -1;
  if (HandleAllocated()) Perform(WM_SETCURSOR, WPARAM(Handle()), HTCLIENT);
}

void TBaseDataTree::UpdatePanningCursor(int X, int Y) {
  const std::int64_t dx = std::int64_t(X) - FPanningPosition.x;
  const std::int64_t dy = std::int64_t(Y) - FPanningPosition.y;
  const bool canVertical = RangeY64() > ClientHeight();
  const bool canHorizontal = FRangeX > ClientWidth();
  TPanningCursor kind;
  if (std::abs(dx) <= kPanningDeadZone && std::abs(dy) <= kPanningDeadZone) {
    kind = canVertical && canHorizontal ? pcMoveAll : canVertical ? pcMoveNS : pcMoveEW;
  } else if (canVertical && canHorizontal) {
    const bool north = dy < -kPanningDeadZone, south = dy > kPanningDeadZone;
    const bool west = dx < -kPanningDeadZone, east = dx > kPanningDeadZone;
    if (north) kind = west ? pcMoveNW : east ? pcMoveNE : pcMoveN;
    else if (south) kind = west ? pcMoveSW : east ? pcMoveSE : pcMoveS;
    else kind = west ? pcMoveW : pcMoveE;
  } else if (canVertical) {
    kind = dy < 0 ? pcMoveN : pcMoveS;
  } else {
    kind = dx < 0 ? pcMoveW : pcMoveE;
  }
  if (int(kind) == FPanningCursorKind) return;
  HCURSOR cursor = MakePanningCursor(kind);
  if (!cursor) return;
  if (FPanningCursor) DestroyCursor(FPanningCursor);
  FPanningCursor = cursor;
  FPanningCursorKind = int(kind);
  ::SetCursor(cursor);
}
