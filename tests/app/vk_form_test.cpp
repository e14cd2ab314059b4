// The virtual keyboard: layouts from "other/vk" as tabs of key buttons, and
// its keys typing into the main window's query box.
#include "platform/core/strings.h"
#include "tests/app/main_form_util.h"

using apptest::utf16File;
using apptest::writeFile;

namespace {

class VirtualKeyboard : public apptest::MainWindow {
protected:
  void SetUp() override {
    MainWindow::SetUp();
    Dict("ru").Properties("Russian", "ru").Word({0, "ЖАБА", "toad"}).Word({0, "ЖУК", "beetle"}).Word({0, "ЛИС", "fox"});
    List("ru 1\r\n");
  }

  void Layouts(const std::u16string& text) { writeFile(Dir / "other/vk", utf16File(text)); }

  // "caption@left,top" of the shown keys, in button order.
  std::string Shown() {
    std::string out;
    for (TButton* b : Vk->KeyButtons)
      if (b->Visible())
        out += (out.empty() ? "" : " ") + UTF16ToUTF8(b->Caption()) + "@" + std::to_string(b->Left()) + "," +
               std::to_string(b->Top());
    return out;
  }
  std::vector<std::string> Tabs() {
    std::vector<std::string> out;
    for (int i = 0; i < Vk->vkTab->Tabs()->Count(); ++i) out.push_back(UTF16ToUTF8(Vk->vkTab->Tabs()->Strings(i)));
    return out;
  }
  TButton* Key(const String& caption) {
    for (TButton* b : Vk->KeyButtons)
      if (b->Caption() == caption) return b;
    return nullptr;
  }
};

TEST_F(VirtualKeyboard, LayoutsBecomeTabsOfPlacedKeys) {
  Layouts(u"EN: QWERTY ASDF\r\nRU: ЙЦ  УК\r\nX: 1 2 3 45\r\n#ignored: AB\r\n");
  Start();
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"EN", "RU", "X"}));
  EXPECT_EQ(Vk->LayoutIndex, 2);
  EXPECT_EQ(Vk->KeyButtons.size(), 19u);
  EXPECT_EQ(Vk->KeyButtons[0]->Width(), 28);
  // Rows 2 and 3 are staggered by 15 pixels per row.
  EXPECT_EQ(Shown(), "Q@15,50 W@45,50 E@75,50 R@105,50 T@135,50 Y@165,50 A@30,80 S@60,80 D@90,80 F@120,80");
  // Two blanks skip a row; row 4 is not staggered and stands 7 pixels lower.
  Vk->vkTab->SetTabIndex(1);
  Vk->vkTabChange(Vk->vkTab);
  EXPECT_EQ(Shown(), "Й@15,50 Ц@45,50 У@45,110 К@75,110");
  Vk->vkTab->SetTabIndex(2);
  Vk->vkTabChange(Vk->vkTab);
  EXPECT_EQ(Shown(), "1@15,50 2@30,80 3@45,110 4@15,147 5@45,147");
  EXPECT_EQ(Vk->Caption(), u"виртуальная клавиатура");
  EXPECT_EQ(Vk->SpaceButton->Caption(), u"Space Bar");
}

TEST_F(VirtualKeyboard, KeysTypeIntoTheQueryAndCompletionFollows) {
  Layouts(u"Русская: ЖУКА\r\n#");
  Start();
  Form->vkButtonClick(Form);
  EXPECT_TRUE(Vk->Visible());
  // It belongs to the main window, and stays in front of it.
  EXPECT_EQ(Vk->PopupParent(), Form);
  Key(u"Ж")->Click();
  EXPECT_EQ(Form->QueryCombo->Text(), u"Ж");
  // Completion runs as for a typed key.
  EXPECT_EQ(Tree(), "Russian(0,0)[ЖАБА#1,ЖУК#2]");
  Key(u"У")->Click();
  EXPECT_EQ(Tree(), "Russian(0,0)[ЖУК#2]");
  Vk->SpaceButton->Click();
  EXPECT_EQ(Form->QueryCombo->Text(), u"ЖУ ");
  Vk->BackSpaceButton->Click();
  Vk->BackSpaceButton->Click();
  EXPECT_EQ(Form->QueryCombo->Text(), u"Ж");
  EXPECT_EQ(Tree(), "Russian(0,0)[ЖАБА#1,ЖУК#2]");
  Vk->BackSpaceButton->Click();
  Vk->BackSpaceButton->Click();
  EXPECT_EQ(Form->QueryCombo->Text(), u"");
  // Enter hides the keyboard and searches.
  for (const char16_t* k : {u"Ж", u"У", u"К"}) Key(k)->Click();
  Vk->EnterButton->Click();
  EXPECT_FALSE(Vk->Visible());
  EXPECT_EQ(Tree(), "Russian(0,0)[ЖУК#2]");
}

TEST_F(VirtualKeyboard, BrokenFilesGiveFewerKeysNotACrash) {
  // Missing at start-up.
  std::filesystem::remove(Dir / "other/vk");
  Start();
  EXPECT_TRUE(Tabs().empty());
  EXPECT_TRUE(Vk->KeyButtons.empty());
  Form->vkButtonClick(Form);
  Vk->vkTabChange(Vk->vkTab);
  Vk->EnterButton->Click();
  // Empty, only the byte-order mark, an odd byte, a name cut off.
  for (const std::string& content : {std::string(), std::string("\xFF\xFE"), std::string("\xFF\xFE" "A"),
                                     utf16File(u"EN")}) {
    writeFile(Dir / "other/vk", content);
    Vk->LoadLayouts(u"other/vk");
    EXPECT_TRUE(Tabs().empty());
    EXPECT_TRUE(Vk->KeyButtons.empty());
    Vk->vkTabChange(Vk->vkTab);
  }
  // The last line needs no line end before "#" or the end of the file.
  for (const std::u16string& text : {std::u16string(u"EN: QWE"), std::u16string(u"EN: QWE#RU: Й\r\n")}) {
    writeFile(Dir / "other/vk", utf16File(text));
    Vk->LoadLayouts(u"other/vk");
    EXPECT_EQ(Tabs(), std::vector<std::string>{"EN"});
    EXPECT_EQ(Shown(), "Q@15,50 W@45,50 E@75,50");
  }
}

TEST_F(VirtualKeyboard, TheFileEndsAtItsEndAndItsLimitsHold) {
  // No "#": the end of the file ends it; a name without keys at the end is a tab without keys.
  Layouts(u"A: XY\r\n\r\nB: Z\r\nC:");
  Start();
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"A", "B", "C"}));
  // The blank line makes no layout: B still gets its own keys.
  Vk->vkTab->SetTabIndex(1);
  Vk->vkTabChange(Vk->vkTab);
  EXPECT_EQ(Shown(), "Z@15,50");
  Vk->vkTab->SetTabIndex(2);
  Vk->vkTabChange(Vk->vkTab);
  EXPECT_EQ(Shown(), "");

  // Past 16 layouts and 512 keys the rest is left out.
  std::u16string many;
  for (int i = 0; i < 20; ++i) many += u"L" + Utf8ToUnicode(std::to_string(i)) + u": " + std::u16string(40, u'k') + u"\r\n";
  writeFile(Dir / "other/many", utf16File(many + u"#"));
  Vk->LoadLayouts(Utf8ToUnicode((Dir / "other/many").string()));
  EXPECT_EQ(Tabs().size(), 16u);
  EXPECT_EQ(Vk->KeyButtons.size(), 512u);
  EXPECT_EQ(Vk->LayoutRanges[12].First, 481);
  EXPECT_EQ(Vk->LayoutRanges[12].End, 513);
  EXPECT_EQ(Vk->LayoutRanges[15].First, 513);
  EXPECT_EQ(Vk->LayoutRanges[15].End, 513);
}

}  // namespace
