#include "html/parse/html_edit.h"

void ThtEdit::KeyDown(WORD& Key, TShiftState Shift) {
  if (Key == 'A' && Shift == TShiftState{ssCtrl}) SelectAll();
  TEdit::KeyDown(Key, Shift);
}
