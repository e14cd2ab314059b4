// Tab controls, tab sheets and page controls.
#include <QPainter>
#include <QTabBar>

#include <algorithm>

#include "platform/graphics/canvas_qt.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/stdctrls_private.h"

using namespace stdctrls_detail;

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
      TRect frame{h->Client.Left - 2, h->Client.Top - 2, h->Client.Right + 3, h->Client.Bottom + 3};
      HDC dc = CreatePainterDC(p);
      DrawEdge(dc, frame, BDR_RAISEDINNER, BF_RECT);
      ReleasePainterDC(dc);
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
  // A control on its way out takes no tab the toolkit still reports.
  if (ComponentState().Contains(csDestroying)) return;
  bool allow = true;
  // The handlers may free the tab control.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  if (OnChanging) OnChanging(this, allow);
  if (!ControlLives(self)) return;
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
  // Leaving the old page control shows another of its sheets, and the new
  // parent places and shows this one: the handlers may free the sheet or
  // either page control.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  const std::weak_ptr<TControlPrivate> target = value ? value->PrivateRef() : nullptr;
  if (FPageControl) FPageControl->removePage(this);
  if (!ControlLives(self)) return;
  if (value && !ControlLives(target)) value = nullptr;
  SetParent(value);
  if (!ControlLives(self)) return;
  if (value && ControlLives(target) && Parent() == value) value->insertPage(this);
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
  // The sheet placed, and shown or hidden, runs its handlers (and those
  // of the controls on it), which may free the sheet or the page control;
  // a sheet that went has left the list already.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  const std::weak_ptr<TControlPrivate> sheet = page->PrivateRef();
  page->SetAlign(alClient);
  if (!ControlLives(self)) return;
  if (ControlLives(sheet) && page->FPageControl == this) {
    if (!FActivePage)
      SetActivePage(page);
    else
      page->SetVisible(false);
    if (!ControlLives(self)) return;
  }
  updateTabs();
}

void TPageControl::removePage(TTabSheet* page) {
  auto it = std::find(FPages.begin(), FPages.end(), page);
  if (it == FPages.end()) return;
  FPages.erase(it);
  page->FPageControl = nullptr;
  if (FActivePage == page) {
    FActivePage = nullptr;
    if (!ComponentState().Contains(csDestroying) && !FPages.empty()) {
      // The sheet shown runs handlers that may free the page control.
      const std::weak_ptr<TControlPrivate> self = FPrivate;
      SetActivePage(FPages.front());
      if (!ControlLives(self)) return;
    }
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
  // A page hidden or shown runs its handlers (and its children's), which
  // may free a page or the page control.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  const std::weak_ptr<TControlPrivate> page = value ? value->PrivateRef() : nullptr;
  if (FActivePage) FActivePage->SetVisible(false);
  if (!ControlLives(self)) return;
  if (value && (!ControlLives(page) || value->FPageControl != this)) value = nullptr;
  FActivePage = value;
  if (value) {
    value->SetVisible(true);
    if (!ControlLives(self)) return;
    if (!ControlLives(page)) return;
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
  // The handlers may free the page control.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  if (OnChanging) OnChanging(this, allow);
  if (!ControlLives(self)) return;
  TTabSheet* target = nullptr;
  for (TTabSheet* s : FPages)
    if (s->TabIndex() == index) target = s;
  if (!allow || !target) {
    setCurrentTab(FActivePage ? FActivePage->TabIndex() : -1);
    return;
  }
  SetActivePage(target);
  if (!ControlLives(self)) return;
  if (OnChange) OnChange(this);
}
