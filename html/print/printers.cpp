// The abstract printer and the printer that prints on the platform's
// printers (a system printer through the print system, or a PDF file).
#include "html/print/printers.h"

#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/printer.h"

ThtPrinter::ThtPrinter(TComponent* AOwner) : TComponent(AOwner) {}
ThtPrinter::~ThtPrinter() = default;

void ThtPrinter::Assign(const ThtPrinter& Source) {
  FOffsetX = Source.FOffsetX;
  FOffsetY = Source.FOffsetY;
  FPaperHeight = Source.FPaperHeight;
  FPaperWidth = Source.FPaperWidth;
  FPageHeight = Source.FPageHeight;
  FPageWidth = Source.FPageWidth;
  FPixelsPerInchX = Source.FPixelsPerInchX;
  FPixelsPerInchY = Source.FPixelsPerInchY;
}

void ThtPrinter::GetPrinterCapsOf(TPrinter* P) {
  if (!P || P->Printers().empty()) throw Exception("Printer not available");
  HDC dc = P->InfoHandle();
  FOffsetX = GetDeviceCaps(dc, PHYSICALOFFSETX);
  FOffsetY = GetDeviceCaps(dc, PHYSICALOFFSETY);
  FPaperHeight = GetDeviceCaps(dc, PHYSICALHEIGHT);
  FPaperWidth = GetDeviceCaps(dc, PHYSICALWIDTH);
  FPageHeight = GetDeviceCaps(dc, VERTRES);
  FPageWidth = GetDeviceCaps(dc, HORZRES);
  FPixelsPerInchX = GetDeviceCaps(dc, LOGPIXELSX);
  FPixelsPerInchY = GetDeviceCaps(dc, LOGPIXELSY);
}

void ThtPrinter::CheckPrinting(bool Value) const {
  if (Value && !FPrinting) throw EPrinter("Printer is not currently printing");
  if (!Value && FPrinting) throw EPrinter("Printing in progress");
}

// ---- the real printer ----------------------------------------------------------------

TViewPrinter::TViewPrinter() : TViewPrinter(Printer()) {}

TViewPrinter::TViewPrinter(TPrinter* APrinter) : ThtPrinter(nullptr), FPrinter(APrinter) {
  // The geometry is known before the job starts (the engine's callers and
  // the print dialog read it); a printer that cannot tell leaves it 0.
  try {
    GetPrinterCapsOf(FPrinter);
  } catch (const Exception&) {
  }
}

TViewPrinter::~TViewPrinter() {
  if (FPrinting) {
    try {
      EndDoc();
    } catch (...) {
    }
  }
}

std::unique_ptr<TViewPrinter> TViewPrinter::ToPdfFile(const String& FileName) {
  auto device = std::make_unique<TPrinter>();
  device->SetPrinterIndex(int(device->Printers().size()) - 1);  // the PDF writer
  device->SetOutputFileName(FileName);
  auto p = std::make_unique<TViewPrinter>(device.get());
  p->FOwnPrinter = std::move(device);
  return p;
}

TCanvas* TViewPrinter::GetCanvas() { return FPrinter->Canvas(); }

HDC TViewPrinter::MeasureHandle() { return FPrinter->InfoHandle(); }

void TViewPrinter::BeginDoc() {
  CheckPrinting(false);
  GetPrinterCapsOf(FPrinter);
  // The job's name: this printer's title, else what the device was given.
  if (!FTitle.empty()) FPrinter->SetTitle(FTitle.substr(0, 31));
  // A printer the caller handed in may already be printing: the engine
  // then adds its pages to that job.
  if (!FPrinter->Printing()) FPrinter->BeginDoc();
  FAborted = false;
  FPageNum = 1;
  FPrinting = true;
}

void TViewPrinter::NewPage() {
  CheckPrinting(true);
  FPrinter->NewPage();
  ++FPageNum;
}

void TViewPrinter::EndDoc() {
  CheckPrinting(true);
  FPrinting = false;
  FPageNum = 0;
  if (FPrinter->Printing()) {
    if (FAborted)
      FPrinter->Abort();
    else
      FPrinter->EndDoc();
  }
  FAborted = false;
}

void TViewPrinter::Abort() {
  CheckPrinting(true);
  FAborted = true;
  EndDoc();
  FAborted = true;
}
