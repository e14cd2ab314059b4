// Forms and the base of their control objects.
#include "html/view/form_controls.h"

#include <algorithm>

#include "html/view/document.h"

TFormControlObj::TFormControlObj(ThtDocument* ADocument, int Position, TAttributeList* L)
    : Document(ADocument), Pos(Position) {
  if (!L) return;
  TAttribute* T = nullptr;
  if (L->Find(symName, T)) Name = T->Text;
  if (L->Find(symValue, T)) FValue = T->Text;
  if (L->Find(symTabIndex, T)) TabIndex = T->Value;
  if (L->Find(symDisabled, T)) Disabled = true;
  if (L->Find(symReadOnly, T)) ReadOnly = true;
  ID = L->GetID();
  Title = L->GetTitle();
}

TFormControlObj::~TFormControlObj() {
  if (!Document) return;
  Document->ControlList.Remove(this);
  Document->RemoveTabStop(this);
  if (Document->HoverControl == this) Document->HoverControl = nullptr;
}

void TFormControlObj::ProcessProperties(TProperties* Prop) {
  if (!Prop) return;
  TAlignmentType align;
  if (Prop->GetVertAlign(align)) VertAlign = align;
}

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

void TFormControlObjList::ShowAll() {
  for (TFormControlObj* c : FItems)
    if (!c->ShowIt) c->Show();
}

ThtmlForm::ThtmlForm(ThtDocument* AMasterList, TAttributeList* L) : MasterList(AMasterList) {
  if (L)
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
