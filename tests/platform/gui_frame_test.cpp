// The non-client frame: client rectangle from WM_NCCALCSIZE, hit testing,
// non-client mouse messages, painting, and the standard scroll bars.
#include <gtest/gtest.h>

#include "gui_test_support.h"

namespace {

using namespace guitest;

constexpr int kHeader = 20;

// A control with a header strip in its frame, as a tree with column headers has.
class FramedControl : public Recorder {
public:
  explicit FramedControl(TComponent* owner) : Recorder(owner) {}
  void Dispatch(TMessage& m) override {
    if (m.Msg == WM_NCCALCSIZE) {
      Recorder::Dispatch(m);
      reinterpret_cast<TRect*>(m.LParam)->Top += kHeader;
      return;
    }
    if (m.Msg == WM_NCHITTEST) {
      Recorder::Dispatch(m);
      TPoint p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
      ScreenToClientPoint(p);
      if (m.Result == HTBORDER && p.y < 0 && p.y >= -kHeader && p.x >= 0) m.Result = HTBORDER;
      return;
    }
    if (m.Msg == WM_VSCROLL && LineStep) {
      TScrollInfo si;
      si.fMask = SIF_POS;
      GetScrollInfo(Handle(), SB_VERT, &si);
      int code = LOWORD(m.WParam);
      if (code == SB_LINEDOWN) si.nPos += LineStep;
      if (code == SB_PAGEDOWN) si.nPos += 100;
      if (code == SB_LINEDOWN || code == SB_PAGEDOWN) SetScrollInfo(Handle(), SB_VERT, &si, true);
    }
    Recorder::Dispatch(m);
  }
  void ScreenToClientPoint(TPoint& p) { ::ScreenToClient(Handle(), &p); }
  int LineStep = 0;
};

struct GuiFrame : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, 500, 400);
    Ctl = new FramedControl(Form);
    Ctl->SetParent(Form);
    Ctl->SetBorderStyle(bsSingle);  // a sunken 2-pixel edge
    Ctl->SetBounds(10, 10, 300, 200);
    Form->Show();
    pump();
  }
  void TearDown() override { delete Form; }
  void setRange(int max, UINT page, UINT extra = 0) {
    TScrollInfo si;
    si.fMask = SIF_RANGE | SIF_PAGE | extra;
    si.nMin = 0;
    si.nMax = max;
    si.nPage = page;
    SetScrollInfo(Ctl->Handle(), SB_VERT, &si, true);
  }
  TForm* Form = nullptr;
  FramedControl* Ctl = nullptr;
};

TEST_F(GuiFrame, ClientRectangleComesFromTheFrameCalculation) {
  TRect r;
  ASSERT_TRUE(GetClientRect(Ctl->Handle(), &r));
  EXPECT_EQ(r, TRect(0, 0, 300 - 4, 200 - 4 - kHeader));
  EXPECT_EQ(Ctl->ClientRect(), r);
  TPoint origin{0, 0}, window{0, 0};
  ClientToScreen(Ctl->Handle(), &origin);
  TRect wr;
  GetWindowRect(Ctl->Handle(), &wr);
  window = wr.TopLeft();
  EXPECT_EQ(origin.x - window.x, 2);
  EXPECT_EQ(origin.y - window.y, 2 + kHeader);
}

TEST_F(GuiFrame, MouseOverTheFrameArrivesAsNonClientMessages) {
  Ctl->Record({WM_NCLBUTTONDOWN, WM_LBUTTONDOWN, WM_NCMOUSEMOVE, WM_MOUSEMOVE});
  HWND h = Ctl->Handle();
  InjectMouse(h, imDown, mbLeft, {50, -10}, {});  // in the header strip
  InjectMouse(h, imUp, mbLeft, {50, -10}, {});
  InjectMouse(h, imDown, mbLeft, {50, 10}, {});   // in the client area
  InjectMouse(h, imUp, mbLeft, {50, 10}, {});
  ASSERT_EQ(Ctl->Of(WM_NCLBUTTONDOWN).size(), 1u);
  TMessage nc = Ctl->Of(WM_NCLBUTTONDOWN)[0];
  EXPECT_EQ(nc.WParam, WPARAM(HTBORDER));
  TPoint screen{50, -10};
  ClientToScreen(h, &screen);
  EXPECT_EQ(GET_X_LPARAM(nc.LParam), screen.x);  // non-client points are in screen coordinates
  EXPECT_EQ(GET_Y_LPARAM(nc.LParam), screen.y);
  ASSERT_EQ(Ctl->Of(WM_LBUTTONDOWN).size(), 1u);
  EXPECT_EQ(GET_Y_LPARAM(Ctl->Of(WM_LBUTTONDOWN)[0].LParam), 10);
}

TEST_F(GuiFrame, FrameAndClientArePaintedSeparately) {
  Ctl->Record({WM_NCPAINT, WM_ERASEBKGND, WM_PAINT});
  std::vector<std::uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(GrabWindow(Ctl, px, w, h));
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 200);
  EXPECT_EQ(Ctl->Of(WM_NCPAINT).size(), 1u);
  EXPECT_EQ(Ctl->Of(WM_PAINT).size(), 1u);
  EXPECT_GE(Ctl->Paints, 1);
  // The sunken edge: dark top-left line, light bottom-right line.
  auto luminance = [&](int x, int y) {
    std::uint32_t p = px[size_t(y) * size_t(w) + size_t(x)];
    return int((p >> 16) & 0xFF) + int((p >> 8) & 0xFF) + int(p & 0xFF);
  };
  EXPECT_LT(luminance(5, 0), luminance(5, h - 1));
}

// A window context starts at the window's corner and covers the frame, from
// the frame paint (a header drawn in the frame) and from the client paint.
TEST_F(GuiFrame, WindowContextCoversTheFrameFromEitherPaint) {
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg != WM_NCPAINT && m.Msg != WM_PAINT) return;
    HDC dc = GetWindowDC(Ctl->Handle());
    HBRUSH brush = CreateSolidBrush(m.Msg == WM_NCPAINT ? RGB(255, 0, 0) : RGB(0, 0, 255));
    TRect r = m.Msg == WM_NCPAINT ? TRect{2, 2, 100, 2 + kHeader} : TRect{150, 100, 160, 110};
    FillRect(dc, r, brush);
    DeleteObject(brush);
    ReleaseDC(Ctl->Handle(), dc);
  };
  std::vector<std::uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(GrabWindow(Ctl, px, w, h));
  auto at = [&](int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFF; };
  EXPECT_EQ(at(50, 2 + kHeader / 2), 0xFF0000u);  // the header strip, from the frame paint
  EXPECT_EQ(at(155, 105), 0x0000FFu);             // window coordinates, not client ones
  EXPECT_NE(at(155 + 2, 105 + 2 + kHeader), 0x0000FFu);
  Ctl->OnMessage = nullptr;
}

// What a scroll uncovers is reported exactly (rectangle and region), and a
// region handed to RedrawWindow is what waits for the next paint.
TEST_F(GuiFrame, ScrollAndRedrawReportTheirExactAreas) {
  HWND h = Ctl->Handle();
  pump();
  TRect update;
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  TRect rows{0, 10, 200, 110};
  int kind = ScrollWindowEx(h, 0, -20, &rows, &rows, rgn, &update, SW_INVALIDATE);
  EXPECT_EQ(kind, SIMPLEREGION);
  EXPECT_EQ(update, TRect(0, 90, 200, 110));
  TRect box;
  EXPECT_EQ(GetRgnBox(rgn, &box), SIMPLEREGION);
  EXPECT_EQ(box, update);
  EXPECT_EQ(ScrollWindowEx(h, 0, 0, &rows, nullptr, rgn, &update, 0), NULLREGION);
  EXPECT_TRUE(update.IsEmpty());
  pump();

  TRect pending;
  ValidateRect(h, nullptr);
  SetRectRgn(rgn, 30, 40, 60, 50);
  RedrawWindow(h, nullptr, rgn, RDW_INVALIDATE);
  ASSERT_TRUE(GetUpdateRect(h, &pending, false));
  EXPECT_EQ(pending, TRect(30, 40, 60, 50));
  RedrawWindow(h, nullptr, rgn, RDW_VALIDATE);
  EXPECT_FALSE(GetUpdateRect(h, &pending, false));
  DeleteObject(rgn);
}

TEST_F(GuiFrame, ScrollInfoShowsHidesAndClampsTheBar) {
  Ctl->Record({WM_SIZE});
  TRect before;
  GetClientRect(Ctl->Handle(), &before);
  setRange(999, 100);
  TRect after;
  GetClientRect(Ctl->Handle(), &after);
  EXPECT_EQ(after.Width(), before.Width() - GetSystemMetrics(SM_CXVSCROLL));
  ASSERT_EQ(Ctl->Of(WM_SIZE).size(), 1u);
  EXPECT_EQ(LOWORD(Ctl->Of(WM_SIZE)[0].LParam), after.Width());
  EXPECT_NE(GetWindowStyle(Ctl->Handle()) & WS_VSCROLL, 0u);

  TScrollInfo si;
  si.fMask = SIF_POS;
  si.nPos = 950;
  EXPECT_EQ(SetScrollInfo(Ctl->Handle(), SB_VERT, &si, true), 900);  // last page start
  si.nPos = -5;
  EXPECT_EQ(SetScrollInfo(Ctl->Handle(), SB_VERT, &si, true), 0);

  // Everything fits: with SIF_DISABLENOSCROLL the bar stays (disabled) ...
  setRange(99, 100, SIF_DISABLENOSCROLL);
  TRect kept;
  GetClientRect(Ctl->Handle(), &kept);
  EXPECT_EQ(kept, after);
  // ... without it the bar goes and the client area grows back.
  setRange(99, 100);
  TRect back;
  GetClientRect(Ctl->Handle(), &back);
  EXPECT_EQ(back, before);
  EXPECT_EQ(GetWindowStyle(Ctl->Handle()) & WS_VSCROLL, 0u);
  EXPECT_EQ(Ctl->Of(WM_SIZE).size(), 2u);
}

TEST_F(GuiFrame, UsingTheBarSendsScrollCodesAndMovesOnlyWhenTheProgramSays) {
  setRange(999, 100);
  HWND h = Ctl->Handle();
  TRect client;
  GetClientRect(h, &client);
  int barX = client.Right + GetSystemMetrics(SM_CXVSCROLL) / 2;
  int barTop = -kHeader, barBottom = client.Bottom;

  // The down arrow, with a program that moves 10 per line.
  Ctl->LineStep = 10;
  Ctl->Record({WM_VSCROLL, WM_NCLBUTTONDOWN});
  InjectMouse(h, imDown, mbLeft, {barX, barBottom - 3}, {});
  InjectMouse(h, imUp, mbLeft, {barX, barBottom - 3}, {});
  pump();
  ASSERT_GE(Ctl->Of(WM_VSCROLL).size(), 2u);
  EXPECT_EQ(Ctl->Of(WM_NCLBUTTONDOWN).at(0).WParam, WPARAM(HTVSCROLL));
  EXPECT_EQ(LOWORD(Ctl->Of(WM_VSCROLL).front().WParam), SB_LINEDOWN);
  EXPECT_EQ(LOWORD(Ctl->Of(WM_VSCROLL).back().WParam), SB_ENDSCROLL);
  EXPECT_EQ(GetScrollPos(h, SB_VERT), 10);

  // A program that ignores the codes keeps the bar where it was.
  Ctl->LineStep = 0;
  Ctl->Record({WM_VSCROLL});
  InjectMouse(h, imDown, mbLeft, {barX, barBottom - 3}, {});
  InjectMouse(h, imUp, mbLeft, {barX, barBottom - 3}, {});
  pump();
  EXPECT_EQ(GetScrollPos(h, SB_VERT), 10);

  // The track below the thumb pages.
  Ctl->Record({WM_VSCROLL});
  int trackY = barTop + (barBottom - barTop) * 3 / 4;
  InjectMouse(h, imDown, mbLeft, {barX, trackY}, {});
  InjectMouse(h, imUp, mbLeft, {barX, trackY}, {});
  pump();
  ASSERT_FALSE(Ctl->Of(WM_VSCROLL).empty());
  EXPECT_EQ(LOWORD(Ctl->Of(WM_VSCROLL).front().WParam), SB_PAGEDOWN);
}

TEST_F(GuiFrame, DraggingTheThumbTracksThenSetsThePosition) {
  setRange(999, 100);
  HWND h = Ctl->Handle();
  TRect client;
  GetClientRect(h, &client);
  int barX = client.Right + GetSystemMetrics(SM_CXVSCROLL) / 2;
  int arrow = GetSystemMetrics(SM_CXVSCROLL);
  int thumbY = -kHeader + arrow + 4;  // the thumb sits right below the up arrow at position 0
  Ctl->Record({WM_VSCROLL});
  int tracked = -1;
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg == WM_VSCROLL && LOWORD(m.WParam) == SB_THUMBTRACK) {
      TScrollInfo si;
      si.fMask = SIF_TRACKPOS | SIF_POS;
      GetScrollInfo(h, SB_VERT, &si);
      tracked = si.nTrackPos;
      EXPECT_EQ(si.nPos, 0);  // the position itself waits for the program
      EXPECT_EQ(si.nTrackPos, HIWORD(m.WParam));
    }
  };
  InjectMouse(h, imDown, mbLeft, {barX, thumbY}, {});
  InjectMouse(h, imMove, mbLeft, {barX, thumbY + 40}, {}, {ssLeft});
  InjectMouse(h, imUp, mbLeft, {barX, thumbY + 40}, {});
  pump();
  std::vector<int> codes;
  for (auto& m : Ctl->Of(WM_VSCROLL)) codes.push_back(LOWORD(m.WParam));
  ASSERT_GE(codes.size(), 3u) << ::testing::PrintToString(codes);
  EXPECT_EQ(codes.front(), SB_THUMBTRACK);
  EXPECT_EQ(codes[codes.size() - 2], SB_THUMBPOSITION);
  EXPECT_EQ(codes.back(), SB_ENDSCROLL);
  EXPECT_GT(tracked, 0);
  EXPECT_EQ(HIWORD(Ctl->Of(WM_VSCROLL)[codes.size() - 2].WParam), tracked);
}

}  // namespace

namespace {

// Asks for both scroll bars when its window is made, as a tree does.
class BarsControl : public Recorder {
public:
  using Recorder::Recorder;

protected:
  void CreateParams(TCreateParams& p) override {
    Recorder::CreateParams(p);
    p.Style |= WS_VSCROLL | WS_HSCROLL;
  }
};

TEST(GuiFrameStyles, WindowMadeWithScrollBarStylesShowsThemAndKeepsThemAcrossBorderChanges) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  auto* c = new BarsControl(form);
  c->SetParent(form);
  c->SetBorderStyle(bsSingle);
  c->SetBounds(0, 0, 200, 150);
  form->Show();
  DWORD style = GetWindowStyle(c->Handle());
  EXPECT_NE(style & WS_VSCROLL, 0u);
  EXPECT_NE(style & WS_HSCROLL, 0u);
  EXPECT_NE(GetWindowExStyle(c->Handle()) & WS_EX_CLIENTEDGE, 0u);
  int bar = GetSystemMetrics(SM_CXVSCROLL);
  EXPECT_EQ(c->ClientRect(), TRect(0, 0, 200 - 4 - bar, 150 - 4 - bar));
  c->SetBorderStyle(bsNone);
  EXPECT_EQ(GetWindowExStyle(c->Handle()) & WS_EX_CLIENTEDGE, 0u);
  EXPECT_EQ(c->ClientRect(), TRect(0, 0, 200 - bar, 150 - bar));
  ShowScrollBar(c->Handle(), SB_BOTH, false);
  EXPECT_EQ(c->ClientRect(), TRect(0, 0, 200, 150));
  delete form;
}

}  // namespace
