#pragma once
// Forms and the base of their controls. A form keeps where and how it is
// submitted and owns its controls; a control object owns one real control
// on the viewer's paint panel, sits on a placeholder character of a text
// section, reports its name=value pairs and prints its own look. The kinds
// (inputs, buttons, selects, text areas) are in form_kinds.h.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "html/model/event_life.h"
#include "html/model/section_base.h"
#include "platform/core/string_list.h"
#include "platform/gui/controls.h"

class ThtmlForm;
class TMyFont;

// Base of the control objects of a form (input, button, select, text area).
class TFormControlObj : public TIDObject {
public:
  // Joins the document's control list and takes the current form, making
  // an implicit one (which becomes current) when there is none. The form's
  // InsertControl adds the object to the form afterwards.
  TFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L, ThtmlForm*& CurrentForm);
  ~TFormControlObj() override;

  int GetYPosition() override { return YValue; }
  // The real control; nullptr for a hidden input.
  virtual TWinControl* TheControl() const { return nullptr; }
  virtual int Height() const;
  virtual int Left() const;
  virtual int TabOrder() const;
  virtual bool TabStop() const;
  virtual int Top() const;
  virtual int Width() const;
  virtual bool Hidden() const { return false; }
  virtual void CheckForChange() {}
  virtual void SaveContents() {}
  virtual void SetHeight(int V);
  virtual void SetLeft(int V);
  virtual void SetTabOrder(int V);
  virtual void SetTabStop(bool V);
  virtual void SetTop(int V);
  virtual void SetWidth(int V);
  // The pair (or pairs, by Index) the control adds to a submission; False
  // when there is no pair of that index.
  virtual bool GetSubmission(int Index, String& S);
  // Paints the control's look at (X, Y) (printing).
  virtual void Draw(TCanvas* Canvas, int X, int Y);
  virtual void Hide();
  virtual void ProcessProperties(TProperties* Prop);
  virtual void ResetToValue() {}
  virtual void SetData(int Index, const String& V);
  virtual void SetDataInit() {}
  virtual void SetHeightWidth(TCanvas* Canvas);
  virtual void Show();

  void SetValue(const String& AValue) { Value = AValue; }
  int TotalWidth() const { return Width() + HSpaceL + HSpaceR; }
  // The control's place on the paint panel for a drawn line.
  void PlaceAt(int X, int Y);

  // Control events (the real control calls them).
  void FormControlEnter();
  void FormControlExit();
  void FormControlClick();
  void FormControlMouseMove(TShiftState Shift, int X, int Y);
  // A token on the document's life, taken before an event is raised: once
  // a handler has shown another page (or freed the viewer) the control is
  // gone, and its code returns without touching it.
  ThtEventToken watchPage() const;

  bool Active = false;
  std::unique_ptr<TStringList> FAttributeList;
  String FName, FID, FTitle;
  String Value;
  ThtDocument* MasterList = nullptr;
  ThtmlForm* MyForm = nullptr;
  TAlignmentType VertAlign = ABottom;
  int32_t HSpaceL = 0, HSpaceR = 0, VSpaceT = 1, VSpaceB = 1;
  int32_t BordT = 0, BordB = 0;  // border widths above and below
  int32_t FHeight = 0, FWidth = 0;  // from the style; 0 when unset
  bool PercentWidth = false;
  bool Disabled = false;
  bool ReadOnly = false;
  TColor BkColor = clNone;
  String OnBlurMessage, OnChangeMessage, OnClickMessage, OnFocusMessage;

  // Layout and painting state.
  int32_t Pos = 0;      // index of the placeholder in its section
  int32_t YValue = 0;   // document Y of the line it sits on
  bool ShowIt = false;  // placed by the last paint
  uint8_t HoverState = 0;  // 0 normal, 1 hovered, 2 pressed
  bool HasCssBorder = false;

protected:
  // Common set-up of a new real control: off screen, on the paint panel,
  // the element's font, enabled unless disabled, events wired.
  void initControl(TWinControl* C, TProperties* Prop);
  // The element's font, for measuring and printing.
  TFont* controlFont() const;
  // Brings the canvas's font to the control's font.
  void useControlFont(TCanvas* Canvas) const;
  // A CSS border replaces the control's own frame; a background colour fills it.
  void applyBoxLook(TWinControl* C) const;
  // Raises OnObjectChange when the value left differs from the one saved on entry.
  void reportChange(bool Changed);
  bool printMonoBlack() const;
};

// Keeps a canvas's pen, brush and font while a control prints its look.
class TCanvasKeeper {
public:
  explicit TCanvasKeeper(TCanvas* Canvas);
  ~TCanvasKeeper();
  TCanvasKeeper(const TCanvasKeeper&) = delete;
  TCanvasKeeper& operator=(const TCanvasKeeper&) = delete;

private:
  TCanvas* FCanvas;
  TPen FPen;
  TBrush FBrush;
  TFont FFont;
};

// Controls by character position (not owning: the forms own them).
class TFormControlObjList {
public:
  int Count() const { return int(FItems.size()); }
  TFormControlObj* GetItem(int Index) const { return FItems[size_t(Index)]; }
  void Add(TFormControlObj* Obj) { FItems.push_back(Obj); }
  void Remove(TFormControlObj* Obj);
  void Clear() { FItems.clear(); }
  TFormControlObj* FindControl(int Posn) const;
  int GetHeightAt(int Posn, TAlignmentType& VAlign) const;
  int GetWidthAt(int Posn, int& HSL, int& HSR) const;
  int DistanceToNext(int Posn) const;
  void DecrementAfter(int Posn);
  // Every control that the last paint did not place is shown off screen
  // (left -4000), so that it exists before it is painted in place. With
  // the area just painted, only the controls inside it go: those outside
  // were moved with the pixels when the page scrolled and stay where the
  // scroll put them.
  void ShowAll(const TRect* Painted = nullptr);
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

private:
  std::vector<TFormControlObj*> FItems;
};

// A FORM element: where and how its controls are submitted.
class ThtmlForm : public TObject {
public:
  ThtmlForm(ThtDocument* AMasterList, TAttributeList* L);
  ~ThtmlForm() override;

  void InsertControl(std::unique_ptr<TFormControlObj> Ctrl);
  void ResetControls();
  void SetSizes(TCanvas* Canvas);
  // The name=value pairs of every control (disabled ones included).
  std::unique_ptr<TStringList> GetFormSubmission();
  // Hands the enabled controls' pairs, and the clicked button's pair last,
  // to the document's submit hook.
  void SubmitTheForm(const String& ButtonSubmission);
  void DoRadios(TFormControlObj* Radio);
  void ControlKeyPress(TObject* Sender, char16_t& Key);
  void ControlKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  // Puts saved pairs back: every control is cleared first (SetDataInit),
  // then each pair goes to the controls of its name.
  void SetFormData(const TStringList& Data);

  ThtDocument* MasterList = nullptr;
  String Method = u"Get";
  String Action;
  String Target;
  String EncType;
  std::vector<std::unique_ptr<TFormControlObj>> ControlList;
  int NonHiddenCount = 0;

private:
  std::unique_ptr<TStringList> collect(bool SkipDisabled);
};
