// Position cache and the worker thread, with real windows on the offscreen
// platform: the worker reports through the tree's window.
#include <chrono>
#include <memory>
#include <random>
#include <thread>

#include "platform/gui/forms.h"
#include "tests/tree/tree_test_util.h"
#include "tree/worker.h"

bool waitFor(const std::function<bool()>& condition, int milliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Application->HandleMessage();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

namespace {
bool cacheUsable(TBaseDataTree& t) { return t.TreeStates().Contains(tsUseCache); }
bool workerIdle(TBaseDataTree& t) {
  return !t.TreeStates().Contains(tsValidating) && WorkerThread() &&
         WorkerThread()->CurrentTree() != &t && !WorkerThread()->IsQueued(&t);
}

// The row at Y by walking every shown row from the top.
PDataNode linearNodeAt(TBaseDataTree& t, std::uint32_t y, std::uint32_t& top) {
  std::uint32_t run = 0;
  for (PDataNode n = t.GetFirstVisibleNoInit(nullptr, true); n; n = t.GetNextVisibleNoInit(n, true)) {
    if (y < run + n->NodeHeight) {
      top = run;
      return n;
    }
    run += n->NodeHeight;
  }
  top = 0;
  return nullptr;
}

std::unique_ptr<TTestTree> windowedTree() {
  auto t = std::make_unique<TTestTree>(nullptr);
  t->HandleNeeded();
  return t;
}

// An irregular tree: varying heights, hidden rows, expanded and collapsed parents.
void fillIrregular(TTestTree& t, int roots, unsigned seed) {
  std::mt19937 rng(seed);
  t.BeginUpdate();
  t.SetRootNodeCount(std::uint32_t(roots));
  for (PDataNode n = t.GetFirstNoInit(); n; n = n->NextSibling) {
    if (rng() % 4 == 0) t.SetNodeHeight(n, 10 + int(rng() % 30));
    if (rng() % 10 == 0) {
      t.SetChildCount(n, 1 + rng() % 30);
      if (rng() % 2) t.SetExpanded(n, true);
      for (PDataNode c = n->FirstChild; c; c = c->NextSibling)
        if (rng() % 7 == 0) t.SetVisible(c, false);
    }
    if (rng() % 50 == 0) t.SetVisible(n, false);
  }
  t.EndUpdate();
}
}  // namespace

TEST(TreeCache, AnswersLikeALinearWalk) {
  for (bool above : {false, true}) {
    auto t = windowedTree();
    if (above) t->TreeOptions().SetPaintOptions(t->TreeOptions().PaintOptions() + TDTPaintOptions{toChildrenAbove});
    fillIrregular(*t, 12000, above ? 5 : 6);
    checkInvariants(*t);
    ASSERT_TRUE(waitFor([&] { return cacheUsable(*t); })) << "the cache of a large tree becomes usable";

    const auto& cache = t->PositionCache();
    ASSERT_GE(cache.size(), 2u);
    EXPECT_EQ(cache.front().Node, t->GetFirstVisibleNoInit(nullptr, true));
    EXPECT_EQ(cache.front().AbsoluteTop, 0u);
    EXPECT_EQ(cache.back().Node, nullptr) << "the closing entry marks the end of the rows";
    EXPECT_EQ(cache.back().AbsoluteTop, t->RootNode()->TotalHeight - t->RootNode()->NodeHeight);

    std::mt19937 rng(11);
    std::uint32_t total = cache.back().AbsoluteTop;
    for (int i = 0; i < 3000; ++i) {
      std::uint32_t y = rng() % (total + 200);
      if (i < 3) y = total - 1 + std::uint32_t(i);
      std::uint32_t expectedTop;
      PDataNode expected = linearNodeAt(*t, y, expectedTop);
      int top = -1;
      PDataNode got = t->GetNodeAt(0, int(y), false, top);
      ASSERT_EQ(got, expected) << "y " << y;
      if (got) {
        EXPECT_EQ(std::uint32_t(top), expectedTop);
      }
    }
    // Each anchor knows where its node is.
    for (std::size_t i = 0; i + 1 < cache.size(); ++i) {
      std::uint32_t pos;
      EXPECT_EQ(t->FindInPositionCache(cache[i].Node, pos), cache[i].Node);
      EXPECT_EQ(pos, cache[i].AbsoluteTop);
    }
  }
}

TEST(TreeCache, SmallTreesWalkAndTheThresholdIsExact) {
  auto small = windowedTree();
  small->SetRootNodeCount(2000);
  ASSERT_TRUE(waitFor([&] { return workerIdle(*small); }));
  EXPECT_FALSE(cacheUsable(*small));
  EXPECT_TRUE(small->PositionCache().empty());
  int top;
  EXPECT_EQ(small->GetNodeAt(0, 18 * 1999 + 3, false, top), small->GetLastVisibleNoInit());

  auto big = windowedTree();
  big->SetRootNodeCount(2001);
  ASSERT_TRUE(waitFor([&] { return cacheUsable(*big); }));
  const auto& cache = big->PositionCache();
  ASSERT_FALSE(cache.empty());
  EXPECT_EQ(cache.front().Node, big->GetFirstNoInit());
  EXPECT_EQ(cache.back().AbsoluteTop, 2001u * 18u);
  std::uint32_t pos = 7;
  EXPECT_EQ(big->FindInPositionCache(0u, pos), big->GetFirstNoInit());
  EXPECT_EQ(pos, 0u);
}

TEST(TreeCache, ChangesExpireTheCacheAndAFillIsInterrupted) {
  auto t = windowedTree();
  t->BeginUpdate();
  t->SetRootNodeCount(200000);
  PDataNode parent = t->GetFirstNoInit();
  t->SetChildCount(parent, 1000);
  t->EndUpdate();
  // Expand while the fill of the previous shape may still run.
  t->SetExpanded(parent, true);
  EXPECT_FALSE(cacheUsable(*t));
  ASSERT_TRUE(waitFor([&] { return cacheUsable(*t); }));
  int top;
  std::uint32_t expectedTop;
  PDataNode expected = linearNodeAt(*t, 18u * 150000u + 5u, expectedTop);
  EXPECT_EQ(t->GetNodeAt(0, 18 * 150000 + 5, false, top), expected);
  EXPECT_EQ(std::uint32_t(top), expectedTop);

  // Any change makes the cache unusable until the next fill is done.
  t->DeleteNode(t->GetLastNoInit());
  EXPECT_FALSE(cacheUsable(*t));
  ASSERT_TRUE(waitFor([&] { return cacheUsable(*t); }));
  checkInvariants(*t);
}

TEST(TreeCache, WorkerServesSeveralTreesAndEndsWithTheLast) {
  {
    std::vector<std::unique_ptr<TTestTree>> trees;
    for (int i = 0; i < 4; ++i) {
      trees.push_back(windowedTree());
      trees.back()->SetRootNodeCount(3000 + std::uint32_t(i) * 1000);
    }
    for (auto& t : trees) EXPECT_TRUE(waitFor([&] { return cacheUsable(*t); }));
    ASSERT_NE(WorkerThread(), nullptr);
  }
  EXPECT_EQ(WorkerThread(), nullptr) << "the last tree ends the worker";
  auto again = windowedTree();
  EXPECT_NE(WorkerThread(), nullptr) << "a new tree starts a new worker";
  again->SetRootNodeCount(5000);
  EXPECT_TRUE(waitFor([&] { return cacheUsable(*again); }));
}

TEST(TreeCache, TreesDestroyedDuringAFill) {
  auto keeper = windowedTree();  // keeps the worker alive across the loop
  for (int round = 0; round < 6; ++round) {
    auto t = windowedTree();
    t->SetRootNodeCount(150000 + std::uint32_t(round) * 10000);
    // Give the worker a moment to be inside the fill, then pull the tree away.
    std::this_thread::sleep_for(std::chrono::microseconds(200 * round));
    t.reset();
    keeper->SetRootNodeCount(std::uint32_t(3000 + round));
  }
  EXPECT_TRUE(waitFor([&] { return cacheUsable(*keeper); }));
  // Reports posted for destroyed trees must not reach anything.
  waitFor([] { return false; }, 50);
}

TEST(TreeCache, TreeWithoutWindowStillAnswersByWalking) {
  TTestTree t(nullptr);
  t.SetRootNodeCount(5000);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(cacheUsable(t));
  int top;
  EXPECT_EQ(t.GetNodeAt(0, 18 * 4321, false, top)->Index, 4321u);
}

TEST(TreeTimers, ChangeDelayMergesReports) {
  auto t = windowedTree();
  std::vector<TChangeReason> reasons;
  int changes = 0;
  t->OnStructureChange = [&](TBaseDataTree*, PDataNode, TChangeReason r) { reasons.push_back(r); };
  t->OnChange = [&](TBaseDataTree*, PDataNode) { ++changes; };
  t->SetChangeDelay(30);
  PDataNode n = t->AddChild(nullptr);
  t->DeleteNode(t->AddChild(nullptr));
  t->SetSelected(n, true);
  t->SetSelected(n, false);
  EXPECT_TRUE(reasons.empty());
  EXPECT_EQ(changes, 0);
  ASSERT_TRUE(waitFor([&] { return !reasons.empty() && changes > 0; }, 3000));
  EXPECT_EQ(reasons, (std::vector<TChangeReason>{crAccumulated}));
  EXPECT_EQ(changes, 1);
  waitFor([] { return false; }, 80);
  EXPECT_EQ(reasons.size(), 1u) << "a fired report is not repeated";
}

TEST(TreeAnimation, StepsCoverTheDistanceAndEndWithZero) {
  TTestTree t(nullptr);
  std::vector<int> steps;
  int covered = 0;
  auto started = std::chrono::steady_clock::now();
  t.Animate(100, 60, [&](int step, int size, void*) {
    steps.push_back(step);
    if (step) covered += size;
    return true;
  }, nullptr);
  auto elapsed = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(steps.empty());
  EXPECT_EQ(steps.back(), 0);
  // The loop ends when the distance is covered or the time is up (a slow or
  // loaded machine runs out of time first); either way it ends promptly.
  EXPECT_TRUE(covered >= 100 || elapsed >= std::chrono::milliseconds(60)) << covered;
  EXPECT_LE(covered, 100 + 100);  // never more than one growing step beyond
  EXPECT_LT(elapsed, std::chrono::seconds(2));
  EXPECT_FALSE(t.TreeStates().Contains(tsInAnimation));

  int calls = 0;
  t.Animate(100, 0, [&](int, int, void*) { return ++calls, true; }, nullptr);
  EXPECT_EQ(calls, 0) << "no duration, no animation";
}
