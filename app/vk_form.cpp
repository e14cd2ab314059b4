#include "app/vk_form.h"

#include "app/app_state.h"
#include "app/main_form.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/gui/stdctrls.h"

TvkForm* vkForm = nullptr;

namespace {

TButton* fixedButton(TvkForm* form, TWinControl* parent, const String& caption, int left, int width,
                     TNotifyEvent onClick) {
  auto* b = new TButton(form);
  b->SetParent(parent);
  b->SetCaption(caption);
  // Along the bottom, under the fourth row of keys.
  b->SetBounds(left, 178, width, 26);
  b->OnClick = std::move(onClick);
  return b;
}

// The file's text after its byte-order mark, up to the end of the file or
// its "#" (which is read, then reading stops); a file that cannot be read
// has none. An odd last byte is no character.
String readLayoutText(const String& FileName) {
  TMemoryStream m;
  try {
    m.LoadFromFile(FileName);
  } catch (const Exception&) {
    return String();
  }
  const auto* bytes = static_cast<const unsigned char*>(m.Memory());
  const size_t size = size_t(m.Size());
  String text;
  for (size_t at = 2; at + 1 < size; at += 2) {
    const char16_t c = char16_t(bytes[at] | (bytes[at + 1] << 8));
    text += c;
    if (c == u'#') break;
  }
  return text;
}

}  // namespace

TvkForm::TvkForm(TComponent* AOwner) : TForm(AOwner) {
  vkForm = this;
  SetName(u"vkForm");
  SetCaption(u"виртуальная клавиатура");
  SetBorderStyle(bsSizeToolWin);
  SetBorderIcons(TBorderIcons{biSystemMenu});
  Font()->SetName(u"Arial Unicode MS");
  SetClientWidth(515);
  SetClientHeight(236);

  vkTab = new TTabControl(this);
  vkTab->SetParent(this);
  vkTab->SetAlign(alClient);
  vkTab->OnChange = [this](TObject* s) { vkTabChange(s); };
  SpaceButton = fixedButton(this, vkTab, u"Space Bar", 15, 250, [this](TObject* s) { SpaceButtonClick(s); });
  BackSpaceButton = fixedButton(this, vkTab, u"BackSpace", 272, 100, [this](TObject* s) { BackSpaceButtonClick(s); });
  EnterButton = fixedButton(this, vkTab, u"Enter", 379, 100, [this](TObject* s) { EnterButtonClick(s); });

  OnCreate = [this](TObject* s) { FormCreate(s); };
}

TvkForm::~TvkForm() {
  if (vkForm == this) vkForm = nullptr;
}

void TvkForm::FormCreate(TObject*) {
  LoadLayouts((AppDir.empty() ? String() : AppDir + u"/") + u"other/vk");
}

void TvkForm::LoadLayouts(const String& FileName) {
  for (TButton* b : KeyButtons) b->Free();
  KeyButtons.clear();
  vkTab->Tabs()->Clear();
  LayoutRanges = {};
  KeyButtonCount = 1;
  LayoutIndex = -1;

  const String text = readLayoutText(FileName);
  String line;
  // A line end after a layout's keys; one without a ":" before it (a
  // blank line, the LF of CR LF) makes no layout.
  auto endLine = [&] {
    const size_t colon = line.find(u':');
    if (colon == String::npos || LayoutIndex + 1 >= MaxVkLayouts) return;
    ++LayoutIndex;
    const String keys = line.size() > colon + 2 ? line.substr(colon + 2) : String();
    LayoutRanges[size_t(LayoutIndex)].First = std::uint16_t(KeyButtonCount);
    int row = 1, column = 1;
    for (char16_t k : keys) {
      if (k == u' ') {
        ++row;
        column = 1;
      } else if (KeyButtonCount <= MaxVkKeys) {
        addKey(k, row, column++);
      }
    }
    LayoutRanges[size_t(LayoutIndex)].End = std::uint16_t(KeyButtonCount);
  };
  for (char16_t ch : text) {
    // "#" ends the file.
    if (ch == u'#') break;
    if (ch == u':') {
      if (vkTab->Tabs()->Count() < MaxVkLayouts) vkTab->Tabs()->Add(Trim(line));
      line.clear();
    } else if (ch == u'\r' || ch == u'\n') {
      endLine();
      line.clear();
    }
    line += ch;
  }
  // The last layout's keys need no line end before the end of the file.
  endLine();
  vkTab->SetTabIndex(vkTab->Tabs()->Count() > 0 ? 0 : -1);
  vkTabChange(this);
}

void TvkForm::addKey(char16_t Key, int Row, int Column) {
  auto* b = new TButton(vkTab);
  b->SetParent(vkTab);
  b->SetCaption(String(1, Key));
  if (RuForm && RuForm->RefLabel) b->Font()->Assign(*RuForm->RefLabel->Font());
  const int left = 15 + 30 * (Column - 1) + (Row < 4 ? 15 * (Row - 1) : 0);
  const int top = 50 + 30 * (Row - 1) + (Row == 4 ? 7 : 0);
  b->SetBounds(left, top, 28, 28);
  b->SetVisible(false);
  b->OnClick = [this](TObject* s) { btnsClick(s); };
  KeyButtons.push_back(b);
  ++KeyButtonCount;
}

void TvkForm::vkTabChange(TObject*) {
  for (TButton* b : KeyButtons) b->SetVisible(false);
  const int tab = vkTab->TabIndex();
  if (tab < 0 || tab > LayoutIndex) return;
  const TLayoutRange r = LayoutRanges[size_t(tab)];
  for (int n = r.First; n < r.End; ++n) KeyButtons[size_t(n - 1)]->SetVisible(true);
}

void TvkForm::queryChanged() {
  if (!RuForm) return;
  WORD key = 0;
  RuForm->QueryComboKeyDown(RuForm->QueryCombo, key, TShiftState{});
  key = 0;
  RuForm->QueryComboKeyUp(RuForm->QueryCombo, key, TShiftState{});
}

void TvkForm::btnsClick(TObject* Sender) {
  auto* b = dynamic_cast<TButton*>(Sender);
  if (!RuForm || !b) return;
  RuForm->QueryCombo->SetText(RuForm->QueryCombo->Text() + b->Caption());
  queryChanged();
}

void TvkForm::SpaceButtonClick(TObject*) {
  if (RuForm) RuForm->QueryCombo->SetText(RuForm->QueryCombo->Text() + u" ");
}

void TvkForm::BackSpaceButtonClick(TObject*) {
  if (!RuForm) return;
  String text = RuForm->QueryCombo->Text();
  if (!text.empty()) {
    // A character outside the basic plane goes whole.
    const bool pair = text.size() >= 2 && text.back() >= 0xDC00 && text.back() < 0xE000 &&
                      text[text.size() - 2] >= 0xD800 && text[text.size() - 2] < 0xDC00;
    text.erase(text.size() - (pair ? 2 : 1));
  }
  RuForm->QueryCombo->SetText(text);
  queryChanged();
}

void TvkForm::EnterButtonClick(TObject* Sender) {
  Hide();
  if (RuForm) RuForm->SearchButtonClick(Sender);
}
