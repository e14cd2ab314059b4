// The desktop around the program: clipboard formats and the viewer chain,
// autostart entries (directly and as Run key values), hot keys and opening
// with the default program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gui_test_support.h"
#include "platform/core/strings.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/registry.h"
#include "platform/gui/shell.h"

// True when the session draws offscreen (no display).
bool IsHeadless();

namespace {

using namespace guitest;
using GuiClipboard = FormFixture;

TEST_F(GuiClipboard, TextAndRegisteredFormatsRoundTrip) {
  Clipboard()->SetAsText(u"словарь");
  EXPECT_TRUE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_TRUE(Clipboard()->HasFormat(CF_UNICODETEXT));
  EXPECT_EQ(Clipboard()->AsText(), u"словарь");

  UINT own = RegisterClipboardFormat(u"Tamrix Tree Nodes");
  EXPECT_EQ(RegisterClipboardFormat(u"tamrix tree nodes"), own);
  EXPECT_GE(own, 0xC000u);
  const char bytes[] = {'\x01', '\x00', '\xff', 'z'};
  Clipboard()->Open();
  Clipboard()->Clear();
  Clipboard()->SetAsText(u"plain");
  Clipboard()->SetBuffer(own, bytes, sizeof bytes);
  Clipboard()->Close();
  EXPECT_TRUE(Clipboard()->HasFormat(own));
  EXPECT_EQ(Clipboard()->GetBuffer(own), RawByteString(bytes, sizeof bytes));  // embedded zero kept
  EXPECT_EQ(Clipboard()->AsText(), u"plain");

  // "HTML Format" keeps its record byte for byte.
  UINT html = RegisterClipboardFormat(u"HTML Format");
  std::string record =
      "Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000178\r\n"
      "StartFragment:0000000137\r\nEndFragment:0000000148\r\n"
      "<html><body><!--StartFragment--><b>word</b><!--EndFragment--></body></html>";
  Clipboard()->SetBuffer(html, record.data(), record.size());
  EXPECT_TRUE(Clipboard()->HasFormat(html));
  EXPECT_EQ(Clipboard()->GetBuffer(html), record);
}

TEST_F(GuiClipboard, ViewerChainIsToldOfChangesAndOfLeavingWindows) {
  auto* second = new Recorder(Form);
  second->SetParent(Form);
  Ctl->Record({WM_DRAWCLIPBOARD, WM_CHANGECBCHAIN});
  second->Record({WM_DRAWCLIPBOARD, WM_CHANGECBCHAIN});
  HWND before = SetClipboardViewer(Ctl->Handle());
  HWND next = SetClipboardViewer(second->Handle());
  EXPECT_EQ(next, Ctl->Handle());
  // Joining the chain draws at once.
  EXPECT_EQ(Ctl->Of(WM_DRAWCLIPBOARD).size(), 1u);
  EXPECT_EQ(second->Of(WM_DRAWCLIPBOARD).size(), 1u);
  // A change reaches the head, which passes it on.
  second->OnMessage = [&](TMessage& m) {
    if (m.Msg == WM_DRAWCLIPBOARD) SendMessage(next, m.Msg, m.WParam, m.LParam);
  };
  Clipboard()->SetAsText(u"copied");
  ASSERT_TRUE(pumpUntil([&] { return Ctl->Of(WM_DRAWCLIPBOARD).size() == 2; }));
  EXPECT_EQ(second->Of(WM_DRAWCLIPBOARD).size(), 2u);
  // The first viewer leaves: the head hears which window left and what follows it.
  ChangeClipboardChain(Ctl->Handle(), before);
  ASSERT_EQ(second->Of(WM_CHANGECBCHAIN).size(), 1u);
  EXPECT_EQ(second->Of(WM_CHANGECBCHAIN)[0].WParam, WPARAM(Ctl->Handle()));
  EXPECT_EQ(second->Of(WM_CHANGECBCHAIN)[0].LParam, LPARAM(before));
  ChangeClipboardChain(second->Handle(), before);
  EXPECT_EQ(GetClipboardViewer(), before);
}

TEST_F(GuiClipboard, AViewerThatDiesWithoutLeavingIsNotCalled) {
  auto* temp = new Recorder(Form);
  temp->SetParent(Form);
  HWND before = SetClipboardViewer(temp->Handle());
  delete temp;
  Clipboard()->SetAsText(u"after");
  pump(5);  // must not reach the freed window
  EXPECT_EQ(GetClipboardViewer(), nullptr);
  if (before) SetClipboardViewer(before);
}

struct TempHome {
  TempHome() {
    Dir = std::filesystem::temp_directory_path() / ("tamrix-gui-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old) Old = old, HadOld = true;
    setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
  }
  ~TempHome() {
    if (HadOld) setenv("XDG_CONFIG_HOME", Old.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(Dir);
  }
  std::filesystem::path Dir;
  std::string Old;
  bool HadOld = false;
};

TEST(GuiDesktop, AutostartEntryIsWrittenReadAndRemoved) {
  Application->Initialize();
  TempHome home;
  String command = u"\"/opt/my apps/tamrix\" --quiet 100%";
  ASSERT_TRUE(WriteAutostartEntry(u"tamrix", command));
  std::filesystem::path file = home.Dir / "config" / "autostart" / "tamrix.desktop";
  EXPECT_EQ(UTF16ToUTF8(AutostartEntryPath(u"tamrix")), file.string());
  ASSERT_TRUE(std::filesystem::exists(file));
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("[Desktop Entry]"), std::string::npos);
  EXPECT_NE(text.str().find("Exec=\"/opt/my apps/tamrix\" --quiet 100%%"), std::string::npos) << text.str();
  EXPECT_TRUE(AutostartEntryExists(u"tamrix"));
  EXPECT_EQ(ReadAutostartEntry(u"tamrix"), command);
  ASSERT_TRUE(DeleteAutostartEntry(u"tamrix"));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(DeleteAutostartEntry(u"tamrix"));  // removing what is not there is fine
  // A name cannot leave the autostart folder.
  ASSERT_TRUE(WriteAutostartEntry(u"../escape", u"/bin/true"));
  EXPECT_FALSE(std::filesystem::exists(home.Dir / "config" / "escape.desktop"));
}

TEST(GuiDesktop, RunKeyValuesAreAutostartEntries) {
  Application->Initialize();
  TempHome home;
  // A program whose path has a blank in it.
  std::filesystem::path exe = home.Dir / "my programs" / "tamrix";
  std::filesystem::create_directories(exe.parent_path());
  std::ofstream(exe) << "#!/bin/sh\n";
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  reg.SetLazyWrite(false);
  EXPECT_FALSE(reg.OpenKey(u"Software\\Other", false));
  EXPECT_THROW(reg.WriteString(u"tamrix", u"x"), ERegistryException);
  ASSERT_TRUE(reg.OpenKey(u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", false));
  EXPECT_FALSE(reg.ValueExists(u"tamrix"));
  reg.WriteString(u"tamrix", UTF8ToUTF16(exe.string()));
  EXPECT_TRUE(AutostartEntryExists(u"tamrix"));
  EXPECT_EQ(reg.ReadString(u"tamrix"), u"\"" + UTF8ToUTF16(exe.string()) + u"\"");
  EXPECT_TRUE(reg.DeleteValue(u"tamrix"));
  EXPECT_FALSE(reg.ValueExists(u"tamrix"));
  EXPECT_FALSE(reg.DeleteValue(u"tamrix"));
  EXPECT_THROW(reg.ReadString(u"tamrix"), ERegistryException);
  reg.CloseKey();
}

TEST(GuiDesktop, HotKeyAndOpenReportFailureInsteadOfPretending) {
  Application->Initialize();
  HWND h = AllocateHWnd([](TMessage&) {});
  // Without an X11 display the key cannot be grabbed; on a real X server it
  // may be (or another client may hold it). Either way the answer is true
  // to what happened: only a key that was taken can be given back.
  const bool taken = RegisterHotKey(h, 1, MOD_CONTROL | MOD_ALT, VK_SPACE);
  if (IsHeadless()) {
    EXPECT_FALSE(taken);
  }
  EXPECT_EQ(UnregisterHotKey(h, 1), taken);
  EXPECT_FALSE(UnregisterHotKey(h, 1)) << "a key given back is no longer held";
  DeallocateHWnd(h);
  EXPECT_EQ(ShellExecute(nullptr, u"open", u"/nonexistent/file.html", u"", u"", SW_SHOW), 2);
  EXPECT_LE(ShellExecute(nullptr, u"print", u"/etc/hostname", u"", u"", SW_SHOW), 32);
}

}  // namespace
