#pragma once
// Where a section's lines may break: one flag a character, 'y' (a break
// may follow), 'n' (never, as in preformatted or NOBR text), 'a' (always
// may, after a WBR) and 's' (with a hyphen, at a soft hyphen). Nearly every
// flag of a page is 'y', so only the flags up to the last other one are
// kept, in one heap block behind a single pointer; a character past them
// reads 'y'. A finished section of ordinary text keeps no block at all.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

class TBreakFlags {
public:
  TBreakFlags() noexcept = default;
  TBreakFlags(const TBreakFlags& Source) {
    if (Source.size() > 0) {
      reserveExact(Source.size());
      std::memcpy(flags(), Source.flags(), Source.size());
      FBlock->Size = Source.FBlock->Size;
    }
  }
  TBreakFlags(TBreakFlags&& Source) noexcept : FBlock(std::exchange(Source.FBlock, nullptr)) {}
  TBreakFlags& operator=(TBreakFlags Source) noexcept {
    std::swap(FBlock, Source.FBlock);
    return *this;
  }
  ~TBreakFlags() { std::free(FBlock); }

  // The flag of character I.
  char operator[](size_t I) const { return I < size() ? flags()[I] : 'y'; }
  // The flags kept (those from here on read 'y'), and the room for them.
  size_t size() const { return FBlock ? FBlock->Size : 0; }
  size_t capacity() const { return FBlock ? FBlock->Cap : 0; }

  void Set(size_t I, char Flag) { Fill(I, 1, Flag); }
  // Sets the flags of N characters from I on.
  void Fill(size_t I, size_t N, char Flag) {
    if (N == 0) return;
    if (I + N > size()) {
      if (Flag == 'y') {  // what lies past the kept flags is 'y' already
        if (I < size()) std::memset(flags() + I, 'y', size() - I);
        return;
      }
      extendTo(I + N);
    }
    std::memset(flags() + I, Flag, N);
  }
  // Copies the flags of N characters from From down to To (To <= From).
  void MoveDown(size_t From, size_t To, size_t N) {
    const size_t n = size();
    if (To >= n || From == To) return;  // 'y' onto 'y'
    const size_t end = std::min(To + N, n);
    const size_t copied = From < n ? std::min(end - To, n - From) : 0;
    if (copied > 0) std::memmove(flags() + To, flags() + From, copied);
    std::memset(flags() + To + copied, 'y', end - To - copied);
  }
  // Forgets the flags from N on: they read 'y' again.
  void Truncate(size_t N) {
    if (N < size()) FBlock->Size = uint32_t(N);
  }
  // Once the text is finished: keeps no trailing 'y' and no room beyond the
  // flags, and no block at all when nothing but 'y' is left.
  void Compact() {
    size_t n = size();
    while (n > 0 && flags()[n - 1] == 'y') --n;
    if (n == 0) {
      std::free(std::exchange(FBlock, nullptr));
      return;
    }
    FBlock->Size = uint32_t(n);
    if (FBlock->Cap != n) reserveExact(n);
  }
  // The first N flags as text.
  std::string Text(size_t N) const {
    std::string s(N, 'y');
    if (FBlock) std::memcpy(s.data(), flags(), std::min(N, size()));
    return s;
  }

private:
  // The header of the block; the flags follow it.
  struct TBlock {
    uint32_t Size;
    uint32_t Cap;
  };
  char* flags() const { return reinterpret_cast<char*>(FBlock + 1); }
  static size_t blockBytes(size_t Cap) { return sizeof(TBlock) + Cap; }
  // Room for exactly Cap flags (at least those kept).
  void reserveExact(size_t Cap) {
    if (Cap > UINT32_MAX) throw std::bad_alloc();
    void* p = std::realloc(FBlock, blockBytes(Cap));
    if (!p) throw std::bad_alloc();
    const bool fresh = FBlock == nullptr;
    FBlock = static_cast<TBlock*>(p);
    if (fresh) FBlock->Size = 0;
    FBlock->Cap = uint32_t(Cap);
  }
  // Keeps N flags, the new ones 'y'; the room grows by doubling, as text
  // taken a character at a time would otherwise copy it each time.
  void extendTo(size_t N) {
    const size_t old = size();
    if (N > capacity()) reserveExact(std::max({N, capacity() * 2, size_t(16)}));
    std::memset(flags() + old, 'y', N - old);
    FBlock->Size = uint32_t(N);
  }

  TBlock* FBlock = nullptr;
};
