// The viewer's image cache.
#include "html/images/image_cache.h"

#include <algorithm>
#include <vector>

#include "html/images/gdiplus_images.h"

TBitmapItem::TBitmapItem(std::unique_ptr<TgpObject> AImage, std::unique_ptr<TBitmap> AMask, std::uint8_t Tr)
    : Transp(Tr), MImage(std::move(AImage)), Mask(std::move(AMask)) {}

TBitmapItem::~TBitmapItem() = default;

TStringBitmapList::TStringBitmapList() : TStringList(true) { GdiPlusStart(); }

TStringBitmapList::~TStringBitmapList() {
  Clear();
  GdiPlusStop();
}

int TStringBitmapList::AddObject(const String& Key, std::unique_ptr<TBitmapItem> Item) {
  TBitmapItem* item = Item.get();
  const int index = TStringList::AddObject(Key, Item.release());
  ++item->UsageCount;
  return index;
}

TgpObject* TStringBitmapList::GetImage(int Index) {
  TBitmapItem* item = Item(Index);
  item->AccessCount = 0;
  ++item->UsageCount;
  return item->MImage.get();
}

void TStringBitmapList::DecUsage(const String& Key) {
  const int i = IndexOf(Key);
  if (i >= 0) --Item(i)->UsageCount;
}

void TStringBitmapList::freeAt(int index) { Delete(index); }  // the list owns its entries

void TStringBitmapList::BumpAndCheck() {
  for (int i = Count() - 1; i >= 0; --i) {
    TBitmapItem* item = Item(i);
    ++item->AccessCount;
    if (item->AccessCount > FMaxCache && item->UsageCount <= 0) freeAt(i);
  }
  // Pictures no page shows are kept for the next page only up to a small
  // total, the most recently shown first: a large picture of a page left
  // behind does not stay in memory.
  std::vector<std::pair<int, int>> unused;  // (age, index)
  for (int i = 0; i < Count(); ++i)
    if (Item(i)->UsageCount <= 0) unused.emplace_back(Item(i)->AccessCount, i);
  std::stable_sort(unused.begin(), unused.end());
  std::vector<int> drop;
  std::uint64_t kept = 0;
  for (const auto& [age, index] : unused) {
    kept += DecodedBytes(Item(index)->MImage.get());
    if (kept > UnusedBudget) drop.push_back(index);
  }
  std::sort(drop.rbegin(), drop.rend());
  for (int index : drop) freeAt(index);
}

void TStringBitmapList::SetCacheCount(int N) {
  for (int i = Count() - 1; i >= 0; --i) {
    TBitmapItem* item = Item(i);
    if (item->AccessCount > N && item->UsageCount <= 0) freeAt(i);
  }
  FMaxCache = N;
}

void TStringBitmapList::Clear() { TStringList::Clear(); }
