#pragma once
// Room for the small objects a page is made of (sections, table cells and
// their content, font runs, line records), taken from 64 KB slabs of
// objects of one size instead of one heap block each. A heap block costs
// its object 8 bytes of bookkeeping and rounds it up to 16: for a table of
// 100,000 one-word cells, made of five such objects a cell, that is a
// twentieth of the table. A slab goes back to the heap when its last
// object goes, so a page left gives its room back as before. Under the
// address sanitizer every object comes from the heap, where it is watched.
//
// A class takes part by declaring
//   static void* operator new(size_t N) { return PoolAlloc(N); }
//   static void operator delete(void* P, size_t N) { PoolFree(P, N); }
// (its classes derived from it too: the size is the object's own).
#include <cstddef>

void* PoolAlloc(std::size_t Size);
void PoolFree(void* P, std::size_t Size) noexcept;
// The room the slabs take now (their objects and their free slots).
std::size_t PoolBytes();

#define HT_POOLED_OBJECT                                                      \
  static void* operator new(std::size_t N) { return PoolAlloc(N); }          \
  static void operator delete(void* P, std::size_t N) noexcept { PoolFree(P, N); }
