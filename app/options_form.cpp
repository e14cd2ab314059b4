#include "app/options_form.h"

#include "app/app_state.h"
#include "app/data_files.h"
#include "app/main_form.h"
#include "html/viewer/html_view.h"
#include "platform/core/files.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/shell.h"
#include "platform/gui/stdctrls.h"
#include "tray/tray_icon.h"
#include "tree/string_tree.h"

TOptionsForm* OptionsForm = nullptr;

namespace {

TCheckBox* makeBox(TOptionsForm* form, TWinControl* parent, const String& caption, int top,
                   TNotifyEvent onClick) {
  auto* b = new TCheckBox(form);
  b->SetParent(parent);
  b->SetCaption(caption);
  b->SetBounds(12, top, 260, 21);
  b->OnClick = std::move(onClick);
  return b;
}

TButton* makeButton(TOptionsForm* form, TWinControl* parent, const String& caption, int left, int top,
                    int width, TNotifyEvent onClick) {
  auto* b = new TButton(form);
  b->SetParent(parent);
  b->SetCaption(caption);
  b->SetBounds(left, top, width, 23);
  b->OnClick = std::move(onClick);
  return b;
}

// A failure while saving: said each time the user saves, and once when the
// main window's closing saves (it may close again after a refusal).
void report(TObject* Sender, const String& Text) {
  if (RuForm && Sender == RuForm)
    RuForm->ShowFailureOnce(Text);
  else
    Application->MessageBox(Text, Application->Title(), MB_OK | MB_ICONERROR);
}

}  // namespace

TOptionsForm::TOptionsForm(TComponent* AOwner) : TForm(AOwner) {
  OptionsForm = this;
  SetName(u"OptionsForm");
  SetCaption(u"настройки tamrix");
  SetBorderStyle(bsSingle);
  SetBorderIcons(TBorderIcons{biSystemMenu});
  // It stays above the main window, which it disables while it is open.
  SetFormStyle(fsStayOnTop);
  SetKeyPreview(true);
  Font()->SetName(u"Arial Unicode MS");
  SetClientWidth(299);
  SetClientHeight(233);

  PageControl1 = new TPageControl(this);
  PageControl1->SetParent(this);
  PageControl1->SetBounds(4, 4, 291, 190);
  TabSheet1 = new TTabSheet(this);
  TabSheet1->SetPageControl(PageControl1);
  TabSheet1->SetCaption(u"основные");
  TabSheet2 = new TTabSheet(this);
  TabSheet2->SetPageControl(PageControl1);
  TabSheet2->SetCaption(u"оформление");

  CheckBox1 = makeBox(this, TabSheet1, u"автозагрузка tamrix", 8, [this](TObject* s) { CheckBox1Click(s); });
  CheckBox2 = makeBox(this, TabSheet1, u"сворачивать в SysTray", 34, [this](TObject* s) { CheckBox2Click(s); });
  CheckBox3 = makeBox(this, TabSheet1, u"сворачивать при нажатии «закрыть»", 60,
                      [this](TObject* s) { CheckBox3Click(s); });
  CheckBox4 = makeBox(this, TabSheet1, u"автоподбор слов", 86, [this](TObject* s) { CheckBox4Click(s); });
  CheckBox8 = makeBox(this, TabSheet1, u"обрабатывать Ctrl-C ", 112, [this](TObject* s) { CheckBox8Click(s); });

  CheckBox6 = makeBox(this, TabSheet2, u"использовать рабочий фон", 10, [this](TObject* s) { CheckBox6Click(s); });
  CheckBox6->SetWidth(220);
  Button4 = makeButton(this, TabSheet2, u"..", 240, 9, 30, [this](TObject* s) { BitBtn5Click(s); });
  CheckBox5 = makeBox(this, TabSheet2, u"использовать рабочий шрифт", 42, [this](TObject* s) { CheckBox5Click(s); });
  CheckBox5->SetWidth(220);
  Button6 = makeButton(this, TabSheet2, u"..", 240, 41, 30, [this](TObject* s) { Button6Click(s); });
  CheckBox7 = makeBox(this, TabSheet2, u"использовать тему", 74, [this](TObject* s) { CheckBox7Click(s); });
  CheckBox7->SetVisible(false);
  SkinCB = new TComboBox(this);
  SkinCB->SetParent(TabSheet2);
  SkinCB->SetStyle(csDropDownList);
  SkinCB->SetBounds(12, 100, 258, 23);
  SkinCB->SetVisible(false);
  SkinCB->SetEnabled(false);
  SkinCB->OnChange = [this](TObject* s) { SkinCBChange(s); };
  PageControl1->SetActivePage(TabSheet1);

  Button5 = makeButton(this, this, u"сохранить", 100, 202, 100, [this](TObject* s) { BitBtn1Click(s); });
  Button5->SetHeight(25);

  ColorDialog2 = new TColorDialog(this);
  FontDialog1 = new TFontDialog(this);

  OnShow = [this](TObject* s) { FormShow(s); };
  OnKeyUp = [this](TObject* s, WORD& k, TShiftState sh) { FormKeyUp(s, k, sh); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

TOptionsForm::~TOptionsForm() {
  if (OptionsForm == this) OptionsForm = nullptr;
}

void TOptionsForm::FormShow(TObject*) {
  CheckBox1->SetChecked(AppSettings.AutoStart);
  CheckBox2->SetChecked(AppSettings.HideToSysTray);
  CheckBox3->SetChecked(AppSettings.MinimizeAtClosing);
  CheckBox4->SetChecked(AppSettings.WordAutoSelect);
  CheckBox7->SetChecked(AppSettings.UseSkin);
  CheckBox6->SetChecked(AppSettings.UseBgColor);
  CheckBox5->SetChecked(AppSettings.UseFontStyle);
  CheckBox8->SetChecked(AppSettings.UseCtrlC);
  FontDialog1->Font()->SetColor(AppSettings.FontColor);
  if (!AppSettings.FontName.empty()) FontDialog1->Font()->SetName(AppSettings.FontName);
  if (AppSettings.FontSize > 0) FontDialog1->Font()->SetSize(AppSettings.FontSize);
}

void TOptionsForm::CheckBox1Click(TObject*) { AppSettings.AutoStart = CheckBox1->Checked(); }
void TOptionsForm::CheckBox2Click(TObject*) { AppSettings.HideToSysTray = CheckBox2->Checked(); }
void TOptionsForm::CheckBox3Click(TObject*) { AppSettings.MinimizeAtClosing = CheckBox3->Checked(); }
void TOptionsForm::CheckBox4Click(TObject*) { AppSettings.WordAutoSelect = CheckBox4->Checked(); }
void TOptionsForm::CheckBox8Click(TObject*) { AppSettings.UseCtrlC = CheckBox8->Checked(); }
// Ordinary switches: the user can turn the own font and background off as
// well as on.
void TOptionsForm::CheckBox5Click(TObject*) { AppSettings.UseFontStyle = CheckBox5->Checked(); }
void TOptionsForm::CheckBox6Click(TObject*) { AppSettings.UseBgColor = CheckBox6->Checked(); }

void TOptionsForm::CheckBox7Click(TObject*) {
  AppSettings.UseSkin = CheckBox7->Checked();
  SkinCB->SetEnabled(AppSettings.UseSkin);
  CheckBox5->SetChecked(!AppSettings.UseSkin);
  AppSettings.UseFontStyle = !AppSettings.UseSkin;
  AppSettings.UseBgColor = !AppSettings.UseSkin;
  CheckBox6->SetChecked(!AppSettings.UseSkin);
}

void TOptionsForm::SkinCBChange(TObject*) { AppSettings.CurrentSkin = SkinCB->Text(); }

void TOptionsForm::BitBtn5Click(TObject*) {
  ColorDialog2->SetColor(AppSettings.BgColor);
  if (ColorDialog2->Execute()) AppSettings.BgColor = ColorDialog2->Color();
}

void TOptionsForm::Button6Click(TObject*) {
  if (!FontDialog1->Execute()) return;
  AppSettings.FontName = FontDialog1->Font()->Name();
  AppSettings.FontColor = FontDialog1->Font()->Color();
  AppSettings.FontSize = FontDialog1->Font()->Size();
}

bool TOptionsForm::SetAutoStart(const String& Name, bool Remove) {
  try {
    if (Remove) return DeleteAutostartEntry(Name);
    return WriteAutostartEntry(Name, u"\"" + Application->ExeName() + u"\"");
  } catch (...) {
    return false;
  }
}

void TOptionsForm::BitBtn1Click(TObject* Sender) {
  if (!SetAutoStart(u"tamrix", !AppSettings.AutoStart))
    report(Sender, u"Не удалось " + String(AppSettings.AutoStart ? u"записать" : u"удалить") + u" файл автозагрузки \"" +
           AutostartEntryPath(u"tamrix") + u"\".");
  AppSettings.CurrentSkin = u"noSkin";
  TRuForm* f = RuForm;
  if (f) {
    AppSettings.MainFormWidth = f->Width();
    AppSettings.MainFormHeight = f->Height();
  }
  const String file = (AppDir.empty() ? String() : AppDir + u"/") + u"other/settings";
  try {
    WriteSettingsFile(file, AppSettings);
  } catch (const Exception& e) {
    // The message names the file and the reason.
    report(Sender, e.Message());
  }
  if (!f) return;
  TControl* controls[] = {f->vst, f->QueryCombo, f->AdditionalEdit};
  if (AppSettings.UseFontStyle)
    for (TControl* c : controls) c->Font()->SetColor(AppSettings.FontColor);
  if (AppSettings.UseBgColor)
    for (TControl* c : controls) c->SetColor(AppSettings.BgColor);
  f->ApplyTraySetting();
  CheckBox4->SetChecked(AppSettings.WordAutoSelect);
  if (AppSettings.FontSize > 0) f->vst->Font()->SetSize(AppSettings.FontSize);
  if (!AppSettings.FontName.empty())
    for (TControl* c : controls) c->Font()->SetName(AppSettings.FontName);
  f->FitResultRows();
  ArticleBgColor = AppSettings.UseBgColor ? AppSettings.BgColor : f->vst->Color();
  ArticleTextColor = AppSettings.UseFontStyle ? AppSettings.FontColor : f->vst->Font()->Color();
  f->RefreshHelpPage();
}

void TOptionsForm::FormKeyUp(TObject*, WORD& Key, TShiftState) {
  if (Key == VK_ESCAPE) Close();
}

void TOptionsForm::FormClose(TObject*, TCloseAction&) {
  if (!RuForm) return;
  RuForm->SetEnabled(true);
  // The article is drawn again in the colours now set; with no result
  // selected there is none to draw again, and the page shown stays.
  if (!RuForm->ShownCaption.empty() && RuForm->vst->GetFirstSelected()) RuForm->vstClick(this);
}
