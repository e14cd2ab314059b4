// The document: construction, its lists and their upkeep, inline element
// records, and the operations the document builder calls.
#include "html/model/document.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "html/parse/html_common.h"
#include "html/parse/prop_stack.h"
#include "html/parse/style_fonts.h"
#include "html/model/font_runs.h"
#include "html/images/image_animation.h"
#include "html/model/image_map.h"
#include "html/model/indent_manager.h"
#include "html/images/image_object.h"
#include "html/model/section.h"
#include "html/model/table.h"
#include "platform/gui/extctrls.h"

// ---- inline element records ----

void TInlineList::adjustValues() {
  NeedsConverting = false;
  if (!Owner) {
    for (InlineRec& rec : FItems) {
      rec.StartB = rec.StartBDoc;
      rec.EndB = rec.EndBDoc;
      if (rec.StartB == rec.EndB) --rec.StartB;
    }
    return;
  }
  // The first character at or after a source position, searched in source
  // order (the document's own search goes in the order it shows its
  // sections); the document's search answers where no text section does.
  const ThtDocument::TSourceOrder order = Owner->SectionsInSourceOrder();
  auto docPos = [&](int SourcePos) {
    const size_t k = order.FirstEndingAfter(SourcePos);
    return k < order.Sections.size() ? order.Sections[k]->FindDocPos(SourcePos, false)
                                     : Owner->FindDocPos(SourcePos, false);
  };
  for (InlineRec& rec : FItems) {
    rec.StartB = docPos(rec.StartBDoc);
    rec.EndB = docPos(rec.EndBDoc);
    if (rec.StartB == rec.EndB) --rec.StartB;
  }
}

int TInlineList::StartOf(int I) {
  if (NeedsConverting) adjustValues();
  return I >= 0 && I < Count() ? FItems[size_t(I)].StartB : htUnset;
}

int TInlineList::EndOf(int I) {
  if (NeedsConverting) adjustValues();
  return I >= 0 && I < Count() ? FItems[size_t(I)].EndB : htUnset;
}

// ---- id list ----

TIDObjectList::~TIDObjectList() { Clear(); }

bool TIDObjectList::Find(const String& S, int& Index) const {
  const String key = htLowerCase(S);
  auto it = std::lower_bound(FItems.begin(), FItems.end(), key,
                             [](const Entry& e, const String& k) { return e.Key < k; });
  Index = int(it - FItems.begin());
  return it != FItems.end() && it->Key == key;
}

TIDObject* TIDObjectList::ObjectOf(const String& S) const {
  int index;
  return Find(S, index) ? FItems[size_t(index)].Obj : nullptr;
}

namespace {
// The list each object with a name is in (an object is in one list at most).
std::mutex HoldersLock;
// Never freed: objects left at exit may still ask.
std::unordered_map<const TIDObject*, TIDObjectList*>& holders() {
  static auto* map = new std::unordered_map<const TIDObject*, TIDObjectList*>;
  return *map;
}
void noteHolder(const TIDObject* Obj, TIDObjectList* List) {
  std::lock_guard<std::mutex> lock(HoldersLock);
  if (List) holders()[Obj] = List;
  else holders().erase(Obj);
}
}  // namespace

TIDObjectList* TIDObjectList::ListOf(const TIDObject* Obj) {
  std::lock_guard<std::mutex> lock(HoldersLock);
  auto it = holders().find(Obj);
  return it == holders().end() ? nullptr : it->second;
}

void TIDObjectList::release(TIDObject* Obj) {
  if (!Obj) return;
  if (--Obj->FIdRefs <= 0) {
    Obj->FIdRefs = 0;
    noteHolder(Obj, nullptr);
    if (Obj->FreeMe()) delete Obj;
  }
}

void TIDObjectList::AddObject(const String& S, TIDObject* AObject) {
  int index;
  if (Find(S, index)) {
    TIDObject* old = FItems[size_t(index)].Obj;
    FItems.erase(FItems.begin() + index);
    release(old);
  }
  if (!AObject) return;
  TIDObjectList* holder = AObject->FIdRefs > 0 ? ListOf(AObject) : nullptr;
  if (holder && holder != this) holder->RemoveObject(AObject);
  FItems.insert(FItems.begin() + index, Entry{S, htLowerCase(S), AObject});
  if (AObject->FIdRefs == 0) noteHolder(AObject, this);
  ++AObject->FIdRefs;
}

void TIDObjectList::RemoveObject(TIDObject* AObject) {
  FItems.erase(std::remove_if(FItems.begin(), FItems.end(),
                              [AObject](const Entry& e) { return e.Obj == AObject; }),
               FItems.end());
  if (AObject->FIdRefs > 0) noteHolder(AObject, nullptr);
  AObject->FIdRefs = 0;
}

void TIDObjectList::Clear() {
  std::vector<Entry> items;
  items.swap(FItems);
  for (Entry& e : items) release(e.Obj);
}

void THtmlStyleList::SetHoverRulesPresent(bool Value) {
  if (MasterList) MasterList->LinkHoverEnabled = Value;
}

// ---- the document ----

ThtDocument::ThtDocument(TObject* AViewer, TWinControl* APaintPanel)
    : TCell(this), Viewer(AViewer), PaintPanel(APaintPanel),
      Styles(std::make_unique<THtmlStyleList>(this)), IdList(std::make_unique<TIDObjectList>()),
      Inlines(std::make_shared<TInlineList>(this)), FOwnIndents(std::make_unique<TIndentManager>()),
      FCellIndents(std::make_unique<TIndentPool>()) {
  IndentManager = FOwnIndents.get();
  Life = std::make_shared<ThtLife>();
}

ThtDocument::ThtDocument(const ThtDocument& Source)
    : TCell(this), ImagesOn(Source.ImagesOn), Printing(Source.Printing), ScrollY(Source.ScrollY),
      SelStart(Source.SelStart), SelEnd(Source.SelEnd), VisitedColor(Source.VisitedColor),
      OverLinkColor(Source.OverLinkColor), HotSpotColor(Source.HotSpotColor),
      PrintBlockBackgrounds(Source.PrintBlockBackgrounds),
      PrintPageBackground(Source.PrintPageBackground), Viewer(Source.Viewer),
      PaintPanel(Source.PaintPanel), OnBitmapRequest(Source.OnBitmapRequest),
      OnImageRequest(Source.OnImageRequest), OnImageRequested(Source.OnImageRequested),
      OnExpandName(Source.OnExpandName), BackgroundColor(Source.BackgroundColor),
      PreFont(Source.PreFont), OnPanelPrint(Source.OnPanelPrint),
      CreatePanelWindow(Source.CreatePanelWindow), FreePanelWindow(Source.FreePanelWindow),
      BackgroundPos(Source.BackgroundPos), BackgroundName(Source.BackgroundName),
      ImageCache(Source.ImageCache), IsCopy(true), Inlines(Source.Inlines),
      FOwnIndents(std::make_unique<TIndentManager>()), FCellIndents(std::make_unique<TIndentPool>()) {
  IndentManager = FOwnIndents.get();
  Life = Source.Life;
  PrintMonoBlack = Source.PrintMonoBlack;
  for (const auto& item : Source) Add(item->CreateCopy(this), 0);
}

ThtDocument::~ThtDocument() {
  // Whoever raised an event of a document without a viewer learns that it
  // is gone.
  if (Life && !IsCopy) Life->Alive = false;
  // Items first, while the lists they leave still exist; the lists they
  // would search one by one are emptied before.
  PositionList.clear();
  for (TFontObj* run : Links) run->SetLinkPlace(false, run->LinkIndex());
  Links.clear();
  Panels.clear();
  TabStops.clear();
  HoverLink = nullptr;
  HoverControl = nullptr;
  while (!FItems.empty()) FItems.pop_back();
  if (IdList) IdList->Clear();
  Forms.clear();
  ControlList.Clear();
  Maps.clear();
}

void ThtDocument::Clear() {
  if (Life && !IsCopy) ++Life->Page;
  PictureBytes = 0;
  PicturesCounted.clear();
  if (!IsCopy) {
    if (IdList) IdList->Clear();
    PositionList.clear();
    Inlines->Clear();
  }
  BackgroundImage = nullptr;
  BackgroundMask = nullptr;
  BackgroundGif = nullptr;
  ReleaseBackgroundImage(this);
  BackgroundName.clear();
  BackgroundTried = false;
  AnimatedImages.clear();
  AnimTimer.reset();
  SelStart = SelEnd = 0;
  Maps.clear();
  WaitingImages.clear();
  for (TFontObj* run : Links) run->SetLinkPlace(false, run->LinkIndex());
  Links.clear();
  HoverLink = nullptr;
  HoverControl = nullptr;
  Panels.clear();
  if (!IsCopy) Styles->Clear();
  TabStops.clear();
  while (!FItems.empty()) FItems.pop_back();
  Forms.clear();
  ControlList.Clear();
  SectionCount = 0;
  RunFonts.Clear();
}

std::unique_ptr<TFreeList<TStringList>> ThtDocument::CollectFormData() {
  if (Forms.empty()) return nullptr;
  auto data = std::make_unique<TFreeList<TStringList>>();
  for (const auto& form : Forms) data->Add(form->GetFormSubmission());
  return data;
}

void ThtDocument::SetFormData(const TFreeList<TStringList>& Data) {
  // A handler raised on the way may show another page or free the viewer
  // (and Data with its history).
  const ThtEventToken page = WatchEvents();
  for (int i = 0; i < Data.Count() && i < int(Forms.size()); ++i) {
    Forms[size_t(i)]->SetFormData(*Data.Items(i));
    if (!page.PageKept()) return;
  }
}

void ThtDocument::ClearPanelAndControlLists() {
  Panels.clear();
  ControlList.Clear();
}

void ThtDocument::AddChPosObjectToIDNameList(const String& S, int Pos) {
  if (!IdList || IsCopy) return;
  IdList->AddObject(S, new TChPosObj(this, Pos));
}

TStyleList* ThtDocument::StyleRules() const { return Styles.get(); }

void ThtDocument::ProcessInlines(int SIndex, TProperties* Prop, bool Start) {
  if (!Prop) return;
  if (Start) {
    InlineRec rec;
    rec.StartBDoc = SIndex;
    rec.IDB = int32_t(Prop->ID());
    TVMarginArray vm;
    Prop->GetVMarginArray(vm);
    ConvertInlineMarginArray(vm, 200, 200, Prop->EmSize, Prop->ExSize, rec.MargArray);
    // The painter also needs the background, paddings, border colours and
    // border styles, which the inline conversion leaves out.
    TMarginArray box{};
    int autoCount = 0;
    ConvertMarginArray(vm, 200, 200, Prop->EmSize, Prop->ExSize, 0, autoCount, box);
    for (TPropertyIndex i : {piBackgroundColor, piPaddingTop, piPaddingRight, piPaddingBottom, piPaddingLeft,
                             piBorderTopColor, piBorderRightColor, piBorderBottomColor, piBorderLeftColor,
                             piBorderTopStyle, piBorderRightStyle, piBorderBottomStyle, piBorderLeftStyle})
      rec.MargArray[size_t(MA(i))] = box[size_t(MA(i))];
    Inlines->Add(rec);
  } else {
    for (int i = Inlines->Count() - 1; i >= 0; --i)
      if (Inlines->Items(i).IDB == int32_t(Prop->ID())) {
        Inlines->Items(i).EndBDoc = SIndex;
        break;
      }
  }
  Inlines->NeedsConverting = true;
}

void ThtDocument::SetBackgroundColor(TColor Value) {
  BackgroundColor = Value;
  (void)htRaiseEvent(Life, OnBackgroundChange, this);
}

void ThtDocument::SetBackgroundImage(const String& Name, const TBackgroundPosRecs& APrec) {
  BackgroundName = Name;
  BackgroundPos = APrec;
  BackgroundTried = false;
}

void ThtDocument::ApplyViewerDefaults(const String& FontName, const String& PreFontName,
                                      int FontSize, TColor FontColor, TColor AHotSpotColor,
                                      TColor AVisitedColor, TColor AOverLinkColor,
                                      TColor Background, bool OverLinksActive,
                                      bool UnderlineLinks, int CharSet, int MarginHeight,
                                      int MarginWidth) {
  Styles->Initialize(FontName, PreFontName, FontSize, FontColor, AHotSpotColor, AVisitedColor,
                     AOverLinkColor, UnderlineLinks, CharSet, MarginHeight, MarginWidth);
  DefaultFontSize = FontSize;
  SetFontSizes(FontSize);
  PreFont = PreFontName;
  HotSpotColor = AHotSpotColor;
  VisitedColor = AVisitedColor;
  OverLinkColor = AOverLinkColor;
  LinkHoverEnabled = OverLinksActive;
  SetBackgroundColor(Background);
}

void ThtDocument::AddLink(TFontObj* Run) {
  if (Run->InLinks()) return;
  Run->SetLinkPlace(true, int32_t(Links.size()));
  Links.push_back(Run);
}

void ThtDocument::RemoveLink(TFontObj* Run) {
  if (!Run->InLinks()) return;
  int index = Run->LinkIndex();
  Run->SetLinkPlace(false, index);
  if (index < 0 || index >= int(Links.size()) || Links[size_t(index)] != Run) {
    auto it = std::find(Links.begin(), Links.end(), Run);
    if (it == Links.end()) return;
    index = int(it - Links.begin());
  }
  Links.erase(Links.begin() + index);
  for (size_t i = size_t(index); i < Links.size(); ++i) Links[i]->SetLinkPlace(true, int32_t(i));
  if (HoverLink == Run) HoverLink = nullptr;
}

void ThtDocument::AddTabStop(int TabIndex, TObject* Control) {
  const TTabStop stop{TabIndex, FTabSequence++, Control};
  auto it = std::upper_bound(TabStops.begin(), TabStops.end(), stop, [](const TTabStop& a, const TTabStop& b) {
    return a.TabIndex != b.TabIndex ? a.TabIndex < b.TabIndex : a.Sequence < b.Sequence;
  });
  TabStops.insert(it, stop);
}

void ThtDocument::RemoveTabStop(TObject* Control) {
  TabStops.erase(std::remove_if(TabStops.begin(), TabStops.end(),
                                [Control](const TTabStop& s) { return s.Control == Control; }),
                 TabStops.end());
}

void ThtDocument::RemovePanel(TPanelObj* Panel) {
  auto it = std::find(Panels.begin(), Panels.end(), Panel);
  if (it != Panels.end()) Panels.erase(it);
}

void ThtDocument::RemoveWaitingImage(TObject* Obj) {
  WaitingImages.erase(std::remove_if(WaitingImages.begin(), WaitingImages.end(),
                                     [Obj](const TWaitingImage& w) { return w.Obj == Obj; }),
                      WaitingImages.end());
}

void ThtDocument::RemoveFromPositionList(TSectionBase* Item) {
  if (PositionList.empty()) return;
  auto it = std::find(PositionList.rbegin(), PositionList.rend(), Item);
  if (it != PositionList.rend()) PositionList.erase(std::next(it).base());
}
