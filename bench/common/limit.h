#pragma once
// Shared by the benchmarks that hold a figure to a limit: how a line states
// its limit, with the one mark a figure past it gets, so that no line over
// its limit goes by unmarked.
#include <cstdio>
#include <string>

// "limit 50 ms", or "limit 50 ms: OVER THE LIMIT" when over. Unit may be
// empty.
inline std::string limitStated(double limit, const char* unit, bool over) {
  char text[128];
  std::snprintf(text, sizeof text, "limit %g%s%s%s", limit, *unit ? " " : "", unit, over ? ": OVER THE LIMIT" : "");
  return text;
}

// The same for a figure: marked when it is past the limit.
inline std::string limitText(double value, double limit, const char* unit) {
  return limitStated(limit, unit, !(value <= limit));
}
