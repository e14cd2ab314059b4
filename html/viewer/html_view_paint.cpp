// The viewer on the screen: the paint panel's paint, the
// background, the scroll bars' handlers, keys and the wheel.
#include <algorithm>
#include <cstdlib>

#include "html/parse/html_common.h"
#include "html/model/document.h"
#include "html/viewer/html_view.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/windows.h"

// ---- the paint panel ---------------------------------------------------------------

TPaintPanel::TPaintPanel(TComponent* AOwner, THtmlView* Viewer) : TCustomPanel(AOwner), FViewer(Viewer) {}

// The viewer's own drag events, raised as all of its events are.
void TPaintPanel::DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept) {
  FViewer->DragOver(Source, X, Y, State, Accept);
}

void TPaintPanel::DragDrop(TObject* Source, int X, int Y) { FViewer->DragDrop(Source, X, Y); }

void THtmlView::DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept) {
  Accept = bool(OnDragOver);
  (void)htRaiseEvent(FLife, OnDragOver, this, Source, X, Y, State, Accept);
}

void THtmlView::DragDrop(TObject* Source, int X, int Y) { (void)htRaiseEvent(FLife, OnDragDrop, this, Source, X, Y); }

void TPaintPanel::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND:
      Message.Result = 1;  // the paint covers everything
      return;
    case WM_LBUTTONDBLCLK:
      // The second press of a double click selects a word; it is no new
      // selection start, which would undo that.
      if (Message.WParam & MK_LBUTTON)
        FViewer->HTMLMouseDblClk(Message);
      else
        TCustomPanel::Dispatch(Message);
      return;
    default:
      TCustomPanel::Dispatch(Message);
  }
}

void TPaintPanel::Paint() {
  if (FViewer->ViewerState().Contains(stNoDraw)) return;
  const TRect R = Canvas()->ClipRect();
  if (R.Width() <= 0 || R.Height() <= 0) return;
  // The window system paints into an off-screen store and shows it whole,
  // so the page is painted in place: a bitmap of our own in between only
  // cost its allocation and a copy of every pixel.
  TCanvas* canvas = Canvas();
  canvas->Font()->Assign(*Font());
  canvas->Brush()->SetColor(Color());
  canvas->Brush()->SetStyle(bsSolid);
  FViewer->updateBorder();
  FViewer->PaintDocument(canvas, R);
}

// ---- painting the document ---------------------------------------------------------

namespace {

// Fills R with Color and tiles Image over it from the tile at (XStart,
// YStart) to the one at (XLast, YLast), both included: the last ones are
// those the area's right and bottom edges cut.
void drawBackground(TCanvas* Canvas, const TRect& R, int XStart, int YStart, int XLast, int YLast,
                    TGraphic* Image, int W, int H, TColor Color) {
  const TColor oldBrush = Canvas->Brush()->Color();
  Canvas->Brush()->SetColor(TColor(Color | PalRelative));
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->FillRect(R);
  if (Image && W > 0 && H > 0) {
    if (W == 1 && H == 1) {
      // A one-pixel picture fills the area in one go instead of a blit per pixel.
      Canvas->StretchDraw(TRect{XStart, YStart, XLast + 1, YLast + 1}, Image);
    } else {
      for (int y = YStart; y <= YLast; y += H)
        for (int x = XStart; x <= XLast; x += W) Canvas->Draw(x, y, Image);
    }
  }
  Canvas->Brush()->SetColor(oldBrush);
}

}  // namespace

void THtmlView::PaintDocument(TCanvas* Canvas, const TRect& R) {
  ThtDocument* doc = FSectionList.get();
  if (doc->Printing) return;
  TGraphic* image = doc->ImagesOn ? doc->BackgroundImage : nullptr;
  if (!image || image->Width() <= 0 || image->Height() <= 0) {
    FViewerState.Exclude(stBackgroundFixed);
    drawBackground(Canvas, R, 0, 0, 0, 0, nullptr, 0, 0, Canvas->Brush()->Color());
  } else {
    const int IW = image->Width(), IH = image->Height();
    const bool fixed = doc->BackgroundPos[1].Fixed;
    if (fixed)
      FViewerState.Include(stBackgroundFixed);
    else
      FViewerState.Exclude(stBackgroundFixed);
    int xOff = 0, yOff = 0, areaW = FPaintPanel->ClientWidth(), areaH = FPaintPanel->ClientHeight();
    if (!fixed) {
      xOff = HScrollPos();
      yOff = doc->ScrollY;
      areaW = std::max(FHScrollBar->Max(), areaW);
      areaH = std::max(areaH, FDocHeight);
    }
    int XStart, YStart, XLast, YLast;
    CalcBackgroundLocationAndTiling(doc->BackgroundPos, R.Left, R.Top, xOff, yOff, IW, IH, areaW, areaH,
                                    XStart, YStart, XLast, YLast);
    drawBackground(Canvas, R, XStart, YStart, XLast, YLast, image, IW, IH, Canvas->Brush()->Color());
  }
  doc->Draw(Canvas, R, 6000, -HScrollPos(), 0, 0, 0);
}

// ---- scroll bars -------------------------------------------------------------------

void THtmlView::scrollPanelBy(int OldPos, int NewPos) {
  if (FViewerState.Contains(stBackgroundFixed) || !FPaintPanel->HandleAllocated()) {
    FPaintPanel->Invalidate();
    return;
  }
  // Only the uncovered strip is painted; form controls move with the page.
  ScrollWindow(FPaintPanel->Handle(), 0, OldPos - NewPos, nullptr, nullptr);
  FPaintPanel->Update();
}

void THtmlView::vScroll(TObject*, TScrollCode, int& ScrollPos) {
  ScrollPos = std::max(0, std::min(ScrollPos, FVScrollBar->Max() - FPaintPanel->Height()));
  const int old = FSectionList->ScrollY;
  FSectionList->SetScrollY(ScrollPos);
  scrollPanelBy(old, ScrollPos);
}

void THtmlView::hScroll(TObject*, TScrollCode, int& ScrollPos) {
  ScrollPos = std::max(0, std::min(ScrollPos, FHScrollBar->Max() - FPaintPanel->Width()));
  FPaintPanel->Invalidate();
}

// ---- keys ------------------------------------------------------------------------------

void THtmlView::KeyDown(WORD& Key, TShiftState Shift) {
  // The control's own OnKeyDown first; Key is the caller's. A handler that
  // freed the viewer ends the key here: Key is cleared, so the control's
  // own key handling that called us touches nothing of it afterwards.
  if (htRaiseEvent(FLife, OnKeyDown, this, Key, Shift).Gone()) {
    Key = 0;
    return;
  }
  if (Key == 0) return;
  if (FViewerState.Contains(stMiddleScroll)) {
    FViewerState.Exclude(stMiddleScroll);
    FViewerState.Exclude(stMouseScrolling);
    FPaintPanel->SetCursor(Cursor());
    return;
  }
  const TShiftState mods = Shift * TShiftState{ssShift, ssCtrl, ssAlt};
  const bool none = mods.Empty();
  const int P = FVScrollBar->Position();
  const int SC = FVScrollBar->SmallChange();
  const int LC = FVScrollBar->LargeChange();
  int N = P;
  switch (Key) {
    case VK_SPACE:
      if (none) N = P + LC;
      else if (mods == TShiftState{ssShift}) N = P - LC;
      break;
    case VK_PRIOR: if (none) N = P - LC; break;
    case VK_NEXT: if (none) N = P + LC; break;
    case VK_END: if (mods == TShiftState{ssCtrl}) N = FDocHeight; break;
    case VK_HOME: if (mods == TShiftState{ssCtrl}) N = 0; break;
    case VK_UP: if (none) N = P - SC; break;
    case VK_DOWN: if (none) N = P + SC; break;
    default: break;
  }
  N = std::max(0, std::min(N, FDocHeight - FPaintPanel->Height()));
  if (N != P) {
    FVScrollBar->SetPosition(N);
    const int old = FSectionList->ScrollY;
    FSectionList->SetScrollY(N);
    if (!FViewerState.Contains(stBackgroundFixed) && std::abs(N - P) == SC)
      scrollPanelBy(old, N);
    else
      FPaintPanel->Invalidate();
  }
  if (none && (Key == VK_LEFT || Key == VK_RIGHT)) {
    const int HP = FHScrollBar->Position();
    int HN = HP + (Key == VK_LEFT ? -FHScrollBar->SmallChange() : FHScrollBar->SmallChange());
    HN = std::max(0, std::min(HN, FHScrollBar->Max() - FPaintPanel->Width()));
    if (HN != HP) {
      FHScrollBar->SetPosition(HN);
      FPaintPanel->Invalidate();
    }
  }
}

// A handler that freed the viewer ends the key: the platform's key
// handling that called us sees it cleared.
void THtmlView::KeyUp(WORD& Key, TShiftState Shift) {
  if (htRaiseEvent(FLife, OnKeyUp, this, Key, Shift).Gone()) Key = 0;
}

void THtmlView::KeyPress(char16_t& Key) {
  if (htRaiseEvent(FLife, OnKeyPress, this, Key).Gone()) Key = 0;
}

// ---- wheel -------------------------------------------------------------------------------

bool THtmlView::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool handled = false;
  if (htRaiseEvent(FLife, OnMouseWheel, this, Shift, WheelDelta, MousePos, handled).Gone()) return true;
  if (handled) return true;
  if (FOptions.Contains(htNoWheelMouse)) return false;
  UINT lines = 3;
  SystemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  int step;
  if (lines >= 1 && lines != WHEEL_PAGESCROLL) {
    // The move follows the delta: a notch (120) scrolls the set number of
    // lines, a touchpad's small deltas add up until they make a pixel.
    const int units = WheelDelta * int(lines) * FVScrollBar->SmallChange() + FWheelRemainder;
    step = units / 120;
    FWheelRemainder = units % 120;
  } else {
    step = WheelDelta / 2;
  }
  if (step != 0) SetVScrollPos(FVScrollBar->Position() - step);
  return true;
}
