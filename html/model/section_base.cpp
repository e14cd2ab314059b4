// Layout items and cells: construction, the cell's list operations, the
// base behaviours of items and the walks that ask every item of a cell.
#include "html/model/section_base.h"

#include "html/model/block.h"
#include "html/model/document.h"
#include "html/model/indent_manager.h"
#include "html/model/section.h"
#include "html/images/image_object.h"

TIDObject::~TIDObject() {
  if (FIdRefs > 0)
    if (TIDObjectList* list = TIDObjectList::ListOf(this)) list->RemoveObject(this);
}

TSectionBase::TSectionBase(ThtDocument* ADocument, TDisplayStyle ADisplay)
    : Document(ADocument), Display(ADisplay) {}

TSectionBase::TSectionBase(ThtDocument* ADocument, TProperties* Prop)
    : TSectionBase(ADocument, Prop ? Prop->GetDisplay() : pdUnassigned) {}

TSectionBase::TSectionBase(ThtDocument* NewDocument, const TSectionBase& Source)
    : Document(NewDocument), Height(Source.Height), Display(Source.Display) {}

TSectionBase::~TSectionBase() {
  if (Document) Document->RemoveFromPositionList(this);
}

std::unique_ptr<TSectionBase> TSectionBase::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TSectionBase(NewDocument, *this));
}

bool TSectionBase::CursorToXY(TCanvas*, int, int&, int&) { return false; }

int TSectionBase::Draw(TCanvas*, const TRect&, TIndentManager*, int, int, int) {
  return htAddSat(LayoutTop, Height);
}

int TSectionBase::DrawLogic(TCanvas*, int, int Y, int, int, int, int, int, TIndentManager*,
                            int& MaxWidth, int& Curs) {
  StartPos = Curs;
  MaxWidth = 0;
  LayoutTop = BorderTop = ContentY = Y;
  OuterBottom = htAddSat(Y, Height);
  PaintHeight = Height;
  PaintBottom = htAddSat(Y, PaintHeight);
  return Height;
}

int TSectionBase::FindCursor(TCanvas*, int, int, int&, int&, int&, bool&) { return -1; }
int TSectionBase::FindDocPos(int, bool) { return -1; }
int TSectionBase::FindSourcePos(int) { return -1; }
int TSectionBase::FindString(int, const String&, bool) { return -1; }
int TSectionBase::FindStringR(int, const String&, bool) { return -1; }
bool TSectionBase::GetChAtPos(int, char16_t&, TObject*&) { return false; }

uint8_t TSectionBase::GetURL(TCanvas*, int, int, std::unique_ptr<TUrlTarget>& UrlTarg,
                             TFormControlObj*&, String&) {
  UrlTarg.reset();
  return 0;
}

bool TSectionBase::PtInObject(int, int, TObject*&, int&, int&) { return false; }

void TSectionBase::AddSectionsToList() {
  if (Document) Document->AddToPositionList(this);
}

void TSectionBase::CopyToClipboard() {}

void TSectionBase::MinMaxWidth(TCanvas*, int& Min, int& Max) { Min = Max = 0; }

// ---- lists ----

bool TSectionBaseList::CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) {
  for (const auto& item : FItems)
    if (item->CursorToXY(Canvas, Cursor, X, Y)) return true;
  return false;
}

int TSectionBaseList::FindDocPos(int SourcePos, bool Prev) {
  if (Prev) {
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
      const int result = (*it)->FindDocPos(SourcePos, true);
      if (result >= 0) return result;
    }
    return -1;
  }
  for (const auto& item : FItems) {
    const int result = item->FindDocPos(SourcePos, false);
    if (result >= 0) return result;
  }
  return -1;
}

int TSectionBaseList::FindCursor(TCanvas* Canvas, int X, int Y, int& XR, int& YR, int& CaretHt,
                                 bool& Intext) {
  for (const auto& item : FItems) {
    if (item->BorderTop > Y || Y >= item->PaintBottom) continue;
    const int result = item->FindCursor(Canvas, X, Y, XR, YR, CaretHt, Intext);
    if (result >= 0) return result;
  }
  return -1;
}

int TSectionBaseList::FindSourcePos(int DocPos) {
  for (const auto& item : FItems) {
    const int result = item->FindSourcePos(DocPos);
    if (result >= 0) return result;
  }
  return -1;
}

int TSectionBaseList::FindString(int From, const String& ToFind, bool MatchCase) {
  for (const auto& item : FItems) {
    const int result = item->FindString(From, ToFind, MatchCase);
    if (result >= 0) return result;
  }
  return -1;
}

int TSectionBaseList::FindStringR(int From, const String& ToFind, bool MatchCase) {
  for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
    const int result = (*it)->FindStringR(From, ToFind, MatchCase);
    if (result >= 0) return result;
  }
  return -1;
}

bool TSectionBaseList::PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY) {
  for (const auto& item : FItems) {
    if (item->BorderTop > Y || Y >= item->PaintBottom) continue;
    if (item->PtInObject(X, Y, Obj, IX, IY)) return true;
  }
  return false;
}

// ---- cells ----

TCellBasic::TCellBasic(ThtDocument* ADocument) : Document(ADocument) {}

TCellBasic::TCellBasic(ThtDocument* NewDocument, const TCellBasic& Source)
    : Document(NewDocument) {
  FItems.reserve(Source.FItems.size());
  for (const auto& item : Source.FItems) Add(item->CreateCopy(NewDocument), 0);
}

const String& TCellBasic::GetOwnerTag() const {
  static const String none;
  return none;
}

TCellBasic::TCellExtras::TCellExtras() = default;
TCellBasic::TCellExtras::~TCellExtras() = default;

TCellBasic::~TCellBasic() {
  // Items go newest first, so that each leaves the document's lists from
  // their ends.
  while (!FItems.empty()) FItems.pop_back();
}

void TCellBasic::Add(std::unique_ptr<TSectionBase> Item, int EndPos) {
  if (!Item) return;
  if (TSection* section = Item->AsSection()) {
    if (!section->Finished()) section->FinishText(EndPos);
    if (!section->IsPreformatted() && section->Length == 0 && section->ClearKind == clrNone &&
        !section->AnchorName) {
      section->DetachFromDocument();
      return;  // freed here
    }
  }
  Item->SetDocument(Document);
  // Room for one item at once: a table cell mostly holds one section.
  if (FItems.empty()) FItems.reserve(1);
  TFreeList<TSectionBase>::Add(std::move(Item));
}

bool TCellBasic::CheckLastBottomMargin() {
  for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
    TBlock* block = (*it)->AsBlock();
    if (!block || block->Positioning == posAbsolute) continue;
    if (TBlockLI* item = block->AsListItem()) return item->MyCell->CheckLastBottomMargin();
    if (block->BottomIsParaSpace) {
      block->Box[MA(piMarginBottom)] = 0;
      block->BoxProps[MA(piMarginBottom)] = TPropValue(0);
      block->BottomIsParaSpace = false;
      return true;
    }
    return false;
  }
  return false;
}

int TCellBasic::DoLogic(TCanvas* Canvas, int Y, int Width, int AvailHeight, int BlockHeight,
                        int& ScrollWidth, int& Curs) {
  TopY = Y;
  StartPos = Curs;
  ScrollWidth = 0;
  int total = 0;
  for (int i = 0; i < Count();) {
    TSectionBase* item = FItems[size_t(i)].get();
    int maxWidth = 0;
    try {
      total = htAddSat(total, item->DrawLogic(Canvas, 0, htAddSat(Y, total), 0, 0, Width,
                                              AvailHeight, BlockHeight, IndentManager, maxWidth,
                                              Curs));
    } catch (const EProcessError&) {
      Delete(i);  // the next item takes its place
      continue;
    }
    ScrollWidth = std::max(ScrollWidth, maxWidth);
    ++i;
  }
  Length = Curs - StartPos;
  return total;
}

int TCellBasic::Draw(TCanvas* Canvas, const TRect& ARect, int, int X, int Y, int XRef, int YRef) {
  int result = Y;
  const size_t n = FItems.size();
  size_t i = 0;
  if (Document && Document->Printing) {
    std::optional<TPrintWalk>& walk = extras().PrintWalk;
    if (!walk) walk.emplace();
    i = walk->Begin(Document, ARect, n, [this](size_t k) { return FItems[k].get(); });
  }
  const TPrintWalk* walk = FExtras && FExtras->PrintWalk ? &*FExtras->PrintWalk : nullptr;
  for (; i < n; ++i) {
    TSectionBase* item = FItems[i].get();
    if (walk && walk->EndsAt(item, ARect)) break;
    if (item->OffPrintedPage(ARect)) continue;
    result = item->Draw(Canvas, ARect, IndentManager, X, XRef, YRef);
  }
  // Items passed over on a printed page answer as drawing would.
  if (n > 0 && (i < n || FItems.back()->OffPrintedPage(ARect)))
    result = FItems.back()->LayoutTop + FItems.back()->Height;
  return result;
}

uint8_t TCellBasic::GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                           TFormControlObj*& FormControl, String& ATitle) {
  UrlTarg.reset();
  FormControl = nullptr;
  ATitle.clear();
  for (const auto& item : FItems) {
    if (item->BorderTop > Y || Y >= item->PaintBottom) continue;
    const uint8_t flags = item->GetURL(Canvas, X, Y, UrlTarg, FormControl, ATitle);
    if (flags) return flags;
  }
  return 0;
}

void TCellBasic::MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) {
  Min = Max = 0;
  for (const auto& item : FItems) {
    int mn = 0, mx = 0;
    item->MinMaxWidth(Canvas, mn, mx);
    Min = std::max(Min, mn);
    Max = std::max(Max, mx);
  }
}

bool TCellBasic::GetChAtPos(int Pos, char16_t& Ch, TObject*& Obj) {
  if (Pos < StartPos || Pos > StartPos + Length) return false;
  for (const auto& item : FItems)
    if (item->GetChAtPos(Pos, Ch, Obj)) return true;
  return false;
}

void TCellBasic::AddSectionsToList() {
  for (const auto& item : FItems) item->AddSectionsToList();
}

void TCellBasic::CopyToClipboard() {
  if (!Document || Document->SelEnd <= Document->SelStart) return;
  for (const auto& item : FItems) {
    if (item->StartPos >= Document->SelEnd) break;
    if (item->StartPos + item->Length > Document->SelStart) item->CopyToClipboard();
  }
}

// A float takes no room in the flow, so the top margin of the block that
// follows it would otherwise push only that block's text down: the float
// stands that much lower too, and the text beside it starts at its top.
int TBlockCell::floatDrop(int I) const {
  TBlock* b = FItems[size_t(I)]->AsBlock();
  if (!b || (b->Float != ALeft && b->Float != ARight) ||
      (b->Positioning != posStatic && b->Positioning != posRelative) || I + 1 >= Count())
    return 0;
  TBlock* next = FItems[size_t(I) + 1]->AsBlock();
  if (!next || next->Float != ANone || next->Display == pdNone || next->Positioning != posStatic) return 0;
  const int32_t top = next->Box[size_t(MA(piMarginTop))];
  return top == AutoValue || top == NotSetValue ? 0 : std::clamp(top, 0, 10000);
}

int TBlockCell::DoLogicX(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int Width,
                         int AvailHeight, int BlockHeight, int& ScrollWidth, int& Curs) {
  TopY = Y;
  StartPos = Curs;
  ScrollWidth = 0;
  MaxTextWidth = 0;
  MaxOuterBottom = 0;
  MaxPaintBottom = 0;
  int total = 0;
  for (int i = 0; i < Count();) {
    TSectionBase* item = FItems[size_t(i)].get();
    int maxWidth = 0;
    try {
      total = htAddSat(total, item->DrawLogic(Canvas, X, htAddSat(Y, htAddSat(total, floatDrop(i))), XRef, YRef,
                                              Width, AvailHeight, BlockHeight, IndentManager, maxWidth, Curs));
    } catch (const EProcessError&) {
      Delete(i);
      continue;
    }
    if (OwnerBlock && OwnerBlock->ClipOverflow)
      ScrollWidth = Width;
    else
      ScrollWidth = std::max(ScrollWidth, maxWidth);
    if (TSection* section = item->AsSection())
      MaxTextWidth = std::max(MaxTextWidth, section->WidestLine);
    TBlock* block = item->AsBlock();
    if (!block || block->Positioning != posAbsolute)
      MaxOuterBottom = std::max(MaxOuterBottom, item->OuterBottom);
    MaxPaintBottom = std::max(MaxPaintBottom, item->PaintBottom);
    ++i;
  }
  Length = Curs - StartPos;
  TotalHeight = total;
  return total;
}

TCell::TCell(ThtDocument* ADocument) : TCellBasic(ADocument) {}

TCell::TCell(ThtDocument* NewDocument, const TCell& Source) : TCellBasic(NewDocument, Source) {}

TCell::~TCell() = default;

class TCell::TIndentScope {
public:
  // The document keeps its own manager; a cell outside any document (none
  // is laid out in practice) borrows from a pool of its thread.
  explicit TIndentScope(TCell& C)
      : FPool(static_cast<TCellBasic*>(C.Document) == &C ? nullptr : C.Document ? &C.Document->CellIndents() : &spare()) {
    if (FPool) C.IndentManager = FPool->Borrow();
  }
  ~TIndentScope() {
    if (FPool) FPool->Return();
  }
  TIndentScope(const TIndentScope&) = delete;
  TIndentScope& operator=(const TIndentScope&) = delete;

private:
  static TIndentPool& spare() {
    thread_local TIndentPool pool;
    return pool;
  }
  TIndentPool* FPool;
};

int TCell::DoLogic(TCanvas* Canvas, int Y, int Width, int AvailHeight, int BlockHeight,
                   int& ScrollWidth, int& Curs) {
  const TIndentScope scope(*this);
  TIndentManager* const mgr = IndentManager;
  mgr->Init(0, Width);
  const void* const saveID = mgr->CurrentID;
  mgr->CurrentID = this;
  const int lfIndex = mgr->SetLeftIndent(0, Y);
  const int rtIndex = mgr->SetRightIndent(Width, Y);
  const int result = TCellBasic::DoLogic(Canvas, Y, Width, AvailHeight, BlockHeight, ScrollWidth, Curs);
  mgr->FreeLeftIndentRec(lfIndex);
  mgr->FreeRightIndentRec(rtIndex);
  mgr->CurrentID = saveID;
  return std::max(result, mgr->ImageBottom() - Y);
}

int TCell::Draw(TCanvas* Canvas, const TRect& ARect, int ClipWidth, int X, int Y, int XRef, int YRef) {
  const TIndentScope scope(*this);
  IndentManager->Reset(X);
  IndentManager->Width = ClipWidth;
  return TCellBasic::Draw(Canvas, ARect, ClipWidth, X, Y, XRef, YRef);
}

