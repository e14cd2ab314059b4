// The viewer survives its owner's handlers: a handler that loads another
// page from inside any event the viewer raises leaves the viewer working
// on the new page, never on what the old page freed. Also: finding text
// without match case finds it in any case.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <string>

#include "html/forms/form_controls.h"
#include "html/forms/form_kinds.h"
#include "html/images/image_object.h"
#include "html/model/document.h"
#include "platform/core/files.h"
#include "platform/core/string_list.h"
#include "platform/gui/testing.h"
#include "tests/html/viewer_fixture.h"

namespace {

// Freed memory is filled with a pattern while these tests run, so that a
// use of what a handler freed fails at once instead of reading stale data.
class ViewerEvents : public ::testing::Test, public ViewerOnForm {
protected:
  void SetUp() override {
    mallopt(M_PERTURB, 0xA5);
    openViewer(500, 400);
  }
  void TearDown() override {
    closeViewer();
    mallopt(M_PERTURB, 0);
  }
  // A page in a file of its own (for the history).
  String pageFile(const std::string& Name, const std::string& Html) {
    const std::string path = "/tmp/tamrix-events-" + std::to_string(getpid()) + "-" + Name + ".htm";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(Html.data(), 1, Html.size(), f);
    std::fclose(f);
    Files.push_back(UTF8ToUTF16(path));
    return Files.back();
  }
  ~ViewerEvents() override {
    for (const String& f : Files) DeleteFile(f);
  }
  std::vector<String> Files;
  static constexpr const char* kOther = "<p>another page</p>";
};

TEST_F(ViewerEvents, ABrowseHandlerThatLoadsAnotherPageLeavesTheFreedEditAlone) {
  load("<form><input type=file name=f></form>");
  TButtonFormControlObj* browse = nullptr;
  for (auto& c : View->Document()->Forms[0]->ControlList)
    if (auto* b = dynamic_cast<TButtonFormControlObj*>(c.get()); b && b->Which == TButtonFormControlObj::bkBrowse)
      browse = b;
  ASSERT_NE(browse, nullptr);
  int calls = 0;
  View->SetOnFileBrowse([&](TObject*, TObject*, String& S) {
    ++calls;
    View->LoadFromString(UTF8ToUTF16(kOther));
    S = u"/tmp/chosen";
  });
  browse->ButtonClick();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(View->Document()->Forms.size(), 0u);
  View->SelectAll();
  EXPECT_EQ(View->SelText(), u"another page");
}

TEST_F(ViewerEvents, ARadioChangeHandlerThatLoadsAnotherPageEndsTheGroupUpdate) {
  load("<form><input type=radio name=r value=a checked onchange='left a'>"
       "<input type=radio name=r value=b onchange='left b'><input type=radio name=r value=c></form>");
  auto& list = View->Document()->Forms[0]->ControlList;
  auto* a = dynamic_cast<TRadioButtonFormControlObj*>(list[0].get());
  auto* c = dynamic_cast<TRadioButtonFormControlObj*>(list[2].get());
  ASSERT_TRUE(a && c);
  a->FormControlEnter();  // what a holds when it is left: checked
  std::vector<String> changes;
  View->SetOnObjectChange([&](TObject*, TObject*, const String& What) {
    changes.push_back(What);
    View->LoadFromString(UTF8ToUTF16(kOther));
  });
  c->RadioClick();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], u"left a");
  View->SelectAll();
  EXPECT_EQ(View->SelText(), u"another page");
}

TEST_F(ViewerEvents, GoingBackWhenALoadHandlerClearsTheHistoryKeepsNoFreedEntry) {
  View->SetHistoryMaxCount(10);
  const String first = pageFile("first", "<form><input name=q value=typed></form><p>first</p>");
  const String second = pageFile("second", "<p>second</p>");
  View->LoadFromFile(first);
  View->LoadFromFile(second);
  ASSERT_EQ(View->History()->Count(), 2);
  bool clear = true;
  View->OnParseEnd = [&](TObject*) {
    if (clear) View->ClearHistory();
  };
  View->SetHistoryIndex(1);
  clear = false;
  EXPECT_EQ(View->History()->Count(), 0);
  EXPECT_EQ(View->HistoryIndex(), 0);
  View->SelectAll();
  EXPECT_NE(View->SelText().find(u"first"), String::npos);
  // The viewer goes on working with its new history.
  View->LoadFromFile(second);
  EXPECT_EQ(View->History()->Count(), 1);
}

TEST_F(ViewerEvents, ARightClickAfterThePictureClickHandlerReloadedThePageReportsNothingFreed) {
  load("<body style='margin:0'><img src='none.png' width=80 height=60 alt=''></body>");
  int imageClicks = 0, rightClicks = 0;
  View->OnImageClick = [&](TObject*, TObject*, TMouseButton, TShiftState, int, int) {
    ++imageClicks;
    View->LoadFromString(UTF8ToUTF16(kOther));
  };
  View->OnRightClick = [&](TObject*, TRightClickParameters* P) {
    ++rightClicks;
    // A handler may look at the picture it is told about.
    if (P->Image) {
      EXPECT_NE(dynamic_cast<TImageObj*>(P->Image), nullptr);
    }
  };
  InjectMouse(View->PaintPanel()->Handle(), imDown, mbRight, TPoint{20, 20}, {});
  InjectMouse(View->PaintPanel()->Handle(), imUp, mbRight, TPoint{20, 20}, {});
  Application->ProcessMessages();
  EXPECT_EQ(imageClicks, 1);
  EXPECT_EQ(rightClicks, 0);
  View->SelectAll();
  EXPECT_EQ(View->SelText(), u"another page");
}

TEST_F(ViewerEvents, ALinkHandlerThatLoadsAnotherPageEndsTheClick) {
  load("<body style='margin:0'><a href='elsewhere.htm'>link text here</a></body>");
  int clicks = 0;
  View->OnHotSpotClick = [&](TObject*, const String&, bool&) {
    ++clicks;
    View->LoadFromString(UTF8ToUTF16(kOther));  // not marked handled
  };
  InjectMouse(View->PaintPanel()->Handle(), imDown, mbLeft, TPoint{10, 8}, {}, {ssLeft});
  InjectMouse(View->PaintPanel()->Handle(), imUp, mbLeft, TPoint{10, 8}, {});
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
  // The viewer did not go on to open the link's file over the new page.
  View->SelectAll();
  EXPECT_EQ(View->SelText(), u"another page");
}

TEST_F(ViewerEvents, FindWithoutMatchCaseFindsEveryCase) {
  load("<p>Alpha beta GAMMA</p>");
  EXPECT_TRUE(View->Find(u"gamma", false));
  EXPECT_EQ(View->SelText(), u"GAMMA");
  View->SetSelStart(0);
  View->SetSelLength(0);
  EXPECT_TRUE(View->Find(u"ALPHA", false));
  EXPECT_EQ(View->SelText(), u"Alpha");
  EXPECT_FALSE(View->Find(u"alpha", true));
  // Backwards as well.
  View->SetSelStart(17);
  EXPECT_TRUE(View->Find(u"BETA", false, true));
  EXPECT_EQ(View->SelText(), u"beta");
}

}  // namespace

namespace {

TEST_F(ViewerEvents, DragsOverThePageReachTheViewersDragEvents) {
  load("<p>a page to drop on</p>");
  HWND panel = View->PaintPanel()->Handle();
  // Nobody listens: a drop is not welcome.
  EXPECT_FALSE(InjectDrag(panel, idEnter, TPoint{30, 20}, u"word"));
  std::vector<TDragState> states;
  std::vector<TPoint> drops;
  TObject* sender = nullptr;
  View->OnDragOver = [&](TObject* S, TObject* Source, int X, int Y, TDragState State, bool& Accept) {
    sender = S;
    EXPECT_EQ(Source, nullptr);  // from outside the program
    states.push_back(State);
    Accept = X < 100;
    (void)Y;
  };
  View->OnDragDrop = [&](TObject* S, TObject*, int X, int Y) {
    sender = S;
    drops.push_back(TPoint{X, Y});
    // A handler may load another page from here as from any event.
    View->LoadFromString(u"<p>dropped</p>");
  };
  EXPECT_TRUE(InjectDrag(panel, idEnter, TPoint{30, 20}, u"word"));
  EXPECT_FALSE(InjectDrag(panel, idMove, TPoint{150, 20}, u"word"));
  EXPECT_TRUE(InjectDrag(panel, idMove, TPoint{40, 25}, u"word"));
  InjectDrag(panel, idDrop, TPoint{40, 25}, u"word");
  EXPECT_EQ(sender, View);
  EXPECT_EQ(states, (std::vector<TDragState>{dsDragEnter, dsDragMove, dsDragMove}));
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0].x, 40);
  EXPECT_EQ(drops[0].y, 25);
  View->SelectAll();
  EXPECT_EQ(View->SelText(), u"dropped");
}

TEST_F(ViewerEvents, ALinkedStyleSheetIsNamedThroughTheDocumentStreamRequest) {
  EXPECT_FALSE(View->OnDocumentStreamRequest());
  std::vector<String> asked;
  View->SetOnDocumentStreamRequest([&](TObject*, const String& Name, String& Result) {
    asked.push_back(Name);
    Result = Name;  // a name the viewer cannot open: the page shows without it
  });
  load("<html><head><link rel=stylesheet href='look.css'></head><body><p>styled</p></body></html>");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], u"look.css");
  EXPECT_TRUE(View->OnDocumentStreamRequest());
}

}  // namespace
