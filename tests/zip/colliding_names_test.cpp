// Names chosen to collide in the name tables (the component's directory
// table, the compression library's set of written paths) cost no more work
// than random names: counted in table probes and name comparisons, never
// timed (the times are in bench/zip).
#include <set>

#include "tests/zip/colliding_names.h"
#include "tests/zip/zip_test_util.h"
#include "zip/zip_central.h"
#include "zip/zip_lister.h"
#include "ziplib/written_paths.h"

using namespace ziptest;

namespace {

constexpr size_t kCount = 4096;

std::string archiveOf(const std::vector<std::string>& names) {
  Archive a;
  for (const std::string& n : names) a.items.push_back({.name = n, .data = "x", .method = 0});
  return a.build();
}

// The component's table after the archive was listed.
struct Listed {
  TZipArchiver zip{nullptr};
  TZAZipFile* file = nullptr;
  explicit Listed(const std::string& path) {
    zip.SetUnattended(true);
    zip.SetActive(true);
    zip.SetZipFileName(UTF8ToUTF16(path));
    file = zip.Lister() ? zip.Lister()->CenDir().CurrentArchive() : nullptr;
  }
};

}  // namespace

TEST(ZipCollidingNames, FormerHashCollisionsCostTheComponentNoMoreThanRandomNames) {
  Folder f;
  const std::vector<std::string> chosen = colliding::collidingNames(kCount);
  // The names really collide under the former hash, and are all different.
  for (const std::string& n : chosen)
    ASSERT_EQ(colliding::unkeyedNameHash(colliding::kNameHashStart, n),
              colliding::unkeyedNameHash(colliding::kNameHashStart, chosen[0]));
  ASSERT_EQ(std::set<std::string>(chosen.begin(), chosen.end()).size(), kCount);
  writeFile(f / "chosen.zip", archiveOf(chosen));
  writeFile(f / "random.zip", archiveOf(colliding::randomNames(chosen)));

  Listed random(f / "random.zip"), listed(f / "chosen.zip");
  ASSERT_TRUE(listed.file && random.file);
  ASSERT_EQ(listed.zip.Count(), int(kCount));
  TZADirHashList& table = listed.file->Hash();
  // Random names: about one probe per name and nothing to compare.
  EXPECT_LE(table.Probes(), 2 * random.file->Hash().Probes() + 64);
  EXPECT_LE(table.Comparisons(), 16u);
  // Look-ups of every name find it with a comparison or two each.
  for (size_t i = 0; i < kCount; i += 97) EXPECT_EQ(listed.file->FindName(UTF8ToUTF16(chosen[i])), int(i));
  EXPECT_LE(table.Comparisons(), 16u + 2 * (kCount / 97 + 1));

  // And they install as any names do.
  Outcome o = extract(f / "chosen.zip", f / "out/");
  ASSERT_EQ(o.result, 0) << o.message;
  EXPECT_EQ(readFile(f / ("out/" + chosen[0])), "x");
  EXPECT_EQ(readFile(f / ("out/" + chosen[kCount - 1])), "x");
}

TEST(ZipCollidingNames, NamesEqualAfterFoldingCostLinearWork) {
  Folder f;
  // Every upper/lower-case spelling of one name, '/' and '\' mixed: all
  // the same name to the component, all different bytes.
  const std::string base = "abcdefghijkl";
  std::vector<std::string> names;
  for (size_t m = 0; m < kCount; ++m) {
    std::string s = base;
    for (size_t i = 0; i < s.size(); ++i)
      if ((m >> i) & 1) s[i] = char(std::toupper(uint8_t(s[i])));
    names.push_back("dir" + std::string(m & 1 ? "/" : "\\") + s);
  }
  writeFile(f / "same.zip", archiveOf(names));
  Listed listed(f / "same.zip");
  ASSERT_TRUE(listed.file);
  TZADirHashList& table = listed.file->Hash();
  EXPECT_LE(table.Probes(), 4 * kCount);
  EXPECT_LE(table.Comparisons(), 2 * kCount);
  // The earliest entry answers for the name, also once it is discarded.
  EXPECT_EQ(listed.file->FindName(u"DIR/ABCDEFGHIJKL"), 0);
  listed.file->Entry(0)->SetStatus(zsbDiscarded, true);
  EXPECT_EQ(listed.file->FindName(u"dir/abcdefghijkl", false), 1);
  EXPECT_EQ(listed.file->FindName(u"dir/abcdefghijkl", true), 0);
  EXPECT_EQ(listed.file->CheckDuplicates(), int(kCount) - 2);
}

TEST(ZipCollidingNames, FormerSlotCollisionsCostTheLibraryNoMoreThanRandomPaths) {
  // Paths that all started in one slot of the written-paths table: with the
  // keyed hash they spread like any others.
  const size_t count = 2000;
  const size_t slots = count + count / 2 + 16;
  std::vector<std::string> paths;
  for (uint64_t i = 0; paths.size() < count; ++i) {
    std::string p = "d/" + std::to_string(i) + ".txt";
    if (colliding::unkeyedPathSlot(p, slots) == 0) paths.push_back(p);
  }
  ziplib::WrittenPaths set;
  set.reserve(count, 1 << 20);
  for (size_t i = 0; i < count; ++i)
    ASSERT_TRUE(set.insert(paths[i], i * 100, [&](uint64_t at) { return paths[at / 100] == paths[i]; }));
  EXPECT_LE(set.Probes(), 4 * count);
  EXPECT_LE(set.Confirmations(), 8u);
  // The same paths again are all refused, each after one confirmation.
  for (size_t i = 0; i < count; ++i)
    EXPECT_FALSE(set.insert(paths[i], (count + i) * 100, [&](uint64_t at) { return paths[at / 100] == paths[i]; }));
  EXPECT_LE(set.Confirmations(), count + 16);
  EXPECT_LE(set.Probes(), 10 * count);
}
