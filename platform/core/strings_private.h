#pragma once
// Helpers shared by the string routines' source files; not for other areas.
#include "platform/core/types.h"

// A float as Format writes it for type e, f, g or n with the given precision.
String FormatFloatSpec(double value, char16_t type, int precision);
