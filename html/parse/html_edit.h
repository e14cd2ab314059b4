#pragma once
// The viewer's single-line edit for form fields.
#include "platform/gui/stdctrls.h"

class ThtEdit : public TEdit {
public:
  explicit ThtEdit(TComponent* AOwner) : TEdit(AOwner) {}

protected:
  // Ctrl+A selects the whole field, as in every other edit box users know.
  void KeyDown(WORD& Key, TShiftState Shift) override;
};
