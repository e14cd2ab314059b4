#pragma once
// The printer object: page geometry, a canvas per page, and a print job
// over the system's printers; with no printer set up (or with the "PDF"
// entry selected) the job is written to a PDF file.
#include <memory>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/types.h"
#include "platform/graphics/canvas.h"

enum TPrinterOrientation { poPortrait, poLandscape };

class TPrinter : public TObject {
public:
  TPrinter();
  ~TPrinter() override;

  // Names of the system's printers, followed by "PDF".
  const std::vector<String>& Printers();
  int PrinterIndex();
  // -1 selects the default printer (the PDF writer when there is none).
  void SetPrinterIndex(int value);
  const String& Title() const { return FTitle; }
  void SetTitle(const String& value) { FTitle = value; }
  // Where the PDF writer puts the document (a temporary file when empty).
  const String& OutputFileName() const { return FOutputFileName; }
  void SetOutputFileName(const String& value) { FOutputFileName = value; }
  TPrinterOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TPrinterOrientation value);
  // The paper's width and height in millimetres, upright (as for portrait
  // pages; the orientation turns them); 0 by 0 is the printer's own paper
  // (A4 for the PDF writer).
  double PaperWidth() const { return FPaperWidth; }
  double PaperHeight() const { return FPaperHeight; }
  void SetPaperSize(double WidthMM, double HeightMM);
  int Copies() const { return FCopies; }
  void SetCopies(int value) { FCopies = value < 1 ? 1 : value; }

  // The device context: an information context with the page geometry
  // before BeginDoc, the page being printed after.
  HDC Handle();
  // The information context (page geometry, measuring, no drawing), also
  // while a job prints.
  HDC InfoHandle();
  TCanvas* Canvas();
  bool Printing() const { return FPrinting; }
  bool Aborted() const { return FAborted; }
  int PageNumber() const { return FPageNumber; }
  // The printable area in device pixels.
  int PageWidth();
  int PageHeight();

  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();

  struct Impl;

private:
  void checkPrinting(bool value);
  void refreshInfo();
  std::unique_ptr<Impl> FImpl;
  std::unique_ptr<TCanvas> FCanvas;
  std::vector<String> FPrinters;
  int FPrinterIndex = -2;  // not yet chosen
  String FTitle;
  String FOutputFileName;
  TPrinterOrientation FOrientation = poPortrait;
  double FPaperWidth = 0, FPaperHeight = 0;
  int FCopies = 1;
  bool FPrinting = false;
  bool FAborted = false;
  bool FAborting = false;
  int FPageNumber = 0;
};

// The program's printer (made on first use).
TPrinter* Printer();
// Replaces the program's printer, returning the previous one (the caller
// owns it); nullptr makes a fresh one on the next Printer().
TPrinter* SetPrinter(TPrinter* value);
