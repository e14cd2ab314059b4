// Left and right edges by vertical band: floats constrain everything they
// overlap, a block's edges only while that block is being laid out.
#include "html/model/indent_manager.h"

#include <algorithm>
#include <utility>

void TIndentManager::Init(int Lf, int Wd) {
  LeftEdge = Lf;
  Width = Wd;
  L.clear();
  R.clear();
  CurrentID = nullptr;
}

void TIndentManager::Reset(int Lf) {
  LeftEdge = Lf;
  CurrentID = nullptr;
}

int TIndentManager::leftRaw(int Y) const {
  bool found = false;
  int result = 0;
  for (const IndentRec& rec : L) {
    if (Y < rec.YT || Y >= rec.YB || (rec.ID && rec.ID != CurrentID)) continue;
    result = found ? std::max(result, rec.X) : rec.X;
    found = true;
  }
  if (found) return result;
  // Otherwise the current block's own edge; floats never stand for it.
  for (auto it = L.rbegin(); it != L.rend(); ++it)
    if (it->ID && it->ID == CurrentID) return it->X;
  return 0;
}

int TIndentManager::rightRaw(int Y) const {
  bool found = false;
  int result = 0;
  for (const IndentRec& rec : R) {
    if (Y < rec.YT || Y >= rec.YB || (rec.ID && rec.ID != CurrentID)) continue;
    result = found ? std::min(result, rec.X) : rec.X;
    found = true;
  }
  if (found) return result;
  int base = 0;
  for (auto it = L.rbegin(); it != L.rend(); ++it)
    if (it->ID && it->ID == CurrentID) {
      base = it->X;
      break;
    }
  return base + Width;
}

const IndentRec& TIndentManager::AddLeft(int YT, int YB, int W) {
  L.push_back({leftRaw(YT) + W, YT, YB, nullptr});
  return L.back();
}

const IndentRec& TIndentManager::AddRight(int YT, int YB, int W) {
  R.push_back({rightRaw(YT) - W, YT, YB, nullptr});
  return R.back();
}

int TIndentManager::SetLeftIndent(int XLeft, int Y) {
  L.push_back({XLeft, Y, IndentOpenBottom, CurrentID});
  return int(L.size()) - 1;
}

int TIndentManager::SetRightIndent(int XRight, int Y) {
  R.push_back({XRight, Y, IndentOpenBottom, CurrentID});
  return int(R.size()) - 1;
}

void TIndentManager::FreeLeftIndentRec(int I) {
  if (I >= 0 && I < int(L.size())) L.erase(L.begin() + I);
}

void TIndentManager::FreeRightIndentRec(int I) {
  if (I >= 0 && I < int(R.size())) R.erase(R.begin() + I);
}

namespace {

// Of the first rooms found below each side's floats (at LY and RY, with
// X positions LX and RX; a side's Y unchanged means none was found), the
// nearer one; with none, the bottom of the floats passed and Fallback.
int closerRoom(int& Y, int MaxBottom, int Fallback, int LY, int LX, int RY, int RX) {
  if (LY == Y && RY == Y) {
    Y = MaxBottom;
    return Fallback;
  }
  if (LY != Y && (RY == Y || LY < RY)) {
    Y = LY;
    return LX;
  }
  Y = RY;
  return RX;
}

}  // namespace

std::vector<std::pair<int32_t, int32_t>> TIndentManager::floatsEndingBelow(const std::vector<IndentRec>& List,
                                                                           int Y) const {
  std::vector<std::pair<int32_t, int32_t>> out;
  for (auto it = List.rbegin(); it != List.rend(); ++it) {
    if (it->ID && it->ID == CurrentID) break;
    if (!it->ID && it->YB > Y) out.emplace_back(it->YB, it->X);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<int> TIndentManager::rawEdgesAt(bool LeftSide, const std::vector<int>& Ys) const {
  // leftRaw / rightRaw at every Y asked for at once: the records that count
  // (floats and the current block's own) are taken tightest X first, and
  // each gives its X to the asked-for Ys in its band [YT, YB) that no
  // tighter record has taken yet; the Ys no record covers keep the same
  // fallback as the single queries.
  const std::vector<IndentRec>& list = LeftSide ? L : R;
  std::vector<const IndentRec*> tightest;
  for (const IndentRec& rec : list)
    if (!rec.ID || rec.ID == CurrentID) tightest.push_back(&rec);
  std::sort(tightest.begin(), tightest.end(), [LeftSide](const IndentRec* a, const IndentRec* b) {
    return LeftSide ? a->X > b->X : a->X < b->X;
  });
  int fallback = 0;
  for (auto it = L.rbegin(); it != L.rend(); ++it)
    if (it->ID && it->ID == CurrentID) {
      fallback = it->X;
      break;
    }
  if (!LeftSide) fallback += Width;
  std::vector<int> out(Ys.size(), fallback);
  // nextOpen[i]: the first index at or after i not yet given an X.
  std::vector<size_t> nextOpen(Ys.size() + 1);
  for (size_t i = 0; i < nextOpen.size(); ++i) nextOpen[i] = i;
  auto open = [&nextOpen](size_t i) {
    size_t root = i;
    while (nextOpen[root] != root) root = nextOpen[root];
    while (nextOpen[i] != root) i = std::exchange(nextOpen[i], root);
    return root;
  };
  for (const IndentRec* rec : tightest) {
    const size_t hi = size_t(std::lower_bound(Ys.begin(), Ys.end(), rec->YB) - Ys.begin());
    for (size_t i = open(size_t(std::lower_bound(Ys.begin(), Ys.end(), rec->YT) - Ys.begin())); i < hi;
         i = open(i)) {
      out[i] = rec->X;
      nextOpen[i] = i + 1;
    }
  }
  return out;
}

TIndentManager::FloatBottoms::FloatBottoms(const TIndentManager& M, int Y)
    : Owner(M), Lefts(M.floatsEndingBelow(M.L, Y)), Rights(M.floatsEndingBelow(M.R, Y)) {}

// A few edges are read directly (a float placed beside the last ones
// needs two or three); past that, one sweep answers every bottom, so a
// search through many rows of floats costs one sort, not a walk of all
// records per row.
int TIndentManager::FloatBottoms::edge(bool LeftSide, int Y) const {
  constexpr int DirectQueries = 32;
  if (Ys.empty() && Direct < DirectQueries) {
    ++Direct;
    return LeftSide ? Owner.leftRaw(Y) : Owner.rightRaw(Y);
  }
  if (Ys.empty()) {
    for (const auto* side : {&Lefts, &Rights})
      for (const auto& f : *side) {
        Ys.push_back(f.first - 1);
        Ys.push_back(f.first);
      }
    std::sort(Ys.begin(), Ys.end());
    Ys.erase(std::unique(Ys.begin(), Ys.end()), Ys.end());
    LeftAt = Owner.rawEdgesAt(true, Ys);
    RightAt = Owner.rawEdgesAt(false, Ys);
  }
  const size_t i = size_t(std::lower_bound(Ys.begin(), Ys.end(), Y) - Ys.begin());
  return LeftSide ? LeftAt[i] : RightAt[i];
}

// A float "still makes its edge" at its bottom when the side's edge just
// above that bottom is its own X. Looking at every float (newest first,
// keeping the nearest bottom with room) finds the smallest such bottom
// with room for W; walking the bottoms upwards finds the same one and
// stops there, with the edges read from one sweep rather than a walk of
// all records per float (a row of a thousand floats was cubic).
bool TIndentManager::FloatBottoms::FirstRoom(bool LeftSide, int W, int& RoomY) const {
  const auto& floats = LeftSide ? Lefts : Rights;
  for (size_t i = 0; i < floats.size();) {
    const int32_t bottom = floats[i].first;
    size_t end = i;
    while (end < floats.size() && floats[end].first == bottom) ++end;
    if (Right(bottom) - W >= Left(bottom)) {
      const int edge = LeftSide ? Left(bottom - 1) : Right(bottom - 1);
      for (size_t k = i; k < end; ++k)
        if (floats[k].second == edge) {
          RoomY = bottom;
          return true;
        }
    }
    i = end;
  }
  return false;
}

// The lowest bottom of a float that still makes its edge there (Y when
// there is none): where a box goes when no room opens beside the floats.
int TIndentManager::FloatBottoms::LowestEdgeBottom(bool LeftSide, int Y) const {
  const auto& floats = LeftSide ? Lefts : Rights;
  for (size_t i = floats.size(); i > 0;) {
    const int32_t bottom = floats[i - 1].first;
    const int edge = LeftSide ? Left(bottom - 1) : Right(bottom - 1);
    for (; i > 0 && floats[i - 1].first == bottom; --i)
      if (floats[i - 1].second == edge) return std::max(Y, int(bottom));
  }
  return Y;
}

int TIndentManager::AlignLeft(int& Y, int W, int SpW, int SpH) {
  const int L0 = leftRaw(Y);
  const int R0 = rightRaw(Y);
  if (R0 >= L0 + W + SpW) return L0 + LeftEdge;
  if (SpH > 0 && rightRaw(Y + SpH) >= L0 + W) {
    Y += SpH;
    return L0 + LeftEdge;
  }
  int base = 0;
  for (auto it = L.rbegin(); it != L.rend(); ++it)
    if (it->ID && it->ID == CurrentID) {
      base = it->X;
      break;
    }
  const FloatBottoms floats(*this, Y);
  int LY = Y, LX = L0, RY = Y, RX = L0;
  if (floats.FirstRoom(true, W, LY)) LX = floats.Left(LY);
  if (floats.FirstRoom(false, W, RY)) RX = floats.Left(RY);
  int maxBottom = Y;
  if (LY == Y && RY == Y) maxBottom = std::max(floats.LowestEdgeBottom(true, Y), floats.LowestEdgeBottom(false, Y));
  return closerRoom(Y, maxBottom, base, LY, LX, RY, RX) + LeftEdge;
}

int TIndentManager::AlignRight(int& Y, int W, int SpW, int SpH) {
  const int R0 = rightRaw(Y) - W;
  if (leftRaw(Y) + SpW <= R0) return R0 + LeftEdge;
  if (SpH > 0 && leftRaw(Y + SpH) <= R0) {
    Y += SpH;
    return R0 + LeftEdge;
  }
  int def = Width - W;
  for (auto it = R.rbegin(); it != R.rend(); ++it)
    if (it->ID && it->ID == CurrentID) {
      def = it->X - W;
      break;
    }
  const FloatBottoms floats(*this, Y);
  int LY = Y, LX = R0, RY = Y, RX = R0;
  if (floats.FirstRoom(true, W, LY)) LX = floats.Right(LY) - W;
  if (floats.FirstRoom(false, W, RY)) RX = floats.Right(RY) - W;
  int maxBottom = Y;
  if (LY == Y && RY == Y) maxBottom = std::max(floats.LowestEdgeBottom(true, Y), floats.LowestEdgeBottom(false, Y));
  return closerRoom(Y, maxBottom, def, LY, LX, RY, RX) + LeftEdge;
}

int TIndentManager::GetNextWiderY(int Y) const {
  int result = htUnset;
  for (const auto* list : {&L, &R})
    for (const IndentRec& rec : *list)
      if (!rec.ID && rec.YB > Y) result = std::min(result, rec.YB);
  return result == htUnset ? Y : result;
}

int TIndentManager::ImageBottom() const {
  int result = 0;
  for (const auto* list : {&L, &R})
    for (const IndentRec& rec : *list)
      if (!rec.ID) result = std::max(result, rec.YB);
  return result;
}

void TIndentManager::GetClearY(int& CL, int& CR) const {
  CL = -1;
  CR = -1;
  for (const IndentRec& rec : L)
    if (!rec.ID) CL = std::max(CL, rec.YB);
  for (const IndentRec& rec : R)
    if (!rec.ID) CR = std::max(CR, rec.YB);
  CL += 1;
  CR += 1;
}
