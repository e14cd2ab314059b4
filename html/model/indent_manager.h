#pragma once
// The left and right edges that floats and nested blocks impose on the
// lines of a cell while it is laid out from top to bottom.
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
  // What was learnt of a side's newest floats by the last search for room
  // below them: every bottom in [Lo, B) had less room than W. Floats
  // added later only narrow the room, so it holds until the block edges,
  // the current block or the width change.
  struct RoomMemo {
    bool Valid = false;
    uint64_t Epoch = 0;
    int32_t Width = 0;
    const void* ID = nullptr;
    int64_t Lo = 0, B = 0;
    int W = 0;
  };
  // One side's records, indexed: the floats' bands, the block records,
  // and the floats after each block record (Scopes[0]: those before any)
  // by bottom.
  struct Side {
    explicit Side(bool Left) : Floats(Left) {}
    TBandExtremes Floats;
    std::vector<IndentRec> Blocks;
    std::vector<Bottoms> Scopes = std::vector<Bottoms>(1);
    int32_t MaxBottom = 0;
    bool AnyFloat = false;
    RoomMemo Memo;
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
  // The floats of a side newer than the current block's newest record
  // whose bottoms lie below Y, as (bottom, X) by bottom: the side's newest
  // scope when that record is the side's last block record, else made up
  // in Spare.
  const Bottoms& floatsEndingBelow(bool LeftSide, int Y, Bottoms& Spare, bool& Newest) const;
  // The first bottom of those floats at which a box W wide has room and
  // one of the floats ending there still makes the side's edge just above.
  bool firstRoom(bool LeftSide, int Y, int W, int& RoomY);
  // The lowest bottom of those floats that still makes its edge there (Y
  // when there is none): where a box goes when no room opens beside them.
  int lowestEdgeBottom(bool LeftSide, int Y) const;
  // leftRaw or rightRaw, of the side named.
  int edge(bool LeftSide, int Y) const { return LeftSide ? leftRaw(Y) : rightRaw(Y); }

  Side FLeft{true};
  Side FRight{false};
  std::multiset<int32_t> FFloatBottoms;  // of both sides
  uint64_t FEpoch = 0;  // counts changes of block records
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
