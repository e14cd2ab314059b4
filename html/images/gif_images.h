#pragma once
// TGIFImage: the picture the viewer keeps for every GIF, still or animated.
// Its frames are composited once when the file is read (each frame as it
// is shown on screen, over what the frames before it left), and drawn by
// frame index; the document's timer steps the animation.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

class TWinControl;
class TGif;

// A bitmap with an optional transparency mask (white = transparent). A
// 32-bit bitmap with straight alpha carries its transparency itself; the
// mask is then made from the alpha when someone asks for it.
class ThtBitmap : public TBitmap {
public:
  ThtBitmap() = default;
  ~ThtBitmap() override;
  // The mask (owned), or nullptr when the bitmap is opaque.
  TBitmap* Mask();
  // Takes a mask; the bitmap's pixels become transparent where it is white.
  void SetMask(std::unique_ptr<TBitmap> mask);
  bool MaskUsed() const { return FMaskUsed; }

  void Draw(TCanvas& canvas, const TRect& r) override;
  void DrawPart(TCanvas& canvas, const TRect& dest, const TRect& src);

private:
  std::unique_ptr<TBitmap> FMask;
  bool FMaskUsed = false;
};

struct TgfFrame {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Delay = 0;  // milliseconds
  std::uint8_t Disposal = 0;
};

// Frames indexed from 1, as the animation counts them.
class TgfFrameList {
public:
  int Count() const { return int(FItems.size()); }
  const TgfFrame& Items(int index) const { return FItems.at(size_t(index - 1)); }
  void Add(const TgfFrame& frame) { FItems.push_back(frame); }

private:
  std::vector<TgfFrame> FItems;
};

// The composited frames, shared by an image and its copies.
struct TGifStrip {
  std::vector<std::unique_ptr<ThtBitmap>> Cells;
};

// A TGraphic so that the document can keep any picture behind one pointer.
class TGIFImage : public TGraphic {
public:
  TGIFImage();
  ~TGIFImage() override;
  // A copy sharing the frames, starting at frame 1 of the first play.
  static std::unique_ptr<TGIFImage> CreateCopy(const TGIFImage& Item);
  // Builds the image from a decoded file. Raises EGifError for pictures
  // past the size caps.
  static std::unique_ptr<TGIFImage> CreateFromGif(const TGif& gif);

  bool Animated() const { return FAnimated; }
  bool IsCopy() const { return FIsCopy; }
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  bool Empty() const override { return FFrameCount == 0; }
  // The current frame stretched into r.
  void Draw(TCanvas& canvas, const TRect& r) override { Draw(canvas, r.Left, r.Top, r.Width(), r.Height()); }
  // Replaces the picture by the GIF in the stream (EGifError when unreadable).
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
  int FrameCount() const { return FFrameCount; }
  // 0 plays forever; otherwise the number of plays.
  int PlayCount() const { return FPlayCount; }
  bool HasTransparency() const { return FHasTransparency; }
  bool Shown() const { return FShown; }
  void SetShown(bool value) { FShown = value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool value) { FVisible = value; }
  int FrameIndex() const { return FFrameIndex; }
  void SetFrameIndex(int value);
  bool Running() const { return FRunning; }
  void SetRunning(bool value);
  int PlayIndex() const { return FPlayIndex; }
  int CurrentInterval() const { return FCurrentInterval; }
  std::uint8_t LastDisposal() const { return FLastDisposal; }
  const TgfFrameList& Frames() const { return FFrames; }
  const TRect& LastDrawRect() const { return FLastDraw; }

  // A frame as it shows on screen (1-based), and the one showing now.
  ThtBitmap* FrameBitmap(int index) const;
  ThtBitmap* CurrentFrame() const { return FrameBitmap(FFrameIndex); }
  // The first frame as an opaque bitmap (transparent pixels black) and its
  // mask (nullptr unless the picture has transparency); made once, owned.
  TBitmap* FirstFrameBitmap();
  TBitmap* FirstFrameMask();

  void Draw(TCanvas& Canvas, int X, int Y, int Wid, int Ht);
  // One step of the animation, with the clock read now (or given).
  void StepAnimation(TWinControl* WinControl);
  void StepAnimationAt(TWinControl* WinControl, std::uint32_t now);

private:
  void recordDisposal();
  std::shared_ptr<TGifStrip> FStrip;
  TgfFrameList FFrames;
  std::unique_ptr<TBitmap> FFirstBitmap;
  std::unique_ptr<TBitmap> FFirstMask;
  bool FAnimated = false;
  bool FIsCopy = false;
  int FWidth = 0, FHeight = 0;
  int FFrameCount = 0;
  int FPlayCount = 1;
  bool FHasTransparency = false;
  bool FShown = true;
  bool FVisible = true;
  int FFrameIndex = 1;
  bool FRunning = false;
  TRect FLastDraw;
  int FPlayIndex = 1;
  std::uint32_t FLastStep = 0;
  int FCurrentInterval = 1;
  std::uint8_t FLastDisposal = 0;
};

// Decodes a whole GIF stream (from position 0). NonAnimated is True for
// fewer than 2 frames. Any failure gives nullptr; nothing is raised.
std::unique_ptr<TGIFImage> LoadGifFromStream(bool& NonAnimated, TStream& Stream);
