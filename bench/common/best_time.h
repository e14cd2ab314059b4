#pragma once
// Shared by the plain-main benchmarks: the best wall time of several runs,
// which is the figure least disturbed by whatever else the machine is doing.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>

inline double bestSeconds(int runs, const std::function<void()>& f) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
    best = std::min(best, d.count());
  }
  return best;
}

// Processor time of the calling thread: on a machine busy with other work
// it parts from the wall time, and the growth of a figure with its input
// is read from it.
inline double threadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The least wall time and the least processor time of several runs.
struct BestTimes {
  double Wall = 1e300;
  double Cpu = 1e300;
};

inline BestTimes bestTimes(int runs, const std::function<void()>& f) {
  BestTimes best;
  for (int i = 0; i < runs; ++i) {
    const double c0 = threadSeconds();
    best.Wall = std::min(best.Wall, bestSeconds(1, f));
    best.Cpu = std::min(best.Cpu, threadSeconds() - c0);
  }
  return best;
}
