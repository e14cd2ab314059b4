#pragma once
// A viewer on a borderless, shown form, for tests that drive a page through
// real windows.
#include <unistd.h>

#include <string>

#include "html/viewer/html_view.h"
#include "platform/core/strings.h"
#include "platform/gui/forms.h"

struct ViewerOnForm {
  TForm* Form = nullptr;
  THtmlView* View = nullptr;

  void openViewer(int Width, int Height) {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, Width, Height);
    View = new THtmlView(Form);
    View->SetParent(Form);
    View->SetBorderStyle(htNone);
    View->SetDefFontName(u"DejaVu Serif");
    View->SetBounds(0, 0, Width, Height);
    Form->Show();
    Application->ProcessMessages();
  }
  // The message pump works at most once a millisecond: each round waits a
  // little so that every round pumps for real.
  static void settle() {
    for (int i = 0; i < 4; ++i) {
      ::usleep(2000);
      Application->ProcessMessages();
    }
  }
  // Loads a page the way articles are loaded and lets it paint.
  void load(const std::string& html) {
    View->LoadFromString(UTF8ToUTF16(html));
    paint();
  }
  void paint() {
    settle();
    View->PaintPanel()->Invalidate();
    settle();
  }
  // Frees the form and the viewer on it.
  void closeViewer() {
    delete Form;
    Form = nullptr;
    View = nullptr;
  }
};
