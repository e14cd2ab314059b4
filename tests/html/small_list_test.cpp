// The list that keeps its first element in place: elements survive every
// move between that place and the heap, and owning elements are freed
// exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "html/model/small_list.h"

namespace {

struct Pair {
  int A = 0, B = 0;
};

std::vector<int> values(const TSmallList<std::unique_ptr<int>>& l) {
  std::vector<int> out;
  for (const auto& p : l) out.push_back(*p);
  return out;
}

TEST(SmallList, OwningElementsMoveBetweenThePlaceAndTheHeap) {
  auto alive = std::make_shared<int>(0);
  struct Counted {
    std::shared_ptr<int> N;
    explicit Counted(std::shared_ptr<int> n) : N(std::move(n)) { ++*N; }
    ~Counted() { --*N; }
  };
  {
    TSmallList<std::unique_ptr<Counted>> l;
    l.push_back(std::make_unique<Counted>(alive));
    EXPECT_EQ(l.capacity(), 1u);  // no heap for one
    for (int i = 0; i < 9; ++i) l.push_back(std::make_unique<Counted>(alive));
    EXPECT_EQ(*alive, 10);
    l.pop_back();
    EXPECT_EQ(*alive, 9);
    while (l.size() > 1) l.pop_back();
    l.shrink_to_fit();
    EXPECT_EQ(l.capacity(), 1u);
    EXPECT_EQ(*alive, 1);
    TSmallList<std::unique_ptr<Counted>> other(std::move(l));
    EXPECT_TRUE(l.empty());
    EXPECT_EQ(other.size(), 1u);
    EXPECT_EQ(*alive, 1);
  }
  EXPECT_EQ(*alive, 0);

  TSmallList<std::unique_ptr<int>> one, many;
  one.push_back(std::make_unique<int>(1));
  for (int i = 10; i < 15; ++i) many.push_back(std::make_unique<int>(i));
  one.swap(many);
  EXPECT_EQ(values(one), (std::vector<int>{10, 11, 12, 13, 14}));
  EXPECT_EQ(values(many), std::vector<int>{1});
  EXPECT_EQ(&many.back(), &many.front());
  many.clear();
  EXPECT_TRUE(many.empty());
  many.push_back(std::make_unique<int>(7));
  EXPECT_EQ(*many.at(0), 7);
  EXPECT_THROW(many.at(1), std::out_of_range);

  // Inserting and erasing keep the order of the rest, in place and on
  // the heap alike.
  many.insert(many.begin(), std::make_unique<int>(6));
  many.insert(many.end(), std::make_unique<int>(9));
  many.insert(many.begin() + 2, std::make_unique<int>(8));
  EXPECT_EQ(values(many), (std::vector<int>{6, 7, 8, 9}));
  many.erase(many.begin() + 1);
  EXPECT_EQ(values(many), (std::vector<int>{6, 8, 9}));
  many.erase(many.begin(), many.begin() + 2);
  EXPECT_EQ(values(many), std::vector<int>{9});
  std::vector<int> backwards;
  for (auto it = one.rbegin(); it != one.rend(); ++it) backwards.push_back(**it);
  EXPECT_EQ(backwards, (std::vector<int>{14, 13, 12, 11, 10}));
}

TEST(SmallList, PlainElementsCopySearchAndShrink) {
  TSmallList<Pair> l;
  for (int i = 0; i < 100; ++i) l.push_back({i, i * 2});
  const TSmallList<Pair> copy(l);
  ASSERT_EQ(copy.size(), 100u);
  EXPECT_EQ(copy[57].B, 114);
  auto it = std::upper_bound(copy.begin(), copy.end(), 41, [](int v, const Pair& p) { return v < p.A; });
  EXPECT_EQ(it - copy.begin(), 42);
  while (l.size() > 3) l.pop_back();
  l.shrink_to_fit();
  EXPECT_EQ(l.capacity(), 3u);
  EXPECT_EQ(l.back().A, 2);
  TSmallList<Pair> small;
  small.push_back({5, 6});
  small = l;
  EXPECT_EQ(small.size(), 3u);
  l = TSmallList<Pair>();
  EXPECT_TRUE(l.empty());
  EXPECT_EQ(small[1].B, 2);
}

}  // namespace
