#pragma once
// Shared by the plain-main benchmarks: the best wall time of several runs,
// which is the figure least disturbed by whatever else the machine is doing.
#include <algorithm>
#include <chrono>
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
