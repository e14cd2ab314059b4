// Keys and characters as they sit on the layout the key translation of the
// event layer assumes (US punctuation; other alphabets arrive as typed text).
#include "platform/gui/keyboard_layout.h"

namespace {

struct TKeyChar {
  UINT Key;
  char16_t Plain;
  char16_t Shifted;
};

constexpr TKeyChar kPunctuation[] = {
    {VK_OEM_1, u';', u':'},      {VK_OEM_PLUS, u'+', u'+'},  {VK_OEM_COMMA, u',', u'<'},
    {VK_OEM_MINUS, u'-', u'_'},  {VK_OEM_PERIOD, u'.', u'>'}, {VK_OEM_2, u'/', u'?'},
    {VK_OEM_3, u'`', u'~'},      {VK_OEM_4, u'[', u'{'},      {VK_OEM_5, u'\\', u'|'},
    {VK_OEM_6, u']', u'}'},      {VK_OEM_7, u'\'', u'"'},     {VK_MULTIPLY, u'*', 0},
    {VK_ADD, u'+', 0},           {VK_SUBTRACT, u'-', 0},      {VK_DIVIDE, u'/', 0},
    {VK_DECIMAL, u'.', 0},       {VK_SPACE, u' ', 0},         {VK_RETURN, u'\r', 0},
    {VK_TAB, u'\t', 0},          {VK_BACK, u'\b', 0},         {VK_ESCAPE, 0x1B, 0},
};

constexpr char16_t kShiftedDigits[] = u")!@#$%^&*(";

}  // namespace

UINT MapVirtualKey(UINT Code, UINT MapType) {
  if (MapType != MAPVK_VK_TO_CHAR) return 0;
  if ((Code >= 'A' && Code <= 'Z') || (Code >= '0' && Code <= '9')) return Code;
  if (Code >= VK_NUMPAD0 && Code <= VK_NUMPAD9) return u'0' + (Code - VK_NUMPAD0);
  for (const TKeyChar& k : kPunctuation)
    if (k.Key == Code) return k.Plain;
  return 0;
}

short VkKeyScan(char16_t Ch) {
  if (Ch >= u'a' && Ch <= u'z') return short(u'A' + (Ch - u'a'));
  if (Ch >= u'A' && Ch <= u'Z') return short(0x100 | Ch);
  if (Ch >= u'0' && Ch <= u'9') return short(Ch);
  for (int i = 0; i < 10; ++i)
    if (kShiftedDigits[i] == Ch) return short(0x100 | (u'0' + i));
  // The main block first: it is what a typist presses.
  for (const TKeyChar& k : kPunctuation) {
    if (k.Key >= VK_NUMPAD0 && k.Key <= VK_DIVIDE) continue;
    if (k.Plain == Ch && k.Key != VK_OEM_PLUS) return short(k.Key);
    if (k.Shifted == Ch) return short(0x100 | k.Key);
  }
  if (Ch == u'=') return short(VK_OEM_PLUS);
  return -1;
}
