#pragma once
// Running the command-line tools from tests: quoting for the shell, where
// the build puts a tool, and a run that keeps standard output and the exit
// code.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace tooltest {

inline std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The tools are built beside the tests: build/tools/<name>.
inline std::filesystem::path builtTool(const char* name) {
  return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / name;
}

struct CommandRun {
  int ExitCode = -1;
  std::string Out;
};

inline CommandRun runCommand(const std::string& cmd) {
  CommandRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.Out.append(buf.data(), n);
  const int status = pclose(p);
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace tooltest
