// Left and right edges by vertical band: floats constrain everything they
// overlap, a block's edges only while that block is being laid out.
//
// Every lookup reads an index rather than the records: the floats' bands
// in a tree over Y, the block records (one or two per block being laid
// out) apart, and the bottoms of the floats newer than each block record
// in order, with what the searches for room learnt at each. A page of many
// floats of any widths then lays out in linear time, where a walk of all
// records per lookup, or of all bottoms per search, made it quadratic.
#include "html/model/indent_manager.h"

#include <algorithm>
#include <climits>
#include <cstdint>
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

// ---- TRoomBounds ----

void TRoomBounds::Set(int32_t Y, int64_t B) {
  if (FNodes.empty()) FNodes.emplace_back();
  uint32_t path[34];
  int depth = 0;
  uint32_t node = 0;
  path[depth++] = node;
  for (int64_t lo = INT32_MIN, hi = INT32_MAX; lo < hi;) {
    const int64_t mid = (lo + hi) >> 1;
    const int c = Y <= mid ? 0 : 1;
    if (FNodes[node].Child[c] == 0) {
      FNodes[node].Child[c] = uint32_t(FNodes.size());
      FNodes.emplace_back();
    }
    node = FNodes[node].Child[c];
    if (c == 0) hi = mid;
    else lo = mid + 1;
    path[depth++] = node;
  }
  FNodes[node].Max = B;
  while (--depth > 0) {
    Node& n = FNodes[path[depth - 1]];
    n.Max = INT64_MIN;
    for (const uint32_t c : n.Child)
      if (c != 0) n.Max = std::max(n.Max, FNodes[c].Max);
  }
}

bool TRoomBounds::find(uint32_t NodeIx, int64_t Lo, int64_t Hi, int64_t From, int64_t Min, bool Last,
                       int32_t& Y) const {
  const Node& n = FNodes[NodeIx];
  if (Hi < From || n.Max < Min) return false;
  if (Lo == Hi) {
    Y = int32_t(Lo);
    return true;
  }
  const int64_t mid = (Lo + Hi) >> 1;
  for (const int c : {Last ? 1 : 0, Last ? 0 : 1})
    if (n.Child[c] != 0 && find(n.Child[c], c == 0 ? Lo : mid + 1, c == 0 ? mid : Hi, From, Min, Last, Y))
      return true;
  return false;
}

bool TRoomBounds::Find(int32_t After, int64_t Min, bool Last, int32_t& Y) const {
  if (FNodes.empty() || After == INT32_MAX) return false;
  return find(0, INT32_MIN, INT32_MAX, int64_t(After) + 1, Min, Last, Y);
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
    s->Scopes.assign(1, Scope());
    s->MaxBottom = 0;
    s->AnyFloat = false;
  }
  FFloatBottoms.clear();
  FLeastFallback = INT32_MAX;
  FGreatestFallback = INT32_MIN;
}

void TIndentManager::forgetRooms(bool LeftFloat, int32_t X) {
  FLeastFallback = INT32_MAX;
  FGreatestFallback = INT32_MIN;
  for (Side* s : {&FLeft, &FRight})
    for (Scope& scope : s->Scopes) {
      ++FSteps;
      if (scope.Rooms.Empty()) continue;
      if (LeftFloat ? X < scope.Fallback : int64_t(X) > int64_t(scope.Fallback) + scope.Width) {
        scope.Rooms.Clear();
        continue;
      }
      FLeastFallback = std::min(FLeastFallback, scope.Fallback);
      FGreatestFallback = std::max(FGreatestFallback, scope.Fallback);
    }
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
  // A float standing where no record stood before, looser than the edge a
  // block falls back to there, widens the room: what the searches in that
  // block's scope learnt goes.
  if (leftSide ? Rec.X < FGreatestFallback : int64_t(Rec.X) > int64_t(FLeastFallback) + Width)
    forgetRooms(leftSide, Rec.X);
  S.Floats.Add(Rec.YT, Rec.YB, Rec.X);
  Scope& scope = S.Scopes.back();
  scope.Floats.emplace(Rec.YB, Rec.X);
  if (Rec.YT >= Rec.YB) scope.Flat.emplace(Rec.YB, Rec.X);
  if (!scope.Rooms.Empty()) {
    // Its bottom may be a room now; so may the bottoms of floats of no
    // height and of its X just below its top, as it makes the edge above.
    scope.Rooms.Set(Rec.YB, TRoomBounds::Unknown);
    for (auto it = scope.Flat.lower_bound({Rec.YT, INT32_MAX}); it != scope.Flat.end() && it->first <= Rec.YB; ++it) {
      ++FSteps;
      if (it->first > Rec.YT && it->second == Rec.X) scope.Rooms.Set(it->first, TRoomBounds::Unknown);
    }
  }
  FFloatBottoms.insert(Rec.YB);
  S.MaxBottom = S.AnyFloat ? std::max(S.MaxBottom, Rec.YB) : Rec.YB;
  S.AnyFloat = true;
}

void TIndentManager::addBlock(Side& S, const IndentRec& Rec) {
  S.Blocks.push_back(Rec);
  S.Scopes.emplace_back();
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
  const void* const id = List[size_t(I)].ID;
  List.erase(List.begin() + I);
  const size_t block = S.Blocks.size() - 1 - later;
  S.Blocks.erase(S.Blocks.begin() + std::ptrdiff_t(block));
  // A block keeping another record may have more room without this one.
  for (Side* s : {&FLeft, &FRight})
    for (size_t k = 0; k < s->Blocks.size(); ++k) {
      ++FSteps;
      if (s->Blocks[k].ID == id) s->Scopes[k + (s == &S && k >= block ? 2 : 1)].Rooms.Clear();
    }
  // The floats after it now follow the record before it. The room learnt
  // there only narrowed with them, unless floats of no height there may now
  // make an edge.
  Scope& into = S.Scopes[block];
  Scope& from = S.Scopes[block + 1];
  if (!into.Flat.empty()) {
    into.Rooms.Clear();
  } else if (!into.Rooms.Empty()) {
    FSteps += from.Floats.size();
    for (const auto& f : from.Floats) into.Rooms.Set(f.first, TRoomBounds::Unknown);
  }
  if (into.Floats.size() < from.Floats.size()) into.Floats.swap(from.Floats);
  into.Floats.merge(from.Floats);
  into.Flat.merge(from.Flat);
  S.Scopes.erase(S.Scopes.begin() + std::ptrdiff_t(block) + 1);
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

TIndentManager::Scope& TIndentManager::roomScope(bool LeftSide, int Y, Scope& Spare) {
  Side& s = LeftSide ? FLeft : FRight;
  const bool newest = CurrentID && !s.Blocks.empty() && s.Blocks.back().ID == CurrentID;
  Scope& scope = newest ? s.Scopes.back() : Spare;
  if (newest && !scope.Rooms.Empty() && scope.Width == Width) return scope;
  if (!newest) {
    // The current block's newest record is not the last block record (or
    // there is none): the floats after it are gathered from the records.
    const std::vector<IndentRec>& list = LeftSide ? L : R;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
      ++FSteps;
      if (it->ID && it->ID == CurrentID) break;
      if (!it->ID && it->YB > Y) Spare.Floats.emplace(it->YB, it->X);
    }
  }
  // Nothing is known yet of the room at any bottom.
  scope.Rooms.Clear();
  for (auto it = scope.Floats.begin(); it != scope.Floats.end(); it = scope.Floats.upper_bound({it->first, INT32_MAX})) {
    ++FSteps;
    scope.Rooms.Set(it->first, TRoomBounds::Unknown);
  }
  scope.Width = Width;
  scope.Fallback = ownEdge(FLeft, 0);
  if (newest && !scope.Rooms.Empty()) {
    FLeastFallback = std::min(FLeastFallback, scope.Fallback);
    FGreatestFallback = std::max(FGreatestFallback, scope.Fallback);
  }
  return scope;
}

int64_t TIndentManager::roomAt(bool LeftSide, const Bottoms& Floats, int32_t B) const {
  ++FSteps;
  if (Floats.find({B, edge(LeftSide, B - 1)}) == Floats.end()) return NoRoom;
  return int64_t(rightRaw(B)) - leftRaw(B);
}

// A float "still makes its edge" at its bottom when the side's edge just
// above that bottom is its own X. The bottoms whose bounds reach Min are
// read one by one in the order asked for, each bound then made the room
// itself: a bottom read once is read again only when a float added later
// may have made room there, so a page of floats costs a bounded work per
// float whatever their widths.
bool TIndentManager::findRoom(bool LeftSide, int Y, int64_t Min, bool Last, int& RoomY) {
  Scope spare;
  Scope& scope = roomScope(LeftSide, Y, spare);
  int32_t bottom = 0;
  while (scope.Rooms.Find(Y, Min, Last, bottom)) {
    const int64_t room = roomAt(LeftSide, scope.Floats, bottom);
    scope.Rooms.Set(bottom, room);
    if (room >= Min) {
      RoomY = bottom;
      return true;
    }
  }
  return false;
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
