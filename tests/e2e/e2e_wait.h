#pragma once
// Waiting in the end-to-end tests. Every step waits for the state it needs
// and every outcome is awaited, up to a deadline that grows where programs
// run slower: the sanitizer build says by how much (TAMRIX_E2E_SLOWDOWN),
// and TAMRIX_E2E_TIME_SCALE in the environment multiplies it again (a
// machine known to be slow). A wait that runs out says what it waited for
// and what it saw last.
//
// The programs a test starts die with it (EndWithParent), so that a test
// program killed by a timeout leaves nothing running.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#ifndef TAMRIX_E2E_SLOWDOWN
#define TAMRIX_E2E_SLOWDOWN 1
#endif

namespace e2e {

// Ms milliseconds of an unloaded machine, scaled as said above.
inline int Deadline(int Ms) {
  double scale = TAMRIX_E2E_SLOWDOWN;
  if (const char* s = std::getenv("TAMRIX_E2E_TIME_SCALE")) {
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end != s && v > 0) scale *= v;
  }
  return int(Ms * scale);
}

// Waits until Done holds, for up to Deadline(Ms) milliseconds. A failure
// names What and, when Seen is given, what it tells of the last look.
inline ::testing::AssertionResult Await(const std::string& What, const std::function<bool()>& Done, int Ms = 10000,
                                        const std::function<std::string()>& Seen = {}) {
  const int limit = Deadline(Ms);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
  for (;;) {
    if (Done()) return ::testing::AssertionSuccess();
    if (std::chrono::steady_clock::now() > end) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  auto failure = ::testing::AssertionFailure() << "waited " << limit << " ms for " << What;
  if (Seen) failure << "; last seen: " << Seen();
  return failure;
}

// In a child between fork and exec: the child is killed when the test
// program ends, however it ends (a failed assertion, a crash, a timeout's
// kill). Parent is the test program's process id, taken before the fork.
inline void EndWithParent(pid_t Parent) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != Parent) _exit(127);  // it ended before the call
}

}  // namespace e2e
