#pragma once
// TList: an ordered list of untyped pointers that it does not own.
#include <functional>
#include <vector>

#include "platform/core/object.h"

// Raises EListError "List index out of bounds (<index>)".
[[noreturn]] void RaiseListIndexError(int index);

class TList : public TObject {
public:
  using TListSortCompare = std::function<int(void* Item1, void* Item2)>;

  int Count() const { return int(FItems.size()); }
  // Growing adds nil pointers; shrinking drops the last ones.
  void SetCount(int value);
  int Capacity() const { return int(FItems.capacity()); }
  void SetCapacity(int value);

  void* Items(int index) const;
  void SetItems(int index, void* item);
  void* operator[](int index) const { return Items(index); }

  int Add(void* item);
  void Insert(int index, void* item);
  void Delete(int index);
  // Removes the first occurrence; returns its former index or -1.
  int Remove(void* item);
  // Removes the first occurrence and returns item, or nil when absent.
  void* Extract(void* item);
  int IndexOf(void* item) const;
  void Clear() { FItems.clear(); }
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  // Drops every nil pointer.
  void Pack();
  void* First() const { return Items(0); }
  void* Last() const { return Items(Count() - 1); }
  // Stable sort by compare (<0, 0, >0).
  void Sort(const TListSortCompare& compare);

  const std::vector<void*>& List() const { return FItems; }

private:
  void check(int index) const {
    if (index < 0 || index >= Count()) RaiseListIndexError(index);
  }

  std::vector<void*> FItems;
};
