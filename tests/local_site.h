#pragma once
// The local dictionary site (tools/site/serve) run by a test: started with
// the test's own options, stopped when the object goes. Its certificate
// authority is trusted only by whoever sets SSL_CERT_FILE to Ca().
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace sitetest {

class LocalSite {
public:
  // Serves from Root with the extra options (see tools/site/serve); waits
  // until the site listens. Ok() tells whether it started.
  LocalSite(const std::filesystem::path& Root, const std::vector<std::string>& Options) : FRoot(Root) {
    const std::string script = std::string(TAMRIX_SOURCE_DIR) + "/tools/site/serve";
    const std::filesystem::path ready = Root.string() + ".ready";
    std::filesystem::remove(ready);
    std::vector<std::string> args = {script, "--root", Root.string(), "--ready", ready.string()};
    args.insert(args.end(), Options.begin(), Options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The site ends with the test program, however that ends (a timeout's
    // kill included).
    const pid_t parent = getpid();
    FPid = fork();
    if (FPid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, 1);
      execv(script.c_str(), argv.data());
      _exit(127);
    }
    if (FPid < 0) FPid = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FPid > 0 && !std::filesystem::exists(ready) && std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(FPid, &status, WNOHANG) == FPid) {
        FPid = 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    std::ifstream in(ready);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string info = ss.str();
    std::smatch m;
    if (std::regex_search(info, m, std::regex("\"base\": \"([^\"]+)\""))) FBase = m[1];
    if (std::regex_search(info, m, std::regex("\"ca\": \"([^\"]+)\""))) FCa = m[1];
    if (std::regex_search(info, m, std::regex("\"https_port\": (\\d+)"))) FPort = m[1];
  }
  ~LocalSite() {
    if (FPid <= 0) return;
    kill(FPid, SIGTERM);
    int status = 0;
    waitpid(FPid, &status, 0);
  }
  LocalSite(const LocalSite&) = delete;
  LocalSite& operator=(const LocalSite&) = delete;

  bool Ok() const { return FPid > 0 && !FBase.empty(); }
  // "https://127.0.0.1:PORT/download/"
  const std::string& Base() const { return FBase; }
  const std::string& Ca() const { return FCa; }
  const std::string& Port() const { return FPort; }
  // The folder the packages are served from.
  std::filesystem::path Download() const { return FRoot / "download"; }

private:
  std::filesystem::path FRoot;
  pid_t FPid = 0;
  std::string FBase, FCa, FPort;
};

}  // namespace sitetest
