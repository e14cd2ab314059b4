// tamrix-probe: runs the real main window offscreen over a program folder,
// searches or completes as a user would, and prints what the window shows
// as one JSON object.
//
//   tamrix-probe --data DIR [--additional TEXT] (--search QUERY | --complete TEXT) [--select R[/C]]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/dicts_form.h"
#include "app/main_form.h"
#include "app/options_form.h"
#include "app/vk_form.h"
#include "db/utf8_convert.h"
#include "html/viewer/html_view.h"
#include "platform/core/strings.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"
#include "tree/string_tree.h"
#include "tools/common/json_text.h"

namespace {

struct Options {
  std::string Data;
  std::string Additional;
  bool HasAdditional = false;
  std::string Search;
  std::string Complete;
  bool IsSearch = false;
  bool IsComplete = false;
  int SelectRow = -1;
  int SelectChild = -1;
};

int usage(const char* message) {
  std::fprintf(stderr, "tamrix-probe: %s\n", message);
  std::fprintf(stderr,
               "usage: tamrix-probe --data DIR [--additional TEXT] (--search QUERY | --complete TEXT) "
               "[--select R[/C]]\n");
  return 2;
}

bool parseSelect(const std::string& s, Options& o) {
  const size_t slash = s.find('/');
  auto number = [](const std::string& t, int& v) {
    if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos) return false;
    v = std::atoi(t.c_str());
    return true;
  };
  if (slash == std::string::npos) return number(s, o.SelectRow);
  return number(s.substr(0, slash), o.SelectRow) && number(s.substr(slash + 1), o.SelectChild);
}

std::string json(const std::string& utf8) { return JsonString(utf8); }

std::string json(const String& s) { return json(UnicodeToUtf8(s)); }

// Runs one of the window's handlers the way the message loop would: an
// exception is shown by the application's default handler (here: reported
// on the error stream) and the program goes on.
template <typename F>
void asTheLoopWould(F&& handler) {
  try {
    handler();
  } catch (...) {
    Application->HandleException(Application);
  }
}

struct ImageAnswer {
  String Src;
  std::int64_t Bytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (a == "--data") {
      if (!value(o.Data)) return usage("--data needs a folder");
    } else if (a == "--additional") {
      if (!value(o.Additional)) return usage("--additional needs a text");
      o.HasAdditional = true;
    } else if (a == "--search") {
      if (!value(o.Search)) return usage("--search needs a query");
      o.IsSearch = true;
    } else if (a == "--complete") {
      if (!value(o.Complete)) return usage("--complete needs a text");
      o.IsComplete = true;
    } else if (a == "--select") {
      std::string s;
      if (!value(s) || !parseSelect(s, o)) return usage("--select needs R or R/C");
    } else {
      return usage(("unknown argument " + a).c_str());
    }
  }
  if (o.Data.empty()) return usage("--data is required");
  if (o.IsSearch == o.IsComplete) return usage("give exactly one of --search and --complete");

  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Message boxes (the hot key that cannot be taken offscreen) are answered
  // and reported on the error stream, never waited for.
  SetDialogHook([](TDialogRequest& r, int& result) {
    if (r.Kind == dkMessageBox) std::fprintf(stderr, "tamrix-probe: message: %s\n", UnicodeToUtf8(r.Text).c_str());
    result = r.Kind == dkMessageBox ? IDOK : (r.Kind == dkPopupMenu ? -1 : 0);
    return true;
  });

  try {
    Application->Initialize();
    Application->SetTitle(u"tamrix 5.7");
    auto* form = new TRuForm(Application);
    form->SetProgramFolder(Utf8ToUnicode(o.Data));
    Application->SetMainForm(form);
    form->AfterConstruction();
    Application->CreateForm<TDictsForm>();
    Application->CreateForm<TOptionsForm>();
    Application->CreateForm<TvkForm>();
    asTheLoopWould([&] { form->Show(); });
    Application->ProcessMessages();
    asTheLoopWould([&] { form->FormActivate(form); });

    std::vector<ImageAnswer> images;
    auto original = form->HTMLOut->OnImageRequest();
    form->HTMLOut->SetOnImageRequest([&images, original](TObject* s, const String& src, TStream*& stream) {
      // Listed before it is answered: a request whose answer fails (and
      // shows the program's message) was still asked for, with 0 bytes.
      const bool media = !src.empty() && src[0] == u'*';
      const size_t at = images.size();
      if (media) images.push_back(ImageAnswer{src, 0});
      if (original) original(s, src, stream);
      if (media) images[at].Bytes = stream ? stream->Size() : 0;
    });

    if (o.HasAdditional) {
      form->AdditionalCheckBox->SetChecked(true);
      form->AdditionalEdit->SetText(Utf8ToUnicode(o.Additional));
    }
    if (o.IsSearch) {
      form->QueryCombo->SetText(Utf8ToUnicode(o.Search));
      asTheLoopWould([&] {
        WORD key = VK_RETURN;
        form->QueryComboKeyDown(form->QueryCombo, key, {});
      });
      asTheLoopWould([&] {
        WORD key = VK_RETURN;
        form->QueryComboKeyUp(form->QueryCombo, key, {});
      });
    } else {
      AppSettings.WordAutoSelect = true;
      const String text = Utf8ToUnicode(o.Complete);
      String typed;
      for (char16_t c : text) {
        typed += c;
        const WORD code = WORD(AnsiUpperChar(c) < 0x80 ? AnsiUpperChar(c) : 0);
        asTheLoopWould([&] {
          WORD key = code;
          form->QueryComboKeyDown(form->QueryCombo, key, {});
        });
        form->QueryCombo->SetText(typed);
        asTheLoopWould([&] {
          WORD key = code;
          form->QueryComboKeyUp(form->QueryCombo, key, {});
        });
      }
    }
    Application->ProcessMessages();

    TDataStringTree* vst = form->vst;
    if (o.SelectRow >= 0) {
      images.clear();
      PDataNode node = nullptr;
      int r = 0;
      for (PDataNode n = vst->GetFirstChild(nullptr); n; n = vst->GetNextSibling(n), ++r)
        if (r == o.SelectRow) node = n;
      if (node && o.SelectChild >= 0) {
        PDataNode child = nullptr;
        int c = 0;
        for (PDataNode n = vst->GetFirstChild(node); n; n = vst->GetNextSibling(n), ++c)
          if (c == o.SelectChild) child = n;
        node = child;
      }
      if (!node) {
        std::fprintf(stderr, "tamrix-probe: no node at --select %d/%d\n", o.SelectRow, o.SelectChild);
        return 1;
      }
      vst->ClearSelection();
      vst->SetFocusedNode(node);
      vst->SetSelected(node, true);
      asTheLoopWould([&] { form->vstClick(vst); });
      // Let the view lay the page out and ask for its pictures.
      asTheLoopWould([&] { form->HTMLOut->Repaint(); });
      for (int i = 0; i < 20; ++i) Application->HandleMessage();
    }

    std::string out = "{\"status\": " + json(form->HintLabel->Caption()) + ", \"tree\": [";
    int r = 0;
    for (PDataNode n = vst->GetFirstChild(nullptr); n; n = vst->GetNextSibling(n), ++r) {
      const ResultNodeType* d = form->NodeRecord(n);
      if (!d) continue;
      if (r) out += ", ";
      std::string dict = "null";
      if (d->Kind != nkNothingFound && -d->Id >= 0 && -d->Id <= LastDictIndex) dict = json(ActiveDicts[-d->Id]);
      out += "{\"caption\": " + json(d->Caption) + ", \"kind\": " + std::to_string(d->Kind) +
             ", \"id\": " + std::to_string(d->Id) + ", \"dict\": " + dict +
             ", \"expanded\": " + (vst->Expanded(n) ? "true" : "false") + ", \"children\": [";
      int c = 0;
      for (PDataNode k = vst->GetFirstChild(n); k; k = vst->GetNextSibling(k), ++c) {
        const ResultNodeType* e = form->NodeRecord(k);
        if (c) out += ", ";
        out += "{\"caption\": " + json(e->Caption) + ", \"kind\": " + std::to_string(e->Kind) +
               ", \"id\": " + std::to_string(e->Id) + "}";
      }
      out += "]}";
    }
    out += "], \"focused\": ";
    PDataNode focused = vst->FocusedNode();
    if (!focused) {
      out += "null";
    } else {
      std::string path;
      PDataNode parent = focused->Parent;
      if (parent == vst->RootNode()) {
        path = std::to_string(focused->Index);
      } else {
        path = std::to_string(parent->Index) + "/" + std::to_string(focused->Index);
      }
      out += json(path);
    }
    if (o.SelectRow >= 0) {
      out += ", \"page\": " + json(form->HTMLOut->GetDocumentSource()) + ", \"images\": [";
      for (size_t i = 0; i < images.size(); ++i) {
        if (i) out += ", ";
        out += "{\"src\": " + json(images[i].Src) + ", \"bytes\": " + std::to_string(images[i].Bytes) + "}";
      }
      out += "]";
    }
    out += "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    // Leave without the closing steps: the probe must not rewrite the
    // folder's settings or empty its temp/.
    std::_Exit(0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tamrix-probe: %s\n", e.what());
    return 1;
  }
}
