#pragma once
// The clipboard: text, raw data in registered formats, and the viewer chain
// through which windows learn that the clipboard changed.
#include <cstddef>

#include "platform/core/object.h"
#include "platform/core/types.h"
#include "platform/gui/messages.h"

enum : UINT { CF_TEXT = 1, CF_BITMAP = 2, CF_OEMTEXT = 7, CF_DIB = 8, CF_UNICODETEXT = 13, CF_HDROP = 15 };

// A clipboard format number for a name (0xC000..0xFFFF), the same for the
// same name (compared without case). Named formats are shared with other
// programs under the name; "HTML Format" is also offered as ordinary HTML.
UINT RegisterClipboardFormat(const String& Name);
// The name of a registered format (empty for a standard one).
String GetClipboardFormatName(UINT Format);

class TClipboard : public TObject {
public:
  // Between Open and Close, writes are collected and published together at
  // Close; outside a bracket each write publishes at once.
  void Open();
  void Close();
  // Empties the clipboard (within a bracket: starts a new set of formats).
  void Clear();

  String AsText();
  void SetAsText(const String& value);
  bool HasFormat(UINT Format);
  // Raw data of a format (text formats give UTF-8 bytes; CF_UNICODETEXT
  // gives UTF-16 little-endian with no terminator).
  RawByteString GetBuffer(UINT Format);
  void SetBuffer(UINT Format, const void* Data, std::size_t Size);
  // The formats the clipboard holds now.
  int FormatCount();
  UINT Formats(int Index);

private:
  friend void ClipboardWithdrawn(const class QMimeData* Held);
  int FOpenCount = 0;
  void* FPending = nullptr;  // formats collected inside Open/Close
};

TClipboard* Clipboard();

// The clipboard viewer chain. SetClipboardViewer puts the window at the
// head and returns the previous head (the next viewer the window must pass
// WM_DRAWCLIPBOARD and WM_CHANGECBCHAIN on to); the new viewer receives
// WM_DRAWCLIPBOARD at once. Every clipboard change sends WM_DRAWCLIPBOARD to
// the head.
HWND SetClipboardViewer(HWND Wnd);
// Takes Remove out of the chain: the head is told with WM_CHANGECBCHAIN
// (WParam = Remove, LParam = Next), or becomes Next when Remove was the head.
bool ChangeClipboardChain(HWND Remove, HWND Next);
HWND GetClipboardViewer();
