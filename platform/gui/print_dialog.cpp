// The print dialog over Qt's: it works on a printer object of its own,
// set up from the program's printer, and hands the choice back to it.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/graphics/printer.h"
#include "platform/gui/dialogs.h"

namespace {
QString qs(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
String ss(const QString& s) { return String(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }
}  // namespace

bool TPrintDialog::Execute() {
  TPrinter* printerObject = Printer();
  // The PDF writer's file is never proposed where the dialog's file chooser
  // would hang listing the folder (a print into /proc that failed).
  const QFileInfo output(qs(printerObject->OutputFileName()));
  if (!printerObject->OutputFileName().empty() && !IsFolderToBrowse(ss(output.absolutePath())))
    printerObject->SetOutputFileName(ss(QDir::home().filePath(output.fileName())));
  FPaperWidth = printerObject->PaperWidth();
  FPaperHeight = printerObject->PaperHeight();
  const bool chosen = runDialog(dkPrint, String(), [this] {
    TPrinter* target = Printer();
    const std::vector<String>& printers = target->Printers();
    const int index = target->PrinterIndex();
    const bool pdf = index == int(printers.size()) - 1;
    QPrinter printer(pdf ? QPrinterInfo() : QPrinterInfo::printerInfo(qs(printers[size_t(index)])),
                     QPrinter::HighResolution);
    if (pdf) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(qs(target->OutputFileName()));
    }
    printer.setDocName(qs(target->Title()));
    printer.setCopyCount(FCopies);
    if (FPaperWidth > 0 && FPaperHeight > 0)
      printer.setPageSize(QPageSize(QSizeF(FPaperWidth, FPaperHeight), QPageSize::Millimeter));
    printer.setPageOrientation(target->Orientation() == poLandscape ? QPageLayout::Landscape
                                                                     : QPageLayout::Portrait);
    if (FMinPage > 0 && FMaxPage >= FMinPage) printer.setFromTo(FFromPage, FToPage);
    QPrintDialog d(&printer, QApplication::activeWindow());
    if (!FTitle.empty()) d.setWindowTitle(qs(FTitle));
    if (FMinPage > 0 && FMaxPage >= FMinPage) d.setMinMax(FMinPage, FMaxPage);
    d.setOption(QAbstractPrintDialog::PrintToFile, true);
    d.setOption(QAbstractPrintDialog::PrintPageRange, FMaxPage > 0);
    if (d.exec() != QDialog::Accepted) return false;

    // The choice back on the program's printer.
    if (printer.outputFormat() == QPrinter::PdfFormat) {
      target->SetPrinterIndex(int(printers.size()) - 1);
      target->SetOutputFileName(ss(printer.outputFileName()));
    } else {
      const String name = ss(printer.printerName());
      for (size_t i = 0; i + 1 < printers.size(); ++i)
        if (printers[i] == name) target->SetPrinterIndex(int(i));
    }
    target->SetOrientation(printer.pageLayout().orientation() == QPageLayout::Landscape ? poLandscape
                                                                                       : poPortrait);
    const QSizeF paper = printer.pageLayout().pageSize().size(QPageSize::Millimeter);
    FPaperWidth = paper.width();
    FPaperHeight = paper.height();
    FCopies = printer.copyCount();
    target->SetCopies(FCopies);
    FPrintRange = printer.printRange() == QPrinter::PageRange ? prPageNums : prAllPages;
    if (FPrintRange == prPageNums) {
      FFromPage = printer.fromPage();
      FToPage = printer.toPage();
    }
    return true;
  });
  // The paper chosen is the one the pages are laid out for and printed on.
  if (chosen && (FPaperWidth != printerObject->PaperWidth() || FPaperHeight != printerObject->PaperHeight()))
    printerObject->SetPaperSize(FPaperWidth, FPaperHeight);
  return chosen;
}
