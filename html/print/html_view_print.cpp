// Printing the viewer's page: a copy of the document laid out for the
// printable width of the paper (in units of 1/(screen dpi x scale) inch),
// cut into pages where the lines allow, each drawn inside the margins.
#include <algorithm>
#include <cmath>
#include <memory>

#include "html/model/document.h"
#include "html/viewer/html_view.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/printer.h"

namespace {

// The page geometry of one job in the logical units the copy is laid out in.
struct PageGeometry {
  int Scale = 96;           // logical units per inch
  int PPIX = 96, PPIY = 96; // device pixels per inch
  int Left = 0, Top = 0;    // margins (logical)
  int Width = 0, Height = 0;  // printable area (logical)
};

PageGeometry geometryOf(TPrinter* P, double ScaleFactor, double ML, double MR, double MT, double MB) {
  PageGeometry g;
  HDC dc = P->Handle();
  g.PPIX = std::max(GetDeviceCaps(dc, LOGPIXELSX), 1);
  g.PPIY = std::max(GetDeviceCaps(dc, LOGPIXELSY), 1);
  g.Scale = std::max(1, int(std::lround(ScreenPixelsPerInch() * ScaleFactor)));
  const int pw = P->PageWidth(), ph = P->PageHeight();
  const int left = int(ML / 2.54 * g.PPIX), right = int(MR / 2.54 * g.PPIX);
  const int top = int(MT / 2.54 * g.PPIY), bottom = int(MB / 2.54 * g.PPIY);
  auto toLogicalX = [&](int v) { return int(std::int64_t(v) * g.Scale / g.PPIX); };
  auto toLogicalY = [&](int v) { return int(std::int64_t(v) * g.Scale / g.PPIY); };
  g.Left = toLogicalX(left);
  g.Top = toLogicalY(top);
  g.Width = std::max(toLogicalX(pw - left - right), 50);
  g.Height = std::max(toLogicalY(ph - top - bottom), 50);
  return g;
}

void setMapping(HDC dc, const PageGeometry& g) {
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, g.Scale, g.Scale, nullptr);
  SetViewportExtEx(dc, g.PPIX, g.PPIY, nullptr);
}

}  // namespace

// The copy is laid out on the printer's canvas and printed page by page,
// each page cut where the blocks put the page bottom, so that no line is
// split across two pages.
int THtmlView::printPages(TPrinter* P, int FromPage, int ToPage, bool Draw) {
  if (FViewerState.Contains(stProcessing) || FSectionList->Count() == 0) return 0;
  const PageGeometry g = geometryOf(P, FPrintScale, FPrintMarginLeft, FPrintMarginRight, FPrintMarginTop,
                                    FPrintMarginBottom);
  auto copy = std::make_unique<ThtDocument>(*FSectionList);
  copy->Printing = true;
  copy->SetScrollY(0);
  // The screen document must not be reloaded while its copy prints.
  FSectionList->Printing = true;
  struct Restore {
    THtmlView* V;
    ~Restore() {
      V->FSectionList->Printing = false;
      V->runPendingLoad();
    }
  } restore{this};

  // Counting needs no job: the printer's information context measures.
  TCanvas infoCanvas;
  TCanvas* canvas;
  if (P->Printing()) {
    canvas = P->Canvas();
  } else {
    infoCanvas.SetHandle(P->Handle());
    canvas = &infoCanvas;
  }
  struct Detach {
    TCanvas& C;
    ~Detach() { C.SetHandle(nullptr); }
  } detach{infoCanvas};
  HDC dc = canvas->Handle();
  setMapping(dc, g);
  int scrollWidth = 0, curs = 0;
  const int docHeight = copy->DoLogic(canvas, 0, g.Width, g.Height, 0, scrollWidth, curs);

  int pages = 0;
  int top = 0;
  while (top < docHeight && pages < ToPage) {
    ++pages;
    const bool shown = Draw && pages >= FromPage;
    if (shown && pages > FromPage) P->NewPage();
    setMapping(dc, g);
    // The page's content starts at the margins' corner. A page that is only
    // counted (or comes before FromPage) is drawn three page widths to the
    // right, where nothing of it reaches the paper.
    const int shift = shown ? 0 : 3 * g.Width;
    SetWindowOrgEx(dc, -g.Left - shift, -g.Top, nullptr);
    IntersectClipRect(dc, 0, 0, g.Width, g.Height);
    top = copy->PrintPage(canvas, top, g.Width, g.Height);
    SelectClipRgn(dc, nullptr);
    SetWindowOrgEx(dc, 0, 0, nullptr);
  }
  return pages;
}

void THtmlView::Print(int FromPage, int ToPage, TPrinter* APrinter) {
  FromPage = std::max(FromPage, 1);
  if (ToPage < FromPage) return;
  // A printer handed in keeps its job open for the caller; without one the
  // job is the viewer's own and ends here.
  TPrinter* P = APrinter ? APrinter : Printer();
  const bool ownJob = !APrinter;
  if (!P->Printing()) P->BeginDoc();
  int pages = 0;
  try {
    pages = printPages(P, FromPage, ToPage, true);
  } catch (...) {
    if (ownJob) P->Abort();
    throw;
  }
  if (!ownJob) return;  // the caller's job stays open
  if (pages < FromPage)
    P->Abort();
  else
    P->EndDoc();
}

int THtmlView::NumPrinterPages() {
  TPrinter* P = Printer();
  return printPages(P, 1, 0x7FFFFFFF, false);
}
