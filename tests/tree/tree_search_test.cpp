// Incremental search: cycling with one letter, extending the text, failing
// without moving, timing out, Cyrillic typed as characters (also through an
// input method), characters outside the BMP and kinds with no node at all.
#include <chrono>
#include <thread>

#include "tests/tree/tree_input_util.h"

using namespace inputtest;

namespace {

struct TSearchTree : TInputFixture {
  TSearchTree() { Tree->SetIncrementalSearch(isAll); }
  void type(const std::string& text) {
    for (char16_t unit : UTF8ToUTF16(text)) {
      // Keys of other alphabets arrive as a processed key with their text.
      InjectKey(handle(), unit < 0x80 ? UINT(std::toupper(int(unit))) : 0, {}, String(1, unit));
      InjectKey(handle(), unit < 0x80 ? UINT(std::toupper(int(unit))) : 0, {}, String(1, unit), true);
      pump();
    }
  }
  // The characters as the window receives them, one WM_CHAR per unit after
  // a processed key.
  void typeUnits(const String& units) {
    Tree->Perform(WM_KEYDOWN, 0xE5, 1);
    for (char16_t unit : units) Tree->Perform(WM_CHAR, unit, 1);
  }
};

}  // namespace

TEST(TreeSearch, OneLetterCyclesAndMoreLettersExtend) {
  TSearchTree f;
  PDataNode apple = f.add(nullptr, "apple");
  PDataNode avocado = f.add(nullptr, "avocado");
  f.add(nullptr, "banana");
  f.show();
  f.type("a");
  EXPECT_EQ(f.Tree->FocusedNode(), apple);
  f.type("a");
  EXPECT_EQ(f.Tree->FocusedNode(), avocado) << "the same letter again cycles";
  f.Tree->Perform(WM_TIMER, SearchTimer, 0);  // the search times out
  f.type("ap");
  EXPECT_EQ(f.Tree->FocusedNode(), apple);
  EXPECT_EQ(f.Tree->SearchBuffer(), u"ap");
  EXPECT_EQ(f.selected(), std::vector<PDataNode>{apple});
}

TEST(TreeSearch, AFailedSearchKeepsFocusAndBufferAndTheTimeoutStartsOver) {
  TSearchTree f;
  f.Tree->SetIncrementalSearchTimeout(400);
  PDataNode apple = f.add(nullptr, "apple");
  PDataNode banana = f.add(nullptr, "banana");
  f.show();
  f.type("ap");
  f.type("x");
  EXPECT_EQ(f.Tree->FocusedNode(), apple);
  EXPECT_EQ(f.Tree->SearchBuffer(), u"ap");
  ASSERT_TRUE(waitFor([&] { return f.Tree->SearchBuffer().empty(); }, 3000));
  EXPECT_TRUE(f.Tree->SearchBuffer().empty()) << "the timer ended the search";
  f.type("b");
  EXPECT_EQ(f.Tree->FocusedNode(), banana);
}

TEST(TreeSearch, CyrillicAndCharactersOutsideTheBmpAreSearchedAsText) {
  TSearchTree f;
  f.add(nullptr, "дом");
  PDataNode zhuk = f.add(nullptr, "жук");
  PDataNode emoji = f.add(nullptr, "\xF0\x9F\x98\x80 smile");
  f.show();
  f.type("жу");
  EXPECT_EQ(f.Tree->FocusedNode(), zhuk);
  f.Tree->Perform(WM_TIMER, SearchTimer, 0);

  // The two halves of one character come as two messages.
  f.typeUnits(u"\U0001F600");
  EXPECT_EQ(f.Tree->FocusedNode(), emoji);
  EXPECT_EQ(f.Tree->SearchBuffer(), u"\U0001F600");
  f.typeUnits(u" ");
  EXPECT_EQ(f.Tree->SearchBuffer(), u"\U0001F600 ");
  f.key(VK_BACK);
  f.Tree->Perform(WM_CHAR, VK_BACK, 1);
  EXPECT_EQ(f.Tree->SearchBuffer(), u"\U0001F600");
  f.Tree->Perform(WM_KEYDOWN, VK_BACK, 1);
  f.Tree->Perform(WM_CHAR, VK_BACK, 1);
  EXPECT_TRUE(f.Tree->SearchBuffer().empty()) << "Backspace removes the whole pair";
}

TEST(TreeSearch, SearchesEndWithoutAStartNodeOrWithoutNodesOfTheKind) {
  TSearchTree f;
  f.Tree->OnIncrementalSearch = nullptr;
  auto roots = f.resultShaped(3, 2);
  f.show();
  // Nothing matches and nothing is focused: one full round, then a beep.
  f.type("q");
  EXPECT_EQ(f.Tree->FocusedNode(), nullptr);
  f.Tree->Perform(WM_TIMER, SearchTimer, 0);
  // Only visible nodes, but every node is hidden: the search ends at once.
  f.Tree->SetIncrementalSearch(isVisibleOnly);
  for (PDataNode r : roots) f.Tree->SetVisible(r, false);
  f.type("r");
  EXPECT_EQ(f.Tree->FocusedNode(), nullptr);
  // Children are searched too with isAll.
  f.Tree->SetIncrementalSearch(isAll);
  f.type("word 1.1");
  ASSERT_NE(f.Tree->FocusedNode(), nullptr);
  EXPECT_EQ(f.caption(f.Tree->FocusedNode()), "word 1.1");
}
