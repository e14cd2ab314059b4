// Scroll positions as handlers see them: the scroll bar control's OnScroll
// near the ends of its range, and the frame bar's track position while the
// program handles the dropped thumb.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/stdctrls.h"

namespace {

using namespace guitest;

using GuiScrolling = FormFixture;

TEST_F(GuiScrolling, ScrollBarControlNeverReportsAPositionOutsideItsRange) {
  auto* bar = new TScrollBar(Form);
  bar->SetParent(Form);
  bar->SetKind(sbVertical);
  bar->SetBounds(300, 10, 16, 200);
  bar->SetParams(3, 0, 100);
  bar->SetSmallChange(5);
  bar->SetLargeChange(40);
  pump();
  std::vector<std::pair<TScrollCode, int>> seen;
  bar->OnScroll = [&](TObject*, TScrollCode code, int& pos) { seen.push_back({code, pos}); };

  // One line up from 3 stops at the minimum.
  InjectMouse(bar->Handle(), imDown, mbLeft, {8, 4}, {});
  InjectMouse(bar->Handle(), imUp, mbLeft, {8, 4}, {});
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().first, scLineUp);
  EXPECT_EQ(seen.front().second, 0);
  EXPECT_EQ(bar->Position(), 0);

  // One line down from 98 stops at the maximum.
  bar->SetPosition(98);
  pump();
  seen.clear();
  InjectMouse(bar->Handle(), imDown, mbLeft, {8, 196}, {});
  InjectMouse(bar->Handle(), imUp, mbLeft, {8, 196}, {});
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().first, scLineDown);
  EXPECT_EQ(seen.front().second, 100);
  EXPECT_EQ(bar->Position(), 100);

  // A page up from 30 with a page of 40 stops at the minimum as well (the
  // thumb sits lower down, so a click near the top arrow hits the track).
  bar->SetPosition(30);
  pump();
  seen.clear();
  InjectMouse(bar->Handle(), imDown, mbLeft, {8, 30}, {});
  InjectMouse(bar->Handle(), imUp, mbLeft, {8, 30}, {});
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().first, scPageUp);
  EXPECT_EQ(seen.front().second, 0);
}

TEST_F(GuiScrolling, DroppedThumbPositionIsReadableAsTheTrackPosition) {
  HWND h = Ctl->Handle();
  TScrollInfo si;
  si.fMask = SIF_RANGE | SIF_PAGE;
  si.nMax = 999;
  si.nPage = 50;
  SetScrollInfo(h, SB_VERT, &si, true);
  pump();
  TRect client;
  GetClientRect(h, &client);
  int barX = client.Right + GetSystemMetrics(SM_CXVSCROLL) / 2;
  int thumbY = GetSystemMetrics(SM_CXVSCROLL) + 3;  // the thumb starts right below the up arrow
  int lastTrack = -1, atDrop = -1, dropCode = -1;
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg != WM_VSCROLL) return;
    int code = LOWORD(m.WParam);
    TScrollInfo t;
    t.fMask = SIF_TRACKPOS;
    GetScrollInfo(h, SB_VERT, &t);
    if (code == SB_THUMBTRACK) lastTrack = t.nTrackPos;
    if (code == SB_THUMBPOSITION) {
      dropCode = HIWORD(m.WParam);
      atDrop = t.nTrackPos;
    }
  };
  InjectMouse(h, imDown, mbLeft, {barX, thumbY}, {});
  InjectMouse(h, imMove, mbLeft, {barX, thumbY + 30}, {}, {ssLeft});
  InjectMouse(h, imUp, mbLeft, {barX, thumbY + 30}, {});
  pump();
  ASSERT_GT(lastTrack, 0);
  EXPECT_EQ(dropCode, lastTrack);
  // A tree reads where the thumb was dropped, not the old position 0.
  EXPECT_EQ(atDrop, lastTrack);
  // Nobody moved the position, so the bar goes back to it afterwards.
  si.fMask = SIF_TRACKPOS | SIF_POS;
  GetScrollInfo(h, SB_VERT, &si);
  EXPECT_EQ(si.nPos, 0);
  EXPECT_EQ(si.nTrackPos, 0);
}

}  // namespace
