// Golden dumps: each page under golden/ is built and its dump compared
// with the checked-in text beside it. TAMRIX_UPDATE_GOLDEN=1 rewrites them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/html/build_helpers.h"

namespace fs = std::filesystem;

namespace {
fs::path goldenDir() { return fs::path(TAMRIX_SOURCE_DIR) / "tests" / "html" / "golden"; }

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

TEST(GoldenDump, EveryPageBuildsToItsDump) {
  const bool update = std::getenv("TAMRIX_UPDATE_GOLDEN") != nullptr;
  int pages = 0;
  for (const auto& entry : fs::directory_iterator(goldenDir())) {
    if (entry.path().extension() != ".htm") continue;
    ++pages;
    const std::string dump = buildhelp::Dump(readFile(entry.path()));
    fs::path expected = entry.path();
    expected.replace_extension(".txt");
    if (update) {
      std::ofstream(expected, std::ios::binary) << dump;
      continue;
    }
    ASSERT_TRUE(fs::exists(expected)) << expected;
    EXPECT_EQ(readFile(expected), dump) << "page " << entry.path().filename();
  }
  EXPECT_GT(pages, 0);
}
