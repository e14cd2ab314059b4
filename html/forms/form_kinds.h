#pragma once
// The kinds of form controls: hidden values, text edits, buttons, check
// boxes, radio buttons, image inputs, list boxes, drop-down lists and text
// areas, and the real controls behind them that answer the keyboard the way
// a page expects.
#include <memory>
#include <vector>

#include "html/forms/form_controls.h"
#include "platform/gui/stdctrls.h"

class TImageObj;
class TBitmap;

// ---- the real controls -------------------------------------------------------------

class ThtEdit : public TEdit {
public:
  explicit ThtEdit(TComponent* AOwner) : TEdit(AOwner) {}
};

// A check box that keeps the arrow keys (they scroll the page).
class TFormCheckBox : public TCheckBox {
public:
  explicit TFormCheckBox(TComponent* AOwner) : TCheckBox(AOwner) {}

protected:
  void Dispatch(TMessage& Message) override;
};

// A radio button whose group is kept by its form, not by its parent (every
// control of a page shares the one paint panel). Moving the focus to it
// with Tab does not check it.
class TFormRadioButton : public TRadioButton {
public:
  explicit TFormRadioButton(TComponent* AOwner) : TRadioButton(AOwner) {}
  void SetChecked(bool Value) override;
  // Clicks that checking from code would fire are held back while set.
  bool ClicksDisabled = false;

protected:
  void Dispatch(TMessage& Message) override;
};

// ---- input kinds -------------------------------------------------------------------

class THiddenFormControlObj : public TFormControlObj {
public:
  using TFormControlObj::TFormControlObj;
  bool Hidden() const override { return true; }
  int Height() const override { return 0; }
  int Left() const override { return -4000; }
  int TabOrder() const override { return -1; }
  int Top() const override { return 0; }
  int Width() const override { return 0; }
  void SetHeight(int) override {}
  void SetLeft(int) override {}
  void SetTabOrder(int) override {}
  void SetTabStop(bool) override {}
  void SetTop(int) override {}
  void SetWidth(int) override {}
  bool GetSubmission(int Index, String& S) override;
  void SetData(int Index, const String& V) override;
};

class TEditFormControlObj : public TFormControlObj {
public:
  TEditFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, TProperties* Prop,
                      ThtmlForm*& CurrentForm, const String& Typ);
  ~TEditFormControlObj() override;
  TWinControl* TheControl() const override { return FControl.get(); }
  ThtEdit* Edit() const { return FControl.get(); }
  void ProcessProperties(TProperties* Prop) override;
  void ResetToValue() override;
  bool GetSubmission(int Index, String& S) override;
  void SetData(int Index, const String& V) override;
  void SaveContents() override;
  void CheckForChange() override;
  void SetHeightWidth(TCanvas* Canvas) override;
  void Draw(TCanvas* Canvas, int X, int Y) override;

  int EditSize = 15;  // characters of the SIZE attribute

private:
  std::unique_ptr<ThtEdit> FControl;
  String FSaved;
};

class TButtonFormControlObj : public TFormControlObj {
public:
  enum TButtonKind { bkSubmit, bkReset, bkButton, bkBrowse };
  TButtonFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, TProperties* Prop,
                        ThtmlForm*& CurrentForm, const String& Typ);
  ~TButtonFormControlObj() override;
  TWinControl* TheControl() const override { return FControl.get(); }
  void SetHeightWidth(TCanvas* Canvas) override;
  void Draw(TCanvas* Canvas, int X, int Y) override;
  void ButtonClick();

  TButtonKind Which = bkSubmit;
  TEditFormControlObj* MyEdit = nullptr;  // the edit of a file input

private:
  std::unique_ptr<TBitBtn> FControl;
  std::unique_ptr<TBitmap> FPrintLook;  // the control's look, painted once
};

class TCheckBoxFormControlObj : public TFormControlObj {
public:
  TCheckBoxFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, TProperties* Prop,
                          ThtmlForm*& CurrentForm);
  ~TCheckBoxFormControlObj() override;
  TWinControl* TheControl() const override { return FControl.get(); }
  TFormCheckBox* CheckBox() const { return FControl.get(); }
  void ResetToValue() override;
  bool GetSubmission(int Index, String& S) override;
  void SetData(int Index, const String& V) override;
  void SetDataInit() override;
  void SaveContents() override;
  void CheckForChange() override;
  void Draw(TCanvas* Canvas, int X, int Y) override;

  bool IsChecked = false;  // the initial state

private:
  std::unique_ptr<TFormCheckBox> FControl;
  bool FSaved = false;
};

class TRadioButtonFormControlObj : public TFormControlObj {
public:
  TRadioButtonFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, TProperties* Prop,
                             ThtmlForm*& CurrentForm);
  ~TRadioButtonFormControlObj() override;
  TWinControl* TheControl() const override { return FControl.get(); }
  TFormRadioButton* RadioButton() const { return FControl.get(); }
  bool Checked() const { return FControl->Checked(); }
  void SetChecked(bool Value);
  void ResetToValue() override;
  bool GetSubmission(int Index, String& S) override;
  void SetData(int Index, const String& V) override;
  void SetDataInit() override;
  void SaveContents() override;
  void CheckForChange() override;
  void Draw(TCanvas* Canvas, int X, int Y) override;
  void RadioClick();

  bool IsChecked = false;  // the initial state

private:
  std::unique_ptr<TFormRadioButton> FControl;
  bool FSaved = false;
};

class TImageFormControlObj : public TFormControlObj {
public:
  TImageFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, TProperties* Prop,
                       ThtmlForm*& CurrentForm);
  ~TImageFormControlObj() override;
  TWinControl* TheControl() const override { return FControl.get(); }
  int Height() const override { return 1; }
  int Width() const override { return 1; }
  bool GetSubmission(int Index, String& S) override;
  // A click on the picture at (X, Y) within it: focus, click event, submit.
  void ImageClick();

  TImageObj* MyImage = nullptr;
  int XPos = -1, YPos = -1;     // the click position while it is held
  int XTmp = -1, YTmp = -1;     // the last mouse position over the picture

private:
  std::unique_ptr<TBitBtn> FControl;
};

// ---- select and text area kinds -------------------------------------------------------

class TOptionObj : public TObject {
public:
  String Value;
  bool Selected = false;
  std::unique_ptr<TStringList> Attributes;
};

// Option captions with their option records.
class ThtOptionStringList {
public:
  int Count() const { return int(FItems.size()); }
  const String& Strings(int Index) const { return FItems[size_t(Index)].Caption; }
  // An empty string outside the list.
  String ValueOf(int Index) const;
  bool SelectedOf(int Index) const;
  void Add(const String& Caption, std::unique_ptr<TOptionObj> Option);

private:
  struct Item {
    String Caption;
    std::unique_ptr<TOptionObj> Option;
  };
  std::vector<Item> FItems;
};

class TOptionsFormControlObj : public TFormControlObj {
public:
  TOptionsFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, ThtmlForm*& CurrentForm);
  void AddStr(const String& WS, bool Selected, std::unique_ptr<TStringList> Attr);

  ThtOptionStringList TheOptions;
  int LBSize = -1;
  int MaxWidth = 3;
};

class TListBoxFormControlObj : public TOptionsFormControlObj {
public:
  TListBoxFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, TProperties* Prop,
                         ThtmlForm*& CurrentForm);
  ~TListBoxFormControlObj() override;
  TWinControl* TheControl() const override { return FControl.get(); }
  TListBox* ListBox() const { return FControl.get(); }
  void ProcessProperties(TProperties* Prop) override;
  void ResetToValue() override;
  bool GetSubmission(int Index, String& S) override;
  void SetData(int Index, const String& V) override;
  void SaveContents() override;
  void CheckForChange() override;
  void SetHeightWidth(TCanvas* Canvas) override;
  void Draw(TCanvas* Canvas, int X, int Y) override;

private:
  std::unique_ptr<TListBox> FControl;
  int FSavedCount = 0;
  std::vector<bool> FSavedSelected;  // the first 51 items
};

class TComboFormControlObj : public TOptionsFormControlObj {
public:
  TComboFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, TProperties* Prop,
                       ThtmlForm*& CurrentForm);
  ~TComboFormControlObj() override;
  TWinControl* TheControl() const override { return FControl.get(); }
  TComboBox* ComboBox() const { return FControl.get(); }
  void ProcessProperties(TProperties* Prop) override;
  void ResetToValue() override;
  bool GetSubmission(int Index, String& S) override;
  void SetData(int Index, const String& V) override;
  void SaveContents() override;
  void CheckForChange() override;
  void SetHeightWidth(TCanvas* Canvas) override;
  void Draw(TCanvas* Canvas, int X, int Y) override;

private:
  std::unique_ptr<TComboBox> FControl;
  int FSavedIndex = -1;
};

class TTextAreaFormControlObj : public TFormControlObj {
public:
  TTextAreaFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, TProperties* Prop,
                          ThtmlForm*& CurrentForm);
  ~TTextAreaFormControlObj() override;
  TWinControl* TheControl() const override { return FControl.get(); }
  TMemo* Memo() const { return FControl.get(); }
  void AddStr(const String& S) { TheText += S; }
  void ProcessProperties(TProperties* Prop) override;
  void ResetToValue() override;
  bool GetSubmission(int Index, String& S) override;
  void SetData(int Index, const String& V) override;
  void SaveContents() override;
  void CheckForChange() override;
  void SetHeightWidth(TCanvas* Canvas) override;
  void Draw(TCanvas* Canvas, int X, int Y) override;
  // The text as it is wrapped on screen, one entry per shown line.
  std::vector<String> WrappedLines();

  uint8_t Wrap = 1;  // 0 off, 1 soft, 2 hard
  int Rows = 5;
  int Cols = 30;
  String TheText;

private:
  std::unique_ptr<TMemo> FControl;
  String FSaved;
};
