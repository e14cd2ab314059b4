// The program entry: the application object, its four windows in order,
// and the message loop until the main window closes. No arguments are read.
#include "app/dicts_form.h"
#include "app/main_form.h"
#include "app/options_form.h"
#include "app/vk_form.h"
#include "platform/graphics/font.h"
#include "platform/gui/forms.h"

int main() {
  Application->Initialize();
  // The first article with Cyrillic or phonetic text must not wait for the
  // fonts' character tables: read them while the windows are made.
  WarmUpFontData();
  Application->SetTitle(u"tamrix 5.7");
  try {
    Application->CreateForm<TRuForm>();
    Application->CreateForm<TDictsForm>();
    Application->CreateForm<TOptionsForm>();
    Application->CreateForm<TvkForm>();
  } catch (...) {
    Application->HandleException(Application);
  }
  Application->Run();
  // The warm-up's thread, when it is still reading, ends before the
  // toolkit begins to come apart.
  EndFontWarmUp();
  // The windows (and the tray icon with its menu) hold toolkit windows:
  // they end now, while the toolkit is whole, not among the process's
  // static objects after it has begun to come apart.
  Application->DestroyComponents();
  return 0;
}
