// The owner-drawn tree: every content question goes to an event with a
// neutral default, so a tree without handlers shows rows without content.
#include "tree/draw_tree.h"

const TTreeClassInfo* TCustomDataDrawTree::ClassInfo() {
  static const TTreeClassInfo info{"TCustomDataDrawTree", TBaseDataTree::ClassInfo()};
  return &info;
}

void TCustomDataDrawTree::PaintNodeCell(TCellPaintInfo& PaintInfo) {
  RaiseEvent(OnDrawNode, this, PaintInfo);
}

// The width, margin and hint size handlers only answer a question about a
// node, asked from the middle of painting, hit testing and measuring that
// go on with the node and its neighbours: nodes they delete go once the
// question is answered and the message loop runs (see TQueryHandlerCall).
int TCustomDataDrawTree::DoGetNodeWidth(PDataNode Node, TColumnIndex Column, TCanvas* Canvas) {
  int width = 2 * TextMargin();
  if (!OnGetNodeWidth) return width;
  TQueryHandlerCall call(*this);
  RaiseEvent(OnGetNodeWidth, this, Canvas ? Canvas : this->Canvas(), Node, Column, width);
  return width;
}

TPoint TCustomDataDrawTree::DoGetCellContentMargin(PDataNode Node, TColumnIndex Column) {
  TPoint margin{0, 0};
  if (!OnGetCellMargin) return margin;
  TQueryHandlerCall call(*this);
  RaiseEvent(OnGetCellMargin, this, Canvas(), Node, Column, ccmtAllSides, margin);
  return margin;
}

void TCustomDataDrawTree::DoGetHintSize(PDataNode Node, TColumnIndex Column, TRect& R) {
  if (!OnGetHintSize) return;
  // Asked by the program (the tree's own hint shows text): an entry.
  GuardedEntry([&] {
    TQueryHandlerCall call(*this);
    RaiseEvent(OnGetHintSize, this, Node, Column, R);
  });
}

void TCustomDataDrawTree::DoDrawHint(TCanvas* Canvas, PDataNode Node, const TRect& R, TColumnIndex Column) {
  // The handler gets its own copy of the rectangle.
  const TRect copy = R;
  GuardedEntry([&] { RaiseEvent(OnDrawHint, this, Canvas, Node, copy, Column); });
}
