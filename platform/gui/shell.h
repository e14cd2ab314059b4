#pragma once
// The desktop around the program: opening files and addresses with their
// default program, starting with the user's session, and a system-wide hot
// key.
#include <functional>

#include "platform/core/types.h"
#include "platform/gui/messages.h"

// Opens File (a path or an address) with the desktop's default program.
// Operation "open" (or empty) is the only one supported. Returns a value
// above 32 on success, as callers of the system routine expect, and 2 (file
// not found) or 31 (no association) on failure.
std::intptr_t ShellExecute(HWND Owner, const String& Operation, const String& File,
                           const String& Parameters, const String& Directory, int ShowCmd);
// The same for "open", for a caller that wants to hear of a failure the
// desktop finds only later: its opener may start, look for a program and
// find none. False when nothing could be started (OnFailed is not called);
// true when the opener started, and OnFailed runs later, on the GUI thread,
// with the opener's own words and its exit code, if it ends without having
// opened File. The opener and whatever it starts run on their own: a session
// of their own, nothing of this program's (no pipe, no descriptor) attached,
// so they live on after the opener and after this program.
using TShellOpenFailed = std::function<void(const String& Reason)>;
bool ShellOpen(const String& File, TShellOpenFailed OnFailed);

// Start with the user's session: an XDG autostart entry named Name (the
// file "<Name>.desktop" in $XDG_CONFIG_HOME/autostart, by default
// ~/.config/autostart) that runs CommandLine. CommandLine is a command as a
// shell would split it ("path with spaces" quoted). Returns false when the
// entry cannot be written or removed.
bool WriteAutostartEntry(const String& Name, const String& CommandLine);
bool DeleteAutostartEntry(const String& Name);
bool AutostartEntryExists(const String& Name);
// The command line of an existing entry (empty when there is none).
String ReadAutostartEntry(const String& Name);
// The full path of the entry file.
String AutostartEntryPath(const String& Name);

// A system-wide hot key: Modifiers are MOD_ALT/MOD_CONTROL/MOD_SHIFT/MOD_WIN,
// VirtKey a virtual-key code. The window receives WM_HOTKEY with WParam = Id
// and LParam = MAKELPARAM(Modifiers, VirtKey). Works where the session runs
// on X11; elsewhere, or when another program holds the key, returns false.
bool RegisterHotKey(HWND Wnd, int Id, UINT Modifiers, UINT VirtKey);
bool UnregisterHotKey(HWND Wnd, int Id);
