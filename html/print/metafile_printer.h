#pragma once
// A printer that records every page as a metafile in memory: the viewer
// counts pages with it and builds previews from its pages. The geometry is
// that of the program's printer.
#include <functional>
#include <memory>
#include <vector>

#include "html/print/printers.h"

class TMetafile;
class TMetafileCanvas;

enum TUnits { unInches, unCentimeters };
using TPageEvent = std::function<void(TObject* Sender, int NumPage, bool& StopPrinting)>;

class TMetaFilePrinter : public ThtPrinter {
public:
  explicit TMetaFilePrinter(TComponent* AOwner);
  ~TMetaFilePrinter() override;

  TCanvas* GetCanvas() override;
  int GetPageNum() override { return LastAvailablePage(); }
  void BeginDoc() override;
  void NewPage() override;
  void EndDoc() override;
  void Abort() override;
  const char* ClassName() const override { return "TMetaFilePrinter"; }
  HDC MeasureHandle() override;

  // The recorded pages (0-based); the printer owns them.
  int LastAvailablePage() const { return FPageCount; }
  TMetafile* MetaFile(int Index) const;

  TUnits Units() const { return FUnits; }
  void SetUnits(TUnits Value) { FUnits = Value; }
  // Told of every page begun. A handler that sets StopPrinting ends the
  // print it belongs to after the page being made.
  TPageEvent OnPageEvent;
  // Whether a page handler asked to stop (cleared by BeginDoc).
  bool StopRequested() const { return FStopRequested; }
  // Off: pages are counted and not recorded (no metafile, no canvas), for
  // callers that only want the number of pages.
  bool Recording() const { return FRecording; }
  void SetRecording(bool Value) { FRecording = Value; }

private:
  void freeCanvas();
  // Tells OnPageEvent of the page just begun.
  void tellPageBegun();
  std::vector<std::unique_ptr<TMetafile>> FPages;
  std::unique_ptr<TMetafileCanvas> FCanvas;
  bool FCanvasHandedOut = false;
  bool FStopRequested = false;
  bool FRecording = true;
  int FPageCount = 0;
  TUnits FUnits = unInches;
};
