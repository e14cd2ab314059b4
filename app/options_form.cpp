#include "app/options_form.h"

#include "app/app_state.h"
#include "app/data_files.h"
#include "app/main_form.h"
#include "html/viewer/html_view.h"
#include "platform/gui/shell.h"
#include "platform/gui/stdctrls.h"
#include "tray/tray_icon.h"
#include "tree/string_tree.h"

TOptionsForm* OptionsForm = nullptr;

TOptionsForm::TOptionsForm(TComponent* AOwner) : TForm(AOwner) {
  OptionsForm = this;
  SetName(u"OptionsForm");
  SetCaption(u"настройки tamrix");
  SetBorderIcons(TBorderIcons{biSystemMenu});
  Font()->SetName(u"Arial Unicode MS");
  SetClientWidth(299);
  SetClientHeight(233);
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

TOptionsForm::~TOptionsForm() {
  if (OptionsForm == this) OptionsForm = nullptr;
}

void TOptionsForm::SetAutoStart(const String& Name, bool Remove) {
  // Failures are silent: without the right to change the entry nothing happens.
  try {
    if (Remove) DeleteAutostartEntry(Name);
    else WriteAutostartEntry(Name, u"\"" + Application->ExeName() + u"\"");
  } catch (...) {
  }
}

void TOptionsForm::BitBtn1Click(TObject*) {
  SetAutoStart(u"tamrix", !AppSettings.AutoStart);
  AppSettings.CurrentSkin = u"noSkin";
  TRuForm* f = RuForm;
  if (f) {
    AppSettings.MainFormWidth = f->Width();
    AppSettings.MainFormHeight = f->Height();
  }
  WriteSettingsFile(u"other/settings", AppSettings);
  if (!f) return;
  TControl* controls[] = {f->vst, f->QueryCombo, f->AdditionalEdit};
  if (AppSettings.UseFontStyle)
    for (TControl* c : controls) c->Font()->SetColor(AppSettings.FontColor);
  if (AppSettings.UseBgColor)
    for (TControl* c : controls) c->SetColor(AppSettings.BgColor);
  f->ApplyTraySetting();
  f->vst->Font()->SetSize(AppSettings.FontSize);
  if (!AppSettings.FontName.empty())
    for (TControl* c : controls) c->Font()->SetName(AppSettings.FontName);
  ArticleBgColor = AppSettings.UseBgColor ? AppSettings.BgColor : f->vst->Color();
  ArticleTextColor = AppSettings.UseFontStyle ? AppSettings.FontColor : f->vst->Font()->Color();
  if (f->HTMLOut->LinkUnderMouse() == u"HELP") f->HelpButtonClick(this);
}

void TOptionsForm::FormClose(TObject*, TCloseAction&) {
  if (!RuForm) return;
  RuForm->SetEnabled(true);
  if (!RuForm->ShownCaption.empty()) RuForm->vstClick(this);
}
