// Table layout: the grid with its spans, column widths from the cells'
// minimum and maximum widths and the width asked for, row heights, and the
// placement of every cell.
#include <algorithm>
#include <cstdint>
#include <cmath>
#include <utility>

#include "html/layout/width_arrays.h"
#include "html/model/document.h"
#include "html/images/image_object.h"
#include "html/model/indent_manager.h"
#include "html/model/table.h"
#include "html/model/viewer_base.h"
#include "platform/graphics/bitmap.h"

namespace {

int clampInt(int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Rounding multiply-then-divide in 64 bits; a zero divisor gives 0.
int64_t mulDiv64(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  const long double r = (long double)a * b / c;
  return int64_t(std::llround(r));
}

// Splits Amount over the columns Cols (ascending) in proportion to Weights
// (same order): walking from the highest index, each gets its rounded
// cumulative share less what was handed out; the lowest index takes the
// exact remainder. Weights summing to 0 or less give equal shares.
std::vector<int64_t> shares(int64_t amount, const std::vector<int64_t>& weights) {
  const size_t n = weights.size();
  std::vector<int64_t> out(n, 0);
  if (n == 0) return out;
  int64_t total = 0;
  for (int64_t w : weights) total += std::max<int64_t>(w, 0);
  const bool equal = total <= 0;
  if (equal) total = int64_t(n);
  int64_t cum = 0, handed = 0;
  for (size_t k = n; k-- > 1;) {
    cum += equal ? 1 : std::max<int64_t>(weights[k], 0);
    const int64_t part = mulDiv64(amount, cum, total) - handed;
    out[k] = part;
    handed += part;
  }
  out[0] = amount - handed;
  return out;
}

std::unique_ptr<TCellObj> dummyCell(ThtDocument* doc, int rowSpan, const THtmlTable& t) {
  auto c = std::make_unique<TCellObj>(doc, AMiddle, nullptr, nullptr);
  c->ColSpan = 0;
  c->RowSpan = rowSpan;
  if (t.BkGnd) c->SetBackground(t.BkColor);
  return c;
}

struct CellRef {
  int Span;
  int Row;
  int Col;
  TCellObj* Cell;
};

}  // namespace

namespace {

// Every grid slot a span covers is a dummy cell. A few bytes of COLSPAN and
// ROWSPAN can ask for millions of them, so the slots are held to a budget
// proportional to the cells that exist: any page then needs memory in
// proportion to its size.
size_t gridBudget(size_t realCells) { return 16384 + 8 * realCells; }

}  // namespace

void THtmlTable::clampSpans() {
  const int rowCount = Rows.Count();
  // The grid slots each cell covers; walked again for each step of the
  // search below rather than kept in a list as long as the table.
  auto forEachArea = [&](auto&& Fn) {
    for (int r = 0; r < rowCount; ++r)
      for (int c = 0; c < Rows[r]->Count(); ++c) {
        TCellObj* cell = Rows[r]->Items(c);
        if (!cell) continue;
        uint64_t rs = uint64_t(std::clamp(int(cell->RowSpan), 1, rowCount - r));
        Fn(uint64_t(std::max(int(cell->ColSpan), 1)) * rs);
      }
  };
  uint64_t total = 0, largest = 0;
  size_t cells = 0;
  forEachArea([&](uint64_t a) {
    ++cells;
    total += a;
    largest = std::max(largest, a);
  });
  const uint64_t budget = gridBudget(cells);
  if (total <= budget) return;
  // The largest area every cell may keep so that the areas fit the budget.
  uint64_t lo = 1, hi = largest;
  while (lo < hi) {
    uint64_t mid = lo + (hi - lo + 1) / 2, sum = 0;
    forEachArea([&](uint64_t a) { sum += std::min(a, mid); });
    if (sum <= budget) lo = mid;
    else hi = mid - 1;
  }
  const int cap = int(std::min<uint64_t>(lo, uint64_t(INT32_MAX)));
  for (int r = 0; r < rowCount; ++r)
    for (int c = 0; c < Rows[r]->Count(); ++c) {
      TCellObj* cell = Rows[r]->Items(c);
      if (!cell) continue;
      int cs = std::max(int(cell->ColSpan), 1), rs = std::clamp(int(cell->RowSpan), 1, rowCount - r);
      if (uint64_t(cs) * uint64_t(rs) <= uint64_t(cap)) continue;
      if (cs <= cap) {
        cell->RowSpan = std::max(1, cap / cs);
      } else {
        cell->ColSpan = cap;
        cell->RowSpan = 1;
      }
    }
}

bool THtmlTable::normaliseGrid(size_t limit) {
  const int rowCount = Rows.Count();
  size_t dummies = 0;
  auto dummy = [&](int rowSpan) {
    ++dummies;
    return dummyCell(Document, rowSpan, *this);
  };
  for (int r = 0; r < rowCount; ++r) {
    TCellList* row = Rows[r];
    // A slot the reader left empty is a dummy.
    for (int c = 0; c < row->Count(); ++c)
      if (!row->Items(c)) {
        row->TFreeList<TCellObj>::Delete(c);
        row->TFreeList<TCellObj>::Insert(c, dummy(0));
      }
    row->PassBackgroundToCells();
    for (int c = row->Count() - 1; c >= 0; --c) {
      TCellObj* cell = row->Items(c);
      if (cell->ColSpan == 0) continue;
      cell->InitFromTable(CellPadding, row->BkImage(), BorderWidth >= 1, row->APRec());
      if (!cell->BkGnd() && BkGnd) cell->SetBackground(BkColor);
      cell->RowSpan = std::min(int(cell->RowSpan), rowCount - r);
      for (int k = 1; k < cell->ColSpan; ++k) row->TFreeList<TCellObj>::Insert(c + 1, dummy(cell->RowSpan > 1 ? cell->RowSpan : 1));
      if (dummies > limit) return false;
    }
  }
  auto widest = [&] {
    int n = 0;
    for (int r = 0; r < rowCount; ++r) n = std::max(n, Rows[r]->Count());
    return n;
  };
  // Rows below a cell that spans rows get dummies in its columns; the
  // column count is read again on every step, since rows grow as we go.
  for (int c = 0; c < widest(); ++c)
    for (int r = 0; r < rowCount; ++r) {
      TCellList* row = Rows[r];
      if (c >= row->Count()) continue;
      TCellObj* cell = row->Items(c);
      cell->RowSpan = std::min(int(cell->RowSpan), rowCount - r);
      if (cell->RowSpan <= 1) continue;
      for (int k = 1; k < cell->RowSpan; ++k) {
        TCellList* next = Rows[r + k];
        while (next->Count() < c) next->TFreeList<TCellObj>::Add(dummy(0));
        next->TFreeList<TCellObj>::Insert(c, dummy(0));
        if (dummies > limit) return false;
      }
    }
  return true;
}

void THtmlTable::Initialize() {
  if (Initialized) return;
  const int rowCount = Rows.Count();
  clampSpans();
  size_t realCells = 0;
  for (int r = 0; r < rowCount; ++r) realCells += size_t(Rows[r]->Count());
  if (!normaliseGrid(2 * gridBudget(realCells))) {
    // Row spans that start far to the right of short rows pad every row
    // below them: give up the row spans, keep the cells as they were read.
    for (int r = 0; r < rowCount; ++r) {
      TCellList* row = Rows[r];
      for (int c = row->Count() - 1; c >= 0; --c)
        if (!row->Items(c) || row->Items(c)->ColSpan == 0) row->TFreeList<TCellObj>::Delete(c);
      for (int c = 0; c < row->Count(); ++c) row->Items(c)->RowSpan = 1;
    }
    normaliseGrid(SIZE_MAX);
  }
  NumCols = 0;
  for (int r = 0; r < rowCount; ++r) NumCols = std::max(NumCols, Rows[r]->Count());
  for (int r = 0; r < rowCount; ++r) {
    TCellList* row = Rows[r];
    for (int c = 0; c < row->Count(); ++c) {
      TCellObj* cell = row->Items(c);
      cell->ColSpan = std::min(int(cell->ColSpan), NumCols - c);
      cell->RowSpan = std::min(int(cell->RowSpan), rowCount - r);
    }
  }
  const size_t n = size_t(NumCols);
  Percents.assign(n, 0);
  Multis.assign(n, 0);
  MaxWidths.assign(n, 0);
  MinWidths.assign(n, 0);
  ColumnTypes.assign(n, wtNone);
  Widths.assign(n, 0);
  Initialized = true;
}

void THtmlTable::GetMinMaxWidths(TCanvas* Canvas) {
  const int cycle = Document ? Document->LayoutCycle : -2;
  if (MinMaxCycle == cycle && int(MinWidths.size()) == NumCols) return;
  MinMaxCycle = cycle;
  const size_t n = size_t(NumCols);
  MinWidths.assign(n, 0);
  MaxWidths.assign(n, 0);
  Percents.assign(n, 0);
  Multis.assign(n, 0);
  ColumnTypes.assign(n, wtNone);
  int weighted = 0;
  if (ColSpecs)
    for (int c = 0; c < std::min(NumCols, ColSpecs->Count()); ++c) {
      const TWidthSpec& w = ColSpecs->Items(c)->ColWidth;
      ColumnTypes[size_t(c)] = w.VType;
      switch (w.VType) {
        case wtAbsolute: MinWidths[size_t(c)] = MaxWidths[size_t(c)] = w.Value; break;
        case wtPercent: Percents[size_t(c)] = w.Value; break;
        case wtRelative: Multis[size_t(c)] = w.Value; break;
        default: break;
      }
    }

  auto promote = [&](int c, TWidthType k) {
    TWidthType& t = ColumnTypes[size_t(c)];
    if (k == wtAbsolute) t = wtAbsolute;
    else if (k == wtPercent && t != wtAbsolute) t = wtPercent;
    else if (k == wtRelative && t == wtNone) t = wtRelative;
  };
  auto colsOf = [&](TWidthType k, int f, int l) {
    std::vector<int> cols;
    for (int c = f; c <= l; ++c)
      if (ColumnTypes[size_t(c)] == k) cols.push_back(c);
    return cols;
  };
  // Adds the excess over the current sum to the columns of a kind, in
  // proportion to Weights (equal shares when they sum to 0): columns only
  // grow, so no column drops below what its own cells need.
  auto addExcess = [&](IntArray& arr, const std::vector<int>& cols, int64_t excess, const std::vector<int64_t>& weights) {
    if (excess <= 0 || cols.empty()) return;
    const auto part = shares(excess, weights.size() == cols.size() ? weights : std::vector<int64_t>(cols.size(), 1));
    for (size_t k = 0; k < cols.size(); ++k) arr[size_t(cols[k])] = clampInt(arr[size_t(cols[k])] + part[k]);
  };
  auto reDivide = [&](IntArray& arr, const std::vector<int>& cols, int64_t total) {
    // Re-divides the relative columns' widths by weight; existing widths count.
    long double ratio = 0;
    int64_t weightSum = 0;
    std::vector<int> weightedCols;
    for (int c : cols) {
      const int32_t w = Multis[size_t(c)];
      if (w > 0) {
        ratio = std::max(ratio, (long double)arr[size_t(c)] / w);
        weightSum += w;
        weightedCols.push_back(c);
      } else {
        total -= arr[size_t(c)];
      }
    }
    if (weightSum <= 0) {
      addExcess(arr, cols, total - SumOfType(wtRelative, ColumnTypes, arr, cols.front(), cols.back()), {});
      return;
    }
    ratio = std::max(ratio, (long double)total / weightSum);
    total = std::min<int64_t>(total, std::llround(weightSum * ratio));
    int64_t cum = 0, handed = 0;
    for (size_t k = weightedCols.size(); k-- > 1;) {
      cum += Multis[size_t(weightedCols[k])];
      const int64_t part = std::llround(cum * ratio) - handed;
      arr[size_t(weightedCols[k])] = clampInt(part);
      handed += part;
    }
    arr[size_t(weightedCols[0])] = clampInt(total - handed);
  };

  auto visit = [&](const CellRef& ref) {
    TCellObj* cell = ref.Cell;
    int mn = 0, mx = 0;
    cell->MinMaxWidth(Canvas, mn, mx);
    int64_t cmin = mn, cmax = mx;
    if (cell->Wd().VType == wtAbsolute) {
      cmin = std::max<int64_t>(cmin, cell->Wd().Value);
      cmax = std::max<int64_t>(cmax, cell->Wd().Value);
    }
    const int p = cell->Wd().VType == wtPercent ? cell->Wd().Value : 0;
    cmin += CellSpacing + cell->HzSpace();
    cmax += CellSpacing + cell->HzSpace();
    const int c = ref.Col;
    if (ref.Span == 1) {
      MinWidths[size_t(c)] = clampInt(std::max<int64_t>(MinWidths[size_t(c)], cmin));
      MaxWidths[size_t(c)] = clampInt(std::max<int64_t>(MaxWidths[size_t(c)], cmax));
      Percents[size_t(c)] = std::max(Percents[size_t(c)], p);
      promote(c, cell->Wd().VType);
      return;
    }
    const int l = c + ref.Span - 1;
    const int64_t curMin = SumOfInteger(MinWidths, c, l), curMax = SumOfInteger(MaxWidths, c, l);
    if (!(cmin > curMin || cmax > curMax)) return;
    TIntegerPerWidthType counts;
    CountWidthTypes(counts, ColumnTypes, c, l);
    auto spreadEvenly = [&](TWidthType k) {
      const auto cols = colsOf(k, c, l);
      addExcess(MinWidths, cols, cmin - curMin, {});
      addExcess(MaxWidths, cols, cmax - curMax, {});
    };
    auto spreadBySpread = [&](TWidthType k) {
      const auto cols = colsOf(k, c, l);
      std::vector<int64_t> d;
      for (int col : cols) d.push_back(int64_t(MaxWidths[size_t(col)]) - MinWidths[size_t(col)]);
      addExcess(MinWidths, cols, cmin - curMin, d);
      addExcess(MaxWidths, cols, cmax - curMax, d);
    };
    if (p > 0) {
      const int s = SumOfType(wtPercent, ColumnTypes, Percents, c, l);
      if (p < s) return;
      if (counts[wtNone] > 0) {
        const auto cols = colsOf(wtNone, c, l);
        const auto eq = shares(p - s, std::vector<int64_t>(cols.size(), 1));
        for (size_t k = 0; k < cols.size(); ++k) Percents[size_t(cols[k])] = clampInt(eq[k]);
        for (int col = c; col <= l; ++col) ColumnTypes[size_t(col)] = wtPercent;
        return;
      }
    } else if (counts[wtNone] > 0) {
      spreadEvenly(wtNone);
      return;
    }
    if (counts[wtRelative] > 0) {
      const auto cols = colsOf(wtRelative, c, l);
      const int64_t w3 = SumOfType(wtRelative, ColumnTypes, Multis, c, l);
      if (w3 > 0) {
        if (cmin > curMin) reDivide(MinWidths, cols, cmin);
        if (cmax > curMax) reDivide(MaxWidths, cols, cmax);
      } else if (curMax > curMin) {
        spreadBySpread(wtRelative);
      } else {
        spreadEvenly(wtRelative);
      }
    } else if (counts[wtPercent] > 0) {
      if (curMax > curMin) {
        spreadBySpread(wtPercent);
      } else {
        const auto cols = colsOf(wtPercent, c, l);
        std::vector<int64_t> w;
        for (int col : cols) w.push_back(Percents[size_t(col)]);
        addExcess(MinWidths, cols, cmin - curMin, w);
        addExcess(MaxWidths, cols, cmax - curMax, w);
      }
    } else {
      spreadEvenly(wtAbsolute);
    }
  };
  // Every cell once, grouped by how many columns it spans, the narrower
  // spans first and in row order within a span. Cells of one column are
  // nearly all of a table: they are visited straight from the rows, and
  // only the few that span columns are gathered and sorted (a list of every
  // cell would cost a large table more than a tenth of its cells' memory).
  std::vector<CellRef> spanning;
  for (int r = 0; r < Rows.Count(); ++r) {
    TCellList* row = Rows[r];
    for (int c = 0; c < row->Count(); ++c) {
      TCellObj* cell = row->Items(c);
      if (!cell || cell->ColSpan < 1) continue;
      if (cell->ColSpan == 1) visit({1, r, c, cell});
      else spanning.push_back({cell->ColSpan, r, c, cell});
    }
  }
  std::stable_sort(spanning.begin(), spanning.end(), [](const CellRef& a, const CellRef& b) { return a.Span < b.Span; });
  for (const CellRef& ref : spanning) visit(ref);

  // Weighted relative columns share one unit width.
  std::vector<int> rel;
  for (int c = 0; c < NumCols; ++c)
    if (ColumnTypes[size_t(c)] == wtRelative && Multis[size_t(c)] > 0) rel.push_back(c);
  weighted = int(rel.size());
  if (weighted > 0) {
    int64_t weightSum = 0;
    for (int c : rel) weightSum += Multis[size_t(c)];
    for (IntArray* arr : {&MinWidths, &MaxWidths}) {
      int64_t unit = 100;
      for (int c : rel) unit = std::max(unit, mulDiv64((*arr)[size_t(c)], 100, Multis[size_t(c)]));
      const int64_t total = mulDiv64(unit, weightSum, 100);
      int64_t cum = 0, handed = 0;
      for (size_t k = rel.size(); k-- > 1;) {
        cum += Multis[size_t(rel[k])];
        const int64_t part = mulDiv64(cum, unit, 100) - handed;
        (*arr)[size_t(rel[k])] = clampInt(part);
        handed += part;
      }
      (*arr)[size_t(rel[0])] = clampInt(total - handed);
    }
  }
  for (int k = 0; k < 4; ++k) nTypes[k] = 0;
  for (TWidthType t : ColumnTypes) ++nTypes[t];
}

void THtmlTable::FindTableWidth(TCanvas* Canvas, TIndentManager* IMgr, int Y) {
  int64_t target = tblWidthAttr > 0 ? tblWidthAttr : (IMgr ? int64_t(IMgr->RightSide(Y)) - IMgr->LeftIndent(Y) : 0);
  target -= CellSpacing;
  Initialize();
  GetMinMaxWidths(Canvas);
  const int64_t minSum = SumOfInteger(MinWidths, 0, NumCols - 1), maxSum = SumOfInteger(MaxWidths, 0, NumCols - 1);
  Widths.assign(size_t(NumCols), 0);
  if (minSum >= target) {
    Widths = MinWidths;
  } else {
    for (int c = 0; c < NumCols; ++c)
      Widths[size_t(c)] = ColumnTypes[size_t(c)] == wtPercent
                              ? clampInt(std::max<int64_t>(MinWidths[size_t(c)], mulDiv64(target, Percents[size_t(c)], 1000)))
                              : MinWidths[size_t(c)];
    auto fitKind = [&](TWidthType k) {
      std::vector<int> cols;
      for (int c = 0; c < NumCols; ++c)
        if (ColumnTypes[size_t(c)] == k) cols.push_back(c);
      if (cols.empty()) return;
      const int64_t amount = target - SumOfInteger(Widths, 0, NumCols - 1);
      if (amount < 0) {
        // A cut comes out of the room above the columns' minimums only.
        std::vector<int64_t> room;
        int64_t total = 0;
        for (int c : cols) {
          room.push_back(std::max<int64_t>(0, int64_t(Widths[size_t(c)]) - MinWidths[size_t(c)]));
          total += room.back();
        }
        if (total <= 0) return;
        const auto part = shares(-std::min<int64_t>(-amount, total), room);
        for (size_t i = 0; i < cols.size(); ++i) Widths[size_t(cols[i])] = clampInt(Widths[size_t(cols[i])] + part[i]);
        return;
      }
      std::vector<int64_t> d;
      int64_t s = 0;
      for (int c : cols) {
        d.push_back(int64_t(MaxWidths[size_t(c)]) - MinWidths[size_t(c)]);
        s += d.back();
      }
      if (s != 0) {
        const auto part = shares(amount, d);
        for (size_t i = 0; i < cols.size(); ++i) Widths[size_t(cols[i])] = clampInt(Widths[size_t(cols[i])] + part[i]);
        return;
      }
      // Rescale in proportion to the current widths (equal shares from 0).
      std::vector<int64_t> old;
      int64_t oldTotal = 0;
      for (int c : cols) {
        old.push_back(Widths[size_t(c)]);
        oldTotal += old.back();
      }
      const auto part = shares(oldTotal + amount, old);
      for (size_t i = 0; i < cols.size(); ++i) Widths[size_t(cols[i])] = clampInt(part[i]);
    };
    const int64_t sum = SumOfInteger(Widths, 0, NumCols - 1);
    if (sum > target) {
      fitKind(wtPercent);
    } else if (tblWidthAttr == 0 && maxSum <= target) {
      Widths = MaxWidths;
    } else if (sum < target) {
      TIntegerPerWidthType counts;
      CountWidthTypes(counts, ColumnTypes, 0, NumCols - 1);
      if (counts[wtNone] > 0) {
        fitKind(wtNone);
      } else if (counts[wtRelative] > 0) {
        std::vector<int> cols;
        std::vector<int64_t> w;
        int64_t relSum = 0;
        for (int c = 0; c < NumCols; ++c)
          if (ColumnTypes[size_t(c)] == wtRelative) {
            cols.push_back(c);
            w.push_back(Multis[size_t(c)]);
            relSum += Widths[size_t(c)];
          }
        const auto part = shares(target - sum + relSum, w);
        for (size_t i = 0; i < cols.size(); ++i) Widths[size_t(cols[i])] = clampInt(part[i]);
      } else if (counts[wtPercent] > 0) {
        fitKind(wtPercent);
      } else {
        fitKind(wtAbsolute);
      }
    }
  }
  TableWidth = clampInt(int64_t(SumOfInteger(Widths, 0, NumCols - 1)) + CellSpacing);
}

namespace {

// Lays out the cells of one row that span Span rows; returns the content
// height (with paddings and borders) they need.
int layoutRowCells(TCellList* row, TCanvas* canvas, const IntArray& widths, bool& more, bool& hasSpec, int& specH,
                   int rowCount, int avail, int cellSpacing, int span) {
  specH = 0;
  hasSpec = false;
  more = false;
  int h = 0;
  for (int c = 0; c < row->Count(); ++c) {
    TCellObj* cell = row->Items(c);
    if (!cell || cell->ColSpan <= 0) continue;
    cell->Width = SumOfInteger(widths, c, c + cell->ColSpan - 1);
    if (cell->RowSpan == span) {
      int spec = 0;
      if (cell->Ht().VType == wtAbsolute) spec = cell->Ht().Value;
      else if (cell->Ht().VType == wtPercent) spec = int(std::lround(double(cell->Ht().Value) * avail / 1000.0));
      if (spec == 0 && rowCount == 1) spec = avail;
      int sw = 0, curs = 0;
      cell->VSize = cell->DoLogic(canvas, 0, cell->Width - cell->HzSpace() - cellSpacing,
                                        std::max(0, spec - cell->VrSpace()), 0, sw, curs);
      h = std::max(h, cell->VSize + cell->VrSpace());
      if (cell->Ht().VType == wtAbsolute) {
        h = std::max(h, cell->Ht().Value);
        hasSpec = true;
      } else if (cell->Ht().VType == wtPercent) {
        specH = std::max(specH, spec);
        hasSpec = true;
      }
    } else if (cell->RowSpan > span) {
      more = true;
    }
  }
  specH = std::max(specH, h);
  return h;
}

}  // namespace

void THtmlTable::FindRowHeights(TCanvas* Canvas, int AvailHeight) {
  const int rowCount = Rows.Count();
  const int64_t goal = int64_t(AvailHeight) - CellSpacing;
  const int avail = clampInt(std::max<int64_t>(0, goal - int64_t(rowCount) * CellSpacing));
  std::vector<int64_t> desired(size_t(rowCount), 0), specified(size_t(rowCount), 0);
  std::vector<bool> hasSpec(size_t(rowCount), false);
  // The row spans that occur, each handled once, the shortest first. A
  // span longer than the table lays out nothing, so a mark for each row
  // count does (it costs the table's rows, not its cells).
  std::vector<bool> spanOccurs(size_t(rowCount) + 1, false);
  for (int r = 0; r < rowCount; ++r)
    for (const auto& cell : *Rows[r])
      if (cell && cell->ColSpan > 0 && cell->RowSpan >= 1 && cell->RowSpan <= rowCount)
        spanOccurs[size_t(cell->RowSpan)] = true;
  for (int span = 1; span <= rowCount; ++span) {
    if (span > 1 && !spanOccurs[size_t(span)]) continue;
    for (int i = 0; i + span <= rowCount; ++i) {
      bool more = false, flag = false;
      int specH = 0;
      const int h = layoutRowCells(Rows[i], Canvas, Widths, more, flag, specH, rowCount, avail, CellSpacing, span);
      const int64_t hh = int64_t(h) + CellSpacing, sh = int64_t(specH) + CellSpacing;
      if (span == 1) {
        desired[size_t(i)] = hh;
        specified[size_t(i)] = sh;
        if (flag) hasSpec[size_t(i)] = true;
      } else if (h > 0) {
        int64_t sumD = 0, sumS = 0;
        for (int k = i; k < i + span; ++k) {
          sumD += desired[size_t(k)];
          sumS += specified[size_t(k)];
          if (flag) hasSpec[size_t(k)] = true;
        }
        if (hh > sumD) {
          const int64_t add = (hh - sumD) / span;
          for (int k = i; k < i + span; ++k) desired[size_t(k)] += add;
          desired[size_t(i + span - 1)] += (hh - sumD) - add * span;
        }
        if (sh > sumS) {
          const int64_t add = (sh - sumS) / span;
          for (int k = i; k < i + span; ++k) specified[size_t(k)] += add;
          specified[size_t(i + span - 1)] += (sh - sumS) - add * span;
        }
      }
    }
  }
  int64_t sumD = 0, sumS = 0;
  int free = 0;
  for (int r = 0; r < rowCount; ++r) {
    sumD += desired[size_t(r)];
    sumS += specified[size_t(r)];
    if (!hasSpec[size_t(r)]) ++free;
  }
  std::vector<int64_t> h(size_t(rowCount), 0);
  auto roundEven = [](long double v) { return int64_t(std::nearbyintl(v)); };
  if (rowCount == 0) {
  } else if (sumD >= goal) {
    h = desired;
  } else if (sumS >= goal) {
    const long double f = (long double)(goal - sumD) / (long double)(sumS - sumD);
    int64_t used = 0;
    for (int r = 0; r < rowCount - 1; ++r) {
      h[size_t(r)] = roundEven((specified[size_t(r)] - desired[size_t(r)]) * f) + desired[size_t(r)];
      used += h[size_t(r)];
    }
    h[size_t(rowCount - 1)] = goal - used;
  } else if (free == 0) {
    int64_t used = 0;
    for (int r = 0; r < rowCount - 1; ++r) {
      // Specified heights summing to 0 give equal shares.
      h[size_t(r)] = sumS > 0 ? roundEven((long double)specified[size_t(r)] * goal / sumS) : goal / rowCount;
      used += h[size_t(r)];
    }
    h[size_t(rowCount - 1)] = goal - used;
  } else {
    h = specified;
    const int64_t e = (goal - sumS) / free;
    int64_t added = 0;
    int lastFree = -1;
    for (int r = 0; r < rowCount; ++r)
      if (!hasSpec[size_t(r)]) lastFree = r;
    for (int r = 0; r < rowCount; ++r)
      if (!hasSpec[size_t(r)] && r != lastFree) {
        h[size_t(r)] += e;
        added += e;
      }
    if (lastFree >= 0) h[size_t(lastFree)] += goal - sumS - added;
  }
  Heights.assign(size_t(rowCount), 0);
  for (int r = 0; r < rowCount; ++r) Heights[size_t(r)] = clampInt(h[size_t(r)]);
}

int THtmlTable::LayoutRows(TCanvas* Canvas, int Y, int AvailHeight, int& Curs) {
  const int rowCount = Rows.Count();
  const int cycle = Document ? Document->LayoutCycle : -2;
  const bool secondPass = Document && Document->InLogic2 && Document->TableNesting <= 5;
  const bool stale = HeightsCycle != cycle || HeightsWidth != TableWidth || HeightsGoal != AvailHeight;
  if (int(Heights.size()) != rowCount || (secondPass && stale) || (HeightsCycle != cycle)) {
    FindRowHeights(Canvas, AvailHeight);
    HeightsCycle = cycle;
    HeightsWidth = TableWidth;
    HeightsGoal = AvailHeight;
  }
  HeaderHeight = HeaderRowCount = FootHeight = 0;
  FootStartRow = -1;
  FootOffset = 0;
  bool hasBody = false;
  const bool outer = Document && Document->TableNesting == 1;
  const bool savedPass = Document ? Document->InLogic2 : false;
  int y = 0;
  for (int r = 0; r < rowCount; ++r) {
    TCellList* row = Rows[r];
    row->RowHeight = Heights[size_t(r)];
    switch (row->RowType) {
      case 0:
        ++HeaderRowCount;
        HeaderHeight += row->RowHeight;
        break;
      case 2:
        if (FootStartRow < 0) {
          FootStartRow = r;
          FootOffset = y;
        }
        FootHeight += row->RowHeight;
        break;
      default: hasBody = true; break;
    }
    row->RowSpanHeight = 0;
    for (int c = 0; c < row->Count(); ++c) {
      TCellObj* cell = row->Items(c);
      if (!cell) continue;
      cell->Height = SumOfInteger(Heights, r, std::min(rowCount - 1, r + std::max(int(cell->RowSpan), 1) - 1));
      row->RowSpanHeight = std::max(row->RowSpanHeight, cell->Height);
    }
    if (outer) Document->InLogic2 = true;
    if (Document && Document->InLogic2) {
      for (int c = 0; c < row->Count(); ++c) {
        TCellObj* cell = row->Items(c);
        if (!cell || cell->ColSpan <= 0 || cell->RowSpan <= 0) continue;
        const int room = cell->Height - cell->VSize - (cell->VrSpace() + CellSpacing);
        int yIndent = 0;
        if (cell->VAlign() == AMiddle) yIndent = room / 2;
        else if (cell->VAlign() == ABaseline || cell->VAlign() == ABottom) yIndent = room;
        const int top = Y + y + CellSpacing + cell->Paddings()[1] + cell->BorderWidths()[1] + yIndent;
        int sw = 0;
        cell->DoLogic(Canvas, top, cell->Width - cell->HzSpace() - CellSpacing, 0, 0, sw, Curs);
        if (TImageObj* image = cell->BGImage(); image && Document->ImagesOn) {
          image->DrawLogic(Document, Canvas, nullptr, 0, 0);
          cell->BGImageLoaded(image->Image != ErrorBitmap());
        }
      }
    }
    y += row->RowHeight;
  }
  if (outer) Document->InLogic2 = savedPass;
  HasHeaderOrFooter = (HeaderHeight >= 1 || FootHeight >= 1) && hasBody;
  return y + CellSpacing;
}

int THtmlTable::DrawLogic(TCanvas* Canvas, int /*X*/, int Y, int /*XRef*/, int /*YRef*/, int /*AvailWidth*/,
                          int AvailHeight, int /*BlockHeight*/, TIndentManager* IMgr, int& MaxWidth, int& Curs) {
  struct Nesting {
    ThtDocument* D;
    explicit Nesting(ThtDocument* d) : D(d) {
      if (D) ++D->TableNesting;
    }
    ~Nesting() {
      if (D) --D->TableNesting;
    }
  } nesting(Document);
  LayoutTop = BorderTop = ContentY = Y;
  StartPos = Curs;
  *TablePartRec = TTablePartRec{};  // a new layout prints from its start
  // The cells are measured at the top of the page before they are placed:
  // a list item's marker waiting for its first baseline takes the table's
  // bottom (below), not a line of theirs.
  int32_t* receiver = Document ? std::exchange(Document->FirstLineReceiver, nullptr) : nullptr;
  FindTableWidth(Canvas, IMgr, Y);
  Height = LayoutRows(Canvas, Y, AvailHeight, Curs);
  if (Document) Document->FirstLineReceiver = receiver;
  Length = Curs - StartPos;
  MaxWidth = TableWidth;
  PaintHeight = Height;
  OuterBottom = Y + Height;
  PaintBottom = Y + PaintHeight;
  if (Document && Document->FirstLineReceiver && *Document->FirstLineReceiver == 0)
    *Document->FirstLineReceiver = Y + Height;
  return Height;
}

void THtmlTable::MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) {
  Initialize();
  GetMinMaxWidths(Canvas);
  Min = clampInt(std::max<int64_t>(int64_t(SumOfInteger(MinWidths, 0, NumCols - 1)) + CellSpacing, tblWidthAttr));
  Max = clampInt(std::max<int64_t>(int64_t(SumOfInteger(MaxWidths, 0, NumCols - 1)) + CellSpacing, tblWidthAttr));
}
