// tamrix-render PAGE WIDTH OUT.png [--string] [--media DIR] [--height H] [--dump OUT.txt]
//               [--print OUT.pdf]
//
// Loads a page into a real viewer control (offscreen) whose client area is
// WIDTH pixels wide, paints its top H pixels (1200 by default) into a PNG
// file, optionally writes a text dump of the layout, and prints one JSON
// line with the times of load, layout and paint and the document height.
// From a file the page goes through LoadFromFile (charset detection, META,
// relative links and style sheets); with --string it is decoded as UTF-8
// and loaded the way the application loads articles, image sources of the
// form "*N/NAME" being answered from DIR/N/NAME. With --print the whole
// page is then printed through the viewer's print engine into a PDF file
// (A4, the viewer's default margins, pages 1 to the page count), and the
// JSON line adds the pages printed and the time that took.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "html/model/document.h"
#include "html/viewer/html_view.h"
#include "platform/core/files.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "html/print/printers.h"
#include "html/viewer/viewer_dump.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

int usage() {
  std::fprintf(stderr,
               "usage: tamrix-render PAGE WIDTH OUT.png [--string] [--media DIR] [--height H] "
               "[--dump OUT.txt] [--print OUT.pdf]\n");
  return 2;
}

bool readFile(const std::string& path, std::string& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream ss;
  ss << f.rdbuf();
  out = ss.str();
  return true;
}

// Answers "*N/NAME" from DIR/N/NAME; the stream outlives the request (the
// viewer reads it and leaves it to its giver), the next request replaces it.
struct MediaAnswer {
  String Dir;
  std::unique_ptr<TMemoryStream> Stream;

  void operator()(TObject*, const String& SRC, TStream*& Out) {
    if (Dir.empty() || SRC.size() < 2 || SRC[0] != u'*') return;
    String rel = SRC.substr(1);
    // A name never leaves the media folder: no absolute name, no ".." part
    // (a name that merely holds two dots, "v1..2.png", is an ordinary one).
    if (rel[0] == u'/' || rel[0] == u'\\') return;
    for (size_t start = 0; start <= rel.size();) {
      size_t end = rel.find_first_of(u"/\\", start);
      if (end == String::npos) end = rel.size();
      if (rel.compare(start, end - start, u"..") == 0) return;
      start = end + 1;
    }
    const String path = Dir + u"/" + rel;
    if (!FileExists(path)) return;
    auto s = std::make_unique<TMemoryStream>();
    try {
      s->LoadFromFile(path);
    } catch (const std::exception&) {
      return;
    }
    Stream = std::move(s);
    Out = Stream.get();
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  const std::string page = argv[1];
  const int width = std::atoi(argv[2]);
  const std::string out = argv[3];
  bool asString = false;
  std::string media, dump, pdf;
  int height = 1200;
  for (int i = 4; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--string") {
      asString = true;
    } else if (a == "--media" && i + 1 < argc) {
      media = argv[++i];
    } else if (a == "--height" && i + 1 < argc) {
      height = std::atoi(argv[++i]);
    } else if (a == "--dump" && i + 1 < argc) {
      dump = argv[++i];
    } else if (a == "--print" && i + 1 < argc) {
      pdf = argv[++i];
    } else {
      return usage();
    }
  }
  if (width <= 0 || height <= 0) return usage();

  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  try {
    Application->Initialize();
    auto form = std::make_unique<TForm>(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, width, height);
    form->SetClientWidth(width);
    form->SetClientHeight(height);
    auto* view = new THtmlView(form.get());
    view->SetParent(form.get());
    view->SetBorderStyle(htNone);
    view->SetBounds(0, 0, width, height);
    form->Show();
    Application->ProcessMessages();

    MediaAnswer answer;
    answer.Dir = UTF8ToUTF16(media);
    if (!media.empty())
      view->SetOnImageRequest([&answer](TObject* S, const String& SRC, TStream*& St) { answer(S, SRC, St); });

    Clock::time_point layoutStart{};
    bool parsed = false;
    view->OnParseEnd = [&](TObject*) {
      layoutStart = Clock::now();
      parsed = true;
    };
    const auto t0 = Clock::now();
    if (asString) {
      std::string bytes;
      if (!readFile(page, bytes)) {
        std::fprintf(stderr, "tamrix-render: cannot read %s\n", page.c_str());
        return 1;
      }
      if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
      view->LoadFromString(UTF8ToUTF16(bytes), String(), HtmlType);
    } else {
      const String name = ExpandFileName(UTF8ToUTF16(page));
      const TDocType type = THtmlView::DocTypeOfFileName(name) == TextType ? TextType : HtmlType;
      if (name.find(u'#') != String::npos && FileExists(name)) {
        // LoadFromFile reads "page#part" as a page and an anchor; a file
        // whose own name holds "#" is read as it stands, the same way.
        TFileStream stream(name, fmOpenRead | fmShareDenyWrite);
        view->LoadDocumentStream(name, &stream, type);
      } else {
        view->LoadFromFile(name, type);
      }
    }
    const double loadMs = msSince(t0);
    const double layoutMs = parsed ? msSince(layoutStart) : 0.0;

    const auto p0 = Clock::now();
    std::vector<std::uint32_t> pixels;
    int w = 0, h = 0;
    GrabWindow(view, pixels, w, h);
    const double paintMs = msSince(p0);
    if (!SaveWindowImage(view, UTF8ToUTF16(out))) {
      std::fprintf(stderr, "tamrix-render: cannot write %s\n", out.c_str());
      return 1;
    }
    if (!dump.empty()) {
      std::ofstream f(dump, std::ios::binary);
      f << DumpViewerLayout(*view);
      if (!f) {
        std::fprintf(stderr, "tamrix-render: cannot write %s\n", dump.c_str());
        return 1;
      }
    }
    std::string printed;
    if (!pdf.empty()) {
      const auto t1 = Clock::now();
      auto printer = TViewPrinter::ToPdfFile(UTF8ToUTF16(pdf));
      const int pages = view->NumPrinterPages();
      // A page with nothing to print makes no document: an earlier one of
      // that name does not stay behind as if it were this one's.
      if (pages == 0) DeleteFile(UTF8ToUTF16(pdf));
      if (pages > 0) view->Print(1, pages, printer.get());
      if (printer->Printing()) printer->EndDoc();
      char buf[96];
      std::snprintf(buf, sizeof buf, ",\"pages\":%d,\"print_ms\":%.3f", pages, msSince(t1));
      printed = buf;
    }
    std::printf("{\"load_ms\":%.3f,\"layout_ms\":%.3f,\"paint_ms\":%.3f,\"doc_height\":%d%s}\n", loadMs,
                layoutMs, paintMs, view->DocumentHeight(), printed.c_str());
    std::fflush(stdout);
    view->SetOnImageRequest(nullptr);
    form.reset();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tamrix-render: %s\n", e.what());
    return 1;
  }
  return 0;
}
