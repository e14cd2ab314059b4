#pragma once
// The real main window over a program folder built by code.
#include <chrono>
#include <functional>
#include <thread>

#include "app/dicts_form.h"
#include "app/main_form.h"
#include "app/options_form.h"
#include "app/vk_form.h"
#include "html/viewer/html_view.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"
#include "tests/app/app_test_util.h"
#include "tree/string_tree.h"

namespace apptest {

class MainWindow : public ProgramFolder {
protected:
  void SetUp() override {
    ProgramFolder::SetUp();
    writeFile(Dir / "help/template.css", "body { background: _HtmlBgColor_; color: _HtmlTextColor_; }\n");
    writeFile(Dir / "help/index.html", "<html><body><h1>Help</h1></body></html>\n");
    writeFile(Dir / "other/settings",
              "HideToSysTray=0;\r\nAutoStart=0;\r\nMinimizeAtClosing=0;\r\nFontColor=clBlack;\r\nFontSize=12;\r\n"
              "FontName=DejaVu Sans;\r\nBgColor=clWhite;\r\nWordAutoSelect=-1;\r\nUseSkin=0;\r\nUseBgColor=-1;\r\n"
              "UseFontStyle=-1;\r\nCurrentSkin=noSkin;\r\nMainFormWidth=800;\r\nMainFormHeight=600;\r\nUseCtrlC=-1;\r\n");
    setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
    Messages.clear();
    SetDialogHook([this](TDialogRequest& r, int& result) {
      if (r.Kind == dkMessageBox) Messages.push_back(UTF16ToUTF8(r.Text));
      result = r.Kind == dkMessageBox ? IDOK : (r.Kind == dkPopupMenu ? -1 : 0);
      return true;
    });
  }
  void TearDown() override {
    Application->OnMessage = nullptr;
    Stop();
    SetDialogHook(nullptr);
    ProgramFolder::TearDown();
  }

  // Frees the windows Start made.
  void Stop() {
    Application->SetMainForm(nullptr);
    for (TForm* f : {static_cast<TForm*>(Form), static_cast<TForm*>(Manager), static_cast<TForm*>(Options),
                     static_cast<TForm*>(Vk)})
      if (f) f->Free();
    Form = nullptr;
    Manager = nullptr;
    Options = nullptr;
    Vk = nullptr;
  }

  // Creates the four windows as the program does and activates the main
  // one; windows of an earlier start are freed first, as the program never
  // has two main windows.
  void Start() {
    Stop();
    Application->Initialize();
    Form = new TRuForm(nullptr);
    Form->SetProgramFolder(Utf8ToUnicode(Dir.string()));
    Application->SetMainForm(Form);
    Form->AfterConstruction();
    Manager = new TDictsForm(nullptr);
    Manager->AfterConstruction();
    Options = new TOptionsForm(nullptr);
    Options->AfterConstruction();
    Vk = new TvkForm(nullptr);
    Vk->AfterConstruction();
    Form->FormActivate(Form);
  }

  void Search(const String& query, const String& additional = String()) {
    if (!additional.empty()) {
      Form->AdditionalCheckBox->SetChecked(true);
      Form->AdditionalEdit->SetText(additional);
    }
    Form->QueryCombo->SetText(query);
    WORD key = VK_RETURN;
    Form->QueryComboKeyDown(Form->QueryCombo, key, {});
  }

  void Type(const String& text) {
    String typed = Form->QueryCombo->Text();
    for (char16_t c : text) {
      typed += c;
      WORD key = 'A';
      Form->QueryComboKeyDown(Form->QueryCombo, key, {});
      Form->QueryCombo->SetText(typed);
      Form->QueryComboKeyUp(Form->QueryCombo, key, {});
    }
  }

  // "caption(kind,id)[child,child]" per top-level node.
  std::string Tree() {
    std::string out;
    TDataStringTree* t = Form->vst;
    for (PDataNode n = t->GetFirstChild(nullptr); n; n = t->GetNextSibling(n)) {
      const ResultNodeType* r = Form->NodeRecord(n);
      out += (out.empty() ? "" : " ") + r->Caption + "(" + std::to_string(r->Kind) + "," +
             std::to_string(r->Id) + ")[";
      bool first = true;
      for (PDataNode k = t->GetFirstChild(n); k; k = t->GetNextSibling(k)) {
        const ResultNodeType* c = Form->NodeRecord(k);
        out += (first ? "" : ",") + c->Caption + "#" + std::to_string(c->Id);
        first = false;
      }
      out += "]";
    }
    return out;
  }

  void Select(int row, int child = -1) {
    TDataStringTree* t = Form->vst;
    PDataNode n = t->GetFirstChild(nullptr);
    for (int i = 0; i < row && n; ++i) n = t->GetNextSibling(n);
    if (child >= 0) {
      n = t->GetFirstChild(n);
      for (int i = 0; i < child && n; ++i) n = t->GetNextSibling(n);
    }
    ASSERT_NE(n, nullptr);
    t->ClearSelection();
    t->SetFocusedNode(n);
    t->SetSelected(n, true);
    Form->vstClick(t);
  }

  // Runs Action when the window next handles its messages (inside a run,
  // as a click or key would arrive).
  void Later(std::function<void()> Action) {
    FLater = std::move(Action);
    Application->OnMessage = [this](TMessage& m, bool& handled) {
      if (m.Msg != WM_APP + 77) return;
      handled = true;
      Application->OnMessage = nullptr;
      auto action = std::move(FLater);
      action();
    };
    PostMessage(Form->Handle(), WM_APP + 77, 0, 0);
  }

  std::string Page() { return UTF16ToUTF8(Form->HTMLOut->GetDocumentSource()); }
  std::string Status() { return UTF16ToUTF8(Form->HintLabel->Caption()); }

  TRuForm* Form = nullptr;
  TDictsForm* Manager = nullptr;
  TOptionsForm* Options = nullptr;
  TvkForm* Vk = nullptr;
  std::vector<std::string> Messages;

private:
  std::function<void()> FLater;
};

}  // namespace apptest
