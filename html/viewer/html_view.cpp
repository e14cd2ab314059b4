// The viewer control: construction, properties, every load path, layout
// with the scroll-bar decision, resizing, the position code and history.
#include "html/viewer/html_view.h"

#include <algorithm>
#include <cmath>

#include "html/parse/html_common.h"
#include "html/build/html_parser.h"
#include "html/parse/source_buffer.h"
#include "html/parse/url_routines.h"
#include "html/model/document.h"
#include "html/model/floating_objects.h"
#include "html/model/font_runs.h"
#include "html/images/image_cache.h"
#include "html/model/panel_window.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/gui/forms.h"

std::int32_t THtmlView::VScrollPosCounter = 0;

struct THtmlView::PendingLoad {
  std::unique_ptr<TBuffer> Buffer;        // a page
  std::unique_ptr<TMemoryStream> Stream;  // or a picture's bytes; neither: a clear
  String Name;
  TDocType Type = HtmlType;
};

bool THtmlView::loadMustWait() const { return FInAutoScroll || FPrintDepth > 0 || FClearing; }

void THtmlView::runPendingLoad() {
  if (!FPendingLoad || loadMustWait()) return;
  std::unique_ptr<PendingLoad> p = std::move(FPendingLoad);
  if (p->Buffer)
    LoadDocument(std::move(p->Buffer), p->Name, p->Type);
  else if (p->Stream)
    LoadDocumentStream(p->Name, p->Stream.get(), p->Type);
  else
    ClearDocument();
}

namespace {

// Restores the screen cursor when a load ends, however it ends.
class CursorGuard {
public:
  CursorGuard() : FOld(Screen ? Screen->Cursor() : crDefault) {
    if (Screen) Screen->SetCursor(crHourGlass);
  }
  ~CursorGuard() {
    if (Screen) Screen->SetCursor(FOld);
  }

private:
  TCursor FOld;
};

String extensionOf(const String& Name) {
  const std::size_t dot = Name.rfind(u'.');
  if (dot == String::npos) return String();
  const std::size_t slash = Name.find_last_of(u"/\\");
  if (slash != String::npos && slash > dot) return String();
  return htLowerCase(Name.substr(dot));
}

bool sameNoCase(const String& a, const String& b) { return AnsiLowerCase(a) == AnsiLowerCase(b); }

}  // namespace

// What a running job or load still used when its viewer was freed from
// one of its events; it goes with the last token, after the job or the
// load has ended.
struct THtmlView::TKept {
  std::unique_ptr<ThtDocument> Document;
  TPaintPanel* Panel = nullptr;  // owned once handed over
  std::unique_ptr<TBuffer> Source;
  std::unique_ptr<TObject> ImageCache;
  std::unique_ptr<TTimer> HoverTimer;
  ~TKept() {
    // The document's controls leave the panel before it goes, and its
    // pictures return to the cache before that goes.
    if (Document) {
      Document->Clear();
      Document->ImageCache = nullptr;
      Document.reset();
    }
    delete Panel;
    Source.reset();
    ImageCache.reset();
  }
};

// ---- construction --------------------------------------------------------------

THtmlView::THtmlView(TComponent* AOwner) : THtmlViewBase(AOwner) {
  FViewerState.Include(stCreating);
  RegisterViewerCursors();
  SetControlStyle(TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption,
                                csDoubleClicks});
  SetBounds(Left(), Top(), 150, 150);
  TControl::SetCursor(crIBeam);

  FBorderPanel = new TPanel(this);
  FBorderPanel->SetBevelInner(bvNone);
  FBorderPanel->SetBevelOuter(bvNone);
  FBorderPanel->SetCtl3D(false);
  FBorderPanel->SetShowCaption(false);
  FBorderPanel->SetParent(this);
  FBorderPanel->SetAlign(alClient);

  FPaintPanel = new TPaintPanel(this, this);
  FPaintPanel->SetParentFont(false);
  FPaintPanel->SetBevelInner(bvNone);
  FPaintPanel->SetBevelOuter(bvNone);
  FPaintPanel->SetCtl3D(false);
  FPaintPanel->SetShowCaption(false);
  FPaintPanel->SetParent(this);
  FPaintPanel->SetCursor(crIBeam);
  FPaintPanel->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    HTMLMouseDown(S, B, Sh, X, Y);
  };
  FPaintPanel->OnMouseMove = [this](TObject* S, TShiftState Sh, int X, int Y) { HTMLMouseMove(S, Sh, X, Y); };
  FPaintPanel->OnMouseUp = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    HTMLMouseUp(S, B, Sh, X, Y);
  };

  FVScrollBar = new TScrollBar(this);
  FVScrollBar->SetKind(sbVertical);
  FVScrollBar->SetSmallChange(16);
  FVScrollBar->SetTabStop(false);
  FVScrollBar->SetVisible(false);
  FVScrollBar->SetParent(this);
  FVScrollBar->OnScroll = [this](TObject* S, TScrollCode C, int& P) { vScroll(S, C, P); };
  FScrollBarThickness = std::max(FVScrollBar->Width(), GetSystemMetrics(SM_CXVSCROLL));
  if (FScrollBarThickness <= 0) FScrollBarThickness = 16;

  FHScrollBar = new TScrollBar(this);
  FHScrollBar->SetKind(sbHorizontal);
  FHScrollBar->SetSmallChange(15);
  FHScrollBar->SetTabStop(false);
  FHScrollBar->SetVisible(false);
  FHScrollBar->SetParent(this);
  FHScrollBar->OnScroll = [this](TObject* S, TScrollCode C, int& P) { hScroll(S, C, P); };

  FSectionList = std::make_unique<ThtDocument>(this, FPaintPanel);
  FLife = FSectionList->Life;
  FSectionList->OnBackgroundChange = [this](ThtDocument*) { backgroundChanged(); };
  FSectionList->LinkFocusHook = [this](TFontObj* Run) { ControlEnter(Run); };
  FSectionList->LinkKeyDownHook = [this](TFontObj* Run, WORD& Key, TShiftState Shift) {
    LinkKeyDown(Run, Key, Shift);
  };
  FSectionList->ControlEnterHook = [this](TObject* Obj) { ControlEnter(Obj); };
  FSectionList->CreatePanelWindow = [](ThtDocument* Document) { return CreateDocumentPanel(Document); };
  FSectionList->FreePanelWindow = [](ThvPanel* Panel) { delete Panel; };
  FSectionList->ImagesOn = true;
  FSectionList->OnExpandName = nullptr;

  SetDefBackground(clBtnFace);
  SetHtOptions(FOptions);

  FHistory = std::make_unique<TStringList>();
  FTitleHistory = std::make_unique<TStringList>();
  FPositionHistory = std::make_unique<TFreeList<PositionObj>>();
  FVisited = std::make_unique<TStringList>();
  FLinkAttributes = std::make_unique<TStringList>();
  FHoverTimer = std::make_unique<TTimer>(nullptr);
  FHoverTimer->SetEnabled(false);
  FHoverTimer->SetInterval(200);
  FHoverTimer->OnTimer = [this](TObject* S) { hoverTimer(S); };
  FViewerState.Exclude(stCreating);
}

THtmlView::~THtmlView() {
  // Messages that arrive while the children go (sizes, paints) find
  // nothing to lay out or paint.
  FViewerState.Include(stCreating);
  FViewerState.Include(stNoDraw);
  FHoverTimer->SetEnabled(false);
  FLife->Alive = false;
  if (FLife->Tokens > 0) {
    // Freed from a handler: an event's raiser is still on the stack, with
    // the document, its source and the panel in use. They are handed to
    // the life record, cut off from the viewer (nothing of the page calls
    // it or names it as a sender any more).
    auto kept = std::make_shared<TKept>();
    ThtDocument* doc = FSectionList.get();
    doc->AnimTimer.reset();  // the viewer owns it as a component
    doc->Viewer = nullptr;
    doc->Life.reset();  // the record keeps the document, not the other way round
    doc->OnBackgroundChange = nullptr;
    doc->LinkFocusHook = nullptr;
    doc->LinkKeyDownHook = nullptr;
    doc->ControlEnterHook = nullptr;
    doc->SubmitHook = nullptr;
    doc->OnBitmapRequest = nullptr;
    doc->OnImageRequest = nullptr;
    doc->OnImageRequested = nullptr;
    doc->OnExpandName = nullptr;
    doc->OnFileBrowse = nullptr;
    doc->OnObjectClick = nullptr;
    doc->OnObjectFocus = doc->OnObjectBlur = doc->OnObjectChange = nullptr;
    doc->OnPanelCreate = nullptr;
    doc->OnPanelDestroy = nullptr;
    doc->OnPanelPrint = nullptr;
    doc->OnScript = nullptr;
    kept->Document = std::move(FSectionList);
    kept->Source = std::move(FDocument);
    kept->ImageCache = std::move(FOwnImageCache);
    kept->HoverTimer = std::move(FHoverTimer);  // it may be the one raising
    // The page's controls and link tab stops give up their windows while
    // the panel's window still holds them; then the panel gives up its own.
    while (FPaintPanel->ControlCount() > 0) FPaintPanel->Controls(FPaintPanel->ControlCount() - 1)->SetParent(nullptr);
    RemoveComponent(FPaintPanel);
    FPaintPanel->SetParent(nullptr);
    kept->Panel = FPaintPanel;
    FPaintPanel = nullptr;
    FLife->Kept = std::move(kept);
    return;
  }
  if (FSectionList) {
    FSectionList->Clear();
    FSectionList->ImageCache = nullptr;
  }
  FSectionList.reset();
  FOwnImageCache.reset();
}

// ---- properties ----------------------------------------------------------------

void THtmlView::SetBorderStyle(THTMLBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  updateBorder();
}

void THtmlView::SetDefBackground(TColor Value) {
  if (FViewerState.Contains(stProcessing)) return;
  FBackground = Value;
  FSectionList->SetBackgroundColor(Value);
  FPaintPanel->SetColor(Value);
  Repaint();
}

void THtmlView::SetDefHotSpotColor(TColor Value) {
  FHotSpotColor = Value;
  FSectionList->HotSpotColor = Value;
}

void THtmlView::SetDefOverLinkColor(TColor Value) {
  FOverColor = Value;
  FSectionList->OverLinkColor = Value;
}

void THtmlView::SetDefVisitedLinkColor(TColor Value) {
  FVisitedColor = Value;
  FSectionList->VisitedColor = Value;
}

void THtmlView::SetDefPreFontName(const String& Value) {
  if (sameNoCase(Value, FSectionList->PreFont)) return;
  FPreFontName = Value;
  FSectionList->PreFont = Value;
}

void THtmlView::SetHistoryMaxCount(int Value) {
  if (Value < 0 || Value == FHistoryMaxCount) return;
  if (Value < FHistoryMaxCount) ClearHistory();
  FHistoryMaxCount = Value;
}

void THtmlView::SetHtOptions(THtmlViewOptions Value) {
  FOptions = Value;
  FSectionList->LinkHoverEnabled = Value.Contains(htOverLinksActive);
  FSectionList->PrintBlockBackgrounds =
      Value.Contains(htPrintTableBackground) || Value.Contains(htPrintBackground);
  FSectionList->PrintPageBackground = Value.Contains(htPrintBackground);
  FSectionList->PrintMonoBlack = Value.Contains(htPrintMonochromeBlack);
  FSectionList->ShowDummyCaret = Value.Contains(htShowDummyCaret);
  if (FPaintPanel) FPaintPanel->Invalidate();
}

void THtmlView::SetImageCacheCount(int Value) {
  Value = std::clamp(Value, 0, 20);
  if (Value == FImageCacheCount) return;
  FImageCacheCount = Value;
  if (FSectionList->ImageCache) FSectionList->ImageCache->SetCacheCount(Value);
}

void THtmlView::SetPrintScale(double Value) {
  if (std::isnan(Value) || Value < 0.125)
    Value = 0.125;
  else if (Value > 8.0)
    Value = 8.0;
  FPrintScale = Value;
}

void THtmlView::SetScrollBars(TScrollStyle Value) {
  if (Value == FScrollBars) return;
  FScrollBars = Value;
  if (!HandleAllocated() || FViewerState.Contains(stProcessing)) return;
  if (!htRunWatched(FLife, [this] { whileProcessing([this] { layoutDocument(); }); })) return;
  Repaint();
}

void THtmlView::SetServerRoot(const String& Value) {
  String v = Trim(Value);
  while (!v.empty() && (v.back() == u'/' || v.back() == u'\\')) v.pop_back();
  FServerRoot = v;
}

bool THtmlView::ViewImages() const { return FSectionList->ImagesOn; }

void THtmlView::SetViewImages(bool Value) {
  if (FViewerState.Contains(stProcessing) || Value == FSectionList->ImagesOn) return;
  CursorGuard cursor;
  (void)htRunWatched(FLife, [&] {
    whileProcessing([&] {
      FSectionList->ImagesOn = Value;
      if (documentHasContent()) {
        FSectionList->FetchBackground();
        const std::int32_t pos = Position();
        layoutDocument();
        SetPosition(pos);
        Repaint();
      }
    });
  });
}

void THtmlView::SetVisitedMaxCount(int Value) {
  Value = std::max(Value, 0);
  if (Value == FVisitedMaxCount) return;
  FVisitedMaxCount = Value;
  if (Value > 0) {
    while (FVisited->Count() > Value) FVisited->Delete(FVisited->Count() - 1);
    return;
  }
  FVisited->Clear();
  for (TFontObj* link : FSectionList->Links) link->SetVisited(false);
  Repaint();
}

void THtmlView::SetCursor(TCursor Value) { TControl::SetCursor(Value == 2 ? crIBeam : Value); }

TGetImageEvent THtmlView::OnImageRequest() const { return FSectionList->OnImageRequest; }
void THtmlView::SetOnImageRequest(const TGetImageEvent& Handler) { FSectionList->OnImageRequest = Handler; }
TGetImageEvent THtmlView::OnImageRequested() const { return FSectionList->OnImageRequested; }
void THtmlView::SetOnImageRequested(const TGetImageEvent& Handler) {
  FSectionList->OnImageRequested = Handler;
}
TGetBitmapEvent THtmlView::OnBitmapRequest() const { return FSectionList->OnBitmapRequest; }
void THtmlView::SetOnBitmapRequest(const TGetBitmapEvent& Handler) {
  FSectionList->OnBitmapRequest = Handler;
}

void THtmlView::SetOnScript(const TScriptEvent& Handler) {
  THtmlViewBase::SetOnScript(Handler);
  FSectionList->OnScript = Handler;
}

void THtmlView::SetOnFormSubmit(const TFormSubmitEvent& Handler) {
  FOnFormSubmit = Handler;
  // Forms submit only while someone listens.
  if (!Handler) {
    FSectionList->SubmitHook = nullptr;
    return;
  }
  FSectionList->SubmitHook = [this](TObject*, const String& Action, const String& Target, const String& EncType,
                                    const String& Method, std::unique_ptr<TStringList> Results) {
    SubmitForm(Action, Target, EncType, Method, Results.release());
  };
}

TObjectClickEvent THtmlView::OnObjectClick() const { return FSectionList->OnObjectClick; }
void THtmlView::SetOnObjectClick(const TObjectClickEvent& Handler) { FSectionList->OnObjectClick = Handler; }
TObjectFocusEvent THtmlView::OnObjectFocus() const { return FSectionList->OnObjectFocus; }
void THtmlView::SetOnObjectFocus(const TObjectFocusEvent& Handler) { FSectionList->OnObjectFocus = Handler; }
TObjectFocusEvent THtmlView::OnObjectBlur() const { return FSectionList->OnObjectBlur; }
void THtmlView::SetOnObjectBlur(const TObjectFocusEvent& Handler) { FSectionList->OnObjectBlur = Handler; }
TObjectFocusEvent THtmlView::OnObjectChange() const { return FSectionList->OnObjectChange; }
void THtmlView::SetOnObjectChange(const TObjectFocusEvent& Handler) { FSectionList->OnObjectChange = Handler; }
TPanelCreateEvent THtmlView::OnPanelCreate() const { return FSectionList->OnPanelCreate; }
void THtmlView::SetOnPanelCreate(const TPanelCreateEvent& Handler) { FSectionList->OnPanelCreate = Handler; }
TPanelDestroyEvent THtmlView::OnPanelDestroy() const { return FSectionList->OnPanelDestroy; }
void THtmlView::SetOnPanelDestroy(const TPanelDestroyEvent& Handler) { FSectionList->OnPanelDestroy = Handler; }
TPanelPrintEvent THtmlView::OnPanelPrint() const { return FSectionList->OnPanelPrint; }
void THtmlView::SetOnPanelPrint(const TPanelPrintEvent& Handler) { FSectionList->OnPanelPrint = Handler; }
TFileBrowseEvent THtmlView::OnFileBrowse() const { return FSectionList->OnFileBrowse; }
void THtmlView::SetOnFileBrowse(const TFileBrowseEvent& Handler) { FSectionList->OnFileBrowse = Handler; }
TFormControlObjList* THtmlView::GetFormControlList() { return &FSectionList->ControlList; }

std::vector<TFontObj*>* THtmlView::GetLinkList() { return &FSectionList->Links; }

// ---- processing and progress ---------------------------------------------------

void THtmlView::setProcessing(bool Value) {
  if (FViewerState.Contains(stProcessing) == Value) return;
  if (Value)
    FViewerState.Include(stProcessing);
  else
    FViewerState.Exclude(stProcessing);
  htRaiseEvent(FLife, OnProcessing, this, Value).UnwindIfGone();
}

template <class Work>
void THtmlView::whileProcessing(Work&& W) {
  const ThtEventToken watch = watchEvents();
  setProcessing(true);
  try {
    W();
  } catch (...) {
    if (!watch.Gone()) setProcessing(false);
    throw;
  }
  setProcessing(false);
}

void THtmlView::progressStart() { htRaiseEvent(FLife, OnProgress, this, psStarting, 0).UnwindIfGone(); }

void THtmlView::ProgressRun(int Percent) { htRaiseEvent(FLife, OnProgress, this, psRunning, Percent).UnwindIfGone(); }

void THtmlView::progressEnd() { htRaiseEvent(FLife, OnProgress, this, psEnding, 100).UnwindIfGone(); }

// ---- loading ----------------------------------------------------------------------

TDocType THtmlView::DocTypeOfFileName(const String& Name) {
  const String ext = extensionOf(Name);
  if (ext == u".html" || ext == u".css" || ext == u".htm" || ext == u".php" || ext == u".xhtml" ||
      ext == u".xht")
    return HtmlType;
  if (ext == u".gif" || ext == u".jpg" || ext == u".jpeg" || ext == u".png" || ext == u".bmp")
    return ImgType;
  if (ext == u".txt") return TextType;
  return OtherType;
}

void THtmlView::LoadFromString(const String& S, const String& Reference, TDocType DocType) {
  if (FViewerState.Contains(stProcessing)) return;
  LoadDocument(TBuffer::CreateFromString(S, Reference), Reference, DocType);
}

void THtmlView::prepareLoad() {
  if (!FSectionList->ImageCache) {
    auto cache = std::make_unique<TStringBitmapList>();
    cache->SetCacheCount(FImageCacheCount);
    FSectionList->ImageCache = cache.get();
    FOwnImageCache = std::move(cache);
    FViewerState.Include(stOwnImageCache);
  }
  const ThtEventToken watch = watchEvents();
  FSectionList->Clear();  // the page's panels say goodbye
  watch.UnwindIfGone();
  FSectionList->ImageCache->BumpAndCheck();
  FSectionList->ApplyViewerDefaults(FFontName, FPreFontName, FFontSize, FFontColor, FHotSpotColor,
                                    FVisitedColor, FOverColor, FBackground,
                                    FOptions.Contains(htOverLinksActive),
                                    !FOptions.Contains(htNoLinkUnderline), FCharSet, FMarginHeight,
                                    FMarginWidth);
}

void THtmlView::LoadDocument(std::unique_ptr<TBuffer> Document, const String& DocName, TDocType DocType) {
  if (FViewerState.Contains(stProcessing)) return;
  if (DocType == ImgType)
    throw EhtException(u"LoadDocument with DocType = 'ImgType' not supported.");
  if (!Document)
    throw EhtException(u"LoadDocument requires document to load. Parameter 'Document' must not be nil.");
  if (loadMustWait()) {
    FPendingLoad = std::make_unique<PendingLoad>();
    FPendingLoad->Buffer = std::move(Document);
    FPendingLoad->Name = DocName;
    FPendingLoad->Type = DocType;
    return;
  }
  // A handler called while the page is parsed or laid out may free the
  // viewer, which ends the load; callers watch for it themselves.
  (void)htRunWatched(FLife, [&] { loadNow(std::move(Document), DocName, DocType); });
}

void THtmlView::loadNow(std::unique_ptr<TBuffer> Document, const String& DocName, TDocType DocType) {
  String name, dest;
  SplitAtAnchor(DocName, name, dest);
  // Outlives the cursor guard and the parse.
  const ThtEventToken watch = watchEvents();
  const String oldFile = FCurrentFile;
  CursorGuard cursor;
  auto finish = [this] {
    FPaintPanel->Invalidate();
    FViewerState.Exclude(stNoDraw);
    progressEnd();
    setProcessing(false);
  };
  try {
    setProcessing(true);
    FViewerState.Include(stNoDraw);
    FRefreshDelay = 0;
    FRefreshURL.clear();
    FSectionList->ProgressBase = 75;
    progressStart();
    prepareLoad();
    FCaretPos = 0;
    FMouseDownPos = -1;
    FHotSpotURL.clear();
    FHotSpotTarget.clear();
    FLinkUnderMouse.clear();
    htRaiseEvent(FLife, OnSoundRequest, this, String(), 0, true).UnwindIfGone();
    FDocument = std::move(Document);
    FCurrentFile = name.empty() ? String() : ExpandFileName(name);
    FCurrentDocType = DocType;
    if (OnParseBegin) {
      // A buffer the handler hands back replaces ours, which is then the
      // handler's to free: also when the handler freed the viewer as well,
      // so ours is out of the viewer's hands while the handler runs.
      std::unique_ptr<TBuffer> source = std::move(FDocument);
      TBuffer* src = source.get();
      const ThtEventToken asked = htRaiseEvent(FLife, OnParseBegin, this, src);
      if (src != source.get()) {
        (void)source.release();
        source.reset(src);
      }
      asked.UnwindIfGone();
      FDocument = std::move(source);
    }
    if (DocType == HtmlType)
      parseHtmlDocument();
    else
      parseTextDocument();
    flagVisitedLinks();
    if (!jumpToAnchor(dest) && (FCurrentFile.empty() || FCurrentFile != oldFile)) {
      ScrollToY(0);
      setHScroll(0);
    }
  } catch (...) {
    if (!watch.Gone()) finish();
    throw;
  }
  finish();
  if (FRefreshDelay > 0) htRaiseEvent(FLife, OnMetaRefresh, this, FRefreshDelay, String(FRefreshURL)).UnwindIfGone();
}

void THtmlView::parseHtmlDocument() {
  THtmlParser parser(FDocument.get());
  // Every event of the parse is raised on the viewer's record; once the
  // viewer is gone the parse unwinds (its document, kept by the record,
  // outlives the unwinding).
  if (OnhtStreamRequest)
    parser.OnStreamRequest = [this, handler = OnhtStreamRequest](TObject*, const String& Src, TStream*& Stream) {
      htRaiseEvent(FLife, handler, this, Src, Stream).UnwindIfGone();
    };
  if (FSectionList->OnExpandName) {
    parser.ExpandName = [this, expand = FSectionList->OnExpandName](const String& n) {
      String r;
      htRaiseEvent(FLife, expand, this, n, r).UnwindIfGone();
      return r;
    };
  } else {
    parser.ExpandName = [this](const String& n) { return expandName(n); };
  }
  parser.MarginWidth = FMarginWidth;
  parser.MarginHeight = FMarginHeight;
  TLinkType onLink;
  if (OnLink) onLink = [this](TObject*, const String& Rel, const String& Rev, const String& Href) {
    htRaiseEvent(FLife, OnLink, this, Rel, Rev, Href).UnwindIfGone();
  };
  TSoundType onSound;
  if (OnSoundRequest) onSound = [this](TObject*, const String& S, int Loop, bool Terminate) {
    htRaiseEvent(FLife, OnSoundRequest, this, S, Loop, Terminate).UnwindIfGone();
  };
  TIncludeType onInclude;
  if (OnInclude) onInclude = [this](const String& Command, const std::vector<String>& Params,
                                    std::unique_ptr<TBuffer>& Included) {
    TStringList params;
    for (const String& p : Params) params.Add(p);
    htRaiseEvent(FLife, OnInclude, this, Command, &params, Included).UnwindIfGone();
  };
  if (OnObjectTag) parser.OnObjectTag = [this](TObject*, TPanelObj* Panel, const TStringList& Attributes,
                                               const TStringList& Params, bool& WantPanel) {
    htRaiseEvent(FLife, OnObjectTag, this, Panel ? Panel->Panel : nullptr, Attributes, Params, WantPanel)
        .UnwindIfGone();
    // The application sizes an object's window here, as it does a panel's in
    // OnPanelCreate: that is its natural size.
    if (WantPanel && Panel && Panel->Panel) {
      Panel->SetWidth = Panel->Panel->Width();
      Panel->SetHeight = Panel->Panel->Height();
    }
  };
  parser.ParseHtml(
      FSectionList.get(), onLink,
      [this](TObject* S, const String& H, const String& N, const String& C) { handleMeta(S, H, N, C); },
      onSound, onInclude);
  finishParse(parser.GetTitle(), parser.Base, parser.BaseTarget);
}

void THtmlView::parseTextDocument() {
  THtmlParser parser(FDocument.get());
  parser.ParseText(FSectionList.get());
  finishParse(parser.GetTitle(), String(), String());
}

void THtmlView::finishParse(const String& Title, const String& Base, const String& BaseTarget) {
  FDocumentTitle = Title;
  FBase = Base;
  FBaseTarget = BaseTarget;
  htRaiseEvent(FLife, OnParseEnd, this).UnwindIfGone();
  FViewerState.Include(stNoDraw);
  FSectionList->FetchBackground();
  layoutDocument();
  FViewerState.Exclude(stNoDraw);
}

void THtmlView::handleMeta(TObject*, const String& HttpEq, const String& Name, const String& Content) {
  htRaiseEvent(FLife, OnMeta, this, HttpEq, Name, Content).UnwindIfGone();
  if (!OnMetaRefresh || !sameNoCase(HttpEq, u"refresh")) return;
  const std::size_t semi = Content.find(u';');
  int delay = StrToIntDef(Trim(Content.substr(0, semi)), -1);
  if (delay < 0) return;
  if (delay == 0) delay = 1;
  const String low = AnsiLowerCase(Content);
  const std::size_t u = low.find(u"url=");
  FRefreshURL = u == String::npos ? String() : Trim(Content.substr(u + 4));
  FRefreshDelay = delay;
}

void THtmlView::LoadFromFile(const String& FileName, TDocType DocType) {
  if (FViewerState.Contains(stProcessing) || FileName.empty()) return;
  const String oldFile = FCurrentFile, oldTitle = FDocumentTitle;
  const std::int32_t oldPos = Position();
  const TDocType oldType = FCurrentDocType;
  // What was typed into the old page's forms goes into its history entry.
  std::unique_ptr<TFreeList<TStringList>> oldFormData = FSectionList->CollectFormData();
  const ThtEventToken watch = watchEvents();
  OpenFileDocument(FileName, DocType);
  if (watch.Gone()) return;
  if (FCurrentFile != oldFile || FCurrentDocType != oldType)
    addToHistory(oldFile, oldTitle, oldPos, std::move(oldFormData), oldType);
}

void THtmlView::OpenFileDocument(const String& FileName, TDocType DocType) {
  String name, dest;
  SplitAtAnchor(FileName, name, dest);
  const String full = ExpandFileName(name);
  if (!FileExists(full)) throw EhtLoadError(u"Can't locate '" + full + u"'.");
  TFileStream stream(full, fmOpenRead | fmShareDenyWrite);
  LoadDocumentStream(full + dest, &stream, DocType);
}

void THtmlView::LoadDocumentStream(const String& DocName, TStream* Stream, TDocType DocType) {
  if (FViewerState.Contains(stProcessing) || !Stream) return;
  Stream->SetPosition(0);
  if (DocType != ImgType && DocType != OtherType) {
    LoadDocument(TBuffer::CreateFromStream(*Stream, DocName), DocName, DocType);
    return;
  }
  if (loadMustWait()) {
    auto copy = std::make_unique<TMemoryStream>();
    copy->LoadFromStream(Stream);
    FPendingLoad = std::make_unique<PendingLoad>();
    FPendingLoad->Stream = std::move(copy);
    FPendingLoad->Name = DocName;
    FPendingLoad->Type = DocType;
    return;
  }
  // A picture shows as a page holding nothing but the picture, which the
  // image request below hands out from the stream.
  TGetImageEvent saved = FSectionList->OnImageRequest;
  FImageStream = Stream;
  FSectionList->OnImageRequest = [this](TObject*, const String&, TStream*& S) { S = FImageStream; };
  String name, dest;
  SplitAtAnchor(DocName, name, dest);
  const ThtEventToken watch = watchEvents();
  try {
    LoadDocument(TBuffer::CreateFromString(u"<img src=\"" + name + u"\">", DocName), DocName, HtmlType);
  } catch (...) {
    FImageStream = nullptr;
    FSectionList->OnImageRequest = saved;
    throw;
  }
  if (watch.Gone()) return;
  FImageStream = nullptr;
  FSectionList->OnImageRequest = saved;
  FCurrentDocType = DocType;
}

void THtmlView::ClearDocument() {
  if (FViewerState.Contains(stProcessing)) return;
  if (FPrintDepth > 0 || FClearing) {
    // The job's copy shares the page's pictures and inline records: the
    // page is cleared when the job ends, unless a load comes after.
    FPendingLoad = std::make_unique<PendingLoad>();
    return;
  }
  const ThtEventToken watch = watchEvents();
  FHoverTimer->SetEnabled(false);
  // The page's panels say goodbye; a page their handlers load waits until
  // the clearing is done, and is shown instead of the empty page.
  FClearing = true;
  try {
    FSectionList->Clear();
  } catch (...) {
    if (!watch.Gone()) FClearing = false;
    throw;
  }
  if (watch.Gone()) return;
  if (FViewerState.Contains(stOwnImageCache) && FSectionList->ImageCache)
    FSectionList->ImageCache->Clear();
  FSectionList->ApplyViewerDefaults(FFontName, FPreFontName, FFontSize, FFontColor, FHotSpotColor,
                                    FVisitedColor, FOverColor, FBackground,
                                    FOptions.Contains(htOverLinksActive),
                                    !FOptions.Contains(htNoLinkUnderline), FCharSet, FMarginHeight,
                                    FMarginWidth);
  FBase.clear();
  FBaseTarget.clear();
  FDocumentTitle.clear();
  FDocument.reset();
  FCurrentFile.clear();
  FDocHeight = 0;
  FScrollWidth = 0;
  FVScrollBar->SetPosition(0);
  FHScrollBar->SetPosition(0);
  FVScrollBar->SetVisible(false);
  FHScrollBar->SetVisible(false);
  FSectionList->SetScrollY(0);
  FCaretPos = 0;
  FMouseDownPos = -1;
  FHotSpotURL.clear();
  FLinkUnderMouse.clear();
  FClearing = false;
  if (FPendingLoad && !loadMustWait()) {
    runPendingLoad();
    return;
  }
  if (htRaiseEvent(FLife, OnSoundRequest, this, String(), 0, true).Gone()) return;
  Repaint();
}

TExpandNameEvent THtmlView::OnDocumentStreamRequest() const { return FSectionList->OnExpandName; }

void THtmlView::SetOnDocumentStreamRequest(const TExpandNameEvent& Handler) { FSectionList->OnExpandName = Handler; }

bool THtmlView::documentHasContent() const { return FSectionList->Count() > 0; }

String THtmlView::GetDocumentSource() {
  if (!FDocument) return String();
  const int pos = FDocument->GetPosition();
  FDocument->SetPosition(0);
  String s = FDocument->ReadToEnd();
  FDocument->SetPosition(pos);
  return s;
}

// ---- layout --------------------------------------------------------------------------

void THtmlView::runDocumentLogic(int Width, int Height) {
  int curs = 0;
  FScrollWidth = 0;
  FDocHeight = FSectionList->DoLogic(FPaintPanel->Canvas(), 0, std::max(Width, 1), Height, 0,
                                     FScrollWidth, curs);
}

void THtmlView::computeViewArea(int ContentWidth, int ContentHeight, int& PW, int& PH, int& Inset,
                                bool& NeedV, bool& NeedH) {
  const int border = FBorderStyle == htNone ? 0 : FBorderPanel->Width() - FBorderPanel->ClientWidth();
  Inset = border / 2;
  PW = Width() - border;
  PH = Height() - border;
  NeedV = NeedH = false;
  const int t = FScrollBarThickness;
  switch (FScrollBars) {
    case ssHorizontal:
      if (PW < ContentWidth) {
        NeedH = true;
        PH -= t;
      }
      break;
    case ssVertical:
      if (FOptions.Contains(htShowVScroll) || PH < ContentHeight) {
        NeedV = true;
        PW -= t;
      }
      break;
    case ssBoth:
      if (FOptions.Contains(htShowVScroll) || PH < ContentHeight) {
        NeedV = true;
        PW -= t;
      }
      if (PW < ContentWidth) {
        NeedH = true;
        PH -= t;
      }
      if (!NeedV && PH < ContentHeight) {
        NeedV = true;
        PW -= t;
      }
      break;
    case ssNone:
      break;
  }
  PW = std::max(PW, 0);
  PH = std::max(PH, 0);
}

void THtmlView::layoutDocument() {
  HandleNeeded();
  const ThtEventToken watch = watchEvents();  // pictures are asked for on the way
  FViewerState.Include(stNoDraw);
  try {
    int W, H, inset;
    bool needV, needH;
    computeViewArea(0, 0, W, H, inset, needV, needH);
    const int t = FScrollBarThickness;
    const bool showV = FOptions.Contains(htShowVScroll);
    if (FScrollBars != ssVertical && FScrollBars != ssBoth) {
      runDocumentLogic(W, H);
    } else {
      int pw, ph;
      bool counted = true;
      if (VScrollPosCounter >= 0) {
        runDocumentLogic(W - t, H);
        if (!showV && FDocHeight > 0) {
          computeViewArea(FScrollWidth, FDocHeight, pw, ph, inset, needV, needH);
          if (!(needV && FDocHeight > 2 * H)) {
            runDocumentLogic(W, H);
            computeViewArea(FScrollWidth, FDocHeight, pw, ph, inset, needV, needH);
            if (needV) runDocumentLogic(W - t, H);
          }
        } else {
          counted = false;
        }
      } else if (showV) {
        runDocumentLogic(W - t, H);
        counted = false;
      } else {
        runDocumentLogic(W, H);
        computeViewArea(FScrollWidth, FDocHeight, pw, ph, inset, needV, needH);
        if (needV) {
          runDocumentLogic(W - t, H);
          computeViewArea(FScrollWidth, FDocHeight, pw, ph, inset, needV, needH);
          if (!needV) runDocumentLogic(W, H);
        }
      }
      if (counted && FDocHeight > 0 && !showV) {
        computeViewArea(FScrollWidth, FDocHeight, pw, ph, inset, needV, needH);
        // Saturating: the counter only needs its sign.
        if (needV) {
          if (VScrollPosCounter < 1000000) ++VScrollPosCounter;
        } else if (VScrollPosCounter > -1000000) {
          --VScrollPosCounter;
        }
      }
    }
    arrangeScrollBars();
  } catch (...) {
    if (!watch.Gone()) FViewerState.Exclude(stNoDraw);
    throw;
  }
  FViewerState.Exclude(stNoDraw);
}

void THtmlView::setBarPageAndMax(TScrollBar* Bar, int Page, int Max) {
  if (Page >= Bar->Max()) {
    Bar->SetMax(Max);
    Bar->SetPageSize(Page);
  } else {
    Bar->SetPageSize(std::min(Page, Max));
    Bar->SetMax(Max);
  }
}

void THtmlView::arrangeScrollBars() {
  FScrollWidth = std::min(FScrollWidth, 6000);
  int PW, PH, inset;
  bool needV, needH;
  computeViewArea(FScrollWidth, FDocHeight, PW, PH, inset, needV, needH);
  FBorderPanel->SetVisible(inset > 0);
  FPaintPanel->SetBounds(inset, inset, PW, PH);
  const int t = FScrollBarThickness;

  FHScrollBar->SetVisible(needH);
  if (needH) {
    FHScrollBar->SetBounds(inset, inset + PH, PW, t);
    FHScrollBar->SetLargeChange(std::max(PW - FHScrollBar->SmallChange(), 16));
    FHScrollBar->SetEnabled(PW < FScrollWidth);
    if (PW < FScrollWidth) setBarPageAndMax(FHScrollBar, PW, FScrollWidth);
  }
  if (!needH || PW >= FScrollWidth) setHScroll(0);

  FVScrollBar->SetVisible(needV);
  if (needV) {
    FVScrollBar->SetBounds(inset + PW, inset, t, PH);
    FVScrollBar->SetLargeChange(std::max(PH - FVScrollBar->SmallChange(), 16));
    FVScrollBar->SetEnabled(PH < FDocHeight);
    setBarPageAndMax(FVScrollBar, PH, std::max(FDocHeight, 0));
  }
}

void THtmlView::resized() {
  if (FViewerState.Contains(stCreating)) return;
  const ThtEventToken watch = watchEvents();
  if (FViewerState.Contains(stProcessing))
    arrangeScrollBars();
  else
    RefreshLayout();
  if (watch.Gone()) return;
  if (FPaintPanel->Height() <= FDocHeight)
    ScrollToY(FVScrollBar->Position());
  else
    SetPosition(0);
  setHScroll(std::min(HScrollPos(), std::max(FHScrollBar->Max() - FPaintPanel->Width(), 0)));
}

void THtmlView::RefreshLayout() {
  if (FViewerState.Contains(stProcessing)) return;
  // Callers watch for a handler that freed the viewer themselves.
  (void)htRunWatched(FLife, [this] {
    whileProcessing([this] {
      const std::int32_t pos = Position();
      FSectionList->ProgressBase = 0;
      progressStart();
      layoutDocument();
      SetPosition(pos);
      progressEnd();
    });
  });
}

// ---- position --------------------------------------------------------------------------

int THtmlView::GetVScrollPos() { return FVScrollBar->Position(); }

void THtmlView::SetVScrollPos(int Y) {
  Y = std::max(0, std::min(Y, FDocHeight - FPaintPanel->Height()));
  if (Y == FVScrollBar->Position() && Y == FSectionList->ScrollY) return;
  ScrollToY(Y);
}

int THtmlView::HScrollPos() { return FHScrollBar->Position(); }

void THtmlView::setHScroll(int Pos) {
  Pos = std::max(Pos, 0);
  if (Pos != FHScrollBar->Position()) FHScrollBar->SetPosition(Pos);
}

void THtmlView::ScrollToY(int Y) {
  Y = std::max(0, std::min(Y, FDocHeight - FPaintPanel->Height()));
  if (FVScrollBar->Max() < Y) FVScrollBar->SetMax(Y);
  FVScrollBar->SetPosition(Y);
  FSectionList->SetScrollY(Y);
  FPaintPanel->Invalidate();
}

// The code keeps the entry index above 16 bits and the offset in the low
// 16 bits, as saved positions expect; an offset that does not fit (a
// section taller than 64K pixels) falls back to the plain Y, which is 32
// bits wide as well.
std::int32_t THtmlView::Position() {
  const int Y = FVScrollBar->Position();
  int top = 0, index = 0;
  if (FSectionList->FindItemAtY(Y, top, index) && Y - top <= 0xFFFF && index < 0x7FFE)
    return ((index + 1) << 16) + ((Y - top) & 0xFFFF);
  return Y <= 0xFFFF ? Y : -Y;
}

void THtmlView::SetPosition(std::int32_t Value) {
  if (Value < 0) {
    ScrollToY(-Value);
    return;
  }
  if (Value <= 0xFFFF) {
    ScrollToY(Value);
    return;
  }
  const std::size_t index = std::size_t(Value >> 16) - 1;
  if (index >= FSectionList->PositionList.size()) return;
  ScrollToY(FSectionList->PositionList[index]->GetYPosition() + (Value & 0xFFFF));
}

// ---- links: names, visited list, history ---------------------------------------------

void THtmlView::ExpandName(const String& Name, String& Result) {
  const std::size_t scheme = Name.find(u"://");
  if (scheme != String::npos && scheme > 0 && htLowerCase(Name).find(u"file://") == String::npos) {
    Result = Name;
  } else {
    Result = UrlToDosPathWithRoot(Name, FServerRoot);
    if (!Result.empty() && (Result[0] == u'/' || Result[0] == u'\\')) {
      Result = ExpandFileName(Result);
    } else if (Result.size() > 1 && Result[1] == u':') {
      // a drive-qualified name stays as it is
    } else if (!sameNoCase(FBase, u"DosPath")) {
      if (!FBase.empty())
        Result = CombineDosPath(UrlToDosPath(FBase), Result);
      else
        Result = ExpandFileName(CombineDosPath(ExtractFilePath(FCurrentFile), Result));
    }
  }
  // Called from inside loads and layouts as from the owner: a handler
  // that frees the viewer unwinds whatever asked.
  htRaiseEvent(FLife, OnFilenameExpanded, this, Result).UnwindIfGone();
}

String THtmlView::expandLink(const String& URL) {
  if (!URL.empty() && URL[0] == u'#') return FCurrentFile + URL;
  return expandName(URL);
}

void THtmlView::flagVisitedLinks() {
  if (FVisitedMaxCount == 0) return;
  for (int i = 0; i < FVisited->Count(); ++i) {
    const String v = FVisited->Strings(i);
    for (TFontObj* link : FSectionList->Links)
      if (!link->Visited() && sameNoCase(expandLink(link->GetURL()), v)) link->SetVisited(true);
  }
}

String THtmlView::ExpandName(const String& Name) {
  String r;
  return htRunWatched(FLife, [&] { ExpandName(Name, r); }) ? r : String();
}

void THtmlView::AddVisitedLink(const String& URL) { (void)htRunWatched(FLife, [&] { addVisitedLink(URL); }); }

bool THtmlView::JumpToAnchor(const String& Dest) {
  bool jumped = false;
  return htRunWatched(FLife, [&] { jumped = jumpToAnchor(Dest); }) && jumped;
}

void THtmlView::addVisitedLink(const String& URL) {
  if (FVisitedMaxCount == 0) return;
  int I = -1;
  for (int i = 0; i < FVisited->Count(); ++i)
    if (sameNoCase(FVisited->Strings(i), URL)) {
      I = i;
      break;
    }
  if (I == 0) return;
  if (I > 0) {
    FVisited->Delete(I);
  } else {
    for (TFontObj* link : FSectionList->Links)
      if (expandLink(link->GetURL()) == URL) link->SetVisited(true);
  }
  FVisited->Insert(0, URL);
  while (FVisited->Count() > FVisitedMaxCount) FVisited->Delete(FVisited->Count() - 1);
}

bool THtmlView::jumpToAnchor(const String& Dest) {
  if (Dest.empty()) return false;
  String name = Dest[0] == u'#' ? Dest.substr(1) : Dest;
  if (!FSectionList->IdList) return false;
  TIDObject* obj = FSectionList->IdList->ObjectOf(htUpperCase(name));
  if (!obj) return false;
  ScrollToY(obj->GetYPosition());
  setHScroll(0);
  FPaintPanel->Invalidate();
  addVisitedLink(FCurrentFile + u"#" + name);
  return true;
}

void THtmlView::addToHistory(const String& OldName, const String& OldTitle, std::int32_t OldPos,
                             std::unique_ptr<TFreeList<TStringList>> OldFormData, TDocType OldType) {
  if (FHistoryMaxCount < 1 || FCurrentFile.empty()) return;
  if (OldName == FCurrentFile && OldType == FCurrentDocType && OldPos == Position()) return;
  if (FHistory->Count() > 0 && !OldName.empty()) {
    FHistory->SetStrings(FHistoryIndex, OldName);
    FTitleHistory->SetStrings(FHistoryIndex, OldTitle);
    PositionObj* p = FPositionHistory->Items(FHistoryIndex);
    p->Pos = OldPos;
    p->FileType = OldType;
    p->FormData = OldName == FCurrentFile ? nullptr : std::move(OldFormData);
    for (int i = 0; i < FHistoryIndex; ++i) {
      FHistory->Delete(0);
      FTitleHistory->Delete(0);
      FPositionHistory->Delete(0);
    }
  }
  ++FLife->History;
  FHistoryIndex = 0;
  FHistory->Insert(0, FCurrentFile);
  FTitleHistory->Insert(0, FDocumentTitle);
  auto p = std::make_unique<PositionObj>();
  p->Pos = Position();
  p->FileType = FCurrentDocType;
  FPositionHistory->Insert(0, std::move(p));
  if (FHistory->Count() > FHistoryMaxCount) {
    FHistory->Delete(FHistoryMaxCount);
    FTitleHistory->Delete(FHistoryMaxCount);
    FPositionHistory->Delete(FHistoryMaxCount);
  }
  (void)htRaiseEvent(FLife, OnHistoryChange, this);
}

void THtmlView::ClearHistory() {
  ++FLife->History;
  const bool had = FHistory->Count() > 0;
  FHistory->Clear();
  FTitleHistory->Clear();
  FPositionHistory->Clear();
  FHistoryIndex = 0;
  FCurrentFile.clear();
  if (had) (void)htRaiseEvent(FLife, OnHistoryChange, this);
}

void THtmlView::SetHistoryIndex(int Value) {
  if (FViewerState.Contains(stProcessing) || Value < 0 || Value >= FHistory->Count() ||
      Value == FHistoryIndex)
    return;
  // The entry being left keeps where it was shown.
  if (FHistoryIndex < FPositionHistory->Count()) FPositionHistory->Items(FHistoryIndex)->Pos = Position();
  const String name = FHistory->Strings(Value);
  const PositionObj* p = FPositionHistory->Items(Value);
  const std::int32_t pos = p->Pos;
  const TDocType type = p->FileType;
  if (name != FCurrentFile || type != FCurrentDocType) {
    const ThtEventToken watch = watchEvents();
    OpenFileDocument(name, type);
    // A handler of the load may have cleared or rebuilt the history (the
    // entry is gone, and the index with it), or freed the viewer.
    if (!watch.HistoryKept()) return;
    if (p->FormData) {
      // The boxes ticked again raise their clicks, whose handlers may show
      // another page or free the viewer.
      const ThtEventToken filled = watchEvents();
      FSectionList->SetFormData(*p->FormData);
      if (!filled.PageKept() || !filled.HistoryKept()) return;
    }
  }
  FHistoryIndex = Value;
  SetPosition(pos);
  (void)htRaiseEvent(FLife, OnHistoryChange, this);
}

// ---- border, focus, background -----------------------------------------------------------

void THtmlView::updateBorder() {
  const bool single = FBorderStyle == htSingle || (FBorderStyle == htFocused && Focused());
  FBorderPanel->SetBorderStyle(single ? bsSingle : bsNone);
}

void THtmlView::DoEnter() {
  if (htRaiseEvent(FLife, OnEnter, this).Gone()) return;
  updateBorder();
}

void THtmlView::Resize() { (void)htRaiseEvent(FLife, OnResize, this); }

void THtmlView::DoExit() {
  if (htRaiseEvent(FLife, OnExit, this).Gone()) return;
  updateBorder();
}

void THtmlView::backgroundChanged() {
  FPaintPanel->SetColor(TColor(FSectionList->BackgroundColor | PalRelative));
}

bool THtmlView::ShowFocusRect() { return !FOptions.Contains(htNoFocusRect); }

void THtmlView::Repaint() {
  FPaintPanel->Invalidate();
  THtmlViewBase::Repaint();
}

void THtmlView::PaintWindow(HDC DC) {
  // The panels and scroll bars are windows of their own and repaint with
  // the view; invalidating them from here would schedule the next paint
  // from every paint, keeping the program painting forever.
  (void)DC;
}
