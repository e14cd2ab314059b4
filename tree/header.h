#pragma once
// The tree's header and its columns: where each column lies, how wide it
// is, in which visual order the columns stand, which one carries the tree
// lines and which one is sorted. Mouse handling and painting of the header
// live with the tree's input code.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/tset.h"
#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/font.h"
#include "platform/graphics/geometry.h"
#include "platform/gui/controls.h"
#include "tree/node.h"

class TBaseDataTree;
class TDTHeader;
class TDataTreeColumns;
class TImageList;
class TPopupMenu;
class TComponent;
class TStream;
class TBitmap;
class TCanvas;
class TDTDragImage;

using TColumnPosition = std::uint32_t;

enum TDataTreeColumnStyle : std::uint8_t { vsText, vsOwnerDraw };
// The glyph positions are the platform's button layouts (blGlyphLeft...).
#include "platform/gui/stdctrls.h"
using TDTHeaderColumnLayout = TButtonLayout;
enum TDTColumnOption : std::uint8_t {
  coAllowClick, coDraggable, coEnabled, coParentBidiMode, coParentColor, coResizable,
  coShowDropMark, coVisible, coAutoSpring, coFixed, coSmartResize, coAllowFocus,
  coDisableAnimatedResize, coWrapCaption, coUseCaptionAlignment
};
using TDTColumnOptions = TSet<TDTColumnOption>;
constexpr TDTColumnOptions DefaultColumnOptions{
    coAllowClick, coDraggable, coEnabled, coParentBidiMode, coParentColor, coResizable,
    coShowDropMark, coVisible, coAllowFocus};

enum TDTHeaderOption : std::uint8_t {
  hoAutoResize, hoColumnResize, hoDblClickResize, hoDrag, hoHotTrack, hoOwnerDraw, hoRestrictDrag,
  hoShowHint, hoShowImages, hoShowSortGlyphs, hoVisible, hoAutoSpring, hoFullRepaintOnResize,
  hoDisableAnimatedResize, hoHeightResize, hoHeightDblClickResize
};
using TDTHeaderOptions = TSet<TDTHeaderOption>;

enum THeaderState : std::uint8_t {
  hsAutoSizing, hsDragging, hsDragPending, hsLoading, hsColumnWidthTracking,
  hsColumnWidthTrackPending, hsHeightTracking, hsHeightTrackPending, hsResizing, hsScaling,
  hsNeedRecalculation
};
using THeaderStates = TSet<THeaderState>;

enum TDTHeaderStyle : std::uint8_t { hsThickButtons, hsFlatButtons, hsPlates, hsXPStyle };
enum TSortDirection : std::uint8_t { sdAscending, sdDescending };
enum TSmartAutoFitType : std::uint8_t { smaAllColumns, smaNoColumn, smaUseColumnOption };

using TDTConstraintPercent = std::uint8_t;

// Limits of the fixed columns and the header height as shares of the tree.
class TDTFixedAreaConstraints {
  friend class TDTHeader;

public:
  explicit TDTFixedAreaConstraints(TDTHeader* AOwner) : FHeader(AOwner) {}
  TDTConstraintPercent MaxHeightPercent() const { return FMaxHeightPercent; }
  TDTConstraintPercent MaxWidthPercent() const { return FMaxWidthPercent; }
  TDTConstraintPercent MinHeightPercent() const { return FMinHeightPercent; }
  TDTConstraintPercent MinWidthPercent() const { return FMinWidthPercent; }
  void SetMaxHeightPercent(TDTConstraintPercent Value);
  void SetMaxWidthPercent(TDTConstraintPercent Value);
  void SetMinHeightPercent(TDTConstraintPercent Value);
  void SetMinWidthPercent(TDTConstraintPercent Value);
  void Assign(const TDTFixedAreaConstraints& Source);

private:
  void change();
  TDTHeader* FHeader;
  TDTConstraintPercent FMaxHeightPercent = 0;
  TDTConstraintPercent FMaxWidthPercent = 0;
  TDTConstraintPercent FMinHeightPercent = 0;
  TDTConstraintPercent FMinWidthPercent = 0;
};

class TDataTreeColumn {
  friend class TDataTreeColumns;
  friend class TDTHeader;

public:
  explicit TDataTreeColumn(TDataTreeColumns* Collection);
  virtual ~TDataTreeColumn();

  TDataTreeColumns* Owner() const { return FOwner; }
  TBaseDataTree* Tree() const;
  int Index() const { return FIndex; }

  const String& Text() const { return FText; }
  void SetText(const String& Value);
  const String& Hint() const { return FHint; }
  void SetHint(const String& Value) { FHint = Value; }
  int Left() const { return FLeft; }
  int Width() const { return FWidth; }
  void SetWidth(int Value);
  TColumnPosition Position() const { return FPosition; }
  void SetPosition(TColumnPosition Value);
  int MinWidth() const { return FMinWidth; }
  void SetMinWidth(int Value);
  int MaxWidth() const { return FMaxWidth; }
  void SetMaxWidth(int Value);
  TDataTreeColumnStyle Style() const { return FStyle; }
  void SetStyle(TDataTreeColumnStyle Value);
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int Value);
  TBiDiMode BiDiMode() const { return FBiDiMode; }
  void SetBiDiMode(TBiDiMode Value);
  TDTHeaderColumnLayout Layout() const { return FLayout; }
  void SetLayout(TDTHeaderColumnLayout Value);
  int Margin() const { return FMargin; }
  void SetMargin(int Value);
  int Spacing() const { return FSpacing; }
  void SetSpacing(int Value);
  TDTColumnOptions Options() const { return FOptions; }
  void SetOptions(TDTColumnOptions Value);
  int Tag() const { return FTag; }
  void SetTag(int Value) { FTag = Value; }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TAlignment CaptionAlignment() const;
  void SetCaptionAlignment(TAlignment Value);
  int LastWidth() const { return FLastWidth; }
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool BonusPixel() const { return FBonusPixel; }
  float SpringRest() const { return FSpringRest; }
  const String& CaptionText() const { return FCaptionText; }
  void SetCaptionText(const String& Value) { FCaptionText = Value; }
  bool CheckBox() const { return FCheckBox; }
  void SetCheckBox(bool Value);
  TCheckType CheckType() const { return FCheckType; }
  void SetCheckType(TCheckType Value);
  TCheckState CheckState() const { return FCheckState; }
  void SetCheckState(TCheckState Value);
  TRect ImageRect() const { return FImageRect; }
  void SetImageRect(const TRect& R) { FImageRect = R; FHasImageRect = true; }
  bool HasImageRect() const { return FHasImageRect; }
  // input: where glyph, sort glyph and caption go in a header cell of the given client rectangle.
  void ComputeHeaderLayout(TCanvas& Canvas, const TRect& Client, bool UseHeaderGlyph, bool UseSortGlyph,
                           TPoint& HeaderGlyphPos, TPoint& SortGlyphPos, TRect& TextBounds);

  // The header rectangle narrowed to this column.
  virtual TRect GetRect() const;
  String GetDisplayName() const;
  // Left minus the tree's horizontal offset, unless the column is a visible
  // fixed one (those do not scroll).
  int GetAbsoluteLeft() const;
  bool UseRightToLeftReading() const { return FBiDiMode != bdLeftToRight; }
  // False when a handler of the update destroyed the tree.
  bool ParentBiDiModeChanged();
  bool ParentColorChanged();
  bool Equals(const TDataTreeColumn& Other) const;
  virtual void Assign(const TDataTreeColumn& Source);
  void LoadFromStream(TStream& Stream, int Version);
  void SaveToStream(TStream& Stream) const;

private:
  // False when a handler of the update destroyed the tree.
  bool changed(bool AllColumns);
  void repaintTree();

  TDataTreeColumns* FOwner;
  int FIndex = 0;
  String FText;
  String FHint;
  int FLeft = 0;
  int FWidth = 50;
  TColumnPosition FPosition = 0;
  int FMinWidth = 10;
  int FMaxWidth = 10000;
  TDataTreeColumnStyle FStyle = vsText;
  int FImageIndex = -1;
  TBiDiMode FBiDiMode = bdLeftToRight;
  TDTHeaderColumnLayout FLayout = blGlyphLeft;
  int FMargin = 4;
  int FSpacing = 4;
  TDTColumnOptions FOptions = DefaultColumnOptions;
  int FTag = 0;
  TAlignment FAlignment = taLeftJustify;
  TAlignment FCaptionAlignment = taLeftJustify;
  int FLastWidth = 50;
  TColor FColor = clWindow;
  bool FBonusPixel = false;
  float FSpringRest = 0;
  String FCaptionText;
  bool FCheckBox = false;
  TCheckType FCheckType = ctCheckBox;
  TCheckState FCheckState = csUncheckedNormal;
  TRect FImageRect;
  bool FHasImageRect = false;
};

using TColumnsArray = std::vector<TDataTreeColumn*>;

class TDataTreeColumns {
  friend class TDataTreeColumn;
  friend class TDTHeader;

public:
  explicit TDataTreeColumns(TDTHeader* AOwner);
  virtual ~TDataTreeColumns();

  TDTHeader* Header() const { return FHeader; }
  int Count() const { return int(FItems.size()); }
  TDataTreeColumn* Items(TColumnIndex Index) const { return FItems[std::size_t(Index)].get(); }
  TDataTreeColumn* operator[](TColumnIndex Index) const { return Items(Index); }
  virtual TDataTreeColumn* Add();
  virtual void Clear();
  void Delete(TColumnIndex Index);
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  // A change of one column (nil: of the whole collection).
  virtual void Update(TDataTreeColumn* Item);
  virtual void Assign(const TDataTreeColumns& Source);
  bool Equals(const TDataTreeColumns& Other) const;

  int DefaultWidth() const { return FDefaultWidth; }
  void SetDefaultWidth(int Value) { FDefaultWidth = Value; }
  const std::vector<TColumnIndex>& PositionToIndex() const { return FPositionToIndex; }
  TColumnIndex HoverIndex = NoColumn;
  TColumnIndex DownIndex = NoColumn;
  TColumnIndex TrackIndex = NoColumn;
  TColumnIndex ClickIndex = NoColumn;
  TColumnIndex DragIndex = NoColumn;
  TColumnIndex DropTarget = NoColumn;
  bool DropBefore = false;
  bool Clearing() const { return FClearing; }

  // The column under a point of the header or client area.
  virtual TColumnIndex ColumnFromPosition(TPoint P, bool Relative = true) const;
  // The column shown at a position.
  virtual TColumnIndex ColumnFromPosition(TColumnPosition PositionIndex) const;
  void GetColumnBounds(TColumnIndex Column, int& Left, int& Right) const;
  TColumnIndex GetColumnAndBounds(TPoint P, int& ColumnLeft, int& ColumnRight,
                                  bool Relative = true) const;
  TColumnIndex GetFirstVisibleColumn(bool ConsiderAllowFocus = false) const;
  TColumnIndex GetLastVisibleColumn(bool ConsiderAllowFocus = false) const;
  TColumnIndex GetNextColumn(TColumnIndex Column) const;
  TColumnIndex GetPreviousColumn(TColumnIndex Column) const;
  TColumnIndex GetNextVisibleColumn(TColumnIndex Column, bool ConsiderAllowFocus = false) const;
  TColumnIndex GetPreviousVisibleColumn(TColumnIndex Column, bool ConsiderAllowFocus = false) const;
  TColumnsArray GetVisibleColumns() const;
  int GetVisibleFixedWidth() const;
  int GetTotalWidth() const;
  // Whether Column is (still) one of the collection's.
  bool Contains(const TDataTreeColumn* Column) const;
  bool IsValidColumn(TColumnIndex Column) const;
  // The average width of the visible columns that scroll (0: none).
  int GetScrollWidth() const;

  void AdjustAutoSize(TColumnIndex CurrentIndex, bool Force = false);
  void AnimatedResize(TColumnIndex Column, int NewWidth);
  void RestoreLastWidths();
  void UpdatePositions(bool Force = false);
  // Puts the positions in reversed (or natural) order.
  void ReorderColumns(bool RTL);
  void LoadFromStream(TStream& Stream, int Version);
  void SaveToStream(TStream& Stream) const;

  // input: painting, clicks and hot tracking of the header (tree/header_input.cpp, header_paint.cpp).
  // R is in header co-ordinates (y 0 at the header's top); HOffset moves the scrolling columns.
  virtual void PaintHeader(HDC DC, const TRect& R, int HOffset);
  virtual void HandleClick(TPoint P, TMouseButton Button, bool Force, bool DblClick);
  void DetermineHotTrack(TPoint P);
  void DetermineDownColumn(TPoint P);
  // The column under a client point of the header; NoColumn outside it.
  TColumnIndex ColumnAtHeaderPoint(TPoint P) const;

  // The off-screen surface of header painting.
  TBitmap* HeaderBitmap() const { return FHeaderBitmap.get(); }

private:
  void fixPositions();
  void columnDeleted(TColumnIndex Index);
  void reindex();

  TDTHeader* FHeader;
  std::vector<std::unique_ptr<TDataTreeColumn>> FItems;
  std::unique_ptr<TBitmap> FHeaderBitmap;
  std::vector<TColumnIndex> FPositionToIndex;
  int FDefaultWidth = 50;
  bool FNeedPositionsFix = false;
  bool FClearing = false;
  int FUpdateCount = 0;
};

class TDTHeader {
  friend class TDataTreeColumns;
  friend class TDataTreeColumn;

public:
  explicit TDTHeader(TBaseDataTree* AOwner);
  virtual ~TDTHeader();

  TBaseDataTree* Treeview() const { return FOwner; }
  TDataTreeColumns& Columns() const { return *FColumns; }
  int Height() const { return FHeight; }
  void SetHeight(int Value);
  TFont* Font() const { return FFont.get(); }
  void SetFont(const TFont& Value);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  TDTHeaderOptions Options() const { return FOptions; }
  void SetOptions(TDTHeaderOptions Value);
  THeaderStates States() const { return FStates; }
  void SetStates(THeaderStates Value) { FStates = Value; }
  TPoint TrackStart;
  TDTHeaderStyle Style() const { return FStyle; }
  void SetStyle(TDTHeaderStyle Value);
  TColor Background() const { return FBackground; }
  void SetBackground(TColor Value);
  TColumnIndex AutoSizeIndex() const { return FAutoSizeIndex; }
  void SetAutoSizeIndex(TColumnIndex Value);
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* Value);
  // NoColumn while there are no columns.
  TColumnIndex MainColumn() const;
  void SetMainColumn(TColumnIndex Value);
  int MaxHeight() const { return FMaxHeight; }
  void SetMaxHeight(int Value);
  int MinHeight() const { return FMinHeight; }
  void SetMinHeight(int Value);
  int DefaultHeight() const { return FDefaultHeight; }
  void SetDefaultHeight(int Value);
  TDTFixedAreaConstraints& FixedAreaConstraints() { return *FFixedAreaConstraints; }
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* Value);
  TColumnIndex SortColumn() const { return FSortColumn; }
  void SetSortColumn(TColumnIndex Value);
  TSortDirection SortDirection() const { return FSortDirection; }
  void SetSortDirection(TSortDirection Value);
  TPoint DragStart;
  int LastWidth() const { return FLastWidth; }

  // True when the header shows columns (it has some and is visible).
  bool UseColumns() const;
  virtual void Assign(const TDTHeader& Source);
  virtual bool CanWriteColumns() const { return true; }
  virtual void ChangeScale(int M, int D);
  void AutoFitColumns(bool Animated = true, TSmartAutoFitType SmartAutoFitType = smaUseColumnOption,
                      int RangeStartCol = NoColumn, int RangeEndCol = NoColumn);
  int ResizeColumns(int ChangeBy, TColumnIndex RangeStartCol, TColumnIndex RangeEndCol,
                    TDTColumnOptions Options = {coVisible});
  void RescaleHeader();
  virtual void RecalculateHeader();
  // Spreads a change of the tree's width over the spring columns.
  void ResizeSpringColumns();
  // Repaints a column's header cell (NoColumn: the whole header).
  void Invalidate(TColumnIndex Column, bool ExpandToBorder = false);
  virtual void LoadFromStream(TStream& Stream);
  virtual void SaveToStream(TStream& Stream) const;
  // The header's area in window coordinates, as the tree last laid it out.
  TRect HeaderRect() const;
  virtual bool InHeader(TPoint P) const;

  // Handlers of the fixed-area constraints.
  void FixedAreaConstraintsChanged();
  // A component is being freed: the header forgets it where it is its
  // picture list or its menu; true when it was either.
  bool ComponentFreed(const TComponent* AComponent);

  // input: the header's message handling (tree/header_input.cpp). Points are
  // client co-ordinates of the tree: the header has negative y.
  bool HandleMessage(TMessage& Message);
  TRect ClientHeaderRect() const;
  bool InHeaderClient(TPoint P) const;
  bool InHeaderSplitterArea(TPoint P) const;
  bool DetermineSplitterIndex(TPoint P);
  bool InColumnSplitter(TPoint P);
  bool InHeightSplitter(TPoint P) const;
  void DragTo(TPoint P);
  void PrepareDrag(TPoint P, TPoint Start);
  // The picture of the column being dragged, following the mouse.
  TDTDragImage* DragImage() const { return FDragImage.get(); }
  // The owner's menu for a point of the header; nil when it offers none or
  // its handler destroyed the tree.
  virtual TPopupMenu* DoGetPopupMenu(TColumnIndex Column, TPoint Position);

protected:
  virtual bool DoBeforeAutoFitColumn(TColumnIndex Column, TSmartAutoFitType SmartAutoFitType);
  virtual void DoAfterAutoFitColumn(TColumnIndex Column);
  virtual void DoSetSortColumn(TColumnIndex Value);

private:
  void endTracking(bool Cancelled);
  void endDragImage();
  TBaseDataTree* FOwner;
  std::unique_ptr<TDTDragImage> FDragImage;
  std::unique_ptr<TDataTreeColumns> FColumns;
  int FHeight = 17;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = false;
  TDTHeaderOptions FOptions{hoColumnResize, hoDrag, hoShowSortGlyphs};
  THeaderStates FStates;
  TDTHeaderStyle FStyle = hsThickButtons;
  TColor FBackground = clBtnFace;
  TColumnIndex FAutoSizeIndex = NoColumn;
  TPopupMenu* FPopupMenu = nullptr;
  TColumnIndex FMainColumn = NoColumn;
  int FMaxHeight = 10000;
  int FMinHeight = 10;
  int FDefaultHeight = 17;
  std::unique_ptr<TDTFixedAreaConstraints> FFixedAreaConstraints;
  TImageList* FImages = nullptr;
  TColumnIndex FSortColumn = NoColumn;
  TSortDirection FSortDirection = sdAscending;
  int FLastWidth = 0;
};
