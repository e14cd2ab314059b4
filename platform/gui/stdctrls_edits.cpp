// Single-line edits and memos.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <algorithm>

#include "platform/gui/stdctrls_private.h"

using namespace stdctrls_detail;

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
