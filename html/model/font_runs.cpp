// Font runs: fonts of a section's characters, link font states, and the
// hidden control that gives each link one tab stop.
#include "html/model/font_runs.h"

#include <algorithm>
#include <cmath>

#include "html/model/document.h"
#include "html/model/section.h"
#include "platform/gui/messages.h"

void SetFontSizes(int BaseSize) {
  for (int i = 0; i < 7; ++i) {
    FontConv[i] = BaseSize * FontConvBase[i] / 12.0;
    PreFontConv[i] = BaseSize * PreFontConvBase[i] / 12.0;
  }
}

ThtTabControl::ThtTabControl(TComponent* AOwner) : TWinControl(AOwner) {}

void ThtTabControl::JoinPanel(TWinControl* Panel) {
  FJoining = true;
  SetParent(Panel);
  FJoining = false;
}

void ThtTabControl::CreateWnd() {
  if (!FJoining) TWinControl::CreateWnd();
}

void ThtTabControl::WndProc(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    Message.Result = DLGC_WANTARROWS;
    return;
  }
  TWinControl::WndProc(Message);
}

TFontObj::TFontObj(TSection* ASection, TFontRef F, int Position)
    : TFontObjBase(ASection), TheFont(std::move(F)), Pos(Position), FSharedFont(true) {
  FontChanged();
}

namespace {
// What a run without a link record of its own reads; never changed.
const TUrlTarget& noUrlTarget() {
  static const TUrlTarget none;
  return none;
}

bool isEmptyRecord(const TUrlTarget& UT) {
  return UT.URL.empty() && UT.Target.empty() && UT.Attr.empty() && UT.ID == 0 && UT.TabIndex == 0 &&
         UT.Start == -1 && UT.Last == -1;
}
}  // namespace

TFontObjBase::TFontObjBase(TSection* ASection) : FOwner(reinterpret_cast<uintptr_t>(ASection)) {}

const TUrlTarget* TFontObjBase::noRecord() { return &noUrlTarget(); }

TFontObjBase::~TFontObjBase() { delete partOrNull(); }

const TFontObjBase::TLinkPart& TFontObjBase::part() const {
  static const TLinkPart none;
  const TLinkPart* p = partOrNull();
  return p ? *p : none;
}

TFontObjBase::TLinkPart& TFontObjBase::ownPart() {
  if (TLinkPart* p = partOrNull()) return *p;
  auto* p = new TLinkPart;
  p->Section = Section();
  FOwner = reinterpret_cast<uintptr_t>(p) | 1;
  return *p;
}

TUrlTarget* TFontObjBase::OwnUrlTarget() {
  TLinkPart& p = ownPart();
  if (!p.OwnUrlTarget) {
    p.OwnUrlTarget = std::make_unique<TUrlTarget>();
  }
  return p.OwnUrlTarget.get();
}

void TFontObjBase::CopyUrlTarget(const TUrlTarget& UT) {
  if (&UT == UrlTarget()) return;
  if (isEmptyRecord(UT)) {
    ClearUrlTarget();
    return;
  }
  OwnUrlTarget()->Copy(UT);
}

void TFontObjBase::ClearUrlTarget() {
  if (TLinkPart* p = partOrNull()) p->OwnUrlTarget.reset();
}

void TFontObj::SetTitle(const String& Value) {
  if (!Value.empty() || !Title().empty()) ownPart().Title = Value;
}

void TFontObj::DropLinkStates() {
  if (LinkStates()) ownPart().States.reset();
}

void TFontObj::DropTabControl() {
  if (TabControl()) ownPart().TabControl.reset();
}

void TFontObj::TakeTabControl(TFontObj& Other) {
  if (!Other.TabControl()) return;
  ownPart().TabControl = std::move(Other.ownPart().TabControl);
  wireTabControl();
}

void TFontObj::SetLinkPlace(bool In, int32_t Index) {
  if (!In && !InLinks()) return;
  TLinkPart& p = ownPart();
  p.InLinks = In;
  p.LinkIndex = Index;
}

void TFontObj::setActive(bool Value) {
  if (Value != Active()) ownPart().Active = Value;
}

TFontObj::TFontObj(TSection* ASection, const TFontObj& T)
    : TFontObjBase(ASection), TheFont(T.TheFont), Pos(T.Pos), SScript(T.SScript), FSharedFont(true) {
  // The copy shares the font (with its handle and metrics) until it needs
  // a font of its own: a link prints in its plain state. Nothing points at
  // a printed page, so the link's record and the tooltip stay behind (on a
  // long page they are a good part of what a copy costs).
  if (T.LinkStates()) ConvertFont(T.LinkStates()->Ar[LFont]);
  FontChanged();
}

TFontObj::~TFontObj() {
  ThtDocument* doc = document();
  if (doc) {
    if (InLinks()) doc->RemoveLink(this);
    if (TabControl()) doc->RemoveTabStop(TabControl());
    if (doc->HoverLink == this) doc->HoverLink = nullptr;
  }
}

ThtDocument* TFontObj::document() const {
  TSection* s = Section();
  return s ? s->Document : nullptr;
}

void TFontObj::ReplaceFont(TFontRef F) {
  TheFont = std::move(F);
  FSharedFont = true;
  FontChanged();
}

void TFontObj::ConvertFont(const ThtFontInfo& FI) {
  if (FSharedFont) {
    // A state that is the shared font already (a link's normal state mostly
    // is) changes nothing: the character set comes from the metrics either
    // way, and they are read.
    if (TheFont->tmHeight != 0 && (FI.iName.empty() || FI.iName == TheFont->Name()) &&
        TheFont->Height() == FontHeightFromPoints(FI.iSize) && TheFont->Style() == FI.iStyle &&
        TheFont->bgColor == FI.ibgColor && TheFont->Color() == FI.iColor)
      return;
    // Otherwise the other runs keep theirs.
    TheFont = TFontRef::Copy(*TheFont);
    FSharedFont = false;
  }
  TheFont->SetName(FI.iName);
  TheFont->SetHeight(FontHeightFromPoints(FI.iSize));
  TheFont->SetStyle(FI.iStyle);
  TheFont->bgColor = FI.ibgColor;
  TheFont->SetColor(FI.iColor);
  TheFont->SetCharset(FI.iCharSet);
  FontChanged();
}

void TFontObj::FontChanged() {
  if (!TheFont) return;
  if (TheFont->tmHeight == 0) TheFont->ReadMetrics();
  TheFont->SetCharset(TheFont->tmCharset);
}

void TFontObj::SetLinkStates(const TProperties* Prop) {
  ThtDocument* doc = document();
  TLinkPart& p = ownPart();
  if (Prop && doc) {
    p.States = doc->RunFonts.LinkStates(*Prop);
  } else {
    auto states = std::make_shared<TFontInfoArray>();
    if (Prop) Prop->GetFontInfo(*states);
    p.States = std::move(states);
  }
  if (Prop) ConvertFont(p.States->Ar[LFont]);
}

static int stateIndex(bool visited, bool hover) { return (visited ? 1 : 0) + (hover ? 2 : 0); }

void TFontObj::SetVisited(bool Value) {
  if (Value == Visited()) return;
  ownPart().Visited = Value;
  if (LinkStates()) ConvertFont(LinkStates()->Ar[stateIndex(Visited(), Hover())]);
}

void TFontObj::SetHover(bool Value) {
  if (Value == Hover()) return;
  ownPart().Hover = Value;
  if (LinkStates()) ConvertFont(LinkStates()->Ar[stateIndex(Visited(), Hover())]);
}

void TFontObj::SetAllHovers(bool Value) {
  SetHover(Value);
  ThtDocument* doc = document();
  if (!doc || !InLinks()) return;
  const auto& links = doc->Links;
  const int32_t id = UrlTarget()->ID;
  for (int i = LinkIndex() + 1; i < int(links.size()) && links[size_t(i)]->UrlTarget()->ID == id; ++i)
    links[size_t(i)]->SetHover(Value);
  for (int i = LinkIndex() - 1; i >= 0 && links[size_t(i)]->UrlTarget()->ID == id; --i)
    links[size_t(i)]->SetHover(Value);
}

void TFontObj::SetYValue(int Y) {
  if (UrlTarget()->URL.empty()) return;
  if (TabControl()) {
    ownPart().YValue = Y;
    return;
  }
  ThtDocument* doc = document();
  if (!doc || !InLinks()) return;
  const auto& links = doc->Links;
  for (int i = LinkIndex() - 1; i >= 0; --i) {
    TFontObj* run = links[size_t(i)];
    if (run->UrlTarget()->ID != UrlTarget()->ID) return;
    if (run->TabControl()) {
      run->ownPart().YValue = Y;
      return;
    }
  }
}

void TFontObj::wireTabControl() {
  ThtTabControl* tab = TabControl();
  tab->OnEnter = [this](TObject*) {
    ThtDocument* doc = document();
    setActive(true);
    if (doc && InLinks())
      for (int i = LinkIndex() + 1;
           i < int(doc->Links.size()) && doc->Links[size_t(i)]->UrlTarget()->ID == UrlTarget()->ID; ++i)
        doc->Links[size_t(i)]->setActive(true);
    if (doc && doc->LinkFocusHook) doc->LinkFocusHook(this);
  };
  tab->OnExit = [this](TObject*) {
    ThtDocument* doc = document();
    setActive(false);
    if (doc && InLinks())
      for (int i = LinkIndex() + 1;
           i < int(doc->Links.size()) && doc->Links[size_t(i)]->UrlTarget()->ID == UrlTarget()->ID; ++i)
        doc->Links[size_t(i)]->setActive(false);
    if (doc && doc->PaintPanel) doc->PaintPanel->Invalidate();
  };
  tab->OnKeyDown = [this](TObject*, WORD& Key, TShiftState Shift) {
    ThtDocument* doc = document();
    if (doc && doc->LinkKeyDownHook) doc->LinkKeyDownHook(this, Key, Shift);
  };
}

void TFontObj::CreateTabControl(int TabIndex) {
  if (TabControl()) return;
  ThtDocument* doc = document();
  if (!doc || !doc->PaintPanel) return;
  if (InLinks())
    for (int i = LinkIndex() - 1; i >= 0; --i) {
      TFontObj* run = doc->Links[size_t(i)];
      if (run->UrlTarget()->ID != UrlTarget()->ID) break;
      if (run->TabControl()) return;  // one tab stop per link
    }
  auto tab = std::make_unique<ThtTabControl>(nullptr);
  tab->SetBounds(-4000, 0, 1, 1);
  tab->SetTabStop(true);
  tab->JoinPanel(doc->PaintPanel);
  ownPart().TabControl = std::move(tab);
  wireTabControl();
  if (TabIndex > 0) doc->AddTabStop(TabIndex, TabControl());
}

// ---- shared fonts ----

size_t TRunFonts::THash::operator()(const TProperties::TFontChoice& choice) const {
  size_t h = std::hash<const void*>()(choice.Base);
  h = h * 31 + choice.Generation;
  h = h * 31 + size_t(choice.Color);
  h = h * 31 + size_t(choice.BGColor);
  return h * 31 + size_t(choice.CharExtra);
}

TFontRef TRunFonts::Get(TProperties& Prop) {
  const TProperties::TFontChoice choice = Prop.GetFontChoice();
  for (size_t i = 0; i < FRecent.size() && FRecent[i]; ++i)
    if (FRecent[i]->first == choice) {
      TFonts::value_type* entry = FRecent[i];
      std::copy_backward(FRecent.begin(), FRecent.begin() + i, FRecent.begin() + i + 1);
      FRecent[0] = entry;
      return entry->second;
    }
  // Entries of the map stay where they are while others are added.
  TFonts::value_type& entry = *FFonts.try_emplace(choice).first;
  if (!entry.second) entry.second = TFontRef::Copy(*TProperties::MakeFont(choice));
  std::copy_backward(FRecent.begin(), FRecent.end() - 1, FRecent.end());
  FRecent[0] = &entry;
  return entry.second;
}

namespace {
bool sameState(const ThtFontInfo& a, const ThtFontInfo& b) {
  return a.iName == b.iName && a.iSize == b.iSize && a.iStyle == b.iStyle && a.iColor == b.iColor &&
         a.ibgColor == b.ibgColor && a.iCharSet == b.iCharSet && a.iCharExtra.SameAs(b.iCharExtra);
}
}  // namespace

std::shared_ptr<const TFontInfoArray> TRunFonts::LinkStates(const TProperties& Prop) {
  Prop.GetFontInfo(FScratch);
  if (FLastStates && std::equal(std::begin(FScratch.Ar), std::end(FScratch.Ar), std::begin(FLastStates->Ar), sameState))
    return FLastStates;
  auto states = std::make_shared<TFontInfoArray>();
  states->Assign(FScratch);
  FLastStates = states;
  return FLastStates;
}

// ---- the run list ----

TFontList::TFontList(TSection* ASection, const TFontList& T) {
  FItems.reserve(T.FItems.size());
  for (const auto& run : T) Add(std::make_unique<TFontObj>(ASection, *run));
}

TFontObj* TFontList::GetFontObjAt(int Posn, int& Index) const {
  // The last run starting at or before Posn.
  auto it = std::upper_bound(FItems.begin(), FItems.end(), Posn,
                             [](int p, const std::unique_ptr<TFontObj>& run) { return p < run->Pos; });
  if (it == FItems.begin()) {
    Index = FItems.empty() ? -1 : 0;
    return FItems.empty() ? nullptr : FItems.front().get();
  }
  Index = int(it - FItems.begin()) - 1;
  return FItems[size_t(Index)].get();
}

TMyFont* TFontList::GetFontAt(int Posn, int& OHang) const {
  int index;
  TFontObj* run = GetFontObjAt(Posn, index);
  OHang = run ? run->Overhang() : 0;
  return run ? run->TheFont.get() : nullptr;
}

int TFontList::GetFontCountAt(int Posn, int Leng) const {
  auto it = std::upper_bound(FItems.begin(), FItems.end(), Posn,
                             [](int p, const std::unique_ptr<TFontObj>& run) { return p < run->Pos; });
  if (it == FItems.end()) return Leng - Posn;
  return (*it)->Pos - Posn;
}

void TFontList::Decrement(int N, ThtDocument* Document) {
  int I = 0;
  while (I < Count()) {
    TFontObj* run = FItems[size_t(I)].get();
    if (run->Pos > N) --run->Pos;
    if (I > 0 && FItems[size_t(I) - 1]->Pos == run->Pos) {
      TFontObj* empty = FItems[size_t(I) - 1].get();
      if (empty->TabControl()) {
        if (run->UrlTarget()->ID != empty->UrlTarget()->ID) {
          if (Document) Document->RemoveTabStop(empty->TabControl());
        } else if (!run->TabControl()) {
          run->TakeTabControl(*empty);
        }
      }
      Delete(I - 1);  // the run's destructor leaves the link list
      continue;
    }
    ++I;
  }
}
