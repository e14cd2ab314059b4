// Keyboard input: navigation with the arrow and page keys, range selection
// with Shift, expanding and collapsing, the Space key on check boxes, and
// the hand-over of typed characters to the incremental search.
#include "platform/gui/keyboard_layout.h"
#include "platform/gui/menus.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"

namespace {

bool isNavigationKey(WORD key) {
  return key == VK_BACK || key == VK_TAB || (key >= VK_PRIOR && key <= VK_DOWN);
}

bool modifierDown(TShiftState Shift) {
  return Shift.Contains(ssShift) || Shift.Contains(ssCtrl) || Shift.Contains(ssAlt);
}

}  // namespace

void TBaseDataTree::KeyDown(WORD& Key, TShiftState Shift) {
  RaiseEvent(OnKeyDown, this, Key, Shift);
  FKeyAfterHandlers = Key;
}

void TBaseDataTree::KeyUp(WORD& Key, TShiftState Shift) { RaiseEvent(OnKeyUp, this, Key, Shift); }

void TBaseDataTree::KeyPress(char16_t& Key) { RaiseEvent(OnKeyPress, this, Key); }

void TBaseDataTree::DoEnter() { RaiseEvent(OnEnter, this); }

void TBaseDataTree::DoExit() { RaiseEvent(OnExit, this); }

void TBaseDataTree::Click() { RaiseEvent(OnClick, this); }

void TBaseDataTree::DblClick() { RaiseEvent(OnDblClick, this); }

void TBaseDataTree::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  RaiseEvent(OnMouseDown, this, Button, Shift, X, Y);
}

void TBaseDataTree::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  RaiseEvent(OnMouseUp, this, Button, Shift, X, Y);
}

bool TBaseDataTree::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool handled = false;
  RaiseEvent(OnMouseWheel, this, Shift, WheelDelta, MousePos, handled);
  return handled;
}

void TBaseDataTree::SetFocus() {
  GuardedEntry([&] { ThroughToolkit([&] { TCustomControl::SetFocus(); }); });
}

bool TBaseDataTree::DoKeyAction(WORD& CharCode, TShiftState& Shift) {
  bool doDefault = true;
  RaiseEvent(OnKeyAction, this, CharCode, Shift, doDefault);
  return doDefault;
}

bool TBaseDataTree::CanEdit(PDataNode Node, TColumnIndex Column) {
  bool allowed = FOptions->MiscOptions().Contains(toEditable) && Enabled() && !readOnly();
  DoCanEdit(Node, Column, allowed);
  return allowed;
}

int TBaseDataTree::DoGetHelpContext(PDataNode Node, TColumnIndex Column) {
  int context = 0;
  if (OnGetHelpContext) {
    // The handler may delete the node it is asked about; the walk up then
    // ends there.
    for (PDataNode run = Node; run && run != FRoot && context == 0;) {
      TNodeWatch watch(*this, run);
      RaiseEvent(OnGetHelpContext, this, run, Column, context);
      if (watch.TreeGone()) return context;
      run = watch.Node() ? run->Parent : nullptr;
    }
  }
  for (TControl* control = this; control && context == 0; control = control->Parent())
    context = control->HelpContext();
  return context;
}

void TBaseDataTree::DoPopupMenu(PDataNode Node, TColumnIndex Column, TPoint Position) {
  TPopupMenu* menu = nullptr;
  bool askParent = true;
  // The owner's handler may free the tree, and still name a menu.
  const std::weak_ptr<const bool> life = FLifeToken;
  RaiseEvent(OnGetPopupMenu, this, Node, Column, Position, askParent, menu);
  if (!menu || life.expired()) return;
  DoStateChange({tsPopupMenuShown});
  StopTimer(EditTimer);
  const TPoint screen = ClientToScreen(Position);
  menu->SetPopupComponent(this);
  ThroughToolkit([&] { menu->Popup(screen.x, screen.y); });
}

void TBaseDataTree::SetFocusedNodeAndColumn(PDataNode Node, TColumnIndex Column) {
  if ((Node == FFocusedNode && Column == FFocusedColumn) || nodeGoing(Node)) return;
  TNodeWatch watch(*this, Node);
  TDataTreeColumns& columns = Header().Columns();
  TDataTreeColumn* target = columns.IsValidColumn(Column) ? columns[Column] : nullptr;
  if (!DoFocusChanging(FFocusedNode, Node, FFocusedColumn, Column)) return;
  if (Node && !watch.Node()) return;
  // The handler may have taken columns away: a column that went takes no
  // focus, one that moved is named anew.
  if (target) {
    if (!columns.Contains(target)) return;
    Column = target->Index();
  }
  const TColumnIndex oldColumn = FFocusedColumn;
  FFocusedColumn = Column;
  if (oldColumn != Column && FFocusedNode) InvalidateNode(FFocusedNode);
  DoFocusNode(Node, false);
  if (FFocusedNode && !FOptions->AutoOptions().Contains(toDisableAutoscrollOnFocus))
    ScrollIntoView(FFocusedNode, FOptions->SelectionOptions().Contains(toCenterScrollIntoView), true);
  DoFocusChange(FFocusedNode, FFocusedColumn);
}

void TBaseDataTree::HandleKeyDown(TMessage& Message) {
  // The owner's key handlers run first and may consume the key.
  FKeyAfterHandlers = 0;
  const std::weak_ptr<const bool> life = FLifeToken;
  inheritedDispatch(Message);
  if (life.expired()) return;
  WORD charCode = FKeyAfterHandlers;
  if (charCode == 0 || FDestroying) return;
  TShiftState shift = KeyDataToShiftState(Message.LParam);
  if (!DoKeyAction(charCode, shift) || life.expired()) return;

  if (FStates.Contains(tsKeyCheckPending) && charCode != VK_SPACE) CancelCheckPress();

  const TDTSelectionOptions selection = FOptions->SelectionOptions();
  const TDTMiscOptions misc = FOptions->MiscOptions();
  const bool multiSelect = selection.Contains(toMultiSelect);
  const bool above = childrenAbove();
  const bool noModifier = !modifierDown(shift);

  if (!isNavigationKey(charCode)) {
    HandleCharacterKey(charCode, shift);
    return;
  }

  const bool extendSelection = shift.Contains(ssShift) && multiSelect && !FStates.Contains(tsEditing);
  const bool extendRange = extendSelection && (charCode == VK_PRIOR || charCode == VK_NEXT ||
                                               charCode == VK_END || charCode == VK_HOME);
  const bool fullRepaint = extendRange || FSelectionCount > 1;
  bool clearAllowed = true;
  if (!noModifier) {
    const bool tabOrBack = charCode == VK_BACK || charCode == VK_TAB;
    if (misc.Contains(toGridExtensions))
      clearAllowed = !(shift.Contains(ssShift) && multiSelect) || tabOrBack;
    else
      clearAllowed = !multiSelect || tabOrBack;
  }
  // Handlers run by every step below may delete the node the key started
  // from: it is read back from the watch.
  TNodeWatch oldFocus(*this, FFocusedNode);
  if (!oldFocus.Node() && !noModifier) oldFocus.Reset(GetFirstVisible(nullptr, above));
  if (!FRangeAnchor) {
    FRangeAnchor = GetFirstSelected();
    if (!FRangeAnchor) FRangeAnchor = GetFirst();
  }
  const bool rtl = UseRightToLeftAlignment();
  const int sign = rtl ? -1 : 1;
  const int clientHeight = ClientHeight();

  auto focus = [&](PDataNode node) { SetFocusedNodeAndColumn(node, FFocusedColumn); };
  auto columnStep = [&]() {
    int step = Header().Columns().GetScrollWidth();
    return step > 0 ? step : int(Indent());
  };

  switch (charCode) {
    case VK_BACK:
      if (FStates.Contains(tsIncrementalSearching)) {
        DoStateChange({tsIncrementalSearchPending});
      } else if (FFocusedNode && FFocusedNode->Parent != FRoot) {
        focus(FFocusedNode->Parent);
      }
      break;

    case VK_TAB:
      if (selection.Contains(toExtendedFocus) && Header().UseColumns()) {
        TDataTreeColumns& columns = Header().Columns();
        const bool back = shift.Contains(ssShift);
        PDataNode node = FFocusedNode ? FFocusedNode : GetFirstVisible(nullptr, above);
        TColumnIndex column = FFocusedColumn;
        // Every cell is tried at most once: a handler refusing all of them
        // ends the walk at the last node.
        while (node) {
          column = back ? columns.GetPreviousVisibleColumn(column) : columns.GetNextVisibleColumn(column);
          if (column < 0) {
            node = back ? GetPreviousVisible(node, above) : GetNextVisible(node, above);
            if (!node) break;
            column = back ? columns.GetLastVisibleColumn() : columns.GetFirstVisibleColumn();
          }
          TNodeWatch asked(*this, node);
          const bool allowed = column >= 0 && DoFocusChanging(FFocusedNode, node, FFocusedColumn, column);
          node = asked.Node();
          // The handler may take columns away: the walk ends with them.
          if (column >= 0 && !columns.IsValidColumn(column)) column = InvalidColumn;
          if (allowed || column == InvalidColumn) break;
        }
        if (node && column >= 0) SetFocusedNodeAndColumn(node, column);
      }
      break;

    case VK_PRIOR:
    case VK_NEXT: {
      const bool up = charCode == VK_PRIOR;
      if (shift.Contains(ssCtrl)) {
        SetOffsetY(FOffsetY + (up ? clientHeight : -clientHeight));
      } else if (!FFocusedNode) {
        focus(up ? GetFirstVisible(nullptr, above) : GetLastVisible(nullptr, above));
      } else {
        // The last node whose rows up to here still fit the window.
        PDataNode target = FFocusedNode;
        std::int64_t sum = NodeHeight(target);
        for (;;) {
          PDataNode next = up ? GetPreviousVisible(target, above) : GetNextVisible(target, above);
          if (!next) break;
          sum += NodeHeight(next);
          if (sum > clientHeight) break;
          target = next;
        }
        focus(target);
      }
      break;
    }

    case VK_HOME:
    case VK_END: {
      const bool home = (charCode == VK_HOME) != rtl;
      TNodeWatch targetWatch(*this, home ? GetFirstVisible(nullptr, above) : GetLastVisible(nullptr, above));
      TColumnIndex column = NoColumn;
      if (Header().UseColumns()) {
        TDataTreeColumns& columns = Header().Columns();
        column = home ? columns.GetFirstVisibleColumn() : columns.GetLastVisibleColumn();
        while (column >= 0 && targetWatch.Node() &&
               !DoFocusChanging(FFocusedNode, targetWatch.Node(), FFocusedColumn, column))
          column = home ? columns.GetNextVisibleColumn(column) : columns.GetPreviousVisibleColumn(column);
        // The handler may have taken columns away.
        if (!columns.IsValidColumn(column)) column = InvalidColumn;
      }
      PDataNode target = targetWatch.Node();
      const bool grid = misc.Contains(toGridExtensions);
      const bool onlyCtrl = shift.Contains(ssCtrl) && !shift.Contains(ssShift) && !shift.Contains(ssAlt);
      if (onlyCtrl && !grid) {
        if (target)
          ScrollIntoView(target, selection.Contains(toCenterScrollIntoView),
                         !FOptions->AutoOptions().Contains(toDisableAutoscrollOnFocus));
        SetOffsetX(charCode == VK_HOME && !rtl ? 0 : -0x7FFFFFFF);
      } else {
        const TColumnIndex newColumn =
            grid && !selection.Contains(toFullRowSelect) && column >= 0 ? column : FFocusedColumn;
        PDataNode newNode = !grid || shift.Contains(ssCtrl) ? target : FFocusedNode;
        if (newNode) SetFocusedNodeAndColumn(newNode, newColumn);
      }
      break;
    }

    case VK_LEFT:
    case VK_RIGHT: {
      const bool left = charCode == VK_LEFT;
      if (shift.Contains(ssCtrl)) {
        const int amount = columnStep() * sign;
        SetOffsetX(FOffsetX + (left ? amount : -amount));
        break;
      }
      if (selection.Contains(toExtendedFocus) && misc.Contains(toGridExtensions)) {
        TDataTreeColumns& columns = Header().Columns();
        const TColumnIndex column =
            left ? columns.GetPreviousVisibleColumn(FFocusedColumn) : columns.GetNextVisibleColumn(FFocusedColumn);
        if (column >= 0 && FFocusedNode) SetFocusedNodeAndColumn(FFocusedNode, column);
        break;
      }
      if (!FFocusedNode) {
        focus(GetFirstVisible(nullptr, above));
        break;
      }
      const bool expanded = FFocusedNode->States.Contains(vsExpanded);
      if (noModifier && HasChildren(FFocusedNode) && expanded == left) {
        ToggleNode(FFocusedNode);
        break;
      }
      if (left) {
        PDataNode parent = FFocusedNode->Parent;
        if (parent == FRoot) break;
        const bool firstChild = FFocusedNode->Index == 0;
        TNodeWatch parentWatch(*this, parent);
        if (extendSelection && firstChild && FRangeAnchor &&
            CompareNodePositions(parent, FRangeAnchor, above) > 0)
          RemoveFromSelection(FFocusedNode);
        if (!parentWatch.Node()) break;
        TNodeWatch before(*this, FFocusedNode);
        focus(parent);
        if (extendSelection && !firstChild && before.Node() && FFocusedNode && FFocusedNode != before.Node())
          ToggleSelection(before.Node(), FFocusedNode);
      } else {
        TNodeWatch child(*this, GetFirstVisibleChild(FFocusedNode));
        if (!child.Node()) break;
        if (extendSelection && FRangeAnchor && CompareNodePositions(child.Node(), FRangeAnchor, above) < 0)
          RemoveFromSelection(FFocusedNode);
        if (child.Node()) focus(child.Node());
      }
      break;
    }

    case VK_UP:
    case VK_DOWN: {
      const bool up = charCode == VK_UP;
      if (shift.Contains(ssCtrl)) {
        const int amount = int(FDefaultNodeHeight);
        SetOffsetY(FOffsetY + (up ? amount : -amount));
        break;
      }
      PDataNode target;
      if (FFocusedNode)
        target = up ? GetPreviousVisible(FFocusedNode, above) : GetNextVisible(FFocusedNode, above);
      else
        target = up ? GetLastVisible(nullptr, above) : GetFirstVisible(nullptr, above);
      if (!target) {
        if (FFocusedNode) InvalidateNode(FFocusedNode);
        break;
      }
      TNodeWatch targetWatch(*this, target);
      EndEditNode();
      if (extendSelection && oldFocus.Node() && FRangeAnchor && FFocusedNode) {
        const int order = CompareNodePositions(oldFocus.Node(), FRangeAnchor, above);
        if (up ? order > 0 : order < 0) RemoveFromSelection(FFocusedNode);
      }
      if (FFocusedColumn < 0) FFocusedColumn = Header().MainColumn();
      if (targetWatch.Node()) focus(targetWatch.Node());
      break;
    }
    default:
      break;
  }

  // Selection after the move.
  bool cleared = false;
  if (clearAllowed && (FFocusedNode != oldFocus.Node() || FSelectionCount != 1)) {
    ClearSelection();
    cleared = true;
  }
  if (noModifier) {
    FRangeAnchor = FFocusedNode;
    FLastSelectionLevel = FFocusedNode ? int(GetNodeLevel(FFocusedNode)) : -1;
  }
  if (extendRange && FFocusedNode && oldFocus.Node() && FFocusedNode != oldFocus.Node())
    ToggleSelection(oldFocus.Node(), FFocusedNode);
  if (FFocusedNode && (cleared || FFocusedNode != oldFocus.Node())) AddToSelection(FFocusedNode);
  if (fullRepaint) InvalidateWindow();
}

void TBaseDataTree::HandleCharacterKey(WORD CharCode, TShiftState Shift) {
  const bool ctrl = Shift.Contains(ssCtrl);
  const bool searching = FStates.Contains(tsIncrementalSearching);
  // The layout's character decides, so that the plus and minus keys of the
  // main block act like those of the keypad. A character typed with Shift
  // (the asterisk above the 8) counts only when exactly that shift state
  // types it.
  UINT typed = MapVirtualKey(CharCode, MAPVK_VK_TO_CHAR);
  const int shiftBits = (Shift.Contains(ssShift) ? 1 : 0) | (ctrl ? 2 : 0) | (Shift.Contains(ssAlt) ? 4 : 0);
  if (shiftBits != 0) {
    for (char16_t c : {u'*', u'+', u'-', u'/'})
      if (VkKeyScan(c) == short((shiftBits << 8) | CharCode)) typed = c;
  }
  switch (typed) {
    case u'*': CharCode = VK_MULTIPLY; break;
    case u'+': CharCode = VK_ADD; break;
    case u'-': CharCode = VK_SUBTRACT; break;
    case u'/': CharCode = VK_DIVIDE; break;
    default: break;
  }
  switch (CharCode) {
    case VK_ADD:
    case VK_SUBTRACT: {
      const bool expand = CharCode == VK_ADD;
      if (searching) {
        DoStateChange({tsIncrementalSearchPending});
      } else if (!ctrl) {
        if (FFocusedNode && HasChildren(FFocusedNode) &&
            FFocusedNode->States.Contains(vsExpanded) != expand)
          ToggleNode(FFocusedNode);
      } else if (!Shift.Contains(ssShift)) {
        if (expand)
          Header().AutoFitColumns(true);
        else
          Header().Columns().RestoreLastWidths();
      } else if (expand) {
        FullExpand();
      } else {
        FullCollapse();
      }
      break;
    }
    case VK_MULTIPLY:
    case VK_DIVIDE:
      if (searching)
        DoStateChange({tsIncrementalSearchPending});
      else if (FFocusedNode && CharCode == VK_MULTIPLY)
        FullExpand(FFocusedNode);
      else if (FFocusedNode)
        FullCollapse(FFocusedNode);
      break;
    case VK_ESCAPE:
      if (FStates.Contains(tsDrawSelPending) || FStates.Contains(tsDrawSelecting)) {
        EndDrawSelection();
      } else {
        CancelEditNode();
      }
      break;
    case VK_SPACE:
      if (FOptions->MiscOptions().Contains(toCheckSupport)) {
        PDataNode node = FFocusedNode;
        if (node && node->CheckType != ctNone && !FStates.Contains(tsKeyCheckPending) &&
            !FStates.Contains(tsMouseCheckPending) && !node->States.Contains(vsDisabled)) {
          // The check press ends where a handler deletes the row.
          NodeEntry(node, [&] {
            TCheckState next = DetermineNextCheckState(node->CheckType, node->CheckState);
            if (!DoChecking(node, next)) return;
            FCheckNode = node;
            FPendingCheckState = next;
            node->CheckState = PressedCheckState(node->CheckState);
            try {
              DoStateChange({tsKeyCheckPending});
            } catch (const EDataNodeGone&) {
              // The press that began is taken back with the row.
              if (!FCheckNode) DoStateChange({}, {tsKeyCheckPending});
              throw;
            }
            InvalidateNode(node);
          });
        }
      } else if (!ctrl && !Shift.Contains(ssAlt)) {
        DoStateChange({tsIncrementalSearchPending});
      }
      break;
    case VK_F1: {
      const std::weak_ptr<const bool> life = FLifeToken;
      const int context = DoGetHelpContext(FFocusedNode, FFocusedColumn);
      if (life.expired()) return;
      if (context != 0) RaiseEvent(OnHelpRequest, this, context);
      break;
    }
    case VK_F2:
      if (!modifierDown(Shift) && FFocusedNode && CanEdit(FFocusedNode, FFocusedColumn)) {
        FEditColumn = FFocusedColumn;
        DoEdit();
      }
      break;
    case VK_APPS:
      if (FFocusedNode) {
        TRect r = GetDisplayRect(FFocusedNode, FFocusedColumn, false);
        int width = DoGetNodeWidth(FFocusedNode, FFocusedColumn, Canvas());
        const int room = Header().UseColumns() && Header().Columns().IsValidColumn(FFocusedColumn)
                             ? Header().Columns()[FFocusedColumn]->Width()
                             : ClientWidth();
        if (width > room) width = room;
        DoPopupMenu(FFocusedNode, FFocusedColumn, {r.Left + width / 2, (r.Top + r.Bottom) / 2});
      }
      break;
    case 'A':
      // Only the letter key: 97 is the keypad's 1.
      if (ctrl)
        SelectAll(true);
      else if (!Shift.Contains(ssAlt))
        DoStateChange({tsIncrementalSearchPending});
      break;
    default:
      if (!ctrl && !Shift.Contains(ssAlt) && CharCode >= 32) DoStateChange({tsIncrementalSearchPending});
      break;
  }
}

void TBaseDataTree::HandleKeyUp(TMessage& Message) {
  // The owner's key handlers run first and may free the tree.
  const std::weak_ptr<const bool> life = FLifeToken;
  inheritedDispatch(Message);
  if (life.expired()) return;
  if (WORD(Message.WParam) != VK_SPACE || !FStates.Contains(tsKeyCheckPending)) return;
  DoStateChange({}, {tsKeyCheckPending});
  PDataNode node = FCheckNode;
  // Commit only to the node that is still there and still the one pressed.
  if (node && node == FFocusedNode) {
    FCheckNode = nullptr;
    // Applying repaints the node; a handler may free it, which ends it.
    NodeEntry(node, [&] { DoCheckClick(node, FPendingCheckState); });
  } else {
    CancelCheckPress();
  }
}
