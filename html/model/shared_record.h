#pragma once
// A record shared by the objects that hold it, freed with the last of
// them, behind one pointer: a std::shared_ptr takes two, and the cells of a
// large table each hold one.
#include <atomic>
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
