#pragma once
// Layout items and the cells that stack them: every piece of a laid-out
// document is a TSectionBase; a cell is an owning list of items laid out
// from top to bottom (the document, a block's content, a table cell).
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "html/model/object_pool.h"
#include "html/parse/style_model.h"
#include "html/model/attributes.h"
#include "platform/core/exception.h"
#include "platform/core/object.h"
#include "platform/core/types.h"
#include "platform/graphics/geometry.h"

class TCanvas;
class ThtDocument;
class TBlock;
class TSection;
class TIndentManager;
class TFormControlObj;
class TImageObj;
class TIDObjectList;

// A layout that cannot go on; the cell drops the item and lays out the rest.
TAMRIX_DECLARE_EXCEPTION(EProcessError, Exception)

// "Not laid out yet" and other open ends: the largest value, so that such
// an item sorts after everything and sums saturate instead of wrapping.
constexpr int32_t htUnset = INT_MAX;

// Saturating sum for Y positions and heights.
inline int32_t htAddSat(int32_t a, int32_t b) {
  const int64_t s = int64_t(a) + int64_t(b);
  return s > INT_MAX ? INT_MAX : s < INT_MIN ? INT_MIN : int32_t(s);
}

// GetURL flags.
enum : uint8_t { guUrl = 1, guControl = 2, guTitle = 4 };

// An object that can be the target of an id or an anchor name. It leaves
// the id list it was entered in when it is freed, so a jump to a dropped
// element finds nothing instead of a dangling pointer.
class TIDObject : public TObject {
public:
  ~TIDObject() override;
  virtual int GetYPosition() = 0;
  // Whether the id list frees the object when the entry goes.
  virtual bool FreeMe() { return false; }

private:
  friend class TIDObjectList;
  // How many names of an id list point here. The list itself is noted
  // apart (TIDObjectList::ListOf) for the few objects that have a name:
  // every section, block and cell of a page is one of these objects.
  int FIdRefs = 0;
};

class TSectionBase : public TIDObject {
public:
  HT_POOLED_OBJECT
  TSectionBase(ThtDocument* Document, TDisplayStyle Display);
  // Display from the element's properties (page breaks use this).
  TSectionBase(ThtDocument* Document, TProperties* Prop);
  ~TSectionBase() override;

  // A copy of the item for another document (printing).
  virtual std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const;

  int GetYPosition() override { return ContentY; }
  // The item as a text section or a block, or nullptr: the builder asks
  // this of nearly every item it adds, where a type search would cost more
  // than the rest of the work.
  virtual TSection* AsSection() { return nullptr; }
  virtual TBlock* AsBlock() { return nullptr; }
  // While a page prints: the item is in the flow (neither floating nor
  // positioned) and lies wholly above the page or starts below the page's
  // end, so it draws nothing there and moves no page end.
  bool OffPrintedPage(const TRect& ARect) { return AbovePrintedPage(ARect) || BelowPrintedPage(ARect); }
  bool AbovePrintedPage(const TRect& ARect);
  bool BelowPrintedPage(const TRect& ARect);
  bool InFlow();
  void SetDocument(ThtDocument* ADocument) { Document = ADocument; }

  virtual bool CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y);
  virtual int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef,
                   int YRef);
  // Layout at (X, Y); returns the height taken in the flow.
  virtual int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                        int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                        int& Curs);
  virtual int FindCursor(TCanvas* Canvas, int X, int Y, int& XR, int& YR, int& CaretHt,
                         bool& Intext);
  virtual int FindDocPos(int SourcePos, bool Prev);
  virtual int FindSourcePos(int DocPos);
  virtual int FindString(int From, const String& ToFind, bool MatchCase);
  virtual int FindStringR(int From, const String& ToFind, bool MatchCase);
  virtual bool GetChAtPos(int Pos, char16_t& Ch, TObject*& Obj);
  // Flags guUrl, guControl, guTitle; UrlTarg is a new record when guUrl is set.
  virtual uint8_t GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                         TFormControlObj*& FormControl, String& ATitle);
  virtual bool PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY);
  virtual void AddSectionsToList();
  virtual void CopyToClipboard();
  virtual void MinMaxWidth(TCanvas* Canvas, int& Min, int& Max);

  // First, where it fills the room the id fields leave.
  int32_t StartPos = 0;
  ThtDocument* Document = nullptr;
  TBlock* ParentBlock = nullptr;
  int32_t Length = 0;
  int32_t LayoutTop = 0;
  int32_t BorderTop = 0;
  int32_t ContentY = htUnset;  // until the first layout
  int32_t OuterBottom = 0;
  int32_t PaintBottom = 0;
  int32_t Height = 0;
  int32_t PaintHeight = 0;
  // Last: the small fields of a kind of item (a text section's) take the
  // room after it.
  TDisplayStyle Display = pdUnassigned;

protected:
  // Copy constructor for CreateCopy: Display and Height.
  TSectionBase(ThtDocument* NewDocument, const TSectionBase& Source);
};

// Drawing the items of a list on printed pages, page after page. The items
// of the flow come in page order: those wholly above a page are passed
// over from where the previous page left off, and when every item is in
// the flow the walk stops at the first that starts below the page. A page
// thus costs what is on it, not the whole list.
class TPrintWalk {
public:
  // The index to start from on the page of ARect (0 when not printing).
  size_t Begin(ThtDocument* Doc, const TRect& ARect, size_t Count, const std::function<TSectionBase*(size_t)>& Item);
  // Whether the walk ends before Item.
  bool EndsAt(TSectionBase* Item, const TRect& ARect) const { return FAllInFlow == 1 && Item->BelowPrintedPage(ARect); }

private:
  size_t FFrom = 0;
  int32_t FTop = INT32_MIN;
  int8_t FAllInFlow = -1;  // not yet known
  size_t FCount = 0;
};

// An owning list of items.
class TSectionBaseList : public TFreeList<TSectionBase> {
public:
  TSectionBase* GetItem(int Index) const { return Items(Index); }
  virtual bool CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y);
  virtual int FindDocPos(int SourcePos, bool Prev);
  int FindCursor(TCanvas* Canvas, int X, int Y, int& XR, int& YR, int& CaretHt, bool& Intext);
  int FindSourcePos(int DocPos);
  int FindString(int From, const String& ToFind, bool MatchCase);
  int FindStringR(int From, const String& ToFind, bool MatchCase);
  bool PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY);
};

// A table cell's own tooltip and link (a cell of its own HREF), and the
// box where they answer, as last drawn.
struct TCellLink {
  String Title;
  String Url;
  String Target;
  TRect CellRect{};
};

class TCellBasic : public TSectionBaseList {
public:
  HT_POOLED_OBJECT
  explicit TCellBasic(ThtDocument* Document);
  // Copies the items of Source into a cell of NewDocument.
  TCellBasic(ThtDocument* NewDocument, const TCellBasic& Source);
  ~TCellBasic() override;

  // Appends Item (nil is ignored). A text section is finished first and
  // dropped (detached and freed) when it ends up with nothing to show.
  void Add(std::unique_ptr<TSectionBase> Item, int EndPos);
  // Clears a trailing default paragraph space; true when it did.
  bool CheckLastBottomMargin();

  virtual int DoLogic(TCanvas* Canvas, int Y, int Width, int AvailHeight, int BlockHeight,
                      int& ScrollWidth, int& Curs);
  virtual int Draw(TCanvas* Canvas, const TRect& ARect, int ClipWidth, int X, int Y, int XRef,
                   int YRef);
  virtual uint8_t GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                         TFormControlObj*& FormControl, String& ATitle);
  virtual void MinMaxWidth(TCanvas* Canvas, int& Min, int& Max);
  bool GetChAtPos(int Pos, char16_t& Ch, TObject*& Obj);
  void AddSectionsToList();
  void CopyToClipboard();

  ThtDocument* Document = nullptr;
  int32_t StartPos = 0;
  int32_t Length = 0;
  TIndentManager* IndentManager = nullptr;  // not owned by a plain cell
  // The tag of the block whose content the cell is; empty for others.
  virtual const String& GetOwnerTag() const;
  // The block whose content the cell is; nullptr for others (the
  // document, table cells).
  virtual TBlock* GetOwnerBlock() const { return nullptr; }

protected:
  // What few cells need, held apart so that the many others pay one
  // pointer for it: the walk over the items on printed pages (made when
  // the cell is first drawn on one), and a table cell's own link and
  // background picture (with whether the picture loaded).
  struct TCellExtras {
    TCellExtras();
    ~TCellExtras();
    std::optional<TPrintWalk> PrintWalk;
    std::unique_ptr<TCellLink> Link;
    std::unique_ptr<TImageObj> BGImage;
    bool BGImageOK = false;
  };
  TCellExtras& extras() {
    if (!FExtras) FExtras = std::make_unique<TCellExtras>();
    return *FExtras;
  }
  const TCellExtras* findExtras() const { return FExtras.get(); }

private:
  std::unique_ptr<TCellExtras> FExtras;

public:
  // Last, so that a derived cell's first small field fills the room after them.
  int32_t TopY = 0;
  int32_t MaxOuterBottom = 0;
  int32_t MaxPaintBottom = 0;
  int32_t TotalHeight = 0;
};

// The content of a block.
class TBlockCell : public TCellBasic {
public:
  using TCellBasic::TCellBasic;
  TBlockCell(ThtDocument* NewDocument, const TBlockCell& Source)
      : TCellBasic(NewDocument, Source), OwnerTag(Source.OwnerTag) {}
  const String& GetOwnerTag() const override { return OwnerTag; }
  TBlock* GetOwnerBlock() const override { return OwnerBlock; }
  String OwnerTag;
  TBlock* OwnerBlock = nullptr;
  int DoLogicX(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int Width, int AvailHeight,
               int BlockHeight, int& ScrollWidth, int& Curs);
  int32_t MaxTextWidth = 0;

private:
  int floatDrop(int I) const;
};

// A cell that starts a fresh set of left and right edges (the document,
// table cells). The document holds its own indent manager; a table cell
// needs one only while it is laid out or drawn and borrows one of the
// document's then (one for each depth of cells nested in cells), so that
// a table of many cells keeps no manager in each.
class TCell : public TCellBasic {
public:
  explicit TCell(ThtDocument* Document);
  TCell(ThtDocument* NewDocument, const TCell& Source);
  ~TCell() override;
  int DoLogic(TCanvas* Canvas, int Y, int Width, int AvailHeight, int BlockHeight,
              int& ScrollWidth, int& Curs) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, int ClipWidth, int X, int Y, int XRef,
           int YRef) override;

private:
  // Points IndentManager at the cell's manager for a layout or a drawing:
  // its own, or one borrowed from the document until the scope ends.
  class TIndentScope;
};
