#pragma once
// The printers the viewer's print engine draws pages on. ThtPrinter is the
// page geometry and the job's operations; TViewPrinter prints for real on
// one of the system's printers or into a PDF file; TMetaFilePrinter (in
// metafile_printer.h) records each page in memory, for counting pages and
// for previews.
#include <memory>

#include "platform/core/component.h"
#include "platform/core/exception.h"
#include "platform/core/types.h"

class TCanvas;
class TPrinter;
struct TDeviceContext;
using HDC = TDeviceContext*;

class ThtPrinter : public TComponent {
public:
  explicit ThtPrinter(TComponent* AOwner);
  ~ThtPrinter() override;

  // Page geometry in device pixels: the unprintable strips at the left and
  // top, the whole sheet, the printable area, and the resolution.
  int OffsetX() const { return FOffsetX; }
  int OffsetY() const { return FOffsetY; }
  int PaperWidth() const { return FPaperWidth; }
  int PaperHeight() const { return FPaperHeight; }
  int PageWidth() const { return FPageWidth; }
  int PageHeight() const { return FPageHeight; }
  int PixelsPerInchX() const { return FPixelsPerInchX; }
  int PixelsPerInchY() const { return FPixelsPerInchY; }
  bool Printing() const { return FPrinting; }
  const String& Title() const { return FTitle; }
  void SetTitle(const String& Value) { FTitle = Value; }

  virtual TCanvas* GetCanvas() = 0;
  virtual int GetPageNum() = 0;
  virtual void BeginDoc() = 0;
  virtual void NewPage() = 0;
  virtual void EndDoc() = 0;
  virtual void Abort() = 0;
  // The class's name, for the engine's messages.
  virtual const char* ClassName() const = 0;
  // A device context that measures like the page but draws nowhere; the
  // engine settles where a page ends on it before drawing the page.
  virtual HDC MeasureHandle() = 0;

  // Copies the page geometry.
  void Assign(const ThtPrinter& Source);

protected:
  // Reads the page geometry of a printer ("Printer not available" when the
  // system lists none).
  void GetPrinterCapsOf(TPrinter* P);
  // "Printer is not currently printing" / "Printing in progress".
  void CheckPrinting(bool Value) const;

  int FOffsetX = 0, FOffsetY = 0;
  int FPaperHeight = 0, FPaperWidth = 0;
  int FPageHeight = 0, FPageWidth = 0;
  int FPixelsPerInchX = 0, FPixelsPerInchY = 0;
  bool FPrinting = false;
  String FTitle;
};

// Prints on a platform printer: the program's printer by default, or one
// the caller set up (the caller keeps it), or a printer of its own that
// writes one PDF file.
class TViewPrinter : public ThtPrinter {
public:
  // On the program's printer.
  TViewPrinter();
  explicit TViewPrinter(TPrinter* APrinter);
  ~TViewPrinter() override;

  // A printer that writes FileName as a PDF document (A4, portrait). The
  // platform's printer writes it under a temporary name beside FileName,
  // and it takes its name only when the job ends; an aborted job leaves no
  // file and an earlier one of that name as it was.
  static std::unique_ptr<TViewPrinter> ToPdfFile(const String& FileName);

  TCanvas* GetCanvas() override;
  int GetPageNum() override { return FPageNum; }
  void BeginDoc() override;
  void NewPage() override;
  void EndDoc() override;
  void Abort() override;
  const char* ClassName() const override { return "TViewPrinter"; }
  HDC MeasureHandle() override;

  TPrinter* Device() const { return FPrinter; }
  // Lets go of a job on a printer the caller handed in, leaving that job
  // open for the caller (the printer object may then be freed).
  void LeaveJobOpen() { FPrinting = false; FPageNum = 0; }
  bool Aborted() const { return FAborted; }

private:
  TPrinter* FPrinter;
  std::unique_ptr<TPrinter> FOwnPrinter;
  int FPageNum = 0;
  bool FAborted = false;
};
