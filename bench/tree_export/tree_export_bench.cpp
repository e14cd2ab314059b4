// Export of a million string-tree nodes as CSV and as HTML, each beside the
// time to write the same bytes to a file (the least any export to a file
// costs).
//
//   build/bench/tree_export/bench_tree_export [nodes]
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unistd.h>

#include "bench/common/best_time.h"
#include "platform/core/strings.h"
#include "platform/gui/forms.h"
#include "tree/string_tree.h"

namespace {

struct TCaption {
  String Text;
};

double writeSeconds(const std::string& bytes) {
  const std::string path = "/tmp/bench_tree_export." + std::to_string(getpid());
  double s = bestSeconds(3, [&] {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  });
  std::remove(path.c_str());
  return s;
}

void report(const char* what, double exportSeconds, const std::string& bytes) {
  const double write = writeSeconds(bytes);
  std::printf("%-5s export %8.1f ms  %7.1f MB   write same bytes %7.1f ms   ratio %5.1f\n", what,
              exportSeconds * 1000, double(bytes.size()) / 1e6, write * 1000, exportSeconds / write);
}

}  // namespace

int main(int argc, char** argv) {
  const int nodes = argc > 1 ? std::atoi(argv[1]) : 1000000;
  Application->Initialize();
  TDataStringTree tree(nullptr);
  tree.SetNodeDataSize(int(sizeof(TCaption)));
  tree.OnFreeNode = [](TBaseDataTree* t, PDataNode n) { t->GetNodeData<TCaption>(n)->~TCaption(); };
  tree.OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType, String& text) {
    text = t->GetNodeData<TCaption>(n)->Text;
  };
  tree.BeginUpdate();
  const int perRoot = 1000;
  PDataNode root = nullptr;
  for (int i = 0; i < nodes; ++i) {
    PDataNode n;
    if (i % perRoot == 0) {
      n = root = tree.AddChild(nullptr);
    } else {
      n = tree.AddChild(root);
    }
    new (tree.GetNodeData<TCaption>(n)) TCaption{UTF8ToUTF16("word " + std::to_string(i) + ", слово")};
  }
  tree.EndUpdate();
  std::printf("%d nodes, %d per root\n", nodes, perRoot);

  std::string csv;
  double csvSeconds = bestSeconds(3, [&] { csv = tree.ExportText(tstAll, u','); });
  report("CSV", csvSeconds, csv);
  std::string html;
  double htmlSeconds = bestSeconds(3, [&] { html = tree.ExportHTML(tstAll); });
  report("HTML", htmlSeconds, html);
  return 0;
}
