// Columns of the tree's header: their properties, the visual order
// (positions), bounds and the width rules (limits, fixed area, auto-size).
#include <algorithm>
#include <cmath>

#include "platform/core/strings.h"
#include "platform/core/threads.h"
#include "platform/graphics/bitmap.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"
#include "tree/header.h"

namespace {
bool treeLoading(const TBaseDataTree* tree) {
  return tree && tree->ComponentState().Contains(csLoading);
}
}  // namespace

// ---- column --------------------------------------------------------------------------

TDataTreeColumn::TDataTreeColumn(TDataTreeColumns* Collection) : FOwner(Collection) {
  FWidth = Collection->DefaultWidth();
  FLastWidth = FWidth;
  FIndex = Collection->Count();
  FPosition = TColumnPosition(FIndex);
  ParentBiDiModeChanged();
  ParentColorChanged();
}

TDataTreeColumn::~TDataTreeColumn() = default;

TBaseDataTree* TDataTreeColumn::Tree() const { return FOwner->Header()->Treeview(); }

bool TDataTreeColumn::changed(bool AllColumns) {
  // The update is an entry of the tree: when a handler of it destroyed the
  // tree it answers as usual, and only the life token tells.
  const std::weak_ptr<const bool> life = Tree()->LifeToken();
  TDataTreeColumns* const columns = FOwner;
  const TDataTreeColumn* const self = this;
  columns->Update(AllColumns ? nullptr : this);
  // A handler may also have deleted this column.
  return !life.expired() && columns->Contains(self);
}

void TDataTreeColumn::repaintTree() {
  TBaseDataTree* tree = Tree();
  if (tree && tree->UpdateCount() == 0 && tree->TreeHandleAllocated()) tree->InvalidateWindow();
}

void TDataTreeColumn::SetText(const String& Value) {
  if (Value == FText) return;
  FText = Value;
  FCaptionText = Value;
  changed(false);
}

void TDataTreeColumn::SetWidth(int Value) {
  TDTHeader* header = FOwner->Header();
  TBaseDataTree* tree = header->Treeview();
  if (!header->States().Contains(hsScaling)) {
    if (FOptions.Contains(coVisible) && FOptions.Contains(coFixed)) {
      const TDTFixedAreaConstraints& c = header->FixedAreaConstraints();
      int cw = tree->ClientWidth();
      int fixed = FOwner->GetVisibleFixedWidth();
      int sumMin = 0, sumMax = 0;
      for (int i = 0; i < FOwner->Count(); ++i) {
        TDataTreeColumn* col = FOwner->Items(i);
        if (col->FOptions.Contains(coVisible) && col->FOptions.Contains(coFixed)) {
          sumMin += col->FMinWidth;
          sumMax += col->FMaxWidth;
        }
      }
      int lowTotal = c.MaxWidthPercent() > 0 ? std::min(cw * c.MaxWidthPercent() / 100, sumMin) : sumMin;
      int highTotal = c.MinWidthPercent() > 0 ? std::max(cw * c.MinWidthPercent() / 100, sumMax) : sumMax;
      int effectiveMax = std::min(highTotal - (fixed - FWidth), FMaxWidth);
      int effectiveMin = std::max(lowTotal - (fixed - FWidth), FMinWidth);
      Value = std::min(std::max(Value, effectiveMin), effectiveMax);
      if (c.MinWidthPercent() > 0) Value = std::max(Value, cw * c.MinWidthPercent() / 100 - fixed + FWidth);
      if (c.MaxWidthPercent() > 0) Value = std::min(Value, cw * c.MaxWidthPercent() / 100 - fixed + FWidth);
    } else {
      Value = std::clamp(Value, FMinWidth, std::max(FMinWidth, FMaxWidth));
    }
  }
  if (Value == FWidth) return;
  FLastWidth = FWidth;
  if (!header->States().Contains(hsAutoSizing)) FBonusPixel = false;
  bool autoSized = header->Options().Contains(hoAutoResize) && FIndex == header->AutoSizeIndex();
  if (!autoSized) {
    FWidth = Value;
    FOwner->UpdatePositions();
  }
  if (!treeLoading(tree) && tree->UpdateCount() == 0) {
    // Setting the scroll bars may end in a handler that destroys the tree.
    tree->GuardedEntry([&] {
      if (header->Options().Contains(hoAutoResize)) FOwner->AdjustAutoSize(FIndex);
      tree->DoColumnResize(FIndex);
    });
  }
}

void TDataTreeColumn::SetPosition(TColumnPosition Value) {
  TBaseDataTree* tree = Tree();
  if (treeLoading(tree)) {
    // Stored as is; the positions are rebuilt once loading ends.
    FPosition = Value;
    return;
  }
  if (FOwner->Count() == 0) return;
  if (Value >= TColumnPosition(FOwner->Count())) Value = TColumnPosition(FOwner->Count() - 1);
  if (Value == FPosition) return;
  FOwner->fixPositions();
  tree->CancelEditNode();
  std::vector<TColumnIndex>& p = FOwner->FPositionToIndex;
  TColumnPosition old = FPosition;
  if (old < p.size()) p.erase(p.begin() + old);
  p.insert(p.begin() + std::min<std::size_t>(Value, p.size()), FIndex);
  FOwner->UpdatePositions(true);
  if (!changed(true)) return;
  // A column moved among fixed ones becomes fixed, and among scrolling ones
  // scrolls, so the fixed area stays one block at the left.
  TColumnIndex neighbour = (!FOptions.Contains(coFixed) || FPosition == 0)
                               ? FOwner->GetNextColumn(FIndex)
                               : FOwner->GetPreviousColumn(FIndex);
  if (neighbour >= 0 && FOwner->Items(neighbour)->FOptions.Contains(coFixed) != FOptions.Contains(coFixed)) {
    TDTColumnOptions o = FOptions;
    if (FOwner->Items(neighbour)->FOptions.Contains(coFixed))
      o.Include(coFixed);
    else
      o.Exclude(coFixed);
    SetOptions(o);
  }
}

void TDataTreeColumn::SetMinWidth(int Value) {
  Value = std::clamp(Value, 0, FMaxWidth);
  if (Value == FMinWidth) return;
  FMinWidth = Value;
  SetWidth(FWidth);
}

void TDataTreeColumn::SetMaxWidth(int Value) {
  Value = std::max(Value, FMinWidth);
  if (Value == FMaxWidth) return;
  FMaxWidth = Value;
  SetWidth(FWidth);
}

void TDataTreeColumn::SetStyle(TDataTreeColumnStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  changed(false);
}

void TDataTreeColumn::SetImageIndex(int Value) {
  if (Value == FImageIndex) return;
  FImageIndex = Value;
  changed(false);
}

void TDataTreeColumn::SetBiDiMode(TBiDiMode Value) {
  FOptions.Exclude(coParentBidiMode);
  if (Value == FBiDiMode) return;
  FBiDiMode = Value;
  if (!changed(false)) return;
  repaintTree();
}

void TDataTreeColumn::SetLayout(TDTHeaderColumnLayout Value) {
  if (Value == FLayout) return;
  FLayout = Value;
  changed(false);
}

void TDataTreeColumn::SetMargin(int Value) {
  if (Value < 0) Value = 4;
  if (Value == FMargin) return;
  FMargin = Value;
  changed(false);
}

void TDataTreeColumn::SetSpacing(int Value) {
  if (Value == FSpacing) return;
  FSpacing = Value;
  changed(false);
}

void TDataTreeColumn::SetOptions(TDTColumnOptions Value) {
  if (Value == FOptions) return;
  TDTColumnOptions old = FOptions;
  FOptions = Value;
  if (Value.Contains(coParentBidiMode) && !old.Contains(coParentBidiMode) && !ParentBiDiModeChanged()) return;
  if (Value.Contains(coParentColor) && !old.Contains(coParentColor) && !ParentColorChanged()) return;
  if (Value.Contains(coAutoSpring) && !old.Contains(coAutoSpring)) FSpringRest = 0;
  if (Value.Contains(coVisible) && old.Contains(coFixed) != Value.Contains(coFixed)) {
    const std::weak_ptr<const bool> life = Tree()->LifeToken();
    FOwner->Header()->RescaleHeader();
    if (life.expired()) return;
  }
  if (!changed(false)) return;
  TBaseDataTree* tree = Tree();
  if (treeLoading(tree)) return;
  bool visibleChanged = old.Contains(coVisible) != Value.Contains(coVisible);
  if (visibleChanged) FOwner->UpdatePositions(true);
  if (visibleChanged || (Value.Contains(coParentColor) && !old.Contains(coParentColor))) repaintTree();
  if (visibleChanged) tree->ColumnsChanged();
}

void TDataTreeColumn::SetAlignment(TAlignment Value) {
  if (Value == FAlignment) return;
  FAlignment = Value;
  if (!changed(false)) return;
  repaintTree();
}

TAlignment TDataTreeColumn::CaptionAlignment() const {
  return FOptions.Contains(coUseCaptionAlignment) ? FCaptionAlignment : FAlignment;
}

void TDataTreeColumn::SetCaptionAlignment(TAlignment Value) {
  FCaptionAlignment = Value;
  FOptions.Exclude(coUseCaptionAlignment);
  FOwner->Header()->Invalidate(FIndex);
}

void TDataTreeColumn::SetColor(TColor Value) {
  FOptions.Exclude(coParentColor);
  if (Value == FColor) return;
  FColor = Value;
  if (!changed(false)) return;
  repaintTree();
}

void TDataTreeColumn::SetCheckBox(bool Value) {
  if (Value == FCheckBox) return;
  FCheckBox = Value;
  changed(false);
}

void TDataTreeColumn::SetCheckType(TCheckType Value) {
  if (Value == FCheckType) return;
  FCheckType = Value;
  changed(false);
}

void TDataTreeColumn::SetCheckState(TCheckState Value) {
  if (Value == FCheckState) return;
  FCheckState = Value;
  changed(false);
}

TRect TDataTreeColumn::GetRect() const {
  TRect r = FOwner->Header()->HeaderRect();
  r.Left = FLeft;
  r.Right = FLeft + FWidth;
  return r;
}

String TDataTreeColumn::GetDisplayName() const {
  for (char16_t c : FText)
    if (c > 0xFF) return UTF8ToUTF16("Column " + std::to_string(FIndex));
  return FText;
}

int TDataTreeColumn::GetAbsoluteLeft() const {
  if (FOptions.Contains(coVisible) && FOptions.Contains(coFixed)) return FLeft;
  return FLeft + Tree()->OffsetX();
}

bool TDataTreeColumn::ParentBiDiModeChanged() {
  if (!FOptions.Contains(coParentBidiMode)) return true;
  TBaseDataTree* tree = Tree();
  if (tree && tree->BiDiMode() != FBiDiMode) {
    FBiDiMode = tree->BiDiMode();
    if (FOwner->FItems.size() > std::size_t(FIndex)) return changed(false);
  }
  return true;
}

bool TDataTreeColumn::ParentColorChanged() {
  if (!FOptions.Contains(coParentColor)) return true;
  TBaseDataTree* tree = Tree();
  if (tree && tree->Color() != FColor) {
    FColor = tree->Color();
    if (FOwner->FItems.size() > std::size_t(FIndex)) return changed(false);
  }
  return true;
}

bool TDataTreeColumn::Equals(const TDataTreeColumn& o) const {
  return FBiDiMode == o.FBiDiMode && FImageIndex == o.FImageIndex && FLayout == o.FLayout &&
         FMargin == o.FMargin && FMaxWidth == o.FMaxWidth && FMinWidth == o.FMinWidth &&
         FPosition == o.FPosition && FSpacing == o.FSpacing && FStyle == o.FStyle &&
         FText == o.FText && FHint == o.FHint && FWidth == o.FWidth && FAlignment == o.FAlignment &&
         CaptionAlignment() == o.CaptionAlignment() && FColor == o.FColor && FTag == o.FTag &&
         FOptions == o.FOptions;
}

void TDataTreeColumn::Assign(const TDataTreeColumn& s) {
  FText = s.FText;
  FCaptionText = s.FCaptionText;
  FHint = s.FHint;
  FWidth = s.FWidth;
  FMinWidth = s.FMinWidth;
  FMaxWidth = s.FMaxWidth;
  FStyle = s.FStyle;
  FImageIndex = s.FImageIndex;
  FBiDiMode = s.FBiDiMode;
  FLayout = s.FLayout;
  FMargin = s.FMargin;
  FSpacing = s.FSpacing;
  FOptions = s.FOptions;
  FTag = s.FTag;
  FAlignment = s.FAlignment;
  FCaptionAlignment = s.FCaptionAlignment;
  FColor = s.FColor;
  FCheckBox = s.FCheckBox;
  FCheckType = s.FCheckType;
  FCheckState = s.FCheckState;
  changed(false);
}

// ---- collection -------------------------------------------------------------------------

TDataTreeColumns::TDataTreeColumns(TDTHeader* AOwner)
    : FHeader(AOwner), FHeaderBitmap(std::make_unique<TBitmap>()) {
  FHeaderBitmap->SetPixelFormat(pf32bit);
}

TDataTreeColumns::~TDataTreeColumns() {
  FClearing = true;
  FItems.clear();
}

TDataTreeColumn* TDataTreeColumns::Add() {
  FItems.push_back(std::make_unique<TDataTreeColumn>(this));
  TDataTreeColumn* c = FItems.back().get();
  c->FIndex = Count() - 1;
  c->FPosition = TColumnPosition(c->FIndex);
  Update(nullptr);
  return c;
}

void TDataTreeColumns::Clear() {
  FClearing = true;
  HoverIndex = DownIndex = TrackIndex = ClickIndex = NoColumn;
  if (!FHeader->States().Contains(hsLoading)) {
    FHeader->FAutoSizeIndex = NoColumn;
    FHeader->FMainColumn = NoColumn;
    FHeader->FSortColumn = NoColumn;
  }
  FItems.clear();
  FPositionToIndex.clear();
  FClearing = false;
  Update(nullptr);
}

void TDataTreeColumns::reindex() {
  for (int i = 0; i < Count(); ++i) FItems[std::size_t(i)]->FIndex = i;
}

namespace {
// An index that names a column: equal to the deleted one it goes, above it
// it moves down by one.
void shiftIndex(TColumnIndex& v, TColumnIndex deleted) {
  if (v == deleted)
    v = NoColumn;
  else if (v > deleted)
    --v;
}
}  // namespace

void TDataTreeColumns::columnDeleted(TColumnIndex Index) {
  auto& p = FPositionToIndex;
  p.erase(std::remove(p.begin(), p.end(), Index), p.end());
  for (TColumnIndex& e : p)
    if (e > Index) --e;
  shiftIndex(TrackIndex, Index);
  shiftIndex(ClickIndex, Index);
  shiftIndex(DownIndex, Index);
  shiftIndex(HoverIndex, Index);
  shiftIndex(FHeader->FAutoSizeIndex, Index);
  shiftIndex(FHeader->FSortColumn, Index);
  if (FHeader->FMainColumn == Index) {
    // The first remaining column takes over the tree lines.
    FHeader->FMainColumn = Count() > 0 ? 0 : NoColumn;
  } else if (FHeader->FMainColumn > Index) {
    --FHeader->FMainColumn;
  }
  // The focus stays on its column; when that column went, it moves to the
  // one with the tree lines.
  TBaseDataTree* tree = FHeader->Treeview();
  if (tree->FFocusedColumn == Index)
    tree->FFocusedColumn = FHeader->FMainColumn;
  else if (tree->FFocusedColumn > Index)
    --tree->FFocusedColumn;
  // An edit of the column ends with it (see Update); one of a column right
  // of it stays with its column.
  if (tree->FEditColumn > Index) --tree->FEditColumn;
  else if (tree->FEditColumn == Index) tree->FEditColumn = Count();
}

void TDataTreeColumns::Delete(TColumnIndex Index) {
  if (!IsValidColumn(Index)) return;
  FItems.erase(FItems.begin() + Index);
  reindex();
  if (!FClearing) columnDeleted(Index);
  Update(nullptr);
}

void TDataTreeColumns::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Update(nullptr);
}

void TDataTreeColumns::fixPositions() {
  auto& p = FPositionToIndex;
  const TColumnIndex count = Count();
  // Keep only valid, distinct entries in their order, then append the
  // columns that are missing: the array always stays a permutation.
  std::vector<bool> seen(std::size_t(count), false);
  std::vector<TColumnIndex> fixed;
  fixed.reserve(std::size_t(count));
  for (TColumnIndex e : p) {
    if (e < 0 || e >= count || seen[std::size_t(e)]) continue;
    seen[std::size_t(e)] = true;
    fixed.push_back(e);
  }
  for (TColumnIndex i = 0; i < count; ++i)
    if (!seen[std::size_t(i)]) fixed.push_back(i);
  p.swap(fixed);
}

void TDataTreeColumns::Update(TDataTreeColumn* Item) {
  fixPositions();
  TBaseDataTree* tree = FHeader->Treeview();
  if (treeLoading(tree))
    FNeedPositionsFix = true;
  else
    UpdatePositions();
  if (Count() > 0 && FHeader->FMainColumn < 0) FHeader->FMainColumn = 0;
  if (Count() == 0) FHeader->FMainColumn = NoColumn;
  // Whatever emptied or shrank the collection, the focus never names a
  // column that is not there.
  if (tree->FFocusedColumn >= Count()) tree->FFocusedColumn = FHeader->FMainColumn;
  // An edit, running or waiting, of a column that went ends with it, as an
  // edit of a node ends with the node.
  if (tree->FEditColumn >= Count()) {
    tree->DetachEditor();
    tree->FEditColumn = InvalidColumn;
  }
  if (treeLoading(tree) || FHeader->States().Contains(hsLoading)) return;
  // Setting the scroll bars may end in a handler that destroys the tree.
  tree->GuardedEntry([&] {
    if (FHeader->Options().Contains(hoAutoResize)) AdjustAutoSize(InvalidColumn);
    // The auto-size column's handler may have deleted the column.
    if (Item && !Contains(Item)) Item = nullptr;
    if (!Item) {
      tree->ColumnsChanged();
      FHeader->Invalidate(NoColumn);
    } else {
      FHeader->Invalidate(Item->Index());
    }
  });
}

void TDataTreeColumns::Assign(const TDataTreeColumns& Source) {
  BeginUpdate();
  FClearing = true;
  FItems.clear();
  FClearing = false;
  for (int i = 0; i < Source.Count(); ++i) {
    FItems.push_back(std::make_unique<TDataTreeColumn>(this));
    FItems.back()->FIndex = i;
    FItems.back()->Assign(*Source.Items(i));
  }
  FPositionToIndex = Source.FPositionToIndex;
  FDefaultWidth = Source.FDefaultWidth;
  fixPositions();
  --FUpdateCount;
  UpdatePositions(true);
  Update(nullptr);
}

bool TDataTreeColumns::Equals(const TDataTreeColumns& o) const {
  if (Count() != o.Count() || FPositionToIndex != o.FPositionToIndex) return false;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->Equals(*o.Items(i))) return false;
  return true;
}

void TDataTreeColumns::UpdatePositions(bool Force) {
  if (FNeedPositionsFix || (!Force && FUpdateCount > 0)) return;
  int running = 0;
  for (std::size_t p = 0; p < FPositionToIndex.size(); ++p) {
    TDataTreeColumn* c = Items(FPositionToIndex[p]);
    c->FPosition = TColumnPosition(p);
    c->FLeft = running;
    if (c->FOptions.Contains(coVisible)) running += c->FWidth;
  }
}

void TDataTreeColumns::ReorderColumns(bool RTL) {
  const int n = Count();
  FPositionToIndex.resize(std::size_t(n));
  for (int i = 0; i < n; ++i) FPositionToIndex[std::size_t(i)] = RTL ? n - 1 - i : i;
  UpdatePositions(true);
}

bool TDataTreeColumns::Contains(const TDataTreeColumn* Column) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i) == Column) return true;
  return false;
}

bool TDataTreeColumns::IsValidColumn(TColumnIndex Column) const {
  return Column >= 0 && Column < Count();
}

TColumnIndex TDataTreeColumns::ColumnFromPosition(TColumnPosition PositionIndex) const {
  if (PositionIndex >= FPositionToIndex.size()) return InvalidColumn;
  return FPositionToIndex[PositionIndex];
}

TColumnIndex TDataTreeColumns::ColumnFromPosition(TPoint P, bool Relative) const {
  TBaseDataTree* tree = FHeader->Treeview();
  if (P.x < 0 || P.y < 0 || P.y > tree->Height()) return InvalidColumn;
  int sum = 0;
  if (Relative && P.x >= GetVisibleFixedWidth()) sum = -tree->OffsetX();
  for (TColumnIndex index : FPositionToIndex) {
    TDataTreeColumn* c = Items(index);
    if (!c->FOptions.Contains(coVisible)) continue;
    sum += c->FWidth;
    if (P.x < sum) return index;
  }
  return InvalidColumn;
}

void TDataTreeColumns::GetColumnBounds(TColumnIndex Column, int& Left, int& Right) const {
  if (!IsValidColumn(Column)) {
    Left = 0;
    Right = FHeader->Treeview()->ClientWidth();
    return;
  }
  Left = Items(Column)->GetAbsoluteLeft();
  Right = Left + Items(Column)->FWidth;
}

TColumnIndex TDataTreeColumns::GetColumnAndBounds(TPoint P, int& ColumnLeft, int& ColumnRight,
                                                  bool Relative) const {
  TColumnIndex c = ColumnFromPosition(P, Relative);
  GetColumnBounds(c, ColumnLeft, ColumnRight);
  return c;
}

TColumnIndex TDataTreeColumns::GetFirstVisibleColumn(bool ConsiderAllowFocus) const {
  for (TColumnIndex index : FPositionToIndex) {
    TDTColumnOptions o = Items(index)->FOptions;
    if (o.Contains(coVisible) && (!ConsiderAllowFocus || o.Contains(coAllowFocus))) return index;
  }
  return InvalidColumn;
}

TColumnIndex TDataTreeColumns::GetLastVisibleColumn(bool ConsiderAllowFocus) const {
  for (auto it = FPositionToIndex.rbegin(); it != FPositionToIndex.rend(); ++it) {
    TDTColumnOptions o = Items(*it)->FOptions;
    if (o.Contains(coVisible) && (!ConsiderAllowFocus || o.Contains(coAllowFocus))) return *it;
  }
  return InvalidColumn;
}

TColumnIndex TDataTreeColumns::GetNextColumn(TColumnIndex Column) const {
  if (!IsValidColumn(Column)) return InvalidColumn;
  TColumnPosition p = Items(Column)->FPosition + 1;
  return p < FPositionToIndex.size() ? FPositionToIndex[p] : InvalidColumn;
}

TColumnIndex TDataTreeColumns::GetPreviousColumn(TColumnIndex Column) const {
  if (!IsValidColumn(Column)) return InvalidColumn;
  TColumnPosition p = Items(Column)->FPosition;
  return p > 0 ? FPositionToIndex[p - 1] : InvalidColumn;
}

TColumnIndex TDataTreeColumns::GetNextVisibleColumn(TColumnIndex Column, bool ConsiderAllowFocus) const {
  for (;;) {
    Column = GetNextColumn(Column);
    if (Column < 0) return InvalidColumn;
    TDTColumnOptions o = Items(Column)->FOptions;
    if (o.Contains(coVisible) && (!ConsiderAllowFocus || o.Contains(coAllowFocus))) return Column;
  }
}

TColumnIndex TDataTreeColumns::GetPreviousVisibleColumn(TColumnIndex Column,
                                                        bool ConsiderAllowFocus) const {
  for (;;) {
    Column = GetPreviousColumn(Column);
    if (Column < 0) return InvalidColumn;
    TDTColumnOptions o = Items(Column)->FOptions;
    if (o.Contains(coVisible) && (!ConsiderAllowFocus || o.Contains(coAllowFocus))) return Column;
  }
}

TColumnsArray TDataTreeColumns::GetVisibleColumns() const {
  TColumnsArray result;
  for (TColumnIndex index : FPositionToIndex)
    if (Items(index)->FOptions.Contains(coVisible)) result.push_back(Items(index));
  return result;
}

int TDataTreeColumns::GetVisibleFixedWidth() const {
  int w = 0;
  for (TColumnIndex index : FPositionToIndex) {
    TDTColumnOptions o = Items(index)->FOptions;
    if (o.Contains(coVisible) && o.Contains(coFixed)) w += Items(index)->FWidth;
  }
  return w;
}

int TDataTreeColumns::GetTotalWidth() const {
  TColumnIndex last = GetLastVisibleColumn();
  if (last < 0) return 0;
  return Items(last)->FLeft + Items(last)->FWidth;
}

int TDataTreeColumns::GetScrollWidth() const {
  int sum = 0, n = 0;
  for (TColumnIndex index : FPositionToIndex) {
    TDTColumnOptions o = Items(index)->FOptions;
    if (o.Contains(coVisible) && !o.Contains(coFixed)) {
      sum += Items(index)->FWidth;
      ++n;
    }
  }
  if (n == 0) return int(FHeader->Treeview()->DefaultNodeHeight());
  return int(std::lround(double(sum) / n));
}

void TDataTreeColumns::AdjustAutoSize(TColumnIndex CurrentIndex, bool Force) {
  (void)CurrentIndex;
  if (Count() == 0) return;
  TColumnIndex index = IsValidColumn(FHeader->FAutoSizeIndex) ? FHeader->FAutoSizeIndex : Count() - 1;
  TBaseDataTree* tree = FHeader->Treeview();
  int rest = tree->TreeHandleAllocated() ? tree->ClientWidth() : tree->Width();
  for (int i = 0; i < Count(); ++i)
    if (i != index && Items(i)->FOptions.Contains(coVisible)) rest -= Items(i)->FWidth;
  TDataTreeColumn* c = Items(index);
  int width = std::max(c->FMinWidth, std::min(c->FMaxWidth, rest));
  if (!Force && width == c->FWidth) return;
  c->FLastWidth = c->FWidth;
  c->FWidth = width;
  UpdatePositions();
  tree->DoColumnResize(index);
}

void TDataTreeColumns::AnimatedResize(TColumnIndex Column, int NewWidth) {
  if (!IsValidColumn(Column)) return;
  TDataTreeColumn* c = Items(Column);
  NewWidth = std::clamp(NewWidth, c->FMinWidth, std::max(c->FMinWidth, c->FMaxWidth));
  if (NewWidth == c->FWidth) return;
  TBaseDataTree* tree = FHeader->Treeview();
  // Each step paints at once: a paint whose handler destroys the tree ends
  // the resize (and the columns with it).
  tree->GuardedEntry([&] {
  if (!FHeader->Options().Contains(hoDisableAnimatedResize) &&
      !c->FOptions.Contains(coDisableAnimatedResize) && tree->TreeHandleAllocated() &&
      c->FOptions.Contains(coVisible)) {
    // The area right of the column slides in 32 steps; a change of fewer
    // than 32 pixels has nothing to slide and is applied at once.
    int step = (NewWidth - c->FWidth) / 32;
    if (step != 0) {
      int left, right;
      GetColumnBounds(Column, left, right);
      TRect client = tree->ClientRect();
      TRect area{right, 0, std::max(right, client.Right), client.Bottom};
      for (int i = 0; i < 32; ++i) {
        ScrollWindowEx(tree->Handle(), step, 0, &area, &client, nullptr, nullptr, SW_INVALIDATE);
        tree->UpdateTreeWindow();
        // A paint's handler may have taken the column away.
        if (!Contains(c)) return;
        Sleep(1);
      }
    }
  }
  c->SetWidth(NewWidth);
  });
}

void TDataTreeColumns::RestoreLastWidths() {
  TBaseDataTree* tree = FHeader->Treeview();
  // Ends with the first resize whose paint destroys the tree.
  tree->GuardedEntry([&] {
    // Right to left, as they stand now: a paint's handler may take columns
    // away or move them, so each goes by itself, while it is still there.
    std::vector<TDataTreeColumn*> columns;
    for (auto it = FPositionToIndex.rbegin(); it != FPositionToIndex.rend(); ++it) columns.push_back(Items(*it));
    for (TDataTreeColumn* c : columns) {
      if (!Contains(c)) continue;
      if (c->FOptions.Contains(coVisible) && c->FOptions.Contains(coResizable))
        AnimatedResize(c->Index(), c->FLastWidth);
    }
  });
}
