// Forms in a real viewer: what a page's controls submit, how they reset,
// radio groups and their arrow keys, Enter in edits and text areas,
// disabled controls, lists, sizes, and controls placed where the text puts
// them when the page is painted and scrolled.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "html/model/document.h"
#include "html/forms/form_kinds.h"
#include "html/viewer/html_view.h"
#include "tests/html/viewer_fixture.h"
#include "html/images/image_object.h"
#include "html/layout/layout_dump.h"
#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/printer.h"
#include "platform/core/files.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"

namespace {

struct Submission {
  String Action, Method;
  std::vector<String> Pairs;
};

struct Forms : ::testing::Test, ViewerOnForm {
  void SetUp() override {
    openViewer(500, 300);
    View->SetOnFormSubmit([this](TObject*, const String& Action, const String&, const String&, const String& Method,
                                 TStringList* Results) {
      Submission s{Action, Method, {}};
      for (int i = 0; i < Results->Count(); ++i) s.Pairs.push_back(Results->Strings(i));
      Submitted.push_back(s);
    });
  }
  void TearDown() override { closeViewer(); }

  ThtmlForm* form(int i = 0) { return View->Document()->Forms[size_t(i)].get(); }
  template <class T>
  T* control(int i, int formIndex = 0) {
    return dynamic_cast<T*>(form(formIndex)->ControlList[size_t(i)].get());
  }
  std::vector<String> pairs(int formIndex = 0) {
    std::vector<String> out;
    auto list = form(formIndex)->GetFormSubmission();
    for (int i = 0; i < list->Count(); ++i) out.push_back(list->Strings(i));
    return out;
  }
  void key(TWinControl* C, UINT vk, const String& text = String()) {
    InjectFocus(C->Handle());
    Application->ProcessMessages();
    InjectKeyStroke(C->Handle(), vk, {}, text);
    Application->ProcessMessages();
  }
  void click(TWinControl* C) {
    InjectMouse(C->Handle(), imDown, mbLeft, TPoint{C->Width() / 2, C->Height() / 2}, {}, {ssLeft});
    InjectMouse(C->Handle(), imUp, mbLeft, TPoint{C->Width() / 2, C->Height() / 2}, {});
    Application->ProcessMessages();
  }

  std::vector<Submission> Submitted;
};

TEST_F(Forms, AFormWithoutMethodSubmitsWithGetAndEnterInATextInputSubmitsIt) {
  load("<form action=find><input name=q value=dog><textarea name=t>a</textarea></form>");
  EXPECT_EQ(form()->Method, u"Get");
  auto* edit = control<TEditFormControlObj>(0);
  auto* area = control<TTextAreaFormControlObj>(1);
  ASSERT_TRUE(edit && area);

  key(area->Memo(), VK_RETURN, u"\r");
  settle();
  EXPECT_TRUE(Submitted.empty()) << "Enter in a text area is a line break";
  EXPECT_EQ(area->Memo()->Text(), u"\r\na");

  key(edit->Edit(), VK_RETURN, u"\r");
  settle();
  ASSERT_EQ(Submitted.size(), 1u);
  EXPECT_EQ(Submitted[0].Action, u"find");
  EXPECT_EQ(Submitted[0].Method, u"Get");
  EXPECT_EQ(Submitted[0].Pairs, (std::vector<String>{u"q=dog", u"t=\r\na"}));
}

TEST_F(Forms, DisabledControlsAreSavedButNeverSubmitted) {
  load("<form method=post><input name=a value=1 disabled><input name=b value=2 disabled=no>"
       "<input name=c value=3 disabled=0><input type=submit value=Go></form>");
  EXPECT_TRUE(control<TEditFormControlObj>(0)->Disabled);
  EXPECT_FALSE(control<TEditFormControlObj>(0)->Edit()->Enabled());
  EXPECT_FALSE(control<TEditFormControlObj>(1)->Disabled);
  EXPECT_FALSE(control<TEditFormControlObj>(2)->Disabled);
  EXPECT_EQ(pairs(), (std::vector<String>{u"a=1", u"b=2", u"c=3"}));

  click(control<TButtonFormControlObj>(3)->TheControl());
  settle();
  ASSERT_EQ(Submitted.size(), 1u);
  EXPECT_EQ(Submitted[0].Method, u"post");
  // An unnamed submit button adds no pair.
  EXPECT_EQ(Submitted[0].Pairs, (std::vector<String>{u"b=2", u"c=3"}));
}

TEST_F(Forms, ANamedSubmitButtonAddsItsPairLastAndCheckBoxesSubmitOnlyWhenChecked) {
  load("<form><input type=submit name=go value=Search><input type=checkbox name=x>"
       "<input type=checkbox name=y checked><input type=checkbox name=z value=Z checked></form>");
  click(control<TButtonFormControlObj>(0)->TheControl());
  settle();
  ASSERT_EQ(Submitted.size(), 1u);
  EXPECT_EQ(Submitted[0].Pairs, (std::vector<String>{u"y=on", u"z=Z", u"go=Search"}));
}

TEST_F(Forms, ARadioGroupKeepsOneCheckedAndOneTabStop) {
  load("<form><input type=radio name=r value=a checked><input type=radio name=R value=b>"
       "<input type=radio name=r value=c checked><input type=radio name=other value=d></form>");
  auto* a = control<TRadioButtonFormControlObj>(0);
  auto* b = control<TRadioButtonFormControlObj>(1);
  auto* c = control<TRadioButtonFormControlObj>(2);
  auto* d = control<TRadioButtonFormControlObj>(3);
  // The later checked button wins; names match without regard to case.
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(c->Checked());
  EXPECT_FALSE(a->TabStop());
  EXPECT_FALSE(b->TabStop());
  EXPECT_TRUE(c->TabStop());
  EXPECT_TRUE(d->TabStop());
  EXPECT_EQ(pairs(), (std::vector<String>{u"r=c"}));

  click(b->TheControl());
  EXPECT_TRUE(b->Checked());
  EXPECT_FALSE(c->Checked());
  EXPECT_TRUE(d->Checked() == false);
  EXPECT_EQ(pairs(), (std::vector<String>{u"R=b"}));

  // Reset brings the page's own choice back.
  form()->ResetControls();
  EXPECT_TRUE(c->Checked());
  EXPECT_FALSE(b->Checked());
}

TEST_F(Forms, ArrowKeysMoveTheFocusInsideARadioGroupWithoutWrapping) {
  load("<form><input type=radio name=r value=1><input type=radio name=r value=2>"
       "<input type=radio name=x value=3><input type=radio name=r value=4></form>");
  auto* first = control<TRadioButtonFormControlObj>(0);
  auto* second = control<TRadioButtonFormControlObj>(1);
  auto* last = control<TRadioButtonFormControlObj>(3);
  key(first->TheControl(), VK_RIGHT);
  EXPECT_TRUE(second->TheControl()->Focused());
  // The next button of the group skips the other group.
  InjectKeyStroke(second->TheControl()->Handle(), VK_DOWN, {}, String());
  Application->ProcessMessages();
  EXPECT_TRUE(last->TheControl()->Focused());
  InjectKeyStroke(last->TheControl()->Handle(), VK_RIGHT, {}, String());
  Application->ProcessMessages();
  EXPECT_TRUE(last->TheControl()->Focused()) << "no wrap-around past the last button";
  InjectKeyStroke(last->TheControl()->Handle(), VK_LEFT, {}, String());
  Application->ProcessMessages();
  EXPECT_TRUE(second->TheControl()->Focused());
}

TEST_F(Forms, ListsSubmitTheirSelectedOptionsInItemOrder) {
  load("<form><select name=m multiple><option>1<option selected>2<option>3<option>4"
       "<option value=five selected>5</select>"
       "<select name=s size=4><option>a<option>b</select>"
       "<select name=d><option value=x>X<option>Y<option></select></form>");
  auto* multi = control<TListBoxFormControlObj>(0);
  auto* single = control<TListBoxFormControlObj>(1);
  auto* drop = control<TComboFormControlObj>(2);
  ASSERT_TRUE(multi && single && drop);
  // A single list with nothing selected submits its first item; an empty
  // option is a blank with a blank value.
  EXPECT_EQ(drop->TheOptions.Strings(2), u" ");
  EXPECT_EQ(drop->TheOptions.ValueOf(2), u" ");
  EXPECT_EQ(pairs(), (std::vector<String>{u"m=2", u"m=five", u"s=a", u"d=x"}));

  drop->ComboBox()->SetItemIndex(1);
  multi->ListBox()->SetSelected(0, true);
  EXPECT_EQ(pairs(), (std::vector<String>{u"m=1", u"m=2", u"m=five", u"s=a", u"d=Y"}));
  form()->ResetControls();
  EXPECT_EQ(pairs(), (std::vector<String>{u"m=2", u"m=five", u"s=a", u"d=x"}));

  // Saved pairs go back into a page built again from the same source.
  drop->ComboBox()->SetItemIndex(1);
  multi->ListBox()->SetSelected(2, true);
  auto data = View->Document()->CollectFormData();
  ASSERT_TRUE(data);
  form()->ResetControls();
  View->Document()->SetFormData(*data);
  EXPECT_EQ(pairs(), (std::vector<String>{u"m=2", u"m=3", u"m=five", u"s=a", u"d=Y"}));
}

TEST_F(Forms, LongListsFillTheirControlsWholeAndKeepTheirSelection) {
  // Thousands of options (a list of places, say) fill the control in one
  // update; each option is there once and the selected one is shown.
  std::string page = "<form><select name=d>";
  for (int i = 0; i < 4000; ++i) page += "<option" + std::string(i == 3210 ? " selected" : "") + ">o" + std::to_string(i);
  page += "</select><select name=l size=5>";
  for (int i = 0; i < 4000; ++i) page += "<option>p" + std::to_string(i);
  page += "</select></form>";
  load(page);
  auto* drop = control<TComboFormControlObj>(0);
  auto* list = control<TListBoxFormControlObj>(1);
  ASSERT_TRUE(drop && list);
  EXPECT_EQ(drop->ComboBox()->Items()->Count(), 4000);
  EXPECT_EQ(drop->ComboBox()->ItemIndex(), 3210);
  EXPECT_EQ(drop->ComboBox()->Items()->Strings(3999), u"o3999");
  EXPECT_EQ(list->ListBox()->Items()->Count(), 4000);
  EXPECT_EQ(pairs(), (std::vector<String>{u"d=o3210", u"l=p0"}));
}

TEST_F(Forms, ListBoxesShowUpToEightRows) {
  std::string options;
  for (int i = 0; i < 12; ++i) options += "<option>item " + std::to_string(i);
  load("<form><select name=a multiple>" + options + "</select><select name=b multiple></select></form>");
  auto* a = control<TListBoxFormControlObj>(0);
  auto* b = control<TListBoxFormControlObj>(1);
  EXPECT_EQ(a->LBSize, 8);
  EXPECT_EQ(b->LBSize, 1);
  EXPECT_GT(a->Height(), 7 * b->Height() / 2);
}

TEST_F(Forms, TextAreasKeepLineBreaksAndHardWrapSubmitsTheShownLines) {
  load("<form><textarea name=t>first line\nsecond line</textarea>"
       "<textarea name=h cols=6 wrap=hard>one two three four</textarea>"
       "<textarea name=s cols=6>one two three four</textarea></form>");
  const std::vector<String> p = pairs();
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0], u"t=first line\r\nsecond line");
  auto* hard = control<TTextAreaFormControlObj>(1);
  const std::vector<String> lines = hard->WrappedLines();
  ASSERT_GT(lines.size(), 1u) << "six columns cannot hold the whole text";
  String joined;
  for (size_t i = 0; i < lines.size(); ++i) joined += (i ? u"\r\n" : u"") + lines[i];
  EXPECT_EQ(p[1], u"h=" + joined);
  EXPECT_EQ(p[2], u"s=one two three four");

  hard->Memo()->SetText(u"changed");
  form()->ResetControls();
  EXPECT_EQ(pairs()[1].substr(0, 5), u"h=one");
}

TEST_F(Forms, ImageInputsSubmitTheClickPosition) {
  load("<form><input type=image name=go src=x.png><input type=image src=y.png></form>");
  auto* named = control<TImageFormControlObj>(0);
  auto* unnamed = control<TImageFormControlObj>(1);
  named->XTmp = 12;
  named->YTmp = 34;
  named->ImageClick();
  settle();
  ASSERT_EQ(Submitted.size(), 1u);
  EXPECT_EQ(Submitted[0].Pairs, (std::vector<String>{u"go.x=12", u"go.y=34"}));
  // The position goes with one submission only.
  EXPECT_TRUE(pairs().empty());
  unnamed->XTmp = 1;
  unnamed->YTmp = 2;
  unnamed->ImageClick();
  settle();
  ASSERT_EQ(Submitted.size(), 2u);
  EXPECT_EQ(Submitted[1].Pairs, (std::vector<String>{u"x=1", u"y=2"}));
}

TEST_F(Forms, APageWithImageInputsIsReplacedAndFreedCleanly) {
  // The document frees its sections (and so the pictures) before its forms;
  // the control then must not write to its freed picture (the sanitizer run
  // sees such a write).
  load("<form><input type=image name=go src=x.png></form><p>text</p>");
  auto* input = control<TImageFormControlObj>(0);
  ASSERT_NE(input, nullptr);
  ASSERT_NE(input->MyImage, nullptr);
  EXPECT_EQ(input->MyImage->MyFormControl, input);
  load("<p>another page</p>");
  EXPECT_TRUE(View->Document()->Forms.empty() || View->Document()->Forms[0]->ControlList.empty());
  load("<form><input type=image src=y.png></form>");
  EXPECT_NE(control<TImageFormControlObj>(0), nullptr);
}

TEST_F(Forms, ControlsOutsideAFormShareOneFormAndTabIndexesOrderTheStops) {
  load("<input name=a tabindex=3><input name=b><input name=c tabindex=3><input name=d tabindex=0>"
       "<input type=hidden name=h value=v>");
  ASSERT_EQ(View->Document()->Forms.size(), 1u);
  EXPECT_EQ(form()->NonHiddenCount, 4);
  EXPECT_EQ(pairs(), (std::vector<String>{u"a=", u"b=", u"c=", u"d=", u"h=v"}));
  std::vector<String> order;
  for (const TTabStop& t : View->Document()->TabStops)
    order.push_back(static_cast<TFormControlObj*>(t.Control)->FName);
  EXPECT_EQ(order, (std::vector<String>{u"a", u"c"}));
  EXPECT_LT(control<TEditFormControlObj>(0)->TabOrder(), control<TEditFormControlObj>(2)->TabOrder());
  EXPECT_LT(control<TEditFormControlObj>(2)->TabOrder(), control<TEditFormControlObj>(1)->TabOrder());
}

TEST_F(Forms, ATextInputIsFifteenAverageCharactersWideUnlessSized) {
  load("<input name=a><input name=b size=4><input name=c size=\"7, 2\"><input name=d style=\"width:200px\">");
  TCanvas canvas;
  canvas.Font()->Assign(*control<TEditFormControlObj>(0)->TheControl()->Font());
  canvas.TextHeight(u"A");
  TEXTMETRICW tm{};
  GetTextMetricsW(canvas.Handle(), &tm);
  EXPECT_EQ(control<TEditFormControlObj>(0)->Width(), 15 * tm.tmAveCharWidth + 23);
  EXPECT_EQ(control<TEditFormControlObj>(1)->Width(), 4 * tm.tmAveCharWidth + 23);
  EXPECT_EQ(control<TEditFormControlObj>(2)->Width(), 7 * tm.tmAveCharWidth + 23);
  EXPECT_EQ(control<TEditFormControlObj>(3)->Width(), 200);
}

TEST_F(Forms, ControlsSitInTheLineAndScrollWithThePage) {
  std::string page = "<p>Name: <input name=q value=word> <input type=submit value=Go></p>";
  for (int i = 0; i < 60; ++i) page += "<p>Filler line " + std::to_string(i) + "</p>";
  load(page);
  auto* edit = control<TEditFormControlObj>(0);
  auto* button = control<TButtonFormControlObj>(1);
  TWinControl* e = edit->TheControl();
  TWinControl* b = button->TheControl();
  EXPECT_TRUE(e->Visible());
  // After the label, on the first line, and the button after the edit.
  EXPECT_GT(e->Left(), 40);
  EXPECT_LT(e->Top(), 40);
  EXPECT_GE(b->Left(), e->Left() + e->Width());
  const int editTop = e->Top();
  // The layout dump shows both controls on the first line.
  const std::string dump = DumpLayout(*View->Document());
  EXPECT_NE(dump.find("control @6 y=" + std::to_string(edit->YValue) + " w=" + std::to_string(e->Width())),
            std::string::npos)
      << dump;
  EXPECT_EQ(edit->YValue, button->YValue);

  // The control's pixels are on the screen where the control says it is.
  std::vector<std::uint32_t> pixels;
  int w = 0, h = 0;
  ASSERT_TRUE(GrabWindow(View, pixels, w, h));
  // Sampled near the field's right end, clear of the short value's letters
  // (whose ink reaches its left padding in some faces).
  const std::uint32_t inside =
      pixels[size_t(e->Top() + e->Height() / 2) * size_t(w) + size_t(e->Left() + e->Width() - 6)];
  EXPECT_EQ(inside & 0xFFFFFF, 0xFFFFFFu) << "the edit's white field";

  // A line down scrolls the pixels and the controls, and paints a strip.
  InjectFocus(View->Handle());
  settle();
  InjectKeyStroke(View->Handle(), VK_DOWN, {}, String());
  settle();
  ASSERT_EQ(View->Document()->ScrollY, View->VScrollBar()->SmallChange());
  EXPECT_EQ(e->Top(), editTop - View->Document()->ScrollY);
  EXPECT_GT(e->Left(), 40);

  View->SetVScrollPos(30);
  paint();
  EXPECT_EQ(e->Top(), editTop - 30);
  View->SetVScrollPos(600);
  paint();
  EXPECT_TRUE(e->Left() <= -4000 || e->Top() + e->Height() <= 0) << "scrolled out of view";
  View->SetVScrollPos(0);
  paint();
  EXPECT_EQ(e->Top(), editTop);
}

TEST_F(Forms, FocusAndChangeReachTheViewersEvents) {
  load("<form><input name=a onfocus=\"f()\" onchange=\"c()\" onblur=\"b()\"><input name=b onclick=\"k()\">"
       "<input type=checkbox name=x onclick=\"cb()\"></form>");
  std::vector<String> events;
  View->SetOnObjectFocus([&](TObject*, TObject*, const String& s) { events.push_back(u"focus " + s); });
  View->SetOnObjectBlur([&](TObject*, TObject*, const String& s) { events.push_back(u"blur " + s); });
  View->SetOnObjectChange([&](TObject*, TObject*, const String& s) { events.push_back(u"change " + s); });
  View->SetOnObjectClick([&](TObject*, TObject*, const String& s) { events.push_back(u"click " + s); });
  auto* a = control<TEditFormControlObj>(0);
  auto* b = control<TEditFormControlObj>(1);
  InjectFocus(a->TheControl()->Handle());
  Application->ProcessMessages();
  EXPECT_TRUE(a->Active);
  a->Edit()->SetText(u"typed");
  InjectFocus(b->TheControl()->Handle());
  Application->ProcessMessages();
  EXPECT_FALSE(a->Active);
  click(control<TCheckBoxFormControlObj>(2)->TheControl());
  EXPECT_EQ(events, (std::vector<String>{u"focus f()", u"change c()", u"blur b()", u"click cb()"}));
}

TEST_F(Forms, PrintingDrawsTheControlsLook) {
  load("<form><input name=q value=printed><input type=checkbox checked><input type=checkbox></form>");
  auto* edit = control<TEditFormControlObj>(0);
  auto* on = control<TCheckBoxFormControlObj>(1);
  auto* off = control<TCheckBoxFormControlObj>(2);
  TBitmap bitmap(300, 60);
  TCanvas* c = bitmap.Canvas();
  c->Brush()->SetColor(clYellow);
  c->FillRect(TRect(0, 0, 300, 60));
  edit->Draw(c, 10, 10);
  on->Draw(c, 200, 10);
  off->Draw(c, 240, 10);
  auto darkIn = [&](int x1, int y1, int x2, int y2) {
    int n = 0;
    for (int y = y1; y < y2; ++y)
      for (int x = x1; x < x2; ++x)
        if ((ColorToRGB(c->Pixels(x, y)) & 0xFFFFFF) < 0x404040) ++n;
    return n;
  };
  // The edit's text inside its box, on its white field.
  EXPECT_GT(darkIn(14, 12, 10 + edit->Width() - 4, 10 + edit->Height() - 2), 10);
  EXPECT_EQ(ColorToRGB(c->Pixels(10 + edit->Width() - 6, 10 + edit->Height() - 6)) & 0xFFFFFF, 0xFFFFFFu);
  // A tick in the checked box only.
  const int mid = 10 + on->Height() / 2;
  EXPECT_GT(darkIn(203, mid - 3, 210, mid + 4), 2);
  EXPECT_EQ(darkIn(243, mid - 3, 250, mid + 4), 0);

  // A print copy paints the controls where its lines put them and leaves
  // the screen's controls where they are.
  const int screenLeft = edit->TheControl()->Left();
  ThtDocument copy(*View->Document());
  copy.Printing = true;
  TBitmap page(500, 120);
  TCanvas* pc = page.Canvas();
  pc->Brush()->SetColor(clWhite);
  pc->FillRect(TRect(0, 0, 500, 120));
  int scrollWidth = 0, curs = 0;
  copy.DoLogic(pc, 0, 500, 120, 0, scrollWidth, curs);
  copy.SetScrollY(0);
  copy.Draw(pc, TRect(0, 0, 500, 120), 500, 0, 0, 0, 0);
  EXPECT_EQ(edit->TheControl()->Left(), screenLeft);
  int dark = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 10 + edit->Width(); ++x)
      if ((ColorToRGB(pc->Pixels(x, y)) & 0xFFFFFF) < 0x404040) ++dark;
  EXPECT_GT(dark, 10) << "the edit's text on paper";

  // A whole page with controls prints.
  TPrinter printer;
  printer.SetPrinterIndex(int(printer.Printers().size()) - 1);  // the PDF writer
  const std::string pdf = ::testing::TempDir() + "tamrix-forms-" + std::to_string(::getpid()) + ".pdf";
  printer.SetOutputFileName(UTF8ToUTF16(pdf));
  View->Print(1, 1, &printer);
  if (printer.Printing()) printer.EndDoc();
  EXPECT_TRUE(FileExists(UTF8ToUTF16(pdf)));
  DeleteFile(UTF8ToUTF16(pdf));
}

TEST_F(Forms, PercentWidthsFollowTheLineAndFileInputsBrowseIntoTheirEdit) {
  load("<form><input name=wide style=\"width:50%\"><input type=file name=f id=pick value=ignored></form>");
  auto* wide = control<TEditFormControlObj>(0);
  const int room = View->PaintPanel()->ClientWidth() - 2 * View->MarginWidth();
  EXPECT_NEAR(wide->Width(), room / 2, 2);
  View->SetBounds(0, 0, 300, 300);
  View->RefreshLayout();
  paint();
  EXPECT_NEAR(wide->Width(), (View->PaintPanel()->ClientWidth() - 2 * View->MarginWidth()) / 2, 2);

  auto* file = control<TEditFormControlObj>(1);
  auto* browse = control<TButtonFormControlObj>(2);
  EXPECT_EQ(browse->TheControl()->Caption(), u"Browse...");
  EXPECT_EQ(View->Document()->IdList->ObjectOf(u"pick"), file) << "the id names the edit";
  file->Edit()->SetText(u"old.txt");
  View->SetOnFileBrowse([&](TObject*, TObject* Obj, String& S) {
    EXPECT_EQ(Obj, file);
    S = u"chosen:" + S;
  });
  click(browse->TheControl());
  EXPECT_EQ(file->Edit()->Text(), u"chosen:old.txt");
  EXPECT_EQ(pairs(), (std::vector<String>{u"wide=", u"f=chosen:old.txt"}));
}

TEST_F(Forms, AHandlerThatReplacesThePageEndsTheClickSafely) {
  load("<form><input type=submit name=go value=Go onclick=\"x\"><input type=reset onclick=\"y\"></form>");
  int clicks = 0;
  View->SetOnObjectClick([&](TObject*, TObject*, const String&) {
    ++clicks;
    View->LoadFromString(u"<p>Another page</p>");
  });
  click(control<TButtonFormControlObj>(0)->TheControl());
  settle();
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Submitted.empty()) << "the old page's form is gone";
  EXPECT_TRUE(View->Document()->Forms.empty());
}

TEST_F(Forms, GoingBackInTheHistoryBringsTypedValuesBack) {
  const std::string dir = ::testing::TempDir() + "tamrix-forms-history-" + std::to_string(::getpid());
  ForceDirectories(UTF8ToUTF16(dir));
  const String first = UTF8ToUTF16(dir + "/first.htm"), second = UTF8ToUTF16(dir + "/second.htm");
  std::ofstream(dir + "/first.htm") << "<form><input name=q><input type=checkbox name=c value=1></form>";
  std::ofstream(dir + "/second.htm") << "<p>Second page</p>";
  View->SetHistoryMaxCount(5);
  View->LoadFromFile(first);
  paint();
  control<TEditFormControlObj>(0)->Edit()->SetText(u"typed");
  control<TCheckBoxFormControlObj>(1)->CheckBox()->SetChecked(true);
  View->LoadFromFile(second);
  ASSERT_EQ(View->History()->Count(), 2);
  View->SetHistoryIndex(1);
  ASSERT_EQ(View->Document()->Forms.size(), 1u);
  EXPECT_EQ(pairs(), (std::vector<String>{u"q=typed", u"c=1"}));
  DeleteFile(first);
  DeleteFile(second);
  RemoveDir(UTF8ToUTF16(dir));
}

TEST_F(Forms, AClickOnAnImageInputSubmitsWhereItWasClicked) {
  load("<p>Press <input type=image name=go src=none.png width=40 height=30 alt=Go></p>");
  auto* ctl = control<TImageFormControlObj>(0);
  ASSERT_TRUE(ctl && ctl->MyImage);
  TImageObj* image = ctl->MyImage;
  const TPoint at{image->DrawXX + 7, image->YPosition - View->Document()->ScrollY + 5};
  HWND panel = View->PaintPanel()->Handle();
  InjectMouse(panel, imMove, mbLeft, at, {});
  InjectMouse(panel, imDown, mbLeft, at, {}, {ssLeft});
  InjectMouse(panel, imUp, mbLeft, at, {});
  settle();
  ASSERT_EQ(Submitted.size(), 1u);
  EXPECT_EQ(Submitted[0].Pairs, (std::vector<String>{u"go.x=7", u"go.y=5"}));
  EXPECT_TRUE(ctl->Active) << "the image input has the focus";
}

TEST_F(Forms, AControlThatTakesTheFocusBelowTheViewIsScrolledIntoIt) {
  std::string page;
  for (int i = 0; i < 60; ++i) page += "<p>Filler line " + std::to_string(i) + "</p>";
  load(page + "<p>Last: <input name=far></p>");
  auto* far = control<TEditFormControlObj>(0);
  ASSERT_GT(far->YValue, 1000);
  EXPECT_EQ(View->Document()->ScrollY, 0);
  InjectFocus(far->TheControl()->Handle());
  settle();
  paint();
  const int v = View->Document()->ScrollY;
  EXPECT_GT(v, 0);
  EXPECT_GE(far->YValue, v);
  EXPECT_LE(far->YValue, v + View->PaintPanel()->ClientHeight());
  // And it is drawn there.
  EXPECT_GT(far->TheControl()->Left(), 0);
  EXPECT_GE(far->TheControl()->Top(), 0);
  EXPECT_LT(far->TheControl()->Top(), View->PaintPanel()->ClientHeight());
}

}  // namespace
