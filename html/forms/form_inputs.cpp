// The input kinds of form controls: hidden values, text edits, buttons,
// check boxes, radio buttons and image inputs, with their sizes, values,
// submission pairs and printed look.
#include <algorithm>

#include "html/parse/html_common.h"
#include "html/paint/borders.h"
#include "html/model/document.h"
#include "html/forms/form_kinds.h"
#include "html/images/image_object.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/themes.h"
#include "platform/gui/windows.h"

namespace {

String pair(const String& Name, const String& Value) { return Name + u"=" + Value; }

// The text height of "A" and the average character width in the canvas's
// current font.
int textHeightOfA(TCanvas* Canvas) { return Canvas->TextHeight(u"A"); }

int averageCharWidth(TCanvas* Canvas) {
  Canvas->TextHeight(u"A");  // selects the font into the device context
  TEXTMETRICW tm{};
  GetTextMetricsW(Canvas->Handle(), &tm);
  return tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : Canvas->TextWidth(u"x");
}

bool highDpiScreen() { return ScreenPixelsPerInch() > 100; }

}  // namespace

// ---- real controls ---------------------------------------------------------------------

void TFormCheckBox::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    Message.Result = DLGC_WANTARROWS;
    return;
  }
  TCheckBox::Dispatch(Message);
}

void TFormRadioButton::SetChecked(bool Value) {
  // Reaching the button with Tab does not check it.
  if (GetKeyState(VK_TAB) < 0 || Value == Checked()) return;
  StoreChecked(Value);
  SetTabStop(Value);
  if (Value && !ClicksDisabled) Click();
}

void TFormRadioButton::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    Message.Result = DLGC_WANTARROWS;
    return;
  }
  TRadioButton::Dispatch(Message);
}

// ---- hidden ----------------------------------------------------------------------------

bool THiddenFormControlObj::GetSubmission(int Index, String& S) {
  if (Index != 0) return false;
  S = pair(FName, Value);
  return true;
}

void THiddenFormControlObj::SetData(int, const String& V) { Value = V; }

// ---- text edit -------------------------------------------------------------------------

TEditFormControlObj::TEditFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L,
                                         TProperties* Prop, ThtmlForm*& CurrentForm, const String& Typ)
    : TFormControlObj(AMasterList, Position, L, CurrentForm), FControl(std::make_unique<ThtEdit>(nullptr)) {
  TAttribute* T = nullptr;
  if (L && L->Find(symSize, T)) {
    if (T->Value >= 1) {
      EditSize = std::min(T->Value, 4096);
    } else {
      // "20, 1" style sizes: the number before the first comma or blank.
      const size_t comma = T->Text.find(u','), blank = T->Text.find(u' ');
      if (comma != String::npos && blank != String::npos) {
        const String head = Trim(T->Text.substr(0, std::min(comma, blank)));
        int n = 0;
        EditSize = TryStrToInt(head, n) ? std::clamp(n, 0, 4096) : 20;
      }
    }
  }
  initControl(FControl.get(), Prop);
  FControl->SetWidth(120);
  FControl->SetText(Value);
  if (L && L->Find(symMaxLength, T) && T->Value > 0) FControl->SetMaxLength(T->Value);
  if (htLowerCase(Typ) == u"password") FControl->SetPasswordChar(u'*');
  FControl->SetReadOnly(ReadOnly);
  FControl->OnKeyPress = [this](TObject* Sender, char16_t& Key) {
    if (MyForm) MyForm->ControlKeyPress(Sender, Key);
  };
  FControl->OnClick = [this](TObject*) { FormControlClick(); };
}

TEditFormControlObj::~TEditFormControlObj() = default;

void TEditFormControlObj::ProcessProperties(TProperties* Prop) {
  TFormControlObj::ProcessProperties(Prop);
  applyBoxLook(FControl.get());
}

void TEditFormControlObj::ResetToValue() { FControl->SetText(Value); }

bool TEditFormControlObj::GetSubmission(int Index, String& S) {
  if (Index != 0) return false;
  S = pair(FName, FControl->Text());
  return true;
}

void TEditFormControlObj::SetData(int, const String& V) { FControl->SetText(V); }

void TEditFormControlObj::SaveContents() { FSaved = FControl->Text(); }

void TEditFormControlObj::CheckForChange() {
  reportChange(FControl->Text() != FSaved);
}

void TEditFormControlObj::SetHeightWidth(TCanvas* Canvas) {
  useControlFont(Canvas);
  if (PercentWidth) {
    // The section gives the real width at layout.
    FControl->SetLeft(-4000);
    FControl->SetWidth(10);
  } else if (FWidth >= 10) {
    FControl->SetWidth(FWidth);
  } else {
    FControl->SetWidth(EditSize * averageCharWidth(Canvas) + 23);
  }
  FControl->SetHeight(std::max(FHeight, std::max(textHeightOfA(Canvas), 10)));
}

void TEditFormControlObj::Draw(TCanvas* Canvas, int X, int Y) {
  TCanvasKeeper keep(Canvas);
  const int W = Width(), H = Height();
  const bool bordered = FControl->BorderStyle() != bsNone;
  const int inset = bordered ? 4 : 2;
  if (bordered)
    FormControlRect(Canvas, X, Y, X + W, Y + H, false, printMonoBlack(), false, clWhite);
  else
    FillRectColor(Canvas, X, Y, X + W, Y + H, BkColor != clNone ? BkColor : clWhite);
  useControlFont(Canvas);
  Canvas->Brush()->SetStyle(bsClear);
  const int fontHeight = textHeightOfA(Canvas);
  const TRect box(X + inset, Y + inset, X + W - inset, Y + H - inset);
  String text = FControl->Text();
  if (FControl->PasswordChar()) text.assign(text.size(), FControl->PasswordChar());
  WideCanvasTextRect(Canvas, box, box.Left, Y + (H - fontHeight) / 2 - 1, text);
}

// ---- buttons ----------------------------------------------------------------------------

TButtonFormControlObj::TButtonFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L,
                                             TProperties* Prop, ThtmlForm*& CurrentForm, const String& Typ)
    : TFormControlObj(AMasterList, Position, L, CurrentForm), FControl(std::make_unique<TBitBtn>(nullptr)) {
  const String t = htLowerCase(Typ);
  String caption = Value;
  if (t == u"reset") {
    Which = bkReset;
    if (caption.empty()) caption = u"Reset";
  } else if (t == u"button") {
    Which = bkButton;
    if (caption.empty()) caption = u"Button";
  } else if (t == u"file") {
    // The browse button of a file input: its name, value and id are the
    // edit's.
    Which = bkBrowse;
    caption = u"Browse...";
    Value.clear();
    FName.clear();
    if (MasterList && MasterList->IdList && !FID.empty()) MasterList->IdList->RemoveObject(this);
    FID.clear();
  } else {
    Which = bkSubmit;
    if (caption.empty()) caption = u"Submit";
  }
  initControl(FControl.get(), Prop);
  FControl->SetCaption(caption);
  FControl->OnClick = [this](TObject*) { ButtonClick(); };
}

TButtonFormControlObj::~TButtonFormControlObj() = default;

void TButtonFormControlObj::ButtonClick() {
  ThtDocument* doc = MasterList;
  const ThtEventToken page = watchPage();
  switch (Which) {
    case bkSubmit:
      FormControlClick();
      if (page.PageKept() && MyForm) MyForm->SubmitTheForm(FName.empty() ? String() : pair(FName, Value));
      break;
    case bkReset:
      FormControlClick();
      if (page.PageKept() && MyForm) MyForm->ResetControls();
      break;
    case bkBrowse:
      if (doc && doc->OnFileBrowse && MyEdit) {
        String S = MyEdit->Edit()->Text();
        // The handler may have shown another page, which freed the edit.
        if (htRaiseEvent(doc->Life, doc->OnFileBrowse, doc->Viewer, MyEdit, S).PageKept())
          MyEdit->Edit()->SetText(S);
      }
      break;
    case bkButton:
      FormControlClick();
      break;
  }
}

void TButtonFormControlObj::SetHeightWidth(TCanvas* Canvas) {
  useControlFont(Canvas);
  const int h = textHeightOfA(Canvas);
  FControl->SetHeight(h > FHeight ? h + 8 : FHeight);
  if (FWidth >= 10 && !PercentWidth)
    FControl->SetWidth(FWidth);
  else
    FControl->SetWidth(Canvas->TextWidth(FControl->Caption()) + 20);
  FPrintLook.reset();
}

void TButtonFormControlObj::Draw(TCanvas* Canvas, int X, int Y) {
  TCanvasKeeper keep(Canvas);
  const int W = Width(), H = Height();
  HDC dc = Canvas->Handle();
  const bool mono = printMonoBlack() && GetDeviceCaps(dc, BITSPIXEL) == 1 && GetDeviceCaps(dc, PLANES) == 1;
  if (mono) {
    FormControlRect(Canvas, X, Y, X + W, Y + H, true, true, false, clWhite);
    useControlFont(Canvas);
    Canvas->Font()->SetColor(clBlack);
    Canvas->Brush()->SetStyle(bsClear);
    const String caption = FControl->Caption();
    Canvas->TextOut(X + (W - Canvas->TextWidth(caption)) / 2, Y + (H - Canvas->TextHeight(caption)) / 2, caption);
  } else {
    if (!FPrintLook) {
      // The button as the desktop draws it, made once per size.
      auto look = std::make_unique<TBitmap>(std::max(W, 1), std::max(H, 1));
      TCanvas* c = look->Canvas();
      c->Brush()->SetColor(clBtnFace);
      c->FillRect(TRect(0, 0, W, H));
      DrawThemedCheck(c->Handle(), TRect(0, 0, W, H), tckPushButton, tcvUnchecked, false, false, Disabled);
      if (TFont* f = controlFont()) c->Font()->Assign(*f);
      c->Font()->SetColor(Disabled ? clGrayText : clBtnText);
      c->Brush()->SetStyle(bsClear);
      const String caption = FControl->Caption();
      c->TextOut((W - c->TextWidth(caption)) / 2, (H - c->TextHeight(caption)) / 2, caption);
      FPrintLook = std::move(look);
    }
    Canvas->StretchDraw(TRect(X, Y, X + W, Y + H), FPrintLook.get());
  }
}

// ---- check box ----------------------------------------------------------------------------

TCheckBoxFormControlObj::TCheckBoxFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L,
                                                 TProperties* Prop, ThtmlForm*& CurrentForm)
    : TFormControlObj(AMasterList, Position, L, CurrentForm), FControl(std::make_unique<TFormCheckBox>(nullptr)) {
  VertAlign = ABaseline;
  if (Value.empty()) Value = u"on";
  TAttribute* T = nullptr;
  IsChecked = L && L->Find(symChecked, T);
  initControl(FControl.get(), Prop);
  FControl->SetBounds(-4000, 0, 13, 13);
  FControl->SetChecked(IsChecked);
  FControl->OnKeyDown = [this](TObject* Sender, WORD& Key, TShiftState Shift) {
    if (MyForm) MyForm->ControlKeyDown(Sender, Key, Shift);
  };
  FControl->OnClick = [this](TObject*) { FormControlClick(); };
}

TCheckBoxFormControlObj::~TCheckBoxFormControlObj() = default;

void TCheckBoxFormControlObj::ResetToValue() { FControl->SetChecked(IsChecked); }

bool TCheckBoxFormControlObj::GetSubmission(int Index, String& S) {
  if (Index != 0) return false;
  if (FControl->Checked()) S = pair(FName, Value);
  return true;
}

void TCheckBoxFormControlObj::SetData(int, const String& V) {
  if (AnsiSameText(V, Value)) FControl->SetChecked(true);
}

void TCheckBoxFormControlObj::SetDataInit() { FControl->SetChecked(false); }

void TCheckBoxFormControlObj::SaveContents() { FSaved = FControl->Checked(); }

void TCheckBoxFormControlObj::CheckForChange() {
  reportChange(FControl->Checked() != FSaved);
}

void TCheckBoxFormControlObj::Draw(TCanvas* Canvas, int X, int Y) {
  TCanvasKeeper keep(Canvas);
  FormControlRect(Canvas, X, Y, X + Width(), Y + Height(), false, printMonoBlack(), Disabled, clWhite);
  if (FControl->Checked()) {
    const int mid = Y + Height() / 2;
    Canvas->Pen()->SetColor(clBlack);
    Canvas->Pen()->SetWidth(1);
    Canvas->Pen()->SetStyle(psSolid);
    for (int d = 0; d < 2; ++d) {  // two lines make the tick bold
      Canvas->MoveTo(X + 3, mid + d);
      Canvas->LineTo(X + 5, mid + 2 + d);
      Canvas->LineTo(X + 9, mid - 2 + d);
    }
  }
}

// ---- radio button ---------------------------------------------------------------------------

TRadioButtonFormControlObj::TRadioButtonFormControlObj(ThtDocument* AMasterList, int Position,
                                                       TAttributeList* L, TProperties* Prop,
                                                       ThtmlForm*& CurrentForm)
    : TFormControlObj(AMasterList, Position, L, CurrentForm),
      FControl(std::make_unique<TFormRadioButton>(nullptr)) {
  VertAlign = ABaseline;
  TAttribute* T = nullptr;
  IsChecked = L && L->Find(symChecked, T);
  initControl(FControl.get(), Prop);
  if (highDpiScreen())
    FControl->SetBounds(-4000, 0, 16, 16);
  else
    FControl->SetBounds(-4000, 0, 13, 14);
  FControl->ClicksDisabled = true;
  FControl->SetChecked(IsChecked);
  FControl->ClicksDisabled = false;
  FControl->SetTabStop(true);
  // One tab stop per group: the checked button when there is one.
  if (MyForm)
    for (const auto& c : MyForm->ControlList) {
      auto* r = dynamic_cast<TRadioButtonFormControlObj*>(c.get());
      if (!r || !AnsiSameText(r->FName, FName)) continue;
      if (!IsChecked) {
        FControl->SetTabStop(false);
        break;
      }
      r->IsChecked = false;
      r->FControl->ClicksDisabled = true;
      r->SetChecked(false);
      r->FControl->ClicksDisabled = false;
      r->SetTabStop(false);
    }
  FControl->OnKeyDown = [this](TObject* Sender, WORD& Key, TShiftState Shift) {
    if (MyForm) MyForm->ControlKeyDown(Sender, Key, Shift);
  };
  FControl->OnClick = [this](TObject*) { RadioClick(); };
}

TRadioButtonFormControlObj::~TRadioButtonFormControlObj() = default;

void TRadioButtonFormControlObj::SetChecked(bool Value) { FControl->SetChecked(Value); }

void TRadioButtonFormControlObj::RadioClick() {
  const ThtEventToken page = watchPage();
  if (MyForm) MyForm->DoRadios(this);
  if (page.PageKept()) FormControlClick();
}

void TRadioButtonFormControlObj::ResetToValue() { SetChecked(IsChecked); }

bool TRadioButtonFormControlObj::GetSubmission(int Index, String& S) {
  if (Index != 0) return false;
  if (Checked()) S = pair(FName, Value);
  return true;
}

void TRadioButtonFormControlObj::SetData(int, const String& V) {
  if (AnsiSameText(V, Value)) SetChecked(true);
}

void TRadioButtonFormControlObj::SetDataInit() {
  FControl->ClicksDisabled = true;
  SetChecked(false);
  FControl->ClicksDisabled = false;
}

void TRadioButtonFormControlObj::SaveContents() { FSaved = Checked(); }

void TRadioButtonFormControlObj::CheckForChange() {
  reportChange(Checked() != FSaved);
}

void TRadioButtonFormControlObj::Draw(TCanvas* Canvas, int X, int Y) {
  TCanvasKeeper keep(Canvas);
  HDC dc = Canvas->Handle();
  const bool mono = printMonoBlack() && GetDeviceCaps(dc, BITSPIXEL) == 1 && GetDeviceCaps(dc, PLANES) == 1;
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(Disabled && !mono ? clBtnFace : clWhite);
  Canvas->Pen()->SetStyle(psSolid);
  if (mono) {
    Canvas->Pen()->SetWidth(1);
    Canvas->Pen()->SetColor(clBlack);
    Canvas->Ellipse(X, Y, X + 14, Y + 14);
  } else {
    Canvas->Pen()->SetWidth(2);
    Canvas->Pen()->SetColor(clBtnShadow);
    Canvas->Ellipse(X, Y, X + 14, Y + 14);
  }
  if (Checked()) {
    Canvas->Pen()->SetWidth(1);
    Canvas->Pen()->SetColor(clBlack);
    Canvas->Brush()->SetColor(clBlack);
    Canvas->Ellipse(X + 5, Y + 5, X + 9, Y + 9);
  }
}

// ---- image input --------------------------------------------------------------------------

TImageFormControlObj::TImageFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L,
                                           TProperties* Prop, ThtmlForm*& CurrentForm)
    : TFormControlObj(AMasterList, Position, L, CurrentForm), FControl(std::make_unique<TBitBtn>(nullptr)) {
  initControl(FControl.get(), Prop);
  // Only takes the focus; the picture is drawn by the section.
  FControl->SetBounds(-4000, 0, 1, 1);
  FControl->OnClick = [this](TObject*) { ImageClick(); };
}

TImageFormControlObj::~TImageFormControlObj() {
  if (MyImage) MyImage->MyFormControl = nullptr;
}

void TImageFormControlObj::ImageClick() {
  const ThtEventToken page = watchPage();
  if (FControl->CanFocus() && !htSetFocus(FControl.get(), page)) return;
  FormControlClick();
  if (!page.PageKept()) return;
  XPos = XTmp;
  YPos = YTmp;
  if (!Disabled && MyForm) MyForm->SubmitTheForm(String());
}

bool TImageFormControlObj::GetSubmission(int Index, String& S) {
  if (XPos < 0 || Index > 1) return false;
  const String prefix = FName.empty() ? String() : FName + u".";
  if (Index == 0) {
    S = prefix + u"x=" + IntToStr(XPos);
  } else {
    S = prefix + u"y=" + IntToStr(YPos);
    XPos = -1;  // a position is submitted once
  }
  return true;
}
