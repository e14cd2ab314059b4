// Forms and the base of their control objects: construction from the tag,
// style properties, the focus, click and change events, placing the real
// control, and a form's reset, radio groups, keys and submission.
#include "html/forms/form_controls.h"

#include <algorithm>
#include <cstdio>

#include "html/parse/html_common.h"
#include "html/parse/style_fonts.h"
#include "html/parse/style_model.h"
#include "html/model/document.h"
#include "html/forms/form_kinds.h"
#include "html/model/viewer_base.h"
#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"

// ---- the base control object ----------------------------------------------------------

TFormControlObj::TFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L,
                                 ThtmlForm*& CurrentForm)
    : MasterList(AMasterList), Pos(Position) {
  if (MasterList) MasterList->ControlList.Add(this);
  if (!CurrentForm && MasterList) {
    // Controls outside any FORM element share one implicit form.
    MasterList->Forms.push_back(std::make_unique<ThtmlForm>(MasterList, nullptr));
    CurrentForm = MasterList->Forms.back().get();
  }
  MyForm = CurrentForm;
  if (!L) return;
  int tabIndex = 0;
  for (const auto& A : *L) {
    switch (A->Symbol) {
      case symName: FName = A->Text; break;
      case symID: FID = A->Text; break;
      case symTitle: FTitle = A->Text; break;
      case symValue: Value = A->Text; break;
      case symOnBlur: OnBlurMessage = A->Text; break;
      case symOnChange: OnChangeMessage = A->Text; break;
      case symOnClick: OnClickMessage = A->Text; break;
      case symOnFocus: OnFocusMessage = A->Text; break;
      case symTabIndex: tabIndex = A->Value; break;
      case symReadOnly: ReadOnly = true; break;
      case symDisabled: {
        // DISABLED="no" and DISABLED="0" leave the control enabled.
        const String v = htLowerCase(A->Text);
        Disabled = v != u"no" && v != u"0";
        break;
      }
      default: break;
    }
  }
  if (MasterList && tabIndex > 0) MasterList->AddTabStop(tabIndex, this);
  if (MasterList && MasterList->IdList && !MasterList->IsCopy && !FID.empty())
    MasterList->IdList->AddObject(FID, this);
  FAttributeList = L->CreateStringList();
}

TFormControlObj::~TFormControlObj() {
  if (!MasterList) return;
  MasterList->ControlList.Remove(this);
  MasterList->RemoveTabStop(this);
  if (MasterList->HoverControl == this) MasterList->HoverControl = nullptr;
}

int TFormControlObj::Height() const { return TheControl() ? TheControl()->Height() : 0; }
int TFormControlObj::Left() const { return TheControl() ? TheControl()->Left() : -4000; }
int TFormControlObj::TabOrder() const { return TheControl() ? TheControl()->TabOrder() : -1; }
bool TFormControlObj::TabStop() const { return TheControl() && TheControl()->TabStop(); }
int TFormControlObj::Top() const { return TheControl() ? TheControl()->Top() : 0; }
int TFormControlObj::Width() const { return TheControl() ? TheControl()->Width() : 0; }

void TFormControlObj::SetHeight(int V) {
  if (TheControl()) TheControl()->SetHeight(V);
}
void TFormControlObj::SetLeft(int V) {
  if (TheControl()) TheControl()->SetLeft(V);
}
void TFormControlObj::SetTabOrder(int V) {
  if (TheControl()) TheControl()->SetTabOrder(V);
}
void TFormControlObj::SetTabStop(bool V) {
  if (TheControl()) TheControl()->SetTabStop(V);
}
void TFormControlObj::SetTop(int V) {
  if (TheControl()) TheControl()->SetTop(V);
}
void TFormControlObj::SetWidth(int V) {
  if (TheControl()) TheControl()->SetWidth(V);
}

bool TFormControlObj::GetSubmission(int, String&) { return false; }
void TFormControlObj::Draw(TCanvas*, int, int) {}
void TFormControlObj::SetData(int, const String&) {}
void TFormControlObj::SetHeightWidth(TCanvas*) {}

void TFormControlObj::Hide() {
  if (TheControl()) TheControl()->Hide();
}

void TFormControlObj::Show() {
  if (TheControl()) TheControl()->Show();
}

void TFormControlObj::PlaceAt(int X, int Y) {
  ShowIt = true;
  TWinControl* c = TheControl();
  if (!c) return;
  if (c->Left() != X || c->Top() != Y) c->SetBounds(X, Y, c->Width(), c->Height());
  if (!c->Visible()) c->Show();
}

void TFormControlObj::ProcessProperties(TProperties* Prop) {
  if (!Prop) return;
  TVMarginArray vm;
  Prop->GetVMarginArray(vm);
  TMarginArray m{};
  int autoCount = 0;
  ConvertMarginArray(vm, 100, 100, Prop->EmSize, Prop->ExSize, 0, autoCount, m);
  auto value = [&](TPropertyIndex i) {
    const int32_t v = m[size_t(MA(i))];
    return v == AutoValue || v == NotSetValue ? 0 : v;
  };
  auto setIf = [&](TPropertyIndex i, int32_t& target) {
    if (!vm[size_t(MA(i))].IsEmpty()) target = std::max(0, value(i));
  };
  setIf(piMarginLeft, HSpaceL);
  setIf(piMarginRight, HSpaceR);
  setIf(piMarginTop, VSpaceT);
  setIf(piMarginBottom, VSpaceB);
  HasCssBorder = Prop->BorderStyleNotNone();
  if (HasCssBorder) {
    // The border is painted around the control as an inline border: the
    // room for it is part of the spacing.
    HSpaceL += value(piBorderLeftWidth) + value(piPaddingLeft);
    HSpaceR += value(piBorderRightWidth) + value(piPaddingRight);
    BordT = value(piBorderTopWidth) + value(piPaddingTop);
    BordB = value(piBorderBottomWidth) + value(piPaddingBottom);
    VSpaceT += BordT;
    VSpaceB += BordB;
  }
  const TPropValue& w = vm[size_t(MA(piWidth))];
  if (!w.IsEmpty()) {
    if (w.IsString() && w.AsString().find(u'%') != String::npos) {
      double pct = 0;
      String unit;
      ParseNumberAndUnit(w.AsString(), pct, unit);
      PercentWidth = pct > 0 && pct <= 100;
      if (PercentWidth) FWidth = int32_t(pct);
    } else if (value(piWidth) > 0) {
      FWidth = value(piWidth);
    }
  }
  if (value(piHeight) > 0) FHeight = std::max(0, value(piHeight) - BordT - BordB);
  TAlignmentType align;
  if (Prop->GetVertAlign(align)) VertAlign = align;
  BkColor = Prop->GetBackgroundColor();
}

void TFormControlObj::initControl(TWinControl* C, TProperties* Prop) {
  C->SetLeft(-4000);
  if (MasterList && MasterList->PaintPanel) C->SetParent(MasterList->PaintPanel);
  if (Prop) {
    std::unique_ptr<TMyFont> font = Prop->GetFont();
    C->SetFont(*font);
  }
  C->SetEnabled(!Disabled);
  C->OnEnter = [this](TObject*) { FormControlEnter(); };
  C->OnExit = [this](TObject*) { FormControlExit(); };
  C->OnMouseMove = [this](TObject*, TShiftState Shift, int X, int Y) { FormControlMouseMove(Shift, X, Y); };
}

TFont* TFormControlObj::controlFont() const { return TheControl() ? TheControl()->Font() : nullptr; }

void TFormControlObj::useControlFont(TCanvas* Canvas) const {
  if (TFont* f = controlFont()) Canvas->Font()->Assign(*f);
}

bool TFormControlObj::printMonoBlack() const { return MasterList && MasterList->PrintMonoBlack; }

void TFormControlObj::applyBoxLook(TWinControl* C) const {
  if (HasCssBorder) C->SetBorderStyle(bsNone);
  if (BkColor != clNone) C->SetColor(BkColor);
}

void TFormControlObj::reportChange(bool Changed) {
  if (!Changed || !MasterList) return;
  // Callers watch the page themselves.
  (void)htRaiseEvent(MasterList->Life, MasterList->OnObjectChange, MasterList->Viewer, this,
                     String(OnChangeMessage));
}

ThtEventToken TFormControlObj::watchPage() const { return MasterList ? MasterList->WatchEvents() : ThtEventToken(); }

TCanvasKeeper::TCanvasKeeper(TCanvas* Canvas) : FCanvas(Canvas) {
  FPen.Assign(*Canvas->Pen());
  FBrush.Assign(*Canvas->Brush());
  FFont.Assign(*Canvas->Font());
}

TCanvasKeeper::~TCanvasKeeper() {
  FCanvas->SetPen(FPen);
  FCanvas->SetBrush(FBrush);
  FCanvas->SetFont(FFont);
}

// ---- events ------------------------------------------------------------------------------

void TFormControlObj::FormControlEnter() {
  ThtDocument* doc = MasterList;
  if (!doc || doc->IsCopy) return;
  const ThtEventToken page = watchPage();
  Active = true;
  if (doc->PaintPanel) doc->PaintPanel->Invalidate();
  if (doc->ControlEnterHook) doc->ControlEnterHook(this);
  if (!OnFocusMessage.empty() &&
      !htRaiseEvent(doc->Life, doc->OnObjectFocus, doc->Viewer, this, String(OnFocusMessage)).PageKept())
    return;
  if (page.PageKept() && !OnChangeMessage.empty()) SaveContents();
}

void TFormControlObj::FormControlExit() {
  Active = false;
  ThtDocument* doc = MasterList;
  if (!doc) return;
  const ThtEventToken page = watchPage();
  if (!OnChangeMessage.empty()) CheckForChange();
  if (!page.PageKept()) return;
  if (!OnBlurMessage.empty() &&
      !htRaiseEvent(doc->Life, doc->OnObjectBlur, doc->Viewer, this, String(OnBlurMessage)).PageKept())
    return;
  if (doc->PaintPanel) doc->PaintPanel->Invalidate();
}

void TFormControlObj::FormControlClick() {
  // Callers watch the page themselves.
  if (MasterList)
    (void)htRaiseEvent(MasterList->Life, MasterList->OnObjectClick, MasterList->Viewer, this,
                       String(OnClickMessage));
}

void TFormControlObj::FormControlMouseMove(TShiftState Shift, int X, int Y) {
  if (!MasterList) return;
  if (auto* viewer = dynamic_cast<THtmlViewBase*>(MasterList->Viewer)) viewer->FormControlMouseMove(this, Shift, X, Y);
}

// ---- the list by position ------------------------------------------------------------------

void TFormControlObjList::Remove(TFormControlObj* Obj) {
  auto it = std::find(FItems.begin(), FItems.end(), Obj);
  if (it != FItems.end()) FItems.erase(it);
}

TFormControlObj* TFormControlObjList::FindControl(int Posn) const {
  for (TFormControlObj* c : FItems)
    if (c->Pos == Posn) return c;
  return nullptr;
}

int TFormControlObjList::GetHeightAt(int Posn, TAlignmentType& VAlign) const {
  TFormControlObj* c = FindControl(Posn);
  if (!c) return -1;
  VAlign = c->VertAlign;
  return c->Height();
}

int TFormControlObjList::GetWidthAt(int Posn, int& HSL, int& HSR) const {
  TFormControlObj* c = FindControl(Posn);
  if (!c) return -1;
  HSL = c->HSpaceL;
  HSR = c->HSpaceR;
  return c->Width();
}

int TFormControlObjList::DistanceToNext(int Posn) const {
  for (TFormControlObj* c : FItems)
    if (c->Pos >= Posn) return c->Pos - Posn;
  return 9999;
}

void TFormControlObjList::DecrementAfter(int Posn) {
  for (TFormControlObj* c : FItems)
    if (c->Pos > Posn) --c->Pos;
}

void TFormControlObjList::ShowAll(const TRect* Painted) {
  for (TFormControlObj* c : FItems) {
    if (c->ShowIt || c->Hidden()) continue;
    TWinControl* w = c->TheControl();
    if (!w) continue;
    TRect both;
    if (!Painted || IntersectRect(both, *Painted, w->BoundsRect())) c->SetLeft(-4000);
    c->Show();
  }
}

// ---- the form ----------------------------------------------------------------------------

ThtmlForm::ThtmlForm(ThtDocument* AMasterList, TAttributeList* L) : MasterList(AMasterList) {
  if (!L) return;
  for (const auto& A : *L) {
    switch (A->Symbol) {
      case symMethod: Method = A->Text; break;
      case symAction: Action = A->Text; break;
      case symTarget: Target = A->Text; break;
      case symEncType: EncType = A->Text; break;
      default: break;
    }
  }
}

ThtmlForm::~ThtmlForm() = default;

void ThtmlForm::InsertControl(std::unique_ptr<TFormControlObj> Ctrl) {
  if (!Ctrl) return;
  if (!dynamic_cast<THiddenFormControlObj*>(Ctrl.get())) ++NonHiddenCount;
  ControlList.push_back(std::move(Ctrl));
}

void ThtmlForm::ResetControls() {
  // A box put back raises its click: a handler that showed another page
  // (or freed the viewer) freed this form.
  const ThtEventToken page = MasterList ? MasterList->WatchEvents() : ThtEventToken();
  for (size_t i = 0; i < ControlList.size(); ++i) {
    ControlList[i]->ResetToValue();
    if (!page.PageKept()) return;
  }
}

void ThtmlForm::SetSizes(TCanvas* Canvas) {
  for (const auto& c : ControlList) c->SetHeightWidth(Canvas);
}

std::unique_ptr<TStringList> ThtmlForm::collect(bool SkipDisabled) {
  auto list = std::make_unique<TStringList>();
  for (const auto& c : ControlList) {
    if (SkipDisabled && c->Disabled) continue;
    String S;
    for (int i = 0; c->GetSubmission(i, S); ++i) {
      if (!S.empty()) list->Add(S);
      S.clear();
    }
  }
  return list;
}

std::unique_ptr<TStringList> ThtmlForm::GetFormSubmission() { return collect(false); }

void ThtmlForm::SubmitTheForm(const String& ButtonSubmission) {
  if (!MasterList || !MasterList->SubmitHook) return;
  std::unique_ptr<TStringList> list = collect(true);
  if (!ButtonSubmission.empty()) list->Add(ButtonSubmission);
  MasterList->SubmitHook(MasterList->Viewer, Action, Target, EncType, Method, std::move(list));
}

void ThtmlForm::DoRadios(TFormControlObj* Radio) {
  if (!Radio || Radio->FName.empty()) return;
  const ThtEventToken page = Radio->watchPage();
  const String name = Radio->FName;
  for (size_t i = 0; i < ControlList.size(); ++i) {
    auto* r = dynamic_cast<TRadioButtonFormControlObj*>(ControlList[i].get());
    if (!r || r == Radio || !AnsiSameText(r->FName, name)) continue;
    r->SetChecked(false);
    r->SetTabStop(false);
    r->CheckForChange();
    // A change handler that showed another page (or freed the viewer)
    // freed this form.
    if (!page.PageKept()) return;
  }
}

void ThtmlForm::ControlKeyPress(TObject* Sender, char16_t& Key) {
  if (Key != 13 || !dynamic_cast<ThtEdit*>(Sender)) return;
  SubmitTheForm(String());
  Key = 0;
}

void ThtmlForm::ControlKeyDown(TObject* Sender, WORD& Key, TShiftState Shift) {
  auto* button = dynamic_cast<TFormRadioButton*>(Sender);
  if (button && Key >= VK_LEFT && Key <= VK_DOWN) {
    const bool forward = Key == VK_RIGHT || Key == VK_DOWN;
    const int n = int(ControlList.size());
    int here = -1;
    for (int i = 0; i < n; ++i) {
      auto* r = dynamic_cast<TRadioButtonFormControlObj*>(ControlList[size_t(i)].get());
      if (r && r->RadioButton() == button) here = i;
    }
    if (here < 0) return;
    Key = 0;
    const String& group = ControlList[size_t(here)]->FName;
    // The next button of the group in the walking direction; none past the
    // ends (no wrap-around).
    for (int i = forward ? here + 1 : here - 1; i >= 0 && i < n; i += forward ? 1 : -1) {
      auto* r = dynamic_cast<TRadioButtonFormControlObj*>(ControlList[size_t(i)].get());
      if (!r || r->FName != group) continue;
      if (r->RadioButton()->CanFocus()) (void)htSetFocus(r->RadioButton(), r->watchPage());
      break;
    }
    Key = 0;  // the button itself would move the focus on
    return;
  }
  if (!MasterList) return;
  const bool arrow = Key >= VK_LEFT && Key <= VK_DOWN;
  if (auto* viewer = dynamic_cast<THtmlViewBase*>(MasterList->Viewer)) viewer->ViewerKeyDown(Key, Shift);
  // Arrows scroll the page; the box must not move the focus as well.
  if (arrow) Key = 0;
}

void ThtmlForm::SetFormData(const TStringList& Data) {
  // A box ticked or cleared raises its click: a handler that showed
  // another page (or freed the viewer) freed this form, and Data with the
  // history it came from.
  const ThtEventToken page = MasterList ? MasterList->WatchEvents() : ThtEventToken();
  for (size_t i = 0; i < ControlList.size(); ++i) {
    ControlList[i]->SetDataInit();
    if (!page.PageKept()) return;
  }
  // The n-th pair of a name goes to that name's controls as index n, so a
  // multiple list gets back each of its selected values.
  std::vector<std::pair<String, int>> seen;
  for (int i = 0; i < Data.Count(); ++i) {
    const String line = Data.Strings(i);
    const size_t eq = line.find(u'=');
    if (eq == String::npos) continue;
    const String name = line.substr(0, eq), value = line.substr(eq + 1);
    int index = 0;
    auto it = std::find_if(seen.begin(), seen.end(), [&](const auto& p) { return p.first == name; });
    if (it == seen.end()) seen.emplace_back(name, 1);
    else index = it->second++;
    for (size_t k = 0; k < ControlList.size(); ++k) {
      if (ControlList[k]->FName != name) continue;
      ControlList[k]->SetData(index, value);
      if (!page.PageKept()) return;
    }
  }
}
