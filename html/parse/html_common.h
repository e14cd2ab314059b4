#pragma once
// Helpers shared by the HTML reader and the viewer: ASCII-only case
// folding, in-place appends, byte-pointer arithmetic, the display's colour
// class and the shared palette.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "platform/core/exception.h"
#include "platform/core/types.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/geometry.h"

class TCanvas;

// An unknown charset or code page.
TAMRIX_DECLARE_EXCEPTION(EConversionError, Exception)

// Case folding of the letters A to Z only. Tag, attribute and keyword
// names are ASCII; folding other scripts would change names written in them.
inline char16_t htLowerChar(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
inline char16_t htUpperChar(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }
String htLowerCase(std::u16string_view s);
String htUpperCase(std::u16string_view s);

inline void AppendChar(String& s, char16_t c) { s.push_back(c); }
inline void AppendText(String& s, std::u16string_view text) { s.append(text); }

// Byte arithmetic on addresses (bitmap rows, record copies).
inline std::ptrdiff_t PtrSub(const void* p1, const void* p2) {
  return static_cast<const std::byte*>(p1) - static_cast<const std::byte*>(p2);
}
template <typename T>
inline T* PtrAdd(T* p, std::ptrdiff_t n) {
  using B = std::conditional_t<std::is_const_v<T>, const std::byte, std::byte>;
  return reinterpret_cast<T*>(reinterpret_cast<B*>(p) + n);
}
template <typename T>
inline void PtrInc(T*& p, std::ptrdiff_t n) { p = PtrAdd(p, n); }

// Colour class of the display: 4, 8 or 24 bits. Every display the toolkit
// drives here is true colour, so this is 24 and no palette is needed.
extern std::uint8_t ScreenColorBits;
extern std::uint8_t& ScreenColorDepth;
// Shared 256-entry palette, made only on an 8-bit display (never here).
extern HPALETTE ViewerPalette;
extern HPALETTE& SharedPalette;
// Added to colours handed to the system on palette displays; 0 otherwise.
extern std::uint32_t PalRelative;
// Flags of an old platform family that does not exist here; always false.
extern bool IsWindows95;
extern bool IsWindows9x;
extern bool& IsWin32Platform;

// Colour depth class for bits per pixel times planes.
std::uint8_t ColorDepthClass(int bitsTimesPlanes);

// Draws Text at (X, Y) clipped to Rect, filling the background unless the
// canvas's brush is clear. On a right-to-left canvas X is the right end.
void WideCanvasTextRect(TCanvas* Canvas, const TRect& Rect, int X, int Y, const String& Text);

struct TPaletteColor {
  std::uint8_t Red, Green, Blue, Flags;
};
// The entries of the shared palette: the 20 static colours of a palette
// display at 0-9 and 246-255, the 6x6x6 colour cube without white at
// 10-224, greys at 225-244 and an off-white at 245.
std::array<TPaletteColor, 256> ViewerPaletteEntries();
