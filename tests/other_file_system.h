#pragma once
// A folder on a second file system, for the tests of moves across file
// systems (a package installed onto another drive, a share, a RAM disk).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace testfs {

// A fresh folder on a file system other than the one Near is on, or empty
// when this machine has none that can be written. /dev/shm is a RAM disk on
// most machines; TAMRIX_OTHER_FILE_SYSTEM may name another place.
inline std::filesystem::path FolderOnAnotherFileSystem(const std::filesystem::path& Near) {
  struct stat near {};
  if (::stat(Near.c_str(), &near) != 0) return {};
  std::vector<std::string> candidates;
  if (const char* given = std::getenv("TAMRIX_OTHER_FILE_SYSTEM")) candidates.push_back(given);
  for (const char* c : {"/dev/shm", "/run/shm", "/tmp", "/var/tmp"}) candidates.push_back(c);
  candidates.push_back("/run/user/" + std::to_string(::getuid()));
  for (const std::string& c : candidates) {
    struct stat st {};
    if (::stat(c.c_str(), &st) != 0 || st.st_dev == near.st_dev) continue;
    std::string pattern = c + "/tamrix-other-XXXXXX";
    if (::mkdtemp(pattern.data())) return pattern;
  }
  return {};
}

// Removes the folder, with all in it, when it goes.
struct RemovedAtEnd {
  std::filesystem::path Folder;
  ~RemovedAtEnd() {
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }
};

// Said when a test that needs a second file system finds none.
inline constexpr const char* kNoOtherFileSystem =
    "this machine has no second file system to write to: nothing to cross";

}  // namespace testfs
