// Node memory: blocks cut from shared chunks must never overlap, must come
// back zero-filled, and must survive single deletions, clearing, refilling
// and a change of the node data size.
#include <cstring>
#include <unordered_map>
#include <random>
#include <string>

#include "tests/tree/tree_test_util.h"
#include "tree/node_arena.h"

namespace {

// Every byte of a block holds the same tag, so an overlap shows as a
// foreign tag.
void fill(void* block, std::size_t size, unsigned char tag) { std::memset(block, tag, size); }
bool holds(const void* block, std::size_t size, unsigned char tag) {
  const auto* p = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i)
    if (p[i] != tag) return false;
  return true;
}
bool zero(const void* block, std::size_t size) { return holds(block, size, 0); }

}  // namespace

TEST(NodeArena, BlocksOfMixedSizesNeverOverlapAndComeBackZeroed) {
  TNodeArena arena;
  std::mt19937 rng(7);
  const std::size_t sizes[] = {8, 80, 128, 200, 4096};
  // A block larger than a chunk gets a chunk of its own.
  const std::size_t hugeSize = TNodeArena::ChunkBytes + 100;
  void* huge = arena.Allocate(hugeSize);
  ASSERT_TRUE(zero(huge, hugeSize));
  fill(huge, hugeSize, 0xEE);
  struct Live {
    void* Block;
    std::size_t Size;
    unsigned char Tag;
  };
  std::vector<Live> live;
  unsigned char tag = 1;
  for (int step = 0; step < 40000; ++step) {
    // Mostly the common node size, now and then others, and frees in
    // between so that freed blocks are handed out again.
    const bool add = live.empty() || rng() % 3 != 0;
    if (add) {
      const std::size_t size = rng() % 10 < 7 ? 128 : sizes[rng() % std::size(sizes)];
      void* b = arena.Allocate(size);
      ASSERT_EQ(reinterpret_cast<std::uintptr_t>(b) % alignof(std::max_align_t), 0u);
      ASSERT_TRUE(zero(b, size)) << "a block must come back zero-filled, step " << step;
      tag = tag == 255 ? 1 : tag + 1;
      fill(b, size, tag);
      live.push_back({b, size, tag});
    } else {
      const std::size_t i = rng() % live.size();
      ASSERT_TRUE(holds(live[i].Block, live[i].Size, live[i].Tag)) << "overwritten by another block, step " << step;
      arena.Free(live[i].Block);
      live[i] = live.back();
      live.pop_back();
    }
    ASSERT_EQ(arena.BlockCount(), live.size() + 1);
  }
  for (const Live& l : live) EXPECT_TRUE(holds(l.Block, l.Size, l.Tag));
  EXPECT_TRUE(holds(huge, hugeSize, 0xEE));
  for (const Live& l : live) arena.Free(l.Block);
  arena.Free(huge);
  EXPECT_EQ(arena.BlockCount(), 0u);
}

TEST(NodeArena, EmptiedChunksAreKeptForTheNextFillNotGrown) {
  TNodeArena arena;
  std::vector<void*> blocks;
  for (int i = 0; i < 30000; ++i) blocks.push_back(arena.Allocate(128));
  const std::size_t chunks = arena.ChunkCount();
  EXPECT_GT(chunks, 2u) << "the fill should span several chunks";
  for (int round = 0; round < 3; ++round) {
    for (void* b : blocks) arena.Free(b);
    EXPECT_EQ(arena.BlockCount(), 0u);
    blocks.clear();
    for (int i = 0; i < 30000; ++i) {
      blocks.push_back(arena.Allocate(128));
      ASSERT_TRUE(zero(blocks.back(), 128));
      fill(blocks.back(), 128, 0xAB);
    }
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(arena.ChunkCount(), chunks) << "refilling must reuse the emptied chunks, round " << round;
#endif
  }
  for (void* b : blocks) arena.Free(b);
}

TEST(NodeArena, BlocksAndChunksFromAnotherArenaAreRefused) {
  TNodeArena a, b;
  void* block = a.Allocate(64);
  EXPECT_THROW(b.Free(block), EAssertionFailed);
  EXPECT_EQ(a.BlockCount(), 1u);
  a.Free(block);
  EXPECT_EQ(a.BlockCount(), 0u);
}

// The tree's side: single deletions, clearing and refilling keep every
// other node's data, and a changed data size gives nodes their full room.
TEST(NodeArena, TreeNodesKeepTheirDataThroughDeletionsClearAndRefill) {
  struct Record {
    std::string Text;
    std::uint64_t Check;
  };
  TTestTree t(nullptr);
  t.SetNodeDataSize(int(sizeof(Record)));
  std::unordered_map<PDataNode, std::uint64_t> expected;
  int live = 0;
  t.OnFreeNode = [&](TBaseDataTree* s, PDataNode n) {
    auto* r = s->GetNodeData<Record>(n);
    EXPECT_EQ(r->Check, expected[n]) << "a freed node's record was overwritten";
    EXPECT_EQ(r->Text, "record " + std::to_string(r->Check) + " with text long enough for the heap");
    r->~Record();
    expected.erase(n);
    --live;
  };
  std::uint64_t next = 0;
  auto add = [&](PDataNode parent) {
    PDataNode n = t.AddChild(parent);
    void* data = t.GetNodeData(n);
    EXPECT_TRUE(zero(data, sizeof(Record))) << "a new node's data must be zero-filled";
    const std::uint64_t id = ++next;
    new (data) Record{"record " + std::to_string(id) + " with text long enough for the heap", id};
    expected[n] = id;
    ++live;
    return n;
  };
  auto checkAll = [&] {
    for (auto& [n, id] : expected) ASSERT_EQ(t.GetNodeData<Record>(n)->Check, id);
  };

  std::mt19937 rng(11);
  for (int round = 0; round < 3; ++round) {
    t.BeginUpdate();
    std::vector<PDataNode> roots, children;
    for (int i = 0; i < 20; ++i) roots.push_back(add(nullptr));
    for (int i = 0; i < 20000; ++i) children.push_back(add(roots[rng() % roots.size()]));
    t.EndUpdate();
    checkInvariants(t);
    // Single nodes from the middle, then whole subtrees.
    for (int i = 0; i < 3000; ++i) {
      const std::size_t k = rng() % children.size();
      t.DeleteNode(children[k]);
      children[k] = children.back();
      children.pop_back();
    }
    checkAll();
    t.DeleteNode(roots[3]);
    t.DeleteChildren(roots[5]);
    checkInvariants(t);
    checkAll();
    // Freed room is used again by new nodes without disturbing old ones.
    for (int i = 0; i < 5000; ++i) add(roots[rng() % 3]);
    checkAll();
    EXPECT_EQ(std::size_t(live), t.TotalCount());
    t.Clear();
    EXPECT_EQ(live, 0);
    EXPECT_TRUE(expected.empty());
  }

  // A larger record: the tree makes its nodes anew, each with the full room.
  add(nullptr);
  add(nullptr);
  t.OnFreeNode = [&](TBaseDataTree* s, PDataNode n) {
    if (expected.count(n)) {
      s->GetNodeData<Record>(n)->~Record();
      expected.erase(n);
      --live;
    }
  };
  t.SetNodeDataSize(4096);
  EXPECT_EQ(live, 0);
  EXPECT_EQ(t.RootNodeCount(), 2u);
  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n)) {
    EXPECT_TRUE(zero(t.GetNodeData(n), 4096));
    std::memset(t.GetNodeData(n), 0x5A, 4096);
  }
  for (int i = 0; i < 300; ++i) std::memset(t.GetNodeData(t.AddChild(nullptr)), 0x5A, 4096);
  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n)) EXPECT_TRUE(holds(t.GetNodeData(n), 4096, 0x5A));
  t.Clear();
  EXPECT_EQ(t.TotalCount(), 0u);
}

#if defined(__SANITIZE_ADDRESS__)
// The chunks must not hide misuse from the sanitizer: a freed node, the
// room after the last block and a block's neighbour stay poisoned.
TEST(NodeArenaDeathTest, TouchingAFreedNodeIsReported) {
  EXPECT_DEATH(
      {
        TTestTree t(nullptr);
        t.SetNodeDataSize(16);
        PDataNode keep = t.AddChild(nullptr);
        PDataNode gone = t.AddChild(nullptr);
        t.DeleteNode(gone);
        (void)keep;
        volatile std::uint32_t index = gone->Index;
        (void)index;
      },
      "use-after-poison|use-after-free");
  EXPECT_DEATH(
      {
        TNodeArena arena;
        auto* block = static_cast<volatile char*>(arena.Allocate(48));
        block[48] = 1;
      },
      "use-after-poison|buffer-overflow");
}
#endif
