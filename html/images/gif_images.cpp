// Animated and still GIF pictures: compositing the frames of a decoded
// file, drawing the current frame, and stepping the animation.
#include "html/images/gif_images.h"

#include <algorithm>
#include <cstring>

#include "html/images/gif_decoder.h"
#include "platform/core/strings.h"
#include "platform/core/threads.h"
#include "platform/gui/controls.h"
#include "platform/gui/windows.h"

namespace {

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

std::uint32_t* row32(TBitmap& b, int y) { return static_cast<std::uint32_t*>(b.ScanLine(y)); }

// Makes a w x h bitmap: with transparency straight 32-bit ARGB, all
// transparent black; without, opaque black.
std::unique_ptr<ThtBitmap> newCell(int w, int h, bool transparent) {
  auto b = std::make_unique<ThtBitmap>();
  b->SetPixelFormat(transparent ? pf32bit : pf24bit);
  b->SetAlphaFormat(transparent ? afDefined : afIgnored);
  b->SetSize(w, h);
  const std::uint32_t fill = transparent ? 0u : kOpaqueBlack;
  for (int y = 0; y < h; ++y) std::fill_n(row32(*b, y), w, fill);
  return b;
}

void copyCell(TBitmap& from, TBitmap& to, int w, int h) {
  for (int y = 0; y < h; ++y) std::memcpy(row32(to, y), row32(from, y), size_t(w) * 4);
}

bool hasAlpha(TBitmap& b) { return b.PixelFormat() == pf32bit && b.AlphaFormat() == afDefined; }

}  // namespace

// ---- ThtBitmap ------------------------------------------------------------------

ThtBitmap::~ThtBitmap() = default;

TBitmap* ThtBitmap::Mask() {
  if (FMask) return FMask.get();
  if (!hasAlpha(*this) || Empty()) return nullptr;
  bool any = false;
  auto m = std::make_unique<TBitmap>();
  m->SetSize(Width(), Height());
  for (int y = 0; y < Height(); ++y) {
    const std::uint32_t* src = row32(*this, y);
    std::uint32_t* dst = row32(*m, y);
    for (int x = 0; x < Width(); ++x) {
      const bool clear = (src[x] >> 24) < 128;
      any |= clear;
      dst[x] = clear ? 0xFFFFFFFFu : kOpaqueBlack;
    }
  }
  if (!any) return nullptr;
  m->SetPixelFormat(pf1bit);
  FMask = std::move(m);
  FMaskUsed = true;
  return FMask.get();
}

void ThtBitmap::SetMask(std::unique_ptr<TBitmap> mask) {
  FMask = std::move(mask);
  FMaskUsed = FMask != nullptr;
  if (!FMask || Empty()) return;
  // Carry the mask in the pixels too, so drawing needs only one pass.
  if (!hasAlpha(*this)) {
    SetPixelFormat(pf32bit);
    SetAlphaFormat(afDefined);
    for (int y = 0; y < Height(); ++y) {
      std::uint32_t* p = row32(*this, y);
      for (int x = 0; x < Width(); ++x) p[x] |= kOpaqueBlack;
    }
  }
  const int w = std::min(Width(), FMask->Width()), h = std::min(Height(), FMask->Height());
  for (int y = 0; y < h; ++y) {
    std::uint32_t* p = row32(*this, y);
    const std::uint32_t* m = row32(*FMask, y);
    for (int x = 0; x < w; ++x)
      if ((m[x] & 0xFF) >= 128) p[x] &= 0x00FFFFFFu;
  }
}

void ThtBitmap::Draw(TCanvas& canvas, const TRect& r) { DrawPart(canvas, r, Rect(0, 0, Width(), Height())); }

void ThtBitmap::DrawPart(TCanvas& canvas, const TRect& dest, const TRect& src) {
  if (Empty()) return;
  HDC dc = canvas.Handle();
  HDC from = Canvas()->Handle();
  if (hasAlpha(*this)) {
    BLENDFUNCTION bf;
    bf.AlphaFormat = AC_SRC_ALPHA;
    GdiAlphaBlend(dc, dest.Left, dest.Top, dest.Width(), dest.Height(), from, src.Left, src.Top, src.Width(),
                  src.Height(), bf);
    return;
  }
  StretchBlt(dc, dest.Left, dest.Top, dest.Width(), dest.Height(), from, src.Left, src.Top, src.Width(),
             src.Height(), canvas.CopyMode());
}

// ---- TGIFImage ------------------------------------------------------------------

TGIFImage::TGIFImage() : FStrip(std::make_shared<TGifStrip>()) {}

TGIFImage::~TGIFImage() = default;

std::unique_ptr<TGIFImage> TGIFImage::CreateCopy(const TGIFImage& Item) {
  auto c = std::make_unique<TGIFImage>();
  c->FStrip = Item.FStrip;
  c->FIsCopy = true;
  c->FWidth = Item.FWidth;
  c->FHeight = Item.FHeight;
  c->FAnimated = Item.FAnimated;
  c->FHasTransparency = Item.FHasTransparency;
  c->FFrameCount = Item.FFrameCount;
  c->FPlayCount = Item.FPlayCount;
  c->FFrames = Item.FFrames;
  c->FFrameIndex = 1;
  c->FPlayIndex = 1;
  if (c->FAnimated) c->FLastDisposal = 2;
  return c;
}

std::unique_ptr<TGIFImage> TGIFImage::CreateFromGif(const TGif& gif) {
  const int count = gif.ImageCount();
  const int w = gif.Width(), h = gif.Height();
  if (count < 1) RaiseGifError(geNoImage);
  if (w <= 0 || h <= 0) RaiseGifError(geZeroSize);

  bool transparent = false;
  for (int i = 0; i < count; ++i) transparent |= gif.TransparentIndex(i) >= 0;
  // The size of all frames side by side as 24-bit rows, in 64 bits and
  // checked before anything is allocated.
  const std::uint64_t stride = (std::uint64_t(w) * 3 * std::uint64_t(count) + 3) & ~std::uint64_t(3);
  const std::uint64_t total = 54 + stride * std::uint64_t(h);
  if (total >= GifStripLimit || (transparent && total >= GifTransparentStripLimit)) RaiseGifError(geTooLarge);

  auto img = std::make_unique<TGIFImage>();
  img->FWidth = w;
  img->FHeight = h;
  img->FFrameCount = count;
  img->FAnimated = count > 1;
  img->FHasTransparency = transparent;
  const int loops = gif.NetscapeLoops();
  img->FPlayCount = loops < 0 ? 1 : loops == 0 ? 0 : loops + 1;
  if (img->FAnimated) img->FLastDisposal = 2;

  ThtBitmap* previous = nullptr;
  for (int i = 0; i < count; ++i) {
    const TGifImageDescriptor& d = gif.Image(i);
    const TGifExtension* gc = d.GraphicControl();
    TgfFrame f;
    f.Left = d.Left;
    f.Top = d.Top;
    f.Width = d.Width;
    f.Height = d.Height;
    f.Disposal = gc ? std::uint8_t(gc->Disposal & 3) : 0;
    f.Delay = std::max(10 * std::max<int>(gc ? gc->Delay : 1, 1), 30);
    img->FFrames.Add(f);

    auto cell = newCell(w, h, transparent);
    if (previous) {
      copyCell(*previous, *cell, w, h);
      const TgfFrame& last = img->FFrames.Items(i);  // frame i (1-based) is the previous one
      if (transparent && (last.Disposal == 2 || last.Disposal == 3)) {
        // The previous frame's area is cleared, clipped to the screen.
        const int x0 = std::min(last.Left, w), x1 = std::min(last.Left + last.Width, w);
        const int y0 = std::min(last.Top, h), y1 = std::min(last.Top + last.Height, h);
        for (int y = y0; y < y1; ++y) {
          std::uint32_t* p = row32(*cell, y);
          for (int x = x0; x < x1; ++x) p[x] &= 0x00FFFFFFu;
        }
      }
    }
    const TGifColorTable& table = gif.ColorTable(d.ColorTableIndex);
    std::uint32_t argb[256];
    for (int c = 0; c < 256; ++c) {
      const std::uint32_t v = table.Colors[c];
      argb[c] = kOpaqueBlack | (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
    }
    const int trans = gif.TransparentIndex(i);
    // Rows and columns past the screen's edges are clipped; a frame taller
    // than the screen was decoded at its own height.
    const int cols = std::max(0, std::min(d.Width, w - d.Left));
    const int rows = std::max(0, std::min(d.Height, h - d.Top));
    for (int y = 0; y < rows; ++y) {
      const std::uint8_t* src = d.Pixels.data() + size_t(y) * size_t(d.Width);
      std::uint32_t* dst = row32(*cell, d.Top + y) + d.Left;
      if (trans < 0) {
        for (int x = 0; x < cols; ++x) dst[x] = argb[src[x]];
      } else {
        for (int x = 0; x < cols; ++x)
          if (src[x] != trans) dst[x] = argb[src[x]];
      }
    }
    previous = cell.get();
    img->FStrip->Cells.push_back(std::move(cell));
  }
  return img;
}

void TGIFImage::LoadFromStream(TStream& stream) {
  TGif gif;
  gif.LoadFromStream(stream);
  std::unique_ptr<TGIFImage> loaded = CreateFromGif(gif);
  FStrip = loaded->FStrip;
  FFrames = loaded->FFrames;
  FFirstBitmap.reset();
  FFirstMask.reset();
  FAnimated = loaded->FAnimated;
  FIsCopy = false;
  FWidth = loaded->FWidth;
  FHeight = loaded->FHeight;
  FFrameCount = loaded->FFrameCount;
  FPlayCount = loaded->FPlayCount;
  FHasTransparency = loaded->FHasTransparency;
  FFrameIndex = FPlayIndex = 1;
  FRunning = false;
  FLastDisposal = loaded->FLastDisposal;
  Changed();
}

void TGIFImage::SaveToStream(TStream&) { throw EInvalidGraphic("GIF pictures are not written back"); }

ThtBitmap* TGIFImage::FrameBitmap(int index) const {
  if (!FStrip || index < 1 || index > int(FStrip->Cells.size())) return nullptr;
  return FStrip->Cells[size_t(index - 1)].get();
}

TBitmap* TGIFImage::FirstFrameBitmap() {
  if (FFirstBitmap) return FFirstBitmap.get();
  ThtBitmap* cell = FrameBitmap(1);
  if (!cell) return nullptr;
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(FWidth, FHeight);
  std::unique_ptr<TBitmap> m;
  if (FHasTransparency) {
    m = std::make_unique<TBitmap>();
    m->SetSize(FWidth, FHeight);
  }
  for (int y = 0; y < FHeight; ++y) {
    const std::uint32_t* src = row32(*cell, y);
    std::uint32_t* dst = row32(*b, y);
    std::uint32_t* mdst = m ? row32(*m, y) : nullptr;
    for (int x = 0; x < FWidth; ++x) {
      const bool clear = (src[x] >> 24) == 0;
      dst[x] = clear ? kOpaqueBlack : (src[x] | kOpaqueBlack);
      if (mdst) mdst[x] = clear ? 0xFFFFFFFFu : kOpaqueBlack;
    }
  }
  if (m) m->SetPixelFormat(pf1bit);
  b->SetTransparent(false);
  FFirstBitmap = std::move(b);
  FFirstMask = std::move(m);
  return FFirstBitmap.get();
}

TBitmap* TGIFImage::FirstFrameMask() {
  if (!FHasTransparency) return nullptr;
  FirstFrameBitmap();
  return FFirstMask.get();
}

void TGIFImage::recordDisposal() {
  if (FFrameIndex >= 1 && FFrameIndex <= FFrames.Count()) FLastDisposal = FFrames.Items(FFrameIndex).Disposal;
}

void TGIFImage::SetFrameIndex(int value) {
  if (value == FFrameIndex) return;
  recordDisposal();
  if (value > FFrameCount) FFrameIndex = 1;
  else if (value < 1) FFrameIndex = std::max(FFrameCount, 1);
  else FFrameIndex = value;
  if (FAnimated) FLastDisposal = 2;
}

void TGIFImage::SetRunning(bool value) {
  if (value && !FRunning && FFrameCount > 1) {
    FCurrentInterval = std::max(FFrames.Items(FFrameIndex).Delay, 1);
    FLastStep = timeGetTime();
  }
  FRunning = value;
}

void TGIFImage::Draw(TCanvas& Canvas, int X, int Y, int Wid, int Ht) {
  if (!FShown || FFrameCount < 1) return;
  FLastDraw = Rect(X, Y, X + Wid, Y + Ht);
  ThtBitmap* cell = CurrentFrame();
  if (!cell) return;
  Canvas.SetCopyMode(SRCCOPY);
  SetStretchBltMode(Canvas.Handle(), COLORONCOLOR);
  cell->DrawPart(Canvas, FLastDraw, Rect(0, 0, FWidth, FHeight));
}

void TGIFImage::StepAnimation(TWinControl* WinControl) { StepAnimationAt(WinControl, timeGetTime()); }

void TGIFImage::StepAnimationAt(TWinControl* WinControl, std::uint32_t now) {
  if (!FRunning) return;
  if (std::int64_t(std::uint32_t(now - FLastStep)) < FCurrentInterval) return;
  FLastStep = now;
  if (FFrameIndex == FFrameCount) {
    if (FPlayCount >= 1 && FPlayIndex >= FPlayCount) {
      FRunning = false;
      return;
    }
    ++FPlayIndex;
  }
  recordDisposal();
  FFrameIndex = FFrameIndex >= FFrameCount ? 1 : FFrameIndex + 1;
  if (WinControl && WinControl->HandleAllocated()) InvalidateRect(WinControl->Handle(), &FLastDraw, true);
  const int delay = FFrames.Items(FFrameIndex).Delay;
  FCurrentInterval = delay < 2 ? 1 : delay;
}

std::unique_ptr<TGIFImage> LoadGifFromStream(bool& NonAnimated, TStream& Stream) {
  NonAnimated = true;
  try {
    TGif gif;
    gif.LoadFromStream(Stream);
    auto img = TGIFImage::CreateFromGif(gif);
    NonAnimated = img->FrameCount() < 2;
    return img;
  } catch (const Exception&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
