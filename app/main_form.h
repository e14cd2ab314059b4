#pragma once
// TRuForm: the main window. The query box, the result tree with one root
// per dictionary, the article view, the status line and the buttons around
// them; the search and completion runs; the clipboard watch, the hot key
// and the tray icon.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "app/app_state.h"
#include "platform/core/streams.h"
#include "platform/core/threads.h"
#include "platform/gui/forms.h"
#include "tree/base_tree.h"

class TPanel;
class TComboBox;
class TCheckBox;
class TEdit;
class TButton;
class TLabel;
class TProgressBar;
class TPopupMenu;
class TMenuItem;
class TSaveDialog;
class TPrintDialog;
class TImageList;
class TDataStringTree;
class THtmlView;
class TTrayIcon;
class TRuForm;
class TRightClickParameters;

// The owner data of every node of the result tree.
struct ResultNodeType {
  // Kept as the engine gives it (UTF-8): most headwords then fit the
  // string's own storage, so filling a million rows allocates no text.
  UTF8String Caption;
  // 0 open dictionary root, 1 closed root, 2 headword, 3 nothing found;
  // also the node's picture.
  std::int32_t Kind = 0;
  // Headword: its ROWID; root: minus the dictionary index; nothing found:
  // -666; a search stopped before it found anything: -667.
  std::int64_t Id = 0;
};

// A headword row read from a dictionary, on its way into the tree.
struct TResultRow {
  std::int64_t Id = 0;
  UTF8String Caption;
};

enum : std::int32_t { nkOpenRoot = 0, nkClosedRoot = 1, nkHeadword = 2, nkNothingFound = 3 };
constexpr std::int64_t NothingFoundId = -666;
constexpr std::int64_t SearchStoppedId = -667;

// The search run. Created suspended and never started: Execute runs on the
// GUI thread and stays responsive by letting the window handle its
// messages after every row.
class TTreeThread : public TThread {
public:
  explicit TTreeThread(TRuForm* Form) : TThread(true), FForm(Form) {}
  void Execute() override;

private:
  bool addRow(std::int64_t Id, const char* Word, int Bytes);
  // While the engine reads without finding a row.
  bool idle();
  // Gives the tree the rows read since the last time.
  void flushRows();
  TRuForm* FForm;
  int CurrentDictIndex = 0;
  bool RootCreated = false;
  // Rows are handed to the tree in groups, right before the window handles
  // its messages: making the nodes of a group together costs the tree one
  // structure change instead of one per row, and whatever runs while the
  // messages are handled sees every row read so far.
  std::array<TResultRow, 64> FPending;
  std::size_t FPendingCount = 0;
};

// The completion run: headwords of the first active dictionary that begin
// with the query box text.
class TAutoCompleteThread : public TThread {
public:
  explicit TAutoCompleteThread(TRuForm* Form) : TThread(true), FForm(Form) {}
  void Execute() override;

private:
  bool addRow(std::int64_t Id, const char* Word, int Bytes);
  TRuForm* FForm;
  bool RootCreated = false;
};

class TRuForm : public TForm {
public:
  explicit TRuForm(TComponent* AOwner);
  ~TRuForm() override;

  // ---- components ----
  TPanel* Panel1 = nullptr;
  TComboBox* QueryCombo = nullptr;
  TCheckBox* AdditionalCheckBox = nullptr;
  TEdit* AdditionalEdit = nullptr;
  TButton* SearchButton = nullptr;
  TButton* vkButton = nullptr;
  TDataStringTree* vst = nullptr;
  TButton* DictsButton = nullptr;
  TButton* HelpButton = nullptr;
  TButton* OptionsButton = nullptr;
  TPanel* Panel2 = nullptr;
  THtmlView* HTMLOut = nullptr;
  TButton* BufferButton = nullptr;
  TButton* SaveButton = nullptr;
  TButton* PrintButton = nullptr;
  TProgressBar* ProgressBar = nullptr;
  TLabel* HintLabel = nullptr;
  TLabel* RefLabel = nullptr;
  TPopupMenu* Popup1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;
  TTrayIcon* TrayIcon2 = nullptr;
  TSaveDialog* SaveDialog1 = nullptr;
  TPrintDialog* PrintDialog1 = nullptr;
  TImageList* ImageList2 = nullptr;
  TImageList* ImageList3 = nullptr;
  TImageList* ImageList4 = nullptr;
  TMenuItem* N1 = nullptr;  // копировать
  TMenuItem* N2 = nullptr;  // выделить всё
  TMenuItem* N3 = nullptr;  // в запрос
  TMenuItem* N4 = nullptr;  // развернуть
  TMenuItem* N5 = nullptr;  // свернуть
  TMenuItem* N6 = nullptr;  // выход

  // ---- window ----
  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void FormDestroy(TObject* Sender);
  void FormResize(TObject* Sender);
  void Panel1Resize(TObject* Sender);
  void Panel2Resize(TObject* Sender);
  void DictsButtonClick(TObject* Sender);
  void OptionsButtonClick(TObject* Sender);
  void vkButtonClick(TObject* Sender);
  void AdditionalCheckBoxClick(TObject* Sender);
  void RefLabelMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  void RefLabelMouseLeave(TObject* Sender);
  void RefLabelClick(TObject* Sender);

  // ---- search and completion ----
  void SearchButtonClick(TObject* Sender);
  // Searches the query box's text: now, or, when a run is under way, once
  // it has ended (a search or completion is told to stop).
  void SearchQuery();
  void QueryComboKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void QueryComboKeyUp(TObject* Sender, WORD& Key, TShiftState Shift);
  void CheckQuery(const String& Text);

  // ---- result tree ----
  void vstGetText(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, String& CellText);
  void vstGetImageIndex(TBaseDataTree* Sender, PDataNode Node, int& ImageIndex);
  void vstCollapsed(TBaseDataTree* Sender, PDataNode Node);
  void vstExpanded(TBaseDataTree* Sender, PDataNode Node);
  void vstKeyUp(TObject* Sender, WORD& Key, TShiftState Shift);
  void vstClick(TObject* Sender);
  void vstFreeNode(TBaseDataTree* Sender, PDataNode Node);
  // Adds a node with its record.
  PDataNode AddResultNode(PDataNode Parent, UTF8String Caption, std::int32_t Kind, std::int64_t Id);
  // Headword nodes for Rows below Parent, made together (their captions are
  // moved out of Rows).
  void AddHeadwordNodes(PDataNode Parent, TResultRow* Rows, std::size_t Count);
  ResultNodeType* NodeRecord(PDataNode Node);

  // ---- pages ----
  void HelpButtonClick(TObject* Sender);
  // The article text of a headword as UTF-8 (empty when it has none).
  void GetDescription2(int DictIndex, std::int64_t RowId, UTF8String& Text);
  void ApplyArticleColors();
  void requestImage(TObject* Sender, const String& SRC, TStream*& Stream);
  void HtmlOutHotSpotClick(TObject* Sender, const String& SRC, bool& Handled);
  void HtmlOutRightClick(TObject* Sender, TRightClickParameters* Parameters);
  void HTMLOutKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void HTMLOutKeyUp(TObject* Sender, WORD& Key, TShiftState Shift);
  // After the settings are saved: a help page shown is written again with
  // the new colours and font, and shown again where it stood.
  void RefreshHelpPage();
  void BufferButtonClick(TObject* Sender);
  void N1Click(TObject* Sender);
  void N2Click(TObject* Sender);
  void N3Click(TObject* Sender);
  // Puts what Copy stores on the clipboard as the program's own copy, which
  // the clipboard watch never takes for a double copy ("в буфер": the whole
  // article, which no one means to look up).
  void CopyOwn(const std::function<void()>& Copy);
  // Whether the clipboard holds a copy the program made itself.
  bool IsOwnCopy();
  // Save and print of the shown page (article_output.cpp).
  void SaveButtonClick(TObject* Sender);
  void PrintButtonClick(TObject* Sender);

  // ---- tray ----
  void TrayIcon1Click(TObject* Sender);
  void N4Click(TObject* Sender);
  void N5Click(TObject* Sender);
  void N6Click(TObject* Sender);
  // Applies the tray setting to the icon.
  void ApplyTraySetting();
  // Makes the result rows as tall as the tree's font needs (rows shown
  // now and rows to come), after its font is set or changed.
  void FitResultRows();

  void Dispatch(TMessage& Message) override;

  // ---- state the runs and pages share ----
  PDataNode LastRootNode = nullptr;
  String ShownCaption;
  std::int64_t ShownDictId = 0;
  std::int64_t ShownWordId = 0;
  // The folder the program runs from; empty (the default) means the
  // executable's folder. Set before the window is created.
  void SetProgramFolder(const String& Folder) { FProgramFolder = Folder; }
  // Whether the hot key was taken at start-up.
  bool HotKeyRegistered() const { return FHotKeyRegistered; }
  // True while a search or completion run is under way.
  bool RunActive() const { return FSearchActive || FCompletionActive; }
  // True while the shown page is being printed or its pages counted.
  bool PrintActive() const;
  // A run or a print job: what changes the connections or the shown page
  // waits until neither is under way.
  bool Busy() const { return RunActive() || PrintActive(); }
  // Shows a failure the program goes on after, the first time its text is
  // met: a folder that cannot be written fails the same way at every
  // activation, and a message box closing activates the window again.
  void ShowFailureOnce(const String& Text);

private:
  friend class TTreeThread;
  friend class TAutoCompleteThread;
  void createComponents();
  void createImages();
  void runSearch();
  void runCompletion();
  // After a run ends: the activation, close, search or completion that
  // arrived while it ran.
  void runPending();
  // Lets the window handle its messages from inside a run.
  void pumpMessages();
  // The same from inside a step of the engine (its progress handler): a
  // page is not read from the connection meanwhile but once the step is
  // over (showWaitingPage).
  void pumpInsideEngine();
  void showWaitingPage();
  void activateDictionaries();
  // Names in the status line the dictionaries an activation read only in
  // part; with none, takes back the notice an earlier one left there.
  void showCutShortDictionaries(const std::vector<String>& Names);
  // Counts the shown page's pages, asks where to print them and prints.
  void printShownPage();
  void showPage(const String& Caption, const String& Body);
  // The lines of a page template; none when it cannot be read.
  std::vector<String> templateLines(const String& FileName, size_t MaxLines = size_t(-1));
  // Hands a file or an address to the desktop's default program; when none
  // is set the status line says so, naming Shown.
  void openWithDesktop(const String& Target, const String& Shown, int ShowCmd);
  void WMHotKey(TMessage& Message);
  void WMSysCommand(TMessage& Message);
  void WMChangeCBChain(TMessage& Message);
  // The viewer after this window, never the window itself.
  HWND nextClipboardViewer();
  void WMDrawClipboard(TMessage& Message);

  std::unique_ptr<TTreeThread> FTreeThread;
  std::unique_ptr<TAutoCompleteThread> FAutoComplete;
  std::unique_ptr<TCriticalSection> AutoCompleteLock;
  std::unique_ptr<TMemoryStream> ImageStream;
  bool FSearchActive = false;
  bool FCompletionActive = false;
  bool FPendingSearch = false;
  bool FPendingCompletion = false;
  bool FPendingActivation = false;
  bool FPendingClose = false;
  bool FPumping = false;
  bool FInEngine = false;
  bool FPageWaits = false;
  bool FHotKeyRegistered = false;
  bool FClosing = false;
  bool FFormDestroyDone = false;
  // Ctrl+C went down in the article: it copies when either key goes up.
  bool FCopyKeysDown = false;
  // Keys of the hot key whose release the query box is still to see: they
  // were held when the hot key brought the window up, and their release is
  // no typing.
  std::set<WORD> FHotKeyReleases;
  // Expires with the window: work that ends later checks it first.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  void writeHelpStyle();
  String FProgramFolder;
  std::set<String> FShownFailures;
  String FCutShortNotice;
};

extern TRuForm* RuForm;
