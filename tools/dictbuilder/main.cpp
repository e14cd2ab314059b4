// tamrix-dictbuilder: writes the dictionaries the program reads.
//
//   tamrix-dictbuilder dictd INDEX DATA OUT [REVERSED_OUT]
//   tamrix-dictbuilder demo OUT
//   tamrix-dictbuilder bench OUT COUNT [WORD_LIST...]
//   tamrix-dictbuilder list OUT NAME...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "tools/dictbuilder/bench_data.h"
#include "tools/dictbuilder/demo.h"
#include "tools/dictbuilder/dictd_build.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage:\n"
               "  tamrix-dictbuilder dictd INDEX DATA OUT [REVERSED_OUT]\n"
               "  tamrix-dictbuilder demo OUT\n"
               "  tamrix-dictbuilder bench OUT COUNT [WORD_LIST...]\n"
               "  tamrix-dictbuilder list OUT NAME...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dictbuilder;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usage();
  const auto start = std::chrono::steady_clock::now();
  try {
    const std::string& cmd = args[0];
    if (cmd == "dictd" && (args.size() == 4 || args.size() == 5)) {
      const auto r = BuildFromDictd(args[1], args[2], args[3], args.size() == 5 ? args[4] : std::string());
      std::printf("%s: %zu articles", args[3].c_str(), r.EnglishArticles);
      if (args.size() == 5) std::printf("; %s: %zu articles", args[4].c_str(), r.RussianArticles);
    } else if (cmd == "demo" && args.size() == 2) {
      BuildDemoDictionary(args[1]);
      std::printf("%s", args[1].c_str());
    } else if (cmd == "bench" && args.size() >= 3) {
      char* end = nullptr;
      const unsigned long long count = std::strtoull(args[2].c_str(), &end, 10);
      if (*end || count == 0) return usage();
      std::vector<std::string> lists(args.begin() + 3, args.end());
      if (lists.empty()) lists = DefaultBenchWordLists();
      const auto info = BuildBenchDictionary(args[1], count, lists);
      std::printf("%s: %zu real and %zu generated headwords", args[1].c_str(), info.RealWords,
                  info.GeneratedWords);
    } else if (cmd == "list" && args.size() >= 2) {
      WriteDictionaryList(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
      std::printf("%s", args[1].c_str());
    } else {
      return usage();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tamrix-dictbuilder: %s\n", e.what());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(" (%.1f s)\n", seconds);
  return 0;
}
