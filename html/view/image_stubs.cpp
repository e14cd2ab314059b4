// Placeholder bodies of the image objects and the document's picture
// fetch. The picture code replaces this file with its own.
#include "html/view/document.h"
#include "html/view/image_object.h"
#include "html/view/text_buffers.h"

TImageObj::TImageObj(ThtDocument* AMasterList, int Position, TAttributeList* L) : MasterList(AMasterList) {
  Pos = Position;
  TAttribute* T = nullptr;
  if (L && L->Find(symSrc, T)) Source = WideTrim(T->Text);
  if (L && L->Find(symAlt, T)) SetAlt(T->Text);
  SpecWidth = SpecHeight = -1;
  VertAlign = ABottom;
}
TImageObj::TImageObj(ThtDocument* AMasterList, const String& AnURL) : Source(AnURL), MasterList(AMasterList) {
  VertAlign = ABottom;
  NoBorder = true;
  SpecWidth = SpecHeight = -1;
}
TImageObj::TImageObj(ThtDocument* AMasterList, const TImageObj& T)
    : TFloatingObj(AMasterList, T), Source(T.Source), MasterList(AMasterList) {}
TImageObj::~TImageObj() = default;
void TImageObj::DrawLogic(ThtDocument*, TCanvas*, TFontObj*, int, int) {}
void TImageObj::Draw(TCanvas*, int, int, int, TFontObj*) {}
std::unique_ptr<TFloatingObj> TImageObj::CreateCopy(ThtDocument* Document) const {
  return std::make_unique<TImageObj>(Document, *this);
}

TGraphic* ThtDocument::FetchImage(const String&, uint8_t&, TBitmap*& Mask, bool& FromCache, bool& Delayed) {
  Mask = nullptr;
  FromCache = Delayed = false;
  return nullptr;
}
void ThtDocument::FetchBackground() { BackgroundTried = true; }

void TDrawList::DrawImages() { FItems.clear(); }
