#pragma once
// A data tree whose owner draws every cell: the tree lays out rows, lines,
// buttons, check boxes and images, and hands each cell's content to the
// node drawing event.
#include <functional>

#include "tree/base_tree.h"

enum TDTCellContentMarginType : std::uint8_t { ccmtAllSides, ccmtTopLeftOnly, ccmtBottomRightOnly };

class TCustomDataDrawTree;
using TDTDrawNodeEvent = std::function<void(TBaseDataTree* Sender, const TCellPaintInfo& PaintInfo)>;
using TDTGetCellMarginEvent =
    std::function<void(TBaseDataTree* Sender, TCanvas* HintCanvas, PDataNode Node, TColumnIndex Column,
                       TDTCellContentMarginType CellContentMarginType, TPoint& CellContentMargin)>;
using TDTGetNodeWidthEvent = std::function<void(TBaseDataTree* Sender, TCanvas* HintCanvas, PDataNode Node,
                                                TColumnIndex Column, int& NodeWidth)>;
using TDTGetHintSizeEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, TRect& R)>;
using TDTDrawHintEvent = std::function<void(TBaseDataTree* Sender, TCanvas* HintCanvas, PDataNode Node,
                                            const TRect& R, TColumnIndex Column)>;

class TCustomDataDrawTree : public TBaseDataTree {
public:
  using TBaseDataTree::TBaseDataTree;
  static const TTreeClassInfo* ClassInfo();
  const TTreeClassInfo* TreeClass() const override { return ClassInfo(); }

  TDTDrawNodeEvent OnDrawNode;
  TDTGetCellMarginEvent OnGetCellMargin;
  TDTGetNodeWidthEvent OnGetNodeWidth;
  TDTGetHintSizeEvent OnGetHintSize;
  TDTDrawHintEvent OnDrawHint;

  int DoGetNodeWidth(PDataNode Node, TColumnIndex Column, TCanvas* Canvas) override;
  TPoint DoGetCellContentMargin(PDataNode Node, TColumnIndex Column) override;
  // The size a hint for the cell needs; the rectangle comes in as a proposal.
  virtual void DoGetHintSize(PDataNode Node, TColumnIndex Column, TRect& R);
  virtual void DoDrawHint(TCanvas* Canvas, PDataNode Node, const TRect& R, TColumnIndex Column);

protected:
  void PaintNodeCell(TCellPaintInfo& PaintInfo) override;
};

class TDataDrawTree : public TCustomDataDrawTree {
public:
  using TCustomDataDrawTree::TCustomDataDrawTree;
};
