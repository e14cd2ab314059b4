#pragma once
// Vocabulary of the tree's keyboard and mouse handling: incremental search
// settings, auto-scroll directions and the events the input code raises.
#include <cstdint>
#include <functional>

#include "platform/core/tset.h"
#include "platform/graphics/bitmap.h"
#include "platform/gui/windows.h"
#include "platform/gui/controls.h"
#include "tree/node.h"

class TBaseDataTree;
class TDTHeader;
class TCanvas;
struct THeaderPaintInfo;


enum TScrollDirection : std::uint8_t { sdLeft, sdUp, sdRight, sdDown };
using TScrollDirections = TSet<TScrollDirection>;

// The look of a check while its box is held down, and back.
inline TCheckState PressedCheckState(TCheckState State) { return TCheckState(State | 1u); }
inline TCheckState NormalCheckState(TCheckState State) { return TCheckState(State & ~1u); }

using TAutoScrollInterval = std::uint32_t;

// A key the tree is about to act on; clearing DoDefault stops it.
using TDTKeyActionEvent =
    std::function<void(TBaseDataTree* Sender, WORD& CharCode, TShiftState& Shift, bool& DoDefault)>;
using TDTGetCursorEvent = std::function<void(TBaseDataTree* Sender, TCursor& Cursor)>;
using TDTNodeHeightTrackingEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, std::int32_t Column, TShiftState Shift,
                       TPoint& TrackPoint, TPoint P, bool& Allowed)>;
using TDTNodeHeightDblClickResizeEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, std::int32_t Column,
                       TShiftState Shift, TPoint P, bool& Allowed)>;
using TDTGetHelpContextEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node,
                                                  std::int32_t Column, int& HelpContext)>;
using TDTColumnClickEvent =
    std::function<void(TBaseDataTree* Sender, std::int32_t Column, TShiftState Shift)>;
using TDTHelpRequestEvent = std::function<void(TBaseDataTree* Sender, int HelpContext)>;
using TDTPopupEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, std::int32_t Column,
                                         TPoint P, bool& AskParent, class TPopupMenu*& PopupMenu)>;

// Tree-view query messages that accessibility tools send.
enum : UINT { TVM_GETITEMRECT = 0x1104, TVM_GETNEXTITEM = 0x110A, TVM_GETITEMW = 0x113E };
enum : UINT {
  TVGN_ROOT = 0, TVGN_NEXT = 1, TVGN_PREVIOUS = 2, TVGN_PARENT = 3, TVGN_CHILD = 4,
  TVGN_FIRSTVISIBLE = 5, TVGN_NEXTVISIBLE = 6, TVGN_PREVIOUSVISIBLE = 7, TVGN_DROPHILITE = 8,
  TVGN_CARET = 9, TVGN_LASTVISIBLE = 10
};
enum : UINT {
  TVIF_TEXT = 0x1, TVIF_IMAGE = 0x2, TVIF_PARAM = 0x4, TVIF_STATE = 0x8, TVIF_HANDLE = 0x10,
  TVIF_SELECTEDIMAGE = 0x20, TVIF_CHILDREN = 0x40
};
enum : UINT {
  TVIS_FOCUSED = 0x1, TVIS_SELECTED = 0x2, TVIS_CUT = 0x4, TVIS_DROPHILITED = 0x8,
  TVIS_EXPANDED = 0x20
};
// The item record of TVM_GETITEMW; hItem is a node of the tree asked.
struct TTVItemW {
  UINT mask = 0;
  PDataNode hItem = nullptr;
  UINT state = 0;
  UINT stateMask = 0;
  char16_t* pszText = nullptr;
  int cchTextMax = 0;
  int iImage = 0;
  int iSelectedImage = 0;
  int cChildren = 0;
  LPARAM lParam = 0;
};

// Events of the header (the header is the sender).
using TDTHeaderClickEvent = std::function<void(TDTHeader* Sender, std::int32_t Column, TMouseButton Button,
                                               TShiftState Shift, int X, int Y)>;
using TDTHeaderMouseEvent =
    std::function<void(TDTHeader* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TDTHeaderMouseMoveEvent = std::function<void(TDTHeader* Sender, TShiftState Shift, int X, int Y)>;
using TDTHeaderDraggingEvent = std::function<void(TDTHeader* Sender, std::int32_t Column, bool& Allowed)>;
using TDTHeaderDraggedEvent =
    std::function<void(TDTHeader* Sender, std::int32_t Column, std::uint32_t OldPosition)>;
using TDTHeaderDraggedOutEvent = std::function<void(TDTHeader* Sender, std::int32_t Column, TPoint DropPosition)>;
using TDTGetHeaderCursorEvent = std::function<void(TDTHeader* Sender, TCursor& Cursor)>;
using TDTHeaderHeightTrackingEvent =
    std::function<void(TDTHeader* Sender, TPoint& P, TShiftState Shift, bool& Allowed)>;
using TDTHeaderHeightDblClickResizeEvent =
    std::function<void(TDTHeader* Sender, TPoint& P, TShiftState Shift, bool& Allowed)>;
using TDTHeaderNotifyShiftEvent = std::function<void(TDTHeader* Sender, TShiftState Shift)>;
using TDTHeaderNotifyPlainEvent = std::function<void(TDTHeader* Sender)>;
using TDTBeforeColumnWidthTrackingEvent =
    std::function<void(TDTHeader* Sender, std::int32_t Column, TShiftState Shift)>;
using TDTColumnWidthTrackingEvent = std::function<void(TDTHeader* Sender, std::int32_t Column, TShiftState Shift,
                                                       TPoint& TrackPoint, TPoint P, bool& Allowed)>;
using TDTAfterColumnWidthTrackingEvent = std::function<void(TDTHeader* Sender, std::int32_t Column)>;
using TDTColumnWidthDblClickResizeEvent =
    std::function<void(TDTHeader* Sender, std::int32_t Column, TShiftState Shift, TPoint P, bool& Allowed)>;
using TDTCanSplitterResizeColumnEvent =
    std::function<void(TDTHeader* Sender, TPoint P, std::int32_t Column, bool& Allowed)>;
using TDTHeaderPaintEvent = std::function<void(TDTHeader* Sender, TCanvas* HeaderCanvas, std::int32_t Column,
                                               TRect R, bool Hover, bool Pressed, int DropMark)>;
// Paint elements of advanced owner drawing (bit values).
enum : unsigned {
  hpeBackground = 1, hpeDropMark = 2, hpeHeaderGlyph = 4, hpeSortGlyph = 8, hpeText = 16
};
using THeaderPaintElements = unsigned;
using TDTHeaderPaintQueryElementsEvent =
    std::function<void(TDTHeader* Sender, THeaderPaintInfo& PaintInfo, THeaderPaintElements& Elements)>;
using TDTAdvancedHeaderPaintEvent =
    std::function<void(TDTHeader* Sender, THeaderPaintInfo& PaintInfo, THeaderPaintElements Elements)>;
