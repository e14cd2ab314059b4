// Window services: painting through the canvas, invalidation and the update
// rectangle, synchronous updates, redraw switched off, coordinates, the
// window under a point, context menus, and the stock scroll bar and tabs.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

// True when the session draws offscreen (no display).
bool IsHeadless();

namespace {

using namespace guitest;

// Paints its client area red with a blue square at (10,10)-(30,30), and
// remembers the update rectangle of each paint.
class Painter : public TCustomControl {
public:
  using TCustomControl::TCustomControl;
  std::vector<TRect> Updates;
  void Paint() override {
    TRect r;
    GetUpdateRect(Handle(), &r, false);
    Updates.push_back(r);
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(ClientRect());
    Canvas()->Brush()->SetColor(clBlue);
    Canvas()->FillRect({10, 10, 30, 30});
  }
};

struct GuiWindow : FormFixture {
  void SetUp() override {
    FormFixture::SetUp();
    Paint = new Painter(Form);
    Paint->SetParent(Form);
    Paint->SetBounds(100, 150, 80, 60);
    pump();
  }
  Painter* Paint = nullptr;
};

std::uint32_t pixel(TWinControl* c, int x, int y) {
  std::vector<std::uint32_t> px;
  int w = 0, h = 0;
  if (!GrabWindow(c, px, w, h)) return 0;
  return px[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFF;
}

TEST_F(GuiWindow, PaintDrawsThroughTheCanvasInClientCoordinates) {
  EXPECT_EQ(pixel(Paint, 5, 5), 0xFF0000u);    // red (as 0xRRGGBB)
  EXPECT_EQ(pixel(Paint, 15, 15), 0x0000FFu);  // blue square
  // On the form, the control sits at its bounds.
  EXPECT_EQ(pixel(Form, 100 + 15, 150 + 15), 0x0000FFu);
  EXPECT_EQ(pixel(Form, 100 + 79, 150 + 59), 0xFF0000u);
  EXPECT_NE(pixel(Form, 100 + 80, 150 + 60), 0xFF0000u);
}

TEST_F(GuiWindow, FormPaintsThroughOnPaintBelowItsControls) {
  Form->OnPaint = [this](TObject*) {
    Form->Canvas()->Brush()->SetColor(clLime);
    Form->Canvas()->FillRect({0, 0, 50, 50});
  };
  Form->Invalidate();
  EXPECT_EQ(pixel(Form, 5, 5), 0x00FF00u);
  EXPECT_EQ(pixel(Form, 45, 25), 0x00FF00u);
  EXPECT_NE(pixel(Form, 25, 35), 0x00FF00u);  // the child control at (20,30) covers the form there
}

// A paint's handler may free the control being painted, or another control
// of the same window: the toolkit still finishes that paint, and the window
// goes on painting what is left.
TEST_F(GuiWindow, AControlFreedWhileItsWindowPaintsLeavesTheRestPainting) {
  class Doomed : public TCustomControl {
  public:
    using TCustomControl::TCustomControl;
    TControl* Victim = nullptr;
    void Paint() override {
      if (Victim) delete Victim;
    }
  };
  auto* self = new Doomed(Form);
  self->SetParent(Form);
  self->SetBounds(250, 20, 40, 40);
  auto* other = new Doomed(Form);
  other->SetParent(Form);
  other->SetBounds(250, 80, 40, 40);
  pump();
  ASSERT_EQ(Form->ControlCount(), 4);
  other->Victim = other;  // frees itself
  self->Victim = Paint;   // frees a sibling painted in the same flush
  Paint->Invalidate();
  other->Invalidate();
  self->Invalidate();
  EXPECT_TRUE(pumpUntil([&] { return Form->ControlCount() == 2; }));
  Paint = nullptr;
  self->Victim = nullptr;
  // The form still paints, over the places the freed controls had.
  Form->OnPaint = [this](TObject*) {
    Form->Canvas()->Brush()->SetColor(clLime);
    Form->Canvas()->FillRect(Form->ClientRect());
  };
  Form->Invalidate();
  EXPECT_EQ(pixel(Form, 100 + 15, 150 + 15), 0x00FF00u);
  EXPECT_EQ(pixel(Form, 250 + 15, 80 + 15), 0x00FF00u);
}

TEST_F(GuiWindow, InvalidatedRectangleIsWhatTheNextPaintUpdates) {
  ASSERT_TRUE(pumpUntil([&] { return !Paint->Updates.empty(); }));
  Paint->Updates.clear();
  TRect r{5, 6, 25, 16};
  InvalidateRect(Paint->Handle(), &r, false);
  TRect pending;
  EXPECT_TRUE(GetUpdateRect(Paint->Handle(), &pending, false));
  EXPECT_EQ(pending, r);
  UpdateWindow(Paint->Handle());  // paints now, not later
  ASSERT_EQ(Paint->Updates.size(), 1u);
  EXPECT_EQ(Paint->Updates[0], r);
  EXPECT_FALSE(GetUpdateRect(Paint->Handle(), &pending, false));
  UpdateWindow(Paint->Handle());  // nothing pending: no paint
  EXPECT_EQ(Paint->Updates.size(), 1u);
}

// What was invalidated before a window shrank lies outside it and is never
// painted: it is no longer part of the update rectangle.
TEST_F(GuiWindow, ShrinkingAWindowDropsTheInvalidatedAreaOutsideIt) {
  ASSERT_TRUE(pumpUntil([&] { return !Paint->Updates.empty(); }));
  InvalidateRect(Paint->Handle(), nullptr, false);
  Paint->SetBounds(100, 150, 60, 60);
  TRect pending;
  ASSERT_TRUE(GetUpdateRect(Paint->Handle(), &pending, false));
  EXPECT_EQ(pending, TRect(0, 0, 60, 60));
  UpdateWindow(Paint->Handle());
  pump();
  EXPECT_FALSE(GetUpdateRect(Paint->Handle(), &pending, false));
}

TEST_F(GuiWindow, ScrollingLeavesOnlyTheUncoveredStripToRepaint) {
  ASSERT_TRUE(pumpUntil([&] { return !Paint->Updates.empty(); }));
  Paint->Updates.clear();
  ScrollWindow(Paint->Handle(), 0, -10, nullptr, nullptr);
  TRect pending;
  ASSERT_TRUE(GetUpdateRect(Paint->Handle(), &pending, false));
  EXPECT_EQ(pending, TRect(0, 50, 80, 60));
  // Whatever the display repaints, the strip is among it and the picture is whole.
  UpdateWindow(Paint->Handle());
  pump();
  ASSERT_FALSE(Paint->Updates.empty());
  TRect all;
  for (const TRect& r : Paint->Updates) UnionRect(all, all, r);
  TRect both;
  IntersectRect(both, all, pending);
  EXPECT_EQ(both, pending);
  EXPECT_EQ(pixel(Paint, 15, 15), 0x0000FFu);
}

TEST_F(GuiWindow, ScrollingAWindowWithChildrenMovesThemAndStillMovesPixels) {
  auto* child = new TPanel(Form);
  child->SetParent(Paint);
  child->SetBounds(5, 40, 20, 10);
  auto* outside = new TPanel(Form);
  outside->SetParent(Paint);
  outside->SetBounds(60, 5, 10, 10);
  ASSERT_TRUE(pumpUntil([&] { return !Paint->Updates.empty(); }));
  Paint->Updates.clear();
  ScrollWindow(Paint->Handle(), 0, -10, nullptr, nullptr);
  EXPECT_EQ(child->BoundsRect(), TRect(5, 30, 25, 40));
  EXPECT_EQ(outside->BoundsRect(), TRect(60, -5, 70, 5));
  // Only the uncovered strip waits for a paint: the pixels moved.
  TRect pending;
  ASSERT_TRUE(GetUpdateRect(Paint->Handle(), &pending, false));
  EXPECT_EQ(pending, TRect(0, 50, 80, 60));
  // With a scroll rectangle only the children inside it move.
  TRect part{0, 20, 40, 60};
  ScrollWindowEx(Paint->Handle(), 0, 5, &part, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN);
  EXPECT_EQ(child->BoundsRect(), TRect(5, 35, 25, 45));
  EXPECT_EQ(outside->BoundsRect(), TRect(60, -5, 70, 5));
}

TEST_F(GuiWindow, RedrawOffHoldsPaintingBack) {
  ASSERT_TRUE(pumpUntil([&] { return !Paint->Updates.empty(); }));
  SendMessage(Paint->Handle(), WM_SETREDRAW, 0, 0);
  Paint->Updates.clear();
  Paint->Invalidate();
  RedrawWindow(Paint->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  pump();
  EXPECT_TRUE(Paint->Updates.empty());
  SendMessage(Paint->Handle(), WM_SETREDRAW, 1, 0);
  RedrawWindow(Paint->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_FALSE(Paint->Updates.empty());
}

TEST_F(GuiWindow, CoordinatesMapBetweenWindowsAndFindTheWindowAtAPoint) {
  TPoint p{3, 4};
  ASSERT_TRUE(ClientToScreen(Paint->Handle(), &p));
  TPoint back = p;
  ScreenToClient(Paint->Handle(), &back);
  EXPECT_EQ(back, TPoint(3, 4));
  TPoint inForm = p;
  ScreenToClient(Form->Handle(), &inForm);
  EXPECT_EQ(inForm, TPoint(103, 154));
  TPoint pts[1] = {{3, 4}};
  MapWindowPoints(Paint->Handle(), Ctl->Handle(), pts, 1);
  EXPECT_EQ(pts[0], TPoint(100 + 3 - 20, 150 + 4 - 30));
  EXPECT_EQ(WindowFromPoint(p), Paint->Handle());
  TPoint onCtl{5, 5};
  ClientToScreen(Ctl->Handle(), &onCtl);
  EXPECT_EQ(WindowFromPoint(onCtl), Ctl->Handle());
  EXPECT_EQ(GetParent(Paint->Handle()), Form->Handle());
  EXPECT_TRUE(IsChild(Form->Handle(), Paint->Handle()));
}

TEST_F(GuiWindow, ContextMenuShowsTheControlsPopupMenuAtThePoint) {
  TPopupMenu menu(nullptr);
  auto* item = new TMenuItem(&menu);
  item->SetCaption(u"&Copy");
  menu.Items()->Add(item);
  int clicked = 0;
  item->OnClick = [&](TObject*) { ++clicked; };
  TPoint shownAt;
  TDialogHook old = SetDialogHook([&](TDialogRequest& r, int& result) {
    if (r.Kind != dkPopupMenu) return false;
    shownAt = static_cast<TPopupMenu*>(r.Dialog)->PopupPoint();
    result = 0;
    return true;
  });
  Paint->SetPopupMenu(&menu);
  TPoint screen{7, 8};
  ClientToScreen(Paint->Handle(), &screen);
  SendMessage(Paint->Handle(), WM_CONTEXTMENU, WPARAM(Paint->Handle()), MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(clicked, 1);
  EXPECT_EQ(shownAt, screen);
  EXPECT_EQ(menu.PopupComponent(), Paint);
  EXPECT_EQ(menu.Items()->Find(u"Copy"), item);
  Paint->SetPopupMenu(nullptr);
  SetDialogHook(old);
}

// A menu opened just after the focused window hid (to the tray, say), while
// the word of where the keyboard went is still on its way, stays open.
TEST_F(GuiWindow, AMenuOpenedRightAfterTheFocusedWindowIsHiddenStaysOpen) {
  if (IsHeadless()) GTEST_SKIP() << "menus show only on a display";
  SetForegroundWindow(Form->Handle());
  ASSERT_TRUE(pumpUntil([&] { return GetActiveWindow() == Form->Handle(); }, 5000));
  Form->Hide();
  // The word comes in; the busy program looks again only once the toolkit's
  // wait for the keyboard to come back is over.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Application->HandleMessage();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  TPopupMenu menu(nullptr);
  menu.Items()->Add(new TMenuItem(&menu));
  menu.Items()->Items(0)->SetCaption(u"Back");
  int clicked = 0;
  menu.Items()->Items(0)->OnClick = [&](TObject*) { ++clicked; };
  Ctl->OnMessage = [](TMessage& m) { if (m.Msg == WM_TIMER) ChooseShownMenuItem(0); };
  menu.OnPopup = [&](TObject*) { SetTimer(Ctl->Handle(), 1, 100); };
  menu.Popup(50, 50);
  KillTimer(Ctl->Handle(), 1);
  EXPECT_EQ(clicked, 1) << "the menu closed before a choice";
}

// A message let through while the menu waits for the keyboard's word (the
// window hidden) or while it shows may free the menu: it is touched no more.
TEST_F(GuiWindow, AMenuFreedWhileItWaitsOrShowsIsLeftAlone) {
  if (IsHeadless()) GTEST_SKIP() << "menus show only on a display";
  for (bool hide : {true, false}) {
    SCOPED_TRACE(hide ? "freed while it waits" : "freed while it shows");
    Form->Show();
    SetForegroundWindow(Form->Handle());
    ASSERT_TRUE(pumpUntil([&] { return GetActiveWindow() == Form->Handle(); }, 5000));
    auto* menu = new TPopupMenu(nullptr);
    menu->Items()->Add(new TMenuItem(menu));
    menu->Items()->Items(0)->SetCaption(u"Back");
    int clicked = 0;
    menu->Items()->Items(0)->OnClick = [&](TObject*) { ++clicked; };
    bool freed = false;
    // Freed at the first tick (to be freed while it shows: once its item
    // is chosen, before its loop ends); then what still shows is closed.
    Ctl->OnMessage = [&](TMessage& m) {
      if (m.Msg != WM_TIMER) return;
      if (freed) {
        ChooseShownMenuItem(0);
      } else if (hide || ChooseShownMenuItem(0)) {
        delete menu;
        freed = true;
      }
    };
    menu->OnPopup = [&](TObject*) { SetTimer(Ctl->Handle(), 2, 1); };
    menu->OnClose = [&](TObject*) { ADD_FAILURE() << "the freed menu was told it closed"; };
    if (hide) Form->Hide();
    menu->Popup(50, 50);
    KillTimer(Ctl->Handle(), 2);
    EXPECT_TRUE(freed);
    EXPECT_EQ(clicked, 0);
  }
}

TEST_F(GuiWindow, ScrollBarControlReportsScrollCodesAndPosition) {
  auto* bar = new TScrollBar(Form);
  bar->SetParent(Form);
  bar->SetKind(sbVertical);
  bar->SetBounds(300, 10, 16, 200);
  bar->SetParams(0, 0, 100);
  bar->SetSmallChange(5);
  pump();
  std::vector<TScrollCode> codes;
  int changes = 0;
  bar->OnScroll = [&](TObject*, TScrollCode code, int&) { codes.push_back(code); };
  bar->OnChange = [&](TObject*) { ++changes; };
  InjectMouse(bar->Handle(), imDown, mbLeft, {8, 196}, {});
  InjectMouse(bar->Handle(), imUp, mbLeft, {8, 196}, {});
  ASSERT_GE(codes.size(), 2u);
  EXPECT_EQ(codes.front(), scLineDown);
  EXPECT_EQ(codes.back(), scEndScroll);
  EXPECT_EQ(bar->Position(), 5);
  EXPECT_EQ(changes, 1);
  bar->SetPosition(500);  // clamped to the range
  EXPECT_EQ(bar->Position(), 100);
}

TEST_F(GuiWindow, PageControlAsksBeforeChangingPage) {
  auto* pages = new TPageControl(Form);
  pages->SetParent(Form);
  pages->SetBounds(200, 150, 180, 120);
  auto* a = new TTabSheet(Form);
  a->SetPageControl(pages);
  a->SetCaption(u"A");
  auto* b = new TTabSheet(Form);
  b->SetPageControl(pages);
  b->SetCaption(u"B");
  pump();
  EXPECT_EQ(pages->ActivePage(), a);
  EXPECT_TRUE(a->Visible());
  EXPECT_FALSE(b->Visible());
  bool allow = false;
  int changes = 0;
  pages->OnChanging = [&](TObject*, bool& ok) { ok = allow; };
  pages->OnChange = [&](TObject*) { ++changes; };
  pages->SelectNextPage(true);
  EXPECT_EQ(pages->ActivePage(), a);
  allow = true;
  pages->SelectNextPage(true);
  EXPECT_EQ(pages->ActivePage(), b);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(b->BoundsRect(), pages->ClientRect());
  delete b;  // a freed sheet leaves the control
  EXPECT_EQ(pages->PageCount(), 1);
  EXPECT_EQ(pages->ActivePage(), a);
}

}  // namespace
