// Painting of the header: each visible column as a button with its glyph,
// check box, caption, sort glyph and drop mark, laid out by the column's
// alignment and glyph layout. All drawing goes to an off-screen picture
// that is copied to the target in one step.
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/imagelist.h"
#include "tree/base_tree.h"
#include "platform/gui/themes.h"
#include "tree/header_paint.h"

namespace {

void line(TCanvas& c, int x1, int y1, int x2, int y2, COLORREF colour) {
  c.Pen()->SetColor(TColor(colour));
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
}

void fill(TCanvas& c, const TRect& r, COLORREF colour) {
  c.Brush()->SetColor(TColor(colour));
  c.FillRect(r);
}

}  // namespace

void DrawXPButton(TCanvas& Canvas, const TRect& R, bool DrawSplitter, bool Down, bool Hover) {
  fill(Canvas, R, Down ? RGB(222, 223, 216) : Hover ? RGB(250, 248, 243) : RGB(235, 234, 219));
  if (DrawSplitter && !Down && !Hover) {
    line(Canvas, R.Right - 2, R.Top + 3, R.Right - 2, R.Bottom - 5, RGB(199, 197, 178));
    line(Canvas, R.Right - 1, R.Top + 3, R.Right - 1, R.Bottom - 5, RGB(255, 255, 255));
  }
  if (Down) {
    line(Canvas, R.Left, R.Top, R.Left, R.Bottom - 1, RGB(165, 165, 151));
    line(Canvas, R.Left, R.Bottom - 1, R.Right - 1, R.Bottom - 1, RGB(165, 165, 151));
    line(Canvas, R.Right - 1, R.Bottom - 1, R.Right - 1, R.Top - 1, RGB(165, 165, 151));
    line(Canvas, R.Left + 1, R.Bottom - 2, R.Left + 1, R.Top + 1, RGB(193, 194, 184));
    line(Canvas, R.Left + 1, R.Top + 1, R.Right - 1, R.Top + 1, RGB(193, 194, 184));
    line(Canvas, R.Left + 2, R.Bottom - 2, R.Left + 2, R.Top + 2, RGB(208, 209, 201));
    line(Canvas, R.Left + 2, R.Top + 2, R.Right - 1, R.Top + 2, RGB(208, 209, 201));
  } else if (Hover) {
    // The hot underline is made of the utility pictures' three pieces.
    if (TImageList* pieces = UtilityImages()) {
      const int y = R.Bottom - 3;
      if (R.Width() > 32) {
        ImageListDraw(pieces, &Canvas, R.Left, y, 6);
        for (int x = R.Left + 16; x < R.Right - 16; x += 16) ImageListDraw(pieces, &Canvas, x, y, 7);
        ImageListDraw(pieces, &Canvas, R.Right - 16, y, 8);
      } else {
        ImageListDraw(pieces, &Canvas, R.Right - 16, y, 8);
        ImageListDraw(pieces, &Canvas, R.Left, y, 6);
      }
    }
  } else {
    line(Canvas, R.Left, R.Bottom - 3, R.Right, R.Bottom - 3, RGB(224, 222, 207));
    line(Canvas, R.Left, R.Bottom - 2, R.Right, R.Bottom - 2, RGB(213, 210, 195));
    line(Canvas, R.Left, R.Bottom - 1, R.Right, R.Bottom - 1, RGB(203, 199, 184));
  }
}

void DrawButtonText(TCanvas& Canvas, const String& Caption, TRect Bounds, bool Enabled, bool Hot, UINT DrawFormat,
                    bool WrapCaption, TColor HotColor, TColor TextColor) {
  HDC dc = Canvas.Handle();
  if (!WrapCaption) DrawFormat |= DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER;
  else DrawFormat |= DT_WORDBREAK;
  SetBkMode(dc, TRANSPARENT);
  if (Enabled) {
    SetTextColor(dc, ColorToRGB(Hot ? HotColor : TextColor));
    DrawTextW(dc, Caption, &Bounds, DrawFormat);
  } else {
    TRect shifted = Bounds;
    OffsetRect(shifted, 1, 1);
    SetTextColor(dc, ColorToRGB(clBtnHighlight));
    DrawTextW(dc, Caption, &shifted, DrawFormat);
    SetTextColor(dc, ColorToRGB(clBtnShadow));
    DrawTextW(dc, Caption, &Bounds, DrawFormat);
  }
}

void TDataTreeColumn::ComputeHeaderLayout(TCanvas& Canvas, const TRect& Client, bool UseHeaderGlyph,
                                          bool UseSortGlyph, TPoint& HeaderGlyphPos, TPoint& SortGlyphPos,
                                          TRect& TextBounds) {
  TDTHeader* header = FOwner->Header();
  TBaseDataTree* tree = header->Treeview();
  const int w = Client.Width(), h = Client.Height();
  const bool rtl = UseRightToLeftReading();
  // Caption size.
  int textW = 0, textH = 0;
  if (!FText.empty()) {
    Canvas.Font()->Assign(*header->Font());
    if (FOptions.Contains(coWrapCaption)) {
      TRect r{0, 0, std::max(1, w - 2 * FMargin), 0};
      DrawTextW(Canvas.Handle(), FText, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
      textW = r.Width();
      textH = r.Height();
      FCaptionText = FText;
    } else {
      const TSize size = Canvas.TextExtent(FText);
      textW = size.cx + 2;
      textH = size.cy;
    }
  }
  const int spacing = FText.empty() ? 0 : FSpacing;
  int glyphW = 0, glyphH = 0;
  if (UseHeaderGlyph) {
    TImageList* list = FCheckBox ? tree->CheckImages() : header->Images();
    if (list) {
      glyphW = list->Width();
      glyphH = list->Height();
    }
  }
  int sortW = 0, sortH = 0;
  if (UseSortGlyph && UtilityImages()) {
    sortW = UtilityImages()->Width();
    sortH = UtilityImages()->Height();
  }
  const bool vertical = FLayout == blGlyphTop || FLayout == blGlyphBottom;

  // Vertical placement.
  SortGlyphPos.y = (h - sortH) / 2;
  int textY;
  if (!vertical || !UseHeaderGlyph) {
    HeaderGlyphPos.y = (h - glyphH) / 2;
    textY = textH > h ? 0 : (h - textH) / 2;
  } else if (FLayout == blGlyphTop) {
    HeaderGlyphPos.y = (h - glyphH - spacing - textH) / 2;
    textY = HeaderGlyphPos.y + glyphH + spacing;
  } else {
    textY = (h - glyphH - spacing - textH) / 2;
    HeaderGlyphPos.y = textY + textH + spacing;
  }

  // Horizontal placement.
  int textX = 0;
  const TAlignment alignment = CaptionAlignment();
  if (alignment == taLeftJustify) {
    int x = FMargin;
    if (UseSortGlyph && rtl) {
      SortGlyphPos.x = x;
      x += sortW + FSpacing;
    }
    if (!vertical) {
      if (UseHeaderGlyph && FLayout == blGlyphLeft) {
        HeaderGlyphPos.x = x;
        x += glyphW + FSpacing;
      }
      textX = x;
      x += textW + spacing;
      if (UseHeaderGlyph && FLayout == blGlyphRight) {
        HeaderGlyphPos.x = x;
        x += glyphW + FSpacing;
      }
    } else {
      textX = x;
      HeaderGlyphPos.x = std::max(x, (w - glyphW) / 2);
      x = std::max(textX + textW, HeaderGlyphPos.x + glyphW) + FSpacing;
    }
    if (UseSortGlyph && !rtl) SortGlyphPos.x = x;
  } else if (alignment == taRightJustify) {
    int x = w - FMargin;
    if (UseSortGlyph && !rtl) {
      SortGlyphPos.x = x - sortW;
      x = SortGlyphPos.x - FSpacing;
    }
    int leftmost;
    if (!vertical) {
      if (UseHeaderGlyph && FLayout == blGlyphRight) {
        HeaderGlyphPos.x = x - glyphW;
        x = HeaderGlyphPos.x - FSpacing;
      }
      textX = x - textW;
      x = textX - spacing;
      leftmost = textX;
      if (UseHeaderGlyph && FLayout == blGlyphLeft) {
        HeaderGlyphPos.x = x - glyphW;
        leftmost = HeaderGlyphPos.x;
      }
    } else {
      textX = x - textW;
      HeaderGlyphPos.x = std::min((w - glyphW) / 2, x - FSpacing - glyphW);
      leftmost = std::min(textX, HeaderGlyphPos.x);
    }
    if (UseSortGlyph && rtl) SortGlyphPos.x = leftmost - FSpacing - sortW;
  } else {
    if (!vertical) {
      const int gw = UseHeaderGlyph ? glyphW : 0;
      int x = (w - gw - spacing - textW) / 2;
      if (UseHeaderGlyph && FLayout == blGlyphLeft) {
        HeaderGlyphPos.x = x;
        x += glyphW + spacing;
      }
      textX = x;
      x += textW + spacing;
      if (UseHeaderGlyph && FLayout == blGlyphRight) HeaderGlyphPos.x = x;
    } else {
      HeaderGlyphPos.x = (w - glyphW) / 2;
      textX = (w - textW) / 2 - (UseSortGlyph ? sortW / 2 : 0);
    }
    if (UseSortGlyph) {
      const int right = std::max(textX + textW, UseHeaderGlyph ? HeaderGlyphPos.x + glyphW : 0);
      const int left = std::min(textX, UseHeaderGlyph ? HeaderGlyphPos.x : textX);
      SortGlyphPos.x = rtl ? left - FSpacing - sortW : right + FSpacing;
    }
  }

  // Keep everything inside the margins; the glyphs reserve their room first.
  int minLeft = FMargin, maxRight = w - FMargin;
  if (UseSortGlyph) {
    if (SortGlyphPos.x + sortW > maxRight) SortGlyphPos.x = maxRight - sortW;
    if (SortGlyphPos.x < minLeft) SortGlyphPos.x = minLeft;
    if (!rtl) maxRight = SortGlyphPos.x - FSpacing;
    else minLeft = SortGlyphPos.x + sortW + FSpacing;
  }
  if (UseHeaderGlyph) {
    if (HeaderGlyphPos.x + glyphW > maxRight) HeaderGlyphPos.x = maxRight - glyphW;
    if (HeaderGlyphPos.x < minLeft) HeaderGlyphPos.x = minLeft;
    if (FLayout == blGlyphRight) maxRight = HeaderGlyphPos.x - FSpacing;
    if (FLayout == blGlyphLeft) minLeft = HeaderGlyphPos.x + glyphW + FSpacing;
  }
  TextBounds = {std::max(textX, minLeft), textY, std::min(textX + textW, maxRight), textY + textH};
  if (FOptions.Contains(coWrapCaption) && !FText.empty()) {
    TRect r{0, 0, std::max(1, TextBounds.Width()), 0};
    DrawTextW(Canvas.Handle(), FText, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    FCaptionText = FText;
  }
  OffsetRect(TextBounds, Client.Left, Client.Top);
  HeaderGlyphPos.x += Client.Left;
  HeaderGlyphPos.y += Client.Top;
  SortGlyphPos.x += Client.Left;
  SortGlyphPos.y += Client.Top;
}

void TDataTreeColumns::PaintHeader(HDC DC, const TRect& R, int HOffset) {
  TBaseDataTree* tree = FHeader->Treeview();
  const int height = FHeader->Height();
  if (R.Width() <= 0 || height <= 0) return;
  if (!FHeaderBitmap) FHeaderBitmap = std::make_unique<TBitmap>();
  FHeaderBitmap->SetSize(R.Width(), height);
  TCanvas& canvas = *FHeaderBitmap->Canvas();
  canvas.Font()->Assign(*FHeader->Font());

  const bool designing = tree->ComponentState().Contains(csDesigning);
  const TDTHeaderOptions options = FHeader->Options();
  const bool ownerDraw = options.Contains(hoOwnerDraw) && tree->OnHeaderDraw && !designing;
  const bool advanced = options.Contains(hoOwnerDraw) && tree->OnHeaderDrawQueryElements &&
                        tree->OnAdvancedHeaderDraw && !designing;
  const TDTHeaderStyle style = FHeader->Style();
  const bool themed = tree->TreeStates().Contains(tsUseThemes);

  // Header co-ordinates of the picture: R.Left is at the picture's 0.
  auto local = [&](TRect r) {
    OffsetRect(r, -R.Left, -R.Top);
    return r;
  };

  THeaderPaintInfo info;
  info.TargetCanvas = &canvas;
  // Background right of the columns.
  {
    TRect background = local({std::max(R.Left, GetTotalWidth() + HOffset), 0, R.Right, height});
    THeaderPaintElements elements = 0;
    if (advanced) {
      info.Column = nullptr;
      info.PaintRectangle = background;
      tree->DoHeaderDrawQueryElements(info, elements);
    }
    if (elements & hpeBackground)
      tree->DoAdvancedHeaderDraw(info, hpeBackground);
    else if (themed)
      DrawThemedHeaderSection(canvas.Handle(), background, false, false, 0);
    else if (style == hsXPStyle)
      DrawXPButton(canvas, background, false, false, false);
    else
      fill(canvas, background, ColorToRGB(FHeader->Background()));
  }

  int running = 0;
  bool scrolled = false;
  // The owner's drawing handlers may take columns away or move them: the
  // columns are painted as they stood, and one a handler took away is read
  // no more (its index is found again when columns before it went).
  std::vector<std::pair<TDataTreeColumn*, TColumnIndex>> order;
  order.reserve(FPositionToIndex.size());
  for (TColumnIndex index : FPositionToIndex) order.emplace_back(Items(index), index);
  auto there = [this](TDataTreeColumn* column, TColumnIndex& index) {
    if (IsValidColumn(index) && Items(index) == column) return true;
    if (!Contains(column)) return false;
    index = column->Index();
    return true;
  };
  for (auto [column, index] : order) {
    if (!there(column, index)) continue;
    if (!column->Options().Contains(coVisible)) continue;
    if (!scrolled && !column->Options().Contains(coFixed)) {
      running += HOffset;
      scrolled = true;
    }
    TRect cell{running, 0, running + column->Width(), height};
    running += column->Width();
    if (cell.Right <= R.Left) continue;
    if (cell.Left >= R.Right) break;
    cell = local(cell);

    const TDTColumnOptions o = column->Options();
    info.Column = column;
    info.PaintRectangle = cell;
    info.IsHoverIndex = index == HoverIndex && options.Contains(hoHotTrack) && o.Contains(coEnabled);
    info.IsDownIndex = index == DownIndex;
    info.DropMark = 0;
    if (o.Contains(coShowDropMark) && index == DropTarget && index != DragIndex) info.DropMark = DropBefore ? 1 : 2;
    info.IsEnabled = o.Contains(coEnabled) && tree->Enabled();
    info.ShowHeaderGlyph = options.Contains(hoShowImages) && FHeader->Images() && column->ImageIndex() > -1;
    info.ShowSortGlyph = index == FHeader->SortColumn() && options.Contains(hoShowSortGlyphs);
    info.ShowRightBorder = !(style == hsThickButtons && options.Contains(hoAutoResize) &&
                             index == GetLastVisibleColumn());

    THeaderPaintElements elements = 0;
    if (advanced) {
      tree->DoHeaderDrawQueryElements(info, elements);
      if (!there(column, index)) continue;
    }

    // Background of the cell.
    TRect button = cell;
    if (elements & hpeBackground) {
      tree->DoAdvancedHeaderDraw(info, hpeBackground);
      if (!there(column, index)) continue;
    } else if (themed) {
      DrawThemedHeaderSection(canvas.Handle(), button, info.IsHoverIndex, info.IsDownIndex, 0);
    } else if (style == hsXPStyle) {
      DrawXPButton(canvas, button, info.ShowRightBorder, info.IsDownIndex, info.IsHoverIndex);
    } else {
      UINT edge, flags;
      const bool hot = style == hsPlates && index == HoverIndex && o.Contains(coAllowClick) && o.Contains(coEnabled);
      if (info.IsDownIndex) {
        if (style == hsThickButtons) { edge = EDGE_RAISED; flags = 0x780F; }
        else if (style == hsFlatButtons) { edge = BDR_SUNKENOUTER; flags = 0x280F; }
        else { edge = BDR_SUNKENOUTER; flags = 0x280F; }
      } else if (hot) {
        edge = BDR_RAISEDINNER;
        flags = 0x280B | BF_RIGHT;
      } else {
        if (style == hsThickButtons) { edge = EDGE_RAISED; flags = 0x380B; }
        else if (style == hsFlatButtons) { edge = BDR_RAISEDINNER; flags = 0x280B; }
        else { edge = BDR_RAISEDINNER; flags = 0x380F; }
        if (info.ShowRightBorder) flags |= BF_RIGHT;
      }
      fill(canvas, button, ColorToRGB(FHeader->Background()));
      DrawEdge(canvas.Handle(), button, edge, flags);
    }

    if (ownerDraw && !advanced && column->Style() == vsOwnerDraw) {
      tree->DoHeaderDraw(&canvas, index, cell, info.IsHoverIndex, info.IsDownIndex, info.DropMark);
      continue;
    }

    TRect inner = cell;
    InflateRect(inner, -2, -2);
    UINT format = DT_NOPREFIX;
    const TAlignment alignment = column->CaptionAlignment();
    if (alignment == taRightJustify) format |= DT_RIGHT;
    else if (alignment == taCenter) format |= DT_CENTER;
    if (column->UseRightToLeftReading()) format |= DT_RTLREADING;
    TPoint glyphPos, sortPos;
    TRect textRect;
    column->ComputeHeaderLayout(canvas, inner, info.ShowHeaderGlyph || column->CheckBox(), info.ShowSortGlyph,
                                glyphPos, sortPos, textRect);
    if (info.IsDownIndex) {
      OffsetRect(textRect, 1, 1);
      glyphPos.x += 1; glyphPos.y += 1;
      sortPos.x += 1; sortPos.y += 1;
    }
    info.TextRectangle = textRect;
    info.GlyphPos = glyphPos;
    info.SortGlyphPos = sortPos;

    // Header glyph, or the column's check box.
    column->FHasImageRect = false;
    if (!(elements & hpeHeaderGlyph) && info.ShowHeaderGlyph &&
        !(info.ShowSortGlyph && !column->UseRightToLeftReading() &&
          glyphPos.x + FHeader->Images()->Width() > sortPos.x)) {
      TImageList* list = column->CheckBox() ? tree->CheckImages() : FHeader->Images();
      if (list) {
        const int image = column->CheckBox()
                              ? tree->GetCheckImage(nullptr, column->CheckType(), column->CheckState(), info.IsEnabled)
                              : column->ImageIndex();
        ImageListDraw(list, &canvas, glyphPos.x, glyphPos.y, image, info.IsEnabled);
        // The image rectangle is kept in header co-ordinates for the clicks.
        TRect imageRect{glyphPos.x, glyphPos.y, glyphPos.x + list->Width(), glyphPos.y + list->Height()};
        OffsetRect(imageRect, R.Left, R.Top);
        column->SetImageRect(imageRect);
      }
    }
    if (!(elements & hpeText) && !column->Text().empty()) {
      const bool wrap = o.Contains(coWrapCaption);
      DrawButtonText(canvas, wrap ? column->CaptionText() : column->Text(), textRect, info.IsEnabled,
                     info.IsHoverIndex && options.Contains(hoHotTrack) && !themed, format, wrap,
                     tree->Colors().HeaderHotColor(), FHeader->Font()->Color());
    }
    if (!(elements & hpeSortGlyph) && info.ShowSortGlyph && UtilityImages()) {
      const bool ascending = FHeader->SortDirection() == sdAscending;
      const int image = themed ? (ascending ? 5 : 4) : (ascending ? 3 : 2);
      ImageListDraw(UtilityImages(), &canvas, sortPos.x, sortPos.y, image);
    }
    if (!(elements & hpeDropMark) && info.DropMark != 0 && UtilityImages()) {
      const int y = (cell.Top + cell.Bottom - UtilityImages()->Height()) / 2;
      if (info.DropMark == 1)
        ImageListDraw(UtilityImages(), &canvas, cell.Left, y, 0);
      else
        ImageListDraw(UtilityImages(), &canvas, cell.Right - 16, y, 1);
    }
    if (advanced) {
      const THeaderPaintElements rest = elements & (hpeDropMark | hpeHeaderGlyph | hpeSortGlyph | hpeText);
      if (rest) {
        const int saved = SaveDC(canvas.Handle());
        tree->DoAdvancedHeaderDraw(info, rest);
        RestoreDC(canvas.Handle(), saved);
      }
    }
  }
  BitBlt(DC, R.Left, R.Top, R.Width(), height, canvas.Handle(), 0, 0, SRCCOPY);
}
