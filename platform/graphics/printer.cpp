// Printing over Qt Print Support.
#include "platform/graphics/printer.h"

#include <cstdio>

#include <QDir>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/graphics/gdi_internal.h"

namespace {
QString toQ(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
String fromQ(const QString& s) { return String(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }
constexpr int kPdfResolution = 600;
}  // namespace

struct TPrinter::Impl {
  std::unique_ptr<QPrinter> printer;
  QPainter painter;
  HDC info = nullptr;
  HDC page = nullptr;
  QString fileName;  // the PDF file the job ends in
  // Where it is written until the job ends: a temporary file beside it,
  // flushed and renamed over it when the job is whole.
  std::unique_ptr<TSafeFileSet> file;
  ~Impl() {
    if (page) {
      DcDetachPainter(page);
      DeleteDC(page);
    }
    if (painter.isActive()) painter.end();
    if (info) DeleteDC(info);
  }
};

class TPrinterCanvas : public TCanvas {
public:
  explicit TPrinterCanvas(TPrinter& owner) : FOwner(owner) {}

protected:
  void CreateHandle() override {
    if (!FOwner.Printing()) throw EPrinter("Printer is not currently printing");
    FHandle = FOwner.Handle();
    FOwnHandle = false;
  }
  void Changing() override {
    if (!FOwner.Printing()) throw EPrinter("Printer is not currently printing");
    TCanvas::Changing();
  }

private:
  TPrinter& FOwner;
};

TPrinter::TPrinter() : FImpl(std::make_unique<Impl>()) { EnsureGuiApplication(); }

TPrinter::~TPrinter() {
  if (FPrinting) {
    try {
      EndDoc();
    } catch (...) {
    }
  }
  FCanvas.reset();
}

const std::vector<String>& TPrinter::Printers() {
  if (FPrinters.empty()) {
    for (const QString& n : QPrinterInfo::availablePrinterNames()) FPrinters.push_back(fromQ(n));
    FPrinters.push_back(u"PDF");
  }
  return FPrinters;
}

int TPrinter::PrinterIndex() {
  if (FPrinterIndex == -2) SetPrinterIndex(-1);
  return FPrinterIndex;
}

void TPrinter::SetPrinterIndex(int value) {
  checkPrinting(false);
  const auto& list = Printers();
  if (value == -1) {
    QString def = QPrinterInfo::defaultPrinterName();
    value = int(list.size()) - 1;
    for (size_t i = 0; i + 1 < list.size(); ++i)
      if (toQ(list[i]) == def) value = int(i);
  }
  if (value < 0 || value >= int(list.size())) throw EPrinter("Printer selected is not valid");
  FPrinterIndex = value;
  FImpl->printer.reset();
  refreshInfo();
}

void TPrinter::SetOrientation(TPrinterOrientation value) {
  checkPrinting(false);
  FOrientation = value;
  if (FImpl->printer)
    FImpl->printer->setPageOrientation(value == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
  refreshInfo();
}

void TPrinter::SetPaperSize(double WidthMM, double HeightMM) {
  checkPrinting(false);
  const bool own = !(WidthMM > 0 && HeightMM > 0);
  FPaperWidth = own ? 0 : WidthMM;
  FPaperHeight = own ? 0 : HeightMM;
  // Made again with the new paper, or the printer's own.
  FImpl->printer.reset();
  refreshInfo();
}

void TPrinter::checkPrinting(bool value) {
  if (value && !FPrinting) throw EPrinter("Printer is not currently printing");
  if (!value && FPrinting) throw EPrinter("Printing in progress");
}

void TPrinter::refreshInfo() {
  Impl& m = *FImpl;
  if (!m.printer) {
    int index = PrinterIndex();
    bool pdf = index == int(Printers().size()) - 1;
    if (pdf) {
      m.printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
      m.printer->setOutputFormat(QPrinter::PdfFormat);
      m.printer->setResolution(kPdfResolution);
      m.printer->setPageSize(QPageSize(QPageSize::A4));
    } else {
      m.printer = std::make_unique<QPrinter>(QPrinterInfo::printerInfo(toQ(Printers()[size_t(index)])),
                                             QPrinter::HighResolution);
    }
    // A standard size given in millimetres is taken as that size (Letter,
    // A5...), so the printer and the PDF file know it by its name.
    if (FPaperWidth > 0 && FPaperHeight > 0)
      m.printer->setPageSize(QPageSize(QSizeF(FPaperWidth, FPaperHeight), QPageSize::Millimeter));
    m.printer->setPageOrientation(FOrientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
  }
  if (!m.info) m.info = NewDC(TDcKind::Printer);
  HDC dc = m.info;
  int res = m.printer->resolution();
  QPageLayout layout = m.printer->pageLayout();
  QRect full = layout.fullRectPixels(res), paint = layout.paintRectPixels(res);
  dc->dpiX = dc->dpiY = res;
  dc->deviceSize = paint.size();
  dc->physicalSize = full.size();
  dc->physicalOffset = paint.topLeft() - full.topLeft();
}

HDC TPrinter::Handle() {
  if (FPrinting && FImpl->page) return FImpl->page;
  if (!FImpl->printer || !FImpl->info) refreshInfo();
  return FImpl->info;
}

HDC TPrinter::InfoHandle() {
  if (!FImpl->printer || !FImpl->info) refreshInfo();
  return FImpl->info;
}

TCanvas* TPrinter::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TPrinterCanvas>(*this);
  return FCanvas.get();
}

int TPrinter::PageWidth() { return GetDeviceCaps(Handle(), HORZRES); }
int TPrinter::PageHeight() { return GetDeviceCaps(Handle(), VERTRES); }

void TPrinter::BeginDoc() {
  checkPrinting(false);
  refreshInfo();
  Impl& m = *FImpl;
  const bool pdf = m.printer->outputFormat() == QPrinter::PdfFormat;
  if (pdf) {
    m.fileName = FOutputFileName.empty() ? QDir::temp().filePath(QStringLiteral("tamrix-print.pdf"))
                                         : QDir::current().absoluteFilePath(toQ(FOutputFileName));
    // The document is written beside its target under another name and
    // renamed when it is whole, so a failed job never leaves half a file.
    auto file = std::make_unique<TSafeFileSet>();
    try {
      m.printer->setOutputFileName(toQ(file->AddByName(fromQ(m.fileName))));
    } catch (const EFCreateError& e) {
      throw EPrinter(e.Message());
    }
    m.file = std::move(file);
  }
  m.printer->setDocName(toQ(FTitle.substr(0, 31)));
  m.printer->setCopyCount(FCopies);
  if (!m.painter.begin(m.printer.get())) {
    m.file.reset();
    if (pdf) throw EPrinter(u"Cannot create file \"" + fromQ(m.fileName) + u"\".");
    throw EPrinter("Printer selected is not valid");
  }
  m.page = NewDC(TDcKind::Printer);
  DcAttachPainter(m.page, &m.painter);
  m.page->dpiX = m.info->dpiX;
  m.page->dpiY = m.info->dpiY;
  m.page->deviceSize = m.info->deviceSize;
  m.page->physicalSize = m.info->physicalSize;
  m.page->physicalOffset = m.info->physicalOffset;
  FPrinting = true;
  FAborted = false;
  FPageNumber = 1;
  Canvas()->SetHandle(nullptr);
  Canvas()->Font()->SetPixelsPerInch(m.info->dpiY);
}

void TPrinter::NewPage() {
  checkPrinting(true);
  Impl& m = *FImpl;
  m.printer->newPage();
  // A new page resets the painter; the context puts its mapping and clip back.
  DcDetachPainter(m.page);
  DcAttachPainter(m.page, &m.painter);
  ++FPageNumber;
  Canvas()->Refresh();
}

void TPrinter::EndDoc() {
  checkPrinting(true);
  Impl& m = *FImpl;
  Canvas()->SetHandle(nullptr);
  DcDetachPainter(m.page);
  DeleteDC(m.page);
  m.page = nullptr;
  const bool finished = m.painter.end();
  FPrinting = false;
  FPageNumber = 0;
  // An aborted or failed job's file goes with its temporary name.
  std::unique_ptr<TSafeFileSet> file = std::move(m.file);
  if (!file || FAborting) return;
  if (!finished) throw EPrinter(u"Cannot create file \"" + fromQ(m.fileName) + u"\".");
  try {
    file->Commit();
  } catch (const EFCreateError& e) {
    throw EPrinter(e.Message());
  }
}

void TPrinter::Abort() {
  checkPrinting(true);
  Impl& m = *FImpl;
  m.printer->abort();
  FAborting = true;
  struct Reset {
    bool& Flag;
    ~Reset() { Flag = false; }
  } reset{FAborting};
  EndDoc();
  FAborted = true;
}

namespace {
TPrinter*& globalPrinter() {
  static TPrinter* p = nullptr;
  return p;
}
}  // namespace

TPrinter* Printer() {
  if (!globalPrinter()) globalPrinter() = new TPrinter;
  return globalPrinter();
}

TPrinter* SetPrinter(TPrinter* value) {
  TPrinter* old = globalPrinter();
  globalPrinter() = value;
  return old;
}
