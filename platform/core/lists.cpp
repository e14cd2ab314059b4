#include "platform/core/lists.h"

#include <algorithm>

#include "platform/core/exception.h"
#include "platform/core/strings.h"

void RaiseListIndexError(int index) {
  throw EListError(Format(u"List index out of bounds (%d)", index));
}

void TList::SetCount(int value) {
  if (value < 0) RaiseListIndexError(value);
  FItems.resize(size_t(value), nullptr);
}

void TList::SetCapacity(int value) {
  if (value < Count()) RaiseListIndexError(value);
  FItems.reserve(size_t(value));
}

void* TList::Items(int index) const {
  check(index);
  return FItems[size_t(index)];
}

void TList::SetItems(int index, void* item) {
  check(index);
  FItems[size_t(index)] = item;
}

int TList::Add(void* item) {
  FItems.push_back(item);
  return Count() - 1;
}

void TList::Insert(int index, void* item) {
  if (index < 0 || index > Count()) RaiseListIndexError(index);
  FItems.insert(FItems.begin() + index, item);
}

void TList::Delete(int index) {
  check(index);
  FItems.erase(FItems.begin() + index);
}

int TList::Remove(void* item) {
  const int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* item) {
  return Remove(item) >= 0 ? item : nullptr;
}

int TList::IndexOf(void* item) const {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  return it == FItems.end() ? -1 : int(it - FItems.begin());
}

void TList::Exchange(int index1, int index2) {
  check(index1);
  check(index2);
  std::swap(FItems[size_t(index1)], FItems[size_t(index2)]);
}

void TList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  check(curIndex);
  check(newIndex);
  void* item = FItems[size_t(curIndex)];
  FItems.erase(FItems.begin() + curIndex);
  FItems.insert(FItems.begin() + newIndex, item);
}

void TList::Pack() { std::erase(FItems, nullptr); }

void TList::Sort(const TListSortCompare& compare) {
  if (!compare) return;
  std::stable_sort(FItems.begin(), FItems.end(),
                   [&](void* a, void* b) { return compare(a, b) < 0; });
}
