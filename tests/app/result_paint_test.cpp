// The result list is painted once per change, with its scroll bars already
// where the new rows put them: no blank list between two lists, and no
// paint before a scroll bar appears over the last row.
#include <chrono>
#include <thread>

#include "platform/core/strings.h"
#include "platform/gui/testing.h"
#include "tests/app/main_form_util.h"

namespace {

class ResultPaints : public apptest::MainWindow {
protected:
  void SetUp() override {
    MainWindow::SetUp();
    apptest::DictFile d = Dict("en");
    d.Properties("English", "en");
    // Enough rows to scroll, and one word wider than the list.
    for (int i = 0; i < 60; ++i) d.Word({0, "AB" + std::string(1, char('A' + i % 26)) + std::to_string(i), "x"});
    d.Word({0, "ABA-UNREASONABLY-LONG-HEADWORD-THAT-NEEDS-A-SCROLL-BAR", "x"});
    List("en 1\r\n");
  }

  struct TPaint {
    unsigned Rows;
    int ClientHeight;
  };

  // Lets the window handle everything waiting, the paints included.
  void Settle() {
    for (int i = 0; i < 20; ++i) {
      Application->HandleMessage();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // The paints of the list while Key is typed into the query box.
  std::vector<TPaint> PaintsOf(UINT Key, const String& Text) {
    Paints.clear();
    InjectKeyStroke(Form->QueryCombo->Handle(), Key, {}, Text);
    Settle();
    return Paints;
  }

  std::vector<TPaint> Paints;
};

}  // namespace

TEST_F(ResultPaints, EachCompletionKeystrokePaintsTheListOnce) {
  Start();
  Form->Show();
  ASSERT_TRUE(WaitExposed(Form->Handle()));
  TDataStringTree* t = Form->vst;
  t->OnAfterPaint = [&](TBaseDataTree*, TCanvas*) {
    Paints.push_back({t->TotalCount(), t->ClientHeight()});
  };
  Form->QueryCombo->SetText(String());
  InjectFocus(Form->QueryCombo->Handle());
  Settle();
  struct TStep {
    UINT Key;
    const char16_t* Text;
  };
  for (const TStep& step : {TStep{'A', u"a"}, TStep{'B', u"b"}, TStep{VK_BACK, u"\b"}, TStep{'5', u"%"}}) {
    const std::vector<TPaint> paints = PaintsOf(step.Key, step.Text);
    const std::string what = "after typing \"" + UTF16ToUTF8(step.Text) + "\" into \"" +
                             UTF16ToUTF8(Form->QueryCombo->Text()) + "\": ";
    ASSERT_GT(t->TotalCount(), 1u) << what;
    EXPECT_EQ(paints.size(), 1u) << what << "painted " << paints.size() << " times";
    for (const TPaint& p : paints) {
      EXPECT_EQ(p.Rows, t->TotalCount()) << what << "a list painted with other rows (a blank list between two)";
      EXPECT_EQ(p.ClientHeight, t->ClientHeight()) << what << "a list painted before its scroll bar settled";
    }
  }
}

// What the window shows of the list, frame by frame, while words are typed
// that list thousands of rows (the completion handles messages while it
// fills the list, and the window repaints meanwhile): each keystroke takes
// the list from one state to the next, with no blank list shown between.
TEST_F(ResultPaints, NoBlankListIsShownBetweenTwoLists) {
  {
    apptest::DictFile many(Dir / "dictionaries/many.tamrix");
    many.Properties("Many", "en");
    many.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<30000) "
              "INSERT INTO words(word) SELECT CASE WHEN i % 2 THEN 'AB' ELSE 'AC' END || i FROM n;");
  }
  // The only dictionary, so that it is the one completion reads.
  std::filesystem::remove(Dir / "dictionaries/en.tamrix");
  List("many 1\r\n");
  Start();
  Form->Show();
  ASSERT_TRUE(WaitExposed(Form->Handle()));
  TDataStringTree* t = Form->vst;
  Form->QueryCombo->SetText(String());
  InjectFocus(Form->QueryCombo->Handle());
  Settle();
  std::vector<std::vector<std::uint32_t>> frames;
  WatchShownPixels(t, [&](const std::vector<std::uint32_t>& pixels, int, int) { frames.push_back(pixels); });
  struct TStep {
    UINT Key;
    const char16_t* Text;
  };
  // Each step changes the rows in sight: "AB…" first, then "AC…", and back.
  for (const TStep& step : {TStep{'A', u"a"}, TStep{'C', u"c"}, TStep{VK_BACK, u"\b"}, TStep{'C', u"c"}}) {
    frames.clear();
    InjectKeyStroke(Form->QueryCombo->Handle(), step.Key, {}, step.Text);
    Settle();
    CheckShownPixels();
    const std::string what = "typing \"" + UTF16ToUTF8(step.Text) + "\" into \"" +
                             UTF16ToUTF8(Form->QueryCombo->Text()) + "\": ";
    ASSERT_GT(t->TotalCount(), 1000u) << what;
    EXPECT_EQ(frames.size(), 1u) << what << "the list was shown in " << frames.size() << " states";
  }
  WatchShownPixels(nullptr, nullptr);
}
