// Trees a million levels deep, as a forged stream or another program's
// clipboard can make them: loading, clearing, destroying and pasting walk
// them without recursion (a recursion per level would end the program).
#include <memory>

#include "platform/gui/clipboard.h"
#include "platform/gui/ole.h"
#include "tests/tree/tree_stream_util.h"
#include "tree/globals.h"

namespace {

constexpr int Depth = 1000000;

void putLe32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char(v >> (8 * i));
}

// The node chunks of a chain: each node the only child of the one before,
// each expanded, initialised and visible.
std::string chainNodes(int depth) {
  std::string bytes;
  bytes.reserve(std::size_t(depth) * 33);
  for (int level = 0; level < depth; ++level) {
    const std::uint32_t total = std::uint32_t(33 * (depth - level));
    const bool last = level + 1 == depth;
    putLe32(bytes, 1);
    putLe32(bytes, total - 8);
    putLe32(bytes, 2);
    putLe32(bytes, total - 16);
    putLe32(bytes, last ? 0 : 1);       // children
    putLe32(bytes, 18);                 // height
    const std::uint16_t states = last ? 0x81 : 0xE1;  // initialised, visible (expanded, has children)
    bytes += char(states);
    bytes += char(states >> 8);
    bytes += char(50);
    bytes += char(0);
    bytes += char(0);
    putLe32(bytes, 0);
  }
  return bytes;
}

std::string chainStream(int depth) {
  std::string bytes;
  for (int unit : {0x2045, int('V'), int('T'), 2, int(' '), 0x2046}) {
    bytes += char(unit);
    bytes += char(unit >> 8);
  }
  putLe32(bytes, 1);
  return bytes + chainNodes(depth);
}

PDataNode deepest(TBaseDataTree& t) {
  PDataNode run = t.RootNode()->FirstChild;
  while (run && run->FirstChild) run = run->FirstChild;
  return run;
}

}  // namespace

TEST(TreeDeep, MillionLevelChainLoadsClearsAndGoesWithTheTree) {
  const std::string bytes = chainStream(Depth);
  TMemoryStream m;
  setBytes(m, bytes);
  auto t = std::make_unique<TOwnedTree>(false);
  t->LoadFromStream(&m);
  EXPECT_EQ(t->TotalCount(), std::uint32_t(Depth));
  EXPECT_EQ(t->VisibleCount(), std::uint32_t(Depth));
  // The focus and the selection sit at the bottom of the chain.
  t->SetFocusedNode(deepest(*t));
  t->SetSelected(deepest(*t), true);

  t->Clear();
  EXPECT_EQ(t->Freed, Depth);
  EXPECT_EQ(t->TotalCount(), 0u);
  EXPECT_EQ(t->VisibleCount(), 0u);
  EXPECT_EQ(t->SelectedCount(), 0u);
  EXPECT_EQ(t->FocusedNode(), nullptr);

  int freedByDestructor = 0;
  {
    TDataStringTree plain(nullptr);
    plain.OnFreeNode = [&](TBaseDataTree*, PDataNode) { ++freedByDestructor; };
    m.SetPosition(0);
    plain.LoadFromStream(&m);
    EXPECT_EQ(plain.TotalCount(), std::uint32_t(Depth));
  }
  EXPECT_EQ(freedByDestructor, Depth);
}

TEST(TreeDeep, DeletingADeepBranchCountsWhatIsLeft) {
  TMemoryStream m;
  setBytes(m, chainStream(Depth));
  TOwnedTree t(false);
  t.LoadFromStream(&m);
  PDataNode top = t.RootNode()->FirstChild;
  PDataNode keep = t.AddChild(nullptr);
  // Everything below the chain's second node goes, announced once.
  t.DeleteChildren(top->FirstChild);
  EXPECT_EQ(t.Freed, Depth - 2);
  EXPECT_EQ(t.TotalCount(), 3u);
  EXPECT_EQ(t.VisibleCount(), 3u);
  t.DeleteNode(top);
  EXPECT_EQ(t.RootNode()->FirstChild, keep);
  EXPECT_EQ(t.VisibleCount(), 1u);
}

TEST(TreeDeep, MillionLevelPasteFromAnotherProgram) {
  auto t = std::make_unique<TOwnedTree>(false);
  std::string block;
  const std::string nodes = chainNodes(Depth);
  putLe32(block, std::uint32_t(nodes.size()));
  block += nodes;
  Clipboard()->SetBuffer(TreeGlobals().CF_DATATREE, block.data(), block.size());
  block.clear();
  int copying = 0;
  t->OnNodeCopying = [&](TBaseDataTree*, PDataNode, PDataNode, bool& Allowed) {
    ++copying;
    Allowed = true;
  };
  EXPECT_TRUE(t->PasteFromClipboard());
  EXPECT_EQ(copying, 1) << "one arrival: the chain's top";
  EXPECT_EQ(t->TotalCount(), std::uint32_t(Depth));
  Clipboard()->Clear();
  t.reset();
}
