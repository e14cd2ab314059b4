#pragma once
// The marker text of an ordered list item.
#include "html/parse/style_model.h"
#include "platform/core/types.h"

// "3.", "c.", "iii." ... for the numbered styles, empty for the others.
// Numbers below 1 are written in decimal for every style (no letter or
// numeral exists for them); letters go on past "z" as "aa", "ab" ..., and
// numerals past 20 as "xxi" ... up to 3999, then in decimal.
String ListBulletText(TListStyleType Style, int Number);
