#pragma once
// TOptionsForm: the settings window. Here: its save routine, which the main
// window also runs when it closes.
#include "platform/gui/forms.h"

class TOptionsForm : public TForm {
public:
  explicit TOptionsForm(TComponent* AOwner);
  ~TOptionsForm() override;

  // Writes the settings file and applies the settings to the main window.
  void BitBtn1Click(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  // Starting with the session: the entry is written or removed.
  static void SetAutoStart(const String& Name, bool Remove);
};

extern TOptionsForm* OptionsForm;
