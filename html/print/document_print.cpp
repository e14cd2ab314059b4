// One printed page of a laid-out print copy. A long table with header
// rows (THEAD) gets them again at the top of every page it runs on to, and
// one with footer rows (TFOOT) gets them below its last row on every page
// it leaves; the body rows in between are each printed once.
#include <algorithm>

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
  RestoreDC(dc, saved);
}

}  // namespace

int ThtDocument::PrintPage(TCanvas* Canvas, int Top, int Width, int Height) {
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
    rec.TablePart = table->HeaderRowCount > 0 ? 1 : 4;
    rec.PartStart = table->LayoutTop;
    rec.PartHeight = table->HeaderHeight;
  }
  return next;
}
