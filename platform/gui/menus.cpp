// Pop-up menus over QMenu.
#include <QAction>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QActionGroup>
#include <QApplication>
#include <QEventLoop>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <algorithm>

#include "platform/core/exception.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/gui_private.h"
#include "platform/gui/menus.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/imagelist.h"

TShortCut ShortCut(unsigned short Key, bool Shift, bool Ctrl, bool Alt) {
  TShortCut s = TShortCut(Key & 0xFF);
  if (Shift) s |= scShift;
  if (Ctrl) s |= scCtrl;
  if (Alt) s |= scAlt;
  return s;
}

// ---- TMenuItem -------------------------------------------------------------
TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  Destroying();
  Clear();
  if (FParent) FParent->Remove(this);
}

int TMenuItem::MenuIndex() const { return FParent ? FParent->IndexOf(const_cast<TMenuItem*>(this)) : -1; }

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
  if (!Item || Item == this) return;
  TAMRIX_ASSERT(!Item->FParent, "Menu item inserted twice");
  Index = std::clamp(Index, 0, Count());
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParent = this;
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  Item->FParent = nullptr;
}

void TMenuItem::Delete(int Index) {
  if (Index < 0 || Index >= Count()) throw EListError(u"Menu index out of range");
  TMenuItem* item = FItems[size_t(Index)];
  Remove(item);
  delete item;
}

void TMenuItem::Clear() {
  while (!FItems.empty()) Delete(Count() - 1);
}

int TMenuItem::IndexOf(TMenuItem* Item) const {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : int(it - FItems.begin());
}

TMenuItem* TMenuItem::Find(const String& ACaption) const {
  auto strip = [](const String& s) {
    String r;
    for (char16_t c : s)
      if (c != u'&') r += c;
    return r;
  };
  String want = strip(ACaption);
  for (TMenuItem* i : FItems)
    if (strip(i->FCaption) == want) return i;
  return nullptr;
}

void TMenuItem::SetChecked(bool value) {
  if (FChecked == value) return;
  FChecked = value;
  // Checking a radio item unchecks the others of its group.
  if (value && FRadioItem && FParent)
    for (TMenuItem* i : FParent->FItems)
      if (i != this && i->FRadioItem && i->FGroupIndex == FGroupIndex) i->FChecked = false;
}

void TMenuItem::Click() {
  if (!FEnabled) return;
  if (FAutoCheck) SetChecked(!FChecked);
  if (OnClick) OnClick(this);
}

// ---- TPopupMenu --------------------------------------------------------------
TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner), FItems(std::make_unique<TMenuItem>(nullptr)) {}

TPopupMenu::~TPopupMenu() { Destroying(); }

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupComponent) FPopupComponent = nullptr;
  if (Operation == opRemove && AComponent == FImages) FImages = nullptr;
}

void TPopupMenu::SetImages(TImageList* value) {
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = value;
  if (FImages) FImages->FreeNotification(this);
}

namespace {

QString menuText(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

// Picture Index of the list with its mask applied (white mask pixels are
// transparent).
QIcon listIcon(TImageList* list, int index) {
  if (!list || index < 0 || index >= list->Count()) return QIcon();
  TBitmap* image = list->Images(index);
  TBitmap* mask = list->Masks(index);
  if (!image || image->Empty()) return QIcon();
  const int w = image->Width(), h = image->Height();
  QImage out(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y) {
    const auto* from = static_cast<const std::uint32_t*>(image->ScanLine(y));
    const auto* m = mask && mask->Height() > y ? static_cast<const std::uint32_t*>(mask->ScanLine(y)) : nullptr;
    auto* to = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const bool transparent = m && x < mask->Width() && (m[x] & 0x00FFFFFF) == 0x00FFFFFF;
      to[x] = transparent ? 0 : (from[x] | 0xFF000000u);
    }
  }
  return QIcon(QPixmap::fromImage(out));
}

void fill(QMenu* menu, TMenuItem* parent, TMenuItem*& chosen, TImageList* images) {
  QActionGroup* group = nullptr;
  int groupIndex = -1;
  for (int i = 0; i < parent->Count(); ++i) {
    TMenuItem* item = parent->Items(i);
    if (!item->Visible()) continue;
    if (item->IsLine()) {
      menu->addSeparator();
      continue;
    }
    if (item->Count() > 0) {
      QMenu* sub = menu->addMenu(menuText(item->Caption()));
      sub->setEnabled(item->Enabled());
      fill(sub, item, chosen, images);
      continue;
    }
    QAction* a = menu->addAction(menuText(item->Caption()));
    if (item->ImageIndex() >= 0) a->setIcon(listIcon(images, item->ImageIndex()));
    a->setEnabled(item->Enabled());
    a->setCheckable(item->Checked() || item->AutoCheck() || item->RadioItem());
    a->setChecked(item->Checked());
    if (item->Default()) {
      QFont f = a->font();
      f.setBold(true);
      a->setFont(f);
    }
    if (item->RadioItem()) {
      if (!group || groupIndex != item->GroupIndex()) {
        group = new QActionGroup(menu);
        groupIndex = item->GroupIndex();
      }
      group->addAction(a);
    }
    QObject::connect(a, &QAction::triggered, menu, [&chosen, item] { chosen = item; });
  }
}

// A window hidden while it has the keyboard (gone to the tray, say) stays
// the toolkit's focus window until the window system tells where the
// keyboard went, a moment later and later still on a busy machine. Told
// while a menu is open, that reads as the user turning to another program,
// which closes every menu at once: the tray icon's menu, opened right after
// the window went, would vanish unchosen. So the word is awaited before a
// menu opens, input held back meanwhile; never more than kFocusSettleMs.
constexpr int kFocusSettleMs = 3000;

void awaitFocusSettled() {
  const QWindow* focus = QGuiApplication::focusWindow();
  if (!focus || focus->isVisible()) return;
  QEventLoop loop;
  QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, &loop, &QEventLoop::quit);
  QTimer::singleShot(kFocusSettleMs, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Whether the item is still one of Root's, at any depth (a handler run
// while the menu showed may have freed it).
bool holdsItem(const TMenuItem* Root, const TMenuItem* Item) {
  std::vector<const TMenuItem*> open{Root};
  while (!open.empty()) {
    const TMenuItem* m = open.back();
    open.pop_back();
    for (int i = 0; i < m->Count(); ++i) {
      if (m->Items(i) == Item) return true;
      open.push_back(m->Items(i));
    }
  }
  return false;
}

}  // namespace

// Every handler, and every message let through while the menu waits or
// shows, may free the menu: nothing of it is touched after that.
void TPopupMenu::Popup(int X, int Y) {
  const std::weak_ptr<const bool> life = FLife;
  FPopupPoint = {X, Y};
  if (OnPopup) OnPopup(this);
  if (life.expired()) return;
  TDialogRequest req;
  req.Kind = dkPopupMenu;
  req.Dialog = this;
  int answer = -1;
  TMenuItem* chosen = nullptr;
  if (AskDialogHook(req, answer)) {
    if (life.expired()) return;
    if (answer >= 0 && answer < FItems->Count()) chosen = FItems->Items(answer);
  } else {
    EnsureQtApplication();
    if (!IsHeadless()) {
      awaitFocusSettled();
      if (life.expired()) return;
      QMenu menu;
      fill(&menu, FItems.get(), chosen, FImages);
      menu.exec(QPoint(X, Y));
      if (life.expired()) return;
      if (chosen && !holdsItem(FItems.get(), chosen)) chosen = nullptr;
    }
  }
  if (OnClose) OnClose(this);
  if (life.expired()) return;
  // The close handler may have freed the item chosen.
  if (chosen && holdsItem(FItems.get(), chosen)) chosen->Click();
}
