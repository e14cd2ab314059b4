// The shared drawing helper and the form-field edit.
#include <gtest/gtest.h>

#include "html/parse/html_common.h"
#include "html/parse/html_edit.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

TEST(HtmlCommonDrawing, TextIsClippedToItsRectangle) {
  TBitmap bmp;
  bmp.SetSize(60, 30);
  TCanvas* c = bmp.Canvas();
  c->Brush()->SetColor(clWhite);
  c->FillRect(TRect{0, 0, 60, 30});
  c->Brush()->SetColor(clRed);
  c->Font()->SetColor(clBlack);
  WideCanvasTextRect(c, TRect{10, 5, 40, 25}, 10, 5, u"MMMMMMMMMMMM");
  EXPECT_EQ(c->Pixels(11, 6) & 0xFFFFFF, clRed & 0xFFFFFF);  // opaque background
  EXPECT_EQ(c->Pixels(45, 10) & 0xFFFFFF, clWhite & 0xFFFFFF);  // clipped off
  EXPECT_EQ(c->Pixels(5, 10) & 0xFFFFFF, clWhite & 0xFFFFFF);

  // A clear brush leaves the background as it was.
  c->Brush()->SetStyle(bsClear);
  WideCanvasTextRect(c, TRect{0, 26, 60, 30}, 0, 26, u"_");
  EXPECT_EQ(c->Pixels(50, 29) & 0xFFFFFF, clWhite & 0xFFFFFF);
}

struct EditUnderTest : ThtEdit {
  using ThtEdit::KeyDown;
  using ThtEdit::ThtEdit;
};

TEST(HtmlCommonDrawing, ControlASelectsTheWholeField) {
  EditUnderTest edit(nullptr);
  edit.HandleNeeded();
  edit.SetText(u"some words");
  edit.SetSelStart(0);
  edit.SetSelLength(0);
  WORD key = 'A';
  edit.KeyDown(key, TShiftState{ssShift});
  EXPECT_EQ(edit.SelLength(), 0);
  edit.KeyDown(key, TShiftState{ssCtrl, ssShift});
  EXPECT_EQ(edit.SelLength(), 0);
  edit.KeyDown(key, TShiftState{ssCtrl});
  EXPECT_EQ(edit.SelLength(), 10);
}

}  // namespace
