#include "html/model/object_pool.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <new>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define HT_POOL_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HT_POOL_OFF 1
#endif
#endif

#ifndef HT_POOL_OFF
namespace {

constexpr std::size_t SlabBytes = 64 * 1024;
constexpr std::size_t Step = 8;         // slot sizes and their alignment
constexpr std::size_t LargestSlot = 512;  // bigger objects go to the heap

// A slab's head, at its start; its slots follow. Slabs with a free slot
// are linked in their pool's list.
struct TSlab {
  TSlab* Prev = nullptr;
  TSlab* Next = nullptr;
  void* Free = nullptr;   // slots given back, linked through their first word
  char* Fresh = nullptr;  // slots never used start here
  char* End = nullptr;
  std::uint32_t Used = 0;
  bool Listed = false;
};

struct TPool {
  TSlab* Open = nullptr;  // slabs with room
  TSlab* Spare = nullptr; // one empty slab kept, so that a size in and out of use costs no heap traffic
};

constexpr std::size_t HeadBytes = (sizeof(TSlab) + 15) / 16 * 16;

std::mutex PoolLock;
std::size_t Mapped = 0;
std::array<TPool, LargestSlot / Step + 1> Pools;

void link(TPool& Pool, TSlab* S) {
  S->Prev = nullptr;
  S->Next = Pool.Open;
  if (Pool.Open) Pool.Open->Prev = S;
  Pool.Open = S;
  S->Listed = true;
}

void unlink(TPool& Pool, TSlab* S) {
  if (S->Prev) S->Prev->Next = S->Next;
  else Pool.Open = S->Next;
  if (S->Next) S->Next->Prev = S->Prev;
  S->Prev = S->Next = nullptr;
  S->Listed = false;
}

// Slabs are mapped by themselves, at an address that is a multiple of
// their size (an object finds its slab from its own address); taken from
// the heap with that alignment they left it riddled with gaps.
void* mapSlab() {
  const std::size_t span = SlabBytes * 2;
  void* got = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (got == MAP_FAILED) throw std::bad_alloc();
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(got);
  const std::uintptr_t aligned = (start + SlabBytes - 1) & ~std::uintptr_t(SlabBytes - 1);
  if (aligned > start) munmap(got, aligned - start);
  if (aligned + SlabBytes < start + span)
    munmap(reinterpret_cast<void*>(aligned + SlabBytes), start + span - aligned - SlabBytes);
  Mapped += SlabBytes;
  return reinterpret_cast<void*>(aligned);
}

TSlab* newSlab(std::size_t Slot) {
  void* mem = mapSlab();
  TSlab* s = new (mem) TSlab;
  s->Fresh = static_cast<char*>(mem) + HeadBytes;
  s->End = static_cast<char*>(mem) + HeadBytes + (SlabBytes - HeadBytes) / Slot * Slot;
  return s;
}

bool full(const TSlab* S, std::size_t Slot) { return !S->Free && S->Fresh + Slot > S->End; }

}  // namespace
#endif

void* PoolAlloc(std::size_t Size) {
#ifdef HT_POOL_OFF
  return ::operator new(Size);
#else
  if (Size > LargestSlot) return ::operator new(Size);
  const std::size_t slot = (Size + Step - 1) / Step * Step;
  TPool& pool = Pools[slot / Step];
  std::lock_guard<std::mutex> lock(PoolLock);
  TSlab* s = pool.Open;
  if (!s) {
    s = pool.Spare ? pool.Spare : newSlab(slot);
    pool.Spare = nullptr;
    link(pool, s);
  }
  void* p;
  if (s->Free) {
    p = s->Free;
    s->Free = *static_cast<void**>(p);
  } else {
    p = s->Fresh;
    s->Fresh += slot;
  }
  ++s->Used;
  if (full(s, slot)) unlink(pool, s);
  return p;
#endif
}

void PoolFree(void* P, std::size_t Size) noexcept {
#ifdef HT_POOL_OFF
  (void)Size;
  ::operator delete(P);
#else
  if (!P) return;
  if (Size > LargestSlot) {
    ::operator delete(P);
    return;
  }
  const std::size_t slot = (Size + Step - 1) / Step * Step;
  TPool& pool = Pools[slot / Step];
  TSlab* s = reinterpret_cast<TSlab*>(reinterpret_cast<std::uintptr_t>(P) & ~std::uintptr_t(SlabBytes - 1));
  std::lock_guard<std::mutex> lock(PoolLock);
  *static_cast<void**>(P) = s->Free;
  s->Free = P;
  if (!s->Listed) link(pool, s);
  if (--s->Used > 0) return;
  unlink(pool, s);
  if (!pool.Spare) {
    // Starts afresh, its slots all unused.
    s->Free = nullptr;
    s->Fresh = reinterpret_cast<char*>(s) + HeadBytes;
    pool.Spare = s;
    return;
  }
  s->~TSlab();
  munmap(s, SlabBytes);
  Mapped -= SlabBytes;
#endif
}

std::size_t PoolBytes() {
#ifdef HT_POOL_OFF
  return 0;  // the sanitizers watch every object on the heap
#else
  std::lock_guard<std::mutex> lock(PoolLock);
  return Mapped;
#endif
}
