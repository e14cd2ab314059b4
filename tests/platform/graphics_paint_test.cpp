// A control painting through its canvas during a real paint event: the
// canvas's mapping and clipping sit on top of the window's, and text
// measured outside the paint matches text measured inside it.
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "platform/graphics/canvas.h"

namespace {

class Painted : public TCustomControl {
public:
  explicit Painted(TComponent* owner) : TCustomControl(owner) {}
  TRect Clip;
  int TextWidthInside = 0;

protected:
  void Paint() override {
    TCanvas* c = Canvas();
    c->Brush()->SetColor(clRed);
    c->FillRect(Rect(0, 0, Width(), Height()));
    Clip = c->ClipRect();
    TextWidthInside = c->TextWidth(u"Measured text");
    HDC dc = c->Handle();
    SaveDC(dc);
    SetWindowOrgEx(dc, -10, -10, nullptr);
    IntersectClipRect(dc, 0, 0, 20, 20);
    c->Brush()->SetColor(clBlue);
    c->FillRect(Rect(-10, -10, 200, 200));
    RestoreDC(dc, -1);
    c->Pen()->SetColor(clLime);
    c->MoveTo(0, Height() - 1);
    c->LineTo(Width(), Height() - 1);
  }
};

}  // namespace

TEST(GraphicsPaint, CanvasDrawsInTheControlWithItsOwnMappingAndClip) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetClientWidth(200);
  form->SetClientHeight(150);
  form->SetColor(clWhite);
  auto* control = new Painted(form);
  control->SetParent(form);
  control->SetBounds(20, 30, 100, 60);
  control->Font()->SetHeight(-13);  // the paint gives the canvas the control's font
  form->Show();
  guitest::pump();

  std::vector<std::uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(GrabWindow(form, px, w, h));
  auto at = [&](int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFF; };
  EXPECT_EQ(at(20 + 15, 30 + 15), 0x0000FFu);  // blue square at (10, 10)-(30, 30)
  EXPECT_EQ(at(20 + 29, 30 + 29), 0x0000FFu);
  EXPECT_EQ(at(20 + 30, 30 + 30), 0xFF0000u);  // clipped beyond it: red
  EXPECT_EQ(at(20 + 5, 30 + 5), 0xFF0000u);
  EXPECT_EQ(at(20 + 50, 30 + 59), 0x00FF00u);  // the bottom line, inside the control
  EXPECT_NE(at(20 + 50, 30 + 60), 0x00FF00u);
  EXPECT_NE(at(15, 25), 0xFF0000u);            // nothing outside the control
  EXPECT_EQ(control->Clip, Rect(0, 0, 100, 60));

  // Measured again outside the paint event, on the measuring context.
  control->Canvas()->Font()->Assign(*control->Font());
  EXPECT_GT(control->TextWidthInside, 0);
  EXPECT_EQ(control->Canvas()->TextWidth(u"Measured text"), control->TextWidthInside);
  delete form;
}
