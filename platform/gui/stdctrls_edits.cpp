// Single-line edits and memos.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <algorithm>

#include "platform/gui/stdctrls_private.h"

using namespace stdctrls_detail;

// ---- TEdit -----------------------------------------------------------------------------
namespace {

// A multi-line edit whose text area can be narrowed inside its frame, as a
// formatting rectangle asks.
class FormattedTextEdit : public QPlainTextEdit {
public:
  using QPlainTextEdit::QPlainTextEdit;
  void setTextArea(const QMargins& m) { setViewportMargins(m); }
};

// Line breaks read as CR LF, as the rest of the program expects, and are
// stored as the widget's single line feeds.
String toCrLf(const QString& text) {
  QString t = text;
  t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return ss(t);
}
QString fromCrLf(const String& text) {
  QString q = qs(text);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return q;
}

// Positions outside count a line break as two characters (CR LF), the
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

// Selects length characters (counted as the program counts them) from the
// start of the current selection.
void selectFromStart(QPlainTextEdit* e, int length) {
  const QString t = e->toPlainText();
  QTextCursor c = e->textCursor();
  const int start = c.selectionStart();
  c.setPosition(start);
  c.setPosition(innerPos(t, outerPos(t, start) + std::max(length, 0)), QTextCursor::KeepAnchor);
  e->setTextCursor(c);
}

Qt::Alignment editAlignment(DWORD style) {
  if (style & ES_RIGHT) return Qt::AlignRight;
  if (style & ES_CENTER) return Qt::AlignHCenter;
  return Qt::AlignLeft;
}

}  // namespace

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 121, 21);
  SetTabStop(true);
  SetBorderStyle(bsSingle);
  SetControlStyle(withoutClicks(ControlStyle()) + TControlStyle{csClickEvents});
}

void TEdit::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
}

void TEdit::CreateWnd() {
  if (Private()->Handle) return;
  TCreateParams params;
  CreateParams(params);
  FEditStyle = params.Style;
  FSyncing = true;
  if (MultiLine()) {
    auto* e = new FormattedTextEdit(ParentWidgetFor(this));
    AttachWidget(this, e, false);
    e->setPlainText(fromCrLf(TControl::GetText()));
    QObject::connect(e, &QPlainTextEdit::textChanged, e, [this] { widgetTextChanged(); });
  } else {
    auto* e = new QLineEdit(ParentWidgetFor(this));
    AttachWidget(this, e, false);
    e->setText(qs(TControl::GetText()));
    QObject::connect(e, &QLineEdit::textChanged, e, [this](const QString&) { widgetTextChanged(); });
  }
  FSyncing = false;
  SyncWidget();
  if (FHasFormatRect) setFormatRect(FFormatRect);
  Private()->Widget->setVisible(Visible());
}

void TEdit::widgetTextChanged() {
  if (FSyncing) return;
  // Only the user's typing marks the text modified.
  if (!FSettingText) FModified = true;
  // The notification's handling may free the edit box.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  Perform(CN_COMMAND, MAKEWPARAM(0, EN_UPDATE), 0);
  if (!ControlLives(self)) return;
  Change();
}

String TEdit::GetText() const {
  if (auto* e = widgetAs<QLineEdit>(this)) return ss(e->text());
  if (auto* e = widgetAs<QPlainTextEdit>(this)) return toCrLf(e->toPlainText());
  return TControl::GetText();
}

void TEdit::TextChanged() {
  String t = TControl::GetText();
  FModified = false;
  FSettingText = true;
  // The change handler may free the edit box.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  if (auto* e = widgetAs<QLineEdit>(this)) {
    if (ss(e->text()) != t) e->setText(qs(t));  // fires OnChange through the signal
  } else if (auto* e = widgetAs<QPlainTextEdit>(this)) {
    QString q = fromCrLf(t);
    if (e->toPlainText() != q) e->setPlainText(q);
  } else {
    Change();
  }
  if (!ControlLives(self)) return;
  FSettingText = false;
}

void TEdit::SyncWidget() {
  TWinControl::SyncWidget();
  if (auto* e = widgetAs<QLineEdit>(this)) {
    e->setMaxLength(FMaxLength > 0 ? FMaxLength : 32767);
    e->setReadOnly(FReadOnly);
    e->setEchoMode(FPasswordChar ? QLineEdit::Password : QLineEdit::Normal);
    e->setFrame(BorderStyle() != bsNone);
    e->setAlignment(editAlignment(FEditStyle) | Qt::AlignVCenter);
  } else if (auto* e = widgetAs<QPlainTextEdit>(this)) {
    e->setReadOnly(FReadOnly);
    e->setFrameShape(BorderStyle() == bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
    e->setLineWrapMode((FEditStyle & ES_AUTOHSCROLL) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    e->setVerticalScrollBarPolicy((FEditStyle & WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    e->setHorizontalScrollBarPolicy((FEditStyle & WS_HSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    QTextOption option = e->document()->defaultTextOption();
    option.setAlignment(editAlignment(FEditStyle));
    e->document()->setDefaultTextOption(option);
    e->setTabChangesFocus(true);
  }
}

// The text keeps to the formatting rectangle inside the client area.
void TEdit::setFormatRect(const TRect& R) {
  FFormatRect = R;
  FHasFormatRect = true;
  const TRect c = ClientRect();
  QMargins m(std::max(R.Left, 0), std::max(R.Top, 0), std::max(c.Right - R.Right, 0),
             std::max(c.Bottom - R.Bottom, 0));
  if (auto* e = widgetAs<QLineEdit>(this)) e->setTextMargins(m);
  if (auto* e = dynamic_cast<FormattedTextEdit*>(Private()->Widget.data())) e->setTextArea(m);
}

void TEdit::SetMaxLength(int value) { FMaxLength = std::max(value, 0); SyncWidget(); }
void TEdit::SetReadOnly(bool value) { FReadOnly = value; SyncWidget(); }
void TEdit::SetPasswordChar(char16_t value) { FPasswordChar = value; SyncWidget(); }

int TEdit::SelStart() const {
  if (auto* e = widgetAs<QPlainTextEdit>(this)) return outerPos(e->toPlainText(), e->textCursor().selectionStart());
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
  } else if (auto* e = widgetAs<QPlainTextEdit>(this)) {
    QTextCursor c = e->textCursor();
    c.setPosition(innerPos(e->toPlainText(), std::max(value, 0)));
    e->setTextCursor(c);
  }
}

int TEdit::SelLength() const {
  if (auto* e = widgetAs<QPlainTextEdit>(this)) {
    QTextCursor c = e->textCursor();
    QString t = e->toPlainText();
    return outerPos(t, c.selectionEnd()) - outerPos(t, c.selectionStart());
  }
  auto* e = widgetAs<QLineEdit>(this);
  return e ? int(e->selectedText().size()) : FSelLength;
}

void TEdit::SetSelLength(int value) {
  FSelLength = value;
  if (auto* e = widgetAs<QLineEdit>(this)) {
    e->setSelection(SelStart(), value);
  } else if (auto* e = widgetAs<QPlainTextEdit>(this)) {
    selectFromStart(e, value);
  }
}

String TEdit::SelText() const {
  if (auto* e = widgetAs<QPlainTextEdit>(this)) return toCrLf(e->textCursor().selectedText().replace(QChar(0x2029), QLatin1Char('\n')));
  auto* e = widgetAs<QLineEdit>(this);
  return e ? ss(e->selectedText()) : String();
}

void TEdit::SetSelText(const String& value) {
  if (auto* e = widgetAs<QLineEdit>(this)) e->insert(qs(value));
  if (auto* e = widgetAs<QPlainTextEdit>(this)) e->insertPlainText(fromCrLf(value));
}

void TEdit::SelectAll() {
  if (auto* e = widgetAs<QLineEdit>(this)) e->selectAll();
  if (auto* e = widgetAs<QPlainTextEdit>(this)) e->selectAll();
}

void TEdit::CopyToClipboard() {
  if (auto* e = widgetAs<QLineEdit>(this)) e->copy();
  if (auto* e = widgetAs<QPlainTextEdit>(this)) e->copy();
}
void TEdit::CutToClipboard() {
  if (auto* e = widgetAs<QLineEdit>(this)) e->cut();
  if (auto* e = widgetAs<QPlainTextEdit>(this)) e->cut();
}
void TEdit::PasteFromClipboard() {
  if (auto* e = widgetAs<QLineEdit>(this)) e->paste();
  if (auto* e = widgetAs<QPlainTextEdit>(this)) e->paste();
}

void TEdit::Change() {
  if (OnChange) OnChange(this);
}

void TEdit::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_GETDLGCODE:
      m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
      // A multi-line edit types its line breaks rather than pressing the default button.
      if (MultiLine()) m.Result |= DLGC_WANTALLKEYS;
      return;
    case WM_SETFOCUS:
      TWinControl::Dispatch(m);
      if (FAutoSelect) SelectAll();
      return;
    case WM_COPY: CopyToClipboard(); return;
    case WM_CUT: CutToClipboard(); return;
    case WM_PASTE: PasteFromClipboard(); return;
    case WM_GETTEXTLENGTH: m.Result = LRESULT(GetText().size()); return;
    case EM_SETRECTNP:
      if (m.LParam) setFormatRect(*reinterpret_cast<const TRect*>(m.LParam));
      return;
    case EM_GETRECT:
      if (m.LParam) *reinterpret_cast<TRect*>(m.LParam) = FHasFormatRect ? FFormatRect : ClientRect();
      return;
    default: TWinControl::Dispatch(m); return;
  }
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
  return toCrLf(e->toPlainText());
}

void TMemo::TextChanged() {
  String t = TControl::GetText();
  auto* e = widgetAs<QPlainTextEdit>(this);
  if (e) {
    QString q = fromCrLf(t);
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
  if (auto* e = widgetAs<QPlainTextEdit>(this)) selectFromStart(e, value);
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
