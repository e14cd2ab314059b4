#pragma once
// TIcon: a small picture shown by the desktop for the program (tray icon,
// window icon). Kept as a 32-bit bitmap with alpha.
#include <memory>

#include "platform/core/object.h"
#include "platform/graphics/bitmap.h"

class TIcon : public TObject {
public:
  TIcon();
  ~TIcon() override;

  bool Empty() const;
  int Width() const;
  int Height() const;
  // Copies the picture of another icon or of a bitmap (whose bottom-left
  // pixel colour becomes transparent unless the bitmap has alpha).
  void Assign(const TIcon& Source);
  void AssignBitmap(TBitmap* Source);
  // The picture (pf32bit, premultiplied alpha), or nullptr when empty.
  TBitmap* Bitmap() const { return FBitmap.get(); }
  // Raised after every change of the picture.
  TNotifyEvent OnChange;

private:
  void changed();
  std::unique_ptr<TBitmap> FBitmap;
};
