// In-place editing, the tree's side: starting an editor on the focused cell,
// placing it, and ending or cancelling it. The tree talks to the editor only
// through its edit link. Every owner event on these paths may destroy the
// tree; the code checks the tree's life token after each before going on.
#include "platform/core/exception.h"
#include "platform/gui/forms.h"
#include "tree/base_tree.h"

namespace {

// Clears the re-entry flag on the way out, unless the tree went meanwhile.
class TEditReentryGuard {
public:
  TEditReentryGuard(const TBaseDataTree& Tree, bool& Flag) : FLife(Tree.LifeToken()), FFlag(Flag) { FFlag = true; }
  ~TEditReentryGuard() {
    if (!FLife.expired()) FFlag = false;
  }
  TEditReentryGuard(const TEditReentryGuard&) = delete;
  TEditReentryGuard& operator=(const TEditReentryGuard&) = delete;

private:
  std::weak_ptr<const bool> FLife;
  bool& FFlag;
};

}  // namespace

PDTEditLink TBaseDataTree::DoCreateEditor(PDataNode Node, TColumnIndex Column) {
  PDTEditLink link;
  RaiseEvent(OnCreateEditor, this, Node, Column, link);
  return link;
}

bool TBaseDataTree::EditNode(PDataNode Node, TColumnIndex Column) {
  return GuardedEntry(false, [&]() -> bool {
    TAMRIX_ASSERT(Node != nullptr, "Node must not be nil.");
    TAMRIX_ASSERT(Column >= NoColumn && Column < std::max(Header().Columns().Count(), 0),
                  "Column must be a valid column index (-1 if no header is shown).");
    if (FStates.Contains(tsEditing) || readOnly()) return FStates.Contains(tsEditing);
    const std::weak_ptr<const bool> life = LifeToken();
    // The focus, editing and initialisation handlers may delete the node.
    TNodeWatch watch(*this, Node);
    // They may take columns away too: a column that went is not edited, one
    // that moved is named anew.
    TDataTreeColumns& columns = Header().Columns();
    TDataTreeColumn* const column = columns.IsValidColumn(Column) ? columns[Column] : nullptr;
    auto columnThere = [&] {
      if (!column) return true;
      if (!columns.Contains(column)) return false;
      Column = column->Index();
      return true;
    };
    SetFocusedNode(Node);
    if (life.expired()) return false;
    if (!watch.Node() || FFocusedNode != Node || !columnThere()) return false;
    const bool allowed = CanEdit(Node, Column);
    if (life.expired() || !watch.Node() || !allowed || !columnThere()) return false;
    FEditColumn = Column;
    if (!Node->States.Contains(vsInitialized)) InitNode(Node);
    if (life.expired() || !watch.Node()) return false;
    DoEdit();
    return !life.expired() && FStates.Contains(tsEditing);
  });
}

void TBaseDataTree::DoEdit() {
  if (Application) Application->CancelHint();
  StopTimer(ScrollTimer);
  StopTimer(EditTimer);
  DoStateChange({}, {tsEditPending});
  PDataNode node = FFocusedNode;
  if (!node || node->States.Contains(vsDisabled) || readOnly() || FEditLink) return;
  const std::weak_ptr<const bool> life = LifeToken();
  // Every handler below may delete the node: once it is gone the edit ends
  // (see forgetNode), and nothing here touches the node again.
  TNodeWatch watch(*this, node);
  PDTEditLink link = DoCreateEditor(node, FEditColumn);
  // The handler may have taken the column away (see TDataTreeColumns::Update).
  if (life.expired() || !link || !watch.Node() || FFocusedNode != node || FEditColumn == InvalidColumn) return;
  FEditLink = link;
  DoStateChange({tsEditing}, {tsToggleFocusedSelection, tsClearPending, tsDrawSelPending, tsDrawSelecting,
                              tsMouseCheckPending, tsOLEDragging, tsOLEDragPending, tsScrolling, tsScrollPending});
  if (life.expired()) return;
  if (watch.Node())
    ScrollIntoView(node, FOptions->SelectionOptions().Contains(toCenterScrollIntoView),
                   !FOptions->AutoOptions().Contains(toDisableAutoscrollOnEdit));
  if (life.expired()) return;
  // From here on the editor lies over the node's cell and follows it.
  if (watch.Node() && FEditLink == link) FEditNode = node;
  bool prepared = watch.Node() && FEditLink == link && link->PrepareEdit(this, node, FEditColumn);
  if (life.expired()) return;
  if (prepared && FEditLink == link && watch.Node()) {
    UpdateEditBounds();
    RepaintNode(node);
    bool begun = link->BeginEdit();
    if (life.expired()) return;
    if (!begun) DoStateChange({}, {tsEditing});
  } else if (FEditLink == link) {
    DoStateChange({}, {tsEditing});
  }
  if (!FStates.Contains(tsEditing) && FEditLink == link) {
    FEditLink.reset();
    FEditNode = nullptr;
  }
}

bool TBaseDataTree::DoEndEdit() {
  return GuardedEntry(false, [&]() -> bool {
    StopTimer(EditTimer);
    bool result = true;
    if (FStates.Contains(tsEditing) && FEditLink) {
      if (FEditEnding) return false;
      const std::weak_ptr<const bool> life = LifeToken();
      PDTEditLink link = FEditLink;
      // The new-text handler may delete the edited node; the focus may have
      // moved meanwhile: the report names the node that was edited, if any.
      TNodeWatch edited(*this, FEditNode);
      {
        TEditReentryGuard guard(*this, FEditEnding);
        result = link->EndEdit();
      }
      if (life.expired()) return result;
      if (result) {
        DoStateChange({}, {tsEditing});
        if (FEditLink == link) {
          FEditLink.reset();
          FEditNode = nullptr;
        }
        if (edited.Node()) RaiseEvent(OnEdited, this, edited.Node(), FEditColumn);
        if (life.expired()) return result;
      }
    }
    DoStateChange({}, {tsEditPending});
    return result;
  });
}

bool TBaseDataTree::DoCancelEdit() {
  return GuardedEntry(false, [&]() -> bool {
    StopTimer(EditTimer);
    DoStateChange({}, {tsEditPending});
    if (!FStates.Contains(tsEditing) || !FEditLink) return true;
    if (FEditEnding) return false;
    const std::weak_ptr<const bool> life = LifeToken();
    PDTEditLink link = FEditLink;
    bool result;
    {
      TEditReentryGuard guard(*this, FEditEnding);
      result = link->CancelEdit();
    }
    if (life.expired() || !result) return result;
    DoStateChange({}, {tsEditing});
    if (FEditLink == link) {
      FEditLink.reset();
      FEditNode = nullptr;
    }
    RaiseEvent(OnEditCancelled, this, FEditColumn);
    return result;
  });
}

bool TBaseDataTree::EndEditNode() {
  return GuardedEntry(false, [&]() -> bool {
    if (!FStates.Contains(tsEditing) && !FStates.Contains(tsEditPending)) return true;
    return DoEndEdit();
  });
}

bool TBaseDataTree::CancelEditNode() {
  return GuardedEntry(false, [&]() -> bool {
    if (!TreeHandleAllocated() || (!FStates.Contains(tsEditing) && !FStates.Contains(tsEditPending))) return true;
    return DoCancelEdit();
  });
}

void TBaseDataTree::DetachEditor() {
  StopTimer(EditTimer);
  FStates = FStates - TDataTreeStates{tsEditing, tsEditPending};
  FEditNode = nullptr;
  PDTEditLink link = std::move(FEditLink);
  if (!link) return;
  if (auto* own = dynamic_cast<TStringEditLink*>(link.get()))
    own->TreeDestroying();
  else
    link->CancelEdit();
}

void TBaseDataTree::UpdateEditBounds() {
  // The rectangles are asked of the owner's handlers, which may destroy the
  // tree: a call of the program is an entry.
  GuardedEntry([&] {
    if (!FStates.Contains(tsEditing) || !FEditLink || !FEditNode) return;
    PDataNode node = FEditNode;
    TRect r = GetDisplayRect(node, FEditColumn, !node->States.Contains(vsMultiline));
    // The handlers asked may have ended the edit (its node or column went) or
    // moved its column.
    if (!FEditLink || FEditNode != node) return;
    const TColumnIndex column = FEditColumn;
    TDataTreeColumns& columns = Header().Columns();
    const bool realColumn = Header().UseColumns() && columns.IsValidColumn(column);
    if (realColumn && FOptions->MiscOptions().Contains(toGridExtensions)) {
      TDataTreeColumn* c = columns[column];
      TAlignment a = c->Alignment();
      if (c->UseRightToLeftReading() && a != taCenter) a = a == taLeftJustify ? taRightJustify : taLeftJustify;
      const TRect cell = GetDisplayRect(node, column, false);
      if (!FEditLink || FEditNode != node || FEditColumn != column) return;
      if (a == taRightJustify) r.Right = cell.Right;
      if (a == taCenter) {
        r.Left = cell.Left;
        r.Right = cell.Right;
      }
    }
    if (FOptions->PaintOptions().Contains(toShowHorzGridLines)) --r.Bottom;
    FEditLink->SetBounds(r);
  });
}
