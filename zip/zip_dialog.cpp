#include "zip/zip_dialog.h"

#include <algorithm>

#include "platform/gui/stdctrls.h"

TZipDialogBox::TZipDialogBox(TComponent* owner, const String& title, const String& msg, TZADlgBtns btns, int type)
    : TForm(owner), FType(type) {
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetCaption(title);
  // Dialog units from the average width of the usual characters.
  const int unitX = 7, unitY = 13;
  FText = new TLabel(this);
  FText->SetName(u"zadText");
  FText->SetParent(this);
  FText->SetWordWrap(true);
  FText->SetCaption(msg);
  FText->SetBounds(56, 16, 360, 4 * unitY);
  int y = 16 + 5 * unitY;
  if (type == 4) {
    FEdit = new TEdit(this);
    FEdit->SetName(u"zadEdit");
    FEdit->SetParent(this);
    FEdit->SetPasswordChar(u'*');
    FEdit->SetMaxLength(80);
    FEdit->SetBounds(56, y, std::max(360, 80 * unitX / 2), 2 * unitY);
    SetActiveControl(FEdit);
    y += 3 * unitY;
  }
  static const int kResults[] = {6, 7, 1, 2, 3, 4, 5, 8, 9, 10};
  static const int kCaptions[] = {83, 84, 85, 86, 87, 88, 89, 90, 91, 92};
  int count = 0;
  for (int b = zbYes; b <= zbYesToAll; ++b) count += btns.Contains(TZADlgBtn(b)) ? 1 : 0;
  const int width = 50 * unitX / 4 * 2, gap = 8;
  int x = std::max(8, (432 - (count * width + (count - 1) * gap)) / 2);
  TZADlgBtn def = btns.Contains(zbOK) ? zbOK : btns.Contains(zbYes) ? zbYes : zbRetry;
  TZADlgBtn cancel = btns.Contains(zbCancel) ? zbCancel : btns.Contains(zbNo) ? zbNo : zbOK;
  int seq = 0;
  for (int b = zbYes; b <= zbYesToAll; ++b) {
    if (!btns.Contains(TZADlgBtn(b))) continue;
    auto* button = new TButton(this);
    button->SetName(u"ZADlg_A" + IntToStr(++seq));
    button->SetParent(this);
    button->SetCaption(LoadZipStr(kCaptions[b]));
    button->SetModalResult(kResults[b]);
    button->SetDefault(b == def);
    button->SetCancel(b == cancel);
    button->SetBounds(x, y, width, 2 * unitY);
    x += width + gap;
  }
  SetClientWidth(432);
  SetClientHeight(y + 3 * unitY);
}

String TZipDialogBox::Password() const { return FEdit ? FEdit->Text() : String(); }
