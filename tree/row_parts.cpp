// The pieces every painted row is made of: vertical alignment of button,
// lines and pictures, the tree line image, line steps, the expand buttons
// and the line pattern, and the erasing of a row's background.
#include <algorithm>
#include <cmath>

#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/themes.h"
#include "tree/base_tree.h"

namespace {
constexpr std::uint16_t DottedPattern[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
constexpr std::uint16_t SolidPattern[8] = {0, 0, 0, 0, 0, 0, 0, 0};
constexpr int ButtonSize = 9;
constexpr TColor ButtonTransparent = TColor(0xFF00FF);
}  // namespace

int TBaseDataTree::buttonOffset() const {
  // Centred in its indentation step; halves round to even, as when painting.
  return int(std::nearbyint((int(FIndent) - buttonWidth()) / 2.0));
}

int TBaseDataTree::buttonWidth() const { return FPlusBM->Empty() ? ButtonSize : FPlusBM->Width(); }
int TBaseDataTree::buttonHeight() const { return FPlusBM->Empty() ? ButtonSize : FPlusBM->Height(); }
bool TBaseDataTree::useThemes() const { return FStates.Contains(tsUseThemes); }

void TBaseDataTree::GetVerticalAlignment(PDataNode Node, bool HasNormalImage, bool HasStateImage,
                                         int& VAlign, int& ButtonY) {
  if (FOptions->MiscOptions().Contains(toVariableNodeHeight)) MeasureItemHeight(Canvas(), Node);
  const int height = Node->NodeHeight;
  switch (FNodeAlignment) {
    case naFromBottom: VAlign = height - Node->Align; break;
    case naFromTop: VAlign = Node->Align; break;
    default: {
      int h = 0;
      if (HasNormalImage || HasStateImage) {
        h = HasNormalImage && FImages ? FImages->Height() : (FStateImages ? FStateImages->Height() : 0);
        VAlign = MulDiv(height - h, Node->Align, 100) + h / 2;
      } else if (FOptions->PaintOptions().Contains(toShowButtons)) {
        h = buttonHeight();
        VAlign = MulDiv(height - h, Node->Align, 100) + h / 2;
      } else {
        VAlign = MulDiv(height, Node->Align, 100);
      }
      break;
    }
  }
  ButtonY = VAlign - buttonHeight() / 2;
}

int TBaseDataTree::DetermineLineImageAndSelectLevel(PDataNode Node, std::vector<TDTLineType>& LineImage) {
  const TDTPaintOptions po = FOptions->PaintOptions();
  const bool showRoot = po.Contains(toShowRoot);
  int level = int(GetNodeLevel(Node));
  int count = level + (showRoot ? 1 : 0);
  LineImage.assign(std::size_t(std::max(count, 0)), ltNone);
  int selected = 0;
  for (PDataNode p = Node->Parent; p && p != FRoot; p = p->Parent)
    if (p->States.Contains(vsSelected)) ++selected;
  if (!po.Contains(toShowTreeLines) || count == 0) return selected;
  // Entry index of the step that belongs to an ancestor at a level.
  const int shift = showRoot ? 0 : -1;
  if (!po.Contains(toChildrenAbove)) {
    if (level > 0) {
      LineImage[std::size_t(count - 1)] = HasVisibleNextSibling(Node) ? ltTopDownRight : ltTopRight;
      PDataNode run = Node->Parent;
      while (run != FRoot && GetNodeLevel(run) > 0) {
        int index = int(GetNodeLevel(run)) + shift;
        if (index >= 0) LineImage[std::size_t(index)] = HasVisibleNextSibling(run) ? ltTopDown : ltNone;
        run = run->Parent;
      }
      if (showRoot) LineImage[0] = HasVisibleNextSibling(run) ? ltTopDown : ltNone;
    } else if (showRoot) {
      bool first = IsFirstVisibleChild(FRoot, Node);
      bool last = IsLastVisibleChild(FRoot, Node);
      LineImage[0] = first && last ? ltRight : first ? ltBottomRight : last ? ltTopRight : ltTopDownRight;
    }
  } else {
    bool below = level > 0;
    if (!HasVisiblePreviousSibling(Node))
      LineImage[std::size_t(count - 1)] = below || HasVisibleNextSibling(Node) ? ltBottomRight : ltRight;
    else
      LineImage[std::size_t(count - 1)] = below || HasVisibleNextSibling(Node) ? ltTopDownRight : ltTopRight;
    for (PDataNode run = Node->Parent; run != FRoot; run = run->Parent) {
      int index = int(GetNodeLevel(run)) + (showRoot ? 1 : 0) - 1 + (showRoot ? 0 : 0);
      index = int(GetNodeLevel(run)) + shift;
      if (index >= 0 && index < count && HasVisiblePreviousSibling(run)) LineImage[std::size_t(index)] = ltTopDown;
    }
  }
  return selected;
}

void TBaseDataTree::DrawDottedHLine(TCellPaintInfo& PaintInfo, int Left, int Right, int Top) {
  TCanvas* c = PaintInfo.Canvas;
  if (Left > Right) std::swap(Left, Right);
  TRect r{Left, Top, Right + 1, Top + 1};
  COLORREF oldBk = SetBkColor(c->Handle(), ColorToRGB(Color()));
  COLORREF oldText = SetTextColor(c->Handle(), ColorToRGB(c->Font()->Color()));
  ::FillRect(c->Handle(), r, FDottedBrush ? FDottedBrush : GetStockObject(BLACK_BRUSH));
  SetBkColor(c->Handle(), oldBk);
  SetTextColor(c->Handle(), oldText);
}

void TBaseDataTree::DrawDottedVLine(TCellPaintInfo& PaintInfo, int Top, int Bottom, int Left, bool) {
  TCanvas* c = PaintInfo.Canvas;
  if (Top > Bottom) std::swap(Top, Bottom);
  TRect r{Left, Top, Left + 1, Bottom + 1};
  COLORREF oldBk = SetBkColor(c->Handle(), ColorToRGB(Color()));
  COLORREF oldText = SetTextColor(c->Handle(), ColorToRGB(c->Font()->Color()));
  ::FillRect(c->Handle(), r, FDottedBrush ? FDottedBrush : GetStockObject(BLACK_BRUSH));
  SetBkColor(c->Handle(), oldBk);
  SetTextColor(c->Handle(), oldText);
}

void TBaseDataTree::DrawLineImage(TCellPaintInfo& PaintInfo, int X, int Y, int H, int VAlign,
                                  TDTLineType Style, bool Reverse) {
  const int indent = int(FIndent);
  const int half = indent / 2;
  const int far = Reverse ? 0 : indent;
  switch (Style) {
    case ltBottomRight:
      DrawDottedVLine(PaintInfo, Y + VAlign, Y + H, X + half);
      DrawDottedHLine(PaintInfo, X + half, X + far, Y + VAlign);
      break;
    case ltTopDown:
      DrawDottedVLine(PaintInfo, Y, Y + H, X + half);
      break;
    case ltTopDownRight:
      DrawDottedVLine(PaintInfo, Y, Y + H, X + half);
      DrawDottedHLine(PaintInfo, X + half, X + far, Y + VAlign);
      break;
    case ltRight:
      DrawDottedHLine(PaintInfo, X + half, X + far, Y + VAlign);
      break;
    case ltTopRight:
      DrawDottedVLine(PaintInfo, Y, Y + VAlign, X + half);
      DrawDottedHLine(PaintInfo, X + half, X + far, Y + VAlign);
      break;
    case ltLeft:
      DrawDottedVLine(PaintInfo, Y, Y + H, Reverse ? X + indent : X);
      break;
    case ltLeftBottom:
      DrawDottedVLine(PaintInfo, Y, Y + H, Reverse ? X + indent : X);
      DrawDottedHLine(PaintInfo, X, X + indent, Y + H);
      break;
    default:
      break;
  }
}

void TBaseDataTree::DrawTreeLines(TCellPaintInfo& PaintInfo, int VAlign, int IndentSize,
                                  const std::vector<TDTLineType>& LineImage) {
  const bool reverse = PaintInfo.BidiMode != bdLeftToRight;
  const int indent = int(FIndent);
  int x = reverse ? PaintInfo.CellRect.Right - indent : PaintInfo.CellRect.Left;
  const int step = reverse ? -indent : indent;
  const int y = PaintInfo.CellRect.Top;
  const int n = std::min<int>(IndentSize, int(LineImage.size()));
  PDataNode node = PaintInfo.Node;
  if (FLineMode == lmBands) {
    if (!PaintInfo.PaintOptions.Contains(ptoGridLines)) return;
    std::vector<TDTLineType> bands(std::size_t(n), ltNone);
    const bool open = node->States.Contains(vsExpanded) && !node->States.Contains(vsAllChildrenHidden);
    for (int i = n - 1; i >= 0; --i) {
      if (open) {
        bands[std::size_t(i)] = ltLeft;
        continue;
      }
      switch (LineImage[std::size_t(i)]) {
        case ltBottomRight:
        case ltTopDownRight:
        case ltRight:
        case ltTopRight: bands[std::size_t(i)] = ltLeftBottom; break;
        case ltNone:
        case ltTopDown: {
          TDTLineType next = i + 1 < n ? LineImage[std::size_t(i + 1)] : ltNone;
          if (next != ltNone && next != ltTopRight)
            bands[std::size_t(i)] = ltLeft;
          else
            bands[std::size_t(i)] = i + 1 < n ? bands[std::size_t(i + 1)] : ltNone;
          break;
        }
        default: bands[std::size_t(i)] = ltNone; break;
      }
    }
    PaintInfo.Canvas->Font()->SetColor(FColors->GridLineColor());
    for (int i = 0; i < n; ++i, x += step)
      DrawLineImage(PaintInfo, x, y, node->NodeHeight - 1, VAlign, bands[std::size_t(i)], reverse);
    return;
  }
  PaintInfo.Canvas->Font()->SetColor(FColors->TreeLineColor());
  for (int i = 0; i < n; ++i, x += step)
    DrawLineImage(PaintInfo, x, y, node->NodeHeight, VAlign, LineImage[std::size_t(i)], reverse);
}

void TBaseDataTree::DrawExpandButton(TCanvas* Canvas, PDataNode Node, TColumnIndex, const TRect& CellRect,
                                     int ButtonX, int ButtonY, TBiDiMode BidiMode) {
  bool hot = FOptions->PaintOptions().Contains(toHotTrack) && Node == FCurrentHotNode && FMouseOverButton;
  if (useThemes()) {
    // The style draws straight onto the row: its edges are smoothed against
    // the row's own background, which a keyed bitmap cannot keep.
    int x = BidiMode == bdLeftToRight ? CellRect.Left + ButtonX : CellRect.Right - ButtonX - ButtonSize;
    drawThemedButton(Canvas, Node->States.Contains(vsExpanded), x, CellRect.Top + ButtonY, ButtonSize, ButtonSize);
    return;
  }
  TBitmap* bm = Node->States.Contains(vsExpanded) ? (hot && !FHotMinusBM->Empty() ? FHotMinusBM.get() : FMinusBM.get())
                                                  : (hot && !FHotPlusBM->Empty() ? FHotPlusBM.get() : FPlusBM.get());
  if (bm->Empty()) return;
  int x = BidiMode == bdLeftToRight ? CellRect.Left + ButtonX : CellRect.Right - ButtonX - bm->Width();
  int y = CellRect.Top + ButtonY;
  bm->SetTransparent(true);
  bm->SetTransparentColor(ButtonTransparent);
  Canvas->Draw(x, y, bm);
}

void TBaseDataTree::drawThemedButton(TCanvas* Canvas, bool Expanded, int X, int Y, int W, int H) {
  DrawThemedTreeGlyph(Canvas->Handle(), TRect{X, Y, X + W, Y + H}, Expanded, ColorToRGB(Font()->Color()));
}

// The shaded button: a square framed in the line colour, filled from white
// at the top down to a shade darker than the button face, with the minus
// (and plus) bars in the line colour.
void TBaseDataTree::drawShadedButton(TCanvas& C, bool Minus, TColor Line) {
  const COLORREF face = ColorToRGB(clBtnFace);
  const int r1 = GetRValue(face) * 3 / 4, g1 = GetGValue(face) * 3 / 4, b1 = GetBValue(face) * 3 / 4;
  const int inner = ButtonSize - 2;
  for (int i = 0; i < inner; ++i) {
    const int span = std::max(inner - 1, 1);
    auto mix = [&](int to) { return 255 + (to - 255) * i / span; };
    C.Brush()->SetColor(TColor(RGB(mix(r1), mix(g1), mix(b1))));
    C.FillRect({1, 1 + i, ButtonSize - 1, 2 + i});
  }
  C.Brush()->SetColor(Line);
  C.FrameRect({0, 0, ButtonSize, ButtonSize});
  const int mid = ButtonSize / 2;
  C.FillRect({2, mid, ButtonSize - 2, mid + 1});
  if (!Minus) C.FillRect({mid, 2, mid + 1, ButtonSize - 2});
}

void TBaseDataTree::PrepareBitmaps(bool NeedButtons, bool NeedLines) {
  if (NeedButtons) {
    const TColor treeColor = Color();
    for (int pass = 0; pass < 2; ++pass) {
      TBitmap& bm = pass == 0 ? *FMinusBM : *FPlusBM;
      const bool minus = pass == 0;
      bm.SetPixelFormat(pf32bit);
      bm.SetSize(ButtonSize, ButtonSize);
      TCanvas& c = *bm.Canvas();
      c.Brush()->SetStyle(bsSolid);
      c.Brush()->SetColor(ButtonTransparent);
      c.FillRect({0, 0, ButtonSize, ButtonSize});
      if (useThemes()) {
        // The desktop's own style draws the glyph.
        drawThemedButton(&c, minus, 0, 0, ButtonSize, ButtonSize);
        continue;
      }
      const TColor line = FColors->TreeLineColor();
      if (FButtonStyle == bsTriangle) {
        c.Brush()->SetColor(line);
        c.Pen()->SetColor(line);
        if (minus)
          c.Polygon({{0, 2}, {8, 2}, {4, 6}});
        else
          c.Polygon({{2, 0}, {6, 4}, {2, 8}});
        continue;
      }
      if (FButtonFillMode == fmShaded) {
        drawShadedButton(c, minus, line);
        continue;
      }
      TColor fill = treeColor;
      switch (FButtonFillMode) {
        case fmWindowColor: fill = clWindow; break;
        case fmTransparent: fill = ButtonTransparent; break;
        default: break;
      }
      c.Brush()->SetColor(fill);
      c.FillRect({0, 0, ButtonSize, ButtonSize});
      c.Brush()->SetColor(line);
      c.FrameRect({0, 0, ButtonSize, ButtonSize});
      c.Pen()->SetColor(clWindowText);
      c.MoveTo(2, ButtonSize / 2);
      c.LineTo(ButtonSize - 2, ButtonSize / 2);
      if (!minus) {
        c.MoveTo(ButtonSize / 2, 2);
        c.LineTo(ButtonSize / 2, ButtonSize - 2);
      }
    }
    FHotPlusBM->SetSize(0, 0);
    FHotMinusBM->SetSize(0, 0);
  }
  if (NeedLines) {
    const std::uint16_t* bits = FLineStyle == lsSolid ? SolidPattern : DottedPattern;
    if (FLineStyle == lsCustomStyle) {
      // The owner's handler may destroy the tree: the caller checks its token.
      const std::weak_ptr<const bool> life = FLifeToken;
      DoGetLineStyle(bits);
      if (life.expired()) return;
    }
    std::uint8_t bytes[16];
    for (int i = 0; i < 8; ++i) {
      bytes[2 * i] = std::uint8_t(bits[i]);
      bytes[2 * i + 1] = std::uint8_t(bits[i] >> 8);
    }
    HBITMAP pattern = CreateBitmap(8, 8, 1, 1, bytes);
    if (FDottedBrush) DeleteObject(FDottedBrush);
    FDottedBrush = CreatePatternBrush(pattern);
    DeleteObject(pattern);
  }
}

void TBaseDataTree::DoGetLineStyle(const std::uint16_t*& Bits) {
  RaiseEvent(OnGetLineStyle, this, Bits);
}

// ---- background ----------------------------------------------------------------------------------

void TBaseDataTree::DoBeforeItemErase(TCanvas* Canvas, PDataNode Node, const TRect& ItemRect, TColor& Color,
                                      TItemEraseAction& EraseAction) {
  RaiseEvent(OnBeforeItemErase, this, Canvas, Node, ItemRect, Color, EraseAction);
}

void TBaseDataTree::DoAfterItemErase(TCanvas* Canvas, PDataNode Node, const TRect& ItemRect) {
  RaiseEvent(OnAfterItemErase, this, Canvas, Node, ItemRect);
}

void TBaseDataTree::ClearNodeBackground(TCellPaintInfo& PaintInfo, bool UseBackground, bool Floating, TRect R) {
  TPoint origin{0, 0};
  if (Floating) {
    origin = {-EffectiveOffsetX(), R.Top};
    R.Top -= origin.y;
    R.Bottom -= origin.y;
  }
  TCanvas* c = PaintInfo.Canvas;
  TColor color = Color();
  TItemEraseAction action = eaDefault;
  DoBeforeItemErase(c, PaintInfo.Node, R, color, action);
  if (action == eaColor) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(color);
    c->FillRect(R);
  } else if (action == eaDefault) {
    TBitmap* picture = FBackground->Graphic() ? FBackground->Bitmap() : nullptr;
    if (UseBackground && picture) {
      if (FOptions->PaintOptions().Contains(toStaticBackground))
        StaticBackground(picture, c, R, origin);
      else
        TileBackground(picture, c, R, origin);
    } else if (PaintInfo.PaintOptions.Contains(ptoSelection) &&
               FOptions->SelectionOptions().Contains(toFullRowSelect) &&
               PaintInfo.Node->States.Contains(vsSelected) &&
               !FOptions->PaintOptions().Contains(toUseBlendedSelection)) {
      TRect r = R;
      if (FOptions->PaintOptions().Contains(toShowHorzGridLines)) --r.Bottom;
      bool active = Focused() || FOptions->PaintOptions().Contains(toPopupMode);
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(Color());
      c->FillRect(R);
      c->Brush()->SetColor(active ? FColors->FocusedSelectionColor() : FColors->UnfocusedSelectionColor());
      c->Pen()->SetColor(active ? FColors->FocusedSelectionBorderColor() : FColors->UnfocusedSelectionBorderColor());
      int radius = int(FSelectionCurveRadius);
      c->RoundRect(r.Left, r.Top, r.Right, r.Bottom, radius, radius);
    } else {
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(Color());
      c->FillRect(R);
    }
  }
  DoAfterItemErase(c, PaintInfo.Node, R);
}

void TBaseDataTree::TileBackground(TBitmap* Source, TCanvas* Target, const TRect& R, TPoint Offset) {
  const int w = Source ? Source->Width() : 0;
  const int h = Source ? Source->Height() : 0;
  // A picture without area is no background: fill with the tree's colour.
  if (w <= 0 || h <= 0) {
    Target->Brush()->SetStyle(bsSolid);
    Target->Brush()->SetColor(Color());
    Target->FillRect(R);
    return;
  }
  int startX = (R.Left + Offset.x + FBackgroundOffsetX) % w;
  if (startX < 0) startX += w;
  int startY = (R.Top + Offset.y + FBackgroundOffsetY) % h;
  if (startY < 0) startY += h;
  HDC src = Source->Canvas()->Handle();
  HDC dst = Target->Handle();
  int srcY = startY;
  for (int y = R.Top; y < R.Bottom;) {
    int pieceH = std::min(h - srcY, R.Bottom - y);
    int srcX = startX;
    for (int x = R.Left; x < R.Right;) {
      int pieceW = std::min(w - srcX, R.Right - x);
      BitBlt(dst, x, y, pieceW, pieceH, src, srcX, srcY, SRCCOPY);
      x += pieceW;
      srcX = 0;
    }
    y += pieceH;
    srcY = 0;
  }
}

void TBaseDataTree::StaticBackground(TBitmap* Source, TCanvas* Target, const TRect& R, TPoint Offset) {
  Target->Brush()->SetStyle(bsSolid);
  Target->Brush()->SetColor(Color());
  Target->FillRect(R);
  if (!Source || Source->Width() <= 0 || Source->Height() <= 0) return;
  TRect picture = Bounds(FBackgroundOffsetX, FBackgroundOffsetY, Source->Width(), Source->Height());
  TRect shifted{R.Left + Offset.x, R.Top + Offset.y, R.Right + Offset.x, R.Bottom + Offset.y};
  TRect meet;
  if (!IntersectRect(meet, picture, shifted)) return;
  int dx = meet.Left - Offset.x, dy = meet.Top - Offset.y;
  int sx = meet.Left - picture.Left, sy = meet.Top - picture.Top;
  if (Source->Transparent()) {
    MaskBlt(Target->Handle(), dx, dy, meet.Width(), meet.Height(), Source->Canvas()->Handle(), sx, sy,
            Source->MaskHandle(), sx, sy, MAKEROP4(0x00AA0029, SRCCOPY));
  } else {
    BitBlt(Target->Handle(), dx, dy, meet.Width(), meet.Height(), Source->Canvas()->Handle(), sx, sy, SRCCOPY);
  }
}

void TBaseDataTree::PlaceImage(TImageList* List, bool RightToLeft, TRect& ContentRect, TDTImageInfo& Info,
                               int VAlign) {
  if (RightToLeft) {
    Info.XPos = ContentRect.Right - List->Width();
    ContentRect.Right -= List->Width() + 2;
  } else {
    Info.XPos = ContentRect.Left;
    ContentRect.Left += List->Width() + 2;
  }
  Info.YPos = ContentRect.Top + VAlign - List->Height() / 2;
}

void TBaseDataTree::ShiftByIndent(TCellPaintInfo& PaintInfo, int Levels) {
  int shift = int(FIndent) * Levels;
  if (PaintInfo.BidiMode != bdLeftToRight) shift = -shift;
  if (shift > 0)
    PaintInfo.ContentRect.Left += shift;
  else
    PaintInfo.ContentRect.Right += shift;
  PaintInfo.ImageInfo[iiCheck].XPos += shift;
  PaintInfo.ImageInfo[iiState].XPos += shift;
  PaintInfo.ImageInfo[iiNormal].XPos += shift;
}

void TBaseDataTree::GetMainColumnInfo(int& Index, int& Left, int& Width, int PaintOrigin) const {
  Index = FHeader->Columns().GetFirstVisibleColumn();
  if (Index < 0) {
    Index = NoColumn;
    Left = PaintOrigin;
    Width = 0;
    return;
  }
  Left = FHeader->Columns()[Index]->Left() + PaintOrigin;
  Width = FHeader->Columns()[Index]->Width();
}

void TBaseDataTree::SetClipRegion(TCanvas* Canvas, const TRect& R) {
  HDC dc = Canvas->Handle();
  TPoint corners[2] = {{R.Left, R.Top}, {R.Right, R.Bottom}};
  LPtoDP(dc, corners, 2);
  HRGN region = CreateRectRgn(corners[0].x, corners[0].y, corners[1].x, corners[1].y);
  SelectClipRgn(dc, region);
  DeleteObject(region);
}
