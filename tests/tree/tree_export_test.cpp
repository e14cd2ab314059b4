// The exports against hand-written results: a small tree of two levels,
// with and without columns, Unicode captions, texts that need quoting or
// escaping, and check states filtered by the export mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "platform/core/strings.h"
#include "platform/gui/clipboard.h"
#include "tests/tree/tree_input_util.h"
#include "tree/export_buffer.h"
#include "tree/globals.h"

using namespace inputtest;

namespace {

struct TRow {
  PDataNode Node;
  std::string Value;
};

class ExportTest : public ::testing::Test {
protected:
  TInputFixture F{240, 200};
  std::vector<std::string> Values;  // column 1, by node index in tree order
  PDataNode A = nullptr, B = nullptr, C = nullptr;

  void SetUp() override {
    TInputTree& t = *F.Tree;
    t.Font()->SetColor(clBlack);
    t.SetColor(clWhite);
    t.Header().Font()->SetName(u"DejaVu Sans");
    t.Header().Font()->SetHeight(-16);
    t.Header().Font()->SetColor(clBlack);
    t.Header().Font()->SetStyle({fsBold});
    t.Header().SetHeight(20);
    A = F.add(nullptr, "a");
    B = F.add(A, "b, \"x\"");
    C = F.add(nullptr, "ж€");
    t.OnGetText = [this](TBaseDataTree* tr, PDataNode n, TColumnIndex col, TDTTextType, String& text) {
      if (col == 1)
        text = n == A ? u"1" : n == B ? u"2" : u"3";
      else
        text = itemOf(tr, n)->Caption;
    };
  }

  void addColumns() {
    TDataTreeColumn* name = F.Tree->Header().Columns().Add();
    name->SetText(u"Name");
    name->SetWidth(100);
    TDataTreeColumn* value = F.Tree->Header().Columns().Add();
    value->SetText(u"Value");
    value->SetWidth(60);
    value->SetAlignment(taRightJustify);
    F.Tree->Header().SetMainColumn(0);
    F.Tree->Header().SetOptions(F.Tree->Header().Options() + TDTHeaderOptions{hoVisible});
  }
};

TEST(ExportBuffer, CollectsPiecesAcrossGrowthAndWritesUtf8) {
  TBufferedAnsiString empty;
  EXPECT_EQ(empty.AsString(), "");
  TWideBufferedString wideEmpty;
  EXPECT_EQ(wideEmpty.AsString(), u"");

  TBufferedAnsiString b;
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    b.Add(u"ab\u00e9");  // é goes out as two UTF-8 bytes
    b.AddNewLine();
    expected += "ab\xC3\xA9\r\n";
  }
  b.Add(String(u"x") + char16_t(0xD800) + u"y");
  expected += "x\xEF\xBF\xBDy";
  EXPECT_EQ(b.AsString(), expected);

  TWideBufferedString w;
  String wexpected;
  for (int i = 0; i < 3000; ++i) {
    w.Add(u"\U0001F600z");
    w.AddNewLine();
    wexpected += u"\U0001F600z\r\n";
  }
  w.Add(String(1, char16_t(0xDC00)) + u"q");
  wexpected += u"\uFFFDq";
  EXPECT_EQ(w.AsString(), wexpected);
}

TEST_F(ExportTest, TextWithoutColumnsIndentsByLevelAndQuotesWhatNeedsIt) {
  EXPECT_EQ(F.Tree->ExportText(tstAll, u'\t'),
            "a\r\n"
            "\t\"b, \"\"x\"\"\"\r\n"
            "\xD0\xB6\xE2\x82\xAC\r\n");
  // As CSV the comma needs the quotes as much as the double quote does.
  itemOf(F.Tree, B)->Caption = u"b, x";
  itemOf(F.Tree, C)->Caption = u"two\r\nlines";
  EXPECT_EQ(F.Tree->ExportText(tstAll, u','),
            "a\r\n"
            ",\"b, x\"\r\n"
            "\"two\r\nlines\"\r\n");
  EXPECT_EQ(F.Tree->ExportUnicodeText(tstAll, u";"), u"a\r\n;b, x\r\n\"two\r\nlines\"\r\n");
}

TEST_F(ExportTest, TextWithColumnsWritesHeaderAndPadsTheMainColumnToTheDeepestLevel) {
  addColumns();
  EXPECT_EQ(F.Tree->ExportUnicodeText(tstAll, u"\t"),
            u"Name\t\tValue\r\n"
            u"a\t\t1\r\n"
            u"\t\"b, \"\"x\"\"\"\t2\r\n"
            u"ж€\t\t3\r\n");
}

TEST_F(ExportTest, SourceModeAndOwnerVetoChooseTheNodes) {
  F.Tree->SetSelected(C, true);
  EXPECT_EQ(F.Tree->ExportText(tstSelected, u'\t'), "\xD0\xB6\xE2\x82\xAC\r\n");

  A->CheckState = csCheckedNormal;
  B->CheckState = csCheckedPressed;  // pressed is not "checked" for the export
  C->CheckState = csCheckedNormal;
  F.Tree->TreeOptions().SetExportMode(emChecked);
  EXPECT_EQ(F.Tree->ExportText(tstAll, u'\t'), "a\r\n\xD0\xB6\xE2\x82\xAC\r\n");
  F.Tree->TreeOptions().SetExportMode(emUnchecked);
  EXPECT_EQ(F.Tree->ExportText(tstAll, u'\t'), "");
  EXPECT_EQ(F.Tree->RenderClipboardFormat(CF_TEXT, tstAll), "") << "an empty rendering is no block";

  F.Tree->TreeOptions().SetExportMode(emAll);
  std::vector<PDataNode> after;
  F.Tree->OnBeforeNodeExport = [&](TBaseDataTree*, TDTExportType type, PDataNode n) {
    EXPECT_EQ(type, etText);
    return n != A;
  };
  F.Tree->OnAfterNodeExport = [&](TBaseDataTree*, TDTExportType, PDataNode n) {
    after.push_back(n);
    return true;
  };
  EXPECT_EQ(F.Tree->ExportText(tstAll, u'\t'), "\t\"b, \"\"x\"\"\"\r\n\xD0\xB6\xE2\x82\xAC\r\n");
  EXPECT_EQ(after, (std::vector<PDataNode>{B, C}));
}

TEST_F(ExportTest, HtmlWithoutColumns) {
  itemOf(F.Tree, C)->Caption = String(u"<&>") + char16_t(0xD83D) + u"!";
  const std::string html = F.Tree->ExportHTML(tstAll, u"T\"1");
  EXPECT_EQ(html,
            "<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
            "<style type=\"text/css\">\r\n"
            ".default{font: 9pt \"DejaVu Sans\";color:#000000;}\r\n"
            ".header{font: bold 12pt \"DejaVu Sans\";color:#000000;}\r\n"
            ".noborder{border-style:none;}\r\n"
            ".normalborder {border-top:none; border-left:none; vertical-align:top;"
            "border-right:none;border-bottom:none;}</style>\r\n"
            "<table class=\"default\" bgcolor=#FFFFFF caption=\"T&quot;1\" cellspacing=\"0\" cellpadding=4>\r\n"
            " <tr class=\"default\">\r\n"
            " <td class=\"normalborder\"  height=\"18px\" align=left colspan=\"2\">a</td> </tr>\r\n"
            " <tr class=\"default\">\r\n"
            " <td height=\"18px\">&nbsp;</td>"
            " <td class=\"normalborder\"  height=\"18px\" align=left>b, &quot;x&quot;</td> </tr>\r\n"
            " <tr class=\"default\">\r\n"
            " <td class=\"normalborder\"  height=\"18px\" align=left colspan=\"2\">&lt;&amp;&gt;\xEF\xBF\xBD!</td>"
            " </tr>\r\n"
            "</table>");
}

TEST_F(ExportTest, HtmlWithColumnsWritesHeaderRowColumnColoursAndChangedFonts) {
  addColumns();
  TDataTreeColumn* value = F.Tree->Header().Columns()[1];
  value->SetOptions(value->Options() - TDTColumnOptions{coParentColor});
  value->SetColor(TColor(0x00336699));  // BGR: red 0x99, green 0x66, blue 0x33
  F.Tree->OnPaintText = [this](TBaseDataTree*, TCanvas* c, PDataNode n, TColumnIndex col, TDTTextType) {
    if (n == B && col == 0) c->Font()->SetStyle({fsItalic});
  };
  std::vector<std::string> events;
  F.Tree->OnBeforeHeaderExport = [&](TBaseDataTree*, TDTExportType) { events.push_back("header"); };
  F.Tree->OnAfterHeaderExport = [&](TBaseDataTree*, TDTExportType) { events.push_back("/header"); };
  F.Tree->OnBeforeColumnExport = [&](TBaseDataTree*, TDTExportType, TDataTreeColumn* c) {
    events.push_back("col" + std::to_string(c->Index()));
  };
  const std::string html = F.Tree->ExportHTML(tstAll);
  EXPECT_EQ(events, (std::vector<std::string>{"header", "col0", "col1", "/header"}));
  const std::string buttonFace = [] {
    COLORREF c = ColorToRGB(clBtnFace);
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", unsigned(c & 0xFF), unsigned((c >> 8) & 0xFF),
                  unsigned((c >> 16) & 0xFF));
    return std::string(buf);
  }();
  const std::string header = "<tr class=\"header\" style=\"padding-left:4px;padding-right:4px;\">\r\n"
                             "<th height=\"20px\" align=left colspan=\"2\" bgcolor=" + buttonFace +
                             " width=\"100px\">Name</th>"
                             "<th height=\"20px\" align=right bgcolor=" + buttonFace +
                             " width=\"60px\">Value</th></tr>\r\n";
  EXPECT_NE(html.find(header), std::string::npos) << html;
  const std::string rowB = " <tr class=\"default\">\r\n"
                           " <td height=\"18px\">&nbsp;</td>"
                           " <td class=\"normalborder\"  style=\"{font: italic 9pt 'DejaVu Sans';color:#000000;}\""
                           " height=\"18px\" align=left>b, &quot;x&quot;</td>"
                           " <td class=\"normalborder\"  height=\"18px\" align=right bgcolor=#996633>2</td>"
                           " </tr>\r\n";
  EXPECT_NE(html.find(rowB), std::string::npos) << html;

  // The style stays one attribute whatever quotes the font's name holds.
  F.Tree->OnPaintText = [this](TBaseDataTree*, TCanvas* c, PDataNode n, TColumnIndex col, TDTTextType) {
    if (n == B && col == 0) c->Font()->SetName(u"Bob's \"Sans\"");
  };
  const std::string quoted = F.Tree->ExportHTML(tstAll);
  EXPECT_NE(quoted.find(" style=\"{font: 9pt 'Bob\\'s &quot;Sans&quot;';color:#000000;}\" height="), std::string::npos)
      << quoted;
}

TEST_F(ExportTest, RtfWritesEveryCharacterAsUnicodeAndListsFontsAndColoursOnce) {
  itemOf(F.Tree, C)->Caption = u"\u8000\U0001F600";
  F.Tree->OnPaintText = [this](TBaseDataTree*, TCanvas* c, PDataNode n, TColumnIndex, TDTTextType) {
    if (n == B) {
      c->Font()->SetColor(clRed);
      c->Font()->SetStyle({fsBold});
    }
  };
  const int ppi = Screen ? Screen->PixelsPerInch() : 96;
  const std::string cellx = std::to_string(std::lround(240.0 * 1440.0 / ppi));
  EXPECT_EQ(F.Tree->ExportRTF(tstAll),
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl{\\f0 DejaVu Sans;}}"
            "{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;}"
            "\\uc1\\trowd\\trgaph70\\cellx" + cellx +
            "\\pard\\intbl\\f0\\cf1\\fs18 \\u97\\'3f\\cell\\row"
            "\\pard\\intbl\\tab \\b\\cf2 \\u98\\'3f\\u44\\'3f\\u32\\'3f\\u34\\'3f\\u120\\'3f\\u34\\'3f\\b0\\cell\\row"
            "\\pard\\intbl\\cf1 \\u-32768\\'3f\\u-10179\\'3f\\u-8704\\'3f\\cell\\row"
            "\\pard\\par}");
}

TEST_F(ExportTest, RtfWritesALoneSurrogateAsTheReplacementCharacter) {
  itemOf(F.Tree, A)->Caption = String(1, char16_t(0xDC01)) + u"x" + char16_t(0xD801);
  const std::string rtf = F.Tree->ExportRTF(tstAll);
  EXPECT_NE(rtf.find(" \\u-3\\'3f\\u120\\'3f\\u-3\\'3f\\cell"), std::string::npos) << rtf;
}

TEST_F(ExportTest, ClipboardRenderingsCarryTheirTerminatorAndTheHtmlEnvelope) {
  InitializeGlobalStructures();
  const TTreeGlobals& g = TreeGlobals();
  EXPECT_EQ(F.Tree->RenderClipboardFormat(CF_TEXT, tstAll), F.Tree->ExportText(tstAll, u'\t') + '\0');
  const std::string wide = F.Tree->RenderClipboardFormat(CF_UNICODETEXT, tstAll);
  ASSERT_EQ(wide.size() % 2, 0u);
  EXPECT_EQ(wide.substr(0, 4), std::string("a\0\r\0", 4));
  EXPECT_EQ(wide.substr(wide.size() - 2), std::string("\0\0", 2));
  EXPECT_EQ(F.Tree->RenderClipboardFormat(g.CF_RTF, tstAll), F.Tree->ExportRTF(tstAll) + '\0');
  const std::string html = F.Tree->RenderClipboardFormat(g.CF_HTML, tstAll);
  const std::string fragment = F.Tree->ExportHTML(tstAll);
  ASSERT_EQ(html.back(), '\0');
  EXPECT_EQ(html.substr(0, 97),
            "Version:1.0\r\nStartHTML:00000097\r\nEndHTML:" + std::string(8 - std::to_string(301 + fragment.size()).size(), '0') +
                std::to_string(301 + fragment.size()) + "\r\nStartFragment:00000269\r\nEndFragment:" +
                std::string(8 - std::to_string(269 + fragment.size()).size(), '0') +
                std::to_string(269 + fragment.size()) + "\r\n");
  EXPECT_EQ(html.substr(269, fragment.size()), fragment);
  EXPECT_EQ(html.size() - 1, 301 + fragment.size());
  EXPECT_EQ(F.Tree->RenderClipboardFormat(CF_BITMAP, tstAll), "");
  // A drag renders the selection, the clipboard the cut or copied nodes.
  F.Tree->SetSelected(A, true);
  EXPECT_EQ(F.Tree->RenderExportFormat(CF_TEXT, false), std::string("a\r\n") + '\0');
  EXPECT_EQ(F.Tree->RenderExportFormat(CF_TEXT, true), "");
}

}  // namespace
