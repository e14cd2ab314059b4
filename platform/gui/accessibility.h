#pragma once
// Answers to screen readers. A window asked for its accessible object
// (WM_GETOBJECT with OBJID_CLIENT) may hand one out through
// LresultFromObject; a window that does not (the default answer, 0) is
// described by the toolkit's own accessibility for its kind of window.
#include <memory>
#include <vector>

#include "platform/core/tset.h"
#include "platform/core/types.h"
#include "platform/graphics/geometry.h"
#include "platform/gui/messages.h"

enum : LPARAM { OBJID_WINDOW = 0, OBJID_CLIENT = -4 };

enum TAccessibleRole { arClient, arOutline, arOutlineItem, arList, arListItem, arText };
enum TAccessibleState : std::uint8_t {
  asFocusable, asFocused, asSelectable, asSelected, asExpandable, asExpanded, asCollapsed, asCheckable,
  asChecked, asInvisible, asUnavailable
};
using TAccessibleStates = TSet<TAccessibleState>;

class IAccessible;
using PAccessible = std::shared_ptr<IAccessible>;

// What a screen reader learns of a window or of an item in it.
class IAccessible {
public:
  virtual ~IAccessible() = default;
  virtual String Name() = 0;
  virtual String Value() { return {}; }
  virtual String Description() { return {}; }
  virtual TAccessibleRole Role() = 0;
  virtual TAccessibleStates States() { return {}; }
  // Screen coordinates.
  virtual TRect Location() = 0;
  virtual int ChildCount() { return 0; }
  virtual PAccessible Child(int Index) {
    (void)Index;
    return nullptr;
  }
};

// The answer to WM_GETOBJECT that hands Object to the asker (0 for none).
LRESULT LresultFromObject(const PAccessible& Object);
