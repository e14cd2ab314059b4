// Colour reduction and dithering.
#include "html/images/dithering.h"

#include <algorithm>
#include <cstdlib>

namespace {

std::uint32_t* row32(TBitmap& b, int y) { return static_cast<std::uint32_t*>(b.ScanLine(y)); }

int clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Division by 16 that truncates toward zero.
int div16(int v) { return v / 16; }

}  // namespace

// ---- palettes -------------------------------------------------------------------------

TPalette SharedPaletteEntries() {
  const auto e = ViewerPaletteEntries();
  return TPalette(e.begin(), e.end());
}

TPalette WindowsPalette20() {
  const auto e = ViewerPaletteEntries();
  TPalette p(e.begin(), e.begin() + 10);
  p.insert(p.end(), e.begin() + 246, e.end());
  return p;
}

TPalette MakeCubePalette() {
  TPalette p;
  p.reserve(216);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        p.push_back(TPaletteColor{std::uint8_t(51 * r), std::uint8_t(51 * g), std::uint8_t(51 * b), 0});
  return p;
}

// ---- look-ups -----------------------------------------------------------------------------

TFastColorLookup::TFastColorLookup(const TPalette& palette)
    : TColorLookup(int(palette.size())), FPalette(palette), FCache(32768, 0xFFFF) {
  for (int i = int(FPalette.size()) - 1; i >= 0; --i) {
    const TPaletteColor& c = FPalette[size_t(i)];
    FCache[size_t(key(c.Red, c.Green, c.Blue))] = std::uint16_t(i);  // the lowest index wins
  }
}

int TFastColorLookup::FindIndex(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int k = key(Red, Green, Blue);
  int index = FCache[size_t(k)];
  if (index == 0xFFFF) {
    int best = 1 << 30;
    index = 0;
    for (size_t i = 0; i < FPalette.size(); ++i) {
      const TPaletteColor& c = FPalette[i];
      const int d = std::abs(c.Red - Red) + std::abs(c.Green - Green) + std::abs(c.Blue - Blue);
      if (d < best) {
        best = d;
        index = int(i);
      }
    }
    FCache[size_t(k)] = std::uint16_t(index);
  }
  const TPaletteColor& c = FPalette[size_t(index)];
  R = c.Red;
  G = c.Green;
  B = c.Blue;
  return index;
}

int TNetscapeColorLookup::FindIndex(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int r = (Red + 3) / 51, g = (Green + 3) / 51, b = (Blue + 3) / 51;
  R = 51 * r;
  G = 51 * g;
  B = 51 * b;
  return 36 * r + 6 * g + b;
}

// ---- engines ---------------------------------------------------------------------------------

int TDitherEngine::MapPixel(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int index = FLookup->FindIndex(Red, Green, Blue, R, G, B);
  FColumn += FDirection;
  return index;
}

void TDitherEngine::EndRow() {
  FDirection = -FDirection;
  FColumn = FDirection > 0 ? 0 : FWidth - 1;
}

TFloydSteinbergEngine::TFloydSteinbergEngine(int Width, TColorLookup* Lookup) : TDitherEngine(Width, Lookup) {
  for (int c = 0; c < 3; ++c) {
    FCurrent[c].assign(size_t(Width) + 2, 0);
    FNext[c].assign(size_t(Width) + 2, 0);
  }
}

int TFloydSteinbergEngine::MapPixel(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int at = FColumn + 1;  // the spare entries keep neighbours of the edges in range
  const int in[3] = {Red, Green, Blue};
  int used[3];
  for (int c = 0; c < 3; ++c) used[c] = clamp255(in[c] + div16(FCurrent[c][size_t(at)] + 8));
  const int index = FLookup->FindIndex(used[0], used[1], used[2], R, G, B);
  const int chosen[3] = {R, G, B};
  const int d = FDirection;
  for (int c = 0; c < 3; ++c) {
    const int e = used[c] - chosen[c];
    FCurrent[c][size_t(at + d)] += 7 * e;
    FNext[c][size_t(at - d)] += 3 * e;
    FNext[c][size_t(at)] += 5 * e;
    FNext[c][size_t(at + d)] += e;
  }
  FColumn += d;
  return index;
}

void TFloydSteinbergEngine::EndRow() {
  for (int c = 0; c < 3; ++c) {
    std::swap(FCurrent[c], FNext[c]);
    std::fill(FNext[c].begin(), FNext[c].end(), 0);
  }
  TDitherEngine::EndRow();
}

// ---- octree ----------------------------------------------------------------------------------

namespace {

struct TOctreeNode {
  bool Leaf = false;
  int PixelCount = 0;
  long long RedSum = 0, GreenSum = 0, BlueSum = 0;
  TOctreeNode* Next = nullptr;  // the next reducible node of its level
  std::unique_ptr<TOctreeNode> Children[8];
};

class TColorQuantizer {
public:
  TColorQuantizer(int MaxColors, int ColorBits) : FMaxColors(MaxColors), FColorBits(std::clamp(ColorBits, 1, 8)) {}

  void AddColor(int r, int g, int b) {
    addColor(FTree, r, g, b, 0);
    while (FLeafCount > FMaxColors) reduceTree();
  }

  void GetColorTable(TPalette& out) const { walk(FTree.get(), out); }

private:
  void addColor(std::unique_ptr<TOctreeNode>& node, int r, int g, int b, int level) {
    if (!node) {
      node = std::make_unique<TOctreeNode>();
      if (level == FColorBits) {
        node->Leaf = true;
        ++FLeafCount;
      } else {
        node->Next = FReducible[size_t(level)];
        FReducible[size_t(level)] = node.get();
      }
    }
    if (node->Leaf) {
      ++node->PixelCount;
      node->RedSum += r;
      node->GreenSum += g;
      node->BlueSum += b;
      return;
    }
    const int shift = 7 - level;
    const int index = (((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((b >> shift) & 1);
    addColor(node->Children[index], r, g, b, level + 1);
  }

  void reduceTree() {
    int level = FColorBits - 1;
    while (level > 0 && !FReducible[size_t(level)]) --level;
    TOctreeNode* node = FReducible[size_t(level)];
    if (!node) return;
    FReducible[size_t(level)] = node->Next;
    int children = 0;
    for (auto& child : node->Children) {
      if (!child) continue;
      node->RedSum += child->RedSum;
      node->GreenSum += child->GreenSum;
      node->BlueSum += child->BlueSum;
      node->PixelCount += child->PixelCount;
      child.reset();
      ++children;
    }
    node->Leaf = true;
    FLeafCount -= children - 1;
  }

  static void walk(const TOctreeNode* node, TPalette& out) {
    if (!node) return;
    if (node->Leaf) {
      const int n = node->PixelCount;
      out.push_back(TPaletteColor{std::uint8_t(n ? node->RedSum / n : 0), std::uint8_t(n ? node->GreenSum / n : 0),
                                  std::uint8_t(n ? node->BlueSum / n : 0), 0});
      return;
    }
    for (const auto& child : node->Children) walk(child.get(), out);
  }

  std::unique_ptr<TOctreeNode> FTree;
  int FLeafCount = 0;
  TOctreeNode* FReducible[9] = {};
  int FMaxColors;
  int FColorBits;
};

}  // namespace

TPalette BuildOctreePalette(TBitmap* Bitmap, int Colors, int TreeDepth, bool KeepWindowsColors) {
  const int colors = KeepWindowsColors ? 236 : std::clamp(Colors, 1, 256);
  TColorQuantizer q(colors, TreeDepth);
  if (Bitmap)
    for (int y = 0; y < Bitmap->Height(); ++y) {
      const std::uint32_t* p = row32(*Bitmap, y);
      for (int x = 0; x < Bitmap->Width(); ++x) q.AddColor(int(p[x] >> 16 & 0xFF), int(p[x] >> 8 & 0xFF), int(p[x] & 0xFF));
    }
  TPalette found;
  q.GetColorTable(found);
  if (!KeepWindowsColors) return found;
  // Entries the quantiser left without a colour are black.
  const TPalette win = WindowsPalette20();
  TPalette p(256, TPaletteColor{0, 0, 0, 0});
  for (int i = 0; i < 10; ++i) {
    p[size_t(i)] = win[size_t(i)];
    p[size_t(246 + i)] = win[size_t(10 + i)];
  }
  for (size_t i = 0; i < found.size() && i < 236; ++i) p[10 + i] = found[i];
  return p;
}

// ---- reduction ---------------------------------------------------------------------------------

std::unique_ptr<TBitmap> ReduceToPalette(TBitmap* Bitmap, TColorReduction Mode, int Dither,
                                         std::vector<std::uint8_t>* Indexes, TPalette* Palette) {
  if (!Bitmap) return nullptr;
  const int w = Bitmap->Width(), h = Bitmap->Height();
  auto result = std::make_unique<TBitmap>();
  if (Mode == rmNone) {
    result->Assign(*Bitmap);
    result->SetPixelFormat(pf24bit);
    return result;
  }
  result->SetPixelFormat(pf8bit);
  result->SetSize(w, h);
  if (Indexes) Indexes->assign(size_t(w) * size_t(h), 0);
  TPalette palette;
  switch (Mode) {
    case rmWindows20: palette = WindowsPalette20(); break;
    case rmNetscape: palette = MakeCubePalette(); break;
    case rmShared: palette = SharedPaletteEntries(); break;
    case rmOptimized: palette = BuildOctreePalette(Bitmap, 256, 8, true); break;
    default: break;
  }
  if (Palette) *Palette = palette;
  if (palette.empty() || (Dither != dmNearest && Dither != dmFloydSteinberg)) return result;

  std::unique_ptr<TColorLookup> lookup;
  if (Mode == rmNetscape) lookup = std::make_unique<TNetscapeColorLookup>();
  else lookup = std::make_unique<TFastColorLookup>(palette);
  std::unique_ptr<TDitherEngine> engine;
  if (Dither == dmFloydSteinberg) engine = std::make_unique<TFloydSteinbergEngine>(w, lookup.get());
  else engine = std::make_unique<TDitherEngine>(w, lookup.get());

  for (int y = 0; y < h; ++y) {
    const std::uint32_t* src = row32(*Bitmap, y);
    std::uint32_t* dst = row32(*result, y);
    for (int x = engine->Column(); x >= 0 && x < w; x = engine->Column()) {
      int r, g, b;
      const int index =
          engine->MapPixel(int(src[x] >> 16 & 0xFF), int(src[x] >> 8 & 0xFF), int(src[x] & 0xFF), r, g, b);
      dst[x] = 0xFF000000u | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b);
      if (Indexes) (*Indexes)[size_t(y) * size_t(w) + size_t(x)] = std::uint8_t(index);
    }
    engine->EndRow();
  }
  return result;
}

std::unique_ptr<TBitmap> DitherBitmap(TBitmap* Bitmap) {
  if (!Bitmap || Bitmap->Empty()) return nullptr;
  if (Bitmap->PixelFormat() == pfDevice) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*Bitmap);
    return copy;
  }
  return ReduceToPalette(Bitmap, ScreenColorDepth < 8 ? rmWindows20 : rmShared, dmFloydSteinberg);
}
