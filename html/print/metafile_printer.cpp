// Pages recorded in memory, one metafile each, with the geometry of the
// program's printer.
#include "html/print/metafile_printer.h"

#include "platform/graphics/canvas.h"
#include "platform/graphics/font.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/printer.h"

TMetaFilePrinter::TMetaFilePrinter(TComponent* AOwner) : ThtPrinter(AOwner) {}

TMetaFilePrinter::~TMetaFilePrinter() { freeCanvas(); }

void TMetaFilePrinter::freeCanvas() {
  // Freeing the canvas completes its metafile.
  FCanvas.reset();
}

TMetafile* TMetaFilePrinter::MetaFile(int Index) const {
  if (Index < 0 || Index >= int(FPages.size())) return nullptr;
  return FPages[size_t(Index)].get();
}

HDC TMetaFilePrinter::MeasureHandle() { return Printer()->InfoHandle(); }

void TMetaFilePrinter::BeginDoc() {
  FPrinting = true;
  FStopRequested = false;
  freeCanvas();
  FPages.clear();
  FPageCount = 0;
  GetPrinterCapsOf(Printer());
  NewPage();
}

void TMetaFilePrinter::NewPage() {
  CheckPrinting(true);
  ++FPageCount;
  FCanvasHandedOut = false;
  if (!FRecording) {
    tellPageBegun();
    return;
  }
  FPages.push_back(std::make_unique<TMetafile>());
  TMetafile* page = FPages.back().get();
  page->SetWidth(FPaperWidth);
  page->SetHeight(FPaperHeight);
  auto canvas = std::make_unique<TMetafileCanvas>(page, Printer()->InfoHandle());
  canvas->Brush()->SetColor(clWhite);
  canvas->Pen()->SetColor(clWhite);
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Rectangle(0, 0, FPaperWidth, FPaperHeight);
  // A page is the whole sheet; what is drawn on it starts, as on the
  // printer, at the corner of the printable area.
  SetViewportOrgEx(canvas->Handle(), FOffsetX, FOffsetY, nullptr);
  if (FPages.size() == 1) {
    canvas->Font()->SetPixelsPerInch(ScreenPixelsPerInch());
    canvas->Font()->SetName(u"Arial");
    canvas->Font()->SetSize(10);
    canvas->Brush()->SetStyle(bsClear);
  }
  freeCanvas();
  FCanvas = std::move(canvas);
  tellPageBegun();
}

void TMetaFilePrinter::tellPageBegun() {
  if (!OnPageEvent) return;
  bool stop = false;
  OnPageEvent(this, FPageCount, stop);
  if (stop) FStopRequested = true;
}

TCanvas* TMetaFilePrinter::GetCanvas() {
  FCanvasHandedOut = true;
  return FCanvas.get();
}

void TMetaFilePrinter::EndDoc() {
  FPrinting = false;
  const bool unused = FPageCount > 0 && !FCanvasHandedOut;
  freeCanvas();
  // A page begun and never drawn on is no page.
  if (unused) {
    --FPageCount;
    if (FRecording && !FPages.empty()) FPages.pop_back();
  }
}

void TMetaFilePrinter::Abort() {
  FPrinting = false;
  freeCanvas();
  FPages.clear();
  FPageCount = 0;
}
