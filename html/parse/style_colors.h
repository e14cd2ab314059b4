#pragma once
// Colour texts of style sheets and HTML attributes.
#include <cstdint>

#include "platform/core/types.h"
#include "platform/graphics/colors.h"

// Colour from a name, "rgb(r, g, b)" or hexadecimal digits, in the form
// 0x00BBGGRR (system colours 0xFF0000nn, "transparent" no colour). Hex
// colours carry the palette-relative flag. needPound: bare hex digits are
// not accepted. False when the text is no colour; color is then untouched.
bool ColorFromString(const String& text, bool needPound, TColor& color);
