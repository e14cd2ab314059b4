// The tree-view query messages of accessibility tools: node navigation,
// item state and text, item rectangles; foreign nodes and bad buffers.
#include "tests/tree/tree_input_util.h"

using namespace inputtest;

TEST(TreeQueryMessages, NavigationCodesAnswerForOwnNodesOnly) {
  TInputFixture f;
  auto roots = f.resultShaped(3, 2);
  TInputFixture other;
  PDataNode foreign = other.add(nullptr, "elsewhere");
  f.show();
  auto next = [&](UINT code, PDataNode n) {
    return reinterpret_cast<PDataNode>(f.Tree->Perform(TVM_GETNEXTITEM, code, LPARAM(n)));
  };
  EXPECT_EQ(next(TVGN_ROOT, nullptr), roots[0]);
  EXPECT_EQ(next(TVGN_NEXT, roots[0]), roots[1]);
  EXPECT_EQ(next(TVGN_PREVIOUS, roots[1]), roots[0]);
  EXPECT_EQ(next(TVGN_CHILD, roots[1]), roots[1]->FirstChild);
  EXPECT_EQ(next(TVGN_PARENT, roots[1]->FirstChild), roots[1]);
  EXPECT_EQ(next(TVGN_PARENT, roots[1]), nullptr) << "top-level nodes have no parent to name";
  EXPECT_EQ(next(TVGN_LASTVISIBLE, nullptr), roots[2]);
  EXPECT_EQ(next(TVGN_NEXT, nullptr), nullptr);
  EXPECT_EQ(next(TVGN_NEXT, foreign), nullptr) << "a node of another tree is not followed";
  EXPECT_EQ(next(TVGN_CHILD, f.Tree->RootNode()), nullptr);
  f.Tree->SetFocusedNode(roots[2]);
  EXPECT_EQ(next(TVGN_CARET, nullptr), roots[2]);
}

TEST(TreeQueryMessages, ItemTextNeverOverrunsOrSplitsACharacter) {
  TInputFixture f;
  PDataNode n = f.add(nullptr, "ab\xF0\x9F\x98\x80" "cd");  // a, b, one pair, c, d
  f.Tree->SetSelected(n, true);
  f.show();
  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  TTVItemW item;
  item.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE | TVIF_CHILDREN;
  item.hItem = n;
  item.pszText = buffer;
  item.cchTextMax = 4;  // room for three units and the zero: the pair would be cut
  EXPECT_EQ(f.Tree->Perform(TVM_GETITEMW, 0, LPARAM(&item)), 1);
  EXPECT_EQ(String(buffer), u"ab");
  EXPECT_EQ(buffer[3], u'#');
  EXPECT_TRUE(item.state & TVIS_SELECTED);
  EXPECT_EQ(item.cChildren, 0);
  item.cchTextMax = 5;
  f.Tree->Perform(TVM_GETITEMW, 0, LPARAM(&item));
  EXPECT_EQ(String(buffer), u"ab\U0001F600");

  std::fill(std::begin(buffer), std::end(buffer), u'#');
  item.cchTextMax = 0;
  f.Tree->Perform(TVM_GETITEMW, 0, LPARAM(&item));
  EXPECT_EQ(buffer[0], u'#') << "no room: the buffer is left alone";
  item.cchTextMax = 8;
  item.pszText = nullptr;
  EXPECT_EQ(f.Tree->Perform(TVM_GETITEMW, 0, LPARAM(&item)), 1);

  TInputFixture other;
  item.hItem = other.add(nullptr, "x");
  item.pszText = buffer;
  EXPECT_EQ(f.Tree->Perform(TVM_GETITEMW, 0, LPARAM(&item)), 0);
  item.mask = TVIF_TEXT;
  item.hItem = n;
  EXPECT_EQ(f.Tree->Perform(TVM_GETITEMW, 0, LPARAM(&item)), 0) << "TVIF_HANDLE is required";
  EXPECT_EQ(f.Tree->Perform(TVM_GETITEMW, 0, 0), 0);
}

TEST(TreeQueryMessages, ItemRectangleOfVisibleNodesOnly) {
  TInputFixture f;
  auto roots = f.resultShaped(2, 1);
  f.show();
  union {
    PDataNode node;
    TRect rect;
  } buffer{};
  buffer.node = roots[1];
  EXPECT_EQ(f.Tree->Perform(TVM_GETITEMRECT, 0, LPARAM(&buffer)), 1);
  EXPECT_EQ(buffer.rect.Top, 18);
  EXPECT_EQ(buffer.rect.Bottom, 36);
  buffer.node = roots[1]->FirstChild;
  EXPECT_EQ(f.Tree->Perform(TVM_GETITEMRECT, 1, LPARAM(&buffer)), 0) << "under a collapsed parent";
  EXPECT_EQ(f.Tree->Perform(TVM_GETITEMRECT, 1, 0), 0);
}
