// The main window's own messages: the clipboard viewer chain and the double
// copy, the system close command, the hot key; and the tray menu.
#include <unistd.h>

#include <string>

#include "app/main_form.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/windows.h"
#include "tray/tray_icon.h"

void TRuForm::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_HOTKEY: WMHotKey(Message); return;
    case WM_SYSCOMMAND: WMSysCommand(Message); return;
    case WM_CHANGECBCHAIN: WMChangeCBChain(Message); return;
    case WM_DRAWCLIPBOARD: WMDrawClipboard(Message); return;
    default: TForm::Dispatch(Message); return;
  }
}

// The next viewer is kept for the program, not per window: a second main
// window (or one that joined twice) may find itself there. A window never
// passes a message on to itself, which would send it round for ever.
HWND TRuForm::nextClipboardViewer() { return NextClipboardViewer == Handle() ? nullptr : NextClipboardViewer; }

void TRuForm::WMChangeCBChain(TMessage& Message) {
  if (reinterpret_cast<HWND>(Message.WParam) == NextClipboardViewer)
    NextClipboardViewer = reinterpret_cast<HWND>(Message.LParam);
  else if (HWND next = nextClipboardViewer())
    SendMessage(next, WM_CHANGECBCHAIN, Message.WParam, Message.LParam);
}

namespace {

// The program's own copies carry a mark of this run beside their formats,
// so that the clipboard watch tells them from copies made elsewhere
// (another run of the program included). A copy by another program
// replaces the whole clipboard, the mark with it.
UINT ownCopyFormat() { return RegisterClipboardFormat(u"tamrix own copy"); }
RawByteString ownCopyMark() { return "tamrix " + std::to_string(getpid()); }

}  // namespace

void TRuForm::CopyOwn(const std::function<void()>& Copy) {
  TClipboard* clip = Clipboard();
  const RawByteString mark = ownCopyMark();
  // One change: what Copy stores and the mark are published together.
  clip->Open();
  try {
    clip->Clear();
    Copy();
    clip->SetBuffer(ownCopyFormat(), mark.data(), mark.size());
  } catch (...) {
    clip->Close();
    throw;
  }
  clip->Close();
}

bool TRuForm::IsOwnCopy() {
  TClipboard* clip = Clipboard();
  return clip->HasFormat(ownCopyFormat()) && clip->GetBuffer(ownCopyFormat()) == ownCopyMark();
}

void TRuForm::WMDrawClipboard(TMessage& Message) {
  TClipboard* clip = Clipboard();
  const bool hasText = clip->HasFormat(CF_TEXT) || clip->HasFormat(CF_UNICODETEXT);
  const String text = hasText ? clip->AsText() : String();
  if (IsOwnCopy()) {
    // The program's own copy ("в буфер" pressed twice, say) is no double
    // copy, and no half of one either.
    LastClipboardText.clear();
  } else if (hasText && text == LastClipboardText && AppSettings.UseCtrlC && !FClosing) {
    LastClipboardText.clear();
    QueryCombo->SetText(text);
    const HWND next = nextClipboardViewer();
    // The search may end with the window gone (its handlers may close it).
    const std::weak_ptr<bool> alive = FAlive;
    // A search under way is ended and this one follows it.
    SearchQuery();
    if (alive.expired()) {
      if (next && IsWindow(next)) SendMessage(next, WM_DRAWCLIPBOARD, Message.WParam, Message.LParam);
      return;
    }
    TrayIcon2->ShowMainForm();
  } else {
    LastClipboardText = text;
  }
  if (HWND next = nextClipboardViewer()) SendMessage(next, WM_DRAWCLIPBOARD, Message.WParam, Message.LParam);
}

void TRuForm::WMSysCommand(TMessage& Message) {
  if (Message.WParam == SC_CLOSE && AppSettings.MinimizeAtClosing) {
    // Without a notification area the window is minimised instead of
    // hidden: a hidden window could never be brought back.
    if (AppSettings.HideToSysTray && TrayIcon2->IconShown()) SetVisible(false);
    else Application->Minimize();
    return;
  }
  TForm::Dispatch(Message);
}

void TRuForm::WMHotKey(TMessage& Message) {
  if (Message.WParam != 1) return;
  // Control, Alt and Space are still held: their releases reach the query
  // box, which must not take them for typing.
  FHotKeyReleases = {VK_CONTROL, VK_MENU, VK_SPACE};
  if (TrayIcon2->MinimizeToTray()) TrayIcon2->ShowMainForm();
  else Application->Restore();
  Application->BringToFront();
  SetForegroundWindow(Handle());
  if (QueryCombo->CanFocus()) QueryCombo->SetFocus();
}

void TRuForm::TrayIcon1Click(TObject*) {
  if (!Visible()) TrayIcon2->ShowMainForm();
  else TrayIcon2->HideMainForm();
}

void TRuForm::N4Click(TObject*) { TrayIcon2->ShowMainForm(); }
void TRuForm::N5Click(TObject*) { TrayIcon2->HideMainForm(); }
void TRuForm::N6Click(TObject*) { Close(); }
