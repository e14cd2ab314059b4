#pragma once
// Memory for the nodes of one tree.
//
// A result list of a million rows makes a million nodes in one go and
// frees them all together a moment later; one heap allocation per node
// costs more than reading the rows. Nodes are therefore cut from large
// chunks. A chunk is aligned to its own size, so the chunk a block belongs
// to (and with it the block's size) is found from the block's address: a
// single node can still be freed on its own, and its block is reused by the
// next node of that size. A chunk whose last block is freed is kept as a
// spare for the next fill (a result list is emptied and filled again all
// the time); all chunks go back to the heap with the tree.
//
// Under AddressSanitizer every block not handed out is poisoned and freed
// blocks are never reused, so touching a freed node is still reported.
#include <cstddef>
#include <cstdint>

struct TNodeArenaChunk;

class TNodeArena {
public:
  TNodeArena() = default;
  TNodeArena(const TNodeArena&) = delete;
  TNodeArena& operator=(const TNodeArena&) = delete;
  ~TNodeArena();

  // A zero-filled block of Size bytes, aligned for any type. Throws
  // std::bad_alloc when no memory is left.
  void* Allocate(std::size_t Size);
  // Gives back a block that this arena's Allocate returned.
  void Free(void* Block);

  // Blocks handed out and not yet freed.
  std::size_t BlockCount() const { return FBlockCount; }
  // Chunks held from the heap right now, and how many of them are empty
  // spares kept for the next nodes.
  std::size_t ChunkCount() const { return FChunkCount; }
  std::size_t SpareCount() const { return FSpareCount; }

  // Bytes a chunk covers (and its alignment); bigger blocks get a chunk of
  // their own.
  static constexpr std::size_t ChunkBytes = std::size_t(1) << 20;

private:
  using Chunk = TNodeArenaChunk;
  static Chunk* chunkOf(void* Block);
  Chunk* newChunk(std::size_t BlockSize);
  static void startChunk(Chunk* C, std::size_t BlockSize);
  // A chunk whose last block was freed: kept as a spare or given back.
  void retire(Chunk* C);
  void releaseChunk(Chunk* C);
  void listWithRoom(Chunk* C);
  void unlist(Chunk* C);
  static void* take(Chunk* C);

  // Where blocks come from first.
  Chunk* FCurrent = nullptr;
  // Other chunks that have freed blocks to give out.
  Chunk* FWithRoom = nullptr;
  // Every chunk held, and the empty ones among them.
  Chunk* FAll = nullptr;
  Chunk* FSpare = nullptr;
  std::size_t FBlockCount = 0;
  std::size_t FChunkCount = 0;
  std::size_t FSpareCount = 0;
};
