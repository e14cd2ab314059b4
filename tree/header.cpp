// The tree's header: its height rules, main and sort column, automatic and
// spring sizing, distributing a width change over columns, and the binary
// form in which a header is saved and read back.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/menus.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"
#include "tree/data_object.h"
#include "tree/header.h"

namespace {
bool treeLoading(const TBaseDataTree* tree) {
  return tree->ComponentState().Contains(csLoading);
}

constexpr int HeaderStreamVersion = 6;
}  // namespace

// ---- fixed-area constraints ----------------------------------------------------------

void TDTFixedAreaConstraints::change() { FHeader->FixedAreaConstraintsChanged(); }

void TDTFixedAreaConstraints::SetMaxHeightPercent(TDTConstraintPercent Value) {
  Value = std::min<TDTConstraintPercent>(Value, 100);
  if (Value == FMaxHeightPercent) return;
  FMaxHeightPercent = Value;
  if (Value > 0 && Value < FMinHeightPercent) FMinHeightPercent = Value;
  change();
}

void TDTFixedAreaConstraints::SetMaxWidthPercent(TDTConstraintPercent Value) {
  Value = std::min<TDTConstraintPercent>(Value, 100);
  if (Value == FMaxWidthPercent) return;
  FMaxWidthPercent = Value;
  if (Value > 0 && Value < FMinWidthPercent) FMinWidthPercent = Value;
  change();
}

void TDTFixedAreaConstraints::SetMinHeightPercent(TDTConstraintPercent Value) {
  Value = std::min<TDTConstraintPercent>(Value, 100);
  if (Value == FMinHeightPercent) return;
  FMinHeightPercent = Value;
  if (FMaxHeightPercent > 0 && Value > FMaxHeightPercent) FMaxHeightPercent = Value;
  change();
}

void TDTFixedAreaConstraints::SetMinWidthPercent(TDTConstraintPercent Value) {
  Value = std::min<TDTConstraintPercent>(Value, 100);
  if (Value == FMinWidthPercent) return;
  FMinWidthPercent = Value;
  if (FMaxWidthPercent > 0 && Value > FMaxWidthPercent) FMaxWidthPercent = Value;
  change();
}

void TDTFixedAreaConstraints::Assign(const TDTFixedAreaConstraints& s) {
  FMaxHeightPercent = s.FMaxHeightPercent;
  FMaxWidthPercent = s.FMaxWidthPercent;
  FMinHeightPercent = s.FMinHeightPercent;
  FMinWidthPercent = s.FMinWidthPercent;
  change();
}

// ---- header ---------------------------------------------------------------------------

TDTHeader::TDTHeader(TBaseDataTree* AOwner)
    : FOwner(AOwner),
      FColumns(std::make_unique<TDataTreeColumns>(this)),
      FFont(std::make_unique<TFont>()),
      FFixedAreaConstraints(std::make_unique<TDTFixedAreaConstraints>(this)) {
  FFont->OnChange = [this](TObject*) { Invalidate(NoColumn); };
  // A darkened, half-transparent copy of the column, evenly blended.
  FDragImage = std::make_unique<TDTDragImage>(AOwner);
  FDragImage->Transparency = 140;
  FDragImage->PreBlendBias = -50;
  FDragImage->PostBlendBias = 0;
  FDragImage->Fade = false;
}

TDTHeader::~TDTHeader() {
  FDragImage->EndDrag();
  FFont->OnChange = nullptr;
  FColumns.reset();
}

bool TDTHeader::UseColumns() const { return FColumns->Count() > 0; }

TColumnIndex TDTHeader::MainColumn() const {
  return FColumns->Count() > 0 ? FMainColumn : NoColumn;
}

TRect TDTHeader::HeaderRect() const { return FOwner->HeaderRect(); }

bool TDTHeader::InHeader(TPoint P) const {
  TRect r = HeaderRect();
  return FOptions.Contains(hoVisible) && P.x >= r.Left && P.x < r.Right && P.y >= r.Top &&
         P.y < r.Bottom;
}

void TDTHeader::Invalidate(TColumnIndex Column, bool ExpandToBorder) {
  (void)ExpandToBorder;
  if (!FOptions.Contains(hoVisible) || !FOwner->TreeHandleAllocated() || FOwner->UpdateCount() > 0)
    return;
  (void)Column;
  // The header lives in the frame: repaint the frame.
  RedrawWindow(FOwner->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE);
}

void TDTHeader::RecalculateHeader() {
  if (!FOwner->TreeHandleAllocated()) return;
  // The frame's change resizes the client area at once; the handlers of
  // the resize may destroy the tree, and this header with it.
  TBaseDataTree* tree = FOwner;
  tree->GuardedEntry([tree] {
    tree->ThroughToolkit([tree] {
      SetWindowPos(tree->Handle(), nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    });
    tree->UpdateHeaderRect();
  });
}

void TDTHeader::SetHeight(int Value) {
  if (FOwner->TreeHandleAllocated()) {
    const TDTFixedAreaConstraints& c = *FFixedAreaConstraints;
    int h = FOwner->ClientHeight() + FHeight;
    int maxH = h * c.MaxHeightPercent() / 100;
    int minH = h * c.MinHeightPercent() / 100;
    int low = c.MaxHeightPercent() > 0 ? std::min(maxH, FMinHeight) : FMinHeight;
    int high = c.MinHeightPercent() > 0 ? std::max(minH, FMaxHeight) : FMaxHeight;
    Value = std::min(std::max(Value, low), high);
    if (c.MinHeightPercent() > 0) Value = std::max(Value, minH);
    if (c.MaxHeightPercent() > 0) Value = std::min(Value, maxH);
    if (Value == FHeight) return;
    FHeight = Value;
    if (!treeLoading(FOwner) && !FStates.Contains(hsScaling)) {
      const std::weak_ptr<const bool> life = FOwner->LifeToken();
      RecalculateHeader();
      if (life.expired()) return;
    }
    FOwner->InvalidateWindow();
    return;
  }
  FHeight = Value;
  FStates.Include(hsNeedRecalculation);
}

void TDTHeader::SetFont(const TFont& Value) {
  FFont->Assign(Value);
  FParentFont = false;
}

void TDTHeader::SetParentFont(bool Value) {
  if (Value == FParentFont) return;
  FParentFont = Value;
  if (Value) FFont->Assign(*FOwner->Font());
}

void TDTHeader::SetOptions(TDTHeaderOptions Value) {
  if (Value == FOptions) return;
  TDTHeaderOptions old = FOptions;
  FOptions = Value;
  bool autoResizeChanged = old.Contains(hoAutoResize) != Value.Contains(hoAutoResize);
  // Setting the scroll bars may end in a handler that destroys the tree.
  FOwner->GuardedEntry([&] {
    if (autoResizeChanged && FColumns->Count() > 0) {
      FColumns->AdjustAutoSize(InvalidColumn);
      if (FOwner->TreeHandleAllocated()) {
        FOwner->ColumnsChanged();
        if (Value.Contains(hoAutoResize)) FOwner->InvalidateWindow();
      }
    }
    if (treeLoading(FOwner) || !FOwner->TreeHandleAllocated()) return;
    if (old.Contains(hoVisible) != Value.Contains(hoVisible)) RecalculateHeader();
    Invalidate(NoColumn);
    FOwner->InvalidateWindow();
  });
}

void TDTHeader::SetStyle(TDTHeaderStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  if (!treeLoading(FOwner)) Invalidate(NoColumn);
}

void TDTHeader::SetBackground(TColor Value) {
  if (Value == FBackground) return;
  FBackground = Value;
  Invalidate(NoColumn);
}

void TDTHeader::SetAutoSizeIndex(TColumnIndex Value) {
  if (Value == FAutoSizeIndex) return;
  FAutoSizeIndex = Value;
  if (FOptions.Contains(hoAutoResize)) FColumns->AdjustAutoSize(InvalidColumn);
}

void TDTHeader::SetMainColumn(TColumnIndex Value) {
  if (treeLoading(FOwner)) {
    FMainColumn = Value;
    return;
  }
  if (FColumns->Count() == 0) {
    FMainColumn = NoColumn;
    return;
  }
  Value = std::clamp(Value, 0, FColumns->Count() - 1);
  if (Value == FMainColumn) return;
  FMainColumn = Value;
  FOwner->CancelEditNode();
  if (!FOwner->TreeOptions().SelectionOptions().Contains(toExtendedFocus))
    FOwner->FFocusedColumn = Value;
  FOwner->HeaderChanged(false);
  FOwner->InvalidateWindow();
}

void TDTHeader::SetMaxHeight(int Value) {
  FMaxHeight = std::max(Value, FMinHeight);
  SetHeight(FHeight);
}

void TDTHeader::SetMinHeight(int Value) {
  FMinHeight = std::clamp(Value, 0, FMaxHeight);
  SetHeight(FHeight);
}

void TDTHeader::SetDefaultHeight(int Value) {
  Value = std::clamp(Value, FMinHeight, FMaxHeight);
  // The new height's layout may end in a handler that destroys the tree:
  // nothing of the header is touched after it.
  const bool follow = FHeight == FDefaultHeight;
  FDefaultHeight = Value;
  if (follow) SetHeight(Value);
}

void TDTHeader::SetImages(TImageList* Value) {
  if (Value == FImages) return;
  TImageList* old = FImages;
  FImages = Value;
  FOwner->referenceChanged(old, Value);
  if (!treeLoading(FOwner)) Invalidate(NoColumn);
}

void TDTHeader::SetPopupMenu(TPopupMenu* Value) {
  if (Value == FPopupMenu) return;
  TPopupMenu* old = FPopupMenu;
  FPopupMenu = Value;
  FOwner->referenceChanged(old, Value);
}

bool TDTHeader::ComponentFreed(const TComponent* AComponent) {
  bool known = false;
  if (AComponent && AComponent == FImages) {
    FImages = nullptr;
    known = true;
  }
  if (AComponent && AComponent == FPopupMenu) {
    FPopupMenu = nullptr;
    known = true;
  }
  return known;
}

void TDTHeader::SetSortColumn(TColumnIndex Value) {
  if (treeLoading(FOwner)) {
    FSortColumn = Value;
    return;
  }
  DoSetSortColumn(Value);
}

void TDTHeader::DoSetSortColumn(TColumnIndex Value) {
  Value = std::clamp(Value, NoColumn, FColumns->Count() - 1);
  if (Value == FSortColumn) return;
  Invalidate(FSortColumn);
  FSortColumn = Value;
  Invalidate(Value);
  // The comparison and change handlers may destroy the tree, and this
  // header with it: their raise then unwinds to the entry.
  FOwner->GuardedEntry([&] {
    if (FOwner->TreeOptions().AutoOptions().Contains(toAutoSort) && FOwner->UpdateCount() == 0)
      FOwner->DoSort(FSortColumn, FSortDirection);
    FOwner->RaiseEvent(FOwner->OnHeaderSortChanged, this, FSortColumn);
  });
}

void TDTHeader::SetSortDirection(TSortDirection Value) {
  if (Value == FSortDirection) return;
  FSortDirection = Value;
  Invalidate(NoColumn);
  if (FOwner->TreeOptions().AutoOptions().Contains(toAutoSort) && FOwner->UpdateCount() == 0)
    FOwner->DoSort(FSortColumn, FSortDirection);
}

void TDTHeader::ChangeScale(int M, int D) {
  FFont->SetSize(MulDiv(FFont->Size(), M, D));
}

void TDTHeader::Assign(const TDTHeader& s) {
  TImageList* oldImages = FImages;
  TPopupMenu* oldMenu = FPopupMenu;
  FAutoSizeIndex = s.FAutoSizeIndex;
  FBackground = s.FBackground;
  FColumns->Assign(*s.FColumns);
  FFont->Assign(*s.FFont);
  FFixedAreaConstraints->Assign(*s.FFixedAreaConstraints);
  FHeight = s.FHeight;
  FImages = s.FImages;
  FMainColumn = s.FMainColumn;
  FOptions = s.FOptions;
  FParentFont = s.FParentFont;
  FPopupMenu = s.FPopupMenu;
  FSortColumn = s.FSortColumn;
  FSortDirection = s.FSortDirection;
  FStyle = s.FStyle;
  FOwner->referenceChanged(oldImages, FImages);
  FOwner->referenceChanged(oldMenu, FPopupMenu);
  RescaleHeader();
}

void TDTHeader::FixedAreaConstraintsChanged() {
  FStates.Include(hsNeedRecalculation);
  if (FOwner->TreeHandleAllocated()) RescaleHeader();
}

bool TDTHeader::DoBeforeAutoFitColumn(TColumnIndex Column, TSmartAutoFitType SmartAutoFitType) {
  bool allowed = true;
  FOwner->RaiseEvent(FOwner->OnBeforeAutoFitColumn, this, Column, SmartAutoFitType, allowed);
  return allowed;
}

void TDTHeader::DoAfterAutoFitColumn(TColumnIndex Column) {
  FOwner->RaiseEvent(FOwner->OnAfterAutoFitColumn, this, Column);
}

void TDTHeader::AutoFitColumns(bool Animated, TSmartAutoFitType SmartAutoFitType, int RangeStartCol,
                               int RangeEndCol) {
  if (FColumns->Count() == 0) return;
  const int endCol = RangeEndCol < 0 ? FColumns->Count() - 1 : std::min(RangeEndCol, FColumns->Count() - 1);
  const int startCol = std::max(RangeStartCol, 0);
  // Every handler below may destroy the tree, and this header with it: the
  // raise then unwinds to the entry. They may delete columns as well: each
  // step goes on with its column only while the column is still one of the
  // header's, under the index it has then.
  FOwner->GuardedEntry([&] {
    FOwner->BeginOperation();
    FOwner->RaiseEvent(FOwner->OnBeforeAutoFitColumns, this, SmartAutoFitType);
    for (int p = startCol; p <= std::min(endCol, FColumns->Count() - 1); ++p) {
      const TColumnIndex index = FColumns->ColumnFromPosition(TColumnPosition(p));
      if (index < 0) continue;
      TDataTreeColumn* c = FColumns->Items(index);
      if (!c->Options().Contains(coVisible) || !c->Options().Contains(coResizable)) continue;
      const bool fit = DoBeforeAutoFitColumn(index, SmartAutoFitType);
      if (!fit || FOwner->OperationCanceled() || !FColumns->Contains(c)) continue;
      const bool smart = SmartAutoFitType == smaAllColumns ||
                         (SmartAutoFitType == smaUseColumnOption && c->Options().Contains(coSmartResize));
      const int width = FOwner->GetMaxColumnWidth(c->Index(), smart);
      if (!FColumns->Contains(c)) continue;
      if (Animated)
        FColumns->AnimatedResize(c->Index(), width);
      else
        c->SetWidth(width);
      if (!FColumns->Contains(c)) continue;
      DoAfterAutoFitColumn(c->Index());
    }
    FOwner->RaiseEvent(FOwner->OnAfterAutoFitColumns, this);
    FOwner->EndOperation();
  });
}

int TDTHeader::ResizeColumns(int ChangeBy, TColumnIndex RangeStartCol, TColumnIndex RangeEndCol,
                             TDTColumnOptions Options) {
  const int count = FColumns->Count();
  if (ChangeBy == 0 || count == 0) return 0;
  RangeStartCol = std::clamp(RangeStartCol, 0, count - 1);
  RangeEndCol = std::clamp(RangeEndCol < 0 ? count - 1 : RangeEndCol, RangeStartCol, count - 1);
  const bool growing = ChangeBy > 0;
  std::vector<int> widths(static_cast<std::size_t>(count), 0);
  for (int i = 0; i < count; ++i) widths[std::size_t(i)] = FColumns->Items(i)->Width();
  auto matches = [&](int i) { return FColumns->Items(i)->Options().ContainsAll(Options); };
  auto room = [&](int i) {
    TDataTreeColumn* c = FColumns->Items(i);
    return growing ? c->MaxWidth() - widths[std::size_t(i)] : widths[std::size_t(i)] - c->MinWidth();
  };
  int remaining = std::abs(ChangeBy);
  int applied = 0;
  FStates.Include(hsResizing);
  while (remaining > 0) {
    int changeable = 0;
    long long totalRoom = 0;
    for (int i = RangeStartCol; i <= RangeEndCol; ++i)
      if (matches(i) && room(i) > 0) {
        ++changeable;
        totalRoom += room(i);
      }
    if (changeable == 0) {
      if (!FStates.Contains(hsScaling)) break;
      // Scaling must make room: the widest column gives up a tenth.
      int widest = -1;
      for (int i = RangeStartCol; i <= RangeEndCol; ++i)
        if (matches(i) && widths[std::size_t(i)] > 10 &&
            (widest < 0 || widths[std::size_t(i)] > widths[std::size_t(widest)]))
          widest = i;
      if (widest < 0) break;
      int tenth = widths[std::size_t(widest)] / 10;
      widths[std::size_t(widest)] -= tenth;
      remaining -= tenth;
      applied += tenth;
      continue;
    }
    int amount = int(std::min<long long>(remaining, totalRoom));
    int share = amount / changeable;
    int given = 0;
    for (int i = RangeStartCol; i <= RangeEndCol; ++i) {
      if (!matches(i) || room(i) <= 0) continue;
      int d = std::min(share, room(i));
      widths[std::size_t(i)] += growing ? d : -d;
      given += d;
    }
    int rest = amount - given;
    // The pixels that do not divide evenly go one at a time to the columns
    // that did not get one last time, so repeated changes stay fair.
    int guard = 0;
    while (rest > 0 && guard++ < 4 * count + 4) {
      bool gaveAny = false;
      int i = growing ? RangeStartCol : RangeEndCol;
      while (rest > 0 && i >= RangeStartCol && i <= RangeEndCol) {
        TDataTreeColumn* c = FColumns->Items(i);
        if (matches(i) && room(i) > 0 && c->FBonusPixel != growing) {
          widths[std::size_t(i)] += growing ? 1 : -1;
          c->FBonusPixel = growing;
          --rest;
          ++given;
          gaveAny = true;
        }
        i += growing ? 1 : -1;
      }
      if (rest > 0)
        for (int j = RangeStartCol; j <= RangeEndCol; ++j)
          if (matches(j)) FColumns->Items(j)->FBonusPixel = !FColumns->Items(j)->FBonusPixel;
      if (!gaveAny && rest > 0 && guard > 2 * count + 2) break;
    }
    if (given == 0) break;
    remaining -= given;
    applied += given;
  }
  FStates.Include(hsAutoSizing);
  // Each resize may end in a handler that destroys the tree.
  const std::weak_ptr<const bool> life = FOwner->LifeToken();
  // A handler may delete columns as well: each width goes to the column
  // it was worked out for, if that column is still there.
  std::vector<TDataTreeColumn*> columns(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) columns[std::size_t(i)] = FColumns->Items(i);
  for (int i = 0; i < count; ++i) {
    TDataTreeColumn* const column = columns[std::size_t(i)];
    if (!FColumns->Contains(column) || widths[std::size_t(i)] == column->Width()) continue;
    column->SetWidth(widths[std::size_t(i)]);
    if (life.expired()) return 0;
  }
  FStates.Exclude(hsAutoSizing);
  FStates.Exclude(hsResizing);
  return growing ? applied : -applied;
}

void TDTHeader::RescaleHeader() {
  if (treeLoading(FOwner) || FOwner->ComponentState().Contains(csReading) ||
      FOwner->ComponentState().Contains(csDestroying) || FStates.Contains(hsLoading) ||
      !FOwner->TreeHandleAllocated())
    return;
  FStates.Include(hsScaling);
  const std::weak_ptr<const bool> life = FOwner->LifeToken();
  SetHeight(FHeight);
  if (life.expired()) return;
  RecalculateHeader();
  if (life.expired()) return;
  const TDTFixedAreaConstraints& c = *FFixedAreaConstraints;
  if (c.MinHeightPercent() > 0 || c.MaxHeightPercent() > 0) {
    for (int i = 0; i < FColumns->Count(); ++i) {
      TDataTreeColumn* col = FColumns->Items(i);
      if (col->Options().Contains(coVisible) && col->Options().Contains(coFixed) &&
          col->Width() < col->MinWidth())
        col->FWidth = col->MinWidth();
    }
    int w = FOwner->ClientWidth();
    int fixed = FColumns->GetVisibleFixedWidth();
    int maxF = w * c.MaxWidthPercent() / 100;
    int minF = w * c.MinWidthPercent() / 100;
    if (c.MaxWidthPercent() > 0 && fixed > maxF)
      ResizeColumns(maxF - fixed, 0, FColumns->Count() - 1, {coVisible, coFixed});
    else if (c.MinWidthPercent() > 0 && fixed < minF)
      ResizeColumns(minF - fixed, 0, FColumns->Count() - 1, {coVisible, coFixed});
    if (life.expired()) return;
    FColumns->UpdatePositions();
  }
  FStates.Exclude(hsScaling);
  FStates.Exclude(hsNeedRecalculation);
}

void TDTHeader::ResizeSpringColumns() {
  int width = FOwner->ClientWidth();
  int delta = width - FLastWidth;
  if (FLastWidth == 0 || delta == 0) {
    FLastWidth = width;
    return;
  }
  std::vector<TDataTreeColumn*> springs;
  for (int i = 0; i < FColumns->Count(); ++i) {
    TDataTreeColumn* c = FColumns->Items(i);
    if (c->Options().Contains(coVisible) && c->Options().Contains(coAutoSpring)) springs.push_back(c);
  }
  FLastWidth = width;
  // No spring column: nothing to share (and nothing to divide by).
  if (springs.empty()) return;
  float share = float(std::abs(delta)) / float(springs.size());
  float left = float(std::abs(delta));
  // Each resize may end in a handler that destroys the tree.
  const std::weak_ptr<const bool> life = FOwner->LifeToken();
  for (TDataTreeColumn* c : springs) {
    // A resize handler may have deleted a later spring column.
    if (!FColumns->Contains(c)) continue;
    c->FSpringRest += share;
    if (c->FSpringRest >= 1.0f) {
      int whole = int(c->FSpringRest);
      c->FSpringRest -= float(whole);
      c->SetWidth(c->Width() + (delta > 0 ? whole : -whole));
      if (life.expired()) return;
    }
    left -= share;
    if (left < 0) break;
  }
}

// ---- streams ----------------------------------------------------------------------------
// Header streams come from files and the clipboard: every length, count and
// enumeration is checked before it is used.

namespace {
void writeInt(TStream& s, std::int32_t v) {
  std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
  s.WriteBuffer(b, 4);
}

std::int32_t readInt(TStream& s) {
  std::uint8_t b[4];
  s.ReadBuffer(b, 4);
  return std::int32_t(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                      std::uint32_t(b[3]) << 24);
}

[[noreturn]] void streamError() { ShowError("Invalid header stream.", 0); }

std::int32_t readRange(TStream& s, std::int32_t low, std::int32_t high) {
  std::int32_t v = readInt(s);
  if (v < low || v > high) streamError();
  return v;
}

void checkLength(TStream& s, std::int64_t bytes) {
  if (bytes < 0) streamError();
  std::int64_t left = s.Size() - s.Position();
  if (bytes > left) streamError();
}

void writeWide(TStream& s, const String& text) {
  writeInt(s, std::int32_t(text.size()));
  for (char16_t c : text) {
    std::uint8_t b[2] = {std::uint8_t(c), std::uint8_t(c >> 8)};
    s.WriteBuffer(b, 2);
  }
}

String readWide(TStream& s) {
  std::int32_t n = readInt(s);
  checkLength(s, std::int64_t(n) * 2);
  String text(std::size_t(n), u'\0');
  for (std::int32_t i = 0; i < n; ++i) {
    std::uint8_t b[2];
    s.ReadBuffer(b, 2);
    text[std::size_t(i)] = char16_t(b[0] | b[1] << 8);
  }
  return text;
}
}  // namespace

void TDataTreeColumn::SaveToStream(TStream& s) const {
  writeWide(s, FText);
  writeWide(s, FHint);
  writeInt(s, FWidth);
  writeInt(s, FMinWidth);
  writeInt(s, FMaxWidth);
  writeInt(s, FStyle);
  writeInt(s, FImageIndex);
  writeInt(s, FLayout);
  writeInt(s, FMargin);
  writeInt(s, FSpacing);
  writeInt(s, FBiDiMode);
  writeInt(s, std::int32_t(FOptions.RawBits()));
  writeInt(s, FTag);
  writeInt(s, FAlignment);
  writeInt(s, FColor);
  if (FOptions.Contains(coUseCaptionAlignment)) writeInt(s, FCaptionAlignment);
}

void TDataTreeColumn::LoadFromStream(TStream& s, int Version) {
  FText = readWide(s);
  FCaptionText = FText;
  FHint = readWide(s);
  FWidth = readInt(s);
  FMinWidth = readInt(s);
  FMaxWidth = readInt(s);
  if (FMinWidth < 0 || FMaxWidth < FMinWidth) streamError();
  FWidth = std::clamp(FWidth, FMinWidth, FMaxWidth);
  FStyle = TDataTreeColumnStyle(readRange(s, vsText, vsOwnerDraw));
  FImageIndex = readInt(s);
  FLayout = TDTHeaderColumnLayout(readRange(s, blGlyphLeft, blGlyphBottom));
  FMargin = readInt(s);
  if (FMargin < 0) FMargin = 4;
  FSpacing = readInt(s);
  FBiDiMode = TBiDiMode(readRange(s, bdLeftToRight, bdRightToLeftReadingOnly));
  std::uint32_t bits = std::uint32_t(readInt(s));
  if (Version >= 3) {
    bits &= 0xFFFF;
  } else if (Version == 2) {
    bits &= 0xFF;
  } else {
    // Old streams had no parent-colour bit: bits 4-6 moved up by one.
    bits = (bits & 0x0F) | ((bits & 0x70) << 1);
  }
  FOptions = TDTColumnOptions::FromBits(bits & 0x7FFF);
  if (Version > 0) {
    FTag = readInt(s);
    FAlignment = TAlignment(readRange(s, taLeftJustify, taCenter));
  }
  if (Version > 1) FColor = readInt(s);
  if (Version > 5 && FOptions.Contains(coUseCaptionAlignment))
    FCaptionAlignment = TAlignment(readRange(s, taLeftJustify, taCenter));
}

void TDataTreeColumns::SaveToStream(TStream& s) const {
  writeInt(s, Count());
  if (Count() > 0) {
    for (const auto& c : FItems) c->SaveToStream(s);
    for (TColumnIndex i : FPositionToIndex) writeInt(s, i);
  }
  writeInt(s, FDefaultWidth);
}

void TDataTreeColumns::LoadFromStream(TStream& s, int Version) {
  BeginUpdate();
  FClearing = true;
  FItems.clear();
  FPositionToIndex.clear();
  FClearing = false;
  std::int32_t count = readInt(s);
  // Every column record takes at least 48 bytes (the oldest form).
  if (count < 0 || std::int64_t(count) * 48 > s.Size() - s.Position()) streamError();
  try {
    for (std::int32_t i = 0; i < count; ++i) {
      FItems.push_back(std::make_unique<TDataTreeColumn>(this));
      FItems.back()->FIndex = i;
      FItems.back()->LoadFromStream(s, Version);
    }
    if (count > 0) {
      std::vector<TColumnIndex> positions(static_cast<std::size_t>(count), 0);
      std::vector<bool> seen(std::size_t(count), false);
      for (auto& p : positions) {
        p = readRange(s, 0, count - 1);
        // Positions must name every column exactly once.
        if (seen[std::size_t(p)]) streamError();
        seen[std::size_t(p)] = true;
      }
      FPositionToIndex = positions;
    }
    if (Version > 4) FDefaultWidth = readInt(s);
  } catch (...) {
    FClearing = true;
    FItems.clear();
    FPositionToIndex.clear();
    FClearing = false;
    --FUpdateCount;
    throw;
  }
  --FUpdateCount;
  UpdatePositions(true);
}

void TDTHeader::SaveToStream(TStream& s) const {
  writeInt(s, -1);
  writeInt(s, HeaderStreamVersion);
  FColumns->SaveToStream(s);
  writeInt(s, FAutoSizeIndex);
  writeInt(s, FBackground);
  writeInt(s, FHeight);
  writeInt(s, std::int32_t(FOptions.RawBits() & 0xFFFF));
  writeInt(s, FStyle);
  writeInt(s, FFont->Color());
  writeInt(s, FFont->Height());
  UTF8String name = UTF16ToUTF8(FFont->Name());
  writeInt(s, std::int32_t(name.size()));
  s.WriteBuffer(name.data(), std::int64_t(name.size()));
  writeInt(s, FFont->Pitch());
  writeInt(s, std::int32_t(FFont->Style().RawBits()));
  writeInt(s, FMainColumn);
  writeInt(s, FSortColumn);
  writeInt(s, FSortDirection);
  writeInt(s, FParentFont ? 1 : 0);
  writeInt(s, FMaxHeight);
  writeInt(s, FMinHeight);
  writeInt(s, FDefaultHeight);
  writeInt(s, FFixedAreaConstraints->MaxHeightPercent());
  writeInt(s, FFixedAreaConstraints->MaxWidthPercent());
  writeInt(s, FFixedAreaConstraints->MinHeightPercent());
  writeInt(s, FFixedAreaConstraints->MinWidthPercent());
}

void TDTHeader::LoadFromStream(TStream& s) {
  FStates.Include(hsLoading);
  // On every way out, also a refusal part-way through or a stream too old
  // to carry them, the indexes into the columns name columns that exist.
  // The font's change handlers may reach the owner's handlers, and they may
  // destroy the tree and with it this header.
  struct TLoadingGuard {
    TDTHeader* H;
    std::weak_ptr<const bool> Life;
    ~TLoadingGuard() { Done(); }
    void Done() {
      if (Life.expired()) return;
      H->FStates.Exclude(hsLoading);
      const TColumnIndex count = H->FColumns->Count();
      if (H->FMainColumn >= count || (count > 0 && H->FMainColumn < 0))
        H->FMainColumn = count > 0 ? 0 : NoColumn;
      if (H->FSortColumn >= count || H->FSortColumn < NoColumn) H->FSortColumn = NoColumn;
      if (H->FAutoSizeIndex >= count || H->FAutoSizeIndex < NoColumn) H->FAutoSizeIndex = NoColumn;
      TBaseDataTree* tree = H->FOwner;
      if (tree->FFocusedColumn >= count) tree->FFocusedColumn = H->FMainColumn;
    }
  } guard{this, FOwner->LifeToken()};
  int version = -1;
  std::int32_t first = readInt(s);
  if (first >= 0) {
    s.Seek(-4, soCurrent);
  } else {
    version = readInt(s);
    if (version < 0 || version > HeaderStreamVersion) streamError();
  }
  FColumns->LoadFromStream(s, version);
  const int count = FColumns->Count();
  FAutoSizeIndex = readRange(s, NoColumn, count - 1);
  FBackground = readInt(s);
  FHeight = readRange(s, 0, 10000);
  FOptions = TDTHeaderOptions::FromBits(std::uint32_t(readInt(s)) & 0xFFFF);
  FStyle = TDTHeaderStyle(readRange(s, hsThickButtons, hsXPStyle));
  FFont->SetColor(readInt(s));
  FFont->SetHeight(readInt(s));
  std::int32_t nameLength = readInt(s);
  checkLength(s, nameLength);
  UTF8String name(std::size_t(nameLength), '\0');
  if (nameLength > 0) s.ReadBuffer(name.data(), nameLength);
  FFont->SetName(UTF8ToUTF16(name));
  FFont->SetPitch(TFontPitch(readRange(s, fpDefault, fpFixed)));
  FFont->SetStyle(TFontStyles::FromBits(std::uint32_t(readInt(s)) & 0xF));
  if (version > 0) {
    FMainColumn = readRange(s, NoColumn, count - 1);
    FSortColumn = readRange(s, NoColumn, count - 1);
    FSortDirection = TSortDirection(readRange(s, sdAscending, sdDescending));
  }
  if (version > 4) {
    FParentFont = readRange(s, 0, 1) != 0;
    FMaxHeight = readRange(s, 0, 10000);
    FMinHeight = readRange(s, 0, FMaxHeight);
    FDefaultHeight = readInt(s);
    FFixedAreaConstraints->FMaxHeightPercent = TDTConstraintPercent(readRange(s, 0, 100));
    FFixedAreaConstraints->FMaxWidthPercent = TDTConstraintPercent(readRange(s, 0, 100));
    FFixedAreaConstraints->FMinHeightPercent = TDTConstraintPercent(readRange(s, 0, 100));
    FFixedAreaConstraints->FMinWidthPercent = TDTConstraintPercent(readRange(s, 0, 100));
  }
  guard.Done();
  const std::weak_ptr<const bool> life = FOwner->LifeToken();
  RecalculateHeader();
  if (!life.expired()) FOwner->ColumnsChanged();
}
