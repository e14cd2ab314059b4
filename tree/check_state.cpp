// Check states: the one road by which a node's check box, radio button or
// button changes on request, keeping tri-state parents and children in step
// and radio buttons exclusive.
#include "tree/base_tree.h"

namespace {

bool isCheckBox(PDataNode Node) {
  return Node->CheckType == ctCheckBox || Node->CheckType == ctTriStateCheckBox;
}

// Runs a clean-up on every way out of a scope, exceptions included, so that
// a throwing handler cannot leave a node marked as being checked.
template <typename F>
class TScopeExit {
public:
  explicit TScopeExit(F f) : FFunc(std::move(f)) {}
  ~TScopeExit() { FFunc(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

private:
  F FFunc;
};

TCheckState normalForm(TCheckState State) { return TCheckState(State & ~1u); }

}  // namespace

void TBaseDataTree::SetCheckState(PDataNode Node, TCheckState Value) {
  if (!Node || Node == FRoot) return;
  if (Node->CheckState == Value || Node->States.Contains(vsDisabled)) return;
  if (DoChecking(Node, Value)) DoCheckClick(Node, Value);
}

void TBaseDataTree::DoCheckClick(PDataNode Node, TCheckState NewCheckState) {
  // The owner hears of every change of the node's own state, also when a
  // parent refused to follow it.
  if (ApplyCheckState(Node, NewCheckState)) DoChecked(Node);
}

TCheckState TBaseDataTree::DetermineNextCheckState(TCheckType CheckType, TCheckState CheckState) {
  switch (CheckType) {
    case ctCheckBox:
    case ctTriStateCheckBox:
      return CheckState == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
    case ctRadioButton:
      return csCheckedNormal;
    case ctButton:
      return csUncheckedNormal;
    default:
      return CheckState;
  }
}

bool TBaseDataTree::ApplyCheckState(PDataNode Node, TCheckState Value) {
  if (!Node || Node == FRoot || Node->States.Contains(vsChecking)) return false;
  Node->States.Include(vsChecking);
  if (FCheckCount == 0) DoStateChange({tsCheckPropagation});
  ++FCheckCount;
  TScopeExit leave([this, Node] {
    Node->States.Exclude(vsChecking);
    if (--FCheckCount == 0) DoStateChange({}, {tsCheckPropagation});
  });
  initialized(Node);

  const bool tracking = FOptions->AutoOptions().Contains(toAutoTristateTracking);
  if (tracking && Node->CheckType == ctTriStateCheckBox &&
      (Value == csUncheckedNormal || Value == csCheckedNormal) &&
      Node->States.Contains(vsHasChildren)) {
    parentWithChildren(Node);
    unsigned unchecked = 0, checked = 0, mixed = 0;
    for (PDataNode child = Node->FirstChild; child; child = child->NextSibling) {
      initialized(child);
      if (!isCheckBox(child)) continue;
      SetCheckState(child, Value);
      switch (normalForm(child->CheckState)) {
        case csCheckedNormal: ++checked; break;
        case csMixedNormal: ++mixed; break;
        default: ++unchecked; break;
      }
    }
    if (mixed > 0 || (checked > 0 && unchecked > 0))
      Value = csMixedNormal;
    else if (checked > 0 && unchecked == 0)
      Value = csCheckedNormal;
  }

  if (Node->CheckType == ctRadioButton && Value == csCheckedNormal) {
    for (PDataNode sibling = Node->Parent->FirstChild; sibling; sibling = sibling->NextSibling)
      if (sibling->CheckType == ctRadioButton) sibling->CheckState = csUncheckedNormal;
    InvalidateWindow();
  }

  Node->CheckState = Value;

  PDataNode parent = Node->Parent;
  if (parent != FRoot) initialized(parent);
  if (tracking && isCheckBox(Node) && parent != FRoot &&
      !parent->States.ContainsAny(nodeMask(vsChecking, vsDisabled)) &&
      parent->CheckType == ctTriStateCheckBox)
    CheckParentCheckState(Node, Value);
  InvalidateNode(Node);
  return true;
}

bool TBaseDataTree::CheckParentCheckState(PDataNode Node, TCheckState NewCheckState) {
  PDataNode parent = Node->Parent;
  unsigned count = 0, checked = 0;
  bool mixed = false;
  for (PDataNode run = parent->FirstChild; run; run = run->NextSibling) {
    if (!isCheckBox(run)) continue;
    const TCheckState state = run == Node ? NewCheckState : run->CheckState;
    ++count;
    if (normalForm(state) == csCheckedNormal) ++checked;
    if (state == csMixedNormal) mixed = true;
  }
  TCheckState state = csCheckedNormal;
  if (checked == 0 && !mixed)
    state = csUncheckedNormal;
  else if (count > checked)
    state = csMixedNormal;
  if (!DoChecking(parent, state)) return false;
  // Applying the parent's state carries the change on to the grandparent,
  // one level at a time; walking the grandparent again from here would
  // repeat every level above once more for each level below.
  DoCheckClick(parent, state);
  return true;
}

void TBaseDataTree::CancelCheckPress() {
  DoStateChange({}, {tsKeyCheckPending, tsMouseCheckPending});
  if (PDataNode node = FCheckNode) {
    FCheckNode = nullptr;
    node->CheckState = normalForm(node->CheckState);
    InvalidateNode(node);
  }
}
