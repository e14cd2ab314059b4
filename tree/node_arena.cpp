// Chunked node memory; see node_arena.h for why.
#include "tree/node_arena.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/core/exception.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TAMRIX_NODE_ARENA_ASAN 1
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define TAMRIX_NODE_ARENA_ASAN 0
#endif

struct TNodeArenaChunk {
  TNodeArena* Owner;
  std::size_t Bytes;  // the whole chunk, header included
  std::size_t BlockSize;
  std::size_t Live;  // blocks handed out from this chunk and not freed
  char* Bump;        // the first block never handed out
  char* End;
  void* Freed;  // freed blocks, each holding the address of the next
  // Links in the owner's list of chunks with room, or of its spare chunks.
  TNodeArenaChunk* Prev;
  TNodeArenaChunk* Next;
  bool Listed;  // in the list of chunks with room
  // Links in the list of every chunk the owner holds.
  TNodeArenaChunk* AllPrev;
  TNodeArenaChunk* AllNext;
};

namespace {
constexpr std::size_t BlockAlignment = alignof(std::max_align_t);
constexpr std::size_t roundUp(std::size_t n, std::size_t a) { return (n + a - 1) / a * a; }
// Blocks start on a cache line, so a node of two lines spans just two.
constexpr std::size_t CacheLine = 64;
constexpr std::size_t HeaderBytes = roundUp(sizeof(TNodeArenaChunk), CacheLine);
}  // namespace

TNodeArena::~TNodeArena() {
  // The tree frees its nodes before it goes; whatever is left goes with it.
  while (FAll) releaseChunk(FAll);
  FSpare = nullptr;
}

TNodeArenaChunk* TNodeArena::chunkOf(void* Block) {
  return reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(Block) & ~std::uintptr_t(ChunkBytes - 1));
}

void TNodeArena::startChunk(Chunk* C, std::size_t BlockSize) {
  C->BlockSize = BlockSize;
  C->Live = 0;
  C->Bump = reinterpret_cast<char*>(C) + HeaderBytes;
  // Whole blocks only.
  C->End = C->Bump + (C->Bytes - HeaderBytes) / BlockSize * BlockSize;
  C->Freed = nullptr;
  C->Prev = C->Next = nullptr;
  C->Listed = false;
  ASAN_POISON_MEMORY_REGION(C->Bump, C->Bytes - HeaderBytes);
}

TNodeArenaChunk* TNodeArena::newChunk(std::size_t BlockSize) {
  const std::size_t bytes = roundUp(HeaderBytes + BlockSize, ChunkBytes);
  if (bytes == ChunkBytes && FSpare) {
    Chunk* c = FSpare;
    FSpare = c->Next;
    --FSpareCount;
    startChunk(c, BlockSize);
    return c;
  }
  void* memory = std::aligned_alloc(ChunkBytes, bytes);
  if (!memory) throw std::bad_alloc();
  auto* c = static_cast<Chunk*>(memory);
  c->Owner = this;
  c->Bytes = bytes;
  startChunk(c, BlockSize);
  c->AllPrev = nullptr;
  c->AllNext = FAll;
  if (FAll) FAll->AllPrev = c;
  FAll = c;
  ++FChunkCount;
  return c;
}

void TNodeArena::releaseChunk(Chunk* C) {
  if (C->Listed) unlist(C);
  if (C == FCurrent) FCurrent = nullptr;
  if (C->AllPrev)
    C->AllPrev->AllNext = C->AllNext;
  else
    FAll = C->AllNext;
  if (C->AllNext) C->AllNext->AllPrev = C->AllPrev;
  FBlockCount -= C->Live;
  --FChunkCount;
  ASAN_UNPOISON_MEMORY_REGION(reinterpret_cast<char*>(C) + HeaderBytes, C->Bytes - HeaderBytes);
  std::free(C);
}

void TNodeArena::retire(Chunk* C) {
  if (C->Listed) unlist(C);
  if (C == FCurrent) FCurrent = nullptr;
  if (TAMRIX_NODE_ARENA_ASAN || C->Bytes != ChunkBytes) {
    releaseChunk(C);
    return;
  }
  // An emptied tree is usually filled again soon, and memory handed back
  // costs a page fault per page when it is touched again: the chunk stays
  // with the tree as a spare until the tree goes.
  C->Live = 0;
  C->Next = FSpare;
  FSpare = C;
  ++FSpareCount;
}

void TNodeArena::listWithRoom(Chunk* C) {
  C->Prev = nullptr;
  C->Next = FWithRoom;
  if (FWithRoom) FWithRoom->Prev = C;
  FWithRoom = C;
  C->Listed = true;
}

void TNodeArena::unlist(Chunk* C) {
  if (C->Prev)
    C->Prev->Next = C->Next;
  else
    FWithRoom = C->Next;
  if (C->Next) C->Next->Prev = C->Prev;
  C->Prev = C->Next = nullptr;
  C->Listed = false;
}

void* TNodeArena::take(Chunk* C) {
  void* block = nullptr;
  if (C->Freed) {
    block = C->Freed;
    ASAN_UNPOISON_MEMORY_REGION(block, C->BlockSize);
    std::memcpy(&C->Freed, block, sizeof(void*));
  } else if (std::size_t(C->End - C->Bump) >= C->BlockSize) {
    block = C->Bump;
    C->Bump += C->BlockSize;
    ASAN_UNPOISON_MEMORY_REGION(block, C->BlockSize);
  } else {
    return nullptr;
  }
  ++C->Live;
  return block;
}

void* TNodeArena::Allocate(std::size_t Size) {
  Size = roundUp(Size == 0 ? 1 : Size, BlockAlignment);
  void* block = nullptr;
  if (FCurrent && FCurrent->BlockSize == Size) block = take(FCurrent);
  if (!block) {
    // The current chunk is full or cuts another size: take a chunk with
    // freed blocks of this size, or a new one.
    Chunk* next = FWithRoom;
    while (next && next->BlockSize != Size) next = next->Next;
    if (next)
      unlist(next);
    else
      next = newChunk(Size);
    Chunk* previous = FCurrent;
    FCurrent = next;
    if (previous && previous->Live == 0)
      retire(previous);
    else if (previous && (previous->Freed || std::size_t(previous->End - previous->Bump) >= previous->BlockSize))
      listWithRoom(previous);
    block = take(next);
    TAMRIX_ASSERT(block != nullptr, "A node chunk chosen for its room has none.");
  }
  ++FBlockCount;
  std::memset(block, 0, Size);
  return block;
}

void TNodeArena::Free(void* Block) {
  if (!Block) return;
  Chunk* c = chunkOf(Block);
  TAMRIX_ASSERT(c->Owner == this && c->Live > 0, "A node block is freed by a tree that did not make it.");
  --c->Live;
  --FBlockCount;
  ASAN_POISON_MEMORY_REGION(Block, c->BlockSize);
  if (c->Live == 0) {
    if (c == FCurrent && !TAMRIX_NODE_ARENA_ASAN) {
      // Kept for the next nodes; its pages are in use anyway.
      startChunk(c, c->BlockSize);
      return;
    }
    retire(c);
    return;
  }
#if !TAMRIX_NODE_ARENA_ASAN
  // Under AddressSanitizer a freed block stays poisoned until its chunk
  // goes, so a late access to the node is reported.
  std::memcpy(Block, &c->Freed, sizeof(void*));
  c->Freed = Block;
  if (c != FCurrent && !c->Listed) listWithRoom(c);
#endif
}
