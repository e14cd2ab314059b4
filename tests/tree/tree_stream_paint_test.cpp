// A tree loaded from a stream is shown as it was saved: the rows painted,
// their order and their captions, with the owner building its node data
// in the load event as an owner that keeps strings in its nodes must.
#include "platform/core/streams.h"
#include "tests/tree/tree_paint_util.h"

using namespace painttest;

namespace {
void streamRows(TPaintedTree& p) {
  p.Tree->OnSaveNode = [](TBaseDataTree* t, PDataNode n, TStream* s) {
    const std::int32_t kind = rowOf(t, n)->Kind;
    s->WriteBuffer(&kind, 4);
  };
  p.Tree->OnLoadNode = [](TBaseDataTree* t, PDataNode n, TStream* s) {
    TRow* row = new (rowOf(t, n)) TRow();
    std::int32_t kind = 0;
    s->ReadBuffer(&kind, 4);
    row->Kind = kind;
  };
  p.Tree->OnNewText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, const String& text) {
    rowOf(t, n)->Caption = text;
  };
}

std::string shownTexts(TPaintedTree& p) {
  std::string out;
  for (const auto& cell : p.Shown) out += UTF16ToUTF8(cell.Text) + ";";
  return out;
}
}  // namespace

TEST(TreeStreamPaint, ALoadedTreePaintsTheRowsThatWereSaved) {
  TPaintedTree source;
  streamRows(source);
  PDataNode a = source.add(nullptr, "alpha", 1);
  source.add(a, "alpha child", 2);
  PDataNode b = source.add(nullptr, "beta", 3);
  source.add(b, "hidden below a closed node", 4);
  source.add(nullptr, "gamma", 5);
  source.Tree->SetExpanded(a, true);
  source.show();
  source.grab();
  const std::string expected = shownTexts(source);
  ASSERT_EQ(expected, "alpha;alpha child;beta;gamma;");

  TMemoryStream m;
  source.Tree->SaveToStream(&m);
  TPaintedTree target;
  streamRows(target);
  target.add(nullptr, "replaced", 9);
  target.show();
  m.SetPosition(0);
  target.Tree->LoadFromStream(&m);
  target.grab();
  EXPECT_EQ(shownTexts(target), expected);
  EXPECT_EQ(rowOf(target.Tree, target.Tree->RootNode()->FirstChild->NextSibling->FirstChild)->Kind, 4);
  checkInvariants(*target.Tree);
}
