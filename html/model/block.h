#pragma once
// Block boxes: every block-level element becomes a TBlock that holds its
// content in a TBlockCell; list items, the body, table wrappers, rules and
// fieldsets are its kinds.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "html/parse/style_model.h"
#include "html/model/indent_manager.h"
#include "html/model/section_base.h"

class TImageObj;
class TBitmap;
class TMyFont;
class THtmlTable;
class THorzLine;
class TBlockLI;

// The vertical margin the default style sheet gives paragraphs and lists:
// 14 pixels that collapse with a neighbour's margin.
constexpr int32_t DefaultParaSpaceValue = ParagraphSpaceValue;
constexpr int32_t DefaultParaSpacePixels = 14;

class TBlock : public TSectionBase {
public:
  TBlock(ThtDocument* Document, TProperties* Prop, TCellBasic* AOwnerCell, TAttributeList* Attributes);
  ~TBlock() override;
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  TBlock* AsBlock() override { return this; }
  virtual TBlockLI* AsListItem() { return nullptr; }

  // Queries forward to the content.
  bool CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) override;
  int FindDocPos(int SourcePos, bool Prev) override;
  int FindSourcePos(int DocPos) override;
  int FindString(int From, const String& ToFind, bool MatchCase) override;
  int FindStringR(int From, const String& ToFind, bool MatchCase) override;
  bool GetChAtPos(int Pos, char16_t& Ch, TObject*& Obj) override;
  void AddSectionsToList() override;
  int FindCursor(TCanvas* Canvas, int X, int Y, int& XR, int& YR, int& CaretHt,
                 bool& Intext) override;
  bool PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY) override;
  uint8_t GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                 TFormControlObj*& FormControl, String& ATitle) override;
  void CopyToClipboard() override;

  // Layout and painting (bodies belong to the layout code).
  int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                int& Curs) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef,
           int YRef) override;
  void MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) override;
  virtual int BorderWidthDefault() { return 1; }
  virtual void ContentMinMax(TCanvas* Canvas, int& Min, int& Max);
  virtual void ConvMargArray(int BaseWidth, int BaseHeight, int& AutoCount);
  virtual void DrawBlockBorder(TCanvas* Canvas, const TRect& ORect, const TRect& IRect);
  virtual int FindWidth(TCanvas* Canvas, int AWidth, int AHeight, int AutoCount);
  virtual void DrawBlock(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int Y,
                         int XRef, int YRef);
  int GetClearSpace(TIndentManager* IMgr, int Y) const;
  // Collapses the top margin with the previous block of the owner cell.
  void CollapseMargins();

  std::unique_ptr<TBlockCell> MyCell;
  TVMarginArray BoxProps;   // MargArrayO in the raw: slots background-color .. left
  TCellBasic* OwnerCell = nullptr;
  std::unique_ptr<TImageObj> BGImage;
  String Title;
  String TagClass;          // tag "." class "#" id
  TMarginArray Box{};       // converted box values, same order as BoxProps
  int32_t EmSize = 0, ExSize = 0;
  TColor Color = clBlack;
  bool HasBorderStyle = false;
  TAlignmentType Float = ANone;  // ANone, ALeft, ARight
  TClearType Clear = clrNone;
  TBackgroundPosRecs BGPos{};
  TPositionType Positioning = posStatic;
  int32_t Visibility = 2;
  // The order in which the block is painted among the items beside it
  // (every other kind of item paints at 0).
  int32_t ZIndex = 0;
  bool BottomIsParaSpace = false;
  bool PageBreakBefore = false, PageBreakAfter = false, AvoidBreakInside = false;
  bool ClipOverflow = false;
  uint8_t Justify = 1;
  int32_t ContentWidth = 0;
  int32_t ClearAddon = 0;
  int32_t ContentLeft = 0;
  bool BGPending = false;
  std::unique_ptr<TBitmap> BGTiled, BGMask, BGWork;
  int32_t OffsetTop = 0, OffsetLeft = 0;
  std::vector<TSectionBase*> PaintList;  // content items in painting order
  TPrintWalk PaintWalk;                  // PaintList on printed pages
  // Draws the content items in painting order (on a printed page, only
  // those that can be on it).
  void DrawPaintList(TCanvas* Canvas, const TRect& ARect, TIndentManager* Mgr, int X, int XRef, int YRef);
  bool BGOpaque = false;
  int32_t ContentBottom = 0;
  TRect BoxRect;
  std::unique_ptr<TIndentManager> OwnIndents;
  TIndentManager* OuterIndents = nullptr;
  // Set by the list reader for OL, UL, DIR and MENU blocks.
  bool IsListBlock = false;

  // ---- layout helpers (layout code) ----
  // A converted box value with auto and unset read as 0.
  int32_t BoxValue(TPropertyIndex I) const;
  int LeftSides() const;   // left margin + padding + border
  int RightSides() const;
  void BuildPaintList();
  // Ends the printed page at Value when that is inside the page.
  bool LowerPageBottom(const TRect& ARect, int Value);

protected:
  TBlock(ThtDocument* NewDocument, const TBlock& Source);
};

// Kind of list an item belongs to.
enum TListKind : uint8_t { lkNone = 0, lkOrdered = 1, lkUnordered = 2, lkDefinition = 3, lkLoneItem = 4 };

class TBlockLI : public TBlock {
public:
  TBlockLI(ThtDocument* Document, TProperties* Prop, TCellBasic* AOwnerCell, THtmlSymbol Sy,
           bool APlain, char16_t AIndexType, int AListNumber, int ListLevel,
           TAttributeList* Attributes);
  ~TBlockLI() override;
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  TBlockLI* AsListItem() override { return this; }
  int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                int& Curs) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef,
           int YRef) override;
  // The bullet or number text of an ordered item ("3.", "c.", "iv."), empty for bullets.
  String NumberText() const;

  TListKind ListType = lkNone;
  int32_t ListNumber = 0;
  TListStyleType ListStyle = lbBlank;
  std::unique_ptr<TMyFont> BulletFont;
  std::unique_ptr<TImageObj> BulletImage;
  int32_t FirstLineY = 0;

protected:
  TBlockLI(ThtDocument* NewDocument, const TBlockLI& Source);
};

class TBodyBlock : public TBlock {
public:
  TBodyBlock(ThtDocument* Document, TProperties* Prop, TCellBasic* AOwnerCell, TAttributeList* Attributes);
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                int& Curs) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef,
           int YRef) override;
  uint8_t GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                 TFormControlObj*& FormControl, String& ATitle) override;

protected:
  using TBlock::TBlock;
};

class TTableBlock : public TBlock {
public:
  TTableBlock(ThtDocument* Document, TProperties* Prop, TCellBasic* AOwnerCell, THtmlTable* ATable,
              TAttributeList* Attributes, int TableLevel);
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  int BorderWidthDefault() override;
  int FindWidth(TCanvas* Canvas, int AWidth, int AHeight, int AutoCount) override;
  void MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) override;
  int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                int& Curs) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef,
           int YRef) override;
  void AddSectionsToList() override;

  THtmlTable* Table = nullptr;  // the block's only content item
  int32_t WidthAttr = 0;
  bool WidthIsPercent = false;
  TColor BgColor = clNone;
  bool HasBgColor = false;
  int32_t HSpace = 0, VSpace = 0;
  bool HasCaption = false;
  bool BorderFromTable = false;
  int32_t FloatShift = 0;
  // Justify (inherited): 0 none, 2 centre, 3 right.

protected:
  TTableBlock(ThtDocument* NewDocument, const TTableBlock& Source);
};

class TTableAndCaptionBlock : public TBlock {
public:
  TTableAndCaptionBlock(ThtDocument* Document, TProperties* Prop, TCellBasic* AOwnerCell,
                        TAttributeList* Attributes, TTableBlock* ATableBlock);
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  void RegisterID();
  void SetCaptionBlock(TBlock* Value);
  int FindWidth(TCanvas* Canvas, int AWidth, int AHeight, int AutoCount) override;
  void MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) override;

  bool TopCaption = true;  // CaptionOnTop
  TTableBlock* TableBlock = nullptr;
  TBlock* CaptionBlock = nullptr;
  String TableID;

protected:
  TTableAndCaptionBlock(ThtDocument* NewDocument, const TTableAndCaptionBlock& Source);
};

class THRBlock : public TBlock {
public:
  THRBlock(ThtDocument* Document, TProperties* Prop, TCellBasic* AOwnerCell, TAttributeList* Attributes);
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  int FindWidth(TCanvas* Canvas, int AWidth, int AHeight, int AutoCount) override;

  uint8_t Align = 2;
  THorzLine* Line = nullptr;  // lives in MyCell

protected:
  THRBlock(ThtDocument* NewDocument, const THRBlock& Source);
};

class TFieldsetBlock : public TBlock {
public:
  TFieldsetBlock(ThtDocument* Document, TProperties* Prop, TCellBasic* AOwnerCell,
                 TAttributeList* Attributes);
  ~TFieldsetBlock() override;
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                int& Curs) override;
  void DrawBlockBorder(TCanvas* Canvas, const TRect& ORect, const TRect& IRect) override;
  void ContentMinMax(TCanvas* Canvas, int& Min, int& Max) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) override;
  void ConvMargArray(int BaseWidth, int BaseHeight, int& AutoCount) override;

  std::unique_ptr<TBlockCell> Legend;

protected:
  TFieldsetBlock(ThtDocument* NewDocument, const TFieldsetBlock& Source);
};
