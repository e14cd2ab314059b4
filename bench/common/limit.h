#pragma once
// Shared by the benchmarks that hold a figure to a limit: how a line states
// its limit, with the one mark a figure past it gets, so that no line over
// its limit goes by unmarked.
#include <cstdio>
#include <string>

// "limit 50 ms" for a figure within the limit, "limit 50 ms: OVER THE
// LIMIT" for one past it. Unit may be empty.
inline std::string limitText(double value, double limit, const char* unit) {
  char text[128];
  std::snprintf(text, sizeof text, "limit %g%s%s%s", limit, *unit ? " " : "", unit,
                value <= limit ? "" : ": OVER THE LIMIT");
  return text;
}
