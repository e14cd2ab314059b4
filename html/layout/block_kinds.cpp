// The kinds of block: list items with their markers, the page body, table
// wrappers, rules and fieldsets; and the rule and page-break items.
#include <algorithm>

#include "html/parse/html_common.h"
#include "html/parse/style_fonts.h"
#include "html/model/block.h"
#include "html/model/document.h"
#include "html/images/image_object.h"
#include "html/model/indent_manager.h"
#include "html/layout/layout_device.h"
#include "html/layout/width_arrays.h"
#include "html/model/panel_window.h"
#include "html/model/rule_page.h"
#include "html/model/table.h"
#include "html/model/text_buffers.h"
#include "html/model/viewer_base.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {
int32_t px(int32_t v) { return v == AutoValue || v == NotSetValue ? 0 : v; }
}  // namespace

// ---- list items ----

int TBlockLI::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth, int AvailHeight,
                        int BlockHeight, TIndentManager* IMgr, int& MaxWidth, int& Curs) {
  if (BulletImage && Document && Document->ImagesOn) {
    BulletImage->DrawLogic(Document, Canvas, nullptr, 0, 0);
    if (BulletImage->Image == ErrorBitmap()) BulletImage.reset();
  }
  int32_t* saved = Document ? Document->FirstLineReceiver : nullptr;
  FirstLineY = 0;
  if (Document) Document->FirstLineReceiver = &FirstLineY;
  const int result =
      TBlock::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr, MaxWidth, Curs);
  if (Document) Document->FirstLineReceiver = saved;
  return result;
}

int TBlockLI::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  const int result = TBlock::Draw(Canvas, ARect, IMgr, X, XRef, YRef);
  if (!Document || FirstLineY <= 0 || Display == pdNone || Visibility == 1) return result;
  const int baseline = FirstLineY - Document->ScrollY;
  if (baseline < ARect.Top - 50 || baseline > ARect.Bottom + 50) return result;
  const int x = X + ContentLeft + (Positioning == posRelative ? OffsetLeft : 0);
  const int yb = baseline + (Positioning == posRelative ? OffsetTop : 0);
  if (BulletImage && BulletImage->Image && BulletImage->Image != DefBitmap() && Document->ImagesOn) {
    BulletImage->Draw(Canvas, x - 16, FirstLineY - BulletImage->ObjHeight, FirstLineY, nullptr);
    return result;
  }
  if (ListType != lkOrdered && ListType != lkUnordered && ListType != lkLoneItem) return result;
  if (!BulletFont) return result;
  const TColor color = BulletFont->Color();
  const String text = NumberText();
  if (!text.empty()) {
    ThtMeasurer m(Canvas);
    m.SelectFont(BulletFont.get());
    const int w = m.Width(text.data(), int(text.size()));
    htPaint::Text(Canvas, x - 10 - w, yb, text.data(), int(text.size()), color, false, clNone);
    return result;
  }
  switch (ListStyle) {
    case lbCircle: {
      TPen* pen = Canvas->Pen();
      TBrush* brush = Canvas->Brush();
      const TColor pc = pen->Color();
      const TBrushStyle bs = brush->Style();
      pen->SetColor(color);
      brush->SetStyle(bsClear);
      Canvas->Ellipse(x - 16, yb - 7, x - 9, yb);
      pen->SetColor(pc);
      brush->SetStyle(bs);
      break;
    }
    case lbDisc: {
      TPen* pen = Canvas->Pen();
      TBrush* brush = Canvas->Brush();
      const TColor pc = pen->Color(), bc = brush->Color();
      const TBrushStyle bs = brush->Style();
      pen->SetColor(color);
      brush->SetColor(color);
      brush->SetStyle(bsSolid);
      Canvas->Ellipse(x - 15, yb - 6, x - 10, yb - 1);
      pen->SetColor(pc);
      brush->SetColor(bc);
      brush->SetStyle(bs);
      break;
    }
    case lbSquare: htPaint::FillRect(Canvas, TRect(x - 15, yb - 6, x - 10, yb - 1), color); break;
    default: break;
  }
  return result;
}

// ---- body ----

int TBodyBlock::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth, int AvailHeight,
                          int BlockHeight, TIndentManager* IMgr, int& MaxWidth, int& Curs) {
  (void)X;
  (void)XRef;
  (void)YRef;
  LayoutTop = Y;
  StartPos = Curs;
  int autoCount = 0;
  ConvMargArray(AvailWidth, AvailHeight, autoCount);
  const int ml = BoxValue(piMarginLeft), mr = BoxValue(piMarginRight);
  const int leftSide = LeftSides(), rightSide = RightSides();
  const int mgrWidth = IMgr ? IMgr->Width : AvailWidth;
  ContentWidth = std::max(0, mgrWidth - leftSide - rightSide);
  ContentLeft = leftSide;
  const int mt = BoxValue(piMarginTop), mb = BoxValue(piMarginBottom);
  BorderTop = mt;
  ContentY = Y + mt + BoxValue(piBorderTopWidth) + BoxValue(piPaddingTop);
  MyCell->IndentManager = IMgr;
  int scrollWidth = 0, contentHeight = 0;
  if (IMgr) {
    const auto saveID = IMgr->CurrentID;
    IMgr->CurrentID = this;
    const int li = IMgr->SetLeftIndent(leftSide, Y);
    const int ri = IMgr->SetRightIndent(leftSide + ContentWidth, Y);
    contentHeight = MyCell->DoLogicX(Canvas, leftSide, ContentY, 0, 0, ContentWidth, std::max(0, AvailHeight - mt - mb),
                                     BlockHeight, scrollWidth, Curs);
    IMgr->FreeLeftIndentRec(li);
    IMgr->FreeRightIndentRec(ri);
    IMgr->CurrentID = saveID;
  }
  Length = Curs - StartPos;
  ContentBottom = std::max(ContentY + contentHeight, MyCell->Count() ? MyCell->MaxOuterBottom : ContentY);
  const int below = BoxValue(piPaddingBottom) + BoxValue(piBorderBottomWidth);
  OuterBottom = ContentBottom + below + mb;
  PaintBottom = std::max(ContentBottom, MyCell->MaxPaintBottom) + below;
  Height = PaintBottom + mb - Y;
  PaintHeight = std::max(Height, (IMgr ? IMgr->ImageBottom() : 0) - Y);
  MaxWidth = std::max(ml + std::max(ContentWidth, scrollWidth) + mr, mgrWidth);
  if (PaintList.empty() && MyCell->Count() > 0) BuildPaintList();
  return Height;
}

int TBodyBlock::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  const int result = LayoutTop + Height;
  if (Display == pdNone || !Document) return result;
  TIndentManager* mgr = MyCell->IndentManager ? MyCell->IndentManager : IMgr;
  const auto saveID = mgr ? mgr->CurrentID : nullptr;
  if (mgr) mgr->CurrentID = this;
  DrawPaintList(Canvas, ARect, mgr, X + ContentLeft, XRef, YRef);
  if (mgr) mgr->CurrentID = saveID;
  return result;
}

uint8_t TBodyBlock::GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                           TFormControlObj*& FormControl, String& ATitle) {
  uint8_t flags = MyCell->GetURL(Canvas, X, Y, UrlTarg, FormControl, ATitle);
  if (!Title.empty() && !(flags & guTitle)) {
    ATitle = Title;
    flags |= guTitle;
  }
  return flags;
}

// ---- tables ----

int TTableBlock::BorderWidthDefault() { return Table ? Table->BorderWidth : 0; }

int TTableBlock::FindWidth(TCanvas* Canvas, int AWidth, int /*AHeight*/, int /*AutoCount*/) {
  int32_t& ml = Box[size_t(MA(piMarginLeft))];
  int32_t& mr = Box[size_t(MA(piMarginRight))];
  if (HasCaption) {
    ml = mr = 0;
  } else {
    if (ml == AutoValue) ml = 0;
    if (mr == AutoValue) mr = 0;
    if (Float != ANone) {
      int32_t& mt = Box[size_t(MA(piMarginTop))];
      int32_t& mb = Box[size_t(MA(piMarginBottom))];
      if (ml == 0) ml = HSpace;
      if (mr == 0) mr = HSpace;
      if (px(mt) == 0) mt = VSpace;
      if (px(mb) == 0) mb = VSpace;
    }
  }
  int32_t& bg = Box[size_t(MA(piBackgroundColor))];
  if (HasBgColor && (bg == clNone || bg == NotSetValue)) bg = BgColor;
  if (!Table) return std::max(0, AWidth - LeftSides() - RightSides());
  if (bg != clNone && bg != NotSetValue) {
    Table->BkGnd = true;
    Table->BkColor = bg;
  }
  const int sides = LeftSides() + RightSides();
  const int bordersAndPaddings = sides - px(ml) - px(mr);
  int result;
  int mn = 0, mx = 0;
  if (WidthAttr == 0 || HasCaption) {
    const int availContent = AWidth - sides;
    Table->tblWidthAttr = 0;
    Table->MinMaxWidth(Canvas, mn, mx);
    const int p = std::min(1000, int(Sum(Table->Percents)));
    if (p > 0) {
      const int byPercent = int(int64_t(availContent) * p / 1000);
      mn = std::max(mn, byPercent);
      mx = std::max(mx, byPercent);
    }
    result = std::max(mn, std::min(availContent, mx));
  } else {
    const int specified = WidthIsPercent ? int(int64_t(AWidth - sides) * WidthAttr / 1000)
                                         : WidthAttr - bordersAndPaddings;
    Table->tblWidthAttr = std::max(0, specified);
    Table->MinMaxWidth(Canvas, mn, mx);
    result = std::max(specified, mn);
  }
  const int free = AWidth - result - sides;
  if (free > 0 && ml == 0 && mr == 0) {
    if (Justify == 2) {
      ml = free / 2;
      mr = free - ml;
    } else if (Justify == 3) {
      ml = free;
    }
  }
  return std::max(0, result);
}

void TTableBlock::MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) {
  int value = 0;
  if (Table) {
    int autoCount = 0;
    ConvMargArray(0, 400, autoCount);
    if (WidthAttr > 0 && !WidthIsPercent) value = std::max(0, WidthAttr - (LeftSides() + RightSides()));
    Table->tblWidthAttr = value;
  }
  TBlock::MinMaxWidth(Canvas, Min, Max);
  if (value > 0) {
    Min = std::max(Min, value);
    Max = Min;
  }
}

int TTableBlock::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth, int AvailHeight,
                           int BlockHeight, TIndentManager* IMgr, int& MaxWidth, int& Curs) {
  FloatShift = 0;
  if (Float == ANone && IMgr) {
    // The room is taken where the table's box starts: a float just before
    // it stands lowered by the table's top margin.
    const int32_t mt = Box[size_t(MA(piMarginTop))];
    const int y = mt == AutoValue || mt == NotSetValue ? Y : htAddSat(Y, std::clamp(mt, 0, 10000));
    const int x = std::max(X, IMgr->LeftIndent(y));
    const int w = std::min(IMgr->RightSide(y), X + AvailWidth) - x;
    FloatShift = x - X;
    X = x;
    AvailWidth = std::max(0, w);
  }
  return TBlock::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr, MaxWidth, Curs);
}

int TTableBlock::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  return TBlock::Draw(Canvas, ARect, IMgr, X + FloatShift, XRef, YRef);
}

void TTableBlock::AddSectionsToList() {
  if (Table) Table->AddSectionsToList();
}

int TTableAndCaptionBlock::FindWidth(TCanvas* Canvas, int AWidth, int AHeight, int /*AutoCount*/) {
  for (TPropertyIndex i : {piPaddingTop, piPaddingRight, piPaddingBottom, piPaddingLeft, piBorderTopWidth,
                           piBorderRightWidth, piBorderBottomWidth, piBorderLeftWidth})
    Box[size_t(MA(i))] = 0;
  Box[size_t(MA(piBackgroundColor))] = clNone;
  HasBorderStyle = false;
  int32_t& ml = Box[size_t(MA(piMarginLeft))];
  int32_t& mr = Box[size_t(MA(piMarginRight))];
  if (ml == AutoValue) ml = 0;
  if (mr == AutoValue) mr = 0;
  int capMin = 0, capMax = 0;
  if (CaptionBlock) CaptionBlock->MinMaxWidth(Canvas, capMin, capMax);
  int tableWidth = 0;
  if (TableBlock) {
    TableBlock->Float = ANone;
    int autoCount = 0;
    TableBlock->ConvMargArray(AWidth - ml - mr, AHeight, autoCount);
    // The table's own width, without margins: once the table block centres
    // itself in the wrapper (below), its margins hold the free room of the
    // last layout, and counting them would widen the wrapper to the page.
    tableWidth = TableBlock->FindWidth(Canvas, AWidth - ml - mr, AHeight, autoCount) +
                 TableBlock->LeftSides() - TableBlock->BoxValue(piMarginLeft) + TableBlock->RightSides() -
                 TableBlock->BoxValue(piMarginRight);
    TableBlock->Justify = 2;
  }
  const int result = std::max(capMin, tableWidth);
  const int free = AWidth - result - ml - mr;
  if (free > 0 && ml == 0 && mr == 0) {
    if (Justify == 2) {
      ml = free / 2;
      mr = free - ml;
    } else if (Justify == 3) {
      ml = free;
    }
  }
  return result;
}

void TTableAndCaptionBlock::MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) {
  int tMin = 0, tMax = 0, cMin = 0, cMax = 0;
  if (TableBlock) TableBlock->MinMaxWidth(Canvas, tMin, tMax);
  if (CaptionBlock) CaptionBlock->MinMaxWidth(Canvas, cMin, cMax);
  Min = std::max(tMin, cMin);
  Max = std::max(tMax, cMin);
}

// ---- rules ----

int THRBlock::FindWidth(TCanvas* /*Canvas*/, int AWidth, int /*AHeight*/, int /*AutoCount*/) {
  if (Positioning == posAbsolute) Align = 1;
  int32_t& ml = Box[size_t(MA(piMarginLeft))];
  int32_t& mr = Box[size_t(MA(piMarginRight))];
  const bool autoLeft = ml == AutoValue || ml == NotSetValue, autoRight = mr == AutoValue || mr == NotSetValue;
  if (autoLeft) ml = 0;
  if (autoRight) mr = 0;
  const int room = AWidth - LeftSides() - RightSides();
  const int32_t width = Box[size_t(MA(piWidth))];
  const int w = (width == AutoValue || width == NotSetValue || width <= 0) ? std::max(15, room) : std::min(int(width), room);
  const int free = room - w;
  // ALIGN shares the free room out between auto sides; a side with a margin
  // of its own keeps it, and the rule stands against it.
  uint8_t align = Align;
  if (!autoLeft) align = 1;
  else if (!autoRight) align = 3;
  if (free > 0) {
    if (align == 2) ml += free / 2;
    else if (align == 3) ml += free;
  }
  const int32_t height = Box[size_t(MA(piHeight))];
  if (Line && Document && !Document->IsCopy && height != AutoValue && height != NotSetValue && height >= 0)
    Line->RuleHeight = height;
  return std::max(0, w);
}

int THorzLine::DrawLogic(TCanvas* /*Canvas*/, int X, int Y, int /*XRef*/, int /*YRef*/, int AvailWidth,
                         int /*AvailHeight*/, int /*BlockHeight*/, TIndentManager* IMgr, int& MaxWidth, int& Curs) {
  LayoutTop = BorderTop = ContentY = Y;
  StartPos = Curs;
  RuleLeft = IMgr ? std::max(IMgr->LeftIndent(Y), X) : X;
  RuleWidth = std::min(X + AvailWidth - RuleLeft, (IMgr ? IMgr->RightSide(Y) : X + AvailWidth) - RuleLeft);
  MaxWidth = RuleWidth;
  Height = PaintHeight = RuleHeight;
  OuterBottom = PaintBottom = Y + RuleHeight;
  return RuleHeight;
}

int THorzLine::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  const int result = TSectionBase::Draw(Canvas, ARect, IMgr, X, XRef, YRef);
  if (!Document) return result;
  const int t = LayoutTop - Document->ScrollY;
  if (t + RuleHeight < ARect.Top || t >= ARect.Bottom) return result;
  if (Document->Printing && LayoutTop >= Document->PageBottom) return result;
  if (RuleColor == clNone) {
    const TColor bg = Document->BackgroundColor;
    const bool light = Document->Printing || (ColorToRGB(bg) & 0xFFFFFF) == 0xFFFFFF;
    HDC dc = Canvas->Handle();
    const bool black = NoShade || (Document->Printing && GetDeviceCaps(dc, BITSPIXEL) == 1 && GetDeviceCaps(dc, PLANES) == 1);
    const TColor lowRight = black ? clBlack : light ? TColor(clSilver) : clBtnHighlight;
    const TColor topLeft = black ? clBlack : clBtnShadow;
    const int x2 = X + RuleWidth - 1, b = t + RuleHeight - 1;
    htPaint::FillRect(Canvas, TRect(X, t, x2 + 1, t + 1), topLeft);
    htPaint::FillRect(Canvas, TRect(X, t, X + 1, b + 1), topLeft);
    htPaint::FillRect(Canvas, TRect(X, b, x2 + 1, b + 1), lowRight);
    htPaint::FillRect(Canvas, TRect(x2, t, x2 + 1, b + 1), lowRight);
  } else {
    htPaint::FillRect(Canvas, TRect(X, t, X + RuleWidth, t + RuleHeight), RuleColor | PalRelative);
  }
  Document->FirstOnPage = false;
  return result;
}

void THorzLine::CopyToClipboard() {
  if (Document && Document->SelBuffer) Document->SelBuffer->AddTextCR(u"", 0);
}

int TPage::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  const int result = TSectionBase::Draw(Canvas, ARect, IMgr, X, XRef, YRef);
  if (!Document || !Document->Printing) return result;
  const int t = LayoutTop - Document->ScrollY;
  if (t > ARect.Top + 5 && t < ARect.Bottom && LayoutTop < Document->PageBottom) {
    Document->PageBottom = LayoutTop;
    Document->PageBreakFlag = true;
  }
  return result;
}

// ---- fieldsets ----

void TFieldsetBlock::ContentMinMax(TCanvas* Canvas, int& Min, int& Max) {
  TBlock::ContentMinMax(Canvas, Min, Max);
  int lMin = 0, lMax = 0;
  Legend->MinMaxWidth(Canvas, lMin, lMax);
  Min = std::max(Min, lMin);
  Max = std::max(Max, lMax);
}

int TFieldsetBlock::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth, int AvailHeight,
                              int BlockHeight, TIndentManager* IMgr, int& MaxWidth, int& Curs) {
  if (Display == pdNone)
    return TBlock::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr, MaxWidth, Curs);
  int autoCount = 0;
  ConvMargArray(AvailWidth, AvailHeight, autoCount);
  const int contentWidth = std::max(0, AvailWidth - LeftSides() - RightSides());
  if (Legend->Count() > 0 && IMgr) {
    const auto saveID = IMgr->CurrentID;
    IMgr->CurrentID = Legend.get();
    const int lx = X + LeftSides();
    const int li = IMgr->SetLeftIndent(lx - IMgr->LeftEdge, Y);
    const int ri = IMgr->SetRightIndent(lx + contentWidth - IMgr->LeftEdge, Y);
    int sw = 0;
    Legend->IndentManager = IMgr;
    Legend->DoLogicX(Canvas, lx, Y, 0, 0, contentWidth, 0, BlockHeight, sw, Curs);
    IMgr->FreeLeftIndentRec(li);
    IMgr->FreeRightIndentRec(ri);
    IMgr->CurrentID = saveID;
  }
  return TBlock::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr, MaxWidth, Curs);
}

void TFieldsetBlock::ConvMargArray(int BaseWidth, int BaseHeight, int& AutoCount) {
  TBlock::ConvMargArray(BaseWidth, BaseHeight, AutoCount);
  int32_t& mt = Box[size_t(MA(piMarginTop))];
  if (BoxProps[size_t(MA(piMarginTop))].IsEmpty() || mt == NotSetValue || mt == AutoValue) mt = 10;
  // A legend taller than the space above the content takes the excess,
  // half into the top padding and the rest into the top margin, so that
  // the frame's top runs through the legend's middle.
  int32_t& pt = Box[size_t(MA(piPaddingTop))];
  const int room = mt + BoxValue(piBorderTopWidth) + BoxValue(piPaddingTop);
  const int legend = Legend->Count() > 0 ? Legend->TotalHeight : 0;
  if (legend > room) {
    const int excess = legend - room;
    pt = BoxValue(piPaddingTop) + excess / 2;
    mt += excess - excess / 2;
  }
}

int TFieldsetBlock::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  if (Display == pdNone || !Document || Legend->Count() == 0) return TBlock::Draw(Canvas, ARect, IMgr, X, XRef, YRef);
  const int left = X + BoxValue(piMarginLeft) + BoxValue(piBorderLeftWidth) + BoxValue(piPaddingLeft) - 2;
  const int top = LayoutTop - Document->ScrollY;
  const TRect legendRect(left, top, left + Legend->MaxTextWidth + 4, top + Legend->TotalHeight);
  Legend->Draw(Canvas, ARect, Legend->MaxTextWidth + 4, left + 2, LayoutTop, XRef, YRef);
  // The frame is painted around the legend, not through it; the clip goes
  // back as it was afterwards, whatever the box paints.
  HDC dc = Canvas->Handle();
  HRGN saved = CreateRectRgn(0, 0, 0, 0);
  const bool hadClip = GetClipRgn(dc, saved) == 1;
  ExcludeClipRect(dc, legendRect.Left, legendRect.Top, legendRect.Right, legendRect.Bottom);
  const int result = TBlock::Draw(Canvas, ARect, IMgr, X, XRef, YRef);
  SelectClipRgn(dc, hadClip ? saved : nullptr);
  DeleteObject(saved);
  return result;
}

void TFieldsetBlock::DrawBlockBorder(TCanvas* Canvas, const TRect& ORect, const TRect& IRect) {
  TBlock::DrawBlockBorder(Canvas, ORect, IRect);
}
