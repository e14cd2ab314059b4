#pragma once
// A record shared by the objects that hold it, freed with the last of
// them, behind one pointer: a std::shared_ptr takes two, and the cells of a
// large table each hold one.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <utility>

template <typename T>
class TSharedRecord {
public:
  TSharedRecord() noexcept = default;
  static TSharedRecord Make(const T& Value = T()) {
    TSharedRecord r;
    r.FNode = new TNode{Value, {1}};
    return r;
  }
  TSharedRecord(const TSharedRecord& Other) noexcept : FNode(Other.FNode) {
    if (FNode) FNode->Refs.fetch_add(1, std::memory_order_relaxed);
  }
  TSharedRecord(TSharedRecord&& Other) noexcept : FNode(std::exchange(Other.FNode, nullptr)) {}
  TSharedRecord& operator=(TSharedRecord Other) noexcept {
    std::swap(FNode, Other.FNode);
    return *this;
  }
  ~TSharedRecord() {
    if (FNode && FNode->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete FNode;
  }

  explicit operator bool() const { return FNode != nullptr; }
  T* operator->() const { return &FNode->Value; }
  T& operator*() const { return FNode->Value; }
  bool Shared() const { return FNode && FNode->Refs.load(std::memory_order_acquire) > 1; }

private:
  struct TNode {
    T Value;
    std::atomic<int> Refs;
  };
  TNode* FNode = nullptr;
};

// The records handed out last, so that objects that come out alike one
// after another (the cells of a table, a few kinds of them in turn) share
// one record instead of holding a copy each.
template <typename T, size_t N = 8>
class TSharedRecordCache {
public:
  TSharedRecord<T> Share(const T& Value) {
    for (size_t i = 0; i < FCount; ++i)
      if (*FRecent[i] == Value) {
        std::rotate(FRecent.begin(), FRecent.begin() + std::ptrdiff_t(i), FRecent.begin() + std::ptrdiff_t(i) + 1);
        return FRecent[0];
      }
    if (FCount < N) ++FCount;
    // The oldest (or an empty slot) goes, the new record comes first.
    std::rotate(FRecent.begin(), FRecent.begin() + std::ptrdiff_t(FCount) - 1, FRecent.begin() + std::ptrdiff_t(FCount));
    FRecent[0] = TSharedRecord<T>::Make(Value);
    return FRecent[0];
  }

private:
  std::array<TSharedRecord<T>, N> FRecent;
  size_t FCount = 0;
};
