// Block boxes on the canvas: the background (colour and tiled picture) of
// the visible slice, the content in stacking order, the border; page
// breaks while printing.
#include "html/paint/block_paint.h"

#include <algorithm>

#include "html/images/image_object.h"
#include "html/layout/layout_device.h"
#include "html/model/block.h"
#include "html/model/document.h"
#include "html/model/indent_manager.h"
#include "html/model/table.h"
#include "html/model/viewer_base.h"
#include "html/paint/borders.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

void PaintTiledBackground(TCanvas* Canvas, TGraphic* Image, const TBackgroundPosRecs& Pos, const TRect& Box,
                          const TRect& Visible) {
  if (!Image || Image->Empty()) return;
  const int iw = Image->Width(), ih = Image->Height();
  TRect area;
  if (!IntersectRect(area, Box, Visible)) return;
  int xStart = 0, yStart = 0, xLast = 0, yLast = 0;
  // Tiles are computed for the visible band only: start, step and end are
  // taken relative to the box, then cut to the band.
  CalcBackgroundLocationAndTiling(Pos, 0, 0, 0, 0, iw, ih, Box.Width(), Box.Height(), xStart, yStart, xLast, yLast);
  if (iw <= 0 || ih <= 0) return;
  const int bandTop = area.Top - Box.Top, bandBottom = area.Bottom - Box.Top;
  if (yLast > yStart && yStart < bandTop) yStart += (bandTop - yStart) / ih * ih;
  yLast = std::min(yLast, bandBottom);
  HDC dc = Canvas->Handle();
  HRGN rgn = nullptr, save = nullptr;
  // The clip is made in device units through the canvas's mapping (a
  // printer's differs from the screen's one to one): the last row of tiles
  // is cut at the box's edge on paper too.
  GetClippingRgn(Canvas, area, true, rgn, save);
  for (int y = yStart; y <= yLast && y < bandBottom; y += ih)
    for (int x = xStart; x <= xLast && x < Box.Width(); x += iw) Canvas->Draw(Box.Left + x, Box.Top + y, Image);
  RestoreClipping(Canvas, rgn, save);
  (void)dc;
}

void TBlock::DrawBlockBorder(TCanvas* Canvas, const TRect& ORect, const TRect& IRect) {
  if (!HasBorderStyle || ORect == IRect) return;
  auto style = [&](TPropertyIndex i) {
    const int32_t v = Box[size_t(MA(i))];
    return v >= 0 && v <= 8 ? TBorderStyleType(v) : bssNone;
  };
  auto color = [&](TPropertyIndex i) {
    const int32_t v = Box[size_t(MA(i))];
    return v == clNone || v == NotSetValue || v == AutoValue ? Color : TColor(v);
  };
  const bool printing = Document && Document->Printing;
  const TColor bg = Box[size_t(MA(piBackgroundColor))];
  DrawBorder(Canvas, ORect, IRect, printing, bg == NotSetValue ? clNone : bg,
             {style(piBorderLeftStyle), style(piBorderTopStyle), style(piBorderRightStyle), style(piBorderBottomStyle)},
             {color(piBorderLeftColor), color(piBorderTopColor), color(piBorderRightColor), color(piBorderBottomColor)});
}

bool TBlock::LowerPageBottom(const TRect& ARect, int Value) {
  // A page never ends at or above its own top: what does not fit on a
  // whole page is printed and cut instead of being pushed on for ever.
  if (!Document) return false;
  const int pageTop = ARect.Top + Document->ScrollY;
  if (Value <= pageTop || Value >= Document->PageBottom) return false;
  Document->PageBottom = Value;
  return true;
}

int TBlock::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  const int result = LayoutTop + Height;
  if (Display == pdNone || Visibility == 1 || !Document) return result;
  if (Document->SkipBlock) {
    Document->SkipBlock = false;
    return result;
  }
  if (Document->Printing && Positioning != posAbsolute) {
    const int mt = BoxValue(piMarginTop);
    const int pageTop = ARect.Top + Document->ScrollY;
    const int pageHeight = ARect.Height();
    if (PageBreakBefore && !Document->FirstOnPage) {
      if (pageTop < LayoutTop + mt) {
        if (LowerPageBottom(ARect, LayoutTop + mt)) Document->PageBreakFlag = true;
        Document->SkipBlock = false;
        return result;
      }
    }
    if (AvoidBreakInside && LayoutTop > pageTop && LayoutTop + PaintHeight > Document->PageBottom &&
        pageHeight > PaintHeight - mt)
      LowerPageBottom(ARect, LayoutTop + mt);
    if (PageBreakAfter && LayoutTop + Height < Document->PageBottom) LowerPageBottom(ARect, LayoutTop + Height);
    // A table with header rows decides by itself where it starts: on this
    // page when its header, first body row and footer fit here (the rest
    // runs on under a repeated header), else on the next.
    if (auto* tb = dynamic_cast<TTableBlock*>(this); tb && tb->Table && tb->Table->HeaderHeight == 0) {
      const bool fits = PaintHeight - mt < pageHeight;
      if (LayoutTop > pageTop + pageHeight * 2 / 3 && LayoutTop + PaintHeight > Document->PageBottom && fits)
        LowerPageBottom(ARect, LayoutTop + mt);
    }
  }
  switch (Positioning) {
    case posRelative: DrawBlock(Canvas, ARect, IMgr, X + OffsetLeft, LayoutTop + OffsetTop, XRef, YRef); break;
    case posAbsolute:
    case posFixed: DrawBlock(Canvas, ARect, IMgr, XRef + OffsetLeft, YRef + OffsetTop, XRef, YRef); break;
    default: DrawBlock(Canvas, ARect, IMgr, X, LayoutTop, XRef, YRef); break;
  }
  return result;
}

void TBlock::DrawPaintList(TCanvas* Canvas, const TRect& ARect, TIndentManager* Mgr, int X, int XRef, int YRef) {
  const size_t n = PaintList.size();
  for (size_t i = PaintWalk.Begin(Document, ARect, n, [this](size_t k) { return PaintList[k]; }); i < n; ++i) {
    TSectionBase* item = PaintList[i];
    if (PaintWalk.EndsAt(item, ARect)) break;
    if (!item->OffPrintedPage(ARect)) item->Draw(Canvas, ARect, Mgr, X, XRef, YRef);
  }
}

void TBlock::DrawBlock(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int Y, int XRef, int YRef) {
  const int yOff = Document->ScrollY;
  const int ml = BoxValue(piMarginLeft), mt = Box[size_t(MA(piMarginTop))] == AutoValue ? 0 : Box[size_t(MA(piMarginTop))];
  const int mb = Box[size_t(MA(piMarginBottom))] == AutoValue ? 0 : Box[size_t(MA(piMarginBottom))];
  const int bl = BoxValue(piBorderLeftWidth), bt = BoxValue(piBorderTopWidth), br = BoxValue(piBorderRightWidth),
            bb = BoxValue(piBorderBottomWidth);
  const int pl = BoxValue(piPaddingLeft), pt = BoxValue(piPaddingTop), pr = BoxValue(piPaddingRight),
            pb = BoxValue(piPaddingBottom);
  const int right = X + ContentLeft + ContentWidth + pr + br;
  if (Float == ANone) {
    const int bottomShift = Positioning == posRelative ? OffsetTop : 0;
    BoxRect = TRect(X + ml, Y + ClearAddon + mt - yOff, right, OuterBottom - mb + bottomShift - yOff);
  } else {
    BoxRect = TRect(X + ContentLeft - pl - bl, BorderTop - yOff, right, OuterBottom - mb - yOff);
  }
  const TRect padRect(BoxRect.Left + bl, BoxRect.Top + bt, BoxRect.Right - br, BoxRect.Bottom - bb);

  HDC dc = Canvas->Handle();
  HRGN savedClip = nullptr;
  bool clipSaved = false;
  if (Positioning != posStatic && Positioning != posRelative && Document->TableNesting > 0) {
    savedClip = CreateRectRgn(0, 0, 0, 0);
    if (GetClipRgn(dc, savedClip) != 1) {
      DeleteObject(savedClip);
      savedClip = nullptr;
    }
    SelectClipRgn(dc, nullptr);
    clipSaved = true;
  }

  TRect meet;
  if (IntersectRect(meet, BoxRect, ARect) || BoxRect.IsEmpty()) {
    if (BGPending && BGImage) {
      if (BGImage->Image == ErrorBitmap()) BGImage.reset();
      BGPending = false;
    }
    if (!Document->NoBlockPaint) {
      // Only the visible slice of the box is painted.
      const int sliceTop = std::max(ARect.Top - 2, padRect.Top), sliceBottom = std::min(ARect.Bottom, padRect.Bottom);
      const TColor bg = Box[size_t(MA(piBackgroundColor))];
      const bool paintBg = !Document->Printing || Document->PrintBlockBackgrounds;
      if (paintBg && sliceBottom > sliceTop) {
        if (bg != clNone && bg != NotSetValue)
          htPaint::FillRect(Canvas, TRect(padRect.Left, sliceTop, padRect.Right, sliceBottom), bg);
        if (BGImage && BGImage->Image && BGImage->Image != DefBitmap() && Document->ImagesOn)
          PaintTiledBackground(Canvas, BGImage->Image, BGPos, padRect, TRect(padRect.Left, sliceTop, padRect.Right, sliceBottom));
      }
    }
  }

  HRGN clipRgn = nullptr, saveRgn = nullptr;
  if (ClipOverflow) {
    const TRect clip = Float != ANone ? padRect : TRect(padRect.Left + pl, padRect.Top + pt, padRect.Right - pr, padRect.Bottom - pb);
    GetClippingRgn(Canvas, clip, Document->Printing, clipRgn, saveRgn);
  }
  if (!Document->NoBlockPaint) {
    TIndentManager* mgr = MyCell->IndentManager ? MyCell->IndentManager : IMgr;
    const auto saveID = mgr ? mgr->CurrentID : nullptr;
    const int saveEdge = mgr ? mgr->LeftEdge : 0;
    if (mgr) {
      mgr->CurrentID = this;
      if (Positioning == posRelative) mgr->LeftEdge = saveEdge + OffsetLeft;
    }
    DrawPaintList(Canvas, ARect, mgr, X + ContentLeft, XRef, YRef);
    if (mgr) {
      mgr->CurrentID = saveID;
      mgr->LeftEdge = saveEdge;
    }
  }
  if (ClipOverflow) RestoreClipping(Canvas, clipRgn, saveRgn);
  if (!Document->NoBlockPaint) DrawBlockBorder(Canvas, BoxRect, padRect);
  if (clipSaved) {
    SelectClipRgn(dc, savedClip);
    if (savedClip) DeleteObject(savedClip);
  }
}
