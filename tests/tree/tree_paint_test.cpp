// The tree painted for real on the offscreen platform: what each row shows
// (as a text dump) and a few chosen pixels.
#include "tests/tree/tree_paint_util.h"

using namespace painttest;

TEST(TreePaint, ResultTreeShowsItsRowsInOrder) {
  TPaintedTree p;
  p.Tree->SetStateImages(makeImages(p.Form, {clRed, clLime, clBlue, clYellow}));
  p.Tree->OnGetImageIndex = [](TBaseDataTree* t, PDataNode n, TDTImageKind, TColumnIndex, bool&, int& index) {
    index = rowOf(t, n)->Kind;
  };
  PDataNode root = p.add(nullptr, "Mueller", 0);
  p.add(root, "apple", 2);
  p.add(root, "apricot", 2);
  p.Tree->SetExpanded(root, true);
  p.show();
  TGrab g = p.grab();
  ASSERT_EQ(p.Shown.size(), 3u);
  EXPECT_EQ(p.Shown[0].Text, u"Mueller");
  EXPECT_EQ(p.Shown[1].Text, u"apple");
  EXPECT_EQ(p.Shown[2].Text, u"apricot");
}

