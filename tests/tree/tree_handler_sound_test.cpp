// Handlers of the exports, of copying and of loading that delete nodes (the
// one they are told about, its parent, the target) and the tree going on
// soundly; and the clipboard's "HTML Format" description at any size.
#include <cstdlib>

#include "platform/core/exception.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/forms.h"
#include "platform/gui/ole.h"
#include "platform/gui/testing.h"
#include "tests/tree/tree_stream_util.h"
#include "tree/export_buffer.h"
#include "tree/globals.h"

namespace {

struct TFamily {
  PDataNode A, A1, A2, B, B1, C, D;
};

TFamily family(TOwnedTree& t) {
  TFamily f;
  f.A = t.Add(nullptr, "a");
  f.A1 = t.Add(f.A, "a1");
  f.A2 = t.Add(f.A, "a2");
  f.B = t.Add(nullptr, "b");
  f.B1 = t.Add(f.B, "b1");
  f.C = t.Add(nullptr, "c");
  f.D = t.Add(nullptr, "d");
  return f;
}

std::size_t count(const std::string& text, const std::string& piece) {
  std::size_t n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
  return n;
}

// Which node a case deletes, when, and what the text export then holds.
struct TExportCase {
  const char* Name;
  bool Before;                               // in OnBeforeNodeExport, else OnAfterNodeExport
  PDataNode TFamily::*AskedAbout;            // the node whose event deletes
  PDataNode TFamily::*Deleted;               // what it deletes
  const char* Text;
  std::size_t Rows;
};

const TExportCase ExportCases[] = {
    {"before, itself", true, &TFamily::B, &TFamily::B, "a\r\n\ta1\r\n\ta2\r\nc\r\nd\r\n", 5},
    {"after, itself", false, &TFamily::B, &TFamily::B, "a\r\n\ta1\r\n\ta2\r\nb\r\nc\r\nd\r\n", 6},
    {"before, its parent", true, &TFamily::A2, &TFamily::A, "a\r\n\ta1\r\nb\r\n\tb1\r\nc\r\nd\r\n", 6},
    {"after, its parent", false, &TFamily::B1, &TFamily::B, "a\r\n\ta1\r\n\ta2\r\nb\r\n\tb1\r\nc\r\nd\r\n", 7},
    {"after, the last", false, &TFamily::D, &TFamily::D, "a\r\n\ta1\r\n\ta2\r\nb\r\n\tb1\r\nc\r\nd\r\n", 7},
};

}  // namespace

TEST(TreeHandlerSound, ExportEventsDeletingNodesLeaveTheRowsAfterThem) {
  for (const TExportCase& c : ExportCases) {
    for (TDTExportType type : {etText, etHTML, etRTF}) {
      SCOPED_TRACE(std::string(c.Name) + " in export " + std::to_string(int(type)));
      TOwnedTree t;
      TFamily f = family(t);
      PDataNode asked = f.*c.AskedAbout;
      PDataNode victim = f.*c.Deleted;
      auto deleteOnce = [&](PDataNode n) {
        if (n == asked && victim) {
          t.DeleteNode(victim);
          victim = nullptr;
        }
      };
      if (c.Before)
        t.OnBeforeNodeExport = [&](TBaseDataTree*, TDTExportType, PDataNode n) {
          deleteOnce(n);
          return true;
        };
      else
        t.OnAfterNodeExport = [&](TBaseDataTree*, TDTExportType, PDataNode n) {
          deleteOnce(n);
          return true;
        };
      if (type == etText) {
        EXPECT_EQ(t.ExportText(tstAll, u'\t'), c.Text);
      } else if (type == etHTML) {
        EXPECT_EQ(count(t.ExportHTML(tstAll), "<tr class=\"default\">"), c.Rows);
      } else {
        EXPECT_EQ(count(t.ExportRTF(tstAll), "\\row"), c.Rows);
      }
      EXPECT_EQ(victim, nullptr) << "the handler ran";
      checkInvariants(t);
    }
  }
}

TEST(TreeHandlerSound, ExportOfSelectedNodesGoesOnAfterADeletedOne) {
  TOwnedTree t;
  TDTSelectionOptions sel = t.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  t.TreeOptions().SetSelectionOptions(sel);
  TFamily f = family(t);
  for (PDataNode n : {f.A1, f.B, f.C, f.D}) t.SetSelected(n, true);
  t.OnBeforeNodeExport = [&](TBaseDataTree*, TDTExportType, PDataNode n) {
    if (n == f.A1) t.DeleteNode(f.A);
    return true;
  };
  EXPECT_EQ(t.ExportText(tstSelected, u'\t'), "b\r\nc\r\nd\r\n");
}

TEST(TreeHandlerSound, CopyingHandlerDeletingTheTargetNamesNoTargetAfterwards) {
  TOwnedTree t;
  PDataNode source = t.Add(nullptr, "s");
  for (const char* c : {"x", "y", "z"}) t.Add(source, c);
  PDataNode target = t.Add(nullptr, "t");
  std::vector<PDataNode> told;
  t.OnNodeCopying = [&](TBaseDataTree*, PDataNode, PDataNode Target, bool& Allowed) {
    told.push_back(Target);
    if (told.size() == 1) t.DeleteNode(target);
    Allowed = true;
  };
  t.CopyTo(source, target, amInsertAfter, true);
  EXPECT_EQ(told, (std::vector<PDataNode>{target, nullptr, nullptr}));
  EXPECT_EQ(t.RootNode()->ChildCount, 4u) << "s and the three copies";
  checkInvariants(t);
}

TEST(TreeHandlerSound, PasteHandlerDeletingTheTargetNamesNoTargetAfterwards) {
  TOwnedTree source, t;
  TDTSelectionOptions sel = source.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  source.TreeOptions().SetSelectionOptions(sel);
  for (const char* c : {"x", "y", "z"}) source.SetSelected(source.Add(nullptr, c), true);
  source.CopyToClipboard();
  t.Add(nullptr, "first");
  PDataNode target = t.Add(nullptr, "t");
  t.SetFocusedNode(target);
  t.SetDefaultPasteMode(amInsertAfter);
  std::vector<PDataNode> told;
  t.OnNodeCopying = [&](TBaseDataTree*, PDataNode, PDataNode Target, bool& Allowed) {
    told.push_back(Target);
    if (told.size() == 1) t.DeleteNode(target);
    Allowed = true;
  };
  EXPECT_TRUE(t.PasteFromClipboard());
  EXPECT_EQ(told, (std::vector<PDataNode>{target, nullptr, nullptr}));
  std::string captions;
  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n)) captions += t.Caption(n);
  EXPECT_EQ(captions, "firstxyz");
  checkInvariants(t);
  Clipboard()->Clear();
}

TEST(TreeHandlerSound, AClearAskedForByALoadHandlerIsNoRefusal) {
  TOwnedTree source;
  source.Add(nullptr, "new", 1);
  TMemoryStream m;
  source.SaveToStream(&m);

  TOwnedTree t;
  TDTSelectionOptions sel = t.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  t.TreeOptions().SetSelectionOptions(sel);
  PDataNode p = t.Add(nullptr, "p", 7);
  PDataNode q = t.Add(p, "q", 8);
  t.SetExpanded(p, true);
  t.SetSelected(p, true);
  t.SetSelected(q, true);
  t.SetFocusedNode(q);
  const std::string before = t.Dump();
  t.OnLoadNode = [&](TBaseDataTree*, PDataNode, TStream*) { t.Clear(); };
  m.SetPosition(0);
  // The walk that reads the nodes is no reason to refuse: the old rows
  // are gone by then and the loaded ones join the tree after the walk.
  t.LoadFromStream(&m);
  for (int i = 0; i < 5; ++i) Application->HandleMessage();
  EXPECT_EQ(t.PendingDeletionCount(), 0u);
  EXPECT_EQ(t.Dump(), "new #0 h18 c0/0 s129\n");
  EXPECT_EQ(t.SelectedCount(), 0u);
  EXPECT_EQ(t.FocusedNode(), nullptr);
  checkInvariants(t);
}

namespace {
// The offsets of an "HTML Format" description, by name.
std::size_t offset(const std::string& description, const std::string& name) {
  const std::size_t at = description.find("\r\n" + name + ":");
  EXPECT_NE(at, std::string::npos) << name;
  return std::size_t(std::strtoull(description.c_str() + at + name.size() + 3, nullptr, 10));
}
}  // namespace

TEST(TreeHandlerSound, HtmlFormatOffsetsAreRightAtAnySize) {
  const std::size_t prefix = 172, suffix = 32;
  for (std::size_t fragment : {std::size_t(0), std::size_t(5000), std::size_t(99999999 - 301), std::size_t(99999999),
                               std::size_t(100000000), std::size_t(12345678901ull)}) {
    SCOPED_TRACE(fragment);
    const std::string d = HtmlFormatDescription(fragment);
    ASSERT_EQ(d.substr(0, 13), "Version:1.0\r\n");
    EXPECT_EQ(offset(d, "StartHTML"), d.size()) << "the page starts right after the description";
    EXPECT_EQ(offset(d, "StartFragment"), d.size() + prefix);
    EXPECT_EQ(offset(d, "EndFragment"), d.size() + prefix + fragment);
    EXPECT_EQ(offset(d, "EndHTML"), d.size() + prefix + fragment + suffix);
    if (d.size() + prefix + fragment + suffix <= 99999999) {
      EXPECT_EQ(d.size(), 97u) << "eight digits while they do";
    }
  }
  // The whole envelope, small: the offsets point at what they name.
  TOwnedTree t;
  t.Add(nullptr, "x");
  const std::string block = t.RenderClipboardFormat(TreeGlobals().CF_HTML, tstAll);
  ASSERT_FALSE(block.empty());
  const std::string text = block.substr(0, block.size() - 1);
  EXPECT_EQ(text.compare(offset(text, "StartHTML"), 9, "<!DOCTYPE"), 0);
  EXPECT_EQ(text.compare(offset(text, "StartFragment") - 20, 20, "<!--StartFragment-->"), 0);
  EXPECT_EQ(text.compare(offset(text, "EndFragment"), 18, "<!--EndFragment-->"), 0);
  EXPECT_EQ(offset(text, "EndHTML"), text.size());
}

TEST(TreeHandlerSound, PasteReadsOnlyTheFormatItTakesFromAnotherProgram) {
  TOwnedTree t;
  t.Add(nullptr, "x");
  // Another program's text: a paste of nodes has no use for it.
  Clipboard()->SetAsText(String(8 << 20, u'w'));
  const std::uint64_t before = ClipboardBytesFetched();
  EXPECT_FALSE(t.PasteFromClipboard());
  EXPECT_EQ(ClipboardBytesFetched(), before) << "nothing read";

  // Its nodes are read once, and only they.
  TOwnedTree other;
  PDataNode y = other.Add(nullptr, "y");
  TMemoryStream m;
  other.WriteNodesToStream(&m, {y});
  std::string block(4, '\0');
  for (int i = 0; i < 4; ++i) block[std::size_t(i)] = char(std::uint32_t(m.Size()) >> (8 * i));
  block += streamBytes(m);
  Clipboard()->Open();
  Clipboard()->Clear();
  Clipboard()->SetAsText(String(8 << 20, u'w'));
  Clipboard()->SetBuffer(TreeGlobals().CF_DATATREE, block.data(), block.size());
  Clipboard()->Close();
  const std::uint64_t start = ClipboardBytesFetched();
  EXPECT_TRUE(t.PasteFromClipboard());
  EXPECT_EQ(ClipboardBytesFetched() - start, block.size());
  EXPECT_EQ(t.RootNode()->ChildCount, 2u);

  // Content read after the clipboard changed would be someone else's.
  std::shared_ptr<IDataObject> object;
  ASSERT_EQ(OleGetClipboard(object), S_OK);
  Clipboard()->SetAsText(u"newer");
  TFormatEtc format;
  format.cfFormat = std::uint16_t(TreeGlobals().CF_DATATREE);
  format.tymed = TYMED_HGLOBAL;
  TStgMedium medium;
  EXPECT_FALSE(SUCCEEDED(object->GetData(format, medium)) && !MediumBytes(medium).empty());
  ReleaseStgMedium(medium);
  Clipboard()->Clear();
}
