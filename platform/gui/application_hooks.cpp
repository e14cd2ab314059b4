// The application's main-window hooks, through which components (the tray
// icon) watch the main form's messages.
#include <algorithm>

#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"

int TApplication::HookMainWindow(TWindowHook Hook) {
  const int cookie = FNextHook++;
  FHooks.emplace_back(cookie, std::move(Hook));
  return cookie;
}

void TApplication::UnhookMainWindow(int Cookie) {
  std::erase_if(FHooks, [Cookie](const auto& h) { return h.first == Cookie; });
}

bool TApplication::CallMainWindowHooks(TMessage& Message) {
  // A hook may unhook itself or others while it runs: walk a copy.
  const auto hooks = FHooks;
  for (const auto& [cookie, hook] : hooks) {
    const bool live = std::any_of(FHooks.begin(), FHooks.end(), [c = cookie](const auto& h) { return h.first == c; });
    if (live && hook && hook(Message)) return true;
  }
  return false;
}

void TForm::WndProc(TMessage& Message) {
  if (Application && Application->MainForm() == this) {
    // A hook may free the form.
    const std::weak_ptr<TControlPrivate> self = FPrivate;
    if (Application->CallMainWindowHooks(Message) || !ControlLives(self)) return;
  }
  TWinControl::WndProc(Message);
}
