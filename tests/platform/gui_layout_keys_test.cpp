// Keys of non-US layouts and input-method text: they type characters, so
// they must arrive as key down, character, key up like the letters do (a
// tree starts its incremental search on the key-down of a character key).
#include <gtest/gtest.h>

#include "gui_test_support.h"

namespace {

using namespace guitest;

using GuiLayoutKeys = FormFixture;

TEST_F(GuiLayoutKeys, AccentedAndForeignLettersGoDownTypeAndComeUp) {
  HWND h = Ctl->Handle();
  Ctl->Record({WM_KEYDOWN, WM_CHAR, WM_KEYUP});
  struct Case {
    UINT vk;
    const char16_t* text;
  };
  // A German umlaut, a French accented letter, a Cyrillic letter (keys of
  // other layouts), and text from an input method.
  for (Case c : {Case{0, u"ä"}, Case{0, u"é"}, Case{0, u"ж"}, Case{0xE5, u"語"}}) {
    Ctl->Seen.clear();
    InjectKeyStroke(h, c.vk, {}, c.text);
    ASSERT_EQ(Ctl->Messages(), (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}))
        << int(c.text[0]);
    EXPECT_GE(Ctl->Seen[0].WParam, WPARAM(32));
    EXPECT_EQ(Ctl->Seen[1].WParam, WPARAM(c.text[0]));
    EXPECT_EQ(Ctl->Seen[2].WParam, Ctl->Seen[0].WParam);
  }
}

}  // namespace
