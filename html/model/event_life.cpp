// What a freed viewer's raisers used, freed after the message in hand.
#include "html/model/event_life.h"

#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/forms.h"
#include "platform/gui/messages.h"
#include "platform/gui/windows.h"

namespace {

constexpr UINT WM_FREE_KEPT = WM_USER + 0x4F1;

// Never freed: whatever is still waiting at exit stays reachable.
std::vector<std::shared_ptr<void>>& waiting() {
  static auto* list = new std::vector<std::shared_ptr<void>>();
  return *list;
}

HWND freeingWindow() {
  static HWND window = AllocateHWnd([](TMessage& Message) {
    if (Message.Msg != WM_FREE_KEPT) return;
    // What is freed may ask for more to be freed later.
    std::vector<std::shared_ptr<void>> now;
    now.swap(waiting());
    now.clear();
  });
  return window;
}

}  // namespace

void htFreeLater(std::shared_ptr<void> Kept) {
  if (!Kept) return;
  const HWND window = freeingWindow();
  if (!window || !PostMessage(window, WM_FREE_KEPT, 0, 0)) return;  // Kept goes here and now
  waiting().push_back(std::move(Kept));
}

bool htSetFocus(TWinControl* Control, const ThtEventToken& Watch) {
  const HWND window = Control->Handle();
  if (TForm* form = Control->GetParentForm()) form->SetActiveControl(Control);
  if (!Watch.PageKept()) return false;
  ::SetFocus(window);
  return Watch.PageKept();
}
