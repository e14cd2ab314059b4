// tools/tamrix-unzip as outside checks call it: "ErrCode: N" and
// "ErrMessage: TEXT" on standard output, exit 0 only for a clean
// extraction, and never a folder other than the one named.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "tests/zip/zip_test_util.h"

namespace {

using namespace ziptest;

struct ToolRun {
  int ExitCode = -1;
  std::string Out;
};

fs::path toolPath() {
  // Built beside the tests: build/tools/tamrix-unzip.
  return fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "tamrix-unzip";
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs the tool from the folder `cwd`.
ToolRun runTool(const std::string& cwd, const std::string& archive, const std::string& folder) {
  const std::string cmd = "cd " + quote(cwd) + " && " + quote(toolPath().string()) + " " + quote(archive) + " " +
                          quote(folder) + " 2>/dev/null";
  ToolRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.Out.append(buf.data(), n);
  const int status = pclose(p);
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace

TEST(UnzipTool, ExtractsAndReportsTheCodeAndMessage) {
  Folder dir;
  Archive good;
  good.items.push_back(Item{.name = "a.txt", .data = "alpha"});
  good.items.push_back(Item{.name = "sub/b.txt", .data = "beta", .method = 0});
  writeFile(dir / "good.zip", good.build());
  ToolRun r = runTool(dir.path(), dir / "good.zip", dir / "out");
  // The folder must exist, as the dictionaries folder does.
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Out.find("ErrCode: "), std::string::npos);
  fs::create_directories(dir / "out");
  r = runTool(dir.path(), dir / "good.zip", dir / "out");
  EXPECT_EQ(r.ExitCode, 0) << r.Out;
  EXPECT_EQ(r.Out, "ErrCode: 0\nErrMessage: \n");
  EXPECT_EQ(readFile(dir / "out/sub/b.txt"), "beta");

  Archive bad;
  bad.items.push_back(Item{.name = "a.txt", .data = "omega", .lieCrc = 1234});
  writeFile(dir / "bad.zip", bad.build());
  r = runTool(dir.path(), dir / "bad.zip", dir / "out");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Out.find("ErrCode: 0\n"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find("ErrMessage: \n"), std::string::npos) << r.Out;
  EXPECT_EQ(readFile(dir / "out/a.txt"), "alpha");  // the earlier file stays
}

TEST(UnzipTool, AnEmptyFolderArgumentIsRefusedNotTakenForTheRoot) {
  Folder dir;
  const std::string unique = "tamrix-unzip-tool-test-" + std::to_string(getpid()) + ".txt";
  Archive a;
  a.items.push_back(Item{.name = unique, .data = "x"});
  writeFile(dir / "a.zip", a.build());
  const ToolRun r = runTool(dir.path(), dir / "a.zip", "");
  const bool inRoot = fs::exists("/" + unique);
  std::error_code ec;
  fs::remove("/" + unique, ec);
  EXPECT_FALSE(inRoot);
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_FALSE(fs::exists(dir / unique));
}
