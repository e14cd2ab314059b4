#pragma once
// The document: the root cell of the layout tree and everything that
// belongs to a page as a whole (style list, id list, links, tab stops,
// panels, forms, images waiting for their bytes, the background, the
// selection).
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "html/parse/prop_stack.h"
#include "html/parse/style_list.h"
#include "html/model/event_life.h"
#include "html/model/floating_objects.h"
#include "html/model/font_runs.h"
#include "html/forms/form_controls.h"
#include "html/model/section_base.h"
#include "html/model/shared_record.h"
#include "html/model/viewer_base.h"
#include "platform/core/string_list.h"
#include "platform/gui/controls.h"

class TFontObj;
class TSection;
class TPanelObj;
class TMapItem;
class TStringBitmapList;
class THtmlPropStack;
class SelTextCount;
class TWinControl;
class TComponent;
class TTimer;
class TGraphic;
class TBitmap;
class TStream;
class ThvPanel;
class THtmlTable;
class TImageObj;

// The inline element record of an element with a border: where it starts
// and ends in the source and, after conversion, in the document.
struct InlineRec {
  int32_t StartB = 0;    // document positions, after conversion
  int32_t EndB = 0;
  int32_t IDB = 0;       // property serial number of the element
  int32_t StartBDoc = 0; // source positions
  int32_t EndBDoc = htUnset;  // open until the element ends
  TMarginArray MargArray{};
  // Where layout put the element's horizontal room (margin, border and
  // padding): the room before its first character counted up to and
  // including this element, and the room after its last character counted
  // from the outside in to this element. Nested boxes that open or close at
  // the same character stack.
  int32_t InnerLeft = 0;
  int32_t OuterRight = 0;
};

class TInlineList {
public:
  explicit TInlineList(ThtDocument* AOwner) : Owner(AOwner) {}
  void Clear() {
    FItems.clear();
    NeedsConverting = true;
  }
  int Count() const { return int(FItems.size()); }
  InlineRec& Items(int I) { return FItems[size_t(I)]; }
  void Add(const InlineRec& R) { FItems.push_back(R); }
  // Document positions of the start and end of record I; htUnset outside.
  int StartOf(int I);
  int EndOf(int I);

  ThtDocument* Owner;
  bool NeedsConverting = true;
  std::vector<InlineRec> FItems;

private:
  void adjustValues();
};

// Ids and anchor names -> objects, sorted, case-insensitive. An object
// leaves the list by itself when it is freed.
class TIDObjectList {
public:
  ~TIDObjectList();
  // The last registration of a name wins; the replaced object is freed
  // when it says so.
  void AddObject(const String& S, TIDObject* AObject);
  void Clear();
  // Drops every entry naming the object (called when it is freed).
  void RemoveObject(TIDObject* AObject);
  bool Find(const String& S, int& Index) const;
  TIDObject* Objects(int Index) const { return FItems[size_t(Index)].Obj; }
  const String& Strings(int Index) const { return FItems[size_t(Index)].Name; }
  int Count() const { return int(FItems.size()); }
  // The object under a name, or nullptr.
  TIDObject* ObjectOf(const String& S) const;
  // The list holding an object, if any.
  static TIDObjectList* ListOf(const TIDObject* Obj);

private:
  struct Entry {
    String Name;
    String Key;  // lower case
    TIDObject* Obj;
  };
  void release(TIDObject* Obj);
  std::vector<Entry> FItems;
};

// The document's style list: hover rules switch link hover styling on.
class THtmlStyleList : public TStyleList {
public:
  explicit THtmlStyleList(ThtDocument* AMasterList) : MasterList(AMasterList) {}
  void SetHoverRulesPresent(bool Value) override;
  ThtDocument* MasterList;
};

// A control with a tab index, ordered by (TABINDEX, order of creation).
struct TTabStop {
  int32_t TabIndex;
  int32_t Sequence;
  TObject* Control;  // a ThtTabControl or a form control object
};

// Objects that wait for the bytes of a picture, by picture name.
struct TWaitingImage {
  String Name;
  TObject* Obj;
};

using TGetBitmapEvent = std::function<void(TObject* Sender, const String& SRC, TBitmap*& Bitmap, TColor& Color)>;
using TGetImageEvent = std::function<void(TObject* Sender, const String& SRC, TStream*& Stream)>;
using TExpandNameEvent = std::function<void(TObject* Sender, const String& SRC, String& Result)>;
using TScriptEvent = std::function<void(TObject* Sender, const String& Name, const String& ContentType, const String& Src, const String& Script)>;
using TLinkFocusEvent = std::function<void(TFontObj* Run)>;
// Where a form hands its submission; the receiver takes the list over.
using TFormSubmitHook = std::function<void(TObject* Sender, const String& Action, const String& Target,
                                           const String& EncType, const String& Method,
                                           std::unique_ptr<TStringList> Results)>;

struct TCellLooks;
class TIndentPool;

class ThtDocument : public TCell, public TStyledDocument {
public:
  ThtDocument(TObject* AViewer, TWinControl* APaintPanel);
  // The print copy: shares the image cache and the inline list.
  ThtDocument(const ThtDocument& Source);
  ~ThtDocument() override;

  void Clear() override;
  void ClearPanelAndControlLists();
  void AddChPosObjectToIDNameList(const String& S, int Pos);
  void ProcessInlines(int SIndex, TProperties* Prop, bool Start);
  TStyleList* StyleRules() const override;
  void EndInlineBox(int SIndex, TProperties* Prop) override { ProcessInlines(SIndex, Prop, false); }
  // Gives the sections the horizontal room of the inline boxes (layout).
  void PlaceInlineEdges();
  // The text sections (those in cells too) in the order of their source,
  // which is not always the order the document shows them in (a table
  // shows footer rows written before its body after it), with the source
  // position each starts at and ends before.
  struct TSourceOrder {
    std::vector<TSection*> Sections;
    std::vector<int> Starts, Ends;
    // The index of the first section that ends after SourcePos (Count()
    // when none does).
    size_t FirstEndingAfter(int SourcePos) const;
  };
  TSourceOrder SectionsInSourceOrder();
  void SetBackgroundColor(TColor Value);
  void SetBackgroundImage(const String& Name, const TBackgroundPosRecs& APrec);
  void AddToPositionList(TSectionBase* Item) { PositionList.push_back(Item); }
  void ApplyViewerDefaults(const String& FontName, const String& PreFontName, int FontSize,
                           TColor FontColor, TColor HotSpotColor, TColor VisitedColor,
                           TColor OverLinkColor, TColor Background, bool OverLinksActive,
                           bool UnderlineLinks, int CharSet, int MarginHeight, int MarginWidth);

  // Link list upkeep (font runs join and leave it).
  void AddLink(TFontObj* Run);
  void RemoveLink(TFontObj* Run);
  // Tab stops in (TABINDEX, creation) order.
  void AddTabStop(int TabIndex, TObject* Control);
  void RemoveTabStop(TObject* Control);
  void RemovePanel(TPanelObj* Panel);
  // Panel windows whose place the last paint did not draw leave Painted.
  void HideUnpaintedPanels(const TRect& Painted);
  void AddWaitingImage(const String& Name, TObject* Obj) { WaitingImages.push_back({Name, Obj}); }
  void RemoveWaitingImage(TObject* Obj);
  // Takes an item out of the position list (an item dropped by layout).
  void RemoveFromPositionList(TSectionBase* Item);
  // The indent managers table cells lay themselves out and draw with.
  TIndentPool& CellIndents() { return *FCellIndents; }

  // Layout, painting and queries (bodies belong to the layout code).
  int DoLogic(TCanvas* Canvas, int Y, int Width, int AvailHeight, int BlockHeight,
              int& ScrollWidth, int& Curs) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, int ClipWidth, int X, int Y, int XRef,
           int YRef) override;
  // Prints the page whose content starts at document Y Top on a canvas
  // whose printable area is Width x Height from its origin: the header rows
  // of a table running on from the previous page first, the content below
  // them, and the table's footer rows below the last row printed when it
  // runs on to the next page. Returns the document Y where the next page
  // starts (the first page starts at 0, after the layout).
  //
  // With Dry (a canvas that measures like the paper and draws nowhere) the
  // page is first run there to find where it ends, so that nothing that
  // belongs to the next page is drawn on this one (lines of cells side by
  // side end at different heights); a null Canvas only finds the end.
  // ContentEnd receives the page Y below which nothing of the page is.
  // A Trial leaves the table paging as it found it; a page cut into
  // slices across the width prints each slice with RepeatRow after the
  // first, which starts from where the first one started.
  int PrintPage(TCanvas* Canvas, int Top, int Width, int Height, TCanvas* Dry = nullptr,
                int* ContentEnd = nullptr, bool Trial = false, bool RepeatRow = false);
  uint8_t GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                 TFormControlObj*& FormControl, String& ATitle) override;
  bool CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) override;
  int FindDocPos(int SourcePos, bool Prev) override;
  void SetScrollY(int Y);
  TSectionBase* FindItemAtY(int Pos, int& TopPos, int& Index) const;
  int SelectionLength();
  void CopySelectionToClipboard();
  int CopySelectionToBuffer(char16_t* Buffer, int BufSize);
  void SetHoverControlPressed(bool Pressed);
  // Every form's name=value pairs (none without forms), and putting such a
  // list back into the controls of a page built from the same source.
  std::unique_ptr<TFreeList<TStringList>> CollectFormData();
  void SetFormData(const TFreeList<TStringList>& Data);
  void ClearHover();
  void FetchBackground();
  TGraphic* FetchImage(const String& Name, uint8_t& Transparent, TBitmap*& Mask, bool& FromCache,
                       bool& Delayed);

  // Settings block (a print copy takes it over).
  bool ImagesOn = true;
  bool Printing = false;
  int32_t ScrollY = 0;
  bool ControlsPending = false;
  int32_t SelStart = 0, SelEnd = 0;
  TColor VisitedColor = clPurple, OverLinkColor = clBlue, HotSpotColor = clBlue;
  bool PrintBlockBackgrounds = false, PrintPageBackground = false;
  bool ShowDummyCaret = false;  // a caret bar where the selection starts

  TObject* Viewer = nullptr;
  TWinControl* PaintPanel = nullptr;
  TGetBitmapEvent OnBitmapRequest;
  TGetImageEvent OnImageRequest;
  TGetImageEvent OnImageRequested;
  TExpandNameEvent OnExpandName;
  TColor BackgroundColor = clNone;
  String PreFont = u"Courier New";
  std::function<void(ThtDocument*)> OnBackgroundChange;
  TLinkFocusEvent LinkFocusHook;  // the viewer's ControlEnter for link tab stops
  // A key pressed on a link's tab stop (the viewer follows the link on Enter).
  std::function<void(TFontObj* Run, WORD& Key, TShiftState Shift)> LinkKeyDownHook;
  // Form controls: the viewer keeps a focused control in view; the
  // viewer's events for the page's controls; the submission receiver.
  std::function<void(TObject* Obj)> ControlEnterHook;
  TFileBrowseEvent OnFileBrowse;
  TObjectClickEvent OnObjectClick;
  TObjectFocusEvent OnObjectFocus, OnObjectBlur, OnObjectChange;
  TFormSubmitHook SubmitHook;
  bool PrintMonoBlack = true;  // one-bit printers print controls in black
  TPanelCreateEvent OnPanelCreate;
  TPanelDestroyEvent OnPanelDestroy;
  TPanelPrintEvent OnPanelPrint;
  TScriptEvent OnScript;
  // Makes and frees panel windows (the viewer supplies the window class).
  std::function<ThvPanel*(ThtDocument*)> CreatePanelWindow;
  std::function<void(ThvPanel*)> FreePanelWindow;

  TGraphic* BackgroundImage = nullptr;
  TBitmap* BackgroundMask = nullptr;
  TObject* BackgroundGif = nullptr;
  TBackgroundPosRecs BackgroundPos{};
  String BackgroundName;
  bool BackgroundTried = false;

  std::vector<std::unique_ptr<ThtmlForm>> Forms;
  std::vector<TObject*> AnimatedImages;
  SelTextCount* SelBuffer = nullptr;
  int32_t PageBottom = 0;
  // While a page prints: no line that ends below this document Y is drawn
  // (the page's end found beforehand).
  int32_t PrintDrawLimit = 0x7FFFFFFF;
  // A trial run of a printed page: page ends are found, lines not drawn.
  bool PrintMeasureOnly = false;
  // A trial drawing of a printed page (to see whether anything shows):
  // the application is not asked to draw its panels for it.
  bool PrintTrial = false;
  // The table paging at the start of the page row being printed.
  THtmlTable* RowStartTable = nullptr;
  int32_t RowStartRec[4] = {};
  bool PageBreakFlag = false;
  std::vector<std::unique_ptr<TMapItem>> Maps;
  std::unique_ptr<TTimer> AnimTimer;
  TFormControlObjList ControlList;
  std::vector<TPanelObj*> Panels;
  std::vector<TWaitingImage> WaitingImages;
  std::vector<TFontObj*> Links;
  TFontObj* HoverLink = nullptr;
  bool LinkHoverEnabled = false;
  TFormControlObj* HoverControl = nullptr;
  std::unique_ptr<THtmlStyleList> Styles;
  TDrawList DeferredImages;
  int32_t* FirstLineReceiver = nullptr;
  std::unique_ptr<TIDObjectList> IdList;
  std::vector<TSectionBase*> PositionList;
  // Set while the inline edges are placed: tables then list the sections of
  // their cells too, so that boxes in cells take room as in paragraphs.
  bool ListingCellSections = false;
  TStringBitmapList* ImageCache = nullptr;
  // Decoded pictures a page may hold at once: a few bytes of GIF can ask
  // for gigabytes. Pictures past it show as their alternative box.
  static constexpr uint64_t PictureBudget = uint64_t(64) << 20;
  uint64_t PictureBytes = 0;            // decoded bytes of the pictures this page shows
  std::vector<String> PicturesCounted;  // their cache keys, each counted once
  int32_t LayoutCycle = 0;
  // The record every event of the document, its controls and its viewer
  // is raised against (see event_life.h): it counts the pages this
  // document has held, and outlives it. A print copy shares its source's.
  // Empty once the viewer has handed the document to the record.
  std::shared_ptr<ThtLife> Life;
  // A token on Life, taken before an event is raised.
  ThtEventToken WatchEvents() const { return ThtEventToken(Life); }
  int32_t SectionCount = 0;
  // The section that reported the layout's progress last, and in which
  // layout (a section laid out again in the same layout says nothing new).
  int32_t ReportedSection = 0;
  int32_t ReportedCycle = -1;
  TRunFonts RunFonts;  // the fonts the text runs share
  int32_t ProgressBase = 0;
  bool IsCopy = false;
  bool NoBlockPaint = false;
  std::vector<TTabStop> TabStops;  // sorted by (TabIndex, Sequence)
  bool FirstOnPage = false;
  std::shared_ptr<TInlineList> Inlines;
  int32_t TableNesting = 0;
  bool InLogic2 = false;
  THtmlTable* PrintHeaderTable = nullptr;
  double ScaleX = 1.0, ScaleY = 1.0;
  bool SkipBlock = false;

  // Parse-time state: the parser's property stack while a parse runs
  // (sections read the no-wrap flag and push small-caps entries through
  // it), and whether links get tab stops.
  THtmlPropStack* PropStack = nullptr;
  bool NoTabLinks = false;  // more than 400 links
  // The source bytes one character takes at least (2 for a UTF-16 source):
  // the step of the sections' source runs.
  int32_t SourceStep = 1;
  int32_t DefaultFontSize = 12;
  // The box records of the table cells made last, which the next cells
  // share when they look the same.
  TSharedRecordCache<TCellLooks> CellLooks;

private:
  int printPageOnce(TCanvas* Canvas, int Top, int Width, int Height, int* ContentEnd);
  int32_t FTabSequence = 0;
  std::unique_ptr<TIndentManager> FOwnIndents;
  std::unique_ptr<TIndentPool> FCellIndents;
};
