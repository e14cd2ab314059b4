#include "platform/core/files_temporary.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr char kPrefix[] = ".tamrix-";
constexpr int kDigits = 16;

bool earlier(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

bool IsOwnTemporaryName(const char* Name) {
  if (std::strncmp(Name, kPrefix, sizeof kPrefix - 1) != 0) return false;
  const char* hex = Name + sizeof kPrefix - 1;
  for (int i = 0; i < kDigits; ++i)
    if (!((hex[i] >= '0' && hex[i] <= '9') || (hex[i] >= 'a' && hex[i] <= 'f'))) return false;
  return hex[kDigits] == '\0';
}

std::string NewTemporaryName() {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%016llx", kPrefix, static_cast<unsigned long long>(rng()));
  return buf;
}

int OpenOwnedTemporary(int Folder, mode_t Mode, std::string& Name) {
  int out = -1;
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    Name = NewTemporaryName();
    out = ::openat(Folder, Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, Mode);
    if (out < 0 && errno != EEXIST) break;
  }
  // Between the open and the lock a sweep may look at the file: its time
  // (not before the sweeper's start) keeps it safe meanwhile.
  if (out >= 0) ::flock(out, LOCK_EX | LOCK_NB);
  return out;
}

void SweepLeftoverTemporaries(int Folder, const timespec& Since) {
  const int listFd = ::openat(Folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return;
  DIR* list = ::fdopendir(listFd);
  if (!list) {
    ::close(listFd);
    return;
  }
  std::vector<std::string> stale;
  while (dirent* d = ::readdir(list)) {
    if (!IsOwnTemporaryName(d->d_name)) continue;
    struct stat st;
    if (::fstatat(Folder, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (!earlier(st.st_mtim, Since)) continue;
    stale.emplace_back(d->d_name);
  }
  ::closedir(list);
  for (const std::string& name : stale) {
    const int fd = ::openat(Folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlinkat(Folder, name.c_str(), 0);
    ::close(fd);
  }
}
