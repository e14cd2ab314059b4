#pragma once
// The node record of the data tree and the small vocabulary around it.
//
// Every node is one zero-filled allocation: this header, then the tree's
// internal data, then the owner's user data. The header is kept compact
// because a tree of a million nodes is an ordinary case.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Node states, bit 0 first. The set is stored in 16 bits.
enum TDataNodeState : std::uint8_t {
  vsInitialized,       // InitNode has run
  vsChecking,          // the check state is being changed right now
  vsCutOrCopy,         // part of a pending cut or copy
  vsDisabled,
  vsDeleting,          // deleted together with its parent's children
  vsExpanded,
  vsHasChildren,       // has or may have children (created on demand)
  vsVisible,
  vsSelected,
  vsUserDataPointer,   // AddChild stored a pointer at the start of the user data
  vsAllChildrenHidden,
  vsClearing,          // the children are being deleted
  vsMultiline,
  vsHeightMeasured,
  vsToggling,          // being expanded or collapsed right now
};

// A 16-bit set of node states.
//
// The position-cache worker reads a node's visibility and expansion bits
// while the GUI thread may set unrelated bits (initialised, selected,
// measured...). Reads and writes therefore go through relaxed atomic
// accesses; on every platform we build for these are plain loads and
// stores, so the GUI-thread fast paths pay nothing. Only the GUI thread
// writes, so load-modify-store needs no read-modify-write instruction.
class TDataNodeStates {
public:
  using Bits = std::uint16_t;

  constexpr TDataNodeStates() = default;
  TDataNodeStates(const TDataNodeStates& o) : FBits(o.RawBits()) {}
  TDataNodeStates& operator=(const TDataNodeStates& o) {
    store(o.RawBits());
    return *this;
  }
  static TDataNodeStates FromBits(Bits bits) {
    TDataNodeStates s;
    s.FBits = bits;
    return s;
  }

  Bits RawBits() const {
    return std::atomic_ref<const Bits>(FBits).load(std::memory_order_relaxed);
  }
  bool Contains(TDataNodeState s) const { return (RawBits() & bit(s)) != 0; }
  bool ContainsAny(Bits mask) const { return (RawBits() & mask) != 0; }
  bool ContainsAll(Bits mask) const { return (RawBits() & mask) == mask; }
  void Include(TDataNodeState s) { store(RawBits() | bit(s)); }
  void Exclude(TDataNodeState s) { store(RawBits() & Bits(~bit(s))); }
  void IncludeMask(Bits mask) { store(RawBits() | mask); }
  void ExcludeMask(Bits mask) { store(RawBits() & Bits(~mask)); }
  void Set(TDataNodeState s, bool on) { on ? Include(s) : Exclude(s); }
  bool operator==(const TDataNodeStates& o) const { return RawBits() == o.RawBits(); }

  static constexpr Bits bit(TDataNodeState s) { return Bits(1u << unsigned(s)); }

private:
  void store(Bits b) { std::atomic_ref<Bits>(FBits).store(b, std::memory_order_relaxed); }
  Bits FBits = 0;
};

constexpr TDataNodeStates::Bits nodeMask(TDataNodeState s) { return TDataNodeStates::bit(s); }
template <typename... R>
constexpr TDataNodeStates::Bits nodeMask(TDataNodeState s, R... rest) {
  return TDataNodeStates::Bits(TDataNodeStates::bit(s) | nodeMask(rest...));
}

enum TCheckType : std::uint8_t { ctNone, ctTriStateCheckBox, ctCheckBox, ctRadioButton, ctButton };
enum TCheckState : std::uint8_t {
  csUncheckedNormal, csUncheckedPressed, csCheckedNormal, csCheckedPressed,
  csMixedNormal, csMixedPressed
};

struct TDataNode;
using PDataNode = TDataNode*;

// Bookkeeping bits of TDataNode::Reserved.
constexpr std::uint8_t nrUserDataHandedOut = 1;  // the owner was handed the user data's address
constexpr std::uint8_t nrChildIndicesStale = 2;  // the children's Index values need renumbering
constexpr std::uint8_t nrListed = 4;             // held in a list by a loop of the tree (its free is counted)
constexpr std::uint8_t nrWatched = 8;            // a watch of the tree names the node (look it up when it goes)

// Gives every child of Parent its position, 0, 1, 2..., and clears the
// parent's stale mark.
void RenumberChildren(PDataNode Parent);

// A node's position among its siblings, 0-based.
//
// Taking a node out of (or putting one into) the middle of a long sibling
// chain would otherwise renumber every sibling behind it, which makes
// deleting many siblings one by one quadratic. The tree only marks the
// parent instead (nrChildIndicesStale); the first read of any child's
// Index renumbers the whole chain once. The value lives at the start of
// the node record, so a read finds its node, and through it the parent,
// without help from the tree.
class TSiblingIndex {
public:
  inline operator std::uint32_t() const;
  TSiblingIndex& operator=(std::uint32_t Value) {
    FValue = Value;
    return *this;
  }
  // The stored value as it stands, for the tree's own bookkeeping while it
  // knows the parent is not marked stale.
  std::uint32_t Raw() const { return FValue; }

private:
  std::uint32_t FValue;
};

struct TDataNode {
  TSiblingIndex Index;        // position among its siblings, 0-based (see above)
  std::uint32_t ChildCount;   // number of direct children
  std::uint16_t NodeHeight;   // row height in pixels
  TDataNodeStates States;
  std::uint8_t Align;         // vertical position of button and lines, 50 = middle
  TCheckState CheckState;
  TCheckType CheckType;
  // Bookkeeping of the tree that is not a node state (never streamed),
  // the nr* bits above.
  std::uint8_t Reserved;
  std::uint32_t TotalCount;   // this node plus all descendants
  std::uint32_t TotalHeight;  // own height plus visible descendants below expanded nodes
  PDataNode Parent;           // the hidden root for top-level nodes
  PDataNode PrevSibling;
  PDataNode NextSibling;
  PDataNode FirstChild;
  PDataNode LastChild;
};

static_assert(std::is_standard_layout_v<TDataNode>, "a node's Index finds the record it starts");
static_assert(offsetof(TDataNode, Index) == 0, "Index must start the node record");

inline TSiblingIndex::operator std::uint32_t() const {
  // A standard-layout record and its first member share one address.
  const TDataNode* node = reinterpret_cast<const TDataNode*>(this);
  PDataNode parent = node->Parent;
  if (parent && (parent->Reserved & nrChildIndicesStale)) RenumberChildren(parent);
  return FValue;
}

// Marks the children of Parent for renumbering on the next read.
inline void MarkChildIndicesStale(PDataNode Parent) { Parent->Reserved |= nrChildIndicesStale; }

// The Index a child appended behind Parent's last child gets; a parent
// already marked stale leaves it to the renumbering.
inline void SetAppendedIndex(PDataNode Parent, PDataNode Child) {
  if (Parent->Reserved & nrChildIndicesStale) return;
  Child->Index = Parent->LastChild ? Parent->LastChild->Index.Raw() + 1 : 0;
}

// True when Node lies below Ancestor (any node lies below the hidden root).
inline bool LiesBelow(PDataNode Node, PDataNode Ancestor) {
  for (PDataNode run = Node->Parent; run; run = run->Parent) {
    if (run == Ancestor) return true;
    if (run->NextSibling == run) break;  // the hidden root
  }
  return false;
}

// Internal and user data follow the header at offsets aligned for any type.
constexpr std::size_t DataAlignment = alignof(std::max_align_t);
constexpr std::size_t alignUp(std::size_t n, std::size_t a) { return (n + a - 1) / a * a; }
constexpr std::size_t NodeHeaderSize = alignUp(sizeof(TDataNode), DataAlignment);

// Options the owner gives back from OnInitNode.
enum TDataNodeInitState : std::uint8_t {
  ivsDisabled, ivsExpanded, ivsHasChildren, ivsMultiline, ivsSelected
};

// Why a structure change is reported.
enum TChangeReason : std::uint8_t {
  crIgnore, crAccumulated, crChildAdded, crChildDeleted, crNodeAdded, crNodeCopied, crNodeMoved
};

enum TDTUpdateState : std::uint8_t { usBegin, usBeginSynch, usSynch, usUpdate, usEnd, usEndSynch };

// One anchor of the position cache: a node and the absolute top of its row.
struct TCacheEntry {
  PDataNode Node = nullptr;
  std::uint32_t AbsoluteTop = 0;
};

using TColumnIndex = std::int32_t;
constexpr TColumnIndex NoColumn = -1;
constexpr TColumnIndex InvalidColumn = -2;
