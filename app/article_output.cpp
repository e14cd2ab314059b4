// Saving and printing the shown page.
#include <cstdlib>

#include "app/article_save.h"
#include "app/data_files.h"
#include "app/main_form.h"
#include "app/media.h"
#include "html/viewer/html_view.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/graphics/printer.h"
#include "platform/gui/dialogs.h"

namespace {

String reasonOf(const std::exception& e) {
  if (const auto* ours = dynamic_cast<const Exception*>(&e)) return ours->Message();
  return UTF8ToUTF16(e.what());
}

void showFailure(const String& Text) { Application->MessageBox(Text, Application->Title(), MB_OK | MB_ICONERROR); }

// The user's home folder (the program folder may not be the user's to
// write, so saved files are proposed there).
String homeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? UTF8ToUTF16(home) : GetCurrentDir();
}

// The name a page is proposed under: its caption, or a plain word for pages
// without one.
String proposedName(const String& Caption) { return SafeFileName(Caption.empty() ? String(u"tamrix") : Caption); }

}  // namespace

void TRuForm::SaveButtonClick(TObject*) {
  const String folder = GetCurrentDir();
  SaveDialog1->SetFileName(proposedName(ShownCaption));
  if (SaveDialog1->InitialDir().empty()) SaveDialog1->SetInitialDir(homeFolder());
  if (!SaveDialog1->Execute()) return;
  const String source = HTMLOut->GetDocumentSource();
  const bool text = SaveDialog1->FilterIndex() == 2;
  // A relative choice is taken against the folder the dialog started in.
  String name = ExpandFileName(WithExtension(SaveDialog1->FileName(), text ? u".txt" : u".html"));
  // The dialog asked about replacing the name as typed; a file under the
  // name with its extension appended is asked about here.
  if (name != ExpandFileName(SaveDialog1->FileName()) && FileExists(name) &&
      Application->MessageBox(u"Файл \"" + name + u"\" уже существует. Заменить его?", Application->Title(),
                              MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  // The pictures come from the dictionaries under the program folder, as
  // the dictionary stores them (never decoded and encoded again).
  SetCurrentDir(AppDir);
  try {
    if (text) {
      SaveArticleAsText(name, source);
    } else {
      TMediaReader media(ShownWordId);
      SaveArticleAsHtml(name, source, [&media](int DictIndex, const String& Media) {
        if (DictIndex < 0 || DictIndex > LastDictIndex || ActiveDicts[DictIndex].empty())
          return std::make_unique<TMemoryStream>();
        return media.Fetch(DictIndex, Media);
      });
    }
    // The next save starts where this one went; after a failure, where the
    // last one that worked went.
    SaveDialog1->SetInitialDir(ExtractFileDir(name));
  } catch (const EFileStreamError& e) {
    // Said as the program says any file it cannot write, naming the file
    // the user chose (a picture beside it fails the same way).
    const String failed = e.FileName().empty() ? name : e.FileName();
    showFailure(e.ErrorCode() ? FileErrorText(failed, true, e.ErrorCode())
                              : u"Не удалось сохранить \"" + failed + u"\": " + e.Message());
  } catch (const std::exception& e) {
    showFailure(u"Не удалось сохранить \"" + name + u"\": " + reasonOf(e));
  }
  SetCurrentDir(folder);
}

void TRuForm::PrintButtonClick(TObject*) {
  printShownPage();
  // What was put off while the pages were counted or printed: a close, a
  // double copy's search.
  if (!RunActive()) runPending();
}

void TRuForm::printShownPage() {
  TPrinter* printer = Printer();
  printer->SetTitle(ShownCaption);
  // The PDF writer proposes a file named after the page, in the folder
  // chosen last time or else the user's home folder.
  String dir = ExtractFileDir(printer->OutputFileName());
  if (dir.empty()) dir = homeFolder();
  const String proposed = IncludeTrailingPathDelimiter(dir) + proposedName(ShownCaption) + u".pdf";
  printer->SetOutputFileName(proposed);
  const int pages = HTMLOut->NumPrinterPages();
  // A close that arrived while the pages were counted is done instead.
  if (pages <= 0 || FPendingClose) return;
  PrintDialog1->SetMinPage(1);
  PrintDialog1->SetMaxPage(pages);
  PrintDialog1->SetFromPage(1);
  PrintDialog1->SetToPage(pages);
  PrintDialog1->SetPrintRange(prAllPages);
  if (!PrintDialog1->Execute()) return;
  int from = 1, to = 0x7FFFFFFF;
  if (PrintDialog1->PrintRange() == prPageNums) {
    from = PrintDialog1->FromPage();
    to = PrintDialog1->ToPage();
  }
  const bool toFile = printer->PrinterIndex() == int(printer->Printers().size()) - 1;
  const String where = toFile ? printer->OutputFileName() : printer->Printers()[size_t(printer->PrinterIndex())];
  try {
    HTMLOut->Print(from, to);
  } catch (const std::exception& e) {
    // The next print proposes the folder that worked before, not this one.
    if (toFile) printer->SetOutputFileName(proposed);
    showFailure(u"Не удалось напечатать на \"" + where + u"\": " + reasonOf(e));
  }
}
