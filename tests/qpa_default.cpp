// Test executables draw offscreen unless the caller chose a window system
// platform (QT_QPA_PLATFORM=xcb on a virtual X server, for example).
#include <cstdlib>

namespace {
const bool kPlatformChosen = [] {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return true;
}();
}  // namespace
