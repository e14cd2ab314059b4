#pragma once
// String routines shared by every area.
#include "platform/core/types.h"

// Standard UTF-8 <-> UTF-16 conversion for the platform's own use (file
// names, messages, toolkit boundary). Characters beyond U+FFFF map to
// surrogate pairs; malformed input becomes U+FFFD.
String UTF8ToUTF16(const UTF8String& text);
UTF8String UTF16ToUTF8(const String& text);
