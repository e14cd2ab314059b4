#pragma once
// Forms and the base of their controls, as far as the document and its
// text sections need them: a form records its submission settings; a
// control object sits on a placeholder character in a section.
#include <cstdint>
#include <memory>
#include <vector>

#include "html/view/section_base.h"

class ThtmlForm;

// Base of the control objects of a form (input, button, select, text area).
class TFormControlObj : public TIDObject {
public:
  TFormControlObj(ThtDocument* Document, int Position, TAttributeList* L);
  ~TFormControlObj() override;

  int GetYPosition() override { return YValue; }
  virtual void ProcessProperties(TProperties* Prop);
  virtual void SetValue(const String& Value) { FValue = Value; }
  const String& Value() const { return FValue; }
  virtual int Width() const { return FWidth; }
  virtual int Height() const { return FHeight; }
  virtual void SetWidth(int W) { FWidth = W; }
  virtual void SetHeight(int H) { FHeight = H; }
  virtual void Show() { ShowIt = true; }
  int TotalWidth() const { return Width() + HSpaceL + HSpaceR; }

  ThtDocument* Document = nullptr;
  ThtmlForm* MyForm = nullptr;
  int32_t Pos = 0;
  int32_t YValue = 0;
  TAlignmentType VertAlign = ABaseline;
  int32_t HSpaceL = 0, HSpaceR = 0, VSpaceT = 0, VSpaceB = 0;
  String Name;
  String ID;
  String Title;
  int32_t TabIndex = 0;
  bool ShowIt = false;
  bool Disabled = false;
  bool ReadOnly = false;
  uint8_t HoverState = 0;  // 0 normal, 1 hovered, 2 pressed

protected:
  String FValue;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
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
  void ShowAll();
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

  ThtDocument* MasterList = nullptr;
  String Method = u"Get";
  String Action;
  String Target;
  String EncType;
  // The form's controls, owned.
  std::vector<std::unique_ptr<TFormControlObj>> ControlList;
};
