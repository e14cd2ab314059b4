#pragma once
// Tables: a THtmlTable (held by a TTableBlock) owns its rows; a row is a
// list of cells; each cell is the content of one TD or TH. A nil entry in
// a row is a slot covered by another cell's span.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "html/model/object_pool.h"
#include "html/model/floating_objects.h"
#include "html/model/section_base.h"
#include "html/model/shared_record.h"

class TImageObj;
class TBitmap;

// Limits on what a page may ask of a table.
constexpr int MaxRowSpan = 65534;
constexpr int MaxColSpan = 1000;
static_assert(MaxRowSpan <= UINT16_MAX && MaxColSpan <= UINT16_MAX, "a cell keeps its spans in 16 bits");
constexpr int MaxColSpecs = 10000;

using IntArray = std::vector<int32_t>;
using TWidthTypeArray = std::vector<TWidthType>;

// A cell's box as the page asks for it: sizes, paddings, borders,
// background and page breaks. The cells of a table mostly look alike, so
// they share one record (see TCellObj::changeLooks and the document's
// cache); what a single cell changes is copied first.
struct TCellLooks {
  TWidthSpec Wd;
  TWidthSpec Ht;
  std::array<int32_t, 4> Paddings{};      // left, top, right, bottom
  std::array<int32_t, 4> BorderWidths{};  // left, top, right, bottom
  TColor BkColor = clNone;
  TAlignmentType VAlign = AMiddle;
  bool BkGnd = false;  // the cell has a background colour
  bool HasBorderStyle = false;
  bool ShowEmptyCells = false;
  bool BreakBefore = false, BreakAfter = false, BreakInside = false;
  // Where the background picture stands, and the border styles and
  // colours of a cell with a border style of its own.
  TBackgroundPosRecs BGPos{};
  std::array<int32_t, 4> BorderStyles{};
  std::array<int32_t, 4> BorderColors{};
  bool operator==(const TCellLooks&) const = default;
};

// A table cell: the items of one TD or TH, laid out as a cell of their
// own, with the cell's spans, size and box, and its own link and tooltip.
class TCellObj : public TCell {
public:
  HT_POOLED_OBJECT
  TCellObj(ThtDocument* Master, TAlignmentType AVAlign, TAttributeList* Attr, TProperties* Prop);
  TCellObj(ThtDocument* Master, const TCellObj& T);
  ~TCellObj() override;
  uint8_t GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                 TFormControlObj*& FormControl, String& ATitle) override;

  void InitFromTable(int CellPadding, const String& RowImage, bool HasTableBorder,
                     const TBackgroundPosRecs& RowImagePos);

  // What is the cell's own: its spans (0 for a slot another cell's span
  // covers; held to MaxColSpan and MaxRowSpan, which fit these fields) and
  // its laid-out size.
  uint16_t ColSpan = 1;
  uint16_t RowSpan = 1;
  int32_t Width = 0;
  int32_t VSize = 0;
  int32_t Height = 0;

  // The background picture (a few cells have one) and whether it loaded.
  TImageObj* BGImage() const { return findExtras() ? findExtras()->BGImage.get() : nullptr; }
  bool BGImageOK() const { return findExtras() && findExtras()->BGImageOK; }
  // After the picture's layout: a picture that failed is dropped.
  void BGImageLoaded(bool OK);

  // The cell's tooltip and link, made when asked for.
  TCellLink& Link();
  // The cell's box as drawn: where its own link and tooltip answer (only a
  // cell that has them keeps it).
  void SetCellRect(const TRect& Rect) {
    if (TCellLink* link = ownLink()) link->CellRect = Rect;
  }
  TRect CellRect() const { return ownLink() ? ownLink()->CellRect : TRect(); }

  // The box, from the record the cell shares with the cells that look alike.
  const TWidthSpec& Wd() const { return FLooks->Wd; }
  const TWidthSpec& Ht() const { return FLooks->Ht; }
  const std::array<int32_t, 4>& Paddings() const { return FLooks->Paddings; }
  const std::array<int32_t, 4>& BorderWidths() const { return FLooks->BorderWidths; }
  // Room that paddings and borders take across and down.
  int32_t HzSpace() const { return Paddings()[0] + BorderWidths()[0] + Paddings()[2] + BorderWidths()[2]; }
  int32_t VrSpace() const { return Paddings()[1] + BorderWidths()[1] + Paddings()[3] + BorderWidths()[3]; }
  TAlignmentType VAlign() const { return FLooks->VAlign; }
  bool HasBorderStyle() const { return FLooks->HasBorderStyle; }
  bool ShowEmptyCells() const { return FLooks->ShowEmptyCells; }
  bool BreakBefore() const { return FLooks->BreakBefore; }
  bool BreakAfter() const { return FLooks->BreakAfter; }
  bool BreakInside() const { return FLooks->BreakInside; }
  bool BkGnd() const { return FLooks->BkGnd; }
  TColor BkColor() const { return FLooks->BkColor; }
  // Border styles and colours, sides in the order left, top, right,
  // bottom (no style and no colour without a border style of the cell's own).
  int32_t BorderStyle(int Side) const { return FLooks->BorderStyles[size_t(Side)]; }
  int32_t BorderColor(int Side) const { return FLooks->BorderColors[size_t(Side)]; }
  // Where the background picture stands.
  const TBackgroundPosRecs& BackgroundPos() const { return FLooks->BGPos; }

  // Gives the cell a background colour (from its row or table).
  void SetBackground(TColor Color);
  // The height asked for, the row's HEIGHT merged in.
  void SetHt(const TWidthSpec& Spec);

private:
  // Reads the cell's spans, link and background picture into the cell and
  // its box into l, from the tag's attributes and the computed style.
  void readBox(ThtDocument* Master, TCellLooks& l, TAttributeList* Attr, TProperties* Prop);
  // Changes the cell's box: the record shared with other cells is left
  // alone, and the changed one is shared with the cells that look alike.
  template <typename F>
  void changeLooks(F&& Fn);
  TCellLink* ownLink() const { return findExtras() ? findExtras()->Link.get() : nullptr; }
  TSharedRecord<TCellLooks> FLooks;
};

class TCellList : public TFreeList<TCellObj> {
public:
  TCellList(TAttributeList* Attr, TProperties* Prop);
  TCellList(ThtDocument* Master, const TCellList& T);
  // Appends a cell (nil: a slot covered by a span) and merges the row's
  // HEIGHT into the cell's.
  void Add(std::unique_ptr<TCellObj> Cell);
  void PassBackgroundToCells();
  TCellObj* GetItem(int Index) const { return Items(Index); }

  int32_t RowHeight = 0;
  TWidthSpec SpecRowHeight;
  int32_t RowSpanHeight = 0;
  bool BkGnd = false;
  TColor BkColor = clNone;
  bool BreakBefore = false, BreakAfter = false, BreakInside = false;
  uint8_t RowType = 1;  // 0 header, 1 body, 2 footer
  // The row's background picture (none for most rows) and where it stands.
  const String& BkImage() const;
  const TBackgroundPosRecs& APRec() const;

private:
  struct TRowImage {
    String Url;
    TBackgroundPosRecs Pos{};
  };
  std::unique_ptr<TRowImage> FImage;
};

class TRowList : public TFreeList<TCellList> {
public:
  TCellList* GetItem(int Index) const { return Items(Index); }
};

// Where a table printed over several pages stands after a page: 0 not
// paged (or finished), 1 its header rows are owed at the top of the next
// page, 2 its body goes on below that repeated header, 4 its body goes on
// with no header to repeat, 5 its footer rows are owed just below the last
// row printed on this page. The band is PartStart (document Y) and
// PartHeight high; FootHeight is the room kept for the footer band.
struct TTablePartRec {
  uint8_t TablePart = 0;
  int32_t PartStart = 0;
  int32_t PartHeight = 0;
  int32_t FootHeight = 0;
};

class THtmlTable : public TSectionBase {
public:
  THtmlTable(ThtDocument* Master, TAttributeList* Attr, TProperties* Prop);
  ~THtmlTable() override;
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;

  void DoColumns(int Count, const TWidthSpec& AWidth, TAlignmentType AVAlign, const String& AAlign);

  // Layout, drawing and queries (bodies belong to the layout code).
  void Initialize();
  // Keeps the grid's slots (cells and the dummies of their spans) within a
  // budget proportional to the cells that exist.
  void clampSpans();
  // Inserts the span dummies; false (and stops) when more than limit of
  // them would be needed.
  bool normaliseGrid(size_t limit);
  int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                int& Curs) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef,
           int YRef) override;
  void MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) override;
  uint8_t GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                 TFormControlObj*& FormControl, String& ATitle) override;
  bool PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY) override;
  int FindCursor(TCanvas* Canvas, int X, int Y, int& XR, int& YR, int& CaretHt,
                 bool& Intext) override;
  bool CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) override;
  int FindDocPos(int SourcePos, bool Prev) override;
  int FindSourcePos(int DocPos) override;
  int FindString(int From, const String& ToFind, bool MatchCase) override;
  int FindStringR(int From, const String& ToFind, bool MatchCase) override;
  bool GetChAtPos(int Pos, char16_t& Ch, TObject*& Obj) override;
  void AddSectionsToList() override;
  void CopyToClipboard() override;

  std::unique_ptr<TColSpecList> ColSpecs;
  IntArray Percents, Multis, MaxWidths, MinWidths;
  int32_t nTypes[4] = {0, 0, 0, 0};  // columns per width kind
  TWidthTypeArray ColumnTypes;
  TRowList Rows;
  bool Initialized = false;
  int32_t BorderWidth = 0;
  int32_t brdWidthAttr = 0;
  bool HasBorderWidth = false;
  int32_t NumCols = 0;
  int32_t TableWidth = 0;
  int32_t tblWidthAttr = 0;
  int32_t CellPadding = 1;
  int32_t CellSpacing = 2;
  TColor BorderColor = clNone;
  TColor BorderColorLight = clBtnHighlight;
  TColor BorderColorDark = clBtnShadow;
  bool BkGnd = false;
  TColor BkColor = clNone;
  IntArray Widths, Heights;
  int32_t HeaderRowCount = 0, HeaderHeight = 0, FootHeight = 0;
  int32_t FootStartRow = -1, FootOffset = 0;
  bool HasHeaderOrFooter = false;
  std::unique_ptr<TTablePartRec> TablePartRec;
  bool Float = false;  // the table block floats

  // ---- layout memo (layout code) ----
  // Column widths and row heights are worked out once per layout cycle (and
  // per width and asked height), so nested tables cost their size, not a
  // power of their depth.
  int32_t MinMaxCycle = -1;
  int32_t HeightsCycle = -1;
  int32_t HeightsWidth = -1;
  int32_t HeightsGoal = 0;
  int32_t DrawLeft = 0;  // X where the table was last drawn (hit tests)
  void GetMinMaxWidths(TCanvas* Canvas);
  void FindTableWidth(TCanvas* Canvas, TIndentManager* IMgr, int Y);
  void FindRowHeights(TCanvas* Canvas, int AvailHeight);
  int LayoutRows(TCanvas* Canvas, int Y, int AvailHeight, int& Curs);
  void DrawCell(TCanvas* Canvas, TCellObj* Cell, const TRect& ARect, int X, int Y);
  int DrawRow(TCanvas* Canvas, TCellList* Row, const TRect& ARect, int X, int Y);
  void DrawCells(TCanvas* Canvas, TCellList* Row, const TRect& ARect, int X, int Y);
  void DrawRows(TCanvas* Canvas, const TRect& ARect, int X);
  // Printing over several pages: whether this table pages (repeats its
  // header and footer rows), and its drawing then.
  bool PagedPrinting(const TRect& ARect) const;
  void DrawPaged(TCanvas* Canvas, const TRect& ARect, int X);
  // Draws rows First..Last-1 with the first one's top at page Y PageY,
  // wherever in the document they are: the repeated header and footer
  // bands. ARect is the band on the page.
  void DrawRowBand(TCanvas* Canvas, const TRect& ARect, int First, int Last, int PageY);
  TCellObj* CellAt(int X, int Y);
  template <typename F>
  void ForEachCell(bool Backwards, F&& Fn);

protected:
  THtmlTable(ThtDocument* NewDocument, const THtmlTable& Source);
};
