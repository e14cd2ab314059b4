// The wheel-panning pictures are drawn here rather than loaded: a dark disc
// with white arrows for the marker, a dot with arrows for the cursors.
#include "tree/panning_images.h"

#include <cmath>
#include <map>
#include <vector>

#include "platform/graphics/canvas.h"

namespace {

constexpr int kSize = 32;

// Pixels as 0xAARRGGBB.
using TPixels = std::vector<std::uint32_t>;

void triangle(TPixels& px, int cx, int cy, int dx, int dy, std::uint32_t colour) {
  // An arrow head pointing along (dx, dy) with its tip 12 pixels from the centre.
  for (int i = 0; i < 6; ++i) {
    for (int j = -i; j <= i; ++j) {
      const int along = 13 - 6 + i;
      const int x = cx + dx * along + (dy != 0 ? j : 0);
      const int y = cy + dy * along + (dx != 0 ? j : 0);
      if (x >= 0 && y >= 0 && x < kSize && y < kSize) px[std::size_t(y * kSize + x)] = colour;
    }
  }
}

TPixels markerPixels(TPanningKind kind) {
  TPixels px(kSize * kSize, 0xFF000000u | kPanningTransparent);
  const double c = (kSize - 1) / 2.0;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x)
      if (std::hypot(x - c, y - c) <= 15.5) px[std::size_t(y * kSize + x)] = 0xFF404040u;
  const std::uint32_t white = 0xFFFFFFFFu;
  if (kind != pkEastWest) {
    triangle(px, 15, 15, 0, -1, white);
    triangle(px, 16, 16, 0, 1, white);
  }
  if (kind != pkNorthSouth) {
    triangle(px, 15, 15, -1, 0, white);
    triangle(px, 16, 16, 1, 0, white);
  }
  for (int y = 14; y <= 17; ++y)
    for (int x = 14; x <= 17; ++x) px[std::size_t(y * kSize + x)] = white;
  return px;
}

std::map<HWND, TBitmap*>& images() {
  static std::map<HWND, TBitmap*> m;
  return m;
}

}  // namespace

std::unique_ptr<TBitmap> MakePanningImage(TPanningKind Kind) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf32bit);
  bitmap->SetSize(kSize, kSize);
  const TPixels px = markerPixels(Kind);
  for (int y = 0; y < kSize; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < kSize; ++x) {
      const std::uint32_t p = px[std::size_t(y * kSize + x)];
      row[x * 4 + 0] = std::uint8_t(p);
      row[x * 4 + 1] = std::uint8_t(p >> 8);
      row[x * 4 + 2] = std::uint8_t(p >> 16);
      row[x * 4 + 3] = 0xFF;
    }
  }
  return bitmap;
}

HRGN PanningRegion(TBitmap& Image) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  for (int y = 0; y < Image.Height(); ++y) {
    auto* row = static_cast<std::uint8_t*>(Image.ScanLine(y));
    int x = 0;
    while (x < Image.Width()) {
      auto transparent = [&](int i) {
        const std::uint32_t rgb = (std::uint32_t(row[i * 4 + 2]) << 16) | (std::uint32_t(row[i * 4 + 1]) << 8) |
                                  row[i * 4];
        return rgb == kPanningTransparent;
      };
      while (x < Image.Width() && transparent(x)) ++x;
      const int start = x;
      while (x < Image.Width() && !transparent(x)) ++x;
      if (x > start) {
        HRGN run = CreateRectRgn(start, y, x, y + 1);
        CombineRgn(region, region, run, RGN_OR);
        DeleteObject(run);
      }
    }
  }
  return region;
}

HCURSOR MakePanningCursor(TPanningCursor Kind) {
  TPixels px(kSize * kSize, 0);
  const std::uint32_t black = 0xFF000000u, white = 0xFFFFFFFFu;
  for (int y = 13; y <= 18; ++y)
    for (int x = 13; x <= 18; ++x) px[std::size_t(y * kSize + x)] = (y == 13 || y == 18 || x == 13 || x == 18) ? white : black;
  auto arrow = [&](int dx, int dy) { triangle(px, 15 + (dx > 0), 15 + (dy > 0), dx, dy, black); };
  switch (Kind) {
    case pcMoveAll: arrow(0, -1); arrow(0, 1); arrow(-1, 0); arrow(1, 0); break;
    case pcMoveNS: arrow(0, -1); arrow(0, 1); break;
    case pcMoveEW: arrow(-1, 0); arrow(1, 0); break;
    case pcMoveN: arrow(0, -1); break;
    case pcMoveS: arrow(0, 1); break;
    case pcMoveE: arrow(1, 0); break;
    case pcMoveW: arrow(-1, 0); break;
    case pcMoveNE: arrow(0, -1); arrow(1, 0); break;
    case pcMoveNW: arrow(0, -1); arrow(-1, 0); break;
    case pcMoveSE: arrow(0, 1); arrow(1, 0); break;
    case pcMoveSW: arrow(0, 1); arrow(-1, 0); break;
  }
  return CreateCursorFromImage(px.data(), kSize, kSize, kSize / 2, kSize / 2);
}

void SetPanningImage(HWND Window, TBitmap* Image) {
  if (Image)
    images()[Window] = Image;
  else
    images().erase(Window);
}

void PanningWindowProc(TMessage& Message) {
  if (Message.Msg != WM_PAINT) return;
  HDC dc = HDC(Message.WParam);
  for (auto& [window, image] : images()) {
    // One panning window is shown at a time; it paints the picture it was given.
    if (!IsWindow(window) || !image) continue;
    TCanvas canvas;
    canvas.SetHandle(dc);
    canvas.Draw(0, 0, image);
    canvas.SetHandle(nullptr);
    break;
  }
}
