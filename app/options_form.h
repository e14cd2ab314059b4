#pragma once
// TOptionsForm: the settings window. Its check boxes and dialogs change
// the settings at once; "сохранить" (and the main window's close) writes the
// settings file and the autostart entry and applies the settings to the
// main window.
#include "platform/gui/forms.h"

class TPageControl;
class TTabSheet;
class TCheckBox;
class TButton;
class TComboBox;
class TColorDialog;
class TFontDialog;

class TOptionsForm : public TForm {
public:
  explicit TOptionsForm(TComponent* AOwner);
  ~TOptionsForm() override;

  TPageControl* PageControl1 = nullptr;
  TTabSheet* TabSheet1 = nullptr;  // основные
  TTabSheet* TabSheet2 = nullptr;  // оформление
  TCheckBox* CheckBox1 = nullptr;  // autostart
  TCheckBox* CheckBox2 = nullptr;  // tray
  TCheckBox* CheckBox3 = nullptr;  // minimise on close
  TCheckBox* CheckBox4 = nullptr;  // completion
  TCheckBox* CheckBox8 = nullptr;  // double copy
  TCheckBox* CheckBox5 = nullptr;  // own font
  TCheckBox* CheckBox6 = nullptr;  // own background
  TCheckBox* CheckBox7 = nullptr;  // theme (hidden)
  TComboBox* SkinCB = nullptr;     // theme name (hidden)
  TButton* Button4 = nullptr;      // background colour
  TButton* Button6 = nullptr;      // font
  TButton* Button5 = nullptr;      // save
  TColorDialog* ColorDialog2 = nullptr;
  TFontDialog* FontDialog1 = nullptr;

  void FormShow(TObject* Sender);
  void CheckBox1Click(TObject* Sender);
  void CheckBox2Click(TObject* Sender);
  void CheckBox3Click(TObject* Sender);
  void CheckBox4Click(TObject* Sender);
  void CheckBox5Click(TObject* Sender);
  void CheckBox6Click(TObject* Sender);
  void CheckBox7Click(TObject* Sender);
  void CheckBox8Click(TObject* Sender);
  void SkinCBChange(TObject* Sender);
  void BitBtn5Click(TObject* Sender);
  void Button6Click(TObject* Sender);
  // Writes the settings file and the autostart entry and applies the
  // settings to the main window. A file that cannot be written is reported
  // (naming it and the reason); the rest still happens.
  void BitBtn1Click(TObject* Sender);
  void FormKeyUp(TObject* Sender, WORD& Key, TShiftState Shift);
  void FormClose(TObject* Sender, TCloseAction& Action);
  // Starting with the session: the entry is written (Remove false) or
  // removed. False when that failed.
  static bool SetAutoStart(const String& Name, bool Remove);
};

extern TOptionsForm* OptionsForm;
