#include "html/parse/html_common.h"

String htLowerCase(std::u16string_view s) {
  String r(s);
  for (char16_t& c : r) c = htLowerChar(c);
  return r;
}

String htUpperCase(std::u16string_view s) {
  String r(s);
  for (char16_t& c : r) c = htUpperChar(c);
  return r;
}

std::uint8_t ColorDepthClass(int bitsTimesPlanes) {
  if (bitsTimesPlanes < 5) return 4;
  if (bitsTimesPlanes <= 8) return 8;
  return 24;
}

std::uint8_t ScreenColorBits = ColorDepthClass(24);
std::uint8_t& ScreenColorDepth = ScreenColorBits;
HPALETTE ViewerPalette = nullptr;
HPALETTE& SharedPalette = ViewerPalette;
std::uint32_t PalRelative = ScreenColorBits <= 8 ? 0x2000000u : 0u;
bool IsWindows95 = false;
bool IsWindows9x = false;
bool& IsWin32Platform = IsWindows9x;

std::array<TPaletteColor, 256> ViewerPaletteEntries() {
  // The static colours every palette display reserves at both ends.
  static constexpr TPaletteColor kStatic[20] = {
      {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
      {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
      {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
      {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
      {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}};
  std::array<TPaletteColor, 256> p{};
  for (int i = 0; i < 10; ++i) {
    p[i] = kStatic[i];
    p[246 + i] = kStatic[10 + i];
  }
  static constexpr std::uint8_t kLevels[6] = {0x37, 0x73, 0xA5, 0xCD, 0xEB, 0xFF};
  int n = 10;
  for (int b = 0; b < 6; ++b)
    for (int g = 0; g < 6; ++g)
      for (int r = 0; r < 6; ++r) {
        if (r == 5 && g == 5 && b == 5) continue;  // white is a static colour
        p[n++] = {kLevels[r], kLevels[g], kLevels[b], 0};
      }
  // Greys the cube does not already hold.
  for (int k = 1; k <= 23; ++k) {
    if (k == 7 || k == 15 || k == 21) continue;
    const auto v = static_cast<std::uint8_t>(130 + 5 * k);
    p[n++] = {v, v, v, 0};
  }
  p[n] = {255, 255, 254, 0};
  return p;
}
