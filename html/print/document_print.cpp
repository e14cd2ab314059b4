// One printed page of a laid-out print copy. A long table with header
// rows (THEAD) gets them again at the top of every page it runs on to, and
// one with footer rows (TFOOT) gets them below its last row on every page
// it leaves; the body rows in between are each printed once.
#include <algorithm>

#include "html/model/block.h"
#include "html/model/document.h"
#include "html/layout/layout_device.h"
#include "html/model/table.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

namespace {

// Draws inside a clip rectangle and leaves the canvas's clip as it was.
template <typename F>
void clipped(TCanvas* Canvas, const TRect& R, F&& Fn) {
  HDC dc = Canvas->Handle();
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, R.Left, R.Top, R.Right, R.Bottom);
  Fn();
  htPaint::RestoreCanvas(Canvas, saved);
}

// The state a page's drawing moves on (which table repeats its rows, and
// how far it got), kept so that a trial run can be undone.
struct PagingState {
  explicit PagingState(ThtDocument& D) : Doc(D), Table(D.PrintHeaderTable) {
    if (Table) Rec = *Table->TablePartRec;
  }
  void restore() {
    if (Doc.PrintHeaderTable && Doc.PrintHeaderTable != Table) *Doc.PrintHeaderTable->TablePartRec = TTablePartRec{};
    Doc.PrintHeaderTable = Table;
    if (Table) *Table->TablePartRec = Rec;
  }
  ThtDocument& Doc;
  THtmlTable* Table;
  TTablePartRec Rec;
};

}  // namespace

namespace {
// Slack for what a line or a border paints beyond its box.
constexpr int kPageSlack = 64;
}  // namespace

bool TSectionBase::InFlow() {
  TBlock* block = AsBlock();
  return !block || (block->Positioning == posStatic && block->Float == ANone);
}

bool TSectionBase::AbovePrintedPage(const TRect& ARect) {
  const ThtDocument* doc = Document;
  if (!doc || !doc->Printing) return false;
  const int top = doc->ScrollY + ARect.Top - kPageSlack;
  return PaintBottom < top && LayoutTop + Height < top && InFlow();
}

bool TSectionBase::BelowPrintedPage(const TRect& ARect) {
  const ThtDocument* doc = Document;
  if (!doc || !doc->Printing) return false;
  return LayoutTop > doc->PageBottom + kPageSlack && LayoutTop > doc->ScrollY + ARect.Bottom + kPageSlack &&
         InFlow();
}

size_t TPrintWalk::Begin(ThtDocument* Doc, const TRect& ARect, size_t Count,
                         const std::function<TSectionBase*(size_t)>& Item) {
  if (!Doc || !Doc->Printing) return 0;
  if (Count != FCount) {
    // The list changed: start again.
    FCount = Count;
    FFrom = 0;
    FAllInFlow = -1;
  }
  if (FAllInFlow < 0) {
    FAllInFlow = 1;
    for (size_t i = 0; i < Count && FAllInFlow; ++i)
      if (!Item(i)->InFlow()) FAllInFlow = 0;
  }
  const int32_t top = Doc->ScrollY + ARect.Top;
  if (top < FTop) FFrom = 0;  // an earlier page again
  FTop = top;
  while (FFrom < Count && Item(FFrom)->AbovePrintedPage(ARect)) ++FFrom;
  return FFrom;
}

int ThtDocument::PrintPage(TCanvas* Canvas, int Top, int Width, int Height, TCanvas* Dry, int* ContentEnd,
                           bool Trial, bool RepeatRow) {
  if (RepeatRow) {
    if (PrintHeaderTable && PrintHeaderTable != RowStartTable) *PrintHeaderTable->TablePartRec = TTablePartRec{};
    PrintHeaderTable = RowStartTable;
    if (RowStartTable)
      *RowStartTable->TablePartRec = TTablePartRec{uint8_t(RowStartRec[0]), RowStartRec[1], RowStartRec[2],
                                                    RowStartRec[3]};
  } else if (!Trial) {
    RowStartTable = PrintHeaderTable;
    if (RowStartTable) {
      const TTablePartRec& r = *RowStartTable->TablePartRec;
      RowStartRec[0] = r.TablePart;
      RowStartRec[1] = r.PartStart;
      RowStartRec[2] = r.PartHeight;
      RowStartRec[3] = r.FootHeight;
    }
  }
  PagingState state(*this);
  PrintDrawLimit = 0x7FFFFFFF;
  if (Dry) {
    // Lines of cells standing side by side are drawn before a later cell
    // moves the page's end above them; a trial run finds the end, and the
    // page is then drawn without what lies below it.
    PrintMeasureOnly = true;
    int next;
    try {
      next = printPageOnce(Dry, Top, Width, Height, ContentEnd);
    } catch (...) {
      PrintMeasureOnly = false;
      throw;
    }
    PrintMeasureOnly = false;
    if (!Canvas) {
      if (Trial) state.restore();
      return next;
    }
    state.restore();
    PrintDrawLimit = next;
  }
  const int next = printPageOnce(Canvas, Top, Width, Height, ContentEnd);
  PrintDrawLimit = 0x7FFFFFFF;
  if (Trial) state.restore();
  return next;
}

int ThtDocument::printPageOnce(TCanvas* Canvas, int Top, int Width, int Height, int* ContentEnd) {
  THtmlTable* table = PrintHeaderTable;
  int band = 0;
  if (table && table->TablePartRec->TablePart == 1) {
    TTablePartRec& rec = *table->TablePartRec;
    band = std::clamp(rec.PartHeight, 0, Height / 2);
    const TRect bandRect(0, 0, Width, band);
    clipped(Canvas, bandRect, [&] { table->DrawRowBand(Canvas, bandRect, 0, table->HeaderRowCount, 0); });
    rec.TablePart = 2;
  }

  // The content starts below the repeated header.
  const TRect content(0, band, Width, Height);
  SetScrollY(Top - band);
  clipped(Canvas, content, [&] { Draw(Canvas, content, Width, 0, 0, 0, 0); });
  const int room = Height - band;
  int next = PageBottom;
  if (next <= Top || next > Top + room) next = Top + room;
  int end = next - ScrollY;

  table = PrintHeaderTable;
  if (table && table->TablePartRec->TablePart == 5) {
    TTablePartRec& rec = *table->TablePartRec;
    // What was drawn below the last whole row belongs to the next page; the
    // footer takes its place.
    const TRect footRect(0, next - ScrollY, Width, Height);
    clipped(Canvas, footRect, [&] {
      const TColor paper = PrintPageBackground && BackgroundColor != clNone ? BackgroundColor : clWhite;
      htPaint::FillRect(Canvas, footRect, paper);
      table->DrawRowBand(Canvas, footRect, table->FootStartRow, table->Rows.Count(), footRect.Top);
    });
    end = std::min(Height, footRect.Top + rec.PartHeight);
    rec.TablePart = table->HeaderRowCount > 0 ? 1 : 4;
    rec.PartStart = table->LayoutTop;
    rec.PartHeight = table->HeaderHeight;
  }
  if (ContentEnd) *ContentEnd = end;
  return next;
}
