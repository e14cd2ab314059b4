#pragma once
// A list that keeps its first element in place and goes to the heap only
// from the second on. Most text sections of a page (a table's cells above
// all) hold one line and one run of source positions: a std::vector costs
// them a heap block each, and more room for itself.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

template <typename T>
class TSmallList {
public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  TSmallList() noexcept {}
  TSmallList(const TSmallList& Source) requires std::is_copy_constructible_v<T> {
    reserve(Source.FSize);
    for (const T& x : Source) push_back(x);
  }
  TSmallList(TSmallList&& Source) noexcept { takeFrom(Source); }
  TSmallList& operator=(const TSmallList& Source) requires std::is_copy_constructible_v<T> {
    if (this != &Source) {
      TSmallList copy(Source);
      swap(copy);
    }
    return *this;
  }
  TSmallList& operator=(TSmallList&& Source) noexcept {
    if (this != &Source) {
      release();
      takeFrom(Source);
    }
    return *this;
  }
  ~TSmallList() { release(); }

  size_t size() const { return FSize; }
  bool empty() const { return FSize == 0; }
  size_t capacity() const { return FCap; }
  T* data() { return FCap <= 1 ? inPlace() : FHeap; }
  const T* data() const { return FCap <= 1 ? inPlace() : FHeap; }
  T* begin() { return data(); }
  T* end() { return data() + FSize; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + FSize; }
  std::reverse_iterator<T*> rbegin() { return std::reverse_iterator<T*>(end()); }
  std::reverse_iterator<T*> rend() { return std::reverse_iterator<T*>(begin()); }
  std::reverse_iterator<const T*> rbegin() const { return std::reverse_iterator<const T*>(end()); }
  std::reverse_iterator<const T*> rend() const { return std::reverse_iterator<const T*>(begin()); }
  T& operator[](size_t I) { return data()[I]; }
  const T& operator[](size_t I) const { return data()[I]; }
  T& at(size_t I) { return I < FSize ? data()[I] : throw std::out_of_range("TSmallList::at"); }
  const T& at(size_t I) const { return I < FSize ? data()[I] : throw std::out_of_range("TSmallList::at"); }
  T& front() { return data()[0]; }
  const T& front() const { return data()[0]; }
  T& back() { return data()[FSize - 1]; }
  const T& back() const { return data()[FSize - 1]; }

  void push_back(T Value) {
    if (FSize == FCap) grow(FCap < 4 ? 4 : FCap * 2);
    new (data() + FSize) T(std::move(Value));
    ++FSize;
  }
  template <typename... A>
  T& emplace_back(A&&... Args) {
    push_back(T(std::forward<A>(Args)...));
    return back();
  }
  T* insert(const T* Pos, T Value) {
    const size_t at = size_t(Pos - begin());
    push_back(std::move(Value));
    std::rotate(begin() + at, end() - 1, end());
    return begin() + at;
  }
  T* erase(const T* Pos) { return erase(Pos, Pos + 1); }
  T* erase(const T* First, const T* Last) {
    const size_t at = size_t(First - begin()), n = size_t(Last - First);
    std::move(begin() + at + n, end(), begin() + at);
    for (size_t i = 0; i < n; ++i) pop_back();
    return begin() + at;
  }
  void pop_back() {
    --FSize;
    data()[FSize].~T();
  }
  void clear() {
    T* p = data();
    for (uint32_t i = 0; i < FSize; ++i) p[i].~T();
    FSize = 0;
  }
  void reserve(size_t N) {
    if (N > FCap) grow(N);
  }
  // Gives back the room beyond the elements (to the first place when there
  // is at most one).
  void shrink_to_fit() {
    if (FCap > 1 && FSize < FCap) moveTo(FSize);
  }
  void swap(TSmallList& Other) noexcept {
    TSmallList t(std::move(Other));
    Other = std::move(*this);
    *this = std::move(t);
  }

private:
  T* inPlace() { return std::launder(reinterpret_cast<T*>(FOne)); }
  const T* inPlace() const { return std::launder(reinterpret_cast<const T*>(FOne)); }
  void grow(size_t N) { moveTo(N); }
  // Moves the elements to storage for N (N <= 1: the place in the list).
  void moveTo(size_t N) {
    T* from = data();
    T* to = N <= 1 ? (FCap <= 1 ? from : inPlace()) : static_cast<T*>(::operator new(N * sizeof(T)));
    if (to != from) {
      for (uint32_t i = 0; i < FSize; ++i) {
        new (to + i) T(std::move(from[i]));
        from[i].~T();
      }
      if (FCap > 1) ::operator delete(from);
    }
    if (N > 1) FHeap = to;
    FCap = uint32_t(N <= 1 ? 1 : N);
  }
  void release() {
    clear();
    if (FCap > 1) ::operator delete(FHeap);
    FCap = 1;
  }
  void takeFrom(TSmallList& Source) {
    if (Source.FCap > 1) {
      FHeap = Source.FHeap;
      FCap = Source.FCap;
      FSize = Source.FSize;
      Source.FCap = 1;
      Source.FSize = 0;
      return;
    }
    FCap = 1;
    FSize = 0;
    if (Source.FSize == 1) {
      new (inPlace()) T(std::move(*Source.inPlace()));
      FSize = 1;
      Source.clear();
    }
  }

  union {
    T* FHeap;
    alignas(T) unsigned char FOne[sizeof(T)];
  };
  uint32_t FSize = 0;
  uint32_t FCap = 1;  // 1: the element (if any) is in FOne
};
