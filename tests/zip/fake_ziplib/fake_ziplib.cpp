// A stand-in for the compression library whose answers the tests choose
// (through the environment): its version and the result of ZL_Exec.
#include <cstdlib>

#include "ziplib/ziplib.h"

namespace {
int envInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : fallback;
}
}  // namespace

extern "C" {
__attribute__((visibility("default"))) int32_t ZL_Exec(ZLCommand* cmd) {
  if (cmd && cmd->Callback) {
    ZLCallbackRec rec{};
    rec.Caller = cmd->Caller;
    rec.ActionCode = ZL_CB_ABORTHANDLE;
    rec.Arg1 = 5;
    rec.Check = envInt("ZL_FAKE_CHECK", ZL_CALLBACK_CHECK);
    if (cmd->Callback(&rec) != envInt("ZL_FAKE_EXPECT", 0)) return -16;
  }
  return envInt("ZL_FAKE_RESULT", 0);
}
__attribute__((visibility("default"))) int32_t ZL_Version(void) { return envInt("ZL_FAKE_VERSION", 190); }
__attribute__((visibility("default"))) int32_t ZL_PrivVersion(void) { return 1900111; }
__attribute__((visibility("default"))) int32_t ZL_Abort(uint32_t) { return 0; }
__attribute__((visibility("default"))) int32_t ZL_Name(uint16_t* b, int32_t, int32_t) {
  b[0] = 'f';
  b[1] = 0;
  return 1;
}
__attribute__((visibility("default"))) const char* ZL_Banner(void) { return "fake"; }
__attribute__((visibility("default"))) const char* ZL_Path(void) { return "fake"; }
}
