#pragma once
// The left and right edges that floats and nested blocks impose on the
// lines of a cell while it is laid out from top to bottom.
#include <cstdint>
#include <memory>
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

class TIndentManager : public TObject {
public:
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

  int32_t LeftEdge = 0;
  int32_t Width = 0;
  std::vector<IndentRec> L;
  std::vector<IndentRec> R;
  const void* CurrentID = nullptr;

private:
  int leftRaw(int Y) const;
  int rightRaw(int Y) const;
  // The float records of one side newer than the current block's own edge
  // record whose bottoms lie below Y, as (bottom, X) sorted by bottom.
  std::vector<std::pair<int32_t, int32_t>> floatsEndingBelow(const std::vector<IndentRec>& List, int Y) const;
  // leftRaw or rightRaw at each of Ys (ascending).
  std::vector<int> rawEdgesAt(bool LeftSide, const std::vector<int>& Ys) const;
  // The floats ending below a Y, with both edges known at their bottoms
  // and just above them: where a float that does not fit may go.
  struct FloatBottoms {
    FloatBottoms(const TIndentManager& M, int Y);
    // leftRaw / rightRaw, at a float's bottom or one above it only.
    int Left(int Y) const { return edge(true, Y); }
    int Right(int Y) const { return edge(false, Y); }
    bool FirstRoom(bool LeftSide, int W, int& RoomY) const;
    int LowestEdgeBottom(bool LeftSide, int Y) const;

  private:
    int edge(bool LeftSide, int Y) const;
    const TIndentManager& Owner;
    std::vector<std::pair<int32_t, int32_t>> Lefts, Rights;
    mutable int Direct = 0;
    mutable std::vector<int> Ys, LeftAt, RightAt;
  };
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
