// Cut, copy and paste of nodes through the clipboard, and inserting tree
// data that arrives by a paste or a drop.
#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>

#include "platform/core/streams.h"
#include "tree/base_tree.h"
#include "tree/data_object.h"
#include "tree/globals.h"

namespace {
// A "Data Tree Content" memory block: the length of the node data (4 bytes,
// little-endian), then the node data.
RawByteString blockPayload(const RawByteString& block) {
  if (block.size() < 4) return {};
  std::uint32_t length = 0;
  for (int i = 3; i >= 0; --i) length = (length << 8) | std::uint8_t(block[std::size_t(i)]);
  // A length beyond the block (damaged or made-up data) reads what is there;
  // the node reader refuses what does not make whole nodes.
  return block.substr(4, std::min<std::size_t>(length, block.size() - 4));
}

// A stream handed over by a data object, read in place from where its
// holder left it. It keeps a position of its own and puts the holder's back
// after every read, so that whoever else reads the stream meanwhile (a
// handler of this read pasting the same data, the holder itself) finds it
// where it was, and its moves do not disturb this read.
class THandedStream : public TStream {
public:
  explicit THandedStream(TStream& Base) : FBase(Base), FStart(Base.Position()) {}
  std::int64_t Read(void* Buffer, std::int64_t Count) override {
    if (Count <= 0 || FStart < 0 || FPosition >= Size()) return 0;
    if (FBase.Seek(FStart + FPosition, soBeginning) < 0) return 0;
    std::int64_t got;
    try {
      got = FBase.Read(Buffer, Count);
    } catch (...) {
      FBase.Seek(FStart, soBeginning);
      throw;
    }
    FBase.Seek(FStart, soBeginning);
    if (got > 0) FPosition += got;
    return got;
  }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  using TStream::Seek;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
    const std::int64_t target = SeekTarget(Offset, Origin, FPosition, Origin == soEnd ? Size() : 0);
    if (target >= 0) FPosition = target;
    return target;
  }
  // What lies beyond the holder's position; a stream that cannot tell
  // where it stands offers nothing.
  std::int64_t Size() override { return FStart < 0 ? 0 : std::max<std::int64_t>(FBase.Size() - FStart, 0); }

private:
  TStream& FBase;
  std::int64_t FStart;
  std::int64_t FPosition = 0;
};

// Pasted data may nest as deep as its sender likes: one walk, no recursion.
void clearCutOrCopyFlags(PDataNode node) {
  for (PDataNode run = node;;) {
    run->States.Exclude(vsCutOrCopy);
    if (run->FirstChild) {
      run = run->FirstChild;
      continue;
    }
    while (run != node && !run->NextSibling) run = run->Parent;
    if (run == node) return;
    run = run->NextSibling;
  }
}
}  // namespace

void TBaseDataTree::CopyToClipboard() {
  GuardedEntry([&] {
    if (FSelectionCount == 0) return;
    auto dataObject = std::make_shared<TDTDataObject>(this, true);
    // Replacing the clipboard's object ends the cut or copy it stood for,
    // whose state handler may destroy the tree.
    const std::weak_ptr<const bool> life = FLifeToken;
    if (OleSetClipboard(dataObject) != S_OK || life.expired()) return;
    FClipboardCopy = dataObject.get();
    MarkCutCopyNodes();
    DoStateChange({tsCopyPending});
    InvalidateWindow();
  });
}

void TBaseDataTree::CutToClipboard() {
  GuardedEntry([&] {
    if (FSelectionCount == 0 || readOnly()) return;
    auto dataObject = std::make_shared<TDTDataObject>(this, true);
    const std::weak_ptr<const bool> life = FLifeToken;
    if (OleSetClipboard(dataObject) != S_OK || life.expired()) return;
    FClipboardCopy = dataObject.get();
    MarkCutCopyNodes();
    DoStateChange({tsCutPending}, {tsCopyPending});
    InvalidateWindow();
  });
}

bool TBaseDataTree::ReleaseClipboardCopy(const IDataObject* DataObject) {
  if (!DataObject || DataObject != FClipboardCopy) return false;
  FClipboardCopy = nullptr;
  return true;
}

void DropWaitingClipboardCopies(std::uint64_t TreeToken) {
  OleDropWaitingClipboard([TreeToken](const IDataObject& object) {
    const auto* ours = dynamic_cast<const TDTDataObject*>(&object);
    return ours && ours->OwnerToken() == TreeToken;
  });
}

void TBaseDataTree::CancelCutOrCopy() {
  GuardedEntry([&] {
    if (!FStates.Contains(tsCutPending) && !FStates.Contains(tsCopyPending)) return;
    for (PDataNode run = GetFirstNoInit(); run; run = GetNextNoInit(run)) run->States.Exclude(vsCutOrCopy);
    // The clipboard's object ends the cut or copy when it goes, which may be
    // while another failure unwinds: the state handler that destroys the tree
    // then returns here.
    const std::weak_ptr<const bool> life = FLifeToken;
    DoStateChange({}, {tsCutPending, tsCopyPending});
    if (life.expired()) return;
    InvalidateWindow();
  });
}

bool TBaseDataTree::PasteFromClipboard() {
  return GuardedEntry(false, [&]() -> bool {
    if (readOnly()) return false;
    std::shared_ptr<IDataObject> dataObject;
    if (FAILED(OleGetClipboard(dataObject)) || !dataObject) ShowError("Clipboard operation failed.", 2007);
    TBaseDataTree* source = GetTreeFromDataObject(dataObject.get());
    const std::uint64_t sourceToken = source ? source->TreeToken() : 0;
    const bool optimized = source && source->FStates.Contains(tsCutPending);
    const bool result = ProcessOLEData(source, dataObject, FFocusedNode, FDefaultPasteMode, optimized);
    // The cut is over. The nodes that arrived were moved out of the source;
    // what is still marked there did not arrive (refused, or the target lay
    // inside it) and stays where it is.
    source = LiveTree(sourceToken);
    if (optimized && source) source->CancelCutOrCopy();
    return result;
  });
}

bool TBaseDataTree::ProcessOLEData(TBaseDataTree* Source, const std::shared_ptr<IDataObject>& DataObject,
                                   PDataNode TargetNode, TDTNodeAttachMode Mode, bool Optimized) {
  return GuardedEntry(false, [&]() -> bool {
    TFormatEtc format;
    format.cfFormat = TreeGlobals().CF_DATATREE;
    format.tymed = TYMED_ISTREAM | TYMED_HGLOBAL;
    if (readOnly() || !DataObject || !format.cfFormat || DataObject->QueryGetData(format) != S_OK) return false;
    if (!TargetNode) TargetNode = FRoot;
    if (TargetNode == FRoot) {
      if (Mode == amInsertBefore) Mode = amAddChildFirst;
      if (Mode == amInsertAfter) Mode = amAddChildLast;
    }
    bool result = false;
    // Every handler raised below may destroy this tree: the paste then stops
    // at once and touches nothing of it.
    const std::weak_ptr<const bool> life = LifeToken();
    // This tree's own handlers may destroy the source meanwhile.
    const std::uint64_t sourceToken = Source ? Source->TreeToken() : 0;
    BeginUpdate();
    if (life.expired()) return false;
    try {
      if (Source && LiveTree(sourceToken) != Source) {
        // The source went: what it offered went with it.
      } else if (Optimized && Source) {
        // Nodes of this process move: the source's dragged selection, or
        // what it cut.
        std::vector<PDataNode> nodes = Source->FStates.Contains(tsOLEDragging) ? Source->GetSortedSelection(true)
                                                                              : Source->GetSortedCutCopySet(true);
        if (Mode != amInsertBefore && Mode != amAddChildLast) std::reverse(nodes.begin(), nodes.end());
        // Handlers of each move may delete other nodes of the set, or the target.
        std::deque<TNodeWatch> watches;
        for (PDataNode node : nodes) watches.emplace_back(*Source, node);
        TNodeWatch target(*this, TargetNode);
        // Another tree gives its nodes up inside an update bracket of its
        // own: each move's bracket then costs nothing, where ending it would
        // pack the source's selection and recount its rows once per node.
        const bool otherSource = Source != this;
        if (otherSource) {
          Source->BeginUpdate();
          if (life.expired()) {
            // The source's handler destroyed this tree: the source's bracket
            // ends, or the source would never paint again.
            if (LiveTree(sourceToken) == Source) Source->EndUpdate();
            return false;
          }
        }
        const bool bracketed = otherSource && LiveTree(sourceToken) == Source;
        try {
          for (auto& watch : watches) {
            if (life.expired()) break;
            PDataNode node = watch.Node();
            if (!node || !target.Node() || LiveTree(sourceToken) != Source) continue;
            bool inside = false;
            if (Source == this)
              for (PDataNode p = target.Node(); p && p != FRoot; p = p->Parent)
                if (p == node) {
                  inside = true;
                  break;
                }
            if (inside) continue;
            Source->MoveTo(node, target.Node(), Mode, false);
          }
        } catch (...) {
          if (bracketed && LiveTree(sourceToken) == Source) Source->EndUpdate();
          throw;
        }
        if (bracketed && LiveTree(sourceToken) == Source) Source->EndUpdate();
        if (life.expired()) return false;
        // Marks travel with the nodes; here they mean nothing.
        if (!FStates.Contains(tsCutPending) && !FStates.Contains(tsCopyPending))
          for (PDataNode run = GetFirstNoInit(); run; run = GetNextNoInit(run)) run->States.Exclude(vsCutOrCopy);
        result = true;
      } else {
        TStgMedium medium;
        RawByteString bytes;
        // A stream handed over is read where it stands (from its position
        // to its end), without copying what may be many megabytes.
        std::shared_ptr<TStream> handed;
        // The source's failure to give its data (its handler's, memory, a
        // stream) is the paste's: it goes on to the caller, once, and the
        // data is not asked for again in another form.
        std::exception_ptr failure;
        format.tymed = TYMED_ISTREAM;
        if (SUCCEEDED(FetchData(*DataObject, format, medium, failure))) {
          if (medium.tymed == TYMED_ISTREAM && medium.stm)
            handed = medium.stm;
          else
            bytes = MediumBytes(medium);
        } else if (!failure) {
          format.tymed = TYMED_HGLOBAL;
          if (SUCCEEDED(FetchData(*DataObject, format, medium, failure))) bytes = blockPayload(MediumBytes(medium));
        }
        if (failure) std::rethrow_exception(failure);
        const bool fetched = medium.tymed != TYMED_NULL;
        ReleaseStgMedium(medium);
        if (fetched) {
          TMemoryStream copied;
          std::optional<THandedStream> view;
          TStream* stream = &copied;
          if (handed) {
            stream = &view.emplace(*handed);
          } else {
            copied.Write(bytes.data(), std::int64_t(bytes.size()));
            copied.SetPosition(0);
          }
          TNodeWatch target(*this, TargetNode);
          std::vector<PDataNode> arrived = InsertNodesFromStream(stream, TargetNode, Mode);
          if (life.expired()) return false;
          if (!arrived.empty()) {
            // Each handler may delete arrivals, their parent or the target;
            // a deleted target is named to the later handlers as none.
            const TListing listing(*this, arrived);
            const bool whole = forEachArrived(arrived.front()->Parent, arrived, listing, [&](PDataNode node) {
              clearCutOrCopyFlags(node);
              const TStepWatch watch(*this, node, raisesOnCopy());
              PDataNode parentTarget = target.Node() == FRoot ? nullptr : target.Node();
              if (!DoNodeCopying(node, parentTarget)) {
                if (!life.expired() && watch.Node()) DeleteNode(node);
                return;
              }
              if (life.expired() || !watch.Node()) return;
              DoNodeCopied(node);
              if (!life.expired() && watch.Node()) StructureChange(node, crNodeCopied);
            });
            if (!whole) return false;
          }
          result = true;
        }
      }
    } catch (...) {
      if (!life.expired()) EndUpdate();
      throw;
    }
    EndUpdate();
    return result && !life.expired();
  });
}

HRESULT TBaseDataTree::RenderOLEData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium, bool ForClipboard) {
  if (FormatEtcIn.cfFormat != TreeGlobals().CF_DATATREE || !FormatEtcIn.cfFormat ||
      !(FormatEtcIn.tymed & (TYMED_ISTREAM | TYMED_HGLOBAL)))
    return DoRenderOLEData(FormatEtcIn, Medium, ForClipboard);
  std::vector<PDataNode> nodes = ForClipboard ? GetSortedCutCopySet(true) : GetSortedSelection(true);
  auto stream = std::make_shared<TMemoryStream>();
  WriteNodesToStream(stream.get(), nodes);
  stream->SetPosition(0);
  Medium = TStgMedium();
  if (FormatEtcIn.tymed & TYMED_ISTREAM) {
    Medium.tymed = TYMED_ISTREAM;
    Medium.stm = stream;
    return S_OK;
  }
  const std::uint32_t length = std::uint32_t(stream->Size());
  RawByteString block(4 + std::size_t(length), '\0');
  for (int i = 0; i < 4; ++i) block[std::size_t(i)] = char((length >> (8 * i)) & 0xFF);
  if (length) std::memcpy(block.data() + 4, stream->Memory(), length);
  Medium.tymed = TYMED_HGLOBAL;
  Medium.hGlobal = GlobalFromBytes(block.data(), block.size());
  return Medium.hGlobal ? S_OK : E_OUTOFMEMORY;
}

void TBaseDataTree::GetNativeClipboardFormats(TFormatEtcArray& Formats) {
  // A tree that names no formats offers every one its class may.
  const std::vector<String>* allowed =
      FClipboardFormats && FClipboardFormats->Count() > 0 ? &FClipboardFormats->List() : nullptr;
  ClipboardFormatList().EnumerateFormats(TreeClass(), Formats, allowed);
  DoGetUserClipboardFormats(Formats);
  // The reference travels too, so that a tree of this program in this
  // process finds the source of the data.
  TFormatEtc reference;
  reference.cfFormat = TreeGlobals().CF_DTREFERENCE;
  if (reference.cfFormat &&
      std::none_of(Formats.begin(), Formats.end(), [&](const TFormatEtc& f) { return f.cfFormat == reference.cfFormat; }))
    Formats.push_back(reference);
}
