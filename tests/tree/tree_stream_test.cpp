// The tree's stream form: round trips of structure, captions, user data,
// check, expanded and selected states and heights; the bytes written; old
// streams; and damaged streams, which are refused with the tree unchanged.
#include <functional>
#include <random>

#include "platform/core/files.h"
#include "platform/gui/forms.h"
#include "tests/tree/tree_stream_util.h"

using namespace std::string_literals;

namespace {

// Three levels with every kept property set somewhere.
void fill(TOwnedTree& t) {
  TDTSelectionOptions sel = t.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  t.TreeOptions().SetSelectionOptions(sel);
  PDataNode a = t.Add(nullptr, "alpha", 1);
  PDataNode a1 = t.Add(a, "alpha one", 11);
  t.Add(a1, "deep", 111);
  t.Add(a, "", 12);  // no caption
  PDataNode b = t.Add(nullptr, "беta 𝄞", 2);
  t.SetNodeHeight(b, 31);
  b->CheckType = ctCheckBox;
  b->CheckState = csCheckedNormal;
  PDataNode b1 = t.Add(b, "b one", 0);
  t.SetVisible(b1, false);
  PDataNode c = t.Add(nullptr, "gamma", 3);
  c->States.Include(vsDisabled);
  t.SetExpanded(a, true);
  t.SetExpanded(a1, true);
  t.SetSelected(a1, true);
  t.SetSelected(b, true);
}

std::string saved(TOwnedTree& t) {
  TMemoryStream m;
  t.SaveToStream(&m);
  return streamBytes(m);
}

std::string le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[std::size_t(i)] = char(v >> (8 * i));
  return s;
}
std::string le16(std::uint16_t v) { return std::string{char(v), char(v >> 8)}; }
std::string header(std::uint16_t version) {
  return le16(0x2045) + le16('V') + le16('T') + le16(version) + le16(' ') + le16(0x2046);
}
std::string chunk(std::uint32_t type, const std::string& body) { return le32(type) + le32(std::uint32_t(body.size())) + body; }
std::string body2(std::int32_t children, std::uint16_t states, std::uint8_t checkState = 0) {
  return le32(std::uint32_t(children)) + le32(18) + le16(states) + std::string{char(50), char(checkState), char(0)} +
         le32(0);
}
std::string node2(std::int32_t children, std::uint16_t states, const std::string& kids = "") {
  return chunk(1, chunk(2, body2(children, states) + kids));
}
constexpr std::uint16_t Plain = 0x81;  // initialised, visible

}  // namespace

TEST(TreeStream, RoundTripKeepsStructureCaptionsDataAndStates) {
  TOwnedTree source;
  fill(source);
  const std::string bytes = saved(source);

  TOwnedTree target;
  TDTSelectionOptions sel = target.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  target.TreeOptions().SetSelectionOptions(sel);
  target.Add(nullptr, "replaced", 99);
  TMemoryStream m;
  setBytes(m, bytes);
  target.LoadFromStream(&m);

  EXPECT_EQ(target.Dump(), source.Dump());
  EXPECT_EQ(target.SelectedCount(), 2u);
  EXPECT_EQ(target.VisibleCount(), source.VisibleCount());
  checkInvariants(target);
  EXPECT_EQ(target.Caption(target.GetFirstSelected()), "alpha one");
  // Saving what was loaded gives the same bytes.
  EXPECT_EQ(saved(target), bytes);
}

TEST(TreeStream, BytesAreWrittenFieldByFieldWithoutTransientStates) {
  TOwnedTree t(false);
  PDataNode n = t.Add(nullptr, "Ab");
  n->States.Include(vsCutOrCopy);
  n->States.Include(vsHeightMeasured);
  const std::string expected = header(2) + le32(1) + chunk(1, chunk(2, body2(0, Plain)) + chunk(3, "A\0b\0"s));
  EXPECT_EQ(saved(t), expected);

  // One node with its subtree: the count is 1.
  PDataNode child = t.Add(n, "c");
  TMemoryStream m;
  t.SaveToStream(&m, n);
  const std::string one = streamBytes(m);
  EXPECT_EQ(one.substr(12, 4), le32(1));
  const std::string childNode = chunk(1, chunk(2, body2(0, Plain)) + chunk(3, "c\0"s));
  EXPECT_NE(one.find(childNode), std::string::npos);
  (void)child;
}

TEST(TreeStream, EmptyTreeAndNodesWithoutDataWriteNoUserChunks) {
  TOwnedTree t;
  EXPECT_EQ(saved(t), header(2) + le32(0));
  TMemoryStream m;
  setBytes(m, saved(t));
  t.Add(nullptr, "x");
  t.LoadFromStream(&m);
  EXPECT_EQ(t.TotalCount(), 0u);

  // Id 0 writes nothing: no empty user data chunk stays behind.
  t.Add(nullptr, "", 0);
  EXPECT_EQ(saved(t), header(2) + le32(1) + node2(0, Plain));
}

TEST(TreeStream, OldVersionsHaveShortBodiesAndRunToTheEnd) {
  // Version 1: no count, 12-byte bodies, "selected" in the top bit of a
  // one-byte state set.
  auto body1 = [](std::int32_t children, std::uint8_t states) {
    return le32(std::uint32_t(children)) + le32(20) + std::string{char(states), char(50), char(2), char(2)};
  };
  const std::string child = chunk(1, chunk(2, body1(0, 0x01)));
  const std::string stream = header(1) + chunk(1, chunk(2, body1(1, 0x81) + child)) + chunk(1, chunk(2, body1(0, 0)));
  TOwnedTree t;
  TMemoryStream m;
  setBytes(m, stream);
  t.LoadFromStream(&m);
  ASSERT_EQ(t.RootNodeCount(), 2u);
  PDataNode first = t.RootNode()->FirstChild;
  EXPECT_TRUE(first->States.Contains(vsVisible));
  EXPECT_TRUE(first->States.Contains(vsSelected));
  EXPECT_TRUE(t.Selected(first));
  EXPECT_EQ(first->NodeHeight, 20);
  EXPECT_EQ(first->CheckType, ctCheckBox);
  EXPECT_EQ(first->ChildCount, 1u);
  checkInvariants(t);
}

TEST(TreeStream, HeaderFaultsAreNamed) {
  struct TCase {
    std::string Bytes;
    int HelpContext;
  };
  const std::string fine = header(2) + le32(0);
  std::string wrongBracket = fine;
  wrongBracket[10] = 0x47;
  const TCase cases[] = {{fine.substr(0, 11), 2004}, {wrongBracket, 2002}, {header(3) + le32(0), 2003},
                         {header(2), 2004}};
  for (const TCase& c : cases) {
    TOwnedTree t;
    t.Add(nullptr, "kept");
    TMemoryStream m;
    setBytes(m, c.Bytes);
    try {
      t.LoadFromStream(&m);
      ADD_FAILURE() << "accepted";
    } catch (const EDataTreeError& e) {
      EXPECT_EQ(e.HelpContext(), c.HelpContext);
    }
    EXPECT_EQ(t.Dump(), "kept #0 h18 c0/0 s129\n");
  }
}

// Every kind of damage is refused and the tree stays as it was, with every
// node read before the fault given back to the owner.
TEST(TreeStream, DamagedStreamsAreRefusedAndTheTreeStaysAsItWas) {
  const std::string leaf = node2(0, Plain);
  const std::string damaged[] = {
      header(2) + le32(2) + leaf,                                                   // count above the nodes
      header(2) + le32(1) + node2(2, Plain, leaf),                                  // child count above the children
      header(2) + le32(1) + node2(1, Plain, leaf + leaf),                           // child count below them
      header(2) + le32(1) + node2(-1, Plain),                                       // negative child count
      header(2) + le32(1) + node2(0x7FFFFFFF, Plain, leaf),                         // huge child count
      header(2) + le32(1) + le32(1) + le32(0xFFFFFFF0) + chunk(2, body2(0, Plain)), // negative size
      header(2) + le32(1) + le32(1) + le32(0x7FFFFFFF) + chunk(2, body2(0, Plain)), // huge size
      header(2) + le32(1) + chunk(1, le32(2) + le32(40) + body2(0, Plain)),         // base past the node's end
      header(2) + le32(1) + chunk(1, chunk(2, body2(0, Plain)) + le32(4) + le32(9) + "xy"), // user data past the end
      header(2) + le32(1) + chunk(5, chunk(2, body2(0, Plain))),                    // no node chunk
      header(2) + le32(1) + chunk(1, chunk(2, "short")),                            // base body too short
      header(2) + le32(1) + chunk(1, chunk(2, body2(0, Plain)) + chunk(2, body2(0, Plain))), // two bases
      header(2) + le32(1) + node2(0, Plain | 0x100 | 0x08),                         // selected and disabled
      header(2) + le32(2) + node2(0, Plain | 0x100) + node2(0, Plain | 0x100),     // two selected, single select
      header(2) + le32(1) + chunk(1, chunk(2, body2(0, Plain, 9))),                 // no such check state
      header(2) + le32(0xFFFFFFFF),                                                 // negative count
  };
  int number = 0;
  for (const std::string& bytes : damaged) {
    SCOPED_TRACE("case " + std::to_string(number++));
    TOwnedTree t;
    PDataNode kept = t.Add(nullptr, "kept", 5);
    t.Add(kept, "child", 6);
    t.SetExpanded(kept, true);
    t.SetSelected(kept, true);
    const std::string before = t.Dump();
    TMemoryStream m;
    setBytes(m, bytes);
    EXPECT_THROW(t.LoadFromStream(&m), EDataTreeError);
    EXPECT_EQ(t.Dump(), before);
    EXPECT_EQ(t.SelectedCount(), 1u);
    EXPECT_EQ(t.Captions.size(), 2u) << "nodes read before the fault are freed";
    checkInvariants(t);
  }
}

// Cutting a good stream anywhere, or changing any byte, never crashes or
// leaves a half-loaded tree: the load either succeeds with a consistent
// tree or is refused with the tree unchanged.
TEST(TreeStream, CutOrChangedStreamsNeverLeaveHalfATree) {
  TOwnedTree source;
  fill(source);
  const std::string good = saved(source);
  auto attempt = [](const std::string& bytes) {
    TOwnedTree t;
    TDTSelectionOptions sel = t.TreeOptions().SelectionOptions();
    sel.Include(toMultiSelect);
    t.TreeOptions().SetSelectionOptions(sel);
    t.Add(nullptr, "kept", 5);
    const std::string before = t.Dump();
    TMemoryStream m;
    setBytes(m, bytes);
    try {
      t.LoadFromStream(&m);
    } catch (const EDataTreeError&) {
      EXPECT_EQ(t.Dump(), before);
    } catch (const EReadError&) {
      // The owner's id reader asked for more than its chunk holds.
      EXPECT_EQ(t.Dump(), before);
    }
    checkInvariants(t);
    t.Clear();
    EXPECT_TRUE(t.Captions.empty());
  };
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    TOwnedTree t;
    t.Add(nullptr, "kept", 5);
    TMemoryStream m;
    setBytes(m, good.substr(0, cut));
    EXPECT_ANY_THROW(t.LoadFromStream(&m));
    EXPECT_EQ(t.Dump(), "kept #5 h18 c0/0 s129\n");
  }
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    std::string bytes = good;
    for (int k = 0; k < 3; ++k) bytes[rng() % bytes.size()] = char(rng());
    attempt(bytes);
    if (::testing::Test::HasFailure()) FAIL() << "round " << round;
  }
}

TEST(TreeStream, ReadOnlyTreeLoadsNothing) {
  TOwnedTree source;
  fill(source);
  TOwnedTree t;
  t.Add(nullptr, "kept", 5);
  TDTMiscOptions misc = t.TreeOptions().MiscOptions();
  misc.Include(toReadOnly);
  t.TreeOptions().SetMiscOptions(misc);
  TMemoryStream m;
  setBytes(m, saved(source));
  t.LoadFromStream(&m);
  EXPECT_EQ(t.Dump(), "kept #5 h18 c0/0 s129\n");
  EXPECT_TRUE(t.InsertNodesFromStream(&m, nullptr, amAddChildLast).empty());
  EXPECT_EQ(t.TotalCount(), 1u);
}

TEST(TreeStream, FilesAreReplacedWholeAndMissingFoldersReported) {
  const String folder = CreateTempFolder(u"tree-stream");
  const String file = folder + u"tree.dat";
  TOwnedTree source;
  fill(source);
  source.SaveToFile(file);
  source.SaveToFile(file);  // replaces the file it wrote before
  EXPECT_FALSE(FileExists(file + u".new"));
  TOwnedTree t;
  TDTSelectionOptions sel = t.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  t.TreeOptions().SetSelectionOptions(sel);
  t.LoadFromFile(file);
  EXPECT_EQ(t.Dump(), source.Dump());
  EXPECT_ANY_THROW(source.SaveToFile(folder + u"missing/tree.dat"));
  EXPECT_FALSE(FileExists(folder + u"missing/tree.dat.new"));
  EXPECT_THROW(t.LoadFromFile(folder + u"nothing.dat"), EFOpenError);
  EXPECT_EQ(t.Dump(), source.Dump());
  DeleteFile(file);
  RemoveDir(folder);
}

TEST(TreeStream, InsertedNodesKeepStreamOrderInEveryMode) {
  TOwnedTree source;
  PDataNode x = source.Add(nullptr, "x", 1);
  PDataNode y = source.Add(nullptr, "y", 2);
  source.Add(y, "y1", 21);
  for (TDTNodeAttachMode mode : {amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast}) {
    SCOPED_TRACE(int(mode));
    TMemoryStream m;
    source.WriteNodesToStream(&m, {x, y});
    m.SetPosition(0);
    TOwnedTree t;
    PDataNode p = t.Add(nullptr, "p", 7);
    t.Add(p, "p1", 71);
    PDataNode q = t.Add(nullptr, "q", 8);
    std::vector<PDataNode> got = t.InsertNodesFromStream(&m, p, mode);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(t.Caption(got[0]), "x");
    EXPECT_EQ(got[0]->NextSibling, got[1]);
    EXPECT_EQ(t.Caption(got[1]->FirstChild), "y1");
    EXPECT_EQ(t.Id(got[1]->FirstChild), 21);
    checkInvariants(t);
    (void)q;
  }
}

TEST(TreeStream, LoadHandlerThatDeletesNodesCannotBreakTheLoad) {
  TOwnedTree source;
  fill(source);
  TOwnedTree t;
  PDataNode victim = t.Add(nullptr, "victim", 5);
  const std::string before = t.Dump();
  auto idReader = t.OnLoadNode;
  t.OnLoadNode = [&](TBaseDataTree* s, PDataNode n, TStream* st) {
    idReader(s, n, st);
    t.DeleteNode(victim);
  };
  TMemoryStream m;
  setBytes(m, saved(source));
  EXPECT_ANY_THROW(t.LoadFromStream(&m));
  EXPECT_EQ(t.Dump(), before);
  checkInvariants(t);
}

TEST(TreeStream, DeepNestingReadsAndWritesWithoutRecursion) {
  // A chain of nodes, each the only child of the one before; sizes are
  // known from the depth left below each level.
  const int depth = 5000;
  std::string bytes = header(2) + le32(1);
  for (int level = 0; level < depth; ++level) {
    const std::uint32_t total = std::uint32_t(33 * (depth - level));
    bytes += le32(1) + le32(total - 8) + le32(2) + le32(total - 16) + body2(level + 1 < depth ? 1 : 0, level + 1 < depth ? Plain | 0x60 : Plain);
  }
  TOwnedTree t(false);
  TMemoryStream m;
  setBytes(m, bytes);
  t.LoadFromStream(&m);
  EXPECT_EQ(t.TotalCount(), std::uint32_t(depth));
  EXPECT_EQ(t.VisibleCount(), std::uint32_t(depth));
  EXPECT_EQ(saved(t), bytes);
}

TEST(TreeStream, InsertReturnsOnlyNodesThatOutliveTheClosingHandlers) {
  TOwnedTree source;
  PDataNode x = source.Add(nullptr, "x", 1);
  PDataNode y = source.Add(nullptr, "y", 2);
  TMemoryStream m;
  source.WriteNodesToStream(&m, {x, y});
  m.SetPosition(0);
  TOwnedTree t;
  t.Add(nullptr, "p", 7);
  // The owner deletes the first arrival when the tree's update ends.
  t.OnUpdating = [&](TBaseDataTree*, TDTUpdateState State) {
    if (State == usEnd && t.RootNode()->LastChild != t.RootNode()->FirstChild)
      t.DeleteNode(t.RootNode()->FirstChild->NextSibling);
  };
  std::vector<PDataNode> got = t.InsertNodesFromStream(&m, nullptr, amAddChildLast);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(t.Caption(got[0]), "y");
  checkInvariants(t);
}

// A deletion asked for by a question's handler waits for the message loop;
// a walk whose handler runs the loop (a progress display) holds the nodes,
// and the deletion goes once the walk is over, neither inside it nor never.
TEST(TreeStream, AWaitingDeletionWaitsForAWalkWhoseHandlerRunsTheMessageLoop) {
  const std::function<void(TOwnedTree&, TOwnedTree&)> walks[] = {
      [](TOwnedTree& t, TOwnedTree&) { TMemoryStream s; t.SaveToStream(&s); },
      [](TOwnedTree& t, TOwnedTree&) { t.SortTree(NoColumn, sdDescending, false); },
      [](TOwnedTree& t, TOwnedTree& o) { t.CopyTo(t.GetFirst(), o.GetFirst(), amAddChildLast, false); },
      [](TOwnedTree& t, TOwnedTree& o) { t.MoveTo(t.GetFirst(), o.GetFirst(), amAddChildLast, false); }};
  for (const auto& walk : walks) {
    SCOPED_TRACE(&walk - walks);
    TOwnedTree tree, other;
    other.Add(nullptr, "there");
    for (int id = 1; id <= 3; ++id) tree.Add(nullptr, "row", id);
    tree.OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType, String&) { t->DeleteNode(n); };
    (void)tree.Text(tree.GetLast(), NoColumn);
    tree.OnGetText = nullptr;
    tree.OnSaveNode = [](TBaseDataTree*, PDataNode, TStream*) { Application->ProcessMessages(); };
    tree.OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& result) {
      result = tree.Id(a) - tree.Id(b);
      Application->ProcessMessages();
    };
    EXPECT_NO_THROW(walk(tree, other));
    EXPECT_EQ(tree.PendingDeletionCount(), 1u) << "carried out (or lost) inside the walk";
    for (int i = 0; i < 100 && tree.PendingDeletionCount() > 0; ++i) Application->HandleMessage();
    EXPECT_EQ(tree.Dump().find("#3"), std::string::npos) << "the row stays";
    checkInvariants(tree);
  }
}
