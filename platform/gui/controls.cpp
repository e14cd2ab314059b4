// TControl, TWinControl, TCustomControl, TGraphicControl: properties,
// message dispatch and the default handling of a window.
#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QWidget>

#include <algorithm>

#include "platform/graphics/canvas.h"
#include "platform/graphics/canvas_qt.h"
#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"
#include "platform/gui/menus.h"

// ---- shift states ---------------------------------------------------------
TShiftState KeysToShiftState(WORD Keys) {
  TShiftState s;
  if (Keys & MK_SHIFT) s.Include(ssShift);
  if (Keys & MK_CONTROL) s.Include(ssCtrl);
  if (Keys & MK_LBUTTON) s.Include(ssLeft);
  if (Keys & MK_RBUTTON) s.Include(ssRight);
  if (Keys & MK_MBUTTON) s.Include(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

TShiftState KeyboardStateToShiftState() {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  if (GetKeyState(VK_LBUTTON) < 0) s.Include(ssLeft);
  if (GetKeyState(VK_RBUTTON) < 0) s.Include(ssRight);
  if (GetKeyState(VK_MBUTTON) < 0) s.Include(ssMiddle);
  return s;
}

TShiftState KeyDataToShiftState(LPARAM KeyData) {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (KeyData & (LPARAM(1) << 29)) s.Include(ssAlt);
  return s;
}

TShiftState MouseWheelShiftState(const TMessage& m) {
  return TShiftState::FromBits(TShiftState::Bits(m.WParam & 0xFF));
}
int MouseWheelDelta(const TMessage& m) { return GET_WHEEL_DELTA_WPARAM(m.WParam); }
TPoint MouseWheelPos(const TMessage& m) { return {GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)}; }

TWinControl* FindControl(HWND Handle) { return IsWindow(Handle) ? Handle->Control : nullptr; }

bool WalkChildren(TWinControl* Parent, const std::vector<TControl*>& Children,
                  const std::function<void(TControl*)>& Each) {
  // Each child's life record is taken before any call: a freed child is
  // known by its record alone, and a new control that a handler makes at
  // a freed one's address is not taken for it.
  const std::weak_ptr<TControlPrivate> parent = Parent->PrivateRef();
  std::vector<std::pair<TControl*, std::weak_ptr<TControlPrivate>>> walk;
  walk.reserve(Children.size());
  for (TControl* c : Children) walk.emplace_back(c, c->PrivateRef());
  for (const auto& [c, life] : walk) {
    if (!ControlLives(parent)) return false;
    if (!ControlLives(life) || c->Parent() != Parent || c->ComponentState().Contains(csDestroying)) continue;
    Each(c);
  }
  return ControlLives(parent);
}

bool WalkChildren(TWinControl* Parent, const std::function<void(TControl*)>& Each) {
  std::vector<TControl*> children;
  children.reserve(size_t(Parent->ControlCount()));
  for (int i = 0; i < Parent->ControlCount(); ++i) children.push_back(Parent->Controls(i));
  return WalkChildren(Parent, children, Each);
}

// ---- TControl -------------------------------------------------------------
TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  FPrivate = std::make_shared<TControlPrivate>();
  FPrivate->Owner = this;
  FFont = std::make_unique<TFont>();
  FFont->OnChange = [this](TObject*) { FontChanged(); };
}

TControl::~TControl() {
  Destroying();
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  if (FParent) FParent->RemoveControl(this);
  FParent = nullptr;
  if (!dynamic_cast<TWinControl*>(this)) DestroyWnd();
  FPrivate->Owner = nullptr;
  FPrivate->Handle = nullptr;
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TControl::CreateWnd() {
  if (FPrivate->Widget) return;
  QWidget* parent = ParentWidgetFor(this);
  if (!parent) return;
  AttachWidget(this, CreateOwnWidget(this), true);
  SyncWidget();
  FPrivate->Widget->setVisible(FVisible);
}

void TControl::DestroyWnd() {
  QWidget* w = FPrivate->Widget;
  if (!w) return;
  FPrivate->Widget = nullptr;
  // The widget may be in the middle of delivering the event that freed us.
  w->setProperty("tamrixControl", QVariant());
  for (QWidget* child : w->findChildren<QWidget*>()) {
    QVariant v = child->property("tamrixControl");
    if (v.isValid() && v.value<void*>() == this) child->setProperty("tamrixControl", QVariant());
  }
  w->hide();
  // Inside a paint the toolkit still flushes what it painted, mapping each
  // painted widget up to its window: a widget taken off its parent there
  // breaks that walk. It stays, hidden, until it is deleted.
  if (gPaintsUnderWay == 0) w->setParent(nullptr);
  w->deleteLater();
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  TAMRIX_ASSERT(AParent != this, "A control cannot be its own parent");
  // Handlers run all along the way: the exit handler as the focus leaves
  // (the window taken off its old parent loses it too), the children left
  // placed again, the window placed and shown on its new parent. Any of
  // them may free the control, take it elsewhere, or free the parent it is
  // going to, which it then leaves for none.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  const std::weak_ptr<TControlPrivate> target = AParent ? AParent->PrivateRef() : nullptr;
  if (FParent) {
    // A form's active control is on the form: when it (or a parent of it)
    // leaves for another form, or for none, the form forgets it.
    TForm* oldForm = GetParentForm();
    const std::weak_ptr<TControlPrivate> oldFormLife = oldForm ? oldForm->PrivateRef() : nullptr;
    auto forgetOn = [this](TForm* form) {
      for (TControl* c = form->FActiveControl; c; c = c->FParent)
        if (c == this) {
          form->FActiveControl = nullptr;
          return;
        }
    };
    if (oldForm && oldForm != this && (!AParent || AParent->GetParentForm() != oldForm)) {
      forgetOn(oldForm);
      // The focus leaves with the control: the toolkit would hand it on to
      // the next control of the form, which the form never chose.
      if (QWidget* w = FPrivate->Widget) {
        QWidget* fw = QApplication::focusWidget();
        if (fw && (fw == w || w->isAncestorOf(fw))) {
          fw->clearFocus();
          if (!ControlLives(self)) return;
        }
      }
    }
    if (FParent) FParent->RemoveControl(this);
    if (!ControlLives(self)) return;
    if (AParent && !ControlLives(target)) {
      AParent = nullptr;
      if (oldForm && oldForm != this && ControlLives(oldFormLife)) forgetOn(oldForm);
    }
  }
  FParent = nullptr;
  if (AParent) AParent->InsertControl(this);
  if (!FParent) {
    if (FPrivate->Widget && !dynamic_cast<TForm*>(this)) DestroyWnd();
    return;
  }
  // Following the new parent's font and colour raises the control's
  // notifications, whose handlers may free it or take it off again.
  if (FParentFont) ParentFontChanged();
  if (!ControlLives(self) || !FParent) return;
  if (FParentColor) ParentColorChanged();
  if (!ControlLives(self) || !FParent) return;
  if (!FParent->HandleAllocated()) return;
  TWinControl* const parent = FParent;
  if (QWidget* w = FPrivate->Widget) {
    w->setParent(parent->Private()->Widget);
    if (!ControlLives(self) || FParent != parent) return;
    FPrivate->PlaceWidget();
    if (!ControlLives(self) || FParent != parent || !FPrivate->Widget) return;
    FPrivate->Widget->setVisible(FVisible);
  } else if (auto* wc = dynamic_cast<TWinControl*>(this)) {
    wc->HandleNeeded();
  } else {
    CreateWnd();
  }
  if (!ControlLives(self) || !FParent) return;
  FParent->Realign();
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  bool sized = AWidth != FWidth || AHeight != FHeight;
  bool moved = ALeft != FLeft || ATop != FTop;
  if (!sized && !moved) return;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  // Remember the distance to the parent's far edges for anchoring.
  if (FParent && FParent->FAlignLevel == 0) {
    TRect pc = FParent->ClientRect();
    FAnchorRight = pc.Width() - (FLeft + FWidth);
    FAnchorBottom = pc.Height() - (FTop + FHeight);
  }
  // Placing the widget delivers the window's resize, whose handler (and
  // the plain control's own below) may free the control.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  if (FPrivate->Widget) FPrivate->PlaceWidget();
  if (!ControlLives(self)) return;
  if (sized && !dynamic_cast<TWinControl*>(this)) Resize();
  if (!ControlLives(self)) return;
  if (FParent && FAlign != alNone && FParent->FAlignLevel == 0) FParent->Realign();
}

TRect TControl::ClientRect() { return {0, 0, FWidth, FHeight}; }

void TControl::SetClientWidth(int v) { SetWidth(FWidth - ClientWidth() + v); }
void TControl::SetClientHeight(int v) { SetHeight(FHeight - ClientHeight() + v); }

TPoint TControl::ClientOrigin() {
  if (auto* wc = dynamic_cast<TWinControl*>(this); wc && wc->HandleAllocated()) {
    TPoint p{0, 0};
    ::ClientToScreen(wc->Handle(), &p);
    return p;
  }
  if (FPrivate->Widget) {
    QPoint g = FPrivate->Widget->mapToGlobal(QPoint(0, 0));
    return {g.x(), g.y()};
  }
  if (FParent) {
    TPoint o = FParent->ClientOrigin();
    return {o.x + FLeft, o.y + FTop};
  }
  return {FLeft, FTop};
}

TPoint TControl::ClientToScreen(TPoint p) {
  TPoint o = ClientOrigin();
  return {p.x + o.x, p.y + o.y};
}

TPoint TControl::ScreenToClient(TPoint p) {
  TPoint o = ClientOrigin();
  return {p.x - o.x, p.y - o.y};
}

void TControl::SetAlign(TAlign value) {
  if (FAlign == value) return;
  FAlign = value;
  if (FParent) FParent->Realign();
}

void TControl::SetVisible(bool value) {
  if (FVisible == value) return;
  // The notification and the window shown or hidden (its show, focus and
  // size events) run handlers that may free the control.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  VisibleChanging();
  if (!ControlLives(self)) return;
  FVisible = value;
  Perform(CM_VISIBLECHANGED, value ? 1 : 0, 0);
  if (!ControlLives(self)) return;
  if (FPrivate->Widget) FPrivate->Widget->setVisible(value);
  if (!ControlLives(self)) return;
  if (FParent && FAlign != alNone) FParent->Realign();
}

bool TControl::ShowHint() const {
  if (FParentShowHint && FParent) return FParent->ShowHint();
  return FShowHint;
}

bool TControl::Showing() const {
  if (FPrivate->Widget) return FPrivate->Widget->isVisible();
  return false;
}

void TControl::SetEnabled(bool value) {
  if (FEnabled == value) return;
  FEnabled = value;
  // A window disabled hands its focus on (the exit handler runs), and the
  // notification runs handlers: any of them may free the control.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  if (FPrivate->Widget) FPrivate->Widget->setEnabled(value);
  if (!ControlLives(self)) return;
  Perform(CM_ENABLEDCHANGED, 0, 0);
  if (!ControlLives(self)) return;
  if (auto* wc = dynamic_cast<TWinControl*>(this); wc && wc->HandleAllocated())
    SendMessage(wc->Handle(), WM_ENABLE, value ? 1 : 0, 0);
}

void TControl::SetColor(TColor value) {
  FParentColor = false;
  if (FColor == value) return;
  FColor = value;
  colorChanged();
}

void TControl::colorChanged() {
  // The notifications run handlers that may free this control, a child
  // or a later child.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  Perform(CM_COLORCHANGED, 0, 0);
  if (!ControlLives(self)) return;
  SyncWidget();
  if (!ControlLives(self)) return;
  Invalidate();
  if (auto* wc = dynamic_cast<TWinControl*>(this))
    WalkChildren(wc, [](TControl* c) { c->Perform(CM_PARENTCOLORCHANGED, 0, 0); });
}

void TControl::SetParentColor(bool value) {
  FParentColor = value;
  if (value) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!FParent || !FParentColor) return;
  if (FColor == FParent->Color()) return;
  FColor = FParent->Color();
  colorChanged();
}

void TControl::SetParentFont(bool value) {
  FParentFont = value;
  if (value) ParentFontChanged();
}

namespace {
// Set while a parent's font is copied into a child, so that the copy does
// not count as the child's own font.
thread_local int gFollowingParentFont = 0;
}  // namespace

void TControl::ParentFontChanged() {
  if (!FParent || !FParentFont) return;
  ++gFollowingParentFont;
  FFont->Assign(*FParent->Font());
  --gFollowingParentFont;
}

void TControl::FontChanged() {
  if (!gFollowingParentFont) FParentFont = false;
  // As with the colour: any notification may free this control or a child.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  SyncWidget();  // handlers of the notification measure with the new font
  if (!ControlLives(self)) return;
  Perform(CM_FONTCHANGED, 0, 0);
  if (!ControlLives(self)) return;
  Invalidate();
  if (auto* wc = dynamic_cast<TWinControl*>(this))
    WalkChildren(wc, [](TControl* c) { c->Perform(CM_PARENTFONTCHANGED, 0, 0); });
}

void TControl::SetCursor(TCursor value) {
  if (FCursor == value) return;
  FCursor = value;
  if (QWidget* w = FPrivate->Widget) {
    if (value == crDefault)
      w->unsetCursor();
    else
      w->setCursor(CursorShape(value));
  }
  Perform(CM_CURSORCHANGED, 0, 0);
}

void TControl::SetText(const String& value) {
  if (GetText() == value && FText == value) return;
  FText = value;
  // A control's own reaction (an edit box's change event) may free it.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  TextChanged();
  if (!ControlLives(self)) return;
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::TextChanged() { Invalidate(); }

void TControl::SetPopupMenu(TPopupMenu* value) {
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = value;
  if (value) value->FreeNotification(this);
}

void TControl::SetBiDiMode(TBiDiMode value) {
  if (FBiDiMode == value) return;
  FBiDiMode = value;
  if (QWidget* w = FPrivate->Widget)
    w->setLayoutDirection(value == bdRightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  Perform(CM_BIDIMODECHANGED, 0, 0);
  if (!ControlLives(self)) return;
  if (auto* wc = dynamic_cast<TWinControl*>(this))
    WalkChildren(wc, [](TControl* c) { c->Perform(CM_PARENTBIDIMODECHANGED, 0, 0); });
}

void TControl::Invalidate() {
  if (QWidget* w = FPrivate->Widget) w->update();
}

void TControl::Update() {
  if (FParent) FParent->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
  if (!dynamic_cast<TWinControl*>(this))
    if (QWidget* w = FPrivate->Widget; w && w->isVisible()) w->repaint();
}

void TControl::BringToFront() {
  if (QWidget* w = FPrivate->Widget) w->raise();
}

void TControl::SendToBack() {
  if (QWidget* w = FPrivate->Widget) w->lower();
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& Message) { Dispatch(Message); }

TForm* TControl::GetParentForm() const {
  const TControl* c = this;
  while (c->FParent) c = c->FParent;
  return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::mouseButtonMessage(TMessage& m, TMouseButton button, int kind) {
  int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
  TShiftState shift = KeysToShiftState(WORD(m.WParam));
  // Every handler below may free the control: nothing of it is touched
  // after one that did.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  DefaultHandler(m);
  auto* wc = dynamic_cast<TWinControl*>(this);
  if (kind == 0 || kind == 2) {
    if (FControlStyle.Contains(csCaptureMouse) && wc && wc->HandleAllocated()) ::SetCapture(wc->Handle());
    if (button == mbLeft && FControlStyle.Contains(csClickEvents)) FControlState.Include(csClicked);
    if (kind == 2) {
      if (button == mbLeft && FControlStyle.Contains(csClickEvents)) DblClick();
      if (!ControlLives(self)) return;
      shift.Include(ssDouble);
    }
    MouseDown(button, shift, x, y);
    if (!ControlLives(self)) return;
    if (kind == 0 && button == mbLeft && FDragMode == dmAutomatic && !Dragging()) BeginDrag(false);
    return;
  }
  if (FControlStyle.Contains(csCaptureMouse) && wc && wc->HandleAllocated() &&
      GetCapture() == wc->Handle() && !(m.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)))
    ::ReleaseCapture();
  if (!ControlLives(self)) return;
  if (button == mbLeft && FControlState.Contains(csClicked)) {
    FControlState.Exclude(csClicked);
    if (ClientRect().Contains({x, y})) Click();
    if (!ControlLives(self)) return;
  }
  MouseUp(button, shift, x, y);
}

void TControl::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_LBUTTONDOWN: mouseButtonMessage(m, mbLeft, 0); return;
    case WM_LBUTTONUP: mouseButtonMessage(m, mbLeft, 1); return;
    case WM_LBUTTONDBLCLK: mouseButtonMessage(m, mbLeft, 2); return;
    case WM_RBUTTONDOWN: mouseButtonMessage(m, mbRight, 0); return;
    case WM_RBUTTONUP: mouseButtonMessage(m, mbRight, 1); return;
    case WM_RBUTTONDBLCLK: mouseButtonMessage(m, mbRight, 2); return;
    case WM_MBUTTONDOWN: mouseButtonMessage(m, mbMiddle, 0); return;
    case WM_MBUTTONUP: mouseButtonMessage(m, mbMiddle, 1); return;
    case WM_MBUTTONDBLCLK: mouseButtonMessage(m, mbMiddle, 2); return;
    case WM_MOUSEMOVE:
      DefaultHandler(m);
      MouseMove(KeysToShiftState(WORD(m.WParam)), GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
      return;
    case WM_MOUSEWHEEL: {
      // The framework's wheel notification carries the shift state instead
      // of the key flags.
      TShiftState s = KeysToShiftState(WORD(GET_KEYSTATE_WPARAM(m.WParam)));
      WPARAM w = WPARAM(s.RawBits() & 0xFF) | (m.WParam & 0xFFFF0000u);
      const std::weak_ptr<TControlPrivate> self = FPrivate;
      m.Result = Perform(CM_MOUSEWHEEL, w, m.LParam);
      if (m.Result == 0 && ControlLives(self)) DefaultHandler(m);
      return;
    }
    case CM_MOUSEWHEEL: {
      // The wheel's handler may free the control.
      const std::weak_ptr<TControlPrivate> self = FPrivate;
      if (DoMouseWheel(MouseWheelShiftState(m), MouseWheelDelta(m), MouseWheelPos(m))) {
        m.Result = 1;
      } else if (!ControlLives(self)) {
        m.Result = 1;
      } else if (FParent) {
        m.Result = FParent->Perform(CM_MOUSEWHEEL, m.WParam, m.LParam);
      }
      return;
    }
    case CM_MOUSEENTER:
      FMouseInControl = true;
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      FMouseInControl = false;
      if (OnMouseLeave) OnMouseLeave(this);
      return;
    case WM_CONTEXTMENU: {
      TPoint pos{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
      bool keyboard = m.LParam == -1;
      if (keyboard) pos = ClientToScreen({FWidth / 2, FHeight / 2});
      bool handled = false;
      if (OnContextPopup) {
        // The handler may free the control.
        const std::weak_ptr<TControlPrivate> self = FPrivate;
        OnContextPopup(this, ScreenToClient(pos), handled);
        if (!ControlLives(self)) return;
        if (handled) { m.Result = 1; return; }
      }
      if (FPopupMenu && FPopupMenu->AutoPopup()) {
        FPopupMenu->SetPopupComponent(this);
        FPopupMenu->Popup(pos.x, pos.y);
        m.Result = 1;
        return;
      }
      DefaultHandler(m);
      return;
    }
    case CM_PARENTFONTCHANGED: ParentFontChanged(); return;
    case CM_PARENTCOLORCHANGED: ParentColorChanged(); return;
    case CM_HINTSHOW: return;  // show the hint as prepared (a handler answers 1 for none)
    case CM_DRAG: DefaultDragMessage(m); return;
    default: DefaultHandler(m); return;
  }
}

void TControl::DefaultHandler(TMessage& m) {
  if (FPrivate->Translating == &m) FPrivate->DefaultReached = true;
  // A control without a window lets its parent offer a context menu.
  if (m.Msg == WM_CONTEXTMENU && FParent && !dynamic_cast<TWinControl*>(this))
    m.Result = FParent->Perform(WM_CONTEXTMENU, m.WParam, m.LParam);
}

void TControl::DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept) {
  Accept = bool(OnDragOver);
  if (OnDragOver) OnDragOver(this, Source, X, Y, State, Accept);
}

void TControl::DragDrop(TObject* Source, int X, int Y) {
  if (OnDragDrop) OnDragDrop(this, Source, X, Y);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::Resize() {
  if (OnResize) OnResize(this);
}
void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
bool TControl::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
  return handled;
}

void TControl::SyncWidget() {
  QWidget* w = FPrivate->Widget;
  if (!w) return;
  w->setEnabled(FEnabled);
  w->setFont(QFontFromFont(*FFont));
  if (FCursor != crDefault) w->setCursor(CursorShape(FCursor));
  if (!FPrivate->OwnWidget) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, QColorFromColor(FColor));
    pal.setColor(QPalette::Text, QColorFromColor(FFont->Color()));
    pal.setColor(QPalette::WindowText, QColorFromColor(FFont->Color()));
    w->setPalette(pal);
  }
  w->setLayoutDirection(FBiDiMode == bdRightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
}

// ---- TWinControl ------------------------------------------------------------
TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  Destroying();
  // The form forgets its active control when that goes.
  if (TForm* f = GetParentForm(); f && f->FActiveControl == this) f->FActiveControl = nullptr;
  // Children go with their parent (they leave their owner as they go).
  while (!FControls.empty()) {
    TControl* c = FControls.back();
    c->Free();
  }
  DestroyWnd();
}

HWND TWinControl::Handle() {
  if (!FPrivate->Handle) {
    // The creation raises events (the control's own, a resize): a handler
    // may free the control, and nothing of it is touched then.
    const std::weak_ptr<TControlPrivate> self = FPrivate;
    // A parent without a window makes its own first, and its children's
    // with it (this one's among them): the handlers of that may free the
    // parent and this control with it.
    if (FParent && !FParent->HandleAllocated()) {
      FParent->HandleNeeded();
      if (!ControlLives(self)) return nullptr;
      if (FPrivate->Handle) return FPrivate->Handle;
    }
    CreateWnd();
    if (!ControlLives(self)) return nullptr;
    if (FPrivate->Handle) {
      SyncWidget();
      // The frame's first layout reports the client area's size (WM_SIZE).
      UpdateFrame(FPrivate->Handle);
      if (!ControlLives(self)) return nullptr;
      // A handler of an earlier child's creation may free this control
      // or a later child.
      if (!WalkChildren(this, [](TControl* c) {
            if (auto* wc = dynamic_cast<TWinControl*>(c))
              wc->HandleNeeded();
            else
              c->CreateWnd();
          }))
        return nullptr;
      // The children placed and the control's own handle work raise their
      // events too.
      Realign();
      if (!ControlLives(self)) return nullptr;
      CreateHandle();
      if (!ControlLives(self)) return nullptr;
    }
  }
  return FPrivate->Handle;
}

bool TWinControl::HandleAllocated() const { return FPrivate->Handle != nullptr; }

void TWinControl::CreateWnd() {
  if (FPrivate->Handle) return;
  if (!FParent && !dynamic_cast<TForm*>(this)) {
    // A window control without a parent still gets a (hidden) window so
    // that it can be sent messages, measured and painted.
    EnsureQtApplication();
  }
  TCreateParams params;
  CreateParams(params);
  QWidget* w = CreateOwnWidget(this);
  AttachWidget(this, w, true);
  HWND h = FPrivate->Handle;
  h->Style = params.Style;
  h->ExStyle = params.ExStyle;
  // A window made with scroll-bar styles starts with its bars showing, over
  // the default range.
  for (int bar : {SB_HORZ, SB_VERT}) {
    if (!(params.Style & (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL))) continue;
    h->Bars[bar].Visible = true;
    h->Bars[bar].Info.nMax = 100;
  }
  w->setFocusPolicy(Qt::TabFocus);
  if (!FParent) w->setAttribute(Qt::WA_DontShowOnScreen, !dynamic_cast<TForm*>(this));
  SyncWidget();
  if (FParent) w->setVisible(FVisible);
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.Caption = Caption();
  Params.Style = WS_CLIPCHILDREN;
  if (FParent) Params.Style |= WS_CHILD | WS_CLIPSIBLINGS;
  if (FTabStop) Params.Style |= WS_TABSTOP;
  if (!Enabled()) Params.Style |= WS_DISABLED;
  if (FBorderStyle == bsSingle) {
    if (FCtl3D)
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    else
      Params.Style |= WS_BORDER;
  }
  Params.X = Left();
  Params.Y = Top();
  Params.Width = Width();
  Params.Height = Height();
  Params.WndParent = FParent && FParent->HandleAllocated() ? FParent->Handle() : nullptr;
  Params.WindowClassStyle = CS_DBLCLKS;
}

void TWinControl::DestroyWnd() {
  if (!FPrivate->Handle && !FPrivate->Widget) return;
  // A child's windows going (their focus handed on, their last messages)
  // may run handlers that free another child, or this control.
  if (!WalkChildren(this, [](TControl* c) { c->DestroyWnd(); })) return;
  if (HWND h = FPrivate->Handle) {
    // So may the window's own last messages (its destruction, begun by
    // the handler, finishes the window then).
    const std::weak_ptr<TControlPrivate> self = FPrivate;
    SendMessage(h, WM_DESTROY, 0, 0);
    if (!ControlLives(self)) return;
    SendMessage(h, WM_NCDESTROY, 0, 0);
    if (!ControlLives(self)) return;
    FPrivate->Handle = nullptr;
    UnregisterWindow(h);
  }
  TControl::DestroyWnd();
}

void TWinControl::CreateHandle() {}

void TWinControl::RecreateWnd() {
  if (!HandleAllocated()) return;
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  DestroyWnd();
  if (!ControlLives(self)) return;
  HandleNeeded();
}

void TWinControl::InsertControl(TControl* AControl) {
  if (!AControl || ContainsControl(AControl)) return;
  FControls.push_back(AControl);
  AControl->FParent = this;
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(FControls.begin(), FControls.end(), AControl);
  if (it == FControls.end()) return;
  FControls.erase(it);
  if (AControl->FParent == this) AControl->FParent = nullptr;
  if (!ComponentState().Contains(csDestroying)) Realign();
}

bool TWinControl::ContainsControl(TControl* Control) const {
  return std::find(FControls.begin(), FControls.end(), Control) != FControls.end();
}

bool TWinControl::CanFocus() const {
  const TControl* c = this;
  for (; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

bool TWinControl::Focused() const { return FPrivate->Handle && GetFocus() == FPrivate->Handle; }

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation(u"Cannot focus a disabled or invisible window");
  // The control losing the focus runs its owner's OnExit, which may free
  // this control.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  if (TForm* f = GetParentForm()) f->SetActiveControl(this);
  if (!ControlLives(self)) return;
  ::SetFocus(Handle());
}

int TWinControl::TabOrder() const {
  if (!FParent) return -1;
  int n = 0;
  for (TControl* c : FParent->FControls) {
    if (c == this) return n;
    if (dynamic_cast<TWinControl*>(c)) ++n;
  }
  return -1;
}

void TWinControl::SetTabOrder(int value) {
  if (!FParent) return;
  auto& list = FParent->FControls;
  list.erase(std::find(list.begin(), list.end(), this));
  // Position among the window controls of the parent.
  int n = 0;
  auto it = list.begin();
  for (; it != list.end(); ++it) {
    if (!dynamic_cast<TWinControl*>(*it)) continue;
    if (n == value) break;
    ++n;
  }
  list.insert(it, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) {
  for (TControl* c : FControls) {
    auto* wc = dynamic_cast<TWinControl*>(c);
    if (!wc) continue;
    List.push_back(wc);
    wc->GetTabOrderList(List);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  int n = int(list.size());
  int start = -1;
  for (int i = 0; i < n; ++i)
    if (list[size_t(i)] == CurControl) start = i;
  if (start < 0) start = GoForward ? n - 1 : 0;
  int i = start;
  for (int step = 0; step < n; ++step) {
    i = GoForward ? (i + 1) % n : (i - 1 + n) % n;
    TWinControl* c = list[size_t(i)];
    if (c == CurControl) continue;
    if (CheckTabStop && !c->TabStop()) continue;
    if (CheckParent && c->Parent() != this) continue;
    if (!c->CanFocus()) continue;
    return c;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
  if (TWinControl* c = FindNextControl(CurControl, GoForward, CheckTabStop, false)) c->SetFocus();
}

void TWinControl::SetCtl3D(bool value) {
  if (FCtl3D == value) return;
  FCtl3D = value;
  Perform(CM_CTL3DCHANGED, 0, 0);
  FrameChanged();
}

void TWinControl::SetBorderStyle(TBorderStyle value) {
  if (FBorderStyle == value) return;
  FBorderStyle = value;
  FrameChanged();
}

void TWinControl::SetBorderWidth(int value) {
  if (FBorderWidth == value) return;
  FBorderWidth = std::max(value, 0);
  FrameChanged();
}

void TWinControl::FrameChanged() {
  HWND h = FPrivate->Handle;
  if (!h) return;
  // The frame styles are asked for again; scroll-bar visibility stays as
  // the program has set it since.
  TCreateParams params;
  CreateParams(params);
  const DWORD frame = WS_BORDER | WS_THICKFRAME;
  h->Style = (h->Style & ~frame) | (params.Style & frame);
  h->ExStyle = params.ExStyle;
  // The client area's new size places the children, whose handlers may
  // destroy the window (and free this control).
  const std::uint64_t serial = h->Serial;
  UpdateFrame(h);
  if (!IsLiveWindow(h, serial)) return;
  if (h->Widget) h->Widget->update();
}

TRect TWinControl::DefaultFrame() {
  int b = FBorderWidth;
  DWORD style, ex;
  if (HWND h = FPrivate->Handle) {
    style = h->Style;
    ex = h->ExStyle;
  } else {
    TCreateParams params;
    CreateParams(params);
    style = params.Style;
    ex = params.ExStyle;
  }
  if (style & WS_BORDER) b += GetSystemMetrics(SM_CXBORDER);
  if (style & WS_THICKFRAME) b += GetSystemMetrics(SM_CXDLGFRAME);
  if (ex & WS_EX_CLIENTEDGE) b += GetSystemMetrics(SM_CXEDGE);
  return {b, b, b, b};
}

TRect TWinControl::ClientRect() {
  if (HWND h = FPrivate->Handle) return {0, 0, h->Client.Width(), h->Client.Height()};
  TRect f = DefaultFrame();
  return {0, 0, std::max(Width() - f.Left - f.Right, 0), std::max(Height() - f.Top - f.Bottom, 0)};
}

TRect TWinControl::WindowClientRect() {
  if (HWND h = FPrivate->Handle) return h->Client;
  TRect f = DefaultFrame();
  return {f.Left, f.Top, Width() - f.Right, Height() - f.Bottom};
}

void TWinControl::Invalidate() {
  if (HWND h = FPrivate->Handle) InvalidateRect(h, nullptr, true);
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0 && --FAlignLevel == 0) Realign();
}

void TWinControl::Realign() {
  if (ComponentState().Contains(csDestroying)) return;
  if (FAlignLevel > 0) {
    // Asked while the children are placed (a handler freed, hid or moved
    // one) or while alignment is held: placed again once that is over.
    FControlState.Include(csAlignmentNeeded);
    return;
  }
  // Placing a child raises its events (its resize, its window's), and a
  // handler may free the child, another one, or this control. A child
  // that went leaves its room to the others: the children are placed
  // again, a few times at most, so that handlers that keep changing the
  // children cannot hold the program here.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  for (int pass = 0; pass < 4; ++pass) {
    FControlState.Exclude(csAlignmentNeeded);
    TRect r = ClientRect();
    ++FAlignLevel;
    AlignControls(nullptr, r);
    if (!ControlLives(self)) return;
    --FAlignLevel;
    if (!FControlState.Contains(csAlignmentNeeded) || ComponentState().Contains(csDestroying)) break;
  }
  FControlState.Exclude(csAlignmentNeeded);
}

void TWinControl::AlignControls(TControl*, TRect& Rect) {
  // Each child placed may run handlers that free it, another child or
  // this control: the walks skip children that went and end when this
  // control goes.
  // Anchored controls keep their distance to the far edges.
  const bool lives = WalkChildren(this, [&Rect](TControl* c) {
    if (c->Align() != alNone) return;
    TAnchors a = c->Anchors();
    if (c->FAnchorRight < 0 && c->FAnchorBottom < 0) return;
    int l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
    if (a.Contains(akRight) && c->FAnchorRight >= 0) {
      if (a.Contains(akLeft))
        w = Rect.Width() - c->FAnchorRight - l;
      else
        l = Rect.Width() - c->FAnchorRight - w;
    }
    if (a.Contains(akBottom) && c->FAnchorBottom >= 0) {
      if (a.Contains(akTop))
        h = Rect.Height() - c->FAnchorBottom - t;
      else
        t = Rect.Height() - c->FAnchorBottom - h;
    }
    c->SetBounds(l, t, w, h);
  });
  if (!lives) return;
  // Aligned controls fill the client area from the edges inwards: top, bottom,
  // left, right, then the rest.
  auto pick = [&](TAlign align) {
    std::vector<TControl*> list;
    for (TControl* c : FControls)
      if (c->Align() == align && c->Visible()) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [align](TControl* a, TControl* b) {
      switch (align) {
        case alTop: return a->Top() < b->Top();
        case alBottom: return a->Top() + a->Height() > b->Top() + b->Height();
        case alLeft: return a->Left() < b->Left();
        case alRight: return a->Left() + a->Width() > b->Left() + b->Width();
        default: return false;
      }
    });
    return list;
  };
  // A child that went while it was placed takes no room (the children are
  // placed again after it anyway).
  auto place = [](TControl* c, int l, int t, int w, int h) {
    const std::weak_ptr<TControlPrivate> life = c->PrivateRef();
    c->SetBounds(l, t, w, h);
    return ControlLives(life);
  };
  if (!WalkChildren(this, pick(alTop), [&](TControl* c) {
        if (place(c, Rect.Left, Rect.Top, Rect.Width(), c->Height())) Rect.Top += c->Height();
      }))
    return;
  if (!WalkChildren(this, pick(alBottom), [&](TControl* c) {
        if (place(c, Rect.Left, Rect.Bottom - c->Height(), Rect.Width(), c->Height())) Rect.Bottom -= c->Height();
      }))
    return;
  if (!WalkChildren(this, pick(alLeft), [&](TControl* c) {
        if (place(c, Rect.Left, Rect.Top, c->Width(), std::max(Rect.Height(), 0))) Rect.Left += c->Width();
      }))
    return;
  if (!WalkChildren(this, pick(alRight), [&](TControl* c) {
        if (place(c, Rect.Right - c->Width(), Rect.Top, c->Width(), std::max(Rect.Height(), 0)))
          Rect.Right -= c->Width();
      }))
    return;
  WalkChildren(this, pick(alClient), [&](TControl* c) {
    c->SetBounds(Rect.Left, Rect.Top, std::max(Rect.Width(), 0), std::max(Rect.Height(), 0));
  });
}

void TWinControl::SyncWidget() { TControl::SyncWidget(); }

void TWinControl::KeyDown(WORD& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}
void TWinControl::KeyUp(WORD& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}
void TWinControl::KeyPress(char16_t& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}
void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::handleKey(TMessage& m) {
  // The form's handler and the control's own may free the control (or the
  // form, and the control with it): after one that did, nothing of either
  // is touched.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  TForm* form = GetParentForm();
  bool preview = form && form != static_cast<TControl*>(this) && form->KeyPreview();
  if (m.Msg == WM_CHAR || m.Msg == WM_SYSCHAR) {
    char16_t ch = char16_t(m.WParam);
    if (preview) {
      static_cast<TWinControl*>(form)->KeyPress(ch);
      if (!ch || !ControlLives(self)) return;
    }
    KeyPress(ch);
    if (!ch || !ControlLives(self)) return;
    m.WParam = ch;
    DefaultHandler(m);
    return;
  }
  WORD key = WORD(m.WParam);
  TShiftState shift = KeyDataToShiftState(m.LParam);
  bool down = m.Msg == WM_KEYDOWN || m.Msg == WM_SYSKEYDOWN;
  if (preview) {
    auto* f = static_cast<TWinControl*>(form);
    if (down) f->KeyDown(key, shift); else f->KeyUp(key, shift);
    if (!key || !ControlLives(self)) return;
  }
  if (down) KeyDown(key, shift); else KeyUp(key, shift);
  if (!key || !ControlLives(self)) return;
  m.WParam = key;
  DefaultHandler(m);
}

void TWinControl::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_KEYUP: case WM_SYSKEYUP:
    case WM_CHAR: case WM_SYSCHAR:
      handleKey(m);
      return;
    case WM_SETFOCUS:
      DefaultHandler(m);
      if (TForm* f = GetParentForm()) f->FActiveControl = this;
      DoEnter();
      return;
    case WM_KILLFOCUS:
      DefaultHandler(m);
      DoExit();
      return;
    case WM_SIZE: {
      // Placing the children may free this control (a child's handler).
      const std::weak_ptr<TControlPrivate> self = FPrivate;
      DefaultHandler(m);
      Realign();
      if (!ControlLives(self)) return;
      Resize();
      return;
    }
    case WM_PAINT:
      PaintWindow(HDC(m.WParam));
      return;
    default:
      TControl::Dispatch(m);
      return;
  }
}

void TWinControl::DefaultHandler(TMessage& m) {
  TControl::DefaultHandler(m);
  HWND h = FPrivate->Handle;
  switch (m.Msg) {
    case WM_NCCALCSIZE: defaultNcCalcSize(m); return;
    case WM_NCHITTEST: defaultNcHitTest(m); return;
    case WM_NCPAINT: defaultNcPaint(m); return;
    case WM_ERASEBKGND: defaultEraseBackground(m); return;
    case WM_SETCURSOR: defaultSetCursor(m); return;
    case WM_CONTEXTMENU:
      if (FPrivate->OwnWidget && FParent) m.Result = FParent->Perform(WM_CONTEXTMENU, m.WParam, m.LParam);
      return;
    case WM_SETREDRAW:
      if (h) {
        h->Redraw = m.WParam != 0;
        if (h->Widget) h->Widget->setUpdatesEnabled(h->Redraw);
      }
      return;
    case WM_CANCELMODE:
      if (h && GetCapture() == h) ::ReleaseCapture();
      return;
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN:
    case WM_NCLBUTTONUP: case WM_NCRBUTTONUP: case WM_NCMBUTTONUP:
    case WM_NCLBUTTONDBLCLK: case WM_NCRBUTTONDBLCLK: case WM_NCMBUTTONDBLCLK:
    case WM_NCMOUSEMOVE:
      return;
    case WM_QUERYENDSESSION:
      m.Result = 1;
      return;
    case WM_GETTEXTLENGTH:
      m.Result = LRESULT(GetText().size());
      return;
    default:
      return;
  }
}

void TWinControl::defaultNcCalcSize(TMessage& m) {
  auto* r = reinterpret_cast<TRect*>(m.LParam);
  HWND h = FPrivate->Handle;
  if (!r) return;
  TRect f = DefaultFrame();
  r->Left += f.Left;
  r->Top += f.Top;
  r->Right -= f.Right;
  r->Bottom -= f.Bottom;
  if (!h) return;
  int vw = GetSystemMetrics(SM_CXVSCROLL), hh = GetSystemMetrics(SM_CYHSCROLL);
  TFrameScrollBar& v = h->Bars[SB_VERT];
  TFrameScrollBar& hz = h->Bars[SB_HORZ];
  bool rtl = UseRightToLeftAlignment();
  if (v.Visible && r->Width() >= vw) {
    if (rtl) {
      v.Rect = {r->Left, r->Top, r->Left + vw, r->Bottom};
      r->Left += vw;
    } else {
      v.Rect = {r->Right - vw, r->Top, r->Right, r->Bottom};
      r->Right -= vw;
    }
  } else {
    v.Rect = {};
  }
  if (hz.Visible && r->Height() >= hh) {
    hz.Rect = {r->Left, r->Bottom - hh, r->Right, r->Bottom};
    r->Bottom -= hh;
    if (!v.Rect.IsEmpty()) v.Rect.Bottom -= hh;
  } else {
    hz.Rect = {};
  }
}

void TWinControl::defaultNcHitTest(TMessage& m) {
  HWND h = FPrivate->Handle;
  if (!h || !h->Widget) {
    m.Result = HTCLIENT;
    return;
  }
  QPoint p = h->Widget->mapFromGlobal(QPoint(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)));
  TPoint pt{p.x(), p.y()};
  if (!TRect(0, 0, h->Widget->width(), h->Widget->height()).Contains(pt)) m.Result = HTNOWHERE;
  else if (h->Client.Contains(pt)) m.Result = HTCLIENT;
  else if (h->Bars[SB_VERT].Visible && h->Bars[SB_VERT].Rect.Contains(pt)) m.Result = HTVSCROLL;
  else if (h->Bars[SB_HORZ].Visible && h->Bars[SB_HORZ].Rect.Contains(pt)) m.Result = HTHSCROLL;
  else m.Result = HTBORDER;
}

void TWinControl::defaultNcPaint(TMessage&) {
  HWND h = FPrivate->Handle;
  if (h && h->Painter) PaintDefaultFrame(h, *h->Painter);
}

void TWinControl::defaultEraseBackground(TMessage& m) {
  HWND h = FPrivate->Handle;
  m.Result = 1;
  if (!h || !h->Painter || ControlStyle().Contains(csOpaque)) return;
  h->Painter->fillRect(QRect(0, 0, h->Client.Width(), h->Client.Height()), QColorFromColor(Color()));
}

void TWinControl::defaultSetCursor(TMessage& m) {
  int hit = int(std::int16_t(LOWORD(std::uintptr_t(m.LParam))));
  QWidget* w = gCursorTarget ? gCursorTarget : (FPrivate->Widget ? FPrivate->Widget.data() : nullptr);
  m.Result = 1;
  if (!w) return;
  TCursor c = crDefault;
  if (hit == HTCLIENT) c = Screen && Screen->Cursor() != crDefault ? Screen->Cursor() : Cursor();
  if (c != crDefault)
    w->setCursor(CursorShape(c));
  else if (hit == HTCLIENT && !FPrivate->OwnWidget && w == FPrivate->Widget.data())
    w->unsetCursor();  // a stock control keeps its own shape (the text beam of an edit box)
  else
    w->setCursor(Qt::ArrowCursor);
}

// ---- TCustomControl ---------------------------------------------------------
TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {}

TCustomControl::~TCustomControl() = default;

void TCustomControl::Dispatch(TMessage& m) { TWinControl::Dispatch(m); }

void TCustomControl::Paint() {}

void TCustomControl::PaintWindow(HDC DC) {
  HWND h = FPrivate->Handle;
  // Paint may free the control (an owner's handler): the record outlives
  // it and tells the way out to touch nothing of it.
  const std::shared_ptr<const TControlPrivate> life = FPrivate;
  SetControlState(ControlState() + TControlState{csCustomPaint});
  if (h && h->Painter && DC == h->PaintDC) {
    CanvasBeginPaint(*FCanvas, *h->Painter);
    FCanvas->Font()->Assign(*Font());
    try {
      Paint();
    } catch (...) {
      if (life->Owner) {
        CanvasEndPaint(*FCanvas);
        SetControlState(ControlState() - TControlState{csCustomPaint});
      }
      throw;
    }
    if (!life->Owner) return;
    CanvasEndPaint(*FCanvas);
  } else if (DC) {
    FCanvas->SetHandle(DC);
    FCanvas->Font()->Assign(*Font());
    try {
      Paint();
    } catch (...) {
      if (life->Owner) FCanvas->SetHandle(nullptr);
      throw;
    }
    if (!life->Owner) return;
    FCanvas->SetHandle(nullptr);
  }
  SetControlState(ControlState() - TControlState{csCustomPaint});
}

// ---- TGraphicControl ----------------------------------------------------------
TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::Paint() {}

void TGraphicControl::Dispatch(TMessage& m) {
  if (m.Msg != WM_PAINT) {
    TControl::Dispatch(m);
    return;
  }
  TControlPrivate* p = FPrivate.get();
  if (!p->Painter) return;
  // Paint may free the control (an owner's handler): the record outlives
  // it and tells the way out to touch nothing of it.
  const std::shared_ptr<const TControlPrivate> life = FPrivate;
  CanvasBeginPaint(*FCanvas, *p->Painter);
  FCanvas->Font()->Assign(*Font());
  try {
    Paint();
  } catch (...) {
    if (life->Owner) CanvasEndPaint(*FCanvas);
    throw;
  }
  if (!life->Owner) return;
  CanvasEndPaint(*FCanvas);
}
