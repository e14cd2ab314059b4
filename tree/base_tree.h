#pragma once
// TBaseDataTree: a tree control that keeps no text and no items of its own.
// It keeps a tree of compact node records, each followed by a block of user
// data whose size the owner chooses, and asks the owner through events for
// everything it needs to know about a node, when it first needs it.
#include <cxxabi.h>

#include <atomic>
#include <exception>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <memory_resource>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/types.h"
#include "platform/graphics/geometry.h"
#include "tree/node.h"
#include "tree/node_arena.h"
#include "platform/gui/controls.h"
#include "platform/gui/messages.h"
#include "tree/tree_types.h"
#include "tree/input_types.h"
#include "tree/display_types.h"
#include "tree/header.h"
#include "tree/globals.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/gui/ole.h"
#include "tree/edit_link.h"
#include "tree/hint_window.h"
#include "platform/gui/accessibility.h"

class TBaseDataTree;
class TCanvas;
class TWorkerThread;
class TImageList;
class TChangeLink;
class TDTDragImage;
class IDTDragManager;
class TStream;

// A class reference for tree classes: lets the clipboard-format registry
// know which formats a tree class or its descendants may offer.
struct TTreeClassInfo {
  const char* Name;
  const TTreeClassInfo* Parent;
  bool InheritsFrom(const TTreeClassInfo* other) const {
    for (const TTreeClassInfo* c = this; c; c = c->Parent)
      if (c == other) return true;
    return false;
  }
};

// Unwinds the tree's work once a handler destroyed the tree (see
// TBaseDataTree::RaiseEvent). Silent where it reaches the message loop.
struct EDataTreeGone : EControlGone {};
// Ends an operation of the tree on a node that a handler deleted (see
// TBaseDataTree::NodeEntry); never leaves the operation it names.
struct EDataNodeGone : EControlGone {
  const void* Operation;
};

// How many failures are on their way out on this thread: what
// std::uncaught_exceptions() answers, read from the run time's record of
// the thread (a pointer kept per thread) since every entry of the tree
// asks, on the hottest paths.
inline int failuresPassing() noexcept {
  struct TRecord {
    void* Caught;
    unsigned int Uncaught;
  };
  static thread_local const TRecord* record = nullptr;
  if (!record) [[unlikely]]
    record = reinterpret_cast<const TRecord*>(abi::__cxa_get_globals());
  return int(record->Uncaught);
}

// Event types. Reference parameters are the handler's answers.
using TDTChangeEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node)>;
using TDTChangingEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, bool& Allowed)>;
using TDTCheckChangingEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TCheckState& NewState, bool& Allowed)>;
using TDTDragAllowedEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, bool& Allowed)>;
using TDTInitNodeEvent = std::function<void(TBaseDataTree* Sender, PDataNode ParentNode,
                                            PDataNode Node, TDataNodeInitStates& InitialStates)>;
using TDTInitChildrenEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, std::uint32_t& ChildCount)>;
using TDTFreeNodeEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node)>;
using TDTFocusChangeEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column)>;
using TDTFocusChangingEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode OldNode, PDataNode NewNode,
                       TColumnIndex OldColumn, TColumnIndex NewColumn, bool& Allowed)>;
using TDTCompareEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node1, PDataNode Node2,
                                           TColumnIndex Column, int& Result)>;
using TDTIncrementalSearchEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node,
                                                     const String& SearchText, int& Result)>;
using TDTEditChangingEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, bool& Allowed)>;
using TDTEditChangeEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column)>;
using TDTEditCancelEvent = std::function<void(TBaseDataTree* Sender, TColumnIndex Column)>;
using TDTHotNodeChangeEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode OldNode, PDataNode NewNode)>;
using TDTMeasureItemEvent = std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas,
                                               PDataNode Node, int& NodeHeight)>;
using TDTNodeCopyingEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, PDataNode Target, bool& Allowed)>;
using TDTNodeCopiedEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node)>;
using TDTNodeMovingEvent = TDTNodeCopyingEvent;
using TDTNodeMovedEvent = TDTNodeCopiedEvent;
using TDTScrollEvent = std::function<void(TBaseDataTree* Sender, int DeltaX, int DeltaY)>;
using TDTScrollbarShowEvent = std::function<void(TBaseDataTree* Sender, int Bar, bool Show)>;
using TDTStateChangeEvent =
    std::function<void(TBaseDataTree* Sender, TDataTreeStates Enter, TDataTreeStates Leave)>;
using TDTStructureChangeEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TChangeReason Reason)>;
using TDTUpdatingEvent = std::function<void(TBaseDataTree* Sender, TDTUpdateState State)>;
using TDTGetNodeDataSizeEvent = std::function<void(TBaseDataTree* Sender, int& NodeDataSize)>;
using TDTSaveNodeEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TStream* Stream)>;
using TDTLoadNodeEvent = TDTSaveNodeEvent;
using TDTGetCellIsEmptyEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node,
                                                  TColumnIndex Column, bool& IsEmpty)>;
using TDTCreateEditorEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, PDTEditLink& EditLink)>;

// Callback of Animate: return false to stop early.
using TDTAnimationCallback = std::function<bool(int Step, int StepSize, void* Data)>;

// The behaviour switches of a tree, grouped by concern. Every set is stored
// whole; the tree reacts to the members that affect its structure.
class TCustomDataTreeOptions {
public:
  explicit TCustomDataTreeOptions(TBaseDataTree* AOwner) : FOwner(AOwner) {}
  virtual ~TCustomDataTreeOptions() = default;

  TBaseDataTree* Owner() const { return FOwner; }
  TDTPaintOptions PaintOptions() const { return FPaintOptions; }
  TDTAnimationOptions AnimationOptions() const { return FAnimationOptions; }
  TDTAutoOptions AutoOptions() const { return FAutoOptions; }
  TDTSelectionOptions SelectionOptions() const { return FSelectionOptions; }
  TDTMiscOptions MiscOptions() const { return FMiscOptions; }
  TDTExportMode ExportMode() const { return FExportMode; }

  virtual void SetPaintOptions(TDTPaintOptions Value);
  virtual void SetAnimationOptions(TDTAnimationOptions Value) { FAnimationOptions = Value; }
  virtual void SetAutoOptions(TDTAutoOptions Value);
  virtual void SetSelectionOptions(TDTSelectionOptions Value);
  virtual void SetMiscOptions(TDTMiscOptions Value);
  void SetExportMode(TDTExportMode Value) { FExportMode = Value; }
  virtual void AssignTo(TCustomDataTreeOptions& Dest) const;

private:
  TBaseDataTree* FOwner;
  TDTPaintOptions FPaintOptions{toShowButtons, toShowDropmark, toShowRoot, toShowTreeLines,
                                toThemeAware, toUseBlendedImages};
  TDTAnimationOptions FAnimationOptions;
  TDTAutoOptions FAutoOptions{toAutoDropExpand, toAutoScrollOnExpand, toAutoTristateTracking,
                              toAutoDeleteMovedNodes};
  TDTSelectionOptions FSelectionOptions;
  TDTMiscOptions FMiscOptions{toAcceptOLEDrop, toFullRepaintOnResize, toInitOnSave,
                              toToggleOnDblClick, toWheelPanning, toEditOnClick};
  TDTExportMode FExportMode = emAll;
};

// Tree timer ids.
enum : int {
  ExpandTimer = 1, EditTimer = 2, HeaderTimer = 3, ScrollTimer = 4, ChangeTimer = 5,
  StructureChangeTimer = 6, SearchTimer = 7
};

// The message through which the position-cache worker reports to a tree.
// wParam: states to enter, lParam: states to leave, as 4-bit masks
// (bit 0 stop validation, bit 1 use cache, bit 2 validating, bit 3
// validation needed). Bits above the mask carry the validation pass the
// report belongs to, so that a report of an abandoned pass is not applied.
constexpr unsigned WM_CHANGESTATE = 0x8020;
// Posted to itself by a tree without columns whose painted rows reached
// past its horizontal range: the range and the scroll bar follow once the
// paint is over.
constexpr unsigned WM_UPDATERANGEX = 0x8021;

class TBaseDataTree : public TCustomControl {
  friend class TWorkerThread;
  friend class TCustomDataTreeOptions;
  friend class TDataTreeHintWindow;

public:
  explicit TBaseDataTree(TComponent* AOwner);
  ~TBaseDataTree() override;

  static const TTreeClassInfo* ClassInfo();
  virtual const TTreeClassInfo* TreeClass() const { return ClassInfo(); }

  // ---- node store -------------------------------------------------------
  PDataNode RootNode() const { return FRoot; }
  int NodeDataSize() const { return FNodeDataSize; }
  void SetNodeDataSize(int Value);
  std::uint32_t RootNodeCount() const { return FRoot->ChildCount; }
  void SetRootNodeCount(std::uint32_t Value);
  std::uint32_t ChildCount(PDataNode Node) const;
  void SetChildCount(PDataNode Node, std::uint32_t NewCount);
  std::uint32_t TotalCount() const { return FRoot->TotalCount - 1; }
  virtual PDataNode AddChild(PDataNode Parent, void* UserData = nullptr);
  void DeleteNode(PDataNode Node, bool Reindex = true);
  void DeleteChildren(PDataNode Node, bool ResetHasChildren = false);
  virtual void Clear();
  void* GetNodeData(PDataNode Node);
  template <typename T>
  T* GetNodeData(PDataNode Node) { return static_cast<T*>(GetNodeData(Node)); }
  unsigned GetNodeLevel(PDataNode Node) const;
  void FixupTotalCount(PDataNode Node);
  void FixupTotalHeight(PDataNode Node);
  int InternalDataSize() const { return FInternalDataSize; }
  std::uint32_t DefaultNodeHeight() const { return FDefaultNodeHeight; }
  void SetDefaultNodeHeight(std::uint32_t Value);
  std::uint32_t VisibleCount() const { return FVisibleCount; }

  virtual void BeginUpdate();
  virtual void EndUpdate();
  std::uint32_t UpdateCount() const { return FUpdateCount; }

  // ---- tree state -------------------------------------------------------
  TDataTreeStates TreeStates() const { return FStates; }
  TCustomDataTreeOptions& TreeOptions() { return *FOptions; }
  const TCustomDataTreeOptions& TreeOptions() const { return *FOptions; }
  void SetTreeOptions(const TCustomDataTreeOptions& Value) { Value.AssignTo(*FOptions); }
  std::uint32_t ChangeDelay() const { return FChangeDelay; }
  void SetChangeDelay(std::uint32_t Value) { FChangeDelay = Value; }
  std::uint32_t AnimationDuration() const { return FAnimationDuration; }
  void SetAnimationDuration(std::uint32_t Value);
  bool OperationCanceled() const { return FOperationCount > 0 && FOperationCanceled; }
  void SetOperationCanceled(bool Value) { FOperationCanceled = Value; }
  void BeginOperation();
  void EndOperation();
  int OffsetX() const { return FOffsetX; }
  int OffsetY() const { return FOffsetY; }
  std::uint32_t BottomSpace() const { return FBottomSpace; }
  void SetBottomSpace(std::uint32_t Value);
  int RangeX() const { return FRangeX; }
  int RangeY() const { return FRangeY; }

  // ---- node properties ---------------------------------------------------
  bool Expanded(PDataNode Node) const { return Node && Node->States.Contains(vsExpanded); }
  void SetExpanded(PDataNode Node, bool Value);
  int NodeHeight(PDataNode Node);
  void SetNodeHeight(PDataNode Node, int Value);
  bool IsVisible(PDataNode Node);
  void SetVisible(PDataNode Node, bool Value);
  // The control's own visibility stays reachable beside the node's.
  using TCustomControl::SetVisible;
  bool FullyVisible(PDataNode Node) const;
  bool HasChildren(PDataNode Node) const;
  void SetHasChildren(PDataNode Node, bool Value);
  bool Selected(PDataNode Node) const { return Node && Node->States.Contains(vsSelected); }
  void SetSelected(PDataNode Node, bool Value);
  PDataNode FocusedNode() const { return FFocusedNode; }
  void SetFocusedNode(PDataNode Value);
  TColumnIndex FocusedColumn() const { return FFocusedColumn; }
  bool HasVisibleNextSibling(PDataNode Node) const;
  bool HasVisiblePreviousSibling(PDataNode Node) const;
  bool IsFirstVisibleChild(PDataNode Parent, PDataNode Node) const;
  bool IsLastVisibleChild(PDataNode Parent, PDataNode Node) const;

  // ---- initialisation on demand, expanding and collapsing -----------------
  virtual void ReinitNode(PDataNode Node, bool Recursive);
  virtual void ReinitChildren(PDataNode Node, bool Recursive);
  virtual void ResetNode(PDataNode Node);
  void ToggleNode(PDataNode Node);
  virtual void FullExpand(PDataNode Node = nullptr);
  virtual void FullCollapse(PDataNode Node = nullptr);
  virtual std::uint32_t CountVisibleChildren(PDataNode Node) const;
  void MeasureItemHeight(TCanvas* Canvas, PDataNode Node);

  // ---- navigation ---------------------------------------------------------
  PDataNode GetFirst(bool ConsiderChildrenAbove = false);
  PDataNode GetFirstChild(PDataNode Node);
  PDataNode GetFirstCutCopy(bool ConsiderChildrenAbove = false);
  PDataNode GetFirstInitialized(bool ConsiderChildrenAbove = false);
  PDataNode GetFirstNoInit(bool ConsiderChildrenAbove = false) const;
  PDataNode GetFirstSelected(bool ConsiderChildrenAbove = false);
  PDataNode GetFirstVisible(PDataNode Node = nullptr, bool ConsiderChildrenAbove = false);
  PDataNode GetFirstVisibleChild(PDataNode Node);
  PDataNode GetFirstVisibleNoInit(PDataNode Node = nullptr, bool ConsiderChildrenAbove = false) const;
  PDataNode GetLast(PDataNode Node = nullptr, bool ConsiderChildrenAbove = false);
  PDataNode GetLastChild(PDataNode Node);
  PDataNode GetLastNoInit(PDataNode Node = nullptr, bool ConsiderChildrenAbove = false) const;
  PDataNode GetLastVisible(PDataNode Node = nullptr, bool ConsiderChildrenAbove = false);
  PDataNode GetLastVisibleChild(PDataNode Node);
  PDataNode GetLastVisibleNoInit(PDataNode Node = nullptr, bool ConsiderChildrenAbove = false) const;
  PDataNode GetNext(PDataNode Node, bool ConsiderChildrenAbove = false);
  PDataNode GetNextCutCopy(PDataNode Node, bool ConsiderChildrenAbove = false);
  PDataNode GetNextInitialized(PDataNode Node, bool ConsiderChildrenAbove = false);
  PDataNode GetNextNoInit(PDataNode Node, bool ConsiderChildrenAbove = false) const;
  PDataNode GetNextSelected(PDataNode Node, bool ConsiderChildrenAbove = false);
  PDataNode GetNextSibling(PDataNode Node);
  PDataNode GetNextVisible(PDataNode Node, bool ConsiderChildrenAbove = false);
  PDataNode GetNextVisibleNoInit(PDataNode Node, bool ConsiderChildrenAbove = false) const;
  PDataNode GetNextVisibleSibling(PDataNode Node);
  PDataNode GetNextVisibleSiblingNoInit(PDataNode Node) const;
  PDataNode GetPrevious(PDataNode Node, bool ConsiderChildrenAbove = false);
  PDataNode GetPreviousInitialized(PDataNode Node, bool ConsiderChildrenAbove = false);
  PDataNode GetPreviousNoInit(PDataNode Node, bool ConsiderChildrenAbove = false) const;
  PDataNode GetPreviousSibling(PDataNode Node);
  PDataNode GetPreviousVisible(PDataNode Node, bool ConsiderChildrenAbove = false);
  PDataNode GetPreviousVisibleNoInit(PDataNode Node, bool ConsiderChildrenAbove = false) const;
  PDataNode GetPreviousVisibleSibling(PDataNode Node);
  PDataNode GetPreviousVisibleSiblingNoInit(PDataNode Node) const;
  PDataNode GetNodeAt(int X, int Y);
  PDataNode GetNodeAt(int X, int Y, bool Relative, int& NodeTop);

  // ---- position cache -----------------------------------------------------
  // Stops a running fill of this tree's cache and waits until the worker has
  // let go of the tree. Every change of the structure calls it first.
  void InterruptValidation();
  int CompareNodePositions(PDataNode Node1, PDataNode Node2, bool ConsiderChildrenAbove = false) const;
  PDataNode FindInPositionCache(std::uint32_t Position, std::uint32_t& CurrentPos) const;
  PDataNode FindInPositionCache(PDataNode Node, std::uint32_t& CurrentPos) const;
  const std::vector<TCacheEntry>& PositionCache() const { return FPositionCache; }
  std::uint32_t StartIndex() const { return FStartIndex; }

  // ---- selection -----------------------------------------------------------
  // Entries deselected inside an update wait, marked, for the next pack.
  std::uint32_t SelectedCount() const { return FSelectionCount - FMarkedSelectionEntries; }
  bool SelectionLocked() const { return FSelectionLocked; }
  void SetSelectionLocked(bool Value) { FSelectionLocked = Value; }
  void ClearSelection();
  virtual void AddToSelection(PDataNode Node);
  virtual void AddToSelection(PDataNode const* NewItems, int NewLength, bool ForceInsert = false);
  virtual void RemoveFromSelection(PDataNode Node);
  virtual bool FindNodeInSelection(PDataNode P, int& Index, int LowBound, int HighBound) const;
  PDataNode RangeAnchor() const { return FRangeAnchor; }

  // ---- small operations ---------------------------------------------------
  // Index into the check picture list for a node (or, without one, for the
  // given type, state and enabled flag); -1 when there is no check.
  virtual int GetCheckImage(PDataNode Node, TCheckType ImgCheckType = ctNone,
                            TCheckState ImgCheckState = csUncheckedNormal, bool ImgEnabled = true);
  // The shared check pictures for a kind; nullptr for custom ones.
  TImageList* GetCheckImageListFor(int Kind) const;
  virtual int CountLevelDifference(PDataNode Node1, PDataNode Node2) const;
  int AllocateInternalDataArea(int Size);

  // ---- events ---------------------------------------------------------------
  TDTChangeEvent OnChange;
  TDTCheckChangingEvent OnChecking;
  TDTChangeEvent OnChecked;
  TDTChangeEvent OnCollapsed;
  TDTChangingEvent OnCollapsing;
  TDTCompareEvent OnCompareNodes;
  TDTDragAllowedEvent OnDragAllowed;
  TDTEditChangingEvent OnEditing;
  TDTEditChangeEvent OnEdited;
  TDTEditCancelEvent OnEditCancelled;
  TDTChangeEvent OnExpanded;
  TDTChangingEvent OnExpanding;
  TDTFocusChangeEvent OnFocusChanged;
  TDTFocusChangingEvent OnFocusChanging;
  TDTFreeNodeEvent OnFreeNode;
  TDTGetCellIsEmptyEvent OnGetCellIsEmpty;
  TDTGetNodeDataSizeEvent OnGetNodeDataSize;
  TDTHotNodeChangeEvent OnHotChange;
  TDTIncrementalSearchEvent OnIncrementalSearch;
  TDTInitChildrenEvent OnInitChildren;
  TDTInitNodeEvent OnInitNode;
  TDTMeasureItemEvent OnMeasureItem;
  TDTNodeCopiedEvent OnNodeCopied;
  TDTNodeCopyingEvent OnNodeCopying;
  TDTNodeMovedEvent OnNodeMoved;
  TDTNodeMovingEvent OnNodeMoving;
  TDTChangeEvent OnResetNode;
  TDTScrollEvent OnScroll;
  TDTScrollbarShowEvent OnShowScrollbar;
  TDTStateChangeEvent OnStateChange;
  TDTStructureChangeEvent OnStructureChange;
  TDTUpdatingEvent OnUpdating;

  void Dispatch(TMessage& Message) override;
  void Loaded() override;
  // The tree's pop-up menu; the header may show the same one.
  void SetPopupMenu(TPopupMenu* Value);

  // ==== moving, copying, deleting the selection and streaming =================
  // Moves Source (or, with ChildrenOnly, its children) to Target, which may
  // lie in another tree; Target nil is this tree's top level.
  void MoveTo(PDataNode Source, PDataNode Target, TDTNodeAttachMode Mode, bool ChildrenOnly);
  // Copies Source (or its children) to Target, in this tree or another;
  // returns the first copy, nil when nothing was copied.
  PDataNode CopyTo(PDataNode Source, PDataNode Target, TDTNodeAttachMode Mode, bool ChildrenOnly);
  virtual void DeleteSelectedNodes();
  // The selected (cut or copied) nodes in tree order; with Resolve a node
  // below another one of the set is left out.
  std::vector<PDataNode> GetSortedSelection(bool Resolve);
  std::vector<PDataNode> GetSortedCutCopySet(bool Resolve);
  void ValidateNode(PDataNode Node, bool Recursive);
  void ValidateChildren(PDataNode Node, bool Recursive);

  // The stream form: a header, the top-level count and one node chunk per
  // node. Loading checks the whole stream before the tree changes.
  static constexpr int TreeStreamVersion = 2;
  void SaveToStream(TStream* Stream, PDataNode Node = nullptr);
  virtual void LoadFromStream(TStream* Stream);
  // Written under a temporary name and renamed, so a failure never leaves
  // half a file.
  void SaveToFile(const String& FileName);
  virtual void LoadFromFile(const String& FileName);
  // Node chunks without the header, as the clipboard and drag data carry
  // them: each node with its subtree, in the order given.
  void WriteNodesToStream(TStream* Stream, const std::vector<PDataNode>& Nodes);
  // Reads node chunks from the stream's position (Count of them, or up to
  // the end when Count is negative) and puts them at Target with Mode, in
  // stream order. Everything is read and checked first: a damaged stream
  // raises EDataTreeError and leaves the tree as it was. Returns the new
  // top-level nodes; nothing happens in a read-only tree.
  std::vector<PDataNode> InsertNodesFromStream(TStream* Stream, PDataNode Target, TDTNodeAttachMode Mode,
                                               int Version = TreeStreamVersion, std::int64_t Count = -1);
  // A node's user data travels as what OnSaveNode writes; OnLoadNode reads
  // it back from a stream that ends with that data. Nodes read keep their
  // initialised state and are not initialised again: an owner that keeps
  // objects in its node data writes something for every node and builds
  // the objects in OnLoadNode (which comes before the caption is set).
  TDTSaveNodeEvent OnSaveNode;
  TDTLoadNodeEvent OnLoadNode;

protected:
  virtual bool ReadStreamChunk(TStream* Stream, int Version, PDataNode Node, int ChunkType, int ChunkSize);
  // Reads one node chunk with its subtree into Node.
  virtual void ReadStreamNode(TStream* Stream, int Version, PDataNode Node);
  virtual void QueryNodeDataSize(int& Size);
  // The chunks of a node that follow its base chunk (user data; the string
  // tree adds its caption).
  virtual void WriteNodeChunks(TStream* Stream, PDataNode Node);
  // Writes Node with its subtree.
  virtual void WriteStreamNode(TStream* Stream, PDataNode Node);
  // Links a node that belongs to no parent into Target (this tree) at
  // Destination, keeping counts and heights. The siblings' indices are
  // renumbered lazily (see TSiblingIndex), so Reindex no longer matters.
  virtual void InternalConnectNode(PDataNode Node, PDataNode Destination, TBaseDataTree* Target,
                                   TDTNodeAttachMode Mode, bool Reindex = true);

private:
  struct TStreamReadState;
  // Builds detached nodes from the stream; they join the tree only when
  // everything was read.
  std::vector<PDataNode> readDetachedNodes(TStream* Stream, int Version, std::int64_t Count, PDataNode Parent,
                                           TStreamReadState& State);
  void freeDetached(PDataNode Node);
  void freeDetached(const std::vector<PDataNode>& Nodes);
  // The nodes of a list that are still children of Parent, in their order
  // there: what is left of nodes just inserted after handlers ran.
  std::vector<PDataNode> stillChildren(PDataNode Parent, const std::vector<PDataNode>& Nodes) const;
  // Nodes a loop of the tree holds in a list across owner handlers, all
  // alive when the listing is made. Each is marked (nrListed) and the tree
  // counts the frees of marked nodes, so the loop sees exactly whether a
  // handler freed a node of its list, whatever else the handler freed or
  // moved, without reading the list. The loop unmarks a node when it takes
  // it (its own deletion of it is then not counted) and unmarks what it
  // finds still alive when it gives the list up. A listing made while
  // another lives (a loop run from a handler) marks nothing and counts
  // every free of the tree instead. A mark left behind (on a node that
  // went elsewhere, or by a loop cut short) only makes a later loop read
  // its list again once.
  class TListing {
  public:
    TListing(TBaseDataTree& Tree, const std::vector<PDataNode>& Nodes);
    ~TListing();
    TListing(const TListing&) = delete;
    TListing& operator=(const TListing&) = delete;
    // True when a listed node (or, unmarked, any node) was freed since the
    // listing was made.
    bool Freed() const { return counted() != FBaseline; }
    // Node, alive, leaves the list.
    void Unmark(PDataNode Node) const {
      if (FMarks) Node->Reserved &= std::uint8_t(~nrListed);
    }
    bool TreeGone() const { return FLife.expired(); }

  private:
    std::uint64_t counted() const { return FMarks ? FTree.FListedFreed : FTree.FFreedNodes; }
    TBaseDataTree& FTree;
    std::weak_ptr<const bool> FLife;
    bool FMarks;
    std::uint64_t FBaseline;
  };
  // Calls Step for each of Nodes, children of Parent listed in Listing
  // (made when all were alive). Step may delete or move anything: the nodes
  // freed or moved away are skipped. False when a handler destroyed the
  // tree (then nothing of it was touched afterwards).
  bool forEachArrived(PDataNode Parent, const std::vector<PDataNode>& Nodes, const TListing& Listing,
                      const std::function<void(PDataNode)>& Step);
  // Deletes Nodes (none below another, listed in Listing) from the last to
  // the first, so that a run of siblings is renumbered once. Handlers may
  // free any of them meanwhile: at the first free of a listed node,
  // StillThere is asked once about each node left (it must answer without
  // reading the node) and those it keeps are watched from then on. False
  // when a handler destroyed the tree (then nothing of it was touched
  // afterwards).
  bool deleteLastToFirst(const std::vector<PDataNode>& Nodes, const TListing& Listing,
                         const std::function<bool(PDataNode)>& StillThere);
  // Owner handlers cannot delete nodes while a walk holds them: a deletion
  // then fails with the iteration assertion, and one waiting for the
  // message loop waits for the walk's end as well.
  struct TIterationGuard {
    explicit TIterationGuard(TBaseDataTree& Tree);
    ~TIterationGuard();
    // Whether a handler called meanwhile destroyed the tree.
    bool TreeGone() const { return Life.expired(); }
    TBaseDataTree& Tree;
    std::weak_ptr<const bool> Life;
    bool Was;
  };
  std::vector<PDataNode> sortedSet(TDataNodeState Flag, bool Resolve);
  // Puts Nodes at Destination with Mode, one after the other, renumbering
  // their new siblings once.
  void connectRun(const std::vector<PDataNode>& Nodes, PDataNode Destination, TDTNodeAttachMode Mode);
  TStreamReadState* FReadState = nullptr;
  // Nodes freed since the tree was made: a loop over remembered nodes sees
  // from it whether a handler freed some of them.
  std::uint64_t FFreedNodes = 0;
  // Of them the nodes freed while marked nrListed, and the listings alive
  // (see TListing).
  std::uint64_t FListedFreed = 0;
  int FListings = 0;

public:
  // ==== end of moving, copying and streaming ===================================

  // ==== input: keyboard, mouse, selection gestures, check states, search ====
  TCheckState CheckState(PDataNode Node) const { return Node ? Node->CheckState : csUncheckedNormal; }
  // Asks OnChecking, then applies the state with its propagation.
  void SetCheckState(PDataNode Node, TCheckState Value);
  void SelectNodes(PDataNode StartNode, PDataNode EndNode, bool AddOnly);
  void ToggleSelection(PDataNode StartNode, PDataNode EndNode);
  TDTIncrementalSearch IncrementalSearch() const { return FIncrementalSearch; }
  void SetIncrementalSearch(TDTIncrementalSearch Value);
  TDTSearchDirection IncrementalSearchDirection() const { return FSearchDirection; }
  void SetIncrementalSearchDirection(TDTSearchDirection Value) { FSearchDirection = Value; }
  TDTSearchStart IncrementalSearchStart() const { return FSearchStart; }
  void SetIncrementalSearchStart(TDTSearchStart Value) { FSearchStart = Value; }
  std::uint32_t IncrementalSearchTimeout() const { return FSearchTimeout; }
  void SetIncrementalSearchTimeout(std::uint32_t Value) { FSearchTimeout = Value; }
  const String& SearchBuffer() const { return FSearchBuffer; }
  bool WantTabs() const { return FWantTabs; }
  void SetWantTabs(bool Value) { FWantTabs = Value; }
  std::uint32_t EditDelay() const { return FEditDelay; }
  void SetEditDelay(std::uint32_t Value) { FEditDelay = Value; }
  std::uint32_t AutoScrollDelay() const { return FAutoScrollDelay; }
  void SetAutoScrollDelay(std::uint32_t Value) { FAutoScrollDelay = Value; }
  TAutoScrollInterval AutoScrollInterval() const { return FAutoScrollInterval; }
  void SetAutoScrollInterval(TAutoScrollInterval Value) { FAutoScrollInterval = Value; }
  std::uint32_t AutoExpandDelay() const { return FAutoExpandDelay; }
  void SetAutoExpandDelay(std::uint32_t Value) { FAutoExpandDelay = Value; }
  int DragThreshold() const { return FDragThreshold; }
  void SetDragThreshold(int Value) { FDragThreshold = Value; }
  TCursor HotCursor() const { return FHotCursor; }
  void SetHotCursor(TCursor Value) { FHotCursor = Value; }
  PDataNode CheckNode() const { return FCheckNode; }
  TCheckState PendingCheckState() const { return FPendingCheckState; }

  TDTKeyActionEvent OnKeyAction;
  TDTGetCursorEvent OnGetCursor;
  TDTNodeHeightTrackingEvent OnNodeHeightTracking;
  TDTNodeHeightDblClickResizeEvent OnNodeHeightDblClickResize;
  TDTGetHelpContextEvent OnGetHelpContext;
  TDTPopupEvent OnGetPopupMenu;
  TDTColumnClickEvent OnColumnClick;
  TDTColumnClickEvent OnColumnDblClick;
  // F1 found a help context for the focused node (or the controls around it).
  TDTHelpRequestEvent OnHelpRequest;

  void WndProc(TMessage& Message) override;
  // The tree's handling of input and query messages; true when handled.
  bool DispatchInput(TMessage& Message);
  // Scrolling driven by input.
  bool CanAutoScroll();
  TScrollDirections DetermineScrollDirections(int X, int Y);
  virtual void DoAutoScroll(int X, int Y);
  virtual void DoTimerScroll();
  virtual void StartWheelPanning(TPoint Position);
  virtual void StopWheelPanning();
  virtual void UpdatePanningCursor(int X, int Y);
  HWND PanningWindow() const { return FPanningWindow; }
  virtual TCheckState DetermineNextCheckState(TCheckType CheckType, TCheckState CheckState);

  // Events and dispatchers of the header's interaction.
  TDTHeaderClickEvent OnHeaderClick;
  TDTHeaderClickEvent OnHeaderImageClick;
  TDTHeaderClickEvent OnHeaderCheckBoxClick;
  TDTHeaderMouseEvent OnHeaderMouseDown;
  TDTHeaderMouseEvent OnHeaderMouseUp;
  TDTHeaderMouseMoveEvent OnHeaderMouseMove;
  TDTHeaderDraggingEvent OnHeaderDragging;
  TDTHeaderDraggedEvent OnHeaderDragged;
  TDTHeaderDraggedOutEvent OnHeaderDraggedOut;
  TDTGetHeaderCursorEvent OnGetHeaderCursor;
  TDTHeaderNotifyShiftEvent OnBeforeHeaderHeightTracking;
  TDTHeaderHeightTrackingEvent OnHeaderHeightTracking;
  TDTHeaderNotifyPlainEvent OnAfterHeaderHeightTracking;
  TDTHeaderHeightDblClickResizeEvent OnHeaderHeightDblClickResize;
  TDTBeforeColumnWidthTrackingEvent OnBeforeColumnWidthTracking;
  TDTColumnWidthTrackingEvent OnColumnWidthTracking;
  TDTAfterColumnWidthTrackingEvent OnAfterColumnWidthTracking;
  TDTColumnWidthDblClickResizeEvent OnColumnWidthDblClickResize;
  TDTCanSplitterResizeColumnEvent OnCanSplitterResizeColumn;
  TDTHeaderPaintEvent OnHeaderDraw;
  TDTHeaderPaintQueryElementsEvent OnHeaderDrawQueryElements;
  TDTAdvancedHeaderPaintEvent OnAdvancedHeaderDraw;

  virtual void DoHeaderClick(TDTHeader* Header, TColumnIndex Column, TMouseButton Button, TShiftState Shift,
                             int X, int Y);
  virtual void DoHeaderImageClick(TDTHeader* Header, TColumnIndex Column, TMouseButton Button,
                                  TShiftState Shift, int X, int Y);
  virtual void DoHeaderCheckBoxClick(TDTHeader* Header, TColumnIndex Column, TMouseButton Button,
                                     TShiftState Shift, int X, int Y);
  virtual void DoHeaderMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void DoHeaderMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void DoHeaderMouseMove(TShiftState Shift, int X, int Y);
  virtual bool DoHeaderDragging(TColumnIndex Column);
  virtual void DoHeaderDragged(TColumnIndex Column, std::uint32_t OldPosition);
  virtual void DoHeaderDraggedOut(TColumnIndex Column, TPoint DropPosition);
  virtual void DoGetHeaderCursor(TCursor& Cursor);
  virtual void DoBeforeHeightTracking(TShiftState Shift);
  virtual bool DoHeightTracking(TPoint& P, TShiftState Shift);
  virtual void DoAfterHeightTracking();
  virtual bool DoHeightDblClickResize(TPoint P, TShiftState Shift);
  virtual void DoBeforeColumnWidthTracking(TColumnIndex Column, TShiftState Shift);
  virtual bool DoColumnWidthTracking(TColumnIndex Column, TShiftState Shift, TPoint& TrackPoint, TPoint P);
  virtual void DoAfterColumnWidthTracking(TColumnIndex Column);
  virtual bool DoColumnWidthDblClickResize(TColumnIndex Column, TShiftState Shift, TPoint P);
  virtual void DoHeaderDraw(TCanvas* Canvas, TColumnIndex Column, const TRect& R, bool Hover, bool Pressed,
                            int DropMark);
  virtual void DoHeaderDrawQueryElements(THeaderPaintInfo& PaintInfo, THeaderPaintElements& Elements);
  virtual void DoAdvancedHeaderDraw(THeaderPaintInfo& PaintInfo, THeaderPaintElements Elements);

protected:
  // Check states.
  virtual bool ApplyCheckState(PDataNode Node, TCheckState Value);
  virtual bool CheckParentCheckState(PDataNode Node, TCheckState NewCheckState);
  virtual void DoCheckClick(PDataNode Node, TCheckState NewCheckState);
  // Ends a check press of the keyboard or the mouse without committing it.
  void CancelCheckPress();
  // Selection gestures.
  virtual void HandleClickSelection(PDataNode LastFocused, PDataNode NewNode, TShiftState Shift,
                                    bool DragPending);
  virtual void AddToTempList(PDataNode Node);
  virtual void ClearTempList();
  virtual void UnselectNodes(PDataNode StartNode, PDataNode EndNode);
  // Keyboard.
  virtual bool DoKeyAction(WORD& CharCode, TShiftState& Shift);
  virtual void HandleKeyDown(TMessage& Message);
  virtual void HandleKeyUp(TMessage& Message);
  // Keys other than the navigation keys.
  virtual void HandleCharacterKey(WORD CharCode, TShiftState Shift);
  // Ends a pending or running rubber band and repaints.
  void EndDrawSelection();
  void KeyDown(WORD& Key, TShiftState Shift) override;
  // The control events the platform raises on the tree go through
  // RaiseEvent like the tree's own.
  void KeyUp(WORD& Key, TShiftState Shift) override;
  void KeyPress(char16_t& Key) override;
  void DoEnter() override;
  void DoExit() override;
  void Click() override;
  void DblClick() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  // The platform's handling of a message, which may raise the control's
  // events and run the toolkit: the tree's code after it runs only while
  // the tree lives.
  void inheritedDispatch(TMessage& Message) {
    ThroughToolkit([&] { TCustomControl::Dispatch(Message); });
  }
  virtual bool CanEdit(PDataNode Node, TColumnIndex Column);
  virtual void DoEdit();
  virtual int DoGetHelpContext(PDataNode Node, TColumnIndex Column);
  virtual void DoPopupMenu(PDataNode Node, TColumnIndex Column, TPoint Position);
  virtual void SetFocusedNodeAndColumn(PDataNode Node, TColumnIndex Column);
  // Mouse.
  virtual void HandleMouseDown(TMessage& Message, THitInfo& HitInfo);
  virtual void HandleMouseUp(TMessage& Message, THitInfo& HitInfo);
  virtual void HandleMouseDblClick(TMessage& Message, THitInfo& HitInfo);
  void MouseMove(TShiftState Shift, int X, int Y) override;
  virtual void HandleHotTrack(int X, int Y);
  virtual bool CalculateSelectionRect(int X, int Y);
  virtual bool HandleDrawSelection(int X, int Y);
  virtual bool CollectSelectedNodesLTR(TColumnIndex MainColumn, int NodeLeft, int NodeRight,
                                       TAlignment Alignment, const TRect& OldRect, const TRect& NewRect);
  virtual bool CollectSelectedNodesRTL(TColumnIndex MainColumn, int NodeLeft, int NodeRight,
                                       TAlignment Alignment, const TRect& OldRect, const TRect& NewRect);
  virtual bool DoNodeHeightTracking(PDataNode Node, TColumnIndex Column, TShiftState Shift,
                                    TPoint& TrackPoint, TPoint P);
  virtual bool DoNodeHeightDblClickResize(PDataNode Node, TColumnIndex Column, TShiftState Shift,
                                          TPoint P);
  virtual void DoColumnClick(TColumnIndex Column, TShiftState Shift);
  virtual void DoColumnDblClick(TColumnIndex Column, TShiftState Shift);
  virtual void DoGetCursor(TCursor& Cursor);
  // Incremental search.
  virtual void HandleIncrementalSearch(WORD CharCode);
  void StopIncrementalSearch();
  // Ends every pending gesture (focus or capture lost, a modal window).
  void CancelPendingInput(bool FocusLost);

  // A node reference that is cleared when the node is freed, for the length
  // of one of the tree's own operations.
  //
  // The one rule for owner handlers: a handler may delete any node, the one
  // it was told about included, or clear the whole tree. The tree defers
  // such deletions only while nodes are being freed (see FBranchDepth) and
  // inside the question handlers (see TQueryHandlerCall); elsewhere every
  // operation that holds a node across a handler's call (an event, a change
  // report, a check, a focus or a toggle question) keeps it in a watch and
  // reads it back from the watch after the call. A cleared watch means the node is gone: the operation
  // stops working on it and finishes only what is left (states, repaint).
  //
  // A following watch is for walks in tree order: when its node goes, it
  // moves on to the node that followed the node's subtree (nil at the end),
  // so that a walk goes on with the rows after a deleted one.
  //
  // Watches are kept per node, so that neither making, ending nor freeing
  // costs more with many watches alive (a paste watches every arrival).
  class TNodeWatch {
  public:
    TNodeWatch(TBaseDataTree& Tree, PDataNode Node, bool Following = false);
    ~TNodeWatch();
    TNodeWatch(const TNodeWatch&) = delete;
    TNodeWatch& operator=(const TNodeWatch&) = delete;
    PDataNode Node() const { return FNode; }
    void Reset(PDataNode Node);
    // True when the node went and a following watch moved on.
    bool Passed() const { return FPassed; }
    // True when a handler destroyed the tree (the watch then knows nothing).
    bool TreeGone() const { return FLife.expired(); }

  private:
    friend class TBaseDataTree;
    void link();
    void unlink();
    TBaseDataTree& FTree;
    PDataNode FNode;
    // The other watches of the same node.
    TNodeWatch* FPrev = nullptr;
    TNodeWatch* FNext = nullptr;
    bool FFollowing;
    bool FPassed = false;
    // A handler may destroy the tree itself; the watch then unlinks nothing.
    std::weak_ptr<const bool> FLife;
  };
  // A watch for a step of a loop over many nodes that raises events only
  // when their handlers are set (Raises): a step that raises none keeps its
  // node, and takes no watch.
  class TStepWatch {
  public:
    TStepWatch(TBaseDataTree& Tree, PDataNode Node, bool Raises) : FNode(Node) {
      if (Raises) FWatch.emplace(Tree, Node);
    }
    PDataNode Node() const { return FWatch ? FWatch->Node() : FNode; }

  private:
    PDataNode FNode;
    std::optional<TNodeWatch> FWatch;
  };
  // True when copying a node raises an event (see TStepWatch).
  bool raisesOnCopy() const { return OnNodeCopying || OnNodeCopied; }

  // Message handling helpers.
  void HandleButtonMessage(TMessage& Message);
  void HandleMouseWheel(TMessage& Message);
  void HandleScrollMessage(TMessage& Message);
  bool HandleTreeTimer(int TimerID);
  bool HandleSetCursor(TMessage& Message);
  void HandleMouseLeave();
  bool OwnsNode(PDataNode Node) const;
  PDataNode GetTreeViewNextItem(UINT Code, PDataNode Node);
  bool GetTreeViewItemRect(bool TextOnly, void* Buffer);
  bool GetTreeViewItem(TTVItemW* Item);

  // State of the input handling.
  TCheckState FPendingCheckState = csUncheckedNormal;
  std::vector<PDataNode> FTempNodeList;
  std::uint32_t FTempNodeCount = 0;
  TDTIncrementalSearch FIncrementalSearch = isNone;
  TDTSearchDirection FSearchDirection = sdForward;
  TDTSearchStart FSearchStart = ssFocusedNode;
  std::uint32_t FSearchTimeout = 1000;
  String FSearchBuffer;
  // The first half of a character outside the BMP, waiting for its second.
  char16_t FPendingHighSurrogate = 0;
  bool FWantTabs = false;
  std::uint32_t FEditDelay = 1000;
  std::uint32_t FAutoScrollDelay = 1000;
  TAutoScrollInterval FAutoScrollInterval = 1;
  std::uint32_t FAutoExpandDelay = 1000;
  int FDragThreshold = 5;
  TCursor FHotCursor = crDefault;
  TPoint FLastClickPos;
  TPoint FPanningPosition;
  TRect FSelectRectangle;
  TRect FNewSelRect;
  TShiftState FDrawSelShiftState;
  TScrollDirections FScrollDirections;
  std::uint64_t FScrollTimerStart = 0;
  // The key after the owner's key handlers ran (0 when they consumed it).
  WORD FKeyAfterHandlers = 0;
  // Guards of the check propagation.
  std::uint32_t FCheckCount = 0;
  TColumnIndex FHeightTrackColumn = NoColumn;
  TPoint FHeightTrackPoint;
  // The newest watch of each watched node; the count of following watches.
  // Watches come and go around every handler call: their entries come from
  // a pool of the tree's own rather than one allocation each.
  std::pmr::unsynchronized_pool_resource FWatchPool;
  std::pmr::unordered_map<PDataNode, TNodeWatch*> FWatches{&FWatchPool};
  std::size_t FFollowingWatches = 0;
  bool FReleasingCapture = false;
  HWND FPanningWindow = nullptr;
  std::unique_ptr<TBitmap> FPanningImage;
  HCURSOR FPanningCursor = nullptr;
  int FPanningCursorKind = -1;

private:
  void releaseCapture();
  bool startMouseCheck(PDataNode Node);
  PDataNode heightTrackTarget(const THitInfo& HitInfo);
  void invalidateSelectionBands();
  bool collectSelectedNodes(bool RightToLeft, TColumnIndex MainColumn, int NodeLeft, int NodeRight,
                            TAlignment Alignment, const TRect& OldRect, const TRect& NewRect);
  TScrollDirections rawScrollDirections(int X, int Y);
  void scrollBy(std::int64_t DeltaX, std::int64_t DeltaY);

protected:
  // ==== end of input ====

  // ==== display: tree object, options, header, geometry, painting ==========
public:
  // Event types of the display.
  using TDTGetImageEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TDTImageKind Kind,
                                              TColumnIndex Column, bool& Ghosted, int& ImageIndex)>;
  using TDTGetImageExEvent =
      std::function<void(TBaseDataTree* Sender, PDataNode Node, TDTImageKind Kind, TColumnIndex Column,
                         bool& Ghosted, int& ImageIndex, TImageList*& ImageList)>;
  // The text that stands for a node's picture where no picture can be
  // shown (a screen reader, say).
  using TDTGetImageTextEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TDTImageKind Kind,
                                                  TColumnIndex Column, String& ImageText)>;
  using TDTBeforeItemEraseEvent =
      std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas, PDataNode Node, const TRect& ItemRect,
                         TColor& ItemColor, TItemEraseAction& EraseAction)>;
  using TDTAfterItemEraseEvent = std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas,
                                                    PDataNode Node, const TRect& ItemRect)>;
  using TDTBeforeItemPaintEvent = std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas,
                                                     PDataNode Node, const TRect& ItemRect, bool& CustomDraw)>;
  using TDTAfterItemPaintEvent = std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas,
                                                    PDataNode Node, const TRect& ItemRect)>;
  using TDTBeforeCellPaintEvent =
      std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas, PDataNode Node, TColumnIndex Column,
                         TRect& ContentRect)>;
  using TDTAfterCellPaintEvent = std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas,
                                                    PDataNode Node, TColumnIndex Column, const TRect& CellRect)>;
  using TDTPaintEvent = std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas)>;
  using TDTBackgroundPaintEvent =
      std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas, const TRect& R, bool& Handled)>;
  using TDTGetLineStyleEvent = std::function<void(TBaseDataTree* Sender, const std::uint16_t*& Bits)>;
  using TDTColumnResizeEvent = std::function<void(TDTHeader* Sender, TColumnIndex Column)>;
  using TDTGetCellContentMarginEvent = std::function<void(TBaseDataTree* Sender, HDC DC, PDataNode Node,
                                                          TColumnIndex Column, TPoint& CellContentMargin)>;
  using TDTMaxColumnWidthEvent =
      std::function<void(TDTHeader* Sender, TColumnIndex Column, bool& UseSmartColumnWidth)>;
  using TDTAfterMaxColumnWidthEvent = std::function<void(TDTHeader* Sender, TColumnIndex Column, int& MaxWidth)>;
  using TDTHeaderNotifyEvent = std::function<void(TDTHeader* Sender)>;
  using TDTBeforeAutoFitColumnsEvent = std::function<void(TDTHeader* Sender, TSmartAutoFitType& SmartAutoFitType)>;
  using TDTBeforeAutoFitColumnEvent =
      std::function<void(TDTHeader* Sender, TColumnIndex Column, TSmartAutoFitType& SmartAutoFitType, bool& Allowed)>;
  using TDTAfterAutoFitColumnEvent = std::function<void(TDTHeader* Sender, TColumnIndex Column)>;
  using TDTHeaderSortEvent = std::function<void(TDTHeader* Sender, TColumnIndex Column)>;

  // ---- published display properties ---------------------------------------------
  const String& AccessibleName() const { return FAccessibleName; }
  void SetAccessibleName(const String& Value) { FAccessibleName = Value; }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  // The background picture (empty: none).
  TPicture* Background() const { return FBackground.get(); }
  void SetBackground(const TPicture& Value);
  int BackgroundOffsetX() const { return FBackgroundOffsetX; }
  void SetBackgroundOffsetX(int Value);
  int BackgroundOffsetY() const { return FBackgroundOffsetY; }
  void SetBackgroundOffsetY(int Value);
  TDTButtonFillMode ButtonFillMode() const { return FButtonFillMode; }
  void SetButtonFillMode(TDTButtonFillMode Value);
  TDTButtonStyle ButtonStyle() const { return FButtonStyle; }
  void SetButtonStyle(TDTButtonStyle Value);
  TCheckImageKind CheckImageKind() const { return FCheckImageKind; }
  void SetCheckImageKind(TCheckImageKind Value);
  // The check pictures in use (shared ones or CustomCheckImages).
  TImageList* CheckImages() const { return FCheckImages; }
  TImageList* CustomCheckImages() const { return FCustomCheckImages; }
  void SetCustomCheckImages(TImageList* Value);
  TClipboardFormats& ClipboardFormats() { return *FClipboardFormats; }
  void SetClipboardFormats(const std::vector<String>& Value);
  TDTColors& Colors() { return *FColors; }
  const TDTColors& Colors() const { return *FColors; }
  void SetColors(const TDTColors& Value) { FColors->Assign(Value); }
  TDTNodeAttachMode DefaultPasteMode() const { return FDefaultPasteMode; }
  void SetDefaultPasteMode(TDTNodeAttachMode Value) { FDefaultPasteMode = Value; }
  int DragHeight() const { return FDragHeight; }
  void SetDragHeight(int Value) { FDragHeight = Value; }
  int DragWidth() const { return FDragWidth; }
  void SetDragWidth(int Value) { FDragWidth = Value; }
  TDTDragImageKind DragImageKind() const { return FDragImageKind; }
  void SetDragImageKind(TDTDragImageKind Value) { FDragImageKind = Value; }
  TDragOperations DragOperations() const { return FDragOperations; }
  void SetDragOperations(TDragOperations Value) { FDragOperations = Value; }
  TDTDragType DragType() const { return FDragType; }
  void SetDragType(TDTDragType Value) { FDragType = Value; }
  TDTDrawSelectionMode DrawSelectionMode() const { return FDrawSelectionMode; }
  void SetDrawSelectionMode(TDTDrawSelectionMode Value) { FDrawSelectionMode = Value; }
  TDTHeader& Header() const { return *FHeader; }
  void SetHeader(const TDTHeader& Value);
  THintAnimationType HintAnimation() const { return FHintAnimation; }
  void SetHintAnimation(THintAnimationType Value) { FHintAnimation = Value; }
  TDTHintMode HintMode() const { return FHintMode; }
  void SetHintMode(TDTHintMode Value) { FHintMode = Value; }
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* Value);
  TImageList* StateImages() const { return FStateImages; }
  void SetStateImages(TImageList* Value);
  std::uint32_t Indent() const { return FIndent; }
  void SetIndent(std::uint32_t Value);
  TDTLineMode LineMode() const { return FLineMode; }
  void SetLineMode(TDTLineMode Value);
  TDTLineStyle LineStyle() const { return FLineStyle; }
  void SetLineStyle(TDTLineStyle Value);
  int Margin() const { return FMargin; }
  void SetMargin(int Value);
  int TextMargin() const { return FTextMargin; }
  void SetTextMargin(int Value);
  TDTNodeAlignment NodeAlignment() const { return FNodeAlignment; }
  void SetNodeAlignment(TDTNodeAlignment Value);
  TScrollBarOptions& ScrollBarOptions() { return *FScrollBarOptions; }
  void SetScrollBarOptions(const TScrollBarOptions& Value) { FScrollBarOptions->Assign(Value); }
  std::uint8_t SelectionBlendFactor() const { return FSelectionBlendFactor; }
  void SetSelectionBlendFactor(std::uint8_t Value) { FSelectionBlendFactor = Value; }
  std::uint32_t SelectionCurveRadius() const { return FSelectionCurveRadius; }
  void SetSelectionCurveRadius(std::uint32_t Value);

  // Copies the settings of another tree (not into a read-only tree).
  virtual void Assign(const TBaseDataTree& Source);
  bool CanFocus() const override;
  // Focusing the window runs the owner's focus events (of this and the
  // control losing the focus) through the toolkit.
  void SetFocus() override;
  bool IsEditing() const { return FStates.Contains(tsEditing); }

  // ---- in-place editing (tree/edit.cpp) --------------------------------------------
  // Focuses Node and starts its editor in Column; true when an edit runs.
  virtual bool EditNode(PDataNode Node, TColumnIndex Column);
  // End (accepting the text) or cancel a running or pending edit; false
  // when the editor refused.
  virtual bool EndEditNode();
  virtual bool CancelEditNode();
  virtual bool DoEndEdit();
  virtual bool DoCancelEdit();
  // Places the editor over the focused cell (after a resize or scroll).
  virtual void UpdateEditBounds();
  TColumnIndex EditColumn() const { return FEditColumn; }
  const PDTEditLink& EditLink() const { return FEditLink; }
  // Expires when the tree's destruction begins: code that raised an event
  // checks it before touching the tree again.
  std::weak_ptr<const bool> LifeToken() const { return FLifeToken; }

  // ---- handlers that destroy the tree ------------------------------------------------
  // The events asked from everywhere (states, texts, pictures, heights,
  // every step of a paint, the header's painting and cursor, hints) are
  // raised from far too many places to return by hand from each: when the
  // handler of one destroyed the tree, RaiseEvent unwinds with
  // EDataTreeGone, and the tree's outermost entry (its window procedure,
  // a public operation the program called, a callback of the toolkit)
  // catches it. Nothing on the way touches the tree: every guard and every
  // clean-up checks the life token first. Answers false only where it
  // cannot unwind (a clean-up running while another exception is on its
  // way out): the tree went, and the caller touches nothing more of it.
  template <class Handler, class... Args>
  bool RaiseEvent(const Handler& H, Args&&... A) {
    if (!H) return true;
    // While the tree is being destroyed there is nothing to unwind to.
    if (!FEntryLife) {
      H(std::forward<Args>(A)...);
      return true;
    }
    // Within an entry, the entry's hold keeps the record for this check.
    // An operation on a node the handler deleted ends here (see NodeEntry).
    if (FEntryDepth > 0) {
      TEntryLife* life = FEntryLife;
      {
        const TFrame frame(*this, life);
        H(std::forward<Args>(A)...);
      }
      if (life->Alive) {
        if (FLostOperations != 0) [[unlikely]]
          endLostOperation();
        return true;
      }
      unwindGone(life);
      return false;
    }
    const TLifeHold life(FEntryLife);
    H(std::forward<Args>(A)...);
    if (!life.Gone()) return true;
    unwindGone(nullptr);
    return false;
  }
  // Runs an operation the program (or the toolkit) called. Only the
  // outermost entry catches EDataTreeGone: it then answers false and its
  // caller returns at once, touching nothing of the tree. A nested entry
  // (an operation called from a handler) passes it on, and unwinds as well
  // when its work returned into a tree that went.
  //
  // Messages are entries too, but one the toolkit delivers returns into
  // the toolkit, not into the operation that caused it (a paint now, a
  // resize): an operation whose node went there ends when the toolkit
  // returns into it (ThroughToolkit) or at its next raise (EndsLost false).
  template <bool EndsLost = true, class Work>
  bool GuardedEntry(Work&& W) {
    // While the tree is being destroyed its own clean-up runs as it is.
    if (!FEntryLife) {
      W();
      return true;
    }
    if (FEntryDepth > 0) {
      // The outer entry's hold keeps the record: no hold of its own.
      TEntryLife* life = FEntryLife;
      // Called by a clean-up while a failure passes that the outer entry
      // did not see: its unwinding cannot reach that entry, so this one
      // catches it, as the outermost does.
      if (failuresPassing() > life->Uncaught) [[unlikely]]
        return unwindingEntry(life, W);
      {
        const TFrame frame(*this, life);
        W();
      }
      if (life->Alive) {
        if (EndsLost && FLostOperations != 0) [[unlikely]]
          endLostOperation();
        return true;
      }
      unwindGone(life);
      return false;
    }
    const TLifeHold life(FEntryLife);
    TEntryDepth depth(*this, life);
    FFrameDepth = 0;
    // A raise may unwind up to here even inside a destructor that runs
    // while another failure passes (see unwindGone).
    FEntryLife->Uncaught = failuresPassing();
    try {
      W();
    } catch (const EControlGone&) {
      // Another tree's unwinding is no business of this one; an operation
      // ending while the tree went ends with the tree.
      if (!life.Gone()) throw;
      return false;
    }
    return !life.Gone();
  }
  // The same rule for an operation on one node (the node it toggles,
  // checks, expands or walks from): after every raise of any event on the
  // way, the operation goes on only while its node lives. When a handler
  // deleted it, the raise unwinds with EDataNodeGone up to here, so that
  // nothing after it reads the node; clean-ups on the way put the tree's
  // states right as for any failure. Answers false then (or Neutral).
  template <class Work>
  bool NodeEntry(PDataNode Node, Work&& W) {
    bool whole = false;
    const bool alive = GuardedEntry([&] { whole = nodeOperation(Node, W); });
    return alive && whole;
  }
  template <class R, class Work>
  R NodeEntry(PDataNode Node, R Neutral, Work&& W) {
    R result = Neutral;
    if (!NodeEntry(Node, [&] { result = W(); })) return Neutral;
    return result;
  }
  // The same with the operation's answer: Neutral when the tree went.
  template <class R, class Work>
  R GuardedEntry(R Neutral, Work&& W) {
    R result = Neutral;
    if (!GuardedEntry([&] { result = W(); })) return Neutral;
    return result;
  }
  // Runs W, then F on every way out while the tree lives (F puts back what
  // W changed, and may raise events itself). When F's handler destroys the
  // tree while W's failure passes, that failure goes with the tree.
  template <class Work, class Finish>
  void WithFinish(Work&& W, Finish&& F) {
    if (!FEntryLife) {
      W();
      F();
      return;
    }
    const TLifeHold life(FEntryLife);
    try {
      W();
    } catch (...) {
      if (!life.Gone()) F();
      throw;
    }
    if (!life.Gone()) F();
  }
  // Work of this tree that calls into Other (a copy or a move into another
  // tree) runs as an entry of Other as well: a handler of Other that
  // destroys it ends the work there (false, or Neutral), while the
  // unwinding of this tree passes on to this tree's entry.
  template <class Work>
  bool withOtherTree(TBaseDataTree& Other, Work&& W) {
    if (&Other == this) {
      W();
      return true;
    }
    return Other.GuardedEntry(std::forward<Work>(W));
  }
  template <class R, class Work>
  R withOtherTree(TBaseDataTree& Other, R Neutral, Work&& W) {
    if (&Other == this) return W();
    return Other.GuardedEntry(Neutral, std::forward<Work>(W));
  }
  // An entry the toolkit calls (a hint being measured): the unwinding never
  // crosses into the toolkit, however deep the tree's own entries are; the
  // code that ran the toolkit's loop checks the life token afterwards.
  template <class Work>
  bool ToolkitEntry(Work&& W) {
    const TLifeHold life(FEntryLife);
    try {
      return GuardedEntry<false>(std::forward<Work>(W));
    } catch (const EDataTreeGone&) {
      return false;
    } catch (const EDataNodeGone& gone) {
      // An operation below the toolkit lost its node: it ends when the
      // toolkit returns into it (see ThroughToolkit), not across it.
      if (!life.Gone()) static_cast<TNodeOperation*>(const_cast<void*>(gone.Operation))->Ending = false;
      return false;
    }
  }
  // Runs W, which goes through the toolkit and back into the tree at once:
  // a paint now, a message sent to the window, a scroll bar whose change
  // resizes the frame. A handler that destroys the tree on the way unwinds
  // only up to where the toolkit delivers the message, so W returns as if
  // nothing happened: this unwinds again then, as RaiseEvent does.
  template <class Work>
  void ThroughToolkit(Work&& W) {
    if (!FEntryLife) {
      W();
      return;
    }
    const TLifeHold life(FEntryLife);
    const TEntryLife* entry = FEntryDepth > 0 ? FEntryLife : nullptr;
    W();
    if (life.Gone()) {
      unwindGone(entry);
      return;
    }
    if (FLostOperations != 0) endLostOperation();
  }
  // Paints what is invalid in the window now (see ThroughToolkit).
  void UpdateTreeWindow();
  TDTCreateEditorEvent OnCreateEditor;

  // ---- hints and tool tips (tree/hints.cpp) ---------------------------------------
  // The hint of a node (the control's own hint unless a descendant knows
  // better) and the tool tip of a cell.
  virtual String DoGetNodeHint(PDataNode Node, TColumnIndex Column, TDTTooltipLineBreakStyle& LineBreakStyle);
  virtual String DoGetNodeToolTip(PDataNode Node, TColumnIndex Column, TDTTooltipLineBreakStyle& LineBreakStyle);
  // HintAnimation, with the desktop's setting for hatSystemDefault.
  virtual THintAnimationType DoGetAnimationType();
  virtual THintWindowClass GetHintWindowClass();
  TRect LastHintRect() const { return FLastHintRect; }

  // ---- accessibility (tree/accessibility_factory.cpp) -------------------------------
  // The tree's own accessible object and its item's, made on first request.
  const PAccessible& Accessible() const { return FAccessible; }
  const PAccessible& AccessibleItem() const { return FAccessibleItem; }

protected:
  // CM_HINTSHOW: whether, where and with which window a hint shows.
  void HandleHintShow(TMessage& Message);
  void HandleHintShowPause(TMessage& Message);
  // WM_GETOBJECT.
  void HandleGetObject(TMessage& Message);
  // The owner's editor, or nil when it offers none.
  virtual PDTEditLink DoCreateEditor(PDataNode Node, TColumnIndex Column);
  // The tree or the edited node is going: the editor stops without
  // reporting back (and stores no text).
  void DetachEditor();

private:
  PDTEditLink FEditLink;
  // Set while an edit is being ended or cancelled, so that an edit event
  // that ends or cancels it again does not re-enter the editor.
  bool FEditEnding = false;
  std::shared_ptr<const bool> FLifeToken = std::make_shared<const bool>(true);
  // The tree's life as its entries and raises see it, on the GUI thread:
  // the same answer as the life token for the cost of a plain count, since
  // an entry or a raise is made for every node added and every cell
  // painted. The record outlives the tree until the last hold goes.
  struct TEntryLife {
    int Holds = 1;  // the tree's own, and one per hold on the stack
    bool Alive = true;
    // Failures on their way out when the innermost catching entry began.
    int Uncaught = 0;
  };
protected:
  // The tree's life for code that raised an event, as the life token
  // answers it, for a plain count instead of an atomic one. Taken while
  // the tree is being destroyed it answers gone at once.
  class TLifeHold {
  public:
    explicit TLifeHold(TEntryLife* Life) : FLife(Life) {
      if (FLife) ++FLife->Holds;
    }
    ~TLifeHold() {
      if (FLife) release(FLife);
    }
    TLifeHold(const TLifeHold&) = delete;
    TLifeHold& operator=(const TLifeHold&) = delete;
    bool Gone() const { return !FLife || !FLife->Alive; }
    bool expired() const { return Gone(); }
    static void release(TEntryLife* Life) {
      if (--Life->Holds == 0) delete Life;
    }

  private:
    TEntryLife* FLife;
  };

  // The same answers inside one of the tree's entries, whose hold keeps
  // the record: without a hold of its own.
  class TEntryLifeView {
  public:
    explicit TEntryLifeView(const TEntryLife* Life) : FLife(Life) {}
    bool Gone() const { return !FLife || !FLife->Alive; }
    bool expired() const { return Gone(); }

  private:
    const TEntryLife* FLife;
  };
  // Only within an entry (GuardedEntry's work).
  TEntryLifeView entryLife() const { return TEntryLifeView(FEntryLife); }
  // A hold of the tree's life anywhere on the GUI thread: what the life
  // token answers, for a plain count (code run for every node).
  TLifeHold lifeHold() const { return TLifeHold(FEntryLife); }

private:
  TEntryLife* FEntryLife = new TEntryLife;
  // Entries of the tree on the stack (see GuardedEntry).
  int FEntryDepth = 0;
  struct TEntryDepth {
    TEntryDepth(TBaseDataTree& Tree, const TLifeHold& Life) : FTree(Tree), FLife(Life) { ++FTree.FEntryDepth; }
    ~TEntryDepth() {
      if (!FLife.Gone()) --FTree.FEntryDepth;
    }
    TEntryDepth(const TEntryDepth&) = delete;
    TEntryDepth& operator=(const TEntryDepth&) = delete;
    TBaseDataTree& FTree;
    const TLifeHold& FLife;
  };
  // Throws EDataTreeGone, unless more failures are on their way out than
  // when the innermost catching entry began (Life; none outside an entry):
  // a clean-up raising an event while it unwinds cannot throw, so that one
  // goes on, and the clean-up's own check of the token returns.
  static void unwindGone(const TEntryLife* Life);
  // A nested entry run while a failure passes that its outer entry did not
  // see: it catches the tree's unwinding itself.
  template <class Work>
  bool unwindingEntry(TEntryLife* Life, Work& W) {
    const int outer = Life->Uncaught;
    Life->Uncaught = failuresPassing();
    try {
      const TFrame frame(*this, Life);
      W();
    } catch (const EDataTreeGone&) {
      if (!Life->Alive) return false;
      Life->Uncaught = outer;
      throw;
    } catch (...) {
      if (Life->Alive) Life->Uncaught = outer;
      throw;
    }
    if (!Life->Alive) return false;
    Life->Uncaught = outer;
    return true;
  }

  // ---- operations on a node (see NodeEntry) -----------------------------------
  // Frames of work inside the outermost entry: each handler the tree calls
  // and each nested entry (an operation the tree or a handler runs inside
  // another) is one deeper. An operation belongs to the frame it was begun
  // in, and only a raise in that frame ends it: the work of a deeper frame
  // (a deletion under way, a handler's own code) is finished whole, and the
  // operation ends where that frame returns into it.
  int FFrameDepth = 0;
  struct TFrame {
    TFrame(TBaseDataTree& Tree, const TEntryLife* Life) : FTree(Tree), FLife(Life) { ++FTree.FFrameDepth; }
    ~TFrame() {
      if (FLife->Alive) --FTree.FFrameDepth;
    }
    TFrame(const TFrame&) = delete;
    TFrame& operator=(const TFrame&) = delete;
    TBaseDataTree& FTree;
    const TEntryLife* FLife;
  };
  struct TNodeOperation {
    PDataNode Node;
    int Level;
    bool Lost;
    TNodeOperation* Outer;
    // Its end is on the way: the clean-ups it passes raise events freely.
    bool Ending = false;
    // The failure being handled when it began: while another one is (a
    // clean-up of a failure passing), the operation is not ended under it,
    // so that failure goes on to its caller.
    std::exception_ptr Handling;
  };
  // The frame whose clean-up is running (see TFinishing), -1 for none.
  int FFinishingFrame = -1;
  // For its life, the operations of the current frame are not ended: a
  // bracket or a state put back runs whole; the operation ends after it.
  struct TFinishing {
    explicit TFinishing(TBaseDataTree& Tree)
        : FTree(Tree), FLife(Tree.FEntryLife), FOuter(Tree.FFinishingFrame) {
      FTree.FFinishingFrame = FTree.FFrameDepth;
    }
    ~TFinishing() {
      if (FLife && FLife->Alive) FTree.FFinishingFrame = FOuter;
    }
    TFinishing(const TFinishing&) = delete;
    TFinishing& operator=(const TFinishing&) = delete;
    TBaseDataTree& FTree;
    const TEntryLife* FLife;
    const int FOuter;
  };
  // The rows changed: the position cache is made anew and, outside an
  // update bracket, the scroll bars and the window follow.
  void rowsChanged();
  // Runs W inside an update bracket and State (a full expand or collapse).
  void walkInBracket(TDataTreeState State, const std::function<void()>& W);
  // The running operations on nodes, innermost first, and how many of them
  // lost their node.
  TNodeOperation* FNodeOperations = nullptr;
  int FLostOperations = 0;
  template <class Work>
  bool nodeOperation(PDataNode Node, Work& W) {
    if (!Node || Node == FRoot || FDestroying) {
      W();
      return true;
    }
    TNodeOperation op{Node, FFrameDepth, false, FNodeOperations, false, std::current_exception()};
    FNodeOperations = &op;
    const TEntryLifeView life = entryLife();
    try {
      W();
    } catch (const EDataNodeGone& gone) {
      if (life.Gone()) throw;
      endOperation(op);
      if (gone.Operation != &op) throw;
      return false;
    } catch (...) {
      // The failure goes on as it is.
      if (!life.Gone()) popOperation(op);
      throw;
    }
    // A raise that could not unwind returns here from a tree that went.
    if (life.Gone()) return false;
    endOperation(op);
    return true;
  }
  void popOperation(TNodeOperation& Op) {
    FNodeOperations = Op.Outer;
    if (Op.Lost) --FLostOperations;
  }
  void endOperation(TNodeOperation& Op) {
    popOperation(Op);
    // An operation around this one, begun in the same frame, whose node
    // went meanwhile ends as well.
    if (FLostOperations != 0) endLostOperation();
  }
  // A node freed: the operations on it are lost.
  void loseOperations(PDataNode Node) {
    for (TNodeOperation* op = FNodeOperations; op; op = op->Outer)
      if (op->Node == Node && !op->Lost) {
        op->Lost = true;
        ++FLostOperations;
      }
  }
  // Unwinds to the outermost lost operation of the current frame.
  [[gnu::noinline]] void endLostOperation();
  TRect FLastHintRect;
  PAccessible FAccessible, FAccessibleItem;
  TDTHintData FHintData;

public:
  bool IsMouseSelecting() const {
    return FStates.Contains(tsDrawSelPending) || FStates.Contains(tsDrawSelecting);
  }

  // ---- focus, offsets and scrolling -----------------------------------------------
  void SetFocusedColumn(TColumnIndex Value);
  void SetOffsetX(int Value);
  void SetOffsetY(int Value);
  TPoint OffsetXY() const { return {FOffsetX, FOffsetY}; }
  void SetOffsetXY(TPoint Value);
  // The horizontal offset in reading order (positive).
  int EffectiveOffsetX() const;
  // The scroll ranges in 64 bits: trees may be taller than an int holds.
  std::int64_t RangeY64() const { return FRangeY64; }
  PDataNode TopNode();
  void SetTopNode(PDataNode Node);
  PDataNode BottomNode();
  void SetBottomNode(PDataNode Node);
  bool ScrollIntoView(PDataNode Node, bool Center, bool Horizontally = false);
  bool ScrollIntoView(TColumnIndex Column, bool Center);
  enum TScrollUpdateOption : std::uint8_t {
    suoRepaintHeader, suoRepaintScrollBars, suoScrollClientArea, suoUpdateNCArea
  };
  using TScrollUpdateOptions = TSet<TScrollUpdateOption>;
  static constexpr TScrollUpdateOptions DefaultScrollUpdateFlags{
      suoRepaintHeader, suoRepaintScrollBars, suoScrollClientArea, suoUpdateNCArea};
  virtual bool DoSetOffsetXY(TPoint Value, TScrollUpdateOptions Options,
                             const TRect* ClipRect = nullptr);
  void UpdateVerticalScrollBar(bool DoRepaint);
  void UpdateHorizontalScrollBar(bool DoRepaint);

  // ---- geometry, hit testing and repainting -----------------------------------------
  TRect GetDisplayRect(PDataNode Node, TColumnIndex Column, bool TextOnly, bool Unclipped = false,
                       bool ApplyCellContentMargin = false);
  virtual void GetHitTestInfoAt(int X, int Y, bool Relative, THitInfo& HitInfo);
  int GetMaxColumnWidth(TColumnIndex Column, bool UseSmartColumnWidth = false);
  PDataNode GetVisibleParent(PDataNode Node);
  virtual void GetTextInfo(PDataNode Node, TColumnIndex Column, const TFont* AFont, TRect& R,
                           String& Text);
  void InvalidateColumn(TColumnIndex Column);
  void SelectAll(bool VisibleOnly);
  // The widest extent of any node that was painted or measured.
  int GetMaxRightExtend();
  // The image of a cell; -1 when it has none.
  int GetImageIndex(PDataNode Node, TDTImageKind Kind, TColumnIndex Column, bool& Ghosted,
                    TImageList*& List);
  bool HasImage(PDataNode Node, TDTImageKind Kind, TColumnIndex Column);
  // Frame widths around the client area (border, bevels).
  TSize GetBorderDimensions();
  // The header area in window coordinates, recomputed from the frame.
  void UpdateHeaderRect();
  // Paints the header into its strip of the frame (after the frame itself).
  void PaintHeaderInFrame();
  TRect HeaderRect() const { return FHeaderRect; }
  // Painting a part of the tree onto any canvas (Window in tree coordinates).
  void RenderTree(TCanvas* TargetCanvas, TRect Window, TPoint Target, TPaintTreeOptions Options,
                  TPixelFormat PixelFormat = pfDevice);
  // Pictures of the expand buttons and the line pattern.
  void PrepareBitmaps(bool NeedButtons, bool NeedLines);
  TBitmap* PlusBitmap() const { return FPlusBM.get(); }
  TBitmap* MinusBitmap() const { return FMinusBM.get(); }
  // Line image of a row and the number of its selected ancestors.
  int DetermineLineImageAndSelectLevel(PDataNode Node, std::vector<TDTLineType>& LineImage);
  void GetVerticalAlignment(PDataNode Node, bool HasNormalImage, bool HasStateImage, int& VAlign,
                            int& ButtonY);
  // The node under the mouse, the column and whether the button zone is hot.
  PDataNode HotNode() const { return FCurrentHotNode; }
  TColumnIndex HotColumn() const { return FHotColumn; }
  void SetHotColumn(TColumnIndex Value) { FHotColumn = Value; }
  bool MouseOverButton() const { return FMouseOverButton; }
  void SetMouseOverButton(bool Value) { FMouseOverButton = Value; }
  TDTDropMode LastDropMode() const { return FLastDropMode; }
  void SetLastDropMode(TDTDropMode Value) { FLastDropMode = Value; }
  PDataNode DropTargetNode() const { return FDropTargetNode; }
  void SetDropTargetNode(PDataNode Value) { FDropTargetNode = Value; }
  // The current rubber band in tree coordinates (input code keeps it).
  TRect SelectRect;
  // The editor's node and column while editing.
  PDataNode FEditNode = nullptr;
  TColumnIndex FEditColumn = NoColumn;

  // ---- display events ---------------------------------------------------------
  TDTGetImageEvent OnGetImageIndex;
  TDTGetImageExEvent OnGetImageIndexEx;
  TDTGetImageTextEvent OnGetImageText;
  TDTBeforeItemEraseEvent OnBeforeItemErase;
  TDTAfterItemEraseEvent OnAfterItemErase;
  TDTBeforeItemPaintEvent OnBeforeItemPaint;
  TDTAfterItemPaintEvent OnAfterItemPaint;
  TDTBeforeCellPaintEvent OnBeforeCellPaint;
  TDTAfterCellPaintEvent OnAfterCellPaint;
  TDTPaintEvent OnBeforePaint;
  TDTPaintEvent OnAfterPaint;
  TDTBackgroundPaintEvent OnPaintBackground;
  TDTGetLineStyleEvent OnGetLineStyle;
  TDTColumnResizeEvent OnColumnResize;
  TDTGetCellContentMarginEvent OnGetCellContentMargin;
  TDTMaxColumnWidthEvent OnBeforeGetMaxColumnWidth;
  TDTAfterMaxColumnWidthEvent OnAfterGetMaxColumnWidth;
  TDTBeforeAutoFitColumnsEvent OnBeforeAutoFitColumns;
  TDTHeaderNotifyEvent OnAfterAutoFitColumns;
  TDTBeforeAutoFitColumnEvent OnBeforeAutoFitColumn;
  TDTAfterAutoFitColumnEvent OnAfterAutoFitColumn;
  TDTHeaderSortEvent OnHeaderSortChanged;

  // ---- display dispatchers --------------------------------------------------------
  virtual void DoGetImageIndex(PDataNode Node, TDTImageKind Kind, TColumnIndex Column, bool& Ghosted,
                               int& Index, TImageList*& List);
  virtual String DoGetImageText(PDataNode Node, TDTImageKind Kind, TColumnIndex Column);
  virtual void DoShowScrollBar(int Bar, bool Show);
  virtual void DoColumnResize(TColumnIndex Column);
  virtual TPoint DoGetCellContentMargin(PDataNode Node, TColumnIndex Column);
  virtual bool DoBeforeItemPaint(TCanvas* Canvas, PDataNode Node, const TRect& ItemRect);
  virtual void DoAfterItemPaint(TCanvas* Canvas, PDataNode Node, const TRect& ItemRect);
  virtual void DoBeforeCellPaint(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, TRect& ContentRect);
  virtual void DoAfterCellPaint(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, const TRect& CellRect);
  virtual void DoBeforePaint(TCanvas* Canvas);
  virtual void DoAfterPaint(TCanvas* Canvas);
  virtual bool DoPaintBackground(TCanvas* Canvas, const TRect& R);
  virtual void DoBeforeItemErase(TCanvas* Canvas, PDataNode Node, const TRect& ItemRect, TColor& Color,
                                 TItemEraseAction& EraseAction);
  virtual void DoAfterItemErase(TCanvas* Canvas, PDataNode Node, const TRect& ItemRect);
  virtual void DoPaintDropMark(TCanvas* Canvas, PDataNode Node, const TRect& R);
  virtual void DoGetLineStyle(const std::uint16_t*& Bits);
  virtual void DoSort(TColumnIndex Column, TSortDirection Direction);
  // Orders the children of Node (nil: the top level) by OnCompareNodes.
  virtual void Sort(PDataNode Node, TColumnIndex Column, TSortDirection Direction, bool DoInit = true);
  virtual void SortTree(TColumnIndex Column, TSortDirection Direction, bool DoInit = true);
  // The classification of a row's parts under a point (the input code's).
  virtual void DetermineHitPositionLTR(THitInfo& HitInfo, int X, int Right, TAlignment Alignment);
  virtual void DetermineHitPositionRTL(THitInfo& HitInfo, int X, int Right, TAlignment Alignment);
  // Header notifications.
  virtual void HeaderChanged(bool ColumnsChanged);
  // A column change that moves content (scroll range, repaint).
  void ColumnsChanged();

protected:
  void Paint() override;
  void Resize() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // A descendant's own options class takes over the current settings.
  void SetOptionsObject(std::unique_ptr<TCustomDataTreeOptions> Value);
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  // Per-cell painting steps a descendant may override.
  virtual void PaintNonClientFrame(HDC DC);
  virtual void DrawCheckImage(TCanvas* Canvas, const TDTImageInfo& ImageInfo, bool Selected);
  virtual void DrawNodeImage(TCellPaintInfo& PaintInfo, TVTImageInfoIndex Slot, bool DoOverlay);
  virtual void DrawExpandButton(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, const TRect& CellRect,
                                int ButtonX, int ButtonY, TBiDiMode BidiMode);
  virtual void DrawTreeLines(TCellPaintInfo& PaintInfo, int VAlign, int IndentSize,
                             const std::vector<TDTLineType>& LineImage);
  virtual void DrawRubberBand(TCanvas* Canvas, int WindowLeft, const TRect& SelRect, const TRect& Target);
  virtual void PaintCellBackground(TCellPaintInfo& PaintInfo, int WindowLeft, int PaintWidth);
  // The text of a cell (the string tree draws it).
  virtual void PaintNodeCell(TCellPaintInfo& PaintInfo) { (void)PaintInfo; }
  // Widens a cell over empty neighbours; NextNonEmpty is the next column to paint.
  virtual void AdjustCellRectangle(TCellPaintInfo& PaintInfo, TColumnIndex& NextNonEmpty);
  void DrawLineImage(TCellPaintInfo& PaintInfo, int X, int Y, int H, int VAlign, TDTLineType Style,
                     bool Reverse);
  void DrawDottedHLine(TCellPaintInfo& PaintInfo, int Left, int Right, int Top);
  void DrawDottedVLine(TCellPaintInfo& PaintInfo, int Top, int Bottom, int Left, bool UseSelectedBG = false);
  void ClearNodeBackground(TCellPaintInfo& PaintInfo, bool UseBackground, bool Floating, TRect R);
  void TileBackground(TBitmap* Source, TCanvas* Target, const TRect& R, TPoint Offset);
  void StaticBackground(TBitmap* Source, TCanvas* Target, const TRect& R, TPoint Offset);
  void PlaceImage(TImageList* List, bool RightToLeft, TRect& ContentRect, TDTImageInfo& Info, int VAlign);
  void ShiftByIndent(TCellPaintInfo& PaintInfo, int Levels);
  void GetMainColumnInfo(int& Index, int& Left, int& Width, int PaintOrigin) const;
  void SetClipRegion(TCanvas* Canvas, const TRect& R);
  // Called with the font redirect while a cell's text is drawn.
  bool FFontChanged = false;
  // The widest node extent met (horizontal range without columns): rows
  // are measured as they are painted, so a million rows are never walked
  // for it; emptied with the tree.
  int FMaxRightExtend = 0;
  bool FRangeXUpdatePosted = false;
  // Rows went away (collapsed, deleted, hidden): the widest extent is being
  // measured again by the next paint of the whole window, and the range
  // may then shrink to it.
  bool FRangeXRemeasure = false;
  // How far right a row reaches: its indentation, pictures and cell width.
  int nodeRightExtend(PDataNode Node, int NodeWidth);
  void requestRangeXUpdate(bool WholeWindowPainted);
  void measureRowsInWindow();
  // The next shown row of a width walk whose row is held in a following watch.
  PDataNode nextMeasured(TNodeWatch& Watch);
  // Thrown away nodes must never be reached by a running paint.
  bool paintingGuardActive() const { return FStates.Contains(tsPainting); }
  // A rectangle of the client area repainted without erasing.
  void invalidateClientRect(const TRect& R);
  std::int64_t verticalRange() const;

private:
  friend class TDTColors;
  friend class TScrollBarOptions;
  friend class TDTHeader;
  friend class TDataTreeColumn;
  friend class TDataTreeColumns;
  void checkImagesChanged();
  void imageListChanged(TImageList* List);
  // The picture lists and menus that the tree and its header refer to are
  // each watched once for being freed (see Notification): a slot that
  // changes from Old to New lets go of Old only when no other slot still
  // refers to it.
  void referenceChanged(TComponent* Old, TComponent* New);
  bool refersTo(const TComponent* AComponent) const;
  int buttonWidth() const;
  // Where the expand button starts inside its indentation step.
  int buttonOffset() const;
  int buttonHeight() const;
  bool useThemes() const;
  void drawThemedButton(TCanvas* Canvas, bool Expanded, int X, int Y, int W, int H);
  // Paints the header into a context whose origin is the window's corner.
  void paintHeaderInto(HDC DC);
  // Paints the client area into a context at Target (printing messages).
  void printClient(HDC DC, TPoint Target);
  void drawShadedButton(TCanvas& C, bool Minus, TColor Line);
  void paintSpaceBelow(TCanvas* TargetCanvas, TBitmap& Buffer, TRect Window, TPoint Target,
                       TRect TargetRect, int MaximumRight, int MaximumBottom, TColumnIndex FirstColumn,
                       bool UseBackground, TPaintTreeOptions PaintOptions, TPixelFormat PixelFormat);

  String FAccessibleName;
  TAlignment FAlignment = taLeftJustify;
  std::unique_ptr<TPicture> FBackground;
  int FBackgroundOffsetX = 0;
  int FBackgroundOffsetY = 0;
  TDTButtonFillMode FButtonFillMode = fmTreeColor;
  TDTButtonStyle FButtonStyle = bsRectangle;
  TCheckImageKind FCheckImageKind = ckSystemDefault;
  TImageList* FCheckImages = nullptr;
  TImageList* FCustomCheckImages = nullptr;
  std::unique_ptr<TClipboardFormats> FClipboardFormats;
  std::unique_ptr<TDTColors> FColors;
  TDTNodeAttachMode FDefaultPasteMode = amAddChildLast;
  int FDragHeight = 350;
  int FDragWidth = 200;
  TDTDragImageKind FDragImageKind = diComplete;
  TDragOperations FDragOperations{doCopy, doMove};
  TDTDragType FDragType = dtOLE;
  TDTDrawSelectionMode FDrawSelectionMode = smDottedRectangle;
  std::unique_ptr<TDTHeader> FHeader;
  THintAnimationType FHintAnimation = hatSystemDefault;
  TDTHintMode FHintMode = hmDefault;
  TImageList* FImages = nullptr;
  TImageList* FStateImages = nullptr;
  std::uint32_t FIndent = 18;
  TDTLineMode FLineMode = lmNormal;
  TDTLineStyle FLineStyle = lsDotted;
  int FMargin = 4;
  int FTextMargin = 4;
  TDTNodeAlignment FNodeAlignment = naProportional;
  std::unique_ptr<TScrollBarOptions> FScrollBarOptions;
  std::uint8_t FSelectionBlendFactor = 128;
  std::uint32_t FSelectionCurveRadius = 0;
  std::unique_ptr<TBitmap> FPlusBM, FMinusBM, FHotPlusBM, FHotMinusBM;
  HBRUSH FDottedBrush = nullptr;
  TRect FHeaderRect;
  TColumnIndex FHotColumn = NoColumn;
  bool FMouseOverButton = false;
  TDTDropMode FLastDropMode = dmNowhere;
  std::int64_t FRangeY64 = 0;
  // Window redrawing is off for the outermost update bracket.
  bool FRedrawOff = false;
  // Subscriptions to the picture lists' changes, so a change repaints.
  std::unique_ptr<TChangeLink> FImagesLink, FStateImagesLink, FCheckImagesLink;

public:
  // ==== end of display ======================================================

  // ==== drag and drop and the clipboard ======================================
  using TFormatArray = std::vector<std::uint16_t>;
  using TDTDragOverEvent =
      std::function<void(TBaseDataTree* Sender, TObject* Source, TShiftState Shift, TDragState State, TPoint Pt,
                         TDTDropMode Mode, std::uint32_t& Effect, bool& Accept)>;
  using TDTDragDropEvent =
      std::function<void(TBaseDataTree* Sender, TObject* Source, const std::shared_ptr<IDataObject>& DataObject,
                         const TFormatArray& Formats, TShiftState Shift, TPoint Pt, std::uint32_t& Effect,
                         TDTDropMode Mode)>;
  using TDTCreateDataObjectEvent =
      std::function<void(TBaseDataTree* Sender, std::shared_ptr<IDataObject>& DataObject)>;
  using TDTCreateDragManagerEvent =
      std::function<void(TBaseDataTree* Sender, std::shared_ptr<IDTDragManager>& DragManager)>;
  using TDTGetUserClipboardFormatsEvent = std::function<void(TBaseDataTree* Sender, TFormatEtcArray& Formats)>;
  using TDTRenderOLEDataEvent = std::function<void(TBaseDataTree* Sender, const TFormatEtc& FormatEtcIn,
                                                   TStgMedium& Medium, bool ForClipboard, HRESULT& Result)>;

  // Puts the selection on the clipboard; a cut moves it at the next paste.
  virtual void CopyToClipboard();
  virtual void CutToClipboard();
  // Inserts the clipboard's tree data at the focused node.
  virtual bool PasteFromClipboard();
  void CancelCutOrCopy();
  // Inserts tree data from a paste or a drop at TargetNode. Optimized: the
  // data comes from Source, a tree of this process, whose nodes are moved.
  virtual bool ProcessOLEData(TBaseDataTree* Source, const std::shared_ptr<IDataObject>& DataObject,
                              PDataNode TargetNode, TDTNodeAttachMode Mode, bool Optimized);
  // Starts a drag: at once, or after the mouse moved Threshold pixels.
  void BeginDrag(bool Immediate, int Threshold = -1);
  bool Dragging() const override;
  IDTDragManager* DragManager();
  TDTDragImage* DragImage() const { return FDragImage.get(); }
  // Repaints R (client coordinates) of this tree at once while Source's own
  // drag picture may lie over it, then lets the picture take anew what it
  // shows through (showing itself again when asked). UpdateNCArea repaints
  // the frame (header, scroll bars) too.
  virtual void RepaintAroundDragImage(TBaseDataTree* Source, TRect R, bool UpdateNCArea, bool ReshowDragImage);
  // The tree's number in the registry of live trees.
  std::uint64_t TreeToken() const { return FTreeToken; }
  // Told by a clipboard data object of this tree as it goes: true (and
  // forgotten) when it carried the tree's current cut or copy, the last one
  // put on (or waiting for) the clipboard. An older one's release ends
  // nothing.
  bool ReleaseClipboardCopy(const IDataObject* DataObject);
  virtual HRESULT RenderOLEData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium, bool ForClipboard);
  virtual void GetNativeClipboardFormats(TFormatEtcArray& Formats);
  // The tree of this process that a data object comes from, or nil.
  virtual TBaseDataTree* GetTreeFromDataObject(IDataObject* DataObject);
  // The target side of a drag (points in screen coordinates). A drag that
  // no drop target takes reaches the control's own handling as well.
  using TCustomControl::DragOver;
  using TCustomControl::DragDrop;
  virtual HRESULT DragEnter(std::uint32_t KeyState, TPoint Pt, std::uint32_t& Effect);
  virtual HRESULT DragOver(TObject* Source, std::uint32_t KeyState, TDragState DragState, TPoint Pt,
                           std::uint32_t& Effect);
  virtual void DragLeave();
  virtual HRESULT DragDrop(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t KeyState, TPoint Pt,
                           std::uint32_t& Effect);
  // Ends a drag on the source side.
  virtual void DragFinished();
  virtual void DoDragExpand();
  virtual std::uint32_t SuggestDropEffect(TObject* Source, TShiftState Shift, TPoint Pt,
                                          std::uint32_t AllowedEffects);
  virtual void DoDragging(TPoint P);
  // Runs the platform's drag of DataObject with this tree as the source.
  virtual void DoDragDrop(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t AllowedEffects,
                          std::uint32_t& Effect);
  PDataNode LastVCLDragTarget() const { return FLastVCLDragTarget; }
  std::uint32_t VCLDragEffect() const { return FVCLDragEffect; }

  TDTDragOverEvent OnDragOver;
  TDTDragDropEvent OnDragDrop;
  TDTCreateDataObjectEvent OnCreateDataObject;
  TDTCreateDragManagerEvent OnCreateDragManager;
  TDTGetUserClipboardFormatsEvent OnGetUserClipboardFormats;
  TDTRenderOLEDataEvent OnRenderOLEData;

  virtual bool DoDragOver(TObject* Source, TShiftState Shift, TDragState State, TPoint Pt, TDTDropMode Mode,
                          std::uint32_t& Effect);
  virtual void DoDragDrop(TObject* Source, const std::shared_ptr<IDataObject>& DataObject,
                          const TFormatArray& Formats, TShiftState Shift, TPoint Pt, std::uint32_t& Effect,
                          TDTDropMode Mode);
  virtual std::shared_ptr<IDataObject> DoCreateDataObject();
  virtual std::shared_ptr<IDTDragManager> DoCreateDragManager();
  virtual HRESULT DoRenderOLEData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium, bool ForClipboard);
  virtual void DoGetUserClipboardFormats(TFormatEtcArray& Formats);

protected:
  void DoStartDrag(TDragObject*& DragObject) override;
  void DoEndDrag(TObject* Target, int X, int Y) override;
  // Messages of the clipboard and the drag (true when handled).
  bool DispatchDragAndClipboard(TMessage& Message);
  // The window takes drops while toAcceptOLEDrop is set.
  void UpdateDropTarget();

private:
  void handleFrameworkDrag(TMessage& Message);
  void deleteCutNodes();
  void prepareDragImage(const std::shared_ptr<IDataObject>& DataObject);
  TShiftState dragShiftState(std::uint32_t KeyState) const;
  std::shared_ptr<IDTDragManager> FDragManager;
  std::unique_ptr<TDTDragImage> FDragImage;
  std::uint64_t FTreeToken = 0;
  // The data object of the current cut or copy (compared only, never used).
  const IDataObject* FClipboardCopy = nullptr;
  PDataNode FLastVCLDragTarget = nullptr;
  std::uint32_t FVCLDragEffect = DROPEFFECT_NONE;
  bool FDropTargetRegistered = false;
  // Set up and given up with the tree.
  void initDragAndClipboard();
  void releaseDragAndClipboard();

public:
  // ==== end of drag and drop and the clipboard ===============================

protected:
  // ---- initialisation on demand -------------------------------------------
  virtual void InitNode(PDataNode Node);
  virtual void InitChildren(PDataNode Node);

  // ---- position cache -------------------------------------------------------
  // Fills the cache on the worker thread. The worker calls the tree's own
  // fill, never an override: a tree may be in its destructor while the
  // worker still holds it.
  virtual bool ValidateCache();
  virtual void InvalidateCache();
  void ExpireCache();

  // ---- change notification ----------------------------------------------------
  virtual void Change(PDataNode Node);
  virtual void StructureChange(PDataNode Node, TChangeReason Reason);
  virtual void AdviseChangeEvent(bool IsStructureChange, PDataNode Node, TChangeReason Reason);
  virtual void DetermineHiddenChildrenFlag(PDataNode Node);
  virtual void DetermineHiddenChildrenFlagAllNodes();
  virtual void Animate(std::uint32_t Steps, std::uint32_t Duration,
                       const TDTAnimationCallback& Callback, void* Data);
  virtual void MarkCutCopyNodes();

  // ---- dispatchers -------------------------------------------------------------
  virtual bool DoBeforeDrag(PDataNode Node, TColumnIndex Column);
  virtual void DoCanEdit(PDataNode Node, TColumnIndex Column, bool& Allowed);
  virtual void DoChange(PDataNode Node);
  virtual void DoChecked(PDataNode Node);
  virtual bool DoChecking(PDataNode Node, TCheckState& NewCheckState);
  virtual void DoCollapsed(PDataNode Node);
  virtual bool DoCollapsing(PDataNode Node);
  virtual int DoCompare(PDataNode Node1, PDataNode Node2, TColumnIndex Column);
  virtual void DoExpanded(PDataNode Node);
  virtual bool DoExpanding(PDataNode Node);
  virtual void DoFocusChange(PDataNode Node, TColumnIndex Column);
  virtual bool DoFocusChanging(PDataNode OldNode, PDataNode NewNode, TColumnIndex OldColumn,
                               TColumnIndex NewColumn);
  virtual void DoFocusNode(PDataNode Node, bool Ask);
  virtual void DoFreeNode(PDataNode Node);
  virtual bool DoGetCellIsEmpty(PDataNode Node, TColumnIndex Column);
  virtual void DoGetNodeDataSize(int& Size);
  virtual int DoGetNodeWidth(PDataNode Node, TColumnIndex Column, TCanvas* Canvas);
  virtual void DoHotChange(PDataNode Old, PDataNode New);
  virtual int DoIncrementalSearch(PDataNode Node, const String& Text);
  virtual void DoInitChildren(PDataNode Node, std::uint32_t& ChildCount);
  virtual void DoInitNode(PDataNode Parent, PDataNode Node, TDataNodeInitStates& InitStates);
  virtual void DoMeasureItem(TCanvas* TargetCanvas, PDataNode Node, int& NodeHeight);
  virtual void DoNodeCopied(PDataNode Node);
  virtual bool DoNodeCopying(PDataNode Node, PDataNode NewParent);
  virtual void DoNodeMoved(PDataNode Node);
  virtual bool DoNodeMoving(PDataNode Node, PDataNode NewParent);
  virtual void DoReset(PDataNode Node);
  virtual void DoScroll(int DeltaX, int DeltaY);
  virtual void DoStateChange(TDataTreeStates Enter, TDataTreeStates Leave = {});
  virtual void DoStructureChange(PDataNode Node, TChangeReason Reason);
  virtual void DoUpdating(TDTUpdateState State);

  // ---- selection internals ---------------------------------------------------
  virtual bool InternalAddToSelection(PDataNode const* NewItems, int NewLength, bool ForceInsert);
  virtual void InternalRemoveFromSelection(PDataNode Node);
  virtual void InternalClearSelection();
  virtual void ResetRangeAnchor();
  void PackArray();

  // ---- window glue (kept in one place; painting issues fill these in) --------
  virtual void UpdateScrollBars(bool DoRepaint);
  // Recomputes the scroll ranges from the row heights.
  virtual void UpdateRanges();
  // Slides the rows below a node while it opens or closes (Height: the
  // rows that appear or go), before the node's flags and counts change.
  virtual void ToggleAnimation(PDataNode Node, bool Expanding, std::int64_t Height);
  // Brings what a toggle opened into view, or keeps the node in place when
  // rows came or went above it; true when the whole window is to be
  // repainted.
  bool ScrollAfterToggle(PDataNode Node, bool Expanded, std::int64_t HeightDelta);
  void InvalidateToBottom(PDataNode Node);
  virtual TRect InvalidateNode(PDataNode Node);
  void RepaintNode(PDataNode Node);
  void InvalidateWindow();
  void StartTreeTimer(int TimerID, std::uint32_t Interval);
  void StopTimer(int TimerID);
  bool TreeHandleAllocated() const;
  // Posts a cache report to the tree's window; the worker calls this.
  bool PostChangeState(std::uintptr_t EnterMask, std::intptr_t LeaveMask);
  // Empties the system clipboard when it still holds this tree's cut or copy.
  virtual void ReleaseClipboardIfOwner();
  // A WM_CHANGESTATE report of the worker arrived.
  void HandleChangeState(std::uintptr_t EnterMask, std::intptr_t LeaveMask);
  // One of the change timers fired.
  void HandleChangeTimer(int TimerID);

  // Node references that other parts of the tree keep; each is forgotten
  // when its node is freed.
  PDataNode FCurrentHotNode = nullptr;
  PDataNode FDropTargetNode = nullptr;
  PDataNode FCheckNode = nullptr;
  PDataNode FLastSearchNode = nullptr;
  PDataNode FHeightTrackNode = nullptr;

  // Unlinks Node from its parent and siblings, keeping the parent chain's
  // counts and heights; the node itself is not freed.
  virtual void InternalDisconnectNode(PDataNode Node, bool KeepFocus, bool Reindex = true);
  // Adjust the count and height chains from Node up.
  void AdjustTotalCount(PDataNode Node, std::int64_t Value, bool Relative = false);
  void AdjustTotalHeight(PDataNode Node, std::int64_t Value, bool Relative = false);

private:
  PDataNode MakeNewNode();
  // Gives the node's memory back (every node goes through here, a million
  // at a time when a tree is cleared: the lists that may name the node are
  // seen to out of line, and only when there are any).
  void freeNodeMemory(PDataNode Node) {
    if (!FDeferredSet.empty() || !FBranchRequested.empty() || (Node->Reserved & nrListed))
      forgetNodeNoted(Node);
    FNodeArena.Free(Node);
    ++FFreedNodes;
  }
  // The waiting deletions and requests that name the node forget it, and a
  // listing that held it counts it freed.
  [[gnu::noinline]] void forgetNodeNoted(PDataNode Node);
  // The free handler told of a node that goes, then its memory given back
  // (unless the handler destroyed the tree, which took the memory).
  [[gnu::noinline]] void freeNodeTold(PDataNode Node);
  // The node whose free handler runs: it is out of the tree, so nothing is
  // added below it, moved into it, or moved back from it meanwhile.
  PDataNode FFreeingNode = nullptr;
  // Deleting a node: told to the owner first (deleteAnnounced), then taken
  // out with its children (removeNode; false when a handler deleted it
  // first). Kept out of line so that the recursion through a deep branch
  // uses small frames.
  [[gnu::noinline]] void deleteAnnounced(PDataNode Node, bool Reindex);
  [[gnu::noinline]] bool removeNode(PDataNode Node, bool Reindex, const TNodeWatch* Watch);
  // After a handler failed while Node's children went: the children left
  // stay, and Node's counts and the notes of their runs are made right
  // again. Child is the one that was going (it may still be there), and
  // Shown whether Node's children are rows of the visible count.
  void keepChildrenLeft(PDataNode Node, PDataNode Child, bool Shown);
  // After a free handler failed below Node (a node going with a cleared
  // parent): the part of the branch left, from From up to Node, is counted
  // and noted again.
  void keepBranchLeft(PDataNode Node, PDataNode From);
  void createRoot();
  void applyStateMask(std::uintptr_t mask, TDataTreeStates& into) const;
  PDataNode walkToNodeAt(std::uint32_t Y, int& NodeTop);
  std::uint32_t userDataOffset() const {
    return std::uint32_t(alignUp(NodeHeaderSize + std::size_t(FInternalDataSize), DataAlignment));
  }
  bool childrenAbove() const { return FOptions->PaintOptions().Contains(toChildrenAbove); }
  // The first visible child of an expanded Node, initialising Node's
  // children and each child passed on the way; null when none shows.
  PDataNode firstVisibleChildInitialised(PDataNode Node);
  bool readOnly() const { return FOptions->MiscOptions().Contains(toReadOnly); }
  PDataNode nextVisibleNoInit(PDataNode Node, bool aboveOrder) const;
  void findShownAncestor(PDataNode Node, PDataNode& shown, PDataNode& hiddenTop) const;
  // Resolves nil to the root and makes sure Node's own children exist.
  PDataNode parentWithChildren(PDataNode Node);
  // Initialises Node on first access; passes nil through.
  PDataNode initialized(PDataNode Node);
  PDataNode visibleChild(PDataNode Node, bool fromLast);
  PDataNode firstVisibleNoInit(bool aboveOrder) const;
  PDataNode nextShownNoInit(PDataNode Node, bool aboveOrder) const;
  bool fillPositionCache();
  void nextCacheGeneration();
  // Every run of hidden siblings (as long as it goes: nodes on both sides
  // are visible or missing), by its two ends: the first hidden node of the
  // run maps to the last and the last to the first; a run of one maps to
  // itself. Painting asks about every row and each of its ancestors for
  // their next visible sibling, so a run must never be walked to answer
  // it, not even once on the first frame of a new tree: every change that
  // hides, shows, links or unlinks a node keeps the ends right at once.
  // Each change reads the two neighbours of the node; only where they are
  // hidden does it touch the map, so a tree without hidden nodes pays a
  // bit test. Showing a node inside a run is the one change that has to
  // find the run's ends, walking both ways at once to the nearer one.
  // A node whose children all go drops their notes at once, and nothing
  // is noted for them until they are gone. GUI thread only.
  std::unordered_map<PDataNode, PDataNode> FHiddenRuns;
  // The other end of the run that begins or ends at End (a hidden node
  // whose neighbour on that side is visible or missing).
  PDataNode hiddenRunOtherEnd(PDataNode End) const;
  void setHiddenRun(PDataNode First, PDataNode Last) {
    FHiddenRuns[First] = Last;
    FHiddenRuns[Last] = First;
  }
  // The run that ends at From (on one side) ends at its neighbour To now.
  void moveHiddenRunEnd(PDataNode From, PDataNode To);
  // Node, linked and hidden, has just been hidden: the runs on either side
  // (if any) and Node become one.
  void hiddenRunsJoin(PDataNode Node);
  // Node, linked and hidden, is about to leave its run (unlinked or shown).
  void hiddenRunsLeave(PDataNode Node);
  // Node, linked and visible, now lies between its siblings: a run it
  // falls into is split in two.
  void hiddenRunsSplit(PDataNode Node);
  // Node, linked and visible, is about to be unlinked: the runs on either
  // side become one.
  void hiddenRunsClose(PDataNode Node);
  // Node has just been linked, visible or hidden.
  void hiddenRunsLinked(PDataNode Node);
  // Node is about to be unlinked.
  void hiddenRunsUnlinking(PDataNode Node) {
    if (Node->States.Contains(vsVisible))
      hiddenRunsClose(Node);
    else
      hiddenRunsLeave(Node);
  }
  // Notes the runs among Parent's children anew (after a reorder).
  void noteHiddenRuns(PDataNode Parent);
  // Drops the notes of the runs among Parent's children, which are all
  // about to go.
  void forgetHiddenRuns(PDataNode Parent);
  PDataNode firstVisibleChild(PDataNode Parent) const;
  PDataNode lastVisibleChild(PDataNode Parent) const;
  PDataNode previousVisibleSiblingKnown(PDataNode Node) const;

  void forgetNode(PDataNode Node);
  // Moves the following watches of a node about to go on to the node after
  // its subtree (the node is still linked).
  void passFollowingWatches(PDataNode Node) {
    if (FFollowingWatches != 0) passWatchesFollowing(Node);
  }
  [[gnu::noinline]] void passWatchesFollowing(PDataNode Node);
  // Frees everything below Node, deepest first, without recursion and
  // without telling anyone but the free handler: Node's children are going
  // with a node being cleared. False when a free handler destroyed the tree
  // (Life is nil while the tree is being destroyed: nothing is checked).
  bool freeDescendants(PDataNode Node, const std::weak_ptr<const bool>* Life);
  // Inline: adding one child at a time is the common way to fill a tree.
  [[gnu::always_inline]] inline void appendChildren(PDataNode Node, std::uint32_t Count);
  // AddChild within its entry.
  PDataNode addChild(PDataNode Parent, void* UserData);
  // A structure change the one waiting covers already (the same node, and
  // the same reason or reasons merged before): telling it changes nothing.
  // Asked for every child added to a parent inside a bracket.
  bool sameStructureChangeWaiting(PDataNode Node, TChangeReason Reason) const {
    return FStates.Contains(tsStructureChangePending) && FLastStructureChangeNode == Node &&
           (FLastStructureChangeReason == Reason || FLastStructureChangeReason == crAccumulated) &&
           !(FRunningTimers & (1u << unsigned(StructureChangeTimer)));
  }
  // A child of a node being cleared goes with its branch; false when a free
  // handler destroyed the tree.
  bool deleteGoingChild(PDataNode Node, bool Reindex, const std::weak_ptr<const bool>* Life);

  // While a node's children go (DeleteChildren, and so Clear, the deletion
  // of a node with children and a collapse that frees them), the free
  // handler is called for each node in the middle of the loop. A deletion
  // that a handler asks for then waits until the outermost such loop is
  // done: the loop never meets a node that went under it, and no node's
  // rows are taken off the counts twice. The focus inside the branch is
  // told lost before the loop begins, while all of the branch is there
  // (see loseFocusInBranch); only a focus a handler put back into it is
  // told at the loop's end.
  enum class TBranchRequestKind : std::uint8_t { Node, Children, Clear, Move };
  struct TBranchRequest {
    PDataNode Node;
    TBranchRequestKind Kind;
    bool ResetHasChildren;
    // A move that waits: where to, how, and whether only Node's children.
    PDataNode Target = nullptr;
    TDTNodeAttachMode Mode = amNoWhere;
    bool ChildrenOnly = false;
  };
  bool branchGoing() const { return FBranchDepth > 0 && !FDestroying; }
  // Before a branch goes (Node's children, and Node itself WithNode): a
  // focus inside it is lost and told at once. False when Node or the tree
  // went meanwhile.
  bool loseFocusInBranch(PDataNode Node, bool WithNode);
  void requestWhileBranchGoes(PDataNode Node, TBranchRequestKind Kind, bool ResetHasChildren = false);
  // Called when the outermost loop is done: tells the lost focus and
  // carries out the deletions asked for meanwhile.
  void finishBranchDeletion();
  // The same after an owner's handler failed: the lost focus is told and
  // the deletions asked for are dropped.
  void abandonBranchDeletion();
  // A branch that goes, from the moment its lost focus is told until it is
  // gone (Root's children, and Root itself WithRoot): none of its nodes
  // takes the focus or the selection meanwhile, which the handler would be
  // told of only after the node was freed. Innermost first.
  struct TGoingBranch {
    TGoingBranch(TBaseDataTree& Tree, const TNodeWatch& Root, bool WithRoot)
        : Tree(Tree), Root(Root), WithRoot(WithRoot), Outer(Tree.FGoingBranches), Linked(!Tree.FDestroying) {
      if (Linked) Tree.FGoingBranches = this;
    }
    ~TGoingBranch() {
      if (Linked && !Root.TreeGone()) Tree.FGoingBranches = Outer;
    }
    TGoingBranch(const TGoingBranch&) = delete;
    TGoingBranch& operator=(const TGoingBranch&) = delete;
    TBaseDataTree& Tree;
    const TNodeWatch& Root;
    const bool WithRoot;
    TGoingBranch* const Outer;
    const bool Linked;
  };
  bool nodeGoing(PDataNode Node) const { return FGoingBranches && Node && nodeInGoingBranch(Node); }
  bool nodeInGoingBranch(PDataNode Node) const;
  // A move within the tree while a branch goes, of a row of it or into it:
  // it waits for the branch's end (false when it does not touch one).
  bool moveWaitsForBranch(PDataNode Source, PDataNode Target, TDTNodeAttachMode Mode, bool ChildrenOnly);
  TGoingBranch* FGoingBranches = nullptr;
  int FBranchDepth = 0;
  // Changes of the rows that handlers make (rows added, linked, expanded,
  // collapsed, shown, hidden) count up FStructureGen. A branch that goes
  // takes its shown rows off the visible count as it begins; when a handler
  // changed rows meanwhile, the count is taken again from what is left at
  // the end of the outermost one (FBranchGen is the count at its start).
  std::uint64_t FStructureGen = 0;
  std::uint64_t FBranchGen = 0;
  void enterBranch() {
    if (FBranchDepth++ == 0) FBranchGen = FStructureGen;
  }
  void leaveBranch() {
    if (--FBranchDepth == 0 && FBranchGen != FStructureGen) recountVisible();
  }
  void recountVisible() { FVisibleCount = CountVisibleChildren(FRoot); }
  bool FBranchFocusLost = false;
  bool FFinishingBranch = false;
  std::vector<TBranchRequest> FBranchRequests;
  // The nodes of those requests still alive, with the number of requests
  // each (a freed node leaves at once: its address may be given again).
  std::unordered_map<PDataNode, unsigned> FBranchRequested;

  // The handlers that only answer a question about a node (OnInitNode,
  // OnGetText, OnGetImageIndex, OnPaintText, OnMeasureItem) are called from
  // everywhere: walks, painting, measuring, export, search. The code around
  // such a call keeps using the node and its neighbours afterwards, so a
  // deletion asked for from inside one of them is not carried out at once:
  // the nodes are noted and deleted when the message loop next runs, unless
  // they went some other way meanwhile.
protected:
  class TQueryHandlerCall {
  public:
    explicit TQueryHandlerCall(TBaseDataTree& Tree) : FTree(Tree), FLife(Tree.FLifeToken) {
      ++FTree.FQueryHandlerDepth;
    }
    // The handler may even have destroyed the tree.
    ~TQueryHandlerCall() {
      if (!FLife.expired()) --FTree.FQueryHandlerDepth;
    }
    TQueryHandlerCall(const TQueryHandlerCall&) = delete;
    TQueryHandlerCall& operator=(const TQueryHandlerCall&) = delete;

  private:
    TBaseDataTree& FTree;
    std::weak_ptr<const bool> FLife;
  };

private:
  bool deletionMustWait() const;
  // The same for the children of Parent (the node deleted, or the one
  // whose children go).
  bool deletionMustWait(PDataNode Parent) const;
  void deferDeletion(PDataNode Node);
  // Asks the message loop to carry out the waiting deletions, once.
  void postDeferredDeletions();
  // Notes the children of Parent from the Keep-th on.
  void deferChildrenDeletion(PDataNode Parent, std::uint32_t Keep);
  void runDeferredDeletions();
  int FQueryHandlerDepth = 0;
  // The node whose children the program is asked for (OnInitChildren).
  PDataNode FChildrenAsked = nullptr;
  std::vector<PDataNode> FDeferredDeletions;
  std::unordered_set<PDataNode> FDeferredSet;  // those of them still alive
  HWND FDeferWindow = nullptr;
  bool FDeferPosted = false;

public:
  // The ends of every run of hidden siblings as noted (see FHiddenRuns), for
  // checks against a recount.
  const std::unordered_map<PDataNode, PDataNode>& hiddenRunEnds() const { return FHiddenRuns; }
  // Deletions waiting for the message loop (see TQueryHandlerCall).
  std::size_t PendingDeletionCount() const { return FDeferredSet.size(); }

protected:
  // The next visible sibling of a visible node, skipping hidden runs by
  // their known ends (GUI thread only).
  PDataNode nextVisibleSiblingKnown(PDataNode Node) const;
  // The next shown row after a shown Node in top-down order (painting).
  PDataNode nextPaintedRow(PDataNode Node) const;

private:
  bool applicationTerminating() const;

  PDataNode FRoot = nullptr;
  std::uint32_t FDefaultNodeHeight = 18;
  std::uint32_t FUpdateCount = 0;
  int FNodeDataSize = -1;
  TDataTreeStates FStates;
  PDataNode FFocusedNode = nullptr;
  TColumnIndex FFocusedColumn = NoColumn;
  TChangeReason FLastStructureChangeReason = crIgnore;
  PDataNode FLastStructureChangeNode = nullptr;
  PDataNode FLastChangedNode = nullptr;

  // Position cache. Written by the worker only while it holds the tree;
  // read on the GUI thread only while the cache is marked usable.
  std::vector<TCacheEntry> FPositionCache;
  std::uint32_t FVisibleCount = 0;
  std::uint32_t FStartIndex = 0;
  // Set by the GUI thread to make a running fill stop; read by the worker.
  std::atomic<bool> FStopValidation{false};
  // True while the tree is queued for the worker or the worker holds it.
  std::atomic<bool> FWorkerBusy{false};
  // Number of the current validation pass; reports of older passes are
  // ignored. Changed on the GUI thread while the worker cannot hold the
  // tree; read by the worker under the worker's lock.
  std::atomic<std::uint32_t> FCacheGeneration{0};
  bool FCacheChildrenAbove = false;
  // While above 0 an operation is between steps: nothing is queued for the
  // worker until the whole operation is done.
  int FCacheHold = 0;
  // Holds the cache for a toggle, whose handlers may destroy the tree.
  struct TToggleCacheHold {
    TToggleCacheHold(int& c, std::weak_ptr<const bool> Life) : Count(c), FLife(std::move(Life)) { ++Count; }
    ~TToggleCacheHold() { reset(); }
    TToggleCacheHold(const TToggleCacheHold&) = delete;
    TToggleCacheHold& operator=(const TToggleCacheHold&) = delete;
    void reset() {
      if (FHeld && !FLife.expired()) --Count;
      FHeld = false;
    }
    int& Count;
    std::weak_ptr<const bool> FLife;
    bool FHeld = true;
  };
  // The frame of a running toggle animation: which part of the client
  // area shows its rows moved and by how much (see paintToggleFrame).
  enum TToggleSlide : std::uint8_t { tgNone, tgDown, tgUp, tgTopUp };
  TToggleSlide FToggleSlide = tgNone;
  int FToggleBand = 0;
  int FToggleShift = 0;
  void paintToggleFrame(const TRect& Update);
  void renderShifted(const TRect& Area, int Shift);
  void fillToggleStrip(const TRect& Area);
  // The window the worker reports to, captured on the GUI thread.
  HWND FCacheWindow = nullptr;
  // Tree timers that are running (bit = timer id), so stopping an idle
  // timer costs nothing.
  std::uint32_t FRunningTimers = 0;

  // Selection: node pointers sorted by address. During an update bracket a
  // removed entry is marked by setting its lowest bit and packed later, and
  // nodes selected batch by batch (arrivals of a paste, one at a time) wait
  // behind the first FSortedSelection entries, to be merged in once when
  // the store is next searched (see settleSelection): merging each batch
  // at once would move the whole store per node.
  mutable std::vector<PDataNode> FSelection;
  std::uint32_t FSelectionCount = 0;
  mutable std::uint32_t FSortedSelection = 0;
  void settleSelection() const;
  // Entries marked for removal and not packed yet.
  std::uint32_t FMarkedSelectionEntries = 0;
  bool FSelectionLocked = false;
  PDataNode FRangeAnchor = nullptr;
  int FLastSelectionLevel = -1;

  int FOffsetX = 0;
  int FOffsetY = 0;
  int FRangeX = 0;
  int FRangeY = 0;
  std::uint32_t FBottomSpace = 0;
  int FInternalDataSize = 0;
  std::uint32_t FChangeDelay = 0;
  std::uint32_t FAnimationDuration = 200;
  int FOperationCount = 0;
  bool FOperationCanceled = false;
  std::unique_ptr<TCustomDataTreeOptions> FOptions;
  bool FDestroying = false;
  TNodeArena FNodeArena;
};

// The tree that owns a node: walks up to the hidden root, which keeps its
// tree in the parent link.
TBaseDataTree* TreeFromNode(PDataNode Node);
