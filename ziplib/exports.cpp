// The exported entry points. Nothing thrown inside the library may cross
// into the caller: every export catches and turns a failure into a result.
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "ziplib/extract.h"
#include "ziplib/stream.h"
#include "ziplib/ziplib.h"

#define ZL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Abort flags of the commands running now, by the handle announced to the
// caller. Guarded: ZL_Abort may come from another thread.
std::mutex gAbortLock;
std::map<uint32_t, std::atomic<bool>*> gAborts;
uint32_t gNextHandle = 1;

const char kName[] = ZL_LIBRARY_FILE;
const char kBanner[] = "tamrix zip library 1.9.0 (zlib)";

}  // namespace

ZL_EXPORT int32_t ZL_Exec(ZLCommand* cmd) {
  if (!cmd || cmd->Check != ZL_COMMAND_CHECK || cmd->Version != ZL_INTERFACE_VERSION) return -ZL_ERR_BAD_OPTIONS;
  std::atomic<bool> abortFlag{false};
  uint32_t handle;
  {
    std::lock_guard<std::mutex> lock(gAbortLock);
    handle = gNextHandle++;
    if (gNextHandle == 0) gNextHandle = 1;
    gAborts[handle] = &abortFlag;
  }
  int32_t result;
  try {
    result = cmd->StreamRecord ? ziplib::runStreamCommand(cmd, abortFlag, handle)
                               : ziplib::runCommand(cmd, abortFlag, handle);
  } catch (const std::bad_alloc&) {
    result = -ZL_ERR_NOMEMORY;
  } catch (...) {
    result = -ZL_ERR_FATAL;
  }
  std::lock_guard<std::mutex> lock(gAbortLock);
  gAborts.erase(handle);
  return result;
}

ZL_EXPORT int32_t ZL_Version(void) { return ZL_INTERFACE_VERSION; }

ZL_EXPORT int32_t ZL_PrivVersion(void) { return ZL_PRIV_VERSION; }

ZL_EXPORT int32_t ZL_Abort(uint32_t handle) {
  std::lock_guard<std::mutex> lock(gAbortLock);
  auto it = gAborts.find(handle);
  if (it == gAborts.end()) return 0;
  it->second->store(true);
  return 1;
}

ZL_EXPORT int32_t ZL_Name(uint16_t* buffer, int32_t capacity, int32_t /*full*/) {
  if (!buffer || capacity <= 0) return 0;
  int32_t n = 0;
  for (; kName[n] && n < capacity - 1; ++n) buffer[n] = uint16_t(static_cast<unsigned char>(kName[n]));
  buffer[n] = 0;
  return n;
}

ZL_EXPORT const char* ZL_Banner(void) { return kBanner; }

ZL_EXPORT const char* ZL_Path(void) { return kName; }
