#pragma once
// TZipDialogBox: the zip component's own message box, built in code: a
// word-wrapped text, an optional password field and one row of buttons.
// Like every modal window it asks the platform's dialog hook first, so an
// unattended host or a test answers without a window ever waiting.
#include "platform/gui/forms.h"
#include "zip/zip_archiver.h"

class TLabel;
class TEdit;

class TZipDialogBox : public TForm {
public:
  // type: 0 warning, 1 error, 2 information, 3 confirmation, 4 password.
  TZipDialogBox(TComponent* owner, const String& title, const String& msg, TZADlgBtns btns, int type);
  String Password() const;
  int DialogType() const { return FType; }

private:
  TLabel* FText = nullptr;
  TEdit* FEdit = nullptr;
  int FType = 0;
};
