// Stock controls over Qt widgets.
#include <QApplication>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextCursor>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>

#include <algorithm>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/canvas_qt.h"
#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"
#include "platform/core/exception.h"
#include "platform/gui/stdctrls.h"

namespace {

QString qs(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
String ss(const QString& s) { return String(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }

template <class W>
W* widgetAs(const TControl* c) {
  return c->Private() ? qobject_cast<W*>(c->Private()->Widget.data()) : nullptr;
}

// Click events come from the widget's own signal, not from mouse messages.
TControlStyle withoutClicks(TControlStyle s) {
  s.Exclude(csClickEvents);
  return s;
}

}  // namespace

// ---- TPanel --------------------------------------------------------------------
TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(ControlStyle() + TControlStyle{csAcceptsControls, csOpaque});
  SetColor(clBtnFace);
  SetBounds(0, 0, 185, 41);
}

void TPanel::SetBevelOuter(TBevelCut value) { FBevelOuter = value; Realign(); Invalidate(); }
void TPanel::SetBevelInner(TBevelCut value) { FBevelInner = value; Realign(); Invalidate(); }
void TPanel::SetBevelWidth(int value) { FBevelWidth = std::max(value, 1); Realign(); Invalidate(); }
void TPanel::SetAlignment(TAlignment value) { FAlignment = value; Invalidate(); }

void TPanel::AlignControls(TControl* AControl, TRect& Rect) {
  int inset = BorderWidth();
  if (FBevelOuter != bvNone) inset += FBevelWidth;
  if (FBevelInner != bvNone) inset += FBevelWidth;
  InflateRect(Rect, -inset, -inset);
  TCustomControl::AlignControls(AControl, Rect);
}

void TPanel::Paint() {
  HWND h = Handle();
  if (!h->Painter) return;
  QPainter& p = *h->Painter;
  QRect r(0, 0, ClientWidth(), ClientHeight());
  p.fillRect(r, QColorFromColor(Color()));
  QColor light = QColorFromColor(clBtnHighlight), dark = QColorFromColor(clBtnShadow);
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    for (int i = 0; i < FBevelWidth; ++i) {
      if (cut != bvSpace) {
        QColor tl = cut == bvRaised ? light : dark, br = cut == bvRaised ? dark : light;
        p.setPen(tl);
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.drawLine(r.left(), r.top(), r.left(), r.bottom());
        p.setPen(br);
        p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
      }
      r.adjust(1, 1, -1, -1);
    }
  };
  bevel(FBevelOuter);
  r.adjust(BorderWidth(), BorderWidth(), -BorderWidth(), -BorderWidth());
  bevel(FBevelInner);
  if (!FShowCaption || Caption().empty()) return;
  p.setFont(QFontFromFont(*Font()));
  p.setPen(QColorFromColor(Font()->Color()));
  int align = Qt::AlignVCenter | Qt::TextSingleLine;
  align |= FAlignment == taCenter ? Qt::AlignHCenter : FAlignment == taRightJustify ? Qt::AlignRight : Qt::AlignLeft;
  p.drawText(r, align, qs(Caption()));
}

// ---- TLabel ------------------------------------------------------------------------
TLabel::TLabel(TComponent* AOwner) : TControl(AOwner) {
  SetBounds(0, 0, 65, 17);
  SetControlStyle(ControlStyle() + TControlStyle{csReplicatable});
  SetColor(clBtnFace);
  SetParentColor(true);
}

void TLabel::CreateWnd() {
  if (Private()->Widget || !ParentWidgetFor(this)) return;
  auto* l = new QLabel(ParentWidgetFor(this));
  l->setTextFormat(Qt::PlainText);
  AttachWidget(this, l, false);
  SyncWidget();
  l->setVisible(Visible());
  AdjustBounds();
}

void TLabel::SyncWidget() {
  TControl::SyncWidget();
  auto* l = widgetAs<QLabel>(this);
  if (!l) return;
  // "&" marks an accelerator in captions; show it as the underline it is.
  String text = Caption();
  QString t;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) {
      ++i;
      if (text[i] == u'&') t += QLatin1Char('&'); else t += QChar(text[i]);
      continue;
    }
    t += QChar(text[i]);
  }
  l->setText(t);
  l->setWordWrap(FWordWrap);
  Qt::Alignment a = FAlignment == taCenter ? Qt::AlignHCenter : FAlignment == taRightJustify ? Qt::AlignRight : Qt::AlignLeft;
  a |= FLayout == tlCenter ? Qt::AlignVCenter : FLayout == tlBottom ? Qt::AlignBottom : Qt::AlignTop;
  l->setAlignment(a);
  l->setAutoFillBackground(!FTransparent);
  QPalette pal = l->palette();
  pal.setColor(QPalette::Window, QColorFromColor(Color()));
  pal.setColor(QPalette::WindowText, QColorFromColor(Font()->Color()));
  l->setPalette(pal);
}

void TLabel::AdjustBounds() {
  if (!FAutoSize) return;
  auto* l = widgetAs<QLabel>(this);
  if (!l) {
    // Without a widget, measure with the label's font.
    QFontMetrics fm(QFontFromFont(*Font()));
    QSize s = fm.size(0, QString::fromUtf16(Caption().data(), qsizetype(Caption().size())));
    if (!FWordWrap) SetBounds(Left(), Top(), s.width(), s.height());
    return;
  }
  l->adjustSize();
  QSize s = FWordWrap ? QSize(Width(), l->heightForWidth(std::max(Width(), 1))) : l->sizeHint();
  SetBounds(Left(), Top(), s.width(), s.height());
}

void TLabel::SetAutoSize(bool value) { FAutoSize = value; AdjustBounds(); }
void TLabel::SetWordWrap(bool value) { FWordWrap = value; SyncWidget(); AdjustBounds(); }
void TLabel::SetTransparent(bool value) { FTransparent = value; SyncWidget(); }
void TLabel::SetAlignment(TAlignment value) { FAlignment = value; SyncWidget(); }
void TLabel::SetLayout(TTextLayout value) { FLayout = value; SyncWidget(); }

void TLabel::TextChanged() {
  SyncWidget();
  AdjustBounds();
}

void TLabel::Dispatch(TMessage& m) {
  if (m.Msg == CM_FONTCHANGED) {
    TControl::Dispatch(m);
    AdjustBounds();
    return;
  }
  TControl::Dispatch(m);
}

// ---- TButton -----------------------------------------------------------------------
TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
  SetControlStyle(withoutClicks(ControlStyle()));
  SetBounds(0, 0, 75, 25);
  SetTabStop(true);
  SetColor(clBtnFace);
}

void TButton::CreateWnd() {
  if (Private()->Handle) return;
  auto* b = new QPushButton(ParentWidgetFor(this));
  AttachWidget(this, b, false);
  QObject::connect(b, &QPushButton::clicked, b, [this] { Click(); });
  SyncWidget();
  b->setVisible(Visible());
}

void TButton::SyncWidget() {
  TWinControl::SyncWidget();
  if (auto* b = widgetAs<QPushButton>(this)) {
    b->setText(qs(Caption()));
    b->setDefault(FDefault);
    b->setAutoDefault(false);
  }
}

void TButton::TextChanged() { SyncWidget(); }

void TButton::SetDefault(bool value) {
  FDefault = value;
  SyncWidget();
}

void TButton::Click() {
  if (TForm* f = GetParentForm()) f->SetModalResult(FModalResult);
  TWinControl::Click();
}

void TButton::Dispatch(TMessage& m) {
  if (m.Msg == WM_GETDLGCODE) {
    m.Result = FDefault ? DLGC_DEFPUSHBUTTON | DLGC_BUTTON : DLGC_UNDEFPUSHBUTTON | DLGC_BUTTON;
    return;
  }
  TWinControl::Dispatch(m);
}

// ---- TBitBtn -------------------------------------------------------------------------
TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner) {}
TBitBtn::~TBitBtn() = default;

void TBitBtn::SetKind(TBitBtnKind value) {
  FKind = value;
  static const struct { const char16_t* caption; int result; } kinds[] = {
      {u"", 0}, {u"OK", 1}, {u"Cancel", 2}, {u"&Help", 0}, {u"&Yes", 6}, {u"&No", 7},
      {u"&Close", 0}, {u"Abort", 3}, {u"&Retry", 4}, {u"&Ignore", 5}, {u"&All", 12}};
  if (value == bkCustom) return;
  if (Caption().empty()) SetCaption(kinds[value].caption);
  SetModalResult(kinds[value].result);
  if (value == bkOK || value == bkYes) SetDefault(true);
  if (value == bkCancel || value == bkNo) SetCancel(true);
}

void TBitBtn::SetGlyph(const std::uint32_t* Pixels, int Width, int Height) {
  FGlyph.clear();
  FGlyphWidth = FGlyphHeight = 0;
  if (Pixels && Width > 0 && Height > 0) {
    FGlyph.assign(Pixels, Pixels + size_t(Width) * size_t(Height));
    FGlyphWidth = Width;
    FGlyphHeight = Height;
  }
  if (auto* b = widgetAs<QPushButton>(this)) {
    if (FGlyph.empty()) {
      b->setIcon(QIcon());
      return;
    }
    QImage img(reinterpret_cast<const uchar*>(FGlyph.data()), FGlyphWidth, FGlyphHeight,
               FGlyphWidth * 4, QImage::Format_ARGB32);
    b->setIcon(QIcon(QPixmap::fromImage(img.copy())));
    b->setIconSize(QSize(FGlyphWidth, FGlyphHeight));
  }
}

void TBitBtn::SetGlyph(TBitmap* Glyph) {
  if (!Glyph || Glyph->Width() <= 0 || Glyph->Height() <= 0) {
    SetGlyph(nullptr, 0, 0);
    return;
  }
  int w = Glyph->Width(), h = Glyph->Height();
  TCanvas* c = Glyph->Canvas();
  TColor clear = c->Pixels(0, h - 1);
  std::vector<std::uint32_t> argb(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      TColor p = c->Pixels(x, y);
      std::uint32_t rgb = std::uint32_t(((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF));
      argb[size_t(y) * size_t(w) + size_t(x)] = p == clear ? 0u : (0xFF000000u | rgb);
    }
  SetGlyph(argb.data(), w, h);
}

void TBitBtn::CreateWnd() {
  TButton::CreateWnd();
  if (!FGlyph.empty()) {
    std::vector<std::uint32_t> g = FGlyph;
    SetGlyph(g.data(), FGlyphWidth, FGlyphHeight);
  }
}

// ---- TEdit -----------------------------------------------------------------------------
TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 121, 21);
  SetTabStop(true);
  SetBorderStyle(bsSingle);
  SetControlStyle(withoutClicks(ControlStyle()) + TControlStyle{csClickEvents});
}

void TEdit::CreateWnd() {
  if (Private()->Handle) return;
  auto* e = new QLineEdit(ParentWidgetFor(this));
  AttachWidget(this, e, false);
  QObject::connect(e, &QLineEdit::textChanged, e, [this](const QString&) {
    if (FSyncing) return;
    // Only the user's typing marks the text modified.
    if (!FSettingText) FModified = true;
    Change();
  });
  FSyncing = true;
  e->setText(qs(TControl::GetText()));
  FSyncing = false;
  SyncWidget();
  e->setVisible(Visible());
}

String TEdit::GetText() const {
  if (auto* e = widgetAs<QLineEdit>(this)) return ss(e->text());
  return TControl::GetText();
}

void TEdit::TextChanged() {
  if (auto* e = widgetAs<QLineEdit>(this)) {
    String t = TControl::GetText();
    FModified = false;
    FSettingText = true;
    if (ss(e->text()) != t) e->setText(qs(t));  // fires OnChange through the signal
    FSettingText = false;
  } else {
    FModified = false;
    Change();
  }
}

void TEdit::SyncWidget() {
  TWinControl::SyncWidget();
  auto* e = widgetAs<QLineEdit>(this);
  if (!e) return;
  e->setMaxLength(FMaxLength > 0 ? FMaxLength : 32767);
  e->setReadOnly(FReadOnly);
  e->setEchoMode(FPasswordChar ? QLineEdit::Password : QLineEdit::Normal);
  e->setFrame(BorderStyle() != bsNone);
}

void TEdit::SetMaxLength(int value) { FMaxLength = std::max(value, 0); SyncWidget(); }
void TEdit::SetReadOnly(bool value) { FReadOnly = value; SyncWidget(); }
void TEdit::SetPasswordChar(char16_t value) { FPasswordChar = value; SyncWidget(); }

int TEdit::SelStart() const {
  auto* e = widgetAs<QLineEdit>(this);
  if (!e) return FSelStart;
  return e->hasSelectedText() ? e->selectionStart() : e->cursorPosition();
}

void TEdit::SetSelStart(int value) {
  FSelStart = value;
  FSelLength = 0;
  if (auto* e = widgetAs<QLineEdit>(this)) {
    e->deselect();
    e->setCursorPosition(value);
  }
}

int TEdit::SelLength() const {
  auto* e = widgetAs<QLineEdit>(this);
  return e ? int(e->selectedText().size()) : FSelLength;
}

void TEdit::SetSelLength(int value) {
  FSelLength = value;
  if (auto* e = widgetAs<QLineEdit>(this)) e->setSelection(SelStart(), value);
}

String TEdit::SelText() const {
  auto* e = widgetAs<QLineEdit>(this);
  return e ? ss(e->selectedText()) : String();
}

void TEdit::SetSelText(const String& value) {
  if (auto* e = widgetAs<QLineEdit>(this)) e->insert(qs(value));
}

void TEdit::SelectAll() {
  if (auto* e = widgetAs<QLineEdit>(this)) e->selectAll();
}

void TEdit::CopyToClipboard() {
  if (auto* e = widgetAs<QLineEdit>(this)) e->copy();
}
void TEdit::CutToClipboard() {
  if (auto* e = widgetAs<QLineEdit>(this)) e->cut();
}
void TEdit::PasteFromClipboard() {
  if (auto* e = widgetAs<QLineEdit>(this)) e->paste();
}

void TEdit::Change() {
  if (OnChange) OnChange(this);
}

void TEdit::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_GETDLGCODE: m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL; return;
    case WM_SETFOCUS:
      TWinControl::Dispatch(m);
      if (FAutoSelect) SelectAll();
      return;
    case WM_COPY: CopyToClipboard(); return;
    case WM_CUT: CutToClipboard(); return;
    case WM_PASTE: PasteFromClipboard(); return;
    case WM_GETTEXTLENGTH: m.Result = LRESULT(GetText().size()); return;
    default: TWinControl::Dispatch(m); return;
  }
}

// ---- TComboBox ----------------------------------------------------------------------
TComboBox::TComboBox(TComponent* AOwner)
    : TWinControl(AOwner), FItems(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 145, 21);
  SetTabStop(true);
  SetControlStyle(withoutClicks(ControlStyle()));
  FItems->OnChange = [this](TObject*) { itemsChanged(); };
}

TComboBox::~TComboBox() { FItems->OnChange = nullptr; }

void TComboBox::CreateWnd() {
  if (Private()->Handle) return;
  auto* c = new QComboBox(ParentWidgetFor(this));
  c->setEditable(FStyle == csDropDown || FStyle == csSimple);
  c->setInsertPolicy(QComboBox::NoInsert);
  AttachWidget(this, c, false);
  itemsChanged();
  if (c->isEditable()) {
    FSyncing = true;
    c->setEditText(FItemIndex >= 0 ? qs(FItems->Strings(FItemIndex)) : qs(TControl::GetText()));
    FSyncing = false;
    QObject::connect(c, &QComboBox::editTextChanged, c, [this](const QString&) {
      if (!FSyncing) Change();
    });
  }
  QObject::connect(c, &QComboBox::activated, c, [this](int index) {
    if (FSyncing) return;
    FItemIndex = index;
    Select();
  });
  QObject::connect(c, &QComboBox::currentIndexChanged, c, [this](int index) {
    if (FSyncing) return;
    FItemIndex = index;
  });
  SyncWidget();
  c->setVisible(Visible());
}

void TComboBox::itemsChanged() {
  auto* c = widgetAs<QComboBox>(this);
  if (!c) {
    if (FItemIndex >= FItems->Count()) FItemIndex = -1;
    return;
  }
  FSyncing = true;
  QString text = c->currentText();
  c->clear();
  for (int i = 0; i < FItems->Count(); ++i) c->addItem(qs(FItems->Strings(i)));
  if (FItemIndex >= FItems->Count()) FItemIndex = -1;
  c->setCurrentIndex(FItemIndex);
  if (c->isEditable()) c->setEditText(FItemIndex >= 0 ? qs(FItems->Strings(FItemIndex)) : text);
  FSyncing = false;
}

String TComboBox::GetText() const {
  auto* c = widgetAs<QComboBox>(this);
  if (!c) return FItemIndex >= 0 && FStyle == csDropDownList ? FItems->Strings(FItemIndex) : TControl::GetText();
  return ss(c->currentText());
}

void TComboBox::TextChanged() {
  String t = TControl::GetText();
  auto* c = widgetAs<QComboBox>(this);
  if (!c) {
    Change();
    return;
  }
  if (c->isEditable()) {
    if (ss(c->currentText()) != t) c->setEditText(qs(t));  // fires OnChange
    return;
  }
  // A list-only combo box shows only its items.
  int i = FItems->IndexOf(t);
  SetItemIndex(i);
}

void TComboBox::SyncWidget() {
  TWinControl::SyncWidget();
  auto* c = widgetAs<QComboBox>(this);
  if (!c) return;
  c->setMaxVisibleItems(std::max(FDropDownCount, 1));
  if (c->lineEdit()) c->lineEdit()->setMaxLength(FMaxLength > 0 ? FMaxLength : 32767);
}

int TComboBox::ItemIndex() const {
  auto* c = widgetAs<QComboBox>(this);
  if (c && c->isEditable()) {
    // Typing that differs from the selected item leaves no selection.
    int i = c->currentIndex();
    if (i >= 0 && c->currentText() != c->itemText(i)) return -1;
    return i;
  }
  return c ? c->currentIndex() : FItemIndex;
}

void TComboBox::SetItemIndex(int value) {
  if (value < -1 || value >= FItems->Count()) value = -1;
  FItemIndex = value;
  auto* c = widgetAs<QComboBox>(this);
  if (!c) return;
  FSyncing = true;
  c->setCurrentIndex(value);
  if (c->isEditable()) c->setEditText(value >= 0 ? qs(FItems->Strings(value)) : QString());
  FSyncing = false;
}

void TComboBox::SetStyle(TComboBoxStyle value) {
  if (FStyle == value) return;
  FStyle = value;
  if (auto* c = widgetAs<QComboBox>(this)) {
    String t = GetText();
    RecreateWnd();
    (void)c;
    (void)t;
  }
}

void TComboBox::SetDropDownCount(int value) { FDropDownCount = value; SyncWidget(); }
void TComboBox::SetMaxLength(int value) { FMaxLength = std::max(value, 0); SyncWidget(); }

void TComboBox::SetSorted(bool value) {
  FSorted = value;
  FItems->SetSorted(value);
}

bool TComboBox::DroppedDown() const {
  auto* c = widgetAs<QComboBox>(this);
  return c && c->view() && c->view()->isVisible();
}

void TComboBox::SetDroppedDown(bool value) {
  auto* c = widgetAs<QComboBox>(this);
  if (!c || IsHeadless()) return;
  if (value) {
    if (OnDropDown) OnDropDown(this);
    c->showPopup();
  } else {
    c->hidePopup();
    if (OnCloseUp) OnCloseUp(this);
  }
}

int TComboBox::SelStart() const {
  auto* c = widgetAs<QComboBox>(this);
  if (!c || !c->lineEdit()) return 0;
  QLineEdit* e = c->lineEdit();
  return e->hasSelectedText() ? e->selectionStart() : e->cursorPosition();
}

void TComboBox::SetSelStart(int value) {
  auto* c = widgetAs<QComboBox>(this);
  if (!c || !c->lineEdit()) return;
  c->lineEdit()->deselect();
  c->lineEdit()->setCursorPosition(value);
}

int TComboBox::SelLength() const {
  auto* c = widgetAs<QComboBox>(this);
  return c && c->lineEdit() ? int(c->lineEdit()->selectedText().size()) : 0;
}

void TComboBox::SetSelLength(int value) {
  auto* c = widgetAs<QComboBox>(this);
  if (c && c->lineEdit()) c->lineEdit()->setSelection(SelStart(), value);
}

void TComboBox::SelectAll() {
  auto* c = widgetAs<QComboBox>(this);
  if (c && c->lineEdit()) c->lineEdit()->selectAll();
}

void TComboBox::Clear() {
  FItems->Clear();
  SetText(String());
}

void TComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TComboBox::Select() {
  if (OnSelect)
    OnSelect(this);
  else
    Change();
}

void TComboBox::Dispatch(TMessage& m) {
  if (m.Msg == WM_GETDLGCODE) {
    m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    if (DroppedDown()) m.Result |= DLGC_WANTALLKEYS;
    return;
  }
  TWinControl::Dispatch(m);
}

// ---- TCheckBox --------------------------------------------------------------------------
TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 97, 17);
  SetTabStop(true);
  SetControlStyle(withoutClicks(ControlStyle()));
  SetColor(clBtnFace);
}

void TCheckBox::CreateWnd() {
  if (Private()->Handle) return;
  auto* b = new QCheckBox(ParentWidgetFor(this));
  AttachWidget(this, b, false);
  QObject::connect(b, &QCheckBox::clicked, b, [this](bool) {
    if (!FSyncing) Toggle();
  });
  SyncWidget();
  b->setVisible(Visible());
}

void TCheckBox::SyncWidget() {
  TWinControl::SyncWidget();
  auto* b = widgetAs<QCheckBox>(this);
  if (!b) return;
  FSyncing = true;
  b->setText(qs(Caption()));
  b->setTristate(FAllowGrayed || FState == cbGrayed);
  b->setCheckState(FState == cbChecked ? Qt::Checked : FState == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
  b->setLayoutDirection(FAlignment == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
  FSyncing = false;
}

void TCheckBox::TextChanged() { SyncWidget(); }

void TCheckBox::SetChecked(bool value) { SetState(value ? cbChecked : cbUnchecked); }

void TCheckBox::SetState(TCheckBoxState value) {
  if (FState == value) {
    SyncWidget();
    return;
  }
  FState = value;
  SyncWidget();
  Click();
}

void TCheckBox::SetAllowGrayed(bool value) {
  FAllowGrayed = value;
  SyncWidget();
}

void TCheckBox::Toggle() {
  switch (FState) {
    case cbUnchecked: SetState(FAllowGrayed ? cbGrayed : cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
    case cbGrayed: SetState(cbChecked); break;
  }
}

void TCheckBox::Dispatch(TMessage& m) {
  if (m.Msg == WM_GETDLGCODE) {
    m.Result = DLGC_BUTTON;
    return;
  }
  TWinControl::Dispatch(m);
}

// ---- TProgressBar --------------------------------------------------------------------------
TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 150, 16);
}

void TProgressBar::CreateWnd() {
  if (Private()->Handle) return;
  auto* b = new QProgressBar(ParentWidgetFor(this));
  b->setTextVisible(false);
  AttachWidget(this, b, false);
  SyncWidget();
  b->setVisible(Visible());
}

void TProgressBar::SyncWidget() {
  TWinControl::SyncWidget();
  auto* b = widgetAs<QProgressBar>(this);
  if (!b) return;
  b->setOrientation(FOrientation == pbVertical ? Qt::Vertical : Qt::Horizontal);
  b->setRange(FMin, std::max(FMin, FMax));
  b->setValue(std::clamp(FPosition, FMin, std::max(FMin, FMax)));
}

void TProgressBar::SetMin(int value) { FMin = value; SyncWidget(); }
void TProgressBar::SetMax(int value) { FMax = value; SyncWidget(); }
void TProgressBar::SetPosition(int value) {
  FPosition = std::clamp(value, FMin, std::max(FMin, FMax));
  SyncWidget();
}
void TProgressBar::StepIt() {
  // Stepping past the end starts again from the beginning, as the common
  // control does.
  int p = FPosition + FStep;
  if (p > FMax) p = FMin + (p - FMax);
  SetPosition(p);
}
void TProgressBar::StepBy(int Delta) { SetPosition(FPosition + Delta); }
void TProgressBar::SetOrientation(TProgressBarOrientation value) { FOrientation = value; SyncWidget(); }

// ---- TScrollBar -------------------------------------------------------------------------------
TScrollBar::TScrollBar(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 121, GetSystemMetrics(SM_CYHSCROLL));
  SetTabStop(true);
  SetControlStyle(withoutClicks(ControlStyle()));
}

void TScrollBar::CreateWnd() {
  if (Private()->Handle) return;
  auto* b = new QScrollBar(FKind == sbVertical ? Qt::Vertical : Qt::Horizontal, ParentWidgetFor(this));
  b->setTracking(false);
  AttachWidget(this, b, false);
  QObject::connect(b, &QAbstractSlider::actionTriggered, b, [this](int a) { action(a); });
  QObject::connect(b, &QAbstractSlider::sliderReleased, b, [this] { released(); });
  QObject::connect(b, &QAbstractSlider::sliderMoved, b, [this](int value) {
    FTracking = true;
    FTrackPos = value;
    int pos = value;
    Scroll(scTrack, pos);
    SetPosition(pos);
  });
  SyncWidget();
  b->setVisible(Visible());
}

void TScrollBar::SyncWidget() {
  TWinControl::SyncWidget();
  auto* b = widgetAs<QScrollBar>(this);
  if (!b) return;
  QSignalBlocker block(b);
  b->setOrientation(FKind == sbVertical ? Qt::Vertical : Qt::Horizontal);
  b->setRange(FMin, std::max(FMin, FMax - std::max(FPageSize - 1, 0)));
  b->setPageStep(std::max(FPageSize > 0 ? FPageSize : FLargeChange, 1));
  b->setSingleStep(std::max(FSmallChange, 1));
  if (!FTracking) b->setSliderPosition(FPosition);
  b->setValue(FPosition);
}

void TScrollBar::SetKind(TScrollBarKind value) {
  if (FKind == value) return;
  FKind = value;
  SetBounds(Left(), Top(), Height(), Width());
  SyncWidget();
}

void TScrollBar::SetPageSize(int value) {
  FPageSize = std::max(value, 0);
  SetParams(FPosition, FMin, FMax);
}

void TScrollBar::SetParams(int APosition, int AMin, int AMax) {
  if (AMax < AMin) AMax = AMin;
  int top = std::max(AMin, AMax - std::max(FPageSize - 1, 0));
  APosition = std::clamp(APosition, AMin, top);
  bool changed = APosition != FPosition;
  FMin = AMin;
  FMax = AMax;
  FPosition = APosition;
  SyncWidget();
  if (changed) Change();
}

void TScrollBar::Scroll(TScrollCode ScrollCode, int& ScrollPos) {
  if (OnScroll) OnScroll(this, ScrollCode, ScrollPos);
}

void TScrollBar::Change() {
  if (OnChange) OnChange(this);
}

void TScrollBar::action(int qtAction) {
  auto* b = widgetAs<QScrollBar>(this);
  if (!b) return;
  int pos = FPosition;
  TScrollCode code;
  switch (qtAction) {
    case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; pos += FSmallChange; break;
    case QAbstractSlider::SliderSingleStepSub: code = scLineUp; pos -= FSmallChange; break;
    case QAbstractSlider::SliderPageStepAdd: code = scPageDown; pos += FLargeChange; break;
    case QAbstractSlider::SliderPageStepSub: code = scPageUp; pos -= FLargeChange; break;
    case QAbstractSlider::SliderToMinimum: code = scTop; pos = FMin; break;
    case QAbstractSlider::SliderToMaximum: code = scBottom; pos = FMax; break;
    case QAbstractSlider::SliderMove:
      // Thumb drags come through sliderMoved; a move outside a drag (the
      // wheel) sets the position directly.
      if (b->isSliderDown() || FTracking) return;
      code = scPosition;
      pos = b->sliderPosition();
      break;
    default: return;
  }
  // The handler is told a position inside the range, never one past an end.
  pos = std::clamp(pos, FMin, std::max(FMin, FMax));
  Scroll(code, pos);
  SetPosition(pos);
  b->setSliderPosition(FPosition);
  int end = FPosition;
  Scroll(scEndScroll, end);
}

void TScrollBar::released() {
  if (!FTracking) return;
  FTracking = false;
  int pos = FTrackPos;
  Scroll(scPosition, pos);
  SetPosition(pos);
  int end = FPosition;
  Scroll(scEndScroll, end);
  SyncWidget();
}

// ---- tab controls ---------------------------------------------------------------------
struct TCustomTabControl::Tabs {
  QTabBar* Bar = nullptr;
};

TCustomTabControl::TCustomTabControl(TComponent* AOwner)
    : TWinControl(AOwner), FTabs(std::make_unique<Tabs>()) {
  SetBounds(0, 0, 289, 193);
  SetTabStop(true);
  SetColor(clBtnFace);
  SetControlStyle(ControlStyle() + TControlStyle{csAcceptsControls});
}

TCustomTabControl::~TCustomTabControl() = default;

int TCustomTabControl::TabHeight() const {
  if (FTabs->Bar) return FTabs->Bar->sizeHint().height();
  return 24;
}

TRect TCustomTabControl::DefaultFrame() {
  TRect f = TWinControl::DefaultFrame();
  f.Left += 2;
  f.Right += 2;
  f.Bottom += 2;
  f.Top += TabHeight() + 2;
  return f;
}

TRect TCustomTabControl::DisplayRect() { return ClientRect(); }

void TCustomTabControl::CreateWnd() {
  if (Private()->Handle) return;
  TWinControl::CreateWnd();
  auto* bar = new QTabBar(Private()->Widget);
  bar->setDrawBase(false);
  bar->setExpanding(false);
  bar->setFocusPolicy(Qt::NoFocus);
  FTabs->Bar = bar;
  QObject::connect(bar, &QTabBar::currentChanged, bar, [this](int index) {
    if (!FSyncing && index >= 0) TabClicked(index);
  });
  bar->move(2, 0);
  bar->show();
}

void TCustomTabControl::rebuildTabs(const std::vector<String>& captions, int current) {
  QTabBar* bar = FTabs->Bar;
  if (!bar) return;
  FSyncing = true;
  while (bar->count() > 0) bar->removeTab(bar->count() - 1);
  for (const String& c : captions) bar->addTab(qs(c));
  bar->setCurrentIndex(current);
  bar->resize(bar->sizeHint());
  FSyncing = false;
  FrameChanged();
}

void TCustomTabControl::setCurrentTab(int index) {
  if (!FTabs->Bar) return;
  FSyncing = true;
  FTabs->Bar->setCurrentIndex(index);
  FSyncing = false;
}

void TCustomTabControl::Dispatch(TMessage& m) {
  if (m.Msg == WM_NCPAINT) {
    HWND h = Handle();
    if (h->Painter) {
      QPainter& p = *h->Painter;
      QRect all = h->Widget->rect();
      p.fillRect(all, QColorFromColor(Color()));
      QRect frame(h->Client.Left - 2, h->Client.Top - 2, h->Client.Width() + 4, h->Client.Height() + 4);
      p.setPen(QColorFromColor(clBtnHighlight));
      p.drawLine(frame.topLeft(), frame.topRight());
      p.drawLine(frame.topLeft(), frame.bottomLeft());
      p.setPen(QColorFromColor(clBtnShadow));
      p.drawLine(frame.bottomLeft(), frame.bottomRight());
      p.drawLine(frame.topRight(), frame.bottomRight());
    }
    return;
  }
  if (m.Msg == WM_GETDLGCODE) {
    m.Result = DLGC_WANTARROWS;
    return;
  }
  TWinControl::Dispatch(m);
}

TTabControl::TTabControl(TComponent* AOwner)
    : TCustomTabControl(AOwner), FTabList(std::make_unique<TStringList>()) {
  FTabList->OnChange = [this](TObject*) {
    if (FTabIndex >= FTabList->Count()) FTabIndex = FTabList->Count() - 1;
    if (FTabIndex < 0 && FTabList->Count() > 0) FTabIndex = 0;
    std::vector<String> c;
    for (int i = 0; i < FTabList->Count(); ++i) c.push_back(FTabList->Strings(i));
    rebuildTabs(c, FTabIndex);
  };
}

TTabControl::~TTabControl() { FTabList->OnChange = nullptr; }

void TTabControl::CreateHandle() {
  std::vector<String> c;
  for (int i = 0; i < FTabList->Count(); ++i) c.push_back(FTabList->Strings(i));
  rebuildTabs(c, FTabIndex);
}

void TTabControl::SetTabIndex(int value) {
  if (value < -1 || value >= FTabList->Count()) return;
  FTabIndex = value;
  setCurrentTab(value);
}

void TTabControl::TabClicked(int index) {
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) {
    setCurrentTab(FTabIndex);
    return;
  }
  FTabIndex = index;
  if (OnChange) OnChange(this);
}

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
  SetVisible(false);
  SetColor(clBtnFace);
  SetParentColor(true);
}

TTabSheet::~TTabSheet() {
  Destroying();
  if (FPageControl) FPageControl->removePage(this);
}

void TTabSheet::SetPageControl(TPageControl* value) {
  if (FPageControl == value) return;
  if (FPageControl) FPageControl->removePage(this);
  SetParent(value);
  if (value) value->insertPage(this);
}

int TTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  auto& p = FPageControl->FPages;
  return int(std::find(p.begin(), p.end(), this) - p.begin());
}

int TTabSheet::TabIndex() const {
  if (!FPageControl || !FTabVisible) return -1;
  int n = 0;
  for (TTabSheet* s : FPageControl->FPages) {
    if (s == this) return n;
    if (s->FTabVisible) ++n;
  }
  return -1;
}

void TTabSheet::SetTabVisible(bool value) {
  FTabVisible = value;
  if (FPageControl) FPageControl->updateTabs();
}

void TTabSheet::TextChanged() {
  if (FPageControl) FPageControl->updateTabs();
}

TPageControl::TPageControl(TComponent* AOwner) : TCustomTabControl(AOwner) {}

TPageControl::~TPageControl() {
  Destroying();
  for (TTabSheet* s : FPages) s->FPageControl = nullptr;
  FPages.clear();
}

void TPageControl::insertPage(TTabSheet* page) {
  FPages.push_back(page);
  page->FPageControl = this;
  page->SetAlign(alClient);
  if (!FActivePage)
    SetActivePage(page);
  else
    page->SetVisible(false);
  updateTabs();
}

void TPageControl::removePage(TTabSheet* page) {
  auto it = std::find(FPages.begin(), FPages.end(), page);
  if (it == FPages.end()) return;
  FPages.erase(it);
  page->FPageControl = nullptr;
  if (FActivePage == page) {
    FActivePage = nullptr;
    if (!ComponentState().Contains(csDestroying) && !FPages.empty()) SetActivePage(FPages.front());
  }
  if (!ComponentState().Contains(csDestroying)) updateTabs();
}

void TPageControl::updateTabs() {
  std::vector<String> captions;
  int current = -1;
  for (TTabSheet* s : FPages) {
    if (!s->TabVisible()) continue;
    if (s == FActivePage) current = int(captions.size());
    captions.push_back(s->Caption());
  }
  rebuildTabs(captions, current);
}

void TPageControl::CreateHandle() { updateTabs(); }

void TPageControl::SetActivePage(TTabSheet* value) {
  if (value && value->FPageControl != this) return;
  if (FActivePage == value) return;
  if (FActivePage) FActivePage->SetVisible(false);
  FActivePage = value;
  if (value) {
    value->SetVisible(true);
    value->BringToFront();
    setCurrentTab(value->TabIndex());
  }
  Realign();
}

int TPageControl::ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int value) {
  if (value >= 0 && value < PageCount()) SetActivePage(FPages[size_t(value)]);
  else SetActivePage(nullptr);
}

void TPageControl::SelectNextPage(bool GoForward) {
  if (FPages.empty()) return;
  int n = PageCount(), i = ActivePageIndex();
  for (int step = 0; step < n; ++step) {
    i = GoForward ? (i + 1) % n : (i - 1 + n) % n;
    if (FPages[size_t(i)]->TabVisible()) {
      TabClicked(FPages[size_t(i)]->TabIndex());
      return;
    }
  }
}

void TPageControl::TabClicked(int index) {
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  TTabSheet* target = nullptr;
  for (TTabSheet* s : FPages)
    if (s->TabIndex() == index) target = s;
  if (!allow || !target) {
    setCurrentTab(FActivePage ? FActivePage->TabIndex() : -1);
    return;
  }
  SetActivePage(target);
  if (OnChange) OnChange(this);
}

// ---- TRadioButton ----------------------------------------------------------
TRadioButton::TRadioButton(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 113, 17);
  SetControlStyle(withoutClicks(ControlStyle()));
  SetColor(clBtnFace);
}

void TRadioButton::CreateWnd() {
  if (Private()->Handle) return;
  auto* b = new QRadioButton(ParentWidgetFor(this));
  b->setAutoExclusive(false);  // the group is kept here, across every parent kind
  AttachWidget(this, b, false);
  QObject::connect(b, &QRadioButton::clicked, b, [this](bool) {
    if (FSyncing) return;
    if (FChecked) {
      SyncWidget();  // a click on a checked radio button leaves it checked
      return;
    }
    SetChecked(true);
  });
  SyncWidget();
  b->setVisible(Visible());
}

void TRadioButton::SyncWidget() {
  TWinControl::SyncWidget();
  auto* b = widgetAs<QRadioButton>(this);
  if (!b) return;
  FSyncing = true;
  b->setText(qs(Caption()));
  b->setChecked(FChecked);
  b->setLayoutDirection(FAlignment == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
  FSyncing = false;
}

void TRadioButton::TextChanged() { SyncWidget(); }

void TRadioButton::SetChecked(bool value) {
  if (FChecked == value) return;
  FChecked = value;
  SyncWidget();
  if (!value) return;
  if (TWinControl* p = Parent())
    for (int i = 0; i < p->ControlCount(); ++i)
      if (auto* other = dynamic_cast<TRadioButton*>(p->Controls(i)); other && other != this)
        other->SetChecked(false);
  Click();
}

void TRadioButton::Dispatch(TMessage& m) {
  if (m.Msg == WM_GETDLGCODE) {
    m.Result = DLGC_RADIOBUTTON | DLGC_BUTTON;
    return;
  }
  TWinControl::Dispatch(m);
}

// ---- TListBox -----------------------------------------------------------------
TListBox::TListBox(TComponent* AOwner) : TWinControl(AOwner), FItems(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 121, 97);
  SetTabStop(true);
  SetBorderStyle(bsSingle);
  FItems->OnChange = [this](TObject*) { itemsChanged(); };
}

TListBox::~TListBox() { FItems->OnChange = nullptr; }

void TListBox::CreateWnd() {
  if (Private()->Handle) return;
  auto* l = new QListWidget(ParentWidgetFor(this));
  AttachWidget(this, l, false);
  l->setSelectionMode(FMultiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
  itemsChanged();
  QObject::connect(l, &QListWidget::itemSelectionChanged, l, [this] {
    if (FSyncing) return;
    if (auto* w = widgetAs<QListWidget>(this)) FItemIndex = w->currentRow();
    Click();
  });
  SyncWidget();
  l->setVisible(Visible());
}

void TListBox::itemsChanged() {
  FSelected.resize(size_t(FItems->Count()), false);
  if (FItemIndex >= FItems->Count()) FItemIndex = -1;
  auto* l = widgetAs<QListWidget>(this);
  if (!l) return;
  FSyncing = true;
  l->clear();
  for (int i = 0; i < FItems->Count(); ++i) {
    l->addItem(qs(FItems->Strings(i)));
    if (FSelected[size_t(i)]) l->item(i)->setSelected(true);
  }
  if (FItemIndex >= 0) l->setCurrentRow(FItemIndex, FMultiSelect ? QItemSelectionModel::NoUpdate
                                                                  : QItemSelectionModel::ClearAndSelect);
  FSyncing = false;
}

void TListBox::SyncWidget() {
  TWinControl::SyncWidget();
  if (auto* l = widgetAs<QListWidget>(this))
    l->setSelectionMode(FMultiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

int TListBox::ItemIndex() const {
  auto* l = widgetAs<QListWidget>(this);
  return l ? l->currentRow() : FItemIndex;
}

void TListBox::SetItemIndex(int value) {
  if (value < -1 || value >= FItems->Count()) value = -1;
  FItemIndex = value;
  if (!FMultiSelect) {
    std::fill(FSelected.begin(), FSelected.end(), false);
    if (value >= 0) FSelected[size_t(value)] = true;
  }
  auto* l = widgetAs<QListWidget>(this);
  if (!l) return;
  FSyncing = true;
  if (value < 0) {
    l->setCurrentRow(-1);
    if (!FMultiSelect) l->clearSelection();
  } else {
    l->setCurrentRow(value, FMultiSelect ? QItemSelectionModel::Current : QItemSelectionModel::ClearAndSelect);
  }
  FSyncing = false;
}

void TListBox::SetMultiSelect(bool value) {
  FMultiSelect = value;
  SyncWidget();
}

bool TListBox::Selected(int Index) const {
  if (Index < 0 || Index >= FItems->Count()) throw EListError(u"List index out of bounds");
  auto* l = widgetAs<QListWidget>(this);
  return l ? l->item(Index)->isSelected() : FSelected[size_t(Index)];
}

void TListBox::SetSelected(int Index, bool value) {
  if (Index < 0 || Index >= FItems->Count()) throw EListError(u"List index out of bounds");
  if (!FMultiSelect && value) {
    SetItemIndex(Index);
    return;
  }
  FSelected[size_t(Index)] = value;
  if (auto* l = widgetAs<QListWidget>(this)) {
    FSyncing = true;
    l->item(Index)->setSelected(value);
    FSyncing = false;
  }
}

int TListBox::SelCount() const {
  if (!FMultiSelect) return -1;
  int n = 0;
  for (int i = 0; i < FItems->Count(); ++i) n += Selected(i) ? 1 : 0;
  return n;
}

void TListBox::SetSorted(bool value) {
  FSorted = value;
  FItems->SetSorted(value);
}

int TListBox::TopIndex() const {
  auto* l = widgetAs<QListWidget>(this);
  if (!l) return 0;
  QListWidgetItem* top = l->itemAt(2, 2);
  return top ? l->row(top) : 0;
}

void TListBox::SetTopIndex(int value) {
  auto* l = widgetAs<QListWidget>(this);
  if (l && value >= 0 && value < l->count()) l->scrollToItem(l->item(value), QAbstractItemView::PositionAtTop);
}

int TListBox::ItemHeight() const {
  auto* l = widgetAs<QListWidget>(this);
  if (l && l->count() > 0) return std::max(l->sizeHintForRow(0), 1);
  return QFontMetrics(QFontFromFont(*const_cast<TListBox*>(this)->Font())).height() + 2;
}

void TListBox::Dispatch(TMessage& m) {
  if (m.Msg == WM_GETDLGCODE) {
    m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return;
  }
  TWinControl::Dispatch(m);
}

// ---- TMemo -------------------------------------------------------------------------
TMemo::TMemo(TComponent* AOwner) : TWinControl(AOwner), FLines(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 185, 89);
  SetTabStop(true);
  SetBorderStyle(bsSingle);
  SetControlStyle(withoutClicks(ControlStyle()) + TControlStyle{csClickEvents});
  FLines->OnChange = [this](TObject*) { linesChanged(); };
}

TMemo::~TMemo() { FLines->OnChange = nullptr; }

TStrings* TMemo::Lines() { return FLines.get(); }

void TMemo::CreateWnd() {
  if (Private()->Handle) return;
  auto* e = new QPlainTextEdit(ParentWidgetFor(this));
  AttachWidget(this, e, false);
  FSyncing = true;
  e->setPlainText(qs(TControl::GetText()));
  FSyncing = false;
  QObject::connect(e, &QPlainTextEdit::textChanged, e, [this] { widgetChanged(); });
  SyncWidget();
  e->setVisible(Visible());
}

// Lines keep the text without its final line break, as a list of lines does.
void TMemo::linesChanged() {
  if (FSyncing) return;
  String t = FLines->Text();
  if (t.size() >= 2 && t.compare(t.size() - 2, 2, u"\r\n") == 0) t.resize(t.size() - 2);
  SetText(t);
}

void TMemo::widgetChanged() {
  if (FSyncing) return;
  FSyncing = true;
  FLines->SetText(GetText());
  FSyncing = false;
  Change();
}

String TMemo::GetText() const {
  auto* e = widgetAs<QPlainTextEdit>(this);
  if (!e) return TControl::GetText();
  // The memo's text uses CR LF line breaks, as the rest of the program expects.
  QString t = e->toPlainText();
  t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return ss(t);
}

void TMemo::TextChanged() {
  String t = TControl::GetText();
  auto* e = widgetAs<QPlainTextEdit>(this);
  if (e) {
    QString q = qs(t);
    q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (e->toPlainText() != q) e->setPlainText(q);  // fires the change through the signal
    return;
  }
  if (!FSyncing) {
    FSyncing = true;
    FLines->SetText(t);
    FSyncing = false;
  }
  Change();
}

void TMemo::SyncWidget() {
  TWinControl::SyncWidget();
  auto* e = widgetAs<QPlainTextEdit>(this);
  if (!e) return;
  e->setReadOnly(FReadOnly);
  e->setLineWrapMode(FWordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  bool v = FScrollBars == ssVertical || FScrollBars == ssBoth;
  bool h = FScrollBars == ssHorizontal || FScrollBars == ssBoth;
  e->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  e->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  e->setTabChangesFocus(!FWantTabs);
  e->setFrameShape(BorderStyle() == bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
}

void TMemo::SetWordWrap(bool value) { FWordWrap = value; SyncWidget(); }
void TMemo::SetScrollBars(TScrollStyle value) { FScrollBars = value; SyncWidget(); }
void TMemo::SetReadOnly(bool value) { FReadOnly = value; SyncWidget(); }

namespace {
// The memo's positions count a line break as two characters (CR LF), the
// widget's as one.
int innerPos(const QString& text, int outer) {
  int inner = 0;
  for (int o = 0; inner < text.size() && o < outer; ++inner) o += text[inner] == QLatin1Char('\n') ? 2 : 1;
  return inner;
}
int outerPos(const QString& text, int inner) {
  int outer = 0;
  for (int i = 0; i < inner && i < text.size(); ++i) outer += text[i] == QLatin1Char('\n') ? 2 : 1;
  return outer;
}
}  // namespace

int TMemo::SelStart() const {
  auto* e = widgetAs<QPlainTextEdit>(this);
  return e ? outerPos(e->toPlainText(), e->textCursor().selectionStart()) : 0;
}

void TMemo::SetSelStart(int value) {
  auto* e = widgetAs<QPlainTextEdit>(this);
  if (!e) return;
  QTextCursor c = e->textCursor();
  c.setPosition(innerPos(e->toPlainText(), std::max(value, 0)));
  e->setTextCursor(c);
}

int TMemo::SelLength() const {
  auto* e = widgetAs<QPlainTextEdit>(this);
  if (!e) return 0;
  QTextCursor c = e->textCursor();
  QString t = e->toPlainText();
  return outerPos(t, c.selectionEnd()) - outerPos(t, c.selectionStart());
}

void TMemo::SetSelLength(int value) {
  auto* e = widgetAs<QPlainTextEdit>(this);
  if (!e) return;
  QString t = e->toPlainText();
  QTextCursor c = e->textCursor();
  int start = c.selectionStart();
  c.setPosition(start);
  c.setPosition(innerPos(t, outerPos(t, start) + std::max(value, 0)), QTextCursor::KeepAnchor);
  e->setTextCursor(c);
}

void TMemo::SelectAll() {
  if (auto* e = widgetAs<QPlainTextEdit>(this)) e->selectAll();
}

void TMemo::Change() {
  if (OnChange) OnChange(this);
}

void TMemo::Dispatch(TMessage& m) {
  if (m.Msg == WM_GETDLGCODE) {
    m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
    if (FWantTabs) m.Result |= DLGC_WANTTAB;
    // Return types a line break rather than pressing the default button.
    if (FWantReturns) m.Result |= DLGC_WANTALLKEYS;
    return;
  }
  TWinControl::Dispatch(m);
}
