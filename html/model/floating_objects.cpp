// Floating objects (images and panels on a placeholder character), anchor
// names, and the list of images painted after the text.
#include "html/model/floating_objects.h"

#include <algorithm>
#include <cstdlib>

#include "html/parse/html_common.h"
#include "html/model/document.h"
#include "html/images/image_object.h"
#include "html/model/panel_window.h"
#include "html/model/section.h"

using namespace std::string_view_literals;

TFloatingObj::TFloatingObj(ThtDocument*, const TFloatingObj& Source)
    : Pos(Source.Pos), ObjHeight(Source.ObjHeight), ObjWidth(Source.ObjWidth),
      Floating(Source.Floating), VertAlign(Source.VertAlign), HSpaceL(Source.HSpaceL),
      HSpaceR(Source.HSpaceR), VSpaceT(Source.VSpaceT), VSpaceB(Source.VSpaceB),
      Title(Source.Title), Alt(Source.Alt), NoBorder(Source.NoBorder),
      BorderWidth(Source.BorderWidth) {}

void TFloatingObj::ProcessProperties(TProperties* Prop) {
  if (!Prop) return;
  auto applyAlignments = [&](bool spacingDefault) {
    TAlignmentType align;
    if (Prop->GetVertAlign(align)) VertAlign = align;
    if (Prop->GetFloat(align) && align != ANone) {
      Floating = align;
      VertAlign = ANone;
      if (spacingDefault && HSpaceR == 0) HSpaceL = HSpaceR = 3;
    }
  };
  applyAlignments(true);
  if (Title.empty()) Title = Prop->PropTitle();
  TVMarginArray vm;
  Prop->GetVMarginArray(vm);
  TMarginArray m{};
  ConvertInlineMarginArray(vm, 200, 200, Prop->EmSize, Prop->ExSize, m);
  auto setIf = [&](TPropertyIndex i, int32_t& target) {
    if (!vm[size_t(MA(i))].IsEmpty() && m[size_t(MA(i))] != AutoValue) target = m[size_t(MA(i))];
  };
  setIf(piMarginLeft, HSpaceL);
  setIf(piMarginRight, HSpaceR);
  setIf(piMarginTop, VSpaceT);
  setIf(piMarginBottom, VSpaceB);
  auto readSize = [&](TPropertyIndex i, int32_t& spec, bool& percent) {
    const TPropValue& v = vm[size_t(MA(i))];
    if (v.IsEmpty()) return;
    if (v.IsString() && htLowerCase(v.AsString()) == u"auto"sv) {
      spec = -1;
      percent = false;
    } else if (v.IsString() && v.AsString().find(u'%') != String::npos) {
      double value = 0;
      String unit;
      ParseNumberAndUnit(v.AsString(), value, unit);
      spec = int32_t(std::clamp(value, 0.0, 100.0));
      percent = true;
    } else {
      spec = m[size_t(MA(i))] == AutoValue ? -1 : std::max(0, m[size_t(MA(i))]);
      percent = false;
    }
  };
  readSize(piWidth, SpecWidth, PercentWidth);
  readSize(piHeight, SpecHeight, PercentHeight);
  applyAlignments(false);
  if (Prop->HasBorderStyle()) {
    NoBorder = true;
    BorderWidth = 0;
  } else if (Prop->BorderStyleNotNone()) {
    HSpaceL += m[size_t(MA(piBorderLeftWidth))];
    HSpaceR += m[size_t(MA(piBorderRightWidth))];
    VSpaceT += m[size_t(MA(piBorderTopWidth))];
    VSpaceB += m[size_t(MA(piBorderBottomWidth))];
  }
}

void TFloatingObj::SetAlt(const String& Text) {
  Alt = Text;
  while (!Alt.empty() && (Alt.back() == u'\n' || Alt.back() == u'\r')) Alt.pop_back();
}

TFloatingObjList::TFloatingObjList(ThtDocument* Document, const TFloatingObjList& Source) {
  for (const auto& obj : Source) Add(obj->CreateCopy(Document));
}

TFloatingObj* TFloatingObjList::FindObject(int Posn) const {
  for (const auto& obj : FItems)
    if (obj->Pos == Posn) return obj.get();
  return nullptr;
}

void TFloatingObjList::Decrement(int N) {
  for (const auto& obj : FItems)
    if (obj->Pos > N) --obj->Pos;
}

// ---- panels ----

namespace {

// A window's component name must be an identifier; any other NAME stays
// only the panel's.
bool isIdentifier(const String& S) {
  if (S.empty()) return false;
  for (size_t i = 0; i < S.size(); ++i) {
    const char16_t c = S[i];
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
    if (!letter && !(i > 0 && c >= u'0' && c <= u'9')) return false;
  }
  return true;
}

}  // namespace

TPanelObj::TPanelObj(ThtDocument* ADocument, int Position, TAttributeList* L, TCellBasic* ACell,
                     bool ObjectTag)
    : Document(ADocument), Cell(ACell) {
  Pos = Position;
  VertAlign = ABottom;
  Floating = ANone;
  if (Document && Document->CreatePanelWindow) Panel = Document->CreatePanelWindow(Document);
  bool hSpaceGiven = false;
  if (L)
    for (const auto& A : *L) {
      const bool percent = A->Text.find(u'%') != String::npos;
      switch (A->Symbol) {
        case symHeight:
          if (percent) {
            if (A->Value >= 1 && A->Value <= 100) {
              SpecHeight = A->Value;
              PercentHeight = true;
            }
          } else {
            SpecHeight = std::max(1, A->Value);
          }
          break;
        case symWidth:
          if (percent) {
            SpecWidth = std::clamp(A->Value, 1, 100);
            PercentWidth = true;
          } else {
            SpecWidth = A->Value;
          }
          break;
        case symHSpace:
          HSpaceL = HSpaceR = std::min(40, std::abs(A->Value));
          hSpaceGiven = true;
          break;
        case symVSpace: VSpaceT = VSpaceB = std::min(40, std::abs(A->Value)); break;
        case symSrc: Source = A->Text; break;
        case symName:
          Name = A->Text;
          if (Panel && isIdentifier(Name)) Panel->SetName(Name);
          break;
        case symType: PanelType = A->Text; break;
        case symAlt: SetAlt(A->Text); break;
        case symAlign: {
          const String s = htUpperCase(A->Text);
          if (s == u"TOP"sv) VertAlign = ATop;
          else if (s == u"MIDDLE"sv || s == u"ABSMIDDLE"sv) VertAlign = AMiddle;
          else if (s == u"LEFT"sv) Floating = ALeft;
          else if (s == u"RIGHT"sv) Floating = ARight;
          break;
        }
        default: break;
      }
    }
  if (!hSpaceGiven) HSpaceL = HSpaceR = (Floating == ALeft || Floating == ARight) ? 3 : 0;
  if (Panel) Panel->SetCaption(String());
  if (!ObjectTag && Document)
    htRaiseEvent(Document->Life, Document->OnPanelCreate, Document->Viewer, String(Name), String(PanelType),
                 String(Source), Panel)
        .UnwindIfGone();
  // The natural size is what the window has once the application set it up.
  SetWidth = Panel ? Panel->Width() : 30;
  SetHeight = Panel ? Panel->Height() : 20;
  if (Document) Document->Panels.push_back(this);
}

TPanelObj::TPanelObj(ThtDocument* ADocument, const TPanelObj& Source)
    : TFloatingObj(ADocument, Source), Document(ADocument), SetWidth(Source.SetWidth),
      SetHeight(Source.SetHeight), Hidden(true), Sized(Source.Sized),
      Source(Source.Source), Name(Source.Name), PanelType(Source.PanelType), CopiedFrom(&Source) {
  SpecWidth = Source.SpecWidth;
  SpecHeight = Source.SpecHeight;
  PercentWidth = Source.PercentWidth;
  PercentHeight = Source.PercentHeight;
  if (Document && Document->CreatePanelWindow && Source.Panel) {
    Panel = Document->CreatePanelWindow(Document);
    if (Panel) {
      // Kept out of sight: the copy is only drawn on paper, and the original
      // window still shows the page on screen.
      Panel->SetBounds(-4000, -4000, Source.Panel->Width(), Source.Panel->Height());
      Panel->SetVisible(Source.Panel->Visible());
      Panel->SetColor(Source.Panel->Color());
    }
  }
}

TPanelObj::~TPanelObj() {
  if (!Document) return;
  Document->RemovePanel(this);
  // Whoever cleared the document watches the viewer; the panel goes on
  // being freed here (its document lives until that caller returns).
  if (Panel) (void)htRaiseEvent(Document->Life, Document->OnPanelDestroy, Document->Viewer, Panel);
  if (Panel && Document->FreePanelWindow) Document->FreePanelWindow(Panel);
}

std::unique_ptr<TFloatingObj> TPanelObj::CreateCopy(ThtDocument* ADocument) const {
  return std::make_unique<TPanelObj>(ADocument, *this);
}

static int mulDiv32(int a, int b, int c) { return c == 0 ? 0 : int(int64_t(a) * b / c); }

void TPanelObj::DrawLogic(ThtDocument*, TCanvas*, TFontObj*, int AvailableWidth, int AvailableHeight) {
  if (Sized && !PercentWidth && !PercentHeight) return;
  if (PercentWidth) {
    ObjWidth = mulDiv32(AvailableWidth, SpecWidth, 100);
    if (SpecHeight == 0) ObjHeight = mulDiv32(ObjWidth, SetHeight, SetWidth);
    else if (PercentHeight) ObjHeight = mulDiv32(AvailableHeight, SpecHeight, 100);
    else ObjHeight = SpecHeight;
  } else if (PercentHeight) {
    ObjHeight = mulDiv32(AvailableHeight, SpecHeight, 100);
    ObjWidth = SpecWidth != 0 ? SpecWidth : mulDiv32(ObjHeight, SetWidth, SetHeight);
  } else {
    if (SpecWidth > 0 && SpecHeight > 0) {
      ObjWidth = SpecWidth;
      ObjHeight = SpecHeight;
    } else if (SpecWidth > 0) {
      ObjWidth = SpecWidth;
      ObjHeight = mulDiv32(SpecWidth, SetHeight, SetWidth);
    } else if (SpecHeight > 0) {
      ObjHeight = SpecHeight;
      ObjWidth = mulDiv32(SpecHeight, SetWidth, SetHeight);
    } else {
      ObjWidth = SetWidth;
      ObjHeight = SetHeight;
    }
    Sized = true;
  }
  if (!Hidden && Panel && ObjWidth > 0 && ObjHeight > 0 &&
      (Panel->Width() != ObjWidth || Panel->Height() != ObjHeight))
    Panel->SetBounds(Panel->Left(), Panel->Top(), ObjWidth, ObjHeight);
}

void TPanelObj::PlaceAt(int X, int Y) {
  ShowIt = true;
  if (!Panel || Hidden) return;
  if (Panel->Left() != X || Panel->Top() != Y) Panel->SetBounds(X, Y, Panel->Width(), Panel->Height());
}

int TChPosObj::GetYPosition() {
  if (!Document) return 0;
  const int pos = Document->FindDocPos(ChPos, false);
  int X = 0, Y = 0;
  if (pos < 0 || !Document->CursorToXY(nullptr, pos, X, Y)) return 0;
  return Y;
}

void TDrawList::AddImage(TImageObj* Obj, TCanvas* Canvas, int X, int TopY, int Y, TFontObj* FO) {
  FItems.push_back({Obj, Canvas, X, TopY, Y, FO});
}
