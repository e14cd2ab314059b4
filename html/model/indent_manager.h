#pragma once
// The left and right edges that floats and nested blocks impose on the
// lines of a cell while it is laid out from top to bottom.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "html/model/section_base.h"

// One constraint: an edge X valid for the band [YT, YB). ID is the block
// whose edge it is, or nullptr for a float (which constrains everything).
struct IndentRec {
  int32_t X = 0;
  int32_t YT = 0;
  int32_t YB = 0;
  const void* ID = nullptr;
};

// Open-ended bottom of a block's edge records.
constexpr int32_t IndentOpenBottom = htUnset;

// The tightest X of bands of Y, each band [YT, YB) with an X: the greatest
// X over a Y (for left edges) or the least (for right edges), read in one
// walk from the root of a tree over the whole int32 range (32 steps),
// whatever the number of bands.
class TBandExtremes {
public:
  explicit TBandExtremes(bool Greatest) : FGreatest(Greatest) {}
  void Clear();
  void Add(int32_t YT, int32_t YB, int32_t X);
  // False when no band holds Y.
  bool At(int32_t Y, int32_t& X) const;

private:
  struct Node {
    uint32_t Child[2] = {0, 0};  // 0: none (the root is no one's child)
    int32_t X = 0;
    bool Set = false;
  };
  void take(Node& N, int32_t X) const;
  std::vector<Node> FNodes;  // [0] is the root
  bool FGreatest;
};

// Upper bounds of a value at a set of Ys, kept in a tree over the whole
// int32 range: the least or the greatest Y above a given one whose bound
// reaches a figure, each found in a walk of a few dozen nodes whatever the
// number of Ys.
class TRoomBounds {
public:
  static constexpr int64_t Unknown = INT64_MAX;
  void Clear() { FNodes.clear(); }
  bool Empty() const { return FNodes.empty(); }
  // Y joins the set (or stays) with the bound B.
  void Set(int32_t Y, int64_t B);
  // The least (or with Last, the greatest) Y above After whose bound is
  // at least Min; false when there is none.
  bool Find(int32_t After, int64_t Min, bool Last, int32_t& Y) const;

private:
  struct Node {
    uint32_t Child[2] = {0, 0};  // 0: none (the root is no one's child)
    int64_t Max = INT64_MIN;     // the greatest bound below
  };
  bool find(uint32_t NodeIx, int64_t Lo, int64_t Hi, int64_t From, int64_t Min, bool Last, int32_t& Y) const;
  std::vector<Node> FNodes;  // [0] is the root
};

class TIndentManager : public TObject {
public:
  TIndentManager();
  void Init(int Lf, int Wd);
  void Reset(int Lf);
  int LeftIndent(int Y) const { return leftRaw(Y) + LeftEdge; }
  int RightSide(int Y) const { return rightRaw(Y) + LeftEdge; }
  const IndentRec& AddLeft(int YT, int YB, int W);
  const IndentRec& AddRight(int YT, int YB, int W);
  int SetLeftIndent(int XLeft, int Y);
  int SetRightIndent(int XRight, int Y);
  void FreeLeftIndentRec(int I);
  void FreeRightIndentRec(int I);
  int AlignLeft(int& Y, int W, int SpW, int SpH);
  int AlignRight(int& Y, int W, int SpW, int SpH);
  int GetNextWiderY(int Y) const;
  int ImageBottom() const;
  void GetClearY(int& CL, int& CR) const;
  // Work done beside the floats since Init: records and index entries read
  // by the lookups, and characters the line breaker walked again after
  // placing a float. A page of many floats stays within a bound per float
  // (the tests count it).
  uint64_t Steps() const { return FSteps; }
  void AddSteps(uint64_t N) const { FSteps += N; }

  int32_t LeftEdge = 0;
  int32_t Width = 0;
  // The records in the order they were made; read them, change them only
  // through the calls above (the lookups below index them).
  std::vector<IndentRec> L;
  std::vector<IndentRec> R;
  const void* CurrentID = nullptr;

private:
  using Bottoms = std::multiset<std::pair<int32_t, int32_t>>;  // (YB, X) of floats
  // The floats made after one block record (or before any), by bottom,
  // and what the searches for room below them learnt: at each bottom an
  // upper bound of the room there (see roomAt). Floats added later only
  // narrow the room, so a bound holds until the Width changes or a float
  // stands looser than the edge the block falls back to where none stood
  // (Fallback: that block's left edge when the bounds were made).
  struct Scope {
    Bottoms Floats;
    Bottoms Flat;  // those ending no lower than they start
    TRoomBounds Rooms;  // empty until a search of this scope
    int32_t Width = 0;
    int32_t Fallback = 0;
  };
  // One side's records, indexed: the floats' bands, the block records,
  // and the floats after each block record (Scopes[0]: those before any).
  struct Side {
    explicit Side(bool Left) : Floats(Left) {}
    TBandExtremes Floats;
    std::vector<IndentRec> Blocks;
    std::vector<Scope> Scopes = std::vector<Scope>(1);
    int32_t MaxBottom = 0;
    bool AnyFloat = false;
  };
  int leftRaw(int Y) const;
  int rightRaw(int Y) const;
  // The tightest X over Y of a side's floats and the current block's
  // records (the greatest on the left, the least on the right); false
  // when none holds Y.
  bool tightest(const Side& S, int Y, int32_t& X) const;
  // The newest block record of ID in a side; nullptr when it has none.
  const IndentRec* ownRecord(const Side& S, const void* ID) const;
  // The X of the current block's newest record in a side (Fallback when
  // it has none).
  int ownEdge(const Side& S, int Fallback) const;
  void clearIndexes();
  void rebuildIndexes();
  void addFloat(Side& S, const IndentRec& Rec);
  void addBlock(Side& S, const IndentRec& Rec);
  void freeRec(std::vector<IndentRec>& List, Side& S, int I);
  // A float of X on a side (LeftFloat) is added: the bounds it may widen go.
  void forgetRooms(bool LeftFloat, int32_t X);
  // The scope of a side's floats newer than the current block's newest
  // record, with its bounds made: the side's newest scope when that
  // record is the side's last block record, else one made up in Spare.
  Scope& roomScope(bool LeftSide, int Y, Scope& Spare);
  // The room between the edges at the bottom B of a scope's floats when
  // one of the floats ending there still makes the side's edge just above
  // (NoRoom otherwise).
  int64_t roomAt(bool LeftSide, const Bottoms& Floats, int32_t B) const;
  // The least (or with Last, the greatest) bottom of those floats below Y
  // with a room of at least Min.
  bool findRoom(bool LeftSide, int Y, int64_t Min, bool Last, int& RoomY);
  // The first bottom of those floats at which a box W wide has room and
  // one of the floats ending there still makes the side's edge just above.
  bool firstRoom(bool LeftSide, int Y, int W, int& RoomY) { return findRoom(LeftSide, Y, W, false, RoomY); }
  // The lowest bottom of those floats that still makes its edge there (Y
  // when there is none): where a box goes when no room opens beside them.
  int lowestEdgeBottom(bool LeftSide, int Y) {
    int bottom = Y;
    return findRoom(LeftSide, Y, NoRoom + 1, true, bottom) ? std::max(Y, bottom) : Y;
  }
  static constexpr int64_t NoRoom = INT64_MIN;
  // leftRaw or rightRaw, of the side named.
  int edge(bool LeftSide, int Y) const { return LeftSide ? leftRaw(Y) : rightRaw(Y); }

  Side FLeft{true};
  Side FRight{false};
  std::multiset<int32_t> FFloatBottoms;  // of both sides
  // The least and the greatest Fallback of the scopes whose bounds were
  // made (or of more): a left float no further left than the greatest, or
  // a right float no further right than the least and the Width, widens
  // no room.
  int32_t FLeastFallback = INT32_MAX, FGreatestFallback = INT32_MIN;
  mutable uint64_t FSteps = 0;
};

// Indent managers lent to the table cells of a document while each is laid
// out or drawn: one for each depth of cells nested in cells. A manager
// stays the same object for the pool's life, as blocks keep the one their
// cell was laid out with for their drawing.
class TIndentPool {
public:
  TIndentManager* Borrow() {
    if (FDepth == FManagers.size()) FManagers.push_back(std::make_unique<TIndentManager>());
    return FManagers[FDepth++].get();
  }
  void Return() { --FDepth; }

private:
  std::vector<std::unique_ptr<TIndentManager>> FManagers;
  size_t FDepth = 0;
};
