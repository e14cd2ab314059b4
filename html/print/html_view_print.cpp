// Printing the viewer's page: a copy of the document laid out for the
// printable width of the paper (in units of 1/(screen dpi x scale) inch),
// cut into pages where the lines allow, and across the width when it is
// wider than the paper; backgrounds, margins, and the page headers and
// footers the owner draws or loads.
//
// While a job runs the viewer lets the program's messages through between
// pages so that its windows repaint and pictures keep moving, but without
// user input, and any load asked for meanwhile waits until the job ends:
// the page being printed (whose copy shares pictures and inline records
// with the shown page) stays as it was.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "html/images/image_draw.h"
#include "html/layout/layout_device.h"
#include "html/model/document.h"
#include "html/parse/html_common.h"
#include "html/parse/style_model.h"
#include "html/print/metafile_printer.h"
#include "html/print/printers.h"
#include "html/viewer/html_view.h"
#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/printer.h"
#include "platform/gui/forms.h"

namespace {

// A canvas over a device context it does not own.
struct BorrowedCanvas {
  explicit BorrowedCanvas(HDC DC) : Saved(SaveDC(DC)) { C.SetHandle(DC); }
  ~BorrowedCanvas() {
    HDC dc = C.Handle();
    C.SetHandle(nullptr);
    RestoreDC(dc, Saved);
  }
  TCanvas C;
  int Saved;
};

}  // namespace

// What one job needs between its steps; sizes are in logical units
// (1/Scale inch) unless named device.
struct THtmlView::PrintJob {
  ThtPrinter* P = nullptr;
  TCanvas* Canvas = nullptr;  // the paper (null while only counting)
  int Mode = 0;
  int PPIX = 96, PPIY = 96, Scale = 96;
  int Left = 0, Top = 0, Width = 0, Height = 0;  // margins and printable area
  int PageWidthL = 0, PageHeightL = 0;           // the whole printable page
  int BottomSpace = 0;                           // below the printable area
  bool Stop = false;
  // A handler of a header or footer may free the viewer: the job then
  // ends touching nothing of it.
  ThtEventToken Watch;
  bool ViewerGone() const { return Watch.Gone(); }

  int toLX(int v) const { return int(std::int64_t(v) * Scale / PPIX); }
  int toLY(int v) const { return int(std::int64_t(v) * Scale / PPIY); }
  void map(HDC dc) const {
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, Scale, Scale, nullptr);
    SetViewportExtEx(dc, PPIX, PPIY, nullptr);
  }
};

void THtmlView::Print(int FromPage, int ToPage, ThtPrinter* APrinter) {
  const ThtEventToken watch = watchEvents();
  bool stop = false;
  if (htRaiseEvent(FLife, OnPrinting, this, stop).Gone() || stop) return;
  if (APrinter) {
    printEngine(APrinter, FromPage, ToPage, 4);
  } else {
    TViewPrinter own;
    printEngine(&own, FromPage, ToPage, 3);
  }
  if (watch.Gone()) return;
  (void)htRaiseEvent(FLife, OnPrinted, this);
}

void THtmlView::Print(int FromPage, int ToPage, TPrinter* APrinter) {
  if (!APrinter) {
    Print(FromPage, ToPage, static_cast<ThtPrinter*>(nullptr));
    return;
  }
  TViewPrinter on(APrinter);
  Print(FromPage, ToPage, &on);
  on.LeaveJobOpen();
}

int THtmlView::NumPrinterPages() {
  double ratio;
  return NumPrinterPages(ratio);
}

int THtmlView::NumPrinterPages(double& WidthRatio) {
  TMetaFilePrinter counter(nullptr);
  counter.SetRecording(false);
  const ThtEventToken watch = watchEvents();
  PrintPreview(&counter, true, 1, 0x7FFFFFFF);
  if (watch.Gone()) return counter.LastAvailablePage();
  WidthRatio = FPrintWidthRatio;
  return counter.LastAvailablePage();
}

int THtmlView::PrintPreview(ThtPrinter* APrinter, bool CountOnly, int FromPage, int ToPage) {
  return printEngine(APrinter, FromPage, ToPage, CountOnly ? 1 : 2);
}

std::unique_ptr<THtmlView> THtmlView::CreateHeaderFooterViewer() {
  auto v = std::make_unique<THtmlView>(nullptr);
  v->SetVisible(false);
  v->SetBounds(0, 0, 600, 300);
  v->SetDefBackground(FBackground);
  v->SetDefFontName(FFontName);
  v->SetDefFontSize(FFontSize);
  v->SetDefFontColor(FFontColor);
  v->SetCharSet(FCharSet);
  v->SetMarginHeight(0);
  THtmlViewOptions o = v->HtOptions();
  o.Include(htPrintBackground);
  o.Include(htPrintTableBackground);
  v->SetHtOptions(o);
  return v;
}

void THtmlView::printPageBackground(TCanvas* Canvas, int Left, int Top, int Width, int Height, TColor Color) {
  HDC dc = Canvas->Handle();
  const TColor oldText = Canvas->Font()->Color();
  SetBkColor(dc, 0xFFFFFF);
  SetTextColor(dc, 0);
  Canvas->Brush()->SetColor(TColor(Color | PalRelative));
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->FillRect(TRect(Left, Top, Left + Width, Top + Height));
  ThtDocument* doc = FSectionList.get();
  TGraphic* image = doc->ImagesOn ? doc->BackgroundImage : nullptr;
  if (image && image->Width() > 0 && image->Height() > 0) {
    int xStart, yStart, xLast, yLast;
    CalcBackgroundLocationAndTiling(doc->BackgroundPos, 0, 0, -Left, -Top, image->Width(), image->Height(), Width,
                                    Height, xStart, yStart, xLast, yLast);
    const int iw = image->Width(), ih = image->Height();
    HDC c = Canvas->Handle();
    const int saved = SaveDC(c);
    IntersectClipRect(c, Left, Top, Left + Width, Top + Height);
    if (iw == 1 || ih == 1) {
      // A one-pixel strip fills the area in one go instead of a draw per pixel.
      Canvas->StretchDraw(TRect(Left + xStart, Top + yStart, Left + xLast + iw, Top + yLast + ih), image);
    } else {
      // The last tiles (those the edges cut) are drawn too, under the clip.
      for (int y = yStart; y <= yLast; y += ih)
        for (int x = xStart; x <= xLast; x += iw) {
          if (auto* bmp = dynamic_cast<TBitmap*>(image)) {
            if (doc->BackgroundMask)
              PrintTransparentBitmap3(Canvas, Left + x, Top + y, iw, ih, bmp, doc->BackgroundMask, 0, ih);
            else
              PrintBitmap(Canvas, Left + x, Top + y, iw, ih, bmp);
          } else {
            Canvas->Draw(Left + x, Top + y, image);
          }
        }
    }
    htPaint::RestoreCanvas(Canvas, saved);
  }
  Canvas->Font()->SetColor(oldText);
}

// An HTML header or footer: the handler loads its text into HF; a copy of
// that page is laid out at the band's width and drawn into the top margin
// (aligned to its bottom) or from the top of the bottom margin.
void THtmlView::printHTMLBand(PrintJob& Job, bool Header, THtmlView* HF, int Page, bool LastPage) {
  int XL = Job.Left, XR = XL + Job.Width;
  if (htRaiseEvent(FLife, Header ? OnPrintHTMLHeader : OnPrintHTMLFooter, this, HF, Page, LastPage, XL, XR,
                   Job.Stop)
          .Gone()) {
    Job.Stop = true;
    return;
  }
  if (XR <= XL || !HF->FSectionList || HF->FSectionList->Count() == 0) return;
  auto copy = std::make_unique<ThtDocument>(*HF->FSectionList);
  copy->Printing = true;
  copy->PrintBlockBackgrounds = true;
  copy->PrintPageBackground = true;
  copy->SetScrollY(0);
  TCanvas* canvas = Job.Canvas;
  HDC dc = canvas->Handle();
  int sw = 0, curs = 0;
  const int h = copy->DoLogic(canvas, 0, XR - XL, 300, 0, sw, curs);
  const int band = Header ? Job.Top : std::min(h, Job.BottomSpace);
  if (band <= 0) return;
  const int saved = SaveDC(dc);
  // The band's origin: at the top of the top margin, or at the bottom of
  // the printable area.
  const int bandTop = Header ? 0 : Job.Top + Job.Height;
  SetWindowOrgEx(dc, -XL, -bandTop, nullptr);
  const TColor bg = HF->FSectionList->BackgroundColor != clNone ? HF->FSectionList->BackgroundColor : HF->FBackground;
  HF->printPageBackground(canvas, 0, 0, XR - XL, band, bg);
  IntersectClipRect(dc, 0, 0, XR - XL, band);
  // A header sits on its band's bottom, a footer hangs from its band's top.
  copy->SetScrollY(Header ? h - band : 0);
  copy->Draw(canvas, TRect(0, 0, XR - XL, band), XR - XL, 0, 0, 0, 0);
  htPaint::RestoreCanvas(canvas, saved);
}

namespace {

// Whether anything of the page starting at document Y Top would show: it
// is drawn, at a quarter of its size, on a white bitmap.
bool pageHasInk(ThtDocument& Copy, int Top, int Width, int Height) {
  TBitmap probe;
  probe.SetPixelFormat(pf32bit);
  probe.SetSize(Width / 4 + 1, Height / 4 + 1);
  TCanvas* c = probe.Canvas();
  c->Brush()->SetColor(clWhite);
  c->FillRect(TRect(0, 0, probe.Width(), probe.Height()));
  HDC dc = c->Handle();
  const int saved = SaveDC(dc);
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 4, 4, nullptr);
  SetViewportExtEx(dc, 1, 1, nullptr);
  Copy.PrintTrial = true;
  try {
    Copy.PrintPage(c, Top, Width, Height, nullptr, nullptr, true);
  } catch (...) {
    Copy.PrintTrial = false;
    RestoreDC(dc, saved);
    throw;
  }
  Copy.PrintTrial = false;
  RestoreDC(dc, saved);
  for (int y = 0; y < probe.Height(); ++y) {
    const auto* row = static_cast<const std::uint32_t*>(probe.ScanLine(y));
    for (int x = 0; x < probe.Width(); ++x)
      if ((row[x] & 0xFFFFFF) != 0xFFFFFF) return true;
  }
  return false;
}

}  // namespace

int THtmlView::printEngine(ThtPrinter* P, int FromPage, int ToPage, int Mode) {
  if (!P) throw EIllegalArgument(u"No printer to print or preview to.");
  auto* recorder = dynamic_cast<TMetaFilePrinter*>(P);
  if (Mode == 0) Mode = recorder ? 2 : 4;
  if (Mode == 1 && !recorder)
    throw EIllegalArgument(u"Getting the total number of pages to print requires a printer based on "
                           u"TMetaFilePrinter but not a " + UTF8ToUTF16(P->ClassName()));
  if (Mode == 2 && !recorder)
    throw EIllegalArgument(u"Previewing a print requires a printer based on TMetaFilePrinter but not a " +
                           UTF8ToUTF16(P->ClassName()));
  FromPage = std::max(FromPage, 1);
  FPrintedPage = 0;
  // Declared first, so that it outlives the print copy and what the
  // copy shares with the shown page.
  PrintJob job;
  job.Watch = watchEvents();
  if (FViewerState.Contains(stProcessing) || !documentHasContent() || ToPage < FromPage) {
    // Nothing to print: a job of the viewer's own leaves nothing behind.
    return 0;
  }
  // A printer that does not record pages only counts them, whatever asked.
  const bool countOnly = Mode == 1 || (recorder && !recorder->Recording());

  // Loads asked for by handlers or messages while the job runs wait for
  // its end (the copy shares the shown page's pictures and inline records).
  ++FPrintDepth;
  struct DepthGuard {
    THtmlView* V;
    const PrintJob& Job;
    ~DepthGuard() {
      if (Job.ViewerGone()) return;
      if (--V->FPrintDepth == 0) V->runPendingLoad();
    }
  } depthGuard{this, job};

  auto copy = std::make_unique<ThtDocument>(*FSectionList);
  copy->Printing = true;
  copy->SetScrollY(0);
  copy->PrintBlockBackgrounds = FOptions.Contains(htPrintTableBackground);
  copy->PrintPageBackground = FOptions.Contains(htPrintBackground);
  copy->PrintMonoBlack = FOptions.Contains(htPrintMonochromeBlack);

  // Between page rows the program's windows repaint and its timers run
  // (no more often than a screen refreshes, counted from the job's start:
  // a pump costs more than a page that is only counted, and a short job
  // needs none). A message handled there (a posted form submit, a timer)
  // may free the viewer: the job then unwinds, touching nothing of it.
  auto lastPump = std::chrono::steady_clock::now();
  auto letMessagesThrough = [&] {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump < std::chrono::milliseconds(15)) return;
    Application->ProcessMessagesWithoutInput();
    job.Watch.UnwindIfGone();
    lastPump = std::chrono::steady_clock::now();
  };

  job.P = P;
  job.Mode = Mode;
  const bool startedHere = !P->Printing();
  // However the job ends (a handler's stop, an exception), the printer is
  // left with no half page pending: a job of the viewer's own, a count and
  // a preview are ended (or aborted); the caller's job stays open.
  int printed = 0;  // the last page made
  auto finishJob = [&](bool failed) {
    if (!P->Printing()) return;
    if (Mode == 4) {
      if (failed && startedHere) P->Abort();
      return;
    }
    if (Mode == 3 && (failed || printed < FromPage))
      P->Abort();
    else
      P->EndDoc();
  };
  try {
    // The printer tells its owner of each page begun, whose handler may
    // free the viewer.
    if (startedHere)
      P->BeginDoc();
    else
      P->NewPage();
    job.Watch.UnwindIfGone();
    job.PPIX = std::max(P->PixelsPerInchX(), 1);
    job.PPIY = std::max(P->PixelsPerInchY(), 1);
    job.Scale = std::max(1, int(std::lround(ScreenPixelsPerInch() * FPrintScale)));
    TCanvas* paper = nullptr;  // taken once a page is printed on it
    BorrowedCanvas dry(P->MeasureHandle());
    job.map(dry.C.Handle());

    // Margins in device pixels, less what the printer cannot print anyway.
    const int stripL = std::max(P->OffsetX(), 0), stripT = std::max(P->OffsetY(), 0);
    const int stripR = std::max(P->PaperWidth() - P->PageWidth() - P->OffsetX(), 0);
    const int stripB = std::max(P->PaperHeight() - P->PageHeight() - P->OffsetY(), 0);
    const int left = std::max(int(FPrintMarginLeft / 2.54 * job.PPIX) - stripL, 0);
    const int right = std::max(int(FPrintMarginRight / 2.54 * job.PPIX) - stripR, 0);
    const int bottom = std::max(int(FPrintMarginBottom / 2.54 * job.PPIY) - stripB, 0);
    auto geometry = [&] {
      const int top = std::max(int(FPrintMarginTop / 2.54 * job.PPIY) - stripT, 0);
      job.Left = job.toLX(left);
      job.Top = job.toLY(top);
      job.Width = std::max(job.toLX(P->PageWidth() - left - right), 50);
      job.Height = std::max(job.toLY(P->PageHeight() - top - bottom), 50);
      job.PageWidthL = job.toLX(P->PageWidth());
      job.PageHeightL = job.toLY(P->PageHeight());
      job.BottomSpace = std::max(job.PageHeightL - job.Top - job.Height, 0);
    };
    geometry();
    double marginTopSeen = FPrintMarginTop;

    int scrollWidth = 0, curs = 0;
    const int docHeight = copy->DoLogic(&dry.C, 0, job.Width, job.Height, 0, scrollWidth, curs);
    const int widest = std::max(scrollWidth, job.Width);
    if (Mode == 1 || Mode == 2) {
      FPrintWidestLine = widest;
      FPrintDocHeight = docHeight;
      FPrintWidthRatio = double(widest) / job.Width;
    }
    letMessagesThrough();

    std::unique_ptr<THtmlView> headerViewer, footerViewer;
    if (!countOnly && OnPrintHTMLHeader) headerViewer = CreateHeaderFooterViewer();
    if (!countOnly && OnPrintHTMLFooter) footerViewer = CreateHeaderFooterViewer();

    const int hPages = std::clamp((widest + job.Width - 1) / job.Width, 1, std::max(FPrintMaxHPages, 1));
    const TColor pageColor = copy->BackgroundColor != clNone ? copy->BackgroundColor : FBackground;
    const int contentEndDoc = docHeight - FMarginHeight;
    int pageTop = 0;
    int page = 1;
    bool paperUsed = false;  // the current sheet holds a printed page
    while (page <= ToPage && !job.Stop) {
      // What is left may be only space (margins below the last line, or an
      // empty body): it makes no page of its own.
      if (docHeight - pageTop <= job.Height) {
        if (!pageHasInk(*copy, pageTop, widest, job.Height)) break;
      }
      int next = pageTop;
      for (int h = 0; h < hPages && page <= ToPage && !job.Stop; ++h, ++page) {
        const bool shown = page >= FromPage;
        int contentEnd = job.Height;
        if (!shown || countOnly) {
          next = copy->PrintPage(nullptr, pageTop, widest, job.Height, &dry.C, &contentEnd, false, h > 0);
          if (!shown) continue;
        }
        if (paperUsed) {
          P->NewPage();
          job.Watch.UnwindIfGone();
        }
        paperUsed = true;
        printed = FPrintedPage = page;
        paper = P->GetCanvas();
        if (recorder && recorder->StopRequested()) job.Stop = true;
        if (countOnly) continue;
        job.Canvas = paper;
        TCanvas* c = paper;
        HDC dc = c->Handle();
        // The content's origin is the printable area's corner, moved left
        // by the slices before this one.
        const int originX = h * job.Width;
        auto place = [&](int OrgX, int OrgY) {
          job.map(dc);
          SetWindowOrgEx(dc, OrgX, OrgY, nullptr);
        };
        int saved = SaveDC(dc);
        place(-job.Left + originX, -job.Top);
        if (FOptions.Contains(htPrintBackground))
          printPageBackground(c, originX, 0, job.Width, job.Height, pageColor);
        IntersectClipRect(dc, originX, 0, std::min(originX + job.Width + 2, originX - job.Left + job.PageWidthL),
                          std::min(job.Height, job.PageHeightL - job.Top));
        next = copy->PrintPage(c, pageTop, widest, job.Height, &dry.C, &contentEnd, false, h > 0);
        htPaint::RestoreCanvas(c, saved);

        // Nothing of the page is left in the margins or below its end.
        saved = SaveDC(dc);
        place(-job.Left + originX, -job.Top);
        c->Brush()->SetColor(clWhite);
        c->Brush()->SetStyle(bsSolid);
        c->Pen()->SetColor(clWhite);
        const int l = originX - job.Left, r = l + job.PageWidthL + 1;
        c->FillRect(TRect(l, -job.Top, r, 0));
        if (contentEnd < job.Height) {
          if (FOptions.Contains(htPrintBackground))
            printPageBackground(c, originX, contentEnd, job.Width, job.Height - contentEnd, pageColor);
          else
            c->FillRect(TRect(originX, contentEnd, originX + job.Width + 2, job.Height));
        }
        c->Brush()->SetColor(clWhite);
        c->FillRect(TRect(l, job.Height, r, job.PageHeightL - job.Top + 1));
        c->FillRect(TRect(l, 0, originX, job.Height));
        c->FillRect(TRect(originX + job.Width, 0, r, job.Height));
        htPaint::RestoreCanvas(c, saved);

        // The owner's headers and footers: a plain one drawn on the paper
        // (W x H is the band: the page's width and the margin's height), an
        // HTML one loaded into a viewer of its own.
        const bool lastPage = next >= contentEndDoc;
        saved = SaveDC(dc);
        // Each handler may free the viewer: the job then ends at once.
        auto ended = [&] {
          if (!job.ViewerGone()) return false;
          job.Stop = true;
          return true;
        };
        if (OnPrintHeader && !job.Stop) {
          place(0, 0);
          (void)htRaiseEvent(FLife, OnPrintHeader, this, c, page, job.PageWidthL, job.Top, job.Stop);
        }
        if (!ended() && OnPrintFooter && !job.Stop) {
          place(0, -(job.Top + job.Height));
          (void)htRaiseEvent(FLife, OnPrintFooter, this, c, page, job.PageWidthL, job.BottomSpace, job.Stop);
        }
        if (!ended() && headerViewer && !job.Stop) {
          place(0, 0);
          printHTMLBand(job, true, headerViewer.get(), page, lastPage);
        }
        if (!ended() && footerViewer && !job.Stop) {
          place(0, 0);
          printHTMLBand(job, false, footerViewer.get(), page, lastPage);
        }
        htPaint::RestoreCanvas(c, saved);
        if (ended()) break;
        if (FPrintMarginTop != marginTopSeen) {
          marginTopSeen = FPrintMarginTop;
          geometry();
        }
      }
      if (job.ViewerGone()) break;
      letMessagesThrough();
      // Done when the content is printed, or when the page did not get
      // further (nothing more can be placed).
      if (next >= contentEndDoc || next <= pageTop) break;
      pageTop = next;
    }
  } catch (...) {
    try {
      finishJob(true);
    } catch (...) {
    }
    // A handler that freed the viewer ended the job where it was (the
    // copy's pictures and panels unwind with EhtViewerGone).
    if (job.ViewerGone()) return printed;
    throw;
  }
  finishJob(false);
  return printed;
}
