// PANEL elements and wanted OBJECTs: a real window on the page, sized from
// the attributes, moved with the text, handed to the application when made
// and when freed, and drawn on paper by the application or as a framed box.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "html/model/document.h"
#include "html/viewer/html_view.h"
#include "tests/html/viewer_fixture.h"
#include "html/model/panel_window.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/printer.h"
#include "platform/gui/forms.h"

namespace {

struct Created {
  String Name, Type, Src;
  ThvPanel* Panel;
};

struct Panels : ::testing::Test, ViewerOnForm {
  void SetUp() override {
    openViewer(500, 300);
    View->SetOnPanelCreate([this](TObject* Sender, const String& AName, const String& AType, const String& SRC,
                                  ThvPanel* Panel) {
      EXPECT_EQ(Sender, View);
      made.push_back({AName, AType, SRC, Panel});
    });
    View->SetOnPanelDestroy([this](TObject* Sender, ThvPanel* Panel) {
      EXPECT_EQ(Sender, View);
      freed.push_back(Panel);
    });
  }
  void TearDown() override { closeViewer(); }

  TPanelObj* panel(int i = 0) { return View->Document()->Panels[size_t(i)]; }
  // The text width a panel at the left margin can take.
  int room() { return View->PaintPanel()->ClientWidth() - 2 * View->MarginWidth(); }

  // Lays a print copy out on a white bitmap and paints it there.
  std::unique_ptr<TBitmap> printCopy() {
    ThtDocument copy(*View->Document());
    copy.Printing = true;
    auto page = std::make_unique<TBitmap>(500, 300);
    TCanvas* pc = page->Canvas();
    pc->Brush()->SetColor(clWhite);
    pc->FillRect(TRect(0, 0, 500, 300));
    int scrollWidth = 0, curs = 0;
    copy.DoLogic(pc, 0, 500, 300, 0, scrollWidth, curs);
    copy.SetScrollY(0);
    copy.Draw(pc, TRect(0, 0, 500, 300), 500, 0, 0, 0, 0);
    // The copies' windows stay out of sight while the page is on screen.
    for (int i = 0; i < View->PaintPanel()->ControlCount(); ++i) {
      TControl* c = View->PaintPanel()->Controls(i);
      if (dynamic_cast<ThvPanel*>(c) && c != View->Document()->Panels[0]->Panel) {
        EXPECT_LE(c->Left(), -4000);
      }
    }
    return page;
  }
  static int rgb(TBitmap& B, int X, int Y) { return int(ColorToRGB(B.Canvas()->Pixels(X, Y)) & 0xFFFFFF); }

  std::vector<Created> made;
  std::vector<ThvPanel*> freed;
};

TEST_F(Panels, APanelGetsAWindowSizedByItsAttributesAndTheApplicationHearsOfIt) {
  load("<p>before <panel name=card type=\"x/card\" src=\"card.bin\" width=120 height=40 alt=Card> after</p>"
       "<p><panel name=\"not a name\" width=60></p>");
  ASSERT_EQ(View->Document()->Panels.size(), 2u);
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[0].Name, u"card");
  EXPECT_EQ(made[0].Type, u"x/card");
  EXPECT_EQ(made[0].Src, u"card.bin");
  ThvPanel* w = made[0].Panel;
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(panel(0)->Panel, w);
  EXPECT_EQ(w->Parent(), View->PaintPanel()) << "a window inside the page";
  EXPECT_EQ(w->Name(), u"card");
  EXPECT_EQ(w->Caption(), u"");
  EXPECT_EQ(w->Color(), clWhite);
  EXPECT_EQ(w->BorderStyle(), bsSingle);
  EXPECT_EQ(w->Width(), 120);
  EXPECT_EQ(w->Height(), 40);
  EXPECT_GE(w->Left(), View->MarginWidth()) << "painted in place, not left out of sight";
  EXPECT_LT(w->Left(), 200);
  EXPECT_GE(w->Top(), 0);
  EXPECT_LT(w->Top(), 100);
  EXPECT_TRUE(w->Visible());

  // A NAME that cannot name a window stays the panel's only; a lone width
  // keeps the natural 30 x 20 shape.
  EXPECT_EQ(made[1].Name, u"not a name");
  EXPECT_EQ(made[1].Panel->Name(), u"");
  EXPECT_EQ(made[1].Panel->Width(), 60);
  EXPECT_EQ(made[1].Panel->Height(), 40);
  EXPECT_GT(made[1].Panel->Top(), w->Top() + w->Height() - 1) << "the second paragraph is below";
}

TEST_F(Panels, PercentWidthsFollowTheViewerAndKeepTheShapeTheApplicationGave) {
  // The application sets the natural size while the panel is made.
  View->SetOnPanelCreate([](TObject*, const String&, const String&, const String&, ThvPanel* Panel) {
    Panel->SetBounds(Panel->Left(), Panel->Top(), 200, 100);
  });
  load("<panel name=half width=\"50%\"><br><panel name=fixed><br><panel name=css style=\"width:25%\">");
  ThvPanel* half = panel(0)->Panel;
  EXPECT_NEAR(half->Width(), room() / 2, 1);
  EXPECT_NEAR(half->Height(), half->Width() / 2, 1) << "the natural 2:1 shape";
  EXPECT_EQ(panel(1)->Panel->Width(), 200) << "no sizes: the natural size";
  EXPECT_EQ(panel(1)->Panel->Height(), 100);
  EXPECT_NEAR(panel(2)->Panel->Width(), room() / 4, 1) << "a width from the style sheet";
  EXPECT_NEAR(panel(2)->Panel->Height(), panel(2)->Panel->Width() / 2, 1);

  View->SetBounds(0, 0, 300, 300);
  View->RefreshLayout();
  paint();
  EXPECT_NEAR(half->Width(), room() / 2, 1);
  EXPECT_NEAR(half->Height(), half->Width() / 2, 1);
}

TEST_F(Panels, TheWindowScrollsWithThePageAndLeavesWhenItsTextIsOutOfView) {
  std::string page = "<p>top <panel name=p width=50 height=30></p>";
  for (int i = 0; i < 60; ++i) page += "<p>line " + std::to_string(i) + "</p>";
  load(page);
  ThvPanel* w = panel(0)->Panel;
  const int top = w->Top();
  ASSERT_GE(top, 0);
  View->SetVScrollPos(10);
  paint();
  EXPECT_EQ(w->Top(), top - 10) << "moved with the text";
  View->SetVScrollPos(1000);
  paint();
  EXPECT_TRUE(w->Left() <= -4000 || w->Top() + w->Height() <= 0) << w->Left() << "," << w->Top();
  View->SetVScrollPos(0);
  paint();
  EXPECT_EQ(w->Top(), top);
  EXPECT_GE(w->Left(), 0);
}

TEST_F(Panels, AFloatingPanelIsPlacedAtItsSide) {
  load("<p><panel name=r align=right width=40 height=40>Some text beside the panel.</p>");
  ThvPanel* w = panel(0)->Panel;
  EXPECT_EQ(panel(0)->HSpaceL, 3);
  EXPECT_GT(w->Left(), View->PaintPanel()->ClientWidth() / 2) << w->Left();
  EXPECT_LE(w->Left() + w->Width(), View->PaintPanel()->ClientWidth());
  EXPECT_GE(w->Top(), 0);
}

TEST_F(Panels, ClearingOrReplacingThePageFreesEveryWindowThroughTheApplication) {
  load("<panel name=a><panel name=b>");
  ASSERT_EQ(made.size(), 2u);
  const size_t children = size_t(View->PaintPanel()->ControlCount());
  View->Clear();
  ASSERT_EQ(freed.size(), 2u);
  EXPECT_TRUE((freed[0] == made[0].Panel && freed[1] == made[1].Panel) ||
              (freed[0] == made[1].Panel && freed[1] == made[0].Panel));
  EXPECT_TRUE(View->Document()->Panels.empty());
  EXPECT_EQ(size_t(View->PaintPanel()->ControlCount()), children - 2) << "the windows are gone";

  load("<panel name=c>");
  load("<p>no panels</p>");
  EXPECT_EQ(freed.size(), 3u);
  EXPECT_EQ(freed.back(), made.back().Panel);
}

TEST_F(Panels, AWantedObjectHandsTheApplicationARealWindowWithoutACreateEvent) {
  std::vector<ThvPanel*> offered;
  View->OnObjectTag = [&](TObject*, ThvPanel* Panel, const TStringList&, const TStringList&, bool& WantPanel) {
    offered.push_back(Panel);
    ASSERT_NE(Panel, nullptr);
    Panel->SetBounds(Panel->Left(), Panel->Top(), 80, 50);
    WantPanel = true;
  };
  load("<p>x <object type=\"x/app\" data=\"d\" name=obj></object> y</p>");
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_TRUE(made.empty()) << "an OBJECT is announced by OnObjectTag alone";
  ASSERT_EQ(View->Document()->Panels.size(), 1u);
  EXPECT_EQ(panel(0)->Panel, offered[0]);
  EXPECT_EQ(offered[0]->Width(), 80);
  EXPECT_EQ(offered[0]->Height(), 50);
  EXPECT_GE(offered[0]->Left(), 0);
}

TEST_F(Panels, OnPaperAPanelIsAFramedBoxWithItsAltTextOrTheApplicationsPicture) {
  load("<panel name=p width=140 height=60 alt=\"Picture of a cat sitting on a mat\">");
  ThvPanel* w = panel(0)->Panel;
  const int left = w->Left(), top = w->Top();
  const TRect screenBounds = w->BoundsRect();
  {
    auto page = printCopy();
    EXPECT_EQ(w->BoundsRect(), screenBounds) << "the screen window stays where it is";
    // The frame is black, the inside white, and the Alt text is written in it.
    EXPECT_EQ(rgb(*page, left, top + 30), 0);
    EXPECT_EQ(rgb(*page, left + 139, top + 30), 0);
    EXPECT_EQ(rgb(*page, left + 70, top), 0);
    EXPECT_EQ(rgb(*page, left + 70, top + 59), 0);
    int dark = 0;
    for (int y = top + 2; y < top + 58; ++y)
      for (int x = left + 2; x < left + 138; ++x)
        if (rgb(*page, x, y) < 0x808080) ++dark;
    EXPECT_GT(dark, 20) << "the Alt text";
    EXPECT_EQ(rgb(*page, left + 137, top + 57), 0xFFFFFF) << "the panel's white";
  }

  // An invisible panel leaves no trace on paper.
  w->SetVisible(false);
  {
    auto page = printCopy();
    EXPECT_EQ(rgb(*page, left, top + 30), 0xFFFFFF);
  }
  w->SetVisible(true);

  // With OnPanelPrint the application paints a bitmap of the printed size,
  // for the window it knows.
  std::vector<ThvPanel*> asked;
  View->SetOnPanelPrint([&](TObject*, ThvPanel* Panel, TBitmap* Bitmap) {
    asked.push_back(Panel);
    EXPECT_EQ(Panel->Width(), Bitmap->Width());
    EXPECT_EQ(Panel->Height(), Bitmap->Height());
    Bitmap->Canvas()->Brush()->SetColor(TColor(0x0000FF));
    Bitmap->Canvas()->FillRect(TRect(0, 0, Bitmap->Width(), Bitmap->Height()));
  });
  {
    auto page = printCopy();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], w);
    EXPECT_EQ(rgb(*page, left + 70, top + 30), 0x0000FF);
    EXPECT_EQ(rgb(*page, left + 2, top + 2), 0x0000FF);
    EXPECT_EQ(w->BoundsRect(), screenBounds) << "the former size is restored";
  }
  EXPECT_TRUE(freed.empty()) << "the copies' windows are not the application's";

  // The viewer's own printing goes the same way.
  const int childrenBefore = View->PaintPanel()->ControlCount();
  TPrinter printer;
  printer.SetPrinterIndex(int(printer.Printers().size()) - 1);  // the PDF writer
  const std::string pdf = ::testing::TempDir() + "tamrix-panels-" + std::to_string(::getpid()) + ".pdf";
  printer.SetOutputFileName(UTF8ToUTF16(pdf));
  View->Print(1, 1, &printer);
  if (printer.Printing()) printer.EndDoc();
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_TRUE(FileExists(UTF8ToUTF16(pdf)));
  DeleteFile(UTF8ToUTF16(pdf));
  EXPECT_EQ(View->PaintPanel()->ControlCount(), childrenBefore) << "the copy's windows are freed";
  EXPECT_TRUE(freed.empty());
}

}  // namespace
