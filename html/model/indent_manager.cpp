// Left and right edges by vertical band: floats constrain everything they
// overlap, a block's edges only while that block is being laid out.
//
// Every lookup reads an index rather than the records: the floats' bands
// in a tree over Y, the block records (one or two per block being laid
// out) apart, and the bottoms of the floats newer than each block record
// in order. A page of many floats then lays out in linear time, where a
// walk of all records per lookup made it quadratic.
#include "html/model/indent_manager.h"

#include <algorithm>
#include <climits>
#include <utility>

// ---- TBandExtremes ----

void TBandExtremes::Clear() { FNodes.clear(); }

void TBandExtremes::take(Node& N, int32_t X) const {
  if (!N.Set) N.X = X;
  else N.X = FGreatest ? std::max(N.X, X) : std::min(N.X, X);
  N.Set = true;
}

void TBandExtremes::Add(int32_t YT, int32_t YB, int32_t X) {
  if (YT >= YB) return;  // a band of no height holds no Y
  const int64_t lo = YT, hi = int64_t(YB) - 1;
  if (FNodes.empty()) FNodes.emplace_back();
  // The nodes whose ranges lie within [lo, hi] take X; a walk with a
  // stack of its own, at most two nodes a level.
  struct Open {
    uint32_t Node;
    int64_t Lo, Hi;
  };
  Open stack[2 * 34];
  int top = 0;
  stack[top++] = {0, INT32_MIN, INT32_MAX};
  while (top > 0) {
    const Open o = stack[--top];
    if (lo <= o.Lo && o.Hi <= hi) {
      take(FNodes[o.Node], X);
      continue;
    }
    const int64_t mid = (o.Lo + o.Hi) >> 1;
    const int64_t los[2] = {o.Lo, mid + 1}, his[2] = {mid, o.Hi};
    for (int c = 0; c < 2; ++c) {
      if (his[c] < lo || los[c] > hi) continue;
      if (FNodes[o.Node].Child[c] == 0) {
        FNodes[o.Node].Child[c] = uint32_t(FNodes.size());
        FNodes.emplace_back();
      }
      stack[top++] = {FNodes[o.Node].Child[c], los[c], his[c]};
    }
  }
}

bool TBandExtremes::At(int32_t Y, int32_t& X) const {
  bool found = false;
  uint32_t node = 0;
  int64_t lo = INT32_MIN, hi = INT32_MAX;
  while (!FNodes.empty()) {
    const Node& n = FNodes[node];
    if (n.Set) {
      X = !found ? n.X : FGreatest ? std::max(X, n.X) : std::min(X, n.X);
      found = true;
    }
    const int64_t mid = (lo + hi) >> 1;
    const int c = Y <= mid ? 0 : 1;
    if (n.Child[c] == 0) break;
    node = n.Child[c];
    if (c == 0) hi = mid;
    else lo = mid + 1;
  }
  return found;
}

// ---- TIndentManager ----

TIndentManager::TIndentManager() = default;

void TIndentManager::Init(int Lf, int Wd) {
  LeftEdge = Lf;
  Width = Wd;
  L.clear();
  R.clear();
  CurrentID = nullptr;
  clearIndexes();
  FSteps = 0;
}

void TIndentManager::Reset(int Lf) {
  LeftEdge = Lf;
  CurrentID = nullptr;
}

void TIndentManager::clearIndexes() {
  for (Side* s : {&FLeft, &FRight}) {
    s->Floats.Clear();
    s->Blocks.clear();
    s->Scopes.assign(1, Bottoms());
    s->MaxBottom = 0;
    s->AnyFloat = false;
    s->Memo.Valid = false;
  }
  FFloatBottoms.clear();
  ++FEpoch;
}

void TIndentManager::rebuildIndexes() {
  clearIndexes();
  for (const IndentRec& rec : L) rec.ID ? addBlock(FLeft, rec) : addFloat(FLeft, rec);
  for (const IndentRec& rec : R) rec.ID ? addBlock(FRight, rec) : addFloat(FRight, rec);
}

const IndentRec* TIndentManager::ownRecord(const Side& S, const void* ID) const {
  if (!ID) return nullptr;
  for (auto it = S.Blocks.rbegin(); it != S.Blocks.rend(); ++it) {
    ++FSteps;
    if (it->ID == ID) return &*it;
  }
  return nullptr;
}

int TIndentManager::ownEdge(const Side& S, int Fallback) const {
  const IndentRec* own = ownRecord(S, CurrentID);
  return own ? own->X : Fallback;
}

bool TIndentManager::tightest(const Side& S, int Y, int32_t& X) const {
  ++FSteps;
  const bool greatest = &S == &FLeft;
  bool found = S.Floats.At(Y, X);
  if (CurrentID)
    for (const IndentRec& rec : S.Blocks) {
      ++FSteps;
      if (rec.ID != CurrentID || Y < rec.YT || Y >= rec.YB) continue;
      X = !found ? rec.X : greatest ? std::max(X, rec.X) : std::min(X, rec.X);
      found = true;
    }
  return found;
}

int TIndentManager::leftRaw(int Y) const {
  int32_t x = 0;
  // Otherwise the current block's own edge; floats never stand for it.
  return tightest(FLeft, Y, x) ? x : ownEdge(FLeft, 0);
}

int TIndentManager::rightRaw(int Y) const {
  int32_t x = 0;
  return tightest(FRight, Y, x) ? x : ownEdge(FLeft, 0) + Width;
}

void TIndentManager::addFloat(Side& S, const IndentRec& Rec) {
  const bool leftSide = &S == &FLeft;
  // A float standing where no record stood before, looser than the edge
  // used there, widens the room: what the searches learnt goes.
  for (Side* s : {&FLeft, &FRight}) {
    RoomMemo& m = s->Memo;
    if (!m.Valid) continue;
    const IndentRec* own = ownRecord(FLeft, m.ID);
    const int fallback = own ? own->X : 0;
    if (leftSide ? Rec.X < fallback : int64_t(Rec.X) > int64_t(fallback) + m.Width) m.Valid = false;
  }
  S.Floats.Add(Rec.YT, Rec.YB, Rec.X);
  S.Scopes.back().emplace(Rec.YB, Rec.X);
  // A new bottom among those known to have no room is not known.
  if (S.Memo.Valid && S.Memo.Lo <= Rec.YB && Rec.YB < S.Memo.B) S.Memo.B = Rec.YB;
  FFloatBottoms.insert(Rec.YB);
  S.MaxBottom = S.AnyFloat ? std::max(S.MaxBottom, Rec.YB) : Rec.YB;
  S.AnyFloat = true;
}

void TIndentManager::addBlock(Side& S, const IndentRec& Rec) {
  S.Blocks.push_back(Rec);
  S.Scopes.emplace_back();
  ++FEpoch;
}

const IndentRec& TIndentManager::AddLeft(int YT, int YB, int W) {
  L.push_back({leftRaw(YT) + W, YT, YB, nullptr});
  addFloat(FLeft, L.back());
  return L.back();
}

const IndentRec& TIndentManager::AddRight(int YT, int YB, int W) {
  R.push_back({rightRaw(YT) - W, YT, YB, nullptr});
  addFloat(FRight, R.back());
  return R.back();
}

int TIndentManager::SetLeftIndent(int XLeft, int Y) {
  L.push_back({XLeft, Y, IndentOpenBottom, CurrentID});
  // A record made with no current block stands for nothing but a float.
  L.back().ID ? addBlock(FLeft, L.back()) : addFloat(FLeft, L.back());
  return int(L.size()) - 1;
}

int TIndentManager::SetRightIndent(int XRight, int Y) {
  R.push_back({XRight, Y, IndentOpenBottom, CurrentID});
  R.back().ID ? addBlock(FRight, R.back()) : addFloat(FRight, R.back());
  return int(R.size()) - 1;
}

void TIndentManager::freeRec(std::vector<IndentRec>& List, Side& S, int I) {
  if (I < 0 || I >= int(List.size())) return;
  if (!List[size_t(I)].ID) {
    // A float going (never so in practice): everything is indexed again.
    List.erase(List.begin() + I);
    rebuildIndexes();
    return;
  }
  size_t later = 0;
  for (size_t k = size_t(I) + 1; k < List.size(); ++k) later += List[k].ID != nullptr;
  FSteps += List.size() - size_t(I);
  List.erase(List.begin() + I);
  const size_t block = S.Blocks.size() - 1 - later;
  S.Blocks.erase(S.Blocks.begin() + std::ptrdiff_t(block));
  // The floats after it now follow the record before it.
  Bottoms& into = S.Scopes[block];
  Bottoms& from = S.Scopes[block + 1];
  if (into.size() < from.size()) into.swap(from);
  into.merge(from);
  S.Scopes.erase(S.Scopes.begin() + std::ptrdiff_t(block) + 1);
  ++FEpoch;
}

void TIndentManager::FreeLeftIndentRec(int I) { freeRec(L, FLeft, I); }

void TIndentManager::FreeRightIndentRec(int I) { freeRec(R, FRight, I); }

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

const TIndentManager::Bottoms& TIndentManager::floatsEndingBelow(bool LeftSide, int Y, Bottoms& Spare,
                                                                 bool& Newest) const {
  const Side& s = LeftSide ? FLeft : FRight;
  Newest = CurrentID && !s.Blocks.empty() && s.Blocks.back().ID == CurrentID;
  if (Newest) return s.Scopes.back();
  // The current block's newest record is not the last block record (or
  // there is none): the floats after it are gathered from the records.
  const std::vector<IndentRec>& list = LeftSide ? L : R;
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    ++FSteps;
    if (it->ID && it->ID == CurrentID) break;
    if (!it->ID && it->YB > Y) Spare.emplace(it->YB, it->X);
  }
  return Spare;
}

// A float "still makes its edge" at its bottom when the side's edge just
// above that bottom is its own X. The bottoms are walked upwards from Y,
// each read in a few lookups; the search remembers where the room began,
// so the next float of a row starts there instead of at the top again.
bool TIndentManager::firstRoom(bool LeftSide, int Y, int W, int& RoomY) {
  Bottoms spare;
  bool newest = false;
  const Bottoms& floats = floatsEndingBelow(LeftSide, Y, spare, newest);
  RoomMemo& memo = (LeftSide ? FLeft : FRight).Memo;
  const int64_t from = int64_t(Y) + 1;
  int64_t start = from, learntFrom = from;
  if (newest && memo.Valid && memo.Epoch == FEpoch && memo.Width == Width && memo.ID == CurrentID && W >= memo.W &&
      memo.Lo <= from && from < memo.B) {
    start = memo.B;
    learntFrom = memo.Lo;
  }
  int64_t roomAt = INT64_MAX;
  bool found = false;
  for (auto it = start > INT32_MAX ? floats.end() : floats.lower_bound({int32_t(start), INT32_MIN});
       it != floats.end();) {
    ++FSteps;
    const int32_t bottom = it->first;
    if (rightRaw(bottom) - W >= leftRaw(bottom)) {
      roomAt = std::min<int64_t>(roomAt, bottom);
      if (floats.count({bottom, edge(LeftSide, bottom - 1)}) > 0) {
        RoomY = bottom;
        found = true;
        break;
      }
    }
    it = bottom == INT32_MAX ? floats.end() : floats.lower_bound({bottom + 1, INT32_MIN});
  }
  if (newest) memo = {true, FEpoch, Width, CurrentID, learntFrom, roomAt, W};
  return found;
}

int TIndentManager::lowestEdgeBottom(bool LeftSide, int Y) const {
  Bottoms spare;
  bool newest = false;
  const Bottoms& floats = floatsEndingBelow(LeftSide, Y, spare, newest);
  const auto first = Y == INT32_MAX ? floats.end() : floats.lower_bound({Y + 1, INT32_MIN});
  for (auto it = floats.end(); it != first;) {
    ++FSteps;
    const int32_t bottom = std::prev(it)->first;
    if (floats.count({bottom, edge(LeftSide, bottom - 1)}) > 0) return std::max(Y, int(bottom));
    it = floats.lower_bound({bottom, INT32_MIN});
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
  const int base = ownEdge(FLeft, 0);
  int LY = Y, LX = L0, RY = Y, RX = L0;
  if (firstRoom(true, Y, W, LY)) LX = leftRaw(LY);
  if (firstRoom(false, Y, W, RY)) RX = leftRaw(RY);
  int maxBottom = Y;
  if (LY == Y && RY == Y) maxBottom = std::max(lowestEdgeBottom(true, Y), lowestEdgeBottom(false, Y));
  return closerRoom(Y, maxBottom, base, LY, LX, RY, RX) + LeftEdge;
}

int TIndentManager::AlignRight(int& Y, int W, int SpW, int SpH) {
  const int R0 = rightRaw(Y) - W;
  if (leftRaw(Y) + SpW <= R0) return R0 + LeftEdge;
  if (SpH > 0 && leftRaw(Y + SpH) <= R0) {
    Y += SpH;
    return R0 + LeftEdge;
  }
  const IndentRec* own = ownRecord(FRight, CurrentID);
  const int def = own ? own->X - W : Width - W;
  int LY = Y, LX = R0, RY = Y, RX = R0;
  if (firstRoom(true, Y, W, LY)) LX = rightRaw(LY) - W;
  if (firstRoom(false, Y, W, RY)) RX = rightRaw(RY) - W;
  int maxBottom = Y;
  if (LY == Y && RY == Y) maxBottom = std::max(lowestEdgeBottom(true, Y), lowestEdgeBottom(false, Y));
  return closerRoom(Y, maxBottom, def, LY, LX, RY, RX) + LeftEdge;
}

int TIndentManager::GetNextWiderY(int Y) const {
  ++FSteps;
  const auto it = FFloatBottoms.upper_bound(Y);
  return it == FFloatBottoms.end() || *it == htUnset ? Y : *it;
}

int TIndentManager::ImageBottom() const {
  int result = 0;
  for (const Side* s : {&FLeft, &FRight})
    if (s->AnyFloat) result = std::max(result, int(s->MaxBottom));
  return result;
}

void TIndentManager::GetClearY(int& CL, int& CR) const {
  CL = FLeft.AnyFloat ? std::max(-1, int(FLeft.MaxBottom)) : -1;
  CR = FRight.AnyFloat ? std::max(-1, int(FRight.MaxBottom)) : -1;
  CL += 1;
  CR += 1;
}
