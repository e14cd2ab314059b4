// Runs of text whose FONT tag names a code page of their own on a page of
// another: each run decodes exactly its own text, the page's code page
// returns where the run ends, and the copied page decodes each run with
// its code page.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "html/parse/source_buffer.h"
#include "html/viewer/html_view.h"
#include "platform/core/strings.h"
#include "platform/gui/clipboard.h"
#include "tests/html/build_helpers.h"
#include "tests/html/viewer_fixture.h"

namespace {

// "Мир" in KOI8-R, "Ещё" in CP866, and "Да", "Конец" in windows-1251.
const std::string MirKoi8 = "\xED\xC9\xD2", EschoCp866 = "\x85\xE9\xF1";
const std::string Da1251 = "\xC4\xE0", Konets1251 = "\xCA\xEE\xED\xE5\xF6";

const std::string Meta1251 = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">";

std::string runsPage(const std::string& Open, const std::string& Close) {
  return Meta1251 + Open + "<font charset=koi8-r>" + MirKoi8 + "</font>" + Da1251 + "<font charset=ibm866>" +
         EschoCp866 + "</font>" + Konets1251 + Close;
}

bool contains(const std::string& s, const std::string& what) { return s.find(what) != std::string::npos; }

TEST(FontCharsetRuns, EachRunDecodesItsOwnTextAndThePagesCodePageReturnsAfterIt) {
  for (const auto& [open, close] : {std::pair<std::string, std::string>{"<p>", "</p>"}, {"<pre>", "</pre>"},
                                    {"<p><b>", "</b></p>"}}) {
    SCOPED_TRACE(open);
    const std::string dump = buildhelp::Dump(runsPage(open, close));
    EXPECT_TRUE(contains(dump, "МирДаЕщёКонец")) << dump;
  }
  // A run that its paragraph's end closes, and runs one inside another.
  std::string page = Meta1251 + "<p><font charset=koi8-r>" + MirKoi8 + "</p><p>" + Da1251 +
                     "</p><p><font charset=koi8-r>" + MirKoi8 + "<font charset=ibm866>" + EschoCp866 + "</font>" +
                     MirKoi8 + "</font>" + Konets1251 + "</p>";
  const std::string dump = buildhelp::Dump(page);
  for (const char* text : {"\"Мир", "\"Да", "\"МирЕщёМирКонец"}) EXPECT_TRUE(contains(dump, text)) << text << "\n" << dump;
}

TEST(FontCharsetRuns, TheSelectedTextAndTheCopiedPageDecodeEachRunWithItsCodePage) {
  ViewerOnForm v;
  v.openViewer(400, 300);
  const std::string page = runsPage("<p>", "</p>");
  v.View->LoadDocument(TBuffer::CreateFromBytes(page.data(), page.size(), u"page"), u"page.html", HtmlType);
  v.paint();
  v.View->SelectAll();
  EXPECT_EQ(UTF16ToUTF8(v.View->GetSelText()), "МирДаЕщёКонец");
  v.View->CopyToClipboard();
  const RawByteString bytes = Clipboard()->GetBuffer(RegisterClipboardFormat(u"HTML Format"));
  const std::string rec(bytes.begin(), bytes.end());
  EXPECT_TRUE(contains(rec, "<!--StartFragment--><p><font charset=koi8-r>Мир</font>Да<font charset=ibm866>Ещё</font>"
                            "Конец</p><!--EndFragment-->"))
      << rec;
  v.closeViewer();
}

}  // namespace
