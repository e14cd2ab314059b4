// The tree's data object (formats, enumeration, stored data, renderings),
// the registry that names trees in clipboard and drag data, and cut, copy
// and paste within and between trees through the real clipboard.
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/exception.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/forms.h"
#include "platform/gui/messages.h"
#include "tests/tree/tree_stream_util.h"
#include "tree/data_object.h"
#include "tree/globals.h"

namespace {
std::string captions(TOwnedTree& t) {
  std::string out;
  for (PDataNode n = t.GetFirstNoInit(); n; n = t.GetNextNoInit(n))
    out += (out.empty() ? "" : " ") + std::string(t.GetNodeLevel(n), '>') + t.Caption(n);
  return out;
}

void multiSelect(TBaseDataTree& t) {
  TDTSelectionOptions sel = t.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  t.TreeOptions().SetSelectionOptions(sel);
}

TFormatEtc formatOf(std::uint16_t id, std::uint32_t tymed = TYMED_HGLOBAL) {
  TFormatEtc f;
  f.cfFormat = id;
  f.tymed = tymed;
  return f;
}

RawByteString fetch(IDataObject& object, std::uint16_t id, HRESULT* result = nullptr) {
  TStgMedium medium;
  HRESULT r = object.GetData(formatOf(id), medium);
  if (result) *result = r;
  RawByteString bytes = MediumBytes(medium);
  ReleaseStgMedium(medium);
  return bytes;
}

String unicodeText(const RawByteString& bytes) {
  String text(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
  return text.substr(0, text.find(u'\0'));
}

// A data object of nothing but text, as another program offers it.
std::shared_ptr<IDataObject> foreignText(const String& text) {
  Clipboard()->SetAsText(text);
  std::shared_ptr<IDataObject> object;
  EXPECT_EQ(OleGetClipboard(object), S_OK);
  return object;
}
// What another data object keeps and hands out on every request: one
// stream, a few bytes of its own ahead, then the source's selection from
// where it stands.
struct TKeepingObject : TDTDataObject {
  using TDTDataObject::TDTDataObject;
  std::shared_ptr<TMemoryStream> Stream;
  HRESULT GetData(const TFormatEtc& format, TStgMedium& medium) override {
    if (format.cfFormat != TreeGlobals().CF_DATATREE || !(format.tymed & TYMED_ISTREAM)) return DV_E_FORMATETC;
    medium = TStgMedium();
    medium.tymed = TYMED_ISTREAM;
    medium.stm = Stream;
    return S_OK;
  }
};

std::shared_ptr<TKeepingObject> keepingObject(TOwnedTree& source) {
  auto object = std::make_shared<TKeepingObject>(&source, false);
  object->Stream = std::make_shared<TMemoryStream>();
  object->Stream->WriteBuffer("head", 4);
  source.WriteNodesToStream(object->Stream.get(), source.GetSortedSelection(true));
  object->Stream->SetPosition(4);
  return object;
}
}  // namespace

TEST(TreeDataObject, OffersTheStringTreeFormatsInPriorityOrderAndEnumeratesThem) {
  TOwnedTree tree;
  auto object = std::make_shared<TDTDataObject>(&tree, false);
  const TTreeGlobals& g = TreeGlobals();
  std::vector<std::uint16_t> ids;
  for (const TFormatEtc& f : DataObjectFormats(*object)) ids.push_back(f.cfFormat);
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{g.CF_DATATREE, g.CF_HTML, g.CF_RTFNOOBJS, g.CF_RTF, g.CF_CSV,
                                             CF_UNICODETEXT, CF_TEXT, g.CF_DTREFERENCE}));

  std::shared_ptr<IEnumFORMATETC> list;
  ASSERT_EQ(object->EnumFormatEtc(DATADIR_GET, list), S_OK);
  TFormatEtc three[3];
  std::uint32_t fetched = 0;
  EXPECT_EQ(list->Next(3, three, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(three[2].cfFormat, g.CF_RTFNOOBJS);
  EXPECT_EQ(list->Skip(5), S_FALSE) << "a skip that reaches the end leaves the position";
  std::shared_ptr<IEnumFORMATETC> copy;
  list->Clone(copy);
  TFormatEtc one;
  EXPECT_EQ(copy->Next(1, &one, &fetched), S_OK);
  EXPECT_EQ(one.cfFormat, g.CF_RTF) << "the clone goes on where the original stood";
  EXPECT_EQ(list->Skip(4), S_OK);
  EXPECT_EQ(list->Next(3, three, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  list->Reset();
  EXPECT_EQ(list->Next(1, &one, nullptr), S_OK);
  EXPECT_EQ(one.cfFormat, g.CF_DATATREE);
  EXPECT_EQ(object->EnumFormatEtc(DATADIR_SET, list), OLE_S_USEREG);
  EXPECT_EQ(list, nullptr);

  // A base tree renders no text; a tree naming its formats offers only those.
  TBaseDataTree plain(nullptr);
  ids.clear();
  for (const TFormatEtc& f : DataObjectFormats(*std::make_shared<TDTDataObject>(&plain, false)))
    ids.push_back(f.cfFormat);
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{g.CF_DATATREE, g.CF_DTREFERENCE}));
  tree.ClipboardFormats().Add(u"CSV");
  ids.clear();
  for (const TFormatEtc& f : DataObjectFormats(*std::make_shared<TDTDataObject>(&tree, false)))
    ids.push_back(f.cfFormat);
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{g.CF_CSV, g.CF_DTREFERENCE}));
}

TEST(TreeDataObject, QueryAnswersPerMismatchAndStoredDataIsKeptOnce) {
  TOwnedTree tree;
  auto object = std::make_shared<TDTDataObject>(&tree, false);
  const std::uint16_t content = TreeGlobals().CF_DATATREE;
  EXPECT_EQ(object->QueryGetData(formatOf(content, TYMED_ISTREAM)), S_OK);
  EXPECT_EQ(object->QueryGetData(formatOf(content, TYMED_FILE)), DV_E_TYMED);
  TFormatEtc aspect = formatOf(content);
  aspect.dwAspect = 4;
  EXPECT_EQ(object->QueryGetData(aspect), DV_E_DVASPECT);
  TFormatEtc index = formatOf(content);
  index.lindex = 3;
  EXPECT_EQ(object->QueryGetData(index), DV_E_LINDEX);
  EXPECT_EQ(object->QueryGetData(formatOf(0xBEEF)), DV_E_FORMATETC);
  TStgMedium none;
  EXPECT_EQ(object->GetDataHere(formatOf(content), none), E_NOTIMPL);

  // Stored data: a second store of the same format replaces the first.
  const std::uint16_t own = std::uint16_t(RegisterClipboardFormat(u"tamrix test note"));
  const std::size_t offered = object->FormatEtcArray().size();
  for (const char* text : {"first", "second"}) {
    TStgMedium medium;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = GlobalFromBytes(text, std::strlen(text));
    ASSERT_EQ(object->SetData(formatOf(own), medium, false), S_OK);
    ReleaseStgMedium(medium);  // a copy was kept
  }
  EXPECT_EQ(object->FormatEtcArray().size(), offered + 1);
  EXPECT_EQ(fetch(*object, own), "second");
  EXPECT_EQ(fetch(*object, own), "second") << "each reader gets a copy of its own";
}

TEST(TreeDataObject, NoReferenceWhileTheTreeFlushesTheClipboard) {
  struct TFlushingTree : TOwnedTree {
    using TBaseDataTree::DoStateChange;
  } tree;
  auto object = std::make_shared<TDTDataObject>(&tree, true);
  HRESULT result = E_FAIL;
  EXPECT_EQ(fetch(*object, TreeGlobals().CF_DTREFERENCE, &result), TreeReferenceBytes(tree.TreeToken()));
  EXPECT_EQ(result, S_OK);
  tree.DoStateChange({tsClipboardFlushing});
  fetch(*object, TreeGlobals().CF_DTREFERENCE, &result);
  EXPECT_EQ(result, E_FAIL);
  // Going while the tree flushes, the object leaves the tree's cut alone.
  tree.DoStateChange({tsCutPending});
  object.reset();
  EXPECT_TRUE(tree.TreeStates().Contains(tsCutPending));
  tree.DoStateChange({}, {tsClipboardFlushing, tsCutPending});
}

TEST(TreeDataObject, RendersTheSelectionAsNodesAndText) {
  TOwnedTree tree;
  multiSelect(tree);
  PDataNode a = tree.Add(nullptr, "a", 1);
  tree.Add(a, "a1", 11);
  tree.Add(nullptr, "b", 2);
  PDataNode c = tree.Add(nullptr, "в", 3);
  tree.SetSelected(a, true);
  tree.SetSelected(c, true);
  auto object = std::make_shared<TDTDataObject>(&tree, false);
  // As the text export makes it: a line per node, 8-bit text as UTF-8.
  EXPECT_EQ(unicodeText(fetch(*object, CF_UNICODETEXT)), u"a\r\nв\r\n");
  EXPECT_EQ(fetch(*object, CF_TEXT), std::string("a\r\n\xD0\xB2\r\n") + '\0');
  EXPECT_NE(fetch(*object, TreeGlobals().CF_HTML).find("StartFragment"), std::string::npos);

  // The nodes as a memory block: its length, then the nodes with their subtrees.
  RawByteString block = fetch(*object, TreeGlobals().CF_DATATREE);
  ASSERT_GT(block.size(), 4u);
  std::uint32_t length = 0;
  for (int i = 3; i >= 0; --i) length = (length << 8) | std::uint8_t(block[std::size_t(i)]);
  EXPECT_EQ(length, block.size() - 4);
  TOwnedTree other;
  TMemoryStream stream;
  setBytes(stream, block.substr(4));
  other.InsertNodesFromStream(&stream, nullptr, amAddChildLast);
  EXPECT_EQ(captions(other), "a >a1 в");
  EXPECT_EQ(other.Id(other.GetFirst()->FirstChild), 11);
}

TEST(TreeDataObject, TreesAreNamedByTokenAndNeverByAddress) {
  auto tree = std::make_unique<TOwnedTree>();
  TOwnedTree other;
  const RawByteString reference = TreeReferenceBytes(tree->TreeToken());
  EXPECT_EQ(TreeFromReferenceBytes(reference), tree.get());
  EXPECT_EQ(other.GetTreeFromDataObject(std::make_shared<TDTDataObject>(tree.get(), false).get()), tree.get());

  // The same tree number from another process names nothing here.
  RawByteString forged = reference;
  forged[0] = char(forged[0] ^ 0x5A);
  EXPECT_EQ(TreeFromReferenceBytes(forged), nullptr);
  // Nor does the old form: a process id and the tree's address.
  RawByteString old;
  const std::uint32_t pid = 1234;
  old.append(reinterpret_cast<const char*>(&pid), 4);
  const TBaseDataTree* address = tree.get();
  old.append(reinterpret_cast<const char*>(&address), sizeof(address));
  EXPECT_EQ(TreeFromReferenceBytes(old), nullptr);
  EXPECT_EQ(TreeFromReferenceBytes(reference.substr(0, 12)), nullptr);

  // A data object that outlives its tree reaches nothing.
  PDataNode n = tree->Add(nullptr, "gone");
  tree->SetSelected(n, true);
  auto object = std::make_shared<TDTDataObject>(tree.get(), true);
  tree.reset();
  EXPECT_EQ(TreeFromReferenceBytes(reference), nullptr);
  HRESULT result = S_OK;
  EXPECT_TRUE(fetch(*object, CF_UNICODETEXT, &result).empty());
  EXPECT_EQ(result, E_FAIL);
  fetch(*object, TreeGlobals().CF_DTREFERENCE, &result);
  EXPECT_EQ(result, E_FAIL);
  EXPECT_EQ(other.GetTreeFromDataObject(object.get()), nullptr);
  object.reset();  // its end would cancel the cut or copy of a live tree
}

TEST(TreeClipboard, CopyAndPasteWithinATreeThroughTheSystemClipboard) {
  TOwnedTree tree;
  multiSelect(tree);
  PDataNode a = tree.Add(nullptr, "a", 1);
  tree.Add(a, "a1", 11);
  PDataNode b = tree.Add(nullptr, "b", 2);
  tree.SetSelected(a, true);
  tree.CopyToClipboard();
  EXPECT_TRUE(tree.TreeStates().Contains(tsCopyPending));
  EXPECT_TRUE(a->States.Contains(vsCutOrCopy));
  EXPECT_FALSE(b->States.Contains(vsCutOrCopy));
  EXPECT_EQ(Clipboard()->AsText(), u"a\r\n") << "other programs read the text";
  EXPECT_TRUE(ClipboardHoldsTree(&tree));

  tree.SetFocusedNode(b);
  EXPECT_TRUE(tree.PasteFromClipboard());
  EXPECT_EQ(captions(tree), "a >a1 b >a >>a1");
  EXPECT_EQ(tree.Id(b->FirstChild->FirstChild), 11);
  EXPECT_FALSE(b->FirstChild->States.Contains(vsCutOrCopy)) << "the copy is not marked";
  checkInvariants(tree);

  // Messages do the same; a second copy ends the first.
  tree.ClearSelection();
  tree.SetSelected(b, true);
  tree.Perform(WM_COPY, 0, 0);
  EXPECT_FALSE(a->States.Contains(vsCutOrCopy));
  EXPECT_TRUE(b->States.Contains(vsCutOrCopy));
  EXPECT_EQ(Clipboard()->AsText(), u"b\r\n");
  // Someone else takes the clipboard: the marks go.
  Clipboard()->SetAsText(u"elsewhere");
  EXPECT_FALSE(tree.TreeStates().Contains(tsCopyPending));
  EXPECT_FALSE(b->States.Contains(vsCutOrCopy));
  // Text is no tree data: nothing to paste.
  EXPECT_FALSE(tree.PasteFromClipboard());
}

TEST(TreeClipboard, CutAndPasteMovesBetweenTreesOnlyWhatArrives) {
  TOwnedTree source, target;
  multiSelect(source);
  PDataNode a = source.Add(nullptr, "a", 1);
  PDataNode b = source.Add(nullptr, "b", 2);
  PDataNode c = source.Add(nullptr, "c", 3);
  source.Add(c, "c1", 31);
  PDataNode t = target.Add(nullptr, "t", 9);
  for (PDataNode n : {a, b, c}) source.SetSelected(n, true);
  // The owner keeps "b" where it is.
  source.OnNodeMoving = [&](TBaseDataTree*, PDataNode n, PDataNode, bool& allowed) { allowed = n != b; };
  source.CutToClipboard();
  EXPECT_TRUE(source.TreeStates().Contains(tsCutPending));

  target.SetFocusedNode(t);
  target.Perform(WM_PASTE, 0, 0);
  EXPECT_EQ(captions(target), "t >a >c >>c1");
  EXPECT_EQ(captions(source), "b") << "the refused node is not deleted";
  EXPECT_FALSE(source.GetFirst()->States.Contains(vsCutOrCopy));
  EXPECT_FALSE(source.TreeStates().Contains(tsCutPending));
  for (PDataNode n = target.GetFirstNoInit(); n; n = target.GetNextNoInit(n))
    EXPECT_FALSE(n->States.Contains(vsCutOrCopy)) << target.Caption(n);
  EXPECT_EQ(target.Id(t->LastChild->FirstChild), 31);
  checkInvariants(source);
  checkInvariants(target);
}

TEST(TreeClipboard, CutIntoItsOwnSubtreeKeepsTheNode) {
  TOwnedTree tree;
  PDataNode a = tree.Add(nullptr, "a");
  PDataNode a1 = tree.Add(a, "a1");
  tree.Add(nullptr, "b");
  tree.SetSelected(a, true);
  tree.CutToClipboard();
  tree.SetFocusedNode(a1);
  EXPECT_TRUE(tree.PasteFromClipboard());
  EXPECT_EQ(captions(tree), "a >a1 b");
  EXPECT_FALSE(a->States.Contains(vsCutOrCopy));
  EXPECT_FALSE(tree.TreeStates().Contains(tsCutPending));
}

TEST(TreeClipboard, ATreeThatGoesTakesItsContentOffTheClipboard) {
  TOwnedTree target;
  {
    TOwnedTree source;
    PDataNode a = source.Add(nullptr, "gone", 7);
    source.SetSelected(a, true);
    source.CutToClipboard();
    EXPECT_EQ(Clipboard()->AsText(), u"gone\r\n");
  }
  // Nothing is left that would ask the dead tree for its data.
  EXPECT_FALSE(Clipboard()->HasFormat(TreeGlobals().CF_DTREFERENCE));
  EXPECT_FALSE(Clipboard()->HasFormat(TreeGlobals().CF_DATATREE));
  EXPECT_FALSE(target.PasteFromClipboard());
  EXPECT_EQ(captions(target), "");

  // Content another program put there meanwhile stays.
  {
    TOwnedTree source;
    source.SetSelected(source.Add(nullptr, "mine"), true);
    source.CopyToClipboard();
    Clipboard()->SetAsText(u"theirs");
  }
  EXPECT_EQ(Clipboard()->AsText(), u"theirs");
}

TEST(TreeClipboard, DamagedOrForeignDataChangesNothing) {
  TOwnedTree tree;
  tree.Add(nullptr, "x");
  // Tree data from another program whose block claims more than it holds.
  RawByteString block("\xFF\xFF\x00\x00garbage", 11);
  Clipboard()->SetBuffer(TreeGlobals().CF_DATATREE, block.data(), block.size());
  EXPECT_THROW(tree.PasteFromClipboard(), EDataTreeError);
  EXPECT_EQ(captions(tree), "x");
  checkInvariants(tree);

  TBaseDataTree::TFormatArray formats;
  auto text = foreignText(u"just text");
  EXPECT_FALSE(tree.ProcessOLEData(nullptr, text, nullptr, amAddChildLast, false));

  TDTMiscOptions misc = tree.TreeOptions().MiscOptions();
  tree.TreeOptions().SetMiscOptions(misc + TDTMiscOptions{toReadOnly});
  EXPECT_FALSE(tree.PasteFromClipboard());
  tree.TreeOptions().SetMiscOptions(misc);
}

TEST(TreeClipboard, CopyingHandlerMayRefuseOrDeleteWhatArrives) {
  TOwnedTree source, target;
  multiSelect(source);
  for (const char* c : {"a", "b", "c"}) source.SetSelected(source.Add(nullptr, c), true);
  source.CopyToClipboard();
  target.OnNodeCopying = [&](TBaseDataTree*, PDataNode n, PDataNode, bool& allowed) {
    allowed = target.Caption(n) != "b";
    // Another arrival deleted from inside the handler.
    if (target.Caption(n) == "a" && n->NextSibling) target.DeleteNode(n->NextSibling->NextSibling);
  };
  int copied = 0;
  target.OnNodeCopied = [&](TBaseDataTree*, PDataNode) { ++copied; };
  EXPECT_TRUE(target.PasteFromClipboard());
  EXPECT_EQ(captions(target), "a");
  EXPECT_EQ(copied, 1);
  EXPECT_EQ(captions(source), "a b c") << "a copy leaves the source alone";
  checkInvariants(target);
}

TEST(TreeClipboard, AStreamHandedOutEachTimeIsReadWhereItStandsAndLeftThere) {
  TOwnedTree source, target;
  multiSelect(source);
  for (const char* c : {"a", "b"}) source.SetSelected(source.Add(nullptr, c), true);
  auto object = keepingObject(source);
  const std::shared_ptr<TMemoryStream>& kept = object->Stream;
  EXPECT_TRUE(target.ProcessOLEData(nullptr, object, nullptr, amAddChildLast, false));
  EXPECT_EQ(kept->Position(), 4) << "the holder finds its stream as it left it";
  EXPECT_TRUE(target.ProcessOLEData(nullptr, object, nullptr, amAddChildLast, false));
  EXPECT_EQ(captions(target), "a b a b");

  // A stream that fails partway is put back too.
  kept->SetSize(kept->Size() - 3);
  EXPECT_THROW(target.ProcessOLEData(nullptr, object, nullptr, amAddChildLast, false), EDataTreeError);
  EXPECT_EQ(kept->Position(), 4);
  EXPECT_EQ(captions(target), "a b a b");
  checkInvariants(target);
}

// The same stream handed to a paste that runs inside another's load
// handler: the inner paste reads it from where its holder left it, not
// from wherever the outer read stands.
TEST(TreeClipboard, AStreamHandedOutEachTimeReadsWholeForAPasteInsideTheRead) {
  TOwnedTree source, target, other;
  multiSelect(source);
  source.SetSelected(source.Add(nullptr, "a", 1), true);
  source.SetSelected(source.Add(nullptr, "b", 2), true);
  auto object = keepingObject(source);
  const std::shared_ptr<TMemoryStream>& kept = object->Stream;
  auto load = target.OnLoadNode;
  bool once = true;
  target.OnLoadNode = [&](TBaseDataTree* t, PDataNode n, TStream* s) {
    if (once) {
      once = false;
      EXPECT_TRUE(other.ProcessOLEData(nullptr, object, nullptr, amAddChildLast, false));
    }
    load(t, n, s);
  };
  EXPECT_TRUE(target.ProcessOLEData(nullptr, object, nullptr, amAddChildLast, false));
  EXPECT_EQ(captions(other), "a b") << "the inner paste read the stream from the outer read's place";
  EXPECT_EQ(captions(target), "a b");
  EXPECT_EQ(target.Id(target.GetFirst()), 1);
  EXPECT_EQ(target.Id(target.GetLast()), 2);
  EXPECT_EQ(kept->Position(), 4);

  // Left standing beyond its end, it offers nothing and stays there.
  const std::int64_t beyond = kept->Size() + 10;
  kept->SetPosition(beyond);
  target.OnLoadNode = load;
  EXPECT_TRUE(target.ProcessOLEData(nullptr, object, nullptr, amAddChildLast, false));
  EXPECT_EQ(captions(target), "a b");
  EXPECT_EQ(kept->Position(), beyond);
  checkInvariants(target);
  checkInvariants(other);
}

// The paste's load handler empties the clipboard and frees the source: the
// stream handed over stays with the paste until it is read.
TEST(TreeClipboard, APasteWhoseLoadHandlerFreesTheSourceAndEmptiesTheClipboardReadsOn) {
  for (const bool text : {false, true}) {
    auto* source = new TOwnedTree;
    TOwnedTree target;
    multiSelect(*source);
    source->SetSelected(source->Add(nullptr, "a", 1), true);
    source->SetSelected(source->Add(nullptr, "b", 2), true);
    source->CopyToClipboard();
    auto load = target.OnLoadNode;
    target.OnLoadNode = [&](TBaseDataTree* t, PDataNode n, TStream* s) {
      if (source) {
        delete source;
        source = nullptr;
        if (text)
          Clipboard()->SetAsText(u"later");
        else
          Clipboard()->Clear();
      }
      load(t, n, s);
    };
    EXPECT_TRUE(target.PasteFromClipboard());
    EXPECT_EQ(captions(target), "a b");
    EXPECT_EQ(target.Id(target.GetLast()), 2);
    EXPECT_EQ(Clipboard()->AsText(), text ? u"later" : u"");
    checkInvariants(target);
  }
}

// Our data fails while it is rendered: a reader of the clipboard gets no
// data and the application's handler hears of it; a paste hands the failure
// to its caller (once: the handler hears nothing) and changes nothing.
TEST(TreeClipboard, AFailureWhileOurDataIsRenderedIsHeard) {
  const std::pair<const char*, std::function<void()>> failures[] = {
      {"the handler failed", [] { throw std::runtime_error("the handler failed"); }},
      {"std::bad_alloc", [] { throw std::bad_alloc(); }},
      {"Stream read error", [] { TMemoryStream empty; char c; empty.ReadBuffer(&c, 1); }}};
  std::vector<std::string> heard;
  const TExceptionEvent outer = std::exchange(Application->OnException, [&](TObject*, const std::exception& e) {
    heard.push_back(e.what());
  });
  for (const auto& [message, fail] : failures)
    for (const bool paste : {false, true}) {
      SCOPED_TRACE(testing::Message() << message << (paste ? ", paste" : ", read"));
      heard.clear();
      TOwnedTree source, target;
      source.SetSelected(source.Add(nullptr, "a", 1), true);
      source.CopyToClipboard();
      source.OnSaveNode = [&](TBaseDataTree*, PDataNode, TStream*) { fail(); };
      source.OnGetText = [&](TBaseDataTree*, PDataNode, TColumnIndex, TDTTextType, String&) { fail(); };
      std::string failure = "none";
      try {
        EXPECT_EQ(paste ? String(target.PasteFromClipboard() ? u"pasted" : u"") : Clipboard()->AsText(), u"");
      } catch (const std::exception& e) {
        failure = e.what();
      }
      for (int i = 0; i < 100 && heard.size() < (paste ? 0u : 1u); ++i) Application->HandleMessage();
      for (int i = 0; i < 5; ++i) Application->HandleMessage();
      EXPECT_EQ(failure, paste ? message : "none");
      EXPECT_EQ(heard, paste ? std::vector<std::string>{} : std::vector<std::string>{message});
      EXPECT_EQ(captions(target), "");
    }
  Application->OnException = outer;
  Clipboard()->Clear();
}
