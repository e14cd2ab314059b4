#pragma once
// Names made to collide in the name tables of the zip component and the
// compression library as they were before their hashes took a key per run,
// and random names of the same shape. Shared by the tests and the zip
// benchmark; plain C++, no test framework.
#include <cctype>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace colliding {

// The component's former name hash: FNV-1a over the units as compared
// (upper case, '/' as '\\'), without a key.
inline uint32_t unkeyedNameHash(uint32_t h, const std::string& s) {
  for (unsigned char c : s) h = (h ^ uint32_t(c == '/' ? '\\' : std::toupper(c))) * 16777619u;
  return h;
}
constexpr uint32_t kNameHashStart = 2166136261u;

inline const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// Two different blocks of eight letters that take the hash from state to
// the same state: drawn until two meet.
inline std::pair<std::string, std::string> collidingBlocks(uint32_t state, std::mt19937& rng) {
  std::unordered_map<uint32_t, std::string> seen;
  std::uniform_int_distribution<int> letter(0, 35);
  for (;;) {
    std::string b(8, 'A');
    for (char& c : b) c = kLetters[letter(rng)];
    auto [it, fresh] = seen.emplace(unkeyedNameHash(state, b), b);
    if (!fresh && it->second != b) return {it->second, b};
  }
}

// count different names of equal length whose former hashes are all
// equal: a chain of block pairs from one state, each name choosing one
// block of every pair. The first three blocks form a folder.
inline std::vector<std::string> collidingNames(size_t count) {
  std::mt19937 rng(12345);
  int blocks = 0;
  while ((size_t(1) << blocks) < count) ++blocks;
  std::vector<std::pair<std::string, std::string>> pairs;
  uint32_t state = kNameHashStart;
  for (int i = 0; i < blocks; ++i) {
    if (i == 3) state = unkeyedNameHash(state, "/");
    pairs.push_back(collidingBlocks(state, rng));
    state = unkeyedNameHash(state, pairs.back().first);
  }
  std::vector<std::string> names;
  names.reserve(count);
  for (size_t n = 0; n < count; ++n) {
    std::string s;
    for (int i = 0; i < blocks; ++i) {
      if (i == 3) s += '/';
      s += (n >> i) & 1 ? pairs[size_t(i)].second : pairs[size_t(i)].first;
    }
    names.push_back(s + ".txt");
  }
  return names;
}

// Random names of the same shape as like: the same folders, the same lengths.
inline std::vector<std::string> randomNames(const std::vector<std::string>& like) {
  std::mt19937 rng(777);
  std::uniform_int_distribution<int> letter(0, 35);
  std::unordered_map<std::string, std::string> folders;
  std::vector<std::string> names;
  names.reserve(like.size());
  for (const std::string& l : like) {
    size_t slash = l.find('/');
    if (slash == std::string::npos) slash = 0;
    std::string& folder = folders[l.substr(0, slash)];
    if (folder.empty() && slash > 0) {
      folder.assign(slash, 'A');
      for (char& c : folder) c = kLetters[letter(rng)];
    }
    std::string rest(l.size() - slash - (slash ? 1 : 0) - 4, 'A');
    for (char& c : rest) c = kLetters[letter(rng)];
    names.push_back(folder + (slash ? "/" : "") + rest + ".txt");
  }
  return names;
}

// The compression library's former path hash (FNV-1a 64 and a mix,
// without a key) and the home slot it gave in a table of slots places.
inline size_t unkeyedPathSlot(const std::string& s, size_t slots) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  h ^= h >> 31;
  h *= 0x9E3779B97F4A7C15ull;
  h ^= h >> 29;
  const uint64_t r = (h << 32) | (h >> 32);
  return size_t((static_cast<unsigned __int128>(r) * slots) >> 64);
}

}  // namespace colliding
