#pragma once
// A virtual X server of its own for an end-to-end test suite. Suites run
// side by side, and this Xvfb keeps no lock files of its own: a server
// ending on a display number removes that number's socket even when a new
// server has just taken the number, and the new server's clients then
// cannot connect. So a number is claimed with a lock of ours, held until
// the server on it has ended, and Xvfb tells through -displayfd when it is
// ready.
//
// The keyboard map holds a Russian layout beside the English one, so that
// xdotool finds every Cyrillic letter on a key. Without it, xdotool maps a
// letter to a spare key just before pressing it and back just after, and a
// program that reads the new map late (a busy machine) gets another letter
// or none.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "tests/e2e/e2e_wait.h"

class TServer {
public:
  TServer() = default;
  TServer(const TServer&) = delete;
  TServer& operator=(const TServer&) = delete;
  ~TServer() { Stop(); }

  bool Start() {
    for (int n = 200; n < 600; ++n) {
      const int lock = claim(n);
      if (lock < 0) continue;
      if (launch(n)) {
        FLock = lock;
        if (std::system(("setxkbmap -display " + Display + " -layout us,ru").c_str()) == 0) return true;
        Stop();
        return false;
      }
      close(lock);
    }
    return false;
  }
  // Ends the server, then gives its number back.
  void Stop() {
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
      FPid = -1;
    }
    if (FLock >= 0) {
      close(FLock);
      FLock = -1;
    }
  }
  std::string Display;

private:
  // The lock on number N, or -1 when another suite holds it or a server
  // that is none of ours (one left behind, or started by other means)
  // stands there.
  static int claim(int N) {
    const std::string n = std::to_string(N);
    const int fd = open(("/tmp/.tamrix-e2e-display-" + n + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    std::error_code ec;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || std::filesystem::exists("/tmp/.X11-unix/X" + n, ec) ||
        std::filesystem::exists("/tmp/.X" + n + "-lock", ec)) {
      close(fd);
      return -1;
    }
    return fd;
  }
  bool launch(int N) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
      e2e::EndWithParent(parent);
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string display = ":" + std::to_string(N);
      const std::string fd = std::to_string(fds[1]);
      // Without -noreset the server starts over whenever its last client
      // leaves (a probe of xdotool, say), and a client connecting just then
      // cannot open the display.
      execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      return false;
    }
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {  // it could not take the display
      waitpid(pid, nullptr, 0);
      return false;
    }
    FPid = pid;
    Display = ":" + number;
    return true;
  }

  pid_t FPid = -1;
  int FLock = -1;
};
