// Table painting (rows, cell backgrounds, clipped content, borders, page
// breaks between rows) and the table's answers to position queries.
#include <algorithm>

#include "html/paint/block_paint.h"
#include "html/paint/borders.h"
#include "html/model/document.h"
#include "html/images/image_object.h"
#include "html/layout/layout_device.h"
#include "html/model/table.h"
#include "html/model/viewer_base.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

struct TableNesting {
  ThtDocument* D;
  explicit TableNesting(ThtDocument* d) : D(d) {
    if (D) ++D->TableNesting;
  }
  ~TableNesting() {
    if (D) --D->TableNesting;
  }
};

TBorderStyleType styleOf(const TCellObj& c, int side) {
  const int32_t v = c.BorderStyle(side);
  return v >= 0 && v <= 8 ? TBorderStyleType(v) : bssNone;
}

TColor colorOf(const TCellObj& c, int side) {
  const int32_t v = c.BorderColor(side);
  return v == clNone || v == NotSetValue || v == AutoValue ? TColor(0xC0C0C0) : TColor(v);
}

}  // namespace

void THtmlTable::DrawCell(TCanvas* Canvas, TCellObj* Cell, const TRect& ARect, int X, int Y) {
  ThtDocument* doc = Document;
  const int yOff = doc->ScrollY;
  const TRect box(X + CellSpacing, Y + CellSpacing - yOff, X + Cell->Width, Y + Cell->Height - yOff);
  const auto& bw = Cell->BorderWidths();  // left, top, right, bottom
  const auto& pd = Cell->Paddings();
  const TRect padBox(box.Left + bw[0], box.Top + bw[1], box.Right - bw[2], box.Bottom - bw[3]);
  const bool printBg = !doc->Printing || doc->PrintBlockBackgrounds || !doc->IsCopy;
  if (Cell->BkGnd() && printBg) {
    TRect fill = box;
    if (!Cell->HasBorderStyle()) {
      // The colour runs one pixel under each side that has a border.
      if (bw[0] > 0) --fill.Left;
      if (bw[1] > 0) --fill.Top;
      if (bw[2] > 0) ++fill.Right;
      if (bw[3] > 0) ++fill.Bottom;
    }
    TRect visible;
    if (IntersectRect(visible, fill, TRect(fill.Left, ARect.Top - 2, fill.Right, ARect.Bottom + 2)))
      htPaint::FillRect(Canvas, visible, Cell->BkColor());
  }
  const TImageObj* image = Cell->BGImage();
  if (image && Cell->BGImageOK() && doc->ImagesOn && image->Image && image->Image != DefBitmap() &&
      image->Image != ErrorBitmap())
    PaintTiledBackground(Canvas, image->Image, Cell->BackgroundPos(), padBox, ARect);

  const bool inBand = box.Top < ARect.Bottom + 200 && box.Bottom > ARect.Top - 200;
  Cell->SetCellRect(box);
  if (inBand && Cell->Count() > 0) {
    const TRect content(padBox.Left + pd[0], padBox.Top + pd[1], padBox.Right - pd[2], padBox.Bottom - pd[3]);
    HRGN rgn = nullptr, save = nullptr;
    GetClippingRgn(Canvas, TRect(content.Left, content.Top, content.Right, content.Bottom), doc->Printing, rgn, save);
    try {
      Cell->Draw(Canvas, ARect, Cell->Width - Cell->HzSpace() - CellSpacing, content.Left, content.Top + yOff, 0, 0);
    } catch (const Exception&) {
      // A cell that cannot paint leaves the rest of the table painted.
    }
    // The clip goes back whatever happened inside.
    RestoreClipping(Canvas, rgn, save);
  }
  if (inBand && (Cell->Count() > 0 || Cell->ShowEmptyCells())) {
    htBorderStyleArray styles;
    htColorArray colors;
    if (Cell->HasBorderStyle()) {
      styles = {styleOf(*Cell, 0), styleOf(*Cell, 1), styleOf(*Cell, 2), styleOf(*Cell, 3)};
      colors = {colorOf(*Cell, 0), colorOf(*Cell, 1), colorOf(*Cell, 2), colorOf(*Cell, 3)};
    } else if (BorderWidth > 0) {
      // The frame of a bordered table's cells is sunken.
      const TColor light = BorderColor != clNone ? BorderColor : BorderColorLight;
      const TColor dark = BorderColor != clNone ? BorderColor : BorderColorDark;
      styles = {bssSolid, bssSolid, bssSolid, bssSolid};
      colors = {dark, dark, light, light};
    } else {
      return;
    }
    DrawBorder(Canvas, box, padBox, doc->Printing, clNone, styles, colors);
  }
}

int THtmlTable::DrawRow(TCanvas* Canvas, TCellList* Row, const TRect& ARect, int X, int Y) {
  ThtDocument* doc = Document;
  const int half = CellSpacing / 2;
  const int screenY = Y - doc->ScrollY;
  const int next = Y + Row->RowHeight;
  if (doc->Printing) {
    const bool atTop = screenY <= ARect.Top;
    const int pageHeight = ARect.Height();
    const int pageTop = ARect.Top + doc->ScrollY;
    // Page ends are only ever moved up, and never to or above the page's
    // own top: a row taller than a page is printed and cut.
    auto lower = [&](int v) {
      if (v > pageTop && v < doc->PageBottom) {
        doc->PageBottom = v;
        doc->PageBreakFlag = true;
        return true;
      }
      return false;
    };
    if (Row->BreakBefore && !atTop) {
      if (lower(Y + half)) return next;
    } else if (Row->BreakInside && !atTop && Y + Row->RowSpanHeight > doc->PageBottom && pageHeight > Row->RowSpanHeight) {
      if (lower(Y)) return next;
    } else if (Row->BreakInside && !atTop && Y + Row->RowHeight > doc->PageBottom && pageHeight > Row->RowHeight) {
      if (lower(Y + half)) return next;
    } else if (Row->BreakAfter && !Row->BreakInside && pageTop < Y + Row->RowHeight &&
               Y + Row->RowHeight + half < doc->PageBottom) {
      lower(Y + Row->RowHeight + half);
    }
    if (Row->RowSpanHeight <= 100 && Y < doc->PageBottom && Y + Row->RowSpanHeight > doc->PageBottom) {
      if (lower(Y)) return next;
    }
  }
  if (screenY + Row->RowSpanHeight >= ARect.Top && screenY < ARect.Bottom && (!doc->Printing || Y < doc->PageBottom))
    DrawCells(Canvas, Row, ARect, X, Y);
  return next;
}

void THtmlTable::DrawCells(TCanvas* Canvas, TCellList* Row, const TRect& ARect, int X, int Y) {
  int x = X;
  for (int c = 0; c < Row->Count(); ++c) {
    TCellObj* cell = Row->Items(c);
    if (cell && cell->ColSpan >= 1 && cell->RowSpan >= 1) DrawCell(Canvas, cell, ARect, x, Y);
    if (c < int(Widths.size())) x += Widths[size_t(c)];
  }
}

void THtmlTable::DrawRows(TCanvas* Canvas, const TRect& ARect, int X) {
  int y = LayoutTop;
  for (int r = 0; r < Rows.Count(); ++r) y = DrawRow(Canvas, Rows[r], ARect, X, y);
}

bool THtmlTable::PagedPrinting(const TRect& ARect) const {
  const ThtDocument* doc = Document;
  if (!doc->Printing || doc->TableNesting != 1 || !HasHeaderOrFooter || doc->PageBottom <= LayoutTop) return false;
  if (doc->PrintHeaderTable) return doc->PrintHeaderTable == this;
  // Paging starts on the page where the table starts.
  return LayoutTop >= ARect.Top + doc->ScrollY;
}

void THtmlTable::DrawPaged(TCanvas* Canvas, const TRect& ARect, int X) {
  ThtDocument* doc = Document;
  TTablePartRec& rec = *TablePartRec;
  const int pageTop = ARect.Top + doc->ScrollY;
  const int bottomSpace = BorderWidth;
  const int cs1 = CellSpacing < 2 ? 1 : CellSpacing;
  if (LayoutTop + Height + bottomSpace <= doc->PageBottom) {
    // The rest fits on this page, the table's own footer rows with it.
    DrawRows(Canvas, ARect, X);
    rec = TTablePartRec{};
    doc->PrintHeaderTable = nullptr;
    return;
  }
  const int footReserve = FootHeight > 0 ? FootHeight + cs1 + bottomSpace : 0;
  if (doc->PrintHeaderTable != this) {
    // Header rows are repeated only when they are the table's first rows
    // and, with the footer, leave at least half of a page to the body;
    // otherwise the table prints as any other.
    bool headFirst = true;
    for (int r = 0; r < HeaderRowCount && headFirst; ++r) headFirst = r < Rows.Count() && Rows[r]->RowType == 0;
    if (!headFirst || HeaderRowCount >= Rows.Count() || HeaderHeight + footReserve > ARect.Height() / 2) {
      DrawRows(Canvas, ARect, X);
      return;
    }
    // A table that cannot show its header, first body row and footer
    // here starts on the next page.
    const int least = HeaderHeight + Rows[HeaderRowCount]->RowHeight + footReserve;
    if (LayoutTop > pageTop && LayoutTop + least > doc->PageBottom && least < ARect.Height()) {
      doc->PageBottom = LayoutTop;
      doc->PageBreakFlag = true;
      return;
    }
    doc->PrintHeaderTable = this;
  }
  // The body runs on past this page: room is kept at the page's end for
  // the footer rows, which follow the last body row printed here.
  const bool footHere = footReserve > 0 && doc->PageBottom - footReserve > pageTop;
  if (footHere) doc->PageBottom -= footReserve;
  DrawRows(Canvas, ARect, X);
  if (footHere) {
    rec.TablePart = 5;
    rec.PartStart = LayoutTop + FootOffset;
    rec.PartHeight = FootHeight;
    rec.FootHeight = footReserve;
  } else {
    rec.TablePart = HeaderRowCount > 0 ? 1 : 4;
    rec.PartStart = LayoutTop;
    rec.PartHeight = HeaderHeight;
    rec.FootHeight = 0;
  }
}

void THtmlTable::DrawRowBand(TCanvas* Canvas, const TRect& ARect, int First, int Last, int PageY) {
  ThtDocument* doc = Document;
  if (!doc || First < 0 || Last > Rows.Count() || First >= Last) return;
  int y = LayoutTop;
  for (int r = 0; r < First; ++r) y += Rows[r]->RowHeight;
  // The rows are drawn as if the page had been scrolled to them; the page
  // state of the content drawn around the band is left as it was.
  // The limit the page's trial run found is the content's: the footer rows
  // lie further down the table than the page they close.
  const int scrollY = doc->ScrollY, pageBottom = doc->PageBottom, drawLimit = doc->PrintDrawLimit;
  const bool breakFlag = doc->PageBreakFlag, firstOnPage = doc->FirstOnPage;
  doc->ScrollY = y - PageY;
  doc->PageBottom = doc->ScrollY + ARect.Bottom;
  doc->PrintDrawLimit = 0x7FFFFFFF;
  {
    TableNesting nesting(doc);
    for (int r = First; r < Last; ++r) {
      DrawCells(Canvas, Rows[r], ARect, DrawLeft, y);
      y += Rows[r]->RowHeight;
    }
  }
  doc->ScrollY = scrollY;
  doc->PageBottom = pageBottom;
  doc->PrintDrawLimit = drawLimit;
  doc->PageBreakFlag = breakFlag;
  doc->FirstOnPage = firstOnPage;
}

int THtmlTable::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* /*IMgr*/, int X, int /*XRef*/, int /*YRef*/) {
  const int result = LayoutTop + Height;
  if (!Document) return result;
  TableNesting nesting(Document);
  DrawLeft = X;
  const int top = LayoutTop - Document->ScrollY;
  if (!Document->Printing && (top + PaintHeight < ARect.Top || top >= ARect.Bottom)) return result;
  if (PagedPrinting(ARect))
    DrawPaged(Canvas, ARect, X);
  else
    DrawRows(Canvas, ARect, X);
  return result;
}

// ---- queries ----

TCellObj* THtmlTable::CellAt(int X, int Y) {
  if (Y < LayoutTop || Y >= LayoutTop + Height || X < DrawLeft || X >= DrawLeft + TableWidth) return nullptr;
  int y = LayoutTop;
  for (int r = 0; r < Rows.Count(); ++r) {
    TCellList* row = Rows[r];
    int x = DrawLeft;
    for (int c = 0; c < row->Count(); ++c) {
      TCellObj* cell = row->Items(c);
      if (cell && cell->ColSpan > 0 && cell->RowSpan > 0 && X >= x && X < x + cell->Width && Y >= y &&
          Y < y + cell->Height)
        return cell;
      if (c < int(Widths.size())) x += Widths[size_t(c)];
    }
    y += row->RowHeight;
  }
  return nullptr;
}

uint8_t THtmlTable::GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                           TFormControlObj*& FormControl, String& ATitle) {
  UrlTarg.reset();
  FormControl = nullptr;
  ATitle.clear();
  TCellObj* cell = CellAt(X, Y);
  return cell ? cell->GetURL(Canvas, X, Y, UrlTarg, FormControl, ATitle) : 0;
}

bool THtmlTable::PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY) {
  TCellObj* cell = CellAt(X, Y);
  return cell && cell->PtInObject(X, Y, Obj, IX, IY);
}

int THtmlTable::FindCursor(TCanvas* Canvas, int X, int Y, int& XR, int& YR, int& CaretHt, bool& Intext) {
  TCellObj* cell = CellAt(X, Y);
  return cell ? cell->FindCursor(Canvas, X, Y, XR, YR, CaretHt, Intext) : -1;
}

template <typename F>
void THtmlTable::ForEachCell(bool Backwards, F&& Fn) {
  // Walked in place: a search must not cost a list of every cell.
  auto visit = [&](TCellObj* cell) { return cell && cell->ColSpan > 0 && cell->RowSpan > 0 && Fn(cell); };
  const int rowCount = Rows.Count();
  for (int k = 0; k < rowCount; ++k) {
    TCellList* row = Rows[Backwards ? rowCount - 1 - k : k];
    const int n = row->Count();
    for (int c = 0; c < n; ++c)
      if (visit(row->Items(Backwards ? n - 1 - c : c))) return;
  }
}

bool THtmlTable::CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) {
  if (Length < 1 || Cursor < StartPos || Cursor > StartPos + Length - 1) return false;
  bool found = false;
  ForEachCell(false, [&](TCellObj* c) { return found = c->CursorToXY(Canvas, Cursor, X, Y); });
  return found;
}

int THtmlTable::FindDocPos(int SourcePos, bool Prev) {
  int result = -1;
  ForEachCell(Prev, [&](TCellObj* c) { return (result = c->FindDocPos(SourcePos, Prev)) >= 0; });
  return result;
}

int THtmlTable::FindSourcePos(int DocPos) {
  int result = -1;
  ForEachCell(false, [&](TCellObj* c) { return (result = c->FindSourcePos(DocPos)) >= 0; });
  return result;
}

int THtmlTable::FindString(int From, const String& ToFind, bool MatchCase) {
  int result = -1;
  ForEachCell(false, [&](TCellObj* c) { return (result = c->FindString(From, ToFind, MatchCase)) >= 0; });
  return result;
}

int THtmlTable::FindStringR(int From, const String& ToFind, bool MatchCase) {
  int result = -1;
  ForEachCell(true, [&](TCellObj* c) { return (result = c->FindStringR(From, ToFind, MatchCase)) >= 0; });
  return result;
}

bool THtmlTable::GetChAtPos(int Pos, char16_t& Ch, TObject*& Obj) {
  if (Length < 1 || Pos < StartPos || Pos > StartPos + Length - 1) return false;
  bool found = false;
  ForEachCell(false, [&](TCellObj* c) { return found = c->GetChAtPos(Pos, Ch, Obj); });
  return found;
}

void THtmlTable::AddSectionsToList() {
  TSectionBase::AddSectionsToList();
  if (!Document || !Document->ListingCellSections) return;
  ForEachCell(false, [](TCellObj* c) {
    c->AddSectionsToList();
    return false;
  });
}

void THtmlTable::CopyToClipboard() {
  ForEachCell(false, [&](TCellObj* c) {
    c->CopyToClipboard();
    return false;
  });
}
