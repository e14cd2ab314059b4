// A tree's own list of the formats it may offer.
#include <gtest/gtest.h>

#include <vector>

#include "tree/base_tree.h"
#include "tree/globals.h"

namespace {
class TTextTree : public TBaseDataTree {
public:
  using TBaseDataTree::TBaseDataTree;
  const TTreeClassInfo* TreeClass() const override { return StringTreeClassInfo(); }
};
}  // namespace

TEST(TreeFormatList, DescriptionsIgnoreCaseLikeTheRegistry) {
  TTextTree tree(nullptr);
  TClipboardFormats allowed(&tree);
  ASSERT_GE(allowed.Add(u"csv"), 0) << "the registry knows the format whatever the case";
  EXPECT_GE(allowed.Add(u"CSV"), 0);
  EXPECT_EQ(allowed.Count(), 1) << "the same format in another case is a duplicate";
  EXPECT_EQ(allowed.IndexOf(u"Csv"), 0);
  ASSERT_GE(allowed.Add(u"html FORMAT"), 0);
  EXPECT_EQ(allowed.Count(), 2);

  // What the list accepted is what the tree offers.
  TFormatEtcArray formats;
  ClipboardFormatList().EnumerateFormats(StringTreeClassInfo(), formats, &allowed.List());
  std::vector<std::uint16_t> ids;
  for (const TFormatEtc& f : formats) ids.push_back(f.cfFormat);
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{TreeGlobals().CF_HTML, TreeGlobals().CF_CSV}));
}
