#pragma once
// A virtual X server of its own for an end-to-end test suite, on the first
// free display (Xvfb picks it and tells it through -displayfd).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

class TServer {
public:
  bool Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    FPid = fork();
    if (FPid == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return false;
    Display = ":" + number;
    return true;
  }
  ~TServer() {
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
    }
  }
  std::string Display;

private:
  pid_t FPid = -1;
};
