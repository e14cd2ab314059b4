// Block boxes: widths from margins, borders, paddings and content; vertical
// placement with clearance, floats and positioning.
#include <algorithm>

#include "html/model/block.h"
#include "html/model/document.h"
#include "html/images/image_object.h"
#include "html/model/indent_manager.h"
#include "html/layout/layout_device.h"
#include "html/model/table.h"
#include "html/model/viewer_base.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

bool isAuto(int32_t v) { return v == AutoValue; }
int32_t px(int32_t v) { return v == AutoValue || v == NotSetValue ? 0 : v; }

}  // namespace

int32_t TBlock::BoxValue(TPropertyIndex I) const { return px(Box[size_t(MA(I))]); }

int TBlock::LeftSides() const { return BoxValue(piMarginLeft) + BoxValue(piPaddingLeft) + BoxValue(piBorderLeftWidth); }
int TBlock::RightSides() const {
  return BoxValue(piMarginRight) + BoxValue(piPaddingRight) + BoxValue(piBorderRightWidth);
}

void TBlock::ConvMargArray(int BaseWidth, int BaseHeight, int& AutoCount) {
  ConvertMarginArray(BoxProps, BaseWidth, BaseHeight, EmSize, ExSize, BorderWidthDefault(), AutoCount, Box);
}

void TBlock::ContentMinMax(TCanvas* Canvas, int& Min, int& Max) { MyCell->MinMaxWidth(Canvas, Min, Max); }

int TBlock::FindWidth(TCanvas* Canvas, int AWidth, int /*AHeight*/, int AutoCount) {
  int mn = 0, mx = 0;
  ContentMinMax(Canvas, mn, mx);
  int32_t& ml = Box[size_t(MA(piMarginLeft))];
  int32_t& mr = Box[size_t(MA(piMarginRight))];
  const int32_t width = Box[size_t(MA(piWidth))];
  ClipOverflow = ClipOverflow && !isAuto(width) && width > 20;
  const int64_t sides = int64_t(BoxValue(piPaddingLeft)) + BoxValue(piBorderLeftWidth) + BoxValue(piPaddingRight) +
                        BoxValue(piBorderRightWidth);
  auto clampInt = [](int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  auto autoWidth = [&]() -> int {
    const int64_t all = sides + px(ml) + px(mr);
    if (Positioning == posAbsolute) return clampInt(std::max<int64_t>(AWidth - all - OffsetLeft, mn));
    if (Float != ANone) return clampInt(std::min<int64_t>(mx, AWidth - all));
    return clampInt(std::max<int64_t>(mn, AWidth - all));
  };
  switch (AutoCount) {
    case 0:
      if ((Justify == 2 || Justify == 3) && Positioning == posStatic && Float == ANone && ml == 0 && mr == 0) {
        const int free = clampInt(std::max<int64_t>(0, AWidth - int64_t(width) - sides));
        if (Justify == 2) ml = mr = free / 2;
        else ml = free;
      }
      return std::max(0, int(width));
    case 1:
      if (!isAuto(width)) {
        if (isAuto(ml)) ml = clampInt(std::max<int64_t>(0, AWidth - sides - px(mr) - width));
        else if (isAuto(mr)) mr = Float != ANone ? 0 : clampInt(std::max<int64_t>(0, AWidth - sides - px(ml) - width));
        return std::max(0, int(width));
      }
      return autoWidth();
    case 2:
      if (!isAuto(width)) {
        ml = mr = clampInt(std::max<int64_t>(0, AWidth - int64_t(width) - sides) / 2);
        return std::max(0, int(width));
      }
      if (isAuto(ml)) ml = 0;
      if (isAuto(mr)) mr = 0;
      return autoWidth();
    default:
      ml = mr = 0;
      return autoWidth();
  }
}

void TBlock::MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) {
  Min = Max = 0;
  if (Display == pdNone || Positioning == posAbsolute) return;
  int autoCount = 0;
  ConvMargArray(0, 400, autoCount);
  const int32_t width = Box[size_t(MA(piWidth))];
  int mn = 0, mx = 0;
  if (ClipOverflow && !isAuto(width) && width > 20) mn = mx = width;
  else ContentMinMax(Canvas, mn, mx);
  const int64_t sides = int64_t(LeftSides()) + RightSides();
  auto clampInt = [](int64_t v) { return int(std::clamp<int64_t>(v, 0, INT32_MAX)); };
  if (!isAuto(width) && width > 0) {
    Min = Max = clampInt(sides + width);
  } else {
    Min = clampInt(sides + mn);
    Max = clampInt(sides + mx);
  }
}

int TBlock::GetClearSpace(TIndentManager* IMgr, int Y) const {
  if (Clear == clrNone || !IMgr) return 0;
  int cl = 0, cr = 0;
  IMgr->GetClearY(cl, cr);
  const int left = std::max(0, cl - Y - 1), right = std::max(0, cr - Y - 1);
  switch (Clear) {
    case clrLeft: return left;
    case clrRight: return right;
    default: return std::max(left, right);
  }
}

void TBlock::BuildPaintList() {
  PaintList.clear();
  for (const auto& item : *MyCell) {
    item->ParentBlock = this;
    PaintList.push_back(item.get());
  }
  auto zIndex = [](TSectionBase* item) {
    const TBlock* block = item->AsBlock();
    return block ? block->ZIndex : 0;
  };
  std::stable_sort(PaintList.begin(), PaintList.end(),
                   [&](TSectionBase* a, TSectionBase* b) { return zIndex(a) < zIndex(b); });
}

int TBlock::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth, int AvailHeight,
                      int BlockHeight, TIndentManager* IMgr, int& MaxWidth, int& Curs) {
  if (Display == pdNone) {
    LayoutTop = BorderTop = ContentY = Y;
    StartPos = Curs;
    OuterBottom = PaintBottom = Y;
    Height = PaintHeight = 0;
    MaxWidth = 0;
    return 0;
  }
  LayoutTop = Y;
  ClearAddon = GetClearSpace(IMgr, Y);
  StartPos = Curs;
  MaxWidth = AvailWidth;
  int autoCount = 0;
  ConvMargArray(AvailWidth, AvailHeight, autoCount);
  ContentWidth = FindWidth(Canvas, AvailWidth, AvailHeight, autoCount);
  const int leftSide = LeftSides(), rightSide = RightSides();
  const int totalWidth = ContentWidth + leftSide + rightSide;
  ContentLeft = leftSide;

  OffsetTop = Box[size_t(MA(piTop))];
  OffsetLeft = Box[size_t(MA(piLeft))];
  const bool positioned = Positioning == posAbsolute || Positioning == posFixed;
  if (Positioning == posRelative) {
    OffsetTop = px(OffsetTop);
    OffsetLeft = px(OffsetLeft);
  } else if (positioned) {
    OffsetTop = px(OffsetTop);
    const int32_t right = Box[size_t(MA(piRight))];
    const bool rightSet = right != AutoValue && right != NotSetValue;
    if (isAuto(OffsetLeft) || OffsetLeft == NotSetValue)
      OffsetLeft = rightSet && autoCount == 0 ? AvailWidth - right - px(Box[size_t(MA(piWidth))]) - leftSide - rightSide : 0;
    X = OffsetLeft;
    Y = YRef + OffsetTop;
  } else {
    OffsetTop = OffsetLeft = 0;
  }

  int top = Y + ClearAddon;
  const bool floats = Float != ANone && (Positioning == posStatic || Positioning == posRelative);
  if (floats && IMgr) {
    top = Y;
    const int x = Float == ALeft ? IMgr->AlignLeft(top, totalWidth, 0, 0) : IMgr->AlignRight(top, totalWidth, 0, 0);
    ContentLeft = leftSide + x - X;
  }
  const int mt = Box[size_t(MA(piMarginTop))] == AutoValue ? 0 : Box[size_t(MA(piMarginTop))];
  BorderTop = mt > 0 ? top + mt : top;
  ContentY = top + mt + BoxValue(piPaddingTop) + BoxValue(piBorderTopWidth);

  TIndentManager* mgr = IMgr;
  if (floats || positioned) {
    OuterIndents = IMgr;
    if (!OwnIndents) OwnIndents = std::make_unique<TIndentManager>();
    OwnIndents->Init(0, ContentWidth);
    mgr = OwnIndents.get();
  }
  MyCell->IndentManager = mgr;
  int contentHeight = 0, scrollWidth = 0;
  const int contentX = X + ContentLeft;
  const int32_t boxHeight = Box[size_t(MA(piHeight))];
  const int ah = boxHeight >= 0 ? boxHeight : 0;
  const int bh = boxHeight >= 1 ? boxHeight : AvailHeight >= 1 ? AvailHeight : BlockHeight;
  if (mgr) {
    const auto saveID = mgr->CurrentID;
    mgr->CurrentID = this;
    const int li = mgr->SetLeftIndent(contentX - mgr->LeftEdge, top);
    const int ri = mgr->SetRightIndent(contentX + ContentWidth - mgr->LeftEdge, top);
    if (Positioning == posRelative) {
      contentHeight = MyCell->DoLogicX(Canvas, contentX, ContentY + OffsetTop, XRef, ContentY + OffsetTop, ContentWidth,
                                       ah, bh, scrollWidth, Curs);
    } else if (positioned) {
      contentHeight = MyCell->DoLogicX(Canvas, contentX, ContentY, OffsetLeft + XRef + BoxValue(piMarginLeft) +
                                       BoxValue(piBorderLeftWidth), OffsetTop + YRef + mt + BoxValue(piBorderTopWidth),
                                       ContentWidth, ah, bh, scrollWidth, Curs);
    } else {
      contentHeight = MyCell->DoLogicX(Canvas, contentX, ContentY, XRef, YRef, ContentWidth, ah, bh, scrollWidth, Curs);
    }
    mgr->FreeLeftIndentRec(li);
    mgr->FreeRightIndentRec(ri);
    mgr->CurrentID = saveID;
  }
  MaxWidth = ContentLeft + scrollWidth + rightSide + (Positioning == posRelative ? OffsetLeft : 0);

  int cellBottom = std::max(ContentY + contentHeight, MyCell->Count() ? MyCell->MaxOuterBottom : ContentY);
  if (Positioning == posRelative) cellBottom -= OffsetTop;
  if (positioned && OwnIndents) cellBottom = std::max(cellBottom, OwnIndents->ImageBottom());
  if (ClipOverflow && boxHeight > 3) ContentBottom = ContentY + boxHeight;
  else ContentBottom = std::max({ContentY + std::max(0, int(boxHeight)), ContentY, cellBottom});
  Length = Curs - StartPos;
  const int below = BoxValue(piPaddingBottom) + BoxValue(piBorderBottomWidth);
  OuterBottom = ContentBottom + below + Box[size_t(MA(piMarginBottom))];
  PaintBottom = std::max(MyCell->MaxPaintBottom, ContentBottom) + below;
  Height = OuterBottom - Y;
  PaintHeight = std::max(Height, PaintBottom - Y);

  if (BGImage && Document && Document->ImagesOn) {
    BGImage->DrawLogic(Document, Canvas, nullptr, 0, 0);
    if (BGImage->Image == ErrorBitmap()) {
      BGImage.reset();
      BGPending = false;
    } else {
      BGPending = true;
    }
  }

  if (PaintList.empty() && MyCell->Count() > 0) BuildPaintList();
  if (floats) {
    if (OuterIndents) {
      if (Float == ALeft) OuterIndents->AddLeft(top, OuterBottom, totalWidth);
      else OuterIndents->AddRight(top, OuterBottom, totalWidth);
    }
    Height = PaintHeight = 0;
    return 0;
  }
  if (positioned) {
    Height = PaintHeight = 0;
    return 0;
  }
  if (IMgr) PaintHeight = std::max(IMgr->ImageBottom() - Y, PaintHeight);
  return Height;
}
