#pragma once
// Modal dialogs and message boxes. Every one of them asks the dialog hook
// first: tests (and any host that must not block) install a hook that
// answers instead of the user. Without a display and without an answer a
// dialog never blocks: it returns its "cancel" result at once.
#include <functional>
#include <memory>

#include "platform/core/component.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/font.h"
#include "platform/gui/messages.h"

class TForm;
class TPopupMenu;
class TMenuItem;

enum TDialogKind { dkMessageBox, dkModalForm, dkSaveFile, dkOpenFile, dkFont, dkColor, dkPopupMenu, dkPrint };

struct TDialogRequest {
  TDialogKind Kind = dkMessageBox;
  String Caption;
  String Text;
  UINT Flags = 0;                  // MB_* for message boxes
  TObject* Dialog = nullptr;       // the dialog, form or pop-up menu asking
  HWND Owner = nullptr;            // the window a message box belongs to
};

// Answers a dialog: returns true and sets Result to answer it (IDOK/IDYES...
// for message boxes, the modal result for forms, 1/0 for Execute, the index
// of the chosen top-level item for pop-up menus or -1), or false to let the
// dialog run as usual. A hook may change the dialog (file name, font,
// colour) before answering.
using TDialogHook = std::function<bool(TDialogRequest& Request, int& Result)>;
// Installs the hook; returns the previous one.
TDialogHook SetDialogHook(TDialogHook Hook);
// Asks the hook; true when it answered.
bool AskDialogHook(TDialogRequest& Request, int& Result);

// ---- message boxes ----------------------------------------------------------
enum : UINT {
  MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5, MB_ICONHAND = 0x10, MB_ICONSTOP = 0x10,
  MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30,
  MB_ICONWARNING = 0x30, MB_ICONASTERISK = 0x40, MB_ICONINFORMATION = 0x40,
  MB_DEFBUTTON1 = 0x0, MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200,
  MB_APPLMODAL = 0x0, MB_SYSTEMMODAL = 0x1000, MB_TASKMODAL = 0x2000,
  MB_SETFOREGROUND = 0x10000, MB_TOPMOST = 0x40000,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Shows a message box; the result is the button pressed (IDOK...). Without
// a display or an answer: the default button's result.
int MessageBox(HWND Owner, const String& Text, const String& Caption, UINT Flags);
void ShowMessage(const String& Text);

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll,
                  mbYesToAll, mbHelp };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;
// Returns the modal result of the pressed button (mrYes, mrOk...).
int MessageDlg(const String& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);

// ---- common dialogs ------------------------------------------------------------
class TCommonDialog : public TComponent {
public:
  explicit TCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}
  virtual bool Execute() = 0;
  const String& Title() const { return FTitle; }
  void SetTitle(const String& value) { FTitle = value; }
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

protected:
  // Asks the hook, else shows the dialog through Show (never without a
  // display); OnShow and OnClose around it. True when the user accepted.
  bool runDialog(int Kind, const String& Text, const std::function<bool()>& Show);
  String FTitle;
};

enum TOpenOption { ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofShowHelp,
                   ofNoValidate, ofAllowMultiSelect, ofExtensionDifferent, ofPathMustExist,
                   ofFileMustExist, ofCreatePrompt, ofShareAware, ofNoReadOnlyReturn,
                   ofNoTestFileCreate, ofNoNetworkButton, ofNoLongNames, ofOldStyleDialog,
                   ofNoDereferenceLinks, ofEnableIncludeNotify, ofEnableSizing, ofDontAddToRecent,
                   ofForceShowHidden };
using TOpenOptions = TSet<TOpenOption>;

// True when Folder is an existing folder a file dialog may start in: not in
// one of the kernel's pseudo file systems (/proc, /sys, /dev and the like),
// whose listings can take for ever or never end.
bool IsFolderToBrowse(const String& Folder);

// The open and save dialogs start in InitialDir, or the current folder when
// it is empty; where that is no folder to browse (above), they start in the
// user's home folder instead, and InitialDir says so once Execute has run.
class TOpenDialog : public TCommonDialog {
public:
  explicit TOpenDialog(TComponent* AOwner);
  ~TOpenDialog() override;
  // "Description|*.ext;*.ext2|Description|*.*"
  const String& Filter() const { return FFilter; }
  void SetFilter(const String& value) { FFilter = value; }
  // 1-based, as the filter list counts.
  int FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int value) { FFilterIndex = value; }
  const String& FileName() const { return FFileName; }
  void SetFileName(const String& value) { FFileName = value; }
  const String& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const String& value) { FDefaultExt = value; }
  const String& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const String& value) { FInitialDir = value; }
  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions value) { FOptions = value; }
  bool Execute() override;

protected:
  virtual bool IsSave() const { return false; }

private:
  String FFilter;
  int FFilterIndex = 1;
  String FFileName;
  String FDefaultExt;
  String FInitialDir;
  TOpenOptions FOptions{ofHideReadOnly, ofEnableSizing};
};

class TSaveDialog : public TOpenDialog {
public:
  explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}

protected:
  bool IsSave() const override { return true; }
};

class TFontDialog : public TCommonDialog {
public:
  explicit TFontDialog(TComponent* AOwner);
  ~TFontDialog() override;
  TFont* Font() { return FFont.get(); }
  void SetFont(const TFont& value) { FFont->Assign(value); }
  bool Execute() override;

private:
  std::unique_ptr<TFont> FFont;
};

class TColorDialog : public TCommonDialog {
public:
  explicit TColorDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
  TColor Color() const { return FColor; }
  void SetColor(TColor value) { FColor = value; }
  bool Execute() override;

private:
  TColor FColor = clBlack;
};

// The print dialog: the printer (one of Printer()'s, the PDF writer
// included, with its output file), the copies, the paper and the pages. On
// confirmation the choice is made on the program's printer (Printer()):
// its printer index, output file name, copies, orientation and paper size.
// The paper starts as the printer's; whoever answers the dialog in its
// place (a test) may choose another through SetPaperSize.
enum TPrintRange { prAllPages, prSelection, prPageNums };

class TPrintDialog : public TCommonDialog {
public:
  explicit TPrintDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
  int MinPage() const { return FMinPage; }
  void SetMinPage(int value) { FMinPage = value; }
  int MaxPage() const { return FMaxPage; }
  void SetMaxPage(int value) { FMaxPage = value; }
  int FromPage() const { return FFromPage; }
  void SetFromPage(int value) { FFromPage = value; }
  int ToPage() const { return FToPage; }
  void SetToPage(int value) { FToPage = value; }
  int Copies() const { return FCopies; }
  void SetCopies(int value) { FCopies = value < 1 ? 1 : value; }
  TPrintRange PrintRange() const { return FPrintRange; }
  void SetPrintRange(TPrintRange value) { FPrintRange = value; }
  // Width and height in millimetres, upright; 0 by 0 is the printer's own.
  double PaperWidth() const { return FPaperWidth; }
  double PaperHeight() const { return FPaperHeight; }
  void SetPaperSize(double WidthMM, double HeightMM) {
    FPaperWidth = WidthMM;
    FPaperHeight = HeightMM;
  }
  bool Execute() override;

private:
  int FMinPage = 0, FMaxPage = 0, FFromPage = 0, FToPage = 0, FCopies = 1;
  double FPaperWidth = 0, FPaperHeight = 0;
  TPrintRange FPrintRange = prAllPages;
};
