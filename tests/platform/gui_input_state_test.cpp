// Input state that outlives a single event: keys whose release went to
// another window, timers stopped from inside their own message, and the
// order of focus messages, and text stored on the clipboard as a
// zero-terminated block.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/stdctrls.h"

namespace {

using namespace guitest;
using GuiInputState = FormFixture;

TEST_F(GuiInputState, KeyWhoseReleaseWentElsewhereIsAFreshPressNextTime) {
  // A key-down that opens a window of the toolkit's own (a message box)
  // loses its release to that window; the next press of the key is a new
  // press, not a repeat, and Return still reaches the default button.
  auto* ok = new TButton(Form);
  ok->SetParent(Form);
  ok->SetBounds(250, 200, 80, 25);
  ok->SetDefault(true);
  int clicks = 0;
  ok->OnClick = [&](TObject*) { ++clicks; };
  pump();
  HWND h = Ctl->Handle();
  Ctl->Record({WM_KEYDOWN});
  InjectKey(h, 'K', {}, u"k");  // no release follows
  InjectKeyStroke(h, 'K', {}, u"k");
  ASSERT_EQ(Ctl->Of(WM_KEYDOWN).size(), 2u);
  EXPECT_EQ((Ctl->Of(WM_KEYDOWN)[1].LParam >> 30) & 1, 0);
  InjectKey(h, VK_RETURN, {}, u"\r");  // no release follows
  EXPECT_EQ(clicks, 1);
  InjectKeyStroke(h, VK_RETURN, {}, u"\r");
  EXPECT_EQ(clicks, 2);
}

// A key comes up in the window once for each time it went down there: a
// second release follows a press the window never saw (taken by a grab of
// the keyboard, or made in another program that took the keyboard while the
// key was held).
TEST_F(GuiInputState, AKeyComesUpOnlyAfterGoingDownHereWhileTheProgramWasActive) {
  HWND h = Ctl->Handle();
  Ctl->Record({WM_KEYUP});
  for (const bool upHere : {true, false}) {
    SCOPED_TRACE(upHere ? "went up here" : "held as another program took the keyboard");
    InjectFocus(h);
    Ctl->Seen.clear();
    InjectKey(h, 'K', {}, u"k");
    if (upHere) InjectKey(h, 'K', {}, u"k", true);
    else InjectDeactivate();
    InjectFocus(h);
    InjectKey(h, 'K', {}, u"k", true);
    EXPECT_EQ(Ctl->Of(WM_KEYUP).size(), upHere ? 1u : 0u);
  }
}

TEST_F(GuiInputState, TimerKilledOrRestartedInsideItsOwnMessage) {
  HWND h = Ctl->Handle();
  int once = 0, restarted = 0, other = 0;
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg != WM_TIMER) return;
    if (m.WParam == 1) {
      ++once;
      KillTimer(h, 1);
      // Running the loop from here must not deliver the killed timer again.
      Application->HandleMessage();
    } else if (m.WParam == 2) {
      if (++restarted == 1) SetTimer(h, 2, 30);
      else KillTimer(h, 2);
    } else if (m.WParam == 3) {
      ++other;
    }
  };
  SetTimer(h, 1, 1);
  SetTimer(h, 2, 1);
  SetTimer(h, 3, 1);
  EXPECT_TRUE(pumpUntil([&] { return restarted >= 2 && other >= 5; }));
  pump(20);
  EXPECT_EQ(once, 1);
  EXPECT_EQ(restarted, 2);
  EXPECT_FALSE(KillTimer(h, 1));
  EXPECT_FALSE(KillTimer(h, 2));
  EXPECT_TRUE(KillTimer(h, 3));
}

TEST_F(GuiInputState, KillFocusReachesTheOldWindowBeforeSetFocusTheNew) {
  auto* other = new Recorder(Form);
  other->SetParent(Form);
  other->SetBounds(250, 30, 100, 100);
  pump();
  InjectFocus(Ctl->Handle());
  std::vector<std::pair<HWND, UINT>> order;
  Ctl->OnMessage = [&](TMessage& m) {
    if (m.Msg == WM_SETFOCUS || m.Msg == WM_KILLFOCUS) order.push_back({Ctl->Handle(), m.Msg});
  };
  other->OnMessage = [&](TMessage& m) {
    if (m.Msg == WM_SETFOCUS || m.Msg == WM_KILLFOCUS) order.push_back({other->Handle(), m.Msg});
  };
  other->Record({WM_SETFOCUS});
  InjectFocus(other->Handle());
  using P = std::pair<HWND, UINT>;
  EXPECT_EQ(order, (std::vector<P>{P{Ctl->Handle(), WM_KILLFOCUS}, P{other->Handle(), WM_SETFOCUS}}));
  // The window gaining the focus is told which one lost it.
  ASSERT_EQ(other->Of(WM_SETFOCUS).size(), 1u);
  EXPECT_EQ(other->Of(WM_SETFOCUS)[0].WParam, WPARAM(Ctl->Handle()));
  Ctl->OnMessage = nullptr;
  other->OnMessage = nullptr;
}

TEST_F(GuiInputState, FrameDoubleClicksArriveEvenWithoutClientDoubleClicks) {
  // A window that takes no double clicks in its client area still gets
  // them in its frame; in the client area the second click is a press.
  Ctl->SetBorderStyle(bsSingle);
  TControlStyle style = Ctl->ControlStyle();
  style.Exclude(csDoubleClicks);
  Ctl->SetControlStyle(style);
  pump();
  HWND h = Ctl->Handle();
  Ctl->Record({WM_NCLBUTTONDOWN, WM_NCLBUTTONDBLCLK, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK});
  InjectMouse(h, imDown, mbLeft, {-1, 10}, {});
  InjectMouse(h, imUp, mbLeft, {-1, 10}, {});
  InjectMouse(h, imDoubleClick, mbLeft, {-1, 10}, {});
  InjectMouse(h, imUp, mbLeft, {-1, 10}, {});
  InjectMouse(h, imDown, mbLeft, {10, 10}, {});
  InjectMouse(h, imUp, mbLeft, {10, 10}, {});
  InjectMouse(h, imDoubleClick, mbLeft, {10, 10}, {});
  InjectMouse(h, imUp, mbLeft, {10, 10}, {});
  EXPECT_EQ(Ctl->Messages(),
            (std::vector<UINT>{WM_NCLBUTTONDOWN, WM_NCLBUTTONDBLCLK, WM_LBUTTONDOWN, WM_LBUTTONDOWN}));
  ASSERT_EQ(Ctl->Of(WM_NCLBUTTONDBLCLK).size(), 1u);
  EXPECT_EQ(Ctl->Of(WM_NCLBUTTONDBLCLK)[0].WParam, WPARAM(HTBORDER));
}

TEST_F(GuiInputState, ClipboardTextBlocksEndAtTheirTerminatingZero) {
  // An article copy stores its text and its HTML record as zero-terminated
  // blocks, the HTML one larger than its content; the zeros are not text.
  const char16_t wide[] = u"словарь\0\0\0";
  Clipboard()->Clear();
  Clipboard()->SetBuffer(CF_UNICODETEXT, wide, sizeof wide);
  EXPECT_EQ(Clipboard()->AsText(), u"словарь");
  const char narrow[] = "word\0junk";
  Clipboard()->SetBuffer(CF_TEXT, narrow, sizeof narrow);
  EXPECT_EQ(Clipboard()->AsText(), u"word");
  UINT html = RegisterClipboardFormat(u"HTML Format");
  std::string record =
      "Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000178\r\n"
      "StartFragment:0000000137\r\nEndFragment:0000000148\r\n"
      "<html><body><!--StartFragment--><b>word</b><!--EndFragment--></body></html>";
  std::string block = record + std::string(3 * record.size() + 1, '\0');
  Clipboard()->SetBuffer(html, block.data(), block.size());
  EXPECT_EQ(Clipboard()->GetBuffer(html), record);
  // Custom binary formats keep every byte.
  UINT own = RegisterClipboardFormat(u"Tamrix Zero Bytes");
  const char bytes[] = {'a', '\0', 'b', '\0'};
  Clipboard()->SetBuffer(own, bytes, sizeof bytes);
  EXPECT_EQ(Clipboard()->GetBuffer(own), RawByteString(bytes, sizeof bytes));
}

TEST_F(GuiInputState, OneCopyStoringSeveralFormatsIsOneClipboardChange) {
  // Emptying and storing each format of one copy must not look like the
  // same text copied twice; a second copy later is a second change.
  Ctl->Record({WM_DRAWCLIPBOARD});
  HWND before = SetClipboardViewer(Ctl->Handle());
  ASSERT_EQ(Ctl->Of(WM_DRAWCLIPBOARD).size(), 1u);
  const char16_t text[] = u"copied";
  Clipboard()->Clear();
  UINT html = RegisterClipboardFormat(u"HTML Format");
  Clipboard()->SetBuffer(html, "<b>copied</b>", 13);
  Clipboard()->SetBuffer(CF_UNICODETEXT, text, sizeof text);
  ASSERT_TRUE(pumpUntil([&] { return Ctl->Of(WM_DRAWCLIPBOARD).size() >= 2; }));
  pump(10);
  EXPECT_EQ(Ctl->Of(WM_DRAWCLIPBOARD).size(), 2u);
  Clipboard()->SetAsText(u"copied");
  ASSERT_TRUE(pumpUntil([&] { return Ctl->Of(WM_DRAWCLIPBOARD).size() >= 3; }));
  pump(10);
  EXPECT_EQ(Ctl->Of(WM_DRAWCLIPBOARD).size(), 3u);
  ChangeClipboardChain(Ctl->Handle(), before);
}

TEST_F(GuiInputState, AModalBoxCancelsTheModeHoldingTheMouse) {
  TDialogHook old = SetDialogHook([](TDialogRequest&, int& r) {
    r = IDOK;
    return true;
  });
  Ctl->Record({WM_CANCELMODE, WM_CAPTURECHANGED});
  SetCapture(Ctl->Handle());
  MessageBox(Form->Handle(), u"Something went wrong", u"tamrix", MB_OK);
  EXPECT_EQ(Ctl->Messages(), (std::vector<UINT>{WM_CANCELMODE, WM_CAPTURECHANGED}));
  EXPECT_EQ(GetCapture(), nullptr);
  // Without a capture nobody is disturbed.
  Ctl->Seen.clear();
  MessageBox(Form->Handle(), u"Again", u"tamrix", MB_OK);
  EXPECT_TRUE(Ctl->Seen.empty());
  SetDialogHook(old);
}

}  // namespace
