#pragma once
// The set of paths an extraction has written (ziplib's extractor).
#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/keyed_hash.h"

namespace ziplib {

// The paths this run has written, to refuse a second entry of the same
// path. An archive of a million entries would cost a hundred megabytes as
// a set of strings, so the set keeps for each path only a fingerprint of
// its hash and where its entry's central header is; a fingerprint that
// matches is confirmed by reading that entry's path again. The hash takes
// a key per run: paths cannot be chosen to crowd one run of slots or to
// share fingerprints, so a confirmation happens about once per path that
// is really there twice.
class WrittenPaths {
public:
  // Sized once for the entries of an archive: never more paths than that.
  void reserve(uint64_t entries, uint64_t directorySize) {
    FPositionBits = std::max(40, int(std::bit_width(directorySize + 1)));
    FSlots.assign(size_t(entries + entries / 2 + 16), 0);
  }
  // Adds the path of the entry at position unless an equal path is there;
  // same(position) tells whether the entry at an earlier position has it.
  template <typename Same>
  bool insert(const std::string& path, uint64_t position, Same same) {
    const uint64_t h = hash(path);
    const uint64_t fp = FPositionBits >= 64 ? 0 : h >> FPositionBits;
    const uint64_t mask = FPositionBits >= 64 ? ~uint64_t(0) : (uint64_t(1) << FPositionBits) - 1;
    const size_t n = FSlots.size();
    // The slot comes from the hash's low bits, the fingerprint from its top.
    size_t i = size_t((static_cast<unsigned __int128>(std::rotl(h, 32)) * n) >> 64);
    for (;; i = i + 1 == n ? 0 : i + 1) {
      const uint64_t slot = FSlots[i];
      ++FProbes;
      if (slot == 0) break;
      if (FPositionBits < 64 && (slot >> FPositionBits) != fp) continue;
      ++FConfirmations;
      if (same((slot & mask) - 1)) return false;
    }
    FSlots[i] = (FPositionBits >= 64 ? 0 : fp << FPositionBits) | (position + 1);
    return true;
  }

  // Work done so far, for the tests of names made to collide: slots
  // visited and earlier entries read again.
  uint64_t Probes() const { return FProbes; }
  uint64_t Confirmations() const { return FConfirmations; }

private:
  static uint64_t hash(const std::string& s) { return keyedhash::Hash(s); }
  std::vector<uint64_t> FSlots;
  int FPositionBits = 40;
  uint64_t FProbes = 0, FConfirmations = 0;
};

}  // namespace ziplib
