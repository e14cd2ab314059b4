#pragma once
// The vocabulary of how a tree looks: its display enumerations, colours,
// scroll bar settings, hit-test answers and the record handed to every
// per-cell painting step.
#include <cstdint>

#include "platform/core/tset.h"
#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/geometry.h"
#include "platform/gui/controls.h"
#include "tree/node.h"

class TBaseDataTree;
class TCanvas;
class TImageList;

enum TDTButtonFillMode : std::uint8_t { fmTreeColor, fmWindowColor, fmShaded, fmTransparent };
enum TDTButtonStyle : std::uint8_t { bsRectangle, bsTriangle };
enum TDTDragImageKind : std::uint8_t { diComplete, diMainColumnOnly, diNoImage };
enum TDTDragType : std::uint8_t { dtOLE, dtVCL };
enum TDTDrawSelectionMode : std::uint8_t { smDottedRectangle, smBlendedRectangle };
enum THintAnimationType : std::uint8_t { hatNone, hatFade, hatSlide, hatSystemDefault };
enum TDTHintMode : std::uint8_t { hmDefault, hmHint, hmHintAndDefault, hmTooltip };
enum TDTIncrementalSearch : std::uint8_t { isAll, isNone, isInitializedOnly, isVisibleOnly };
enum TDTSearchDirection : std::uint8_t { sdForward, sdBackward };
enum TDTSearchStart : std::uint8_t { ssAlwaysStartOver, ssLastHit, ssFocusedNode };
enum TDTLineMode : std::uint8_t { lmNormal, lmBands };
enum TDTLineStyle : std::uint8_t { lsCustomStyle, lsDotted, lsSolid };
enum TDTNodeAlignment : std::uint8_t { naFromBottom, naFromTop, naProportional };
enum TDTNodeAttachMode : std::uint8_t {
  amNoWhere, amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast
};
enum TDragOperation : std::uint8_t { doCopy, doMove, doLink };
using TDragOperations = TSet<TDragOperation>;
enum TDTDropMode : std::uint8_t { dmNowhere, dmAbove, dmOnNode, dmBelow };

// The connecting line one indentation step of a row shows.
enum TDTLineType : std::uint8_t {
  ltNone, ltBottomRight, ltTopDown, ltTopDownRight, ltRight, ltTopRight, ltLeft, ltLeftBottom
};
enum TItemEraseAction : std::uint8_t { eaColor, eaDefault, eaNone };
enum TDTImageKind : std::uint8_t { ikNormal, ikSelected, ikState, ikOverlay };

enum THitPosition : std::uint8_t {
  hiAbove, hiBelow, hiNowhere, hiOnItem, hiOnItemButton, hiOnItemButtonExact, hiOnItemCheckbox,
  hiOnItemIndent, hiOnItemLabel, hiOnItemLeft, hiOnItemRight, hiOnNormalIcon, hiOnStateIcon,
  hiToLeft, hiToRight, hiUpperSplitter, hiLowerSplitter
};
using THitPositions = TSet<THitPosition>;

struct THitInfo {
  PDataNode HitNode = nullptr;
  THitPositions HitPositions;
  TColumnIndex HitColumn = NoColumn;
};

// What RenderTree is asked to paint.
enum TPaintTreeOption : std::uint8_t {
  ptoBackground, ptoColumnColor, ptoFocusRect, ptoSelection, ptoDropMark, ptoGridLines,
  ptoMainColumnOnly, ptoSelectedOnly
};
using TPaintTreeOptions = TSet<TPaintTreeOption>;

// TScrollStyle (ssNone, ssHorizontal, ssVertical, ssBoth) is the platform's.
#include "platform/gui/stdctrls.h"
enum TScrollBarStyle : std::uint8_t { sbmRegular, sbmFlat, sbm3D };

enum TVTImageInfoIndex : std::uint8_t { iiNormal, iiState, iiCheck, iiOverlay };

struct TDTImageInfo {
  int Index = -1;
  int XPos = 0;
  int YPos = 0;
  bool Ghosted = false;
  TImageList* Images = nullptr;
};

// Everything a per-cell painting step needs to know about the cell.
struct TCellPaintInfo {
  TCanvas* Canvas = nullptr;
  TPaintTreeOptions PaintOptions;
  PDataNode Node = nullptr;
  TColumnIndex Column = NoColumn;
  std::uint32_t Position = 0;
  TRect CellRect;
  TRect ContentRect;
  int NodeWidth = 0;
  TAlignment Alignment = taLeftJustify;
  TBiDiMode BidiMode = bdLeftToRight;
  TPoint BrushOrigin;
  TDTImageInfo ImageInfo[4];
};

// The tree's colours, addressed by index; each change repaints the tree.
class TDTColors {
public:
  enum : int {
    DisabledColorIndex, DropMarkColorIndex, DropTargetColorIndex, FocusedSelectionColorIndex,
    GridLineColorIndex, TreeLineColorIndex, UnfocusedSelectionColorIndex, BorderColorIndex,
    HotColorIndex, FocusedSelectionBorderColorIndex, UnfocusedSelectionBorderColorIndex,
    DropTargetBorderColorIndex, SelectionRectangleBlendColorIndex,
    SelectionRectangleBorderColorIndex, HeaderHotColorIndex, ColorCount
  };
  explicit TDTColors(TBaseDataTree* AOwner);
  TBaseDataTree* Owner() const { return FOwner; }
  TColor GetColor(int Index) const { return FColors[Index]; }
  void SetColor(int Index, TColor Value);
  void Assign(const TDTColors& Source);

  TColor DisabledColor() const { return FColors[DisabledColorIndex]; }
  TColor DropMarkColor() const { return FColors[DropMarkColorIndex]; }
  TColor DropTargetColor() const { return FColors[DropTargetColorIndex]; }
  TColor FocusedSelectionColor() const { return FColors[FocusedSelectionColorIndex]; }
  TColor GridLineColor() const { return FColors[GridLineColorIndex]; }
  TColor TreeLineColor() const { return FColors[TreeLineColorIndex]; }
  TColor UnfocusedSelectionColor() const { return FColors[UnfocusedSelectionColorIndex]; }
  TColor BorderColor() const { return FColors[BorderColorIndex]; }
  TColor HotColor() const { return FColors[HotColorIndex]; }
  TColor FocusedSelectionBorderColor() const { return FColors[FocusedSelectionBorderColorIndex]; }
  TColor UnfocusedSelectionBorderColor() const { return FColors[UnfocusedSelectionBorderColorIndex]; }
  TColor DropTargetBorderColor() const { return FColors[DropTargetBorderColorIndex]; }
  TColor SelectionRectangleBlendColor() const { return FColors[SelectionRectangleBlendColorIndex]; }
  TColor SelectionRectangleBorderColor() const { return FColors[SelectionRectangleBorderColorIndex]; }
  TColor HeaderHotColor() const { return FColors[HeaderHotColorIndex]; }
  void SetDisabledColor(TColor v) { SetColor(DisabledColorIndex, v); }
  void SetDropMarkColor(TColor v) { SetColor(DropMarkColorIndex, v); }
  void SetDropTargetColor(TColor v) { SetColor(DropTargetColorIndex, v); }
  void SetFocusedSelectionColor(TColor v) { SetColor(FocusedSelectionColorIndex, v); }
  void SetGridLineColor(TColor v) { SetColor(GridLineColorIndex, v); }
  void SetTreeLineColor(TColor v) { SetColor(TreeLineColorIndex, v); }
  void SetUnfocusedSelectionColor(TColor v) { SetColor(UnfocusedSelectionColorIndex, v); }
  void SetBorderColor(TColor v) { SetColor(BorderColorIndex, v); }
  void SetHotColor(TColor v) { SetColor(HotColorIndex, v); }
  void SetFocusedSelectionBorderColor(TColor v) { SetColor(FocusedSelectionBorderColorIndex, v); }
  void SetUnfocusedSelectionBorderColor(TColor v) { SetColor(UnfocusedSelectionBorderColorIndex, v); }
  void SetDropTargetBorderColor(TColor v) { SetColor(DropTargetBorderColorIndex, v); }
  void SetSelectionRectangleBlendColor(TColor v) { SetColor(SelectionRectangleBlendColorIndex, v); }
  void SetSelectionRectangleBorderColor(TColor v) { SetColor(SelectionRectangleBorderColorIndex, v); }
  void SetHeaderHotColor(TColor v) { SetColor(HeaderHotColorIndex, v); }

private:
  TBaseDataTree* FOwner;
  TColor FColors[ColorCount];
};

// How the tree shows its scroll bars.
class TScrollBarOptions {
public:
  explicit TScrollBarOptions(TBaseDataTree* AOwner) : FOwner(AOwner) {}
  bool AlwaysVisible() const { return FAlwaysVisible; }
  void SetAlwaysVisible(bool Value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle Value);
  TScrollBarStyle ScrollBarStyle() const { return FScrollBarStyle; }
  // Only regular scroll bars exist; any other style fails an assertion.
  void SetScrollBarStyle(TScrollBarStyle Value);
  std::uint16_t HorizontalIncrement() const { return FIncrementX; }
  void SetHorizontalIncrement(std::uint16_t Value);
  std::uint16_t VerticalIncrement() const { return FIncrementY; }
  void SetVerticalIncrement(std::uint16_t Value);
  void Assign(const TScrollBarOptions& Source);

private:
  TBaseDataTree* FOwner;
  bool FAlwaysVisible = false;
  TScrollStyle FScrollBars = ssBoth;
  TScrollBarStyle FScrollBarStyle = sbmRegular;
  std::uint16_t FIncrementX = 20;
  std::uint16_t FIncrementY = 20;
};
