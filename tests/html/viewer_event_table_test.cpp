// Any handler may free the viewer: from every event the viewer, its
// document and the page's form controls raise, a handler frees the viewer
// (with the form it is on) while a real operation raises the event, and
// the operation ends without touching anything of the freed viewer (the
// sanitizer build reports any such use; the plain build has freed memory
// filled with a pattern). A count check reads the viewer's, the document's
// and the form controls' headers, so an event added there without a row
// here fails.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "html/forms/form_controls.h"
#include "html/forms/form_kinds.h"
#include "html/model/document.h"
#include "html/model/font_runs.h"
#include "html/parse/source_buffer.h"
#include "html/print/metafile_printer.h"
#include "platform/core/files.h"
#include "platform/core/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/gui/testing.h"
#include "tests/html/viewer_fixture.h"

namespace {

constexpr const char* kLinkPage =
    "<body style='margin:0'><a href='elsewhere.htm'>link text here</a><p>more text below</p></body>";
constexpr const char* kPicturePage =
    "<body style='margin:0'><img src='none.png' width=80 height=60 alt=''><p>words after</p></body>";
constexpr const char* kTextPage = "<body style='margin:0'><p>some words on the page</p></body>";
constexpr const char* kPanelPage =
    "<body style='margin:0'><panel name=p1 type=card src=s.bin width=60 height=40><p>after</p></body>";

struct ViewerEventTable : ::testing::Test, ViewerOnForm {
  void SetUp() override { mallopt(M_PERTURB, 0xA5); }
  void TearDown() override {
    if (View) closeViewer();
    for (const String& f : Files) DeleteFile(f);
    mallopt(M_PERTURB, 0);
  }

  // What every handler of the table does: the first call frees the viewer.
  int Fired = 0;
  void freeViewer() {
    ++Fired;
    if (View) closeViewer();
  }

  // One step of an operation, run while the viewer lives.
  void step(const std::function<void()>& Do) {
    if (View) Do();
  }
  HWND panel() const { return View->PaintPanel()->Handle(); }
  void click(TPoint P, TMouseButton Button = mbLeft) {
    const HWND h = panel();
    InjectMouse(h, imDown, Button, P, {}, Button == mbLeft ? TShiftState{ssLeft} : TShiftState{ssRight});
    step([&] { InjectMouse(h, imUp, Button, P, {}); });
    step([] { settle(); });
  }
  template <class T>
  T* control(int Index = 0) {
    int seen = 0;
    for (const auto& c : View->Document()->ControlList)
      if (auto* t = dynamic_cast<T*>(c)) {
        if (seen++ == Index) return t;
      }
    return nullptr;
  }
  TButtonFormControlObj* button(TButtonFormControlObj::TButtonKind Which) {
    for (const auto& form : View->Document()->Forms)
      for (auto& c : form->ControlList)
        if (auto* b = dynamic_cast<TButtonFormControlObj*>(c.get()); b && b->Which == Which) return b;
    return nullptr;
  }
  void focus(TWinControl* C) {
    InjectFocus(C->Handle());
    settle();
  }
  void print() {
    TMetaFilePrinter rec(nullptr);
    View->Print(1, 0x7FFFFFFF, &rec);
  }
  String pageFile(const std::string& Name, const std::string& Html) {
    const std::string path = "/tmp/tamrix-event-table-" + std::to_string(getpid()) + "-" + Name + ".htm";
    std::ofstream(path, std::ios::binary) << Html;
    Files.push_back(UTF8ToUTF16(path));
    return Files.back();
  }
  std::vector<String> Files;
  TMemoryStream Picture;  // some bytes an image request hands out
};

// A row: the event, what raises it here, how the freeing handler is set
// (after the page the row needs is loaded), and the operation.
struct Row {
  std::string Event;
  std::string How;
  std::function<void(ViewerEventTable&)> Prepare;
  std::function<void(ViewerEventTable&)> Arm;
  std::function<void(ViewerEventTable&)> Drive;
};

using T = ViewerEventTable;
auto loadPage(const char* Html) {
  return [Html](T& t) { t.load(Html); };
}
void nothing(T&) {}
// Loads a page as the operation.
auto loading(const char* Html) {
  return [Html](T& t) { t.View->LoadFromString(UTF8ToUTF16(Html)); };
}

std::vector<Row> rows() {
  std::vector<Row> r;
  // ---- the viewer's own events ----
  r.push_back({"OnHotSpotClick", "a click on a link", loadPage(kLinkPage),
               [](T& t) { t.View->OnHotSpotClick = [&t](TObject*, const String&, bool&) { t.freeViewer(); }; },
               [](T& t) { t.click({10, 8}); }});
  r.push_back({"OnHotSpotCovered", "the mouse comes over a link", loadPage(kLinkPage),
               [](T& t) { t.View->OnHotSpotCovered = [&t](TObject*, const String&) { t.freeViewer(); }; },
               [](T& t) {
                 InjectMouse(t.panel(), imMove, mbLeft, {10, 8}, {});
                 t.step([] { T::settle(); });
               }});
  r.push_back({"OnRightClick", "a right click on the page", loadPage(kTextPage),
               [](T& t) { t.View->OnRightClick = [&t](TObject*, TRightClickParameters*) { t.freeViewer(); }; },
               [](T& t) { t.click({20, 8}, mbRight); }});
  r.push_back({"OnImageClick", "a click on a picture", loadPage(kPicturePage),
               [](T& t) {
                 t.View->OnImageClick = [&t](TObject*, TObject*, TMouseButton, TShiftState, int, int) {
                   t.freeViewer();
                 };
               },
               [](T& t) { t.click({20, 20}); }});
  r.push_back({"OnImageOver", "the mouse over a picture", loadPage(kPicturePage),
               [](T& t) {
                 t.View->OnImageOver = [&t](TObject*, TObject*, TShiftState, int, int) { t.freeViewer(); };
               },
               [](T& t) {
                 InjectMouse(t.panel(), imMove, mbLeft, {20, 20}, {});
                 t.step([] { T::settle(); });
               }});
  r.push_back({"OnMouseDouble", "a double click on a word", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnMouseDouble = [&t](TObject*, TMouseButton, TShiftState, int, int) { t.freeViewer(); };
               },
               [](T& t) {
                 const HWND h = t.panel();
                 InjectMouse(h, imDown, mbLeft, {20, 8}, {}, {ssLeft});
                 t.step([&] { InjectMouse(h, imUp, mbLeft, {20, 8}, {}); });
                 t.step([&] { InjectMouse(h, imDoubleClick, mbLeft, {20, 8}, {}, {ssLeft}); });
                 t.step([&] { InjectMouse(h, imUp, mbLeft, {20, 8}, {}); });
                 t.step([] { T::settle(); });
               }});
  r.push_back({"OnHistoryChange", "a second page opened from a file",
               [](T& t) {
                 t.View->SetHistoryMaxCount(10);
                 t.View->LoadFromFile(t.pageFile("first", "<p>first</p>"));
               },
               [](T& t) { t.View->OnHistoryChange = [&t](TObject*) { t.freeViewer(); }; },
               [](T& t) { t.View->LoadFromFile(t.pageFile("second", "<p>second</p>")); }});
  r.push_back({"OnProcessing", "a load", nothing,
               [](T& t) { t.View->OnProcessing = [&t](TObject*, bool) { t.freeViewer(); }; },
               loading(kTextPage)});
  r.push_back({"OnProgress", "a load", nothing,
               [](T& t) { t.View->OnProgress = [&t](TObject*, TProgressStage, int) { t.freeViewer(); }; },
               loading(kTextPage)});
  r.push_back({"OnProgress", "the page laid out again", loadPage(kTextPage),
               [](T& t) { t.View->OnProgress = [&t](TObject*, TProgressStage, int) { t.freeViewer(); }; },
               [](T& t) { t.View->RefreshLayout(); }});
  r.push_back({"OnProcessing", "pictures switched off", loadPage(kPicturePage),
               [](T& t) { t.View->OnProcessing = [&t](TObject*, bool) { t.freeViewer(); }; },
               [](T& t) { t.View->SetViewImages(false); }});
  r.push_back({"OnMeta", "a META element", nothing,
               [](T& t) {
                 t.View->OnMeta = [&t](TObject*, const String&, const String&, const String&) { t.freeViewer(); };
               },
               loading("<html><head><meta name=author content=someone></head><body><p>text</p>"
                       "<table><tr><td>cell</td></tr></table></body></html>")});
  r.push_back({"OnMetaRefresh", "a refresh META", nothing,
               [](T& t) { t.View->OnMetaRefresh = [&t](TObject*, int, const String&) { t.freeViewer(); }; },
               loading("<head><meta http-equiv=refresh content='5; url=next.htm'></head><p>text</p>")});
  r.push_back({"OnFilenameExpanded", "a picture's name", nothing,
               [](T& t) { t.View->OnFilenameExpanded = [&t](TObject*, String&) { t.freeViewer(); }; },
               loading(kPicturePage)});
  r.push_back({"OnSoundRequest", "a load stops the sound", nothing,
               [](T& t) { t.View->OnSoundRequest = [&t](TObject*, const String&, int, bool) { t.freeViewer(); }; },
               loading(kTextPage)});
  r.push_back({"OnSoundRequest", "a BGSOUND element", nothing,
               [](T& t) {
                 t.View->OnSoundRequest = [&t](TObject*, const String& Src, int, bool) {
                   if (!Src.empty()) t.freeViewer();
                 };
               },
               loading("<head><bgsound src=tune.wav loop=2></head><p>text</p><p>more</p>")});
  r.push_back({"OnLink", "a LINK element", nothing,
               [](T& t) {
                 t.View->OnLink = [&t](TObject*, const String&, const String&, const String&) { t.freeViewer(); };
               },
               loading("<head><link rel=next href=b.htm></head><p>text</p>")});
  r.push_back({"OnInclude", "an include directive", nothing,
               [](T& t) {
                 t.View->OnInclude = [&t](TObject*, const String&, TStringList*, std::unique_ptr<TBuffer>& Included) {
                   Included = TBuffer::CreateFromString(u"<b>included</b>", u"part");
                   t.freeViewer();
                 };
               },
               loading("<p>before <!--#greet who=world--> after</p><p>more</p>")});
  r.push_back({"OnObjectTag", "an OBJECT element", nothing,
               [](T& t) {
                 t.View->OnObjectTag = [&t](TObject*, ThvPanel*, const TStringList&, const TStringList&, bool& Want) {
                   Want = true;
                   t.freeViewer();
                 };
               },
               loading("<p>start</p><object data=card.bin><p>fallback</p></object><p>end</p>")});
  r.push_back({"OnParseBegin", "a load", nothing,
               [](T& t) { t.View->OnParseBegin = [&t](TObject*, TBuffer*&) { t.freeViewer(); }; },
               loading(kTextPage)});
  r.push_back({"OnParseBegin", "a load given another buffer", nothing,
               [](T& t) {
                 t.View->OnParseBegin = [&t](TObject*, TBuffer*& Source) {
                   Source = TBuffer::CreateFromString(u"<p>replaced</p>", u"other").release();
                   t.freeViewer();
                 };
               },
               loading(kTextPage)});
  r.push_back({"OnParseEnd", "a load", nothing,
               [](T& t) { t.View->OnParseEnd = [&t](TObject*) { t.freeViewer(); }; }, loading(kPicturePage)});
  r.push_back({"OnhtStreamRequest", "a linked style sheet", nothing,
               [](T& t) {
                 t.View->OnhtStreamRequest = [&t](TObject*, const String&, TStream*&) { t.freeViewer(); };
               },
               loading("<head><link rel=stylesheet href=look.css></head><p>text</p>")});
  r.push_back({"OnDocumentStreamRequest", "a linked style sheet", nothing,
               [](T& t) {
                 t.View->SetOnDocumentStreamRequest([&t](TObject*, const String& Name, String& Result) {
                   Result = Name;
                   t.freeViewer();
                 });
               },
               loading("<head><link rel=stylesheet href=look.css></head><p>text</p>")});
  r.push_back({"OnDocumentStreamRequest", "a background picture's name", nothing,
               [](T& t) {
                 t.View->SetOnImageRequest([](TObject*, const String&, TStream*& S) { S = ErrorStream(); });
                 t.View->SetOnDocumentStreamRequest([&t](TObject*, const String& Name, String& Result) {
                   Result = Name;
                   if (Name == u"back.png") t.freeViewer();
                 });
               },
               loading("<body background=back.png><p>text</p></body>")});
  // ---- printing ----
  r.push_back({"OnPrinting", "a print", loadPage(kTextPage),
               [](T& t) { t.View->OnPrinting = [&t](TObject*, bool&) { t.freeViewer(); }; },
               [](T& t) { t.print(); }});
  r.push_back({"OnPrinted", "a print", loadPage(kTextPage),
               [](T& t) { t.View->OnPrinted = [&t](TObject*) { t.freeViewer(); }; }, [](T& t) { t.print(); }});
  r.push_back({"OnPrintHeader", "a print", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnPrintHeader = [&t](TObject*, TCanvas*, int, int, int, bool&) { t.freeViewer(); };
               },
               [](T& t) { t.print(); }});
  r.push_back({"OnPrintFooter", "a print", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnPrintFooter = [&t](TObject*, TCanvas*, int, int, int, bool&) { t.freeViewer(); };
               },
               [](T& t) { t.print(); }});
  r.push_back({"OnPrintHTMLHeader", "a print", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnPrintHTMLHeader = [&t](TObject*, THtmlView* HF, int, bool, int&, int&, bool&) {
                   HF->LoadFromString(u"<p>head</p>");
                   t.freeViewer();
                 };
               },
               [](T& t) { t.print(); }});
  r.push_back({"OnPrintHTMLFooter", "a print", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnPrintHTMLFooter = [&t](TObject*, THtmlView* HF, int, bool, int&, int&, bool&) {
                   HF->LoadFromString(u"<p>foot</p>");
                   t.freeViewer();
                 };
               },
               [](T& t) { t.print(); }});
  // ---- events kept in the document ----
  r.push_back({"OnImageRequest", "a picture of the page", nothing,
               [](T& t) { t.View->SetOnImageRequest([&t](TObject*, const String&, TStream*&) { t.freeViewer(); }); },
               loading(kPicturePage)});
  r.push_back({"OnImageRequested", "a picture handed out", nothing,
               [](T& t) {
                 t.View->SetOnImageRequest([&t](TObject*, const String&, TStream*& S) { S = &t.Picture; });
                 t.View->SetOnImageRequested([&t](TObject*, const String&, TStream*&) { t.freeViewer(); });
               },
               loading(kPicturePage)});
  r.push_back({"OnBitmapRequest", "a picture of the page", nothing,
               [](T& t) {
                 t.View->SetOnBitmapRequest([&t](TObject*, const String&, TBitmap*&, TColor&) { t.freeViewer(); });
               },
               loading(kPicturePage)});
  r.push_back({"OnBitmapRequest", "a picture handed over as a bitmap", nothing,
               [](T& t) {
                 t.View->SetOnBitmapRequest([&t](TObject*, const String&, TBitmap*& B, TColor&) {
                   B = new TBitmap(8, 8);
                   t.freeViewer();
                 });
               },
               loading(kPicturePage)});
  r.push_back({"OnScript", "a SCRIPT element", nothing,
               [](T& t) {
                 t.View->SetOnScript([&t](TObject*, const String&, const String&, const String&, const String&) {
                   t.freeViewer();
                 });
               },
               loading("<head><script>var a = 1;</script></head><p>text</p>")});
  r.push_back({"OnFormSubmit", "a submit button", loadPage("<form action=go.htm><input type=submit value=go></form>"),
               [](T& t) {
                 t.View->SetOnFormSubmit([&t](TObject*, const String&, const String&, const String&, const String&,
                                              TStringList*) { t.freeViewer(); });
               },
               [](T& t) {
                 t.button(TButtonFormControlObj::bkSubmit)->ButtonClick();
                 t.step([] { T::settle(); });
               }});
  r.push_back({"OnObjectClick", "a button with a script", loadPage("<form><input type=button value=b onclick='c'></form>"),
               [](T& t) { t.View->SetOnObjectClick([&t](TObject*, TObject*, const String&) { t.freeViewer(); }); },
               [](T& t) { t.button(TButtonFormControlObj::bkButton)->ButtonClick(); }});
  r.push_back({"OnObjectClick", "a submit button with a script",
               loadPage("<form action=go.htm><input type=submit value=go onclick='c'></form>"),
               [](T& t) {
                 t.View->SetOnFormSubmit([](TObject*, const String&, const String&, const String&, const String&,
                                            TStringList*) {});
                 t.View->SetOnObjectClick([&t](TObject*, TObject*, const String&) { t.freeViewer(); });
               },
               [](T& t) { t.button(TButtonFormControlObj::bkSubmit)->ButtonClick(); }});
  r.push_back({"OnObjectFocus", "a field takes the focus", loadPage("<form><input name=q onfocus='f'></form>"),
               [](T& t) { t.View->SetOnObjectFocus([&t](TObject*, TObject*, const String&) { t.freeViewer(); }); },
               [](T& t) { t.focus(t.control<TEditFormControlObj>()->TheControl()); }});
  r.push_back({"OnObjectFocus", "an image input clicked",
               loadPage("<body style='margin:0'><form><input type=image src=none.png width=50 height=40 "
                        "onfocus='f'></form></body>"),
               [](T& t) { t.View->SetOnObjectFocus([&t](TObject*, TObject*, const String&) { t.freeViewer(); }); },
               [](T& t) { t.click({10, 10}); }});
  r.push_back({"OnObjectBlur", "a click on the page leaves a field",
               [](T& t) {
                 t.load("<body style='margin:0'><p>words</p><form><input name=q onblur='b'></form></body>");
                 t.focus(t.control<TEditFormControlObj>()->TheControl());
               },
               [](T& t) { t.View->SetOnObjectBlur([&t](TObject*, TObject*, const String&) { t.freeViewer(); }); },
               [](T& t) { t.click({10, 8}); }});
  r.push_back({"OnObjectBlur", "a click on a link leaves a field",
               [](T& t) {
                 t.load("<body style='margin:0'><a href='elsewhere.htm'>link text here</a>"
                        "<form><input name=q onblur='b'></form></body>");
                 t.focus(t.control<TEditFormControlObj>()->TheControl());
               },
               [](T& t) { t.View->SetOnObjectBlur([&t](TObject*, TObject*, const String&) { t.freeViewer(); }); },
               [](T& t) { t.click({10, 8}); }});
  r.push_back({"OnObjectChange", "a radio button of a group",
               [](T& t) {
                 t.load("<form><input type=radio name=r value=a checked onchange='left a'>"
                        "<input type=radio name=r value=b onchange='left b'><input type=radio name=r value=c></form>");
                 t.control<TRadioButtonFormControlObj>(0)->FormControlEnter();
               },
               [](T& t) { t.View->SetOnObjectChange([&t](TObject*, TObject*, const String&) { t.freeViewer(); }); },
               [](T& t) { t.control<TRadioButtonFormControlObj>(2)->RadioClick(); }});
  r.push_back({"OnObjectChange", "an edited field left by a click on the page",
               [](T& t) {
                 t.load("<body style='margin:0'><p>words</p><form><input name=q onchange='c' onblur='b'></form></body>");
                 auto* edit = t.control<TEditFormControlObj>();
                 t.focus(edit->TheControl());
                 edit->Edit()->SetText(u"typed");
               },
               [](T& t) { t.View->SetOnObjectChange([&t](TObject*, TObject*, const String&) { t.freeViewer(); }); },
               [](T& t) { t.click({10, 8}); }});
  r.push_back({"OnFileBrowse", "a file input's browse button", loadPage("<form><input type=file name=f></form>"),
               [](T& t) { t.View->SetOnFileBrowse([&t](TObject*, TObject*, String&) { t.freeViewer(); }); },
               [](T& t) { t.button(TButtonFormControlObj::bkBrowse)->ButtonClick(); }});
  r.push_back({"OnPanelCreate", "a PANEL element", nothing,
               [](T& t) {
                 t.View->SetOnPanelCreate(
                     [&t](TObject*, const String&, const String&, const String&, ThvPanel*) { t.freeViewer(); });
               },
               loading(kPanelPage)});
  r.push_back({"OnPanelDestroy", "the next page", loadPage(kPanelPage),
               [](T& t) { t.View->SetOnPanelDestroy([&t](TObject*, ThvPanel*) { t.freeViewer(); }); },
               loading(kTextPage)});
  r.push_back({"OnPanelDestroy", "the page cleared", loadPage(kPanelPage),
               [](T& t) { t.View->SetOnPanelDestroy([&t](TObject*, ThvPanel*) { t.freeViewer(); }); },
               [](T& t) { t.View->Clear(); }});
  r.push_back({"OnPanelPrint", "a print", loadPage(kPanelPage),
               [](T& t) { t.View->SetOnPanelPrint([&t](TObject*, ThvPanel*, TBitmap*) { t.freeViewer(); }); },
               [](T& t) { t.print(); }});
  // ---- the control's events the viewer raises itself ----
  r.push_back({"OnMouseDown", "a click", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnMouseDown = [&t](TObject*, TMouseButton, TShiftState, int, int) { t.freeViewer(); };
               },
               [](T& t) { t.click({20, 8}); }});
  r.push_back({"OnMouseUp", "a click", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnMouseUp = [&t](TObject*, TMouseButton, TShiftState, int, int) { t.freeViewer(); };
               },
               [](T& t) { t.click({20, 8}); }});
  r.push_back({"OnMouseMove", "a move over the page", loadPage(kTextPage),
               [](T& t) { t.View->OnMouseMove = [&t](TObject*, TShiftState, int, int) { t.freeViewer(); }; },
               [](T& t) {
                 InjectMouse(t.panel(), imMove, mbLeft, {30, 9}, {});
                 t.step([] { T::settle(); });
               }});
  r.push_back({"OnMouseMove", "a move over a form control", loadPage("<form><input name=q title=tip></form>"),
               [](T& t) { t.View->OnMouseMove = [&t](TObject*, TShiftState, int, int) { t.freeViewer(); }; },
               [](T& t) {
                 InjectMouse(t.control<TEditFormControlObj>()->TheControl()->Handle(), imMove, mbLeft, {5, 5}, {});
                 t.step([] { T::settle(); });
               }});
  r.push_back({"OnKeyDown", "a key on the page", loadPage(kLinkPage),
               [](T& t) { t.View->OnKeyDown = [&t](TObject*, WORD&, TShiftState) { t.freeViewer(); }; },
               [](T& t) {
                 t.focus(t.View);
                 t.step([&] { InjectKeyStroke(t.View->Handle(), VK_DOWN, {}, String()); });
                 t.step([] { T::settle(); });
               }});
  r.push_back({"OnKeyDown", "a key on a focused link", loadPage(kLinkPage),
               [](T& t) { t.View->OnKeyDown = [&t](TObject*, WORD&, TShiftState) { t.freeViewer(); }; },
               [](T& t) {
                 ThtTabControl* tab = (*t.View->GetLinkList())[0]->TabControl();
                 t.focus(tab);
                 t.step([&] { InjectKeyStroke(tab->Handle(), VK_DOWN, {}, String()); });
                 t.step([] { T::settle(); });
               }});
  r.push_back({"OnKeyDown", "a key in a radio button",
               loadPage("<form><input type=radio name=r value=a><input type=text name=q></form>"),
               [](T& t) { t.View->OnKeyDown = [&t](TObject*, WORD&, TShiftState) { t.freeViewer(); }; },
               [](T& t) {
                 TWinControl* radio = t.control<TRadioButtonFormControlObj>()->TheControl();
                 t.focus(radio);
                 t.step([&] { InjectKeyStroke(radio->Handle(), VK_NEXT, {}, String()); });
                 t.step([] { T::settle(); });
               }});
  // The window's activation may already have focused the viewer: a field
  // of the page holds the focus first, so the viewer surely takes it.
  r.push_back({"OnEnter", "the viewer takes the focus",
               [](T& t) {
                 t.load("<form><input name=q></form>");
                 t.focus(t.control<TEditFormControlObj>()->TheControl());
               },
               [](T& t) { t.View->OnEnter = [&t](TObject*) { t.freeViewer(); }; }, [](T& t) { t.focus(t.View); }});
  r.push_back({"OnExit", "the viewer loses the focus",
               [](T& t) {
                 t.load("<form><input name=q></form>");
                 t.focus(t.View);
               },
               [](T& t) { t.View->OnExit = [&t](TObject*) { t.freeViewer(); }; },
               [](T& t) { t.focus(t.control<TEditFormControlObj>()->TheControl()); }});
  r.push_back({"OnMouseWheel", "a wheel turn", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnMouseWheel = [&t](TObject*, TShiftState, int, TPoint, bool&) { t.freeViewer(); };
               },
               [](T& t) {
                 InjectWheel(t.panel(), {20, 20}, -120, {});
                 t.step([] { T::settle(); });
               }});
  r.push_back({"OnDragOver", "a drag over the page", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnDragOver = [&t](TObject*, TObject*, int, int, TDragState, bool&) { t.freeViewer(); };
               },
               [](T& t) { InjectDrag(t.panel(), idEnter, {30, 20}, u"word"); }});
  r.push_back({"OnDragDrop", "a drop on the page", loadPage(kTextPage),
               [](T& t) {
                 t.View->OnDragOver = [](TObject*, TObject*, int, int, TDragState, bool& Accept) { Accept = true; };
                 t.View->OnDragDrop = [&t](TObject*, TObject*, int, int) { t.freeViewer(); };
               },
               [](T& t) {
                 const HWND h = t.panel();
                 InjectDrag(h, idEnter, {30, 20}, u"word");
                 InjectDrag(h, idDrop, {30, 20}, u"word");
               }});
  return r;
}

// The events the viewer raises for its control that the control's own
// header declares; the rest are found in our headers.
const std::set<std::string> kControlEvents = {"OnMouseDown", "OnMouseUp",  "OnMouseMove", "OnKeyDown", "OnEnter",
                                              "OnExit",      "OnMouseWheel", "OnDragOver", "OnDragDrop"};
// The document's hook the viewer itself sets (no owner's handler).
const std::set<std::string> kViewerHooks = {"OnBackgroundChange"};

std::set<std::string> eventsDeclared() {
  std::set<std::string> found;
  const std::regex name(R"(\bOn(ht)?[A-Z][A-Za-z]*\b)");
  for (const char* header : {"html/viewer/html_view.h", "html/model/document.h", "html/forms/form_controls.h",
                             "html/forms/form_kinds.h"}) {
    std::ifstream in(std::string(TAMRIX_SOURCE_DIR) + "/" + header);
    EXPECT_TRUE(in.good()) << header;
    std::string line;
    while (std::getline(in, line)) {
      const std::size_t comment = line.find("//");
      if (comment != std::string::npos) line.erase(comment);
      for (std::sregex_iterator it(line.begin(), line.end(), name), end; it != end; ++it) {
        std::string n = it->str();
        // A control's script texts name the document's events.
        static const std::regex message(R"(On([A-Z][a-z]+)Message)");
        std::smatch m;
        if (std::regex_match(n, m, message)) n = "OnObject" + m[1].str();
        // The viewer's name for the document's name expansion.
        if (n == "OnExpandName") n = "OnDocumentStreamRequest";
        found.insert(n);
      }
    }
  }
  return found;
}

TEST_F(ViewerEventTable, EveryEventIsInTheTable) {
  std::set<std::string> listed;
  for (const Row& row : rows()) listed.insert(row.Event);
  for (const std::string& e : eventsDeclared())
    if (!kViewerHooks.count(e)) {
      EXPECT_TRUE(listed.count(e)) << e << " has no row";
    }
  for (const std::string& e : listed)
    EXPECT_TRUE(eventsDeclared().count(e) || kControlEvents.count(e)) << e << " is no event of ours";
  // The count the table was written for: every declared event, the
  // control's own ones, and nothing else.
  EXPECT_EQ(listed.size(), eventsDeclared().size() - kViewerHooks.size() + kControlEvents.size());
}

TEST_F(ViewerEventTable, FreeingTheViewerFromAnyEventEndsWhatRaisedIt) {
  Picture.Write("not a picture at all", 20);
  for (const Row& row : rows()) {
    SCOPED_TRACE(row.Event + ": " + row.How);
    if (const char* only = getenv("TAMRIX_EVENT_ROW"); only && (row.Event + ": " + row.How).find(only) == std::string::npos)
      continue;
    if (getenv("TAMRIX_EVENT_ROW")) fprintf(stderr, "ROW %s: %s\n", row.Event.c_str(), row.How.c_str());
    Fired = 0;
    openViewer(500, 400);
    row.Prepare(*this);
    ASSERT_NE(View, nullptr);
    row.Arm(*this);
    row.Drive(*this);
    settle();
    EXPECT_EQ(Fired, 1);
    EXPECT_EQ(View, nullptr);
    if (View) closeViewer();
    // Whatever the freed viewer left behind goes quietly.
    settle();
  }
}

}  // namespace
