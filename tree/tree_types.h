#pragma once
// Tree-wide states, option sets and the tree's exception.
#include <cstdint>

#include "platform/core/exception.h"
#include "platform/core/tset.h"
#include "tree/node.h"

enum TDataTreeState : std::uint8_t {
  tsCancelHintAnimation,
  tsChangePending,
  tsCheckPropagation,
  tsClearPending,
  tsClipboardFlushing,
  tsCollapsing,
  tsCopyPending,
  tsCutPending,
  tsDrawSelPending,
  tsDrawSelecting,
  tsEditing,
  tsEditPending,
  tsExpanding,
  tsHint,
  tsInAnimation,
  tsIncrementalSearching,
  tsIncrementalSearchPending,
  tsIterating,
  tsKeyCheckPending,
  tsLeftButtonDown,
  tsLeftDblClick,
  tsMiddleButtonDown,
  tsMiddleDblClick,
  tsMouseCheckPending,
  tsNeedRootCountUpdate,
  tsNeedScale,
  tsNodeHeightTracking,
  tsNodeHeightTrackPending,
  tsOLEDragging,
  tsOLEDragPending,
  tsPainting,
  tsPopupMenuShown,
  tsRightButtonDown,
  tsRightDblClick,
  tsScrolling,
  tsScrollPending,
  tsSizing,
  tsStopValidation,
  tsStructureChangePending,
  tsSynchMode,
  tsThumbTracking,
  tsToggleFocusedSelection,
  tsToggling,
  tsUpdateHiddenChildrenNeeded,
  tsUpdating,
  tsUseCache,
  tsUserDragObject,
  tsUseThemes,
  tsValidating,
  tsValidationNeeded,
  tsVCLDragging,
  tsVCLDragPending,
  tsWheelPanning,
  tsWheelScrolling,
  tsWindowCreating,
};
using TDataTreeStates = TSet<TDataTreeState>;

using TDataNodeInitStates = TSet<TDataNodeInitState>;

enum TDTPaintOption : std::uint8_t {
  toHideFocusRect, toHideSelection, toHotTrack, toPopupMode, toShowBackground, toShowButtons,
  toShowDropmark, toShowHorzGridLines, toShowRoot, toShowTreeLines, toShowVertGridLines,
  toThemeAware, toUseBlendedImages, toGhostedIfUnfocused, toFullVertGridLines,
  toAlwaysHideSelection, toUseBlendedSelection, toStaticBackground, toChildrenAbove,
  toFixedIndent, toUseExplorerTheme
};
using TDTPaintOptions = TSet<TDTPaintOption>;

enum TDTAnimationOption : std::uint8_t { toAnimatedToggle, toAdvancedAnimatedToggle };
using TDTAnimationOptions = TSet<TDTAnimationOption>;

enum TDTAutoOption : std::uint8_t {
  toAutoDropExpand, toAutoExpand, toAutoScroll, toAutoScrollOnExpand, toAutoSort,
  toAutoSpanColumns, toAutoTristateTracking, toAutoHideButtons, toAutoDeleteMovedNodes,
  toDisableAutoscrollOnFocus, toAutoChangeScale, toAutoFreeOnCollapse,
  toDisableAutoscrollOnEdit, toAutoBidiColumnOrdering
};
using TDTAutoOptions = TSet<TDTAutoOption>;

enum TDTSelectionOption : std::uint8_t {
  toDisableDrawSelection, toExtendedFocus, toFullRowSelect, toLevelSelectConstraint,
  toMiddleClickSelect, toMultiSelect, toRightClickSelect, toSiblingSelectConstraint,
  toCenterScrollIntoView, toSimpleDrawSelection
};
using TDTSelectionOptions = TSet<TDTSelectionOption>;

enum TDTMiscOption : std::uint8_t {
  toAcceptOLEDrop, toCheckSupport, toEditable, toFullRepaintOnResize, toGridExtensions,
  toInitOnSave, toReportMode, toToggleOnDblClick, toWheelPanning, toReadOnly,
  toVariableNodeHeight, toFullRowDrag, toNodeHeightResize, toNodeHeightDblClickResize,
  toEditOnClick, toEditOnDblClick
};
using TDTMiscOptions = TSet<TDTMiscOption>;

enum TDTExportMode : std::uint8_t { emAll, emChecked, emUnchecked };

// The tree's own failure, with a message and a help context.
class EDataTreeError : public Exception {
public:
  EDataTreeError(const char* message, int helpContext) : Exception(message) {
    SetHelpContext(helpContext);
  }
};

// Raises EDataTreeError with the message and help context.
[[noreturn]] void ShowError(const char* Msg, int HelpContext);
