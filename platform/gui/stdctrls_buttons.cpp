// Push buttons, bitmap buttons, check boxes and radio buttons.
#include <QCheckBox>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls_private.h"

using namespace stdctrls_detail;

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
  // Each sibling unchecked may run handlers that free it, another
  // sibling, this button or the parent.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  if (TWinControl* p = Parent())
    WalkChildren(p, [this](TControl* c) {
      if (auto* other = dynamic_cast<TRadioButton*>(c); other && other != this) other->SetChecked(false);
    });
  if (!ControlLives(self)) return;
  Click();
}

void TRadioButton::Dispatch(TMessage& m) {
  if (m.Msg == WM_GETDLGCODE) {
    m.Result = DLGC_RADIOBUTTON | DLGC_BUTTON;
    return;
  }
  TWinControl::Dispatch(m);
}
