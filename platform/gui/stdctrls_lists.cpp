// Combo boxes and list boxes.
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QListWidget>

#include <algorithm>

#include "platform/core/exception.h"
#include "platform/graphics/canvas_qt.h"
#include "platform/gui/stdctrls_private.h"

using namespace stdctrls_detail;

// ---- TComboBox ----------------------------------------------------------------------
TComboBox::TComboBox(TComponent* AOwner)
    : TWinControl(AOwner), FItems(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 145, 21);
  SetTabStop(true);
  SetControlStyle(withoutClicks(ControlStyle()));
  FItems->OnChange = [this](TObject*) { itemsChanged(); };
}

TComboBox::~TComboBox() {
  FItems->OnChange = nullptr;
  // The widget outlives this object by a little: losing the focus while it
  // goes makes an editable box report its text as chosen, to handlers that
  // point here.
  if (auto* c = widgetAs<QComboBox>(this)) c->blockSignals(true);
}

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
  // Changing the list never changes what stands in an editable box: the
  // user may have typed over the item once chosen.
  if (c->isEditable()) c->setEditText(text);
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
  // The toolkit gives every editable box a completer over its items; it is
  // kept only while inline completion is wanted (a removed one is made anew
  // when it is turned on again).
  if (c->isEditable()) {
    if (!FAutoComplete && c->completer()) c->setCompleter(nullptr);
    else if (FAutoComplete && !c->completer()) {
      auto* completer = new QCompleter(c->model(), c);
      completer->setCaseSensitivity(Qt::CaseInsensitive);
      completer->setCompletionMode(QCompleter::InlineCompletion);
      c->setCompleter(completer);
    }
  }
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

void TComboBox::SetAutoComplete(bool value) {
  FAutoComplete = value;
  SyncWidget();
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
    // The handler may free the box; a freed box opens no list.
    const std::weak_ptr<TControlPrivate> self = FPrivate;
    if (OnDropDown) OnDropDown(this);
    if (!ControlLives(self)) return;
    if (auto* box = widgetAs<QComboBox>(this)) box->showPopup();
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
