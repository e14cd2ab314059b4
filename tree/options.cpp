// The tree's option sets, colours and scroll bar settings, and how the tree
// reacts when one of them changes.
#include <algorithm>

#include "platform/core/exception.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"

namespace {
bool loading(const TBaseDataTree* tree) {
  return tree->ComponentState().Contains(csLoading);
}
}  // namespace

// ---- option sets ------------------------------------------------------------------

void TCustomDataTreeOptions::SetPaintOptions(TDTPaintOptions Value) {
  if (Value == FPaintOptions) return;
  TDTPaintOptions old = FPaintOptions;
  bool orderChanged = Value.Contains(toChildrenAbove) != old.Contains(toChildrenAbove);
  // The cache anchors rows in display order; a new order needs a new fill.
  if (orderChanged && FOwner) FOwner->InterruptValidation();
  FPaintOptions = Value;
  if (!FOwner) return;
  if (orderChanged) {
    FOwner->ExpireCache();
    if (FOwner->UpdateCount() == 0) FOwner->InvalidateCache();
  }
  if (loading(FOwner)) return;
  bool themeChanged = old.Contains(toThemeAware) != Value.Contains(toThemeAware) ||
                      old.Contains(toUseExplorerTheme) != Value.Contains(toUseExplorerTheme);
  if (!themeChanged) {
    FOwner->InvalidateWindow();
    return;
  }
  // The desktop's style is always there to draw with. The state and
  // picture handlers may destroy the tree.
  TBaseDataTree* owner = FOwner;
  owner->GuardedEntry([&] {
    if (Value.Contains(toThemeAware))
      owner->DoStateChange({tsUseThemes});
    else
      owner->DoStateChange({}, {tsUseThemes});
    owner->PrepareBitmaps(true, false);
    if (owner->TreeHandleAllocated())
      RedrawWindow(owner->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_VALIDATE | RDW_FRAME);
  });
}

void TCustomDataTreeOptions::SetAutoOptions(TDTAutoOptions Value) {
  if (Value == FAutoOptions) return;
  bool spanChanged = Value.Contains(toAutoSpanColumns) != FAutoOptions.Contains(toAutoSpanColumns);
  FAutoOptions = Value;
  if (spanChanged && FOwner && !loading(FOwner)) FOwner->InvalidateWindow();
}

void TCustomDataTreeOptions::SetSelectionOptions(TDTSelectionOptions Value) {
  if (Value == FSelectionOptions) return;
  TDTSelectionOptions old = FSelectionOptions;
  FSelectionOptions = Value;
  if (!FOwner || loading(FOwner)) return;
  if (old.Contains(toMultiSelect) != Value.Contains(toMultiSelect) ||
      (Value.Contains(toLevelSelectConstraint) && !old.Contains(toLevelSelectConstraint)) ||
      (Value.Contains(toSiblingSelectConstraint) && !old.Contains(toSiblingSelectConstraint)))
    FOwner->ClearSelection();
  if (!Value.Contains(toExtendedFocus)) {
    TColumnIndex main = FOwner->Header().MainColumn();
    if (FOwner->FocusedColumn() != main) {
      FOwner->FFocusedColumn = main;
      FOwner->InvalidateWindow();
    }
  }
}

void TCustomDataTreeOptions::SetMiscOptions(TDTMiscOptions Value) {
  if (Value == FMiscOptions) return;
  TDTMiscOptions old = FMiscOptions;
  FMiscOptions = Value;
  if (!FOwner || loading(FOwner) || !FOwner->TreeHandleAllocated()) return;
  if (old.Contains(toCheckSupport) != Value.Contains(toCheckSupport)) FOwner->InvalidateWindow();
  // The drag manager's handler may destroy the tree.
  if (old.Contains(toAcceptOLEDrop) != Value.Contains(toAcceptOLEDrop))
    FOwner->GuardedEntry([this] { FOwner->UpdateDropTarget(); });
}

void TCustomDataTreeOptions::AssignTo(TCustomDataTreeOptions& Dest) const {
  Dest.SetPaintOptions(FPaintOptions);
  Dest.SetAnimationOptions(FAnimationOptions);
  Dest.SetAutoOptions(FAutoOptions);
  Dest.SetSelectionOptions(FSelectionOptions);
  Dest.SetMiscOptions(FMiscOptions);
  Dest.SetExportMode(FExportMode);
}

// ---- colours ------------------------------------------------------------------------

TDTColors::TDTColors(TBaseDataTree* AOwner)
    : FOwner(AOwner),
      FColors{clBtnShadow, clHighlight, clHighlight, clHighlight, clBtnFace, clBtnShadow,
              clBtnFace,   clBtnFace,   clWindowText, clHighlight, clBtnFace, clHighlight,
              clHighlight, clHighlight, clBtnShadow} {}

void TDTColors::SetColor(int Index, TColor Value) {
  if (Index < 0 || Index >= ColorCount || FColors[Index] == Value) return;
  FColors[Index] = Value;
  if (!FOwner || loading(FOwner) || !FOwner->TreeHandleAllocated()) return;
  if (Index == TreeLineColorIndex) {
    // The line style's handler may destroy the tree.
    FOwner->GuardedEntry([this] {
      FOwner->PrepareBitmaps(true, false);
      FOwner->InvalidateWindow();
    });
  } else if (Index == BorderColorIndex) {
    RedrawWindow(FOwner->Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_FRAME);
  } else {
    FOwner->InvalidateWindow();
  }
}

void TDTColors::Assign(const TDTColors& Source) {
  for (int i = 0; i < ColorCount; ++i) FColors[i] = Source.FColors[i];
  if (FOwner && FOwner->UpdateCount() == 0) FOwner->InvalidateWindow();
}

// ---- scroll bar settings ------------------------------------------------------------

void TScrollBarOptions::SetAlwaysVisible(bool Value) {
  if (Value == FAlwaysVisible) return;
  FAlwaysVisible = Value;
  if (FOwner && !loading(FOwner) && FOwner->TreeHandleAllocated())
    FOwner->GuardedEntry([this] { FOwner->UpdateScrollBars(true); });
}

void TScrollBarOptions::SetScrollBars(TScrollStyle Value) {
  if (Value == FScrollBars) return;
  FScrollBars = Value;
  if (FOwner && !loading(FOwner) && FOwner->TreeHandleAllocated())
    FOwner->GuardedEntry([this] { FOwner->UpdateScrollBars(true); });
}

void TScrollBarOptions::SetScrollBarStyle(TScrollBarStyle Value) {
  TAMRIX_ASSERT(Value == sbmRegular, "Only regular scroll bars are supported.");
  FScrollBarStyle = Value;
}

void TScrollBarOptions::SetHorizontalIncrement(std::uint16_t Value) {
  FIncrementX = std::uint16_t(std::clamp<int>(Value, 1, 10000));
}

void TScrollBarOptions::SetVerticalIncrement(std::uint16_t Value) {
  FIncrementY = std::uint16_t(std::clamp<int>(Value, 1, 10000));
}

void TScrollBarOptions::Assign(const TScrollBarOptions& Source) {
  SetAlwaysVisible(Source.FAlwaysVisible);
  SetHorizontalIncrement(Source.FIncrementX);
  SetScrollBars(Source.FScrollBars);
  SetScrollBarStyle(Source.FScrollBarStyle);
  SetVerticalIncrement(Source.FIncrementY);
}
