// The settings window: its controls show the settings, change them at
// once, and "сохранить" writes the file and the autostart entry and applies
// them to the main window; failures are said.
#include <filesystem>
#include <optional>

#include "app/data_files.h"
#include "platform/core/strings.h"
#include "platform/gui/shell.h"
#include "platform/gui/testing.h"
#include "tests/app/main_form_util.h"
#include "tray/tray_icon.h"

using apptest::readFile;
using apptest::writeFile;
namespace fs = std::filesystem;

namespace {

class SettingsWindow : public apptest::MainWindow {
protected:
  void SetUp() override {
    MainWindow::SetUp();
    Dict("en").Properties("English", "en").Word({0, "FOX", "<1>fox</1> лиса"});
    List("en 1\r\n");
    SetDialogHook([this](TDialogRequest& r, int& result) {
      result = 0;
      if (r.Kind == dkMessageBox) {
        Messages.push_back(UTF16ToUTF8(r.Text));
        result = IDOK;
      } else if (r.Kind == dkColor && PickColor) {
        static_cast<TColorDialog*>(r.Dialog)->SetColor(*PickColor);
        result = 1;
      } else if (r.Kind == dkFont && PickFont) {
        TFont* f = static_cast<TFontDialog*>(r.Dialog)->Font();
        f->SetName(u"DejaVu Serif");
        f->SetSize(15);
        f->SetColor(TColor(0x00204060));
        result = 1;
      }
      return true;
    });
  }

  // The boxes in the order of the settings they carry.
  std::vector<bool> Boxes() {
    std::vector<bool> v;
    for (TCheckBox* b : {Options->CheckBox1, Options->CheckBox2, Options->CheckBox3, Options->CheckBox4,
                         Options->CheckBox8, Options->CheckBox5, Options->CheckBox6})
      v.push_back(b->Checked());
    return v;
  }

  std::optional<TColor> PickColor;
  bool PickFont = false;
};

// The toolkit's own dialogs the program opens (colour, font, print, file)
// speak Russian, as the program does; a text the translations lack stays
// in English.
TEST_F(SettingsWindow, TheToolkitsDialogsSpeakRussian) {
  Start();
  EXPECT_EQ(ToolkitText("QPlatformTheme", "Cancel"), u"Отмена");
  EXPECT_EQ(ToolkitText("QFileDialog", "Save As"), u"Сохранить как");
  EXPECT_EQ(ToolkitText("QPrintDialog", "Print"), u"Печать");
  EXPECT_EQ(ToolkitText("QFontDialog", "Select Font"), u"Выбор шрифта");
  EXPECT_EQ(ToolkitText("QColorDialog", "Select Color"), u"Выбор цвета");
  EXPECT_EQ(ToolkitText("QFileDialog", "No such words in the toolkit"), u"No such words in the toolkit");
}

TEST_F(SettingsWindow, TheButtonOpensAFullWindowAboveTheDisabledMainOne) {
  Start();
  Form->Show();
  Form->OptionsButtonClick(Form);
  EXPECT_TRUE(Options->Visible());
  EXPECT_FALSE(Form->Enabled());
  EXPECT_EQ(Options->FormStyle(), fsStayOnTop);
  EXPECT_EQ(Options->PageControl1->PageCount(), 2);
  EXPECT_EQ(Options->TabSheet1->Caption(), u"основные");
  EXPECT_EQ(Options->TabSheet2->Caption(), u"оформление");
  EXPECT_EQ(Options->Button5->Caption(), u"сохранить");
  EXPECT_FALSE(Options->CheckBox7->Visible());
  EXPECT_FALSE(Options->SkinCB->Visible());
  // The settings file's values (completion, double copy, own colours on).
  EXPECT_EQ(Boxes(), (std::vector<bool>{false, false, false, true, true, true, true}));
  // Esc closes it and gives the main window back.
  WORD key = VK_ESCAPE;
  Options->FormKeyUp(Options, key, {});
  EXPECT_FALSE(Options->Visible());
  EXPECT_TRUE(Form->Enabled());
}

TEST_F(SettingsWindow, EveryControlGoesToTheFileAndBack) {
  Start();
  Form->OptionsButtonClick(Form);
  // Every box the other way round, both dialogs confirmed.
  for (TCheckBox* b : {Options->CheckBox1, Options->CheckBox2, Options->CheckBox3, Options->CheckBox4,
                       Options->CheckBox8, Options->CheckBox5, Options->CheckBox6})
    b->SetChecked(!b->Checked());
  EXPECT_TRUE(AppSettings.AutoStart && AppSettings.HideToSysTray && AppSettings.MinimizeAtClosing);
  EXPECT_FALSE(AppSettings.WordAutoSelect || AppSettings.UseCtrlC || AppSettings.UseFontStyle ||
               AppSettings.UseBgColor);
  PickColor = TColor(0x00CCEEFF);
  Options->Button4->Click();
  PickFont = true;
  Options->Button6->Click();
  Options->Button5->Click();
  EXPECT_EQ(Messages.size(), 1u) << ::testing::PrintToString(Messages);  // only the hot key's

  EXPECT_EQ(readFile(Dir / "other/settings"),
            "HideToSysTray=-1;\r\nAutoStart=-1;\r\nMinimizeAtClosing=-1;\r\nFontColor=$00204060;\r\nFontSize=15;\r\n"
            "FontName=DejaVu Serif;\r\nBgColor=$00CCEEFF;\r\nWordAutoSelect=0;\r\nUseSkin=0;\r\nUseBgColor=0;\r\n"
            "UseFontStyle=0;\r\nCurrentSkin=noSkin;\r\nMainFormWidth=800;\r\nMainFormHeight=600;\r\nUseCtrlC=0;\r\n");

  // Read back into fresh settings, the window shows them again.
  for (TCheckBox* b : {Options->CheckBox1, Options->CheckBox2, Options->CheckBox3, Options->CheckBox4,
                       Options->CheckBox8, Options->CheckBox5, Options->CheckBox6})
    b->SetChecked(false);
  AppSettings = TAppSettings{};
  ReadSettingsFile(u"other/settings", AppSettings);
  Options->FormShow(Options);
  EXPECT_EQ(Boxes(), (std::vector<bool>{true, true, true, false, false, false, false}));
  EXPECT_EQ(Options->FontDialog1->Font()->Name(), u"DejaVu Serif");
  EXPECT_EQ(Options->FontDialog1->Font()->Size(), 15);
  EXPECT_EQ(Options->FontDialog1->Font()->Color(), TColor(0x00204060));

  // Cancelled dialogs change nothing.
  PickColor.reset();
  PickFont = false;
  Options->Button4->Click();
  Options->Button6->Click();
  EXPECT_EQ(AppSettings.BgColor, TColor(0x00CCEEFF));
  EXPECT_EQ(AppSettings.FontName, u"DejaVu Serif");
}

TEST_F(SettingsWindow, SavingAppliesToTheMainWindowAndTheShownPage) {
  Start();
  Search(u"fox");
  Select(0, 0);
  Form->OptionsButtonClick(Form);
  PickColor = TColor(0x00CCEEFF);
  Options->Button4->Click();
  PickFont = true;
  Options->Button6->Click();
  Options->CheckBox2->SetChecked(true);
  Options->Button5->Click();
  EXPECT_EQ(Form->vst->Color(), TColor(0x00CCEEFF));
  EXPECT_EQ(Form->QueryCombo->Color(), TColor(0x00CCEEFF));
  EXPECT_EQ(Form->AdditionalEdit->Font()->Color(), TColor(0x00204060));
  EXPECT_EQ(Form->vst->Font()->Size(), 15);
  EXPECT_EQ(Form->QueryCombo->Font()->Name(), u"DejaVu Serif");
  EXPECT_TRUE(Form->TrayIcon2->IconVisible());
  EXPECT_TRUE(Form->TrayIcon2->MinimizeToTray());
  // The window stays open; closing it draws the page in the new colours.
  EXPECT_TRUE(Options->Visible());
  EXPECT_EQ(Page().find("#FFEECC"), std::string::npos);
  Options->Close();
  EXPECT_NE(Page().find("bgcolor=\"#FFEECC\""), std::string::npos) << Page().substr(0, 300);
  EXPECT_NE(Page().find("color: #604020"), std::string::npos);

  // Own background off: the controls keep their colour, the page takes the tree's.
  Form->OptionsButtonClick(Form);
  Options->CheckBox6->SetChecked(false);
  Form->vst->SetColor(TColor(0x00F0F0F0));
  PickColor = TColor(0x000000FF);
  Options->Button4->Click();
  Options->Button5->Click();
  EXPECT_EQ(Form->vst->Color(), TColor(0x00F0F0F0));
  EXPECT_EQ(Form->QueryCombo->Color(), TColor(0x00CCEEFF));
  EXPECT_EQ(ArticleBgColor, TColor(0x00F0F0F0));
}

TEST_F(SettingsWindow, AutostartEntryIsWrittenAndRemoved) {
  Start();
  const fs::path entry = Dir / "config/autostart/tamrix.desktop";
  EXPECT_EQ(UTF16ToUTF8(AutostartEntryPath(u"tamrix")), entry.string());
  Form->OptionsButtonClick(Form);
  Options->CheckBox1->SetChecked(true);
  Options->Button5->Click();
  ASSERT_TRUE(fs::exists(entry));
  EXPECT_EQ(ReadAutostartEntry(u"tamrix"), Application->ExeName());
  EXPECT_NE(readFile(entry).find("Type=Application"), std::string::npos);
  Options->CheckBox1->SetChecked(false);
  Options->Button5->Click();
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(SettingsWindow, FailuresToSaveAreSaidNamingTheFile) {
  Start();
  Form->OptionsButtonClick(Form);
  // The configuration folder is a file: the entry cannot be written.
  writeFile(Dir / "config", "not a folder");
  Options->CheckBox1->SetChecked(true);
  // The settings file's place is taken by a folder.
  fs::remove(Dir / "other/settings");
  fs::create_directories(Dir / "other/settings/x");
  AppSettings.FontSize = 17;
  Options->Button5->Click();
  ASSERT_EQ(Messages.size(), 3u);
  EXPECT_NE(Messages[1].find((Dir / "config/autostart/tamrix.desktop").string()), std::string::npos) << Messages[1];
  EXPECT_NE(Messages[2].find((Dir / "other/settings").string()), std::string::npos) << Messages[2];
  // The rest still happens.
  EXPECT_EQ(Form->vst->Font()->Size(), 17);
}

TEST_F(SettingsWindow, OwnFontAndBackgroundBoxesAreOrdinarySwitches) {
  Start();
  Form->OptionsButtonClick(Form);
  Options->CheckBox5->SetChecked(false);
  Options->CheckBox6->SetChecked(false);
  EXPECT_FALSE(Options->CheckBox5->Checked());
  EXPECT_FALSE(AppSettings.UseFontStyle);
  EXPECT_FALSE(AppSettings.UseBgColor);
  Options->CheckBox6->SetChecked(true);
  EXPECT_TRUE(AppSettings.UseBgColor);
  // The hidden theme box turns both off, and the theme name is never kept.
  Options->CheckBox7->SetChecked(true);
  EXPECT_TRUE(AppSettings.UseSkin);
  EXPECT_FALSE(AppSettings.UseBgColor || AppSettings.UseFontStyle);
  EXPECT_TRUE(Options->SkinCB->Enabled());
  AppSettings.CurrentSkin = u"dark";
  Options->Button5->Click();
  EXPECT_NE(readFile(Dir / "other/settings").find("CurrentSkin=noSkin;"), std::string::npos);
}

}  // namespace
