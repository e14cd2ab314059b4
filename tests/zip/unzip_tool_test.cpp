// tools/tamrix-unzip as outside checks call it: "ErrCode: N" and
// "ErrMessage: TEXT" on standard output, exit 0 only for a clean
// extraction, and never a folder other than the one named.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/tool_run.h"
#include "tests/zip/zip_test_util.h"

namespace {

using namespace ziptest;

using tooltest::shellQuote;

// Runs the tool from the folder `cwd`.
tooltest::CommandRun runTool(const std::string& cwd, const std::string& archive, const std::string& folder) {
  return tooltest::runCommand("cd " + shellQuote(cwd) + " && " + shellQuote(tooltest::builtTool("tamrix-unzip").string()) +
                              " " + shellQuote(archive) + " " + shellQuote(folder) + " 2>/dev/null");
}

}  // namespace

TEST(UnzipTool, ExtractsAndReportsTheCodeAndMessage) {
  Folder dir;
  Archive good;
  good.items.push_back(Item{.name = "a.txt", .data = "alpha"});
  good.items.push_back(Item{.name = "sub/b.txt", .data = "beta", .method = 0});
  writeFile(dir / "good.zip", good.build());
  auto r = runTool(dir.path(), dir / "good.zip", dir / "out");
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
  const auto r = runTool(dir.path(), dir / "a.zip", "");
  const bool inRoot = fs::exists("/" + unique);
  std::error_code ec;
  fs::remove("/" + unique, ec);
  EXPECT_FALSE(inRoot);
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_FALSE(fs::exists(dir / unique));
}
