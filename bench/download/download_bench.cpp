// bench_download: one package of the local HTTPS site (random content, so
// the package is as large as the dictionary) downloaded and installed by
// the manager window exactly as a user's click does it (size request,
// download into temp/, extraction into dictionaries/, rescan, list update),
// beside "curl -o FILE URL && unzip -o FILE -d DIR" on the same package in
// the same run. Best of several runs each, taken in turn.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/app_state.h"
#include "bench/common/limit.h"
#include "app/dicts_form.h"
#include "bench/common/best_time.h"
#include "platform/core/strings.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"
#include "tests/local_site.h"
#include "tree/string_tree.h"

namespace fs = std::filesystem;

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string megabytes = argc > 1 ? argv[1] : "50";
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  std::string failure;
  SetDialogHook([&](TDialogRequest& r, int& result) {
    if (r.Kind == dkMessageBox) failure = UTF16ToUTF8(r.Text);
    result = r.Kind == dkMessageBox ? IDOK : 0;
    return true;
  });
  if (std::system("command -v curl >/dev/null && command -v unzip >/dev/null") != 0) {
    std::fprintf(stderr, "bench_download: curl and unzip are needed (scripts/deps installs them)\n");
    return 1;
  }

  const fs::path dir = fs::temp_directory_path() / ("tamrix-bench-download-" + std::to_string(getpid()));
  fs::remove_all(dir);
  const fs::path program = dir / "program";
  for (const char* sub : {"dictionaries", "temp", "other"}) fs::create_directories(program / sub);
  fs::copy_file(TAMRIX_ZIPLIB_FILE, program / "other/libziplib190.so");
  std::printf("making a %s MB package ...\n", megabytes.c_str());
  sitetest::LocalSite site(dir / "site", {"--filler", "big:" + megabytes});
  if (!site.Ok()) {
    std::fprintf(stderr, "bench_download: the local site did not start\n");
    return 1;
  }
  setenv("SSL_CERT_FILE", site.Ca().c_str(), 1);
  std::ofstream(program / "other/download_url") << site.Base() << "\n";
  const double packageMB = double(fs::file_size(site.Download() / "big.zip")) / (1024.0 * 1024.0);

  fs::current_path(program);
  AppDir = UTF8ToUTF16(program.string());
  Application->Initialize();
  auto* manager = new TDictsForm(nullptr);
  manager->AfterConstruction();

  auto reset = [&] {
    fs::remove(program / "dictionaries/big.tamrix");
    fs::remove(program / "temp/big.zip");
    std::ofstream(program / "dictionaries/dictionaries._", std::ios::binary | std::ios::trunc);
  };
  auto ours = [&] {
    reset();
    manager->UpdateMoreDicts();
    PDataNode n = manager->MoreDicts->GetFirst();
    if (!n) {
      failure = "the package is not listed: " + UTF16ToUTF8(manager->Label4->Caption());
      return;
    }
    manager->MoreDicts->SetCheckState(n, csCheckedNormal);
    manager->DIButtonClick(manager->DIButton);
  };
  const fs::path peerDir = dir / "peer";
  const std::string peer = "curl -sS --fail --cacert " + quote(site.Ca()) + " -o " + quote((peerDir / "big.zip").string()) +
                           " " + quote(site.Base() + "big.zip") + " && unzip -o -q " +
                           quote((peerDir / "big.zip").string()) + " -d " + quote((peerDir / "out").string());
  auto theirs = [&] {
    fs::remove_all(peerDir);
    fs::create_directories(peerDir / "out");
    if (std::system(peer.c_str()) != 0) failure = "curl and unzip failed";
  };

  double best = 1e300, bestPeer = 1e300;
  for (int i = 0; i < runs && failure.empty(); ++i) {
    best = std::min(best, bestSeconds(1, ours));
    bestPeer = std::min(bestPeer, bestSeconds(1, theirs));
  }
  if (!failure.empty() || !fs::exists(program / "dictionaries/big.tamrix")) {
    std::fprintf(stderr, "bench_download: %s\n", failure.empty() ? "nothing installed" : failure.c_str());
    return 1;
  }
  const double ratio = best / bestPeer;
  std::printf("package: %.1f MB, best of %d runs each\n", packageMB, runs);
  std::printf("%-48s %8.1f ms\n", "manager: size, download, unpack, rescan", best * 1000);
  std::printf("%-48s %8.1f ms\n", "curl to a file, then unzip", bestPeer * 1000);
  std::printf("ratio %.2f (%s)\n", ratio, limitText(ratio, 1.10, "").c_str());

  delete manager;
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  return 0;
}
