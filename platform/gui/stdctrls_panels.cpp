// TPanel and TLabel: static containers and captions.
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>

#include <algorithm>

#include "platform/graphics/canvas_qt.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/stdctrls_private.h"

using namespace stdctrls_detail;

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
  // Each bevel is FBevelWidth single rings: raised light over shadow,
  // lowered the other way round.
  HDC dc = CreatePainterDC(p);
  TRect edge{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    for (int i = 0; i < FBevelWidth; ++i) {
      if (cut == bvSpace) InflateRect(edge, -1, -1);
      else DrawEdge(dc, edge, cut == bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    }
  };
  bevel(FBevelOuter);
  InflateRect(edge, -BorderWidth(), -BorderWidth());
  bevel(FBevelInner);
  ReleasePainterDC(dc);
  r = QRect(edge.Left, edge.Top, edge.Width(), edge.Height());
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

namespace {

// The caption without its accelerator marks: "&" marks an accelerator,
// "&&" stands for "&".
QString captionText(const String& text) {
  QString t;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) {
      ++i;
      if (text[i] == u'&') t += QLatin1Char('&'); else t += QChar(text[i]);
      continue;
    }
    t += QChar(text[i]);
  }
  return t;
}

}  // namespace

bool TLabel::cuts() const { return FEllipsisPosition != epNone && !FAutoSize && !FWordWrap; }

String TLabel::ShownCaption() const {
  QString t = captionText(Caption());
  if (cuts()) t = QFontMetrics(QFontFromFont(*const_cast<TLabel*>(this)->Font())).elidedText(t, Qt::ElideRight, Width());
  return ss(t);
}

void TLabel::SyncWidget() {
  TControl::SyncWidget();
  auto* l = widgetAs<QLabel>(this);
  if (!l) return;
  l->setText(qs(ShownCaption()));
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
void TLabel::SetEllipsisPosition(TEllipsisPosition value) { FEllipsisPosition = value; SyncWidget(); }

void TLabel::Resize() {
  // A new width cuts the caption elsewhere. Done before the resize handler
  // runs, which may free the label.
  if (cuts()) SyncWidget();
  TControl::Resize();
}

void TLabel::TextChanged() {
  SyncWidget();
  AdjustBounds();
}

void TLabel::Dispatch(TMessage& m) {
  if (m.Msg == CM_HINTSHOW && m.LParam) {
    // A cut caption is shown whole as the hint of a label without one.
    auto* info = reinterpret_cast<THintInfo*>(m.LParam);
    const String whole = ss(captionText(Caption()));
    if (info->HintStr.empty() && ShownCaption() != whole) info->HintStr = whole;
  }
  if (m.Msg == CM_FONTCHANGED) {
    TControl::Dispatch(m);
    AdjustBounds();
    return;
  }
  TControl::Dispatch(m);
}
