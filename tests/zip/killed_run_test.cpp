// An extraction that is killed part-way leaves its temporary file behind;
// the next run into the same folder removes it, and nothing else.
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/zip/zip_test_util.h"

using namespace ziptest;

namespace {

std::vector<std::string> temporariesIn(const std::string& folder) {
  std::vector<std::string> out;
  for (auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().rfind(".tamrix-", 0) == 0) out.push_back(e.path().filename().string());
  return out;
}

void makeOld(const std::string& path) {
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace

TEST(ZipKilledRun, TheNextRunSweepsTheKilledRunsTemporaryOnly) {
  Folder f;
  // One large entry that inflates for a while, so that the run can be
  // killed while its temporary file is being written.
  Archive big;
  big.items.push_back({.name = "big.tamrix", .data = std::string(size_t(1) << 28, '\0'), .level = 1});
  writeFile(f / "big.zip", big.build());
  Archive small;
  small.items.push_back({.name = "small.tamrix", .data = "small"});
  writeFile(f / "small.zip", small.build());
  const std::string out = f / "dictionaries";
  fs::create_directories(out);

  // A new file is written without a name until it is whole: a run killed
  // while writing it leaves nothing at all.
  pid_t first = ::fork();
  ASSERT_GE(first, 0);
  if (first == 0) {
    extract(f / "big.zip", out);
    ::_exit(0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ::kill(first, SIGKILL);
  ::waitpid(first, nullptr, 0);
  EXPECT_TRUE(temporariesIn(out).empty());
  if (fs::exists(out + "/big.tamrix")) {
    EXPECT_EQ(fs::file_size(out + "/big.tamrix"), size_t(1) << 28);
  }

  // An existing dictionary being replaced is written under a temporary
  // name beside it; killed, the old file stays whole and the temporary is
  // left for the next run to sweep.
  writeFile(out + "/big.tamrix", "the old dictionary");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    extract(f / "big.zip", out);
    ::_exit(0);
  }
  std::vector<std::string> left;
  for (int i = 0; i < 20000 && left.empty(); ++i) {
    left = temporariesIn(out);
    if (left.empty()) std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_EQ(left.size(), 1u) << "the run ended before it could be killed";
  ASSERT_TRUE(fs::exists(out + "/" + left[0]));
  EXPECT_EQ(readFile(out + "/big.tamrix"), "the old dictionary");

  // Files a sweep must never take: not of its kind, or owned by a run that
  // is still alive (a lock held here), even when old.
  writeFile(out + "/.tamrix-notes", "mine");
  writeFile(out + "/.tamrix-0123456789abcdeX", "mine");
  writeFile(out + "/.tamrix-00000000000000ff", "alive");
  for (const char* name : {"/.tamrix-notes", "/.tamrix-0123456789abcdeX", "/.tamrix-00000000000000ff"})
    makeOld(out + name);
  int alive = ::open((out + "/.tamrix-00000000000000ff").c_str(), O_RDONLY);
  ASSERT_GE(alive, 0);
  ASSERT_EQ(::flock(alive, LOCK_EX), 0);

  Outcome o = extract(f / "small.zip", out);
  ::close(alive);
  EXPECT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(readFile(out + "/small.tamrix"), "small");
  EXPECT_FALSE(fs::exists(out + "/" + left[0]));
  EXPECT_TRUE(fs::exists(out + "/.tamrix-notes"));
  EXPECT_TRUE(fs::exists(out + "/.tamrix-0123456789abcdeX"));
  EXPECT_TRUE(fs::exists(out + "/.tamrix-00000000000000ff"));
}

TEST(ZipKilledRun, AnEntryNamedLikeATemporaryIsNeitherInstalledNorSwept) {
  // An archive cannot place a file that a later sweep would take for a
  // killed run's leftover: such an entry is refused, the rest comes out,
  // and the next run into that folder leaves every installed file alone.
  Folder f;
  Archive a;
  a.items.push_back({.name = "kb/words.tamrix", .data = "words"});
  a.items.push_back({.name = "kb/.tamrix-00000000000000aa", .data = "looks like a leftover"});
  a.items.push_back({.name = ".tamrix-0123456789abcdef", .data = "at the top"});
  writeFile(f / "a.zip", a.build());
  Archive b;
  b.items.push_back({.name = "kb/more.tamrix", .data = "more"});
  writeFile(f / "b.zip", b.build());
  const std::string out = f / "dictionaries";

  Outcome first = extract(f / "a.zip", out);
  EXPECT_EQ(first.errCode, 257) << first.message;
  EXPECT_NE(first.message.find(".tamrix-"), std::string::npos) << first.message;
  EXPECT_EQ(readFile(out + "/kb/words.tamrix"), "words");
  EXPECT_FALSE(fs::exists(out + "/kb/.tamrix-00000000000000aa"));
  EXPECT_FALSE(fs::exists(out + "/.tamrix-0123456789abcdef"));
  const auto installed = tree(out);
  for (const auto& [path, data] : installed) makeOld(out + "/" + path);

  Outcome second = extract(f / "b.zip", out);
  EXPECT_EQ(second.result, 0) << second.message;
  EXPECT_EQ(readFile(out + "/kb/more.tamrix"), "more");
  for (const auto& [path, data] : installed) {
    if (data.empty()) continue;  // a folder
    EXPECT_EQ(readFile(out + "/" + path), data) << path;
  }
}
