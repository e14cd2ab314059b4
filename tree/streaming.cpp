// The tree's stream form: a 12-byte header, a count of top-level nodes and a
// node chunk per node. A node chunk holds a base chunk (the node's fields,
// followed by the node chunks of its children) and further chunks (user
// data, the string tree's caption). Every number is little-endian and
// written field by field.
//
// Reading never trusts the stream: every size is checked against the data
// that encloses it, child counts against the children that follow, and
// states against each other. Nodes are built apart from the tree and join
// it only when the whole stream was read, so a refused stream leaves the
// tree exactly as it was. Both directions walk the nodes with an explicit
// stack: a tree (or a forged stream) may nest deeper than the call stack.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/core/files.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "tree/base_tree.h"

namespace {
enum : int { NodeChunk = 1, BaseChunk = 2, CaptionChunk = 3, UserDataChunk = 4 };
constexpr int ChunkHeaderSize = 8;
constexpr int BaseBodySize = 17;        // version 2 and later
constexpr int OldBaseBodySize = 12;     // versions 0 and 1
constexpr std::uint16_t HeaderOpen = 0x2045;
constexpr std::uint16_t HeaderClose = 0x2046;

// States that describe what the tree is doing right now, not the node.
constexpr TDataNodeStates::Bits NotWritten =
    nodeMask(vsChecking, vsCutOrCopy, vsDeleting, vsUserDataPointer, vsHeightMeasured);
// Read states that only last for one call of the tree.
constexpr TDataNodeStates::Bits NotRead = NotWritten | nodeMask(vsClearing, vsToggling);

const char* const MsgNotEnoughData = "Unable to load tree structure, not enough data available.";
const char* const MsgWrongFormat = "Unable to load tree structure, the format is wrong.";
const char* const MsgUnknownVersion = "Unable to load tree structure, the version is unknown.";
const char* const MsgAnchorMissing = "Stream data corrupt. A node's anchor chunk is missing.";
const char* const MsgDataAfterEnd = "Stream data corrupt. Unexpected data after node's end position.";
const char* const MsgBadChunkSize = "Stream data corrupt. A chunk's size is negative or reaches past its end.";
const char* const MsgChildCount = "Stream data corrupt. A node's child count does not match the children written.";
const char* const MsgNodeCount = "Stream data corrupt. The node count does not match the nodes written.";
const char* const MsgBadStates = "Stream data corrupt. A node's states contradict each other.";
const char* const MsgSelection =
    "Stream data corrupt. More than one node is selected in a tree without multiple selection.";
const char* const MsgTooBig = "The tree is too big for the stream format.";

[[noreturn]] void corrupt(const char* message) { ShowError(message, message == MsgAnchorMissing ? 2005 : 2006); }

void putU16(unsigned char* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
void putU32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
std::uint16_t getU16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t getU32(const unsigned char* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

void writeU32(TStream* Stream, std::uint32_t Value) {
  unsigned char b[4];
  putU32(b, Value);
  Stream->WriteBuffer(b, 4);
}

void writeChunkHeader(TStream* Stream, int Type, std::uint32_t Size) {
  unsigned char b[ChunkHeaderSize];
  putU32(b, std::uint32_t(Type));
  putU32(b + 4, Size);
  Stream->WriteBuffer(b, ChunkHeaderSize);
}

// Writes the size of the chunk whose header starts at HeaderPos: everything
// from after the header to the current position.
void fixChunkSize(TStream* Stream, std::int64_t HeaderPos) {
  const std::int64_t end = Stream->Position();
  const std::int64_t size = end - HeaderPos - ChunkHeaderSize;
  if (size > INT32_MAX) ShowError(MsgTooBig, 2006);
  Stream->Seek(HeaderPos + 4, soBeginning);
  writeU32(Stream, std::uint32_t(size));
  Stream->Seek(end, soBeginning);
}

// Reads a chunk header that must fit before Limit, with a size that keeps
// the chunk before Limit too.
void readChunkHeader(TStream* Stream, std::int64_t Limit, int& Type, std::int32_t& Size) {
  const std::int64_t pos = Stream->Position();
  unsigned char b[ChunkHeaderSize];
  if (pos + ChunkHeaderSize > Limit || Stream->Read(b, ChunkHeaderSize) != ChunkHeaderSize) corrupt(MsgBadChunkSize);
  Type = std::int32_t(getU32(b));
  Size = std::int32_t(getU32(b + 4));
  if (Size < 0 || pos + ChunkHeaderSize + Size > Limit) corrupt(MsgBadChunkSize);
}

// A read-only window on a chunk of another stream: what an owner's load
// handler gets, so that it cannot read into the chunks that follow.
class TChunkStream : public TStream {
public:
  TChunkStream(TStream* Base, std::int64_t Start, std::int64_t Size) : FBase(Base), FStart(Start), FSize(Size) {}
  std::int64_t Read(void* Buffer, std::int64_t Count) override {
    if (Count <= 0 || FPosition >= FSize) return 0;
    if (Count > FSize - FPosition) Count = FSize - FPosition;
    FBase->Seek(FStart + FPosition, soBeginning);
    const std::int64_t got = FBase->Read(Buffer, Count);
    if (got > 0) FPosition += got;
    return got;
  }
  std::int64_t Write(const void*, std::int64_t) override {
    throw EStreamError("Can't write to a read-only resource stream");
  }
  using TStream::Seek;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
    std::int64_t target = Origin == soBeginning ? Offset : Origin == soCurrent ? FPosition + Offset : FSize + Offset;
    if (target < 0) return -1;
    FPosition = target;
    return FPosition;
  }
  std::int64_t Size() override { return FSize; }
  void SetSize(std::int64_t) override { throw EStreamError("Can't write to a read-only resource stream"); }
  // True when the handler read or moved at all.
  bool Touched() const { return FPosition != 0; }

private:
  TStream* FBase;
  std::int64_t FStart;
  std::int64_t FSize;
  std::int64_t FPosition = 0;
};
}  // namespace

// What one read collects besides the nodes.
struct TBaseDataTree::TStreamReadState {
  // Nodes the stream marks selected; they join the selection (or not) when
  // the nodes join the tree.
  std::vector<PDataNode> Selected;
};

TBaseDataTree::TIterationGuard::TIterationGuard(TBaseDataTree& T)
    : Tree(T), Life(T.FLifeToken), Was(T.FStates.Contains(tsIterating)) {
  Tree.FStates.Include(tsIterating);
}

TBaseDataTree::TIterationGuard::~TIterationGuard() {
  if (Was || Life.expired()) return;
  Tree.FStates.Exclude(tsIterating);
  // Deletions that came to wait for the loop while the walk held the nodes
  // go when it next runs.
  Tree.postDeferredDeletions();
}

// ---- writing ------------------------------------------------------------------------

void TBaseDataTree::WriteStreamNode(TStream* Stream, PDataNode Node) {
  struct TOpen {
    PDataNode Node;
    std::int64_t NodePos;
    std::int64_t BasePos;
    PDataNode NextChild;
    std::uint32_t Written;
  };
  std::vector<TOpen> open;
  const bool initOnSave = FOptions->MiscOptions().Contains(toInitOnSave);
  // The owner's handlers may destroy the tree: the writing stops there.
  const TLifeHold life = lifeHold();
  auto begin = [&](PDataNode n) {
    if (initOnSave) {
      if (!n->States.Contains(vsInitialized)) InitNode(n);
      if (life.expired()) return false;
      if (n->States.Contains(vsHasChildren) && n->ChildCount == 0) InitChildren(n);
      if (life.expired()) return false;
    }
    const std::int64_t nodePos = Stream->Position();
    writeChunkHeader(Stream, NodeChunk, 0);
    const std::int64_t basePos = Stream->Position();
    writeChunkHeader(Stream, BaseChunk, 0);
    unsigned char b[BaseBodySize];
    putU32(b, n->ChildCount);  // fixed below to the children really written
    putU32(b + 4, n->NodeHeight);
    putU16(b + 8, std::uint16_t(n->States.RawBits() & ~NotWritten));
    b[10] = n->Align;
    b[11] = n->CheckState;
    b[12] = n->CheckType;
    putU32(b + 13, 0);
    Stream->WriteBuffer(b, BaseBodySize);
    open.push_back({n, nodePos, basePos, n->FirstChild, 0});
    return true;
  };
  if (!begin(Node)) return;
  while (!open.empty()) {
    TOpen& top = open.back();
    if (PDataNode child = top.NextChild) {
      top.NextChild = child->NextSibling;
      ++top.Written;
      if (!begin(child)) return;
      continue;
    }
    const TOpen done = top;
    open.pop_back();
    if (done.Written != done.Node->ChildCount) {
      const std::int64_t end = Stream->Position();
      Stream->Seek(done.BasePos + ChunkHeaderSize, soBeginning);
      writeU32(Stream, done.Written);
      Stream->Seek(end, soBeginning);
    }
    fixChunkSize(Stream, done.BasePos);
    WriteNodeChunks(Stream, done.Node);
    if (life.expired()) return;
    fixChunkSize(Stream, done.NodePos);
  }
}

void TBaseDataTree::WriteNodeChunks(TStream* Stream, PDataNode Node) {
  if (!OnSaveNode) return;
  const std::int64_t start = Stream->Position();
  writeChunkHeader(Stream, UserDataChunk, 0);
  const std::weak_ptr<const bool> life = FLifeToken;
  if (!RaiseEvent(OnSaveNode, this, Node, Stream) || life.expired()) return;
  const std::int64_t end = Stream->Position();
  if (end < start + ChunkHeaderSize) ShowError("The node data handler moved back before its own data.", 0);
  if (end == start + ChunkHeaderSize) {
    // Nothing to keep: take the empty chunk back (the stream only shrinks
    // when the chunk was its end, never cutting what follows).
    const bool atEnd = Stream->Size() == start + ChunkHeaderSize;
    Stream->Seek(start, soBeginning);
    if (atEnd) Stream->SetSize(start);
    return;
  }
  fixChunkSize(Stream, start);
}

void TBaseDataTree::WriteNodesToStream(TStream* Stream, const std::vector<PDataNode>& Nodes) {
  GuardedEntry([&] {
    TIterationGuard guard(*this);
    for (PDataNode node : Nodes) {
      if (!node || node == FRoot) continue;
      TAMRIX_ASSERT(TreeFromNode(node) == this, "The tree must contain the nodes it writes.");
      WriteStreamNode(Stream, node);
      if (guard.TreeGone()) return;
    }
  });
}

void TBaseDataTree::SaveToStream(TStream* Stream, PDataNode Node) {
  GuardedEntry([&] {
    if (Node == FRoot) Node = nullptr;
    if (Node) TAMRIX_ASSERT(TreeFromNode(Node) == this, "The tree must contain the nodes it writes.");
    unsigned char header[12];
    const std::uint16_t units[6] = {HeaderOpen, u'V', u'T', std::uint16_t(TreeStreamVersion), u' ', HeaderClose};
    for (int i = 0; i < 6; ++i) putU16(header + 2 * i, units[i]);
    Stream->WriteBuffer(header, sizeof header);
    const std::int64_t countPos = Stream->Position();
    writeU32(Stream, Node ? 1 : FRoot->ChildCount);
    TIterationGuard guard(*this);
    if (Node) {
      WriteStreamNode(Stream, Node);
      return;
    }
    std::uint32_t written = 0;
    for (PDataNode run = FRoot->FirstChild; run; run = run->NextSibling, ++written) {
      WriteStreamNode(Stream, run);
      if (guard.TreeGone()) return;
    }
    if (written != FRoot->ChildCount) {
      const std::int64_t end = Stream->Position();
      Stream->Seek(countPos, soBeginning);
      writeU32(Stream, written);
      Stream->Seek(end, soBeginning);
    }
  });
}

void TBaseDataTree::SaveToFile(const String& FileName) {
  GuardedEntry([&] {
    TMemoryStream data;
    SaveToStream(&data);
    const String temp = FileName + u".new";
    try {
      TFileStream file(temp, fmCreate);
      data.SaveToStream(&file);
      if (::fsync(file.Handle()) != 0) throw EWriteError(u"Cannot write file \"" + temp + u"\". " + SysErrorMessage(errno));
    } catch (...) {
      DeleteFile(temp);
      throw;
    }
    if (std::rename(UTF16ToUTF8(temp).c_str(), UTF16ToUTF8(FileName).c_str()) != 0) {
      const int error = errno;
      DeleteFile(temp);
      throw EFCreateError(u"Cannot create file \"" + ExpandFileName(FileName) + u"\". " + SysErrorMessage(error), error);
    }
  });
}

// ---- reading ------------------------------------------------------------------------

void TBaseDataTree::QueryNodeDataSize(int& Size) {
  Size = 0;
  RaiseEvent(OnGetNodeDataSize, this, Size);
}

bool TBaseDataTree::ReadStreamChunk(TStream* Stream, int Version, PDataNode Node, int ChunkType, int ChunkSize) {
  (void)Version;
  const std::int64_t start = Stream->Position();
  if (ChunkType != UserDataChunk) {
    Stream->Seek(start + ChunkSize, soBeginning);
    return false;
  }
  if (ChunkSize <= 0) return true;
  bool consumed = false;
  if (OnLoadNode) {
    TChunkStream chunk(Stream, start, ChunkSize);
    RaiseEvent(OnLoadNode, this, Node, &chunk);
    consumed = chunk.Touched();
  }
  Stream->Seek(start + ChunkSize, soBeginning);
  return consumed;
}

void TBaseDataTree::ReadStreamNode(TStream* Stream, int Version, PDataNode Node) {
  TStreamReadState local;
  TStreamReadState& state = FReadState ? *FReadState : local;
  const int bodySize = Version >= 2 ? BaseBodySize : OldBaseBodySize;

  struct TFrame {
    PDataNode Node;
    std::int64_t NodeEnd;
    std::int64_t BaseEnd;  // -1 outside the base chunk
    std::uint32_t ChildrenLeft;
    bool BaseSeen;
  };
  std::vector<TFrame> open;
  auto openNode = [&](PDataNode n, std::int64_t limit) {
    int type;
    std::int32_t size;
    readChunkHeader(Stream, limit, type, size);
    if (type != NodeChunk) corrupt(MsgAnchorMissing);
    open.push_back({n, Stream->Position() + size, -1, 0, false});
  };
  // Fills a node from its base body; returns its child count.
  auto readBody = [&](PDataNode n, std::int32_t chunkSize) -> std::uint32_t {
    if (chunkSize < bodySize) corrupt(MsgBadChunkSize);
    unsigned char b[BaseBodySize];
    if (Stream->Read(b, bodySize) != bodySize) corrupt(MsgBadChunkSize);
    const std::int32_t childCount = std::int32_t(getU32(b));
    const std::uint32_t height = getU32(b + 4);
    std::uint16_t states;
    int at;
    if (Version >= 2) {
      states = getU16(b + 8);
      at = 10;
    } else {
      // The old one-byte set kept "selected" where "visible" is now; every
      // node of those streams is visible.
      states = std::uint16_t((b[8] & 0x7F) | nodeMask(vsVisible) | ((b[8] & 0x80) ? nodeMask(vsSelected) : 0));
      at = 9;
    }
    const std::uint8_t align = b[at], checkState = b[at + 1], checkType = b[at + 2];
    if (childCount < 0) corrupt(MsgChildCount);
    if (height > 0xFFFF || checkState > csMixedPressed || checkType > ctButton) corrupt(MsgBadStates);
    TDataNodeStates s = TDataNodeStates::FromBits(std::uint16_t(states & ~NotRead));
    // The tree never selects a disabled node.
    if (s.Contains(vsSelected) && s.Contains(vsDisabled)) corrupt(MsgBadStates);
    if (s.Contains(vsSelected)) {
      s.Exclude(vsSelected);
      state.Selected.push_back(n);
    }
    if (childCount > 0) s.Include(vsHasChildren);
    n->States = s;
    n->NodeHeight = std::uint16_t(height);
    n->TotalHeight = height;
    n->Align = align;
    n->CheckState = TCheckState(checkState);
    n->CheckType = TCheckType(checkType);
    return std::uint32_t(childCount);
  };

  openNode(Node, Stream->Size());
  while (!open.empty()) {
    TFrame& f = open.back();
    const std::int64_t pos = Stream->Position();
    if (f.ChildrenLeft > 0) {
      // Every child needs a chunk of its own inside the base chunk.
      if (pos >= f.BaseEnd) corrupt(MsgChildCount);
      --f.ChildrenLeft;
      PDataNode parent = f.Node;
      const std::int64_t limit = f.BaseEnd;
      PDataNode child = MakeNewNode();
      SetAppendedIndex(parent, child);
      child->Parent = parent;
      child->PrevSibling = parent->LastChild;
      if (parent->LastChild)
        parent->LastChild->NextSibling = child;
      else
        parent->FirstChild = child;
      parent->LastChild = child;
      ++parent->ChildCount;
      openNode(child, limit);
      continue;
    }
    if (f.BaseEnd >= 0) {
      // More in the base chunk than its children: the count was too low.
      if (pos != f.BaseEnd) corrupt(MsgChildCount);
      f.BaseEnd = -1;
    }
    if (pos >= f.NodeEnd) {
      if (pos != f.NodeEnd) corrupt(MsgDataAfterEnd);
      // Whether all children are hidden follows from the children read.
      if (f.Node->FirstChild) DetermineHiddenChildrenFlag(f.Node);
      open.pop_back();
      continue;
    }
    int type;
    std::int32_t size;
    readChunkHeader(Stream, f.NodeEnd, type, size);
    const std::int64_t start = Stream->Position();
    if (type == BaseChunk) {
      if (f.BaseSeen) corrupt(MsgBadStates);
      f.BaseSeen = true;
      f.BaseEnd = start + size;
      f.ChildrenLeft = readBody(f.Node, size);
      // A child is linked (visible, at the end) before its states are read;
      // the node at the bottom of the stack is not linked yet.
      if (open.size() > 1 && !f.Node->States.Contains(vsVisible)) hiddenRunsJoin(f.Node);
      continue;
    }
    PDataNode node = f.Node;
    // Chunk readers hand the node to the owner, who may keep something in
    // it from now on: the owner is asked to free it, initialised or not.
    node->Reserved |= nrUserDataHandedOut;
    const TLifeHold life = lifeHold();
    ReadStreamChunk(Stream, Version, node, type, size);
    // The reader's handler may have destroyed the tree, and the nodes
    // read so far with it.
    if (life.expired()) return;
    // A chunk reader may read less or more than its chunk; the next chunk
    // starts where this one ends.
    Stream->Seek(start + size, soBeginning);
  }
}

std::vector<PDataNode> TBaseDataTree::readDetachedNodes(TStream* Stream, int Version, std::int64_t Count,
                                                        PDataNode Parent, TStreamReadState& State) {
  std::vector<PDataNode> nodes;
  TStreamReadState* outer = FReadState;
  FReadState = &State;
  TIterationGuard guard(*this);
  try {
    while (Count != 0) {
      if (Stream->Position() >= Stream->Size()) {
        if (Count > 0) corrupt(MsgNodeCount);
        break;
      }
      PDataNode node = MakeNewNode();
      // Handlers may ask for the tree and the level of the node: it hangs
      // below its future parent without being one of its children yet.
      node->Parent = Parent;
      nodes.push_back(node);
      ReadStreamNode(Stream, Version, node);
      if (guard.TreeGone()) return {};
      FixupTotalCount(node);
      FixupTotalHeight(node);
      if (Count > 0) --Count;
    }
  } catch (...) {
    // A handler that destroyed the tree took the nodes with it.
    if (guard.TreeGone()) throw;
    FReadState = outer;
    freeDetached(nodes);
    throw;
  }
  FReadState = outer;
  return nodes;
}

void TBaseDataTree::freeDetached(PDataNode Node) {
  // Children go before their parent; the notes of their runs go before
  // any of them (a new node may get a freed one's address).
  auto descend = [this](PDataNode n) {
    while (n->FirstChild) {
      forgetHiddenRuns(n);
      n = n->FirstChild;
    }
    return n;
  };
  PDataNode run = descend(Node);
  for (;;) {
    PDataNode next = run == Node ? nullptr : run->NextSibling ? descend(run->NextSibling) : run->Parent;
    DoFreeNode(run);
    if (!next) break;
    run = next;
  }
}

void TBaseDataTree::freeDetached(const std::vector<PDataNode>& Nodes) {
  for (PDataNode node : Nodes) freeDetached(node);
}

namespace {
// Reads and checks the 12-byte header; returns the version.
int readStreamHeader(TStream* Stream) {
  unsigned char b[12];
  if (Stream->Read(b, 12) != 12) ShowError(MsgNotEnoughData, 2004);
  if (getU16(b) != HeaderOpen || getU16(b + 2) != u'V' || getU16(b + 4) != u'T' || getU16(b + 10) != HeaderClose)
    ShowError(MsgWrongFormat, 2002);
  const int version = getU16(b + 6);
  if (version >= 3) ShowError(MsgUnknownVersion, 2003);
  return version;
}
}  // namespace

void TBaseDataTree::LoadFromStream(TStream* Stream) {
  GuardedEntry([&] {
    if (readOnly()) return;
    const std::int64_t start = Stream->Position();
    // The owner's handlers may destroy the tree: then nothing of it is
    // touched again, and the stream stays where reading stopped.
    const std::weak_ptr<const bool> life = FLifeToken;
    BeginUpdate();
    if (life.expired()) return;
    try {
      const int version = readStreamHeader(Stream);
      std::int64_t count = -1;
      if (version >= 2) {
        unsigned char b[4];
        if (Stream->Read(b, 4) != 4) ShowError(MsgNotEnoughData, 2004);
        const std::int32_t c = std::int32_t(getU32(b));
        if (c < 0) corrupt(MsgNodeCount);
        count = c;
      }
      TStreamReadState state;
      std::vector<PDataNode> nodes = readDetachedNodes(Stream, version, count, FRoot, state);
      if (life.expired()) return;
      try {
        if (state.Selected.size() > 1 && !FOptions->SelectionOptions().Contains(toMultiSelect))
          corrupt(MsgSelection);
        Clear();
      } catch (...) {
        if (!life.expired()) freeDetached(nodes);
        throw;
      }
      if (life.expired()) return;
      for (PDataNode node : nodes) InternalConnectNode(node, FRoot, this, amAddChildLast);
      if (!state.Selected.empty()) InternalAddToSelection(state.Selected.data(), int(state.Selected.size()), true);
      ExpireCache();
      DoNodeCopied(nullptr);
      if (life.expired()) return;
    } catch (...) {
      // A refused stream is not half consumed either.
      Stream->Seek(start, soBeginning);
      if (!life.expired()) EndUpdate();
      throw;
    }
    EndUpdate();
  });
}

void TBaseDataTree::LoadFromFile(const String& FileName) {
  GuardedEntry([&] {
    if (readOnly()) return;
    // Read whole: the reader moves back and forth inside its chunks.
    TMemoryStream data;
    data.LoadFromFile(FileName);
    LoadFromStream(&data);
  });
}

std::vector<PDataNode> TBaseDataTree::InsertNodesFromStream(TStream* Stream, PDataNode Target,
                                                             TDTNodeAttachMode Mode, int Version,
                                                             std::int64_t Count) {
  return GuardedEntry(std::vector<PDataNode>{}, [&]() -> std::vector<PDataNode> {
    if (readOnly() || Mode == amNoWhere || Count == 0) return {};
    if (!Target) Target = FRoot;
    TAMRIX_ASSERT(Target == FRoot || TreeFromNode(Target) == this, "The target node must belong to this tree.");
    if (Target == FRoot) {
      if (Mode == amInsertBefore) Mode = amAddChildFirst;
      if (Mode == amInsertAfter) Mode = amAddChildLast;
    }
    const bool asChildren = Mode == amAddChildFirst || Mode == amAddChildLast;
    std::vector<PDataNode> nodes;
    PDataNode parent = nullptr;
    // Any handler below may destroy the tree: then nothing arrived as far as
    // the caller goes, and nothing of the tree is touched again.
    const std::weak_ptr<const bool> life = LifeToken();
    BeginUpdate();
    if (life.expired()) return {};
    try {
      // A target whose children come on demand gets them before others join;
      // the owner's handlers may delete it meanwhile.
      TNodeWatch target(*this, Target);
      if (asChildren && Target != FRoot) {
        if (!Target->States.Contains(vsInitialized)) InitNode(Target);
        if (target.Node() && Target->States.Contains(vsHasChildren) && Target->ChildCount == 0)
          InitChildren(Target);
      }
      if (life.expired()) return {};
      if (!target.Node()) ShowError("The target node was deleted before the nodes could be inserted.", 0);
      parent = asChildren ? Target : Target->Parent;
      TStreamReadState state;
      nodes = readDetachedNodes(Stream, Version, Count, parent, state);
      if (life.expired()) return {};
      connectRun(nodes, Target, Mode);
      // Arriving nodes keep their selection where the tree can hold it next
      // to its own.
      if (!state.Selected.empty() && FOptions->SelectionOptions().Contains(toMultiSelect))
        InternalAddToSelection(state.Selected.data(), int(state.Selected.size()), true);
      ExpireCache();
    } catch (...) {
      if (!life.expired()) EndUpdate();
      throw;
    }
    // The handlers that run when the bracket ends may delete what arrived.
    const std::uint64_t freed = FFreedNodes;
    TNodeWatch parentWatch(*this, parent);
    EndUpdate();
    if (life.expired()) return {};
    if (FFreedNodes != freed) nodes = stillChildren(parentWatch.Node(), nodes);
    return nodes;
  });
}

// ---- linking ------------------------------------------------------------------------

void TBaseDataTree::InternalConnectNode(PDataNode Node, PDataNode Destination, TBaseDataTree* Target,
                                        TDTNodeAttachMode Mode, bool /*Reindex*/) {
  TAMRIX_ASSERT(Node && Node != FRoot, "Node must neither be nil nor the root node.");
  TAMRIX_ASSERT(Target == this, "Nodes can only be linked into the tree that made them.");
  ++FStructureGen;
  if (!Destination) Destination = FRoot;
  if (Destination == FRoot) {
    if (Mode == amInsertBefore) Mode = amAddChildFirst;
    if (Mode == amInsertAfter) Mode = amAddChildLast;
  }
  PDataNode parent, previous, next;
  switch (Mode) {
    case amInsertBefore:
      parent = Destination->Parent;
      previous = Destination->PrevSibling;
      next = Destination;
      break;
    case amInsertAfter:
      parent = Destination->Parent;
      previous = Destination;
      next = Destination->NextSibling;
      break;
    case amAddChildFirst:
      parent = Destination;
      previous = nullptr;
      next = Destination->FirstChild;
      break;
    case amAddChildLast:
      parent = Destination;
      previous = Destination->LastChild;
      next = nullptr;
      break;
    default:
      return;
  }
  // Appending numbers the node at once; anything else leaves the siblings
  // to be renumbered on the next read of an Index.
  if (next)
    MarkChildIndicesStale(parent);
  else
    SetAppendedIndex(parent, Node);
  Node->Parent = parent;
  Node->PrevSibling = previous;
  Node->NextSibling = next;
  if (previous)
    previous->NextSibling = Node;
  else
    parent->FirstChild = Node;
  if (next)
    next->PrevSibling = Node;
  else
    parent->LastChild = Node;
  hiddenRunsLinked(Node);
  ++parent->ChildCount;
  parent->States.Include(vsHasChildren);
  if (Node->States.Contains(vsVisible)) parent->States.Exclude(vsAllChildrenHidden);

  AdjustTotalCount(parent, Node->TotalCount, true);
  if (Node->States.Contains(vsVisible) && parent->States.Contains(vsExpanded))
    AdjustTotalHeight(parent, Node->TotalHeight, true);
  if (FullyVisible(Node)) FVisibleCount += 1 + CountVisibleChildren(Node);
}

void TBaseDataTree::connectRun(const std::vector<PDataNode>& Nodes, PDataNode Destination, TDTNodeAttachMode Mode) {
  if (Nodes.empty()) return;
  PDataNode previous = nullptr;
  for (PDataNode node : Nodes) {
    if (previous)
      InternalConnectNode(node, previous, this, amInsertAfter, false);
    else
      InternalConnectNode(node, Destination, this, Mode, false);
    previous = node;
  }
}
