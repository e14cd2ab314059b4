// Painting: rows are drawn one at a time into a buffer one row high and
// copied to the target in one transfer each, so nothing flickers and only
// the rows inside the painted area are visited.
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/themes.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"

namespace {
constexpr TPaintTreeOptions PaintAllOptions{ptoBackground, ptoColumnColor, ptoFocusRect,
                                            ptoSelection,  ptoDropMark,    ptoGridLines};

}  // namespace

// ---- dispatchers ------------------------------------------------------------------------

bool TBaseDataTree::DoBeforeItemPaint(TCanvas* Canvas, PDataNode Node, const TRect& ItemRect) {
  bool custom = false;
  RaiseEvent(OnBeforeItemPaint, this, Canvas, Node, ItemRect, custom);
  return custom;
}

void TBaseDataTree::DoAfterItemPaint(TCanvas* Canvas, PDataNode Node, const TRect& ItemRect) {
  RaiseEvent(OnAfterItemPaint, this, Canvas, Node, ItemRect);
}

void TBaseDataTree::DoBeforeCellPaint(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, TRect& ContentRect) {
  RaiseEvent(OnBeforeCellPaint, this, Canvas, Node, Column, ContentRect);
}

void TBaseDataTree::DoAfterCellPaint(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, const TRect& CellRect) {
  RaiseEvent(OnAfterCellPaint, this, Canvas, Node, Column, CellRect);
}

void TBaseDataTree::DoBeforePaint(TCanvas* Canvas) {
  RaiseEvent(OnBeforePaint, this, Canvas);
}

void TBaseDataTree::DoAfterPaint(TCanvas* Canvas) {
  RaiseEvent(OnAfterPaint, this, Canvas);
}

bool TBaseDataTree::DoPaintBackground(TCanvas* Canvas, const TRect& R) {
  bool handled = false;
  RaiseEvent(OnPaintBackground, this, Canvas, R, handled);
  return handled;
}

void TBaseDataTree::DoPaintDropMark(TCanvas* Canvas, PDataNode, const TRect& R) {
  if (FLastDropMode != dmAbove && FLastDropMode != dmBelow) return;
  TPenStyle oldPen = Canvas->Pen()->Style();
  TColor oldBrush = Canvas->Brush()->Color();
  Canvas->Pen()->SetStyle(psClear);
  Canvas->Brush()->SetColor(FColors->DropMarkColor());
  const int l = R.Left, t = R.Top, r = R.Right, b = R.Bottom;
  if (FLastDropMode == dmAbove)
    Canvas->Polygon({{l + 2, t}, {r - 2, t}, {r - 2, t + 6}, {r - 6, t + 2}, {l + 6, t + 2}, {l + 2, t + 6}});
  else
    Canvas->Polygon({{l + 2, b - 1}, {r - 2, b - 1}, {r - 2, b - 8}, {r - 7, b - 3}, {l + 7, b - 3}, {l + 2, b - 8}});
  Canvas->Pen()->SetStyle(oldPen);
  Canvas->Brush()->SetColor(oldBrush);
}

// ---- the window's paint ---------------------------------------------------------------------

void TBaseDataTree::Paint() {
  TRect update;
  if (!GetUpdateRect(Handle(), &update, false) || update.IsEmpty()) return;
  if (FToggleSlide != tgNone) {
    paintToggleFrame(update);
    return;
  }
  const bool columns = FHeader->UseColumns();
  const int rtlOffset = 0;
  const int fixed = columns ? FHeader->Columns().GetVisibleFixedWidth() : 0;
  if (fixed == 0) {
    TRect window = update;
    TPoint target{update.Left, update.Top};
    OffsetRect(window, EffectiveOffsetX() - rtlOffset, -FOffsetY);
    RenderTree(Canvas(), window, target, PaintAllOptions);
    const TRect client = ClientRect();
    requestRangeXUpdate(update.Left <= client.Left && update.Top <= client.Top && update.Right >= client.Right &&
                        update.Bottom >= client.Bottom);
    return;
  }
  TRect client = ClientRect();
  TRect window = client;
  window.Right = fixed;
  TPoint target{window.Left, window.Top};
  OffsetRect(window, -rtlOffset, -FOffsetY);
  RenderTree(Canvas(), window, target, PaintAllOptions);
  if (fixed < client.Width()) {
    window = client;
    window.Left = fixed;
    target = {window.Left, window.Top};
    OffsetRect(window, EffectiveOffsetX() - rtlOffset, -FOffsetY);
    RenderTree(Canvas(), window, target, PaintAllOptions);
  }
}

// ---- the frames of a toggle animation ------------------------------------------------------

void TBaseDataTree::paintToggleFrame(const TRect& Update) {
  // The tree has not changed yet: its rows as they are, a band of them
  // moved by the distance covered so far, and the strip the band left
  // filled with the background.
  const int height = ClientHeight();
  const int band = FToggleBand;
  const int shift = FToggleShift;
  struct TPart {
    int Top, Bottom, Shift;
    bool Fill;
  };
  TPart parts[3];
  int count = 0;
  switch (FToggleSlide) {
    case tgDown:  // rows open below the node
      parts[count++] = {0, band, 0, false};
      parts[count++] = {band, band + shift, 0, true};
      parts[count++] = {band + shift, height, shift, false};
      break;
    case tgUp:  // rows close below the node
      parts[count++] = {0, band, 0, false};
      parts[count++] = {band, height - shift, -shift, false};
      parts[count++] = {height - shift, height, 0, true};
      break;
    case tgTopUp:  // the node and what is above it go up
      parts[count++] = {0, band - shift, -shift, false};
      parts[count++] = {band - shift, height, 0, true};
      break;
    case tgNone:
      break;
  }
  for (int i = 0; i < count; ++i) {
    TRect area{Update.Left, std::max(Update.Top, parts[i].Top), Update.Right, std::min(Update.Bottom, parts[i].Bottom)};
    if (area.Top >= area.Bottom || area.Left >= area.Right) continue;
    if (parts[i].Fill)
      fillToggleStrip(area);
    else
      renderShifted(area, parts[i].Shift);
  }
}

void TBaseDataTree::renderShifted(const TRect& Area, int Shift) {
  // Area (client co-ordinates) shows the rows that lie Shift pixels higher
  // (lower, for a negative Shift); fixed columns do not scroll sideways.
  const int fixed = FHeader->UseColumns() ? FHeader->Columns().GetVisibleFixedWidth() : 0;
  auto render = [&](TRect part, int offsetX) {
    if (part.Left >= part.Right) return;
    TRect window = part;
    OffsetRect(window, offsetX, -FOffsetY - Shift);
    RenderTree(Canvas(), window, {part.Left, part.Top}, PaintAllOptions);
  };
  if (fixed == 0) {
    render(Area, EffectiveOffsetX());
    return;
  }
  TRect left = Area, right = Area;
  left.Right = std::min(left.Right, fixed);
  right.Left = std::max(right.Left, fixed);
  render(left, 0);
  render(right, EffectiveOffsetX());
}

void TBaseDataTree::fillToggleStrip(const TRect& Area) {
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(Area);
  if (!FHeader->UseColumns()) return;
  // Column by column, each in its own colour where it has one.
  TDataTreeColumns& columns = FHeader->Columns();
  for (TColumnIndex column = columns.GetFirstVisibleColumn(); column >= 0;
       column = columns.GetNextVisibleColumn(column)) {
    TDataTreeColumn* col = columns[column];
    if (col->Options().Contains(coParentColor)) continue;
    int left = col->GetAbsoluteLeft();
    if (!col->Options().Contains(coFixed)) left -= EffectiveOffsetX();
    const TRect r{std::max(Area.Left, left), Area.Top, std::min(Area.Right, left + col->Width()), Area.Bottom};
    if (r.Left >= r.Right) continue;
    c->Brush()->SetColor(col->Color());
    c->FillRect(r);
  }
}

void TBaseDataTree::PaintNonClientFrame(HDC DC) {
  if (BorderWidth() <= 0) return;
  TRect rc{0, 0, Width(), Height()};
  TRect inner = rc;
  InflateRect(inner, -BorderWidth(), -BorderWidth());
  SaveDC(DC);
  ExcludeClipRect(DC, inner.Left, inner.Top, inner.Right, inner.Bottom);
  HBRUSH brush = CreateSolidBrush(ColorToRGB(FColors->BorderColor()));
  ::FillRect(DC, rc, brush);
  DeleteObject(brush);
  RestoreDC(DC, -1);
}

// ---- row painting -----------------------------------------------------------------------------

void TBaseDataTree::AdjustCellRectangle(TCellPaintInfo& PaintInfo, TColumnIndex& NextNonEmpty) {
  if (FHeader->UseColumns())
    NextNonEmpty = FHeader->Columns().GetNextVisibleColumn(PaintInfo.Column);
  else
    NextNonEmpty = InvalidColumn;
}

void TBaseDataTree::RenderTree(TCanvas* TargetCanvas, TRect Window, TPoint Target, TPaintTreeOptions Options,
                               TPixelFormat PixelFormat) {
  GuardedEntry([&] {
    if (FStates.Contains(tsPainting)) return;
    DoStateChange({tsPainting});
    // The painting state is left and the after-paint event raised on every
    // way out, unless a handler destroyed the tree.
    WithFinish(
        [&] {
          DoBeforePaint(TargetCanvas);

          const bool blended = FDrawSelectionMode == smBlendedRectangle || useThemes() ||
                               FOptions->PaintOptions().Contains(toUseBlendedSelection);
          TBitmap buffer;
          buffer.SetPixelFormat(blended ? pf32bit : (PixelFormat == pfDevice ? pf32bit : PixelFormat));
          TCanvas* bufferCanvas = buffer.Canvas();
          bufferCanvas->Lock();
          struct TUnlock {
            TCanvas* C;
            ~TUnlock() { C->Unlock(); }
          } unlock{bufferCanvas};

          TCellPaintInfo paintInfo;
          paintInfo.Canvas = bufferCanvas;

          TRect selectRect = OrderRect(SelectRect);
          const bool drawRubberBand = IsMouseSelecting() && !selectRect.IsEmpty();

          const int clientWidth = ClientWidth();
          TRect r{0, 0, std::max(FRangeX, clientWidth), 0};
          const int windowWidth = Window.Width();
          if (windowWidth <= 0 || Window.Height() <= 0) return;
          buffer.SetSize(windowWidth, 0);

          const TDTPaintOptions po = FOptions->PaintOptions();
          const TDTSelectionOptions so = FOptions->SelectionOptions();
          const TDTMiscOptions mo = FOptions->MiscOptions();
          TBitmap* picture = FBackground->Graphic() ? FBackground->Bitmap() : nullptr;
          const bool useBackground = po.Contains(toShowBackground) && picture && !picture->Empty() &&
                                     Options.Contains(ptoBackground);
          const bool showImages = FImages != nullptr;
          const bool showStateImages = FStateImages != nullptr;
          const bool showCheckImages = FCheckImages && mo.Contains(toCheckSupport);
          const bool useColumns = FHeader->UseColumns();
          const bool focused = Focused();
          if (po.Contains(toAlwaysHideSelection) || (!focused && po.Contains(toHideSelection)))
            Options.Exclude(ptoSelection);
          if (po.Contains(toHideFocusRect)) Options.Exclude(ptoFocusRect);

          int baseOffset = 0;
          PDataNode node = walkToNodeAt(std::uint32_t(std::max(Window.Top, 0)), baseOffset);
          if (!node) baseOffset = Window.Top;
          OffsetRect(selectRect, 0, -baseOffset);
          const int maximumRight = Target.x + windowWidth;
          const int maximumBottom = Target.y + Window.Height();
          // The first row may begin above the area asked for: it is placed where it
          // really starts, and only its part inside the area is painted.
          const int firstTop = Target.y - (node ? Window.Top - baseOffset : 0);
          TRect targetRect{Target.x, firstTop, maximumRight, firstTop};
          TColumnIndex firstColumn = InvalidColumn;

          int buttonX = buttonOffset();
          std::vector<TDTLineType> lineImage;
          const TColumnIndex mainColumn = FHeader->MainColumn();
          TDataTreeColumns& columns = FHeader->Columns();

          while (node) {
            int selectLevel = DetermineLineImageAndSelectLevel(node, lineImage);
            const int indentSize = int(lineImage.size());
            if (!po.Contains(toFixedIndent))
              buttonX = buttonOffset() + (indentSize - 1) * int(FIndent);
            if (!node->States.Contains(vsInitialized)) InitNode(node);
            if (node->States.Contains(vsSelected) && !po.Contains(toChildrenAbove)) ++selectLevel;
            MeasureItemHeight(bufferCanvas, node);
            const int nodeHeight = node->NodeHeight;
            paintInfo.BrushOrigin = {Window.Left & 1, baseOffset & 1};
            const int nodeTop = baseOffset;
            baseOffset += nodeHeight;
            targetRect.Bottom = targetRect.Top + nodeHeight;

            // The slice of the row inside the area (row coordinates): a row taller
            // than the window is never buffered whole.
            const int sliceTop = std::max(0, Target.y - targetRect.Top);
            const int sliceBottom = std::min(nodeHeight, maximumBottom - targetRect.Top);
            // A row of no height shows nothing and must not stall the walk.
            if (nodeHeight > 0 && sliceBottom > sliceTop && (selectLevel > 0 || !Options.Contains(ptoSelectedOnly))) {
              if (buffer.Height() != sliceBottom - sliceTop) {
                buffer.SetSize(windowWidth, 0);
                buffer.SetSize(windowWidth, sliceBottom - sliceTop);
              }
              SetWindowOrgEx(bufferCanvas->Handle(), Window.Left, sliceTop, nullptr);
              r.Bottom = nodeHeight;
              SetBrushOrgEx(bufferCanvas->Handle(), paintInfo.BrushOrigin.x, (baseOffset - nodeHeight + sliceTop) & 1,
                            nullptr);
              int vAlign = 0, buttonY = 0;
              GetVerticalAlignment(node, showImages, showStateImages, vAlign, buttonY);
              paintInfo.Node = node;

              if (!DoBeforeItemPaint(bufferCanvas, node, r)) {
                paintInfo.PaintOptions = Options;
                ClearNodeBackground(paintInfo, useBackground, true, TRect{Window.Left, nodeTop, Window.Right, nodeTop + nodeHeight});
                paintInfo.CellRect = r;
                TColumnIndex column = NoColumn;
                TColumnPosition position = 0;
                if (useColumns) {
                  // Start with the first visible column reaching into the window.
                  column = columns.GetFirstVisibleColumn();
                  while (column >= 0) {
                    int left, right;
                    columns.GetColumnBounds(column, left, right);
                    left -= FOffsetX * 0;
                    int absLeft = columns[column]->Left();
                    int absRight = absLeft + columns[column]->Width();
                    (void)left;
                    (void)right;
                    if (absRight > Window.Left) {
                      paintInfo.CellRect.Left = absLeft;
                      paintInfo.CellRect.Right = absRight;
                      break;
                    }
                    column = columns.GetNextVisibleColumn(column);
                  }
                  if (column < 0) column = InvalidColumn;
                  else position = columns[column]->Position();
                }
                while ((!useColumns || column >= 0) && paintInfo.CellRect.Left < Window.Right) {
                  // A cell's handlers may take columns away: the row's
                  // cells end where its next column is there no more.
                  if (useColumns && !columns.IsValidColumn(column)) break;
                  paintInfo.Column = useColumns ? column : NoColumn;
                  paintInfo.Position = position;
                  if (useColumns) {
                    if (firstColumn == InvalidColumn) firstColumn = column;
                    paintInfo.BidiMode = columns[column]->BiDiMode();
                    paintInfo.Alignment = columns[column]->Alignment();
                  } else {
                    paintInfo.BidiMode = BiDiMode();
                    paintInfo.Alignment = FAlignment;
                  }
                  paintInfo.PaintOptions = Options;
                  // The node being edited shows no selection in its column; trees
                  // without columns still show theirs.
                  if (node == FEditNode && IsEditing() && FEditColumn == paintInfo.Column)
                    paintInfo.PaintOptions.Exclude(ptoSelection);
                  if (!useColumns || (node->States.Contains(vsSelected) && so.Contains(toFullRowSelect) &&
                                      Options.Contains(ptoSelection)) ||
                      (useColumns && columns[column]->Options().Contains(coParentColor)))
                    paintInfo.PaintOptions.Exclude(ptoColumnColor);
                  const bool isMainColumn = !useColumns || paintInfo.Column == mainColumn;
                  if (paintInfo.BidiMode != bdLeftToRight) {
                    if (paintInfo.Alignment == taLeftJustify)
                      paintInfo.Alignment = taRightJustify;
                    else if (paintInfo.Alignment == taRightJustify)
                      paintInfo.Alignment = taLeftJustify;
                  }
                  TColumnIndex nextColumn = InvalidColumn;
                  const bool paintCell = (!useColumns || columns[column]->Options().Contains(coVisible)) &&
                                         (!Options.Contains(ptoMainColumnOnly) || isMainColumn);
                  if (paintCell) {
                    AdjustCellRectangle(paintInfo, nextColumn);
                    if (paintInfo.CellRect.Right > Window.Left) {
                      paintInfo.NodeWidth = DoGetNodeWidth(node, paintInfo.Column, bufferCanvas);
                      // The row's content starts one margin in, so it ends one margin
                      // further; a multi-line row wraps at the row's width instead.
                      if (!useColumns && !node->States.Contains(vsMultiline))
                        FMaxRightExtend = std::max(FMaxRightExtend, FMargin + nodeRightExtend(node, paintInfo.NodeWidth));
                      paintInfo.ContentRect = paintInfo.CellRect;
                      const bool rtl = paintInfo.BidiMode != bdLeftToRight;
                      if (rtl)
                        paintInfo.ContentRect.Right -= FMargin;
                      else
                        paintInfo.ContentRect.Left += FMargin;
                      for (TDTImageInfo& info : paintInfo.ImageInfo) info = TDTImageInfo();
                      if (isMainColumn && showCheckImages) {
                        TDTImageInfo& check = paintInfo.ImageInfo[iiCheck];
                        check.Index = GetCheckImage(node);
                        check.Images = FCheckImages;
                        if (check.Index > -1) PlaceImage(FCheckImages, rtl, paintInfo.ContentRect, check, vAlign);
                      }
                      if (showStateImages) {
                        TDTImageInfo& info = paintInfo.ImageInfo[iiState];
                        TImageList* list = nullptr;
                        info.Index = GetImageIndex(node, ikState, paintInfo.Column, info.Ghosted, list);
                        info.Images = list;
                        if (info.Index > -1 && list) PlaceImage(list, rtl, paintInfo.ContentRect, info, vAlign);
                      }
                      if (showImages) {
                        TDTImageInfo& info = paintInfo.ImageInfo[iiNormal];
                        TImageList* list = nullptr;
                        info.Index = GetImageIndex(node, node->States.Contains(vsSelected) ? ikSelected : ikNormal,
                                                   paintInfo.Column, info.Ghosted, list);
                        info.Images = list;
                        if (info.Index > -1 && list) PlaceImage(list, rtl, paintInfo.ContentRect, info, vAlign);
                      }
                      if (isMainColumn) ShiftByIndent(paintInfo, po.Contains(toFixedIndent) ? 1 : indentSize);
                      if (useColumns)
                        SetClipRegion(bufferCanvas, paintInfo.CellRect);
                      else
                        SelectClipRgn(bufferCanvas->Handle(), nullptr);

                      if (paintInfo.PaintOptions.Contains(ptoGridLines) && po.Contains(toShowHorzGridLines)) {
                        bufferCanvas->Font()->SetColor(FColors->GridLineColor());
                        int skip = 0;
                        if (isMainColumn && FLineMode == lmBands)
                          skip = int(FIndent) * (po.Contains(toFixedIndent) ? 1 : indentSize);
                        int y = paintInfo.CellRect.Bottom - 1;
                        if (rtl)
                          DrawDottedHLine(paintInfo, paintInfo.CellRect.Left, paintInfo.CellRect.Right - skip - 1, y);
                        else
                          DrawDottedHLine(paintInfo, paintInfo.CellRect.Left + skip, paintInfo.CellRect.Right - 1, y);
                        --paintInfo.CellRect.Bottom;
                        --paintInfo.ContentRect.Bottom;
                      }
                      if (useColumns && paintInfo.PaintOptions.Contains(ptoGridLines) && po.Contains(toShowVertGridLines) &&
                          columns.IsValidColumn(column) &&
                          !(FHeader->Options().Contains(hoAutoResize) &&
                            columns[column]->Position() == TColumnPosition(columns.Count() - 1))) {
                        if (!rtl || !DoGetCellIsEmpty(node, column)) {
                          bufferCanvas->Font()->SetColor(FColors->GridLineColor());
                          DrawDottedVLine(paintInfo, paintInfo.CellRect.Top, paintInfo.CellRect.Bottom,
                                          paintInfo.CellRect.Right - 1);
                        }
                        --paintInfo.CellRect.Right;
                        --paintInfo.ContentRect.Right;
                      }

                      PaintCellBackground(paintInfo, Window.Left, windowWidth);
                      if (isMainColumn) {
                        if (po.Contains(toShowTreeLines)) DrawTreeLines(paintInfo, vAlign, indentSize, lineImage);
                        if (po.Contains(toShowButtons) && node->States.Contains(vsHasChildren) &&
                            !(node->States.Contains(vsAllChildrenHidden) &&
                              FOptions->AutoOptions().Contains(toAutoHideButtons)))
                          DrawExpandButton(bufferCanvas, node, paintInfo.Column, paintInfo.CellRect, buttonX, buttonY,
                                           paintInfo.BidiMode);
                        if (paintInfo.ImageInfo[iiCheck].Index > -1)
                          DrawCheckImage(bufferCanvas, paintInfo.ImageInfo[iiCheck], node->States.Contains(vsSelected));
                      }
                      if (paintInfo.ImageInfo[iiState].Index > -1) DrawNodeImage(paintInfo, iiState, false);
                      if (paintInfo.ImageInfo[iiNormal].Index > -1) DrawNodeImage(paintInfo, iiNormal, true);
                      if (!(IsEditing() && node == FEditNode && FEditColumn == paintInfo.Column))
                        PaintNodeCell(paintInfo);
                      DoAfterCellPaint(bufferCanvas, node, paintInfo.Column, paintInfo.CellRect);
                    }
                  } else if (useColumns) {
                    nextColumn = columns.GetNextVisibleColumn(column);
                  }
                  if (!useColumns) break;
                  SelectClipRgn(bufferCanvas->Handle(), nullptr);
                  if (paintInfo.CellRect.Left >= Window.Right || !columns.IsValidColumn(nextColumn)) break;
                  column = nextColumn;
                  position = columns[column]->Position();
                  paintInfo.CellRect.Left = columns[column]->Left();
                  paintInfo.CellRect.Right = paintInfo.CellRect.Left + columns[column]->Width();
                  paintInfo.CellRect.Bottom = nodeHeight;
                  paintInfo.ContentRect.Bottom = nodeHeight;
                }
              }
              DoAfterItemPaint(bufferCanvas, node, r);
              if (node == FDropTargetNode && po.Contains(toShowDropmark) && Options.Contains(ptoDropMark))
                DoPaintDropMark(bufferCanvas, node, r);
              if (drawRubberBand)
                DrawRubberBand(bufferCanvas, Window.Left, selectRect,
                               TRect{0, sliceTop, buffer.Width(), sliceTop + buffer.Height()});
              SetWindowOrgEx(bufferCanvas->Handle(), 0, 0, nullptr);
              BitBlt(TargetCanvas->Handle(), targetRect.Left, targetRect.Top + sliceTop, buffer.Width(), buffer.Height(),
                     bufferCanvas->Handle(), 0, 0, SRCCOPY);
            }
            targetRect.Top += nodeHeight;
            if (targetRect.Top >= maximumBottom) break;
            OffsetRect(selectRect, 0, -nodeHeight);
            node = nextPaintedRow(node);
          }
          if (targetRect.Top < maximumBottom)
            paintSpaceBelow(TargetCanvas, buffer, Window, Target, targetRect, maximumRight, maximumBottom, firstColumn,
                            useBackground, Options, PixelFormat);
        },
        [this, TargetCanvas] {
          DoAfterPaint(TargetCanvas);
          DoStateChange({}, {tsPainting});
        });
  });
}

void TBaseDataTree::paintSpaceBelow(TCanvas* TargetCanvas, TBitmap& Buffer, TRect Window, TPoint Target,
                                    TRect TargetRect, int MaximumRight, int MaximumBottom, TColumnIndex FirstColumn,
                                    bool UseBackground, TPaintTreeOptions PaintOptions, TPixelFormat PixelFormat) {
  const int rememberedX = Target.x;
  Target = {TargetRect.Left, TargetRect.Top};
  TRect r{Target.x, 0, Target.x, MaximumBottom - Target.y};
  TargetRect = {0, 0, MaximumRight - Target.x, MaximumBottom - Target.y};
  Buffer.SetSize(Buffer.Width(), 0);
  Buffer.SetPixelFormat(PixelFormat == pfDevice ? pf32bit : PixelFormat);
  Buffer.SetSize(TargetRect.Width(), TargetRect.Height());
  TCanvas* c = Buffer.Canvas();
  SetWindowOrgEx(c->Handle(), Target.x, 0, nullptr);
  TRect paintRect{Target.x, 0, Target.x + TargetRect.Width(), TargetRect.Height()};
  if (!DoPaintBackground(c, paintRect)) {
    const TDTPaintOptions po = FOptions->PaintOptions();
    TBitmap* picture = FBackground->Graphic() ? FBackground->Bitmap() : nullptr;
    if (UseBackground && picture) {
      SetWindowOrgEx(c->Handle(), 0, 0, nullptr);
      TPoint origin{Window.Left, Window.Top + (Target.y - rememberedX * 0)};
      origin = {Window.Left + (Target.x - rememberedX), Window.Top + TargetRect.Top + (Target.y - TargetRect.Top) - 0};
      origin.y = Window.Top + (Target.y - (MaximumBottom - Window.Height()));
      if (po.Contains(toStaticBackground))
        StaticBackground(picture, c, TargetRect, TPoint{Target.x - rememberedX + Window.Left * 0, origin.y});
      else
        TileBackground(picture, c, TargetRect, TPoint{Window.Left + (Target.x - rememberedX), origin.y});
    } else if (FHeader->UseColumns()) {
      TDataTreeColumns& columns = FHeader->Columns();
      // The background's handler may have taken columns away.
      TColumnIndex column = columns.IsValidColumn(FirstColumn) ? FirstColumn : InvalidColumn;
      if (column == InvalidColumn) {
        column = columns.GetFirstVisibleColumn();
        while (column >= 0 && columns[column]->Left() + columns[column]->Width() <= Window.Left)
          column = columns.GetNextVisibleColumn(column);
      }
      // Cells are drawn in tree coordinates: the window origin maps them.
      SetWindowOrgEx(c->Handle(), Window.Left, 0, nullptr);
      int right = Window.Left;
      const bool fullGrid = PaintOptions.Contains(ptoGridLines) && po.Contains(toFullVertGridLines) &&
                            po.Contains(toShowVertGridLines);
      const bool autoResize = FHeader->Options().Contains(hoAutoResize);
      TCellPaintInfo info;
      info.Canvas = c;
      while (column >= 0 && right < Window.Right) {
        TRect cell{columns[column]->Left(), 0, columns[column]->Left() + columns[column]->Width(), TargetRect.Height()};
        if (fullGrid && (!autoResize || columns[column]->Position() != TColumnPosition(columns.Count() - 1))) {
          c->Font()->SetColor(FColors->GridLineColor());
          DrawDottedVLine(info, cell.Top, cell.Bottom, cell.Right - 1);
          --cell.Right;
        }
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(columns[column]->Options().Contains(coParentColor) ? Color() : columns[column]->Color());
        c->FillRect(cell);
        right = columns[column]->Left() + columns[column]->Width();
        column = columns.GetNextVisibleColumn(column);
      }
      TRect rest{right + (fullGrid && !autoResize ? 1 : 0), 0, Window.Right, TargetRect.Height()};
      c->Brush()->SetColor(Color());
      if (!rest.IsEmpty()) c->FillRect(rest);
    } else {
      SetWindowOrgEx(c->Handle(), 0, 0, nullptr);
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(Color());
      c->FillRect(TargetRect);
    }
  }
  SetWindowOrgEx(c->Handle(), 0, 0, nullptr);
  (void)r;
  if (IsMouseSelecting()) {
    TRect band = OrderRect(SelectRect);
    OffsetRect(band, rememberedX - Target.x - Window.Left, FOffsetY - Target.y);
    SetBrushOrgEx(c->Handle(), 0, Target.x & 1, nullptr);
    if (!band.IsEmpty()) DrawRubberBand(c, 0, band, TargetRect);
  }
  BitBlt(TargetCanvas->Handle(), Target.x, Target.y, TargetRect.Width(), TargetRect.Height(), c->Handle(), 0, 0,
         SRCCOPY);
}

// ---- per-cell pieces -------------------------------------------------------------------------

void TBaseDataTree::PaintCellBackground(TCellPaintInfo& PaintInfo, int WindowLeft, int PaintWidth) {
  TCanvas* c = PaintInfo.Canvas;
  PDataNode node = PaintInfo.Node;
  const TDTPaintOptions po = FOptions->PaintOptions();
  const TDTSelectionOptions so = FOptions->SelectionOptions();
  const bool gridExtensions = FOptions->MiscOptions().Contains(toGridExtensions);
  const bool fullRow = so.Contains(toFullRowSelect);
  if (PaintInfo.PaintOptions.Contains(ptoColumnColor) && FHeader->Columns().IsValidColumn(PaintInfo.Column)) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(FHeader->Columns()[PaintInfo.Column]->Color());
    c->FillRect(PaintInfo.CellRect);
  }
  TRect content = PaintInfo.ContentRect;
  DoBeforeCellPaint(c, node, PaintInfo.Column, content);
  PaintInfo.ContentRect = content;
  TRect inner = content;
  if (!gridExtensions) {
    const int w = PaintInfo.NodeWidth;
    switch (PaintInfo.Alignment) {
      case taRightJustify:
        if (inner.Width() > w) inner.Left = inner.Right - w;
        break;
      case taCenter:
        if (inner.Width() > w) {
          inner.Left = (inner.Left + inner.Right - w) / 2;
          inner.Right = inner.Left + w;
        }
        break;
      default:
        if (inner.Width() > w) inner.Right = inner.Left + w;
        break;
    }
  }
  const bool inFocusedColumn =
      PaintInfo.Column == FFocusedColumn || !FHeader->UseColumns() || fullRow;
  const bool active = Focused() || po.Contains(toPopupMode);
  auto fillSelection = [&](TRect r, TColor brush, TColor pen) {
    if (r.IsEmpty()) return;
    if (po.Contains(toUseBlendedSelection)) {
      // A tinted overlay keeps the row's content readable below it.
      TRect b = r;
      OffsetRect(b, -WindowLeft, 0);
      b.Left = std::max(b.Left, 0);
      b.Right = std::min(b.Right, PaintWidth);
      if (b.IsEmpty()) return;
      TBitmap tint(1, 1);
      tint.Canvas()->SetPixels(0, 0, brush);
      BLENDFUNCTION f;
      f.SourceConstantAlpha = FSelectionBlendFactor;
      GdiAlphaBlend(c->Handle(), r.Left, r.Top, r.Width(), r.Height(), tint.Canvas()->Handle(), 0, 0, 1, 1, f);
      c->Brush()->SetStyle(bsClear);
      c->Pen()->SetColor(pen);
      c->Rectangle(r);
      c->Brush()->SetStyle(bsSolid);
      return;
    }
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(brush);
    c->Pen()->SetColor(pen);
    c->Pen()->SetStyle(psSolid);
    int radius = int(FSelectionCurveRadius);
    c->RoundRect(r.Left, r.Top, r.Right, r.Bottom, radius, radius);
  };
  if (inFocusedColumn && PaintInfo.PaintOptions.Contains(ptoSelection)) {
    if (node == FDropTargetNode) {
      if (FLastDropMode == dmOnNode || node->States.Contains(vsSelected)) {
        TRect r = gridExtensions || fullRow ? PaintInfo.CellRect : inner;
        fillSelection(r, FColors->DropTargetColor(), FColors->DropTargetBorderColor());
      } else {
        c->Brush()->SetStyle(bsClear);
      }
    } else if (node->States.Contains(vsSelected)) {
      TRect r = gridExtensions || fullRow ? PaintInfo.CellRect : inner;
      // A full-row selection without blending was drawn with the row's background.
      if (!(fullRow && !po.Contains(toUseBlendedSelection) && !FHeader->UseColumns()))
        fillSelection(r, active ? FColors->FocusedSelectionColor() : FColors->UnfocusedSelectionColor(),
                      active ? FColors->FocusedSelectionBorderColor() : FColors->UnfocusedSelectionBorderColor());
    }
  }
  if (inFocusedColumn && PaintInfo.PaintOptions.Contains(ptoFocusRect) && active && node == FFocusedNode &&
      (PaintInfo.Column == FFocusedColumn || !FHeader->UseColumns())) {
    TRect r = gridExtensions ? PaintInfo.CellRect : inner;
    if (fullRow && !FHeader->UseColumns()) r = PaintInfo.CellRect;
    COLORREF oldText = SetTextColor(c->Handle(), 0xFFFFFF);
    COLORREF oldBk = SetBkColor(c->Handle(), 0);
    if (!r.IsEmpty()) ::DrawFocusRect(c->Handle(), r);
    SetTextColor(c->Handle(), oldText);
    SetBkColor(c->Handle(), oldBk);
  }
}

void TBaseDataTree::DrawCheckImage(TCanvas* Canvas, const TDTImageInfo& ImageInfo, bool Selected) {
  if (!ImageInfo.Images && !useThemes()) return;
  if (useThemes() && FCheckImageKind == ckSystemDefault) {
    const int index = ImageInfo.Index;
    TRect r{ImageInfo.XPos - 1, ImageInfo.YPos, ImageInfo.XPos + 15, ImageInfo.YPos + 16};
    // The index encodes type, value and look (see the check pictures).
    auto look = [](int i, bool& hot, bool& pressed, bool& disabled) {
      int k = (i - 1) % 4;
      hot = k == 1;
      pressed = k == 2;
      disabled = k == 3;
    };
    bool hot = false, pressed = false, disabled = false;
    if (index >= 1 && index <= 8) {
      look(index, hot, pressed, disabled);
      DrawThemedCheck(Canvas->Handle(), r, tckRadioButton, index >= 5 ? tcvChecked : tcvUnchecked, hot, pressed,
                      disabled);
      return;
    }
    if (index >= 9 && index <= 20) {
      look(index, hot, pressed, disabled);
      TThemedCheckValue v = index >= 17 ? tcvMixed : index >= 13 ? tcvChecked : tcvUnchecked;
      DrawThemedCheck(Canvas->Handle(), r, tckCheckBox, v, hot, pressed, disabled);
      return;
    }
    if (index >= 21 && index <= 24) {
      look(index, hot, pressed, disabled);
      DrawThemedCheck(Canvas->Handle(), r, tckPushButton, tcvUnchecked, hot, pressed, disabled);
      return;
    }
  }
  if (!ImageInfo.Images) return;
  COLORREF fg = CLR_DEFAULT;
  if (Selected && !ImageInfo.Ghosted)
    fg = ColorToRGB(Focused() || FOptions->PaintOptions().Contains(toPopupMode) ? FColors->FocusedSelectionColor()
                                                                               : FColors->UnfocusedSelectionColor());
  ImageList_DrawEx(ImageInfo.Images, ImageInfo.Index, Canvas->Handle(), ImageInfo.XPos, ImageInfo.YPos, 0, 0,
                   CLR_NONE, fg, ILD_TRANSPARENT);
}

void TBaseDataTree::DrawNodeImage(TCellPaintInfo& PaintInfo, TVTImageInfoIndex Slot, bool DoOverlay) {
  TDTImageInfo& info = PaintInfo.ImageInfo[Slot];
  if (!info.Images) return;
  PDataNode node = PaintInfo.Node;
  const TDTPaintOptions po = FOptions->PaintOptions();
  const bool cutNode = node->States.Contains(vsCutOrCopy) && FStates.Contains(tsCutPending);
  const bool active = Focused() || po.Contains(toGhostedIfUnfocused);
  int overlay = -1;
  TImageList* overlayList = nullptr;
  if (DoOverlay) {
    bool ghost = false;
    overlay = GetImageIndex(node, ikOverlay, PaintInfo.Column, ghost, overlayList);
  }
  const bool enabled = !node->States.Contains(vsDisabled) && Enabled();
  COLORREF fg;
  if (!node->States.Contains(vsSelected) || info.Ghosted || cutNode)
    fg = ColorToRGB(Color());
  else
    fg = ColorToRGB(active || po.Contains(toPopupMode) ? FColors->FocusedSelectionColor()
                                                       : FColors->UnfocusedSelectionColor());
  UINT style = ILD_TRANSPARENT;
  if (overlay >= 0 && overlay <= 14) style |= INDEXTOOVERLAYMASK(UINT(overlay + 1));
  const bool blend = po.Contains(toUseBlendedImages) && active &&
                     (info.Ghosted || cutNode ||
                      (node->States.Contains(vsSelected) && !FOptions->SelectionOptions().Contains(toFullRowSelect) &&
                       !FOptions->MiscOptions().Contains(toGridExtensions)));
  if (blend) style |= ILD_BLEND50;
  if (node->States.Contains(vsSelected) && !info.Ghosted) fg = CLR_DEFAULT;
  if (!enabled) {
    ImageListDraw(info.Images, PaintInfo.Canvas, info.XPos, info.YPos, info.Index, false);
  } else {
    ImageList_DrawEx(info.Images, info.Index, PaintInfo.Canvas->Handle(), info.XPos, info.YPos, 0, 0, CLR_NONE, fg,
                     style);
  }
  if (overlay > 14 && overlayList)
    ImageList_DrawEx(overlayList, overlay, PaintInfo.Canvas->Handle(), info.XPos, info.YPos, 0, 0, CLR_NONE, fg,
                     style & ~UINT(ILD_OVERLAYMASK));
}

void TBaseDataTree::DrawRubberBand(TCanvas* Canvas, int WindowLeft, const TRect& SelRect, const TRect& Target) {
  TRect r = SelRect;
  OffsetRect(r, WindowLeft, 0);
  TRect meet;
  if (FDrawSelectionMode == smBlendedRectangle || useThemes()) {
    OffsetRect(r, -WindowLeft, 0);
    if (!IntersectRect(meet, r, OrderRect(Target))) return;
    TBitmap tint(1, 1);
    tint.Canvas()->SetPixels(0, 0, FColors->SelectionRectangleBlendColor());
    BLENDFUNCTION f;
    f.SourceConstantAlpha = FSelectionBlendFactor;
    GdiAlphaBlend(Canvas->Handle(), meet.Left, meet.Top, meet.Width(), meet.Height(), tint.Canvas()->Handle(), 0, 0,
                  1, 1, f);
    Canvas->Brush()->SetColor(FColors->SelectionRectangleBorderColor());
    Canvas->FrameRect(meet);
    return;
  }
  COLORREF oldText = SetTextColor(Canvas->Handle(), 0xFFFFFF);
  COLORREF oldBk = SetBkColor(Canvas->Handle(), 0);
  ::DrawFocusRect(Canvas->Handle(), SelRect);
  SetTextColor(Canvas->Handle(), oldText);
  SetBkColor(Canvas->Handle(), oldBk);
}
