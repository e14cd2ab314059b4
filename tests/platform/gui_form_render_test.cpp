// A small form with the stock controls, rendered offscreen to a PNG that a
// person can open, with pixel checks where the controls must be.
#include <gtest/gtest.h>

#include <filesystem>

#include "gui_test_support.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/stdctrls.h"

namespace {

using namespace guitest;

struct Pixels {
  std::vector<std::uint32_t> P;
  int W = 0, H = 0;
  std::uint32_t at(int x, int y) const { return P[size_t(y) * size_t(W) + size_t(x)] & 0xFFFFFF; }
  // The colour as TColor (0x00BBGGRR).
  TColor color(int x, int y) const {
    std::uint32_t p = at(x, y);
    return TColor(((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16));
  }
  int dark(const TRect& r) const {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) {
        std::uint32_t p = at(x, y);
        if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 200) ++n;
      }
    return n;
  }
  int distinct(const TRect& r) const {
    std::vector<std::uint32_t> seen;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (std::find(seen.begin(), seen.end(), at(x, y)) == seen.end()) seen.push_back(at(x, y));
    return int(seen.size());
  }
};

TEST(GuiFormRender, StockControlsAppearWhereTheyArePlaced) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetCaption(u"tamrix");
  form->SetClientWidth(420);
  form->SetClientHeight(300);

  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBounds(10, 10, 190, 120);
  panel->SetColor(clYellow);
  panel->SetBevelOuter(bvLowered);
  auto* label = new TLabel(form);
  label->SetParent(panel);
  label->SetLeft(10);
  label->SetTop(10);
  label->SetCaption(u"Слово:");
  label->Font()->SetStyle({fsBold});
  auto* edit = new TEdit(form);
  edit->SetParent(panel);
  edit->SetBounds(10, 35, 170, 24);
  edit->SetText(u"dictionary");
  auto* combo = new TComboBox(form);
  combo->SetParent(panel);
  combo->SetBounds(10, 70, 170, 26);
  combo->Items()->Add(u"English");
  combo->Items()->Add(u"Русский");
  combo->SetItemIndex(1);

  auto* check = new TCheckBox(form);
  check->SetParent(form);
  check->SetBounds(10, 140, 190, 22);
  check->SetCaption(u"Search in articles");
  check->SetChecked(true);
  auto* ok = new TButton(form);
  ok->SetParent(form);
  ok->SetBounds(10, 170, 90, 28);
  ok->SetCaption(u"OK");
  ok->SetDefault(true);
  auto* cancel = new TButton(form);
  cancel->SetParent(form);
  cancel->SetBounds(110, 170, 90, 28);
  cancel->SetCaption(u"Cancel");
  // A bit button with a red glyph on a white (transparent) ground.
  auto* help = new TBitBtn(form);
  help->SetParent(form);
  help->SetBounds(10, 240, 190, 28);
  help->SetCaption(u"Help");
  TBitmap glyph(12, 12);
  glyph.Canvas()->Brush()->SetColor(clWhite);
  glyph.Canvas()->FillRect({0, 0, 12, 12});
  glyph.Canvas()->Brush()->SetColor(clRed);
  glyph.Canvas()->FillRect({2, 2, 10, 10});
  help->SetGlyph(&glyph);
  auto* progress = new TProgressBar(form);
  progress->SetParent(form);
  progress->SetBounds(10, 210, 190, 18);
  progress->SetPosition(50);

  auto* pages = new TPageControl(form);
  pages->SetParent(form);
  pages->SetBounds(215, 10, 195, 218);
  auto* first = new TTabSheet(form);
  first->SetPageControl(pages);
  first->SetCaption(u"Words");
  auto* second = new TTabSheet(form);
  second->SetPageControl(pages);
  second->SetCaption(u"Options");
  auto* inner = new TPanel(form);
  inner->SetParent(first);
  inner->SetAlign(alClient);
  inner->SetColor(clAqua);
  inner->SetBevelOuter(bvNone);
  form->Show();
  pump();

  Pixels px;
  ASSERT_TRUE(GrabWindow(form, px.P, px.W, px.H));
  EXPECT_EQ(px.W, 420);
  EXPECT_EQ(px.H, 300);
  std::filesystem::path png = std::filesystem::current_path() / "gui_form.png";
  EXPECT_TRUE(SaveWindowImage(form, UTF8ToUTF16(png.string())));
  EXPECT_GT(std::filesystem::file_size(png), 1000u);

  // The panel's face is yellow beside its children, the form is not.
  EXPECT_EQ(px.color(10 + 185, 10 + 110), clYellow);
  EXPECT_NE(px.color(205, 250), clYellow);
  // The label's bold text leaves dark pixels in its box; the panel border is drawn.
  EXPECT_GT(px.dark({20, 20, 20 + label->Width(), 20 + label->Height()}), 10);
  // The edit shows its text on a light field, the combo box its item.
  EXPECT_GT(px.dark({24, 49, 24 + 100, 49 + 16}), 10);
  EXPECT_GT(px.dark({24, 84, 24 + 100, 84 + 18}), 10);
  // The check box and the buttons draw more than a flat area.
  EXPECT_GT(px.distinct({10, 140, 30, 162}), 3);
  EXPECT_GT(px.dark({30, 176, 80, 194}), 3);
  EXPECT_GT(px.dark({120, 176, 190, 194}), 3);
  // The progress bar is filled on its left half only.
  EXPECT_NE(px.at(10 + 40, 219), px.at(10 + 170, 219));
  // The glyph shows its red square, not its white ground.
  int red = 0, white = 0;
  for (int y = 240; y < 268; ++y)
    for (int x = 10; x < 200; ++x) {
      red += px.color(x, y) == clRed;
      white += px.color(x, y) == clWhite;
    }
  EXPECT_GE(red, 40);
  EXPECT_EQ(white, 0);
  // The active sheet fills the page control below the tabs with its panel.
  TRect sheet = pages->ClientRect();
  EXPECT_EQ(px.color(215 + 2 + sheet.Width() / 2, 10 + pages->Height() - 10), clAqua);
  EXPECT_NE(px.color(215 + 20, 14), clAqua);  // the tab strip
  // Switching pages hides the panel of the first.
  pages->SetActivePageIndex(1);
  pump();
  ASSERT_TRUE(GrabWindow(form, px.P, px.W, px.H));
  EXPECT_NE(px.color(215 + 2 + sheet.Width() / 2, 10 + pages->Height() - 10), clAqua);
  delete form;
}

// Panels, framed windows and DrawEdge paint their 3-D edges with one painter
// and one set of system colours, so the program's frames all agree.
TEST(GuiFormRender, EdgesShareOnePainterAndColourSource) {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 200, 120);
  form->SetColor(clWhite);
  auto* raised = new TPanel(form);
  raised->SetParent(form);
  raised->SetBounds(10, 10, 60, 40);
  raised->SetBevelOuter(bvRaised);
  auto* lowered = new TPanel(form);
  lowered->SetParent(form);
  lowered->SetBounds(80, 10, 60, 40);
  lowered->SetBevelOuter(bvLowered);
  auto* framed = new Recorder(form);
  framed->SetParent(form);
  framed->SetBorderStyle(bsSingle);  // a sunken frame
  framed->SetBounds(10, 60, 80, 50);
  form->Show();
  pump();
  Pixels px;
  ASSERT_TRUE(GrabWindow(form, px.P, px.W, px.H));
  auto sys = [](int index) {
    COLORREF c = GetSysColor(index);
    return TColor(c & 0xFFFFFF);
  };
  EXPECT_EQ(px.color(10, 10), sys(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(px.color(10 + 59, 10 + 39), sys(COLOR_BTNSHADOW));
  EXPECT_EQ(px.color(80, 10), sys(COLOR_BTNSHADOW));
  EXPECT_EQ(px.color(80 + 59, 10 + 39), sys(COLOR_BTNHIGHLIGHT));

  // The same edge drawn by DrawEdge on a bitmap.
  TBitmap bmp(20, 20);
  TRect r{0, 0, 20, 20};
  DrawEdge(bmp.Canvas()->Handle(), r, EDGE_SUNKEN, BF_RECT);
  TColor outer = TColor(ColorToRGB(bmp.Canvas()->Pixels(0, 0)));
  TColor inner = TColor(ColorToRGB(bmp.Canvas()->Pixels(1, 1)));
  EXPECT_EQ(outer, sys(COLOR_BTNSHADOW));
  EXPECT_EQ(inner, sys(COLOR_3DDKSHADOW));
  EXPECT_EQ(px.color(10, 60), outer);
  EXPECT_EQ(px.color(11, 61), inner);
  delete form;
}

}  // namespace
