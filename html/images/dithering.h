#pragma once
// Colour reduction: a true-colour bitmap reduced to a palette of at most
// 256 colours, by nearest colour or with Floyd-Steinberg error diffusion,
// and an octree quantiser that builds an optimised palette. Used for
// palette displays; pixels of the result are held as the palette's
// colours, and the chosen indexes can be had as well.
#include <cstdint>
#include <memory>
#include <vector>

#include "html/parse/html_common.h"
#include "platform/core/object.h"
#include "platform/graphics/bitmap.h"

using TPalette = std::vector<TPaletteColor>;

enum TColorReduction { rmNone = 0, rmWindows20 = 1, rmNoPalette = 2, rmNetscape = 3, rmShared = 4, rmOptimized = 5 };
enum TDitherMode { dmNearest = 0, dmFloydSteinberg = 1 };

class TColorLookup : public TObject {
public:
  explicit TColorLookup(int count) : FColors(count) {}
  int Colors() const { return FColors; }
  // The palette index chosen for the colour; R, G, B receive that entry.
  virtual int FindIndex(int Red, int Green, int Blue, int& R, int& G, int& B) = 0;

protected:
  int FColors;
};

// Nearest colour by the sum of channel differences, cached per 15-bit colour.
class TFastColorLookup : public TColorLookup {
public:
  explicit TFastColorLookup(const TPalette& palette);
  int FindIndex(int Red, int Green, int Blue, int& R, int& G, int& B) override;

private:
  static int key(int r, int g, int b) { return (r >> 3) | ((g & 0xF8) << 2) | ((b >> 3) << 10); }
  TPalette FPalette;
  std::vector<std::uint16_t> FCache;  // 32768 entries, 0xFFFF = empty
};

// The 216-colour web cube, by arithmetic.
class TNetscapeColorLookup : public TColorLookup {
public:
  TNetscapeColorLookup() : TColorLookup(216) {}
  int FindIndex(int Red, int Green, int Blue, int& R, int& G, int& B) override;
};

class TDitherEngine : public TObject {
public:
  TDitherEngine(int Width, TColorLookup* Lookup) : FLookup(Lookup), FWidth(Width) {}
  int Column() const { return FColumn; }
  int Direction() const { return FDirection; }
  virtual int MapPixel(int Red, int Green, int Blue, int& R, int& G, int& B);
  virtual void EndRow();

protected:
  TColorLookup* FLookup;
  int FWidth;
  int FDirection = 1;
  int FColumn = 0;
};

class TFloydSteinbergEngine : public TDitherEngine {
public:
  TFloydSteinbergEngine(int Width, TColorLookup* Lookup);
  int MapPixel(int Red, int Green, int Blue, int& R, int& G, int& B) override;
  void EndRow() override;

private:
  // Per channel: errors carried into this row and into the next (in
  // sixteenths), one spare entry at each end.
  std::vector<int> FCurrent[3], FNext[3];
};

// Builds an optimised palette from the pixels with an octree of TreeDepth
// levels; with KeepWindowsColors the 20 static colours keep entries 0-9
// and 246-255 and the quantiser fills 10-245.
TPalette BuildOctreePalette(TBitmap* Bitmap, int Colors, int TreeDepth, bool KeepWindowsColors);
TPalette MakeCubePalette();
TPalette WindowsPalette20();
TPalette SharedPaletteEntries();

// The bitmap reduced to the mode's palette (rmNone: a 24-bit copy;
// rmNoPalette or an unknown dither mode: an empty 8-bit bitmap of the
// source's size). Indexes, when given, receive the chosen palette index of
// every pixel, rows top-down.
std::unique_ptr<TBitmap> ReduceToPalette(TBitmap* Bitmap, TColorReduction Mode, int Dither,
                                         std::vector<std::uint8_t>* Indexes = nullptr,
                                         TPalette* Palette = nullptr);
// The loader's entry on palette displays: the 20 Windows colours below 8
// bits, the shared palette at 8, with error diffusion. nullptr for an
// empty or missing bitmap.
std::unique_ptr<TBitmap> DitherBitmap(TBitmap* Bitmap);
