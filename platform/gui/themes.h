#pragma once
// Drawing with the desktop's own look: the pieces a control draws "themed"
// (tree expand glyphs, check boxes and radio buttons, push buttons, header
// sections) are drawn by the toolkit's current style, so they match the
// other programs on the desktop. Each call draws into a device context.
#include "platform/graphics/gdi.h"

// True when a desktop style is there to draw with.
bool ThemesAvailable();

// The expand/collapse glyph of a tree row centred in R.
void DrawThemedTreeGlyph(HDC DC, const TRect& R, bool Expanded, COLORREF Color);

enum TThemedCheckKind { tckCheckBox, tckRadioButton, tckPushButton };
enum TThemedCheckValue { tcvUnchecked, tcvChecked, tcvMixed };
// A check box, radio button or push button in R.
void DrawThemedCheck(HDC DC, const TRect& R, TThemedCheckKind Kind, TThemedCheckValue Value, bool Hot,
                     bool Pressed, bool Disabled);

// One section of a list header in R; SortAscending: 1 up, -1 down, 0 none.
void DrawThemedHeaderSection(HDC DC, const TRect& R, bool Hot, bool Pressed, int SortGlyph);
