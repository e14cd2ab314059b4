// Dispatchers of the header's events: each gives the default answer when
// its event is not assigned. The header is the sender of every one.
#include "tree/base_tree.h"

void TBaseDataTree::DoHeaderClick(TDTHeader* Sender, TColumnIndex Column, TMouseButton Button, TShiftState Shift,
                                  int X, int Y) {
  RaiseEvent(OnHeaderClick, Sender, Column, Button, Shift, X, Y);
}

void TBaseDataTree::DoHeaderImageClick(TDTHeader* Sender, TColumnIndex Column, TMouseButton Button,
                                       TShiftState Shift, int X, int Y) {
  // Without a handler of its own an image click is a click.
  if (OnHeaderImageClick)
    RaiseEvent(OnHeaderImageClick, Sender, Column, Button, Shift, X, Y);
  else
    DoHeaderClick(Sender, Column, Button, Shift, X, Y);
}

void TBaseDataTree::DoHeaderCheckBoxClick(TDTHeader* Sender, TColumnIndex Column, TMouseButton Button,
                                          TShiftState Shift, int X, int Y) {
  RaiseEvent(OnHeaderCheckBoxClick, Sender, Column, Button, Shift, X, Y);
}

void TBaseDataTree::DoHeaderMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  RaiseEvent(OnHeaderMouseDown, &Header(), Button, Shift, X, Y);
}

void TBaseDataTree::DoHeaderMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  RaiseEvent(OnHeaderMouseUp, &Header(), Button, Shift, X, Y);
}

void TBaseDataTree::DoHeaderMouseMove(TShiftState Shift, int X, int Y) {
  RaiseEvent(OnHeaderMouseMove, &Header(), Shift, X, Y);
}

bool TBaseDataTree::DoHeaderDragging(TColumnIndex Column) {
  bool allowed = true;
  RaiseEvent(OnHeaderDragging, &Header(), Column, allowed);
  return allowed;
}

void TBaseDataTree::DoHeaderDragged(TColumnIndex Column, std::uint32_t OldPosition) {
  RaiseEvent(OnHeaderDragged, &Header(), Column, OldPosition);
}

void TBaseDataTree::DoHeaderDraggedOut(TColumnIndex Column, TPoint DropPosition) {
  RaiseEvent(OnHeaderDraggedOut, &Header(), Column, DropPosition);
}

void TBaseDataTree::DoGetHeaderCursor(TCursor& Cursor) {
  RaiseEvent(OnGetHeaderCursor, &Header(), Cursor);
}

void TBaseDataTree::DoBeforeHeightTracking(TShiftState Shift) {
  RaiseEvent(OnBeforeHeaderHeightTracking, &Header(), Shift);
}

bool TBaseDataTree::DoHeightTracking(TPoint& P, TShiftState Shift) {
  bool allowed = true;
  RaiseEvent(OnHeaderHeightTracking, &Header(), P, Shift, allowed);
  return allowed;
}

void TBaseDataTree::DoAfterHeightTracking() {
  RaiseEvent(OnAfterHeaderHeightTracking, &Header());
}

bool TBaseDataTree::DoHeightDblClickResize(TPoint P, TShiftState Shift) {
  bool allowed = true;
  RaiseEvent(OnHeaderHeightDblClickResize, &Header(), P, Shift, allowed);
  return allowed;
}

void TBaseDataTree::DoBeforeColumnWidthTracking(TColumnIndex Column, TShiftState Shift) {
  RaiseEvent(OnBeforeColumnWidthTracking, &Header(), Column, Shift);
}

bool TBaseDataTree::DoColumnWidthTracking(TColumnIndex Column, TShiftState Shift, TPoint& TrackPoint, TPoint P) {
  bool allowed = true;
  RaiseEvent(OnColumnWidthTracking, &Header(), Column, Shift, TrackPoint, P, allowed);
  return allowed;
}

void TBaseDataTree::DoAfterColumnWidthTracking(TColumnIndex Column) {
  RaiseEvent(OnAfterColumnWidthTracking, &Header(), Column);
}

bool TBaseDataTree::DoColumnWidthDblClickResize(TColumnIndex Column, TShiftState Shift, TPoint P) {
  bool allowed = true;
  RaiseEvent(OnColumnWidthDblClickResize, &Header(), Column, Shift, P, allowed);
  return allowed;
}

void TBaseDataTree::DoHeaderDraw(TCanvas* Canvas, TColumnIndex Column, const TRect& R, bool Hover, bool Pressed,
                                 int DropMark) {
  RaiseEvent(OnHeaderDraw, &Header(), Canvas, Column, R, Hover, Pressed, DropMark);
}

void TBaseDataTree::DoHeaderDrawQueryElements(THeaderPaintInfo& PaintInfo, THeaderPaintElements& Elements) {
  RaiseEvent(OnHeaderDrawQueryElements, &Header(), PaintInfo, Elements);
}

void TBaseDataTree::DoAdvancedHeaderDraw(THeaderPaintInfo& PaintInfo, THeaderPaintElements Elements) {
  RaiseEvent(OnAdvancedHeaderDraw, &Header(), PaintInfo, Elements);
}
