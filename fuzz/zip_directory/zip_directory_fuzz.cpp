// Any bytes as an archive: the reader must refuse or accept them without
// reading outside the input, and every accepted name must pass the rules
// without a crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ziplib/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  ziplib::Archive archive;
  if (archive.openMemory(bytes)) return 0;
  std::vector<std::string> parts;
  std::string reason;
  archive.forEach([&](uint64_t index, const ziplib::Entry& e, uint64_t position) {
    // Nothing changed since the check: every entry is found as checked.
    if (!archive.unchanged(index, e)) __builtin_trap();
    if (!e.name.empty()) ziplib::safeParts(e.name, parts, reason);
    (void)e.isSymlink();
    // Every entry is found again where the walk said it starts.
    ziplib::Entry again;
    if (!archive.entryAt(position, again) || again.rawName != e.rawName) __builtin_trap();
    return true;
  });
  return 0;
}
