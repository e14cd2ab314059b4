// Header and columns: positions, widths, automatic sizing, and header
// streams, which come from files and so are outside input.
#include <cstring>
#include <memory>

#include "platform/core/streams.h"
#include "tests/tree/tree_test_util.h"
#include "tree/header.h"

namespace {
struct TColumnsTree {
  TTestTree Tree{nullptr};
  TDTHeader& H = Tree.Header();
  TDataTreeColumns& C = Tree.Header().Columns();
  explicit TColumnsTree(std::vector<int> widths) {
    Tree.SetBounds(0, 0, 300, 200);
    for (int w : widths) C.Add()->SetWidth(w);
  }
};

std::vector<TColumnIndex> positions(TDataTreeColumns& c) { return c.PositionToIndex(); }

bool isPermutation(std::vector<TColumnIndex> p, int n) {
  std::sort(p.begin(), p.end());
  for (int i = 0; i < n; ++i)
    if (int(p.size()) != n || p[std::size_t(i)] != i) return false;
  return true;
}

void put32(TMemoryStream& s, std::int32_t v) { s.WriteBuffer(&v, 4); }
}  // namespace

TEST(TreeHeader, WithoutColumnsTheTreeIsOneColumn) {
  TTestTree t(nullptr);
  t.SetBounds(0, 0, 250, 100);
  EXPECT_EQ(t.Header().MainColumn(), NoColumn);
  EXPECT_EQ(t.Header().Columns().ColumnFromPosition(TPoint{10, 5}), InvalidColumn);
  int l = -1, r = -1;
  t.Header().Columns().GetColumnBounds(NoColumn, l, r);
  EXPECT_EQ(l, 0);
  EXPECT_EQ(r, t.ClientWidth());
}

TEST(TreeHeader, PositionsStayAPermutationWhateverHappens) {
  TColumnsTree t({40, 50, 60, 70});
  EXPECT_EQ(t.H.MainColumn(), 0);
  t.C[0]->SetPosition(99);  // beyond the end: moves to the last position
  EXPECT_EQ(positions(t.C), (std::vector<TColumnIndex>{1, 2, 3, 0}));
  EXPECT_EQ(t.C[1]->Left(), 0);
  EXPECT_EQ(t.C[0]->Left(), 50 + 60 + 70);
  EXPECT_EQ(t.C.ColumnFromPosition(TPoint{49, 1}, false), 1);
  EXPECT_EQ(t.C.ColumnFromPosition(TPoint{50, 1}, false), 2) << "a column's right edge belongs to the next";
  t.C[3]->SetPosition(0);
  EXPECT_TRUE(isPermutation(positions(t.C), 4));
  // Shrinking the collection keeps the array a permutation of what is left.
  t.C.Delete(2);
  EXPECT_TRUE(isPermutation(positions(t.C), 3));
  t.C.Delete(0);
  EXPECT_TRUE(isPermutation(positions(t.C), 2));
  EXPECT_EQ(t.H.MainColumn(), 0) << "the main column moves to the first remaining one";
  // A hidden column keeps a left equal to the next visible one.
  TColumnsTree h({30, 40, 50});
  h.C[1]->SetOptions(h.C[1]->Options() - TDTColumnOptions{coVisible});
  EXPECT_EQ(h.C[1]->Left(), 30);
  EXPECT_EQ(h.C[2]->Left(), 30);
  EXPECT_EQ(h.C.GetTotalWidth(), 80);
  EXPECT_EQ(h.C.GetNextVisibleColumn(0), 2);
  EXPECT_EQ(h.C.GetPreviousVisibleColumn(2), 0);
}

TEST(TreeHeader, WidthLimitsAndAutoSize) {
  TColumnsTree t({50, 50, 50});
  t.C[0]->SetMinWidth(80);  // above the width: the width follows
  EXPECT_EQ(t.C[0]->Width(), 80);
  t.C[0]->SetMaxWidth(20);  // below the minimum: held at the minimum
  EXPECT_EQ(t.C[0]->MaxWidth(), 80);
  t.C[1]->SetMinWidth(500);
  EXPECT_EQ(t.C[1]->MinWidth(), 500);
  EXPECT_EQ(t.C[1]->Width(), 500);
  t.C[2]->SetMargin(-3);
  EXPECT_EQ(t.C[2]->Margin(), 4);

  TColumnsTree a({50, 60, 70});
  a.Tree.HandleNeeded();
  a.C[2]->SetMaxWidth(120);
  a.H.SetAutoSizeIndex(42);  // no such column: the last one absorbs the rest
  a.H.SetOptions(a.H.Options() + TDTHeaderOptions{hoAutoResize});
  EXPECT_EQ(a.C[2]->Width(), 120) << "never above its maximum";
  a.C[2]->SetMaxWidth(10000);
  a.C.AdjustAutoSize(InvalidColumn, true);
  EXPECT_EQ(a.C.GetTotalWidth(), a.Tree.ClientWidth());
}

TEST(TreeHeader, ResizeColumnsSharesTheChangeAndReportsWhatItApplied) {
  TColumnsTree t({50, 50, 50});
  t.C[1]->SetMaxWidth(55);
  int applied = t.H.ResizeColumns(31, 0, 2);
  EXPECT_EQ(applied, 31);
  EXPECT_EQ(t.C[1]->Width(), 55);
  EXPECT_EQ(t.C[0]->Width() + t.C[2]->Width(), 100 + 26);
  EXPECT_LE(std::abs(t.C[0]->Width() - t.C[2]->Width()), 1) << "the rest goes evenly";
  int shrunk = t.H.ResizeColumns(-1000, 0, 2);
  EXPECT_EQ(t.C[0]->Width(), 10);
  EXPECT_EQ(shrunk, -(181 - 30));
}

TEST(TreeHeader, SpringWithoutSpringColumnsChangesNothing) {
  TColumnsTree t({50, 50});
  t.Tree.HandleNeeded();
  t.H.ResizeSpringColumns();  // remembers the width
  t.Tree.SetBounds(0, 0, 500, 200);
  t.H.ResizeSpringColumns();
  EXPECT_EQ(t.C[0]->Width(), 50);
  EXPECT_EQ(t.C[1]->Width(), 50);
  t.C[1]->SetOptions(t.C[1]->Options() + TDTColumnOptions{coAutoSpring});
  int before = t.Tree.ClientWidth();
  t.Tree.SetBounds(0, 0, 520, 200);
  t.H.ResizeSpringColumns();
  EXPECT_EQ(t.C[1]->Width(), 50 + (t.Tree.ClientWidth() - before));
}

TEST(TreeHeader, StreamsRoundTrip) {
  TColumnsTree t({40, 80, 120});
  t.C[0]->SetText(u"Слово");
  t.C[1]->SetHint(u"hint");
  t.C[2]->SetAlignment(taRightJustify);
  t.C[2]->SetPosition(0);
  t.H.SetSortColumn(1);
  t.H.SetSortDirection(sdDescending);
  TMemoryStream s;
  t.H.SaveToStream(s);
  TColumnsTree u({});
  s.SetPosition(0);
  u.H.LoadFromStream(s);
  EXPECT_TRUE(u.C.Equals(t.C));
  EXPECT_EQ(u.H.SortColumn(), 1);
  EXPECT_EQ(u.H.SortDirection(), sdDescending);
  EXPECT_EQ(s.Position(), s.Size()) << "everything written is read back";
}

TEST(TreeHeader, OldStreamsAreConverted) {
  // No marker: the first value is the column count, read as version -1.
  TMemoryStream s;
  put32(s, 1);
  put32(s, 1);  // text length
  std::uint16_t ch = u'A';
  s.WriteBuffer(&ch, 2);
  put32(s, 0);  // hint
  for (std::int32_t v : {70, 10, 1000, 0, -1, 0, 4, 4, 0}) put32(s, v);
  put32(s, 0x75);  // old option bits 0, 2, 4, 5, 6
  put32(s, 0);     // position array (no default width before version 5)
  for (std::int32_t v : {-1, 0, 17, 0, 0, 0, -11}) put32(s, v);
  put32(s, 0);  // empty font name
  put32(s, 0);
  put32(s, 0);
  s.SetPosition(0);
  TColumnsTree t({});
  t.H.LoadFromStream(s);
  ASSERT_EQ(t.C.Count(), 1);
  EXPECT_EQ(t.C[0]->Text(), u"A");
  EXPECT_EQ(t.C[0]->Width(), 70);
  // Bits 0-3 stay, bits 4-6 move to 5-7; bit 4 (parent colour) is clear.
  EXPECT_EQ(t.C[0]->Options().RawBits(), 0x05u | 0x20u | 0x40u | 0x80u);
  EXPECT_EQ(t.C[0]->Color(), clWindow) << "a version -1 record carries no colour";
}

TEST(TreeHeader, HostileStreamsAreRefusedWithTheTreeError) {
  TColumnsTree good({40, 80});
  TMemoryStream saved;
  good.H.SaveToStream(saved);
  const std::int64_t size = saved.Size();
  auto patched = [&](std::int64_t offset, std::int32_t value) {
    auto s = std::make_unique<TMemoryStream>();
    saved.SetPosition(0);
    s->CopyFrom(&saved, size);
    std::memcpy(static_cast<char*>(s->Memory()) + offset, &value, 4);
    s->SetPosition(0);
    return s;
  };
  auto refuses = [&](std::int64_t offset, std::int32_t value, const char* what) {
    TColumnsTree t({});
    auto s = patched(offset, value);
    EXPECT_THROW(t.H.LoadFromStream(*s), EDataTreeError) << what;
    EXPECT_FALSE(t.H.States().Contains(hsLoading)) << what;
  };
  refuses(4, 99, "unknown version");
  refuses(8, -5, "negative column count");
  refuses(8, 1 << 28, "column count beyond the stream");
  refuses(12, -2, "negative text length");
  refuses(12, 0x7FFFFFFF, "text length beyond the stream");
  // First column record: text "" (4) + hint "" (4) = offsets 12..19; then
  // width, min, max, style at 32.
  refuses(32, 7, "style out of range");
  // The position array follows both records: a repeated index is no permutation.
  const std::int64_t record = 4 + 4 + 4 * 13;
  const std::int64_t positionsAt = 12 + 2 * record;
  refuses(positionsAt + 4, 0, "a column at two positions");
  refuses(positionsAt, 5, "position out of range");
  // Truncated streams fail as reads, never as overreads.
  TColumnsTree t({});
  saved.SetPosition(0);
  TMemoryStream cut;
  cut.CopyFrom(&saved, size - 10);
  cut.SetPosition(0);
  EXPECT_ANY_THROW(t.H.LoadFromStream(cut));
}

TEST(TreeHeader, FocusedColumnAlwaysNamesAColumnThatExists) {
  TColumnsTree t({40, 50, 60, 70});
  t.Tree.SetFocusedColumn(3);
  ASSERT_EQ(t.Tree.FocusedColumn(), 3);
  t.C.Delete(1);
  EXPECT_EQ(t.Tree.FocusedColumn(), 2) << "the focus stays on its column, now one to the left";
  t.C.Delete(2);
  EXPECT_EQ(t.Tree.FocusedColumn(), t.H.MainColumn()) << "its column went: the main column takes it";
  t.Tree.SetFocusedColumn(1);
  t.C.Clear();
  EXPECT_EQ(t.Tree.FocusedColumn(), NoColumn);
  // Values that name no column are refused.
  TColumnsTree u({40, 50});
  u.Tree.SetFocusedColumn(1);
  u.Tree.SetFocusedColumn(7);
  EXPECT_EQ(u.Tree.FocusedColumn(), 1);
  u.Tree.SetFocusedColumn(-5);
  EXPECT_EQ(u.Tree.FocusedColumn(), 1);
  u.Tree.SetFocusedColumn(NoColumn);
  EXPECT_EQ(u.Tree.FocusedColumn(), NoColumn);
}

TEST(TreeHeader, LoadedHeadersNeverKeepIndexesPastTheirColumns) {
  // An old stream carries no main or sort column: those of the five
  // columns before must not outlive them.
  TMemoryStream old;
  put32(old, 1);
  put32(old, 0);  // text
  put32(old, 0);  // hint
  for (std::int32_t v : {70, 10, 1000, 0, -1, 0, 4, 4, 0}) put32(old, v);
  put32(old, 0x75);
  put32(old, 0);  // position array
  for (std::int32_t v : {-1, 0, 17, 0, 0, 0, -11}) put32(old, v);
  put32(old, 0);
  put32(old, 0);
  put32(old, 0);
  auto fiveColumns = [] {
    auto t = std::make_unique<TColumnsTree>(std::vector<int>{10, 20, 30, 40, 50});
    t->H.SetMainColumn(4);
    t->H.SetSortColumn(4);
    t->Tree.SetFocusedColumn(4);
    return t;
  };
  auto t = fiveColumns();
  old.SetPosition(0);
  t->H.LoadFromStream(old);
  ASSERT_EQ(t->C.Count(), 1);
  EXPECT_EQ(t->H.MainColumn(), 0);
  EXPECT_EQ(t->H.SortColumn(), NoColumn);
  EXPECT_EQ(t->Tree.FocusedColumn(), 0);

  // A stream of two columns refused after its columns were read.
  TColumnsTree two({40, 80});
  TMemoryStream saved;
  two.H.SaveToStream(saved);
  const std::int64_t record = 4 + 4 + 4 * 13;
  const std::int64_t styleAt = 12 + 2 * record + 2 * 4 + 4 + 4 * 4;
  std::int32_t bad = 99;
  std::memcpy(static_cast<char*>(saved.Memory()) + styleAt, &bad, 4);
  auto u = fiveColumns();
  saved.SetPosition(0);
  EXPECT_THROW(u->H.LoadFromStream(saved), EDataTreeError);
  EXPECT_LT(u->H.MainColumn(), u->C.Count());
  EXPECT_LT(u->H.SortColumn(), u->C.Count());
  EXPECT_LT(u->Tree.FocusedColumn(), u->C.Count());
}
