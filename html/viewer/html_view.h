#pragma once
// THtmlView: the windowed control that shows one HTML or plain-text page.
// It owns the document model, hands the source to the HTML reader, lays the
// document out for its width, paints it double-buffered in an inner panel
// with its own scroll bars, and reports images, links, right clicks and
// progress through its events.
//
// The sources are split by concern: html_view.cpp (construction,
// properties, loading, layout, history), html_view_paint.cpp (painting,
// scrolling, keys, wheel), html_view_mouse.cpp (mouse, hot spots, links,
// timers, posted messages) and html_view_select.cpp (selection, find and
// the clipboard); printing lives in html/print/html_view_print.cpp.
#include <cstdint>
#include <functional>
#include <memory>

#include "html/model/attributes.h"
#include "html/model/event_life.h"
#include "html/model/viewer_base.h"
#include "platform/core/exception.h"
#include "platform/core/streams.h"
#include "platform/core/string_list.h"
#include "platform/core/tset.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/stdctrls.h"

class ThtDocument;
class TBuffer;
class ThvPanel;
class TBitmap;
class TFormControlObj;
class TFormControlObjList;
class TFontObj;
class THtmlView;
class TPrinter;
class ThtPrinter;
class TCanvas;

TAMRIX_DECLARE_EXCEPTION(EhtException, Exception)
TAMRIX_DECLARE_EXCEPTION(EhtLoadError, EhtException)
TAMRIX_DECLARE_EXCEPTION(EIllegalArgument, EhtException)

enum TDocType : std::uint8_t { HtmlType = 0, TextType = 1, ImgType = 2, OtherType = 3 };

enum THTMLBorderStyle : std::uint8_t { htFocused, htNone, htSingle };

enum THtmlViewOption {
  htOverLinksActive, htNoLinkUnderline, htPrintTableBackground, htPrintBackground,
  htPrintMonochromeBlack, htShowDummyCaret, htShowVScroll, htNoWheelMouse, htNoLinkHilite,
  htNoFocusRect
};
using THtmlViewOptions = TSet<THtmlViewOption>;

enum TViewerStateItem {
  stNoDraw, stCreating, stProcessing, stOwnImageCache, stBackgroundFixed, stHotSpotAction,
  stMouseScrolling, stLeftButtonDown, stMiddleScroll, stSelecting
};
using TViewerState = TSet<TViewerStateItem>;

enum TProgressStage { psStarting, psRunning, psEnding };

// Private messages the viewer posts to itself.
enum : UINT {
  WM_FORM_SUBMIT = 0x464,   // deferred form submission
  WM_MOUSE_SCROLL = 0x466,  // start of the auto-scroll loop
  WM_URL_ACTION = 0x467,    // deferred link following
};

// One history entry besides its name and title.
class PositionObj : public TObject {
public:
  std::int32_t Pos = 0;
  TDocType FileType = HtmlType;
  std::unique_ptr<TFreeList<TStringList>> FormData;
};

// What OnRightClick is told; made for one call.
class TRightClickParameters : public TObject {
public:
  String URL;
  String Target;
  TObject* Image = nullptr;  // the image object under the mouse
  int ImageX = 0;
  int ImageY = 0;
  String ClickWord;
};

using THotSpotEvent = std::function<void(TObject* Sender, const String& SRC)>;
using THotSpotClickEvent = std::function<void(TObject* Sender, const String& SRC, bool& Handled)>;
using TGetImageEvent = std::function<void(TObject* Sender, const String& SRC, TStream*& Stream)>;
using TGetBitmapEvent =
    std::function<void(TObject* Sender, const String& SRC, TBitmap*& Bitmap, TColor& Color)>;
using TRightClickEvent = std::function<void(TObject* Sender, TRightClickParameters* Parameters)>;
using TProcessingEvent = std::function<void(TObject* Sender, bool ProcessingOn)>;
using TProgressEvent =
    std::function<void(TObject* Sender, TProgressStage Stage, int PercentDone)>;
using TMetaEvent = std::function<void(TObject* Sender, const String& HttpEq, const String& Name,
                                      const String& Content)>;
using TMetaRefreshEvent = std::function<void(TObject* Sender, int Delay, const String& URL)>;
using TFilenameExpandedEvent = std::function<void(TObject* Sender, String& Filename)>;
using TSoundRequestEvent =
    std::function<void(TObject* Sender, const String& SRC, int Loop, bool Terminate)>;
using TLinkEvent =
    std::function<void(TObject* Sender, const String& Rel, const String& Rev, const String& Href)>;
using TParseEvent = std::function<void(TObject* Sender, TBuffer*& Source)>;
using TImageClickEvent = std::function<void(TObject* Sender, TObject* Obj, TMouseButton Button,
                                            TShiftState Shift, int X, int Y)>;
using TImageOverEvent =
    std::function<void(TObject* Sender, TObject* Obj, TShiftState Shift, int X, int Y)>;
using TFormSubmitEvent =
    std::function<void(TObject* Sender, const String& Action, const String& Target,
                       const String& EncType, const String& Method, TStringList* Results)>;
using TStreamRequestEvent = std::function<void(TObject* Sender, const String& SRC, TStream*& Stream)>;
// An include directive ("<!--#command name=value ...-->"): the handler may
// hand back a buffer whose text is read in the directive's place.
using THtmlIncludeEvent = std::function<void(TObject* Sender, const String& Command, TStringList* Params,
                                             std::unique_ptr<TBuffer>& IncludedDocument)>;
// An OBJECT element: with WantPanel the panel window shows it and its
// content is skipped; without, the content is read as ordinary HTML.
using TObjectTagEvent = std::function<void(TObject* Sender, ThvPanel* Panel, const TStringList& Attributes,
                                           const TStringList& Params, bool& WantPanel)>;

// Printing: before the job (a handler may call it off), a page's plain
// header and footer drawn on the paper's canvas, and an HTML header or
// footer that the handler loads into HFViewer (XL..XR is its width in the
// page's units, which the handler may narrow).
using THTMLViewPrinting = std::function<void(TObject* Sender, bool& StopPrinting)>;
using TPagePrinted =
    std::function<void(TObject* Sender, TCanvas* Canvas, int NumPage, int W, int H, bool& StopPrinting)>;
using ThtmlPagePrinted = std::function<void(TObject* Sender, THtmlView* HFViewer, int NumPage, bool LastPage,
                                            int& XL, int& XR, bool& StopPrinting)>;
using TExpandNameEvent = std::function<void(TObject* Sender, const String& SRC, String& Result)>;

// The inner panel the document is painted on. It is never erased: every
// paint covers its clip rectangle from an off-screen bitmap.
class TPaintPanel : public TCustomPanel {
public:
  TPaintPanel(TComponent* AOwner, THtmlView* Viewer);
  void Dispatch(TMessage& Message) override;
  // Drags over the page are the viewer's (its OnDragOver and OnDragDrop).
  void DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept) override;
  void DragDrop(TObject* Source, int X, int Y) override;

protected:
  void Paint() override;

private:
  THtmlView* FViewer;
};

class THtmlView : public THtmlViewBase {
public:
  explicit THtmlView(TComponent* AOwner);
  ~THtmlView() override;

  // ---- loading -----------------------------------------------------------------
  // S is the page's text; Reference may be empty and may end with "#anchor".
  void LoadFromString(const String& S, const String& Reference = String(),
                      TDocType DocType = HtmlType);
  void LoadFromFile(const String& FileName, TDocType DocType = HtmlType);
  // The one load path; the viewer takes Document over.
  void LoadDocument(std::unique_ptr<TBuffer> Document, const String& DocName, TDocType DocType);
  // The caller keeps the stream.
  void LoadDocumentStream(const String& DocName, TStream* Stream, TDocType DocType);
  virtual void OpenFileDocument(const String& FileName, TDocType DocType);
  virtual void ClearDocument();
  void Clear() { ClearDocument(); }

  // ---- position and scrolling ------------------------------------------------------
  // A code that stays on the same text after a change of width: an entry of
  // the document's position list and the offset below its top, or a plain Y.
  std::int32_t Position();
  void SetPosition(std::int32_t Value);
  int GetVScrollPos();
  void SetVScrollPos(int Y);
  int HScrollPos();
  void ScrollToY(int Y);
  int DocumentHeight() const { return FDocHeight; }
  int MaxHorzScrollWidth() const { return FScrollWidth; }

  // ---- selection, find and the clipboard -----------------------------------------
  void SelectAll();
  String GetSelText();
  String SelText() { return GetSelText(); }
  void CopyToClipboard();
  bool NoSelect() const { return FNoSelect; }
  void SetNoSelect(bool Value);
  std::int32_t SelStart();
  std::int32_t SelLength();
  void SetSelStart(std::int32_t Value);
  void SetSelLength(std::int32_t Value);
  std::int32_t CaretPos() const { return FCaretPos; }
  // Finds S from the caret on (or backwards) and selects it.
  bool Find(const String& S, bool MatchCase, bool Reverse = false);
  bool GetWordAt(int X, int Y, String& Word, int& After, int& Before);

  // ---- printing -------------------------------------------------------------------
  // Prints pages FromPage..ToPage (1-based) on APrinter, whose job stays
  // open for the caller, or in a job of its own on the program's printer.
  void Print(int FromPage = 1, int ToPage = 0x7FFFFFFF, ThtPrinter* APrinter = nullptr);
  // The same on a platform printer (its job stays open for the caller).
  void Print(int FromPage, int ToPage, TPrinter* APrinter);
  // The number of pages the document prints on (0 for an empty page), and
  // how much wider than the paper its widest line is.
  int NumPrinterPages();
  int NumPrinterPages(double& WidthRatio);
  // Counts (CountOnly) or records the pages FromPage..ToPage on a printer
  // that records pages; returns the last page made.
  virtual int PrintPreview(ThtPrinter* APrinter, bool CountOnly, int FromPage = 1, int ToPage = 0x7FFFFFFF);
  // A hidden viewer with this one's fonts and colours, for HTML headers
  // and footers; it prints page and table backgrounds.
  std::unique_ptr<THtmlView> CreateHeaderFooterViewer();
  // The widest line and height of the document at the last count or
  // preview, in the paper's units.
  int PrintWidestLine() const { return FPrintWidestLine; }
  int PrintDocHeight() const { return FPrintDocHeight; }
  bool IsPrinting() const { return FPrintDepth > 0; }

  // ---- document information -------------------------------------------------------
  String GetDocumentSource();
  String DocumentSource() { return GetDocumentSource(); }
  const String& DocumentTitle() const { return FDocumentTitle; }
  const String& CurrentFile() const { return FCurrentFile; }
  TDocType CurrentDocType() const { return FCurrentDocType; }
  const String& Base() const { return FBase; }
  const String& BaseTarget() const { return FBaseTarget; }
  ThtDocument* Document() const { return FSectionList.get(); }
  TPaintPanel* PaintPanel() const { return FPaintPanel; }
  TPanel* BorderPanel() const { return FBorderPanel; }
  TScrollBar* VScrollBar() const { return FVScrollBar; }
  TScrollBar* HScrollBar() const { return FHScrollBar; }
  TViewerState ViewerState() const { return FViewerState; }
  // The URL and target of the hot spot last reported, and the title of the
  // link or control under the mouse.
  const String& HotSpotURL() const { return FHotSpotURL; }
  const String& HotSpotTarget() const { return FHotSpotTarget; }
  const String& HotSpotTitle() const { return FHotSpotTitle; }
  // The address of the link (or form control) under the mouse at the last
  // mouse move; empty when it was over no link.
  const String& LinkUnderMouse() const { return FLinkUnderMouse; }
  TStringList* LinkAttributes() const { return FLinkAttributes.get(); }
  const String& LinkText() const { return FLinkText; }
  TPoint LinkStart() const { return FLinkStart; }
  void SetCharSet(int Value) { FCharSet = Value; }
  std::vector<TFontObj*>* GetLinkList();
  TStringList* VisitedList() const { return FVisited.get(); }

  // ---- history ------------------------------------------------------------------------
  TStringList* History() const { return FHistory.get(); }
  TStringList* TitleHistory() const { return FTitleHistory.get(); }
  int HistoryIndex() const { return FHistoryIndex; }
  void SetHistoryIndex(int Value);
  void ClearHistory();

  // ---- properties ---------------------------------------------------------------------
  THTMLBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(THTMLBorderStyle Value);
  int CharSet() const { return FCharSet; }
  TColor DefBackground() const { return FBackground; }
  void SetDefBackground(TColor Value);
  TColor DefFontColor() const { return FFontColor; }
  void SetDefFontColor(TColor Value) { FFontColor = Value; }
  const String& DefFontName() const { return FFontName; }
  void SetDefFontName(const String& Value) { FFontName = Value; }
  int DefFontSize() const { return FFontSize; }
  void SetDefFontSize(int Value) { FFontSize = Value; }
  TColor DefHotSpotColor() const { return FHotSpotColor; }
  void SetDefHotSpotColor(TColor Value);
  TColor DefOverLinkColor() const { return FOverColor; }
  void SetDefOverLinkColor(TColor Value);
  const String& DefPreFontName() const { return FPreFontName; }
  void SetDefPreFontName(const String& Value);
  TColor DefVisitedLinkColor() const { return FVisitedColor; }
  void SetDefVisitedLinkColor(TColor Value);
  int HistoryMaxCount() const { return FHistoryMaxCount; }
  void SetHistoryMaxCount(int Value);
  THtmlViewOptions HtOptions() const { return FOptions; }
  void SetHtOptions(THtmlViewOptions Value);
  int ImageCacheCount() const { return FImageCacheCount; }
  void SetImageCacheCount(int Value);
  int MarginHeight() const { return FMarginHeight; }
  void SetMarginHeight(int Value) { FMarginHeight = Value; }
  int MarginWidth() const { return FMarginWidth; }
  void SetMarginWidth(int Value) { FMarginWidth = Value; }
  double PrintMarginBottom() const { return FPrintMarginBottom; }
  void SetPrintMarginBottom(double V) { FPrintMarginBottom = V; }
  double PrintMarginLeft() const { return FPrintMarginLeft; }
  void SetPrintMarginLeft(double V) { FPrintMarginLeft = V; }
  double PrintMarginRight() const { return FPrintMarginRight; }
  void SetPrintMarginRight(double V) { FPrintMarginRight = V; }
  double PrintMarginTop() const { return FPrintMarginTop; }
  void SetPrintMarginTop(double V) { FPrintMarginTop = V; }
  int PrintMaxHPages() const { return FPrintMaxHPages; }
  void SetPrintMaxHPages(int V) { FPrintMaxHPages = V; }
  double PrintScale() const { return FPrintScale; }
  void SetPrintScale(double Value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle Value);
  const String& ServerRoot() const { return FServerRoot; }
  void SetServerRoot(const String& Value);
  bool ViewImages() const;
  void SetViewImages(bool Value);
  int VisitedMaxCount() const { return FVisitedMaxCount; }
  void SetVisitedMaxCount(int Value);
  // A value of 2 (the arrow of old) is stored as the I-beam.
  void SetCursor(TCursor Value);

  // ---- events kept in the document ------------------------------------------------------
  TGetImageEvent OnImageRequest() const;
  void SetOnImageRequest(const TGetImageEvent& Handler);
  TGetImageEvent OnImageRequested() const;
  void SetOnImageRequested(const TGetImageEvent& Handler);
  TGetBitmapEvent OnBitmapRequest() const;
  void SetOnBitmapRequest(const TGetBitmapEvent& Handler);
  void SetOnScript(const TScriptEvent& Handler) override;
  void SetOnFormSubmit(const TFormSubmitEvent& Handler);
  TFormSubmitEvent OnFormSubmit() const { return FOnFormSubmit; }
  // The page's form controls: a click, focus, blur or change that carries
  // a script text, and the browse button of a file input.
  TObjectClickEvent OnObjectClick() const;
  void SetOnObjectClick(const TObjectClickEvent& Handler);
  TObjectFocusEvent OnObjectFocus() const;
  void SetOnObjectFocus(const TObjectFocusEvent& Handler);
  TObjectFocusEvent OnObjectBlur() const;
  void SetOnObjectBlur(const TObjectFocusEvent& Handler);
  TObjectFocusEvent OnObjectChange() const;
  void SetOnObjectChange(const TObjectFocusEvent& Handler);
  TFileBrowseEvent OnFileBrowse() const;
  void SetOnFileBrowse(const TFileBrowseEvent& Handler);
  // Panels of the page (PANEL elements): made, freed and printed. The
  // application fills the window it is handed.
  TPanelCreateEvent OnPanelCreate() const;
  void SetOnPanelCreate(const TPanelCreateEvent& Handler);
  TPanelDestroyEvent OnPanelDestroy() const;
  void SetOnPanelDestroy(const TPanelDestroyEvent& Handler);
  TPanelPrintEvent OnPanelPrint() const;
  void SetOnPanelPrint(const TPanelPrintEvent& Handler);
  TFormControlObjList* GetFormControlList();

  // ---- events of the viewer itself ------------------------------------------------------
  THotSpotClickEvent OnHotSpotClick;
  THotSpotEvent OnHotSpotCovered;
  TRightClickEvent OnRightClick;
  TImageClickEvent OnImageClick;
  TImageOverEvent OnImageOver;
  TMouseEvent OnMouseDouble;
  TNotifyEvent OnHistoryChange;
  TProcessingEvent OnProcessing;
  TProgressEvent OnProgress;
  TMetaEvent OnMeta;
  TMetaRefreshEvent OnMetaRefresh;
  TFilenameExpandedEvent OnFilenameExpanded;
  TSoundRequestEvent OnSoundRequest;
  TLinkEvent OnLink;
  THtmlIncludeEvent OnInclude;
  TObjectTagEvent OnObjectTag;
  TParseEvent OnParseBegin;
  TNotifyEvent OnParseEnd;
  TStreamRequestEvent OnhtStreamRequest;
  THTMLViewPrinting OnPrinting;
  TNotifyEvent OnPrinted;
  TPagePrinted OnPrintHeader;
  TPagePrinted OnPrintFooter;
  ThtmlPagePrinted OnPrintHTMLHeader;
  ThtmlPagePrinted OnPrintHTMLFooter;
  // OnDragOver and OnDragDrop (the control's own) also hear drags over the
  // page, with the viewer as Sender and the page's coordinates.
  // Expands the name of a linked style sheet (the viewer's own ExpandName
  // when none is set).
  TExpandNameEvent OnDocumentStreamRequest() const;
  void SetOnDocumentStreamRequest(const TExpandNameEvent& Handler);

  // ---- operations the document and its parts call -----------------------------------------
  // The document's parts call it from inside loads and layouts: a handler
  // of OnFilenameExpanded that frees the viewer unwinds whatever asked.
  void ExpandName(const String& Name, String& Result) override;
  // The same for the owner; empty once a handler freed the viewer.
  String ExpandName(const String& Name);
  bool ShowFocusRect() override;
  void FormControlMouseMove(TObject* Sender, TShiftState Shift, int X, int Y) override;
  void ProgressRun(int Percent) override;
  // A form control or a link took the focus: keep it in view.
  void ControlEnter(TObject* Obj);
  // A key on a link's tab stop: Enter follows the link, other keys are
  // the viewer's (they scroll as they do anywhere on the page).
  void LinkKeyDown(TFontObj* Run, WORD& Key, TShiftState Shift);
  void FollowLink();
  void PostFollowLink();
  bool HotSpotClickHandled();
  // A form asks to be submitted: kept, and handed to OnFormSubmit from a
  // posted message once the form control's own handling has returned. The
  // viewer takes Results over.
  void SubmitForm(const String& Action, const String& Target, const String& EncType,
                  const String& Method, TStringList* Results);
  // Both expand the page's link names (OnFilenameExpanded); nothing (false)
  // once a handler freed the viewer.
  void AddVisitedLink(const String& URL);
  bool JumpToAnchor(const String& Dest);
  // Lays out again at the current width, keeping the position.
  void RefreshLayout();
  // Paints background and document into Canvas for a rectangle of panel
  // coordinates.
  void PaintDocument(TCanvas* Canvas, const TRect& R);
  // The document kind of a file name, by its extension.
  static TDocType DocTypeOfFileName(const String& Name);

  void Dispatch(TMessage& Message) override;
  void Repaint();

  // The number of viewers' recent documents that needed the vertical bar,
  // less those that did not; shared by every viewer.
  static std::int32_t VScrollPosCounter;

  // Drags over the viewer's own window and over the page.
  void DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept) override;
  void DragDrop(TObject* Source, int X, int Y) override;

protected:
  // The control's own events, raised as every event of the viewer is.
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;
  void KeyPress(char16_t& Key) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void DoEnter() override;
  void DoExit() override;
  void Resize() override;
  void Click() override;
  void DblClick() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void PaintWindow(HDC DC) override;

  // Mouse handlers installed on the paint panel.
  virtual void HTMLMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void HTMLMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  virtual void HTMLMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void HTMLMouseDblClk(TMessage& Message);
  // Extends the selection to a panel point while dragging.
  virtual void HTMLMouseExtend(int X, int Y);

private:
  friend class TPaintPanel;

  // Any handler of an event the viewer raises may load another page, clear
  // the page or the history, and with them free what the event was about
  // (an image, a form control, a history entry), or free the viewer itself.
  // The viewer's one rule (event_life.h): every event is raised through
  // htRaiseEvent on FLife, the record the viewer shares with its document;
  // once the handler has returned, the raiser goes on only while the token
  // shows the same page (and history, where it reads the history), and
  // returns at once when the viewer is gone, touching no member. Work that
  // raises events from deep inside (a load, a layout, a print) runs under
  // htRunWatched, which ends it when the viewer goes. Loads themselves run
  // when asked for, so that an owner that loads a page from a handler sees
  // it loaded on return.
  //
  // When a handler frees the viewer, whatever a running print job or load
  // still works on (the document, its source, the picture cache, the
  // panel) is handed by the destructor to the record: it goes with the
  // last token, after the job or the load has ended.
  struct TKept;
  ThtEventToken watchEvents() const { return ThtEventToken(FLife); }
  std::shared_ptr<ThtLife> FLife;

  // Both raise OnProcessing, unwinding when the viewer goes.
  void setProcessing(bool Value);
  template <class Work>
  void whileProcessing(Work&& W);
  void progressStart();
  void progressEnd();
  void prepareLoad();
  void loadNow(std::unique_ptr<TBuffer> Document, const String& DocName, TDocType DocType);
  void parseHtmlDocument();
  void parseTextDocument();
  void finishParse(const String& Title, const String& Base, const String& BaseTarget);
  void handleMeta(TObject* Sender, const String& HttpEq, const String& Name, const String& Content);
  void layoutDocument();
  void runDocumentLogic(int Width, int Height);
  // Panel size for content of the given size; which bars it needs.
  void computeViewArea(int ContentWidth, int ContentHeight, int& PW, int& PH, int& Inset,
                       bool& NeedV, bool& NeedH);
  void arrangeScrollBars();
  void setBarPageAndMax(TScrollBar* Bar, int Page, int Max);
  void eraseUncovered(HDC DC);
  void flagVisitedLinks();
  void addToHistory(const String& OldName, const String& OldTitle, std::int32_t OldPos,
                    std::unique_ptr<TFreeList<TStringList>> OldFormData, TDocType OldType);
  void updateBorder();
  void backgroundChanged();
  void resized();
  bool documentHasContent() const;
  String expandLink(const String& URL);
  // What the entries above do, unwinding when a handler frees the viewer.
  String expandName(const String& Name) {
    String r;
    ExpandName(Name, r);
    return r;
  }
  void addVisitedLink(const String& URL);
  bool jumpToAnchor(const String& Dest);

  // Painting and scrolling.
  void vScroll(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos);
  void hScroll(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos);
  void scrollPanelBy(int OldPos, int NewPos);
  void setHScroll(int Pos);

  // Mouse.
  void hoverTimer(TObject* Sender);
  void autoScrollLoop();
  void linkTextAndStart(const TUrlTarget& UT);
  void followLink();
  // Gives the keyboard focus to the tab stop of the link with this ID
  // without scrolling to it (the link was clicked where it is seen).
  void focusLink(std::int32_t ID);
  // Takes the keyboard focus for a click on the page; false when the page
  // went (or the viewer) with the focus.
  bool takeFocus();
  int hitTest(int X, int Y, std::unique_ptr<TUrlTarget>& UT, TFormControlObj*& Control,
              String& Title);
  bool objectAt(int X, int Y, TObject*& Obj, int& IX, int& IY);

  // Printing: lays a copy out for the paper and draws (or counts) its
  // pages; Mode 1 counts, 2 previews, 3 prints in a job of the viewer's
  // own, 4 on the caller's job (0: 2 on a page recorder, else 4).
  int printEngine(ThtPrinter* P, int FromPage, int ToPage, int Mode);
  struct PrintJob;
  void printHTMLBand(PrintJob& Job, bool Header, THtmlView* HF, int Page, bool LastPage);
  void printPageBackground(TCanvas* Canvas, int Left, int Top, int Width, int Height, TColor Color);

  // Selection.
  void selectionStart(int X, int Y, TShiftState Shift);
  int cursorPosAt(int X, int Y, bool* InText = nullptr);

  std::unique_ptr<ThtDocument> FSectionList;
  std::unique_ptr<TBuffer> FDocument;
  TPanel* FBorderPanel = nullptr;
  TPaintPanel* FPaintPanel = nullptr;
  TScrollBar* FVScrollBar = nullptr;
  TScrollBar* FHScrollBar = nullptr;
  std::unique_ptr<TTimer> FHoverTimer;
  std::unique_ptr<TStringList> FHistory;
  std::unique_ptr<TStringList> FTitleHistory;
  std::unique_ptr<TFreeList<PositionObj>> FPositionHistory;
  std::unique_ptr<TStringList> FVisited;
  std::unique_ptr<TStringList> FLinkAttributes;
  std::unique_ptr<TObject> FOwnImageCache;  // the image cache, when the viewer made it

  TViewerState FViewerState;
  String FCurrentFile;
  TDocType FCurrentDocType = HtmlType;
  String FDocumentTitle;
  String FBase;
  String FBaseTarget;
  int FRefreshDelay = 0;
  String FRefreshURL;
  int FDocHeight = 0;
  int FScrollWidth = 0;
  int FScrollBarThickness = 16;
  int FHistoryIndex = 0;
  String FHotSpotURL;
  String FHotSpotTarget;
  String FHotSpotTitle;
  String FLinkUnderMouse;
  String FLinkText;
  TPoint FLinkStart;
  std::int32_t FCaretPos = 0;
  std::int32_t FMouseDownPos = -1;
  int FMiddleScrollY = 0;
  bool FInhibitControlEnter = false;
  TStream* FImageStream = nullptr;
  // Wheel turns below one step are kept until they add up to one.
  int FWheelRemainder = 0;
  // A load asked for while the document is in use (printed, or scrolled by
  // the auto-scroll loop) waits here and runs when that ends.
  bool FInAutoScroll = false;
  bool FClearing = false;  // the page's panels are being freed
  struct PendingLoad;
  std::unique_ptr<PendingLoad> FPendingLoad;
  int FPrintDepth = 0;  // print jobs running on this viewer
  int FPrintWidestLine = 0, FPrintDocHeight = 0;
  double FPrintWidthRatio = 1.0;
  int FPrintedPage = 0;
  bool loadMustWait() const;
  void runPendingLoad();

  // Deferred form submission.
  String FFormAction, FFormTarget, FFormEncType, FFormMethod;
  std::unique_ptr<TStringList> FFormResults;
  TFormSubmitEvent FOnFormSubmit;

  // Published settings.
  THTMLBorderStyle FBorderStyle = htFocused;
  int FCharSet = 1;
  TColor FBackground = clBtnFace;
  TColor FFontColor = clBtnText;
  String FFontName = u"Times New Roman";
  int FFontSize = 12;
  TColor FHotSpotColor = clBlue;
  TColor FOverColor = clBlue;
  String FPreFontName = u"Courier New";
  TColor FVisitedColor = clPurple;
  int FHistoryMaxCount = 0;
  THtmlViewOptions FOptions{htPrintTableBackground, htPrintMonochromeBlack};
  int FImageCacheCount = 5;
  int FMarginHeight = 5;
  int FMarginWidth = 10;
  bool FNoSelect = false;
  double FPrintMarginBottom = 2.0, FPrintMarginLeft = 2.0, FPrintMarginRight = 2.0,
         FPrintMarginTop = 2.0;
  int FPrintMaxHPages = 2;
  double FPrintScale = 1.0;
  TScrollStyle FScrollBars = ssBoth;
  String FServerRoot;
  int FVisitedMaxCount = 50;
};
