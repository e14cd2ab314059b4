#pragma once
// Pictures that follow a drag: handed to the drag itself (the platform then
// draws it beside the cursor, over this and other programs' windows), or
// shown by the program above every window over a copy of what the screen
// showed there.
#include <memory>

#include "platform/graphics/geometry.h"

class TBitmap;

// The picture the next DoDragDrop shows at the cursor; HotSpot is where the
// cursor sits in it. nullptr shows none.
void SetDragSourceImage(TBitmap* Image, TPoint HotSpot);

// Reads the pixels of R (screen coordinates) into Target as 32 bits per
// pixel. False where the screen cannot be read (Target is black then).
bool CaptureScreen(const TRect& R, TBitmap& Target);

// A picture shown above every window at a screen position, outside any
// paint; it takes no input.
class TScreenOverlay {
public:
  TScreenOverlay();
  ~TScreenOverlay();
  TScreenOverlay(const TScreenOverlay&) = delete;
  TScreenOverlay& operator=(const TScreenOverlay&) = delete;

  // Shows Image with its top-left corner at Position.
  void Show(TBitmap& Image, TPoint Position);
  void Hide();
  bool Visible() const;
  TRect BoundsRect() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};
