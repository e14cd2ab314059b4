#pragma once
// A hash keyed afresh in every run, for tables whose keys come from outside
// (names in an archive, paths it makes): without the key nobody can choose
// keys that pile up in one place of the table. SipHash-1-3, fed in 16-bit
// units or in bytes; header-only so that the compression library, which
// links little of the platform, shares it.
#include <sys/random.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace keyedhash {

struct Key {
  uint64_t k0, k1;
};

// The key of this run: from the system's random source, else from the
// clock and an address (still differs per run).
inline Key RunKey() {
  static const Key key = [] {
    Key k{};
    if (::getrandom(&k, sizeof k, 0) != ssize_t(sizeof k)) {
      static int here;
      k.k0 = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) * 0x9E3779B97F4A7C15ull;
      k.k1 = uint64_t(reinterpret_cast<uintptr_t>(&here)) ^ (k.k0 >> 17);
    }
    return k;
  }();
  return key;
}

// Streaming SipHash-1-3: Add bytes or 16-bit units, then Finish.
class Hasher {
public:
  explicit Hasher(Key key = RunKey())
      : v0(key.k0 ^ 0x736f6d6570736575ull), v1(key.k1 ^ 0x646f72616e646f6dull),
        v2(key.k0 ^ 0x6c7967656e657261ull), v3(key.k1 ^ 0x7465646279746573ull) {}

  void AddByte(uint8_t b) {
    FTail |= uint64_t(b) << (8 * (FLength & 7));
    if ((++FLength & 7) == 0) {
      compress(FTail);
      FTail = 0;
    }
  }
  // A unit as two bytes, low first.
  void AddUnit(char16_t c) {
    if (FLength & 1) {
      AddByte(uint8_t(c));
      AddByte(uint8_t(c >> 8));
      return;
    }
    FTail |= uint64_t(c) << (8 * (FLength & 7));
    FLength += 2;
    if ((FLength & 7) == 0) {
      compress(FTail);
      FTail = 0;
    }
  }
  void AddBytes(std::string_view s) {
    for (char c : s) AddByte(uint8_t(c));
  }
  uint64_t Finish() {
    compress(FTail | (uint64_t(FLength & 0xFF) << 56));
    v2 ^= 0xFF;
    round();
    round();
    round();
    return v0 ^ v1 ^ v2 ^ v3;
  }

private:
  static uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }
  void round() {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
  }
  void compress(uint64_t m) {
    v3 ^= m;
    round();
    v0 ^= m;
  }
  uint64_t v0, v1, v2, v3;
  uint64_t FTail = 0;
  uint64_t FLength = 0;
};

inline uint64_t Hash(std::string_view bytes, Key key = RunKey()) {
  Hasher h(key);
  h.AddBytes(bytes);
  return h.Finish();
}

// For unordered containers keyed by outside strings.
struct StringHash {
  size_t operator()(const std::string& s) const { return size_t(Hash(s)); }
};

}  // namespace keyedhash
