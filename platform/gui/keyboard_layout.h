#pragma once
// The keyboard layout's mapping between virtual keys and the characters
// they type, in the style the program is written against.
#include "platform/core/types.h"
#include "platform/gui/messages.h"

enum : UINT { MAPVK_VK_TO_VSC = 0, MAPVK_VSC_TO_VK = 1, MAPVK_VK_TO_CHAR = 2 };

// MAPVK_VK_TO_CHAR: the character the key types without modifiers (letters
// in upper case), 0 for keys that type none. The plus, minus, slash and
// asterisk keys of the main block and the keypad give the same character.
// The scan-code conversions answer 0: keys arrive here by virtual key.
UINT MapVirtualKey(UINT Code, UINT MapType);
// The virtual key that types Ch in the low byte and the shift state it
// needs in the high byte (1 Shift, 2 Ctrl, 4 Alt); -1 when no key types it.
short VkKeyScan(char16_t Ch);
