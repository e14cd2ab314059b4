// Select and text area controls: option lists shown as list boxes or
// drop-down lists, and multi-line text areas, with their sizes, values,
// submission pairs and printed look.
#include <algorithm>

#include "html/parse/html_common.h"
#include "html/paint/borders.h"
#include "html/model/document.h"
#include "html/forms/form_kinds.h"
#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/windows.h"

namespace {

String pair(const String& Name, const String& Value) { return Name + u"=" + Value; }

int scrollBarWidth() {
  const int w = GetSystemMetrics(SM_CXVSCROLL);
  return w > 0 ? w : 16;
}

// A box for a printed list or text: sunken with a 3-D look, else flat.
int printBox(TCanvas* Canvas, TWinControl* C, int X, int Y, bool Mono, TColor Color) {
  const bool raised3D = C->BorderStyle() != bsNone;
  if (raised3D) {
    FormControlRect(Canvas, X, Y, X + C->Width(), Y + C->Height(), false, Mono, false, Color);
    return 4;
  }
  FillRectColor(Canvas, X, Y, X + C->Width(), Y + C->Height(), Color);
  return 2;
}

}  // namespace

// ---- options ------------------------------------------------------------------------------

String ThtOptionStringList::ValueOf(int Index) const {
  return Index >= 0 && Index < Count() ? FItems[size_t(Index)].Option->Value : String();
}

bool ThtOptionStringList::SelectedOf(int Index) const {
  return Index >= 0 && Index < Count() && FItems[size_t(Index)].Option->Selected;
}

void ThtOptionStringList::Add(const String& Caption, std::unique_ptr<TOptionObj> Option) {
  FItems.push_back(Item{Caption, std::move(Option)});
}

TOptionsFormControlObj::TOptionsFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L,
                                               ThtmlForm*& CurrentForm)
    : TFormControlObj(AMasterList, Position, L, CurrentForm) {
  TAttribute* T = nullptr;
  // Sizes beyond any screen are cut, so that heights never overflow.
  if (L && L->Find(symSize, T)) LBSize = std::min(T->Value, 1000);
}

void TOptionsFormControlObj::AddStr(const String& WS, bool Selected, std::unique_ptr<TStringList> Attr) {
  const String caption = WS.empty() ? String(u" ") : WS;
  auto option = std::make_unique<TOptionObj>();
  option->Value = caption;
  if (Attr) {
    const String v = Attr->Values(u"Value");
    if (!v.empty()) option->Value = v;
  }
  option->Selected = Selected;
  option->Attributes = std::move(Attr);
  TheOptions.Add(caption, std::move(option));
  TCanvas screen;  // measures like the screen
  if (TFont* f = controlFont()) screen.Font()->Assign(*f);
  MaxWidth = std::max(MaxWidth, screen.TextWidth(caption));
}

// ---- list box -------------------------------------------------------------------------------

TListBoxFormControlObj::TListBoxFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L,
                                               TProperties* Prop, ThtmlForm*& CurrentForm)
    : TOptionsFormControlObj(AMasterList, Position, L, CurrentForm), FControl(std::make_unique<TListBox>(nullptr)) {
  TAttribute* T = nullptr;
  initControl(FControl.get(), Prop);
  FControl->SetMultiSelect(L && L->Find(symMultiple, T));
  FControl->OnClick = [this](TObject*) { FormControlClick(); };
}

TListBoxFormControlObj::~TListBoxFormControlObj() = default;

void TListBoxFormControlObj::ProcessProperties(TProperties* Prop) {
  TFormControlObj::ProcessProperties(Prop);
  applyBoxLook(FControl.get());
}

void TListBoxFormControlObj::ResetToValue() {
  FControl->Clear();
  // One update of the control for the whole list, not one per option (a
  // list of thousands of options would otherwise take seconds).
  FControl->Items()->BeginUpdate();
  for (int i = 0; i < TheOptions.Count(); ++i) FControl->Items()->Add(TheOptions.Strings(i));
  FControl->Items()->EndUpdate();
  if (FControl->MultiSelect()) {
    for (int i = 0; i < TheOptions.Count(); ++i) FControl->SetSelected(i, TheOptions.SelectedOf(i));
  } else {
    int last = -1;
    for (int i = 0; i < TheOptions.Count(); ++i)
      if (TheOptions.SelectedOf(i)) last = i;
    // A single list always has a choice: the first item when none is marked.
    FControl->SetItemIndex(last >= 0 ? last : 0);
  }
  FControl->SetTopIndex(0);
}

bool TListBoxFormControlObj::GetSubmission(int Index, String& S) {
  if (Index >= FControl->Items()->Count()) return false;
  const bool chosen = FControl->MultiSelect() ? FControl->Selected(Index) : FControl->ItemIndex() == Index;
  if (chosen) S = pair(FName, TheOptions.ValueOf(Index));
  return true;
}

void TListBoxFormControlObj::SetData(int Index, const String& V) {
  const bool multi = FControl->MultiSelect();
  if (Index == 0) {
    FControl->SetItemIndex(0);
    if (multi)
      for (int i = 0; i < FControl->Items()->Count(); ++i) FControl->SetSelected(i, false);
  }
  for (int i = 0; i < TheOptions.Count(); ++i) {
    if (!AnsiSameText(TheOptions.ValueOf(i), V)) continue;
    if (multi) FControl->SetSelected(i, true);
    else FControl->SetItemIndex(i);
  }
  FControl->SetTopIndex(0);
}

void TListBoxFormControlObj::SaveContents() {
  FSavedCount = FControl->Items()->Count();
  FSavedSelected.assign(51, false);
  for (int i = 0; i < std::min(FSavedCount, 51); ++i) FSavedSelected[size_t(i)] = FControl->Selected(i);
}

void TListBoxFormControlObj::CheckForChange() {
  bool changed = FControl->Items()->Count() != FSavedCount;
  for (int i = 0; !changed && i < std::min(FSavedCount, 51); ++i)
    changed = FControl->Selected(i) != FSavedSelected[size_t(i)];
  reportChange(changed);
}

void TListBoxFormControlObj::SetHeightWidth(TCanvas* Canvas) {
  useControlFont(Canvas);
  if (LBSize == -1) LBSize = std::clamp(TheOptions.Count(), 1, 8);
  FControl->SetClientHeight(FHeight >= 10 ? FHeight : Canvas->TextHeight(u"A") * std::max(LBSize, 1));
  if (PercentWidth) {
    FControl->SetLeft(-4000);
    FControl->SetWidth(10);
  } else if (FWidth >= 10) {
    FControl->SetWidth(FWidth);
  } else {
    FControl->SetWidth(scrollBarWidth() + MaxWidth + 10);
  }
}

void TListBoxFormControlObj::Draw(TCanvas* Canvas, int X, int Y) {
  TCanvasKeeper keep(Canvas);
  const TColor color = BkColor != clNone ? BkColor : clWhite;
  const int inset = printBox(Canvas, FControl.get(), X, Y, printMonoBlack(), color);
  useControlFont(Canvas);
  Canvas->Brush()->SetStyle(bsClear);
  const int lineHeight = Canvas->TextHeight(u"A");
  const TRect box(X + inset, Y + inset, X + Width() - inset, Y + Height() - inset);
  const int top = std::max(FControl->TopIndex(), 0);
  for (int i = top, row = 0; i < FControl->Items()->Count() && row < std::max(LBSize, 1); ++i, ++row)
    WideCanvasTextRect(Canvas, box, box.Left, box.Top + row * lineHeight, FControl->Items()->Strings(i));
}

// ---- drop-down list -----------------------------------------------------------------------

TComboFormControlObj::TComboFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L,
                                           TProperties* Prop, ThtmlForm*& CurrentForm)
    : TOptionsFormControlObj(AMasterList, Position, L, CurrentForm), FControl(std::make_unique<TComboBox>(nullptr)) {
  initControl(FControl.get(), Prop);
  FControl->SetStyle(csDropDownList);
  // Every change of the choice is a click for the page's script events.
  FControl->OnChange = [this](TObject*) { FormControlClick(); };
  FControl->OnClick = [this](TObject*) { FormControlClick(); };
}

TComboFormControlObj::~TComboFormControlObj() = default;

void TComboFormControlObj::ProcessProperties(TProperties* Prop) {
  TFormControlObj::ProcessProperties(Prop);
  if (BkColor != clNone) FControl->SetColor(BkColor);
}

void TComboFormControlObj::ResetToValue() {
  FControl->Items()->BeginUpdate();
  FControl->Items()->Clear();
  for (int i = 0; i < TheOptions.Count(); ++i) FControl->Items()->Add(TheOptions.Strings(i));
  FControl->Items()->EndUpdate();
  int last = -1;
  for (int i = 0; i < TheOptions.Count(); ++i)
    if (TheOptions.SelectedOf(i)) last = i;
  FControl->SetItemIndex(last >= 0 ? last : 0);
}

bool TComboFormControlObj::GetSubmission(int Index, String& S) {
  if (Index != 0) return false;
  const int i = FControl->ItemIndex();
  if (i >= 0) S = pair(FName, TheOptions.ValueOf(i));
  return true;
}

void TComboFormControlObj::SetData(int, const String& V) {
  for (int i = 0; i < TheOptions.Count(); ++i)
    if (AnsiSameText(TheOptions.ValueOf(i), V)) FControl->SetItemIndex(i);
}

void TComboFormControlObj::SaveContents() { FSavedIndex = FControl->ItemIndex(); }

void TComboFormControlObj::CheckForChange() {
  reportChange(FControl->ItemIndex() != FSavedIndex);
}

void TComboFormControlObj::SetHeightWidth(TCanvas* Canvas) {
  useControlFont(Canvas);
  // A drop-down list is as tall as its font needs unless the page sets it.
  FControl->SetHeight(FHeight >= 10 ? FHeight : Canvas->TextHeight(u"A") + 8);
  if (PercentWidth) {
    FControl->SetLeft(-4000);
    FControl->SetWidth(10);
  } else if (FWidth >= 10) {
    FControl->SetWidth(FWidth);
  } else {
    FControl->SetWidth(scrollBarWidth() + MaxWidth + 10 + 4);
  }
}

void TComboFormControlObj::Draw(TCanvas* Canvas, int X, int Y) {
  TCanvasKeeper keep(Canvas);
  FormControlRect(Canvas, X, Y, X + Width(), Y + Height(), false, printMonoBlack(), false,
                  BkColor != clNone ? BkColor : clWhite);
  useControlFont(Canvas);
  Canvas->Brush()->SetStyle(bsClear);
  const int i = FControl->ItemIndex();
  if (i >= 0 && i < FControl->Items()->Count()) {
    const TRect box(X + 4, Y + 4, X + Width() - 4, Y + Height() - 4);
    const String caption = FControl->Items()->Strings(i);
    WideCanvasTextRect(Canvas, box, X + 5, Y + (Height() - Canvas->TextHeight(caption)) / 2, caption);
  }
}

// ---- text area ------------------------------------------------------------------------------

TTextAreaFormControlObj::TTextAreaFormControlObj(ThtDocument* AMasterList, int Position, TAttributeList* L,
                                                 TProperties* Prop, ThtmlForm*& CurrentForm)
    : TFormControlObj(AMasterList, Position, L, CurrentForm), FControl(std::make_unique<TMemo>(nullptr)) {
  TAttribute* T = nullptr;
  // A text area has at least one row and column, and never more than a
  // screen could show: heights and widths stay positive and in range.
  if (L && L->Find(symRows, T) && T->Value >= 1) Rows = std::min(T->Value, 1000);
  if (L && L->Find(symCols, T) && T->Value >= 1) Cols = std::min(T->Value, 4096);
  if (L && L->Find(symWrap, T)) {
    const String w = htLowerCase(T->Text);
    Wrap = w == u"off" ? 0 : w == u"hard" ? 2 : 1;
  }
  initControl(FControl.get(), Prop);
  FControl->SetScrollBars(Wrap == 0 ? ssBoth : ssVertical);
  FControl->SetWordWrap(Wrap != 0);
  FControl->SetReadOnly(ReadOnly);
  // Enter is a plain line break in a text area; the form only sees it.
  FControl->OnKeyPress = [this](TObject* Sender, char16_t& Key) {
    if (MyForm) MyForm->ControlKeyPress(Sender, Key);
  };
  FControl->OnClick = [this](TObject*) { FormControlClick(); };
}

TTextAreaFormControlObj::~TTextAreaFormControlObj() = default;

void TTextAreaFormControlObj::ProcessProperties(TProperties* Prop) {
  TFormControlObj::ProcessProperties(Prop);
  applyBoxLook(FControl.get());
}

void TTextAreaFormControlObj::ResetToValue() {
  FControl->SetSelStart(0);
  FControl->SetSelLength(0);
  FControl->SetText(TheText);
}

std::vector<String> TTextAreaFormControlObj::WrappedLines() {
  // The width the memo shows text in: its client area less the vertical
  // scroll bar and the text's margins.
  TCanvas measure;
  if (TFont* f = controlFont()) measure.Font()->Assign(*f);
  int room = FControl->ClientWidth() - 8;
  if (FControl->ScrollBars() == ssVertical || FControl->ScrollBars() == ssBoth) room -= scrollBarWidth();
  room = std::max(room, 1);
  std::vector<String> out;
  const String text = FControl->Text();
  size_t start = 0;
  for (;;) {
    size_t end = text.find(u"\r\n", start);
    const String line = text.substr(start, end == String::npos ? String::npos : end - start);
    if (!FControl->WordWrap()) {
      out.push_back(line);
    } else {
      // Break after the last blank that fits; a word wider than the room
      // breaks where the room ends.
      size_t from = 0;
      do {
        size_t n = line.size() - from;
        if (measure.TextWidth(line.substr(from)) > room) {
          size_t fit = 0;
          while (fit < n && measure.TextWidth(line.substr(from, fit + 1)) <= room) ++fit;
          const size_t blank = line.rfind(u' ', from + fit);
          n = blank != String::npos && blank >= from && blank < from + fit ? blank - from + 1 : std::max<size_t>(fit, 1);
        }
        String piece = line.substr(from, n);
        while (!piece.empty() && piece.back() == u' ') piece.pop_back();
        out.push_back(piece);
        from += n;
      } while (from < line.size());
    }
    if (end == String::npos) break;
    start = end + 2;
  }
  return out;
}

bool TTextAreaFormControlObj::GetSubmission(int Index, String& S) {
  if (Index != 0) return false;
  if (Wrap == 2) {
    String joined;
    const std::vector<String> lines = WrappedLines();
    for (size_t i = 0; i < lines.size(); ++i) joined += (i ? u"\r\n" : u"") + lines[i];
    S = pair(FName, joined);
  } else {
    S = pair(FName, FControl->Text());
  }
  return true;
}

void TTextAreaFormControlObj::SetData(int, const String& V) { FControl->SetText(V); }

void TTextAreaFormControlObj::SaveContents() { FSaved = FControl->Text(); }

void TTextAreaFormControlObj::CheckForChange() {
  reportChange(FControl->Text() != FSaved);
}

void TTextAreaFormControlObj::SetHeightWidth(TCanvas* Canvas) {
  useControlFont(Canvas);
  if (FHeight >= 10) FControl->SetHeight(FHeight);
  else FControl->SetClientHeight(Canvas->TextHeight(u"A") * Rows + 5);
  if (PercentWidth) {
    FControl->SetLeft(-4000);
    FControl->SetWidth(50);
  } else if (FWidth >= 10) {
    FControl->SetWidth(FWidth);
  } else {
    FControl->SetClientWidth(Canvas->TextWidth(u"s") * Cols + 5);
  }
}

void TTextAreaFormControlObj::Draw(TCanvas* Canvas, int X, int Y) {
  TCanvasKeeper keep(Canvas);
  const int inset = printBox(Canvas, FControl.get(), X, Y, printMonoBlack(), BkColor != clNone ? BkColor : clWhite);
  useControlFont(Canvas);
  Canvas->Brush()->SetStyle(bsClear);
  const int lineHeight = Canvas->TextHeight(u"A");
  const TRect box(X + inset, Y + inset, X + Width() - inset, Y + Height() - inset);
  const std::vector<String> lines = WrappedLines();
  for (int i = 0; i < int(lines.size()) && i < Rows; ++i)
    WideCanvasTextRect(Canvas, box, box.Left, box.Top + i * lineHeight, lines[size_t(i)]);
}
