#pragma once
// What the document model and the viewer control share without knowing each
// other: the two base classes of the viewer control (the virtual operations
// the model calls back), the sentinel streams of the image request event,
// the placeholder pictures and the viewer's cursor numbers.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/object.h"
#include "platform/core/streams.h"
#include "platform/core/string_list.h"
#include "platform/core/types.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/controls.h"

class TBitmap;

// ---- viewer base classes -----------------------------------------------------------

using TScriptEvent = std::function<void(TObject* Sender, const String& Name, const String& ContentType,
                                        const String& Src, const String& Script)>;

// Events of the page's form controls.
using TObjectClickEvent = std::function<void(TObject* Sender, TObject* Obj, const String& OnClick)>;
using TObjectFocusEvent = std::function<void(TObject* Sender, TObject* Obj, const String& Attribute)>;
using TFileBrowseEvent = std::function<void(TObject* Sender, TObject* Obj, String& S)>;

// Events of the page's panels (the window is the application's to fill).
class ThvPanel;
using TPanelCreateEvent = std::function<void(TObject* Sender, const String& AName, const String& AType,
                                             const String& SRC, ThvPanel* Handle)>;
using TPanelDestroyEvent = std::function<void(TObject* Sender, ThvPanel* Handle)>;
using TPanelPrintEvent = std::function<void(TObject* Sender, ThvPanel* Handle, TBitmap* Bitmap)>;

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
  // A key that a control of the page does not use goes to the viewer's own
  // key handling (scrolling).
  void ViewerKeyDown(WORD& Key, TShiftState Shift) { KeyDown(Key, Shift); }
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
