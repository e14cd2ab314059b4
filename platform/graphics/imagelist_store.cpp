// TImageList storage, overlays and change links.
#include "platform/graphics/imagelist.h"

#include <algorithm>

#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

TImageList::TImageList(TComponent* AOwner) : TComponent(AOwner) {}
TImageList::~TImageList() {
  for (TChangeLink* link : FChangeLinks) link->FSender = nullptr;
}

void TImageList::SetWidth(int value) {
  if (value == FWidth || value <= 0) return;
  FWidth = value;
  Clear();
}

void TImageList::SetHeight(int value) {
  if (value == FHeight || value <= 0) return;
  FHeight = value;
  Clear();
}

TImageList::Entry TImageList::makeEntry(TBitmap* image, TBitmap* mask, int column) const {
  Entry e;
  auto cut = [&](TBitmap* src) {
    auto b = std::make_unique<TBitmap>(FWidth, FHeight);
    TRect dest{0, 0, FWidth, FHeight};
    TRect from{column * FWidth, 0, column * FWidth + FWidth, FHeight};
    b->Canvas()->CopyRect(dest, src->Canvas(), from);
    return b;
  };
  e.Image = cut(image);
  if (mask) e.Mask = cut(mask);
  return e;
}

int TImageList::Add(TBitmap* Image, TBitmap* Mask) {
  if (!Image || Image->Width() <= 0) return -1;
  int first = Count();
  int pieces = std::max(1, Image->Width() / FWidth);
  for (int i = 0; i < pieces; ++i) FImages.push_back(makeEntry(Image, Mask, i));
  Change();
  return first;
}

int TImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  if (!Image || Image->Width() <= 0) return -1;
  int first = Count();
  int pieces = std::max(1, Image->Width() / FWidth);
  for (int i = 0; i < pieces; ++i) {
    Entry e = makeEntry(Image, nullptr, i);
    e.Image->SetTransparentColor(MaskColor);
    e.Image->SetTransparent(true);
    FImages.push_back(std::move(e));
  }
  Change();
  return first;
}

void TImageList::Insert(int Index, TBitmap* Image, TBitmap* Mask) {
  if (Index < 0 || Index > Count()) throw EInvalidOperation(u"Image list index out of bounds");
  if (!Image) return;
  FImages.insert(FImages.begin() + Index, makeEntry(Image, Mask, 0));
  Change();
}

void TImageList::Replace(int Index, TBitmap* Image, TBitmap* Mask) {
  if (Index < 0 || Index >= Count()) throw EInvalidOperation(u"Image list index out of bounds");
  if (!Image) return;
  FImages[size_t(Index)] = makeEntry(Image, Mask, 0);
  Change();
}

void TImageList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) throw EInvalidOperation(u"Image list index out of bounds");
  FImages.erase(FImages.begin() + Index);
  Change();
}

void TImageList::Clear() {
  if (FImages.empty()) return;
  FImages.clear();
  Change();
}

void TImageList::Move(int CurIndex, int NewIndex) {
  if (CurIndex < 0 || CurIndex >= Count() || NewIndex < 0 || NewIndex >= Count())
    throw EInvalidOperation(u"Image list index out of bounds");
  Entry e = std::move(FImages[size_t(CurIndex)]);
  FImages.erase(FImages.begin() + CurIndex);
  FImages.insert(FImages.begin() + NewIndex, std::move(e));
  Change();
}

bool TImageList::GetBitmap(int Index, TBitmap* Image) const {
  if (!Image || Index < 0 || Index >= Count()) return false;
  Image->Assign(*FImages[size_t(Index)].Image);
  return true;
}

TBitmap* TImageList::Images(int Index) const {
  return Index >= 0 && Index < Count() ? FImages[size_t(Index)].Image.get() : nullptr;
}

TBitmap* TImageList::Masks(int Index) const {
  return Index >= 0 && Index < Count() ? FImages[size_t(Index)].Mask.get() : nullptr;
}

bool TImageList::SetOverlay(int Image, int Overlay) {
  if (Overlay < 1 || Overlay > 15 || Image < 0 || Image >= Count()) return false;
  FOverlays[size_t(Overlay - 1)] = Image;
  return true;
}

int TImageList::Overlay(int Overlay) const {
  return Overlay >= 1 && Overlay <= 15 ? FOverlays[size_t(Overlay - 1)] : -1;
}

void TImageList::RegisterChanges(TChangeLink* Value) {
  if (!Value || std::find(FChangeLinks.begin(), FChangeLinks.end(), Value) != FChangeLinks.end()) return;
  if (Value->FSender) Value->FSender->UnRegisterChanges(Value);
  Value->FSender = this;
  FChangeLinks.push_back(Value);
}

void TImageList::UnRegisterChanges(TChangeLink* Value) {
  auto it = std::find(FChangeLinks.begin(), FChangeLinks.end(), Value);
  if (it == FChangeLinks.end()) return;
  (*it)->FSender = nullptr;
  FChangeLinks.erase(it);
}

void TImageList::Change() {
  // A handler may register or unregister links: walk a copy, and skip the
  // links that left meanwhile.
  const std::vector<TChangeLink*> links = FChangeLinks;
  for (TChangeLink* link : links)
    if (std::find(FChangeLinks.begin(), FChangeLinks.end(), link) != FChangeLinks.end()) link->Change();
}

TChangeLink::~TChangeLink() {
  if (FSender) FSender->UnRegisterChanges(this);
}

void TChangeLink::Change() {
  if (OnChange) OnChange(FSender);
}
