// Check states: the one road by which a node's check box, radio button or
// button changes on request, keeping tri-state parents and children in step
// and radio buttons exclusive.
#include "tree/base_tree.h"

namespace {

bool isCheckBox(PDataNode Node) {
  return Node->CheckType == ctCheckBox || Node->CheckType == ctTriStateCheckBox;
}

TCheckState normalForm(TCheckState State) { return TCheckState(State & ~1u); }

}  // namespace

void TBaseDataTree::SetCheckState(PDataNode Node, TCheckState Value) {
  NodeEntry(Node, [&] {
    if (!Node || Node == FRoot) return;
    if (Node->CheckState == Value || Node->States.Contains(vsDisabled)) return;
    TNodeWatch watch(*this, Node);
    if (DoChecking(Node, Value) && watch.Node()) DoCheckClick(Node, Value);
  });
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
  // The state handler, the children's and the parent's handlers may delete
  // this node.
  TNodeWatch watch(*this, Node);
  if (FCheckCount == 0) DoStateChange({tsCheckPropagation});
  ++FCheckCount;
  // On every way out, unless a handler down the line destroyed the tree.
  bool applied = false;
  WithFinish(
      [&] {
        applied = [&]() -> bool {
          if (!watch.Node()) return false;
          initialized(Node);
          if (!watch.Node()) return false;

          const bool tracking = FOptions->AutoOptions().Contains(toAutoTristateTracking);
          if (tracking && Node->CheckType == ctTriStateCheckBox &&
              (Value == csUncheckedNormal || Value == csCheckedNormal) &&
              Node->States.Contains(vsHasChildren)) {
            parentWithChildren(Node);
            // Each child's handlers may delete that child, its siblings or this
            // node: the walk goes on from the child when it is still there, else
            // from the sibling that followed it, else from the first child again
            // (children already in the new state are passed over without asking;
            // starting again needs two deletions, so the walk ends).
            PDataNode child = watch.Node() ? Node->FirstChild : nullptr;
            while (child) {
              TNodeWatch current(*this, child);
              TNodeWatch following(*this, child->NextSibling);
              const bool last = !child->NextSibling;
              initialized(child);
              if (current.Node() && isCheckBox(child)) SetCheckState(child, Value);
              if (!watch.Node()) return false;
              if (current.Node())
                child = child->NextSibling;
              else if (following.Node() || last)
                child = following.Node();
              else
                child = Node->FirstChild;
            }
            // The parent's state sums up the children that are left.
            unsigned unchecked = 0, checked = 0, mixed = 0;
            for (PDataNode run = Node->FirstChild; run; run = run->NextSibling) {
              if (!isCheckBox(run)) continue;
              switch (normalForm(run->CheckState)) {
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
          if (!watch.Node()) return false;
          InvalidateNode(Node);
          return true;
        }();
      },
      [this, &watch] {
        if (PDataNode node = watch.Node()) node->States.Exclude(vsChecking);
        if (--FCheckCount == 0) DoStateChange({}, {tsCheckPropagation});
      });
  return applied;
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
  TNodeWatch watch(*this, parent);
  if (!DoChecking(parent, state) || !watch.Node()) return false;
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
