#pragma once
// What the document model and the viewer control share without knowing each
// other: client-side image maps as region lists, the id list of anchors and
// named elements, the two base classes of the viewer control (the virtual
// operations the model calls back), the sentinel streams of the image
// request event, the placeholder pictures and the viewer's cursor numbers.
#include <cstdint>
#include <functional>
#include <memory>

#include "html/view/attributes.h"
#include "platform/core/object.h"
#include "platform/core/streams.h"
#include "platform/core/string_list.h"
#include "platform/core/types.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/controls.h"

class TBitmap;

// ---- image maps ----------------------------------------------------------------

// One AREA of a map: a link over a region of the picture.
class TMapArea : public TObject {
public:
  ~TMapArea() override;
  bool PtInArea(int X, int Y) const;

  String HRef;             // empty for NOHREF
  HRGN Region = nullptr;   // owned
  String Target;
  String Title;
};

using TMapAreaList = TFreeList<TMapArea>;

// A MAP element: its areas in document order.
class TMapItem : public TObject {
public:
  static constexpr int MaxAreas = 1000;

  TMapItem();
  ~TMapItem() override;

  // Adds the area described by one AREA tag; malformed areas are dropped.
  void AddArea(const TAttributeList* Attrib);
  // The first area containing (X, Y) (relative to the picture inside its
  // border) decides; false when it has no link or no area contains the
  // point. A new link record (the caller's) on success.
  bool GetURL(int X, int Y, TUrlTarget*& URLTarg, String& ATitle) const;

  std::unique_ptr<TMapAreaList> Areas;
  String MapName;  // upper case
};

// ---- the id list ---------------------------------------------------------------

// Everything an id or anchor name can point at.
class TIDObject : public TObject {
public:
  // The document Y of the object's top.
  virtual int GetYPosition() = 0;
  // True when the id list owns (and frees) the object.
  virtual bool FreeMe() { return false; }
};

// Id or name -> object, sorted, names compared without case. The last
// registration of a name wins.
class TIDObjectList : public TStringList {
public:
  TIDObjectList();
  ~TIDObjectList() override;

  int AddObject(const String& S, TObject* AObject) override;
  void Clear() override;
  // The object of a name, or nullptr.
  TIDObject* FindObject(const String& S) const;
};

// ---- viewer base classes -----------------------------------------------------------

using TScriptEvent = std::function<void(TObject* Sender, const String& Name, const String& ContentType,
                                        const String& Src, const String& Script)>;

class TViewerBase : public TWinControl {
public:
  explicit TViewerBase(TComponent* AOwner) : TWinControl(AOwner) {}

  TScriptEvent OnScript() const { return FOnScript; }
  virtual void SetOnScript(const TScriptEvent& Handler) { FOnScript = Handler; }

protected:
  TScriptEvent FOnScript;
};

// The operations the document model calls on its viewer.
class THtmlViewBase : public TViewerBase {
public:
  explicit THtmlViewBase(TComponent* AOwner) : TViewerBase(AOwner) {}

  // A link, image or style sheet name as a full file name or URL.
  virtual void ExpandName(const String& Name, String& Result) = 0;
  // Whether focused links and controls get a focus rectangle.
  virtual bool ShowFocusRect() = 0;
  // The mouse moved over a form control of the document (for hints).
  virtual void FormControlMouseMove(TObject* Sender, TShiftState Shift, int X, int Y) = 0;
  // Layout progress in per cent.
  virtual void ProgressRun(int Percent) = 0;
};

// ---- shared objects ----------------------------------------------------------------

// An image request answered with WaitStream means "the picture comes later",
// with ErrorStream "there is none"; only their identity matters.
TMemoryStream* WaitStream();
TMemoryStream* ErrorStream();
// The placeholder shown while a picture is missing, and the error picture
// with its mask (white where the picture is transparent).
TBitmap* DefBitmap();
TBitmap* ErrorBitmap();
TBitmap* ErrorBitmapMask();

// Cursor numbers of the viewer beside the platform's own.
enum : int {
  HandCursor = 10101,       // over links and form controls
  UpDownCursor = 10103,     // middle-button scrolling, idle
  UpOnlyCursor = 10104,     // middle-button scrolling up
  DownOnlyCursor = 10105,   // middle-button scrolling down
};
// Registers the four cursors with the screen object (once).
void RegisterViewerCursors();
