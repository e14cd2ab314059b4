// System-wide hot keys over an X11 key grab. libxcb and libX11 are loaded at
// run time from the session's own libraries (Qt's X11 support already has
// them loaded), so the program builds and runs without them and simply
// reports failure where there is no X11.
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>

#include <dlfcn.h>

#include <cstdint>
#include <map>

#include "platform/gui/gui_private.h"
#include "platform/gui/shell.h"

namespace {

// The few X11 protocol structures we read, as the protocol lays them out.
struct XcbGenericEvent {
  std::uint8_t response_type;
  std::uint8_t pad0;
  std::uint16_t sequence;
};
struct XcbKeyPressEvent {
  std::uint8_t response_type;
  std::uint8_t detail;  // key code
  std::uint16_t sequence;
  std::uint32_t time, root, event, child;
  std::int16_t root_x, root_y, event_x, event_y;
  std::uint16_t state;
  std::uint8_t same_screen, pad0;
};
struct XcbVoidCookie {
  unsigned int sequence;
};
struct XcbScreen {
  std::uint32_t root;
};
struct XcbScreenIterator {
  XcbScreen* data;
  int rem;
  int index;
};

constexpr std::uint8_t kKeyPress = 2;
constexpr std::uint16_t kShiftMask = 1, kLockMask = 2, kControlMask = 4, kMod1Mask = 8, kMod2Mask = 16,
                        kMod4Mask = 64;

struct X11 {
  bool Loaded = false;
  void* Connection = nullptr;
  void* Display = nullptr;
  std::uint32_t Root = 0;
  XcbVoidCookie (*GrabKeyChecked)(void*, std::uint8_t, std::uint32_t, std::uint16_t, std::uint8_t,
                                  std::uint8_t, std::uint8_t) = nullptr;
  XcbVoidCookie (*UngrabKey)(void*, std::uint8_t, std::uint32_t, std::uint16_t) = nullptr;
  void* (*RequestCheck)(void*, XcbVoidCookie) = nullptr;
  int (*Flush)(void*) = nullptr;
  const void* (*GetSetup)(void*) = nullptr;
  XcbScreenIterator (*RootsIterator)(const void*) = nullptr;
  unsigned char (*KeysymToKeycode)(void*, unsigned long) = nullptr;
};

X11& x11() {
  static X11 x;
  static bool tried = false;
  if (tried) return x;
  tried = true;
  EnsureQtApplication();
  auto* native = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!native) return x;
  x.Connection = native->connection();
  x.Display = native->display();
  void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
  if (!xcb || !xlib || !x.Connection || !x.Display) return x;
  x.GrabKeyChecked = reinterpret_cast<decltype(x.GrabKeyChecked)>(dlsym(xcb, "xcb_grab_key_checked"));
  x.UngrabKey = reinterpret_cast<decltype(x.UngrabKey)>(dlsym(xcb, "xcb_ungrab_key"));
  x.RequestCheck = reinterpret_cast<decltype(x.RequestCheck)>(dlsym(xcb, "xcb_request_check"));
  x.Flush = reinterpret_cast<decltype(x.Flush)>(dlsym(xcb, "xcb_flush"));
  x.GetSetup = reinterpret_cast<decltype(x.GetSetup)>(dlsym(xcb, "xcb_get_setup"));
  x.RootsIterator = reinterpret_cast<decltype(x.RootsIterator)>(dlsym(xcb, "xcb_setup_roots_iterator"));
  x.KeysymToKeycode = reinterpret_cast<decltype(x.KeysymToKeycode)>(dlsym(xlib, "XKeysymToKeycode"));
  if (!x.GrabKeyChecked || !x.UngrabKey || !x.RequestCheck || !x.Flush || !x.GetSetup || !x.RootsIterator ||
      !x.KeysymToKeycode)
    return x;
  XcbScreenIterator it = x.RootsIterator(x.GetSetup(x.Connection));
  if (!it.data) return x;
  x.Root = it.data->root;
  x.Loaded = true;
  return x;
}

// The X key symbol of a virtual key.
unsigned long keysymOf(UINT vk) {
  if (vk >= 'A' && vk <= 'Z') return 0x61 + (vk - 'A');
  if (vk >= '0' && vk <= '9') return 0x30 + (vk - '0');
  if (vk >= VK_F1 && vk <= VK_F24) return 0xFFBE + (vk - VK_F1);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return 0xFFB0 + (vk - VK_NUMPAD0);
  switch (vk) {
    case VK_SPACE: return 0x20;
    case VK_RETURN: return 0xFF0D;
    case VK_TAB: return 0xFF09;
    case VK_ESCAPE: return 0xFF1B;
    case VK_BACK: return 0xFF08;
    case VK_INSERT: return 0xFF63;
    case VK_DELETE: return 0xFFFF;
    case VK_HOME: return 0xFF50;
    case VK_END: return 0xFF57;
    case VK_PRIOR: return 0xFF55;
    case VK_NEXT: return 0xFF56;
    case VK_LEFT: return 0xFF51;
    case VK_UP: return 0xFF52;
    case VK_RIGHT: return 0xFF53;
    case VK_DOWN: return 0xFF54;
    case VK_PAUSE: return 0xFF13;
    case VK_SNAPSHOT: return 0xFF61;
    default: return 0;
  }
}

std::uint16_t maskOf(UINT mods) {
  std::uint16_t m = 0;
  if (mods & MOD_ALT) m |= kMod1Mask;
  if (mods & MOD_CONTROL) m |= kControlMask;
  if (mods & MOD_SHIFT) m |= kShiftMask;
  if (mods & MOD_WIN) m |= kMod4Mask;
  return m;
}

// Caps Lock and Num Lock must not stop the hot key: grab every combination.
const std::uint16_t kLockVariants[] = {0, kLockMask, kMod2Mask, kLockMask | kMod2Mask};

struct HotKey {
  HWND Wnd;
  std::uint64_t Serial;
  int Id;
  UINT Modifiers;
  UINT VirtKey;
  std::uint8_t KeyCode;
  std::uint16_t Mask;
};

std::map<std::pair<HWND, int>, HotKey>& hotKeys() {
  static std::map<std::pair<HWND, int>, HotKey> m;
  return m;
}

class HotKeyFilter : public QAbstractNativeEventFilter {
public:
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    auto* ev = static_cast<XcbGenericEvent*>(message);
    if ((ev->response_type & 0x7F) != kKeyPress) return false;
    auto* key = static_cast<XcbKeyPressEvent*>(message);
    std::uint16_t state = key->state & std::uint16_t(kShiftMask | kControlMask | kMod1Mask | kMod4Mask);
    for (auto& [k, h] : hotKeys()) {
      if (h.KeyCode != key->detail || h.Mask != state) continue;
      if (!IsLiveWindow(h.Wnd, h.Serial)) continue;
      PostMessage(h.Wnd, WM_HOTKEY, WPARAM(h.Id), MAKELPARAM(int(h.Modifiers), int(h.VirtKey)));
      // Passed on: the toolkit takes the press's time as the user's last
      // action (the press goes to no window of its own, the grab being on
      // the root). Eaten here, an activation the hot key asks for would
      // carry an older time, which the display refuses once another
      // program has taken the keyboard since.
      return false;
    }
    return false;
  }
};

void installFilter() {
  static HotKeyFilter* filter = nullptr;
  if (filter) return;
  filter = new HotKeyFilter;
  QCoreApplication::instance()->installNativeEventFilter(filter);
}

void ungrab(X11& x, const HotKey& h) {
  for (std::uint16_t v : kLockVariants) x.UngrabKey(x.Connection, h.KeyCode, x.Root, std::uint16_t(h.Mask | v));
  x.Flush(x.Connection);
}

}  // namespace

bool RegisterHotKey(HWND Wnd, int Id, UINT Modifiers, UINT VirtKey) {
  if (!IsWindow(Wnd)) return false;
  if (hotKeys().count({Wnd, Id})) return false;  // the id is taken for this window
  X11& x = x11();
  if (!x.Loaded) return false;
  unsigned long sym = keysymOf(VirtKey);
  if (!sym) return false;
  std::uint8_t code = x.KeysymToKeycode(x.Display, sym);
  if (!code) return false;
  HotKey h{Wnd, Wnd->Serial, Id, Modifiers, VirtKey, code, maskOf(Modifiers)};
  // Another program holding the key makes the grab fail with an access error.
  bool ok = true;
  for (std::uint16_t v : kLockVariants) {
    XcbVoidCookie c = x.GrabKeyChecked(x.Connection, 1, x.Root, std::uint16_t(h.Mask | v), code, 1, 1);
    if (void* err = x.RequestCheck(x.Connection, c)) {
      free(err);
      ok = false;
    }
  }
  if (!ok) {
    ungrab(x, h);
    return false;
  }
  x.Flush(x.Connection);
  installFilter();
  hotKeys()[{Wnd, Id}] = h;
  return true;
}

bool UnregisterHotKey(HWND Wnd, int Id) {
  auto it = hotKeys().find({Wnd, Id});
  if (it == hotKeys().end()) return false;
  X11& x = x11();
  if (x.Loaded) ungrab(x, it->second);
  hotKeys().erase(it);
  return true;
}
